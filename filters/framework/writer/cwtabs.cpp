// Tab stops: the tab table of the paragraph format kept sorted by position,
// the search for the next or previous stop from a line position, and the
// two records that describe a table: the stops with kinds and leaders, and a
// compact form with a bit map of positions in tenths of an inch.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

// What a table's positions are measured from in line positions.
int baseof(const cwtabtab& t, int lmar) { return t.mode == 0 ? lmar : 0; }

// The letter of a kind in record 12978.
int kindletter(int kind) {
  switch (kind) {
    case 1: return 'C';
    case 2: return 'R';
    case 3: return 'D';
    case 4: return 'V';
    default: return 'L';
  }
}

// The nibble of a kind in record 2702, for the high half of a byte.
unsigned kindnibble(int kind) {
  switch (kind) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 3;
    case 4: return 8;
    default: return 0;
  }
}

void sort(cwtabtab& t) {
  for (int i = 1; i < t.count; i++) {
    cwtabstop s = t.stops[i];
    int j = i;
    for (; j > 0 && cwtstopcmp(&t.stops[j - 1], &s) > 0; j--) t.stops[j] = t.stops[j - 1];
    t.stops[j] = s;
  }
}

bool sameleader(cvrun* run, const cwtabstop& a, const cwtabstop& b) {
  if (!a.leader || !b.leader) return !a.leader && !b.leader;
  int n = cvstrlen(run, a.leader, a.lenc);
  if (n != cvstrlen(run, b.leader, b.lenc)) return false;
  return cvstrncmp(run, a.leader, b.leader, n, a.lenc) == 1;
}

bool sametable(cvrun* run, const cwtabtab& a, const cwtabtab& b) {
  if (a.count != b.count || a.mode != b.mode) return false;
  // Stops alike byte for byte are the same stops (the leader the same too).
  if (std::memcmp(a.stops, b.stops, sizeof(cwtabstop) * a.count) == 0) return true;
  for (int i = 0; i < a.count; i++) {
    const cwtabstop &x = a.stops[i], &y = b.stops[i];
    if (x.pos != y.pos || x.kind != y.kind || !sameleader(run, x, y)) return false;
  }
  return true;
}

}  // namespace

int cwtstopcmp(const cwtabstop* a, const cwtabstop* b) { return a->pos - b->pos; }

// The stops beyond a table's count are always empty, so that freeing and
// copying a table touch only the stops in use.
void cwtstopfree(cvrun* run, cwtabtab* t) {
  for (int i = 0; i < t->count; i++)
    if (t->stops[i].leader) cvfree(run, t->stops[i].leader);
  std::memset(t->stops, 0, sizeof(cwtabstop) * t->count);
  t->count = 0;
  t->mode = 0;
}

void cwtstopcopy(cvrun* run, cwtabtab* to, const cwtabtab* from) {
  to->count = from->count;
  to->mode = from->mode;
  for (int i = 0; i < from->count; i++) {
    to->stops[i] = from->stops[i];
    to->stops[i].leader = from->stops[i].leader ? cvstrdup(run, from->stops[i].leader, from->stops[i].lenc) : nullptr;
  }
}

int cwtstopsame(cvrun* run, const cwtabtab* a, const cwtabtab* b) { return sametable(run, *a, *b) ? 1 : 0; }

void cwtstopclear(cvrun* run) {
  cwtstopfree(run, &writer(run)->para.tabs);
  cwparapend(run, CW_PTABS);
}

void cwtstopkind(cvrun* run, int mode) {
  cwtabtab& t = writer(run)->para.tabs;
  if (t.mode == mode) return;
  t.mode = mode;
  cwparapend(run, CW_PTABS);
}

int cwtstopins(cvrun* run, cwtabtab* t, int lmar, int pos, int kind, const char* leader, int lenc) {
  if (t->count >= CW_NTABS) return 0;
  if (static_cast<int64_t>(lmar) + pos < 0 || pos > writer(run)->page.width) return -1;
  cwtabstop* s = nullptr;
  for (int i = 0; i < t->count && !s; i++)
    if (t->stops[i].pos == pos) s = &t->stops[i];
  if (s && s->leader) cvfree(run, s->leader);
  if (!s) s = &t->stops[t->count++];
  *s = {pos, kind, leader ? cvstrdup(run, leader, lenc) : nullptr, lenc};
  sort(*t);
  return 0;
}

int cwtstopadd(cvrun* run, int pos, int kind, const char* leader, int lenc) {
  cwstate* w = writer(run);
  if (cwtstopins(run, &w->para.tabs, w->para.lmar, pos, kind, leader, lenc) < 0) return -1;
  cwparapend(run, CW_PTABS);
  return 0;
}

int cwtstopnext(cvrun* run, int pos, int dir, int* kind) {
  cwstate* w = writer(run);
  const cwtabtab& t = w->para.tabs;
  int base = baseof(t, w->para.lmar);
  auto at = [&](int i) {
    if (kind) *kind = t.stops[i].kind;
    return t.stops[i].pos + base;
  };
  int i = 0;
  while (i < t.count && t.stops[i].pos + base < pos) i++;
  if (dir == -1) return i == 0 ? 0 : at(i - 1);
  if (t.count == 0) return -1;
  if (t.count == 1) return t.stops[0].pos + base > pos ? at(0) : -1;
  // The last stop of the table is never a next stop.
  if (i >= t.count - 1) return -1;
  return t.stops[i].pos + base == pos ? at(i + 1) : at(i);
}

int cwtstopat(cvrun*, const cwtabtab* t, int pos, int* kind) {
  for (int i = 0; i < t->count; i++)
    if (t->stops[i].pos == pos) {
      if (kind) *kind = t->stops[i].kind;
      return 1;
    }
  return 0;
}

int cwtstopfind(cvrun* run, int pos, int* kind) { return cwtstopat(run, &writer(run)->para.tabs, pos, kind); }

void cwtstopchk(cvrun* run) {
  cwstate* w = writer(run);
  if (!cwtstopsame(run, &w->para.tabs, &w->paraw.tabs)) cwtstoprec(run);
}

void cwtstoprec(cvrun* run) {
  cwstate* w = writer(run);
  cwtabtab& t = w->para.tabs;
  sort(t);
  int base = baseof(t, w->para.lmar);
  // Stops left of the margin lead the table; the stop list leaves them out.
  int first = 0;
  while (first < t.count && t.stops[first].pos < 0) first++;
  cwrecbeg(run, 12978);
  cwparhex2(run, t.mode);
  cwparint(run, t.count - first);
  for (int i = first; i < t.count; i++) cwparint(run, t.stops[i].pos);
  for (int i = first; i < t.count; i++) {
    cvsputc(run, run->out, kindletter(t.stops[i].kind));
    cwendfield(run);
  }
  for (int i = first; i < t.count; i++) {
    cwstr(run, t.stops[i].leader, t.stops[i].lenc);
    cwendfield(run);
  }
  cwrecend(run);
  unsigned char map[32] = {};
  for (int i = 0; i < t.count; i++) {
    uint32_t c = static_cast<uint32_t>(t.stops[i].pos + base + 72) / 144;
    if (c <= 255) map[c / 8] |= static_cast<unsigned char>(0x80 >> (c % 8));
  }
  unsigned char kinds[20] = {};
  for (int i = 0; i < t.count && i < 40; i++) {
    unsigned n = kindnibble(t.stops[i].kind);
    kinds[i / 2] |= static_cast<unsigned char>(i % 2 == 0 ? n << 4 : n);
  }
  cwrecbeg(run, 2702);
  for (unsigned char b : map) cwparhex2(run, b);
  for (unsigned char b : kinds) cwparhex2(run, b);
  for (int i = 0; i < 40; i++) {
    const char* l = i < t.count ? t.stops[i].leader : nullptr;
    cwparhex2(run, !l ? 0 : t.stops[i].lenc == CW_ENCBYTE ? static_cast<unsigned char>(l[0]) : '.');
  }
  cwparint(run, t.count);
  for (int i = 0; i < t.count; i++) cwparint(run, t.stops[i].pos + base);
  cwrecend(run);
  w->para.sub &= ~CW_PTABS;
}
