// Work ranges shared by the servers of one run (claim, read back, complete)
// and the rows of the index log. Each statement runs on a cursor of its own,
// freed on every path; every change but the mid-flush mark is committed at
// once so that the other servers see it.
#include <cstring>

#include "dr/dru/drud.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

// A server changes the status of one of its ranges at a time: the one row is
// picked by a sub-select, in the same order as the read-back (by low value),
// so that the range a server completes is the range it read and worked on.
static const char kstat[] =
    "UPDATE %(1)s SET STATUS = :osts WHERE ctid = (SELECT ctid FROM %(1)s WHERE STATUS = :ists"
    " AND SERVER = :svr ORDER BY LOWVAL COLLATE \"C\" LIMIT 1 FOR UPDATE)";
// The high value is padded here rather than in the statement, with the
// highest character of the session's own character set (drudpadhigh).
static const char krange[] =
    "SELECT LOWVAL, HIGHVAL FROM %(1)s WHERE STATUS = 'I' AND SERVER = :svr"
    " ORDER BY LOWVAL COLLATE \"C\" LIMIT 1";

// The statements here report a failing step with the database's text alone.
static const druorep kText = {0, 0, 0, 0, 0, 0, -1, 2, 2};

#define DRUD_LOGKEY                                                                        \
  " WHERE txil_pol_id = :cid and txil_operation = :oper and txil_oper_stage = :stage and " \
  "txil_run_seq = :rseq and txil_server_id = :svr"
static const char klogins[] =
    "INSERT INTO DR$TEXT_INDEX_LOG (txil_pol_id, txil_operation, txil_oper_stage, txil_run_seq,"
    " txil_server_id) values (:cid, :oper, :stage, :rseq, :svr)";
static const char kloge[] = "UPDATE DR$TEXT_INDEX_LOG SET TXIL_END_TIME = LOCALTIMESTAMP(0)" DRUD_LOGKEY;
static const char klogf[] =
    "UPDATE DR$TEXT_INDEX_LOG SET TXIL_FIRST_DOC = :fdoc                            , "
    "TXIL_DOC_SELECTED_CNT = :dsel" DRUD_LOGKEY;
static const char klogl[] =
    "UPDATE DR$TEXT_INDEX_LOG SET TXIL_LAST_DOC = :ldoc                            , "
    "TXIL_DOC_PROCESSED_CNT =                                TXIL_DOC_PROCESSED_CNT + :dproc  "
    "                          , TXIL_MID_FLUSH_FLAG = 'N'" DRUD_LOGKEY;
static const char klogy[] = "UPDATE DR$TEXT_INDEX_LOG SET TXIL_MID_FLUSH_FLAG = 'Y'" DRUD_LOGKEY;

// Copies at most size - 1 bytes of a text, never splitting a character.
static void drudcpy(drsrvstate *s, char *dst, size_t size, const char *src) {
  size_t n = src ? std::strlen(src) : 0;
  if (n >= size) n = nlscut(dracncs(s), src, n, size - 1);
  if (n) std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// Ends a change whose binds left rc (a failing bind has reported itself):
// executes the cursor when they went well, commits unless told not to and
// frees the cursor; a failure reports the database's error. Returns 0 or 1.
static int drudfinish(drsrvstate *s, drheap h, druocur **cur, int rc, bool commit) {
  if (!rc) rc = druoexe(s, *cur, &kText);
  if (!rc && commit) rc = druocmt(s, &kText);
  druofre(s, h, cur);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

// Parses a statement of the range table fmt names as %(1)s on a new cursor;
// 0, or 1 when the text does not fit or the parse fails.
static int drudprs(drsrvstate *s, drheap h, const char *fmt, const char *table, druocur **cur) {
  char text[2000];
  if (lsffmt(s->fmt, text, sizeof text, fmt, DRA_STR, table, 0) < 0) {
    dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  if (druoprs(s, h, text, cur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drudsetstat(drsrvstate *s, drheap h, const char *table, const char *status, int32_t server) {
  char ists[2] = {status && status[0] == 'C' ? 'I' : 'F', 0};
  char osts[2] = {status ? status[0] : '\0', 0};
  int32_t svr = server;
  druocur *cur = nullptr;
  if (drudprs(s, h, kstat, table, &cur) != 0) return 1;
  int rc = druobnd(s, cur, ":osts", osts, sizeof osts, DRUO_STRING, nullptr, nullptr, &kText);
  if (!rc) rc = druobnd(s, cur, ":ists", ists, sizeof ists, DRUO_STRING, nullptr, nullptr, &kText);
  if (!rc) rc = druobnd(s, cur, ":svr", &svr, sizeof svr, DRUO_INTEGER, nullptr, nullptr, &kText);
  return drudfinish(s, h, &cur, rc, true);
}

int drudgetrange(drsrvstate *s, drheap h, const char *table, char *low, char *high,
                 int32_t server) {
  if (drudsetstat(s, h, table, "I", server) != 0) {
    druetrc();
    return 1;
  }
  druocur *cur = nullptr;
  if (drudprs(s, h, krange, table, &cur) != 0) return 1;
  int32_t svr = server;
  low[0] = high[0] = '\0';
  int rc = druobnd(s, cur, ":svr", &svr, sizeof svr, DRUO_INTEGER, nullptr, nullptr, &kText);
  if (!rc) rc = druodef(s, cur, 1, low, 65, DRUO_STRING, nullptr, nullptr, &kText);
  if (!rc) rc = druodef(s, cur, 2, high, 65, DRUO_STRING, nullptr, nullptr, &kText);
  if (!rc) rc = druoexf(s, cur, 1, &kText);
  druofre(s, h, &cur);
  if (rc == DRUO_NODATA) return 2;
  if (rc != 0) {
    druetrc();
    return 1;
  }
  drudpadhigh(dracncs(s), high);
  return 0;
}

void drudpadhigh(const nlscs *cs, char *high) {
  // The highest character the session's set carries: the byte 255 in a
  // single-byte set; in UTF8 (where a lone byte 255 is no character, so
  // its bind would fail) U+10FFFF, which the database compares as the
  // highest in the "C" order. A session without a set of its own speaks
  // the database's UTF8; any other set takes its highest two-byte code.
  static const char utf8max[] = "\xf4\x8f\xbf\xbf";
  static const char single[] = "\xff";
  static const char wide[] = "\xfe\xfe";
  const char *pad = utf8max;
  if (cs && (cs->flags & NLS_CS_SINGLE) && cs->id != NLS_US7ASCII) pad = single;
  else if (cs && cs->id != NLS_US7ASCII && cs->id != NLS_UTF8 && cs->id != NLS_AL32UTF8) pad = wide;
  size_t w = std::strlen(pad);
  size_t n = std::strlen(high);
  if (n > 64) n = 64;
  // Up to 64 characters, within the 64 bytes the value holds.
  for (size_t chars = n; chars < 64 && n + w <= 64; ++chars) {
    std::memcpy(high + n, pad, w);
    n += w;
  }
  high[n] = '\0';
}

// Binds the five names that identify a log row.
static int drudlogkey(drsrvstate *s, druocur *cur, const drudlog *r, int32_t *cid, char *oper,
                      char *stage, int32_t *rseq, int32_t *svr) {
  *cid = r->polid;
  oper[0] = r->oper;
  oper[1] = 0;
  stage[0] = r->stage;
  stage[1] = 0;
  *rseq = r->runseq;
  *svr = r->srvid;
  int rc = druobnd(s, cur, ":cid", cid, 4, DRUO_INTEGER, nullptr, nullptr, &kText);
  if (!rc) rc = druobnd(s, cur, ":oper", oper, 2, DRUO_STRING, nullptr, nullptr, &kText);
  if (!rc) rc = druobnd(s, cur, ":stage", stage, 2, DRUO_STRING, nullptr, nullptr, &kText);
  if (!rc) rc = druobnd(s, cur, ":rseq", rseq, 4, DRUO_INTEGER, nullptr, nullptr, &kText);
  if (!rc) rc = druobnd(s, cur, ":svr", svr, 4, DRUO_INTEGER, nullptr, nullptr, &kText);
  return rc;
}

int drudlogins(drsrvstate *s, drheap h, const drudlog *r) {
  if (!r || r->oper == 'N') return 0;
  druocur *cur = nullptr;
  if (druoprs(s, h, klogins, &cur) != 0) {
    druetrc();
    return 1;
  }
  int32_t cid, rseq, svr;
  char oper[2], stage[2];
  int rc = drudlogkey(s, cur, r, &cid, oper, stage, &rseq, &svr);
  return drudfinish(s, h, &cur, rc, true);
}

int drudlogupd(drsrvstate *s, drheap h, const drudlog *r) {
  if (!r || r->oper == 'N') return 0;
  const char *text = nullptr;
  switch (r->kind) {
    case 'E': text = kloge; break;
    case 'F': text = klogf; break;
    case 'L': text = klogl; break;
    case 'Y': text = klogy; break;
    default:
      dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      druetrc();
      return 1;
  }
  druocur *cur = nullptr;
  if (druoprs(s, h, text, &cur) != 0) {
    druetrc();
    return 1;
  }
  int32_t cid, rseq, svr, cnt = r->count;
  char oper[2], stage[2];
  char fdoc[65], ldoc[257];
  int rc = drudlogkey(s, cur, r, &cid, oper, stage, &rseq, &svr);
  if (!rc && r->kind == 'F') {
    // The first key is kept in 64 bytes; a longer key is cut there.
    drudcpy(s, fdoc, sizeof fdoc, r->key);
    rc = druobnd(s, cur, ":fdoc", fdoc, sizeof fdoc, DRUO_STRING, nullptr, nullptr, &kText);
    if (!rc) rc = druobnd(s, cur, ":dsel", &cnt, 4, DRUO_INTEGER, nullptr, nullptr, &kText);
  } else if (!rc && r->kind == 'L') {
    drudcpy(s, ldoc, sizeof ldoc, r->key);
    rc = druobnd(s, cur, ":ldoc", ldoc, sizeof ldoc, DRUO_STRING, nullptr, nullptr, &kText);
    if (!rc) rc = druobnd(s, cur, ":dproc", &cnt, 4, DRUO_INTEGER, nullptr, nullptr, &kText);
  }
  // The mid-flush mark is made durable by the commit that ends the flush.
  return drudfinish(s, h, &cur, rc, r->kind != 'Y');
}
