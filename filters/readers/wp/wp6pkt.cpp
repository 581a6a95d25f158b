// The WordPerfect 6 packet index: the packets the handlers use, the summary,
// the font list built from the font packets; loading a packet, and pushing
// one as the current input so that its text reads like the body's.
#include <cctype>
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

constexpr uint32_t kmaxload = 65536;
constexpr uint32_t kchunk = 10240;

bool kept(int type) {
  switch (type) {
    case 0x07: case 0x08: case 0x09: case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x0F:
    case 0x17: case 0x18: case 0x1B: case 0x30: case 0x31: case 0x40: case 0x41: case 0x42:
    case 0x43: case 0x44: case 0x69: case 0x6F: case 0x70:
      return true;
    default:
      return false;
  }
}

// The low bytes of n 16-bit characters, at most cap of them, ended by NUL.
void lowbytes(char* out, const unsigned char* p, unsigned n, unsigned cap) {
  if (n > cap) n = cap;
  for (unsigned i = 0; i < n; i++) out[i] = static_cast<char>(p[2 * i]);
  out[n] = '\0';
}

// Font names: entries of a name length at 22 and the name at 24.
void fontnames(cvrun* run, const unsigned char* p, uint32_t size, char* name) {
  int c = 0;
  for (uint32_t at = 0; at + 24 <= size;) {
    unsigned len = wp6get16(p + at + 22);
    if (len >= 257) {
      cvfree(run, name);
      wp6fatal(run, RDR_DAMAGED);
    }
    unsigned chars = len / 2;
    if (at + 24 + 2 * chars > size) break;  // a name cut by the packet's end
    if (len > 0) {
      lowbytes(name, p + at + 24, chars, 255);
      wp6fontnorm(name);
      if (wp6font* f = wp6fontfind(run, name, 32)) {
        f->index = c;
      } else {
        size_t n = std::strlen(name);
        auto* src = static_cast<wp6font*>(cvalloc(run, sizeof(wp6font) + n));
        if (!src) wp6fatal(run, RDR_NOMEM);
        std::memset(src, 0, sizeof *src);
        src->index = c;
        std::memcpy(src->name, name, n + 1);
        wp6fontadd(run, src, 1 + 32);
        cvfree(run, src);
      }
      c++;
    }
    at += 25 + 2 * chars;
  }
}

void fontdesc(cvrun* run, int k, const unsigned char* p, uint32_t size, char* name) {
  if (size < 24) return;
  unsigned family = wp6get16(p + 10), style = p[17], len = wp6get16(p + 22);
  if (len < 10) {
    static const char* const names[] = {"Times Roman", "Helvetica", "Gothic", "Prestige", "Symbol"};
    std::strcpy(name, family >= 2 && family <= 6 ? names[family - 2] : "Courier");
  } else {
    unsigned chars = len / 2;
    if (24 + 2 * static_cast<uint64_t>(chars) > size) chars = (size - 24) / 2;
    lowbytes(name, p + 24, chars, 255);
    wp6fontnorm(name);
  }
  size_t n = std::strlen(name);
  auto* src = static_cast<wp6font*>(cvalloc(run, sizeof(wp6font) + n));
  if (!src) wp6fatal(run, RDR_NOMEM);
  std::memset(src, 0, sizeof *src);
  src->packet = k;
  if (style & 0x0C && style & 0x30) {
    src->flaga = style & 0x08 ? 1 : 0;
    src->flagb = style & 0x10 ? 1 : 0;
  } else {
    src->flaga = src->flagb = -1;
  }
  std::memcpy(src->name, name, n + 1);
  wp6fontadd(run, src, 2 + 8 + 16 + 32);
  cvfree(run, src);
}

}  // namespace

int wp6index(cvrun* run) {
  wp6state* s = wp6st(run);
  auto* name = static_cast<char*>(cvalloc(run, 512));
  if (!name) return -1;
  int in = s->docin;
  unsigned char head[14];
  cvsseek(run, in, static_cast<long>(s->indexoff));
  if (cvsread(run, in, head, 14) != 14) {
    cvfree(run, name);
    wp6fatal(run, RDR_SHORT);
  }
  convyield(run, 14);
  if (head[0] != 2) {
    cvfree(run, name);
    wp6fatal(run, RDR_FORMAT);
  }
  unsigned n = wp6get16(head + 2);
  size_t bytes = static_cast<size_t>(n) * 14;
  auto* block = static_cast<unsigned char*>(cvalloc(run, bytes ? bytes : 1));
  if (!block) {
    cvfree(run, name);
    wp6fatal(run, RDR_NOMEM);
  }
  if (cvsread(run, in, block, static_cast<int>(bytes)) != static_cast<int>(bytes)) {
    cvfree(run, block);
    cvfree(run, name);
    wp6fatal(run, RDR_SHORT);
  }
  convyield(run, static_cast<int>(bytes));
  for (unsigned k = 1; k < n; k++) {
    const unsigned char* e = block + 14 * (k - 1);
    int type = e[1];
    if (type >= 0x82) break;
    uint32_t size = wp6get32(e + 6), off = wp6get32(e + 10);
    if (kept(type)) {
      auto* p = static_cast<wp6packet*>(cvalloc(run, sizeof(wp6packet)));
      if (!p) wp6fatal(run, RDR_NOMEM);
      *p = {s->packets, static_cast<int32_t>(k), type, off, size, e[0]};
      s->packets = p;
      continue;
    }
    if (type == 0x12) {
      s->sumoff = off;
      s->sumsize = size;
      continue;
    }
    if (type != 0x20 && type != 0x22 && type != 0x25 && type != 0x55) continue;
    unsigned char* p = wp6pktload(run, off, size);
    if (!p) continue;
    if (type == 0x20) {
      fontnames(run, p, size, name);
    } else if (type == 0x22) {
      for (uint32_t k2 = 0; 123 * (k2 + 1) <= size; k2++) {
        int32_t key = static_cast<int32_t>(k2);
        if (wp6font* f = wp6fontfind(run, &key, 1)) f->id = static_cast<int32_t>(wp6get16(p + 123 * k2 + 29));
      }
    } else if (type == 0x25) {
      if (size >= 6) {
        s->initpkt = static_cast<int32_t>(wp6get16(p + 2));
        s->initsize = static_cast<int32_t>(wp6get16(p + 4) * 2 / 5);
      }
    } else {
      fontdesc(run, static_cast<int>(k), p, size, name);
    }
    cvfree(run, p);
  }
  cvfree(run, block);
  cvfree(run, name);
  return 0;
}

unsigned char* wp6pktload(cvrun* run, uint32_t offset, uint32_t size) {
  unsigned char* p = size < kmaxload ? static_cast<unsigned char*>(cvalloc(run, size ? size : 1)) : nullptr;
  if (!p) {
    wp6pktskip(run, offset, size);
    return nullptr;
  }
  int in = wp6st(run)->docin;
  cvsseek(run, in, static_cast<long>(offset));
  if (cvsread(run, in, p, static_cast<int>(size)) != static_cast<int>(size)) {
    cvfree(run, p);
    wp6fatal(run, RDR_SHORT);
  }
  return p;
}

void wp6pktskip(cvrun* run, uint32_t offset, uint32_t size) {
  int in = wp6st(run)->docin;
  // A packet that claims more than the document holds is a short read.
  if (static_cast<uint64_t>(offset) + size > static_cast<uint64_t>(cvssize(run, in))) wp6fatal(run, RDR_SHORT);
  cvsseek(run, in, static_cast<long>(offset));
  unsigned char buf[kchunk];
  while (size > 0) {
    int want = static_cast<int>(size < kchunk ? size : kchunk);
    if (cvsread(run, in, buf, want) != want) wp6fatal(run, RDR_SHORT);
    size -= static_cast<uint32_t>(want);
  }
}

wp6packet* wp6findpkt(cvrun* run, int number) {
  for (wp6packet* p = wp6st(run)->packets; p; p = p->next)
    if (p->number == number) return p;
  return nullptr;
}

int wp6pushpkt(cvrun* run, uint32_t offset, uint32_t size) {
  wp6state* s = wp6st(run);
  // A packet already open, or one past the nesting limit, would convert
  // without end: it counts as missing instead.
  bool open = false;
  for (wp6push* q = s->pushed; q; q = q->next) open = open || q->offset == offset;
  if (open || s->npushed >= WP6_MAXPUSH) {
    s->missing = 1;
    return 0;
  }
  auto* p = static_cast<wp6push*>(cvalloc(run, sizeof(wp6push)));
  if (!p) wp6fatal(run, RDR_NOMEM);
  p->input = run->in;
  p->pos = cvstell(run, run->in);
  p->offset = offset;
  p->stream = cvsscratch(run, 1024);
  if (p->stream < 0) {
    cvfree(run, p);
    wp6fatal(run, RDR_NOMEM);
  }
  p->next = s->pushed;
  s->pushed = p;
  s->npushed++;
  cvsseek(run, s->docin, static_cast<long>(offset));
  // The copy stops at the end of the document stream.
  for (uint32_t i = 0; i < size; i++) {
    int c = cvsgetc(run, s->docin);
    if (c < 0) break;
    cvsputc(run, p->stream, c);
  }
  cvsseek(run, p->stream, 0);
  cvpushin(run, p->stream);
  return 1;
}

int wp6poppkt(cvrun* run) {
  wp6state* s = wp6st(run);
  wp6push* p = s->pushed;
  if (!p) return 1;
  cvpopin(run);
  cvsseek(run, run->in, p->pos);
  cvsclose(run, p->stream);
  s->pushed = p->next;
  s->npushed--;
  cvfree(run, p);
  return 1;
}

wp6font* wp6fontadd(cvrun* run, wp6font* src, int mask) {
  wp6state* s = wp6st(run);
  // " Regular" ends the name wherever it stands, in any case.
  for (char* c = src->name; *c; c++) {
    if (strncasecmp(c, " Regular", 8) == 0) {
      *c = '\0';
      break;
    }
  }
  size_t n = std::strlen(src->name);
  auto* f = static_cast<wp6font*>(cvalloc(run, sizeof(wp6font) + n));
  if (!f) wp6fatal(run, RDR_NOMEM);
  std::memset(f, 0, sizeof(wp6font) + n);
  f->packet = -1;
  if (mask & 1) f->index = src->index;
  if (mask & 2) f->packet = src->packet;
  if (mask & 4) f->id = src->id;
  if (mask & 8) f->flaga = src->flaga;
  if (mask & 16) f->flagb = src->flagb;
  if (mask & 32) std::memcpy(f->name, src->name, n + 1);
  *s->fonttail = f;
  s->fonttail = &f->next;
  return f;
}

wp6font* wp6fontfind(cvrun* run, const void* key, int mode) {
  for (wp6font* f = wp6st(run)->fonts; f; f = f->next) {
    int32_t v = 0;
    if (mode != 32) std::memcpy(&v, key, sizeof v);
    if ((mode == 1 && f->index == v) || (mode == 2 && f->packet == v) || (mode == 4 && f->id == v)) return f;
    if (mode == 32) {
      const char* k = static_cast<const char*>(key);
      if (std::strncmp(f->name, k, std::strlen(k)) == 0) return f;
    }
  }
  return nullptr;
}

char* wp6fontnorm(char* name) {
  char* d = name;
  while (*d && !std::isdigit(static_cast<unsigned char>(*d))) d++;
  if (*d) {
    char* e = d;
    while (*e && *e != ' ') e++;
    std::memmove(d, e, std::strlen(e) + 1);
  }
  size_t n = std::strlen(name);
  while (n > 0 && name[n - 1] == ' ') name[--n] = '\0';
  size_t lead = 0;
  while (name[lead] == ' ') lead++;
  if (lead) std::memmove(name, name + lead, n - lead + 1);
  return name;
}
