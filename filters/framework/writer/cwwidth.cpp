// Character widths by font, size and style from two built-in proportional
// tables and a fixed-pitch rule (no font metrics reach this framework),
// with their caches; and small 8-bit string operations.
#include "filters/framework/writer/cw.h"

#include <cstring>

namespace {

// Widths in twips at 12 points of the first table (sans-serif faces).
const int16_t kwidth1[256] = {
    190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190,
    190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190,
    45,  45,  75,  105, 105, 180, 135, 45,  60,  60,  75,  105, 45,  60,  45,  60,
    105, 105, 105, 105, 105, 105, 105, 105, 105, 105, 45,  45,  105, 105, 105, 105,
    210, 135, 135, 135, 150, 135, 120, 150, 150, 45,  105, 120, 105, 165, 150, 150,
    135, 150, 150, 135, 135, 150, 135, 195, 120, 135, 120, 60,  60,  60,  105, 105,
    60,  120, 120, 105, 120, 120, 45,  120, 105, 45,  45,  105, 45,  165, 105, 120,
    120, 120, 60,  105, 45,  105, 105, 135, 90,  105, 90,  75,  45,  75,  135, 60,
    60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,
    60,  45,  45,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,  60,
    45,  45,  105, 105, 105, 105, 45,  105, 60,  120, 75,  105, 105, 60,  120, 105,
    60,  105, 60,  60,  60,  105, 105, 45,  60,  60,  75,  105, 135, 135, 135, 105,
    135, 135, 135, 135, 135, 135, 195, 135, 135, 135, 135, 135, 45,  45,  45,  45,
    135, 150, 150, 150, 150, 150, 150, 105, 150, 150, 150, 150, 150, 135, 135, 120,
    120, 120, 120, 120, 120, 120, 195, 105, 120, 120, 120, 120, 45,  45,  45,  45,
    120, 105, 120, 120, 120, 120, 120, 105, 120, 105, 105, 105, 105, 105, 120, 105,
};

// Widths in twips at 12 points of the second table (every other face).
const int16_t kwidth2[256] = {
    190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190,
    190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190, 190,
    60,  75,  75,  105, 105, 180, 165, 45,  75,  75,  105, 120, 60,  75,  60,  60,
    105, 105, 105, 105, 105, 105, 105, 105, 105, 105, 45,  60,  120, 120, 120, 90,
    195, 135, 120, 135, 150, 120, 120, 150, 135, 75,  90,  135, 120, 180, 150, 150,
    120, 150, 135, 120, 135, 135, 135, 195, 150, 135, 120, 75,  60,  75,  90,  105,
    60,  90,  105, 105, 105, 90,  75,  105, 105, 45,  45,  105, 45,  165, 105, 105,
    105, 105, 75,  90,  60,  105, 105, 165, 105, 105, 90,  105, 45,  105, 120, 165,
    165, 165, 75,  105, 90,  210, 105, 105, 75,  210, 120, 75,  180, 165, 165, 165,
    165, 75,  75,  90,  90,  60,  105, 210, 75,  195, 75,  75,  150, 165, 165, 150,
    60,  75,  105, 105, 105, 105, 45,  105, 75,  165, 60,  105, 120, 75,  165, 105,
    90,  120, 60,  60,  60,  120, 90,  60,  60,  60,  60,  105, 150, 165, 165, 75,
    150, 150, 150, 150, 150, 150, 180, 135, 135, 135, 135, 135, 75,  75,  75,  75,
    150, 150, 150, 150, 150, 150, 150, 120, 150, 150, 150, 150, 150, 150, 120, 105,
    90,  90,  90,  90,  90,  90,  135, 90,  90,  90,  90,  90,  60,  60,  60,  60,
    105, 105, 105, 105, 105, 105, 105, 120, 105, 105, 105, 105, 105, 105, 105, 105,
};

// Font families by a part of the name, in the order they are sought: 1 the
// first table, 2 fixed pitch; 0 (none matched) the second table.
const struct {
  const char* part;
  int family;
} kfamilies[] = {{"Helv", 1},    {"Arial", 1}, {"Swiss", 1},   {"Modern", 2},
                 {"Courier", 2}, {"Pica", 2},  {"MS Line", 2}};

constexpr int kdefault = 120;  // the width where no table answers

int familyof8(const char* name) {
  for (const auto& f : kfamilies)
    if (name && cvstristr(name, f.part)) return f.family;
  return 0;
}

// The family of a name: 16-bit names through their 8-bit form, single-byte
// names as they are; names in the double-byte sets take the second table.
int familyof(cvrun* run, const char* name, int enc) {
  if (enc == CW_ENCBYTE) return familyof8(name);
  if (enc != CW_ENC16) return 0;
  char* s = cvatow(run, name);
  int f = familyof8(s);
  if (s) cvfree(run, s);
  return f;
}

// The 256 widths of a family at a size (twentieths of a point).
void compute(cvrun* run, int32_t* tab, const char* name, int size, int style, int family) {
  if (cwhostmetrics(run, name, size, style, tab)) return;
  int scaled = size * 3 / 5;
  const int16_t* t = family == 1 ? kwidth1 : kwidth2;
  for (int c = 0; c < 256; c++) tab[c] = family == 2 ? scaled : scaled * t[c] / 144;
}

// A new cache entry with its table, or null.
cwwidthent* newent(cvrun* run) {
  auto* e = static_cast<cwwidthent*>(cvalloc(run, sizeof(cwwidthent)));
  if (!e) return nullptr;
  std::memset(e, 0, sizeof *e);
  e->tab = static_cast<int32_t*>(cvalloc(run, 256 * sizeof(int32_t)));
  if (!e->tab) {
    cvfree(run, e);
    return nullptr;
  }
  return e;
}

void freeent(cvrun* run, cwwidthent*& e) {
  if (!e) return;
  if (e->name) cvfree(run, e->name);
  cvfree(run, e->tab);
  cvfree(run, e);
  e = nullptr;
}

// An entry that becomes current ages every other one, once it has an age.
void makecurrent(cwstate* w, cwwidthent* e) {
  w->widthcur = e;
  if (e->age <= 0) return;
  for (cwwidthent* o : w->widths)
    if (o && o != e) o->age++;
}

// Names alike for the query cache: 16-bit and double-byte names exactly,
// single-byte names without ASCII case, any other encoding always.
bool samename(cvrun* run, const char* a, const char* b, int enc) {
  if (enc == CW_ENCBYTE) {
    if (!a || !b) return !a && !b;
    for (; *a && cvtoupper(static_cast<unsigned char>(*a)) == cvtoupper(static_cast<unsigned char>(*b)); a++, b++) {
    }
    return *a == *b;
  }
  if (enc == CW_ENC16) return (!a && !b) || cvwequal(run, a, b);
  if (enc >= CW_ENCSJIS && enc <= CW_ENCKSC) return cvstreq(run, a, b, enc) == 1;
  return true;
}

}  // namespace

int cwhostmetrics(cvrun*, const char*, int, int, int32_t*) { return 0; }

int cwstylebits(cvrun* run) {
  const cwcharfmt& c = run->writer->chr;
  return (c.attr[0].on ? 1 : 0) | (c.attr[3].on ? 2 : 0);
}

int cwwidthtab(cvrun* run, const char* name, int size, int style, int enc) {
  cwstate* w = run->writer;
  if (!w->widthcur) cvaddcleanup(run, cwwidthfree);
  for (cwwidthent* e : w->widths)
    if (e && e->size == size && e->style == style && e->enc == enc && cvstreq(run, e->name, name, enc)) {
      makecurrent(w, e);
      return 0;
    }
  cwwidthent* e = nullptr;
  for (cwwidthent*& slot : w->widths)
    if (!slot) {
      if (!(slot = newent(run))) return -1;
      e = slot;
      break;
    }
  if (!e) {
    // All taken: the first entry with an age, else the first.
    e = w->widths[0];
    for (cwwidthent* o : w->widths)
      if (o->age > 0) {
        e = o;
        break;
      }
    if (e->name) cvfree(run, e->name);
    e->name = nullptr;
  }
  compute(run, e->tab, name, size, style, familyof(run, name, enc));
  e->name = cvstrdup(run, name, enc);
  e->enc = enc;
  e->size = size;
  e->style = style;
  makecurrent(w, e);
  return 0;
}

int cwwidth(cvrun* run, int c) {
  cwstate* w = run->writer;
  if (c < 0 || c >= 256) return kdefault;
  if (!w->widthcur && w->font) cwwidthtab(run, w->font->name, w->size, cwstylebits(run), w->font->enc);
  return w->widthcur ? w->widthcur->tab[c] : kdefault;
}

int cwtextwidth(cvrun* run, const char* s) {
  cwstate* w = run->writer;
  if (!w->widthcur) return kdefault;
  int sum = 0;
  for (; s && *s; s++) sum += w->widthcur->tab[static_cast<unsigned char>(*s)];
  return sum;
}

int cwcharwidth(cvrun* run, const char* name, int enc, int size, int style, int c) {
  cwstate* w = run->writer;
  if (!w->query && !(w->query = newent(run))) return -1;
  cwwidthent* q = w->query;
  // The query entry has no age to keep: its age marks it filled.
  bool cached = q->age == 1 && q->size == size && q->style == style && q->enc == enc &&
                samename(run, q->name, name, enc);
  if (!cached) {
    char* copy = cvstrdup(run, name, enc);
    if (!copy && cvstrlen(run, name, enc) > 0) return -1;
    if (q->name) cvfree(run, q->name);
    q->name = copy;
    q->enc = enc;
    q->size = size;
    q->style = style;
    compute(run, q->tab, name, size, style, familyof(run, name, enc));
    q->age = 1;
  }
  return c >= 0 && c < 256 ? q->tab[c] : kdefault;
}

void cwwidthfree(cvrun* run) {
  cwstate* w = run->writer;
  if (!w) return;
  for (cwwidthent*& e : w->widths) freeent(run, e);
  freeent(run, w->query);
  w->widthcur = nullptr;
}

int cvtoupper(int c) { return convtoupper(c); }
int cvtolower(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

void cvstrupr(char* s) {
  for (; s && *s; s++) *s = static_cast<char>(cvtoupper(static_cast<unsigned char>(*s)));
}

void cvstrlwr(char* s) {
  for (; s && *s; s++) *s = static_cast<char>(cvtolower(static_cast<unsigned char>(*s)));
}

void cvp2cstr(const unsigned char* p, char* dst) {
  std::memcpy(dst, p + 1, p[0]);
  dst[p[0]] = '\0';
}

void cvc2pstr(const char* s, unsigned char* dst) {
  size_t n = std::strlen(s);
  dst[0] = static_cast<unsigned char>(n % 256);
  std::memcpy(dst + 1, s, n);
}

void cvstrrev(char* s) { convstrrev(s); }
