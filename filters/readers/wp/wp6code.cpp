// The WordPerfect 6 code tables and their dispatch: each function code of
// the body is classified by its row, consumed by the row's handler or, with
// no row or with processing off, by the skip that knows only the framing.
#include <cstdlib>
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

// Handlers of the characters and breaks that shape plain text.
int space(cvrun* run) { cwputc(run, ' '); return 0; }
int hardspace(cvrun* run) { cwspecial(run, 0); return 0; }
int softhyphen(cvrun* run) { cwspecial(run, 3); return 0; }
int hardhyphen(cvrun* run) { cwputc(run, '-'); return 0; }
int none(cvrun* run) { return wp6skip(run); }

// Functions whose handlers this reader does not have yet: read whole and
// dropped, so that their framing is checked as the handlers would.
int drop(cvrun* run) {
  unsigned char* f = wp6fnread(run);
  if (f) wp6fnfree(run, f);
  return 0;
}

// An extended character: number, then set; "_" when it cannot be written.
int extchar(cvrun* run) {
  int number = cwgetc(run), set = cwgetc(run);
  cwgetc(run);
  convyield(run, 3);
  if (number < 0 || set < 0) return 0;
  if (wp6charout(run, set, number) == -1) cwputc(run, '_');
  return 0;
}

// Processing off (kind 0) and on again (kind 1) by the id of the pair.
int proconoff(cvrun* run) {
  wp6state* s = wp6st(run);
  int kind = cwgetc(run), lo = cwgetc(run), hi = cwgetc(run);
  cwgetc(run);
  convyield(run, 4);
  if (kind < 0 || lo < 0 || hi < 0) return 0;
  int id = lo | hi << 8;
  if (kind == 0 && s->f.heldid == -1) {
    s->f.heldid = id;
    s->f.proc = WP6_OFF;
  } else if (kind == 1 && s->f.heldid == id) {
    s->f.proc = WP6_ON;
    s->f.heldid = -1;
  }
  return 0;
}

int hl(cvrun* run) { return wp6hline(run, wp6st(run)->key[0]); }
int fn(cvrun* run) { return wp6fnhandler(run); }
int sub(cvrun* run) { return wp6subhandler(run); }
int box(cvrun* run) { return wp6boxhandler(run); }

// The second character colour: FB sets it, FC clears it.
int bgcolor(cvrun* run) {
  int on = wp6st(run)->key[0] == 0xFB;
  int c[5];
  for (int& x : c) x = cwgetc(run);
  convyield(run, 5);
  if (on)
    cwbgcolor(run, 1, c[0] & 0xFF, c[1] & 0xFF, c[2] & 0xFF);
  else
    cwbgcolor(run, 0, 0, 0, 0);
  return 0;
}

constexpr uint32_t S = WP_SINGLE, F = WP_FIXED, V = WP_VARIABLE;

}  // namespace

#define R1(c, h) {c, 0, S, 0, h}
#define R2(c, n, h) {c, 0, F, n, h}
#define R4(c, s, h) {c, s, V, 0, h}

// Kept in the order written; every run sorts it before the first dispatch.
wpcoderow wp6codetab[] = {
    // Single-byte functions.
    R1(0x00, none), R1(0x86, none), R1(0x8A, none), R1(0x8B, none), R1(0x8C, none), R1(0x8D, none),
    R1(0x8E, none), R1(0x8F, none), R1(0x91, none), R1(0x92, none), R1(0x93, none), R1(0x94, none),
    R1(0x95, none), R1(0x96, none), R1(0x97, none), R1(0x98, none), R1(0x99, none), R1(0x9A, none),
    R1(0x9B, none), R1(0x9C, none), R1(0x9D, none), R1(0x9E, none), R1(0x9F, none), R1(0xA0, none),
    R1(0xA1, none), R1(0xA2, none), R1(0xA3, none), R1(0xA4, none), R1(0xA5, none), R1(0xA6, none),
    R1(0xA7, none), R1(0xA8, none), R1(0xA9, none), R1(0xAA, none), R1(0xAB, none), R1(0xAC, none),
    R1(0xAD, none), R1(0xAE, none), R1(0xAF, none), R1(0xB0, none), R1(0xB1, none), R1(0xB2, none),
    R1(0xB3, none), R1(0xC0, none), R1(0xC1, none), R1(0xC2, none), R1(0xC3, none), R1(0xC4, none),
    R1(0xC5, none), R1(0xC6, none),
    R1(0x80, space), R1(0x81, hardspace), R1(0x82, softhyphen), R1(0x83, hl), R1(0x85, hl), R1(0x84, hardhyphen),
    R1(0x87, hl), R1(0xB7, hl), R1(0xB8, hl), R1(0xB9, hl), R1(0xCA, hl), R1(0xCB, hl), R1(0xCC, hl),
    R1(0x88, hl), R1(0x89, hl), R1(0x90, hl),
    R1(0xB4, hl), R1(0xC7, hl), R1(0xB5, hl), R1(0xB6, hl), R1(0xC8, hl), R1(0xC9, hl),
    R1(0xBA, hl), R1(0xBB, hl), R1(0xBC, hl), R1(0xCD, hl), R1(0xCE, hl), R1(0xCF, hl),
    R1(0xBD, wp6tabend), R1(0xBE, wp6tabend), R1(0xBF, wp6tabend),
    // Fixed-length functions.
    R2(0xF0, 4, extchar), R2(0xF1, 5, proconoff), R2(0xF2, 3, wp6attr), R2(0xF3, 3, wp6attr), R2(0xF4, 3, none),
    R2(0xF5, 3, none), R2(0xF6, 4, none), R2(0xF7, 4, none), R2(0xF8, 4, none), R2(0xF9, 5, none),
    R2(0xFA, 5, none), R2(0xFB, 6, bgcolor), R2(0xFC, 6, bgcolor), R2(0xFD, 8, none), R2(0xFE, 8, none),
    R2(0xFF, 1, none),
    // Line, column and page ends, table rows, cells and ends of group D0.
    R4(0xD0, 0x01, fn), R4(0xD0, 0x14, fn), R4(0xD0, 0x15, fn), R4(0xD0, 0x16, fn),
    R4(0xD0, 0x02, fn), R4(0xD0, 0x03, fn),
    R4(0xD0, 0x04, fn), R4(0xD0, 0x05, fn), R4(0xD0, 0x06, fn),
    R4(0xD0, 0x17, fn), R4(0xD0, 0x18, fn), R4(0xD0, 0x19, fn),
    R4(0xD0, 0x07, fn), R4(0xD0, 0x08, fn), R4(0xD0, 0x1A, fn), R4(0xD0, 0x1B, fn),
    R4(0xD0, 0x1C, fn), R4(0xD0, 0x09, fn),
    R4(0xD0, 0x0A, wp6tabhandler), R4(0xD0, 0x0B, wp6tabhandler), R4(0xD0, 0x0C, wp6tabhandler),
    R4(0xD0, 0x0D, wp6tabhandler), R4(0xD0, 0x0E, wp6tabhandler), R4(0xD0, 0x0F, wp6tabhandler),
    R4(0xD0, 0x10, wp6tabhandler), R4(0xD0, 0x11, wp6tabend), R4(0xD0, 0x12, wp6tabend), R4(0xD0, 0x13, wp6tabend),
    // Page layout.
    R4(0xD1, 0x00, fn), R4(0xD1, 0x01, fn), R4(0xD1, 0x02, fn), R4(0xD1, 0x03, fn), R4(0xD1, 0x04, fn),
    R4(0xD1, 0x05, fn), R4(0xD1, 0x06, fn), R4(0xD1, 0x10, wp6bordfn), R4(0xD1, 0x11, fn), R4(0xD1, 0x1A, fn),
    R4(0xD1, 0x1B, fn),
    R4(0xD2, 0x00, fn), R4(0xD2, 0x01, fn), R4(0xD2, 0x02, fn), R4(0xD2, 0x03, wp6bordfn),
    // Paragraph layout.
    R4(0xD3, 0x00, fn), R4(0xD3, 0x01, fn), R4(0xD3, 0x02, fn), R4(0xD3, 0x03, fn), R4(0xD3, 0x04, fn),
    R4(0xD3, 0x05, fn), R4(0xD3, 0x06, fn), R4(0xD3, 0x08, drop), R4(0xD3, 0x09, drop), R4(0xD3, 0x16, drop),
    R4(0xD3, 0x0A, fn), R4(0xD3, 0x0B, fn), R4(0xD3, 0x0C, fn), R4(0xD3, 0x0D, fn), R4(0xD3, 0x0E, drop),
    R4(0xD3, 0x0F, wp6bordfn), R4(0xD3, 0x12, wp6linenum), R4(0xD3, 0x17, wp6bordgrp), R4(0xD3, 0x13, fn), R4(0xD3, 0x14, fn),
    R4(0xD3, 0x18, fn),
    // Characters, fields, dates, tables.
    R4(0xD4, 0x00, drop), R4(0xD4, 0x02, fn), R4(0xD4, 0x03, none), R4(0xD4, 0x06, drop), R4(0xD4, 0x07, sub),
    R4(0xD4, 0x0A, sub), R4(0xD4, 0x0B, sub), R4(0xD4, 0x0C, sub), R4(0xD4, 0x0D, sub), R4(0xD4, 0x08, drop),
    R4(0xD4, 0x09, drop), R4(0xD4, 0x10, fn), R4(0xD4, 0x11, fn), R4(0xD4, 0x42, fn), R4(0xD4, 0x43, fn),
    R4(0xD4, 0x16, fn), R4(0xD4, 0x18, fn), R4(0xD4, 0x19, fn), R4(0xD4, 0x1A, fn), R4(0xD4, 0x1B, fn),
    R4(0xD4, 0x1C, fn), R4(0xD4, 0x1D, sub), R4(0xD4, 0x1E, fn), R4(0xD4, 0x1F, fn), R4(0xD4, 0x20, sub),
    R4(0xD4, 0x21, sub), R4(0xD4, 0x22, sub), R4(0xD4, 0x25, drop), R4(0xD4, 0x28, fn), R4(0xD4, 0x2A, wp6tabhandler),
    R4(0xD4, 0x2B, wp6tabhandler), R4(0xD4, 0x2C, wp6tabhandler), R4(0xD4, 0x32, sub), R4(0xD4, 0x33, sub),
    R4(0xD4, 0x34, drop), R4(0xD4, 0x37, drop),
    R4(0xD5, 0x04, drop), R4(0xD5, 0x05, drop), R4(0xD5, 0x0C, drop), R4(0xD5, 0x0D, drop), R4(0xD5, 0x0E, drop),
    R4(0xD5, 0x0F, drop), R4(0xD5, 0x10, drop), R4(0xD5, 0x11, drop),
    // Headers, notes, numbering, suppression, styles, boxes, tabs.
    R4(0xD6, WP_ANYSUB, sub), R4(0xD7, 0x00, sub), R4(0xD7, 0x02, sub), R4(0xD8, WP_ANYSUB, sub),
    R4(0xD9, WP_ANYSUB, drop), R4(0xDA, WP_ANYSUB, sub),
    R4(0xDB, 0x02, sub), R4(0xDB, 0x07, sub), R4(0xDB, 0x08, sub), R4(0xDC, 0x02, sub), R4(0xDC, 0x07, sub),
    R4(0xDC, 0x08, sub),
    R4(0xDD, 0x00, sub), R4(0xDD, 0x01, sub), R4(0xDD, 0x02, sub), R4(0xDD, 0x03, sub), R4(0xDD, 0x04, sub),
    R4(0xDD, 0x05, none), R4(0xDD, 0x06, none), R4(0xDD, 0x07, sub), R4(0xDD, 0x08, sub), R4(0xDD, 0x09, sub),
    R4(0xDE, WP_ANYSUB, fn), R4(0xDF, 0x00, box), R4(0xDF, 0x01, box), R4(0xDF, 0x02, box),
    R4(0xE0, WP_ANYSUB, fn),
};

const size_t wp6ncodes = sizeof wp6codetab / sizeof *wp6codetab;

#undef R1
#undef R2
#undef R4

// The letters the bytes 0x01 to 0x20 stand for, all of set 1.
wp6chrrow wp6chartab[32] = {
    {0x01, 1, 35}, {0x02, 1, 34}, {0x03, 1, 37}, {0x04, 1, 36}, {0x05, 1, 31}, {0x06, 1, 30}, {0x07, 1, 27},
    {0x08, 1, 33}, {0x09, 1, 29}, {0x0A, 1, 77}, {0x0B, 1, 76}, {0x0C, 1, 39}, {0x0D, 1, 38}, {0x0E, 1, 45},
    {0x0F, 1, 41}, {0x10, 1, 40}, {0x11, 1, 47}, {0x12, 1, 43}, {0x13, 1, 49}, {0x14, 1, 57}, {0x15, 1, 56},
    {0x16, 1, 81}, {0x17, 1, 80}, {0x18, 1, 83}, {0x19, 1, 82}, {0x1A, 1, 63}, {0x1B, 1, 62}, {0x1C, 1, 71},
    {0x1D, 1, 70}, {0x1E, 1, 67}, {0x1F, 1, 73}, {0x20, 1, 23},
};

int wp6chrcmp(const void* a, const void* b) {
  int x = static_cast<const wp6chrrow*>(a)->code, y = static_cast<const wp6chrrow*>(b)->code;
  return x < y ? -1 : x > y;
}

int wp6disp(cvrun* run, int code) {
  wp6state* s = wp6st(run);
  int sub = 0;
  if (code >= 0xD0 && code <= 0xEF) {
    sub = cwgetc(run);
    if (sub < 0) return 0;
  }
  s->key[0] = static_cast<uint8_t>(code);
  s->key[1] = static_cast<uint8_t>(sub);
  s->row = wprowfind(wp6codetab, wp6ncodes, code, sub);
  if (s->row) {
    if (s->f.proc != WP6_OFF) return s->row->handler(run);
    return wp6skip(run);
  }
  wp6chrrow key{static_cast<uint8_t>(code), 0, 0};
  const auto* c = static_cast<const wp6chrrow*>(
      std::bsearch(&key, wp6chartab, sizeof wp6chartab / sizeof *wp6chartab, sizeof key, wp6chrcmp));
  if (!c) return wp6skip(run);
  if (s->f.proc == WP6_OFF) return 0;
  int r = wp6charout(run, c->set, c->number);
  if (r == -1) cwputc(run, '_');
  return r;
}

int wp6skip(cvrun* run) {
  wp6state* s = wp6st(run);
  const wpcoderow* row = s->row;
  if (!row || row->kind & WP_VARIABLE) {
    // The size is unsigned: a function of 32 KB or more is skipped by it
    // like any other rather than taken as running to the end of the input.
    int size = wp6readw(run);
    if (size < 0) return 0;
    size &= 0xFFFF;
    convyield(run, size);
    if (size <= 4) wp6fatal(run, RDR_DAMAGED);
    for (int i = 4; i < size; i++)
      if (cwgetc(run) < 0) break;
    return 0;
  }
  if (row->kind & WP_FIXED) {
    if (s->key[0] == 0xF1) return proconoff(run);
    convyield(run, static_cast<int>(row->length));
    for (uint32_t i = 1; i < row->length; i++)
      if (cwgetc(run) < 0) break;
  }
  return 0;
}

unsigned char* wp6fnread(cvrun* run) {
  wp6state* s = wp6st(run);
  int size = wp6readw(run);
  if (size < 0) wp6fatal(run, RDR_DAMAGED);
  size &= 0xFFFF;  // sizes up to 65535
  convyield(run, size);
  if (size < 5) wp6fatal(run, RDR_DAMAGED);
  auto* buf = static_cast<unsigned char*>(cvalloc(run, static_cast<size_t>(size)));
  if (!buf) wp6fatal(run, RDR_NOMEM);
  buf[0] = s->key[0];
  buf[1] = s->key[1];
  buf[2] = static_cast<unsigned char>(size & 0xFF);
  buf[3] = static_cast<unsigned char>(size >> 8);
  for (int i = 4; i < size; i++) {
    int c = cwgetc(run);
    if (c < 0) {
      cvfree(run, buf);
      wp6fatal(run, RDR_DAMAGED);
    }
    buf[i] = static_cast<unsigned char>(c);
  }
  if (buf[4] & 0x40) {
    cvfree(run, buf);
    return nullptr;
  }
  return buf;
}

void wp6fnfree(cvrun* run, unsigned char* buf) {
  if (!buf) wp6fatal(run, RDR_DAMAGED);
  cvfree(run, buf);
}

namespace {

// The first code-page column holding the character: its index, and the byte.
int lookup(int set, int number, int* byte) {
  if (set < 1 || set > 10) return -1;
  const wp6charset& t = wp6settab[set - 1];
  for (int i = 0; i < t.n; i++) {
    if (t.rows[i].v[0] != number) continue;
    for (int c = 0; c < 12; c++) {
      if (t.rows[i].v[c + 1] != -1) {
        *byte = t.rows[i].v[c + 1];
        return c;
      }
    }
    return -1;
  }
  return -1;
}

void inpage(cvrun* run, int cp, int byte) {
  cwcodepage(run, cp);
  cwputc(run, byte);
  cwcodepage(run, 437);
}

}  // namespace

int wp6charout(cvrun* run, int set, int number) {
  const int vals[3] = {set, number, -1};
  cwvallist(run, vals, 1);
  int byte = 0, col;
  switch (set) {
    case 0:
      if (number < 32 || number > 127) return -1;
      cwputc(run, number);
      return 0;
    case 1:
      col = lookup(set, number, &byte);
      if (col < 0) return -1;
      if (col == 0)
        cwputc(run, byte);
      else
        inpage(run, wp6cpcols[col], byte);
      return 0;
    case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10:
      col = lookup(set, number, &byte);
      if (col < 0) return -1;
      if (byte < 32)
        cwputc(run, byte);
      else
        inpage(run, wp6cpcols[col], byte);
      return 0;
    case 11: case 13: case 14:
      return -1;
    case 12:
      if (number >= 128)
        inpage(run, 819, number);
      else
        cwputc(run, number);
      return 0;
    default:
      return 0;
  }
}

int wp6charcp(cvrun* run, int set, int number, int* cp, int* byte) {
  (void)run;
  if (set == 0) {
    if (number < 32 || number > 127) return -1;
    *cp = 437;
    *byte = number;
    return 0;
  }
  if (set == 12) {
    *cp = number >= 128 ? 819 : 437;
    *byte = number & 0xFF;
    return 0;
  }
  if (set < 1 || set > 10 || set == 9) return -1;
  int b, col = lookup(set, number, &b);
  if (col < 0) return -1;
  if (b < 32) {
    *cp = 437;
    *byte = number;
  } else {
    *cp = wp6cpcols[col];
    *byte = b;
  }
  return 0;
}
