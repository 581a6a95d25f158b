// The host interface of the framework and its conversion driver: opening a
// document, the two pulls, detection, run set-up and the reader call, and the
// fatal exit that unwinds a conversion back to the pull in progress.
#include "filters/framework/runtime/cv.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The fatal unwind: thrown by convinterr, caught only by convguard.
struct convunwind {};

int guards = 0;  // convguard calls in progress; the innermost one is the return point

constexpr const char* kintfile = "kvj99int.tmp";
constexpr const char* ktextfile = "ascii.tmp";

// The readers by format code, in the order of kformats.
constexpr int kformats[] = {1, 7, 44, 48, 49, 108};
constexpr int knformats = sizeof kformats / sizeof kformats[0];

int formatslot(int format) {
  for (int i = 0; i < knformats; i++)
    if (kformats[i] == format) return i;
  return -1;
}

// The entries of the formats whose readers do not exist yet: the run starts
// and ends at once with status 9 (not a supported version).
int rdrnone(cvrun* run, int argc, const char** argv, int format) {
  cvinit(run, argc, argv, 1, format, 1);
  convfatal(run, RDR_FORMAT);
  return 0;
}
template <int format>
int rdrnone(cvrun* run, int argc, const char** argv) {
  return rdrnone(run, argc, argv, format);
}

rdrentry readers[knformats] = {nullptr, rdrnone<7>, rdrnone<44>, rdrnone<48>, rdrnone<49>, rdrnone<108>};

struct pull {
  convstate* st;
  void* buf;
  int len;
  int* count;
  bool text;
};

// One pull: on the first call the conversion, then the next bytes of the file.
int pullbody(void* arg) {
  auto* p = static_cast<pull*>(arg);
  convstate* st = p->st;
  if (!st->converted) {
    if (convrun(st) == -1) return -1;
    st->converted = 1;
  }
  int* open = p->text ? &st->textopen : &st->intopen;
  int* handle = p->text ? &st->texth : &st->inth;
  if (p->text && !st->textmade) {
    if (convtotext(st) == -1) return -1;
    st->textmade = 1;
  }
  if (!*open) {
    int h = convmfcreate(st, p->text ? ktextfile : kintfile, 1);
    if (h == -1) return -1;
    *handle = h;
    *open = 1;
  }
  int n = convmfget(st, *handle, p->buf, p->len);
  if (n == -1) return -1;
  *p->count = n;
  return 1;
}

int pullfile(convstate* st, void* buf, int len, int* count, bool text) {
  if (!st || !buf || !count) return -1;
  pull p{st, buf, len, count, text};
  return convguard(pullbody, &p);
}

}  // namespace

rdrentry convsetreader(int format, rdrentry entry) {
  int i = formatslot(format);
  if (i < 0) return nullptr;
  rdrentry old = readers[i];
  readers[i] = entry;
  return old;
}

rdrentry convgetreader(int format) {
  int i = formatslot(format);
  return i < 0 ? nullptr : readers[i];
}

convstate* convopen(void* user, const convhostcb* cb) {
  if (!cb || !cb->alloc) return nullptr;
  auto* st = static_cast<convstate*>(cb->alloc(user, sizeof(convstate)));
  if (!st) return nullptr;
  std::memset(st, 0, sizeof *st);
  st->user = user;
  st->cb = *cb;
  return st;
}

int convgettext(convstate* st, void* buf, int len, int* count) { return pullfile(st, buf, len, count, true); }

int convgetint(convstate* st, void* buf, int len, int* count) { return pullfile(st, buf, len, count, false); }

int convclose(convstate* st) {
  if (!st) return 1;
  if (st->textopen) convmfshut(st, st->texth);
  if (st->intopen) convmfshut(st, st->inth);
  // What the run tracked outlives the run for the pulls; it goes now, with
  // the run record among the filter's blocks.
  if (st->run) cvfreeall(st->run);
  convbfreeall(st);
  st->cb.free(st->user, st);
  return 1;
}

int convrun(convstate* st) {
  int format = convdetect(st);
  rdrentry entry = convgetreader(format);
  if (!entry) return -1;
  if (convsetup(st) == -1) return -1;
  // A reader that returns a status instead of ending through convfatal
  // failed all the same: its run wrote no document.
  if (entry(st->run, st->argc, st->argv) != 0) return -1;
  // A page that could not be written, or memory that could not be had,
  // leaves the intermediate file incomplete: no text is better than a
  // truncated one handed out as whole.
  if (st->run->lost) return -1;
  return 0;
}

int convsetup(convstate* st) {
  // A pull after a failed one converts again on a new run: what the failed
  // run tracked is of no more use.
  if (st->run) cvfreeall(st->run);
  auto* run = static_cast<cvrun*>(convbnew(st, sizeof(cvrun)));
  if (!run) return -1;
  std::memset(run, 0, sizeof *run);
  auto* argv = static_cast<const char**>(convbnew(st, 10 * sizeof(char*)));
  if (!argv) return -1;
  std::memset(argv, 0, 10 * sizeof(char*));
  argv[0] = "";
  argv[1] = "source.doc";
  argv[2] = "/v0";
  argv[3] = "/t=kvj99int.tmp";
  st->run = run;
  st->argv = argv;
  st->argc = 4;
  run->state = st;
  return 0;
}

void convfatal(cvrun* run, int code) {
  cvshutdown(run);
  if (code != 0) convinterr();
}

void convinterr() {
  std::fputs("\n\n"
             "*********************************\n"
             "*** COM Filter Internal Error ***\n"
             "*** Please contact support!!! ***\n"
             "*********************************\n"
             "\n\n",
             stdout);
  std::fflush(stdout);
  if (guards == 0) {
    // No pull is in progress: there is nowhere to unwind to.
    std::fputs("filter framework: fatal exit outside a conversion\n", stderr);
    std::abort();
  }
  throw convunwind{};
}

int convguard(int (*fn)(void* arg), void* arg) {
  guards++;
  int r;
  try {
    r = fn(arg);
  } catch (...) {
    // The fatal unwind, or anything a reader let escape: the pull fails.
    r = -1;
  }
  guards--;
  return r;
}
