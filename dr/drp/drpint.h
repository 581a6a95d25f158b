/* Inside the query parser: the state of one parse shared by the lexer, the
 * grammar actions and the driver. Not for other modules. */
#ifndef KES_DR_DRP_DRPINT_H
#define KES_DR_DRP_DRPINT_H

#include "dr/dras/drobj.h"
#include "dr/drp/drp.h"
#include "platform/nls/nls.h"
#include "tessek/tq/tq.h"

/* Longest query text the lexer reads. */
enum { DRPM_TEXTMAX = 65535 };

/* The state of one parse. */
typedef struct drpmstate {
  drsrvstate *srv;
  drphtab *keywords;      /* may be null: no keywords */
  const char *user;       /* on whose behalf stored functions run */
  uint8_t paramdepth;     /* parameter-list mode: depth of calls */
  uint8_t sqemode;        /* stored-query-name mode */
  const char *text;       /* the query text */
  int32_t consumed;       /* bytes consumed */
  nlscur cur;             /* character cursor over the text */
  int32_t theme;          /* the lexer is a theme lexer */
  uint8_t escaped;        /* inside { } */
  uint8_t pendclose;      /* a '}' ended the last word: hand out CESCAPE next */
  int32_t ntokens;
  tqtoken tok;            /* current token, reused for every token */
  tqtoken errtok;         /* the error token handed out after an error */
  uint8_t reported;       /* an error has been reported */
  drpabuf *buf;
} drpmstate;

/* The query grammar's tables (generated). */
extern const tqgram drpgtables;

/* The character set of the server's session. */
const nlscs *drpcs(drsrvstate *srv);

/* Lexer: the next token record. */
tqtoken *drpglex(drpmstate *st);
/* Whether the character at the cursor ends a word. */
int drpgdelim(drpmstate *st);

/* Grammar: the reduce routine handed to the runtime. */
void drpgreduce(tqrec *rec, int rule, tqtoken *tok);
/* Builds or extends an operator node over left and right; returns its number
 * (left on failure). For op 22 the text argument carries the operator index. */
int32_t drpxitree(int op, int32_t left, int32_t right, int32_t text, drpmstate *st);
/* The numeric operators; each returns the node that stands for the result. */
int32_t drpxweight(int32_t node, int32_t num, drpmstate *st);
int32_t drpxthresh(int32_t node, int32_t num, drpmstate *st);
int32_t drpxmaxdoc(int32_t node, int32_t num, drpmstate *st);
int32_t drpxfirst(int32_t node, int32_t first, int32_t last, drpmstate *st);
/* Adds a modifier flag to a node; returns the node. */
int32_t drpxflag(int flag, int32_t node, drpmstate *st);
/* A stored function used as a number; returns the offset of its result text. */
int32_t drpxskproc(int32_t node, drpmstate *st);
/* Lexer mode switches made by reductions. */
void drpxparamin(drpmstate *st);
void drpxparamout(drpmstate *st);
void drpxsqein(drpmstate *st);
void drpxsqeout(drpmstate *st);
/* Records a failure of the grammar: the specific message (0 for none) with
 * an optional text argument, then num in the error position, reported with
 * line and column; nothing once an error has been reported. */
void drpxfail(drpmstate *st, int specific, const char *arg, int32_t num);

/* Driver pieces. */
int drpmnew(drpmstate **out, int32_t size, const char *user, const char *query, drsrvstate *srv,
            drphtab *keywords, int newbuf, drpabuf *existing, int theme);
int drpmrun(drsrvstate *srv, drpmstate *st, drpabuf **bufp);
int drpgparse(drpmstate *st, const tqops *ops, int subst, int trace);
void drpginit(drpmstate *st, tqrec *rec, rtctx *env, int final, int subst, const tqops *ops,
              int trace);
tqtoken *drpgtoken(void *st, int request, tqtoken *tok);
void drpgerror(void *st, int msgno, int zero, tqtoken *tok, tqmesg *rec);
int drpgnoop(void *st, int code);

/* ---- normalisation (results: 0 done, 1 failed after pushing, 7 the query
 * yields nothing after a severity-1 message) ---- */

struct drtqcmp;

/* Pushes an internal error of the query parser at the caller's place. */
void drpierr(drsrvstate *srv, int num, int sev, const char *file = __builtin_FILE(),
             int line = __builtin_LINE());
/* After a step failed: pushes 50935 at the caller's place only when the
 * error stack is empty, so that a failure that already says what happened
 * (a refusal, an interrupt, no memory) reaches the caller alone; 1 when it
 * pushed. */
int drpiwhy(drsrvstate *srv, int sev, const char *file = __builtin_FILE(),
            int line = __builtin_LINE());
/* Appends child to the children of parent. */
void drpnappend(drpabuf *buf, int32_t parent, int32_t child);
/* A new node (op, level, flags, a copy of text or none) appended to parent
 * (none: 0); its number in *out when out is given. 0, or 1 after pushing. */
int drpnchild(drpabuf **bufp, int32_t parent, int op, int level, uint8_t flags, const char *text,
              int32_t *out);
/* Nesting depth a query may reach; deeper ones are refused with 50937. */
enum { DRPN_MAXDEPTH = 1000 };
/* Runs the passes the flags choose over the tree in *bufp; name is the stored
 * query whose text is normalised ("" at the top). */
int drpnnorm(drtqcmp *c, drpabuf **bufp, uint16_t flags, const char *name);
/* Prepares the tree of a thesaurus or stored-function answer: refuses a
 * further call in it, then pushes the given modifier flags down. */
int drpnprep(drtqcmp *c, drpabuf **bufp, int32_t ignored, uint8_t flags);
/* Pushes modifier flags down from node to the words it governs. */
void drpnmods(drpabuf *buf, int32_t node, uint8_t flags);
/* The stored-query pass from node: checks, refreshes or inlines stored
 * queries. */
int drpnsqe(drtqcmp *c, int32_t node, uint16_t flags, const char *name, drpabuf **bufp);
/* Re-tokenises the words under node through the component's lexer. */
int drpnlex(drtqcmp *c, int32_t node, drpabuf **bufp);
/* Re-tokenises one word into a phrase of the lexer's words. */
int drpnword(drtqcmp *c, int32_t node, drpabuf **bufp);
/* Joins the words of a phrase into one word (theme lexer). */
int drpnjoin(drtqcmp *c, int32_t node, drpabuf **bufp);
/* Turns every word under node into weighted word parts (theme lexer). */
int drpnkor(drtqcmp *c, int32_t node, drpabuf **bufp);
/* The final reduction from the root: lifts MAX_DOC and FIRST_DOC, flattens,
 * collapses and checks the tree. */
int drpnreduce(drtqcmp *c, drpabuf **bufp);
/* Deep copy of the subtree under node; 0 with the copy's number, or 1. */
int drpncopy(int32_t node, int32_t *out, drpabuf **bufp);
/* Longest path from node down, counted in nodes, up to limit + 1. */
int32_t drpndepth(drpabuf *buf, int32_t node, int32_t limit);
/* Expands the words carrying wildcard, stem, fuzzy or soundex modifiers
 * through the word list. */
int drpnwexpand(drpabuf **bufp, drobj *wordlist);

/* ---- thesaurus and stored-function calls ---- */

/* Size of a call statement and of its answer. */
enum { DRPP_AREA = 32768 };
/* Expands every thesaurus and stored-function call of the tree. */
int drppthes(drtqcmp *c, drpabuf **bufp);
/* 7 with 50924 when the tree holds a call, else 0. */
int drppnone(drpabuf **bufp);
/* Builds the call statement of an op-7 or op-22 node into its text, the
 * parameter list detached. */
int drppstmt(const char *user, int32_t node, drpabuf **bufp);
/* Runs a call statement with the rights of user; its answer into res (size
 * bytes). */
int drpprun(const char *user, char *res, int32_t size, const char *stmt, drpabuf **bufp);
/* Runs a node's call and parses its answer into the buffer: 0 with the new
 * tree's root in *root. */
int drppparse(drtqcmp *c, drpabuf **bufp, int32_t node, int32_t *root);


#endif
