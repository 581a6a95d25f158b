// The stop list: words read once from the preference, upper-cased (and
// letter-converted when the lexer does so to its tokens), numbered by
// position and kept in a keyed table for the look-up.
#include "dr/drws/drws.h"

#include <cstdio>
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/drl/drla.h"
#include "platform/nls/nls.h"

namespace {

drwsaobj *slof(drobj *o) { return reinterpret_cast<drwsaobj *>(o); }

// Pushes the stop list's internal error with the line it was found at; 1.
int drwserr(drsrvstate *s, int line) {
  dracnierr(s, DRFAC_DRG, 51002, 2, DRA_STR, __FILE__, DRA_INT, line, 0);
  druetrc();
  return 1;
}

// Frees a block of the stop list's heap if it is there.
void drwsrel(drwsaobj *w, void *block) {
  if (block) drumfre(w->st, w->st->hpmgr, w->heap, &block);
}

// Releases the stop list: hash, words, table and object; 0.
int drwsafree(drobj *o) {
  drwsaobj *w = slof(o);
  if (w->hash) druhfre(w->hash);
  if (w->words)
    for (int32_t i = 0; i < w->count; ++i) drwsrel(w, w->words[i]);
  drwsrel(w, w->words);
  drwsrel(w, w);
  return 0;
}

// Does nothing.
int drwsanop(drobj *) { return 0; }

// The number of stop words, as the result.
int drwsacount(drobj *o) { return slof(o)->count; }

// Enters words into the hash, numbered 1.. by their place in the array (a
// word present twice keeps its later number); 0 / 1.
int drwsaadd(drobj *o, const char *const *words, int32_t n) {
  drwsaobj *w = slof(o);
  if (!w->hash) return drwserr(w->st, __LINE__);
  const nlscs *cs = dracncs(w->st);
  for (int32_t i = 0; i < n && words[i]; ++i) {
    char key[256];
    size_t len = nlsncpy(cs, key, DRWS_MAXKEY + 1, words[i], DRWS_MAXKEY);
    void *elem = nullptr;
    if (druhins(w->hash, key, static_cast<uint8_t>(len), &elem) != 0)
      return drwserr(w->st, __LINE__);
    const int32_t num = i + 1;
    std::memcpy(elem, &num, sizeof num);
  }
  return 0;
}

// Copies the word addresses in their numbered order; 0.
int drwsalist(drobj *o, const char **out) {
  drwsaobj *w = slof(o);
  for (int32_t i = 0; i < w->count; ++i) out[i] = w->words[i];
  return 0;
}

// The number of a word (the token text the lexer made), 0 for none; 0.
int drwsalook(drobj *o, const char *word, int32_t *num) {
  drwsaobj *w = slof(o);
  *num = 0;
  if (w->count == 0 || !word) return 0;
  void *elem = nullptr;
  druhget(w->hash, word, &elem);
  if (elem) std::memcpy(num, elem, sizeof *num);
  return 0;
}

const drobjhd<drstops> kTpl = {{DRCLS_STOPLIST, 1, nullptr},
                               {.free = drwsafree,
                                .nop = drwsanop,
                                .count = drwsacount,
                                .add = drwsaadd,
                                .list = drwsalist,
                                .look = drwsalook}};

// A stop word as the lexer would make its token text: letter-converted
// when conv is set, then upper-cased; a copy of exactly its length + 1
// bytes from the stop list's heap, or null (*fail set after pushing why).
char *drwsword(drwsaobj *w, const nlscs *cs, const char *v, bool conv, bool *fail) {
  size_t len = std::strlen(v);
  auto *out = static_cast<char *>(
      drumalz(w->st, w->st->hpmgr, w->heap, len + 1, __FILE__, __LINE__));
  if (!out) {
    *fail = drwserr(w->st, __LINE__) != 0;
    return nullptr;
  }
  // Both conversions keep every character's length: a shorter copy means
  // the conversion stopped.
  size_t got = conv ? nlsbase(cs, out, len + 1, v, len) : nlsncpy(cs, out, len + 1, v, len);
  if (got == len) got = nlsupper(cs, out, len + 1, out, len);
  if (got != len) {
    drwsrel(w, out);
    *fail = drwserr(w->st, __LINE__) != 0;
    return nullptr;
  }
  if (len == 0) drwsrel(w, out);
  return len == 0 ? nullptr : out;
}

// Reads the preference's words into the table and makes the hash; 0 / 1.
int drwsaprefs(drobj *o, int32_t prefid, rthpmgr *, drobj *lexer) {
  drwsaobj *w = slof(o);
  drsrvstate *s = w->st;
  const nlscs *cs = dracncs(s);
  const bool conv = drlaconv(lexer) != 0;
  auto **held = static_cast<char **>(
      drumalc(s, s->hpmgr, w->heap, DRWS_MAXWORDS, sizeof(char *), __FILE__, __LINE__));
  drdplist *list = nullptr;
  if (!held || drdpopn(s, prefid, &list) != 0) {
    drwsrel(w, held);
    return drwserr(s, __LINE__);
  }
  int32_t count = 0;
  bool fail = false;
  drdmattr *a = nullptr;
  while (!fail && drdpnxt(list, &a) == 0) {
    if (a->ordinal != 2) {
      const auto ord = static_cast<int16_t>(a->ordinal);
      dracnierr(s, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB2, &ord, 0);
      druetrc();
      fail = true;
      break;
    }
    if (count >= DRWS_MAXWORDS) continue;
    char num[16];
    const char *v = a->value.str ? a->value.str : "";
    if (a->datatype != 1) {
      std::snprintf(num, sizeof num, "%d", static_cast<int>(a->value.num));
      v = num;
    }
    if (char *word = drwsword(w, cs, v, conv, &fail)) held[count++] = word;
  }
  if (!fail) {
    w->words = static_cast<char **>(drumalc(s, s->hpmgr, w->heap, static_cast<size_t>(count) + 1,
                                            sizeof(char *), __FILE__, __LINE__));
    if (w->words) {
      std::memcpy(w->words, held, static_cast<size_t>(count) * sizeof(char *));
      w->words[count] = nullptr;
    }
    if (!w->words || druhnew(s, w->heap, static_cast<uint32_t>(count), sizeof(int32_t),
                             DRUH_STRKEY, &w->hash) != 0)
      fail = drwserr(s, __LINE__) != 0;
  }
  drdpcls(list);
  if (fail) {
    for (int32_t i = 0; i < count; ++i) drwsrel(w, held[i]);
    drwsrel(w, held);
    drwsrel(w, w->words);
    w->words = nullptr;
    druetrc();
    return 1;
  }
  drwsrel(w, held);
  w->count = count;
  return 0;
}

}  // namespace

drobj *drwsanew(drsrvstate *s, drheap h, int32_t prefid, drobj *lexer) {
  auto *w = drobjnew<drwsaobj>(s, h, kTpl);
  if (!w) return nullptr;
  if (drwsaprefs(&w->hd.obj, prefid, s->hpmgr, lexer) != 0 ||
      drwsaadd(&w->hd.obj, w->words, w->count) != 0) {
    drwsafree(&w->hd.obj);
    druetrc();
    return nullptr;
  }
  return &w->hd.obj;
}
