// Test-side compound-file builder: storages and streams laid out with
// 512-byte sectors, a mini stream for streams under 4096 bytes, sibling
// trees built balanced (so left and right links both occur), and as many
// allocation-table sectors as the file needs or the caller asks for, with
// the extension chain that more than 109 of them take. The layout is handed
// back so that tests can damage the file where they mean to.
#ifndef KES_FILTERS_FRAMEWORK_RUNTIME_TESTS_OLSTTEST_H
#define KES_FILTERS_FRAMEWORK_RUNTIME_TESTS_OLSTTEST_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace olt {

// A stream (storage false) or a storage with its members.
struct node {
  std::string name;
  std::string data;
  bool storage = false;
  std::vector<node> kids;
};

inline node stream(std::string name, std::string data) { return node{std::move(name), std::move(data), false, {}}; }
inline node storage(std::string name, std::vector<node> kids) { return node{std::move(name), {}, true, std::move(kids)}; }

// Bytes that differ from sector to sector and from stream to stream.
inline std::string pattern(size_t n, uint32_t seed) {
  std::string b(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<char>(x >> 16);
  }
  return b;
}

struct layout {
  std::vector<int32_t> fat;      // the allocation table's sectors
  std::vector<int32_t> ext;      // the extension sectors
  int32_t dirstart = -2, minifat = -2, ministart = -2;
  std::vector<std::string> names;  // directory entries by number
  std::vector<int32_t> starts;     // first sector (or mini sector) by entry
};

inline void put32(std::string& b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<char>(v >> (8 * i));
}
inline void put16(std::string& b, size_t off, uint16_t v) {
  b[off] = static_cast<char>(v);
  b[off + 1] = static_cast<char>(v >> 8);
}
inline uint32_t get32(const std::string& b, size_t off) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(b[off + i])) << (8 * i);
  return v;
}
inline size_t secpos(int32_t s) { return 512 + 512 * static_cast<size_t>(s); }

// Builds the file. minfat asks for at least that many table sectors (the
// ones not needed describe free sectors), rootname names entry 0.
inline std::string build(const std::vector<node>& top, layout* where = nullptr, size_t minfat = 0,
                         const std::string& rootname = "Root Entry") {
  struct ent {
    const node* n;
    int32_t left = -1, right = -1, child = -1;
  };
  std::vector<ent> ents(1);
  // Entries in depth-first order; each member list becomes a balanced tree.
  std::vector<std::vector<int32_t>> lists;
  auto add = [&](auto& self, const std::vector<node>& kids) -> int32_t {
    std::vector<int32_t> idx;
    for (const node& k : kids) {
      idx.push_back(static_cast<int32_t>(ents.size()));
      ents.push_back(ent{&k});
    }
    for (size_t i = 0; i < kids.size(); ++i)
      if (kids[i].storage) ents[idx[i]].child = self(self, kids[i].kids);
    auto tree = [&](auto& t, size_t lo, size_t hi) -> int32_t {
      if (lo >= hi) return -1;
      size_t mid = (lo + hi) / 2;
      ents[idx[mid]].left = t(t, lo, mid);
      ents[idx[mid]].right = t(t, mid + 1, hi);
      return idx[mid];
    };
    return tree(tree, 0, idx.size());
  };
  ents[0].child = add(add, top);

  layout l;
  size_t nmini = 0, nbig = 0;
  for (size_t i = 1; i < ents.size(); ++i) {
    const node* n = ents[i].n;
    if (n->storage) continue;
    if (n->data.size() < 4096)
      nmini += (n->data.size() + 63) / 64;
    else
      nbig += (n->data.size() + 511) / 512;
  }
  size_t ministreamsecs = (nmini * 64 + 511) / 512, minifatsecs = (nmini + 127) / 128;
  size_t dirsecs = (ents.size() + 3) / 4;
  size_t payload = minifatsecs + dirsecs + ministreamsecs + nbig;
  size_t nfat = 1, next = 0;
  for (;;) {
    if (nfat < minfat) nfat = minfat;
    next = nfat > 109 ? (nfat - 109 + 126) / 127 : 0;
    size_t need = (nfat + next + payload + 127) / 128;
    if (need <= nfat) break;
    nfat = need;
  }
  std::vector<uint32_t> fat(nfat * 128, 0xFFFFFFFFu);
  int32_t s = 0;
  for (size_t i = 0; i < nfat; ++i, ++s) {
    fat[s] = 0xFFFFFFFDu;
    l.fat.push_back(s);
  }
  for (size_t i = 0; i < next; ++i, ++s) {
    fat[s] = 0xFFFFFFFCu;
    l.ext.push_back(s);
  }
  auto chain = [&](size_t count) -> int32_t {
    if (count == 0) return -2;
    int32_t first = s;
    for (size_t k = 0; k < count; ++k, ++s) fat[s] = k + 1 < count ? static_cast<uint32_t>(s + 1) : 0xFFFFFFFEu;
    return first;
  };
  l.minifat = chain(minifatsecs);
  l.dirstart = chain(dirsecs);
  l.ministart = chain(ministreamsecs);
  l.starts.assign(ents.size(), -2);
  for (size_t i = 1; i < ents.size(); ++i) {
    const node* n = ents[i].n;
    if (!n->storage && n->data.size() >= 4096) l.starts[i] = chain((n->data.size() + 511) / 512);
  }
  size_t total = static_cast<size_t>(s);
  std::string f(512 + 512 * total, '\0');
  static const char sig[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
  std::memcpy(f.data(), sig, 8);
  put16(f, 24, 0x3E);
  put16(f, 26, 3);
  put16(f, 28, 0xFFFE);
  put16(f, 30, 9);
  put16(f, 32, 6);
  put32(f, 44, static_cast<uint32_t>(nfat));
  put32(f, 48, static_cast<uint32_t>(l.dirstart));
  put32(f, 56, 4096);
  put32(f, 60, static_cast<uint32_t>(l.minifat));
  put32(f, 64, static_cast<uint32_t>(minifatsecs));
  put32(f, 68, next ? static_cast<uint32_t>(l.ext[0]) : 0xFFFFFFFEu);
  put32(f, 72, static_cast<uint32_t>(next));
  for (size_t i = 0; i < 109; ++i) put32(f, 76 + 4 * i, i < nfat ? static_cast<uint32_t>(i) : 0xFFFFFFFFu);
  for (size_t i = 0; i < nfat * 128; ++i) put32(f, secpos(static_cast<int32_t>(i / 128)) + 4 * (i % 128), fat[i]);
  for (size_t e = 0; e < next; ++e) {
    for (size_t i = 0; i < 127; ++i) {
      size_t k = 109 + 127 * e + i;
      put32(f, secpos(l.ext[e]) + 4 * i, k < nfat ? static_cast<uint32_t>(k) : 0xFFFFFFFFu);
    }
    put32(f, secpos(l.ext[e]) + 508, e + 1 < next ? static_cast<uint32_t>(l.ext[e + 1]) : 0xFFFFFFFEu);
  }
  std::vector<uint32_t> minifat(minifatsecs * 128, 0xFFFFFFFFu);
  size_t m = 0;
  for (size_t i = 1; i < ents.size(); ++i) {
    const node* n = ents[i].n;
    if (n->storage) continue;
    const std::string& d = n->data;
    if (d.size() < 4096) {
      size_t count = (d.size() + 63) / 64;
      l.starts[i] = count ? static_cast<int32_t>(m) : -2;
      for (size_t k = 0; k < count; ++k, ++m) {
        minifat[m] = k + 1 < count ? static_cast<uint32_t>(m + 1) : 0xFFFFFFFEu;
        size_t at = secpos(l.ministart + static_cast<int32_t>(m / 8)) + 64 * (m % 8);
        std::memcpy(f.data() + at, d.data() + 64 * k, std::min<size_t>(64, d.size() - 64 * k));
      }
    } else {
      std::memcpy(f.data() + secpos(l.starts[i]), d.data(), d.size());
    }
  }
  for (size_t i = 0; i < minifat.size(); ++i)
    put32(f, secpos(l.minifat + static_cast<int32_t>(i / 128)) + 4 * (i % 128), minifat[i]);
  for (size_t idx = 0; idx < dirsecs * 4; ++idx) {
    size_t at = secpos(l.dirstart + static_cast<int32_t>(idx / 4)) + 128 * (idx % 4);
    if (idx >= ents.size()) {
      put32(f, at + 68, 0xFFFFFFFFu);
      put32(f, at + 72, 0xFFFFFFFFu);
      put32(f, at + 76, 0xFFFFFFFFu);
      continue;
    }
    const ent& e = ents[idx];
    std::string name = idx == 0 ? rootname : e.n->name;
    l.names.push_back(name);
    for (size_t i = 0; i < name.size() && i < 31; ++i) put16(f, at + 2 * i, static_cast<unsigned char>(name[i]));
    put16(f, at + 64, static_cast<uint16_t>(2 * (name.size() + 1)));
    f[at + 66] = static_cast<char>(idx == 0 ? 5 : e.n->storage ? 1 : 2);
    f[at + 67] = 1;
    put32(f, at + 68, static_cast<uint32_t>(e.left));
    put32(f, at + 72, static_cast<uint32_t>(e.right));
    put32(f, at + 76, static_cast<uint32_t>(e.child));
    bool isstream = idx > 0 && !e.n->storage;
    put32(f, at + 116, static_cast<uint32_t>(idx == 0 ? l.ministart : isstream ? l.starts[idx] : 0));
    put32(f, at + 120, static_cast<uint32_t>(idx == 0 ? nmini * 64 : isstream ? e.n->data.size() : 0));
  }
  if (where) *where = l;
  return f;
}

// The byte offset of directory entry e in a file build made.
inline size_t entrypos(const layout& l, size_t e) {
  return secpos(l.dirstart + static_cast<int32_t>(e / 4)) + 128 * (e % 4);
}

// Sets the table entry of sector s.
inline void setfat(std::string& f, const layout& l, int32_t s, uint32_t v) {
  put32(f, secpos(l.fat[s / 128]) + 4 * (s % 128), v);
}

}  // namespace olt

#endif
