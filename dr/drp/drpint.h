/* Inside the query parser: the state of one parse shared by the lexer, the
 * grammar actions and the driver. Not for other modules. */
#ifndef KES_DR_DRP_DRPINT_H
#define KES_DR_DRP_DRPINT_H

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


#endif
