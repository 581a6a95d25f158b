// The cursor layer over the client library: opening and parsing cursors with
// their failures reported alike, and the one-statement runner.
#include "dr/dru/druo.h"

#include <cstring>

#include "dr/dru/drue.h"

namespace {

constexpr char kFile[] = "dr/dru/druo.cpp";

kdblda *lda(void *login) { return static_cast<kdblda *>(login); }

// Allocate, open on the given connection and parse; the Part of druoprs.
int prs(drsrvstate *st, drheap heap, const char *sql, int link, druocur **out) {
  *out = nullptr;
  void *blk = drumalz(st, st->hpmgr, heap, sizeof(druocur), kFile, __LINE__);
  if (!blk) {
    druetrc();
    return 1;
  }
  druocur *cur = static_cast<druocur *>(blk);
  std::memset(cur, 0, sizeof *cur);
  int rc = kdbopen(cur, lda(st->login), link);
  if (rc != 0) {
    druekcii(st, DRUE_OPEN, 2, kFile, __LINE__, rc);
    drumfre(st, st->hpmgr, heap, &blk);
    druetrc();
    return 1;
  }
  rc = kdbparse(cur, sql);
  if (rc != 0) {
    druekcii(st, DRUE_PARSE, 2, kFile, __LINE__, rc);
    kdbclose(cur);
    drumfre(st, st->hpmgr, heap, &blk);
    druetrc();
    return 1;
  }
  *out = cur;
  return 0;
}

}  // namespace

static_assert(sizeof(druocur) == 64, "cursor area is 64 bytes");
static_assert(sizeof(kdblda) <= sizeof(((drsrvstate *)nullptr)->logarea),
              "login area fits the server state");

int druoopn(druocur *cur, void *login) { return kdbopen(cur, lda(login), KDB_WORK); }

int druoopnt(druocur *cur, void *login) { return kdbopen(cur, lda(login), KDB_TRANSPORT); }

int druocls(druocur *cur) { return kdbclose(cur); }

int druoprs(drsrvstate *st, drheap heap, const char *sql, druocur **out) {
  return prs(st, heap, sql, KDB_WORK, out);
}

int druoprst(drsrvstate *st, drheap heap, const char *sql, druocur **out) {
  return prs(st, heap, sql, KDB_TRANSPORT, out);
}

int druofre(drsrvstate *st, drheap heap, druocur **cur) {
  if (!cur || !*cur) return 0;
  kdbclose(*cur);
  void *blk = *cur;
  drumfre(st, st->hpmgr, heap, &blk);
  *cur = nullptr;
  return 0;
}

int druobnr(char *buf, size_t size, const char *product, uint32_t version, int status) {
  return kdbbanner(buf, size, product, version, status);
}

int drqsexe(drsrvstate *st, const char *sql) {
  druocur cur;
  std::memset(&cur, 0, sizeof cur);
  int rc = kdbopen(&cur, lda(st->login), KDB_WORK);
  if (rc == 0) rc = kdbparse(&cur, sql);
  if (rc == 0) rc = kdbexec(&cur);
  if (cur.cur) kdbclose(&cur);
  if (rc != 0) {
    druekci(st, rc);
    druetrc();
    return 1;
  }
  return 0;
}
