#!/usr/bin/env python3
"""Checks the layering of the libraries and the conventions every unit
keeps. Layering: no cycle between libraries, by their #includes and by what
they link; a library includes only headers of the libraries it links; in dr/
only the cursor layer reaches the client layer. Conventions: one include-guard
form, extern "C" only where a tool looks a name up, no print to standard output
in dr/ outside the console-line routine, tests named in one form, and no word
of the documents the code was written from.

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


# Folders whose headers keep the include-guard form and whose tests the
# name form: every folder of the tree.
GUARDED = ("dr", "platform", "tessek", "tests", "bench", "tools", "converters", "filters",
           "linguistics")
SOURCES = ("dr", "platform", "tessek", "tests", "bench", "tools", "converters", "filters",
           "linguistics")
FUZZENTRY = re.compile(r'extern "C" int LLVMFuzzer(TestOneInput|Initialize)\b')
STDOUT = re.compile(r'\b(?:(?:printf|puts|putchar)\s*\(|(?:fputs|fwrite)\s*\([^;]*\bstdout\b|'
                    r'fprintf\s*\(\s*stdout\b)|std::cout')
CONSOLE = "dr/dra/dracn.cpp"
ORIGIN = re.compile(r"\b" + "Pa" + r"rt\b|_ORIG\b")
TESTNAME = re.compile(r"^\s*TEST(?:_F|_P)?\(\s*(\w+)\s*,\s*(\w+)\s*\)", re.M)
CAMEL = re.compile(r"^[A-Z][A-Za-z0-9]*$")


def conventions(src):
    faults = []
    for top in SOURCES:
        if not os.path.isdir(os.path.join(src, top)):
            continue
        for path in sources(src, top, recursive=True):
            with open(os.path.join(src, path), encoding="utf-8", errors="replace") as f:
                text = f.read()
            if path.endswith(".h") and top in GUARDED:
                guard = "KES_" + re.sub(r"[/.]", "_", path).upper()
                m = re.search(r"^#(ifndef|pragma)\s+(\S+)\n(#define\s+(\S+))?", text, re.M)
                if not m or m.group(1) != "ifndef" or m.group(2) != guard or m.group(4) != guard:
                    faults.append("%s: the include guard is #ifndef/#define %s" % (path, guard))
            if top in GUARDED:
                for m in TESTNAME.finditer(text):
                    if not (CAMEL.match(m.group(1)) and CAMEL.match(m.group(2))):
                        faults.append("%s: test %s.%s: suite and test are named in UpperCamelCase"
                                      % (path, m.group(1), m.group(2)))
            for n, line in enumerate(text.split("\n"), 1):
                if ORIGIN.search(line):
                    faults.append("%s:%d: the code speaks for itself, not of the documents it "
                                  "came from" % (path, n))
                if 'extern "C"' in line and not FUZZENTRY.search(line):
                    faults.append('%s:%d: extern "C" only for the fuzzer entry points' % (path, n))
                if (path.startswith("dr/") and "/tests/" not in path and path != CONSOLE and
                        STDOUT.search(line.split("//")[0])):
                    faults.append("%s:%d: console lines go through dracnout" % (path, n))
    return faults


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

    faults += conventions(src)

    for f in faults:
        print("layers: " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
