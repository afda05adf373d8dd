#!/usr/bin/python3
"""A real Prometheus (Debian's prometheus) scrapes tessalyd's /metrics on 127.0.0.1 after a
frame is sent on the board's line (a pseudo-terminal): its own HTTP API, on localhost, then says
the target is up and that tessaly_battery_volts is the frame's volts.

Usage: test_prometheus.py <tessalyd>
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

SKIP = 77
# 512 raw at 40 a volt over 512 below: 12.8 V.
SETTINGS = (b"Calibration Settings\r\n\r\n\r\n<VoltDivider>40</VoltDivider>\r\n"
            b"<VoltOffset>512</VoltOffset>\r\n<AmpDivider>2</AmpDivider>\r\n"
            b"<RPMDivider>2</RPMDivider>\r\n<WSDivider>5</WSDivider>\r\n")
FRAME = b"[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n"
VOLTS = 12.8


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def query(base, expression):
    url = f"{base}/api/v1/query?" + urllib.parse.urlencode({"query": expression})
    answer = json.load(urllib.request.urlopen(url, timeout=5))
    return answer["data"]["result"]


def main():
    tessalyd = sys.argv[1]
    prometheus = shutil.which("prometheus")
    if not prometheus:
        if os.environ.get("CI") == "true":
            sys.exit("prometheus is missing: CI must have it (scripts/deps.sh)")
        print("SKIP: prometheus is missing; install Debian's prometheus package")
        return SKIP
    folder = tempfile.mkdtemp(prefix="tessaly-prom-")
    port, prom_port = free_port(), free_port()
    plant_dir = os.path.join(folder, "plant")
    os.makedirs(os.path.join(plant_dir, "html"))
    # Held already, so a tessalyd run from the build seeds nothing into the folder.
    with open(os.path.join(plant_dir, "html", "template.asp"), "wb") as f:
        f.write(b"<VV>")
    for name, text in (("prog.cfg", b"Program Config File\r\n\r\n<Port>1</Port>\r\n\r\n"),
                       ("settings.cfg", SETTINGS)):
        with open(os.path.join(plant_dir, name), "wb") as f:
            f.write(text)
    with open(os.path.join(plant_dir, "web.cfg"), "wb") as f:
        f.write(b"Web Settings\r\n\r\n<WebOn>1</WebOn>\r\n<Address>127.0.0.1</Address>\r\n"
                b"<Port>%d</Port>\r\n<Token></Token>\r\n\r\n" % port)
    os.chmod(os.path.join(plant_dir, "web.cfg"), 0o600)
    with open(os.path.join(folder, "prometheus.yml"), "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                "scrape_configs:\n  - job_name: tessaly\n    static_configs:\n"
                f"      - targets: ['127.0.0.1:{port}']\n")
    # Port 1 is com1 in the folder: the pseudo-terminal's line end.
    board, line = os.openpty()
    os.symlink(os.ttyname(line), os.path.join(plant_dir, "com1"))
    env = dict(os.environ, XDG_CACHE_HOME=os.path.join(folder, "cache"))
    plant = subprocess.Popen([tessalyd, "--dir", plant_dir], env=env, stderr=subprocess.PIPE,
                             text=True)
    scraper = subprocess.Popen([prometheus, f"--config.file={folder}/prometheus.yml",
                                f"--storage.tsdb.path={folder}/data",
                                f"--web.listen-address=127.0.0.1:{prom_port}"],
                               stderr=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    base = f"http://127.0.0.1:{prom_port}"
    now_url = f"http://127.0.0.1:{port}/api/now"
    try:
        # The frame goes once the line is open, so it is read rather than left behind.
        line_open = False
        for _ in range(600):  # a safety net of a minute
            try:
                line_open = json.load(urllib.request.urlopen(now_url, timeout=5))["line"] == "open"
            except OSError:
                pass
            if line_open:
                break
            time.sleep(0.1)
        os.write(board, FRAME)
        up, volts = [], []
        for _ in range(600):  # until a scrape after the frame is in; a safety net of a minute
            try:
                up = query(base, 'up{job="tessaly"}')
                volts = query(base, "tessaly_battery_volts")
                if up and up[0]["value"][1] == "1" and volts and \
                        float(volts[0]["value"][1]) == VOLTS:
                    break
            except OSError:
                pass
            time.sleep(0.1)
        ok = line_open and bool(up) and up[0]["value"][1] == "1" and bool(volts) and \
            float(volts[0]["value"][1]) == VOLTS
        print(f"line open: {line_open}\nup: {up}\ntessaly_battery_volts: {volts}")
        if not ok:
            targets = json.load(urllib.request.urlopen(base + "/api/v1/targets", timeout=5))
            for target in targets["data"]["activeTargets"]:
                print("scrape:", target.get("lastError"), target.get("health"))
        print("1 passed, 0 failed" if ok else "0 passed, 1 failed")
        return 0 if ok else 1
    finally:
        for process in (scraper, plant):
            process.terminate()
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
        print("tessalyd said:\n" + plant.stderr.read())
        os.close(board)
        os.close(line)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
