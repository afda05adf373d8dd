// The Power curve page: the measured bins with their spread and minutes, and the yearly energy.
'use strict';

(async () => {
  const byId = (id) => document.getElementById(id);
  const row = (cells) => {
    const tr = document.createElement('tr');
    for (const text of cells) {
      const td = document.createElement('td');
      td.textContent = text;
      tr.append(td);
    }
    return tr;
  };
  try {
    const data = await Tessaly.json('/api/curve');
    byId('curveNote').textContent = data.bins.length
      ? `${data.bins.length} bins of ${data.binWidth} ${data.unit}; a bin is complete after ${data.completeMinutes} minutes.`
      : 'No bin yet: the curve fills as the wind blows.';
    const bins = byId('bins').tBodies[0];
    for (const b of data.bins) bins.append(row([`${b.wind} ${data.unit}`, b.minutes, b.meanWatts.toFixed(1), b.sdWatts.toFixed(1)]));
    const aep = byId('aep').tBodies[0];
    for (const a of data.aep) aep.append(row([a.meanWind, a.kWh.toFixed(0) + (a.incomplete ? ' (bins missing)' : '')]));
    new Chart(byId('curve'), {
      type: 'line',
      data: { labels: data.bins.map((b) => b.wind), datasets: [
        { label: 'mean W', data: data.bins.map((b) => b.meanWatts), borderColor: '#1f6f8b' },
        { label: 'mean + spread', data: data.bins.map((b) => b.meanWatts + b.sdWatts), borderColor: '#9ab', pointRadius: 0 },
        { label: 'mean − spread', data: data.bins.map((b) => b.meanWatts - b.sdWatts), borderColor: '#9ab', pointRadius: 0 },
      ] },
      options: { animation: false, maintainAspectRatio: false,
        scales: { x: { title: { display: true, text: `wind (${data.unit})` } }, y: { title: { display: true, text: 'W' } } } },
    });
  } catch (error) {
    Tessaly.showError(byId('curveNote'), error);
  }
})();
