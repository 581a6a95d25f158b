// Stream access for the whole library: the main input (a paged stream over
// a plain file, or a stream of a compound file at level 6) and the paged work
// streams, the typed readers in the document's byte order, the library's
// memory, its one fatal exit, and the wide strings of fields and bookmarks.
#include <cstdlib>
#include <cstring>

#include "filters/word/ww.h"

namespace {

// The real handle of h and whether the compound-file reader serves it.
int real(const wwstate* w, int h, bool* ole) {
  *ole = false;
  if (h != WW_MAIN) return h;
  *ole = w->ver > 5;
  return w->in;
}

}  // namespace

void wwsetstm(wwstate* w, int h) { w->in = h; }

int wwtmpnew(wwstate* w, int pagesize) { return cvsscratch(w->run, pagesize); }

void wwtmpdel(wwstate* w, int h) {
  if (h >= 0) cvsclose(w->run, h);
}

long wwtell(wwstate* w, int h) {
  bool ole;
  int r = real(w, h, &ole);
  return ole ? olsttell(w->run, r) : cvstell(w->run, r);
}

void wwseek(wwstate* w, int h, long pos) {
  bool ole;
  int r = real(w, h, &ole);
  if (ole)
    olstseek(w->run, r, pos);
  else
    cvsseek(w->run, r, pos);
}

long wwsize(wwstate* w, int h) {
  bool ole;
  int r = real(w, h, &ole);
  return ole ? olstsize(w->run, r) : cvssize(w->run, r);
}

// A short read leaves zeros, never the bytes of an earlier read, in the
// part of the buffer it did not fill.
void wwread(wwstate* w, int h, void* buf, int n) {
  if (n <= 0) return;
  bool ole;
  int r = real(w, h, &ole);
  int got = ole ? olstread(w->run, r, buf, n) : cvsread(w->run, r, buf, n);
  if (got < 0) got = 0;
  if (got < n) std::memset(static_cast<unsigned char*>(buf) + got, 0, n - got);
  if (h == WW_MAIN) convyield(w->run, got);
}

void wwwrite(wwstate* w, int h, const void* buf, int n) {
  if (h >= 0 && n > 0) cvswrite(w->run, h, buf, n);
}

int wwstmgetc(wwstate* w, int h) {
  bool ole;
  int r = real(w, h, &ole);
  return ole ? olstgetc(w->run, r) : cvsgetc(w->run, r);
}

int wwgetb(wwstate* w, int h) { return wwstmgetc(w, h); }

unsigned wwgetw(wwstate* w, int h) {
  unsigned char b[2];
  wwread(w, h, b, 2);
  return cwget16u(b, w->big);
}

int wwgetsw(wwstate* w, int h) {
  unsigned char b[2];
  wwread(w, h, b, 2);
  return cwget16(b, w->big);
}

int32_t wwgetl(wwstate* w, int h) {
  unsigned char b[4];
  wwread(w, h, b, 4);
  return cwget32(b, w->big);
}

uint32_t wwgetul(wwstate* w, int h) {
  unsigned char b[4];
  wwread(w, h, b, 4);
  return cwget32u(b, w->big);
}

// Far-East documents store each character as two bytes, low byte first;
// the two bytes are placed separately, as a piece boundary may fall between.
int wwgetch(wwstate* w, int, int32_t pos) {
  if (w->hdr && wwfeany(w)) {
    if (pos != -1) wwseek(w, WW_MAIN, pos);
    int lo = wwstmgetc(w, WW_MAIN);
    if (pos != -1) wwseek(w, WW_MAIN, pos + 1);
    int hi = wwstmgetc(w, WW_MAIN);
    if (lo < 0) return -1;
    return lo + 256 * (hi < 0 ? 0 : hi);
  }
  if (pos != -1) wwseek(w, WW_MAIN, pos);
  return wwstmgetc(w, WW_MAIN);
}

int wwbufb(const wwstate*, const unsigned char* p) { return p[0]; }
int wwbufsb(const wwstate*, const unsigned char* p) { return static_cast<signed char>(p[0]); }
unsigned wwbufw(const wwstate* w, const unsigned char* p) { return cwget16u(p, w->big); }
int wwbufsw(const wwstate* w, const unsigned char* p) { return cwget16(p, w->big); }
int32_t wwbufl(const wwstate* w, const unsigned char* p) { return cwget32(p, w->big); }
uint32_t wwbuful(const wwstate* w, const unsigned char* p) { return cwget32u(p, w->big); }
int32_t wwbuf3b(const wwstate* w, const unsigned char* p) {
  return static_cast<int32_t>(cwget32u(p, w->big) & 0x00FFFFFFu);
}
int wwputb(wwstate*, unsigned char* p, int v) {
  p[0] = static_cast<unsigned char>(v);
  return v;
}
void wwputw(wwstate* w, unsigned char* p, unsigned v) { cwput16u(v, p, w->big); }
void wwputsw(wwstate* w, unsigned char* p, int v) { cwput16(v, p, w->big); }

void* wwalloc(wwstate* w, long size) {
  size = wwlen(size);
  void* p = size >= 0 ? cvalloc(w->run, static_cast<size_t>(size)) : nullptr;
  if (!p) wwfatal(w, RDR_NOMEM);
  std::memset(p, 0, static_cast<size_t>(size));
  return p;
}

void wwfree(wwstate* w, void* block) { cvfree(w->run, block); }

void wwfatal(wwstate* w, int code) {
  wwsedfree(w);
  wwpapbinfree(w);
  wwchpbinfree(w);
  wwstshfree(w);
  wwfontfree(w);
  wwbkmkfree(w);
  wwclxfree(w);
  cvrun* run = w->run;
  cvcloseio(run);
  convfatal(run, code);
  std::abort();  // convfatal unwinds to the framework's caller
}

// ---------------------------------------------------------------- wide strings

int wwwlen(const int32_t* s) {
  int n = 0;
  while (s[n]) n++;
  return n;
}

int wwwcpy(int32_t* dst, const int32_t* src) {
  int n = 0;
  while ((dst[n] = src[n]) != 0) n++;
  return n;
}

int wwweq(const int32_t* a, const int32_t* b) {
  for (int i = 0;; i++) {
    if (a[i] != b[i]) return 0;
    if (!a[i]) return 1;
  }
}

int wwiswide(const int32_t* s) {
  for (int i = 0;; i++) {
    if (s[i] > 255) return 1;
    if (!s[i]) return 0;
  }
}

int32_t* wwwiden(wwstate* w, const char* s) {
  long n = static_cast<long>(std::strlen(s));
  auto* out = static_cast<int32_t*>(wwalloc(w, (n + 1) * static_cast<long>(sizeof(int32_t))));
  for (long i = 0; i < n; i++) out[i] = static_cast<unsigned char>(s[i]);
  out[n] = 0;
  return out;
}

char* wwstrdup(wwstate* w, const int32_t* s) {
  if (!s) return nullptr;
  int n = wwwlen(s);
  auto* out = static_cast<char*>(wwalloc(w, n + 1));
  for (int i = 0; i < n; i++) out[i] = static_cast<char>(wwbyte(s[i]));
  out[n] = 0;
  return out;
}

long wwwdist(const void* later, const void* earlier) {
  return static_cast<const char*>(later) - static_cast<const char*>(earlier);
}

int wwupch(int c) { return c >= 97 && c <= 122 ? c - 32 : c; }

int wwupper(char* s) {
  int n = 0;
  for (; s[n]; n++) s[n] = static_cast<char>(wwupch(static_cast<unsigned char>(s[n])));
  return n;
}

int wwkwmatch(const int32_t* s, const char* kw) {
  for (int i = 0; kw[i]; i++)
    if (wwupch(static_cast<unsigned char>(kw[i])) != wwupch(s[i])) return 0;
  return 1;
}

const int32_t* wwkwfind(const int32_t* s, const char* kw) {
  for (; *s; s++)
    if (wwkwmatch(s, kw)) return s;
  return nullptr;
}

int wwfldint(const int32_t* s) {
  char buf[12];
  int n = 0;
  while (n < 11 && s[n]) {
    buf[n] = static_cast<char>(wwbyte(s[n]));
    n++;
  }
  buf[n] = 0;
  return static_cast<int>(std::strtol(buf, nullptr, 10));
}
