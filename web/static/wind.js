// The Wind page: the site's one-minute winds of the last 12 months or of one month with the
// Weibull fit drawn over them, the site's own yearly energy beside the yearly table's, the
// turbulence per bin, and the rotor's tip-speed ratio and power coefficient against the Betz limit.
'use strict';

(() => {
  const byId = (id) => document.getElementById(id);
  const charts = {};
  const asked = new URLSearchParams(location.search).get('months');
  byId('month').value = asked && asked !== '12' ? asked : Tessaly.isoDay(new Date()).slice(0, 7);

  // Draws a chart in its box, or hides the box and says why in the note.
  function draw(name, note, text, config) {
    if (charts[name]) charts[name].destroy();
    charts[name] = null;
    byId(note).textContent = text;
    byId(`${name}Box`).hidden = !config;
    if (config) charts[name] = new Chart(byId(name), config);
  }
  const axis = (text, extra) => ({ title: { display: true, text }, ...extra });

  async function show(months) {
    const list = byId('energy');
    list.replaceChildren();
    byId('windNote').classList.remove('error');
    try {
      const data = await Tessaly.json(`/api/wind?months=${encodeURIComponent(months)}`);
      const unit = data.unit;
      const span = data.months === '12' ? `the last 12 months (${data.first} to ${data.last})` : data.months;
      const fit = data.fit;
      const histogramText = !data.histogram.length
        ? `No wind counted in ${span}: the counts fill minute by minute as the logger board sends frames.`
        : `${data.minutes} minutes of wind in ${span}, in bins of ${data.binWidth} ${unit}. ` +
          (fit ? `Weibull fit: shape k ${fit.k.toFixed(2)}, scale c ${fit.c.toFixed(2)} ${unit}, mean ${fit.mean.toFixed(2)} ${unit}.`
            : data.fitNotice);
      draw('histogram', 'windNote', histogramText, data.histogram.length ? {
        type: 'bar',
        data: { datasets: [
          { type: 'bar', label: 'minutes counted', data: data.histogram.map((b) => ({ x: b.wind, y: b.minutes })),
            backgroundColor: '#1f6f8b', barPercentage: 1, categoryPercentage: 1 },
          ...(fit ? [{ type: 'line', label: 'Weibull fit', data: data.histogram.map((b) => ({ x: b.wind, y: b.fitted })),
            borderColor: '#b36b00', pointRadius: 0 }] : []),
        ] },
        options: { animation: false, maintainAspectRatio: false,
          scales: { x: axis(`wind (${unit})`, { type: 'linear', offset: false }), y: axis('minutes', { beginAtZero: true }) } },
      } : null);

      const lines = [];
      const e = data.energy;
      if (e) {
        lines.push(`From the measured power curve: ${e.measuredKWh.toFixed(0)} kWh a year under the site's own wind` +
          ` (mean ${e.meanWind.toFixed(2)} ${unit}), from ${e.months.length} month${e.months.length === 1 ? '' : 's'}` +
          ` of counts (${e.months.join(', ')})${e.incomplete ? '; bins of the curve are missing' : ''}.`);
        if (e.referenceKWh !== null) lines.push(`From the reference curve: ${e.referenceKWh.toFixed(0)} kWh a year.`);
        if (e.rayleighKWh !== null) {
          lines.push(`The yearly table's figure at the same mean (a Rayleigh wind): ${e.rayleighKWh.toFixed(0)} kWh a year.`);
        }
      } else {
        lines.push(`No yearly figure from the last 12 months yet: ${data.energyNotice}`);
      }
      for (const text of lines) {
        const li = document.createElement('li');
        li.textContent = text;
        list.append(li);
      }

      const t = data.turbulence;
      draw('turbulence', 'turbulenceNote', t.length
        ? `The ten-minute spread of the wind over its mean, per bin of the ten-minute mean; ${t.reduce((n, b) => n + b.count, 0)} ten-minute blocks in all.`
        : 'No turbulence yet: each bin needs ten minutes of frames above a light wind.', t.length ? {
        type: 'bar',
        data: { datasets: [
          { label: 'turbulence intensity', data: t.map((b) => ({ x: b.wind, y: b.intensity, count: b.count })),
            backgroundColor: '#1f6f8b', barPercentage: 1, categoryPercentage: 1 },
          { type: 'line', label: 'spread', data: t.map((b) => ({ x: b.wind, y: b.intensity + b.spread })),
            borderColor: '#9ab', pointRadius: 0 },
        ] },
        options: { animation: false, maintainAspectRatio: false,
          plugins: { tooltip: { callbacks: { afterLabel: (c) => (c.raw.count ? `${c.raw.count} blocks` : '') } } },
          scales: { x: axis(`ten-minute mean wind (${unit})`, { type: 'linear', offset: false }),
            y: axis('turbulence intensity (ratio)', { beginAtZero: true }) } },
      } : null);

      const r = data.rotor;
      const figures = r.bins.filter((b) => b.tsr !== null && b.cp !== null);
      const betzEnds = figures.length ? [figures[0].wind, figures[figures.length - 1].wind] : [];
      draw('rotor', 'rotorNote', r.notice || (figures.length
        ? `Rotor diameter ${r.diameter} m; the Betz limit (${r.betzLimit}) is the most of the wind's power any rotor can take.`
        : 'No bin of the power curve has an RPM yet.'), figures.length ? {
        type: 'line',
        data: { datasets: [
          { label: 'tip-speed ratio', data: figures.map((b) => ({ x: b.wind, y: b.tsr })), borderColor: '#1f6f8b', yAxisID: 'tsr' },
          { label: 'power coefficient', data: figures.map((b) => ({ x: b.wind, y: b.cp })), borderColor: '#b36b00', yAxisID: 'cp' },
          { label: `Betz limit (${r.betzLimit})`, data: betzEnds.map((x) => ({ x, y: r.betzLimit })),
            borderColor: '#b00020', borderDash: [6, 4], pointRadius: 0, yAxisID: 'cp' },
        ] },
        options: { animation: false, maintainAspectRatio: false,
          scales: { x: axis(`wind (${unit})`, { type: 'linear' }),
            tsr: axis('tip-speed ratio (ratio)', { position: 'left', beginAtZero: true }),
            cp: axis('power coefficient (ratio)', { position: 'right', min: 0, suggestedMax: 0.7, grid: { drawOnChartArea: false } }) } },
      } : null);
    } catch (error) {
      Tessaly.showError(byId('windNote'), error);
    }
  }
  byId('monthForm').addEventListener('submit', (e) => { e.preventDefault(); show(byId('month').value); });
  byId('year').addEventListener('click', () => show('12'));
  show(asked || '12');
})();
