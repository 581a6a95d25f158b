// Reading, logging, joining and searching the error stack held by the
// message manager.
#include "dr/dru/drue.h"

#include <cstring>

#include "platform/nls/nls.h"

namespace {

constexpr size_t kDbTextMax = 512;  // a database text keeps at most this much

}  // namespace

int druetxt(drsrvstate *st, int idx, char *buf, size_t size) {
  if (!st || !st->msg || !buf || size == 0) {
    druetrc();
    return 1;
  }
  int num = rtmsgnum(st->msg, idx);
  if (num == -1) {
    druetrc();
    return 1;
  }
  if (rtmsgtxt(st->msg, idx, buf, size) < 0) {
    druetrc();
    return 1;
  }
  if (num == DRUE_DBTEXT) {
    // Show the database's own message without our prefix: drop everything up
    // to the first ':' and the one character after it. A ':' byte never
    // occurs inside a multi-byte character of the sets we support, so a byte
    // search is safe. A text without a ':' stays as it is.
    char *colon = std::strchr(buf, ':');
    if (colon) {
      char *rest = colon + 1;
      if (*rest) rest++;  // the blank after the colon
      size_t n = std::strlen(rest);
      n = nlscut(dracncs(st), rest, n, kDbTextMax);
      std::memmove(buf, rest, n);
      buf[n] = 0;
    }
  }
  return 0;
}

int druelog(drsrvstate *st) {
  if (!st || !st->msg) return 0;
  int cnt = rtmsgcnt(st->msg);
  for (int i = 1; i <= cnt; i++) {
    char buf[DRUE_TXTMAX];
    // One line per entry: texts that carry a user's words (or the
    // database's own line ends) show their control characters escaped.
    char esc[4 * DRUE_TXTMAX];
    if (druetxt(st, i, buf, sizeof buf) != 0) continue;
    // A text's own last line end is the one the log writes anyway.
    size_t n = std::strlen(buf);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) buf[--n] = '\0';
    dracnesc(buf, esc, sizeof esc);
    dracnprt(st, st->log, "%s\n", DRA_STR, esc, 0);
  }
  return cnt;
}

size_t druestk(drsrvstate *st, char *dest, size_t size) {
  if (!dest || size == 0) return 0;
  dest[0] = 0;
  if (!st || !st->msg) return 0;
  const nlscs *cs = dracncs(st);
  size_t len = 0;
  int cnt = rtmsgcnt(st->msg);
  for (int i = 1; i <= cnt; i++) {
    char buf[DRUE_TXTMAX];
    if (druetxt(st, i, buf, sizeof buf) != 0) continue;
    size_t room = size - 1 - len;
    size_t n = std::strlen(buf);
    size_t take = nlscut(cs, buf, n, room);
    std::memcpy(dest + len, buf, take);
    len += take;
    if (take < n || len + 1 >= size) break;  // the destination is full
    dest[len++] = '\n';
  }
  dest[len] = 0;
  return len;
}

int druefatal(drsrvstate *st) {
  if (!st || !st->msg) return 0;
  int cnt = rtmsgcnt(st->msg);
  for (int i = 1; i <= cnt; i++)
    if (rtmsgsev(st->msg, i) == 3) return 1;
  return 0;
}

int druefind(drsrvstate *st, int num) {
  if (!st || !st->msg) return 0;
  int cnt = rtmsgcnt(st->msg);
  for (int i = 1; i <= cnt; i++)
    if (rtmsgnum(st->msg, i) == num) return 1;
  return 0;
}

int drueget(drsrvstate *st, int idx, int *num, int *sev) {
  int cnt = st && st->msg ? rtmsgcnt(st->msg) : 0;
  if (idx < 1 || idx > cnt) {
    if (num) *num = 0;
    return 0;
  }
  int n = rtmsgnum(st->msg, idx);
  int s = rtmsgsev(st->msg, idx);
  // Severity 0 is a real severity (50600 is pushed with it); only the
  // manager's -1 means the entry could not be read.
  if (n == -1 || s == -1) {
    dracnierr(st, DRFAC_DRG, 50101, 3, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  if (num) *num = n;
  if (sev) *sev = s;
  return 0;
}

void drueclr(drsrvstate *st) {
  if (st && st->msg) rtmsgclr(st->msg);
}
