// The narrow view of the database client layer used by the dictionary
// cache, the SQL builders, the work ranges and the index log.
#include "dr/dru/drudb.h"

#include <cstring>

namespace drddb {

static kdblda *lda(drsrvstate *s) { return static_cast<kdblda *>(s->login); }

int open(drsrvstate *s, druocur *cur) { return lda(s) ? kdbopen(cur, lda(s)) : KDB_NOTCONNECTED; }
int parse(drsrvstate *, druocur *cur, const char *text) { return kdbparse(cur, text); }
int close(drsrvstate *, druocur *cur) { return kdbclose(cur); }

int bindint(drsrvstate *, druocur *cur, const char *name, int32_t *v) {
  return kdbbndrv(cur, name, v, sizeof *v, KDB_INTEGER);
}

int bindstr(drsrvstate *, druocur *cur, const char *name, char *buf, int32_t size) {
  return kdbbndrv(cur, name, buf, size, KDB_STRING);
}

int bindext(drsrvstate *, druocur *cur, const char *name, int32_t namelen, void *buf,
            int32_t size, int type, uint16_t *lens, int16_t *ind) {
  // The placeholder points into a statement text: take its name alone.
  char nm[256];
  if (namelen < 0 || (size_t)namelen >= sizeof nm) return KDB_BADCALL;
  std::memcpy(nm, name, (size_t)namelen);
  nm[namelen] = '\0';
  return kdbbndrv(cur, nm, buf, size, type, ind, lens);
}

int bindintarr(drsrvstate *, druocur *cur, const char *name, int32_t *arr, int16_t *ind,
               uint32_t max, uint32_t *count) {
  return kdbbndra(cur, name, arr, sizeof *arr, KDB_INTEGER, ind, nullptr, nullptr, max, count);
}

int defint(drsrvstate *, druocur *cur, int pos, int32_t *v) {
  return kdbdefin(cur, pos, v, sizeof *v, KDB_INTEGER);
}

int defstr(drsrvstate *, druocur *cur, int pos, char *buf, int32_t size) {
  return kdbdefin(cur, pos, buf, size, KDB_STRING);
}

int defext(drsrvstate *, druocur *cur, int pos, void *buf, int32_t size, int type) {
  return kdbdefin(cur, pos, buf, size, type);
}

int exec(drsrvstate *, druocur *cur) { return kdbexec(cur); }
int execn(drsrvstate *, druocur *cur, uint32_t n) { return kdbexn(cur, (int32_t)n); }
int exfet(drsrvstate *, druocur *cur, uint32_t n) { return kdbexfet(cur, (int32_t)n); }
int fetch(drsrvstate *, druocur *cur, uint32_t n) { return kdbfetch(cur, (int32_t)n); }
uint32_t rows(druocur *cur) { return cur->rpc; }
int rc(druocur *cur) { return cur->rc; }
int commit(drsrvstate *s) { return lda(s) ? kdbcommit(lda(s)) : KDB_NOTCONNECTED; }

}  // namespace drddb
