// Test-side helpers of the writer: a run with the writer's hooks installed
// whose writer calls are read back as COM, and builders for the expected
// records. No test framework here; the runtime's helpers come along.
#ifndef KES_FILTERS_FRAMEWORK_WRITER_TESTS_CWTEST_H
#define KES_FILTERS_FRAMEWORK_WRITER_TESTS_CWTEST_H

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/framework/writer/cw.h"

// Installs the writer's run hooks for the life of the object.
struct cwhookscope {
  const cvhooks* old;
  cwhookscope() : old(cvsethooks(&cwhooks)) {}
  ~cwhookscope() { cvsethooks(old); }
  cwhookscope(const cwhookscope&) = delete;
  cwhookscope& operator=(const cwhookscope&) = delete;
};

// A run as the driver builds it, started with the writer's hooks and with
// its output open. com() is what the output received since the last mark;
// settle() does the first flush (the document's opening records, the page
// records of the run's start and the default font) and marks after it, so
// that a test sees only what its own calls write.
struct cwtestrun : cwhookscope {
  cvtestrun t;
  cvrun* run;
  cwstate* w;
  size_t mark = 0;

  explicit cwtestrun(std::initializer_list<const char*> options = {}, int format = 1)
      : t("text", options, format), run(t.run), w(t.run->writer) {}

  void settle() {
    cwflush(run, 1);
    marknow();
  }
  void marknow() { mark = t.com().size(); }
  std::string com() { return t.com().substr(mark); }
  std::string show() { return comshow(com()); }
  // Character output: pending format first, then the string's bytes.
  void text(const std::string& s) { cwputs(run, s.c_str()); }
};

// Writer calls on a test run, and calls that need no more than the run.
using cwcalls = std::function<void(cwtestrun&)>;
using cwruncalls = std::function<void(cvrun*)>;

// A row of a table of writer calls: what it shows, the calls and the
// records they must write.
template <class Calls>
struct cwcallrow {
  const char* what;
  Calls run;
  std::string want;
};

// What calls write on a settled run, shown as comshow shows it; then, when
// given, runs on the run after the calls (a flush, or checks of its state).
inline std::string cwwrites(const cwcalls& calls, const cwcalls& then = nullptr) {
  cwtestrun t;
  t.settle();
  calls(t);
  if (then) then(t);
  return t.show();
}
inline std::string cwwrites(const cwruncalls& calls, const cwcalls& then = nullptr) {
  return cwwrites([&](cwtestrun& t) { calls(t.run); }, then);
}

// Records with decimal fields, for expectations: rec(20546, {500}).
inline std::string rec(int code, std::initializer_list<int> fields = {}) {
  std::string s;
  char t[4];
  comcodeunpack(code, t);
  s = std::string("\x1B\x1D") + t;
  for (int v : fields) s += std::to_string(v) + '\x1F';
  return s + '\x1E';
}

// A record with fields given as they are written (hex digits, strings).
inline std::string recs(int code, std::initializer_list<std::string> fields) { return comrec(code, fields); }

// The same with the fields in a vector, for long records.
inline std::string recv(int code, const std::vector<std::string>& fields) {
  std::string s = comrec(code, {});
  s.pop_back();
  for (const std::string& f : fields) s += f + '\x1F';
  return s + '\x1E';
}

// Record 4560 of nine list levels, each given as its six fields; an empty
// entry is an undefined level.
inline std::string levelsrec(const std::vector<std::vector<std::string>>& levels) {
  std::vector<std::string> f = {"9"};
  for (size_t i = 0; i < 9; i++) {
    std::vector<std::string> l = i < levels.size() && !levels[i].empty() ? levels[i]
                                                                         : std::vector<std::string>{"1", "", "0", "0", ".", "0"};
    f.insert(f.end(), l.begin(), l.end());
  }
  return recv(4560, f);
}

// A 16-bit string of ASCII text in a byte order (1 big-endian), with its
// terminating unit.
inline std::string wide(const std::string& ascii, int bigendian = 0) {
  std::string s;
  for (char c : ascii) s += bigendian ? std::string{'\0', c} : std::string{c, '\0'};
  return s + std::string(2, '\0');
}

// Whether COM is well formed: every record opened with ESC GS and closed by
// its RS, and no other control byte outside a record.
inline bool comwellformed(const std::string& com) {
  int depth = 0;
  for (size_t i = 0; i < com.size(); i++) {
    unsigned char c = static_cast<unsigned char>(com[i]);
    if (c == COM_ESC) {
      if (i + 1 >= com.size() || com[i + 1] != COM_GS) return false;
      depth++;
    } else if (c == COM_RS) {
      if (--depth < 0) return false;
    } else if (c < 32 && c != COM_GS && c != COM_US && depth == 0) {
      return false;
    }
  }
  return depth == 0;
}

#endif
