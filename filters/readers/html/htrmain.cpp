// The HTML reader's run: set-up, the document defaults, the HTML check over
// the first bytes, the main loop with its white-space rules, the dispatch of
// tags and the entity references.
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

constexpr int kpage = 4096;
constexpr int kcheck = 200;

cvfontdesc fontdesc(const char* name, int vala, int family, int pitch, int dflt) {
  return {1, name, vala, family, pitch, CW_ENCBYTE, nullptr, dflt, 240};
}

// Whether buf[i..n) begins with word, case ignored, inside the bytes read.
bool at(const unsigned char* buf, int i, int n, const char* word) {
  for (int k = 0; word[k]; k++)
    if (i + k >= n || cvtoupper(buf[i + k]) != word[k]) return false;
  return true;
}

void mainloop(cvrun* run) {
  htrstate* s = htrst(run);
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c == '<') {
      htrtag(run);
    } else if (c == '&') {
      htrentity(run);
      s = htrst(run);
      s->blank = s->lineended = 0;
    } else if (c == '\t' || c == ' ') {
      if (s->suppress) continue;
      if ((s->ws & HTR_WSALL) || !s->blank) {
        if (s->ws & HTR_WSNBSP) {
          cwspecial(run, 0);
        } else {
          cwputc(run, ' ');
          s->blank = 1;
        }
      }
    } else if (c == '\n' || c == '\r') {
      if (s->suppress) continue;
      if (s->ws & HTR_WSHARD) {
        if (c == '\r') {
          int d = cwgetc(run);
          if (d >= 0 && d != '\n') cwungetc(run, d);
        }
        htrbreak(run, 0);
      } else if (s->ws & HTR_WSNBSP) {
        cwspecial(run, 0);
      } else if (!s->blank) {
        cwputc(run, ' ');
        s->blank = 1;
      }
    } else if (c < 32) {
      continue;
    } else {
      s->blank = s->lineended = 0;
      if (s->suppress) continue;
      if (s->math && c == '^') {
        s->supon = !s->supon;
        cwattr(run, CW_SUPER, s->supon, 60);
      } else if (s->math && c == '_') {
        s->subon = !s->subon;
        cwattr(run, CW_SUB, s->subon, 60);
      } else {
        cwputc(run, c);
      }
    }
    // A handler may have restored a saved state over the live one; the
    // record stays where it is, so the pointer holds.
  }
}

// The bytes of a comment in style mode: read to "-->", tags inside skipped.
// 1 when the comment ended, 0 when the input ended first.
int stylecomment(cvrun* run) {
  for (;;) {
    int c = cwgetc(run);
    if (c < 0) return 0;
    if (c < 32) continue;
    if (c == '<') {
      if (htrtagskip(run) < 0) return 0;
      continue;
    }
    if (c != '-') continue;
    int d = cwgetc(run);
    if (d < 0) return 0;
    int e = cwgetc(run);
    if (d == '-' && e == '>') return 1;
    if (e >= 0) cwungetc(run, e);
    cwungetc(run, d);
  }
}

}  // namespace

int htrmain(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 108, 2);
  auto* r = static_cast<htrrdr*>(cvalloc(run, sizeof(htrrdr)));
  auto* s = r ? static_cast<htrstate*>(cvalloc(run, sizeof(htrstate))) : nullptr;
  if (!s) {
    if (r) cvfree(run, r);
    cvshutdown(run);
    return RDR_NOMEM;
  }
  std::memset(r, 0, sizeof *r);
  std::memset(s, 0, sizeof *s);
  r->st = s;
  cvsetreader(run, r);
  htrdefaults(run);
  int status = 0;
  if (cvopenin(run, kpage) < 0) {
    status = RDR_NOINPUT;
  } else {
    s->in = run->in;
    status = htrcheck(run);
  }
  char* profile = nullptr;
  if (status == 0) {
    htrhead(run);
    if (cvopenout(run, kpage) < 0) {
      status = RDR_NOOUTPUT;
    } else {
      s->out = run->out;
      htrtagsort();
      htrentsort();
      s->optn = 0;
      char* v = cvgetparam(run, 4);
      profile = cvgetparam(run, 16);
      if (profile && *profile) htrprofile(run, profile);
      if (v) {
        if (v[0] >= '3') s->optn = 1;
        for (const char* p = v; *p; p++)
          if (*p == 'n' || *p == 'N') s->optn = 1;
        cvfree(run, v);
      }
      mainloop(run);
      // What the document left open is closed here, so that the text
      // conversion sees whole records: comments, scripts and marked text
      // that ran to the end of the input, and tables and column sets.
      while (cwsubopen(run) > 0) cwsubend(run);
      while (cwtabdepth(run) > 0) cwtabend(run);
    }
  }
  if (profile) cvfree(run, profile);
  htrrulefree(run);
  s = r->st;
  while (r->lastsave) htrrestore(run);
  char buf[512];
  while (r->lastname) htrstylepop(run, buf);
  while (htrstate* c = r->sparesave) {
    r->sparesave = c->next;
    cvfree(run, c);
  }
  while (htrstyname* e = r->sparename) {
    r->sparename = e->newer;
    cvfree(run, e);
  }
  if (s->base) cvfree(run, s->base);
  if (r->attrbuf) cvfree(run, r->attrbuf);
  cvsetreader(run, nullptr);
  cvfree(run, s);
  cvfree(run, r);
  cvcloseio(run);
  cvshutdown(run);
  return status;
}

void htrdefaults(cvrun* run) {
  htrrdr* r = htrreader(run);
  htrstate* s = r->st;
  htrrulefree(nullptr);
  r->tabdepth = 0;
  r->bare = -1;
  r->firstsave = r->lastsave = nullptr;
  r->firstname = r->lastname = nullptr;
  s->pagew = 12240;
  s->pagel = 15840;
  s->lmar = s->rmar = 1440;
  s->tmar = s->bmar = 720;
  s->orient = 1;
  s->cursize = s->prevsize = 240;
  s->basesize = 3;
  s->blank = 1;
  for (int& l : s->lists) l = -1;
  s->listtop = -1;
  s->listkind = 1;
  for (int i = 0; i < 3; i++) s->bg[i] = s->text[i] = s->link[i] = s->fontcol[i] = s->rowbg[i] = -1;
  s->bullets = 1;
  cvfontdesc courier = fontdesc("Courier", 1, 1, 0, 0);
  cvfontdesc times = fontdesc("Times New Roman", 3, 1, 1, 1);
  cvfontdesc wing = fontdesc("Wingdings", 5, 0, 1, 0);
  s->fixedfont = cwfontdef(run, &courier);
  s->textfont = cwfontdef(run, &times);
  s->symfont = cwfontdef(run, &wing);
  cwdefrec d{};
  d.nowidth = 0;
  d.codepage = 819;
  d.tmar = d.bmar = 1440;
  d.hdrgap = d.ftrgap = 360;
  d.hdrpos = d.ftrpos = 1080;
  d.length = 15840;
  d.width = 12240;
  d.orient = 1;
  d.lmar = d.rmar = 1440;
  d.linespc = 240;
  d.pct1 = 4;
  d.pct2 = 10;
  d.widow = 2;
  d.font = s->textfont;
  d.size = 240;
  d.lang = 1033;
  cwdocdefs(run, &d);
  cwfontsize2(run, s->textfont, 240);
  s->curfont = s->savedfont = s->textfont;
}

int htrcheck(cvrun* run) {
  auto* buf = static_cast<unsigned char*>(cvalloc(run, kcheck));
  if (!buf) return RDR_NOMEM;
  int n = cvsread(run, run->in, buf, kcheck);
  if (n < 0) n = 0;
  int result = RDR_FORMAT;
  for (int i = 0; i < n; i++) {
    if (buf[i] != '<') continue;
    int j = i + 1;
    if (at(buf, j, n, "HTML") || at(buf, j, n, "TITLE") || at(buf, j, n, "HEAD") || at(buf, j, n, "!--")) {
      result = 0;
      break;
    }
    if (at(buf, j, n, "!DOCTYPE")) {
      result = RDR_FORMAT;
      for (int k = j + 8; k < n; k++)
        if (at(buf, k, n, "HTML")) result = 0;
      break;
    }
    while (i < n && buf[i] != '>') i++;
  }
  cvfree(run, buf);
  cvsseek(run, run->in, 0);
  return result;
}

int htrtag(cvrun* run) {
  char name[HTR_TAGLEN + 1];
  htrtagname(run, name);
  int open = name[0] != '/';
  const htrtagrow* row = htrtagfind(name);
  htrstate* s = htrst(run);
  if (s->stylemode) {
    if (std::strcmp(name, "!--") == 0) {
      if (stylecomment(run)) return 0;
    } else if (!htreq(name, "/STYLE")) {
      row = nullptr;
    }
  }
  if (row) {
    row->fn(run, open);
    return 0;
  }
  // An unlisted tag is skipped with its nesting; one that the input ends
  // inside is read again as text.
  long pos = htrtell(run);
  int depth = 1;
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) {
      htrseek(run, pos);
      break;
    }
    if (c == '<') depth++;
    if (c == '>' && --depth == 0) break;
  }
  return 0;
}

int htrentname(cvrun* run, char* buf, int size) {
  int n = 0;
  for (;;) {
    int c = cwgetc(run);
    if (c < 0) break;
    if (c == ';') {
      buf[n] = 0;
      return 1;
    }
    if (c == '\r' || c == '\n' || c == ' ' || c == '<') {
      cwungetc(run, c);
      break;
    }
    if (n >= size - 1) {
      cwungetc(run, c);
      break;
    }
    buf[n++] = static_cast<char>(c);
  }
  buf[n] = 0;
  return 0;
}

namespace {

void emitrow(cvrun* run, const htrentrow* row) {
  htrstate* s = htrst(run);
  if (row->cp == 0) {
    row->fn(run);
  } else if (row->cp == -1) {
    cwfontsel(run, s->symfont);
    cwputc(run, row->code);
    cwfontsel(run, s->curfont);
  } else {
    cwcodepage(run, row->cp);
    cwputc(run, row->code);
    cwcodepage(run, 819);
  }
}

// A numeric reference: decimal, or hexadecimal after an 'x'; a value that
// is no character of the text (negative, unreadable or 256 and above) is '_'.
int numref(const char* p) {
  bool hex = *p == 'x' || *p == 'X';
  if (hex) p++;
  bool neg = *p == '-';
  if (*p == '-' || *p == '+') p++;
  long v = 0;
  int digits = 0;
  for (;; p++) {
    int d = *p >= '0' && *p <= '9' ? *p - '0'
            : hex && cvtoupper(*p) >= 'A' && cvtoupper(*p) <= 'F' ? cvtoupper(*p) - 'A' + 10
                                                                    : -1;
    if (d < 0) break;
    digits++;
    if (v < 100000) v = v * (hex ? 16 : 10) + d;
  }
  if (neg || digits == 0 || v >= 256) return '_';
  return static_cast<int>(v);
}

}  // namespace

int htrentity(cvrun* run) {
  char name[20];
  int semi = htrentname(run, name, sizeof name);
  if (htrst(run)->suppress) return 0;
  if (name[0] == '#') {
    cwputc(run, numref(name + 1));
    return 0;
  }
  if (const htrentrow* row = htrentfind(name)) {
    emitrow(run, row);
    return 0;
  }
  cwputc(run, '&');
  for (const char* p = name; *p; p++) cwputc(run, static_cast<unsigned char>(*p));
  if (semi) cwputc(run, ';');
  return 0;
}

void htrentemit(cvrun* run, const char* name) {
  if (const htrentrow* row = htrentfind(name)) emitrow(run, row);
}

void htrignore(cvrun* run, int) { htrtagskip(run); }

void htrnbsp(cvrun* run) { cwspecial(run, 0); }

void htrentnone(cvrun*) {}
