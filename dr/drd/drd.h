// The dictionary cache: policies (and text-loading sources) read from the
// dictionary tables on first use, the preferences they name with their
// attribute values, attribute lists for the components, index object names,
// refresh and dump. Also the text-loading cycle run for a source batch.
#ifndef KES_DR_DRD_DRD_H
#define KES_DR_DRD_DRD_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/dras.h"
#include "dr/dru/dru.h"
#include "dr/dru/drud.h"

// Limits of the cache.
enum : int32_t {
  DRDM_MAXPREF = 999,    // preference items the cache holds
  DRDM_MAXATTR = 4096,   // attributes kept per preference
  DRDM_NCLASS = 10,      // component classes per policy
  DRDM_COLSPEC = 98,     // bind buffer of a column specification
};

// One component of a policy: the preference chosen for its class and the
// object the registry built from it (null until built).
struct drdmcomp {
  int32_t prefid;
  drobj *obj;
};

// A policy (or text-loading source) as read by the policy statement.
struct drdmpol {
  int32_t id;                  // pol_id (src_id)
  char name[32];               // pol_name (src_name)
  char owner[32];              // pol_owner (src_owner)
  char table[32];              // pol_tablename (src_table_name)
  char textexpr[2000];         // pol_text_expr (src_column_name)
  int32_t texttype;            // pol_text_type (src_refresh)
  char keycols[257];           // pol_key_name (src_next as text)
  int32_t keytype;             // pol_key_type (src_sid)
  char lncol[32];              // pol_ln_name (src_owner)
  int32_t lntype;              // pol_ln_type (src_sid)
  char suffix[32];             // txi_suffix (src_name)
  drdmcomp comp[DRDM_NCLASS];  // class k at index k - 1
};

// One attribute of a preference.
struct drdmattr {
  char name[32];       // NUL-terminated
  int32_t ordinal;     // the attribute's number within its object
  int32_t datatype;    // 1 string, 0 number
  union {
    int32_t num;       // a number attribute
    const char *str;   // a string attribute, in the preference's text buffer
  } value;
};

// A preference item with its attributes.
struct drdmpref {
  int32_t id;
  int32_t clsid;
  int32_t objid;       // registry row that builds it
  char name[32];
  int32_t attrcnt;
  drdmattr *attrs;     // attrcnt entries, in the order of the attribute statement
  drubbuf *text;       // holds the string values
  drobj *obj;          // attached object (the word list built for it)
};

// An open attribute list of one preference.
struct drdplist {
  drsrvstate *s;
  uint16_t pos;        // next attribute drdpnxt hands out
  drdmpref *pref;
};

// The dictionary cache, hung on the server state.
struct drdmcache {
  drheap heap;                     // the cache's own sub-heap
  druhtab *pols;                   // policies by id
  uint32_t prefcnt;                // loaded preference items
  drdmpref *prefs[1000];           // in load order
  int32_t prids[DRDM_NCLASS];      // out array of drdinte.get_preferences
  int16_t prind[DRDM_NCLASS];      // its indicators
  uint32_t pridcnt;                // its element count
  drdmpref prefwa;                 // preference work area
  drdmattr attrwa[DRDM_MAXATTR];   // its attributes, as many as one preference may keep
  drdmpol polwa;                   // policy work area
  druocur *polcur;                 // the policy SELECT
  druocur *pdcur;                  // drdinte.get_pref_details
  druocur *prcur;                  // drdinte.get_preferences
  druocur *atcur;                  // the attribute SELECT
};

// Creates the cache and parses its statements; 0 / 1.
int drdmini(drsrvstate *s);
// Frees the cache with every policy's components; 0.
int drdmfre(drsrvstate *s);
// Drops a policy and its components from the cache; 0 (also when absent) / 1.
int drdmref(drsrvstate *s, int32_t polid);
// The cached policy, loaded when absent; null when it cannot be had.
drdmpol *drqpol(drsrvstate *s, int32_t polid);
// The policy that dr_utl.get_policy_id names for a column specification.
drdmpol *drqpnm(drsrvstate *s, const char *colspec);
// Loads one policy into the cache; 0 / 1.
int drdmldp(drsrvstate *s, int32_t polid, drdmpol **out);
// Loads the preferences of the policy in the work area; 0 / 1.
int drdmlpr(drsrvstate *s, drdmpol *polwa);
// Loads the attributes of the preference in the work area; 0 / 1.
int drdmlat(drsrvstate *s, drdmpref *prefwa);
// Adds a copy of the work area as a preference item unless loaded; 0 / 1.
int drdmadd(drsrvstate *s, drdmpref *prefwa);
// Inserts a copy of the policy work area into the policy table; 0 / 1.
int drdmput(drsrvstate *s, drdmpol *polwa, drdmpol **out);
// Runs dr_utl.get_policy_id for a column specification; 0 / 1.
int drdmcol(drsrvstate *s, const char *colspec, int32_t *polid);
// Parse the policy, preferences and attribute statements; 0 / 1.
int drdmopn(drsrvstate *s);
// Parses the preference-details statement; 0 / 1.
int drdmopd(drsrvstate *s);
// Writes a policy's index object name "OWNER.DR_nnnnn_SUFFIX"; 0 / 1.
int drdcnam(drsrvstate *s, int32_t polid, const char *suffix, char *buf, uint16_t size);
// Copies a policy's table-name suffix (buffer of at least 32 bytes); 0 / 1.
int drdcsfx(drsrvstate *s, int32_t polid, char *buf);
// The loaded preference item of an id, or null.
drdmpref *druhitm(drsrvstate *s, int32_t prefid);
// Class and object id of a loaded preference; 0, or 2 when not loaded.
int druhprf(drsrvstate *s, int32_t prefid, int32_t *clsid, int32_t *objid);
// Records an object on a loaded preference; 0, or 2 when not loaded.
int druhset(drsrvstate *s, int32_t prefid, drobj *obj);
// The object recorded on a loaded preference; 0, or 2 when not loaded.
int druhobj(drsrvstate *s, int32_t prefid, drobj **obj);
// Opens the attribute list of a loaded preference; 0 / 1.
int drdpopn(drsrvstate *s, int32_t prefid, drdplist **out);
// The first attribute with an ordinal; 0, or 2 when there is none.
int drdpfnd(drdplist *l, int32_t ordinal, drdmattr **out);
// A string attribute by ordinal, the default when absent, null when empty; 0.
int drdpval(drdplist *l, void *reserved, int32_t ordinal, const char *dflt, const char **out);
// The value of a number attribute; one stored as text is read as a number.
int32_t drdpnum(const drdmattr *a);
// The next attribute of the list; 0, or 2 at the end (which rewinds it).
int drdpnxt(drdplist *l, drdmattr **out);
// Clears and frees an attribute list; 0.
int drdpcls(drdplist *l);
// Writes a policy to the log.
void drdmdmp(drsrvstate *s, drdmpol *pol);
// Writes every cached policy to the log, then their number.
void drdmdal(drsrvstate *s);

// Builds the policy's component of a class once and wires it to the one
// below it; 0 when built or already there, 1 on failure.
int drasmobj(drsrvstate *s, drheap h, drdmpol *pol, int32_t clsid);
// Frees the policy's index components (data store, filter, lexer, stop list,
// engine, word list, in that order) and clears their slots; 0.
int drasmrel(drsrvstate *s, drdmpol *pol);
// Frees a text-loading source's reader, translator and loader engine, in
// that order, and clears their slots; 0.
int drasmtlfre(drsrvstate *s, drdmpol *pol);

// Runs one text-loading batch of a source through its reader, translator
// and loader engine; 0 when it ran through (or had nothing to do), 1 after a
// failure.
int drqsldc(drsrvstate *s, int32_t srcid);

#endif
