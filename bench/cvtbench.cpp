// Converts a generated corpus of Word 1.x/2.0 and Word 6 documents (a few
// large ones and many small ones) with the converter entries, in this
// process, and with antiword, one process per document, on the same files in
// the same run; prints the input megabytes per second of both.
// Usage: kes_bench_cvt [FOLDER]   (the corpus is written there, or in /tmp)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "converters/formats/cvt.h"
#include "converters/word/tests/wordgen.h"

extern char** environ;

namespace {

struct group {
  const char* name;
  int id;                          // converter id
  int count;                       // documents
  size_t size;                     // bytes of text in each
  std::vector<std::string> files;
  double bytes = 0;
};

// A paragraph of ordinary text, now and then with a field.
std::string paragraph(unsigned n) {
  static const char* words[] = {"index", "of", "the", "retrieval", "server", "documents", "and",
                                "queries", "with", "terms", "lists", "scores", "converter"};
  std::string p;
  for (unsigned i = 0; i < 40; i++) {
    p += words[(n * 7 + i * 3) % 13];
    p += ' ';
  }
  if (n % 5 == 0) p += "\x13SYMBOL 183 \\f \"Symbol\" \\s 10\x15 ";
  if (n % 7 == 0) p += "\x13PAGE\x14" "7\x15 ";
  return p + "\r";
}

std::string text(size_t size, unsigned seed) {
  std::string t;
  for (unsigned n = seed; t.size() < size; n++) t += paragraph(n);
  return t;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs antiword on a file with its output thrown away; false when it fails.
bool antiword(const std::string& file) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>("antiword"), const_cast<char*>(file.c_str()), nullptr};
  pid_t pid;
  int rc = posix_spawnp(&pid, "antiword", &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return false;
  int ws = 0;
  while (waitpid(pid, &ws, 0) < 0) {
  }
  return WIFEXITED(ws) && WEXITSTATUS(ws) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  if (argc > 1) {
    dir = argv[1];
  } else {
    char tmpl[] = "/tmp/kes-bench-cvt-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    dir = tmpl;
  }
  group groups[] = {{"word 2, 3 x 4 MB", 7, 3, 4000000, {}},
                    {"word 2, 400 x 3 KB", 7, 400, 3000, {}},
                    {"word 6, 3 x 4 MB", 11, 3, 4000000, {}},
                    {"word 6, 400 x 3 KB", 11, 400, 3000, {}}};
  int serial = 0;
  for (group& g : groups) {
    for (int i = 0; i < g.count; i++) {
      wgen::kind k = g.id == 7 ? wgen::word2 : wgen::word6;
      wgen::bytes doc = wgen::make({k, {text(g.size, static_cast<unsigned>(i))}});
      std::string path = dir + "/doc" + std::to_string(serial++) + ".doc";
      if (!wgen::save(path, doc.data(), doc.size())) {
        std::fprintf(stderr, "kes_bench_cvt: cannot write %s\n", path.c_str());
        return 1;
      }
      g.files.push_back(path);
      g.bytes += static_cast<double>(doc.size());
    }
  }
  std::string out = dir + "/out.txt";
  bool haveantiword = antiword(groups[0].files[0]);
  std::printf("%-22s %12s %12s %16s\n", "corpus", "MB", "entry MB/s", "antiword MB/s");
  for (group& g : groups) {
    cvtentry entry = nullptr;
    cvtfind(g.id, &entry);
    int failed = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (const std::string& f : g.files)
      if (entry(f.c_str(), out.c_str()) != 0) failed++;
    double ours = seconds(t0);
    double theirs = 0;
    int theirfailed = 0;
    if (haveantiword) {
      t0 = std::chrono::steady_clock::now();
      for (const std::string& f : g.files)
        if (!antiword(f)) theirfailed++;
      theirs = seconds(t0);
    }
    double mb = g.bytes / 1e6;
    std::printf("%-22s %12.1f %12.1f", g.name, mb, mb / ours);
    if (haveantiword)
      std::printf(" %16.1f", mb / theirs);
    else
      std::printf(" %16s", "not found");
    if (failed || theirfailed) std::printf("  (failed: entry %d, antiword %d)", failed, theirfailed);
    std::printf("\n");
  }
  if (argc <= 1) {
    for (group& g : groups)
      for (const std::string& f : g.files) std::remove(f.c_str());
    std::remove(out.c_str());
    ::rmdir(dir.c_str());
  }
  return 0;
}
