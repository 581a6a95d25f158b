/* The word list (class 5): a policy's table of every distinct indexed word
 * with its sound code, kept in step with the index, and the expansion of
 * query words by wildcard, sound code, resemblance and stem through it and
 * through its two providers (a fuzzy matcher and a stemmer). */
#ifndef KES_DR_DRWA_DRWA_H
#define KES_DR_DRWA_DRWA_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drwlops.h"
#include "dr/dru/druo.h"

struct drubbuf;
struct druhtab;
struct drdmpol;
struct fzmobj;
struct stemobj;

/* Limits of a word list. */
enum : int32_t {
  DRWA_MAXLEN = 64,        /* largest maximum word length */
  DRWA_NAME = 150,         /* bytes of a name or clause attribute, terminator included */
  DRWA_PROBE = 40,         /* words per probe and per look-up statement */
  DRWA_BUF = 512,          /* words per insert, per fetch, per expansion batch */
  DRWA_SLOT = DRWA_MAXLEN + 2,
  DRWA_MAXWORDS = 65536,   /* one add takes fewer words */
  DRWA_KINDS = 10,         /* provider table */
  DRWA_CANDS = 5000,       /* candidates of one fuzzy word */
  DRWA_POOL = 1000,        /* ranking pool */
  DRWA_THRESHOLD = 50,     /* ranking threshold */
  DRWA_BLOCK = 32765,      /* text buffer block of a query call */
  DRWA_JAWORK = 32         /* work area of one Japanese pattern */
};

/* Messages of the word list. */
enum {
  DRWA_EINT = 100,     /* internal: zero-length word, comparison fault */
  DRWA_ESETUP = 51000, /* set-up of a slot failed */
  DRWA_ENEW = 51001,   /* construction failed */
  DRWA_EFAIL = 51002,  /* any other internal failure */
  DRWA_ECUR = 51007,   /* a cursor step failed */
  DRWA_ENOPREF = 51010,
  DRWA_ECRTAB = 51012,
  DRWA_ECRIDX = 51013,
  DRWA_ENOTOPEN = 51015,
  DRWA_EDROP = 51016,
  DRWA_ETBUF = 51017,   /* a fuzzy text buffer could not be made */
  DRWA_EFREL = 51018,   /* a fuzzy release failed */
  DRWA_EFPROF = 51019,  /* the matcher's profile */
  DRWA_EFMEM = 51020,   /* the matcher's memory */
  DRWA_EFUZZ = 51021,   /* any other matcher code */
  DRWA_ESTEM = 51022,   /* any other stemmer code */
  DRWA_ESLEX = 51023,   /* the stemming lexicon cannot be loaded */
  DRWA_ESMEM = 51024,   /* the stemmer's memory */
  DRWA_ESALPHA = 51025, /* a character outside the lexicon's alphabet */
  DRWA_EATTR = 50600,   /* an attribute ordinal outside 1..10 */
  DRWA_ENOTAB = 10818   /* sound codes asked of a word list without its table */
};

/* Expansion kinds. */
enum { DRWA_WILD = 0, DRWA_SOUNDEX = 1, DRWA_FUZZY = 2, DRWA_STEM = 3 };

/* A provider of expansions (fuzzy: kind 2, stemmer: kind 3). */
struct drwaprov {
  void *adp;
  /* The word's expansions, valid until rel; 0 or 1. */
  int (*exp)(drwaprov *p, const char *word, const char ***out, int32_t *count);
  /* Frees the results of the current batch; 0 or 1. */
  int (*rel)(drwaprov *p);
  /* Releases the provider's own record; 0 or 1. */
  int (*destroy)(drwaprov *p);
};

/* The attributes of a word list. */
struct drwaattr {
  char wtab[DRWA_NAME];    /* word table */
  char ttab[DRWA_NAME];    /* the index's current token table */
  char tclause[DRWA_NAME]; /* appended to CREATE TABLE */
  char iclause[DRWA_NAME]; /* appended to each CREATE INDEX */
  int32_t maxlen;          /* 4: maximum word length */
  int32_t groups;          /* 5: group columns */
  int32_t stemtype;        /* 6 */
  int32_t attr7;           /* read, not consulted */
  uint8_t attr8;           /* read, not consulted */
  uint8_t table;           /* 9: the word table is kept */
  int32_t fuzzmode;        /* 10: 1 ranked, 2 Japanese patterns */
  drwaprov *prov[DRWA_KINDS];
};

/* Insert work area: the probe of known words and the insert buffer. */
struct drwaiwork {
  druocur probe;
  uint8_t probeprep;
  druocur ins;
  uint8_t insprep;
  char pval[DRWA_PROBE][DRWA_MAXLEN];
  uint16_t plen[DRWA_PROBE];
  int16_t pind[DRWA_PROBE]; /* null indicators of the probe values */
  char fetched[DRWA_PROBE][DRWA_SLOT];
  char buf[DRWA_BUF][DRWA_SLOT];
  uint16_t flen[DRWA_PROBE];
  const char *const *words;
  int16_t ind[DRWA_BUF]; /* of the insert buffer: probe values have their own, so
                          * that a probe never nulls a buffered word */
  int32_t nbuf;
  int32_t nflush;
  /* Counters for the tests: probes executed and flushes since the work
   * area was made. */
  int32_t probes, flushes;
};

/* One prepared look-up statement. */
struct drwaqslot {
  druocur cur;
  uint8_t prep;
  int (*build)(struct drwaobj *w, struct drwaqslot *s);
};

/* Statement slots: LIKE, next, previous, then word-in and group-in of each
 * group, then the fuzzy provider's LIKE over the word table. */
enum { DRWA_QLIKE = 0, DRWA_QNEXT = 1, DRWA_QPREV = 2, DRWA_QWIN = 3 };
enum { DRWA_QFUZZ = DRWA_QWIN + 2 * DRWA_KINDS, DRWA_QSLOTS = DRWA_QFUZZ + 1 };

/* Query work area of the expansion calls. */
struct drwaqwork {
  drwaqslot slot[DRWA_QSLOTS];
  char bval[DRWA_BUF][DRWA_SLOT];
  char fwords[DRWA_BUF][DRWA_SLOT];
  char fvals[DRWA_BUF][DRWA_SLOT];
  int16_t ind[DRWA_BUF];
  int16_t wind[DRWA_BUF]; /* null indicators of the fetched words */
  int16_t vind[DRWA_BUF]; /* and of the fetched values */
  const char *const *cwords; /* the current word array, for the sort */
  druhtab *hash;             /* key -> first array of its chain */
  drubbuf *tb;               /* every string of the current call */
  struct drwaqnode **heads;  /* key nodes of each word of the call (session heap) */
  int32_t boff;              /* offset of the current batch */
  int32_t kind;
  char **answer;             /* an answer too large for one block */
  size_t answercap;
};

/* A key node: the keys under which a word's expansions are found. */
struct drwaqnode {
  drwaqnode *next;
  char key[1];
};

/* The word list. */
struct drwaobj {
  drobjhd<drwlops> hd;
  int32_t prefid;
  drdmpol *pol;
  drsrvstate *st;
  int32_t value;
  drheap heap;
  drheap cmdhp;
  drwaattr attr;
  uint8_t opened;
  void *login;
  int16_t nameind;
  char namebuf[DRWA_SLOT];
  drwaiwork *iw;
  drwaqwork *qw;
};

/* Makes the word list of a preference; null after pushing (51001). */
drobj *drwanew(drsrvstate *st, drheap heap, int32_t prefid, drdmpol *pol);

/* ---- inside the word list ---- */

/* Reads a preference's attributes into a record (and makes the providers
 * when the record has none); 0, or 1 after pushing 51002. */
int drwaoattr(drsrvstate *st, drwaobj *w, int32_t prefid, drdmpol *pol, drwaattr *a,
              int report);
/* Records the state of an open; 0. */
int drwaoinit(drsrvstate *st, drwaobj *w, int32_t value);
/* Reports a value brought into its range (10704, 10705). */
void drwaeclamp(drsrvstate *st, int32_t lo, int32_t hi, const char *name, int32_t given,
                int report);
/* Writes the database's text for the cursor's last failure to the log and
 * standard output. */
void drwaekci(drsrvstate *st, void *login, const druocur *cur);
/* Pushes an internal message of the word list with the source place. */
void drwaierr(drsrvstate *st, int num, int sev, const char *file, int line);
/* A diagnostic line, then an internal message; 1. */
int drwafail(drsrvstate *st, const char *line, int num, const char *file, int fline);
/* A failed cursor step: the line, 51007 and the database's text; 1. */
int drwacurfail(drwaobj *w, const druocur *cur, const char *line, const char *file, int fline);

/* Opens a cursor of the word list and parses sql on it; 0, or 1 after the
 * report (the cursor closed again when the parse failed). */
int drwacurprep(drwaobj *w, druocur *cur, const char *sql);
/* A failed step on a cursor drwacurprep opened: the report, then the
 * cursor closed (closeline printed when that fails too); 1. */
int drwacurdrop(drwaobj *w, druocur *cur, const char *line, const char *closeline);

int drwaopen(drobj *o, int32_t value, int32_t mode);
int drwaclose(drobj *o, int32_t how);
int drwaocrtab(drwaobj *w);
int drwaocridx(drwaobj *w);
int drwaodroptab(drwaobj *w);
int drwaomake(drwaobj *w);
int drwaochkidx(drwaobj *w);
int drwaoddl(drwaobj *w, const char *sql);

/* Insert side. */
int drwaadd(drobj *o, const char *const *words, int32_t n);
int drwaload(drobj *o);
int drwaiinit(drwaobj *w, uint16_t *order, int32_t n, const char *const *words);
int drwaiflush(drwaobj *w, int32_t n);
void drwaifree(drwaobj *w);
int drwaiclose(drwaobj *w);

/* Query side. */
int drwaexp(drobj *o, const char *const *words, int32_t n, int32_t kind, drobj *check,
            char ***out);
int drwaw2r(drobj *o, const char *word, int32_t n, drobj *check, char ***out);
int drwaqclose(drwaobj *w);
/* True when the word table can stand in for the token table in a LIKE
 * look-up: it is kept, it holds every word whole, and a call is under way. */
bool drwaqtable(const drwaobj *w);
/* The word table's words matching LIKE patterns, as the engine's LIKE
 * expansion over the token table finds them and in the same order: the
 * patterns in their given order, less those a shorter prefix pattern
 * covers, the words of each in byte order. The words go to tb, their
 * pointers to out; at most cap of them, *cut set when more were found.
 * 0, or 1 after pushing. */
int drwaqpats(drwaobj *w, const char *const *pats, int32_t n, drubbuf *tb, char **out,
              int32_t *nout, int32_t cap, bool *cut);

/* Providers. */
int drwasnew(drsrvstate *st, drwaprov *p, drobj *unused, int32_t stemtype);
/* The fuzzy provider: its candidates come from the word list's table when
 * drwaqtable allows (wl may be null), else from the engine's token table. */
int drwafnew(drsrvstate *st, drwaprov *p, drobj *engine, int32_t fuzzmode, drwaobj *wl);
/* The stemmer's language index of a stemmer type. */
int32_t drwaslang(int32_t stemtype);
/* The Japanese patterns of a word in the session set: consecutive
 * NUL-terminated patterns in *buf (a block of the session heap the caller
 * frees) and an array of their pointers (likewise); 0 or 1. */
int drwafjapat(drsrvstate *st, const char *word, char **buf, const char ***pats,
               int32_t *count);
/* True when the word's first character sends it the Japanese way. */
bool drwafisja(drsrvstate *st, const char *word);

#endif
