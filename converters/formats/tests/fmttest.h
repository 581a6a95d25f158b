// Helpers of the converter tests of this folder: run an entry on a document
// in a fresh folder and see its status, its output and what it left behind.
#ifndef KES_CONVERTERS_FORMATS_TESTS_FMTTEST_H
#define KES_CONVERTERS_FORMATS_TESTS_FMTTEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "converters/formats/cvt.h"
#include "converters/runtime/tests/cxtest.h"

namespace ft {

struct result {
  int status;
  std::string out;                 // the output file "out.txt" afterwards
  std::vector<std::string> files;  // what the run left in its folder, sorted
};

// An entry that runs on a state its caller built.
using stentry = int16_t (*)(cxstate *st, const char *inpath, const char *outpath);

// Runs a conversion on a document ("in.doc"; none: no input file), writing
// to outname, all in a fresh folder.
template <class F>
result runwith(F &&entry, const std::string *doc, const std::string &outname) {
  cxtestdir d;
  if (doc) d.put("in.doc", *doc);
  result r{entry(d.file("in.doc").c_str(), d.file(outname).c_str()), d.get("out.txt"), d.files()};
  std::sort(r.files.begin(), r.files.end());
  return r;
}

// Runs the entry of a converter id from the table.
inline result run(int id, const std::string &doc) {
  cvtentry e = nullptr;
  EXPECT_EQ(cvtfind(id, &e), 1);
  return runwith(e, &doc, "out.txt");
}

// Runs an entry on a state built by newst with the option string opts.
inline result runopts(stentry entry, cxstate *(*newst)(), const char *opts, const std::string &doc) {
  return runwith(
      [&](const char *in, const char *out) {
        cxstate *st = newst();
        std::strcpy(st->nm->optstr, opts);
        return entry(st, in, out);
      },
      &doc, "out.txt");
}

// Runs an entry whose state carries a zone-file name.
inline result runzones(stentry entry, cxstate *(*newst)(), const std::string &doc) {
  return runwith(
      [&](const char *in, const char *out) {
        cxstate *st = newst();
        st->mn->zonefile = static_cast<char *>(cxalloc(st, 16));
        std::strcpy(st->mn->zonefile, "zones.txt");
        return entry(st, in, out);
      },
      &doc, "out.txt");
}

const std::vector<std::string> kin = {"in.doc"}, kinout = {"in.doc", "out.txt"};

// The files every entry is run with for the frame's failures: a missing
// input (1), an output in a missing folder and an output name too long for
// the state (3). Each leaves no output behind.
inline void framefailures(int id, const std::string &doc, int noinput = CX_NOINPUT) {
  cvtentry e = nullptr;
  ASSERT_EQ(cvtfind(id, &e), 1);
  struct {
    const char *name;
    bool input;
    std::string out;
    int status;
    std::vector<std::string> left;
  } cases[] = {{"missing input", false, "out.txt", noinput, {}},
               {"missing folder", true, "missing/out.txt", CX_NOOUTPUT, kin},
               {"overlong output name", true, std::string(300, 'o'), CX_NOOUTPUT, kin}};
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = runwith(e, c.input ? &doc : nullptr, c.out);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.files, c.left);
  }
}

}  // namespace ft

#endif
