// Column sets: the definition record, the columned text between columns-on
// and columns-off in a sub-document of its own, and the breaks that move to
// the next column, whose width the line then follows.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kmaxcols = 250;

struct cwcolset {
  int32_t kind, ncols;
  int32_t opt[3];
  int32_t* left;
  int32_t* right;
  int32_t idx;            // the current column, from 0
  int32_t given;          // columns given so far
  cvshadevals shade;
};

}  // namespace

// The open column sets: the innermost, the enclosing ones, and the begins
// refused inside them, whose calls are ignored up to their ends.
struct cwcolsets {
  cwcolset* cur;
  cwcolset* saved[CW_NNEST];
  int32_t nsaved;
  int32_t over;
};

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

cwcolset* open(cvrun* run) {
  const cwcolsets* c = writer(run)->cols;
  return c && c->over == 0 ? c->cur : nullptr;
}

void freeset(cvrun* run, cwcolset* s) {
  if (!s) return;
  cwrelease(run, s->left);
  cwrelease(run, s->right);
  cvfree(run, s);
}

// The paragraph style ends as at a hard paragraph end.
void endstyle(cvrun* run) {
  cwstate* w = writer(run);
  if (w->curpara && w->curpara->kind != 1) {
    cwstyleend(run);
    w->curpara = nullptr;
  }
}

void gocolumn(cvrun* run, cwcolset* s, int idx) {
  s->idx = s->ncols > 0 ? idx % s->ncols : 0;
  writer(run)->para.linepos = 0;
  writer(run)->rightlimit = cwcolwidth(run);
}

}  // namespace

int cwcolbegin(cvrun* run, const cwcoldesc* d) {
  cwstate* w = writer(run);
  if (!w->cols) {
    w->cols = static_cast<cwcolsets*>(cvalloc(run, sizeof(cwcolsets)));
    if (!w->cols) return -1;
    std::memset(w->cols, 0, sizeof(cwcolsets));
  }
  cwcolsets* c = w->cols;
  auto refuse = [c]() {
    c->over++;
    return -1;
  };
  // A sixth nested set is refused rather than written over the innermost.
  if (c->over > 0 || (c->cur && c->nsaved >= CW_NNEST)) return refuse();
  int n = std::clamp(d->ncols, 0, kmaxcols);
  auto* s = static_cast<cwcolset*>(cvalloc(run, sizeof(cwcolset)));
  auto* l = static_cast<int32_t*>(cvalloc(run, sizeof(int32_t) * (n + 1)));
  auto* r = static_cast<int32_t*>(cvalloc(run, sizeof(int32_t) * (n + 1)));
  if (!s || !l || !r) {
    cwrelease(run, s);
    cwrelease(run, l);
    cwrelease(run, r);
    return refuse();
  }
  std::memset(s, 0, sizeof *s);
  std::memset(l, 0, sizeof(int32_t) * (n + 1));
  std::memset(r, 0, sizeof(int32_t) * (n + 1));
  if (!c->cur)
    cwcolreset(run);
  else
    c->saved[c->nsaved++] = c->cur;
  c->cur = s;
  s->kind = d->kind;
  s->ncols = n;
  std::memcpy(s->opt, d->opt, sizeof s->opt);
  s->left = l;
  s->right = r;
  return 0;
}

int cwcoladd(cvrun* run, int left, int right) {
  cwcolset* s = open(run);
  if (!s || s->given >= s->ncols) return -1;
  s->left[s->given] = left;
  s->right[s->given] = right;
  s->given++;
  return 0;
}

void cwcolemit(cvrun* run) {
  cwcolset* s = open(run);
  if (!s) return;
  endstyle(run);
  cwflushpending(run);
  int flags = (s->opt[0] == 1 ? 0x02 : 0) | (s->opt[1] != 0 ? 0x10 : 0) | (s->opt[2] != 0 ? 0x20 : 0);
  cwrecbeg(run, 19587);
  cwparhex2(run, flags);
  cwparint(run, s->ncols);
  for (int twips = 0; twips < 2; twips++)
    for (int i = 0; i < s->ncols; i++) {
      unsigned l = static_cast<unsigned>(s->left[i]), r = static_cast<unsigned>(s->right[i]);
      cwparuint(run, twips ? l : l / 144);
      cwparuint(run, twips ? r : r / 144);
      cwparuint(run, 0);
    }
  cwrecend(run);
  cwrecone(run, 13410);
  s->idx = 0;
  cwsubbegin(run, 10);
}

void cwcolbreak(cvrun* run) {
  cwcolset* s = open(run);
  if (!s) return;
  endstyle(run);
  cwrecone(run, 2152);
  gocolumn(run, s, s->idx + 1);
}

void cwcolsoft(cvrun* run) {
  cwcolset* s = open(run);
  if (!s) return;
  cwrecone(run, 12755);
  cwrecone(run, 2163);
  gocolumn(run, s, s->idx + 1);
}

void cwcolfirst(cvrun* run) {
  cwcolset* s = open(run);
  if (!s) return;
  endstyle(run);
  cwrecone(run, 7269);
  gocolumn(run, s, 0);
}

void cwcolend(cvrun* run) {
  cwcolsets* c = writer(run)->cols;
  if (c && c->over > 0) {
    c->over--;
    return;
  }
  cwcolset* s = open(run);
  if (!s) return;
  cwflushpending(run);
  endstyle(run);
  cwrecone(run, 13413);
  cwsubend(run);
  freeset(run, s);
  c->cur = nullptr;
  if (c->nsaved == 0) {
    cvdelcleanup(run, cwcolfree);
    return;
  }
  c->cur = c->saved[--c->nsaved];
  c->saved[c->nsaved] = nullptr;
}

void cwcolshade(cvrun* run, const cvshade* shade) {
  cwcolset* s = open(run);
  if (!s) return;
  s->shade = shade->v;
  if (s->shade.pct > 0) cwshaderec(run, 2, s->shade);
}

int cwcolwidth(cvrun* run) {
  const cwcolset* s = open(run);
  return s && s->idx < s->ncols ? s->right[s->idx] - s->left[s->idx] : 0;
}

int cwcolcurrent(cvrun* run) {
  const cwcolset* s = open(run);
  return s ? s->idx + 1 : 0;
}

void cwcolreset(cvrun* run) {
  cwcolsets* c = writer(run)->cols;
  if (c) {
    c->cur = nullptr;
    for (cwcolset*& s : c->saved) s = nullptr;
    c->nsaved = 0;
  }
  cvaddcleanup(run, cwcolfree);
}

void cwcolfree(cvrun* run) {
  cwstate* w = writer(run);
  cwcolsets* c = w ? w->cols : nullptr;
  if (!c) return;
  freeset(run, c->cur);
  c->cur = nullptr;
  while (c->nsaved > 0) {
    freeset(run, c->saved[--c->nsaved]);
    c->saved[c->nsaved] = nullptr;
  }
  c->over = 0;
}
