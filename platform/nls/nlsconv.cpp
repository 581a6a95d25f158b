// Conversion between character sets over glibc's iconv, one whole character
// at a time, so that a chunked conversion never splits a character and an
// unmappable character costs one "?" instead of the rest of the text.
#include "platform/nls/nls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

unsigned nlsratio(const nlscs* to, const nlscs* from) {
  // One source character (one byte or more) gives one target character.
  return to == from ? 1u : to->maxwidth;
}

long nlsconv(const nlscs* to, char* dst, size_t dstsize, const nlscs* from, const char* src,
             size_t srclen, size_t* used) {
  *used = 0;
  iconv_t cd = iconv_open(to->iconvname, from->iconvname);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  size_t in = 0, out = 0;
  while (in < srclen) {
    size_t w = nlsclen(from, src + in, srclen - in);
    if (w == 0) break;  // cut off by the end of the source
    char buf[8];
    char* ip = const_cast<char*>(src + in);
    size_t il = w;
    char* op = buf;
    size_t ol = sizeof buf;
    size_t n;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      buf[0] = '?';  // the same byte in every known set
      n = 1;
    } else {
      n = sizeof buf - ol;
    }
    if (out + n > dstsize) break;
    std::memcpy(dst + out, buf, n);
    out += n;
    in += w;
  }
  iconv_close(cd);
  *used = in;
  return static_cast<long>(out);
}

namespace {

bool isutf8(const nlscs* cs) { return cs->id == NLS_UTF8 || cs->id == NLS_AL32UTF8; }

// Length of the valid UTF-8 character at p within n bytes and its code
// point; 0 when the character is cut off by the end, -1 when the bytes at
// p start no valid character (one byte is then passed over).
int utf8char(const unsigned char* p, size_t n, uint32_t* cp) {
  unsigned char b = p[0];
  int w;
  uint32_t v, min;
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  if (b >= 0xC2 && b <= 0xDF) {
    w = 2, v = b & 0x1Fu, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    w = 3, v = b & 0x0Fu, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    w = 4, v = b & 0x07u, min = 0x10000;
  } else {
    return -1;
  }
  for (int k = 1; k < w; ++k) {
    if (static_cast<size_t>(k) >= n) return 0;
    if ((p[k] & 0xC0) != 0x80) return -1;
    v = v << 6 | (p[k] & 0x3Fu);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return -1;
  *cp = v;
  return w;
}

}  // namespace

size_t nlsrepl(const nlscs* cs, char* out) {
  if (isutf8(cs)) {
    std::memcpy(out, "\xEF\xBF\xBD", 3);
    return 3;
  }
  // Latin-1's inverted question mark; "?" in the sets without one.
  out[0] = cs->id == NLS_WE8ISO8859P1 ? '\xBF' : '?';
  return 1;
}

long nlsfromutf8(const nlscs* to, char* dst, size_t dstsize, const char* src, size_t srclen,
                 size_t* used, size_t* replaced) {
  *used = 0;
  char rep[4];
  size_t rlen = nlsrepl(to, rep);
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  // Latin-1 holds the first 256 code points, US7ASCII the first 128; a
  // UTF8 session takes every valid character as it is.
  uint32_t top = isutf8(to) ? 0x10FFFF : to->id == NLS_WE8ISO8859P1 ? 0xFF : to->id == NLS_US7ASCII ? 0x7F : 0;
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  if (top == 0) {
    cd = iconv_open(to->iconvname, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  }
  size_t in = 0, out = 0;
  while (in < srclen) {
    // Runs of ASCII, the common case, go across whole.
    size_t run = in;
    while (run < srclen && s[run] < 0x80) ++run;
    if (run > in) {
      size_t n = std::min(run - in, dstsize - out);
      std::memcpy(dst + out, src + in, n);
      out += n;
      in += n;
      if (in < run) break;
      continue;
    }
    uint32_t cp = 0;
    int w = utf8char(s + in, srclen - in, &cp);
    if (w == 0) break;  // cut off by the end of the source
    const char* put = rep;
    size_t plen = rlen;
    char buf[8];
    bool bad = w < 0;
    if (!bad && top != 0) {
      if (cp > top) {
        bad = true;
      } else if (isutf8(to)) {
        put = src + in;
        plen = static_cast<size_t>(w);
      } else {
        buf[0] = static_cast<char>(cp);
        put = buf;
        plen = 1;
      }
    } else if (!bad) {
      char* ip = const_cast<char*>(src + in);
      size_t il = static_cast<size_t>(w);
      char* op = buf;
      size_t ol = sizeof buf;
      if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        bad = true;
      } else {
        put = buf;
        plen = sizeof buf - ol;
      }
    }
    if (out + plen > dstsize) break;
    std::memcpy(dst + out, put, plen);
    out += plen;
    in += w < 0 ? 1 : static_cast<size_t>(w);
    if (bad && replaced) ++*replaced;
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  *used = in;
  return static_cast<long>(out);
}

long nlsjaconv(const nlscs* to, char* dst, size_t dstsize, const nlscs* from, const char* src,
               size_t srclen, size_t* used) {
  *used = 0;
  bool toeuc = from->id == NLS_JA16SJIS && to->id == NLS_JA16EUC;
  if (!toeuc && !(from->id == NLS_JA16EUC && to->id == NLS_JA16SJIS)) return -1;
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  auto* d = reinterpret_cast<unsigned char*>(dst);
  size_t in = 0, out = 0;
  while (in < srclen) {
    unsigned char b = s[in];
    if (b < 0x80) {
      if (out >= dstsize) break;
      d[out++] = b;
      ++in;
      continue;
    }
    size_t w = nlsclen(from, src + in, srclen - in);
    if (w == 0) break;  // cut off by the end of the source
    unsigned char c = w > 1 ? s[in + 1] : 0;
    unsigned char put[2] = {'?', 0};
    size_t n = 1;
    if (toeuc) {
      if (w == 1 && b >= 0xA1 && b <= 0xDF) {
        put[0] = 0x8E;  // half-width kana
        put[1] = b;
        n = 2;
      } else if (w == 2 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF)) &&
                 ((c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC))) {
        unsigned j1 = (b - (b <= 0x9F ? 0x70u : 0xB0u)) * 2, j2 = c;
        if (c < 0x9F) {
          --j1;
          j2 -= c < 0x7F ? 0x1F : 0x20;
        } else {
          j2 -= 0x7E;
        }
        put[0] = static_cast<unsigned char>(j1 | 0x80);
        put[1] = static_cast<unsigned char>(j2 | 0x80);
        n = 2;
      }
    } else if (w == 2 && b == 0x8E) {
      if (c >= 0xA1 && c <= 0xDF) put[0] = c;
    } else if (w == 2 && b >= 0xA1 && b <= 0xFE && c >= 0xA1 && c <= 0xFE) {
      unsigned j1 = b & 0x7F, j2 = c & 0x7F;
      put[0] = static_cast<unsigned char>((j1 + 1) / 2 + (j1 < 0x5F ? 0x70 : 0xB0));
      put[1] = static_cast<unsigned char>(j1 % 2 == 0 ? j2 + 0x7E : j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20);
      n = 2;
    }
    if (out + n > dstsize) break;
    d[out] = put[0];
    if (n == 2) d[out + 1] = put[1];
    out += n;
    in += w;
  }
  *used = in;
  return static_cast<long>(out);
}
