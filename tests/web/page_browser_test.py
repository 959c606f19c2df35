#!/usr/bin/python3
"""The live page in a real browser: Debian's chromium, headless, driven through chromedriver,
loads the page of a kalorivox-probe reading a simulated bus on a pseudo-terminal.

It checks that the simulator's values are shown as the window shows them, that a new pass
arrives without a reload, that a sensor pulled out is marked as no longer answering, and that
a hostile name is shown as text. With --screenshot it saves the page as a PNG.

Exit status 77 (skipped) only when chromium, chromedriver or selenium is not installed.
"""
import argparse
import json
import math
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

# The Dallas/Maxim CRC-8 of ROM codes, as the chart's day log writes them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "bench_chart"))
from day_log import crc8  # noqa: E402

SKIP = 77
HOSTILE = "<img src=x onerror=alert(1)>"
# The simulator's sensors: ROM (14 digits, the CRC is added), degrees, flags.
WARM = ("28FF1EC4A31704", "21.5", "")
COLD = ("28A2B3C4D5E6F7", "-10.125", "parasite")
OLDER = ("10112233445566", "24", "")
AWAY = ("28AABB00000003", "30", "away")
WAIT_S = 30


def window_rom(rom14):
    """28-0417A3C41EFF-50: family, serial most significant byte first, CRC."""
    data = bytes.fromhex(rom14)
    crc = crc8(data)
    serial = data[1:7][::-1]
    return "%02X-%s-%02X" % (data[0], serial.hex().upper(), crc)


def full_hex(rom14):
    return rom14 + "%02X" % crc8(bytes.fromhex(rom14))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, condition, limit=WAIT_S):
    end = time.time() + limit
    while time.time() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        return None, "python3-selenium is not installed (bash tools/setup.sh installs it)"
    for path in ("/usr/bin/chromium", "/usr/bin/chromedriver"):
        if not os.path.exists(path):
            return None, path + " is not installed (bash tools/setup.sh installs chromium and chromium-driver)"
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="kv-chromium-")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile, "--window-size=1280,960", "--lang=ru"):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options), None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--simpty", required=True)
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    driver, missing = browser()
    if driver is None:
        print("SKIPPED: " + missing)
        return SKIP

    folder = tempfile.mkdtemp(prefix="kv-page-")
    link = os.path.join(folder, "bus")
    names = os.path.join(folder, "names.txt")
    with open(names, "w", encoding="utf-8") as f:
        f.write("%s = %s\n" % (window_rom(WARM[0]), "Котёл подача"))
        f.write("%s = %s\n" % (window_rom(COLD[0]), HOSTILE))
    # A day of readings written earlier, every minute: the chart starts with them.
    history = os.path.join(folder, "history.csv")
    now = int(time.time())
    with open(history, "w") as f:
        f.write("time,rom,family,power,resolution,celsius,state\n")
        for minute in range(24 * 60, 0, -1):
            stamp = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now - minute * 60))
            swing = math.sin(minute / 180.0)
            f.write("%s,%s,DS18B20,external,12,%.4f,ok\n" % (stamp, full_hex(WARM[0]), 21.5 + 1.5 * swing))
            if not 300 <= minute < 340:  # forty minutes without the cold one
                f.write("%s,%s,DS18B20,parasite,12,%.4f,ok\n" % (stamp, full_hex(COLD[0]), -10 + 3 * swing))
    sim_args = [args.simpty, "--link", link]
    for rom, celsius, flags in (WARM, COLD, AWAY):
        sim_args += ["--ds18b20", ":".join(p for p in (rom, celsius, flags) if p)]
    sim_args += ["--ds18s20", ":".join(OLDER[:2])]
    sim = subprocess.Popen(sim_args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    probe = None
    try:
        wait_for("the simulator's link", lambda: os.path.islink(link), 10)
        sim.send_signal(signal.SIGUSR1)  # the away sensor is plugged in before the probe starts
        port = free_port()
        probe = subprocess.Popen([args.probe, "--every", "1", "--http", "127.0.0.1:%d" % port,
                                  "--names", names, "--limits", "20:22", "--history", history,
                                  link],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        url = "http://127.0.0.1:%d/" % port
        wait_for("the page to be served", lambda: _reachable(port), 10)
        driver.get(url)

        def cells(rom14):
            rows = driver.execute_script(
                "return Array.from(document.querySelectorAll('#rows tr')).map(tr => "
                "[tr.dataset.rom, tr.dataset.state, Array.from(tr.cells).map(td => td.textContent),"
                " Array.from(tr.cells).map(td => td.style.backgroundColor)])")
            for rom, state, texts, colours in rows:
                if rom == window_rom(rom14):
                    return state, texts, colours
            return None

        # The simulator's values, as the window shows them; the names as plain text.
        warm = wait_for("the warm sensor's reading", lambda: (c := cells(WARM[0])) and c[1][4] == "21.5 °C" and c)
        assert warm[1][0] == "Котёл подача", warm
        assert warm[1][1:4] == ["DS18B20", window_rom(WARM[0]), "3 вывода"], warm
        assert warm[1][5] == "OK", warm
        cold = wait_for("the cold sensor's reading", lambda: (c := cells(COLD[0])) and c[1][4] == "-10.1 °C" and c)
        assert cold[1][0] == HOSTILE, cold
        assert cold[1][3] == "2 вывода ('паразитное' питание)", cold
        # Outside the limits 20..22: light yellow, as in the window.
        assert cold[2][4] == "rgb(255, 249, 171)", cold
        assert warm[2][4] == "", warm
        older = wait_for("the DS18S20", lambda: (c := cells(OLDER[0])) and c[1][4] == "24.0 °C" and c)
        assert older[1][1] == "DS1820 / DS18S20", older
        assert driver.execute_script("return document.querySelectorAll('img').length") == 0
        assert driver.execute_script(
            "return document.querySelector('#legend').textContent.includes(arguments[0])", HOSTILE)
        wait_for("the chart to be drawn", lambda: driver.execute_script(
            "return document.body.dataset.chartDrawn"))
        # The day read back from the CSV: the line reaches back twelve hours and more, with the
        # cold sensor's forty minutes as a gap, thinned on the server.
        with urllib.request.urlopen(url + "api/v1/history?rom=" + window_rom(COLD[0])) as reply:
            points = json.load(reply)["series"][0]["points"]
        assert points[0][0] < (now - 12 * 3600) * 1000, points[0]
        assert any(value is None for _, value in points), "the gap"
        assert len(points) <= 2000 + 10

        # Under the pointer: the time and each sensor's reading there, its name as text.
        from selenium.webdriver.common.action_chains import ActionChains
        chart = driver.find_element("id", "chart")
        ActionChains(driver).move_to_element_with_offset(chart, 0, 0).perform()
        pointer = wait_for("the readings under the pointer", lambda: driver.execute_script(
            "const p = document.getElementById('pointer'); return p.hidden ? '' : p.textContent"))
        assert "°C" in pointer and HOSTILE in pointer, pointer

        # A new pass arrives live: the same document, a newer reading.
        driver.execute_script("window.kvSameDocument = true")
        before = int(driver.execute_script(
            "return document.querySelector('#rows tr[data-rom=\"%s\"] td.age').dataset.time" % window_rom(WARM[0])))
        wait_for("a new reading without a reload", lambda: int(driver.execute_script(
            "return document.querySelector('#rows tr[data-rom=\"%s\"] td.age').dataset.time" % window_rom(WARM[0])) or 0) > before)
        assert driver.execute_script("return window.kvSameDocument === true")

        # Pulled out: after two passes without it, no longer answering since then.
        wait_for("the away sensor's reading", lambda: (c := cells(AWAY[0])) and c[1][4] == "30.0 °C")
        sim.send_signal(signal.SIGUSR1)
        lost = wait_for("the sensor to be marked lost", lambda: (c := cells(AWAY[0])) and c[0] == "lost" and c)
        assert lost[1][5].startswith("Не отвечает с "), lost
        assert lost[2][5] == "rgb(253, 136, 136)", lost
        if args.screenshot:
            time.sleep(1.5)
            driver.save_screenshot(args.screenshot)
            print("screenshot: " + args.screenshot)
        print("page test passed")
        return 0
    finally:
        driver.quit()
        if probe:
            probe.terminate()
            try:
                probe.wait(10)
            except subprocess.TimeoutExpired:
                probe.kill()
        sim.terminate()
        sim.wait(10)


def _reachable(port):
    try:
        with socket.create_connection(("127.0.0.1", port), 0.5):
            return True
    except OSError:
        return False


if __name__ == "__main__":
    sys.exit(main())
