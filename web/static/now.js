// The dashboard: the plant's values as the server sends them, at most once a second.
'use strict';

(() => {
  const byId = (id) => document.getElementById(id);
  const digits = { volts: 2, amps: 2, watts: 2, wattHours: 2, rpm: 1, wind: 1 };
  const kept = 600; // ten minutes of one value a second
  let chart = null;

  function startChart() {
    if (typeof Chart === 'undefined') return;
    chart = new Chart(byId('trend'), {
      type: 'line',
      data: { labels: [], datasets: [{ label: 'W', data: [], borderColor: '#1f6f8b', pointRadius: 0 }] },
      options: { animation: false, maintainAspectRatio: false, plugins: { legend: { display: false } },
        scales: { x: { ticks: { maxTicksLimit: 5 } } } },
    });
  }

  function show(now) {
    for (const [key, n] of Object.entries(digits)) byId(key).textContent = Tessaly.number(now[key], n);
    byId('windUnits').textContent = now.windUnits || '';
    byId('mode').textContent = now.load ? 'on (mode 1)' : `off (mode ${now.mode})`;
    byId('alarms').textContent = now.alarms.length ? now.alarms.join(', ') : 'none';
    // A way of sending alarms (push, webhook, e-mail) that keeps failing says so here.
    byId('notify').textContent = now.notify.length ? now.notify.join(' ') : 'no trouble';
    byId('line').textContent = now.line + (now.stale ? ', no fresh data' : '');
    byId('age').textContent = now.time === null ? 'no frame yet'
      : `${now.time.replace('T', ' ')} (${Math.round(now.ageSeconds)} s ago)`;
    const state = byId('state');
    state.textContent = now.alarms.length ? `Alarm: ${now.alarms.join(', ')}`
      : now.stale ? 'No fresh data from the logger board' : 'Live';
    state.classList.toggle('alarm', now.alarms.length > 0);
    if (chart && now.time !== null) {
      chart.data.labels.push(now.time.slice(11, 19));
      chart.data.datasets[0].data.push(now.watts);
      if (chart.data.labels.length > kept) {
        chart.data.labels.shift();
        chart.data.datasets[0].data.shift();
      }
      chart.update('none');
    }
  }

  startChart();
  const events = new EventSource('/events');
  events.addEventListener('now', (event) => show(JSON.parse(event.data)));
  events.onerror = () => { byId('state').textContent = 'Connection to the plant lost; trying again…'; };
})();
