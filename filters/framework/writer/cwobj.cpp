// Embedded objects and graphic files: the graphics options decide whether
// an object is written as hex data in object records, extracted to a file
// and linked, written as a header only, or not at all; the host identifies
// and converts formats (in this system it knows none). Extracted pictures
// get the file headers a viewer needs.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

constexpr int BLOCK = 8192;

bool linkedobj(const cwobjdesc* d) { return d->version > 2 && d->linked == 1; }

int fmtor699(int format) { return format == -1 ? 699 : format; }

// The length of a name's directory part, through its last '\\', '/' or ':'.
size_t dirpart(const char* name) {
  size_t n = 0;
  for (size_t i = 0; name[i]; i++)
    if (name[i] == '\\' || name[i] == '/' || name[i] == ':') n = i + 1;
  return n;
}

bool graphicfmt(int format) { return format >= 500 && format <= 699; }

bool excluded(cvrun* run, int format) {
  for (int i = 0; i < run->opt.ngfxexcl; i++)
    if (run->opt.gfxexcl[i] == format) return true;
  return false;
}

void dropname(cvrun* run, char*& name, bool del) {
  if (!name) return;
  if (del) cvfdelete(run, name);
  cvfree(run, name);
  name = nullptr;
}

// The fields the object header and the link record share after the format.
void objfields(cvrun* run, const cwobjdesc* d) {
  for (int v : {d->v3, d->v4, d->v5}) cwparint(run, v);
}

// The object data record's start: 20592 (4322 linked), 0 first for format 610.
void databeg(cvrun* run, const cwobjdesc* d, int format) {
  cwrecbeg(run, linkedobj(d) ? 4322 : 20592);
  if (format == 610) cwparint(run, 0);
}

// The link record: 18665, or 9442 with 1 for a linked object.
void linkrec(cvrun* run, const cwobjdesc* d, const char* name, int format) {
  bool linked = linkedobj(d);
  if (linked) {
    cwrecbeg(run, 9442);
    cwparint(run, 1);
  } else {
    cwrecbeg(run, 18665);
  }
  for (const char* p = name; *p; p++) cvsputc(run, run->out, static_cast<unsigned char>(*p));
  cwendfield(run);
  cwparint(run, d->value1);
  cwparint(run, d->width);
  cwparint(run, d->height);
  cwparint(run, fmtor699(format));
  objfields(run, d);
  cwparint(run, d->dwidth);
  cwparint(run, d->dheight);
  if (linked) cwparhex4(run, static_cast<unsigned>(d->linkid));
  cwrecend(run);
}

// Copies the rest of a paged stream as hex digits.
void hexstream(cvrun* run, int h) {
  auto* buf = static_cast<unsigned char*>(cvalloc(run, BLOCK));
  if (!buf) {
    for (int c; (c = cvsgetc(run, h)) != -1;) cwhex2(run, c);
    return;
  }
  for (int n; (n = cvsread(run, h, buf, BLOCK)) > 0;)
    for (int i = 0; i < n; i++) cwhex2(run, buf[i]);
  cvfree(run, buf);
}

// The object's data source, read a block at a time: the named stream, the
// stream slot, the block callback, else the byte callback. A named stream
// that cannot be found is a failure.
struct source {
  cvrun* run;
  cwobjdesc* d;
  int slot = -1;
  bool ownslot = false;
  bool failed = false;

  source(cvrun* r, cwobjdesc* desc) : run(r), d(desc) {
    if (d->stream) {
      slot = olstfind(run, run->olcur, d->stream);
      ownslot = true;
      failed = slot < 0;
    } else if (d->slot >= 0) {
      slot = d->slot;
    }
  }
  ~source() {
    if (ownslot && slot >= 0) olstclose(run, slot);
  }
  source(const source&) = delete;
  source& operator=(const source&) = delete;

  // Up to n bytes (n at most BLOCK); fewer at the end.
  int read(unsigned char* buf, int n) {
    if (failed) return 0;
    if (slot >= 0) return olstread(run, slot, buf, n);
    if (d->getblock) {
      int got = d->getblock(run, buf, n);
      return got > 0 ? got : 0;
    }
    if (!d->getbyte) return 0;
    int got = 0;
    for (int c; got < n && (c = d->getbyte(run)) != -1;) buf[got++] = static_cast<unsigned char>(c);
    return got;
  }
};

// Writes the object's data unconverted from its source.
void unconverted(cvrun* run, cwobjdesc* d, source& src) {
  if (src.failed) return;
  auto* buf = static_cast<unsigned char*>(cvalloc(run, BLOCK));
  if (!buf) return;
  if (d->format == 602) {
    cwrecbeg(run, 3376);
    for (int v : {0, 0, 0, d->height / 20, d->width / 20, 0}) cwparint(run, v);
  } else {
    cwobjhead(run, d);
    databeg(run, d, d->format);
  }
  for (int n; (n = src.read(buf, BLOCK)) > 0;) {
    for (int i = 0; i < n; i++) d->format == 602 ? cwparhex2(run, buf[i]) : cwhex2(run, buf[i]);
    if (n < BLOCK) break;
  }
  if (d->format != 602) cwendfield(run);
  cwrecend(run);
  cvfree(run, buf);
}

// Completes a missing width or height from the picture size the host reported.
void applypicsize(cvrun* run, cwobjdesc* d) {
  int rh = run->picheight, rw = run->picwidth;
  if (rh == 0 || rw == 0) return;
  if (d->width <= 0 && d->height > 0)
    d->width = static_cast<int32_t>(static_cast<long>(d->height) * rw / rh);
  else if (d->height <= 0 && d->width > 0)
    d->height = static_cast<int32_t>(static_cast<long>(d->width) * rh / rw);
  else if (d->width <= 0 && d->height <= 0) {
    d->width = rw;
    d->height = rh;
  }
}

// Converts a file through the host into a second temporary file when the
// host can convert its format; the host's answer (0 converted), or 9 when
// no conversion was tried. *format becomes 0 after a conversion.
int convert(cvrun* run, const cwobjdesc* d, const char* in, char*& out, int* format) {
  if (!graphicfmt(*format) || excluded(run, *format) || !convhostcanconv(run, *format, 1)) return 9;
  out = cwtmpfile(run);
  if (!out) return 9;
  char opt[2] = {static_cast<char>('0' + (d->convopt >= 0 && d->convopt <= 9 ? d->convopt : 0)), 0};
  int r = convhostgfxconv(run, *format, 1, in, out, opt);
  if (r == 9) {
    int extra = 0;
    int again = cvfmtid(run, in, &extra);
    if (graphicfmt(again) && convhostcanconv(run, again, 1)) r = convhostgfxconv(run, again, 1, in, out, opt);
  }
  if (r == 0) *format = 0;
  return r;
}

// Writes a file as hex data: with the inline flag after the object header,
// always inside the object data record, so that the bytes never stand in
// the text.
int writefile(cvrun* run, const cwobjdesc* d, const char* name, int format) {
  int h = cvsopenr(run, 4096, name);
  if (h < 0) return -1;
  if (d->inlined) cwobjhead(run, d);
  databeg(run, d, format);
  hexstream(run, h);
  cwendfield(run);
  cwrecend(run);
  cvsclose(run, h);
  return 0;
}

// The placeable header of a plain metafile, from its window records.
void wmfheader(cvrun* run, int fh, const unsigned char* p, int len, const cwobjdesc* d) {
  int ox = 0, oy = 0, ex = 0, ey = 0;
  bool origin = false, extent = false;
  for (long off = 18; off < len - 10;) {
    int32_t size = cwget32(p + off, 0);
    int func = cwget16(p + off + 4, 0);
    // A record of fewer than three words would not move the walk on.
    if (func == 0 || func == -1 || size < 3 || off + 2L * size > len) break;
    int v = cwget16(p + off + 6, 0), h = cwget16(p + off + 8, 0);
    if ((func == 0x20B && !origin) || func == 0x20D) {
      oy = v;
      ox = h;
      origin = true;
    } else if ((func == 0x20C && !extent) || func == 0x20E) {
      ey = v;
      ex = h;
      extent = true;
    }
    off += 2L * size;
  }
  int left = ox, top = oy, right, bottom, upi = 1000;
  if (extent) {
    if (d->dheight > 0)
      upi = (ey * 1440 + d->dheight / 2) / d->dheight;
    else if (d->dwidth > 0)
      upi = (ex * 1440 + d->dwidth / 2) / d->dwidth;
    right = left + (ex ? ex : 3000);
    bottom = top + (ey ? ey : 2000);
  } else {
    right = left + (d->dwidth ? d->dwidth : 3000);
    bottom = top + (d->dheight ? d->dheight : 2000);
  }
  unsigned char hd[22] = {0xD7, 0xCD, 0xC6, 0x9A};
  int words[] = {0, left, top, right, bottom, upi};
  for (int i = 0; i < 6; i++) cwput16(words[i], hd + 4 + 2 * i, 0);
  unsigned sum = 0;
  for (int i = 0; i < 10; i++) sum ^= cwget16u(hd + 2 * i, 0);
  cwput16u(sum, hd + 20, 0);
  cvfwrite(run, fh, hd, 22);
}

}  // namespace

int cwobjfmt(int format) { return format == -1 ? 0 : format; }

void cwobjdone(cvrun*, int, int) {}

int cvfmtid(cvrun* run, const char* name, int* extra) {
  if (extra) *extra = 0;
  return name ? convhostident(run, 0, 0) : 0;
}

void cwobjhead(cvrun* run, const cwobjdesc* d) {
  bool linked = linkedobj(d);
  cwrecbeg(run, linked ? 9442 : 19600);
  if (linked) cwparint(run, 0);
  cwparint(run, fmtor699(d->format));
  objfields(run, d);
  for (int v : {d->width, d->height, d->dwidth, d->dheight}) cwparint(run, v);
  if (linked) cwparhex4(run, static_cast<unsigned>(d->linkid));
  cwrecend(run);
}

void cwobjbytes(cvrun* run, cwobjdesc* d) {
  cwobjdesc only = *d;
  only.getblock = nullptr;
  only.slot = -1;
  only.stream = nullptr;
  source src(run, &only);
  unconverted(run, d, src);
}

void cwobjblocks(cvrun* run, cwobjdesc* d) {
  cwobjdesc only = *d;
  only.slot = -1;
  only.stream = nullptr;
  source src(run, &only);
  unconverted(run, d, src);
}

void cwobjstream(cvrun* run, cwobjdesc* d, int slot) {
  cwobjdesc only = *d;
  only.slot = slot;
  only.stream = nullptr;
  source src(run, &only);
  unconverted(run, d, src);
}

int cwobjfix(cvrun* run, int fh, const unsigned char* p, int len, const cwobjdesc* d) {
  int format = d->format;
  if (format == -1) {
    char* probe = cwtmpfile(run);
    int extra = 0;
    format = 0;
    if (probe) {
      int ph = cvfopen(run, probe, 2, 3);
      if (ph >= 0) {
        cvfwrite(run, ph, p, len);
        cvfclose(run, ph);
        format = cvfmtid(run, probe, &extra);
      }
      dropname(run, probe, true);
    }
    if (!graphicfmt(format)) return -1;
  }
  switch (format) {
    case 602: {
      static const unsigned char v2[6] = {0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00};
      bool headed = (len >= 524 && p[522] == 0x11 && p[523] == 0x01) ||
                    (len >= 528 && std::memcmp(p + 522, v2, 6) == 0);
      if (!headed) {
        unsigned char zero[512] = {};
        cvfwrite(run, fh, zero, 512);
      }
      return 602;
    }
    case 606:
    case 615: {
      if (len >= 4 && p[0] == 0xFF && p[1] == 'W' && p[2] == 'P' && p[3] == 'C') return 0;
      unsigned char hd[16] = {0xFF, 0x57, 0x50, 0x43, 0x10, 0, 0, 0, 0x01, 0x16, 0x01, 0, 0, 0, 0, 0};
      if (format == 615) hd[10] = 0x02;
      cvfwrite(run, fh, hd, 16);
      return format;
    }
    case 610:
      if (len < 4 || p[0] != 0x01 || p[1] != 0x00 || p[2] != 0x09 || p[3] != 0x00) return 0;
      wmfheader(run, fh, p, len, d);
      return 610;
    default:
      return format;
  }
}

int cwobjfile(cvrun* run, cwobjdesc* d) {
  int gfx = cvgfxopts(run);
  char* data = cwtmpfile(run);
  int fh = data ? cvfopen(run, data, 2, 3) : -1;
  if (fh < 0) {
    dropname(run, data, false);
    return -1;
  }
  run->picheight = run->picwidth = 0;
  run->opt.gsize[0] = d->dwidth;
  run->opt.gsize[1] = d->dheight;
  // The data into the file, the first block through the repair when asked.
  int fixed = -1;
  bool ok = true;
  {
    source src(run, d);
    ok = !src.failed;
    auto* buf = static_cast<unsigned char*>(cvalloc(run, BLOCK));
    ok = ok && buf;
    bool first = true;
    // The byte callback's bytes are gathered 8190 at a time.
    int want = d->getbyte && d->slot < 0 && !d->stream && !d->getblock ? BLOCK - 2 : BLOCK;
    for (int n; ok && (n = src.read(buf, want)) > 0;) {
      if (first && (gfx & CW_GFIX)) fixed = cwobjfix(run, fh, buf, n, d);
      first = false;
      if (cvfwrite(run, fh, buf, n) != n) ok = false;
      if (n < want) break;
    }
    if (buf) cvfree(run, buf);
  }
  cvfclose(run, fh);
  if (!ok) {
    dropname(run, data, true);
    return -1;
  }
  cwobjdone(run, fh, fixed);
  int extra = 0;
  if (gfx & (CW_GVR | CW_GER)) {
    int format = d->format;
    if (fixed > 0) {
      format = fixed;
    } else if (format == -1 && (gfx & CW_GVR)) {
      format = cvfmtid(run, data, &extra);
      if (!graphicfmt(format)) format = 699;
    }
    cwobjdesc shown = *d;
    shown.format = format;
    if (gfx & CW_GVR) cwobjhead(run, &shown);
    linkrec(run, &shown, data, format);
    cvfree(run, data);  // the file stays
    return 0;
  }
  int format = d->format;
  if (format == -1) {
    format = cvfmtid(run, data, &extra);
    if (!graphicfmt(format)) format = 699;
  }
  char* out = nullptr;
  int r = convert(run, d, data, out, &format);
  applypicsize(run, d);
  cwobjdesc shown = *d;
  shown.format = format;
  bool keep = gfx & CW_GD;
  if (writefile(run, &shown, r == 0 && out ? out : data, format) < 0) {
    dropname(run, out, true);
    dropname(run, data, true);
    return -1;
  }
  dropname(run, out, !keep);
  dropname(run, data, !keep);
  return r;
}

int cwobject(cvrun* run, cwobjdesc* d) {
  cwflushpending(run);
  if (d->version <= 1) {
    d->getblock = nullptr;
    d->slot = -1;
    d->stream = nullptr;
    if (!d->getbyte) return -1;
  } else if (!d->getblock && !d->getbyte && d->slot < 0 && !d->stream) {
    return -1;
  }
  int gfx = cvgfxopts(run);
  if (gfx & CW_GX) return -1;
  if (gfx & CW_GVX) {
    cwobjhead(run, d);
    return -1;
  }
  int r = -1;
  if (!run->opt.g1 && !excluded(run, d->format)) r = cwobjfile(run, d);
  if (r == -1) {
    source src(run, d);
    unconverted(run, d, src);
  }
  return r;
}

char* cwresolve(cvrun* run, const char* name, int* exists) {
  *exists = 1;
  auto* s = static_cast<char*>(cvalloc(run, 2048));
  if (!s) return nullptr;
  auto tryname = [&](const char* dir, size_t ndir, const char* tail) {
    size_t nt = std::strlen(tail);
    if (ndir + nt >= 2048) return false;
    std::memcpy(s, dir, ndir);
    std::memcpy(s + ndir, tail, nt + 1);
    return cvfexists(run, s) != 0;
  };
  const char* in = run->params[0] ? run->params[0] : "";
  size_t dir = dirpart(in);
  if (tryname("", 0, name) || tryname(in, dir, name) || tryname(in, dir, name + dirpart(name))) return s;
  *exists = 0;
  tryname("", 0, name);
  return s;
}

int cwgraphic(cvrun* run, cwobjdesc* d, const char* name, int enc) {
  if (!name) return -1;
  cwflushpending(run);
  if (run->writer->parastart) {
    cwalignopen(run);
    run->writer->parastart = 0;
  }
  cvdepfile(run, name, enc, 2);
  int gfx = cvgfxopts(run);
  if (gfx & CW_GX) return -1;
  run->picheight = run->picwidth = 0;
  bool asnamed = cvfexists(run, name) != 0;
  int exists = 0;
  char* file = cwresolve(run, name, &exists);
  if (!file) return -1;
  int result = -1;
  if (!exists || (gfx & CW_GRR) || (run->opt.g1 && asnamed)) {
    linkrec(run, d, exists ? file : name, d->format);
    result = 0;
  } else if (gfx & CW_GRER) {
    int h = cvsopenr(run, 4096, file);
    if (h >= 0) {
      cwrecbeg(run, 18661);
      for (const char* p = file; *p; p++) cvsputc(run, run->out, static_cast<unsigned char>(*p));
      cwendfield(run);
      cwparint(run, d->width);
      cwparint(run, d->height);
      hexstream(run, h);
      cwendfield(run);
      cwrecend(run);
      cvsclose(run, h);
      result = 0;
    }
  } else {
    int extra = 0;
    int format = d->format == -1 ? cvfmtid(run, file, &extra) : cwobjfmt(d->format);
    char* out = nullptr;
    if (graphicfmt(format) && !excluded(run, format) && convert(run, d, file, out, &format) == 0 && out) {
      applypicsize(run, d);
      cwobjdesc shown = *d;
      shown.format = format;
      result = writefile(run, &shown, out, format);
    }
    dropname(run, out, !(gfx & CW_GD));
  }
  cvfree(run, file);
  return result;
}

int cwembconv(cvrun* run, int32_t* result, const char* name) {
  if (!name || !result) return -1;
  const char* in = run->params[0] ? run->params[0] : "";
  size_t dir = dirpart(in);
  const char* tail = name + dirpart(name);
  size_t nt = std::strlen(tail);
  auto* file = static_cast<char*>(cvalloc(run, dir + nt + 1));
  if (!file) return -1;
  std::memcpy(file, in, dir);
  std::memcpy(file + dir, tail, nt + 1);
  result[0] = 0;
  result[1] = 1;
  int extra = 0;
  int format = cvfmtid(run, file, &extra);
  int r = graphicfmt(format) ? convhostembconv(run, result, format, file, "/v0") : -1;
  cvfree(run, file);
  return r;
}
