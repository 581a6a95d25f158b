// The Word 6 full reader's text walk: every position of the main text is
// looked up, written by the reader's character rules, and marks zones in
// the zone side file where hidden text, frames, tables, headers, footers
// and footnotes begin and end. Footnotes, header and footer stories and
// field texts are walked as sub-stories.
#include <algorithm>
#include <cstring>

#include "converters/formats/w6full.h"
#include "converters/runtime/df.h"

namespace {

w6blk *blk(cxstate *st) { return static_cast<w6blk *>(st->w6blk); }

bool aborted(cxstate *st) { return st->sb->abortflag == 1; }

bool sameframe(const w6pap &a, const w6pap &b) {
  return a.pcvert.v == b.pcvert.v && a.pchorz.v == b.pchorz.v && a.dxaabs.v == b.dxaabs.v && a.dyaabs.v == b.dyaabs.v &&
         a.dxawidth.v == b.dxawidth.v;
}
bool hasframe(const w6pap &a) { return a.pcvert.v || a.pchorz.v || a.dxaabs.v || a.dyaabs.v || a.dxawidth.v; }
void copyframe(w6pap *to, const w6pap &from) {
  to->pcvert = from.pcvert, to->pchorz = from.pchorz, to->dxaabs = from.dxaabs, to->dyaabs = from.dyaabs;
  to->dxawidth = from.dxawidth;
}

// The hidden-text zone, closing and opening side.
void attroff(cxstate *st, const w6chp &b, const w6chp &a) {
  if (b.vanish.v != a.vanish.v && b.vanish.v) w6zone(st, 9, 0);
}
void attron(cxstate *st, const w6chp &b, const w6chp &a) {
  if (b.vanish.v != a.vanish.v && a.vanish.v) w6zone(st, 9, 1);
}

// A paragraph in a table takes the frame of the one before: frames do not
// delimit zones inside tables.
void tableframe(const w6pap &b, w6pap *a) {
  if (!sameframe(b, *a) && b.intable.v && a->intable.v) copyframe(a, b);
}

void parachange(cxstate *st, const w6pap &b, w6pap *a) {
  tableframe(b, a);
  if (!a->intable.v && b.intable.v) w6zone(st, 10, 0);
  if (!sameframe(b, *a) && hasframe(b)) w6zone(st, 4, 0);
}

int nextrow(cxstate *st, w6doc *d, int32_t p, w6pap *r);

void tablechange(cxstate *st, w6doc *d, const w6pap &b, w6pap *a, int32_t p) {
  tableframe(b, a);
  if (!sameframe(b, *a) && hasframe(*a)) w6zone(st, 4, 1);
  if (a->intable.v && !b.intable.v) {
    auto *r = static_cast<w6pap *>(w6alloc(st, sizeof(w6pap)));
    if (nextrow(st, d, p, r) == 0) w6zone(st, 10, 1);
    w6dealloc(st, r);
  }
}

// Looks for a row end (a cell mark whose paragraph ends a row) from p
// forward (step 1) or backward (step -1); 0 with r holding its paragraph
// properties, 1 when a paragraph outside a table or the scan's limit comes
// first.
int rowscan(cxstate *st, w6doc *d, int32_t p, int step, w6pap *r) {
  int32_t saved = dftell(st, d->vf);
  int found = 1;
  for (; step > 0 ? p < d->fib.fcmac : p >= d->fib.fcmin; p += step) {
    int c = w6readch(st, d, p);
    w6parapropsat(st, d, p, r);
    if (!r->intable.v) break;
    if (c == 7 && r->ttp.v) {
      found = 0;
      break;
    }
  }
  dfseek(st, d->vf, saved);
  return found;
}
int nextrow(cxstate *st, w6doc *d, int32_t p, w6pap *r) { return rowscan(st, d, p, 1, r); }
int prevrow(cxstate *st, w6doc *d, int32_t p, w6pap *r) { return rowscan(st, d, p - 1, -1, r); }

// A cell mark: the table zone breaks after every cell, and between rows
// only where the layout changes.
void cellmark(cxstate *st, w6doc *d, const w6pap &a, int32_t p) {
  if (!a.ttp.v) {
    w6zone(st, 10, 0);
    w6zone(st, 10, 1);
    return;
  }
  auto *r1 = static_cast<w6pap *>(w6alloc(st, sizeof(w6pap)));
  auto *r2 = static_cast<w6pap *>(w6alloc(st, sizeof(w6pap)));
  if (prevrow(st, d, p + 1, r1) == 0 && nextrow(st, d, p + 1, r2) == 0 &&
      std::memcmp(&r1->tap, &r2->tap, sizeof(w6tap)) != 0) {
    w6zone(st, 10, 0);
    w6zone(st, 10, 1);
  }
  w6dealloc(st, r2);
  w6dealloc(st, r1);
}

// The character writer: kind 0 main text, 1 footnote, 2 header or footer,
// 3 field text.
void w6char(cxstate *st, w6doc *d, int kind, int c, const w6chp &h, const w6pap &a, w6sep *s, int32_t *p) {
  (void)kind;
  if (c < 0 || h.strikerm.v) return;
  if (h.spec.v) {
    w6special(st, d, c, p, s, &a, &h);
    return;
  }
  if (c >= 32) {
    w6putc(st, c == 160 ? ' ' : c == 210 ? 147 : c == 211 ? 148 : c);
    return;
  }
  switch (c) {
    case 7:
      w6putc(st, ' ');
      if (a.intable.v) cellmark(st, d, a, *p);
      break;
    case 9:
    case 11:
    case 12:
    case 14: w6putc(st, c); break;
    case 13: {
      auto *next = static_cast<w6pap *>(w6alloc(st, sizeof(w6pap)));
      w6parapropsat(st, d, *p + 1, next);
      w6putc(st, 13);
      w6paranum(st, d, s, next);
      w6dealloc(st, next);
      break;
    }
    case 30: w6putc(st, '-'); break;
    default: break;
  }
}

// The comparisons of one step between the previous (b) and current (a)
// records; section changes are the main walk's.
void compare(cxstate *st, w6doc *d, bool chp, bool pap, const w6chp &cb, const w6chp &ca, const w6pap &pb, w6pap *pa,
             int32_t p, void (*sections)(cxstate *, w6doc *, void *), void *arg) {
  if (chp) attroff(st, cb, ca);
  if (pap) parachange(st, pb, pa);
  if (sections) sections(st, d, arg);
  if (pap) tablechange(st, d, pb, pa, p);
  if (chp) attron(st, cb, ca);
}

// Header and footer stories of a section whose flag byte is g: each set
// bit takes the next story of the table.
void hdrstories(cxstate *st, w6doc *d, int g, w6sep *s) {
  if (!d->hdd) return;
  int32_t n = d->lhdd / 4 - 2;
  const w6fib &f = d->fib;
  int32_t base = f.fcmin + f.ccptext + f.ccpftn;
  for (int i = 0; i < 6 && d->story < n; ++i) {
    if (!(g & 1 << i)) continue;
    int k = d->story;
    int code = i == 0 || i == 1 || i == 4 ? 1 : 2;
    w6zone(st, code, 1);
    w6storywalk(st, d, w6le32(d->hdd + 4 * k) + base, w6le32(d->hdd + 4 * (k + 1)) + base - 1, 2, s, nullptr, nullptr);
    w6zone(st, code, 0);
    d->story = static_cast<uint8_t>(k + 1);
  }
}

// A footnote reference at file offset o: its text in zone 3 in place of the
// reference character; 1 when written.
int plcwalk(cxstate *st, w6doc *d, int32_t o, int c, w6sep *s, const w6pap *pap, const w6chp *chp) {
  if (!d->fndref || !d->fndtxt) return 0;
  int32_t n = std::max<int32_t>(0, (d->lfndref - 4) / 6);
  // Each footnote's text is bounded by two CPs of the text table.
  n = std::min(n, d->lfndtxt / 4 - 1);
  const w6fib &f = d->fib;
  for (int32_t i = 0; i < n; ++i) {
    if (w6le32(d->fndref + 4 * i) + f.fcmin != o) continue;
    int32_t base = f.ccptext + f.fcmin;
    w6zone(st, 3, 1);
    w6storywalk(st, d, w6le32(d->fndtxt + 4 * i) + base + 1 + (c != 2), w6le32(d->fndtxt + 4 * (i + 1)) + base - 1, 1, s,
                pap, chp);
    w6zone(st, 3, 0);
    return 1;
  }
  return 0;
}

struct sectionstep {
  w6recs *r;
  bool changed;
};

void sectionhf(cxstate *st, w6doc *d, void *arg) {
  auto *ss = static_cast<sectionstep *>(arg);
  if (!ss->changed) return;
  if (ss->r->sa->grpfihdt.v) hdrstories(st, d, ss->r->sa->grpfihdt.v, ss->r->sa);
}

}  // namespace

int w6readch(cxstate *st, w6doc *d, int32_t p) {
  dfseek(st, d->vf, w6cp2fc(st, d, p));
  return dfgetc(st, d->vf);
}

void w6zone(cxstate *st, int code, int open) { cxzonemark(st, code, open); }

void w6putc(cxstate *st, int c) {
  int m = blk(st)->x.lemode;
  if (c >= 32 || c == 9) {
    cxputc(st, c);
    return;
  }
  switch (c) {
    case 11:
    case 12:
    case 13:
    case 14:
      if (m != 1) cxputc(st, 13);
      if (m != 2) cxputc(st, 10);
      return;
    case 7: cxputc(st, ' '); return;
    case 30: cxputc(st, '-'); return;
    case 31: return;
    default: {
      int o = cxcpconv(nullptr, 819, blk(st)->x.codepage, c);
      if (o > 0) cxputc(st, o);
    }
  }
}

void w6parapropsat(cxstate *st, w6doc *d, int32_t p, w6pap *r) {
  w6papat(st, d, p, r);
  if (d->pieces) w6pieceprm(st, d, p, nullptr, r, nullptr, &d->base);
}

void w6storywalk(cxstate *st, w6doc *d, int32_t first, int32_t limit, int kind, w6sep *s, const w6pap *pap,
                 const w6chp *chp) {
  int32_t saved = dftell(st, d->vf);
  auto *pp = static_cast<w6pap *>(w6alloc(st, sizeof(w6pap)));
  auto *pc = static_cast<w6pap *>(w6alloc(st, sizeof(w6pap)));
  auto *cp = static_cast<w6chp *>(w6alloc(st, sizeof(w6chp)));
  auto *cc = static_cast<w6chp *>(w6alloc(st, sizeof(w6chp)));
  auto start = [&](w6pap *r, w6chp *q) {
    if (kind == 3 && pap && chp) {
      *r = *pap;
      *q = *chp;
    } else {
      w6papdefault(st, r);
      w6chpdefault(st, q);
    }
  };
  start(pp, cp);
  for (int32_t p = first; p < limit && !aborted(st); ++p) {
    int c = w6readch(st, d, p);
    int rp = w6papatc(st, d, p, pc), rc = w6chpat(st, d, p, cc);
    int m = d->pieces ? w6pieceprm(st, d, p, s, pc, cc, &d->base) : 0;
    compare(st, d, rc != 1 || m, rp != 1 || m, *cp, *cc, *pp, pc, p, nullptr, nullptr);
    w6char(st, d, kind, c, *cc, *pc, s, &p);
    std::swap(pp, pc);
    std::swap(cp, cc);
  }
  start(pc, cc);
  compare(st, d, true, true, *cp, *cc, *pp, pc, limit, nullptr, nullptr);
  w6dealloc(st, cc);
  w6dealloc(st, cp);
  w6dealloc(st, pc);
  w6dealloc(st, pp);
  dfseek(st, d->vf, saved);
}

void w6walk(cxstate *st, w6doc *d, w6recs *r) {
  w6sepdefault(st, r->sb);
  w6papdefault(st, r->pb);
  w6chpdefault(st, r->cb);
  w6zone(st, 0, 1);
  // The first paragraph's number, against the default section.
  w6parapropsat(st, d, d->fib.fcmin, r->pa);
  w6paranum(st, d, r->sb, r->pa);
  const int64_t end = static_cast<int64_t>(d->fib.fcmin) + d->fib.ccptext;
  sectionstep ss{r, false};
  for (int32_t p = d->fib.fcmin; p < end && !aborted(st); ++p) {
    int c = w6readch(st, d, p);
    int rs = w6sepat(st, d, p, r->sa), rp = w6papatc(st, d, p, r->pa), rc = w6chpat(st, d, p, r->ca);
    int m = d->pieces ? w6pieceprm(st, d, p, r->sa, r->pa, r->ca, &d->base) : 0;
    ss.changed = rs != 1 || m;
    compare(st, d, rc != 1 || m, rp != 1 || m, *r->cb, *r->ca, *r->pb, r->pa, p, sectionhf, &ss);
    if (!plcwalk(st, d, w6cp2fc(st, d, p), c, r->sb, r->pb, r->cb)) w6char(st, d, 0, c, *r->ca, *r->pa, r->sa, &p);
    std::swap(r->sa, r->sb);
    std::swap(r->pa, r->pb);
    std::swap(r->ca, r->cb);
  }
  // Defaults after the last character close the zones still open.
  w6sepdefault(st, r->sa);
  w6papdefault(st, r->pa);
  w6chpdefault(st, r->ca);
  compare(st, d, true, true, *r->cb, *r->ca, *r->pb, r->pa, static_cast<int32_t>(end), nullptr, nullptr);
}
