// OLE 1.0 objects out of a document: their native or presentation data
// saved to a temporary file, identified by the host, and written through a
// reader's callback as a picture or as the host's converted text with the
// nested document's opening records left out. In this system the host
// identifies nothing, so the file is written and removed again.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int BUF = 1024;

// The buffered reader's place in the caller's block, for the process.
int bufpos = BUF;
int bufcount = 0;

void emit(cvrun* run, ole1put_t cb, int byte) {
  if (cb) cb(run, byte & 0xFF);
}

void emitstr(cvrun* run, ole1put_t cb, const char* s) {
  for (; s && *s; s++) emit(run, cb, static_cast<unsigned char>(*s));
}

void emitdec(cvrun* run, ole1put_t cb, long v) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%ld", v);
  emitstr(run, cb, digits);
  emit(run, cb, COM_US);
}

void emitbeg(cvrun* run, ole1put_t cb, int code) {
  char t[4];
  cwcodeunpack(code, t);
  emit(run, cb, COM_ESC);
  emit(run, cb, COM_GS);
  emitstr(run, cb, t);
}

void emithex(cvrun* run, ole1put_t cb, int byte) {
  emit(run, cb, ole1hexchar((byte >> 4) & 15));
  emit(run, cb, ole1hexchar(byte & 15));
}

// The graphic-reference record naming a file.
void graphicref(cvrun* run, ole1put_t cb, const char* file) {
  emitbeg(run, cb, OLE1_GRAPHICREF);
  emitstr(run, cb, file);
  emit(run, cb, COM_US);
  emit(run, cb, COM_RS);
}

// The view of the object in the description the picture repair takes.
cwobjdesc fixdesc(const ole1view* v) {
  cwobjdesc d = {};
  d.format = -1;
  d.slot = -1;
  if (v) {
    d.dwidth = v->width2;
    d.dheight = v->height2;
  }
  return d;
}

// Copies bytes of a paged stream, from the start position, into a new file
// in blocks of 1024, the first block through the picture repair when the
// run asks for it; 0, or -1 when the file cannot be made.
int savestream(cvrun* run, int h, long start, long count, const char* name, const ole1view* v) {
  int fh = cvfopen(run, name, 2, 3);
  if (fh < 0) return -1;
  unsigned char buf[BUF];
  cvsseek(run, h, start);
  bool first = true;
  int ok = 0;
  cwobjdesc d = fixdesc(v);
  for (long left = count; left > 0;) {
    int n = cvsread(run, h, buf, left < BUF ? static_cast<int>(left) : BUF);
    if (n <= 0) break;
    if (first && (cvoptflags(run) & 0x400)) cwobjfix(run, fh, buf, n, &d);
    first = false;
    if (cvfwrite(run, fh, buf, n) != n) {
      ok = -1;
      break;
    }
    left -= n;
  }
  cvfclose(run, fh);
  return ok;
}

// Copies one file into another in blocks of 1024; a short write deletes
// the copy and gives -1.
int copyfile(cvrun* run, const char* from, const char* to) {
  int in = cvfopen(run, from, 1, 1);
  if (in < 0) return -1;
  int out = cvfopen(run, to, 2, 2);
  if (out < 0) {
    cvfclose(run, in);
    return -1;
  }
  unsigned char buf[BUF];
  int r = 0;
  for (int n; (n = cvfread(run, in, buf, BUF)) > 0;)
    if (cvfwrite(run, out, buf, n) != n) {
      r = -1;
      break;
    }
  cvfclose(run, in);
  cvfclose(run, out);
  if (r < 0) cvfdelete(run, to);
  return r;
}

// Replaces an object's data with a file's bytes.
int loadstream(cvrun* run, ole1node* n, const char* name) {
  int fh = cvfopen(run, name, 1, 1);
  if (fh < 0) return -1;
  if (n->data >= 0) cvsclose(run, n->data);
  n->datasize = 0;
  n->data = cvsscratch(run, 4096);
  if (n->data < 0) {
    cvfclose(run, fh);
    return 8;
  }
  unsigned char buf[BUF];
  int r = 0;
  for (int got; (got = cvfread(run, fh, buf, BUF)) > 0; n->datasize += got)
    if (cvswrite(run, n->data, buf, got) < 0) {
      r = -1;
      break;
    }
  cvfclose(run, fh);
  return r;
}

const ole1node* presnode(const ole1node* n) {
  for (int i = 0; n && (n->format == 1 || n->format == 2) && i < 16; i++) n = n->nested;
  return n && (n->format == 3 || n->format == 5) ? n : nullptr;
}

bool classis(const ole1node* n, const char* name) { return n->name[0] && std::strcmp(n->name[0], name) == 0; }

}  // namespace

char* cwtmpfile(cvrun* run) {
  char tmp[16];
  const char* dir = run->params[3] ? run->params[3] : "";
  size_t n = std::strlen(dir);
  if (cvtmpname(run, tmp) < 0) return nullptr;
  auto* s = static_cast<char*>(cvalloc(run, n + sizeof tmp));
  if (!s) return nullptr;
  std::memcpy(s, dir, n);
  std::memcpy(s + n, tmp, sizeof tmp);
  return s;
}

void ole1bufreset() { bufpos = BUF; }

int ole1bufgetc(cvrun* run, int fh, unsigned char* block) {
  if (bufpos == BUF) {
    int n = cvfread(run, fh, block, BUF);
    if (n <= 0) return -1;
    bufcount = n;
    bufpos = 0;
  }
  if (bufpos >= bufcount) return -1;
  return block[bufpos++];
}

int ole1skiprec(cvrun* run, int fh, unsigned char* block, ole1put_t cb) {
  if (ole1bufgetc(run, fh, block) != COM_GS) return 5;
  char three[4] = {};
  for (int i = 0; i < 3; i++) {
    int c = ole1bufgetc(run, fh, block);
    if (c < 0) return 5;
    three[i] = static_cast<char>(c);
  }
  int code = cwcodepack(three);
  if (code == 4388 || code == 9843) {
    // The nested document's identification and summary go, nested records with them.
    for (int depth = -1; depth != 0;) {
      int c = ole1bufgetc(run, fh, block);
      if (c < 0) break;
      if (c == COM_RS) depth++;
      if (c == COM_GS) depth--;
    }
    return 0;
  }
  emit(run, cb, COM_ESC);
  emit(run, cb, COM_GS);
  emitstr(run, cb, three);
  return 0;
}

void ole1picsize(cvrun* run, const ole1node* n, const ole1view* v, int format, ole1put_t cb) {
  int32_t w1, h1, w2, h2;
  if (v) {
    w1 = v->width, h1 = v->height, w2 = v->width2, h2 = v->height2;
  } else {
    w1 = w2 = ole1width(n);
    h1 = h2 = ole1height(n);
  }
  long rh = run->picheight, rw = run->picwidth;
  if (rh != 0 && rw != 0) {
    auto complete = [&](int32_t& w, int32_t& h) {
      if (w <= 0 && h > 0)
        w = static_cast<int32_t>(h * rw / rh);
      else if (h <= 0 && w > 0)
        h = static_cast<int32_t>(w * rh / rw);
      else if (w <= 0 && h <= 0) {
        w = static_cast<int32_t>(rw);
        h = static_cast<int32_t>(rh);
      }
    };
    complete(w1, h1);
    complete(w2, h2);
  }
  emitbeg(run, cb, OLE1_PICSIZE);
  for (long x : {static_cast<long>(format), 1L, 0L, 0L, static_cast<long>(w2), static_cast<long>(h2),
                 static_cast<long>(w1), static_cast<long>(h1)})
    emitdec(run, cb, x);
  emit(run, cb, COM_RS);
}

int ole1graphic(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb, const char* data, const char* conv,
                int format, int subformat) {
  int gfx = cvgfxopts(run), flags = cvoptflags(run);
  if (gfx & CW_GX) return 0;
  if (flags & 0x100) {
    ole1picsize(run, n, v, format, cb);
    return 0;
  }
  if (gfx & CW_GVR) {
    ole1picsize(run, n, v, format, cb);
    graphicref(run, cb, data);
    return 0;
  }
  if (flags & 0x200) {
    graphicref(run, cb, data);
    return 0;
  }
  if (convhostcanconv(run, format, 0)) {
    run->picheight = run->picwidth = 0;
    char digit[2] = {static_cast<char>('0' + (subformat >= 0 && subformat <= 9 ? subformat : 0)), 0};
    if (convhostgfxconv(run, format, 1, data, conv, digit) != 0) return -1;
    ole1picsize(run, n, v, 0, cb);
    unsigned char block[BUF];
    int fh = cvfopen(run, conv, 1, 1);
    if (fh < 0) return 8;
    emitbeg(run, cb, OLE1_PICDATA);
    ole1bufreset();
    for (int c; (c = ole1bufgetc(run, fh, block)) != -1;) emithex(run, cb, c);
    cvfclose(run, fh);
  } else {
    ole1picsize(run, n, v, format, cb);
    emitbeg(run, cb, OLE1_PICDATA);
    int h = cvsopenr(run, 4096, data);
    if (h >= 0) {
      for (int c; (c = cvsgetc(run, h)) != -1;) emithex(run, cb, c);
      cvsclose(run, h);
    }
  }
  emit(run, cb, COM_US);
  emit(run, cb, COM_RS);
  return 0;
}

int ole1nativesave(cvrun* run, ole1node* n, const char* name, const ole1view* v) {
  if (!n || !name) return -1;
  if (n->format == 1) return n->name[1] ? copyfile(run, n->name[1], name) : -1;
  if (n->format != 2 || n->data < 0) return -1;
  return savestream(run, n->data, 0, n->datasize, name, v);
}

int ole1pressave(cvrun* run, ole1node* n, const char* name, const ole1view* v) {
  const ole1node* p = presnode(n);
  if (!p || !name || p->data < 0) return -1;
  long skip = 0;
  if (classis(p, "METAFILEPICT")) {
    skip = 8;
  } else if (classis(p, "DIB")) {
    // The bitmap header and its colour table: 4 bytes a colour, 2^bpp
    // colours up to 8 bits a pixel, none above.
    unsigned char head[16] = {};
    cvsseek(run, p->data, 0);
    cvsread(run, p->data, head, 16);
    uint32_t headlen = cwget32u(head, 0);
    int bpp = static_cast<int>(cwget16u(head + 14, 0));
    skip = static_cast<long>(headlen) + (bpp <= 8 ? 4L << bpp : 0);
  }
  long count = p->datasize - skip;
  return savestream(run, p->data, skip, count > 0 ? count : 0, name, v);
}

int ole1nativeload(cvrun* run, ole1node* n, const char* name) {
  if (!n || !name) return -1;
  if (n->format == 1) return n->name[1] ? copyfile(run, name, n->name[1]) : -1;
  if (n->format != 2) return -1;
  return loadstream(run, n, name);
}

int ole1presload(cvrun* run, ole1node* n, const char* name) {
  auto* p = const_cast<ole1node*>(presnode(n));
  if (!p || !name) return -1;
  return loadstream(run, p, name);
}

int ole1extract(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb, int presfirst) {
  ole1bufreset();
  char* data = cwtmpfile(run);
  char* conv = data ? cwtmpfile(run) : nullptr;
  if (!conv) {
    if (data) cvfree(run, data);
    return 8;
  }
  int saved = presfirst ? ole1pressave(run, n, data, v) : ole1nativesave(run, n, data, v);
  if (saved != 0) saved = presfirst ? ole1nativesave(run, n, data, v) : ole1pressave(run, n, data, v);
  if (saved != 0) {
    cvfree(run, data);
    cvfree(run, conv);
    return -1;
  }
  int sub = 0;
  int format = cvfmtid(run, data, &sub);
  int gfx = cvgfxopts(run), flags = cvoptflags(run);
  if (format >= 500 && format <= 699) {
    ole1graphic(run, n, v, cb, data, conv, format, sub);
  } else if (convhostcanconv(run, format, 0)) {
    char digit[2] = {static_cast<char>('0' + (sub >= 0 && sub <= 9 ? sub : 0)), 0};
    if (convhostgfxconv(run, format, 0, data, conv, digit) == 0) {
      int fh = cvfopen(run, conv, 1, 1);
      if (fh >= 0) {
        unsigned char block[BUF];
        ole1bufreset();
        for (int c; (c = ole1bufgetc(run, fh, block)) != -1;) {
          if (c != COM_ESC)
            emit(run, cb, c);
          else if (ole1skiprec(run, fh, block, cb) != 0)
            break;
        }
        cvfclose(run, fh);
      }
    }
  }
  if (!(cvoptoflags(run) & 0x8) && !(gfx & CW_GD)) {
    if (!(gfx & CW_GVR) && !(flags & 0x200)) cvfdelete(run, data);
    if (cvfexists(run, conv)) cvfdelete(run, conv);
  }
  cvfree(run, data);
  cvfree(run, conv);
  return 0;
}

int ole1conv(cvrun* run, ole1node* n, ole1put_t cb) { return ole1extract(run, n, nullptr, cb, 0); }

int ole1conv2(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb) { return ole1extract(run, n, v, cb, 0); }

int ole1convpres(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb) { return ole1extract(run, n, v, cb, 1); }

int ole1convpres2(cvrun* run, ole1node* n, ole1put_t cb) { return ole1convpres(run, n, nullptr, cb); }
