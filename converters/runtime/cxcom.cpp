// The runtime's intermediate-record primitives: starting and ending records,
// writing parameters in hexadecimal and decimal, and on the reading side
// parsing parameters, skipping records and looking ahead for a record code.
#include "converters/runtime/cx.h"
#include "converters/runtime/comcodes.h"

namespace {

constexpr int ESC = 27, GS = 29, RS = 30, US = 31;

int hexdigit(int v) {
  v &= 15;
  return v < 10 ? '0' + v : 'A' + v - 10;
}

int hexvalue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int putdigits(cxstate* st, uint32_t v, uint32_t top) {
  uint32_t p = top;
  while (p > 1 && p > v) p /= 10;
  int n = 0;
  for (;;) {
    cxputc(st, '0' + static_cast<int>(v / p % 10));
    n++;
    if (p == 1) return n;
    p /= 10;
  }
}

// The shared reading rule of cmgetdec and cmgetdec2.
int getdec(cxstate* st, bool zeroisnone) {
  int v = 0;  // grows modulo 2^32, like the 32-bit field it reads
  bool digits = false;
  for (;;) {
    int c = cxgetc(st);
    if (c == US) return v;
    if (c == RS || c == -1) {
      if (c == RS) cxpushback(st, RS);
      if (c == RS && !zeroisnone) return digits ? v : -1;
      return v > 0 ? v : -1;
    }
    if (c >= '0' && c <= '9') {
      v = static_cast<int>(static_cast<uint32_t>(v) * 10u + static_cast<uint32_t>(c - '0'));
      digits = true;
    }
  }
}

void pushbackall(cxstate* st, const int* b, int n) {
  for (int i = n - 1; i >= 0; i--)
    if (b[i] != -1) cxpushback(st, b[i]);
}

}  // namespace

int cmpack(const char* three) {
  return comcodepack(three);
}

const char* cmunpack(cxstate* st, int code) {
  cxnames* nm = st->nm;
  char* out = nm->comringbuf[nm->comring & 15];
  nm->comring = (nm->comring + 1) & 15;
  comcodeunpack(code, out);
  return out;
}

int cmletters(cxstate* st, int code) {
  char t[4];
  comcodeunpack(code, t);
  for (int i = 0; i < 3; i++) cxputc(st, static_cast<unsigned char>(t[i]));
  return 0;
}

int cmbegin(cxstate* st, int code) {
  cxputc(st, ESC);
  cxputc(st, GS);
  return cmletters(st, code);
}

int cmend(cxstate* st) {
  return cxputc(st, RS);
}

int cmputcode(cxstate* st, int code) {
  cmbegin(st, code);
  return cmend(st);
}

int cmputhex2(cxstate* st, int value, int flag) {
  cxputc(st, hexdigit(value >> 4));
  cxputc(st, hexdigit(value));
  if (flag) cxputc(st, US);
  return 0;
}

int cmputhex2t(cxstate* st, int value) { return cmputhex2(st, value, 1); }
int cmputhex2n(cxstate* st, int value) { return cmputhex2(st, value, 0); }

int cmputhex4(cxstate* st, int value) {
  for (int sh = 12; sh >= 0; sh -= 4) cxputc(st, hexdigit(value >> sh));
  return cxputc(st, US);
}

int cmputhex4t(cxstate* st, int value) { return cmputhex4(st, value); }

int cmputnib(cxstate* st, int value) {
  return cxputc(st, hexdigit(value));
}

int cmputdecn(cxstate* st, int value) {
  return putdigits(st, static_cast<uint32_t>(value) & 0xFFFF, 10000);
}

int cmputdec(cxstate* st, int value) {
  cmputdecn(st, value);
  return cxputc(st, US);
}

int cmputdec32(cxstate* st, uint32_t value) {
  putdigits(st, value, 1000000000u);
  return cxputc(st, US);
}

int cmgethex(cxstate* st) {
  int v = 0;
  for (;;) {
    int c = cxgetc(st);
    if (c == US) return v;
    if (c == RS || c == -1) {
      if (c == RS) cxpushback(st, RS);
      return v != 0 ? v : -1;
    }
    int h = hexvalue(c);
    if (h >= 0) v = static_cast<int>((static_cast<uint32_t>(v) << 4) | static_cast<uint32_t>(h));
  }
}

int cmgethex2(cxstate* st) {
  int v = 0;
  int seen = 0;
  for (int i = 0; i < 2; i++) {
    int c = cxgetc(st);
    if (c == -1) return -1;
    if (c == US) return seen ? v : -1;
    if (c == RS) {
      cxpushback(st, RS);
      return seen ? v : -1;
    }
    seen++;
    int h = hexvalue(c);
    if (h >= 0) v = v * 16 + h;
  }
  return v;
}

int cmgetdec(cxstate* st) { return getdec(st, false); }
int cmgetdec2(cxstate* st) { return getdec(st, true); }

int cmgetchar(cxstate* st) {
  int last = -1;
  for (;;) {
    int c = cxgetc(st);
    if (c == -1) return -1;
    if (c == RS) {
      cxpushback(st, RS);
      return -1;
    }
    if (c == US) return last;
    if (c == ESC) {
      cmskiptoken(st);
      last = '.';
      continue;
    }
    last = c;
  }
}

int cmskiptoken(cxstate* st) {
  int depth = 1;
  for (;;) {
    int c = cxgetc(st);
    if (c == -1) return 0;
    if (c == ESC) depth++;
    if (c == RS && --depth == 0) return 0;
  }
}

int cmskiprs(cxstate* st) {
  for (;;) {
    int c = cxgetc(st);
    if (c == -1 || c == RS) return 0;
  }
}

int cmpeek(cxstate* st, int code) {
  int b[5];
  int n = 0;
  for (; n < 5; n++) {
    b[n] = cxgetc(st);
    if (b[n] == -1) break;
  }
  pushbackall(st, b, n);
  if (n < 5 || b[1] != GS) return -1;
  char t[3] = {static_cast<char>(b[2]), static_cast<char>(b[3]), static_cast<char>(b[4])};
  return cmpack(t) == code ? 0 : -1;
}

int cmpeek2(cxstate* st, int code) {
  int b[30];
  int n = 0;
  int esc = -1;
  while (n < 30) {
    int c = cxgetc(st);
    if (c == -1) break;
    b[n] = c;
    if (c == ESC && esc < 0) esc = n;
    n++;
    if (esc >= 0 && n - esc >= 5) break;
  }
  pushbackall(st, b, n);
  if (esc < 0 || n - esc < 5 || b[esc + 1] != GS) return -1;
  char t[3] = {static_cast<char>(b[esc + 2]), static_cast<char>(b[esc + 3]),
               static_cast<char>(b[esc + 4])};
  return cmpack(t) == code ? 0 : -1;
}

int cmreadstart(cxstate* st, int ignored) {
  st->sb->catalogue = 0;
  int b[5];
  b[0] = cxgetc(st);
  if (b[0] != ESC) {
    if (b[0] != -1) cxpushback(st, b[0]);
    return 0;
  }
  int n = 1;
  for (; n < 5; n++) {
    b[n] = cxgetc(st);
    if (b[n] == -1) break;
  }
  if (n == 5) {
    for (int i = 0; i < 3; i++) st->nm->startcode[i] = static_cast<char>(b[2 + i]);
    st->nm->startcode[3] = '\0';
    if (cmpack(st->nm->startcode) == 4388) {
      int v = cmgetdec(st);
      if (v > 0) st->sb->catalogue = v;
      cmskiptoken(st);
      return 0;
    }
  }
  pushbackall(st, b, n);
  return 0;
}
