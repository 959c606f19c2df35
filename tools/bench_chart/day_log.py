#!/usr/bin/env python3
"""Writes an event log as the program writes it, for a day (or more) of readings up to now:
a room that warms by day, a boiler's flow with heating cycles and an overshoot at night, a
freezer with its compressor cycles and a defrost, and an outside sensor (DS18S20, half
degrees) that goes missing for forty minutes. For looking at the chart and its screenshots.

    python3 tools/bench_chart/day_log.py DS18B20_Kalorivox.log [--hours 24] [--interval 10]
"""
import argparse
import math
import random
import time


def crc8(data):
    crc = 0
    for byte in data:
        for _ in range(8):
            mix = (crc ^ byte) & 1
            crc >>= 1
            if mix:
                crc ^= 0x8C
            byte >>= 1
    return crc


def rom_text(family, serial):
    body = [family] + [(serial >> (8 * i)) & 0xFF for i in range(6)]
    return "%02X-%012X-%02X" % (family, serial, crc8(body))


def room(t, hour):
    return 20.5 + 1.6 * math.sin((hour - 9) / 24 * 2 * math.pi) + random.gauss(0, 0.05)


def boiler(t, hour):
    cycle = (t % 2400) / 2400  # forty-minute heating cycles
    value = 48 + 20 * (cycle if cycle < 0.6 else (1 - cycle) / 0.4 * 0.6)
    if 2.5 <= hour < 3.5:  # the night's overshoot
        value += 10 * math.sin((hour - 2.5) * math.pi)
    return value + random.gauss(0, 0.1)


def freezer(t, hour):
    value = -18 + 1.5 * math.sin(t / 1500 * 2 * math.pi)
    if 14 <= hour < 14.75:  # defrost
        value += 13 * math.sin((hour - 14) / 0.75 * math.pi)
    return value + random.gauss(0, 0.05)


def outside(t, hour):
    return round((2 + 5 * math.sin((hour - 8) / 24 * 2 * math.pi)) * 2) / 2


SENSORS = [
    (rom_text(0x28, 0x0417A3C41EFF), room),
    (rom_text(0x28, 0x03168E2A4B11), boiler),
    (rom_text(0x28, 0x0000075B33C2), freezer),
    (rom_text(0x10, 0x0008021B6F3A), outside),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("path")
    parser.add_argument("--hours", type=float, default=24)
    parser.add_argument("--interval", type=int, default=10)
    args = parser.parse_args()
    random.seed(1)
    now = int(time.time())
    start = now - int(args.hours * 3600)
    with open(args.path, "wb") as out:
        out.write(b"\xEF\xBB\xBF")
        for t in range(start, now, args.interval):
            local = time.localtime(t)
            hour = local.tm_hour + local.tm_min / 60
            stamp = time.strftime("[%d/%m/%Y %H:%M:%S]  ", local)
            for rom, curve in SENSORS:
                if curve is outside and 19 <= hour < 19 + 40 / 60:
                    continue  # the outside sensor's cable was off
                line = "%s%s  \u2014  %.1f \u00b0C\r\n" % (stamp, rom, curve(t, hour))
                out.write(line.encode("utf-8"))


if __name__ == "__main__":
    main()
