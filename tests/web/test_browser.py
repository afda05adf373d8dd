#!/usr/bin/python3
"""The web view in a real browser: Debian's chromium, headless, driven by chromium-driver through
python3-selenium. tessalyd serves the pages on every device's address with a token, fed frames
through a pseudo-terminal linked as its port. A phone (390 x 844, touch) comes in as a phone
does: ?token= sets the cookie, then the dashboard shows the values of the frames sent. Then
every page is open at once on the phone and on a desktop (1280 x 900) while frames come each
second for a minute: no page's height may move by more than a line. Each page draws with a unit
on every axis and round time marks, the Power curve page the measured bins beside the reference
and the health, the Battery page a month's days, the manifest and its icons are served as a phone
wants them, the dashboard says when its values are older than 30 s and opens its stream again
when the server is back and that its access key changed after a new token, and the console
stays clean. Screenshots are kept in the folder given.

Usage: test_browser.py <tessalyd> <screenshot folder>
"""
import json
import math
import os
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

SKIP = 77  # ctest's SKIP_RETURN_CODE for this test


def need(tool):
    path = shutil.which(tool)
    if path:
        return path
    if os.environ.get("CI") == "true":
        sys.exit(f"{tool} is missing: CI must have it (scripts/deps.sh)")
    print(f"SKIP: {tool} is missing; install chromium, chromium-driver and python3-selenium")
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    if os.environ.get("CI") == "true":
        sys.exit("python3-selenium is missing: CI must have it (scripts/deps.sh)")
    print("SKIP: python3-selenium is missing")
    sys.exit(SKIP)

SETTINGS = (b"Calibration Settings\r\n\r\n\r\n<VoltDivider>40</VoltDivider>\r\n"
            b"<VoltOffset>512</VoltOffset>\r\n<AmpDivider>2</AmpDivider>\r\n"
            b"<RPMDivider>2</RPMDivider>\r\n<WSDivider>5</WSDivider>\r\n")
PROG = (b"Program Config File\r\n\r\n<Port>1</Port>\r\n<Savehtml>0</Savehtml>\r\n"
        b"<SaveExcel>0</SaveExcel>\r\n<LogDelay>60</LogDelay>\r\n<LogOn>0</LogOn>\r\n"
        b"<DisplayRPM>0</DisplayRPM>\r\n<DisplayWS>0</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n\r\n")
# Raw values and what they read as with SETTINGS.
FRAMES = [
    (b"[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n",
     {"volts": "12.80", "amps": "9.00", "watts": "115.20", "rpm": "300.0", "wind": "5.0"}),
    (b"[<V>600</V><I>530</I><R>20</R><M>0</M><S>50</S>]\r\n",
     {"volts": "15.00", "amps": "9.00", "watts": "135.00", "rpm": "600.0", "wind": "10.0"}),
]
# The day of the logs: a fixed one, asked for by the Day page's address, so a run across
# midnight reads the same day as it wrote.
DAY = (2024, 3, 7)
# A maker's curve in m/s; the plant converts it to WSUnits' km/h.
REFCURVE = (b"Reference Power Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>0</W>\r\n"
            b"<V>6</V><W>120</W>\r\n<V>10</V><W>400</W>\r\n<V>14</V><W>600</W>\r\n")
# The site's wind counted in the month of DAY: a Weibull of shape 2 and scale 6 m/s, 20,000 minutes
# in 0.5 m/s bins, so the Wind page has a histogram with its fit.
WIND_BINS = b"<Units>m/s</Units><Width>0.5</Width>\r\n" + b"".join(
    b"<M>%04d-%02d</M><B>%g</B><N>%d</N>\r\n" % (DAY[0], DAY[1], k / 2, n) for k, n in (
        (k, round(20000 * (math.exp(-(max(0, k / 2 - 0.25) / 6) ** 2) -
                           math.exp(-((k / 2 + 0.25) / 6) ** 2)))) for k in range(50)) if n > 0)
# The measured curve so far: six bins of 30 minutes in m/s (the plant's bins for a known WSUnits),
# so the Power curve page draws them beside the reference.
CURVE_BINS = [(3, 5), (4, 40), (5, 80), (6, 115), (7, 180), (8, 260)]
POWER_CURVE = b"<Units>m/s</Units><Width>0.5</Width>\r\n" + b"".join(
    b"<B>%g</B><N>30</N><P>%g</P><SD>%g</SD>\r\n" % (wind, watts, watts / 10)
    for wind, watts in CURVE_BINS)
PHONE = {"width": 390, "height": 844, "pixelRatio": 3, "touch": True}
DESKTOP = (1280, 900)
# How far a page's height may move: one line of its 18 px text at 1.4.
LINE_PX = 26
SPAN_S = 60


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def network_address():
    """This computer's address on its network, as a phone would type it; the loopback when it
    has none (a container without a network)."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.connect(("192.0.2.1", 9))  # a documentation address: nothing is sent
            address = s.getsockname()[0]
        except OSError:
            address = "127.0.0.1"
    return address


class Feeder(threading.Thread):
    """Sends the frames in turn, one a second, until stopped."""

    def __init__(self, board):
        super().__init__(daemon=True)
        self.board = board
        self.stop = threading.Event()
        self.sent = 0

    def run(self):
        while not self.stop.wait(1.0):
            os.write(self.board, FRAMES[self.sent % len(FRAMES)][0])
            self.sent += 1


def open_browser(chromium, driver_path, phone):
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--no-first-run", "--disable-background-timer-throttling",
                     "--disable-renderer-backgrounding", "--disable-backgrounding-occluded-windows"):
        options.add_argument(argument)
    if phone:
        options.add_experimental_option("mobileEmulation", {"deviceMetrics": PHONE})
    else:
        options.add_argument("--window-size=%d,%d" % DESKTOP)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(driver_path), options=options)


# Each page, what shows it has drawn, and the chart whose x axis is one of times.
def pages(iso_day):
    return {
        "now": ("/", "volts", "."),
        "season": ("/season.html", "daysNote", "columns hold records"),
        "curve": ("/curve.html", "health", "Reference: 4 points"),
        "wind": ("/wind.html?months=%04d-%02d" % DAY[:2], "windNote", "Weibull fit: shape k"),
        "battery": ("/battery.html?month=%04d-%02d" % DAY[:2], "batteryNote", "days hold records"),
        "day": (f"/day.html?date={iso_day}", "dayNote", f"24 records on {iso_day}"),
    }


# Every chart of the page: each axis with its unit, and the marks of a time axis on round times
# (every mark a whole multiple of the unit its step is in, local time).
CHARTS_JS = """
const out = [];
for (const chart of Object.values(Chart.instances)) {
  for (const [id, scale] of Object.entries(chart.scales)) {
    const title = scale.options.title;
    if (!title || !title.display || !title.text) out.push(`${chart.canvas.id}: axis ${id} has no unit`);
    if (scale.tessalyUnit) {
      for (const tick of scale.ticks) {
        const d = new Date(tick.value);
        const odd = { second: d.getMilliseconds(), minute: d.getSeconds(), hour: d.getMinutes(),
          day: d.getHours(), month: d.getDate() - 1, year: d.getMonth() }[scale.tessalyUnit];
        if (odd) out.push(`${chart.canvas.id}: a mark at ${d} among ${scale.tessalyUnit}s`);
      }
    }
  }
}
return [Object.keys(Chart.instances).length, out];
"""


def main():
    tessalyd, shots = sys.argv[1], sys.argv[2]
    chromium = need("chromium")
    driver_path = need("chromedriver")
    os.makedirs(shots, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="tessaly-web-")
    port = free_port()
    token = secrets.token_hex(16)
    write(os.path.join(folder, "settings.cfg"), SETTINGS)
    write(os.path.join(folder, "prog.cfg"), PROG)
    write(os.path.join(folder, "refcurve.cfg"), REFCURVE)
    web_cfg = os.path.join(folder, "web.cfg")

    def write_web_cfg(key):
        write(web_cfg, b"Web Settings\r\n\r\n<WebOn>1</WebOn>\r\n<Address>0.0.0.0</Address>\r\n"
              b"<Port>%d</Port>\r\n<Token>%s</Token>\r\n\r\n" % (port, key.encode()))
        os.chmod(web_cfg, 0o600)

    write_web_cfg(token)
    os.makedirs(os.path.join(folder, "logs"))
    # Held already, so a tessalyd run from the build seeds nothing into the folder.
    os.makedirs(os.path.join(folder, "html"))
    write(os.path.join(folder, "html", "template.asp"), b"<VV>")
    day = "".join(f"<V>{12 + h / 10:.1f}</V><I>{h}</I><W>{h * 12}</W><R>{h * 20}</R><S>{h}</S>"
                  f"<M>1</M><T>{h:02d}:00</T>\r\n" for h in range(24))
    log_name = "{}_{}_{}".format(*DAY)
    write(os.path.join(folder, "logs", log_name + ".txt"), day.encode())
    write(os.path.join(folder, "logs", "windbins.txt"), WIND_BINS)
    write(os.path.join(folder, "logs", "powercurve.txt"), POWER_CURVE)
    write(os.path.join(folder, "logs", "energy.txt"),
          f"<D>{log_name}</D><H>10</H><WH>123.45</WH>\r\n".encode())

    board, line = os.openpty()
    os.symlink(os.ttyname(line), os.path.join(folder, "com1"))
    env = dict(os.environ, XDG_CACHE_HOME=os.path.join(folder, "cache"), QT_QPA_PLATFORM="offscreen")
    plants = [subprocess.Popen([tessalyd, "--dir", folder], env=env, stderr=subprocess.PIPE, text=True)]
    browsers = []
    feeder = Feeder(board)
    failures = []
    try:
        base = f"http://{network_address()}:{port}"
        bearer = {"Authorization": f"Bearer {token}"}

        def fetch(path):
            return urllib.request.urlopen(urllib.request.Request(base + path, headers=bearer),
                                          timeout=5)

        def until_listening():
            for _ in range(1200):  # a safety net, not a pass condition
                try:
                    fetch("/api/now").read()
                    return
                except OSError:
                    time.sleep(0.05)

        until_listening()

        # The manifest and its icons, as a phone's browser asks for them.
        with fetch("/manifest.webmanifest") as answer:
            kind = answer.headers["Content-Type"]
            manifest = json.load(answer)
        if kind != "application/manifest+json":
            failures.append(f"the manifest comes as {kind}")
        if manifest.get("display") != "standalone" or manifest.get("start_url") != "/":
            failures.append(f"the manifest says {manifest}")
        for icon in manifest.get("icons", []):
            with fetch(icon["src"]) as answer:
                if answer.headers["Content-Type"] != icon["type"] or not answer.read():
                    failures.append(f"icon {icon['src']} comes as {answer.headers['Content-Type']}")

        phone = open_browser(chromium, driver_path, True)
        browsers.append(phone)
        wait = WebDriverWait(phone, 20)
        # The token once in the address: the cookie keeps it, the address loses it.
        phone.get(f"{base}/?token={token}")
        if "token" in phone.current_url or not any(c["name"] == "tessaly_token" for c in phone.get_cookies()):
            failures.append(f"?token= left {phone.current_url} and cookies {phone.get_cookies()}")
        for frame, shown in FRAMES:
            os.write(board, frame)
            try:
                wait.until(lambda b: all(b.find_element("id", k).text == v for k, v in shown.items()))
            except Exception:
                seen = {k: phone.find_element("id", k).text for k in shown}
                failures.append(f"dashboard shows {seen}, the frame says {shown}")
        now = json.load(fetch("/api/now"))
        if abs(now["volts"] - 15.0) > 1e-9:
            failures.append(f"/api/now says {now['volts']} V")

        desktop = open_browser(chromium, driver_path, False)
        browsers.append(desktop)
        # The desktop is another computer of the house: another address, since the server lets one
        # address hold at most 8 connections and each browser keeps up to 6. The IPv6 loopback
        # is that address here, and its Host rule is tried on the way.
        desktop_base = f"http://[::1]:{port}"
        desktop.get(f"{desktop_base}/?token={token}")
        iso_day = "{:04d}-{:02d}-{:02d}".format(*DAY)
        # Every page in a window of its own on both, all open at once.
        windows = []
        feeder.start()
        for browser, size, at in ((phone, "phone", base), (desktop, "desktop", desktop_base)):
            first = True
            for name, (path, element, text) in pages(iso_day).items():
                if not first:
                    browser.switch_to.new_window("window")
                first = False
                browser.get(at + path)
                windows.append((browser, size, name, browser.current_window_handle, element, text))
        heights = {}
        for browser, size, name, handle, element, text in windows:
            browser.switch_to.window(handle)
            try:
                WebDriverWait(browser, 30).until(
                    lambda b: text in b.find_element("id", element).text and
                    b.execute_script("return typeof Chart !== 'undefined' && "
                                     "Object.keys(Chart.instances).length > 0"))
            except Exception:
                failures.append(f"{size} {name}: {element} says {browser.find_element('id', element).text!r}")
            width, view = browser.execute_script(
                "return [document.documentElement.scrollWidth, window.innerWidth]")
            if width > view:
                failures.append(f"{size} {name} is {width} px wide in a {view} px window")
            if size == "phone" and view != PHONE["width"]:
                failures.append(f"the phone's {name} window is {view} px wide")
            heights[(size, name)] = browser.execute_script("return document.documentElement.scrollHeight")

        # The minute of live frames the pages must hold still through.
        frames_before = feeder.sent
        start = time.monotonic()
        while time.monotonic() - start < SPAN_S:
            time.sleep(5)
            for browser, size, name, handle, element, text in windows:
                browser.switch_to.window(handle)
                height = browser.execute_script("return document.documentElement.scrollHeight")
                if abs(height - heights[(size, name)]) > LINE_PX:
                    failures.append(f"{size} {name}: {heights[(size, name)]} px high, then {height}")
                    heights[(size, name)] = height
        if feeder.sent - frames_before < SPAN_S // 2:
            failures.append(f"only {feeder.sent - frames_before} frames went in the minute")

        for browser, size, name, handle, element, text in windows:
            browser.switch_to.window(handle)
            count, problems = browser.execute_script(CHARTS_JS)
            failures += [f"{size} {name}: {p}" for p in problems]
            if count < 1:
                failures.append(f"{size} {name}: no chart")
            if name == "now":
                points = browser.execute_script(
                    "return Chart.getChart('trend').data.datasets[0].data.length")
                if points < SPAN_S // 2:
                    failures.append(f"{size} now: {points} points after a minute of frames")
            if name == "curve":
                health = browser.find_element("id", "health").text
                for said in ("Last 7 days", "Last 30 days", "left out", "Power curve low alarm: off"):
                    if said not in health:
                        failures.append(f"{size} curve: the health says {health!r}, not {said!r}")
                # The measured bins drawn beside the reference (a minute of frames may add one).
                drawn = dict(browser.execute_script(
                    "return Chart.getChart('curve').data.datasets.map((d) => [d.label, d.data.length])"))
                if drawn.get("measured W", 0) < len(CURVE_BINS) or drawn.get("reference W") != 4:
                    failures.append(f"{size} curve: the chart draws {drawn}")
            if name == "battery":
                summary = browser.find_element("id", "batterySummary").text
                if not summary.startswith("Last 31 days, to "):
                    failures.append(f"{size} battery: the summary says {summary!r}")
            browser.save_screenshot(os.path.join(shots, f"{name}-{size}.png"))

        # No frame any more: the dashboard says its values are old, past 30 s.
        feeder.stop.set()
        feeder.join()
        now_browser, now_handle = next((w[0], w[3]) for w in windows if w[2] == "now")
        browser = now_browser
        browser.switch_to.window(now_handle)
        try:
            WebDriverWait(browser, 60).until(
                lambda b: "stale" in b.find_element("id", "state").get_attribute("class"))
            browser.save_screenshot(os.path.join(shots, "now-stale.png"))
        except Exception:
            failures.append(f"the dashboard says {browser.find_element('id', 'state').text!r} "
                            "with no frame for a minute")

        # The console of every window a browser opened (each message names its page), before
        # the server goes away: the stream's lost connection is written there then.
        for browser, size, at in ((phone, "phone", base), (desktop, "desktop", desktop_base)):
            errors = [e for e in browser.get_log("browser") if e["level"] == "SEVERE"]
            failures += [f"{size} console: {e['message']}" for e in errors]

        # The server gone and back: the dashboard opens its stream again by itself.
        browser = now_browser
        plants[-1].terminate()
        plants[-1].wait(30)
        plants.append(subprocess.Popen([tessalyd, "--dir", folder], env=env,
                                       stderr=subprocess.PIPE, text=True))
        until_listening()
        feeder = Feeder(board)
        feeder.start()
        try:
            WebDriverWait(browser, 30).until(
                lambda b: b.find_element("id", "state").text == "Live")
        except Exception:
            failures.append(f"after the server came back the dashboard says "
                            f"{browser.find_element('id', 'state').text!r}")

        # A new token: the stream ends, and the dashboard says the key changed rather than
        # trying on; the page asked for again says how to get in.
        write_web_cfg(secrets.token_hex(16))
        plants[-1].send_signal(signal.SIGHUP)
        try:
            WebDriverWait(browser, 30).until(
                lambda b: "access key has changed" in b.find_element("id", "state").text)
        except Exception:
            failures.append(f"after a new token the dashboard says "
                            f"{browser.find_element('id', 'state').text!r}")
        browser.save_screenshot(os.path.join(shots, "now-new-token.png"))
        browser.get(base + "/")
        page = browser.find_element("tag name", "body").text
        if "?token=" not in page or "tessalyd web" not in page:
            failures.append(f"without the new token the page says {page!r}")
        browser.save_screenshot(os.path.join(shots, "unauthorized-phone.png"))

        for failure in failures:
            print("FAIL:", failure)
        print(f"{len(windows)} windows checked, {len(failures)} failures; screenshots in {shots}")
        return 1 if failures else 0
    finally:
        feeder.stop.set()
        for browser in browsers:
            browser.quit()
        for plant in plants:
            plant.terminate()
            try:
                out = plant.communicate(timeout=30)[1]
            except subprocess.TimeoutExpired:
                plant.kill()
                out = plant.communicate()[1]
            if out:
                print("tessalyd said:\n" + out)
        os.close(board)
        os.close(line)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
