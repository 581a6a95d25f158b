// The state record's defaults, the status rules and the fatal exit: a run that
// ends from deep inside returns its status and leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>

#include "converters/runtime/tests/cxtest.h"

namespace {

int gcalls, gfailat, glive;
void* countalloc(size_t n) {
  if (++gcalls == gfailat) return nullptr;
  glive++;
  return std::malloc(n);
}
int countfree(void* p) {
  glive--;
  std::free(p);
  return 0;
}
void resetcounts(int failat) {
  gcalls = 0;
  gfailat = failat;
  glive = 0;
}

TEST(CxState, FreshRecordHasDefaults) {
  cxstate* st = cxteststate();
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->io->docfile, -1);
  EXPECT_EQ(st->sb->buflimit, -1);
  EXPECT_EQ(st->sb->zonedepth, -1);
  EXPECT_EQ(st->sb->zonehandle, -1);
  EXPECT_EQ(st->fb->spillhandle, -1);
  EXPECT_EQ(st->fb->spillowner, -1);
  EXPECT_EQ(st->fb->queueid, 0);
  EXPECT_EQ(st->fb->picfmt, -999);
  EXPECT_EQ(st->fb->outkind, 4);
  EXPECT_STREQ(st->nm->optstr, "0");
  EXPECT_STREQ(st->nm->intfile, "vtl99int.tmp");
  EXPECT_STREQ(st->nm->exceptlist, "except.lst");
  EXPECT_STREQ(st->cm->pipenames[7], "GET_FILE_SIZE");
  EXPECT_EQ(st->cm->bar[0], '>');
  EXPECT_EQ(st->cm->bar[51], '<');
  EXPECT_EQ(st->cm->stdouthandle, -1);
  EXPECT_EQ(st->mn->zonefile, nullptr);
  EXPECT_EQ(static_cast<cxw2head*>(st->w2blk)->setsink, -1);
  EXPECT_EQ(st->rcg, nullptr);
  EXPECT_EQ(st->lotblk, nullptr);
  EXPECT_EQ(st->mn->destructor, cxfreest);
  cxfreest(st);
}

TEST(CxState, ConstructorFailureLeavesNothing) {
  // The root, seven common blocks and two converter blocks: ten allocations.
  for (int failat = 1; failat <= 10; failat++) {
    resetcounts(failat);
    static const cxblkspec w2[] = {{6, sizeof(cxw2head), cxw2init}, {7, 64, nullptr}};
    cxstate* st = cxnewst(w2, 2, cxfreest, countalloc, countfree);
    EXPECT_EQ(st, nullptr) << failat;
    EXPECT_EQ(glive, 0) << failat;
  }
  resetcounts(0);
  static const cxblkspec w2[] = {{6, sizeof(cxw2head), cxw2init}};
  cxstate* st = cxnewst(w2, 1, cxfreest, countalloc, countfree);
  ASSERT_NE(st, nullptr);
  void* a = cxalloc(st, 10);
  ASSERT_NE(a, nullptr);
  cxfreest(st);  // the run's leftover block goes with the record
  EXPECT_EQ(glive, 0);
}

TEST(CxState, SetErrReplacementOrder) {
  struct row {
    int before, status, first, warn, ret;
  };
  // ccseterr with a warning returns 0; a fatal code unwinds (ret -1 here).
  const row rows[] = {
      {0, 5, 5, 1, 0},  {5, 12, 12, 1, 0}, {12, 5, 5, 1, 0},
      {3, 5, 3, 1, 0},  {0, 4, 4, 0, -1},  {5, 9, 9, 0, -1},
  };
  for (const row& r : rows) {
    cxstate* st = cxteststate();
    st->sb->firststatus = r.before;
    int got = cxentry(st, [&] { return ccseterr(st, r.status); });
    EXPECT_EQ(st->sb->firststatus, r.first) << r.before << "," << r.status;
    EXPECT_EQ(st->sb->warnflag, r.warn);
    if (r.ret == 0) {
      EXPECT_EQ(got, 0);
      EXPECT_EQ(st->sb->abortflag, 0);
    } else {
      EXPECT_EQ(got, r.status);
      EXPECT_EQ(st->sb->abortflag, 1);
    }
    cxfreest(st);
  }
}

TEST(CxState, StatFatal) {
  cxstate* st = cxteststate();
  for (int s : {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 15, 16}) {
    st->sb->firststatus = s;
    EXPECT_EQ(ccstatfatal(st), (s == 0 || s == 5 || s == 12) ? 0 : 1) << s;
  }
  cxfreest(st);
}

int deep(cxstate* st, int depth, int status) {
  void* p = cxalloc(st, 1000);  // never freed by this code
  EXPECT_NE(p, nullptr);
  if (depth < 0) return 0;
  if (depth > 0) return deep(st, depth - 1, status) + 1;
  cxthrow(st, status);
}

TEST(CxState, ThrowFromDeepInsideLeavesNothing) {
  for (int status : {0, 4, 9, 16}) {
    cxtestdir dir;
    cxstate* st = cxteststate();
    std::string out = dir.file("out.txt");
    int rc = cxentry(st, [&] {
      std::strcpy(st->nm->intfile, out.c_str());
      int h = cxopen(st, out.c_str(), 2, 0);
      EXPECT_GE(h, 0);
      char tmp[300];
      cctmpname(st, st->nm->intfile, tmp);
      int t = cxopen(st, tmp, 2, 3);  // the run's own temporary file
      EXPECT_GE(t, 0);
      cxwrite(st, t, "x", 1);
      char listed[300];
      cctmpname(st, st->nm->intfile, listed);
      cctmpadd(st, listed);
      return deep(st, 20, status);
    });
    EXPECT_EQ(rc, status);
    EXPECT_EQ(st->cm->allocs, 0);
    EXPECT_EQ(st->cm->allochead, nullptr);
    // Only the output file survives; its handle is closed.
    EXPECT_EQ(dir.files(), std::vector<std::string>{"out.txt"});
    for (int h : st->cm->reganon) EXPECT_EQ(h, -1);
    cxfreest(st);
  }
}

TEST(CxState, InjectedAllocationFailureEndsTheRun) {
  resetcounts(0);
  cxstate* st = cxteststate(countalloc, countfree);
  ASSERT_NE(st, nullptr);
  int live = glive;
  gfailat = gcalls + 6;  // the sixth block of the run is refused
  int rc = cxentry(st, [&] {
    for (int i = 0;; i++) {
      if (!cxalloc(st, 100)) cxthrow(st, CX_NOMEM);
    }
    return 0;
  });
  EXPECT_EQ(rc, CX_NOMEM);
  EXPECT_EQ(glive, live);
  EXPECT_EQ(st->cm->allocs, 0);
  cxfreest(st);
  EXPECT_EQ(glive, 0);
}

TEST(CxState, StandardBadAllocBecomesStatus8) {
  cxstate* st = cxteststate();
  int rc = cxentry(st, [&]() -> int { throw std::bad_alloc(); });
  EXPECT_EQ(rc, CX_NOMEM);
  cxfreest(st);
}

TEST(CxState, AllocIsZeroedAndAtLeast64) {
  cxstate* st = cxteststate();
  auto* p = static_cast<unsigned char*>(cxalloc(st, 10));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ((reinterpret_cast<cxablk*>(p) - 1)->size, 64u);
  for (int i = 0; i < 64; i++) EXPECT_EQ(p[i], 0);
  EXPECT_EQ(cxfree(st, p), 0);
  EXPECT_EQ(st->cm->allocs, 0);
  cxfreest(st);
}

TEST(CxState, MeterWithAQueueOnlyPreparesMessages) {
  cxstate* st = cxteststate();
  st->fb->queueid = 5;
  EXPECT_EQ(cxmeterbeg(st, 3), 0);
  for (int i = 1; i <= 51; i++) EXPECT_EQ(cxmeterstep(st, 1), 0);
  EXPECT_EQ(st->cm->msgkind, 1);
  EXPECT_STREQ(st->cm->msgtext, "51");
  EXPECT_EQ(cxmeterstep(st, 1), 1);  // at most 51 steps
  cxmeterend(st);
  EXPECT_STREQ(st->cm->msgtext, "CM1S_END");
  EXPECT_EQ(cxputs(st, "four"), 4);
  cxfreest(st);
}

}  // namespace
