// Tests of the HTML conversion: the plain text of HTML, the check that a
// document is HTML at all, hit tags in the HTML, documents read in pieces
// and large or broken ones, and the link rewriting of highlighted HTML.
#include "dr/drgh/drghc.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fixtures/pipe/htmlfix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct HtmlConv : statefix::State {
  drghcstate *c = nullptr;
  HtmlConv() { nls = "AMERICAN_AMERICA.WE8ISO8859P1"; }
  void SetUp() override {
    statefix::State::SetUp();
    c = drghcnew(st);
    ASSERT_NE(c, nullptr);
  }
  void TearDown() override {
    drghcfree(c);
    htmlfix::baseurl().clear();
    statefix::State::TearDown();
  }
  std::string text(const std::string &doc, int *rc, uint8_t html = 1, size_t piece = 0) {
    return htmlfix::convert(st, c, doc, html, nullptr, rc, "[", "]", piece);
  }
  std::string mark(const std::string &doc, const htmlfix::Hits &h, int *rc, size_t piece = 0,
                   const char *stag = "[", const char *etag = "]") {
    return htmlfix::convert(st, c, doc, 1, &h, rc, stag, etag, piece);
  }
};

TEST_F(HtmlConv, TextOfHtml) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"<p>a</p>b", "ab"},
      {"<a href=x>link</a> here", "link here"},
      {"x<br>y", "xy"},
      {"x</td><td>y", "x y"},
      {"x</TD><TD>y</th>z", "x y z"},
      {"&amp;&lt;&gt;&quot;", "&<>\""},
      {"&amp &lt x", "& < x"},
      {"&AMP;", "AMP;"},
      {"&#65;&#66", "AB"},
      {"&nbsp;x", "nbsp;x"},
      {"&#12345;", " 5;"},  // four digits at most: 1234 is no Latin-1 letter
      {"&#233;", "\xE9"},
      {"&#0;x", " x"},
      {"&#8364;", " "},
      {"&#;&#x41;", "#;#x41;"},
      {"<script>if (a < b) x();</script>", "if (a "},
      {"<style>p { }</style>", "p { }"},
      {"<!-- a > b -->c", " b -->c"},
      {"a\0b", std::string("ab")},
      {"ab<", "ab"},
      {"ab<p class=x", "ab"},
      {"<>x>y", "y"},
      {"a<b>b<i>c", "abc"},
      {"\xE9t\xE9", "\xE9t\xE9"},
  };
  cases[18].in = std::string("a\0b", 3);
  for (const Case &k : cases) {
    for (size_t piece : {0, 1, 3}) {
      int rc = -1;
      EXPECT_EQ(text(k.in, &rc, 1, piece), k.out) << k.in << " piece " << piece;
      EXPECT_EQ(rc, 0) << k.in;
    }
  }
}

TEST_F(HtmlConv, ProvesHtmlWhenNotTold) {
  const std::string l32(32, 'x'), l33(33, 'x');
  struct Case {
    std::string in;
    int rc;
  } cases[] = {
      {"<!DOCTYPE html>\n<html><p>x", 0},
      {"<html>x", 0},
      {"<HTML>x", 0},
      {"<Html>&amp;", 0},
      {"<body>x", 1},
      {l32 + "<html>", 0},
      {l33 + "<html>", 1},
      {"&<html>", 1},
      {"plain text, no tag at all, long enough to be refused", 1},
      // A document that ends before a tag proved it HTML is refused, however
      // short: a short plain text must reach the filter after this one.
      {"short plain text", 1},
      {"", 1},
  };
  for (const Case &k : cases) {
    int rc = -1;
    text(k.in, &rc, 0);
    EXPECT_EQ(rc, k.rc) << k.in;
  }
}

TEST_F(HtmlConv, HitTags) {
  const std::string page =
      "<html><head><title>Red boats</title></head>\n<body><p>A <b>red</b> boat sails</p></body></html>";
  int rc = -1;
  EXPECT_EQ(text(page, &rc), "Red boats\nA red boat sails");
  struct Case {
    std::string in;
    std::vector<std::pair<int, int>> hits;
    std::string out;
  } cases[] = {
      {page, {{13, 8}},
       "<html><head><title>Red boats</title></head>\n<body><p>A <b>[red</b> boat] sails</p></body></html>"},
      {page, {{1, 3}, {13, 3}},
       "<html><head><title>Red boats</title></head>\n<body><p>A <b>[red</b>] boat sails</p></body></html>"},
      {page, {}, page},
      {"<p>Hello world", {{1, 5}}, "<p>[Hello] world"},
      {"<p><b>Hello</b> world", {{1, 5}}, "<p><b>[Hello</b>] world"},
      {"<p>abc", {{2, 2}}, "<p>a[bc]"},
      {"abcdef", {{1, 2}, {3, 2}}, "[abcd]ef"},
      {"abcdef", {{1, 3}, {2, 3}}, "[abcd]ef"},
      {"abcdefgh", {{1, 1}, {3, 1}}, "[a]b[c]defgh"},
      {"a&amp;b c", {{3, 1}}, "a&amp;[b] c"},
      {"a&amp;b c", {{2, 1}}, "a[&amp;]b c"},
      {"a&nbsp;b", {{2, 4}}, "a&[nbsp];b"},
      {"x</td>y", {{3, 1}}, "x</td>[y]"},
      {"ab", {{0, 1}, {-5, 2}, {9, 1}}, "ab"},
  };
  for (const Case &k : cases) {
    htmlfix::Hits h;
    for (auto [o, l] : k.hits) h.add(o, l);
    for (size_t piece : {0, 2}) {
      EXPECT_EQ(mark(k.in, h, &rc, piece), k.out) << k.in << " piece " << piece;
      EXPECT_EQ(rc, 0);
    }
  }
  htmlfix::Hits h;
  h.add(3, 1);
  EXPECT_EQ(htmlfix::convert(st, c, "<p>abc", 1, &h, &rc, nullptr, nullptr),
            "<p>ab<FONT SIZE=+4>c</FONT>");
}

// Large documents stream through the areas: entities, characters and hit
// tags at every edge of a chunk, long tags, deep nesting, long values.
TEST_F(HtmlConv, LargeAndBrokenDocuments) {
  int rc = -1;
  std::string ents, want;
  for (int i = 0; i < 20000; ++i) {
    ents += i % 2 ? "&amp;" : "&lt";
    want += i % 2 ? "&" : "<";
  }
  EXPECT_EQ(text(ents, &rc), want);
  EXPECT_EQ(text(ents, &rc, 1, 7), want);
  EXPECT_EQ(mark(ents, htmlfix::Hits{}, &rc, 7), ents);

  // Every tenth character of a long text is a hit: the marked-up copy must
  // equal the same marking done on the string.
  std::string doc, marked;
  htmlfix::Hits h;
  for (int i = 1; i <= 90000; ++i) {
    char ch = static_cast<char>('a' + i % 26);
    doc += ch;
    if (i % 10 == 0) {
      h.add(i, 1);
      marked += std::string("<em>") + ch + "</em>";
    } else {
      marked += ch;
    }
  }
  EXPECT_EQ(mark(doc, h, &rc, 0, "<em>", "</em>"), marked);
  EXPECT_EQ(rc, 0);

  std::string nested;
  for (int i = 0; i < 10000; ++i) nested += "<b>";
  EXPECT_EQ(text(nested + "x", &rc), "x");
  EXPECT_EQ(mark(nested + "x", htmlfix::Hits{}, &rc), nested + "x");

  std::string longtag = "<a title=\"" + std::string(1 << 20, 'v') + "\">x";
  EXPECT_EQ(text(longtag, &rc), "x");
  EXPECT_EQ(mark(longtag, htmlfix::Hits{}, &rc), longtag);
  htmlfix::baseurl() = "http://h/";
  EXPECT_EQ(mark(longtag, htmlfix::Hits{}, &rc), longtag);
  htmlfix::baseurl().clear();

  std::string open = "a<" + std::string(5 << 20, 'z');
  EXPECT_EQ(text(open, &rc), "a");
  EXPECT_EQ(rc, 0);
}

TEST_F(HtmlConv, RewritesLinks) {
  const std::string v1023(1023, 'x'), v1024(1024, 'x');
  struct Case {
    std::string in, out;
  } cases[] = {
      {"<a href=\"c.html\">", "<a href=\"http://h:8080/a/c.html\">"},
      {"<a href=/x>", "<a href=http://h:8080/x>"},
      {"<a href=\"../y\">", "<a href=\"http://h:8080/y\">"},
      {"<a href='./z'>", "<a href='http://h:8080/a/z'>"},
      {"<a href=\"../../x\">", "<a href=\"http://h:8080/x\">"},
      {"<a href=\"d/./e/../f\">", "<a href=\"http://h:8080/a/d/f\">"},
      {"<a href=\"#sec\">", "<a href=\"http://h:8080/a/b.html#sec\">"},
      {"<form action=\"\">", "<form action=\"http://h:8080/a/b.html\">"},
      {"<a href=\"?q=1\">", "<a href=\"http://h:8080/a/b.html?q=1\">"},
      {"<a href=\"//o.org/p\">", "<a href=\"http://o.org/p\">"},
      {"<a href=\" url:HTTP://x:0080/p#f \">", "<a href=\"HTTP://x:80/p#f\">"},
      {"<a href=\"mailto:me@h\">", "<a href=\"mailto:me@h\">"},
      {"<img src=\"i.png\" alt=\"c.html\">", "<img src=\"http://h:8080/a/i.png\" alt=\"c.html\">"},
      {"<body BACKGROUND=bg.gif>", "<body BACKGROUND=http://h:8080/a/bg.gif>"},
      {"<!-- href=\"c.html\" -->", "<!-- href=\"c.html\" -->"},
      {"<!DOCTYPE html SYSTEM \"c.html\">", "<!DOCTYPE html SYSTEM \"c.html\">"},
      {"</a href=\"c.html\">", "</a href=\"c.html\">"},
      {"<a title=\"x>y\" href=\"c.html\">z", "<a title=\"x>y\" href=\"c.html\">z"},
      {"<a href=\"http://h:1234567890/\">", "<a href=\"http://h:1234567890/\">"},
      {"<a href=\"http://h:100001/\">", "<a href=\"http://h:100001/\">"},
      {"<a href=\"" + v1023 + "\">", "<a href=\"http://h:8080/a/" + v1023 + "\">"},
      {"<a href=\"" + v1024 + "\"><a href=c>", "<a href=\"" + v1024 + "\"><a href=http://h:8080/a/c>"},
  };
  int rc = -1;
  for (const Case &k : cases) {
    htmlfix::baseurl() = "http://h:8080/a/b.html";
    EXPECT_EQ(mark(k.in, htmlfix::Hits{}, &rc), k.out) << k.in;
    EXPECT_EQ(rc, 0);
    htmlfix::baseurl().clear();
    EXPECT_EQ(mark(k.in, htmlfix::Hits{}, &rc), k.in);
  }
  // A base too long to keep turns rewriting off; the run goes on.
  htmlfix::baseurl() = "http://h/" + std::string(1009, 'p');
  EXPECT_EQ(mark("<a href=c>", htmlfix::Hits{}, &rc), "<a href=c>");
  EXPECT_EQ(rc, 0);
  htmlfix::baseurl() = "http://h/" + std::string(1008, 'p');
  EXPECT_EQ(mark("<a href=c>", htmlfix::Hits{}, &rc), "<a href=http://h/c>");
}

TEST_F(HtmlConv, ParsesUrls) {
  struct Case {
    const char *in;
    int rc;
    const char *scheme, *host;
    int port;
    const char *path, *fragment;
  } cases[] = {
      {"http://h:8080/a/b.html#x", 0, "http", "h", 8080, "/a/b.html", "x"},
      {"  url:ftp://h  ", 0, "ftp", "h", -1, "/", ""},
      {"rel/x.html", 0, "", "", -1, "rel/x.html", ""},
      {"//:81/p", 0, "", "", 81, "/p", ""},
      {"http://h:0099/", 0, "http", "h", 99, "/", ""},
      {"http://h:1234567890/", 1, "", "", -1, "", ""},
  };
  for (const Case &k : cases) {
    drghcurl u{};
    ASSERT_EQ(drghclparse(st, k.in, &u), k.rc) << k.in;
    if (k.rc) continue;
    EXPECT_STREQ(u.scheme, k.scheme) << k.in;
    EXPECT_STREQ(u.host, k.host) << k.in;
    EXPECT_EQ(u.port, k.port) << k.in;
    EXPECT_STREQ(u.path, k.path) << k.in;
    EXPECT_STREQ(u.fragment, k.fragment) << k.in;
  }
  drghcurl u{};
  EXPECT_EQ(drghclparse(st, std::string(1024, 'a').c_str(), &u), 1);
  // The absolute form stays below the limit it is given.
  char out[32];
  uint32_t len = 0;
  EXPECT_EQ(drghclabs(st, "http://h/a", "b", &len, out, out + sizeof out), 0);
  EXPECT_STREQ(out, "http://h/b");
  EXPECT_EQ(drghclabs(st, "http://h/a", std::string(40, 'b').c_str(), &len, out, out + sizeof out), 1);
}

}  // namespace
