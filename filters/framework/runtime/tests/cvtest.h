// Test-side helpers of the filter framework: a host of the five callbacks
// over a byte buffer, a run harness whose output is read back as COM, a
// scope that installs a reader, and builders and a renderer of COM records.
// No test framework here.
#ifndef KES_FILTERS_FRAMEWORK_RUNTIME_TESTS_CVTEST_H
#define KES_FILTERS_FRAMEWORK_RUNTIME_TESTS_CVTEST_H

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "converters/runtime/comcodes.h"
#include "filters/framework/runtime/cv.h"

// ---------------------------------------------------------------- the test host

// The document as a byte buffer and a heap like the server's per-command
// heap: zero-filled blocks of size + 3 bytes, every one still held freed
// when the host goes. `refuse` may turn any allocation down.
struct cvtesthost {
  std::string doc;
  long pos = 0;
  int readcap = 32767;  // the largest read the host answers at once
  std::set<void*> blocks;
  std::function<bool(size_t)> refuse;

  explicit cvtesthost(std::string d = {}) : doc(std::move(d)) {}
  cvtesthost(const cvtesthost&) = delete;
  cvtesthost& operator=(const cvtesthost&) = delete;
  ~cvtesthost() {
    for (void* b : blocks) std::free(b);
  }

  static cvtesthost* of(void* user) { return static_cast<cvtesthost*>(user); }
  static int read(void* user, void* buf, int len, int* count) {
    cvtesthost* h = of(user);
    long left = static_cast<long>(h->doc.size()) - h->pos;
    int n = len < h->readcap ? len : h->readcap;
    if (n > left) n = left > 0 ? static_cast<int>(left) : 0;
    if (n > 0) std::memcpy(buf, h->doc.data() + h->pos, n);
    h->pos += n;
    *count = n;
    return n;
  }
  static long seek(void* user, long offset, int origin) {
    cvtesthost* h = of(user);
    long base = origin == 0 ? 0 : origin == 1 ? h->pos : static_cast<long>(h->doc.size());
    if (base + offset < 0) return -1;
    return h->pos = base + offset;
  }
  static long tell(void* user, long* pos) { return *pos = of(user)->pos; }
  static void* alloc(void* user, size_t size) {
    cvtesthost* h = of(user);
    if (h->refuse && h->refuse(size)) return nullptr;
    void* b = std::calloc(1, size + 3);
    if (b) h->blocks.insert(b);
    return b;
  }
  static int free(void* user, void* block) {
    if (of(user)->blocks.erase(block)) std::free(block);
    return 0;
  }
  static const convhostcb* callbacks() {
    static const convhostcb cb = {read, seek, tell, alloc, free};
    return &cb;
  }
  convstate* open() { return convopen(this, callbacks()); }
};

// The whole plain text (or intermediate file) pulled in chunks of len bytes;
// "<fail>" when a pull returned -1.
inline std::string cvpullall(convstate* st, int len, bool text = true) {
  std::string out;
  std::string buf(len > 0 ? len : 1, '\0');
  for (;;) {
    int n = -2;
    int r = text ? convgettext(st, buf.data(), len, &n) : convgetint(st, buf.data(), len, &n);
    if (r == -1) return "<fail>";
    if (n <= 0) return out;
    out.append(buf.data(), n);
  }
}

// The words of a text, lower-cased: runs of letters and digits.
inline std::vector<std::string> cvwords(const std::string& t) {
  std::vector<std::string> w;
  std::string cur;
  for (char c : t + " ") {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      cur += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!cur.empty()) {
      w.push_back(cur);
      cur.clear();
    }
  }
  return w;
}

// ---------------------------------------------------------------- memory files

// Writes a memory file of the filter state whole.
inline void cvputfile(convstate* st, const std::string& name, const std::string& bytes) {
  int h = convmfcreate(st, name.c_str(), 2);
  convmfput(st, h, bytes.data(), static_cast<int>(bytes.size()));
  convmfshut(st, h);
}

// Reads a memory file of the filter state whole; "<none>" when it is missing.
inline std::string cvgetfile(convstate* st, const std::string& name) {
  int h = convmfcreate(st, name.c_str(), 1);
  if (h < 0) return "<none>";
  long len = convmfpos(st, h, 0, 2);
  convmfpos(st, h, 0, 0);
  std::string out(len, '\0');
  convmfget(st, h, out.data(), static_cast<int>(len));
  convmfshut(st, h);
  return out;
}

// ---------------------------------------------------------------- run harness

// Runs f inside a conversion's return point: its result, or -1 after a fatal
// unwind (as a pull would see it).
inline int cvguarded(const std::function<int()>& f) {
  return convguard([](void* a) { return (*static_cast<const std::function<int()>*>(a))(); },
                   const_cast<std::function<int()>*>(&f));
}

// A run as the driver builds it (argument vector "", "source.doc", "/v0",
// "/t=kvj99int.tmp", plus any further options), started with cvinit and with
// its output stream open, so that writer calls can be tested without a
// reader; com() reads back what went to the output so far.
struct cvtestrun {
  cvtesthost host;
  convstate* st;
  cvrun* run;
  const char* args[16] = {};
  int argc = 0;

  explicit cvtestrun(std::string doc = "text", std::initializer_list<const char*> options = {},
                     int format = 1, int outpage = 2048)
      : host(std::move(doc)) {
    st = host.open();
    convsetup(st);
    run = st->run;
    for (int i = 0; i < st->argc; i++) args[argc++] = st->argv[i];
    for (const char* o : options)
      if (argc < 15) args[argc++] = o;
    cvinit(run, argc, args, 1, format, 1);
    if (outpage > 0) cvopenout(run, outpage);
  }
  ~cvtestrun() {
    cvguarded([this] { return cvshutdown(run); });
  }
  cvtestrun(const cvtestrun&) = delete;
  cvtestrun& operator=(const cvtestrun&) = delete;

  // The bytes of a stream from its start; the stream's position is kept.
  std::string streambytes(int h) {
    long here = cvstell(run, h), size = cvssize(run, h);
    std::string out(size > 0 ? size : 0, '\0');
    cvsseek(run, h, 0);
    int n = cvsread(run, h, out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    cvsseek(run, h, here);
    return out;
  }
  std::string com() { return streambytes(run->out); }
  // Makes bytes the current input: a memory file read through a paged stream.
  int input(const std::string& bytes, int pagesize = 256, const char* name = "input.tmp") {
    cvputfile(st, name, bytes);
    int h = cvsopenr(run, pagesize, name);
    run->in = h;
    return h;
  }
  // The rest of the current input.
  std::string rest() {
    std::string s;
    for (int c; (c = cvsgetc(run, run->in)) != -1;) s += static_cast<char>(c);
    return s;
  }
};

// ---------------------------------------------------------------- readers

// Installs a reader for a format code for the life of the object.
struct cvreaderscope {
  int format;
  rdrentry old;
  cvreaderscope(int f, rdrentry e) : format(f), old(convsetreader(f, e)) {}
  ~cvreaderscope() { convsetreader(format, old); }
  cvreaderscope(const cvreaderscope&) = delete;
  cvreaderscope& operator=(const cvreaderscope&) = delete;
};

// ---------------------------------------------------------------- COM text

// One record: ESC GS, the code's three characters, each field and US, RS.
inline std::string comrec(int code, std::initializer_list<std::string> fields = {}) {
  char t[4];
  comcodeunpack(code, t);
  std::string s = "\x1B\x1D";
  s += t;
  for (const std::string& f : fields) s += f + '\x1F';
  return s + '\x1E';
}

// COM rendered for reading: a record as [DID 1,0,00000000,0] with its
// mnemonic and fields (nested records rendered inside), text as it is,
// other control bytes as \xNN.
inline std::string comshow(const std::string& com) {
  std::string out;
  int depth = 0;
  bool infields = false;
  for (size_t i = 0; i < com.size(); i++) {
    unsigned char c = static_cast<unsigned char>(com[i]);
    if (c == 0x1B && i + 4 < com.size() && com[i + 1] == 0x1D) {
      out += '[';
      out += com.substr(i + 2, 3);
      i += 4;
      depth++;
      infields = false;
      continue;
    }
    if (depth > 0 && c == 0x1F) {
      infields = true;
      out += ',';
      continue;
    }
    if (depth > 0 && c == 0x1E) {
      if (!out.empty() && out.back() == ',') out.pop_back();
      out += ']';
      depth--;
      continue;
    }
    if (depth > 0 && !infields && out.back() != ' ' && out.back() != ',') {
      out += ' ';
      infields = true;
    }
    if (c < 32 || c >= 127) {
      char x[8];
      std::snprintf(x, sizeof x, "\\x%02X", c);
      out += x;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

#endif
