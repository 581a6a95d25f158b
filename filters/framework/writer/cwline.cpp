// Line ends, page breaks and aligned regions: the record of each kind of
// line end, the space that keeps the words on either side of a soft line
// end apart, what a hard line end resets, the paragraph spacing as blank
// lines, and the region that a centred or right-aligned line sits in.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

constexpr int kcentre = 25219, kright = 18625;

// The code of the record whose RS was just stepped back over: the record is
// copied backwards onto a scratch stream up to its own GS (nested records
// passed), then written back as it was.
int lastrecord(cvrun* run, int scratch) {
  cvsputc(run, scratch, COM_RS);
  char code[3] = {};
  int n = 0, depth = 1;
  for (int b; (b = cwbackc(run)) != -1;) {
    cvsputc(run, scratch, b);
    if (b == COM_RS) {
      depth++;
    } else if (b == COM_GS && --depth == 0) {
      break;
    }
    code[2] = code[1];
    code[1] = code[0];
    code[0] = static_cast<char>(b);
    n++;
  }
  for (int c; (c = cvsbackc(run, scratch)) != -1;) cvsputc(run, run->out, c);
  return depth == 0 && n >= 3 ? cwcodepack(code) : 0;
}

// Whether a space must separate the last word written from the next line;
// *code is the record that ends the output, if one does.
bool needspace(cvrun* run, int* code) {
  *code = 0;
  int b = cwbackc(run);
  if (b == -1) return true;
  if (b != COM_RS) {
    cvsputc(run, run->out, b);
    return b != '-' && b != '/' && b != ' ';
  }
  int scratch = cvsscratch(run, 128);
  if (scratch < 0) {
    cvsputc(run, run->out, b);
    return false;
  }
  *code = lastrecord(run, scratch);
  cvsclose(run, scratch);
  // A hyphen or a line end already keeps the words apart.
  return *code != 3347 && *code != 3336 && *code != 12744 && *code != 12755;
}

void region(cvrun* run, int code, int kind, const cwstrdesc* d) {
  cwstate* w = writer(run);
  cwflushpending(run);
  cwrecbeg(run, code);
  cwparint(run, kind);
  cwparint(run, 0);
  cwparint(run, 0);
  if (d && d->text) {
    cwstr(run, d->text, d->enc);
    cwendfield(run);
  }
  cwrecend(run);
  w->para.region = code;
  w->chr.region = code == kcentre ? 1 : 2;
}

void regionend(cvrun* run, int code) {
  cwstate* w = writer(run);
  cwflushpending(run);
  cwrecone(run, code);
  w->para.region = 0;
  w->chr.region = 0;
}

}  // namespace

void cwnewline(cvrun* run, int kind) {
  static const int codes[] = {12755, 12744, 14734, 16840, 16851, 12755};
  if (kind < 0 || kind > 5) return;
  cwstate* w = writer(run);
  cwparafmt& p = w->para;
  cwflushpending(run);
  if (kind == 5) {
    cwdecrec(run, 12755, {1});
  } else {
    if (!w->parastart) cwalignclose(run);
    w->parastart = 1;
    if (kind == 0 || kind == 4) {
      int last = 0;
      if (needspace(run, &last)) cvsputc(run, run->out, ' ');
      if (kind == 4 && last != 12744 && last != 12755) cwrecone(run, 12755);
    }
    // A paragraph style ends with its paragraph.
    cwstyle* style = kind == 1 && w->curpara && w->curpara->kind != 1 ? w->curpara : nullptr;
    if (style) cwstyleend(run);
    cwrecone(run, codes[kind]);
    if (style) {
      cwparablank(run, 1);
      cwstyleparend(run, style);
      w->curpara = nullptr;
    }
    if (kind == 2) cwrecone(run, 12744);
  }
  if (kind == 1 || kind == 3) {
    p.taborg = p.lmar;
    cwparablank(run, 1);
    cwindreset(run);
    p.before = p.after = 0;
    w->paraw.before = w->paraw.after = 0;
  }
  if (p.once4 > 0) {
    cwrecone(run, 15083);
    p.once4 = -1;
  }
  w->pending |= CW_PCHAR;
  // A new paragraph: its records go out with its first output.
  if (kind == 1) cwparapend(run, CW_PBOUND);
  p.linepos = p.indleft + p.lmar;
}

void cwparablank(cvrun* run, int which) {
  const cwparafmt& p = writer(run)->para;
  for (int v = which == 0 ? p.before : p.after; v >= 120; v -= 240) cwdecrec(run, 12744, {1});
}

void cwalignopen(cvrun* run) {
  cwparafmt& p = writer(run)->para;
  if (p.align == 1) {
    cwdecrec(run, kcentre, {0, 0, 0});
    p.region = kcentre;
  } else if (p.align == 2) {
    cwdecrec(run, kright, {10, 0, 0});
    p.region = kright;
  }
}

void cwalignclose(cvrun* run) {
  cwstate* w = writer(run);
  cwparafmt& p = w->para;
  if ((p.align == 1 || w->chr.region == 1) && p.region == kcentre) {
    cwrecone(run, 20581);
    p.region = 0;
  } else if ((p.align == 2 || w->chr.region == 2) && p.region == kright) {
    cwrecone(run, 20517);
    p.region = 0;
  }
  w->chr.region = 0;
}

void cwflrbeg(cvrun* run, const cwstrdesc* d) { region(run, kright, 10, d); }
void cwflrbeg2(cvrun* run, const cwstrdesc* d) { region(run, kright, 44, d); }
void cwctrbeg(cvrun* run) { region(run, kcentre, 0, nullptr); }
void cwctrbeg2(cvrun* run) { region(run, kcentre, 1, nullptr); }
void cwctrend(cvrun* run) { regionend(run, 20581); }
void cwflrend(cvrun* run) { regionend(run, 20517); }
