// Sections, headers and footers, footnotes and annotations of the Word
// 1.x/2.0 and Mac Word full readers. A section start writes its page and
// column records and then walks its header and footer texts; a footnote or
// annotation reference writes the note's text. Each of these excursions
// switches to the other story, lets the character loop read its text and,
// when that text is used up, ends with its closing records and returns to
// the main text where it stopped, with the formatting it had.
//
// Positions come from the document: a text's range is cut to its story,
// the stack of stories to return to holds at most 12, and a note with no
// text writes no records at all (so no zone is left open).
#include <cstdint>
#include <initializer_list>

#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

enum : int {
  WR_SECTION = 14867,  // a section starts: its page numbering
  WR_COLUMNS = 19587,  // the column layout
  WR_COLSBEG = 13410,  // the columns start
  WR_RAISE = 19987,    // a raised position starts
  WR_RAISEEND = 19973, // and ends
};

// Section fields, by the modifier code that sets them.
enum : int {
  S_BREAK = 117, S_TITLE = 118, S_COLS = 119, S_GAP = 120, S_PAGENO = 136, S_MACPAGENO = 123, S_MARK = 126,
  S_BITS = 128, S_HDIST = 131, S_FDIST = 132, S_COLREC = 133, S_ORIENT = 137, S_WIDTH = 139, S_HEIGHT = 140,
  S_LEFT = 141, S_RIGHT = 142, S_TOP = 143, S_BOTTOM = 144,
};

// The most columns a section lays out; more are taken as this many.
constexpr int32_t kmaxcols = 32;

void sepage(wrd* d);

// The defaults of a new section.
void sepinit(wrd* d) {
  static const int kcodes[] = {115, 116, 118, 119, 121, 122, 123, 124, 125, 127, 128, 129, 130, 133, 134, 135, 136, 137, 145};
  for (int c : kcodes) d->modfield[c] = 0;
  d->modfield[S_BREAK] = 2;
  d->modfield[S_GAP] = 720;
  d->modfield[S_MARK] = 1;
  // A fast-saved Mac Word 4 section that says nothing of its headers has
  // the odd-page header and footer.
  if (d->mac && d->layout == 4 && d->complex) d->modfield[S_BITS] = 10;
  d->modfield[S_HDIST] = d->modfield[S_FDIST] = 720;
  sepage(d);
}

// The page of a new section: Word 1.x the document's, the others the
// default page. Mac Word's section page is always the default one.
void sepage(wrd* d) {
  d->modfield[S_ORIENT] = 0;
  if (!d->mac && d->version == 1) {
    d->modfield[S_WIDTH] = d->pagew, d->modfield[S_HEIGHT] = d->pageh;
    d->modfield[S_LEFT] = d->leftm, d->modfield[S_RIGHT] = d->rightm;
    d->modfield[S_TOP] = d->top, d->modfield[S_BOTTOM] = d->bottom;
  } else {
    d->modfield[S_WIDTH] = 12240, d->modfield[S_HEIGHT] = 15840;
    d->modfield[S_LEFT] = d->modfield[S_RIGHT] = 1800;
    d->modfield[S_TOP] = d->modfield[S_BOTTOM] = 1440;
  }
}

// The section's own modifiers: a length byte at its offset, then the list.
void sepmods(cxstate* st, wrd* d, int i) {
  if (i < 0 || i >= d->nsepx || d->sepx[i] == -1) return;
  unsigned char list[256];
  if (!wreadat(st, d, d->sepx[i], list, 1)) return;
  int n = list[0];
  if (n == 0 || !wreadat(st, d, d->sepx[i] + 1, list, n)) return;
  for (int at = 0; at < n;) {
    int l = wapplymod(st, d, list + at, n - at, 1);
    if (l < 0) return;
    at += l;
  }
}

// A continuous section takes back the page break that ended the section
// before it: Word looks back for the record as far as the output allows,
// Mac Word only at the last record written.
void droppagebreak(cxstate* st, wrd* d) {
  unsigned char back[4096];  // taken back, last byte first
  int n = 0;
  while (n < static_cast<int>(sizeof back)) {
    int c = cxunputc(st);
    if (c < 0) break;
    back[n++] = static_cast<unsigned char>(c);
    if (n >= 6 && back[n - 1] == 27 && back[n - 2] == 29 && back[n - 6] == 30) {
      char code[3] = {static_cast<char>(back[n - 3]), static_cast<char>(back[n - 4]), static_cast<char>(back[n - 5])};
      if (cmpack(code) == WR_PAGEBREAK) {
        n -= 6;
        break;
      }
    }
    if (d->mac && n >= 6) break;
  }
  // Without the record everything taken back is written again.
  while (n > 0) cxputc(st, back[--n]);
}

// The column record of a section with columns: the columns' left and
// right positions as column numbers, then in twips.
void columns(cxstate* st, wrd* d, int32_t n) {
  int64_t gap = d->modfield[S_GAP];
  int64_t w = (static_cast<int64_t>(d->pagew) - d->leftm - d->rightm - n * gap) / (n + 1);
  d->story[d->cur].linewidth = static_cast<int32_t>(w < 0 ? 0 : w > WNONE ? WNONE : w);
  cmbegin(st, WR_COLUMNS);
  cmputhex2(st, !d->mac && d->modfield[S_COLREC] == 1 ? 16 : 0, 31);
  cmputdec(st, n + 1);
  for (int twips = 0; twips < 2; twips++) {
    auto put = [&](int64_t x) {
      if (twips)
        cmputdec(st, static_cast<int>(x));
      else
        wputcol(st, static_cast<int32_t>(x));
    };
    int64_t x = d->leftm;
    for (int32_t i = 0; i <= n; i++) {
      put(x);
      if (i < n) {
        put(x + w);
        cmputdec(st, 0);
      }
      x += w + gap;
    }
    put(static_cast<int64_t>(d->pagew) - d->rightm);
    cmputdec(st, 0);
  }
  cmend(st);
  cmputcode(st, WR_COLSBEG);
}

}  // namespace

// ---------------------------------------------------------------- the story stack

// Leaves the current story for story k, keeping what the return needs;
// false when the stack is full (the excursion does not happen).
bool wstorypush(wrd* d, int k) {
  if (d->depth >= WMAXDEPTH) return false;
  wrd::wreturn& r = d->ret[d->depth++];
  r.story = d->cur;
  r.pap = d->pap, r.papw = d->papw, r.base = d->base;
  r.chp = d->chp, r.style = d->style;
  r.tdef = d->tdef;
  r.chpposition = d->chp.position;
  wswitch(d, k);
  return true;
}

// Back to the story the excursion left, with its formatting: the written
// paragraph is cleared so that the next paragraph writes what it sets, and
// the character properties are written against what the excursion wrote.
void wstorypop(cxstate* st, wrd* d) {
  if (d->depth <= 0) return;
  wrd::wreturn& r = d->ret[--d->depth];
  wswitch(d, r.story);
  d->pap = r.pap, d->base = r.base;
  wpapclear(d, &d->papw);
  d->papw.style = r.papw.style;
  d->chp = r.chp, d->style = r.style;
  d->tdef = r.tdef;
  wchpemit(st, d);
}

namespace {

// A fast-saved story read from its text's position cp: the piece that
// holds it is taken (with its modifier) and the file position moved into
// it, so that the properties are those stored for that character. The
// character position is the document's, as the pieces have it.
void pieceat(cxstate* st, wrd* d, int32_t cp) {
  wstory& s = d->story[d->cur];
  int64_t acc = 0;
  int i = 0;
  for (; i < s.npieces && acc + s.pieces[i].len <= cp; i++) acc += s.pieces[i].len;
  if (i >= s.npieces || s.left <= 0) {
    s.left = 0;
    return;
  }
  int32_t j = static_cast<int32_t>(cp - acc);
  s.piece = i;
  s.cur = {};
  s.cur.fc = INT32_MIN;  // used up: the next piece is taken
  wnextpiece(st, d);
  // Mac Word keeps its position one past the character it read last.
  s.fc = s.cur.fc + j - (d->mac ? 1 : 0);
  s.cp = s.pieces[i].cp + j;
  wfkpat(st, d, 0, s.fc);
  wfkpat(st, d, 1, s.fc);
}

// The current story read from character position cp for n characters.
void storyat(cxstate* st, wrd* d, int32_t cp, int32_t n) {
  wstory& s = d->story[d->cur];
  if (cp < 0) cp = 0;
  if (cp > s.textlen) cp = s.textlen;
  if (n < 0) n = 0;
  if (n > s.textlen - cp) n = s.textlen - cp;
  s.textpos = cp;
  s.cp = cp;
  s.fc = s.first + cp;
  s.left = n;
  s.nback = 0;
  if (d->complex) {
    pieceat(st, d, cp);
    return;
  }
  wfkpat(st, d, 0, s.fc);
  wfkpat(st, d, 1, s.fc);
}

// The start of a text of another story: its paragraph and character
// properties from nothing, written whole.
void textstart(cxstate* st, wrd* d) {
  wstory& s = d->story[d->cur];
  wpapclear(d, &d->pap);
  wpapclear(d, &d->base);
  wpapclear(d, &d->papw);
  if (s.fkp[1].next != WNONE && s.fc >= s.fkp[1].next) {
    wparabuild(st, d, nullptr, 0);
    wparaout(st, d);
    wfkpnext(st, d, 1);
  } else {
    wparaout(st, d);
  }
  wchpreset(d, &d->chp);
  if (s.fkp[0].next != WNONE && s.fc >= s.fkp[0].next) {
    wchprun(st, d);
    wfkpnext(st, d, 0);
  } else {
    wchpemit(st, d);
  }
  s.linepos = 0;
  wnextevent(d);
}

// The end of a note's text: its properties back to the defaults.
void textend(cxstate* st, wrd* d) {
  wchpreset(d, &d->chp);
  wchpemit2(st, d, 0, 0);
  wpapclear(d, &d->pap);
  wparaout2(st, d, 0, 0);
}

// ---------------------------------------------------------------- headers and footers

bool isheader(int k) { return k == 1 || k == 2 || k == 16; }

// The start record of a header or footer text, or of an empty pair.
void hfstart(cxstate* st, wrd* d, int k) {
  const wstory& s = d->story[d->cur];
  cmbegin(st, isheader(k) ? WR_HEADER : WR_FOOTER);
  cmputhex2(st, 0, 31);
  cmputdec(st, 0);
  wputcol(st, s.leftedge);
  wputcol(st, d->pagew - s.rightedge);
  cmputdec(st, 1);
  uint32_t dist = static_cast<uint32_t>(d->modfield[isheader(k) ? S_HDIST : S_FDIST]);
  cmputdec(st, static_cast<int>((dist + 120) / 240));
  cmend(st);
}

// The end record of a header or footer text: its kind's code and page field.
void hfend(cxstate* st, wrd* d, int k, int code) {
  int g = d->hdrbits, t = d->hdrtitle;
  int page = k >= 16 ? 1 : (g & (k <= 2 ? 16 : 32)) || t ? 2 : 3;
  cmbegin(st, WR_HFEND);
  cmputdec(st, static_cast<int>(static_cast<uint32_t>(d->story[d->cur].vpos) / 120));
  cmputhex2(st, code, 31);
  cmputdec(st, 0);
  cmputdec(st, page);
  cmend(st);
}

// The empty pair of a kind a page needs and the section lacks.
void hfempty(cxstate* st, wrd* d, int k) {
  int g = d->hdrbits;
  int code;
  switch (k) {
    case 2: code = g & 1 ? 8 : 4; break;
    case 8: code = g & 4 ? 10 : 6; break;
    case 16: code = d->mac ? 5 : 8; break;
    default: code = d->mac ? 7 : 10; break;
  }
  hfstart(st, d, k);
  hfend(st, d, k, code);
}

// Ends the walk: back to the main text, past the section start.
void walkend(cxstate* st, wrd* d) {
  wstorypop(st, d);
  wplcnext(d, &d->story[0].plc[0]);
  wnextevent(d);
}

// Passes over the text of the kind being looked for.
void hfskip(wrd* d) {
  d->kindbit <<= 1;
  d->hdrat++;
}

// Word passes over the first-page kinds without facing pages and over
// kinds 1 and 4 without a title page.
void hfadjust(wrd* d) {
  if (d->mac) return;
  int g = d->hdrbits;
  if (d->kindbit > 8 && !d->facing) {
    if (g & d->kindbit) hfskip(d);
    if (g & d->kindbit) hfskip(d);
  }
  if ((d->kindbit == 1 || d->kindbit == 4) && !d->hdrtitle && (g & d->kindbit)) hfskip(d);
}

// Starts the text of the kind being walked; false when the position table
// has no entry for it.
bool hftext(cxstate* st, wrd* d) {
  const wplc& h = d->headers;
  if (d->hdrat < 0 || d->hdrat + 1 >= h.n) return false;
  int32_t start = h.pos[d->hdrat], end = h.pos[d->hdrat + 1];
  d->hdrat++;
  // A damaged table can hold any positions: an inverted or overflowing
  // range is an empty text.
  int64_t len = static_cast<int64_t>(end) - start;
  storyat(st, d, start, len > 0 && len <= INT32_MAX ? static_cast<int32_t>(len) : 0);
  int k = d->kindbit;
  if (!d->mac) d->hftype = isheader(k) ? 4 : 6;
  hfstart(st, d, k);
  textstart(st, d);
  if (!d->mac) d->story[d->cur].pending = -1;
  return true;
}

// The next text of the walk, or its end.
void hfnext(cxstate* st, wrd* d) {
  hfadjust(d);
  while (d->kindbit <= 32) {
    if (d->hdrbits & d->kindbit) {
      if (hftext(st, d)) return;
      break;
    }
    d->kindbit <<= 1;
    hfadjust(d);
  }
  walkend(st, d);
}

// A header or footer text that ends with a line end loses it; the look
// stops at the text's start record.
void dropheadnote(cxstate* st) {
  unsigned char back[4096];
  int n = 0;
  while (n < static_cast<int>(sizeof back)) {
    int c = cxunputc(st);
    if (c < 0) break;
    back[n++] = static_cast<unsigned char>(c);
    if (c != 27 || n < 5) continue;
    char code[3] = {static_cast<char>(back[n - 3]), static_cast<char>(back[n - 4]), static_cast<char>(back[n - 5])};
    int p = cmpack(code);
    if (p == WR_LINEEND) {
      // The record runs to its RS: drop it whole.
      int k = n - 6;
      while (k >= 0 && back[k] != 30) k--;
      if (k >= 0) n = k;
      break;
    }
    if (p == WR_HEADER || p == WR_FOOTER) break;
  }
  while (n > 0) cxputc(st, back[--n]);
}

void headfoot(cxstate* st, wrd* d) {
  int k = d->kindbit, g = d->hdrbits, t = d->hdrtitle;
  if (!d->mac && d->hftype) dropheadnote(st);
  // The default character properties, the state kept.
  wpap keep = d->pap;
  wtdef keept = d->tdef;
  wchp keepc = d->chp, keepy = d->style;
  wcharprops(st, d, 0, 0);
  d->pap = keep, d->tdef = keept, d->chp = keepc, d->style = keepy;
  if (d->mac || d->hftype) {
    d->hftype = 0;
    int code;
    switch (k) {
      case 1: code = d->mac ? 16 : 17; break;
      case 2: code = d->mac ? (g & 1 ? 8 : 4) : (g & 1) && t ? 8 : 4; break;
      case 4: code = d->mac ? 18 : 19; break;
      case 8: code = d->mac ? (g & 4 ? 10 : 6) : (g & 4) && t ? 10 : 6; break;
      case 16: code = d->mac ? 5 : 8; break;
      default: code = d->mac ? 7 : 10; break;
    }
    hfend(st, d, k, code);
  }
  d->kindbit <<= 1;
  if (d->kindbit <= 32)
    hfnext(st, d);
  else
    walkend(st, d);
}

// ---------------------------------------------------------------- notes

// The position table entry i of a story's text table as a range.
bool noterange(const wplc& p, int i, int32_t* start, int32_t* n) {
  if (!p.pos || i < 0 || i + 1 >= p.n) return false;
  // Positions come from the file: a hostile table can hold any two values,
  // so the length is worked out wide and refused when it is not a range.
  int64_t len = int64_t(p.pos[i + 1]) - p.pos[i];
  if (len <= 0 || len > INT32_MAX) return false;
  *start = p.pos[i];
  *n = int32_t(len);
  return true;
}

void footnote(cxstate* st, wrd* d) {
  textend(st, d);
  cmputcode(st, WR_FTNEND);
  int32_t pos = d->ret[d->depth - 1].chpposition;
  wstorypop(st, d);
  wplcnext(d, &d->story[0].plc[2]);
  wnextevent(d);
  if (pos == 0) cmputcode(st, WR_RAISEEND);
}

void annotation(cxstate* st, wrd* d) {
  textend(st, d);
  wstorypop(st, d);
  wplcnext(d, &d->story[0].plc[6]);
  wnextevent(d);
}

}  // namespace

void wsection(cxstate* st, wrd* d) {
  int i = d->story[0].plc[0].at;
  sepinit(d);
  sepmods(st, d, i);
  if (d->mac) sepage(d);
  const int32_t* f = d->modfield;
  if (f[S_BREAK] == 0) droppagebreak(st, d);
  {
    int which = 0;
    if (f[S_ORIENT] != d->orient) d->orient = f[S_ORIENT] & 0xFF, which |= WP_ORIENT;
    if (f[S_WIDTH] != d->pagew) d->pagew = f[S_WIDTH], which |= WP_WIDTH;
    if (f[S_HEIGHT] != d->pageh || f[S_TOP] != d->top || f[S_BOTTOM] != d->bottom) {
      d->pageh = f[S_HEIGHT], d->top = f[S_TOP], d->bottom = f[S_BOTTOM];
      which |= WP_VMARGINS;
    }
    // Mac Word's section keeps the page of its defaults, which no modifier
    // changes; its margins record writes the document's own margins.
    if ((which & WP_WIDTH) || f[S_LEFT] != d->leftm || f[S_RIGHT] != d->rightm) {
      if (!d->mac) d->leftm = f[S_LEFT], d->rightm = f[S_RIGHT];
      which |= WP_HMARGINS;
    }
    wpagerecs(st, d, which);
  }
  if (d->ncols > 0) cmputcode(st, WR_COLSEND);
  if (!d->mac && d->cur == 0) {
    int32_t pn = f[S_PAGENO];
    cmbegin(st, WR_SECTION);
    cmputdec(st, 0);
    cmputdec(st, 0);
    cmputdec(st, pn == 0 ? 0 : pn >> 8 & 0xFF);
    cmputdec(st, pn == 0 ? 1 : pn & 0xFF);
    cmputdec(st, 0);
    cmend(st);
  }
  int32_t n = f[S_COLS] < 0 ? 0 : f[S_COLS] > kmaxcols - 1 ? kmaxcols - 1 : f[S_COLS];
  if (n > 0) columns(st, d, n);
  d->ncols = n;
  d->prevcols = n > 0 ? n + 1 : 0;
  // The header and footer texts of the section, when the document has them.
  int g = f[S_BITS] & 0x3F;
  if (g == 0 || d->headers.n < 2 || d->nstories < 3) return;
  if (!wstorypush(d, 2)) return;
  d->kindbit = 1;
  d->hdrbits = g;
  d->hdrtitle = f[S_TITLE] != 0;
  int t = d->hdrtitle;
  if ((g & 1) && !(g & 2)) hfempty(st, d, 2);
  if ((g & 4) && !(g & 8)) hfempty(st, d, 8);
  if (d->mac) {
    if (!(g & 16) && ((g & 3) || t)) hfempty(st, d, 16);
    if (!(g & 32) && ((g & 12) || t)) hfempty(st, d, 32);
  } else {
    if (t && !(g & 16)) hfempty(st, d, 16);
    if (t && !(g & 32)) hfempty(st, d, 32);
  }
  hfnext(st, d);
}

namespace {

// Opens the note of the reference that cursor ref of the main text has
// reached, from the text table of story k; false when there is none: a
// note with no text is passed over with no records.
bool noteopen(cxstate* st, wrd* d, int ref, int k, int texts) {
  wstory& main = d->story[0];
  int32_t start = 0, n = 0;
  if (d->nstories <= k || !noterange(d->story[k].plc[texts], main.plc[ref].at, &start, &n) ||
      !wstorypush(d, k)) {
    wplcnext(d, &main.plc[ref]);
    wnextevent(d);
    return false;
  }
  storyat(st, d, start, n);
  return true;
}

}  // namespace

void wfootref(cxstate* st, wrd* d) {
  if (!noteopen(st, d, 2, 1, 3)) return;
  if (d->chp.position == 0) cmputcode(st, WR_RAISE);
  cmbegin(st, WR_FTNBEG);
  wstory& s = d->story[d->cur];
  for (int v : {d->modfield[S_MARK] == 0 ? 1 : 0, static_cast<int>(d->ftnnum / 256 & 0xFF),
                static_cast<int>(d->ftnnum % 256), 0, 2, 0, 2, 1, 255})
    cmputhex2(st, v, 31);
  wputcol(st, s.leftedge);
  wputcol(st, d->pageh - s.rightedge);
  cmputhex2(st, 141, 31);
  cmend(st);
  d->ftnnum++;
  textstart(st, d);
}

void wannotref(cxstate* st, wrd* d) {
  if (!noteopen(st, d, 6, 3, 7)) return;
  d->ftnnum++;
  textstart(st, d);
}

void wstoryend(cxstate* st, wrd* d) {
  switch (d->cur) {
    case 1: footnote(st, d); return;
    case 2: headfoot(st, d); return;
    case 3: annotation(st, d); return;
    default: wstorypop(st, d); return;
  }
}
