// The Japanese lexer, and the tokenizer the multi-byte lexer shares with it:
// characters of one or two bytes classified through the character set's
// tables, one state table of sixteen states, offsets in characters, runs of
// ideographs and kana cut into overlapping pairs.
#include "dr/drl/drlj.h"

#include <cstring>

#include "dr/drd/drd.h"
#include "dr/drl/drla.h"
#include "dr/drl/drljkana.h"
#include "dr/drl/drlx.h"
#include "platform/nls/nls.h"

namespace {

constexpr uint8_t E = 17;  // the state in which a token is complete

struct drljtr {
  uint8_t next;
  uint8_t act;
};

// One state: its own number (checked at binding), the type of a token that
// ends from it, and its transitions by class 0 to 13.
struct drljstate {
  uint8_t num;
  uint8_t type;
  drljtr tr[14];
};

// Actions: 0 look at the same character again in the new state; 1 copy it
// without consuming it (it starts the next token); 2 start a token, then as
// 3; 3 copy and consume; 4 consume without copying.
const drljstate kStates[16] = {
    //       letter  digit   punct    decimal group   space    tab      newline  other    end      ideo    kana    attach  wo
    {0, 0, {{5, 2}, {7, 2}, {10, 4}, {8, 2}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {15, 0}, {1, 2}, {2, 2}, {2, 2}, {4, 2}}},
    {1, 8, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {1, 4}, {1, 4}, {1, 4}, {1, 4}, {E, 0}, {E, 1}, {E, 0}, {3, 3}, {4, 3}}},
    {2, 8, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {2, 4}, {2, 4}, {2, 4}, {2, 4}, {E, 0}, {E, 0}, {E, 1}, {3, 3}, {4, 3}}},
    {3, 9, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {3, 4}, {3, 4}, {3, 4}, {3, 4}, {E, 0}, {1, 0}, {2, 0}, {3, 3}, {4, 3}}},
    {4, 9, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {4, 3}}},
    {5, 1, {{5, 3}, {6, 3}, {E, 0}, {E, 4}, {E, 0}, {E, 4}, {E, 4}, {E, 4}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {6, 4, {{6, 3}, {6, 3}, {E, 0}, {E, 4}, {E, 0}, {E, 4}, {E, 4}, {E, 4}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {7, 2, {{6, 3}, {7, 3}, {E, 0}, {8, 3}, {9, 3}, {E, 4}, {E, 4}, {E, 4}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {8, 2, {{6, 3}, {8, 3}, {E, 0}, {6, 3}, {6, 3}, {E, 4}, {E, 4}, {E, 4}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    // A group character is only classed so before a digit: no letter here.
    {9, 2, {{E, 0}, {7, 3}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {10, 5, {{0, 0}, {0, 0}, {10, 4}, {0, 4}, {0, 4}, {11, 4}, {11, 4}, {12, 4}, {11, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {11, 5, {{E, 0}, {E, 0}, {10, 4}, {E, 0}, {E, 0}, {11, 4}, {11, 4}, {12, 4}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {12, 5, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {13, 4}, {14, 4}, {14, 4}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {13, 5, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {14, 4}, {14, 4}, {14, 4}, {E, 4}, {E, 0}, {14, 0}, {14, 0}, {14, 0}, {14, 0}}},
    {14, 6, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 4}, {E, 4}, {E, 4}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {15, 7, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
};

// A classified character: its class, the bytes it gives to token text, the
// bytes it takes from the input and the characters it counts for.
struct drljchr {
  int32_t cls;
  uint8_t text[2];
  uint8_t ntext;
  uint8_t in;
  uint8_t nch;
};

drljobj *lexof(drobj *o) { return reinterpret_cast<drljobj *>(o); }

// Pushes an internal error of this unit with the line it was found at; 1.
int ierr(drsrvstate *s, int num, int line) { return drlxierr(s, num, __FILE__, line); }

void put2(drljchr *c, uint16_t code) {
  c->text[0] = static_cast<uint8_t>(code >> 8);
  c->text[1] = static_cast<uint8_t>(code & 0xFF);
  c->ntext = 2;
}

// The full-width form of half-width katakana k, joined with the sound mark
// m that follows it when the two make one character (m is 0 when nothing
// follows); true when they joined.
bool drljkata(const drljobj *l, uint8_t k, uint8_t m, drljchr *c) {
  const drljkana &f = drljkanatab[k - 0xA1];
  const bool euc = l->tab->kana == 1;
  const uint16_t v = m == 0xDE ? (euc ? f.veuc : f.vsjis) : m == 0xDF ? (euc ? f.seuc : f.ssjis) : 0;
  put2(c, v ? v : (euc ? f.euc : f.sjis));
  return v != 0;
}

// Classifies the single byte sb (an input byte, or the byte a full-width
// character is remapped to) whose following input byte is at pos + in.
void drljone(const drljobj *l, const uint8_t *txt, int32_t pos, int32_t end, uint8_t sb,
             drljchr *c) {
  c->text[0] = l->trans[sb];
  c->ntext = 1;
  c->cls = l->cls[sb];
  if (c->cls != DRLJ_LOOK) return;
  // The following character: the byte after this one, or the byte its
  // full-width pair is remapped to.
  int32_t at = pos + c->in, nx = 0;
  if (at < end) {
    uint8_t f = txt[at];
    if (l->cls[f] == DRLJ_LEAD && at + 1 < end &&
        l->pairs[(f - l->first) * 256 + txt[at + 1]] == DRLJ_REMAP)
      f = l->remap[txt[at + 1]];
    nx = l->prop[f];
  }
  const int32_t p = l->prop[sb];
  if ((p & DRLA_DECIMAL) && (nx & DRLA_DIGIT)) c->cls = DRLJ_DECIMAL;
  else if ((p & DRLA_GROUP) && (nx & DRLA_DIGIT)) c->cls = DRLJ_GROUP;
  else if ((p & DRLA_CONT) && (nx & DRLA_NEWLINE)) c->cls = -1;  // stepped over with the newline
  else if ((p & DRLA_PUNCT) && (nx & DRLA_WHITE)) c->cls = DRLJ_PUNCT;
  else c->cls = DRLJ_OTHER;
}

// Classifies the character at pos. A lead byte with nothing after it is one
// character of class 8 of its own: a document or query cut inside a
// character is still read to its end.
void drljcls(const drljobj *l, const uint8_t *txt, int32_t pos, int32_t end, drljchr *c) {
  c->in = 1;
  c->nch = 1;
  if (pos >= end) {
    c->cls = DRLJ_END;
    c->ntext = c->in = c->nch = 0;
    return;
  }
  const uint8_t b = txt[pos];
  const int32_t k = l->cls[b];
  if (k == DRLJ_IDEO || k == DRLJ_LEAD) {
    if (pos + 1 >= end) {
      c->cls = DRLJ_OTHER;
      c->text[0] = b;
      c->ntext = 1;
      return;
    }
    const uint8_t n = txt[pos + 1];
    const int32_t e = k == DRLJ_IDEO ? DRLJ_IDEO : l->pairs[(b - l->first) * 256 + n];
    if (e == DRLJ_LOOK) {
      c->cls = DRLJ_OTHER;
      c->text[0] = b;
      c->ntext = 1;
      return;
    }
    c->in = 2;
    if (e == DRLJ_REMAP) {
      drljone(l, txt, pos, end, l->remap[n], c);
      return;
    }
    c->cls = e;
    c->text[0] = b;
    c->text[1] = n;
    c->ntext = 2;
    if (l->tab->kana == 1 && b == 0x8E && n >= 0xA1 && n <= 0xDF) {
      const uint8_t m = pos + 3 < end && txt[pos + 2] == 0x8E ? txt[pos + 3] : 0;
      if (drljkata(l, n, m, c)) {
        c->in = 4;
        c->nch = 2;
      }
    }
    return;
  }
  if (k == DRLJ_HKANA || k == DRLJ_HATTACH) {
    c->cls = k == DRLJ_HKANA ? DRLJ_KANA : DRLJ_ATTACH;
    if (drljkata(l, b, pos + 1 < end ? txt[pos + 1] : 0, c)) {
      c->in = 2;
      c->nch = 2;
    }
    return;
  }
  drljone(l, txt, pos, end, b, c);
}

// Puts '%' and '_' back as binding classed them, or (wild) makes them
// letters that stand for themselves.
void drljwild(drljobj *l, bool wild) {
  const unsigned char bytes[2] = {'%', '_'};
  for (int k = 0; k < 2; ++k) {
    unsigned char b = bytes[k];
    l->trans[b] = wild ? b : l->wildtr[k];
    l->cls[b] = wild ? DRLJ_LETTER : l->wildcls[k];
    l->prop[b] = wild ? (l->wildprop[k] | DRLA_LETTER) : l->wildprop[k];
  }
}

// Makes the translation, class and property tables of the character set.
void drljtables(drljobj *l, char decimal, char group) {
  for (int b = 0; b < 256; ++b) {
    l->trans[b] = static_cast<uint8_t>(b);
    l->cls[b] = l->tab->cls[b];
    l->prop[b] = 0;
  }
  for (int b = 'a'; b <= 'z'; ++b) {
    l->cls[b] = DRLJ_LETTER;
    l->prop[b] = DRLA_LETTER;
    l->trans[b] = static_cast<uint8_t>(b - 'a' + 'A');
  }
  for (int b = 'A'; b <= 'Z'; ++b) {
    l->cls[b] = DRLJ_LETTER;
    l->prop[b] = DRLA_LETTER;
  }
  for (int b = '0'; b <= '9'; ++b) {
    l->cls[b] = DRLJ_DIGIT;
    l->prop[b] = DRLA_DIGIT;
  }
  l->cls[' '] = DRLJ_SPACE;
  l->cls['\t'] = DRLJ_TAB;
  l->cls['\n'] = DRLJ_NEWLINE;
  static const unsigned char kWhite[] = {0, '\t', '\n', ' '};
  for (unsigned char w : kWhite) l->prop[w] |= DRLA_WHITE;
  l->prop['\n'] |= DRLA_NEWLINE;
  l->prop[static_cast<unsigned char>(decimal)] |= DRLA_DECIMAL;
  l->prop[static_cast<unsigned char>(group)] |= DRLA_GROUP;
  l->prop['-'] |= DRLA_CONT;
  l->prop['\\'] |= DRLA_CONT;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(l->tab->punct); *p; ++p)
    l->prop[*p] |= DRLA_PUNCT;
  const unsigned char wild[2] = {'%', '_'};
  for (int k = 0; k < 2; ++k) {
    l->wildtr[k] = l->trans[wild[k]];
    l->wildcls[k] = l->cls[wild[k]];
    l->wildprop[k] = l->prop[wild[k]];
  }
}

// Binds the lexer to its policy, filter and preference (a later call for the
// same policy only replaces the filter); 0 / 1.
int drljbnd(drobj *o, int32_t polid, drobj *fil, int32_t prefid) {
  drljobj *l = lexof(o);
  drsrvstate *s = l->st;
  if (int rc = drlxrebind(l, polid, fil); rc >= 0) return rc;
  l->polid = polid;
  l->prefid = prefid;
  l->src = fil;
  l->bufsize = DRLJ_BUFSIZE;
  l->batch = DRLJ_BATCH;
  l->maxtok = DRLJ_MAXTOK;
  l->ngram = 2;
  l->remap = l->tab->remap;
  l->pairs = l->tab->pairs;
  l->first = l->tab->first;
  const nlslang *lang = dracnlang(s);

  drdplist *list = nullptr;
  bool ok = drdpopn(s, prefid, &list) == 0;
  drdmattr *a = nullptr;
  while (ok && drdpnxt(list, &a) == 0) {
    if (a->ordinal == 8) {
      l->ngram = static_cast<uint8_t>(drdpnum(a) & 0xFF);
      continue;
    }
    dracnierr(s, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(a->ordinal), 0);
    ok = false;
  }
  if (list) drdpcls(list);

  for (int k = 0; ok && k < 16; ++k)
    if (kStates[k].num != k) ok = ierr(s, 50601, __LINE__) == 0;

  if (ok) ok = drlxbufs(l, 0);
  if (!ok) return drlxunbind(l);
  drljtables(l, lang ? lang->decimal : '.', lang ? lang->group : ',');
  return 0;
}

// Switches between reading documents (1) and tokenising query words (2).
int drljmode(drobj *o, int32_t mode) {
  drljobj *l = lexof(o);
  if (drlxmode(l, mode) != 0) return 1;
  if (mode == 1) drljwild(l, false);
  return 0;
}

int drljcount(drobj *o, int32_t *count) {
  return drlxcount(lexof(o), count);
}

// Starts the next document; with a key pointer the filter moves on first.
int drljnext(drobj *o, int32_t *op, char **key) {
  drljobj *l = lexof(o);
  if (l->mode != 1) return ierr(l->st, 50601, __LINE__);
  l->end = l->pos = l->chars = 0;
  l->eos = 0;
  l->prevend = 0;
  return drlxfilnext(l, op, key);
}

// Makes a query word the text to tokenise.
int drljquery(drobj *o, const char *text, uint8_t wild) {
  drljobj *l = lexof(o);
  if (l->mode != 2) return ierr(l->st, 50601, __LINE__);
  l->text = text ? text : "";
  l->pos = l->chars = 0;
  l->prevend = 0;
  l->end = static_cast<int32_t>(std::strlen(l->text));
  l->eos = 1;
  drljwild(l, wild != 0);
  return 0;
}

// Refills the input buffer from the filter, keeping the unread bytes (at
// most three: a character and what its class depends on) at its start.
int drljfill(drljobj *l, int32_t *pos) {
  if (l->mode != 1 || !l->src) return ierr(l->st, 50601, __LINE__);
  const int32_t keep = l->end - *pos;
  if (keep > 0) std::memmove(l->inbuf, l->inbuf + *pos, static_cast<size_t>(keep));
  const int32_t room = l->bufsize - keep;
  int32_t got = 0;
  int rc = drops<drfilops>(l->src)->read(l->src, l->inbuf + keep, room, &got);
  if (rc != 0 && rc != 2) {
    druetrc();
    return 1;
  }
  if (rc == 0 && (got < 0 || got > room)) return ierr(l->st, 50600, __LINE__);
  // A read that brings nothing ends the source as well: asking again would
  // ask forever.
  if (rc == 2 || got == 0) {
    got = 0;
    l->eos = 1;
  } else {
    l->eos = 0;
  }
  l->end = keep + got;
  *pos = 0;
  return 0;
}

// The next batch of tokens; 2 when it ends with the end token.
int drljtok(drobj *o, int32_t max, drtoken **toks, int32_t *count) {
  drljobj *l = lexof(o);
  if (!l->toks || (l->mode != 1 && l->mode != 2)) return ierr(l->st, 50601, __LINE__);
  const int32_t limit = (max > 0 && max < l->batch) ? max : l->batch;
  const int32_t maxtok = l->maxtok;
  int32_t room = l->bufsize - maxtok;
  char *tp = l->area;
  int32_t n = 0;
  bool ended = false;
  int32_t pos = l->pos, chars = l->chars;
  auto fail = [&]() {
    l->pos = pos;
    l->chars = chars;
    druetrc();
    return 1;
  };
  while (n < limit && room > 0 && !ended) {
    drtoken *t = &l->toks[n];
    *t = drtoken{};
    int32_t copied = 0, mark = 0;
    uint8_t state = 0, from = 0;
    bool pending = false;
    drljchr ch{};
    while (state != E) {
      if (l->end - pos < 4 && !l->eos) {
        if (drljfill(l, &pos) != 0) return fail();
        continue;
      }
      const auto *txt = reinterpret_cast<const uint8_t *>(l->text);
      if (!pending) {
        drljcls(l, txt, pos, l->end, &ch);
        if (ch.cls < 0) {  // a continuation character and its newline
          pos += ch.in + 1;
          chars += 2;
          continue;
        }
      }
      pending = false;
      from = state;
      const drljtr tr = kStates[state].tr[ch.cls];
      state = tr.next;
      switch (tr.act) {
        case 0:
          pending = true;
          break;
        case 1:
          pending = true;
          if (from == 1 && l->ngram == 1) {
            l->prevend = 0;
            break;
          }
          if (copied + ch.ntext <= maxtok) {
            std::memcpy(tp + copied, ch.text, ch.ntext);
            copied += ch.ntext;
          }
          mark = chars + ch.nch;
          break;
        case 2:
          t->offset = chars;
          t->text = tp;
          [[fallthrough]];
        case 3:
          if (copied + ch.ntext <= maxtok) {
            std::memcpy(tp + copied, ch.text, ch.ntext);
            copied += ch.ntext;
          }
          mark = chars + ch.nch;
          [[fallthrough]];
        case 4:
          pos += ch.in;
          chars += ch.nch;
          break;
        default:
          dracnierr(l->st, DRFAC_DRG, 50603, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                    static_cast<int>(tr.act), 0);
          return fail();
      }
    }
    uint8_t type = kStates[from].type;
    if (type == DRTOK_PIECE && copied == 2) type = l->prevend == from ? DRTOK_LAST : DRTOK_SINGLE;
    l->prevend = from;
    tp[copied] = '\0';
    t->type = type;
    t->length = static_cast<uint8_t>(copied);
    t->flag = 0;
    t->weight = 1;
    t->extent = t->text ? static_cast<uint8_t>((mark - t->offset) & 0xFF) : 0;
    tp += copied + 1;
    room -= copied + 1;
    ++n;
    ended = type == DRTOK_END;
  }
  l->pos = pos;
  l->chars = chars;
  *toks = l->toks;
  *count = n;
  return ended ? 2 : 0;
}

int drljnop(drobj *) { return 0; }

int drljfree(drobj *o) {
  drlxfree(lexof(o));
  return 0;
}

const drlexops kOps = {.bnd = drljbnd,
                       .mode = drljmode,
                       .count = drljcount,
                       .next = drljnext,
                       .query = drljquery,
                       .tok = drljtok,
                       .reset = drljnop,
                       .free = drljfree};

}  // namespace

drobj *drljmake(drsrvstate *s, drheap h, int32_t objid, const int32_t *sets, int nsets) {
  const nlscs *cs = dracncs(s);
  const drljcs *tab = nullptr;
  for (int k = 0; k < nsets; ++k)
    if (cs && cs->id == sets[k]) tab = drljtab(sets[k]);
  if (!tab) {
    char name[101];
    nlscpy(cs, name, sizeof name, cs ? cs->name : "");
    dracnerr(s, DRFAC_DRG, 11102, 2, DRA_STR, name, 0);
    druetrc();
    return nullptr;
  }
  const drobjhd<drlexops> tpl = {{DRCLS_LEXER, objid, nullptr}, kOps};
  auto *l = drobjnew<drljobj>(s, h, tpl);
  if (!l) return nullptr;
  l->prefid = -1;
  l->polid = -1;
  l->mode = 0;
  l->csid = static_cast<int16_t>(tab->id);
  l->tab = tab;
  return &l->hd.obj;
}

drobj *drljnew(drsrvstate *s, drheap h) {
  static const int32_t kJapanese[] = {NLS_JA16EUC, NLS_JA16SJIS};
  return drljmake(s, h, 5, kJapanese, 2);
}
