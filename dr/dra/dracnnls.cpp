// Reading the language settings from NLS_LANG (language_territory.charset)
// into the server state through the national-language layer, and the
// accessors by which server units reach the session character set.
#include <cstddef>
#include <cstring>
#include <new>

#include "dr/dra/dra.h"
#include "platform/nls/nls.h"

static_assert(sizeof(nlsws) <= sizeof(drsrvstate::lxwsarea));
static_assert(sizeof(nlslang) <= sizeof(drsrvstate::lxset));
static_assert(offsetof(nlsws, status) == 0, "the status is the workspace's first word");

int dracnnls(drsrvstate *st) {
  auto *ws = new (st->lxwsarea) nlsws{};
  nlswsinit(ws);
  st->lxws = ws;
  auto *lang = new (st->lxset) nlslang{};
  if (nlsreadenv(ws, lang) != 0) {
    switch (ws->status) {
      case NLS_ST_LANGUAGE:
        dracnout(st, "NLS_LANG language invalid.\n", 0);
        druetrc();
        return 1;
      case NLS_ST_TERRITORY:
        dracnout(st, "NLS_LANG territory invalid.\n", 0);
        druetrc();
        return 1;
      case NLS_ST_CHARSET:
        dracnout(st, "NLS_LANG character set invalid.\n", 0);
        druetrc();
        return 1;
      default:
        dracnout(st, "NLS_LANG not set - using defaults.\n", 0);
        nlsdefaults(lang);
        break;
    }
  }
  st->lxhd = lang;
  nlscpy(lang->cs, st->csname, sizeof st->csname, lang->cs->name);
  return 0;
}

const nlslang *dracnlang(const drsrvstate *st) {
  return st ? static_cast<const nlslang *>(st->lxhd) : nullptr;
}

const nlscs *dracncs(const drsrvstate *st) {
  const nlslang *lang = dracnlang(st);
  return lang ? lang->cs : nlscsbyid(NLS_US7ASCII);
}
