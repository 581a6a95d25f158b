// Queue calls that can be checked without the database: the
// service-request text.
#include <gtest/gtest.h>

#include <string>

#include "dr/drq/drq.h"

namespace {

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
