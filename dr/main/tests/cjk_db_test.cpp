// Japanese, Chinese and Korean text indexed by veksrv processes, one per
// session character set: rows of man pages (their text lines, in the UTF8
// database) indexed with the Japanese or the multi-byte lexer, where a
// two-ideograph word finds exactly the rows whose text holds it, the same
// rows in both Japanese sets; and rows of Korean message catalogues indexed
// with the Korean lexer over the dictionaries the build makes, where a noun
// finds the rows that hold it as a word.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/fixtures/engine/idxfix.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

std::string run(const std::string &cmd) {
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The text lines (no requests) of the man pages under dir that hold an
// ideograph, at most max of them.
std::vector<std::string> lines(const std::string &dir, size_t max) {
  std::string text = run("ls " + dir + "/*.gz 2>/dev/null | LC_ALL=C sort | head -60 | xargs -r zcat");
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size() && out.size() < max) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    std::string l = text.substr(at, nl - at);
    at = nl + 1;
    if (l.empty() || l[0] == '.' || l[0] == '\'' || l.size() > 2000) continue;
    bool ideo = false;
    for (unsigned char ch : l) ideo = ideo || (ch >= 0xE4 && ch <= 0xE9);
    if (ideo) out.push_back(l);
  }
  return out;
}

struct Asian : ::testing::Test {
  pgtest::Database db;
  std::unique_ptr<Conn> c;
  std::string home;  // the server's KESTRIN_HOME when not the source tree
  void SetUp() override {
    PGTEST_NEED_DB(db);
    c = std::make_unique<Conn>(db.name);
    c->one("CREATE SCHEMA t");
  }
  // The keys of the rows that contain finds for word, in key order, through
  // a server of session set nls with the lexer of object id lexobj over
  // policy pol; empty with a failure when the server or a command fails.
  std::vector<int> found(const std::string &nls, int pol, int lexobj, const std::string &table,
                         const std::string &word) {
    pgtest::Server srv;
    setenv("NLS_LANG", nls.c_str(), 1);
    if (!home.empty()) setenv("KESTRIN_HOME", home.c_str(), 1);
    srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "DQM"}, db.name);
    unsetenv("NLS_LANG");
    if (!home.empty()) setenv("KESTRIN_HOME", KES_SOURCE_DIR, 1);
    EXPECT_TRUE(srv.ready()) << srv.out();
    idxfix::policy(*c, pol, table, {});
    std::string p = std::to_string(pol), pref = std::to_string(pol * 10 + 4);
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
           " ($1::integer, 'PR' || $1, 4, $2::integer)",
           {pref, std::to_string(lexobj)});
    c->one("INSERT INTO dr$policy_preference VALUES ($1::integer, 4, $2::integer)", {p, pref});
    for (int code : {10, 11, 29}) {
      std::vector<std::optional<std::string>> args = {p, "1", "1", "C"};
      if (code == 11) args = {p, "1", "1", "1", "C"};
      if (code == 29) args = {p, "1", "C"};
      Reply r = pgtest::submit(*c, code, args, 120);
      EXPECT_EQ(r.code, 101) << code << ": " << r.arg(1) << srv.log();
      if (r.code != 101) return {};
    }
    Reply t = pgtest::submit(*c, 46, {"0", "RESULT", "1"}, 60);
    EXPECT_EQ(t.code, 101) << t.arg(1);
    Reply q = pgtest::submit(*c, 15, {p, word, t.arg(4), "0", "0", "0", "0", "0", std::nullopt, "NULL"}, 60);
    EXPECT_EQ(q.code, 101) << q.arg(1) << srv.log();
    std::vector<int> keys;
    for (const std::string &k : c->col("SELECT textkey FROM " + t.arg(4) + " ORDER BY textkey::integer"))
      keys.push_back(std::stoi(k));
    return keys;
  }
  // Loads the lines into t.<table>; the keys of the lines holding word.
  std::vector<int> load(const std::string &table, const std::vector<std::string> &text,
                        const std::string &word) {
    c->one("CREATE TABLE t." + table + " (id integer PRIMARY KEY, body text)");
    std::vector<int> want;
    for (size_t k = 0; k < text.size(); ++k) {
      c->one("INSERT INTO t." + table + " VALUES ($1::integer, $2)", {std::to_string(k + 1), text[k]});
      if (text[k].find(word) != std::string::npos) want.push_back(static_cast<int>(k + 1));
    }
    return want;
  }
};

TEST_F(Asian, JapaneseWordsFindTheirRowsInBothSets) {
  std::vector<std::string> text = lines("/usr/share/man/ja/man1", 300);
  if (text.size() < 100) GTEST_SKIP() << "manpages-ja is not installed";
  const std::string word = "\u6307\u5b9a";  // "specify"
  std::vector<int> want = load("ja", text, word);
  ASSERT_GE(want.size(), 3u);
  EXPECT_EQ(found("JAPANESE_JAPAN.JA16EUC", 1301, 2, "JA", word), want);
  EXPECT_EQ(found("JAPANESE_JAPAN.JA16SJIS", 1302, 2, "JA", word), want);
}

TEST_F(Asian, ChineseWordsFindTheirRowsInEachSet) {
  std::vector<std::string> cn = lines("/usr/share/man/zh_CN/man1", 300);
  std::vector<std::string> tw = lines("/usr/share/man/zh_TW/man1", 300);
  if (cn.size() < 100 || tw.size() < 100) GTEST_SKIP() << "manpages-zh is not installed";
  const std::string file = "\u6587\u4ef6";  // "file"
  const std::string show = "\u986f\u793a";  // "show", traditional
  std::vector<int> wantcn = load("cn", cn, file);
  std::vector<int> wanttw = load("tw", tw, show);
  ASSERT_GE(wantcn.size(), 3u);
  ASSERT_GE(wanttw.size(), 3u);
  EXPECT_EQ(found("SIMPLIFIED CHINESE_CHINA.ZHS16CGB231280", 1303, 5, "CN", file), wantcn);
  EXPECT_EQ(found("SIMPLIFIED CHINESE_CHINA.ZHS16GBK", 1304, 5, "CN", file), wantcn);
  EXPECT_EQ(found("TRADITIONAL CHINESE_TAIWAN.ZHT16BIG5", 1305, 5, "TW", show), wanttw);
}

// The Korean lexer reads its dictionaries from the data folder under
// KESTRIN_HOME: the server runs in a home that holds the messages of the
// source tree and the dictionaries of the build tree.
TEST_F(Asian, KoreanNounsFindTheRowsThatHoldThem) {
  namespace fs = std::filesystem;
  if (!fs::exists(KES_BINARY_DIR "/vek73/data/drkosdic.dat")) GTEST_SKIP() << "no Korean dictionaries";
  std::vector<std::string> text;
  for (const char *mo : {"coreutils", "dpkg", "bash"}) {
    std::string po = run(std::string("msgunfmt /usr/share/locale/ko/LC_MESSAGES/") + mo +
                         ".mo 2>/dev/null | sed -n 's/^msgstr \"\\(.*\\)\"$/\\1/p'");
    for (size_t at = 0, nl; at < po.size() && text.size() < 400; at = nl + 1) {
      nl = po.find('\n', at);
      if (nl == std::string::npos) nl = po.size();
      std::string l = po.substr(at, nl - at);
      bool hangul = false;
      for (unsigned char ch : l) hangul = hangul || (ch >= 0xEA && ch <= 0xED);
      if (hangul && l.size() < 1000) text.push_back(l);
    }
  }
  if (text.size() < 100) GTEST_SKIP() << "no Korean message catalogues";
  home = fs::temp_directory_path() / ("kes-ko-" + std::to_string(getpid()));
  fs::create_directories(home);
  fs::create_symlink(KES_SOURCE_DIR "/messages", home + "/messages");
  fs::create_symlink(KES_BINARY_DIR "/vek73", home + "/vek73");
  const std::string file = "\ud30c\uc77c";  // "file"
  std::vector<int> any = load("ko", text, file);
  // The rows where it stands as a word: alone, or before a particle.
  std::vector<int> word;
  for (int k : any) {
    const std::string &l = text[static_cast<size_t>(k - 1)];
    for (const char *after : {" ", "\uc744", "\uc774", "\uc758", "\uc5d0", "\uc740", "\ub85c", "\uacfc"}) {
      if (l.find(file + after) != std::string::npos) {
        word.push_back(k);
        break;
      }
    }
  }
  ASSERT_GE(word.size(), 3u);
  std::vector<int> got = found("KOREAN_KOREA.KO16KSC5601", 1306, 3, "KO", file);
  fs::remove_all(home);
  std::set<int> gotset(got.begin(), got.end()), anyset(any.begin(), any.end());
  for (int k : word) EXPECT_TRUE(gotset.count(k)) << text[static_cast<size_t>(k - 1)];
  for (int k : got) EXPECT_TRUE(anyset.count(k)) << k;
}

}  // namespace
