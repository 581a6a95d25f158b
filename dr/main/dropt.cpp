// The command-line option parser: options matched by abbreviation against a
// table, flags, single values and lists of values handed to a callback, and
// a prompt on standard input for each mandatory option left out.
#include "dr/main/drmain.h"

#include <cstring>

#include "dr/dru/dru.h"

namespace {

enum { EXPECT_OPTION, EXPECT_VALUE, EXPECT_LIST, DONE };

// The option's name without its leading "-".
const char *bare(const droptent *e) { return e->name[0] == '-' ? e->name + 1 : e->name; }

int fail(drsrvstate *s, int num, int sev, const char *arg) {
  dracnerr(s, DRFAC_DRG, num, sev, DRA_STR, arg, 0);
  druetrc();
  return 1;
}

int take(droptrec *r, uint8_t idx, const char *value) {
  if (r->cb(r->s, r->data, idx, value) != 0) {
    druetrc();
    return 1;
  }
  r->given[idx] = 1;
  return 0;
}

// Asks for a mandatory option that was not given. Only the line end is
// dropped from what was read, so a last line without one keeps every
// character; an over-long line reaches the callback whole and is refused
// there.
int prompt(droptrec *r, uint8_t idx) {
  drsrvstate *s = r->s;
  const droptent *e = &r->tab->ent[idx];
  dracnout(s, "Enter %s: ", DRA_STR, bare(e), 0);
  char line[4096];
  long n = rtfline(rtstdin(s->rt), line, sizeof line);
  if (n <= 0) return fail(s, 10102, 3, e->name);
  size_t len = static_cast<size_t>(n);
  if (len > 0 && line[len - 1] == '\n') --len;
  if (len > 0 && line[len - 1] == '\r') --len;
  line[len] = '\0';
  if (len == 0) return fail(s, 10102, 3, e->name);
  return take(r, idx, line);
}

}  // namespace

void droptini(drsrvstate *s, droptrec *rec, const dropttab *tab, droptcb cb, void *data) {
  rec->s = s;
  rec->tab = tab;
  rec->cb = cb;
  rec->data = data;
  memset(rec->given, 0, sizeof rec->given);
  memset(rec->spare, 0, sizeof rec->spare);
}

int droptfind(const dropttab *tab, const char *arg, uint8_t *idx, uint8_t *kind) {
  size_t alen = strlen(arg);
  for (uint16_t i = 0; i < tab->cnt && i < DROPT_MAXENT; ++i) {
    const droptent *e = &tab->ent[i];
    // Comparing at least the minimum abbreviation keeps a lone "-" from
    // matching; comparing the argument's whole length keeps "-userx" out.
    size_t n = static_cast<size_t>(e->minab) + 1;
    if (alen > n) n = alen;
    char name[sizeof e->name + 1];
    memcpy(name, e->name, sizeof e->name);
    name[sizeof e->name] = '\0';
    if (strncmp(name, arg, n) == 0) {
      *idx = static_cast<uint8_t>(i);
      *kind = e->kind;
      return 0;
    }
  }
  return 1;
}

int droptparse(droptrec *r, int argc, char **argv) {
  int state = EXPECT_OPTION;
  uint8_t cur = 0;
  uint8_t kind = 0;
  int nvals = 0;
  int i = 1;
  while (state != DONE) {
    const char *arg = i < argc ? argv[i] : nullptr;
    switch (state) {
      case EXPECT_OPTION:
        if (!arg) {
          state = DONE;
          break;
        }
        if (droptfind(r->tab, arg, &cur, &kind) != 0) return fail(r->s, 10100, 2, arg);
        ++i;
        if (kind == DROPT_FLAG) {
          if (take(r, cur, nullptr)) return 1;
        } else if (kind == DROPT_VALUE) {
          state = EXPECT_VALUE;
        } else {
          state = EXPECT_LIST;
          nvals = 0;
        }
        break;
      case EXPECT_VALUE:
        if (!arg || arg[0] == '-') return fail(r->s, 10101, 2, r->tab->ent[cur].name);
        if (take(r, cur, arg)) return 1;
        ++i;
        state = EXPECT_OPTION;
        break;
      case EXPECT_LIST:
        if (!arg || arg[0] == '-') {
          if (nvals == 0) return fail(r->s, 10101, 2, r->tab->ent[cur].name);
          state = EXPECT_OPTION;  // the argument that ended the list is read again
          break;
        }
        if (take(r, cur, arg)) return 1;
        ++nvals;
        ++i;
        break;
    }
  }
  for (uint16_t k = 0; k < r->tab->cnt && k < DROPT_MAXENT; ++k) {
    if (r->tab->ent[k].mand && !r->given[k] && prompt(r, static_cast<uint8_t>(k)) != 0) return 1;
  }
  return 0;
}
