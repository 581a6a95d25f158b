// The stemmer: one lexicon per language, found under the product's admin
// folder or in the current one, stems by lookup with retries in other
// capitalisations, and generated forms merged across stems.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "linguistics/stemmer/fstint.h"
#include "platform/os/os.h"

namespace {

constexpr std::array<unsigned char, 256> maketable(bool upper) {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; c++) t[c] = static_cast<unsigned char>(c);
  for (int c = 0; c < 26; c++) {
    if (upper) t['a' + c] = static_cast<unsigned char>('A' + c);
    else t['A' + c] = static_cast<unsigned char>('a' + c);
  }
  // Latin-1 letters pair 0xC0-0xDE with 0xE0-0xFE; 0xD7 and 0xF7 go with
  // them, 0xDF and 0xFF have no other case here.
  for (int c = 0xC0; c <= 0xDE; c++) {
    if (upper) t[c + 0x20] = static_cast<unsigned char>(c);
    else t[c] = static_cast<unsigned char>(c + 0x20);
  }
  return t;
}
constexpr std::array<unsigned char, 256> kLower = maketable(false);
constexpr std::array<unsigned char, 256> kUpper = maketable(true);

const char *const kFiles[STEM_LANGS] = {"mlen.is", "mlen.ds", "mlfr.is", "mlde.is",
                                        "mlit.is", "mlho.is", "mles.is"};

constexpr int kLocal = 512;   // stems of one word while generating
constexpr int kCaseMax = 255; // longest word tried in other capitalisations
constexpr int kGerman = 3;    // its capitalised nouns join the lower-case results

// Library start and end: nothing to prepare.
int stemlibinit() { return 0; }
void stemlibterm() {}

// Alternative sources of stems and forms: there are none.
int stemaltstem() { return STEM_EUNSPEC; }
int stemaltgen() { return STEM_EUNSPEC; }

// Path of the lexicon: the admin folder under VEK73 when the file opens
// there, else the bare name in the current folder.
std::string stempath(int lang) {
  char dir[256];
  std::string name = kFiles[lang];
  if (osexpand("%VEK73%/admin/", dir, sizeof dir) >= 0) {
    std::string p = std::string(dir) + name;
    if (FILE *f = std::fopen(p.c_str(), "r")) {
      std::fclose(f);
      return p;
    }
  }
  return name;
}

int stemload(stemobj *s) {
  if (s->lang < 0 || s->lang >= STEM_LANGS) return STEM_ENOLEX;
  std::string path = stempath(s->lang);
  if (s->lex) return 0;
  fstnet *t = fstopen(path.c_str());
  int rc = fststatus(t);
  if (rc == 0) {
    s->lex = t;
    return 0;
  }
  return rc == FST_EOPEN ? STEM_ENOLEX : rc;
}

void stemclose(stemobj *s) {
  if (s->lex) fstclose(s->lex);
  s->lex = nullptr;
}

// Bytes the first n results of buf take.
int resultbytes(const char *buf, int n) {
  int used = 0;
  for (int i = 0; i < n; i++) used += static_cast<int>(std::strlen(buf + used)) + 1;
  return used;
}

// Retries a word that gave nothing, lower-cased and capitalised. 0 with the
// count set, STEM_ENOWORD when nothing was found, STEM_EUNSPEC when the
// results do not fit, or a lookup's code.
int stemcase(stemobj *s, const char *word, char *buf, int size, int *count) {
  size_t wl = std::strlen(word);
  if (wl > kCaseMax) return STEM_ENOWORD;
  char copy[kCaseMax + 1];
  for (size_t i = 0; i <= wl; i++) copy[i] = static_cast<char>(kLower[static_cast<unsigned char>(word[i])]);
  int found = 0;
  if (std::strcmp(copy, word) != 0) {
    int r = fstlookup(copy, buf, size, s->mode, s->lex);
    if (r < 0) return r;
    if (r > 0) *count = found = r;
  }
  copy[0] = static_cast<char>(kUpper[static_cast<unsigned char>(copy[0])]);
  if (s->lang == kGerman) {
    // The capitalised form joins what the lower-case one gave: a noun and
    // the verb or adjective spelt alike.
    int used = found ? resultbytes(buf, found) : 0;
    if (used >= kLocal) return STEM_EUNSPEC;
    char scratch[kLocal];
    std::memcpy(scratch, buf, used);
    int r = fstlookup(copy, scratch + used, kLocal - used, s->mode, s->lex);
    if (r == FST_EALPHA) r = 0;  // a capital outside the alphabet: nothing more
    if (r < 0) return r;
    if (r == 0) return found ? 0 : STEM_ENOWORD;
    std::vector<std::string> all;
    for (int i = 0, at = 0; i < found + r; i++) {
      all.emplace_back(scratch + at);
      at += static_cast<int>(all.back().size()) + 1;
    }
    std::sort(all.begin(), all.end(), [](const std::string &a, const std::string &b) {
      return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
    all.erase(std::unique(all.begin(), all.end()), all.end());
    int need = 0;
    for (const std::string &x : all) need += static_cast<int>(x.size()) + 1;
    if (need > size) return STEM_EUNSPEC;  // the union never passes the caller's buffer
    int at = 0;
    for (const std::string &x : all) {
      std::memcpy(buf + at, x.c_str(), x.size() + 1);
      at += static_cast<int>(x.size()) + 1;
    }
    *count = static_cast<int>(all.size());
    return 0;
  }
  if (found) return 0;
  int r = fstlookup(copy, buf, size, s->mode, s->lex);
  if (r < 0) return r;
  if (r == 0) return STEM_ENOWORD;
  *count = r;
  return 0;
}

// The forms of one stem: generation, else the stem itself.
int stemgenone(stemobj *s, const char *stem, char *buf, int size, int *count) {
  if (!s->lex)
    if (int r = stemload(s)) return r;
  int r = fstlookup(stem, buf, size, FST_GEN27, s->lex);
  if (r > 0) {
    *count = r;
    return 0;
  }
  if (r < 0) {
    *count = 0;
    return r;
  }
  stemaltgen();
  if (size < 1) return FST_ETOOLONG;
  size_t n = strnlen(stem, static_cast<size_t>(size) - 1);
  std::memcpy(buf, stem, n);
  buf[n] = 0;
  *count = 1;
  return 0;
}

}  // namespace

extern const std::array<unsigned char, 256> stemlower = kLower;
extern const std::array<unsigned char, 256> stemupper = kUpper;

const char *stemfile(int lang) { return lang >= 0 && lang < STEM_LANGS ? kFiles[lang] : nullptr; }

stemobj *stemnew(rthpmgr *hpm, rtheap *hp, const stemcfg *cfg, int *err) {
  stemobj *s = static_cast<stemobj *>(std::calloc(1, sizeof(stemobj)));
  int dummy;
  if (!err) err = &dummy;
  if (!s) {
    *err = STEM_ENOOBJ;
    return nullptr;
  }
  s->ops = {stemword, stemgen, stemconf, stemunload, stemfree};
  s->lang = cfg->lang;
  s->mode = cfg->mode;
  s->flags = cfg->flags;
  s->retry = cfg->retry;
  s->hpm = hpm;
  s->hp = hp;
  if (stemlibinit()) {
    std::free(s);
    *err = STEM_ELIB;
    return nullptr;
  }
  int rc = stemload(s);
  if (rc) {
    stemlibterm();
    std::free(s);
    *err = rc;
    return nullptr;
  }
  *err = 0;
  return s;
}

int stemword(stemobj *s, const char *word, char *buf, int size, int *count) {
  if (!s->lex)
    if (int r = stemload(s)) return r;
  int r = fstlookup(word, buf, size, s->mode, s->lex);
  if (r > 0) {
    *count = r;
    return 0;
  }
  if (r < 0 && r != FST_EALPHA) {
    *count = 0;
    return STEM_EUNSPEC;
  }
  if (!s->retry) return 0;
  r = stemcase(s, word, buf, size, count);
  if (r == 0) return 0;
  stemaltstem();
  if (size > 0) buf[0] = 0;
  *count = 0;
  // Nothing in any capitalisation; a failing lookup is no answer either.
  return r == STEM_ENOWORD || r == FST_EALPHA ? STEM_ENOWORD : STEM_EUNSPEC;
}

int stemgen(stemobj *s, const char *word, char *buf, int size, int *count) {
  char stems[kLocal];
  int n = 0, mode = s->mode;
  s->mode = FST_ALL27;
  int r = stemword(s, word, stems, sizeof stems, &n);
  s->mode = mode;
  // Stemming can succeed without a stem when retries are off: no stem,
  // no forms either.
  if (r == STEM_ENOWORD || (!r && n <= 0)) {
    if (size > 0) buf[0] = 0;
    *count = 0;
    return STEM_ENOWORD;
  }
  if (r) return r;
  const char *stem = stems;
  r = stemgenone(s, stem, buf, size, count);
  if (r || n == 1) return r;
  char *scratch = static_cast<char *>(std::malloc(size > 0 ? size : 1));
  if (!scratch) return STEM_EUNSPEC;
  int have = *count;
  for (int i = 1; i < n; i++) {
    stem += std::strlen(stem) + 1;
    int end = resultbytes(buf, have), got = 0;
    r = stemgenone(s, stem, scratch, size - end, &got);
    if (r) break;
    // Forms already written by earlier stems are not repeated.
    int appended = 0, w = end;
    for (int k = 0, at = 0; k < got; k++) {
      const char *f = scratch + at;
      int fl = static_cast<int>(std::strlen(f)) + 1;
      at += fl;
      bool seen = false;
      for (int j = 0, q = 0; j < have && !seen; j++) {
        seen = std::strcmp(buf + q, f) == 0;
        q += static_cast<int>(std::strlen(buf + q)) + 1;
      }
      if (seen) continue;
      if (w + fl > size) {
        r = FST_ETOOLONG;
        break;
      }
      std::memcpy(buf + w, f, fl);
      w += fl;
      appended++;
    }
    have += appended;
    *count = have;
    if (r) break;
  }
  std::free(scratch);
  return r;
}

int stemconf(stemobj *s, const stemcfg *cfg) {
  if (cfg->lang != s->lang && s->lex) stemclose(s);
  s->lang = cfg->lang;
  s->mode = cfg->mode;
  s->flags = cfg->flags;
  s->retry = cfg->retry;
  if (!s->lex) return stemload(s);
  return 0;
}

int stemunload(stemobj *s) {
  stemclose(s);
  return 0;
}

void stemfree(stemobj *s) {
  if (!s) return;
  stemclose(s);
  stemlibterm();
  std::free(s);
}

int stemerrtext(int code, char *buf, size_t size) {
  struct Text {
    int code;
    const char *text;
  };
  static const Text texts[] = {
      {0, "No error occurred."},
      {-1, "The file cannot be opened, either because it cannot be found or because it is protected or locked."},
      {-2, "The file is of the wrong type, or is damaged."},
      {-3, "Insufficient memory is available to complete the function."},
      {-10, "A character in the input word is not part of the alphabet for this lexical transducer."},
      {-12, "The output of the function is too long to fit in the provided buffer."},
      {-21, "The client output bufer is too small to contain the output."},
      {-24, "The cient output buffer is full of results, and there are additional results awaiting the continuation of the operation."},
      {-100, "Unspecified error occurred in stemmer."},
      {-101, "No memory available to create object."},
      {-102, "Unable to load stemming lexical library."},
      {-103, "Unable to find lexical library in $(KESTRIN_HOME)/mlx/admin."},
      {-104, "The stemming lexicon did not contain the word to be stemmed."},
  };
  const char *text = "No valid message for this error code.";
  int rc = STEM_EUNSPEC;
  for (const Text &t : texts)
    if (t.code == code) {
      text = t.text;
      rc = 0;
    }
  if (buf && size) {
    size_t n = strnlen(text, size - 1);
    std::memcpy(buf, text, n);
    buf[n] = 0;
  }
  return rc;
}

void stemsplit(const char *block, const char **arr, int n) {
  for (int i = 0; i < n; i++) {
    arr[i] = block;
    block += std::strlen(block) + 1;
  }
}
