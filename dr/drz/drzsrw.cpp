/* The statement rewrite driver: rw_parse walks a statement token by token,
 * copies it into the output text, follows the clauses of every SELECT,
 * hands the text predicates to their handlers and ends with generation,
 * bookkeeping and, on request, evaluation; rw_close releases what it made. */
#include <cstring>

#include "dr/drr/drr.h"
#include "dr/dru/drue.h"
#include "dr/drz/drzint.h"

drzsvc drzsops = {drzfres, drrtalc, drrtdea, nullptr, drzrsave, drzrclean};

namespace {

constexpr int32_t kFail = 11300;
constexpr int32_t kSelects = 49;  /* SELECTs one statement may hold */

int32_t clausemsg(int32_t clause) {
  static const int32_t msgs[] = {11323, 11317, 11318, 11319, 11316,
                                 11321, 11322, 11307, 11308, 11309};
  return clause >= 0 && clause <= 9 ? msgs[clause] : 11324;
}

/* The walk's own variables. */
struct walkvars {
  drzsblk *blk;      /* current query block */
  drzscol *rec;      /* pending select-list column */
  bool plain;        /* the item is so far a plain column reference */
  bool hasrowid;     /* the item holds ROWID */
  bool need;         /* a new record is needed */
  int32_t run;       /* identifiers, ROWID and "*" in a row */
  uint8_t marks[kSelects + 1];
  bool giveup;       /* ROWID tracking given up */
  int32_t selects;
};

void freecol(drsrvstate *st, drzscol **c) {
  if (!*c) return;
  drzrfreestr(st, &(*c)->schema);
  drzrfreestr(st, &(*c)->table);
  drzrfreestr(st, &(*c)->column);
  drzrfreestr(st, &(*c)->alias);
  drzfree(st, *c);
  *c = nullptr;
}

drzgtstr *tokname(drsrvstate *st, const drzgtstate *gt) {
  return drzgtnewstr(st, gt->toktext, gt->toklen,
                     static_cast<int32_t>(gt->tokstart.pos - gt->text));
}

/* Writes text with every "%" doubled, so that only markers hold one. */
void outpct(drsrvstate *st, drzsstate *rs, const char *text, int32_t n) {
  for (int32_t i = 0; i < n; i++) {
    if (text[i] == '%') drzout(st, rs, "%", 1);
    drzout(st, rs, text + i, 1);
  }
}

drzscol *take(drsrvstate *st, walkvars *w) {
  if (w->need || !w->rec) {
    freecol(st, &w->rec);
    w->rec = static_cast<drzscol *>(drzalloc(st, sizeof(drzscol), __FILE__, __LINE__));
    w->need = false;
  }
  return w->rec;
}

void closeitem(drsrvstate *st, walkvars *w) {
  if (!w->giveup && w->rec && !w->need) {
    if (!w->rec->column) drzgterr(st, DRZ_DB | 1747);
    if (w->hasrowid) {
      if (w->blk->lastrowid) w->blk->lastrowid->next = w->rec;
      else w->blk->rowids = w->rec;
      w->blk->lastrowid = w->rec;
      w->rec = nullptr;
    } else {
      freecol(st, &w->rec);
    }
  }
  w->hasrowid = false;
  w->need = true;
}

void openblock(drsrvstate *st, drzsstate *rs, drzgtstate *gt, walkvars *w) {
  if (w->blk) w->blk->resume = gt->clause;
  if (++w->selects > kSelects) drzgterr(st, kFail);
  auto *b = static_cast<drzsblk *>(drzalloc(st, sizeof(drzsblk), __FILE__, __LINE__));
  b->id = gt->nextblk++;
  b->depth = gt->depth;
  b->outer = w->blk;
  w->marks[b->id] = 0;
  if (rs->lastblock) rs->lastblock->next = b;
  else rs->blocks = b;
  rs->lastblock = b;
  w->blk = b;
  gt->clause = DRZS_SELECT;
  w->plain = true;
  freecol(st, &w->rec);
  w->need = true;
  w->hasrowid = false;
}

void rowid(drsrvstate *st, drzgtstate *gt, walkvars *w, int32_t outpos) {
  if (gt->clause != DRZS_SELECT || !w->plain || w->run > 1 || w->hasrowid)
    drzgterr(st, DRZ_DB | 1747);
  if (w->giveup) return;
  for (int32_t i = 0; i < w->blk->id; i++)
    if (w->marks[i]) {
      w->giveup = true;
      return;
    }
  drzscol *c = take(st, w);
  drzrfreestr(st, &c->column);
  c->column = tokname(st, gt);
  c->columnpos = outpos;
  w->hasrowid = true;
  w->marks[w->blk->id] = 1;
}

void word(drsrvstate *st, drzgtstate *gt, walkvars *w, int32_t outpos) {
  if (w->giveup) return;
  drzscol *c = take(st, w);
  if (w->run == 2 && w->hasrowid) {
    drzrfreestr(st, &c->alias);
    c->alias = tokname(st, gt);
    c->aliaspos = outpos;
  } else {
    drzrfreestr(st, &c->column);
    c->column = tokname(st, gt);
    c->columnpos = outpos;
  }
}

void dot(drsrvstate *st, walkvars *w) {
  if (w->giveup || !w->rec || w->need) return;
  drzscol *c = w->rec;
  if (c->schema) drzgterr(st, DRZ_DB | 1747);
  c->schema = c->table;
  c->schemapos = c->tablepos;
  c->table = c->column;
  c->tablepos = c->columnpos;
  c->column = nullptr;
}

/* Whether the one-character token just read is the first half of a
 * two-character operator written without a blank (<>, <=, >=, !=, ^=, ||):
 * the scanner reads each character as a token of its own, and a blank
 * written between them would leave a statement that does not parse. */
bool glued(const drzgtstate *gt) {
  if (gt->toklen != 1 || gt->cur.pos >= gt->cur.end) return false;
  char a = gt->toktext[0], b = *gt->cur.pos;
  return ((a == '<' || a == '>' || a == '!' || a == '^') && b == '=') || (a == '<' && b == '>') ||
         (a == '|' && b == '|');
}

void walk(drsrvstate *st, drzsstate *rs, drzgtstate *gt, walkvars *w) {
  bool reuse = false;
  for (;;) {
    uint16_t tok = reuse ? gt->token : (drzgtnext(st, gt), drzgtkeyw(st, gt));
    reuse = false;
    bool copy = true;
    int32_t outpos = rs->textlen;
    int32_t saved = gt->clause;
    switch (tok) {
      case DRZGT_EOT:
        return;
      case DRZGT_IDENT:
      case DRZGT_STAR:
        if (++w->run > 2) drzgterr(st, DRZ_DB | 923);
        if (gt->clause == DRZS_SELECT && w->plain) word(st, gt, w, outpos);
        break;
      case DRZGT_STRING: {
        char q[2 * DRZGT_TEXTMAX + 4];
        int32_t n = drzsquote(st, q, sizeof q, gt->toktext, gt->toklen);
        if (n < 0 || n > 2003) drzgterr(st, 11301);
        outpct(st, rs, q, n);
        drzouts(st, rs, " ");
        copy = false;
        break;
      }
      case DRZGT_CONNECT:
      case DRZGT_START:
        drzgterr(st, 11320);
      case DRZGT_FROM:
        if (gt->clause == DRZS_SELECT) {
          if (w->plain) closeitem(st, w);
          gt->clause = DRZS_FROM;
          drzsfrom(st, rs, gt, w->blk);
          copy = false;
          reuse = true;
        }
        break;
      case DRZGT_GROUP:
        gt->clause = DRZS_GROUP;
        break;
      case DRZGT_ORDER:
        gt->clause = DRZS_ORDER;
        break;
      case DRZGT_ROWID:
        rowid(st, gt, w, outpos);
        ++w->run;
        break;
      case DRZGT_SELECT:
        openblock(st, rs, gt, w);
        break;
      case DRZGT_WHERE:
        if (gt->clause == DRZS_FROM) {
          if (!w->giveup && w->blk->tabs && w->blk->tabs->next)
            for (drzscol *c = w->blk->rowids; c; c = c->next)
              if (!c->table) drzgterr(st, DRZ_DB | 918);
          gt->clause = DRZS_WHERE;
        }
        break;
      case DRZGT_AMP:
      case DRZGT_COLON: {
        gt->clause = DRZS_BIND;
        drzsbnd *b = nullptr;
        drzsbind(st, rs, gt, w->blk, &b);
        drzouts(st, rs, ":");
        drzpword(st, rs->text, &rs->textlen, rs->textcap, b->name->text, b->name->len, 0);
        drzouts(st, rs, " ");
        gt->clause = saved;
        copy = false;
        reuse = true;
        break;
      }
      case DRZGT_COMMA:
        if (gt->clause == DRZS_SELECT && w->plain) {
          closeitem(st, w);
          w->plain = true;
        }
        break;
      case DRZGT_LPAREN:
        gt->depth++;
        break;
      case DRZGT_DOT:
        if (gt->clause == DRZS_SELECT && w->plain) dot(st, w);
        break;
      case DRZGT_RPAREN:
        gt->depth--;
        while (w->blk && w->blk->depth > gt->depth) {
          w->blk = w->blk->outer;
          gt->clause = w->blk ? w->blk->resume : DRZS_NONE;
        }
        break;
      case DRZGT_CONTAINS:
        gt->clause = DRZS_CONTAINS;
        if (saved != DRZS_WHERE) drzgterr(st, 11313);
        if (drzscontains(st, rs, gt, w->blk) != 0) drzgterr(st, 11307);
        gt->clause = saved;
        copy = false;
        break;
      case DRZGT_HANDLE:
        gt->clause = DRZS_HANDLE;
        if (saved != DRZS_SELECT) drzgterr(st, 11315);
        if (drzshandle(st, rs, gt, w->blk) != 0) drzgterr(st, 11309);
        gt->clause = saved;
        copy = false;
        break;
      case DRZGT_SCORE:
        gt->clause = DRZS_SCORE;
        if (saved == DRZS_FROM) drzgterr(st, 11314);
        if (drzsscore(st, rs, gt, w->blk) != 0) drzgterr(st, 11308);
        gt->clause = saved;
        copy = false;
        break;
      default:
        break;
    }
    if (tok != DRZGT_IDENT && tok != DRZGT_ROWID && tok != DRZGT_STAR) w->run = 0;
    if (tok != DRZGT_DOT && tok != DRZGT_COMMA && tok != DRZGT_IDENT && tok != DRZGT_ROWID &&
        tok != DRZGT_STAR && tok != DRZGT_SELECT)
      w->plain = false;
    if (copy) {
      if (tok == DRZGT_IDENT) drzpword(st, rs->text, &rs->textlen, rs->textcap, gt->toktext, gt->toklen, 0);
      else outpct(st, rs, gt->toktext, gt->toklen);
      if (!glued(gt)) drzouts(st, rs, " ");
    }
  }
}

/* Releases every result table the rewrite was given; failures to release
 * are left on the stack behind the rewrite's own. */
void releaseall(drsrvstate *st, drzsstate *rs) {
  if (!rs) return;
  if (rs->sharedtab[0]) {
    drzsops.release(st, rs->sharedtab);
    rs->sharedtab[0] = 0;
  }
  for (drzsblk *b = rs->blocks; b; b = b->next)
    for (drzstab *t = b->tabs; t; t = t->next)
      for (drzspred *p = t->preds; p; p = p->next)
        if (p->tabname[0] && rs->shared == 0) drzsops.release(st, p->tabname);
}

/* What the error frame's handler reads: kept out of registers. */
struct runvars {
  drzsstate *volatile rs;
  drzgtstate *volatile gt;
};

}  // namespace

int drzsrwp(drsrvstate *st, const char *user, int32_t sid, int32_t curid, const char *stmt,
            char *out, int32_t cap, int32_t shr, int32_t exec, int32_t *outlen) {
  runvars v{nullptr, nullptr};
  runvars *const vp = &v;
  volatile int result = 1;
  if (outlen) *outlen = 0;
  if (cap > 0) out[0] = 0;
  rtframe fr;
  RTFRM_TRY(st->msg, fr) {
    if (shr == 2) drzgterr(st, 11329);
    if (!user || !*user) drzgterr(st, 11332);
    int32_t keycount = 1;
    const int32_t len = static_cast<int32_t>(std::strlen(stmt ? stmt : ""));
    for (;;) {
      vp->rs = drzsnew(st, user, sid, curid, out, cap, shr, 2);
      vp->rs->keycount = keycount;
      vp->gt = drzgtnew(st, nullptr, 0, stmt ? stmt : "", len);
      walkvars w{};
      w.need = true;
      walk(st, vp->rs, vp->gt, &w);
      freecol(st, &w.rec);
      drzsstate *rs = vp->rs;
      drzout(st, rs, "", 1);
      if (w.giveup)
        for (drzsblk *b = rs->blocks; b; b = b->next) {
          for (drzscol *c = b->rowids, *next; c; c = next) {
            next = c->next;
            freecol(st, &c);
          }
          b->rowids = b->lastrowid = nullptr;
        }
      drzgtstate *gt = vp->gt;
      drzgtfree(st, &gt);
      vp->gt = nullptr;
      if (shr == 1 && rs->tabkeys < rs->keycount) {
        /* The shared table was made with too few key columns: start again
         * knowing how many the statement needs. */
        drzsops.release(st, rs->sharedtab);
        rs->sharedtab[0] = 0;
        keycount = rs->keycount;
        drzsstate *old = rs;
        vp->rs = nullptr;
        drzsfree(st, &old);
        continue;
      }
      break;
    }
    drzsstate *rs = vp->rs;
    if (drzpgen(st, rs) != 0) drzgterr(st, 11310);
    if (drzsops.save(st, rs) != 0) drzgterr(st, 11328);
    if (exec == 1 && drzsexec(st, rs) != 0) drzgterr(st, 11312);
    if (outlen) *outlen = rs->textlen;
    result = 0;
  }
  else {
    rtfrmenter(st->msg, &fr);
    if (vp->gt) {
      dracnerr(st, DRFAC_DRG, clausemsg(vp->gt->clause), 2, 0);
      drzgtstate *gt = vp->gt;
      drzgtfree(st, &gt);
      vp->gt = nullptr;
    }
    dracnerr(st, DRFAC_DRG, kFail, 2, 0);
    rtfrmleave(st->msg, &fr);
    result = 1;
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  if (result != 0) {
    /* Nothing a failed rewrite was given stays behind. The work done on
     * its tables is undone first, so that their release waits for no lock
     * of this session's own. */
    druorbk(st, &druorepq);
    releaseall(st, vp->rs);
    if (cap > 0) out[0] = 0;
  }
  drzsstate *rs = vp->rs;
  drzsfree(st, &rs);
  return result;
}

int drzsrwc(drsrvstate *st, const char *user, int32_t sid, int32_t curid) {
  runvars v{nullptr, nullptr};
  runvars *const vp = &v;
  volatile int result = 1;
  char scratch[2049];
  rtframe fr;
  RTFRM_TRY(st->msg, fr) {
    vp->rs = drzsnew(st, user, sid, curid, scratch, sizeof scratch, 1, 2);
    if (drzsops.clean(st, vp->rs, 6) != 0) drzgterr(st, 11326);
    result = 0;
  }
  else {
    rtfrmenter(st->msg, &fr);
    if (fr.num != 11326) dracnerr(st, DRFAC_DRG, 11326, 2, 0);
    rtfrmleave(st->msg, &fr);
    result = 1;
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  drzsstate *rs = vp->rs;
  drzsfree(st, &rs);
  return result;
}
