// Speed of the filter framework's compound-file reader: every stream of a
// corpus of compound files read whole through it, and beside it, in the
// same run, `gsf cat` on the same streams. The files are made by
// `gsf createole`: many small ones (a few streams of up to 20 KB each) and
// a few of 50 MB (one large stream and some small ones). Process start-up
// is left out of gsf's figure (the time of a `gsf cat` of a 1-byte stream
// is taken off each call), file loading out of the reader's (the files are
// in memory files before the clock starts). Target: at least gsf's rate on
// the large streams.
//   kes_bench_ole [number of small files] [number of large files]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/tests/olsttest.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
double mb(double bytes) { return bytes / (1 << 20); }

struct host {
  static int read(void*, void*, int, int* count) { return *count = 0; }
  static long seek(void*, long, int) { return 0; }
  static long tell(void*, long* pos) { return *pos = 0; }
  static void* alloc(void*, size_t size) { return std::calloc(1, size); }
  static int free(void*, void* block) {
    std::free(block);
    return 0;
  }
};

void write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct olefile {
  fs::path path;
  std::vector<std::pair<std::string, size_t>> streams;  // name, size
};

// A compound file of the given streams, made by gsf createole.
olefile make(const fs::path& dir, const std::string& name, const std::vector<size_t>& sizes, unsigned seed) {
  fs::path src = dir / (name + ".d");
  fs::create_directories(src);
  olefile f{dir / (name + ".ole"), {}};
  for (size_t i = 0; i < sizes.size(); i++) {
    std::string s = "s" + std::to_string(i);
    write(src / s, olt::pattern(sizes[i], seed + static_cast<unsigned>(i)));
    f.streams.push_back({s, sizes[i]});
  }
  std::string cmd = "cd '" + src.string() + "' && gsf createole '" + f.path.string() + "' * >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "gsf createole failed\n");
    std::exit(1);
  }
  fs::remove_all(src);
  return f;
}

// Reads every stream of the files through the reader; the seconds spent
// and the bytes read.
double readall(cvrun* run, convstate* st, const std::vector<olefile>& files, double* bytes) {
  static std::vector<char> buf(1 << 16);
  double t = 0;
  for (const olefile& f : files) {
    std::string data = slurp(f.path);
    int h = convmfcreate(st, "bench.ole", 2);
    convmfput(st, h, data.data(), static_cast<int>(data.size()));
    convmfshut(st, h);
    auto t0 = Clock::now();
    int stg = olstopen(run, "bench.ole");
    if (stg < 0) {
      std::fprintf(stderr, "%s: not opened\n", f.path.c_str());
      std::exit(1);
    }
    for (const auto& [name, size] : f.streams) {
      int slot = olstfind(run, stg, name.c_str());
      long got = 0;
      for (int n; slot >= 0 && (n = olstread(run, slot, buf.data(), static_cast<int>(buf.size()))) > 0;) got += n;
      if (got != static_cast<long>(size)) {
        std::fprintf(stderr, "%s %s: %ld bytes, not %zu\n", f.path.c_str(), name.c_str(), got, size);
        std::exit(1);
      }
      *bytes += static_cast<double>(got);
      olstclose(run, slot);
    }
    olstshut(run, stg);
    t += secs(t0, Clock::now());
    convmfdelete(run, "bench.ole");
  }
  return t;
}

// The same streams through gsf cat, one process each, less the start-up.
double gsfall(const std::vector<olefile>& files, double startup) {
  double t = 0;
  for (const olefile& f : files)
    for (const auto& [name, size] : f.streams) {
      std::string cmd = "gsf cat '" + f.path.string() + "' " + name + " >/dev/null";
      auto t0 = Clock::now();
      if (std::system(cmd.c_str()) != 0) std::exit(1);
      t += std::max(0.0, secs(t0, Clock::now()) - startup);
    }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int nsmall = argc > 1 ? std::atoi(argv[1]) : 200;
  int nlarge = argc > 2 ? std::atoi(argv[2]) : 2;
  if (std::system("gsf --version >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "gsf is not installed (libgsf-bin)\n");
    return 1;
  }
  fs::path dir = fs::temp_directory_path() / ("olebench." + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::vector<olefile> small, large;
  for (int i = 0; i < nsmall; i++)
    small.push_back(make(dir, "small" + std::to_string(i), {100, 3000, 5000, 20000, static_cast<size_t>(64 * (i % 50))},
                         static_cast<unsigned>(i * 10)));
  for (int i = 0; i < nlarge; i++)
    large.push_back(make(dir, "large" + std::to_string(i), {50u << 20, 1000, 8000}, static_cast<unsigned>(7000 + i)));
  olefile tiny = make(dir, "tiny", {1}, 1);

  static const convhostcb cb = {host::read, host::seek, host::tell, host::alloc, host::free};
  convstate* st = convopen(nullptr, &cb);
  convsetup(st);
  cvrun* run = st->run;
  cvinit(run, st->argc, st->argv, 1, 1, 1);
  olstreset(run);

  // gsf's start-up: the least of a few runs on a 1-byte stream.
  double startup = 1e9;
  for (int i = 0; i < 5; i++) {
    auto t0 = Clock::now();
    if (std::system(("gsf cat '" + tiny.path.string() + "' s0 >/dev/null").c_str()) != 0) return 1;
    startup = std::min(startup, secs(t0, Clock::now()));
  }
  std::printf("gsf start-up taken off each call: %.2f ms\n", startup * 1000);
  for (auto* set : {&small, &large}) {
    const char* what = set == &small ? "small files" : "large files";
    double bytes = 0;
    double ours = readall(run, st, *set, &bytes);
    double theirs = gsfall(*set, startup);
    std::printf("%-12s %4zu files %9.1f MB   reader %8.1f MB/s   gsf cat %8.1f MB/s\n", what, set->size(), mb(bytes),
                mb(bytes) / std::max(ours, 1e-9), mb(bytes) / std::max(theirs, 1e-9));
  }
  cvshutdown(run);
  convclose(st);
  fs::remove_all(dir);
  return 0;
}
