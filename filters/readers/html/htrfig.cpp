// Block, column, figure, frame and sound tags of the HTML reader:
// quotations, DIV, MULTICOL column sets, footnotes, FIG and IFRAME
// pictures, and the frames and sounds listed as dependent files.
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

constexpr int kbuf = 1024;

int nesting(const htrstate* s) { return htrdepth(s); }

// Indents of a nesting sum and of the quotations, no deeper than the page allows.
void indent(cvrun* run, const htrstate* s) {
  int n = nesting(s), q = s->bqdepth + s->blockqdepth;
  if (n > HTR_MAXINDENT) n = HTR_MAXINDENT;
  if (q > HTR_MAXQUOTE) q = HTR_MAXQUOTE;
  cwindents(run, n * 720, n * 720, q * 720);
}

// Reads the attributes with values, then the tag to its '>'.
template <typename F>
void attrs(cvrun* run, F fn) {
  htreachattr(run, kbuf, [&](const char* name, char* val) {
    if (val) fn(name, val);
  });
  htrtagskip(run);
}

void quote(cvrun* run, int open, int32_t htrstate::*own) {
  htrstate* s = htrst(run);
  htrtagskip(run);
  if (open) {
    s->lineended = 0;
    htrbreak(run, 0);
    if (nesting(s) == 0) {
      cwtstopclear(run);
      cwtstopkind(run, 1);
      for (int i = 0; i < 20; i++) cwtstopadd(run, i * 720, 0, nullptr, CW_ENCBYTE);
    }
    s->*own += 1;
    if (nesting(s) > 0) indent(run, s);
    return;
  }
  if (s->*own <= 0) return;
  s->lineended = 0;
  s->*own -= 1;
  htrbreak(run, 0);
  indent(run, s);
}

cwobjdesc picture() {
  cwobjdesc d{};
  d.version = 1;
  d.value1 = 3;
  d.format = -1;
  d.inlined = 1;
  d.slot = -1;
  return d;
}

int twelfths(const char* v) {
  int n = htrnum(v);
  return n < 0 ? 0 : n > 100000 ? 1200000 : n * 12;
}

void depfiles(cvrun* run, int kind) {
  attrs(run, [&](const char* name, char* val) {
    if (htrprefix(name, "src", 3)) cvdepfile(run, val, CW_ENCBYTE, kind);
  });
}

}  // namespace

void htrbq(cvrun* run, int open) { quote(run, open, &htrstate::bqdepth); }
void htrblockquote(cvrun* run, int open) { quote(run, open, &htrstate::blockqdepth); }

void htrdiv(cvrun* run, int open) {
  htrbreak(run, 0);
  if (!open) {
    cwalign(run, 0);
    htrtagskip(run);
    return;
  }
  attrs(run, [&](const char* name, char* val) {
    if (!htrprefix(name, "align", 5)) return;
    int c = cvtoupper(static_cast<unsigned char>(val[0]));
    cwalign(run, c == 'C' ? 1 : c == 'R' ? 2 : c == 'J' ? 3 : 0);
  });
}

void htrmulticol(cvrun* run, int open) {
  if (!open) {
    cwcolend(run);
    htrtagskip(run);
    return;
  }
  htrstate* s = htrst(run);
  int gutter = 200, cols = 0, width = 0, pct = 0;
  attrs(run, [&](const char* name, char* val) {
    if (htrprefix(name, "cols", 4)) {
      cols = htrnum(val);
    } else if (htrprefix(name, "gutter", 6)) {
      int g = htrnum(val);
      gutter = g < 0 ? 0 : g > 10000 ? 200000 : g * 20;
    } else if (htrprefix(name, "width", 5)) {
      int w = htrnum(val);
      if (std::strchr(val, '%')) {
        pct = w;
        width = 0;
      } else {
        pct = 0;
        width = w < 0 ? 0 : w > 10000 ? 200000 : w * 20;
      }
    }
  });
  if (cols < 2) return;
  // More text columns than a page can hold are of no use; a percentage
  // outside 1-100 is ignored.
  if (cols > HTR_MAXTEXTCOLS) cols = HTR_MAXTEXTCOLS;
  int avail = (s->pagew - s->lmar - s->rmar) / cols;
  int colw = avail;
  if (pct > 0 && pct <= 100) colw = avail / (100 / pct);
  else if (width > 0) colw = width;
  cwcoldesc d{1, cols, {0, 0, 1}};
  cwcolbegin(run, &d);
  int x = s->lmar;
  for (int i = 0; i < cols; i++) {
    int right = x + colw + gutter / 2;
    cwcoladd(run, x, right);
    x = right + gutter;
  }
  cwcolemit(run);
}

void htrfootnote(cvrun* run, int open) {
  htrtagskip(run);
  if (open) {
    cwftnbeg(run);
  } else {
    htrbreak(run, 0);
    cwftnend(run);
  }
}

void htrfig(cvrun* run, int open) {
  if (!open) {
    htrtagskip(run);
    return;
  }
  htrst(run)->lineended = 0;
  cwobjdesc d = picture();
  int align = 0;
  char* alt = nullptr;
  char* src = nullptr;
  attrs(run, [&](const char* name, char* val) {
    if (htrprefix(name, "align", 5)) {
      int a = htralign(static_cast<unsigned char>(val[0]), 0);
      if (a >= 0) align = a;
    } else if (htrprefix(name, "alt", 3)) {
      if (alt) cvfree(run, alt);
      alt = cvstrdup(run, val, CW_ENCBYTE);
    } else if (htrprefix(name, "height", 6)) {
      d.height = twelfths(val);
    } else if (htrprefix(name, "src", 3)) {
      const char* v = val;
      while (*v == '/') v++;
      if (src) cvfree(run, src);
      src = htrurl(run, v);
    } else if (htrprefix(name, "width", 5)) {
      d.width = twelfths(val);
    }
  });
  if (align == 2) {
    cwstrdesc e{0, nullptr, 0};
    cwflrbeg(run, &e);
  }
  if (cwgraphic(run, &d, src, CW_ENCBYTE) != 0 && alt) {
    cwputs(run, alt);
    // Text was written: a blank after the tag keeps the next word apart.
    htrst(run)->blank = 0;
  }
  if (alt) cvfree(run, alt);
  if (src) cvfree(run, src);
  if (align != 0) htrbreak(run, 0);
}

void htriframe(cvrun* run, int open) {
  if (!open) {
    htrtagskip(run);
    return;
  }
  htrst(run)->lineended = 0;
  cwobjdesc d = picture();
  int align = 0;
  char* src = nullptr;
  attrs(run, [&](const char* name, char* val) {
    if (htrprefix(name, "align", 5)) {
      int a = htralign(static_cast<unsigned char>(val[0]), 0);
      if (a >= 0) align = a;
    } else if (htrprefix(name, "height", 6)) {
      if (!std::strchr(val, '%')) d.height = twelfths(val);
    } else if (htrprefix(name, "width", 5)) {
      if (!std::strchr(val, '%')) d.width = twelfths(val);
    } else if (htrprefix(name, "hspace", 6)) {
      d.dwidth = twelfths(val);
    } else if (htrprefix(name, "vspace", 6)) {
      d.dheight = twelfths(val);
    } else if (htrprefix(name, "src", 3)) {
      const char* v = val;
      while (*v == '/') v++;
      if (src) cvfree(run, src);
      src = htrurl(run, v);
    }
  });
  if (align == 1) cwctrbeg(run);
  if (align == 2) {
    cwstrdesc e{0, nullptr, 0};
    cwflrbeg(run, &e);
  }
  if (src) {
    int extra = 0;
    int fmt = cvfmtid(run, src, &extra);
    if (fmt >= 500 && fmt <= 699) cwgraphic(run, &d, src, CW_ENCBYTE);
    cvfree(run, src);
    if (align != 0) htrbreak(run, 0);
  }
}

void htrframe(cvrun* run, int) { depfiles(run, 2); }

void htrsound(cvrun* run, int open) {
  if (open)
    depfiles(run, 9);
  else
    htrtagskip(run);
}

void htrbgsound(cvrun* run, int open) {
  htrsound(run, open);
  if (open) htrsettle(htrst(run));
}
