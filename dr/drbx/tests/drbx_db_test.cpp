// The directory reader and the translators built through the registry for
// a source of the dictionary: binding once, the scan of a folder, done and
// fail, and the translator programs that cannot be run.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "dr/drbg/drbg.h"
#include "dr/drbx/drbx.h"
#include "dr/drd/tests/dbfix.h"

using drdtest::sql;

namespace {

struct Kinds : ::testing::Test {
  drsrvstate *s = nullptr;
  drasmreg saved{};
  std::string dir;
  int nextid = 42000;
  void SetUp() override {
    saved = drasmtab;
    drasmtab.rdr[1].fn = drbgdnew;
    drasmtab.trn[1].fn = drbxnnew;
    drasmtab.trn[2].fn = drbxunew;
    s = drdtest::logon();
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(drdmini(s), 0) << drdtest::stack(s);
    char tmpl[] = "/tmp/drbx-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    drasmtab = saved;
    drdtest::logoff(s);
    std::string cmd = "rm -rf " + dir;
    if (system(cmd.c_str()) != 0) {
    }
  }
  // A source (uncommitted) with a preference of the class and kind, and an
  // attribute when given; the source's record.
  drdmpol *source(int cls, int obj, const char *attr = nullptr, const std::string &value = "") {
    int id = nextid++;
    std::string sid = std::to_string(id), pid = std::to_string(id * 10);
    sql(s, "INSERT INTO dr$source (src_id, src_name, src_table_name, src_column_name) VALUES (" +
               sid + ", 'S" + sid + "', 'T', 'BODY')");
    sql(s, "INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES (" + pid +
               ", 'P" + pid + "', " + std::to_string(cls) + ", " + std::to_string(obj) + ")");
    if (attr)
      sql(s, "INSERT INTO dr$preference_attribute VALUES (" + pid + ", '" + attr + "', '" + value +
                 "', 1)");
    sql(s, "INSERT INTO dr$policy_preference VALUES (" + sid + ", " + std::to_string(cls) + ", " +
               pid + ")");
    return drqpol(s, id);
  }
};

TEST_F(Kinds, TheReaderListsBindsOnceAndKeepsFailedFiles) {
  std::ofstream(dir + "/a") << "x";
  std::ofstream(dir + "/b") << "y";
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
  drdmpol *src = source(10, 1, "DIRECTORY", dir + "/");
  ASSERT_NE(src, nullptr) << drdtest::stack(s);
  ASSERT_EQ(drasmobj(s, s->seshp, src, DRCLS_READER), 0) << drdtest::stack(s);
  drobj *r = src->comp[DRCLS_READER - 1].obj;
  const drrdrops *ops = drops<drrdrops>(r);
  EXPECT_EQ(ops->bnd(r, src->id, src->comp[DRCLS_READER - 1].prefid), 0);
  EXPECT_EQ(ops->bnd(r, src->id + 1, 0), 1);
  EXPECT_STREQ(drbgddir(r), (dir + "/").c_str());

  ASSERT_EQ(ops->scan(r), 0) << drdtest::stack(s);
  char first[DRRDR_NAMESIZE], second[DRRDR_NAMESIZE];
  ASSERT_EQ(ops->next(r, first), 0);
  ASSERT_EQ(ops->next(r, first), 0);  // next does not advance
  // Joined with one "/" even after a folder that ends with one.
  EXPECT_EQ(std::string(first).rfind(dir + "/", 0), 0u) << first;
  EXPECT_EQ(std::string(first).find("//"), std::string::npos) << first;
  EXPECT_EQ(ops->done(r), 0);
  EXPECT_NE(access(first, F_OK), 0);
  ASSERT_EQ(ops->next(r, second), 0);
  EXPECT_EQ(ops->fail(r), 2);
  EXPECT_EQ(access(second, F_OK), 0);
  EXPECT_TRUE(druefind(s, 12100));
  EXPECT_EQ(ops->next(r, second), 2);
  EXPECT_EQ(ops->done(r), 2);
  drueclr(s);

  // The folder now holds one file and a folder; a folder of folders only
  // has nothing to load.
  unlink(second);
  EXPECT_EQ(ops->scan(r), 2);
  drasmtlfre(s, src);
}

TEST_F(Kinds, TranslatorsReadTheirAttribute) {
  struct {
    const char *value;  // of FILE_NAMES, null for none
    uint8_t flag;
  } const cases[] = {{"1", 1}, {"0", 0}, {nullptr, 0}};
  for (auto &k : cases) {
    drdmpol *src = k.value ? source(9, 1, "FILE_NAMES", k.value) : source(9, 1);
    ASSERT_NE(src, nullptr);
    ASSERT_EQ(drasmobj(s, s->seshp, src, DRCLS_TRANSLATOR), 0) << drdtest::stack(s);
    auto *t = reinterpret_cast<drbxnstate *>(src->comp[DRCLS_TRANSLATOR - 1].obj);
    EXPECT_EQ(t->withname, k.flag) << (k.value ? k.value : "none");
    drasmtlfre(s, src);
  }
}

TEST_F(Kinds, ProgramsThatCannotBeRun) {
  std::string home = getenv("KESTRIN_HOME") ? getenv("KESTRIN_HOME") : "";
  struct {
    const char *program;  // null: no attribute
    bool sethome;
    int first;
  } const cases[] = {
      {"toload", false, 12004}, {nullptr, true, 12002}, {"missing", true, 12002},
      {"../x", true, 11205},    {"a b", true, 11205},
  };
  for (auto &k : cases) {
    SCOPED_TRACE(k.program ? k.program : "none");
    if (k.sethome) setenv("KESTRIN_HOME", home.c_str(), 1);
    else unsetenv("KESTRIN_HOME");
    drdmpol *src = k.program ? source(9, 2, "PROGRAM", k.program) : source(9, 2);
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(drasmobj(s, s->seshp, src, DRCLS_TRANSLATOR), 1);
    int num = 0, sev = 0;
    drueget(s, 1, &num, &sev);
    EXPECT_EQ(num, k.first) << drdtest::stack(s);
    EXPECT_TRUE(druefind(s, 51501)) << drdtest::stack(s);
    drueclr(s);
    drasmtlfre(s, src);
  }
  setenv("KESTRIN_HOME", home.c_str(), 1);
}

}  // namespace
