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
// are (fromdoc 0). Embedded objects come from a byte source and are only
// ever copied into temporary files of our own naming; the dependent path
// is built, never opened.
#include <cstring>

#include "converters/word/wfull.h"

namespace {

enum : int { WR_LINKREC = 18665, WR_INLINE = 18661, WR_OBJDESC = 19600, WR_OBJDATA = 20592, WR_RAWOBJ = 3376 };

constexpr int kblock = 5000;

// Object flags of the state block.
enum : int32_t {
  OF_CONVERT = 1, OF_KEEPTMP = 2, OF_IGNORE = 4, OF_LINKONLY = 16, OF_COPYFILE = 64, OF_LINKTMP = 128,
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

bool issep(char c) { return c == '\\' || c == '/' || c == ':'; }

// The picture data record of a descriptor: its leading 0 for a Windows
// Metafile, then the bytes of an open file.
bool datarec(cxstate* st, const int32_t* obj, int h) {
  cmbegin(st, WR_OBJDATA);
  if (obj[0] == 1) cmputdec(st, 0);
  bool ok = hexbytes(st, h);
  cxputc(st, 31);
  cmend(st);
  return ok;
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

int ccobjout(cxstate* st, int32_t* obj, ccbytesrc src, void* ctx, int records) {
  int32_t flags = st->sb->embflags;
  if (flags & OF_IGNORE) return -1;
  if (st->sb->descronly & 1) {
    ccobjrec(st, obj);
    return -1;
  }
  if (st->sb->objmode != 1 && (flags & OF_CONVERT) && ccobjfmt(st, obj[0]) != ccobjfmt(st, st->fb->picfmt)) {
    int r = ccobjconv(st, obj, src, ctx, records);
    if (r != -1) return r;
  }
  if (obj[0] == 2) {
    // A QuickDraw picture goes raw, its sizes in points.
    cmbegin(st, WR_RAWOBJ);
    cmputdec(st, 0);
    cmputdec(st, 0);
    cmputdec(st, 0);
    cmputdec(st, obj[6] / 20);
    cmputdec(st, obj[5] / 20);
    cmputdec(st, 0);
    for (int c; (c = src(st, ctx)) >= 0;) {
      cmputhex2n(st, c & 0xFF);
      cxputc(st, 31);
    }
    cmend(st);
    return -1;
  }
  ccobjrec(st, obj);
  cmbegin(st, WR_OBJDATA);
  if (obj[0] == 1) cmputdec(st, 0);
  for (int c; (c = src(st, ctx)) >= 0;) cmputhex2n(st, c & 0xFF);
  cxputc(st, 31);
  cmend(st);
  return -1;
}

int ccobjconv(cxstate* st, int32_t* obj, ccbytesrc src, void* ctx, int records) {
  int32_t flags = st->sb->embflags;
  if (!(flags & OF_CONVERT)) return -1;
  if (!(flags & OF_LINKTMP) && obj[0] != -1 && cxfmtveto(st, ccobjfmt(st, obj[0]), 0) != 0) return -1;
  // Until the byte source is read, every failure leaves it untouched (-1),
  // so that the caller can still write the object's bytes itself.
  const char* outpath = st->nm->intfile;
  if (!outpath[0] || std::strlen(outpath) + 13 > 700) return -1;
  char t1[700], t2[700];
  if (cctmpname(st, outpath, t1) != 0) return -1;
  if (cctmpname(st, outpath, t2) != 0) {
    cxunlink(st, t1);
    return -1;
  }
  auto* b = static_cast<unsigned char*>(cxalloc(st, kblock + 10));
  int h = b ? cxopen2(st, t1, 2) : -1;
  if (h < 0) {
    if (b) cxfree(st, b);
    cxunlink(st, t1);
    cxunlink(st, t2);
    return -1;
  }
  st->fb->picsize[0] = st->fb->picsize[1] = 0;
  bool ok = true;
  int n = 0;
  for (int c; ok && (c = src(st, ctx)) >= 0;) {
    b[n++] = static_cast<unsigned char>(c);
    if (n == kblock) {
      ok = cxwrite(st, h, b, n) == n;
      n = 0;
    }
  }
  if (ok && n > 0) ok = cxwrite(st, h, b, n) == n;
  cxclose(st, h);
  cxfree(st, b);
  if (!ok) {
    // The source is spent: a copy cut short is not written, and the caller
    // must not write the rest as if it were the whole object.
    cxunlink(st, t1);
    cxunlink(st, t2);
    return CX_WRITEERR;
  }
  if (flags & OF_LINKTMP) {
    // Not converted: the copy is linked and lives to the end of the run.
    if (obj[0] == -1) obj[0] = 699;
    ccobjrec(st, obj);
    cmbegin(st, WR_LINKREC);
    putname(st, t1);
    cmend(st);
    cctmpadd(st, t1);
    cxunlink(st, t2);
    return 0;
  }
  int result;
  const char* source = t1;
  int variant = obj[1] < 0 ? 0 : obj[1] % 10;
  int sub = 0;
  int format = obj[0] == -1 ? cxdetect(st, t1, &sub) : ccobjfmt(st, obj[0]);
  if (obj[0] == -1 && (cxfmtveto(st, format, 0) != 0 || format < 500 || format > 699)) {
    obj[0] = 699;
    result = CX_NOTFMT;
  } else {
    result = cxspawn(st, format, 0, t1, t2, variant);
    if (result == CX_NOTFMT) {
      // Not the format the descriptor says: once more with the detected one.
      obj[0] = 699;
      int detected = cxdetect(st, t1, &sub);
      if (cxfmtveto(st, detected, 0) == 0) result = cxspawn(st, detected, 0, t1, t2, variant);
    }
    if (result == 0) {
      obj[0] = 0;
      source = t2;
    } else if (result < 0) {
      // A converter that could not be started: the bytes are still written
      // unconverted below, so the caller must not write them again.
      result = CX_NOOUTPUT;
    }
  }
  ccobjscale(obj, st->fb->picsize[0], st->fb->picsize[1]);
  if (records) {
    int sh = cxopen2(st, source, 1);
    if (sh >= 0) {
      ccobjrec(st, obj);
      datarec(st, obj, sh);
      cxclose(st, sh);
    }
  }
  if (!(flags & OF_KEEPTMP)) {
    cxunlink(st, t1);
    cxunlink(st, t2);
  }
  return result;
}

int ccdeppath(cxstate* st, const char* inpath, const char* name, char* out, size_t n) {
  if (n == 0) return -1;
  out[0] = 0;
  auto fits = [&](size_t len) { return len < n; };
  if (!st->sb->deppath) {
    size_t l = std::strlen(name);
    if (!fits(l)) return -1;
    std::memcpy(out, name, l + 1);
    return 0;
  }
  const char* dir = st->mn->depdir;
  size_t dl;
  bool sep = false;
  if (dir && *dir) {
    dl = std::strlen(dir);
    sep = !issep(dir[dl - 1]);
  } else {
    dir = inpath ? inpath : "";
    dl = static_cast<size_t>(basepart(dir) - dir);
  }
  const char* base = basepart(name);
  size_t bl = std::strlen(base);
  if (!fits(dl + (sep ? 1 : 0) + bl)) return -1;
  std::memcpy(out, dir, dl);
  if (sep) out[dl++] = '/';
  std::memcpy(out + dl, base, bl + 1);
  return 0;
}
