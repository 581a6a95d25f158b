/* Decimal numbers of the query language (the database's number syntax):
 * read exactly, so that range checks and scaling never suffer from binary
 * rounding. */
#include <cstring>

#include "dr/drp/drpint.h"

namespace {

bool isdig(char c) { return c >= '0' && c <= '9'; }
bool isblank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr int64_t kSat = int64_t{1} << 62;
constexpr int32_t kExpLimit = 100000;

}  // namespace

extern "C" {

int drpnumread(const char *text, drpnum *out) {
  std::memset(out, 0, sizeof *out);
  const char *p = text;
  while (isblank(*p)) p++;
  if (*p == '+' || *p == '-') out->neg = *p++ == '-';
  int seen = 0;
  int32_t scale = 0;   /* kept digits after the point, leading zeros included */
  int32_t dropped = 0; /* integer digits beyond the kept ones */
  bool point = false;
  for (;; p++) {
    if (*p == '.' && !point) {
      point = true;
      continue;
    }
    if (!isdig(*p)) break;
    seen++;
    if (out->ndigits == 0 && *p == '0') {
      if (point) scale++;
      continue;
    }
    if (out->ndigits < static_cast<int>(sizeof out->digits) - 1) {
      out->digits[out->ndigits++] = *p;
      if (point) scale++;
    } else if (!point) {
      dropped++;
    } else if (*p != '0') {
      out->big = 1;
    }
  }
  if (!seen) return 1;
  int32_t exp = 0;
  if (*p == 'e' || *p == 'E') {
    p++;
    bool eneg = false;
    if (*p == '+' || *p == '-') eneg = *p++ == '-';
    if (!isdig(*p)) return 1;
    for (; isdig(*p); p++)
      if (exp < kExpLimit) exp = exp * 10 + (*p - '0');
    if (eneg) exp = -exp;
  }
  while (isblank(*p)) p++;
  if (*p) return 1;
  out->digits[out->ndigits] = 0;
  out->exp = exp - scale + dropped;
  if (out->ndigits == 0) {
    out->neg = 0;
    out->exp = 0;
    out->big = 0;
  }
  return 0;
}

void drpnumscale(const drpnum *num, int scale, int64_t *out, int *frac) {
  int64_t shift = static_cast<int64_t>(num->exp) + scale;
  int keep = num->ndigits;
  *frac = num->big;
  if (shift < 0) {
    keep = shift + num->ndigits < 0 ? 0 : static_cast<int>(num->ndigits + shift);
    for (int i = keep; i < num->ndigits; i++)
      if (num->digits[i] != '0') *frac = 1;
  }
  int64_t v = 0;
  for (int i = 0; i < keep && v < kSat; i++)
    v = v >= kSat / 10 ? kSat : v * 10 + (num->digits[i] - '0');
  for (int64_t i = 0; i < shift && v != 0 && v < kSat; i++) v = v >= kSat / 10 ? kSat : v * 10;
  if (v > kSat) v = kSat;
  *out = num->neg ? -v : v;
}
}
