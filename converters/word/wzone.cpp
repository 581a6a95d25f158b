// The second pass of the Word 1.x/2.0 and Mac Word full readers: the
// intermediate records of the first pass read back into plain text, with
// the stretches that belong to headers, footers, footnotes, frames, entries,
// hidden text and table cells written to the zone file. Records that stand
// for text (line end, tab, a character of a code page) give that text;
// every other record is dropped with whatever it holds.
#include <cstring>
#include <string>

#include "converters/word/wfull.h"

namespace {

constexpr int ESC = 27, RS = 30, US = 31;

// Writes one line end in the settings' mode: 1 LF, 2 CR, 3 CR LF.
void lineend(cxstate* st, const wxset* x) {
  if (x->lemode != 1) cxputc(st, 13);
  if (x->lemode != 2) cxputc(st, 10);
}

// One text character of a Word 1.x/2.0 intermediate file.
void w2outchar(cxstate* st, const wxset* x, int c) {
  if (c >= 32 || c == 9) {
    cxputc(st, c);
    return;
  }
  switch (c) {
    case 11: case 12: case 13: case 14: lineend(st, x); return;
    case 7: cxputc(st, ' '); return;
    case 30: cxputc(st, '-'); return;
    case 31: return;
    default: {
      int v = cxcpconv(nullptr, 819, x->codepage, c);
      if (v >= 0) cxputc(st, v);
      return;
    }
  }
}

// One text character of a Mac Word intermediate file (Macintosh set).
void mwoutchar(cxstate* st, const wxset* x, int c) {
  switch (c) {
    case 11: case 12: case 13: lineend(st, x); return;
    case 7: case 202: cxputc(st, ' '); return;
    case 165: return;
    case 209: case 30: cxputc(st, '-'); return;
    case 210: case 211: cxputc(st, '"'); return;
    case 213: cxputc(st, '\''); return;
    default: break;
  }
  if (c >= 128) {
    int v = cxcpconv(nullptr, 9999, x->codepage, c);
    if (v >= 0) cxputc(st, v);
  } else if (c >= 32 || c == 9) {
    cxputc(st, c);
  }
}

void outchar(cxstate* st, const wxset* x, int mac, int c) {
  if (mac)
    mwoutchar(st, x, c);
  else
    w2outchar(st, x, c);
}

// The zone an entry's first field names: 6 contents, 7 index, 8 other.
int entryzone(int field) {
  if (field >= 0 && field <= 31) return 6;
  if (field >= 32 && field <= 63) return 7;
  return 8;
}

// The text held inside a record up to its RS: nested records are skipped
// whole, the field separators vanish, the RS is left for the record's end.
void recordtext(cxstate* st, const wxset* x, int mac) {
  for (;;) {
    int c = cxgetc(st);
    if (c == -1) return;
    if (c == RS) {
      cxpushback(st, RS);
      return;
    }
    if (c == ESC)
      cmskiptoken(st);
    else if (c != US)
      outchar(st, x, mac, c);
  }
}

// A character of a named code page (record 19576: the code page in
// decimal, the character in hex): written in the output code page. The
// first pass follows it with the character's code page 437 form for readers
// of that code page only (record 19573 or 24744, or one plain byte), which
// is skipped here, so the character is neither lost nor written twice.
void cpchar(cxstate* st, const wxset* x, int mac) {
  int cp = cmgetdec(st);
  int c = cmgethex(st);
  cmskiptoken(st);
  if (c > 0 && c < 256) {
    if (mac && cp == 9999) {
      mwoutchar(st, x, c);
    } else if (!mac && (c < 32 || cp == x->codepage)) {
      w2outchar(st, x, c);
    } else {
      int v = cxcpconv(nullptr, cp, x->codepage, c);
      if (v > 0)
        cxputc(st, v);
      else if (v == 0)
        cxputc(st, '_');
    }
  }
  if (cmpeek(st, WR_CHAR437) == 0 || cmpeek(st, WR_CTRL437) == 0) {
    for (int i = 0; i < 5; i++) cxgetc(st);
    cmskiptoken(st);
  } else {
    int b = cxgetc(st);
    if (b == ESC) cxpushback(st, b);  // another record: not a fallback byte
  }
}

}  // namespace

void wreadback(cxstate* st, wxset* x, int mac) {
  int lasthf = WR_HEADER;  // a header/footer end before any start closes zone 1
  bool cell = false;
  for (;;) {
    int c = cxgetc(st);
    if (c == -1) return;
    if (c != ESC) {
      outchar(st, x, mac, c);
      continue;
    }
    cxgetc(st);  // GS
    char code[3];
    for (char& k : code) k = static_cast<char>(cxgetc(st));
    switch (cmpack(code)) {
      case WR_TAB: outchar(st, x, mac, 9); break;
      case WR_LINEEND: outchar(st, x, mac, 13); break;
      case WR_HEADER: cxzonemark(st, 1, 1); lasthf = WR_HEADER; break;
      case WR_FOOTER: cxzonemark(st, 2, 1); lasthf = WR_FOOTER; break;
      case WR_HFEND: cxzonemark(st, lasthf == WR_HEADER ? 1 : 2, 0); break;
      case WR_FTNBEG: cxzonemark(st, 3, 1); break;
      case WR_FTNEND: cxzonemark(st, 3, 0); break;
      case WR_FRAMEBEG: cxzonemark(st, 4, 1); break;
      case WR_FRAMEEND: cxzonemark(st, 4, 0); break;
      case WR_CELLBEG: cxzonemark(st, 10, 1); cell = true; break;
      case WR_CELLEND:
        if (cell) cxzonemark(st, 10, 0);
        cell = false;
        break;
      case WR_HIDDENON: cxzonemark(st, 9, 1); break;
      case WR_HIDDENOFF: cxzonemark(st, 9, 0); break;
      case WR_HIDDEN:
        cxzonemark(st, 9, 1);
        recordtext(st, x, mac);
        cxzonemark(st, 9, 0);
        break;
      case WR_ENTRY:
        cxzonemark(st, entryzone(cmgethex(st)), 1);
        if (!mac) recordtext(st, x, mac);
        break;
      case WR_ENTRYEND: cxzonemark(st, entryzone(cmgethex(st)), 0); break;
      case WR_CHAR: cpchar(st, x, mac); continue;  // its record is already skipped
      default: break;
    }
    cmskiptoken(st);
  }
}

void wsecond(cxstate* st, int mac, const char* outpath, char* closed) {
  // The records move to a temporary name beside the output; the name is
  // listed with the run's temporary files, so that a pass that fails on
  // the way leaves nothing behind.
  std::string tmp(std::strlen(outpath) + 16, '\0');
  cctmpname(st, outpath, tmp.data());
  tmp.resize(std::strlen(tmp.c_str()));
  cctmpadd(st, tmp.c_str());
  cxunlink(st, tmp.c_str());  // the name was reserved as an empty file
  if (cxrename(st, outpath, tmp.c_str()) != 0) cxthrow(st, CX_NOOUTPUT);
  int in = cxopen2(st, tmp.c_str(), 1);
  if (in < 0) cxthrow(st, CX_NOOUTPUT);
  int out = cxopen2(st, outpath, 2);
  if (out < 0) {
    cxclose(st, in);
    cxthrow(st, CX_NOOUTPUT);
  }
  if (cxbufinit(st, in, out, 4096) != 0) cxthrow(st, CX_NOMEM);
  if (cxzoneopen(st) != 0) cxthrow(st, CX_NOOUTPUT);
  wxset* x = mac ? &static_cast<mwblk*>(st->mwblk)->x : &static_cast<w2blk*>(st->w2blk)->x;
  wxoptions(st, x);
  cxzonemark(st, 0, 1);
  wreadback(st, x, mac);
  cxzonemark(st, 0, 0);
  cxzoneclose(st);
  cxbufend(st);
  cxclose(st, out);
  cxclose(st, in);
  cxunlink(st, tmp.c_str());
  *closed = 1;
  cxthrow(st, CX_OK);
}
