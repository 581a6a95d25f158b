// The benchmarks' host of the filter framework: one document in memory and
// a heap that counts what it holds, for the peak of host memory.
#ifndef KES_BENCH_CVHOST_H
#define KES_BENCH_CVHOST_H

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filters/framework/runtime/cv.h"

namespace cvbench {

// A host over one document whose heap counts what it holds: each block
// carries its size in a header before the bytes it hands out.
struct host {
  const std::string* doc;
  long pos = 0;
  size_t held = 0, peak = 0;

  static constexpr size_t khead = 16;
  static host* of(void* u) { return static_cast<host*>(u); }
  static int read(void* u, void* buf, int len, int* count) {
    host* h = of(u);
    long left = static_cast<long>(h->doc->size()) - h->pos;
    int n = len > 32767 ? 32767 : len;
    if (n > left) n = left > 0 ? static_cast<int>(left) : 0;
    std::memcpy(buf, h->doc->data() + h->pos, n);
    h->pos += n;
    return *count = n;
  }
  static long seek(void* u, long off, int origin) {
    host* h = of(u);
    long base = origin == 0 ? 0 : origin == 1 ? h->pos : static_cast<long>(h->doc->size());
    return base + off < 0 ? -1 : (h->pos = base + off);
  }
  static long tell(void* u, long* pos) { return *pos = of(u)->pos; }
  static void* alloc(void* u, size_t size) {
    host* h = of(u);
    auto* b = static_cast<unsigned char*>(std::calloc(1, khead + size + 3));
    if (!b) return nullptr;
    std::memcpy(b, &size, sizeof size);
    h->held += size + 3;
    h->peak = std::max(h->peak, h->held);
    return b + khead;
  }
  static int free(void* u, void* p) {
    auto* b = static_cast<unsigned char*>(p) - khead;
    size_t size;
    std::memcpy(&size, b, sizeof size);
    of(u)->held -= size + 3;
    std::free(b);
    return 0;
  }
};

inline const convhostcb kcb = {host::read, host::seek, host::tell, host::alloc, host::free};

using Clock = std::chrono::steady_clock;
inline double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
inline double mb(double bytes) { return bytes / (1 << 20); }

// What pulling a corpus through the framework took.
struct pulled {
  double bytes = 0, secs = 0;
  size_t peak = 0;  // the most host memory one document held
  int failed = 0;   // documents that gave no text
};

// Pulls one document as plain text in 2000-byte chunks, through the host.
inline void pull(const std::string& doc, pulled* r) {
  host h{&doc};
  auto t0 = Clock::now();
  convstate* st = convopen(&h, &kcb);
  char buf[2000];
  int n = 0;
  long got = 0;
  while (convgettext(st, buf, sizeof buf, &n) == 1 && n > 0) got += n;
  if (got == 0) r->failed++;
  convclose(st);
  r->secs += secs(t0, Clock::now());
  r->bytes += static_cast<double>(doc.size());
  r->peak = std::max(r->peak, h.peak);
}

// Seconds the reference program (a command and its options) takes over the
// same documents, one process per document; the files are written first,
// untimed, into a scratch folder that is removed after. -1 when it fails.
inline double reference(const std::vector<std::string>& docs, const std::string& tool, const std::string& ext) {
  std::string dir = std::filesystem::temp_directory_path() / ("kes_bench_ref." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  for (size_t i = 0; i < docs.size(); i++)
    std::ofstream(dir + "/d" + std::to_string(i) + ext, std::ios::binary) << docs[i];
  double took = 0;
  auto t0 = Clock::now();
  for (size_t i = 0; i < docs.size() && took >= 0; i++) {
    std::string c = tool + " " + dir + "/d" + std::to_string(i) + ext + " > /dev/null 2>&1";
    if (std::system(c.c_str()) != 0) took = -1;
  }
  if (took >= 0) took = secs(t0, Clock::now());
  std::filesystem::remove_all(dir);
  return took;
}

// One line of figures: the reader's MB/s beside the reference program's
// over the same documents, and the host memory's peak.
inline void report(const char* name, const std::vector<std::string>& docs, const std::string& tool,
                   const std::string& ext) {
  pulled r;
  for (const auto& d : docs) pull(d, &r);
  double ref = reference(docs, tool, ext);
  std::string label = tool.substr(0, tool.find(' '));
  std::printf("%-28s %5zu docs %8.2f MB  reader %7.2f MB/s  %s %7.2f MB/s  peak %7.2f MB%s\n", name, docs.size(),
              mb(r.bytes), mb(r.bytes) / r.secs, label.c_str(), ref > 0 ? mb(r.bytes) / ref : 0.0, mb(r.peak),
              r.failed ? "  (failures)" : "");
}

}  // namespace cvbench

#endif
