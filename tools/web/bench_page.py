#!/usr/bin/python3
"""The live page's cost, measured side by side in one run.

  python3 tools/web/bench_page.py build [SECONDS]

Two kalorivox-simpty buses of 50 DS18B20 each; two probes at a 1 s interval with CSV output,
one of them with --http and a day of history (50 sensors every 10 s, read back from CSV).
Headless chromium loads the page once (bytes, milliseconds to the first drawn chart) and keeps
it open for SECONDS (default 1800); the probes' CPU time and memory are compared at the end.
"""
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

# The Dallas/Maxim CRC-8 of ROM codes, as the chart's day log writes them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "bench_chart"))
from day_log import crc8  # noqa: E402

SENSORS = 50
DAY = 24 * 3600
HISTORY_STEP = 10


def roms():
    out = []
    for i in range(SENSORS):
        rom14 = "28%012X" % (0x0417A3C40000 + i)
        out.append((rom14, rom14 + "%02X" % crc8(bytes.fromhex(rom14))))
    return out


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def cpu_and_memory(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])
    status = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            status[key] = value.strip()
    return ticks / os.sysconf("SC_CLK_TCK"), int(status["VmRSS"].split()[0]), int(status["VmHWM"].split()[0])


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 1800
    folder = tempfile.mkdtemp(prefix="kv-bench-page-")
    history = os.path.join(folder, "history.csv")
    now = int(time.time())
    codes = roms()
    with open(history, "w") as f:
        f.write("time,rom,family,power,resolution,celsius,state\n")
        for t in range(now - DAY, now, HISTORY_STEP):
            stamp = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(t))
            for i, (_, full) in enumerate(codes):
                f.write("%s,%s,DS18B20,external,12,%.4f,ok\n" % (stamp, full, 15 + i * 0.2 + (t // 60 % 37) / 16))
    procs = []
    links = []
    for name in ("page", "plain"):
        link = os.path.join(folder, name)
        args = [os.path.join(build, "tools/simpty/kalorivox-simpty"), "--link", link]
        for i, (rom14, _) in enumerate(codes):
            args += ["--ds18b20", "%s:%.4f" % (rom14, 15 + i * 0.2)]
        procs.append(subprocess.Popen(args, stdout=subprocess.DEVNULL))
        links.append(link)
    for link in links:
        while not os.path.islink(link):
            time.sleep(0.1)
    port = free_port()
    probe = os.path.join(build, "probe/kalorivox-probe")
    devnull = open(os.devnull, "w")
    with_page = subprocess.Popen([probe, "--every", "1", "--format", "csv", "--http", "127.0.0.1:%d" % port,
                                  "--history", history, links[0]], stdout=devnull, stderr=devnull)
    plain = subprocess.Popen([probe, "--every", "1", "--format", "csv", links[1]], stdout=devnull, stderr=devnull)
    procs += [with_page, plain]
    try:
        url = "http://127.0.0.1:%d/" % port
        for _ in range(600):  # the day read back, and the first pass
            try:
                with urllib.request.urlopen(url + "api/v1/history") as reply:
                    body = reply.read()
                series = json.loads(body)["series"]
                if len(series) == SENSORS and min(len(s["points"]) for s in series) > 1000:
                    break
            except OSError:
                pass
            time.sleep(0.5)
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + os.path.join(folder, "profile"), "--window-size=1280,960"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        start_page = cpu_and_memory(with_page.pid)
        start_plain = cpu_and_memory(plain.pid)
        driver.get(url)
        for _ in range(600):
            drawn = driver.execute_script("return document.body.dataset.chartDrawn")
            if drawn:
                break
            time.sleep(0.05)
        transfer = driver.execute_script(
            "const n = performance.getEntriesByType('navigation')[0];"
            "const r = performance.getEntriesByType('resource');"
            "return [n.transferSize + r.reduce((s, e) => s + e.transferSize, 0),"
            " r.map(e => [e.name, e.transferSize, Math.round(e.duration)])]")
        print("first load with %d sensors and 24 h of history (one reading every %d s):" % (SENSORS, HISTORY_STEP))
        print("  bytes transferred: %d" % transfer[0])
        for name, size, ms in transfer[1]:
            print("    %-40s %8d bytes %5d ms" % (name.replace(url, "/"), size, ms))
        print("  first chart drawn: %s ms after navigation start" % drawn)
        time.sleep(seconds)
        end_page = cpu_and_memory(with_page.pid)
        end_plain = cpu_and_memory(plain.pid)
        alive = driver.execute_script("return document.body.dataset.chartDrawn !== undefined")
        rows = driver.execute_script("return document.querySelectorAll('#rows tr').length")
        driver.quit()
        print("probes at a 1 s interval, %d s side by side (page open all the time: %s, %d rows):" % (seconds, alive, rows))
        for name, a, b in (("--http, page open", start_page, end_page), ("without --http", start_plain, end_plain)):
            cpu = b[0] - a[0]
            print("  %-20s CPU %.1f s (%.2f %% of a core), RSS %d kB (peak %d kB)"
                  % (name, cpu, 100 * cpu / seconds, b[1], b[2]))
        ratio = (end_page[0] - start_page[0]) / max(0.01, end_plain[0] - start_plain[0])
        print("  CPU ratio page/plain: %.2f; RSS ratio: %.2f" % (ratio, end_page[1] / end_plain[1]))
    finally:
        for p in procs:
            p.terminate()
        for p in procs:
            p.wait(10)


if __name__ == "__main__":
    sys.exit(main())
