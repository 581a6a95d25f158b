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
#include <fstream>
#include <functional>
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
  // More preferences of a policy (called with its id) before it is indexed.
  std::function<void(const std::string &)> more;
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
    if (more) more(p);
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

// A fuzzy query of a Japanese word through a word list in fuzzy mode 2
// finds the rows that spell it in any of its kana variants: the rows of
// バイオリン as well as those of ヴァイオリン, none of the other words.
TEST_F(Asian, JapaneseFuzzyFindsKanaVariants) {
  std::vector<std::string> text = {
      "\u79c1\u306f\u30d0\u30a4\u30aa\u30ea\u30f3\u3092\u5f3e\u304d\u307e\u3059",  // 私はバイオリンを弾きます
      "\u30f4\u30a1\u30a4\u30aa\u30ea\u30f3\u306e\u97f3",  // ヴァイオリンの音
      "\u30d4\u30a2\u30ce\u3092\u5f3e\u304d\u307e\u3059",  // ピアノを弾きます
      "\u30d0\u30a4\u30aa\u30ea\u30f3\u6559\u5ba4\u3078",  // バイオリン教室へ
      "\u30aa\u30ea\u30f3\u30d4\u30c3\u30af",                // オリンピック
  };
  load("jf", text, "");
  more = [&](const std::string &p) {
    std::string pref = std::to_string(std::stoi(p) * 10 + 5);
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
           " ($1::integer, 'PR' || $1, 5, 1)", {pref});
    c->one("INSERT INTO dr$policy_preference VALUES ($1::integer, 5, $2::integer)", {p, pref});
    c->one("INSERT INTO dr$preference_attribute VALUES ($1::integer, 'FUZZY_MODE', '2', 1)", {pref});
  };
  const std::string violin = "?\u30f4\u30a1\u30a4\u30aa\u30ea\u30f3";  // ?ヴァイオリン
  EXPECT_EQ(found("JAPANESE_JAPAN.JA16EUC", 1307, 2, "JF", violin), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(found("JAPANESE_JAPAN.JA16SJIS", 1308, 2, "JF", violin), (std::vector<int>{1, 2, 4}));
}

// One Japanese page in JIS, EUC-JP and Shift-JIS (made by iconv), indexed
// from a column of bytes with the HTML filter told to detect Japanese and
// the Japanese lexer in a JA16EUC server, is found three times by a word of
// its text and never by its markup.
TEST_F(Asian, JapaneseHtmlPageInThreeEncodings) {
  namespace fs = std::filesystem;
  if (run("command -v iconv").empty()) GTEST_SKIP() << "no iconv";
  const std::string page =
      "<html><head><title>\u8aac\u660e</title></head><body><p>\u30aa\u30d7\u30b7\u30e7\u30f3"
      "\u3092<b>\u6307\u5b9a</b>\u3057\u3066\u304f\u3060\u3055\u3044\u3002</p></body></html>\n";
  const std::string other = "<html><body><p>\u5225\u306e\u6587\u66f8</p></body></html>\n";
  fs::path tmp = fs::temp_directory_path() / ("kes-jahtml-" + std::to_string(getpid()));
  auto conv = [&](const std::string &utf8, const char *to) {
    std::ofstream(tmp, std::ios::binary) << utf8;
    return run(std::string("iconv -f UTF-8 -t ") + to + " " + tmp.string());
  };
  std::vector<std::string> bytes = {conv(page, "ISO-2022-JP"), conv(page, "EUC-JP"),
                                    conv(page, "SHIFT_JIS"), conv(other, "EUC-JP")};
  fs::remove(tmp);
  ASSERT_NE(bytes[0], bytes[1]);
  ASSERT_NE(bytes[1], bytes[2]);
  c->one("CREATE TABLE t.jh (id integer PRIMARY KEY, body bytea)");
  for (size_t k = 0; k < bytes.size(); ++k) {
    std::string hex;
    for (unsigned char ch : bytes[k]) {
      static const char *const kHex = "0123456789abcdef";
      hex += kHex[ch >> 4];
      hex += kHex[ch & 15];
    }
    ASSERT_FALSE(bytes[k].empty());
    c->one("INSERT INTO t.jh VALUES ($1::integer, decode($2, 'hex'))", {std::to_string(k + 1), hex});
  }
  more = [&](const std::string &p) {
    c->one("UPDATE dr$policy SET pol_text_type = 24 WHERE pol_id = $1::integer", {p});
    std::string pref = std::to_string(std::stoi(p) * 10 + 3);
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
           " ($1::integer, 'PR' || $1, 3, 3)", {pref});
    c->one("INSERT INTO dr$policy_preference VALUES ($1::integer, 3, $2::integer)", {p, pref});
    c->one("INSERT INTO dr$preference_attribute VALUES ($1::integer, 'DETECT_JAPANESE', '1', 1)", {pref});
  };
  const std::string word = "\u6307\u5b9a";  // "specify"
  EXPECT_EQ(found("JAPANESE_JAPAN.JA16EUC", 1309, 2, "JH", word), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(found("JAPANESE_JAPAN.JA16EUC", 1310, 2, "JH", "html"), std::vector<int>{});
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
