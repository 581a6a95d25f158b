// Character output of the writer core: characters and strings with the line
// position, the wrap that moves the tail of a full line behind a soft line
// end at the last space or hyphen written, special characters and break
// records, the readers' input, and the summary and background the prologue
// writes.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

// Adds a character's width to the line position while counting.
void count(cvrun* run, int c) {
  cwstate* w = writer(run);
  if (!w->nowidth) w->para.linepos += cwwidth(run, c);
}

// Records that end the backward scan of the wrap: the line has no break point.
bool linestart(int code) {
  switch (code) {
    case 2152: case 12744: case 12755: case 15458: case 15873:
    case 19587: case 20899: case 20934: case 28872: case 29896:
      return true;
    default:
      return false;
  }
}

// Copies a scratch stream written backwards to the output, last byte first.
void copyback(cvrun* run, int scratch) {
  for (int c; (c = cvsbackc(run, scratch)) != -1;) cvsputc(run, run->out, c);
}

void freeentry(cvrun* run, cwsumentry* e) {
  if (e->text) cvfree(run, e->text);
  e->text = nullptr;
  if (e->stream >= 0) cvsclose(run, e->stream);
  e->stream = -1;
}

// The summary entry of an index, emptied, or null when there is none and no
// memory for it.
cwsumentry* entry(cvrun* run, int index) {
  cwstate* w = writer(run);
  if (!w->summary) {
    auto* t = static_cast<cwsumentry**>(cvalloc(run, CW_NSUMMARY * sizeof(cwsumentry*)));
    if (!t) return nullptr;
    std::memset(t, 0, CW_NSUMMARY * sizeof(cwsumentry*));
    w->summary = t;
    cvaddcleanup(run, cwsummaryfree);
  }
  cwsumentry*& e = w->summary[index];
  if (e) {
    freeentry(run, e);
    return e;
  }
  e = static_cast<cwsumentry*>(cvalloc(run, sizeof(cwsumentry)));
  if (e) *e = {nullptr, -1, -1};
  return e;
}

}  // namespace

void cwputcslow(cvrun* run, int c) {
  cwstate* w = writer(run);
  cwflushpending(run);
  if (!w->nowidth) {
    // Signed: a line position left of the margin is not a full line.
    if (!w->mbhex && w->para.linepos >= w->rightlimit) {
      cwwrap(run);
      w->para.linepos += w->para.indleft + w->para.lmar;
    }
    w->para.linepos += cwwidth(run, w->mbhex ? 'M' : c);
  }
  cwucschar(run, c);
}

void cwputs(cvrun* run, const char* s) {
  cwflushpending(run);
  for (; s && *s; s++) {
    int c = static_cast<unsigned char>(*s);
    cwucschar(run, c);
    count(run, c);
  }
}

void cwputraw(cvrun* run, int c) { cwucschar(run, c); }

void cwputb(cvrun* run, int byte) {
  cwflushpending(run);
  cvsputc(run, run->out, byte);
}

int cwbackc(cvrun* run) { return cvsbackc(run, run->out); }

void cwspecial(cvrun* run, int kind) {
  cwflushpending(run);
  switch (kind) {
    case 0: cwrecone(run, 18510); count(run, ' '); break;
    case 1: cwrecone(run, 3347); break;
    case 2: cwrecone(run, 3336); count(run, '-'); break;
    case 3: cwrecone(run, 3347); count(run, '-'); break;
    case 4: cwrecone(run, 14864); break;
    case 5: cwrecone(run, 14736); break;
    case 6: cwrecone(run, 2100); break;
    case 7: cwrecone(run, 2691); cwrecone(run, 2100); break;
    case 8: cwrecone(run, 2692); break;
    case 9: cwdecrec(run, 18625, {44, 0, 0}); cwrecone(run, 20517); break;
    default: break;
  }
}

void cwbreak(cvrun* run, int kind) {
  static const int codes[] = {12744, 12755, 18510, 3347, 3336, 3347};
  if (kind >= 0 && kind <= 5) cwrecone(run, codes[kind]);
}

void cwungetc(cvrun* run, int byte) {
  if (run->getidx >= 0 && run->ungetidx >= 0)
    run->ungetcbs[run->ungetidx](run, byte);
  else if (run->getidx < 0)
    cvsungetc(run, run->in, byte);
}

void cwwrap(cvrun* run) {
  cwstate* w = writer(run);
  int scratch = cvsscratch(run, 1024);
  if (scratch < 0) {
    cvsputc(run, run->out, ' ');
    cwnewline(run, 0);
    w->para.linepos = 0;
    return;
  }
  int sum = 0, depth = 0;
  bool inrec = false, found = true, atspace = true;
  int await[2] = {0, 0};
  char recent[5] = {};  // the bytes scanned last: an ESC, then GS and the code
  // The cells of a row share one stream: the text of the cell before is no
  // part of this line, and moving it would move the boundary between them.
  long floor = cwcellfloor(run);
  for (;;) {
    if (floor >= 0 && cvstell(run, run->out) <= floor) {
      found = false;
      break;
    }
    int b = cwbackc(run);
    if (b == -1) {
      found = false;
      break;
    }
    cvsputc(run, scratch, b);
    std::memmove(recent + 1, recent, 4);
    recent[0] = static_cast<char>(b);
    if (b == COM_RS) {
      depth++;
      inrec = true;
      continue;
    }
    if (b == COM_ESC) {
      if (--depth != 0) continue;
      int code = cwcodepack(recent + 2);
      if (await[0] || await[1]) {
        if (code == await[0] || code == await[1]) {
          await[0] = await[1] = 0;
          inrec = false;
        }
        continue;
      }
      if (linestart(code)) {
        found = false;
        break;
      }
      if (code == 3336 || code == 3149 || code == 3347) {
        atspace = false;
        break;
      }
      // A closed box, column set, note or header is passed over whole.
      if (code == 6657) await[0] = 15873;
      else if (code == 13413) await[0] = 19587;
      else if (code == 14533) await[0] = 20934;
      else if (code == 24776) await[0] = 28872, await[1] = 29896;
      else if (code != 18510 && code != 19573 && code != 24744) inrec = false;
      if (await[0]) inrec = true;
      continue;
    }
    if (inrec || depth != 0) continue;
    if (b == ' ') break;
    if (b >= 0x21 && b <= 0x7F) sum += cwwidth(run, b);
  }
  if (found) {
    if (atspace) {
      cvsputc(run, run->out, ' ');
      cwnewline(run, 0);
      cvsbackc(run, scratch);
    } else {
      cwnewline(run, 5);
    }
    if (w->parastart) {
      cwalignopen(run);
      w->parastart = 0;
    }
    w->para.linepos = sum;
    copyback(run, scratch);
  } else {
    copyback(run, scratch);
    cwnewline(run, 5);
    w->para.linepos = 0;
  }
  cvsclose(run, scratch);
}

void cwsummary(cvrun* run, int index, const char* text, int enc) {
  if (index < 0 || index >= CW_NSUMMARY) return;
  if (cwsumentry* e = entry(run, index)) {
    e->text = text ? cvstrdup(run, text, enc) : nullptr;
    e->enc = enc;
  }
}

void cwsummaryrec(cvrun* run, const cwsumitem* item) {
  if (item->index < 0 || item->index >= CW_NSUMMARY) return;
  cwsumentry* e = entry(run, item->index);
  if (!e) return;
  if (item->text) {
    e->text = cvstrdup(run, item->text, item->enc);
    e->enc = item->enc;
  } else {
    e->enc = -1;
    e->stream = item->stream;
  }
}

void cwsummaryfree(cvrun* run) {
  cwstate* w = writer(run);
  if (!w || !w->summary) return;
  for (int i = 0; i < CW_NSUMMARY; i++) {
    cwsumentry*& e = w->summary[i];
    if (!e) continue;
    freeentry(run, e);
    cvfree(run, e);
    e = nullptr;
  }
  cvfree(run, w->summary);
  w->summary = nullptr;
}

void cwdocshade(cvrun* run, const cvshade* shade) {
  cwstate* w = writer(run);
  if (!w->docshade) w->docshade = static_cast<cvshadevals*>(cvalloc(run, sizeof(cvshadevals)));
  if (w->docshade) *w->docshade = shade->v;
}
