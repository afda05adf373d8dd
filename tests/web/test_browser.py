#!/usr/bin/python3
"""The web view in a real browser: Debian's chromium, headless, driven by chromium-driver through
python3-selenium, on a phone-sized window. tessalyd serves the pages, fed frames through a
pseudo-terminal linked as its port; each page loads with no error in the browser's console, and
the dashboard shows the values of the frames sent. Screenshots are kept in the folder given.

Usage: test_browser.py <tessalyd> <screenshot folder>
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    tessalyd, shots = sys.argv[1], sys.argv[2]
    chromium = need("chromium")
    driver_path = need("chromedriver")
    os.makedirs(shots, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="tessaly-web-")
    port = free_port()
    write(os.path.join(folder, "settings.cfg"), SETTINGS)
    write(os.path.join(folder, "prog.cfg"), PROG)
    web_cfg = os.path.join(folder, "web.cfg")
    write(web_cfg, b"Web Settings\r\n\r\n<WebOn>1</WebOn>\r\n<Address>127.0.0.1</Address>\r\n"
          b"<Port>%d</Port>\r\n<Token></Token>\r\n\r\n" % port)
    os.chmod(web_cfg, 0o600)
    os.makedirs(os.path.join(folder, "logs"))
    # Held already, so a tessalyd run from the build seeds nothing into the folder.
    os.makedirs(os.path.join(folder, "html"))
    write(os.path.join(folder, "html", "template.asp"), b"<VV>")
    day = "".join(f"<V>{12 + h / 10:.1f}</V><I>{h}</I><W>{h * 12}</W><R>{h * 20}</R><S>{h}</S>"
                  f"<M>1</M><T>{h:02d}:00</T>\r\n" for h in range(24))
    log_name = "{}_{}_{}".format(*DAY)
    write(os.path.join(folder, "logs", log_name + ".txt"), day.encode())
    write(os.path.join(folder, "logs", "energy.txt"),
          f"<D>{log_name}</D><H>10</H><WH>123.45</WH>\r\n".encode())

    board, line = os.openpty()
    os.symlink(os.ttyname(line), os.path.join(folder, "com1"))
    env = dict(os.environ, XDG_CACHE_HOME=os.path.join(folder, "cache"), QT_QPA_PLATFORM="offscreen")
    plant = subprocess.Popen([tessalyd, "--dir", folder], env=env, stderr=subprocess.PIPE, text=True)
    browser = None
    try:
        base = f"http://127.0.0.1:{port}"
        for _ in range(1200):  # until tessalyd listens; a safety net, not a pass condition
            try:
                urllib.request.urlopen(base + "/api/now", timeout=5).read()
                break
            except OSError:
                time.sleep(0.05)
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                         "--disable-dev-shm-usage", "--no-first-run"):
            options.add_argument(argument)
        # A phone: 390 by 844 CSS pixels at three device pixels each, with a touch screen.
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": 390, "height": 844, "pixelRatio": 3, "touch": True}})
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        browser = webdriver.Chrome(service=Service(driver_path), options=options)
        wait = WebDriverWait(browser, 20)
        failures = []

        browser.get(base + "/")
        for frame, shown in FRAMES:
            os.write(board, frame)
            try:
                wait.until(lambda b: all(b.find_element("id", k).text == v for k, v in shown.items()))
            except Exception:
                seen = {k: browser.find_element("id", k).text for k in shown}
                failures.append(f"dashboard shows {seen}, the frame says {shown}")
        browser.save_screenshot(os.path.join(shots, "now.png"))
        now = json.load(urllib.request.urlopen(base + "/api/now", timeout=5))
        if abs(now["volts"] - 15.0) > 1e-9:
            failures.append(f"/api/now says {now['volts']} V")

        iso_day = "{:04d}-{:02d}-{:02d}".format(*DAY)
        ready = {"season.html": ("energyTotal", "kWh"), "curve.html": ("curveNote", " "),
                 f"day.html?date={iso_day}": ("dayNote", f"24 records on {iso_day}")}
        for page, (element, text) in ready.items():
            browser.get(f"{base}/{page}")
            try:
                wait.until(lambda b: text in b.find_element("id", element).text)
            except Exception:
                failures.append(f"{page}: {element} says {browser.find_element('id', element).text!r}")
            browser.save_screenshot(os.path.join(shots, page.split(".html")[0] + ".png"))
            width, view = browser.execute_script(
                "return [document.documentElement.scrollWidth, window.innerWidth]")
            if width > view:
                failures.append(f"{page} is {width} px wide on a {view} px phone")

        errors = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
        failures += [f"console: {entry['message']}" for entry in errors]
        for failure in failures:
            print("FAIL:", failure)
        print(f"4 pages checked, {len(failures)} failures; screenshots in {shots}")
        return 1 if failures else 0
    finally:
        if browser:
            browser.quit()
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
