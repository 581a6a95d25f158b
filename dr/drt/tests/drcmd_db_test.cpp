// The index command handlers with recording components in the registry:
// which components each builds, the modes it sets and the engine slot it
// calls, in order; an unknown policy; drop freeing the components; results
// the engine's slot passes through.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/pgtest.h"
#include "tests/fixtures/server/statefix.h"

namespace {

std::vector<std::string> calls;  // what the components were asked, in order
int engres = 0;                  // what the engine's slots answer

std::string fmt(const char *name, std::initializer_list<long> args = {}, char q = 0) {
  std::string s = name;
  if (args.size() || q) {
    s += "(";
    bool first = true;
    for (long a : args) s += (first ? "" : ",") + std::to_string(a), first = false;
    if (q) s += std::string(first ? "" : ",") + q;
    s += ")";
  }
  return s;
}

template <class Ops>
struct Comp {
  drobjhd<Ops> hd;
};
template <class Ops>
drobj *make(int32_t cls, const char *name) {
  auto *c = new Comp<Ops>{};
  c->hd.obj = {cls, 1, name};
  calls.push_back(std::string("new ") + name);
  return &c->hd.obj;
}
template <class Ops>
int gone(drobj *o) {
  calls.push_back(std::string("free ") + o->name);
  delete reinterpret_cast<Comp<Ops> *>(o);
  return 0;
}

drobj *dsnew(drsrvstate *, drheap, int32_t, int32_t) {
  drobj *o = make<drdsops>(DRCLS_DATASTORE, "ds");
  auto *ops = const_cast<drdsops *>(drops<drdsops>(o));
  ops->start = [](drobj *, int32_t n, int32_t no, char q, int32_t run) {
    calls.push_back(fmt("ds.start", {n, no, run}, q));
    return 0;
  };
  ops->dml = [](drobj *) { return calls.push_back("ds.dml"), 0; };
  ops->free = gone<drdsops>;
  return o;
}
drobj *filnew(drsrvstate *, drheap) {
  drobj *o = make<drfilops>(DRCLS_FILTER, "fil");
  auto *ops = const_cast<drfilops *>(drops<drfilops>(o));
  ops->bnd = [](drobj *, int32_t, drobj *, int32_t, uint8_t) { return 0; };
  ops->setmode = [](drobj *, int32_t m) { return calls.push_back(fmt("fil.mode", {m})), 0; };
  ops->free = gone<drfilops>;
  return o;
}
drobj *lexnew(drsrvstate *, drheap) {
  drobj *o = make<drlexops>(DRCLS_LEXER, "lex");
  auto *ops = const_cast<drlexops *>(drops<drlexops>(o));
  ops->bnd = [](drobj *, int32_t, drobj *, int32_t) { return 0; };
  ops->mode = [](drobj *, int32_t m) { return calls.push_back(fmt("lex.mode", {m})), 0; };
  ops->free = gone<drlexops>;
  return o;
}
drobj *slnew(drsrvstate *, drheap, int32_t, drobj *) {
  drobj *o = make<drstops>(DRCLS_STOPLIST, "sl");
  auto *ops = const_cast<drstops *>(drops<drstops>(o));
  ops->free = gone<drstops>;
  return o;
}
drobj *wlnew(drsrvstate *, drheap, int32_t, drdmpol *) {
  drobj *o = make<drwlops>(DRCLS_WORDLIST, "wl");
  auto *ops = const_cast<drwlops *>(drops<drwlops>(o));
  ops->open = [](drobj *, int32_t v, int32_t m) { return calls.push_back(fmt("wl.open", {v, m})), 0; };
  ops->load = [](drobj *) { return calls.push_back("wl.load"), 0; };
  ops->free = gone<drwlops>;
  return o;
}
drobj *engnew(drsrvstate *, drheap) {
  drobj *o = make<drengops>(DRCLS_ENGINE, "eng");
  auto *ops = const_cast<drengops *>(drops<drengops>(o));
  ops->bnd = [](drobj *, int32_t, int32_t, drobj *sl) { return sl ? 0 : 1; };
  ops->begx = [](drobj *, int32_t n, int32_t run, char q) {
    return calls.push_back(fmt("eng.begx", {n, run}, q)), engres;
  };
  ops->popx = [](drobj *, drobj *lex, drobj *wl, drobj *sl, int32_t run, int32_t srv, char q) {
    bool wired = lex && wl && sl && !std::string(lex->name).compare("lex");
    return calls.push_back(fmt(wired ? "eng.popx" : "eng.popx unwired", {run, srv}, q)), engres;
  };
  ops->endx = [](drobj *, int32_t run, char q) {
    return calls.push_back(fmt("eng.endx", {run}, q)), engres;
  };
  ops->drpx = [](drobj *, int32_t run) { return calls.push_back(fmt("eng.drpx", {run})), engres; };
  ops->trnx = [](drobj *) { return calls.push_back("eng.trnx"), engres; };
  ops->bnox = [](drobj *, int32_t m, int32_t n) {
    return calls.push_back(fmt("eng.bnox", {m, n})), engres;
  };
  ops->optx = [](drobj *, int32_t m, int32_t n, int32_t no, int32_t t) {
    return calls.push_back(fmt("eng.optx", {m, n, no, t})), engres;
  };
  ops->enox = [](drobj *, int32_t m) { return calls.push_back(fmt("eng.enox", {m})), engres; };
  ops->free = gone<drengops>;
  return o;
}

struct Handlers : statefix::State {
  pgtest::Database db;
  drasmreg saved{};
  void SetUp() override {
    logname = "drcmd";
    statefix::State::SetUp();
    PGTEST_NEED_DB(db);
    pgtest::Conn pq(db.name);
    pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
           " pol_text_type, pol_key_name, pol_key_type) VALUES (42, 'P42', 'T', 'DOCS', 'BODY',"
           " 1, 'ID', 2)");
    ASSERT_EQ(dracnlog(st, db.user().c_str(), 0), 0);
    ASSERT_EQ(drdmini(st), 0);
    saved = drasmtab;
    drasmtab.ds[1].fn = dsnew;
    drasmtab.fil[1].fn = filnew;
    drasmtab.lex[1].fn = lexnew;
    drasmtab.sl[1].fn = slnew;
    drasmtab.eng[1].fn = engnew;
    drasmtab.wl[1].fn = wlnew;
    calls.clear();
    engres = 0;
  }
  void TearDown() override {
    if (st && st->dmcache) drdmfre(st);
    drasmtab = saved;
    statefix::State::TearDown();
  }
  static std::vector<std::string> built6() {
    return {"new ds", "new fil", "new lex", "new sl", "new eng", "new wl"};
  }
  static std::vector<std::string> with(std::vector<std::string> a,
                                       const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
};

TEST_F(Handlers, AnUnknownPolicyBuildsNothing) {
  EXPECT_EQ(drcmdbeg(st, 1, 999, 1, 'C'), 1);
  EXPECT_TRUE(druefind(st, 50607)) << stack();
  EXPECT_TRUE(calls.empty());
}

TEST_F(Handlers, EachCommandSetsItsModesAndCallsItsEngineSlot) {
  auto five = built6();
  five.pop_back();
  struct Case {
    const char *what;
    int (*run)(drsrvstate *);
    std::vector<std::string> want;
  } cases[] = {
      {"begin", [](drsrvstate *s) { return drcmdbeg(s, 2, 42, 5, 'C'); },
       with(five, {"eng.begx(2,5,C)"})},
      {"populate", [](drsrvstate *s) { return drcmdpop(s, 42, 2, 1, 5, 'R'); },
       with(built6(), {"ds.start(2,1,5,R)", "fil.mode(1)", "lex.mode(1)", "wl.open(0,1)",
                       "eng.popx(5,1,R)"})},
      {"changed rows: the lexer's mode but not the filter's",
       [](drsrvstate *s) { return drcmddml(s, 42, 17); },
       with(built6(), {"ds.dml", "lex.mode(1)", "wl.open(0,5)", "eng.popx(0,0,M)"})},
      {"end: the word list is filled before its indexes",
       [](drsrvstate *s) { return drcmdend(s, 42, 5, 'C'); },
       with(five, {"eng.endx(5,C)", "new wl", "wl.load", "wl.open(0,2)"})},
      {"optimise", [](drsrvstate *s) { return drcmdopt(s, 42, 1, 2, 1, 40); },
       with(five, {"eng.optx(1,2,1,40)"})},
  };
  for (const Case &c : cases) {
    calls.clear();
    EXPECT_EQ(c.run(st), 0) << c.what << "\n" << stack();
    EXPECT_EQ(calls, c.want) << c.what;
    ASSERT_EQ(drcmdrel(st, 42), 0);
  }
}

TEST_F(Handlers, DropFreesEveryComponentAndTheNextCommandBuildsThemAgain) {
  ASSERT_EQ(drcmdpop(st, 42, 1, 1, 1, 'C'), 0) << stack();
  calls.clear();
  ASSERT_EQ(drcmddrp(st, 42, 1), 0) << stack();
  EXPECT_EQ(calls, (std::vector<std::string>{"eng.drpx(1)", "wl.open(0,4)", "free ds", "free fil",
                                             "free lex", "free sl", "free eng", "free wl"}));
  calls.clear();
  ASSERT_EQ(drcmdbeg(st, 1, 42, 2, 'C'), 0) << stack();
  EXPECT_EQ(calls.front(), "new ds");
}

TEST_F(Handlers, SomeCommandsPassTheEnginesResultOnOthersMakeItOne) {
  engres = 7;
  EXPECT_EQ(drcmdtrn(st, 42), 7);
  EXPECT_EQ(drcmdbop(st, 42, 1, 2), 7);
  EXPECT_EQ(drcmdeop(st, 42, 1), 7);
  EXPECT_EQ(drcmdbeg(st, 1, 42, 1, 'C'), 1);
  EXPECT_EQ(drcmdopt(st, 42, 1, 1, 1, 0), 1);
}

}  // namespace
