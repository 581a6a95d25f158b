// Speed and memory of the document filter framework on plain text: every
// document goes through the host interface (detection, the plain-text
// reader, the writer, the intermediate file made plain text) and is pulled
// in 2000-byte chunks, as the document pipeline's host does. Beside it, in
// the same run, iconv converts the same bytes from code page 437 to ISO
// 8859-1: the limit. Target: at least a tenth of iconv's rate. Memory: the
// host's peak of the blocks it handed out, per document; it must not grow
// with the document beyond the intermediate file and the text.
//   kes_bench_txt [man-page cache]
// Corpora: the machine's man pages rendered to ASCII (bench/mancorpus.h),
// the copyright files of /usr/share/doc as found, and those files as one
// large document.
#include <iconv.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/cvhost.h"
#include "bench/mancorpus.h"
#include "filters/framework/runtime/cv.h"
#include "filters/readers/rdr.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
double mb(double bytes) { return bytes / (1 << 20); }

using cvbench::host;
using cvbench::kcb;

// What one document gave: the lengths of its text and intermediate file,
// and the host's peak.
struct result {
  bool ok;
  size_t text, com, peak;
};

// Pulls the text, or with `com` also the intermediate file, whole.
result convert(const std::string& doc, bool com = false) {
  host h{&doc};
  convstate* st = convopen(&h, &kcb);
  char buf[2000];
  size_t got[2] = {0, 0};
  for (int pass = 0; pass < (com ? 2 : 1); pass++) {
    for (;;) {
      int n = 0;
      int r = pass == 0 ? convgettext(st, buf, sizeof buf, &n) : convgetint(st, buf, sizeof buf, &n);
      if (r != 1) {
        convclose(st);
        return {false, 0, 0, h.peak};
      }
      if (n <= 0) break;
      got[pass] += n;
    }
  }
  convclose(st);
  return {true, got[0], got[1], h.peak};
}

// iconv from code page 437 to ISO 8859-1 over a document; its output length.
size_t iconvert(iconv_t cd, const std::string& doc, std::string& out) {
  out.resize(doc.size() * 2 + 16);
  char* in = const_cast<char*>(doc.data());
  size_t inleft = doc.size();
  char* o = out.data();
  size_t oleft = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (inleft > 0) {
    if (iconv(cd, &in, &inleft, &o, &oleft) == static_cast<size_t>(-1)) {
      // A character without a Latin-1 form is dropped, as the framework
      // writes '_' for it.
      if (inleft == 0) break;
      in++;
      inleft--;
    }
  }
  return out.size() - oleft;
}

struct corpus {
  const char* name;
  std::vector<std::string> docs;
};

void run(const corpus& c, iconv_t cd) {
  size_t bytes = 0, text = 0, refused = 0, peak = 0, peakdoc = 0;
  auto t0 = Clock::now();
  for (const std::string& d : c.docs) {
    result r = convert(d);
    bytes += d.size();
    if (!r.ok) {
      refused++;
      continue;
    }
    text += r.text;
    if (r.peak > peak) peak = r.peak, peakdoc = d.size();
  }
  auto t1 = Clock::now();
  std::string out;
  size_t iout = 0;
  for (const std::string& d : c.docs) iout += iconvert(cd, d, out);
  auto t2 = Clock::now();
  double fw = mb(bytes) / secs(t0, t1), ic = mb(bytes) / secs(t1, t2);
  std::printf("%-22s %6zu docs %8.1f MB | framework %7.1f MB/s | iconv %8.1f MB/s | ratio 1/%-5.1f %s\n", c.name,
              c.docs.size(), mb(bytes), fw, ic, ic / fw, fw * 10 >= ic ? "ok" : "BELOW TARGET");
  std::printf("%-22s refused by detection %zu; text %.1f MB (iconv %.1f MB); host peak %.2f MB, for a %.2f MB "
              "document\n",
              "", refused, mb(text), mb(iout), mb(peak), mb(peakdoc));
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  // The server's per-command heap keeps its pages from block to block; so
  // does this host, rather than handing them back to the system each time.
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  rdrregister();
  iconv_t cd = iconv_open("ISO-8859-1", "CP437");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::perror("iconv_open");
    return 1;
  }
  corpus man{"man pages", mancorpus::pages(argc > 1 ? argv[1] : KES_MANCORPUS, 50u << 20)};
  corpus copy{"copyright files", {}};
  std::vector<std::string> paths;
  for (const auto& e : std::filesystem::recursive_directory_iterator("/usr/share/doc"))
    if (e.path().filename() == "copyright" && e.is_regular_file()) paths.push_back(e.path().string());
  std::sort(paths.begin(), paths.end());
  for (const std::string& p : paths) copy.docs.push_back(slurp(p));
  corpus big{"one large document", {{}}};
  for (const std::string& d : copy.docs) big.docs[0] += d;
  std::printf("framework pull to plain text (2000-byte chunks) beside iconv CP437 -> ISO-8859-1\n\n");
  for (const corpus* c : {&man, &copy, &big}) run(*c, cd);
  // The same document at four sizes: the peak must follow the files alone.
  std::printf("\npeak by document size (the large document cut to size):\n");
  for (size_t n : {64u << 10, 1u << 20, 4u << 20, 16u << 20}) {
    if (big.docs[0].size() < n) break;
    std::string d = big.docs[0].substr(0, n);
    result r = convert(d, true);
    std::printf("  %6.2f MB document: intermediate %6.2f MB + text %6.2f MB; host peak %6.2f MB, "
                "%.2f MB beyond the two files\n",
                mb(n), mb(r.com), mb(r.text), mb(r.peak), mb(static_cast<double>(r.peak) - r.com - r.text));
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\nprocess peak RSS %.1f MB (the corpora themselves held in memory)\n", ru.ru_maxrss / 1024.0);
  iconv_close(cd);
  return 0;
}
