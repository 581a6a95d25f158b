// List levels: nine per paragraph format, defined once by a reader and then
// numbered item by item; a number goes between records 14576 and 14853 in
// its level's own formatting, deeper levels restart, and the definitions of
// all nine levels travel in record 4560. Also the number texts: decimal,
// letters, roman numerals, ordinals and English words.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstdio>
#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

bool keep(const char* text) { return text == CW_KEEPTEXT; }

// A copy of a text, or null for none or an empty one.
char* dup(cvrun* run, const char* s, int enc) { return s ? cvstrdup(run, s, enc) : nullptr; }

// An empty text is no text.
const char* norm(cvrun* run, const char* s, int enc) { return s && cvstrlen(run, s, enc) > 0 ? s : nullptr; }

void drop(cvrun* run, char*& s) {
  if (s) cvfree(run, s);
  s = nullptr;
}

void dropfmt(cvrun* run, cwchfmt*& c) {
  if (c) cvfree(run, c);
  c = nullptr;
}

bool sametext(cvrun* run, const char* given, const char* stored, int enc) {
  return cvstreq(run, norm(run, given, enc), stored, enc) == 1;
}

// Whether a definition changes a stored level in anything it compares.
bool differs(cvrun* run, const cwlistlvl& l, const cwlistdesc& d) {
  if (d.fmt != -1 && d.fmt != l.fmt) return true;
  if (d.higher != -1 && d.higher != l.higher) return true;
  if (d.start != -1 && d.start - 1 != l.base) return true;
  if (d.enc != l.enc) return true;
  if (!keep(d.before) && !sametext(run, d.before, l.before, d.enc)) return true;
  if (!keep(d.after) && !sametext(run, d.after, l.after, d.enc)) return true;
  if (d.version < 2) return false;
  if (d.ownfont != l.ownfont || d.ownsize != l.ownsize || d.owncp != l.owncp) return true;
  if (d.ownfont == 1 && (d.fontenc != l.fontenc || d.fontnum != l.fontnum ||
                         !sametext(run, d.fontname, l.fontname, d.fontenc)))
    return true;
  if (d.ownsize == 1 && d.size != l.size) return true;
  if (d.owncp == 1 && d.cp != l.cp) return true;
  if ((d.indent < 0 ? 0 : d.indent) != l.indent) return true;
  if (d.chfmt && l.chfmt) {
    const cwchfmt &a = *d.chfmt, &b = *l.chfmt;
    if ((a.attrset != 0) != (b.attrset != 0) || a.lhset != b.lhset || a.langset != b.langset) return true;
    if ((a.lhset && a.linehgt != b.linehgt) || (a.langset && a.lang != b.lang)) return true;
  }
  return false;
}

// A level's text, in the level's own code page when it has one.
void leveltext(cvrun* run, const cwlistlvl& l, const char* s) {
  if (!s) return;
  cwstate* w = writer(run);
  int cp = run->codepage, strcp = w->strcp;
  if (l.owncp == 1) {
    w->strcp = l.cp;
    cwcodepage(run, l.cp);
  }
  cwstr(run, s, l.enc);
  if (l.owncp == 1) {
    cwcodepage(run, cp);
    w->strcp = strcp;
  }
}

// A text of a number, its width counted when the number starts at an indent.
void itemtext(cvrun* run, const cwlistlvl& l, const char* s, bool count) {
  if (!s) return;
  leveltext(run, l, s);
  if (count)
    writer(run)->para.linepos += l.enc == CW_ENCBYTE ? cwstrwidth(run, s) : 144 * cvstrlen(run, s, l.enc);
}

void number(cvrun* run, int fmt, int n) {
  switch (fmt) {
    case 0:
    case 7: cwnumdec(run, n); break;
    case 2: cwnumlalpha(run, n); break;
    case 3: cwnumualpha(run, n); break;
    case 4: cwnumroman(run, n, 1); break;
    case 5: cwnumroman(run, n, 0); break;
    case 8: cwnumord(run, n); break;
    case 9: cwnumwords(run, n); break;
    default: break;
  }
}

// A character written raw, its width counted.
void putcounted(cvrun* run, int c) {
  cwstate* w = writer(run);
  cvsputc(run, run->out, c);
  if (!w->nowidth) w->para.linepos += cwwidth(run, c);
}

void alpha(cvrun* run, int n, int a) {
  if (n < 1) return;
  for (; n > 26; n -= 26) putcounted(run, a);
  putcounted(run, a + n - 1);
}

bool issymbol(const cwfont* f) {
  return f && f->enc == CW_ENCBYTE && f->name && cvstristr(f->name, "symbol") == f->name && !f->name[6];
}

}  // namespace

void cwlvldrop(cvrun* run, cwlistlvl*& l) {
  if (!l) return;
  drop(run, l->before);
  drop(run, l->after);
  drop(run, l->fontname);
  dropfmt(run, l->chfmt);
  cvfree(run, l);
  l = nullptr;
}

cwlistlvl* cwlvldup(cvrun* run, const cwlistlvl* l) {
  if (!l) return nullptr;
  auto* c = static_cast<cwlistlvl*>(cvalloc(run, sizeof(cwlistlvl)));
  if (!c) return nullptr;
  *c = *l;
  c->before = dup(run, l->before, l->enc);
  c->after = dup(run, l->after, l->enc);
  c->fontname = dup(run, l->fontname, l->fontenc);
  c->chfmt = l->chfmt ? cwchfmtcopy(run, l->chfmt) : nullptr;
  return c;
}

void cwlvlfree(cvrun* run, cwparafmt* f) {
  for (cwlistlvl*& l : f->lvl) cwlvldrop(run, l);
}

namespace {

// Whether two owned texts of an encoding are the same bytes.
bool samebytes(cvrun* run, const char* a, const char* b, int enc) {
  if (!a || !b) return a == b;
  size_t n = cvstrlen(run, a, enc);
  return n == cvstrlen(run, b, enc) && std::memcmp(a, b, n) == 0;
}

// Whether a level already holds what a copy of another would: every
// paragraph copies the list levels of the one before, and a copy made
// anew each time cost more than the paragraph's text on pages of many
// list items.
bool samelvl(cvrun* run, const cwlistlvl* a, const cwlistlvl* b) {
  if (!a || !b) return a == b;
  if (a->base != b->base || a->counter != b->counter || a->fmt != b->fmt || a->higher != b->higher ||
      a->enc != b->enc || a->ownfont != b->ownfont || a->fontenc != b->fontenc ||
      a->fontnum != b->fontnum || a->ownsize != b->ownsize || a->size != b->size ||
      a->indent != b->indent || a->owncp != b->owncp || a->cp != b->cp)
    return false;
  if (!samebytes(run, a->before, b->before, a->enc) || !samebytes(run, a->after, b->after, a->enc) ||
      !samebytes(run, a->fontname, b->fontname, a->fontenc))
    return false;
  // Character changes of equal bytes are equal; anything else (even a set
  // with nothing in it, which a copy leaves out) is copied again.
  if (!a->chfmt || !b->chfmt) return !a->chfmt && !b->chfmt;
  return std::memcmp(a->chfmt, b->chfmt, sizeof *a->chfmt) == 0;
}

// An owned text made to hold the bytes of another: kept when it already
// does in the same encoding, else replaced by a copy.
void retext(cvrun* run, char*& own, int ownenc, const char* want, int enc) {
  if (ownenc == enc && samebytes(run, own, want, enc)) return;
  drop(run, own);
  own = dup(run, want, enc);
}

// A level made a copy of another in its own block: a numbered list moves
// its counter with every item, and a copy made anew for each one allocated
// the level and its texts again.
void lvlassign(cvrun* run, cwlistlvl* to, const cwlistlvl* from) {
  char *before = to->before, *after = to->after, *fontname = to->fontname;
  int enc = to->enc, fontenc = to->fontenc;
  dropfmt(run, to->chfmt);
  *to = *from;
  to->before = before, to->after = after, to->fontname = fontname;
  retext(run, to->before, enc, from->before, from->enc);
  retext(run, to->after, enc, from->after, from->enc);
  retext(run, to->fontname, fontenc, from->fontname, from->fontenc);
  to->chfmt = from->chfmt ? cwchfmtcopy(run, from->chfmt) : nullptr;
}

}  // namespace

void cwlvlcopy(cvrun* run, cwparafmt* to, const cwparafmt* from) {
  for (int i = 0; i < CW_NLEVELS; i++) {
    if (!to->lvl[i] && !from->lvl[i]) continue;
    if (samelvl(run, to->lvl[i], from->lvl[i])) continue;
    if (to->lvl[i] && from->lvl[i]) {
      lvlassign(run, to->lvl[i], from->lvl[i]);
      continue;
    }
    cwlvldrop(run, to->lvl[i]);
    to->lvl[i] = cwlvldup(run, from->lvl[i]);
  }
}

cwchfmt* cwchfmtcopy(cvrun* run, const cwchfmt* c) {
  if (!c || !(c->attrset || c->lhset || c->colset || c->langset || c->shadeset || c->bordset)) return nullptr;
  auto* n = static_cast<cwchfmt*>(cvalloc(run, sizeof(cwchfmt)));
  if (!n) return nullptr;
  std::memset(n, 0, sizeof *n);
  if ((n->attrset = c->attrset)) std::memcpy(n->attr, c->attr, sizeof n->attr);
  if ((n->lhset = c->lhset)) n->linehgt = c->linehgt;
  if ((n->colset = c->colset)) {
    std::memcpy(n->c1, c->c1, sizeof n->c1);
    std::memcpy(n->c2, c->c2, sizeof n->c2);
  }
  if ((n->langset = c->langset)) n->lang = c->lang;
  if ((n->shadeset = c->shadeset)) n->shade = c->shade;
  if ((n->bordset = c->bordset)) {
    std::memcpy(n->bord, c->bord, sizeof n->bord);
    std::memcpy(n->brgb, c->brgb, sizeof n->brgb);
  }
  return n;
}

void cwlistinit(cvrun* run) {
  cwstate* w = writer(run);
  cwlvlfree(run, &w->para);
  if (cvaddcleanup(run, cwlistfree) == 0) w->listcb = 1;
}

void cwlistfree(cvrun* run) {
  if (run->writer) cwlvlfree(run, &run->writer->para);
}

int cwlistdef(cvrun* run, const cwlistdesc* d) {
  if (d->level < 1 || d->level > CW_NLEVELS) return -1;
  cwstate* w = writer(run);
  if (!w->listcb) cwlistinit(run);
  cwlistlvl*& l = w->para.lvl[d->level - 1];
  if (l && !differs(run, *l, *d)) return 0;
  if (!l) {
    l = static_cast<cwlistlvl*>(cvalloc(run, sizeof(cwlistlvl)));
    if (!l) return -1;
    std::memset(l, 0, sizeof *l);
  }
  if (!keep(d->before)) drop(run, l->before);
  if (!keep(d->after)) drop(run, l->after);
  drop(run, l->fontname);
  dropfmt(run, l->chfmt);
  if (d->start != -1) l->base = l->counter = d->start - 1;
  if (d->fmt != -1) l->fmt = d->fmt;
  if (d->higher != -1) l->higher = d->higher;
  if (!keep(d->before)) l->before = dup(run, d->before, d->enc);
  if (!keep(d->after)) l->after = dup(run, d->after, d->enc);
  l->enc = d->enc;
  if (d->version < 2) {
    l->ownfont = l->ownsize = l->owncp = l->indent = 0;
  } else {
    l->chfmt = cwchfmtcopy(run, d->chfmt);
    l->ownfont = d->ownfont;
    if (d->ownfont == 1) {
      l->fontname = dup(run, d->fontname, d->fontenc);
      l->fontenc = d->fontenc;
      l->fontnum = d->fontnum;
    }
    l->ownsize = d->ownsize;
    if (d->ownsize == 1) l->size = d->size;
    l->indent = d->indent < 0 ? 0 : d->indent;
    l->owncp = d->owncp;
    if (d->owncp == 1) l->cp = d->cp;
  }
  cwparapend(run, CW_PLEVELS);
  return 0;
}

void cwlistnum(cvrun* run, int level) {
  cwstate* w = writer(run);
  cwparafmt& p = w->para;
  if (level < 1 || level > CW_NLEVELS || !p.lvl[level - 1]) return;
  int a = level - 1;
  cwlistlvl* l = p.lvl[a];
  // The text after the number starts at a stop of its own.
  int start = p.linepos, target = start + l->indent;
  if (l->indent) {
    int at = p.tabs.mode == 0 ? target - p.lmar : target;
    if (!cwtstopfind(run, at, nullptr)) cwtstopadd(run, at, 0, nullptr, CW_ENCBYTE);
  }
  cwflushpending(run);
  for (int j = a + 1; j < CW_NLEVELS && p.lvl[j]; j++) p.lvl[j]->counter = p.lvl[j]->base;
  int first = a;
  while (first > 0 && p.lvl[first]->higher && p.lvl[first - 1]) first--;
  cwattrallof(run);
  cwdecrec(run, 14576, {level});
  l->counter++;
  p.lastlvl = a;
  for (int j = first; j < a; j++)
    if (p.lvl[j]->counter <= p.lvl[j]->base) p.lvl[j]->counter = p.lvl[j]->base + 1;
  const cwlistlvl* f = p.lvl[first];
  cwlvlfont(run, f);
  bool count = f->indent != 0;
  for (int j = first; j <= a; j++) {
    const cwlistlvl& s = *p.lvl[j];
    itemtext(run, s, s.before, count);
    number(run, s.fmt, s.counter);
    itemtext(run, s, s.after, count);
  }
  if (f->chfmt) cwlvloff(run, f->chfmt);
  cwrecone(run, 14853);
  if (l->indent) {
    for (int x = start; x < target;) {
      int s = cwtstopnext(run, x, 1, nullptr);
      if (s == -1) break;
      cwrecone(run, 2100);
      p.linepos = x = s;
    }
  }
  cwattrallon(run);
}

void cwlvlfont(cvrun* run, const cwlistlvl* l) {
  cwstate* w = writer(run);
  if (l->ownfont == 1 || l->ownsize == 1) {
    const cwfont* f = nullptr;
    if (l->ownfont == 1) f = l->fontname ? cwfontfind(run, l->fontname, l->fontenc) : cwfontnum(run, l->fontnum);
    if (!f) f = w->font;
    int size = l->ownsize == 1 ? l->size : w->size;
    if (size == 0) size = 240;
    // A symbol face would show the number's digits as symbols.
    if (f && !issymbol(f)) cwfontrecof(run, f, size);
  }
  const cwchfmt* c = l->chfmt;
  if (!c) return;
  if (c->lhset) cwdecrec(run, 8652, {c->linehgt});
  if (c->bordset) cwbordrec(run, 2, cwnibbles(c->bord), c->brgb);
  if (c->shadeset) cwshaderec(run, 0, c->shade.v);
  if (c->colset && c->c1[0] != -1 && c->c1[1] != -1 && c->c1[2] != -1) {
    int32_t c1[3], c2[3];
    std::memcpy(c1, c->c1, sizeof c1);
    std::memcpy(c2, c->c2, sizeof c2);
    cwcolourrec(run, c1, c2);
  }
  if (c->langset) cwdecrec(run, 7571, {c->lang});
  if (c->attrset) cwchfmton(run, c, false);
}

void cwlvloff(cvrun* run, const cwchfmt* c) {
  if (c->attrset) cwchfmtoff(run, c);
  if (c->colset) cwrecone(run, 12389);
  if (c->langset) cwdecrec(run, 7571, {writer(run)->deflang});
  if (c->shadeset) cwdecrec(run, 4371, {0, 0});
  if (c->bordset) cwbordrec(run, 2, 0, nullptr);
  if (c->lhset) cwdecrec(run, 8652, {0});
}

void cwlvlrec(cvrun* run) {
  const cwparafmt& p = writer(run)->para;
  cwrecbeg(run, 4560);
  cwparint(run, CW_NLEVELS);
  for (const cwlistlvl* l : p.lvl) {
    if (!l) {
      cwparint(run, 1);
      cwendfield(run);
      cwparint(run, 0);
      cwparint(run, 0);
      cvsputc(run, run->out, '.');
      cwendfield(run);
      cwparint(run, 0);
      continue;
    }
    cwparint(run, l->base + 1);
    leveltext(run, *l, l->before);
    cwendfield(run);
    cwparint(run, l->fmt);
    cwparint(run, 0);
    leveltext(run, *l, l->after);
    cwendfield(run);
    cwparint(run, l->higher);
  }
  cwrecend(run);
}

void cwnumdec(cvrun* run, int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", n);
  cwputs(run, buf);
}

void cwnumlalpha(cvrun* run, int n) { alpha(run, n, 'a'); }
void cwnumualpha(cvrun* run, int n) { alpha(run, n, 'A'); }

void cwnumord(cvrun* run, int n) {
  cwnumdec(run, n);
  long long v = n < 0 ? -static_cast<long long>(n) : n;
  // The teens take "th" in every hundred: 11th, 112th, 1013th.
  int tens = static_cast<int>(v % 100), unit = static_cast<int>(v % 10);
  const char* suffix = "th";
  if (tens < 11 || tens > 13) suffix = unit == 1 ? "st" : unit == 2 ? "nd" : unit == 3 ? "rd" : "th";
  cwputs(run, suffix);
}

void cwnumwords(cvrun* run, int n) {
  static const char* const ones[] = {"Zero",    "One",     "Two",       "Three",    "Four",
                                     "Five",    "Six",     "Seven",     "Eight",    "Nine",
                                     "Ten",     "Eleven",  "Twelve",    "Thirteen", "Fourteen",
                                     "Fifteen", "Sixteen", "Seventeen", "Eighteen", "Nineteen"};
  static const char* const tens[] = {"", "", "Twenty", "Thirty", "Forty", "Fifty", "Sixty", "Seventy", "Eighty", "Ninety"};
  if (n < 0 || n > 9998) return;
  if (n == 0) {
    cwputs(run, ones[0]);
    return;
  }
  if (n >= 1000) {
    cwputs(run, ones[n / 1000]);
    cwputs(run, " Thousand ");
  }
  if (int h = n % 1000 / 100) {
    cwputs(run, ones[h]);
    cwputs(run, " Hundred ");
  }
  int r = n % 100;
  if (r >= 20) {
    cwputs(run, tens[r / 10]);
    cwstate* w = writer(run);
    if (!w->nowidth) w->para.linepos += cwwidth(run, ' ');
    if (r % 10) {
      cwputs(run, "-");
      cwputs(run, ones[r % 10]);
    }
  } else if (r > 0) {
    cwputs(run, ones[r]);
  }
}

void cwnumroman(cvrun* run, int n, int lower) {
  char buf[24];
  cvroman(n, buf, lower);
  cwputs(run, buf);
}

void cvroman(int n, char* buf, int lower) {
  // One, five and ten of each decade, from the units up.
  static const char letters[] = "IVXLCDMQWY";
  char* o = buf;
  int v = n < 0 ? 0 : n % 100000;
  for (int d = 4, scale = 10000; d >= 0; d--, scale /= 10) {
    int digit = v / scale % 10;
    char one = letters[2 * d], five = letters[2 * d + 1];
    // The ten thousands have no letter for ten of them.
    char ten = 2 * d + 2 < 10 ? letters[2 * d + 2] : 0;
    if (digit == 9) {
      *o++ = one;
      if (ten) *o++ = ten;
    } else if (digit == 4) {
      *o++ = one;
      *o++ = five;
    } else {
      if (digit >= 5) *o++ = five;
      for (int k = 0; k < digit % 5; k++) *o++ = one;
    }
  }
  *o = '\0';
  if (lower)
    for (char* p = buf; *p; p++) *p = static_cast<char>(*p + 32);
}

int cwstrwidth(cvrun* run, const char* s) {
  int sum = 0;
  for (; s && *s; s++) sum += cwwidth(run, static_cast<unsigned char>(*s));
  return sum;
}
