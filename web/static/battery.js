// The Battery page: a month of the battery's days as the desktop's Battery view reads them, the
// lowest and highest volts of each day drawn against the full volts, days without records as gaps.
'use strict';

(() => {
  const byId = (id) => document.getElementById(id);
  const fixed = (v, n) => (typeof v === 'number' ? v.toFixed(n) : '');
  const day = 86400000;
  let chart = null;
  const asked = new URLSearchParams(location.search).get('month');
  byId('month').value = asked || Tessaly.isoDay(new Date()).slice(0, 7);

  async function show() {
    const [year, month] = byId('month').value.split('-');
    const body = byId('days').tBodies[0];
    body.replaceChildren();
    try {
      const data = await Tessaly.json(`/api/battery?year=${Number(year)}&month=${Number(month)}`);
      // The summary is of the days up to today, not of the month shown: it says so.
      byId('batterySummary').textContent = `Last ${data.recentDays} days, to ${data.today}: ${data.summary}` +
        (data.daysSinceFull === null ? '' : ` Days since full: ${data.daysSinceFull}.`);
      const logged = data.days.filter((d) => d.logged).length;
      byId('batteryNote').textContent =
        `${data.year}-${String(data.month).padStart(2, '0')}: ${logged} of ${data.days.length} days hold records.`;
      for (const d of data.days) {
        const tr = document.createElement('tr');
        for (const text of [d.date, fixed(d.lowVolts, 2), d.lowAt || '', fixed(d.highVolts, 2), d.highAt || '',
          fixed(d.chargeAh, 2), fixed(d.chargeWh, 2), fixed(d.loadHours, 2), d.full === null ? '' : d.full ? 'yes' : 'no']) {
          const td = document.createElement('td');
          td.textContent = text;
          tr.append(td);
        }
        body.append(tr);
      }
      // Each day at its noon; a day without records is a gap in both lines.
      const noon = (d) => new Date(`${d.date}T12:00:00`).getTime();
      const first = new Date(Number(year), Number(month) - 1, 1).getTime();
      const last = new Date(Number(year), Number(month), 1).getTime();
      const line = (key) => data.days.map((d) => ({ x: noon(d), y: d.logged ? d[key] : null }));
      const config = {
        type: 'line',
        data: { datasets: [
          { label: 'highest V', data: line('highVolts'), borderColor: '#b00020', spanGaps: false },
          { label: 'lowest V', data: line('lowVolts'), borderColor: '#1f6f8b', spanGaps: false },
          { label: `full (${data.fullVolts} V)`, data: [{ x: first, y: data.fullVolts }, { x: last - 1, y: data.fullVolts }],
            borderColor: '#6f8b1f', borderDash: [6, 4], pointRadius: 0 },
        ] },
        options: { animation: false, maintainAspectRatio: false, parsing: false,
          scales: { x: Tessaly.timeAxis('day', first, last - day / 2), y: { title: { display: true, text: 'battery (V)' } } } },
      };
      if (chart) chart.destroy();
      chart = new Chart(byId('battery'), config);
    } catch (error) {
      Tessaly.showError(byId('batteryNote'), error);
    }
  }
  byId('monthForm').addEventListener('submit', (e) => { e.preventDefault(); show(); });
  show();
})();
