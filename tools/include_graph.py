#!/usr/bin/env python3
"""Module include graph of the program (tests and tools left out).

tools/include_graph.py            prints the edges "module -> modules it includes"
tools/include_graph.py --check    also fails when the graph has a cycle, a file outside a
                                  platform folder includes a system header of one platform, or
                                  a module reaches past the headers a narrow edge allows
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
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
