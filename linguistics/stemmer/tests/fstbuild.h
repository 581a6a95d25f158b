// A byte-level builder of transducer files for the tests: header fields,
// the tables of the table region and a network written byte by byte, with
// named positions for pointers. Each test writes the network of the
// construct it checks; a small pair compiler makes word lists for the
// stemmer tests.
#ifndef KES_LINGUISTICS_STEMMER_TESTS_FSTBUILD_H
#define KES_LINGUISTICS_STEMMER_TESTS_FSTBUILD_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fsttest {

// Label layout of the test files: three special labels, then the ordinary
// ones; the dense-table label sorts first among those, the escape byte next.
constexpr int L = 0x40, EPS = 0x40, CONT = 0x44, FLAG = 0x48, LOWEST = 0x4C, DENSE = 0x4C,
              ESC = 0x50, FIRSTSYM = 0x54, STEP = 48;
constexpr int SIB = 2, FIN = 1;

// A flag byte: flag number and value.
constexpr int flagbyte(int no, int val) { return L + (no << 4 | val << 2); }
// Symbol byte of a letter when the alphabet is "abc...z" from FIRSTSYM.
constexpr int S(char c) { return FIRSTSYM + 4 * (c - 'a'); }

// Writes the bytes of a file; its path.
inline std::string save(const std::string &path, const std::vector<uint8_t> &v) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return path;
  std::fwrite(v.data(), 1, v.size(), f);
  std::fclose(f);
  return path;
}

struct Builder {
  // Header fields.
  int version = 1, tableoff = 92, flags = 0, escafter = 0, ptrwidth = 3;
  int first1 = 1, first2 = 1, first3 = 1, labelbase = L, escbyte = ESC, escstep = STEP;
  int dense = DENSE, cont = CONT, highpage = 0, b7 = 0, b50 = 0;
  uint32_t p8 = 0;
  int netoff = -1;            // network offset other than the table end
  long netlen = -1;           // network length other than the bytes written
  // Table region.
  std::string desc = "test lexicon";
  std::string afterdesc;      // bytes right after the description
  std::map<int, uint16_t> page0;  // character -> code (symbol << 8 | escapes)
  int page0first = -1, page0last = -1;
  struct Page {
    int first, last;
    std::vector<uint16_t> codes;
  };
  std::vector<Page> pages;    // pages from 1 on (16-bit codes)
  bool nopages = false;
  std::map<int, uint16_t> out;  // symbol index -> output character
  struct List {
    std::string name;
    std::vector<uint16_t> array;
    std::vector<std::string> names;
    std::vector<uint16_t> codes;
  };
  std::vector<List> lists;
  struct Sub {
    std::string start;        // mark of the start
    int lowest = LOWEST, flag = FLAG, init = 0;
  };
  std::vector<Sub> subs;
  std::map<int, int> funcs;   // function -> sub-network
  std::vector<std::string> ptr1, ptr2;  // marks the pointer tables point at
  // Network.
  std::vector<uint8_t> net;
  std::map<std::string, uint32_t> marks;
  std::vector<std::pair<size_t, std::string>> fix3;

  // A byte alphabet: each character a symbol of page 0, in order.
  Builder &alpha(const std::string &chars) {
    for (unsigned char c : chars) {
      int sym = FIRSTSYM + 4 * static_cast<int>(page0.size());
      page0[c] = static_cast<uint16_t>(sym << 8);
      out[(sym - L) / 4] = c;
    }
    return *this;
  }
  // A character written with escapes: symbol byte sym on page n.
  Builder &escaped(int c, int sym, int n) {
    page0[c] = static_cast<uint16_t>(sym << 8 | n);
    out[(sym - L) / 4 + n * escstep] = static_cast<uint16_t>(c);
    return *this;
  }
  // Symbol byte of a page-0 character.
  int S(int c) const { return page0.at(c) >> 8; }

  Builder &b(std::initializer_list<int> bytes) {
    for (int x : bytes) net.push_back(static_cast<uint8_t>(x));
    return *this;
  }
  Builder &mark(const std::string &m) {
    marks[m] = static_cast<uint32_t>(net.size());
    return *this;
  }
  // A three-byte pointer to a mark.
  Builder &p3(const std::string &m) {
    fix3.emplace_back(net.size(), m);
    return b({first3, 0, 0});
  }
  // One sub-network serving functions 12 and 27, started at a mark.
  Builder &lexicon(const std::string &start) {
    subs.push_back({start});
    funcs[12] = funcs[27] = static_cast<int>(subs.size()) - 1;
    return *this;
  }
  Builder &diacritics(std::vector<std::pair<std::string, int>> syms) {
    List l{"*DIACRITICS*", {}, {}, {}};
    for (auto &[n, code] : syms) {
      l.names.push_back(n);
      l.codes.push_back(static_cast<uint16_t>(code));
    }
    lists.push_back(l);
    return *this;
  }

  std::vector<uint8_t> bytes() const;
  // Writes the file; its path.
  std::string save(const std::string &path) const { return fsttest::save(path, bytes()); }

  // Compiles (surface, lexical) words into the network: a trie over aligned
  // pairs of coded bytes (0 for nothing), every target written in place.
  using Aligned = std::vector<std::pair<int, int>>;
  // Coded bytes of a text: escape and symbol bytes in the file's order.
  std::vector<int> coded(const std::string &s) const {
    std::vector<int> v;
    for (unsigned char c : s) {
      uint16_t k = page0.at(c);
      if (escafter) v.push_back(k >> 8);
      for (int i = 0; i < (k & 0xFF); i++) v.push_back(escbyte);
      if (!escafter) v.push_back(k >> 8);
    }
    return v;
  }
  // The common start paired with itself, then the rest position by position.
  Aligned align(const std::string &s, const std::string &l) const {
    std::vector<int> a = coded(s), b = coded(l);
    Aligned out;
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) out.emplace_back(a[i], b[i]), i++;
    for (; i < a.size() || i < b.size(); i++)
      out.emplace_back(i < a.size() ? a[i] : 0, i < b.size() ? b[i] : 0);
    return out;
  }
  Builder &words(const std::vector<Aligned> &ws, const std::string &start = "start");
};

inline void put16(std::vector<uint8_t> &v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x >> 8);
  v[at + 1] = static_cast<uint8_t>(x);
}

inline std::vector<uint8_t> Builder::bytes() const {
  std::vector<uint8_t> tab;
  auto here = [&] { return static_cast<uint32_t>(92 + tab.size()); };
  auto w8 = [&](int x) { tab.push_back(static_cast<uint8_t>(x)); };
  auto w16 = [&](uint32_t x) {
    w8(static_cast<int>(x >> 8) & 0xFF);
    w8(static_cast<int>(x) & 0xFF);
  };
  // Description first: its offset is one byte.
  uint32_t descoff = here();
  w8(static_cast<int>(desc.size()));
  for (char c : desc) w8(c);
  for (char c : afterdesc) w8(c);
  w8(0);
  // Strings: the list names, the names of the lists' entries.
  std::vector<std::string> strs;
  auto strindex = [&](const std::string &s) {
    uint32_t idx = 1;  // word 0 is the table's size
    for (const std::string &x : strs) {
      if (x == s) return idx;
      idx += 1 + static_cast<uint32_t>(x.size());
    }
    strs.push_back(s);
    return idx;
  };
  std::vector<uint32_t> listname;
  std::vector<std::vector<uint32_t>> entrynames;
  for (const List &l : lists) {
    listname.push_back(strindex(l.name));
    entrynames.emplace_back();
    for (const std::string &n : l.names) entrynames.back().push_back(strindex(n));
  }
  uint32_t stroff = here();
  size_t strsize = 2;
  for (const std::string &s : strs) strsize += 2 + 2 * s.size();
  w16(static_cast<uint32_t>(strsize));
  for (const std::string &s : strs) {
    w16(static_cast<uint32_t>(s.size()));
    for (unsigned char c : s) w16(c);
  }
  // Output characters.
  int nout = out.empty() ? 0 : out.rbegin()->first + 1;
  w16(static_cast<uint32_t>(nout));
  uint32_t outoff = here();
  for (int i = 0; i < nout; i++) w16(out.count(i) ? out.at(i) : 0);
  // Code tables and page records.
  std::vector<std::pair<uint32_t, const Page *>> codetabs;
  int first = page0first, last = page0last;
  if (!page0.empty()) {
    if (first < 0) first = page0.begin()->first;
    if (last < 0) last = page0.rbegin()->first;
  } else {
    if (first < 0) first = 1;
    if (last < 0) last = 0;
  }
  uint32_t code0 = here();
  int count0 = last >= first ? last - first + 1 : 0;
  for (int c = first; c <= last; c++) {
    uint16_t code = page0.count(c) ? page0.at(c) : 0;
    if (flags & 2) w16(code);
    else w8((code >> 8) | (code & 3));
  }
  std::vector<uint32_t> pageoffs;
  for (const Page &p : pages) {
    pageoffs.push_back(here());
    for (uint16_t c : p.codes) w16(c);
  }
  uint32_t pagerecs = here();
  int npages = nopages ? 0 : 1 + static_cast<int>(pages.size());
  for (int i = 0; i < npages; i++) {
    int f = i == 0 ? first : pages[i - 1].first, la = i == 0 ? last : pages[i - 1].last;
    int n = i == 0 ? count0 : static_cast<int>(pages[i - 1].codes.size());
    uint32_t off = i == 0 ? code0 : pageoffs[i - 1];
    w8(0), w8(la), w8(0), w8(0), w8(0), w8(f), w16(static_cast<uint32_t>(n)), w16(off);
    for (int k = 0; k < 6; k++) w8(0);
  }
  // Named lists and their directory.
  std::vector<uint32_t> listoffs;
  for (size_t i = 0; i < lists.size(); i++) {
    const List &l = lists[i];
    w16(static_cast<uint32_t>(l.array.size()));
    uint32_t aoff = here();
    for (uint16_t x : l.array) w16(x);
    uint32_t noff = here();
    for (uint32_t x : entrynames[i]) w16(x);
    uint32_t coff = here();
    for (uint16_t x : l.codes) w16(x);
    listoffs.push_back(here());
    w16(listname[i]), w16(aoff), w16(noff), w16(static_cast<uint32_t>(l.names.size())), w16(coff);
  }
  w16(static_cast<uint32_t>(lists.size()));
  uint32_t dir = here();
  for (uint32_t o : listoffs) w16(o);
  // Pointer tables: full size for the codes the header gives.
  auto ptrtab = [&](const std::vector<std::string> &ms, size_t n) {
    uint32_t off = here();
    for (size_t i = 0; i < n; i++) {
      uint32_t v = i < ms.size() ? marks.at(ms[i]) : 0;
      if (ptrwidth == 2) w16(v);
      else w8(static_cast<int>(v >> 16)), w16(v & 0xFFFF);
    }
    return off;
  };
  uint32_t ptr1off = ptrtab(ptr1, first2 > first1 ? first2 - first1 : 0);
  uint32_t ptr2off = ptrtab(ptr2, first3 > first2 ? static_cast<size_t>(first3 - first2) * 256 : 0);
  // Sub-networks.
  std::vector<uint32_t> descs;
  for (const Sub &s : subs) {
    descs.push_back(here());
    uint32_t start = marks.at(s.start), self = here();
    w8(0), w8(0), w16(self), w16(self), w8(0), w8(0);
    w16(start >> 16), w16(start & 0xFFFF);
    for (int k = 12; k < 21; k++) w8(0);
    w8(s.lowest);
    for (int k = 22; k < 32; k++) w8(0);
    w8(s.flag), w8(0), w16(static_cast<uint32_t>(s.init));
  }
  uint32_t subidx = here();
  for (uint32_t d : descs) w16(d);
  uint32_t functab = here();
  int nf = funcs.empty() ? 0 : funcs.rbegin()->first;
  w8(nf);
  for (int f = 1; f <= nf; f++) w8(funcs.count(f) ? funcs.at(f) : 255);
  uint32_t ext = here();
  w8(0), w8(0);

  std::vector<uint8_t> h(92, 0);
  uint32_t end = here();
  h[3] = static_cast<uint8_t>(tableoff);
  h[4] = static_cast<uint8_t>(version);
  h[6] = static_cast<uint8_t>(descoff);
  h[7] = static_cast<uint8_t>(b7);
  h[8] = static_cast<uint8_t>(p8 >> 24), h[9] = static_cast<uint8_t>(p8 >> 16);
  h[10] = static_cast<uint8_t>(p8 >> 8), h[11] = static_cast<uint8_t>(p8);
  put16(h, 12, ptr1off);
  put16(h, 14, ptr2off);
  put16(h, 18, netoff >= 0 ? static_cast<uint32_t>(netoff) : end);
  put16(h, 20, pagerecs);
  h[22] = static_cast<uint8_t>(highpage);
  h[23] = static_cast<uint8_t>(escbyte);
  h[24] = static_cast<uint8_t>(first1), h[25] = static_cast<uint8_t>(first2);
  h[26] = static_cast<uint8_t>(first3), h[27] = static_cast<uint8_t>(labelbase);
  put16(h, 30, dir);
  h[34] = static_cast<uint8_t>(flags);
  h[35] = static_cast<uint8_t>(dense);
  put16(h, 42, subidx);
  h[46] = static_cast<uint8_t>(escstep);
  h[47] = static_cast<uint8_t>(subs.size());
  h[50] = static_cast<uint8_t>(b50);
  h[51] = escafter ? 0x80 : 0;
  put16(h, 56, outoff);
  h[58] = static_cast<uint8_t>(ptrwidth);
  put16(h, 62, functab);
  uint32_t nl = netlen >= 0 ? static_cast<uint32_t>(netlen) : static_cast<uint32_t>(net.size());
  h[68] = static_cast<uint8_t>(nl >> 24), h[69] = static_cast<uint8_t>(nl >> 16);
  h[70] = static_cast<uint8_t>(nl >> 8), h[71] = static_cast<uint8_t>(nl);
  put16(h, 72, ext);
  put16(h, 74, ext);
  h[82] = static_cast<uint8_t>(npages);
  h[86] = static_cast<uint8_t>(cont);
  put16(h, 90, stroff);

  std::vector<uint8_t> n = net;
  for (auto &[at, m] : fix3) {
    uint32_t pos = marks.at(m);
    n[at] = static_cast<uint8_t>(first3 + (pos >> 16));
    put16(n, at + 1, pos & 0xFFFF);
  }
  std::vector<uint8_t> file = h;
  file.insert(file.end(), tab.begin(), tab.end());
  file.insert(file.end(), n.begin(), n.end());
  return file;
}

namespace detail {
struct Node {
  bool final = false;
  std::map<std::pair<int, int>, std::unique_ptr<Node>> next;  // (surface, lexical), 0 nothing
};

// Writes the arc list of a node: the input-free arcs under one special
// label, then per surface symbol its arc, the pair list after the
// continuation label and the identity continuation.
inline void emit(Builder &bd, const Node &n) {
  std::map<int, const Node *> eps;                      // lexical -> node
  std::map<int, std::map<int, const Node *>> bysurf;    // surface -> lexical -> node
  for (auto &[k, v] : n.next) {
    if (!k.first) eps[k.second] = v.get();
    else bysurf[k.first][k.second] = v.get();
  }
  auto list = [&](const std::map<int, const Node *> &m) {  // lexical side list
    size_t i = 0;
    for (auto &[lex, node] : m) {
      int lab = lex ? lex : EPS;
      bd.b({lab | (node->final ? FIN : 0) | (++i < m.size() ? SIB : 0)});
      emit(bd, *node);
    }
  };
  size_t total = (eps.empty() ? 0 : 1) + bysurf.size(), i = 0;
  if (total == 0) {
    bd.b({0});
    return;
  }
  if (!eps.empty()) {
    bd.b({EPS | (++i < total ? SIB : 0)});
    list(eps);
  }
  for (auto &[surf, m] : bysurf) {
    const Node *id = m.count(surf) ? m.at(surf) : nullptr;
    std::map<int, const Node *> pairs = m;
    pairs.erase(surf);
    bd.b({surf | (id && id->final ? FIN : 0) | (++i < total ? SIB : 0)});
    if (pairs.empty()) {
      emit(bd, *id);
      continue;
    }
    bool idarcs = id && !id->next.empty();
    bd.b({CONT | (pairs.count(0) ? FIN : 0) | (idarcs ? SIB : 0)});
    list(pairs);
    if (idarcs) emit(bd, *id);
  }
}
}  // namespace detail

inline Builder &Builder::words(const std::vector<Aligned> &ws, const std::string &start) {
  detail::Node root;
  for (const Aligned &w : ws) {
    detail::Node *n = &root;
    for (auto &p : w) {
      auto &slot = n->next[p];
      if (!slot) slot = std::make_unique<detail::Node>();
      n = slot.get();
    }
    n->final = true;
  }
  mark(start);
  b({EPS | (root.final ? FIN : 0)});
  detail::emit(*this, root);
  return lexicon(start);
}

}  // namespace fsttest

#endif
