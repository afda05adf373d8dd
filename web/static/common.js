// What every page shares: number texts and fetching JSON from the plant.
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
};
