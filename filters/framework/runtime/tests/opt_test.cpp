// Run options: a table of option arguments to run settings, option files,
// command pairs, the dependent-file list and its names, and the profile reader.
#include <gtest/gtest.h>

#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

// The settings that differ from those of the driver's own arguments.
std::string changes(cvrun* run) {
  std::string out;
  auto add = [&](const std::string& s) { out += (out.empty() ? "" : " ") + s; };
  auto hex = [](int v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return std::string(b);
  };
  const cvopts& o = run->opt;
  if (o.flags != 1) add("flags=" + hex(o.flags));
  if (o.gfx) add("gfx=" + hex(o.gfx));
  if (o.g1) add("g1=1");
  if (o.gsize[0] || o.gsize[1]) add("gs=" + std::to_string(o.gsize[0]) + "," + std::to_string(o.gsize[1]));
  if (o.ngfxexcl) {
    std::string l;
    for (int i = 0; i < o.ngfxexcl; i++) l += (i ? "," : "") + std::to_string(o.gfxexcl[i]);
    add("excl=" + l);
  }
  if (o.oflags != 4) add("oflags=" + hex(o.oflags));
  if (o.osim) add("osim=" + hex(o.osim));
  if (run->codepage != 437) add("cp=" + std::to_string(run->codepage));
  auto str = [&](const char* name, const char* v) {
    if (v) add(std::string(name) + "=" + v);
  };
  str("pe", o.pe);
  str("bt", o.bt);
  str("f", o.f);
  if (o.s || o.sflag) add(std::string("s=") + (o.s ? o.s : "") + "," + std::to_string(o.sflag));
  if (o.x || o.xflag) add(std::string("x=") + (o.x ? o.x : "") + "," + std::to_string(o.xflag));
  if (o.rfdir || o.rfflag) add(std::string("rf=") + (o.rfdir ? o.rfdir : "") + "," + std::to_string(o.rfflag));
  str("rl", o.rlname);
  if (o.cmd.count) add("cmd=" + std::to_string(o.cmd.count));
  if (!run->params[2] || std::string(run->params[2]) != "kvj99int.tmp") str("p2", run->params[2]);
  if (!run->params[4] || std::string(run->params[4]) != "0") str("p4", run->params[4]);
  for (int i : {3, 9, 11, 16, 18}) str(("p" + std::to_string(i)).c_str(), run->params[i]);
  return out;
}

TEST(Options, EachFormToItsSetting) {
  const struct {
    std::vector<const char*> args;
    const char* want;
  } rows[] = {
      {{"/bt=Title"}, "bt=Title"},
      {{"/bt="}, ""},
      {{"/bp"}, ""},
      {{"/i", "/b"}, "flags=0x3"},
      {{"/cp=1250"}, "cp=1250"},
      {{"/cp=x"}, ""},
      {{"/cmd=key=value=more"}, "cmd=1"},
      {{"/dt"}, ""},
      {{"/e=val"}, "p18=val"},
      {{"/F=font"}, "f=font"},
      {{"/Ffont"}, "f=font"},
      {{"/gd", "/ger"}, "gfx=0x602"},
      {{"/gd", "/g1"}, "g1=1"},
      {{"/grr", "/gre", "/grer"}, "gfx=0x70"},
      {{"/gvx"}, "gfx=0x110"},
      {{"/gvr"}, "gfx=0x90"},
      {{"/gvrh"}, "gfx=0x490"},
      {{"/gx"}, "gfx=0x4"},
      {{"/gs10,20"}, "gs=10,20"},
      {{"/gtf=5", "/gtf=7"}, "excl=5,7"},
      {{"/gq"}, ""},
      {{"/if"}, "flags=0x2001"},
      {{"/in"}, ""},
      {{"/i"}, "flags=0x2"},
      {{"/mz=zone"}, "p11=zone"},
      {{"/nr.txt"}, "flags=0x201 p9=.txt"},
      {{"/nosim=hyph,x"}, "osim=0x1"},
      {{"/nosim=x,Hyp2"}, "osim=0x1"},
      {{"/nosim=x"}, ""},
      {{"/n"}, "flags=0x81"},
      {{"/oo"}, "oflags=0x1"},
      {{"/on"}, "oflags=0x2"},
      {{"/oo", "/op"}, ""},
      {{"/od"}, "oflags=0xc"},
      {{"/p"}, "flags=0x41"},
      {{"/pc"}, "flags=0x29"},
      {{"/pe"}, "flags=0x9"},
      {{"/pe=x"}, "flags=0x9 pe=x"},
      {{"/rl=list"}, "rl=list"},
      {{"/rf=dir"}, "rf=dir,1"},
      {{"/rf"}, "rf=,1"},
      {{"/rtext"}, "flags=0x101 p9=text"},
      {{"/sab"}, "s=ab,1"},
      {{"/sa"}, ""},
      {{"/t=out.tmp"}, "p2=out.tmp"},
      {{"/t=a:\\b\\c.tmp"}, "p2=a:\\b\\c.tmp p3=a:\\b\\"},
      {{"/tw"}, "flags=0x1001"},
      {{"/vabc"}, "p4=abc"},
      {{"-V"}, "p4="},
      {{"/w"}, ""},
      {{"/xabc"}, "x=abc,1"},
      {{"/xab"}, ""},
      {{"/z"}, ""},
      {{"/h"}, ""},
      {{"-"}, ""},
      {{"T=plain"}, "p2=plain"},
  };
  for (const auto& r : rows) {
    cvtestrun t;
    for (const char* a : r.args) cvoptparse(t.run, a);
    EXPECT_EQ(changes(t.run), r.want) << r.args[0];
  }
}

TEST(Options, OptionFiles) {
  const struct {
    const char* what;
    std::string text;
    const char* arg;
    const char* want;
  } rows[] = {
      {"lines", "  /cp=850\r\n\r\n/gtf=3\n/w", "/c=opts", "excl=3 cp=850"},
      {"cut at Ctrl-Z", "/gtf=3\r\n/gtf=4\x1A/gtf=5\r\n", "/copts", "excl=3,4"},
      {"names itself", "/gtf=1\r\n/c=opts\r\n", "/c=opts", "excl=1,1,1,1,1,1,1,1"},
      {"empty", "", "/c=opts", ""},
      {"missing", "", "/c=other", ""},
      {"a long line is cut", "/v" + std::string(1100, 'v'), "/c=opts", nullptr},
  };
  for (const auto& r : rows) {
    cvtestrun t;
    cvputfile(t.st, "opts", r.text);
    cvoptparse(t.run, r.arg);
    if (r.want)
      EXPECT_EQ(changes(t.run), r.want) << r.what;
    else
      EXPECT_EQ(std::strlen(t.run->params[4]), 1021u) << r.what;  // 1023 with the /v
  }
}

TEST(Options, CommandPairs) {
  cvtestrun t;
  for (int i = 0; i < 26; i++) cvcmdadd(t.run, ("key" + std::to_string(i) + "=v" + std::to_string(i) + "=x").c_str());
  cvcmdadd(t.run, "bare");
  const cvcmdpairs* p = &t.run->opt.cmd;
  EXPECT_EQ(p->count, 25);
  const char* v = nullptr;
  EXPECT_EQ(cvcmdget(p, "KEY3", &v), 0);
  EXPECT_STREQ(v, "v3");
  EXPECT_EQ(cvcmdget(p, "key25", &v), 1);
  const struct {
    const char* text;
    long want;
  } hex[] = {{"1A:2b", 0x001A002B}, {"12345678:1", 0x56780001}, {"123456789:1", -1}, {"ff", -1}};
  for (const auto& h : hex) EXPECT_EQ(cvhexpair(h.text), h.want) << h.text;
}

TEST(Options, DependentFiles) {
  cvtestrun t("text", {"/rl=deps.lst"});
  cvdepfile(t.run, "pic.wmf", 5, 2);
  cvdepfile(t.run, "style.css", 5, 3);
  cvdepfile(t.run, "x", 1, 42);
  cvdepfile(t.run, "a\0b\0\0", 0, 0);
  static const char want[] = "pic.wmf\0graphic\r\nstyle.css\0stylesheet\r\nx\0?\r\na\0b\0\0\0\r\n";
  EXPECT_EQ(cvgetfile(t.st, "deps.lst"), std::string(want, sizeof want - 1));
  cvtestrun none;
  cvdepfile(none.run, "pic.wmf", 5, 2);
  EXPECT_EQ(cvgetfile(none.st, "deps.lst"), "<none>");

  const struct {
    const char* opt;
    const char* source;
    const char* want;
  } paths[] = {
      {"/w", "D:\\docs\\a.doc", "x\\y\\pic.wmf"},
      {"/rf=C:\\dir", "D:\\docs\\a.doc", "C:\\dir\\pic.wmf"},
      {"/rf=C:/dir/", "D:\\docs\\a.doc", "C:/dir/pic.wmf"},
      {"/rf", "D:\\docs\\a.doc", "D:\\docs\\pic.wmf"},
      {"/rf", "a.doc", "pic.wmf"},
  };
  for (const auto& p : paths) {
    cvtestrun r("text", {p.opt});
    char out[64];
    cvdeppath(r.run, p.source, "x\\y\\pic.wmf", out, sizeof out);
    EXPECT_STREQ(out, p.want) << p.opt;
  }
  cvtestrun r("text", {"/rf=C:\\dir"});
  char small[8];
  cvdeppath(r.run, "", "pic.wmf", small, sizeof small);
  EXPECT_STREQ(small, "C:\\dir\\");
}

TEST(Options, ProfileReader) {
  cvtestrun t;
  char out[64];
  EXPECT_EQ(cvfiniget(t.run, "h1", "fontsize", out, sizeof out), -1);  // none open
  cvputfile(t.st, "style.ini",
            "junk before = 1\r\n[H1]\r\nFontSize=12\r\nBold\r\nWeight=700\r\nLong=" + std::string(100, 'L') +
                "\r\n[other]\r\nx=1\r\n[h1]\r\nLater=1\r\n");
  ASSERT_EQ(cvfiniopen(t.run, "style.ini"), 0);
  const struct {
    const char* section;
    const char* key;
    int result;
    const char* value;
  } rows[] = {
      {"h1", "fontsize", 0, "12"},
      {"H1", "FONTSIZE", 0, "12"},
      {"h1", "weight", -1, ""},  // "Bold" on the line before runs into the key
      {"h1", "boldweight", 0, "700"},
      {"h1", "later", -1, ""},   // only the first section of a name is searched
      {"other", "x", 0, "1"},
      {"missing", "x", -1, ""},
      {"h1", "long", 0, nullptr},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(cvfiniget(t.run, r.section, r.key, out, sizeof out), r.result) << r.key;
    if (r.value)
      EXPECT_STREQ(out, r.value) << r.key;
    else
      EXPECT_EQ(std::string(out), std::string(63, 'L'));
  }
  cvfiniclose(t.run);
  EXPECT_EQ(cvfiniget(t.run, "h1", "fontsize", out, sizeof out), -1);
  EXPECT_EQ(cvfiniopen(t.run, "missing.ini"), -1);
}

}  // namespace
