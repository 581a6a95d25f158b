// The WordPerfect 5 document prefix: the chain of index blocks that lists
// the packets, the summary, the fonts from their descriptors and the name
// pool, and the styles, whose code parts are converted inline.
#include <cstring>

#include "filters/readers/wp/wp5.h"

namespace {

bool kept(uint32_t type) { return type == 1 || type == 2 || type == 7 || type == 8 || type == 15 || type == 21 || (type >= 256 && type <= 511); }

// Reads n bytes of the index; a short read ends the run with status 2.
void indexread(cvrun* run, unsigned char* b, int n) {
  if (cvsread(run, run->in, b, n) != n) wp5fatal(run, RDR_SHORT);
  convyield(run, n);
}

// The chain of index blocks. It ends at an entry of type 0, at a short
// read, at a block already visited, at an offset outside the prefix, or
// after as many blocks as the file could hold. A document whose area
// starts right after the header has no prefix.
void indexwalk(cvrun* run) {
  wp5state* s = wp5st(run);
  long maxblocks = s->filesize / 10 + 1;
  if (maxblocks > 4096) maxblocks = 4096;
  auto* seen = static_cast<uint32_t*>(cvalloc(run, sizeof(uint32_t) * static_cast<size_t>(maxblocks)));
  if (!seen) wp5fatal(run, RDR_NOMEM);
  long nseen = 0;
  wp5packet** tail = &s->packets;
  uint32_t at = s->indexoff;
  for (; s->docoff > 16;) {
    bool again = false;
    for (long i = 0; i < nseen; i++) again = again || seen[i] == at;
    // Blocks lie between the header and the document area: an offset
    // outside it (0 in a last block's link, for one) ends the chain.
    if (again || nseen == maxblocks || at < 16 || (s->docoff > 16 && at >= s->docoff)) break;
    seen[nseen++] = at;
    cvsseek(run, run->in, static_cast<long>(at));
    unsigned char h[10];
    indexread(run, h, 10);
    unsigned count = wp5getw(h + 2);
    if (wp5getw(h) == 0xFFFB && count > 0) count--;
    uint32_t next = wp5getl(h + 6);
    bool end = false;
    for (unsigned i = 0; i < count && !end; i++) {
      unsigned char e[10];
      indexread(run, e, 10);
      uint32_t type = wp5getw(e);
      if (type == 0) {
        end = true;
      } else if (kept(type)) {
        auto* p = static_cast<wp5packet*>(cvalloc(run, sizeof(wp5packet)));
        if (!p) continue;
        p->type = static_cast<int32_t>(type);
        p->length = wp5getl(e + 2);
        p->offset = wp5getl(e + 6);
        p->next = nullptr;
        *tail = p;
        tail = &p->next;
      }
    }
    if (end) break;
    at = next;
  }
  cvfree(run, seen);
}

void summary(cvrun* run) {
  wp5state* s = wp5st(run);
  wp5packet* p = wp5pktfind(run, 1);
  if (!p) return;
  static const struct {
    int c50, c51, index;
  } fields[] = {{26, 26, 6}, {41, 68, 8}, {0, 21, 20}, {40, 161, 0}, {40, 61, 1},
                {40, 61, 2}, {780, 781, 4}, {0, 161, 5}, {0, 161, 3}};
  cvsseek(run, run->in, static_cast<long>(p->offset));
  for (const auto& f : fields) {
    int count = s->version ? f.c51 : f.c50;
    if (count == 0) continue;
    if (char* str = wp5getstr(run, count)) {
      cwsummary(run, f.index, str, CW_ENC16);
      cvfree(run, str);
    }
  }
}

void courier(cvrun* run) {
  wp5state* s = wp5st(run);
  cvfontdesc d{};
  d.kind = 1;
  d.name = "Courier";
  d.vala = 1;
  d.family = 1;
  d.pitch = 0;
  d.enc = CW_ENCBYTE;
  d.dflt = 1;
  d.dfltsize = 240;
  cwfontdef(run, &d);
  if (s->nfonts == 0) s->nfonts = 1;
}

// The fonts of one packet; false when reading fonts has to stop.
bool fontpacket(cvrun* run, const wp5packet* p, const wp5packet* pool, int* read) {
  wp5state* s = wp5st(run);
  long count = static_cast<long>(p->length / 86);
  if (s->version) count--;
  if (count > s->filesize / 86) count = s->filesize / 86;
  cvsseek(run, run->in, static_cast<long>(p->offset));
  for (long i = 0; i < count; i++) {
    unsigned char e[86];
    if (cvsread(run, run->in, e, 86) != 86) return false;
    if (s->version && wp5getw(e) == 0xFFFF) break;
    long back = cvstell(run, run->in);
    auto* f = static_cast<wp5font*>(cvalloc(run, sizeof(wp5font)));
    if (!f) return false;
    std::memset(f, 0, sizeof *f);
    // Names are cut at 255 bytes.
    cvsseek(run, run->in, static_cast<long>(pool->offset + wp5getw(e + 18)));
    int n = 0;
    for (int c; n < 255 && (c = cwgetc(run)) > 0;) f->name[n++] = static_cast<char>(c);
    f->name[n] = 0;
    if (s->version)
      if (char* tt = std::strstr(f->name, "  (TT)")) *tt = 0;
    if (s->version)
      std::memcpy(f->desc, e + 23, 27);
    else
      std::memcpy(f->desc, e + 26, 24);
    cvfontdesc d{};
    d.kind = 1;
    char* w = cvwfroma(run, f->name);
    d.name = w;
    d.vala = 0;
    d.family = -1;
    d.pitch = -1;
    d.enc = CW_ENC16;
    d.dflt = *read == 0 ? 1 : 0;
    d.dfltsize = 240;
    if (w) {
      cwfontdef(run, &d);
      cvfree(run, w);
    }
    cvsseek(run, run->in, back);
    if (s->fonttail)
      s->fonttail->next = f;
    else
      s->fonts = f;
    s->fonttail = f;
    (*read)++;
  }
  return true;
}

void fonts(cvrun* run) {
  wp5state* s = wp5st(run);
  wp5packet* pool = wp5pktfind(run, 7);
  int read = 0;
  // Without a name pool no font can be named: the default stands alone.
  if (pool) {
    for (wp5packet* p = s->packets; p; p = p->next) {
      if (s->version ? p->type != 15 : p->type != 2 && p->type != 15) continue;
      if (!fontpacket(run, p, pool, &read)) break;
      if (!s->version) break;
    }
  }
  s->nfonts = read;
  if (read == 0) courier(run);
}

// Copies n bytes of the input into stream h.
void copyn(cvrun* run, int h, unsigned n) {
  for (unsigned i = 0; i < n; i++) {
    int c = cwgetc(run);
    if (c < 0) break;
    cvsputc(run, h, c);
  }
}

void runtext(cvrun* run, int h) {
  cvsseek(run, h, 0);
  if (cvpushin(run, h) < 0) return;
  wp5text(run);
  cvpopin(run);
}

void style(cvrun* run, const wp5packet* p) {
  wp5state* s = wp5st(run);
  cvsseek(run, run->in, static_cast<long>(p->offset));
  unsigned char h[21 + 1 + 55 + 1 + 10];
  if (cvsread(run, run->in, h, sizeof h) != static_cast<int>(sizeof h)) return;
  const unsigned char* name = h;
  if (h[0] == 0x7F) {
    if (h[3] == 0) return;  // an empty slot
    name = h + 3;
  }
  auto* st = static_cast<wp5style*>(cvalloc(run, sizeof(wp5style)));
  if (!st) return;
  std::memset(st, 0, sizeof *st);
  size_t n = 0;
  while (name + n < h + 21 && n < 20 && name[n]) n++;
  std::memcpy(st->name, name, n);
  st->kind = h[21] & 1 ? 0 : 1;
  st->number = h[77];
  unsigned len1 = wp5getw(h + 78), len2 = wp5getw(h + 82), len3 = wp5getw(h + 86);
  char* w = cvwfroma(run, st->name);
  cwstyledesc d{};
  d.version = 1;
  d.name = w;
  d.nameenc = CW_ENC16;
  d.kind = st->kind;
  d.selffmt = 1;
  st->key = cwstyledef(run, &d);
  if (w) cvfree(run, w);
  wp5style** tail = &s->styles;
  while (*tail) tail = &(*tail)->next;
  *tail = st;
  int sc = cvsscratch(run, 256);
  if (sc < 0) return;
  copyn(run, sc, len1);
  cwstyledefbeg(run, st->key);
  runtext(run, sc);
  cwstyledefsep(run);
  cvsclose(run, sc);
  sc = cvsscratch(run, 256);
  if (sc >= 0) {
    copyn(run, sc, len2 + len3);
    runtext(run, sc);
    cvsclose(run, sc);
  }
  cwstyledefend(run);
}

}  // namespace

wp5packet* wp5pktfind(cvrun* run, int type) {
  for (wp5packet* p = wp5st(run)->packets; p; p = p->next)
    if (p->type == type) return p;
  return nullptr;
}

int wp5prefix(cvrun* run) {
  wp5state* s = wp5st(run);
  indexwalk(run);
  summary(run);
  fonts(run);
  for (wp5packet* p = s->packets; p; p = p->next)
    if (p->type >= 256 && p->type <= 511 && p->length != 0) style(run, p);
  wp5defaults(run);
  cvsseek(run, run->in, static_cast<long>(s->docoff));
  return 0;
}

char* wp5getstr(cvrun* run, int count) {
  auto* buf = static_cast<char*>(cvalloc(run, 2048));
  if (!buf) return nullptr;
  if (count > 1023) count = 1023;
  int n = 0, last = -1;
  auto put = [&](int hi, int lo) {
    buf[2 * n] = static_cast<char>(hi);
    buf[2 * n + 1] = static_cast<char>(lo);
    n++;
    last = hi << 8 | lo;
  };
  for (int i = 0; i < count; i++) {
    int c = cwgetc(run);
    if (c <= 0) break;
    if (c == 13 || c == 10) {
      if (last != ' ') put(0, ' ');
    } else if (c == 0xA9 || c == 0xAA || c == 0xAB) {
      put(0, '-');
    } else if (c == 0xC0) {
      int number = cwgetc(run), set = cwgetc(run);
      cwgetc(run);
      int cp = 0, b = 0, hi = -1, lo = -1;
      if (number >= 0 && set >= 0 && wp5charcp(run, set, number, &cp, &b) == 0 && cp != 0) {
        if (cvucsmap(run, cp, b, &hi, &lo) < 0 && cvunctab(run, cp, 1) == 0) cvucsmap(run, cp, b, &hi, &lo);
      }
      if (hi < 0 || (hi == 0xFF && lo == 0xFD))
        put(0, '_');
      else
        put(hi, lo);
    } else {
      put(0, c);
    }
  }
  if (n == 0) {
    cvfree(run, buf);
    return nullptr;
  }
  buf[2 * n] = buf[2 * n + 1] = 0;
  return buf;
}
