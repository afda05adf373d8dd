#!/usr/bin/python3
"""A real Prometheus (Debian's prometheus) scrapes tessalyd's /metrics on 127.0.0.1: its own
HTTP API, on localhost, then says the target is up and holds a tessaly_ metric.

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
                       ("settings.cfg", b"Calibration Settings\r\n\r\n")):
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
    env = dict(os.environ, XDG_CACHE_HOME=os.path.join(folder, "cache"))
    plant = subprocess.Popen([tessalyd, "--dir", plant_dir], env=env, stderr=subprocess.PIPE,
                             text=True)
    scraper = subprocess.Popen([prometheus, f"--config.file={folder}/prometheus.yml",
                                f"--storage.tsdb.path={folder}/data",
                                f"--web.listen-address=127.0.0.1:{prom_port}"],
                               stderr=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    base = f"http://127.0.0.1:{prom_port}"
    try:
        up, volts = [], []
        for _ in range(600):  # until the first scrapes are in; a safety net of a minute
            try:
                up = query(base, 'up{job="tessaly"}')
                volts = query(base, "tessaly_build_info")
                if up and up[0]["value"][1] == "1" and volts:
                    break
            except OSError:
                pass
            time.sleep(0.1)
        ok = bool(up) and up[0]["value"][1] == "1" and bool(volts)
        print(f"up: {up}\ntessaly_build_info: {volts}")
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
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
