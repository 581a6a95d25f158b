// Test-side helpers for compound documents: a small writer that lays out
// streams in a version-3 compound file (512-byte sectors, mini stream for
// small streams), a CRC-32, and a run state with a virtual-file table.
#ifndef KES_CONVERTERS_RUNTIME_TESTS_DFTEST_H
#define KES_CONVERTERS_RUNTIME_TESTS_DFTEST_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "converters/runtime/cx.h"

namespace dft {

using bytes = std::vector<uint8_t>;

inline uint32_t crc32(const uint8_t *p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

// Bytes of a stream: a pattern that differs from sector to sector.
inline bytes pattern(size_t n, uint32_t seed) {
  bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<uint8_t>(x >> 16);
  }
  return b;
}

struct stream {
  std::string name;
  bytes data;
};

// Where the writer put things, for tests that damage them.
struct layout {
  std::vector<int32_t> fatsectors;
  int32_t ext = -2;
  int32_t dirstart = -2;
  int32_t minifat = -2;
  int32_t ministart = -2;
  std::vector<int32_t> starts;  // per stream: first sector or mini sector
  std::vector<bool> inmini;
};

inline void put32(bytes &b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put16(bytes &b, size_t off, uint16_t v) {
  b[off] = static_cast<uint8_t>(v);
  b[off + 1] = static_cast<uint8_t>(v >> 8);
}

// Writes a compound file. FAT sectors come first, then the extension
// sector, mini FAT, directory, mini stream and the big streams, so that the
// file ends with the last big stream's data; with dirlast the directory
// comes after the big streams instead, as other writers place it.
inline bytes write(const std::vector<stream> &streams, layout *where = nullptr, bool usemini = true,
                   bool dirlast = false) {
  layout l;
  size_t nmini = 0, nbig = 0;
  std::vector<size_t> secs(streams.size());
  for (size_t i = 0; i < streams.size(); ++i) {
    size_t n = streams[i].data.size();
    bool mini = usemini && n < 4096;
    l.inmini.push_back(mini);
    if (mini)
      nmini += (n + 63) / 64;
    else
      nbig += (secs[i] = (n + 511) / 512);
  }
  size_t ministreamsecs = (nmini * 64 + 511) / 512;
  size_t minifatsecs = (nmini + 127) / 128;
  size_t dirsecs = (streams.size() + 1 + 3) / 4;
  size_t payload = minifatsecs + dirsecs + ministreamsecs + nbig;
  size_t nfat = 1, next = 0;
  for (;;) {
    next = nfat > 109 ? 1 : 0;
    size_t total = nfat + next + payload;
    size_t need = (total + 127) / 128;
    if (need <= nfat) break;
    nfat = need;
  }
  size_t total = nfat + next + payload;
  std::vector<uint32_t> fat(nfat * 128, 0xFFFFFFFFu);
  size_t s = 0;
  for (; s < nfat; ++s) {
    fat[s] = 0xFFFFFFFDu;
    l.fatsectors.push_back(static_cast<int32_t>(s));
  }
  if (next) {
    fat[s] = 0xFFFFFFFCu;
    l.ext = static_cast<int32_t>(s++);
  }
  auto chain = [&](size_t count) -> int32_t {
    if (count == 0) return -2;
    int32_t first = static_cast<int32_t>(s);
    for (size_t k = 0; k < count; ++k, ++s) fat[s] = k + 1 < count ? static_cast<uint32_t>(s + 1) : 0xFFFFFFFEu;
    return first;
  };
  l.minifat = chain(minifatsecs);
  if (!dirlast) l.dirstart = chain(dirsecs);
  l.ministart = chain(ministreamsecs);
  l.starts.resize(streams.size());
  for (size_t i = 0; i < streams.size(); ++i)
    if (!l.inmini[i]) l.starts[i] = chain(secs[i]);
  if (dirlast) l.dirstart = chain(dirsecs);

  bytes f(512 + 512 * total, 0);
  static const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
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
  put32(f, 68, static_cast<uint32_t>(l.ext));
  put32(f, 72, next ? 1 : 0);
  for (size_t i = 0; i < 109; ++i) put32(f, 76 + 4 * i, i < nfat ? static_cast<uint32_t>(i) : 0xFFFFFFFFu);
  auto off = [](size_t sec) { return 512 + 512 * sec; };
  for (size_t i = 0; i < nfat * 128; ++i) put32(f, off(i / 128) + 4 * (i % 128), fat[i]);
  if (next) {
    for (size_t i = 0; i < 128; ++i)
      put32(f, off(l.ext) + 4 * i, 109 + i < nfat ? static_cast<uint32_t>(109 + i) : 0xFFFFFFFFu);
  }
  // Mini stream, mini FAT and the streams' bytes.
  std::vector<uint32_t> minifat(minifatsecs * 128, 0xFFFFFFFFu);
  size_t m = 0;
  for (size_t i = 0; i < streams.size(); ++i) {
    const bytes &d = streams[i].data;
    if (l.inmini[i]) {
      size_t count = (d.size() + 63) / 64;
      l.starts[i] = count ? static_cast<int32_t>(m) : -2;
      for (size_t k = 0; k < count; ++k, ++m) {
        minifat[m] = k + 1 < count ? static_cast<uint32_t>(m + 1) : 0xFFFFFFFEu;
        size_t at = off(l.ministart + m / 8) + 64 * (m % 8);
        size_t n = std::min<size_t>(64, d.size() - 64 * k);
        std::memcpy(f.data() + at, d.data() + 64 * k, n);
      }
    } else if (!d.empty()) {
      std::memcpy(f.data() + off(l.starts[i]), d.data(), d.size());
    }
  }
  for (size_t i = 0; i < minifat.size(); ++i) put32(f, off(l.minifat + i / 128) + 4 * (i % 128), minifat[i]);
  // Directory: the root, then one entry per stream as a chain of right siblings.
  auto entry = [&](size_t idx, const std::string &name, int type, int32_t right, int32_t child, int32_t start,
                   uint32_t size) {
    size_t at = off(l.dirstart + idx / 4) + 128 * (idx % 4);
    for (size_t i = 0; i < name.size() && i < 31; ++i) put16(f, at + 2 * i, static_cast<uint8_t>(name[i]));
    put16(f, at + 64, static_cast<uint16_t>(2 * (name.size() + 1)));
    f[at + 66] = static_cast<uint8_t>(type);
    f[at + 67] = 1;
    put32(f, at + 68, 0xFFFFFFFFu);
    put32(f, at + 72, static_cast<uint32_t>(right));
    put32(f, at + 76, static_cast<uint32_t>(child));
    put32(f, at + 116, static_cast<uint32_t>(start));
    put32(f, at + 120, size);
  };
  entry(0, "Root Entry", 5, -1, streams.empty() ? -1 : 1, l.ministart, static_cast<uint32_t>(nmini * 64));
  for (size_t i = 0; i < streams.size(); ++i)
    entry(i + 1, streams[i].name, 2, i + 1 < streams.size() ? static_cast<int32_t>(i + 2) : -1, -1,
          streams[i].data.empty() ? -2 : l.starts[i], static_cast<uint32_t>(streams[i].data.size()));
  for (size_t idx = streams.size() + 1; idx < dirsecs * 4; ++idx) {
    size_t at = off(l.dirstart + idx / 4) + 128 * (idx % 4);
    put32(f, at + 68, 0xFFFFFFFFu);
    put32(f, at + 72, 0xFFFFFFFFu);
    put32(f, at + 76, 0xFFFFFFFFu);
  }
  if (where) *where = l;
  return f;
}

// Sets the FAT entry of sector s in a file the writer made.
inline void setfat(bytes &f, const layout &l, int32_t s, uint32_t v) {
  put32(f, 512 + 512 * static_cast<size_t>(l.fatsectors[s / 128]) + 4 * (s % 128), v);
}

} // namespace dft

#endif  // KES_CONVERTERS_RUNTIME_TESTS_DFTEST_H
