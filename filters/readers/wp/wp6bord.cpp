// WordPerfect 6 border, line and fill styles (packets of types 0x44, 0x42
// and 0x43) and the border functions of pages, characters and paragraphs
// that name them. A style packet is pushed as the input and read byte by
// byte; a packet that ends early leaves the remaining fields as they began.
#include <cstring>
#include <strings.h>

#include "filters/readers/wp/wp6.h"

namespace {

// Bytes of the pushed input, counted against a budget.
struct budget {
  cvrun* run;
  long left;
};

int byteof(budget* b) {
  if (b->left <= 0) return -1;
  b->left--;
  return cwgetc(b->run);
}

int wordof(budget* b) {
  int lo = byteof(b), hi = byteof(b);
  if (lo < 0 || hi < 0) return -1;
  return lo | hi << 8;
}

int sword(int w) { return w < 0 ? 0 : static_cast<int16_t>(w); }

void skipof(budget* b, long n) {
  for (long i = 0; i < n; i++)
    if (byteof(b) < 0) break;
}

// A style name of n bytes, 16-bit characters whose low bytes are kept.
void nameof(budget* b, long n, char* out, size_t cap) {
  size_t k = 0;
  for (long i = 0; i + 1 < n; i += 2) {
    int c = byteof(b);
    byteof(b);
    if (c > 0 && k + 1 < cap) out[k++] = static_cast<char>(c);
  }
  if (n & 1) byteof(b);
  out[k] = '\0';
}

void kinds(wp6bordrec* r, int t, int l, int b, int rt) {
  r->line[0] = t;
  r->line[1] = l;
  r->line[2] = b;
  r->line[3] = rt;
}

int tw(int v) { return v * 6 / 5; }

}  // namespace

int wp6linestyle(cvrun* run, int number, wp6bordrec* r) {
  wp6packet* p = number > 0 ? wp6findpkt(run, number) : nullptr;
  if (!p || p->type != 0x42 || !wp6pushpkt(run, p->offset, p->size)) return 0;
  budget b{run, static_cast<long>(p->size)};
  int k = wordof(&b);
  skipof(&b, 4L * (k < 0 ? 0 : k));
  skipof(&b, 6);
  int c = sword(wordof(&b));
  int kind = 0;
  if (c > 0) {
    char name[256];
    nameof(&b, c, name, sizeof name);
    kind = strcasecmp(name, "hairline") == 0 ? 7 : strcasecmp(name, "large dashed") == 0 ? 3 : 1;
  } else {
    static const int codes[12] = {1, 2, 3, 4, 5, 6, 6, 6, 8, 8, 5, 2};
    kind = c >= -11 ? codes[-c] : 0;
  }
  skipof(&b, 5);
  int m = byteof(&b);
  for (int i = 0; i < m; i++) {
    int s = wordof(&b);
    if (s < 3) break;
    skipof(&b, 5);
    int v[4];
    for (int& x : v) x = byteof(&b);
    if (v[3] >= 0) {
      for (int j = 0; j < 3; j++) r->rgb[j] = v[j];
      r->shade = v[3];
    }
    skipof(&b, s - 11);
  }
  wp6poppkt(run);
  return kind;
}

int wp6border(cvrun* run, wp6bordrec* r, long size) {
  std::memset(r, 0, sizeof *r);
  for (int i = 0; i < 4; i++) r->sp2[i] = -1;
  r->shade = 100;
  budget b{run, size};
  int n = wordof(&b);
  int lines[4] = {0, 0, 0, 0}, kept = 0;
  for (int i = 0; i < n; i++) {
    int v = wordof(&b);
    if (v < 0) break;
    if (kept < 4) lines[kept++] = v;
  }
  long q = wordof(&b);
  if (q < 0) return r->shade;
  budget qb{run, q < b.left ? q : b.left};
  long e = wordof(&qb);
  long skip = e > 2 ? 2 : e < 0 ? 0 : e;
  skipof(&qb, skip);
  e -= skip;
  int c = 0;
  bool named = false;
  if (e > 0) {
    c = sword(wordof(&qb));
    if (c > 0) {
      char name[256];
      nameof(&qb, c, name, sizeof name);
      named = true;
      static const struct {
        const char* name;
        int k[4];
        int rgb[3];
      } styles[] = {
          {"Hairline", {7, 7, 7, 7}, {-1}},       {"Shadow", {1, 1, 8, 8}, {-1}},
          {"Heavy Shadow", {5, 5, 8, 8}, {-1}},   {"Thin Right/Left", {0, 1, 0, 1}, {-1}},
          {"Thin Top/Bottom", {1, 0, 1, 0}, {-1}}, {"Thick Right/Left", {0, 5, 0, 5}, {-1}},
          {"Thick/Thin 2", {5, 5, 5, 5}, {-1}},   {"Thin/Thick 2", {1, 1, 1, 1}, {-1}},
          {"Thin Bottom", {0, 0, 1, 0}, {-1}},    {"Single Blue", {1, 1, 1, 1}, {0, 0, 255}},
          {"Single Red", {1, 1, 1, 1}, {255, 0, 0}}, {"Single Green", {1, 1, 1, 1}, {0, 255, 0}},
          {"Cyan Mat", {2, 2, 2, 2}, {0, 127, 127}}, {"Gray Mat", {2, 2, 2, 2}, {127, 127, 127}},
      };
      kinds(r, 1, 1, 1, 1);
      for (const auto& s : styles) {
        if (strcasecmp(s.name, name) != 0) continue;
        kinds(r, s.k[0], s.k[1], s.k[2], s.k[3]);
        if (s.rgb[0] >= 0)
          for (int j = 0; j < 3; j++) r->rgb[j] = s.rgb[j];
        break;
      }
    } else {
      switch (c) {
        case -1: kinds(r, 1, 1, 1, 1); break;
        case -2: case -14: kinds(r, 2, 2, 2, 2); break;
        case -3: kinds(r, 3, 3, 3, 3); break;
        case -4: kinds(r, 4, 4, 4, 4); break;
        case -5: case -6: kinds(r, 6, 6, 6, 6); break;
        case -9: kinds(r, 5, 0, 5, 0); break;
        case -13: kinds(r, 5, 5, 5, 5); break;
        default: kinds(r, 0, 0, 0, 0); break;
      }
    }
  }
  // The colour a side block without its own takes.
  int src[4] = {0, 0, 0, 100};
  if (!named) std::memcpy(src, r->rgb, 3 * sizeof(int)), src[3] = r->shade;
  long p = wordof(&qb);
  if (p < 0) return r->shade;
  budget pb{run, p - 2 < qb.left ? p - 2 : qb.left};
  int mask = byteof(&pb);
  if (!named && mask > 0) {
    wp6bordrec ls = *r;
    int next = 0;
    static const int side[4] = {1, 3, 0, 2};  // bits 0x01 left, 0x02 right, 0x04 top, 0x08 bottom
    for (int bit = 0; bit < 7; bit++) {
      if (!(mask >> bit & 1)) continue;
      if (next >= kept) break;
      int num = lines[next++];
      if (bit < 4) r->line[side[bit]] = wp6linestyle(run, num, &ls);
    }
    for (int j = 0; j < 3; j++) src[j] = ls.rgb[j];
    src[3] = ls.shade;
  }
  int flags = byteof(&pb);
  if (flags >= 0) {
    wordof(&pb);
    int sp[8];
    for (int& v : sp) v = sword(wordof(&pb));
    // Given left, right, top, bottom; kept top, left, bottom, right.
    static const int order[4] = {1, 3, 0, 2};
    for (int i = 0; i < 4; i++) {
      r->sp1[order[i]] = flags & 2 ? tw(sp[i]) : 0;
      r->sp2[order[i]] = flags & 2 ? tw(sp[4 + i]) : -1;
    }
    wordof(&pb);
  }
  int v[4];
  for (int& x : v) x = byteof(&pb);
  if (v[3] >= 0) {
    const int* from = flags >= 0 && flags & 1 ? v : src;
    for (int j = 0; j < 3; j++) r->rgb[j] = from[j];
    r->shade = from[3];
  }
  return r->shade;
}

int wp6fillstyle(cvrun* run, int* col, long size) {
  for (int i = 0; i < 6; i++) col[i] = 0;
  budget b{run, size};
  int k = wordof(&b);
  skipof(&b, 4L * ((k < 0 ? 0 : k) + 1));
  skipof(&b, 2);
  int c = sword(wordof(&b));
  if (c > 0) skipof(&b, 2L * c);
  long a = wordof(&b);
  if (a > 0) {
    byteof(&b);
    a -= 1;
  }
  for (int part = 0; part < 2 && a > 0; part++) {
    for (int j = 0; j < 3; j++) col[3 * part + j] = byteof(&b) & 0xFF;
    byteof(&b);
    a -= 4;
  }
  static const int pct[11] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 40};
  return c <= 0 && c >= -10 ? pct[-c] : 0;
}

// Reads a border-style packet into r; false when it is missing.
bool wp6readborder(cvrun* run, int number, wp6bordrec* r) {
  wp6packet* p = wp6findpkt(run, number);
  if (!p || !wp6pushpkt(run, p->offset, p->size)) return false;
  wp6border(run, r, static_cast<long>(p->size));
  wp6poppkt(run);
  return true;
}

// Reads a fill-style packet; its percentage, or -1 when it is missing.
int wp6readfill(cvrun* run, int number, int* col) {
  wp6packet* p = wp6findpkt(run, number);
  if (!p || !wp6pushpkt(run, p->offset, p->size)) return -1;
  int pct = wp6fillstyle(run, col, static_cast<long>(p->size));
  wp6poppkt(run);
  return pct;
}

int wp6bordfn(cvrun* run) {
  wp6state* s = wp6st(run);
  int code = s->key[0];
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  s = wp6st(run);
  unsigned flags = wp6b(f, 4), count = flags & 0x80 ? wp6b(f, 5) : 0;
  int border = flags & 0x80 ? static_cast<int16_t>(wp6w(f, 6)) : 0;
  int fill = flags & 0x80 && count >= 2 ? static_cast<int16_t>(wp6w(f, 8)) : 0;
  wp6bordrec r{};
  int col[6] = {0, 0, 0, 0, 0, 0}, pct = 0;
  bool ok = true;
  if (border != 0) ok = wp6readborder(run, border, &r);
  if (ok && fill != 0) {
    pct = wp6readfill(run, fill, col);
    ok = pct >= 0;
  }
  if (!ok) {
    wp6fnfree(run, f);
    return 0;
  }
  // The override items.
  unsigned at = count ? 22 + 2 * count : 26;
  unsigned oflags = wp6w(f, at + 2);
  unsigned p = at + 4;
  if (oflags & 0x8000) {
    unsigned size = wp6w(f, p), sub = wp6w(f, p + 2), q = p + 4;
    static const unsigned sizes[7] = {2, 2, 2, 8, 8, 7, 4};
    for (int i = 0; i < 7; i++) {
      unsigned bit = 0x8000u >> i;
      if (!(sub & bit)) continue;
      if (bit == 0x0200)
        for (int j = 0; j < 3; j++) r.rgb[j] = static_cast<int>(wp6b(f, q + static_cast<unsigned>(j)));
      q += sizes[i];
    }
    p += size > 4 ? size : 4;
  }
  if (oflags & 0x4000) {
    unsigned sub = wp6w(f, p + 2);
    if (sub & 0x8000)
      for (int j = 0; j < 3; j++) {
        col[j] = static_cast<int>(wp6b(f, p + 4 + static_cast<unsigned>(j)));
        col[3 + j] = static_cast<int>(wp6b(f, p + 8 + static_cast<unsigned>(j)));
      }
  }
  for (int side = 0; side < 4; side++) {
    int kind = border != 0 ? r.line[side] : 0;
    if (code == 0xD1) {
      cwpagebord(run, side, kind);
    } else if (code == 0xD2) {
      cwcharbord(run, side, kind);
    } else {
      cwparabord(run, side, kind);
      cwparabrgb(run, side, r.rgb[0], r.rgb[1], r.rgb[2]);
    }
  }
  cvshade sh{};
  bool write = false;
  if (pct != 0) {
    sh.v.pct = pct;
    for (int j = 0; j < 3; j++) {
      sh.v.c1[j] = col[j];
      sh.v.c2[j] = col[3 + j];
    }
    s->f.shadeset = 1;
    write = true;
  } else if (fill == 0 && s->f.shadeset) {
    s->f.shadeset = 0;
    write = true;
  }
  if (write) {
    if (code == 0xD1)
      cwpageshade(run, &sh);
    else if (code == 0xD2)
      cwcharshade(run, &sh);
    else
      cwparashade(run, &sh);
  }
  wp6fnfree(run, f);
  return 0;
}

namespace {

// The attributes of a bordered group's mask word, from its top bit down.
void paraattr(cvrun* run, unsigned mask, int on) {
  wp6state* s = wp6st(run);
  int ul = s->f.ulmode != 0;
  const struct {
    unsigned bit;
    int attr, kind;
  } rows[] = {
      {0x8000, CW_SMALLCAPS, 0}, {0x4000, CW_UNDERLINE, ul ? 1 : 0}, {0x2000, CW_STRIKE, 0},
      {0x1000, CW_BOLD, 500},    {0x0800, CW_UNDERLINE, ul ? 3 : 2}, {0x0400, CW_REVISION, 0},
      {0x0200, CW_SHADOW, 0},    {0x0100, CW_ITALIC, 0},           {0x0080, CW_OUTLINE, 0},
  };
  for (const auto& r : rows) {
    if (!(mask & r.bit)) continue;
    bool bold = r.bit == 0x1000, uline = r.bit == 0x4000 || r.bit == 0x0800;
    cwattr(run, r.attr, on, on || uline ? r.kind : (bold ? 0 : r.kind));
  }
}

}  // namespace

void wp6paraattron(cvrun* run, unsigned mask) { paraattr(run, mask, 1); }
void wp6paraattroff(cvrun* run, unsigned mask) { paraattr(run, mask, 0); }

int wp6linenum(cvrun* run) {
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  wp6state* s = wp6st(run);
  // Without the flags byte the fields stand 3 bytes earlier.
  unsigned at = wp6b(f, 4) ? 17 : 14;
  unsigned fl = wp6b(f, at), dist = wp6w(f, at + 1), start = wp6w(f, at + 3), low = wp6b(f, at + 5);
  cwlinedesc d{};
  d.mode = 2;
  d.bit0 = fl & 1 ? 1 : 0;
  d.bit1 = fl & 4 ? 0 : 1;
  d.bit2 = fl & 2 ? 1 : 0;
  d.low = static_cast<int32_t>(low);
  d.start = static_cast<int32_t>(start);
  d.interval = static_cast<int32_t>(dist * 6 / 5) + (fl & 0x80 ? s->f.lmar : 0);
  d.restart = s->f.linerestart;
  cwlinenum(run, &d);
  wp6fnfree(run, f);
  return 0;
}

int wp6bordgrp(cvrun* run) {
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  wp6state* s = wp6st(run);
  // Groups inside groups are read as plain text past a depth that could
  // otherwise exhaust the stack.
  if (s->grpdepth >= WP6_MAXPUSH) {
    wp6fnfree(run, f);
    return 0;
  }
  unsigned flags = wp6b(f, 4), k = flags & 0x80 ? wp6b(f, 5) : 0, o = 2 * k;
  int border = flags & 0x80 && k >= 2 ? static_cast<int>(wp6w(f, 8)) : 0;
  int fill = flags & 0x80 && k >= 3 ? static_cast<int>(wp6w(f, 10)) : 0;
  unsigned count = wp6b(f, 8 + o);
  unsigned mask = wp6w(f, 9 + o) & wp6w(f, 11 + o);
  int rgb[3] = {static_cast<int>(wp6b(f, 17 + o)), static_cast<int>(wp6b(f, 18 + o)), static_cast<int>(wp6b(f, 19 + o))};
  cwborddesc d{};
  d.kind = 1;
  d.v[0] = static_cast<int32_t>(wp6w(f, 23 + o) * 100 + wp6w(f, 21 + o) / 655);
  d.v[1] = static_cast<int32_t>(wp6w(f, 27 + o) * 100 + wp6w(f, 25 + o) / 655);
  d.v[2] = static_cast<int32_t>(wp6w(f, 31 + o) / 655);
  wp6fnfree(run, f);
  if (fill > 0) {
    int col[6];
    int pct = wp6readfill(run, fill, col);
    d.v[3] = pct > 0 ? pct : 0;
  }
  if (border > 0) {
    wp6bordrec r{};
    if (wp6readborder(run, border, &r))
      for (int i = 0; i < 4; i++) d.side[i] = r.line[i];
  }
  s = wp6st(run);
  cwbordon(run, &d);
  bool recolour = rgb[0] != s->f.color[0] || rgb[1] != s->f.color[1] || rgb[2] != s->f.color[2];
  if (recolour) cwcolor(run, 1, rgb[0], rgb[1], rgb[2]);
  wp6paraattron(run, mask);
  s->grpdepth++;
  for (unsigned n = 0; count == 0 || n < count;) {
    int b = cwgetc(run);
    if (b < 0) break;
    convyield(run, 1);
    if (b >= 33 && b <= 127) {
      if (s->f.proc & 1) {
        if (b == 0x2D)
          cwspecial(run, 2);
        else
          cwputc(run, b);
      }
      n++;
    } else if (b >= 1 && b <= 32) {
      const wp6chrrow& c = wp6chartab[b - 1];
      if (wp6charout(run, c.set, c.number) == -1) cwputc(run, '_');
      n++;
    } else if (b == 0x80 && count == 0) {
      break;
    } else {
      wp6disp(run, b);
      s = wp6st(run);
      if (b == 0xCC) n++;
    }
  }
  s = wp6st(run);
  s->grpdepth--;
  wp6paraattroff(run, mask);
  if (recolour) cwcolor(run, 1, s->f.color[0], s->f.color[1], s->f.color[2]);
  cwbordoff(run);
  if (count == 0) cwputc(run, ' ');
  return 0;
}
