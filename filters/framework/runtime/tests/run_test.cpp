// The run record: parameters from the argument vector, clean-up callbacks,
// tracked memory, and the order of the run's start and end with the hooks
// that other modules fill.
#include <gtest/gtest.h>

#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

std::string param(cvrun* run, int index) {
  char* p = cvgetparam(run, index);
  if (!p) return "<null>";
  std::string s = p;
  cvfree(run, p);
  return s;
}

TEST(Run, ParametersFromTheArguments) {
  const struct {
    std::vector<const char*> options;
    int index;
    const char* want;
  } rows[] = {
      {{}, 0, "source.doc"},
      {{}, 1, "<null>"},
      {{}, 2, "kvj99int.tmp"},
      {{}, 3, "<null>"},
      {{}, 4, "0"},
      {{}, 5, "<null>"},
      {{}, 19, "<null>"},
      {{"/t=C:\\work\\out\\x.tmp"}, 2, "C:\\work\\out\\x.tmp"},
      {{"/t=C:\\work\\out\\x.tmp"}, 3, "C:\\work\\out\\"},
      {{"/t=tmp/x.tmp"}, 3, "tmp/"},
      {{"-V"}, 4, "<null>"},
      {{"/R.rtf"}, 9, ".rtf"},
      {{"/mz=zone"}, 11, "zone"},
      {{"/cf=style.ini"}, 16, "style.ini"},
      {{"/e=x"}, 18, "x"},
  };
  for (const auto& r : rows) {
    cvtestrun t;
    // The harness runs the driver's vector; later options override it.
    cvrun* run = t.run;
    for (const char* o : r.options) cvoptparse(run, o);
    EXPECT_EQ(param(run, r.index), r.want) << (r.options.empty() ? "" : r.options[0]) << " " << r.index;
  }
  // Without a T= option the output name has its default; a copy is fresh each time.
  cvtestrun t("text", {}, 1, 0);
  const char* argv[] = {"", "in.doc"};
  cvinit(t.run, 2, argv, 1, 1, 1);
  EXPECT_EQ(param(t.run, 2), "vtl99int.tmp");
  char* a = cvgetparam(t.run, 0);
  char* b = cvgetparam(t.run, 0);
  EXPECT_NE(a, b);
  EXPECT_STREQ(a, "in.doc");
  // With an input-file flag other than 1 the input is parameter 1.
  cvinit(t.run, 2, argv, 0, 1, 1);
  EXPECT_EQ(param(t.run, 0), "<null>");
  EXPECT_EQ(param(t.run, 1), "in.doc");
}

std::vector<std::string> trace;

void rec(const char* what) { trace.push_back(what); }

TEST(Run, CleanupCallbacks) {
  cvtestrun t;
  trace.clear();
  static cvcleanup_t fns[21];
  // Twenty distinct callbacks and a 21st that is never stored.
  fns[0] = [](cvrun*) { rec("0"); };
  fns[1] = [](cvrun*) { rec("1"); };
  for (int i = 2; i < 20; i++) fns[i] = [](cvrun*) { rec("."); };
  fns[20] = [](cvrun*) { rec("21st"); };
  EXPECT_EQ(cvaddcleanup(t.run, fns[1]), 0);
  EXPECT_EQ(cvaddcleanup(t.run, fns[0]), 0);
  EXPECT_EQ(cvaddcleanup(t.run, fns[1]), 0);  // twice: called twice
  for (int i = 2; i < 19; i++) EXPECT_EQ(cvaddcleanup(t.run, fns[i]), 0);
  EXPECT_EQ(cvaddcleanup(t.run, fns[20]), -1);
  EXPECT_EQ(cvdelcleanup(t.run, fns[0]), 0);
  EXPECT_EQ(cvaddcleanup(t.run, fns[0]), 0);  // takes the emptied slot 1
  EXPECT_EQ(cvdelcleanup(t.run, fns[20]), -1);
  cvshutdown(t.run);
  ASSERT_EQ(trace.size(), 20u);
  EXPECT_EQ(trace[0], "1");
  EXPECT_EQ(trace[1], "0");
  EXPECT_EQ(trace[2], "1");
  for (const std::string& s : trace) EXPECT_NE(s, "21st");
  // Each slot is emptied before the next is called: a second end calls none.
  trace.clear();
  cvshutdown(t.run);
  EXPECT_TRUE(trace.empty());
}

TEST(Run, TrackedMemory) {
  cvtestrun t;
  cvrun* run = t.run;
  cvtblock* before = run->last;
  void* a = cvalloc(run, 8);
  void* b = cvalloc(run, 8);
  void* c = cvalloc(run, 8);
  cvtblock* ha = static_cast<cvtblock*>(a) - 1;
  cvtblock* hc = static_cast<cvtblock*>(c) - 1;
  cvfree(run, b);
  EXPECT_EQ(ha->next, hc);
  EXPECT_EQ(hc->prev, ha);
  cvfree(run, c);
  EXPECT_EQ(run->last, ha);
  EXPECT_EQ(ha->next, nullptr);
  cvfree(run, a);
  EXPECT_EQ(run->last, before);
  // Blocks come zeroed from this host and pass through as they are.
  auto* z = static_cast<unsigned char*>(cvalloc(run, 64));
  for (int i = 0; i < 64; i++) EXPECT_EQ(z[i], 0);
  t.host.refuse = [](size_t) { return true; };
  EXPECT_EQ(cvalloc(run, 8), nullptr);
  t.host.refuse = nullptr;
  // Freeing null is fatal.
  testing::internal::CaptureStdout();
  EXPECT_EQ(cvguarded([run] {
              cvfree(run, nullptr);
              return 0;
            }),
            -1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("COM Memory Error"), std::string::npos);
}

cvhooks recording() {
  cvhooks h{};
  h.runstart = [](cvrun*) { rec("runstart"); };
  h.defsinit = [](cvrun*) { rec("defsinit"); };
  h.olereset = [](cvrun*) { rec("olereset"); };
  h.unctabinit = [](cvrun* run) { rec(run->codepage == 850 ? "unctabinit 850" : "unctabinit"); };
  h.charinit = [](cvrun*) { rec("charinit"); };
  h.pagedefs = [](cvrun*) { rec("pagedefs"); };
  h.caches = [](cvrun*) { rec("caches"); };
  h.rightlimit = [](cvrun*) { rec("rightlimit"); };
  h.unctabfree = [](cvrun*) { rec("unctabfree"); };
  h.fontfree = [](cvrun*) { rec("fontfree"); };
  h.parafree = [](cvrun*) { rec("parafree"); };
  return h;
}

TEST(Run, StartAndEndInTheirOrder) {
  static const cvhooks hooks = recording();
  const cvhooks* old = cvsethooks(&hooks);
  trace.clear();
  {
    cvtestrun t("text", {"/cp=850"});
    EXPECT_EQ(cwgetcodepage(t.run), 850);
    cvaddcleanup(t.run, [](cvrun*) { rec("cleanup"); });
    cvswrite(t.run, t.run->out, "not yet flushed", 15);
    cvseterr(t.run, CV_ESHORT);
    cvshutdown(t.run);
    // Streams were closed with their pages written; the output file stays
    // although the run failed, for it may not be deleted.
    EXPECT_EQ(cvgetfile(t.st, "kvj99int.tmp"), "not yet flushed");
    for (cvpstream* s : t.run->streams) EXPECT_EQ(s, nullptr);
    EXPECT_EQ(t.run->params[0], nullptr);
  }
  cvsethooks(old);
  const std::vector<std::string> want = {"runstart", "defsinit", "olereset", "unctabinit 850",
                                         "charinit", "pagedefs", "caches",   "rightlimit",
                                         "unctabfree", "fontfree", "parafree", "cleanup"};
  std::vector<std::string> got(trace.begin(), trace.begin() + std::min(trace.size(), want.size()));
  EXPECT_EQ(got, want);
  // Without hooks and options the code page is 437 and strings little-endian.
  cvtestrun plain;
  EXPECT_EQ(cwgetcodepage(plain.run), 437);
  EXPECT_EQ(plain.run->bigendian, 0);
  EXPECT_EQ(plain.run->in, -1);
  EXPECT_EQ(plain.run->indepth, -1);
}

}  // namespace
