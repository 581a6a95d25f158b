// Converts a generated corpus of Word 1.x/2.0 and Word 6 documents and of
// Lotus 1-2-3 worksheets (a few large ones and many small ones) with the
// converter entries, in this process, and with an independent reader
// (antiword, wks2csv), one process per document, on the same files in the
// same run; prints the input megabytes per second of both.
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
#include "converters/formats/tests/lotgen.h"
#include "converters/word/tests/wordgen.h"

extern char** environ;

namespace {

struct group {
  const char* name;
  int id;                          // converter id
  int count;                       // documents
  size_t size;                     // bytes of text (or of worksheet) in each
  const char* ext;                 // file name extension: .doc, .wk1, .wk3
  const char* reader;              // the independent reader
  std::vector<std::string> files;
  double bytes = 0;
  bool present = false;            // the reader was found
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

// A document of a group: Word text, or a worksheet of the group's release.
std::string document(const group& g, unsigned seed) {
  switch (g.id) {
    case 7: case 11: {
      wgen::bytes doc = wgen::make({g.id == 7 ? wgen::word2 : wgen::word6, {text(g.size, seed)}});
      return std::string(doc.begin(), doc.end());
    }
    default: return lgen::bigsheet(std::string(g.ext) == ".wk3" ? lgen::wk3 : lgen::wk1, g.size, seed);
  }
}

// Runs a reader on a file with its output thrown away; false when it fails.
bool reader(const char* program, const std::string& file) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program), const_cast<char*>(file.c_str()), nullptr};
  pid_t pid;
  int rc = posix_spawnp(&pid, program, &fa, nullptr, argv, environ);
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
  group groups[] = {{"word 2, 3 x 4 MB", 7, 3, 4000000, ".doc", "antiword", {}},
                    {"word 2, 400 x 3 KB", 7, 400, 3000, ".doc", "antiword", {}},
                    {"word 6, 3 x 4 MB", 11, 3, 4000000, ".doc", "antiword", {}},
                    {"word 6, 400 x 3 KB", 11, 400, 3000, ".doc", "antiword", {}},
                    {"lotus wk1, 3 x 4 MB", 9, 3, 4000000, ".wk1", "wks2csv", {}},
                    {"lotus wk1, 400 x 3 KB", 9, 400, 3000, ".wk1", "wks2csv", {}},
                    {"lotus wk3, 3 x 4 MB", 9, 3, 4000000, ".wk3", "wks2csv", {}}};
  int serial = 0;
  for (group& g : groups) {
    for (int i = 0; i < g.count; i++) {
      std::string doc = document(g, static_cast<unsigned>(i));
      std::string path = dir + "/doc" + std::to_string(serial++) + g.ext;
      if (!wgen::save(path, doc.data(), doc.size())) {
        std::fprintf(stderr, "kes_bench_cvt: cannot write %s\n", path.c_str());
        return 1;
      }
      g.files.push_back(path);
      g.bytes += static_cast<double>(doc.size());
    }
  }
  std::string out = dir + "/out.txt";
  std::printf("%-22s %8s %12s %10s %12s\n", "corpus", "MB", "entry MB/s", "reader", "reader MB/s");
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
    // A reader counts as present when it reads the first file of the first
    // group that uses it; later files it refuses count as its failures.
    bool have = false;
    for (group& first : groups)
      if (std::string(first.reader) == g.reader) {
        have = &first == &g ? reader(g.reader, g.files[0]) : first.present;
        break;
      }
    g.present = have;
    if (have) {
      t0 = std::chrono::steady_clock::now();
      for (const std::string& f : g.files)
        if (!reader(g.reader, f)) theirfailed++;
      theirs = seconds(t0);
    }
    double mb = g.bytes / 1e6;
    std::printf("%-22s %8.1f %12.1f %10s", g.name, mb, mb / ours, g.reader);
    if (have)
      std::printf(" %12.1f", mb / theirs);
    else
      std::printf(" %12s", "not found");
    if (failed || theirfailed) std::printf("  (failed: entry %d, reader %d)", failed, theirfailed);
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
