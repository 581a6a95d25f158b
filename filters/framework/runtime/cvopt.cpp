// Run options: the parser of option arguments, option files, command pairs,
// the dependent-file list and the names it is sought under, and the reader of
// ini-style profiles with sections and keys.
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include <cstring>
#include <initializer_list>
#include <strings.h>

namespace {

// What follows a case-insensitive prefix of s, or null when s lacks it.
const char* after(const char* s, const char* prefix) {
  size_t n = std::strlen(prefix);
  return strncasecmp(s, prefix, n) == 0 ? s + n : nullptr;
}

bool is(const char* s, const char* word) { return strcasecmp(s, word) == 0; }

const char* skipeq(const char* s) {
  while (*s == '=') s++;
  return s;
}

void dropstr(cvrun* run, char** slot) {
  if (*slot) cvfree(run, *slot);
  *slot = nullptr;
}

// Replaces an option string by a copy of n bytes of value; false when memory is short.
bool setstrn(cvrun* run, char** slot, const char* value, size_t n) {
  char* c = cvcopyn(run, value, n);
  if (!c) return false;
  dropstr(run, slot);
  *slot = c;
  return true;
}

bool setstr(cvrun* run, char** slot, const char* value) { return setstrn(run, slot, value, std::strlen(value)); }

// A decimal number that makes up the whole of s.
bool number(const char* s, int* out) {
  if (!*s) return false;
  long v = 0;
  for (; *s; s++) {
    if (*s < '0' || *s > '9' || v > 100000000) return false;
    v = v * 10 + (*s - '0');
  }
  *out = static_cast<int>(v);
  return true;
}

bool optb(cvrun* run, const char* rest) {
  if (const char* v = after(rest, "T=")) {
    v = skipeq(v);
    return !*v || setstr(run, &run->opt.bt, v);
  }
  if (convtoupper(*rest) == 'P') return false;
  run->opt.flags |= 0x1;
  return true;
}

bool optc(cvrun* run, const char* rest) {
  if (const char* v = after(rest, "F=")) {
    v = skipeq(v);
    return !*v || setstr(run, &run->params[16], v);
  }
  if (const char* v = after(rest, "P=")) return number(skipeq(v), &run->codepage);
  if (const char* v = after(rest, "MD=")) {
    cvcmdadd(run, skipeq(v));
    return false;  // taken, and still told to the host as unknown
  }
  cvoptfile(run, skipeq(rest));
  return true;
}

bool optg(cvrun* run, const char* rest) {
  struct bits {
    const char* word;
    int set;
  };
  static const bits table[] = {{"D", 0x2},    {"ER", 0x600}, {"RR", 0x10},  {"RE", 0x20}, {"RER", 0x40},
                               {"VX", 0x110}, {"VR", 0x90},  {"VRH", 0x490}, {"X", 0x4}};
  cvopts& o = run->opt;
  if (is(rest, "1")) {
    o.g1 = 1;
    o.gfx = 0;
    return true;
  }
  for (const bits& b : table)
    if (is(rest, b.word)) {
      o.gfx |= b.set;
      return true;
    }
  if (const char* v = after(rest, "TF=")) {
    int n;
    if (!number(skipeq(v), &n)) return false;
    if (o.ngfxexcl < CV_NGFXEXCL) o.gfxexcl[o.ngfxexcl++] = n;
    return true;
  }
  if (const char* v = after(rest, "S")) {
    const char* comma = std::strchr(v, ',');
    if (!comma) return false;
    char first[16];
    size_t n = static_cast<size_t>(comma - v);
    if (n >= sizeof first) return false;
    std::memcpy(first, v, n);
    first[n] = '\0';
    int a, b;
    if (!number(first, &a) || !number(comma + 1, &b)) return false;
    o.gsize[0] = a;
    o.gsize[1] = b;
    return true;
  }
  return false;
}

bool opti(cvrun* run, const char* rest) {
  if (is(rest, "F")) {
    run->opt.flags |= 0x2000;
    return true;
  }
  if (convtoupper(*rest) == 'N') return false;
  run->opt.flags = (run->opt.flags & 0xFFFE) | 0x2;
  return true;
}

bool optn(cvrun* run, const char* rest) {
  if (const char* v = after(rest, "OSIM=")) {
    for (const char* item = skipeq(v); *item;) {
      if (strncasecmp(item, "HYP", 3) == 0) run->opt.osim |= 0x1;
      const char* comma = std::strchr(item, ',');
      if (!comma) break;
      item = comma + 1;
    }
    return true;
  }
  if (convtoupper(*rest) == 'R') {
    if (!setstr(run, &run->params[9], rest + 1)) return false;
    run->opt.flags |= 0x200;
    return true;
  }
  run->opt.flags |= 0x80;
  return true;
}

bool opto(cvrun* run, const char* rest) {
  static const char* const words[] = {"O", "N", "P"};
  for (int i = 0; i < 3; i++)
    if (is(rest, words[i])) {
      run->opt.oflags = (run->opt.oflags & ~0x7) | (1 << i);
      return true;
    }
  if (is(rest, "D")) {
    run->opt.oflags |= 0x8;
    return true;
  }
  return false;
}

bool optp(cvrun* run, const char* rest) {
  if (!*rest) {
    run->opt.flags |= 0x40;
    return true;
  }
  if (is(rest, "C")) {
    run->opt.flags |= 0x28;
    return true;
  }
  if (is(rest, "E")) {
    run->opt.flags |= 0x8;
    return true;
  }
  if (const char* v = after(rest, "E=")) {
    if (!setstr(run, &run->opt.pe, skipeq(v))) return false;
    run->opt.flags |= 0x8;
    return true;
  }
  return false;
}

bool optr(cvrun* run, const char* rest) {
  if (const char* v = after(rest, "L=")) return setstr(run, &run->opt.rlname, skipeq(v));
  if (const char* v = after(rest, "F=")) {
    if (!setstr(run, &run->opt.rfdir, skipeq(v))) return false;
    run->opt.rfflag = 1;
    return true;
  }
  if (is(rest, "F")) {
    run->opt.rfflag = 1;
    return true;
  }
  if (!setstr(run, &run->params[9], rest)) return false;
  run->opt.flags |= 0x100;
  return true;
}

bool optt(cvrun* run, const char* rest) {
  if (is(rest, "W")) {
    run->opt.flags |= 0x1000;
    return true;
  }
  if (*rest != '=') return false;
  const char* v = skipeq(rest);
  if (!setstr(run, &run->params[2], v)) return false;
  size_t d = cvdirlen(v);
  return d == 0 || setstrn(run, &run->params[3], v, d);
}

// Reads the next byte of the profile, -1 at its end.
int pgetc(cvrun* run) { return cvsgetc(run, run->profile); }

// Reads a name up to one of the stop bytes (or the end), dropping bytes
// below 32 and keeping at most 83; the stop byte read, or -1.
int pname(cvrun* run, char* out, const char* stops) {
  int n = 0, c;
  while ((c = pgetc(run)) != -1 && !std::strchr(stops, c)) {
    if (c < 32) continue;
    if (n < 83) out[n++] = static_cast<char>(c);
  }
  out[n] = '\0';
  return c;
}

}  // namespace

void cvoptparse(cvrun* run, const char* arg) {
  if (!arg) return;
  const char* p = arg;
  if (*p == '-' || *p == '/') p++;
  int letter = convtoupper(static_cast<unsigned char>(*p));
  const char* rest = *p ? p + 1 : p;
  bool ok;
  switch (letter) {
    case 'B': ok = optb(run, rest); break;
    case 'C': ok = optc(run, rest); break;
    case 'D':
      ok = is(rest, "T");
      if (ok) run->opt.deloutput = 0;
      break;
    case 'E': ok = *rest == '=' && setstr(run, &run->params[18], skipeq(rest)); break;
    case 'F': ok = setstr(run, &run->opt.f, skipeq(rest)); break;
    case 'G': ok = optg(run, rest); break;
    case 'I': ok = opti(run, rest); break;
    case 'M': {
      const char* v = after(rest, "Z=");
      ok = v && setstr(run, &run->params[11], skipeq(v));
      break;
    }
    case 'N': ok = optn(run, rest); break;
    case 'O': ok = opto(run, rest); break;
    case 'P': ok = optp(run, rest); break;
    case 'R': ok = optr(run, rest); break;
    case 'S':
      ok = std::strlen(rest) >= 2 && setstr(run, &run->opt.s, rest);
      if (ok) run->opt.sflag = 1;
      break;
    case 'T': ok = optt(run, rest); break;
    case 'V': ok = setstr(run, &run->params[4], rest); break;
    case 'W':
      ok = !*rest;
      if (ok) run->opt.wflag = 0;
      break;
    case 'X':
      ok = std::strlen(rest) >= 3 && setstr(run, &run->opt.x, rest);
      if (ok) run->opt.xflag = 1;
      break;
    case 'Z':
      convhostoptz(run);
      ok = true;
      break;
    default: ok = false;
  }
  if (!ok) convhostbadopt(run, letter, rest);
}

void cvargs(cvrun* run, int argc, const char** argv) {
  for (int i = 2; i < argc; i++) cvoptparse(run, argv[i]);
  if (argc > 1 && argv[1]) setstr(run, &run->params[run->inflag == 1 ? 0 : 1], argv[1]);
  if (!run->params[2]) setstr(run, &run->params[2], "vtl99int.tmp");
}

void cvoptreset(cvrun* run) {
  for (char*& p : run->params) p = nullptr;
  cvopts& o = run->opt;
  std::memset(&o, 0, sizeof o);
  o.flags = 1;
  o.oflags = 4;
  run->profile = -1;
}

void cvoptfree(cvrun* run) {
  for (char*& p : run->params) dropstr(run, &p);
  cvopts& o = run->opt;
  for (char** s : {&o.pe, &o.bt, &o.f, &o.s, &o.x, &o.rfdir, &o.rlname}) dropstr(run, s);
  for (int i = 0; i < o.cmd.count; i++) {
    dropstr(run, &o.cmd.key[i]);
    dropstr(run, &o.cmd.value[i]);
  }
  cvoptreset(run);
}

void cvoptfile(cvrun* run, const char* name) {
  // An option file may name another, or itself: the nesting stops at a depth.
  if (!name || run->opt.filedepth >= CV_OPTDEPTH) return;
  long size = cvfsize(run, name);
  if (size <= 0) return;
  auto* text = static_cast<char*>(cvalloc(run, static_cast<size_t>(size) + 10));
  if (!text) return;
  int h = cvfopen(run, name, 1, 1);
  int got = h < 0 ? -1 : cvfread(run, h, text, static_cast<int>(size));
  if (h >= 0) cvfclose(run, h);
  if (got == size) {
    long n = 0;
    while (n < size && text[n] != 26) n++;
    text[n] = '\r';
    text[n + 1] = '\n';
    text[n + 2] = '\0';
    run->opt.filedepth++;
    char line[1024];
    const char* p = text;
    while (*p == ' ') p++;
    while (*p) {
      int len = 0;
      for (; *p && *p != '\r' && *p != '\n'; p++)
        if (len < 1023) line[len++] = *p;
      line[len] = '\0';
      while (*p == '\r' || *p == '\n') p++;
      cvoptparse(run, line);
    }
    run->opt.filedepth--;
  }
  cvfree(run, text);
}

void cvcmdadd(cvrun* run, const char* text) {
  cvcmdpairs& c = run->opt.cmd;
  if (c.count >= CV_NCMD) return;
  const char* eq = std::strchr(text, '=');
  size_t klen = eq ? static_cast<size_t>(eq - text) : std::strlen(text);
  const char* v = eq ? eq + 1 : text + klen;
  const char* vend = std::strchr(v, '=');
  size_t vlen = vend ? static_cast<size_t>(vend - v) : std::strlen(v);
  char* key = cvcopyn(run, text, klen);
  char* value = key ? cvcopyn(run, v, vlen) : nullptr;
  if (!value) {
    if (key) cvfree(run, key);
    return;
  }
  c.key[c.count] = key;
  c.value[c.count] = value;
  c.count++;
}

int cvcmdget(const cvcmdpairs* pairs, const char* key, const char** value) {
  for (int i = 0; i < pairs->count; i++)
    if (strcasecmp(pairs->key[i], key) == 0) {
      *value = pairs->value[i];
      return 0;
    }
  return 1;
}

long cvhexpair(const char* text) {
  int colon = -1;
  for (int i = 0; i < 9 && text[i]; i++)
    if (text[i] == ':') {
      colon = i;
      break;
    }
  if (colon < 0) return -1;
  auto hex = [](const char* s, int n) {
    long v = 0;
    for (int i = 0, d; (n < 0 || i < n) && (d = cvhexval(s[i])) >= 0; i++) v = (v * 16 + d) & 0xFFFF;
    return v;
  };
  return (hex(text, colon) << 16) | hex(text + colon + 1, -1);
}

void cvdepfile(cvrun* run, const char* name, int encoding, int kind) {
  static const char* const kinds[] = {"",        "ole",        "graphic",  "stylesheet", "text",
                                      "spreadsheet", "formatting", "footnote", "dependent", "sound"};
  if (!run->opt.rlname || !name) return;
  int h = cvfopen(run, run->opt.rlname, 4, 1);
  if (h < 0) return;
  int n = 0;
  if (encoding == 0) {
    while (name[n] || name[n + 1]) n += 2;
    n += 2;  // the zero unit
  } else {
    n = static_cast<int>(std::strlen(name)) + 1;
  }
  cvfwrite(run, h, name, n);
  const char* word = kind >= 0 && kind <= 9 ? kinds[kind] : "?";
  cvfwrite(run, h, word, static_cast<int>(std::strlen(word)));
  cvfwrite(run, h, "\r\n", 2);
  cvfclose(run, h);
}

void cvdeppath(cvrun* run, const char* dirsource, const char* name, char* out, size_t outsize) {
  if (!outsize) return;
  out[0] = '\0';
  auto append = [&](const char* s, size_t n) {
    size_t have = std::strlen(out);
    if (n > outsize - 1 - have) n = outsize - 1 - have;
    std::memcpy(out + have, s, n);
    out[have + n] = '\0';
  };
  if (!run->opt.rfflag) {
    append(name, std::strlen(name));
    return;
  }
  if (const char* d = run->opt.rfdir) {
    size_t n = std::strlen(d);
    append(d, n);
    if (n == 0 || !cvissep(d[n - 1])) append("\\", 1);
  } else if (dirsource) {
    append(dirsource, cvdirlen(dirsource));
  }
  const char* last = name + cvdirlen(name);
  append(last, std::strlen(last));
}

int cvfiniopen(cvrun* run, const char* name) {
  int h = cvsopenr(run, 1024, name);
  if (h < 0) return -1;
  run->profile = h;
  return 0;
}

int cvfiniget(cvrun* run, const char* section, const char* key, char* out, size_t outsize) {
  if (run->profile < 0 || !outsize) return -1;
  out[0] = '\0';
  cvsseek(run, run->profile, 0);
  char name[84];
  for (;;) {
    int c;
    while ((c = pgetc(run)) != -1 && c != '[') {
    }
    if (c == -1 || pname(run, name, "]") == -1) return -1;
    if (strcasecmp(name, section) == 0) break;
  }
  // In the wanted section: keys until one matches, an empty one, or the next section.
  for (;;) {
    int stop = pname(run, name, "=[");
    if (!name[0] || stop != '=') break;
    if (strcasecmp(name, key) == 0) {
      size_t n = 0;
      int c;
      while ((c = pgetc(run)) != -1 && c != '\r' && c != '\n')
        if (n + 1 < outsize) out[n++] = static_cast<char>(c);
      out[n] = '\0';
      break;
    }
    int c;
    while ((c = pgetc(run)) != -1 && c != '\r' && c != '\n') {
    }
    if (c == -1) break;
  }
  return out[0] ? 0 : -1;
}

void cvfiniclose(cvrun* run) {
  if (run->profile >= 0) cvsclose(run, run->profile);
  run->profile = -1;
}
