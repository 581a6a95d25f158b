// Documents through the host interface with the readers installed: plain
// text on the whole pull path, a 1 MB text in chunks of any size, the
// intermediate file before and after the text, and lost output.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/readers/text/txr.h"

namespace {

struct Pull : ::testing::Test {
  void SetUp() override { rdrregister(); }
};

std::string pulled(const std::string& doc, int len = 2000, bool text = true) {
  cvtesthost host(doc);
  return cvpullall(host.open(), len, text);
}

std::vector<std::string> words(const std::string& s) {
  std::vector<std::string> out;
  std::string w;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
      if (!w.empty()) out.push_back(w);
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) out.push_back(w);
  return out;
}

// About 1 MB of ASCII text from a fixed seed: words, tabs, LF, CR LF and
// lone CR line ends and form feeds. The first 4 KB end their lines with LF
// alone, as detection wants one kind of line end there.
std::string bigtext() {
  std::mt19937 rng(20240611);
  std::string doc;
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  while (doc.size() < (1u << 20)) {
    int len = 1 + pick(12);
    for (int i = 0; i < len; i++) doc += static_cast<char>(pick(5) == 0 ? '!' + pick(94) : 'a' + pick(26));
    int sep = pick(20);
    if (doc.size() < 4200 || sep < 12) {
      doc += sep == 0 && doc.size() >= 4200 ? '\t' : sep < 3 ? '\n' : ' ';
      continue;
    }
    static const char* const ends[] = {"\t", "\n", "\r\n", "\r", "\f", "\r\n", "\n", "\t"};
    doc += ends[sep - 12];
  }
  return doc;
}

TEST_F(Pull, PlainTextThroughTheFramework) {
  const struct {
    const char* what;
    std::string doc, want;
  } rows[] = {
      {"CR LF is one line end", "a\r\nb", "a\r\nb"},
      {"a lone CR is one line end", "a\rb", "a\r\nb"},
      {"a form feed keeps the words apart", "x\fy", "x\r\ny"},
      {"a tab", "x\ty", "x y"},
      {"code page 437 above 127", "gr\x81n grass\n", "gr\xFCn grass\r\n"},
  };
  for (const auto& r : rows) EXPECT_EQ(pulled(r.doc), r.want) << r.what;
}

TEST_F(Pull, TheIntermediateFileOpensWithTheDocumentsRecords) {
  std::string com = pulled("a\r\nb", 2000, false);
  EXPECT_EQ(com.rfind(comrec(4388, {"1", "0", "00000000", "0"}), 0), 0u) << comshow(com);
  EXPECT_NE(com.find(comrec(20614, {"1", "3", "00", "0", "Courier", "00"})), std::string::npos) << comshow(com);
}

TEST_F(Pull, ALargeTextComesBackWordForWordInChunksOfAnySize) {
  std::string doc = bigtext();
  std::string whole = pulled(doc);
  ASSERT_NE(whole, "<fail>");
  EXPECT_EQ(words(whole), words(doc));
  for (int len : {1, 7}) EXPECT_EQ(pulled(doc, len), whole) << len;
}

TEST_F(Pull, MoreThanRemainsGivesTheRestThenZero) {
  cvtesthost host("one\ntwo\n");
  convstate* st = host.open();
  std::string buf(100000, '\0');
  int n = 0;
  ASSERT_EQ(convgettext(st, buf.data(), 100000, &n), 1);
  EXPECT_EQ(buf.substr(0, n), "one\r\ntwo\r\n");
  EXPECT_EQ(convgettext(st, buf.data(), 100000, &n), 1);
  EXPECT_EQ(n, 0);
}

int calls = 0;

int countingreader(cvrun* run, int argc, const char** argv) {
  calls++;
  return txrmain(run, argc, argv);
}

TEST_F(Pull, IntermediateFileBeforeAndAfterTheText) {
  cvreaderscope counting(1, countingreader);
  calls = 0;
  std::string doc;
  for (int i = 0; i < 300; i++) doc += "Line " + std::to_string(i) + "\n";
  cvtesthost host(doc);
  convstate* st = host.open();
  char head[10];
  int n = 0;
  ASSERT_EQ(convgetint(st, head, sizeof head, &n), 1);
  std::string com = std::string(head, n) + cvpullall(st, 2000, false);
  EXPECT_EQ(com.substr(0, 6), comrec(4388, {}).substr(0, 5) + '1');
  std::string text = cvpullall(st, 2000);
  EXPECT_EQ(words(text), words(doc));
  // The text conversion read the intermediate file from its first byte and
  // left it there: the host's intermediate pulls start again at byte 0.
  EXPECT_EQ(cvpullall(st, 2000, false), com);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(convclose(st), 1);
  EXPECT_TRUE(host.blocks.empty()) << host.blocks.size() << " blocks left";
}

// A host that refuses the n-th allocation of a memory-file chunk.
void refusechunk(cvtesthost& host, int n) {
  auto seen = std::make_shared<int>(0);
  host.refuse = [seen, n](size_t size) {
    return size == sizeof(convblock) + CONV_MFCHUNK + 2 && ++*seen == n;
  };
}

TEST_F(Pull, LostOutputFailsThePullInsteadOfCuttingTheText) {
  std::string doc;
  for (int i = 0; i < 300; i++) doc += std::string(99, 'x') + '\n';
  // The intermediate file cannot grow past its first chunk; then the plain text.
  for (int n : {2, 4}) {
    cvtesthost host(doc);
    refusechunk(host, n);
    EXPECT_EQ(cvpullall(host.open(), 2000), "<fail>") << n;
  }
  EXPECT_EQ(words(pulled(doc)), words(doc));
}

}  // namespace
