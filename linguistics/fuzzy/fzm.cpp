// The fuzzy matcher: the built-in profile, candidate ranking through a
// bucketed result pool, and LIKE pattern generation.
#include "linguistics/fuzzy/fzm.h"

#include <array>
#include <cstring>

namespace {

// ---------------------------------------------------------------------
// The built-in profile "DEFAULT"
// ---------------------------------------------------------------------

constexpr int kClassCount = 49;

constexpr std::array<unsigned char, 256> makemap() {
  std::array<unsigned char, 256> m{};
  for (int c = 'a'; c <= 'z'; c++) m[c] = static_cast<unsigned char>(c - 'a' + 1);
  for (int c = 'A'; c <= 'Z'; c++) m[c] = static_cast<unsigned char>(c - 'A' + 1);
  for (int c = '0'; c <= '9'; c++) m[c] = static_cast<unsigned char>(c - '0' + 40);
  // Latin-1 letters fold to their base letter, in both cases.
  struct Range {
    int lo, hi, cls;
  };
  const Range ranges[] = {{0xC0, 0xC6, 1},  {0xC7, 0xC7, 3},  {0xD0, 0xD0, 4},  {0xC8, 0xCB, 5},
                          {0xCC, 0xCF, 9},  {0xD1, 0xD1, 14}, {0xD2, 0xD6, 15}, {0xD8, 0xD8, 15},
                          {0xDF, 0xDF, 19}, {0xDE, 0xDE, 20}, {0xD9, 0xDC, 21}, {0xDD, 0xDD, 25}};
  for (const Range &r : ranges)
    for (int c = r.lo; c <= r.hi; c++) {
      m[c] = static_cast<unsigned char>(r.cls);
      if (c != 0xDF) m[c + 0x20] = static_cast<unsigned char>(r.cls);
    }
  m[0xFF] = 25;
  return m;
}

constexpr std::array<unsigned char, 256> kCharMap = makemap();

const char *const kLetters[26] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
                                  "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z"};
const char *const kDigits[10] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};

std::array<const char *, 256> makestrings() {
  std::array<const char *, 256> s{};
  for (int i = 0; i < 26; i++) s[1 + i] = kLetters[i];
  for (int i = 0; i < 10; i++) s[40 + i] = kDigits[i];
  s[33] = ",";
  s[34] = "-";
  s[35] = ".";
  return s;
}

const std::array<const char *, 256> kClassStr = makestrings();

// Similarity pairs by letter: the letter itself first, then the letters it
// is often confused with, by weight.
constexpr uint8_t L(char c) { return static_cast<uint8_t>(c - 'a' + 1); }
const fzmpair kPa[] = {{L('a'), 8}, {L('e'), 4}, {L('o'), 2}, {L('s'), 2}};
const fzmpair kPb[] = {{L('b'), 8}, {L('v'), 2}, {L('n'), 2}, {L('p'), 3}};
const fzmpair kPc[] = {{L('c'), 8}, {L('s'), 4}, {L('k'), 4}, {L('x'), 2}, {L('v'), 2}, {L('z'), 2}};
const fzmpair kPd[] = {{L('d'), 8}, {L('s'), 2}, {L('f'), 2}, {L('t'), 2}};
const fzmpair kPe[] = {{L('e'), 8}, {L('a'), 3}, {L('i'), 3}, {L('w'), 2}, {L('r'), 2}};
const fzmpair kPf[] = {{L('f'), 8}, {L('v'), 4}, {L('g'), 2}, {L('d'), 2}};
const fzmpair kPg[] = {{L('g'), 8}, {L('j'), 4}, {L('f'), 2}, {L('h'), 2}, {L('k'), 3}};
const fzmpair kPh[] = {{L('h'), 8}, {L('g'), 2}, {L('j'), 2}};
const fzmpair kPi[] = {{L('i'), 8}, {L('y'), 4}, {L('e'), 3}, {L('o'), 2}, {L('u'), 2}};
const fzmpair kPj[] = {{L('j'), 8}, {L('g'), 4}, {L('k'), 2}, {L('h'), 2}};
const fzmpair kPk[] = {{L('k'), 8}, {L('c'), 4}, {L('x'), 4}, {L('q'), 4}, {L('j'), 2}, {L('l'), 1}};
const fzmpair kPl[] = {{L('l'), 8}, {L('r'), 2}, {L('k'), 2}};
const fzmpair kPm[] = {{L('m'), 8}, {L('n'), 4}};
const fzmpair kPn[] = {{L('n'), 8}, {L('m'), 2}, {L('b'), 2}};
const fzmpair kPo[] = {{L('o'), 8}, {L('u'), 2}, {L('e'), 3}, {L('a'), 2}, {L('i'), 2}, {L('p'), 2}};
const fzmpair kPp[] = {{L('p'), 8}, {L('b'), 2}, {L('o'), 2}};
const fzmpair kPq[] = {{L('q'), 8}, {L('k'), 4}, {L('w'), 2}};
const fzmpair kPr[] = {{L('r'), 8}, {L('l'), 2}, {L('e'), 2}, {L('t'), 2}};
const fzmpair kPs[] = {{L('s'), 8}, {L('c'), 4}, {L('z'), 4}, {L('x'), 4}, {L('a'), 2}, {L('d'), 2}};
const fzmpair kPt[] = {{L('t'), 8}, {L('r'), 2}, {L('y'), 2}};
const fzmpair kPu[] = {{L('u'), 8}, {L('o'), 2}, {L('i'), 2}, {L('e'), 2}, {L('w'), 4}};
const fzmpair kPv[] = {{L('v'), 8}, {L('w'), 4}, {L('f'), 4}, {L('b'), 2}, {L('c'), 2}};
const fzmpair kPw[] = {{L('w'), 8}, {L('v'), 4}, {L('q'), 2}, {L('e'), 2}, {L('u'), 4}};
const fzmpair kPx[] = {{L('x'), 8}, {L('k'), 4}, {L('s'), 4}, {L('z'), 2}, {L('c'), 2}};
const fzmpair kPy[] = {{L('y'), 8}, {L('u'), 2}, {L('t'), 2}, {L('i'), 4}};
const fzmpair kPz[] = {{L('z'), 8}, {L('s'), 4}, {L('x'), 2}, {L('c'), 2}};

struct PairRow {
  const fzmpair *p;
  unsigned char n;
};
#define ROW(x) {x, sizeof x / sizeof x[0]}
const PairRow kRows[26] = {ROW(kPa), ROW(kPb), ROW(kPc), ROW(kPd), ROW(kPe), ROW(kPf), ROW(kPg),
                           ROW(kPh), ROW(kPi), ROW(kPj), ROW(kPk), ROW(kPl), ROW(kPm), ROW(kPn),
                           ROW(kPo), ROW(kPp), ROW(kPq), ROW(kPr), ROW(kPs), ROW(kPt), ROW(kPu),
                           ROW(kPv), ROW(kPw), ROW(kPx), ROW(kPy), ROW(kPz)};
#undef ROW

struct PairTables {
  std::array<unsigned char, 256> count{};
  std::array<const fzmpair *, 256> list{};
  PairTables() {
    for (int i = 0; i < 26; i++) {
      count[1 + i] = kRows[i].n;
      list[1 + i] = kRows[i].p;
    }
  }
};
const PairTables kPairs;

// LIKE rules: steps {kind, b1, b2, b3, b4}. Kind 1 takes the letter at a
// position, 2 every similar letter of it, 3 a literal, 4 tests a prefix and
// writes its replacement; kind 0 ends the rule.
enum { RLETTER = 1, RSIMILAR = 2, RLITERAL = 3, RPREFIX = 4 };
const unsigned char kRule1[] = {RSIMILAR, 0, 0, 0, 1, RLETTER, 0, 0, 0, 2, 0, 0, 0, 0, 0};
const unsigned char kRule2[] = {RLETTER, 0, 0, 0, 1, RSIMILAR, 0, 0, 0, 2, RLETTER, 0, 0, 0, 3, 0, 0, 0, 0, 0};
const unsigned char kRule3[] = {RLETTER, 0, 0, 0, 2, RLETTER, 0, 0, 0, 3, 0, 0, 0, 0, 0};
const unsigned char kRule4[] = {RLITERAL, 'w', 0, 0, 0, RLETTER, 0, 0, 0, 1, RLETTER, 0, 0, 0, 2, 0, 0, 0, 0, 0};
const unsigned char kRule5[] = {RLETTER, 0, 0, 0, 1, RLITERAL, 'h', 0, 0, 0, RLETTER, 0, 0, 0, 2, 0, 0, 0, 0, 0};
const unsigned char kRule6[] = {RPREFIX, 'f', 0, 'p', 'h', RLETTER, 0, 0, 0, 2, 0, 0, 0, 0, 0};
const unsigned char kRule7[] = {RPREFIX, 'p', 'h', 'f', 0, RLETTER, 0, 0, 0, 3, 0, 0, 0, 0, 0};
const unsigned char kRule8[] = {RPREFIX, 's', 'h', 'c', 'h', RLETTER, 0, 0, 0, 3, 0, 0, 0, 0, 0};
const unsigned char kRule9[] = {RPREFIX, 'n', 0, 'p', 'n', RLETTER, 0, 0, 0, 2, 0, 0, 0, 0, 0};
const unsigned char kRule10[] = {RPREFIX, 'n', 0, 'k', 'n', RLETTER, 0, 0, 0, 2, 0, 0, 0, 0, 0};
const unsigned char kRule11[] = {RPREFIX, 's', 0, 'p', 's', RLETTER, 0, 0, 0, 2, 0, 0, 0, 0, 0};
const unsigned char *const kRules[] = {kRule1, kRule2, kRule3, kRule4,  kRule5,  kRule6,
                                       kRule7, kRule8, kRule9, kRule10, kRule11, nullptr};

const fzmprofile kDefault = {kCharMap.data(), kClassStr.data(), kClassCount,
                             kPairs.count.data(), kPairs.list.data(), kRules};

// Position weights by bucket, and spread factors by distance from the
// centre column: early letters count double, and a letter's weight fades
// over five neighbouring columns so that shifted letters still match.
const unsigned kPosWeight[10] = {2, 2, 1, 1, 1, 1, 1, 1, 1, 1};
const unsigned kSpread[6] = {21, 19, 17, 14, 10, 4};

constexpr int kCols = 20;
constexpr int kBuckets = 60;  // scores 80 down to 21
constexpr int kTop = 80;

// Latin-1 lower-casing for patterns.
constexpr std::array<unsigned char, 256> makelower() {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; c++) t[c] = static_cast<unsigned char>(c);
  for (int c = 'A'; c <= 'Z'; c++) t[c] = static_cast<unsigned char>(c + 0x20);
  for (int c = 0xC0; c <= 0xDE; c++) t[c] = static_cast<unsigned char>(c + 0x20);
  return t;
}
constexpr std::array<unsigned char, 256> kLower = makelower();

// ---------------------------------------------------------------------
// Matching
// ---------------------------------------------------------------------

// Maps at most max bytes of a word to class codes; the mapped word ends at
// the first byte outside the alphabet. Returns its length.
int fzmmap(const fzmprofile &p, const char *word, unsigned char *out, int max) {
  int n = 0;
  while (n < max && word[n]) {
    unsigned char c = p.charmap[static_cast<unsigned char>(word[n])];
    if (!c) break;
    out[n++] = c;
  }
  out[n] = 0;
  return n;
}

// Builds the positional vector of a mapped word; returns its mass.
unsigned fzmprof(const fzmprofile &p, const unsigned char *w, int len, uint16_t *v) {
  std::memset(v, 0, sizeof(uint16_t) * p.classcount * kCols);
  unsigned mass = 0;
  for (int i = 1; i <= len; i++) {
    unsigned c = w[i - 1];
    if (c >= p.classcount) continue;
    int b = (i * 10) / (len + 1);
    for (int k = 0; k < p.paircount[c]; k++) {
      const fzmpair &pr = p.pairs[c][k];
      if (pr.target >= p.classcount) continue;
      uint16_t *row = v + pr.target * kCols;
      unsigned val = kPosWeight[b] * pr.weight;
      row[b + 5] = static_cast<uint16_t>(kSpread[0] * val);
      mass += kSpread[0] * val;
      for (int d = 1; d <= 5; d++) {
        unsigned x = kSpread[d] * val;
        for (int col : {b + 5 - d, b + 5 + d}) {
          if (row[col] < x) {
            mass += x - row[col];
            row[col] = static_cast<uint16_t>(x);
          }
        }
      }
    }
  }
  return mass;
}

// Similarity of two vectors, 0 to the score scale.
unsigned fzmsim(const fzmobj *m, const uint16_t *a, unsigned s1, const uint16_t *b, unsigned s2) {
  unsigned total = s1 + s2;
  if (!total) return 0;
  unsigned d = 0;
  int cells = m->prof.classcount * kCols;
  for (int i = 0; i < cells; i++) d += a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
  return ((total - d) * m->scale) / total;
}

// Histogram bonus of two mapped words: 16 for equal class counts, falling to
// 0 at a difference of 7 or more (the candidate is then dropped).
unsigned fzmhist(const fzmprofile &p, const unsigned char *a, const unsigned char *b,
                 unsigned char *ha, unsigned char *hb) {
  std::memset(ha, 0, p.classcount);
  std::memset(hb, 0, p.classcount);
  for (; *a; a++)
    if (*a < p.classcount) ha[*a]++;
  for (; *b; b++)
    if (*b < p.classcount) hb[*b]++;
  unsigned h = 0;
  for (int i = 0; i < p.classcount; i++) h += ha[i] > hb[i] ? ha[i] - hb[i] : hb[i] - ha[i];
  if (h > 7) return 0;
  return ((7 - h) * 16) / 7;
}

struct Node {
  const char *word;
  Node *next;
};

// The result pool: nodes on a free list, one chain per score.
struct Pool {
  Node *free;
  Node **bucket;  // kBuckets chains; bucket k holds score 80 - k
  int marker;     // lowest bucket kept once the pool is full
};

// Puts a candidate with score s into the pool; returns the new threshold.
int fzmpoolput(Pool &p, const char *word, int s, int threshold) {
  Node *n = p.free;
  if (!n) {
    // Full: every candidate of the lowest score held leaves at once.
    n = p.bucket[p.marker];
    p.bucket[p.marker] = nullptr;
    p.free = n->next;
  } else {
    p.free = n->next;
  }
  n->word = word;
  n->next = p.bucket[kTop - s];
  p.bucket[kTop - s] = n;
  if (!p.free) {
    int k = p.marker < kBuckets ? p.marker : kBuckets - 1;
    while (k > 0 && !p.bucket[k]) k--;
    p.marker = k;
    threshold = kTop - k;
  }
  return threshold;
}

int matchop(fzmobj *m, const char *word, int threshold, int poolsize, const char *const *cands,
            int ncands, const char **outwords, uint16_t *outscores, int *outcount) {
  return fzmmatch(m, word, threshold, poolsize, cands, ncands, outwords, outscores, outcount);
}
int likeop(fzmobj *m, const char *word, char *out, int size, int *outcount) {
  return fzmlike(m, word, out, size, outcount);
}

}  // namespace

void *fzmalloc(rthpmgr *hpm, rtheap *hp, size_t size) {
  return rthpalloc(hpm, hp, size, 0, "MLMALLOC", 0);
}

void fzmdealloc(rthpmgr *hpm, rtheap *hp, void *block) {
  if (block) rthpfree(hpm, hp, block, 0);
}

fzmobj *fzmnew(rthpmgr *hpm, rtheap *hp, const char *name, int *err) {
  fzmobj *m = static_cast<fzmobj *>(fzmalloc(hpm, hp, sizeof(fzmobj)));
  if (!m) {
    if (err) *err = FZM_ENOOBJ;
    return nullptr;
  }
  std::memset(m, 0, sizeof *m);
  m->ops = {matchop, likeop, fzmfree};
  if (name) std::memcpy(m->name, name, strnlen(name, sizeof m->name - 1));
  m->prof = kDefault;  // every name gets the built-in model
  m->hpm = hpm;
  m->hp = hp;
  m->scale = 64;
  m->minscore = 20;
  if (err) *err = FZM_OK;
  return m;
}

int fzmmatch(fzmobj *m, const char *word, int threshold, int poolsize, const char *const *cands,
             int ncands, const char **outwords, uint16_t *outscores, int *outcount) {
  *outcount = 0;
  if (poolsize <= 0 || ncands <= 0) return FZM_OK;
  const fzmprofile &p = m->prof;
  int t = threshold > m->minscore ? threshold : m->minscore;

  size_t vecsize = sizeof(uint16_t) * p.classcount * kCols;
  uint16_t *vq = static_cast<uint16_t *>(fzmalloc(m->hpm, m->hp, vecsize));
  uint16_t *vc = static_cast<uint16_t *>(fzmalloc(m->hpm, m->hp, vecsize));
  unsigned char *hq = static_cast<unsigned char *>(fzmalloc(m->hpm, m->hp, p.classcount));
  unsigned char *hc = static_cast<unsigned char *>(fzmalloc(m->hpm, m->hp, p.classcount));
  Node *nodes = static_cast<Node *>(fzmalloc(m->hpm, m->hp, sizeof(Node) * poolsize));
  Node **buckets = static_cast<Node **>(fzmalloc(m->hpm, m->hp, sizeof(Node *) * kBuckets));
  int rc = FZM_OK;
  if (!vq || !vc || !hq || !hc || !nodes || !buckets) {
    rc = FZM_ENOMEM;
  } else {
    unsigned char mw[FZM_MATCHMAX + 1], mc[FZM_MATCHMAX + 1];
    int lw = fzmmap(p, word, mw, FZM_MATCHMAX);
    unsigned s1 = fzmprof(p, mw, lw, vq);

    Pool pool{nodes, buckets, kBuckets};
    for (int i = 0; i < poolsize; i++) nodes[i].next = i + 1 < poolsize ? &nodes[i + 1] : nullptr;
    for (int i = 0; i < kBuckets; i++) buckets[i] = nullptr;

    for (int i = 0; i < ncands; i++) {
      int lc = fzmmap(p, cands[i], mc, FZM_MATCHMAX);
      unsigned bonus = fzmhist(p, mw, mc, hq, hc);
      if (!bonus) continue;
      unsigned s2 = fzmprof(p, mc, lc, vc);
      int score = static_cast<int>(fzmsim(m, vq, s1, vc, s2) + bonus);
      if (score > t && score <= kTop) t = fzmpoolput(pool, cands[i], score, t);
    }
    int n = 0;
    for (int k = 0; k < kBuckets; k++)
      for (Node *e = buckets[k]; e; e = e->next) {
        outwords[n] = e->word;
        outscores[n] = static_cast<uint16_t>(kTop - k);
        n++;
      }
    *outcount = n;
  }
  fzmdealloc(m->hpm, m->hp, buckets);
  fzmdealloc(m->hpm, m->hp, nodes);
  fzmdealloc(m->hpm, m->hp, hc);
  fzmdealloc(m->hpm, m->hp, hq);
  fzmdealloc(m->hpm, m->hp, vc);
  fzmdealloc(m->hpm, m->hp, vq);
  return rc;
}

int fzmlike(fzmobj *m, const char *word, char *out, int size, int *outcount) {
  const fzmprofile &p = m->prof;
  int len = static_cast<int>(strnlen(word, FZM_LIKEMAX));
  if (len < 3) return FZM_ESHORT;
  unsigned char w[FZM_LIKEMAX + 2] = {};
  for (int i = 0; i < len; i++) w[i] = kLower[static_cast<unsigned char>(word[i])];

  constexpr int kSlots = 6, kSlotSize = 64;
  int room = size, total = 0;
  char *o = out;
  for (int r = 0; p.rules[r]; r++) {
    char slot[kSlots][kSlotSize] = {};
    int si = 0, cur = 0;
    bool ok = true;
    auto put = [&](int s, char c) {
      if (s >= kSlots) return;
      size_t n = std::strlen(slot[s]);
      if (n + 1 < kSlotSize) slot[s][n] = c;
    };
    auto putstr = [&](int s, const char *str) {
      for (; *str; str++) put(s, *str);
    };
    for (const unsigned char *st = p.rules[r]; st[0] && ok; st += 5, si++, cur++) {
      unsigned pos = (st[1] << 20) + (st[2] << 12) + (st[3] << 4) + st[4];
      unsigned char ch = pos >= 1 && pos <= static_cast<unsigned>(len) ? w[pos - 1] : 0;
      unsigned cls = p.charmap[ch];
      switch (st[0]) {
        case RLETTER:
          if (cls && p.classstr[cls]) putstr(si, p.classstr[cls]);
          else put(si, static_cast<char>(ch));
          break;
        case RSIMILAR:
          if (cls && p.paircount[cls]) {
            for (int k = 0; k < p.paircount[cls]; k++) {
              const char *s = p.classstr[p.pairs[cls][k].target];
              if (s) putstr(si, s);
            }
          } else if (cls && p.classstr[cls]) {
            putstr(si, p.classstr[cls]);
          } else {
            put(si, static_cast<char>(ch));
          }
          break;
        case RLITERAL:
          for (int k = 1; k <= 4 && st[k]; k++) put(si, static_cast<char>(st[k]));
          break;
        case RPREFIX:
          if (cur < len && w[cur] == st[1] && (!st[2] || w[cur + 1] == st[2])) {
            put(si, static_cast<char>(st[3]));
            if (st[4]) put(++si, static_cast<char>(st[4]));
            if (st[2]) cur++;
          } else {
            ok = false;
          }
          break;
        default:
          ok = false;
      }
    }
    if (!ok) continue;
    int nslots = 0, forms = 1, lens[kSlots];
    for (int s = 0; s < kSlots && s < si; s++) {
      lens[s] = static_cast<int>(std::strlen(slot[s]));
      if (!lens[s]) break;
      forms *= lens[s];
      nslots++;
    }
    if (!nslots) continue;
    int space = (nslots + 2) * forms;
    if (space > room) return FZM_ETOOLONG;
    // Slot 0 varies slowest.
    for (int f = 0; f < forms; f++) {
      int div = forms;
      for (int s = 0; s < nslots; s++) {
        div /= lens[s];
        *o++ = slot[s][(f / div) % lens[s]];
      }
      *o++ = '%';
      *o++ = 0;
    }
    room -= space;
    total += forms;
  }
  *outcount = total;
  return FZM_OK;
}

void fzmfree(fzmobj *m) {
  if (!m) return;
  // Every matcher carries the built-in profile, whose tables are static
  // data: nothing of the profile goes back to the heap.
  fzmdealloc(m->hpm, m->hp, m);
}

int fzmerrtext(int code, char *buf, size_t size) {
  static const char *const texts[] = {
      "No error occurred.",
      "Unspecified error occurred in Fuzzy Match.",
      "The file cannot be opened, either because it cannot be found or because it is protected or locked.",
      "The file is of the wrong type, or is damaged.",
      "Insufficient memory is available to complete the function.",
      "The output of the function is too long to fit in the provided buffer.",
      "No memory available to create object.",
      "Strings of less than three characters can not be used to generate LIKE forms.",
  };
  bool known = code <= 0 && code >= -7;
  const char *t = known ? texts[-code] : "No valid message for this error code.";
  if (buf && size) {
    size_t n = strnlen(t, size - 1);
    std::memcpy(buf, t, n);
    buf[n] = 0;
  }
  return known ? FZM_OK : FZM_EUNSPEC;
}

void fzmsplit(const char *block, const char **arr, int n) {
  for (int i = 0; i < n; i++) {
    arr[i] = block;
    block += std::strlen(block) + 1;
  }
}
