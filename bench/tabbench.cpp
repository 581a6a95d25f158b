// Speed and memory of the writer on a table-heavy document: a reader of its
// own writes 10,000 rows of 4 cells, a footnote every 50 rows, a header and
// a footer, and the plain text is pulled through the host in 2000-byte
// chunks. In the same run the same words go through the plain-text reader
// as a text document: the yardstick (no Debian tool writes this format).
// Rates are of processor time. Target: at least a third of the plain-text rate, and a peak of host memory
// that does not grow with the rows beyond the intermediate file and the text.
//   kes_bench_tab [rows]
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/cvhost.h"
#include "filters/framework/runtime/cv.h"
#include "filters/framework/writer/cw.h"
#include "filters/readers/rdr.h"

namespace {

// Processor time of the process: the figures hold on a loaded machine.
double cpunow() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }
double mb(double bytes) { return bytes / (1 << 20); }

using cvbench::host;
using cvbench::kcb;

int nrows = 10000;

// The word of a cell: the same words the text document holds.
std::string word(int row, int col) { return "cell" + std::to_string(row) + "x" + std::to_string(col); }

int tablereader(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 1, 1);
  if (cvopenout(run, 2048) < 0) convfatal(run, RDR_NOOUTPUT);
  cwhfdesc hf{1, 0, 3, 0, 0, 0};
  cwheadbeg(run, &hf);
  cwputs(run, "header");
  cwheadend(run);
  cwtabdesc d{1, 4, 0, {}, {}};
  cwtabbeg(run, &d);
  for (int c = 0; c < 4; c++) cwcelladd(run, 1440 + c * 2000, 1440 + (c + 1) * 2000);
  cwtabstart(run);
  for (int r = 0; r < nrows; r++) {
    if (r) cwrownew(run);
    for (int c = 0; c < 4; c++) {
      cwcellnext(run);
      cwputs(run, word(r, c).c_str());
      if (c == 3 && r % 50 == 0) {
        cwftnbeg(run);
        cwputs(run, "note");
        cwftnend(run);
      }
    }
  }
  cwtabend(run);
  hf.which = 2;
  cwfootbeg(run, &hf);
  cwputs(run, "footer");
  cwfootend(run);
  cvcloseio(run);
  cvshutdown(run);
  return 0;
}

struct result {
  bool ok;
  size_t text, peak;
  double secs;
  size_t com;
};

result pull(const std::string& doc) {
  host h{&doc};
  double t0 = cpunow();
  convstate* st = convopen(&h, &kcb);
  char buf[2000];
  size_t got = 0;
  for (;;) {
    int n = 0;
    if (convgettext(st, buf, sizeof buf, &n) != 1) {
      convclose(st);
      return {false, got, h.peak, 0};
    }
    if (n <= 0) break;
    got += n;
  }
  double took = cpunow() - t0;
  // The intermediate file, measured after the timing.
  size_t com = 0;
  for (int n = 0; convgetint(st, buf, sizeof buf, &n) == 1 && n > 0;) com += n;
  convclose(st);
  return {true, got, h.peak, took, com};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) nrows = std::max(1, std::atoi(argv[1]));
  rdrregister();
  // The same words as plain text, a row to a line.
  std::string text;
  for (int r = 0; r < nrows; r++) {
    for (int c = 0; c < 4; c++) text += word(r, c) + (c < 3 ? " " : "\n");
  }
  result plain = pull(text);
  convsetreader(1, tablereader);
  result tab = pull("table document\n");
  rdrregister();
  // A tenth of the rows: the peak must not grow with them beyond the files.
  int full = nrows;
  nrows = std::max(1, full / 10);
  convsetreader(1, tablereader);
  result small = pull("table document\n");
  rdrregister();
  if (!plain.ok || !tab.ok || !small.ok) {
    std::printf("a pull failed\n");
    return 1;
  }
  std::printf("rows %d, text of the table %.2f MB, of the plain text %.2f MB\n", full, mb(tab.text), mb(plain.text));
  std::printf("table writer:      %8.2f MB/s  peak %8.2f MB\n", mb(tab.text) / tab.secs, mb(tab.peak));
  std::printf("plain-text reader: %8.2f MB/s  peak %8.2f MB\n", mb(plain.text) / plain.secs, mb(plain.peak));
  std::printf("rate ratio %.2f (target at least 0.33)\n", (mb(tab.text) / tab.secs) / (mb(plain.text) / plain.secs));
  std::printf("peak at %d rows %.2f MB, at %d rows %.2f MB; intermediate file and text there %.2f MB\n", nrows,
              mb(small.peak), full, mb(tab.peak), mb(tab.com + tab.text));
  return 0;
}
