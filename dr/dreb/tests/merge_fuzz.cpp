// Fuzz target over the merge of a term's rows: the input describes up to
// four valid stored lists of ascending, disjoint documents (occurrences,
// positions and stop-word groups included) and which documents are dead.
// The lists are written, merged into one list with the dead documents
// left out, read back, and must give every live occurrence, in order,
// and nothing else.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dr/dreb/dreb.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

drsrvstate *g_srv = nullptr;

struct Occ {
  uint32_t doc, pos;
  drelgroup a, b;
};

// The bytes of the input, 0 once they run out.
struct In {
  const uint8_t *p;
  size_t n, at = 0;
  uint8_t next() { return at < n ? p[at++] : 0; }
};

void group(In &in, drelgroup &g) {
  g.count = in.next() % 4;
  for (uint32_t i = 0; i < g.count; ++i) g.val[i] = static_cast<uint16_t>(in.next() % 200 + 1);
}

bool same(const drelgroup &x, const drelgroup &y) {
  if (x.count != y.count) return false;
  for (uint32_t i = 0; i < x.count; ++i)
    if (x.val[i] != y.val[i]) return false;
  return true;
}

// Writes occurrences as one finished stored list.
std::vector<uint8_t> store(drsrvstate *st, drlstmgr *m, int kind, const std::vector<Occ> &occs) {
  drelent e;
  drelinit(&e);
  for (const Occ &o : occs) {
    drelpost p{o.doc, o.pos, &o.a, &o.b};
    if (drelputdoc(st, m, &e, kind, &p, nullptr) != 0) std::abort();
  }
  if (drelputend(st, m, &e) != 0) std::abort();
  std::vector<uint8_t> buf(e.nbytes + 16);
  uint32_t nb = 0, first = 0;
  if (drelread(st, m, &e, kind, buf.data(), static_cast<uint32_t>(buf.size()), &nb, &first) != 0)
    std::abort();
  if (first != occs.front().doc) std::abort();
  buf.resize(nb);
  return buf;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_srv = fuzzstate::make(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4096) return 0;
  drsrvstate *st = g_srv;
  drueclr(st);
  In in{data, size};
  uint8_t head = in.next();
  int kind = head & 1 ? DREL_KIND1 : DREL_KIND0;
  int nrows = (head >> 1) % 4 + 1;
  drlstreq req{DRLST_LIGHT, 0};
  drlstmgr *m = nullptr;
  if (dreulnew(st, st->seshp, &req, &m) != 0) std::abort();
  std::vector<std::vector<uint8_t>> rows;
  std::vector<Occ> want;
  std::vector<int32_t> dead;
  uint32_t doc = 0;
  for (int r = 0; r < nrows; ++r) {
    std::vector<Occ> occs;
    int ndocs = in.next() % 8 + 1;
    for (int d = 0; d < ndocs; ++d) {
      doc += in.next() % 50 + 1;
      // A large step now and then: ids far apart take longer codes.
      if (in.next() == 255) doc += 1u << 20;
      bool gone = in.next() & 1;
      if (gone) dead.push_back(static_cast<int32_t>(doc));
      uint32_t pos = 0;
      int nocc = in.next() % 4 + 1;
      for (int k = 0; k < nocc; ++k) {
        Occ o{doc, pos += in.next() % 20 + 1, {}, {}};
        group(in, o.a);
        group(in, o.b);
        occs.push_back(o);
        if (!gone) want.push_back(o);
      }
    }
    rows.push_back(store(st, m, kind, occs));
  }
  drelent out;
  drelinit(&out);
  for (auto &row : rows) {
    // A copy of the row's own size, so that a read past it is caught.
    std::vector<uint8_t> own(row);
    int32_t kept = 0, dropped = 0;
    if (drebimerge(st, m, kind, own.data(), static_cast<uint32_t>(own.size()), "w", dead.data(),
                   static_cast<int32_t>(dead.size()), &out, &kept, &dropped) != 0)
      std::abort();
  }
  if (drelputend(st, m, &out) != 0) std::abort();
  std::vector<uint8_t> buf(out.nbytes + 16);
  uint32_t nb = 0, first = 0;
  if (drelread(st, m, &out, kind, buf.data(), static_cast<uint32_t>(buf.size()), &nb, &first) != 0)
    std::abort();
  if (want.empty() ? first != 0 : first != want.front().doc) std::abort();
  std::vector<uint8_t> merged(buf.begin(), buf.begin() + nb);
  drelent rd;
  drelrdinit(&rd, merged.data(), static_cast<uint32_t>(merged.size()));
  size_t i = 0;
  uint32_t got = 0;
  int rc;
  while ((rc = drelseek(&rd, kind, &got, 0)) == 0) {
    drelgroup ga{}, gb{};
    drelocc occ{0, 0, &ga, &gb};
    int r2;
    while ((r2 = drelnextent(&rd, kind, &occ, 0)) == 0) {
      if (i >= want.size()) std::abort();
      const Occ &w = want[i++];
      if (w.doc != got || w.pos != occ.pos || !same(w.a, ga) || !same(w.b, gb)) std::abort();
    }
    if (r2 != 2) std::abort();
  }
  if (rc != 2 || i != want.size()) std::abort();
  m->ops.free(m);
  return 0;
}
