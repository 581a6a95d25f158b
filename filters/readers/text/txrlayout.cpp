// The plain-text reader's layouts: single-byte text with the direction
// switches of the Hebrew and Arabic code pages, the double-byte loop of the
// four Far Eastern sets, and the blocks of layout 1.
#include "filters/readers/text/txr.h"

namespace {

txrstate* state(cvrun* run) { return static_cast<txrstate*>(cvreader(run)); }

// The size of the double-byte characters of each set (0: unchanged).
constexpr int kdbsize[] = {0, 210, 240, 240, 200};

// Control bytes of the text: tab, line feed, form feed and carriage return
// (CR LF is one line end, so is a lone CR); false for any other byte.
bool control(cvrun* run, int c) {
  switch (c) {
    case 9: cwspecial(run, 6); return true;
    case 10: cwnewline(run, 1); return true;
    case 12: cwnewline(run, 3); return true;
    case 13: {
      int next = cwgetc(run);
      if (next != 10) cwnewline(run, 1);
      if (next != -1) cwungetc(run, next);
      return true;
    }
    default: return false;
  }
}

bool latin1256(int c) {
  return (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || (c >= 130 && c <= 140) || (c >= 145 && c <= 191) ||
         c == 244 || c == 247 || c == 249 || c == 251 || c == 252;
}

// The direction rules of code pages 1255 and 1256: 253 and 254 switch only;
// a letter of the other direction switches the direction and the font.
// Whether the byte is to be written.
bool direction(cvrun* run, txrstate* s, int c) {
  if (c == 253 || c == 254) {
    s->rtl = c == 254;
    cwtextdir(run, 0, s->rtl, 0);
    return false;
  }
  bool letter = (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || c >= 128;
  if (!letter) return true;
  bool rtl = s->cp == 1255 ? c >= 192 || c == 164 : !latin1256(c);
  if (rtl && !s->rtl) {
    cwtextdir(run, 0, 1, 0);
    s->rtl = 1;
    cwfontsize2(run, s->font2, s->cp == 1255 ? 200 : 240);
  } else if (!rtl && s->rtl) {
    cwtextdir(run, 0, 0, 0);
    s->rtl = 0;
    cwfontsize2(run, s->textfont, 200);
  }
  return true;
}

// Single-byte text to the end of the input, or of the byte range.
void plain(cvrun* run, txrstate* s) {
  bool rtlpage = s->cp == 1255 || s->cp == 1256;
  for (int c; (c = cwgetc(run)) != -1;) {
    convyield(run, 1);
    if (!control(run, c) && (!rtlpage || direction(run, s, c))) cwputc(run, c);
    if (s->start > 0 && s->count-- == 1) return;
  }
}

// A single byte inside the double-byte loop: back to the text font.
void single(cvrun* run, txrstate* s, int c) {
  cwmbyteoff(run);
  cwfontsize2(run, s->textfont, 240);
  if (!control(run, c)) cwputc(run, c);
}

// The double-byte loop. Layout 0 writes both bytes of a character; layouts
// 2 and 3 one value, the trail byte (the first of a 2-byte unit).
void dbloop(cvrun* run, txrstate* s, bool bothbytes) {
  for (;;) {
    int b1 = cwgetc(run), b2;
    if (b1 == -1) return;
    if (s->wide) {
      if ((b2 = cwgetc(run)) == -1) return;
    } else {
      if (b1 < s->leadlo || b1 > s->leadhi) {
        single(run, s, b1);
        continue;
      }
      if ((b2 = cwgetc(run)) == -1) return;
    }
    convyield(run, 2);
    cwmbyteon(run, s->dbset, s->wide);
    if (s->dbset != 0) {
      cwfontsel(run, s->font2);
      cwfontsize(run, kdbsize[s->dbset]);
    }
    if (bothbytes) {
      cwputc(run, b1);
      cwputc(run, b2);
    } else {
      cwputc(run, s->wide ? b1 : b2);
    }
  }
}

bool blank(int c) { return c == ' ' || c == '\t'; }

}  // namespace

int txrplain(cvrun* run) {
  txrstate* s = state(run);
  if (s->dbcs)
    dbloop(run, s, true);
  else
    plain(run, s);
  if (s->dbcs) cwmbyteoff(run);
  return 0;
}

int txrdbcs(cvrun* run) {
  txrstate* s = state(run);
  if (!s->dbcs) return txrplain(run);
  dbloop(run, s, false);
  cwmbyteon(run, s->dbset, s->wide);
  return 0;
}

int txrwide(cvrun* run) {
  txrstate* s = state(run);
  if (!s->dbcs) return txrplain(run);
  dbloop(run, s, false);
  cwmbyteoff(run);
  return 0;
}

int txrlines(cvrun* run) {
  txrstate* s = state(run);
  if (s->dbcs) return 0;
  for (;;) {
    long before = cvstell(run, run->in);
    int h = txrblock(run);
    long size = h >= 0 ? cvssize(run, h) : 0;
    convyield(run, static_cast<int>(size));
    cvsclose(run, h);
    // The input exhausted, the blocks end too.
    if (cvstell(run, run->in) <= before) return 0;
    if (s->start > 0 && s->count-- == 1) return 0;
  }
}

int txrblock(cvrun* run) {
  // A block runs from a line to the next line that begins with a blank or a
  // form feed, or to the end of the input; it ends on a line boundary.
  long start = cvstell(run, run->in), pos = start, end = -1;
  bool first = true, linestart = true;
  for (int c; end < 0 && (c = cvsgetc(run, run->in)) != -1;) {
    if (linestart && !first && (blank(c) || c == 12)) {
      end = pos;
      break;
    }
    pos++;
    linestart = c == 10 || c == 12 || c == 13;
    if (c == 13) {
      int next = cvsgetc(run, run->in);
      if (next == 10)
        pos++;
      else if (next != -1)
        cvsungetc(run, run->in, next);
    }
    if (linestart) first = false;
  }
  if (end < 0) end = pos;
  cvsseek(run, run->in, start);
  int h = cvsscratch(run, 512);
  for (long i = start; i < end; i++) {
    int c = cvsgetc(run, run->in);
    if (h >= 0 && c != -1) cvsputc(run, h, c);
  }
  return h;
}
