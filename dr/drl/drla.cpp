// The default lexer: byte tables prepared once at binding, one state table,
// token batches in one text area, and a refill that keeps the one byte of
// look-ahead the tables need across the ends of the input buffer.
#include "dr/drl/drla.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/drl/drlx.h"
#include "platform/nls/nls.h"

namespace {

// Character classes the state table is indexed by.
enum : int32_t {
  CL_LETTER = 0, CL_DIGIT = 1, CL_PUNCT = 2, CL_DECIMAL = 3, CL_GROUP = 4,
  CL_SPACE = 5, CL_TAB = 6, CL_NEWLINE = 7, CL_OTHER = 8, CL_END = 9,
  CL_LOOK = 10  // decided by the byte that follows
};

constexpr uint8_t E = 13;  // the state in which a token is complete

// One transition: the next state and the action taken on the way.
struct drlatr {
  uint8_t next;
  uint8_t act;
};

// One state: its own number (checked at binding), the type of a token that
// ends from it, and its transitions by class.
struct drlastate {
  uint8_t num;
  uint8_t type;
  drlatr tr[10];
};

// Actions: 0 look again in the new state, 1 start a token and copy, 2 copy,
// 3 skip counting the byte into the extent, 4 skip without counting it.
const drlastate kStates[12] = {
    //      letter  digit   punct   decimal group   space   tab     newline other   end
    {0, 0, {{1, 1}, {3, 1}, {6, 3}, {4, 1}, {0, 3}, {0, 3}, {0, 3}, {0, 3}, {0, 3}, {11, 0}}},
    {1, 1, {{1, 2}, {2, 2}, {E, 0}, {E, 4}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {2, 4, {{2, 2}, {2, 2}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {3, 2, {{2, 2}, {3, 2}, {E, 0}, {4, 2}, {5, 2}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {4, 2, {{2, 2}, {4, 2}, {E, 0}, {2, 2}, {2, 2}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    // A group character is only classed so before a digit: no letter here.
    {5, 2, {{E, 0}, {3, 2}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
    {6, 5, {{0, 0}, {0, 0}, {6, 3}, {0, 3}, {0, 3}, {7, 3}, {7, 3}, {8, 3}, {7, 3}, {E, 0}}},
    {7, 5, {{E, 0}, {E, 0}, {6, 3}, {E, 0}, {E, 0}, {7, 3}, {7, 3}, {8, 3}, {E, 3}, {E, 0}}},
    {8, 5, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {9, 3}, {10, 3}, {10, 3}, {E, 3}, {E, 0}}},
    {9, 5, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {10, 3}, {10, 3}, {10, 3}, {E, 3}, {E, 0}}},
    {10, 6, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 3}, {E, 3}, {E, 3}, {E, 3}, {E, 0}}},
    {11, 7, {{E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}, {E, 0}}},
};

drlaobj *lexof(drobj *o) { return reinterpret_cast<drlaobj *>(o); }

// Pushes an internal error of this unit with the line it was found at; 1.
int ierr(drsrvstate *s, int num, int line) { return drlxierr(s, num, __FILE__, line); }

// The value of a string attribute (a number attribute as its digits),
// copied into the session character set, at most 32 bytes.
void drlaval(const nlscs *cs, const drdmattr *a, char (&out)[DRLA_MAXTOK + 1]) {
  char num[16];
  const char *v = a->value.str;
  if (a->datatype != 1) {
    std::snprintf(num, sizeof num, "%d", static_cast<int>(a->value.num));
    v = num;
  }
  nlsncpy(cs, out, sizeof out, v ? v : "", DRLA_MAXTOK);
}

// The settings binding reads from the preference before the tables are made.
struct drlaset {
  char punct[DRLA_MAXTOK + 1];
  char keep[DRLA_MAXTOK + 1];
  char drop[DRLA_MAXTOK + 1];
  char cont[DRLA_MAXTOK + 1];
  unsigned char decimal;
  unsigned char group;
  uint8_t conv;
};

// Applies one attribute of the preference; 0, or 1 after pushing why.
int drlaattr(drlaobj *l, const nlscs *cs, const drdmattr *a, drlaset *set) {
  char v[DRLA_MAXTOK + 1];
  switch (a->ordinal) {
    case 1: drlaval(cs, a, set->punct); return 0;
    case 2: drlaval(cs, a, set->keep); return 0;
    case 3: drlaval(cs, a, set->drop); return 0;
    case 4: drlaval(cs, a, v); set->decimal = static_cast<unsigned char>(v[0]); return 0;
    case 5: drlaval(cs, a, v); set->group = static_cast<unsigned char>(v[0]); return 0;
    case 6: drlaval(cs, a, set->cont); return 0;
    case 7:
      set->conv = 0;
      if (drdpnum(a) != 1) return 0;
      // The conversion maps one byte to one byte: it has no meaning where a
      // character takes more.
      if (nlsinfo(cs, NLS_INFO_WIDTH) > 1) {
        dracnerr(l->st, DRFAC_DRG, 10709, 2, 0);
        druetrc();
        return 1;
      }
      set->conv = 1;
      return 0;
    default:
      dracnierr(l->st, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                static_cast<int>(a->ordinal), 0);
      druetrc();
      return 1;
  }
}

// Adds a property bit to every byte of a NUL-terminated set.
void drlamark(drlaobj *l, const char *bytes, int32_t bit) {
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes); *p; ++p)
    l->prop[*p] |= bit;
}

// Makes the translation, class and property tables from the settings.
void drlatables(drlaobj *l, const nlscs *cs, const drlaset *set) {
  for (int b = 0; b < 256; ++b) {
    const auto u = static_cast<unsigned char>(b);
    l->trans[b] = u;
    l->cls[b] = CL_LOOK;
    l->prop[b] = 0;
    uint16_t f = nlscls1(cs, u);
    if (f & NLS_ALPHA) {
      l->cls[b] = CL_LETTER;
      l->prop[b] = DRLA_LETTER;
      unsigned char t = set->conv ? nlsbase1(cs, u) : u;
      l->trans[b] = nlsupper1(cs, t);
    } else if (f & NLS_DIGIT) {
      l->cls[b] = CL_DIGIT;
      l->prop[b] = DRLA_DIGIT;
    }
  }
  l->cls[' '] = CL_SPACE;
  l->cls['\t'] = CL_TAB;
  l->cls['\n'] = CL_NEWLINE;
  static const unsigned char kWhite[] = {0, '\t', '\n', ' '};
  for (unsigned char w : kWhite) l->prop[w] |= DRLA_WHITE;
  l->prop['\n'] |= DRLA_NEWLINE;
  l->prop[set->decimal] |= DRLA_DECIMAL;
  l->prop[set->group] |= DRLA_GROUP;
  drlamark(l, set->cont, DRLA_CONT);
  drlamark(l, set->drop, DRLA_DROP);
  drlamark(l, set->keep, DRLA_KEEP);
  drlamark(l, set->punct, DRLA_PUNCT);
  const unsigned char wild[2] = {'%', '_'};
  for (int k = 0; k < 2; ++k) {
    l->wildtr[k] = l->trans[wild[k]];
    l->wildcls[k] = l->cls[wild[k]];
    l->wildprop[k] = l->prop[wild[k]];
  }
}

// Puts '%' and '_' back as binding classed them, or (wild) makes them
// letters that stand for themselves.
void drlawild(drlaobj *l, bool wild) {
  const unsigned char bytes[2] = {'%', '_'};
  for (int k = 0; k < 2; ++k) {
    unsigned char b = bytes[k];
    l->trans[b] = wild ? b : l->wildtr[k];
    l->cls[b] = wild ? CL_LETTER : l->wildcls[k];
    l->prop[b] = wild ? (l->wildprop[k] | DRLA_LETTER) : l->wildprop[k];
  }
}

// Binds the lexer to its policy, filter and preference (a later call for the
// same policy only replaces the filter); 0 / 1.
int drlabnd(drobj *o, int32_t polid, drobj *fil, int32_t prefid) {
  drlaobj *l = lexof(o);
  drsrvstate *s = l->st;
  if (int rc = drlxrebind(l, polid, fil); rc >= 0) return rc;
  l->polid = polid;
  l->prefid = prefid;
  l->src = fil;
  l->bufsize = DRLA_BUFSIZE;
  l->batch = DRLA_BATCH;
  l->maxtok = DRLA_MAXTOK;

  const nlscs *cs = dracncs(s);
  const nlslang *lang = dracnlang(s);
  drlaset set{};
  nlscpy(cs, set.punct, sizeof set.punct, ".?!");
  nlscpy(cs, set.cont, sizeof set.cont, "-\\");
  set.decimal = static_cast<unsigned char>(lang ? lang->decimal : '.');
  set.group = static_cast<unsigned char>(lang ? lang->group : ',');

  drdplist *list = nullptr;
  bool ok = drdpopn(s, prefid, &list) == 0;
  drdmattr *a = nullptr;
  while (ok && drdpnxt(list, &a) == 0) ok = drlaattr(l, cs, a, &set) == 0;
  if (list) drdpcls(list);

  // The table is fixed in the program; its own numbers guard its order.
  for (int k = 0; ok && k < 12; ++k)
    if (kStates[k].num != k) ok = ierr(s, 50601, __LINE__) == 0;

  if (ok) ok = drlxbufs(l, 0);
  if (!ok) return drlxunbind(l);
  l->conv = set.conv;
  drlatables(l, cs, &set);
  return 0;
}

// Switches between reading documents (1) and tokenising query words (2).
int drlamode(drobj *o, int32_t mode) {
  drlaobj *l = lexof(o);
  if (drlxmode(l, mode) != 0) return 1;
  if (mode == 1) drlawild(l, false);
  return 0;
}

// The filter's document count.
int drlacount(drobj *o, int32_t *count) {
  return drlxcount(lexof(o), count);
}

// Starts the next document; with a key pointer the filter moves on first.
int drlanext(drobj *o, int32_t *op, char **key) {
  drlaobj *l = lexof(o);
  if (l->mode != 1) return ierr(l->st, 50601, __LINE__);
  l->end = l->pos = l->base = 0;
  l->eos = 0;
  return drlxfilnext(l, op, key);
}

// Makes a query word the text to tokenise.
int drlaquery(drobj *o, const char *text, uint8_t wild) {
  drlaobj *l = lexof(o);
  if (l->mode != 2) return ierr(l->st, 50601, __LINE__);
  l->text = text ? text : "";
  l->pos = l->base = 0;
  l->end = static_cast<int32_t>(std::strlen(l->text));
  l->eos = 1;
  drlawild(l, wild != 0);
  return 0;
}

// Refills the input buffer from the filter, keeping the one unread byte the
// look-ahead still needs at its start; 0 / 1.
int drlafill(drlaobj *l, int32_t *pos, int32_t *base) {
  if (l->mode != 1 || !l->src) return ierr(l->st, 50601, __LINE__);
  int32_t keep = *pos < l->end ? 1 : 0;
  if (keep) l->inbuf[0] = l->inbuf[*pos];
  int32_t room = l->bufsize - keep, got = 0;
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
  l->end = got + keep;
  *base += *pos;
  *pos = 0;
  return 0;
}

// The next batch of tokens; 2 when it ends with the end-of-document token.
// The position, the end and the tables are kept in locals while bytes are
// stepped through: token text is written through a char pointer, which the
// compiler must otherwise assume can change the record under it.
int drlatok(drobj *o, int32_t max, drtoken **toks, int32_t *count) {
  drlaobj *l = lexof(o);
  if (!l->toks || (l->mode != 1 && l->mode != 2)) return ierr(l->st, 50601, __LINE__);
  const int32_t limit = (max > 0 && max < l->batch) ? max : l->batch;
  const int32_t maxtok = l->maxtok;
  const uint8_t *const trans = l->trans;
  const int32_t *const cls = l->cls;
  const int32_t *const prop = l->prop;
  int32_t room = l->bufsize - maxtok;
  char *tp = l->area;
  int32_t n = 0;
  uint32_t ext = 0;
  bool ended = false;
  int32_t pos = l->pos, end = l->end, base = l->base;
  bool eos = l->eos != 0;
  const auto *txt = reinterpret_cast<const unsigned char *>(l->text);
  while (n < limit && room > 0 && !ended) {
    drtoken *t = &l->toks[n];
    t->text = nullptr;
    t->offset = 0;
    t->value = 0;
    int32_t copied = 0;
    uint8_t state = 0, from = 0;
    while (state != E) {
      if (pos + 1 >= end && !eos) {
        if (drlafill(l, &pos, &base) != 0) {
          l->pos = pos;
          l->base = base;
          druetrc();
          return 1;
        }
        end = l->end;
        eos = l->eos != 0;
        txt = reinterpret_cast<const unsigned char *>(l->text);
        continue;
      }
      const unsigned char b = pos < end ? txt[pos] : 0;
      int32_t c = pos < end ? cls[b] : CL_END;
      if (c == CL_LOOK) {
        const int32_t p = prop[b];
        const int32_t nx = pos + 1 < end ? prop[txt[pos + 1]] : 0;
        if ((p & DRLA_DECIMAL) && (nx & DRLA_DIGIT)) {
          c = CL_DECIMAL;
        } else if ((p & DRLA_GROUP) && (nx & DRLA_DIGIT)) {
          c = CL_GROUP;
        } else if ((p & (DRLA_KEEP | DRLA_DROP)) && (nx & (DRLA_LETTER | DRLA_DIGIT))) {
          if (p & DRLA_DROP) {
            ++pos;
            ++ext;
            continue;
          }
          c = CL_LETTER;
        } else if ((p & DRLA_CONT) && (nx & DRLA_NEWLINE)) {
          pos += 2;
          ext += 2;
          continue;
        } else if ((p & DRLA_PUNCT) && (nx & DRLA_WHITE)) {
          c = CL_PUNCT;
        } else {
          c = CL_OTHER;
        }
      }
      from = state;
      const drlatr tr = kStates[state].tr[c];
      state = tr.next;
      switch (tr.act) {
        case 0:
          break;
        case 1:
          t->offset = base + pos;
          t->text = tp;
          ext = 0;
          [[fallthrough]];
        case 2:
          if (copied < maxtok) tp[copied++] = static_cast<char>(trans[b]);
          ++pos;
          ++ext;
          break;
        case 3:
          ++pos;
          ++ext;
          break;
        case 4:
          ++pos;
          break;
        default:
          l->pos = pos;
          l->base = base;
          dracnierr(l->st, DRFAC_DRG, 50603, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                    static_cast<int>(tr.act), 0);
          druetrc();
          return 1;
      }
    }
    tp[copied] = '\0';
    t->length = static_cast<uint8_t>(copied);
    t->type = kStates[from].type;
    t->flag = 0;
    t->weight = 1;
    t->extent = static_cast<uint8_t>(ext & 0xFF);
    tp += copied + 1;
    room -= copied + 1;
    ++n;
    ended = t->type == DRTOK_END;
  }
  l->pos = pos;
  l->base = base;
  *toks = l->toks;
  *count = n;
  return ended ? 2 : 0;
}

// Does nothing.
int drlanop(drobj *) { return 0; }

// Frees the buffers and the lexer.
int drlafree(drobj *o) {
  drlxfree(lexof(o));
  return 0;
}

const drobjhd<drlexops> kTpl = {{DRCLS_LEXER, 1, nullptr},
                                {.bnd = drlabnd,
                                 .mode = drlamode,
                                 .count = drlacount,
                                 .next = drlanext,
                                 .query = drlaquery,
                                 .tok = drlatok,
                                 .reset = drlanop,
                                 .free = drlafree}};

}  // namespace

drobj *drlanew(drsrvstate *s, drheap h) {
  const nlscs *cs = dracncs(s);
  if (!(cs->flags & NLS_CS_SINGLE)) {
    char name[101];
    nlscpy(cs, name, sizeof name, cs->name);
    dracnerr(s, DRFAC_DRG, 11102, 2, DRA_STR, name, 0);
    druetrc();
    return nullptr;
  }
  auto *l = drobjnew<drlaobj>(s, h, kTpl);
  if (!l) return nullptr;
  l->prefid = -1;
  l->polid = -1;
  l->mode = 0;
  l->conv = 0;
  return &l->hd.obj;
}

int drlaconv(const drobj *lex) {
  if (!lex || lex->clsid != DRCLS_LEXER || lex->objid != 1) return 0;
  // Other lexers carry object id 1 too: only the default lexer's own table
  // says that the record behind it is this one.
  if (drops<drlexops>(lex)->tok != kTpl.ops.tok) return 0;
  return reinterpret_cast<const drlaobj *>(lex)->conv;
}
