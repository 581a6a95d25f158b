// Speed of the Word reader: generated Word 6 and Word 2 documents (a few MB
// each, and many small ones) pulled as plain text through the host
// interface in 2000-byte chunks, the Word 6 text in bold and plain runs
// under a style sheet and a section; every other document is fast-saved,
// its text in pieces stored out of order. Beside it, in the same run,
// antiword on the same files (when it is installed; it refuses fast-saved
// Word 2 files). Target: at least half antiword's rate.
//   kes_bench_ww
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/cvhost.h"
#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/word6gen.h"
#include "converters/word/tests/wordgen.h"
#include "filters/framework/runtime/cv.h"
#include "filters/readers/rdr.h"
#include "filters/word/ww.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
double mb(double bytes) { return bytes / (1 << 20); }

// Paragraphs of words from a fixed seed, about size bytes.
std::string paragraphs(wgen::kind k, size_t size, unsigned seed) {
  static const char* const w[] = {"alpha", "brown", "quick", "lazy", "document", "reader",
                                  "text",  "word",  "index", "query", "server", "table"};
  char mark = k == wgen::word2 ? '\n' : '\r';
  std::string s;
  while (s.size() < size) {
    for (int i = 0; i < 12; i++) {
      seed = seed * 1103515245u + 12345u;
      s += w[(seed >> 16) % 12];
      s += i == 11 ? mark : ' ';
    }
  }
  return s;
}

struct doc {
  std::string name, bytes;
};

// Pulls every document; the bytes of text it gave.
size_t pullall(const std::vector<doc>& docs) {
  size_t out = 0;
  char buf[2000];
  for (const doc& d : docs) {
    cvbench::host h{&d.bytes};
    convstate* st = convopen(&h, &cvbench::kcb);
    for (int n = 0;;) {
      if (convgettext(st, buf, sizeof buf, &n) == -1 || n <= 0) break;
      out += static_cast<size_t>(n);
    }
    convclose(st);
  }
  return out;
}

void report(const char* what, const std::vector<doc>& docs, const std::string& dir) {
  size_t in = 0;
  for (const doc& d : docs) in += d.bytes.size();
  auto a = Clock::now();
  size_t out = pullall(docs);
  auto b = Clock::now();
  std::printf("%-28s %4zu docs %8.2f MB  reader %8.2f MB/s (%zu bytes of text)\n", what, docs.size(), mb(in),
              mb(in) / secs(a, b), out);
  if (std::system("command -v antiword >/dev/null 2>&1") != 0) return;
  a = Clock::now();
  for (const doc& d : docs) {
    std::string cmd = "antiword '" + dir + "/" + d.name + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == -1) return;
  }
  b = Clock::now();
  std::printf("%-28s %4zu docs %8.2f MB  antiword %6.2f MB/s\n", what, docs.size(), mb(in), mb(in) / secs(a, b));
}

// The text cut into pieces of about n bytes each.
std::vector<std::string> cut(const std::string& text, size_t n) {
  std::vector<std::string> p;
  for (size_t at = 0; at < text.size(); at += n) p.push_back(text.substr(at, n));
  return p;
}

doc make(wgen::kind k, size_t size, unsigned seed, const std::string& dir, const std::string& name) {
  wgen::spec s;
  s.k = k;
  std::string text = paragraphs(k, size, seed);
  s.complex = seed % 2 == 1;
  s.pieces = s.complex ? cut(text, text.size() / 8 + 1) : std::vector<std::string>{text};
  s.padto = k == wgen::word6 ? 5000 : 0;
  wgen::bytes b;
  if (k == wgen::word6) {
    // Word 6 text in character runs, every other one bold, so that each
    // run switch goes through the properties and their output.
    wgen::w6spec w;
    w.text = s;
    int32_t len = static_cast<int32_t>(text.size());
    w.seds = {{0, std::string("\x8e\x02", 2)}};
    // The generator lists runs in text order, which for pieces stored out of
    // order is not the order of their file offsets that saved files keep:
    // fast-saved documents carry their text in the style's properties.
    for (int32_t cp = 0; cp < len && !s.complex; cp += 300)
      w.chps.push_back({cp, cp / 300 % 2 ? std::string("\x55\x01") : ""});
    b = wgen::word6doc(w);
  } else {
    b = wgen::make(s);
  }
  doc d{name, std::string(b.begin(), b.end())};
  fixgen::save(dir + "/" + name, d.bytes);
  return d;
}

}  // namespace

int main() {
  rdrregister();
  convsetreader(44, wwrmain);  // plain Word 2 files go to the same reader
  std::string dir = (std::filesystem::temp_directory_path() / "kes_bench_ww").string();
  std::filesystem::create_directories(dir);
  for (wgen::kind k : {wgen::word6, wgen::word2}) {
    const char* name = k == wgen::word6 ? "Word 6" : "Word 2";
    std::vector<doc> big, small;
    for (int i = 0; i < 3; i++) big.push_back(make(k, 3u << 20, i + 1, dir, std::string(name).substr(5) + "big" + std::to_string(i) + ".doc"));
    for (int i = 0; i < 200; i++)
      small.push_back(make(k, 2000, 100 + i, dir, std::string(name).substr(5) + "small" + std::to_string(i) + ".doc"));
    report((std::string(name) + ", large").c_str(), big, dir);
    report((std::string(name) + ", small").c_str(), small, dir);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
