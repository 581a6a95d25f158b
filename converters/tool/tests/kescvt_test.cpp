// The command-line driver: a document converts by hand as the pipeline
// would convert it; refusals end with a failing exit code and a message.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>
#include <sys/wait.h>

#include "converters/formats/tests/lotgen.h"
#include "converters/formats/tests/wpgen.h"
#include "converters/runtime/tests/cxtest.h"
#include "converters/runtime/tests/dftest.h"
#include "converters/word/tests/wordgen.h"

namespace {

int kescvt(const std::string &args) {
  int rc = std::system((std::string(KESCVT) + " " + args + " 2>/dev/null").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

struct kcase {
  const char *name;
  std::string args;
  int rc;
  const char *out;  // the output file afterwards; none: no file is left
};

// Runs each case with its paths in the scratch folder.
void run(const cxtestdir &d, const std::vector<kcase> &cases) {
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string args;
    for (size_t i = 0, j; i < c.args.size(); i = j + 1) {
      j = c.args.find(' ', i);
      if (j == std::string::npos) j = c.args.size();
      std::string w = c.args.substr(i, j - i);
      args += (w[0] == '-' || (w[0] >= '0' && w[0] <= '9') || w == "x" ? w : d.file(w)) + " ";
    }
    EXPECT_EQ(kescvt(args), c.rc);
    if (c.rc == 2) continue;  // usage errors name no output
    std::string out = c.args.substr(c.args.rfind(' ') + 1);
    bool left = ::access(d.file(out).c_str(), F_OK) == 0;
    EXPECT_EQ(left, c.out != nullptr);
    if (c.out && left) EXPECT_EQ(d.get(out), c.out);
  }
}

TEST(Kescvt, ConvertsAsThePipelineAndRefusesWithExitCodes) {
  cxtestdir d;
  wgen::bytes w2 = wgen::make({wgen::word2, {"Hello\r", "World\r"}, true});
  wgen::bytes w6 = wgen::make({wgen::word6, {"Hello\r"}});
  d.put("w2.doc", std::string(w2.begin(), w2.end()));
  wgen::bytes w2p = wgen::make({wgen::word2, {"Hello\r\n", "World\r\n"}});
  d.put("w6.doc", std::string(w6.begin(), w6.end()));
  d.put("w2p.doc", std::string(w2p.begin(), w2p.end()));
  d.put("plain.txt", "just text\r\n");
  d.put("odd.bin", std::string(600, '\x90'));
  std::vector<kcase> cases = {
      {"recognised word 2", "w2.doc w2.txt", 0, "Hello\r\nWorld\r\n"},
      {"recognised word 6", "w6.doc w6.txt", 0, "Hello\r\n"},
      {"plain text passes through", "plain.txt plain.out", 0, "just text\r\n"},
      {"converter chosen by id", "-c 11 w2.doc c11.txt", 1, nullptr},
      {"unknown format", "odd.bin odd.txt", 1, nullptr},
      {"missing input", "none.doc none.txt", 1, nullptr},
      {"no output named", "w2.doc", 2, nullptr},
      {"bad id", "-c x w2.doc x.txt", 2, nullptr},
      // A zone file asks the Word converters for their full reader.
      {"zone file", "-z zones.txt w2p.doc z1.txt", 0, "Hello\r\nWorld\r\n"},
      {"zone file and id in either order", "-c 7 -z zones2.txt w2p.doc z2.txt", 0, "Hello\r\nWorld\r\n"},
      {"zone file with a converter of another format", "-z zones3.txt -c 9 w2p.doc z3.txt", 1, nullptr},
      {"zone file not named", "-z", 2, nullptr},
  };
  run(d, cases);
  EXPECT_EQ(d.get("zones.txt"), "0, 13, 0\r\n");
  EXPECT_EQ(d.get("zones2.txt"), "0, 13, 0\r\n");
}

// Compound documents are named by their directory and the version of their
// "WordDocument" stream: a Word 6 stream wrapped with its directory past the
// first 4096 bytes converts; Word 97 documents, whether an office suite wrote
// them or the directory lies early, are no converter's, and fail without
// leaving an output file. A converter forced onto a file of another format
// or release ends with a status and leaves nothing either.
TEST(Kescvt, NamesCompoundDocumentsByStreamAndLeavesNothingOnFailure) {
  cxtestdir d;
  std::vector<std::string> paras;
  std::string want;
  for (int i = 0; i < 120; i++) {
    paras.push_back("Paragraph " + std::to_string(i) + " of a long enough document.\r");
    want += "Paragraph " + std::to_string(i) + " of a long enough document.\r\n";
  }
  wgen::bytes w6 = wgen::stream({wgen::word6, paras});
  ASSERT_GT(w6.size(), 4096u);
  dft::bytes late = dft::write({{"WordDocument", dft::bytes(w6.begin(), w6.end())}}, nullptr, true, true);
  d.put("late.doc", std::string(late.begin(), late.end()));
  dft::bytes w97 = dft::pattern(9000, 3);
  dft::put16(w97, 0, 0xA5EC);
  dft::put16(w97, 2, 193);
  dft::bytes early = dft::write({{"WordDocument", w97}});
  d.put("early97.doc", std::string(early.begin(), early.end()));
  std::ifstream in(std::string(KES_SOURCE_DIR) + "/converters/runtime/tests/fixtures/small.doc", std::ios::binary);
  d.put("suite97.doc", std::string(std::istreambuf_iterator<char>(in), {}));
  d.put("r97.123", lgen::release97({lgen::label(lgen::wk3, 0, 0, "Name"), lgen::number(lgen::wk3, 1, 1, 12.5)}));
  d.put("wp6.wpd", wpg::wp6("Greek " + wpg::wp6ext(8, 3) + "eta, door\x83gaans"));
  d.put("text.txt", "just text\r\n");
  std::vector<kcase> cases = {
      {"word 6, directory past 4096 bytes", "late.doc late.txt", 0, want.c_str()},
      {"word 97, directory early", "early97.doc e.txt", 1, nullptr},
      {"word 97 by an office suite", "suite97.doc s.txt", 1, nullptr},
      {"word 97 forced to the word 6 converter", "-c 11 suite97.doc s11.txt", 1, nullptr},
      {"lotus converter on release 97", "-c 9 r97.123 r.txt", 1, nullptr},
      {"lotus converter on text", "-c 9 text.txt t9.txt", 1, nullptr},
      {"wordperfect 6 converter on text", "-c 5 text.txt t5.txt", 1, nullptr},
      {"wordperfect 5 converter on a 6.x document", "-c 1 wp6.wpd w5.txt", 1, nullptr},
      {"word for dos converter on word 97", "-c 2 suite97.doc d2.txt", 1, nullptr},
      {"wordperfect 6 text for indexing", "wp6.wpd wp6.txt", 0, "Greek _eta, doorgaans"},
  };
  run(d, cases);
}

// With -z (before or after -c) the converter runs on a state that names the
// zone file, and marks the zones of the text there.
TEST(Kescvt, ZoneFileOption) {
  cxtestdir d;
  d.put("wp6.wpd", wpg::wp6("Hello"));
  d.put("text.txt", "just text\r\n");
  std::vector<kcase> cases = {
      {"zones of a recognised document", "-z z1.txt wp6.wpd a.txt", 0, "Hello"},
      {"zones with a converter chosen", "-c 5 -z z2.txt wp6.wpd b.txt", 0, "Hello"},
      {"converter chosen after the zone file", "-z z3.txt -c 5 wp6.wpd c.txt", 0, "Hello"},
      {"no zone file named", "-c 5 -z", 2, nullptr},
  };
  run(d, cases);
  for (const char *z : {"z1.txt", "z2.txt", "z3.txt"}) EXPECT_EQ(d.get(z), "0, 4, 0\r\n") << z;
}

}  // namespace
