// The file header of every version level read into one normalized record,
// and the document properties; the accessors through which the other modules
// find their tables and the text's extent.
#include "filters/word/ww.h"

namespace {

// Where a field lies in one layout: its offset and width (4, 2, or 0 when
// the layout has no such field).
struct cell {
  int16_t off;
  int8_t width;
};

// Columns of the layouts: level 6, levels 1-2, level 5, level 4, level 3.
int column(int ver) {
  switch (ver) {
    case 6: return 0;
    case 1:
    case 2: return 1;
    case 5: return 2;
    case 4: return 3;
    default: return 4;
  }
}

// Fields 14 to 92 of the normalized header in each layout.
const cell kfields[79][5] = {
    /* 14 */ {{24, 4}, {24, 4}, {20, 4}, {20, 4}, {120, 4}},
    /* 15 */ {{28, 4}, {28, 4}, {24, 4}, {24, 4}, {14, 4}},
    /* 16 */ {{32, 4}, {32, 4}, {28, 4}, {28, 4}, {0, 0}},
    /* 17 */ {{52, 4}, {52, 4}, {36, 4}, {36, 4}, {124, 4}},
    /* 18 */ {{56, 4}, {56, 4}, {40, 4}, {40, 4}, {128, 4}},
    /* 19 */ {{60, 4}, {60, 4}, {44, 4}, {44, 4}, {132, 4}},
    /* 20 */ {{64, 4}, {64, 4}, {48, 4}, {48, 4}, {0, 0}},
    /* 21 */ {{68, 4}, {68, 4}, {52, 4}, {52, 4}, {0, 0}},
    /* 22 */ {{72, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 23 */ {{76, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 24 */ {{80, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 25 */ {{88, 4}, {88, 4}, {64, 4}, {64, 4}, {30, 4}},
    /* 26 */ {{92, 4}, {92, 2}, {68, 2}, {68, 2}, {34, 2}},
    /* 27 */ {{96, 4}, {94, 4}, {70, 4}, {70, 4}, {36, 4}},
    /* 28 */ {{100, 4}, {98, 2}, {74, 2}, {74, 2}, {40, 2}},
    /* 29 */ {{104, 4}, {100, 4}, {76, 4}, {76, 4}, {42, 4}},
    /* 30 */ {{108, 4}, {104, 2}, {80, 2}, {80, 2}, {46, 2}},
    /* 31 */ {{112, 4}, {106, 4}, {82, 4}, {82, 4}, {48, 4}},
    /* 32 */ {{116, 4}, {110, 2}, {86, 2}, {86, 2}, {52, 2}},
    /* 33 */ {{120, 4}, {112, 4}, {0, 0}, {0, 0}, {0, 0}},
    /* 34 */ {{124, 4}, {116, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 35 */ {{128, 4}, {118, 4}, {0, 0}, {0, 0}, {0, 0}},
    /* 36 */ {{132, 4}, {122, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 37 */ {{136, 4}, {124, 4}, {88, 4}, {88, 4}, {54, 4}},
    /* 38 */ {{140, 4}, {128, 2}, {92, 2}, {92, 2}, {58, 2}},
    /* 39 */ {{176, 4}, {154, 4}, {112, 4}, {112, 4}, {78, 4}},
    /* 40 */ {{180, 4}, {158, 2}, {116, 2}, {116, 2}, {82, 2}},
    /* 41 */ {{184, 4}, {160, 4}, {118, 4}, {118, 4}, {84, 4}},
    /* 42 */ {{188, 4}, {164, 2}, {122, 2}, {122, 2}, {88, 2}},
    /* 43 */ {{192, 4}, {166, 4}, {124, 4}, {124, 4}, {90, 4}},
    /* 44 */ {{196, 4}, {170, 2}, {128, 2}, {128, 2}, {94, 2}},
    /* 45 */ {{208, 4}, {178, 4}, {194, 4}, {136, 4}, {102, 4}},
    /* 46 */ {{212, 4}, {182, 2}, {198, 2}, {140, 2}, {106, 2}},
    /* 47 */ {{216, 4}, {184, 4}, {0, 0}, {0, 0}, {0, 0}},
    /* 48 */ {{220, 4}, {188, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 49 */ {{224, 4}, {190, 4}, {0, 0}, {0, 0}, {0, 0}},
    /* 50 */ {{228, 4}, {194, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 51 */ {{232, 4}, {196, 4}, {0, 0}, {0, 0}, {0, 0}},
    /* 52 */ {{236, 4}, {200, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 53 */ {{240, 4}, {202, 4}, {0, 0}, {0, 0}, {0, 0}},
    /* 54 */ {{244, 4}, {206, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 55 */ {{256, 4}, {214, 4}, {188, 4}, {0, 0}, {0, 0}},
    /* 56 */ {{260, 4}, {218, 2}, {192, 2}, {0, 0}, {0, 0}},
    /* 57 */ {{264, 4}, {220, 4}, {200, 4}, {0, 0}, {0, 0}},
    /* 58 */ {{268, 4}, {224, 2}, {204, 2}, {0, 0}, {0, 0}},
    /* 59 */ {{272, 4}, {226, 4}, {206, 4}, {0, 0}, {0, 0}},
    /* 60 */ {{276, 4}, {230, 2}, {210, 2}, {0, 0}, {0, 0}},
    /* 61 */ {{336, 4}, {274, 4}, {154, 4}, {154, 4}, {0, 0}},
    /* 62 */ {{340, 4}, {278, 2}, {158, 2}, {158, 2}, {0, 0}},
    /* 63 */ {{344, 4}, {280, 4}, {212, 4}, {0, 0}, {0, 0}},
    /* 64 */ {{348, 4}, {284, 2}, {216, 2}, {0, 0}, {0, 0}},
    /* 65 */ {{352, 4}, {286, 4}, {172, 4}, {172, 4}, {114, 4}},
    /* 66 */ {{356, 4}, {290, 2}, {176, 2}, {176, 2}, {118, 2}},
    /* 67 */ {{360, 2}, {318, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 68 */ {{362, 2}, {320, 2}, {0, 0}, {0, 0}, {0, 0}},
    /* 69 */ {{364, 2}, {322, 2}, {184, 2}, {184, 2}, {0, 0}},
    /* 70 */ {{366, 2}, {324, 2}, {186, 2}, {186, 2}, {0, 0}},
    /* 71 */ {{402, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 72 */ {{406, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 73 */ {{410, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 74 */ {{414, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 75 */ {{466, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 76 */ {{470, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 77 */ {{474, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 78 */ {{478, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 79 */ {{530, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 80 */ {{534, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 81 */ {{546, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 82 */ {{550, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 83 */ {{554, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 84 */ {{558, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 85 */ {{562, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 86 */ {{566, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 87 */ {{570, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 88 */ {{574, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 89 */ {{666, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 90 */ {{670, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 91 */ {{674, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    /* 92 */ {{678, 4}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
};

// The table pairs (position, size): the first field of each.
bool pairstart(int n) { return (n >= 25 && n <= 65 && n % 2 == 1) || (n >= 71 && n <= 91 && n % 2 == 1); }

int32_t readat(wwstate* w, cell c) {
  if (!c.width) return 0;
  wwseek(w, WW_MAIN, c.off);
  return c.width == 4 ? wwgetl(w, WW_MAIN) : static_cast<int32_t>(wwgetw(w, WW_MAIN));
}

// Far-East flags from the identifier and the product code.
void fareast(wwhdr* h) {
  int32_t id = h->f[WWH_IDENT - 1], prod = h->f[WWH_PROD - 1];
  if (id == 0x8097 || id == 0xA697) h->f[WWH_FEA - 1] = 1;
  if (id == 0x8098 || id == 0xA698) h->f[WWH_FEB - 1] = 1;
  if ((id == 0x8099 || id == 0xA699) && prod == 0xC049) h->f[WWH_FEC - 1] = 1;
  if ((id == 0x8099 || id == 0xA699) && prod == 0xC04B) h->f[WWH_FED - 1] = 1;
  int any = h->f[0] | h->f[1] | h->f[2] | h->f[3];
  h->f[WWH_FEANY - 1] = any;
  h->f[WWH_CBCH - 1] = any ? 2 : 1;
}

// A table that lies outside the stream counts as absent, and one that runs
// past its end is cut at the end, so no loader seeks or reads outside it.
void clamp(wwhdr* h, long size) {
  for (int n = 25; n <= 91; n++) {
    if (!pairstart(n)) continue;
    int32_t& pos = h->f[n - 1];
    int32_t& len = h->f[n];
    if (pos < 0 || len < 0 || pos >= size) {
      pos = len = 0;
    } else if (len > size - pos) {
      len = static_cast<int32_t>(size - pos);
    }
  }
}

int32_t date(wwstate* w, long at, wwdate* out) {
  wwseek(w, WW_MAIN, at);
  return wwdttm(w, WW_MAIN, out);
}

}  // namespace

void wwsetver(wwstate* w, int ver) { w->ver = ver; }
void wwsetmac(wwstate* w, int flag) { w->big = flag == 1 ? 1 : 0; }

void wwfibread(wwstate* w) {
  long at = wwtell(w, WW_MAIN);
  auto* h = static_cast<wwhdr*>(wwalloc(w, sizeof(wwhdr)));
  w->hdr = h;
  wwseek(w, WW_MAIN, 0);
  h->f[WWH_IDENT - 1] = static_cast<int32_t>(wwgetw(w, WW_MAIN));
  wwseek(w, WW_MAIN, 4);
  h->f[WWH_PROD - 1] = static_cast<int32_t>(wwgetw(w, WW_MAIN));
  h->f[WWH_LID - 1] = static_cast<int32_t>(wwgetw(w, WW_MAIN));
  fareast(h);
  wwseek(w, WW_MAIN, 10);
  unsigned flags = wwgetw(w, WW_MAIN);
  switch (w->ver) {
    case 3: h->f[WWH_COMPLEX - 1] = flags == 1; break;
    case 4:
    case 5:
      h->f[WWH_COMPLEX - 1] = (flags & 0x2000) != 0;
      h->f[WWH_PICS - 1] = (flags & 0x0800) != 0;
      break;
    default:
      h->f[WWH_COMPLEX - 1] = (flags & 0x0004) != 0;
      h->f[WWH_PICS - 1] = (flags & 0x0008) != 0;
      if ((w->ver == 2 || w->ver == 6) && (flags & 0x0100)) wwfatal(w, RDR_ENCRYPTED);
      break;
  }
  if (w->ver == 6) {
    wwseek(w, WW_MAIN, 20);
    h->f[WWH_CHS - 1] = static_cast<int32_t>(wwgetw(w, WW_MAIN));
    h->f[WWH_CHSTABLES - 1] = static_cast<int32_t>(wwgetw(w, WW_MAIN));
  }
  int col = column(w->ver);
  for (int n = 14; n <= 92; n++) h->f[n - 1] = readat(w, kfields[n - 14][col]);
  clamp(h, wwsize(w, WW_MAIN));
  wwseek(w, WW_MAIN, at);
}

void wwfibfree(wwstate* w) {
  if (!w->hdr) return;
  wwfree(w, w->hdr);
  w->hdr = nullptr;
}

void wwdopread(wwstate* w) {
  long at = wwtell(w, WW_MAIN);
  auto* d = static_cast<wwdop*>(wwalloc(w, sizeof(wwdop)));
  w->dop = d;
  int v = w->ver;
  d->dxatab = 720;
  if (v != 2 && v != 6) {
    d->xapage = 12240;
    d->yapage = 15840;
    d->dxaleft = d->dxaright = 1800;
    d->dyatop = d->dyabottom = 1440;
    d->pgnstart = 1;
  }
  long pos = v == 3 ? 172 : wwhdrf(w, 61);
  long size = v == 3 ? 24 : wwhdrf(w, 62);
  long least = v == 1 ? 62 : v == 2 || v == 6 ? 48 : 18;
  if (size >= least) {
    // One value of the properties: b byte, w 16-bit, s signed 16-bit, l 32-bit.
    auto val = [&](char kind, long off) -> int32_t {
      wwseek(w, WW_MAIN, pos + off);
      switch (kind) {
        case 'b': {
          int b = wwgetb(w, WW_MAIN);
          return b < 0 ? 0 : b;
        }
        case 'w': return static_cast<int32_t>(wwgetw(w, WW_MAIN));
        case 's': return wwgetsw(w, WW_MAIN);
        default: return wwgetl(w, WW_MAIN);
      }
    };
    auto byte = [&](long off) { return val('b', off); };
    auto word = [&](long off) { return val('w', off); };
    auto sword = [&](long off) { return val('s', off); };
    auto lng = [&](long off) { return val('l', off); };
    if (v >= 3 && v <= 5) {
      int b = byte(16);
      d->facing = (b >> 7) & 1;
      d->landscape = b & 1;
      d->ihdt = byte(17);
      d->dxatab = word(14);
      d->yapage = word(0);
      d->xapage = word(2);
      d->dyatop = sword(4);
      d->dxaleft = word(6);
      d->dyabottom = sword(8);
      d->dxaright = word(10);
      d->pgnstart = word(22);
    } else {
      bool one = v == 1;
      int b = byte(0);
      d->facing = b & 1;
      if (one) d->landscape = (b >> 7) & 1;
      d->ihdt = byte(1);
      long base = one ? 14 : 0;  // level 1 keeps the page set-up before the counts
      d->dxatab = word(one ? 24 : 10);
      date(w, pos + base + 20, &d->created);
      date(w, pos + base + 24, &d->revised);
      d->nrevs = sword(base + 32);
      d->edittime = lng(base + 34);
      d->nwords = lng(base + 38);
      d->nchars = lng(base + 42);
      d->npages = sword(base + 46);
      if (one) {
        d->yapage = word(10);
        d->xapage = word(12);
        d->dyatop = sword(14);
        d->dxaleft = word(16);
        d->dyabottom = sword(18);
        d->dxaright = word(20);
      }
    }
  }
  wwseek(w, WW_MAIN, at);
}

void wwdopfree(wwstate* w) {
  if (!w->dop) return;
  wwfree(w, w->dop);
  w->dop = nullptr;
}

int wwdttm(wwstate* w, int h, wwdate* out) {
  unsigned a = wwgetw(w, h), b = wwgetw(w, h);
  out->min = a & 0x3F;
  out->hour = (a >> 6) & 0x1F;
  out->day = (a >> 11) & 0x1F;
  out->month = b & 0x0F;
  out->year = (b >> 4) & 0x1FF;
  out->wday = (b >> 13) & 0x07;
  return 4;
}

void wwclrcomplex(wwstate* w) { w->hdr->f[WWH_COMPLEX - 1] = 0; }

int wwcodepage(const wwstate* w) { return wwhdrf(w, WWH_CHS) == 256 ? 9999 : 819; }

int32_t wwfea(const wwstate* w) { return wwhdrf(w, WWH_FEA); }
int32_t wwfeb(const wwstate* w) { return wwhdrf(w, WWH_FEB); }
int32_t wwfec(const wwstate* w) { return wwhdrf(w, WWH_FEC); }
int32_t wwfed(const wwstate* w) { return wwhdrf(w, WWH_FED); }
int32_t wwfeany(const wwstate* w) { return wwhdrf(w, WWH_FEANY); }
int32_t wwlid(const wwstate* w) { return wwhdrf(w, WWH_LID); }
int32_t wwfcmin(const wwstate* w) { return wwhdrf(w, WWH_FCMIN); }
int32_t wwfcmac(const wwstate* w) { return wwhdrf(w, WWH_FCMAC); }
int32_t wwccptext(const wwstate* w) {
  int32_t n = wwhdrf(w, 17);
  return wwfeany(w) && !wwhdrf(w, WWH_COMPLEX) ? 2 * n : n;
}
int32_t wwccpftn(const wwstate* w) { return wwhdrf(w, 18); }
int32_t wwccphdd(const wwstate* w) { return wwhdrf(w, 19); }
int32_t wwccpmcr(const wwstate* w) { return wwhdrf(w, 20); }
int32_t wwccpatn(const wwstate* w) { return wwhdrf(w, 21); }
int32_t wwccpedn(const wwstate* w) { return wwhdrf(w, 22); }
int32_t wwccptxbx(const wwstate* w) { return wwhdrf(w, 23); }
int32_t wwccphdrtxbx(const wwstate* w) { return wwhdrf(w, 24); }
// A story's start: the one before and its length, held within 32 bits
// however large a damaged header's lengths are.
static int32_t after(int32_t start, int32_t len) {
  int64_t v = static_cast<int64_t>(start) + len;
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}
int32_t wwcpftn(const wwstate* w) { return after(wwfcmin(w), wwhdrf(w, 17)); }
int32_t wwcphdd(const wwstate* w) { return after(wwcpftn(w), wwccpftn(w)); }
int32_t wwcpmcr(const wwstate* w) { return after(wwcphdd(w), wwccphdd(w)); }
int32_t wwcpatn(const wwstate* w) { return after(wwcpmcr(w), wwccpmcr(w)); }
int32_t wwcpedn(const wwstate* w) { return after(wwcpatn(w), wwccpatn(w)); }
int32_t wwcptxbx(const wwstate* w) { return after(wwcpedn(w), wwccpedn(w)); }
int32_t wwcphdrtxbx(const wwstate* w) { return after(wwcptxbx(w), wwccptxbx(w)); }
