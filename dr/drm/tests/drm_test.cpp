// Reply records without the database: preparing a reply, the argument
// setters and the delimited lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drm/drm.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Drm : ::testing::Test {
  drsrvstate *s = nullptr;
  drmcmd r{};
  void SetUp() override { ASSERT_EQ(statefix::build(&s), 0); }
  void TearDown() override { dracnfre(&s); }
  std::string slot(unsigned i) { return std::string(r.args[i].text, r.args[i].len); }
};

TEST_F(Drm, ReplyKeepsIdAndAddressAndNullsTheRest) {
  drmcmd c{};
  c.id = 77;
  c.addr.len = 5;
  memcpy(c.addr.text, "BOX_1", 6);
  c.user.len = 3;
  memcpy(c.user.text, "SYS", 4);
  for (auto &a : c.args) {
    a.len = 1;
    a.text[0] = 'x';
  }
  drmrpini(s, &c, &r);
  EXPECT_EQ(r.id, 77);
  EXPECT_EQ(std::string(r.addr.text, r.addr.len), "BOX_1");
  EXPECT_EQ(r.user.ind, -1);
  for (auto &a : r.args) EXPECT_EQ(a.ind, -1);
}

TEST_F(Drm, SettersFillSlotsWithinBounds) {
  std::string big(2500, 'a');
  EXPECT_EQ(drmsettxt(s, &r, 0, big.c_str()), 1999);
  EXPECT_EQ(r.args[0].ind, 0);
  EXPECT_EQ(slot(0), std::string(1999, 'a'));
  EXPECT_EQ(drmsettxt(s, &r, 1, ""), 0);
  EXPECT_EQ(r.args[1].ind, -1);

  drmsetint(s, &r, 2, -5);
  EXPECT_EQ(slot(2), "-5");
  drmsetuint(s, &r, 3, 4294967295u);
  EXPECT_EQ(slot(3), "4294967295");

  std::string raw(3000, 'b');
  EXPECT_EQ(drmsetraw(s, &r, 4, 1024, raw.data()), 1024);
  EXPECT_EQ(r.args[4].ind, 0);
  EXPECT_EQ(drmsetraw(s, &r, 5, 0, raw.data()), 0);
  EXPECT_EQ(r.args[5].ind, -1);
  // More than a slot holds is cut to the slot, never written past it.
  EXPECT_EQ(drmsetraw(s, &r, 6, raw.size(), raw.data()), DRM_SLOTMAX);
  EXPECT_EQ(r.args[6].len, DRM_SLOTMAX);
}

// A UTF8 session never gets half a character into a slot.
TEST(DrmUtf8, TextIsCutAtWholeCharacters) {
  setenv("NLS_LANG", "AMERICAN_AMERICA.UTF8", 1);
  drsrvstate *s = nullptr;
  testing::internal::CaptureStdout();
  ASSERT_EQ(dracnnew(&s), 0);
  testing::internal::GetCapturedStdout();
  unsetenv("NLS_LANG");
  static drmcmd r;
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "\xc3\xa9";  // 2000 bytes of é
  EXPECT_EQ(drmsettxt(s, &r, 0, text.c_str()), 1998);
  dracnfre(&s);
}

TEST_F(Drm, ListsSplitAndJoin) {
  static std::vector<std::string> items;
  items.clear();
  uint32_t count = 0;
  auto walk = [](drsrvstate *, void *, uint32_t idx, char *item) {
    items.push_back(std::to_string(idx) + item);
    return 0;
  };
  EXPECT_EQ(drmlstwalk(s, ",a,bb,c", walk, nullptr, &count), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(items, (std::vector<std::string>{"0a", "1bb", "2c"}));
  EXPECT_EQ(drmlstwalk(s, "", walk, nullptr, &count), 0);
  EXPECT_EQ(count, 0u);
  items.clear();
  EXPECT_EQ(drmlstwalk(s, ";x;;y", walk, nullptr, &count), 0);
  EXPECT_EQ(items, (std::vector<std::string>{"0x", "1", "2y"}));

  const char *src[] = {"a", "bb", "c"};
  auto give = [](drsrvstate *, void *data, uint32_t idx, char *item) {
    strcpy(item, static_cast<const char **>(data)[idx]);
    return 0;
  };
  char buf[16];
  EXPECT_EQ(drmlstjoin(s, buf, sizeof buf, give, src, 3, ","), 0);
  EXPECT_STREQ(buf, ",a,bb,c");
  // An item that does not fit ends the list where it stands.
  char small[5];
  EXPECT_EQ(drmlstjoin(s, small, sizeof small, give, src, 3, ","), 1);
  EXPECT_STREQ(small, ",a");
  EXPECT_EQ(rtmsgnum(s->msg, 1), 51922);
}

}  // namespace
