// WordPerfect 5 functions that carry text of their own or mark the text:
// headers and footers, notes, comments, inline text, graphics boxes with
// their captions and pictures (each text converted through a scratch stream
// by the reader's own text loop), fields and marks, note numbers and styles.
//
// The functions read byte by byte take their length L first and are always
// consumed to exactly L bytes after it, whatever their fields say: a text
// length that comes out negative is taken as 0, one that runs past the
// function is cut to it.
#include <cstring>

#include "filters/readers/wp/wp5.h"

namespace {

int tw(int v) { return cvsixfifth(v & 0xFFFF); }

// A function read byte by byte: its length and the bytes read of it so far.
struct fnread {
  cvrun* run;
  long len;
  long used;
};

// Reads L; false at the end of the input.
bool fnbegin(cvrun* run, fnread* f) {
  int lo = cwgetc(run);
  int hi = lo < 0 ? -1 : cwgetc(run);
  if (hi < 0) return false;
  *f = {run, lo | hi << 8, 0};
  return true;
}

int fnbyte(fnread* f) {
  if (f->used >= f->len) return 0;
  f->used++;
  int c = cwgetc(f->run);
  return c < 0 ? 0 : c;
}

int fnword(fnread* f) {
  int lo = fnbyte(f);
  return lo | fnbyte(f) << 8;
}

void fnskip(fnread* f, long n) {
  for (long i = 0; i < n && f->used < f->len; i++) fnbyte(f);
}

// The text of a function: `want` bytes (0 when negative), never reaching
// into the four closing bytes.
long fntextlen(const fnread* f, long want) {
  long room = f->len - f->used - 4;
  if (want > room) want = room;
  return want < 0 ? 0 : want;
}

// Copies n bytes of the function into a scratch stream; -1 without one
// (nothing read then), -2 when too deep (the bytes are passed over).
int fncopy(fnread* f, long n, int pagesize) {
  int h = wp5copy(f->run, n, pagesize);
  if (h != -1) f->used += n;
  return h;
}

// The rest of the function, its closing bytes included.
void fnend(fnread* f) { fnskip(f, f->len - f->used); }

// A scratch stream holding bytes of a group.
int scratchof(cvrun* run, const unsigned char* p, unsigned n, int pagesize) {
  if (wp5st(run)->depth >= WP5_MAXDEPTH) return -1;
  int h = cvsscratch(run, pagesize);
  if (h >= 0 && n > 0) cvswrite(run, h, p, static_cast<int>(n));
  return h;
}

// The length of the string at `at` before its zero byte or `end`.
unsigned zlen(const unsigned char* g, unsigned at, unsigned end) {
  unsigned n = 0;
  while (at + n < end && g[at + n]) n++;
  return n;
}

// A new 16-bit string of n bytes of a group.
char* wide(cvrun* run, const unsigned char* p, unsigned n) {
  auto* a = static_cast<char*>(cvalloc(run, n + 1));
  if (!a) return nullptr;
  std::memcpy(a, p, n);
  a[n] = 0;
  char* w = cvwfroma(run, a);
  cvfree(run, a);
  return w;
}

unsigned char* group(cvrun* run, unsigned need) {
  unsigned char* g = wp5grpread(run);
  if (wp5grpsize(g) < need) {
    wp5grpfree(run, g);
    return nullptr;
  }
  return g;
}

// The offset of a group's closing length word.
unsigned closing(const unsigned char* g) {
  unsigned end = wp5getw(g + 2);
  return end < 4 ? 4 : end;
}

}  // namespace

// ---------------------------------------------------------------- headers, notes, comments

int wp5hdrftr(cvrun* run) {
  int sub = wp5st(run)->key[1];
  fnread f;
  if (!fnbegin(run, &f)) return 0;
  fnskip(&f, 7);
  int o = fnbyte(&f);
  fnskip(&f, 6);
  if (o != 0) {
    fnskip(&f, 4);
    int h = fncopy(&f, fntextlen(&f, f.len - 22), 1024);
    if (h == -1) return 0;
    if (h >= 0) {
      cwhfdesc d{};
      d.version = 1;
      d.which = sub == 0 ? 0 : sub == 1 ? 1 : 3;
      d.occur = o == 1 ? 3 : o == 2 ? 1 : o == 4 ? 2 : 0;
      d.v4 = 1;
      if (sub > 1) {
        cwfootbeg(run, &d);
        wp5convert(run, h);
        cwfootend(run);
      } else {
        cwheadbeg(run, &d);
        wp5convert(run, h);
        cwheadend(run);
      }
    }
  } else {
    cwhfstop(run, sub);
  }
  fnend(&f);
  return 0;
}

int wp5footnote(cvrun* run) {
  fnread f;
  if (!fnbegin(run, &f)) return 0;
  int b = fnbyte(&f);
  int number = fnword(&f);
  int c = fnbyte(&f);
  fnskip(&f, 2 * (c + 1) + 4 + 1 + 4);
  int h = fncopy(&f, fntextlen(&f, f.len - 2L * c - 19), 1024);
  if (h == -1) return 0;
  cwnotenum(run, b & 0x80 ? 2 : 0, number, CW_ENCBYTE);
  if (h >= 0) {
    cwftnbeg(run);
    wp5convert(run, h);
    cwftnend(run);
  }
  fnend(&f);
  return 0;
}

int wp5endnote(cvrun* run) {
  fnread f;
  if (!fnbegin(run, &f)) return 0;
  fnskip(&f, 7);
  int h = fncopy(&f, fntextlen(&f, f.len - 11), 1024);
  if (h == -1) return 0;
  if (h >= 0) {
    cwednbeg(run);
    wp5convert(run, h);
    cwednend(run);
  }
  fnend(&f);
  return 0;
}

int wp5comment(cvrun* run) {
  fnread f;
  if (!fnbegin(run, &f)) return 0;
  fnskip(&f, 3);
  int h = fncopy(&f, fntextlen(&f, f.len - 7), 1024);
  if (h == -1) return 0;
  if (h >= 0) {
    cwcmtbegin(run);
    wp5convert(run, h);
    cwcmtend(run);
  }
  fnend(&f);
  return 0;
}

int wp5inltext(cvrun* run) {
  fnread f;
  if (!fnbegin(run, &f)) return 0;
  // Without a scratch stream the function is read and dropped.
  fnskip(&f, 2);
  wp5convert(run, fncopy(&f, fntextlen(&f, f.len - 6), 512));
  fnend(&f);
  return 0;
}

int wp5notenum(cvrun* run) {
  int sub = wp5st(run)->key[1];
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  cwnotenum(run, sub == 3 ? 2 : 0, static_cast<intptr_t>(wp5getw(g + 6)), CW_ENCBYTE);
  wp5grpfree(run, g);
  return 0;
}

// ---------------------------------------------------------------- fields and marks

int wp5field(cvrun* run) {
  int sub = wp5st(run)->key[1];
  unsigned char* g = wp5grpread(run);
  unsigned size = wp5grpsize(g);
  unsigned end = closing(g);
  if (end > size) end = size;
  cwfielddesc d{};
  d.version = 1;
  switch (sub) {
    case 0x00:
      if (size < 5) break;
      d.kind = g[4] & 0x20 ? 3 : 0;
      d.subtype = g[4] & 0xF;
      d.closed = 1;
      cwfldbeg(run, &d);
      break;
    case 0x01:
      cwfldend(run);
      break;
    case 0x03: {
      unsigned n1 = zlen(g, 4, end);
      unsigned at2 = 4 + n1 + 1;
      bool two = at2 < end;
      d.kind = 1;
      d.subtype = two ? 1 : 0;
      cwfldbeg(run, &d);
      unsigned from = two ? at2 : 4, n = two ? zlen(g, at2, end) : n1;
      for (unsigned i = 0; i < n; i++) cwputc(run, g[from + i]);
      cwfldend(run);
      break;
    }
    case 0x04: {
      if (size < 5) break;
      int t = g[4];
      d.kind = 2;
      d.subtype = t == 32 ? 0 : t;
      cwfldbeg(run, &d);
      unsigned n = 6 <= end ? zlen(g, 6, end) : 0;
      if (t == 32) {
        for (unsigned i = 0; i < n; i++) cwputc(run, g[6 + i]);
      } else if (6 + n + 1 < end) {
        int h = scratchof(run, g + 6 + n + 1, end - (6 + n + 1), 512);
        wp5convert(run, h);
      }
      cwfldend(run);
      break;
    }
    case 0x05:
      cwr13838(run);
      break;
    case 0x07: {
      if (size < 6) break;
      int kind = g[4] > 8 ? 0 : g[4];  // no kind above 8
      unsigned n = zlen(g, 5, end);
      unsigned at = 5 + n + 1;
      unsigned tn = at < end ? zlen(g, at, end) : 0;
      char* name = wide(run, g + 5, n);
      char* text = tn ? wide(run, g + at, tn) : nullptr;
      cwxrefdesc x{};
      x.version = 1;
      x.kind = 0;
      x.value = kind;
      x.target = name;
      x.text = text;
      x.enc = CW_ENC16;
      x.tstream = x.xstream = -1;
      cwxref(run, &x);
      if (name) cvfree(run, name);
      if (text) cvfree(run, text);
      break;
    }
    case 0x08: {
      if (size < 5) break;
      char* name = wide(run, g + 4, zlen(g, 4, end));
      cwxrefdesc x{};
      x.version = 1;
      x.kind = 3;
      x.target = name;
      x.enc = CW_ENC16;
      x.tstream = x.xstream = -1;
      cwxref(run, &x);
      if (name) cvfree(run, name);
      break;
    }
    default: {  // 09, 0A, 0B: file includes
      if (size < 8) break;
      unsigned n = zlen(g, 7, end);
      auto* name = static_cast<char*>(cvalloc(run, n + 1));
      if (!name) break;
      std::memcpy(name, g + 7, n);
      name[n] = 0;
      cwfileinc(run, name, CW_ENCBYTE, sub - 9);
      cvfree(run, name);
      break;
    }
  }
  wp5grpfree(run, g);
  return 0;
}

// ---------------------------------------------------------------- styles

int wp5namecmp(const char* a, size_t alen, const char* b, size_t blen) {
  size_t i = 0, j = 0;
  for (;;) {
    int x = i < alen ? static_cast<unsigned char>(a[i]) : 0, y = j < blen ? static_cast<unsigned char>(b[j]) : 0;
    if (x == 0 || y == 0) return x == y ? 0 : 1;
    if (x == 0xC0 || y == 0xC0) {
      // An extended character is one unit of four bytes, zeros and all.
      if (x != y || i + 4 > alen || j + 4 > blen || std::memcmp(a + i, b + j, 4) != 0) return 1;
      i += 4;
      j += 4;
      continue;
    }
    if (x != y) return 1;
    i++;
    j++;
  }
}

wp5style* wp5stylefind(cvrun* run, int number) {
  for (wp5style* t = wp5st(run)->styles; t; t = t->next)
    if (t->number == number) return t;
  return nullptr;
}

wp5style* wp5stylebyname(cvrun* run, const char* name, size_t max) {
  for (wp5style* t = wp5st(run)->styles; t; t = t->next)
    if (wp5namecmp(t->name, sizeof t->name, name, max) == 0) return t;
  return nullptr;
}

int wp5styleonoff(cvrun* run) {
  int sub = wp5st(run)->key[1];
  unsigned char* g = wp5grpread(run);
  unsigned size = wp5grpsize(g);
  wp5style* t = nullptr;
  switch (sub) {
    case 0:
      if (size > 13 && (t = wp5stylefind(run, g[13]))) cwstyleon(run, t->key);
      break;
    case 1:
      if (size > 22 && (t = wp5stylebyname(run, reinterpret_cast<const char*>(g + 22), size - 22)))
        cwstyleoff(run, t->key);
      break;
    case 2:
      if (size > 4 && (t = wp5stylefind(run, g[4]))) cwstyleon(run, t->key);
      break;
    default:
      cwstyleclose(run);
      break;
  }
  wp5grpfree(run, g);
  return 0;
}

// ---------------------------------------------------------------- graphics boxes

int wp5boxopts(cvrun* run) {
  wp5state* s = wp5st(run);
  int slot = s->key[1] - 5;
  unsigned char* g = group(run, 70);
  if (!g) return 0;
  unsigned w = wp5getw(g + 68);
  auto lim = [](unsigned v) { return v > 6 ? 0u : v; };
  unsigned b = lim(w >> 12 & 0xF) << 8 | lim(w >> 8 & 0xF) | lim(w >> 4 & 0xF) << 12 | lim(w & 0xF) << 4;
  if (slot >= 0 && slot < 5) {
    s->boxval[slot] = g[67];
    s->boxbord[slot] = static_cast<int32_t>(b);
  }
  wp5grpfree(run, g);
  return 0;
}

int wp5boxgetc(cvrun* run) {
  wp5state* s = wp5st(run);
  if (s->boxleft <= 0) return -1;
  s->boxleft--;
  return cvsgetc(run, run->in);
}

namespace {

// The data of a figure's graphic, handed to the object path.
void boxpict(cvrun* run, int index, const cwboxdesc* box, int y1, int y2) {
  wp5state* s = wp5st(run);
  wp5packet* p = wp5pktfind(run, 8);
  if (!p) return;
  long back = cvstell(run, run->in);
  cvsseek(run, run->in, static_cast<long>(p->offset));
  int n = wp5readw(run);
  if (index >= 0 && index < n && n <= s->filesize / 4) {
    uint32_t start = p->offset + 2 + 4 * static_cast<uint32_t>(n), size = 0;
    for (int i = 0; i < n; i++) {
      uint32_t v = static_cast<uint32_t>(wp5readl(run));
      if (i < index) start += v;
      if (i == index) size = v;
    }
    s->boxleft = static_cast<int32_t>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);
    cvsseek(run, run->in, static_cast<long>(start));
    int format = 606;
    auto* win = static_cast<unsigned char*>(cvalloc(run, 1024));
    if (win) {
      int got = cvsread(run, run->in, win, 1024);
      long data = -1;
      if (got > 0 && win[0] == 15) {
        for (long at = 0; at + 2 <= got;) {
          int type = win[at];
          long len = win[at + 1], hdr = 2;
          if (len == 255) {
            if (at + 4 > got) break;
            unsigned w = wp5getw(win + at + 2);
            if (w & 0x8000) {
              if (at + 6 > got) break;
              len = static_cast<long>((w & 0x7FFF)) << 16 | wp5getw(win + at + 4);
              hdr = 6;
            } else {
              len = w;
              hdr = 4;
            }
          }
          if (type == 25) break;
          if (type == 17 || type == 60) {
            long d = at + hdr + (type == 17 ? 8 : 24);
            if (d < got) data = d;
            break;
          }
          at += hdr + len;
        }
      }
      cvsseek(run, run->in, static_cast<long>(start) + (data >= 0 ? data : 0));
      if (data >= 0) {
        // The data run to the graphic's end, not past it into what follows.
        format = -1;
        s->boxleft = static_cast<uint32_t>(data) < size ? s->boxleft - static_cast<int32_t>(data) : 0;
      }
      cvfree(run, win);
      cwobjdesc o{};
      o.version = 1;
      o.value1 = 1;
      o.format = format;
      o.v4 = box->off1;
      o.v5 = box->off2;
      o.width = box->width;
      o.height = box->height;
      o.dwidth = y1;
      o.dheight = y2;
      o.getbyte = wp5boxgetc;
      o.inlined = 1;
      o.slot = -1;
      cwobject(run, &o);
    }
    s->boxleft = 0;
  }
  cvsseek(run, run->in, back);
}

}  // namespace

int wp5box(cvrun* run) {
  wp5state* s = wp5st(run);
  fnread f;
  if (!fnbegin(run, &f)) return 0;
  fnskip(&f, 2);
  int f1 = fnbyte(&f), f2 = fnbyte(&f);
  int w[13];
  for (int i = 1; i <= 12; i++) w[i] = tw(fnword(&f));
  fnword(&f);
  int x = tw(fnword(&f));
  fnword(&f);
  int y1 = tw(fnword(&f)), y2 = tw(fnword(&f));
  fnskip(&f, 10);
  int c = fnbyte(&f);
  int kind = 2, slot = 0;
  if (c == 0x08) {
    kind = 1;
    slot = 4;
  } else if (c == 0x10 || c == 0x11) {
    kind = 0;
    slot = 2;
  } else if (c == 0x40) {
    kind = 0;
    slot = 1;
  }
  char cname[22] = {};
  for (int i = 0; i < 21; i++) cname[i] = static_cast<char>(fnbyte(&f));
  fnskip(&f, 33);
  fnskip(&f, 6);
  int index = fnword(&f);
  fnskip(&f, 4);
  long lc = fnword(&f);
  // The caption, then (but for figures) the box text: whatever lies before
  // the closing bytes, the same layout in 5.0 and 5.1 documents.
  int cap = fncopy(&f, fntextlen(&f, lc), 1024);
  if (cap == -1) return 0;
  int text = -2;
  if (kind != 2) {
    long n = fntextlen(&f, f.len - f.used - 4);
    text = fncopy(&f, n, 1024);
    if (text == -1) {
      if (cap >= 0) cvsclose(run, cap);
      return 0;
    }
    if (text >= 0 && lc != 0 && n > 0) {
      cvsseek(run, text, n - 1);
      if (cvsgetc(run, text) != 10) {
        cvsseek(run, text, n);
        cvsputc(run, text, 10);
      }
    }
  }
  cwboxdesc d{};
  d.version = 1;
  d.boxkind = kind;
  d.anchor = (f1 & 3) == 3 ? 0 : f1 & 3;
  d.pos1 = (f1 >> 2 & 7) > 4 ? 0 : f1 >> 2 & 7;
  d.pos2 = f2 & 3;
  d.wrap = (f2 >> 2 & 3) == 3 ? 0 : f2 >> 2 & 3;
  d.flag = f2 & 0x80 ? 6 : 2;
  int fit = f2 >> 4 & 3;
  d.width = fit == 1 || fit == 3 ? 0 : w[1];
  d.height = fit == 3 ? 0 : w[2];
  d.off1 = w[3];
  d.off2 = w[4];
  d.dist[0] = w[11];
  d.dist[1] = w[9];
  d.dist[2] = w[12];
  d.dist[3] = w[10];
  for (int i = 0; i < 4; i++) d.lines[i] = s->boxbord[slot] >> (12 - 4 * i) & 0xF;
  d.val1 = x;
  d.val2 = s->boxval[slot];
  char* name = cname[0] ? cvwfroma(run, cname) : nullptr;
  d.name = name;
  d.nameenc = CW_ENC16;
  d.value = 1;
  d.more[0] = w[7];
  d.more[1] = w[5];
  d.more[2] = w[8];
  d.more[3] = w[6];
  cwboxbeg(run, &d);
  if (kind == 2)
    boxpict(run, index, &d, y1, y2);
  else
    wp5convert(run, text);
  wp5convert(run, cap);
  cwboxend(run);
  if (name) cvfree(run, name);
  fnend(&f);
  return 0;
}
