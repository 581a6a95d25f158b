// Message manager: facilities with their message files, the error stack of
// formatted entries, and error frames that a raise jumps back to.
#include "platform/rt/rtint.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/nls/nls.h"

namespace {

// Largest length not above max at which a text of the named character set
// can be cut without splitting a character; a set the national-language
// layer does not know is taken as single-byte.
size_t cutat(const char *csname, const char *s, size_t len, size_t max) {
  const nlscs *cs = nlscsbyname(csname);
  return cs ? nlscut(cs, s, len, max) : (len < max ? len : max);
}

constexpr uint32_t kMsgMagic = 0x6b6d7367;
constexpr size_t kMaxText = 4096;       // longest entry text kept
constexpr size_t kMaxEntries = 4096;    // the stack stops growing here
constexpr int kFrameMismatch = 666;

struct facility {
  std::string name;
  std::string product;
  int num1 = 0, num2 = 0;
  std::map<int, std::string> texts;
};

struct entry {
  int32_t fac;
  int num;
  int sev;
  std::string text;
};

}  // namespace

struct rtmsgmgr {
  uint32_t magic;
  rtctx *rt;
  char cs[65];
  std::vector<facility> facs;
  std::vector<entry> stack;
  rtframe *frames = nullptr;
};

namespace {

bool mm_ok(const rtmsgmgr *mm) { return mm && mm->magic == kMsgMagic; }

void seterr(char *err, size_t errsize, const std::string &s) {
  if (err && errsize) std::snprintf(err, errsize, "%s", s.c_str());
}

// Reads one message file. Format: one message per line, "nnnnn, "text"",
// '#' starts a comment line; \" \\ \n \t escapes inside the text.
bool load_file(const char *path, std::map<int, std::string> &texts, std::string &why) {
  FILE *f = std::fopen(path, "r");
  if (!f) {
    why = std::string("message file ") + path + " cannot be read: " + std::strerror(errno);
    return false;
  }
  char line[8192];
  int lineno = 0;
  bool ok = true;
  while (std::fgets(line, sizeof line, f)) {
    lineno++;
    size_t n = std::strlen(line);
    if (n == sizeof line - 1 && line[n - 1] != '\n') {
      why = "line too long";
      ok = false;
      break;
    }
    const char *p = line;
    while (*p == ' ' || *p == '\t') p++;
    if (*p == '#' || *p == '\n' || *p == '\r' || *p == 0) continue;
    if (!std::isdigit(static_cast<unsigned char>(*p))) { why = "a message number expected"; ok = false; break; }
    long num = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
      num = num * 10 + (*p++ - '0');
      if (num > 99999) break;
    }
    if (num > 99999) { why = "message number above 99999"; ok = false; break; }
    while (*p == ' ' || *p == '\t') p++;
    if (*p++ != ',') { why = "',' expected after the number"; ok = false; break; }
    while (*p == ' ' || *p == '\t') p++;
    if (*p++ != '"') { why = "'\"' expected before the text"; ok = false; break; }
    std::string text;
    bool closed = false;
    while (*p && *p != '\n') {
      if (*p == '"') { closed = true; p++; break; }
      if (*p == '\\') {
        p++;
        if (*p == 'n') text += '\n';
        else if (*p == 't') text += '\t';
        else if (*p == '"' || *p == '\\') text += *p;
        else { why = "unknown escape"; ok = false; break; }
        p++;
        continue;
      }
      text += *p++;
    }
    if (!ok) break;
    if (!closed) { why = "text not closed by '\"'"; ok = false; break; }
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
    if (*p) { why = "unexpected characters after the text"; ok = false; break; }
    if (!texts.emplace(static_cast<int>(num), text).second) {
      why = "message " + std::to_string(num) + " given twice";
      ok = false;
      break;
    }
  }
  if (ok && std::ferror(f)) {
    why = std::string("message file ") + path + " cannot be read: " + std::strerror(errno);
    std::fclose(f);
    return false;
  }
  std::fclose(f);
  if (!ok) why = std::string("message file ") + path + " line " + std::to_string(lineno) + ": " + why;
  return ok;
}

int add_facility(rtmsgmgr *mm, const char *facname, const char *product, int n1, int n2,
                 const char *path, int32_t *facid, char *err, size_t errsize) {
  try {
    facility fac;
    fac.name = facname;
    fac.product = product ? product : "";
    fac.num1 = n1;
    fac.num2 = n2;
    std::string why;
    if (!load_file(path, fac.texts, why)) {
      seterr(err, errsize, why);
      return -1;
    }
    mm->facs.push_back(std::move(fac));
    if (facid) *facid = static_cast<int32_t>(mm->facs.size() - 1);
    return 0;
  } catch (...) {
    seterr(err, errsize, "no memory for the message file");
    return -1;
  }
}

// Renders "FAC-nnnnn: text" into buf. A number without a text shows its
// arguments so that nothing pushed is lost.
int render(const rtmsgmgr *mm, int32_t facid, int num, const rtarg *args, int nargs, char *buf,
           size_t size) {
  const facility *fac = (facid >= 0 && static_cast<size_t>(facid) < mm->facs.size())
                            ? &mm->facs[static_cast<size_t>(facid)]
                            : nullptr;
  char head[40];
  std::snprintf(head, sizeof head, "%s-%05d: ", fac ? fac->name.c_str() : "???", num);
  size_t hl = std::strlen(head);
  if (size <= hl) {
    if (size) buf[0] = 0;
    return LSF_ETRUNC;
  }
  std::memcpy(buf, head, hl + 1);
  const std::string *text = nullptr;
  if (fac) {
    auto it = fac->texts.find(num);
    if (it != fac->texts.end()) text = &it->second;
  }
  if (text) {
    int rc = lsf_run(buf + hl, size - hl, text->c_str(), args, nargs, true);
    return rc < 0 ? rc : rc + static_cast<int>(hl);
  }
  // no text: the number and every argument
  std::string s = "message text not found";
  for (int i = 0; i < nargs; i++) {
    char one[1024];
    lsf_run(one, sizeof one, "%s", &args[i], 1, true);
    s += i == 0 ? "; arguments: [" : ", [";
    s += one;
    s += "]";
  }
  size_t room = size - hl - 1;
  size_t n = s.size() < room ? s.size() : room;
  std::memcpy(buf + hl, s.data(), n);
  buf[hl + n] = 0;
  return n < s.size() ? LSF_ETRUNC : static_cast<int>(hl + n);
}

void push_entry(rtmsgmgr *mm, int32_t facid, int num, int sev, const rtarg *args, int nargs) {
  try {
    char buf[kMaxText];
    int rc = render(mm, facid, num, args, nargs, buf, sizeof buf);
    size_t len = std::strlen(buf);
    // A text cut at the buffer's end keeps whole characters only; buf[len]
    // is the NUL, so asking for one byte more reads nothing beyond it.
    if (rc == LSF_ETRUNC) len = cutat(mm->cs, buf, len + 1, len);
    entry e{facid, num, sev, std::string(buf, len)};
    if (mm->stack.size() >= kMaxEntries) {
      // A full stack keeps its last place for the most severe late message,
      // so that a fatal error is never lost.
      if (sev >= mm->stack.back().sev) mm->stack.back() = std::move(e);
      return;
    }
    mm->stack.push_back(std::move(e));
  } catch (...) {
    // no memory for the entry: nothing to report it with
  }
}

void pad_internal(const rtarg *args, int nargs, rtarg *out, int &n) {
  n = 0;
  for (int i = 0; i < nargs && n < RTARG_MAX; i++) out[n++] = args[i];
  while (n < 7) {
    rtarg a{};
    a.type = RTA_STR;
    a.u.s = "";
    out[n++] = a;
  }
}

}  // namespace

rtmsgmgr *rtmsgnew(rtctx *rt, void *area, size_t areasize, const char *csname) {
  auto *mm = new (std::nothrow) rtmsgmgr();
  if (!mm) return nullptr;
  mm->magic = kMsgMagic;
  mm->rt = rt;
  std::snprintf(mm->cs, sizeof mm->cs, "%s", csname ? csname : "");
  if (area && areasize >= sizeof(void *)) std::memcpy(area, &mm, sizeof mm);
  return mm;
}

void rtmsgfre(rtmsgmgr *mm) {
  if (!mm_ok(mm)) return;
  mm->magic = 0;
  delete mm;
}

int rtmsgfacfile(rtmsgmgr *mm, const char *facility, const char *path, int32_t *facid, char *err,
                 size_t errsize) {
  if (!mm_ok(mm) || !facility || !path) {
    seterr(err, errsize, "bad arguments to the message file load");
    return -1;
  }
  return add_facility(mm, facility, "", 0, 0, path, facid, err, errsize);
}

int rtmsgfac(rtmsgmgr *mm, const char *facility, const char *product, int num1, int num2,
             int32_t *facid, char *err, size_t errsize) {
  if (!mm_ok(mm) || !facility || !*facility || std::strlen(facility) > 8) {
    seterr(err, errsize, "bad facility name");
    return -1;
  }
  char home[2048];
  if (rtcfg(mm->rt, "KESTRIN_HOME", home, sizeof home) < 0) {
    seterr(err, errsize, "KESTRIN_HOME is not set: the message file cannot be found");
    return -1;
  }
  std::string path = std::string(home) + "/messages/";
  for (const char *p = facility; *p; p++) path += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  path += ".msg";
  return add_facility(mm, facility, product, num1, num2, path.c_str(), facid, err, errsize);
}

int rtmsgtexts(const rtmsgmgr *mm, int32_t facid) {
  if (!mm_ok(mm) || facid < 0 || static_cast<size_t>(facid) >= mm->facs.size()) return -1;
  return static_cast<int>(mm->facs[static_cast<size_t>(facid)].texts.size());
}

void rtmsgpush(rtmsgmgr *mm, int32_t facid, int num, int sev, const rtarg *args, int nargs) {
  if (!mm_ok(mm)) return;
  push_entry(mm, facid, num, sev, args, nargs < 0 ? 0 : nargs);
}

// Reads a message's argument list into args; an unreadable list keeps the
// message and shows that its arguments were bad. Returns the count.
static int readargs(va_list ap, rtarg *args) {
  int n = rtargget(ap, args, RTARG_MAX);
  if (n < 0) {
    rtarg a{};
    a.type = RTA_STR;
    a.u.s = "(bad argument list)";
    args[0] = a;
    n = 1;
  }
  return n;
}

void rtmsgpushv(rtmsgmgr *mm, int32_t facid, int num, int sev, va_list ap) {
  rtarg args[RTARG_MAX];
  int n = readargs(ap, args);
  rtmsgpush(mm, facid, num, sev, args, n);
}

void rtmsgipush(rtmsgmgr *mm, int32_t facid, int num, int sev, const rtarg *args, int nargs) {
  rtarg all[RTARG_MAX];
  int n;
  pad_internal(args, nargs < 0 ? 0 : nargs, all, n);
  rtmsgpush(mm, facid, num, sev, all, n);
}

void rtmsgipushv(rtmsgmgr *mm, int32_t facid, int num, int sev, va_list ap) {
  rtarg args[RTARG_MAX];
  int n = readargs(ap, args);
  rtmsgipush(mm, facid, num, sev, args, n);
}

int rtmsgcnt(const rtmsgmgr *mm) { return mm_ok(mm) ? static_cast<int>(mm->stack.size()) : 0; }

int rtmsgnum(const rtmsgmgr *mm, int idx) {
  if (!mm_ok(mm) || idx < 1 || static_cast<size_t>(idx) > mm->stack.size()) return -1;
  return mm->stack[static_cast<size_t>(idx - 1)].num;
}

int rtmsgsev(const rtmsgmgr *mm, int idx) {
  if (!mm_ok(mm) || idx < 1 || static_cast<size_t>(idx) > mm->stack.size()) return -1;
  return mm->stack[static_cast<size_t>(idx - 1)].sev;
}

int rtmsgtxt(const rtmsgmgr *mm, int idx, char *buf, size_t size) {
  if (!mm_ok(mm) || idx < 1 || static_cast<size_t>(idx) > mm->stack.size() || !buf || size == 0)
    return -1;
  const std::string &t = mm->stack[static_cast<size_t>(idx - 1)].text;
  size_t n = cutat(mm->cs, t.data(), t.size(), size - 1);
  std::memcpy(buf, t.data(), n);
  buf[n] = 0;
  return static_cast<int>(n);
}

void rtmsgclr(rtmsgmgr *mm) {
  if (mm_ok(mm)) mm->stack.clear();
}

int rtmsgdel(rtmsgmgr *mm, int idx) {
  if (!mm_ok(mm) || idx < 1 || static_cast<size_t>(idx) > mm->stack.size()) return 1;
  mm->stack.erase(mm->stack.begin() + (idx - 1));
  return 0;
}

const char *rtmsgcs(const rtmsgmgr *mm) { return mm_ok(mm) ? mm->cs : ""; }

int rtmsgfmt(rtmsgmgr *mm, int32_t facid, int num, const rtarg *args, int nargs, char *buf,
             size_t size) {
  if (!mm_ok(mm) || !buf) return LSF_EFORMAT;
  return render(mm, facid, num, args, nargs < 0 ? 0 : nargs, buf, size);
}

void rtfrmpush(rtmsgmgr *mm, rtframe *fr) {
  if (!mm_ok(mm) || !fr) return;
  fr->prev = mm->frames;
  fr->mm = mm;
  fr->caught = 0;
  fr->inhandler = 0;
  fr->num = 0;
  fr->sev = 0;
  fr->text[0] = 0;
  mm->frames = fr;
}

int rtfrmraise(rtmsgmgr *mm, int32_t facid, int num, int sev, ...) {
  if (!mm_ok(mm)) return 1;
  va_list ap;
  va_start(ap, sev);
  rtmsgpushv(mm, facid, num, sev, ap);
  va_end(ap);
  rtframe *fr = mm->frames;
  while (fr && fr->inhandler) fr = fr->prev;
  if (!fr) return 1;
  // Frames above the target are abandoned by the jump.
  mm->frames = fr;
  fr->caught = 1;
  fr->num = num;
  fr->sev = sev;
  rtmsgtxt(mm, rtmsgcnt(mm), fr->text, sizeof fr->text);
  std::longjmp(fr->jb, 1);
}

void rtfrmenter(rtmsgmgr *mm, rtframe *fr) {
  if (mm_ok(mm) && fr) fr->inhandler = 1;
}

void rtfrmleave(rtmsgmgr *mm, rtframe *fr) {
  if (mm_ok(mm) && fr) fr->inhandler = 0;
}

int rtfrmpop(rtmsgmgr *mm, rtframe *fr, int32_t facid) {
  if (!mm_ok(mm) || !fr) return 1;
  if (mm->frames == fr) {
    mm->frames = fr->prev;
    return 0;
  }
  // Not on top: drop everything down to and including the caller's frame
  // (those frames belong to code that has returned), when it is there at all.
  for (rtframe *p = mm->frames; p; p = p->prev) {
    if (p == fr) {
      mm->frames = fr->prev;
      break;
    }
  }
  push_entry(mm, facid, kFrameMismatch, 2, nullptr, 0);
  return 1;
}

rtframe *rtfrmtop(const rtmsgmgr *mm) { return mm_ok(mm) ? mm->frames : nullptr; }
