// The intermediate record format COM: the primitives that write record
// marks, codes and fields to the current output stream, and the field
// readers that parse them back from the current input stream.
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include "converters/runtime/comcodes.h"

namespace {

int put(cvrun* run, int byte) { return cvsputc(run, run->out, byte); }

int get(cvrun* run) { return cvsgetc(run, run->in); }

void unget(cvrun* run, int byte) { cvsungetc(run, run->in, byte); }

// The digits of v without leading zeros, starting from the power top.
int digits(cvrun* run, uint32_t v, uint32_t top) {
  uint32_t p = top;
  while (p > 1 && p > v) p /= 10;
  int n = 0;
  for (; p > 0; p /= 10, n++) put(run, '0' + static_cast<int>(v / p % 10));
  return n;
}

int hexdigits(cvrun* run, uint32_t v, int n) {
  for (int sh = 4 * (n - 1); sh >= 0; sh -= 4) put(run, cwhexdigit(v >> sh));
  return 0;
}

// The decimal readers share one loop; what they answer at RS and at the end
// of the input differs (see the table of the format). The value grows modulo
// 2^32, like the 32-bit field it reads.
struct decread {
  uint32_t v = 0;
  bool neg = false, digits = false;
  int stop = 0;  // US, RS or -1
};

decread readdec(cvrun* run, bool sign) {
  decread d;
  if (sign) {
    int c = get(run);
    if (c == '-')
      d.neg = true;
    else if (c != -1)
      unget(run, c);
  }
  for (;;) {
    int c = get(run);
    if (c == COM_US || c == COM_RS || c == -1) {
      if (c == COM_RS) unget(run, COM_RS);
      d.stop = c;
      return d;
    }
    if (c >= '0' && c <= '9') {
      d.v = d.v * 10u + static_cast<uint32_t>(c - '0');
      d.digits = true;
    }
  }
}

int value(const decread& d) {
  int v = static_cast<int>(d.v);
  return d.neg ? static_cast<int>(0u - d.v) : v;
}

}  // namespace

int cwhexdigit(unsigned v) {
  v &= 15;
  return static_cast<int>(v < 10 ? '0' + v : 'A' + v - 10);
}

int cwcodepack(const char* three) { return comcodepack(three); }

void cwcodeunpack(int code, char* out) { comcodeunpack(code, out); }

int cwrecbeg(cvrun* run, int code) {
  char t[4];
  comcodeunpack(code, t);
  put(run, COM_ESC);
  put(run, COM_GS);
  for (int i = 0; i < 3; i++) put(run, static_cast<unsigned char>(t[i]));
  return 0;
}

int cwrecend(cvrun* run) { return put(run, COM_RS) < 0 ? -1 : 0; }

int cwrecone(cvrun* run, int code) {
  cwrecbeg(run, code);
  return cwrecend(run);
}

int cwdigits(cvrun* run, unsigned v) { return digits(run, v & 0xFFFF, 10000); }

int cwparint(cvrun* run, int value) {
  // The sign comes from the whole value, the digits from the low 16 bits of
  // its magnitude: the field's range is that of a 16-bit number.
  uint32_t m = static_cast<uint32_t>(value);
  if (value < 0) {
    put(run, '-');
    m = 0u - m;
  }
  cwdigits(run, m);
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwparuint(cvrun* run, unsigned value) {
  cwdigits(run, value);
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwparlong(cvrun* run, int32_t value) {
  uint32_t m = static_cast<uint32_t>(value);
  if (value < 0) {
    put(run, '-');
    m = 0u - m;
  }
  digits(run, m, 1000000000u);
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwparulong(cvrun* run, uint32_t value) {
  digits(run, value, 1000000000u);
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwparpos(cvrun* run, int value) {
  // Any negative value means "no position", written as the letter A.
  if (value < 0)
    put(run, 'A');
  else
    cwdigits(run, static_cast<unsigned>(value));
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwparhex2(cvrun* run, unsigned value) {
  hexdigits(run, value, 2);
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwparhex4(cvrun* run, unsigned value) {
  hexdigits(run, value, 4);
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwparhex8(cvrun* run, uint32_t value) {
  hexdigits(run, value, 8);
  return put(run, COM_US) < 0 ? -1 : 0;
}

int cwhex2(cvrun* run, unsigned value) { return hexdigits(run, value, 2); }
int cwhex4(cvrun* run, unsigned value) { return hexdigits(run, value, 4); }
int cwhex8(cvrun* run, uint32_t value) { return hexdigits(run, value, 8); }

int cwgethex(cvrun* run) {
  uint32_t v = 0;
  for (;;) {
    int c = get(run);
    if (c == COM_US) return static_cast<int>(v);
    if (c == COM_RS || c == -1) {
      if (c == COM_RS) unget(run, COM_RS);
      return static_cast<int>(v) > 0 ? static_cast<int>(v) : -1;
    }
    int d = cvhexval(c);
    if (d >= 0) v = v * 16u + static_cast<uint32_t>(d);
  }
}

int cwgethex2(cvrun* run) {
  int v = 0;
  bool any = false;
  for (int i = 0; i < 2; i++) {
    int c = get(run);
    if (c == -1) return -1;
    if (c == COM_US) return any ? v : -1;
    if (c == COM_RS) {
      unget(run, COM_RS);
      return any ? v : -1;
    }
    any = true;
    int d = cvhexval(c);
    if (d >= 0) v = v * 16 + d;
  }
  return v;
}

int cwgetint(cvrun* run) {
  decread d = readdec(run, true);
  if (d.stop == COM_US) return value(d);
  if (d.stop == COM_RS) return d.digits ? value(d) : -1;
  return static_cast<int>(d.v) <= 0 ? -1 : value(d);
}

int cwgetuint(cvrun* run) {
  decread d = readdec(run, false);
  if (d.stop == COM_US) return value(d);
  if (d.stop == COM_RS) return d.digits ? value(d) : -1;
  return static_cast<int>(d.v) <= 0 ? -1 : value(d);
}

int cwgetint2(cvrun* run) {
  decread d = readdec(run, true);
  if (d.stop == COM_US) return value(d);
  return static_cast<int>(d.v) <= 0 ? -1 : value(d);
}

int cwgetuint2(cvrun* run) {
  decread d = readdec(run, false);
  if (d.stop == COM_US) return value(d);
  return d.v == 0 ? -1 : value(d);
}

int cwskiprec(cvrun* run) {
  for (int depth = 1, c; (c = get(run)) != -1;) {
    if (c == COM_ESC) depth++;
    if (c == COM_RS && --depth == 0) break;
  }
  return 0;
}

int cwskiptors(cvrun* run) {
  for (int c; (c = get(run)) != -1 && c != COM_RS;) {
  }
  return 0;
}
