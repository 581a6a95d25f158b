// Conversion between character sets over glibc's iconv, one whole character
// at a time, so that a chunked conversion never splits a character and an
// unmappable character costs one "?" instead of the rest of the text.
#include "platform/nls/nls.h"

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
