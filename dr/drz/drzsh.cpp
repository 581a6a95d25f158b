/* The handlers of the statement rewrite: the FROM list, the text predicates
 * CONTAINS, SCORE and HANDLE with their labels, bind variables, string
 * literals, and the evaluation of every predicate after the rewrite. Syntax
 * errors are raises; the other failures push and return 1, which the walk
 * turns into its own raise. Also the writers of the output text. */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dr/dru/drue.h"
#include "dr/drz/drzint.h"

namespace {

constexpr int32_t kTextFull = 11301;
constexpr int32_t kQueryArg = 11302;   /* neither a literal nor a bind variable */
constexpr int32_t kLabelTwice = 11303;
constexpr int32_t kLabelBig = 11304;
constexpr int32_t kInternal = 11325;
constexpr int32_t kNoBlock = 11330;    /* a predicate word outside any query block */
constexpr int32_t kTooLong = 11331;    /* a name longer than its column */
constexpr int32_t kBindMax = 30;       /* bytes of a bind name's column */
constexpr int32_t kPolargMax = 61;     /* bytes of a policy argument */

int32_t tokpos(const drzgtstate *gt) { return static_cast<int32_t>(gt->tokstart.pos - gt->text); }

/* Raises a rewrite message with one text argument. */
[[noreturn]] void raise1(drsrvstate *st, int32_t num, const char *text) {
  rtfrmraise(st->msg, st->facid[DRFAC_DRG], num, 2, DRA_STR, text, 0);
  std::abort();
}

drzsbnd *newbind(drsrvstate *st, drzsstate *rs, drzgtstate *gt) {
  auto *b = static_cast<drzsbnd *>(drzalloc(st, sizeof(drzsbnd), __FILE__, __LINE__));
  drzgtnext(st, gt);
  /* A mark that ends the statement has no name to record. */
  if (gt->token == DRZGT_EOT) drzgterr(st, DRZ_DB | 921);
  if (gt->toklen > kBindMax) raise1(st, kTooLong, gt->toktext);
  b->name = drzgtnewstr(st, gt->toktext, gt->toklen, tokpos(gt));
  if (!b->name) drzgterr(st, DRZ_DB | 921);
  drzgtnext(st, gt);
  b->pos = ++gt->lastbind;
  if (rs->lastbind) rs->lastbind->next = b;
  else rs->binds = b;
  rs->lastbind = b;
  return b;
}

}  // namespace

/* ---- output text ---- */

void drzcat(drsrvstate *st, char *base, int32_t *len, int32_t cap, const char *bytes, int32_t n) {
  if (n < 0 || *len < 0 || *len > cap - n) drzgterr(st, kTextFull);
  if (n) std::memcpy(base + *len, bytes, static_cast<size_t>(n));
  *len += n;
}

void drzcats(drsrvstate *st, char *base, int32_t *len, int32_t cap, const char *text) {
  drzcat(st, base, len, cap, text, static_cast<int32_t>(std::strlen(text)));
}

void drzout(drsrvstate *st, drzsstate *rs, const char *bytes, int32_t n) {
  drzcat(st, rs->text, &rs->textlen, rs->textcap, bytes, n);
}

void drzouts(drsrvstate *st, drzsstate *rs, const char *text) {
  drzout(st, rs, text, static_cast<int32_t>(std::strlen(text)));
}

void drzoutn(drsrvstate *st, drzsstate *rs, int32_t v) {
  char buf[16];
  int n = std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v));
  drzout(st, rs, buf, n);
}

void drzpush(drsrvstate *st, int32_t num, const char *text) {
  if (text) dracnerr(st, DRFAC_DRG, num, 2, DRA_STR, text, 0);
  else dracnerr(st, DRFAC_DRG, num, 2, 0);
}

void drzpushn(drsrvstate *st, int32_t num, int32_t v) {
  dracnerr(st, DRFAC_DRG, num, 2, DRA_SB4, &v, 0);
}

/* ---- handlers ---- */

int drzsfrom(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk) {
  drzout(st, rs, gt->toktext, gt->toklen);
  drzouts(st, rs, " ");
  drzgtskip(st, gt, DRZGT_FROM);
  for (;;) {
    auto *t = static_cast<drzstab *>(drzalloc(st, sizeof(drzstab), __FILE__, __LINE__));
    if (blk->lasttab) blk->lasttab->next = t;
    else blk->tabs = t;
    blk->lasttab = t;
    if (gt->token == DRZGT_CLUSTER) {
      drzout(st, rs, gt->toktext, gt->toklen);
      drzouts(st, rs, " ");
      drzgtnext(st, gt);
    }
    drzgttabref(st, gt, &t->ref, DRZ_DB | 903);
    t->pos = rs->textlen;
    if (t->ref->kind == DRZGT_SUBQ) break;
    /* There are no database links to follow from here. */
    if (t->ref->link) raise1(st, 11334, t->ref->table ? t->ref->table->text : "");
    drzpname(st, rs->text, &rs->textlen, rs->textcap, t->ref, 15);
    t->len = rs->textlen - t->pos;
    if (gt->token != DRZGT_COMMA) break;
    drzout(st, rs, gt->toktext, gt->toklen);
    drzgtnext(st, gt);
  }
  drzouts(st, rs, " ");
  return 0;
}

int drzslabel(drsrvstate *st, drzgtstate *gt, drzsblk *blk, int32_t *label, int number,
              int check) {
  int32_t v = 0;
  if (number) {
    int64_t whole = 0;
    int frac = 0;
    rtnumscale(&gt->number, 0, &whole, &frac);
    if (frac || rtnumovf(&gt->number) || whole < INT32_MIN || whole > INT32_MAX) {
      dracnierr(st, DRFAC_DRG, kInternal, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      return 1;
    }
    v = static_cast<int32_t>(whole);
  }
  *label = v;
  if (v >= 1000 || v < 0) {
    drzpushn(st, kLabelBig, v);
    return 1;
  }
  if (check && blk) {
    for (drzstab *t = blk->tabs; t; t = t->next)
      for (drzspred *p = t->preds; p; p = p->next)
        if (p->label == v) {
          drzpushn(st, kLabelTwice, v);
          return 1;
        }
  }
  return 0;
}

int drzsbind(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk, drzsbnd **out) {
  (void)blk;
  drzsbnd *b = newbind(st, rs, gt);
  if (out) *out = b;
  return 0;
}

void drzsrepl(drsrvstate *st, drzsstate *rs, drzspred *p) {
  if (p->bind) {
    drzouts(st, rs, ":");
    drzpword(st, rs->text, &rs->textlen, rs->textcap, p->bind->name->text, p->bind->name->len, 0);
    drzouts(st, rs, " IS NOT NULL AND ");
  }
  drzouts(st, rs, "SCORE");
  drzoutn(st, rs, p->contid);
  drzouts(st, rs, " ");
}

int drzscontains(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk) {
  if (!blk) raise1(st, kNoBlock, "CONTAINS");
  auto *p = static_cast<drzspred *>(drzalloc(st, sizeof(drzspred), __FILE__, __LINE__));
  drzgtnext(st, gt);
  drzgtskip(st, gt, DRZGT_LPAREN);
  drzgtnames(st, gt, &p->column, DRZGT_DOTTED);
  drzgtskip(st, gt, DRZGT_COMMA);
  if (gt->token == DRZGT_STRING) {
    std::memcpy(p->query, gt->toktext, gt->toklen);
    p->query[gt->toklen] = 0;
    drzgtnext(st, gt);
  } else if (gt->token == DRZGT_COLON || gt->token == DRZGT_AMP) {
    p->bind = newbind(st, rs, gt);
  } else {
    drzgterr(st, kQueryArg);
  }
  int rc;
  if (gt->token == DRZGT_COMMA) {
    drzgtnext(st, gt);
    drzgtexpect(st, gt, DRZGT_NUMBER);
    rc = drzslabel(st, gt, blk, &p->label, 1, 1);
    if (rc == 0) {
      drzgtnext(st, gt);
      if (gt->token == DRZGT_COMMA) {
        drzgtnext(st, gt);
        drzgtexpect(st, gt, DRZGT_STRING);
        if (gt->toklen > kPolargMax) raise1(st, kTooLong, gt->toktext);
        std::memcpy(p->polarg, gt->toktext, gt->toklen);
        p->polarg[gt->toklen] = 0;
        drzgtnext(st, gt);
      }
    }
  } else {
    rc = drzslabel(st, gt, blk, &p->label, 0, 1);
  }
  if (rc == 0) drzgtexpect(st, gt, DRZGT_RPAREN);
  drzstab *tab = nullptr;
  drzfresult res{};
  if (rc == 0) rc = drzpresolve(st, &tab, rs, blk, p->column, &res, p->polarg);
  if (rc != 0) {
    drzgtfreenm(st, &p->column);
    drzfree(st, p);
    return 1;
  }
  p->colname = res.colname;
  p->policy = res.policy;
  std::memcpy(p->polname, res.polname, sizeof p->polname);
  std::memcpy(p->textkey, res.textkey, sizeof p->textkey);
  std::memcpy(p->dblink, res.dblink, sizeof p->dblink);
  p->tab = tab;
  p->block = blk->id;
  p->contid = gt->nextcont++;
  int32_t keys = 1;
  for (const char *c = p->textkey; *c; ++c) keys += *c == ',';
  if (keys > rs->keycount) rs->keycount = keys;
  if (rs->shared == 0) {
    rc = drzsops.alloc(st, rs->sid, "RESULT", p->tabname, keys);
  } else {
    if (!rs->sharedtab[0]) {
      rc = drzsops.alloc(st, rs->sid, "RESULT", rs->sharedtab, rs->keycount);
      if (rc == 0) rs->tabkeys = rs->keycount;
    }
    if (rc == 0) std::memcpy(p->tabname, rs->sharedtab, sizeof rs->sharedtab);
  }
  if (rc != 0) {
    p->tabname[0] = 0;
    drzgtfreenm(st, &p->column);
    drzrfreestr(st, &p->colname);
    drzfree(st, p);
    return 1;
  }
  /* Recorded before anything else can fail, so that a failed rewrite finds
   * and releases the table it was given. */
  if (tab->lastpred) tab->lastpred->next = p;
  else tab->preds = p;
  tab->lastpred = p;
  drzsrepl(st, rs, p);
  return 0;
}

int drzsscore(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk) {
  if (!blk) raise1(st, kNoBlock, "SCORE");
  drzgtnext(st, gt);
  drzgtskip(st, gt, DRZGT_LPAREN);
  drzgtexpect(st, gt, DRZGT_NUMBER);
  int32_t label = 0;
  if (drzslabel(st, gt, blk, &label, 1, 0) != 0) return 1;
  drzgtnext(st, gt);
  drzgtexpect(st, gt, DRZGT_RPAREN);
  char word[16];
  int n = std::snprintf(word, sizeof word, "%d", static_cast<int>(label));
  drzmkwrite(st, rs, 'S', blk->id, word, n);
  return 0;
}

int drzshandle(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk) {
  if (!blk) raise1(st, kNoBlock, "HANDLE");
  auto *h = static_cast<drzshdl *>(drzalloc(st, sizeof(drzshdl), __FILE__, __LINE__));
  if (blk->lasthandle) blk->lasthandle->next = h;
  else blk->handles = h;
  blk->lasthandle = h;
  drzgtnext(st, gt);
  drzgtskip(st, gt, DRZGT_LPAREN);
  drzgtnames(st, gt, &h->column, DRZGT_DOTTED);
  drzgtexpect(st, gt, DRZGT_RPAREN);
  h->id = gt->nexthdl++;
  char word[16];
  int n = std::snprintf(word, sizeof word, "%d", static_cast<int>(h->id));
  drzmkwrite(st, rs, 'H', blk->id, word, n);
  return 0;
}

int32_t drzsquote(drsrvstate *st, char *out, int32_t cap, const char *text, int32_t len) {
  (void)st;
  int32_t n = 0;
  auto put = [&](char c) {
    if (n < cap - 1) out[n] = c;
    n++;
  };
  put('\'');
  for (int32_t i = 0; i < len; i++) {
    if (text[i] == '\'') put('\'');
    put(text[i]);
  }
  put('\'');
  if (n > cap - 1) {
    if (cap > 0) out[0] = 0;
    return -1;
  }
  out[n] = 0;
  return n;
}

int drzsexec(drsrvstate *st, drzsstate *rs) {
  char sess[16];
  std::snprintf(sess, sizeof sess, "%ld", static_cast<long>(rs->sid));
  for (drzsblk *b = rs->blocks; b; b = b->next)
    for (drzstab *t = b->tabs; t; t = t->next)
      for (drzspred *p = t->preds; p; p = p->next) {
        if (p->bind && !p->query[0]) {
          dracnerr(st, DRFAC_DRG, 50802, 2, DRA_STR, p->bind->name->text, 0);
          return 1;
        }
        if (!drzsops.query) {
          drzpush(st, 50701, "evaluating a rewritten statement's predicates");
          return 1;
        }
        if (drzsops.query(st, rs->user->text, sess, p->policy, p->query, p->tabname, rs->shared,
                          p->contid, rs->curid) != 0) {
          drzpush(st, 11311, nullptr);
          return 1;
        }
      }
  return 0;
}
