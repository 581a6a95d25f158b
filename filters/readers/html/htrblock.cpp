// Block tags of the HTML reader: paragraphs, breaks, preformatted blocks,
// non-breaking text, rules and addresses; lists with their numbers and
// bullets; headings with their sizes and style rules.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

constexpr int kattr = 256;

int depth(const htrstate* s) { return htrdepth(s); }

// The depth as far as it indents.
int indepth(const htrstate* s) { return depth(s) > HTR_MAXINDENT ? HTR_MAXINDENT : depth(s); }

// The first rule found among the id, "elem." + class, "." + class and the
// element's own name; the name tried last when none is found.
htrrule* findrule(const char* id, const char* lower, const char* cls, const char* upper, char* name, int size) {
  const char* tries[4] = {nullptr, nullptr, nullptr, upper};
  char a[600], b[600];
  if (id && *id) tries[0] = id;
  if (cls && *cls) {
    std::snprintf(a, sizeof a, "%s.%s", lower, cls);
    std::snprintf(b, sizeof b, ".%s", cls);
    tries[1] = a;
    tries[2] = b;
  }
  for (const char* t : tries) {
    if (!t) continue;
    if (htrrule* r = htrrulefind(t)) {
      std::snprintf(name, size, "%s", t);
      return r;
    }
  }
  std::snprintf(name, size, "%s", upper);
  return nullptr;
}

void deftabs(cvrun* run, int step) {
  cwtstopclear(run);
  cwtstopkind(run, 1);
  for (int i = 0; i < 20; i++) cwtstopadd(run, i * step, 0, nullptr, CW_ENCBYTE);
}

void bullet(cvrun* run, int shape) {
  static const int cps[3][3] = {{819, 149, 819}, {437, 254, 819}, {437, 248, 819}};
  const int* b = cps[shape < 0 || shape > 2 ? 0 : shape];
  cwcodepage(run, b[0]);
  cwputc(run, b[1]);
  cwcodepage(run, b[2]);
}

int numfmt(const char* t) {
  if (std::strcmp(t, "A") == 0) return 3;
  if (std::strcmp(t, "a") == 0) return 2;
  if (std::strcmp(t, "i") == 0) return 4;
  if (std::strcmp(t, "I") == 0) return 5;
  return 0;
}

// A list level defined anew; a start value restarts its numbers even when
// the level is defined as it was (the writer keeps the count of an
// unchanged definition, which would number a second list on from the first).
void listlevel(cvrun* run, int level, int start, int fmt) {
  if (start != -1) {
    cwlistdesc other{};
    other.version = 1;
    other.level = level;
    other.start = start + 1;
    other.fmt = -1;
    other.higher = -1;
    other.before = other.after = CW_KEEPTEXT;
    other.enc = CW_ENCBYTE;
    cwlistdef(run, &other);
  }
  cwlistdesc d{};
  d.version = 1;
  d.level = level;
  d.start = start;
  d.fmt = fmt;
  d.higher = 0;
  d.before = nullptr;
  d.after = htrst(run)->optn ? "." : nullptr;
  d.enc = CW_ENCBYTE;
  cwlistdef(run, &d);
}

void preopen(cvrun* run, const char* closing) {
  htrstate* s = htrst(run);
  // A preformatted block starts on a line of its own, so that its first
  // word is not joined to the text before it.
  htrbreak(run, 0);
  char name[kattr], val[kattr];
  int width = 0;
  int a = htrattr(run, name, sizeof name);
  if (a == 1) {
    htrattrval(run, val, sizeof val);
    if (htrprefix(name, "width", 5)) {
      htrunquote(val);
      // A width in characters; beyond a thousand it only overflows.
      width = std::min(htrnum(val), 1000);
      if (width > 0) {
        cwlmargin(run, 1440);
        cwrmargin(run, s->pagew - 144 * width);
      }
    }
  }
  htrtagskip(run);
  if (width <= 0) {
    width = htrprewidth(run, closing);
    if (width > 0 && s->pagew - s->rmar < width) cwrmargin(run, s->pagew - width);
  }
  s->ws |= HTR_WSHARD | HTR_WSALL;
  s->savedfont = s->curfont;
  cwfontsel(run, s->fixedfont);
}

void preclose(cvrun* run) {
  htrstate* s = htrst(run);
  htrtagskip(run);
  s->ws &= ~(HTR_WSHARD | HTR_WSALL);
  s->curfont = s->savedfont;
  cwfontsel(run, s->curfont);
  htrbreak(run, 0);
  cwrmargin(run, 1440);
}

void pre(cvrun* run, int open, const char* closing) {
  if (open)
    preopen(run, closing);
  else
    preclose(run);
}

// The six headings share one algorithm.
struct heading {
  int n;
  int size;
  int bold;       // bold without a rule
  int stylekey;   // writer style applied first, -1 none
};
const heading kheads[7] = {{0, 0, 0, -1},   {1, 480, 1, -1}, {2, 360, 1, -1}, {3, 280, 1, -1},
                           {4, 240, 1, -1}, {5, 200, 1, 4},  {6, 160, 0, 5}};

void headopen(cvrun* run, const heading& h) {
  htrstate* s = htrst(run);
  s->lineended = 0;
  htrbreak(run, 0);
  // H5 and H6 take a writer style only when one was defined for them.
  if (h.stylekey >= 0) {
    char hn[4] = {'H', static_cast<char>('0' + h.n), 0, 0};
    if (htrrule* r = htrrulefind(hn); r && r->key >= 0) cwstyleuse(run, r->key);
  }
  char name[kattr], val[kattr], ding[kattr] = "", cls[kattr] = "", id[kattr] = "";
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 0) continue;
    int e = htrattrval(run, val, sizeof val);
    htrunquote(val);
    if (htrprefix(name, "align", 5)) {
      int al = htralign(static_cast<unsigned char>(val[0]), 0);
      if (al >= 0) cwalign(run, al);
    } else if (htrprefix(name, "dingbat", 7)) {
      std::strcpy(ding, val);
    } else if (htrprefix(name, "class", 5)) {
      std::strcpy(cls, val);
    } else if (htreq(name, "id")) {
      std::strcpy(id, val);
    }
    if (e < 0) break;
  }
  char lower[4] = {'h', static_cast<char>('0' + h.n), 0, 0};
  char upper[4] = {'H', static_cast<char>('0' + h.n), 0, 0};
  char rname[600];
  htrrule* rule = findrule(id, lower, cls, upper, rname, sizeof rname);
  htrstylepush(run, rname);
  if (rule) {
    htrsave(run);
    htrruleuse(run, rule);
    if (rule->size < 0) {
      cwfontsize(run, h.size);
      s->cursize = h.size;
    }
    if (rule->weight < 0) cwattr(run, CW_BOLD, 1, 500);
  } else {
    cwfontsize(run, h.size);
    s->cursize = h.size;
    if (h.bold) cwattr(run, CW_BOLD, 1, 500);
  }
  if (s->center) cwalign(run, 1);
  if (ding[0]) {
    htrentemit(run, ding);
    cwputc(run, ' ');
  }
  htrtagskip(run);
}

void headclose(cvrun* run, const heading& h) {
  htrstate* s = htrst(run);
  char name[512];
  htrstylepop(run, name);
  if (htrrulefind(name)) {
    if (h.n == 2) {
      cwfontsize(run, 240);
      s->cursize = 240;
      cwattr(run, CW_BOLD, 0, 0);
    }
    htrbreak(run, 1);
    htrrestore(run);
  } else if (h.n == 4) {
    cwfontsize(run, 240);
    htrbreak(run, 0);
    s->cursize = 240;
    cwattr(run, CW_BOLD, 0, 0);
    htrbreak(run, 1);
  } else {
    if (h.n != 6) cwattr(run, CW_BOLD, 0, 0);
    cwfontsize(run, 240);
    s->cursize = 240;
    htrbreak(run, 1);
  }
  cwalign(run, 0);
  htrtagskip(run);
}

void head(cvrun* run, int open, int n) {
  if (open)
    headopen(run, kheads[n]);
  else
    headclose(run, kheads[n]);
}

}  // namespace

void htrpara(cvrun* run, int open) {
  htrstate* s = htrst(run);
  if (!open) {
    char name[512];
    htrstylepop(run, name);
    htrbreak(run, 1);
    cwalign(run, 0);
    htrtagskip(run);
    return;
  }
  int align = 0;
  char name[kattr], val[kattr], cls[kattr] = "", id[kattr] = "";
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 0) continue;
    int e = htrattrval(run, val, sizeof val);
    htrunquote(val);
    if (htrprefix(name, "align", 5)) {
      int al = htralign(static_cast<unsigned char>(val[0]), 0);
      if (al >= 0) align = al;
    } else if (htreq(name, "class")) {
      std::strcpy(cls, val);
    } else if (htreq(name, "id")) {
      std::strcpy(id, val);
    }
    if (e < 0) break;
  }
  if (align == 0 && s->center) align = 1;
  htrbreak(run, 1);
  cwalign(run, align);
  char rname[600];
  htrrule* rule = findrule(id, "p", cls, "P", rname, sizeof rname);
  htrstylepush(run, rname);
  if (rule) {
    htrsave(run);
    htrruleuse(run, rule);
  }
  htrtagskip(run);
}

void htrbr(cvrun* run, int) {
  htrtagskip(run);
  htrstate* s = htrst(run);
  if (s->optn) s->lineended = 0;
  htrbreak(run, 0);
}

void htrpre(cvrun* run, int open) { pre(run, open, "/PRE"); }
void htrxmp(cvrun* run, int open) { pre(run, open, "/XMP"); }
void htrplaintext(cvrun* run, int open) { pre(run, open, "/PLAINTEXT"); }
void htrlisting(cvrun* run, int open) { pre(run, open, "/LISTING"); }

void htrnbspon(cvrun* run, int open) {
  htrtagskip(run);
  htrstate* s = htrst(run);
  if (open)
    s->ws |= HTR_WSNBSP;
  else
    s->ws &= ~HTR_WSNBSP;
}

void htrhr(cvrun* run, int) {
  htrstate* s = htrst(run);
  int align = 1, size = -1, width = -1, pct = 0, hascol = 0;
  int32_t col[3] = {-1, -1, -1};
  char name[kattr], val[kattr];
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 0) continue;
    int e = htrattrval(run, val, sizeof val);
    htrunquote(val);
    if (htrprefix(name, "align", 5)) {
      align = htreq(val, "LEFT") ? 0 : htreq(val, "RIGHT") ? 2 : 1;
    } else if (htrprefix(name, "color", 5)) {
      htrcolor(val, &col[0], &col[1], &col[2]);
      hascol = 1;
    } else if (htrprefix(name, "size", 4)) {
      size = htrnum(val);
    } else if (htrprefix(name, "width", 5)) {
      width = htrnum(val);
      size_t n = std::strlen(val);
      pct = n > 0 && val[n - 1] == '%';
      if (!pct) width = width > 100000 ? 2000000 : width * 20;
    }
    if (e < 0) break;
  }
  htrtagskip(run);
  htrbreak(run, !s->blank);
  int was = cwparaget(run, 2);
  cwalign(run, align);
  // A font without a width for '-' draws no rule rather than dividing by it.
  int dash = cwcharwidth(run, "Times New Roman", CW_ENCBYTE, s->cursize, 0, '-');
  long count = 0;
  long avail = static_cast<long>(s->pagew) - s->lmar - s->rmar;
  if (dash > 0) {
    if (width < 0)
      count = avail / dash;
    else if (pct)
      count = static_cast<long>(static_cast<unsigned long>(avail / dash) * static_cast<unsigned>(width) / 100);
    else
      count = width / dash;
  }
  if (count < 0) count = 0;
  if (count > 1000) count = 1000;
  if (hascol) cwcolor(run, 1, col[0], col[1], col[2]);
  int ch = size < 3 ? '-' : '=';
  for (long i = 0; i < count; i++) cwputc(run, ch);
  if (hascol) cwcolor(run, 1, s->text[0], s->text[1], s->text[2]);
  s->lineended = s->blank = 0;
  htrbreak(run, 1);
  if (was >= 0) cwalign(run, was);
}

void htraddress(cvrun* run, int open) {
  htrtagskip(run);
  if (open) {
    htrbreak(run, 0);
    cwattr(run, CW_ITALIC, 1, 60);
  } else {
    cwattr(run, CW_ITALIC, 0, 0);
    htrbreak(run, 0);
  }
}

// ---------------------------------------------------------------- lists

void htrol(cvrun* run, int open) {
  htrrdr* r = htrreader(run);
  htrstate* s = r->st;
  if (!open) {
    if (s->oldepth > 0) {
      s->oldepth--;
      if (depth(s) == 0 && s->lineended) cwindents(run, 0, 0, 0);
      htrbreak(run, depth(s) == 0);
      htrlistpop(r);
    }
    htrtagskip(run);
    return;
  }
  int start = 1, fmt = 0;
  char name[kattr], val[kattr];
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 0) continue;
    int e = htrattrval(run, val, sizeof val);
    htrunquote(val);
    if (htrprefix(name, "SEQNUM", 6) || htrprefix(name, "START", 5))
      start = htrnum(val);
    else if (htrprefix(name, "TYPE", 4))
      fmt = numfmt(val);
    if (e < 0) break;
  }
  htrbreak(run, depth(s) == 0);
  if (depth(s) == 0) deftabs(run, 360);
  htrlistpush(r);
  s->listkind = 0;
  s->oldepth++;
  int d = indepth(s);
  cwindents(run, d * 360, d * 360, 0);
  listlevel(run, depth(s), start, fmt);
  htrtagskip(run);
}

void htrul(cvrun* run, int open) {
  htrrdr* r = htrreader(run);
  htrstate* s = r->st;
  if (!open) {
    htrtagskip(run);
    if (s->uldepth > 0) {
      s->uldepth--;
      if (depth(s) == 0 && s->lineended) cwindents(run, 0, 0, 0);
      htrbreak(run, depth(s) == 0);
      s->bullets = 1;
      htrlistpop(r);
    }
    return;
  }
  htrbreak(run, depth(s) == 0);
  if (depth(s) == 0) deftabs(run, 360);
  char name[kattr], val[2048];
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a <= 0 && htrprefix(name, "PLAIN", 5)) s->bullets = 0;
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 0) continue;
    int e = htrattrval(run, val, sizeof val);
    htrunquote(val);
    if (htrprefix(name, "SRC", 3)) cvdepfile(run, val, CW_ENCBYTE, 2);
    if (e < 0) break;
  }
  htrtagskip(run);
  htrlistpush(r);
  s->listkind = 1;
  s->uldepth++;
  int d = indepth(s);
  cwindents(run, d * 360, d * 360, 0);
}

void htrli(cvrun* run, int open) {
  htrstate* s = htrst(run);
  if (!open) {
    htrbreak(run, 0);
    htrtagskip(run);
    return;
  }
  if (depth(s) == 0) {
    s->uldepth = 1;
    s->listkind = 1;
    deftabs(run, 360);
  }
  char name[kattr], val[kattr], ding[kattr] = "", type[kattr] = "";
  int value = -1, hastype = 0, hasvalue = 0;
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 0) continue;
    int e = htrattrval(run, val, sizeof val);
    htrunquote(val);
    if (htrprefix(name, "DINGBAT", 7)) {
      std::strcpy(ding, val);
    } else if (htrprefix(name, "TYPE", 4)) {
      std::strcpy(type, val);
      hastype = 1;
    } else if (htrprefix(name, "VALUE", 5) && s->listkind == 0) {
      value = htrnum(val);
      hasvalue = 1;
    }
    if (e < 0) break;
  }
  htrbreak(run, 0);
  int d = indepth(s);
  if (s->listkind == 0 && (hastype || hasvalue))
    listlevel(run, depth(s), hasvalue ? value : -1, hastype ? numfmt(type) : 0);
  if (d > 0) {
    int left = s->listkind == 1 && !s->bullets ? d * 360 : d * 360 + 360;
    cwindents(run, d * 360, left, 0);
  }
  if (s->listkind != 1) {
    cwlistnum(run, d < 1 ? 1 : d > CW_NLEVELS ? CW_NLEVELS : d);
    cwspecial(run, 6);
  } else if (s->bullets) {
    int shape = 0;
    if (std::strcmp(type, "square") == 0) shape = 1;
    if (std::strcmp(type, "circle") == 0) shape = 2;
    if (ding[0])
      htrentemit(run, ding);
    else if (!s->optn)
      bullet(run, 0);
    else if (hastype)
      bullet(run, shape);
    else
      bullet(run, d <= 1 ? 0 : 1);
    cwspecial(run, 6);
  }
  s->blank = 1;
  htrtagskip(run);
}

void htrdl(cvrun* run, int open) {
  htrrdr* r = htrreader(run);
  htrstate* s = r->st;
  htrtagskip(run);
  if (open) {
    if (depth(s) == 0) {
      htrbreak(run, 1);
      deftabs(run, 720);
    }
    htrlistpush(r);
    s->listkind = 2;
    s->dldepth++;
  } else if (s->dldepth > 0) {
    htrbreak(run, 0);
    s->dldepth--;
    int d = indepth(s);
    cwindents(run, d * 720, d * 720, 0);
    htrlistpop(r);
  }
}

void htrdt(cvrun* run, int open) {
  htrtagskip(run);
  htrbreak(run, 0);
  if (open) {
    int d = indepth(htrst(run));
    cwindents(run, d * 720 - 720 < 0 ? 0 : d * 720 - 720, d * 720 - 720 < 0 ? 0 : d * 720 - 720, 0);
  }
}

void htrdd(cvrun* run, int open) {
  htrtagskip(run);
  htrbreak(run, 0);
  if (open) {
    int d = indepth(htrst(run));
    cwindents(run, d * 720, d * 720, 0);
  }
}

// ---------------------------------------------------------------- headings

void htrh1(cvrun* run, int open) { head(run, open, 1); }
void htrh2(cvrun* run, int open) { head(run, open, 2); }
void htrh3(cvrun* run, int open) { head(run, open, 3); }
void htrh4(cvrun* run, int open) { head(run, open, 4); }
void htrh5(cvrun* run, int open) { head(run, open, 5); }
void htrh6(cvrun* run, int open) { head(run, open, 6); }
