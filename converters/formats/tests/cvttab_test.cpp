// The converter table and the entry frame: which entry serves a converter
// id, and how a run built on a converter's state ends, whatever its body does.
#include <gtest/gtest.h>

#include <string>

#include "converters/formats/cvt.h"
#include "converters/runtime/cvtframe.h"
#include "converters/runtime/fmtcat.h"
#include "converters/runtime/tests/cxtest.h"

namespace {

TEST(ConverterTable, LooksUpEntriesByTheLow16BitsOfTheId) {
  cvtentry e = nullptr;
  ASSERT_EQ(cvtfind(1, &e), 1);
  cvtentry one = e;
  ASSERT_EQ(cvtfind(4, &e), 1);
  EXPECT_EQ(e, one);
  EXPECT_EQ(e, &cvtwp5);
  struct {
    int id;
    cvtentry entry;
  } rows[] = {{6, cvtmacword}, {7, cvtword2}, {11, cvtword6}, {2, cvtworddos}, {5, cvtwp6},
              {8, cvtamipro}, {9, cvtlotus},  {13, cvtxif}};
  for (auto &r : rows) {
    ASSERT_EQ(cvtfind(r.id, &e), 1) << r.id;
    EXPECT_EQ(e, r.entry) << r.id;
  }
  e = cvtwp6;
  EXPECT_EQ(cvtfind(999, &e), 1);
  EXPECT_EQ(e, nullptr);
  e = cvtwp6;
  EXPECT_EQ(cvtfind(0, &e), 1);
  EXPECT_EQ(e, nullptr);
  for (int id : {3, 10, 12, 998, 1000}) EXPECT_EQ(cvtfind(id, &e), 0) << id;
  // Readers compare the low 16 bits of the id.
  EXPECT_EQ(cvtfind(0x10000 + 7, &e), 1);
  EXPECT_EQ(e, &cvtword2);
  // The ids the catalogue maps codes 21, 107 and 19 to have no row.
  for (int code : {21, 107, 19}) EXPECT_EQ(cvtfind(fmtcvtid(code), &e), 0) << code;
}

// A state whose destructor records what the run still held when it came.
int gheld = -1;
int gfreed = 0;
void recordfree(cxstate *st) {
  gheld = st->cm->allocs;
  gfreed++;
  cxfreest(st);
}

cxstate *framestate() {
  static const cxblkspec blocks[] = {{18, 64, nullptr}};
  gheld = -1;
  gfreed = 0;
  return cxnewst(blocks, 1, recordfree);
}

// Whatever the body held when it ended (memory, a scratch stream spilled to
// a temporary file, buffered output, open handles), the frame's return
// point releases it, frees the state once and returns the body's status.
TEST(EntryFrame, ReturnPointReleasesEverythingOnce) {
  struct {
    const char *name;
    int status;    // the status the body ends with
    bool closes;   // the body closes its files and marks them closed
  } cases[] = {{"fatal status deep inside", 15, false}, {"success", 0, true},
               {"success without closing", 0, false}, {"warning", 5, false},
               {"status beyond 16 bits", 0x10009, false}};
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    cxtestdir d;
    std::string out = d.file("out.txt");
    cxstate *st = framestate();
    int16_t status = cvtframe(st, out.c_str(), [&](char *closed) {
      cxalloc(st, 1000);
      int s = cxsopen(st, 100);
      for (int i = 0; i < 40000; i++) cxsputc(st, 'x', s);
      int h = cxopen2(st, st->nm->intfile, 2);
      if (cxbufinit(st, -1, h, 100) != 0) cxthrow(st, CX_NOMEM);
      cxputc(st, 'a');
      if (c.closes) {
        cxsclose(st, s);
        cxbufend(st);
        cxclose(st, h);
        *closed = 1;
      }
      cxthrow(st, c.status);
    });
    EXPECT_EQ(status, static_cast<int16_t>(c.status));
    EXPECT_EQ(gfreed, 1);
    // Only the state's own blocks remain for the destructor.
    EXPECT_EQ(gheld, 0);
    EXPECT_EQ(d.files(), std::vector<std::string>{"out.txt"});
    EXPECT_EQ(d.get("out.txt"), "a");
  }
}

TEST(EntryFrame, NoStateAndOverlongOutputNames) {
  bool ran = false;
  EXPECT_EQ(cvtframe(nullptr, "out", [&](char *) { ran = true; }), -1);
  EXPECT_FALSE(ran);
  // An output path longer than the state's name field is refused with 3
  // before the body runs; a body that returns ends the run with 0.
  cxstate *st = framestate();
  EXPECT_EQ(cvtframe(st, std::string(400, 'o').c_str(), [&](char *) { ran = true; }), 3);
  EXPECT_FALSE(ran);
  EXPECT_EQ(gfreed, 1);
  st = framestate();
  EXPECT_EQ(cvtframe(st, "out", [&](char *) { ran = true; }), 0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(gheld, 0);
}

}  // namespace
