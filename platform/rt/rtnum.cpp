// Decimal numbers in the database's number syntax, read exactly into the
// runtime's packed form so that range checks and scaling never suffer from
// binary rounding. Shared by the text-query parser and the SQL scanner.
#include <cstring>

#include "platform/rt/rtint.h"

namespace {

bool isdig(char c) { return c >= '0' && c <= '9'; }
bool isblank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr int64_t kSat = int64_t{1} << 62;
constexpr int32_t kExpLimit = 100000;  // larger exponents cannot change the outcome
constexpr int32_t kMaxOrder = 125;     // 1E126 and above overflow
constexpr int32_t kMinOrder = -130;    // below 1E-130 reads as zero

// Digits of a number while it is read: significant digits without leading
// zeros, value = digits x 10^exp.
struct work {
  bool neg = false;
  char digits[RTNUM_DIGITS];
  int ndigits = 0;
  int32_t exp = 0;
  bool fraccut = false;
};

void pack(const work &w, rtnum *out) {
  std::memset(out, 0, sizeof *out);
  int n = w.ndigits;
  int32_t exp = w.exp;
  while (n > 0 && w.digits[n - 1] == '0') {  // trailing zeros go into the exponent
    n--;
    exp++;
  }
  uint8_t state = w.fraccut ? RTNUM_FRACCUT : 0;
  if (n == 0) {
    out->b[0] = 1;
    out->b[1] = state;
    return;
  }
  if (w.neg) state |= RTNUM_NEG;
  int32_t order = n - 1 + exp;  // the power of ten of the leading digit
  if (order > kMaxOrder) {
    out->b[0] = 1;
    out->b[1] = static_cast<uint8_t>(RTNUM_OVF | (state & RTNUM_NEG));
    return;
  }
  if (order < kMinOrder) {
    out->b[0] = 1;
    out->b[1] = RTNUM_FRACCUT;
    return;
  }
  out->b[1] = state;
  uint16_t e = static_cast<uint16_t>(static_cast<int16_t>(exp));
  out->b[2] = static_cast<uint8_t>(e >> 8);
  out->b[3] = static_cast<uint8_t>(e & 0xFF);
  int bytes = (n + 1) / 2;
  for (int i = 0; i < bytes; i++) {
    uint8_t hi = static_cast<uint8_t>(w.digits[2 * i] - '0');
    uint8_t lo = 2 * i + 1 < n ? static_cast<uint8_t>(w.digits[2 * i + 1] - '0') : 0xF;
    out->b[4 + i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  out->b[0] = static_cast<uint8_t>(3 + bytes);
}

// The significant digits of a packed number into digits (at least
// RTNUM_DIGITS bytes); returns their count and the exponent.
int unpack(const rtnum *num, char *digits, int32_t *exp) {
  *exp = 0;
  int len = num->b[0];
  if (len < 4 || len > RTNUM_SIZE - 1) return 0;
  *exp = static_cast<int16_t>(static_cast<uint16_t>(num->b[2] << 8 | num->b[3]));
  int n = 0;
  for (int i = 4; i <= len && n < RTNUM_DIGITS; i++) {
    uint8_t hi = num->b[i] >> 4, lo = num->b[i] & 0xF;
    if (hi > 9) break;
    digits[n++] = static_cast<char>('0' + hi);
    if (lo > 9 || n == RTNUM_DIGITS) break;
    digits[n++] = static_cast<char>('0' + lo);
  }
  return n;
}

}  // namespace

int rtnumread(const char *text, size_t len, int mode, rtnum *out, size_t *taken) {
  std::memset(out, 0, sizeof *out);
  if (taken) *taken = 0;
  if (!text) return 1;
  bool whole = mode != RTNUM_PREFIX;
  size_t i = 0;
  auto at = [&](size_t k) { return k < len ? text[k] : '\0'; };
  work w;
  if (whole) {
    while (i < len && isblank(text[i])) i++;
    if (at(i) == '+' || at(i) == '-') w.neg = text[i++] == '-';
  } else if (!isdig(at(0)) && !(at(0) == '.' && isdig(at(1)))) {
    return 1;
  }
  int seen = 0;
  int32_t scale = 0;    // kept digits after the point, leading zeros included
  int32_t dropped = 0;  // integer digits beyond the kept ones
  bool point = false;
  for (; i < len; i++) {
    char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (!isdig(c)) break;
    seen++;
    if (w.ndigits == 0 && c == '0') {
      if (point) scale++;
      continue;
    }
    if (w.ndigits < RTNUM_DIGITS) {
      w.digits[w.ndigits++] = c;
      if (point) scale++;
    } else if (!point) {
      dropped++;
    } else if (c != '0') {
      w.fraccut = true;
    }
  }
  if (!seen) return 1;
  int32_t exp = 0;
  if (at(i) == 'e' || at(i) == 'E') {
    size_t k = i + 1;
    bool eneg = false;
    if (at(k) == '+' || at(k) == '-') eneg = text[k++] == '-';
    if (isdig(at(k))) {
      for (; k < len && isdig(text[k]); k++)
        if (exp < kExpLimit) exp = exp * 10 + (text[k] - '0');
      if (eneg) exp = -exp;
      i = k;
    } else if (whole) {
      return 1;
    }
  }
  if (whole) {
    while (i < len && isblank(text[i])) i++;
    if (i < len) return 1;
  }
  w.exp = exp - scale + dropped;
  pack(w, out);
  if (taken) *taken = i;
  return 0;
}

int rtnumovf(const rtnum *num) { return num && num->b[0] == 1 && (num->b[1] & RTNUM_OVF); }

void rtnumscale(const rtnum *num, int scale, int64_t *out, int *frac) {
  *out = 0;
  *frac = (num->b[1] & RTNUM_FRACCUT) ? 1 : 0;
  if (rtnumovf(num)) {
    *out = (num->b[1] & RTNUM_NEG) ? -kSat : kSat;
    return;
  }
  char digits[RTNUM_DIGITS];
  int32_t exp = 0;
  int ndigits = unpack(num, digits, &exp);
  int64_t shift = static_cast<int64_t>(exp) + scale;
  int keep = ndigits;
  if (shift < 0) {
    keep = shift + ndigits < 0 ? 0 : static_cast<int>(ndigits + shift);
    for (int i = keep; i < ndigits; i++)
      if (digits[i] != '0') *frac = 1;
  }
  int64_t v = 0;
  for (int i = 0; i < keep && v < kSat; i++) v = v >= kSat / 10 ? kSat : v * 10 + (digits[i] - '0');
  for (int64_t i = 0; i < shift && v != 0 && v < kSat; i++) v = v >= kSat / 10 ? kSat : v * 10;
  if (v > kSat) v = kSat;
  *out = (num->b[1] & RTNUM_NEG) ? -v : v;
}
