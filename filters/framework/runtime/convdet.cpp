// Format detection: fixed byte tests and counts over the first 4096 bytes of
// the document, run in a fixed order; only the compound-file test reads on,
// walking the directory sectors for a "WordDocument" entry (Word) or, in
// a file without one, a "PerfectOffice_MAIN" entry (WordPerfect 6).
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include <cstring>

namespace {

constexpr int kdetsize = 4096;
constexpr int ksector = 512;
constexpr uint32_t kfree = 0xFFFFFFFFu, kendchain = 0xFFFFFFFEu;

// convdetlower: 'A'-'Z' folded to 'a'-'z', every other value unchanged.
int convdetlower(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

// convdetcmp: n bytes equal with ASCII letters folded.
bool convdetcmp(const unsigned char* a, const char* b, int n) {
  for (int i = 0; i < n; i++)
    if (convdetlower(a[i]) != convdetlower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// convdetbytes: n bytes exactly equal.
bool convdetbytes(const unsigned char* a, const unsigned char* b, int n) { return std::memcmp(a, b, n) == 0; }

// convdetu32: a 32-bit little-endian value.
uint32_t convdetu32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// convdetwcmp: a 16-bit little-endian name equals an 8-bit one, both ending together.
bool convdetwcmp(const unsigned char* wide, int units, const char* name) {
  int n = static_cast<int>(std::strlen(name));
  if (n >= units) return false;
  for (int i = 0; i < n; i++)
    if (wide[2 * i] != static_cast<unsigned char>(name[i]) || wide[2 * i + 1] != 0) return false;
  return wide[2 * n] == 0 && wide[2 * n + 1] == 0;
}

// Reads one sector of the document into buf; false when it is not whole.
bool readsector(convstate* st, uint32_t s, unsigned char* buf) {
  long off = ksector + static_cast<long>(s) * ksector;
  st->cb.seek(st->user, off, 0);
  return cvhostread(st, buf, ksector) >= ksector;
}

// convdetfat: the sector after s in the allocation table, or kfree when the
// table cannot say. *cached holds the table sector read last.
uint32_t convdetfat(convstate* st, const unsigned char* head, uint32_t s, unsigned char* fat,
                    uint32_t* cached) {
  uint32_t index = s / 128, entry = s % 128;
  if (index >= convdetu32(head + 44) || index >= 109) return kfree;
  uint32_t fs = convdetu32(head + 76 + 4 * index);
  if (fs == kfree) return kfree;
  if (fs != *cached) {
    if (!readsector(st, fs, fat)) return kfree;
    *cached = fs;
  }
  return convdetu32(fat + 4 * entry);
}

}  // namespace

int convdetwp(const unsigned char* b, int n) {
  static const unsigned char magic[4] = {0xFF, 'W', 'P', 'C'};
  if (n < 16 || !convdetbytes(b, magic, 4) || b[8] != 1 || b[9] != 10) return 0;
  if (b[11] != 0 && b[11] != 1) return 0;
  return b[10] == 2 ? 48 : 7;
}

int convdetw12(const unsigned char* b, int n) {
  static const unsigned char tail[4] = {0x80, 0x01, 0x00, 0x00};
  if (n < 30 || (b[0] != 0x9B && b[0] != 0xDB) || b[1] != 0xA5) return 0;
  return convdetbytes(b + 24, tail, 4) ? 44 : 0;
}

int convdethtml(const unsigned char* b, int n) {
  static const char* const keys[] = {"HTML", "TITLE", "HEAD", "!--"};
  int budget = n;
  for (int i = 0; i < n && budget > 0; i++) {
    budget--;
    if (b[i] != '<') continue;
    for (const char* k : keys) {
      int len = static_cast<int>(std::strlen(k));
      if (i + 1 + len > n || !convdetcmp(b + i + 1, k, len)) continue;
      // A keyword: the tag must close within what the budget still covers.
      for (int j = i + 1; j < n && j < i + 1 + budget; j++)
        if (b[j] == '>') return 108;
      return 0;
    }
    budget--;  // a '<' without a keyword costs a second unit
  }
  return 0;
}

int convdettext(const unsigned char* b, int n) {
  int crlf = 0, crcrlf = 0, cr = 0, lf = 0, spaces = 0, ats = 0, lo = 0, hi = 0;
  for (int i = 0; i < n - 1;) {
    int c = b[i], classed = c;
    if (c == '\r') {
      if (i + 2 < n && b[i + 1] == '\r' && b[i + 2] == '\n') {
        crcrlf++;
        classed = b[i + 2];
        i += 3;
      } else if (b[i + 1] == '\n') {
        crlf++;
        classed = b[i + 1];
        i += 2;
      } else {
        cr++;
        i++;
      }
    } else {
      if (c == '\n') lf++;
      if (c == ' ') spaces++;
      if (c == '@') ats++;
      i++;
    }
    if (classed < 128)
      lo++;
    else
      hi++;
  }
  int t = n / 302;
  if (t > 10) t = 10;
  int q = t / 4;
  if (crcrlf > crlf) crlf = crcrlf;
  bool lines = (crlf >= t && lf <= q && cr <= q) || (crlf <= q && lf >= t && cr <= q) ||
               (crlf <= q && lf <= q && cr >= t);
  if (!lines) return 0;
  bool text = ats > spaces ? hi < 2 * lo && 6 * hi <= lo : 4 * hi <= lo;
  if (!text) return 0;
  if (n >= 2 && b[0] == '%' && b[1] == '!') return 0;
  if (n >= 3 && b[0] == 0x04 && b[1] == '%' && b[2] == '!') return 0;
  return 1;
}

int convdetole(convstate* st, const unsigned char* b, int n) {
  static const unsigned char magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (n < 2048 || !convdetbytes(b, magic, 8)) return 0;
  // A damaged file may chain its directory in a circle: no walk takes more
  // steps than the document has sectors.
  long size = 0;
  st->cb.seek(st->user, 0, 2);
  st->cb.tell(st->user, &size);
  long steps = size / ksector + 1;
  unsigned char* dir = static_cast<unsigned char*>(st->cb.alloc(st->user, 2 * ksector));
  if (!dir) return 0;
  unsigned char* fat = dir + ksector;
  uint32_t cached = kfree;
  int found = 0, perfect = 0;
  for (uint32_t s = convdetu32(b + 48); s != kfree && s != kendchain && steps-- > 0;) {
    if (!readsector(st, s, dir)) break;  // a short read ends the walk
    for (int e = 0; e < 4 && !found; e++) {
      if (convdetwcmp(dir + 128 * e, 32, "WordDocument")) found = 49;
      if (convdetwcmp(dir + 128 * e, 32, "PerfectOffice_MAIN")) perfect = 48;
    }
    if (found) break;
    s = convdetfat(st, b, s, fat, &cached);
  }
  st->cb.free(st->user, dir);
  return found ? found : perfect;
}

int convdetect(convstate* st) {
  auto* buf = static_cast<unsigned char*>(st->cb.alloc(st->user, kdetsize));
  if (!buf) return 0;
  st->cb.seek(st->user, 0, 0);
  int n = cvhostread(st, buf, kdetsize);
  int code = 0;
  if (n > 0) {
    code = convdetwp(buf, n);
    if (!code) code = convdetw12(buf, n);
    if (!code) code = convdethtml(buf, n);
    if (!code) code = convdettext(buf, n);
    if (!code) code = convdetole(st, buf, n);
    st->cb.seek(st->user, 0, 0);
  }
  st->cb.free(st->user, buf);
  return code;
}
