// The first pass of the Word 1.x/2.0 and Mac Word full readers: the file
// header and the document's tables, the text of each story (from one range,
// or assembled from the pieces of a fast-saved file), the property-page
// cursors, the document-start records, bookmarks, and the character loop
// that writes the text as intermediate records. The two formats are parallel
// code; one routine serves both where they agree, and the Mac Word
// differences are tested where they apply.
//
// Documents come from outside: every table is read whole into memory, no
// count read from the file sizes an allocation before it is checked against
// the file's size, and every walk is bounded by the table it walks.
//
// Tables and fields are read by routines still to come; until then their
// characters pass as text.
#include <cstring>
#include <initializer_list>

#include "converters/runtime/cvtframe.h"
#include "converters/word/wfull.h"
#include "converters/word/wread.h"

// ---------------------------------------------------------------- memory

// Mac Word keeps its blocks in a table of 100; a block that finds no slot
// is given back and the run ends with 8. The table lives as long as the run.
void* walloc(cxstate* st, wrd* d, size_t n) {
  void* b = cxalloc(st, n);
  if (!d->mac) return b;
  if (!b) cxthrow(st, CX_NOMEM);
  for (void*& slot : d->tracked)
    if (!slot) {
      slot = b;
      return b;
    }
  cxfree(st, b);
  cxthrow(st, CX_NOMEM);
}

void wfree(cxstate* st, wrd* d, void* b) {
  if (!b) return;
  if (d->mac)
    for (void*& slot : d->tracked)
      if (slot == b) slot = nullptr;
  cxfree(st, b);
}

// ---------------------------------------------------------------- reading the input

bool wreadat(cxstate* st, wrd* d, int32_t off, void* buf, int32_t n) {
  if (off < 0 || n < 0 || off > d->fsize || n > d->fsize - off) return false;
  if (n == 0) return true;
  if (cxseek(st, d->in, off, 0) != off) return false;
  auto* p = static_cast<unsigned char*>(buf);
  for (int32_t got = 0; got < n;) {
    int r = cxread(st, d->in, p + got, n - got > 65536 ? 65536 : n - got);
    if (r <= 0) return false;
    got += r;
  }
  return true;
}

namespace {

bool readat(cxstate* st, wrd* d, int32_t off, void* buf, int32_t n) { return wreadat(st, d, off, buf, n); }


// A table of the header: a 32-bit file offset and a 16-bit byte count.
struct wtab {
  int32_t off;
  int len;
};
wtab tabat(const wrd* d, int offat, int lenat) { return {wget32(d, d->head + offat), wget16(d, d->head + lenat)}; }

int loadtab(cxstate* st, wrd* d, wtab t, unsigned char** out) { return wloadtab(st, d, t.off, t.len, out); }

}  // namespace

int wloadtab(cxstate* st, wrd* d, int32_t off, int len, unsigned char** out) {
  wtab t{off, len};
  *out = nullptr;
  if (t.len == 0) return 0;
  if (t.off < 0 || t.off > d->fsize || t.len > d->fsize - t.off) return CX_NOTFMT;
  auto* b = static_cast<unsigned char*>(walloc(st, d, static_cast<size_t>(t.len) + 1));
  if (!b) return CX_NOMEM;
  if (!readat(st, d, t.off, b, t.len)) return CX_NOTFMT;
  *out = b;
  return 0;
}

namespace {

// ---------------------------------------------------------------- position tables

// Loads the positions of a PLC: n + 1 positions followed by n entries of
// size entry bytes; only the positions are kept (with "none" after them).
int loadplc(cxstate* st, wrd* d, wtab t, int entry, wplc* p) {
  *p = {};
  p->next = WNONE;
  if (t.len <= 3) return 0;
  unsigned char* b;
  if (int s = loadtab(st, d, t, &b)) return s;
  int n = (t.len - 4) / (4 + entry) + 1;
  p->pos = static_cast<int32_t*>(walloc(st, d, sizeof(int32_t) * static_cast<size_t>(n + 1)));
  if (!p->pos) return CX_NOMEM;
  for (int i = 0; i < n; i++) p->pos[i] = wget32(d, b + 4 * i);
  p->pos[n] = WNONE;
  p->n = n;
  p->at = -1;
  wfree(st, d, b);
  return 0;
}

// The section descriptors after the section starts: 6 bytes each, the file
// offset of the section's modifiers at their byte 2.
int loadsepx(cxstate* st, wrd* d, wtab t) {
  d->sepx = nullptr;
  d->nsepx = 0;
  if (t.len <= 9) return 0;
  unsigned char* b;
  if (int s = loadtab(st, d, t, &b)) return s;
  int n = (t.len - 4) / 10;
  d->sepx = static_cast<int32_t*>(walloc(st, d, sizeof(int32_t) * static_cast<size_t>(n + 1)));
  if (!d->sepx) return CX_NOMEM;
  for (int i = 0; i < n; i++) d->sepx[i] = wget32(d, b + 4 * (n + 1) + 6 * i + 2);
  d->nsepx = n;
  wfree(st, d, b);
  return 0;
}

}  // namespace

// The next position of a PLC as a file position of the current story.
void wplcnext(wrd* d, wplc* p) {
  p->next = WNONE;
  while (p->pos && p->at + 1 < p->n) {
    int32_t cp = p->pos[++p->at];
    // A fast-saved file maps a position through its current piece; before
    // the first one is taken the position waits for it (wnextpiece).
    if (d->complex && d->story[d->cur].piece == 0 && cp >= 0) return;
    int32_t fc = wcptofc(d, cp);
    p->next = fc;
    if (d->mac || (d->complex ? cp >= 0 : fc >= d->story[d->cur].first)) return;
  }
  p->next = WNONE;
}

int32_t wcptofc(const wrd* d, int32_t cp) {
  const wstory& s = d->story[d->cur];
  int64_t fc = d->complex ? static_cast<int64_t>(cp) - s.piececp + s.cur.fc : static_cast<int64_t>(cp) + s.first;
  if (fc >= WNONE) return WNONE - 1;
  if (fc < -WNONE) return -WNONE;
  return static_cast<int32_t>(fc);
}

namespace {

// ---------------------------------------------------------------- property pages

// The page of the bin table that holds a position; -1 when none does.
int fkpfind(const wrd* d, int kind, int32_t pos, int* index) {
  const wbin& b = d->bins[kind];
  if (b.n <= 0 || pos >= b.pos[b.n]) return -1;
  int lo = 0, hi = b.n - 1;  // the last entry not above pos
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if (b.pos[mid] <= pos)
      lo = mid;
    else
      hi = mid - 1;
  }
  int i = lo;
  *index = i;
  return b.page[i];
}

// Loads a page into the cursor; false when it cannot be read.
bool fkpload(cxstate* st, wrd* d, wfkp* f, int page) {
  if (!readat(st, d, page * d->pagesize, f->page, d->pagesize)) return false;
  f->loaded = page;
  // The run count is the page's last byte, clamped to the positions that
  // fit before it.
  int r = f->page[d->pagesize - 1];
  int most = (d->pagesize - 1 - 4) / 5;
  f->runs = r < most ? r : most;
  return true;
}

int32_t fkppos(const wrd* d, const wfkp* f, int i) { return wget32(d, f->page + 4 * i); }

// Makes the run that holds a position current; its first position.
int32_t fkpseek(const wrd* d, wfkp* f, int32_t pos) {
  int i = 0;
  while (i + 1 < f->runs && fkppos(d, f, i + 1) <= pos) i++;
  f->run = i;
  f->next = f->runs > 0 ? fkppos(d, f, i) : WNONE;
  return f->next;
}

// Positions a cursor at a file position: find, load and seek.
void fkpat(cxstate* st, wrd* d, int kind, int32_t pos) {
  wfkp& f = d->story[d->cur].fkp[kind];
  int bin = 0;
  int page = fkpfind(d, kind, pos, &bin);
  f.next = WNONE;
  if (page < 0) return;
  if (f.loaded != page && !fkpload(st, d, &f, page)) return;
  f.bin = bin;
  fkpseek(d, &f, pos);
}

}  // namespace

void wfkpat(cxstate* st, wrd* d, int kind, int32_t pos) { fkpat(st, d, kind, pos); }

// Boundaries only move forward: a page whose positions do not ascend ends
// where they stop, and a page starts no earlier than its bin table entry,
// so that the run loop never walks back over runs it has applied.
void wfkpnext(cxstate* st, wrd* d, int kind) {
  wfkp& f = d->story[d->cur].fkp[kind];
  int32_t prev = f.next;
  f.run++;
  if (f.run < f.runs) {
    int32_t p = fkppos(d, &f, f.run);
    if (p > prev) {
      f.next = p;
      return;
    }
  }
  // The end of the page's last run, unless the next page starts there.
  f.next = WNONE;
  const wbin& b = d->bins[kind];
  if (f.bin + 1 >= b.n) return;
  f.bin++;
  if (!fkpload(st, d, &f, b.page[f.bin])) return;
  f.run = 0;
  int32_t p = f.runs > 0 ? fkppos(d, &f, 0) : WNONE;
  f.next = p < b.pos[f.bin] ? b.pos[f.bin] : p;
}

namespace {

int loadbins(cxstate* st, wrd* d, wtab t, int kind) {
  wbin& b = d->bins[kind];
  b = {};
  unsigned char* raw;
  if (int s = loadtab(st, d, t, &raw)) return s;
  int n = t.len >= 4 ? (t.len - 4) / 6 : 0;
  b.pos = static_cast<int32_t*>(walloc(st, d, sizeof(int32_t) * static_cast<size_t>(n + 1)));
  b.page = static_cast<uint16_t*>(walloc(st, d, sizeof(uint16_t) * static_cast<size_t>(n + 1)));
  if (!b.pos || !b.page) return CX_NOMEM;
  // Positions that do not ascend end the table where they stop ascending.
  int kept = 0;
  for (int i = 0; i <= n && raw; i++) {
    int32_t p = wget32(d, raw + 4 * i);
    if (i > 0 && p <= b.pos[i - 1]) break;
    b.pos[i] = p;
    kept = i;
  }
  for (int i = 0; i < kept; i++) b.page[i] = static_cast<uint16_t>(wget16(d, raw + 4 * (n + 1) + 2 * i));
  b.n = kept;
  if (raw) wfree(st, d, raw);
  for (int k = 0; k < d->nstories; k++) {
    wstory& s = d->story[k];
    wfkp& f = s.fkp[kind];
    f = {};
    f.next = WNONE;
    f.loaded = -1;
    f.page = static_cast<unsigned char*>(walloc(st, d, static_cast<size_t>(d->pagesize)));
    if (!f.page) return CX_NOMEM;
    if (!d->complex) {
      int save = d->cur;
      d->cur = k;
      fkpat(st, d, kind, s.first);
      d->cur = save;
    }
  }
  return 0;
}

// ---------------------------------------------------------------- stories

// Story ranges: each from its own length, so that no story borrows a
// character of its neighbour.
// A story can hold no more characters than the file has bytes (one that
// claims more is then cut short when its text is read).
void ranges(wrd* d, const int32_t* lens) {
  int64_t first = d->fcmin;
  for (int k = 0; k < d->nstories; k++) {
    int64_t len = lens[k] < 0 ? 0 : lens[k] > d->fsize ? d->fsize : lens[k];
    if (first + len >= WNONE) len = 0;
    wstory& s = d->story[k];
    s.first = static_cast<int32_t>(first);
    s.last = static_cast<int32_t>(first + len - 1);
    s.length = static_cast<int32_t>(len);
    first += len;
  }
}

// Appends n bytes at a file offset to a story's text.
int addtext(cxstate* st, wrd* d, wstory* s, int32_t off, int32_t n) {
  if (n <= 0) return 0;
  if (s->textlen + n > s->textcap) return CX_NOTFMT;
  if (!readat(st, d, off, s->text + s->textlen, n)) return CX_NOTFMT;
  s->textlen += n;
  return 0;
}

int maketext(cxstate* st, wrd* d, wstory* s, int32_t cap) {
  s->text = static_cast<unsigned char*>(walloc(st, d, static_cast<size_t>(cap) + 1));
  if (!s->text) return CX_NOMEM;
  s->textcap = cap;
  return 0;
}

// The pieces of a fast-saved file: property-modifier groups first, then the
// piece table; each piece goes to the story its position lies in, and its
// text to that story's text.
int readclx(cxstate* st, wrd* d, wtab t) {
  unsigned char* clx;
  if (t.len == 0) return 0;
  if (int s = loadtab(st, d, t, &clx)) return s;
  int at = 0;
  d->groups = clx;
  d->groupslen = 0;
  // Groups are kept in place: each a type byte, a 16-bit length and bytes.
  int groupsat = -1;
  while (at < t.len && clx[at] != 2) {
    if (at + 3 > t.len) return 0;
    int l = wget16(d, clx + at + 1);
    if (groupsat < 0) groupsat = at;
    at += 3 + l;
  }
  if (at >= t.len) return 0;
  d->groupsat = groupsat < 0 ? at : groupsat;
  d->groupsend = at;
  int a = t.len - at;
  int n = a >= 7 ? (a - 7) / 12 : 0;
  const unsigned char* cps = clx + at + 3;
  const unsigned char* pcd = cps + 4 * (n + 1);
  int k = 0;
  int32_t used = 0;
  for (int i = 0; i < n && k < d->nstories; i++) {
    int32_t cp = wget32(d, cps + 4 * i), next = wget32(d, cps + 4 * (i + 1));
    int64_t span = static_cast<int64_t>(next) - cp;
    int32_t len = span < 0 || span > d->fsize ? 0 : static_cast<int32_t>(span);
    const unsigned char* e = pcd + 8 * i;
    wpiece p = {e[d->mac ? 1 : 0], wget32(d, e + 2), static_cast<uint16_t>(wget16(d, e + 6)), len, cp};
    // The story of the piece: Word 2 by its position, Mac Word by the
    // lengths already placed.
    while (k < d->nstories &&
           (d->mac ? used >= d->story[k].length : d->story[k].last < static_cast<int64_t>(cp) + d->fcmin)) {
      k++;
      used = 0;
    }
    if (k >= d->nstories) break;
    wstory& s = d->story[k];
    if (s.npieces >= s.piececap) {
      int cap = s.piececap ? s.piececap * 2 : 16;
      auto* np = static_cast<wpiece*>(walloc(st, d, sizeof(wpiece) * static_cast<size_t>(cap)));
      if (!np) return CX_NOMEM;
      if (s.pieces) {
        std::memcpy(np, s.pieces, sizeof(wpiece) * static_cast<size_t>(s.npieces));
        wfree(st, d, s.pieces);
      }
      s.pieces = np;
      s.piececap = cap;
    }
    // Text beyond the story's length is not the story's.
    int32_t room = s.textcap - s.textlen;
    if (p.len > room) p.len = room;
    if (int r = addtext(st, d, &s, p.fc, p.len)) return r;
    s.pieces[s.npieces++] = p;
    used += p.len;
  }
  return 0;
}

}  // namespace

void wswitch(wrd* d, int k) {
  if (k >= 0 && k < d->nstories) d->cur = k;
}

namespace {

// ---------------------------------------------------------------- header

// Clears a story's reading state and sets its layout defaults.
void storyinit(wrd* d, wstory* s) {
  s->fc = s->first;
  s->cp = 0;
  s->left = s->length;
  s->nextstop = WNONE;
  s->textpos = 0;
  s->piece = 0;
  s->cur = {};
  s->piececp = 0;
  s->linestart = 1;
  s->lineheight = 240;
  s->baseheight = 240;
  for (wplc& p : s->plc) p = {0, 0, -1, WNONE};
  (void)d;
}

int readheader(cxstate* st, wrd* d) {
  int hsize = d->mac ? 256 : 384;
  int got = 0;
  if (cxseek(st, d->in, 0, 0) != 0) return CX_READERR;
  while (got < hsize) {
    int r = cxread(st, d->in, d->head + got, hsize - got);
    if (r <= 0) return CX_READERR;
    got += r;
  }
  const unsigned char* h = d->head;
  int32_t lens[4] = {0, 0, 0, 0};
  wtab stsh, sed, chpbin, papbin, fonts, clx, dop{0, 0}, assoc{0, 0}, hdd, fndref, fndtxt, atnref{0, 0}, atntxt{0, 0};
  if (!d->mac) {
    int id = h[0] | h[1] << 8;
    if (id == 0xA59B)
      d->version = 1;
    else if (id == 0xA5DB)
      d->version = 2;
    else
      return CX_NOTFMT;
    if (d->version == 2) d->lang = wget16(d, h + 6);
    for (int i = 14; i <= 23; i++)
      if (h[i]) return CX_CRYPT;
    d->complex = (wget16(d, h + 10) & 0x0004) != 0;
    d->fcmin = wget32(d, h + 24);
    lens[0] = wget32(d, h + 52);
    lens[1] = wget32(d, h + 56);
    lens[2] = wget32(d, h + 60);
    int32_t macro = wget32(d, h + 64), atn = wget32(d, h + 68);
    int64_t both = static_cast<int64_t>(macro < 0 ? 0 : macro) + (atn < 0 ? 0 : atn);
    lens[3] = static_cast<int32_t>(both > d->fsize ? d->fsize : both);
    d->atnlen = atn;
    d->macrolen = macro;
    stsh = tabat(d, 94, 98);
    fndref = tabat(d, 100, 104);
    fndtxt = tabat(d, 106, 110);
    atnref = tabat(d, 112, 116);
    atntxt = tabat(d, 118, 122);
    sed = tabat(d, 124, 128);
    hdd = tabat(d, 154, 158);
    chpbin = tabat(d, 160, 164);
    papbin = tabat(d, 166, 170);
    fonts = tabat(d, 178, 182);
    d->bkmk[0] = tabat(d, 214, 218).off, d->bkmklen[0] = tabat(d, 214, 218).len;
    d->bkmk[1] = tabat(d, 220, 224).off, d->bkmklen[1] = tabat(d, 220, 224).len;
    d->bkmk[2] = tabat(d, 226, 230).off, d->bkmklen[2] = tabat(d, 226, 230).len;
    int v = d->version == 2 ? 12 : 0;
    dop = tabat(d, 262 + v, 266 + v);
    assoc = tabat(d, 268 + v, 272 + v);
    clx = tabat(d, 274 + v, 278 + v);
    d->nstories = 4;
    d->pagesize = 512;
  } else {
    int id = h[0] << 8 | h[1];
    if (id == 0xFE34)
      d->layout = 3;
    else if (id == 0xFE37)
      d->layout = wget32(d, h + 188) != 0 ? 5 : 4;
    else
      return CX_NOTFMT;
    bool l3 = d->layout == 3;
    d->complex = l3 ? h[11] != 0 : (h[10] & 0x20) != 0;
    d->fcmin = wget32(d, h + (l3 ? 120 : 20));
    for (int i = 0; i < 3; i++) lens[i] = wget32(d, h + (l3 ? 124 : 36) + 4 * i);
    int o = l3 ? 0 : 34;
    stsh = tabat(d, 36 + o, 40 + o);
    fndref = tabat(d, 42 + o, 46 + o);
    fndtxt = tabat(d, 48 + o, 52 + o);
    sed = tabat(d, 54 + o, 58 + o);
    hdd = tabat(d, 78 + o, 82 + o);
    chpbin = tabat(d, 84 + o, 88 + o);
    papbin = tabat(d, 90 + o, 94 + o);
    fonts = tabat(d, 102 + o, 106 + o);
    clx = l3 ? tabat(d, 114, 118) : tabat(d, 172, 176);
    if (!l3) dop = tabat(d, 154, 158);
    if (d->layout == 5) d->lang = wget16(d, h + 6);
    d->nstories = 3;
    d->pagesize = l3 ? 128 : 512;
  }
  if (d->fcmin < 0 || d->fcmin > d->fsize) return CX_NOTFMT;
  d->forcefont = 1;
  wchpreset(d, &d->chp);
  wchpreset(d, &d->style);
  ranges(d, lens);
  for (int k = 0; k < d->nstories; k++) {
    wstory& s = d->story[k];
    storyinit(d, &s);
    if (d->mac) s.left = d->story[0].length;
    // The story's text: its range, or (fast-saved) what its pieces hold.
    int32_t cap = s.length;
    if (int r = maketext(st, d, &s, cap)) return r;
  }
  d->cur = 0;
  if (int s = loadbins(st, d, chpbin, 0)) return s;
  if (int s = loadbins(st, d, papbin, 1)) return s;
  if (int s = loadplc(st, d, sed, 6, &d->sections)) return s;
  if (int s = loadsepx(st, d, sed)) return s;
  if (int s = wreadstyles(st, d, stsh.off, stsh.len)) return s;
  if (d->mac) {
    if (int s = wreaddop(st, d, dop.off, dop.len)) return s;
  } else {
    if (int s = wreaddop(st, d, dop.off, dop.len)) return s;
    if (int s = loadtab(st, d, assoc, &d->assoc)) return s;
    d->assoclen = assoc.len;
  }
  if (int s = wreadfonts(st, d, fonts.off, fonts.len)) return s;
  if (d->complex) {
    if (int s = readclx(st, d, clx)) return s;
  } else {
    for (int k = 0; k < d->nstories; k++) {
      wstory& s = d->story[k];
      int32_t n = k == 3 ? (d->atnlen < 0 ? 0 : d->atnlen) : s.length;
      if (n > s.textcap) n = s.textcap;
      if (int r = addtext(st, d, &s, s.first, n)) return r;
    }
  }
  if (int s = loadplc(st, d, hdd, 0, &d->headers)) return s;
  if (int s = loadplc(st, d, fndref, 2, &d->story[0].plc[2])) return s;
  if (int s = loadplc(st, d, fndtxt, 0, &d->story[1].plc[3])) return s;
  if (!d->mac) {
    if (int s = loadplc(st, d, atnref, 20, &d->story[0].plc[6])) return s;
    if (int s = loadplc(st, d, atntxt, 0, &d->story[3].plc[7])) return s;
  }
  // Section starts are positions of the main text.
  d->story[0].plc[0] = d->sections;
  wswitch(d, 0);
  wplcnext(d, &d->story[0].plc[0]);
  wplcnext(d, &d->story[0].plc[2]);
  if (!d->mac) {
    st->sb->unitflag = 1;
    wplcnext(d, &d->story[0].plc[6]);
  }
  wnextevent(d);
  if (cxseek(st, d->in, 0, 0) != 0) return CX_NOTFMT;
  return 0;
}

// ---------------------------------------------------------------- pieces

// Applies a piece's property modifier to the paragraph's properties.
void applyprm(cxstate* st, wrd* d, uint16_t m) { wpiecemod(st, d, m); }

}  // namespace

int wnextpiece(cxstate* st, wrd* d) {
  wstory& s = d->story[d->cur];
  if (s.piece > 0 && s.fc < s.cur.fc + s.cur.len) return 0;
  if (s.piece >= s.npieces) return -1;
  int32_t prevlen = s.piece > 0 ? s.cur.len : 0;
  s.cur = s.pieces[s.piece++];
  if (d->mac) s.cur.fc += 1;
  s.piececp = s.cur.cp;
  if (d->mac) {
    fkpat(st, d, 0, s.cur.fc);
    s.fkp[1].next = WNONE;
  } else {
    fkpat(st, d, 0, s.cur.fc);
    if (prevlen == 0 && s.piece == 1) fkpat(st, d, 1, s.cur.fc);
  }
  s.fc = s.cur.fc;
  if (d->cur == 0) {
    for (int i : {2, 6, 0}) {
      wplc& p = s.plc[i];
      if (p.pos && p.at >= 0 && p.at < p.n) p.next = wcptofc(d, p.pos[p.at]);
    }
  }
  wnextevent(d);
  if (s.fc >= s.nextstop) wrunloop(st, d);
  applyprm(st, d, s.cur.prm);
  return 0;
}

void wnextevent(wrd* d) {
  wstory& s = d->story[d->cur];
  int32_t n = WNONE;
  auto least = [&](int32_t v) {
    if (v < n) n = v;
  };
  if (d->mac || !d->complex || s.fkp[1].next >= s.cur.fc) least(s.fkp[1].next);
  least(s.fkp[0].next);
  if (d->cur == 0) {
    least(s.plc[0].next);
    least(s.plc[2].next);
    if (!d->mac) least(s.plc[6].next);
  }
  s.nextstop = n;
}

void wrunloop(cxstate* st, wrd* d) {
  wstory& s = d->story[d->cur];
  // Compared as the stops below are, signed: a piece can place the position
  // past 2^31, where no stop fires and the loop would never end.
  while (s.nextstop != WNONE && s.fc >= s.nextstop) {
    s.nextstop = WNONE;
    if (d->cur == 0) {
      // Sections, then footnote and annotation references; one that starts
      // an excursion leaves the rest for the return to this position.
      if (s.plc[0].next != WNONE && s.fc >= s.plc[0].next) {
        wsection(st, d);
        if (d->cur != 0) return;
        wplcnext(d, &s.plc[0]);
      }
      if (s.plc[2].next != WNONE && s.fc >= s.plc[2].next) {
        wfootref(st, d);
        if (d->cur != 0) return;
      }
      if (!d->mac && s.plc[6].next != WNONE && s.fc >= s.plc[6].next) {
        wannotref(st, d);
        if (d->cur != 0) return;
      }
    }
    if (s.fkp[1].next != WNONE && s.fc >= s.fkp[1].next) {
      // The paragraph's properties, from its page entry and its style.
      wparabuild(st, d, nullptr, 0);
      wparaout(st, d);
      wfkpnext(st, d, 1);
      d->paraseen = 1;
    }
    if (s.fkp[0].next != WNONE && s.fc >= s.fkp[0].next) {
      wchprun(st, d);
      wfkpnext(st, d, 0);
    }
    wnextevent(d);
  }
}

// ---------------------------------------------------------------- characters

int wnextchar(cxstate* st, wrd* d) {
  wstory& s = d->story[d->cur];
  if (s.nback > 0) {
    s.left--;
    s.fc++;
    s.cp++;
    return s.back[--s.nback];
  }
  if (s.left > 0) {
    if (d->mac) {
      s.left--;
      s.fc++;
      s.cp++;
      if (d->complex) {
        int k = d->cur;
        if (wnextpiece(st, d) < 0) return -1;
        // An excursion that the new piece started reads its own story
        // first; this character waits for the return.
        if (d->cur != k) {
          s.left++;
          s.fc--;
          s.cp--;
          return 0;
        }
      }
      if (s.textpos >= s.textlen) return -1;
      return s.text[s.textpos++];
    }
    if (d->complex) {
      if (wnextpiece(st, d) < 0) return -1;
      if (s.fc >= s.nextstop) wrunloop(st, d);
    } else if (s.fc >= s.nextstop) {
      // An excursion that starts here reads its own story first.
      int k = d->cur;
      wrunloop(st, d);
      if (d->cur != k) return 0;
    }
    if (s.textpos >= s.textlen) return -1;
    s.left--;
    s.fc++;
    s.cp++;
    return s.text[s.textpos++];
  }
  // The text of another story is used up: its excursion ends.
  if (d->cur != 0 && d->depth > 0) {
    wstoryend(st, d);
    return 0;
  }
  return -1;
}

void wungetchar(cxstate* st, wrd* d, int c) {
  wstory& s = d->story[d->cur];
  if (s.nback >= s.backcap) {
    int32_t cap = s.backcap ? s.backcap * 2 : 512;
    auto* b = static_cast<unsigned char*>(walloc(st, d, static_cast<size_t>(cap)));
    if (!b) cxthrow(st, CX_NOMEM);
    if (s.nback) std::memcpy(b, s.back, static_cast<size_t>(s.nback));
    if (s.back) wfree(st, d, s.back);
    s.back = b;
    s.backcap = cap;
  }
  s.back[s.nback++] = static_cast<unsigned char>(c);
  s.left++;
  s.fc--;
  s.cp--;
}

int wpeekchar(wrd* d) {
  const wstory& s = d->story[d->cur];
  if (s.nback > 0) return s.back[s.nback - 1];
  if (s.left <= 0 || s.textpos >= s.textlen) return d->cur == 0 ? -1 : 0;
  return s.text[s.textpos];
}

// ---------------------------------------------------------------- the pass

wrd* wrdof(cxstate* st) {
  if (st->mwdocblk) return static_cast<wrd*>(static_cast<mwdocblk*>(st->mwdocblk)->rd);
  return static_cast<wrd*>(static_cast<w2docblk*>(st->w2docblk)->rd);
}

namespace {

// The character loop: every character of the main text, through the
// special-character, extended-character and plain-text paths.
void charloop(cxstate* st, wrd* d) {
  for (;;) {
    wstory& s = d->story[d->cur];
    if (st->sb->abortflag) return;
    if (d->cur == 0 && s.left <= 0) return;
    if (d->mac && s.left > 0 && s.fc >= s.nextstop) wrunloop(st, d);
    int c = wnextchar(st, d);
    if (c < 0) return;
    if (!d->mac) wbookmarks(st, d, 0);
    if (s.linepos >= s.linewidth && c > 32) wlinecount(st, d);
    if (c >= 128) {
      wextchar(st, d, c);
    } else if (c < 32) {
      wspecial(st, d, c);
    } else {
      if (!d->mac && s.pending > 0) wnewline(st, d, 1);
      cxputc(st, c);
      int w = wcharwidth(st, d, c);
      if (d->mac) {
        s.linepos += w;
      } else {
        // Past a centred stop a character moves the line by half its
        // width, past a right or decimal one by nothing (until the point).
        if (s.tabkind == 0)
          s.linepos += w;
        else if (s.tabkind == 1)
          s.linepos += w / 2;
        if (c == '.' && s.tabkind == 3) s.tabkind = 0;
        if (c == ' ') s.tabkind = 0;
      }
      s.linestart = 0;
    }
  }
}

}  // namespace

void wfirst(cxstate* st, int mac, const char* inpath, const char* outpath) {
  auto* d = static_cast<wrd*>(cxalloc(st, sizeof(wrd)));
  if (!d) cxthrow(st, CX_NOMEM);
  d->mac = mac;
  d->ftnnum = 1;
  d->rowstream = -1;
  d->in = -1;
  if (mac)
    static_cast<mwdocblk*>(st->mwdocblk)->rd = d;
  else
    static_cast<w2docblk*>(st->w2docblk)->rd = d;
  d->fsize = cxfsize(st, inpath);
  cxprogbeg(st, d->fsize);
  d->in = cxopen2(st, inpath, 1);
  if (d->in < 0 || d->fsize < 0) cxthrow(st, CX_NOINPUT);
  if (mac)
    static_cast<mwblk*>(st->mwblk)->inhandle = d->in;
  else
    static_cast<w2docblk*>(st->w2docblk)->inhandle = d->in;
  if (int s = readheader(st, d)) cxthrow(st, s);
  cvtoutname(st, outpath);
  int out = cxopen2(st, st->nm->intfile, 2);
  if (out < 0) cxthrow(st, CX_NOOUTPUT);
  if (cxbufinit(st, d->in, out, 2048) != 0) cxthrow(st, CX_NOMEM);
  wdocstart(st, d);
  if (mac) static_cast<mwdocblk*>(st->mwdocblk)->open20706 = 0;
  if (!mac && d->complex) {
    wswitch(d, 0);
    wnextpiece(st, d);
  }
  if (!mac) wreadbookmarks(st, d);
  charloop(st, d);
  // A table the text ends in gives back the text of its open row.
  if (d->rowsink) wtableend(st, d);
  // The last paragraph's style ends with the text.
  if (d->papw.style != 0) {
    if (mac)
      wcharprops(st, d, 0, 0);
    else
      wstyleend(st, d, d->papw.style);
  }
  if (!mac) {
    wbookmarks(st, d, 1);
    if (d->hftype) {
      cmbegin(st, WR_HFEND);
      cmputdec(st, 2);
      cmputhex2(st, d->hftype, 31);
      cmputdec(st, 0);
      cmputdec(st, 0);
      cmend(st);
    }
    if (d->frameopen) cmputcode(st, WR_FRAMEEND);
    if (d->prevcols > 1) cmputcode(st, WR_COLSEND);
    cmputcode(st, WR_LINEEND);
  } else {
    if (static_cast<mwdocblk*>(st->mwdocblk)->open20706 > 0) cmputcode(st, WR_FIELDEND);
    if (d->frameopen) cmputcode(st, WR_FRAMEEND);
    if (d->prevcols) cmputcode(st, WR_COLSEND);
  }
  cxbufend(st);
  cxclose(st, out);
  cxclose(st, d->in);
  d->in = -1;
  cxprogend(st);
}
