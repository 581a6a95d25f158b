// The style definitions: every style of the style sheet defined to the
// writer once, before the main text, with its paragraph and character
// formatting (and the outline levels of level-6 heading styles), and the
// style references of paragraphs and runs by the writer's key.
#include <cstring>

#include "filters/word/ww.h"

namespace {

constexpr int kmaxtabs = 255;  // entries of a style's tab table

// The writer's line kind of a border and its colour index.
int brcline(const wwbrc* b, int* colour) {
  if (colour) *colour = b->ico;
  switch (b->dxpLineWidth) {
    case 6: return 4;
    case 7: return 3;
    default: break;
  }
  if (b->brcType == 3) return 2;
  switch (b->dxpLineWidth) {
    case 0: return 0;
    case 1:
    case 2: return 1;
    case 3: return 5;
    case 4:
    case 5: return 6;
    default: return 1;
  }
}

int shadepct(int ipat) {
  static const int kpct[14] = {0, 100, 5, 10, 20, 25, 30, 40, 50, 60, 70, 75, 80, 90};
  return ipat >= 0 && ipat < 14 ? kpct[ipat] : 50;
}

void bits(int32_t* rgb, int c) {
  rgb[0] = c & 4;
  rgb[1] = c & 2;
  rgb[2] = c & 1;
}

// The writer's numbering format of a number descriptor's format code.
int numfmt(int nfc) {
  static const int kfmt[8] = {0, 5, 4, 3, 2, 8, 9, 7};
  return nfc >= 0 && nfc < 8 ? kfmt[nfc] : 6;
}

bool on(const wwchp* c, int p) { return wwchpisset(c, p) && wwchpv(c, p) != 0; }

void attr(cwchfmt* f, int on, int val, int value) {
  f->attrset = 1;
  f->attr[on] = 1;
  if (val >= 0) f->attr[val] = value;
}

// The font and size of a description from a style's CHP.
void fontsize(wwstate* w, const wwchp* c, cwstyledesc* d) {
  if (wwchpisset(c, WC_FONT)) {
    int font = wwchpv(c, WC_FONT);
    d->fontflag = 1;
    d->fontnum = cwfontbyid(w->run, wwfontname(w, font), wwfontcs(w, font) == 0 ? CW_ENCBYTE : wwfontenc(w));
  }
  if (wwchpisset(c, WC_SIZE)) {
    d->sizeflag = 1;
    d->size = cvpt2tw(wwchpv(c, WC_SIZE) / 2);
  }
}

void cutcomma(char* name) {
  if (char* c = std::strchr(name, ',')) *c = 0;
}

// The texts of the nine outline levels, kept until the style is defined.
struct lvltexts {
  char before[9][33];
  char after[9][33];
};

}  // namespace

void wwpapconv(wwstate* w, const wwpap* p, int32_t right, cwpfmt* f, cwchfmt* c) {
  if (p->jcset) {
    f->alignset = 1;
    f->align = p->jc >= 0 && p->jc <= 3 ? p->jc : 0;
  }
  if (p->dyaLineset) {
    if (p->dyaLine > 0) {
      f->lsset = 1;
      f->linespc = p->dyaLine;
    } else if (p->dyaLine < 0) {
      c->lhset = 1;
      c->linehgt = -p->dyaLine;
    }
  }
  if (p->dyaAfterset && p->dyaAfter != 0) {
    f->afterset = 1;
    f->after = p->dyaAfter;
  }
  if (p->dyaBeforeset && p->dyaBefore != 0) {
    f->beforeset = 1;
    f->before = p->dyaBefore;
  }
  if (p->dxaLeftset || p->dxaLeft1set) {
    f->indset = 1;
    f->ind1st = p->dxaLeft + p->dxaLeft1;
    f->indleft = p->dxaLeft;
  }
  if (p->dxaRightset) {
    f->indset = 1;
    f->indright = p->dxaRight;
  }
  if (p->fKeepset && p->fKeep) f->once3set = 1, f->once3 = 1;
  if (p->fKeepFollowset && p->fKeepFollow) f->once4set = 1, f->once4 = 1;
  if (p->fWidowControlset && p->fWidowControl) f->widowset = 1, f->widow = 3;
  const wwbrc* sides[4] = {&p->brcTop, &p->brcLeft, &p->brcBottom, &p->brcRight};
  const int32_t set[4] = {p->brcTopset, p->brcLeftset, p->brcBottomset, p->brcRightset};
  for (int i = 0; i < 4; i++) {
    if (!set[i]) continue;
    int colour;
    f->bord[i] = brcline(sides[i], &colour);
    bits(f->brgb[i], colour);
    f->bordset = 1;
  }
  if (p->shdset) {
    f->shadeset = 1;
    std::memset(&f->shade, 0, sizeof f->shade);
    f->shade.kind = 1;
    f->shade.v.pct = shadepct(p->shd.ipat);
    bits(f->shade.v.c1, p->shd.icoFore);
    bits(f->shade.v.c2, p->shd.icoBack);
  }
  // The tab stops: one at 0, the paragraph's own, then default stops up to
  // the right edge of the text. A default width of 0 or less gives none,
  // and the table stops when it is full.
  f->tabset = 1;
  f->tabmode = 0;
  int n = 0;
  f->tabs[n++] = {0, 0, nullptr, CW_ENCBYTE};
  int own = p->itbdMac < 0 ? 0 : p->itbdMac > WW_MAXTAB ? WW_MAXTAB : p->itbdMac;
  int32_t last = -1;
  for (int i = 0; i < own && n < kmaxtabs; i++) {
    int jc = p->rgtbd[i].jc;
    static const char* const kleader[5] = {nullptr, ".", "-", "_", "_"};
    int tlc = p->rgtbd[i].tlc;
    f->tabs[n++] = {p->rgdxaTab[i], jc >= 0 && jc <= 3 ? jc : 0, tlc >= 1 && tlc <= 4 ? kleader[tlc] : nullptr,
                    CW_ENCBYTE};
    last = p->rgdxaTab[i];
  }
  int32_t step = wwdxatab(w);
  if (step > 0) {
    for (int64_t at = last >= 0 ? static_cast<int64_t>(last) + step : step; at < right && n < kmaxtabs; at += step)
      f->tabs[n++] = {static_cast<int32_t>(at), 0, nullptr, CW_ENCBYTE};
  }
  f->ntabs = n;
}

void wwheadlvls(wwstate* w, cwpfmt* f, cwstylvl* lv) {
  // The level texts live in the buffer after the nine levels.
  auto* t = reinterpret_cast<lvltexts*>(lv + CW_NLEVELS);
  auto* p = static_cast<wwpap*>(wwalloc(w, sizeof(wwpap)));
  for (int k = 0; k < CW_NLEVELS; k++) {
    std::memset(p, 0, sizeof *p);
    wwstylepap(w, k + 1, p);
    const wwanld& a = p->anld;
    int nb = a.cxchTextBefore < 0 ? 0 : a.cxchTextBefore > 32 ? 32 : a.cxchTextBefore;
    int na = a.cxchTextAfter < 0 ? 0 : a.cxchTextAfter > 32 - nb ? 32 - nb : a.cxchTextAfter;
    std::memcpy(t->before[k], a.rgch, nb);
    t->before[k][nb] = 0;
    std::memcpy(t->after[k], a.rgch + nb, na);
    t->after[k][na] = 0;
    lv[k] = {numfmt(a.nfc), 1, a.fPrev ? 1 : 0, t->before[k], t->after[k], CW_ENCBYTE};
    f->lvl[k] = &lv[k];
  }
  wwfree(w, p);
}

void wwchpconv(wwstate* w, const wwchp* c, cwchfmt* f) {
  if (wwchpisset(c, WC_LANG)) {
    f->langset = 1;
    f->lang = wwchpv(c, WC_LANG);
  }
  if (on(c, WC_BOLD)) attr(f, 0, 1, 500);
  if (on(c, WC_ITALIC)) attr(f, 6, 7, 60);
  if (on(c, WC_OUTLINE)) attr(f, 16, -1, 0);
  if (on(c, WC_SMALLCAPS)) attr(f, 11, -1, 0);
  if (on(c, WC_CAPS)) attr(f, 10, -1, 0);
  if (on(c, WC_HIDDEN)) attr(f, 28, -1, 0);
  if (on(c, WC_RMARK)) attr(f, 17, -1, 0);
  if (on(c, WC_STRIKE)) attr(f, 8, 9, 45);
  if (on(c, WC_SHADOW)) attr(f, 18, -1, 0);
  if (w->ver == 6) {
    if (wwchpisset(c, WC_SUPSUB)) {
      if (wwchpv(c, WC_SUPSUB) == 1) attr(f, 12, 13, 60);
      if (wwchpv(c, WC_SUPSUB) == 2) attr(f, 14, 15, 60);
    }
  } else if (wwchpisset(c, WC_POS) && wwchpv(c, WC_POS) != 0) {
    // A position of 0 is the base line: no offset is written for it.
    int pos = wwchpv(c, WC_POS);
    if (pos > 0)
      attr(f, 12, 13, 20 * pos);
    else
      attr(f, 14, 15, -20 * pos);
  }
  if (wwchpisset(c, WC_COLOR)) {
    int ico = wwchpv(c, WC_COLOR);
    static const int kcode[15] = {0, 9, 11, 10, 13, 12, 14, 15, 1, 3, 2, 5, 4, 6, 7};
    if (ico == 16) {
      f->colset = 1;
      f->c1[0] = f->c1[1] = f->c1[2] = 192;
    } else if (ico >= 1 && ico <= 15) {
      int code = kcode[ico - 1];
      int full = (code & 8 ? 128 : 0) | 127;
      f->colset = 1;
      f->c1[0] = code & 4 ? full : 0;
      f->c1[1] = code & 2 ? full : 0;
      f->c1[2] = code & 1 ? full : 0;
    }
  }
  if (wwchpisset(c, WC_ULINE) && wwchpv(c, WC_ULINE) != 0) {
    static const int kul[5] = {1, 1, 0, 3, 7};
    int k = wwchpv(c, WC_ULINE);
    attr(f, 2, 3, k >= 1 && k <= 4 ? kul[k] : 1);
  }
  if (wwchpisset(c, WC_SPACING)) attr(f, 19, 20, wwchpv(c, WC_SPACING));
}

int wwstshemit(wwstate* w, int32_t right) {
  int count = wwstdcount(w);
  char name[WW_STDNAME];
  auto* pap = static_cast<wwpap*>(wwalloc(w, sizeof(wwpap)));
  for (int i = 0; i < count; i++) {
    int sti, sgc;
    wwstdget(w, i, &sti, &sgc, nullptr, name, nullptr, nullptr);
    if (!name[0]) continue;
    int s = w->ver == 6 ? i : wwistdstc(w, i);
    cwstyledesc d{};
    d.version = 1;
    d.nameenc = wwfontenc(w);
    wwchp chp;
    auto* cf = static_cast<cwchfmt*>(wwalloc(w, sizeof(cwchfmt)));
    cwpfmt* pf = nullptr;
    cwstylvl* lv = nullptr;
    if (sgc == 1) {
      std::memset(pap, 0, sizeof *pap);
      wwstylepap(w, s, pap);
      wwstylechp(w, s, &chp);
      chp.v[2 * WC_FONT - 1] = 1;
      chp.v[2 * WC_SIZE - 1] = 1;
      pf = static_cast<cwpfmt*>(wwalloc(w, sizeof(cwpfmt)));
      if (w->ver == 6 && sti >= 1 && sti <= 9 && pap->anldset) {
        lv = static_cast<cwstylvl*>(wwalloc(w, CW_NLEVELS * sizeof(cwstylvl) + sizeof(lvltexts)));
        pf->lvlset = 1;
        pf->unused = 2;
        wwheadlvls(w, pf, lv);
      }
      wwpapconv(w, pap, right, pf, cf);
      d.kind = 0;
      d.para = pf;
    } else if (sgc == 2) {
      std::memset(&chp, 0, sizeof chp);
      wwstylechpx(w, s, &chp, 1);
      if (std::strcmp(name, "Default Paragraph Font") != 0) {
        chp.v[2 * WC_FONT - 1] = 1;
        chp.v[2 * WC_SIZE - 1] = 1;
      }
      d.kind = 1;
    } else {
      wwfree(w, cf);
      continue;
    }
    fontsize(w, &chp, &d);
    wwchpconv(w, &chp, cf);
    cutcomma(name);
    d.name = name;
    d.chr = cf;
    int key = cwstyledef(w->run, &d);
    wwstdsetkey(w, i, key < 0 ? -1 : key);
    wwfree(w, cf);
    if (pf) wwfree(w, pf);
    if (lv) wwfree(w, lv);
  }
  wwfree(w, pap);
  w->stemitted = 1;
  return count;
}

void wwstyleemit(wwstate* w, int istd) {
  if (!w->stemitted) return;
  int pos = w->ver == 6 ? istd : wwstcmap(w, istd);
  int key = wwstdkey(w, pos);
  if (key != -1) cwstyleuse(w->run, key);
}
