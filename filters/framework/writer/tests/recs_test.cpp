// The shared record writers and the 4-bit colour codes.
#include <gtest/gtest.h>

#include <vector>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// A record of the given fields, then n fields "00": a date format's padding.
std::string padded(int code, std::vector<std::string> fields, int n) {
  std::string s = comrec(code, {});
  s.pop_back();
  fields.insert(fields.end(), n, "00");
  for (const std::string& f : fields) s += f + '\x1F';
  return s + '\x1E';
}

TEST(SharedRecords, RecordsForCalls) {
  const cwcallrow<cwruncalls> rows[] = {
      {"date format padded to 30 fields",
       [](cvrun* r) {
         const int codes[] = {259, ' ', 257, ',', ' ', 261, -1};
         cwdatefmt(r, codes);
       },
       padded(6788, {"33", "20", "31", "2C", "20", "35"}, 24)},
      {"a longer date list is written whole",
       [](cvrun* r) {
         int codes[32];
         for (int i = 0; i < 31; i++) codes[i] = 'A';
         codes[31] = -1;
         cwdatefmt(r, codes);
       },
       padded(6788, std::vector<std::string>(31, "41"), 0)},
      {"seconds as byte 1, codes past 266 dropped",
       [](cvrun* r) {
         const int codes[] = {266, 300, 265, -1};
         cwdatefmt(r, codes);
       },
       padded(6788, {"01", "39"}, 28)},
      {"line numbering",
       [](cvrun* r) {
         cwlinedesc d = {2, 1, 0, 1, 3, 5, 288, 9};
         cwlinenum(r, &d);
       },
       recs(14739, {"00", "00", "A3", "02", "5", "9"})},
      {"line numbering, mode below 2",
       [](cvrun* r) {
         cwlinedesc d = {1, 0, 1, 0, 0, 1, -144, 9};
         cwlinenum(r, &d);
       },
       recs(14739, {"00", "00", "40", "FF", "1", "0"})},
      {"right to left on", [](cvrun* r) { cwtextdir(r, 0, 1, 4); }, rec(18580, {0, 1, 4}) + rec(12946, {4})},
      {"direction off", [](cvrun* r) { cwtextdir(r, 0, 0, 3); }, rec(18580, {0, 0, 3}) + rec(19084, {3})},
      {"other directions", [](cvrun* r) { cwtextdir(r, 0, 2, 1); cwtextdir(r, 1, 1, 1); },
       rec(18580, {0, 2, 1}) + rec(18580, {1, 1, 1})},
      {"file include", [](cvrun* r) { cwfileinc(r, "sub.doc", CW_ENCBYTE, 2); }, recs(3366, {"sub.doc", "2"})},
      {"file include without a name", [](cvrun* r) { cwfileinc(r, nullptr, CW_ENCBYTE, 0); }, ""},
      {"spreadsheet include", [](cvrun* r) { cwsheetinc(r, "t.xls", CW_ENCBYTE); }, recs(20073, {"t.xls"})},
      {"paragraph border",
       [](cvrun* r) {
         cwborddesc d = {0, {1, 2, 3, 4}, {1, 2, 3, 4}, 9};
         cwbordon(r, &d);
         cwbordoff(r);
       },
       recs(16964, {"1", "1", "2", "3", "4", "1234", "9"}) + rec(16964, {0})},
      {"values in decimal and in hex",
       [](cvrun* r) {
         const int v[] = {4, 200, -1};
         cwvallist(r, v, 1);
         cwvallist(r, v, 0);
       },
       rec(16878, {4, 200}) + recs(16878, {"04", "C8"})},
      {"generated text with its strings",
       [](cvrun* r) {
         cwgendesc d = {0, 3, 1, "Index", 2, "End", CW_ENCBYTE};
         cwgenbeg(r, &d);
         cwgenend(r);
       },
       recs(20706, {"3", "1", "Index", "2", "End"}) + rec(20709)},
      {"a table of contents",
       [](cvrun* r) {
         cwgendesc d = {0, 0, 1, "ignored", 2, "ignored", CW_ENCBYTE};
         cwgenbeg(r, &d);
       },
       rec(20706, {0, 1})},
      {"markers",
       [](cvrun* r) {
         const int32_t w[6] = {99, 1, 2, 3, 4, 5};
         cwr23811(r);
         cwr9826(r);
         cwr9829(r);
         cwr3660(r, w);
         cwcharbord(r, 1, 2);
       },
       rec(23811) + rec(9826) + rec(9829) + rec(3660, {1, 2, 3, 4, 5})},
      {"pending format goes first",
       [](cvrun* r) {
         cwattr(r, CW_BOLD, 1, 500);
         cwr9826(r);
       },
       rec(20546, {500}) + rec(9826)},
  };
  for (const auto& row : rows) EXPECT_EQ(cwwrites(row.run), comshow(row.want)) << row.what;
}

TEST(SharedRecords, IncludesListDependentFiles) {
  cwtestrun t({"/rl=deps.txt"});
  t.settle();
  cwfileinc(t.run, "a.doc", CW_ENCBYTE, 0);
  cwfileinc(t.run, "b.doc", CW_ENCBYTE, 2);
  cwsheetinc(t.run, "c.xls", CW_ENCBYTE);
  EXPECT_EQ(cvgetfile(t.t.st, "deps.txt"), std::string("a.doc\0text\r\nc.xls\0spreadsheet\r\n", 31));
}

TEST(SharedRecords, ColourCodes) {
  const struct {
    int r, g, b, code;
  } rows[] = {{255, 0, 0, 12}, {128, 128, 128, 15}, {127, 127, 127, 7}, {0, 0, 0, 0}, {0, 200, 0, 10}, {1, 0, 1, 5}};
  for (const auto& row : rows) EXPECT_EQ(cvrgb2ico(row.r, row.g, row.b), row.code) << row.r << "," << row.g;
  int r = 9, g = 9, b = 9;
  cvico2rgb(12, &r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 9);  // a clear bit leaves its component alone
  cvico2rgb(3, &r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 127);
  EXPECT_EQ(b, 127);
}

}  // namespace
