// Tests of the filters over the converters: the converter bridge, the
// document-format filter, the user-program filter and the chaining filter,
// over documents in memory made by the converter family's generators, with
// programs written into a scratch product home and a temporary folder of
// each test's own.
#include "dr/drgb/drgb.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <algorithm>
#include <string>
#include <vector>

#include "converters/runtime/fmtcat.h"
#include "dr/drgb/drgbs.h"
#include "dr/drgb/drgbt.h"
#include "dr/drgb/drgr.h"
#include "dr/drgb/drgu.h"
#include "tests/fixtures/pipe/mixfix.h"
#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using mixfix::Scratch;
using pipefix::num;
using pipefix::str;

// A data store whose every row is a delete (operation 3).
int deletes(drobj *o, int32_t *op, char *key) {
  int rc = pipefix::MemStore::next(o, op, key);
  if (rc == 0 && op) *op = 3;
  return rc;
}

int failmode(drobj *, int32_t) { return 1; }

struct Filters : statefix::State {
  std::unique_ptr<pipefix::Prefs> prefs;
  std::vector<drobj *> made;
  Scratch home{"drgbhome"}, tmp{"drgbtmp"};
  std::unique_ptr<mixfix::Env> envhome, envtmp;
  void SetUp() override {
    statefix::State::SetUp();
    prefs = std::make_unique<pipefix::Prefs>(st);
    mkdir((home.dir + "/bin").c_str(), 0755);
    envhome = std::make_unique<mixfix::Env>("KESTRIN_HOME", home.dir.c_str());
    envtmp = std::make_unique<mixfix::Env>("TMPDIR", tmp.dir.c_str());
  }
  void TearDown() override {
    for (drobj *o : made) drops<drfilops>(o)->free(o);
    prefs.reset();
    // Every conversion removed what it made in the temporary folder.
    EXPECT_EQ(Scratch::list(tmp.dir), std::vector<std::string>{});
    envtmp.reset();
    envhome.reset();
    statefix::State::TearDown();
  }
  void prog(const std::string &name, const std::string &body) {
    mixfix::script(home.dir + "/bin/" + name, body);
  }
  // A chaining filter bound to a preference with the attributes; its
  // binding result in *rc (0 expected when rc is null).
  drobj *chain(drobj *ds, const std::vector<pipefix::Attr> &attrs, int *rc = nullptr) {
    drobj *f = drgrnew(st, st->seshp);
    EXPECT_NE(f, nullptr);
    made.push_back(f);
    int r = drops<drfilops>(f)->bnd(f, 42, ds, prefs->add(DRCLS_FILTER, 2, attrs), 1);
    if (rc) {
      *rc = r;
    } else {
      EXPECT_EQ(r, 0) << stack();
    }
    return f;
  }
  // A document-format filter bound as a sub-filter; its binding result.
  int docfmt(drobj *ds, const std::vector<pipefix::Attr> &attrs, drobj **out = nullptr) {
    drobj *f = drgbnew(st, st->seshp);
    made.push_back(f);
    if (out) *out = f;
    return drops<drfilops>(f)->bnd(f, 42, ds, prefs->add(DRCLS_FILTER, 2, attrs), 0);
  }
  // The next document's result and its text.
  std::pair<int, std::string> next(drobj *f, int32_t *opout = nullptr) {
    int32_t op = 0;
    char key[DRDS_KEYSIZE];
    int rc = drops<drfilops>(f)->next(f, &op, key);
    if (opout) *opout = op;
    std::string text;
    if (rc != 0) return {rc, text};
    char buf[1000];
    int32_t got = 0;
    while (drops<drfilops>(f)->read(f, buf, sizeof buf, &got) == 0) text.append(buf, static_cast<size_t>(got));
    return {rc, text};
  }
  bool has(int num) {
    std::vector<int> v = stacknums();
    return std::find(v.begin(), v.end(), num) != v.end();
  }
  void clear() { rtmsgclr(st->msg); }
};

bool contains(const std::string &text, const std::string &word) { return text.find(word) != std::string::npos; }

// ---------------------------------------------------------------- the bridge

TEST_F(Filters, BridgeTables) {
  struct Entry {
    int16_t id;
    int rc;
    bool fn;
  } entries[] = {{3, 1, false}, {10, 1, false}, {12, 1, false}, {996, 1, false}, {998, 1, false},
                 {0, 0, false}, {999, 0, false}, {4, 0, true},   {1, 0, true},     {11, 0, true}};
  for (const Entry &e : entries) {
    cvtentry fn = reinterpret_cast<cvtentry>(1);
    EXPECT_EQ(drgbsentry(e.id, &fn), e.rc) << e.id;
    if (e.rc == 0) {
      EXPECT_EQ(fn != nullptr, e.fn) << e.id;
    }
  }
  struct Code {
    int32_t code;
    int16_t id;
  } codes[] = {{1, 999}, {5, 2},  {7, 4},   {20, 9},  {21, 10}, {33, 8},  {44, 7},
               {48, 5},  {49, 11}, {54, 6}, {103, 13}, {107, 12}, {108, 998}, {0, 998}, {50, 998}};
  for (const Code &c : codes) EXPECT_EQ(drgbsfmtid(c.code, 0), c.id) << c.code;
}

TEST_F(Filters, BridgeRecognisesAndReads) {
  struct Case {
    std::string doc;
    int32_t progs;
    int rc;
    int16_t id;
    int msg;
  } cases[] = {
      {mixfix::wp51("alpha"), 0, 0, 4, 0},
      {mixfix::word2("alpha"), 0, 0, 7, 0},
      {mixfix::word6("alpha"), 0, 0, 11, 0},
      {mixfix::word6late("alpha"), 0, 0, 11, 0},
      {mixfix::lotus("alpha", 1), 0, 0, 9, 0},
      {"short plain text", 0, 0, 999, 0},
      {mixfix::html("alpha"), 0, 0, 999, 0},  // lower-case tags read as text
      {mixfix::htmlupper("alpha"), 0, 1, 0, 11203},
      {mixfix::htmlupper("alpha"), 1, 0, 998, 0},
      // Named by its stream's version: a format no converter here reads.
      {mixfix::word97(), 0, 1, 0, 11203},
  };
  for (const Case &k : cases) {
    clear();
    pipefix::MemStore ds({k.doc}, 100);  // a store that hands out 100 bytes a read
    ds.at(0);
    druvfd vf{};
    druvfinit(&vf, st, st->cmdhp, ds.obj());
    ASSERT_NE(druvfopen(&vf, DRUVF_READ), nullptr);
    int16_t id = 0, row = 0;
    EXPECT_EQ(drgbsdetect(st, &vf, &id, &row, k.progs), k.rc) << k.doc.substr(0, 20) << stack();
    if (k.rc == 0) {
      EXPECT_EQ(id, k.id);
      EXPECT_EQ(druvfseek(&vf, 0, 1), 0);  // left at the start
    } else {
      EXPECT_TRUE(has(k.msg)) << stack();
    }
    druvfdestroy(&vf);
  }
  // A callback read takes at most 32767 bytes, however much is asked.
  pipefix::MemStore ds({std::string(50000, 'x')}, 1000);
  ds.at(0);
  druvfd vf{};
  druvfinit(&vf, st, st->cmdhp, ds.obj());
  ASSERT_NE(druvfopen(&vf, DRUVF_READ), nullptr);
  drgbhandle h = {st, &vf};
  std::vector<char> buf(40000);
  int count = 0;
  EXPECT_EQ(drgbsread(&h, buf.data(), 40000, &count), 32767);
  EXPECT_EQ(count, 32767);
  long pos = 0;
  EXPECT_EQ(drgbstell(&h, &pos), 32767);
  EXPECT_EQ(drgbsseek(&h, 10, 0), 10);
  EXPECT_EQ(drgbsseek(&h, 0, 3), -1);
  void *b = drgbsalloc(&h, 10);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(static_cast<char *>(b)[12], 0);
  EXPECT_EQ(drgbsfree(&h, b), 0);
  druvfdestroy(&vf);
}

// ---------------------------------------------------------------- program lists

TEST_F(Filters, ProgramListValues) {
  struct Case {
    const char *value;
    int rc;
    int16_t row;
    const char *name;
  } cases[] = {
      {"7,wp5txt", 0, 7, "wp5txt"},
      {" 12 ,pdf.sh", 0, 12, "pdf.sh"},
      {"0,a|b", 0, 0, "a|b"},
      {"7", 1, 0, ""},
      {"-1,x", 1, 0, ""},
      {"x,prog", 1, 0, ""},
      {",prog", 1, 0, ""},
      {"7,", 1, 0, ""},
      {"99999,prog", 1, 0, ""},
      {"00000000001,prog", 1, 0, ""},
      {"7,x;rm -rf ~", 2, 0, ""},
      {"1,../../bin/sh", 2, 0, ""},
      {"1,a:b", 2, 0, ""},
      {"1,a\\b", 2, 0, ""},
      {"1,a\nb", 2, 0, ""},
      {"1,a,b", 2, 0, ""},
  };
  for (const Case &k : cases) {
    int16_t row = -5;
    char name[DRGB_NAMEMAX + 1] = "";
    EXPECT_EQ(drgbplist(k.value, &row, name), k.rc) << k.value;
    if (k.rc == 0) {
      EXPECT_EQ(row, k.row) << k.value;
      EXPECT_STREQ(name, k.name) << k.value;
    }
  }
  std::string longname = "1," + std::string(DRGB_NAMEMAX + 1, 'a');
  int16_t row = 0;
  char name[DRGB_NAMEMAX + 1];
  EXPECT_EQ(drgbplist(longname.c_str(), &row, name), 1);
}

TEST_F(Filters, DocumentFormatBinding) {
  pipefix::MemStore ds({"x"});
  struct Case {
    std::vector<pipefix::Attr> attrs;
    int rc;
    int msg;
  } cases[] = {
      {{}, 0, 0},
      {{num(1, 997), str(2, "7,wp5.sh")}, 0, 0},
      {{num(1, 14)}, 1, 10707},
      {{num(1, 995)}, 1, 10707},
      {{str(2, "7wp5.sh")}, 1, 51501},
      {{str(2, "-1,wp5.sh")}, 1, 51501},
      {{str(2, "7,x;rm -rf ~")}, 1, 11205},
      {{str(2, "1,../../bin/sh")}, 1, 11205},
      {{num(5, 1)}, 1, 51501},
      // The chaining filter's own program and time limit are passed over.
      {{num(1, 997), str(3, "conv"), num(4, 5)}, 0, 0},
  };
  for (const Case &k : cases) {
    clear();
    EXPECT_EQ(docfmt(ds.obj(), k.attrs), k.rc) << stack();
    if (k.msg) {
      EXPECT_TRUE(has(k.msg)) << stack();
    }
  }
  // With programs listed the product home must be known.
  mixfix::Env unset("KESTRIN_HOME", nullptr);
  clear();
  EXPECT_EQ(docfmt(ds.obj(), {str(2, "7,wp5.sh")}), 1);
  EXPECT_TRUE(has(11208)) << stack();
}

// ---------------------------------------------------------------- documents through the filters

TEST_F(Filters, ChainingTakesEachFormat) {
  pipefix::MemStore ds({mixfix::html("hypertextword"), mixfix::plain("plainword"), mixfix::word2("wordtwoword"),
                        mixfix::word6("wordsixword"), mixfix::wp51("perfectword"), mixfix::lotus("sheetword", 4321)});
  drobj *f = chain(ds.obj(), {num(1, 997)});
  struct Row {
    std::string word;
  } rows[] = {{"hypertextword"}, {"plainword"}, {"wordtwoword"}, {"wordsixword"}, {"perfectword"}, {"4321"}};
  for (const Row &r : rows) {
    clear();
    auto [rc, text] = next(f);
    EXPECT_EQ(rc, 0) << r.word << stack();
    EXPECT_TRUE(contains(text, r.word)) << r.word << ": " << text;
    EXPECT_FALSE(contains(text, "<p>")) << text;
    EXPECT_FALSE(contains(text, "html")) << text;
  }
  EXPECT_EQ(next(f).first, 2);
}

// A filter converts every document in one private folder of its own, empty
// between documents, and makes a new one when that folder is gone or others
// could enter it; nothing is left once the filter ends.
TEST_F(Filters, OnePrivateFolderPerFilter) {
  prog("litter.sh", "cp \"$1\" \"$2\"; echo x > \"$(dirname \"$2\")/litter\"");
  char w2[32];
  std::snprintf(w2, sizeof w2, "%d,litter.sh", fmtfind(44));
  pipefix::MemStore ds({mixfix::word6("firstword"), mixfix::word2("secondword"), mixfix::word6("thirdword"),
                        mixfix::word2("fourthword")});
  drobj *f = chain(ds.obj(), {num(1, 997), str(2, w2)});
  auto folders = [&] { return Scratch::list(tmp.dir); };
  auto [rc1, t1] = next(f);
  ASSERT_EQ(rc1, 0) << stack();
  EXPECT_TRUE(contains(t1, "firstword")) << t1;
  std::vector<std::string> one = folders();
  ASSERT_EQ(one.size(), 1u);
  std::string kept = tmp.dir + "/" + one[0];
  struct stat sb;
  ASSERT_EQ(lstat(kept.c_str(), &sb), 0);
  EXPECT_EQ(sb.st_mode & 0777, 0700u);
  // The program's stray file went with its document.
  auto [rc2, t2] = next(f);
  ASSERT_EQ(rc2, 0) << stack();
  EXPECT_TRUE(contains(t2, "secondword")) << t2;
  EXPECT_EQ(folders(), one);
  EXPECT_EQ(Scratch::list(kept), std::vector<std::string>{});
  // Swept away meanwhile: a new folder.
  ASSERT_EQ(rmdir(kept.c_str()), 0);
  auto [rc3, t3] = next(f);
  ASSERT_EQ(rc3, 0) << stack();
  EXPECT_TRUE(contains(t3, "thirdword")) << t3;
  std::vector<std::string> two = folders();
  ASSERT_EQ(two.size(), 1u);
  EXPECT_NE(two, one);
  // Opened to others: left alone, and a new private one made.
  std::string loose = tmp.dir + "/" + two[0];
  ASSERT_EQ(chmod(loose.c_str(), 0755), 0);
  auto [rc4, t4] = next(f);
  ASSERT_EQ(rc4, 0) << stack();
  EXPECT_TRUE(contains(t4, "fourthword")) << t4;
  EXPECT_EQ(folders().size(), 2u);
  EXPECT_EQ(Scratch::list(loose), std::vector<std::string>{});
  rmdir(loose.c_str());
}

TEST_F(Filters, ChainingEdgeCases) {
  // Without attribute 1 the document-format filter stands alone and knows
  // no converter.
  pipefix::MemStore plain({"plain words"});
  drobj *f = chain(plain.obj(), {});
  EXPECT_EQ(reinterpret_cast<drgrstate *>(f)->nsubs, 1);
  EXPECT_EQ(next(f).first, 1);
  EXPECT_TRUE(has(51508)) << stack();
  int32_t got = 0;
  char buf[10];
  EXPECT_EQ(drops<drfilops>(f)->read(f, buf, sizeof buf, &got), 1);

  // 997 without a program: the HTML and document-format filters, both bound.
  clear();
  pipefix::MemStore docs({mixfix::plain("x")});
  f = chain(docs.obj(), {num(1, 997)});
  EXPECT_EQ(reinterpret_cast<drgrstate *>(f)->nsubs, 2);

  // 997 with a program named binds all three.
  prog("conv", "cp \"$1\" \"$2\"");
  f = chain(docs.obj(), {num(1, 997), str(3, "conv")});
  EXPECT_EQ(reinterpret_cast<drgrstate *>(f)->nsubs, 3);

  // Format 999 passes the data store's bytes.
  std::string bytes = std::string("raw\0bytes\x01\xFF", 12);
  pipefix::MemStore raw({bytes});
  f = chain(raw.obj(), {num(1, 999)});
  EXPECT_EQ(next(f), std::make_pair(0, bytes));

  // A delete row reaches no sub-filter.
  pipefix::MemStore del({"anything"});
  del.hd.ops.next = deletes;
  f = chain(del.obj(), {num(1, 997), str(3, "conv")});
  int32_t op = 0;
  EXPECT_EQ(next(f, &op).first, 0);
  EXPECT_EQ(op, 3);
  EXPECT_EQ(reinterpret_cast<drgrstate *>(f)->active, nullptr);

  // A document none accepts: next and read return 1.
  clear();
  pipefix::MemStore odd({mixfix::word97()});
  f = chain(odd.obj(), {num(1, 997)});
  EXPECT_EQ(next(f).first, 1);
  EXPECT_EQ(drops<drfilops>(f)->read(f, buf, sizeof buf, &got), 1);
  EXPECT_TRUE(has(11201)) << stack();

  // setmode reaches every sub-filter, a failing one notwithstanding.
  drgrstate *g = reinterpret_cast<drgrstate *>(chain(docs.obj(), {num(1, 997)}));
  pipefix::MemFilter bad({});
  bad.hd.ops.setmode = failmode;
  drobj *html = g->subs[0];
  g->subs[0] = bad.obj();
  EXPECT_EQ(drops<drfilops>(&g->hd.obj)->setmode(&g->hd.obj, 2), 1);
  EXPECT_EQ(reinterpret_cast<drgbstate *>(g->subs[1])->mode, 2);
  g->subs[0] = html;
}

TEST_F(Filters, DocumentFormatPaths) {
  // 997 and WordPerfect 5.1: converter 4, nothing left behind (checked
  // after every test).
  pipefix::MemStore wp({mixfix::wp51("perfectword")});
  drobj *f = nullptr;
  ASSERT_EQ(docfmt(wp.obj(), {num(1, 997)}, &f), 0);
  auto [rc, text] = next(f);
  EXPECT_EQ(rc, 0) << stack();
  EXPECT_TRUE(contains(text, "perfectword")) << text;

  // An HTML page without programs: 11203, then 11201.
  clear();
  pipefix::MemStore page({mixfix::htmlupper("x")});
  ASSERT_EQ(docfmt(page.obj(), {num(1, 997)}, &f), 0);
  EXPECT_EQ(next(f).first, 1);
  std::vector<int> nums = stacknums();
  ASSERT_GE(nums.size(), 2u);
  EXPECT_EQ(nums[nums.size() - 2], 11203);
  EXPECT_EQ(nums.back(), 11201);

  // With programs listed, an HTML page whose row has none goes to the inner
  // HTML filter, and icf then says it has no intermediate form.
  clear();
  prog("wp5.sh", "cp \"$1\" \"$2\"");
  page.cur = -1;
  ASSERT_EQ(docfmt(page.obj(), {num(1, 997), str(2, "7,wp5.sh")}, &f), 0);
  auto [hrc, htext] = next(f);
  EXPECT_EQ(hrc, 0) << stack();
  EXPECT_TRUE(contains(htext, "An x here")) << htext;
  pipefix::Writer w;
  EXPECT_EQ(drops<drfilops>(f)->icf(f, w.obj()), 1);
  EXPECT_TRUE(has(11210));

  // A listed program takes the rows of its format.
  clear();
  prog("upper.sh", "tr a-z A-Z < \"$1\" > \"$2\"");
  char row[16];
  std::snprintf(row, sizeof row, "%d,upper.sh", fmtfind(7));
  wp.cur = -1;
  ASSERT_EQ(docfmt(wp.obj(), {num(1, 997), str(2, row)}, &f), 0);
  auto [prc, ptext] = next(f);
  EXPECT_EQ(prc, 0) << stack();
  EXPECT_TRUE(contains(ptext, "PERFECTWORD")) << ptext;
}

TEST_F(Filters, HighlightingThroughTheFramework) {
  pipefix::MemStore ds({mixfix::plain("plainword"), mixfix::word2("wordtwoword")});
  drobj *f = chain(ds.obj(), {num(1, 997)});
  // Indexing mode: no intermediate form.
  auto [rc, text] = next(f);
  EXPECT_EQ(rc, 0);
  pipefix::Writer w;
  EXPECT_EQ(drops<drfilops>(f)->icf(f, w.obj()), 1);
  EXPECT_TRUE(has(50942)) << stack();
  // Highlighting mode: the framework converts, and icf writes its form.
  clear();
  ASSERT_EQ(drops<drfilops>(f)->setmode(f, 2), 0);
  ds.at(0);
  ASSERT_EQ(drops<drfilops>(f)->next(f, nullptr, nullptr), 0) << stack();
  std::string hl;
  char buf[500];
  int32_t got = 0;
  while (drops<drfilops>(f)->read(f, buf, sizeof buf, &got) == 0) hl.append(buf, static_cast<size_t>(got));
  EXPECT_TRUE(contains(hl, "plainword")) << hl;
  pipefix::Writer icf;
  EXPECT_EQ(drops<drfilops>(f)->icf(f, icf.obj()), 0) << stack();
  EXPECT_FALSE(icf.out.empty());
  EXPECT_TRUE(contains(icf.out, "plainword"));
  // A Word document converts, or ends with the framework's own failure.
  clear();
  auto [wrc, wtext] = next(f);
  if (wrc == 0) {
    EXPECT_TRUE(contains(wtext, "wordtwoword")) << wtext;
  } else {
    EXPECT_TRUE(has(11211)) << stack();
  }
}

// ---------------------------------------------------------------- the user-program filter

TEST_F(Filters, UserPrograms) {
  prog("upper.sh", "tr a-z A-Z < \"$1\" > \"$2\"");
  prog("fail3.sh", "exit 3");
  prog("empty.sh", ": > \"$2\"");
  prog("noout.sh", "exit 0");
  prog("sleeper.sh", "exec sleep 1000");
  prog("huge.sh", "head -c 1073741824 /dev/zero > \"$2\"");
  mixfix::Env cap("KESTRIN_MAXDOC", "1M");
  struct Case {
    std::string program;
    int bind;     // the binding's result
    int rc;       // the first next's result
    std::string text;
    int msg;      // a message on the stack
  } cases[] = {
      {"upper.sh", 0, 0, "SOME WORDS", 0},
      {"fail3.sh", 0, 1, "", 11207},
      {"empty.sh", 0, 0, "", 0},
      {"noout.sh", 0, 1, "", 11101},
      {"missing.sh", 1, 0, "", 11206},
      {"a b", 1, 0, "", 11205},
      {"a\\b", 1, 0, "", 11205},
      {"a:b", 1, 0, "", 11205},
      {"a|b", 1, 0, "", 11206},
      {"sleeper.sh", 0, 1, "", 11212},
      {"huge.sh", 0, 1, "", 11207},
  };
  for (const Case &k : cases) {
    clear();
    pipefix::MemStore ds({"some words"});
    drobj *f = drgunew(st, st->seshp);
    ASSERT_NE(f, nullptr);
    int b = drops<drfilops>(f)->bnd(f, 42, ds.obj(),
                                    prefs->add(DRCLS_FILTER, 4, {str(1, k.program), num(2, 1)}), 1);
    EXPECT_EQ(b, k.bind) << k.program << stack();
    if (b != 0) {
      EXPECT_TRUE(has(k.msg)) << k.program << stack();
      continue;  // the filter is gone
    }
    made.push_back(f);
    auto [rc, text] = next(f);
    EXPECT_EQ(rc, k.rc) << k.program << stack();
    EXPECT_EQ(text, k.text) << k.program;
    if (k.msg) {
      EXPECT_TRUE(has(k.msg)) << k.program << stack();
    }
    if (k.rc == 0) {
      int32_t got = 0;
      char buf[4];
      EXPECT_EQ(drops<drfilops>(f)->read(f, buf, sizeof buf, &got), 2);
    }
    // Only the filter's own folder stays while it lives, and it is empty.
    for (const std::string &d : Scratch::list(tmp.dir))
      EXPECT_EQ(Scratch::list(tmp.dir + "/" + d), std::vector<std::string>{}) << k.program;
  }
  // The exit status is the message's argument.
  clear();
  pipefix::MemStore ds({"x"});
  drobj *f = drgunew(st, st->seshp);
  ASSERT_EQ(drops<drfilops>(f)->bnd(f, 42, ds.obj(), prefs->add(DRCLS_FILTER, 4, {str(1, "fail3.sh")}), 1), 0);
  made.push_back(f);
  EXPECT_EQ(next(f).first, 1);
  EXPECT_NE(stack().find("status 3"), std::string::npos) << stack();
  // Without a product home the filter cannot be bound, and is gone.
  clear();
  mixfix::Env unset("KESTRIN_HOME", nullptr);
  drobj *g = drgunew(st, st->seshp);
  EXPECT_EQ(drops<drfilops>(g)->bnd(g, 42, ds.obj(), prefs->add(DRCLS_FILTER, 4, {str(1, "upper.sh")}), 1), 1);
  EXPECT_TRUE(has(11208)) << stack();
}

TEST_F(Filters, RefusalsLeaveNoStaleMessages) {
  // The program fails on every document; the HTML filter then takes the
  // page, and the stack holds nothing of the program's failure.
  prog("fail3.sh", "exit 3");
  pipefix::MemStore ds({mixfix::html("hypertextword")});
  drobj *f = chain(ds.obj(), {num(1, 997), str(3, "fail3.sh")});
  auto [rc, text] = next(f);
  EXPECT_EQ(rc, 0) << stack();
  EXPECT_TRUE(contains(text, "hypertextword"));
  EXPECT_EQ(stacknums(), std::vector<int>{}) << stack();
}

}  // namespace
