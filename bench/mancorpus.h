// The machine's man pages rendered to plain ASCII, as a corpus for the
// benchmarks: rendered once into a cache file that later runs read.
#ifndef KES_BENCH_MANCORPUS_H
#define KES_BENCH_MANCORPUS_H

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The cache file when the caller names none: in the build tree, so that the
// pages are rendered once per build.
#ifndef KES_MANCORPUS
#define KES_MANCORPUS "/tmp/kes-mancorpus.bin"
#endif

namespace mancorpus {

// One man page as plain ASCII: rendered, overstrikes removed, any byte
// outside ASCII made a question mark.
inline std::string render(const std::string &path) {
  std::string cmd = "MANWIDTH=80 man -l -Tascii '" + path + "' 2>/dev/null | col -bx";
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

// The pages of the cache file, or rendered anew (at least want bytes of
// them, in file-name order, and cached) when there is none: length line,
// then the bytes, page after page.
inline std::vector<std::string> pages(const std::string &cache, size_t want) {
  std::vector<std::string> out;
  if (std::ifstream in{cache, std::ios::binary}) {
    for (std::string len; std::getline(in, len);) {
      std::string page(std::stoul(len), '\0');
      in.read(page.data(), static_cast<std::streamsize>(page.size()));
      out.push_back(std::move(page));
    }
    if (!out.empty()) return out;
  }
  std::vector<std::string> files;
  for (int sec = 1; sec <= 8; ++sec) {
    std::string dir = "/usr/share/man/man" + std::to_string(sec);
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
      std::string p = e.path().string();
      if (p.find('\'') == std::string::npos) files.push_back(p);
    }
  }
  std::sort(files.begin(), files.end());
  std::printf("rendering up to %zu man pages into %s ...\n", files.size(), cache.c_str());
  std::fflush(stdout);
  size_t total = 0;
  std::ofstream outf(cache, std::ios::binary);
  for (const std::string &f : files) {
    std::string page = render(f);
    if (page.size() < 200) continue;
    outf << page.size() << '\n' << page;
    total += page.size();
    out.push_back(std::move(page));
    if (total >= want) break;
  }
  return out;
}

}  // namespace mancorpus

#endif
