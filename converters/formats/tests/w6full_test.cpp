// The Word 6 full reader, reached with a zone-file name set: the statuses of
// files it refuses and of damaged tables, the mapping of positions through
// the piece table, and the piece's property modifiers. Until the text walk
// exists, a document whose tables read well ends with 5.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converters/formats/tests/fmttest.h"
#include "converters/formats/w6full.h"
#include "converters/runtime/tests/dftest.h"
#include "converters/word/tests/wordgen.h"

namespace {

using ft::result;

std::string doc(const wgen::bytes &stream) {
  dft::bytes f = dft::write({{"WordDocument", dft::bytes(stream.begin(), stream.end())}});
  return std::string(f.begin(), f.end());
}

result runzones(const std::string &file) { return ft::runst(cvtword6st, w6newst, file, {"0", true}); }

wgen::bytes edited(wgen::bytes b, size_t off, uint32_t v, int width = 4) {
  wgen::put(b, off, v, width, false);
  return b;
}

TEST(W6Full, StatusesOfRefusedAndDamagedDocuments) {
  const wgen::spec plain{wgen::word6, {"Hello\r", "World\r"}};
  const wgen::spec fast{wgen::word6, {"Hello\r", "World\r"}, true};
  wgen::bytes good = wgen::word6full(plain);
  wgen::bytes complex = wgen::word6full(fast);
  int32_t clx = static_cast<int32_t>(complex[352] | complex[353] << 8);
  dft::bytes w97 = dft::pattern(2000, 1);
  dft::put16(w97, 0, 0xA5EC);
  dft::bytes other = dft::write({{"Contents", dft::pattern(100, 2)}});
  struct {
    const char *name;
    std::string file;
    int status;
  } cases[] = {
      {"plain file", "just text\r\n", CX_NOTFMT},
      {"no WordDocument stream", std::string(other.begin(), other.end()), CX_WARN},
      {"a Word 97 stream", doc(wgen::bytes(w97.begin(), w97.end())), CX_NOTFMT},
      {"document properties of 83 bytes", doc(wgen::word6full(plain, 83)), CX_NOTFMT},
      {"document properties past the stream", doc(edited(good, 336, 0x7FFFFF00)), CX_NOTFMT},
      {"no style sheet", doc(edited(good, 100, 0)), CX_NOTFMT},
      {"style sheet header too short", doc(edited(good, good[96] | good[97] << 8, 12, 2)), CX_NOTFMT},
      {"styles past the style sheet's end", doc(edited(good, 100, (good[100] | good[101] << 8) - 4)), CX_NOTFMT},
      {"a complex file without its part", doc(edited(complex, 356, 0)), CX_NOTFMT},
      {"piece table shorter than one position", doc(edited(complex, clx + 8, 3)), CX_NOTFMT},
      {"piece table past the part", doc(edited(complex, clx + 8, 0x7FFFFFF0)), CX_NOTFMT},
      {"a group past the part", doc(edited(complex, clx + 1, 0xFFFF, 2)), CX_NOTFMT},
      {"well-formed", doc(good), CX_OK},
      {"well-formed, complex", doc(complex), CX_OK},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = runzones(c.file);
    EXPECT_EQ(r.status, c.status);
    if (c.status == CX_OK) {
      EXPECT_EQ(r.out, "Hello\r\nWorld\r\n");
    }
    // Nothing of the run stays behind but its output and zone files.
    for (const std::string &f : r.files) EXPECT_TRUE(f == "in.doc" || f == "out.txt" || f == "zones.txt") << f;
  }
  // Without a zone-file name the extractor converts as before.
  ft::expect(ft::run(11, doc(good)), 0, "Hello\r\nWorld\r\n");
}

// A document of two pieces stored last first: positions map through the
// piece that holds them, a position past the last piece through the last.
TEST(W6Full, PositionsAndPropertyModifiersOfPieces) {
  // CPs 0, 6, 12; piece 0 at 600 (prm: sprm 85 operand 1, bold), piece 1
  // at 512 (prm: group 1).
  std::vector<uint8_t> pieces;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) pieces.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put32(0), put32(6), put32(12);
  auto pcd = [&](uint32_t fc, uint16_t prm) {
    pieces.push_back(0), pieces.push_back(0);
    put32(fc);
    pieces.push_back(static_cast<uint8_t>(prm)), pieces.push_back(static_cast<uint8_t>(prm >> 8));
  };
  pcd(600, static_cast<uint16_t>(85 << 1 | 1 << 8));
  pcd(512, 1 << 1 | 1);
  std::vector<uint8_t> groups = {1, 2, 0, 86, 1, 1, 4, 0, 5, 2, 142, 3};
  w6doc d{};
  d.fib.fcmin = 512;
  d.pieces = pieces.data();
  d.piecelen = static_cast<int32_t>(pieces.size());
  d.npieces = 2;
  d.groups = groups.data();
  d.groupslen = static_cast<int32_t>(groups.size());
  d.ngroups = 2;
  struct {
    int32_t p, fc;
  } maps[] = {{512, 600}, {517, 605}, {518, 512}, {523, 517}, {530, 524}, {100, 512 + 100 - 518}};
  for (auto &m : maps) EXPECT_EQ(w6cp2fc(nullptr, &d, m.p), m.fc) << m.p;
  const w6chp base{};
  w6sep sep;
  w6pap pap;
  w6chp chp;
  auto fresh = [&] {
    w6sepdefault(nullptr, &sep);
    w6papdefault(nullptr, &pap);
    w6chpdefault(nullptr, &chp);
  };
  fresh();
  EXPECT_EQ(w6pieceprm(nullptr, &d, 513, &sep, &pap, &chp, &base), 1);
  EXPECT_EQ(chp.bold.v, 1);
  fresh();
  EXPECT_EQ(w6pieceprm(nullptr, &d, 520, &sep, &pap, &chp, &base), 1);
  EXPECT_EQ(pap.jc.v, 2);
  EXPECT_EQ(chp.italic.v, 0);  // group 0 is not the piece's
  // No piece holds a position past the last one; a group beyond the list,
  // and a prm of 0, change nothing.
  EXPECT_EQ(w6pieceprm(nullptr, &d, 530, &sep, &pap, &chp, &base), 0);
  pieces[4 * 3 + 8 + 6] = 9 << 1 | 1;
  fresh();
  EXPECT_EQ(w6pieceprm(nullptr, &d, 520, &sep, &pap, &chp, &base), 0);
  pieces[4 * 3 + 8 + 6] = 0;
  EXPECT_EQ(w6pieceprm(nullptr, &d, 520, &sep, &pap, &chp, &base), 0);
  EXPECT_EQ(pap.jc.set, 0);
  // A modifier for a record not given is skipped.
  EXPECT_EQ(w6pieceprm(nullptr, &d, 513, &sep, &pap, nullptr, &base), 1);
}

}  // namespace
