// The Lotus 1-2-3 worksheet converter: walks the records of a release 1A, 2
// or 3/4 worksheet in file order and writes the text of its cells, headers,
// footers and strings, one blank after each cell and a line end whenever the
// row rises above every row before it. Everything else is skipped.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "converters/formats/cvt.h"
#include "converters/formats/cvtline.h"
#include "converters/runtime/cvtframe.h"

namespace {

// The converter block (slot 12). The row and the character cache lie past
// the fields every run starts from, and are set afresh by each run.
struct lotblk {
  int32_t kind;     // 0 release 1A, 1 release 2, 2 release 3 and 4
  int32_t lics;     // translate text bytes 128-255 through the LICS table
  int32_t outcp;    // code page of the output text
  int32_t incp;     // code page of text bytes that skip the LICS table
  int32_t ended;    // an end-of-file record was met
  int32_t sealed;   // the sealed-file record was met
  int32_t opcode;   // opcode of the record being handled
  int32_t lineend;  // 0 LF, 1 CR LF, 2 LF CR
  unsigned char recbuf[512];  // body of a record read whole
  int32_t toprow;   // highest row seen in this run
  cvtline line;     // the line end's bytes
  unsigned char chars[2][256];  // output byte of each text byte, by lics; 0 not yet known
};

// Text bytes 128-255 of a worksheet as code-page-437 bytes (a blank or a
// plain letter where code page 437 has no counterpart).
const unsigned char klics[128] = {
    0x20, 0x27, 0x5E, 0x22, 0x7E, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x60, 0x27, 0x5E, 0x22, 0x7E, 0x69, 0x5F, 0x1E, 0x1F, 0x20, 0x20, 0x1B, 0x20, 0x20, 0x20, 0x20,
    0x9F, 0xAD, 0x9B, 0x9C, 0x22, 0x9D, 0x9E, 0x15, 0x0F, 0x63, 0xA6, 0xAE, 0x44, 0xE3, 0xF2, 0xF6,
    0xF8, 0xF1, 0xFD, 0x33, 0x22, 0xE6, 0x14, 0xF9, 0x20, 0x31, 0xA7, 0xAF, 0xAC, 0xAB, 0xF3, 0xA8,
    0x20, 0x20, 0x20, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x20, 0x90, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x44, 0xA5, 0x20, 0x20, 0x20, 0x4F, 0x99, 0x4F, 0x30, 0x20, 0x20, 0x20, 0x9A, 0x20, 0x50, 0xE1,
    0x85, 0xA0, 0x83, 0x61, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0x6F, 0xA4, 0x95, 0xA2, 0x93, 0x6F, 0x94, 0x6F, 0x30, 0x97, 0xA3, 0x96, 0x81, 0x98, 0x70, 0x7F,
};

lotblk *blk(cxstate *st) { return static_cast<lotblk *>(st->lotblk); }

void lotinit(void *block) {
  auto *b = static_cast<lotblk *>(block);
  b->lics = 1;
  b->outcp = 819;
  b->incp = 819;
  b->lineend = 1;
}

// lotget16: two input bytes as a little-endian value; -1 when the second
// read finds the end of the input.
int lotget16(cxstate *st) {
  int lo = cxgetc(st);
  int hi = cxgetc(st);
  if (hi < 0) return -1;
  return (lo & 0xFF) | hi << 8;
}

// lotreclen: the length of a record, read as lotget16 reads.
int lotreclen(cxstate *st) { return lotget16(st); }

// lotskip: reads and drops n bytes; 0, or -1 when the input ends first.
int lotskip(cxstate *st, int n) {
  for (; n > 0; n--)
    if (cxgetc(st) < 0) return -1;
  return 0;
}

// lotreadbody: reads a record body of n bytes into recbuf; a body over 512
// bytes ends the run with 11 before anything is stored. The count read.
int lotreadbody(cxstate *st, int n) {
  if (n > 512) ccseterr(st, CX_TOOLONG);
  unsigned char *buf = blk(st)->recbuf;
  int got = 0;
  for (int c; got < n && (c = cxgetc(st)) >= 0;) buf[got++] = static_cast<unsigned char>(c);
  return got;
}

// lotbuf16: the 16-bit little-endian value at an offset of recbuf.
int lotbuf16(cxstate *st, int off) {
  const unsigned char *b = blk(st)->recbuf + off;
  return b[0] | b[1] << 8;
}

// A record read field by field: bytes past its length or past the end of
// the input read as -1, so no field runs into the next record.
struct lotrec {
  cxstate *st;
  int left;
  int getc() {
    if (left <= 0) return -1;
    left--;
    int c = cxgetc(st);
    if (c < 0) left = 0;
    return c;
  }
  int get16() {
    int lo = getc();
    int hi = getc();
    return hi < 0 ? -1 : lo | hi << 8;
  }
  void skip(int n) {
    while (n-- > 0 && getc() >= 0) {
    }
  }
  // Drops what is left of the record.
  void end() { skip(left); }
};

// lotnewline: one line end as the options chose.
void lotnewline(cxstate *st) { cvteol(st, blk(st)->line); }

// lotrow: a line end when the row rises above every row seen before.
void lotrow(cxstate *st, int row) {
  lotblk *b = blk(st);
  if (row > b->toprow) {
    lotnewline(st);
    b->toprow = row;
  }
}

// lotchar: the output byte of one text byte outside 26-127. The LICS table
// yields code-page-437 bytes, so those convert from 437; other bytes from
// the input code page. A character the output code page lacks is "_".
int lotchar(cxstate *st, int c) {
  if (c >= 26 && c <= 127) return c;
  lotblk *b = blk(st);
  bool lics = b->lics && c >= 128;
  unsigned char &known = b->chars[lics][c];
  if (!known) {
    int r = lics ? cxcpconv(nullptr, 437, b->outcp, klics[c - 128]) : cxcpconv(nullptr, b->incp, b->outcp, c);
    known = static_cast<unsigned char>(r > 0 ? r : '_');
  }
  return known;
}

void lotputtext(cxstate *st, int c) { cxputc(st, lotchar(st, c)); }

void lotputs(cxstate *st, const char *s) {
  while (*s) cxputc(st, *s++);
}

// lotinttext: writes an integer in decimal.
void lotinttext(cxstate *st, int32_t n) {
  char t[16];
  std::snprintf(t, sizeof t, "%d", static_cast<int>(n));
  lotputs(st, t);
}

// lotdbltext: writes a number with 15 significant digits and never an
// exponent: the digits, the point where the value puts it (after the
// integer part, which is filled with zeros past the fifteenth digit), a
// leading "0" before a point that would start the text, and the sign. A
// value that is not finite writes "ERR", as the worksheet shows it.
void lotdbltext(cxstate *st, double x) {
  if (!std::isfinite(x)) {
    lotputs(st, "ERR");
    return;
  }
  char e[32];
  std::snprintf(e, sizeof e, "%.14e", std::fabs(x));
  char digits[16];
  int n = 0;
  for (const char *p = e; *p && *p != 'e' && n < 15; p++)
    if (*p >= '0' && *p <= '9') digits[n++] = *p;
  int point = std::atoi(std::strchr(e, 'e') + 1) + 1;  // digits before the point
  if (x == 0) point = 1;
  char t[400];
  int k = 0;
  if (x < 0) t[k++] = '-';
  if (point <= 0) {
    t[k++] = '0';
    t[k++] = '.';
    for (int i = point; i < 0; i++) t[k++] = '0';
    for (int i = 0; i < 15; i++) t[k++] = digits[i];
  } else {
    for (int i = 0; i < point; i++) t[k++] = i < 15 ? digits[i] : '0';
    t[k++] = '.';
    for (int i = point; i < 15; i++) t[k++] = digits[i];
  }
  t[k] = 0;
  lotputs(st, t);
}

// loterr8: 1 when 8 value bytes hold the worksheet's ERR pattern.
int loterr8(const unsigned char *v) { return v[6] == 0xF0 && v[7] == 0x7F; }

// lotext2dbl: a little-endian 80-bit extended real as a double: sign, the
// 64-bit mantissa cut to 53 bits without rounding (its integer bit taken as
// set) and the exponent; exponent 0 is 0, and an exponent beyond a double's
// range gives an infinity or 0.
double lotext2dbl(const unsigned char *v) {
  uint64_t mant = 0;
  for (int i = 7; i >= 0; i--) mant = mant << 8 | v[i];
  int word = v[8] | v[9] << 8;
  int exp = word & 0x7FFF;
  if (exp == 0) return 0;
  double m = static_cast<double>((mant >> 11) | (uint64_t{1} << 52));
  double x = std::ldexp(m, exp - 16383 - 52);
  return word & 0x8000 ? -x : x;
}

void blank(cxstate *st) { cxputc(st, ' '); }

// A cell record shorter than its fields is damaged: nothing is written for
// it, and the run ends with the warning that data was unusable.
void damaged(cxstate *st) { ccseterr(st, CX_WARN); }

// ---------------------------------------------------------------- release 1A and 2

// lotlabel1: a label cell: row, prefix character, text up to its NUL, all
// within the record's length; then one blank.
void lotlabel1(cxstate *st) {
  lotrec r{st, lotreclen(st)};
  r.skip(3);
  int row = r.get16();
  if (row < 0) return damaged(st), r.end();
  lotrow(st, row);
  r.skip(1);
  for (int c; (c = r.getc()) > 0;) lotputtext(st, c);
  r.end();
  blank(st);
}

// lotinteger: an integer cell: row, signed 16-bit value, one blank.
void lotinteger(cxstate *st) {
  lotrec r{st, lotreclen(st)};
  r.skip(3);
  int row = r.get16();
  int v = r.get16();
  if (v < 0) return damaged(st), r.end();
  r.end();
  lotrow(st, row);
  lotinttext(st, static_cast<int16_t>(v));
  blank(st);
}

// lotnumber1: a number or formula cell: row and the 8-byte value (the
// formula's bytes after it are dropped), one blank.
void lotnumber1(cxstate *st) {
  lotrec r{st, lotreclen(st)};
  r.skip(3);
  int row = r.get16();
  unsigned char v[8];
  int got = 0;
  for (int c; got < 8 && (c = r.getc()) >= 0;) v[got++] = static_cast<unsigned char>(c);
  r.end();
  if (got < 8) return damaged(st);
  lotrow(st, row);
  double x;
  std::memcpy(&x, v, 8);
  if (loterr8(v))
    lotputs(st, "ERR");
  else
    lotdbltext(st, x);
  blank(st);
}

// lotheadfoot: a header or footer: its text up to a NUL or the record's
// end; no blank and no row step.
void lotheadfoot(cxstate *st) {
  lotrec r{st, lotreclen(st)};
  for (int c; (c = r.getc()) > 0;) lotputtext(st, c);
  r.end();
}

// lotbof: the beginning-of-file record sets the file's kind; the LICS
// table is off for release 1A files. A whole record of another length, or
// of the long layout with another release number, is a worksheet of a
// release whose records this converter does not read: read with the
// tables of the others it would give bytes that are not its text.
void lotbof(cxstate *st) {
  lotblk *b = blk(st);
  int n = lotreclen(st);
  int got = lotreadbody(st, n < 0 ? 0 : n);
  if (n == 2 && got == 2) {
    if (b->recbuf[0] == 4) b->kind = 0;
    if (b->recbuf[0] == 6) b->kind = 1;
    if (b->kind != 1) b->lics = 0;
  } else if (n == 26 && got == 26) {
    int w = lotbuf16(st, 0);
    if (w == 0x1000 || w == 0x1002)
      b->kind = 2;
    else
      ccseterr(st, CX_NOTFMT);
  } else if (n >= 0 && got == n) {
    ccseterr(st, CX_NOTFMT);
  }
}

void loteof(cxstate *st) { blk(st)->ended = 1; }

// ---------------------------------------------------------------- release 3 and 4

// Reads a record whole; the count read, or -1 when it is shorter than need.
int lotbody3(cxstate *st, int need) {
  int n = lotreclen(st);
  int got = lotreadbody(st, n < 0 ? 0 : n);
  if (got < need) {
    damaged(st);
    return -1;
  }
  return got;
}

// lotlabel3: a label cell: row at 0, text from byte 5 up to its NUL or the
// body's end, one blank.
void lotlabel3(cxstate *st) {
  int n = lotbody3(st, 5);
  if (n < 0) return;
  lotrow(st, lotbuf16(st, 0));
  const unsigned char *b = blk(st)->recbuf;
  for (int i = 5; i < n && b[i]; i++) lotputtext(st, b[i]);
  blank(st);
}

// lotsmallnum: a packed small number: an integer in the upper 15 bits, or
// when bit 0 is set the upper 12 bits times a factor chosen by bits 1-3.
void lotsmallnum(cxstate *st) {
  static const double kfactor[8] = {5000, 500, 0.05, 0.005, 0.0005, 0.00005, 0.0625, 0.015625};
  if (lotbody3(st, 6) < 0) return;
  lotrow(st, lotbuf16(st, 0));
  int v = static_cast<int16_t>(lotbuf16(st, 4));
  if (v & 1)
    lotdbltext(st, (v >> 4) * kfactor[(v >> 1) & 7]);
  else
    lotinttext(st, v >> 1);
  blank(st);
}

// lotnumber3: a number or formula cell with an 80-bit value; an exponent
// word of FFFF is the worksheet's ERR.
void lotnumber3(cxstate *st) {
  if (lotbody3(st, 14) < 0) return;
  lotrow(st, lotbuf16(st, 0));
  const unsigned char *b = blk(st)->recbuf;
  if (b[12] == 0xFF && b[13] == 0xFF)
    lotputs(st, "ERR");
  else
    lotdbltext(st, lotext2dbl(b + 4));
  blank(st);
}

// lotstring3: the string value of a formula: text after two bytes, up to
// its NUL or the record's end; no blank and no row step.
void lotstring3(cxstate *st) {
  lotrec r{st, lotreclen(st)};
  r.skip(2);
  for (int c; (c = r.getc()) > 0;) lotputtext(st, c);
  r.end();
}

// lotsealed: a password-protected file: the run ends in order with 15.
void lotsealed(cxstate *st) {
  blk(st)->sealed = 1;
  st->sb->firststatus = CX_CRYPT;
}

struct lotop {
  int opcode;
  void (*handler)(cxstate *st);
};

const lotop ktable1[] = {
    {0x0F, lotlabel1},   {0x0D, lotinteger},  {0x10, lotnumber1}, {0x0E, lotnumber1},
    {0x25, lotheadfoot}, {0x26, lotheadfoot}, {0x00, lotbof},     {0x01, loteof},
};
const lotop ktable3[] = {
    {0x16, lotlabel3}, {0x18, lotsmallnum}, {0x17, lotnumber3}, {0x19, lotnumber3},
    {0x01, loteof},    {0x10, lotstring3},  {0x02, lotsealed},
};

// lotrecord: reads one record and hands it to its handler, or skips it by
// its length; -1 when the input has ended. A worksheet begins with its
// beginning-of-file record: a first record of another kind means the file
// is not a worksheet, and the run ends with 9.
int lotrecord(cxstate *st, bool first) {
  lotblk *b = blk(st);
  int op = lotget16(st);
  if (op < 0) return -1;
  if (first && op != 0x00) ccseterr(st, CX_NOTFMT);
  b->opcode = op;
  if (b->kind == 2) {
    for (const lotop &r : ktable3)
      if (r.opcode == op) return r.handler(st), 0;
  } else {
    for (const lotop &r : ktable1)
      if (r.opcode == op) return r.handler(st), 0;
  }
  int n = lotreclen(st);
  if (n < 0) return -1;
  return lotskip(st, n);
}

// lotoptions: line end from option character 1, output code page from
// characters 2-5, the LICS table off when character 2 is "0".
void lotoptions(cxstate *st) {
  lotblk *b = blk(st);
  const char *o = st->nm->optstr;
  b->lics = !(strnlen(o, sizeof st->nm->optstr) >= 3 && o[2] == '0');
  b->line = cvtlineopts(st, "\n\r");
  b->lineend = b->line.eol[1] == 0 ? 0 : b->line.eol[0] == '\n' ? 2 : 1;
  b->outcp = b->line.codepage;
}

} // namespace

cxstate *lotnewst() {
  static const cxblkspec blocks[] = {{12, sizeof(lotblk), lotinit}};
  return cxnewst(blocks, 1, lotfreest);
}

void lotfreest(cxstate *st) { cxfreest(st); }

int16_t cvtlotusst(cxstate *st, const char *inpath, const char *outpath) {
  return cvtframe(st, outpath, [&](char *closed) {
    lotblk *b = blk(st);
    lotoptions(st);
    cxprogbeg(st, cxfsize(st, inpath));
    int in, out;
    cvtopen(st, inpath, &in, &out);
    if (cxbufinit(st, in, out, 8192) != 0) cxthrow(st, CX_NOMEM);
    for (bool first = true; lotrecord(st, first) >= 0 && !b->ended && !b->sealed; first = false) {
    }
    cxprogend(st);
    cxbufend(st);
    cxclose(st, out);
    cxclose(st, in);
    *closed = 1;
    cxthrow(st, st->sb->firststatus);
  });
}

int16_t cvtlotus(const char *inpath, const char *outpath) { return cvtlotusst(lotnewst(), inpath, outpath); }
