#!/usr/bin/env python3
"""Module include graph of the program (tests and tools left out).

tools/include_graph.py            prints the edges "module -> modules it includes", then the
                                  files of onewire/ in their layer order with what each includes
tools/include_graph.py --check    also fails when the graph has a cycle, a file outside a
                                  platform folder includes a system header of one platform, a
                                  module reaches past the headers a narrow edge allows, an
                                  include inside onewire/ runs back up its layer order, or a file
                                  outside onewire/uart/ includes one of the UART master's own
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MODULES = ["runtime", "serial", "onewire", "session", "sim", "ui", "monitor", "chart", "shell", "web", "probe"]
PLATFORM_FOLDERS = {"posix", "win32", "qt"}
# Headers that tie a file to one platform or toolkit.
PLATFORM_HEADER = re.compile(
    r'#\s*include\s*<(unistd\.h|fcntl\.h|pthread\.h|signal\.h|termios\.h|poll\.h|dirent\.h|'
    r'sys/[^>]+|windows\.h|Q[A-Za-z]+)>')
LOCAL_INCLUDE = re.compile(r'#\s*include\s*"(([a-z_0-9]+)/[^"]+)"')
# Edges that may use only the named headers. The window toolkit stands beside the runtime
# layer, not on it: it shares only the text rules, which include nothing of the program, so
# that the toolkit stays usable without the runtime's files, threads and settings.
NARROW_EDGES = {
    ("ui", "runtime"): {"runtime/integer_text.h", "runtime/letter_case.h"},
}
# The files of onewire/ from the bottom up (a header and its source count as one), in layers:
# a file includes only files listed before it. The protocol reaches the bus only through the
# master's face, onewire/bus.h; the passive adapter's UART master behind it keeps its own
# files in onewire/uart/, which nothing outside that folder includes.
ONEWIRE_LAYERS = [
    ("values", ["rom_code", "rom_code_text", "search_state", "result", "bits", "crc8", "scratchpad",
                "thermometer_family", "thermometer_origins"]),
    ("settings", ["port"]),
    ("face", ["bus"]),
    ("UART master", ["uart/encoding", "uart/echo_ledger", "uart/serial_line", "uart/echo_exchange",
                     "uart/uart_master"]),
    ("protocol", ["ds18x20", "search_path", "search", "transaction", "resolution", "enumeration",
                  "search_walk", "enumerate"]),
    ("readings", ["reading_verdict", "measuring", "conversion_time", "thermometer_inspection"]),
]
MASTER_FOLDER = "onewire/uart/"


def sources(module):
    for path in sorted((ROOT / module).rglob("*")):
        if path.suffix in (".h", ".cpp"):
            yield path


def graph():
    edges = {m: set() for m in MODULES}
    offenders = []
    wide = []
    for module in MODULES:
        for path in sources(module):
            rel = path.relative_to(ROOT)
            in_platform_folder = any(part in PLATFORM_FOLDERS for part in rel.parts[1:-1])
            for line in path.read_text(encoding="utf-8").splitlines():
                used = LOCAL_INCLUDE.match(line.strip())
                if used and used.group(2) in edges and used.group(2) != module:
                    edges[module].add(used.group(2))
                    allowed = NARROW_EDGES.get((module, used.group(2)))
                    if allowed is not None and used.group(1) not in allowed:
                        wide.append(f"{rel}: {line.strip()}")
                if not in_platform_folder and PLATFORM_HEADER.match(line.strip()):
                    offenders.append(f"{rel}: {line.strip()}")
    return edges, offenders, wide


def leaf_offenders():
    """Headers a narrow edge allows, and their sources, must include nothing of the program
    but themselves, or the edge would reach further than it says."""
    found = []
    for headers in NARROW_EDGES.values():
        for header in sorted(headers):
            own = {header, header[:-2] + ".cpp"}
            for rel in sorted(own):
                path = ROOT / rel
                if not path.exists():
                    found.append(f"{rel}: missing")
                    continue
                for line in path.read_text(encoding="utf-8").splitlines():
                    used = LOCAL_INCLUDE.match(line.strip())
                    if used and used.group(2) in MODULES and used.group(1) not in own:
                        found.append(f"{rel}: {line.strip()}")
    return found


def onewire_graph():
    """The includes between the files of onewire/, by stem ("search", "uart/encoding"), and
    the files that break its layer order or reach into the UART master from outside."""
    order = [stem for _, stems in ONEWIRE_LAYERS for stem in stems]
    rank = {stem: i for i, stem in enumerate(order)}
    edges = {stem: set() for stem in order}
    problems = []
    for path in sources("onewire"):
        rel = path.relative_to(ROOT).as_posix()
        stem = rel[len("onewire/"):].rsplit(".", 1)[0]
        if stem not in rank:
            problems.append(f"onewire file outside the layer order: {rel}")
            continue
        for line in path.read_text(encoding="utf-8").splitlines():
            used = LOCAL_INCLUDE.match(line.strip())
            if not used or used.group(2) != "onewire":
                continue
            target = used.group(1)[len("onewire/"):].rsplit(".", 1)[0]
            if target == stem:
                continue
            if target not in rank:
                problems.append(f"include of a file outside the onewire layer order: {rel}: "
                                f"{line.strip()}")
                continue
            edges[stem].add(target)
            if rank[target] > rank[stem]:
                problems.append(f"include inside onewire runs back up: {rel}: {line.strip()}")
    for module in MODULES:
        for path in sources(module):
            rel = path.relative_to(ROOT).as_posix()
            if rel.startswith(MASTER_FOLDER):
                continue
            for line in path.read_text(encoding="utf-8").splitlines():
                used = LOCAL_INCLUDE.match(line.strip())
                if used and used.group(1).startswith(MASTER_FOLDER):
                    problems.append(f"include past the bus master's face: {rel}: {line.strip()}")
    return order, edges, problems


def print_onewire(order, edges):
    rank = {stem: i for i, stem in enumerate(order)}
    print()
    print("onewire, bottom up:")
    for name, stems in ONEWIRE_LAYERS:
        print(f"  {name}: {', '.join(stems)}")
    for stem in order:
        targets = sorted(edges[stem], key=rank.get)
        print(f"onewire/{stem} -> {', '.join(targets) or '(nothing)'}")


def cycle(edges):
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(edges[node]):
            if state.get(nxt) == "open":
                return trail + [node, nxt]
            if nxt not in state:
                found = visit(nxt, trail + [node])
                if found:
                    return found
        state[node] = "done"
        return None

    for node in MODULES:
        if node not in state:
            found = visit(node, [])
            if found:
                return found
    return None


def main():
    edges, offenders, wide = graph()
    for module in MODULES:
        targets = []
        for target in sorted(edges[module]):
            allowed = NARROW_EDGES.get((module, target))
            if allowed:
                names = ", ".join(sorted(h.split("/", 1)[1] for h in allowed))
                target += f" ({names} only)"
            targets.append(target)
        print(f"{module} -> {', '.join(targets) or '(nothing)'}")
    order, inner, layering = onewire_graph()
    print_onewire(order, inner)
    if "--check" not in sys.argv[1:]:
        return 0
    failed = False
    loop = cycle(edges)
    if loop:
        print("cycle: " + " -> ".join(loop))
        failed = True
    for offender in offenders:
        print("platform header outside a platform folder: " + offender)
        failed = True
    for offender in wide:
        print("include beyond a narrow edge: " + offender)
        failed = True
    for offender in leaf_offenders():
        print("a narrow edge's header includes more of the program: " + offender)
        failed = True
    for problem in layering:
        print(problem)
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
