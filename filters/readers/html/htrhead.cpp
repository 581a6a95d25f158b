// The head pass of the HTML reader: before any text is written the whole
// document is read once for the summary (META and TITLE), the fonts of
// FONT faces, the background of BODY and the style sheets of LINK and
// STYLE; the rules then become writer styles.
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

constexpr int kval = 2048;

const char* const kmeta[] = {"subject", "author", "typist", "keywords", "comments", "account", "createdate",
                             "moddate", "descriptive name", "to", "carbon copy", "from", "reply", "time",
                             "numpages", "numchars", "numwords", "edit time", "num revisions", "version"};

int metaindex(const char* name) {
  for (int i = 0; i < 20; i++) {
    if (i == 12 ? htrprefix(name, "reply", 5) && std::strlen(name) >= 5 : htreq(name, kmeta[i])) return i;
  }
  return -1;
}

// Calls fn(name, unquoted value) for each attribute with a value; leaves
// the input at the tag's '>' (unread).
template <typename F>
void attrs(cvrun* run, F fn) {
  htreachattr(run, kval, [&](const char* name, char* val) {
    if (val) fn(name, val);
  });
}

// The text of a STYLE block into a scratch stream, read as a style sheet.
void styleblock(cvrun* run) {
  int h = cvsscratch(run, 1024);
  char name[HTR_TAGLEN + 1];
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c != '<') {
      if (h >= 0) cvsputc(run, h, c);
      continue;
    }
    htrtagname(run, name);
    if (htreq(name, "/STYLE")) {
      htrtagskip(run);
      if (h >= 0 && cvsseek(run, h, 0) == 0) htrcssread(run, h);
      break;
    }
    if (std::strcmp(name, "!--") == 0) continue;
    if (htrtagskip(run) < 0) break;
  }
  if (h >= 0) cvsclose(run, h);
}

}  // namespace

void htrhead(cvrun* run) {
  htrstate* s = htrst(run);
  s->blank = 0;
  bool capture = false;
  int title = -1;
  char name[HTR_TAGLEN + 1];
  auto* ent = static_cast<char*>(cvalloc(run, 1024));
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c == '&') {
      if (ent) htrentname(run, ent, 1024);
      continue;
    }
    if (c != '<') {
      if (!capture) continue;
      if (c == '\r' || c == '\n') {
        if (!s->blank) cvsputc(run, title, ' ');
        s->blank = 1;
      } else {
        cvsputc(run, title, c);
        s->blank = 0;
      }
      continue;
    }
    htrtagname(run, name);
    if (htreq(name, "FONT")) {
      attrs(run, [&](const char* n, char* v) {
        if (!htrprefix(n, "face", 4) || !*v) return;
        cvfontdesc f{1, v, 3, 1, 0, CW_ENCBYTE, nullptr, 0, 240};
        if (!cwfontfind(run, v, CW_ENCBYTE)) cwfontdef(run, &f);
      });
    } else if (htreq(name, "BODY")) {
      attrs(run, [&](const char* n, char* v) {
        if (!htrprefix(n, "bgcolor", 7)) return;
        htrcolor(v, &s->bg[0], &s->bg[1], &s->bg[2]);
        cvshade sh{};
        sh.v.pct = 100;
        for (int i = 0; i < 3; i++) sh.v.c1[i] = s->bg[i];
        cwdocshade(run, &sh);
      });
    } else if (htreq(name, "META")) {
      char* mname = nullptr;
      char* content = nullptr;
      attrs(run, [&](const char* n, char* v) {
        char** slot = htreq(n, "name") || htreq(n, "http-equiv") ? &mname : htreq(n, "content") ? &content : nullptr;
        if (!slot) return;
        if (*slot) cvfree(run, *slot);
        *slot = static_cast<char*>(cvalloc(run, std::strlen(v) + 1));
        if (*slot) std::strcpy(*slot, v);
      });
      if (mname && content) {
        int i = metaindex(mname);
        if (i >= 0) cwsummary(run, i, content, CW_ENCBYTE);
      }
      if (mname) cvfree(run, mname);
      if (content) cvfree(run, content);
    } else if (htreq(name, "TITLE")) {
      int h = cvsscratch(run, 512);
      if (h >= 0) {
        if (title >= 0) cvsclose(run, title);
        title = h;
        capture = true;
        s->blank = 0;
      }
    } else if (htreq(name, "/TITLE")) {
      if (title >= 0 && capture) {
        capture = false;
        long n = cvstell(run, title);
        auto* text = n >= 0 ? static_cast<char*>(cvalloc(run, n + 1)) : nullptr;
        if (text && cvsseek(run, title, 0) == 0) {
          int got = cvsread(run, title, text, static_cast<int>(n));
          text[got > 0 ? got : 0] = 0;
          cwsummary(run, 20, text, CW_ENCBYTE);
        }
        if (text) cvfree(run, text);
        cvsclose(run, title);
        title = -1;
      }
    } else if (htreq(name, "LINK")) {
      bool sheet = false;
      attrs(run, [&](const char* n, char* v) {
        if ((htreq(n, "type") && htreq(v, "text/css")) || (htreq(n, "rel") && htreq(v, "stylesheet"))) sheet = true;
        if (htreq(n, "href") && sheet && *v) htrcssload(run, v);
      });
    } else if (htreq(name, "STYLE")) {
      htrtagskip(run);
      styleblock(run);
      continue;
    }
    if (htrtagskip(run) < 0) break;
  }
  if (ent) cvfree(run, ent);
  if (title >= 0) cvsclose(run, title);
  cvsseek(run, run->in, 0);
  s->blank = 0;
  htrrulestyles(run);
}
