// The word table's filling: at the end of indexing every word of the index
// that the table lacks, and during a batch of changed rows the new words of
// each flush: sorted, probed 40 at a time against the table, merged with
// the probe's ordered answer, and inserted 512 at a time.
#include <algorithm>
#include <cstring>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/drwa/drwa.h"
#include "platform/nls/nls.h"

namespace {

drwaobj *wa(drobj *o) { return reinterpret_cast<drwaobj *>(o); }

// The bytes of a word the table keeps: whole characters up to the maximum.
size_t cutlen(const drwaobj *w, const char *s) {
  const nlscs *cs = dracncs(w->st);
  return nlscut(cs, s, std::strlen(s), static_cast<size_t>(w->attr.maxlen));
}

// Two words the same under the table's cut: same length, same bytes.
bool same(const drwaobj *w, const char *a, size_t la, const char *b, size_t lb) {
  return la == lb && nlsncmp(dracncs(w->st), a, b, la) == 0;
}

int probeprep(drwaobj *w) {
  drsrvstate *st = w->st;
  drwaiwork *iw = w->iw;
  char sql[65536];
  int n = drasmfmt(st->fmt, sql, sizeof sql, "SELECT word FROM %s WHERE word IN (", DRA_STR,
                   w->attr.wtab, 0);
  for (int i = 1; n >= 0 && i <= DRWA_PROBE; ++i) {
    int m = drasmfmt(st->fmt, sql + n, sizeof sql - n, i < DRWA_PROBE ? ":w%d," : ":w%d",
                     DRA_INT, i, 0);
    n = m < 0 ? -1 : n + m;
  }
  if (n < 0 || drasmfmt(st->fmt, sql + n, sizeof sql - n, ") ORDER BY word ASC", 0) < 0)
    return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  if (drwacurprep(w, &iw->probe, sql) != 0) return 1;
  const char *why = nullptr;
  if (druodef(st, &iw->probe, 1, iw->fetched, DRWA_SLOT, DRUO_STRING, nullptr, iw->flen,
                     &druorepq) != 0) {
    why = "@cursor bind problem \n";
  }
  for (int i = 0; !why && i < DRWA_PROBE; ++i) {
    char name[8];
    (void)drasmfmt(st->fmt, name, sizeof name, ":w%d", DRA_INT, i + 1, 0);
    if (druobnd(st, &iw->probe, name, iw->pval[i], w->attr.maxlen, DRUO_VARCHAR2, &iw->pind[i],
                &iw->plen[i], &druorepq) != 0)
      why = "@cursor bind problem \n";
  }
  if (why) return drwacurdrop(w, &iw->probe, why, "druocls failed\n");
  iw->probeprep = 1;
  return 0;
}

int insprep(drwaobj *w) {
  drsrvstate *st = w->st;
  drwaiwork *iw = w->iw;
  char sql[512];
  // A word the table holds already is passed over: duplicates are never an
  // error, and a failed row would end the transaction here.
  if (drasmfmt(st->fmt, sql, sizeof sql,
               "INSERT INTO %s (word, group1) SELECT v, public.soundex(v) FROM (VALUES"
               " (CAST(:wrd AS text))) s(v) ON CONFLICT DO NOTHING",
               DRA_STR, w->attr.wtab, 0) < 0)
    return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  if (drwacurprep(w, &iw->ins, sql) != 0) return 1;
  if (druobnd(st, &iw->ins, ":wrd", iw->buf, DRWA_SLOT, DRUO_STRING, iw->ind, nullptr,
              &druorepq) != 0)
    return drwacurdrop(w, &iw->ins, "!cursor bind problem \n",
                       "cannot close cursor data area...\n");
  iw->insprep = 1;
  return 0;
}

// Fills the probe values from the sorted entries; the number consumed.
int probe(drwaobj *w, const uint16_t *order, int32_t count, int32_t *consumed) {
  drwaiwork *iw = w->iw;
  const nlscs *cs = dracncs(w->st);
  int32_t held = 0, k = 0;
  for (; k < count; ++k) {
    const char *word = iw->words[order[k]];
    auto len = static_cast<uint16_t>(cutlen(w, word));
    if (len == 0) {
      dracnout(w->st, "zero length word detected\n", 0);
      drwaierr(w->st, DRWA_EINT, 2, __FILE__, __LINE__);
      return 1;
    }
    if (held > 0 && same(w, iw->pval[held - 1], iw->plen[held - 1], word, len)) continue;
    if (held == DRWA_PROBE) break;
    std::memset(iw->pval[held], 0, sizeof iw->pval[held]);
    nlsncpy(cs, iw->pval[held], sizeof iw->pval[held], word, len);
    iw->plen[held] = len;
    iw->pind[held] = 0;
    ++held;
  }
  *consumed = k;
  for (int32_t i = held; i < DRWA_PROBE; ++i) {
    iw->pind[i] = -1;
    iw->plen[i] = 0;
  }
  return 0;
}

// Runs the probe; the words found land in the fetched array.
int probeexec(drwaobj *w, uint32_t *found) {
  drwaiwork *iw = w->iw;
  int rc = druoexf(w->st, &iw->probe, DRWA_PROBE, &druorepq);
  if (rc != 0 && rc != DRUO_NODATA)
    return drwacurfail(w, &iw->probe, "failed to execute\n", __FILE__, __LINE__);
  ++iw->probes;
  *found = druorows(&iw->probe);
  return 0;
}

// Buffers a word not in the table; 0 or 1.
int put(drwaobj *w, const char *word) {
  drwaiwork *iw = w->iw;
  size_t len = cutlen(w, word);
  if (iw->nbuf > 0) {
    const char *last = iw->buf[iw->nbuf - 1];
    if (same(w, last, std::strlen(last), word, len)) return 0;
  }
  nlsncpy(dracncs(w->st), iw->buf[iw->nbuf], DRWA_SLOT, word, len);
  iw->ind[iw->nbuf] = 0;
  if (++iw->nbuf == DRWA_BUF && drwaiflush(w, iw->nbuf) != 0)
    return drwafail(w->st, " failure to insert into wordlist \n", DRWA_EFAIL, __FILE__, __LINE__);
  return 0;
}

// Merges the sorted input with the probe's ordered answer: every input word
// the table lacks goes to the buffer.
int merge(drwaobj *w, const uint16_t *order, int32_t count, uint32_t found) {
  drwaiwork *iw = w->iw;
  int32_t i = 0;
  for (uint32_t f = 0; f < found; ++f) {
    const char *fw = iw->fetched[f];
    size_t fl = std::strlen(fw);
    for (;; ++i) {
      if (i >= count) {
        dracnout(w->st, "fatal comparison problem \n", 0);
        drwaierr(w->st, DRWA_EINT, 2, __FILE__, __LINE__);
        return 1;
      }
      const char *word = iw->words[order[i]];
      if (same(w, fw, fl, word, cutlen(w, word))) break;
      if (put(w, word) != 0) return 1;
    }
    while (i < count && same(w, fw, fl, iw->words[order[i]], cutlen(w, iw->words[order[i]])))
      ++i;
    if (i >= count) return 0;
  }
  for (; i < count; ++i)
    if (put(w, iw->words[order[i]]) != 0) return 1;
  return 0;
}

// The words of the token table that fit the table whole, with their codes,
// in one statement: the database reads the token table once and inserts in
// word order, where a round trip for every 512 words, and one statement for
// every word, cost the end of indexing many times the indexing itself.
// A word's length is counted in the session's character set, as the cut
// counts it.
int fillwhole(drwaobj *w) {
  drsrvstate *st = w->st;
  char sql[1024];
  if (drasmfmt(st->fmt, sql, sizeof sql,
               "INSERT INTO %s (word, group1) SELECT v, public.soundex(v) FROM (SELECT DISTINCT"
               " word_text FROM %s EXCEPT SELECT word FROM %s) s(v) WHERE v IS NOT NULL AND"
               " octet_length(convert_to(v, pg_client_encoding())) <= %d ORDER BY v"
               " ON CONFLICT DO NOTHING",
               DRA_STR, w->attr.wtab, DRA_STR, w->attr.ttab, DRA_STR, w->attr.wtab, DRA_INT,
               static_cast<int>(w->attr.maxlen), 0) < 0)
    return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  druocur cur{};
  if (drwacurprep(w, &cur, sql) != 0) return 1;
  if (druoexe(st, &cur, &druorepq) != 0)
    return drwacurdrop(w, &cur, "cursor execute problem \n", "druocls failed\n");
  if (druoend(st, &cur, &druorepq) != 0)
    return drwacurfail(w, &cur, "druocls failed\n", __FILE__, __LINE__);
  return druocmt(st) != 0 ? 1 : 0;
}

// The words longer than the table keeps, cut to whole characters: fetched
// 512 at a time and inserted through the buffer, a commit every fifth.
int filllong(drwaobj *w) {
  drsrvstate *st = w->st;
  drwaiwork *iw = w->iw;
  char sql[1024];
  if (drasmfmt(st->fmt, sql, sizeof sql,
               "SELECT DISTINCT word_text FROM %s WHERE octet_length(convert_to(word_text,"
               " pg_client_encoding())) > %d",
               DRA_STR, w->attr.ttab, DRA_INT, static_cast<int>(w->attr.maxlen), 0) < 0)
    return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  druocur cur{};
  if (drwacurprep(w, &cur, sql) != 0) return 1;
  int rc = 0;
  if (druodef(st, &cur, 1, iw->buf, DRWA_SLOT, DRUO_STRING, iw->ind, nullptr,
                     &druorepq) != 0) {
    rc = drwacurfail(w, &cur, "#cursor bind problem \n", __FILE__, __LINE__);
  } else if (druohld(st, &cur, 1, &druorepq) != 0) {
    rc = drwacurfail(w, &cur, "#cursor bind problem \n", __FILE__, __LINE__);
  }
  uint32_t before = 0;
  int f = rc == 0 ? druoexf(st, &cur, DRWA_BUF, &druorepq) : 0;
  for (int32_t batch = 0; rc == 0;) {
    if (f != 0 && f != DRUO_NODATA) {
      rc = drwacurfail(w, &cur, "failed to fetch\n", __FILE__, __LINE__);
      break;
    }
    auto got = static_cast<int32_t>(druorows(&cur) - before);
    before = druorows(&cur);
    if (got <= 0) break;
    for (int32_t k = 0; k < got; ++k) {
      // Words longer than the table keeps are cut to whole characters.
      size_t len = cutlen(w, iw->buf[k]);
      iw->buf[k][len] = '\0';
    }
    if (drwaiflush(w, got) != 0) {
      rc = 1;
      break;
    }
    if (batch % 5 == 0 && druocmt(st) != 0) rc = 1;
    ++batch;
    if (f == DRUO_NODATA) break;
    f = druofet(st, &cur, DRWA_BUF, &druorepq);
  }
  if (rc == 0 && druocmt(st) != 0) rc = 1;
  if (druoend(st, &cur, &druorepq) != 0) rc = drwacurfail(w, &cur, "druocls failed\n", __FILE__, __LINE__);
  return rc;
}

int fill(drwaobj *w) {
  if (!w->attr.ttab[0]) return drwafail(w->st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  return fillwhole(w) != 0 || filllong(w) != 0 ? 1 : 0;
}

}  // namespace

int drwaiinit(drwaobj *w, uint16_t *order, int32_t n, const char *const *words) {
  drsrvstate *st = w->st;
  if (n >= DRWA_MAXWORDS) {
    dracnout(st, "too many words passed to word list %d\n", DRA_INT, static_cast<int>(n), 0);
    drwaierr(st, DRWA_EFAIL, 2, __FILE__, __LINE__);
    return 1;
  }
  if (order && !w->opened) {
    dracnout(st, "word list not open\n", 0);
    drwaierr(st, DRWA_ENOTOPEN, 2, __FILE__, __LINE__);
    return 1;
  }
  if (!w->iw) {
    w->iw = static_cast<drwaiwork *>(
        drumalc(st, st->hpmgr, st->seshp, 1, sizeof(drwaiwork), __FILE__, __LINE__));
    if (!w->iw) return 1;
  }
  w->iw->nbuf = 0;
  w->iw->nflush = 0;
  w->iw->words = words;
  for (int32_t i = 0; order && i < n; ++i) order[i] = static_cast<uint16_t>(i);
  if (!w->iw->probeprep && probeprep(w) != 0) {
    dracnout(st, "cannot setup w2t cursors\n", 0);
    drwaierr(st, DRWA_EFAIL, 2, __FILE__, __LINE__);
    return 1;
  }
  return 0;
}

int drwaiflush(drwaobj *w, int32_t n) {
  drsrvstate *st = w->st;
  drwaiwork *iw = w->iw;
  if (!iw->insprep && insprep(w) != 0)
    return drwafail(st, "component failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  if (n > 0 && druoexn(st, &iw->ins, static_cast<uint32_t>(n), &druorepq) != 0)
    return drwacurfail(w, &iw->ins, "cursor execute problem \n", __FILE__, __LINE__);
  iw->nbuf = 0;
  ++iw->flushes;
  if (++iw->nflush == 5) {
    iw->nflush = 0;
    if (druocmt(st, &druorepq) != 0) {
      dracnout(st, "commit problem \n", 0);
      return drwacurfail(w, &iw->ins, nullptr, __FILE__, __LINE__);
    }
  }
  return 0;
}

int drwaiclose(drwaobj *w) {
  drsrvstate *st = w->st;
  drwaiwork *iw = w->iw;
  int rc = 0;
  for (auto [cur, flag] : {std::pair{&iw->probe, &iw->probeprep}, std::pair{&iw->ins, &iw->insprep}}) {
    if (!*flag) continue;
    *flag = 0;
    if (druoend(st, cur, &druorepq) != 0) {
      dracnout(st, "druocls failed\n", 0);
      rc = drwacurfail(w, cur, nullptr, __FILE__, __LINE__);
    }
  }
  if (rc) return 1;
  void *v = iw;
  drumfre(st, st->hpmgr, st->seshp, &v);
  w->iw = nullptr;
  return 0;
}

int drwaadd(drobj *o, const char *const *words, int32_t n) {
  drwaobj *w = wa(o);
  drsrvstate *st = w->st;
  if (w->hd.ops.mode != 5) return 0;
  if (n < 0) n = 0;
  void *mem = drumalc(st, st->hpmgr, w->cmdhp ? w->cmdhp : st->cmdhp,
                      static_cast<size_t>(std::min(n, DRWA_MAXWORDS - 1)) + 2, sizeof(uint16_t),
                      __FILE__, __LINE__);
  if (!mem) return 1;
  auto *order = static_cast<uint16_t *>(mem);
  int rc = 0;
  if (drwaiinit(w, order, n, words) != 0) {
    dracnout(st, "init failed\n", 0);
    drwaierr(st, DRWA_ESETUP, 2, __FILE__, __LINE__);
    rc = 2;
  }
  if (rc == 0) {
    int32_t m = 0;
    for (int32_t i = 0; i < n; ++i)
      if (words[i]) order[m++] = static_cast<uint16_t>(i);
    const nlscs *cs = dracncs(st);
    std::stable_sort(order, order + m, [cs, words](uint16_t a, uint16_t b) {
      return nlscmp(cs, words[a], words[b]) < 0;
    });
    for (int32_t pos = 0; rc == 0 && pos < m;) {
      int32_t used = 0;
      uint32_t found = 0;
      if (probe(w, order + pos, m - pos, &used) != 0 || probeexec(w, &found) != 0 ||
          merge(w, order + pos, used, found) != 0)
        rc = 1;
      pos += used;
    }
    if (rc == 0 && w->iw->nbuf > 0) {
      w->iw->nflush = 0;
      if (drwaiflush(w, w->iw->nbuf) != 0 || druocmt(st) != 0) rc = 1;
    }
    if (rc == 1) drwafail(st, "wordlist component failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  }
  drumfre(st, st->hpmgr, w->cmdhp ? w->cmdhp : st->cmdhp, &mem);
  return rc ? 1 : 0;
}

int drwaload(drobj *o) {
  drwaobj *w = wa(o);
  drsrvstate *st = w->st;
  if (!w->attr.table) return 0;
  (void)drwaoinit(st, w, w->value);
  if (drwaiinit(w, nullptr, 0, nullptr) != 0) {
    dracnout(st, "init failed\n", 0);
    drwaierr(st, DRWA_ESETUP, 2, __FILE__, __LINE__);
    return 1;
  }
  if (fill(w) != 0)
    return drwafail(st, "wordlist component failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  return 0;
}
