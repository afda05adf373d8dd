<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="iso-8859-1">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="refresh" content="60">
<title>Wind mill - <TT></title>
<style>
  :root { color-scheme: light dark; --ground: #f3f5f0; --card: #ffffff; --ink: #1d2a1d;
          --soft: #5f6e5f; --accent: #2f7d32; --line: #dde3d8; }
  @media (prefers-color-scheme: dark) {
    :root { --ground: #0f1a10; --card: #182619; --ink: #e4efe2; --soft: #9db09b;
            --accent: #6fcf73; --line: #2a3d2b; }
  }
  * { box-sizing: border-box; }
  body { margin: 0; padding: 24px 16px 40px; background: var(--ground); color: var(--ink);
         font: 16px/1.4 "Segoe UI", "Liberation Sans", Arial, Helvetica, sans-serif; }
  main { max-width: 880px; margin: 0 auto; }
  header { display: flex; flex-wrap: wrap; align-items: baseline; justify-content: space-between;
           gap: 8px; margin-bottom: 20px; }
  h1 { margin: 0; font-size: 1.6rem; letter-spacing: .02em; }
  .time { color: var(--soft); }
  .time b { color: var(--ink); font-variant-numeric: tabular-nums; }
  .grid { display: grid; grid-template-columns: repeat(auto-fit, minmax(180px, 1fr)); gap: 14px; }
  .tile { background: var(--card); border: 1px solid var(--line); border-radius: 12px;
          padding: 14px 16px; box-shadow: 0 1px 2px rgba(0, 0, 0, .06); }
  .name { font-size: .8rem; text-transform: uppercase; letter-spacing: .08em; color: var(--soft); }
  .value { margin-top: 4px; font-size: 2.1rem; font-weight: 600;
           font-variant-numeric: tabular-nums; }
  .unit { margin-left: 4px; font-size: 1rem; font-weight: 400; color: var(--soft); }
  .load { display: inline-block; margin-top: 10px; padding: 3px 12px; border-radius: 999px;
          background: var(--accent); color: #fff; font-weight: 600; }
  .load:empty { background: var(--line); color: var(--soft); }
  .load:empty::after { content: "Load off"; }
  footer { margin-top: 22px; font-size: .85rem; color: var(--soft); }
</style>
</head>
<body>
<main>
  <header>
    <h1>Wind mill and battery bank</h1>
    <div class="time">Last record at <b><TT></b></div>
  </header>
  <section class="grid">
    <div class="tile"><div class="name">Battery</div>
      <div class="value"><VV><span class="unit">V</span></div></div>
    <div class="tile"><div class="name">Charge current</div>
      <div class="value"><II><span class="unit">A</span></div></div>
    <div class="tile"><div class="name">Power</div>
      <div class="value"><WW><span class="unit">W</span></div></div>
    <div class="tile"><div class="name">Energy today</div>
      <div class="value"><WH><span class="unit">Wh</span></div></div>
    <div class="tile"><div class="name">Turbine</div>
      <div class="value"><RR><span class="unit">RPM</span></div></div>
    <div class="tile"><div class="name">Wind speed</div>
      <div class="value"><SS></div></div>
  </section>
  <div class="load"><MM></div>
  <footer>The highest values of the last logging interval. This page refreshes itself every
    minute.</footer>
</main>
</body>
</html>
