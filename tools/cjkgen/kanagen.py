#!/usr/bin/env python3
"""Writes the half-width to full-width katakana table of the Japanese lexer.

For each half-width katakana byte of JIS X 0201 (0xA1 to 0xDF) the system's
converter (iconv) gives the full-width JIS X 0208 character in EUC-JP and in
Shift-JIS: the byte, as EUC-JP 0x8E xx, is transliterated into ISO-2022-JP,
which has no half-width katakana, and read back.  The voiced and semi-voiced
forms are the full-width kana composed with the combining sound marks,
kept where JIS X 0208 has them.  The lone sound marks have no full-width
counterpart that transliteration finds; they take the spacing marks
0xA1AB and 0xA1AC.

    kanagen.py OUTPUT            write the table
    kanagen.py OUTPUT --compare  fail unless OUTPUT is current
"""

import argparse
import subprocess
import sys
import unicodedata


def iconv(data, frm, to):
    """data converted by iconv, or None when it cannot be."""
    r = subprocess.run(["iconv", "-f", frm, "-t", to], input=data,
                       capture_output=True, env={"LC_ALL": "C.UTF-8"})
    return r.stdout if r.returncode == 0 else None


def pair(text, charset):
    """The two bytes of one full-width character in charset, or None."""
    b = iconv(text.encode("utf-8"), "UTF-8", charset)
    return b if b is not None and len(b) == 2 else None


def build():
    rows = []
    for k in range(0xA1, 0xE0):
        full = iconv(bytes([0x8E, k]), "EUC-JP", "ISO-2022-JP//TRANSLIT")
        text = iconv(full, "ISO-2022-JP", "UTF-8").decode("utf-8") if full else ""
        if k == 0xDE:
            text = "\u309b"
        elif k == 0xDF:
            text = "\u309c"
        if len(text) != 1 or pair(text, "EUC-JP") is None:
            sys.exit("kanagen: no full-width form for half-width 0x%02X" % k)
        forms = [text]
        for mark in ("\u3099", "\u309a"):
            c = unicodedata.normalize("NFC", text + mark)
            forms.append(c if len(c) == 1 and pair(c, "EUC-JP") else None)
        row = [k]
        for f in forms:
            for cs in ("EUC-JP", "SHIFT_JIS"):
                b = pair(f, cs) if f else None
                row.append((b[0] << 8 | b[1]) if b else 0)
        rows.append(row)
    return rows


def render(rows):
    out = [
        "/* Half-width katakana (JIS X 0201) to full-width (JIS X 0208), made by",
        " * tools/cjkgen/kanagen.py from the system's converter: do not edit.",
        " * By byte 0xA1 to 0xDF: the plain form, the form with the voiced sound",
        " * mark and the form with the semi-voiced mark, each in EUC-JP and in",
        " * Shift-JIS; 0 where the combination has no character. */",
        "#ifndef KES_DR_DRL_DRLJKANA_H",
        "#define KES_DR_DRL_DRLJKANA_H",
        "",
        "#include <cstdint>",
        "",
        "struct drljkana {",
        "  uint16_t euc, sjis;          /* plain */",
        "  uint16_t veuc, vsjis;        /* with the voiced mark */",
        "  uint16_t seuc, ssjis;        /* with the semi-voiced mark */",
        "};",
        "",
        "/* Indexed by the byte minus 0xA1. */",
        "inline constexpr drljkana drljkanatab[%d] = {" % len(rows),
    ]
    for r in rows:
        out.append("    {%s},  /* %02X */" % (", ".join("0x%04X" % v for v in r[1:]), r[0]))
    out += ["};", "", "#endif", ""]
    return "\n".join(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("output")
    ap.add_argument("--compare", action="store_true")
    a = ap.parse_args()
    text = render(build())
    if a.compare:
        with open(a.output, encoding="utf-8") as f:
            if f.read() != text:
                sys.exit("kanagen: %s is not what the converter gives" % a.output)
        return
    with open(a.output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
