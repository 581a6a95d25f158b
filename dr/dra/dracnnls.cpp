// Reading the language settings from NLS_LANG (language_territory.charset)
// into the server state: a first small version over fixed name lists.
#include "dr/dra/dra.h"

#include <cstdio>
#include <cstring>

#include <strings.h>

namespace {

// Status words of the workspace after a settings read.
enum { LX_NOTSET = 0, LX_BADLANG = 18, LX_BADTERR = 19, LX_BADCS = 20 };

struct lxwork {
  int32_t status;
};

struct lxsettings {
  char lang[64];
  char terr[64];
  char cs[128];
};

static_assert(sizeof(lxwork) <= sizeof(drsrvstate::lxwsarea));
static_assert(sizeof(lxsettings) <= sizeof(drsrvstate::lxset));

const char *const kLangs[] = {"AMERICAN", "ENGLISH", "GERMAN", "FRENCH", "SPANISH", "ITALIAN",
                              "DUTCH", "SWEDISH", "DANISH", "NORWEGIAN", "FINNISH", "PORTUGUESE",
                              "JAPANESE", "KOREAN", "SIMPLIFIED CHINESE", "TRADITIONAL CHINESE"};
const char *const kTerrs[] = {"AMERICA", "UNITED KINGDOM", "GERMANY", "FRANCE", "SPAIN", "ITALY",
                              "THE NETHERLANDS", "SWEDEN", "DENMARK", "NORWAY", "FINLAND",
                              "PORTUGAL", "JAPAN", "KOREA", "CHINA", "TAIWAN"};
const char *const kSets[] = {"US7ASCII", "WE8ISO8859P1", "WE8MSWIN1252", "WE8DEC", "JA16EUC",
                             "JA16SJIS", "ZHS16CGB231280", "ZHS16GBK", "ZHT16BIG5", "ZHT32EUC",
                             "KO16KSC5601", "UTF8", "AL32UTF8"};

template <size_t N>
const char *known(const char *const (&list)[N], const char *s, size_t n) {
  for (const char *e : list)
    if (std::strlen(e) == n && strncasecmp(e, s, n) == 0) return e;
  return nullptr;
}

void say(drsrvstate *st, const char *text) {
  rtstream *out = rtstdout(st->rt);
  rtfwrite(out, text, std::strlen(text));
  rtfflush(out);
}

// Parses language_territory.charset; every part may be left out. Returns
// the workspace status: 0 when every given part is known.
int parse(const char *v, lxsettings *set) {
  const char *dot = std::strchr(v, '.');
  const char *end = dot ? dot : v + std::strlen(v);
  const char *us = static_cast<const char *>(std::memchr(v, '_', static_cast<size_t>(end - v)));
  const char *lang_end = us ? us : end;
  if (lang_end > v) {
    const char *l = known(kLangs, v, static_cast<size_t>(lang_end - v));
    if (!l) return LX_BADLANG;
    std::snprintf(set->lang, sizeof set->lang, "%s", l);
  }
  if (us) {
    const char *t = known(kTerrs, us + 1, static_cast<size_t>(end - us - 1));
    if (!t) return LX_BADTERR;
    std::snprintf(set->terr, sizeof set->terr, "%s", t);
  }
  if (dot) {
    const char *c = known(kSets, dot + 1, std::strlen(dot + 1));
    if (!c) return LX_BADCS;
    std::snprintf(set->cs, sizeof set->cs, "%s", c);
  }
  return -1;  // parsed
}

}  // namespace

int dracnnls(drsrvstate *st) {
  std::memset(st->lxwsarea, 0, sizeof st->lxwsarea);
  auto *ws = reinterpret_cast<lxwork *>(st->lxwsarea);
  st->lxws = ws;
  auto *set = reinterpret_cast<lxsettings *>(st->lxset);
  std::memset(set, 0, sizeof *set);
  std::snprintf(set->lang, sizeof set->lang, "AMERICAN");
  std::snprintf(set->terr, sizeof set->terr, "AMERICA");
  std::snprintf(set->cs, sizeof set->cs, "US7ASCII");

  char v[256];
  int status = rtcfg(st->rt, "NLS_LANG", v, sizeof v) < 0 ? LX_NOTSET : parse(v, set);
  if (status >= 0) {
    ws->status = status;
    switch (status) {
      case LX_BADLANG: say(st, "NLS_LANG language invalid.\n"); return 1;
      case LX_BADTERR: say(st, "NLS_LANG territory invalid.\n"); return 1;
      case LX_BADCS: say(st, "NLS_LANG character set invalid.\n"); return 1;
      default:
        say(st, "NLS_LANG not set - using defaults.\n");
        std::snprintf(set->lang, sizeof set->lang, "AMERICAN");
        std::snprintf(set->terr, sizeof set->terr, "AMERICA");
        std::snprintf(set->cs, sizeof set->cs, "US7ASCII");
        break;
    }
  }
  st->lxhd = set;
  std::snprintf(st->csname, sizeof st->csname, "%s", set->cs);
  return 0;
}
