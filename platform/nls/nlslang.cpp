// NLS_LANG settings: the languages and territories the server knows and the
// parse of language_territory.charset into a language handle.
#include "platform/nls/nls.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

struct langdef {
  const char* name;
  const char* territory;  // default territory of the language
};

struct terrdef {
  const char* name;
  char decimal;
  char group;
};

const langdef kLanguages[] = {
    {"AMERICAN", "AMERICA"},       {"ENGLISH", "UNITED KINGDOM"},
    {"GERMAN", "GERMANY"},         {"FRENCH", "FRANCE"},
    {"ITALIAN", "ITALY"},          {"SPANISH", "SPAIN"},
    {"DUTCH", "THE NETHERLANDS"},  {"JAPANESE", "JAPAN"},
    {"KOREAN", "KOREA"},           {"SIMPLIFIED CHINESE", "CHINA"},
    {"TRADITIONAL CHINESE", "TAIWAN"},
};

const terrdef kTerritories[] = {
    {"AMERICA", '.', ','}, {"UNITED KINGDOM", '.', ','}, {"GERMANY", ',', '.'},
    {"FRANCE", ',', '.'},  {"ITALY", ',', '.'},          {"SPAIN", ',', '.'},
    {"THE NETHERLANDS", ',', '.'}, {"JAPAN", '.', ','},  {"KOREA", '.', ','},
    {"CHINA", '.', ','},   {"TAIWAN", '.', ','},
};

const langdef* findlang(const std::string& name) {
  for (const langdef& l : kLanguages)
    if (strcasecmp(l.name, name.c_str()) == 0) return &l;
  return nullptr;
}

const terrdef* findterr(const std::string& name) {
  for (const terrdef& t : kTerritories)
    if (strcasecmp(t.name, name.c_str()) == 0) return &t;
  return nullptr;
}

int fail(nlsws* ws, int32_t status) {
  ws->status = status;
  return 1;
}

}  // namespace

void nlswsinit(nlsws* ws) { std::memset(ws, 0, sizeof *ws); }

void nlsdefaults(nlslang* out) {
  out->language = kLanguages[0].name;
  out->territory = kTerritories[0].name;
  out->cs = nlscsbyid(NLS_WE8ISO8859P1);
  out->decimal = kTerritories[0].decimal;
  out->group = kTerritories[0].group;
}

int nlsread(nlsws* ws, nlslang* out, const char* text) {
  ws->status = NLS_ST_OK;
  if (text == nullptr || *text == '\0') return 1;
  std::string s(text);
  std::string lang = s, terr, csname;
  bool hascs = false, hasterr = false;
  // The set's name holds no point, a language or territory name no underscore.
  if (size_t dot = s.rfind('.'); dot != std::string::npos) {
    csname = s.substr(dot + 1);
    lang = s.substr(0, dot);
    hascs = true;
  }
  if (size_t us = lang.find('_'); us != std::string::npos) {
    terr = lang.substr(us + 1);
    lang = lang.substr(0, us);
    hasterr = true;
  }
  const langdef* l = lang.empty() ? &kLanguages[0] : findlang(lang);
  if (!l) return fail(ws, NLS_ST_LANGUAGE);
  const terrdef* t = findterr(hasterr && !terr.empty() ? terr : std::string(l->territory));
  if (!t) return fail(ws, NLS_ST_TERRITORY);
  const nlscs* cs = hascs ? nlscsbyname(csname.c_str()) : nlscsbyid(NLS_WE8ISO8859P1);
  if (!cs) return fail(ws, NLS_ST_CHARSET);
  out->language = l->name;
  out->territory = t->name;
  out->cs = cs;
  out->decimal = t->decimal;
  out->group = t->group;
  return 0;
}

int nlsreadenv(nlsws* ws, nlslang* out) { return nlsread(ws, out, std::getenv("NLS_LANG")); }
