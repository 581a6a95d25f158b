// Fuzz target: arbitrary bytes read back through the intermediate-record
// readers, and laid out by line wrapping and alignment as written output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "converters/runtime/cx.h"

namespace {

std::string scratchdir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/cxfuzzXXXXXX";
    const char* d = ::mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  return dir;
}

void readers(cxstate* st, const std::string& in, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  int h = cxopen(st, in.c_str(), 1, 0);
  if (h < 0 || cxbufinit(st, h, -1, 100) != 0) return;
  cmreadstart(st, 0);
  for (int i = 0; i < 100000; i++) {
    int c = cxgetc(st);
    if (c < 0) break;
    switch (c % 9) {
      case 0: cmgethex(st); break;
      case 1: cmgethex2(st); break;
      case 2: cmgetdec(st); break;
      case 3: cmgetdec2(st); break;
      case 4: cmgetchar(st); break;
      case 5: cmskiptoken(st); break;
      case 6: cmskiprs(st); break;
      case 7: cmpeek(st, 4388); break;
      default: cmpeek2(st, c * 131); break;
    }
  }
  cxbufend(st);
}

void layout(cxstate* st, const std::string& out, const uint8_t* data, size_t size) {
  if (size < 3) return;
  int h = cxopen(st, out.c_str(), 2, 0);
  if (h < 0) return;
  st->fb->queueid = -1;
  cxsetlimit(st, 64);  // small halves: take-back crosses written halves
  if (cxbufinit(st, -1, h, 64) != 0) return;
  int align = data[0] & 3, brk = (data[0] >> 2) & 3;
  int left = data[1] % 40, right = left + data[2] % 80;
  for (size_t i = 3; i < size; i++) {
    cxputc(st, data[i]);
    if (data[i] == '\n') ccwrapline(st, brk, align, left, right);
  }
  ccwrap2(st, brk, align, left, right);
  ccalignfix(st, left, right);
  cxbufend(st);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const cxblkspec w2[] = {{6, sizeof(cxw2head), cxw2init}};
  cxstate* st = cxnewst(w2, 1, cxfreest);
  if (!st) return 0;
  std::string dir = scratchdir();
  std::snprintf(st->nm->intfile, sizeof st->nm->intfile, "%s/out", dir.c_str());
  cxentry(st, [&] {
    readers(st, dir + "/in", data, size);
    layout(st, dir + "/out", data, size);
    return 0;
  });
  if (st->cm->allocs != 0) std::abort();  // the run's end leaves nothing
  cxfreest(st);
  return 0;
}
