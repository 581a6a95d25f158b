/* The base engine's query and highlight operations (engine slots 9 and 15)
 * and the callbacks through which the evaluation walks hand them their
 * hits and occurrences. Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBQ_H
#define KES_DR_DREB_DREBQ_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dreb/dreby.h"

struct dryocc;

/* Hits one batch maps to keys at most, and highlight entries one add takes. */
enum { DREBQ_BATCH = 1000 };

/* The state of one query's walk. */
struct drebqstate {
  drobj *docids;               /* the doc-id manager that maps ids to keys */
  drobj *writer;
  int32_t ids[DREBQ_BATCH];    /* the batch: ids ascending */
  char *keys[DREBQ_BATCH];     /* their keys, once mapped */
  uint8_t scores[DREBQ_BATCH];
  int32_t n;                   /* ids in the batch */
  int32_t bsize;               /* the writer's batch, 1 to 1000 */
  uint32_t ceiling;            /* highest id that counts (inclusive) */
  const char *view;            /* structured view the keys must be in, or null */
  int32_t maxdoc;              /* the best MAX_DOC keys are kept, 0: all */
  uint32_t first, last;        /* FIRST_DOC window of positions, from 0 */
  uint32_t pos;                /* keys mapped by earlier batches */
  char **hkeys;                /* MAX_DOC: a min-heap of keys by score */
  uint8_t *hscores;
  int32_t hcount;
  uint8_t end;                 /* no later id can have a key, or the walk must stop */
};

/* The state of one highlight's walk. */
struct drebhstate {
  drobj *writer;
  int32_t offs[DREBQ_BATCH];   /* 1-based character offsets */
  int32_t lens[DREBQ_BATCH];
  int32_t strs[DREBQ_BATCH];
  int32_t n;
};

/* Sets a query state up for a writer (its batch size asked once); 0. */
int drebqinit(drebqstate *q, drobj *docids, drobj *writer, uint32_t ceiling, const char *view,
              int32_t maxdoc, int32_t firstdoc, int32_t lastdoc);
/* By-key hits of the walk: batches of ids mapped to keys and handed to the
 * writer's put-rows in the FIRST_DOC window, or kept as the best MAX_DOC;
 * (0, 0) ends the walk. 0 go on, 2 stop, 1 failure. */
int drebqhit(void *state, uint32_t doc, uint32_t score);
/* By-number hits: batches of ids handed to the writer's put-hits as they
 * are. 0, 2 or 1 as drebqhit. */
int drebqhitid(void *state, uint32_t doc, uint32_t score);
/* Occurrences of the highlight walk, handed to the highlight writer 1000 at
 * a time (the null occurrence hands over the rest); 0, or non-zero to fail
 * the walk. */
int drebhlhit(void *state, const dryocc *occ);

/* What the index leaves read of a base engine: its token table, list kind
 * and stored-query result table. */
drebyctx drebqctx(drobj *eng);

/* Engine slot 9: evaluates the parsed query into the result writer. */
int drebqry(drobj *eng, drobj *qparser, drobj *writer, drobj *stoplist, uint8_t bynum,
            uint32_t start, uint32_t ceiling, const char *view, int32_t maxdoc, int32_t firstdoc,
            int32_t lastdoc);
/* Engine slot 15: finds the parsed query's words in the document the lexer
 * stands on and hands them to the highlight writer. */
int drebhlite(drobj *eng, drobj *lexer, drobj *wordlist, drobj *qparser, drobj *stoplist,
              const char *key, drobj *writer, int32_t polid);

#endif
