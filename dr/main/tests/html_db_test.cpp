// HTML documents indexed and highlighted by a veksrv process: a policy whose
// filter is the HTML filter over rows of HTML. The words of the text are
// found, the tag names are not, and the marked-up copy of a page is its HTML
// with the hit tags inside.
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/fixtures/query/boats.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

const char kPage[] =
    "<html><head><title>Red boats</title></head>\n<body><p>A <b>red</b> boat sails</p></body></html>";

struct HtmlServer : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  const std::string pol = "1950";

  void SetUp() override {
    PGTEST_NEED_DB(db);
    boats::start(srv, db);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    c->one("CREATE SCHEMA qhtml");
    c->one("CREATE TABLE qhtml.pages (id integer PRIMARY KEY, body text)");
    c->one(std::string("INSERT INTO qhtml.pages VALUES (1, '") + kPage + "'), "
           "(2, '<html><body><table><tr><td>green</td><td>harbour</td></tr></table>"
           " fish &amp; chips &lt;here&gt;</body></html>')");
    c->one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
           " pol_text_type, pol_key_name, pol_key_type)"
           " VALUES (1950, 'PAGES', 'QHTML', 'PAGES', 'BODY', 8, 'ID', 2)");
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id)"
           " VALUES (19503, 'PAGES_HTML', 3, 3), (19507, 'PAGES_ENGINE', 7, 1)");
    c->one("INSERT INTO dr$preference_attribute VALUES (19503, 'DETECT_JAPANESE', '0', 1)");
    c->one("INSERT INTO dr$policy_preference VALUES (1950, 3, 19503), (1950, 7, 19507)");
    ASSERT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 101) << srv.log();
    ASSERT_EQ(cmd(11, {pol, "1", "1", "1", "C"}).code, 101) << srv.log();
    ASSERT_EQ(cmd(29, {pol, "1", "C"}).code, 101) << srv.log();
  }
  Reply cmd(int code, const std::vector<std::optional<std::string>> &args) {
    return pgtest::submit(*c, code, args, 60);
  }
};

TEST_F(HtmlServer, FindsTheTextAndMarksUpTheHtml) {
  Reply t = cmd(46, {"0", "RESULT", "1"});
  ASSERT_EQ(t.code, 101) << t.arg(1);
  std::string res = t.arg(4);
  struct Case {
    const char *query, *keys;
  } cases[] = {
      {"boat", "1"}, {"red", "1"},       {"title", ""},  {"body", ""}, {"html", ""},
      {"td", ""},    {"harbour", "2"},   {"greenharbour", ""},          {"chips", "2"},
      {"here", "2"}, {"amp", ""},
  };
  for (const Case &k : cases) {
    Reply r = cmd(15, {pol, k.query, res, "0", "0", "0", "0", "0", std::nullopt, "NULL"});
    EXPECT_EQ(r.code, 101) << k.query << ": " << r.arg(1);
    std::string keys;
    for (const std::string &key : c->col("SELECT textkey FROM " + res + " ORDER BY 1"))
      keys += (keys.empty() ? "" : " ") + key;
    EXPECT_EQ(keys, k.keys) << k.query;
  }
  c->one("CREATE TABLE hl (id integer, \"offset\" integer, length integer, strength integer)");
  c->one("CREATE TABLE mu (id integer, document text)");
  Reply r = cmd(16, {pol, "red boat", "1", "1", "NULL", "NULL", "hl", "NULL", "mu", ",[,]"});
  ASSERT_EQ(r.code, 101) << r.arg(1);
  EXPECT_EQ(c->one("SELECT \"offset\" || ',' || length || ',' || strength FROM hl WHERE id = 1"),
            "13,8,100");
  EXPECT_EQ(c->one("SELECT document FROM mu WHERE id = 1"),
            "<html><head><title>Red boats</title></head>\n"
            "<body><p>A <b>[red</b> boat] sails</p></body></html>");
}

}  // namespace
