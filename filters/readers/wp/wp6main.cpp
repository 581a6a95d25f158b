// The WordPerfect 6 reader's run: the entry, the header checks (also of a
// document inside a compound file), the text loop and the two ways out.
#include <cstdlib>
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

constexpr int kpage = 2048;
constexpr unsigned char kole[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr const char* kmain = "PerfectOffice_MAIN";

// Copies the compound file's main stream into a scratch stream that becomes
// the input, so that packets can be read at any offset.
void openole(cvrun* run, wp6state* s) {
  char* name = cvgetparam(run, 0);
  int slot = olstpushin(run, name ? name : "", kmain);
  if (name) cvfree(run, name);
  if (slot < 0) {
    cvcloseio(run);
    wp6fatal(run, RDR_FORMAT);
  }
  s->olepushed = 1;
  s->oleslot = slot;
  olstseek(run, slot, 0);
  s->scratch = cvsscratch(run, 4096);
  auto* buf = static_cast<char*>(cvalloc(run, 4096));
  if (s->scratch < 0 || !buf) {
    if (buf) cvfree(run, buf);
    wp6fatal(run, RDR_NOMEM);
  }
  for (int n; (n = olstread(run, slot, buf, 4096)) > 0;) cvswrite(run, s->scratch, buf, n);
  cvfree(run, buf);
  cvsseek(run, s->scratch, 0);
  cvpushin(run, s->scratch);
}

}  // namespace

int wp6readw(cvrun* run) {
  int lo = cwgetc(run);
  int hi = lo < 0 ? -1 : cwgetc(run);
  if (hi < 0) return -1;
  convyield(run, 2);
  return lo | hi << 8;
}

int wp6main(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 48, 1);
  auto* s = static_cast<wp6state*>(cvalloc(run, sizeof(wp6state)));
  if (!s) wp6fatal(run, RDR_NOMEM);
  std::memset(s, 0, sizeof *s);
  s->fonttail = &s->fonts;
  wp6defaults(s);
  s->initsize = 0;
  s->datepic[0] = -1;
  s->scratch = -1;
  s->oleslot = s->objslot = s->capture = s->conv = -1;
  cvsetreader(run, s);
  cvsetbe(run, 0);
  wp6open(run);
  wp6index(run);
  if (cvopenout(run, kpage) < 0) wp6fatal(run, RDR_NOOUTPUT);
  cwcodepage(run, s->cp819 ? 819 : 437);
  wp6prolog(run);
  wp6text(run);
  wp6end(run);
  return 0;
}

int wp6open(cvrun* run) {
  wp6state* s = wp6st(run);
  wprowsort(wp6codetab, wp6ncodes);
  std::qsort(wp6chartab, sizeof wp6chartab / sizeof *wp6chartab, sizeof *wp6chartab, wp6chrcmp);
  if (cvopenin(run, kpage) < 0) wp6fatal(run, RDR_NOINPUT);
  unsigned char h[16];
  if (cvsread(run, run->in, h, 16) != 16) {
    cvcloseio(run);
    wp6fatal(run, RDR_FORMAT);
  }
  if (std::memcmp(h, kole, 8) == 0) {
    openole(run, s);
    if (cvsread(run, run->in, h, 16) != 16) {
      cvcloseio(run);
      wp6fatal(run, RDR_FORMAT);
    }
  }
  s->docin = run->in;
  if (std::memcmp(h, "\xFFWPC", 4) != 0 || h[8] != 1 || h[9] != 10 || h[10] != 2 || h[11] > 2) {
    cvcloseio(run);
    wp6fatal(run, RDR_FORMAT);
  }
  s->version = h[11] + 1;
  if (wp6get16(h + 12) != 0) {
    cvcloseio(run);
    wp6fatal(run, RDR_ENCRYPTED);
  }
  unsigned idx = wp6get16(h + 14);
  if (idx > 15) {
    s->indexoff = idx;
    s->cp819 = 1;
  } else {
    s->indexoff = 16;
  }
  s->docoff = wp6get32(h + 4);
  return 0;
}

int wp6text(cvrun* run) {
  wp6state* s = wp6st(run);
  for (;;) {
    int b = cwgetc(run);
    if (b < 0) {
      if (wp6tabeof(run)) continue;
      break;
    }
    convyield(run, 1);
    if (b >= 0x21 && b <= 0x7F) {
      if (s->f.proc & 1) {
        if (b == 0x2D)
          cwspecial(run, 2);
        else
          cwputc(run, b);
      }
    } else if (b >= 0x01 && b <= 0x20) {
      if (s->f.proc & 1) {
        const wp6chrrow& c = wp6chartab[b - 1];
        if (wp6charout(run, c.set, c.number) == -1) cwputc(run, '_');
      }
    } else {
      wp6disp(run, b);
    }
    s = wp6st(run);
  }
  return 0;
}

void wp6end(cvrun* run) {
  wp6state* s = wp6st(run);
  if (s->scratch >= 0) {
    cvpopin(run);
    cvsclose(run, s->scratch);
    s->scratch = -1;
  }
  if (s->objslot >= 0) {
    olstclose(run, s->objslot);
    s->objslot = -1;
  }
  if (s->olepushed) {
    olstpopin(run);
    s->olepushed = 0;
  }
  int status = s->missing ? RDR_NOPACKET : RDR_OK;
  wp6freestate(run);
  cvcloseio(run);
  convfatal(run, status);
}

void wp6fatal(cvrun* run, int status) {
  wp6freestate(run);
  cvcloseio(run);
  convfatal(run, status);
  std::abort();  // convfatal does not come back
}

void wp6freestate(cvrun* run) {
  wp6state* s = wp6st(run);
  if (!s) return;
  while (wp6push* p = s->pushed) {
    s->pushed = p->next;
    if (p->stream >= 0) cvsclose(run, p->stream);
    cvfree(run, p);
  }
  wp6tabfree(run, s);
  while (wp6style* t = s->styles) {
    s->styles = t->next;
    cvfree(run, t);
  }
  while (wp6font* f = s->fonts) {
    s->fonts = f->next;
    cvfree(run, f);
  }
  while (wp6packet* p = s->packets) {
    s->packets = p->next;
    cvfree(run, p);
  }
  cvsetreader(run, nullptr);
  cvfree(run, s);
}
