// The query command handlers: the query driver behind contains, count_hits,
// estimate_hits, contains_fetch and sorted_fetch, check_query, highlight,
// clear_result and the installation of a user's callback. Each finds the
// policy, makes sure its components exist, builds the objects of the
// command (query parser, class-15 object, writers) and destroys them again
// before it returns, whatever happened.
#include <cstdio>
#include <cstring>
#include <string>

#include "dr/drd/drd.h"
#include "dr/drp/drtq.h"
#include "dr/drr/drr.h"
#include "dr/drt/drt.h"
#include "dr/dru/drue.h"
#include "dr/drz/drz.h"

namespace {

// Messages of the handlers.
enum {
  DRT_ETOOLONG = 10012,  // a text longer than its field
  DRT_EMODE = 10013,     // an unknown query mode
  DRT_ERESTYPE = 10015   // an unknown result type
};

// The longest user name and session text the current query fields hold.
constexpr size_t kUserMax = sizeof(drsrvstate::quser) - 1;
constexpr size_t kSessMax = sizeof(drsrvstate::qsess) - 1;

drobj *comp(drdmpol *p, int32_t clsid) { return p->comp[clsid - 1].obj; }

int fail(int msg, drsrvstate *s, const char *what, int32_t n) {
  dracnerr(s, DRFAC_DRG, msg, 2, DRA_STR, what, DRA_SB4, &n, 0);
  druetrc();
  return 1;
}

// A table argument that names no table: the caller wrote "NULL" (or
// nothing).
bool none(const char *t) { return !t || !*t || std::strcmp(t, "NULL") == 0; }

// The policy with its six components built; null after the failing step
// pushed why.
drdmpol *ready(drsrvstate *s, int32_t polid) {
  if (drcmdobj(s, polid) != 0) {
    druetrc();
    return nullptr;
  }
  return drqpol(s, polid);
}

// The number of key columns of a policy: one more than its commas.
int32_t keycount(const drdmpol *p) {
  int32_t n = 1;
  for (const char *c = p->keycols; *c; ++c) n += *c == ',';
  return n;
}

// The objects a query command builds and always destroys.
struct Objs {
  drsrvstate *s;
  drobj *aux = nullptr;
  drobj *qp = nullptr;
  drobj *wr = nullptr;        // result writer
  drobj *hl[2] = {};          // highlight writers: table, in memory
  drobj *filter = nullptr;    // set when the filter is in highlight mode
  explicit Objs(drsrvstate *st) : s(st) {}
  ~Objs() {
    if (wr) drops<drrwrops>(wr)->destroy(wr);
    for (drobj *h : hl)
      if (h) drops<drrhlops>(h)->finish(h);
    if (qp) drops<drtqops>(qp)->free(qp);
    if (aux) drops<drucaops>(aux)->free(aux);
    // Highlighting ends on every way out, so that the next command that
    // reads through the filter indexes rather than highlights.
    if (filter) drops<drfilops>(filter)->setmode(filter, 0);
  }
};

// Builds the query parser set up with flags and parses the query; 0 / 1.
int parse(drsrvstate *s, drdmpol *p, Objs &o, uint16_t flags, const char *user, const char *sess,
          const char *query, bool full) {
  drobj *lex = comp(p, DRCLS_LEXER);
  drobj *wl = full ? comp(p, DRCLS_WORDLIST) : nullptr;
  if (drops<drlexops>(lex)->mode(lex, 2) != 0) return 1;
  if (full) {
    o.aux = drucanew(s, s->seshp, DRTQ_KIND);
    if (!o.aux || drops<drwlops>(wl)->open(wl, 0, 0) != 0) return 1;
  }
  o.qp = drtqnew(s, DRTQ_KIND);
  if (!o.qp) return 1;
  const drtqops *q = drops<drtqops>(o.qp);
  if (q->setup(o.qp, flags, user, sess, wl, o.aux, lex, full ? comp(p, DRCLS_STOPLIST) : nullptr,
               comp(p, DRCLS_ENGINE), 0) != 0 ||
      q->parse(o.qp, query) != 0)
    return 1;
  return 0;
}

// Checks that the user holds each right on a table a message names; 0 / 1.
// With fence, a table the result-table manager did not hand out sets it to
// 1 (written as the user), else the table may carry no code of its own.
int rights(drsrvstate *s, const char *user, const char *table, std::initializer_list<const char *> need,
           int *fence = nullptr) {
  for (const char *r : need)
    if (drrtprv(s, user, table, r, fence) != 0) return 1;
  return 0;
}

// Splits a markup text at its commas into at most three parts of at most
// 2000 bytes (a backslash takes the next character as it is); a part the
// text lacks stays null.
struct Markup {
  std::string part[3];
  bool has[3] = {};
};
Markup splitmarkup(const char *text) {
  Markup m;
  if (none(text)) return m;
  int k = 0;
  m.has[0] = true;
  for (const char *c = text; *c; ++c) {
    if (*c == ',') {
      if (++k == 3) break;
      m.has[k] = true;
      continue;
    }
    if (*c == '\\' && c[1]) ++c;
    if (m.part[k].size() < 2000) m.part[k] += *c;
  }
  return m;
}

// Sends a document through a writer of table t: what read hands out in
// pieces of 2000 bytes between two rewinds; 0 / 1.
template <class Read, class Rewind>
int copydoc(drsrvstate *s, const char *t, int32_t id, Read read, Rewind rewind) {
  drobj *w = drrdnew(s, s->cmdhp, 0);
  if (!w) return 1;
  const drrdocops *o = drops<drrdocops>(w);
  int rc = o->open(w, t, id) != 0 || rewind() != 0;
  char buf[2000];
  while (rc == 0) {
    int32_t got = 0;
    int r = read(buf, &got);
    if (r == 2 || (r == 0 && got <= 0)) break;
    if (r != 0 || o->append(w, buf, static_cast<uint32_t>(got)) != 0) rc = 1;
  }
  if (rc == 0 && rewind() != 0) rc = 1;
  if (o->finish(w) != 0) rc = 1;
  return rc;
}

// The lexer of a theme policy cannot highlight; 0 / 1.
int nottheme(drsrvstate *s, drobj *lex) {
  if (lex->objid != 3) return 0;
  dracnprt(s, s->log, "Highlighting not supported with Theme Policy\n", 0);
  dracnerr(s, DRFAC_DRG, 50701, 2, DRA_STR, "highlighting with a theme lexer", 0);
  druetrc();
  return 1;
}

}  // namespace

int drcmdqry(drsrvstate *s, const char *user, const char *sess, int32_t polid, const char *query,
             const void *target, int32_t n1, int32_t n2, int32_t n3, int32_t mode, uint8_t bynum,
             uint32_t floor, uint32_t ceil, const char *sq) {
  if (ceil == 0) ceil = UINT32_MAX;
  user = user ? user : "";
  sess = sess ? sess : "";
  if (std::strlen(user) > kUserMax) return fail(DRT_ETOOLONG, s, "the user name", kUserMax);
  if (std::strlen(sess) > kSessMax) return fail(DRT_ETOOLONG, s, "the session text", kSessMax);
  std::memcpy(s->quser, user, std::strlen(user) + 1);
  std::memcpy(s->qsess, sess, std::strlen(sess) + 1);
  if (mode < 0 || mode > 3) return fail(DRT_EMODE, s, "", mode);
  drdmpol *p = ready(s, polid);
  if (!p) return 1;
  // A structured query restricts the hits to the keys of the rows it
  // selects, through a view of them that lives for this command only; the
  // user must be able to read the table himself.
  char view[64] = "";
  if (!none(sq)) {
    std::string tab = std::string(p->owner) + "." + p->table;
    if (rights(s, user, tab.c_str(), {"SELECT"}) != 0 ||
        drzsvw(s, sess, user, p->owner, p->table, p->keycols, sq, view) != 0) {
      druetrc();
      return 1;
    }
  }
  int fence = 0;
  if (mode == 0) {
    // The result table comes from the message: it is cleared and written
    // only for a user who may do so himself, and, unless the result-table
    // manager handed it out, with his rights.
    const char *t = static_cast<const char *>(target);
    const char *clear = n1 == 0 ? "TRUNCATE" : n1 == 1 || n1 == 2 ? "DELETE" : nullptr;
    if (rights(s, user, t, {"INSERT"}, &fence) != 0 || (clear && rights(s, user, t, {clear}, &fence) != 0))
      return 1;
  }
  Objs o(s);
  if (parse(s, p, o, DRTQ_QUERY, user, sess, query, true) != 0) {
    druetrc();
    return 1;
  }
  drobj *(*const makers[])(drsrvstate *, drheap) = {drrcnew, drrnnew, drrpnew, drrsnew};
  o.wr = makers[mode](s, s->seshp);
  if (o.wr && fence) drrcusr(o.wr, user);
  if (!o.wr || drops<drrwrops>(o.wr)->open(o.wr, target, n1, n2, n3, keycount(p)) != 0) {
    druetrc();
    return 1;
  }
  const drtqops *q = drops<drtqops>(o.qp);
  drobj *e = comp(p, DRCLS_ENGINE);
  int rc = drops<drengops>(e)->qry(e, o.qp, o.wr, comp(p, DRCLS_STOPLIST), bynum, floor, ceil,
                                   view[0] ? view : nullptr, q->maxdoc(o.qp), q->first(o.qp),
                                   q->last(o.qp));
  // On a failure the command's roll-back takes the view back with the rest.
  if (rc == 0 && view[0] && drzsvwd(s, view) != 0) rc = 1;
  if (rc != 0) druetrc();
  return rc;
}

int drcmdchk(drsrvstate *s, const char *user, const char *sess, int32_t polid, const char *query) {
  drdmpol *p = ready(s, polid);
  if (!p) return 1;
  Objs o(s);
  if (parse(s, p, o, 63, user ? user : "", sess, query, false) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drcmdsqe(drsrvstate *s, const char *user, int32_t cmd, int32_t polid, const char *sess,
             const char *name, const char *query, int32_t scope) {
  user = user ? user : "";
  sess = sess ? sess : "";
  name = name ? name : "";
  if (std::strlen(user) > kUserMax) return fail(DRT_ETOOLONG, s, "the user name", kUserMax);
  if (std::strlen(sess) > kSessMax) return fail(DRT_ETOOLONG, s, "the session text", kSessMax);
  // The stored queries a definition names are this session's.
  std::memcpy(s->quser, user, std::strlen(user) + 1);
  std::memcpy(s->qsess, sess, std::strlen(sess) + 1);
  drdmpol *p = ready(s, polid);
  if (!p) return 1;
  drobj *e = comp(p, DRCLS_ENGINE);
  const drengops *eo = drops<drengops>(e);
  char text[2048];
  if (cmd == 2) {
    if (eo->sqtext(e, name, sess, text, sizeof text, "") != 0) {
      druetrc();
      return 1;
    }
    query = text;
  }
  Objs o(s);
  if ((cmd == 0 || cmd == 2) && parse(s, p, o, DRTQ_QUERY, user, sess, query ? query : "", true) != 0) {
    druetrc();
    return 1;
  }
  int rc = 0;
  switch (cmd) {
    case 0: rc = eo->sqsave(e, name, sess, query ? query : "", o.qp, scope); break;
    case 1: rc = eo->sqdel(e, name, sess, scope); break;
    case 2: rc = eo->sqref(e, name, sess, o.qp, 1); break;
    case 3: rc = eo->sqpurge(e, sess); break;
    default: break;
  }
  if (rc != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drcmdbnk(drsrvstate *, const char *, const char *, const char *) { return 0; }
int drcmdwas(drsrvstate *, int32_t, int32_t, const char *, int32_t, int32_t *) { return 0; }
int drcmdvop(drsrvstate *, int32_t) { return 0; }

int drcmdtdoc(drsrvstate *, int32_t count, int32_t *lens, char *buf) {
  for (int32_t i = 0; i < count; ++i) {
    int n = std::sprintf(buf, "This is the text of document %d\n", static_cast<int>(i));
    lens[i] = n;
    buf += n;
  }
  return 0;
}

int drcmdhlt(drsrvstate *s, const char *user, int32_t polid, const char *query, const char *key,
             int32_t id, const char *uftab, const char *ftab, const char *hltab, const char *icftab,
             const char *mutab, const char *markup) {
  user = user ? user : "";
  drdmpol *p = ready(s, polid);
  if (!p) return 1;
  // Every table the message names is written only for a user who may.
  for (const char *t : {uftab, ftab, hltab, icftab, mutab})
    if (!none(t) && rights(s, user, t, {"INSERT"}) != 0) return 1;
  drobj *ds = comp(p, DRCLS_DATASTORE), *fil = comp(p, DRCLS_FILTER), *lex = comp(p, DRCLS_LEXER);
  drobj *wl = comp(p, DRCLS_WORDLIST), *e = comp(p, DRCLS_ENGINE);
  const drfilops *fo = drops<drfilops>(fil);
  const drlexops *lo = drops<drlexops>(lex);
  char keys[1][DRDS_KEYSIZE];
  if (!key || std::strlen(key) >= DRDS_KEYSIZE) {
    dracnerr(s, DRFAC_DRG, 10720, 2, DRA_STR, p->table, DRA_INT, DRDS_KEYSIZE - 1, 0);
    druetrc();
    return 1;
  }
  std::memcpy(keys[0], key, std::strlen(key) + 1);
  Objs o(s);
  if (drops<drdsops>(ds)->key(ds, keys, 1) != 0 || fo->setmode(fil, 2) != 0) {
    druetrc();
    return 1;
  }
  o.filter = fil;
  o.aux = drucanew(s, s->seshp, DRTQ_KIND);
  if (lo->mode(lex, 1) != 0 || !o.aux || drops<drwlops>(wl)->open(wl, 0, 0) != 0) {
    druetrc();
    return 1;
  }
  int32_t op = 0;
  char *k = nullptr;
  int rc = lo->next(lex, &op, &k);
  if (rc == 2) {
    dracnerr(s, DRFAC_DRG, 10826, 2, DRA_INT, static_cast<int>(polid), 0);
    druetrc();
    return 1;
  }
  if (rc != 0) {
    druetrc();
    return 1;
  }
  const drdsops *dso = drops<drdsops>(ds);
  if (!none(uftab) &&
      copydoc(s, uftab, id, [&](char *b, int32_t *got) { return dso->read(ds, b, 2000, got); },
              [&] { return dso->seek(ds, 0, 0); }) != 0) {
    druetrc();
    return 1;
  }
  if (!none(ftab) &&
      copydoc(s, ftab, id, [&](char *b, int32_t *got) { return fo->read(fil, b, 2000, got); },
              [&] { return fo->seek(fil, 0, 0); }) != 0) {
    druetrc();
    return 1;
  }
  if (!none(query)) {
    Markup m = splitmarkup(markup);
    if (parse(s, p, o, DRTQ_INLINE, user, m.has[0] ? m.part[0].c_str() : nullptr, query, true) != 0 ||
        lo->mode(lex, 1) != 0) {
      druetrc();
      return 1;
    }
    const drengops *eo = drops<drengops>(e);
    drobj *sl = comp(p, DRCLS_STOPLIST);
    // Highlights the document into writer i, made by make and opened on t;
    // true when that failed.
    auto hlinto = [&](int i, drobj *(*make)(drsrvstate *, drheap), const char *t) {
      return nottheme(s, lex) != 0 || !(o.hl[i] = make(s, s->cmdhp)) ||
             drops<drrhlops>(o.hl[i])->open(o.hl[i], t, id) != 0 ||
             eo->hlite(e, lex, wl, o.qp, sl, key, o.hl[i], polid) != 0;
    };
    if (!none(hltab)) {
      // A highlight that fails is the command's failure: no table is left
      // half written behind a success.
      if (hlinto(0, drrhnew, hltab)) {
        druetrc();
        return 1;
      }
      drobj *h = o.hl[0];
      o.hl[0] = nullptr;
      if (drops<drrhlops>(h)->finish(h) != 0 || fo->seek(fil, 0, 0) != 0) {
        druetrc();
        return 1;
      }
    }
    if (!none(mutab)) {
      if (hlinto(1, drrhinew, nullptr)) {
        druetrc();
        return 1;
      }
      auto *mem = reinterpret_cast<drrhmem *>(o.hl[1]);
      drobj *w = drrdnew(s, s->cmdhp, 0);
      if (!w) {
        druetrc();
        return 1;
      }
      rc = drops<drrdocops>(w)->open(w, mutab, id) != 0 ||
           fo->mark(fil, mem->offs, mem->lens, mem->strs, static_cast<int32_t>(mem->count),
                    m.has[1] ? m.part[1].c_str() : nullptr, m.has[2] ? m.part[2].c_str() : nullptr,
                    w) != 0;
      if (drops<drrdocops>(w)->finish(w) != 0) rc = 1;
      if (rc != 0) {
        druetrc();
        return 1;
      }
    }
  }
  if (!none(icftab)) {
    drobj *w = drrdnew(s, s->cmdhp, 0);
    if (!w) {
      druetrc();
      return 1;
    }
    rc = drops<drrdocops>(w)->open(w, icftab, id) != 0 || fo->icf(fil, w) != 0;
    if (drops<drrdocops>(w)->finish(w) != 0) rc = 1;
    if (rc != 0) {
      druetrc();
      return 1;
    }
  }
  return 0;
}

int drcmdclr(drsrvstate *s, const char *user, const char *restab, const char *srctab,
             int32_t restype, int32_t shr, int32_t conid, int32_t curid, int32_t nkeys) {
  user = user ? user : "";
  if (restype != 1) return fail(DRT_ERESTYPE, s, "", restype);
  // With a source table the key count names the columns copied.
  if (!none(srctab) && (nkeys < 1 || nkeys > DRR_MAXKEYS)) {
    dracnerr(s, DRFAC_DRG, DRR_EKEYCNT, 2, DRA_SB4, &nkeys, 0);
    druetrc();
    return 1;
  }
  const char *clear = shr == 0 ? "TRUNCATE" : shr == 1 || shr == 2 ? "DELETE" : nullptr;
  if (clear && rights(s, user, restab, {clear}) != 0) return 1;
  // Everything that can refuse the copy is asked before the table is
  // cleared, so that a refused command leaves the user's rows as they were.
  if (!none(srctab)) {
    // The user's name goes into the statement: a plain name only.
    if (!druoidn(user, 1)) {
      dracnerr(s, DRFAC_DRG, 11415, 2, DRA_STR, "callback", DRA_STR, user, 0);
      druetrc();
      return 1;
    }
    if (rights(s, user, restab, {"INSERT"}) != 0 || rights(s, user, srctab, {"SELECT"}) != 0) return 1;
    // The callback is called with the server's rights until it takes the
    // user's role: it is called only once the database side has found it to
    // be the installer's own, in a schema no one else can add to.
    if (drcmdcbk(s, user) != 0) return 1;
  }
  Objs o(s);
  o.wr = drrcnew(s, s->seshp);
  if (!o.wr || drops<drrwrops>(o.wr)->open(o.wr, restab, shr, conid, curid, nkeys) != 0) {
    druetrc();
    return 1;
  }
  if (none(srctab)) return 0;
  std::string cols = "TEXTKEY";
  for (int32_t k = 2; k <= nkeys; ++k) cols += ",TEXTKEY" + std::to_string(k);
  std::string nulls;
  for (int k = 2; k <= 10; ++k) nulls += ", NULL, 0";
  std::string fmt = "CALL %(1)s.dr$callback('INSERT INTO '||:res||'(%(2)s,SCORE,CONID) SELECT "
                    "%(2)s,SCORE,:a1 FROM '||:src, CAST(:id AS varchar(30)), 30" + nulls + ")";
  // The callback's schema is named exactly like the user: "Alice" is not alice.
  char quser[2 * sizeof s->quser + 3];
  char sql[2000];
  if (druoquo(quser, sizeof quser, user, '"') != 0 ||
      drasmfmt(s->fmt, sql, sizeof sql, fmt.c_str(), DRA_STR, quser, DRA_STR, cols.c_str(), DRA_END) < 0) {
    dracnierr(s, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    return 1;
  }
  std::string res = restab, src = srctab;
  int rc = 0;
  for (int tries = 0; tries < 2; ++tries) {
    druocur cur{};
    // A missing callback is not reported: it is installed and the copy made
    // again, so a command that then succeeds leaves nothing on the stack.
    rc = druoprp(s, &cur, DRUO_WORK, sql, &druorepq);
    if (rc == 0) {
      rc = druobnd(s, &cur, ":res", res.data(), static_cast<int32_t>(res.size() + 1), DRUO_STRING,
                   nullptr, nullptr, &druorepq);
      if (rc == 0)
        rc = druobnd(s, &cur, ":src", src.data(), static_cast<int32_t>(src.size() + 1), DRUO_STRING,
                     nullptr, nullptr, &druorepq);
      if (rc == 0) rc = druobnd(s, &cur, ":id", &conid, 4, DRUO_INTEGER, nullptr, nullptr, &druorepq);
      if (rc == 0) rc = druoexe(s, &cur, &druorepq);
      druocls(&cur);
    }
    if (rc == DRUO_NOPROC && tries == 0) {
      drcmdcbk(s, user);
      drueclr(s);
      continue;
    }
    if (rc != 0) {
      druoerr(s, rc, 0, 2);
      druorbk(s, &druorepq);
      return 1;
    }
    break;
  }
  if (druocmt(s) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drcmdcbk(drsrvstate *s, const char *user) {
  user = user ? user : "";
  if (!druoidn(user, 1)) {
    dracnerr(s, DRFAC_DRG, 11415, 2, DRA_STR, "callback", DRA_STR, user, 0);
    druetrc();
    return 1;
  }
  // Reads the catalogue, and installs the callback only when it is missing.
  static const druorep kRep = {0, 0, 0, 0, 0, 0, -1, 2, 2};
  druocur cur{};
  std::string u = user;
  int rc = druoprp(s, &cur, DRUO_WORK, "CALL dr_utl.ensure_callback(:usrnam)", &kRep);
  if (rc == 0) {
    rc = druobnd(s, &cur, ":usrnam", u.data(), static_cast<int32_t>(u.size() + 1), DRUO_STRING,
                 nullptr, nullptr, &kRep);
    if (rc == 0) rc = druoexe(s, &cur, &kRep);
    druocls(&cur);
  }
  if (rc != 0) {
    druetrc();
    return 1;
  }
  return 0;
}
