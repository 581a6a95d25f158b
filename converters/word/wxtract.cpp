// The text extractor of the Word converters: one routine for Word 1.x/2.0,
// Mac Word and Word 6, driven by a table of each format's header fields and
// its character filter. It finds the text through the piece table of a
// fast-saved file or as the range fcMin..fcMac-1 and interprets nothing else.
// Documents come from outside: every walk ends at the end of the input, no
// count read from the file sizes an allocation before it is checked against
// the file's size, and the bytes written never exceed the input's size.
#include "converters/word/word.h"

#include <cstring>

#include "converters/runtime/cvtframe.h"
#include "converters/runtime/df.h"

namespace {

constexpr int CR = 13, LF = 10;

// Where one header layout keeps the fields the extractor reads. The end of
// the text is either a position (fcmac) or fcMin plus the story lengths.
struct wxhead {
  int b0, b1;        // bytes 0 and 1 that name the layout
  int flagat;        // offset of the complex flag's byte
  int flagmask;      // its bit(s)
  int fcmin, fcmac;  // 32-bit positions; fcmac -1: the end comes from lens
  int lens[3];       // 32-bit story lengths summed after fcMin, -1 unused
  int fcclx;         // 32-bit position of the Clx
  int clxlen;        // the Clx length (16-bit, or 32-bit for Word 6)
};

// Layout 3 of Mac Word keeps fcMin, the story lengths and the Clx where its
// own header has them (fcMin at 120, lengths from 124, Clx at 114 and 118,
// fast-saved when byte 11 is set); the offsets of layouts 4 and 5 hold other
// fields there, and an independent reader finds the text of such files only
// at fcMin 120.
const wxhead kw2heads[] = {
    {0xDB, 0xA5, 10, 0x04, 24, 28, {-1, -1, -1}, 286, 290},
    {0x9B, 0xA5, 10, 0x04, 24, 28, {-1, -1, -1}, 274, 278},
    {-1, -1, 0, 0, 0, 0, {-1, -1, -1}, 0, 0}};
const wxhead kmwheads[] = {
    {0xFE, 0x37, 10, 0x20, 20, 24, {-1, -1, -1}, 172, 176},
    {0xFE, 0x34, 11, 0xFF, 120, -1, {124, 128, 132}, 114, 118},
    {-1, -1, 0, 0, 0, 0, {-1, -1, -1}, 0, 0}};
const wxhead kw6heads[] = {
    {0xDC, 0xA5, 10, 0x04, 24, 28, {-1, -1, -1}, 352, 356},
    {-1, -1, 0, 0, 0, 0, {-1, -1, -1}, 0, 0}};

// One variant of the extractor.
struct wxfmt {
  const wxhead* heads;  // layouts it accepts, ended by b0 -1
  int window;           // virtual-file window over the input
  int big;              // 16- and 32-bit values are big-endian
  int clx32;            // Clx and piece-table lengths are 32-bit
  int compound;         // the text lies in the "WordDocument" stream
  int progress;         // reports the input size and the first 1024 bytes
  int crlfend;          // a text ending in a lone CR gets its LF
  void (*filter)(cxstate* st, wxset* x, int c);
};

const wxfmt kw2 = {kw2heads, 5120, 0, 0, 0, 1, 1, w2xchar};
const wxfmt kmw = {kmwheads, 5120, 1, 0, 0, 1, 0, mwxchar};
const wxfmt kw6 = {kw6heads, 10240, 0, 1, 1, 0, 0, w6xchar};

// The input seen as bytes: chunks of the virtual file (or of the stream)
// with a position of its own. Positions outside the input read nothing.
struct wxsrc {
  cxstate* st;
  int vf;
  int compound;
  int big;
  int32_t size;
  int32_t pos;
  int32_t bufoff;
  int32_t buflen;
  unsigned char buf[4096];
};

// Loads the chunk at the position; false at the end or when it cannot be read.
bool wxfill(wxsrc* s) {
  if (s->pos < 0 || s->pos >= s->size) return false;
  int32_t n = s->size - s->pos;
  if (n > static_cast<int32_t>(sizeof s->buf)) n = sizeof s->buf;
  int32_t at = s->compound ? dfseek(s->st, s->vf, s->pos) : bfseek(s->st, s->vf, s->pos);
  int32_t got = at != s->pos ? -1
                : s->compound ? dfread(s->st, s->vf, s->buf, n)
                              : bfread(s->st, s->vf, s->buf, n);
  if (got != n) {
    // What cannot be read ends the input here.
    s->size = s->pos;
    s->buflen = 0;
    return false;
  }
  s->bufoff = s->pos;
  s->buflen = n;
  return true;
}

// The next byte 0-255, or -1 at the end of the input.
inline int wxgetc(wxsrc* s) {
  int32_t i = s->pos - s->bufoff;
  if (i < 0 || i >= s->buflen) {
    if (!wxfill(s)) return -1;
    i = 0;
  }
  s->pos++;
  return s->buf[i];
}

// Reads n bytes (2 or 4) into b; false when the input ends first.
bool wxgetn(wxsrc* s, unsigned char* b, int n) {
  for (int i = 0; i < n; i++) {
    int c = wxgetc(s);
    if (c < 0) return false;
    b[i] = static_cast<unsigned char>(c);
  }
  return true;
}

// A signed 16-bit value in the format's byte order.
bool wxget16(wxsrc* s, int32_t* v) {
  unsigned char b[2];
  if (!wxgetn(s, b, 2)) return false;
  *v = ccget16(s->st, b, s->big);
  return true;
}

// A 32-bit value in the format's byte order.
bool wxget32(wxsrc* s, int32_t* v) {
  unsigned char b[4];
  if (!wxgetn(s, b, 4)) return false;
  *v = ccget32(s->st, b, s->big);
  return true;
}

// Moves to pos; a position outside the input leaves it at the end (so that
// nothing is read from a wrong place) and gives false.
bool wxseek(wxsrc* s, int64_t pos) {
  if (pos < 0 || pos > s->size) {
    s->pos = s->size;
    return false;
  }
  s->pos = static_cast<int32_t>(pos);
  return true;
}

// A 32-bit header field at off; 0 when the input ends before it.
int32_t wxhdr32(wxsrc* s, int off) {
  int32_t v = 0;
  if (!wxseek(s, off) || !wxget32(s, &v)) return 0;
  return v;
}

// A 16-bit (signed) or 32-bit header field at off; 0 when the input ends before it.
int32_t wxhdrn(wxsrc* s, int off, int wide) {
  int32_t v = 0;
  if (!wxseek(s, off)) return 0;
  if (!(wide ? wxget32(s, &v) : wxget16(s, &v))) return 0;
  return v;
}

// The run of one extraction: its format, settings, input and output budget.
struct wxrun {
  cxstate* st;
  const wxfmt* f;
  wxset* x;
  wxsrc* src;
  int64_t budget;  // bytes the pieces may still pass through the filter
};

// Passes count bytes from file position fc through the filter; a piece
// outside the input, or the bytes beyond its end, contribute nothing.
void wxpiece(wxrun* r, int64_t fc, int64_t count) {
  if (count <= 0 || !wxseek(r->src, fc)) return;
  if (count > r->budget) count = r->budget;
  for (; count > 0; count--, r->budget--) {
    int c = wxgetc(r->src);
    if (c < 0) return;
    r->f->filter(r->st, r->x, c);
  }
}

// Writes the pieces of one piece table whose length L has been read.
// False when the table does not fit the input (the walk then ends).
bool wxpieces(wxrun* r, int32_t L, int64_t* total) {
  wxsrc* s = r->src;
  // A table shorter than its first position holds no piece, and one that
  // reaches past the end of the input is not a table: either ends the walk.
  if (L < 4) return false;
  int64_t n = (static_cast<int64_t>(L) - 4) / 12;
  if (4 + 12 * n > static_cast<int64_t>(s->size) - s->pos) return false;
  auto* cp = static_cast<int32_t*>(cxalloc(r->st, static_cast<size_t>(n + 1) * 4));
  auto* fc = static_cast<int32_t*>(cxalloc(r->st, static_cast<size_t>(n) * 4));
  bool ok = cp && fc;
  for (int64_t i = 0; ok && i <= n; i++) ok = wxget32(s, &cp[i]);
  for (int64_t i = 0; ok && i < n; i++) {
    int32_t skip;
    ok = wxget16(s, &skip) && wxget32(s, &fc[i]) && wxget16(s, &skip);
  }
  if (ok) {
    int32_t back = s->pos;
    for (int64_t i = 0; i < n; i++)
      wxpiece(r, fc[i], static_cast<int64_t>(cp[i + 1]) - cp[i]);
    wxseek(s, back);
    *total += 12 * n + (r->f->clx32 ? 9 : 7);
  }
  if (fc) cxfree(r->st, fc);
  if (cp) cxfree(r->st, cp);
  return ok;
}

// Walks the Clx from fcclx while the running total stays below its length.
// The walk ends at the end of the input and at any entry that would not
// move it forward.
void wxclx(wxrun* r, int32_t fcclx, int32_t clxlen) {
  wxsrc* s = r->src;
  if (!wxseek(s, fcclx)) return;
  int64_t total = 0;
  while (total < clxlen) {
    int type = wxgetc(s);
    if (type < 0) return;
    int32_t len;
    if (type != 2) {
      if (!wxget16(s, &len) || len < 0 || !wxseek(s, static_cast<int64_t>(s->pos) + len)) return;
      total += static_cast<int64_t>(len) + 3;
      continue;
    }
    if (!(r->f->clx32 ? wxget32(s, &len) : wxget16(s, &len))) return;
    if (!wxpieces(r, len, &total)) return;
  }
}

// Writes the bytes fcmin..fcmac-1.
void wxrange(wxrun* r, int64_t fcmin, int64_t fcmac) {
  wxsrc* s = r->src;
  if (!wxseek(s, fcmin)) return;
  for (int64_t at = fcmin; at < fcmac; at++) {
    int c = wxgetc(s);
    if (c < 0) return;
    r->f->filter(r->st, r->x, c);
  }
}

// The header layout named by bytes 0 and 1, or null (after reading only
// byte 0 when it names none).
const wxhead* wxlayout(const wxfmt* f, wxsrc* s) {
  int b0 = wxgetc(s);
  bool known = false;
  for (const wxhead* h = f->heads; h->b0 >= 0; h++) known = known || h->b0 == b0;
  if (!known) return nullptr;
  int b1 = wxgetc(s);
  for (const wxhead* h = f->heads; h->b0 >= 0; h++)
    if (h->b0 == b0 && h->b1 == b1) return h;
  return nullptr;
}

// The settings of a Word 6 run: at the head of the Word 6 block.
wxset* w6set(cxstate* st) { return static_cast<wxset*>(st->w6blk); }

// Converts one document with one variant of the extractor; ends the run.
[[noreturn]] void wxextract(cxstate* st, const wxfmt* f, wxset* x, const char* inpath,
                            const char* outpath, char* closed) {
  wxoptions(st, x);
  x->field = 0;
  x->fstream = -1;
  x->last = 0;
  if (f->progress) cxprogbeg(st, cxfsize(st, inpath));
  if (bfslots(st, 4, nullptr) != 0) cxthrow(st, CX_NOMEM);
  int vf;
  if (f->compound) {
    // A document that does not open as a compound document has no stream
    // to open either: the run ends here rather than look in no document.
    if (dfopenread(st, inpath, nullptr) < 0) cxthrow(st, CX_NOINPUT);
    vf = dfopenstream(st, "WordDocument", f->window);
  } else {
    vf = bfopen(st, inpath, f->window, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  if (vf < 0) cxthrow(st, CX_NOINPUT);
  cvtoutname(st, outpath);
  int out = cxopen2(st, st->nm->intfile, 2);
  if (out < 0) cxthrow(st, CX_NOOUTPUT);
  if (cxbufinit(st, -1, out, 5120) != 0) cxthrow(st, CX_NOMEM);
  if (f->progress) cxprogadd(st, 1024);

  auto* src = static_cast<wxsrc*>(cxalloc(st, sizeof(wxsrc)));
  if (!src) cxthrow(st, CX_NOMEM);
  src->st = st;
  src->vf = vf;
  src->compound = f->compound;
  src->big = f->big;
  src->size = f->compound ? dfsize(st, vf) : bfsize(st, vf);
  const wxhead* h = wxlayout(f, src);
  if (!h) cxthrow(st, CX_NOTFMT);

  int flags = 0;
  if (wxseek(src, h->flagat)) flags = wxgetc(src);
  bool complex = flags > 0 && (flags & h->flagmask) != 0;
  int64_t fcmin = wxhdr32(src, h->fcmin);
  int64_t fcmac = fcmin;
  if (h->fcmac >= 0) {
    fcmac = wxhdr32(src, h->fcmac);
  } else {
    for (int len : h->lens) fcmac += wxhdr32(src, len);
  }
  int32_t fcclx = wxhdr32(src, h->fcclx);
  int32_t clxlen = wxhdrn(src, h->clxlen, f->clx32);

  wxrun r{st, f, x, src, src->size};
  if (complex && clxlen != 0)
    wxclx(&r, fcclx, clxlen);
  else
    wxrange(&r, fcmin, fcmac);

  if (f->crlfend && x->lemode == 3 && x->last == CR) cxputc(st, LF);
  // A document that ends inside a field code leaves the code unwritten.
  if (x->fstream >= 0) cxsclose(st, x->fstream);
  x->fstream = -1;
  cxfree(st, src);
  cxbufend(st);
  cxclose(st, out);
  if (f->compound) {
    dfclosestream(st, vf);
    dfclose(st);
  } else {
    bfclose(st, vf);
  }
  bfcloseall(st);
  cxprogend(st);
  *closed = 1;
  cxthrow(st, CX_OK);
}

// Writes a byte of the Word 1.x/2.0 filter and remembers it.
inline void w2put(cxstate* st, wxset* x, int c) {
  cxputc(st, c);
  x->last = c;
}

// Writes the line end of the mode for a Word 6 or Mac Word line-end byte.
inline void wxlineend(cxstate* st, const wxset* x) {
  if (x->lemode != 1) cxputc(st, CR);
  if (x->lemode != 2) cxputc(st, LF);
}

// Takes a byte while a field code is being collected: the separator (20) or
// end (21) closes the code and writes the one character it stands for;
// any other byte joins the code. False when no field code is open.
bool wxfieldbyte(cxstate* st, wxset* x, int c) {
  if (!x->field) return false;
  if (c == 20 || c == 21) {
    x->field = 0;
    cxputc(st, w2xsymbol(st, x));
    if (x->fstream >= 0) cxsclose(st, x->fstream);
    x->fstream = -1;
  } else if (x->fstream >= 0) {
    // A code whose stream could not be opened is not collected: the field
    // then stands for a space.
    cxsputc(st, c, x->fstream);
  }
  return true;
}

// Opens the collection of a field code at a field begin (19).
void wxfieldbegin(cxstate* st, wxset* x) {
  x->field = 1;
  x->fstream = cxsopen(st, 1024);
}

}  // namespace

void wxoptions(cxstate* st, wxset* x, int defcp) {
  x->lemode = 3;
  x->codepage = defcp;
  const char* o = st->nm->optstr;
  size_t n = strnlen(o, sizeof st->nm->optstr);
  if (n < 2) return;
  switch (o[1]) {
    case 'x': case 'X': x->lemode = 1; break;
    case 'm': case 'M': x->lemode = 2; break;
    case 'a': case 'A': x->lemode = 3; break;
    default: break;
  }
  if (n < 6) return;
  static const struct {
    const char* digits;
    int codepage;
  } pages[] = {{"0437", 437}, {"0850", 850}, {"0819", 819},
               {"9999", 9999}, {"8591", 8591}, {"8592", 8592}};
  for (const auto& p : pages)
    if (cxstrncmp(nullptr, o + 2, p.digits, 4) == 0) {
      x->codepage = p.codepage;
      return;
    }
}

void w2xchar(cxstate* st, wxset* x, int c) {
  if (wxfieldbyte(st, x, c)) return;
  int m = x->lemode;
  if (m == 3 && c == LF && x->last != CR) w2put(st, x, CR);
  if (m == 3 && x->last == CR && c != LF) w2put(st, x, LF);
  if (c == 11 || c == 12 || c == 14) {
    if (m == 2 || m == 3) w2put(st, x, CR);
    if (m == 1 || m == 3) w2put(st, x, LF);
  } else if (c == 7 || c == 160) {
    w2put(st, x, ' ');
  } else if (c >= 32 || c == 9 || c == LF || c == CR) {
    if (!(c == CR && m == 1) && !(c == LF && m == 2)) w2put(st, x, c);
  } else if (c == 19) {
    wxfieldbegin(st, x);
  } else if (c == 30) {
    w2put(st, x, '-');
  }
}

void w6xchar(cxstate* st, wxset* x, int c) {
  if (wxfieldbyte(st, x, c)) return;
  if (c == 7 || c == 160)
    cxputc(st, ' ');
  else if (c >= 32 || c == 9)
    cxputc(st, c);
  else if (c == 11 || c == 12 || c == 13 || c == 14)
    wxlineend(st, x);
  else if (c == 19)
    wxfieldbegin(st, x);
  else if (c == 30)
    cxputc(st, '-');
}

void mwxchar(cxstate* st, wxset* x, int c) {
  if (c == 13 || c == 11 || c == 12) {
    wxlineend(st, x);
  } else if (c == 7 || c == 202) {
    cxputc(st, ' ');
  } else if (c >= 128) {
    switch (c) {
      case 165: break;
      case 209: cxputc(st, '-'); break;
      case 210: case 211: cxputc(st, '"'); break;
      case 213: cxputc(st, '\''); break;
      default: {
        int t = cxcpconv(nullptr, 9999, x->codepage, c);
        // A character the target code page lacks is written as "_", as
        // everywhere else; a NUL byte would end up in the text.
        if (t == 0) t = '_';
        if (t > 0) cxputc(st, t);
      }
    }
  } else if (c >= 32 || c == 9) {
    cxputc(st, c);
  } else if (c == 30) {
    cxputc(st, '-');
  }
}

int w2xsymbol(cxstate* st, wxset* x) {
  int s = x->fstream;
  auto next = [&] { return s >= 0 ? cxsgetc(st, s) : -1; };
  static const char kname[] = "SYMBOL";
  bool symbol = true;
  for (int i = 0; i < 6; i++) symbol = next() == kname[i] && symbol;
  if (!symbol) return ' ';
  int c = next();
  while (c >= 0 && !(c >= '0' && c <= '9')) c = next();
  // The number is only ever a character: digits past 255 cannot make one,
  // so the value stops growing there instead of overflowing.
  int number = 0;
  for (; c >= '0' && c <= '9'; c = next())
    if (number <= 255) number = number * 10 + (c - '0');
  while (c > 0 && c != '"') c = next();
  int letter = c >= 0 ? next() : -1;
  int r = -1;
  if (number <= 255) {
    if (letter == 'M') r = cxcpconv(nullptr, 437, x->codepage, number);
    if (letter == 'S') r = cxcpconv(nullptr, 9998, x->codepage, number);
  }
  return r < 32 ? '_' : r;
}

void w2extract(cxstate* st, const char* inpath, const char* outpath, char* closed) {
  wxextract(st, &kw2, &static_cast<w2blk*>(st->w2blk)->x, inpath, outpath, closed);
}

void mwextract(cxstate* st, const char* inpath, const char* outpath, char* closed) {
  wxextract(st, &kmw, &static_cast<mwblk*>(st->mwblk)->x, inpath, outpath, closed);
}

void w6extract(cxstate* st, const char* inpath, const char* outpath, char* closed) {
  wxextract(st, &kw6, w6set(st), inpath, outpath, closed);
}
