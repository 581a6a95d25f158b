// List numbering: paragraphs that carry their own number descriptor, outline
// numbering from the section's outline list and heading numbering from the
// heading styles become the writer's list levels and list numbers. The
// counters and restart flags live in the Word state for the whole run.
#include <cstring>
#include <strings.h>

#include "filters/word/wwfld.h"

namespace {

// Writer number formats by the descriptor's format code.
int numfmt(int nfc) {
  static const int kmap[8] = {0, 5, 4, 3, 2, 8, 9, 7};
  return nfc >= 0 && nfc <= 7 ? kmap[nfc] : 6;
}

// A new 8-bit string of count bytes from a text area, never reading past
// the area: a count past it gives what the area holds.
char* numtext(wwstate* w, const unsigned char* area, int areasize, int from, int count) {
  if (count <= 0 || from < 0 || from >= areasize) return nullptr;
  if (count > areasize - from) count = areasize - from;
  auto* s = static_cast<char*>(wwalloc(w, count + 1));
  std::memcpy(s, area + from, static_cast<size_t>(count));
  s[count] = 0;
  return s;
}

int indentof(const wwanld& d, int32_t dxaleft, int32_t dxaleft1) {
  if (d.dxaSpace) return d.dxaSpace;
  if (d.dxaIndent) return d.dxaIndent;
  int64_t sum = static_cast<int64_t>(dxaleft) + dxaleft1;
  return sum > 0 ? static_cast<int>(sum) : dxaleft;
}

// One level's definition, with its texts and character format owned here
// until the writer has copied them.
struct level {
  cwlistdesc d;
  cwchfmt fmt;
  char* before;
  char* after;
};

void define(wwstate* w, level& l, int lvl, int32_t start, const wwanld& a, const unsigned char* area,
            int areasize, int textfrom, int32_t indent, int32_t pos, bool withprev) {
  std::memset(&l, 0, sizeof l);
  l.before = numtext(w, area, areasize, textfrom, a.cxchTextBefore);
  l.after = numtext(w, area, areasize, textfrom + (a.cxchTextBefore > 0 ? a.cxchTextBefore : 0), a.cxchTextAfter);
  l.d.version = 2;
  l.d.level = lvl;
  l.d.start = start;
  l.d.fmt = numfmt(a.nfc);
  l.d.higher = withprev && a.fPrev ? 1 : 0;
  l.d.before = l.before;
  l.d.after = l.after;
  l.d.enc = 5;
  l.d.indent = indent;
  wwnumanld(w, &a, pos, &l.d, &l.fmt);
  l.d.chfmt = &l.fmt;
  cwlistdef(w->run, &l.d);
  if (l.before) wwfree(w, l.before);
  if (l.after) wwfree(w, l.after);
}

void hang(wwstate* w, const wwanld& d) {
  if (d.fHang && cwparaget(w->run, 8) == 0) cwindleftadd(w->run, d.dxaIndent);
}

// Where level k's texts begin in the outline list's text area.
int olsttextat(const wwanld* lv, int k) {
  int at = 0;
  for (int i = 0; i < k; i++) {
    if (lv[i].cxchTextBefore > 0) at += lv[i].cxchTextBefore;
    if (lv[i].cxchTextAfter > 0) at += lv[i].cxchTextAfter;
    if (at > 64) at = 64;
  }
  return at;
}

bool seton(int32_t set, int32_t v) { return set && v; }

}  // namespace

int wwnumcolor(int ico, int* r, int* g, int* b) {
  if (ico == 16) {
    *r = *g = *b = 192;
    return 1;
  }
  // Indexes 17 and up (the field holds five bits) name no colour.
  if (ico < 1 || ico > 15) return 0;
  static const int kcodes[15] = {0, 9, 11, 10, 13, 12, 14, 15, 1, 3, 2, 5, 4, 6, 7};
  int code = kcodes[ico - 1];
  int h = code & 8 ? 128 : 0;
  *r = code & 4 ? (h | 127) : 0;
  *g = code & 2 ? (h | 127) : 0;
  *b = code & 1 ? (h | 127) : 0;
  return 1;
}

void wwnumanld(wwstate* w, const wwanld* d, int32_t pos, cwlistdesc* out, cwchfmt* f) {
  wwchp m;
  if (pos == -1)
    wwchpinit(w, &m);
  else
    wwchpget(w, wwparaend(w, pos + 1), &m);
  auto mhas = [&](int p) { return wwchpisset(&m, p) && wwchpv(&m, p) != 0; };
  std::memset(f, 0, sizeof *f);
  if (seton(d->fSetBold, d->fBold) || mhas(WC_BOLD)) f->attr[0] = 1, f->attr[1] = 500;
  if (seton(d->fSetItalic, d->fItalic) || mhas(WC_ITALIC)) f->attr[6] = 1, f->attr[7] = 60;
  if (seton(d->fSetSmallCaps, d->fSmallCaps) || mhas(WC_SMALLCAPS)) f->attr[11] = 1;
  if (seton(d->fSetCaps, d->fCaps) || mhas(WC_CAPS)) f->attr[10] = 1;
  if (seton(d->fSetStrike, d->fStrike) || mhas(WC_STRIKE)) f->attr[8] = 1, f->attr[9] = 45;
  int u = seton(d->fSetKul, d->kul) ? d->kul : mhas(WC_ULINE) ? wwchpv(&m, WC_ULINE) : 0;
  if (u == 3) {
    f->attr[4] = 1, f->attr[5] = 3;
  } else if (u) {
    f->attr[2] = 1;
    f->attr[3] = u == 2 ? 0 : u == 4 ? 7 : 1;
  }
  int ico = d->ico ? d->ico : mhas(WC_COLOR) ? wwchpv(&m, WC_COLOR) : 0;
  int r, g, b;
  if (ico && wwnumcolor(ico, &r, &g, &b)) {
    f->colset = 1;
    f->c1[0] = r, f->c1[1] = g, f->c1[2] = b;
  }
  int font = d->ftc >= 0 ? d->ftc : wwchpisset(&m, WC_FONT) ? wwchpv(&m, WC_FONT) : -1;
  if (font >= 0) {
    const char* name = wwfontname(w, font);
    if (wwfontcs(w, font)) {
      int e = wwfea(w) ? 1 : wwfeb(w) ? 4 : wwfec(w) ? 3 : wwfed(w) ? 2 : 0;
      if (e) {
        out->ownfont = 1;
        out->fontnum = cwfontbyid(w->run, name, e);
      }
    } else if (strcasecmp(name, "Symbol") == 0 || strcasecmp(name, "MS LineDraw") == 0) {
      out->owncp = 1;
      out->cp = strcasecmp(name, "Symbol") == 0 ? 9998 : 437;
      out->ownsize = 1;
      out->size = 200;
    } else {
      out->owncp = 1;
      out->cp = 819;
      out->ownfont = 1;
      out->fontnum = cwfontbyid(w->run, name, 5);
      out->ownsize = 1;
      out->size = 200;
    }
  }
  if (d->hps > 0) {
    out->ownsize = 1;
    out->size = cvpt2tw(d->hps / 2);
  } else if (wwchpisset(&m, WC_SIZE)) {
    out->ownsize = 1;
    out->size = cvpt2tw(wwchpv(&m, WC_SIZE) / 2);
  }
  f->attrset = 1;
}

void wwnumpara(wwstate* w, const wwanld* a, int32_t dxaleft, int32_t dxaleft1, int lvl, int32_t pos) {
  hang(w, *a);
  if (lvl == 12 || (lvl != 10 && lvl != 11)) return;
  if (lvl == 10) {
    if (a->nfc != w->numfmt || w->numrestart == 1) {
      w->numfmt = a->nfc;
      w->numctr = a->iStartAt - 1;
      w->numrestart = 0;
    }
    w->numctr++;
  }
  level l;
  define(w, l, 1, lvl == 10 ? w->numctr : 1, *a, a->rgch, 32, 0, indentof(*a, dxaleft, dxaleft1), pos, false);
  cwlistnum(w->run, 1);
}

void wwnumolst(wwstate* w, const wwanld* lv, const unsigned char* text, int32_t dxaleft, int32_t dxaleft1,
               int lvl, int32_t pos) {
  if (lvl < 1 || lvl > 9) return;
  hang(w, lv[lvl - 1]);
  w->numrestart = 1;
  if (w->olreload == 1) {
    for (int k = 0; k < 9; k++) w->olctr[k] = lv[k].iStartAt - 1;
    w->olreload = 0;
  }
  for (int k = lvl; k < 9; k++) w->olctr[k] = lv[k].iStartAt - 1;
  w->olctr[lvl - 1]++;
  for (int k = 0; k < 9; k++) {
    level l;
    define(w, l, k + 1, w->olctr[k] ? w->olctr[k] : 1, lv[k], text, 64, olsttextat(lv, k),
           indentof(lv[k], dxaleft, dxaleft1), pos, true);
  }
  cwlistnum(w->run, lvl);
}

void wwnumhead(wwstate* w, int lvl, int32_t pos) {
  if (lvl < 1 || lvl > 9) return;
  w->numrestart = 1;
  w->olreload = 1;
  auto* paps = static_cast<wwpap*>(wwalloc(w, 9 * static_cast<long>(sizeof(wwpap))));
  for (int k = 0; k < 9; k++) wwstylepap(w, k + 1, &paps[k]);
  if (w->hdreload == 1) {
    for (int k = 0; k < 9; k++) w->hdctr[k] = paps[k].anld.iStartAt - 1;
    w->hdreload = 0;
  }
  hang(w, paps[lvl - 1].anld);
  for (int k = lvl; k < 9; k++) w->hdctr[k] = paps[k].anld.iStartAt - 1;
  w->hdctr[lvl - 1]++;
  for (int k = 0; k < 9; k++) {
    const wwanld& a = paps[k].anld;
    level l;
    int32_t indent = a.dxaSpace ? a.dxaSpace : a.dxaIndent;
    define(w, l, k + 1, w->hdctr[k], a, a.rgch, 32, 0, indent, pos, true);
  }
  wwfree(w, paps);
  cwlistnum(w->run, lvl);
}

void wwnumoff(wwstate* w, int intable) {
  if (intable) return;
  w->numrestart = 1;
  w->olreload = 1;
}
