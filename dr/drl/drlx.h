/* What the lexers share beyond their tokenizers: binding once per policy,
 * the buffers of a batch, the modes, the filter's count and next document,
 * and the free. The lexers' records differ, but each names these fields
 * alike (st, heap, polid, prefid, src, key, mode, text, inbuf, area, toks,
 * bufsize, batch); the templates work on any of them. */
#ifndef KES_DR_DRL_DRLX_H
#define KES_DR_DRL_DRLX_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/dras/drtoken.h"

/* Pushes internal error num of a lexer's unit at file and line; 1. */
int drlxierr(drsrvstate *s, int num, const char *file = __builtin_FILE(),
             int line = __builtin_LINE());

/* Frees a block of the lexer's heap if it is there. */
template <class L>
void drlxrel(L *l, void *block) {
  if (block) drumfre(l->st, l->st->hpmgr, l->heap, &block);
}

/* A bound lexer only takes a new filter for its own policy: 0 when it did,
 * 1 (nothing pushed) for another policy, -1 when the lexer is not bound yet
 * and the caller binds it. */
template <class L>
int drlxrebind(L *l, int32_t polid, drobj *fil) {
  if (l->polid == -1) return -1;
  if (polid != l->polid) {
    druetrc();
    return 1;
  }
  l->src = fil;
  return 0;
}

/* Allocates the token text area (bufsize plus extra bytes) and the batch's
 * records; false when either could not be had. */
template <class L>
bool drlxbufs(L *l, size_t extra) {
  drsrvstate *s = l->st;
  l->area = static_cast<char *>(drumalc(s, s->hpmgr, l->heap, 1,
                                        static_cast<size_t>(l->bufsize) + extra, __FILE__, __LINE__));
  l->toks = static_cast<drtoken *>(drumalc(s, s->hpmgr, l->heap, static_cast<size_t>(l->batch),
                                           sizeof(drtoken), __FILE__, __LINE__));
  return l->area && l->toks;
}

/* Undoes a binding that failed part way; 1. */
template <class L>
int drlxunbind(L *l) {
  drlxrel(l, l->area);
  drlxrel(l, l->toks);
  l->area = nullptr;
  l->toks = nullptr;
  l->polid = l->prefid = -1;
  l->src = nullptr;
  druetrc();
  return 1;
}

/* Switches between reading documents (1: the input buffer is there) and
 * tokenising query words (2: it is freed); 0 / 1. */
template <class L>
int drlxmode(L *l, int32_t mode, const char *file = __builtin_FILE(), int line = __builtin_LINE()) {
  drsrvstate *s = l->st;
  // The tables and the buffer size only exist once the lexer is bound.
  if ((mode != 1 && mode != 2) || l->polid == -1) return drlxierr(s, 50601, file, line);
  if (mode == 1) {
    if (!l->inbuf) {
      l->inbuf = static_cast<char *>(
          drumalc(s, s->hpmgr, l->heap, 1, static_cast<size_t>(l->bufsize), __FILE__, __LINE__));
      if (!l->inbuf) {
        druetrc();
        return 1;
      }
    }
    l->text = l->inbuf;
  } else {
    drlxrel(l, l->inbuf);
    l->inbuf = nullptr;
    l->text = nullptr;
  }
  l->mode = mode;
  return 0;
}

/* The filter's document count. */
template <class L>
int drlxcount(L *l, int32_t *count, const char *file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (!l->src) return drlxierr(l->st, 50601, file, line);
  return drops<drfilops>(l->src)->count(l->src, count);
}

/* With a key pointer, moves the filter to its next document and hands out
 * the key buffer (the caller has reset its text); 0, 2 for no more, 1. */
template <class L>
int drlxfilnext(L *l, int32_t *op, char **key, const char *file = __builtin_FILE(),
                int line = __builtin_LINE()) {
  if (!key) return 0;
  if (!l->src) return drlxierr(l->st, 50601, file, line);
  int rc = drops<drfilops>(l->src)->next(l->src, op, l->key);
  *key = l->key;
  if (rc == 0 || rc == 2) return rc;
  druetrc();
  return 1;
}

/* Frees the buffers and the record. */
template <class L>
void drlxfree(L *l) {
  drsrvstate *s = l->st;
  drlxrel(l, l->inbuf);
  drlxrel(l, l->area);
  drlxrel(l, l->toks);
  void *self = l;
  drumfre(s, s->hpmgr, l->heap, &self);
}

#endif
