// Inline and document tags of the HTML reader: attributes and fonts, links
// and bookmarks, pictures, the body's colours, the base reference, TITLE and
// STYLE, comments and scripts as comment sub-documents, font sizes, FONT,
// BIG and SMALL, centring, non-breaking text and the formula mode.
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

constexpr int kattr = 2048;

// Reads the attributes of the tag, calling fn(name, unquoted value or null);
// the tag is left after its '>'.
template <typename F>
void attrs(cvrun* run, F fn) {
  htreachattr(run, kattr, fn);
  htrtagskip(run);
}

// A picture reference: leading '/' dropped, a '|' in second place made ':'.
void picref(char* v) {
  size_t i = 0;
  while (v[i] == '/') i++;
  if (i) std::memmove(v, v + i, std::strlen(v + i) + 1);
  if (v[0] && v[1] == '|') v[1] = ':';
}

void link(cvrun* run, int op, int sub, const char* target) {
  cwxrefdesc d{};
  d.version = 1;
  d.kind = op;
  d.value = sub;
  d.target = target;
  d.text = nullptr;
  d.enc = CW_ENCBYTE;
  d.tstream = d.xstream = -1;
  cwxref(run, &d);
}

void attrtag(cvrun* run, int open, int bit, int value) {
  htrtagskip(run);
  cwattr(run, bit, open, open ? value : 0);
}

int sizeindex(int size) {
  for (int i = 0; i < 7; i++)
    if (htrsizes[i] == size) return i;
  return -1;
}

void setsize(cvrun* run, int size) {
  htrstate* s = htrst(run);
  s->cursize = size;
  cwfontsize(run, size);
}

}  // namespace

void htrbold(cvrun* run, int open) { attrtag(run, open, CW_BOLD, 500); }
void htritalic(cvrun* run, int open) { attrtag(run, open, CW_ITALIC, 60); }
void htrvar(cvrun* run, int open) { attrtag(run, open, CW_ITALIC, 60); }
void htru(cvrun* run, int open) { attrtag(run, open, CW_UNDERLINE, 1); }

void htrtt(cvrun* run, int open) {
  htrtagskip(run);
  htrstate* s = htrst(run);
  if (open) {
    s->savedfont = s->curfont;
    s->curfont = s->fixedfont;
  } else {
    s->curfont = s->savedfont;
  }
  cwfontsel(run, s->curfont);
}

void htranchor(cvrun* run, int open) {
  htrstate* s = htrst(run);
  bool hyp = cvsimflags(run) & 2;
  if (!open) {
    htrtagskip(run);
    if (s->linkkind) {
      if (!hyp) {
        cwcolor(run, 1, s->text[0], s->text[1], s->text[2]);
        cwattr(run, CW_UNDERLINE, 0, 0);
      }
      int sub = s->linkkind == 128 ? 13 : (s->linkkind & 2) ? 139 : 11;
      link(run, 5, sub, nullptr);
      s->linkkind = 0;
    } else if (s->bookmark) {
      link(run, 2, 11, nullptr);
      s->bookmark = 0;
    }
    return;
  }
  if (!s->colset) {
    s->link[0] = s->link[1] = 0;
    s->link[2] = 255;
    for (int i = 0; i < 3; i++) s->bg[i] = s->text[i] = 0;
    s->colset = 1;
  }
  attrs(run, [&](const char* name, char* val) {
    if (!val) return;
    if (htrprefix(name, "href", 4)) {
      if (!hyp) {
        cwcolor(run, 1, s->link[0], s->link[1], s->link[2]);
        cwattr(run, CW_UNDERLINE, 1, 1);
      }
      char* ref = htrurl(run, val);
      if (!ref) return;
      size_t n = std::strlen(val);
      int sub = n > 0 && val[n - 1] == '/' ? 13 : 11;
      const char* target = ref;
      if (ref[0] == '#') {
        target = ref + 1;
        s->linkkind = 1;
      } else if (sub == 13) {
        s->linkkind = 128;
      } else {
        sub = 139;
        s->linkkind = 2;
      }
      link(run, 4, sub, target);
      cvfree(run, ref);
    } else if (htrprefix(name, "name", 4)) {
      link(run, 1, 11, val);
      s->bookmark = 1;
    }
  });
}

void htrimg(cvrun* run, int) {
  htrstate* s = htrst(run);
  s->lineended = 0;
  cwobjdesc d{};
  d.version = 1;
  d.value1 = 3;
  d.format = -1;
  d.inlined = 1;
  d.slot = -1;
  int align = 0;
  char* alt = nullptr;
  char* src = nullptr;
  char* lowsrc = nullptr;
  attrs(run, [&](const char* name, char* val) {
    if (!val) return;
    if (htrprefix(name, "align", 5)) {
      int a = htralign(static_cast<unsigned char>(val[0]), 0);
      if (a >= 0) align = a;
    } else if (htrprefix(name, "alt", 3)) {
      if (alt) cvfree(run, alt);
      alt = cvstrdup(run, val, CW_ENCBYTE);
    } else if (htrprefix(name, "height", 6) || htrprefix(name, "width", 5)) {
      if (!std::strchr(val, '%')) {
        int v = htrnum(val);
        v = v < 0 ? 0 : v > 100000 ? 1200000 : v * 12;
        (htrprefix(name, "height", 6) ? d.height : d.width) = v;
      }
    } else if (htrprefix(name, "lowsrc", 6) || htrprefix(name, "src", 3)) {
      picref(val);
      char*& slot = htrprefix(name, "lowsrc", 6) ? lowsrc : src;
      if (slot) cvfree(run, slot);
      slot = htrurl(run, val);
    }
  });
  if (align == 1) cwctrbeg(run);
  if (align == 2) {
    cwstrdesc e{0, nullptr, 0};
    cwflrbeg(run, &e);
  }
  if (lowsrc) {
    cwgraphic(run, &d, lowsrc, CW_ENCBYTE);
    d.format = -1;
  }
  if (cwgraphic(run, &d, src, CW_ENCBYTE) != 0 && alt) {
    cwputs(run, alt);
    // Text was written: a blank after the tag keeps the next word apart.
    htrst(run)->blank = 0;
  }
  if (alt) cvfree(run, alt);
  if (src) cvfree(run, src);
  if (lowsrc) cvfree(run, lowsrc);
  if (align != 0) htrbreak(run, 0);
}

void htrbody(cvrun* run, int open) {
  if (!open) {
    htrtagskip(run);
    return;
  }
  htrstate* s = htrst(run);
  attrs(run, [&](const char* name, char* val) {
    if (!val) return;
    if (htrprefix(name, "background", 10)) {
      picref(val);
      if (char* ref = htrurl(run, val)) {
        cwobjdesc d{};
        d.version = 3;
        d.value1 = 3;
        d.format = -1;
        d.inlined = 1;
        d.slot = -1;
        d.linked = 1;
        d.linkid = 1;
        cwgraphic(run, &d, ref, CW_ENCBYTE);
        cvfree(run, ref);
      }
    } else if (htrprefix(name, "link", 4)) {
      htrcolor(val, &s->link[0], &s->link[1], &s->link[2]);
    } else if (htrprefix(name, "text", 4)) {
      htrcolor(val, &s->text[0], &s->text[1], &s->text[2]);
      cwcolor(run, 1, s->text[0], s->text[1], s->text[2]);
    }
  });
  htrsettle(s);
}

void htrbase(cvrun* run, int) {
  htrstate* s = htrst(run);
  attrs(run, [&](const char* name, char* val) {
    if (!val || !htrprefix(name, "href", 4)) return;
    if (s->base) cvfree(run, s->base);
    s->base = nullptr;
    size_t n = std::strlen(val), cut = n;
    for (size_t i = n; i-- > 0;)
      if (val[i] == '/' || val[i] == ':' || val[i] == '\\') {
        cut = i;
        break;
      }
    auto* b = static_cast<char*>(cvalloc(run, n + 2));
    if (!b) return;
    if (n == 0) {
      b[0] = 0;
    } else if (cut == n) {
      b[0] = val[0];
      b[1] = '/';
      b[2] = 0;
    } else {
      std::memcpy(b, val, cut + 1);
      if (val[cut] != '/') b[cut + 1] = '/', b[cut + 2] = 0;
      else b[cut + 1] = 0;
    }
    s->base = b;
  });
}

void htrtitle(cvrun* run, int open) {
  htrtagskip(run);
  htrst(run)->suppress = open;
}

void htrstyle(cvrun* run, int open) {
  htrtagskip(run);
  htrstate* s = htrst(run);
  s->suppress = s->stylemode = open;
}

void htrcomment(cvrun* run, int) {
  htrrdr* r = htrreader(run);
  r->cmtdepth++;
  cwcmtbegin(run);
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c < 32) continue;
    if (c == '-') {
      int d = cwgetc(run);
      int e = d < 0 ? -1 : cwgetc(run);
      if (d == '-' && e == '>') {
        cwcmtend(run);
        break;
      }
      if (e >= 0) cwungetc(run, e);
      if (d >= 0) cwungetc(run, d);
      continue;
    }
    if (c == '<') {
      // Tags act inside a comment, comments too, to a bounded depth.
      if (r->cmtdepth < HTR_MAXCMT)
        htrtag(run);
      else
        htrtagskip(run);
      continue;
    }
    cwputc(run, c);
  }
  r->cmtdepth--;
  htrst(run)->blank = 1;
}

void htrcmttag(cvrun* run, int open) {
  htrtagskip(run);
  if (open)
    cwcmtbegin(run);
  else
    cwcmtend(run);
  htrst(run)->blank = 1;
}

void htrscript(cvrun* run, int open) {
  htrtagskip(run);
  if (open) {
    cwcmtbegin(run);
    bool nl = false;
    char name[HTR_TAGLEN + 1];
    for (;;) {
      convyield(run, 1);
      int c = cwgetc(run);
      if (c < 0) break;
      if (c == '<') {
        htrtagname(run, name);
        if (htreq(name, "/SCRIPT")) {
          htrtagskip(run);
          break;
        }
        cwputc(run, '<');
        for (const char* p = name; *p; p++) cwputc(run, static_cast<unsigned char>(*p));
        nl = false;
      } else if (c == '\r' || c == '\n') {
        if (!nl) cwnewline(run, 1);
        nl = true;
      } else {
        cwputc(run, c);
        nl = false;
      }
    }
    cwcmtend(run);
  }
  htrst(run)->blank = 1;
}

// ---------------------------------------------------------------- fonts and sizes

void htrbasefont(cvrun* run, int) {
  htrstate* s = htrst(run);
  attrs(run, [&](const char* name, char* val) {
    if (!val || !htrprefix(name, "size", 4)) return;
    s->basesize = htrnum(val);
    if (s->basesize >= 1 && s->basesize <= 7) s->cursize = htrsizes[s->basesize - 1];
    if (s->basesize < 1) s->basesize = 1;
    if (s->basesize > 7) s->basesize = 7;
    s->prevsize = s->cursize;
    cwfontsize(run, s->cursize);
  });
}

void htrfont(cvrun* run, int open) {
  htrstate* s = htrst(run);
  if (!open) {
    htrtagskip(run);
    s->cursize = s->prevsize;
    s->curfont = s->textfont;
    cwfontsize2(run, s->textfont, s->cursize);
    if (s->fontcol[0] != -1 || s->fontcol[1] != -1 || s->fontcol[2] != -1) {
      cwcolor(run, 1, s->text[0], s->text[1], s->text[2]);
      s->fontcol[0] = s->fontcol[1] = s->fontcol[2] = -1;
    }
    return;
  }
  attrs(run, [&](const char* name, char* val) {
    if (!val) return;
    if (htrprefix(name, "color", 5)) {
      htrcolor(val, &s->fontcol[0], &s->fontcol[1], &s->fontcol[2]);
      cwcolor(run, 1, s->fontcol[0], s->fontcol[1], s->fontcol[2]);
      s->prevsize = s->cursize;
    } else if (htrprefix(name, "face", 4)) {
      cwfontname(run, val, CW_ENCBYTE);
    } else if (htrprefix(name, "size", 4)) {
      s->prevsize = s->cursize;
      int n = htrnum(val);
      int num;
      if (val[0] == '+')
        num = s->basesize + n;
      else if (val[0] == '-')
        num = s->basesize + (n > -1 ? -1 : n);
      else
        num = n;
      // Sizes are clamped to the scale.
      if (num < 1) num = 1;
      if (num > 7) num = 7;
      s->cursize = htrsizes[num - 1];
    }
  });
  cwfontsize(run, s->cursize);
}

void htrbig(cvrun* run, int open) {
  htrstate* s = htrst(run);
  int i = sizeindex(s->cursize);
  if (open ? s->cursize < 720 : s->bigs != 0 && s->cursize > 160) {
    s->prevsize = s->cursize;
    int to = open ? i + 1 : i - 1;
    if (i >= 0 && to >= 0 && to < 7) {
      setsize(run, htrsizes[to]);
      s->bigs += open ? 1 : -1;
    } else {
      cwfontsize(run, s->cursize);
    }
  }
  htrtagskip(run);
}

void htrsmall(cvrun* run, int open) {
  htrstate* s = htrst(run);
  int i = sizeindex(s->cursize);
  if (open ? s->cursize > 160 : s->smalls != 0 && s->cursize < 720) {
    s->prevsize = s->cursize;
    int to = open ? i - 1 : i + 1;
    if (i >= 0 && to >= 0 && to < 7) {
      setsize(run, htrsizes[to]);
      s->smalls += open ? 1 : -1;
    } else {
      cwfontsize(run, s->cursize);
    }
  }
  htrtagskip(run);
}

void htrcode(cvrun* run, int open) {
  htrtagskip(run);
  htrstate* s = htrst(run);
  cwfontsel(run, open ? s->fixedfont : s->textfont);
}

void htrblink(cvrun* run, int open) { attrtag(run, open, 0x10000, 0); }
void htrsub(cvrun* run, int open) { attrtag(run, open, CW_SUB, 60); }
void htrsup(cvrun* run, int open) { attrtag(run, open, CW_SUPER, 60); }
void htrstrike(cvrun* run, int open) { attrtag(run, open, CW_STRIKE, '-'); }

void htrins(cvrun* run, int open) {
  cwattr(run, CW_REVISION, open, 0);
  htrtagskip(run);
}

void htrdel(cvrun* run, int open) {
  if (open)
    cwdelbegin(run);
  else
    cwdelend(run);
  htrtagskip(run);
}

void htrcredit(cvrun* run, int open) {
  htrtagskip(run);
  if (open) {
    htrbreak(run, 0);
    cwattr(run, CW_ITALIC, 1, 60);
  } else {
    cwattr(run, CW_ITALIC, 0, 0);
    htrbreak(run, 0);
  }
}

void htrdfn(cvrun* run, int open) {
  htrtagskip(run);
  if (open) {
    cwattr(run, CW_BOLD, 1, 500);
    cwattr(run, CW_ITALIC, 1, 60);
  } else {
    cwattr(run, CW_ITALIC, 0, 0);
    cwattr(run, CW_BOLD, 0, 0);
  }
}

void htrnobr(cvrun* run, int open) {
  htrtagskip(run);
  htrbreak(run, 0);
  htrstate* s = htrst(run);
  if (open)
    s->ws |= HTR_WSNBSP;
  else
    s->ws &= ~HTR_WSNBSP;
}

void htrcenter(cvrun* run, int open) {
  htrtagskip(run);
  htrstate* s = htrst(run);
  if (open) {
    htrbreak(run, 0);
    cwalign(run, 1);
    s->center = 1;
  } else {
    htrbreak(run, 1);
    cwalign(run, 0);
    s->center = 0;
  }
}

void htrmath(cvrun* run, int open) {
  htrtagskip(run);
  htrst(run)->math = open;
}

void htrover(cvrun* run, int) {
  cwputc(run, '/');
  htrtagskip(run);
}
