// The command-line driver: a document converts by hand as the pipeline
// would convert it; refusals end with a failing exit code and a message.
#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>

#include "converters/runtime/tests/cxtest.h"
#include "converters/word/tests/wordgen.h"

namespace {

int kescvt(const std::string &args) {
  int rc = std::system((std::string(KESCVT) + " " + args + " 2>/dev/null").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Kescvt, ConvertsAsThePipelineAndRefusesWithExitCodes) {
  cxtestdir d;
  wgen::bytes w2 = wgen::make({wgen::word2, {"Hello\r", "World\r"}, true});
  wgen::bytes w6 = wgen::make({wgen::word6, {"Hello\r"}});
  d.put("w2.doc", std::string(w2.begin(), w2.end()));
  d.put("w6.doc", std::string(w6.begin(), w6.end()));
  d.put("plain.txt", "just text\r\n");
  d.put("odd.bin", std::string(600, '\x90'));
  struct {
    const char *name;
    std::string args;
    int rc;
    std::string out;  // the output file afterwards (not looked at for usage errors)
  } cases[] = {
      {"recognised word 2", "w2.doc w2.txt", 0, "Hello\r\nWorld\r\n"},
      {"recognised word 6", "w6.doc w6.txt", 0, "Hello\r\n"},
      {"plain text passes through", "plain.txt plain.out", 0, "just text\r\n"},
      {"converter chosen by id", "-c 11 w2.doc c11.txt", 1, ""},
      {"unknown format", "odd.bin odd.txt", 1, ""},
      {"missing input", "none.doc none.txt", 1, ""},
      {"no output named", "w2.doc", 2, ""},
      {"bad id", "-c x w2.doc x.txt", 2, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string args;
    // Every path lies in the scratch folder.
    for (size_t i = 0, j; i < c.args.size(); i = j + 1) {
      j = c.args.find(' ', i);
      if (j == std::string::npos) j = c.args.size();
      std::string w = c.args.substr(i, j - i);
      args += (w[0] == '-' || (w[0] >= '0' && w[0] <= '9') || w == "x" ? w : d.file(w)) + " ";
    }
    EXPECT_EQ(kescvt(args), c.rc);
    if (c.rc != 2) {
      EXPECT_EQ(d.get(c.args.substr(c.args.rfind(' ') + 1)), c.out);
    }
  }
}

}  // namespace
