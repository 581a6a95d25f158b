// Speed of the HTML conversion and of the Japanese conversion, each beside a
// program that does the like on the same bytes, in one run with medians.
//   kes_bench_htmlfilter [rounds]
// HTML: the HTML pages the installed packages carry under /usr/share/doc,
// repeated to at least 100 MB, in text mode and in highlight mode (a hit
// of five characters every hundred), beside html2text over the same files
// once a round (many files a process). Target: text mode at least twice
// html2text's rate.
// Japanese: a generated Shift-JIS text of 20 MB, detected and converted
// into JA16EUC, beside iconv -f SHIFT_JIS -t EUC-JP on the same bytes.
// Target: at least half of iconv's rate.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dr/drgh/drghc.h"
#include "dr/drgh/druj.h"
#include "tests/fixtures/pipe/htmlfix.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
double mb(double bytes) { return bytes / (1 << 20); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A server state under an NLS_LANG.
drsrvstate *state(const char *nls) {
  setenv("NLS_LANG", nls, 1);
  drsrvstate *st = nullptr;
  if (dracnnew(&st) != 0) {
    std::fprintf(stderr, "no server state for %s\n", nls);
    std::exit(1);
  }
  return st;
}

// One document through the converter (hits: highlight mode); the bytes out.
size_t convert(drsrvstate *st, drghcstate *c, const std::string &doc, const std::vector<int32_t> *offs,
               const std::vector<int32_t> *lens) {
  htmlfix::Buffers b(st, doc);
  int rc = offs ? drghcmark(c, &b.src, &b.dst, 1, offs->data(), lens->data(), lens->data(),
                            static_cast<uint32_t>(offs->size()), "<b>", "</b>")
                : drghctext(c, &b.src, &b.dst, 1);
  if (rc != 0) {
    std::fprintf(stderr, "conversion failed\n");
    std::exit(1);
  }
  return static_cast<size_t>(b.dst.len);
}

// Seconds a shell command takes.
double timed(const std::string &cmd) {
  auto t0 = Clock::now();
  if (std::system(cmd.c_str()) != 0) return -1;
  return secs(t0, Clock::now());
}

void html(int rounds) {
  std::vector<std::string> docs, paths;
  size_t bytes = 0;
  for (auto &e : std::filesystem::recursive_directory_iterator(
           "/usr/share/doc", std::filesystem::directory_options::skip_permission_denied)) {
    if (!e.is_regular_file() || e.path().extension() != ".html") continue;
    docs.push_back(slurp(e.path()));
    paths.push_back(e.path());
    bytes += docs.back().size();
  }
  if (docs.empty()) {
    std::printf("html: no HTML pages under /usr/share/doc\n");
    return;
  }
  // The file names for html2text, which takes many at a time.
  std::string list = "/tmp/kes-htmlbench.list";
  {
    std::ofstream out(list, std::ios::binary);
    for (const std::string &p : paths) out << p << '\0';
  }
  int repeat = static_cast<int>((100u << 20) / bytes) + 1;
  std::printf("html: %zu pages, %.1f MB, repeated %d times (%.1f MB) per round, %d rounds\n",
              docs.size(), mb(bytes), repeat, mb(static_cast<double>(bytes) * repeat), rounds);
  drsrvstate *st = state("AMERICAN_AMERICA.WE8ISO8859P1");
  drghcstate *c = drghcnew(st);
  std::vector<int32_t> offs, lens;
  for (int32_t i = 1; i < (1 << 24); i += 100) {
    offs.push_back(i);
    lens.push_back(5);
  }
  bool havetool = std::system("command -v html2text >/dev/null 2>&1") == 0;
  std::vector<double> text, mark, h2t;
  size_t textout = 0, markout = 0;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    textout = 0;
    for (int k = 0; k < repeat; ++k)
      for (const std::string &d : docs) textout += convert(st, c, d, nullptr, nullptr);
    auto t1 = Clock::now();
    markout = 0;
    for (int k = 0; k < repeat; ++k)
      for (const std::string &d : docs) markout += convert(st, c, d, &offs, &lens);
    auto t2 = Clock::now();
    double h = havetool ? timed("xargs -0 html2text -o /dev/null <" + list + " >/dev/null 2>&1 || true") : -1;
    double all = static_cast<double>(bytes) * repeat;
    text.push_back(mb(all) / secs(t0, t1));
    mark.push_back(mb(all) / secs(t1, t2));
    if (h > 0) h2t.push_back(mb(static_cast<double>(bytes)) / h);
  }
  std::printf("html text mode:      %8.1f MB/s (text %.1f MB per round)\n", median(text),
              mb(static_cast<double>(textout)));
  std::printf("html highlight mode: %8.1f MB/s (HTML %.1f MB per round)\n", median(mark),
              mb(static_cast<double>(markout)));
  if (h2t.empty()) {
    std::printf("html2text:           not installed (Debian package html2text)\n");
  } else {
    std::printf("html2text:           %8.1f MB/s\n", median(h2t));
    std::printf("text mode / html2text: %.2fx (target 2x)\n", median(text) / median(h2t));
  }
  // The figures for scripts/bench: name, ours, the peer's, the target.
  std::printf("figure\thtml_text_mb_s\t%.3f\t%s\t>=2x\n", median(text),
              h2t.empty() ? "-" : std::to_string(median(h2t)).c_str());
  std::printf("figure\thtml_highlight_mb_s\t%.3f\t%s\t-\n", median(mark),
              h2t.empty() ? "-" : std::to_string(median(h2t)).c_str());
  drghcfree(c);
  dracnfre(&st);
  std::remove(list.c_str());
}

// A Shift-JIS text: kanji, kana and ASCII words, lines of about 60 bytes;
// every pair is an assigned JIS X 0208 character.
std::string sjiscorpus(size_t size) {
  std::string s;
  unsigned x = 12345;
  auto rnd = [&] { return x = x * 1103515245u + 12345u, (x >> 16) & 0x7FFF; };
  size_t line = 0;
  while (s.size() < size) {
    unsigned k = rnd() % 10;
    if (k < 2) {
      s += "word ";
      line += 5;
    } else {
      // Hiragana, or a kanji of the first level (rows 16 to 46).
      unsigned j1 = k < 5 ? 0x24 : 0x30 + rnd() % 0x1F;
      unsigned j2 = 0x21 + rnd() % (k < 5 ? 0x53 : 0x5E);
      s += static_cast<char>((j1 + 1) / 2 + (j1 < 0x5F ? 0x70 : 0xB0));
      s += static_cast<char>(j1 % 2 == 0 ? j2 + 0x7E : j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20);
      line += 2;
    }
    if (line >= 60) {
      s += '\n';
      line = 0;
    }
  }
  return s;
}

void japanese(int rounds) {
  const std::string doc = sjiscorpus(20u << 20);
  const std::string path = "/tmp/kes-htmlbench.sjis";
  {
    std::ofstream out(path, std::ios::binary);
    out << doc;
  }
  drsrvstate *st = state("JAPANESE_JAPAN.JA16EUC");
  std::vector<double> ours, ic;
  size_t outlen = 0;
  for (int r = 0; r < rounds; ++r) {
    htmlfix::Buffers b(st, doc);
    auto t0 = Clock::now();
    drujstate j;
    drujinit(st, &j);
    if (drujdetect(&j, &b.src) != 0 || druvfseek(&b.src, 0, 0) < 0 || j.enc != NLS_JA16SJIS ||
        drujconv(&j, &b.src, &b.dst) != 0) {
      std::fprintf(stderr, "Japanese conversion failed\n");
      std::exit(1);
    }
    ours.push_back(mb(static_cast<double>(doc.size())) / secs(t0, Clock::now()));
    outlen = static_cast<size_t>(b.dst.len);
    double s = timed("iconv -f SHIFT_JIS -t EUC-JP " + path + " >/dev/null");
    if (s > 0) ic.push_back(mb(static_cast<double>(doc.size())) / s);
  }
  std::printf("japanese: %.1f MB of Shift-JIS, %d rounds, %.1f MB of EUC out\n",
              mb(static_cast<double>(doc.size())), rounds, mb(static_cast<double>(outlen)));
  std::printf("detection + conversion: %8.1f MB/s\n", median(ours));
  if (!ic.empty()) {
    std::printf("iconv:                  %8.1f MB/s\n", median(ic));
    std::printf("ours / iconv: %.2fx (target 0.5x)\n", median(ours) / median(ic));
  }
  std::printf("figure\tjapanese_sjis_to_euc_mb_s\t%.3f\t%s\t>=0.5x\n", median(ours),
              ic.empty() ? "-" : std::to_string(median(ic)).c_str());
  dracnfre(&st);
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char **argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  html(rounds);
  japanese(rounds);
  return 0;
}
