// The framework's command-line driver: a document's plain text or its
// intermediate file, and the exit codes and messages of its refusals.
#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>

#include "converters/runtime/tests/cxtest.h"
#include "converters/word/tests/wordgen.h"
#include "filters/framework/runtime/tests/olsttest.h"

namespace {

// Runs kesflt; its exit code, with its standard error in *err.
int kesflt(const std::string& args, const cxtestdir& d, std::string* err) {
  std::string cmd = std::string(KESFLT) + " " + args + " 2>" + d.file("stderr");
  int rc = std::system(cmd.c_str());
  *err = d.get("stderr");
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Kesflt, PullsADocumentAndRefusesWithExitCodes) {
  cxtestdir d;
  d.put("plain.txt", "just text\nmore\n");
  d.put("page.html", "<html><title>T</title><p>A <b>page</b></html>");
  d.put("odd.ole", olt::build({olt::stream("Contents", "not a document we read")}));
  wgen::spec w6;
  w6.k = wgen::word6;
  w6.pieces = {"Hello from Word\r"};
  w6.padto = 5000;
  wgen::bytes w6doc = wgen::make(w6);
  d.put("w6.doc", std::string(w6doc.begin(), w6doc.end()));
  struct {
    const char* what;
    std::string args;
    int rc;
    std::string out;  // the output file afterwards
    std::string err;  // a part of the message
  } cases[] = {
      {"plain text", "plain.txt plain.out", 0, "just text\r\nmore\r\n", "format 1 (plain text)"},
      {"the intermediate file", "-i plain.txt plain.com", 0, "\x1B\x1D" "DID1", "format 1"},
      {"an HTML page", "page.html page.out", 0, "\r\n\r\nA page", "format 108 (HTML)"},
      {"a Word 6 document", "w6.doc w6.out", 0, "Hello from Word\r\n", "format 49"},
      {"a compound file of no known format", "odd.ole odd.out", 1, "", "the conversion failed"},
      {"a missing file", "none.txt none.out", 1, "", "No such file"},
      {"no output named", "plain.txt", 2, "", "usage"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string args;
    for (size_t i = 0, j; i < c.args.size(); i = j + 1) {
      j = c.args.find(' ', i);
      if (j == std::string::npos) j = c.args.size();
      std::string w = c.args.substr(i, j - i);
      args += (w[0] == '-' ? w : d.file(w)) + " ";
    }
    std::string err;
    EXPECT_EQ(kesflt(args, d, &err), c.rc);
    EXPECT_NE(err.find(c.err), std::string::npos) << err;
    if (c.rc != 2) {
      EXPECT_EQ(d.get(c.args.substr(c.args.rfind(' ') + 1)).substr(0, c.out.size()), c.out);
    }
  }
}

}  // namespace
