// The loader engine: load files of records
//   <TEXTSTART: NAME=value, ...> body <TEXTEND>
// parsed with the statement scanner over pieces of the attribute part, and
// inserted one committed row per record into the source's table.
#include "dr/drbe/drbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dr/drbg/drbg.h"
#include "dr/drd/drd.h"
#include "dr/drg/sdrgb.h"

namespace {

constexpr drzgtkw kw(const char *word, int16_t code) {
  drzgtkw r{};
  uint8_t n = 0;
  for (; word[n]; n++) r.text[n] = word[n];
  r.len = n;
  for (uint8_t i = n; i < sizeof r.text; i++) r.text[i] = ' ';
  r.code = code;
  return r;
}

drbegstate *ldrof(drobj *o) { return reinterpret_cast<drbegstate *>(o); }

/* Error frames around the scanner: its raises become a result of 1 with
 * their message left on the stack. */
int tkopen(drbegstate *ld) {
  drsrvstate *st = ld->st;
  rtframe fr;
  volatile int rc = 0;
  RTFRM_TRY(st->msg, fr) {
    ld->gt = drzgtnew(st, drbegkw, DRBEG_KWCOUNT, ld->pbuf, ld->plen);
  }
  else {
    rtfrmenter(st->msg, &fr);
    rc = 1;
    rtfrmleave(st->msg, &fr);
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  return rc;
}

int tknext(drbegstate *ld, uint16_t *tok) {
  drsrvstate *st = ld->st;
  rtframe fr;
  volatile int rc = 0;
  RTFRM_TRY(st->msg, fr) { *tok = drzgtnext(st, ld->gt); }
  else {
    rtfrmenter(st->msg, &fr);
    rc = 1;
    rtfrmleave(st->msg, &fr);
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  return rc;
}

void tkfree(drbegstate *ld) {
  if (ld->gt) drzgtfree(ld->st, &ld->gt);
}

void push(drbegstate *ld, int num, int sev) {
  dracnerr(ld->st, DRFAC_DRG, num, sev, DRA_SB4, &ld->line, 0);
}

/* Reads from the load file through the line end or up to cap bytes; 0 with
 * the count, 2 at the end of the file, 1 on a read error. A last line
 * without a line end keeps all its bytes. */
int drbegline(drbegstate *ld, char *out, int32_t cap, int32_t *len, bool *began) {
  int32_t n = 0;
  bool nl = false;
  while (n < cap && !nl) {
    if (ld->lpos == ld->lend) {
      if (ld->leof) break;
      long r = sdrgread(ld->st, ld->fd, ld->lbuf, DRBEG_LINEBUF);
      if (r < 0) return 1;
      if (r == 0) {
        ld->leof = 1;
        break;
      }
      ld->lpos = 0;
      ld->lend = static_cast<int32_t>(r);
    }
    int32_t take = ld->lend - ld->lpos;
    if (take > cap - n) take = cap - n;
    const char *at = ld->lbuf + ld->lpos;
    if (const void *e = std::memchr(at, '\n', static_cast<size_t>(take))) {
      take = static_cast<int32_t>(static_cast<const char *>(e) - at) + 1;
      nl = true;
    }
    std::memcpy(out + n, at, static_cast<size_t>(take));
    n += take;
    ld->lpos += take;
  }
  if (n == 0) return 2;
  *began = ld->atstart != 0;
  if (ld->atstart) ld->line++;
  ld->atstart = nl;
  *len = n;
  return 0;
}

/* The scanner's next token, reading on into the next piece at the end of
 * one: 0, 2 at the end of the file, 1 after a read error (pushed), 3 after a
 * scanner error (its message pushed). */
int next(drbegstate *ld, uint16_t *tok) {
  for (;;) {
    if (ld->gt) {
      if (tknext(ld, tok) != 0) return 3;
      if (*tok != DRZGT_EOT) return 0;
      tkfree(ld);
    }
    int r = drbegfbuf(ld);
    if (r != 0) return r;
    if (tkopen(ld) != 0) return 3;
  }
}

/* True when a body line starts (after blanks) with "<" and the word TEXTEND. */
bool isend(const char *p, int32_t n) {
  int32_t i = 0;
  auto blank = [&] {
    while (i < n && (p[i] == ' ' || p[i] == '\t' || p[i] == '\r' || p[i] == '\f' || p[i] == '\v'))
      i++;
  };
  blank();
  if (i >= n || p[i] != '<') return false;
  i++;
  blank();
  static const char word[] = "TEXTEND";
  for (int k = 0; k < 7; k++, i++) {
    if (i >= n || (p[i] & ~0x20) != word[k]) return false;
  }
  if (i >= n) return true;
  unsigned char c = static_cast<unsigned char>(p[i]);
  return !(c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ||
           c == '_' || c == '$' || c == '#');
}

/* The text column's value: a 4-byte length, then the bytes. */
char *textval(drbegstate *ld) { return ld->rows->values[ld->textcol]; }
void settextlen(drbegstate *ld, int32_t n) {
  std::memcpy(textval(ld), &n, 4);
  ld->rows->inds[ld->textcol][0] = 0;
}

/* Every column NULL, the text empty. */
void clearrow(drbegstate *ld) {
  for (int32_t c = 0; c < ld->ncols; c++) {
    ld->rows->inds[c][0] = -1;
    if (ld->rows->lens[c]) ld->rows->lens[c][0] = 0;
  }
  int32_t zero = 0;
  std::memcpy(textval(ld), &zero, 4);
}

/* Resolves a named document inside the source's folder and opens it when it
 * is a regular file there; the descriptor, or -1. */
int opennamed(drbegstate *ld, const char *name) {
  if (!ld->dir[0] || !name[0]) return -1;
  char joined[PATH_MAX + DRBEG_NAMEDMAX + 2];
  if (name[0] == '/') {
    std::snprintf(joined, sizeof joined, "%s", name);
  } else {
    std::snprintf(joined, sizeof joined, "%s/%s", ld->dir, name);
  }
  char real[PATH_MAX];
  if (!realpath(joined, real)) return -1;
  size_t dl = std::strlen(ld->dir);
  if (std::strncmp(real, ld->dir, dl) != 0 || (real[dl] != '/' && !(dl == 1 && ld->dir[0] == '/')))
    return -1;
  // Non-blocking, so that a FIFO put there after the check cannot hold the
  // server; it is refused below as not a regular file.
  int fd = open(real, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return -1;
  struct stat sb;
  if (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

/* The body from the lines that follow the attribute part, up to a line that
 * starts "<TEXTEND"; that line becomes the current piece. 0, or 1 after
 * pushing why. */
int bodylines(drbegstate *ld) {
  int32_t total = 0;
  for (;;) {
    int32_t n = 0;
    bool began = false;
    int r = drbegline(ld, ld->rbuf, DRBEG_PIECE, &n, &began);
    if (r == 2) {
      push(ld, 11500, 2);
      return 1;
    }
    if (r == 1) {
      dracnerr(ld->st, DRFAC_DRG, 11503, 2, DRA_SB4, &ld->line, DRA_STR, ld->path, 0);
      return 1;
    }
    if (began && isend(ld->rbuf, n)) {
      std::memcpy(ld->pbuf, ld->rbuf, static_cast<size_t>(n));
      ld->pbuf[n] = 0;
      ld->plen = n;
      settextlen(ld, total);
      if (tkopen(ld) != 0) return 1;
      return 0;
    }
    if (n > DRBEG_TEXTMAX - total) {
      push(ld, 11505, 2);
      return 1;
    }
    std::memcpy(textval(ld) + 4 + total, ld->rbuf, static_cast<size_t>(n));
    total += n;
  }
}

/* The body from the document the next line names. 0, or 1 after pushing. */
int bodynamed(drbegstate *ld) {
  int32_t n = 0;
  bool began = false;
  char name[DRBEG_NAMEDMAX + 2];
  int r = drbegline(ld, name, DRBEG_NAMEDMAX + 1, &n, &began);
  if (r == 2) {
    push(ld, 11500, 2);
    return 1;
  }
  if (r == 1) {
    dracnerr(ld->st, DRFAC_DRG, 11503, 2, DRA_SB4, &ld->line, DRA_STR, ld->path, 0);
    return 1;
  }
  if (n > 0 && name[n - 1] == '\n') n--;
  if (n > 0 && name[n - 1] == '\r') n--;
  if (n > DRBEG_NAMEDMAX || std::memchr(name, 0, static_cast<size_t>(n))) {
    push(ld, 11510, 2);
    return 1;
  }
  name[n] = 0;
  int fd = opennamed(ld, name);
  if (fd < 0) {
    push(ld, 11510, 2);
    return 1;
  }
  // Reads until the end of the file, however the reads are cut: a document
  // loads when 0 < length < 65535.
  char *dst = textval(ld) + 4;
  int32_t total = 0;
  int rc = 0;
  for (;;) {
    int32_t room = DRBEG_TEXTMAX + 1 - total;
    if (room <= 0) break;
    long got = sdrgread(ld->st, fd, dst + total, static_cast<size_t>(room));
    if (got < 0) {
      rc = 11510;
      break;
    }
    if (got == 0) break;
    total += static_cast<int32_t>(got);
  }
  close(fd);
  if (rc == 0) {
    if (total == DRBEG_TEXTMAX) push(ld, 11504, 1);
    if (total == 0 || total >= DRBEG_TEXTMAX) rc = 11505;
  }
  if (rc != 0) {
    push(ld, rc, 2);
    return 1;
  }
  settextlen(ld, total);
  return 0;
}

/* A column by its name (upper case), or -1. */
int32_t findcol(drbegstate *ld, const char *name) {
  for (int32_t c = 0; c < ld->ncols; c++)
    if (std::strcmp(ld->cols[c].name, name) == 0) return c;
  return -1;
}

/* Stores the current token as the value of column c; 0, or 1 when it does
 * not fit the column's buffer. */
int setval(drbegstate *ld, int32_t c) {
  const drzgtstate *gt = ld->gt;
  int32_t n = gt->toklen;
  char *slot = ld->rows->values[c];
  if (c == ld->textcol) {
    if (n > ld->cols[c].size - 4) return 1;
    std::memcpy(slot + 4, gt->toktext, static_cast<size_t>(n));
    settextlen(ld, n);
    return 0;
  }
  if (n + 1 > ld->cols[c].size) return 1;
  std::memcpy(slot, gt->toktext, static_cast<size_t>(n));
  slot[n] = 0;
  if (ld->rows->lens[c]) ld->rows->lens[c][0] = static_cast<uint16_t>(n + 1);
  ld->rows->inds[c][0] = 0;
  return 0;
}

enum State { OUTSIDE, LT, START, ATTRS, AFTER, END };

/* The failure of a file: 11514 with the line, the stack into the log. */
int failfile(drbegstate *ld) {
  push(ld, 11514, 2);
  tkfree(ld);
  druelog(ld->st);
  drueclr(ld->st);
  druetrc();
  return 1;
}

/* Inserts the row through the database and commits it. */
int dbins(drbegstate *ld) {
  drsrvstate *st = ld->st;
  ld->rows->filled = 1;
  if (drzeins(st, &ld->cur, ld->rows) != 0) {
    ld->rows->filled = 0;
    return druorc(&ld->cur) == DRUO_UNIQUE ? 3 : 1;
  }
  return druocmt(st) == 0 ? 0 : 1;
}

}  // namespace

const drzgtkw drbegkw[DRBEG_KWCOUNT] = {
    kw("", 0),   kw("", 1),   kw("", 2),   kw("", 3),   kw("TEXTEND", DRBEG_TEXTEND),
    kw("TEXTSTART", DRBEG_TEXTSTART),   kw("&", 216), kw(":", 218), kw(",", 219),
    kw("=", DRBEG_EQ), kw(">", DRBEG_GT), kw("<", DRBEG_LT), drzgtkw{}};

int32_t drbegfield(const nlscs *cs, const char *buf, int32_t len) {
  int32_t last = 0;
  char q = 0;
  int32_t i = 0;
  while (i < len) {
    size_t w = nlsclen(cs, buf + i, static_cast<size_t>(len - i));
    if (w == 0) break;  // a character cut by the end: it waits for more bytes
    if (w == 1) {
      char c = buf[i];
      if (q == '"') {
        if (c == '"') q = 0;
      } else if (q == '\'') {
        if (c == '\'') {
          if (i + 1 < len && buf[i + 1] == '\'') {
            i += 2;
            continue;
          }
          q = 0;
        }
      } else if (c == '"' || c == '\'') {
        q = c;
      } else if (c == ',' || c == '>') {
        last = i + 1;
      }
    }
    i += static_cast<int32_t>(w);
  }
  return last;
}

int drbegfbuf(drbegstate *ld) {
  const nlscs *cs = dracncs(ld->st);
  for (;;) {
    int32_t k = drbegfield(cs, ld->rbuf, ld->rfill);
    if (k > 0) {
      std::memcpy(ld->pbuf, ld->rbuf, static_cast<size_t>(k));
      ld->pbuf[k] = 0;
      ld->plen = k;
      std::memmove(ld->rbuf, ld->rbuf + k, static_cast<size_t>(ld->rfill - k));
      ld->rfill -= k;
      return 0;
    }
    int32_t n = 0;
    bool began = false;
    int r = ld->rfill >= DRBEG_PIECE
                ? 1  // no delimiter in a full buffer: a piece cannot be cut
                : drbegline(ld, ld->rbuf + ld->rfill, DRBEG_PIECE - ld->rfill, &n, &began);
    if (r == 1) {
      dracnerr(ld->st, DRFAC_DRG, 11503, 2, DRA_SB4, &ld->line, DRA_STR, "drbegfbuf", 0);
      return 1;
    }
    if (r == 2) return 2;
    // The line end becomes a blank, so that the tokens on either side of it
    // stay apart.
    char *e = ld->rbuf + ld->rfill + n;
    if (e[-1] == '\n') {
      e[-1] = ' ';
      if (n > 1 && e[-2] == '\r') e[-2] = ' ';
    }
    ld->rfill += n;
  }
}

int drbegrows(drbegstate *ld) {
  drsrvstate *st = ld->st;
  uint16_t tok = 0;
  int r = drbegfbuf(ld);
  if (r != 0) return failfile(ld);
  if (tkopen(ld) != 0) {
    push(ld, 11513, 2);
    return failfile(ld);
  }
  State s = OUTSIDE;
  r = next(ld, &tok);
  for (;;) {
    if (r == 2) {
      if (s == OUTSIDE || s == LT || s == START) return 0;
      push(ld, 11500, 2);
      return failfile(ld);
    }
    if (r == 1) return failfile(ld);
    if (r == 3) {
      if (s == ATTRS) push(ld, 11509, 2);
      else if (s == OUTSIDE || s == LT || s == START) push(ld, 11513, 2);
      return failfile(ld);
    }
    switch (s) {
      case OUTSIDE:
      case LT:
      case START:
        if (s == START && tok == DRZGT_COLON) {
          druelog(st);
          drueclr(st);
          clearrow(ld);
          s = ATTRS;
        } else if (s == LT && tok == DRBEG_TEXTSTART) {
          s = START;
        } else if (tok == DRBEG_LT) {
          s = LT;
        } else if (tok == DRBEG_GT) {
          push(ld, 11513, 2);
          return failfile(ld);
        } else {
          s = OUTSIDE;
        }
        r = next(ld, &tok);
        break;
      case ATTRS: {
        if (tok == DRBEG_GT) {
          // The body starts with the next line: the rest of this one goes.
          tkfree(ld);
          ld->rfill = 0;
          if ((ld->withname ? bodynamed(ld) : bodylines(ld)) != 0) {
            push(ld, 11508, 2);
            return failfile(ld);
          }
          s = AFTER;
          r = next(ld, &tok);
          break;
        }
        if (tok != DRZGT_IDENT) {
          push(ld, 11501, 2);
          push(ld, 11509, 2);
          return failfile(ld);
        }
        int32_t c = findcol(ld, ld->gt->toktext);
        if (c < 0) {
          push(ld, 11509, 2);
          dracnerr(st, DRFAC_DRG, 11502, 1, DRA_STR, ld->gt->toktext, DRA_SB4, &ld->line, 0);
          push(ld, 11509, 2);
          return failfile(ld);
        }
        r = next(ld, &tok);
        if (r != 0) continue;
        if (tok != DRBEG_EQ) {
          push(ld, 11509, 2);
          dracnerr(st, DRFAC_DRG, 11511, 2, DRA_SB4, &ld->line, DRA_STR, "=", 0);
          push(ld, 11509, 2);
          return failfile(ld);
        }
        r = next(ld, &tok);
        if (r != 0) continue;
        if (tok != DRZGT_IDENT && tok != DRZGT_NUMBER && tok != DRZGT_STRING) {
          push(ld, 11509, 2);
          push(ld, 11512, 2);
          push(ld, 11509, 2);
          return failfile(ld);
        }
        if (setval(ld, c) != 0) {
          push(ld, 11509, 2);
          push(ld, 11515, 2);
          push(ld, 11509, 2);
          return failfile(ld);
        }
        r = next(ld, &tok);
        if (r == 0 && tok == DRZGT_COMMA) r = next(ld, &tok);
        break;
      }
      case AFTER:
        if (tok == DRBEG_TEXTEND) s = END;
        r = next(ld, &tok);
        break;
      case END:
        if (tok != DRBEG_GT) {
          s = tok == DRBEG_TEXTEND ? END : AFTER;
          r = next(ld, &tok);
          break;
        }
        {
          int ir = ld->ins(ld);
          if (ir == 3) {
            druelog(st);
            drueclr(st);
            push(ld, 11509, 2);
          } else if (ir != 0) {
            return failfile(ld);
          }
        }
        s = OUTSIDE;
        r = next(ld, &tok);
        break;
    }
  }
}

int drbegbufs(drbegstate *ld) {
  drsrvstate *st = ld->st;
  ld->rbuf = static_cast<char *>(drumalc(st, st->hpmgr, st->cmdhp, 1, DRBEG_PIECE + 1, __FILE__,
                                         __LINE__));
  ld->pbuf = ld->rbuf ? static_cast<char *>(drumalc(st, st->hpmgr, st->cmdhp, 1, DRBEG_PIECE + 1,
                                                    __FILE__, __LINE__))
                      : nullptr;
  ld->lbuf = ld->pbuf ? static_cast<char *>(drumalc(st, st->hpmgr, st->cmdhp, 1, DRBEG_LINEBUF,
                                                    __FILE__, __LINE__))
                      : nullptr;
  ld->rfill = ld->plen = ld->lpos = ld->lend = 0;
  ld->leof = 0;
  ld->atstart = 1;
  if (!ld->lbuf) {
    druetrc();
    return 1;
  }
  return 0;
}

int drbegcolset(drbegstate *ld, const char *const *names, const int16_t *types,
                const int32_t *sizes, int32_t n) {
  drsrvstate *st = ld->st;
  const nlscs *cs = dracncs(st);
  if (n > DRBEG_MAXCOLS) n = DRBEG_MAXCOLS;
  ld->ncols = 0;
  ld->textcol = -1;
  int32_t len = std::snprintf(ld->insert, sizeof ld->insert, "INSERT into %s values(", ld->table);
  if (len < 0 || len >= DRBEG_INSERT - 5) {
    dracnerr(st, DRFAC_DRG, 11506, 2, 0);
    return 1;
  }
  for (int32_t c = 0; c < n; c++) {
    drbegcol &col = ld->cols[c];
    std::snprintf(col.bind, sizeof col.bind, ":c%d", static_cast<int>(c + 1));
    nlsupper(cs, col.name, sizeof col.name, names[c], std::strlen(names[c]));
    switch (types[c]) {
      case DRUO_LONG:
      case DRUO_LONGVARCHAR:
      case DRUO_LONGRAW:
      case DRUO_LONGVARRAW:
        // The last of these is the text column; the others take attribute
        // values like any character column.
        ld->textcol = c;
        col.type = types[c] == DRUO_LONG || types[c] == DRUO_LONGVARCHAR ? DRUO_LONGVARCHAR
                                                                          : DRUO_LONGVARRAW;
        col.size = ld->textsize;
        break;
      case 2:   // numbers
      case 12:  // dates
        col.type = DRUO_STRING;
        col.size = 64;
        break;
      default:
        col.type = DRUO_STRING;
        col.size = sizes[c] > 0 && sizes[c] < DRZGT_TEXTMAX ? sizes[c] + 1 : DRZGT_TEXTMAX + 1;
        break;
    }
    int w = std::snprintf(ld->insert + len, sizeof ld->insert - static_cast<size_t>(len), "%s%s",
                          c ? ", " : "", col.bind);
    if (w < 0 || len + w >= DRBEG_INSERT - 5) {
      dracnerr(st, DRFAC_DRG, 11506, 2, 0);
      return 1;
    }
    len += w;
    ld->ncols = c + 1;
  }
  for (int32_t c = 0; c < ld->ncols; c++) {
    if (c != ld->textcol && (ld->cols[c].type != DRUO_STRING)) {
      ld->cols[c].type = DRUO_STRING;
      ld->cols[c].size = DRZGT_TEXTMAX + 1;
    }
  }
  if (ld->textcol < 0) {
    dracnerr(st, DRFAC_DRG, 11517, 2, 0);
    return 1;
  }
  std::memcpy(ld->insert + len, ")", 2);
  drzecol dc[DRBEG_MAXCOLS];
  for (int32_t c = 0; c < ld->ncols; c++) {
    dc[c] = {ld->cols[c].bind, ld->cols[c].type, ld->cols[c].size,
             c == ld->textcol ? static_cast<uint32_t>(DRZE_NOLEN) : 0u};
  }
  rtframe fr;
  volatile int rc = 0;
  RTFRM_TRY(st->msg, fr) { drzenew(st, &ld->rows, 1, dc, ld->ncols); }
  else {
    rtfrmenter(st->msg, &fr);
    rc = 1;
    rtfrmleave(st->msg, &fr);
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  return rc;
}

void drbegclose(drbegstate *ld) {
  drsrvstate *st = ld->st;
  tkfree(ld);
  drzefree(st, &ld->rows);
  if (ld->curopen) {
    druoend(st, &ld->cur);
    ld->curopen = 0;
  }
  if (ld->fd >= 0) {
    close(ld->fd);
    ld->fd = -1;
  }
  char **bufs[] = {&ld->rbuf, &ld->pbuf, &ld->lbuf};
  for (char **b : bufs) {
    if (*b) {
      void *p = *b;
      drumfre(st, st->hpmgr, st->cmdhp, &p);
      *b = nullptr;
    }
  }
}

namespace {

/* The source's owner may put rows into the table: it owns it or holds
 * INSERT on it. A load file must not reach tables its source could not. */
int mayinsert(drbegstate *ld) {
  drsrvstate *st = ld->st;
  drdmpol *src = drqpol(st, ld->polid);
  if (!src) {
    dracnerr(st, DRFAC_DRG, 50607, 2, DRA_INT, static_cast<int>(ld->polid), 0);
    return 1;
  }
  druocur c{};
  int32_t ok = 0;
  int16_t ind = 0;
  char owner[64], table[DRBX_TARGET];
  std::snprintf(owner, sizeof owner, "%s", src->owner);
  std::snprintf(table, sizeof table, "%s", ld->table);
  int rc = druoprp(st, &c, DRUO_WORK,
                   "SELECT count(*)::integer FROM pg_roles r WHERE r.rolname = lower(:o) AND "
                   "has_table_privilege(r.oid, to_regclass(:t), 'INSERT')");
  if (rc != 0) return 1;
  rc = druobnd(st, &c, ":o", owner, sizeof owner, DRUO_STRING);
  if (rc == 0) rc = druobnd(st, &c, ":t", table, sizeof table, DRUO_STRING);
  if (rc == 0) rc = druodef(st, &c, 1, &ok, 4, DRUO_INTEGER, &ind);
  if (rc == 0) {
    rc = druoexf(st, &c, 1);
    if (rc == DRUO_NODATA) rc = 0;
  }
  druoend(st, &c);
  druorbk(st);  // the check leaves no transaction open
  if (rc != 0) return 1;
  if (ok < 1) {
    dracnerr(st, DRFAC_DRG, 11518, 2, DRA_STR, src->owner, DRA_STR, ld->table, 0);
    return 1;
  }
  return 0;
}

/* Describes the table and builds the INSERT over its columns. */
int drbegdesc(drbegstate *ld) {
  drsrvstate *st = ld->st;
  if (!druoidn(ld->table, 2)) {
    dracnerr(st, DRFAC_DRG, 10722, 2, DRA_STR, ld->table, 0);
    return 1;
  }
  if (mayinsert(ld) != 0) return 1;
  char sql[DRBX_TARGET + 32];
  std::snprintf(sql, sizeof sql, "SELECT * FROM %s", ld->table);
  druocur dc{};
  if (druoprp(st, &dc, DRUO_WORK, sql) != 0) return 1;
  static char names[DRBEG_MAXCOLS][64];
  const char *np[DRBEG_MAXCOLS];
  int16_t types[DRBEG_MAXCOLS];
  int32_t sizes[DRBEG_MAXCOLS];
  int32_t n = 0;
  int rc = 0;
  for (int pos = 1; pos <= DRBEG_MAXCOLS; pos++) {
    int32_t nl = sizeof names[0] - 1;
    int r = druodsc(st, &dc, pos, &sizes[n], &types[n], names[n], &nl);
    if (r == DRUO_NOTINLIST) break;
    if (r != 0) {
      rc = 1;
      break;
    }
    names[n][nl] = 0;
    np[n] = names[n];
    n++;
  }
  druoend(st, &dc);
  if (rc == 0) rc = drbegcolset(ld, np, types, sizes, n);
  if (rc == 0) {
    rc = druoprp(st, &ld->cur, DRUO_WORK, ld->insert) != 0;
    ld->curopen = rc == 0;
  }
  if (rc != 0) {
    drzefree(st, &ld->rows);
    druelog(st);
    drueclr(st);
  }
  return rc;
}

/* Loads one file; 0, or 1 when it failed (the stack is in the log). */
int drbegfile(drbegstate *ld, const char *path, const char *table, uint8_t withname) {
  drsrvstate *st = ld->st;
  std::snprintf(ld->path, sizeof ld->path, "%s", path);
  std::snprintf(ld->table, sizeof ld->table, "%s", table);
  ld->withname = withname;
  ld->textsize = DRBEG_TEXTMAX + 4;
  ld->line = 0;
  ld->fd = -1;
  int rc = drbegbufs(ld);
  if (rc == 0) rc = drbegdesc(ld);
  if (rc == 0) {
    ld->fd = sdrgopen(st, ld->path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    struct stat sb;
    if (ld->fd >= 0 && (fstat(ld->fd, &sb) != 0 || !S_ISREG(sb.st_mode))) {
      close(ld->fd);
      ld->fd = -1;
    }
    if (ld->fd < 0) {
      dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, ld->path, 0);
      dracnerr(st, DRFAC_DRG, 11516, 2, 0);
      rc = 1;
    }
  }
  if (rc == 0) rc = drbegrows(ld);
  druelog(st);
  drueclr(st);
  drbegclose(ld);
  return rc;
}

int drbegbnd(drobj *o, int32_t polid, int32_t prefid) {
  drbegstate *ld = ldrof(o);
  if (ld->polid != -1) return ld->polid == polid ? 0 : 1;
  ld->polid = polid;
  ld->prefid = prefid;
  drdplist *l = nullptr;
  if (drdpopn(ld->st, prefid, &l) != 0) {
    druetrc();
    return 1;
  }
  int rc = 0;
  drdmattr *a = nullptr;
  if (drdpnxt(l, &a) == 0) {
    dracnierr(ld->st, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(a->ordinal), 0);
    rc = 1;
  }
  drdpcls(l);
  if (rc != 0) druetrc();
  return rc;
}

int drbegload(drobj *o, drobj *trn, drobj *rdr) {
  drbegstate *ld = ldrof(o);
  const drtrnops *t = drops<drtrnops>(trn);
  // Named documents are read only inside the source's folder.
  ld->dir[0] = 0;
  if (const char *d = drbgddir(rdr)) {
    char real[PATH_MAX];
    if (d[0] && realpath(d, real) && std::strlen(real) < sizeof ld->dir)
      std::memcpy(ld->dir, real, std::strlen(real) + 1);
  }
  static char name[DRRDR_NAMESIZE];
  char table[DRBX_TARGET], column[DRBX_TARGET];
  uint8_t withname = 0;
  bool failed = false;
  // What the scan reported goes to the log now, so that a warning 12100
  // found after a next is the translator's: an input it could not
  // translate and reported to the reader as failed.
  druelog(ld->st);
  drueclr(ld->st);
  int rc = t->next(trn, rdr, name, table, column, &withname);
  for (;;) {
    if (druefind(ld->st, 12100)) failed = true;
    if (rc != 0) break;
    if (drbegfile(ld, name, table, withname) != 0) {
      failed = true;
      rc = t->fail(trn, rdr);
    } else {
      rc = t->done(trn, rdr);
    }
    if (rc != 0) break;
    name[0] = table[0] = column[0] = 0;
    rc = t->next(trn, rdr, name, table, column, &withname);
  }
  if (failed && rc != 1) return 0;
  return rc;
}

int drbegfree(drobj **po) {
  if (!po || !*po) return 0;
  drbegstate *ld = ldrof(*po);
  drsrvstate *st = ld->st;
  void *b = ld;
  drumfre(st, st->hpmgr, ld->heap, &b);
  *po = nullptr;
  return 0;
}

const drobjhd<drldrops> kTpl = {{DRCLS_LOADER, 1, nullptr},
                                {.bnd = drbegbnd, .load = drbegload, .free = drbegfree}};

}  // namespace

drobj *drbegnew(drsrvstate *s, drheap h) {
  auto *ld = drobjnew<drbegstate>(s, h, kTpl);
  if (!ld) return nullptr;
  ld->prefid = -1;
  ld->polid = -1;
  ld->fd = -1;
  ld->textcol = -1;
  ld->ins = dbins;
  return &ld->hd.obj;
}
