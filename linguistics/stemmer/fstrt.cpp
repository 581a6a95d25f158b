// The transducer runtime's other operations: coded lookup, coding and
// decoding by type, the tokenizer, the resumable enumeration over a lookup
// buffer, and what a transducer says about itself.
#include <cstdlib>
#include <cstring>
#include <new>

#include "linguistics/stemmer/fstint.h"

// A lookup buffer: this head, then the coded input, coded output and stack
// areas in the same block.
struct fstbuf {
  fstwalkstate ws;      /* a suspended walk */
  int32_t results;      /* results delivered by the last call */
  int32_t delivered;    /* bytes delivered by the last call */
  uint32_t inoff, insize, outoff, outsize, stackoff, stackn;
  intptr_t value;       /* the caller's */
  uint16_t open, close; /* tag brackets */
  uint8_t pending;      /* a result waits for the next call */
  uint8_t started;      /* a first call coded its input */
  uint8_t done;         /* the walk has ended */
};
static_assert(sizeof(fstbuf) <= 80, "the head fits the first 80 bytes");

namespace {

constexpr uint32_t kHead = 80;

uint32_t above8(uint32_t n) { return (n / 8 + 1) * 8; }

uint8_t *area(fstbuf *b, uint32_t off) { return reinterpret_cast<uint8_t *>(b) + off; }

// Copies a text into a caller buffer, cut and terminated when it does not
// fit; 0 or -12.
int copytext(const char *text, size_t len, char *buf, int room) {
  if (room <= 0) return FST_ETOOLONG;
  if (len + 1 <= static_cast<size_t>(room)) {
    std::memcpy(buf, text, len);
    buf[len] = 0;
    return 0;
  }
  std::memcpy(buf, text, room - 1);
  buf[room - 1] = 0;
  return FST_ETOOLONG;
}

struct Dir {
  bool gen;
  int fn;
  int kind;  // 0 every result, 1 first (existence), 2 shortest
};

bool dirof(int mode, Dir *d) {
  if (mode < 2 || mode > 9) return false;
  static const Dir dirs[] = {{false, 12, 0}, {false, 27, 0}, {false, 12, 1}, {false, 27, 1},
                             {false, 12, 2}, {false, 27, 2}, {true, 12, 0},  {true, 27, 0}};
  *d = dirs[mode - 2];
  return true;
}

// Every distinct coded result, copied byte for byte.
int colallc(const uint8_t *coded, int, int olen, const fstnet *, void *r) {
  fstcol *c = static_cast<fstcol *>(r);
  uint8_t *a = static_cast<uint8_t *>(c->area);
  if (c->wpos + olen + 1 > c->room) {
    c->count = FST_ETOOLONG;
    return 0;
  }
  for (int at = 0; at < c->wpos; at += static_cast<int>(std::strlen(reinterpret_cast<char *>(a + at))) + 1)
    if (std::strcmp(reinterpret_cast<char *>(a + at), reinterpret_cast<const char *>(coded)) == 0) return 1;
  std::memcpy(a + c->wpos, coded, olen + 1);
  c->wpos += olen + 1;
  c->count++;
  return 1;
}

// The shortest coded result; a later one only when strictly shorter.
int colbestc(const uint8_t *coded, int, int olen, const fstnet *, void *r) {
  fstcol *c = static_cast<fstcol *>(r);
  if (c->best >= 0 && olen >= c->best) return 1;
  if (olen + 1 > c->room) {
    c->count = FST_ETOOLONG;
    return 0;
  }
  std::memcpy(c->area, coded, olen + 1);
  c->best = olen;
  c->count = olen;
  return 1;
}

// Whether there is a result at all.
int colany(const uint8_t *, int, int, const fstnet *, void *r) {
  static_cast<fstcol *>(r)->count = 1;
  return 0;
}

// One token per report of the tokenizer walk.
int coltoken(const uint8_t *coded, int ip, int olen, const fstnet *t, void *r) {
  fstcol *c = static_cast<fstcol *>(r);
  // The last boundary symbol that is not part of an escape sequence.
  int last = -1;
  for (int i = 0; coded[i];) {
    int start = i, escs = 0;
    if (!t->escafter) {
      while (coded[i] && coded[i] == t->esc) escs++, i++;
      if (!coded[i]) break;
      if (!escs && coded[i] == t->tb) last = i;
      i++;
    } else {
      uint8_t s = coded[i++];
      while (coded[i] && coded[i] == t->esc) escs++, i++;
      if (!escs && s == t->tb) last = start;
    }
  }
  int len = 0;
  if (c->kind == 2) {
    uint16_t *a = static_cast<uint16_t *>(c->area) + c->wpos;
    int room = c->room - c->wpos;
    if (last >= 0) {
      len = fstdecodew(coded, a, room, 1, t);
    } else if (room >= 1) {
      a[0] = 0;
    } else {
      len = FST_ETOOLONG;
    }
  } else {
    char *a = static_cast<char *>(c->area) + c->wpos;
    int room = c->room - c->wpos;
    if (last >= 0 && c->kind == 0) {
      len = fstdecode(coded, a, room, 1, t);
    } else if (last >= 0) {
      len = last;
      if (len + 1 > room) len = FST_ETOOLONG;
      else std::memcpy(a, coded, len), a[len] = 0;
    } else if (room >= 1) {
      a[0] = 0;
    } else {
      len = FST_ETOOLONG;
    }
  }
  if (len < 0) {
    c->count = len;
    return 0;
  }
  if (c->count >= c->poscap) {
    c->count = FST_ETOOLONG;
    return 0;
  }
  int after = last >= 0 ? olen - last - 1 : 0;
  c->pos[c->count] = c->kind == 2 ? ip : ip - after;
  c->count++;
  c->wpos += len + 1;
  return c->all ? 1 : 0;
}

// The tokenizer behind the three entry points: kind 0 text, 1 coded bytes,
// 2 16-bit text; room counts the result area's units.
int tokenize(const uint8_t *coded, void *tokens, int room, uint8_t *out, int outroom, int32_t *pos,
             int poscap, int all, int kind, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  int sub = fstfunc(28, t);
  if (sub == 255 || (all != 0 && all != 1)) return FST_EFUNC;
  if (room < 1) return FST_ETOOLONG;
  fstcol c{};
  c.area = tokens;
  c.room = room;
  c.pos = pos;
  c.poscap = poscap;
  c.all = all;
  c.kind = kind;
  fstcp stack[FST_STACK];
  int r = fstwalkup(coded, out, outroom, sub, 1, stack, FST_STACK, t, coltoken, &c);
  if (r < 0) return r;
  if (c.count < 0) return c.count;
  if (c.count == 0) return FST_ETOKEN;
  bool empty = kind == 2 ? static_cast<uint16_t *>(tokens)[0] == 0 : static_cast<char *>(tokens)[0] == 0;
  if (c.count == 1 && empty) return 0;
  return c.count;
}

// The enumeration's collector: decodes each result after those delivered;
// a result that does not fit suspends the walk.
struct Enumrec {
  char *buf;
  int room;
  int delivered;
  int count;
  int err;
};

int colenum(const uint8_t *coded, int, int, const fstnet *t, void *r) {
  Enumrec *e = static_cast<Enumrec *>(r);
  int n = fstdecode(coded, e->buf + e->delivered, e->room - e->delivered, 0, t);
  if (n == FST_ETOOLONG) return -1;
  if (n < 0) {
    e->err = n;
    return 0;
  }
  e->delivered += n + 1;
  e->count++;
  return 1;
}

}  // namespace

int fstlookupc(const uint8_t *coded, uint8_t *buf, int size, int mode, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  Dir d;
  if (!dirof(mode, &d)) return FST_EFUNC;
  int sub = fstfunc(d.fn, t);
  if (sub == 255) return FST_EFUNC;
  int h = size / 2;
  fstcol c{};
  c.best = -1;
  c.area = buf;
  c.room = h - 2;
  fstcollect fn = d.kind == 0 ? colallc : d.kind == 2 ? colbestc : colany;
  uint8_t *out = buf + h;
  int room = size - h;
  if (d.kind == 1) {
    out = buf;  // an existence test needs no result area
    room = size;
  } else if (c.room < 1) {
    return FST_ETOOLONG;
  }
  fstcp stack[FST_STACK];
  int r = d.gen ? fstwalkdown(coded, out, room, sub, stack, FST_STACK, t, fn, &c)
                : fstwalkup(coded, out, room, sub, 0, stack, FST_STACK, t, fn, &c);
  return r < 0 ? r : c.count;
}

namespace {

// Appends the end-of-file symbol to a coded text of type 2: its escape
// bytes, then its symbol byte. The coded length or a code.
int endfile(int n, uint8_t *buf, int room, int type, const fstnet *t) {
  if (n < 0 || type != 2 || t->eof == FST_NONE) return n;
  if (n + t->eofesc + 1 >= room) return FST_ETOOLONG;
  for (int i = 0; i < t->eofesc; i++) buf[n++] = t->esc;
  buf[n++] = t->eof;
  buf[n] = 0;
  return n;
}

}  // namespace

int fstencodetext(const char *text, uint8_t *buf, int room, int type, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  return endfile(fstencode(text, buf, room, type == 1, type == 0, t), buf, room, type, t);
}

int fstencodetextw(const uint16_t *text, uint8_t *buf, int room, int type, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  return endfile(fstencodew(text, buf, room, type == 1, type == 0, t), buf, room, type, t);
}

int fstdecodetext(const uint8_t *coded, char *buf, int room, int type, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  return fstdecode(coded, buf, room, type == 0, t);
}

int fstdecodetextw(const uint8_t *coded, uint16_t *buf, int room, int type, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  return fstdecodew(coded, buf, room, type == 0, t);
}

int fsttokenize(const uint8_t *coded, char *buf, int size, int32_t *pos, int poscap, int all,
                const fstnet *t) {
  int h = size / 2;
  return tokenize(coded, buf, h - 2, reinterpret_cast<uint8_t *>(buf) + h, size - h, pos, poscap,
                  all, 0, t);
}

int fsttokenizec(const uint8_t *coded, uint8_t *buf, int size, int32_t *pos, int poscap, int all,
                 const fstnet *t) {
  int h = size / 2;
  return tokenize(coded, buf, h - 2, buf + h, size - h, pos, poscap, all, 1, t);
}

int fsttokenizew(const uint8_t *coded, uint16_t *buf, int size, int32_t *pos, int poscap, int all,
                 const fstnet *t) {
  int h = size / 2;
  return tokenize(coded, buf, h - 2, reinterpret_cast<uint8_t *>(buf + h), (size - h) * 2, pos,
                  poscap, all, 2, t);
}

fstbuf *fstbufnew(int insize, int outsize, int stackentries, intptr_t value) {
  constexpr int kMax = 1 << 24;
  if (insize < 0 || outsize < 0 || stackentries < 0 || insize > kMax || outsize > kMax ||
      stackentries > kMax / static_cast<int>(sizeof(fstcp)))
    return reinterpret_cast<fstbuf *>(fsterrh(FST_ENOMEM));
  uint32_t in = above8(insize), out = above8(outsize),
           st = above8(static_cast<uint32_t>(sizeof(fstcp)) * stackentries);
  void *block = std::calloc(1, kHead + in + out + st);
  if (!block) return reinterpret_cast<fstbuf *>(fsterrh(FST_ENOMEM));
  fstbuf *b = new (block) fstbuf{};
  b->inoff = kHead;
  b->insize = in;
  b->outoff = kHead + in;
  b->outsize = out;
  b->stackoff = kHead + in + out;
  b->stackn = stackentries;
  b->value = value;
  b->open = '[';
  b->close = ']';
  return b;
}

void fstbuffree(fstbuf *b) {
  if (!fststatus(b)) std::free(b);
}

int fstbufbrackets(fstbuf *b, int open, int close) {
  if (int e = fststatus(b)) return e;
  b->open = static_cast<uint16_t>(open);
  b->close = static_cast<uint16_t>(close);
  return b->close;
}

int fstbuflen(const fstbuf *b) { return fststatus(b) ? 0 : b->delivered; }

int fstbufpending(const fstbuf *b) { return fststatus(b) ? 0 : b->pending; }

int fstenum(const char *text, char *buf, int room, fstbuf *b, int freeprefix, int min, int max,
            int cont, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  if (int e = fststatus(b)) return e;
  int sub = fstfunc(1, t);
  if (sub == 255) return FST_EFUNC;
  uint8_t *in = area(b, b->inoff), *out = area(b, b->outoff);
  if (!cont) {
    int n = fstencode(text, in, static_cast<int>(b->insize), 0, 0, t);
    if (n == FST_ETOOLONG) return FST_ECODEDIN;
    if (n < 0) return n;
    b->ws = fstwalkstate{};
    b->pending = 0;
    b->done = 0;
    b->started = 1;
  } else if (!b->started) {
    return FST_EFUNC;
  }
  Enumrec e{buf, room, 0, 0, 0};
  b->results = 0;
  b->delivered = 0;
  if (b->pending) {
    int n = fstdecode(out, buf, room, 0, t);
    if (n == FST_ETOOLONG) return FST_ECLIENT;
    if (n < 0) return n;
    e.delivered = n + 1;
    e.count = 1;
    b->pending = 0;
  }
  if (!b->done) {
    int r = fstwalkenum(in, out, static_cast<int>(b->outsize), sub,
                        reinterpret_cast<fstcp *>(area(b, b->stackoff)), static_cast<int>(b->stackn),
                        freeprefix, min, max, &b->ws, t, colenum, &e);
    if (r == 1) {
      b->pending = 1;
      b->results = e.count;
      b->delivered = e.delivered;
      return e.count ? FST_EMORE : FST_ECLIENT;
    }
    b->done = 1;
    if (r == FST_ETOOLONG) return FST_ECODEDOUT;
    if (r < 0) return r;
    if (e.err) return e.err;
  }
  b->results = e.count;
  b->delivered = e.delivered;
  return e.count;
}

int fstcodedpos(const int32_t *pos, int n, int32_t *out, const uint8_t *coded, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  int len = static_cast<int>(std::strlen(reinterpret_cast<const char *>(coded)));
  for (int i = 0; i < n; i++) {
    int end = pos[i] < 0 ? 0 : pos[i] > len ? len : pos[i];
    int count = 0;
    for (int k = 0; k < end; k++)
      if (coded[k] != t->esc) count++;
    out[i] = count;
  }
  return n;
}

int fstinfo(char *buf, int room, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  if (room <= 0) return FST_ETOOLONG;
  const uint8_t *lenp = fsttab(t, t->hdr[6], 1);
  const uint8_t *text = lenp ? fsttab(t, t->hdr[6] + 1u, *lenp) : nullptr;
  if (!text) return FST_EBAD;
  int len = *lenp, n = 0;
  for (int i = 0; i < len && n < room - 1; i++) {
    if (text[i] == '\r' && i + 1 < len && text[i + 1] == '\n') {
      i++;
      if (i + 1 < len) buf[n++] = ' ';  // a pair at the very end is dropped
    } else {
      buf[n++] = text[i] == '\r' ? ' ' : static_cast<char>(text[i]);
    }
  }
  buf[n] = 0;
  return n >= room - 1 ? FST_ETOOLONG : 0;
}

int fstversion(char *buf, int room, const fstnet *t) {
  if (int e = fststatus(t)) return e;
  const uint8_t *lenp = fsttab(t, t->hdr[6], 1);
  if (!lenp || !fsttab(t, t->hdr[6] + 1u, *lenp)) return FST_EBAD;
  uint32_t start = t->hdr[6] + 1u + *lenp, end = t->tabend;
  auto at = [&](uint32_t o) -> int { return o < end ? *fsttab(t, o, 1) : -1; };
  auto plain = [](int b) { return b >= 32 && b < 128; };
  // The first line, and the version after two line ends when they follow it.
  uint32_t i = 0;
  while (i < 1000 && plain(at(start + i))) i++;
  uint32_t s = start;
  if (at(start + i) == '\r' && at(start + i + 1) == '\n' && at(start + i + 2) == '\r' &&
      at(start + i + 3) == '\n')
    s = start + i + 4;
  char v[66];
  int k = 0, dots = 0;
  bool ok = true;
  while (k < 65 && plain(at(s + k))) {
    int c = at(s + k);
    if (c == '.') dots++;
    else if (c < '0' || c > '9') ok = false;
    v[k++] = static_cast<char>(c);
  }
  if (k == 65 || k == 0 || !dots) ok = false;
  if (!ok) return copytext("1.0", 3, buf, room);
  return copytext(v, k, buf, room);
}

int fstcaps(const fstnet *t) {
  if (int e = fststatus(t)) return e;
  auto has = [t](int f) { return fstfunc(f, t) != 255; };
  int m = 0;
  if (has(12)) m += 9;
  if (has(27)) m += 66;
  if (has(28)) m += 4;
  if (has(60) && has(61)) m += 16;
  if (has(62) && has(63)) m += 32;
  if (has(1)) m += 128;
  return m;
}

uint32_t fstprop8(const fstnet *t) {
  if (fststatus(t)) return 0;
  const uint8_t *h = t->hdr + 8;
  return static_cast<uint32_t>(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3];
}

int fstprop7(const fstnet *t) { return fststatus(t) ? fststatus(t) : t->hdr[7]; }

int fstprop50(const fstnet *t) { return fststatus(t) ? fststatus(t) : t->hdr[50]; }

int fsterrtext(int code, char *buf, int room) {
  static const char *const texts[] = {
      "No error occurred.",
      "The file cannot be opened, either because it cannot be found or because it is protected or locked.",
      "The file is of the wrong type, or is damaged.",
      "Insufficient memory is available to complete the function.",
      "The library requires functionality not present in this operating system or in this version of the operating system.",
      nullptr, nullptr, nullptr, nullptr, nullptr,
      "A character in the input word is not part of the alphabet for this lexical transducer.",
      "The specified function is invalid or is not supported by this lexical transducer.",
      "The output of the function is too long to fit in the provided buffer.",
      "The backtracking stack overflowed, because there are too many pending ambiguities in the input during lookup.",
      "The input word contains an incomplete tag specifier.",
      "The input contains an unrecognizable token.",
      "The input to the tokenizer is incomplete, and needs to be extended before tokenization can succeed from this point.",
      "The class guesser has failed to recognize a token in the input.  This most often results from illegal characters in the input.",
      "An unrecognized class is returned by the class lexicon or class guesser.  This error message points to a defect in the class lexicon or class guesser.",
      "The input sentence contains too many tokens to fit in the given tagger buffer.",
      "The token buffer in the given tagger buffer is not large enough to contain the tokens in the input sentence.",
      "The client output buffer is too small to contain the output.",
      "The lookup buffer's coded input buffer is too small to contain the encoded representation of the input string.",
      "The lookup buffer's coded output buffer is too small to contain one of the results.",
      "The client output buffer is full of results, and there are additional results awaiting the continuation of the operation.",
      "The given CLG and HMM objects do not match in language and version number.",
  };
  const char *text = code <= 0 && code >= -25 ? texts[-code] : nullptr;
  if (!text) text = "Unknown error code.";
  return copytext(text, std::strlen(text), buf, room);
}

int fstlibversion(char *buf, int room) { return copytext("1.0.5", 5, buf, room); }

int fstnp(const char *words, const char *tags, char *out, int room, int minlen, void *unused1,
          void *unused2) {
  return npextract(words, tags, out, room, minlen, unused1, unused2);
}
