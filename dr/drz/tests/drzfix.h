// Helpers of the rewrite module's tests: a server state under a chosen
// character set, code run under an error frame with the raised number read
// back, and a whole text scanned into a list of tokens.
#ifndef KES_DR_DRZ_TESTS_DRZFIX_H
#define KES_DR_DRZ_TESTS_DRZFIX_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dr/drz/drz.h"
#include "tests/fixtures/server/statefix.h"

namespace drzfix {

// What a guarded call raised: the message number (0: nothing) and, for a
// database error (50850), the database's number from its text.
struct Raised {
  int num = 0;
  int db = 0;
  bool operator==(const Raised &o) const { return num == o.num && db == o.db; }
};

inline Raised dberr(int db) { return {50850, db}; }

inline std::ostream &operator<<(std::ostream &os, const Raised &r) {
  return os << "{" << r.num << ", " << r.db << "}";
}

// Runs fn under an error frame. fn must keep nothing with a destructor in
// its own frame: a raise jumps over it.
template <class F>
Raised guarded(drsrvstate *st, F &&fn) {
  rtframe fr;
  Raised r;
  RTFRM_TRY(st->msg, fr) { fn(); }
  else {
    rtfrmenter(st->msg, &fr);
    r.num = fr.num;
    if (const char *k = std::strstr(fr.text, "KDB-")) r.db = std::atoi(k + 4);
    rtfrmleave(st->msg, &fr);
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  return r;
}

struct Token {
  int code;
  std::string text;
};

// Tokens of a scan and what ended it.
struct Scan {
  std::vector<Token> toks;
  Raised raised;
};

// A state under NLS_LANG nls; scans texts held in blocks of exactly their
// length, so that a read past the end trips the address checker.
struct Fixture : statefix::State {
  std::vector<std::unique_ptr<char[]>> blocks;

  // A copy of text in a block of exactly its length.
  const char *exact(const std::string &text) {
    blocks.emplace_back(new char[text.size() ? text.size() : 1]);
    std::memcpy(blocks.back().get(), text.data(), text.size());
    return blocks.back().get();
  }

  // Scans text to its end (or a raise) with a table (null: the default one);
  // ext also looks every identifier up in the extended table.
  Scan scan(const std::string &text, const drzgtkw *tab = nullptr, int32_t count = 0,
            bool ext = false) {
    struct Raw {
      int code;
      uint16_t len;
      char text[DRZGT_TEXTMAX + 1];
    };
    static Raw raw[64];
    static int n;
    n = 0;
    const char *t = exact(text);
    drzgtstate *gt = nullptr;
    drzgtstate **gtp = &gt;
    Scan s;
    s.raised = guarded(st, [&] {
      *gtp = drzgtnew(st, tab, count, t, static_cast<int32_t>(text.size()));
      for (;;) {
        uint16_t code = drzgtnext(st, *gtp);
        if (ext) code = drzgtkeyw(st, *gtp);
        if (n < 64) {
          raw[n].code = code;
          raw[n].len = (*gtp)->toklen;
          std::memcpy(raw[n].text, (*gtp)->toktext, (*gtp)->toklen);
          n++;
        }
        if (code == DRZGT_EOT) break;
      }
    });
    for (int i = 0; i < n; i++)
      s.toks.push_back({raw[i].code, std::string(raw[i].text, raw[i].len)});
    drzgtfree(st, &gt);
    return s;
  }

  // Codes of a scan, the end included.
  std::vector<int> codes(const Scan &s) {
    std::vector<int> v;
    for (const Token &t : s.toks) v.push_back(t.code);
    return v;
  }
};

}  // namespace drzfix

#endif
