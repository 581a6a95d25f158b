/* Names taken from a statement on top of the scanner's tokens: counted
 * names that remember where they stood, dotted column names, table
 * references with their links and aliases. Errors are raises, like the
 * scanner's; everything comes from the command heap. */
#include <cstddef>
#include <cstring>

#include "dr/drz/drzint.h"

namespace {

constexpr int32_t kLinkMax = 255; /* bytes of a joined link name */

/* Byte offset of the current token in the statement. */
int32_t tokpos(const drzgtstate *gt) { return static_cast<int32_t>(gt->tokstart.pos - gt->text); }

}  // namespace

drzgtstr *drzgtnewstr(drsrvstate *st, const char *bytes, int32_t len, int32_t pos) {
  if (len <= 0) return nullptr;
  auto *s = static_cast<drzgtstr *>(
      drzalloc(st, offsetof(drzgtstr, text) + static_cast<size_t>(len) + 1, __FILE__, __LINE__));
  s->pos = static_cast<uint16_t>(pos);
  s->len = len;
  std::memcpy(s->text, bytes, static_cast<size_t>(len));
  s->text[len] = 0;
  return s;
}

drzgtstr *drzgtname(drsrvstate *st, drzgtstate *gt, int32_t err) {
  if (gt->token != DRZGT_IDENT) drzgterr(st, err);
  drzgtstr *s = drzgtnewstr(st, gt->toktext, gt->toklen, tokpos(gt));
  drzgtnext(st, gt);
  return s;
}

void drzgtdup(drsrvstate *st, drzgtstate *gt, char **buf, int32_t *len, int32_t *pos, int32_t err) {
  if (gt->token != DRZGT_IDENT) drzgterr(st, err);
  *buf = static_cast<char *>(drzalloc(st, gt->toklen, __FILE__, __LINE__));
  std::memcpy(*buf, gt->toktext, gt->toklen);
  *len = gt->toklen;
  if (pos) *pos = tokpos(gt);
  drzgtnext(st, gt);
}

void drzgtnames(drsrvstate *st, drzgtstate *gt, drzgtnm **out, int mode) {
  auto *nm = static_cast<drzgtnm *>(drzalloc(st, sizeof(drzgtnm), __FILE__, __LINE__));
  *out = nm;
  for (;;) {
    nm->schema = nm->table;
    nm->table = nm->column;
    /* Cleared first: a raise must not leave one name under two parts. */
    nm->column = nullptr;
    nm->column = drzgtname(st, gt, DRZ_DB | (mode == DRZGT_DOTTED ? 1747 : 904));
    if (gt->token != DRZGT_DOT) return;
    if (mode != DRZGT_DOTTED) drzgterr(st, DRZ_DB | 1748);
    if (nm->schema) drzgterr(st, DRZ_DB | 1747);
    drzgtnext(st, gt);
  }
}

drzgtstr *drzgtlink(drsrvstate *st, drzgtstate *gt, int32_t err) {
  char buf[kLinkMax];
  int32_t n = 0;
  for (;;) {
    if (gt->token != DRZGT_IDENT || n + gt->toklen > kLinkMax) drzgterr(st, err);
    std::memcpy(buf + n, gt->toktext, gt->toklen);
    n += gt->toklen;
    drzgtnext(st, gt);
    if (gt->token != DRZGT_DOT) break;
    if (n + 1 > kLinkMax) drzgterr(st, err);
    buf[n++] = '.';
    drzgtnext(st, gt);
  }
  return drzgtnewstr(st, buf, n, tokpos(gt));
}

void drzgttabref(drsrvstate *st, drzgtstate *gt, drzgtref **out, int32_t err) {
  auto *ref = static_cast<drzgtref *>(drzalloc(st, sizeof(drzgtref), __FILE__, __LINE__));
  *out = ref;
  if (gt->token == DRZGT_COLON) {
    drzgtnext(st, gt);
    ref->table = drzgtname(st, gt, err);
    ref->kind = DRZGT_BIND;
    return;
  }
  if (gt->token == DRZGT_LPAREN) {
    ref->kind = DRZGT_SUBQ;
    return;
  }
  ref->kind = DRZGT_TABLE;
  ref->table = drzgtname(st, gt, err);
  if (gt->token == DRZGT_DOT) {
    drzgtnext(st, gt);
    ref->schema = ref->table;
    ref->table = nullptr;
    ref->table = drzgtname(st, gt, err);
    ref->kind = DRZGT_SCHEMA;
  }
  if (gt->token == DRZGT_AT) {
    gt->flags |= DRZGT_LONGNAME;
    drzgtnext(st, gt);
    if (gt->token != DRZGT_BANG) ref->link = drzgtlink(st, gt, err);
    while (gt->token == DRZGT_BANG) {
      if (ref->marks < 0xFF) ref->marks++;
      drzgtnext(st, gt);
    }
    if (!ref->link) ref->link = drzgtnewstr(st, "!", 1, tokpos(gt));
    ref->linkschema = ref->schema;
    ref->linktable = ref->table;
  }
  ref->alias = gt->token == DRZGT_IDENT ? drzgtname(st, gt, err) : ref->table;
}

void drzrfreestr(drsrvstate *st, drzgtstr **str) {
  if (!str || !*str) return;
  drzfree(st, *str);
  *str = nullptr;
}

void drzgtfreenm(drsrvstate *st, drzgtnm **nm) {
  if (!nm || !*nm) return;
  drzrfreestr(st, &(*nm)->table);
  drzrfreestr(st, &(*nm)->column);
  drzrfreestr(st, &(*nm)->schema);
  drzfree(st, *nm);
  *nm = nullptr;
}

void drzgtfreeref(drsrvstate *st, drzgtref **ref) {
  if (!ref || !*ref) return;
  drzgtref *r = *ref;
  if (r->alias != r->table) drzrfreestr(st, &r->alias);
  drzrfreestr(st, &r->schema);
  drzrfreestr(st, &r->table);
  drzrfreestr(st, &r->link);
  drzfree(st, r);
  *ref = nullptr;
}

void drzrmove(drsrvstate *st, void *dst, const void *src, size_t count) {
  (void)st;
  if (count) std::memmove(dst, src, count);
}
