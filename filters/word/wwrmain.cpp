// The front end of the Word reader: the reader entry of format 49, the Word
// state, the version level from the signature, the modules loaded in their
// order and released in reverse, and the conversion loop over text positions.
//
// The text is written after the document head with its fonts, character
// and paragraph formatting, its sections, tables and positioned frames,
// fields and pictures, read through the piece table in a fast-saved
// document; at every mark the properties of what follows are loaded and
// the formats switched.
#include <cstring>

#include "filters/word/ww.h"
#include "filters/word/wwfld.h"

namespace {

// Identifiers of the Word 6 stream: the western one and the Far-East ones.
bool word6id(unsigned id) {
  switch (id) {
    case 0xA5DC:
    case 0x8097:
    case 0xA697:
    case 0x8098:
    case 0xA698:
    case 0x8099:
    case 0xA699: return true;
    default: return false;
  }
}

int parmark(const wwstate* w) { return w->ver <= 2 ? 10 : 13; }

// One ordinary or special character of the text.
void putchar1(wwstate* w, int ch) {
  cvrun* run = w->run;
  switch (ch) {
    case 9: cwspecial(run, 6); return;
    case 11: cwnewline(run, 2); return;
    case 30: cwspecial(run, 2); return;   // non-breaking hyphen
    case 31: cwspecial(run, 1); return;   // optional hyphen
    case 160: cwspecial(run, 0); return;  // non-breaking space
    default: break;
  }
  if (ch < 32 || ch > 255) return;  // field marks, anchors and other controls
  cwputc(run, ch);
}

// The property records of one conversion: the current records describe
// the text being written, the scratch ones the mark or the position before.
struct wwset {
  wwsep sep, scrsep;
  wwpap pap, scrpap;
};

// The page margins of a paragraph that is neither in a table nor placed, in
// a single-column section of the main text.
void margins(wwstate* w, const wwpap* p, const wwsep* s, int kind) {
  if (p->fInTable || p->pcVertset || p->pcHorzset || p->dxaAbsset || p->dyaAbsset || p->dxaWidthset) return;
  if (kind != 0 || s->ccolM1 != 0) return;
  wwpgmarl(w, s->dxaLeft);
  wwpgmarr(w, s->dxaRight);
}

// Opens the section, frame, table and paragraph formats at a range's start.
void begin(wwstate* w, wwset* ws, int32_t from, int kind) {
  wwsepget(w, from, &ws->sep);
  wwpapget(w, from, &ws->pap);
  ws->scrsep = ws->sep;
  ws->scrpap = ws->pap;
  wwmbyteon(w);
  if (kind == 0) wwsepemit(w, &ws->sep, &ws->pap, nullptr, from);
  wwapoon(w, nullptr, &ws->pap, from);
  wwtaprow(w, nullptr, &ws->pap, &ws->sep, from);
  if (!ws->pap.fTtp) wwstyleemit(w, ws->pap.istd);
  cwparareset(w->run);
  margins(w, &ws->pap, &ws->sep, kind);
  cwcharreset(w->run);
  wwpapon(w, &ws->pap, &ws->sep, from, kind);
}

// Closes what begin and the marks opened.
void finish(wwstate* w, wwset* ws, int32_t pos) {
  wwtapend(w, &ws->pap, nullptr);
  wwapooff(w, &ws->pap, nullptr, pos);
  wwpapoff(w, &ws->pap, &ws->sep);
}

// A paragraph, cell or page mark at p: the properties of what follows are
// loaded and the section, frame, table and paragraph formats switched.
void parend(wwstate* w, wwset* ws, int kind, int ch, int32_t p, int pm) {
  cvrun* run = w->run;
  int32_t step = wwhdrf(w, WWH_CBCH);
  int32_t next = wwrislast(w, p) ? p : p + step;
  wwsepget(w, p, &ws->scrsep);
  wwsepget(w, next, &ws->sep);
  wwpapget(w, p, &ws->scrpap);
  wwpapget(w, next, &ws->pap);
  bool ends = wwissect(w, p) != 0;
  if (wwgetch(w, WW_MAIN, p + step) == 12 && ws->pap.nLvlAnmset && !ends) ws->pap.nLvlAnm = ws->pap.nLvlAnmset = 0;
  if (ch == 7) {
    // A cell mark outside any row that could be written still parts the
    // cells' texts.
    if (w->celldepth > 0 || ws->scrpap.fTtp)
      wwtapcell(w, &ws->scrpap, p, ws->scrsep.dxaLeft);
    else
      cwspecial(run, 6);
  } else if (ch == 12) {
    cwnewline(run, 1);
    wwsepend(w, &ws->scrsep);
  } else if (ch == pm) {
    cwnewline(run, 1);
  }
  if (kind == 4) cwgenend(run);
  wwapooff(w, &ws->scrpap, &ws->pap, p);
  if (ch == 12) {
    if (!(ends && ws->sep.bkc == 0)) cwnewline(run, 3);
    wwsepemit(w, &ws->sep, &ws->pap, nullptr, p);
  }
  wwapoon(w, &ws->scrpap, &ws->pap, p);
  wwtaprow(w, &ws->scrpap, &ws->pap, &ws->sep, p);
  cwcharreset(run);
  if (!ws->pap.fTtp) wwstyleemit(w, ws->pap.istd);
  cwparareset(run);
  margins(w, &ws->pap, &ws->sep, kind);
  cwcharreset(run);
  if (ch == 12 && ws->scrpap.dxaLeft1 == ws->pap.dxaLeft1 && ws->scrpap.dxaLeft1set == ws->pap.dxaLeft1set)
    ws->pap.dxaLeft1 = ws->pap.dxaLeft1set = 0;
  wwpapon(w, &ws->pap, &ws->sep, p, kind);
}

// The style flag of a run switch: 1 when neither CHP names a character
// style of its own.
int nostyle(const wwstate* w, const wwchp* a, const wwchp* b) {
  return w->ver == 6 && wwchpv(a, WC_CSTYLE) == 10 && wwchpv(b, WC_CSTYLE) == 10;
}

// The positions [from, to) with their character runs: a run ends where the
// CHP of a position differs from the one before in any byte, set flags
// included, and the formats are begun again after every mark.
void convert(wwstate* w, int32_t from, int32_t to, int kind) {
  int32_t step = wwhdrf(w, WWH_CBCH);
  int pm = parmark(w);
  if (from < 0) from = 0;  // a damaged text start
  auto* ws = static_cast<wwset*>(wwalloc(w, sizeof(wwset)));
  begin(w, ws, from, kind);
  wwchp prev, cur;
  wwchpget(w, from, &prev);
  wwchpon(w, &prev, 0);
  bool reopen = false;
  int32_t p = from;
  for (; p < to; p += step) {
    int ch = wwgetch(w, WW_MAIN, wwcp2fc(w, p));
    if (ch < 0) break;  // the text runs past the end of the input
    wwchpget(w, p, &cur);
    if (reopen) {
      if (std::memcmp(&prev, &cur, sizeof cur) != 0) wwchpoff(w, &prev, 0);
      wwchpon(w, &cur, 0);
      reopen = false;
    } else if (std::memcmp(&prev, &cur, sizeof cur) != 0) {
      int ns = nostyle(w, &prev, &cur);
      wwchpoff(w, &prev, ns);
      wwchpon(w, &cur, ns);
    }
    prev = cur;
    if (ch == pm || ch == 7 || ch == 12) {
      // A deleted-text region never spans a mark.
      if (wwchpv(&cur, WC_DELETED) && wwchpisset(&cur, WC_DELETED)) wwdeloff(w);
      parend(w, ws, kind, ch, p, pm);
      reopen = true;
    } else if ((ch == 19 || ch == 1) && wwchpv(&cur, WC_SPECIAL) && wwchpisset(&cur, WC_SPECIAL)) {
      // Fields and pictures (wwfld.h). A field moves p past what it
      // consumed; its own conversions switched formats, so the run begins
      // again at the next character.
      if (ch == 19) {
        wwfldconv(w, &p, to, nullptr, nullptr, &cur);
        reopen = true;
      } else {
        wwobjconv(w, &cur);
      }
    } else if (wwchpv(&cur, WC_SPECIAL) && wwchpisset(&cur, WC_SPECIAL)) {
      wwrspecial(w, ch, &p, &cur);
    } else if (ch == 14) {
      if (!ws->pap.fInTable) cwcolbreak(w->run);
    } else {
      putchar1(w, ch);
    }
  }
  wwchpoff(w, &prev, 0);
  wwdeloff(w);
  finish(w, ws, p);
  wwfree(w, ws);
}

// Whether a position is the first or last of the main text or of a story.
bool edge(const wwstate* w, int32_t pos, bool last) {
  const int64_t starts[] = {wwfcmin(w), wwcpftn(w), wwcphdd(w), wwcpmcr(w), wwcpatn(w),
                            wwcpedn(w), wwcptxbx(w), wwcphdrtxbx(w),
                            static_cast<int64_t>(wwcphdrtxbx(w)) + wwccphdrtxbx(w)};
  int64_t step = wwhdrf(w, WWH_CBCH);
  for (int i = 0; i + 1 < 9; i++) {
    if (starts[i + 1] <= starts[i]) continue;
    if (!last && pos == starts[i]) return true;
    if (last && pos == starts[i + 1] - step) return true;
  }
  return false;
}

// The level of a plain file from its first word; 0 when none.
int plainlevel(wwstate* w) {
  wwseek(w, WW_MAIN, 0);
  unsigned id = wwgetw(w, WW_MAIN);
  switch (id) {
    case 0xA5DB:
    case 0xA548: return 2;
    case 0xA59B: return 1;
    case 0x34FE: wwsetmac(w, 1); return 3;
    case 0x37FE:
      wwsetmac(w, 1);
      wwsetver(w, 4);
      wwseek(w, WW_MAIN, 188);
      return wwgetl(w, WW_MAIN) != 0 ? 5 : 4;
    default: return 0;
  }
}

}  // namespace

void wwrinit(wwstate* w) {
  w->hdr = nullptr;
  w->dop = nullptr;
  w->ver = -1;
  w->big = 0;
  w->in = -1;
  w->stg = -1;
  w->fontstm = -1;
  w->macfonts = nullptr;
  w->nmacfonts = 0;
  w->chpistd = -1;
  w->runfirst = w->runlimit = -1;
  w->finfirst = w->finlimit = -1;
  w->chprunstm = w->chpxstm = -1;
  w->lastfirst = 0;
  w->lastrec = 0;
  w->delopen = 0;
  w->markstart = w->markend = w->markpos = -1;
  w->papistd = -1;
  w->paprunfirst = w->paprunlimit = -1;
  w->papfinfirst = w->papfinlimit = -1;
  w->istdfirst = w->istdlimit = -1;
  w->istdval = 0;
  w->paprunstm = w->papxstm = -1;
  w->paplastfirst = 0;
  w->paplastrec = 0;
  w->piecestm = w->plstm = -1;
  w->pclast = w->pcrec = 0;
  w->gaplo = w->gaphi = w->gaprec = -1;
  w->pcend = 0;
  w->pmlow = w->pmhigh = w->pmmark = -1;
  w->smlow = w->smhigh = w->smmark = -1;
  w->stdstm = w->stddstm = -1;
  w->cstcstd = -1;
  w->stemitted = 0;
  // Fields, list numbering and objects.
  w->flddepth = 0;
  w->numfmt = -1;
  w->numctr = w->numrestart = 0;
  for (int k = 0; k < 9; k++) w->olctr[k] = w->hdctr[k] = 0;
  w->olreload = 0;
  w->hdreload = 1;
  w->picend = -1;
  w->seprunstm = w->sepxstm = -1;
  w->seplastfirst = w->seplastrec = 0;
  w->sepfirst = w->seplimit = w->seppfirst = w->sepplimit = -1;
  w->sepsect = w->seppiece = nullptr;
  w->celldepth = 0;
  w->rowitc = 0;
  w->rowqfirst = w->rowqlast = -1;
  w->frameopen = 0;
}

int wwrmain(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 49, 1);
  auto* w = static_cast<wwstate*>(cvalloc(run, sizeof(wwstate)));
  if (!w) {
    cvcloseio(run);
    convfatal(run, RDR_NOMEM);
  }
  std::memset(w, 0, sizeof *w);
  w->run = run;
  cvsetreader(run, w);
  wwrinit(w);
  if (char* name = cvgetparam(run, 0)) {
    w->stg = olstopen(run, name);
    cvfree(run, name);
  }
  if (w->stg >= 0) {
    int slot = olstfind(run, w->stg, "WordDocument");
    if (slot < 0) wwfatal(w, RDR_FORMAT);
    wwsetstm(w, slot);
    wwsetver(w, 6);
    // Later versions keep their text in the same stream under another
    // identifier and other offsets: never read them as Word 6.
    wwseek(w, WW_MAIN, 0);
    if (!word6id(wwgetw(w, WW_MAIN))) wwfatal(w, RDR_FORMAT);
  } else {
    int in = cvopenin(run, WW_PAGE);
    if (in < 0) wwfatal(w, RDR_FORMAT);
    wwsetstm(w, cvinhandle(run));
    wwsetver(w, 2);
    int level = plainlevel(w);
    if (!level) wwfatal(w, RDR_FORMAT);
    wwsetver(w, level);
  }
  wwseek(w, WW_MAIN, 0);
  if (cvopenout(run, WW_PAGE) < 0) wwfatal(w, RDR_NOMEM);
  cvsetbe(run, 0);
  wwrload(w);
  wwrhead(w);
  cwfontsize2(run, wwfeany(w) ? 2 : 0, 10);
  cwcodepage(run, w->ver >= 3 && w->ver <= 5 ? 9999 : wwcodepage(w));
  // The styles are defined once, before the text; their default tab stops
  // end at the right edge of the text.
  int32_t xapage = wwxapage(w) > 0 ? wwxapage(w) : 12240, dxaright = wwdxaright(w) > 0 ? wwdxaright(w) : 1800;
  wwstshemit(w, xapage - dxaright);
  // The last position holds the document's final paragraph mark. A text
  // said to run past the end of the input stops there.
  int64_t end = static_cast<int64_t>(wwfcmin(w)) + wwccptext(w) - wwhdrf(w, WWH_CBCH);
  int64_t size = wwsize(w, WW_MAIN);
  convert(w, wwfcmin(w), static_cast<int32_t>(end < size ? end : size), 0);
  cwnewline(run, 1);
  wwrunload(w);
  if (w->stg >= 0) {
    olstclose(run, w->in);
    olstshut(run, w->stg);
  }
  cvsetreader(run, nullptr);
  cvfree(run, w);
  cvcloseio(run);
  cvshutdown(run);
  return 0;
}

void wwrload(wwstate* w) {
  wwfibread(w);
  wwdopread(w);
  wwfontread(w);
  wwstshread(w);
  wwsedread(w);
  wwpapbinread(w);
  wwchpbinread(w);
  if (wwhdrf(w, WWH_COMPLEX)) wwclxread(w);
}

void wwrunload(wwstate* w) {
  wwbkmkfree(w);
  wwclxfree(w);
  wwchpbinfree(w);
  wwpapbinfree(w);
  wwsedfree(w);
  wwstshfree(w);
  wwfontfree(w);
  wwdopfree(w);
  wwfibfree(w);
}

void wwrtext(wwstate* w, int32_t from, int32_t to, int kind) {
  long at = wwtell(w, WW_MAIN);
  convert(w, from, to, kind);
  wwseek(w, WW_MAIN, at);
}

int wwrisfirst(const wwstate* w, int32_t pos) { return edge(w, pos, false); }
int wwrislast(const wwstate* w, int32_t pos) { return edge(w, pos, true); }

// Stubs of the modules still to come: nothing is loaded, so the defaults
// stand and there is nothing to release.
void wwbkmkfree(wwstate*) {}
