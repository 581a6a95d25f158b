/* SQL rewrite: the statement scanner, the names and table references taken
 * from a statement, the records of one rewrite with the markers it leaves,
 * and the column arrays that bind or fetch many rows in one execution. */
#ifndef KES_DR_DRZ_DRZ_H
#define KES_DR_DRZ_DRZ_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dru/druo.h"
#include "platform/nls/nls.h"
#include "platform/rt/rt.h"

/* ------------------------------------------------------------------ */
/* Statement scanner                                                   */
/* ------------------------------------------------------------------ */

/* One keyword record: the word upper case, blank-padded; its length; its
 * token code. A table holds four blank records (codes 0 to 3), the keywords
 * grouped by first letter in ascending letter order, a record "&" that ends
 * them, then one record per punctuation character. */
struct drzgtkw {
  char text[13];
  uint8_t len;
  int16_t code;
};
static_assert(sizeof(drzgtkw) == 16, "keyword records are 16 bytes");

/* Token codes that are not keywords. */
enum {
  DRZGT_EOT = 0,     /* end of the text */
  DRZGT_IDENT = 1,   /* identifier, quoted or not */
  DRZGT_NUMBER = 2,  /* number */
  DRZGT_STRING = 3,  /* string literal */
  DRZGT_SHL = 96,    /* the operator "<<" */
  DRZGT_AMP = 216,   /* the first punctuation record, "&" */
  DRZGT_BAR = 217,
  DRZGT_COLON = 218,
  DRZGT_COMMA = 219,
  DRZGT_LPAREN = 225,
  DRZGT_DOT = 226,
  DRZGT_RPAREN = 229,
  DRZGT_BANG = 230,
  DRZGT_AT = 234
};

/* Scanner flags. */
enum {
  DRZGT_ATEND = 0x0002,    /* the end of the text has been returned */
  DRZGT_QUOTED = 0x0080,   /* the current identifier was written in double quotes */
  DRZGT_LONGNAME = 0x0400  /* the next token may be a quoted name of up to 128 bytes */
};

/* Sizes of the tables and texts. */
enum {
  DRZGT_DEFCOUNT = 132,  /* records of the default keyword table */
  DRZGT_EXTCOUNT = 156,  /* records of the extended keyword table */
  DRZGT_IDXLEN = 27,     /* first-letter index: "&" record, then A to Z */
  DRZGT_TEXTMAX = 2000   /* longest token text */
};

/* A raised code with this bit carries a database error number in its low
 * 16 bits; it is raised as 50850 with the database's text for the number. */
constexpr int32_t DRZ_DB = 0x10000;

/* The scanner's state over one statement text. */
typedef struct drzgtstate {
  const drzgtkw *table;      /* keyword table */
  int32_t tabcount;          /* its number of records */
  const uint16_t *index;     /* its first-letter index */
  nlscur cur;                /* text cursor: the current position */
  nlscur tokstart;           /* where the current token begins */
  uint16_t token;            /* code of the current token */
  uint16_t toklen;           /* length of its text in bytes */
  uint16_t flags;            /* DRZGT_* flags */
  char toktext[DRZGT_TEXTMAX + 1]; /* the token's text, NUL-terminated */
  rtnum number;              /* value of the last number token */
  const char *text;          /* the statement text */
  int32_t textlen;           /* its length in bytes */
  const nlscs *charset;      /* character set of the connection */
  const nlslang *nlsenv;     /* language settings of the connection */
  /* Counters of the statement rewrite, 0 at creation. */
  int32_t nextcont;          /* next contains id */
  int32_t nextblk;           /* next query-block id */
  int32_t depth;             /* parenthesis depth */
  int32_t nexthdl;           /* next handle id */
  int32_t lastbind;          /* last bind position */
  int32_t clause;            /* clause state */
} drzgtstate;

/* The default keyword table with its prebuilt first-letter index, and the
 * extended table that drzgtkeyw consults. */
extern const drzgtkw drzgtdeftab[DRZGT_DEFCOUNT];
extern const uint16_t drzgtdefidx[DRZGT_IDXLEN];
extern const drzgtkw drzgtexttab[DRZGT_EXTCOUNT];

/* Makes a scanner over len bytes of text from the command heap; with a table
 * and a positive count it uses that table (which must outlive the scanner)
 * and builds its index, else the default table. Raises 10900 for memory. */
drzgtstate *drzgtnew(drsrvstate *st, const drzgtkw *table, int32_t count, const char *text,
                     int32_t len);
/* Frees a scanner and its own index and clears the pointer; null is accepted. */
void drzgtfree(drsrvstate *st, drzgtstate **gt);
/* Scans the next token into the scanner and returns its code; 0 at the end,
 * a further call raises 921. Raises every error of the text. */
uint16_t drzgtnext(drsrvstate *st, drzgtstate *gt);
/* Looks the current token up in the extended keyword table; the (possibly
 * new) token code. */
uint16_t drzgtkeyw(drsrvstate *st, drzgtstate *gt);
/* Returns when the current token has the code, else raises the error the
 * expect table gives for it (database error 905 for a code not listed). */
void drzgtexpect(drsrvstate *st, drzgtstate *gt, int code);
/* drzgtexpect, then drzgtnext. */
void drzgtskip(drsrvstate *st, drzgtstate *gt, int code);
/* Raises code with severity 2 to the innermost error frame: a DRZ_DB code
 * as 50850 with the client layer's text for the number, any other as that
 * message with an empty text. Needs a frame: without one the process stops. */
[[noreturn]] void drzgterr(drsrvstate *st, int32_t code);
/* Copies the current token's text into buf (at most size - 1 bytes of whole
 * characters and a NUL) and gives its full length. */
void drzgttext(drsrvstate *st, drzgtstate *gt, char *buf, size_t size, uint16_t *len);
/* The text cursor's current position: bytes from the start of the text. */
void drzgtpos(drsrvstate *st, drzgtstate *gt, int32_t *pos);
/* Builds the first-letter index of a table of count records: entry 0 the
 * position of the "&" record (count when there is none), entry k that of the
 * first keyword starting with the k-th letter, 0 when there is none. */
void drzgkindex(const drzgtkw *table, int32_t count, uint16_t *index);

/* ------------------------------------------------------------------ */
/* Names and table references                                          */
/* ------------------------------------------------------------------ */

/* A name taken from a statement: where its token stood, its length and its
 * bytes with a terminating NUL (allocated with room for them). */
typedef struct drzgtstr {
  uint16_t pos;  /* byte offset of the name's token in the statement */
  int32_t len;   /* bytes of the name, 0 to 255 */
  char text[1];  /* the name, NUL-terminated */
} drzgtstr;

/* A dotted name [schema.]table.column: the parts in this order. For one
 * part only the column is set; for two, table and column. */
typedef struct drzgtnm {
  drzgtstr *table;
  drzgtstr *column;
  drzgtstr *schema;
} drzgtnm;

/* Kinds of a table reference. */
enum {
  DRZGT_TABLE = 0,   /* a table name */
  DRZGT_SCHEMA = 1,  /* a schema-qualified table name */
  DRZGT_BIND = 2,    /* a bind variable in the table's place */
  DRZGT_SUBQ = 3     /* a subquery: "(" is the current token */
};

/* A table reference [schema.]table[@link[!...]][ alias]. */
typedef struct drzgtref {
  uint8_t kind;           /* DRZGT_TABLE ... DRZGT_SUBQ */
  drzgtstr *schema;
  drzgtstr *table;        /* for a bind variable its name */
  drzgtstr *alias;        /* the alias, or the table itself when none was written */
  uint8_t marks;          /* "!" marks after "@" */
  drzgtstr *link;         /* the link name, "!" for marks alone, or null */
  drzgtstr *linkschema;   /* with a link: the schema and the table again */
  drzgtstr *linktable;
} drzgtref;

/* Modes of drzgtnames. */
enum { DRZGT_SIMPLE = 0, DRZGT_DOTTED = 1 };

/* A counted name of len bytes at pos from the command heap; len 0 gives
 * null. Raises 10900. */
drzgtstr *drzgtnewstr(drsrvstate *st, const char *bytes, int32_t len, int32_t pos);
/* The current token as a counted name, then the next token; raises err when
 * the token is not an identifier. */
drzgtstr *drzgtname(drsrvstate *st, drzgtstate *gt, int32_t err);
/* The current identifier copied into a block of exactly its length (no NUL)
 * with its length and position (pos may be null), then the next token;
 * raises err when the token is not an identifier. */
void drzgtdup(drsrvstate *st, drzgtstate *gt, char **buf, int32_t *len, int32_t *pos, int32_t err);
/* Reads a dotted name: up to three parts (DRZGT_DOTTED) or one (DRZGT_SIMPLE). */
void drzgtnames(drsrvstate *st, drzgtstate *gt, drzgtnm **out, int mode);
/* Reads one table reference; err is raised for a missing table name. */
void drzgttabref(drsrvstate *st, drzgtstate *gt, drzgtref **out, int32_t err);
/* Reads a database-link name of dotted parts, at most 255 bytes; raises err
 * for a missing part or a longer name. */
drzgtstr *drzgtlink(drsrvstate *st, drzgtstate *gt, int32_t err);
/* Frees a dotted name with its parts and clears the pointer. */
void drzgtfreenm(drsrvstate *st, drzgtnm **nm);
/* Frees a table reference with the names it owns and clears the pointer. */
void drzgtfreeref(drsrvstate *st, drzgtref **ref);
/* Frees a counted name when set and clears the pointer. */
void drzrfreestr(drsrvstate *st, drzgtstr **str);
/* Moves count bytes; the areas may overlap. */
void drzrmove(drsrvstate *st, void *dst, const void *src, size_t count);

/* ------------------------------------------------------------------ */
/* Rewrite records and markers                                         */
/* ------------------------------------------------------------------ */

struct drzsblk;
struct drzsbnd;

/* One FROM-list entry of a query block. */
typedef struct drzstab {
  drzgtref *ref;           /* the table reference */
  int32_t pos;             /* where its text starts in the output text */
  int32_t len;             /* the length of that text */
  struct drzspred *preds;  /* text predicates on this table */
  struct drzspred *lastpred;
  struct drzstab *next;
} drzstab;

/* One text predicate (CONTAINS). */
typedef struct drzspred {
  drzgtnm *column;         /* the column specification as written */
  drzgtstr *colname;       /* the column's name as policy resolution matched it */
  int32_t policy;          /* policy id */
  char polname[62];        /* policy name */
  char textkey[257];       /* the policy's text-key columns, comma-separated */
  char dblink[129];        /* database link of its table; empty when local */
  drzstab *tab;            /* the FROM-list entry it belongs to */
  char polarg[62];         /* policy name given as the fourth argument, or empty */
  char query[2001];        /* the query text; empty when it is a bind variable */
  char tabname[33];        /* its result table */
  int32_t block;           /* id of its query block */
  int32_t contid;          /* contains id, 0, 1, 2 ... over the statement */
  int32_t label;           /* 0 to 999; 0 when not written */
  struct drzsbnd *bind;    /* the bind variable holding the query, or null */
  struct drzspred *next;
} drzspred;

/* One bind variable (":" or "&"). */
typedef struct drzsbnd {
  int32_t pos;             /* 1, 2, 3 ... in statement order */
  drzgtstr *name;          /* the token that follows the mark */
  struct drzsbnd *next;
} drzsbnd;

/* One HANDLE item of a select list. */
typedef struct drzshdl {
  int32_t id;              /* 0, 1, 2 ... over the statement */
  drzgtnm *column;         /* the column specification */
  struct drzshdl *next;
} drzshdl;

/* One ROWID column of a select list. */
typedef struct drzscol {
  drzgtstr *schema;
  drzgtstr *table;
  drzgtstr *column;        /* ROWID */
  drzgtstr *alias;
  int32_t schemapos;       /* where each part starts in the output text */
  int32_t tablepos;
  int32_t columnpos;
  int32_t aliaspos;
  uint8_t mark;            /* set by the generator */
  struct drzscol *next;
} drzscol;

/* One query block: one per SELECT, in the order of the keywords. */
typedef struct drzsblk {
  int32_t id;              /* 0, 1, 2 ... in statement order */
  int32_t depth;           /* parenthesis depth at its SELECT */
  int32_t resume;          /* clause state restored when a nested block ends */
  drzstab *tabs;           /* FROM-list entries */
  drzstab *lasttab;
  drzshdl *handles;        /* HANDLE items */
  drzshdl *lasthandle;
  drzscol *rowids;         /* select-list ROWID columns */
  drzscol *lastrowid;
  struct drzsblk *next;
  struct drzsblk *outer;   /* the block current at its SELECT, or null */
} drzsblk;

/* The state of one statement rewrite. */
typedef struct drzsstate {
  int32_t style;           /* rewrite form: 2 */
  int32_t shared;          /* 0: a result table per predicate; else one for the statement */
  drzgtstr *user;          /* the requesting user */
  int32_t sid;             /* caller's session id */
  int32_t curid;           /* caller's cursor id */
  char sharedtab[32];      /* the shared result table, empty until allocated */
  char *text;              /* the output text (the caller's) */
  int32_t textlen;         /* bytes in use */
  int32_t textcap;         /* its capacity */
  int32_t textpos;         /* the generator's read position */
  drzsblk *blocks;
  drzsblk *lastblock;
  drzsbnd *binds;
  drzsbnd *lastbind;
  int32_t keycount;        /* key columns the result tables need; from 1 */
  int32_t tabkeys;         /* key columns of the shared result table; from 1 */
} drzsstate;

/* A marker read back from the output text: "%", a letter, its own length
 * in three digits, ":", the block id in three digits, ".", a word. */
typedef struct drzmarker {
  char letter;             /* S a SCORE call, H a HANDLE item */
  int32_t len;             /* characters of the marker: 10 plus the word's */
  int32_t block;           /* query block id */
  const char *word;        /* the word, inside the text read */
  int32_t wordlen;
} drzmarker;

/* Creates the state of one rewrite from the command heap over the caller's
 * output text of cap bytes. Raises 10900. */
drzsstate *drzsnew(drsrvstate *st, const char *user, int32_t sid, int32_t curid, char *text,
                   int32_t cap, int32_t shared, int32_t style);
/* Frees every record of a rewrite with the names it owns, then the state,
 * and clears the pointer; null is accepted. */
void drzsfree(drsrvstate *st, drzsstate **rs);
/* Appends a marker of the letter, block id and word at the output text's
 * end, with the blank that follows it; the length advances by the marker
 * only, so the next text overwrites the blank. Raises 11301 when the output
 * text has no room for every byte written. */
void drzmkwrite(drsrvstate *st, drzsstate *rs, char letter, int32_t block, const char *word,
                int32_t wordlen);
/* Reads what starts at text[pos] (a "%"): 1 for "%%", which stands for one
 * "%" of the statement; 0 for a marker, into *mk; -1 when it is neither.
 * Never reads at or past len. */
int drzmkread(const char *text, int32_t len, int32_t pos, drzmarker *mk);

/* ------------------------------------------------------------------ */
/* Column arrays                                                       */
/* ------------------------------------------------------------------ */

/* Column flags. */
enum {
  DRZE_NOLEN = 1  /* bound without a length array: its values carry their own length */
};

/* One column as a caller describes it. */
typedef struct drzecol {
  const char *name;  /* bind name, e.g. ":1" */
  int32_t type;      /* external type of the values (DRUO_*) */
  int32_t size;      /* bytes per value */
  uint32_t flags;    /* DRZE_* */
} drzecol;

/* Column arrays for a fixed number of rows, all carved from one block. Row
 * r of column c is at values[c] + r * sizes[c], its length at lens[c][r] and
 * its indicator (0 present, -1 null) at inds[c][r]. A column marked
 * DRZE_NOLEN has no length array (lens[c] is null). */
typedef struct drzeset {
  int32_t rows;       /* rows each column holds */
  int32_t processed;  /* rows handled by the last execution or fetch */
  int32_t filled;     /* rows the caller filled since the last execution */
  int32_t colcount;
  void *data;         /* the block holding every array */
  const char **names; /* bind names, the caller's */
  int32_t *sizes;
  int32_t *types;
  char **values;
  uint16_t **lens;
  int16_t **inds;
} drzeset;

/* Builds a set of rows rows for ncols columns from the command heap; rows
 * processed and filled start at 0; 0. Raises 10900 for memory and an internal
 * error for a row count or column count below 1, an element size below 1, or
 * above 65535 for a column with a length array. */
int drzenew(drsrvstate *st, drzeset **out, int32_t rows, const drzecol *cols, int32_t ncols);
/* Frees a set with its block and arrays and clears the pointer; null is
 * accepted; 0. */
int drzefree(drsrvstate *st, drzeset **set);
/* Binds every column by name and executes the parsed statement for the
 * filled rows in one round trip; rows processed from the cursor's count,
 * filled back to 0. 0, or 1 after pushing: a failing bind or execute pushes
 * the database's text (50850), rolls the session back and keeps filled. No
 * filled row executes nothing; more than the set holds is refused. */
int drzeins(drsrvstate *st, druocur *cur, drzeset *set);
/* Defines every column by position, executes the parsed query and fetches
 * up to rows rows; rows processed is the number this fetch returned. 0, or
 * 1 after pushing the database's text (nothing is rolled back). */
int drzefetch(drsrvstate *st, druocur *cur, drzeset *set);


/* ------------------------------------------------------------------ */
/* Statement rewrite: driver, handlers, generator, resolution,         */
/* bookkeeping and the structured view                                 */
/* ------------------------------------------------------------------ */

/* Clause states of the walk. */
enum {
  DRZS_NONE = 0, DRZS_SELECT = 1, DRZS_FROM = 2, DRZS_WHERE = 3, DRZS_BIND = 4,
  DRZS_ORDER = 5, DRZS_GROUP = 6, DRZS_CONTAINS = 7, DRZS_SCORE = 8, DRZS_HANDLE = 9
};

/* Extended keyword codes the walk acts on. */
enum {
  DRZGT_CONNECT = 30, DRZGT_FROM = 70, DRZGT_GROUP = 75, DRZGT_ORDER = 141,
  DRZGT_ROWID = 164, DRZGT_SELECT = 172, DRZGT_START = 186, DRZGT_WHERE = 213,
  DRZGT_STAR = 232, DRZGT_CONTAINS = 300, DRZGT_HANDLE = 301, DRZGT_SCORE = 302,
  DRZGT_CLUSTER = 24, DRZGT_USER = 205, DRZGT_ROWNUM = 165, DRZGT_DISPLAY = 303
};

/* Bytes of the rewritten text rw_parse hands back (two reply arguments). */
enum { DRZS_OUTCAP = 4000 };

/* What policy resolution asks of the database side for one column. */
typedef struct drzfreq {
  const char *schema;  /* or null */
  const char *table;
  const char *column;
  const char *link;    /* or null */
} drzfreq;

/* What it answers: laid out as the resolution fields of a predicate. */
typedef struct drzfresult {
  drzgtstr *colname;
  int32_t policy;
  char polname[62];
  char textkey[257];
  char dblink[129];
  drzstab *tab;
} drzfresult;

/* Entry points the rewrite calls but does not own: the process (and a test)
 * may replace them. Each returns 0, or 1 after pushing why; resolve also
 * 2 (no policy) and 7 (no such column or table for that user). */
typedef struct drzsvc {
  int (*resolve)(drsrvstate *st, drzstab *tab, const drzfreq *req, drzfresult *res,
                 const char *user, const char *polname);
  int (*alloc)(drsrvstate *st, int32_t sid, const char *type, char *name, int32_t keys);
  int (*release)(drsrvstate *st, const char *name);
  /* Evaluates a text query of a policy into a result table (the contains
   * path, mode 0); null: evaluation is not available. */
  int (*query)(drsrvstate *st, const char *user, const char *sess, int32_t polid,
               const char *query, const char *restab, int32_t clear, int32_t contid,
               int32_t curid);
  int (*save)(drsrvstate *st, drzsstate *rs);
  int (*clean)(drsrvstate *st, drzsstate *rs, int32_t flags);
} drzsvc;
extern drzsvc drzsops;

/* Rewrites a statement for a user, session and cursor into out (cap bytes,
 * NUL-terminated, the terminator counted in *outlen when outlen is set);
 * shr 0 a result table per predicate, 1 one shared; exec 1 evaluates every
 * predicate. 0, or 1 with the messages on the error stack. */
int drzsrwp(drsrvstate *st, const char *user, int32_t sid, int32_t curid, const char *stmt,
            char *out, int32_t cap, int32_t shr, int32_t exec, int32_t *outlen = nullptr);
/* Releases the result tables and bookkeeping rows of a session's cursor. */
int drzsrwc(drsrvstate *st, const char *user, int32_t sid, int32_t curid);

/* Handlers of the walk (raise on syntax errors; 0, or 1 after pushing). */
int drzsfrom(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk);
int drzscontains(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk);
int drzsscore(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk);
int drzshandle(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk);
int drzsbind(drsrvstate *st, drzsstate *rs, drzgtstate *gt, drzsblk *blk, drzsbnd **out);
int drzslabel(drsrvstate *st, drzgtstate *gt, drzsblk *blk, int32_t *label, int number,
              int check);
void drzsrepl(drsrvstate *st, drzsstate *rs, drzspred *p);
/* The quoted form of text into out (at most cap bytes with a NUL); its
 * length, or -1 when it does not fit. */
int32_t drzsquote(drsrvstate *st, char *out, int32_t cap, const char *text, int32_t len);
int drzsexec(drsrvstate *st, drzsstate *rs);

/* Generator. */
int drzpgen(drsrvstate *st, drzsstate *rs);
/* Appends a table reference by flags (1 schema, 2 table, 4 link, 8 alias,
 * 16 plain: for a string literal, names unquoted with quotes doubled). */
void drzpname(drsrvstate *st, char *base, int32_t *len, int32_t cap, const drzgtref *ref,
              int flags);
/* Splits a key list into at most 16 names of at most 64 bytes; 0, or 1
 * (count 1) when it does not split. */
int drzpkeys(drsrvstate *st, const char *list, char names[16][65], int32_t *count);
/* Appends a name as SQL writes it: quoted when it is not a plain upper-case
 * word, every "%" doubled unless plain is set. */
void drzpword(drsrvstate *st, char *base, int32_t *len, int32_t cap, const char *name,
              int32_t n, int plain);

/* Policy resolution. */
int drzpresolve(drsrvstate *st, drzstab **tab, drzsstate *rs, drzsblk *blk, const drzgtnm *col,
                drzfresult *res, const char *polname);
int drzfres(drsrvstate *st, drzstab *tab, const drzfreq *req, drzfresult *res, const char *user,
            const char *polname);
void drzfname(drsrvstate *st, char *base, int32_t *len, int32_t cap, const drzgtnm *col);

/* Bookkeeping. */
int drzrsave(drsrvstate *st, drzsstate *rs);
int drzrclean(drsrvstate *st, drzsstate *rs, int32_t flags);
/* The selection text of drzrclean for a prefix ("con" or "bin") appended
 * to the rewrite's output text. */
void drzrsel(drsrvstate *st, drzsstate *rs, const char *prefix, int32_t flags);

/* Structured view: a view of the keys of the rows a condition selects. */
int drzsvw(drsrvstate *st, const char *sess, const char *user, const char *owner,
           const char *table, const char *keys, const char *sq, char *vname);
/* The view query alone (for tests); 0, or 1 after pushing. */
int drzsvwq(drsrvstate *st, const char *user, const char *owner, const char *table,
            const char *keys, const char *sq, char *out, int32_t cap);
int drzsvwd(drsrvstate *st, const char *vname);

#endif
