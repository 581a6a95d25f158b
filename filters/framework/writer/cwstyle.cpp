// The style table: up to 256 styles a reader defines, each owning copies of
// its formatting; switching them on and off; the definitions the prologue
// writes, and the inline definitions some readers write themselves.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <algorithm>
#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

template <class T>
T* zalloc(cvrun* run) {
  auto* p = static_cast<T*>(cvalloc(run, sizeof(T)));
  if (p) std::memset(static_cast<void*>(p), 0, sizeof(T));
  return p;
}

// A copy of a string that may be absent; false when a present one could not
// be copied.
bool dupstr(cvrun* run, const char* s, int enc, char** out) {
  *out = nullptr;
  if (!s || cvstrlen(run, s, enc) == 0) return true;
  *out = cvstrdup(run, s, enc);
  return *out != nullptr;
}

void freepara(cvrun* run, cwstypara* p) {
  if (!p) return;
  for (const cwstylvl* l : p->g.lvl) {
    if (!l) continue;
    cwrelease(run, l->before);
    cwrelease(run, l->after);
    cwrelease(run, l);
  }
  cwtstopfree(run, &p->tabs);
  cwrelease(run, p);
}

void freefield(cvrun* run, cwfieldstate* f) {
  if (!f) return;
  for (char* a : f->args) cwrelease(run, a);
  cwrelease(run, f);
}

void freestyle(cvrun* run, cwstyle* s) {
  cwrelease(run, s->name);
  cwrelease(run, s->fontname);
  freepara(run, s->para);
  cwrelease(run, s->chr);
  if (s->field) {
    // A field part given by streams owns them.
    if (!s->field->args[0])
      for (int h : s->field->streams)
        if (h >= 0) cvsclose(run, h);
    freefield(run, s->field);
  }
  cwrelease(run, s);
}

// The groups of a paragraph change set that are set; null when none is or
// memory ran out (*failed then).
cwstypara* copypara(cvrun* run, const cwpfmt* g, bool* failed) {
  *failed = false;
  auto* p = zalloc<cwstypara>(run);
  if (!p) {
    *failed = true;
    return nullptr;
  }
  cwpfmt& n = p->g;
  bool any = false;
  auto take = [&](int32_t set) { any = any || set; return set != 0; };
  if (take(g->marset)) n.marset = 1, n.lmar = g->lmar, n.rmar = g->rmar;
  if (take(g->alignset)) n.alignset = 1, n.align = g->align;
  if (take(g->lsset)) n.lsset = 1, n.linespc = g->linespc;
  if (take(g->ls2set)) n.ls2set = 1;
  n.spc2 = g->spc2;
  if (take(g->afterset)) n.afterset = 1, n.after = g->after;
  if (take(g->beforeset)) n.beforeset = 1, n.before = g->before;
  if (g->indset && (g->ind1st || g->indleft || g->indright)) {
    any = true;
    n.indset = 1, n.ind1st = g->ind1st, n.indleft = g->indleft, n.indright = g->indright;
  }
  if (take(g->once3set)) n.once3set = 1, n.once3 = g->once3;
  if (take(g->once4set)) n.once4set = 1, n.once4 = g->once4;
  if (take(g->pctset)) n.pctset = 1, n.pct1 = g->pct1, n.pct2 = g->pct2;
  if (take(g->widowset)) n.widowset = 1, n.widow = g->widow;
  if (take(g->bordset)) {
    n.bordset = 1;
    std::memcpy(n.bord, g->bord, sizeof n.bord);
    std::memcpy(n.brgb, g->brgb, sizeof n.brgb);
  }
  if (g->shadeset == 1) any = true, n.shadeset = 1, n.shade = g->shade;
  if (g->lvlset == 1) {
    any = true;
    n.lvlset = 1;
    for (int i = 0; i < CW_NLEVELS; i++) {
      const cwstylvl* from = g->lvl[i];
      if (!from) continue;
      auto* l = zalloc<cwstylvl>(run);
      char *b = nullptr, *a = nullptr;
      if (!l || !dupstr(run, from->before, from->enc, &b) || !dupstr(run, from->after, from->enc, &a)) {
        cwrelease(run, l);
        cwrelease(run, b);
        freepara(run, p);
        *failed = true;
        return nullptr;
      }
      *l = {from->fmt, from->start, from->value, b, a, from->enc};
      n.lvl[i] = l;
    }
  }
  if (g->tabset == 1) {
    any = true;
    n.tabset = 1;
    int count = std::clamp(g->ntabs, 0, CW_NTABS);
    const cwdeftab* sorted[CW_NTABS];
    for (int i = 0; i < count; i++) sorted[i] = &g->tabs[i];
    std::stable_sort(sorted, sorted + count, [](const cwdeftab* a, const cwdeftab* b) { return a->pos < b->pos; });
    cwtabtab& t = p->tabs;
    t.mode = g->tabmode;
    for (int i = 0; i < count; i++) {
      // Of two stops at one position the first stays.
      if (i > 0 && sorted[i]->pos == sorted[i - 1]->pos) continue;
      cwtabstop& s = t.stops[t.count++];
      s = {sorted[i]->pos, sorted[i]->kind, nullptr, sorted[i]->lenc};
      if (!dupstr(run, sorted[i]->leader, sorted[i]->lenc, &s.leader)) {
        freepara(run, p);
        *failed = true;
        return nullptr;
      }
    }
  }
  if (n.indset) {
    // The indents set stops of their own where the table has none.
    int base = n.marset ? n.lmar : writer(run)->defs.lmar;
    for (int pos : {n.ind1st, n.indleft})
      if (!cwtstopat(run, &p->tabs, pos, nullptr)) cwtstopins(run, &p->tabs, base, pos, 4, nullptr, CW_ENCBYTE);
    n.tabset = 1;
  }
  if (!any) {
    freepara(run, p);
    return nullptr;
  }
  return p;
}

cwfieldstate* copyfield(cvrun* run, const cwfielddesc* d, bool* failed) {
  *failed = false;
  auto* f = zalloc<cwfieldstate>(run);
  if (!f) {
    *failed = true;
    return nullptr;
  }
  f->version = d->version;
  f->kind = d->kind;
  f->subtype = d->subtype;
  f->closed = d->closed;
  f->enc = d->enc;
  for (int32_t& h : f->streams) h = -1;
  if (d->version >= 2) {
    if (d->args[0]) {
      for (int i = 0; i < 5 && d->args[i]; i++)
        if (!(f->args[i] = cvstrdup(run, d->args[i], d->enc)) && cvstrlen(run, d->args[i], d->enc) > 0) {
          freefield(run, f);
          *failed = true;
          return nullptr;
        }
    } else {
      for (int i = 0; i < 5 && d->streams[i] >= 0; i++) f->streams[i] = d->streams[i];
    }
  }
  return f;
}

void namerec(cvrun* run, int code, const cwstyle* s) {
  cwrecbeg(run, code);
  cwstr(run, s->name, s->nameenc);
  cwendfield(run);
  cwparint(run, s->key);
  cwparint(run, s->kind);
  cwrecend(run);
}

// Record 21299 opened with the name and key, and 17203 with the kind inside it.
void defhead(cvrun* run, const cwstyle* s) {
  cwrecbeg(run, 21299);
  cwstr(run, s->name, s->nameenc);
  cwendfield(run);
  cwparint(run, s->key);
  cwdecrec(run, 17203, {s->kind});
  cwendfield(run);
}

cwstyle* byname(cvrun* run, const char* name, int enc) {
  for (cwstyle* s = writer(run)->styles; s; s = s->next) {
    bool same = enc == CW_ENC16 ? cvwequal(run, s->name, name) : cvstreq(run, s->name, name, enc);
    if (same) return s;
  }
  return nullptr;
}

}  // namespace

cwstyle* cwstylekey(cvrun* run, int key) {
  for (cwstyle* s = writer(run)->styles; s; s = s->next)
    if (s->key == key) return s;
  return nullptr;
}

int cwstyledef(cvrun* run, const cwstyledesc* d) {
  cwstate* w = writer(run);
  if (w->nstyles >= CW_NSTYLES) return -1;
  auto* s = zalloc<cwstyle>(run);
  if (!s) return -1;
  if (w->nstyles == 0) cvaddcleanup(run, cwstylefree);
  if (!dupstr(run, d->name, d->nameenc, &s->name)) {
    cwrelease(run, s);
    return -1;
  }
  // From here the key is used, whatever follows.
  s->key = w->nstyles++;
  s->kind = d->kind;
  s->nameenc = d->nameenc;
  s->selffmt = d->selffmt;
  s->savedsize = 240;
  if (d->selffmt != 1) {
    bool failed = false;
    if (d->kind == 0 && d->para) s->para = copypara(run, d->para, &failed);
    if (!failed && d->chr) {
      s->chr = cwchfmtcopy(run, d->chr);
      failed = !s->chr && (d->chr->attrset || d->chr->lhset || d->chr->colset || d->chr->langset ||
                           d->chr->shadeset || d->chr->bordset);
    }
    s->sizeflag = d->sizeflag;
    s->size = d->size;
    if (!failed && d->fontflag) {
      s->fontflag = 1;
      s->fontenc = d->fontenc;
      if (d->fontname) {
        failed = !dupstr(run, d->fontname, d->fontenc, &s->fontname);
        int n = cwfontbyid(run, d->fontname, d->fontenc);
        s->fontnum = n < 0 ? 0 : n;
      } else {
        s->fontnum = d->fontnum;
      }
    }
    s->on = d->on;
    s->undo = d->undo;
    if (!failed && d->field) s->field = copyfield(run, d->field, &failed);
    if (failed) {
      freestyle(run, s);
      return -1;
    }
  }
  if (w->stylelast)
    w->stylelast->next = s;
  else
    w->styles = s;
  w->stylelast = s;
  w->curpara = w->curchar = nullptr;
  return s->key;
}

void cwstyleonfmt(cvrun* run, cwstyle* s) {
  cwstate* w = writer(run);
  if (s->para && s->para->g.beforeset)
    for (int i = (s->para->g.before + 120) / 240; i > 0; i--) cwdecrec(run, 12744, {1});
  namerec(run, 26259, s);
  if (s->on) s->on(run);
  s->savedsize = w->size;
  s->savedfont = w->font;
  cwstylefmt(run, s);
  cwrecone(run, 5779);
  if (s->kind == 1)
    w->curchar = s;
  else
    w->curpara = s;
  w->para.sub |= CW_PBOUND;
}

void cwstyleoffrst(cvrun* run, cwstyle* s) {
  cwstate* w = writer(run);
  namerec(run, 6803, s);
  cwstyleunfmt(run, s);
  cwrecone(run, 5779);
  if (w->curpara && s->savedfont) {
    // The font and size in force before this style come back.
    w->font = s->savedfont;
    w->size = s->savedsize;
    cwcharpend(run, CW_CFONT);
  }
  w->curchar = nullptr;
}

void cwstyleuse(cvrun* run, int key) {
  cwstate* w = writer(run);
  cwstyle* s = cwstylekey(run, key);
  if (!s) return;
  cwflushpending(run);
  if (s->kind == 1 && w->curchar) {
    if (w->curchar == s) return;
    cwstyleoffrst(run, w->curchar);
  }
  cwstyleonfmt(run, s);
}

void cwstyleusen(cvrun* run, const char* name, int enc) {
  cwflushpending(run);
  if (cwstyle* s = byname(run, name, enc)) cwstyleuse(run, s->key);
}

void cwstyleoffkey(cvrun* run, int key) {
  cwstyle* s = cwstylekey(run, key);
  if (!s || s->kind != 1) return;
  cwflushpending(run);
  cwstyleoffrst(run, s);
}

cwstyle* cwstyleoffn(cvrun* run, const char* name, int enc) {
  cwflushpending(run);
  cwstyle* s = byname(run, name, enc);
  if (!s) return nullptr;
  if (s->kind != 1) return s;
  cwstyleoffrst(run, s);
  return nullptr;
}

void cwstyleon(cvrun* run, int key) {
  cwstyle* s = cwstylekey(run, key);
  if (!s) return;
  cwflushpending(run);
  namerec(run, 26259, s);
  writer(run)->curpara = s;
  writer(run)->para.sub |= CW_PBOUND;
}

void cwstyleoff(cvrun* run, int key) {
  cwstyle* s = cwstylekey(run, key);
  if (!s) return;
  cwflushpending(run);
  namerec(run, 6803, s);
  writer(run)->curpara = s;
  writer(run)->para.sub |= CW_PBOUND;
}

void cwstyleclose(cvrun* run) {
  cwflushpending(run);
  cwrecone(run, 5779);
  writer(run)->curpara = nullptr;
}

void cwstyleend(cvrun* run) {
  cwstyle* s = writer(run)->curpara;
  if (!s) return;
  namerec(run, 6803, s);
  cwstyleunfmt(run, s);
  cwrecone(run, 5779);
}

void cwstyledefbeg(cvrun* run, int key) {
  cwstate* w = writer(run);
  if (!w->prolwritten) {
    w->inlinestyles = 1;
    cwprologue(run);
    w->prolwritten = 1;
  }
  cwdefsreset(run);
  cwflushpending(run);
  cwstyle* s = cwstylekey(run, key);
  if (!s) return;
  defhead(run, s);
  w->para.sub |= CW_PBOUND;
  w->para.linepos = w->para.taborg = w->para.lmar;
}

void cwstyledefsep(cvrun* run) {
  cwstate* w = writer(run);
  cwflushpending(run);
  cwrecone(run, 16563);
  cwindreset(run);
  w->para.linepos = w->para.taborg = w->para.lmar;
  w->para.sub |= CW_PBOUND;
}

void cwstyledefend(cvrun* run) {
  cwstate* w = writer(run);
  cwflushpending(run);
  cwcolfree(run);
  cwtabcleanup(run);
  cvsputc(run, run->out, COM_RS);
  cwdefsapply(run);
  w->para.sub |= CW_PBOUND;
  cwindreset(run);
}

void cwstyleprol(cvrun* run) {
  cwstate* w = writer(run);
  if (w->inlinestyles || !w->styles) return;
  // The definitions leave the formatting as they found it.
  cwsubbegin(run, -1);
  for (cwstyle* s = w->styles; s; s = s->next) {
    cwdefsreset(run);
    defhead(run, s);
    cwstylefmt(run, s);
    cwrecone(run, 16563);
    cwstyleparend(run, s);
    cwstyleunfmt(run, s);
    cvsputc(run, run->out, COM_RS);
  }
  cwsubend(run);
}

void cwstylefree(cvrun* run) {
  cwstate* w = writer(run);
  if (!w) return;
  for (cwstyle* s = w->styles; s;) {
    cwstyle* next = s->next;
    freestyle(run, s);
    s = next;
  }
  w->styles = w->stylelast = nullptr;
  w->curpara = w->curchar = nullptr;
}
