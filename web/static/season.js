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
      const config = {
        type: 'bar',
        data: { labels: data.bars.map((b) => b.period),
          datasets: [{ label: 'kWh', data: data.bars.map((b) => b.kWh), backgroundColor: '#1f6f8b' }] },
        options: { animation: false, maintainAspectRatio: false, plugins: { legend: { display: false } } },
      };
      if (energyChart) energyChart.destroy();
      energyChart = new Chart(byId('energy'), config);
    } catch (error) {
      Tessaly.showError(byId('energyTotal'), error);
    }
  }

  function drawDays() {
    const s = Number(byId('series').value);
    const labels = daysData.data.map((c) => (c ? c.start.slice(0, 16).replace('T', ' ') : ''));
    const low = daysData.data.map((c) => (c ? c.min[s] : null));
    const high = daysData.data.map((c) => (c ? c.max[s] : null));
    const unit = daysData.units[s];
    const config = {
      type: 'line',
      data: { labels, datasets: [
        { label: `highest (${unit})`, data: high, borderColor: '#b00020', pointRadius: 0, spanGaps: false },
        { label: `lowest (${unit})`, data: low, borderColor: '#1f6f8b', pointRadius: 0, spanGaps: false },
      ] },
      options: { animation: false, maintainAspectRatio: false, scales: { x: { ticks: { maxTicksLimit: 6 } } } },
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
