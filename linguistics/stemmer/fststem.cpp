// Transducer lookup: coding text into symbol bytes, the depth-first walks in
// the lookup and generation directions on a fixed stack of choice points,
// and the collectors that decode what the walks find. Nothing is allocated;
// every read of the network is checked and counted, so a damaged network
// ends a walk with -2 instead of running away.
#include <cstring>

#include "linguistics/stemmer/fstint.h"

namespace {

uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// Appends a symbol with its escape bytes in the transducer's order; the room
// rule leaves space for what may follow (a terminator, an end symbol).
int putsym(uint8_t *coded, int &len, int room, uint8_t sym, int escs, bool escafter,
           const fstnet *t) {
  if (len + escs + 3 >= room) return FST_ETOOLONG;
  if (!escafter) {
    for (int i = 0; i < escs; i++) coded[len++] = t->esc;
    coded[len++] = sym;
  } else {
    coded[len++] = sym;
    for (int i = 0; i < escs; i++) coded[len++] = t->esc;
  }
  return 0;
}

// Code of a character of page 0 for byte strings: one byte, or 16 bits when
// the transducer has 16-bit codes; 0 outside the alphabet.
uint16_t code8(const fstnet *t, unsigned char c) {
  if (c < t->first0 || c > t->last0 || c - t->first0 >= t->count0) return 0;
  if (t->flags & 2) {
    uint16_t v = 0;
    return fsttab16(t, t->code0 + 2u * (c - t->first0), &v) ? v : 0;
  }
  const uint8_t *p = fsttab(t, t->code0 + (c - t->first0), 1);
  if (!p || !*p) return 0;
  return static_cast<uint16_t>((*p & 0xFC) << 8 | (*p & 3));
}

// Code of a 16-bit character: its high byte selects the page, whose table
// always holds 16-bit codes.
uint16_t code16(const fstnet *t, uint16_t c) {
  int page = c >> 8;
  if (page > t->highpage || page >= t->npages) return 0;
  const uint8_t *rec = fsttab(t, t->pagerecs + FST_PAGELEN * page, FST_PAGELEN);
  if (!rec) return 0;
  uint8_t lo = c & 0xFF, first = rec[5], last = rec[1];
  uint16_t count = be16(rec + 6), off = be16(rec + 8), v;
  if (lo < first || lo > last || lo - first >= count) return 0;
  return fsttab16(t, off + 2u * (lo - first), &v) ? v : 0;
}

// Code of a 16-bit tag name by bisection of the sorted names of "TAGMODE".
uint16_t tagcode16(const fstnet *t, const uint16_t *name, int len) {
  if (!t->tagmode) return 0;
  const uint8_t *r = fsttab(t, t->tagmode, 10);
  uint16_t noff = be16(r + 4), count = be16(r + 6), coff = be16(r + 8);
  int lo = 0, hi = count - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    uint16_t idx = 0, code = 0;
    uint32_t slen;
    fsttab16(t, noff + 2 * mid, &idx);
    const uint8_t *s = fststr(t, idx, &slen);
    if (!s) return 0;
    int cmp = 0;
    for (uint32_t i = 0; !cmp && i < slen && i < static_cast<uint32_t>(len); i++) {
      uint16_t a = be16(s + 2 * i), b = name[i];
      cmp = a < b ? -1 : a > b ? 1 : 0;
    }
    if (!cmp) cmp = slen < static_cast<uint32_t>(len) ? -1 : slen > static_cast<uint32_t>(len) ? 1 : 0;
    if (!cmp) return fsttab16(t, coff + 2 * mid, &code) ? code : 0;
    if (cmp < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  return 0;
}

// Reads a symbol of a coded string at i: its byte and escape count; the
// position after it.
int nextsym(const uint8_t *coded, int i, const fstnet *t, uint8_t *sym, int *escs) {
  int n = 0;
  if (!t->escafter) {
    while (coded[i] && coded[i] == t->esc) n++, i++;
    *sym = coded[i];
    if (coded[i]) i++;
  } else {
    *sym = coded[i++];
    while (coded[i] && coded[i] == t->esc) n++, i++;
  }
  *escs = n;
  return i;
}

// Output character of a symbol, -2 when the table has no such entry.
int outchar(const fstnet *t, uint8_t sym, int escs) {
  if (sym < t->labelbase) return FST_EBAD;
  uint32_t idx = (sym - t->labelbase) / 4u + static_cast<uint32_t>(escs) * t->escstep;
  uint16_t v = 0;
  if (idx >= t->outcount || !fsttab16(t, t->outtab + 2 * idx, &v)) return FST_EBAD;
  return v;
}

// Reads the symbols of a coded string one by one; a tag separator turns tag
// mode on or off and is not handed out.
struct Symbols {
  const uint8_t *coded;
  const fstnet *t;
  int i = 0;
  bool tags = false;
  // The next symbol and its escape count; false at the end.
  bool next(uint8_t *sym, int *escs) {
    while (coded[i]) {
      i = nextsym(coded, i, t, sym, escs);
      if (!*sym) return false;
      if (*escs == 0 && *sym == t->tagsep && t->tagsep) {
        tags = !tags;
        continue;
      }
      return true;
    }
    return false;
  }
};

template <class Ch>
int decodeany(const uint8_t *coded, Ch *text, int room, int gen, const fstnet *t) {
  if (room <= 0) return FST_ETOOLONG;
  int n = 0;
  Symbols rd{coded, t};
  uint8_t sym;
  int escs;
  while (rd.next(&sym, &escs)) {
    if (escs == 0 && sym == t->eos && t->eos != FST_NONE) {
      if (gen) break;
      if (n + 1 >= room) goto full;
      text[n++] = 0;
      continue;
    }
    if (!rd.tags || !t->bycode) {
      int c = outchar(t, sym, escs);
      if (c < 0) {
        text[n] = 0;
        return c;
      }
      if (n + 1 >= room) goto full;
      text[n++] = static_cast<Ch>(sizeof(Ch) == 1 ? c & 0xFF : c);
      continue;
    }
    if constexpr (sizeof(Ch) == 1) {
      const char *name = fsttagname(t, static_cast<uint16_t>(sym << 8 | (escs & 0xFF)));
      if (!name) name = "???";
      if (room - n < FST_TAGROOM || n + static_cast<int>(std::strlen(name)) + 2 >= room) goto full;
      text[n++] = '[';
      for (; *name; name++) text[n++] = *name;
      text[n++] = ']';
    } else {
      // The tag's name through the "TAGMODE" array by symbol index.
      const uint8_t *r = fsttab(t, t->tagmode, 10);
      uint16_t aoff = be16(r + 2), alen, sidx;
      uint32_t idx = (sym - t->labelbase) / 4u + static_cast<uint32_t>(escs) * t->escstep, slen = 3;
      const uint8_t *s = nullptr;
      if (fsttab16(t, aoff - 2u, &alen) && idx < alen && fsttab16(t, aoff + 2 * idx, &sidx))
        s = fststr(t, sidx, &slen);
      if (!s) slen = 3;
      if (n + static_cast<int>(slen) + 3 > room) goto full;
      text[n++] = 91;
      for (uint32_t k = 0; k < slen; k++) text[n++] = s ? be16(s + 2 * k) : '?';
      text[n++] = 93;
    }
  }
  text[n] = 0;
  return n;
full:
  text[n] = 0;
  return FST_ETOOLONG;
}

// Codes a byte or 16-bit text. Byte text takes its codes from page 0 and
// its tags from the name-keyed table, and writes escapes in the
// transducer's order; 16-bit text takes the page of its high byte, finds
// tags by bisection and writes escapes first.
template <class Ch>
int encodeany(const Ch *text, uint8_t *coded, int room, int tagmode, int endmark, const fstnet *t) {
  constexpr bool wide = sizeof(Ch) == 2;
  int len = 0;
  bool intags = false;
  if (room <= 0) return FST_ETOOLONG;
  for (const Ch *s = text;; s++) {
    unsigned c = wide ? *s : static_cast<unsigned char>(*s);
    if (!c) {
      if (endmark && t->eos != FST_NONE) {
        if (len + 2 > room) return FST_ETOOLONG;
        coded[len++] = t->eos;
      }
      if (len + 1 > room) return FST_ETOOLONG;
      coded[len] = 0;
      return len;
    }
    uint16_t code = 0;
    if (tagmode && c == '[') {
      if (!intags && t->tagsep) {
        if (len + 4 >= room) return FST_ETOOLONG;
        coded[len++] = t->tagsep;
      }
      intags = true;
      const Ch *e = s + 1;
      while (*e && *e != ']' && e - (s + 1) < FST_TAGMAX) e++;
      if (*e != ']') return FST_ETAG;
      if constexpr (wide) code = tagcode16(t, s + 1, static_cast<int>(e - s - 1));
      else code = fsttagcode(t, s + 1, static_cast<size_t>(e - s - 1));
      s = e;
    } else {
      if (intags) {
        if (t->tagsep) {
          if (len + 3 >= room) return FST_ETOOLONG;
          coded[len++] = t->tagsep;
        }
        intags = false;
      }
      code = wide ? code16(t, static_cast<uint16_t>(c)) : code8(t, static_cast<unsigned char>(c));
    }
    if (!(code >> 8)) return FST_EALPHA;
    if (int r = putsym(coded, len, room, static_cast<uint8_t>(code >> 8), code & 0xFF,
                       !wide && t->escafter, t))
      return r;
  }
}

// ---------------------------------------------------------------------
// The walks
// ---------------------------------------------------------------------

// Where a walk goes on.
enum At : uint8_t {
  AT_START,   // the sub-network's start
  AT_STATE,   // p: a state byte; report when final
  AT_ARCS,    // p: a state byte whose report is done; its arcs
  AT_ARC,     // p: an arc of a state's list
  AT_TARGET,  // p: an arc matched and reported; its target
  AT_OUT,     // p: an output byte
  AT_GSTATE,  // generation: p, a state byte
  AT_GARC,    // generation: p, an arc of a state's list
  AT_ORD,     // generation: p, an arc taken as an ordinary label
  AT_LEX,     // generation: p, a list matched against the input
  AT_FLAG,    // p: a flag byte
  AT_ENTRY,   // p: an entry of an output-side list
  AT_BACK     // the newest choice point
};

struct Walker {
  const fstnet *t;
  const uint8_t *net;
  uint32_t len;
  uint8_t L, lowest, flagl, dense, cont, esc;
  long budget;
  const uint8_t *in;
  int ip = 0, inlen;
  uint8_t *out;
  int op = 0, room;
  fstcp *st;
  int depth = 0, cap;
  uint16_t flags;
  uint32_t rs = FST_NOPOS;
  uint8_t rl = 0;
  int partial = 0;
  bool gen = false; // the generation direction
  bool en = false;  // enumeration
  int freeprefix = 0, min = 0, max = 0, chars = 0;
  fstcollect fn;
  void *rec;
  uint32_t p = 0;
  At at = AT_START;

  Walker(const fstnet *tt, const fstsubnet *s, const uint8_t *input, uint8_t *o, int r, fstcp *stack,
         int c, fstcollect f, void *rc)
      : t(tt), net(tt->net), len(tt->netlen), L(tt->labelbase), lowest(s->lowest),
        flagl(s->flaglabel), dense(tt->dense), cont(tt->cont), esc(tt->esc), budget(fstbudget(tt)),
        in(input), inlen(static_cast<int>(std::strlen(reinterpret_cast<const char *>(input)))),
        out(o), room(r), st(stack), cap(c), flags(s->initflags), fn(f), rec(rc) {
    p = s->start;
  }

  // Follows pointers from q to a label: 1 a label, 0 an empty list.
  int label(uint32_t &q) {
    for (;;) {
      if (--budget < 0 || q >= len) return FST_EBAD;
      uint8_t b = net[q];
      if (b >= L) return 1;
      if (b == 0) return 0;
      if (int r = fstptr(t, q, &q)) return r;
    }
  }
  int sibling(uint32_t q, uint32_t &s) { return fstnext(t, q, &s, &budget); }
  int push(int kind, uint32_t pos) {
    if (depth >= cap) return FST_ESTACK;
    st[depth++] = {kind, ip, op, pos, net[pos], rl, flags, rs, chars};
    return 0;
  }
  bool put(uint8_t b) {
    if (op + 1 >= room) return false;
    out[op++] = b;
    if (b != esc) chars++;
    return true;
  }
  void unput() {
    op--;
    if (out[op] != esc) chars--;
  }
  bool consumed() const { return in[ip] == 0; }
  // The state step of the walk's direction.
  At state() const { return gen ? AT_GSTATE : AT_STATE; }
  bool reportable() const {
    if (en) return consumed() && chars >= min && chars <= max;
    return consumed() || partial;
  }
  // 1 goes on, 0 stops, -1 suspends (enumeration).
  int report() {
    out[op] = 0;
    return fn(out, ip, op, t, rec);
  }
  // Flag arc at p: a pass sets the new register in *nf.
  bool flagpass(uint8_t b, uint16_t *nf) const {
    int x = b - L;
    int val = (x >> 2) & 3, no = (x >> 4) & 15;
    *nf = flags;
    if (no >= 8) return true;  // no bits: unset, and setting has no effect
    int cur = (flags >> (2 * no)) & 3;
    if (val == 0) {
      *nf = static_cast<uint16_t>(flags & ~(3u << (2 * no)));
      return true;
    }
    if (cur == val) return true;
    if (cur == 0) {
      *nf = static_cast<uint16_t>(flags | (val << (2 * no)));
      return true;
    }
    return false;
  }
  // The dense-table entry of symbol P after the dense label at d: 1 found
  // at *m, 0 none.
  int densefind(uint32_t d, uint8_t P, uint32_t *m) {
    uint32_t q = d + 1;
    int r = label(q);
    if (r <= 0) return r;
    uint8_t c = net[q] & 0xFC;
    if (P < c) return 0;
    uint32_t e = q + (P - c);
    if (e >= len) return FST_EBAD;
    if ((net[e] & 0xFC) != P) return 0;
    *m = e;
    return 1;
  }
  // Starts the output-side list at the dense label at q.
  int startlist(uint32_t q) {
    rs = FST_NOPOS;
    if (net[q] & 2) {
      uint32_t s;
      int r = sibling(q, s);
      if (r < 0) return r;
      if (r) {
        rs = s;
        rl = net[s];
      }
    }
    return onlist(q + 1, AT_ENTRY);
  }
  // One entry of an output-side list.
  int entry() {
    uint8_t b = net[p], lab = b & 0xFC;
    if (lab == dense) {
      if (b & 2) {
        if (p + 1 >= len) return FST_EBAD;
        p += net[p + 1];
        return 0;
      }
      if (!put(lab)) return FST_ETOOLONG;
      at = state();
      return 0;
    }
    if (rs != FST_NOPOS && lab == (rl & 0xFC)) {
      if (b & 2)
        if (int r = push(1, p)) return r;
      if (!put(lab)) return FST_ETOOLONG;
      p = rs;
      at = state();
      return 0;
    }
    if (b & 2)
      if (int r = push(2, p)) return r;
    if (!put(lab)) return FST_ETOOLONG;
    at = state();
    return 0;
  }
  // Goes on at q after a read that found it (r 1), backtracks after one
  // that found nothing (0), passes an error on.
  int goon(int r, uint32_t q, At next) {
    if (r < 0) return r;
    if (r == 0) {
      at = AT_BACK;
      return 0;
    }
    p = q;
    at = next;
    return 0;
  }
  // Goes on at the next sibling of q, or backtracks when there is none.
  int onsibling(uint32_t q, At next) {
    uint32_t s = 0;
    int r = sibling(q, s);
    return goon(r, s, next);
  }
  // Goes on at the first label after q, or backtracks for an empty list.
  int onlist(uint32_t q, At next) {
    int r = label(q);
    return goon(r, q, next);
  }
  // At arc p (byte b) of a special label, one below the lowest symbol:
  // keeps its sibling as a choice point of kind and goes on at the labels
  // after it, at the flag step for the flag label and at next for another.
  int onspecial(uint8_t b, int kind, At next) {
    if (b & 2)
      if (int r = push(kind, p)) return r;
    return onlist(p + 1, (b & 0xFC) == flagl ? AT_FLAG : next);
  }
  // Takes the label of arc p (byte b), keeping its sibling as a choice
  // point of kind: a dense table's label starts that table's list (1), any
  // other label is written (0); or a code.
  int take(uint8_t b, int kind) {
    if (b & 2)
      if (int r = push(kind, p)) return r;
    if ((b & 0xFC) == dense) {
      int r = startlist(p);
      return r < 0 ? r : 1;
    }
    return put(b & 0xFC) ? 0 : FST_ETOOLONG;
  }
  // Pops a choice point and says where to go on; the kinds of the output
  // side lists and flags are common to both directions.
  int pop() {
    bool up = !gen;
    if (depth == 0) return 1;
    const fstcp c = st[--depth];
    // A stack kept in a lookup buffer between calls is checked like input.
    if (c.ip < 0 || c.ip > inlen || c.op < 0 || c.op >= room || c.pos >= len ||
        (c.rs != FST_NOPOS && c.rs >= len))
      return FST_EBAD;
    ip = c.ip;
    op = c.op;
    flags = c.flags;
    rs = c.rs;
    rl = c.rl;
    chars = c.chars;
    switch (c.kind) {
      case 0: return onsibling(c.pos, up ? AT_ARC : AT_LEX);
      case 1:
        if (rs != FST_NOPOS) {
          uint32_t s = FST_NOPOS;
          if (net[rs] & 2) {
            int r = sibling(rs, s);
            if (r < 0) return r;
            if (r == 0) s = FST_NOPOS;
          }
          rs = s;
          if (s != FST_NOPOS) rl = net[s];
        }
        p = c.pos + 4;
        at = AT_ENTRY;
        return 0;
      case 2:
        p = c.pos + 4;
        at = AT_ENTRY;
        return 0;
      case 3: return onsibling(c.pos, up ? AT_OUT : AT_GARC);
      case 4: return onsibling(c.pos, up ? AT_OUT : AT_ORD);
      case 5:
        if (up) return onlist(c.pos + 1, AT_OUT);
        p = c.pos;
        at = AT_GSTATE;
        return 0;
      case 6:
        if (up) {
          // Enumeration: the next arc of a state taken freely.
          if (!en) return FST_EKIND;
          return onsibling(c.pos, AT_ARC);
        }
        ip = c.ip + 1;
        return onsibling(c.pos, AT_GARC);
      case 7: return onsibling(c.pos, AT_FLAG);
      default: return FST_EKIND;
    }
  }

  // Scans a state's sorted list from p for the symbol P: the first equal
  // label, or the entry of a dense-table label met before a greater label or
  // the end of the list; *m stays FST_NOPOS when there is none. With lexeps
  // a special label met first is taken without input (*eps set).
  int scan(uint8_t P, bool lexeps, uint32_t *m, bool *eps) {
    uint32_t d = FST_NOPOS;
    *m = FST_NOPOS;
    *eps = false;
    for (;;) {
      uint8_t c = net[p], cl = c & 0xFC;
      if (lexeps && cl < lowest && cl != dense) {
        if (c & 2)
          if (int r = push(0, p)) return r;
        *eps = true;
        return 0;
      }
      if (!P) return 0;
      if (cl == P) {
        *m = p;
        return 0;
      }
      if (cl == dense) {
        d = p;
        if (!(c & 2)) break;
      } else if (cl > P) {
        break;
      }
      if (!(c & 2)) break;
      int r = sibling(p, p);
      if (r < 0) return r;
      if (r == 0) break;
    }
    if (d != FST_NOPOS) {
      int r = densefind(d, P, m);
      if (r < 0) return r;
    }
    return 0;
  }

  // Reports a final state when its conditions hold; 1 goes on, 0 stops,
  // -1 suspends.
  int maybereport(bool final, At next) {
    at = next;
    if (!final || !(gen ? consumed() : reportable())) return 1;
    return report();
  }

  // The walk in either direction (the enumeration in the lookup direction);
  // 0, 1 suspended, or a code.
  int run() {
    int r;
    uint32_t m;
    bool eps;
    for (;;) {
      if (--budget < 0) return FST_EBAD;
      if (at != AT_START && at != AT_BACK && p >= len) return FST_EBAD;
      switch (at) {
        case AT_START:
          r = label(p);
          if (r <= 0) return r;
          at = state();
          break;

        // ---- the lookup direction ----
        case AT_STATE:
          r = maybereport(net[p] & 1, AT_ARCS);
          if (r <= 0) return r < 0 ? 1 : 0;
          break;
        case AT_ARCS:
          if (en && chars >= max) {
            at = AT_BACK;
            break;
          }
          if ((r = onlist(p + 1, AT_ARC))) return r;
          break;
        case AT_ARC: {
          if (en && chars >= max) {
            at = AT_BACK;
            break;
          }
          uint8_t b = net[p], lab = b & 0xFC;
          if (lab < lowest) {
            if ((r = onspecial(b, 0, AT_OUT))) return r;
            break;
          }
          if (en && (chars < freeprefix || consumed())) {
            // Free: every arc in turn, its label written.
            r = take(b, 6);
            if (r < 0) return r;
            if (r > 0) break;
            r = maybereport(b & 1, AT_TARGET);
            if (r <= 0) return r < 0 ? 1 : 0;
            break;
          }
          uint8_t P = in[ip];
          if (!P) {
            if (partial) return FST_EPARTIAL;
            at = AT_BACK;
            break;
          }
          if ((r = scan(P, false, &m, &eps))) return r;
          if (m == FST_NOPOS) {
            at = AT_BACK;
            break;
          }
          if (!put(P)) return FST_ETOOLONG;
          ip++;
          p = m;
          r = maybereport(net[m] & 1, AT_TARGET);
          if (r <= 0) return r < 0 ? 1 : 0;
          break;
        }
        case AT_TARGET: {
          uint32_t q = p + 1;
          r = label(q);
          if (r < 0) return r;
          if (r == 0) {
            at = AT_BACK;
            break;
          }
          if ((net[q] & 0xFC) == cont) {
            // A pair: the symbol just written gives way to the other side,
            // after the identity continuation when there is one.
            unput();
            if (net[q] & 2) {
              if ((r = push(5, q))) return r;
              op++;
              if (out[op - 1] != esc) chars++;
              if ((r = onsibling(q, AT_ARC))) return r;
              break;
            }
            if ((r = onlist(q + 1, AT_OUT))) return r;
            break;
          }
          p = q;
          at = AT_ARC;
          break;
        }
        case AT_OUT: {
          uint8_t b = net[p], lab = b & 0xFC;
          if (lab < lowest) {
            if (b & 2)
              if ((r = push(3, p))) return r;
            at = AT_STATE;
            break;
          }
          if (lab == dense) {
            if ((r = startlist(p))) return r;
            break;
          }
          if (op + 1 >= room) return FST_ETOOLONG;
          if (b & 2)
            if ((r = push(4, p))) return r;
          put(lab);
          at = AT_STATE;
          break;
        }

        // ---- the generation direction ----
        case AT_GSTATE:
          if (maybereport(net[p] & 1, AT_GSTATE) == 0) return 0;
          if ((r = onlist(p + 1, AT_GARC))) return r;
          break;
        case AT_GARC: {
          uint8_t b = net[p], lab = b & 0xFC;
          if (lab < lowest) {
            // Nothing written: the labels after it meet the input.
            if ((r = onspecial(b, 3, AT_LEX))) return r;
            break;
          }
          at = AT_ORD;
          break;
        }
        case AT_ORD: {
          uint8_t b = net[p], lab = b & 0xFC;
          r = take(b, 4);
          if (r < 0) return r;
          if (r > 0) break;
          uint8_t P = in[ip];
          bool eq = P && lab == P;
          if (eq) {
            ip++;
            if ((b & 1) && consumed() && report() == 0) return 0;
          }
          uint32_t q = p + 1;
          r = label(q);
          if (r < 0) return r;
          if (r == 0) {
            at = AT_BACK;
            break;
          }
          if ((net[q] & 0xFC) != cont) {
            if (eq) {
              p = q;
              at = AT_GARC;
            } else {
              at = AT_BACK;
            }
            break;
          }
          if (!eq) {
            if ((r = onlist(q + 1, AT_LEX))) return r;
            break;
          }
          if (!(net[q] & 1)) {
            // No pair reading can start with this symbol: the identity only.
            if (net[q] & 2) {
              if ((r = onsibling(q, AT_GARC))) return r;
            } else {
              at = AT_BACK;
            }
            break;
          }
          ip--;  // the pair reading first, without the symbol
          if (net[q] & 2)
            if ((r = push(6, q))) return r;
          if ((r = onlist(q + 1, AT_LEX))) return r;
          break;
        }
        case AT_LEX:
          // The list's labels are the input side: the first equal label
          // takes the symbol; a special label takes nothing.
          if ((r = scan(in[ip], true, &m, &eps))) return r;
          if (eps) {
            at = AT_GSTATE;
            break;
          }
          if (m == FST_NOPOS) {
            at = AT_BACK;
            break;
          }
          ip++;
          p = m;
          at = AT_GSTATE;
          break;

        // ---- both ----
        case AT_FLAG: {
          uint16_t nf;
          uint8_t b = net[p];
          if (!flagpass(b, &nf)) {
            if (b & 2) {
              if ((r = onsibling(p, AT_FLAG))) return r;
            } else {
              at = AT_BACK;
            }
            break;
          }
          if (b & 2)
            if ((r = push(7, p))) return r;
          flags = nf;
          at = state();
          break;
        }
        case AT_ENTRY:
          if ((r = entry())) return r;
          break;
        case AT_BACK:
          r = pop();
          if (r > 0) return 0;
          if (r < 0) return r;
          break;
        default:
          return FST_EKIND;
      }
    }
  }
};

// ---------------------------------------------------------------------
// Collectors
// ---------------------------------------------------------------------

// Every result after those already in the area, each ended by a 0: a
// result the 8-bit area holds already is dropped, the 16-bit area takes
// every one. 1 goes on; 0 stops, the error in the count.
template <class Ch>
int collectall(const uint8_t *coded, const fstnet *t, fstcol *c) {
  Ch *area = static_cast<Ch *>(c->area);
  int n = decodeany(coded, area + c->wpos, c->room - c->wpos, c->gen, t);
  if (n < 0) {
    c->count = n;
    return 0;
  }
  if constexpr (sizeof(Ch) == 1) {
    for (int at = 0; at < c->wpos; at += static_cast<int>(std::strlen(area + at)) + 1)
      if (std::strcmp(area + at, area + c->wpos) == 0) return 1;
  }
  c->count++;
  c->wpos += n + 1;
  return 1;
}

// Every distinct result, in the order found.
int colall(const uint8_t *coded, int, int, const fstnet *t, void *r) {
  return collectall<char>(coded, t, static_cast<fstcol *>(r));
}

// The first result; the walk stops.
int colfirst(const uint8_t *coded, int, int, const fstnet *t, void *r) {
  fstcol *c = static_cast<fstcol *>(r);
  int n = fstdecode(coded, static_cast<char *>(c->area), c->room, c->gen, t);
  c->count = n < 0 ? n : 1;
  return 0;
}

// The shortest result, the first of equally short ones.
int colbest(const uint8_t *coded, int, int, const fstnet *t, void *r) {
  fstcol *c = static_cast<fstcol *>(r);
  int len = fstoutlen(coded, t);
  if (c->best >= 0 && len >= c->best) return 1;
  int n = fstdecode(coded, static_cast<char *>(c->area), c->room, c->gen, t);
  if (n < 0) {
    c->count = n;
    return 0;
  }
  c->best = len;
  c->count = 1;
  return 1;
}

// 16-bit: every result (no duplicate test), each ended by a 0.
int colallw(const uint8_t *coded, int, int, const fstnet *t, void *r) {
  return collectall<uint16_t>(coded, t, static_cast<fstcol *>(r));
}

// 16-bit: the first result; its length.
int colfirstw(const uint8_t *coded, int, int, const fstnet *t, void *r) {
  fstcol *c = static_cast<fstcol *>(r);
  c->count = fstdecodew(coded, static_cast<uint16_t *>(c->area), c->room, c->gen, t);
  return 0;
}

// 16-bit: the strictly shorter result wins; its length.
int colbestw(const uint8_t *coded, int, int, const fstnet *t, void *r) {
  fstcol *c = static_cast<fstcol *>(r);
  uint16_t scratch[1024];
  int n = fstdecodew(coded, scratch, 1024, c->gen, t);
  if (n < 0) {
    c->count = n;
    return 0;
  }
  if (c->best >= 0 && n >= c->best) return 1;
  if (n + 1 > c->room) {
    c->count = FST_ETOOLONG;
    return 0;
  }
  std::memcpy(c->area, scratch, sizeof(uint16_t) * (n + 1));
  c->best = n;
  c->count = n;
  return 1;
}

struct Mode {
  bool gen;
  int fn;
  fstcollect col8, col16;
};

bool modeof(int mode, Mode *m) {
  switch (mode) {
    case 2: *m = {false, 12, colall, colallw}; return true;
    case 3: *m = {false, 27, colall, colallw}; return true;
    case 4: *m = {false, 12, colfirst, colfirstw}; return true;
    case 5: *m = {false, 27, colfirst, colfirstw}; return true;
    case 6: *m = {false, 12, colbest, colbestw}; return true;
    case 7: *m = {false, 27, colbest, colbestw}; return true;
    case 8: *m = {true, 12, colall, colallw}; return true;
    case 9: *m = {true, 27, colall, colallw}; return true;
    default: return false;
  }
}

}  // namespace

long fstbudget(const fstnet *t) { return 64L * t->netlen + 4096; }

int fstencode(const char *text, uint8_t *coded, int room, int tagmode, int endmark,
              const fstnet *t) {
  return encodeany(text, coded, room, tagmode, endmark, t);
}

int fstencodew(const uint16_t *text, uint8_t *coded, int room, int tagmode, int endmark,
               const fstnet *t) {
  return encodeany(text, coded, room, tagmode, endmark, t);
}

int fstdecode(const uint8_t *coded, char *text, int room, int gen, const fstnet *t) {
  return decodeany(coded, text, room, gen, t);
}

int fstdecodew(const uint8_t *coded, uint16_t *text, int room, int gen, const fstnet *t) {
  return decodeany(coded, text, room, gen, t);
}

int fstoutlen(const uint8_t *coded, const fstnet *t) {
  int n = 0;
  Symbols rd{coded, t};
  uint8_t sym;
  int escs;
  while (rd.next(&sym, &escs)) {
    if (rd.tags && t->bycode) {
      const char *name = fsttagname(t, static_cast<uint16_t>(sym << 8 | (escs & 0xFF)));
      n += (name ? static_cast<int>(std::strlen(name)) : 3) + 2;
    } else {
      n++;
    }
  }
  return n;
}

int fstfunc(int fn, const fstnet *t) {
  const uint8_t *f = fsttab(t, t->functab, 1);
  if (!f || fn < 1 || fn > f[0]) return 255;
  return f[fn];
}

namespace {

// Sets a walker on a sub-network and hands it to go; 0, 1 (suspended) or a
// code.
template <class Go>
int walkon(const uint8_t *in, uint8_t *out, int room, int sub, fstcp *stack, int cap,
           const fstnet *t, fstcollect fn, void *rec, Go go) {
  const fstsubnet *s = fstsub(t, sub);
  if (!s) return FST_EFUNC;
  if (room < 1) return FST_ETOOLONG;
  Walker w(t, s, in, out, room, stack, cap, fn, rec);
  return go(w);
}

}  // namespace

int fstwalkup(const uint8_t *in, uint8_t *out, int room, int sub, int partial, fstcp *stack,
              int cap, const fstnet *t, fstcollect fn, void *rec) {
  return walkon(in, out, room, sub, stack, cap, t, fn, rec, [&](Walker &w) {
    w.partial = partial;
    return w.run();
  });
}

int fstwalkdown(const uint8_t *in, uint8_t *out, int room, int sub, fstcp *stack, int cap,
                const fstnet *t, fstcollect fn, void *rec) {
  return walkon(in, out, room, sub, stack, cap, t, fn, rec, [&](Walker &w) {
    w.gen = true;
    return w.run();
  });
}

int fstwalkenum(const uint8_t *in, uint8_t *out, int room, int sub, fstcp *stack, int cap,
                int freeprefix, int min, int max, fstwalkstate *ws, const fstnet *t,
                fstcollect fn, void *rec) {
  return walkon(in, out, room, sub, stack, cap, t, fn, rec, [&](Walker &w) {
    w.en = true;
    w.freeprefix = freeprefix;
    w.min = min;
    w.max = max;
    if (ws->at != AT_START) {
      w.at = static_cast<At>(ws->at);
      w.flags = ws->flags;
      w.ip = ws->ip;
      w.op = ws->op;
      w.chars = ws->chars;
      w.depth = ws->depth;
      w.p = ws->pos;
      w.rs = ws->rs;
      w.rl = ws->rl;
      if (w.depth < 0 || w.depth > cap || w.op < 0 || w.op >= room || w.ip < 0 || w.ip > w.inlen ||
          w.p >= t->netlen || (w.rs != FST_NOPOS && w.rs >= t->netlen))
        return static_cast<int>(FST_EBAD);
    }
    int r = w.run();
    *ws = {static_cast<uint8_t>(w.at), w.flags, w.ip, w.op, w.chars, w.depth, w.p, w.rs, w.rl};
    return r;
  });
}

namespace {

// A lookup of byte or 16-bit text: the results take the first half of the
// buffer less two units, the coded input and the walk's output the rest.
template <class Ch>
int lookupany(const Ch *word, Ch *buf, int size, int mode, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  Mode m;
  if (!modeof(mode, &m)) return FST_EFUNC;
  int h = size / 2;
  if (h - 2 < 1) return FST_ETOOLONG;
  uint8_t *coded = reinterpret_cast<uint8_t *>(buf + h);
  int croom = sizeof(Ch) == 1 ? h : (size - h) * 2;
  int clen = encodeany(word, coded, croom, m.gen, !m.gen, t);
  if (clen < 0) return clen;
  int sub = fstfunc(m.fn, t);
  if (sub == 255) return FST_EFUNC;
  fstcol c{};
  c.best = -1;
  c.room = h - 2;
  c.area = buf;
  c.gen = m.gen;
  fstcp stack[FST_STACK];
  uint8_t *out = coded + clen + 1;
  int room = croom - (clen + 1);
  fstcollect col = sizeof(Ch) == 1 ? m.col8 : m.col16;
  int r = m.gen ? fstwalkdown(coded, out, room, sub, stack, FST_STACK, t, col, &c)
                : fstwalkup(coded, out, room, sub, 0, stack, FST_STACK, t, col, &c);
  return r < 0 ? r : c.count;
}

}  // namespace

int fstlookup(const char *word, char *buf, int size, int mode, const fstnet *t) {
  return lookupany(word, buf, size, mode, t);
}

int fstlookupw(const uint16_t *word, uint16_t *buf, int size, int mode, const fstnet *t) {
  return lookupany(word, buf, size, mode, t);
}
