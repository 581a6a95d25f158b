// The machine's man pages rendered to plain ASCII, as a corpus for the
// benchmarks: rendered once into a cache file that later runs read.
#ifndef KES_BENCH_MANCORPUS_H
#define KES_BENCH_MANCORPUS_H

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The cache file when the caller names none: in the build tree, so that the
// pages are rendered once per build.
#ifndef KES_MANCORPUS
#define KES_MANCORPUS "/tmp/kes-mancorpus.bin"
#endif

namespace mancorpus {

// One man page as plain ASCII: rendered by the formatter itself (man's own
// set-up costs more than most pages), overstrikes removed, any byte outside
// ASCII made a question mark.
inline std::string render(const std::string &path) {
  std::string cat = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0 ? "zcat" : "cat";
  std::string cmd = cat + " '" + path + "' 2>/dev/null | groff -man -Tascii -rLL=80n -P-c -P-b -P-u"
                    " 2>/dev/null";
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  for (char &c : out)
    if (static_cast<unsigned char>(c) > 127 || c == '\0') c = '?';
  return out;
}

// The man page files, largest first (fewer formatter runs a megabyte),
// then by name, so that every build renders the same pages in the same order.
inline std::vector<std::string> files() {
  std::vector<std::pair<uintmax_t, std::string>> found;
  for (int sec = 1; sec <= 8; ++sec) {
    std::string dir = "/usr/share/man/man" + std::to_string(sec);
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
      std::string p = e.path().string();
      if (p.find('\'') != std::string::npos || !e.is_regular_file()) continue;
      found.emplace_back(e.file_size(), p);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const auto &a, const auto &b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
  std::vector<std::string> out;
  for (auto &f : found) out.push_back(std::move(f.second));
  return out;
}

// The pages of the cache file, and pages rendered anew until they hold at
// least want bytes (in the order of files(), several at a time, appended to
// the cache). The cache holds a length line and the bytes, page after page;
// "<cache>.next" holds how many files it has gone through.
inline std::vector<std::string> pages(const std::string &cache, size_t want) {
  std::vector<std::string> out;
  size_t total = 0, next = 0;
  if (std::ifstream in{cache, std::ios::binary}) {
    for (std::string len; std::getline(in, len);) {
      std::string page(std::stoul(len), '\0');
      in.read(page.data(), static_cast<std::streamsize>(page.size()));
      total += page.size();
      out.push_back(std::move(page));
    }
    std::ifstream n{cache + ".next"};
    if (!(n >> next)) next = out.empty() ? 0 : ~size_t{0};  // a cache of old: taken as it is
  }
  if (total >= want || next == ~size_t{0}) return out;
  std::vector<std::string> all = files();
  if (next >= all.size()) return out;
  unsigned workers = std::max(2u, std::min(4u, std::thread::hardware_concurrency() / 2));
  std::printf("rendering man pages into %s (%zu MB wanted, %u at a time) ...\n", cache.c_str(),
              want >> 20, workers);
  std::fflush(stdout);
  std::ofstream outf(cache, std::ios::binary | std::ios::app);
  // Rounds of a few pages per worker, kept in file order, until enough.
  while (total < want && next < all.size()) {
    size_t round = std::min(all.size() - next, size_t{workers} * 8);
    std::vector<std::string> got(round);
    std::atomic<size_t> at{0};
    std::vector<std::thread> ts;
    for (unsigned w = 0; w < workers; ++w)
      ts.emplace_back([&] {
        for (size_t i; (i = at++) < round;) got[i] = render(all[next + i]);
      });
    for (auto &t : ts) t.join();
    next += round;
    for (std::string &page : got) {
      if (page.size() < 200) continue;
      outf << page.size() << '\n' << page;
      total += page.size();
      out.push_back(std::move(page));
    }
  }
  outf.flush();
  std::ofstream{cache + ".next"} << next << '\n';
  std::printf("%zu pages, %.1f MB\n", out.size(), static_cast<double>(total) / (1 << 20));
  return out;
}

}  // namespace mancorpus

#endif
