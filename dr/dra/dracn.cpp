// Server state construction and teardown, the command heap, file streams,
// the log printer, the console line, the message pushes and the trace hook.
#include "dr/dra/dra.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/os/os.h"

namespace {

constexpr size_t kLogBuf = 65536;    // one log line, prefix included
constexpr size_t kNameBuf = 2048;    // file names as callers pass them

void push(drsrvstate *st, uint8_t fac, int num, int sev, bool internal, va_list ap) {
  if (!st || !st->msg) return;
  int32_t id = st->facid[fac < 12 ? fac : 0];
  if (internal) rtmsgipushv(st->msg, id, num, sev, ap);
  else rtmsgpushv(st->msg, id, num, sev, ap);
}

// One log line: optional prefix, formatted text, one write, optional flush.
int log_line(drsrvstate *st, rtstream *stream, bool prefix, bool flush, const char *format,
             va_list ap) {
  if (!st || !stream || !format) return 1;
  char buf[kLogBuf];
  size_t pre = 0;
  if (prefix) {
    // At most 65534 bytes of prefix; without a local time there is none.
    int n = oslocaltime("%H-%M-%S %x ", buf, kLogBuf - 1);
    if (n > 0) pre = static_cast<size_t>(n);
  }
  // The text gets the rest of 65535 bytes; a longer line is cut there.
  int rc = lsffmtv(st->fmt, buf + pre, kLogBuf - pre, format, ap);
  if (rc < 0 && rc != LSF_ETRUNC) return 1;
  size_t len = pre + std::strlen(buf + pre);
  size_t wrote = 0;
  if (dracnfwr(st, stream, buf, len, &wrote) != 0) return 1;
  if (flush && rtfflush(stream) != 0) return 1;
  return 0;
}

}  // namespace

/* ---- construction and teardown ---- */

int dracnheap(drsrvstate *st) {
  st->hpmgr = rthpmgrget(st->rt);
  if (!st->hpmgr) return 1;
  rtheap *top = rthptop(st->hpmgr);
  st->seshp = rthpnew(st->hpmgr, top, RTHP_STD, __FILE__, __LINE__);
  if (!st->seshp) return 1;
  st->cmdhp = rthpnew(st->hpmgr, top, RTHP_STD, __FILE__, __LINE__);
  if (!st->cmdhp) return 1;
  return 0;
}

int dracnfmt(drsrvstate *st) {
  return rtfmtopen(st->rt, "lsf", st->lxhd, &st->fmt) == 0 ? 0 : 1;
}

int dracnmsg(drsrvstate *st) {
  // The manager takes at most 64 bytes of the character set name.
  char cs[65];
  size_t n = strnlen(st->csname, sizeof cs - 1);
  std::memcpy(cs, st->csname, n);
  cs[n] = 0;
  st->msg = rtmsgnew(st->rt, st->msgarea, sizeof st->msgarea, cs);
  if (!st->msg) return 1;
  char why[512];
  if (rtmsgfac(st->msg, "DRG", "VEK73", 100, 50601, &st->facid[DRFAC_DRG], why, sizeof why) != 0) {
    // No error stack can carry this yet: say it where start-up failures go.
    dracnout(st, "%s\n", DRA_STR, why, 0);
    return 1;
  }
  return 0;
}

void dracnmsgfre(drsrvstate *st) {
  if (!st || !st->msg) return;
  rtmsgfre(st->msg);
  st->msg = nullptr;
  std::memset(st->msgarea, 0, sizeof st->msgarea);
}

int dracnnew(drsrvstate **out) {
  if (!out) return 1;
  *out = nullptr;
  rtctx *rt = rtstart("drsrv", "lsf");
  if (!rt) return 1;
  auto *st = static_cast<drsrvstate *>(
      rthpalloc(rthpmgrget(rt), rthptop(rthpmgrget(rt)), sizeof(drsrvstate), RTHP_ZERO, __FILE__, __LINE__));
  if (!st) {
    rtstop(rt);
    return 1;
  }
  st->rt = rt;
  st->log = rtstdout(rt);
  if (dracnheap(st) || dracnfmt(st) || dracnnls(st) || dracnmsg(st)) {
    dracnfre(&st);
    return 1;
  }
  *out = st;
  return 0;
}

int dracnfre(drsrvstate **pst) {
  if (!pst || !*pst) return 0;
  drsrvstate *st = *pst;
  if (st->seshp) rthpdel(st->hpmgr, st->seshp);
  st->seshp = nullptr;
  if (st->cmdhp) rthpdel(st->hpmgr, st->cmdhp);
  st->cmdhp = nullptr;
  rtfmtclose(st->fmt);
  st->fmt = nullptr;
  dracnmsgfre(st);
  rtctx *rt = st->rt;
  rthpfree(rthpmgrget(rt), rthptop(rthpmgrget(rt)), st, 0);
  rtstop(rt);
  *pst = nullptr;
  return 0;
}

int dracnchp(drsrvstate *st) {
  if (st->cmdhp) rthpdel(st->hpmgr, st->cmdhp);
  st->cmdhp = rthpnew(st->hpmgr, rthptop(st->hpmgr), RTHP_STD, __FILE__, __LINE__);
  if (!st->cmdhp) {
    dracnerr(st, DRFAC_DRG, 10900, 3, 0);
    druetrc();
    return 1;
  }
  return 0;
}

/* ---- file streams ---- */

int dracnfmk(drsrvstate *st, const char *file, int kind, int attrs, int reclen) {
  rtstream *s = nullptr;
  if (rtfopen(st->rt, file, RTF_WRITE | RTF_CREATE, kind, attrs, reclen, 1, "DR", &s) != 0) {
    druetrc();
    return 1;
  }
  if (rtfclose(s) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int dracnfop(drsrvstate *st, const char *dir, int dirkind, const char *name, int mode, int kind,
             int attrs, int reclen, uint8_t carriage, rtstream **out) {
  if (out) *out = nullptr;
  char dirbuf[kNameBuf];
  const char *rdir = nullptr;
  if (dir && *dir) {
    if (rtfdir(st->rt, dir, dirkind, dirbuf, sizeof dirbuf) != 0) {
      dracnerr(st, DRFAC_DRG, 11107, 2, DRA_STR, dir, 0);
      druetrc();
      return 1;
    }
    rdir = dirbuf;
  }
  // The name is copied into a bounded buffer without one trailing newline
  // (names read from files and prompts keep theirs); a name too long for the
  // buffer is refused rather than cut.
  char nm[kNameBuf];
  size_t nl = name ? std::strlen(name) : 0;
  if (nl && name[nl - 1] == '\n') nl--;
  char path[2 * kNameBuf];
  bool named = name && nl < sizeof nm;
  if (named) {
    std::memcpy(nm, name, nl);
    nm[nl] = 0;
    named = rtfname(st->rt, rdir, nm, path, sizeof path) == 0;
  }
  if (!named) {
    dracnerr(st, DRFAC_DRG, 11108, 2, DRA_STR, name ? name : "", 0);
    druetrc();
    return 1;
  }
  int extra = 0;
  if (attrs & 2) {
    if (mode & 1) extra |= carriage == 1 ? 16 : 8;
    if (mode & (2 | 16)) extra |= 32;
  }
  if ((mode & 3) == 3 && dracnfmk(st, path, kind, attrs, reclen) != 0) {
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, path, 0);
    druetrc();
    return 1;
  }
  rtstream *s = nullptr;
  if (rtfopen(st->rt, path, mode, kind, attrs | extra, reclen, 1, "DR", &s) != 0) {
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, path, 0);
    druetrc();
    return 1;
  }
  if (out) *out = s;
  else rtfclose(s);
  return 0;
}

int dracnfcl(drsrvstate *st, rtstream *stream) {
  (void)st;
  if (rtfclose(stream) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int dracnfrd(drsrvstate *st, rtstream *stream, void *buf, size_t size, size_t *count) {
  (void)st;
  if (count) *count = 0;
  long n = rtfread(stream, buf, size);
  if (n < 0) {
    druetrc();
    return 1;
  }
  if (n == 0 && size > 0) return 2;
  if (count) *count = static_cast<size_t>(n);
  return 0;
}

int dracnfwr(drsrvstate *st, rtstream *stream, const void *buf, size_t len, size_t *count) {
  (void)st;
  if (count) *count = 0;
  long n = rtfwrite(stream, buf, len);
  if (n < 0) {
    druetrc();
    return 1;
  }
  if (count) *count = static_cast<size_t>(n);
  if (static_cast<size_t>(n) < len) {
    druetrc();
    return 2;
  }
  return 0;
}

/* ---- log ---- */

int dracnprt(drsrvstate *st, rtstream *stream, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int rc = log_line(st, stream, st && st->tstamp, true, format, ap);
  va_end(ap);
  return rc;
}

size_t dracnesc(const char *text, char *out, size_t size) {
  if (size == 0) return 0;
  size_t n = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : ""); *p;
       ++p) {
    char esc[5];
    size_t k;
    if (*p >= 0x20 && *p != 0x7f) {
      esc[0] = static_cast<char>(*p);
      k = 1;
    } else if (*p == '\n' || *p == '\r' || *p == '\t') {
      esc[0] = '\\';
      esc[1] = *p == '\n' ? 'n' : *p == '\r' ? 'r' : 't';
      k = 2;
    } else {
      std::snprintf(esc, sizeof esc, "\\x%02x", *p);
      k = 4;
    }
    if (n + k > size - 1) break;
    std::memcpy(out + n, esc, k);
    n += k;
  }
  out[n] = '\0';
  return n;
}

int dracnwrt(drsrvstate *st, rtstream *stream, int flush, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int rc = log_line(st, stream, false, flush != 0, format, ap);
  va_end(ap);
  return rc;
}

/* ---- messages ---- */

void dracnerr(drsrvstate *st, uint8_t fac, int num, int sev, ...) {
  va_list ap;
  va_start(ap, sev);
  push(st, fac, num, sev, false, ap);
  va_end(ap);
}

void dracnierr(drsrvstate *st, uint8_t fac, int num, int sev, ...) {
  va_list ap;
  va_start(ap, sev);
  push(st, fac, num, sev, true, ap);
  va_end(ap);
}

void druetrc(void) {
  // Deliberately empty: a breakpoint or a probe here sees every failure.
  asm volatile("");
}

/* ---- console ---- */

int dracnout(drsrvstate *st, const char *format, ...) {
  if (!format) return 1;
  char buf[kLogBuf];
  va_list ap;
  va_start(ap, format);
  // A line too long for the buffer is cut there, as a log line is.
  int rc = lsffmtv(st ? st->fmt : nullptr, buf, sizeof buf, format, ap);
  va_end(ap);
  if (rc < 0 && rc != LSF_ETRUNC) return 1;
  size_t len = std::strlen(buf);
  if (st && st->rt) {
    rtstream *out = rtstdout(st->rt);
    return rtfwrite(out, buf, len) == static_cast<long>(len) && rtfflush(out) == 0 ? 0 : 1;
  }
  return std::fwrite(buf, 1, len, stdout) == len && std::fflush(stdout) == 0 ? 0 : 1;
}
