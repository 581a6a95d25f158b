// Error stack: texts, the log, the bounded join, searching, entry reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Stack : statefix::State {
  Stack() { logname = "kes-drue"; }
  // The database text of a failed statement, then the failing step.
  void db_failure(const char *dbtext, int step) {
    dracnerr(st, DRFAC_DRG, DRUE_DBTEXT, 2, DRA_STR, dbtext, 0);
    dracnierr(st, DRFAC_DRG, step, 2, DRA_STR, "dr/dru/druo.cpp", DRA_INT, 120, 0);
  }
};

TEST_F(Stack, EmptyStack) {
  EXPECT_EQ(druelog(st), 0);
  EXPECT_EQ(log(), "");
  char buf[16] = "junk";
  EXPECT_EQ(druestk(st, buf, sizeof buf), 0u);
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(druefatal(st));
  EXPECT_FALSE(druefind(st, 10900));
  int num = -5;
  EXPECT_EQ(drueget(st, 1, &num, nullptr), 0);
  EXPECT_EQ(num, 0);
}

TEST_F(Stack, DatabaseTextIsLoggedWithoutItsPrefix) {
  db_failure("ERROR:  relation \"dr$policy\" does not exist", DRUE_PARSE);
  EXPECT_EQ(druelog(st), 2);
  EXPECT_EQ(log(),
            "ERROR:  relation \"dr$policy\" does not exist\n"
            "DRG-50801: internal error: statement parse failed, arguments: "
            "[dr/dru/druo.cpp], [120], [], [], [], [], []\n");
  char joined[2000];
  druestk(st, joined, sizeof joined);
  EXPECT_EQ(std::string(joined),
            "ERROR:  relation \"dr$policy\" does not exist\n"
            "DRG-50801: internal error: statement parse failed, arguments: "
            "[dr/dru/druo.cpp], [120], [], [], [], [], []\n");
}

TEST_F(Stack, DatabaseTextStripCases) {
  struct Case {
    const char *dbtext;
    size_t size;
    const char *want;
  } cases[] = {
      {"plain text", 255, "plain text"},                 // our prefix goes, the rest stays
      {"", 255, ""},                                     // nothing after the prefix
      {"a:b: c", 255, "a:b: c"},                         // only the first colon counts
      {"long database text", 6, "DRG-5"},                // cut before any colon: unchanged
      {"long database text", 12, ""},                    // cut right after the blank
      {"long database text", 15, "lon"},
  };
  for (const Case &c : cases) {
    drueclr(st);
    dracnerr(st, DRFAC_DRG, DRUE_DBTEXT, 2, DRA_STR, c.dbtext, 0);
    char buf[256];
    ASSERT_EQ(druetxt(st, 1, buf, c.size), 0) << c.dbtext;
    EXPECT_STREQ(buf, c.want) << c.dbtext << " " << c.size;
  }
  // a long database text keeps at most 512 bytes
  drueclr(st);
  std::string big(3000, 'x');
  dracnerr(st, DRFAC_DRG, DRUE_DBTEXT, 2, DRA_STR, big.c_str(), 0);
  char buf[2048];
  ASSERT_EQ(druetxt(st, 1, buf, sizeof buf), 0);
  EXPECT_EQ(std::strlen(buf), 512u);
}

TEST_F(Stack, TextOfAMissingEntryFails) {
  char buf[16];
  EXPECT_EQ(druetxt(st, 1, buf, sizeof buf), 1);
  EXPECT_EQ(druetxt(st, 0, buf, sizeof buf), 1);
}

TEST_F(Stack, FatalOnlyWithSeverityThree) {
  struct Case {
    std::vector<int> sevs;
    bool fatal;
  } cases[] = {
      {{}, false},
      {{2, 1, 0}, false},
      {{2, 2, 3}, true},  // only the last one is fatal
      {{3, 2}, true},
  };
  for (const Case &c : cases) {
    drueclr(st);
    for (int s : c.sevs) dracnerr(st, DRFAC_DRG, 10100, s, DRA_STR, "x", 0);
    EXPECT_EQ(druefatal(st) != 0, c.fatal) << c.sevs.size();
  }
}

TEST_F(Stack, FindAndGet) {
  dracnerr(st, DRFAC_DRG, 10100, 2, DRA_STR, "-z", 0);
  dracnierr(st, DRFAC_DRG, 50600, 0, DRA_STR, "f", DRA_INT, 1, 0);
  EXPECT_TRUE(druefind(st, 50600));
  EXPECT_FALSE(druefind(st, 10101));
  int num = 0, sev = -1;
  EXPECT_EQ(drueget(st, 1, &num, &sev), 0);
  EXPECT_EQ(num, 10100);
  EXPECT_EQ(sev, 2);
  // severity 0 is a real severity, read like any other
  EXPECT_EQ(drueget(st, 2, &num, &sev), 0);
  EXPECT_EQ(num, 50600);
  EXPECT_EQ(sev, 0);
  EXPECT_EQ(drueget(st, 3, &num, &sev), 0);
  EXPECT_EQ(num, 0);
  EXPECT_EQ(rtmsgcnt(st->msg), 2);  // nothing pushed by the reads
}

TEST_F(Stack, JoinIsBoundedAndAppendsNewlines) {
  dracnerr(st, DRFAC_DRG, 10100, 2, DRA_STR, "-a", 0);  // "DRG-10100: unknown option -a"
  dracnerr(st, DRFAC_DRG, 10100, 2, DRA_STR, "-b", 0);
  const std::string one = "DRG-10100: unknown option -a\n";
  const std::string two = "DRG-10100: unknown option -b\n";
  struct Case {
    size_t size;
    std::string want;
  } cases[] = {
      {1, ""},
      {5, "DRG-"},
      {one.size(), one.substr(0, one.size() - 1)},  // no room for the line end
      {one.size() + 1, one},
      {one.size() + 4, one + "DRG"},
      {one.size() + two.size() + 1, one + two},
      {2000, one + two},
  };
  for (const Case &c : cases) {
    std::vector<char> dest(c.size + 8, '#');
    size_t n = druestk(st, dest.data(), c.size);
    EXPECT_EQ(std::string(dest.data()), c.want) << c.size;
    EXPECT_EQ(n, c.want.size()) << c.size;
    for (size_t i = c.size; i < dest.size(); i++) ASSERT_EQ(dest[i], '#') << c.size;
  }
}

struct Utf8Stack : Stack {
  Utf8Stack() { nls = "AMERICAN_AMERICA.UTF8"; }
};

TEST_F(Utf8Stack, JoinStopsAtAWholeCharacter) {
  // Each entry: "DRG-10100: unknown option " (26 bytes) and four two-byte
  // characters.
  for (int i = 0; i < 100; i++) dracnerr(st, DRFAC_DRG, 10100, 2, DRA_STR, "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 0);
  for (size_t size : {28u, 29u, 30u, 2000u}) {
    std::vector<char> dest(size + 4, '#');
    size_t n = druestk(st, dest.data(), size);
    ASSERT_LT(n, size);
    EXPECT_EQ(dest[n], 0);
    EXPECT_EQ(dest[size], '#');
    // never ends in the middle of a character: the last lead byte is whole
    size_t i = n;
    while (i > 0 && (static_cast<unsigned char>(dest[i - 1]) & 0xC0) == 0x80) i--;
    if (i > 0 && (static_cast<unsigned char>(dest[i - 1]) & 0xC0) == 0xC0) {
      EXPECT_EQ(n - (i - 1), 2u) << size;
    }
  }
  char dest[29];
  druestk(st, dest, sizeof dest);
  EXPECT_STREQ(dest, "DRG-10100: unknown option \xc3\xa9");
}

}  // namespace
