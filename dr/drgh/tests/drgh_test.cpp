// Tests of the HTML filter: its text and markup through the filter slots,
// standalone and as a sub-filter (the binary test and the HTML check), its
// attribute, and the failures of its slots.
#include "dr/drgh/drgh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/fixtures/pipe/htmlfix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct HtmlFilter : statefix::State {
  std::unique_ptr<pipefix::Prefs> prefs;
  std::vector<drobj *> made;
  void SetUp() override {
    statefix::State::SetUp();
    prefs = std::make_unique<pipefix::Prefs>(st);
  }
  void TearDown() override {
    for (drobj *o : made) drops<drfilops>(o)->free(o);
    prefs.reset();
    statefix::State::TearDown();
  }
  drobj *filter(drobj *ds, uint8_t standalone, const std::vector<pipefix::Attr> &attrs = {}) {
    drobj *f = drghnew(st, st->seshp);
    EXPECT_NE(f, nullptr);
    made.push_back(f);
    int32_t pref = prefs->add(DRCLS_FILTER, 3, attrs);
    EXPECT_EQ(drops<drfilops>(f)->bnd(f, 42, ds, pref, standalone), 0);
    return f;
  }
  // The next document's result and its text.
  std::pair<int, std::string> next(drobj *f) {
    int32_t op = 0;
    char key[DRDS_KEYSIZE];
    int rc = drops<drfilops>(f)->next(f, &op, key);
    std::string text;
    if (rc != 0) return {rc, text};
    char buf[100];
    int32_t got = 0;
    while (drops<drfilops>(f)->read(f, buf, sizeof buf, &got) == 0) text.append(buf, static_cast<size_t>(got));
    return {rc, text};
  }
};

TEST_F(HtmlFilter, StandaloneTakesEveryDocument) {
  pipefix::MemStore ds({"plain text &amp; no tag", std::string("a\0b<p>c", 7),
                        "<html><head><title>T</title></head><body>x</body></html>"},
                       5);
  drobj *f = filter(ds.obj(), 1);
  EXPECT_EQ(next(f), std::make_pair(0, std::string("plain text & no tag")));
  EXPECT_EQ(next(f), std::make_pair(0, std::string("abc")));
  EXPECT_EQ(drops<drfilops>(f)->setmode(f, 2), 0);
  EXPECT_EQ(next(f), std::make_pair(0, std::string("Tx")));
  EXPECT_EQ(next(f).first, 2);
  EXPECT_EQ(drops<drfilops>(f)->bnd(f, 43, ds.obj(), 1, 1), 1);
  EXPECT_EQ(drops<drfilops>(f)->icf(f, nullptr), 1);
  // A preference that is not loaded fails the binding with an internal
  // error that names the unit.
  drobj *g = drghnew(st, st->seshp);
  made.push_back(g);
  EXPECT_EQ(drops<drfilops>(g)->bnd(g, 44, ds.obj(), 99999, 1), 1);
  std::vector<int> nums = stacknums();
  EXPECT_NE(std::find(nums.begin(), nums.end(), 51501), nums.end()) << stack();
}

TEST_F(HtmlFilter, SubFilterTakesOnlyHtml) {
  std::string ctl(100, 'a');
  ctl[4] = 0x03;
  std::string nuls2048 = "<html>x" + std::string(2048 - 7, '\0') + "tail";
  struct Case {
    std::string doc;
    int rc;
  } cases[] = {
      {"<!DOCTYPE html>\n<html><body>x</body></html>", 0},
      {"<body>x</body>", 1},
      {"short plain text", 1},  // ends before it proves to be HTML
      {"", 1},
      {std::string(33, 'a') + "<html>", 1},
      {std::string(40, 'a') + "<html>", 1},
      {ctl, 1},
      {std::string("abc") + std::string(10, '\0') + "defgh", 1},
      {std::string("<html>abcdefgh") + std::string(3, '\0'), 0},
      {nuls2048, 0},
      {"<html>\x1C\x01\x01\x01 x", 1},
  };
  for (const Case &k : cases) {
    pipefix::MemStore ds({k.doc}, 3);
    drobj *f = filter(ds.obj(), 0);
    EXPECT_EQ(next(f).first, k.rc) << k.doc.substr(0, 40);
    EXPECT_TRUE(stacknums().empty()) << k.doc.substr(0, 40);
  }
}

TEST_F(HtmlFilter, BinaryTest) {
  struct Case {
    std::string bytes;
    int bin;
  } cases[] = {
      {"", 0},
      {"abcd\x03" + std::string(95, 'a'), 1},
      {"abc" + std::string(10, '\0') + "defgh", 1},
      {"abcdefgh" + std::string(3, '\0'), 0},
      {"abcdefgh" + std::string(3, '\0') + "ijkl", 1},
      {"ab\x7F", 0},  // the last three bytes are never examined
      {"ab\xFF" "cdef", 1},
      {"text\tand\r\nlines\x1B[0m", 0},
      {std::string(2045, 'a') + "\x01", 0},
      {std::string(2040, 'a') + std::string(8, '\0') + "\x01\x01", 0},
  };
  for (const Case &k : cases) {
    pipefix::MemStore ds({k.bytes}, 7);
    ds.at(0);
    druvfd vf{};
    druvfinit(&vf, st, st->cmdhp, ds.obj());
    ASSERT_NE(druvfopen(&vf, DRUVF_READ), nullptr);
    EXPECT_EQ(drghbin(&vf), k.bin) << k.bytes.substr(0, 20);
    druvfdestroy(&vf);
  }
}

TEST_F(HtmlFilter, MarkWritesTheHtml) {
  const std::string page =
      "<html><head><title>Red boats</title></head>\n<body><p>A <b>red</b> boat sails</p></body></html>";
  pipefix::MemStore ds({page});
  drobj *f = filter(ds.obj(), 1);
  EXPECT_EQ(next(f), std::make_pair(0, std::string("Red boats\nA red boat sails")));
  int32_t offs[] = {13}, lens[] = {8}, strengths[] = {100};
  pipefix::Writer w;
  EXPECT_EQ(drops<drfilops>(f)->mark(f, offs, lens, strengths, 1, "[", "]", w.obj()), 0);
  EXPECT_EQ(w.out, "<html><head><title>Red boats</title></head>\n<body><p>A <b>[red</b> boat] sails</p></body></html>");
  pipefix::Writer none;
  EXPECT_EQ(drops<drfilops>(f)->mark(f, offs, lens, strengths, 0, "[", "]", none.obj()), 0);
  EXPECT_EQ(none.out, page);
  // The text stays readable after a markup, and a read larger than one
  // buffer read is served in part.
  std::vector<char> big(70000);
  int32_t got = 0;
  ASSERT_EQ(drops<drfilops>(f)->seek(f, 0, 0), 0);
  EXPECT_EQ(drops<drfilops>(f)->read(f, big.data(), 70000, &got), 0);
  EXPECT_EQ(std::string(big.data(), static_cast<size_t>(got)), "Red boats\nA red boat sails");
  int32_t pos = -1;
  EXPECT_EQ(drops<drfilops>(f)->tell(f, &pos), 0);
  EXPECT_EQ(pos, got);
  pipefix::Writer fails;
  fails.failat = 1;
  EXPECT_EQ(drops<drfilops>(f)->mark(f, offs, lens, strengths, 1, "[", "]", fails.obj()), 1);
}

TEST_F(HtmlFilter, JapaneseAttribute) {
  pipefix::MemStore ds({"<p>x"});
  auto *off = reinterpret_cast<drghstate *>(filter(ds.obj(), 1, {pipefix::num(1, 0x100)}));
  EXPECT_EQ(off->japanese, nullptr);
  auto *on = reinterpret_cast<drghstate *>(filter(ds.obj(), 1, {pipefix::num(1, 1)}));
  EXPECT_NE(on->japanese, nullptr);
  auto *sub = reinterpret_cast<drghstate *>(filter(ds.obj(), 0));
  EXPECT_NE(sub->japanese, nullptr);
  auto *none = reinterpret_cast<drghstate *>(filter(ds.obj(), 1));
  EXPECT_EQ(none->japanese, nullptr);
  // A server of one byte per character detects nothing: the text is the
  // document's own.
  pipefix::MemStore one({"<p>\xB0\xFE\x82\xA0 x"});
  drobj *f = filter(one.obj(), 1, {pipefix::num(1, 1)});
  EXPECT_EQ(next(f), std::make_pair(0, std::string("\xB0\xFE\x82\xA0 x")));
}

}  // namespace
