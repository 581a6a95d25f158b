// Noun phrases of a tagged sentence: runs of head and modifier tags, written
// up to their last head.
#include <cstring>

#include "linguistics/stemmer/stem.h"

namespace {

// CD, NN, NNS, NP and NPS.
bool head(const char *t) {
  return std::strcmp(t, "CD") == 0 || std::strcmp(t, "NN") == 0 || std::strcmp(t, "NNS") == 0 ||
         std::strcmp(t, "NP") == 0 || std::strcmp(t, "NPS") == 0;
}

// JJ*, VBG*, VBN*, the possessive nouns and OD.
bool modifier(const char *t) {
  if (t[0] == 'J' && t[1] == 'J') return true;
  if (t[0] == 'V' && t[1] == 'B' && (t[2] == 'G' || t[2] == 'N')) return true;
  return std::strcmp(t, "NN$") == 0 || std::strcmp(t, "NNS$") == 0 || std::strcmp(t, "NP$") == 0 ||
         std::strcmp(t, "NPS$") == 0 || std::strcmp(t, "OD") == 0;
}

const char *next(const char *s) { return s + std::strlen(s) + 1; }

}  // namespace

int npextract(const char *words, const char *tags, char *out, int room, int minlen, void *, void *) {
  // One byte always stays for the list's closing 0, so a full buffer never
  // loses it to a phrase's own 0.
  if (room < 1) return FST_ETOOLONG;
  int count = 0;
  char *o = out;
  const char *w = words, *t = tags;
  while (*t) {
    while (*t && !head(t) && !modifier(t)) w = next(w), t = next(t);
    if (!*t) break;
    const char *start = w;
    int n = 0, upto = 0;
    while (*t && (head(t) || modifier(t))) {
      n++;
      if (head(t)) upto = n;
      w = next(w);
      t = next(t);
    }
    if (upto && upto >= minlen) {
      const char *x = start;
      for (int i = 0; i < upto; i++, x = next(x)) {
        int len = static_cast<int>(std::strlen(x));
        room -= len + 1;
        if (room < 1) return FST_ETOOLONG;
        std::memcpy(o, x, len);
        o += len;
        *o++ = ' ';
      }
      if (--room < 1) return FST_ETOOLONG;
      *o++ = 0;
      count++;
    }
    if (!*t) break;
    w = next(w);  // the word that stopped the run is not looked at again
    t = next(t);
  }
  *o = 0;
  return count;
}
