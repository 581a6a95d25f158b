/* The text-query parser: the parse buffer with its tree of nodes and its
 * strings, the tree printer, the keyword table of the query lexer and the
 * parse driver that turns a query text into a tree. Normalisation and the
 * database-backed expansions build on this. */
#ifndef KES_DR_DRP_DRP_H
#define KES_DR_DRP_DRP_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drtoken.h"

/* Sizes of the parse buffer. */
enum {
  DRPA_NODESIZE = 32,      /* one tree node */
  DRPA_MINSIZE = 4396,     /* smallest block drpainit accepts */
  DRPA_USEDEXTRA = 4264,   /* what drpaused adds to the strings and nodes */
  DRPA_FIRSTSIZE = 65536,  /* first block of a parse */
  DRPA_MAXSIZE = 1048576,  /* a block never grows beyond this */
  DRPA_SQEMAX = 100,       /* stored-query names one buffer remembers */
  DRPA_WORDMAX = 256       /* bytes a query word may not reach */
};

/* Operator codes of tree nodes. */
enum {
  DRPOP_EXECUTE = 7, DRPOP_PHRASE = 9, DRPOP_EQUIV = 10, DRPOP_NEAR = 11, DRPOP_WEIGHT = 12,
  DRPOP_THRESHOLD = 13, DRPOP_MAXDOC = 14, DRPOP_FIRSTDOC = 15, DRPOP_MINUS = 16,
  DRPOP_NOT = 17, DRPOP_AND = 18, DRPOP_OR = 19, DRPOP_ACCUM = 20, DRPOP_SHARED = 21,
  DRPOP_THES = 22, DRPOP_SQE = 23, DRPOP_PLIST = 25, DRPOP_PPHRASE = 26, DRPOP_WORD = 72,
  DRPOP_PWORD = 91,
  DRPOP_NWORD = 92,  /* a piece of an ideograph or kana run, as the lexer cut it */
  DRPOP_WILD1 = 93,  /* a single ideograph or kana: matched as a prefix */
  DRPOP_WILD2 = 94   /* the last character of such a run: matched as a prefix */
};
/* Ops with this bit are word leaves: tree walks stop there. */
enum { DRPOP_LEAFBIT = 0x40 };

/* Node flag bits. */
enum {
  DRPF_LEXED = 1,    /* the word came out of the policy's lexer */
  DRPF_WILD = 2,     /* the word held a wildcard character */
  DRPF_STEM = 4,     /* $ */
  DRPF_FUZZY = 8,    /* ? */
  DRPF_SOUNDEX = 16, /* ! */
  DRPF_THEME = 32,   /* ^: theme without expansion */
  DRPF_DONE = 0x40,  /* the final reduction has been over the node */
  DRPF_SQUARE = 128, /* enclosed in square brackets */
  DRPF_MODMASK = 0x3C
};

/* Query token codes. */
enum {
  DRPT_EOF = 0, DRPT_END = 257, DRPT_ERROR = 258, DRPT_WORD = 259, DRPT_WCWORD = 260,
  DRPT_PARAM = 261, DRPT_SQENAME = 262, DRPT_OPAREN = 263, DRPT_CPAREN = 264,
  DRPT_OSQUARE = 265, DRPT_CSQUARE = 266, DRPT_OESCAPE = 267, DRPT_CESCAPE = 268,
  DRPT_EXECUTE = 269, DRPT_SQE = 270, DRPT_SYN = 271, DRPT_NTG = 280, DRPT_STEM = 281,
  DRPT_FUZZY = 282, DRPT_SOUNDEX = 283, DRPT_THEME = 284, DRPT_PLSEP = 285, DRPT_ANY = 286,
  DRPT_OR = 287, DRPT_AND = 288, DRPT_NOT = 289, DRPT_MINUS = 290, DRPT_NEAR = 291,
  DRPT_EQUIV = 292, DRPT_THRESH = 293, DRPT_WEIGHT = 294, DRPT_MAXDOC = 295,
  DRPT_FIRSTDOC = 296
};

/* Message numbers of the parser. */
enum {
  DRPM_QUERY = 50900,      /* query error, with line and column */
  DRPM_SYNTAX = 50901,     /* syntax error, with line and column */
  DRPM_WNUM = 50903, DRPM_WRANGE = 50904, DRPM_TINT = 50906, DRPM_TRANGE = 50907,
  DRPM_MNUM = 50908, DRPM_MINT = 50909, DRPM_MRANGE = 50910, DRPM_FNUM = 50911,
  DRPM_FINT = 50912, DRPM_FFIRST = 50913, DRPM_LNUM = 50914, DRPM_LINT = 50915,
  DRPM_LORDER = 50916,
  DRPM_UNCLOSED = 50917,   /* '{' not closed */
  DRPM_NEARARG = 50919, DRPM_PHRASEARG = 50920, DRPM_EQUIVARG = 50921,
  DRPM_CALLTEXT = 50922,   /* the text of a call that could not be made */
  DRPM_CALLLONG = 50923,   /* a call statement is too long */
  DRPM_CALLNEST = 50924,   /* an answer holds a further call */
  DRPM_CALLBAD = 50925,    /* an answer is no valid query */
  DRPM_NOTHING = 50926,    /* nothing left, or MAX_DOC/FIRST_DOC misplaced */
  DRPM_TREEMEM = 50929,    /* no room for a node */
  DRPM_NOMEM = 50930,      /* no room for a text */
  DRPM_NOKIND = 50931,     /* set-up of a component without parser kind */
  DRPM_BUILD = 50932,      /* the component cannot be built */
  DRPM_KWINS = 50933, DRPM_KWTAB = 50934,
  DRPM_INTERNAL = 50935,
  DRPM_TOOBIG = 50937,     /* the parse buffer reached its limit; a query too large */
  DRPM_NOSETUP = 50939,    /* the component is not set up */
  DRPM_NOPARSE = 50940,    /* nothing is parsed */
  DRPM_NORIGHT = 50941,    /* no right to execute a stored function */
  DRPM_CALLFAIL = 50942,   /* a thesaurus or stored-function call failed */
  DRPM_LONGWORD = 50943,
  DRPM_THEMENEAR = 50944, DRPM_THEMEPHRASE = 50945, DRPM_THEMEMOD = 50946,
  DRPM_NOTHEME = 50947
};

/* Where the first error of a parse lies. */
typedef struct drpgerrrec {
  int32_t num;    /* message number of the first error, 0 for none */
  int32_t len;    /* query-text bytes before the token being lexed */
  int32_t col;    /* from 1 */
  int32_t line;   /* from 1 */
} drpgerrrec;

/* One tree node (32 bytes). */
typedef struct drpanode {
  uint8_t op;          /* DRPOP_* */
  int8_t level;        /* 1 document level, 2 word level, 0 shared expansion */
  int32_t value;       /* operator parameter */
  int32_t value2;      /* second parameter */
  uint8_t flags;       /* DRPF_* */
  uint16_t nchild;     /* children */
  int32_t text;        /* string offset of the text, 0 for none */
  int32_t first;       /* first child, 0 for none */
  int32_t last;        /* last child, 0 for none */
  int32_t next;        /* next sibling, 0 at the end */
} drpanode;

/* One remembered stored-query name. */
typedef struct drpasqe {
  char name[32];       /* at most 31 bytes and the NUL */
  uint8_t state;       /* 0 expansion under way, 1 expanded */
  int32_t root;        /* the expansion's root node */
} drpasqe;

/* The parse buffer's header; strings follow it, nodes grow down from the
 * block's end. */
typedef struct drpabuf {
  drsrvstate *srv;        /* owner: heaps, character set, messages */
  uint16_t shared;        /* serial of the last shared-expansion node */
  void *arena;            /* string arena of the word-expansion pass, else null */
  drpasqe sqe[DRPA_SQEMAX];
  uint16_t nsqe;
  drpgerrrec err;
  int32_t root;           /* root node, 0 for an empty tree */
  int32_t maxdoc;         /* 0 for none */
  int32_t firstdoc;       /* 0 for none */
  int32_t lastdoc;
  int32_t nnodes;
  int32_t strbytes;
  int32_t areasize;       /* bytes shared by strings and nodes */
  int32_t blocksize;
  char *strbase;          /* first byte of the string area */
  char *nodebase;         /* node 1 */
} drpabuf;

static_assert(sizeof(drpanode) == DRPA_NODESIZE, "a tree node is 32 bytes");
static_assert(sizeof(drpabuf) <= DRPA_USEDEXTRA, "the header fits the fixed overhead");

/* Address of node n (1-based) of a buffer. */
inline drpanode *drpanodep(drpabuf *b, int32_t n) {
  return reinterpret_cast<drpanode *>(b->nodebase - static_cast<ptrdiff_t>(n - 1) * DRPA_NODESIZE);
}
/* Address of the string at offset k (1-based). */
inline char *drpastrp(drpabuf *b, int32_t k) { return b->strbase + (k - 1); }

/* ---- parse buffer ---- */

/* Prepares a zero-filled block of size bytes as an empty buffer; -1 below
 * the smallest size. */
int drpainit(drpabuf *buf, int32_t size, drsrvstate *srv);
/* Reserves the next node, growing the buffer when needed; 0 with its number,
 * 1 after pushing 50937/10900 and 50935. */
int drpanewnode(int32_t *node, drpabuf **bufp);
/* Copies a token text into the string area; 0 with its offset, or 1 as
 * drpanewnode. */
int drpanewstr(int32_t *off, const char *text, drpabuf **bufp);
/* Copies a text of any length into the string area; as drpanewstr. */
int drpaaddstr(int32_t *off, const char *text, drpabuf **bufp);
/* Doubles the block up to the limit; 0, or 1 after pushing 50937 or 50935. */
int drpagrow(drpabuf **bufp);
/* Copies the contents of old into a zero-filled block of newsize bytes;
 * 0, or 1 after pushing 50935 when it would not fit. */
int drpacopy(drpabuf *nbuf, drpabuf *old, int32_t newsize);
/* Bytes a block needs to hold the buffer's strings and nodes. */
int32_t drpaused(const drpabuf *buf);
/* Memory operations in the per-command heap, for the parser runtime. */
void *drpaalloc(void *user, size_t size);
void *drparealloc(void *user, void *block, size_t size);
void drpafree(void *user, void *block);

/* ---- error position ---- */

/* Resets an error record: no error, length 0, line 1, column 1. */
void drpgposinit(drpgerrrec *rec);
/* Records a message number unless one is recorded. */
void drpgposset(drpgerrrec *rec, int32_t num);
/* Records the length of the text before the current token. */
void drpgposlen(drpgerrrec *rec, int32_t len);
/* Turns the length into line and column and pushes the recorded message
 * (severity 1) with them. */
void drpgerrpos(drsrvstate *srv, drpgerrrec *rec, const char *text);

/* ---- tree printer ---- */

/* Renders the tree under node as indented text into out at *pos; 0, or 1
 * after pushing 50935 when the output is too small. */
int drptprint(int32_t node, drpabuf *buf, char *out, size_t size, size_t *pos, int depth);
/* The printed name of an op. */
const char *drptname(int op);
/* Prints the modifier marks of a flag byte; 0 or 1 as drptprint. */
int drptmods(drsrvstate *srv, int flags, char *out, size_t size, size_t *pos);
/* Prints the whole tree to standard output. */
void drptdump(drpabuf **bufp);

/* ---- keyword table of the query lexer ---- */

typedef struct drphtab drphtab;

/* Creates an empty keyword table in the per-command heap; 0 or 1. */
int drphnew(drsrvstate *srv, drphtab **out);
/* Adds a keyword with its token code; 0, or 1 after pushing 50935. */
int drphput(drphtab *tab, drsrvstate *srv, const char *name, uint16_t code);
/* Finds a keyword: 0 with its code, 1 when absent or without a table. */
int drphget(drphtab *tab, drsrvstate *srv, const char *name, uint16_t *code);
/* Destroys a keyword table and clears the pointer. */
void drphfree(drphtab **tab, drsrvstate *srv);
/* Fills a keyword table with the operator keywords of the query language;
 * 0, or 1 after pushing 50933. */
int drpmkwfill(drsrvstate *srv, drphtab *tab);
/* Parses a modifier string into flag bits; 0, or 1 with the 1-based
 * position of the character refused. */
int drpmmods(uint8_t *flags, const char *mods, int32_t *pos);

/* ---- parse driver ---- */

/* Parses a query text into a parse buffer: a new one of 65536 bytes when
 * newbuf is 1, else the caller's, whose root is replaced by the new tree's
 * root. The pointer is updated either way; 0 when the query parsed without
 * error, 1 otherwise (messages pushed). */
int drpmparse(drsrvstate *srv, drpabuf **bufp, const char *user, const char *query,
              drphtab *keywords, int newbuf, int theme);

#endif
