/* The leaves of the evaluation tree that read the index: the term leaf, the
 * prefix and equivalence leaves that merge the lists of several terms, and
 * the stored-query leaf's builder; and the record through which the engine
 * tells them where its tables are. */
#ifndef KES_DR_DREB_DREBY_H
#define KES_DR_DREB_DREBY_H

#include <cstdint>

#include "dr/dry/dry.h"

/* The stored-query manager's result table, for the stored-query leaf. */
struct drebysqr {
  const char *table;     /* schema-qualified */
  const char *result;    /* column query_result */
  const char *name;      /* column query_name */
  const char *session;   /* column session_id */
  const char *firstdoc;  /* column first_doc */
};

/* What the leaves read of the engine, handed to the tree builder as its
 * user data; the engine's query operation fills it from its indexer, and it
 * must outlive the tree. */
struct drebyctx {
  const char *table;     /* the token table, schema-qualified */
  const char *wordtext;  /* column word_text */
  const char *wordinfo;  /* column word_info */
  const char *firstdoc;  /* column first_doc */
  int32_t firstdoctype;  /* datatype code of first_doc for its define */
  int32_t kind;          /* posting-list kind of the index */
  const drebysqr *sqr;   /* null while there is no stored-query manager */
};

/* Rows of the term leaf's fetch, and the bytes of one row's slot. */
enum { DREBY_ROWS = 4, DREBY_ROWSIZE = 65535 };
/* Terms one equivalence statement takes, in groups of this many binds. */
enum { DREBY_STMTTERMS = 160, DREBY_GROUP = 16, DREBY_MAXTERMS = 2560 };

/* The term leaf of a word; null after pushing why. */
drynode *drebytnew(void *user, drytree *t, const char *text);
/* The prefix leaf of a wildcard word; null after pushing why. */
drynode *drebypnew(void *user, drytree *t, drpanode *pn, int32_t n, drynode **children);
/* The equivalence leaf of an equivalence, or a stop-word node when all its
 * words are stop words; null after pushing why. */
drynode *drebyenew(void *user, drytree *t, drpanode *pn, int32_t n, drynode **children);
/* The stored-query leaf of a stored query's name (document mode only): its
 * saved hits; null after pushing why (50701 when the engine keeps no stored
 * queries), or without a message in occurrence mode. */
drynode *drebysnew(void *user, drytree *t, drpanode *pn, int32_t n, drynode **children);

#endif
