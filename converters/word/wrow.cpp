// Table rows of the Word 1.x/2.0 and Mac Word full readers. A row's cell
// layout is known only at its end, so the row's output is held back (Word
// in a row stream that is the output while the row is open, Mac Word in the
// output itself) and, at the mark that ends the row, taken back: the table
// and row definitions come first, then each cell's record and its text
// replayed with its records.
//
// The table state holds at most 32 cells (the table modifiers see to it);
// a row whose held-back text cannot be taken back is left as it stands.
#include <initializer_list>

#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

enum : int {
  WR_ROWSTART = 16878,  // a table row starts
  WR_ROWDEF = 15938,    // the row's heights, borders and justification
  WR_COLUMNS = 19587,   // the table's columns
  WR_COLSBEG = 13410,   // the columns start
  WR_CENTRE = 25219,
  WR_RIGHT = 18625,
  WR_CENTREEND = 20581,
  WR_RIGHTEND = 20517,
};

constexpr int ESC = 27, GS = 29, RS = 30;

int packed(int a, int b, int c) {
  char code[3] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
  return cmpack(code);
}

// The last parameterless record of the output, or -1.
int lastcode(cxstate* st) {
  int b[6], n = 0;
  while (n < 6) {
    int c = cxunputc(st);
    if (c < 0) break;
    b[n++] = c;
  }
  for (int i = n - 1; i >= 0; i--) cxputc(st, b[i]);
  if (n < 6 || b[5] != ESC || b[4] != GS || b[0] != RS) return -1;
  return packed(b[3], b[2], b[1]);
}

// Moves the row's held-back text into the scratch stream sk, last byte
// first, so that popping sk gives it in text order: the bytes after the
// latest row start. Word takes them from the row stream and writes what
// precedes the row start to the output; Mac Word takes the output back as
// far as that record. False when no row start was found (Mac Word puts
// everything back).
bool takerow(cxstate* st, wrd* d, int sk) {
  int32_t row = -1, n = 0;
  auto take = [&]() { return d->mac ? cxunputc(st) : cxspop(st, d->rowstream); };
  for (int c; (c = take()) >= 0;) {
    if (c == GS && n >= 4) {
      // The three letters arrived just before the GS, last first.
      int l1 = cxspop(st, sk), l2 = cxspop(st, sk), l3 = cxspop(st, sk);
      if (packed(l1, l2, l3) == WR_ROWSTART) {
        int esc = take();
        if (esc != ESC && esc >= 0) cxsputc(st, esc, sk), n++;
        cxspop(st, sk);  // its RS
        n -= 4;
        if (row < 0) row = n;
        if (d->mac) break;
        continue;
      }
      cxsputc(st, l3, sk), cxsputc(st, l2, sk), cxsputc(st, l1, sk);
    }
    cxsputc(st, c, sk);
    n++;
  }
  if (row < 0) {
    for (int c; (c = cxspop(st, sk)) >= 0;) cxputc(st, c);
    return false;
  }
  // What preceded the row start, in text order.
  for (int32_t k = n - row; k > 0; k--) cxputc(st, cxspop(st, sk));
  return true;
}

// The table definition: the cells' left and right edges as column numbers,
// then in twips.
void tabledef(cxstate* st, wrd* d) {
  const wtdef& t = d->tdef;
  int64_t li = d->papw.leftindent, gap = t.gaphalf;
  int n = t.cellcount;
  cmbegin(st, WR_COLUMNS);
  cmputhex2(st, 10, 31);
  cmputdec(st, n);
  int64_t prev = 0;
  for (int i = 0; i < n; i++) {
    int64_t left = d->mac ? t.cellx[i] + li : t.cellx[i] + li + gap;
    int64_t right = d->mac ? t.cellx[i + 1] + li - 2 * gap : t.cellx[i + 1] + li - gap;
    int step = d->mac ? 1 : 144;
    if (left <= prev) left = prev + step;
    if (right <= left) right = left + step;
    wputcol(st, static_cast<int32_t>(left));
    wputcol(st, static_cast<int32_t>(right));
    cmputdec(st, 0);
    prev = right;
  }
  prev = 0;
  for (int i = 0; i < n; i++) {
    int64_t left, right;
    if (d->mac) {
      left = t.cellx[i] + li, right = t.cellx[i + 1] + li - 2 * gap;
      if (left <= prev) left = prev + 1;
      if (right <= left) right = left + 1;
      prev = right;
    } else {
      left = t.cellx[i + 1] == t.cellx[i] ? t.cellx[i] + li - gap : t.cellx[i] + li + gap;
      right = t.cellx[i + 1] + li - gap;
    }
    cmputdec(st, static_cast<int>(left));
    cmputdec(st, static_cast<int>(right));
    cmputdec(st, 0);
  }
  cmend(st);
  cmputcode(st, WR_COLSBEG);
}

void rowdef(cxstate* st, wrd* d) {
  const wtdef& t = d->tdef;
  cmbegin(st, WR_ROWDEF);
  cmputdec(st, t.cellcount);
  int64_t h = t.rowheight;
  cmputdec(st, h < 0 ? static_cast<int>(-h / 240) : 0);
  cmputdec(st, h < 0 ? static_cast<int>(-h) : 0);
  for (int i = 0; i < t.cellcount; i++) {
    const wcell& c = t.cell[i];
    cmputhex4(st, wbrcmap(d, c.border[0]) << 12 | wbrcmap(d, c.border[1]) << 8 | wbrcmap(d, c.border[2]) << 4 |
                      wbrcmap(d, c.border[3]));
  }
  cmputdec(st, t.justify ? t.justify + 1 : 0);
  cmend(st);
}

// Replays one cell's text from the scratch stream up to its cell end;
// false when the text ended first.
bool replay(cxstate* st, wrd* d, int sk, int i, bool last, int* align) {
  const wtdef& t = d->tdef;
  wstory& s = d->story[d->cur];
  int depth = 0;
  for (int c; (c = cxspop(st, sk)) >= 0;) {
    if (c == ESC) {
      int g = cxspop(st, sk);
      if (g != GS) {
        cxputc(st, c);
        if (g >= 0) cxsputc(st, g, sk);
        continue;
      }
      int l1 = cxspop(st, sk), l2 = cxspop(st, sk), l3 = cxspop(st, sk);
      int code = packed(l1, l2, l3);
      if (code == WR_CELLEND && depth == 0) {
        if (!last) {
          cxspop(st, sk);  // its RS
          return true;
        }
        cmbegin(st, WR_CELLEND);
        if (!d->mac) wnewmargins(st, d);
        depth++;
        continue;
      }
      if (code == WR_FRAMEEND && (d->mac || !d->frameopen)) {
        // A frame end with no frame open: the whole record goes.
        for (int k; (k = cxspop(st, sk)) >= 0 && k != RS;) {
        }
        d->framepending = 1;
        continue;
      }
      if (code == WR_LINEEND) {
        if (!d->mac) s.linepos = 0;
        *align = 0;
      } else if (code == WR_CENTRE) {
        *align = 1;
      } else if (code == WR_RIGHT) {
        *align = 2;
      } else if (code == WR_FRAMEEND) {
        d->frameopen = 0;
      } else if (code == WR_FRAMEBEG && !d->mac) {
        d->frameopen = 1;
      }
      cmbegin(st, code);
      depth++;
      continue;
    }
    cxputc(st, c);
    if (c == RS && depth > 0) {
      depth--;
    } else if (depth == 0) {
      s.linepos += 144;
      int64_t wrap = d->mac ? t.cellx[i + 1] : static_cast<int64_t>(t.cellx[i + 1]) + 540;
      if (s.linepos > wrap) {
        wlinecount(st, d);
        s.linepos += t.cellx[i];
      }
    }
  }
  return false;
}

}  // namespace

void wrowstart(cxstate* st, wrd* d) {
  if (!d->mac) {
    if (d->rowstream < 0) d->rowstream = cxsopen(st, 1024);
    if (d->rowstream < 0) return;
    ccpushsink(st, d->rowstream);
    d->rowsink = 1;
  }
  cmputcode(st, WR_ROWSTART);
}

void wtableend(cxstate* st, wrd* d) {
  if (d->rowsink) {
    // What the stream holds after the row start (nothing else reaches a
    // stream a finished row left behind) goes to the output, so that a
    // table without a row end keeps its text.
    ccpopsink(st);
    d->rowsink = 0;
    int sk = cxsopen(st, 1024);
    if (sk >= 0) {
      if (takerow(st, d, sk))
        for (int c; (c = cxspop(st, sk)) >= 0;) cxputc(st, c);
      cxsclose(st, sk);
    }
    cxsclose(st, d->rowstream);
    d->rowstream = -1;
  }
  cmputcode(st, WR_COLSEND);
  d->tdef.rowopen = 0;
}

void wrowflush(cxstate* st, wrd* d) {
  if (!d->mac && !d->rowsink) return;
  int sk = cxsopen(st, 1024);
  if (sk < 0) return;
  if (!d->mac) {
    ccpopsink(st);
    d->rowsink = 0;
  }
  int align = d->papw.justify;
  int keep = align;
  wtdef& t = d->tdef;
  if (takerow(st, d, sk)) {
    if (t.rowopen == 2) {
      cmputcode(st, WR_COLSEND);
      t.rowopen = 0;
    }
    if (t.rowopen == 0) tabledef(st, d);
    rowdef(st, d);
    int n = t.cellcount;
    bool more = true;
    for (int i = 0; i < n && more; i++) {
      const wcell& c = t.cell[i];
      if (!c.merged) {
        int span = 1;
        if (c.first)
          for (int k = i + 1; k < n && t.cell[k].merged; k++) span++;
        cmbegin(st, WR_CELLBEG);
        for (int v : {i + 1, span, 1, 0, 0, d->mac ? 0 : 2, 0}) cmputdec(st, v);
        cmend(st);
      }
      d->story[d->cur].linepos = t.cellx[i];
      more = replay(st, d, sk, i, i == n - 1, &align);
      if (more) {
        if (align == 1 && (d->mac || lastcode(st) != WR_CENTREEND)) cmputcode(st, WR_CENTREEND);
        if (align == 2) cmputcode(st, WR_RIGHTEND);
        align = 0;
        cmputcode(st, WR_CELLEND);
        if (!d->mac) wnewmargins(st, d);
      }
    }
    // Text past the last cell's end stays in its place.
    for (int c; (c = cxspop(st, sk)) >= 0;) cxputc(st, c);
    t.rowopen = 1;
  }
  cxsclose(st, sk);
  d->papw.justify = keep;
  if (lastcode(st) == WR_LINEEND)
    for (int k = 0; k < 6; k++) cxunputc(st);
  wrowstart(st, d);
}
