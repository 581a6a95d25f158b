// The rewrite's outside services answered in process, for the tests of the
// walk and the generator and for the fuzz target: a fixed table of columns
// and their policies, result tables named R1, R2 ... whose allocations and
// releases are counted, and bookkeeping and evaluation that only count.
#ifndef KES_DR_DRZ_TESTS_DRZFAKE_H
#define KES_DR_DRZ_TESTS_DRZFAKE_H

#include <cstdio>
#include <cstring>

#include "dr/drz/drz.h"

namespace drzfake {

struct Column {
  const char *table, *column;
  int32_t policy;     // 0: the column has no policy
  const char *keys;
};

inline const Column kColumns[] = {
    {"EMP", "TEXT", 5, "ID"},      {"EMP", "ID", 0, ""},   {"EMP", "A", 0, ""},
    {"EMP", "B", 0, ""},           {"DEPT", "DNO", 0, ""}, {"DEPT", "A", 0, ""},
    {"T", "A", 0, ""},             {"T", "B", 0, ""},      {"T", "X", 0, ""},
    {"T1", "C", 8, "K"},           {"T3", "C", 9, "K1,K2,K3"},
    {"BIG", "C", 10, "K1,K2,K3,K4,K5,K6,K7,K8,K9,K10,K11,K12,K13,K14,K15,K16,K17"},
    {"BOATS", "BODY", 1900, "ID"},
};

struct Counts {
  int allocs = 0, releases = 0, saves = 0, queries = 0;
  int32_t lastkeys = 0;
  int live() const { return allocs - releases; }
};
inline Counts counts;

inline int resolve(drsrvstate *st, drzstab *tab, const drzfreq *req, drzfresult *res,
                   const char *user, const char *polname) {
  (void)user;
  (void)polname;
  for (const Column &c : kColumns) {
    if (std::strcmp(c.table, req->table) != 0 || std::strcmp(c.column, req->column) != 0) continue;
    if (!c.policy) return 2;
    res->colname = drzgtnewstr(st, req->column, static_cast<int32_t>(std::strlen(req->column)), 0);
    res->policy = c.policy;
    std::snprintf(res->polname, sizeof res->polname, "P%d", static_cast<int>(c.policy));
    std::snprintf(res->textkey, sizeof res->textkey, "%s", c.keys);
    res->tab = tab;
    return 0;
  }
  return 7;
}

inline int alloc(drsrvstate *, int32_t, const char *, char *name, int32_t keys) {
  counts.lastkeys = keys;
  std::snprintf(name, 32, "R%d", ++counts.allocs);
  return 0;
}
inline int release(drsrvstate *, const char *) {
  counts.releases++;
  return 0;
}
inline int save(drsrvstate *, drzsstate *) {
  counts.saves++;
  return 0;
}
inline int clean(drsrvstate *, drzsstate *, int32_t) { return 0; }
inline int query(drsrvstate *, const char *, const char *, int32_t, const char *, const char *,
                 int32_t, int32_t, int32_t) {
  counts.queries++;
  return 0;
}

// Installs the fakes and clears the counts.
inline void install() {
  drzsops = drzsvc{resolve, alloc, release, query, save, clean};
  counts = Counts{};
}

}  // namespace drzfake

#endif
