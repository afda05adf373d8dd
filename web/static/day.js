// The Day page: one day file's records as a chart and a table, as the history window reads them.
'use strict';

(() => {
  const byId = (id) => document.getElementById(id);
  const series = ['volts', 'amps', 'watts', 'rpm', 'wind'];
  const colours = ['#1f6f8b', '#8b1f6f', '#b00020', '#6f8b1f', '#444'];
  let chart = null;
  const asked = new URLSearchParams(location.search).get('date');
  byId('date').value = asked || Tessaly.isoDay(new Date());

  async function show() {
    const body = byId('records').tBodies[0];
    body.replaceChildren();
    try {
      const data = await Tessaly.json(`/api/day?date=${byId('date').value}`);
      byId('dayNote').textContent = `${data.records.length} records on ${data.date}.`;
      for (const r of data.records) {
        const tr = document.createElement('tr');
        for (const text of [r.time.slice(11, 19), ...series.map((s) => r[s]), r.mode]) {
          const td = document.createElement('td');
          td.textContent = text;
          tr.append(td);
        }
        body.append(tr);
      }
      if (chart) chart.destroy();
      const midnight = new Date(`${data.date}T00:00:00`);
      const next = new Date(midnight);
      next.setDate(next.getDate() + 1);
      // The value axis names the units of the series shown; the legend shows and hides them.
      const shownUnits = (c) => [...new Set(c.data.datasets.filter((d, k) => c.isDatasetVisible(k)).map((d) => d.unit))].join(', ');
      chart = new Chart(byId('day'), {
        type: 'line',
        data: { datasets: series.map((s, k) => ({ label: `${s} (${data.units[k]})`, unit: data.units[k],
          data: data.records.map((r) => ({ x: Date.parse(r.time), y: r[s] })),
          borderColor: colours[k], pointRadius: 0, hidden: s !== 'watts' })) },
        options: { animation: false, maintainAspectRatio: false, parsing: false,
          plugins: { legend: { onClick(e, item, legend) {
            Chart.defaults.plugins.legend.onClick.call(this, e, item, legend);
            legend.chart.options.scales.y.title.text = shownUnits(legend.chart);
            legend.chart.update('none');
          } } },
          scales: { x: Tessaly.timeAxis('time', midnight.getTime(), next.getTime()),
            y: { title: { display: true, text: data.units[series.indexOf('watts')] } } } },
      });
    } catch (error) {
      Tessaly.showError(byId('dayNote'), error);
    }
  }
  byId('dayForm').addEventListener('submit', (e) => { e.preventDefault(); show(); });
  show();
})();
