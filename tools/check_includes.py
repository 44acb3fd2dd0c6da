#!/usr/bin/env python3
"""The include rules of the layers, read from the sources themselves.

    check_includes.py SOURCE_DIR

Layers, lowest first: platform interfaces (platform/*.h); audio, render and sync, side by side; app;
capture; the programs (programs/<name>/), which wire the layers together.
A file may include its own layer and the layers below it, never one above or beside it. Platform backends
(platform/<backend>/) include platform interfaces and their own backend's headers, and nothing above the
platform: the platform is the ground. A program may include its own platform's backend headers.
No two units (a header and its source counted as one) include each other, directly or round a longer
cycle. Prints each broken rule and exits with 1; 0 when none is broken.
"""
import os
import re
import sys

SOURCE_DIRS = ("platform", "audio", "render", "sync", "app", "capture", "programs")
# What each layer may include besides itself.
BELOW = {
    "platform": set(),
    "audio": {"platform"},
    "render": {"platform"},
    "sync": {"platform"},
    "app": {"platform", "audio", "render", "sync"},
    "capture": {"platform", "audio", "render", "sync", "app"},
    "programs": {"platform", "audio", "render", "sync", "app", "capture"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layer_of(path):
    return path.split("/", 1)[0]


def is_backend(path):
    return path.startswith("platform/") and path.count("/") >= 2


def read_includes(source_dir):
    """Every project file's project includes, as paths from the source root."""
    includes = {}
    for top in SOURCE_DIRS:
        for folder, _, names in os.walk(os.path.join(source_dir, top)):
            for name in names:
                if not name.endswith((".h", ".cpp", ".c")):
                    continue
                full = os.path.join(folder, name)
                path = os.path.relpath(full, source_dir).replace(os.sep, "/")
                with open(full, encoding="utf-8") as f:
                    text = f.read()
                includes[path] = [i for i in INCLUDE.findall(text) if layer_of(i) in SOURCE_DIRS]
    return includes


def layer_faults(includes):
    faults = []
    for path, targets in sorted(includes.items()):
        layer = layer_of(path)
        for target in targets:
            to = layer_of(target)
            if is_backend(path):
                backend = path.rsplit("/", 1)[0] + "/"
                if to != "platform":
                    faults.append("%s includes %s: the platform names nothing above it" % (path, target))
                elif is_backend(target) and not target.startswith(backend):
                    faults.append("%s includes %s: another backend's header" % (path, target))
                continue
            if to == layer:
                continue
            if to not in BELOW[layer]:
                faults.append("%s includes %s: %s/ is not below %s/" % (path, target, to, layer))
            elif to == "platform" and is_backend(target) and layer not in ("capture", "programs"):
                faults.append("%s includes %s: a backend's header, not an interface" % (path, target))
    return faults


def unit_of(path):
    return path.rsplit(".", 1)[0]


def cycles(includes):
    """Cycles between units, each named once by its members in order."""
    graph = {}
    for path, targets in includes.items():
        unit = unit_of(path)
        graph.setdefault(unit, set())
        for target in targets:
            other = unit_of(target)
            if other != unit:
                graph[unit].add(other)
    # Tarjan's strongly connected components: a component of more than one unit holds a cycle.
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(unit):
        index[unit] = low[unit] = counter[0]
        counter[0] += 1
        stack.append(unit)
        on_stack.add(unit)
        for other in sorted(graph.get(unit, ())):
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == unit:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for unit in sorted(graph):
        if unit not in index:
            visit(unit)
    return found


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    includes = read_includes(sys.argv[1])
    faults = layer_faults(includes)
    faults += ["include cycle between " + ", ".join(c) for c in cycles(includes)]
    for fault in faults:
        print(fault)
    if not includes:
        print("no sources under %s" % sys.argv[1])
        return 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
