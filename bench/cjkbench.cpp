// Speed of the Asian lexers, fed from memory through a test filter, medians
// of five runs: the Japanese lexer over the text lines of the Japanese man
// pages in EUC-JP and in Shift-JIS beside mecab (word segmentation of the
// same text in UTF-8) and the database's to_tsvector('simple', ...) over the
// UTF-8 rows; the Korean lexer over the Korean message catalogues (its
// dictionaries from the build tree) beside to_tsvector. Targets: Japanese at
// least mecab's MB/s and at least the database's; Korean at least half of
// the database's. Needs the PG environment of the private cluster.
//   kes_bench_cjk [ja|ko]   (both by default)
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/benchdb.h"
#include "dr/drl/drlj.h"
#include "dr/drl/drlk.h"
#include "platform/nls/nls.h"
#include "tests/fixtures/pipe/pipefix.h"

namespace {

using Clock = std::chrono::steady_clock;
using benchdb::die;
using benchdb::Pq;
namespace fs = std::filesystem;

constexpr size_t kJapanese = 16u << 20;  // bytes of UTF-8 text at least
constexpr size_t kKorean = 8u << 20;
constexpr int kRuns = 5;

std::string sh(const std::string &cmd) {
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// Documents of about 64 KB from the text, repeated to at least want bytes.
std::vector<std::string> docs(const std::string &text, size_t want) {
  std::vector<std::string> out;
  size_t total = 0;
  for (size_t at = 0; total < want && !text.empty(); at = at >= text.size() ? 0 : at) {
    size_t end = text.find('\n', std::min(text.size(), at + 65536));
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(at, end - at));
    total += out.back().size();
    at = end + 1;
  }
  return out;
}

std::vector<std::string> convert(const std::vector<std::string> &utf8, uint16_t id) {
  std::vector<std::string> out;
  for (const std::string &d : utf8) {
    std::string b(d.size() * 2 + 8, '\0');
    size_t used = 0, bad = 0;
    long n = nlsfromutf8(nlscsbyid(id), b.data(), b.size(), d.data(), d.size(), &used, &bad);
    if (n < 0) die("no conversion");
    b.resize(static_cast<size_t>(n));
    out.push_back(b);
  }
  return out;
}

size_t bytes(const std::vector<std::string> &v) {
  size_t n = 0;
  for (const auto &d : v) n += d.size();
  return n;
}

struct Run {
  double secs = 0;
  size_t tokens = 0;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The median time of the lexer over the documents, and its tokens.
Run lex(drsrvstate *st, drobj *(*make)(drsrvstate *, drheap), int32_t objid,
        const std::vector<std::string> &d) {
  pipefix::Prefs prefs(st);
  pipefix::MemFilter f(d);
  drobj *l = make(st, st->seshp);
  if (!l || drops<drlexops>(l)->bnd(l, 1, f.obj(), prefs.add(DRCLS_LEXER, objid, {})) != 0 ||
      drops<drlexops>(l)->mode(l, 1) != 0)
    die("no lexer");
  const drlexops *ops = drops<drlexops>(l);
  std::vector<double> times;
  Run r;
  for (int k = 0; k < kRuns; ++k) {
    f.cur = -1;
    size_t tokens = 0;
    auto t0 = Clock::now();
    int32_t op = 0;
    char *key = nullptr;
    while (ops->next(l, &op, &key) == 0) {
      drtoken *t = nullptr;
      int32_t n = 0;
      int rc;
      do {
        rc = ops->tok(l, 0, &t, &n);
        if (rc == 1) die("tok failed");
        tokens += static_cast<size_t>(n);
      } while (rc != 2);
    }
    times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    r.tokens = tokens;
  }
  ops->free(l);
  r.secs = median(times);
  return r;
}

// The median time of to_tsvector('simple', ...) over the rows, in one statement.
double tsvector(Pq &pq, const std::vector<std::string> &d) {
  pq.one("DROP SCHEMA IF EXISTS kes_cjkbench CASCADE");
  pq.one("CREATE SCHEMA kes_cjkbench");
  pq.one("CREATE TABLE kes_cjkbench.docs (id integer PRIMARY KEY, body text)");
  pq.load("kes_cjkbench.docs", d);
  pq.one("CREATE FUNCTION pg_temp.timed(q text) RETURNS double precision LANGUAGE plpgsql AS $$"
         " DECLARE t0 timestamptz; r bigint; BEGIN t0 := clock_timestamp(); EXECUTE q INTO r;"
         " RETURN extract(epoch FROM clock_timestamp() - t0); END $$");
  std::vector<double> times;
  for (int k = 0; k < kRuns; ++k)
    times.push_back(std::stod(pq.one("SELECT pg_temp.timed('SELECT sum(length(to_tsvector(''simple'',"
                                     " body))) FROM kes_cjkbench.docs')")));
  pq.one("DROP SCHEMA kes_cjkbench CASCADE");
  pq.one("DROP FUNCTION pg_temp.timed(text)");
  return median(times);
}

void line(const char *what, size_t n, const Run &r) {
  std::printf("%-44s %6.1f MB %8.3f s %8.1f MB/s", what, n / 1048576.0, r.secs, n / 1048576.0 / r.secs);
  if (r.tokens) std::printf(" %7.2f M tokens/s", static_cast<double>(r.tokens) / r.secs / 1e6);
  std::printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (!std::getenv("PGHOST")) die("no PG environment: start the private cluster first");
  const std::string only = argc > 1 ? argv[1] : "";
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
  Pq pq;
  pq.one("SET client_min_messages = warning");
  drsrvstate *st = nullptr;
  if (only != "ko") {

  // Japanese.
  std::string ja = sh("zcat /usr/share/man/ja/man1/*.gz 2>/dev/null | grep -v '^[.\\x27]'");
  if (ja.size() < 100000) die("manpages-ja is not installed");
  std::vector<std::string> jadocs = docs(ja, kJapanese);
  const size_t jabytes = bytes(jadocs);
  std::printf("Japanese: %zu documents, %.1f MB of UTF-8 text\n", jadocs.size(), jabytes / 1048576.0);
  setenv("NLS_LANG", "JAPANESE_JAPAN.JA16EUC", 1);
  if (dracnnew(&st) != 0) die("no server state");
  auto *lang = static_cast<nlslang *>(st->lxhd);
  std::vector<std::string> euc = convert(jadocs, NLS_JA16EUC), sjis = convert(jadocs, NLS_JA16SJIS);
  Run reuc = lex(st, drljnew, 2, euc);
  lang->cs = nlscsbyid(NLS_JA16SJIS);
  Run rsjis = lex(st, drljnew, 2, sjis);
  // mecab over the same text in UTF-8.
  fs::path tmp = fs::temp_directory_path() / ("kes-cjkbench-" + std::to_string(getpid()));
  {
    std::ofstream o(tmp, std::ios::binary);
    for (const auto &d : jadocs) o << d << '\n';
  }
  Run rmecab;
  if (!sh("command -v mecab").empty()) {
    std::vector<double> times;
    for (int k = 0; k < kRuns; ++k) {
      auto t0 = Clock::now();
      if (std::system(("mecab -Owakati < " + tmp.string() + " > /dev/null").c_str()) != 0) die("mecab failed");
      times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    rmecab.secs = median(times);
  }
  fs::remove(tmp);
  Run rts{tsvector(pq, jadocs), 0};
  line("Japanese lexer, EUC-JP", bytes(euc), reuc);
  line("Japanese lexer, Shift-JIS", bytes(sjis), rsjis);
  if (rmecab.secs > 0) line("mecab -Owakati, UTF-8", jabytes, rmecab);
  else std::printf("mecab is not installed\n");
  line("to_tsvector('simple'), UTF-8", jabytes, rts);
  const double jaeuc = bytes(euc) / reuc.secs;
  std::printf("Japanese lexer (EUC-JP) per second: %.1f times mecab's bytes, %.1f times the database's"
              " (targets: 1 and 1)\n\n",
              rmecab.secs > 0 ? jaeuc / (jabytes / rmecab.secs) : 0.0, jaeuc / (jabytes / rts.secs));
  }
  if (only == "ja") return 0;

  // Korean.
  if (!st) {
    setenv("NLS_LANG", "KOREAN_KOREA.KO16KSC5601", 1);
    if (dracnnew(&st) != 0) die("no server state");
  }
  auto *lang = static_cast<nlslang *>(st->lxhd);
  std::string ko = sh("for f in /usr/share/locale/ko/LC_MESSAGES/*.mo; do msgunfmt \"$f\" 2>/dev/null;"
                      " done | sed -n 's/^msgstr \"\\(.*\\)\"$/\\1/p'");
  fs::path data = KES_BINARY_DIR "/vek73/data";
  if (ko.size() < 10000 || !fs::exists(data / "drkosdic.dat")) {
    std::printf("Korean: no catalogues or no dictionaries\n");
    return 0;
  }
  std::vector<std::string> kodocs = docs(ko, kKorean);
  const size_t kobytes = bytes(kodocs);
  std::printf("Korean: %zu documents, %.1f MB of UTF-8 text\n", kodocs.size(), kobytes / 1048576.0);
  std::vector<std::string> kr = convert(kodocs, NLS_KO16KSC5601);
  lang->cs = nlscsbyid(NLS_KO16KSC5601);
  setenv("KESTRIN_HOME", KES_BINARY_DIR, 1);
  Run rko = lex(st, drlknew, 3, kr);
  Run rkts{tsvector(pq, kodocs), 0};
  line("Korean lexer, EUC-KR", bytes(kr), rko);
  line("to_tsvector('simple'), UTF-8", kobytes, rkts);
  std::printf("Korean lexer per second: %.2f times the database's bytes (target: 0.5)\n",
              (bytes(kr) / rko.secs) / (kobytes / rkts.secs));
  return 0;
}
