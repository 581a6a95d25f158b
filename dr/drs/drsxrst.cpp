// Resuming an interrupted populate: the index log tells which keys the run
// already indexed, and the batch statement leaves them out with conditions
// built here. Key values from the log go into the text quoted (a numeric
// key only when it is a plain number), never as they stand.
#include <cctype>
#include <cstring>
#include <string>

#include "dr/drd/drd.h"
#include "dr/drs/drsx.h"

namespace {

#define DRSX_LOGWHERE                                                              \
  " from dr$text_index_log where txil_pol_id = :pol_id and txil_run_seq = :run_seq" \
  " and txil_operation in ('C', 'R')"

// The run's index stage has ended: nothing to leave out.
constexpr char kIndexed[] = "select count(1)" DRSX_LOGWHERE
                            " and txil_oper_stage = 'I' and txil_end_time is not null"
                            " and txil_curr_run is not null";
// Pieces of the populate stage without progress, and all of them.
constexpr char kPieces[] = "select count(1)" DRSX_LOGWHERE
                           " and txil_oper_stage = 'P' and txil_end_time is null"
                           " and txil_last_doc is null and txil_curr_run is null"
                           " union all select count(1)" DRSX_LOGWHERE
                           " and txil_oper_stage = 'P' and txil_curr_run is null order by 1";
// The last key of the unfinished piece.
constexpr char kLast[] = "select min(coalesce(txil_last_doc, ' '))" DRSX_LOGWHERE
                         " and txil_oper_stage = 'P' and txil_end_time is null"
                         " and txil_curr_run is null";
// The key ranges the pieces went through.
constexpr char kRanges[] = "select txil_first_doc, txil_last_doc" DRSX_LOGWHERE
                           " and txil_oper_stage = 'P' and txil_last_doc is not null"
                           " and txil_curr_run is null order by txil_first_doc";

#undef DRSX_LOGWHERE

// The four cursors of a resume, freed whatever happens.
struct cursors {
  drsxstate *x;
  druocur *c[4] = {};
  ~cursors() {
    for (druocur *&cur : c) druofre(x->st, x->heap, &cur);
  }
};

// A plain decimal number: sign, digits, a point and digits.
bool plainnum(const char *s) {
  if (*s == '-' || *s == '+') ++s;
  bool digits = false;
  while (std::isdigit(static_cast<unsigned char>(*s))) ++s, digits = true;
  if (*s == '.') ++s;
  while (std::isdigit(static_cast<unsigned char>(*s))) ++s, digits = true;
  return digits && *s == '\0';
}

// Appends a logged key value as an SQL value: quoted, or for a numeric key
// as the plain number it must be; 0, or 1 after pushing 10721.
int value(drsxstate *x, std::string &out, const char *v, bool quote) {
  if (!quote) {
    if (!plainnum(v)) {
      dracnerr(x->st, DRFAC_DRG, 10721, 2, DRA_STR, v, DRA_STR, x->keycols, 0);
      druetrc();
      return 1;
    }
    out += v;
    return 0;
  }
  char q[2 * DRDS_KEYSIZE + 3];
  if (druoquo(q, sizeof q, v, '\'') != 0) {
    druetrc();
    return 1;
  }
  out += q;
  return 0;
}

// Parses a statement of the log on a cursor of its own with the policy and
// run binds; 0 or 1.
int logcur(drsxstate *x, const char *sql, druocur **cur) {
  drsrvstate *st = x->st;
  if (druoprs(st, x->heap, sql, cur) != 0 ||
      druobnd(st, *cur, ":pol_id", &x->polid, 4, DRUO_INTEGER) != 0 ||
      druobnd(st, *cur, ":run_seq", &x->runseq, 4, DRUO_INTEGER) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

// The conditions for one logged range first..last.
int range(drsxstate *x, std::string &text, const char *first, const char *last) {
  bool quote = x->keytype != 2;
  if (x->nkeys == 1) {
    text += "and ";
    text += x->keycols;
    text += " not between ";
    if (value(x, text, first, quote) != 0) return 1;
    text += " and ";
    if (value(x, text, last, quote) != 0) return 1;
    text += " ";
    return 0;
  }
  // Composite keys: the keys outside the range in key order, column by
  // column. Their values are always quoted.
  char fv[DRSX_MAXKEYS][DRSX_CKEYVAL], lv[DRSX_MAXKEYS][DRSX_CKEYVAL];
  int32_t nf = 0, nl = 0;
  if (drsxkeysplit(x, first, fv, &nf) != 0 || drsxkeysplit(x, last, lv, &nl) != 0 ||
      nf != x->nkeys || nl != x->nkeys) {
    druetrc();
    return 1;
  }
  std::string lower = "and ((", upper;
  for (int i = 0; i < x->nkeys; ++i) {
    lower += "(";
    upper += "(";
    for (int j = 0; j < i; ++j) {
      lower += std::string(x->keynames[j]) + " = ";
      upper += std::string(x->keynames[j]) + " = ";
      if (value(x, lower, fv[j], true) != 0 || value(x, upper, lv[j], true) != 0) return 1;
      lower += " and ";
      upper += " and ";
    }
    lower += std::string(x->keynames[i]) + " < ";
    upper += std::string(x->keynames[i]) + " > ";
    if (value(x, lower, fv[i], true) != 0 || value(x, upper, lv[i], true) != 0) return 1;
    lower += ")";
    upper += ")";
    bool lastcol = i + 1 == x->nkeys;
    lower += lastcol ? ") OR (" : " or ";
    upper += lastcol ? ")) " : " or ";
  }
  text += lower + upper;
  return 0;
}

int build(drsxstate *x, std::string &text) {
  drsrvstate *st = x->st;
  cursors cs{x};
  uint32_t counts[2] = {};
  if (logcur(x, kIndexed, &cs.c[0]) != 0 ||
      druodef(st, cs.c[0], 1, counts, 4, DRUO_UNSIGNED) != 0 || druoexf(st, cs.c[0], 1) != 0) {
    druetrc();
    return 1;
  }
  if (counts[0] > 0) return 0;
  int rc = logcur(x, kPieces, &cs.c[1]);
  if (rc == 0) rc = druodef(st, cs.c[1], 1, counts, 4, DRUO_UNSIGNED);
  if (rc == 0) rc = druoexf(st, cs.c[1], 2);
  if (rc != 0 && rc != DRUO_NODATA) {
    druetrc();
    return 1;
  }
  // Only a run logged as one piece that made progress resumes; anything
  // else is populated again whole.
  if (druorows(cs.c[1]) < 2 || counts[1] > 1 || counts[0] == counts[1]) return 0;

  char last[DRDS_KEYSIZE] = "";
  int16_t ind = 0;
  rc = logcur(x, kLast, &cs.c[2]);
  if (rc == 0) rc = druodef(st, cs.c[2], 1, last, sizeof last, DRUO_STRING, &ind);
  if (rc == 0) rc = druoexf(st, cs.c[2], 1);
  if (rc != 0 && rc != DRUO_NODATA) {
    druetrc();
    return 1;
  }
  if (x->nkeys == 1 && rc == 0 && ind != -1 && last[0] != '\0' && last[0] != ' ') {
    text += "and ";
    text += x->keycols;
    text += " > ";
    if (value(x, text, last, x->keytype != 2) != 0) return 1;
    text += " ";
  }

  char first[4][DRDS_KEYSIZE], lasts[4][DRDS_KEYSIZE];
  int16_t find[4] = {}, lind[4] = {};
  rc = logcur(x, kRanges, &cs.c[3]);
  if (rc == 0) rc = druodef(st, cs.c[3], 1, first, DRDS_KEYSIZE, DRUO_STRING, find);
  if (rc == 0) rc = druodef(st, cs.c[3], 2, lasts, DRDS_KEYSIZE, DRUO_STRING, lind);
  if (rc == 0) rc = druoexe(st, cs.c[3]);
  uint32_t seen = 0;
  while (rc == 0) {
    rc = druofet(st, cs.c[3], 4);
    if (rc != 0 && rc != DRUO_NODATA) break;
    uint32_t n = druorows(cs.c[3]) - seen;
    seen = druorows(cs.c[3]);
    for (uint32_t r = 0; r < n; ++r) {
      if (range(x, text, find[r] == -1 ? "" : first[r], lind[r] == -1 ? "" : lasts[r]) != 0)
        return 1;
    }
    if (n == 0 || rc == DRUO_NODATA) return 0;
  }
  druetrc();
  return 1;
}

}  // namespace

int drsxrestart(drsxstate *x, char **out) {
  *out = nullptr;
  std::string text;
  if (build(x, text) != 0) {
    druetrc();
    return 1;
  }
  // The text goes into a block sized for what it holds.
  auto *buf = static_cast<char *>(
      drumalc(x->st, x->st->hpmgr, x->heap, 1, text.size() + 1, __FILE__, __LINE__));
  if (!buf) {
    druetrc();
    return 1;
  }
  std::memcpy(buf, text.c_str(), text.size() + 1);
  *out = buf;
  return 0;
}
