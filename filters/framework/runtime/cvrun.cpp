// The converter run: its start and end in their fixed order, clean-up
// callbacks, tracked memory, the input and output streams, the parameters and
// the accessors. Steps that belong to the writer go through the hook table.
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include <cstdio>
#include <cstring>

namespace {

const cvhooks* hooks = nullptr;

void hook(void (*cvhooks::*slot)(cvrun*), cvrun* run) {
  if (hooks && hooks->*slot) (hooks->*slot)(run);
}

// The progress-begin mode from the option flags; -1 for none at all.
int progmode(cvrun* run) {
  int f = run->opt.flags;
  if (f & 0x80) return -1;
  if (f & 0x02) return run->inflag;
  if (f & 0x40) return 3;
  if (run->opt.wflag == 1) return 4;
  if (f & 0x1000) return 5;
  return 0;
}

}  // namespace

const cvhooks* cvsethooks(const cvhooks* h) {
  const cvhooks* old = hooks;
  hooks = h;
  return old;
}

int cvinit(cvrun* run, int argc, const char** argv, int inflag, int fmtid, int sizefactor) {
  // 1. The runtime's own fields.
  run->first = run->last = nullptr;
  run->tmpcount = 0;
  for (cvcleanup_t& c : run->cleanup) c = nullptr;
  run->in = run->out = -1;
  run->fmtid = fmtid;
  // 2. Other modules' run-start values.
  run->codepage = -1;
  run->getidx = run->ungetidx = -1;
  for (int i = 0; i < CV_NREDIR; i++) {
    run->getcbs[i] = nullptr;
    run->ungetcbs[i] = nullptr;
  }
  hook(&cvhooks::runstart, run);
  // 3. Module resets: document defaults, file services, compound-file
  // reader, stream table, options.
  hook(&cvhooks::defsinit, run);
  cvfinit(run);
  hook(&cvhooks::olereset, run);
  for (cvpstream*& s : run->streams) s = nullptr;
  run->nopenfiles = 0;
  for (int& f : run->openfiles) f = -1;
  cvoptreset(run);
  // 4.
  run->err = 0;
  run->lost = 0;
  run->inflag = inflag;
  run->opt.osim = 0;
  // 5. The arguments; 6. the code page.
  cvargs(run, argc, argv);
  if (run->codepage == -1) run->codepage = 437;
  // 7, 8. Code-page tables, progress, character format, page defaults.
  hook(&cvhooks::unctabinit, run);
  run->progmode = 1;
  run->progstep = run->progcount = run->progpct = 0;
  run->progtotal = 0;
  hook(&cvhooks::charinit, run);
  hook(&cvhooks::pagedefs, run);
  // 9. The redirection stacks, the writer's caches, little-endian strings.
  run->indepth = run->outdepth = -1;
  run->inover = run->outover = 0;
  for (int i = 0; i < CV_NREDIR; i++) run->insaved[i] = run->outsaved[i] = -1;
  hook(&cvhooks::caches, run);
  run->bigendian = 0;
  // 10. Progress start.
  long size = run->params[0] ? cvfsize(run, run->params[0]) : 0;
  run->progtotal = static_cast<long>(sizefactor) * (size > 0 ? size : 0);
  run->progstep = static_cast<int>(run->progtotal / 100 > 0 ? run->progtotal / 100 : 1);
  int mode = progmode(run);
  if (mode >= 0) convprogbeg(run, mode);
  // 11. The right limit of the line.
  hook(&cvhooks::rightlimit, run);
  return 0;
}

int cvshutdown(cvrun* run) {
  // 1. Progress end, in steps of two per cent.
  if (!(run->opt.flags & 0x80)) {
    while (run->progpct < 100) {
      run->progpct++;
      if (run->progpct % 2 == 0) convprogstep(run, run->progpct);
    }
    convprogend(run);
  }
  // 2-4. Code-page tables, font table, paragraph formats.
  hook(&cvhooks::unctabfree, run);
  hook(&cvhooks::fontfree, run);
  hook(&cvhooks::parafree, run);
  // 5. Clean-up callbacks, each slot emptied before the next.
  for (cvcleanup_t& c : run->cleanup) {
    cvcleanup_t fn = c;
    c = nullptr;
    if (fn) fn(run);
  }
  // 6. Streams still open.
  cvscloseall(run);
  // 7. The output file goes when the run failed, unless deleting it is refused.
  if ((run->inflag != 1 || run->err != 0) && run->params[2]) cvfdelete(run, run->params[2]);
  // 8, 9. Files still open, temporary files, options.
  cvfcloseall(run);
  cvoptfree(run);
  return 0;
}

int cvaddcleanup(cvrun* run, cvcleanup_t fn) {
  for (cvcleanup_t& c : run->cleanup)
    if (!c) {
      c = fn;
      return 0;
    }
  return -1;
}

int cvdelcleanup(cvrun* run, cvcleanup_t fn) {
  for (cvcleanup_t& c : run->cleanup)
    if (c == fn) {
      c = nullptr;
      return 0;
    }
  return -1;
}

void* cvalloc(cvrun* run, size_t size) {
  auto* b = static_cast<cvtblock*>(convhostalloc(run, sizeof(cvtblock) + size));
  if (!b) return nullptr;
  cvlinkend(b, run->first, run->last);
  return b + 1;
}

void cvfree(cvrun* run, void* block) {
  if (!block) cvmemerr(1);
  cvtblock* b = static_cast<cvtblock*>(block) - 1;
  cvunlink(b, run->first, run->last);
  convhostfree(run, b);
}

void cvfreeall(cvrun* run) {
  for (cvtblock* b = run->first; b;) {
    cvtblock* next = b->next;
    convhostfree(run, b);
    b = next;
  }
  run->first = run->last = nullptr;
}

void cvmemerr(int code) {
  std::printf("************************\n"
              "* COM Memory Error %3d *\n"
              "* Call support!!!      *\n"
              "************************\n",
              code);
  std::fflush(stdout);
  convinterr();
}

int cvopenin(cvrun* run, int pagesize) {
  int h = cvsopenr(run, pagesize, run->params[0]);
  if (h >= 0) run->in = h;
  return h;
}

int cvopenout(cvrun* run, int pagesize) {
  int h = cvsopenw(run, pagesize, run->params[2]);
  if (h >= 0) run->out = h;
  return h;
}

int cvcloseio(cvrun* run) {
  if (run->out != -1) hook(&cvhooks::outclose, run);
  if (run->in != -1) cvsclose(run, run->in);
  if (run->out != -1) cvsclose(run, run->out);
  return 0;
}

char* cvgetparam(cvrun* run, int index) {
  static const int known[] = {0, 1, 2, 3, 4, 9, 11, 16, 17, 18};
  bool ok = false;
  for (int k : known) ok = ok || k == index;
  if (!ok || !run->params[index] || !*run->params[index]) return nullptr;
  return cvcopy(run, run->params[index]);
}

int cvinhandle(cvrun* run) { return run->in; }
int cvouthandle(cvrun* run) { return run->out; }

int cvsetin(cvrun* run, int handle) {
  run->in = handle;
  return 0;
}

int cvsetout(cvrun* run, int handle) {
  run->out = handle;
  return 0;
}

void* cvreader(cvrun* run) { return run->reader; }

int cvsetreader(cvrun* run, void* reader) {
  run->reader = reader;
  return 0;
}

int cvseterr(cvrun* run, int code) {
  run->err = code;
  if (code == CV_EWRITE || code == CV_ENOMEM) run->lost = 1;
  return 0;
}

int cvgeterr(cvrun* run) { return run->err; }
int cvoptoflags(cvrun* run) { return run->opt.oflags; }
int cvoptflags(cvrun* run) { return run->opt.flags; }
int cvsimflags(cvrun* run) { return run->opt.osim; }
int cvgfxopts(cvrun* run) { return run->opt.gfx; }
int cwgetcodepage(cvrun* run) { return run->codepage; }
int cvprogpct(cvrun* run) { return run->progpct; }
