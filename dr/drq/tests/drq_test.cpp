// Queue calls that can be checked without the database: the names a
// request may give for its procedures, and the service-request text.
#include <gtest/gtest.h>

#include <string>

#include "dr/drq/drq.h"

namespace {

TEST(Drqsidn, AcceptsOnlyPlainNames) {
  struct {
    const char *name;
    bool ok;
  } cases[] = {
      {"done_proc", true},   {"app.done_proc", true}, {"dr$callback", true},
      {"_x1", true},         {"", false},             {"1abc", false},
      {"a.b.c", false},      {"a.", false},           {".a", false},
      {"a b", false},        {"a;drop table t", false}, {"a(1)", false},
      {"\"a\"", false},      {"a--", false},
  };
  for (auto &c : cases) EXPECT_EQ(drqsidn(c.name), c.ok) << c.name;
  EXPECT_FALSE(drqsidn(nullptr));
  EXPECT_TRUE(drqsidn(std::string(63, 'a').c_str()));
  EXPECT_FALSE(drqsidn(std::string(64, 'a').c_str()));
}

TEST(Drqsqtxt, NamesOnlyTheGivenParameters) {
  const char *par[DRQ_NPAR] = {"p1", "p2", nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr};
  char buf[512];
  ASSERT_EQ(drqsqtxt("INDEX_SVC", par, buf, sizeof buf), 0);
  EXPECT_STREQ(buf,
               "CALL svcq.queue(svctype=>'INDEX_SVC',priority=>:priority,svcno=>NULL,"
               "do_commit=>TRUE,par1=>:par1,par2=>:par2,errors=>:errors,status=>:status)");
  const char *last[DRQ_NPAR] = {nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, "x"};
  ASSERT_EQ(drqsqtxt("INDEX_SVC", last, buf, sizeof buf), 0);
  EXPECT_NE(std::string(buf).find(",par10=>:par10,errors"), std::string::npos);
  EXPECT_EQ(drqsqtxt("INDEX_SVC", par, buf, 20), 1);
}

}  // namespace
