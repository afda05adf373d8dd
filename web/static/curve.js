// The Power curve page: the measured bins with their spread and minutes beside the reference
// curve, the turbine's health as the desktop's Reference view states it, and the yearly energy.
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
  const fixed = (v, n) => (typeof v === 'number' ? v.toFixed(n) : '');
  try {
    const [data, health] = await Promise.all([Tessaly.json('/api/curve'), Tessaly.json('/api/health')]);
    byId('curveNote').textContent = (data.bins.length
      ? `${data.bins.length} bins of ${data.binWidth} ${data.unit}; a bin is complete after ${data.completeMinutes} minutes.`
      : 'No bin yet: the curve fills as the wind blows.') +
      (health.normalised ? ` Winds normalised to sea-level air for ${health.altitude} m.` : ' Winds as measured, not normalised to sea-level air.');

    const lines = [];
    if (health.reference) {
      lines.push(`Reference: ${health.reference.points.length} points` +
        (health.reference.frozenOn ? `, the measured curve of ${health.reference.frozenOn}` : '') +
        `, cut-in ${health.reference.cutIn} ${health.unit}.`);
      for (const s of health.shortfall) lines.push(s.text);
    } else {
      lines.push('No reference curve: enter the maker\'s curve, or use the measured one, in the desktop\'s Season window.');
    }
    if (health.densityText) lines.push(`${health.densityText}.`);
    lines.push(`${health.heldBackText} ${health.fullVoltsText.replace(/\.?$/, '.')}`);
    lines.push(`Power curve low alarm: ${!health.curveLow.on ? 'off' : health.curveLow.raised ? 'raised' : 'on, not raised'}.`);
    const list = byId('health');
    for (const text of lines) {
      const li = document.createElement('li');
      li.textContent = text;
      list.append(li);
    }

    const bins = byId('bins').tBodies[0];
    data.bins.forEach((b, k) => {
      const h = health.bins[k] || {};
      bins.append(row([`${b.wind} ${data.unit}`, b.minutes, b.meanWatts.toFixed(1), b.sdWatts.toFixed(1),
        fixed(h.referenceWatts, 1), fixed(h.ratioPercent, 1), h.heldBack ?? '']));
    });
    const aep = byId('aep').tBodies[0];
    for (const a of data.aep) aep.append(row([a.meanWind, a.kWh.toFixed(0) + (a.incomplete ? ' (bins missing)' : '')]));
    const points = (f) => data.bins.map((b) => ({ x: b.wind, y: f(b) }));
    const datasets = [
      { label: 'measured W', data: points((b) => b.meanWatts), borderColor: '#1f6f8b' },
      { label: 'mean + spread', data: points((b) => b.meanWatts + b.sdWatts), borderColor: '#9ab', pointRadius: 0 },
      { label: 'mean − spread', data: points((b) => b.meanWatts - b.sdWatts), borderColor: '#9ab', pointRadius: 0 },
    ];
    if (health.reference) {
      datasets.push({ label: 'reference W', data: health.reference.points.map((p) => ({ x: p.wind, y: p.watts })),
        borderColor: '#b36b00', borderDash: [6, 4], pointRadius: 2 });
    }
    new Chart(byId('curve'), {
      type: 'line',
      data: { datasets },
      options: { animation: false, maintainAspectRatio: false,
        scales: { x: { type: 'linear', title: { display: true, text: `wind (${data.unit})` } },
          y: { title: { display: true, text: 'power (W)' } } } },
    });
  } catch (error) {
    Tessaly.showError(byId('curveNote'), error);
  }
})();
