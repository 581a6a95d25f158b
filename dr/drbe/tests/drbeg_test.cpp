// The loader engine's reading of load files, without a database: pieces cut
// after delimiters outside quotes, the record states, the text bodies, and
// what makes a file fail, each case checked by its rows and its messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "dr/drbe/tests/drbefix.h"

namespace {

struct Loader : ::testing::Test {
  drsrvstate *st = nullptr;
  std::string logpath;
  rtstream *logst = nullptr;
  void SetUp() override {
    ASSERT_EQ(dracnnew(&st), 0);
    char tmpl[] = "/tmp/drbeg-log-XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    logpath = tmpl;
    ASSERT_EQ(rtfopen(st->rt, logpath.c_str(), RTF_WRITE | RTF_TRUNC, 0, 0, 0, 0, nullptr, &logst),
              0);
    st->log = logst;
  }
  void TearDown() override {
    st->log = rtstdout(st->rt);
    rtfclose(logst);
    unlink(logpath.c_str());
    dracnfre(&st);
  }
  std::string log() {
    rtfflush(logst);
    std::ifstream in(logpath);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

// The message numbers of a log, in order.
std::string numbers(const std::string &log) {
  std::string out;
  for (size_t at = log.find("DRG-"); at != std::string::npos; at = log.find("DRG-", at + 1))
    out += (out.empty() ? "" : " ") + log.substr(at + 4, 5);
  return out;
}

std::string join(const std::vector<std::string> &v) {
  std::string out;
  for (auto &s : v) out += s + ";";
  return out;
}

TEST(LoaderPieces, CutAfterTheLastDelimiterOutsideQuotes) {
  drsrvstate *st = nullptr;
  ASSERT_EQ(dracnnew(&st), 0);
  const nlscs *cs = dracncs(st);
  struct {
    const char *text;
    int32_t cut;
  } const cases[] = {
      {"", 0},
      {"<TEXTSTART: A='x'", 0},
      {"<TEXTSTART: A='x',", 18},
      {"A='x', B='y'> rest", 13},
      {"A='a,b>c'", 0},
      {"A='it''s, >'", 0},
      {"A='it''s', B", 10},
      {"A=\"x,>\" ,", 9},
      {"A='never closed, >", 0},
  };
  for (auto &k : cases)
    EXPECT_EQ(drbegfield(cs, k.text, static_cast<int32_t>(std::strlen(k.text))), k.cut) << k.text;
  dracnfre(&st);
}

TEST_F(Loader, RecordsOfLoadFiles) {
  const std::string big(20000, 'a');
  struct Case {
    const char *name;
    std::string bytes;
    int rc;
    const char *rows;  // ID|TITLE|AUTHOR|BODY;...
    const char *msgs;  // message numbers logged, in order
  };
  std::string many = "<TEXTSTART: ";
  for (int i = 0; i < 10000; i++) many += "ID=" + std::to_string(i) + ", ";
  many += "TITLE='last'>\nbody\n<TEXTEND>\n";
  const Case cases[] = {
      {"the example",
       "<TEXTSTART: TITLE='Annual report',\nAUTHOR='Smith'>\nFirst line of the text.\n"
       "Second line of the text.\n<TEXTEND>\n<TEXTSTART: TITLE='Notes'>\nA single line.\n"
       "<TEXTEND>\n",
       0,
       "<null>|Annual report|Smith|First line of the text.\nSecond line of the text.\n;"
       "<null>|Notes|<null>|A single line.\n;",
       ""},
      {"no commas, doubled quote, names as values",
       "<TEXTSTART: ID=1 TITLE='O''Brien'\nAUTHOR=smith>\nx\n<TEXTEND>", 0,
       "1|O'Brien|SMITH|x\n;", ""},
      {"text end without a line end", "<TEXTSTART: ID=1>\nx\n<TEXTEND>", 0, "1|<null>|<null>|x\n;",
       ""},
      {"crlf line ends", "<TEXTSTART: ID=1,\r\nTITLE='t'>\r\nx\r\n<TEXTEND>\r\n", 0,
       "1|t|<null>|x\r\n;", ""},
      {"records on one line and text end with blanks",
       "junk <TEXTSTART: ID=1>\nx\n  < textend > <TEXTSTART: ID=2>\ny\n<TEXTEND>\n", 0,
       "1|<null>|<null>|x\n;2|<null>|<null>|y\n;", ""},
      {"an empty body", "<TEXTSTART: ID=1>\n<TEXTEND>\n", 0, "1|<null>|<null>|;", ""},
      {"an empty file", "", 1, "", "11514"},
      {"an unknown column after a good record",
       "<TEXTSTART: ID=1>\nx\n<TEXTEND>\n<TEXTSTART: ID=2, NOPE='x'>\ny\n<TEXTEND>\n", 1,
       "1|<null>|<null>|x\n;", "11509 11502 11509 11514"},
      {"a repeated key", "<TEXTSTART: ID=7>\nx\n<TEXTEND>\n<TEXTSTART: ID=8>\ny\n<TEXTEND>\n", 0,
       "8|<null>|<null>|y\n;", "11509"},
      {"no = after a name", "<TEXTSTART: ID 1>\nx\n<TEXTEND>\n", 1, "", "11509 11511 11509 11514"},
      {"a value that is punctuation", "<TEXTSTART: ID=:>\nx\n<TEXTEND>\n", 1, "",
       "11509 11512 11509 11514"},
      {"a value too long for its column", "<TEXTSTART: AUTHOR='" + std::string(41, 'a') + "'>\nx\n<TEXTEND>\n",
       1, "", "11509 11515 11509 11514"},
      {"a name that is not a name", "<TEXTSTART: 12=1>\nx\n<TEXTEND>\n", 1, "", "11501 11509 11514"},
      {"> between records", "<TEXTSTART: ID=1>\nx\n<TEXTEND>\n>\n", 1, "1|<null>|<null>|x\n;",
       "11513 11514"},
      {"a file that ends inside a record", "<TEXTSTART: ID=1>\nx\n", 1, "", "11500 11508 11514"},
      {"a file that ends after TEXTEND", "<TEXTSTART: ID=1>\nx\n<TEXTEND", 1, "", "11500 11514"},
      {"an attribute part of 20 KB without a delimiter", "<TEXTSTART: ID=1 " + big, 1, "",
       "11503 11514"},
      {"quotes never closed", "<TEXTSTART: TITLE='x, y>\nx\n<TEXTEND>\n", 1, "", "11514"},
      {"a string over 2000 bytes", "<TEXTSTART: TITLE='" + std::string(2100, 'x') + "'>\nx\n<TEXTEND>\n",
       1, "", "11509 11514"},
      {"10,000 attributes", many, 0, "9999|last|<null>|body\n;", ""},
      {"a body of 1 MB", "<TEXTSTART: ID=1>\n" + std::string(1 << 20, 'b') + "\n<TEXTEND>\n", 1,
       "", "11505 11508 11514"},
      {"a body of 65535 bytes", "<TEXTSTART: ID=1>\n" + std::string(65534, 'b') + "\n<TEXTEND>\n",
       0, nullptr, ""},
      {"a body of 65536 bytes", "<TEXTSTART: ID=1>\n" + std::string(65535, 'b') + "\n<TEXTEND>\n",
       1, "", "11505 11508 11514"},
      {"100 MB without a line end", std::string(100 << 20, 'x'), 1, "", "11503 11514"},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    size_t from = log().size();
    drbefix::Sink sink;
    sink.dups = {"7"};
    drbegstate *ld = drbefix::loader(st, &sink);
    ASSERT_NE(ld, nullptr);
    EXPECT_EQ(drbefix::run(st, ld, k.bytes), k.rc);
    druelog(st);
    drueclr(st);
    if (k.rows) EXPECT_EQ(join(sink.rows), k.rows);
    else EXPECT_EQ(sink.rows.size(), 1u);
    std::string l = log().substr(from);
    EXPECT_EQ(numbers(l), k.msgs) << l;
    drbegclose(ld);
    drobj *o = &ld->hd.obj;
    drops<drldrops>(o)->free(&o);
  }
}

TEST_F(Loader, TablesWithoutATextColumnOrWithSeveral) {
  drbefix::Sink sink;
  auto *ld = reinterpret_cast<drbegstate *>(drbegnew(st, st->cmdhp));
  ASSERT_NE(ld, nullptr);
  std::strcpy(ld->table, "T");
  ld->textsize = DRBEG_TEXTMAX + 4;
  const char *names[] = {"a", "b", "c"};
  const int16_t none[] = {DRUO_VARCHAR2, 2, 12};
  const int32_t sizes[] = {10, 22, 7};
  EXPECT_EQ(drbegcolset(ld, names, none, sizes, 3), 1);
  EXPECT_EQ(druefind(st, 11517), 1);
  drueclr(st);
  // Of several long columns the last is the text; the others take values.
  const int16_t two[] = {DRUO_LONG, DRUO_LONGRAW, 2};
  ASSERT_EQ(drbegcolset(ld, names, two, sizes, 3), 0);
  EXPECT_EQ(ld->textcol, 1);
  EXPECT_EQ(ld->cols[1].type, DRUO_LONGVARRAW);
  EXPECT_EQ(ld->cols[0].type, DRUO_STRING);
  EXPECT_STREQ(ld->insert, "INSERT into T values(:c1, :c2, :c3)");
  drbegclose(ld);
  drobj *o = &ld->hd.obj;
  drops<drldrops>(o)->free(&o);
}

}  // namespace
