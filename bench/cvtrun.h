// What the converter benchmarks share: a corpus of generated documents in
// groups, each group converted by a converter entry in this process and by
// an independent reader, one process per document, in the same run, and
// the megabytes of input per second of both printed as one row per group.
// A benchmark's main is one call of benchrun.
#ifndef KES_BENCH_CVTRUN_H
#define KES_BENCH_CVTRUN_H

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "converters/formats/cvt.h"
#include "converters/runtime/tests/fixgen.h"

extern char** environ;

// One group of documents of one kind.
struct benchgroup {
  const char* name;
  int id;                          // converter id
  int count;                       // documents
  size_t size;                     // bytes of text in each
  const char* ext;                 // file name extension
  std::vector<std::string> files;
  double bytes = 0;
  cvtentry entry = nullptr;        // the entry to time, when not the id's
};

// Runs program on file with standard output and errors thrown away; false
// when it cannot be started or does not exit with 0.
inline bool benchspawn(const char* program, const std::string& file) {
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
  while (waitpid(pid, &ws, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(ws) && WEXITSTATUS(ws) == 0;
}

// Text of about size bytes in paragraphs of ordinary words, each ended by
// end, from a seed; with fields, now and then a field too.
inline std::string benchtext(size_t size, unsigned seed, bool fields, const char* end) {
  static const char* words[] = {"index", "of", "the", "retrieval", "server", "documents", "and",
                                "queries", "with", "terms", "lists", "scores", "converter"};
  std::string t;
  for (unsigned n = seed; t.size() < size; n++) {
    for (unsigned i = 0; i < 40; i++) {
      t += words[(n * 7 + i * 3) % 13];
      t += ' ';
    }
    if (fields && n % 5 == 0) t += "\x13SYMBOL 183 \\f \"Symbol\" \\s 10\x15 ";
    if (fields && n % 7 == 0) t += "\x13PAGE\x14" "7\x15 ";
    if (!fields && n % 9 == 0) t += "caf\xe9 ";
    t += end;
  }
  return t;
}

// Seconds since a point of the steady clock.
inline double benchseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes the corpus into dir: make(group, i) gives the bytes of document i
// of a group; false (after saying so) when a file cannot be written.
template <class Make>
bool benchwrite(std::vector<benchgroup>& groups, const std::string& dir, Make make) {
  int serial = 0;
  for (benchgroup& g : groups)
    for (int i = 0; i < g.count; i++) {
      std::string doc = make(g, i);
      std::string path = dir + "/doc" + std::to_string(serial++) + g.ext;
      if (!fixgen::save(path, doc)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
      }
      g.files.push_back(path);
      g.bytes += static_cast<double>(doc.size());
    }
  return true;
}

// Converts every group with its entry and with reader, and prints the rows.
inline void benchcompare(std::vector<benchgroup>& groups, const char* reader, const std::string& dir) {
  std::string out = dir + "/out.txt";
  bool have = benchspawn(reader, groups[0].files[0]);
  std::printf("%-22s %12s %12s %12s MB/s\n", "corpus", "MB", "entry MB/s", reader);
  for (benchgroup& g : groups) {
    cvtentry entry = g.entry;
    if (!entry) cvtfind(g.id, &entry);
    int failed = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (const std::string& f : g.files)
      if (!entry || entry(f.c_str(), out.c_str()) != 0) failed++;
    double ours = benchseconds(t0);
    double theirs = 0;
    int theirfailed = 0;
    if (have) {
      t0 = std::chrono::steady_clock::now();
      for (const std::string& f : g.files)
        if (!benchspawn(reader, f)) theirfailed++;
      theirs = benchseconds(t0);
    }
    double mb = g.bytes / 1e6;
    std::printf("%-22s %12.1f %12.1f", g.name, mb, mb / ours);
    if (have)
      std::printf(" %17.1f", mb / theirs);
    else
      std::printf(" %17s", "not found");
    if (failed || theirfailed) std::printf("  (failed: entry %d, %s %d)", failed, reader, theirfailed);
    std::printf("\n");
  }
  std::remove(out.c_str());
}

// The corpus folder: the one named on the command line (kept), or a new
// one in /tmp that benchclean removes.
inline std::string benchdir(int argc, char** argv, const char* prefix) {
  if (argc > 1) return argv[1];
  std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
  return ::mkdtemp(tmpl.data()) ? tmpl : std::string();
}

// Removes a corpus the run made for itself.
inline void benchclean(int argc, const std::vector<benchgroup>& groups, const std::string& dir) {
  if (argc > 1) return;
  for (const benchgroup& g : groups)
    for (const std::string& f : g.files) std::remove(f.c_str());
  ::rmdir(dir.c_str());
}

// The body of a converter benchmark's main: writes the corpus into the
// folder (prefix names a fresh one in /tmp), converts and compares it with
// reader, and removes what the run made; the exit code.
template <class Make>
int benchrun(int argc, char** argv, const char* prefix, std::vector<benchgroup>& groups,
             const char* reader, Make make) {
  std::string dir = benchdir(argc, argv, prefix);
  if (dir.empty()) return 1;
  bool written = benchwrite(groups, dir, make);
  if (written) benchcompare(groups, reader, dir);
  benchclean(argc, groups, dir);
  return written ? 0 : 1;
}

#endif
