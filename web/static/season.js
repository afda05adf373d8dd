// The Season page: the ledger's energy bars and the five series over a run of days, each
// column the lowest and highest of its records, with gaps where there are none.
'use strict';

(() => {
  const byId = (id) => document.getElementById(id);
  const today = new Date();
  let energyChart = null;
  let daysChart = null;
  let daysData = null;

  byId('year').value = today.getFullYear();
  byId('month').value = today.getMonth() + 1;
  const monthAgo = new Date(today.getTime() - 30 * 86400000);
  byId('from').value = Tessaly.isoDay(monthAgo);
  byId('to').value = Tessaly.isoDay(today);

  async function showEnergy() {
    const by = byId('by').value;
    try {
      const data = await Tessaly.json(`/api/energy?by=${by}&year=${byId('year').value}&month=${byId('month').value}`);
      byId('energyTotal').textContent = `${data.totalKWh.toFixed(2)} kWh` +
        (data.bestDay ? `; best day ${data.bestDay}, ${data.bestDayKWh.toFixed(2)} kWh` : '');
      const axis = { day: 'day of the month', month: 'month', year: 'year' }[data.by];
      const config = {
        type: 'bar',
        data: { labels: data.bars.map((b) => (data.by === 'day' ? Number(b.period.slice(8)) : b.period)),
          // A bar without a ledger line is no data, not nothing made: a gap.
          datasets: [{ label: 'kWh', data: data.bars.map((b) => (b.noData ? null : b.kWh)), backgroundColor: '#1f6f8b' }] },
        options: { animation: false, maintainAspectRatio: false, plugins: { legend: { display: false } },
          scales: { x: { title: { display: true, text: axis } }, y: { title: { display: true, text: 'energy (kWh)' } } } },
      };
      if (energyChart) energyChart.destroy();
      energyChart = new Chart(byId('energy'), config);
    } catch (error) {
      Tessaly.showError(byId('energyTotal'), error);
    }
  }

  // The run's columns at their start times; a column without records is a gap in both lines,
  // placed where its share of the run falls. The value axis is the one the server worked out as
  // the desktop's Days view does (robust: a glitch does not flatten the rest).
  function drawDays() {
    const s = Number(byId('series').value);
    const start = new Date(`${daysData.from}T00:00:00`).getTime();
    const end = new Date(`${daysData.to}T00:00:00`);
    end.setDate(end.getDate() + 1);
    const width = (end.getTime() - start) / Math.max(daysData.data.length, 1);
    const x = (c, k) => (c ? Date.parse(c.start) : start + k * width);
    const low = daysData.data.map((c, k) => ({ x: x(c, k), y: c ? c.min[s] : null }));
    const high = daysData.data.map((c, k) => ({ x: x(c, k), y: c ? c.max[s] : null }));
    const unit = daysData.units[s];
    const scale = daysData.scales[s];
    const config = {
      type: 'line',
      data: { datasets: [
        { label: `highest (${unit})`, data: high, borderColor: '#b00020', pointRadius: 0, spanGaps: false },
        { label: `lowest (${unit})`, data: low, borderColor: '#1f6f8b', pointRadius: 0, spanGaps: false },
      ] },
      options: { animation: false, maintainAspectRatio: false, parsing: false,
        scales: { x: Tessaly.timeAxis('time', start, end.getTime()),
          y: { min: scale.low, max: scale.high, ticks: { stepSize: scale.step },
            title: { display: true, text: `${byId('series').selectedOptions[0].text.toLowerCase()} (${unit})` } } } },
    };
    if (daysChart) daysChart.destroy();
    daysChart = new Chart(byId('days'), config);
  }

  async function showDays() {
    const columns = Math.max(50, Math.min(1200, Math.round(byId('days').parentElement.clientWidth)));
    try {
      daysData = await Tessaly.json(`/api/days?from=${byId('from').value}&to=${byId('to').value}&columns=${columns}`);
      const filled = daysData.data.filter((c) => c).length;
      byId('daysNote').textContent = `${daysData.from} to ${daysData.to}: ${filled} of ${daysData.columns} columns hold records.`;
      drawDays();
    } catch (error) {
      Tessaly.showError(byId('daysNote'), error);
    }
  }

  byId('energyForm').addEventListener('submit', (e) => { e.preventDefault(); showEnergy(); });
  byId('daysForm').addEventListener('submit', (e) => { e.preventDefault(); showDays(); });
  byId('series').addEventListener('change', () => { if (daysData) drawDays(); });
  showEnergy();
  showDays();
})();
