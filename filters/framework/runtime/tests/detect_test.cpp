// Format detection: tables of byte strings to format codes for each
// detector, and whole documents through the host, compound files included.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "converters/runtime/tests/dftest.h"
#include "filters/framework/runtime/tests/cvtest.h"

namespace {

using bytes = std::string;

int detect(const bytes& doc, long* pos = nullptr) {
  cvtesthost host(doc);
  convstate* st = host.open();
  int code = convdetect(st);
  if (pos) *pos = host.pos;
  return code;
}

const unsigned char* u(const bytes& b) { return reinterpret_cast<const unsigned char*>(b.data()); }
int n(const bytes& b) { return static_cast<int>(b.size()); }

bytes wpheader(int product, int type, int major, int minor, int len = 16) {
  bytes b(len, '\0');
  b[0] = '\xFF';
  b[1] = 'W';
  b[2] = 'P';
  b[3] = 'C';
  b[8] = static_cast<char>(product);
  b[9] = static_cast<char>(type);
  b[10] = static_cast<char>(major);
  b[11] = static_cast<char>(minor);
  return b;
}

bytes w12header(int first, int len = 30) {
  bytes b(len, '\0');
  b[0] = static_cast<char>(first);
  b[1] = '\xA5';
  b[24] = '\x80';
  b[25] = '\x01';
  return b;
}

bytes compound(const std::vector<std::string>& names, dft::layout* where = nullptr) {
  std::vector<dft::stream> streams;
  for (const std::string& nm : names) streams.push_back({nm, dft::pattern(5000, 7)});
  dft::bytes f = dft::write(streams, where, false);
  return bytes(f.begin(), f.end());
}

TEST(Detect, WordPerfectHeaders) {
  const struct {
    bytes b;
    int code;
  } rows[] = {
      {wpheader(1, 10, 2, 0), 48},     {wpheader(1, 10, 2, 1), 48}, {wpheader(1, 10, 1, 0), 7},
      {wpheader(1, 10, 0, 1), 7},      {wpheader(1, 10, 2, 2), 0},  {wpheader(1, 10, 1, 2), 0},
      {wpheader(2, 10, 2, 0), 0},      {wpheader(1, 11, 2, 0), 0},  {wpheader(1, 10, 2, 0, 15), 0},
  };
  for (const auto& r : rows) EXPECT_EQ(convdetwp(u(r.b), n(r.b)), r.code) << comshow(r.b);
}

TEST(Detect, WordForWindowsOneAndTwoMagic) {
  bytes wrongmark = w12header(0x9B);
  wrongmark[26] = 1;
  const struct {
    bytes b;
    int code;
  } rows[] = {
      {w12header(0x9B), 44}, {w12header(0xDB), 44}, {w12header(0xDC), 0},
      {w12header(0x9B, 29), 0}, {wrongmark, 0},
  };
  for (const auto& r : rows) EXPECT_EQ(convdetw12(u(r.b), n(r.b)), r.code) << comshow(r.b);
}

TEST(Detect, HtmlKeywordScan) {
  const struct {
    bytes b;
    int code;
  } rows[] = {
      {"<!-- only a comment -->", 108},
      {"<html><body>x</body></html>", 108},
      {"  <TiTlE>A</TiTlE>", 108},
      {"<head>", 108},
      {"<p>paragraphs only</p><br>", 0},
      {"<html", 0},   // the tag never closes
      {"<htm", 0},    // the keyword runs past the bytes read
      // Each '<' without a keyword costs a second unit of the budget: the
      // '>' at the last byte lies beyond what is left of it.
      {"<x<html>", 0},
      {"<x<html> ", 108},
  };
  for (const auto& r : rows) EXPECT_EQ(convdethtml(u(r.b), n(r.b)), r.code) << r.b;
}

bytes lftext(int len, int crlfs) {
  bytes b;
  while (n(b) < len) b += "a line of words\n";
  b.resize(len);
  for (int i = 0; i < crlfs; i++) {
    size_t at = b.find('\n', 100 + 500 * i);
    b.replace(at, 1, "\r\n");
  }
  b.resize(len);
  return b;
}

TEST(Detect, PlainTextLineEndsAndBytes) {
  bytes at8(40, '@');
  at8 += "\xE9\xE9\xE9\xE9 x";
  const struct {
    const char* what;
    bytes b;
    int code;
  } rows[] = {
      {"a few words without a line end", "just a few words", 1},
      {"LF lines", lftext(4096, 0), 1},
      {"LF lines and 3 CR LF", lftext(4096, 3), 0},
      {"LF lines and 2 CR LF", lftext(4096, 2), 1},
      {"302 bytes without a line end", bytes(302, 'w'), 0},
      {"CR CR LF lines", [] { bytes b; while (b.size() < 1000) b += "words\r\r\n"; return b; }(), 1},
      {"PostScript", "%!PS-Adobe-3.0\n", 0},
      {"PostScript after Ctrl-D", "\x04%!PS\n", 0},
      {"some 8-bit letters", "caf\xE9 cr\xE8me br\xFBl\xE9", 1},
      {"mostly 8-bit", "\xE9\xE9\xE9\xE9 ab", 0},
      {"at-signs outnumber spaces", at8, 1},
  };
  for (const auto& r : rows) EXPECT_EQ(convdettext(u(r.b), n(r.b)), r.code) << r.what;
}

TEST(Detect, CompoundFilesAreWalkedForAWordOrWordPerfectStream) {
  dft::layout l, ll;
  bytes word = compound({"WordDocument", "1Table"});
  bytes other = compound({"Contents", "Pictures"}, &l);
  // The directory's fifth entry lies in its second sector.
  bytes later = compound({"A", "B", "C", "D", "WordDocument"}, &ll);
  auto refat = [](const bytes& b, const dft::layout& at, uint32_t next) {
    dft::bytes f(b.begin(), b.end());
    dft::setfat(f, at, at.dirstart, next);
    return bytes(f.begin(), f.end());
  };
  bytes cyclic = refat(other, l, static_cast<uint32_t>(l.dirstart));
  bytes beyond = refat(later, ll, 5000);  // the second directory sector lies past the end
  bytes small = word.substr(0, 2047);
  bytes perfect = compound({"PerfectOffice_MAIN", "PerfectOffice_OBJECTS"});
  bytes both = compound({"PerfectOffice_MAIN", "WordDocument"});
  // The first directory entry reads "XXXXXXXument"; the next directory
  // sector is the file's last, cut 14 bytes in after "WordDoc". Its read is
  // short: left in place, the earlier sector's bytes would complete the name.
  bytes stale = refat(other, l, static_cast<uint32_t>((other.size() - 512) / 512));
  for (int i = 0; i < 12; i++) {
    stale[512 + 512 * l.dirstart + 2 * i] = "XXXXXXXument"[i];
    stale[512 + 512 * l.dirstart + 2 * i + 1] = 0;
  }
  stale += bytes("W\0o\0r\0d\0D\0o\0c\0", 14);
  const struct {
    const char* what;
    bytes b;
    int code;
  } rows[] = {
      {"with a WordDocument stream", word, 49},
      {"without one", other, 0},
      {"with a WordPerfect 6 main stream", perfect, 48},
      {"with both: the Word stream wins", both, 49},
      {"in the second directory sector", later, 49},
      {"directory chained to itself", cyclic, 0},
      {"directory chained past the end", beyond, 0},
      {"directory sector read short", stale, 0},
      {"2047 bytes", small, 0},
  };
  for (const auto& r : rows) {
    long pos = -1;
    EXPECT_EQ(detect(r.b, &pos), r.code) << r.what;
    EXPECT_EQ(pos, 0) << r.what;
  }
}

TEST(Detect, WholeDocumentsThroughTheHost) {
  std::ifstream in(std::string(KES_SOURCE_DIR) + "/converters/runtime/tests/fixtures/small.doc", std::ios::binary);
  std::stringstream doc;
  doc << in.rdbuf();
  const struct {
    const char* what;
    bytes b;
    int code;
  } rows[] = {
      {"empty", "", 0},
      {"WordPerfect 6", wpheader(1, 10, 2, 0, 64), 48},
      {"WordPerfect 5", wpheader(1, 10, 1, 0, 64), 7},
      {"Word 2", w12header(0xDB, 64), 44},
      {"HTML", "<html>x</html>", 108},
      {"text", "Some words.\nMore words.\n", 1},
      {"Word 97 made by an office suite", doc.str(), 49},
  };
  for (const auto& r : rows) {
    long pos = -1;
    EXPECT_EQ(detect(r.b, &pos), r.code) << r.what;
    EXPECT_EQ(pos, 0) << r.what;
  }
}

TEST(Detect, ShortReadsOfTheHostAreJoined) {
  // A host that hands out 100 bytes at a time still shows detection its
  // first 4096 bytes.
  cvtesthost host(lftext(4096, 3));
  host.readcap = 100;
  EXPECT_EQ(convdetect(host.open()), 0);
}

}  // namespace
