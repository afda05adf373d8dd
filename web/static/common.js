// What every page shares: number texts, fetching JSON from the plant, and time axes whose
// marks fall on round times.
'use strict';

const Tessaly = {
  number(value, digits) {
    return typeof value === 'number' ? value.toFixed(digits) : '–';
  },
  async json(url) {
    const response = await fetch(url, { credentials: 'same-origin', cache: 'no-store' });
    if (!response.ok) throw new Error(`${url}: ${response.status} ${(await response.text()).trim()}`);
    return response.json();
  },
  showError(element, error) {
    element.textContent = String(error.message || error);
    element.classList.add('error');
  },
  isoDay(date) {
    const pad = (n) => String(n).padStart(2, '0');
    return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}`;
  },

  // Marks on round local times between min and max (milliseconds since 1970), at most about
  // `most` of them: seconds, minutes, hours, days, months or years as the span needs. Each step
  // counts from the start of the next larger unit, so hours fall on 00:00, 06:00, 12:00 and
  // days on the 1st, 11th and 21st.
  timeTicks(min, max, most) {
    const second = 1000;
    const minute = 60 * second;
    const hour = 60 * minute;
    const day = 24 * hour;
    const steps = [
      ...[1, 2, 5, 10, 15, 30].map((n) => ({ unit: 'second', n, ms: n * second })),
      ...[1, 2, 5, 10, 15, 30].map((n) => ({ unit: 'minute', n, ms: n * minute })),
      ...[1, 2, 3, 6, 12].map((n) => ({ unit: 'hour', n, ms: n * hour })),
      ...[1, 2, 5, 10].map((n) => ({ unit: 'day', n, ms: n * day })),
      ...[1, 2, 3, 6].map((n) => ({ unit: 'month', n, ms: n * 30.44 * day })),
      ...[1, 2, 5, 10, 20, 50, 100].map((n) => ({ unit: 'year', n, ms: n * 365.25 * day })),
    ];
    const span = Math.max(max - min, 1);
    const step = steps.find((s) => span / s.ms <= Math.max(most, 1)) || steps[steps.length - 1];
    const values = [];
    const at = new Date(min);
    // The start of the unit above the step's, from which its multiples count.
    if (step.unit === 'second') at.setSeconds(0, 0);
    else if (step.unit === 'minute') at.setMinutes(0, 0, 0);
    else if (step.unit === 'hour' || step.unit === 'day') at.setHours(0, 0, 0, 0);
    if (step.unit === 'day' || step.unit === 'month') at.setDate(1);
    if (step.unit === 'month' || step.unit === 'year') {
      at.setHours(0, 0, 0, 0);
      at.setMonth(0, 1);
    }
    if (step.unit === 'year') at.setFullYear(Math.floor(at.getFullYear() / step.n) * step.n);
    for (let guard = 0; guard < 10000 && at.getTime() <= max; ++guard) {
      const t = at.getTime();
      // Days count from each month's 1st (1, 11, 21): none just before the next 1st.
      const lastOfMonth = step.unit === 'day' && step.n > 1 && at.getDate() + step.n > 31;
      if (t >= min && !lastOfMonth) values.push(t);
      if (step.unit === 'second') at.setSeconds(at.getSeconds() + step.n);
      else if (step.unit === 'minute') at.setMinutes(at.getMinutes() + step.n);
      else if (step.unit === 'hour') at.setHours(at.getHours() + step.n);
      else if (step.unit === 'day') {
        const next = new Date(at.getFullYear(), at.getMonth(), at.getDate() + step.n);
        if (next.getMonth() === at.getMonth()) at.setDate(at.getDate() + step.n);
        else at.setFullYear(at.getFullYear(), at.getMonth() + 1, 1);
      } else if (step.unit === 'month') at.setMonth(at.getMonth() + step.n);
      else at.setFullYear(at.getFullYear() + step.n);
    }
    return { unit: step.unit, values };
  },

  // A mark's text for the step's unit: "14:05:30", "14:05", "7 Mar", "Mar 2024", "2024"; a
  // mark at midnight among hours names its day.
  timeText(t, unit) {
    const d = new Date(t);
    const pad = (n) => String(n).padStart(2, '0');
    const months = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];
    const hm = `${pad(d.getHours())}:${pad(d.getMinutes())}`;
    if (unit === 'second') return `${hm}:${pad(d.getSeconds())}`;
    if (unit === 'minute') return hm;
    if (unit === 'hour') return hm === '00:00' ? `${d.getDate()} ${months[d.getMonth()]}` : hm;
    if (unit === 'day') return `${d.getDate()} ${months[d.getMonth()]}`;
    if (unit === 'month') return `${months[d.getMonth()]} ${d.getFullYear()}`;
    return String(d.getFullYear());
  },

  // A Chart.js x axis of times (milliseconds) with round marks, one every 70 pixels or so.
  timeAxis(title, min, max) {
    return {
      type: 'linear',
      min,
      max,
      title: { display: true, text: title },
      afterBuildTicks(axis) {
        const most = Math.max(2, Math.floor((axis.width || axis.chart.width) / 70));
        const ticks = Tessaly.timeTicks(axis.min, axis.max, most);
        axis.tessalyUnit = ticks.unit;
        axis.ticks = ticks.values.map((value) => ({ value }));
      },
      ticks: {
        autoSkip: false,
        maxRotation: 0,
        callback(value) { return Tessaly.timeText(value, this.tessalyUnit); },
      },
    };
  },
};
