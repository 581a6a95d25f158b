// Arbitrary words for the fuzzy matcher: the first line is the word, the
// others are candidates; every pool size from 0 to 3 and the LIKE patterns
// into buffers of every size up to 80 bytes.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "linguistics/fuzzy/fzm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static rtctx *rt = rtstart("fuzz", "lsf");
  rthpmgr *mgr = rthpmgrget(rt);
  rtheap *heap = rthpnew(mgr, rthptop(mgr), RTHP_STD, __FILE__, __LINE__);
  int err;
  fzmobj *m = fzmnew(mgr, heap, "DEFAULT", &err);

  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; i++) {
    if (data[i] == '\n') lines.emplace_back();
    else lines.back() += static_cast<char>(data[i]);  // NULs cut words short, as in C
  }
  std::vector<const char *> cands;
  for (size_t i = 1; i < lines.size(); i++) cands.push_back(lines[i].c_str());
  std::vector<const char *> out(cands.size() + 4);
  std::vector<uint16_t> scores(out.size());
  for (int pool = 0; pool <= 3; pool++) {
    int n = 0;
    fzmmatch(m, lines[0].c_str(), 50, pool, cands.data(), static_cast<int>(cands.size()), out.data(),
             scores.data(), &n);
    if (n > pool || n < 0) __builtin_trap();
    for (int i = 0; i < n; i++)
      if (scores[i] > 80 || scores[i] <= 50) __builtin_trap();
  }
  for (int room = 0; room <= 80; room += 7) {
    std::vector<char> buf(room ? room : 1);
    int n = 0;
    fzmlike(m, lines[0].c_str(), buf.data(), room, &n);
  }
  fzmfree(m);
  rthpdel(mgr, heap);
  return 0;
}
