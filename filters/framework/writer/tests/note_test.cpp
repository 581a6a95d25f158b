// Notes, headers and footers, fields, cross-references and the one-record
// emitters: the records each writes, in order, and the limits of nesting.
#include <gtest/gtest.h>

#include <set>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

std::string noterec(const std::vector<std::string>& head) {
  std::vector<std::string> f = head;
  for (const char* v : {"00", "00", "00", "00", "01", "FF", "10", "75", "8D"}) f.push_back(v);
  return recv(20934, f);
}

TEST(Notes, TheNoteRecords) {
  const cwcallrow<cwruncalls> rows[] = {
      {"the first footnote", [](cvrun* r) { cwftnbeg(r); }, rec(1478) + noterec({"00", "00", "01"})},
      {"number 300",
       [](cvrun* r) {
         cwnotenum(r, 0, 300, CW_ENCBYTE);
         cwftnbeg(r);
       },
       noterec({"00", "01", "2C"})},
      {"an endnote", [](cvrun* r) { cwednbeg(r); }, noterec({"02", "00", "01"})},
      {"a mark string",
       [](cvrun* r) {
         cwnotefmtdesc f{1, 0, 1, 10, nullptr, nullptr, CW_ENCBYTE};
         cwnotefmt(r, &f);
         cwnotenum(r, 0, reinterpret_cast<intptr_t>("*"), CW_ENCBYTE);
         cwftnbeg(r);
       },
       recs(9670, {"00", "1", "1", "", ""}) + rec(1478) + noterec({"01", "01", "2A"})},
      {"an endnote mark",
       [](cvrun* r) {
         cwnotefmtdesc f{1, 3, 4, 10, "(", ")", CW_ENCBYTE};
         cwnotefmt(r, &f);
         cwnotenum(r, 1, reinterpret_cast<intptr_t>("+"), CW_ENCBYTE);
         cwednbeg(r);
       },
       recs(9670, {"02", "4", "1", "(", ")"}) + noterec({"03", "01", "2B"})},
  };
  for (const auto& row : rows) EXPECT_EQ(cwwrites(row.run), comshow(row.want)) << row.what;
}

TEST(Notes, NumbersRunOnAndASetNumberDropsTheAutomaticRecord) {
  cwtestrun t;
  cwalign(t.run, 0);
  t.settle();
  cwnotenum(t.run, 0, 5, CW_ENCBYTE);
  for (int i = 0; i < 2; i++) {
    cwftnbeg(t.run);
    t.text("n");
    cwftnend(t.run);
  }
  std::string com = t.com();
  EXPECT_EQ(com.find(rec(1478)), std::string::npos);
  EXPECT_NE(com.find(noterec({"00", "00", "05"})), std::string::npos);
  EXPECT_NE(com.find(noterec({"00", "00", "06"})), std::string::npos);
  // The end record, then the alignment record of the text around.
  EXPECT_NE(com.find(rec(14533) + rec(10821)), std::string::npos) << t.show();
  EXPECT_EQ(t.w->subn, 0);
}

TEST(HeadersAndFooters, Records) {
  struct row {
    const char* what;
    bool header;
    cwhfdesc d;
    std::string code;
  };
  const row rows[] = {
      {"header A on every page", true, {1, 0, 3, 0, 0, 0}, "04"},
      {"header B on odd pages", true, {1, 1, 1, 7, 0, 9}, "09"},
      {"footer A", false, {1, 2, 3, 0, 0, 0}, "06"},
      {"footer B on pages of parity 2", false, {1, 3, 2, 0, 0, 0}, "13"},
  };
  for (const row& r : rows) {
    cwtestrun t;
    cwalign(t.run, 0);
    t.settle();
    (r.header ? cwheadbeg : cwfootbeg)(t.run, &r.d);
    t.text("hf");
    (r.header ? cwheadend : cwfootend)(t.run);
    std::string begin = recs(r.header ? 29896 : 28872, {"00", "0", "10", "75", "0", "1", "1440", "10800"});
    std::string end = recs(24776, {"0", r.code, std::to_string(r.d.v5), std::to_string(r.d.v3)});
    std::string com = t.com();
    EXPECT_EQ(com.substr(0, begin.size()), begin) << r.what;
    EXPECT_NE(com.find("hf"), std::string::npos) << r.what;
    EXPECT_EQ(com.substr(com.size() - end.size() - 6), end + rec(10821)) << r.what << ": " << t.show();
    EXPECT_EQ(t.w->hf, nullptr);
    EXPECT_EQ(t.w->subn, 0);
  }
  EXPECT_EQ(cwwrites([](cvrun* r) { cwhfstop(r, 2); }), comshow(recs(4296, {"10"})));
  EXPECT_EQ(cwwrites([](cvrun* r) { cwhfstop(r, 7); }), comshow(rec(4296)));
}

TEST(HeadersAndFooters, ARefusedBeginLeavesTheEnclosingLevelOpen) {
  cwtestrun t;
  t.settle();
  cwftnbeg(t.run);
  t.t.host.refuse = [](size_t n) { return n < 64; };
  cwhfdesc d{1, 0, 3, 0, 0, 0};
  cwheadbeg(t.run, &d);
  t.t.host.refuse = nullptr;
  t.text("kept");
  cwheadend(t.run);
  EXPECT_EQ(t.w->subn, 1);
  cwftnend(t.run);
  EXPECT_EQ(t.w->subn, 0);
  EXPECT_NE(t.com().find("kept"), std::string::npos);
  EXPECT_TRUE(comwellformed(t.com()));
}

cwfielddesc field(int kind, int subtype, int closed, int version = 2, const char* a = nullptr,
                  const char* b = nullptr) {
  return {version, kind, subtype, closed, {a, b}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
}

TEST(Fields, Records) {
  std::string begin23 = recs(20898, {"23"});
  begin23.pop_back();
  const cwcallrow<cwruncalls> rows[] = {
      {"open, two arguments",
       [](cvrun* r) {
         cwfielddesc f = field(1, 3, 0, 2, "one", "two");
         cwfldbeg(r, &f);
         cwputs(r, "res");
         cwfldend(r);
       },
       begin23 + "res" + "one\x1Ftwo\x1F\x1E" + recs(20901, {"23"})},
      {"kind 2 begins with 40 and ends with 45",
       [](cvrun* r) {
         cwfielddesc f = field(2, 5, 1);
         cwfldbeg(r, &f);
         cwfldend(r);
       },
       recs(20898, {"40"}) + recs(20901, {"45"})},
      {"version 1, open: a single US ends the begin",
       [](cvrun* r) {
         cwfielddesc f = field(0, 4, 0, 1);
         cwfldbeg(r, &f);
         cwfldend(r);
       },
       comrec(20898, {"04"}).substr(0, comrec(20898, {"04"}).size() - 1) + "\x1F\x1E" + recs(20901, {"04"})},
      {"an end with nothing open", [](cvrun* r) { cwfldend(r); }, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(cwwrites(row.run), comshow(row.want)) << row.what;
}

TEST(Fields, NestedFieldsEndInReverseOrderAndASixthIsIgnored) {
  cwtestrun t;
  t.settle();
  for (int i = 0; i < 7; i++) {
    cwfielddesc f = field(0, i, 1);
    cwfldbeg(t.run, &f);
    t.text(std::string(1, static_cast<char>('a' + i)));
  }
  EXPECT_EQ(t.w->nfields, 5);
  EXPECT_EQ(t.w->fieldover, 1);
  for (int i = 0; i < 7; i++) cwfldend(t.run);
  EXPECT_EQ(t.w->field, nullptr);
  std::string want;
  for (int i = 0; i < 6; i++) want += recs(20898, {"0" + std::to_string(i)}) + std::string(1, 'a' + i);
  want += "g";
  for (int i = 5; i >= 0; i--) want += recs(20901, {"0" + std::to_string(i)});
  EXPECT_EQ(t.show(), comshow(want));
}

TEST(CrossReferences, Records) {
  const cwcallrow<cwruncalls> rows[] = {
      {"target and text", [](cvrun* r) {
         cwxrefdesc d{1, 3, 0x01, "doc.txt", "see", CW_ENCBYTE, -1, -1};
         cwxref(r, &d);
       },
       recs(6744, {"03", "1", "doc.txt", "see"})},
      {"version 1 reads no stream", [](cvrun* r) {
         int h = cvsscratch(r, 128);
         cvswrite(r, h, "x", 1);
         cwxrefdesc d{1, 0, 0, nullptr, nullptr, CW_ENCBYTE, h, h};
         cwxref(r, &d);
       },
       recs(6744, {"00", "0", "", ""})},
      {"version 2 reads both streams", [](cvrun* r) {
         int h = cvsscratch(r, 128);
         cvswrite(r, h, "tg", 2);
         int g = cvsscratch(r, 128);
         cvswrite(r, g, "tx", 2);
         cwxrefdesc d{2, 0, 0, nullptr, nullptr, CW_ENCBYTE, h, g};
         cwxref(r, &d);
       },
       recs(6744, {"00", "0", "tg", "tx"})},
  };
  for (const auto& row : rows) EXPECT_EQ(cwwrites(row.run), comshow(row.want)) << row.what;
}

TEST(CrossReferences, ATargetWithBit7IsADependentFile) {
  for (int value : {0x81, 0x01}) {
    cwtestrun t({"/rl=deps.lst"});
    cwxrefdesc d{1, 0, value, "other.doc", nullptr, CW_ENCBYTE, -1, -1};
    cwxref(t.run, &d);
    static const char listed[] = "other.doc\0dependent\r\n";
    EXPECT_EQ(cvgetfile(t.t.st, "deps.lst"), value & 0x80 ? std::string(listed, sizeof listed - 1) : "<none>");
  }
}

TEST(Emitters, EachWritesItsOwnRecord) {
  cwtestrun t;
  t.settle();
  cwfontsize(t.run, 240);
  t.settle();
  cwr16915(t.run, 3);
  EXPECT_EQ(t.show(), comshow(recs(16915, {"0", "3", "00", "0C"})));
  // Every emitter writes a code of its own that reads back as its number.
  using none = void (*)(cvrun*);
  const std::pair<int, none> plain[] = {{19843, cwr19843}, {28909, cwr28909}, {29933, cwr29933},
                                        {31981, cwr31981}, {33005, cwr33005}, {35053, cwr35053},
                                        {36077, cwr36077}, {1261, cwr1261},   {2285, cwr2285},
                                        {4333, cwr4333},   {5357, cwr5357},   {21010, cwr21010},
                                        {1552, cwr1552},   {13838, cwr13838}};
  using str = void (*)(cvrun*, const char*, int);
  const std::pair<int, str> strings[] = {{12484, cwr12484}, {19876, cwr19876}, {19081, cwr19081},
                                         {30957, cwr30957}, {34029, cwr34029}, {37101, cwr37101},
                                         {3309, cwr3309},   {19154, cwr19154}, {19155, cwr19155},
                                         {9814, cwr9814}};
  std::set<std::string> seen;
  for (auto [code, fn] : plain) {
    std::string got = cwwrites([fn](cvrun* r) { fn(r); });
    EXPECT_EQ(got, comshow(rec(code))) << code;
    EXPECT_TRUE(seen.insert(got).second) << code;
    EXPECT_EQ(comcodepack(rec(code).substr(2, 3).c_str()), code);
  }
  for (auto [code, fn] : strings) {
    std::string got = cwwrites([fn](cvrun* r) { fn(r, "s", CW_ENCBYTE); });
    EXPECT_EQ(got, comshow(recs(code, {"s"}))) << code;
    EXPECT_TRUE(seen.insert(got).second) << code;
    EXPECT_EQ(cwwrites([fn](cvrun* r) { fn(r, nullptr, CW_ENCBYTE); }), comshow(recs(code, {""}))) << code;
  }
  EXPECT_EQ(cwwrites([](cvrun* r) { cwr27885(r, 4); cwr7694(r, 5); cwr3603(r, 63); cwr16848(r, 1, 2); }),
            comshow(rec(27885, {4}) + rec(7694, {5}) + recs(3603, {"3F"}) + rec(16848, {1, 2})));
  // 7686 goes out before formatting still pending.
  EXPECT_EQ(cwwrites([](cvrun* r) { cwattr(r, CW_BOLD, 1, 0); cwr7686(r, 1, 2); cwputs(r, "x"); }),
            comshow(rec(7686, {1, 2}) + rec(20546, {0}) + "x"));
}

}  // namespace
