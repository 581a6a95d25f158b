// Character output in code page 437 (or as records keeping the source
// character), the cross-code-page converter, zone marks, and the small text
// and byte-order routines every converter uses.
#include "converters/runtime/cx.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {
const int cpcols[8] = {437, 9999, 850, 819, 8591, 9998, 8592, 9997};
int upper(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
}  // namespace

int cxcpindex(void* ignored, int codepage) {
  for (int i = 0; i < 8; i++)
    if (cpcols[i] == codepage) return i;
  return -1;
}

int cxcpconv(void* ignored, int from, int to, int c) {
  if (from == to) return c;
  bool special = from == 9997 || from == 9998 || to == 9997 || to == 9998;
  if (c >= 32 && c <= 127 && !special) return c;
  int fi = cxcpindex(nullptr, from), ti = cxcpindex(nullptr, to);
  if (fi < 0 || ti < 0) return -1;
  for (const auto& row : cxcptab)
    if (row[fi] == c && (row[8] & (1 << fi))) return row[ti];
  return -1;
}

int ccputchar(cxstate* st, int c, int codepage) {
  if (codepage != 437) {
    cmbegin(st, 19576);
    cmputdec(st, codepage);
    cmputhex2(st, c, 31);
    cmend(st);
    c = cxcpconv(nullptr, codepage, 437, c);
  }
  if (c >= 128 || (c >= 1 && c <= 31)) {
    cmbegin(st, c >= 128 ? 19573 : 24744);
    cmputhex2(st, c, 31);
    return cmend(st);
  }
  if (c == 0 || c == -1) return cxputc(st, '_');
  return cxputc(st, c);
}

// ---------------------------------------------------------------- zone marks

int cxzoneopen(cxstate* st) {
  if (!st->mn->zonefile) return 0;
  int h = cxopen(st, st->mn->zonefile, 2, 2);
  if (h < 0) return -1;
  st->sb->zonehandle = h;
  st->sb->zonedepth = -1;
  return 0;
}

int cxzoneclose(cxstate* st) {
  if (st->sb->zonehandle >= 0) {
    cxclose(st, st->sb->zonehandle);
    st->sb->zonehandle = -1;
  }
  return 0;
}

int cxzonepush(cxstate* st, int code) {
  if (st->sb->zonedepth >= CX_NZONES - 1) return -1;
  st->ob->zonestack[++st->sb->zonedepth] = code;
  return 0;
}

int cxzonepop(cxstate* st) {
  if (st->sb->zonedepth < 0) return -1;
  return st->ob->zonestack[st->sb->zonedepth--];
}

int cxzonetop(cxstate* st) {
  if (st->sb->zonedepth < 0) return -1;
  return st->ob->zonestack[st->sb->zonedepth];
}

int cxzoneline(cxstate* st, int start, int end, int code) {
  char line[64];
  int n = std::snprintf(line, sizeof line, "%d, %d, %d\r\n", start, end, code);
  return cxwrite(st, st->sb->zonehandle, line, n);
}

int cxzonemark(cxstate* st, int code, int open) {
  if (st->sb->zonehandle < 0) return 0;
  int count = st->io->outcount;
  int& last = st->io->lastzone;
  if (open) {
    if (count > last) cxzoneline(st, last, count - 1, cxzonetop(st));
    last = count;
    cxzonepush(st, code);
  } else {
    int top = cxzonepop(st);
    if (count < last)
      cxzoneline(st, last, last, top);
    else if (count > last)
      cxzoneline(st, last, count - 1, top);
    last = count;
  }
  return 0;
}

// ---------------------------------------------------------------- text

int cxstrncmp(void* ignored, const char* a, const char* b, int n) {
  for (int i = 0; i < n; i++) {
    int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x - y;
    if (x == 0) return 0;
  }
  return 0;
}

int ccstrnicmp(cxstate* st, const char* a, const char* b, int n) {
  for (int i = 0; i < n; i++) {
    int x = upper(static_cast<unsigned char>(a[i])), y = upper(static_cast<unsigned char>(b[i]));
    if (x != y) return x - y;
    if (x == 0) return 0;
  }
  return 0;
}

int ccstricmp(cxstate* st, const char* a, const char* b) {
  for (;; a++, b++) {
    int x = upper(static_cast<unsigned char>(*a)), y = upper(static_cast<unsigned char>(*b));
    if (x != y) return x - y;
    if (x == 0) return 0;
  }
}

int ccstriprefix(cxstate* st, const char* text, const char* pattern) {
  for (; *pattern; text++, pattern++)
    if (upper(static_cast<unsigned char>(*text)) != upper(static_cast<unsigned char>(*pattern)))
      return 0;
  return 1;
}

const char* ccstristr(cxstate* st, const char* text, const char* pattern) {
  if (!text || !pattern) return nullptr;
  for (const char* t = text; *t; t++)
    if (ccstriprefix(st, t, pattern)) return t;
  return *pattern ? nullptr : text;
}

const char* ccstrpbrk(cxstate* st, const char* text, const char* pattern) {
  return ccstristr(st, text, pattern);
}

int cctoupper(cxstate* st, int c) { return upper(c); }

char* cxstrlwr(cxstate* st, char* text) {
  for (char* p = text; p && *p; p++)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p + 32);
  return text;
}

char* cxstrupr(cxstate* st, char* text) {
  for (char* p = text; p && *p; p++)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
  return text;
}

void cccopy(void* ignored, void* dst, const void* src, int n) {
  auto* d = static_cast<unsigned char*>(dst);
  auto* s = static_cast<const unsigned char*>(src);
  for (int i = 0; i < n; i++) d[i] = s[i];
}

void cccopy8(void* ignored, const void* src, void* dst) { std::memmove(dst, src, 8); }

void cccopy8z(void* ignored, const void* value, void* dst) {
  std::memmove(dst, value, 8);
  static_cast<unsigned char*>(dst)[0] = 0;
}

void cxstrnpad(void* ignored, char* field, const char* text, int n) {
  int i = 0;
  for (; i < n && text[i]; i++) field[i] = text[i];
  for (; i < n; i++) field[i] = 0;
}

char* ccstrrev2(void* ignored, char* text) {
  ccstrrev(nullptr, text);
  return text;
}

char* ccitoa(void* ignored, int value, char* out, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  long long v = value;
  bool neg = v < 0;
  if (neg) v = -v;
  int n = 0;
  do {
    int d = static_cast<int>(v % radix);
    out[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
    v /= radix;
  } while (v);
  if (neg) out[n++] = '-';
  out[n] = '\0';
  return ccstrrev2(nullptr, out);
}

char* ccitoa2(void* ignored, int value, char* out, int radix) {
  return ccitoa(nullptr, value, out, radix);
}

// ---------------------------------------------------------------- byte order

int ccgetu16(cxstate* st, const unsigned char* b, int flag) {
  return flag == 1 ? (b[0] << 8) | b[1] : (b[1] << 8) | b[0];
}

int ccget16(cxstate* st, const unsigned char* b, int flag) {
  return static_cast<int16_t>(ccgetu16(st, b, flag));
}

int32_t ccget32(cxstate* st, const unsigned char* b, int flag) {
  uint32_t v = flag == 1 ? (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3]
                         : (uint32_t{b[3]} << 24) | (uint32_t{b[2]} << 16) | (uint32_t{b[1]} << 8) | b[0];
  return static_cast<int32_t>(v);
}

void ccput16(cxstate* st, int value, unsigned char* out, int flag) {
  unsigned char lo = static_cast<unsigned char>(value), hi = static_cast<unsigned char>(value >> 8);
  out[0] = flag == 1 ? hi : lo;
  out[1] = flag == 1 ? lo : hi;
}

void ccput32(cxstate* st, int32_t value, unsigned char* out, int flag) {
  auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; i++) {
    unsigned char byte = static_cast<unsigned char>(v >> (8 * i));
    out[flag == 1 ? 3 - i : i] = byte;
  }
}

int ccswap16(cxstate* st, int value, int flag) {
  if (flag != 1) return value;
  return ((value & 0xFF) << 8) | ((value >> 8) & 0xFF);
}

int32_t ccswap32(cxstate* st, int32_t value, int flag) {
  if (flag != 1) return value;
  auto v = static_cast<uint32_t>(value);
  return static_cast<int32_t>((v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24));
}
