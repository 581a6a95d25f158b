// Table grid merge: in table-grid mode the records of consecutive tables are
// collected in a stream with every table's column boundaries; when the run
// of tables ends they are written again as one table on a common grid of
// columns, each cell spanning the grid columns it covers. Tables that do not
// fit one grid are written as they were collected.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstdlib>
#include <cstring>

#include "converters/runtime/comcodes.h"

namespace {

constexpr int kmaxgrid = 250;
constexpr int kfit = 144;  // outer edges this close are made equal; inner edges closer are snapped

struct cwgriddef {
  int32_t n;              // boundaries given
  int32_t l[kmaxgrid];
  int32_t r[kmaxgrid];
  cwgriddef* next;
};

struct cwgridsave {
  cwgriddef* defs;
  int32_t stream;
  int32_t depth;
};

}  // namespace

struct cwgrids {
  cwgriddef* defs;
  cwgriddef* last;
  int32_t stream;         // the grid stream, -1 none
  cwgridsave saved[CW_NNEST];
  int32_t nsaved;
};

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

cwgrids* grids(cvrun* run) {
  cwstate* w = writer(run);
  if (!w->grids) {
    w->grids = static_cast<cwgrids*>(cvalloc(run, sizeof(cwgrids)));
    if (w->grids) {
      std::memset(w->grids, 0, sizeof(cwgrids));
      w->grids->stream = -1;
    }
  }
  return w->grids;
}

void freedefs(cvrun* run, cwgriddef* d) {
  while (d) {
    cwgriddef* next = d->next;
    cvfree(run, d);
    d = next;
  }
}

// ---------------------------------------------------------------- reading the collected records

// A decimal field: its value, or -1 without a digit; an RS is left unread.
int fielddec(cvrun* run, int h) {
  int v = 0;
  bool any = false;
  for (int c; (c = cvsgetc(run, h)) >= 0;) {
    if (c == COM_US) break;
    if (c == COM_RS) {
      cvsungetc(run, h, c);
      break;
    }
    if (c >= '0' && c <= '9') v = v * 10 + (c - '0'), any = true;
  }
  return any ? v : -1;
}

int fieldhex(cvrun* run, int h) {
  int v = 0;
  for (int c; (c = cvsgetc(run, h)) >= 0;) {
    if (c == COM_US) return v;
    if (c == COM_RS) {
      cvsungetc(run, h, c);
      return v;
    }
    if (c >= '0' && c <= '9') v = v * 16 + (c - '0');
    else if (c >= 'A' && c <= 'F') v = v * 16 + (c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') v = v * 16 + (c - 'a' + 10);
  }
  return v;
}

// The rest of a record through its matching RS: copied, or skipped.
void recrest(cvrun* run, int h, bool copy) {
  int depth = 1;
  for (int c; (c = cvsgetc(run, h)) >= 0;) {
    if (copy) cvsputc(run, run->out, c);
    if (c == COM_ESC) depth++;
    if (c == COM_RS && --depth == 0) return;
  }
}

// The code of the record whose ESC was just read; -1 at a damaged head.
int rechead(cvrun* run, int h) {
  char code[4] = {};
  if (cvsgetc(run, h) != COM_GS) return -1;
  for (int i = 0; i < 3; i++) {
    int c = cvsgetc(run, h);
    if (c < 0) return -1;
    code[i] = static_cast<char>(c);
  }
  return comcodepack(code);
}

void reccopy(cvrun* run, int h, int code) {
  cwrecbeg(run, code);
  // cwrecbeg wrote the head; the fields and RS follow as they are.
  recrest(run, h, true);
}

bool opens(int code) { return code == 15873 || code == 20934 || code == 28872 || code == 29896; }

// A box, note, header or footer through its end record, unchanged.
void copysub(cvrun* run, int h, int open) {
  int end = open == 15873 ? 6657 : open == 20934 ? 14533 : 24776;
  for (int c; (c = cvsgetc(run, h)) >= 0;) {
    if (c != COM_ESC) {
      cvsputc(run, run->out, c);
      continue;
    }
    int code = rechead(run, h);
    if (code < 0) return;
    reccopy(run, h, code);
    if (opens(code)) copysub(run, h, code);
    if (code == end) return;
  }
}

// ---------------------------------------------------------------- the grid

void snap(cwgriddef* defs) {
  for (cwgriddef* a = defs; a; a = a->next)
    for (cwgriddef* b = a->next; b; b = b->next) {
      int ib = 0, lastb = b->n - 2;
      for (int ia = 0; ia <= a->n - 2 && ib <= lastb;) {
        int av = a->r[ia], bv = b->r[ib];
        int diff = std::abs(av - bv);
        if (diff > 0 && diff < kfit) {
          bool set = ib == lastb || std::abs(b->r[ib + 1] - av) >= kfit;
          if (set) b->r[ib] = av;
          ib++;
          if (set) ia++;
        } else if (bv >= av) {
          ia++;
        } else {
          ib++;
        }
      }
    }
}

// The common grid's column edges; its column count, or -1 when the tables do
// not fit one grid.
int buildgrid(cwgriddef* defs, int32_t* gl, int32_t* gr) {
  int count = 0;
  for (cwgriddef* d = defs; d; d = d->next) {
    if (d->n < 1) return -1;
    count++;
  }
  if (count < 2) return -1;
  int minl = defs->l[0], maxr = defs->r[defs->n - 1];
  bool differed = false;
  for (cwgriddef* d = defs; d->next; d = d->next) {
    const cwgriddef* e = d->next;
    if (std::abs(d->l[0] - e->l[0]) > kfit || std::abs(d->r[d->n - 1] - e->r[e->n - 1]) > kfit) return -1;
    if (e->l[0] != minl) differed = true;
    if (e->r[e->n - 1] != maxr) differed = true;
    if (e->l[0] < minl) minl = e->l[0];
    if (e->r[e->n - 1] > maxr) maxr = e->r[e->n - 1];
  }
  if (differed)
    for (cwgriddef* d = defs; d; d = d->next) {
      d->l[0] = minl;
      d->r[d->n - 1] = maxr;
    }
  snap(defs);
  int c = 0;
  gl[0] = defs->l[0];
  int end = defs->r[defs->n - 1];
  for (int d = 0, adjusted = 0; d < end;) {
    int best = 32767, nextleft = gl[c];
    for (cwgriddef* g = defs; g; g = g->next)
      for (int k = 0; k < g->n; k++)
        if (d < g->r[k] && g->r[k] < best) {
          best = g->r[k];
          if (k + 1 < g->n) nextleft = g->l[k + 1];
          break;
        }
    if (best == 32767) return -1;
    if (best < gl[c]) {
      // An edge left of the column's start: the start moves halfway back,
      // once; with no column before it there is nothing to move to.
      if (c == 0 || adjusted) return -1;
      gl[c] = gr[c - 1] + (best - gr[c - 1]) / 2;
      adjusted = 1;
      continue;
    }
    adjusted = 0;
    gr[c++] = best;
    if (c >= kmaxgrid) return -1;
    gl[c] = nextleft;
    d = best;
  }
  return c;
}

const cwgriddef* defat(cwgriddef* defs, int i) {
  const cwgriddef* d = defs;
  for (; d && d->next && i > 0; i--) d = d->next;
  return d;
}

int rightof(const cwgriddef* d, int j) {
  if (!d || d->n < 1) return 0;
  return d->r[j < d->n ? j : d->n - 1];
}

// Writes the collected records again on the grid.
void emit(cvrun* run, cwgriddef* defs, const int32_t* gl, const int32_t* gr, int c, int h) {
  cwrecbeg(run, 19587);
  cwparhex2(run, 0x0A);
  cwparint(run, c);
  for (int twips = 0; twips < 2; twips++)
    for (int i = 0; i < c; i++) {
      cwparuint(run, static_cast<unsigned>(twips ? gl[i] : (gl[i] + 72) / 144));
      cwparuint(run, static_cast<unsigned>(twips ? gr[i] : (gr[i] + 72) / 144));
      cwparuint(run, 0);
    }
  cwrecend(run);
  cwrecone(run, 13410);
  // The definition of the current table (one per table head), the cell
  // within the row, the grid column, the extra columns of the last cell and
  // its remembered fields; records of tables nested in cells are copied.
  int def = -1, j = 0, s = 0, m = 0, depth = 0;
  int kept[5] = {1, 0, 0, 2, 0};
  const cwgriddef* cur = nullptr;
  for (int ch; (ch = cvsgetc(run, h)) >= 0;) {
    if (ch != COM_ESC) {
      cvsputc(run, run->out, ch);
      continue;
    }
    int code = rechead(run, h);
    if (code < 0) break;
    if (code == 19587 && depth == 0) {
      cur = defat(defs, ++def);
      recrest(run, h, false);
    } else if (code == 13410) {
      if (depth++ == 0)
        recrest(run, h, false);
      else
        reccopy(run, h, code);
    } else if (code == 13413) {
      if (--depth <= 0) {
        depth = 0;
        recrest(run, h, false);
      } else {
        reccopy(run, h, code);
      }
    } else if (code == 15938 && depth == 1) {
      s = j = 0;
      int k = fielddec(run, h);
      cwrecbeg(run, 15938);
      if (k == c) {
        cwparint(run, k);
        recrest(run, h, true);
        continue;
      }
      cwparint(run, c);
      cwparint(run, fielddec(run, h));
      cwparint(run, fielddec(run, h));
      for (int i = 0; i < k; i++) {
        cwparhex4(run, static_cast<unsigned>(fieldhex(run, h)));
        for (int right = rightof(cur, i); s < c && gr[s] < right; s++) cwparhex4(run, 0);
        s++;
      }
      cwparint(run, 0);
      cwparint(run, 0);
      cwrecend(run);
      recrest(run, h, false);
      s = j = 0;
    } else if (code == 15458 && depth == 1) {
      fielddec(run, h);
      fielddec(run, h);
      int right = rightof(cur, j);
      int g = s;
      while (g < c - 1 && gr[g] < right) g++;
      cwrecbeg(run, 15458);
      cwparint(run, s + 1);
      cwparint(run, g - s + 1);
      for (int& v : kept) {
        v = fielddec(run, h);
        cwparint(run, v);
      }
      cwrecend(run);
      recrest(run, h, false);
      j++;
      m = g - s;
    } else if (code == 2152 && depth == 1) {
      recrest(run, h, false);
      cwrecone(run, 2152);
      for (int k = 0; k < m; k++) {
        cwdecrec(run, 15458, {s + k + 2, 1, kept[0], 1, kept[2], kept[3], kept[4]});
        cwrecone(run, 2152);
      }
      s += m + 1;
      m = 0;
    } else {
      reccopy(run, h, code);
      if (opens(code)) copysub(run, h, code);
    }
  }
  cwrecone(run, 13413);
}

}  // namespace

int cwgridadd(cvrun* run, int ncols) {
  (void)ncols;  // boundaries are counted as they come, at most 250
  cwgrids* g = grids(run);
  auto* d = g ? static_cast<cwgriddef*>(cvalloc(run, sizeof(cwgriddef))) : nullptr;
  if (!d) return -1;
  std::memset(d, 0, sizeof *d);
  if (g->last)
    g->last->next = d;
  else
    g->defs = d;
  g->last = d;
  return 0;
}

void cwgridcell(cvrun* run, int left, int right) {
  cwgrids* g = writer(run)->grids;
  cwgriddef* d = g ? g->last : nullptr;
  if (!d || d->n >= kmaxgrid) return;
  d->l[d->n] = left;
  d->r[d->n] = right;
  d->n++;
}

void cwgridopen(cvrun* run) {
  cwgrids* g = grids(run);
  if (!g || g->stream >= 0) return;
  g->stream = cvsscratch(run, 8192);
  if (g->stream >= 0 && cvpushout(run, g->stream) < 0) {
    // A full output stack counts the refused push; nothing pops the grid
    // stream now, so the count is taken back here, or a later pop of an
    // enclosing level would take it instead of its own stream.
    cvpopout(run);
    cvsclose(run, g->stream);
    g->stream = -1;
  }
}

void cwgridnest(cvrun* run, int depth) {
  cwgrids* g = grids(run);
  if (!g) return;
  bool save = g->nsaved == 0 || depth != g->saved[g->nsaved - 1].depth;
  if (!save || g->nsaved >= CW_NNEST) return;
  g->saved[g->nsaved++] = {g->defs, g->stream, g->nsaved == 0 ? depth : depth - 1};
  g->defs = g->last = nullptr;
  g->stream = -1;
}

int cwgridsaved(cvrun* run) {
  const cwgrids* g = writer(run)->grids;
  return g && g->nsaved > 0 ? g->saved[g->nsaved - 1].depth : -2;
}

void cwgridflush(cvrun* run) {
  cwgrids* g = writer(run)->grids;
  if (!g) return;
  if (g->stream >= 0) {
    int h = g->stream;
    cvpopout(run);
    cvsflush(run, h);
    cvsseek(run, h, 0);
    int32_t gl[kmaxgrid + 1], gr[kmaxgrid + 1];
    int c = buildgrid(g->defs, gl, gr);
    if (c > 0)
      emit(run, g->defs, gl, gr, c, h);
    else
      cvscopy(run, h, run->out);
  }
  cwgridfree(run);
}

void cwgridfree(cvrun* run) {
  cwstate* w = writer(run);
  cwgrids* g = w ? w->grids : nullptr;
  if (!g) return;
  freedefs(run, g->defs);
  g->defs = g->last = nullptr;
  if (g->stream >= 0) cvsclose(run, g->stream);
  g->stream = -1;
  if (g->nsaved > 0) {
    const cwgridsave& s = g->saved[--g->nsaved];
    g->defs = s.defs;
    g->last = s.defs;
    while (g->last && g->last->next) g->last = g->last->next;
    g->stream = s.stream;
  }
}
