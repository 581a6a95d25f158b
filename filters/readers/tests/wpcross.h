// The framework's WordPerfect readers against the converter family's
// WordPerfect converters on the same generated documents: the same words in
// the same order, but for the differences a reader means to have, which
// each test lists by document.
#ifndef KES_FILTERS_READERS_TESTS_WPCROSS_H
#define KES_FILTERS_READERS_TESTS_WPCROSS_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "converters/formats/tests/wptest.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"

namespace wpcross {

inline std::string pulled(const std::string& doc) {
  cvtesthost host(doc);
  convstate* st = host.open();
  std::string out = cvpullall(st, 2000);
  convclose(st);
  return out;
}

// Every document of one version, of the converters' corpus and of own, read
// by the reader: a document named in differs gives the words listed there,
// any other the words the converter writes.
inline void samewords(bool six, const std::vector<wpg::doc>& own, const std::map<std::string, std::string>& differs) {
  rdrregister();
  std::vector<wpg::doc> docs = wpg::corpus();
  docs.insert(docs.end(), own.begin(), own.end());
  for (const wpg::doc& d : docs) {
    if (d.six != six) continue;
    std::string mine = pulled(d.bytes);
    ASSERT_NE(mine, "<fail>") << d.name;
    auto it = differs.find(d.name);
    if (it != differs.end()) {
      EXPECT_EQ(cvwords(mine), cvwords(it->second)) << d.name;
      continue;
    }
    wpt::result r = wpt::run(six ? wpt::WP6 : wpt::WP5, d.bytes);
    EXPECT_EQ(r.status, 0) << d.name;
    EXPECT_EQ(cvwords(mine), cvwords(r.out)) << d.name;
  }
}

}  // namespace wpcross

#endif
