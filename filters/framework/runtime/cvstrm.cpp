// Paged work streams: byte streams held one page at a time, backed by a file
// of the file service once they outgrow their page; named streams, scratch
// streams that spill, push-back, stepping back, seeking, copying, temp names.
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include <cstdio>
#include <cstring>

namespace {

cvpstream* sof(cvrun* run, int h) { return run && h >= 0 && h < CV_NSTREAMS ? run->streams[h] : nullptr; }

int fail(cvrun* run, int code) {
  cvseterr(run, code);
  return -1;
}

long pagepos(const cvpstream* s, int page) { return static_cast<long>(page) * s->pagesize; }

int pagelen(const cvpstream* s, int page) { return page == s->lastpage ? s->lastbytes : s->pagesize; }

// Drops a stream from the list of spilled streams that hold an open file.
void lrudrop(cvrun* run, int h) {
  for (int i = 0; i < run->nopenfiles; i++)
    if (run->openfiles[i] == h) {
      std::memmove(run->openfiles + i, run->openfiles + i + 1, sizeof(int) * (run->nopenfiles - i - 1));
      run->openfiles[--run->nopenfiles] = -1;
      return;
    }
}

// Puts a stream at the front of that list (the caller made room).
void lrufront(cvrun* run, int h) {
  lrudrop(run, h);
  std::memmove(run->openfiles + 1, run->openfiles, sizeof(int) * run->nopenfiles);
  run->openfiles[0] = h;
  run->nopenfiles++;
}

// Reads page p from the file into the page buffer; a short read is error 2.
int loadpage(cvrun* run, cvpstream* s, int p) {
  int want = pagelen(s, p);
  cvfseek(run, s->fh, pagepos(s, p), 0);
  int n = cvfread(run, s->fh, s->page, want);
  s->pageno = p;
  s->cur = 0;
  s->end = n > 0 ? n : 0;
  s->dirty = 0;
  return n == want ? 0 : fail(run, CV_ESHORT);
}

// The write side's page change: the full page goes to the file, then the
// stream goes on in a new last page or in the next page of the file.
int nextwpage(cvrun* run, int h) {
  if (cvsopenfile(run, h) < 0) return -1;
  if (cvsflush(run, h) < 0) return -1;
  cvpstream* s = run->streams[h];
  if (s->pageno == s->lastpage) {
    s->pageno++;
    s->lastpage = s->pageno;
    s->lastbytes = 0;
    s->cur = s->end = 0;
    s->dirty = 0;
    return 0;
  }
  return loadpage(run, s, s->pageno + 1);
}

// The read side's page change; -1 at the end of the stream.
int nextrpage(cvrun* run, int h) {
  cvpstream* s = run->streams[h];
  if (s->pageno >= s->lastpage) return -1;
  if (cvsopenfile(run, h) < 0) return -1;
  s = run->streams[h];
  if (s->dirty && cvsflush(run, h) < 0) return -1;
  return loadpage(run, s, s->pageno + 1);
}

// Takes the most recent pushed-back byte: the push-back stream is read
// backwards, cutting each byte off, so any number of bytes come back in order.
int cvspop(cvrun* run, int h) {
  cvpstream* s = run->streams[h];
  int c = cvsbackc(run, s->pushback);
  if (!sof(run, s->pushback)) s->pushback = -1;  // its file could not be reopened
  if (c < 0 || cvssize(run, s->pushback) <= 0) s->pending = 0;
  return c;
}

void droppushback(cvrun* run, cvpstream* s) {
  if (s->pushback >= 0) cvsfreeslot(run, s->pushback);
  s->pushback = -1;
  s->pending = 0;
}

int cvsnewslot(cvrun* run) {
  for (int h = 0; h < CV_NSTREAMS; h++)
    if (!run->streams[h]) return h;
  return -1;
}

int openstream(cvrun* run, int pagesize, const char* name, int kind) {
  if (!run || pagesize <= 0 || (kind != 3 && (!name || !*name))) return -1;
  int h = cvsnewslot(run);
  if (h < 0) return fail(run, CV_ENOMEM);
  auto* s = static_cast<cvpstream*>(cvalloc(run, sizeof(cvpstream)));
  if (!s) return fail(run, CV_ENOMEM);
  std::memset(s, 0, sizeof *s);
  s->fh = -1;
  s->pushback = -1;
  s->kind = kind;
  s->access = kind == 1 ? 1 : 2;
  run->streams[h] = s;
  // Short memory halves the page rather than failing, three times at most.
  int size = pagesize;
  for (int tries = 0;; tries++) {
    s->page = static_cast<unsigned char*>(cvalloc(run, size));
    if (s->page || tries == 3 || size / 2 < 2) break;
    size /= 2;
  }
  if (!s->page) {
    cvsfreeslot(run, h);
    return fail(run, CV_ENOMEM);
  }
  s->pagesize = s->limit = size;
  if (kind == 3) return h;
  s->fh = cvfopen(run, name, kind == 1 ? 1 : 2, kind);
  if (s->fh < 0) {
    cvsfreeslot(run, h);
    return -1;
  }
  s->name = cvcopy(run, name);
  if (!s->name) {
    cvsfreeslot(run, h);
    return fail(run, CV_ENOMEM);
  }
  if (kind == 2) return h;
  // An empty file cannot be read.
  long bytes = cvfsize(run, name);
  if (bytes <= 0) {
    cvsfreeslot(run, h);
    return -1;
  }
  s->lastpage = static_cast<int>(bytes / size);
  s->lastbytes = static_cast<int>(bytes % size);
  if (s->lastbytes == 0) {
    s->lastpage--;
    s->lastbytes = size;
  }
  if (loadpage(run, s, 0) < 0) {
    cvsfreeslot(run, h);
    return -1;
  }
  return h;
}

}  // namespace

int cvsopenw(cvrun* run, int pagesize, const char* name) { return openstream(run, pagesize, name, 2); }

int cvsopenr(cvrun* run, int pagesize, const char* name) { return openstream(run, pagesize, name, 1); }

int cvsscratch(cvrun* run, int pagesize) { return openstream(run, pagesize, nullptr, 3); }

int cvsopenfile(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  if (s->fh >= 0) {
    if (s->kind == 3) lrufront(run, h);
    return 0;
  }
  if (!s->name) {
    char tmp[16];
    const char* dir = run->params[3] ? run->params[3] : "";
    size_t d = std::strlen(dir);
    if (cvtmpname(run, tmp) < 0 || !(s->name = static_cast<char*>(cvalloc(run, d + sizeof tmp)))) {
      cvsfreeslot(run, h);
      return fail(run, CV_ENOMEM);
    }
    std::memcpy(s->name, dir, d);
    std::memcpy(s->name + d, tmp, sizeof tmp);
  }
  int fh = cvfopen(run, s->name, 3, s->kind);
  if (fh < 0) {
    cvsfreeslot(run, h);
    return -1;
  }
  s->fh = fh;
  cvfseek(run, fh, pagepos(s, s->pageno), 0);
  if (s->kind != 3) return 0;
  // At most 20 spilled streams keep a file open: the least recently used one
  // writes its page and gives its file up; reopening it later finds the bytes.
  if (run->nopenfiles == CV_NOPENFILES) {
    int v = run->openfiles[CV_NOPENFILES - 1];
    cvpstream* vs = run->streams[v];
    cvsflush(run, v);
    cvfclose(run, vs->fh);
    vs->fh = -1;
    vs->dirty = 0;
    lrudrop(run, v);
  }
  lrufront(run, h);
  return 0;
}

int cvsclose(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  int r = 0;
  if (s->kind == 2 && s->fh >= 0) r = cvsflush(run, h);
  cvsfreeslot(run, h);
  return r;
}

int cvscloseall(cvrun* run) {
  int n = 0;
  for (int h = 0; h < CV_NSTREAMS; h++)
    if (run->streams[h]) {
      cvsclose(run, h);
      n++;
    }
  return n;
}

int cvsfreeslot(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  run->streams[h] = nullptr;
  if (s->fh >= 0) cvfclose(run, s->fh);
  lrudrop(run, h);
  if (s->kind == 3 && s->name) cvfdelete(run, s->name);
  if (s->name) cvfree(run, s->name);
  if (s->page) cvfree(run, s->page);
  if (s->pushback >= 0) cvsfreeslot(run, s->pushback);
  cvfree(run, s);
  return 0;
}

int cvsgetcslow(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  if (run->err == CV_ECANCEL) convfatal(run, CV_ECANCEL);
  if (s->pending) return cvspop(run, h);
  while (s->cur >= s->end) {
    if (nextrpage(run, h) < 0) return -1;
    if (!(s = sof(run, h))) return -1;
  }
  return s->page[s->cur++];
}

int cvsread(cvrun* run, int h, void* buf, int count) {
  cvpstream* s = sof(run, h);
  if (!s || count < 0) return -1;
  if (run->err == CV_ECANCEL) convfatal(run, CV_ECANCEL);
  auto* out = static_cast<unsigned char*>(buf);
  int n = 0;
  while (n < count && s->pending) {
    int c = cvspop(run, h);
    if (c < 0) break;
    out[n++] = static_cast<unsigned char>(c);
  }
  while (n < count) {
    if (s->cur >= s->end) {
      if (nextrpage(run, h) < 0 || !(s = sof(run, h))) break;
      continue;
    }
    int k = s->end - s->cur;
    if (k > count - n) k = count - n;
    std::memcpy(out + n, s->page + s->cur, k);
    s->cur += k;
    n += k;
  }
  return n;
}

int cvsputcslow(cvrun* run, int h, int byte) {
  unsigned char b = static_cast<unsigned char>(byte);
  return cvswrite(run, h, &b, 1) == 1 ? 0 : -1;
}

int cvswrite(cvrun* run, int h, const void* bytes, int count) {
  cvpstream* s = sof(run, h);
  if (!s || count < 0) return -1;
  auto* in = static_cast<const unsigned char*>(bytes);
  int n = 0;
  while (n < count) {
    if (s->cur == s->limit) {
      if (nextwpage(run, h) < 0 || !(s = sof(run, h))) return -1;
    }
    int k = s->limit - s->cur;
    if (k > count - n) k = count - n;
    std::memcpy(s->page + s->cur, in + n, k);
    s->cur += k;
    n += k;
    s->dirty = 1;
    if (s->cur > s->end) {
      s->end = s->cur;
      s->lastbytes = s->end;
    }
  }
  return count;
}

int cvsungetc(cvrun* run, int h, int byte) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  if (s->pushback < 0) {
    int pb = cvsscratch(run, 256);
    if (pb < 0) return -1;
    s->pushback = pb;
  }
  if (cvsputc(run, s->pushback, byte) < 0) return -1;
  s->pending = 1;
  return 0;
}

int cvsbackc(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  while (s->cur == 0) {
    if (s->pageno == 0) return -1;
    if (cvsopenfile(run, h) < 0 || !(s = sof(run, h))) return -1;
    // The page left keeps what was written on it, and stays the last page
    // while it holds bytes: only an emptied last page gives way.
    if (s->dirty && cvsflush(run, h) < 0) return -1;
    if (s->pageno == s->lastpage && s->lastbytes == 0) {
      s->lastpage = s->pageno - 1;
      s->lastbytes = s->pagesize;
    }
    if (loadpage(run, s, s->pageno - 1) < 0) return -1;
    s->cur = s->end;
  }
  // Stepping back from the end of the data cuts the byte off; the end may
  // also be the end of the page before an emptied last page.
  bool atend = pagepos(s, s->pageno) + s->cur == cvssize(run, h);
  int c = s->page[--s->cur];
  if (atend) {
    s->lastpage = s->pageno;
    s->end = s->lastbytes = s->cur;
  }
  return c;
}

int cvsflush(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  if (s->access == 1 || s->fh < 0 || s->end == 0) return 0;
  cvfseek(run, s->fh, pagepos(s, s->pageno), 0);
  if (cvfwrite(run, s->fh, s->page, s->end) < s->end) return fail(run, CV_EWRITE);
  s->dirty = 0;
  return 0;
}

int cvsseek(cvrun* run, int h, long offset) {
  cvpstream* s = sof(run, h);
  if (!s || offset < 0) return -1;
  if (s->pending) droppushback(run, s);
  long p = offset / s->pagesize;
  int pos = static_cast<int>(offset % s->pagesize);
  // An offset on a page boundary stays at the end of the previous page, so
  // that the length of a stream of whole pages can be sought.
  if (pos == 0 && p > 0) {
    p--;
    pos = s->pagesize;
  }
  if (p > s->lastpage || (p == s->lastpage && pos > s->lastbytes)) return -1;
  if (p != s->pageno) {
    if (cvsopenfile(run, h) < 0 || !(s = sof(run, h))) return -1;
    if (s->dirty && cvsflush(run, h) < 0) return -1;
    if (loadpage(run, s, static_cast<int>(p)) < 0) return -1;
  }
  s->cur = pos;
  s->end = pagelen(s, s->pageno);
  return 0;
}

long cvstell(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  return s ? pagepos(s, s->pageno) + s->cur : -1;
}

long cvssize(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  return s ? pagepos(s, s->lastpage) + s->lastbytes : -1;
}

int cvsrewind(cvrun* run, int h) {
  cvpstream* s = sof(run, h);
  if (!s) return -1;
  droppushback(run, s);
  s->pageno = s->lastpage = s->lastbytes = 0;
  s->cur = s->end = 0;
  s->dirty = 0;
  // A scratch stream that never spilled has no file to go back in.
  if (s->fh < 0 && !s->name) return 0;
  if (cvsopenfile(run, h) < 0 || !(s = sof(run, h))) return -1;
  cvfseek(run, s->fh, 0, 0);
  return 0;
}

int cvscopy(cvrun* run, int from, int to) {
  if (!sof(run, from) || !sof(run, to) || cvsseek(run, from, 0) < 0) return -1;
  constexpr int kblock = 8192;
  if (auto* buf = static_cast<unsigned char*>(cvalloc(run, kblock))) {
    int n;
    do {
      n = cvsread(run, from, buf, kblock);
      if (n > 0) cvswrite(run, to, buf, n);
    } while (n == kblock);
    cvfree(run, buf);
    return 0;
  }
  for (int c; (c = cvsgetc(run, from)) != -1;) cvsputc(run, to, c);
  return 0;
}

int cvtmpname(cvrun* run, char* out) {
  if (run->tmpcount == 0) {
    unsigned char dt[8];
    convdatetime(dt);
    run->tmpcount = (static_cast<unsigned>(dt[4]) << 16) | (dt[5] << 8) | dt[6];
  }
  const char* dir = run->params[3] ? run->params[3] : "";
  size_t d = std::strlen(dir);
  auto* full = static_cast<char*>(cvalloc(run, d + 16));
  if (!full) return -1;
  std::memcpy(full, dir, d);
  for (int tries = 0; tries < 1000000; tries++) {
    char name[16];
    std::snprintf(name, sizeof name, "WW%06u.TMP", run->tmpcount % 1000000u);
    run->tmpcount++;
    if (run->params[2] && std::strcmp(name, run->params[2]) == 0) continue;
    std::memcpy(full + d, name, sizeof name);
    if (!cvfexists(run, full)) {
      std::memcpy(out, name, 13);
      cvfree(run, full);
      return 0;
    }
  }
  cvfree(run, full);
  return -1;
}
