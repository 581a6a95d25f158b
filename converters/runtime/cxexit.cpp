// Status codes and the fatal exit of a converter run, the run's entry and end,
// and the console hooks (banner, progress meter) of the stand-alone runtime.
#include "converters/runtime/cx.h"

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kreadexit = -100000;  // cxentry's marker: take the exit status

// Runs one clean-up step; a fatal exit raised inside it (a failed final
// write, a virtual-file callback) is kept as the status when none is set yet.
template <class F>
void guarded(cxstate* st, int& status, F&& step) {
  try {
    step();
  } catch (const cxunwind&) {
    if (status == 0) status = st->cm->exitstatus;
  } catch (...) {
    if (status == 0) status = CX_NOMEM;
  }
}
}  // namespace

void cxthrow(cxstate* st, int status) {
  st->cm->exitstatus = status;
  if (st->cm->jumppoint <= 0) {
    // No converter entry is running: there is nowhere to unwind to.
    std::fprintf(stderr, "converter runtime: fatal exit %d outside a converter entry\n", status);
    std::abort();
  }
  throw cxunwind{status};
}

int ccseterr(cxstate* st, int status) {
  cxstblk* sb = st->sb;
  if (sb->firststatus == 0 || sb->firststatus == CX_WARN || sb->firststatus == CX_WARNEND)
    sb->firststatus = status;
  if (status == CX_WARN || status == CX_WARNEND) {
    sb->warnflag = 1;
    return 0;
  }
  sb->abortflag = 1;
  cxthrow(st, status);
}

int ccstatfatal(cxstate* st) {
  int f = st->sb->firststatus;
  return (f == 0 || f == CX_WARN || f == CX_WARNEND) ? 0 : 1;
}

int cxentry_begin(cxstate* st) {
  st->cm->jumppoint++;
  return 0;
}

int cxentry_end(cxstate* st, int status) {
  if (status == kreadexit) status = st->cm->exitstatus;
  guarded(st, status, [&] { cxbufend(st); });
  cxrunend(st);
  st->cm->jumppoint--;
  return static_cast<int16_t>(status);
}

void cxrunend(cxstate* st) {
  int ignored = 0;
  // cxbufend is a no-op once the buffers are gone (cxentry_end ran it).
  guarded(st, ignored, [&] { cxbufend(st); });
  guarded(st, ignored, [&] { ccrunclean(st); });
  guarded(st, ignored, [&] { bfcloseall(st); });
  guarded(st, ignored, [&] { cxzoneclose(st); });
  guarded(st, ignored, [&] { cctmpclean(st); });
  guarded(st, ignored, [&] { cxregcloseall(st); });
  cxfreeall(st);
}

int cxbanner(cxstate* st) {
  std::fputs("\n\nSource Control Version: Converter Code = 6.1.", stdout);
  std::fputs(", Common Code = ", stdout);
  std::fputs(".\n\n", stdout);
  return 0;
}

int cxprint(cxstate* st, const char* text) {
  return std::fputs(text, stdout);
}

int cxputch(cxstate* st, int c) {
  return 0;
}

int cxputs(cxstate* st, const char* text) {
  int i = 0;
  for (; text[i]; i++) cxputch(st, static_cast<unsigned char>(text[i]));
  return i;
}

namespace {
bool meterquiet(cxstate* st) {
  return st->fb->queueid != 0 || st->cm->peerpid != -1;
}
}  // namespace

int cxmeterbeg(cxstate* st, int style) {
  if (meterquiet(st)) return 0;
  cxcommon* cm = st->cm;
  cm->meterstep = 0;
  cm->meterstyle = style;
  if (style == 3) {
    std::printf("\n%03d\r", 0);
  } else {
    std::printf("\n%s\n", "0%        25%           50%         75%         100%");
    std::fwrite(cm->bar, 1, 53, stdout);
  }
  return 0;
}

int cxmeterstep(cxstate* st, int n) {
  cxcommon* cm = st->cm;
  if (cm->meterstep >= 51) return 1;
  cm->meterstep++;
  if (st->fb->queueid != 0) {
    if (!(st->ob->optflags & 0x2000)) {
      cm->msgkind = 1;
      std::snprintf(cm->msgtext, sizeof cm->msgtext, "%d", cm->meterstep);
    }
    return 0;
  }
  if (cm->peerpid != -1) return 0;
  if (cm->meterstyle == 3) {
    std::printf("%03d%%\r", cm->meterstep * 2);
  } else {
    if (cm->meterstep <= 50) cm->bar[cm->meterstep] = '.';
    std::fwrite(cm->bar, 1, 53, stdout);
  }
  return 0;
}

int cxmeterend(cxstate* st) {
  if (st->fb->queueid != 0) {
    st->cm->msgkind = 1;
    std::snprintf(st->cm->msgtext, sizeof st->cm->msgtext, "%s", "CM1S_END");
    return 0;
  }
  std::fputs("\n", stdout);
  return 0;
}

int cxprogbeg(cxstate* st, int32_t size) { return 0; }
int cxprogadd(cxstate* st, int32_t n) { return 0; }
int cxprogtick(cxstate* st) { return 0; }
int cxprogend(cxstate* st) { return 0; }
