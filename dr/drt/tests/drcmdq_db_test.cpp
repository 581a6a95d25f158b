// The query command handlers over recording components in the registry:
// what the query driver hands the engine (writer by mode, ceiling, view,
// key count, by-number flag), and the highlight handler's steps, which end
// with the filter out of highlight mode however they end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/dras/drtoken.h"
#include "dr/drm/drm.h"
#include "dr/drr/drr.h"
#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/pgtest.h"
#include "tests/fixtures/server/statefix.h"

namespace {

std::vector<std::string> calls;  // what the components were asked, in order
int nextrc = 0;                  // what the lexer's next answers
int readrc = 2;                  // what the data store's read answers

template <class Ops>
struct Comp {
  drobjhd<Ops> hd;
  std::string word;    // lexer: the query word
  drtoken tok[2];
  int handed = 0;
};
template <class Ops>
Comp<Ops> *make(int32_t cls) {
  auto *c = new Comp<Ops>{};
  c->hd.obj = {cls, 1, "x"};
  return c;
}
template <class Ops>
int gone(drobj *o) {
  delete reinterpret_cast<Comp<Ops> *>(o);
  return 0;
}

drobj *dsnew(drsrvstate *, drheap, int32_t, int32_t) {
  auto *c = make<drdsops>(DRCLS_DATASTORE);
  c->hd.ops.key = [](drobj *, char (*keys)[DRDS_KEYSIZE], int32_t n) {
    calls.push_back("ds.key(" + std::string(keys[0]) + "," + std::to_string(n) + ")");
    return 0;
  };
  c->hd.ops.read = [](drobj *, void *, int32_t, int32_t *got) {
    *got = 0;
    calls.push_back("ds.read");
    return readrc;
  };
  c->hd.ops.seek = [](drobj *, int32_t, uint8_t) { return 0; };
  c->hd.ops.free = gone<drdsops>;
  return &c->hd.obj;
}
drobj *filnew(drsrvstate *, drheap) {
  auto *c = make<drfilops>(DRCLS_FILTER);
  c->hd.ops.bnd = [](drobj *, int32_t, drobj *, int32_t, uint8_t) { return 0; };
  c->hd.ops.setmode = [](drobj *, int32_t m) { return calls.push_back("fil.mode(" + std::to_string(m) + ")"), 0; };
  c->hd.ops.free = gone<drfilops>;
  return &c->hd.obj;
}
// A lexer whose query mode hands out the query word upper-cased as one word.
drobj *lexnew(drsrvstate *, drheap) {
  auto *c = make<drlexops>(DRCLS_LEXER);
  c->hd.ops.bnd = [](drobj *, int32_t, drobj *, int32_t) { return 0; };
  c->hd.ops.mode = [](drobj *, int32_t m) { return calls.push_back("lex.mode(" + std::to_string(m) + ")"), 0; };
  c->hd.ops.next = [](drobj *, int32_t *op, char **) {
    calls.push_back("lex.next");
    if (op) *op = 1;
    return nextrc;
  };
  c->hd.ops.query = [](drobj *o, const char *text, uint8_t) {
    auto *l = reinterpret_cast<Comp<drlexops> *>(o);
    l->word = text;
    for (char &ch : l->word) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    l->handed = 0;
    return 0;
  };
  c->hd.ops.tok = [](drobj *o, int32_t, drtoken **t, int32_t *n) {
    auto *l = reinterpret_cast<Comp<drlexops> *>(o);
    l->tok[0] = drtoken{l->word.c_str(), 0, 0, static_cast<uint8_t>(l->word.size()), DRTOK_WORD, 0, 1,
                        static_cast<uint8_t>(l->word.size())};
    l->tok[1] = drtoken{nullptr, 0, 0, 0, DRTOK_END, 0, 1, 0};
    *t = &l->tok[l->handed];
    *n = 1;
    return l->handed++ == 0 ? 0 : 2;
  };
  c->hd.ops.free = gone<drlexops>;
  return &c->hd.obj;
}
drobj *slnew(drsrvstate *, drheap, int32_t, drobj *) {
  auto *c = make<drstops>(DRCLS_STOPLIST);
  c->hd.ops.count = [](drobj *) { return 0; };
  c->hd.ops.look = [](drobj *, const char *, int32_t *num) {
    *num = 0;
    return 0;
  };
  c->hd.ops.free = gone<drstops>;
  return &c->hd.obj;
}
drobj *wlnew(drsrvstate *, drheap, int32_t, drdmpol *) {
  auto *c = make<drwlops>(DRCLS_WORDLIST);
  c->hd.ops.open = [](drobj *, int32_t, int32_t m) { return calls.push_back("wl.open(" + std::to_string(m) + ")"), 0; };
  c->hd.ops.exp = [](drobj *, const char *const *, int32_t, int32_t, drobj *, char ***out) {
    *out = nullptr;
    return 7;
  };
  c->hd.ops.free = gone<drwlops>;
  return &c->hd.obj;
}
drobj *engnew(drsrvstate *, drheap) {
  auto *c = make<drengops>(DRCLS_ENGINE);
  c->hd.ops.bnd = [](drobj *, int32_t, int32_t, drobj *) { return 0; };
  c->hd.ops.qry = [](drobj *, drobj *, drobj *w, drobj *, uint8_t bynum, uint32_t start, uint32_t ceil,
                     const char *view, int32_t maxdoc, int32_t first, int32_t last) {
    std::string what = std::to_string(drops<drrwrops>(w)->batchsize(w));
    calls.push_back("eng.qry(batch " + what + ",bynum " + std::to_string(bynum) + "," +
                    std::to_string(start) + "," + std::to_string(ceil) + "," + (view ? view : "noview") +
                    "," + std::to_string(maxdoc) + "," + std::to_string(first) + "," +
                    std::to_string(last) + ")");
    return 0;
  };
  c->hd.ops.hlite = [](drobj *, drobj *, drobj *, drobj *, drobj *, const char *, drobj *, int32_t) {
    calls.push_back("eng.hlite");
    return 1;
  };
  c->hd.ops.free = gone<drengops>;
  return &c->hd.obj;
}

struct QueryHandlers : statefix::State {
  pgtest::Database db;
  drasmreg saved{};
  void SetUp() override {
    nls = "AMERICAN_AMERICA.WE8ISO8859P1";
    statefix::State::SetUp();
    PGTEST_NEED_DB(db);
    pgtest::Conn pq(db.name);
    pq.one("CREATE TABLE docs (a integer, b integer, c integer, body text)");
    pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
           " pol_text_type, pol_key_name, pol_key_type) VALUES (42, 'P42', 'T', 'DOCS', 'BODY',"
           " 1, 'A,B,C', 2)");
    pq.one("CREATE TABLE res3 (textkey varchar(256), textkey2 varchar(256), textkey3 varchar(256),"
           " score numeric, conid integer, curid integer)");
    pq.one("CREATE TABLE uf (id integer, document text)");
    pq.one("CREATE TABLE hl (id integer, \"offset\" integer, length integer, strength integer)");
    ASSERT_EQ(logon(db.user()), 0);
    ASSERT_EQ(dracnchp(st), 0);
    ASSERT_EQ(drdmini(st), 0);
    saved = drasmtab;
    drasmtab.ds[1].fn = dsnew;
    drasmtab.fil[1].fn = filnew;
    drasmtab.lex[1].fn = lexnew;
    drasmtab.sl[1].fn = slnew;
    drasmtab.eng[1].fn = engnew;
    drasmtab.wl[1].fn = wlnew;
    calls.clear();
    nextrc = 0;
    readrc = 2;
  }
  void TearDown() override {
    if (st && st->dmcache) drdmfre(st);
    drasmtab = saved;
    statefix::State::TearDown();
  }
  // The calls of one kind, in order.
  std::vector<std::string> only(const std::string &prefix) {
    std::vector<std::string> v;
    for (const std::string &c : calls)
      if (c.compare(0, prefix.size(), prefix) == 0) v.push_back(c);
    return v;
  }
};

TEST_F(QueryHandlers, TheDriverHandsTheEngineItsWriterAndLimits) {
  drmcmd reply{};
  struct Case {
    const char *what;
    std::function<int(drsrvstate *)> run;
    std::string want;
  } cases[] = {
      {"contains: a table of three keys, no ceiling, no view",
       [&](drsrvstate *s) {
         return drcmdqry(s, "kestrin", "", 42, "dog", "res3", 0, 1, 2, 0, 0, 5, 0, "NULL");
       },
       "eng.qry(batch 1000,bynum 0,5,4294967295,noview,0,0,0)"},
      {"count_hits by key", [&](drsrvstate *s) {
         return drcmdqry(s, "kestrin", "", 42, "dog", &reply, 0, 0, 0, 1, 0, 0, 0, "");
       },
       "eng.qry(batch 1000,bynum 0,0,4294967295,noview,0,0,0)"},
      {"contains_fetch by number from a floor",
       [&](drsrvstate *s) {
         return drcmdqry(s, "kestrin", "", 42, "dog", &reply, 0, 0, 0, 2, 1, 77, 0, "NULL");
       },
       "eng.qry(batch 250,bynum 1,77,4294967295,noview,0,0,0)"},
      {"sorted_fetch with a ceiling",
       [&](drsrvstate *s) {
         return drcmdqry(s, "kestrin", "", 42, "dog", &reply, 100, 0, 0, 3, 1, 0, 900, "NULL");
       },
       "eng.qry(batch 250,bynum 1,0,900,noview,0,0,0)"},
  };
  for (const Case &c : cases) {
    calls.clear();
    EXPECT_EQ(c.run(st), 0) << c.what << "\n" << stack();
    EXPECT_EQ(only("eng."), std::vector<std::string>{c.want}) << c.what;
    EXPECT_EQ(only("lex.mode"), std::vector<std::string>{"lex.mode(2)"}) << c.what;
  }
  // The policy's three key columns open the writer with three keys: a
  // table of one key column refuses them.
  pgtest::Conn pq(db.name);
  pq.one("CREATE TABLE res1 (textkey varchar(256), score numeric)");
  EXPECT_EQ(drcmdqry(st, "kestrin", "", 42, "dog", "res1", 3, 0, 0, 0, 0, 0, 0, "NULL"), 1);
  EXPECT_TRUE(druefind(st, DRR_ECOLUMN)) << stack();
  drueclr(st);
  // A structured query that is a query of its own is refused; a session
  // text over 67 bytes is refused; an unknown mode says so.
  EXPECT_EQ(drcmdqry(st, "kestrin", "", 42, "dog", &reply, 0, 0, 0, 1, 0, 0, 0, "select 1"), 1);
  EXPECT_TRUE(druefind(st, 11300) || druefind(st, 52008)) << stack();
  drueclr(st);
  EXPECT_EQ(drcmdqry(st, "kestrin", std::string(68, 's').c_str(), 42, "dog", &reply, 0, 0, 0, 1, 0, 0,
                     0, "NULL"),
            1);
  EXPECT_TRUE(druefind(st, 10012));
  drueclr(st);
  // A user name as long as the database allows (63 bytes) is served; one
  // byte more is refused.
  EXPECT_EQ(drcmdqry(st, std::string(63, 'u').c_str(), "", 42, "dog", &reply, 0, 0, 0, 1, 0, 0, 0, "NULL"),
            0)
      << stack();
  EXPECT_EQ(drcmdqry(st, std::string(64, 'u').c_str(), "", 42, "dog", &reply, 0, 0, 0, 1, 0, 0, 0, "NULL"),
            1);
  EXPECT_TRUE(druefind(st, 10012));
  drueclr(st);
  EXPECT_EQ(drcmdqry(st, "kestrin", "", 42, "dog", &reply, 0, 0, 0, 4, 0, 0, 0, "NULL"), 1);
  EXPECT_TRUE(druefind(st, 10013));
  drueclr(st);
  // clear_result puts the user's name into the callback's call: a name that
  // is not plain is refused before anything runs.
  pq.one("CREATE TABLE src1 (textkey varchar(256), score numeric)");
  EXPECT_EQ(drcmdclr(st, "x.dr$callback(); --", "res1", "src1", 1, 3, 7, 0, 1), 1);
  EXPECT_TRUE(druefind(st, 11415)) << stack();
  drueclr(st);
}

TEST_F(QueryHandlers, HighlightLeavesTheFilterOutOfHighlightModeOnEveryWay) {
  struct Case {
    const char *what;
    int next, read;
    const char *uftab, *query, *hltab;
    int rc, msg;
  } cases[] = {
      {"nothing asked but the document", 0, 2, "NULL", "NULL", "NULL", 0, 0},
      {"no such document", 2, 2, "NULL", "NULL", "NULL", 1, 10826},
      {"the raw text cannot be read", 0, 1, "uf", "NULL", "NULL", 1, 0},
      {"the engine's highlight fails", 0, 2, "NULL", "dog", "hl", 1, 0},
  };
  for (const Case &c : cases) {
    calls.clear();
    nextrc = c.next;
    readrc = c.read;
    EXPECT_EQ(drcmdhlt(st, "kestrin", 42, c.query, "k1", 1, c.uftab, "NULL", c.hltab, "NULL", "NULL",
                       "NULL"),
              c.rc)
        << c.what << "\n" << stack();
    if (c.msg) {
      EXPECT_TRUE(druefind(st, c.msg)) << c.what;
    }
    drueclr(st);
    EXPECT_EQ(only("fil.mode"), (std::vector<std::string>{"fil.mode(2)", "fil.mode(0)"})) << c.what;
    EXPECT_EQ(only("ds.key"), std::vector<std::string>{"ds.key(k1,1)"}) << c.what;
  }
}

}  // namespace
