// The XIF converter: reads the document's byte-coded tokens one at a time
// (groups, operators with operands, byte-counted text strings), gives each
// a record number from its group and operator, and writes the text of its
// strings through a table of handlers, with line ends at a few groups. The
// strings' characters go through the character sets, accents and ligatures
// of the format into the output code page.
#include <cstdint>
#include <cstring>

#include "converters/formats/cvt.h"
#include "converters/formats/cvtline.h"
#include "converters/formats/xif.h"
#include "converters/runtime/cvtframe.h"

namespace {

// Records and reader conditions. The end of the input is told apart from
// every record number (a token of operator 57 at the top level is record
// 57), so such a token cannot end the conversion.
enum : int {
  kend = -1,       // the input has ended; a handler's request to end the run
  kfailed = 57,    // condition: a byte failed to read inside a token or string
  knothing = 55,   // the token 0x00
  kunknown = 56,   // an unrecognised token byte
  kempty = 100,    // an end of group met an empty group stack
  kmismatch = 101, // the closed group is not the current one
  kwrongtype = 300,  // a text record of a type without a byte-counted string
  kescape = 500,   // a malformed character-set escape in a string
};

// The converter block (slot 9).
struct xifblk {
  uint16_t group;     // current group, 0 at the top level
  int32_t stack;      // scratch stream of the enclosing groups' numbers
  int32_t depth;
  int32_t offset;     // input bytes consumed since the last seek
  int32_t out, in;    // the run's handles
  const char *inpath;
  int32_t cond;       // reader condition of the current token
  cvtline line;       // line end and output code page
  int32_t groupcheck; // compare an end of group with the current group
  int32_t nchars, charwidth, naccents, accentwidth, nligs;
  int32_t srccp;      // code page of the character being written
  uint8_t accent[2];  // pending accent (set, character); 0xFF 0xFF none
  int32_t lastcond;   // the last reader condition noted
  // Input read ahead in blocks; what the converter consumed is offset.
  unsigned char ibuf[4096];
  int32_t ipos, iend;
};

// Non-spacing accents, ascending: (set, character).
const uint16_t kaccents[] = {
    0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00CA, 0x00CB, 0x00CC, 0x00CD,
    0x00CE, 0x00CF, 0x26C0, 0x26C1, 0x26C2, 0x26C3, 0x26C4, 0x26C5, 0x26C6, 0x26C7, 0x26C8, 0x26C9,
    0x26CA, 0x26CB, 0x26CC, 0x26CD, 0x26CE, 0x26CF, 0xEF2E, 0xEF2F, 0xFDC1, 0xFDC2, 0xFDC3, 0xFDC4,
    0xFDC5, 0xFDC6, 0xFDC7, 0xFDC8, 0xFDCA, 0xFDCB, 0xFDCC, 0xFDCD, 0xFDCE, 0xFDCF,
};
constexpr int knaccents = sizeof kaccents / sizeof kaccents[0];

// Ligatures, ascending by set and character; each written as code-page-437
// letters.
struct xiflig {
  uint16_t code;
  const char *letters;
};
const xiflig kligs[] = {
    {0x00E6, "IJ"}, {0x00F6, "ij"}, {0xF021, "ff"}, {0xF022, "ffi"},
    {0xF023, "ffl"}, {0xF024, "fi"}, {0xF025, "fl"}, {0xF027, "fj"},
};
constexpr int knligs = sizeof kligs / sizeof kligs[0];

xifblk *blk(cxstate *st) { return static_cast<xifblk *>(st->xifblk); }

void xifinit(void *block) {
  auto *b = static_cast<xifblk *>(block);
  b->charwidth = b->accentwidth = -1;
  b->accent[0] = b->accent[1] = 0xFF;
}

// The largest w with 2^w not above n.
int width(int n) {
  int w = 0;
  while ((2 << w) <= n) w++;
  return w;
}

// xifcsinit: the table counts and search widths.
void xifcsinit(xifblk *b) {
  b->nchars = xifnchars;
  b->naccents = knaccents;
  b->nligs = knligs;
  b->charwidth = width(b->nchars);
  b->accentwidth = width(b->naccents);
}

// Index of key in an ascending table of n keys, or -1: probes at steps of
// 2^w down to 1 from before the first entry, never past the last.
template <class Key>
int search(Key key, int n, int w, Key (*at)(int)) {
  if (n <= 0) return -1;
  int lo = -1;
  for (int step = 1 << w; step > 0; step >>= 1)
    if (lo + step < n && at(lo + step) <= key) lo += step;
  return lo >= 0 && at(lo) == key ? lo : -1;
}

uint32_t charkey(int i) { return xifchars[i].key; }
uint16_t accentkey(int i) { return kaccents[i]; }

void note(xifblk *b, int cond) {
  b->cond = cond;
  b->lastcond = cond;
}

// xifgetb: the next input byte 0-255, or -1 when nothing can be read.
int xifgetb(cxstate *st) {
  xifblk *b = blk(st);
  if (b->ipos >= b->iend) {
    int got = cxread(st, b->in, b->ibuf, sizeof b->ibuf);
    if (got <= 0) return -1;
    cxprogadd(st, got);
    b->ipos = 0;
    b->iend = got;
  }
  b->offset++;
  return b->ibuf[b->ipos++];
}

// A byte of a token or string: one that fails to read notes 57 and counts
// as 0xFF.
int xifbyte(cxstate *st) {
  int c = xifgetb(st);
  if (c < 0) {
    note(blk(st), kfailed);
    return 0xFF;
  }
  return c;
}

// xifseek: puts the input at an offset; -1 when the seek does not land there.
int xifseek(cxstate *st, int32_t off) {
  xifblk *b = blk(st);
  b->ipos = b->iend = 0;
  b->offset = off;
  return cxseek(st, b->in, off, 0) == off ? 0 : -1;
}

// xifpush, xifpop: the enclosing groups.
void xifpush(cxstate *st) {
  xifblk *b = blk(st);
  cxsputc(st, b->group & 0xFF, b->stack);
  b->depth++;
}

void xifpop(cxstate *st) {
  xifblk *b = blk(st);
  int g = cxspop(st, b->stack);
  if (g < 0) {
    note(b, kempty);
    b->group = 255;
    return;
  }
  b->group = static_cast<uint16_t>(g);
  b->depth--;
}

// ---------------------------------------------------------------- characters

// xifnewline: one line end as the options chose.
void xifnewline(cxstate *st) { cvteol(st, blk(st)->line); }

// xifcpout: the byte to write for a character of the source code page:
// ASCII as it is, anything else converted into the output code page (0 or
// -1 when it has no such character).
int xifcpout(xifblk *b, int c) {
  if (c >= 26 && c <= 127) return c;
  return cxcpconv(nullptr, b->srccp, b->line.codepage, c);
}

void xifwrite(cxstate *st, xifblk *b, int cp, int c) {
  b->srccp = cp;
  int r = xifcpout(b, c);
  cxputc(st, r > 0 ? r : '_');
}

bool found(int i, int *cp, int *ch) {
  if (i < 0) return false;
  *cp = xifchars[i].cp;
  *ch = xifchars[i].ch;
  return true;
}

// xifcslookup: 1 with the code page and byte of a code, else 0. An accent
// waits for its base character and combines with it where the table holds
// the pair; a base without such a pair is written on its own, so neither
// it nor its accent's letter is lost.
int xifcslookup(xifblk *b, uint32_t code, int *cp, int *ch) {
  int set = code >> 16 & 0xFF, c = code & 0xFF;
  uint32_t base = static_cast<uint32_t>(set) << 24 | static_cast<uint32_t>(c) << 16;
  bool pending = b->accent[0] != 0xFF || b->accent[1] != 0xFF;
  uint32_t withaccent = base | static_cast<uint32_t>(b->accent[0]) << 8 | b->accent[1];
  if (set == 0 && c >= 0x20 && c <= 0x7F) {
    bool composed = pending && found(search<uint32_t>(withaccent, b->nchars, b->charwidth, charkey), cp, ch);
    if (!composed) *cp = 437, *ch = c;
    b->accent[0] = b->accent[1] = 0xFF;
    return 1;
  }
  if (search<uint16_t>(static_cast<uint16_t>(set << 8 | c), b->naccents, b->accentwidth, accentkey) >= 0) {
    b->accent[0] = set == 0xFD ? 0 : static_cast<uint8_t>(set);
    b->accent[1] = static_cast<uint8_t>(c);
    return 0;
  }
  b->accent[0] = b->accent[1] = 0xFF;
  if (pending && found(search<uint32_t>(withaccent, b->nchars, b->charwidth, charkey), cp, ch)) return 1;
  return found(search<uint32_t>(base | 0xFFFF, b->nchars, b->charwidth, charkey), cp, ch) ? 1 : 0;
}

// xifputch: writes the character of a code (set times 65536 plus byte).
void xifputch(cxstate *st, uint32_t code) {
  xifblk *b = blk(st);
  if (code == 13 || code == 29) return xifnewline(st);
  int cp, ch;
  if (xifcslookup(b, code, &cp, &ch)) return xifwrite(st, b, cp, ch);
  uint16_t key = static_cast<uint16_t>((code >> 16 & 0xFF) << 8 | (code & 0xFF));
  for (const xiflig &l : kligs) {
    if (l.code > key) return;
    if (l.code == key) {
      for (const char *p = l.letters; *p; p++) xifwrite(st, b, 437, *p);
      return;
    }
  }
}

// xifputstr: reads a string of n bytes and writes its characters. FF s
// selects set s for the single bytes that follow; FF FF 00 switches to
// pairs of set and character; a single FF in pairs selects a set again.
void xifputstr(cxstate *st, int n) {
  xifblk *b = blk(st);
  bool escape = false, pairs = false, first = true;
  int wide = 1;
  uint32_t set = 0, code = 0;
  for (int i = 0; i < n; i++) {
    int c = xifbyte(st);
    if (c == 0xFF) {
      if (!escape) {
        escape = true;
        wide = 1;
      } else if (wide == 1) {
        wide = 2;
      } else {
        escape = pairs = false;
        wide = 1;
        set = 0;
        note(b, kescape);
      }
      continue;
    }
    if (escape) {
      escape = false;
      if (wide == 2) {
        if (c == 0) {
          pairs = first = true;
        } else {
          pairs = false;
          wide = 1;
          set = 0;
          note(b, kescape);
        }
      } else {
        pairs = false;
        set = static_cast<uint32_t>(c);
      }
      continue;
    }
    if (!pairs) {
      xifputch(st, set << 16 | static_cast<uint32_t>(c));
    } else if (first) {
      code = static_cast<uint32_t>(c) << 16;
      first = false;
    } else {
      xifputch(st, code | static_cast<uint32_t>(c));
      first = true;
    }
  }
}

// ---------------------------------------------------------------- tokens

struct token {
  int op;
  int type;
  int count;
};

// xifskipops: reads and drops a token's operands.
void xifskipops(cxstate *st, const token &t) {
  int n;
  switch (t.type) {
    case 0x00: n = t.op == 0 ? 0 : 1; break;  // the byte 0x00 has none
    case 0x40: n = 1; break;
    case 0x80: case 0xF1: n = t.count; break;
    case 0xA0: case 0xC0: case 0xF6: n = 2 * t.count; break;
    case 0xB0: n = 4 * t.count; break;
    case 0xF2: case 0xF3: n = 2; break;
    case 0xF4: case 0xF5: case 0xF7: n = 4; break;
    default: n = 0; break;
  }
  for (; n > 0; n--)
    if (xifgetb(st) < 0) return;
}

// The record number of a token in the current group.
int recnum(int group, int op) {
  if (op == 0) return 0;
  if (op == 63) return 63;
  auto in = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
  if (in(group, 160, 178) && (op == 1 || op == 2 || in(op, 16, 29) || in(op, 64, 84))) return 16000 + op;
  if (in(group, 43, 59) && (op == 1 || in(op, 3, 10) || in(op, 16, 27) || op == 64)) return 4700 + op;
  if (in(group, 61, 63) && (in(op, 1, 4) || op == 16 || op == 17 || in(op, 64, 67) || op == 70)) return 6100 + op;
  return static_cast<uint16_t>(group * 100 + op);
}

// xifnextrec: reads one token (every token starts at an even offset) and
// returns its record number; kend when the input has ended.
int xifnextrec(cxstate *st, token *t) {
  xifblk *b = blk(st);
  t->count = 0;
  b->cond = 0;
  while (b->offset & 1)
    if (xifgetb(st) < 0) return kend;
  int c = xifgetb(st);
  if (c < 0) return kend;
  if (c == 0x00) {
    *t = {0, 0x00, 0};
    return knothing;
  }
  if (c < 0x80) {
    t->type = c < 0x40 ? 0x00 : 0x40;
    t->op = c & 0x3F;
  } else if (c < 0x90 || (c >= 0xA0 && c < 0xD0)) {
    t->type = c & 0xF0;
    t->op = c & 0x0F;
    t->count = xifbyte(st);
  } else if (c == 0xFF) {
    xifpush(st);
    b->group = static_cast<uint16_t>(xifbyte(st));
    *t = {b->group, 0xFF, 0};
    return b->group * 100;
  } else if (c == 0xF0) {
    int closed = xifbyte(st);
    if (b->groupcheck && closed != b->group) note(b, kmismatch);
    *t = {b->group, 0xF0, 0};
    xifpop(st);
    return closed * 100;
  } else if (c >= 0xF1 && c <= 0xF7) {
    t->type = c;
    t->op = xifbyte(st);
    if (c == 0xF1 || c == 0xF6) {
      int hi = xifbyte(st);
      t->count = hi << 8 | xifbyte(st);
    }
  } else {
    *t = {c, c, 0};
    return kunknown;
  }
  return recnum(b->group, t->op);
}

// ---------------------------------------------------------------- handlers

using handler = int (*)(cxstate *st, int rec, const token &t);

int xifignore(cxstate *, int, const token &) { return 0; }

bool boundary(const token &t) { return t.type == 0xFF || t.type == 0xF0; }

// xifbrkgrp: a line end at the begin and the end of groups 19 to 22.
int xifbrkgrp(cxstate *st, int rec, const token &t) {
  blk(st)->cond = 0;
  if (boundary(t) && rec >= 1900 && rec <= 2200 && rec % 100 == 0)
    xifnewline(st);
  else
    xifskipops(st, {t.op, t.type, 0});
  return 0;
}

// xifnopgrp: nothing for group 26 itself; other tokens lose their operands.
int xifnopgrp(cxstate *st, int, const token &t) {
  blk(st)->cond = 0;
  if (!boundary(t)) xifskipops(st, t);
  return 0;
}

// xiftext: a text string, written as characters.
int xiftext(cxstate *st, int, const token &t) {
  if (t.type == 0x80 || t.type == 0xF1) {
    xifputstr(st, t.count);
  } else {
    note(blk(st), kwrongtype);
    xifskipops(st, t);
  }
  return 0;
}

// xifidtext: the identification string at the top level.
int xifidtext(cxstate *st, int, const token &t) {
  if (t.type == 0x80) {
    xifputstr(st, t.count);
  } else {
    note(blk(st), kwrongtype);
    xifskipops(st, t);
  }
  return 0;
}

// xiftextgrp: given the begin of its group, consumes the group with every
// group nested in it, writing each text string followed by a line end;
// given any other record, drops its operands.
int xiftextgrp(cxstate *st, int rec, const token &first) {
  token t = first;
  for (int nest = 0;;) {
    if (rec == 0) {
      xiftext(st, rec, t);
      xifnewline(st);
    } else {
      if (t.type == 0xFF) nest++;
      if (t.type == 0xF0) nest--;
      xifskipops(st, t);
    }
    if (nest <= 0) return 0;
    rec = xifnextrec(st, &t);
    if (rec == kend) return kend;
  }
}

// xifend: an unrecognised token byte ends the conversion; a token of
// operator 56 at the top level, which has the same record number, only
// loses its operands.
int xifend(cxstate *st, int, const token &t) {
  if (t.type == 0x00 || t.type == 0x40) {
    xifskipops(st, t);
    return 0;
  }
  return kend;
}

struct xifrecrow {
  int32_t rec;
  int32_t code;
  handler fn;
  int32_t zero;
};

const xifrecrow xifrectab[] = {
    {100, 16878, xifignore, 0},   {200, 15873, xifignore, 0},   {300, 15873, xifignore, 0},
    {400, 15873, xifignore, 0},   {500, 15873, xifignore, 0},   {600, 16878, xifignore, 0},
    {1600, 9357, xifignore, 0},   {1900, 9357, xifbrkgrp, 0},   {2000, 9357, xifbrkgrp, 0},
    {2100, 9357, xifbrkgrp, 0},   {2200, 9357, xifbrkgrp, 0},   {2400, 9357, xifbrkgrp, 0},
    {2600, 9357, xifnopgrp, 0},   {3100, 9357, xifignore, 0},   {7000, 9357, xiftextgrp, 0},
    {7200, 9357, xiftextgrp, 0},  {7400, 9357, xiftextgrp, 0},  {7600, 9357, xiftextgrp, 0},
    {7700, 9357, xiftextgrp, 0},  {7702, 9357, xiftextgrp, 0},  {7703, 9357, xiftextgrp, 0},
    {7404, 9357, xiftextgrp, 0},  {7705, 9357, xiftextgrp, 0},  {0, 9357, xiftext, 0},
    {15, 4388, xifidtext, 0},     {56, 9357, xifend, 0},
};

// xifident: 103 when the first bytes are those of an XIF document, else 0.
int xifident(const unsigned char *h) {
  return h[0] == 0x8F && (h[2] | 0x20) == 'm' && (h[3] | 0x20) == 'd' && (h[4] | 0x20) == 'i' && h[5] == '/'
             ? 103
             : 0;
}

// xifopts: line end and output code page from the option string.
void xifopts(cxstate *st, xifblk *b) { b->line = cvtlineopts(st, "\n\r"); }

// Ends a run before the record loop: buffered I/O and both files closed.
[[noreturn]] void giveup(cxstate *st, xifblk *b, char *closed, int status) {
  cxbufend(st);
  cxclose(st, b->out);
  cxclose(st, b->in);
  *closed = 1;
  cxthrow(st, status);
}

} // namespace

cxstate *xifnewst() {
  static const cxblkspec blocks[] = {{9, sizeof(xifblk), xifinit}};
  cxstate *st = cxnewst(blocks, 1, xiffreest);
  if (st) st->mn->fmtname = "TEXT";
  return st;
}

void xiffreest(cxstate *st) { cxfreest(st); }

int16_t cvtxifst(cxstate *st, const char *inpath, const char *outpath) {
  return cvtframe(st, outpath, [&](char *closed) {
    xifblk *b = blk(st);
    b->inpath = inpath;
    bool stdinput = !*inpath;
    cxprogbeg(st, stdinput ? 0 : cxfsize(st, inpath));
    cvtopen(st, stdinput ? "stdin" : inpath, &b->in, &b->out);
    if (cxbufinit(st, b->in, b->out, stdinput ? 2048 : 4096) != 0) giveup(st, b, closed, CX_NOMEM);
    b->cond = 0;
    unsigned char head[10];
    xifseek(st, 0);
    for (unsigned char &h : head) {
      int c = xifgetb(st);
      h = static_cast<unsigned char>(c < 0 ? 0xFF : c);
    }
    if (!xifident(head)) giveup(st, b, closed, CX_NOTFMT);
    xifseek(st, 0);
    b->stack = cxsopen(st, 100);
    if (b->stack < 0) giveup(st, b, closed, CX_NOMEM);
    xifcsinit(b);
    xifopts(st, b);
    for (;;) {
      token t{};
      int rec = xifnextrec(st, &t);
      if (rec == kend) break;
      const xifrecrow *row = nullptr;
      for (const xifrecrow &r : xifrectab)
        if (static_cast<uint16_t>(r.rec) == static_cast<uint16_t>(rec)) {
          row = &r;
          break;
        }
      if (row) {
        if (row->fn(st, rec, t) == kend) break;
      } else {
        xifskipops(st, t);  // none for the token 0x00
      }
      if (st->sb->abortflag) break;
    }
    cxprogend(st);
    cxsclose(st, b->stack);
    giveup(st, b, closed, CX_OK);
  });
}

int16_t cvtxif(const char *inpath, const char *outpath) { return cvtxifst(xifnewst(), inpath, outpath); }
