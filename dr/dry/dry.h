// The evaluation tree of a text query: the node protocol every node kind
// follows, the builder that turns a parsed query into nodes, the two walkers
// (documents with scores, occurrences in one document) and the operator
// nodes. Leaves that read the index are built by builders the caller passes.
#ifndef KES_DR_DRY_DRY_H
#define KES_DR_DRY_DRY_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dreu/drel.h"
#include "dr/drp/drp.h"

struct drhiidx;  // the in-memory index of one document, for occurrence mode

// Walk modes, fixed when a tree is built.
enum : int32_t {
  DRY_DOCS = 0,  // documents in increasing id order with scores
  DRY_OCCS = 1,  // occurrences of the query's words in one document
};

// Node states: nothing else is ever stored.
enum : int32_t { DRY_ACTIVE = 0, DRY_DONE = 2 };

// Node types.
enum : int32_t {
  DRYT_ACCUM = 10, DRYT_OR = 11, DRYT_AND = 12, DRYT_NOT = 13, DRYT_MINUS = 14,
  DRYT_THRESH = 15, DRYT_WEIGHT = 18, DRYT_NEAR = 19, DRYT_PHRASE = 20, DRYT_EQUIV = 21,
  DRYT_TERM = 22, DRYT_STOP = 23, DRYT_PREFIX = 24, DRYT_SQE = 25,
};

// Parse-node ops the builder maps beyond those of the parser's header.
enum : int { DRYOP_NWORD = 92, DRYOP_WILD1 = 93, DRYOP_WILD2 = 94 };


// The refusal of a stop word where it cannot stand.
enum { DRYM_STOPWORD = 10817, DRYM_NOTSUP = 50960 };

// One occurrence of a word in one document.
struct dryocc {
  uint32_t off;    // character offset of the word in the document
  uint32_t wpos;   // word position, counting indexed tokens from 0
  uint16_t ext;    // length of the word in source characters
  int32_t score;   // 100 at a leaf, weighted on the way up
  dryocc *next;    // next occurrence of the same term (document index only)
};

// The stop words just before or just after a word's occurrence: the group
// the posting-list readers fill (a count and at most 32 stop-word numbers;
// the indexer never records more between two words).
using drystoparr = drelgroup;

struct drynode;
struct drytree;

// Slots 0 to 3: move the node (server, heap, node, target, depth); 0, or 1
// on failure; slot 2 also answers 2 when the document has no further
// position. The result of a move is left in the node.
using drymovefn = int (*)(drsrvstate *st, drheap heap, drynode *n, uint32_t target, int depth);
// Slot 4: releases what the node holds and the node, not its children.
using dryfreefn = int (*)(drsrvstate *st, drheap heap, drynode *n, int32_t mode);
// Slot 5: prints one line describing the node, indented by depth.
using drydumpfn = int (*)(void *unused, drynode *n, int depth);

// The six operations of a node kind, in slot order.
struct drynodeops {
  drymovefn next;   // 0 next document with score
  drymovefn seek;   // 1 next document without score
  drymovefn pos;    // 2 next position in the current document
  drymovefn occ;    // 3 next occurrence (occurrence mode)
  dryfreefn free;   // 4
  drydumpfn dump;   // 5
};

// The static template of a node kind, copied into the head of every node.
struct drytmpl {
  int32_t kind;     // always 1
  int32_t type;     // DRYT_*
  const char *name; // always null
  drynodeops ops;
};

// The common part of every node; kinds add their fields after it.
struct drynode {
  drytmpl hd;
  int32_t state;          // DRY_ACTIVE or DRY_DONE
  uint32_t doc;           // current document, 0 before the first move
  int32_t score;          // score of the current document
  dryocc occ;             // current occurrence (occurrence mode)
  int32_t w1;             // percent applied to the first child's occurrences
  int32_t w2;             // percent applied to the other children's
  uint32_t pos;           // current word position (slot 2), 0 when none
  int32_t *stopalt;       // stop-word numbers this node may stand for, ended by -1
  drystoparr *before;     // filled by slot 2 when a phrase parent sets it
  drystoparr *after;
  drynode **child;
  int32_t nchild;
  int32_t idx;            // position in the parent's children array
  uint8_t firstgone;      // the child at index 0 has been removed
};

// Leaf builders the caller hands to the tree builder; each returns the node
// or null (after pushing its own message).
using drytermfn = drynode *(*)(void *user, drytree *tree, const char *text);
using dryleaffn = drynode *(*)(void *user, drytree *tree, drpanode *pn, int32_t n,
                               drynode **children);

// One query evaluation.
struct drytree {
  drsrvstate *srv;
  drheap heap;          // every node of the tree comes from it
  drynode *root;
  drpabuf *buf;         // handed out by the component's root operation
  drobj *cmp;           // the query-parser component
  int32_t mode;         // DRY_DOCS or DRY_OCCS
  drhiidx *docidx;      // occurrence mode: the document's index
  int32_t theme;        // alternate term scoring, no stop-word look-up
  void *user;           // passed first to the leaf builders
  drytermfn term;
  dryleaffn prefix;
  dryleaffn equiv;
  dryleaffn sqe;
};

// ---- building, walking and freeing (drym) ----

// Builds the evaluation tree of the component's parsed query; 0 with the tree
// in *out, or 1 (a mode other than 0 or 1 fails at once without a message).
int drymbuild(drsrvstate *st, drheap heap, drobj *qparser, drytree **out, drytermfn term,
              dryleaffn prefix, dryleaffn equiv, dryleaffn sqe, void *user, int32_t mode,
              int32_t reserved, drhiidx *docidx);
// Builds the node of a parse node and its subtree; 0 with the node, or 1.
int drymsub(drytree *t, drpanode *pn, int top, drynode **out);
// Makes the node of one parse node over its built children; 0 or 1.
int drymnew(drytree *t, drpanode *pn, int32_t n, drynode **children, drynode **out);
// The node for a word: a term leaf, or a stop-word node; null on failure.
drynode *dryswword(drytree *t, drpanode *pn, int32_t n, drynode **children);
// Walks the tree in increasing document order from start, calling
// cb(data, document, score byte) for each document and (data, 0, 0) at the
// end; the callback answers 0 to go on, 2 to stop. 0 or 1.
int drymeval(drytree *t, uint32_t start, int (*cb)(void *data, uint32_t doc, uint32_t score),
             void *data);
// Walks an occurrence-mode tree, calling cb(data, occurrence) for each and
// cb(data, null) at the end; 0 or 1.
int drymoccur(drytree *t, int (*cb)(void *data, const dryocc *occ), void *data);
// Frees the tree with every node; 0, or 1 when a node could not be released.
int drymfree(drytree *t);
// Frees a node and its subtree; 0, or 1 leaving the node allocated when a
// child could not be released.
int drymfreenode(drsrvstate *st, drheap heap, int32_t mode, drynode *n);
// A zero-filled node of size bytes from the tree's heap, with the kind's
// template copied in and both child weights 100; null after pushing 10900.
drynode *drymalc(drytree *t, size_t size, const drytmpl *tmpl);
// Frees a node's own block (what slot 4 ends with); 0 or 1.
int drymrel(drsrvstate *st, drheap heap, drynode *n);
// Prints a node's dump line to standard output through the kind's format:
// the indentation (three blanks a level, at most 45), the label, the
// document (-1 when exhausted) and the text, when the format takes one.
void drymline(drynode *n, int depth, const char *fmt, const char *label, const char *text);

// ---- boolean operators and the occurrence routines (dryc) ----

// AND, MINUS and NOT over n children; null after pushing 10900.
drynode *dryanew(drytree *t, int32_t n, drynode **children);
drynode *drysnew(drytree *t, int32_t n, drynode **children);
drynode *drygnew(drytree *t, int32_t n, drynode **children);
// OR (type 11) or ACCUMULATE (type 10).
drynode *dryonew(drytree *t, int32_t type, int32_t n, drynode **children);
// Slot 3 of AND, OR, ACCUMULATE and NEAR: the union of the children's
// occurrences in text order.
int drycocc(drsrvstate *st, drheap heap, drynode *n, uint32_t target, int depth);
// Slot 3 of THRESHOLD, WEIGHT, MINUS and NOT: the first child's occurrences.
int drycfirst(drsrvstate *st, drheap heap, drynode *n, uint32_t target, int depth);
// Frees one child's subtree and closes the gap it leaves; 0 or 1.
int drycdrop(drsrvstate *st, drheap heap, drynode *n, drynode *child, int32_t mode);
// Copies a child's occurrence into the node with the child's weight; 0, or 1
// when the weighted score would be negative.
int drycsetocc(drynode *n, int32_t idx);
// A slot that refuses: 1 without a message.
int dryrefuse(drsrvstate *st, drheap heap, drynode *n, uint32_t target, int depth);

// ---- proximity operators (dryn, dryph) ----

// NEAR and PHRASE over n children; null on failure.
drynode *drynnew(drytree *t, int32_t n, drynode **children);
drynode *dryphnew(drytree *t, int32_t n, drynode **children);
// Whether a phrase starts at word position s of document d: 0 when it does,
// 1 otherwise. bypos 1 compares the children's current positions, 0 the
// word positions of their current occurrences.
int dryphcheck(drynode **children, int32_t n, uint32_t d, int64_t s, int bypos);

// ---- THRESHOLD, WEIGHT and STOPWORD (dryt) ----

// THRESHOLD over one child, passing scores above the threshold.
drynode *drytnew(drytree *t, int32_t threshold, int32_t n, drynode **children);
// WEIGHT over one child; the weight is given times 1000.
drynode *drywnew(drytree *t, int32_t weight, int32_t n, drynode **children);
// A stop-word node for a stop-word number, or -1 for none.
drynode *dryswnew(drytree *t, int32_t num);

#endif
