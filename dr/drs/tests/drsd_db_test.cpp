// The data-store kinds against the private cluster: detail rows gathered in
// line order, files copied whole, and each kind built by the registry for a
// policy that exists only as dictionary rows.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "dr/drs/tests/dsfix.h"

namespace {

using dsfix::Attrs;
using dsfix::Doc;

class Kinds : public dsfix::Store {
 protected:
  std::string dir;
  void SetUp() override {
    dsfix::Store::SetUp();
    char tmpl[] = "/tmp/kes-drs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    dsfix::Store::TearDown();
  }
  // A file of n bytes whose byte i is i % 251.
  std::string file(const std::string &name, int n) {
    std::string bytes;
    for (int i = 0; i < n; ++i) bytes += static_cast<char>(i % 251);
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    return bytes;
  }
};

TEST_F(Kinds, DetailLinesJoinInLineOrder) {
  pq->one("CREATE TABLE t.det (k integer, ln integer, body text)");
  // Inserted out of order: the document follows the line numbers.
  pq->one("INSERT INTO t.det VALUES (1, 3, 'c'), (2, 1, 'z'), (1, 1, 'a'), (1, 2, 'b')");
  struct {
    const char *name;
    Attrs attrs;
    std::vector<Doc> want;
  } const cases[] = {
      {"line breaks", {}, {{1, "1", "a\nb\nc\n"}, {1, "2", "z\n"}}},
      {"joined", {{"NO_LINE_BREAK", "1"}}, {{1, "1", "abc"}, {1, "2", "z"}}},
  };
  int pol = 900;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    policy(++pol, "DET", "BODY", 8, "K", 2, "LN");
    prefer(pol, 2, c.attrs);
    drobj *ds = build(pol, drsdetnew);
    ASSERT_NE(ds, nullptr) << stack();
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    int32_t count = 0;
    ops(ds)->count(ds, &count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(drain(ds), c.want);  // drain also sees 2 with operation 4 after the last
    ops(ds)->free(ds);
  }
}

// Lines whose length falls on the row size or on a piece boundary keep their
// line break like any other.
TEST_F(Kinds, DetailLinesKeepTheirBreakAtEveryLength) {
  pq->one("CREATE TABLE t.lng (k integer, ln integer, body text)");
  const int lengths[] = {2047, 2048, 2049, 4048, 4049, 1};
  std::string want;
  int ln = 0;
  for (int n : lengths) {
    std::string line(static_cast<size_t>(n), static_cast<char>('a' + ln));
    pq->one("INSERT INTO t.lng VALUES (1, $1::integer, $2)", {std::to_string(++ln), line});
    want += line + "\n";
  }
  policy(950, "LNG", "BODY", 8, "K", 2, "LN");
  prefer(950, 2, {{"BUFSIZE", "2048"}});
  drobj *ds = build(950, drsdetnew);
  ASSERT_NE(ds, nullptr) << stack();
  ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
  std::vector<Doc> docs = drain(ds);
  ASSERT_EQ(docs.size(), 1u);
  EXPECT_EQ(docs[0].text.size(), want.size());
  EXPECT_TRUE(docs[0].text == want);
  ops(ds)->free(ds);
}

TEST_F(Kinds, FilesAreCopiedWhole) {
  std::string zero = file("zero", 0), block = file("block", 2048), big = file("big", 5000);
  file("inner", 10);
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
  std::string inner = file("sub/inner", 7);
  // What a name may reach besides a file inside PATH: a link out of it, a
  // FIFO that nobody writes (opened blocking it would wait for ever), a
  // folder.
  ASSERT_EQ(symlink((dir + "/big").c_str(), (dir + "/sub/link").c_str()), 0);
  ASSERT_EQ(mkfifo((dir + "/sub/fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((dir + "/sub/deeper").c_str(), 0755), 0);
  struct {
    const char *name;
    std::optional<std::string> row;  // the file name in the row
    const char *path;                // the PATH attribute
    std::string want;
    int msg;  // a refused document: the message it gives
  } const cases[] = {
      {"empty file", "zero", "", zero, 0},
      {"one block", "block", "", block, 0},
      {"several blocks", "big", "", big, 0},
      {"absolute name", dir + "/big", nullptr, big, 0},
      {"below the path", "inner", "sub", inner, 0},
      {"null name", std::nullopt, "", "", 0},
      {"empty name", "", "", "", 0},
      {"missing file", "none", "", "", 11101},
      {"name too long", std::string(600, 'n'), "", "", 10724},
      {"up out of the path", "../big", "sub", "", 10725},
      {"absolute name out of the path", dir + "/big", "sub", "", 10725},
      {"link out of the path", "link", "sub", "", 10725},
      {"the path itself", ".", "sub", "", 10725},
      {"missing inside the path", "none", "sub", "", 11101},
      {"FIFO", "fifo", "sub", "", 10726},
      {"folder", "deeper", "sub", "", 10726},
      {"device", "/dev/zero", nullptr, "", 10726},
  };
  int pol = 960;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    std::string tab = "F" + std::to_string(pol);
    pq->one("CREATE TABLE t." + tab + " (k integer, fname varchar(1000))");
    pq->one("INSERT INTO t." + tab + " VALUES (1, $1)", {c.row});
    policy(pol, tab, "FNAME", 1, "K", 2);
    Attrs attrs;
    if (c.path) attrs.push_back({"PATH", *c.path ? dir + "/" + c.path : dir});
    prefer(pol, 3, attrs);
    drobj *ds = build(pol, drsfilnew);
    ASSERT_NE(ds, nullptr) << stack();
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    if (c.msg) {
      int32_t op = 0;
      char key[DRDS_KEYSIZE];
      EXPECT_EQ(ops(ds)->next(ds, &op, key), 1);
      EXPECT_TRUE(druefind(st, c.msg)) << stack();
      // A file that cannot be opened says so itself; a refused name is the
      // data store's failure.
      EXPECT_EQ(druefind(st, 10000) != 0, c.msg == 10724) << stack();
      drueclr(st);
    } else {
      std::vector<Doc> docs = drain(ds);
      ASSERT_EQ(docs.size(), 1u);
      EXPECT_EQ(docs[0].op, DRSX_OPINDEX);
      EXPECT_EQ(docs[0].text.size(), c.want.size());
      EXPECT_TRUE(docs[0].text == c.want);
    }
    ops(ds)->free(ds);
  }
}

TEST_F(Kinds, RegistryBuildsEachKindFromDictionaryRows) {
  pq->one("CREATE TABLE t.reg (k integer, ln integer, body text, fname text)");
  pq->one("INSERT INTO t.reg VALUES (1, 1, 'one', NULL), (1, 2, 'two', NULL), (2, 1, 'three', $1)",
          {dir + "/named"});
  std::ofstream(dir + "/named") << "file text";
  const drasmreg saved = drasmtab;
  drasmtab.ds[1].fn = drsdirnew;
  drasmtab.ds[2].fn = drsdetnew;
  drasmtab.ds[3].fn = drsfilnew;
  struct {
    int obj;
    const char *text;
    std::vector<Doc> want;
  } const cases[] = {
      {1, "BODY", {{1, "1", "one"}, {1, "1", "two"}, {1, "2", "three"}}},
      {2, "BODY", {{1, "1", "one\ntwo\n"}, {1, "2", "three\n"}}},
      {3, "FNAME", {{1, "1", ""}, {1, "1", ""}, {1, "2", "file text"}}},
  };
  int pol = 980;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.obj);
    ++pol;
    policy(pol, "REG", c.text, 8, "K", 2, "LN");
    prefer(pol, c.obj);
    drdmpol *p = drqpol(st, pol);
    ASSERT_NE(p, nullptr) << stack();
    ASSERT_EQ(drasmobj(st, st->seshp, p, DRCLS_DATASTORE), 0) << stack();
    drobj *ds = p->comp[DRCLS_DATASTORE - 1].obj;
    ASSERT_NE(ds, nullptr);
    EXPECT_EQ(ds->objid, c.obj);
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    EXPECT_EQ(drain(ds), c.want);
    ASSERT_EQ(drasmrel(st, p), 0);
    EXPECT_EQ(p->comp[DRCLS_DATASTORE - 1].obj, nullptr);
  }
  // The URL kind is built from its row as well.
  drasmtab.ds[4].fn = drsurlnew;
  policy(++pol, "REG", "BODY", 8, "K", 2, "LN");
  prefer(pol, 4);
  drdmpol *p = drqpol(st, pol);
  ASSERT_NE(p, nullptr) << stack();
  ASSERT_EQ(drasmobj(st, st->seshp, p, DRCLS_DATASTORE), 0) << stack();
  EXPECT_EQ(p->comp[DRCLS_DATASTORE - 1].obj->objid, 4);
  ASSERT_EQ(drasmrel(st, p), 0);
  drasmtab = saved;
}

}  // namespace
