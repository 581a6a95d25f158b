#!/usr/bin/env python3
"""Checks the layering of the libraries: no cycle between them, by their
#includes and by what they link; a library includes only headers of the
libraries it links; and in dr/ only the cursor layer reaches the client layer.

    layers.py LIBS SRCDIR

LIBS holds one line per library, "name|folder|dep;dep;...", written by the
build's configure step. Prints every fault and exits 1 when there is one.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
CLIENT = "platform/db/db.h"


def door_ok(path):
    """Files of dr/ that may include the client layer: the cursor layer."""
    return os.path.dirname(path) == "dr/dru" and os.path.basename(path).startswith("druo")


def includes(src, path):
    with open(os.path.join(src, path), encoding="utf-8", errors="replace") as f:
        return INCLUDE.findall(f.read())


def sources(src, folder, recursive=False):
    top = os.path.join(src, folder)
    for root, dirs, files in os.walk(top):
        dirs.sort()
        for f in sorted(files):
            if f.endswith((".cpp", ".h")):
                yield os.path.relpath(os.path.join(root, f), src)
        if not recursive:
            break


def cycles(graph):
    """Strongly connected components of more than one node (Tarjan)."""
    index, low, stack, onstack, out = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        onstack.add(v)
        for w in sorted(graph.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in onstack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                onstack.discard(w)
                comp.append(w)
                if w == v:
                    break
            if len(comp) > 1:
                out.append(sorted(comp))

    for v in sorted(graph):
        if v not in index:
            visit(v)
    return out


def main():
    libsfile, src = sys.argv[1], sys.argv[2]
    libs, folder_of = {}, {}
    with open(libsfile) as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            name, folder, deps = line.split("|")
            libs[name] = {"folder": folder, "deps": [d for d in deps.split(";") if d]}
            folder_of[folder] = name
    faults = []

    # Only the cursor layer of dr/ reaches the client layer, tests included.
    for path in sources(src, "dr", recursive=True):
        if CLIENT in includes(src, path) and not door_ok(path):
            faults.append("%s includes %s: go through the cursor layer (dr/dru/druo.h)"
                          % (path, CLIENT))

    links = {n: set(d for d in l["deps"] if d in libs) for n, l in libs.items()}

    def reach(n, seen=None):
        seen = set() if seen is None else seen
        for d in links[n]:
            if d not in seen:
                seen.add(d)
                reach(d, seen)
        return seen

    graph = {n: set(links[n]) for n in libs}
    for name, lib in sorted(libs.items()):
        linked = reach(name)
        for path in sources(src, lib["folder"]):
            for inc in includes(src, path):
                other = folder_of.get(os.path.dirname(inc))
                if not other or other == name:
                    continue
                graph[name].add(other)
                if other not in linked:
                    faults.append("%s (%s) includes %s of %s, which it does not link"
                                  % (path, name, inc, other))

    for comp in cycles(graph):
        faults.append("libraries use each other: " + " <-> ".join(comp))

    for f in faults:
        print("layers: " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
