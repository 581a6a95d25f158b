#!/usr/bin/env python3
"""Writes the Hanja reading table of the Korean lexer, and the Unicode
syllables of the 2350 KS X 1001 Hangul codes that the analysis spells out.

KS X 1001 orders its Hanja (0xCAA1 to 0xFDFE) by their Hangul reading, so
one table of ranges gives every Hanja its reading: each range starts at a
Hanja code and maps every code up to the next range's start to one Hangul
syllable.  The readings come from hanja.txt of libhangul-data, whose lines
"reading:hanja:meaning" with one syllable and one Hanja give the readings of
single Hanja.  A Hanja may have several readings there; the generator takes,
walking the codes in order, the current reading when the Hanja has it, else
the smallest of its readings above the current one, so that the readings
never go down.  A compatibility ideograph is looked up through its unified
form.  A Hanja with no reading that keeps the order stays in the range it
falls in.

    hanjagen.py HANJA_TXT OUTPUT            write the table
    hanjagen.py HANJA_TXT OUTPUT --compare  fail unless OUTPUT is current
"""

import argparse
import sys
import unicodedata


def readings(path):
    out = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            parts = line.rstrip("\n").split(":")
            if len(parts) < 2 or len(parts[0]) != 1 or len(parts[1]) != 1:
                continue
            try:
                code = parts[0].encode("euc_kr")
            except UnicodeEncodeError:
                continue
            if len(code) == 2 and 0xB0 <= code[0] <= 0xC8:
                out.setdefault(parts[1], set()).add(code[0] << 8 | code[1])
    return out


def build(path):
    known = readings(path)
    ranges = []
    cur = 0
    for lead in range(0xCA, 0xFE):
        for trail in range(0xA1, 0xFF):
            ch = bytes([lead, trail]).decode("euc_kr")
            cand = known.get(ch, set()) | known.get(unicodedata.normalize("NFC", ch), set())
            if cur in cand:
                continue
            up = sorted(r for r in cand if r > cur)
            if not up:
                if not ranges:
                    sys.exit("hanjagen: no reading for the first Hanja")
                continue
            cur = up[0]
            ranges.append((lead << 8 | trail, cur))
    return ranges


def render(ranges):
    out = [
        "/* Hangul readings of the KS X 1001 Hanja, made by tools/cjkgen/hanjagen.py",
        " * from hanja.txt of libhangul-data: do not edit. Range k maps the codes",
        " * from its start up to the next range's start to one Hangul syllable; the",
        " * last entry only ends the last range. */",
        "#ifndef KES_DR_DRL_DRLKHANJA_H",
        "#define KES_DR_DRL_DRLKHANJA_H",
        "",
        "#include <cstdint>",
        "",
        "struct drlkhanja {",
        "  uint16_t start;   /* first Hanja code of the range */",
        "  uint16_t hangul;  /* its reading */",
        "};",
        "",
        "inline constexpr int drlkhanjan = %d; /* ranges */" % len(ranges),
        "inline constexpr drlkhanja drlkhanjatab[%d] = {" % (len(ranges) + 1),
    ]
    row = []
    for start, hangul in ranges + [(0xFDFF, 0)]:
        row.append("{0x%04X, 0x%04X}" % (start, hangul))
        if len(row) == 4:
            out.append("    " + ", ".join(row) + ",")
            row = []
    if row:
        out.append("    " + ", ".join(row) + ",")
    out += ["};", "", "/* The Unicode syllable of each KS X 1001 Hangul code from 0xB0A1, 94 a row. */",
            "inline constexpr uint16_t drlksyltab[2350] = {"]
    syl = [ord(bytes([lead, trail]).decode("euc_kr"))
           for lead in range(0xB0, 0xC9) for trail in range(0xA1, 0xFF)]
    for k in range(0, len(syl), 10):
        out.append("    " + ", ".join("0x%04X" % v for v in syl[k:k + 10]) + ",")
    out += ["};", "", "#endif", ""]
    return "\n".join(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("hanja")
    ap.add_argument("output")
    ap.add_argument("--compare", action="store_true")
    a = ap.parse_args()
    text = render(build(a.hanja))
    if a.compare:
        with open(a.output, encoding="utf-8") as f:
            if f.read() != text:
                sys.exit("hanjagen: %s is not what %s gives" % (a.output, a.hanja))
        return
    with open(a.output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
