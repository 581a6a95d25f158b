// The Korean morphological analysis: dictionary trees with their index, the
// morpheme trie, the category table and connection matrix, the lattice of a
// Hangul run, the depth-first search for a segmentation, its filter and
// emission, and the fallback that looks for known endings. Every value read
// from a file is checked against its limit, and the searches are bounded in
// depth and in steps, so that no input writes past an array or runs on.
#include "dr/drl/drlkm.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "dr/drl/drlkhanja.h"

namespace {

// Byte classes of a word.
enum : int {
  K_END, K_WHITE, K_HANGUL, K_HANJA, K_FWDIGIT, K_FWLETTER, K_FWSPACE, K_SYMBOL, K_LETTER,
  K_DIGIT, K_SEP, K_OTHER
};

// Search steps one Hangul run may take before its search gives up.
constexpr int32_t kSteps = 200000;

void *alloc(drsrvstate *s, drlkmmod *m, size_t n) {
  return drumalc(s, s->hpmgr, m->heap, 1, n, __FILE__, __LINE__);
}

void release(drsrvstate *s, drlkmmod *m, void *p) {
  if (p) drumfre(s, s->hpmgr, m->heap, &p);
}

int fail(drsrvstate *s, const char *path) {
  dracnerr(s, DRFAC_DRG, 11101, 2, DRA_STR, path ? path : "", 0);
  druetrc();
  return 1;
}

// --- dictionary trees -------------------------------------------------------

drlkmnode *newnode(drsrvstate *s, drlkmmod *m, const char *label, size_t len, uint8_t term) {
  auto *n = static_cast<drlkmnode *>(alloc(s, m, sizeof(drlkmnode)));
  if (!n) return nullptr;
  n->label = static_cast<char *>(alloc(s, m, len + 1));
  if (!n->label) {
    release(s, m, n);
    return nullptr;
  }
  std::memcpy(n->label, label, len);
  n->len = static_cast<uint8_t>(len);
  n->term = term;
  return n;
}

void freetree(drsrvstate *s, drlkmmod *m, drlkmnode *n) {
  while (n) {
    drlkmnode *next = n->next;
    freetree(s, m, n->child);
    release(s, m, n->label);
    release(s, m, n);
    n = next;
  }
}

// A node for entry w, terminal; a label longer than a node holds goes on in
// a chain of only children.
drlkmnode *newchain(drsrvstate *s, drlkmmod *m, const char *w, size_t len) {
  const size_t cut = len > 255 ? 255 : len;
  drlkmnode *n = newnode(s, m, w, cut, cut == len);
  if (!n || cut == len) return n;
  n->child = newchain(s, m, w + cut, len - cut);
  return n->child ? n : nullptr;
}

// Cuts node n after i bytes: the rest of its label, its children and its
// terminal flag move to a new only child; 0 or 1 (no memory).
int split(drsrvstate *s, drlkmmod *m, drlkmnode *n, size_t i) {
  drlkmnode *rest = newnode(s, m, n->label + i, n->len - i, n->term);
  if (!rest) return 1;
  rest->child = n->child;
  n->child = rest;
  n->label[i] = '\0';
  n->len = static_cast<uint8_t>(i);
  n->term = 0;
  return 0;
}

// Inserts entry w (len bytes) into the sibling list at *slot; 0 or 1.
int insert(drsrvstate *s, drlkmmod *m, drlkmnode **slot, const char *w, size_t len) {
  for (;;) {
    drlkmnode *n = *slot;
    if (!n) {
      *slot = newchain(s, m, w, len);
      return *slot ? 0 : 1;
    }
    size_t i = 0;
    while (i < n->len && i < len && n->label[i] == w[i]) ++i;
    if (i == 0) {
      if (static_cast<int8_t>(n->label[0]) >= static_cast<int8_t>(w[0])) {
        drlkmnode *x = newchain(s, m, w, len);
        if (!x) return 1;
        x->next = n;
        *slot = x;
        return 0;
      }
      slot = &n->next;
      continue;
    }
    if (i == n->len) {
      if (i == len) {
        n->term = 1;
        return 0;
      }
      w += i;
      len -= i;
      slot = &n->child;
      continue;
    }
    if (split(s, m, n, i) != 0) return 1;
    if (i == len) {
      n->term = 1;
      return 0;
    }
    return insert(s, m, &n->child, w + i, len - i);
  }
}

// Builds the 20-entry index over the top-level nodes.
void index(drlkmnode *root, drlkmtop *idx) {
  int count = 0;
  for (drlkmnode *n = root; n; n = n->next) ++count;
  const int every = count < DRLKM_TOP ? 1 : count / DRLKM_TOP;
  int k = 0, at = 0;
  for (drlkmnode *n = root; n && k < DRLKM_TOP; n = n->next, ++at)
    if (at % every == 0) idx[k++] = {static_cast<int8_t>(n->label[0]), n};
  for (; k < DRLKM_TOP; ++k) idx[k] = {0, nullptr};
}

// Reads a dictionary file into a tree and its index; 0, or 1 after 11101.
int loadtree(drsrvstate *s, drlkmmod *m, const char *path, drlkmnode **root, drlkmtop *idx) {
  FILE *f = path ? std::fopen(path, "rb") : nullptr;
  if (!f) return fail(s, path);
  char line[DRLKM_LINE + 2];
  int rc = 0;
  while (rc == 0 && std::fgets(line, sizeof line, f)) {
    size_t len = std::strlen(line);
    bool whole = len > 0 && line[len - 1] == '\n';
    if (whole) line[--len] = '\0';
    // A line longer than a record is not a dictionary line: the file is
    // refused rather than cut into entries.
    if (!whole && !std::feof(f)) {
      rc = 1;
      break;
    }
    if (len == 0) continue;
    rc = insert(s, m, root, line, len);
  }
  std::fclose(f);
  if (rc != 0) return fail(s, path);
  index(*root, idx);
  return 0;
}

// --- morpheme dictionary and grammar ------------------------------------------

// Reads a decimal number of at most 10 characters after white space; false
// at the end of the data or on anything else.
bool number(const uint8_t *d, int32_t size, int32_t *at, int32_t *out) {
  int32_t p = *at;
  while (p < size && (d[p] == ' ' || d[p] == '\t' || d[p] == '\n' || d[p] == '\r' || d[p] == '\f'))
    ++p;
  int64_t v = 0;
  int digits = 0;
  while (p < size && d[p] >= '0' && d[p] <= '9') {
    if (++digits > 10) return false;
    v = v * 10 + (d[p++] - '0');
  }
  if (digits == 0 || v > 0x7FFFFFFF) return false;
  *at = p;
  *out = static_cast<int32_t>(v);
  return true;
}

// The whole of a file, at most max bytes, into a block of the heap; null
// when it cannot be read.
uint8_t *slurp(drsrvstate *s, drlkmmod *m, const char *path, int32_t max, int32_t *size) {
  FILE *f = path ? std::fopen(path, "rb") : nullptr;
  if (!f) return nullptr;
  auto *d = static_cast<uint8_t *>(alloc(s, m, static_cast<size_t>(max) + 1));
  if (d) *size = static_cast<int32_t>(std::fread(d, 1, static_cast<size_t>(max), f));
  std::fclose(f);
  return d;
}

int loadsdic(drsrvstate *s, drlkmmod *m, const char *path) {
  int32_t size = 0;
  uint8_t *d = slurp(s, m, path, DRLKM_TRIE, &size);
  if (!d) return fail(s, path);
  m->trie = d;
  m->triesize = size;
  if (size < 5) return fail(s, path);
  const int nidx = d[0];
  const int rows = (d[1] << 8 | d[2]) - 1;
  if (nidx > DRLKM_INDEX || rows < 0 || rows >= DRLKM_ROWS) return fail(s, path);
  int32_t at = 5;
  for (int r = 1; r <= rows; ++r) {
    int32_t n = 0;
    if (!number(d, size, &at, &n) || n > DRLKM_PAIRS) return fail(s, path);
    m->cat[r].n = n;
    for (int k = 0; k < n; ++k) {
      int32_t tag = 0, key = 0;
      if (!number(d, size, &at, &tag) || !number(d, size, &at, &key) || tag >= DRLKM_KEYS ||
          key >= DRLKM_KEYS)
        return fail(s, path);
      m->cat[r].tag[k] = tag;
      m->cat[r].key[k] = key;
    }
  }
  while (at < size && d[at] != '*') ++at;
  if (at >= size) return fail(s, path);
  ++at;
  if (at + 4 * nidx > size) return fail(s, path);
  for (int k = 0; k < nidx; ++k, at += 4) {
    m->lidx[k] = d[at];
    m->lpos[k] = d[at + 1] << 16 | d[at + 2] << 8 | d[at + 3];
    if (m->lpos[k] >= size) return fail(s, path);
  }
  return 0;
}

// --- the trie's child index ------------------------------------------------------

uint32_t slot(const drlkmmod *m, int32_t key) {
  return (static_cast<uint32_t>(key) * 0x9E3779B1u >> 7) & m->cmask;
}

// The node of list head with first byte b, or 0.
int32_t child(const drlkmmod *m, int32_t head, uint8_t b) {
  const int32_t key = head << 8 | b;
  for (uint32_t i = slot(m, key);; i = (i + 1) & m->cmask) {
    if (m->cidx[2 * i] == key) return m->cidx[2 * i + 1];
    if (m->cidx[2 * i] < 0) return 0;
  }
}

// Enters key with value p unless it is there; false when it was.
bool put(drlkmmod *m, int32_t key, int32_t p) {
  for (uint32_t i = slot(m, key);; i = (i + 1) & m->cmask) {
    if (m->cidx[2 * i] == key) return false;
    if (m->cidx[2 * i] < 0) {
      m->cidx[2 * i] = key;
      m->cidx[2 * i + 1] = p;
      return true;
    }
  }
}

// Walks every sibling list reachable from the letter index as lookup reads
// the nodes, depth first: counts the entries (fill false) or enters them. A
// list ends at a pointer 0, out of the data, or at a node whose length is
// out of range. False when the walk takes more steps than the trie has bytes
// (a damaged trie whose pointers go round) or goes deeper than a word.
bool walk(drlkmmod *m, bool fill, int32_t *entries) {
  const uint8_t *d = m->trie;
  const int32_t size = m->triesize;
  struct frame {
    int32_t head, p;
  } stack[DRLKM_CELLS + 2];
  int32_t steps = 0;
  *entries = 0;
  for (int e = 0; e < DRLKM_INDEX && m->lidx[e] != 0; ++e) {
    int top = 0;
    stack[top++] = {m->lpos[e], m->lpos[e]};
    // A list reached twice (two letters sharing it) is indexed once: its
    // mark lies above every byte's key.
    if (fill && !put(m, 1 << 30 | m->lpos[e], 0)) continue;
    ++*entries;
    while (top > 0) {
      frame &f = stack[top - 1];
      const int32_t p = f.p;
      const int len = p > 0 && p < size ? d[p] : 0;
      if (len < 5 || len > 127 || p + len >= size) {
        --top;
        continue;
      }
      if (++steps > size) return false;
      const uint8_t x = d[p + len - 2];
      // The first node of a byte wins, as a scan along the list finds it.
      if (fill) (void)put(m, f.head << 8 | d[p + 1], p);
      ++*entries;
      f.p = (x & 0x1F) << 16 | d[p + len - 1] << 8 | d[p + len];
      if (x & 0x20) {
        const int32_t c = p + 1 + len;
        if (top >= DRLKM_CELLS + 2) return false;
        if (fill && !put(m, 1 << 30 | c, 0)) continue;
        ++*entries;
        stack[top++] = {c, c};
      }
    }
  }
  return true;
}

// Builds the child index; without one (a damaged trie) the walk scans the
// siblings. 0, or 1 when there is no memory for it (the allocator pushed).
int childindex(drsrvstate *s, drlkmmod *m) {
  int32_t entries = 0;
  if (!walk(m, false, &entries)) return 0;
  uint32_t cap = 1024;
  while (cap < static_cast<uint32_t>(entries) * 2 + 64) cap <<= 1;
  auto *idx = static_cast<int32_t *>(alloc(s, m, sizeof(int32_t) * 2 * cap));
  if (!idx) return 1;
  std::memset(idx, 0xFF, sizeof(int32_t) * 2 * cap);
  m->cidx = idx;
  m->cmask = cap - 1;
  if (!walk(m, true, &entries)) {
    release(s, m, idx);
    m->cidx = nullptr;
  }
  return 0;
}

int loadgram(drsrvstate *s, drlkmmod *m, const char *path) {
  int32_t size = 0;
  uint8_t *d = slurp(s, m, path, 4 * 1024 * 1024, &size);
  if (!d) return fail(s, path);
  int32_t at = 0, key = 0, tag = 0;
  bool ok = true;
  while (ok && number(d, size, &at, &key)) {
    ok = key < DRLKM_KEYS;
    while (ok && (ok = number(d, size, &at, &tag)) && tag != 0) {
      ok = tag < DRLKM_KEYS;
      if (ok) m->matrix[key][tag] = 1;
    }
  }
  // Only white space may follow the last group.
  while (at < size && (d[at] == ' ' || d[at] == '\t' || d[at] == '\n' || d[at] == '\r' || d[at] == '\f'))
    ++at;
  release(s, m, d);
  return ok && at == size ? 0 : fail(s, path);
}

// --- analysis -------------------------------------------------------------------

int classof(const uint8_t *p) {
  const uint8_t b = p[0];
  if (b == 0) return K_END;
  if (b == ' ' || b == '\t' || b == '\r' || b == '\n') return K_WHITE;
  if (b >= 0xA1 && b != 0xFF && p[1] >= 0xA1 && p[1] != 0xFF) {
    const int c = b << 8 | p[1];
    if (c > 0xB0A0 && c < 0xCAA0) return K_HANGUL;
    if (c > 0xCAA0) return K_HANJA;
    if (c >= 0xA3B0 && c <= 0xA3B9) return K_FWDIGIT;
    if (c >= 0xA3C1 && c <= 0xA3DA) return K_FWLETTER;
    if (c == 0xA1A1) return K_FWSPACE;
    return K_SYMBOL;
  }
  if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) return K_LETTER;
  if (b >= '0' && b <= '9') return K_DIGIT;
  if (b == '-' || b == ',' || b == '.') return K_SEP;
  return K_OTHER;
}

int width(int cls) { return cls >= K_HANGUL && cls <= K_SYMBOL ? 2 : 1; }

bool latin(int cls) {
  return cls == K_LETTER || cls == K_DIGIT || cls == K_FWLETTER || cls == K_FWDIGIT;
}

// The list being filled by one call.
struct terms {
  drlkmterm *out;
  int n;
};

void record(terms *t, int32_t first, int32_t last, int32_t kind) {
  if (last - first < 2 || last - first > 61 || t->n >= DRLKM_TERMS - 1) return;
  t->out[t->n++] = {first, last, kind};
  t->out[t->n] = {0, 0, 0};
}

const char kInitial[] = "gndlmbsjcktphqfrvzyw";
const char kFinal[] = "GNDLMBS*JCKTPH";
bool isinitial(char c) { return c && std::strchr(kInitial, c); }
bool isfinal(char c) { return c && std::strchr(kFinal, c); }

// The letters of the Hangul run (len bytes) with the byte offset of the
// syllable of each; the letter count, or -1 when a character is no syllable
// of the set or the run spells more letters than the lattice takes.
int spell(const uint8_t *run, int32_t len, char *letters, int32_t *map) {
  static const char *const kInit[19] = {"g", "q", "n", "d", "f", "l", "m", "b", "r", "s",
                                        "v", "",  "j", "z", "c", "k", "t", "p", "h"};
  static const char *const kVowel[21] = {"a",  "8",  "ya", "y8", "e",  "9",  "ye",
                                         "y9", "o",  "wa", "w8", "wi", "yo", "u",
                                         "we", "w9", "wu", "yu", "_",  "yi", "i"};
  static const char *const kFin[28] = {"",  "G",  "Q",  "GS", "N", "NJ", "NH", "D", "L", "LG",
                                       "LM", "LB", "LS", "LT", "LP", "LH", "M", "B", "BS", "S",
                                       "V", "*",  "J",  "C",  "K",  "T",  "P",  "H"};
  int n = 0;
  for (int32_t at = 0; at + 1 < len; at += 2) {
    const int row = run[at] - 0xB0, cell = run[at + 1] - 0xA1;
    if (row < 0 || row > 24 || cell < 0 || cell > 93 || row * 94 + cell >= 2350) return -1;
    const int u = drlksyltab[row * 94 + cell] - 0xAC00;
    if (u < 0 || u >= 11172) return -1;
    for (const char *part : {kInit[u / 588], kVowel[(u % 588) / 28], kFin[u % 28]})
      for (const char *c = part; *c; ++c) {
        if (n >= DRLKM_LETTERS) return -1;
        map[n] = at;
        letters[n++] = *c;
      }
  }
  map[n] = len;
  map[n + 1] = len + 1;
  return n;
}

// Categories of the morphemes that begin the reversed letters s (n of
// them): res[k] for the morpheme of k letters.
void lookup(const drlkmmod *m, const char *s, int n, int32_t *res) {
  int e = 0;
  while (e < DRLKM_INDEX && m->lidx[e] != 0 && m->lidx[e] != static_cast<uint8_t>(s[0])) ++e;
  if (e >= DRLKM_INDEX || m->lidx[e] == 0) return;
  const uint8_t *d = m->trie;
  const int32_t size = m->triesize;
  int32_t p = m->lpos[e];
  int matched = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    if (p <= 0 || p >= size) return;
    // p heads a sibling list: the index goes straight to its node that
    // begins with the next letter.
    if (m->cidx && !(p = child(m, p, static_cast<uint8_t>(s[matched])))) return;
    const int len = d[p];
    if (len < 5 || len > 127 || p + len >= size) return;
    const uint8_t *label = d + p + 1;
    const int llen = len - 4;
    const uint8_t w = label[llen], x = label[llen + 1], y = label[llen + 2], z = label[llen + 3];
    int common = 0;
    while (common < llen && matched + common < n &&
           label[common] == static_cast<uint8_t>(s[matched + common]))
      ++common;
    if (common == 0) {  // only without the index
      p = (x & 0x1F) << 16 | y << 8 | z;
      if (p == 0) return;
      continue;
    }
    if (common < llen) return;
    matched += llen;
    const int32_t cat = w * 4 + (x >> 6);
    if (cat != 0 && cat < DRLKM_ROWS) res[matched] = cat;
    if (matched >= n || !(x & 0x20)) return;
    p += 1 + len;
  }
}

// True when key k of a pair connects to some tag of the element.
bool connects(const drlkmmod *m, int32_t key, const drlkmel *e) {
  for (int k = 0; k < e->n; ++k)
    if (m->matrix[key][e->tag[k]]) return true;
  return false;
}

// Pushes the pairs of category row c that follow the path's top element
// (by its keys when left, by its tags otherwise); false when none do, the
// path is full or the row is no category.
bool pushrow(drlkmmod *m, int32_t c, int32_t first, int32_t last, bool left) {
  drlkmpath &p = m->path;
  if (c <= 0 || c >= DRLKM_ROWS || p.depth >= DRLKM_DEPTH) return false;
  drlkmel &e = p.el[p.depth];
  e.n = 0;
  e.first = first;
  e.last = last;
  const drlkmrow &r = m->cat[c];
  for (int k = 0; k < r.n; ++k) {
    bool ok = p.depth == 0;
    if (!ok) {
      const drlkmel &top = p.el[p.depth - 1];
      for (int t = 0; t < top.n && !ok; ++t)
        ok = left ? m->matrix[top.key[t]][r.tag[k]] != 0 : m->matrix[r.key[k]][top.tag[t]] != 0;
    }
    bool dup = false;
    for (int j = 0; j < e.n && !dup; ++j) dup = e.tag[j] == r.tag[k] && e.key[j] == r.key[k];
    if (ok && !dup) {
      e.tag[e.n] = r.tag[k];
      e.key[e.n++] = r.key[k];
    }
  }
  if (e.n == 0) return false;
  ++p.depth;
  return true;
}

void search(drlkmmod *m, int32_t a, int32_t b) {
  drlkmpath &p = m->path;
  if (p.found || --m->steps < 0) return;
  if (a == 0 && b == 0) {
    if (p.depth == 0) return;
    const drlkmel &top = p.el[p.depth - 1];
    const drlkmrow &r = m->cat[2];
    for (int k = 0; k < r.n && !p.found; ++k)
      for (int t = 0; t < top.n && !p.found; ++t)
        if (m->matrix[top.key[t]][r.tag[k]]) p.found = 1;
    return;
  }
  for (int32_t i = a; i <= b && !p.found; ++i) {
    if (i < 0 || b >= DRLKM_CELLS) break;
    const int32_t c = m->lattice[b][i];
    if (c == 0 || !pushrow(m, c, i, b, true)) continue;
    search(m, a, i - 1);
    if (!p.found) --p.depth;
  }
}

// The search that tries every segmentation from the word's end and keeps
// the last path whose element carries one of the endings.
void forward(drlkmmod *m, int32_t a, int32_t b, const char *rev, int L, const int32_t *ends,
             int nends) {
  if (a == b || --m->steps < 0) return;
  for (int32_t q = b; q >= a; --q) {
    const int32_t c = m->lattice[a][q];
    if (c == 0 || !pushrow(m, c, a, q, false)) continue;
    const drlkmel &e = m->path.el[m->path.depth - 1];
    bool ending = false;
    for (int k = 0; k < e.n && !ending; ++k)
      for (int j = 0; j < nends; ++j) ending = ending || e.tag[k] == ends[j];
    const char x = q >= 1 && q <= L ? rev[q] : 0;
    if (ending && !isinitial(x)) {
      m->best = m->path;
      m->bestdepth = m->path.depth;
    }
    forward(m, q + 1, b, rev, L, ends, nends);
    --m->path.depth;
  }
}

bool hastag(const drlkmel &e, int32_t tag) {
  for (int k = 0; k < e.n; ++k)
    if (e.tag[k] == tag) return true;
  return false;
}

// Byte range in the run of lattice positions i to j.
void range(const int32_t *map, int L, int32_t i, int32_t j, int32_t *first, int32_t *last) {
  *first = map[L - j];
  *last = map[L - i + 1] - 1;
  if (*last < 0) *last = 0;
}

// True when the exception dictionary holds the bytes from..to of text.
bool exception(const drlkmmod *m, const uint8_t *text, int32_t from, int32_t to) {
  char buf[DRLKM_LINE];
  int32_t len = to - from + 1;
  if (len <= 0 || len >= DRLKM_LINE) return false;
  std::memcpy(buf, text + from, static_cast<size_t>(len));
  buf[len] = '\0';
  return drlkmmatch(m->xidx, buf) >= len;
}

void emit(drlkmmod *m, const uint8_t *word, int32_t at, const int32_t *map, int L, terms *t) {
  drlkmpath &p = m->path;
  for (int k = 1; k < p.depth; ++k) {
    const drlkmel &e = p.el[k];
    const drlkmel *next = k + 1 < p.depth ? &p.el[k + 1] : nullptr;
    if (e.first == 0 && e.last == 0) continue;  // the closing element of the filter
    int32_t first = 0, last = 0;
    range(map, L, e.first, e.last, &first, &last);
    int kind = 0;
    for (int j = 0; j < e.n && !kind; ++j) {
      int32_t tag = e.tag[j];
      if (tag == 13) {
        if (!next || !(hastag(*next, 400) || hastag(*next, 401))) continue;
        tag = 0;
      }
      if (tag == 7) kind = 6;
      else if (tag == 4) kind = 7;
      else if (tag <= 80) {
        kind = 2;
        if (next && hastag(*next, 408) && !(next->first == 0 && next->last == 0)) {
          int32_t f2 = 0;
          range(map, L, next->first, next->last, &f2, &last);
        }
      } else if (tag == 350 || tag == 402 || tag == 404 || tag == 406) kind = 2;
    }
    if ((hastag(e, 420) || hastag(e, 421) || hastag(e, 440)) && t->n > 0) {
      t->out[t->n - 1].last = at + last;
      continue;
    }
    if (kind && !exception(m, word, at + first, at + last)) record(t, at + first, at + last, kind);
  }
}

void fallback(drlkmmod *m, const uint8_t *word, int32_t at, int32_t len, const char *rev,
              const int32_t *map, int L, terms *t) {
  auto stemto = [&](int32_t letter) { return map[letter] - 1; };
  static const int32_t kEnding[] = {402};
  static const int32_t kEndings2[] = {190, 191};
  m->path.depth = 0;
  m->bestdepth = 0;
  m->steps = kSteps;
  forward(m, 0, L + 1, rev, L, kEnding, 1);
  if (m->bestdepth > 0) {
    const drlkmpath &b = m->best;
    int32_t end = stemto(L - b.el[m->bestdepth - 1].last);
    if (end > 2) record(t, at, at + end, 4);
    for (int k = m->bestdepth - 1; k >= 1; --k) {
      const drlkmel &e = b.el[k];
      if (!hastag(e, 402)) continue;
      int32_t first = 0, last = 0;
      range(map, L, e.first, e.last, &first, &last);
      if (last - (end + 1) >= 2) record(t, at + end + 1, at + last, 4);
      end = last;
    }
    return;
  }
  int32_t stem = 0, stem2 = 0;
  for (int32_t p = 1; p < len - 1 && p <= L; ++p) {
    const int32_t c = m->lattice[1][p];
    if (c <= 0 || c >= DRLKM_ROWS) continue;
    const char x = p + 1 <= L ? rev[p + 1] : 0;
    const bool fin = isfinal(x), ini = isinitial(x);
    for (int k = 0; k < m->cat[c].n; ++k) {
      switch (m->cat[c].tag[k]) {
        case 180: if (!fin && !ini) stem = p; break;
        case 181: if (fin) stem = p; break;
        case 182: if ((!fin || x == 'L') && !ini) stem = p; break;
        case 183: if (fin && !ini) stem = p; break;
        case 184: if (!ini) stem = p; break;
        case 160: if (!fin && !ini) stem2 = p; break;
        case 161: if (fin) stem2 = p; break;
        case 162: if ((!fin || x == 'L') && !ini) stem2 = p; break;
        case 163: if (fin && !ini) stem2 = p; break;
        case 164: case 165: case 166: if (!ini) stem2 = p; break;
        default: break;
      }
    }
  }
  if (stem > 0) {
    record(t, at, at + stemto(L - stem), 4);
    return;
  }
  m->path.depth = 0;
  m->bestdepth = 0;
  m->steps = kSteps;
  forward(m, 0, L + 1, rev, L, kEndings2, 2);
  if (m->bestdepth > 0) {
    int32_t end = stemto(L - m->best.el[m->bestdepth - 1].last);
    if (end > 2) record(t, at, at + end, 4);
    return;
  }
  record(t, at, at + len - 1, 3);
  if (stem2 > 0) record(t, at, at + stemto(L - stem2), 4);
}

// Analyses the Hangul run of len bytes at word + at.
void hangul(drlkmmod *m, const uint8_t *word, int32_t at, int32_t len, terms *t) {
  char letters[DRLKM_LETTERS + 1];
  int32_t map[DRLKM_LETTERS + 2];
  const int L = spell(word + at, len, letters, map);
  if (L <= 0) return;
  char rev[DRLKM_CELLS + 1];  // 1-based: rev[1] is the word's last letter
  rev[0] = 0;
  for (int k = 0; k < L; ++k) rev[k + 1] = letters[L - 1 - k];
  rev[L + 1] = 0;
  for (int r = 0; r <= L + 2 && r < DRLKM_CELLS; ++r)
    for (int c = 0; c <= L + 1; ++c) m->lattice[r][c] = 0;
  m->lattice[0][0] = 2;
  m->lattice[L + 1][L + 1] = 1;
  for (int i = 1; i <= L; ++i) {
    bool reached = false;
    for (int d = 0; d < i && !reached; ++d) reached = m->lattice[d][i - 1] != 0;
    if (!reached) continue;
    int32_t res[DRLKM_CELLS];
    std::memset(res, 0, sizeof(int32_t) * static_cast<size_t>(L - i + 2));
    lookup(m, rev + i, L - i + 1, res);
    for (int k = 1; k <= L - i + 1; ++k)
      if (res[k]) m->lattice[i][i + k - 1] = m->lattice[i + k - 1][i] = res[k];
  }
  for (;;) {
    m->path.depth = 0;
    m->path.found = 0;
    m->steps = kSteps;
    search(m, 0, L + 1);
    if (m->path.found) {
      // Keep in each element only the pairs that connect to the one after it.
      drlkmpath &p = m->path;
      if (p.depth <= DRLKM_DEPTH) {
        p.el[p.depth++] = drlkmel{1, 0, 0, {460}, {460}};
        for (int k = p.depth - 1; k >= 2; --k) {
          drlkmel &below = p.el[k - 1];
          int n = 0;
          for (int j = 0; j < below.n; ++j) {
            bool dup = false;
            for (int q = 0; q < n && !dup; ++q) dup = below.tag[q] == below.tag[j] && below.key[q] == below.key[j];
            if (!dup && connects(m, below.key[j], &p.el[k])) {
              below.tag[n] = below.tag[j];
              below.key[n++] = below.key[j];
            }
          }
          below.n = n;
        }
      }
      emit(m, word, at, map, L, t);
      return;
    }
    if (m->boundary != 0) break;
    m->lattice[L + 1][L + 1] = 3;
    m->boundary = 1;
  }
  fallback(m, word, at, len, rev, map, L, t);
}

}  // namespace

int32_t drlkmmatch(const drlkmtop *idx, const char *text) {
  const int8_t first = static_cast<int8_t>(text[0]);
  const drlkmnode *n = nullptr;
  int k = 0;
  for (; k < DRLKM_TOP && idx[k].node; ++k) {
    if (idx[k].byte > first) {
      if (k == 0) return 0;
      n = idx[k - 1].node;
      break;
    }
    if (idx[k].byte == first) {
      n = idx[k].node;
      break;
    }
  }
  if (!n) {
    if (k == 0) return 0;
    n = idx[k - 1].node;
  }
  int32_t matched = 0, best = 0;
  while (n) {
    const int8_t c = static_cast<int8_t>(text[matched]), l = static_cast<int8_t>(n->label[0]);
    if (c < l) break;
    if (c > l) {
      n = n->next;
      continue;
    }
    if (std::strncmp(n->label, text + matched, n->len) != 0) break;
    matched += n->len;
    if (n->term) best = matched;
    n = n->child;
  }
  return best;
}

drlkmmod *drlkminit(drsrvstate *s) {
  auto *m = static_cast<drlkmmod *>(
      drumalc(s, s->hpmgr, s->seshp, 1, sizeof(drlkmmod), __FILE__, __LINE__));
  if (!m) {
    druetrc();
    return nullptr;
  }
  m->heap = s->seshp;
  return m;
}

int drlkmload(drsrvstate *s, drlkmmod *m, const char *upath, const char *spath, const char *xpath,
              const char *gpath) {
  if (loadtree(s, m, xpath, &m->xtree, m->xidx) != 0 ||
      loadtree(s, m, upath, &m->utree, m->uidx) != 0 || loadsdic(s, m, spath) != 0 ||
      childindex(s, m) != 0 ||
      loadgram(s, m, gpath) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int32_t drlkmword(drsrvstate *, drlkmmod *m, const char *text, drlkmterm *out) {
  const auto *w = reinterpret_cast<const uint8_t *>(text);
  terms t{out, 0};
  out[0] = {0, 0, 0};
  int32_t pos = 0;
  for (;;) {
    const int c = classof(w + pos);
    if (c == K_END) {
      m->boundary = 1;
      return pos;
    }
    if (c == K_WHITE) {
      m->boundary = 1;
      return pos + 1;
    }
    if (c == K_FWSPACE || c == K_SYMBOL) {
      m->boundary = c == K_FWSPACE;
      return pos + 2;
    }
    if (int32_t u = m->utree ? drlkmmatch(m->uidx, text + pos) : 0) {
      record(&t, pos, pos + u - 1, 1);
      m->boundary = 0;
      return pos + u;
    }
    if (c == K_HANJA) {
      int32_t e = pos;
      while (classof(w + e) == K_HANJA) e += 2;
      record(&t, pos, e - 1, 2);
      m->boundary = 0;
      pos = e;
      continue;
    }
    if (latin(c)) {
      int32_t e = pos;
      for (;;) {
        const int k = classof(w + e);
        if (latin(k)) e += width(k);
        else if (k == K_SEP && latin(classof(w + e + 1))) e += 1;
        else break;
      }
      record(&t, pos, e - 1, 2);
      m->boundary = 0;
      pos = e;
      continue;
    }
    if (c == K_HANGUL && classof(w + pos + 2) == K_HANGUL) {
      int32_t e = pos;
      while (classof(w + e) == K_HANGUL) e += 2;
      hangul(m, w, pos, e - pos, &t);
      m->boundary = 0;
      return e;
    }
    pos += c == K_HANGUL ? 2 : 1;
  }
}

int drlkmfree(drsrvstate *s, drlkmmod *m) {
  if (!m) return 0;
  freetree(s, m, m->utree);
  freetree(s, m, m->xtree);
  release(s, m, m->trie);
  release(s, m, m->cidx);
  void *self = m;
  drumfre(s, s->hpmgr, m->heap, &self);
  return 0;
}
