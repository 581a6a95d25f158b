// Fuzz target over the posting-list readers: any bytes as a stored list in
// a heap block of exactly their size, read with either kind by every
// reader. Each reader must answer 0, 1 or 2, stay inside the block, keep
// its group copies within their arrays and stay damaged once damaged.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dr/dreu/dreu.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void rcok(int rc) { check(rc == 0 || rc == 1 || rc == 2); }

// After a 1, the entry answers 1 again.
void sticky(drelent *e, int kind, int rc) {
  if (rc == 1) check(drelseek(e, kind, nullptr, 0) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 1 << 20) return 0;
  int kind = data[0] & 1;
  uint32_t step = data[0] >> 1;  // spacing of the seek targets
  uint32_t len = static_cast<uint32_t>(size - 1);
  uint8_t *buf = new uint8_t[len];
  std::memcpy(buf, data + 1, len);

  // Every document and occurrence with both groups.
  drelent e;
  drelrdinit(&e, buf, len);
  uint32_t doc = 0;
  int rc;
  while ((rc = drelseek(&e, kind, &doc, 0)) == 0) {
    drelgroup ga{}, gb{};
    drelocc occ{0, 0, &ga, &gb};
    while ((rc = drelnextent(&e, kind, &occ, 0)) == 0)
      check(ga.count <= DREL_GRPMAX && gb.count <= DREL_GRPMAX);
    rcok(rc);
    if (rc == 1) break;
  }
  rcok(rc);
  sticky(&e, kind, rc);

  // Counts and sums, with targets that skip documents.
  for (int sum = 0; sum < 2; ++sum) {
    drelrdinit(&e, buf, len);
    dreldoc d{};
    uint32_t target = 0;
    while ((rc = sum ? drelgetsum(&e, kind, &d, target) : drelgetdoc(&e, kind, &d, target)) == 0) {
      check(d.doc >= target);
      target = d.doc + step;
      if (target < d.doc) break;  // past the largest id
    }
    rcok(rc);
    sticky(&e, kind, rc);
  }

  // Seeks mixed with occurrence reads that drop the groups and aim high.
  drelrdinit(&e, buf, len);
  drelocc occ{};
  while ((rc = drelseek(&e, kind, &doc, doc + step)) == 0) {
    int r = drelnextent(&e, kind, &occ, step * 16);
    rcok(r);
    if (r == 1) {
      rc = 1;
      break;
    }
  }
  rcok(rc);
  sticky(&e, kind, rc);

  delete[] buf;
  return 0;
}
