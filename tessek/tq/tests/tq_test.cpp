// The LR parser runtime over a small expression grammar: parsing and
// values, stack growth, error recovery and its messages, trace records,
// the life of message records, and the checks of the operations record.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tessek/tq/tq.h"

extern const tqgram tqtoytables;

namespace {

enum { NUM = 259, PLUS = 260, TIMES = 261, LP = 262, RP = 263 };

struct Msg {
  int num;
  std::vector<int> args;  // terminal numbers (name base taken off)
  bool operator==(const Msg &o) const { return num == o.num && args == o.args; }
};

std::ostream &operator<<(std::ostream &os, const Msg &m) {
  os << m.num << "(";
  for (int a : m.args) os << a << " ";
  return os << ")";
}

struct Toy {
  std::vector<tqtoken> toks;
  size_t next = 0;
  std::vector<tqtoken *> back;
  tqtoken end{};
  std::vector<Msg> msgs;
  int traces = 0;
  int allocs = 0;
  int frees = 0;
  int releases = 0;
  int failat = 0;          // the n-th allocation fails
  bool keep = false;       // keep the first message record
  tqmesg *kept = nullptr;
  bool refuse = true;      // token check answer: no
  int result = -1;
  int namebase = 110;
};

tqtoken *client(void *u, int req, tqtoken *tok) {
  auto *t = static_cast<Toy *>(u);
  if (req == TQ_REQ_NEXT) {
    if (!t->back.empty()) {
      tqtoken *b = t->back.back();
      t->back.pop_back();
      return b;
    }
    if (t->next < t->toks.size()) return &t->toks[t->next++];
    return &t->end;
  }
  if (req == TQ_REQ_BACK) t->back.push_back(tok);
  if (req == TQ_REQ_RELEASE) t->releases++;
  return nullptr;
}

void *talloc(void *u, size_t n) {
  auto *t = static_cast<Toy *>(u);
  if (++t->allocs == t->failat) return nullptr;
  return std::malloc(n);
}
void *trealloc(void *u, void *b, size_t n) { return std::realloc(b, n); }
void tfree(void *u, void *b) {
  static_cast<Toy *>(u)->frees++;
  std::free(b);
}

void onerror(void *u, int num, int, tqtoken *, tqmesg *rec) {
  auto *t = static_cast<Toy *>(u);
  Msg m{num, {}};
  for (int i = 0; i < tqmesgargc(rec); i++) {
    int kind = 0, len = 0;
    int32_t v = 0;
    if (tqmesgarg(rec, i, &kind, &len, &v, sizeof v) == 0 && kind == TQ_ARG_INTEGER)
      m.args.push_back(v - t->namebase);
  }
  t->msgs.push_back(m);
  if (t->keep && !t->kept)
    t->kept = rec;
  else
    tqmesgfree(&rec);
}

void ontrace(void *u, int, int, int, tqmesg *rec) {
  static_cast<Toy *>(u)->traces++;
  tqmesgfree(&rec);
}

int tokcheck(void *u, int) { return static_cast<Toy *>(u)->refuse ? 0 : 1; }

int32_t val(tqrec *rec, int idx) {
  int32_t v;
  std::memcpy(&v, rec->stack[idx].value, 4);
  return v;
}

// Reduce routine of the toy grammar: evaluates the expression.
void toyreduce(tqrec *rec, int rule, tqtoken *) {
  int n = rec->rlen[rule];
  if (rec->top < n) {
    tqstate(rec, TQ_ERROR);
    return;
  }
  int32_t b = rec->top - n + 1;
  int32_t v = n ? val(rec, b) : 0;
  switch (rule) {
    case 2: static_cast<Toy *>(rec->user)->result = v; break;
    case 3: v = val(rec, b) + val(rec, b + 2); break;
    case 5: v = val(rec, b) * val(rec, b + 2); break;
    case 8: v = val(rec, b + 1); break;
    default: break;
  }
  tqtoken *keep = n ? rec->stack[b].token : nullptr;
  for (int i = 1; i < n; i++) tqunref(rec, rec->stack[b + i].token);
  tqpop(rec, n);
  int g = tqgoto(rec, rec->stack[rec->top].state, rec->lhs[rule]);
  tqpush(rec, g, rec->lhs[rule], &v, keep);
}

void lex(Toy &t, const std::string &s) {
  for (char c : s) {
    tqtoken k{};
    k.source = "test";
    switch (c) {
      case '+': k.code = PLUS; break;
      case '*': k.code = TIMES; break;
      case '(': k.code = LP; break;
      case ')': k.code = RP; break;
      case ' ': continue;
      default: {
        k.code = NUM;
        int32_t v = c - '0';
        std::memcpy(k.value, &v, 4);
      }
    }
    t.toks.push_back(k);
  }
  t.end.code = 0;
  t.end.source = "test";
}

struct Runtime : ::testing::Test {
  rtctx *rt = nullptr;
  rtmsgmgr *mm = nullptr;
  alignas(8) unsigned char area[16];
  int32_t fac = -1;
  Toy toy;
  tqrec *rec = nullptr;
  tqops ops{client, talloc, trealloc, tfree, ontrace, onerror, tokcheck};

  void SetUp() override {
    rt = rtstart("tq_test", "lsf");
    ASSERT_NE(rt, nullptr);
    mm = rtmsgnew(rt, area, sizeof area, "US7ASCII");
    ASSERT_NE(mm, nullptr);
    char why[256];
    ASSERT_EQ(rtmsgfacfile(mm, "par", KES_SOURCE_DIR "/messages/par.msg", &fac, why, sizeof why),
              0)
        << why;
  }
  void TearDown() override {
    rtmsgfre(mm);
    rtstop(rt);
  }

  // A runtime record for the toy grammar, the way a grammar module makes one.
  void make(bool recover, bool trace) {
    rec = static_cast<tqrec *>(std::calloc(1, sizeof(tqrec)));
    rec->env = rt;
    rec->msgmgr = mm;
    rec->facility = fac;
    rec->user = &toy;
    rec->top = rec->nsaved = rec->nacts = -1;
    tqtables(rec, &tqtoytables);
    rec->namebase = 110;
    rec->valsize = 4;
    rec->expected = static_cast<uint32_t *>(std::calloc(rec->expwords, sizeof(uint32_t)));
    rec->recover = recover;
    rec->tracewanted = trace;
    rec->state = TQ_RUNNING;
    rec->reducefn = toyreduce;
    // The record and its expected set come from malloc: hand them to the
    // caller's free like everything else.
    tqsetops(rec, &ops);
  }

  int parse(const std::string &text, bool recover = false, bool trace = false) {
    lex(toy, text);
    make(recover, trace);
    int err = -1;
    int32_t value = 0;
    tqparse(rec, &toy, &err, 0, &value, 4);
    EXPECT_EQ(rec->state, TQ_FINISHED);
    return err;
  }

  void destroy() {
    tqdestroy(rec);
    rec = nullptr;
  }
};

TEST_F(Runtime, ParsesAndReduces) {
  struct Case {
    const char *text;
    int result;
  } cases[] = {{"1+2*3", 7}, {"(1+2)*3", 9}, {"2*3*4+1", 25}, {"((((5))))", 5}};
  for (const Case &c : cases) {
    toy = Toy{};
    EXPECT_EQ(parse(c.text), 0) << c.text;
    EXPECT_EQ(toy.result, c.result) << c.text;
    EXPECT_TRUE(toy.msgs.empty()) << c.text;
    destroy();
  }
}

TEST_F(Runtime, DeepNestingGrowsTheArrays) {
  std::string text = std::string(400, '(') + "7" + std::string(400, ')');
  EXPECT_EQ(parse(text), 0);
  EXPECT_EQ(toy.result, 7);
  EXPECT_GT(rec->cap, TQ_START_ENTRIES);
  destroy();
}

TEST_F(Runtime, SyntaxErrorWithoutRecoveryGivesOne109) {
  EXPECT_EQ(parse("1++2"), 1);
  ASSERT_EQ(toy.msgs.size(), 1u);
  EXPECT_EQ(toy.msgs[0], (Msg{TQ_MSG_SYNTAX, {4}}));  // PLUS is internal terminal 4
  destroy();
}

TEST_F(Runtime, SubstituteTokenReplacesAnUnshiftableToken) {
  // The check accepts: an unexpected ')' becomes the substitute '+'.
  toy.refuse = false;
  lex(toy, "1)2");
  make(false, false);
  rec->subst = PLUS;
  int err = -1;
  tqparse(rec, &toy, &err, 0, nullptr, 0);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(toy.result, 3);
  destroy();
}

TEST_F(Runtime, RecoveryMessages) {
  // Internal terminals: 1 end$, 3 NUM, 4 PLUS, 5 TIMES, 6 LP, 7 RP.
  struct Case {
    const char *text;
    std::vector<Msg> msgs;
  } cases[] = {
      // a missing operator is inserted
      {"1 2", {{101, {3, 4, 5}}, {102, {4, 3}}}},
      // a stray ')' is deleted
      {"1+)2", {{101, {7, 3, 6}}, {103, {7}}}},
      // a ')' that neither insertion nor deletion mends is replaced
      {"1+)*2", {{101, {7, 3, 6}}, {104, {3, 7}}}},
  };
  for (const Case &c : cases) {
    toy = Toy{};
    EXPECT_EQ(parse(c.text, true), 1) << c.text;
    EXPECT_EQ(toy.msgs, c.msgs) << c.text;
    destroy();
  }
}

TEST_F(Runtime, HopelessInputEndsWith109) {
  EXPECT_EQ(parse("))))", true), 1);
  ASSERT_FALSE(toy.msgs.empty());
  EXPECT_EQ(toy.msgs.back().num, TQ_MSG_SYNTAX);
  destroy();
}

TEST_F(Runtime, RecoveryAlwaysEnds) {
  // Random token strings with recovery on: every parse ends, with the error
  // flag exactly when a message was delivered.
  unsigned seed = 12345;
  const char alphabet[] = "12+*()";
  for (int run = 0; run < 3000; run++) {
    toy = Toy{};
    std::string text;
    seed = seed * 1103515245u + 12345u;
    int len = static_cast<int>((seed >> 16) % 12);
    for (int i = 0; i < len; i++) {
      seed = seed * 1103515245u + 12345u;
      text += alphabet[(seed >> 16) % 6];
    }
    int err = parse(text, true, run % 7 == 0);
    EXPECT_EQ(err != 0, !toy.msgs.empty()) << text;
    EXPECT_EQ(rec->outstanding, 0) << text;
    destroy();
  }
}

TEST_F(Runtime, TraceRecordsOnlyWhenWanted) {
  EXPECT_EQ(parse("1+2"), 0);
  EXPECT_EQ(toy.traces, 0);
  // Nothing but the three arrays was allocated.
  EXPECT_EQ(toy.allocs, 3);
  destroy();

  toy = Toy{};
  EXPECT_EQ(parse("1+2", false, true), 0);
  EXPECT_GT(toy.traces, 0);
  EXPECT_EQ(rec->outstanding, 0);
  destroy();
}

TEST_F(Runtime, OutstandingRecordKeepsTheRuntimeAlive) {
  toy.keep = true;
  EXPECT_EQ(parse("1++2"), 1);
  ASSERT_NE(toy.kept, nullptr);
  int frees = toy.frees;
  destroy();
  // Arrays and expected set went; the record itself waits for the message.
  EXPECT_EQ(toy.frees, frees + 4);
  EXPECT_EQ(toy.kept->num, TQ_MSG_SYNTAX);
  tqmesgfree(&toy.kept);
  EXPECT_EQ(toy.kept, nullptr);
  EXPECT_EQ(toy.frees, frees + 6);  // the message, then the runtime record
}

TEST_F(Runtime, MessageArguments) {
  toy.keep = true;
  EXPECT_EQ(parse("1++2"), 1);
  tqmesg *m = toy.kept;
  ASSERT_EQ(tqmesgargc(m), 1);
  int kind = 0, len = 0;
  char small[3];
  int32_t v = 0;
  EXPECT_EQ(tqmesgarg(m, 1, &kind, &len, &v, sizeof v), 1);     // index == count
  EXPECT_EQ(tqmesgarg(m, 0, &kind, &len, small, 3), 1);         // too small for an integer
  EXPECT_EQ(tqmesgarg(m, 0, &kind, &len, &v, sizeof v), 0);
  EXPECT_EQ(kind, TQ_ARG_INTEGER);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(v, 110 + 4);
  // The facility's texts name the terminal: 114 is a terminal name there.
  rtarg args[4];
  char texts[256];
  EXPECT_EQ(tqmesgfmt(m, args, 0, 4, texts, sizeof texts), 1);
  EXPECT_STREQ(args[0].u.s, "WCWORD");
  destroy();
  tqmesgfree(&toy.kept);
}

// Trace records carry strings: a buffer one byte short of the text and its
// NUL is refused.
struct Captured {
  std::vector<std::string> names;
  int refused = 0;
};
Captured *g_cap = nullptr;
void keeptrace(void *u, int kind, int, int, tqmesg *rec) {
  if (kind == 5 && g_cap) {
    char buf[64];
    int k = 0, len = 0;
    if (tqmesgarg(rec, 0, &k, &len, buf, sizeof buf) == 0 && k == TQ_ARG_STRING) {
      g_cap->names.push_back(buf);
      if (tqmesgarg(rec, 0, &k, &len, buf, static_cast<size_t>(len)) != 0) g_cap->refused++;
    }
  }
  tqmesgfree(&rec);
}

TEST_F(Runtime, TraceStringsAreCopied) {
  Captured cap;
  g_cap = &cap;
  ops.trace = keeptrace;
  EXPECT_EQ(parse("1+2", false, true), 0);
  g_cap = nullptr;
  EXPECT_EQ(cap.names, (std::vector<std::string>{"NUM", "PLUS", "NUM", "end$"}));
  EXPECT_EQ(cap.refused, 4);
  destroy();
}

// Runs tqsetops inside an error frame; the number a raise caught, or 0.
int setops_raise(rtmsgmgr *mm, int32_t fac, tqrec *rec, const tqops *ops) {
  rtframe fr;
  rtfrmpush(mm, &fr);
  if (setjmp(fr.jb) == 0) {
    tqsetops(rec, ops);
    rtfrmpop(mm, &fr, fac);
    return 0;
  }
  rtfrmpop(mm, &fr, fac);
  return fr.num;
}

TEST_F(Runtime, UnusableOperationsRaise) {
  struct Case {
    const char *what;
    tqops ops;
    bool trace;
    std::vector<int> delivered;
  } cases[] = {
      {"no error callback", {client, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}, false, {}},
      {"no client", {nullptr, nullptr, nullptr, nullptr, nullptr, onerror, nullptr}, false, {105}},
      {"memory in part", {client, talloc, nullptr, tfree, nullptr, onerror, nullptr}, false, {}},
      {"trace without callback", {client, nullptr, nullptr, nullptr, nullptr, onerror, nullptr}, true, {}},
  };
  for (const Case &c : cases) {
    toy = Toy{};
    tqrec r{};
    r.env = rt;
    r.msgmgr = mm;
    r.facility = fac;
    r.user = &toy;
    r.tracewanted = c.trace;
    tqtables(&r, &tqtoytables);
    EXPECT_EQ(setops_raise(mm, fac, &r, &c.ops), TQ_MSG_RAISE) << c.what;
    EXPECT_EQ(r.raisestat, -1) << c.what;
    std::vector<int> got;
    for (const Msg &m : toy.msgs) got.push_back(m.num);
    EXPECT_EQ(got, c.delivered) << c.what;
  }
  rtmsgclr(mm);
}

int parse_raise(rtmsgmgr *mm, int32_t fac, tqrec *rec, Toy *toy) {
  rtframe fr;
  rtfrmpush(mm, &fr);
  if (setjmp(fr.jb) == 0) {
    int err = 0;
    tqparse(rec, toy, &err, 0, nullptr, 0);
    rtfrmpop(mm, &fr, fac);
    return 0;
  }
  rtfrmpop(mm, &fr, fac);
  return fr.num;
}

TEST_F(Runtime, MemoryShortageRaises) {
  lex(toy, "1+2");
  make(false, false);
  toy.failat = 1;  // the first array
  EXPECT_EQ(parse_raise(mm, fac, rec, &toy), TQ_MSG_RAISE);
  EXPECT_EQ(rec->raisestat, -1);
  destroy();
  rtmsgclr(mm);
}

}  // namespace
