// Embedded objects and pictures: the picture character (1) anchors an OLE
// object of the compound file's object pool, a linked picture file named by
// its picture record, or picture data that follow the record in the main
// input; each goes to the writer, which owns the picture formats. The form
// data of check boxes lie at the same place.
#include <cstdio>
#include <cstring>

#include "filters/word/wwfld.h"

namespace {

bool has(const wwchp* c, int p) { return wwchpisset(c, p) != 0; }

// The picture record's sizes: goal width and height scaled in thousandths,
// a scale of 0 meaning unscaled, the CHP's picture scale in place of the
// record's where it sets one.
struct picrec {
  int32_t p, total, header, mode, goalw, goalh, scalex, scaley;
};

picrec readrec(wwstate* w, const wwchp* c) {
  picrec r{};
  r.p = wwchpv(c, WC_PICLOC);
  wwseek(w, WW_MAIN, r.p);
  r.total = wwgetl(w, WW_MAIN);
  r.header = static_cast<int32_t>(wwgetw(w, WW_MAIN));
  r.mode = wwgetsw(w, WW_MAIN);
  wwseek(w, WW_MAIN, static_cast<long>(r.p) + 28);
  r.goalw = wwgetsw(w, WW_MAIN);
  r.goalh = wwgetsw(w, WW_MAIN);
  r.scalex = static_cast<int32_t>(wwgetw(w, WW_MAIN));
  r.scaley = static_cast<int32_t>(wwgetw(w, WW_MAIN));
  if (wwchpisset(c, WC_PICSX) == 1) r.scalex = wwchpv(c, WC_PICSX);
  if (wwchpisset(c, WC_PICSY) == 1) r.scaley = wwchpv(c, WC_PICSY);
  return r;
}

int32_t shown(int32_t goal, int32_t scale) {
  return scale ? static_cast<int32_t>(static_cast<int64_t>(goal) * scale / 1000) : goal;
}

void sizes(cwobjdesc* d, const picrec& r) {
  d->width = shown(r.goalw, r.scalex);
  d->height = shown(r.goalh, r.scaley);
  d->dwidth = r.goalw;
  d->dheight = r.goalh;
}

// A record whose total length is below its header length, or that does not
// fit the main input, is damaged: nothing of it is written.
bool damaged(wwstate* w, const picrec& r) {
  return r.p < 0 || r.total < r.header || static_cast<int64_t>(r.p) + r.total > wwsize(w, WW_MAIN);
}

}  // namespace

int wwisole(wwstate*, const wwchp* c) { return has(c, WC_OLE) || has(c, WC_EMBED) ? 1 : 0; }

void wwobjconv(wwstate* w, const wwchp* c) {
  if (!has(c, WC_PICLOC)) return;
  long at = wwtell(w, WW_MAIN);
  if (wwisole(w, c)) {
    wwobjole(w, c);
  } else if (wwchpv(c, WC_PICLOC) < 0) {
    // no picture record lies before the start of the input
  } else if (wwispiclink(w, c)) {
    wwobjpic(w, c);
  } else {
    wwobjmeta(w, c);
  }
  wwseek(w, WW_MAIN, at);
}

int wwispiclink(wwstate* w, const wwchp* c) {
  long at = wwtell(w, WW_MAIN);
  wwseek(w, WW_MAIN, static_cast<long>(wwchpv(c, WC_PICLOC)) + 6);
  int mode = wwgetsw(w, WW_MAIN);
  wwseek(w, WW_MAIN, at);
  return mode == 98 ? 1 : 0;
}

void wwobjole(wwstate* w, const wwchp* c) {
  if (!has(c, WC_OLE) || has(c, WC_EMBED) || wwchpv(c, WC_PICLOC) == 0 || w->stg < 0) return;
  cvrun* run = w->run;
  auto* path = static_cast<char*>(wwalloc(w, 256));
  int n = std::snprintf(path, 256, "ObjectPool%c_%d%c%cPIC%c", 0, static_cast<int>(wwchpv(c, WC_PICLOC)), 0, 3, 0);
  int lastname = n - 5;  // where the byte 3 of the last name lies
  int32_t v[4] = {0, 0, 0, 0};
  int slot = olstopenpath(run, w->stg, path);
  if (slot >= 0) {
    unsigned char b[8];
    for (int i = 0; i < 2; i++) {
      olstseek(run, slot, i ? 44 : 20);
      std::memset(b, 0, sizeof b);
      olstread(run, slot, b, 8);
      v[2 * i] = cwget32(b, 0);
      v[2 * i + 1] = cwget32(b + 4, 0);
    }
    olstclose(run, slot);
  }
  std::memcpy(path + lastname, "\x03META\0", 7);
  slot = olstopenpath(run, w->stg, path);
  if (slot >= 0) {
    olstseek(run, slot, 8);
    cwobjdesc d{};
    d.version = 2;
    d.format = 610;
    d.width = static_cast<int32_t>(static_cast<int64_t>(v[0]) * v[2] / 1000);
    d.height = static_cast<int32_t>(static_cast<int64_t>(v[1]) * v[3] / 1000);
    d.dwidth = v[0];
    d.dheight = v[1];
    d.inlined = 1;
    d.slot = slot;
    cwobject(run, &d);
    olstclose(run, slot);
  }
  wwfree(w, path);
}

void wwobjpic(wwstate* w, const wwchp* c) {
  picrec r = readrec(w, c);
  if (damaged(w, r)) return;
  long len = static_cast<long>(r.total) - r.header;
  auto* name = static_cast<char*>(wwalloc(w, len + 1));
  wwseek(w, WW_MAIN, static_cast<long>(r.p) + r.header);
  if (len > 0) wwread(w, WW_MAIN, name, static_cast<int>(len));
  name[len] = 0;
  cwobjdesc d{};
  d.version = 1;
  d.format = 610;
  sizes(&d, r);
  d.inlined = 1;
  d.slot = -1;
  cwgraphic(w->run, &d, name, 5);
  wwfree(w, name);
}

void wwobjmeta(wwstate* w, const wwchp* c) {
  picrec r = readrec(w, c);
  if (damaged(w, r)) return;
  cwobjdesc d{};
  d.version = 2;
  d.format = r.mode == 99 ? -1 : 610;
  sizes(&d, r);
  d.inlined = 1;
  d.getblock = wwpicread;
  d.slot = -1;
  long start = static_cast<long>(r.p) + r.header, end = static_cast<long>(r.p) + r.total;
  wwseek(w, WW_MAIN, start);
  if (r.mode == 8) {
    // A Macintosh picture begins 10 bytes (its size and frame) before its
    // version-2 opcodes 00 11 02 FF 0C 00.
    static const unsigned char sig[6] = {0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00};
    unsigned char last[6] = {};
    bool found = false;
    for (long p = start; p < end; p++) {
      int b = wwgetb(w, WW_MAIN);
      if (b < 0) break;
      std::memmove(last, last + 1, 5);
      last[5] = static_cast<unsigned char>(b);
      if (p - start >= 5 && std::memcmp(last, sig, 6) == 0) {
        long from = p + 1 - 16;
        if (from >= start) {
          wwseek(w, WW_MAIN, from);
          d.format = 602;
          found = true;
        }
        break;
      }
    }
    if (!found) {
      wwseek(w, WW_MAIN, start);
      d.format = -1;
    }
  }
  w->picend = static_cast<int32_t>(end);
  cwobject(w->run, &d);
}

int wwpicread(cvrun* run, void* buf, int n) {
  auto* w = static_cast<wwstate*>(cvreader(run));
  if (!w || n < 0) return -1;
  long pos = wwtell(w, WW_MAIN);
  if (w->picend < pos) return -1;
  if (w->picend == pos) return 0;
  if (pos + n > w->picend) n = static_cast<int>(w->picend - pos);
  wwread(w, WW_MAIN, buf, n);
  return n;
}

int wwchkstate(wwstate* w, const wwchp* c) {
  if (!has(c, WC_PICLOC)) return ' ';
  long at = wwtell(w, WW_MAIN);
  int32_t p = wwchpv(c, WC_PICLOC);
  wwseek(w, WW_MAIN, static_cast<long>(p) + 4);
  long h = static_cast<long>(wwgetw(w, WW_MAIN));
  wwseek(w, WW_MAIN, static_cast<long>(p) + h + 1);
  int b = wwgetb(w, WW_MAIN);
  wwseek(w, WW_MAIN, at);
  return b >= 0 && (b & 4) ? 'X' : ' ';
}
