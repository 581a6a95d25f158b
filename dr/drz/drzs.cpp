/* The records of one statement rewrite and the markers it leaves in the
 * output text for the generator: one writer and one reader, so that both
 * sides agree on the format to the byte. */
#include <cstring>

#include "dr/drz/drzint.h"

namespace {

constexpr int32_t kTextFull = 11301; /* the output text has no room */
constexpr int32_t kMarkHead = 10;    /* "%", letter, LLL, ":", BBB, "." */
constexpr int32_t kMarkMax = 999;    /* LLL and BBB have three digits */

void digits3(char *out, int32_t v) {
  out[0] = static_cast<char>('0' + v / 100);
  out[1] = static_cast<char>('0' + v / 10 % 10);
  out[2] = static_cast<char>('0' + v % 10);
}

bool read3(const char *p, int32_t *v) {
  *v = 0;
  for (int i = 0; i < 3; i++) {
    if (p[i] < '0' || p[i] > '9') return false;
    *v = *v * 10 + (p[i] - '0');
  }
  return true;
}

void freecol(drsrvstate *st, drzscol *c) {
  drzrfreestr(st, &c->schema);
  drzrfreestr(st, &c->table);
  drzrfreestr(st, &c->column);
  drzrfreestr(st, &c->alias);
  drzfree(st, c);
}

void freetab(drsrvstate *st, drzstab *t) {
  for (drzspred *p = t->preds, *next; p; p = next) {
    next = p->next;
    drzgtfreenm(st, &p->column);
    drzrfreestr(st, &p->colname);
    drzfree(st, p);
  }
  drzgtfreeref(st, &t->ref);
  drzfree(st, t);
}

void freeblk(drsrvstate *st, drzsblk *b) {
  for (drzstab *t = b->tabs, *next; t; t = next) {
    next = t->next;
    freetab(st, t);
  }
  for (drzshdl *h = b->handles, *next; h; h = next) {
    next = h->next;
    drzgtfreenm(st, &h->column);
    drzfree(st, h);
  }
  for (drzscol *c = b->rowids, *next; c; c = next) {
    next = c->next;
    freecol(st, c);
  }
  drzfree(st, b);
}

}  // namespace

drzsstate *drzsnew(drsrvstate *st, const char *user, int32_t sid, int32_t curid, char *text,
                   int32_t cap, int32_t shared, int32_t style) {
  auto *rs = static_cast<drzsstate *>(drzalloc(st, sizeof(drzsstate), __FILE__, __LINE__));
  rs->style = style;
  rs->shared = shared;
  rs->user =
      drzgtnewstr(st, user ? user : "", user ? static_cast<int32_t>(std::strlen(user)) : 0, 0);
  rs->sid = sid;
  rs->curid = curid;
  rs->text = text;
  rs->textcap = cap < 0 ? 0 : cap;
  rs->keycount = 1;
  rs->tabkeys = 1;
  return rs;
}

void drzsfree(drsrvstate *st, drzsstate **rs) {
  if (!rs || !*rs) return;
  drzsstate *s = *rs;
  for (drzsblk *b = s->blocks, *next; b; b = next) {
    next = b->next;
    freeblk(st, b);
  }
  for (drzsbnd *b = s->binds, *next; b; b = next) {
    next = b->next;
    drzrfreestr(st, &b->name);
    drzfree(st, b);
  }
  drzrfreestr(st, &s->user);
  drzfree(st, s);
  *rs = nullptr;
}

void drzmkwrite(drsrvstate *st, drzsstate *rs, char letter, int32_t block, const char *word,
                int32_t wordlen) {
  /* A marker the three-digit fields cannot describe does not fit either. */
  if (wordlen < 0 || wordlen > kMarkMax - kMarkHead || block < 0 || block > kMarkMax)
    drzgterr(st, kTextFull);
  int32_t len = kMarkHead + wordlen;
  /* Room for every byte written, the blank after the marker included. */
  if (rs->textlen < 0 || rs->textlen > rs->textcap - len - 1) drzgterr(st, kTextFull);
  char *p = rs->text + rs->textlen;
  p[0] = '%';
  p[1] = letter;
  digits3(p + 2, len);
  p[5] = ':';
  digits3(p + 6, block);
  p[9] = '.';
  if (wordlen) std::memcpy(p + kMarkHead, word, static_cast<size_t>(wordlen));
  p[len] = ' ';
  rs->textlen += len;
}

int drzmkread(const char *text, int32_t len, int32_t pos, drzmarker *mk) {
  if (!text || pos < 0 || pos >= len || text[pos] != '%') return -1;
  if (pos + 1 < len && text[pos + 1] == '%') return 1;
  if (len - pos < kMarkHead) return -1;
  const char *p = text + pos;
  int32_t mlen = 0, block = 0;
  if (!read3(p + 2, &mlen) || p[5] != ':' || !read3(p + 6, &block) || p[9] != '.') return -1;
  if (mlen < kMarkHead || mlen > len - pos) return -1;
  mk->letter = p[1];
  mk->len = mlen;
  mk->block = block;
  mk->word = p + kMarkHead;
  mk->wordlen = mlen - kMarkHead;
  return 0;
}
