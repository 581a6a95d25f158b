// The Word for DOS converter: writes the text bytes between the 128-byte
// header and the end of text the header gives, with the format's control
// characters as tabs and line ends, its line character and optional hyphen
// as output characters, and the rest in the output code page. Formatting is
// not converted. With a zone-file name set, zones are marked too (wdzone.h).
#include <cstdint>

#include "converters/formats/cvt.h"
#include "converters/formats/cvtline.h"
#include "converters/formats/wdzone.h"
#include "converters/runtime/cvtframe.h"

namespace {

constexpr int kreadsize = 16384;
constexpr int khdr = 128;
constexpr int klinechar = 0xC4;  // the line character of code page 437

enum hyphen { none, pending, graphic };

// The converter block (slot 19).
struct wdblk {
  int32_t status;     // the status the run ends with
  uint8_t zones;      // a zone-file name is set
  unsigned char *buf; // read buffer
  int32_t bufsize;
  int32_t textpos;    // file offset of the next text byte
  int32_t progstep;   // progress: a tick each time the counter reaches the step
  int32_t progcount;
  // The run's settings and state.
  cvtline line;       // line end and output code page
  int doccp;          // code page of the text bytes
  hyphen hy;
  wdzone z;           // the zone path's lists and style data
};

wdblk *blk(cxstate *st) { return static_cast<wdblk *>(st->wdblk); }


// The line character in the output code page, "-" where it has none.
void wdline(cxstate *st, const wdblk *b) {
  int c = b->line.codepage == 437 ? klinechar : cxcpconv(nullptr, 437, b->line.codepage, klinechar);
  cxputc2(st, c > 0 ? c : '-');
}

// wdchar: writes one text byte by the format's character rules.
void wdchar(cxstate *st, wdblk *b, int c) {
  if (b->hy == pending) {
    if (c < 0x80 || c == 0xFF)
      cxputc2(st, '-');
    else
      wdline(st, b);
  }
  if (c >= 0x20 && c <= 0x7E) {
    cxputc2(st, c);
    b->hy = none;
    return;
  }
  if (c < 0x20 || c == 0x7F) {
    b->hy = none;
    switch (c) {
      case 0x09: cxputc2(st, '\t'); break;
      case 0x0A: case 0x0B: case 0x0C: case 0x0E: cvteol(st, b->line); break;
      case 0x0F:
        wdline(st, b);
        b->hy = graphic;
        break;
      default: break;
    }
    return;
  }
  if (c == 0xFF) {
    cxputc2(st, ' ');
    b->hy = none;
    return;
  }
  if (c == klinechar && b->hy == none) {
    b->hy = pending;
    return;
  }
  int r = b->doccp == b->line.codepage ? c : cxcpconv(nullptr, b->doccp, b->line.codepage, c);
  cxputc2(st, r > 0 ? r : '_');
  b->hy = graphic;
}

// wdtext: writes the text from offset 128 up to the end of text, reading
// blocks of the read buffer's size; 0, or 2 when a read gives nothing.
int wdtext(cxstate *st, wdblk *b, int in, int64_t end) {
  for (int64_t pos = khdr; pos < end;) {
    int want = end - pos < b->bufsize ? static_cast<int>(end - pos) : b->bufsize;
    int got = cxread(st, in, b->buf, want);
    if (got <= 0) return CX_READERR;
    b->progcount += got;
    if (b->progcount >= b->progstep) {
      cxprogtick(st);
      b->progcount = 0;
    }
    for (int i = 0; i < got; i++) {
      if (b->zones) wdzbefore(st, &b->z, static_cast<int32_t>(pos + i));
      wdchar(st, b, b->buf[i]);
    }
    pos += got;
    b->textpos = static_cast<int32_t>(pos);
  }
  if (b->hy == pending) cxputc2(st, '-');
  b->hy = none;
  return 0;
}

// wdheader: the status a header of n bytes read calls for: 15 for a header
// that is not the standard one and starts with DB DB (an encrypted
// document); 9 for a file that does not begin as a document of this format
// does (its bytes written as text would not be text); else 0. An empty file
// is an empty document.
int wdheader(const unsigned char *h, int32_t n) {
  bool signature = (h[0] == 0x31 || h[0] == 0x32) && h[1] == 0xBE && h[2] == 0 && h[3] == 0 && h[4] == 0 &&
                   h[5] == 0xAB;
  bool standard = signature && (h[117] & 0xFC) == 0;
  if (!standard && h[0] == 0xDB && h[1] == 0xDB) return CX_CRYPT;
  return signature || n == 0 ? 0 : CX_NOTFMT;
}

void wdinit(void *block) {
  auto *b = static_cast<wdblk *>(block);
  b->bufsize = kreadsize;
  b->textpos = khdr;
}

} // namespace

cxstate *wdnewst() {
  static const cxblkspec blocks[] = {{19, sizeof(wdblk), wdinit}};
  return cxnewst(blocks, 1, wdfreest);
}

void wdfreest(cxstate *st) { cxfreest(st); }

int16_t cvtworddosst(cxstate *st, const char *inpath, const char *outpath) {
  return cvtframe(st, outpath, [&](char *closed) {
    wdblk *b = blk(st);
    cxprogbeg(st, cxfsize(st, inpath));
    b->line = cvtlineopts(st, "\r", 437);
    int in, out;
    cvtopen(st, inpath, &in, &out);
    if (st->mn->zonefile) {
      b->zones = 1;
      wdzsetup(st, &b->z, in, inpath);
      b->bufsize = 8192;
    }
    if (cxbufinit(st, -1, out, 4992) != 0) cxthrow(st, CX_NOMEM);
    b->buf = static_cast<unsigned char *>(cxalloc(st, static_cast<size_t>(b->bufsize)));
    if (!b->buf) cxthrow(st, CX_NOMEM);
    // A short file leaves zeros in the rest of the header.
    int32_t got = cxread(st, in, b->buf, khdr);
    if (got < 0) b->status = CX_READERR;
    b->progcount += khdr;
    const unsigned char *h = b->buf;
    if (!b->status) b->status = wdheader(h, got);
    if (!b->status) {
      int64_t end = static_cast<int64_t>(h[14] | h[15] << 8 | h[16] << 16) | static_cast<int64_t>(h[17]) << 24;
      b->doccp = h[126] | h[127] << 8;
      // A document that names no code page holds DOS text: code page 437.
      if (b->doccp == 0) b->doccp = 437;
      if (b->zones) wdzscan(st, &b->z, in, h);
      b->status = wdtext(st, b, in, end);
    }
    if (b->zones) wdzend(st, &b->z);
    cxfree(st, b->buf);
    b->buf = nullptr;
    cxbufend(st);
    cxclose(st, out);
    cxclose(st, in);
    cxprogend(st);
    *closed = 1;
    cxthrow(st, b->status);
  });
}

int16_t cvtworddos(const char *inpath, const char *outpath) { return cvtworddosst(wdnewst(), inpath, outpath); }
