// The WordPerfect 6 code tables and their dispatch: each function code of
// the body is classified by its row, consumed by the row's handler or, with
// no row or with processing off, by the skip that knows only the framing.
#include <cstdlib>
#include <cstring>

#include "converters/runtime/wpchars.h"
#include "filters/readers/wp/wp6.h"

namespace {

// Handlers of the characters and breaks that shape plain text.
int space(cvrun* run) { cwputc(run, ' '); return 0; }
int hardspace(cvrun* run) { cwspecial(run, 0); return 0; }
int softhyphen(cvrun* run) { cwspecial(run, 3); return 0; }
int softhyphenend(cvrun* run) {
  cwspecial(run, 3);
  cwnewline(run, 5);
  return 0;
}
int hardhyphen(cvrun* run) { cwputc(run, '-'); return 0; }
int hardline(cvrun* run) { cwnewline(run, 1); return 0; }
int softline(cvrun* run) { cwnewline(run, 0); return 0; }
int hardpage(cvrun* run) { cwnewline(run, 3); return 0; }
int softpage(cvrun* run) { cwnewline(run, 4); return 0; }
int none(cvrun* run) { return wp6skip(run); }

// A variable-length function whose handler only ends a line (or a page):
// read whole first, so that an ignored one writes nothing.
int vbreak(cvrun* run, int kind) {
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  wp6fnfree(run, f);
  cwnewline(run, kind);
  return 0;
}
int vsoftline(cvrun* run) { return vbreak(run, 0); }
int vhardline(cvrun* run) { return vbreak(run, 1); }
int vhardpage(cvrun* run) { return vbreak(run, 3); }
int vsoftpage(cvrun* run) { return vbreak(run, 4); }

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
  if (kind == 0 && s->heldid == -1) {
    s->heldid = id;
    s->proc = WP6_OFF;
  } else if (kind == 1 && s->heldid == id) {
    s->proc = WP6_ON;
    s->heldid = -1;
  }
  return 0;
}

constexpr uint32_t S = WP_SINGLE, F = WP_FIXED, V = WP_VARIABLE;

}  // namespace

#define R1(c, h) {c, 0, S, 0, h}
#define R2(c, n, h) {c, 0, F, n, h}
#define R4(c, s, h) {c, s, V, 0, h}

// Kept in the order written; every run sorts it before the first dispatch.
wpcoderow wp6codetab[232] = {
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
    R1(0x80, space), R1(0x81, hardspace), R1(0x82, softhyphen), R1(0x83, softhyphenend),
    R1(0x85, softhyphenend), R1(0x84, hardhyphen),
    R1(0x87, hardline), R1(0xB7, hardline), R1(0xB8, hardline), R1(0xB9, hardline), R1(0xCA, hardline),
    R1(0xCB, hardline), R1(0xCC, hardline),
    R1(0x88, none), R1(0x89, none), R1(0x90, none),
    R1(0xB4, hardpage), R1(0xC7, hardpage),
    R1(0xB5, hardline), R1(0xB6, hardpage), R1(0xC8, hardline), R1(0xC9, hardpage),
    R1(0xBA, softline), R1(0xBB, softline), R1(0xBC, softpage), R1(0xCD, softline), R1(0xCE, softline),
    R1(0xCF, softpage),
    R1(0xBD, hardline), R1(0xBE, hardline), R1(0xBF, hardline),
    // Fixed-length functions.
    R2(0xF0, 4, extchar), R2(0xF1, 5, proconoff), R2(0xF2, 3, none), R2(0xF3, 3, none), R2(0xF4, 3, none),
    R2(0xF5, 3, none), R2(0xF6, 4, none), R2(0xF7, 4, none), R2(0xF8, 4, none), R2(0xF9, 5, none),
    R2(0xFA, 5, none), R2(0xFB, 6, none), R2(0xFC, 6, none), R2(0xFD, 8, none), R2(0xFE, 8, none),
    R2(0xFF, 1, none),
    // Variable-length functions: line, column and page ends of group D0.
    R4(0xD0, 0x01, vsoftline), R4(0xD0, 0x14, vsoftline), R4(0xD0, 0x15, vsoftline), R4(0xD0, 0x16, vsoftline),
    R4(0xD0, 0x02, vsoftline), R4(0xD0, 0x03, vsoftpage),
    R4(0xD0, 0x04, vhardline), R4(0xD0, 0x05, vhardline), R4(0xD0, 0x06, vhardline),
    R4(0xD0, 0x17, vhardline), R4(0xD0, 0x18, vhardline), R4(0xD0, 0x19, vhardline),
    R4(0xD0, 0x07, vhardline), R4(0xD0, 0x08, vhardline), R4(0xD0, 0x1A, vhardline), R4(0xD0, 0x1B, vhardline),
    R4(0xD0, 0x1C, vhardline), R4(0xD0, 0x09, vhardpage),
    R4(0xD0, 0x0A, drop), R4(0xD0, 0x0B, drop), R4(0xD0, 0x0C, drop), R4(0xD0, 0x0D, drop), R4(0xD0, 0x0E, drop),
    R4(0xD0, 0x0F, drop), R4(0xD0, 0x10, drop), R4(0xD0, 0x11, drop), R4(0xD0, 0x12, drop), R4(0xD0, 0x13, drop),
    // Page layout.
    R4(0xD1, 0x00, drop), R4(0xD1, 0x01, drop), R4(0xD1, 0x02, drop), R4(0xD1, 0x03, drop), R4(0xD1, 0x04, drop),
    R4(0xD1, 0x05, drop), R4(0xD1, 0x06, drop), R4(0xD1, 0x10, drop), R4(0xD1, 0x11, drop), R4(0xD1, 0x1A, drop),
    R4(0xD1, 0x1B, drop),
    R4(0xD2, 0x00, drop), R4(0xD2, 0x01, drop), R4(0xD2, 0x02, drop), R4(0xD2, 0x03, drop),
    // Paragraph layout.
    R4(0xD3, 0x00, drop), R4(0xD3, 0x01, drop), R4(0xD3, 0x02, drop), R4(0xD3, 0x03, drop), R4(0xD3, 0x04, drop),
    R4(0xD3, 0x05, drop), R4(0xD3, 0x06, drop), R4(0xD3, 0x08, drop), R4(0xD3, 0x09, drop), R4(0xD3, 0x16, drop),
    R4(0xD3, 0x0A, drop), R4(0xD3, 0x0B, drop), R4(0xD3, 0x0C, drop), R4(0xD3, 0x0D, drop), R4(0xD3, 0x0E, drop),
    R4(0xD3, 0x0F, drop), R4(0xD3, 0x12, drop), R4(0xD3, 0x17, drop), R4(0xD3, 0x13, drop), R4(0xD3, 0x14, drop),
    R4(0xD3, 0x18, drop),
    // Characters, fields, dates, tables.
    R4(0xD4, 0x00, drop), R4(0xD4, 0x02, drop), R4(0xD4, 0x03, none), R4(0xD4, 0x06, drop), R4(0xD4, 0x07, drop),
    R4(0xD4, 0x0A, drop), R4(0xD4, 0x0B, drop), R4(0xD4, 0x0C, drop), R4(0xD4, 0x0D, drop), R4(0xD4, 0x08, drop),
    R4(0xD4, 0x09, drop), R4(0xD4, 0x10, drop), R4(0xD4, 0x11, drop), R4(0xD4, 0x42, drop), R4(0xD4, 0x43, drop),
    R4(0xD4, 0x16, drop), R4(0xD4, 0x18, drop), R4(0xD4, 0x19, drop), R4(0xD4, 0x1A, drop), R4(0xD4, 0x1B, drop),
    R4(0xD4, 0x1C, drop), R4(0xD4, 0x1D, drop), R4(0xD4, 0x1E, drop), R4(0xD4, 0x1F, drop), R4(0xD4, 0x20, drop),
    R4(0xD4, 0x21, drop), R4(0xD4, 0x22, drop), R4(0xD4, 0x25, drop), R4(0xD4, 0x28, drop), R4(0xD4, 0x2A, drop),
    R4(0xD4, 0x2B, drop), R4(0xD4, 0x2C, drop), R4(0xD4, 0x32, drop), R4(0xD4, 0x33, drop), R4(0xD4, 0x34, drop),
    R4(0xD4, 0x37, drop),
    R4(0xD5, 0x04, drop), R4(0xD5, 0x05, drop), R4(0xD5, 0x0C, drop), R4(0xD5, 0x0D, drop), R4(0xD5, 0x0E, drop),
    R4(0xD5, 0x0F, drop), R4(0xD5, 0x10, drop), R4(0xD5, 0x11, drop),
    // Headers, notes, numbering, suppression, styles, boxes, tabs.
    R4(0xD6, WP_ANYSUB, drop), R4(0xD7, 0x00, drop), R4(0xD7, 0x02, drop), R4(0xD8, WP_ANYSUB, drop),
    R4(0xD9, WP_ANYSUB, drop), R4(0xDA, WP_ANYSUB, drop),
    R4(0xDB, 0x02, drop), R4(0xDB, 0x07, drop), R4(0xDB, 0x08, drop), R4(0xDC, 0x02, drop), R4(0xDC, 0x07, drop),
    R4(0xDC, 0x08, drop),
    R4(0xDD, 0x00, drop), R4(0xDD, 0x01, drop), R4(0xDD, 0x02, drop), R4(0xDD, 0x03, drop), R4(0xDD, 0x04, drop),
    R4(0xDD, 0x05, none), R4(0xDD, 0x06, none), R4(0xDD, 0x07, drop), R4(0xDD, 0x08, drop), R4(0xDD, 0x09, drop),
    R4(0xDE, WP_ANYSUB, drop), R4(0xDF, 0x00, drop), R4(0xDF, 0x01, drop), R4(0xDF, 0x02, drop),
    R4(0xE0, WP_ANYSUB, drop),
};

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
  s->row = wprowfind(wp6codetab, sizeof wp6codetab / sizeof *wp6codetab, code, sub);
  if (s->row) {
    if (s->proc != WP6_OFF) return s->row->handler(run);
    return wp6skip(run);
  }
  wp6chrrow key{static_cast<uint8_t>(code), 0, 0};
  const auto* c = static_cast<const wp6chrrow*>(
      std::bsearch(&key, wp6chartab, sizeof wp6chartab / sizeof *wp6chartab, sizeof key, wp6chrcmp));
  if (!c) return wp6skip(run);
  if (s->proc == WP6_OFF) return 0;
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

int wp6charout(cvrun* run, int set, int number) {
  if (set == 0) {
    if (number < 0x20 || number > 0x7E) return -1;
    cwputc(run, number);
    return 0;
  }
  for (const wpc6set& t : wpc6settab) {
    if (t.set != set) continue;
    int lo = 0, hi = t.n - 1;
    while (lo <= hi) {
      int mid = (lo + hi) / 2;
      const wpc6srow& r = t.rows[mid];
      if (r.number < number) {
        lo = mid + 1;
      } else if (r.number > number) {
        hi = mid - 1;
      } else {
        if (r.codepage < 0) return -1;
        int textcp = wp6st(run)->cp819 ? 819 : 437;
        if (r.codepage == textcp) {
          cwputc(run, r.ch);
        } else {
          cwcodepage(run, r.codepage);
          cwputc(run, r.ch);
          cwcodepage(run, textcp);
        }
        return 0;
      }
    }
    return -1;
  }
  return -1;
}
