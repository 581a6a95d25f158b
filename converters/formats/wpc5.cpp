// The WordPerfect 5.x converter: the document area read strictly forward,
// characters copied, layout codes turned into spaces and line ends, extended
// characters mapped, and the text of headers, footers, notes and other
// text-bearing groups written inline. Groups come from outside: none is read
// past its own length (nor past the group holding it), and groups nested
// deeper than kmaxdepth are skipped, so no input can exhaust the stack.
#include <cstdint>

#include "converters/formats/cvt.h"
#include "converters/formats/wpc.h"
#include "converters/runtime/cvtframe.h"

namespace {

constexpr int kmaxdepth = 32;
constexpr int64_t knolimit = INT64_MAX;

wpc5blk *blk(cxstate *st) { return static_cast<wpc5blk *>(st->wpc5blk); }

void wpc5init(void *block) {
  auto *b = static_cast<wpc5blk *>(block);
  b->format = 7;
  b->codepage = 819;
  b->lemode = 3;
  b->version = "4";
}

// The next byte of the document area; -1 at its end, or at the end of the
// innermost group being read.
int wpc5get(cxstate *st) {
  wpc5blk *b = blk(st);
  if (b->eof || b->pos >= b->limit) return -1;
  int c = cxgetc2(st);
  if (c < 0) {
    b->eof = 1;
    return -1;
  }
  b->pos++;
  return c;
}

// Reads and drops n bytes; false when the input (or the group) ends first.
bool wpc5drop(cxstate *st, int64_t n) {
  for (; n > 0; n--)
    if (wpc5get(st) < 0) return false;
  return true;
}

void wpc5lineend(cxstate *st) {
  int m = blk(st)->lemode;
  if (m & 2) cxputc2(st, 13);
  if (m & 1) cxputc2(st, 10);
}

// Writes an extended character in the output code page; "_" where it has none.
void wpc5ext(cxstate *st, int set, int number) {
  int ch;
  int cp = wpc5charmap(st, set, number, &ch);
  int out = blk(st)->codepage;
  if (cp != out) ch = cxcpconv(nullptr, cp, out, ch);
  cxputc2(st, ch > 0 ? ch : '_');
}

void wpc5single(cxstate *st, int c) {
  switch (c) {
    case 0x0A: case 0x0C: wpc5lineend(st); break;
    case 0x0B: case 0x0D: case 0x8C: case 0x90: case 0xA0: cxputc2(st, ' '); break;
    case 0xA9: cxputc2(st, '-'); break;
    default: break;
  }
}

void wpc5fixed(cxstate *st, int c) {
  // Data bytes after each code 0xC0-0xCF.
  static const int kdata[16] = {3, 8, 10, 2, 2, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0};
  int n = kdata[c - 0xC0];
  if (c == 0xC0) {
    int number = wpc5get(st);
    int set = wpc5get(st);
    if (set < 0) return;
    wpc5ext(st, set, number);
    wpc5get(st);
    return;
  }
  if (c == 0xC1) {
    int d0 = wpc5get(st);
    if (d0 < 0) return;
    n--;
    bool space = (d0 & 0xC0) == 0;
    if ((d0 & 0xC0) == 0x40 || (d0 & 0xC0) == 0xC0) {
      int d1 = wpc5get(st);
      if (d1 < 0) return;
      n--;
      space = (d1 & 0x20) != 0;
    }
    if (space) cxputc2(st, ' ');
  } else if (c == 0xC2) {
    cxputc2(st, ' ');
  }
  wpc5drop(st, n);
}

// Writes the text of the group being read up to its last four bytes, which
// close it; codes inside it are handled as anywhere else.
void wpc5text(cxstate *st) {
  wpc5blk *b = blk(st);
  for (;;) {
    int c = wpc5get(st);
    if (c < 0 || b->limit - b->pos <= 3) return;
    if (c >= 0x20 && c <= 0x7F)
      cxputc2(st, c);
    else
      wpc5code(st, c);
  }
}

// The text of a group once the bytes ahead of it are read: a space first
// unless nospace, then the text inside zone.
void wpc5zonetext(cxstate *st, int zone, bool space) {
  if (space) cxputc2(st, ' ');
  cxzonemark(st, zone, 1);
  wpc5text(st);
  cxzonemark(st, zone, 0);
}

// Header and footer (0xD5): bytes 0-7, byte 7 telling whether text follows
// from byte 18.
void wpc5grpd5(cxstate *st, int len, int sub) {
  if (sub > 3 || !wpc5drop(st, 7)) return;
  int hastext = wpc5get(st);
  if (hastext < 0) return;
  if (hastext == 0) {
    cxputc2(st, ' ');
    return;
  }
  if (wpc5drop(st, 10)) wpc5zonetext(st, sub < 2 ? 1 : 2, true);
}

// Footnote and endnote (0xD6): byte 3 counts the 16-bit numbers ahead of the text.
void wpc5grpd6(cxstate *st, int len, int sub) {
  if (sub > 1 || !wpc5drop(st, 3)) return;
  int k = wpc5get(st);
  if (k >= 0 && wpc5drop(st, 2 * (k + 1) + 9)) wpc5zonetext(st, 3, true);
}

// Marks (0xD7): spans opened and closed by subfunctions 0 and 1, single
// marks written as a space.
void wpc5grpd7(cxstate *st, int len, int sub) {
  if (sub == 0 || sub == 1) {
    int kind = wpc5get(st);
    if (kind >= 0) cxzonemark(st, (kind & 0xF0) ? 5 : 6, sub == 0);
  } else if (sub == 3 || sub == 4) {
    cxzonemark(st, sub == 3 ? 7 : 8, 1);
    cxputc2(st, ' ');
    cxzonemark(st, sub == 3 ? 7 : 8, 0);
  }
}

// Comment (0xD9 subfunction 2): the text from byte 3.
void wpc5grpd9(cxstate *st, int len, int sub) {
  if (sub == 2 && wpc5drop(st, 3)) wpc5zonetext(st, 9, true);
}

// Box caption (0xDA subfunction 2): 115 bytes, a count m, m bytes, the text.
void wpc5grpda(cxstate *st, int len, int sub) {
  if (sub != 2 || !wpc5drop(st, 115)) return;
  int lo = wpc5get(st), hi = wpc5get(st);
  if (hi >= 0 && wpc5drop(st, lo | hi << 8)) wpc5zonetext(st, 4, false);
}

// Regions (0xDC): subfunction 0 starts one, 2 ends it.
void wpc5grpdc(cxstate *st, int len, int sub) {
  wpc5blk *b = blk(st);
  if (sub == 0) {
    cxputc2(st, ' ');
    if (b->zone10) cxzonemark(st, 10, 0);
    cxzonemark(st, 10, 1);
    b->zone10 = 1;
  } else if (sub == 2 && b->zone10) {
    cxzonemark(st, 10, 0);
    b->zone10 = 0;
  }
}

// A group: subfunction, 16-bit length L, L bytes. Its reader sees only those
// L bytes (fewer when the group holding it ends first); whatever it leaves
// is dropped.
void wpc5group(cxstate *st, int c) {
  wpc5blk *b = blk(st);
  int sub = wpc5get(st);
  int lo = wpc5get(st), hi = wpc5get(st);
  if (hi < 0) return;
  int len = lo | hi << 8;
  int64_t outer = b->limit;
  if (b->pos + len < b->limit) b->limit = b->pos + len;
  if (++b->depth <= kmaxdepth) {
    switch (c) {
      case 0xD5: wpc5grpd5(st, len, sub); break;
      case 0xD6: wpc5grpd6(st, len, sub); break;
      case 0xD7: wpc5grpd7(st, len, sub); break;
      case 0xD9: wpc5grpd9(st, len, sub); break;
      case 0xDA: wpc5grpda(st, len, sub); break;
      case 0xDC: wpc5grpdc(st, len, sub); break;
      default: break;
    }
  }
  b->depth--;
  wpc5drop(st, b->limit - b->pos);
  b->limit = outer;
}

// Reads the 16-byte header; the status it fails with, or 0 at the document area.
int wpc5check(cxstate *st, int in) {
  unsigned char *h = blk(st)->header;
  if (cxread(st, in, h, 16) != 16) return CX_NOTFMT;
  if (h[0] != 0xFF || h[1] != 'W' || h[2] != 'P' || h[3] != 'C') return CX_NOTFMT;
  if (h[8] != 1 || h[9] != 10) return CX_NOTFMT;
  // Major version 2 on is 6.x and later: another layout whose codes mean
  // other things, read here they would come out as bytes that are not text.
  if (h[10] >= 2) return CX_NOTFMT;
  if (h[12] != 0 || h[13] != 0) return CX_CRYPT;
  return 0;
}

}  // namespace

int wpc5header(cxstate *st, int in) {
  int status = wpc5check(st, in);
  if (status != 0) return status;
  const unsigned char *h = blk(st)->header;
  int32_t off = ccget32(st, h + 4, 0);
  // An offset that no seek reaches leaves no document area to read.
  if (cxseek(st, in, off, 0) != off) return CX_READERR;
  return 0;
}

int wpc5code(cxstate *st, int c) {
  int64_t start = blk(st)->pos - 1;
  if (c < 0xC0)
    wpc5single(st, c);
  else if (c < 0xD0)
    wpc5fixed(st, c);
  else
    wpc5group(st, c);
  return static_cast<int>(blk(st)->pos - start);
}

cxstate *wpc5newst() {
  static const cxblkspec blocks[] = {{15, sizeof(wpc5blk), wpc5init}};
  return cxnewst(blocks, 1, wpc5freest);
}

void wpc5freest(cxstate *st) { cxfreest(st); }

int16_t cvtwp5st(cxstate *st, const char *inpath, const char *outpath) {
  return cvtframe(st, outpath, [&](char *closed) {
    wpc5blk *b = blk(st);
    cxprogbeg(st, cxfsize(st, inpath));
    int in = cxopen2(st, inpath, 1);
    if (in < 0) cxthrow(st, CX_NOINPUT);
    wxset o;
    wxoptions(st, &o);
    b->lemode = o.lemode;
    b->codepage = o.codepage;
    b->lastcp = b->lastch = 0;
    b->zone10 = b->depth = b->eof = 0;
    b->pos = 0;
    b->limit = knolimit;
    int status = wpc5header(st, in);
    if (status != 0) {
      cxclose(st, in);
      cxthrow(st, status);
    }
    int out = cxopen2(st, st->nm->intfile, 2);
    if (out < 0) {
      cxclose(st, in);
      cxthrow(st, CX_NOOUTPUT);
    }
    status = cxbufinit(st, in, out, 8192);
    if (status != 0) {
      cxclose(st, out);
      cxclose(st, in);
      cxthrow(st, status);
    }
    cxzoneopen(st);
    cxzonemark(st, 0, 1);
    for (int c; (c = wpc5get(st)) >= 0;) {
      if (c >= 0x20 && c <= 0x7F)
        cxputc2(st, c);
      else
        wpc5code(st, c);
    }
    cxzonemark(st, 0, 0);
    cxzoneclose(st);
    cxbufend(st);
    cxclose(st, out);
    cxclose(st, in);
    cxprogend(st);
    *closed = 1;
    cxthrow(st, CX_OK);
  });
}

int16_t cvtwp5(const char *inpath, const char *outpath) { return cvtwp5st(wpc5newst(), inpath, outpath); }
