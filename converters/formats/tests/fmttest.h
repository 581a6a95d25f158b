// Helpers of the converter tests: run an entry on a document in a fresh
// folder, on a state set as a test asks, and see its status, its output and
// what it left behind.
#ifndef KES_CONVERTERS_FORMATS_TESTS_FMTTEST_H
#define KES_CONVERTERS_FORMATS_TESTS_FMTTEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "converters/formats/cvt.h"
#include "converters/runtime/tests/cxtest.h"

namespace ft {

struct result {
  int status;
  std::string out;                 // the output file "out.txt" afterwards
  std::string zones;               // the zone file "zones.txt" afterwards
  std::vector<std::string> files;  // what the run left in its folder, sorted
};

// An entry that runs on a state its caller built.
using stentry = int16_t (*)(cxstate *st, const char *inpath, const char *outpath);

// How a run's state is set before the entry runs on it.
struct setup {
  const char *options = "0";        // the state's option string
  bool zones = false;               // name the zone file "zones.txt" of the run's folder
  const char *outname = "out.txt";  // the output's name in the folder
};

// Runs a conversion on a document ("in.doc"; none: no input file), writing
// to outname, all in a fresh folder; entry(folder, inpath, outpath).
template <class F>
result runin(F &&entry, const std::string *doc, const std::string &outname) {
  cxtestdir d;
  if (doc) d.put("in.doc", *doc);
  int status = entry(d, d.file("in.doc").c_str(), d.file(outname).c_str());
  result r{status, d.get("out.txt"), d.get("zones.txt"), d.files()};
  std::sort(r.files.begin(), r.files.end());
  return r;
}

// Runs an entry that builds its own state.
inline result runwith(cvtentry entry, const std::string *doc, const std::string &outname = "out.txt") {
  return runin([&](const cxtestdir &, const char *in, const char *out) { return entry(in, out); }, doc, outname);
}

// Runs the entry of a converter id from the table.
inline result run(int id, const std::string *doc, const std::string &outname = "out.txt") {
  cvtentry e = nullptr;
  EXPECT_EQ(cvtfind(id, &e), 1);
  return runwith(e, doc, outname);
}
inline result run(int id, const std::string &doc) { return run(id, &doc); }

// Runs an entry on a state built by newst and set as s asks.
inline result runst(stentry entry, cxstate *(*newst)(), const std::string *doc, const setup &s = {}) {
  return runin(
      [&](const cxtestdir &d, const char *in, const char *out) {
        cxstate *st = newst();
        std::strncpy(st->nm->optstr, s.options, sizeof st->nm->optstr - 1);
        if (s.zones) {
          std::string z = d.file("zones.txt");
          st->mn->zonefile = static_cast<char *>(cxalloc(st, z.size() + 1));
          std::memcpy(st->mn->zonefile, z.c_str(), z.size() + 1);
        }
        return entry(st, in, out);
      },
      doc, s.outname);
}
inline result runst(stentry entry, cxstate *(*newst)(), const std::string &doc, const setup &s = {}) {
  return runst(entry, newst, &doc, s);
}

const std::vector<std::string> kin = {"in.doc"}, kinout = {"in.doc", "out.txt"};

// The zones of a run as code{text} for each line of its zone file, the
// text being the output the line covers.
inline std::string zoned(const result &r) {
  std::string z;
  int from, to, code;
  for (const char *p = r.zones.c_str(); std::sscanf(p, "%d, %d, %d", &from, &to, &code) == 3;) {
    z += std::to_string(code) + "{" + r.out.substr(static_cast<size_t>(from), static_cast<size_t>(to - from + 1)) + "}";
    p = std::strchr(p, '\n');
    if (!p) break;
    ++p;
  }
  return z;
}

// A case of a table of documents that end their runs with a status: what
// it shows, the document, the status and the text written before.
struct statuscase {
  const char *name;
  std::string doc;
  int status;
  std::string out;
};

// Checks what a run gave: its status, its output and, when files is given,
// what it left in its folder.
inline void expect(const result &r, int status, const std::string &out,
                   const std::vector<std::string> *files = nullptr) {
  EXPECT_EQ(r.status, status);
  EXPECT_EQ(r.out, out);
  if (files) {
    EXPECT_EQ(r.files, *files);
  }
}

// A case of a table of option strings: the options and the output they give.
struct optcase {
  const char *opts;
  std::string want;
};

// Runs entry on doc once a case, on a state set with the case's options, and
// checks the output; when status is given, the run's status too.
inline void expectoptions(stentry entry, cxstate *(*newst)(), const std::string &doc,
                          std::initializer_list<optcase> cases, std::optional<int> status = {}) {
  for (const optcase &c : cases) {
    SCOPED_TRACE(c.opts);
    result r = runst(entry, newst, doc, {c.opts});
    if (status) {
      EXPECT_EQ(r.status, *status);
    }
    EXPECT_EQ(r.out, c.want);
  }
}

// Converts a document twice through converter id: each run ends with 0,
// writes want and leaves only its input and output, so a second run sees
// nothing of the first.
inline void expectagain(int id, const std::string &doc, const std::string &want) {
  for (int i = 0; i < 2; i++) expect(run(id, doc), 0, want, &kinout);
}

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
