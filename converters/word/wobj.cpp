// Files a document refers to: the dependent-file list the caller names, to
// which every referenced file is appended with the word of its kind, and
// pictures written into the intermediate records as a link, as the file's
// bytes, or converted by an external converter to the picture format the
// output wants. Everything here is switched by settings the constructor
// leaves at their defaults (no list file, no object flags), which make the
// picture routine fail at once so that its caller links the picture by name.
//
// A name that comes from inside a document is never opened, copied or
// handed to a converter, whatever the flags: only the caller's own names
// are (fromdoc 0).
#include <cstring>

#include "converters/word/wfull.h"

namespace {

enum : int { WR_LINKREC = 18665, WR_INLINE = 18661, WR_OBJDESC = 19600, WR_OBJDATA = 20592 };

constexpr int kblock = 5000;

// Object flags of the state block.
enum : int32_t {
  OF_CONVERT = 1, OF_KEEPTMP = 2, OF_IGNORE = 4, OF_LINKONLY = 16, OF_COPYFILE = 64,
};

void putname(cxstate* st, const char* name) {
  for (; *name; name++) cxputc(st, static_cast<unsigned char>(*name));
  cxputc(st, 31);
}

// Every byte of an open file as two hex digits, read in blocks; false when
// no buffer can be had.
bool hexbytes(cxstate* st, int h) {
  auto* b = static_cast<unsigned char*>(cxalloc(st, kblock));
  if (!b) return false;
  for (int n; (n = cxread(st, h, b, kblock)) > 0;)
    for (int i = 0; i < n; i++) cmputhex2n(st, b[i]);
  cxfree(st, b);
  return true;
}

// The last part of a path: after its last "\", "/" or ":".
const char* basepart(const char* path) {
  const char* b = path;
  for (const char* p = path; *p; p++)
    if (*p == '\\' || *p == '/' || *p == ':') b = p + 1;
  return b;
}

}  // namespace

void ccdeplist(cxstate* st, const char* name, int kind) {
  const char* list = st->mn->listfile;
  if (!list || !*list) return;
  int h = cxopen2(st, list, 4);
  if (h < 0) return;
  static const char* const kwords[] = {"", "ole", "graphic", "stylesheet", "text", "spreadsheet", "formatting",
                                       "footnote", "dependent"};
  const char* word = kind >= 0 && kind <= 8 ? kwords[kind] : "?";
  cxwrite(st, h, name, static_cast<int>(std::strlen(name)) + 1);
  cxwrite(st, h, word, static_cast<int>(std::strlen(word)));
  cxwrite(st, h, "\r\n", 2);
  cxclose(st, h);
}

int ccobjfmt(cxstate*, int format) {
  switch (format) {
    case 1: return 610;
    case 2: return 602;
    case -1: return 0;
    default: return format;
  }
}

int ccobjrec(cxstate* st, const int32_t* obj) {
  cmbegin(st, WR_OBJDESC);
  cmputdec(st, obj[0] == -1 ? 699 : obj[0]);
  for (int k = 2; k < 9; k++) cmputdec(st, obj[k]);
  cmend(st);
  return 0;
}

void ccobjscale(int32_t* obj, int32_t a, int32_t b) {
  if (a == 0 || b == 0) return;
  for (int p = 5; p <= 7; p += 2) {
    int64_t s1 = obj[p], s2 = obj[p + 1];
    // A size of 0 or less is open: it follows the other one and the
    // reported proportions. The products are taken in 64 bits.
    if (s1 <= 0 && s2 <= 0) {
      s1 = b;
      s2 = a;
    } else if (s1 <= 0) {
      s1 = s2 * b / a;
    } else if (s2 <= 0) {
      s2 = s1 * a / b;
    }
    auto clamp = [](int64_t v) {
      return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
    };
    obj[p] = clamp(s1);
    obj[p + 1] = clamp(s2);
  }
}

int ccimport(cxstate* st, int32_t* obj, const char* name, int records, int fromdoc) {
  st->fb->picsize[0] = st->fb->picsize[1] = 0;
  ccdeplist(st, name, 2);
  int32_t flags = st->sb->embflags;
  int fail = st->sb->objmode == 1 ? -1 : 0;
  if (flags & OF_IGNORE) return -1;
  if (flags & OF_LINKONLY) {
    cmbegin(st, WR_LINKREC);
    putname(st, name);
    cmputdec(st, 1);
    cmputdec(st, obj[5]);
    cmputdec(st, obj[6]);
    cmend(st);
    return fail;
  }
  if (!(flags & OF_CONVERT) || fromdoc) return -1;
  // A picture not found as named is looked for beside the document.
  char found[600];
  const char* path = name;
  const char* in = st->mn->inpath;
  if (cxexists(st, name) != 0 && in && *in) {
    const char* dirend = basepart(in);
    const char* base = basepart(name);
    size_t dl = static_cast<size_t>(dirend - in), bl = std::strlen(base);
    if (dl + bl < sizeof found) {
      std::memcpy(found, in, dl);
      std::memcpy(found + dl, base, bl + 1);
      if (cxexists(st, found) == 0) path = found;
    }
  }
  if (flags & OF_COPYFILE) {
    int h = cxopen2(st, path, 1);
    if (h < 0) return -1;
    cmbegin(st, WR_INLINE);
    putname(st, name);
    cmputdec(st, obj[5]);
    cmputdec(st, obj[6]);
    bool ok = hexbytes(st, h);
    cxclose(st, h);
    if (!ok) return -1;
    cxputc(st, 31);
    cmend(st);
    return fail;
  }
  int sub = 0;
  int format = obj[0] == -1 ? cxdetect(st, path, &sub) : ccobjfmt(st, obj[0]);
  if (format < 500 || format > 699) return -1;
  char tmp[700];
  tmp[0] = 0;
  const char* source = path;
  if (format != ccobjfmt(st, st->fb->picfmt)) {
    if (cxfmtveto(st, format, 0) != 0) return -1;
    const char* outpath = st->nm->intfile[0] ? st->nm->intfile : path;
    if (std::strlen(outpath) + 13 > sizeof tmp || cctmpname(st, outpath, tmp) != 0) return -1;
    // The converter's option is the descriptor's variant, one digit.
    int variant = obj[1] < 0 ? 0 : obj[1] % 10;
    if (cxspawn(st, format, 0, path, tmp, variant) != 0) {
      cxunlink(st, tmp);
      return -1;
    }
    source = tmp;
    obj[0] = 0;
  }
  ccobjscale(obj, st->fb->picsize[0], st->fb->picsize[1]);
  int result = fail;
  if (records) {
    int h = cxopen2(st, source, 1);
    if (h < 0) {
      result = -1;
    } else {
      ccobjrec(st, obj);
      cmbegin(st, WR_OBJDATA);
      if (obj[0] == 1) cmputdec(st, 0);
      if (!hexbytes(st, h)) result = -1;
      cxclose(st, h);
      cxputc(st, 31);
      cmend(st);
    }
  }
  if (tmp[0] && !(flags & OF_KEEPTMP)) cxunlink(st, tmp);
  return result;
}
