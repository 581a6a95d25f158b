// Special characters and line layout of the Word 1.x/2.0 and Mac Word full
// readers: control characters become records, characters of 128 and above
// become a code page record with a code page 437 form after it, line ends
// are owed until the next printable character (Word 1.x/2.0) or written at
// once (Mac Word), and the horizontal and vertical positions are followed so
// that full lines are wrapped and full pages counted.
#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

// The code page 437 form of the characters 128 to 255 (of code page 819).
const unsigned char kfallback[128] = {
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0x27, 0x27, 0x22, 0x22, 0xF8, 0x2D, 0x2D, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0xAD, 0x9B, 0x9C, 0x0F, 0x9D, 0x7C, 0x15, 0x22, 0x63, 0xA6, 0xAE, 0xAA, 0x2D, 0x72, 0x5F,
    0xF8, 0xF1, 0xFD, 0x33, 0x27, 0xE6, 0x14, 0xFA, 0x2C, 0x31, 0xA7, 0xAF, 0xAC, 0xAB, 0x5F, 0xA8,
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,
    0x44, 0xA5, 0x4F, 0x4F, 0x4F, 0x4F, 0x99, 0x5F, 0x4F, 0x55, 0x55, 0x55, 0x9A, 0x59, 0x5F, 0xE1,
    0x85, 0xA0, 0x83, 0x61, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0x64, 0xA4, 0x95, 0xA2, 0x93, 0x6F, 0x94, 0x5F, 0x6F, 0x97, 0xA3, 0x96, 0x81, 0x79, 0x5F, 0x98,
};

wstory& cur(wrd* d) { return d->story[d->cur]; }

// The line's left and right columns for wrapping and alignment.
int leftcol(wrd* d) { return static_cast<int>(static_cast<uint32_t>(0 + 72) / (d->mac ? 154 : 144)); }
int rightcol(wrd* d) {
  int32_t r = cur(d).rightedge;
  if (d->mac) return (r + 72) / 154;
  return static_cast<int>(static_cast<uint32_t>(r + 72) / 144);
}

// Closes an open right tab and re-positions a centred or right-aligned
// line: stand-in until tab stops and paragraph alignment are read, when no
// tab is ever open and every paragraph is left-aligned.
void lineadjust(cxstate* st, wrd* d) {
  (void)st, (void)d;
}

// A tab: the working table's next stop past the line position (its
// positions count from the page's left edge), else the next default stop of
// the document's interval.
void tab(cxstate* st, wrd* d) {
  wstory& s = cur(d);
  s.linepos += 2;
  int32_t interval = d->tabwidth > 0 ? d->tabwidth : 720;
  int32_t stop = (s.linepos / interval + 1) * interval;
  s.tabkind = 0;
  for (int k = 0; k < d->nstops; k++) {
    int32_t at = d->stops[k].pos - d->leftm;
    if (at > s.linepos) {
      stop = at;
      s.tabkind = d->stops[k].kind <= 3 ? d->stops[k].kind : 0;
      break;
    }
  }
  s.linepos = stop;
  if (s.linepos > s.linewidth) s.nowrap = 1;
  cmputcode(st, WR_TAB);
}

// A hard page (or column) end: the page-break record and a new page.
void pagetail(cxstate* st, wrd* d) {
  wstory& s = cur(d);
  if (d->mac) {
    if (d->cur != 0) return;
    if (d->encl == 2) cmputcode(st, WR_HIDDENOFF);
    if (d->encl == 1) {
      cxputc(st, 31);
      cxputc(st, 30);
    }
    d->encl = 0;
  }
  cmputcode(st, WR_PAGEBREAK);
  s.linepos = s.linecount = s.vpos = 0;
  s.linestart = 1;
  s.pages++;
}

}  // namespace

// The margin record of pending margins: the margins the paragraph's
// indents moved go back at the line's end. Values past 32766 are written
// as 0.
void wnewmargins(cxstate* st, wrd* d) {
  if (d->marginflag == 0 && (d->pendleft >= 0 || d->pendright >= 0)) {
    auto small = [](int64_t v) { return static_cast<int>(v < 0 || v > 32766 ? 0 : v); };
    int64_t edge = d->pagew;
    cmbegin(st, WR_HMARGINS);
    cmputdec(st, small((static_cast<int64_t>(d->mleft) + 72) / 144));
    cmputdec(st, small((edge - d->mright + 72) / 144));
    if (d->pendleft >= 0) d->mleft = d->pendleft;
    if (d->pendright >= 0) d->mright = d->pendright;
    d->pendleft = d->pendright = -1;
    cmputdec(st, small((static_cast<int64_t>(d->mleft) + 72) / 144));
    cmputdec(st, small((edge - d->mright + 72) / 144));
    cmputdec(st, small(d->mleft));
    cmputdec(st, small(edge - d->mright));
    cmend(st);
  }
  d->marginflag = -1;
}

void wputcol(cxstate* st, int32_t twips) {
  cmputdec(st, static_cast<int>(static_cast<uint32_t>(twips + 72) / 144));
}

void wnewline(cxstate* st, wrd* d, int mode) {
  wstory& s = cur(d);
  if (d->mac) {
    lineadjust(st, d);
    if (mode) cmputcode(st, WR_SOFTRET);
    for (; s.spacepending > 0; s.spacepending--) {
      cmbegin(st, WR_LINEEND);
      cmputdec(st, 1);
      cmend(st);
    }
    cmputcode(st, WR_LINEEND);
  } else if (mode == 0) {
    if (!s.softret) lineadjust(st, d);
    s.linestart = 1;
    s.pending++;
    s.linepos = 0;
    return;
  } else {
    if (s.pending <= 0) {
      s.linepos = 0;
      return;
    }
    for (; s.spacepending > 0; s.spacepending--) {
      cmbegin(st, WR_LINEEND);
      cmputdec(st, 1);
      cmend(st);
    }
    for (; s.pending > 0; s.pending--) cmputcode(st, WR_LINEEND);
    s.lineheight = s.baseheight;
  }
  s.vpos += s.lineheight;
  if (s.pagefull > 0 && s.vpos >= s.pagefull) {
    cmputcode(st, 16851);
    s.pages++;
    s.vpos -= s.pagefull;
  }
  s.linepos = 0;
  if (!d->mac) {
    s.nowrap = 0;
    s.linecount = 0;
    wnewmargins(st, d);
  } else if (mode == 0) {
    s.linecount = 0;
    s.linestart = 1;
  }
}

void wlinecount(cxstate* st, wrd* d) {
  wstory& s = cur(d);
  if (!d->mac) s.lineheight = s.baseheight;
  s.vpos += s.lineheight;
  int ended = 0;
  if (s.pagefull > 0 && s.vpos >= s.pagefull) {
    s.vpos = 0;
    s.linecount = 0;
    s.pages++;
    ended = 1;
  } else {
    s.linecount++;
  }
  if (d->mac || !s.nowrap) {
    int n = ccwrapline(st, ended, 0, leftcol(d), rightcol(d));
    s.linepos = n * wcharwidth(st, d, 'n');
  }
}

void wextchar(cxstate* st, wrd* d, int c) {
  wstory& s = cur(d);
  // An accented letter at the start of a line comes after the line end
  // owed to the paragraph before it, as a plain letter does.
  if (!d->mac && s.pending > 0) wnewline(st, d, 1);
  if (c == (d->mac ? 202 : 160)) {
    cmputcode(st, WR_NBSPACE);
  } else if (d->mac) {
    ccputchar(st, c, 9999);
  } else {
    cmbegin(st, WR_CHAR);
    cmputdec(st, 819);
    cmputhex2(st, c, 31);
    cmend(st);
    int b = kfallback[c & 0x7F];
    if (b >= 128) {
      cmbegin(st, WR_CHAR437);
      cmputhex2(st, b, 31);
      cmend(st);
    } else if (b < 32) {
      cmbegin(st, WR_CTRL437);
      cmputhex2(st, b, 31);
      cmend(st);
    } else {
      cxputc(st, b);
    }
  }
  s.linestart = 0;
}

void wspecial(cxstate* st, wrd* d, int c) {
  wstory& s = cur(d);
  bool special = d->chp.flag[WF_SPECIAL] != 0;
  if (!d->mac && !special && (c == 1 || c == 19 || c == 20 || c == 21)) {
    ccputchar(st, c, 819);
    return;
  }
  switch (c) {
    case 1:
      if (!d->mac && d->chp.picture) ccnop1(st);
      d->chp.picture = 0;
      return;
    case 7:
      // A cell mark: the end of a cell, or with the row's end mark the
      // row written whole.
      if (d->pap.intable || d->papw.intable || (!d->mac && d->version == 1)) {
        if (d->pap.rowend) {
          s.tabkind = 0;
          cmputcode(st, WR_LINEEND);
          s.linestart = 1;
          wrowflush(st, d);
          d->pap.rowend = 0;
        } else if (d->mac) {
          cmputcode(st, WR_CELLEND);
        } else {
          lineadjust(st, d);
          cmputcode(st, WR_CELLEND);
          wnewmargins(st, d);
          s.linestart = 1;
        }
      }
      if (d->mac && d->complex) wparaend(st, d);
      return;
    case 9:
      if (d->mac) {
        cmputcode(st, WR_TAB);
        s.linepos = (s.linepos / 720 + 1) * 720;
      } else {
        tab(st, d);
      }
      return;
    case 10:
      if (d->mac) return;
      if (s.pendingcr) {
        s.pendingcr = 0;
        if (d->complex) wparaend(st, d);
        return;
      }
      s.tabkind = 0;
      wnewline(st, d, 0);
      if (d->complex) wparaend(st, d);
      return;
    case 11: {
      s.tabkind = 0;
      s.softret = 1;
      int32_t space = s.spacepending;
      s.spacepending = 0;
      if (d->mac) {
        wnewline(st, d, 1);
      } else {
        lineadjust(st, d);
        cmputcode(st, WR_SOFTRET);
        wnewline(st, d, 0);
      }
      s.spacepending = space;
      s.linecount++;
      s.linepos = 0;
      s.softret = 0;
      return;
    }
    case 12:
      s.tabkind = 0;
      lineadjust(st, d);
      pagetail(st, d);
      return;
    case 13:
      if (d->mac) {
        wnewline(st, d, 0);
        if (d->complex) wparaend(st, d);
        return;
      }
      s.tabkind = 0;
      if (s.left > 0 && wpeekchar(d) == 10) {
        wnewline(st, d, 0);
        s.pendingcr = 1;
      } else if (d->complex) {
        wparaend(st, d);
      }
      return;
    case 14:
      s.tabkind = 0;
      lineadjust(st, d);
      pagetail(st, d);
      s.linepos = 0;
      s.linestart = 1;
      return;
    case 19:
      wfield(st, d);
      return;
    case 21:
      if (!d->mac) cmputcode(st, WR_FIELDEND);
      return;
    case 30:
      if (!d->mac) s.tabkind = 0;
      cmputcode(st, WR_NBHYPHEN);
      return;
    case 31:
      if (!d->mac) s.tabkind = 0;
      cmputcode(st, WR_OPTHYPHEN);
      return;
    default:
      return;
  }
}
