// The records a style writes: its formatting when it is switched on or
// defined, and the records that undo it. Each keeps the pending and written
// formats in step with what it wrote, so the next flush repeats nothing.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

// Both paragraph formats take a value.
template <class F>
void both(cwstate* w, F set) {
  set(w->para);
  set(w->paraw);
}

void leveltext(cvrun* run, const char* s, int enc) {
  cwstr(run, s, enc);
  cwendfield(run);
}

// Record 4560 of a style's levels; each level is also defined for the
// writer's lists.
void levels(cvrun* run, const cwpfmt& g) {
  cwrecbeg(run, 4560);
  cwparint(run, CW_NLEVELS);
  for (const cwstylvl* l : g.lvl) {
    if (l) {
      cwparint(run, l->fmt);
      leveltext(run, l->before, l->enc);
      cwparint(run, l->start);
      cwparint(run, 0);
      leveltext(run, l->after, l->enc);
      cwparint(run, l->value);
    } else {
      cwparint(run, 1);
      cwendfield(run);
      cwparint(run, 0);
      cwparint(run, 0);
      leveltext(run, ".", CW_ENCBYTE);
      cwparint(run, 0);
    }
  }
  cwrecend(run);
  for (int i = 0; i < CW_NLEVELS; i++) {
    const cwstylvl* l = g.lvl[i];
    cwlistdesc d{1, i + 1, l ? l->start : 0, l ? l->fmt : 1, l ? l->value : 0,
                 l ? l->before : nullptr, l ? l->after : nullptr, l ? l->enc : CW_ENCBYTE};
    cwlistdef(run, &d);
  }
}

bool boxlike(int kind) { return kind == 1 || kind == 2 || kind == 3 || kind == 10; }

void parapart(cvrun* run, cwstypara* sp) {
  cwstate* w = writer(run);
  const cwpfmt& g = sp->g;
  int width = w->page.width;
  if (g.alignset) {
    cwalignof(run, g.align);
    both(w, [&](cwparafmt& f) { f.align = g.align; });
  }
  if (g.beforeset) {
    cwdecrec(run, 6227, {g.before});
    both(w, [&](cwparafmt& f) { f.before = g.before; });
  }
  if (g.bordset) {
    cwbordrec(run, 0, cwnibbles(g.bord), g.brgb);
    both(w, [&](cwparafmt& f) {
      std::memcpy(f.bord, g.bord, sizeof f.bord);
      std::memcpy(f.brgb, g.brgb, sizeof f.brgb);
    });
  }
  if (g.shadeset == 1) {
    cwshaderec(run, 1, g.shade.v);
    both(w, [&](cwparafmt& f) { f.shade = g.shade.v; });
  }
  if (g.lvlset == 1) levels(run, g);
  if (g.widowset) {
    cwdecrec(run, 14839, {g.widow});
    both(w, [&](cwparafmt& f) { f.widow = g.widow; });
  }
  if (g.once3set) {
    cwdecrec(run, 16547, {g.once3});
    both(w, [&](cwparafmt& f) { f.once3 = g.once3; });
  }
  if (g.lsset) {
    cwdecrec(run, 17010, {0, g.linespc / 120, g.linespc, g.spc2});
    both(w, [&](cwparafmt& f) {
      f.linespc = g.linespc;
      f.spc2 = g.spc2;
    });
  }
  if (g.afterset) {
    cwdecrec(run, 6195, {g.after});
    w->paraw.after = g.after;
  }
  if (g.pctset) {
    cwdecrec(run, 26898, {0, 0, g.pct1, g.pct2});
    both(w, [&](cwparafmt& f) {
      f.pct1 = g.pct1;
      f.pct2 = g.pct2;
    });
  }
  if (g.marset) {
    cwdecrec(run, 13938, {10, 70, g.lmar / 144, (width - g.rmar) / 144, g.lmar, width - g.rmar});
    both(w, [&](cwparafmt& f) {
      f.lmar = g.lmar;
      f.rmar = g.rmar;
      f.linepos = f.taborg = g.lmar;
    });
  }
  if (g.tabset == 1) {
    cwtstopclear(run);
    both(w, [&](cwparafmt& f) {
      cwtstopfree(run, &f.tabs);
      cwtstopcopy(run, &f.tabs, &sp->tabs);
    });
    cwtstoprec(run);
  }
  if (g.indset) {
    int origin = g.marset ? g.lmar : boxlike(w->subkind) ? 0 : w->defs.lmar;
    both(w, [&](cwparafmt& f) {
      f.ind1st = g.ind1st;
      f.indleft = g.indleft;
      f.indright = g.indright;
      f.linepos = f.taborg = origin;
    });
    cwindrec(run);
  }
  w->parastart = 1;
}

void fieldbegin(cvrun* run, const cwfieldstate* f) {
  cwrecbeg(run, 20898);
  cwparhex2(run, cwfieldcode(f->kind, f->subtype, 0));
  bool streams = !f->args[0];
  for (int i = 0; i < 5 && i <= f->subtype; i++) {
    if (streams) {
      if (f->streams[i] < 0) break;
      cvscopy(run, f->streams[i], run->out);
    } else {
      if (!f->args[i]) break;
      cwstr(run, f->args[i], f->enc);
    }
    cwendfield(run);
  }
  cwrecend(run);
}

// The words of a change set's attribute group by slot of the character
// format: the on word and the value word (0 none).
constexpr int konword[CW_NATTR] = {1, 3, 5, 7, 9, 11, 12, 13, 15, 17, 18, 19, 20, 22, 24, 26, 27, 28, 29, 30};
constexpr int kvalword[CW_NATTR] = {2, 4, 4, 8, 10, 0, 0, 14, 16, 0, 0, 0, 21, 0, 0, 0, 0, 0, 0, 0};

bool differs3(const int32_t* a, const int32_t* b) { return std::memcmp(a, b, 3 * sizeof(int32_t)) != 0; }

void charpart(cvrun* run, cwchfmt* c) {
  cwcharfmt& p = writer(run)->chr;
  if (c->lhset && c->linehgt != p.linehgt) {
    cwdecrec(run, 8652, {c->linehgt});
    p.linehgt = c->linehgt;
  }
  if (c->bordset && std::memcmp(c->bord, p.bord, sizeof p.bord) != 0) {
    cwbordrec(run, 2, cwnibbles(c->bord), c->brgb);
    std::memcpy(p.bord, c->bord, sizeof p.bord);
    std::memcpy(p.brgb, c->brgb, sizeof p.brgb);
  }
  if (c->shadeset && c->shade.v.pct != p.shade.pct) {
    cwshaderec(run, 0, c->shade.v);
    p.shade = c->shade.v;
  }
  if (c->colset && differs3(c->c1, p.c1) && c->c1[0] != -1 && c->c1[1] != -1 && c->c1[2] != -1) {
    cwcolourrec(run, c->c1, c->c2);
    std::memcpy(p.c1, c->c1, sizeof p.c1);
    std::memcpy(p.c2, c->c2, sizeof p.c2);
  }
  if (c->langset && c->lang != p.lang) {
    cwdecrec(run, 7571, {c->lang});
    p.lang = writer(run)->chrw.lang = c->lang;
  }
}

void font(cvrun* run, const cwstyle* s) {
  cwstate* w = writer(run);
  if (!s->fontflag && !s->sizeflag) return;
  cwfont* f = nullptr;
  if (s->fontflag) f = s->fontname ? cwfontfind(run, s->fontname, s->fontenc) : cwfontnum(run, s->fontnum);
  if (!f) f = w->font;
  int size = s->sizeflag ? s->size : w->size;
  if (size < 1) size = 240;
  if (!f) return;
  cwfontrecof(run, f, size);
  w->font = w->fontw = f;
  w->size = w->sizew = size;
}

// The attribute words a change set switches on, as the pending format's slots.
void attributes(cvrun* run, const cwchfmt* c) {
  cwcharfmt& p = writer(run)->chr;
  if (!c->attrset) {
    for (cwattrword& a : p.attr) a.on = 0;
    return;
  }
  cwchfmton(run, c, false);
  // Marked on as the ordinary setters would, without their records.
  for (int i = 0; i < CW_NATTR; i++) {
    if (!c->attr[konword[i] - 1]) continue;
    p.attr[i].on = 1;
    p.attr[i].val = kvalword[i] ? c->attr[kvalword[i] - 1] : 0;
  }
  if (c->attr[2]) {
    int k = c->attr[3];
    p.ulstyle = k == 0 ? 0 : k == 2 ? 1 : k == 3 ? 3 : 2;
  }
  writer(run)->pending |= CW_PCHAR;
}

}  // namespace

int cwfieldcode(int kind, int subtype, int end) {
  switch (kind) {
    case 0: return subtype;
    case 1: return subtype + 32;
    case 2: return end ? subtype + 64 : 64;
    case 3: return subtype + 80;
    default: return 0;
  }
}

void cwstylefmt(cvrun* run, cwstyle* s) {
  cwstate* w = writer(run);
  if (s->para) parapart(run, s->para);
  if (s->field) fieldbegin(run, s->field);
  if (s->chr) charpart(run, s->chr);
  font(run, s);
  if (s->chr) {
    attributes(run, s->chr);
    w->chrw = w->chr;
  }
}

void cwstyleunfmt(cvrun* run, cwstyle* s) {
  cwstate* w = writer(run);
  if (s->field) cwhexrec(run, 20901, cwfieldcode(s->field->kind, s->field->subtype, 1));
  const cwchfmt* c = s->chr;
  if (!c) return;
  if (s->undo) s->undo(run);
  if (c->lhset) cwdecrec(run, 8652, {0});
  if (c->bordset) {
    cwbordrec(run, 2, 0, nullptr);
    std::memset(w->chr.bord, 0, sizeof w->chr.bord);
    std::memset(w->chrw.bord, 0, sizeof w->chrw.bord);
  }
  if (c->shadeset) {
    cwdecrec(run, 4371, {0, 0});
    w->chr.shade.pct = w->chrw.shade.pct = 0;
  }
  if (c->langset) {
    cwdecrec(run, 7571, {w->deflang});
    w->chr.lang = w->chrw.lang = w->deflang;
  }
  if (c->colset) {
    cwrecone(run, 12389);
    for (cwcharfmt* f : {&w->chr, &w->chrw})
      for (int i = 0; i < 3; i++) f->c1[i] = f->c2[i] = -1;
  }
  if (c->attrset) {
    cwchfmtoff(run, c);
    for (int i = 0; i < CW_NATTR; i++)
      if (c->attr[konword[i] - 1]) w->chr.attr[i].on = w->chrw.attr[i].on = 0;
  }
}

void cwstyleparend(cvrun* run, cwstyle* s) {
  cwstate* w = writer(run);
  if (!s->para) return;
  const cwpfmt& g = s->para->g;
  const cwrundefs& d = w->defs;
  if (g.alignset && g.align != d.align) {
    both(w, [&](cwparafmt& f) { f.align = d.align; });
    cwalignof(run, d.align);
  }
  if (g.bordset) {
    cwbordrec(run, 0, 0, nullptr);
    both(w, [&](cwparafmt& f) { std::memset(f.bord, 0, sizeof f.bord); });
  }
  if (g.shadeset == 1) {
    cwdecrec(run, 4371, {1, 0});
    both(w, [&](cwparafmt& f) { std::memset(&f.shade, 0, sizeof f.shade); });
  }
  if (g.beforeset) {
    cwdecrec(run, 6227, {0, 0});
    both(w, [&](cwparafmt& f) { f.before = 0; });
  }
  if (g.afterset) {
    cwdecrec(run, 6195, {0, 0});
    both(w, [&](cwparafmt& f) { f.after = 0; });
  }
  if (g.widowset) {
    cwrecone(run, 26103);
    both(w, [&](cwparafmt& f) { f.widow = d.widow; });
  }
  if (g.lsset || g.ls2set) {
    if (g.lsset) both(w, [&](cwparafmt& f) { f.linespc = d.linespc; });
    if (g.ls2set) both(w, [&](cwparafmt& f) { f.spc2 = 0; });
    cwrecbeg(run, 17010);
    cwparint(run, 0);
    cwparint(run, 0);
    cwparint(run, w->para.linespc);
    if (g.ls2set) cwparint(run, w->para.spc2);
    cwrecend(run);
  }
  if (g.marset) {
    both(w, [&](cwparafmt& f) {
      f.lmar = d.lmar;
      f.rmar = d.rmar;
    });
    int width = w->page.width;
    cwdecrec(run, 13938, {0, 0, d.lmar / 144, width / 144 - d.rmar / 144, d.lmar, width - d.rmar});
  }
  cwfontdflsel(run);
}
