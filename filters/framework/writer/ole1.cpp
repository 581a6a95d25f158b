// OLE 1.0 object streams: parsed into object trees, written back in binary
// or as record 5519 of hex digits, read back from that record, made new,
// and their native and presentation data sent, received and measured.
//
// The stream comes from a document: a parse fails on the end of its input,
// grows its buffers only as bytes arrive (so no block is larger than the
// input gave), and nests objects at most a few levels deep.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstdint>
#include <cstring>

namespace {

// The current callbacks and the nesting of the record form, for the process.
cvgetcb_t curget = nullptr;
ole1put_t curput = nullptr;
int nesting = 0;

constexpr int MAXDEPTH = 8;  // an object nests a presentation, never deeper than this
constexpr int PAGE = 4096;

// A parse: bytes raw or as two hex digits each; bad once the input ended.
struct parser {
  cvrun* run;
  bool hex;
  bool bad = false;

  int byte() {
    if (bad) return 0;
    int c = hex ? ole1hexbyte(run) : ole1getc(run);
    if (c < 0) {
      bad = true;
      return 0;
    }
    return c;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(byte()) << (8 * i);
    return v;
  }
  uint16_t u16() {
    int lo = byte();
    return static_cast<uint16_t>(lo | byte() << 8);
  }
};

void putbytes(cvrun* run, const char* p, int32_t n, bool hex) {
  for (int32_t i = 0; i < n; i++) hex ? ole1puthex(run, static_cast<unsigned char>(p[i])) : ole1putc(run, static_cast<unsigned char>(p[i]));
}

void put32(cvrun* run, int32_t v, bool hex) { hex ? ole1puthex32(run, v) : ole1put32(run, v); }

// A name: its length, then that many bytes into a buffer that grows as
// they come. False when the input ended or memory ran out.
bool readname(parser& p, int32_t& len, char*& name) {
  uint32_t n = p.u32();
  len = static_cast<int32_t>(n);
  name = nullptr;
  if (p.bad) return false;
  if (n == 0) return true;
  uint32_t cap = n < 256 ? n : 256;
  auto* buf = static_cast<char*>(cvalloc(p.run, cap + 1));
  if (!buf) return false;
  for (uint32_t i = 0; i < n; i++) {
    if (i == cap) {
      uint32_t more = cap > n / 2 ? n : cap * 2;
      auto* grown = static_cast<char*>(cvalloc(p.run, more + 1));
      if (!grown) {
        cvfree(p.run, buf);
        return false;
      }
      std::memcpy(grown, buf, cap);
      cvfree(p.run, buf);
      buf = grown;
      cap = more;
    }
    buf[i] = static_cast<char>(p.byte());
    if (p.bad) {
      cvfree(p.run, buf);
      return false;
    }
  }
  buf[n] = '\0';
  name = buf;
  return true;
}

// A data size and the data into a new scratch stream.
bool readdata(parser& p, ole1node* n) {
  uint32_t size = p.u32();
  n->datasize = static_cast<int32_t>(size);
  if (p.bad) return false;
  n->data = cvsscratch(p.run, PAGE);
  if (n->data < 0) return false;
  for (uint32_t i = 0; i < size; i++) {
    int c = p.byte();
    if (p.bad || cvsputc(p.run, n->data, c) < 0) return false;
  }
  return true;
}

ole1node* newnode(cvrun* run) {
  auto* n = static_cast<ole1node*>(cvalloc(run, sizeof(ole1node)));
  if (!n) return nullptr;
  std::memset(n, 0, sizeof *n);
  n->data = -1;
  return n;
}

ole1node* parse(parser& p, int depth) {
  if (depth > MAXDEPTH) return nullptr;
  ole1node* n = newnode(p.run);
  if (!n) return nullptr;
  n->version = static_cast<int32_t>(p.u32());
  n->format = static_cast<int32_t>(p.u32());
  bool ok = !p.bad && (n->version == 0x0501 || n->version == 0x0201);
  switch (ok ? n->format : -1) {
    case 0:
      break;
    case 1:
      for (int i = 0; i < 4 && ok; i++) ok = readname(p, n->namelen[i], n->name[i]);
      if (ok) {
        n->word1 = p.u16();
        n->word2 = p.u16();
        n->update = static_cast<int32_t>(p.u32());
        ok = !p.bad && (n->nested = parse(p, depth + 1)) != nullptr;
      }
      if (ok && n->name[1]) cvdepfile(p.run, n->name[1], CW_ENCBYTE, 1);
      break;
    case 2:
      for (int i = 0; i < 3 && ok; i++) ok = readname(p, n->namelen[i], n->name[i]);
      ok = ok && readdata(p, n) && (n->nested = parse(p, depth + 1)) != nullptr;
      break;
    case 3:
    case 5:
      ok = readname(p, n->namelen[0], n->name[0]);
      n->width = static_cast<int32_t>(p.u32());
      if (ok && !p.bad) {
        if (n->format == 5 && n->width == 0)
          ok = readname(p, n->cliplen, n->clip);
        else
          n->height = static_cast<int32_t>(p.u32());
      }
      ok = ok && !p.bad && readdata(p, n);
      break;
    default:
      ok = false;
  }
  if (!ok || p.bad) {
    ole1free(p.run, n);
    return nullptr;
  }
  return n;
}

void write(cvrun* run, const ole1node* n, bool hex) {
  put32(run, n->version, hex);
  put32(run, n->format, hex);
  auto name = [&](int i) {
    put32(run, n->namelen[i], hex);
    if (n->name[i]) putbytes(run, n->name[i], n->namelen[i], hex);
  };
  auto data = [&] {
    put32(run, n->datasize, hex);
    if (n->data < 0) return;
    cvsseek(run, n->data, 0);
    for (int32_t i = 0; i < n->datasize; i++) {
      int c = cvsgetc(run, n->data);
      if (c < 0) c = 0;
      hex ? ole1puthex(run, c) : ole1putc(run, c);
    }
  };
  switch (n->format) {
    case 1:
      for (int i = 0; i < 4; i++) name(i);
      hex ? ole1puthex16(run, n->word1) : ole1put16(run, n->word1);
      hex ? ole1puthex16(run, n->word2) : ole1put16(run, n->word2);
      put32(run, n->update, hex);
      if (n->nested) write(run, n->nested, hex);
      break;
    case 2:
      for (int i = 0; i < 3; i++) name(i);
      data();
      if (n->nested) write(run, n->nested, hex);
      break;
    case 3:
    case 5:
      name(0);
      put32(run, n->width, hex);
      if (n->format == 5 && n->width == 0) {
        put32(run, n->cliplen, hex);
        if (n->clip) putbytes(run, n->clip, n->cliplen, hex);
      } else {
        put32(run, n->height, hex);
      }
      data();
      break;
  }
}

// The presentation of an object: itself, or the node a linked or embedded one nests.
const ole1node* presof(const ole1node* n) {
  for (int i = 0; n && (n->format == 1 || n->format == 2) && i <= MAXDEPTH; i++) n = n->nested;
  return n && (n->format == 3 || n->format == 5) ? n : nullptr;
}

void putdata(cvrun* run, const ole1node* n, ole1put_t put) {
  ole1setput(put);
  if (!n || n->data < 0) return;
  cvsseek(run, n->data, 0);
  for (int32_t i = 0; i < n->datasize; i++) {
    int c = cvsgetc(run, n->data);
    if (c < 0) break;
    ole1putc(run, c);
  }
}

// Import: the data are replaced by what the callback gives up to -1.
int getdata(cvrun* run, ole1node* n, cvgetcb_t get) {
  ole1setget(get);
  if (n->data >= 0) cvsclose(run, n->data);
  n->datasize = 0;
  n->data = cvsscratch(run, PAGE);
  if (n->data < 0) return -1;
  for (int c; (c = ole1getc(run)) != -1; n->datasize++)
    if (cvsputc(run, n->data, c) < 0) return -1;
  return 0;
}

char* copyname(cvrun* run, const char* s, int32_t* len) {
  *len = 0;
  if (!s) return nullptr;
  size_t n = std::strlen(s) + 1;
  auto* c = static_cast<char*>(cvalloc(run, n));
  if (!c) return nullptr;
  std::memcpy(c, s, n);
  *len = static_cast<int32_t>(n);
  return c;
}

}  // namespace

void ole1setget(cvgetcb_t get) { curget = get; }
void ole1setput(ole1put_t put) { curput = put; }

int ole1getc(cvrun* run) { return curget ? curget(run) : -1; }

int ole1get16(cvrun* run) {
  int lo = ole1getc(run) & 0xFF;
  return lo | (ole1getc(run) & 0xFF) << 8;
}

int32_t ole1get32(cvrun* run) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(ole1getc(run) & 0xFF) << (8 * i);
  return static_cast<int32_t>(v);
}

void ole1putc(cvrun* run, int byte) {
  if (curput) curput(run, byte & 0xFF);
}

void ole1put16(cvrun* run, int value) {
  ole1putc(run, value);
  ole1putc(run, value >> 8);
}

void ole1put32(cvrun* run, int32_t value) {
  for (int i = 0; i < 4; i++) ole1putc(run, static_cast<int>(static_cast<uint32_t>(value) >> (8 * i)));
}

void ole1puthex(cvrun* run, int byte) {
  ole1putc(run, ole1hexchar((byte >> 4) & 15));
  ole1putc(run, ole1hexchar(byte & 15));
}

void ole1puthex16(cvrun* run, int value) {
  ole1puthex(run, value & 0xFF);
  ole1puthex(run, (value >> 8) & 0xFF);
}

void ole1puthex32(cvrun* run, int32_t value) {
  for (int i = 0; i < 4; i++) ole1puthex(run, static_cast<int>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF));
}

int ole1hexchar(int value) {
  if (value >= 0 && value <= 9) return '0' + value;
  if (value >= 10 && value <= 15) return 'A' + value - 10;
  return 'X';
}

int ole1hexdigit(cvrun* run) {
  int c = ole1getc(run);
  if (c < 0) return -1;
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;  // not a hex digit: counts as 0
}

int ole1hexbyte(cvrun* run) {
  int hi = ole1hexdigit(run);
  int lo = hi < 0 ? -1 : ole1hexdigit(run);
  return lo < 0 ? -1 : hi << 4 | lo;
}

int ole1hex16(cvrun* run) {
  int lo = ole1hexbyte(run) & 0xFF;
  return lo | (ole1hexbyte(run) & 0xFF) << 8;
}

int32_t ole1hex32(cvrun* run) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(ole1hexbyte(run) & 0xFF) << (8 * i);
  return static_cast<int32_t>(v);
}

ole1node* ole1parse(cvrun* run, cvgetcb_t get) {
  ole1setget(get);
  parser p{run, false};
  return parse(p, 0);
}

void ole1free(cvrun* run, ole1node* n) {
  for (int depth = 0; n && depth <= MAXDEPTH + 1; depth++) {
    for (char*& s : n->name)
      if (s) cvfree(run, s);
    if (n->clip) cvfree(run, n->clip);
    if (n->data >= 0) cvsclose(run, n->data);
    ole1node* next = n->nested;
    cvfree(run, n);
    n = next;
  }
}

void ole1emit(cvrun* run, const ole1node* n, const ole1view* v, ole1put_t put) {
  ole1setput(put);
  if (!n) return;
  if (nesting == 0) {
    cwrecbeg(run, 5519);
    cwparint(run, 9);
    ole1view none = {0, 0, 0, 0, 0, 1000, 1000, 1440, 1440};
    const ole1view& w = v ? *v : none;
    for (int32_t x : {w.kind, w.width, w.height, w.width2, w.height2, w.scalex, w.scaley, w.unitx, w.unity})
      cwparint(run, x);
  }
  nesting++;
  write(run, n, true);
  nesting--;
  if (nesting == 0) {
    cwendfield(run);
    cwrecend(run);
  }
}

ole1node* ole1parsehex(cvrun* run, ole1view** view, cvgetcb_t get) {
  ole1setget(get);
  if (nesting == 0) {
    auto* v = static_cast<ole1view*>(cvalloc(run, sizeof(ole1view)));
    if (!v) return nullptr;
    *v = ole1view{0, 0, 0, 0, 0, 1000, 1000, 1440, 1440};
    int count = cwgetint(run);
    if (count < 5) {
      cvfree(run, v);
      return nullptr;
    }
    int32_t* words[] = {&v->kind, &v->width, &v->height, &v->width2, &v->height2,
                        &v->scalex, &v->scaley, &v->unitx, &v->unity};
    for (int i = 0; i < count; i++) {
      int x = cwgetint(run);
      if (i < 9) *words[i] = x;
    }
    if (view) *view = v;
  }
  nesting++;
  parser p{run, true};
  ole1node* n = parse(p, 0);
  nesting--;
  return n;
}

void ole1write(cvrun* run, const ole1node* n, ole1put_t put) {
  ole1setput(put);
  if (n) write(run, n, false);
}

ole1node* ole1new(cvrun* run, int format, const char* cls, const char* topic, const char* item) {
  if (format != 0 && format != 1 && format != 2 && format != 3 && format != 5) return nullptr;
  ole1node* n = newnode(run);
  if (!n) return nullptr;
  n->version = 0x0501;
  n->format = format;
  if (format != 0) n->name[0] = copyname(run, cls, &n->namelen[0]);
  if (format == 1 || format == 2) {
    n->name[1] = copyname(run, topic, &n->namelen[1]);
    n->name[2] = copyname(run, item, &n->namelen[2]);
  }
  return n;
}

int ole1kind(const ole1node* n) { return n ? n->format : 0; }

int ole1islinked(const ole1node* n) { return n ? n->format == 1 : -1; }

const char* ole1classname(const ole1node* n) { return n && n->format != 0 ? n->name[0] : nullptr; }
const char* ole1topic(const ole1node* n) { return n && (n->format == 1 || n->format == 2) ? n->name[1] : nullptr; }
const char* ole1item(const ole1node* n) { return n && (n->format == 1 || n->format == 2) ? n->name[2] : nullptr; }

const char* ole1clipname(const ole1node* n) {
  return n && n->format == 5 && n->width == 0 ? n->clip : nullptr;
}

namespace {
// The extent of a dimension stored with either sign; the most negative
// value a damaged stream can hold has no positive twin and gives the largest.
int32_t extent(int32_t v) { return v >= 0 ? v : v == INT32_MIN ? INT32_MAX : -v; }
}  // namespace

int32_t ole1width(const ole1node* n) {
  const ole1node* p = presof(n);
  return p ? extent(p->width) : 0;
}

int32_t ole1height(const ole1node* n) {
  const ole1node* p = presof(n);
  if (!p || (p->format == 5 && p->width == 0)) return 0;
  return extent(p->height);
}

int32_t ole1size(const ole1node* n) {
  if (!n) return 0;
  int32_t size = 8;
  switch (n->format) {
    case 1:
      size += 16 + n->namelen[0] + n->namelen[1] + n->namelen[2] + n->namelen[3] + 4 + 4;
      return size + ole1size(n->nested);
    case 2:
      size += 12 + n->namelen[0] + n->namelen[1] + n->namelen[2] + 4 + n->datasize;
      return size + ole1size(n->nested);
    case 3:
    case 5:
      size += 4 + n->namelen[0] + 4 + 4 + 4 + n->datasize;
      if (n->format == 5 && n->width == 0) size += n->cliplen;
      return size;
    default:
      return size;
  }
}

int32_t ole1nativesize(const ole1node* n) { return n && n->format == 2 ? n->datasize : 0; }

int32_t ole1pressize(const ole1node* n) {
  const ole1node* p = presof(n);
  return p ? p->datasize : 0;
}

void ole1nativeput(cvrun* run, const ole1node* n, ole1put_t put) {
  putdata(run, n && n->format == 2 ? n : nullptr, put);
}

void ole1presput(cvrun* run, const ole1node* n, ole1put_t put) { putdata(run, presof(n), put); }

int ole1nativeget(cvrun* run, ole1node* n, cvgetcb_t get) {
  if (!n || n->format != 2) return -1;
  return getdata(run, n, get);
}

int ole1presget(cvrun* run, ole1node* n, cvgetcb_t get) {
  ole1node* p = const_cast<ole1node*>(presof(n));
  return p ? getdata(run, p, get) : -1;
}
