#!/usr/bin/env python3
"""Module include graph of the program (tests and tools left out).

tools/include_graph.py            prints the edges "module -> modules it includes"
tools/include_graph.py --check    also fails when the graph has a cycle or a file outside a
                                  platform folder includes a system header of one platform
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MODULES = ["runtime", "serial", "onewire", "sim", "ui", "monitor", "shell"]
PLATFORM_FOLDERS = {"posix", "win32", "qt"}
# Headers that tie a file to one platform or toolkit.
PLATFORM_HEADER = re.compile(
    r'#\s*include\s*<(unistd\.h|fcntl\.h|pthread\.h|signal\.h|termios\.h|poll\.h|dirent\.h|'
    r'sys/[^>]+|windows\.h|Q[A-Za-z]+)>')
LOCAL_INCLUDE = re.compile(r'#\s*include\s*"([a-z_0-9]+)/')


def sources(module):
    for path in sorted((ROOT / module).rglob("*")):
        if path.suffix in (".h", ".cpp"):
            yield path


def graph():
    edges = {m: set() for m in MODULES}
    offenders = []
    for module in MODULES:
        for path in sources(module):
            rel = path.relative_to(ROOT)
            in_platform_folder = any(part in PLATFORM_FOLDERS for part in rel.parts[1:-1])
            for line in path.read_text(encoding="utf-8").splitlines():
                used = LOCAL_INCLUDE.match(line.strip())
                if used and used.group(1) in edges and used.group(1) != module:
                    edges[module].add(used.group(1))
                if not in_platform_folder and PLATFORM_HEADER.match(line.strip()):
                    offenders.append(f"{rel}: {line.strip()}")
    return edges, offenders


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
    edges, offenders = graph()
    for module in MODULES:
        print(f"{module} -> {', '.join(sorted(edges[module])) or '(nothing)'}")
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
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
