#!/usr/bin/python3
"""Hostile requests against the probe's live page while it measures a simulated bus.

  python3 tools/web/hostile_requests.py build

Starts kalorivox-simpty (four DS18B20) and kalorivox-probe --every 1 --format csv --http on a
free loopback port, then sends oversized, slow, malformed and path-trick requests and opens
200 connections at once. Prints how each was answered, and whether every pass of the probe
came on time meanwhile (its CSV records, one a second). Exit status 1 when a check fails.
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

SENSORS = ["28AABB0000000%d:2%d.5" % (i, i) for i in range(1, 5)]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def exchange(port, data, wait=5.0):
    """Sends the bytes, returns the first line of the answer or how the connection ended."""
    s = socket.create_connection(("127.0.0.1", port), 5)
    s.settimeout(wait)
    try:
        s.sendall(data)
        reply = b""
        while b"\r\n" not in reply:
            chunk = s.recv(4096)
            if not chunk:
                break
            reply += chunk
    except socket.timeout:
        return "no answer within %.0f s" % wait
    except (ConnectionResetError, BrokenPipeError):
        return "connection reset"
    finally:
        s.close()
    line = reply.split(b"\r\n")[0].decode("latin-1")
    return line or "closed without an answer"


def get(port, target, headers=""):
    return ("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n%s\r\n"
            % (target, port, headers)).encode()


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    folder = tempfile.mkdtemp(prefix="kv-hostile-")
    link = os.path.join(folder, "bus")
    records = os.path.join(folder, "records.csv")
    sim_args = [os.path.join(build, "tools/simpty/kalorivox-simpty"), "--link", link]
    for sensor in SENSORS:
        sim_args += ["--ds18b20", sensor]
    sim = subprocess.Popen(sim_args, stdout=subprocess.DEVNULL)
    while not os.path.islink(link):
        time.sleep(0.1)
    port = free_port()
    with open(records, "w") as out:
        probe = subprocess.Popen([os.path.join(build, "probe/kalorivox-probe"), "--every", "1",
                                  "--format", "csv", "--http", "127.0.0.1:%d" % port, link],
                                 stdout=out, stderr=subprocess.DEVNULL)
    failed = []

    def check(what, answer, good):
        ok = good(answer)
        print("%-52s %s%s" % (what, answer, "" if ok else "   <-- UNEXPECTED"))
        if not ok:
            failed.append(what)

    try:
        time.sleep(2)
        started = time.time()
        refused = lambda a: not a.startswith("HTTP/1.1 200")
        check("GET / (the page)", exchange(port, get(port, "/")), lambda a: a == "HTTP/1.1 200 OK")
        # Oversized.
        check("1 MB header", exchange(port, get(port, "/", "X-Big: " + "a" * (1 << 20) + "\r\n")), refused)
        check("64 KB request target", exchange(port, get(port, "/" + "a" * 65536)), refused)
        check("100 headers", exchange(port, get(port, "/api/v1/sensors", "".join(
            "X-%d: 1\r\n" % i for i in range(100)))), refused)
        check("POST with a 10 MB body", exchange(port, (
            "POST /api/v1/sensors HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: 10485760\r\n\r\n"
            % port).encode() + b"x" * 65536), refused)
        # Malformed.
        for what, data in [("binary garbage", bytes(range(256)) * 4),
                           ("a TLS hello on the plain port", b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03"),
                           ("no HTTP version", b"GET /\r\n\r\n"),
                           ("bad version", b"GET / HTTP/9.9\r\n\r\n"),
                           ("negative length", get(port, "/", "Content-Length: -1\r\n")),
                           ("header without a colon", get(port, "/", "Broken header line\r\n")),
                           ("NUL in the target", b"GET /\x00/etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n"),
                           ("foreign Host (DNS rebinding)", b"GET /api/v1/sensors HTTP/1.1\r\nHost: evil.example\r\n\r\n")]:
            check(what, exchange(port, data), refused)
        for method in ("PUT", "DELETE", "PATCH", "OPTIONS", "TRACE", "CONNECT"):
            check(method + " /api/v1/sensors", exchange(port, ("%s /api/v1/sensors HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % (method, port)).encode()), refused)
        # Path tricks: nothing is ever read from a path.
        for trick in ["/../../../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/..%2f..%2fetc%2fpasswd",
                      "//etc/passwd", "/page.js/../../etc/passwd", "/%00", "/api/v1/../../../etc/shadow",
                      "/dygraph.min.js?../../etc/passwd", "/C:\\Windows\\win.ini", "/proc/self/environ"]:
            answer = exchange(port, get(port, trick))
            check("GET " + trick, answer, lambda a: a.startswith("HTTP/1.1 404") or
                  (trick.startswith("/dygraph") and a.startswith("HTTP/1.1 200")))
        # Slow: 40 clients sending a header byte every 2 s for 20 s, and one that sends nothing.
        def slow():
            s = socket.create_connection(("127.0.0.1", port), 5)
            try:
                s.sendall(b"GET / HTTP/1.1\r\n")
                for _ in range(10):
                    time.sleep(2)
                    s.sendall(b"X")
            except OSError:
                pass
            finally:
                s.close()
        slowpokes = [threading.Thread(target=slow) for _ in range(40)]
        for t in slowpokes:
            t.start()
        silent = socket.create_connection(("127.0.0.1", port), 5)
        silent.settimeout(30)
        t0 = time.time()
        check("GET / while 40 slow clients dribble", exchange(port, get(port, "/api/v1/sensors")),
              lambda a: a == "HTTP/1.1 200 OK")
        try:
            closed = silent.recv(1) == b""
        except OSError:
            closed = True
        check("a silent connection", "closed by the server after %.0f s" % (time.time() - t0) if closed else "still open",
              lambda a: a.startswith("closed"))
        for t in slowpokes:
            t.join()
        # 200 connections at once, each asking for the table.
        results = []
        lock = threading.Lock()

        def one():
            try:
                answer = exchange(port, get(port, "/api/v1/sensors"), wait=20)
            except OSError as e:
                answer = type(e).__name__
            with lock:
                results.append(answer)
        crowd = [threading.Thread(target=one) for _ in range(200)]
        for t in crowd:
            t.start()
        for t in crowd:
            t.join()
        served = sum(1 for r in results if r == "HTTP/1.1 200 OK")
        print("%-52s %d answered 200 OK, %d otherwise (%s)" % (
            "200 connections at once", served, len(results) - served,
            ", ".join(sorted(set(r for r in results if r != "HTTP/1.1 200 OK"))) or "-"))
        check("GET /api/v1/sensors afterwards", exchange(port, get(port, "/api/v1/sensors")),
              lambda a: a == "HTTP/1.1 200 OK")
        elapsed = time.time() - started
    finally:
        probe.terminate()
        probe.wait(10)
        sim.terminate()
        sim.wait(10)
    # Every pass on time: one record per sensor a second, no second without its pass.
    stamps = []
    with open(records) as f:
        for line in f:
            if line.startswith("20") and line.rstrip().endswith(",ok"):
                stamps.append(line.split(",")[0])
    seconds = sorted(set(stamps))
    times = [time.mktime(time.strptime(s, "%Y-%m-%dT%H:%M:%SZ")) for s in seconds]
    longest = max((b - a for a, b in zip(times, times[1:])), default=0)
    print("%-52s %d passes in %.0f s of attacks, all %d sensors ok in each: %s; longest gap %.0f s"
          % ("the probe's readings meanwhile", len(seconds), elapsed, len(SENSORS),
             all(stamps.count(s) == len(SENSORS) for s in seconds), longest))
    if longest > 2 or any(stamps.count(s) != len(SENSORS) for s in seconds):
        failed.append("readings")
    print("FAILED: " + ", ".join(failed) if failed else "all answered safely")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
