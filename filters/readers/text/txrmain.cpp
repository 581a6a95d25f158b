// The plain-text reader's run: its set-up and end, its options (layout,
// double-byte set, byte range, margins) and the prologue it writes: the
// fixed-pitch font, the text direction, the document defaults and the tabs.
#include "filters/readers/text/txr.h"

#include <cstring>

namespace {

constexpr int kpage = 8192;

txrstate* state(cvrun* run) { return static_cast<txrstate*>(cvreader(run)); }

// A double-byte set: its lead bytes, the name of its font (in the set's own
// encoding) and the size of its characters.
struct dbset {
  int lo, hi;
  const char* font;
  int size;
};
const dbset ksets[] = {
    {0, 255, nullptr, 0},
    {129, 159, "\x83\x8A\x83\x85\x83\x45\x83\x7E\x83\x93\x4C\x2D\x4B\x4C", 210},
    {161, 249, "\xB2\xD3\xA9\xFA\xC5\xE9", 240},
    {161, 247, "\xCB\xCE\xCC\xE5", 240},
    {161, 253, "\xB9\xD9\xC5\xC1\xC3\xBC", 200},
};

// A decimal number: blanks skipped, an optional sign, the digits; *end
// after it.
int number(const char* p, const char** end) {
  while (*p == ' ' || *p == '\t') p++;
  bool neg = *p == '-';
  if (*p == '-' || *p == '+') p++;
  long v = 0;
  for (; *p >= '0' && *p <= '9'; p++)
    if (v < 1000000000) v = v * 10 + (*p - '0');
  *end = p;
  return static_cast<int>(neg ? -v : v);
}

// Option V: the layout by its first character, then any 'D' and the digit
// after it choose a double-byte set, a '0' after the digit 2-byte units.
void optionv(txrstate* s, const char* v) {
  s->layout = v[0] == '1' ? 1 : v[0] == '4' ? 2 : v[0] == '5' ? 3 : 0;
  for (const char* p = v; *p;) {
    if (*p != 'D' && *p != 'd') {
      p++;
      continue;
    }
    s->dbcs = 1;
    int set = p[1] >= '1' && p[1] <= '4' ? p[1] - '0' : 0;
    s->dbset = set;
    s->leadlo = ksets[set].lo;
    s->leadhi = ksets[set].hi;
    if (!p[1]) break;
    s->wide = p[2] == '0';
    if (!p[2]) break;
    p += 3;
  }
}

cvfontdesc fontdesc(const char* name, int enc, int dflt, int size) { return {1, name, 1, 0, 0, enc, nullptr, dflt, size}; }

}  // namespace

int txrmain(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 1, 1);
  auto* s = static_cast<txrstate*>(cvalloc(run, sizeof(txrstate)));
  if (!s) txrfatal(run, RDR_NOMEM);
  std::memset(s, 0, sizeof *s);
  cvsetreader(run, s);
  s->cp = cwgetcodepage(run);
  cwcodepage(run, s->cp);
  cvsetbe(run, 1);
  if (txroptions(run) != 0) txrfatal(run, RDR_NOINPUT);
  if (cvopenout(run, kpage) < 0) txrfatal(run, RDR_NOOUTPUT);
  txrprolog(run);
  if (s->start > 0) cvsseek(run, run->in, s->start);
  bool rtlpage = s->cp == 1255 || s->cp == 1256;
  if (rtlpage) cwtextdir(run, 0, 1, 4);
  switch (s->layout) {
    case 1: txrlines(run); break;
    case 2: txrdbcs(run); break;
    case 3: txrwide(run); break;
    default: txrplain(run); break;
  }
  if (s->dbcs) cwmbyteoff(run);
  cvsetreader(run, nullptr);
  cvfree(run, s);
  cvcloseio(run);
  cvshutdown(run);
  return 0;
}

void txrfatal(cvrun* run, int code) {
  if (void* s = cvreader(run)) {
    cvsetreader(run, nullptr);
    cvfree(run, s);
  }
  convfatal(run, code);
}

int txroptions(cvrun* run) {
  txrstate* s = state(run);
  if (char* v = cvgetparam(run, 4)) {
    optionv(s, v);
    cvfree(run, v);
  }
  if (cvopenin(run, kpage) < 0) convfatal(run, RDR_NOINPUT);
  txrdefaults(run);
  return 0;
}

void txrdefaults(cvrun* run) {
  txrstate* s = state(run);
  s->pagew = 12240;
  s->pagel = 15840;
  s->tmar = s->bmar = s->lmar = s->rmar = 1440;
  s->ntabs = 40;
  for (int i = 0; i < TXR_NTABS; i++) s->tabs[i] = {i * 720, 0, 0};
  s->start = s->count = -1;
  if (char* r = cvgetparam(run, 9)) {
    const char* p;
    s->start = number(r, &p);
    if (*p == ',') s->count = number(p + 1, &p);
    cvfree(run, r);
  }
  if (s->layout == 1 || s->layout == 2) {
    if (char* mz = cvgetparam(run, 11)) {
      const char* p;
      s->lmar = number(mz, &p) * 144;
      if (*p == ',') s->rmar = number(p + 1, &p) * 144;
      cvfree(run, mz);
    }
  }
}

void txrprolog(cvrun* run) {
  txrstate* s = state(run);
  int dfltsize = s->cp == 1255 ? 200 : 240;
  cvfontdesc courier = fontdesc("Courier", CW_ENCBYTE, 1, dfltsize);
  s->textfont = cwfontdef(run, &courier);
  if (s->dbcs) {
    // The font table keeps its own copy of the name.
    if (s->dbset >= 1 && s->dbset <= 4) {
      cvfontdesc f = fontdesc(ksets[s->dbset].font, s->dbset, 0, 240);
      s->font2 = cwfontdef(run, &f);
    }
    cwfontsize2(run, s->textfont, 240);
  } else {
    const char* face = s->cp == 1256 ? "Traditional Arabic" : s->cp == 1255 ? "System Hebrew" : nullptr;
    if (face) {
      cvfontdesc f = fontdesc(face, CW_ENCBYTE, 0, 240);
      s->font2 = cwfontdef(run, &f);
      cwcodepage(run, s->cp);
      cwfontsize2(run, s->font2, 240);
      s->rtl = 1;
    } else {
      cwfontsize2(run, s->textfont, 240);
      s->rtl = 0;
    }
    cwtextdir(run, 0, s->rtl, 0);
  }
  // The defaults name the reader's own code page, so that a code page given
  // to the run (option CP=) stays the text's.
  cwdefrec d{};
  d.nowidth = 1;
  d.codepage = s->cp;
  d.tmar = d.bmar = 1440;
  d.hdrgap = d.ftrgap = 360;
  d.hdrpos = d.ftrpos = 1080;
  d.length = s->pagel;
  d.width = s->pagew;
  d.orient = 1;
  d.lmar = s->lmar;
  d.rmar = s->rmar;
  d.linespc = 240;
  d.pct1 = 4;
  d.pct2 = 10;
  d.widow = 2;
  d.size = dfltsize;
  d.lang = 1033;
  cwdocdefs(run, &d);
  cwtstopclear(run);
  cwtstopkind(run, 1);
  for (int i = 0; i < s->ntabs; i++) cwtstopadd(run, s->tabs[i].pos, 6, nullptr, CW_ENCBYTE);
}
