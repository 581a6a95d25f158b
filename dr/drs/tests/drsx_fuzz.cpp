// Fuzz target over the row reader's hand-out of a fetched array: rows of up
// to three key columns, operations, texts (UTF-8 to convert, or bytes) and
// return codes as the input has them, read through next key and read as
// the pipeline does. Every row must come out as its document or as a
// refusal that says why; composite keys must split back into their values.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drs/drsx.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

drsrvstate *g_srv = nullptr;

// The input read byte by byte; zeros once it is used up.
struct input {
  const uint8_t *p, *end;
  uint8_t byte() { return p < end ? *p++ : 0; }
  std::string bytes(size_t n) {
    n = std::min<size_t>(n, static_cast<size_t>(end - p));
    std::string s(reinterpret_cast<const char *>(p), n);
    p += n;
    return s;
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_srv = fuzzstate::make(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 70000) return 0;
  drsrvstate *st = g_srv;
  drueclr(st);
  input in{data, data + size};
  static std::vector<char> area(DRSX_TEXTAREA);
  auto *x = static_cast<drsxstate *>(std::calloc(1, sizeof(drsxstate)));
  x->st = st;
  x->heap = st->seshp;
  uint8_t shape = in.byte();
  x->nkeys = static_cast<uint16_t>(1 + shape % 3);
  x->kind = shape & 4 ? DRSX_DETAILKIND : DRSX_ROWKIND;
  x->flag1 = shape & 8 ? 1 : 0;
  x->tconv = shape & 16 ? 1 : 0;
  x->textbytes = x->tconv ? 0 : 1;
  x->mode = DRSX_POPULATE;
  x->maxdoc = in.byte() * 64 + 1;
  for (int k = 0; k < x->nkeys; ++k) std::snprintf(x->keynames[k], DRSX_KEYNAME, "K%d", k + 1);
  std::strcpy(x->table, "T.DOCS");
  drsxrowset &rs = x->rs;
  rs.textsize = 2001;
  rs.perfetch = 32;
  rs.text = area.data();
  rs.rows = 1 + in.byte() % 8;
  rs.cur = -1;
  rs.end = 1;
  std::vector<std::string> texts(static_cast<size_t>(rs.rows));
  for (int r = 0; r < rs.rows; ++r) {
    for (int k = 0; k < x->nkeys; ++k) {
      std::string v = in.bytes(in.byte() % 90);
      v.resize(std::strlen(v.c_str()));
      std::memcpy(rs.keys[k][r], v.c_str(), v.size() + 1);
      uint8_t b = in.byte();
      rs.krc[k][r] = b == 0xFF ? DRUO_NULL : 0;
    }
    rs.ops[r][0] = "IUDX"[in.byte() % 4];
    uint8_t b = in.byte();
    std::string t = in.bytes(std::min<size_t>(b * 8u, rs.textsize));
    std::memcpy(rs.text + static_cast<size_t>(r) * rs.textsize, t.data(), t.size());
    rs.tlen[r] = static_cast<uint16_t>(t.size());
    rs.tind[r] = b == 0xFF ? -1 : 0;
    rs.tsize[r] = static_cast<int64_t>(t.size());
    texts[static_cast<size_t>(r)] = rs.tind[r] == -1 ? "" : t;
  }
  drobj *ds = reinterpret_cast<drobj *>(x);
  for (int r = 0; r < rs.rows + 1; ++r) {
    int32_t op = -1;
    char key[DRDS_KEYSIZE];
    int rc = drsxnextkey(ds, &op, key);
    if (rc == 2) break;
    if (rc == 1) {
      if (rtmsgcnt(st->msg) == 0) std::abort();  // a refusal always says why
      drueclr(st);
      continue;
    }
    if (rc != 0 || op < 0 || op > DRSX_OPDELETE || strnlen(key, DRDS_KEYSIZE) >= DRDS_KEYSIZE)
      std::abort();
    if (x->nkeys > 1) {
      char vals[DRSX_MAXKEYS][DRSX_CKEYVAL];
      int32_t n = 0;
      if (drsxkeysplit(x, key, vals, &n) != 0 || n != x->nkeys) std::abort();
      for (int k = 0; k < n; ++k)
        if (std::strcmp(vals[k], rs.keys[k][rs.cur]) != 0) std::abort();
    }
    std::string got;
    char buf[700];
    int32_t n = 0;
    int frc;
    while ((frc = drsxfetch(ds, buf, sizeof buf, &n)) == 0) {
      if (n <= 0 || n > static_cast<int32_t>(sizeof buf)) std::abort();
      got.append(buf, static_cast<size_t>(n));
    }
    if (frc != 2) std::abort();
    const std::string &want = texts[static_cast<size_t>(rs.cur)];
    bool nl = x->kind == DRSX_DETAILKIND && !x->flag1;
    if (nl && (got.empty() || got.back() != '\n')) std::abort();
    std::string body = nl ? got.substr(0, got.size() - 1) : got;
    // Bytes come out as they are; UTF-8 becomes at most as many bytes of
    // Latin-1, and ASCII stays as it is.
    if (!x->tconv && body != want) std::abort();
    if (x->tconv) {
      bool ascii = true;
      for (unsigned char ch : want) ascii = ascii && ch < 0x80;
      if (body.size() > want.size() || (ascii && body != want)) std::abort();
    }
  }
  for (char **b : {&x->dbuf, &x->wbuf}) {
    void *blk = *b;
    if (blk) drumfre(st, st->hpmgr, x->heap, &blk);
  }
  std::free(x);
  return 0;
}
