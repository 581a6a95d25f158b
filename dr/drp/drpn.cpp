/* Normalisation of a parsed query: the passes between parsing and
 * evaluation, each rewriting the tree in the parse buffer in place. Nodes
 * are held by number only, because any new node or text may move the
 * buffer. */
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "dr/dras/drengops.h"
#include "dr/dras/drlexops.h"
#include "dr/drp/drpint.h"
#include "dr/drp/drtq.h"
#include "dr/dru/dru.h"

namespace {

/* A theme lexer hands out weighted word parts instead of words. */
constexpr int32_t kThemeLexer = 3;
/* A query word is at most 255 bytes, so its tokens are fewer than this; a
 * lexer that goes on is broken. */
constexpr int kMaxTokens = 1024;
/* The whole tree before the final reduction: the parsed text's own levels
 * plus what re-tokenising, expansion and inlined stored queries add. */
constexpr int32_t kMaxTreeDepth = 4 * DRPN_MAXDEPTH;
/* Blocks of the word-expansion text buffer; its largest item takes any
 * query word. */
constexpr uint32_t kTextBlock = 32000;
constexpr uint32_t kTextItem = DRPA_WORDMAX;
/* An equivalence holds fewer terms than this. */
constexpr int32_t kMaxTerms = 2560;
/* Buffer of the stored query text asked from the engine. */
constexpr uint16_t kSqeText = 2000;

drpanode *nd(drpabuf *b, int32_t n) { return drpanodep(b, n); }
bool leaf(int op) { return (op & DRPOP_LEAFBIT) != 0; }

/* Pushes a severity-1 message without arguments; the query yields nothing. */
int refuse(drsrvstate *srv, int num) {
  dracnerr(srv, DRFAC_DRG, num, 1, 0);
  return 7;
}

/* 7 with 50937 when the tree under node is deeper than limit. */
int deepcheck(drpabuf *b, int32_t node, int32_t limit) {
  if (drpndepth(b, node, limit) > limit) return refuse(b->srv, DRPM_TOOBIG);
  return 0;
}

/* The node's text copied into a word buffer; false for a node without one. */
bool wordof(drpabuf *b, int32_t n, char (&out)[DRPA_WORDMAX]) {
  int32_t t = nd(b, n)->text;
  if (!t) return false;
  std::strncpy(out, drpastrp(b, t), sizeof out - 1);
  out[sizeof out - 1] = 0;
  return true;
}

/* Empties a node of its children and text, keeping the rest. */
void clear(drpabuf *b, int32_t n, int op) {
  drpanode *x = nd(b, n);
  x->op = static_cast<uint8_t>(op);
  x->first = x->last = 0;
  x->nchild = 0;
  x->text = 0;
}

}  // namespace

void drpierr(drsrvstate *srv, int num, int sev, const char *file, int line) {
  dracnierr(srv, DRFAC_DRG, num, sev, DRA_STR, file, DRA_INT, line, 0);
}

int drpiwhy(drsrvstate *srv, int sev, const char *file, int line) {
  if (rtmsgcnt(srv->msg) != 0) return 0;
  drpierr(srv, DRPM_INTERNAL, sev, file, line);
  return 1;
}

void drpnappend(drpabuf *b, int32_t parent, int32_t child) {
  drpanode *p = nd(b, parent);
  if (p->last)
    nd(b, p->last)->next = child;
  else
    p->first = child;
  p->last = child;
  p->nchild++;
  nd(b, child)->next = 0;
}

int drpnchild(drpabuf **bufp, int32_t parent, int op, int level, uint8_t flags, const char *text,
              int32_t *out) {
  int32_t off = 0, n = 0;
  if (text && drpanewstr(&off, text, bufp) != 0) return 1;
  if (drpanewnode(&n, bufp) != 0) return 1;
  drpanode *x = nd(*bufp, n);
  std::memset(x, 0, sizeof *x);
  x->op = static_cast<uint8_t>(op);
  x->level = static_cast<int8_t>(level);
  x->flags = flags;
  x->text = off;
  if (parent) drpnappend(*bufp, parent, n);
  if (out) *out = n;
  return 0;
}

int32_t drpndepth(drpabuf *b, int32_t node, int32_t limit) {
  if (!node) return 0;
  std::vector<std::pair<int32_t, int32_t>> todo{{node, 1}};
  int32_t deepest = 0;
  while (!todo.empty()) {
    auto [n, d] = todo.back();
    todo.pop_back();
    if (d > deepest) {
      deepest = d;
      if (deepest > limit) return deepest;
    }
    drpanode *x = nd(b, n);
    if (leaf(x->op)) continue;
    for (int32_t c = x->first; c; c = nd(b, c)->next) todo.push_back({c, d + 1});
  }
  return deepest;
}

/* ---- the driver ---- */

namespace {

int passes(drtqcmp *c, drpabuf **bufp, uint16_t flags, const char *name) {
  drsrvstate *srv = c->srv;
  if (int rc = deepcheck(*bufp, (*bufp)->root, DRPN_MAXDEPTH)) return rc;
  if (flags & DRTQ_MODS) drpnmods(*bufp, (*bufp)->root, c->modflags);
  if (flags & DRTQ_THES) {
    if (int rc = drppthes(c, bufp)) return rc;
  }
  if (flags & (DRTQ_SQE | DRTQ_SQEREF)) {
    /* The query commands' stored-query pass leaves out the stored query's
     * own re-tokenising and expansion. */
    uint16_t f = flags == 63 ? 51 : flags;
    if (int rc = drpnsqe(c, (*bufp)->root, f, name, bufp)) return rc;
  }
  bool lex = (flags & DRTQ_LEX) && c->lexer;
  bool theme = lex && c->lexer->objid == kThemeLexer;
  if (lex) {
    if (int rc = drpnlex(c, (*bufp)->root, bufp)) return rc;
  }
  if ((flags & DRTQ_WEXP) && c->wordlist) {
    drubbuf *tb = drubnew(srv, srv->cmdhp, kTextItem, nullptr, kTextBlock);
    if (!tb) return 1;
    (*bufp)->arena = tb;
    int rc = drpnwexpand(bufp, c->wordlist);
    if (rc == 7) return refuse(srv, DRPM_TOOBIG);
    if (rc) return rc;
    if (lex) {
      if (int r = drpnlex(c, (*bufp)->root, bufp)) return r;
    }
  }
  if (theme) {
    if (int rc = drpnkor(c, (*bufp)->root, bufp)) return rc;
  }
  if (flags & DRTQ_REDUCE) {
    if (int rc = deepcheck(*bufp, (*bufp)->root, kMaxTreeDepth)) return rc;
    if (int rc = drpnreduce(c, bufp)) return rc;
    if (!(*bufp)->root) return refuse(srv, DRPM_NOTHING);
  }
  return 0;
}

}  // namespace

int drpnnorm(drtqcmp *c, drpabuf **bufp, uint16_t flags, const char *name) {
  int rc = passes(c, bufp, flags, name ? name : "");
  if ((*bufp)->arena) {
    drubfre(static_cast<drubbuf *>((*bufp)->arena));
    (*bufp)->arena = nullptr;
  }
  if (rc != 0 && rc != 7) {
    drpiwhy(c->srv, 2);
    return 1;
  }
  return rc;
}

int drpnprep(drtqcmp *c, drpabuf **bufp, int32_t ignored, uint8_t flags) {
  (void)ignored;
  if (drppnone(bufp) != 0) return 7;
  if (int rc = deepcheck(*bufp, (*bufp)->root, DRPN_MAXDEPTH)) return rc;
  drpnmods(*bufp, (*bufp)->root, flags);
  return 0;
}

/* ---- modifiers ---- */

void drpnmods(drpabuf *b, int32_t n, uint8_t flags) {
  if (!n) return;
  drpanode *x = nd(b, n);
  if (!(x->flags & DRPF_SQUARE)) x->flags = static_cast<uint8_t>(x->flags | (flags & DRPF_MODMASK));
  if (x->op == DRPOP_EXECUTE || leaf(x->op)) return;
  for (int32_t c = x->first; c; c = nd(b, c)->next) drpnmods(b, c, x->flags);
}

/* ---- stored queries ---- */

namespace {

/* Makes child the only child of a stored query's node, which keeps its name. */
void adopt(drpabuf *b, int32_t n, int32_t child) {
  drpanode *x = nd(b, n);
  x->first = x->last = 0;
  x->nchild = 0;
  drpnappend(b, n, child);
}

int sqenode(drtqcmp *c, int32_t n, uint16_t flags, const char *outer, drpabuf **bufp) {
  drsrvstate *srv = c->srv;
  char name[DRPA_WORDMAX];
  if (!wordof(*bufp, n, name)) name[0] = 0;
  drpabuf *b = *bufp;
  for (uint16_t i = 0; i < b->nsqe; ++i) {
    if (std::strcmp(b->sqe[i].name, name) != 0) continue;
    if (b->sqe[i].state == 0) {
      /* It refers to itself, directly or through others. */
      drpierr(srv, DRPM_INTERNAL, 2);
      return 1;
    }
    if (flags != DRTQ_INLINE) return 0;
    int32_t copy = 0;
    if (drpncopy(b->sqe[i].root, &copy, bufp) != 0) return 1;
    adopt(*bufp, n, copy);
    return 0;
  }
  /* The table holds so many names of so many bytes; a query beyond it is
   * too large, never written past it. */
  if (b->nsqe >= DRPA_SQEMAX || std::strlen(name) >= sizeof b->sqe[0].name)
    return refuse(srv, DRPM_TOOBIG);
  uint16_t idx = b->nsqe++;
  std::memcpy(b->sqe[idx].name, name, std::strlen(name) + 1);
  b->sqe[idx].state = 0;
  b->sqe[idx].root = 0;
  if (!c->engine) {
    dracnerr(srv, DRFAC_DRG, 50701, 2, DRA_STR, "stored query expression", 0);
    return 7;
  }
  const drengops *eng = drops<drengops>(c->engine);
  const char *sessid = c->user2 ? c->user2 : "";
  char text[kSqeText] = "";
  if (eng->sqtext(c->engine, name, sessid, text, kSqeText, outer) != 0) return 7;
  text[kSqeText - 1] = 0;
  /* The stored query's own limits are its own: they must not become the
   * query's. */
  int32_t root = b->root, maxdoc = b->maxdoc, first = b->firstdoc, last = b->lastdoc;
  auto restore = [&] {
    drpabuf *nb = *bufp;
    nb->root = root;
    nb->maxdoc = maxdoc;
    nb->firstdoc = first;
    nb->lastdoc = last;
  };
  if (drpmparse(srv, bufp, c->user, text, c->keywords, 0, c->theme) != 0) {
    restore();
    return 1;
  }
  int rc = drpnnorm(c, bufp, flags, name);
  int32_t mine = (*bufp)->root;
  /* The refresh evaluates the parser's root: the stored query's own, so it
   * runs before the outer query's root comes back. */
  if (rc == 0 && (flags & DRTQ_SQEREF) && eng->sqref(c->engine, name, sessid, &c->hd.obj, 0) != 0)
    rc = 1;
  restore();
  if (rc) return rc;
  b = *bufp;
  if (flags == DRTQ_INLINE) {
    adopt(b, n, mine);
    b->sqe[idx].root = mine;
  }
  b->sqe[idx].state = 1;
  return 0;
}

}  // namespace

int drpnsqe(drtqcmp *c, int32_t n, uint16_t flags, const char *name, drpabuf **bufp) {
  if (!n) return 0;
  drpanode *x = nd(*bufp, n);
  if (x->op == DRPOP_SQE) return sqenode(c, n, flags, name, bufp);
  if (leaf(x->op)) return 0;
  for (int32_t ch = x->first; ch; ch = nd(*bufp, ch)->next)
    if (drpnsqe(c, ch, flags, name, bufp) != 0) return 7;
  return 0;
}

/* ---- re-tokenising ---- */

int drpnlex(drtqcmp *c, int32_t n, drpabuf **bufp) {
  if (!n) return 0;
  bool theme = c->lexer->objid == kThemeLexer;
  drpanode *x = nd(*bufp, n);
  if (x->op == DRPOP_WORD && !(x->flags & DRPF_LEXED) && !theme) return drpnword(c, n, bufp);
  if (!leaf(x->op)) {
    for (int32_t ch = x->first; ch; ch = nd(*bufp, ch)->next)
      if (int rc = drpnlex(c, ch, bufp)) return rc;
  }
  if (theme && nd(*bufp, n)->op == DRPOP_PHRASE) return drpnjoin(c, n, bufp);
  return 0;
}

namespace {

/* Hands the text of word node n to the lexer with the flag that lexflag
 * gives for the node's flags, the node emptied into op: 0, 1 when the lexer
 * failed, 2 for a node without text (left as it is). The lexer keeps the
 * text it is given while it hands out tokens, so it gets the caller's copy
 * in word: the buffer may move meanwhile. */
int tolexer(drtqcmp *c, int32_t n, drpabuf **bufp, int op, uint8_t (*lexflag)(uint8_t),
            char (&word)[DRPA_WORDMAX], uint8_t *flags) {
  if (!wordof(*bufp, n, word)) return 2;
  *flags = nd(*bufp, n)->flags;
  clear(*bufp, n, op);
  return drops<drlexops>(c->lexer)->query(c->lexer, word, lexflag(*flags)) != 0 ? 1 : 0;
}

}  // namespace

int drpnword(drtqcmp *c, int32_t n, drpabuf **bufp) {
  drsrvstate *srv = c->srv;
  char word[DRPA_WORDMAX];
  uint8_t flags = 0;
  auto wild = [](uint8_t f) -> uint8_t { return (f & DRPF_WILD) ? 1 : 0; };
  if (int rc = tolexer(c, n, bufp, DRPOP_PHRASE, wild, word, &flags)) return rc == 2 ? 0 : 1;
  const drlexops *lx = drops<drlexops>(c->lexer);
  uint8_t wflags = static_cast<uint8_t>(flags | DRPF_LEXED);
  for (int i = 0; i < kMaxTokens; ++i) {
    drtoken *toks = nullptr;
    int32_t count = 0;
    if (lx->tok(c->lexer, 1, &toks, &count) == 1) return 1;
    if (count <= 0 || !toks || toks[0].type == DRTOK_END) return 0;
    const drtoken &t = toks[0];
    if (t.flag != 0 || t.type == 0) return 1;
    int op;
    switch (t.type) {
      case DRTOK_SENTENCE:
      case DRTOK_PARAGRAPH: continue;
      case DRTOK_WORD:
      case DRTOK_NUMBER:
      case DRTOK_MIXED: op = DRPOP_WORD; break;
      case DRTOK_PIECE: op = DRPOP_NWORD; break;
      case DRTOK_SINGLE: op = DRPOP_WILD1; break;
      case DRTOK_LAST: op = DRPOP_WILD2; break;
      default:
        drpierr(srv, 100, 2);
        continue;
    }
    if (drpnchild(bufp, n, op, 2, wflags, t.text ? t.text : "", nullptr) != 0) return 1;
  }
  return 1;
}

int drpnjoin(drtqcmp *c, int32_t n, drpabuf **bufp) {
  drsrvstate *srv = c->srv;
  char joined[DRPA_WORDMAX];
  size_t len = 0;
  bool wild = false;
  drpabuf *b = *bufp;
  for (int32_t ch = nd(b, n)->first; ch; ch = nd(b, ch)->next) {
    drpanode *x = nd(b, ch);
    if (x->flags & DRPF_WILD) wild = true;
    const char *t = x->text ? drpastrp(b, x->text) : "";
    size_t tl = std::strlen(t);
    /* The joined word must stay a word: a longer phrase is refused, not cut. */
    if (len + (len ? 1 : 0) + tl >= sizeof joined) return refuse(srv, DRPM_TOOBIG);
    if (len) joined[len++] = ' ';
    std::memcpy(joined + len, t, tl);
    len += tl;
  }
  joined[len] = 0;
  int32_t off = 0;
  if (drpaaddstr(&off, joined, bufp) != 0) {
    drpierr(srv, 100, 2);
    return 1;
  }
  clear(*bufp, n, DRPOP_WORD);
  drpanode *x = nd(*bufp, n);
  x->text = off;
  if (wild) x->flags |= DRPF_WILD;
  return 0;
}

namespace {

/* A theme lexer's word: an AND of its word parts, each weighted. */
int kword(drtqcmp *c, int32_t n, drpabuf **bufp) {
  drsrvstate *srv = c->srv;
  char word[DRPA_WORDMAX];
  uint8_t flags = 0;
  /* Parts may be expanded unless the word says otherwise. */
  auto expand = [](uint8_t f) -> uint8_t { return (f & DRPF_THEME) ? 0 : 1; };
  if (int rc = tolexer(c, n, bufp, DRPOP_AND, expand, word, &flags)) return rc == 2 ? 0 : 1;
  nd(*bufp, n)->level = 1;
  const drlexops *lx = drops<drlexops>(c->lexer);
  drtoken *toks = nullptr;
  int32_t count = 0;
  if (lx->tok(c->lexer, 0, &toks, &count) == 1) return 1;
  for (int32_t i = 0; toks && i < count; ++i) {
    const drtoken &t = toks[i];
    if (t.type == DRTOK_END) break;
    if (t.flag != 0) return 1;
    if (t.type != DRTOK_PART || t.offset == 0) {
      drpierr(srv, 100, 2);
      return 1;
    }
    int32_t w = 0;
    if (drpnchild(bufp, n, DRPOP_WEIGHT, 1, flags, nullptr, &w) != 0) return 1;
    nd(*bufp, w)->value = static_cast<int32_t>(t.weight * 1000.0 / t.offset);
    if (drpnchild(bufp, w, DRPOP_WORD, 2, 0, t.text ? t.text : "", nullptr) != 0) return 1;
  }
  return 0;
}

}  // namespace

int drpnkor(drtqcmp *c, int32_t n, drpabuf **bufp) {
  if (!n) return 0;
  drpanode *x = nd(*bufp, n);
  if (x->op == DRPOP_WORD) return kword(c, n, bufp);
  if (x->op == DRPOP_SQE || leaf(x->op)) return 0;
  for (int32_t ch = x->first; ch; ch = nd(*bufp, ch)->next)
    if (drpnkor(c, ch, bufp) != 0) return 1;
  return 0;
}

/* ---- copies ---- */

int drpncopy(int32_t node, int32_t *out, drpabuf **bufp) {
  int32_t n = 0;
  if (drpanewnode(&n, bufp) != 0) {
    drpierr((*bufp)->srv, DRPM_INTERNAL, 2);
    return 1;
  }
  drpanode *dst = nd(*bufp, n);
  *dst = *nd(*bufp, node);
  dst->first = dst->last = dst->next = 0;
  dst->nchild = 0;
  for (int32_t ch = nd(*bufp, node)->first; ch; ch = nd(*bufp, ch)->next) {
    int32_t cc = 0;
    if (drpncopy(ch, &cc, bufp) != 0) return 1;
    drpnappend(*bufp, n, cc);
  }
  *out = n;
  return 0;
}

/* ---- the final reduction ---- */

namespace {

bool andnot(int op) { return op == DRPOP_MINUS || op == DRPOP_NOT; }

/* The message for an operand its operator does not take, or 0. */
int badoperand(const drpanode *parent, const drpanode *child) {
  switch (parent->op) {
    case DRPOP_NEAR: return child->level == 2 ? 0 : DRPM_NEARARG;
    case DRPOP_PHRASE:
      return child->level == 2 && child->op != DRPOP_NEAR ? 0 : DRPM_PHRASEARG;
    case DRPOP_EQUIV:
      return child->level == 2 && child->op != DRPOP_NEAR && child->op != DRPOP_PHRASE
                 ? 0
                 : DRPM_EQUIVARG;
    default: return 0;
  }
}

/* Reduces node n; *out is the node that stands in its place afterwards (0:
 * removed). a: 0 at the top, 1 under FIRST_DOC, 2 where neither MAX_DOC nor
 * FIRST_DOC may stand. */
int reduce(drpabuf **bufp, int32_t n, int a, int32_t *out) {
  drsrvstate *srv = (*bufp)->srv;
  *out = n;
  for (;;) {
    drpanode *x = nd(*bufp, n);
    if (x->op == DRPOP_FIRSTDOC) {
      if (a != 0) return refuse(srv, DRPM_NOTHING);
      (*bufp)->firstdoc = x->value;
      (*bufp)->lastdoc = x->value2;
      a = 1;
    } else if (x->op == DRPOP_MAXDOC) {
      if (a == 2) return refuse(srv, DRPM_NOTHING);
      (*bufp)->maxdoc = x->value;
      a = 2;
    } else {
      break;
    }
    n = *out = x->first;
    if (!n) return 0;
  }
  drpanode *x = nd(*bufp, n);
  int ca = (x->op == DRPOP_EXECUTE || x->op == DRPOP_SHARED || x->op == DRPOP_SQE) ? a : 2;
  if (x->flags & DRPF_DONE) {
    if (x->op != DRPOP_SHARED) return 0;
    if (!x->first) *out = 0;
    else if (x->value2 < 2) *out = x->first;
    else return drpncopy(x->first, out, bufp);
    return 0;
  }
  x->flags |= DRPF_DONE;
  if (leaf(x->op) || (x->op == DRPOP_SQE && !x->first)) return 0;

  int32_t prev = 0;
  int32_t ch = x->first;
  while (ch) {
    x = nd(*bufp, n);
    drpanode *c = nd(*bufp, ch);
    if (x->op == DRPOP_PHRASE && prev) {
      drpanode *p = nd(*bufp, prev);
      if (c->op == DRPOP_WORD && (p->op == DRPOP_WILD1 || p->op == DRPOP_WILD2)) p->op = DRPOP_WORD;
      if (c->op == DRPOP_WILD2 && !c->next) {
        p->next = 0;
        x->last = prev;
        x->nchild--;
        break;
      }
    }
    if (!leaf(c->op)) {
      if (x->op == DRPOP_EQUIV && c->op == DRPOP_PHRASE && (c->flags & DRPF_DONE))
        c->op = DRPOP_EQUIV;
      if (c->op == x->op && x->nchild > 1 && c->first && !(andnot(x->op) && ch != x->first)) {
        int32_t total = x->nchild - 1 + c->nchild;
        if (x->op == DRPOP_EQUIV && total >= kMaxTerms) return refuse(srv, DRPM_TOOBIG);
        int32_t cfirst = c->first;
        nd(*bufp, c->last)->next = c->next;
        if (prev)
          nd(*bufp, prev)->next = cfirst;
        else
          x->first = cfirst;
        if (x->last == ch) x->last = c->last;
        x->nchild = static_cast<uint16_t>(total);
        ch = cfirst;
        continue;
      }
      int32_t rep = 0;
      if (int rc = reduce(bufp, ch, ca, &rep)) return rc;
      x = nd(*bufp, n);
      if (!rep) {
        if (andnot(x->op) && ch == x->first) {
          /* Nothing to subtract from: nothing is left. */
          x->first = x->last = 0;
          x->nchild = 0;
          break;
        }
        int32_t nx = nd(*bufp, ch)->next;
        if (prev)
          nd(*bufp, prev)->next = nx;
        else
          x->first = nx;
        if (x->last == ch) x->last = prev;
        x->nchild--;
        ch = nx;
        continue;
      }
      if (rep != ch) {
        nd(*bufp, rep)->next = nd(*bufp, ch)->next;
        if (prev)
          nd(*bufp, prev)->next = rep;
        else
          x->first = rep;
        if (x->last == ch) x->last = rep;
        ch = rep;
        continue;
      }
    }
    c = nd(*bufp, ch);
    if (int msg = badoperand(nd(*bufp, n), c)) return refuse(srv, msg);
    prev = ch;
    ch = c->next;
  }

  x = nd(*bufp, n);
  if (!x->first) {
    *out = 0;
    return 0;
  }
  if (x->nchild == 1) {
    int32_t only = x->first;
    drpanode *c = nd(*bufp, only);
    switch (x->op) {
      case DRPOP_SHARED:
        x->value2--;
        return drpncopy(only, out, bufp);
      case DRPOP_WEIGHT:
        if (c->op == DRPOP_WEIGHT) {
          /* In whole thousandths, so that 0.29 and 1.5 give 435 exactly. */
          c->value = static_cast<int32_t>(static_cast<int64_t>(c->value) * x->value / 1000);
          *out = only;
        }
        return 0;
      case DRPOP_THRESHOLD:
        if (c->op == DRPOP_THRESHOLD) {
          if (x->value > c->value) c->value = x->value;
          *out = only;
        }
        return 0;
      default:
        *out = only;
        return 0;
    }
  }
  if (x->op == DRPOP_EQUIV && x->nchild >= kMaxTerms) return refuse(srv, DRPM_TOOBIG);
  return 0;
}

}  // namespace

int drpnreduce(drtqcmp *c, drpabuf **bufp) {
  (void)c;
  int32_t root = (*bufp)->root;
  if (!root) return 0;
  int32_t out = 0;
  if (int rc = reduce(bufp, root, 0, &out)) return rc;
  (*bufp)->root = out;
  return 0;
}
