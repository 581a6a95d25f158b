// The statements the dictionary cache runs keep the placeholders of the
// texts they are documented by, in the same order, so that every bind the
// cache makes finds its parameter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drd/drdsql.h"
#include "platform/db/db.h"

namespace {

std::vector<std::string> names(const char *sql) {
  std::string text(sql);
  std::vector<char> out(text.size() * 2 + 64), buf(1024);
  int n = kdbplaceholders(text.c_str(), text.size(), out.data(), out.size(), buf.data(), buf.size());
  std::vector<std::string> v;
  const char *p = buf.data();
  for (int i = 0; i < n; ++i) {
    v.emplace_back(p);
    p += v.back().size() + 1;
  }
  return v;
}

TEST(DictionaryStatements, SamePlaceholdersAsDocumented) {
  struct {
    const char *orig, *sql;
    std::vector<std::string> want;
  } const cases[] = {
      {DRD_POL_ORIG, DRD_POL_SQL, {"CID"}},
      {DRD_PRFS_ORIG, DRD_PRFS_SQL, {"CID", "PRIDS"}},
      {DRD_PRFD_ORIG, DRD_PRFD_SQL, {"PRID", "PRNAME", "CLID", "OBID"}},
      {DRD_ATTR_ORIG, DRD_ATTR_SQL, {"PREFERENCE"}},
      {DRD_COL_ORIG, DRD_COL_SQL, {"COLSPEC", "CID"}},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(names(c.orig), c.want) << c.orig;
    EXPECT_EQ(names(c.sql), c.want) << c.sql;
  }
}

}  // namespace
