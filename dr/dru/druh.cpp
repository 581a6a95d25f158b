/* Keyed tables: chained hashing over a prime bucket count. Integer-key
 * chains are kept in ascending key order so that a miss stops early;
 * string-key chains grow at their end and are hashed with Pearson's method. */
#include "dr/dru/druh.h"

#include <cstring>

#include "dr/dru/drue.h"

namespace {

/* Bucket counts: a request takes the smallest of these not below it. */
const uint16_t kPrimes[] = {
    7, 19, 29, 37, 47, 59, 67, 79, 89, 97, 109, 127, 139, 149, 157, 167, 179, 181, 199, 211,
    229, 239, 241, 257, 269, 277, 283, 293, 307, 317, 337, 349, 359, 367, 379, 389, 397, 409,
    419, 421, 439, 449, 457, 467, 479, 487, 499, 509, 521, 541, 557, 569, 571, 577, 587, 599,
    601, 631, 659, 677, 691, 719, 739, 757, 773, 797, 811, 839, 859, 877, 907, 919, 937, 953,
    977, 997, 1049, 1097, 1151, 1201, 1249, 1297, 1361, 1399, 1447, 1499, 1549, 1597, 1657,
    1699, 1747, 1801, 1861, 1901, 1949, 1999, 2053, 2099, 2153, 2203, 2251, 2297, 2351, 2399,
    2447, 2503, 2549, 2593, 2647, 2699, 2749, 2797, 2851, 2897, 2953, 2999, 3049, 3089, 3137,
    3191, 3251, 3299, 3347, 3391, 3449, 3499, 3593, 3697, 3797, 3889, 3989, 4099, 4201, 4297,
    4397, 4493, 4597, 4691, 4799, 4903, 4999, 5099, 5197, 5297, 5399, 5501, 5591, 5701, 5801,
    5897, 6007, 6199, 6397, 6599, 6803, 7001, 7207, 7393, 7603, 7793, 7993, 8191, 8389, 8599,
    8783, 8999, 9199, 9397, 9587, 9791, 9973, 10499, 10993, 11497, 11987, 12497, 12983, 13597,
    13999, 14489, 14983, 15583, 15991, 16573, 16993, 17497, 17989, 18493, 18979, 19489, 19997,
    21001, 21997, 23003, 24001, 24989, 25999, 26993, 28001, 29009, 29989, 31013, 31991, 32749,
    34501, 36497, 38501, 40499, 42499, 44501, 46499, 48497, 50497, 52501, 54499, 56501, 58511,
    60497, 62501, 64499, 65521
};

/* Pearson's permutation of 0 to 255 for hashing variable-length text
 * (Communications of the ACM, June 1990). */
const uint8_t kPearson[256] = {
    1, 87, 49, 12, 176, 178, 102, 166, 121, 193, 6, 84, 249, 230, 44, 163, 14, 197, 213, 181,
    161, 85, 218, 80, 64, 239, 24, 226, 236, 142, 38, 200, 110, 177, 104, 103, 141, 253, 255,
    50, 77, 101, 81, 18, 45, 96, 31, 222, 25, 107, 190, 70, 86, 237, 240, 34, 72, 242, 20, 214,
    244, 227, 149, 235, 97, 234, 57, 22, 60, 250, 82, 175, 208, 5, 127, 199, 111, 62, 135, 248,
    174, 169, 211, 58, 66, 154, 106, 195, 245, 171, 17, 187, 182, 179, 0, 243, 132, 56, 148, 75,
    128, 133, 158, 100, 130, 126, 91, 13, 153, 246, 216, 219, 119, 68, 223, 78, 83, 88, 201, 99,
    122, 11, 92, 32, 136, 114, 52, 10, 138, 30, 48, 183, 156, 35, 61, 26, 143, 74, 251, 94, 129,
    162, 63, 152, 170, 7, 115, 167, 241, 206, 3, 150, 55, 59, 151, 220, 90, 53, 23, 131, 125,
    173, 15, 238, 79, 95, 89, 16, 105, 137, 225, 224, 217, 160, 37, 123, 118, 73, 2, 157, 46,
    116, 9, 145, 134, 228, 207, 212, 202, 215, 69, 229, 27, 188, 67, 124, 168, 252, 42, 4, 29,
    108, 21, 247, 19, 205, 39, 203, 233, 40, 186, 147, 198, 192, 155, 33, 164, 191, 98, 204,
    165, 180, 117, 76, 140, 36, 210, 172, 41, 54, 159, 8, 185, 232, 113, 196, 231, 47, 146, 120,
    51, 65, 28, 144, 254, 221, 93, 189, 194, 139, 112, 43, 71, 109, 184, 209
};

/* Bytes the record counts for in the bytes-used figure, and per chain head.
 * These are the table's accounting figures; the indexing driver's memory
 * limit is tuned to them. */
constexpr int32_t kRecordBytes = 32;
constexpr int32_t kHeadBytes = 4;

unsigned char *data(druhelt *e) { return reinterpret_cast<unsigned char *>(e + 1); }
const unsigned char *keyof(const druhtab *t, druhelt *e) { return data(e) + t->stride; }

uint32_t intkey(const void *p) {
  uint32_t k;
  std::memcpy(&k, p, sizeof k);
  return k;
}

/* The tag of a string key (FNV-1a): compared before the key itself, and the
 * bucket hash of a table grown past the 16 bits of the Pearson pair. */
uint32_t tagof(const void *key) {
  uint32_t h = 2166136261u;
  for (const unsigned char *c = static_cast<const unsigned char *>(key); *c; ++c)
    h = (h ^ *c) * 16777619u;
  return h;
}

uint32_t bucketof(const druhtab *t, const void *key, uint32_t tag) {
  if (t->flags & DRUH_FINT) return intkey(key) % t->nbuckets;
  if (t->nbuckets > DRUH_MAXBUCKETS) return tag % t->nbuckets;
  /* Two 8-bit hashes side by side give 16 bits. */
  unsigned h = 0, l = 255;
  for (const unsigned char *c = static_cast<const unsigned char *>(key); *c; ++c) {
    l = kPearson[*c ^ l];
    h = kPearson[*c ^ h];
  }
  return (h * 256 + l) % t->nbuckets;
}

uint32_t keytag(const druhtab *t, const void *key) {
  return (t->flags & DRUH_FINT) ? 0 : tagof(key);
}

/* Finds a key in its chain: the hit or null, and the link that points at
 * the hit or at the place a new element goes. */
druhelt *find(druhtab *t, const void *key, uint32_t tag, druhelt ***link) {
  druhelt **at = &t->buckets[bucketof(t, key, tag)];
  if (t->flags & DRUH_FINT) {
    uint32_t k = intkey(key);
    while (*at && intkey(keyof(t, *at)) < k) at = &(*at)->next;
    *link = at;
    return *at && intkey(keyof(t, *at)) == k ? *at : nullptr;
  }
  const char *s = static_cast<const char *>(key);
  for (; *at; at = &(*at)->next)
    if ((*at)->tag == tag && std::strcmp(reinterpret_cast<const char *>(keyof(t, *at)), s) == 0) {
      *link = at;
      return *at;
    }
  *link = at;
  return nullptr;
}

bool prime(uint32_t n) {
  if (n < 2) return false;
  for (uint32_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

/* Largest bucket count a table grows to. */
constexpr uint32_t kMaxGrown = 1u << 24;

/* Raises the bucket count about fourfold and moves every element to its new
 * chain, keeping integer chains ascending and string chains in their order.
 * A table that cannot get the new heads stays as it is. */
void grow(druhtab *t) {
  uint32_t n = t->nbuckets * 4u + 1u;
  if (n > kMaxGrown || n <= t->nbuckets) return;
  while (!prime(n)) ++n;
  drsrvstate *st = t->st;
  // Growing is only a speed-up: without memory for it the table goes on as
  // it is, and nothing is pushed.
  auto *heads = static_cast<druhelt **>(rthpalloc(st->hpmgr, t->heap, (n + 1u) * sizeof(druhelt *),
                                                  RTHP_ZERO, __FILE__, __LINE__));
  if (!heads) return;
  druhelt **old = t->buckets;
  uint32_t oldn = t->nbuckets;
  t->buckets = heads;
  t->nbuckets = n;
  for (uint32_t b = 0; b < oldn; ++b) {
    for (druhelt *e = old[b], *next; e; e = next) {
      next = e->next;
      druhelt **at = &heads[bucketof(t, keyof(t, e), e->tag)];
      if (t->flags & DRUH_FINT) {
        uint32_t k = intkey(keyof(t, e));
        while (*at && intkey(keyof(t, *at)) < k) at = &(*at)->next;
      } else {
        while (*at) at = &(*at)->next;
      }
      e->next = *at;
      *at = e;
    }
  }
  void *block = old;
  drumfre(st, st->hpmgr, t->heap, &block);
  t->used += kHeadBytes * static_cast<int32_t>(n - oldn);
}

/* Unlinks e from its chain in bucket b and frees it. When e is the
 * iteration cursor, the cursor steps back to the element before it, or is
 * cleared (the iteration starts again) when e headed its chain. */
void unlink(druhtab *t, uint32_t b, druhelt **link, druhelt *e) {
  if (t->cursor == e) {
    druhelt *prev = nullptr;
    for (druhelt *p = t->buckets[b]; p != e; p = p->next) prev = p;
    t->cursor = prev;
  }
  *link = e->next;
  --t->count;
  void *block = e;
  drumfre(t->st, t->st->hpmgr, t->heap, &block);
}

/* String keys longer than the 8-bit length can hold are refused: the copy
 * would lose its terminator and every compare would run past it. */
bool keytoolong(druhtab *t, const void *key) {
  return !(t->flags & DRUH_FINT) &&
         strnlen(static_cast<const char *>(key), DRUH_MAXKEY + 1) > DRUH_MAXKEY;
}

}  // namespace

uint16_t druhprm(uint32_t request) {
  if (request > DRUH_MAXBUCKETS) return 0;
  size_t lo = 0, hi = sizeof kPrimes / sizeof kPrimes[0] - 1;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kPrimes[mid] < request) lo = mid + 1;
    else hi = mid;
  }
  return kPrimes[lo];
}

int druhnew(drsrvstate *st, drheap parent, uint32_t nbuckets, uint32_t elsize, int keytype,
            druhtab **out) {
  *out = nullptr;
  if (nbuckets > DRUH_MAXBUCKETS) {
    druetrc();
    return 1;
  }
  uint32_t datasize = (elsize + 3u) & ~3u;
  if (elsize > 0xFFFFu - 7u) {
    int32_t size = static_cast<int32_t>(elsize > INT32_MAX ? INT32_MAX : elsize);
    dracnierr(st, DRFAC_DRG, DRUH_EELSIZE, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4,
              &size, DRA_END);
    druetrc();
    return 1;
  }
  uint16_t n = druhprm(nbuckets);
  drheap heap = nullptr;
  if (drmhpnew(st, st->hpmgr, &heap, parent, __FILE__, __LINE__) != 0) {
    druetrc();
    return 1;
  }
  auto *t = static_cast<druhtab *>(drumalc(st, st->hpmgr, heap, 1, sizeof(druhtab), __FILE__,
                                           __LINE__));
  druhelt **heads = t ? static_cast<druhelt **>(drumalc(st, st->hpmgr, heap, n + 1u,
                                                        sizeof(druhelt *), __FILE__, __LINE__))
                      : nullptr;
  if (!heads) {
    drmhpdel(st, st->hpmgr, heap);
    druetrc();
    return 1;
  }
  t->st = st;
  t->heap = heap;
  t->buckets = heads;
  t->nbuckets = n;
  t->datasize = static_cast<uint16_t>(datasize);
  t->stride = static_cast<uint16_t>(datasize + 4);
  if (keytype == DRUH_INTKEY) {
    t->flags = DRUH_FINT;
    t->maxkey = 4;
  }
  t->used = kRecordBytes + kHeadBytes * (n + 1);
  *out = t;
  return 0;
}

int druhfre(druhtab *t) {
  if (!t) return 0;
  drsrvstate *st = t->st;
  if (drmhpdel(st, st->hpmgr, t->heap) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int druhins(druhtab *t, const void *key, uint8_t keylen, void **out) {
  *out = nullptr;
  if (keytoolong(t, key)) {
    int32_t max = DRUH_MAXKEY;
    dracnierr(t->st, DRFAC_DRG, DRUH_EKEYLEN, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4,
              &max, DRA_END);
    druetrc();
    return 1;
  }
  druhelt **link;
  uint32_t tag = keytag(t, key);
  if (druhelt *hit = find(t, key, tag, &link)) {
    *out = data(hit);
    return 0;
  }
  /* The copy takes the key's own length (with its terminator) whatever the
   * caller counted, so that every stored string key is terminated. */
  (void)keylen;
  size_t klen = (t->flags & DRUH_FINT) ? 4 : std::strlen(static_cast<const char *>(key)) + 1;
  size_t size = sizeof(druhelt) + t->stride + klen;
  auto *e = static_cast<druhelt *>(drumalc(t->st, t->st->hpmgr, t->heap, 1, size, __FILE__,
                                           __LINE__));
  if (!e) {
    druetrc();
    return 1;
  }
  std::memcpy(data(e) + t->stride, key, klen);
  if (klen > t->maxkey) t->maxkey = static_cast<uint8_t>(klen);
  e->tag = tag;
  e->next = *link;
  *link = e;
  ++t->count;
  t->used += static_cast<int32_t>(t->stride + klen);
  *out = data(e);
  if ((t->flags & DRUH_FGROW) && !t->cursor && t->count / 2 > t->nbuckets) grow(t);
  return 0;
}

int druhauto(druhtab *t) {
  t->flags |= DRUH_FGROW;
  return 0;
}

int druhget(druhtab *t, const void *key, void **out) {
  druhelt **link;
  *out = nullptr;
  if (keytoolong(t, key)) return 0;  // never stored, so absent
  if (druhelt *hit = find(t, key, keytag(t, key), &link)) *out = data(hit);
  return 0;
}

int druhdel(druhtab *t, const void *key) {
  druhelt **link;
  if (keytoolong(t, key)) return 0;
  uint32_t tag = keytag(t, key);
  if (druhelt *hit = find(t, key, tag, &link)) unlink(t, bucketof(t, key, tag), link, hit);
  return 0;
}

int druhnxt(druhtab *t, void **out) {
  druhelt *e = nullptr;
  unsigned b = 0;
  if (t->cursor) {
    e = t->cursor->next;
    b = t->itbucket + (e ? 0u : 1u);
  }
  if (!e) {
    while (b < t->nbuckets && !t->buckets[b]) ++b;
    if (b >= t->nbuckets) {
      t->cursor = nullptr;
      t->itbucket = 0;
      *out = nullptr;
      return 2;
    }
    e = t->buckets[b];
  }
  t->cursor = e;
  t->itbucket = b;
  *out = data(e);
  return 0;
}

int druhdlc(druhtab *t) {
  druhelt *e = t->cursor;
  if (!e) return 0;
  druhelt **link = &t->buckets[t->itbucket];
  while (*link && *link != e) link = &(*link)->next;
  if (*link) unlink(t, t->itbucket, link, e);
  return 0;
}

int druhscn(druhtab *t, const char *search, druhcmpf cmp, const char **outkey, void **out) {
  *outkey = nullptr;
  *out = nullptr;
  if (t->flags & DRUH_FINT) {
    t->cursor = nullptr;
    druetrc();
    return 1;
  }
  void *d;
  while (druhnxt(t, &d) == 0) {
    const char *key = static_cast<const char *>(druhkey(t, d));
    if (cmp(search, key) & 0xFF) {
      *outkey = key;
      *out = d;
      return 0;
    }
  }
  return 2;
}

const void *druhkey(const druhtab *t, const void *elem) {
  return static_cast<const unsigned char *>(elem) + t->stride;
}

void druhdmp(druhtab *t, rtstream *stream) {
  drsrvstate *st = t->st;
  int nb = t->nbuckets, stride = t->stride, keytype = (t->flags & DRUH_FINT) ? 1 : 0;
  dracnprt(st, stream, "Hash table 0x%p\n", DRA_PTR, static_cast<const void *>(t), DRA_END);
  dracnprt(st, stream, "Header:\n", DRA_END);
  dracnprt(st, stream, "\tBuckets\t0x%p\n", DRA_PTR, static_cast<const void *>(t->buckets),
           DRA_END);
  dracnprt(st, stream, "\tSize\t%d\n", DRA_INT, nb, DRA_END);
  dracnprt(st, stream, "\tStride\t%d\n", DRA_INT, stride, DRA_END);
  dracnprt(st, stream, "\tKey type\t%d\n", DRA_INT, keytype, DRA_END);
  dracnprt(st, stream, "\tServer\t0x%p\n", DRA_PTR, static_cast<const void *>(st), DRA_END);
  dracnprt(st, stream, "\tHeap\t0x%p\n", DRA_PTR, static_cast<const void *>(t->heap), DRA_END);
  dracnprt(st, stream, "\n", DRA_END);
  dracnprt(st, stream, "Index\tKey\tAddr\tData\n", DRA_END);
  dracnprt(st, stream, "-----\t---\t----\t----\n", DRA_END);
  int total = 0;
  for (int b = 0; b < nb; ++b) {
    int len = 0;
    for (druhelt *e = t->buckets[b]; e; e = e->next) ++len;
    if (len) dracnprt(st, stream, "%d\t%d\n", DRA_INT, b, DRA_INT, len, DRA_END);
    total += len;
  }
  dracnprt(st, stream, "---------------------------\n", DRA_END);
  dracnprt(st, stream, "Total %d entries.\n", DRA_INT, total, DRA_END);
  dracnprt(st, stream, "---------------------------\n", DRA_END);
}

void druhlog(druhtab *t) { druhdmp(t, rtstdout(t->st->rt)); }
