/* Table-driven LR parser runtime: a grammar module supplies packed tables and
 * a reduce routine, a client supplies tokens; the runtime shifts, reduces,
 * accepts, optionally recovers from syntax errors and reports messages
 * 101 to 110. It knows no grammar of its own. */
#ifndef KES_TESSEK_TQ_TQ_H
#define KES_TESSEK_TQ_TQ_H

#include <cstddef>
#include <cstdint>

#include "platform/rt/rt.h"

typedef struct tqrec tqrec;
typedef struct tqmesg tqmesg;

/* Runtime states. */
enum { TQ_RUNNING = 1, TQ_ACCEPTED = 2, TQ_ERROR = 4, TQ_FINISHED = 32 };
/* Client callback requests. */
enum { TQ_REQ_NEXT = 1, TQ_REQ_BACK = 2, TQ_REQ_RELEASE = 4 };
/* Action kinds. */
enum { TQ_ACT_ERROR = 0, TQ_ACT_ACCEPT = 1, TQ_ACT_SHIFT = 2, TQ_ACT_REDUCE = 3 };
/* Message numbers (before the message base is added). */
enum {
  TQ_MSG_EXPECTED = 101, TQ_MSG_INSERTED = 102, TQ_MSG_DELETED = 103, TQ_MSG_REPLACED = 104,
  TQ_MSG_NOCLIENT = 105, TQ_MSG_NOTRACE = 107, TQ_MSG_RAISE = 108, TQ_MSG_SYNTAX = 109,
  TQ_MSG_MEMOPS = 110
};
/* Argument kinds of message and trace records. */
enum { TQ_ARG_OTHER = 0, TQ_ARG_STRING = 1, TQ_ARG_INTEGER = 2 };
/* Largest semantic value a stack entry keeps. */
enum { TQ_VALUE_MAX = 4 };
/* Entries the stack, save and action arrays start with. */
enum { TQ_START_ENTRIES = 150 };

/* Token record as the runtime reads it; the client owns it. */
typedef struct tqtoken {
  uint16_t code;                  /* external token code */
  uint16_t zero1;                 /* 0 in this program */
  int32_t zero2;                  /* 0 in this program */
  const char *source;             /* source name */
  int32_t where1, where2;         /* filled by the client */
  uint16_t refs;                  /* reference count kept by the runtime */
  unsigned char value[TQ_VALUE_MAX]; /* semantic value (value-size bytes) */
} tqtoken;

/* One parse-stack entry; in save copies `from` says where it came from. */
typedef struct tqentry {
  int16_t state;
  int16_t symbol;
  tqtoken *token;                 /* null in error mode */
  uint8_t saved;
  unsigned char value[TQ_VALUE_MAX];
  int32_t from;                   /* save copies only: stack index */
} tqentry;

/* One action found by a trial. */
typedef struct tqact {
  int16_t kind;                   /* TQ_ACT_* */
  int16_t param;                  /* new state or rule number */
} tqact;

/* The caller operations, in this order. */
typedef struct tqops {
  /* Token supply: request 1 returns the next token; 2 hands one back (the
   * next request 1 returns it again, last handed back first); 4 releases a
   * record whose count reached 0. */
  tqtoken *(*client)(void *user, int request, tqtoken *tok);
  /* Memory: all three or none (then the environment's heap serves). */
  void *(*alloc)(void *user, size_t size);
  void *(*realloc)(void *user, void *block, size_t size);
  void (*free)(void *user, void *block);
  /* Receives a trace record; the receiver frees it with tqmesgfree. */
  void (*trace)(void *user, int kind, int zero1, int zero2, tqmesg *rec);
  /* Receives a message record; the receiver frees it with tqmesgfree. */
  void (*error)(void *user, int msgno, int zero, tqtoken *tok, tqmesg *rec);
  /* Whether a token that cannot be shifted becomes the substitute token. */
  int (*tokcheck)(void *user, int code);
} tqops;

/* The grammar's reduce routine: runs the semantic action of a rule and
 * replaces the right side on the stack by the left side. */
typedef void (*tqreducefn)(tqrec *rec, int rule, tqtoken *lookahead);

/* Packed tables of one grammar, as made by tools/lalrgen. */
typedef struct tqgram {
  const short *defred;            /* per state: default rule, 0 none */
  const short *defgoto;           /* per nonterminal: default goto, -1 none */
  const short *actbase;           /* per state; -32768: reduces by default only */
  const short *gotobase;          /* per nonterminal */
  const short *packed;            /* shared action and goto entries */
  const short *check;             /* owner of each packed entry */
  const short *lhs;               /* per rule: left side nonterminal */
  const short *rlen;              /* per rule: right side length */
  const short *trans;             /* external code -> internal terminal */
  const short *extcode;           /* internal terminal -> external code */
  const char *const *ruletext;    /* per rule, for traces */
  const char *const *termname;    /* per terminal, then "-list end-" */
  short nstates, nrules, nnonterms, lastterm, lastindex, ncodes, expwords, start;
} tqgram;

/* A message or trace record: head, then the arguments (strings copied into
 * the record's tail). */
typedef struct tqarg {
  int32_t kind;                   /* TQ_ARG_* */
  union {
    const char *str;
    int32_t num;
  } u;
} tqarg;

struct tqmesg {
  tqrec *rec;
  int16_t num;                    /* message number or trace kind */
  int16_t argc;
  tqarg args[1];                  /* argc entries */
};

/* The runtime record. Field widths of the counters are 32-bit so that a
 * long input never wraps the stack index. */
struct tqrec {
  rtctx *env;                     /* runtime environment */
  rtmsgmgr *msgmgr;               /* message manager */
  int32_t facility;               /* facility registered by the grammar module, -1 none */
  void *user;
  tqentry *stack;
  tqentry *save;
  tqact *acts;
  int32_t top;                    /* -1 when empty */
  int32_t nsaved;
  int32_t nacts;
  int32_t cap;                    /* entries per array */
  int16_t final;                  /* left side whose default reduction accepts */
  int32_t mark;                   /* highest stack index a trial must keep */
  int16_t msgbase;                /* added to message numbers and trace kinds */
  uint16_t namebase;              /* added to terminal numbers in messages */
  int32_t valsize;                /* bytes of semantic value, at most 4 */
  int16_t nnonterms;
  int16_t lastterm;
  uint32_t *expected;             /* bit set over the terminals */
  int16_t lastindex;
  uint16_t expwords;
  uint8_t recover;                /* error recovery enabled */
  uint8_t tracewanted;
  uint8_t errmode;
  uint8_t saving;
  uint8_t state;                  /* TQ_RUNNING ... TQ_FINISHED */
  uint8_t doomed;                 /* tqdestroy ran; the last tqmesgfree completes it */
  int16_t subst;                  /* substitute token code */
  int16_t raisestat;              /* -1 once the runtime raised 108 */
  int16_t outstanding;            /* message and trace records not yet freed */
  /* tables */
  const short *defred, *defgoto, *actbase, *gotobase, *packed, *check, *lhs, *rlen, *trans,
      *extcode;
  const char *const *ruletext;
  const char *const *termname;
  short ncodes;
  tqreducefn reducefn;            /* as given by the grammar module */
  /* bound operations */
  tqtoken *(*client)(void *, int, tqtoken *);
  tqreducefn reduce;
  int (*tokcheck)(void *, int);
  void (*trace)(void *, int, int, int, tqmesg *);
  void (*error)(void *, int, int, tqtoken *, tqmesg *);
  void *(*alloc)(void *, size_t);
  void *(*realloc)(void *, void *, size_t);
  void (*free)(void *, void *);
};

/* Copies a grammar's tables and counts into a runtime record. */
void tqtables(tqrec *rec, const tqgram *g);
/* Binds the caller operations; raises when they are unusable. */
void tqsetops(tqrec *rec, const tqops *ops);
/* Runs one parse with tokens from the client; *errflag is 1 when any syntax
 * error occurred; the value of the top entry at accept goes to value. */
int tqparse(tqrec *rec, void *user, int *errflag, int onestep, void *value, int vallen);
/* Releases the arrays and, once no record is outstanding, the runtime record. */
void tqdestroy(tqrec *rec);
/* Frees a message or trace record handed to a callback. */
void tqmesgfree(tqmesg **rec);
/* Number of arguments of a message or trace record. */
int tqmesgargc(const tqmesg *rec);
/* Copies argument idx into buf: 0 copied, 1 refused (no such argument or
 * buffer too small); kind and length (4 or the string length) go out. */
int tqmesgarg(const tqmesg *rec, int idx, int *kind, int *len, void *buf, size_t bufsize);
/* Appends the arguments of a record to a formatter argument list of at most
 * max entries; terminals become their names (message texts of the facility).
 * Returns the new count. */
int tqmesgfmt(const tqmesg *rec, rtarg *args, int nargs, int max, char *textbuf, size_t textsize);

/* Stack operations for reduce routines. */

/* Pushes an entry; value may be null. */
void tqpush(tqrec *rec, int state, int symbol, const void *value, tqtoken *tok);
/* Pops n entries (no token bookkeeping). */
void tqpop(tqrec *rec, int n);
/* The goto state for a nonterminal from a state, -1 for none. */
int tqgoto(const tqrec *rec, int state, int nonterm);
/* Drops one reference of a token record, releasing it through the client at 0. */
void tqunref(tqrec *rec, tqtoken *tok);
/* The state becomes error. */
void tqstate(tqrec *rec, int state);
/* Allocates through the bound memory operations or the environment heap;
 * raises 108 when memory is short. */
void *tqalloc(tqrec *rec, size_t size);
void tqfree(tqrec *rec, void *block);

#endif
