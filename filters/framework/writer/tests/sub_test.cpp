// Sub-documents: a container starts from a clean format and the text after
// it carries on as before; boxes, comments and marked text; the limits of
// the stack.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

cwboxdesc box(int width = 0) {
  cwboxdesc d{};
  d.version = 1;
  d.width = width;
  for (int32_t& v : d.more) v = -1;
  return d;
}

TEST(SubDocuments, BoldInsideABoxDoesNotLeakAfterIt) {
  cwtestrun t;
  t.settle();
  cwboxdesc d = box();
  cwboxbeg(t.run, &d);
  cwattr(t.run, CW_BOLD, 1, 0);
  t.text("in");
  cwboxend(t.run);
  t.marknow();
  t.text("out");
  EXPECT_EQ(t.show(), comshow("out"));
  EXPECT_FALSE(t.w->chr.attr[0].on);
  EXPECT_TRUE(comwellformed(t.t.com()));
}

TEST(SubDocuments, TheBoxRecord) {
  cwboxdesc d = box(2880);
  d.boxkind = 2;
  d.anchor = 1, d.pos1 = 2, d.pos2 = 4, d.wrap = 1, d.flag = 1, d.height = 720;
  d.off1 = -5, d.off2 = 30;
  d.dist[0] = -1, d.dist[2] = 90;
  d.lines[0] = 1, d.lines[3] = 15;
  d.val1 = 7, d.val2 = 8, d.name = "Frame", d.nameenc = CW_ENCBYTE, d.value = 9;
  d.more[1] = 12;
  std::string got = cwwrites([&](cwtestrun& t) {
    cwboxbeg(t.run, &d);
    EXPECT_EQ(t.w->rightlimit, 2880);
    EXPECT_EQ(t.w->subkind, 2);
  });
  EXPECT_EQ(got, comshow(recs(15873, {"02", "1", "2", "4", "1", "1", "2880", "720", "0", "30", "0", "0", "90", "0",
                                      "100F", "7", "8", "Frame", "9", "A", "12", "A", "A"})));
}

TEST(SubDocuments, ABoxOfWidth0KeepsTheEnclosingLineWidth) {
  cwtestrun t;
  t.settle();
  t.w->rightlimit = 7000;
  cwboxdesc d = box(0);
  cwboxbeg(t.run, &d);
  EXPECT_EQ(t.w->rightlimit, 7000);
  cwboxend(t.run);
}

// What follows each container's end: the alignment record of the restored
// alignment, except after comments and marked text.
TEST(SubDocuments, TheAlignmentRecordAfterContainers) {
  const cwcallrow<cwruncalls> rows[] = {
      {"box", [](cvrun* r) { cwboxdesc d = box(); cwboxbeg(r, &d); cwboxend(r); }, rec(6657) + rec(1122)},
      {"comment", [](cvrun* r) { cwcmtbegin(r); cwcmtend(r); }, "\x1F\x1E"},
      {"marked text", [](cvrun* r) { cwdelbegin(r); cwdelend(r); }, "\x1F\x1E"},
  };
  for (const auto& row : rows) {
    cwtestrun t;
    t.settle();
    cwalign(t.run, 1);
    cwflush(t.run, 1);
    row.run(t.run);
    std::string got = t.com();
    ASSERT_GE(got.size(), row.want.size()) << row.what;
    EXPECT_EQ(got.substr(got.size() - row.want.size()), row.want) << row.what << ": " << t.show();
  }
}

TEST(SubDocuments, ACommentKeepsTheEnclosingLayoutButNoAttributes) {
  cwtestrun t;
  t.settle();
  cwalign(t.run, 1);
  cwattr(t.run, CW_ITALIC, 1, 0);
  t.text("a");
  cwcmtbegin(t.run);
  EXPECT_EQ(t.w->para.align, 1);
  EXPECT_EQ(t.w->para.lmar, 1440);
  EXPECT_FALSE(t.w->chr.attr[3].on);
  cwcmtend(t.run);
  EXPECT_TRUE(t.w->chr.attr[3].on);
}

TEST(SubDocuments, MultiByteModeAfterContainers) {
  struct row {
    const char* what;
    std::function<void(cvrun*)> begin, end;
    bool switched;  // off inside and on again after
  };
  const row rows[] = {
      {"box", [](cvrun* r) { cwboxdesc d = box(); cwboxbeg(r, &d); }, cwboxend, true},
      {"comment", cwcmtbegin, cwcmtend, false},
      {"marked text", cwdelbegin, cwdelend, false},
  };
  for (const row& r : rows) {
    cwtestrun t;
    t.settle();
    cwmbyteon(t.run, 1, 0);
    t.marknow();
    r.begin(t.run);
    EXPECT_EQ(t.w->mbhex, r.switched ? 0 : 1) << r.what;
    r.end(t.run);
    EXPECT_EQ(t.w->mbhex, 1) << r.what;
    bool again = t.com().find(rec(3149, {1, 1, 0})) != std::string::npos;
    EXPECT_EQ(again, r.switched) << r.what << ": " << t.show();
  }
}

TEST(SubDocuments, TheEleventhLevelIsCountedAndItsEndLeavesNothing) {
  cwtestrun t;
  t.settle();
  for (int i = 0; i < 11; i++) {
    cwboxdesc d = box();
    cwboxbeg(t.run, &d);
    t.text(std::string(1, static_cast<char>('a' + i)));
  }
  EXPECT_EQ(t.w->subn, 10);
  EXPECT_EQ(t.w->subover, 1);
  EXPECT_EQ(cwsubopen(t.run), 11);
  cwboxend(t.run);
  EXPECT_EQ(t.w->subn, 10);
  for (int i = 0; i < 10; i++) cwboxend(t.run);
  EXPECT_EQ(t.w->subn, 0);
  // More ends than begins do nothing.
  cwboxend(t.run);
  cwsubend(t.run);
  EXPECT_EQ(t.w->subn, 0);
  EXPECT_TRUE(comwellformed(t.com()));
}

TEST(SubDocuments, ALevelWhoseStateCannotBeHadIsCounted) {
  cwtestrun t;
  t.settle();
  t.t.host.refuse = [](size_t n) { return n > 8000; };
  cwcmtbegin(t.run);
  t.t.host.refuse = nullptr;
  EXPECT_EQ(t.w->subn, 0);
  EXPECT_EQ(t.w->subover, 1);
  cwcmtend(t.run);
  EXPECT_EQ(t.w->subover, 0);
  EXPECT_TRUE(comwellformed(t.com()));
}

}  // namespace
