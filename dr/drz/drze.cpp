/* Column arrays: values, lengths and null indicators of many rows carved
 * from one block, bound by name and sent in one execution, or defined by
 * position and filled by one fetch. Used by the rewrite's bookkeeping and by
 * the text loader. */
#include <cstring>

#include "dr/drz/drzint.h"

namespace {

/* A failing step pushes the database's text alone; the caller's own message
 * follows when it has one. */
const druorep kRep = {50800, 50801, 0, 0, 0, 0, 50805, 2, 2};

constexpr int32_t kLenMax = 0xFFFF;      /* a length array holds 16-bit lengths */
constexpr size_t kBlockMax = 0x7FFFFFFF; /* positions in a block stay 32-bit */

size_t align4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

/* Bytes of one column's arrays: rows values, lengths and indicators with
 * room to align each; false when the size cannot be had. */
bool colbytes(int32_t rows, int32_t size, size_t *out) {
  size_t per = 0;
  if (__builtin_mul_overflow(static_cast<size_t>(rows), static_cast<size_t>(size) + 4, &per))
    return false;
  return !__builtin_add_overflow(per, static_cast<size_t>(9), out);
}

}  // namespace

int drzenew(drsrvstate *st, drzeset **out, int32_t rows, const drzecol *cols, int32_t ncols) {
  if (rows < 1 || ncols < 1 || !cols) drzierr(st, __FILE__, __LINE__);
  size_t total = 0;
  for (int32_t c = 0; c < ncols; c++) {
    size_t bytes = 0;
    bool lens = !(cols[c].flags & DRZE_NOLEN);
    if (cols[c].size < 1 || (lens && cols[c].size > kLenMax) ||
        !colbytes(rows, cols[c].size, &bytes) || __builtin_add_overflow(total, bytes, &total) ||
        total > kBlockMax)
      drzierr(st, __FILE__, __LINE__);
  }
  auto *set = static_cast<drzeset *>(drzalloc(st, sizeof(drzeset), __FILE__, __LINE__));
  size_t n = static_cast<size_t>(ncols);
  set->names = static_cast<const char **>(drzalloc(st, n * sizeof(char *), __FILE__, __LINE__));
  set->sizes = static_cast<int32_t *>(drzalloc(st, n * sizeof(int32_t), __FILE__, __LINE__));
  set->types = static_cast<int32_t *>(drzalloc(st, n * sizeof(int32_t), __FILE__, __LINE__));
  set->values = static_cast<char **>(drzalloc(st, n * sizeof(char *), __FILE__, __LINE__));
  set->lens = static_cast<uint16_t **>(drzalloc(st, n * sizeof(uint16_t *), __FILE__, __LINE__));
  set->inds = static_cast<int16_t **>(drzalloc(st, n * sizeof(int16_t *), __FILE__, __LINE__));
  set->data = drzalloc(st, total, __FILE__, __LINE__);
  set->rows = rows;
  set->colcount = ncols;
  auto *base = static_cast<char *>(set->data);
  size_t pos = 0;
  size_t r = static_cast<size_t>(rows);
  for (int32_t c = 0; c < ncols; c++) {
    set->names[c] = cols[c].name;
    set->types[c] = cols[c].type;
    set->sizes[c] = cols[c].size;
    set->values[c] = base + pos;
    pos = align4(pos + r * static_cast<size_t>(cols[c].size));
    /* A column without a length array keeps its room, so that the block's
     * size does not depend on the marks. */
    if (!(cols[c].flags & DRZE_NOLEN)) set->lens[c] = reinterpret_cast<uint16_t *>(base + pos);
    pos = align4(pos + r * sizeof(uint16_t));
    set->inds[c] = reinterpret_cast<int16_t *>(base + pos);
    pos = align4(pos + r * sizeof(int16_t));
  }
  *out = set;
  return 0;
}

int drzefree(drsrvstate *st, drzeset **set) {
  if (!set || !*set) return 0;
  drzeset *s = *set;
  drzfree(st, s->data);
  drzfree(st, s->names);
  drzfree(st, s->sizes);
  drzfree(st, s->types);
  drzfree(st, s->values);
  drzfree(st, s->lens);
  drzfree(st, s->inds);
  drzfree(st, s);
  *set = nullptr;
  return 0;
}

int drzeins(drsrvstate *st, druocur *cur, drzeset *set) {
  if (set->filled < 0 || set->filled > set->rows) {
    dracnierr(st, DRFAC_DRG, 50100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  set->processed = 0;
  if (set->filled == 0) return 0;
  for (int32_t c = 0; c < set->colcount; c++) {
    if (druobnd(st, cur, set->names[c], set->values[c], set->sizes[c], set->types[c], set->inds[c],
                set->lens[c], &kRep) != 0) {
      druorbk(st);
      druetrc();
      return 1;
    }
  }
  if (druoexn(st, cur, static_cast<uint32_t>(set->filled), &kRep) != 0) {
    druorbk(st);
    druetrc();
    return 1;
  }
  set->processed = static_cast<int32_t>(druorows(cur));
  set->filled = 0;
  return 0;
}

int drzefetch(drsrvstate *st, druocur *cur, drzeset *set) {
  set->processed = 0;
  for (int32_t c = 0; c < set->colcount; c++) {
    if (druodef(st, cur, c + 1, set->values[c], set->sizes[c], set->types[c], set->inds[c],
                set->lens[c], &kRep) != 0) {
      druetrc();
      return 1;
    }
  }
  if (druoexe(st, cur, &kRep) != 0) {
    druetrc();
    return 1;
  }
  uint32_t before = druorows(cur);
  int rc = druofet(st, cur, static_cast<uint32_t>(set->rows), &kRep);
  if (rc != 0 && rc != DRUO_NODATA) {
    druetrc();
    return 1;
  }
  set->processed = static_cast<int32_t>(druorows(cur) - before);
  set->filled = 0;
  return 0;
}
