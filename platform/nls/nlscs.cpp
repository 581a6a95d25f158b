// The character sets: their byte tables, how a character's length follows
// from its bytes, and the character-aware string operations over them.
// Trail bytes are checked so that a stray lead byte never swallows the
// quote, comma or NUL that follows it.
#include "platform/nls/nls.h"

#include <array>
#include <climits>
#include <cstring>

namespace {

using u8 = unsigned char;
using table16 = std::array<uint16_t, 256>;
using table8 = std::array<uint8_t, 256>;

constexpr bool in(u8 b, u8 lo, u8 hi) { return b >= lo && b <= hi; }

// Classes of the ASCII half, shared by every set.
constexpr uint16_t asciicls(unsigned b) {
  if (b == ' ') return NLS_SPACE;
  if (b >= 9 && b <= 13) return NLS_SPACE | NLS_CNTRL;
  if (b < 32 || b == 127) return NLS_CNTRL;
  if (b >= '0' && b <= '9') return NLS_DIGIT;
  if (b >= 'A' && b <= 'Z') return NLS_ALPHA | NLS_UPPER;
  if (b >= 'a' && b <= 'z') return NLS_ALPHA | NLS_LOWER;
  if (b < 128) return NLS_PUNCT;
  return 0;
}

// Classes of ISO 8859-1 (the upper half as well).
constexpr uint16_t latin1cls(unsigned b) {
  if (b < 128) return asciicls(b);
  if (b < 0xA0) return NLS_CNTRL;
  if (b == 0xA0) return NLS_SPACE;
  if (b == 0xAA || b == 0xB5 || b == 0xBA) return NLS_ALPHA | NLS_LOWER;
  if (b < 0xC0 || b == 0xD7 || b == 0xF7) return NLS_PUNCT;
  if (b < 0xDF) return NLS_ALPHA | NLS_UPPER;
  return NLS_ALPHA | NLS_LOWER;
}

constexpr unsigned latin1upper(unsigned b) {
  if (b >= 'a' && b <= 'z') return b - 32;
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return b - 32;
  return b;
}

// Accented Latin-1 letters and their base letters.
constexpr unsigned latin1base(unsigned b) {
  constexpr const char* upper = "AAAAAAACEEEEIIIIDNOOOOO*OUUUUY";  // 0xC0 to 0xDD
  if (b >= 0xC0 && b <= 0xDD && b != 0xC6 && b != 0xD7) return static_cast<u8>(upper[b - 0xC0]);
  if (b >= 0xE0 && b <= 0xFD && b != 0xE6 && b != 0xF7) return static_cast<u8>(upper[b - 0xE0]) + 32;
  if (b == 0xFF) return 'y';
  return b;
}

constexpr table16 mkcls(bool latin1) {
  table16 t{};
  for (unsigned b = 0; b < 256; ++b) t[b] = latin1 ? latin1cls(b) : asciicls(b);
  return t;
}

constexpr table8 mkupper(bool latin1) {
  table8 t{};
  for (unsigned b = 0; b < 256; ++b)
    t[b] = static_cast<u8>(latin1 ? latin1upper(b) : (b >= 'a' && b <= 'z' ? b - 32 : b));
  return t;
}

constexpr table8 mkbase(bool latin1) {
  table8 t{};
  for (unsigned b = 0; b < 256; ++b) t[b] = static_cast<u8>(latin1 ? latin1base(b) : b);
  return t;
}

// Shift-JIS: the half-width katakana stand alone as single bytes.
constexpr table16 mksjiscls() {
  table16 t = mkcls(false);
  for (unsigned b = 0xA1; b <= 0xA5; ++b) t[b] = NLS_PUNCT;
  for (unsigned b = 0xA6; b <= 0xDF; ++b) t[b] = NLS_ALPHA;
  return t;
}

constexpr table16 kAsciiCls = mkcls(false);
constexpr table16 kLatin1Cls = mkcls(true);
constexpr table16 kSjisCls = mksjiscls();
constexpr table8 kAsciiUpper = mkupper(false);
constexpr table8 kLatin1Upper = mkupper(true);
constexpr table8 kIdentity = mkbase(false);
constexpr table8 kLatin1Base = mkbase(true);

// Widths. Each reads p[k] only for k < n.

size_t wsingle(const u8*, size_t n) { return n ? 1 : 0; }

// A lead byte in [lo, hi] followed by a trail byte the test accepts makes
// two bytes; a lead byte followed by anything else stands alone.
template <u8 lo, u8 hi, bool (*trail)(u8)>
size_t wdouble(const u8* p, size_t n) {
  if (n == 0) return 0;
  if (!in(p[0], lo, hi)) return 1;
  if (n < 2) return 0;
  return trail(p[1]) ? 2 : 1;
}

bool trailhigh(u8 b) { return in(b, 0xA1, 0xFE); }
bool trailgbk(u8 b) { return in(b, 0x40, 0x7E) || in(b, 0x80, 0xFE); }
bool trailbig5(u8 b) { return in(b, 0x40, 0x7E) || in(b, 0xA1, 0xFE); }

size_t weucjp(const u8* p, size_t n) {
  if (n == 0) return 0;
  u8 b = p[0];
  if (b == 0x8E) {  // half-width katakana
    if (n < 2) return 0;
    return in(p[1], 0xA1, 0xDF) ? 2 : 1;
  }
  if (b == 0x8F) {  // JIS X 0212
    if (n < 2) return 0;
    if (!in(p[1], 0xA1, 0xFE)) return 1;
    if (n < 3) return 0;
    return in(p[2], 0xA1, 0xFE) ? 3 : 1;
  }
  if (in(b, 0xA1, 0xFE)) {
    if (n < 2) return 0;
    return in(p[1], 0xA1, 0xFE) ? 2 : 1;
  }
  return 1;
}

// EUC-TW: 0x8E opens four bytes (plane 0xA1 to 0xB0, then a double-byte
// character of that plane); other characters take one or two bytes.
size_t weuctw(const u8* p, size_t n) {
  if (n == 0) return 0;
  u8 b = p[0];
  if (b == 0x8E) {
    if (n < 2) return 0;
    if (!in(p[1], 0xA1, 0xB0)) return 1;
    for (size_t k = 2; k < 4; ++k) {
      if (k >= n) return 0;
      if (!in(p[k], 0xA1, 0xFE)) return 1;
    }
    return 4;
  }
  if (in(b, 0xA1, 0xFE)) {
    if (n < 2) return 0;
    return in(p[1], 0xA1, 0xFE) ? 2 : 1;
  }
  return 1;
}

size_t wsjis(const u8* p, size_t n) {
  if (n == 0) return 0;
  u8 b = p[0];
  if (!in(b, 0x81, 0x9F) && !in(b, 0xE0, 0xFC)) return 1;
  if (n < 2) return 0;
  return in(p[1], 0x40, 0x7E) || in(p[1], 0x80, 0xFC) ? 2 : 1;
}

size_t wutf8(const u8* p, size_t n) {
  if (n == 0) return 0;
  u8 b = p[0];
  size_t len;
  u8 lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b < 0x80) return 1;
  if (in(b, 0xC2, 0xDF)) len = 2;
  else if (in(b, 0xE0, 0xEF)) {
    len = 3;
    if (b == 0xE0) lo = 0xA0;   // no overlong forms
    if (b == 0xED) hi = 0x9F;   // no surrogates
  } else if (in(b, 0xF0, 0xF4)) {
    len = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;   // nothing above U+10FFFF
  } else
    return 1;
  for (size_t k = 1; k < len; ++k) {
    if (k >= n) return 0;
    u8 c = p[k];
    if (k == 1 ? !in(c, lo, hi) : !in(c, 0x80, 0xBF)) return 1;
  }
  return len;
}

// Classes of multi-byte characters: the set's ideographic space is white
// space, its row of symbols punctuation, everything else a letter (Kanji,
// Hanzi, Hangul, kana, full-width Latin). A multi-byte character is never a
// digit: the lexers take full-width digits from their own tables.
uint16_t mbrow(const u8* p, size_t len, u8 symrow, u8 spc1, u8 spc2) {
  if (len >= 2 && p[0] == spc1 && p[1] == spc2) return NLS_SPACE;
  if (p[0] == symrow && len == 2) return NLS_PUNCT;
  return NLS_ALPHA;
}

uint16_t mbeuc(const u8* p, size_t len) { return mbrow(p, len, 0xA1, 0xA1, 0xA1); }
uint16_t mbsjis(const u8* p, size_t len) { return mbrow(p, len, 0x81, 0x81, 0x40); }
uint16_t mbbig5(const u8* p, size_t len) { return mbrow(p, len, 0xA1, 0xA1, 0x40); }
uint16_t mbnone(const u8*, size_t) { return 0; }

uint32_t utf8cp(const u8* p, size_t len) {
  if (len == 2) return (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu);
  if (len == 3) return (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
  return (p[0] & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
}

uint16_t mbutf8(const u8* p, size_t len) {
  uint32_t cp = utf8cp(p, len);
  if (cp < 0x100) return latin1cls(cp);
  if (cp == 0x3000 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 ||
      cp == 0x2029 || cp == 0x202F || cp == 0x205F)
    return NLS_SPACE;
  if ((cp >= 0x2010 && cp <= 0x2027) || (cp >= 0x2030 && cp <= 0x205E) ||
      (cp >= 0x3001 && cp <= 0x3003) || (cp >= 0x3008 && cp <= 0x3011) ||
      (cp >= 0xFF01 && cp <= 0xFF0F))
    return NLS_PUNCT;
  return NLS_ALPHA;
}

const nlscs kSets[] = {
    {NLS_US7ASCII, "US7ASCII", "LATIN1", "ASCII", NLS_CS_SINGLE, 1, 0, kAsciiCls.data(),
     kAsciiUpper.data(), kIdentity.data(), wsingle, mbnone},
    {NLS_WE8ISO8859P1, "WE8ISO8859P1", "LATIN1", "ISO-8859-1", NLS_CS_SINGLE, 1, 0,
     kLatin1Cls.data(), kLatin1Upper.data(), kLatin1Base.data(), wsingle, mbnone},
    {NLS_JA16EUC, "JA16EUC", "EUC_JP", "EUC-JP", 0, 3, 0, kAsciiCls.data(), kAsciiUpper.data(),
     kIdentity.data(), weucjp, mbeuc},
    {NLS_JA16SJIS, "JA16SJIS", "SJIS", "CP932", 0, 2, 0, kSjisCls.data(), kAsciiUpper.data(),
     kIdentity.data(), wsjis, mbsjis},
    {NLS_KO16KSC5601, "KO16KSC5601", "EUC_KR", "EUC-KR", 0, 2, 0, kAsciiCls.data(),
     kAsciiUpper.data(), kIdentity.data(), wdouble<0xA1, 0xFE, trailhigh>, mbeuc},
    {NLS_ZHS16CGB231280, "ZHS16CGB231280", "EUC_CN", "EUC-CN", 0, 2, 0, kAsciiCls.data(),
     kAsciiUpper.data(), kIdentity.data(), wdouble<0xA1, 0xFE, trailhigh>, mbeuc},
    {NLS_ZHS16GBK, "ZHS16GBK", "GBK", "GBK", 0, 2, 0, kAsciiCls.data(), kAsciiUpper.data(),
     kIdentity.data(), wdouble<0x81, 0xFE, trailgbk>, mbeuc},
    {NLS_ZHT32EUC, "ZHT32EUC", "EUC_TW", "EUC-TW", 0, 4, 0, kAsciiCls.data(), kAsciiUpper.data(),
     kIdentity.data(), weuctw, mbeuc},
    {NLS_ZHT16BIG5, "ZHT16BIG5", "BIG5", "BIG5", 0, 2, 0, kAsciiCls.data(), kAsciiUpper.data(),
     kIdentity.data(), wdouble<0x81, 0xFE, trailbig5>, mbbig5},
    {NLS_UTF8, "UTF8", "UTF8", "UTF-8", 0, 4, 0, kAsciiCls.data(), kAsciiUpper.data(),
     kIdentity.data(), wutf8, mbutf8},
    {NLS_AL32UTF8, "AL32UTF8", "UTF8", "UTF-8", 0, 4, 0, kAsciiCls.data(), kAsciiUpper.data(),
     kIdentity.data(), wutf8, mbutf8},
};

const u8* up(const char* p) { return reinterpret_cast<const u8*>(p); }

// Width of the character at s in a NUL-terminated string with rem bytes
// before the NUL: the NUL is a hard end, so a lead byte just before it
// stands alone instead of being cut.
size_t strwidth(const nlscs* cs, const char* s, size_t rem) {
  size_t w = cs->width(up(s), rem + 1);
  return w > rem ? 1 : w;
}

// Upper case of one character into out (same length as the character).
void upperchar(const nlscs* cs, const u8* p, size_t len, u8* out) {
  std::memcpy(out, p, len);
  if (len == 1) {
    out[0] = cs->upper[p[0]];
    return;
  }
  if ((cs->id == NLS_UTF8 || cs->id == NLS_AL32UTF8) && len == 2) {
    uint32_t cp = utf8cp(p, len);
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) {
      out[1] = static_cast<u8>(p[1] - 0x20);  // C3 A0..BE -> C3 80..9E
    } else if (cp == 0xFF) {                  // y with diaeresis -> U+0178
      out[0] = 0xC5;
      out[1] = 0xB8;
    }
  }
}

// What the copies do to each character on the way.
enum class cmap { same, upper, base };

// Common loop of the copies: whole characters of src (at most srclen bytes,
// stopping at a NUL, at most maxchars characters), optionally upper-cased or
// letter-converted.
size_t copychars(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t srclen,
                 size_t maxchars, cmap map = cmap::same) {
  if (dstsize == 0) return 0;
  size_t len = 0, chars = 0;
  size_t avail = strnlen(src, srclen);
  bool bounded = avail < srclen || srclen == SIZE_MAX;  // the source's own NUL ends it
  while (len < avail && chars < maxchars) {
    size_t rem = avail - len;
    size_t w = bounded ? strwidth(cs, src + len, rem) : cs->width(up(src + len), rem);
    if (w == 0 || len + w > dstsize - 1) break;
    if (map == cmap::upper) {
      u8 tmp[4];
      upperchar(cs, up(src + len), w, tmp);
      std::memcpy(dst + len, tmp, w);
    } else if (map == cmap::base && w == 1) {
      dst[len] = static_cast<char>(cs->base[up(src)[len]]);
    } else {
      std::memmove(dst + len, src + len, w);
    }
    len += w;
    ++chars;
  }
  dst[len] = '\0';
  return len;
}

int casecmp(const nlscs* cs, const char* a, const char* b, size_t n) {
  size_t la = strnlen(a, n), lb = strnlen(b, n);
  size_t i = 0, j = 0;
  while (i < la && j < lb) {
    size_t wa = strwidth(cs, a + i, la - i), wb = strwidth(cs, b + j, lb - j);
    u8 ua[4], ub[4];
    upperchar(cs, up(a + i), wa, ua);
    upperchar(cs, up(b + j), wb, ub);
    size_t w = wa < wb ? wa : wb;
    int c = std::memcmp(ua, ub, w);
    if (c != 0) return c;
    if (wa != wb) return wa < wb ? -1 : 1;
    i += wa;
    j += wb;
  }
  if (i < la) return 1;
  if (j < lb) return -1;
  return 0;
}

}  // namespace

const nlscs* nlscsbyid(uint16_t id) {
  for (const nlscs& cs : kSets)
    if (cs.id == id) return &cs;
  return nullptr;
}

const nlscs* nlscsbyname(const char* name) {
  if (!name) return nullptr;
  for (const nlscs& cs : kSets)
    if (strcasecmp(cs.name, name) == 0) return &cs;
  return nullptr;
}

const char* nlspgenc(const char* csname) {
  const nlscs* cs = nlscsbyname(csname);
  return cs ? cs->pgenc : nullptr;
}

size_t nlswidth(const nlscs* cs, unsigned char lead) {
  // The widest valid sequence this lead byte can start.
  u8 probe[4] = {lead, 0, 0, 0};
  switch (cs->id) {
    case NLS_JA16EUC: return lead == 0x8F ? 3 : (lead == 0x8E || in(lead, 0xA1, 0xFE)) ? 2 : 1;
    case NLS_ZHT32EUC: return lead == 0x8E ? 4 : in(lead, 0xA1, 0xFE) ? 2 : 1;
    case NLS_UTF8:
    case NLS_AL32UTF8:
      return lead < 0xC2 ? 1 : lead <= 0xDF ? 2 : lead <= 0xEF ? 3 : lead <= 0xF4 ? 4 : 1;
    default:
      // Double-byte sets: the width function answers 0 (cut) for a lead byte alone.
      return cs->width(probe, 1) == 0 ? 2 : 1;
  }
}

size_t nlsclen(const nlscs* cs, const char* p, size_t n) { return cs->width(up(p), n); }

size_t nlscount(const nlscs* cs, const char* p, size_t n) {
  size_t pos = 0, count = 0;
  while (pos < n) {
    size_t w = cs->width(up(p + pos), n - pos);
    if (w == 0) break;
    pos += w;
    ++count;
  }
  return count;
}

size_t nlscut(const nlscs* cs, const char* p, size_t len, size_t max) {
  return len <= max ? len : nlswhole(cs, p, max);
}

size_t nlswhole(const nlscs* cs, const char* p, size_t n) {
  return nlsbytes(cs, p, n, SIZE_MAX);
}

size_t nlsbytes(const nlscs* cs, const char* p, size_t n, size_t count) {
  size_t pos = 0;
  for (size_t k = 0; k < count && pos < n; ++k) {
    size_t w = cs->width(up(p + pos), n - pos);
    if (w == 0) break;
    pos += w;
  }
  return pos;
}

uint16_t nlscls(const nlscs* cs, const char* p, size_t n) {
  size_t w = cs->width(up(p), n);
  if (w == 0) return 0;
  if (w == 1) return cs->cls[up(p)[0]];
  return cs->mbcls(up(p), w);
}

uint16_t nlscls1(const nlscs* cs, unsigned char b) { return cs->cls[b]; }
unsigned char nlsupper1(const nlscs* cs, unsigned char b) { return cs->upper[b]; }
unsigned char nlsbase1(const nlscs* cs, unsigned char b) { return cs->base[b]; }

size_t nlscpy(const nlscs* cs, char* dst, size_t dstsize, const char* src) {
  return copychars(cs, dst, dstsize, src, SIZE_MAX, SIZE_MAX);
}

size_t nlsncpy(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t srclen) {
  return copychars(cs, dst, dstsize, src, srclen, SIZE_MAX);
}

size_t nlsccpy(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t maxchars) {
  return copychars(cs, dst, dstsize, src, SIZE_MAX, maxchars);
}

size_t nlscat(const nlscs* cs, char* dst, size_t dstsize, const char* src) {
  size_t len = strnlen(dst, dstsize);
  if (len >= dstsize) return len;  // no terminator within the room: leave it alone
  return len + copychars(cs, dst + len, dstsize - len, src, SIZE_MAX, SIZE_MAX);
}

size_t nlsupper(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t srclen) {
  return copychars(cs, dst, dstsize, src, srclen, SIZE_MAX, cmap::upper);
}

size_t nlsbase(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t srclen) {
  return copychars(cs, dst, dstsize, src, srclen, SIZE_MAX, cmap::base);
}

uint32_t nlsinfo(const nlscs* cs, int item) {
  // The letter conversion works byte by byte: it is only offered where one
  // byte is one character, which is what the width item tells callers.
  if (item == NLS_INFO_WIDTH) return cs->maxwidth;
  return 0;
}

int nlscmp(const nlscs*, const char* a, const char* b) { return std::strcmp(a, b); }

int nlsncmp(const nlscs*, const char* a, const char* b, size_t n) {
  return std::strncmp(a, b, n);
}

int nlscasecmp(const nlscs* cs, const char* a, const char* b) {
  return casecmp(cs, a, b, SIZE_MAX);
}

int nlsncasecmp(const nlscs* cs, const char* a, const char* b, size_t n) {
  return casecmp(cs, a, b, n);
}

const char* nlschr(const nlscs* cs, const char* s, unsigned char c) {
  size_t rem = std::strlen(s);
  while (rem > 0) {
    size_t w = strwidth(cs, s, rem);
    if (w == 1 && up(s)[0] == c) return s;
    s += w;
    rem -= w;
  }
  return c == 0 ? s : nullptr;
}

int nlsatoi(const nlscs*, const char* s, size_t n, int32_t* out) {
  size_t i = 0;
  bool neg = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  if (i >= n || s[i] < '0' || s[i] > '9') return 1;
  int64_t v = 0;
  for (; i < n && s[i] != '\0'; ++i) {
    if (s[i] < '0' || s[i] > '9') return 1;
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) return 1;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return 1;
  *out = static_cast<int32_t>(v);
  return 0;
}

void nlscurset(nlscur* cur, const nlscs* cs, const char* text, size_t len) {
  cur->cs = cs;
  cur->pos = text;
  cur->end = text + len;
}

size_t nlscurlen(const nlscur* cur) {
  return cur->cs->width(up(cur->pos), static_cast<size_t>(cur->end - cur->pos));
}

uint16_t nlscurcls(const nlscur* cur) {
  return nlscls(cur->cs, cur->pos, static_cast<size_t>(cur->end - cur->pos));
}

bool nlscuris(const nlscur* cur, unsigned char c) {
  return nlscurlen(cur) == 1 && up(cur->pos)[0] == c;
}

void nlscurnext(nlscur* cur) { cur->pos += nlscurlen(cur); }
