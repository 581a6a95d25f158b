// The formatter "lsf": printf-like directives over typed-argument lists,
// with positional directives "%(n)" and any argument shown by "s". It never
// writes past the caller's buffer.
#include "platform/rt/rtint.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include <strings.h>

struct rtfmt {
  rtctx *rt;
  const void *lang;
};

namespace {

constexpr int kMaxWidth = 1 << 20;  // widths beyond this are format errors

struct sink {
  char *buf;
  size_t size;
  size_t len = 0;
  bool trunc = false;
  void put(char c) {
    if (len + 1 < size) buf[len++] = c;
    else trunc = true;
  }
  void put(const char *s, size_t n) {
    for (size_t i = 0; i < n; i++) put(s[i]);
  }
  void pad(char c, long n) {
    for (long i = 0; i < n && !trunc; i++) put(c);
    if (n > 0 && trunc) return;
  }
};

struct spec {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  long width = -1;
  long prec = -1;
  char conv = 's';
};

// What an argument holds once its pointer is followed.
struct value {
  enum { INT, UINT, DBL, PTR, STR, NONE } kind = NONE;
  long long i = 0;
  unsigned long long u = 0;
  double d = 0;
  const void *p = nullptr;
  const char *s = nullptr;
  size_t slen = 0;
};

value load(const rtarg &a) {
  value v;
  auto str = [&](const char *s) {
    v.kind = value::STR;
    v.s = s ? s : "(null)";
    v.slen = std::strlen(v.s);
  };
  switch (a.type) {
    case RTA_INT: v.kind = value::INT; v.i = a.u.i; break;
    case RTA_VAL: v.kind = value::INT; v.i = a.u.v; break;
    case RTA_UB1:
      if (!a.u.p) { str(nullptr); break; }
      v.kind = value::UINT; v.u = *static_cast<const uint8_t *>(a.u.p); break;
    case RTA_UB2:
      if (!a.u.p) { str(nullptr); break; }
      v.kind = value::UINT; v.u = *static_cast<const uint16_t *>(a.u.p); break;
    case RTA_SB2:
      if (!a.u.p) { str(nullptr); break; }
      v.kind = value::INT; v.i = *static_cast<const int16_t *>(a.u.p); break;
    case RTA_UB4:
      if (!a.u.p) { str(nullptr); break; }
      v.kind = value::UINT; v.u = *static_cast<const uint32_t *>(a.u.p); break;
    case RTA_SB4: case RTA_SWORD: case RTA_SB4POS:
      if (!a.u.p) { str(nullptr); break; }
      v.kind = value::INT; v.i = *static_cast<const int32_t *>(a.u.p); break;
    case RTA_DBL: v.kind = value::DBL; v.d = a.u.d; break;
    case RTA_PTR: v.kind = value::PTR; v.p = a.u.p; break;
    case RTA_STR: str(a.u.s); break;
    case RTA_TXT:
      v.kind = value::STR;
      v.s = a.u.s ? a.u.s : "";
      v.slen = (a.u.s && a.len && *a.len > 0) ? static_cast<size_t>(*a.len) : 0;
      break;
    case RTA_FRAME: {
      auto *fr = static_cast<const rtframe *>(a.u.p);
      str(fr && fr->caught ? fr->text : "");
      break;
    }
    default: break;
  }
  return v;
}

void emit_padded(sink &o, const spec &sp, const char *prefix, size_t plen, const char *body,
                 size_t blen, long zeros) {
  long total = static_cast<long>(plen + blen) + (zeros > 0 ? zeros : 0);
  long padn = sp.width > total ? sp.width - total : 0;
  if (!sp.left) o.pad(' ', padn);
  o.put(prefix, plen);
  o.pad('0', zeros);
  o.put(body, blen);
  if (sp.left) o.pad(' ', padn);
}

void emit_string(sink &o, const spec &sp, const char *s, size_t n) {
  if (sp.prec >= 0 && static_cast<size_t>(sp.prec) < n) n = static_cast<size_t>(sp.prec);
  emit_padded(o, sp, "", 0, s, n, 0);
}

void emit_int(sink &o, const spec &sp, bool neg, unsigned long long mag, char conv) {
  char digits[72];
  size_t n = 0;
  unsigned base = 10;
  const char *set = "0123456789abcdef";
  if (conv == 'x') base = 16;
  if (conv == 'X') { base = 16; set = "0123456789ABCDEF"; }
  if (conv == 'o') base = 8;
  char rev[72];
  size_t r = 0;
  do {
    rev[r++] = set[mag % base];
    mag /= base;
  } while (mag);
  if (sp.prec == 0 && r == 1 && rev[0] == '0') r = 0;  // C: "%.0d" of 0 is empty
  while (r) digits[n++] = rev[--r];
  char prefix[3];
  size_t plen = 0;
  if (neg) prefix[plen++] = '-';
  else if (sp.plus && conv != 'u' && base == 10) prefix[plen++] = '+';
  else if (sp.space && conv != 'u' && base == 10) prefix[plen++] = ' ';
  if (sp.alt && base == 16 && n) { prefix[plen++] = '0'; prefix[plen++] = conv; }
  if (sp.alt && base == 8 && (n == 0 || digits[0] != '0')) prefix[plen++] = '0';
  long zeros = 0;
  if (sp.prec >= 0) zeros = sp.prec - static_cast<long>(n);
  else if (sp.zero && !sp.left && sp.width > 0)
    zeros = sp.width - static_cast<long>(n + plen);
  emit_padded(o, sp, prefix, plen, digits, n, zeros);
}

void emit_double(sink &o, const spec &sp, double d, char conv) {
  char f[32];
  size_t k = 0;
  f[k++] = '%';
  if (sp.left) f[k++] = '-';
  if (sp.plus) f[k++] = '+';
  if (sp.space) f[k++] = ' ';
  if (sp.zero) f[k++] = '0';
  if (sp.alt) f[k++] = '#';
  f[k] = 0;
  long prec = sp.prec > 300 ? 300 : sp.prec;
  char tmp[512];
  int n;
  if (prec >= 0) {
    std::strcat(f, "*.*");
    k = std::strlen(f);
    f[k++] = conv;
    f[k] = 0;
    n = std::snprintf(tmp, sizeof tmp, f, 0, static_cast<int>(prec), d);
  } else {
    std::strcat(f, "*");
    k = std::strlen(f);
    f[k++] = conv;
    f[k] = 0;
    n = std::snprintf(tmp, sizeof tmp, f, 0, d);
  }
  if (n < 0) return;
  size_t len = static_cast<size_t>(n) < sizeof tmp ? static_cast<size_t>(n) : sizeof tmp - 1;
  spec plain = sp;
  plain.prec = -1;
  if (sp.zero && !sp.left && sp.width > static_cast<long>(len)) {
    // zero padding goes after the sign
    size_t signlen = (len && (tmp[0] == '-' || tmp[0] == '+' || tmp[0] == ' ')) ? 1 : 0;
    emit_padded(o, plain, tmp, signlen, tmp + signlen, len - signlen,
                sp.width - static_cast<long>(len));
    return;
  }
  emit_string(o, plain, tmp, len);
}

void emit_ptr(sink &o, const spec &sp, const void *p) {
  char tmp[32];
  int n = std::snprintf(tmp, sizeof tmp, "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void *)),
                        reinterpret_cast<uintptr_t>(p));
  spec plain = sp;
  plain.prec = -1;
  emit_string(o, plain, tmp, static_cast<size_t>(n));
}

// Shows one argument under one conversion; a conversion that does not suit
// the argument shows it as "s" would.
void emit(sink &o, spec sp, const value &v) {
  char c = sp.conv;
  switch (v.kind) {
    case value::STR:
      if (c == 'c') {
        char ch = v.slen ? v.s[0] : 0;
        spec plain = sp; plain.prec = -1;
        emit_string(o, plain, &ch, v.slen ? 1 : 0);
        return;
      }
      emit_string(o, sp, v.s, v.slen);
      return;
    case value::INT:
    case value::UINT: {
      bool isint = v.kind == value::INT;
      if (c == 'c') {
        char ch = static_cast<char>(isint ? v.i : static_cast<long long>(v.u));
        spec plain = sp; plain.prec = -1;
        emit_string(o, plain, &ch, 1);
        return;
      }
      if (c == 'e' || c == 'E' || c == 'f' || c == 'g' || c == 'G') {
        emit_double(o, sp, isint ? static_cast<double>(v.i) : static_cast<double>(v.u), c);
        return;
      }
      if (c == 'p') { emit_ptr(o, sp, reinterpret_cast<const void *>(static_cast<uintptr_t>(isint ? v.i : v.u))); return; }
      if (c == 'u' || c == 'x' || c == 'X' || c == 'o') {
        // an unsigned view of a signed 32-bit value wraps as C would
        unsigned long long m = isint ? (v.i >= INT32_MIN && v.i <= INT32_MAX
                                            ? static_cast<unsigned long long>(static_cast<uint32_t>(v.i))
                                            : static_cast<unsigned long long>(v.i))
                                     : v.u;
        emit_int(o, sp, false, m, c);
        return;
      }
      if (isint) {
        bool neg = v.i < 0;
        unsigned long long m = neg ? 0ULL - static_cast<unsigned long long>(v.i)
                                   : static_cast<unsigned long long>(v.i);
        emit_int(o, sp, neg, m, 'd');
      } else {
        emit_int(o, sp, false, v.u, 'd');
      }
      return;
    }
    case value::DBL:
      if (c == 'e' || c == 'E' || c == 'f' || c == 'g' || c == 'G') { emit_double(o, sp, v.d, c); return; }
      if (c == 's') { emit_double(o, sp, v.d, sp.prec >= 0 ? 'f' : 'g'); return; }
      if (c == 'd' || c == 'i') {
        spec s2 = sp; s2.prec = 0;
        emit_double(o, s2, v.d, 'f');
        return;
      }
      emit_double(o, sp, v.d, 'g');
      return;
    case value::PTR:
      emit_ptr(o, sp, v.p);
      return;
    default:
      return;
  }
}

bool read_num(const char *&f, long &out) {
  long n = 0;
  bool any = false;
  while (*f >= '0' && *f <= '9') {
    n = n * 10 + (*f - '0');
    if (n > kMaxWidth) return false;
    f++;
    any = true;
  }
  out = n;
  return any;
}

bool arg_int(const rtarg &a, long &out) {
  value v = load(a);
  if (v.kind == value::INT) { out = static_cast<long>(v.i); return true; }
  if (v.kind == value::UINT) { out = static_cast<long>(v.u); return true; }
  return false;
}

}  // namespace

int lsf_run(char *buf, size_t size, const char *format, const rtarg *args, int nargs, bool lenient) {
  sink o{buf, size};
  if (!format || (!buf && size)) return LSF_EFORMAT;
  if (nargs < 0) return LSF_EARGS;
  int seq = 0;
  const char *f = format;
  int rc = 0;
  while (*f) {
    if (*f != '%') {
      o.put(*f++);
      continue;
    }
    f++;
    if (*f == '%') {
      o.put('%');
      f++;
      continue;
    }
    spec sp;
    int pos = 0;
    if (*f == '(') {
      f++;
      long n;
      if (!read_num(f, n) || *f != ')' || n < 1) { rc = LSF_EFORMAT; break; }
      f++;
      pos = static_cast<int>(n);
    }
    for (;; f++) {
      if (*f == '-') sp.left = true;
      else if (*f == '+') sp.plus = true;
      else if (*f == ' ') sp.space = true;
      else if (*f == '0') sp.zero = true;
      else if (*f == '#') sp.alt = true;
      else break;
    }
    bool missing = false;
    if (*f == '*') {
      f++;
      long w;
      if (seq >= nargs || !arg_int(args[seq], w)) {
        if (!lenient) { rc = LSF_EARGS; break; }
        missing = true;
        w = 0;
      }
      seq++;
      if (w < 0) { sp.left = true; w = -w; }
      if (w > kMaxWidth) { rc = LSF_EFORMAT; break; }
      sp.width = w;
    } else if (*f >= '0' && *f <= '9') {
      if (!read_num(f, sp.width)) { rc = LSF_EFORMAT; break; }
    }
    if (*f == '.') {
      f++;
      if (*f == '*') {
        f++;
        long p;
        if (seq >= nargs || !arg_int(args[seq], p)) {
          if (!lenient) { rc = LSF_EARGS; break; }
          missing = true;
          p = -1;
        }
        seq++;
        sp.prec = p < 0 ? -1 : (p > kMaxWidth ? kMaxWidth : p);
      } else {
        long p = 0;
        if (*f >= '0' && *f <= '9' && !read_num(f, p)) { rc = LSF_EFORMAT; break; }
        sp.prec = p;
      }
    }
    while (*f == 'h' || *f == 'l' || *f == 'L' || *f == 'z' || *f == 'j' || *f == 't') f++;
    if (!*f || !std::strchr("sdiuxXocpeEfgG", *f)) { rc = LSF_EFORMAT; break; }
    sp.conv = *f++;
    int idx = pos ? pos - 1 : seq++;
    if (idx >= nargs || missing) {
      if (!lenient) { rc = LSF_EARGS; break; }
      continue;  // a message text shows a missing argument as nothing
    }
    emit(o, sp, load(args[idx]));
  }
  if (size) buf[o.len] = 0;
  if (rc) return rc;
  if (o.trunc) return LSF_ETRUNC;
  return static_cast<int>(o.len);
}

int rtargget(va_list ap, rtarg *out, int max) {
  int n = 0;
  for (;;) {
    int code = va_arg(ap, int);
    if (code == RTA_END) return n;
    if (n >= max) return -1;
    rtarg a{};
    a.type = code;
    switch (code) {
      case RTA_INT: a.u.i = va_arg(ap, int); break;
      case RTA_VAL: a.u.v = va_arg(ap, intptr_t); break;
      case RTA_DBL: a.u.d = va_arg(ap, double); break;
      case RTA_STR: a.u.s = va_arg(ap, const char *); break;
      case RTA_TXT:
        a.u.s = va_arg(ap, const char *);
        a.len = va_arg(ap, const int32_t *);
        break;
      case RTA_UB1: case RTA_UB2: case RTA_SB2: case RTA_UB4: case RTA_SB4: case RTA_SWORD:
      case RTA_SB4POS: case RTA_PTR: case RTA_FRAME:
        a.u.p = va_arg(ap, const void *);
        break;
      default:
        return -1;  // the value's type is unknown: the list cannot be read on
    }
    out[n++] = a;
  }
}

int rtfmtopen(rtctx *rt, const char *package, const void *langhandle, rtfmt **out) {
  if (!out) return -1;
  *out = nullptr;
  if (!package || strcasecmp(package, "lsf") != 0) return -1;
  auto *f = static_cast<rtfmt *>(std::calloc(1, sizeof(rtfmt)));
  if (!f) return -1;
  f->rt = rt;
  f->lang = langhandle;
  *out = f;
  return 0;
}

void rtfmtclose(rtfmt *fmt) { std::free(fmt); }

int lsffmta(rtfmt *fmt, char *buf, size_t size, const char *format, const rtarg *args, int nargs) {
  (void)fmt;
  return lsf_run(buf, size, format, args, nargs, false);
}

int lsffmtv(rtfmt *fmt, char *buf, size_t size, const char *format, va_list ap) {
  rtarg args[RTARG_MAX];
  int n = rtargget(ap, args, RTARG_MAX);
  if (n < 0) {
    if (buf && size) buf[0] = 0;
    return LSF_EARGS;
  }
  return lsffmta(fmt, buf, size, format, args, n);
}

int lsffmt(rtfmt *fmt, char *buf, size_t size, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int rc = lsffmtv(fmt, buf, size, format, ap);
  va_end(ap);
  return rc;
}
