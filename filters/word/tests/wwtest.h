// Test-side Word state over a run of the framework: the bytes given become
// the main input at a chosen version level, a paged stream below level 6 and
// the "WordDocument" stream of a compound file at level 6.
#ifndef KES_FILTERS_WORD_TESTS_WWTEST_H
#define KES_FILTERS_WORD_TESTS_WWTEST_H

#include <string>

#include "converters/runtime/tests/dftest.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/word/ww.h"

struct wwtestrun {
  cvtestrun t;
  wwstate w{};
  explicit wwtestrun(const std::string& bytes, int ver) : t("text", {}, 49) {
    w.run = t.run;
    wwrinit(&w);
    wwsetver(&w, ver);
    if (ver == 6) {
      olstreset(t.run);
      std::vector<uint8_t> b(bytes.begin(), bytes.end());
      std::vector<uint8_t> file = dft::write({{"WordDocument", b}});
      cvputfile(t.st, "doc.ole", std::string(file.begin(), file.end()));
      w.stg = olstopen(t.run, "doc.ole");
      wwsetstm(&w, olstfind(t.run, w.stg, "WordDocument"));
    } else {
      wwsetstm(&w, t.input(bytes, 64));
    }
    wwsetmac(&w, ver >= 3 && ver <= 5 ? 1 : 0);
  }
  ~wwtestrun() {
    wwchpbinfree(&w);
    wwfontfree(&w);
    wwdopfree(&w);
    wwfibfree(&w);
  }
};

#endif
