// The dashboard: the plant's values as the server sends them, at most once a second. Values
// older than kStaleSeconds (the line lost, or the server gone) are marked so, and a stream that
// ends is opened again. A stream refused for the access key (a new token was made) says how to
// get in again rather than trying on as if the line were lost.
'use strict';

(() => {
  const byId = (id) => document.getElementById(id);
  const digits = { volts: 2, amps: 2, watts: 2, wattHours: 2, rpm: 1, wind: 1 };
  const keptMs = 10 * 60 * 1000; // the chart's ten minutes
  const staleSeconds = 30;
  const retryMs = 5000;
  let chart = null;
  // The values' age as the server last told it, and when that was (the page's own clock).
  let age = null;
  let toldAt = 0;
  let alarmText = '';
  let connected = true;
  let refused = false;

  function startChart() {
    if (typeof Chart === 'undefined') return;
    chart = new Chart(byId('trend'), {
      type: 'line',
      data: { datasets: [{ label: 'W', data: [], borderColor: '#1f6f8b', pointRadius: 0, spanGaps: false }] },
      options: { animation: false, maintainAspectRatio: false, parsing: false, plugins: { legend: { display: false } },
        scales: { x: Tessaly.timeAxis('time', undefined, undefined), y: { title: { display: true, text: 'W' } } } },
    });
  }

  // The state line: the access key refused first, then an alarm, then values too old, then the
  // line's own word.
  function showState(stale) {
    const state = byId('state');
    const seconds = age === null ? null : Math.round(age + (performance.now() - toldAt) / 1000);
    const old = seconds !== null && seconds > staleSeconds;
    state.textContent = refused
      ? 'The access key has changed: open the address with ?token= again (tessalyd web or the Web window shows it)'
      : alarmText ? `Alarm: ${alarmText}`
      : old ? `The values are ${seconds} s old: no fresh data from the plant`
      : !connected ? 'Connection to the plant lost; trying again…'
      : stale ? 'No fresh data from the logger board' : age === null ? 'Waiting for the plant…' : 'Live';
    state.classList.toggle('alarm', alarmText !== '' || refused);
    state.classList.toggle('stale', !alarmText && !refused && old);
    byId('values').classList.toggle('stale', old);
    if (seconds !== null) byId('ageSeconds').textContent = `${seconds} s ago`;
  }

  let lastStale = false;
  function show(now) {
    for (const [key, n] of Object.entries(digits)) byId(key).textContent = Tessaly.number(now[key], n);
    byId('windUnits').textContent = now.windUnits || '';
    byId('mode').textContent = now.load ? 'on (mode 1)' : `off (mode ${now.mode})`;
    byId('alarms').textContent = now.alarms.length ? now.alarms.join(', ') : 'none';
    // A way of sending alarms (push, webhook, e-mail) that keeps failing says so here.
    byId('notify').textContent = now.notify.length ? now.notify.join(' ') : 'no trouble';
    byId('line').textContent = now.line + (now.stale ? ', no fresh data' : '');
    byId('age').textContent = now.time === null ? 'no frame yet' : now.time.slice(0, 19).replace('T', ' ');
    alarmText = now.alarms.join(', ');
    age = now.time === null ? null : now.ageSeconds;
    toldAt = performance.now();
    lastStale = now.stale;
    showState(now.stale);
    if (chart && now.time !== null) {
      const x = Date.parse(now.time);
      const points = chart.data.datasets[0].data;
      if (!points.length || points[points.length - 1].x < x) points.push({ x, y: now.watts });
      while (points.length && points[0].x < x - keptMs) points.shift();
      chart.options.scales.x.min = x - keptMs;
      chart.options.scales.x.max = x;
      chart.update('none');
    }
  }

  function connect() {
    const events = new EventSource('/events');
    events.addEventListener('now', (event) => {
      connected = true;
      refused = false;
      show(JSON.parse(event.data));
    });
    events.onerror = async () => {
      connected = false;
      // The browser tries again by itself unless the server refused the stream outright.
      const closed = events.readyState === EventSource.CLOSED;
      showState(lastStale);
      // A stream cannot tell why it failed: a plain request can, and 401 means the key.
      try {
        const answer = await fetch('/api/now', { credentials: 'same-origin', cache: 'no-store' });
        refused = answer.status === 401;
      } catch {
        refused = false; // the server gone: the connection's line stays
      }
      showState(lastStale);
      if (closed) setTimeout(connect, retryMs);
    };
  }

  startChart();
  setInterval(() => showState(lastStale), 1000);
  connect();
})();
