// Measurement units: conversions between twips and the units the readers
// meet, and the octal and hexadecimal digit parsers. Plain 32-bit integer
// arithmetic; the divisions of values in twips are unsigned.
#include "filters/framework/writer/cw.h"

namespace {

// A result cut to 32 bits, wrapping as 32-bit arithmetic does (the sums and
// products are made in 64 bits, where they cannot overflow).
int w32(int64_t v) { return static_cast<int>(v); }
int64_t mul(int n, int m) { return static_cast<int64_t>(n) * m; }

// An unsigned division of a 32-bit value, as the conversions from twips do it.
int udiv(int n, unsigned d) { return static_cast<int>(static_cast<uint32_t>(n) / d); }

// The divisor of a fraction typed after the point: 1 for tenths (and for
// four digits and more), 10 for hundredths, 100 for thousandths.
unsigned fracdiv(int frac) {
  auto f = static_cast<uint32_t>(frac);
  return f <= 9 ? 1 : f <= 99 ? 10 : f <= 999 ? 100 : 1;
}

// A fraction term: frac * m / d, unsigned.
int fracterm(int frac, unsigned m, unsigned d) {
  return static_cast<int>(static_cast<uint32_t>(frac) * m / d);
}

// Twips to a whole part and a fraction: t * 100 / (unit * 100), and
// (t * 100 / unit) mod m.
int split(int t, int unit, int m, int* whole, int* frac) {
  int64_t h = static_cast<int64_t>(t) * 100;
  *whole = static_cast<int>(h / (static_cast<int64_t>(unit) * 100));
  *frac = static_cast<int>(h / unit % m);
  return *frac;
}

// The digits of a base in a string, every other character skipped.
int digits(const char* s, unsigned base) {
  uint32_t v = 0;
  for (; s && *s; s++) {
    int c = static_cast<unsigned char>(*s), d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (d >= 0 && static_cast<unsigned>(d) < base) v = v * base + static_cast<uint32_t>(d);
  }
  return static_cast<int>(v);
}

}  // namespace

int cvpt2tw(int n) { return w32(mul(n, 20)); }
int cvtw2pt(int n) { return udiv(n, 20); }
int cvpx2tw(int n) { return w32(mul(n, 20)); }
int cvtw2px(int n) { return udiv(n, 20); }
int cvi102tw(int n) { return w32(mul(n, 144)); }
int cvtw2i10(int n) { return udiv(n, 144); }
int cvi1202tw(int n) { return w32(mul(n, 12)); }
int cvtw2i120(int n) { return udiv(n, 12); }
// A size or pitch of 0 has no counterpart; 0 stands for "none" rather than
// a division by zero.
int cvcpi2tw(int n) { return n == 0 ? 0 : 2400 / n; }
int cvtw2cpi(int n) { return n == 0 ? 0 : 2400 / n; }
int cvsixfifth(int n) { return w32(mul(n, 6)) / 5; }
int cvsixfifth2(int n) { return w32(mul(n / 5, 6)); }

int cvin2tw(int whole, int frac) { return w32(mul(whole, 1440) + fracterm(frac, 144, fracdiv(frac))); }
int cvcm2tw(int whole, int frac) { return w32(mul(whole, 567) + fracterm(frac, 57, fracdiv(frac))); }
int cvmm2tw(int whole, int hund) { return w32(w32(mul(whole, 567)) / 10 + fracterm(hund, 57, 100)); }
int cvu258tw(int whole, int hund) { return w32(mul(whole, 258) + fracterm(hund, 26, 100)); }
int cvu21tw(int whole, int hund) { return w32(mul(whole, 21) + fracterm(hund, 2, 100)); }

int cvtw2in(int t, int* whole, int* frac) { return split(t, 1440, 100, whole, frac); }
int cvtw2cm(int t, int* whole, int* frac) { return split(t, 567, 100, whole, frac); }
int cvtw2u258(int t, int* whole, int* frac) { return split(t, 258, 100, whole, frac); }
int cvtw2u21(int t, int* whole, int* frac) { return split(t, 21, 100, whole, frac); }

int cvtw2mm(int t, int* whole, int* frac) {
  // Millimetres: the whole part is t * 100 / 5670, tenths of the centimetre fraction.
  int64_t h = static_cast<int64_t>(t) * 100;
  *whole = static_cast<int>(h / 5670);
  *frac = static_cast<int>(h / 567 % 10);
  return *frac;
}

int cvoctal(const char* s) { return digits(s, 8); }
int cvoctal2(const char* s) { return digits(s, 8); }
int cvhex(const char* s) { return digits(s, 16); }
int cvhex2(const char* s) { return digits(s, 16); }
