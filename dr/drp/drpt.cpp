/* The tree printer: a parse tree as indented text, one node per line, for
 * traces and tests. */
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "dr/drp/drpint.h"

namespace {

/* Room that must stay free after each piece the printer writes. */
constexpr size_t kSpare = 128;

struct optname {
  int op;
  const char *name;
};

const optname kNames[] = {
    {DRPOP_ACCUM, "ACCUMULATE"}, {DRPOP_OR, "OR"},           {DRPOP_AND, "AND"},
    {DRPOP_NOT, "NOT"},          {DRPOP_MINUS, "MINUS"},     {DRPOP_THRESHOLD, "THRESHOLD"},
    {DRPOP_WEIGHT, "WEIGHT"},    {DRPOP_MAXDOC, "MAX_DOC"},  {DRPOP_FIRSTDOC, "FIRST_DOC"},
    {DRPOP_NEAR, "NEAR"},        {DRPOP_PHRASE, "PHRASE"},   {DRPOP_EQUIV, "EQUIVALENCE"},
    {DRPOP_EXECUTE, "EXECUTE"},  {DRPOP_SQE, "SQE"},         {DRPOP_WORD, "WORD"},
};

/* One piece through the formatter; false when it failed or left too
 * little room. */
bool piece(drsrvstate *srv, char *out, size_t size, size_t *pos, const char *fmt, ...) {
  if (*pos >= size) return false;
  va_list ap;
  va_start(ap, fmt);
  int n = lsffmtv(srv->fmt, out + *pos, size - *pos, fmt, ap);
  va_end(ap);
  if (n < 0) return false;
  *pos += static_cast<size_t>(n);
  return size - *pos >= kSpare;
}

int internal(drsrvstate *srv, int line) {
  dracnierr(srv, DRFAC_DRG, DRPM_INTERNAL, 2, DRA_STR, __FILE__, DRA_INT, line, 0);
  return 1;
}

/* Ends a failed level: a line end, then the internal error. */
int unwind(drsrvstate *srv, char *out, size_t size, size_t *pos, int line) {
  if (*pos + 1 < size) {
    out[(*pos)++] = '\n';
    out[*pos] = 0;
  }
  return internal(srv, line);
}

}  // namespace

const char *drptname(int op) {
  for (const optname &e : kNames)
    if (e.op == op) return e.name;
  return "UNKNOWN NODE TYPE";
}

int drptmods(drsrvstate *srv, int flags, char *out, size_t size, size_t *pos) {
  static const struct {
    int bit;
    const char *mark;
  } marks[] = {{DRPF_STEM, "$ "}, {DRPF_FUZZY, "? "}, {DRPF_SOUNDEX, "! "}, {DRPF_THEME, "^ "}};
  for (const auto &m : marks)
    if ((flags & m.bit) && !piece(srv, out, size, pos, "%s", DRA_STR, m.mark, 0))
      return internal(srv, __LINE__);
  return 0;
}

int drptprint(int32_t node, drpabuf *b, char *out, size_t size, size_t *pos, int depth) {
  drsrvstate *srv = b->srv;
  if (node == 0) return 0;
  if (node < 0 || node > b->nnodes) return internal(srv, __LINE__);
  if (depth == 0 && b->firstdoc != 0) {
    if (!piece(srv, out, size, pos, "%(1)s ", DRA_STR, drptname(DRPOP_FIRSTDOC), 0) ||
        !piece(srv, out, size, pos, "%(1)s to %(2)s\n", DRA_UB4, &b->firstdoc, DRA_UB4,
               &b->lastdoc, 0))
      return internal(srv, __LINE__);
  }
  if (depth == 0 && b->maxdoc != 0) {
    if (!piece(srv, out, size, pos, "%(1)s ", DRA_STR, drptname(DRPOP_MAXDOC), 0) ||
        !piece(srv, out, size, pos, "%(1)s\n", DRA_UB4, &b->maxdoc, 0))
      return internal(srv, __LINE__);
  }
  drpanode *n = drpanodep(b, node);
  for (int i = 0; i < depth; i++)
    if (!piece(srv, out, size, pos, "  ", 0)) return internal(srv, __LINE__);
  if (!piece(srv, out, size, pos, "%(1)s ", DRA_STR, drptname(n->op), 0))
    return internal(srv, __LINE__);
  if (drptmods(srv, n->flags, out, size, pos)) return unwind(srv, out, size, pos, __LINE__);
  if (n->op == DRPOP_WEIGHT &&
      !piece(srv, out, size, pos, "%(1)2.3s", DRA_DBL, n->value / 1000.0, 0))
    return internal(srv, __LINE__);
  if (n->op == DRPOP_THRESHOLD && !piece(srv, out, size, pos, "%(1)s ", DRA_UB4, &n->value, 0))
    return internal(srv, __LINE__);
  if (n->text > 0 && n->text <= b->strbytes &&
      !piece(srv, out, size, pos, "%(1)s ", DRA_STR, drpastrp(b, n->text), 0))
    return internal(srv, __LINE__);
  if (!piece(srv, out, size, pos, "\n", 0)) return internal(srv, __LINE__);
  for (int32_t c = n->first; c != 0;) {
    if (c < 0 || c > b->nnodes || drptprint(c, b, out, size, pos, depth + 1))
      return unwind(srv, out, size, pos, __LINE__);
    c = drpanodep(b, c)->next;
  }
  return 0;
}

void drptdump(drpabuf **bufp) {
  drpabuf *b = *bufp;
  char out[0x8000];
  size_t pos = 0;
  out[0] = 0;
  drptprint(b->root, b, out, sizeof out, &pos, 0);
  dracnout(nullptr, "\n[\n%s\n]\n", DRA_STR, out, 0);
}
