#!/usr/bin/env python3
"""Writes the four dictionary files of the Korean analysis.

Morphemes come from the hunspell Korean dictionary: each word of ko.dic is
a stem (a noun, or with an affix rule that strips a verb ending, the stem
the rule leaves), and each affix of ko.aff is a particle (added to a whole
word) or a verb ending (added where a rule stripped one).  Their jamo are
spelt in the analysis' letters, reversed, and laid out as the morpheme
trie.  Categories and the connection grammar come from kogram.txt, the user
and exception dictionaries from kouser.txt and koexcept.txt, all beside
this script.  Text files are written in KS X 1001 (EUC-KR).

    kodicgen.py --dic ko.dic --aff ko.aff --out DIR
"""

import argparse
import os
import sys
import unicodedata

INIT = ["g", "q", "n", "d", "f", "l", "m", "b", "r", "s", "v", "", "j", "z", "c", "k", "t",
        "p", "h"]
VOWEL = ["a", "8", "ya", "y8", "e", "9", "ye", "y9", "o", "wa", "w8", "wi", "yo", "u", "we",
         "w9", "wu", "yu", "_", "yi", "i"]
FIN = ["", "G", "Q", "GS", "N", "NJ", "NH", "D", "L", "LG", "LM", "LB", "LS", "LT", "LP", "LH",
       "M", "B", "BS", "S", "V", "*", "J", "C", "K", "T", "P", "H"]
TRIE_MAX = 2000000
HERE = os.path.dirname(os.path.abspath(__file__))


def letters(text):
    """The letters of a Hangul text, or None when it holds anything else."""
    out = []
    for ch in unicodedata.normalize("NFD", text):
        c = ord(ch)
        if 0x1100 <= c < 0x1113:
            out.append(INIT[c - 0x1100])
        elif 0x1161 <= c < 0x1176:
            out.append(VOWEL[c - 0x1161])
        elif 0x11A8 <= c < 0x11C3:
            out.append(FIN[c - 0x11A8 + 1])
        else:
            return None
    return "".join(out)


def read_aff(path):
    """flag -> list of (strip letters, add letters)."""
    rules = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            p = line.split()
            if len(p) < 4 or p[0] != "SFX" or p[2] in ("Y", "N"):
                continue
            strip = "" if p[2] == "0" else letters(p[2])
            add = p[3].split("/")[0]
            add = "" if add == "0" else letters(add)
            if strip is None or add is None:
                continue
            rules.setdefault(p[1], []).append((strip, add))
    return rules


def morphemes(dic, aff, cats):
    rules = read_aff(aff)
    out = {}
    with open(dic, encoding="utf-8") as f:
        next(f)
        for line in f:
            word, _, flags = line.strip().partition("/")
            w = letters(word)
            if not w or len(unicodedata.normalize("NFC", word)) < 2:
                continue
            strips = set()
            for flag in flags.split(","):
                for strip, _ in rules.get(flag, []):
                    if strip and w.endswith(strip) and len(w) > len(strip):
                        strips.add(strip)
            out.setdefault(w, cats["noun"])
            for s in strips:
                out.setdefault(w[:-len(s)], cats["verb-stem"])
    for flag, rs in rules.items():
        for strip, add in rs:
            if add:
                out.setdefault(add, cats["verb-ending"] if strip else cats["particle"])
    return {w[::-1]: c for w, c in out.items() if len(w) <= 120}


def read_gram(path):
    rows, gram, names = {}, [], {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#")[0].strip()
            if not line:
                continue
            head, _, body = line.partition(":")
            h = head.split()
            if h[0] == "cat":
                pairs = [tuple(int(x) for x in p.split()) for p in body.split(",")]
                rows[int(h[1])] = pairs
                names[h[2]] = int(h[1])
            elif h[0] == "after":
                gram.append((int(h[1]), [int(x) for x in body.split()]))
    return rows, gram, names


def trie_bytes(words, base):
    """The trie records of the reversed words, the letter index entries."""
    root = {}
    for w, c in words.items():
        node = root
        for ch in w:
            node = node.setdefault(ch, {})
        node[""] = c

    def compress(label, node):
        while len(node) == 1 and "" not in node and len(label) < 100:
            (ch, child), = node.items()
            label += ch
            node = child
        return label, node

    out = bytearray()

    def emit(label, node):
        label, node = compress(label, node)
        kids = sorted(k for k in node if k)
        cat = node.get("", 0)
        at = len(out)
        out.append(len(label) + 4)
        out.extend(label.encode("ascii"))
        out.extend(bytes([cat >> 2, (cat & 3) << 6 | (0x20 if kids else 0), 0, 0]))
        prev = None
        for k in kids:
            if prev is not None:
                # The previous child's sibling position: the low five bits
                # of X, then Y and Z.
                pos, n = base + len(out), out[prev]
                out[prev + n - 2] |= (pos >> 16) & 0x1F
                out[prev + n - 1] = (pos >> 8) & 0xFF
                out[prev + n] = pos & 0xFF
            prev = emit(k, node[k])
        return at

    index = []
    for first in sorted(root):
        index.append((first, base + len(out)))
        emit(first, root[first])
    return bytes(out), index


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dic", required=True)
    ap.add_argument("--aff", required=True)
    ap.add_argument("--out", required=True)
    a = ap.parse_args()
    rows, gram, names = read_gram(os.path.join(HERE, "kogram.txt"))
    words = morphemes(a.dic, a.aff, names)
    nrows = max(rows)
    head = bytearray([0, (nrows + 1) >> 8, (nrows + 1) & 0xFF, 0, 0])
    table = ""
    for r in range(1, nrows + 1):
        pairs = rows.get(r, [])
        table += " ".join([str(len(pairs))] + ["%d %d" % p for p in pairs]) + "\n"
    head += table.encode("ascii") + b"*"
    firsts = sorted(set(w[0] for w in words))
    if len(firsts) > 40:
        sys.exit("kodicgen: %d first letters, the index holds 40" % len(firsts))
    head[0] = len(firsts)
    base = len(head) + 4 * len(firsts)
    recs, index = trie_bytes(words, base)
    data = bytes(head) + b"".join(bytes([ord(l), p >> 16, (p >> 8) & 0xFF, p & 0xFF])
                                  for l, p in index) + recs
    if len(data) > TRIE_MAX:
        sys.exit("kodicgen: the trie takes %d bytes, the analysis reads %d" % (len(data), TRIE_MAX))
    os.makedirs(a.out, exist_ok=True)
    with open(os.path.join(a.out, "drkosdic.dat"), "wb") as f:
        f.write(data)
    with open(os.path.join(a.out, "drkogram.dat"), "w", encoding="ascii") as f:
        for key, tags in gram:
            f.write(" ".join(str(x) for x in [key] + tags + [0]) + "\n")
    for src, dst in (("kouser.txt", "drkoudic.dat"), ("koexcept.txt", "drkoxdic.dat")):
        with open(os.path.join(HERE, src), encoding="utf-8") as f:
            lines = [l.strip() for l in f if l.strip() and not l.startswith("#")]
        with open(os.path.join(a.out, dst), "wb") as f:
            f.write(b"".join(l.encode("euc_kr") + b"\n" for l in lines))
    print("kodicgen: %d morphemes, %d bytes of trie" % (len(words), len(data)))


if __name__ == "__main__":
    main()
