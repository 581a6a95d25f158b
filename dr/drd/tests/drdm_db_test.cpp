// The dictionary cache against the private cluster: policies, preferences
// and attributes as users define them by inserting rows; index object
// names; refresh; lookups by column specification.
#include <cstdio>
#include <cstring>
#include <string>

#include "dr/drd/tests/dbfix.h"

using drdtest::sql;

namespace {

class Cache : public ::testing::Test {
 protected:
  drsrvstate *s = nullptr;
  void SetUp() override {
    s = drdtest::logon();
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(drdmini(s), 0) << drdtest::stack(s);
  }
  void TearDown() override { drdtest::logoff(s); }

  // A policy row; its preferences are added with prefer().
  void policy(int id, const std::string &owner, const std::string &name,
              const std::string &table = "DOCS") {
    sql(s, "INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
           " pol_text_type, pol_key_name, pol_key_type) VALUES (" +
               std::to_string(id) + ", '" + name + "', '" + owner + "', '" + table +
               "', 'BODY', 1, 'ID', 2)");
  }
  // A preference of a class and object id, chosen by a policy.
  void prefer(int pol, int pref, int cls, int obj) {
    sql(s, "INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES (" +
               std::to_string(pref) + ", 'PREF" + std::to_string(pref) + "', " +
               std::to_string(cls) + ", " + std::to_string(obj) + ") ON CONFLICT DO NOTHING");
    sql(s, "INSERT INTO dr$policy_preference VALUES (" + std::to_string(pol) + ", " +
               std::to_string(cls) + ", " + std::to_string(pref) + ")");
  }
  // An attribute of an object kind and its value in a preference.
  void attr(int pref, int cls, int obj, const std::string &name, int ord, const char *type,
            const char *value) {
    sql(s, "INSERT INTO dr$object_attribute VALUES (" + std::to_string(cls) + ", " +
               std::to_string(obj) + ", '" + name + "', " + std::to_string(ord) + ", '" + type +
               "', 'Y') ON CONFLICT DO NOTHING");
    sql(s, "INSERT INTO dr$preference_attribute VALUES (" + std::to_string(pref) + ", '" + name +
               "', " + (value ? "'" + std::string(value) + "'" : std::string("NULL")) + ", 1)");
  }
};

TEST_F(Cache, SeededPolicyLoadsWithPreferencesAndAttributes) {
  policy(42, "TEXTUSER", "P42");
  sql(s, "INSERT INTO dr$text_index (txi_pol_id, txi_suffix) VALUES (42, 'I1T')");
  prefer(42, 41010, 1, 41000);
  prefer(42, 41011, 3, 41000);
  attr(41010, 1, 41000, "PATH", 3, "STRING", "/tmp/x");
  attr(41010, 1, 41000, "TIMEOUT", 4, "NUMBER", "60");
  attr(41010, 1, 41000, "EMPTY", 5, "STRING", nullptr);
  attr(41010, 1, 41000, "UNDEF", 7, "STRING", "UNDEFINED");
  attr(41010, 1, 41000, "NULLNUM", 6, "NUMBER", nullptr);

  drdmpol *p = drqpol(s, 42);
  ASSERT_NE(p, nullptr) << drdtest::stack(s);
  EXPECT_EQ(p->id, 42);
  EXPECT_STREQ(p->owner, "TEXTUSER");
  EXPECT_STREQ(p->name, "P42");
  EXPECT_STREQ(p->table, "DOCS");
  EXPECT_STREQ(p->textexpr, "BODY");
  EXPECT_EQ(p->texttype, 1);
  EXPECT_STREQ(p->keycols, "ID");
  EXPECT_EQ(p->keytype, 2);
  EXPECT_STREQ(p->lncol, "UNDEFINED");
  EXPECT_EQ(p->lntype, 0);
  EXPECT_STREQ(p->suffix, "I1T");
  // Classes without a preference of their own take the default of id k.
  const int32_t want[] = {41010, 2, 41011, 4, 5, 6, 7, 8, 9, 10};
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(p->comp[k].prefid, want[k]) << "class " << k + 1;
    EXPECT_EQ(p->comp[k].obj, nullptr);
  }
  int32_t cls = 0, obj = 0;
  ASSERT_EQ(druhprf(s, 41011, &cls, &obj), 0);
  EXPECT_EQ(cls, 3);
  EXPECT_EQ(obj, 41000);
  ASSERT_EQ(druhprf(s, 2, &cls, &obj), 0);
  EXPECT_EQ(cls, 2);
  EXPECT_EQ(druhprf(s, 777777, &cls, &obj), 2);
  // A second lookup is the same record.
  EXPECT_EQ(drqpol(s, 42), p);

  drdplist *l = nullptr;
  ASSERT_EQ(drdpopn(s, 41010, &l), 0);
  // In the attribute statement's order: by name.
  const char *names[] = {"EMPTY", "NULLNUM", "PATH", "TIMEOUT", "UNDEF"};
  drdmattr *a = nullptr;
  for (const char *n : names) {
    ASSERT_EQ(drdpnxt(l, &a), 0);
    EXPECT_STREQ(a->name, n);
  }
  EXPECT_EQ(drdpnxt(l, &a), 2);
  ASSERT_EQ(drdpnxt(l, &a), 0);  // starts again
  EXPECT_STREQ(a->name, "EMPTY");

  struct {
    int32_t ord;
    const char *dflt, *want;
  } const vals[] = {
      {3, "d", "/tmp/x"},  // stored
      {5, "d", nullptr},   // stored null reads as null, not the default
      {7, "d", nullptr},   // 'UNDEFINED' as well
      {99, "d", "d"},      // absent: the default
      {99, "", nullptr},   // an empty default is null
  };
  for (auto v : vals) {
    const char *out = "x";
    EXPECT_EQ(drdpval(l, nullptr, v.ord, v.dflt, &out), 0);
    if (v.want) EXPECT_STREQ(out, v.want) << v.ord;
    else EXPECT_EQ(out, nullptr) << v.ord;
  }
  ASSERT_EQ(drdpfnd(l, 4, &a), 0);
  EXPECT_EQ(a->value.num, 60);
  ASSERT_EQ(drdpfnd(l, 6, &a), 0);
  EXPECT_EQ(a->value.num, 0);
  EXPECT_EQ(drdpfnd(l, 99, &a), 2);
  EXPECT_EQ(drdpcls(l), 0);

  // The attribute list of a preference that is not loaded.
  EXPECT_EQ(drdpopn(s, 777777, &l), 1);
  EXPECT_TRUE(druefind(s, 10514));
  drueclr(s);

  char name[64];
  ASSERT_EQ(drdcnam(s, 42, "I1T", name, sizeof name), 0);
  EXPECT_STREQ(name, "TEXTUSER.DR_00042_I1T");
  char sfx[32];
  ASSERT_EQ(drdcsfx(s, 42, sfx), 0);
  EXPECT_STREQ(sfx, "I1T");

  // The dump, written to a log file.
  std::string path = ::testing::TempDir() + "drdm_dump.log";
  rtstream *log = nullptr;
  ASSERT_EQ(dracnfop(s, nullptr, 0, path.c_str(), 6 | 16, 0, 0, 0, 0, &log), 0)
      << drdtest::stack(s);
  rtstream *old = s->log;
  s->log = log;
  drdmdal(s);
  s->log = old;
  dracnfcl(s, log);
  std::string dump;
  if (FILE *f = std::fopen(path.c_str(), "r")) {
    char b[4096];
    size_t n;
    while ((n = std::fread(b, 1, sizeof b, f)) > 0) dump.append(b, n);
    std::fclose(f);
  }
  std::remove(path.c_str());
  const char *lines[] = {
      "POLICY {\n",
      "             id = 42\n",
      "         polnam = P42\n",
      "        keytype = 2\n",
      "     Data Store {\n                  id = 41010\n                name = PREF41010\n"
      "               objid = 41000\n              }\n",
      "     Compressor {\n                  id = 2\n",
      "             }\n\nNumber of policies loaded: 1\n",
  };
  for (const char *l : lines) EXPECT_NE(dump.find(l), std::string::npos) << l << "\n" << dump;
}

TEST_F(Cache, IndexObjectNameLongerThan32IsRefused) {
  policy(41100, "ABCDEFGHIJKLMNOPQRSTUVWXY", "P41100");
  char name[64];
  EXPECT_EQ(drdcnam(s, 41100, "I1T", name, sizeof name), 1);
  EXPECT_TRUE(druefind(s, 50604));
  drueclr(s);
  // A buffer too small for the name is a formatter failure.
  policy(41101, "TEXTUSER", "P41101");
  EXPECT_EQ(drdcnam(s, 41101, "I1T", name, 10), 1);
  EXPECT_TRUE(druefind(s, 50100));
  drueclr(s);
  // Names go into SQL texts: an owner or suffix that is not a plain name is refused.
  policy(41102, "A B;X", "P41102");
  EXPECT_EQ(drdcnam(s, 41102, "I1T", name, sizeof name), 1);
  EXPECT_EQ(drdcnam(s, 41101, "I1T x", name, sizeof name), 1);
  EXPECT_TRUE(druefind(s, 10518));
}

TEST_F(Cache, UnknownIdGivesTheMessagesAndNoRecord) {
  EXPECT_EQ(drqpol(s, 41299), nullptr);
  EXPECT_TRUE(druefind(s, 50850));
  EXPECT_TRUE(druefind(s, 50804));
  void *e = nullptr;
  int32_t id = 41299;
  druhget(s->dmcache->pols, &id, &e);
  EXPECT_EQ(e, nullptr);
  drueclr(s);
  char name[64];
  EXPECT_EQ(drdcnam(s, 41299, "I1T", name, sizeof name), 1);
  EXPECT_TRUE(druefind(s, 50200));
  // An id that names both a policy and a text-loading source is refused.
  policy(41297, "TEXTUSER", "P41297");
  sql(s, "INSERT INTO dr$source (src_id, src_name, src_owner) VALUES (41297, 'S41297', 'TEXTUSER')");
  EXPECT_EQ(drqpol(s, 41297), nullptr);
  EXPECT_TRUE(druefind(s, 10519));
  drueclr(s);
  // The cache still works afterwards.
  policy(41298, "TEXTUSER", "P41298");
  EXPECT_NE(drqpol(s, 41298), nullptr) << drdtest::stack(s);
}

TEST_F(Cache, SharedPreferenceIsReadOnceAndRefreshReloadsThePolicy) {
  policy(41200, "TEXTUSER", "P41200");
  policy(41201, "TEXTUSER", "P41201");
  prefer(41200, 41210, 4, 41200);
  sql(s, "INSERT INTO dr$policy_preference VALUES (41201, 4, 41210)");
  attr(41210, 4, 41200, "MODE", 1, "STRING", "first");
  ASSERT_NE(drqpol(s, 41200), nullptr) << drdtest::stack(s);
  uint32_t loaded = s->dmcache->prefcnt;

  // A change in the dictionary is not read again for a cached preference.
  sql(s, "UPDATE dr$preference_attribute SET pat_value = 'second' WHERE pat_pre_id = 41210");
  sql(s, "UPDATE dr$policy SET pol_tablename = 'OTHER' WHERE pol_id = 41200");
  drdmpol *q = drqpol(s, 41201);
  ASSERT_NE(q, nullptr) << drdtest::stack(s);
  EXPECT_EQ(s->dmcache->prefcnt, loaded);
  drdplist *l = nullptr;
  const char *v = nullptr;
  ASSERT_EQ(drdpopn(s, 41210, &l), 0);
  drdpval(l, nullptr, 1, "", &v);
  EXPECT_STREQ(v, "first");
  drdpcls(l);

  // Refresh: the policy is read again, its preferences are not.
  EXPECT_STREQ(drqpol(s, 41200)->table, "DOCS");
  EXPECT_EQ(drdmref(s, 41200), 0);
  EXPECT_EQ(drdmref(s, 41200), 0);  // not cached: still 0
  drdmpol *p = drqpol(s, 41200);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p->table, "OTHER");
  EXPECT_EQ(s->dmcache->prefcnt, loaded);
  ASSERT_EQ(drdpopn(s, 41210, &l), 0);
  drdpval(l, nullptr, 1, "", &v);
  EXPECT_STREQ(v, "first");
  drdpcls(l);
}

// A stand-in data store that counts its frees.
int freed = 0;
struct dsstub {
  drobjhd<drdsops> hd;
};
int dsfree(drobj *o) {
  ++freed;
  delete reinterpret_cast<dsstub *>(o);
  return 0;
}
drobj *dsnew(drsrvstate *, drheap, int32_t, int32_t) {
  auto *d = new dsstub{};
  d->hd.obj.clsid = DRCLS_DATASTORE;
  d->hd.ops.free = dsfree;
  return &d->hd.obj;
}

TEST_F(Cache, RefreshAndFreeReleaseBuiltComponents) {
  drasmreg saved = drasmtab;
  drasmtab.ds[1].fn = dsnew;
  policy(41250, "TEXTUSER", "P41250");
  policy(41251, "TEXTUSER", "P41251");
  drdmpol *p = drqpol(s, 41250);
  ASSERT_NE(p, nullptr) << drdtest::stack(s);
  ASSERT_EQ(drasmobj(s, s->seshp, p, 1), 0) << drdtest::stack(s);
  ASSERT_EQ(drasmobj(s, s->seshp, drqpol(s, 41251), 1), 0) << drdtest::stack(s);
  freed = 0;
  EXPECT_EQ(drdmref(s, 41250), 0);
  EXPECT_EQ(freed, 1);
  p = drqpol(s, 41250);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->comp[0].obj, nullptr);
  // Freeing the cache releases what is still built.
  EXPECT_EQ(drdmfre(s), 0);
  EXPECT_EQ(freed, 2);
  EXPECT_EQ(s->dmcache, nullptr);
  drasmtab = saved;
}

TEST_F(Cache, FiveThousandAttributesKeepTheFirst4096) {
  policy(41300, "TEXTUSER", "P41300");
  prefer(41300, 41310, 3, 41300);
  sql(s, "INSERT INTO dr$object_attribute SELECT 3, 41300, 'A' || lpad(i::text, 4, '0'), i,"
         " 'NUMBER', 'N' FROM generate_series(1, 5000) i ON CONFLICT DO NOTHING");
  // Inserted in reverse so that the order comes from the statement.
  sql(s, "INSERT INTO dr$preference_attribute SELECT 41310, 'A' || lpad(i::text, 4, '0'),"
         " i::text, 1 FROM generate_series(5000, 1, -1) i");
  ASSERT_NE(drqpol(s, 41300), nullptr) << drdtest::stack(s);
  drdmpref *pr = druhitm(s, 41310);
  ASSERT_NE(pr, nullptr);
  ASSERT_EQ(pr->attrcnt, 4096);
  EXPECT_STREQ(pr->attrs[0].name, "A0001");
  EXPECT_EQ(pr->attrs[0].value.num, 1);
  EXPECT_STREQ(pr->attrs[4095].name, "A4096");
  EXPECT_EQ(pr->attrs[4095].ordinal, 4096);
}

// A cached preference takes room for the attributes it holds, not for as
// many as a preference may have.
TEST_F(Cache, PreferencesTakeRoomForWhatTheyHold) {
  policy(41370, "TEXTUSER", "P41370");
  prefer(41370, 41380, 3, 41370);
  attr(41380, 3, 41370, "A1", 1, "STRING", "v");
  attr(41380, 3, 41370, "A2", 2, "NUMBER", "7");
  size_t before = rthpbytes(s->dmcache->heap);
  ASSERT_NE(drqpol(s, 41370), nullptr) << drdtest::stack(s);
  drdmpref *pr = druhitm(s, 41380);
  ASSERT_NE(pr, nullptr);
  ASSERT_EQ(pr->attrcnt, 2);
  EXPECT_EQ(pr->attrs[1].value.num, 7);
  EXPECT_LT(rthpbytes(s->dmcache->heap) - before, 16384u);
}

TEST_F(Cache, LongAttributeNamesAreCut) {
  policy(41350, "TEXTUSER", "P41350");
  prefer(41350, 41360, 3, 41350);
  std::string longname(60, 'N');
  attr(41360, 3, 41350, longname, 1, "STRING", "v");
  ASSERT_NE(drqpol(s, 41350), nullptr) << drdtest::stack(s);
  drdmpref *pr = druhitm(s, 41360);
  ASSERT_NE(pr, nullptr);
  ASSERT_EQ(pr->attrcnt, 1);
  EXPECT_EQ(std::string(pr->attrs[0].name), std::string(31, 'N'));
}

TEST_F(Cache, PolicyByColumnSpecification) {
  policy(41400, "TEXTUSER", "P41400", "T41400");
  drdmpol *p = drqpnm(s, "TEXTUSER.P41400");
  ASSERT_NE(p, nullptr) << drdtest::stack(s);
  EXPECT_EQ(p->id, 41400);
  EXPECT_EQ(drqpnm(s, "TEXTUSER.NO_SUCH_POLICY_41400"), nullptr);
  EXPECT_TRUE(druefind(s, 50853));
  drueclr(s);
  // A specification longer than its bind buffer is refused, not cut.
  std::string spec(120, 'X');
  EXPECT_EQ(drqpnm(s, spec.c_str()), nullptr);
  EXPECT_TRUE(druefind(s, 10517));
}

}  // namespace
