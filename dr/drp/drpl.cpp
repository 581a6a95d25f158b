/* The query lexer with its four modes (normal, escaped, parameter list,
 * stored-query name) and the keyword table it looks operator words up in. */
#include <cstdio>
#include <cstring>

#include "dr/drp/drpint.h"

struct drphent {
  char name[DRPA_WORDMAX + 1];
  uint16_t code;
  int16_t next;             /* next entry of the bucket, -1 at the end */
};

enum { DRPH_BUCKETS = 107, DRPH_ENTRIES = 40 };

struct drphtab {
  int16_t heads[DRPH_BUCKETS];
  int16_t count;
  drphent ents[DRPH_ENTRIES];
};

namespace {

unsigned hashof(const char *s) {
  unsigned h = 0;
  for (; *s; s++) h = h * 31u + static_cast<unsigned char>(*s);
  return h % DRPH_BUCKETS;
}

void hashfail(drsrvstate *srv, int line) {
  dracnout(srv, "hash map failed\n", 0);
  dracnierr(srv, DRFAC_DRG, DRPM_INTERNAL, 2, DRA_STR, __FILE__, DRA_INT, line, 0);
}

struct opchar {
  char c;
  uint16_t code;
};

/* Single-byte operator characters and their tokens ('}' and ',' are
 * handled on their own). */
const opchar kOps[] = {
    {'(', DRPT_OPAREN}, {')', DRPT_CPAREN},   {'[', DRPT_OSQUARE}, {']', DRPT_CSQUARE},
    {'{', DRPT_OESCAPE}, {'@', DRPT_EXECUTE}, {'$', DRPT_STEM},    {'?', DRPT_FUZZY},
    {'!', DRPT_SOUNDEX}, {'^', DRPT_THEME},   {'|', DRPT_OR},      {'&', DRPT_AND},
    {'~', DRPT_NOT},     {'-', DRPT_MINUS},   {';', DRPT_NEAR},    {'=', DRPT_EQUIV},
    {'>', DRPT_THRESH},  {'*', DRPT_WEIGHT},  {':', DRPT_MAXDOC},  {'#', DRPT_FIRSTDOC},
};

/* Characters that end a word in normal mode, besides white space. */
constexpr const char *kNormalEnds = ",|&~-*>:#$?!^@;=[](){}";

tqtoken *settok(drpmstate *st, int code, int32_t value) {
  tqtoken *t = &st->tok;
  std::memset(t, 0, sizeof *t);
  t->code = static_cast<uint16_t>(code);
  t->source = "stdin";
  t->where1 = 6;
  t->where2 = 0;
  std::memcpy(t->value, &value, sizeof value);
  return t;
}

void step(drpmstate *st) {
  st->consumed += static_cast<int32_t>(nlscurlen(&st->cur));
  nlscurnext(&st->cur);
}

/* Reports a lexical error (once per parse) and hands out the error token. */
tqtoken *lexfail(drpmstate *st, int specific, int32_t num) {
  if (!st->reported) {
    if (specific) dracnerr(st->srv, DRFAC_DRG, specific, 1, 0);
    drpgposset(&st->buf->err, num);
    drpgerrpos(st->srv, &st->buf->err, st->text);
    st->reported = 1;
  }
  return settok(st, DRPT_ERROR, 0);
}

}  // namespace

int drphnew(drsrvstate *srv, drphtab **out) {
  auto *t = static_cast<drphtab *>(
      drumalc(srv, srv->hpmgr, srv->cmdhp, 1, sizeof(drphtab), __FILE__, __LINE__));
  if (!t) return 1;
  for (int16_t &h : t->heads) h = -1;
  t->count = 0;
  *out = t;
  return 0;
}

int drphput(drphtab *t, drsrvstate *srv, const char *name, uint16_t code) {
  size_t len = std::strlen(name);
  if (!t || len > DRPA_WORDMAX || t->count >= DRPH_ENTRIES) {
    hashfail(srv, __LINE__);
    return 1;
  }
  unsigned h = hashof(name);
  for (int16_t i = t->heads[h]; i >= 0; i = t->ents[i].next) {
    if (std::strcmp(t->ents[i].name, name) == 0) {
      t->ents[i].code = code;
      return 0;
    }
  }
  drphent &e = t->ents[t->count];
  std::memcpy(e.name, name, len + 1);
  e.code = code;
  e.next = t->heads[h];
  t->heads[h] = t->count++;
  return 0;
}

int drphget(drphtab *t, drsrvstate *srv, const char *name, uint16_t *code) {
  *code = 0;
  if (!t) return 1;
  for (int16_t i = t->heads[hashof(name)]; i >= 0; i = t->ents[i].next) {
    if (std::strcmp(t->ents[i].name, name) == 0) {
      *code = t->ents[i].code;
      return 0;
    }
  }
  return 1;
}

void drphfree(drphtab **t, drsrvstate *srv) {
  if (!t || !*t) return;
  void *p = *t;
  drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
  *t = nullptr;
}

int drpmkwfill(drsrvstate *srv, drphtab *t) {
  static const struct {
    const char *name;
    uint16_t code;
  } kw[] = {{"ACCUM", DRPT_ANY}, {"OR", DRPT_OR},     {"AND", DRPT_AND},      {"NOT", DRPT_NOT},
            {"MINUS", DRPT_MINUS}, {"NEAR", DRPT_NEAR}, {"EQUIV", DRPT_EQUIV},
            {"EXEC", DRPT_EXECUTE}, {"SQE", DRPT_SQE}, {"SYN", 271},        {"NT", 272},
            {"BT", 273},           {"PT", 274},       {"TT", 275},          {"RT", 276},
            {"BTP", 277},          {"BTG", 278},      {"NTP", 279},         {"NTG", 280}};
  for (const auto &k : kw) {
    if (drphput(t, srv, k.name, k.code)) {
      dracnierr(srv, DRFAC_DRG, DRPM_KWINS, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      return 1;
    }
  }
  return 0;
}

int drpmmods(uint8_t *flags, const char *mods, int32_t *pos) {
  uint8_t f = 0;
  for (int32_t i = 0; mods && mods[i]; i++) {
    switch (mods[i]) {
      case '!': f |= DRPF_SOUNDEX; break;
      case '$': f |= DRPF_STEM; break;
      case '?': f |= DRPF_FUZZY; break;
      case '^': f |= DRPF_THEME; break;
      default:
        *pos = i + 1;
        return 1;
    }
  }
  *flags = f;
  return 0;
}

int drpgdelim(drpmstate *st) {
  size_t len = nlscurlen(&st->cur);
  if (len == 0) return 1;
  if (len > 1) return 0;
  char c = *st->cur.pos;
  bool space = (nlscurcls(&st->cur) & NLS_SPACE) != 0;
  if (st->paramdepth > 0) {
    if (st->escaped) return c == '}';
    return c == ')' || c == ',' || c == '{' || c == '}' || space;
  }
  if (st->sqemode) return c == ')';
  if (st->escaped) return c == '}';
  return (c != 0 && std::strchr(kNormalEnds, c) != nullptr) || space;
}

tqtoken *drpglex(drpmstate *st) {
  st->ntokens++;
  if (st->pendclose) {
    st->pendclose = 0;
    st->escaped = 0;
    return settok(st, DRPT_CESCAPE, 0);
  }
  if (!st->escaped && !st->sqemode) {
    while (nlscurlen(&st->cur) > 0 && (nlscurcls(&st->cur) & NLS_SPACE)) step(st);
  }
  drpgposlen(&st->buf->err, st->consumed);

  char word[DRPA_WORDMAX + 8];
  size_t n = 0;
  bool wild = false;
  bool literalbrace = false;
  if (nlscuris(&st->cur, '}')) {
    step(st);
    if (st->escaped && nlscuris(&st->cur, '}')) {
      literalbrace = true; /* "}}" inside braces: one literal brace starts a word */
    } else {
      st->escaped = 0;
      return settok(st, DRPT_CESCAPE, 0);
    }
  }
  if (!literalbrace && drpgdelim(st)) {
    if (nlscurlen(&st->cur) == 0) {
      if (st->escaped) return lexfail(st, DRPM_UNCLOSED, DRPM_QUERY);
      std::fflush(stdout);
      return settok(st, DRPT_EOF, 0);
    }
    char c = *st->cur.pos;
    if (c == ',') {
      step(st);
      return settok(st, st->paramdepth > 0 ? DRPT_PLSEP : DRPT_ANY, 0);
    }
    for (const opchar &o : kOps) {
      if (o.c == c) {
        step(st);
        if (c == '{') st->escaped = 1;
        return settok(st, o.code, 0);
      }
    }
    /* Any other delimiter is scanned as a word of its own. */
  }

  bool toolong = false;
  do {
    size_t len = nlscurlen(&st->cur);
    if (len == 0) break;
    if (literalbrace) {
      literalbrace = false;
    } else if (nlscuris(&st->cur, '\\')) {
      step(st);
      len = nlscurlen(&st->cur);
      if (len == 0) break; /* a trailing backslash adds nothing */
    } else if (!st->escaped && (nlscuris(&st->cur, '_') || nlscuris(&st->cur, '%'))) {
      wild = true;
    }
    if (n + len > DRPA_WORDMAX) {
      toolong = true;
      break;
    }
    std::memcpy(word + n, st->cur.pos, len);
    n += len;
    step(st);
    if (st->escaped && nlscuris(&st->cur, '}')) {
      if (st->cur.pos + 1 < st->cur.end && st->cur.pos[1] == '}') {
        if (n + 1 > DRPA_WORDMAX) {
          toolong = true;
          break;
        }
        word[n++] = '}';
        step(st);
        step(st);
      } else {
        step(st);
        st->pendclose = 1;
        break;
      }
    }
  } while (!drpgdelim(st));

  if (toolong || n >= DRPA_WORDMAX) return lexfail(st, 0, DRPM_LONGWORD);
  word[n] = 0;

  if (!st->escaped && st->paramdepth == 0 && !st->sqemode && st->keywords) {
    char upper[DRPA_WORDMAX + 8];
    nlsupper(drpcs(st->srv), upper, sizeof upper, word, n);
    uint16_t code = 0;
    if (drphget(st->keywords, st->srv, upper, &code) == 0) return settok(st, code, 0);
  }

  int32_t off = 0;
  if (drpanewstr(&off, word, &st->buf)) {
    dracnout(st->srv, "Lexer fails to malloc\n", 0);
    return lexfail(st, 0, DRPM_NOMEM);
  }
  int code = st->paramdepth > 0 ? DRPT_PARAM
             : st->sqemode      ? DRPT_SQENAME
             : wild             ? DRPT_WCWORD
                                : DRPT_WORD;
  return settok(st, code, off);
}
