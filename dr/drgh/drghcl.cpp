// Link rewriting: one table lookup per tag byte; only the values of link
// attributes are held back, in fixed buffers, until their end shows whether
// to write them resolved or as they came.
#include "dr/drgh/drghcl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/nls/nls.h"

namespace {

// States of the machine.
enum : int32_t {
  S_TEXT = 0, S_LT = 1, S_ENDTAG = 2, S_DECL = 3, S_PI = 4, S_NAME = 5, S_DQDECL = 6,
  S_SQDECL = 7, S_DASH = 8, S_COMMENT = 9, S_CDASH = 10, S_CDASH2 = 11, S_MARKED = 12,
  S_BETWEEN = 13, S_ATTR = 14, S_EQ = 15, S_DQVAL = 16, S_SQVAL = 17, S_VAL = 18,
};

// Byte classes: < > / ? ! - [ ] = " ' blank, then everything else.
constexpr int kClasses = 13;
constexpr unsigned char byteclass(unsigned char b) {
  switch (b) {
    case '<': return 0;
    case '>': return 1;
    case '/': return 2;
    case '?': return 3;
    case '!': return 4;
    case '-': return 5;
    case '[': return 6;
    case ']': return 7;
    case '=': return 8;
    case '"': return 9;
    case '\'': return 10;
    case '\t': case '\n': case '\r': case ' ': return 11;
    default: return 12;
  }
}
struct Classes {
  unsigned char c[256];
  constexpr Classes() : c() {
    for (int b = 0; b < 256; ++b) c[b] = byteclass(static_cast<unsigned char>(b));
  }
};
constexpr Classes kClass;

// Next state by current state (row) and byte class (column).
constexpr unsigned char kNext[19][kClasses] = {
    /*  0 */ {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /*  1 */ {1, 0, 2, 4, 3, 5, 5, 5, 5, 5, 5, 5, 5},
    /*  2 */ {1, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
    /*  3 */ {1, 0, 3, 3, 3, 8, 12, 3, 3, 6, 7, 3, 3},
    /*  4 */ {1, 0, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    /*  5 */ {1, 0, 5, 5, 5, 5, 5, 5, 5, 5, 5, 13, 5},
    /*  6 */ {6, 6, 6, 6, 6, 6, 6, 6, 6, 3, 6, 6, 6},
    /*  7 */ {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 3, 7, 7},
    /*  8 */ {1, 0, 3, 3, 3, 9, 3, 3, 3, 3, 3, 3, 3},
    /*  9 */ {1, 0, 9, 9, 9, 10, 9, 9, 9, 9, 9, 9, 9},
    /* 10 */ {1, 0, 9, 9, 9, 11, 9, 9, 9, 9, 9, 9, 9},
    /* 11 */ {1, 0, 9, 9, 9, 11, 9, 9, 9, 9, 9, 9, 9},
    /* 12 */ {12, 12, 12, 12, 12, 12, 12, 3, 12, 12, 12, 12, 12},
    /* 13 */ {1, 0, 14, 14, 14, 14, 14, 14, 15, 14, 14, 13, 14},
    /* 14 */ {1, 0, 14, 14, 14, 14, 14, 14, 15, 14, 14, 13, 14},
    /* 15 */ {1, 0, 18, 18, 18, 18, 18, 18, 18, 16, 17, 15, 18},
    /* 16 */ {16, 16, 16, 16, 16, 16, 16, 16, 16, 13, 16, 16, 16},
    /* 17 */ {17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 13, 17, 17},
    /* 18 */ {1, 0, 18, 18, 18, 18, 18, 18, 18, 18, 18, 13, 18},
};

drghclrec gRec;

bool isvalue(int32_t s) { return s == S_DQVAL || s == S_SQVAL || s == S_VAL; }

// Appends a byte to a name or value holding len bytes; 1 when it is full.
int append(char *buf, int32_t *len, unsigned char b) {
  if (*len > DRGHCL_SIZE - 2) return 1;
  buf[(*len)++] = static_cast<char>(b);
  buf[*len] = '\0';
  return 0;
}

// True for the attributes whose values are links.
bool islink(const nlscs *cs, const char *name) {
  static const char *const kNames[] = {"src", "href", "action", "background"};
  for (const char *n : kNames)
    if (nlscasecmp(cs, name, n) == 0) return true;
  return false;
}

// Copies n bytes as a NUL-terminated part (n is below DRGHCL_SIZE).
void part(char *dst, const char *src, size_t n) {
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// Parses text into its parts; *emptypath tells a reference that has no path
// of its own (empty, or only a fragment) from one whose path is "/".
int parse(drsrvstate *st, const char *text, drghcurl *u, bool *emptypath) {
  const nlscs *cs = dracncs(st);
  const char *b = text, *e = text + std::strlen(text);
  while (e > b && static_cast<unsigned char>(e[-1]) <= 32) --e;
  while (b < e && static_cast<unsigned char>(*b) <= 32) ++b;
  if (e - b >= 4 && nlsncasecmp(cs, b, "url:", 4) == 0) b += 4;
  if (e - b >= DRGHCL_SIZE) return 1;
  u->scheme[0] = u->host[0] = u->path[0] = u->fragment[0] = '\0';
  u->port = -1;
  for (const char *p = b; p < e && *p != '/'; ++p) {
    if (*p == ':') {
      part(u->scheme, b, static_cast<size_t>(p - b));
      b = p + 1;
      break;
    }
  }
  if (const char *h = static_cast<const char *>(std::memchr(b, '#', static_cast<size_t>(e - b)))) {
    part(u->fragment, h + 1, static_cast<size_t>(e - h - 1));
    e = h;
  }
  if (e - b >= 2 && b[0] == '/' && b[1] == '/') {
    const char *hs = b + 2;
    auto *he = static_cast<const char *>(std::memchr(hs, '/', static_cast<size_t>(e - hs)));
    if (!he) he = e;
    auto *colon = static_cast<const char *>(std::memchr(hs, ':', static_cast<size_t>(he - hs)));
    if (colon) {
      if (he - colon - 1 > 9) return 1;
      char digits[10];
      part(digits, colon + 1, static_cast<size_t>(he - colon - 1));
      u->port = std::atoi(digits);
      part(u->host, hs, static_cast<size_t>(colon - hs));
    } else {
      part(u->host, hs, static_cast<size_t>(he - hs));
    }
    b = he;
  }
  *emptypath = b == e;
  if (b == e) part(u->path, "/", 1);
  else part(u->path, b, static_cast<size_t>(e - b));
  return 0;
}

// Removes the "." and ".." segments of the path in buf (up to a "?", which
// starts the query and is kept as it is), in place.
void dotsegments(char *buf) {
  size_t len = std::strlen(buf);
  char *q = std::strchr(buf, '?');
  size_t plen = q ? static_cast<size_t>(q - buf) : len;
  char out[2 * DRGHCL_SIZE + 8];
  size_t o = 0;
  char *in = buf;
  const char *end = buf + plen;
  auto starts = [&](const char *s) {
    size_t n = std::strlen(s);
    return static_cast<size_t>(end - in) >= n && std::memcmp(in, s, n) == 0;
  };
  auto is = [&](const char *s) {
    size_t n = std::strlen(s);
    return static_cast<size_t>(end - in) == n && std::memcmp(in, s, n) == 0;
  };
  auto dropLast = [&]() {
    while (o > 0 && out[o - 1] != '/') --o;
    if (o > 0) --o;
  };
  while (in < end) {
    if (starts("../")) in += 3;
    else if (starts("./")) in += 2;
    else if (starts("/./")) in += 2;
    else if (is("/.")) { in += 1; in[0] = '/'; }
    else if (starts("/../")) { in += 3; dropLast(); }
    else if (is("/..")) { in += 2; in[0] = '/'; dropLast(); }
    else if (is(".") || is("..")) in = buf + plen;
    else {
      do out[o++] = *in++;
      while (in < end && *in != '/');
    }
  }
  size_t rest = len - plen;
  std::memmove(buf + o, buf + plen, rest + 1);
  std::memcpy(buf, out, o);
}

// Writes n bytes of s at the position; advances it.
void put(char **pos, const char *s, size_t n) {
  std::memcpy(*pos, s, n);
  *pos += n;
}

}  // namespace

drghclrec *drghclinit(drsrvstate *st, const char *base) {
  size_t n = base ? std::strlen(base) : 0;
  if (n >= DRGHCL_BASEMAX) return nullptr;
  drghclrec *r = &gRec;
  r->st = st;
  part(r->base, base ? base : "", n);
  r->prev = r->state = S_TEXT;
  r->name[0] = r->value[0] = '\0';
  r->namelen = r->valuelen = 0;
  return r;
}

int drghclparse(drsrvstate *st, const char *text, drghcurl *url) {
  bool empty = false;
  return parse(st, text, url, &empty);
}

int drghclabs(drsrvstate *st, const char *base, const char *value, uint32_t *len, char *out,
              const char *limit) {
  drghcurl b, v;
  bool bempty = false, vempty = false;
  if (parse(st, base, &b, &bempty) != 0 || parse(st, value, &v, &vempty) != 0) return 1;
  // The resolved path: a base path part and a value part, with room for the
  // separator between them.
  char path[2 * DRGHCL_SIZE + 8];
  const char *scheme = v.scheme, *host = v.host;
  int32_t port = v.port;
  if (v.scheme[0]) {
    std::strcpy(path, v.path);
  } else {
    scheme = b.scheme;
    // The base's port goes with the base's host only.
    if (!v.host[0]) {
      host = b.host;
      if (port == -1) port = b.port;
    }
    if (v.host[0]) {
      std::strcpy(path, v.path);
    } else if (vempty) {
      std::strcpy(path, b.path);  // a fragment or nothing: this very document
    } else if (v.path[0] == '?') {
      size_t n = std::strcspn(b.path, "?");
      part(path, b.path, n);
      std::strcat(path, v.path);
    } else if (v.path[0] == '/') {
      std::strcpy(path, v.path);
    } else {
      size_t n = std::strcspn(b.path, "?");
      while (n > 0 && b.path[n - 1] != '/') --n;
      if (n > 0) --n;
      part(path, b.path, n);
      std::strcat(path, "/");
      std::strcat(path, v.path);
    }
    if (!vempty && v.path[0] != '?') dotsegments(path);
  }
  if (port > 100000 || port < -100000) return 1;
  char portbuf[16];
  int plen = port == -1 ? 0 : std::snprintf(portbuf, sizeof portbuf, ":%d", static_cast<int>(port));
  size_t sl = std::strlen(scheme), hl = std::strlen(host), pl = std::strlen(path),
         fl = std::strlen(v.fragment);
  size_t total = sl + 1 + (hl ? 2 + hl + static_cast<size_t>(plen) : 0) + pl + (fl ? 1 + fl : 0);
  if (out >= limit || static_cast<size_t>(limit - out) <= total) return 1;
  char *p = out;
  put(&p, scheme, sl);
  put(&p, ":", 1);
  if (hl) {
    put(&p, "//", 2);
    put(&p, host, hl);
    put(&p, portbuf, static_cast<size_t>(plen));
  }
  put(&p, path, pl);
  if (fl) {
    put(&p, "#", 1);
    put(&p, v.fragment, fl);
  }
  *p = '\0';
  *len = static_cast<uint32_t>(total);
  return 0;
}

int drghclink(drghclrec *rec, unsigned char b, uint32_t *count, char *out, const char *limit) {
  *count = 0;
  if (out >= limit) return 1;
  if (!rec || !rec->base[0]) {
    *out = static_cast<char>(b);
    *count = 1;
    return 0;
  }
  int32_t prev = rec->state;
  int32_t next = kNext[prev][kClass.c[b]];
  rec->prev = prev;
  rec->state = next;
  int rc = 0;
  switch (next) {
    case S_BETWEEN: break;  // the name is emptied once an ending value is written
    case S_ATTR: rc = append(rec->name, &rec->namelen, b); break;
    case S_DQVAL:
    case S_SQVAL:
      if (prev != next) {
        rec->valuelen = 0;
        rec->value[0] = '\0';
      } else {
        rc = append(rec->value, &rec->valuelen, b);
      }
      break;
    case S_VAL:
      if (prev != next) {
        rec->valuelen = 0;
        rec->value[0] = '\0';
      }
      rc = append(rec->value, &rec->valuelen, b);
      break;
    default: break;
  }
  if (rc != 0) return 1;
  if (next == S_VAL || (isvalue(next) && prev == next)) return 0;  // held back
  if (isvalue(prev) && prev != next) {
    uint32_t n = 0;
    if (islink(dracncs(rec->st), rec->name)) {
      if (drghclabs(rec->st, rec->base, rec->value, &n, out, limit) != 0) return 1;
    } else {
      n = static_cast<uint32_t>(rec->valuelen);
      if (n >= static_cast<uint32_t>(limit - out)) return 1;
      std::memcpy(out, rec->value, n);
    }
    if (out + n >= limit) return 1;
    out[n] = static_cast<char>(b);
    rec->valuelen = 0;
    *count = n + 1;
  } else {
    *out = static_cast<char>(b);
    *count = 1;
  }
  if (next == S_BETWEEN) {
    rec->namelen = 0;
    rec->name[0] = '\0';
  }
  return 0;
}

int drghclend(drghclrec *rec, uint32_t *count, char *out, const char *limit) {
  *count = 0;
  if (!rec) return 0;
  uint32_t n = static_cast<uint32_t>(rec->valuelen);
  if (n > 0) {
    if (out >= limit || n > static_cast<uint32_t>(limit - out)) return 1;
    std::memcpy(out, rec->value, n);
  }
  *count = n;
  rec->valuelen = 0;
  rec->prev = rec->state = S_TEXT;
  return 0;
}
