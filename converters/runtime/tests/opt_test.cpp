// Stand-alone converter options, option files, and signals ending the run.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

#include "converters/runtime/tests/cxtest.h"

namespace {

struct Opt : cxtestrun {};

TEST_F(Opt, SingleOptions) {
  struct row {
    const char* text;
    uint32_t flags;
  };
  const row rows[] = {{"-q5", 0},       {"/T=out.tmp", 0},  {"-INP=3", 0x400}, {"-OUTP=4", 0x400},
                      {"-A", 0x4000},   {"-IF", 0x2000},    {"-I", 2},         {"-TW", 0x1000},
                      {"-P", 0x40},     {"-PC", 0x28},      {"-PE=x.lst", 8},  {"-N", 0x80},
                      {"-NRname", 0x200}, {"-Rtext", 0x100}, {"-B", 1},        {"-BP=9000", 0},
                      {"-V0x0850", 0},  {"-E=/opt/conv/", 0}, {"-GD", 0},      {"-GRER", 0},
                      {"  -DT", 0},     {"word", 0},        {"-?", 0}};
  uint32_t all = 0;
  for (const row& r : rows) {
    uint32_t f = ccoption(st, r.text);
    EXPECT_EQ(f, r.flags) << r.text;
    all |= f;
  }
  EXPECT_EQ(st->fb->queueid, 5);
  EXPECT_STREQ(st->nm->intfile, "out.tmp");
  EXPECT_EQ(st->fb->pipereply, 3);
  EXPECT_EQ(st->fb->pipereq, 4);
  EXPECT_STREQ(st->nm->exceptlist, "x.lst");
  EXPECT_STREQ(st->nm->nrtext, "text");
  EXPECT_EQ(st->fb->pipecap, 9000);
  EXPECT_STREQ(st->nm->optstr, "0x0850");
  EXPECT_STREQ(st->nm->convdir, "/opt/conv/");
  EXPECT_EQ(st->sb->statflags, 0x42);
  EXPECT_EQ(st->fb->optdt, 0);
}

TEST_F(Opt, ContinuedTextsAndZoneName) {
  st->mn->firstarg = "/data/report.doc";
  ccoption(st, "-Xtitle");
  ccoption(st, "of the");
  ccoption(st, "day");
  ccoption(st, "-BT");
  ccoption(st, "ignored");
  EXPECT_STREQ(st->mn->xtext, "title of the day");
  EXPECT_STREQ(st->mn->zonefile, "/data/report.bti");
  ccoption(st, "-V0123456789012345678901234567890123");
  EXPECT_EQ(std::strlen(st->nm->optstr), 29u);
}

TEST_F(Opt, OptionFile) {
  std::string longline = "-X" + std::string(3000, 'y');
  dir.put("opts", std::string("   -q7\r\n\r\n\n-TW\n") + longline + "\n-A\x1A-P\n");
  EXPECT_EQ(ccoptfile(st, dir.file("opts").c_str()), 0x1000u | 0x4000u);
  EXPECT_EQ(st->fb->queueid, 7);
  EXPECT_EQ(std::strlen(st->mn->xtext), 1021u);  // the line was cut at 1023 characters
  EXPECT_EQ(ccoptfile(st, dir.file("missing").c_str()), 0u);
  dir.put("nested", "-C=" + dir.file("opts") + "\n");
  EXPECT_EQ(ccoption(st, ("-C " + dir.file("nested")).c_str()), 0x1000u | 0x4000u);
}

TEST_F(Opt, HexWord) {
  EXPECT_EQ(cchexword(st, "1A:2B    "), 0x001A002Bu);
  EXPECT_EQ(cchexword(st, "ff"), 0xFFu);
}

TEST_F(Opt, BannerEndsTheRunWithZero) {
  EXPECT_EQ(cxentry(st, [&] { return static_cast<int>(ccoption(st, "-Z")) + 99; }), 0);
}

TEST_F(Opt, SignalRoutineEndsTheRun) {
  EXPECT_EQ(cxentry(st, [&] { return ccsignal(st, SIGSEGV); }), CX_SIGNAL);
  EXPECT_EQ(st->sb->abortflag, 1);
  EXPECT_EQ(cxentry(st, [&] { return ccsignal(st, SIGINT); }), SIGINT);
}

TEST_F(Opt, ArgumentsAndSignalsInAStandAloneProcess) {
  pid_t pid = ::fork();
  if (pid == 0) {
    cxstate* s = cxteststate();
    char a1[] = "-q3", a2[] = "-BP=8192";
    char* argv[] = {a1, a2};
    ccargs(s, "/usr/lib/conv/prog", "input.doc", 2, argv);
    if (s->fb->queueid != 3 || std::strcmp(s->mn->progpath, "/usr/lib/conv/prog") != 0 ||
        s->ob->optflags != 1 || !s->fb->pipereqbuf)
      _exit(50);
    std::raise(SIGFPE);
    _exit(51);
  }
  int ws = 0;
  ASSERT_EQ(::waitpid(pid, &ws, 0), pid);
  ASSERT_TRUE(WIFEXITED(ws));
  EXPECT_EQ(WEXITSTATUS(ws), CX_SIGNAL);
}

}  // namespace
