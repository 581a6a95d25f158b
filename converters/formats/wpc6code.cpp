// The code table of the WordPerfect 6.x converter and its handlers: spaces,
// hyphens, tabs, line ends and form feeds for the layout codes, table cells
// and rows, extended characters, the text-output switch, and the text of
// headers, footers, notes, marks and boxes read from their packets. A
// handler reads its whole code, so the next input byte follows the code.
#include <array>

#include "converters/formats/wpc.h"

namespace {

wpc6blk *blk(cxstate *st) { return static_cast<wpc6blk *>(st->wpc6blk); }

// The whole length of a code record (bytes 2-3).
int reclen(const unsigned char *rec) { return rec[2] | rec[3] << 8; }

// The first packet number of a code record (bytes 6-7), -1 when it is too short to hold one.
int recpkt(const unsigned char *rec) { return reclen(rec) >= 8 ? rec[6] | rec[7] << 8 : -1; }

// Reads the variable-length code being dispatched; false when it is ignored.
bool readcode(cxstate *st) {
  unsigned char *rec = wpc6getcode(st);
  wpc6freecode(st, rec);
  return rec != nullptr;
}

// Reads the code being dispatched and gives its first packet number (-1
// none); false when the code is ignored.
bool readpkt(cxstate *st, int *number) {
  unsigned char *rec = wpc6getcode(st);
  if (!rec) return false;
  *number = recpkt(rec);
  wpc6freecode(st, rec);
  return true;
}

// ---------------------------------------------------------------- single-byte codes

int hspace(cxstate *st) { return cxputc(st, ' '); }
int hhyphen(cxstate *st) { return cxputc(st, '-'); }
// A hyphen that stands only because a line ended there (0x83 and 0x85):
// the word runs on in the next line, so the indexed text keeps it whole.
int hlinehyphen(cxstate *) { return 0; }
int heol(cxstate *st) {
  wpc6lineend(st);
  return 0;
}
int hff(cxstate *st) { return cxputc(st, 12); }
int htab(cxstate *st) { return cxputc(st, 9); }

// ---------------------------------------------------------------- variable-length layout codes

int wpc6space(cxstate *st) { return readcode(st) ? cxputc(st, ' ') : 0; }

int wpc6hardeol(cxstate *st) {
  if (!readcode(st)) return 0;
  wpc6lineend(st);
  if (blk(st)->sub == 0x06) cxputc(st, 12);
  return 0;
}

int wpc6tabafter(cxstate *st) { return readcode(st) ? cxputc(st, 9) : 0; }
int wpc6pageafter(cxstate *st) { return readcode(st) ? cxputc(st, 12) : 0; }
int wpc6eolcode(cxstate *st) { return readcode(st) ? heol(st) : 0; }

int wpc6tabgroup(cxstate *st) {
  if (!readcode(st)) return 0;
  // Tabs and indents; an indent also parts a paragraph's number from its
  // text, which would otherwise run into one word.
  switch (blk(st)->sub / 8) {
    case 1: case 2: case 4: case 6: case 7: case 8: case 9: case 10: case 16: case 18: case 26:
      cxputc(st, 9);
      break;
    default: break;
  }
  return 0;
}

// ---------------------------------------------------------------- tables: zone 10 marks each cell

int wpc6cell(cxstate *st) {
  wpc6blk *b = blk(st);
  if (b->cellzone) cxzonemark(st, 10, 0);
  b->cellzone = 0;
  if (!readcode(st)) return 0;
  cxzonemark(st, 10, 1);
  b->cellzone = 1;
  cxputc(st, 9);
  b->cells++;
  return 0;
}

int wpc6rowstart(cxstate *st) {
  wpc6blk *b = blk(st);
  if (!readcode(st)) return 0;
  if (b->cellzone) cxzonemark(st, 10, 0);
  if (b->cells != 0) {
    wpc6lineend(st);
    b->cells = 0;
  }
  b->cells++;
  if (b->sub == 0x10) cxputc(st, 12);
  cxzonemark(st, 10, 1);
  b->cellzone = 1;
  return 0;
}

int wpc6rowend(cxstate *st) {
  wpc6blk *b = blk(st);
  if (!readcode(st)) return 0;
  if (b->cellzone) cxzonemark(st, 10, 0);
  b->cellzone = 0;
  wpc6lineend(st);
  if (b->sub == 0x13) cxputc(st, 12);
  b->cells = 0;
  return 0;
}

// ---------------------------------------------------------------- fixed-length codes

int wpc6extchar(cxstate *st) {
  int number = wpc6need(st);
  int set = wpc6need(st);
  wpc6need(st);
  if (wpc6extmap(st, set, number) < 0) cxputc(st, '_');
  return 0;
}

int wpc6textsw(cxstate *st) {
  int first = wpc6need(st);
  for (int i = 0; i < 3; i++) wpc6need(st);
  if (first == 0) blk(st)->textsw = 0;
  if (first == 1) blk(st)->textsw = 1;
  return 0;
}

// ---------------------------------------------------------------- packet text

// Reads a text packet: a block count, the offset of the text from the
// packet's start, the text to the packet's end inside zone.
void textpkt(cxstate *st, int number, int warn, int zone) {
  if (!wpc6pktuse(st, number, warn)) return;
  int count = wpc6rd16(st);
  int32_t off = 0;
  if (count < 0 || !wpc6rd32(st, &off) || off < 6) {
    ccseterr(st, CX_WARNEND);
    wpc6pktclose(st);
    return;
  }
  // Only the first block is read.
  if (count > 1) ccseterr(st, CX_WARNEND);
  wpc6skip(st, off - 6);
  cxzonemark(st, zone, 1);
  wpc6run(st);
  cxzonemark(st, zone, 0);
  wpc6pktclose(st);
}

int wpc6hdrftr(cxstate *st) {
  int number, s = blk(st)->sub;
  if (readpkt(st, &number) && !(s & 4)) textpkt(st, number, 0, s <= 1 ? 1 : 2);
  return 0;
}

int wpc6note(cxstate *st) {
  int number;
  if (readpkt(st, &number)) textpkt(st, number, 1, 3);
  return 0;
}

// A text whose packet is named by another packet.
int wpc6pkttext(cxstate *st) {
  int number;
  if (!readpkt(st, &number) || !wpc6pktuse(st, number, 1)) return 0;
  int second = wpc6rd16(st) < 0 ? -1 : wpc6rd16(st);
  wpc6pktclose(st);
  if (!wpc6pktuse(st, second, 1)) return 0;
  int n = wpc6rd16(st);
  if (n >= 0 && wpc6skip(st, 4 + 4 * static_cast<int64_t>(n))) {
    cxzonemark(st, 9, 1);
    wpc6run(st);
    cxzonemark(st, 9, 0);
  }
  wpc6pktclose(st);
  return 0;
}

// The text of a mark: strings of 16-bit units whose first bytes are the
// characters, each ended by a unit whose first byte is 0. The units come
// from the code's first packet, or from the code itself from byte 7 when
// its flags name no packet.
struct unitsrc {
  cxstate *st;
  const unsigned char *rec;  // none: the open packet
  int at, len;
  int next() {
    if (!rec) {
      int u = wpc6rd16(st);
      return u < 0 ? -1 : (u & 0xFF);
    }
    if (at >= len) return -1;
    int c = rec[at];
    at += 2;
    return c;
  }
};

int wpc6mark7(cxstate *st) {
  unsigned char *rec = wpc6getcode(st);
  if (!rec) return 0;
  unitsrc src{st, rec, 7, reclen(rec)};
  if (rec[4] != 0) {
    int number = recpkt(rec);
    wpc6freecode(st, rec);
    src.rec = rec = nullptr;
    if (!wpc6pktuse(st, number, 1)) return 0;
  }
  for (int c; (c = src.next()) > 0;) {
  }
  cxzonemark(st, 7, 1);
  for (int c; (c = src.next()) > 0;) cxputc(st, c);
  cxzonemark(st, 7, 0);
  if (rec)
    wpc6freecode(st, rec);
  else
    wpc6pktclose(st);
  return 0;
}

int wpc6mark8(cxstate *st) {
  unsigned char *rec = wpc6getcode(st);
  if (!rec) return 0;
  wpc6blk *b = blk(st);
  unitsrc src{st, rec, 7, reclen(rec)};
  bool packet = rec[4] != 0;
  if (packet) {
    int number = recpkt(rec);
    wpc6freecode(st, rec);
    src.rec = rec = nullptr;
    if (!wpc6pktuse(st, number, 1)) return 0;
  }
  // A name longer than the buffer is cut; the rest of it is read past.
  int n = 0;
  for (int c; (c = src.next()) > 0;)
    if (n < static_cast<int>(sizeof b->name) - 1) b->name[n++] = static_cast<char>(c);
  b->name[n] = 0;
  if (packet)
    wpc6pktclose(st);
  else
    wpc6freecode(st, rec);
  cxzonemark(st, 8, 1);
  for (int i = 0; i < n; i++) cxputc(st, static_cast<unsigned char>(b->name[i]));
  cxzonemark(st, 8, 0);
  return 0;
}

int wpc6mark6(cxstate *st) {
  if (readcode(st)) cxzonemark(st, 6, blk(st)->sub == 0x0A);
  return 0;
}

int wpc6mark5(cxstate *st) {
  if (readcode(st)) cxzonemark(st, 5, blk(st)->sub == 0x0C);
  return 0;
}

// ---------------------------------------------------------------- boxes

// The content-type byte of a box content type t: its bit 0x80, plus 2 when
// the rest of t is 3 (no text to read), plus 1 when it is 4.
int boxtype(int t) {
  int low = t & 0x7F;
  return (t & 0x80) | (low == 3 ? 2 : 0) | (low == 4 ? 1 : 0);
}

// Reads the box's description from its first packet (open): the content
// type in the second byte of the fourth of nine sub-blocks.
void boxpkt(cxstate *st) {
  wpc6blk *b = blk(st);
  int c = wpc6rd16(st);
  if (c < 0 || !wpc6skip(st, 2 * static_cast<int64_t>(c) + 2)) return;
  for (int i = 0; i < 9; i++) {
    int size = wpc6rd16(st);
    if (size < 0) return;
    if (i == 3 && size >= 2) {
      int t = cxgetc(st) < 0 ? -1 : cxgetc(st);
      if (t < 0) return;
      b->box[0] = static_cast<unsigned char>(boxtype(t));
      size -= 2;
    }
    if (!wpc6skip(st, size)) return;
  }
}

// The override sub-blocks of a box code from at: the content type of the
// sub-block of bit 0x2000 replaces the packet's. Nothing is read past the record.
void boxoverrides(cxstate *st, const unsigned char *rec, int at) {
  int len = reclen(rec);
  if (at + 2 > len) return;
  int mask = rec[at] | rec[at + 1] << 8;
  at += 2;
  for (int bit = 0x8000; bit >= 0x100; bit >>= 1) {
    if (!(mask & bit)) continue;
    if (at + 2 > len) return;
    int size = rec[at] | rec[at + 1] << 8;
    const unsigned char *d = rec + at + 2;
    int avail = len - at - 2;
    if (size > avail) size = avail;
    if (bit == 0x2000 && size >= 2) {
      int items = d[0] | d[1] << 8;
      int i = (items & 0x8000) ? 4 : 2;
      if ((items & 0x4000) && i < size) blk(st)->box[0] = static_cast<unsigned char>(boxtype(d[i]));
    }
    at += 2 + size;
  }
}

// The text of one box packet (open, of type 8): a count c, the text's
// offset, c 32-bit values, the text.
void boxtext(cxstate *st) {
  int c = wpc6rd16(st);
  int32_t off = 0;
  if (c < 0 || !wpc6rd32(st, &off) || !wpc6skip(st, 4 * static_cast<int64_t>(c))) return;
  // An offset that points into the values drops nothing more.
  int64_t rest = static_cast<int64_t>(off) - 6 - 4 * static_cast<int64_t>(c);
  if (rest > 0 && !wpc6skip(st, rest)) return;
  wpc6run(st);
}

int wpc6box(cxstate *st) {
  wpc6blk *b = blk(st);
  for (unsigned char &x : b->box) x = 0;
  for (int32_t &p : b->boxpkts) p = -1;
  unsigned char *rec = wpc6getcode(st);
  if (!rec) return 0;
  int len = reclen(rec);
  int k = len > 5 ? rec[5] : 0;
  // At most 16 packets are kept; the others are passed over.
  for (int i = 0; i < k && i < 16 && 8 + 2 * i <= len; i++) b->boxpkts[i] = rec[6 + 2 * i] | rec[7 + 2 * i] << 8;
  if (!wpc6pktuse(st, b->boxpkts[0], 1)) {
    wpc6freecode(st, rec);
    return 0;
  }
  boxpkt(st);
  wpc6pktclose(st);
  boxoverrides(st, rec, 6 + 2 * k + 20);
  wpc6freecode(st, rec);
  cxzonemark(st, 4, 1);
  if ((b->box[0] & 0x7F) <= 1) {
    for (int i = 0; i < 16 && b->boxpkts[i] >= 0; i++) {
      wpc6pkt *p = wpc6findpkt(st, b->boxpkts[i]);
      if (!p) continue;
      int type = p->type;
      if (!wpc6pktuse(st, b->boxpkts[i], 0)) continue;
      if (type == 8) boxtext(st);
      wpc6pktclose(st);
    }
  }
  cxzonemark(st, 4, 0);
  return 0;
}

// ---------------------------------------------------------------- the table

// Rows of the table joined by code and subfunction ranges, in sorted order.
struct span {
  int c0, c1;  // codes
  int s0, s1;  // subfunctions
  int kind, fixlen;
  wpc6handler handler;
};

constexpr span kspans[] = {
    {0x80, 0x81, 0, 0, 1, 0, hspace},
    {0x82, 0x82, 0, 0, 1, 0, hhyphen},
    {0x83, 0x83, 0, 0, 1, 0, hlinehyphen},
    {0x84, 0x84, 0, 0, 1, 0, hhyphen},
    {0x85, 0x85, 0, 0, 1, 0, hlinehyphen},
    {0x86, 0x86, 0, 0, 1, 0, wpc6skipcode},
    {0x87, 0x87, 0, 0, 1, 0, heol},
    {0x88, 0xB3, 0, 0, 1, 0, wpc6skipcode},
    {0xB4, 0xB4, 0, 0, 1, 0, hff},
    {0xB5, 0xB6, 0, 0, 1, 0, htab},
    {0xB7, 0xB9, 0, 0, 1, 0, heol},
    {0xBA, 0xBC, 0, 0, 1, 0, hspace},
    {0xBD, 0xC6, 0, 0, 1, 0, wpc6skipcode},
    {0xC7, 0xC7, 0, 0, 1, 0, hff},
    {0xC8, 0xC9, 0, 0, 1, 0, htab},
    {0xCA, 0xCC, 0, 0, 1, 0, heol},
    {0xCD, 0xCF, 0, 0, 1, 0, hspace},
    // Soft line ends, in a line or at a column's end, stand between words.
    {0xD0, 0xD0, 0x01, 0x03, 4, 0, wpc6space},
    {0xD0, 0xD0, 0x04, 0x06, 4, 0, wpc6hardeol},
    {0xD0, 0xD0, 0x07, 0x08, 4, 0, wpc6tabafter},
    {0xD0, 0xD0, 0x09, 0x09, 4, 0, wpc6pageafter},
    {0xD0, 0xD0, 0x0A, 0x0A, 4, 0, wpc6cell},
    {0xD0, 0xD0, 0x0B, 0x10, 4, 0, wpc6rowstart},
    {0xD0, 0xD0, 0x11, 0x13, 4, 0, wpc6rowend},
    {0xD0, 0xD0, 0x14, 0x16, 4, 0, wpc6space},
    {0xD0, 0xD0, 0x17, 0x19, 4, 0, wpc6hardeol},
    {0xD0, 0xD0, 0x1A, 0x1C, 4, 0, wpc6tabafter},
    {0xD1, 0xD1, 0x00, 0x01, 4, 0, wpc6skipcode},
    {0xD1, 0xD1, 0x03, 0x06, 4, 0, wpc6skipcode},
    {0xD1, 0xD1, 0x11, 0x11, 4, 0, wpc6skipcode},
    {0xD2, 0xD2, 0x00, 0x02, 4, 0, wpc6skipcode},
    {0xD3, 0xD3, 0x00, 0x01, 4, 0, wpc6skipcode},
    {0xD3, 0xD3, 0x04, 0x06, 4, 0, wpc6skipcode},
    {0xD3, 0xD3, 0x0A, 0x0F, 4, 0, wpc6skipcode},
    {0xD3, 0xD3, 0x13, 0x14, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x00, 0x00, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x02, 0x03, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x06, 0x06, 4, 0, wpc6mark7},
    {0xD4, 0xD4, 0x07, 0x07, 4, 0, wpc6mark8},
    {0xD4, 0xD4, 0x08, 0x09, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x0A, 0x0B, 4, 0, wpc6mark6},
    {0xD4, 0xD4, 0x0C, 0x0D, 4, 0, wpc6mark5},
    {0xD4, 0xD4, 0x10, 0x11, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x18, 0x18, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x1A, 0x1C, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x1D, 0x1D, 4, 0, wpc6pkttext},
    {0xD4, 0xD4, 0x1F, 0x1F, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x22, 0x22, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x25, 0x25, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x28, 0x28, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x2A, 0x2A, 4, 0, wpc6skipcode},
    {0xD4, 0xD4, 0x2B, 0x2B, 4, 0, wpc6eolcode},
    {0xD4, 0xD4, 0x2C, 0x2C, 4, 0, wpc6skipcode},
    {0xD5, 0xD5, 0x04, 0x05, 4, 0, wpc6skipcode},
    {0xD5, 0xD5, 0x0C, 0x11, 4, 0, wpc6skipcode},
    {0xD6, 0xD6, 0xFF, 0xFF, 4, 0, wpc6hdrftr},
    {0xD7, 0xD7, 0x00, 0x00, 4, 0, wpc6note},
    {0xD7, 0xD7, 0x02, 0x02, 4, 0, wpc6note},
    {0xD8, 0xD8, 0x02, 0x02, 4, 0, wpc6skipcode},
    {0xD8, 0xD8, 0x07, 0x08, 4, 0, wpc6skipcode},
    {0xD9, 0xD9, 0x02, 0x02, 4, 0, wpc6skipcode},
    {0xD9, 0xD9, 0x07, 0x08, 4, 0, wpc6skipcode},
    {0xDA, 0xDA, 0xFF, 0xFF, 4, 0, wpc6skipcode},
    {0xDB, 0xDB, 0x02, 0x02, 4, 0, wpc6skipcode},
    {0xDB, 0xDB, 0x07, 0x08, 4, 0, wpc6skipcode},
    {0xDC, 0xDC, 0x02, 0x02, 4, 0, wpc6skipcode},
    {0xDC, 0xDC, 0x07, 0x08, 4, 0, wpc6skipcode},
    {0xDD, 0xDD, 0x00, 0x0B, 4, 0, wpc6skipcode},
    {0xDE, 0xDE, 0xFF, 0xFF, 4, 0, wpc6skipcode},
    {0xDF, 0xDF, 0x00, 0x02, 4, 0, wpc6box},
    {0xE0, 0xE0, 0xFF, 0xFF, 4, 0, wpc6tabgroup},
    {0xF0, 0xF0, 0, 0, 2, 4, wpc6extchar},
    {0xF1, 0xF1, 0, 0, 2, 5, wpc6textsw},
    {0xF2, 0xF5, 0, 0, 2, 3, wpc6skipcode},
    {0xF6, 0xF8, 0, 0, 2, 4, wpc6skipcode},
    {0xF9, 0xFA, 0, 0, 2, 5, wpc6skipcode},
    {0xFB, 0xFC, 0, 0, 2, 6, wpc6skipcode},
    {0xFD, 0xFE, 0, 0, 2, 8, wpc6skipcode},
    {0xFF, 0xFF, 0, 0, 2, 1, wpc6skipcode},
};

constexpr int rows() {
  int n = 0;
  for (const span &s : kspans) n += (s.c1 - s.c0 + 1) * (s.s1 - s.s0 + 1);
  return n;
}
static_assert(rows() == WPC6_NCODES, "the code table has 213 rows");

constexpr std::array<wpc6code, WPC6_NCODES> expand() {
  std::array<wpc6code, WPC6_NCODES> t{};
  int n = 0;
  for (const span &s : kspans)
    for (int c = s.c0; c <= s.c1; c++)
      for (int u = s.s0; u <= s.s1; u++)
        t[n++] = {static_cast<uint8_t>(c), static_cast<uint8_t>(u), s.kind, s.fixlen, s.handler};
  return t;
}

constexpr bool sorted(const std::array<wpc6code, WPC6_NCODES> &t) {
  for (int i = 1; i < WPC6_NCODES; i++)
    if (t[i - 1].code > t[i].code || (t[i - 1].code == t[i].code && t[i - 1].sub >= t[i].sub)) return false;
  return true;
}

}  // namespace

constexpr std::array<wpc6code, WPC6_NCODES> wpc6codetab = expand();
static_assert(sorted(wpc6codetab), "the code table is searched by halves");

int wpc6skipcode(cxstate *st) {
  const wpc6code *r = blk(st)->row;
  if (!r || r->kind == 4) {
    int len = wpc6rd16(st);
    if (len <= 4 || !wpc6skip(st, len - 4)) wpc6fatal(st, CX_SIGNAL);
  } else if (r->kind == 2) {
    if (r->code == 0xF1)
      wpc6textsw(st);
    else if (!wpc6skip(st, r->fixlen - 1))
      wpc6fatal(st, CX_SIGNAL);
  }
  return 0;
}
