// The zone marks of the Word for DOS converter. Pages, tables and the style
// sheet come from outside: entry counts are clamped to their 128-byte
// pages, a property that would leave its page counts as none, a chain of
// styles is followed at most 128 steps, and the style sheet is looked up
// only in the document's own folder by its name without folders.
#include "converters/formats/wdzone.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {

constexpr int kpage = 128;
constexpr int knoseek = 17;  // the input cannot be positioned
constexpr int kmaxentries = (kpage - 1 - 4) / 6;

int le16(const unsigned char *p) { return p[0] | p[1] << 8; }
int32_t le32(const unsigned char *p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void seekto(cxstate *st, int in, int32_t off, int status) {
  if (cxseek(st, in, off, 0) != off) cxthrow(st, status);
}

void readall(cxstate *st, int in, void *buf, int n) {
  auto *b = static_cast<unsigned char *>(buf);
  for (int got = 0; got < n;) {
    int r = cxread(st, in, b + got, n - got);
    if (r <= 0) cxthrow(st, CX_READERR);
    got += r;
  }
}

// One run of a property page: its file offsets and its property (null when
// it has none or the property would leave the page).
struct run {
  int32_t start, end;
  const unsigned char *prop;
};

// The runs of a page; a document page's property offset 0 means none.
int runsof(const unsigned char *pg, bool document, run *out) {
  int n = pg[kpage - 1];
  if (n > kmaxentries) n = kmaxentries;
  int32_t start = le32(pg);
  for (int i = 0; i < n; ++i) {
    const unsigned char *e = pg + 4 + 6 * i;
    int off = le16(e + 4);
    int at = 4 + off;
    const unsigned char *prop = nullptr;
    if (!(document && off == 0) && at < kpage && at + 1 + pg[at] <= kpage) prop = pg + at;
    out[i] = {start, le32(e), prop};
    start = out[i].end;
  }
  return n;
}

bool hidden(const unsigned char *p) { return p[0] > 3 && (p[4] & 0x80); }

// The style code of a styled property, -1 for one that is not styled.
int stylecode(const unsigned char *p) { return p[0] >= 1 && (p[1] & 1) ? p[1] >> 1 : -1; }

const unsigned char *styleprop(const wdzone *z, const int16_t *map, int code) {
  return code >= 0 && map[code] >= 0 ? z->styles + map[code] : nullptr;
}

void append(cxstate *st, wdzone *z, int list, int32_t start, int32_t end) {
  wdrlist &l = z->lists[list];
  if (l.idx == 16) {
    auto *b = static_cast<wdrblk *>(cxalloc(st, sizeof(wdrblk)));
    if (!b) cxthrow(st, CX_NOMEM);
    std::memset(b, 0, sizeof *b);
    l.at->next = b;
    l.at = b;
    l.idx = 0;
  }
  l.at->pairs[l.idx][0] = start;
  l.at->pairs[l.idx][1] = end;
  l.idx++;
}

// The next pair of a list, null when it is used up.
const int32_t *nextpair(const wdzone *z, int list) {
  const wdrlist &l = z->lists[list];
  if (!l.at || l.idx >= 16) return nullptr;
  const int32_t *p = l.at->pairs[l.idx];
  return p[1] != 0 ? p : nullptr;
}

void advance(wdzone *z, int list) {
  wdrlist &l = z->lists[list];
  if (++l.idx == 16 && l.at->next) {
    l.at = l.at->next;
    l.idx = 0;
  }
}

// The list whose next pair starts first; on equal starts the one that ends
// later, on equal pairs the higher list.
void choose(wdzone *z) {
  z->curlist = 0;
  const int32_t *best = nullptr;
  for (int i = 1; i <= WD_NLISTS; ++i) {
    const int32_t *p = nextpair(z, i);
    if (!p) continue;
    if (!best || p[0] < best[0] || (p[0] == best[0] && p[1] >= best[1])) {
      best = p;
      z->curlist = i;
    }
  }
}

// Hidden text: ".Begin " ... ".End " blocks (table blocks apart) and the
// rest; lists: other, table block, other block.
void classify(cxstate *st, wdzone *z, int in, const run &r, int other, int table, int block) {
  // Damaged pages can give any offsets: the length in 64 bits.
  int64_t len = static_cast<int64_t>(r.end) - r.start;
  int list = other;
  if (len >= 5) {
    unsigned char t[12];
    seekto(st, in, r.start, CX_READERR);
    readall(st, in, t, sizeof t);
    if (std::memcmp(t, ".End ", 5) == 0) {
      if (z->openlist) {
        wdrlist &l = z->lists[z->openlist];
        l.at->pairs[l.idx - 1][1] = r.end;
        z->openlist = 0;
        return;
      }
    } else if (len >= 7 && std::memcmp(t, ".Begin ", 7) == 0) {
      if (z->openlist) cxthrow(st, CX_NOTFMT);
      list = len >= 12 && std::memcmp(t + 7, "Table", 5) == 0 ? table : block;
      z->openlist = list;
    }
  }
  append(st, z, list, r.start, r.end);
}

// Whether a property or a style it names (followed through the map) holds
// hidden text.
bool hiddenchain(const wdzone *z, const unsigned char *p) {
  for (int k = 0; p && k < 128; ++k) {
    if (hidden(p)) return true;
    p = styleprop(z, z->chpmap, stylecode(p));
  }
  return false;
}

// Reads the pages [from, to) of 128 bytes one at a time.
template <class F>
void pages(cxstate *st, int in, int64_t from, int64_t to, F &&each) {
  unsigned char pg[kpage];
  for (int64_t at = from; at < to; at += kpage) {
    seekto(st, in, static_cast<int32_t>(at), CX_READERR);
    readall(st, in, pg, kpage);
    each(pg);
  }
}

int32_t roundup(int32_t v) { return static_cast<int32_t>((static_cast<int64_t>(v) + kpage - 1) / kpage * kpage); }

// The style sheet: its style records' properties into the style data and
// the two maps.
void stylesheet(cxstate *st, wdzone *z, const unsigned char *img, int32_t size) {
  if (size < 22) cxthrow(st, CX_NOTFMT);
  int32_t textend = le32(img + 14);
  int64_t papat = static_cast<int64_t>(le16(img + 18)) * kpage, endat = static_cast<int64_t>(le16(img + 20)) * kpage;
  if (endat > size) cxthrow(st, CX_NOTFMT);
  int64_t chpat = roundup(textend < 0 ? 0 : textend);
  for (int pass = 0; pass < 2; ++pass) {
    int32_t total = 0;
    for (int kind = 0; kind < 2; ++kind) {
      int64_t from = kind ? papat : chpat, to = kind ? endat : papat;
      for (int64_t at = from; at + kpage <= to; at += kpage) {
        run rs[kmaxentries];
        int n = runsof(img + at, false, rs);
        for (int i = 0; i < n; ++i) {
          const run &r = rs[i];
          int32_t len = r.end - r.start;
          if (len == 1) continue;
          if (len < 0 || len % 32 != 0 || r.start < 0 || r.end > size) cxthrow(st, CX_NOTFMT);
          bool first = true;
          for (int32_t rec = r.start; rec < r.end; rec += 32) {
            int code = img[rec];
            if (!(code < 0x69 && (kind == 0 || code > 0x1D)) || !r.prop) continue;
            if (first) {
              if (pass == 1) {
                std::memcpy(z->styles + total, r.prop, static_cast<size_t>(r.prop[0]) + 1);
              }
              first = false;
              total += r.prop[0] + 1;
              if (total > 32767) cxthrow(st, CX_WARN);
            }
            if (pass == 1) (kind ? z->papmap : z->chpmap)[code] = static_cast<int16_t>(total - r.prop[0] - 1);
          }
        }
      }
    }
    if (pass == 0) {
      z->styles = static_cast<uint8_t *>(cxalloc(st, static_cast<size_t>(total > 0 ? total : 1)));
      if (!z->styles) cxthrow(st, CX_NOMEM);
      z->stylelen = total;
    } else if (total != z->stylelen) {
      cxthrow(st, CX_WARN);
    }
  }
}

// Opens the style sheet named name in the folder of the document: the
// name's last component as stored, in lower case, in upper case. A name
// that is only a folder, "." or ".." names nothing.
int openstyles(cxstate *st, const char *inpath, const char *name) {
  std::string base = name;
  size_t cut = base.find_last_of("\\:/");
  if (cut != std::string::npos) base = base.substr(cut + 1);
  if (base.empty() || base == "." || base == "..") return -1;
  std::string dir = inpath;
  size_t dcut = dir.find_last_of("\\:/");
  dir = dcut == std::string::npos ? "" : dir.substr(0, dcut + 1);
  for (int k = 0; k < 3; ++k) {
    std::string b = base;
    for (char &c : b)
      c = static_cast<char>(k == 1 ? std::tolower(static_cast<unsigned char>(c)) : k == 2 ? std::toupper(static_cast<unsigned char>(c)) : c);
    int h = cxopen2(st, (dir + b).c_str(), 1);
    if (h >= 0) return h;
  }
  return -1;
}

}  // namespace

void wdzsetup(cxstate *st, wdzone *z, int in, const char *inpath) {
  static const int codes[WD_NLISTS + 1] = {0, 1, 2, 3, 4, 0, 6, 7, 0, 9, 10, 6, 7, 9, 9};
  std::memcpy(z->codes, codes, sizeof codes);
  for (int i = 0; i < 128; ++i) z->chpmap[i] = z->papmap[i] = -1;
  if (cxzoneopen(st) != 0 || st->sb->zonehandle < 0) cxthrow(st, CX_NOOUTPUT);
  cxzonemark(st, 0, 1);
  char name[67] = {};
  seekto(st, in, 30, knoseek);
  readall(st, in, name, 66);
  if (name[0]) {
    int h = openstyles(st, inpath, name);
    if (h >= 0) {
      int32_t size = cxseek(st, h, 0, 2);
      if (size < 0 || size > 65535 || cxseek(st, h, 0, 0) != 0) {
        cxclose(st, h);
        cxthrow(st, size > 65535 ? CX_WARN : CX_READERR);
      }
      auto *img = static_cast<unsigned char *>(cxalloc(st, static_cast<size_t>(size > 0 ? size : 1)));
      if (!img) {
        cxclose(st, h);
        cxthrow(st, CX_NOMEM);
      }
      int32_t got = 0;
      while (got < size) {
        int r = cxread(st, h, img + got, size - got);
        if (r <= 0) break;
        got += r;
      }
      cxclose(st, h);
      if (got < size) cxthrow(st, CX_READERR);
      stylesheet(st, z, img, size);
      cxfree(st, img);
    }
  }
  seekto(st, in, 0, knoseek);
}

void wdzscan(cxstate *st, wdzone *z, int in, const unsigned char *h) {
  for (int i = 1; i <= WD_NLISTS; ++i) {
    auto *b = static_cast<wdrblk *>(cxalloc(st, sizeof(wdrblk)));
    if (!b) cxthrow(st, CX_NOMEM);
    std::memset(b, 0, sizeof *b);
    z->lists[i] = {b, b, 0};
  }
  int32_t textend = le32(h + 14);
  int64_t papat = static_cast<int64_t>(le16(h + 18)) * kpage, fndat = static_cast<int64_t>(le16(h + 20)) * kpage,
          fndend = static_cast<int64_t>(le16(h + 22)) * kpage;
  run rs[kmaxentries];
  pages(st, in, roundup(textend < 0 ? 0 : textend), papat, [&](const unsigned char *pg) {
    int n = runsof(pg, true, rs);
    for (int i = 0; i < n; ++i)
      if (rs[i].prop && hiddenchain(z, rs[i].prop)) classify(st, z, in, rs[i], 9, 6, 7);
  });
  z->openlist = 0;
  pages(st, in, papat, fndat, [&](const unsigned char *pg) {
    int n = runsof(pg, true, rs);
    for (int i = 0; i < n; ++i) {
      if (!rs[i].prop) continue;
      bool in10 = false, in2 = false, in1 = false, in4 = false;
      const unsigned char *p = rs[i].prop;
      for (int k = 0; p && k < 128; ++k) {
        int len = p[0];
        in10 |= len > 2 && (p[3] & 0x80);
        if (len > 16 && (p[17] & 1))
          in2 = true;
        else if (len > 16 && (p[17] & 0x0F))
          in1 = true;
        in4 |= len > 19 && (p[20] & 0x1F);
        p = styleprop(z, z->papmap, stylecode(p));
      }
      if (in10) append(st, z, 10, rs[i].start, rs[i].end);
      if (in2) append(st, z, 2, rs[i].start, rs[i].end);
      if (in1) append(st, z, 1, rs[i].start, rs[i].end);
      if (in4) append(st, z, 4, rs[i].start, rs[i].end);
      const unsigned char *cs = styleprop(z, z->chpmap, stylecode(rs[i].prop));
      if (cs && hidden(cs)) classify(st, z, in, rs[i], 13, 11, 12);
    }
  });
  if (fndend > fndat) {
    int64_t size = fndend - fndat;
    auto *t = static_cast<unsigned char *>(cxalloc(st, static_cast<size_t>(size)));
    if (!t) cxthrow(st, CX_NOMEM);
    int64_t at = 0;
    pages(st, in, fndat, fndend, [&](const unsigned char *pg) {
      std::memcpy(t + at, pg, kpage);
      at += kpage;
    });
    int n = le16(t);
    // The entries end in the table's last page.
    if (n > 0 && (4 + 8 * static_cast<int64_t>(n) > size || 4 + 8 * static_cast<int64_t>(n) <= size - kpage))
      cxthrow(st, CX_NOTFMT);
    for (int i = 0; i + 1 < n; ++i) {
      const unsigned char *e = t + 4 + 8 * i;
      int32_t ref = le32(e), from = le32(e + 4), to = le32(e + 12);
      // An empty or inverted text gets no zone.
      if (to <= from) continue;
      unsigned char c;
      seekto(st, in, ref + kpage, CX_READERR);
      readall(st, in, &c, 1);
      append(st, z, c == 4 ? 14 : 3, from + kpage, to + kpage);
    }
    cxfree(st, t);
  }
  for (int i = 1; i <= WD_NLISTS; ++i) {
    z->lists[i].at = z->lists[i].head;
    z->lists[i].idx = 0;
  }
  choose(z);
  seekto(st, in, kpage, knoseek);
}

void wdzbefore(cxstate *st, wdzone *z, int32_t p) {
  while (z->depth > 0 && z->stackend[z->depth - 1] <= p) {
    cxzonemark(st, z->stackcode[z->depth - 1], 0);
    z->depth--;
  }
  while (z->curlist) {
    const int32_t *pr = nextpair(z, z->curlist);
    if (pr[0] > p) break;
    // Zones nested deeper than the stack holds are not marked.
    if (z->depth < WD_DEPTH) {
      int code = z->codes[z->curlist];
      cxzonemark(st, code, 1);
      z->stackcode[z->depth] = code;
      z->stackend[z->depth] = pr[1];
      z->depth++;
    }
    advance(z, z->curlist);
    choose(z);
  }
}

void wdzend(cxstate *st, wdzone *z) {
  while (z->depth > 0) cxzonemark(st, z->stackcode[--z->depth], 0);
  for (int i = 1; i <= WD_NLISTS; ++i) {
    for (wdrblk *b = z->lists[i].head; b;) {
      wdrblk *next = b->next;
      cxfree(st, b);
      b = next;
    }
    z->lists[i] = {};
  }
  if (z->styles) cxfree(st, z->styles);
  z->styles = nullptr;
  cxzonemark(st, 0, 0);
  cxzoneclose(st);
}
