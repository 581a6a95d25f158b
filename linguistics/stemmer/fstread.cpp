// Loading a lexical-transducer file: the header, the table region and the
// network region, each offset, count and length checked against its region
// before use, then the special symbols and the tag tables.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "linguistics/stemmer/fstint.h"

namespace {

// Error handles: addresses no transducer can have.
char gErrHandles[26];

uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void release(fstnet *t) {
  if (!t) return;
  for (int i = 0; i < t->nnames; i++) std::free(t->names[i]);
  std::free(t->names);
  std::free(t->byname);
  std::free(t->bycode);
  std::free(t->subs);
  std::free(t->net);
  std::free(t->tab);
  delete t;
}

// The code table of an alphabet page and its characters; false when the
// record or its table leaves the region.
bool pagetable(const fstnet *t, int page, int width, uint16_t *off, uint8_t *first, uint8_t *last,
               uint16_t *count) {
  const uint8_t *rec = fsttab(t, t->pagerecs + FST_PAGELEN * page, FST_PAGELEN);
  if (!rec) return false;
  *last = rec[1];
  *first = rec[5];
  *count = be16(rec + 6);
  *off = be16(rec + 8);
  return *count == 0 || fsttab(t, *off, static_cast<uint32_t>(*count) * width);
}

// Checks a named list record: its array (length in the word before it), its
// names and codes, and every name's string.
bool listok(const fstnet *t, uint16_t rec) {
  const uint8_t *r = fsttab(t, rec, 10);
  if (!r) return false;
  uint32_t len;
  if (!fststr(t, be16(r), &len)) return false;
  uint16_t aoff = be16(r + 2), noff = be16(r + 4), count = be16(r + 6), coff = be16(r + 8);
  uint16_t alen = 0;
  if (!fsttab16(t, aoff - 2u, &alen) || (alen && !fsttab(t, aoff, 2u * alen))) return false;
  if (count && (!fsttab(t, noff, 2u * count) || !fsttab(t, coff, 2u * count))) return false;
  for (uint32_t i = 0; i < count; i++) {
    uint16_t idx = 0;
    fsttab16(t, noff + 2 * i, &idx);
    if (!fststr(t, idx, &len)) return false;
  }
  return true;
}

// Checks a pointer table of n entries: inside the region, every entry a
// network position.
bool ptrtabok(const fstnet *t, uint16_t off, uint32_t n) {
  if (!n) return true;
  uint32_t w = t->wide ? 2 : 3;
  const uint8_t *p = fsttab(t, off, n * w);
  if (!p) return false;
  for (uint32_t i = 0; i < n; i++) {
    uint32_t v = w == 2 ? be16(p + 2 * i) : (be16(p + 3 * i) << 8 | p[3 * i + 2]);
    if (v >= t->netlen) return false;
  }
  return true;
}

// Checks and resolves what the lookups address; false for a damaged file.
bool resolve(fstnet *t) {
  const uint8_t *h = t->hdr;
  t->esc = h[23];
  t->first1 = h[24];
  t->first2 = h[25];
  t->first3 = h[26];
  t->labelbase = h[27];
  t->flags = h[34];
  t->dense = h[35];
  t->escstep = h[46];
  t->escafter = (h[51] & 0x80) != 0;
  t->wide = h[58] == 2;
  t->highpage = h[22];
  t->npages = h[82];
  t->cont = h[86];
  t->pagerecs = be16(h + 20);
  t->outtab = be16(h + 56);
  t->strtab = be16(h + 90);
  t->functab = be16(h + 62);
  t->ptr1tab = be16(h + 12);
  t->ptr2tab = be16(h + 14);
  // Bytes below the label base end lists: 0, then 1-, 2- and 3-byte pointers.
  if (!(1 <= t->first1 && t->first1 <= t->first2 && t->first2 <= t->first3 &&
        t->first3 <= t->labelbase))
    return false;
  if (!ptrtabok(t, t->ptr1tab, t->first2 - t->first1) ||
      !ptrtabok(t, t->ptr2tab, (t->first3 - t->first2) * 256u))
    return false;

  uint16_t size = 0;
  if (!fsttab16(t, t->strtab, &size) || size < 2 || !fsttab(t, t->strtab, size)) return false;
  t->strsize = size;
  uint16_t n = 0;
  if (!fsttab16(t, t->outtab - 2u, &n) || (n && !fsttab(t, t->outtab, 2u * n))) return false;
  t->outcount = n;

  if (t->npages == 0) return false;
  for (int p = 0; p < t->npages; p++) {
    uint16_t off = 0, count = 0;
    uint8_t first, last;
    int width = p == 0 && !(t->flags & 2) ? 1 : 2;
    if (!pagetable(t, p, width, &off, &first, &last, &count)) return false;
    if (p == 0) {
      t->code0 = off;
      t->first0 = first;
      t->last0 = last;
      t->count0 = count;
    }
  }
  if (t->flags & 1) {
    for (int at : {72, 74})
      if (!fsttab(t, be16(h + at), 1)) return false;
  }

  uint16_t dir = be16(h + 30), nlists;
  if (dir) {
    if (!fsttab16(t, dir - 2u, &nlists) || (nlists && !fsttab(t, dir, 2u * nlists))) return false;
    for (uint32_t i = 0; i < nlists; i++) {
      uint16_t rec = 0;
      fsttab16(t, dir + 2 * i, &rec);
      if (!listok(t, rec)) return false;
    }
  }

  const uint8_t *fn = fsttab(t, t->functab, 1);
  if (!fn || !fsttab(t, t->functab, 1u + fn[0])) return false;
  t->nsubs = h[47];
  for (int i = 1; i <= fn[0]; i++)
    if (fn[i] != 255 && fn[i] >= t->nsubs) return false;
  return true;
}

// Builds the sub-network records from their descriptors; -2 or -3.
int subnets(fstnet *t) {
  uint16_t idx = be16(t->hdr + 42);
  if (t->nsubs && !fsttab(t, idx, 2u * t->nsubs)) return FST_EBAD;
  t->subs = static_cast<fstsubnet *>(std::calloc(t->nsubs ? t->nsubs : 1, sizeof(fstsubnet)));
  if (!t->subs) return FST_ENOMEM;
  for (int i = 0; i < t->nsubs; i++) {
    uint16_t off = 0;
    fsttab16(t, idx + 2 * i, &off);
    const uint8_t *d = fsttab(t, off, FST_DESCLEN);
    if (!d) return FST_EBAD;
    fstsubnet &s = t->subs[i];
    std::memcpy(s.desc, d, FST_DESCLEN);
    s.start = be32(d + 8);
    s.lowest = d[21];
    s.flaglabel = d[32];
    s.initflags = be16(d + 34);
    s.flag2 = (d[7] >> 2) & 1;
    s.flag3 = (d[7] >> 3) & 1;
    s.flag4 = (d[7] >> 4) & 1;
    if (s.start >= t->netlen) return FST_EBAD;
    // The table offsets the descriptor names are kept as addresses.
    if (!fsttab(t, be16(d + 2), 1)) return FST_EBAD;
    if ((t->flags & 1) && !fsttab(t, be16(d + 4), 1)) return FST_EBAD;
    if (be16(d + 14) && !fsttab(t, be16(d + 14), 1)) return FST_EBAD;
  }
  return 0;
}

// Byte string of a string-table entry; null when memory is short.
char *strbytes(const fstnet *t, uint16_t idx) {
  uint32_t len;
  const uint8_t *s = fststr(t, idx, &len);
  char *out = static_cast<char *>(std::malloc(len + 1));
  if (!out) return nullptr;
  for (uint32_t i = 0; i < len; i++) out[i] = static_cast<char>(s[2 * i + 1]);
  out[len] = 0;
  return out;
}

uint32_t elfhash(const char *name) {
  uint32_t h = 0;
  for (; *name; name++) {
    h = (h << 4) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*name)));
    uint32_t g = h & 0xF0000000u;
    if (g) {
      h ^= g >> 24;
      h ^= g;
    }
  }
  return h;
}

uint32_t codehome(uint16_t code) { return ((code / 256 % 64) * 4u + code) % FST_CODEKEYS; }

// Builds both tag tables from "TAGMODE"; -3 when memory is short.
int tagtables(fstnet *t) {
  t->tagmode = fstlist(t, "TAGMODE");
  if (!t->tagmode) return 0;
  t->bycode = static_cast<fsttag *>(std::calloc(FST_CODEKEYS, sizeof(fsttag)));
  t->byname = static_cast<fsttag *>(std::calloc(FST_NAMEKEYS, sizeof(fsttag)));
  const uint8_t *r = fsttab(t, t->tagmode, 10);
  uint16_t noff = be16(r + 4), count = be16(r + 6), coff = be16(r + 8);
  t->names = static_cast<char **>(std::calloc(count ? count : 1, sizeof(char *)));
  if (!t->bycode || !t->byname || !t->names) return FST_ENOMEM;
  for (uint32_t i = 0; i < count; i++) {
    uint16_t idx = 0, code = 0;
    fsttab16(t, noff + 2 * i, &idx);
    fsttab16(t, coff + 2 * i, &code);
    if (!code) continue;  // 0 marks a free slot
    char *name = strbytes(t, idx);
    if (!name) return FST_ENOMEM;
    t->names[t->nnames++] = name;
    // Each table: the home slot, then the next ones; the same key is
    // overwritten, a full circle drops the tag.
    uint32_t home = codehome(code), k = home;
    do {
      fsttag &s = t->bycode[k];
      if (!s.code || s.code == code) {
        s = {code, name};
        break;
      }
      k = (k + 1) % FST_CODEKEYS;
    } while (k != home);
    home = elfhash(name) % FST_NAMEKEYS;
    k = home;
    do {
      fsttag &s = t->byname[k];
      if (!s.code || std::strcmp(s.name, name) == 0) {
        s = {code, name};
        break;
      }
      k = (k + 1) % FST_NAMEKEYS;
    } while (k != home);
  }
  return 0;
}

// Reads exactly n bytes.
bool readall(FILE *f, uint8_t *p, size_t n) {
  while (n) {
    size_t piece = n < 512 ? n : 512;
    if (std::fread(p, 1, piece, f) != piece) return false;
    p += piece;
    n -= piece;
  }
  return true;
}

int load(FILE *f, fstnet *t) {
  if (std::fread(t->hdr, 1, FST_HDRLEN, f) != FST_HDRLEN) return FST_EBAD;
  if (t->hdr[4] != 1) return FST_EBAD;
  // The table region starts right after the header and ends at the network:
  // any other layout would make its 16-bit size wrap.
  t->tabend = be16(t->hdr + 18);
  if (t->hdr[3] != FST_HDRLEN || t->tabend < FST_HDRLEN) return FST_EBAD;
  uint32_t tablen = t->tabend - FST_HDRLEN;
  t->tab = static_cast<uint8_t *>(std::malloc(tablen ? tablen : 1));
  if (!t->tab || !readall(f, t->tab, tablen)) return FST_ENOMEM;

  t->netlen = be32(t->hdr + 68);
  if (std::fseek(f, 0, SEEK_END) != 0) return FST_ENOMEM;
  long fsize = std::ftell(f);
  if (fsize < 0 || static_cast<uint64_t>(t->tabend) + t->netlen > static_cast<uint64_t>(fsize))
    return FST_ENOMEM;  // the network region is short
  t->net = static_cast<uint8_t *>(std::malloc(t->netlen ? t->netlen : 1));
  if (!t->net) return FST_ENOMEM;
  if (std::fseek(f, t->tabend, SEEK_SET) != 0 || !readall(f, t->net, t->netlen)) return FST_ENOMEM;

  if (!resolve(t)) return FST_EBAD;
  if (int r = subnets(t)) return r;

  uint16_t c = fstspecial(t, "*TAGSEP*");
  t->tagsep = c == FST_NONE ? 0 : static_cast<uint8_t>(c >> 8);
  c = fstspecial(t, "TB");
  t->tb = static_cast<uint8_t>(c == FST_NONE ? FST_NONE : c >> 8);
  c = fstspecial(t, "EOS");
  t->eos = c == FST_NONE ? t->tb : static_cast<uint8_t>(c >> 8);
  c = fstspecial(t, "EOF");
  t->eof = static_cast<uint8_t>(c == FST_NONE ? FST_NONE : c >> 8);
  t->eofesc = c == FST_NONE ? 0 : static_cast<uint8_t>(c & 0xFF);
  return tagtables(t);
}

}  // namespace

fstnet *fsterrh(int code) {
  if (code > -1 || code < -25) code = -2;
  return reinterpret_cast<fstnet *>(gErrHandles - code);
}

static int handlecode(const void *h) {
  auto p = reinterpret_cast<uintptr_t>(h);
  auto base = reinterpret_cast<uintptr_t>(gErrHandles);
  if (p >= base && p < base + sizeof gErrHandles) return -static_cast<int>(p - base);
  return h ? 0 : FST_EBAD;
}

fstnet *fstopen(const char *path) {
  FILE *f = path ? std::fopen(path, "rb") : nullptr;
  if (!f) return fsterrh(FST_EOPEN);
  fstnet *t = new (std::nothrow) fstnet{};
  int rc = t ? load(f, t) : FST_ENOMEM;
  std::fclose(f);
  if (rc) {
    release(t);
    return fsterrh(rc);
  }
  return t;
}

int fststatus(const fstnet *t) { return handlecode(t); }
int fststatus(const fstbuf *b) { return handlecode(b); }

void fstclose(fstnet *t) {
  if (handlecode(t)) return;
  release(t);
}

const uint8_t *fsttab(const fstnet *t, uint32_t toff, uint32_t n) {
  if (toff < FST_HDRLEN || toff > t->tabend || n > t->tabend - toff) return nullptr;
  return t->tab + (toff - FST_HDRLEN);
}

bool fsttab16(const fstnet *t, uint32_t toff, uint16_t *v) {
  const uint8_t *p = fsttab(t, toff, 2);
  if (!p) return false;
  *v = be16(p);
  return true;
}

const uint8_t *fststr(const fstnet *t, uint32_t idx, uint32_t *len) {
  uint32_t at = 2 * idx;
  if (at + 2 > t->strsize) return nullptr;
  uint16_t n = 0;
  if (!fsttab16(t, t->strtab + at, &n) || at + 2 + 2u * n > t->strsize) return nullptr;
  *len = n;
  return fsttab(t, t->strtab + at + 2, 2u * n);
}

// Compares a string-table entry with a name: equal length, equal characters.
static bool strequals(const fstnet *t, uint16_t idx, const char *name) {
  uint32_t len;
  const uint8_t *s = fststr(t, idx, &len);
  if (!s || len != std::strlen(name)) return false;
  for (uint32_t i = 0; i < len; i++)
    if (be16(s + 2 * i) != static_cast<unsigned char>(name[i])) return false;
  return true;
}

uint16_t fstlist(const fstnet *t, const char *name) {
  uint16_t dir = be16(t->hdr + 30), n;
  if (!dir || !fsttab16(t, dir - 2u, &n)) return 0;
  for (uint32_t i = 0; i < n; i++) {
    uint16_t rec = 0, nm = 0;
    if (fsttab16(t, dir + 2 * i, &rec) && fsttab16(t, rec, &nm) && strequals(t, nm, name))
      return rec;
  }
  return 0;
}

uint16_t fstspecial(const fstnet *t, const char *name) {
  uint16_t rec = fstlist(t, "*DIACRITICS*");
  if (!rec) return FST_NONE;
  const uint8_t *r = fsttab(t, rec, 10);
  uint16_t noff = be16(r + 4), count = be16(r + 6), coff = be16(r + 8);
  for (uint32_t i = 0; i < count; i++) {
    uint16_t idx = 0, code = 0;
    if (fsttab16(t, noff + 2 * i, &idx) && strequals(t, idx, name) &&
        fsttab16(t, coff + 2 * i, &code))
      return code;
  }
  return FST_NONE;
}

const fstsubnet *fstsub(const fstnet *t, int n) {
  return n >= 0 && n < t->nsubs ? &t->subs[n] : nullptr;
}

int fstptr(const fstnet *t, uint32_t pos, uint32_t *target) {
  if (pos >= t->netlen) return FST_EBAD;
  uint8_t b = t->net[pos];
  uint32_t v;
  uint32_t w = t->wide ? 2 : 3;
  if (b < t->first1 || b >= t->labelbase) return FST_EBAD;
  if (b < t->first2) {
    const uint8_t *e = fsttab(t, t->ptr1tab + (b - t->first1) * w, w);
    if (!e) return FST_EBAD;
    v = w == 2 ? be16(e) : (be16(e) << 8 | e[2]);
  } else if (b < t->first3) {
    if (pos + 1 >= t->netlen) return FST_EBAD;
    uint32_t idx = (b - t->first2) * 256u + t->net[pos + 1];
    const uint8_t *e = fsttab(t, t->ptr2tab + idx * w, w);
    if (!e) return FST_EBAD;
    v = w == 2 ? be16(e) : (be16(e) << 8 | e[2]);
  } else {
    if (pos + 2 >= t->netlen) return FST_EBAD;
    v = (b - t->first3) * 65536u + be16(t->net + pos + 1);
  }
  if (v >= t->netlen) return FST_EBAD;
  *target = v;
  return 0;
}

int fstptrlen(const fstnet *t, uint32_t pos) {
  if (pos >= t->netlen) return FST_EBAD;
  uint8_t b = t->net[pos];
  if (b == 0) return 1;
  if (b < t->first1) return FST_EBAD;
  if (b < t->first2) return 1;
  if (b < t->first3) return 2;
  if (!(t->flags & 1)) return 3;
  // Extended arcs carry extra bytes after a three-byte pointer.
  if (pos + 3 >= t->netlen) return FST_EBAD;
  if (t->net[pos + 3]) return 4;
  if (pos + 4 >= t->netlen) return FST_EBAD;
  return t->net[pos + 4] == 0 ? 8 : 6;
}

int fstnext(const fstnet *t, uint32_t pos, uint32_t *next, long *budget) {
  uint32_t p = pos + 1;
  long pending = 1;
  while (pending) {
    if (--*budget < 0 || p >= t->netlen) return FST_EBAD;
    uint8_t b = t->net[p];
    if (b >= t->labelbase) {
      if (b & 2) pending++;
      p++;
    } else {
      int n = fstptrlen(t, p);
      if (n < 0) return n;
      p += n;
      pending--;
    }
  }
  // The sibling may itself be behind a pointer.
  for (;;) {
    if (--*budget < 0 || p >= t->netlen) return FST_EBAD;
    uint8_t b = t->net[p];
    if (b >= t->labelbase) break;
    if (b == 0) return 0;
    if (int r = fstptr(t, p, &p)) return r;
  }
  *next = p;
  return 1;
}

const char *fsttagname(const fstnet *t, uint16_t code) {
  if (!t->bycode || !code) return nullptr;
  uint32_t home = codehome(code), k = home;
  do {
    const fsttag &s = t->bycode[k];
    if (!s.code) return nullptr;
    if (s.code == code) return s.name;
    k = (k + 1) % FST_CODEKEYS;
  } while (k != home);
  return nullptr;
}

uint16_t fsttagcode(const fstnet *t, const char *name, size_t len) {
  if (!t->byname) return 0;
  char key[FST_TAGMAX + 1];
  if (len > FST_TAGMAX) return 0;
  std::memcpy(key, name, len);
  key[len] = 0;
  uint32_t home = elfhash(key) % FST_NAMEKEYS, k = home;
  do {
    const fsttag &s = t->byname[k];
    if (!s.code) return 0;
    if (std::strcmp(s.name, key) == 0) return s.code;
    k = (k + 1) % FST_NAMEKEYS;
  } while (k != home);
  return 0;
}
