// The test engine: each slot logs its name and the engine's head; populate
// prints the lexer's documents and tokens, query feeds made-up hits to the
// writer. Stored queries and highlighting are refused without a message.
#include "dr/drea/drea.h"

#include <cstdio>
#include <cstring>

#include "dr/dras/dras.h"
#include "dr/dras/drtoken.h"

namespace {

dreaobj *ea(drobj *o) { return reinterpret_cast<dreaobj *>(o); }

// The two lines every logging slot starts with; the second ends with a
// blank line unless short is set. 0 / 1.
int head(drobj *o, const char *slot, bool shortline = false) {
  dreaobj *e = ea(o);
  int32_t cls = o->clsid, obj = o->objid;
  if (dracnprt(e->st, e->st->log, "TEST ENGINE: %(1)s \n", DRA_STR, slot, 0) != 0) return 1;
  return dracnprt(e->st, e->st->log,
                  shortline ? "class = %(1)s, obj = %(2)s, name = %(3)s \n"
                            : "class = %(1)s, obj = %(2)s, name = %(3)s \n\n",
                  DRA_SB4, &cls, DRA_SB4, &obj, DRA_STR, o->name, 0);
}

int dreabnd(drobj *o, int32_t polid, int32_t prefid, drobj *) {
  dreaobj *e = ea(o);
  head(o, "dreabnd", true);
  e->polid = polid;
  e->prefid = prefid;
  dracnprt(e->st, e->st->log, "cid = %(1)s, prfid = %(2)s  \n\n", DRA_SB4, &e->polid, DRA_SB4,
           &e->prefid, 0);
  return 0;
}

int dreabegx(drobj *o, int32_t, int32_t, char) {
  head(o, "dreabegx");
  return 0;
}
int dreaendx(drobj *o, int32_t, char) {
  head(o, "dreaendx");
  return 0;
}
int dreadrpx(drobj *o, int32_t) {
  head(o, "dreadrpx");
  return 0;
}
int dreatrnx(drobj *o) {
  head(o, "dreatrnx");
  return 0;
}
int dreabnox(drobj *o, int32_t, int32_t) {
  head(o, "dreabnox");
  return 0;
}
int dreaoptx(drobj *o, int32_t, int32_t, int32_t, int32_t) {
  head(o, "dreaoptx");
  return 0;
}
int dreaenox(drobj *o, int32_t) {
  head(o, "dreaenox");
  return 0;
}

// Logs a failed lexer call with its result code and hands the code back.
int lexfail(dreaobj *e, const char *line, int rc) {
  int32_t code = rc;
  dracnprt(e->st, e->st->log, line, DRA_SB4, &code, 0);
  return rc;
}

int dreapopx(drobj *o, drobj *lex, drobj *, drobj *, int32_t, int32_t, char) {
  dreaobj *e = ea(o);
  drsrvstate *st = e->st;
  const drlexops *lx = drops<drlexops>(lex);
  static const char kFetch[] = "\n\n *** DREA: FETCH ERROR rc = %(1)s\n\n";
  head(o, "dreapopx");
  int32_t count = 0;
  int rc = lx->count(lex, &count);
  if (rc != 0) return lexfail(e, kFetch, rc);
  dracnprt(st, st->log, "Precount = %(1)d\n", DRA_SB4, &count, 0);
  char keybuf[257] = "";
  char *key = keybuf;
  int32_t op = 0;
  rc = lx->next(lex, &op, &key);
  if (rc == 1) return lexfail(e, kFetch, rc);
  while (rc == 0 && op != 4) {
    dracnprt(st, st->log, "\nFETCH : key = %(1)s, op = %(2)s \n", DRA_STR, key ? key : "",
             DRA_SB4, &op, 0);
    // A bad first token keeps an empty label, not an earlier document's.
    char label[60] = "";
    for (bool end = false; !end;) {
      drtoken *toks = nullptr;
      int32_t n = 0;
      int trc = lx->tok(lex, 0, &toks, &n);
      if (trc == 1) return lexfail(e, "\n\n *** DREA: TOKEN ERROR  rc = %(1)s\n\n", trc);
      if (trc == 2 && n == 0) break;
      for (int32_t k = 0; k < n; ++k) {
        const drtoken &t = toks[k];
        int32_t type = t.type;
        switch (t.type) {
          case 0: std::snprintf(label, sizeof label, "_NULL"); break;
          case DRTOK_WORD:
          case DRTOK_NUMBER:
          case DRTOK_MIXED:
            std::snprintf(label, sizeof label, "%.*s", static_cast<int>(t.length),
                          t.text ? t.text : "");
            break;
          case DRTOK_SENTENCE: std::snprintf(label, sizeof label, "_EOS"); break;
          case DRTOK_PARAGRAPH: std::snprintf(label, sizeof label, "_EOP"); break;
          case DRTOK_END: std::snprintf(label, sizeof label, "_EOD"); break;
          default:
            dracnprt(st, st->log, "   %(1)s : BAD TOKEN TYPE %(2)s \n", DRA_STR, "dreapopx",
                     DRA_SB4, &type, 0);
            break;
        }
        int32_t len = t.length, reserved = t.flag, offset = t.offset;
        dracnprt(st, st->log, "%(1)-20s : %(2)02s %(3)02s %(4)02s %(5)05s\n", DRA_STR, label,
                 DRA_SB4, &type, DRA_SB4, &len, DRA_SB4, &reserved, DRA_SB4, &offset, 0);
        if (t.type == DRTOK_END) end = true;
      }
    }
    dracnprt(st, st->log, "\nEND OF FETCH\n", 0);
    std::memset(keybuf, 0, sizeof keybuf);
    key = keybuf;
    rc = lx->next(lex, &op, &key);
    if (rc == 1) return lexfail(e, kFetch, rc);
  }
  dracnprt(st, st->log, "\nEND OF ROWS\n\n", 0);
  return 0;
}

int dreaqry(drobj *o, drobj *, drobj *w, drobj *, uint8_t bynum, uint32_t, uint32_t,
            const char *, int32_t, int32_t, int32_t) {
  dreaobj *e = ea(o);
  if (head(o, "dreaqry") != 0) return 1;
  enum { kHits = 30 };
  char keys[kHits][12];
  const char *keyp[kHits];
  uint32_t ids[kHits];
  uint8_t scores[kHits];
  uint32_t x = 67;
  for (uint32_t i = 0; i < kHits; ++i) {
    ids[i] = i + 1;
    std::snprintf(keys[i], sizeof keys[i], "%u", i);
    keyp[i] = keys[i];
    scores[i] = static_cast<uint8_t>(50 + (57u * x + 13u) % 50u);
    x *= 12345u;
  }
  const drrwrops *wo = drops<drrwrops>(w);
  int rc = bynum ? wo->puthits(w, kHits, ids, scores) : wo->putrows(w, kHits, keyp, scores);
  if (rc != 1) rc = wo->finish(w);
  if (rc == 1) {
    int32_t code = rc;
    dracnprt(e->st, e->st->log, "\n\n ***** ERROR (RESULTER) rc = %(1)s\n\n", DRA_SB4, &code, 0);
    return rc;
  }
  dracnprt(e->st, e->st->log, "END OF QUERY\n\n", 0);
  return 0;
}

int dreasqsave(drobj *, const char *, const char *, const char *, drobj *, int32_t) { return 1; }
int dreasqdel(drobj *, const char *, const char *, int32_t) { return 1; }
int dreasqref(drobj *, const char *, const char *, drobj *, uint16_t) { return 1; }
int dreasqpurge(drobj *, const char *) { return 1; }
int dreasqtext(drobj *, const char *, const char *, char *, uint16_t, const char *) { return 1; }
int dreahlite(drobj *, drobj *, drobj *, drobj *, drobj *, const char *, drobj *, int32_t) {
  return 1;
}
int dreaunsup(drobj *, ...) { return 1; }

int drealik(drobj *o, const char *const *pats, int32_t n, drubbuf *, char **, int32_t *nresult,
            int32_t capacity) {
  dreaobj *e = ea(o);
  head(o, "drealik", true);
  *nresult = 0;
  dracnprt(e->st, e->st->log, "noinw=%(1)s, inw[0]=%(2)s, maxoutw=%(3)s \n\n", DRA_SB4, &n,
           DRA_STR, n > 0 && pats[0] ? pats[0] : "", DRA_SB4, &capacity, 0);
  return 0;
}

int dreaclose(drobj *) { return 0; }

int dreafree(drobj *o) {
  dreaobj *e = ea(o);
  void *p = e;
  drumfre(e->st, e->st->hpmgr, e->heap, &p);
  return 0;
}

const drobjhd<drengops> kTpl = {{DRCLS_ENGINE, 2, "NOOP ENGINE"},
                                {.bnd = dreabnd,
                                 .begx = dreabegx,
                                 .popx = dreapopx,
                                 .endx = dreaendx,
                                 .drpx = dreadrpx,
                                 .trnx = dreatrnx,
                                 .bnox = dreabnox,
                                 .optx = dreaoptx,
                                 .enox = dreaenox,
                                 .qry = dreaqry,
                                 .sqsave = dreasqsave,
                                 .sqdel = dreasqdel,
                                 .sqref = dreasqref,
                                 .sqpurge = dreasqpurge,
                                 .sqtext = dreasqtext,
                                 .hlite = dreahlite,
                                 .unsup = dreaunsup,
                                 .lik = drealik,
                                 .close = dreaclose,
                                 .free = dreafree}};

}  // namespace

drobj *dreanew(drsrvstate *st, drheap heap) {
  auto *e = drobjnew<dreaobj>(st, heap, kTpl);
  if (!e) return nullptr;
  e->polid = 0;
  e->prefid = -1;
  return &e->hd.obj;
}
