#!/usr/bin/env python3
"""LALR(1) table generator for the tq parser runtime.

Reads a grammar in our own small format (see dr/drp/drpgram.grm) and writes
a C++ source that defines one `tqgram` record: packed action and goto tables
in the comb layout tessek/tq reads, rule and terminal texts, and the token
translation.  It refuses grammars with conflicts.

    lalrgen.py GRAMMAR OUTPUT [--states N]     write the tables
    lalrgen.py GRAMMAR OUTPUT --compare        fail unless OUTPUT is current
"""

import argparse
import sys

SHIFT_ONLY_BASE = -32768  # action base of a state that only reduces by default


class GrammarError(Exception):
    pass


class Grammar:
    """The grammar file, parsed: symbols, rules and the code mapping."""

    def __init__(self, text, path):
        self.name = None
        self.start = None
        self.ncodes = None
        self.terms = []        # internal terminal -> name
        self.primary = []      # internal terminal -> external code
        self.codes = {}        # external code -> internal terminal
        self.error_term = None
        self.eof_term = None
        self.nonterms = []
        self.rules = []        # (lhs nonterminal index, [symbols], mode)
        self._parse(text, path)

    def _parse(self, text, path):
        in_rules = False
        left = None
        for lineno, raw in enumerate(text.splitlines(), 1):
            line = raw.split('#', 1)[0].strip() if not raw.lstrip().startswith('#') else ''
            if not line:
                continue
            where = f"{path}:{lineno}"
            if line == '%%':
                in_rules = True
                continue
            if not in_rules:
                self._directive(line, where)
                continue
            mode = False
            if line.endswith('%mode'):
                mode = True
                line = line[:-5].strip()
            if line.startswith('|'):
                if left is None:
                    raise GrammarError(f"{where}: '|' without a rule before it")
                rhs = line[1:].split()
            else:
                head, sep, rest = line.partition(':')
                if not sep:
                    raise GrammarError(f"{where}: expected 'left : right side'")
                left = head.strip()
                rhs = rest.split()
            if left not in self.nonterms:
                raise GrammarError(f"{where}: '{left}' is not a declared nonterminal")
            for s in rhs:
                if s not in self.nonterms and s not in self.terms:
                    raise GrammarError(f"{where}: unknown symbol '{s}'")
            self.rules.append((self.nonterms.index(left), rhs, mode))
        if not self.rules:
            raise GrammarError(f"{path}: no rules")
        if self.start not in self.nonterms or self.rules[0][0] != self.nonterms.index(self.start):
            raise GrammarError(f"{path}: the first rule must have the start symbol on its left")
        used = {self.nonterms[r[0]] for r in self.rules}
        for n in self.nonterms:
            if n not in used:
                raise GrammarError(f"{path}: nonterminal '{n}' has no rule")

    def _term(self, name, primary, codes, where):
        if name in self.terms:
            raise GrammarError(f"{where}: terminal '{name}' declared twice")
        self.terms.append(name)
        self.primary.append(primary)
        for c in codes:
            if c in self.codes:
                raise GrammarError(f"{where}: code {c} mapped twice")
            self.codes[c] = len(self.terms) - 1
        return len(self.terms) - 1

    def _directive(self, line, where):
        words = line.split()
        d = words[0]
        if d in ('%eof', '%end', '%error'):
            # %end "end$" 257 0 : a quoted name, its own code, further codes
            q = line.split('"')
            if len(q) != 3:
                raise GrammarError(f"{where}: {d} needs a quoted name")
            codes = [int(w) for w in q[2].split()]
            want = {'%eof': 0, '%end': 1, '%error': 2}[d]
            if len(self.terms) != want or not codes:
                raise GrammarError(f"{where}: %eof, %end and %error come first, in that order, with a code")
            t = self._term(q[1], codes[0], codes, where)
            if d == '%error':
                self.error_term = t
            if d == '%eof':
                self.eof_term = t
        elif d == '%token':
            if len(words) != 3 or len(self.terms) < 3:
                raise GrammarError(f"{where}: %token NAME CODE, after %eof, %end and %error")
            code = int(words[2])
            self._term(words[1], code, [code], where)
        elif d == '%nonterms':
            self.nonterms.extend(words[1:])
        elif d == '%name':
            self.name = words[1]
        elif d == '%start':
            self.start = words[1]
        elif d == '%codes':
            self.ncodes = int(words[1])
        else:
            raise GrammarError(f"{where}: unknown directive {d}")

    def translation(self):
        """External code -> internal terminal: declared codes, codes above the
        last token to end of file, every other code to the error terminal."""
        top = max(c for c in self.codes if self.codes[c] > 2)
        out = []
        for c in range(self.ncodes):
            if c in self.codes:
                out.append(self.codes[c])
            elif c > top:
                out.append(self.eof_term)
            else:
                out.append(self.error_term)
        return out


class Tables:
    """LR(0) automaton, LALR(1) look-aheads and the packed tables."""

    def __init__(self, g):
        self.g = g
        nt = len(g.terms)
        # Symbols: terminals 0..nt-1, nonterminals nt.. ; rules as symbol ids.
        self.nt = nt
        self.sym = {name: i for i, name in enumerate(g.terms)}
        for i, name in enumerate(g.nonterms):
            self.sym[name] = nt + i
        self.rules = [(nt + l, [self.sym[s] for s in rhs]) for l, rhs, _ in g.rules]
        self.by_lhs = {}
        for r, (l, _) in enumerate(self.rules):
            self.by_lhs.setdefault(l, []).append(r)
        self._first()
        self._lr0()
        self._lalr()
        self.conflicts = []
        self._actions()

    def _first(self):
        self.nullable = set()
        self.firsts = {s: set() for s in range(self.nt, self.nt + len(self.g.nonterms))}
        changed = True
        while changed:
            changed = False
            for l, rhs in self.rules:
                if l not in self.nullable and all(s in self.nullable for s in rhs):
                    self.nullable.add(l)
                    changed = True
                f = self.firsts[l]
                before = len(f)
                for s in rhs:
                    if s < self.nt:
                        f.add(s)
                        break
                    f |= self.firsts[s]
                    if s not in self.nullable:
                        break
                if len(f) != before:
                    changed = True

    def _first_seq(self, seq, la):
        out = set()
        for s in seq:
            if s < self.nt:
                out.add(s)
                return out
            out |= self.firsts[s]
            if s not in self.nullable:
                return out
        return out | la

    def _closure0(self, kernel):
        items = list(kernel)
        seen = set(items)
        i = 0
        while i < len(items):
            r, d = items[i]
            rhs = self.rules[r][1]
            if d < len(rhs) and rhs[d] >= self.nt:
                for r2 in self.by_lhs[rhs[d]]:
                    if (r2, 0) not in seen:
                        seen.add((r2, 0))
                        items.append((r2, 0))
            i += 1
        return items

    def _lr0(self):
        start = ((0, 0),)
        self.kernels = [start]
        index = {start: 0}
        self.goto = []          # state -> {symbol: state}
        s = 0
        while s < len(self.kernels):
            items = self._closure0(self.kernels[s])
            moves = {}
            order = []
            for r, d in items:
                rhs = self.rules[r][1]
                if d < len(rhs):
                    x = rhs[d]
                    if x not in moves:
                        moves[x] = []
                        order.append(x)
                    moves[x].append((r, d + 1))
            trans = {}
            for x in order:
                k = tuple(sorted(set(moves[x])))
                if k not in index:
                    index[k] = len(self.kernels)
                    self.kernels.append(k)
                trans[x] = index[k]
            self.goto.append(trans)
            s += 1

    def _closure1(self, kernel_la):
        """LR(1) closure of kernel items with look-ahead sets."""
        la = {}
        work = []
        for item, s in kernel_la.items():
            la[item] = set(s)
            work.append(item)
        while work:
            r, d = work.pop()
            rhs = self.rules[r][1]
            if d < len(rhs) and rhs[d] >= self.nt:
                f = self._first_seq(rhs[d + 1:], la[(r, d)])
                for r2 in self.by_lhs[rhs[d]]:
                    cur = la.setdefault((r2, 0), set())
                    if not f <= cur:
                        cur |= f
                        work.append((r2, 0))
        return la

    def _lalr(self):
        self.kla = [{item: set() for item in k} for k in self.kernels]
        self.kla[0][(0, 0)] = set()  # the accept rule carries end$ explicitly
        changed = True
        while changed:
            changed = False
            for s, k in enumerate(self.kla):
                la = self._closure1(k)
                for (r, d), look in la.items():
                    rhs = self.rules[r][1]
                    if d < len(rhs):
                        t = self.goto[s][rhs[d]]
                        cur = self.kla[t][(r, d + 1)]
                        if not look <= cur:
                            cur |= look
                            changed = True
        self.reduce_la = []     # state -> {rule: set of terminals}
        for s, k in enumerate(self.kla):
            la = self._closure1(k)
            red = {}
            for (r, d), look in la.items():
                if d == len(self.rules[r][1]):
                    red.setdefault(r, set()).update(look)
            self.reduce_la.append(red)

    def _actions(self):
        g = self.g
        self.rows = []        # state -> {terminal: packed value}
        self.defred = []
        self.default_only = []
        for s in range(len(self.kernels)):
            shifts = {x: t for x, t in self.goto[s].items() if x < self.nt}
            red = self.reduce_la[s]
            row = {x: t for x, t in shifts.items()}
            for r, look in sorted(red.items()):
                for t in sorted(look):
                    if t in row:
                        kind = 'shift/reduce' if row[t] > 0 else 'reduce/reduce'
                        self.conflicts.append(f"state {s}: {kind} conflict on {g.terms[t]}")
                        continue
                    row[t] = -(r + 1)
            if not shifts and len(red) == 1:
                # One completed item and nothing to shift: reduce without
                # reading a token (this is also how accept is made).
                r = next(iter(red))
                self.defred.append(r + 1)
                self.default_only.append(True)
                self.rows.append({})
                continue
            self.default_only.append(False)
            if red:
                count = {r: sum(1 for v in row.values() if v == -(r + 1)) for r in red}
                best = min(red, key=lambda r: (-count[r], r))
                self.defred.append(best + 1)
                row = {t: v for t, v in row.items() if v != -(best + 1)}
            else:
                self.defred.append(0)
            self.rows.append(row)
        # gotos per nonterminal: {source state: target}
        nn = len(g.nonterms)
        self.cols = []
        self.defgoto = []
        for n in range(nn):
            col = {}
            for s, trans in enumerate(self.goto):
                if self.nt + n in trans:
                    col[s] = trans[self.nt + n]
            if not col:
                self.defgoto.append(-1)
                self.cols.append({})
                continue
            freq = {}
            for t in col.values():
                freq[t] = freq.get(t, 0) + 1
            best = min(freq, key=lambda t: (-freq[t], t))
            self.defgoto.append(best)
            self.cols.append({s: t for s, t in col.items() if t != best})
        for r, (_, _, mode) in enumerate(g.rules):
            if mode:
                for s, red in enumerate(self.reduce_la):
                    if r in red and not self.default_only[s]:
                        self.conflicts.append(
                            f"state {s}: rule {r + 1} switches the lexer's mode but needs a look-ahead")
        self._pack()

    def _pack(self):
        """Comb packing: every vector gets its own base, so an entry of one
        vector can never be taken for an entry of another."""
        vectors = []
        for s, row in enumerate(self.rows):
            if row:
                vectors.append(('a', s, row))
        for n, col in enumerate(self.cols):
            if col:
                vectors.append(('g', n, col))
        # Widest and fullest first, as the comb fills best that way.
        vectors.sort(key=lambda v: (-len(v[2]), -(max(v[2]) - min(v[2])), v[0], v[1]))
        packed = {}
        check = {}
        used_bases = set()
        self.actbase = [SHIFT_ONLY_BASE] * len(self.rows)
        self.gotobase = [SHIFT_ONLY_BASE] * len(self.cols)
        same = {}
        for kind, i, vec in vectors:
            keys = sorted(vec)
            ident = (kind, tuple((k, vec[k]) for k in keys))
            if ident in same:
                # An identical vector already placed: share its entries.
                base = same[ident]
            else:
                base = self._place(keys, packed, used_bases)
                same[ident] = base
                used_bases.add(base)
                for k in keys:
                    packed[base + k] = vec[k]
                    check[base + k] = k
            if kind == 'a':
                self.actbase[i] = base
            else:
                self.gotobase[i] = base
        self._finish(packed, check)

    @staticmethod
    def _place(keys, packed, used_bases):
        base = -keys[0]
        while base in used_bases or any(base + k in packed for k in keys):
            base += 1
        return base

    def _finish(self, packed, check):
        self.last = max(packed) if packed else 0
        self.packed = [packed.get(i, 0) for i in range(self.last + 1)]
        self.check = [check.get(i, -1) for i in range(self.last + 1)]
        # A state without entries that still needs a look-ahead cannot occur
        # (it would have been made default-only), but a base that can never
        # match keeps the lookup honest either way.
        for s, row in enumerate(self.rows):
            if not row and not self.default_only[s]:
                self.actbase[s] = SHIFT_ONLY_BASE + 1

    def emit(self):
        g = self.g
        p = g.name
        out = []
        w = out.append
        w("// Parse tables of the %s grammar, made by tools/lalrgen/lalrgen.py." % p)
        w("// Do not edit: change the grammar and run the generator again.")
        w('#include "tessek/tq/tq.h"')
        w("")
        w("namespace {")
        self._array(w, "defred", self.defred)
        self._array(w, "defgoto", self.defgoto)
        self._array(w, "actbase", self.actbase)
        self._array(w, "gotobase", self.gotobase)
        self._array(w, "packed", self.packed)
        self._array(w, "check", self.check)
        lhs = [0] + [self.rules[r][0] - self.nt for r in range(len(self.rules))]
        rlen = [0] + [len(self.rules[r][1]) for r in range(len(self.rules))]
        self._array(w, "lhs", lhs)
        self._array(w, "rlen", rlen)
        self._array(w, "trans", g.translation())
        self._array(w, "extcode", g.primary)
        texts = ["-no such reduction-"]
        for l, rhs, _ in g.rules:
            texts.append("%s:  %s" % (g.nonterms[l], " ".join(rhs)))
        self._strings(w, "ruletext", texts)
        self._strings(w, "termname", g.terms + ["-list end-"])
        w("}  // namespace")
        w("")
        w("extern const tqgram %stables = {" % p)
        w("    defred, defgoto, actbase, gotobase, packed, check, lhs, rlen,")
        w("    trans, extcode, ruletext, termname,")
        w("    %d, %d, %d, %d, %d, %d, %d, %d," % (
            len(self.kernels), len(self.rules) + 1, len(g.nonterms), len(g.terms) - 1,
            self.last, g.ncodes, (len(g.terms) + 31) // 32, g.nonterms.index(g.start)))
        w("};")
        return "\n".join(out) + "\n"

    @staticmethod
    def _array(w, name, values):
        w("const short %s[%d] = {" % (name, len(values)))
        for i in range(0, len(values), 12):
            w("    " + ", ".join("%d" % v for v in values[i:i + 12]) + ",")
        w("};")

    @staticmethod
    def _strings(w, name, values):
        w("const char *const %s[%d] = {" % (name, len(values)))
        for v in values:
            w('    "%s",' % v.replace('\\', '\\\\').replace('"', '\\"'))
        w("};")


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("grammar")
    ap.add_argument("output")
    ap.add_argument("--states", type=int, help="fail unless the automaton has this many states")
    ap.add_argument("--compare", action="store_true", help="compare with OUTPUT instead of writing it")
    a = ap.parse_args(argv)
    try:
        with open(a.grammar, encoding="utf-8") as f:
            g = Grammar(f.read(), a.grammar)
        t = Tables(g)
    except GrammarError as e:
        print("lalrgen: " + str(e), file=sys.stderr)
        return 2
    print("lalrgen: %s: %d states, %d rules, %d nonterminals, %d terminals, last index %d, %d conflicts"
          % (a.grammar, len(t.kernels), len(t.rules) + 1, len(g.nonterms), len(g.terms),
             t.last, len(t.conflicts)))
    for c in t.conflicts:
        print("lalrgen: " + c, file=sys.stderr)
    if t.conflicts:
        return 1
    if a.states is not None and a.states != len(t.kernels):
        print("lalrgen: expected %d states" % a.states, file=sys.stderr)
        return 1
    text = t.emit()
    if a.compare:
        try:
            with open(a.output, encoding="utf-8") as f:
                old = f.read()
        except OSError as e:
            print("lalrgen: " + str(e), file=sys.stderr)
            return 1
        if old != text:
            print("lalrgen: %s is not what %s gives; run the generator again"
                  % (a.output, a.grammar), file=sys.stderr)
            return 1
        return 0
    with open(a.output, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
