// Names taken from a statement: counted names with their positions, dotted
// column names, table references with links and aliases, and their frees.
#include <gtest/gtest.h>

#include <string>

#include "dr/drz/tests/drzfix.h"

namespace {

using drzfix::dberr;
using drzfix::Raised;

std::string str(const drzgtstr *s) {
  return s ? std::string(s->text, static_cast<size_t>(s->len)) : "<null>";
}

struct Names : drzfix::Fixture {
  drzgtstate *gt = nullptr;
  size_t heapblocks = 0;

  void SetUp() override {
    Fixture::SetUp();
    heapblocks = rthpblocks(st->cmdhp);
  }

  // A scanner over text, on its first token.
  Raised open(const std::string &text) {
    const char *t = exact(text);
    drzgtstate **gtp = &gt;
    drzgtfree(st, &gt);
    return drzfix::guarded(st, [&] {
      *gtp = drzgtnew(st, nullptr, 0, t, static_cast<int32_t>(text.size()));
      drzgtnext(st, *gtp);
    });
  }

  Raised tabref(const std::string &text, drzgtref **ref, int32_t err = DRZ_DB | 903) {
    Raised r = open(text);
    if (r.num) return r;
    drzgtstate *g = gt;
    return drzfix::guarded(st, [&] { drzgttabref(st, g, ref, err); });
  }

  Raised names(const std::string &text, drzgtnm **nm, int mode) {
    Raised r = open(text);
    if (r.num) return r;
    drzgtstate *g = gt;
    return drzfix::guarded(st, [&] { drzgtnames(st, g, nm, mode); });
  }
};

TEST_F(Names, SchemaTableLinkAndAlias) {
  drzgtref *ref = nullptr;
  ASSERT_EQ(tabref("scott.emp@far.away e where", &ref), Raised{});
  EXPECT_EQ(ref->kind, DRZGT_SCHEMA);
  EXPECT_EQ(str(ref->schema), "SCOTT");
  EXPECT_EQ(str(ref->table), "EMP");
  EXPECT_EQ(str(ref->alias), "E");
  EXPECT_EQ(ref->marks, 0);
  EXPECT_EQ(str(ref->link), "FAR.AWAY");
  EXPECT_EQ(ref->linkschema, ref->schema);
  EXPECT_EQ(ref->linktable, ref->table);
  EXPECT_EQ(ref->table->pos, 6);
  EXPECT_EQ(ref->link->pos, 19);  // the token after the link: the alias
  EXPECT_EQ(gt->token, 213);      // WHERE is left current
  drzgtfreeref(st, &ref);
  EXPECT_EQ(ref, nullptr);
  drzgtfree(st, &gt);
  EXPECT_EQ(rthpblocks(st->cmdhp), heapblocks);
}

TEST_F(Names, LinkMarks) {
  struct Case {
    const char *text;
    int marks;
    const char *link;
    int linkpos;
  } cases[] = {
      {"t@! x", 1, "!", 4}, {"t@!!", 2, "!", 4}, {"t@l!", 1, "L", 3}, {"t", 0, "<null>", 0}};
  for (const Case &c : cases) {
    drzgtref *ref = nullptr;
    ASSERT_EQ(tabref(c.text, &ref), Raised{}) << c.text;
    EXPECT_EQ(ref->marks, c.marks) << c.text;
    EXPECT_EQ(str(ref->link), c.link) << c.text;
    if (ref->link) {
      EXPECT_EQ(ref->link->pos, c.linkpos) << c.text;
    }
    drzgtfreeref(st, &ref);
  }
  drzgtfree(st, &gt);
  EXPECT_EQ(rthpblocks(st->cmdhp), heapblocks);
}

TEST_F(Names, NoAliasBeforeAKeywordIsFreedOnce) {
  drzgtref *ref = nullptr;
  ASSERT_EQ(tabref("emp where x", &ref), Raised{});
  EXPECT_EQ(ref->kind, DRZGT_TABLE);
  EXPECT_EQ(ref->alias, ref->table);
  drzgtfreeref(st, &ref);  // the address checker catches a second free
  drzgtfree(st, &gt);
  EXPECT_EQ(rthpblocks(st->cmdhp), heapblocks);
}

TEST_F(Names, BindAndSubquery) {
  drzgtref *ref = nullptr;
  ASSERT_EQ(tabref(":b x", &ref), Raised{});
  EXPECT_EQ(ref->kind, DRZGT_BIND);
  EXPECT_EQ(str(ref->table), "B");
  EXPECT_EQ(ref->alias, nullptr);
  EXPECT_EQ(gt->token, 1);  // no alias is read
  drzgtfreeref(st, &ref);
  ASSERT_EQ(tabref("(select", &ref), Raised{});
  EXPECT_EQ(ref->kind, DRZGT_SUBQ);
  EXPECT_EQ(gt->token, DRZGT_LPAREN);
  drzgtfreeref(st, &ref);
  // A missing name raises the caller's code.
  EXPECT_EQ(tabref(", x", &ref, DRZ_DB | 903), dberr(903));
  EXPECT_EQ(tabref("s.where", &ref, DRZ_DB | 903), dberr(903));
  EXPECT_EQ(tabref(":", &ref, 11302), Raised{11302});
}

TEST_F(Names, DottedNames) {
  struct Case {
    const char *text;
    int mode;
    Raised raised;
    const char *schema, *table, *column;
  } cases[] = {
      {"a.b.c x", DRZGT_DOTTED, {}, "A", "B", "C"},
      {"b.c", DRZGT_DOTTED, {}, "<null>", "B", "C"},
      {"c", DRZGT_DOTTED, {}, "<null>", "<null>", "C"},
      {"c", DRZGT_SIMPLE, {}, "<null>", "<null>", "C"},
      {"a.b.c.d", DRZGT_DOTTED, dberr(1747), "", "", ""},
      {"a.b", DRZGT_SIMPLE, dberr(1748), "", "", ""},
      {"a.from", DRZGT_DOTTED, dberr(1747), "", "", ""},
      {"from", DRZGT_DOTTED, dberr(1747), "", "", ""},
      {"from", DRZGT_SIMPLE, dberr(904), "", "", ""},
  };
  for (const Case &c : cases) {
    drzgtnm *nm = nullptr;
    EXPECT_EQ(names(c.text, &nm, c.mode), c.raised) << c.text;
    if (c.raised.num) continue;
    EXPECT_EQ(str(nm->schema), c.schema) << c.text;
    EXPECT_EQ(str(nm->table), c.table) << c.text;
    EXPECT_EQ(str(nm->column), c.column) << c.text;
    drzgtfreenm(st, &nm);
    EXPECT_EQ(nm, nullptr);
  }
}

TEST_F(Names, LinkLengths) {
  std::string q128 = "\"" + std::string(128, 'q') + "\"";
  std::string four = "." + std::string(30, 'a') + "." + std::string(30, 'b') + "." +
                     std::string(30, 'c') + "." + std::string(30, 'd');  // 124 bytes
  struct Case {
    std::string text;
    Raised raised;
    size_t linklen;
  } cases[] = {
      {"t@" + q128, {}, 128},
      {"t@\"" + std::string(129, 'q') + "\"", dberr(2086), 0},
      {"t@" + std::string(31, 'u'), dberr(972), 0},
      // the long quoted name is allowed for the token right after "@" only
      {"t@a.\"" + std::string(31, 'q') + "\"", dberr(972), 0},
      {"t@" + q128 + four + ".xy", {}, 255},
      {"t@" + q128 + four + ".xyz", dberr(903), 0},
      {"t@a.", dberr(903), 0},
      {"t@", dberr(903), 0},
  };
  for (const Case &c : cases) {
    drzgtref *ref = nullptr;
    EXPECT_EQ(tabref(c.text, &ref), c.raised) << c.text.size();
    if (c.raised.num) continue;
    ASSERT_NE(ref->link, nullptr);
    EXPECT_EQ(static_cast<size_t>(ref->link->len), c.linklen);
    drzgtfreeref(st, &ref);
  }
}

TEST_F(Names, CountedNamesAndCopies) {
  ASSERT_EQ(open("  abc \"Mixed Case\" 7"), Raised{});
  drzgtstate *g = gt;
  drzgtstr *a = nullptr;
  drzgtstr **ap = &a;
  char *buf = nullptr;
  char **bufp = &buf;
  int32_t len = 0, pos = 0;
  int32_t *lenp = &len, *posp = &pos;
  EXPECT_EQ(drzfix::guarded(st,
                            [&] {
                              *ap = drzgtname(st, g, 11302);
                              drzgtdup(st, g, bufp, lenp, posp, 11302);
                            }),
            Raised{});
  EXPECT_EQ(str(a), "ABC");
  EXPECT_EQ(a->pos, 2);
  EXPECT_EQ(a->text[3], 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), "Mixed Case");
  EXPECT_EQ(pos, 6);
  EXPECT_EQ(gt->token, DRZGT_NUMBER);
  EXPECT_EQ(drzfix::guarded(st, [&] { drzgtname(st, g, 11302); }), Raised{11302});
  EXPECT_EQ(drzgtnewstr(st, "x", 0, 0), nullptr);
  drzrfreestr(st, &a);
  EXPECT_EQ(a, nullptr);
  drzrfreestr(st, &a);
  rthpfree(st->hpmgr, st->cmdhp, buf, 0);
  char m[] = "abcdef";
  drzrmove(st, m + 1, m, 4);
  EXPECT_STREQ(m, "aabcdf");
  drzgtfree(st, &gt);
  EXPECT_EQ(rthpblocks(st->cmdhp), heapblocks);
}

}  // namespace
