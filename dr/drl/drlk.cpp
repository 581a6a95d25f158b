// The Korean lexer: words go to the morphological analysis, each term it
// finds becomes a word token; the four dictionaries come from the data
// folder under KESTRIN_HOME when the lexer is bound.
#include "dr/drl/drlk.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/drd/drd.h"
#include "dr/drl/drlkhanja.h"
#include "dr/drl/drlx.h"
#include "platform/nls/nls.h"

namespace {

drlkobj *lexof(drobj *o) { return reinterpret_cast<drlkobj *>(o); }

int ierr(drsrvstate *s, int num, int line) { return drlxierr(s, num, __FILE__, line); }

int32_t chars(const drlkobj *l, const char *p, int32_t n) {
  return n <= 0 ? 0 : static_cast<int32_t>(nlscount(dracncs(l->st), p, static_cast<size_t>(n)));
}

// The path of a dictionary file in the data folder into out; false after
// pushing 11101 when KESTRIN_HOME is not set or the path does not fit.
bool datapath(drsrvstate *s, const char *name, char (&out)[DRLK_PATH]) {
  char home[DRLK_PATH];
  const bool set = rtcfg(s->rt, "KESTRIN_HOME", home, sizeof home) > 0;
  std::string h = set ? home : "";
  if (!h.empty() && (h.back() == '/' || h.back() == '\\')) h.pop_back();
  std::string p = h + "/vek73/data/" + name;
  if (h.empty() || p.size() >= sizeof out) {
    dracnerr(s, DRFAC_DRG, 11101, 2, DRA_STR, p.c_str(), 0);
    druetrc();
    return false;
  }
  std::memcpy(out, p.c_str(), p.size() + 1);
  return true;
}

int drlkbnd(drobj *o, int32_t polid, drobj *fil, int32_t prefid) {
  drlkobj *l = lexof(o);
  drsrvstate *s = l->st;
  if (int rc = drlxrebind(l, polid, fil); rc >= 0) return rc;
  if (!l->km) {  // a failed binding released it
    druetrc();
    return 1;
  }
  l->polid = polid;
  l->prefid = prefid;
  l->src = fil;
  l->bufsize = DRLK_BUFSIZE;
  l->batch = DRLK_BATCH;
  l->maxtok = DRLK_MAXTOK;

  // The default lexer's attributes are accepted and change nothing here.
  drdplist *list = nullptr;
  bool ok = drdpopn(s, prefid, &list) == 0;
  drdmattr *a = nullptr;
  while (ok && drdpnxt(list, &a) == 0) {
    if (a->ordinal >= 1 && a->ordinal <= 7) continue;
    dracnierr(s, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(a->ordinal), 0);
    ok = false;
  }
  if (list) drdpcls(list);
  // A term may be longer than the room a batch keeps: the area has room
  // for the longest term past its end.
  if (ok) ok = drlxbufs(l, 64);
  char u[DRLK_PATH], sd[DRLK_PATH], x[DRLK_PATH], g[DRLK_PATH];
  bool loaded = false;
  if (ok) {
    ok = datapath(s, "drkoudic.dat", u) && datapath(s, "drkosdic.dat", sd) &&
         datapath(s, "drkoxdic.dat", x) && datapath(s, "drkogram.dat", g);
    loaded = ok && drlkmload(s, l->km, u, sd, x, g) == 0;
    if (!loaded) {
      drlkmfree(s, l->km);
      l->km = nullptr;
    }
  }
  if (!ok || !loaded) return drlxunbind(l);
  return 0;
}

int drlkmode(drobj *o, int32_t mode) {
  return drlxmode(lexof(o), mode);
}

int drlkcount(drobj *o, int32_t *count) {
  return drlxcount(lexof(o), count);
}

int drlknext(drobj *o, int32_t *op, char **key) {
  drlkobj *l = lexof(o);
  if (l->mode != 1) return ierr(l->st, 50601, __LINE__);
  l->end = l->pos = l->base = 0;
  l->eos = 0;
  l->inbuf[0] = '\0';
  return drlxfilnext(l, op, key);
}

int drlkquery(drobj *o, const char *text, uint8_t wild) {
  drlkobj *l = lexof(o);
  if (l->mode != 2) return ierr(l->st, 50601, __LINE__);
  l->text = text ? text : "";
  l->pos = l->base = 0;
  l->end = static_cast<int32_t>(std::strlen(l->text));
  l->eos = 1;
  l->wild = wild;
  return 0;
}

// Refills the input buffer, keeping the unread bytes at its start and a
// NUL after the text; *before (the characters before the position) goes
// into the base offset.
int drlkfill(drlkobj *l, int32_t *pos, int32_t *before) {
  if (l->mode != 1 || !l->src) return ierr(l->st, 50601, __LINE__);
  l->base += *before;
  const int32_t keep = l->end - *pos;
  if (keep > 0) std::memmove(l->inbuf, l->inbuf + *pos, static_cast<size_t>(keep));
  const int32_t room = l->bufsize - keep - 1;
  int32_t got = 0;
  int rc = drops<drfilops>(l->src)->read(l->src, l->inbuf + keep, room, &got);
  if (rc != 0 && rc != 2) {
    druetrc();
    return 1;
  }
  if (rc == 0 && (got < 0 || got > room)) return ierr(l->st, 50600, __LINE__);
  if (rc == 2 || got == 0) {
    got = 0;
    l->eos = 1;
  } else {
    l->eos = 0;
  }
  l->end = keep + got;
  l->inbuf[l->end] = '\0';
  *pos = 0;
  *before = 0;
  return 0;
}

// Fills record t with the bytes first..last of the text at p.
void maketok(drlkobj *l, drtoken *t, char *tp, const char *p, int32_t first, int32_t last,
             int32_t offset) {
  const int32_t len = last - first + 1;
  std::memcpy(tp, p + first, static_cast<size_t>(len));
  tp[len] = '\0';
  for (int32_t k = 0; k < len; ++k)
    if (tp[k] >= 'a' && tp[k] <= 'z') tp[k] = static_cast<char>(tp[k] - 'a' + 'A');
  const auto *u = reinterpret_cast<const uint8_t *>(tp);
  if (len >= 2 && u[0] >= 0xCA && u[0] <= 0xFD && u[1] >= 0xA1 && u[1] <= 0xFE) drlkcvt(tp);
  *t = drtoken{};
  t->text = tp;
  t->offset = offset;
  t->length = static_cast<uint8_t>(len & 0xFF);
  t->type = DRTOK_WORD;
  t->weight = 1;
  t->extent = static_cast<uint8_t>(chars(l, p + first, len) & 0xFF);
}

int drlktok(drobj *o, int32_t max, drtoken **toks, int32_t *count) {
  drlkobj *l = lexof(o);
  drsrvstate *s = l->st;
  if (!l->toks || !l->km || (l->mode != 1 && l->mode != 2)) return ierr(s, 50601, __LINE__);
  const int32_t limit = (max > 0 && max < l->batch) ? max : l->batch;
  int32_t room = l->bufsize - l->maxtok;
  char *tp = l->area;
  int32_t n = 0, pos = l->pos;
  bool ended = false, stop = false;
  int32_t before = chars(l, l->text, pos);
  while (n < limit && room > 0 && !ended && !stop) {
    if (l->end <= pos + 33 && !l->eos) {
      if (drlkfill(l, &pos, &before) != 0) {
        l->pos = pos;
        druetrc();
        return 1;
      }
      continue;
    }
    const char *p = l->text + pos;
    if (l->mode == 2 && l->wild && pos < l->end && std::strpbrk(p, "%_")) {
      // A wildcard word passes whole: whole characters of it, as many as a
      // record can say.
      const int32_t rest = l->end - pos;
      const int32_t len = static_cast<int32_t>(nlscut(dracncs(s), p, static_cast<size_t>(rest), 255));
      drtoken *t = &l->toks[n++];
      *t = drtoken{};
      std::memcpy(tp, p, static_cast<size_t>(len));
      tp[len] = '\0';
      t->text = tp;
      t->offset = l->base + before;
      t->length = static_cast<uint8_t>(len);
      t->type = DRTOK_WORD;
      t->weight = 1;
      t->extent = static_cast<uint8_t>(chars(l, p, rest) & 0xFF);
      pos = l->end;
      break;
    }
    const int32_t took = drlkmword(s, l->km, p, l->terms);
    int nt = 0;
    while (nt < DRLKM_TERMS && (l->terms[nt].first != 0 || l->terms[nt].last != 0)) ++nt;
    if (n > 0 && n + nt > limit) break;
    if (took > 2) {
      int done = 0;
      for (; done < nt && n < limit && room > 0; ++done) {
        const drlkmterm &m = l->terms[done];
        drtoken *t = &l->toks[n++];
        maketok(l, t, tp, p, m.first, m.last, l->base + before + chars(l, p, m.first));
        tp += t->length + 1;
        room -= t->length + 1;
      }
      // Terms that did not fit are found again from the end of the last
      // one emitted, never from inside a character.
      const int32_t step = done < nt ? l->terms[done - 1].last + 1 : took;
      before += chars(l, p, step);
      pos += step;
      continue;
    }
    if (pos >= l->end && l->eos) {
      drtoken *t = &l->toks[n++];
      *t = drtoken{};
      *tp = '\0';
      t->text = tp;
      t->offset = l->base + before;
      t->type = DRTOK_END;
      t->weight = 1;
      ended = true;
      break;
    }
    // A NUL inside the text ends no word: step over it.
    const int32_t step = took > 0 ? took : 1;
    before += chars(l, p, step);
    pos += step;
  }
  l->pos = pos;
  *toks = l->toks;
  *count = n;
  return ended ? 2 : 0;
}

int drlknop(drobj *) { return 0; }

int drlkfree(drobj *o) {
  drlkobj *l = lexof(o);
  drsrvstate *s = l->st;
  drlkmmod *km = l->km;
  drlxfree(l);
  drlkmfree(s, km);
  return 0;
}

const drobjhd<drlexops> kTpl = {{DRCLS_LEXER, 1, nullptr},
                                {.bnd = drlkbnd,
                                 .mode = drlkmode,
                                 .count = drlkcount,
                                 .next = drlknext,
                                 .query = drlkquery,
                                 .tok = drlktok,
                                 .reset = drlknop,
                                 .free = drlkfree}};

}  // namespace

void drlkcvt(char *text) {
  auto *p = reinterpret_cast<uint8_t *>(text);
  while (p[0]) {
    if (p[0] < 0xA1 || p[1] < 0xA1) {
      ++p;
      continue;
    }
    const int code = p[0] << 8 | p[1];
    if (p[0] >= 0xCA && code >= drlkhanjatab[0].start && code < drlkhanjatab[drlkhanjan].start) {
      int lo = 0, hi = drlkhanjan - 1;  // the last range starting at or before code
      while (lo < hi) {
        int mid = (lo + hi + 1) / 2;
        if (drlkhanjatab[mid].start <= code) lo = mid;
        else hi = mid - 1;
      }
      p[0] = static_cast<uint8_t>(drlkhanjatab[lo].hangul >> 8);
      p[1] = static_cast<uint8_t>(drlkhanjatab[lo].hangul & 0xFF);
    }
    p += 2;
  }
}

drobj *drlknew(drsrvstate *s, drheap h) {
  const nlscs *cs = dracncs(s);
  if (!cs || cs->id != NLS_KO16KSC5601) {
    char name[101];
    nlscpy(cs, name, sizeof name, cs ? cs->name : "");
    dracnerr(s, DRFAC_DRG, 11102, 2, DRA_STR, name, 0);
    druetrc();
    return nullptr;
  }
  auto *l = drobjnew<drlkobj>(s, h, kTpl);
  if (!l) return nullptr;
  l->prefid = -1;
  l->polid = -1;
  l->km = drlkminit(s);
  if (!l->km) {
    void *self = l;
    drumfre(s, s->hpmgr, h, &self);
    return nullptr;
  }
  return &l->hd.obj;
}
