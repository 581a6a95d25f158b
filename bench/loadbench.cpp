// Text loading through veksrv against its peers: records of man-page text
// (bodies of 2 KB to 60 KB) in load files of a folder, loaded by the loader
// engine through a source batch; the same rows through psql with one INSERT
// and commit per row; and through COPY. Prints rows/s and MB/s of each, the
// medians of the runs.
//   kes_bench_load [records] [runs]    (defaults 10000 and 3)
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/benchdb.h"
#include "bench/mancorpus.h"

namespace {

using benchdb::die;
using benchdb::Pq;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 100;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Bodies of 2 KB to 60 KB cut from the pages (printable ASCII and line
// ends only), sizes spread evenly over the range.
std::vector<std::string> bodies(const std::vector<std::string> &pages, int n) {
  std::string all;
  for (auto &p : pages) all += p;
  for (char &c : all)
    if (c != '\n' && (c < ' ' || c > '~')) c = ' ';
  std::vector<std::string> out;
  size_t at = 0;
  for (int i = 0; i < n; ++i) {
    size_t len = 2048 + static_cast<size_t>(i) * 7919 % (60 * 1024 - 2048);
    if (at + len > all.size()) at = 0;
    std::string b = all.substr(at, len);
    at += len;
    // A line of the text that reads as a record's end would end it early.
    for (size_t p = b.find("<"); p != std::string::npos; p = b.find("<", p + 1)) b[p] = '(';
    out.push_back(b);
  }
  return out;
}

void run(const std::string &cmd) {
  int rc = std::system(cmd.c_str());
  if (rc != 0) die(cmd + " failed");
}

}  // namespace

int main(int argc, char **argv) {
  int records = argc > 1 ? std::atoi(argv[1]) : 10000;
  int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  if (records < kFiles || runs < 1) die("usage: kes_bench_load [records >= 100] [runs]");
  Pq pq;
  std::vector<std::string> docs = bodies(mancorpus::pages(KES_MANCORPUS, 8 << 20), records);
  double mb = 0;
  for (auto &d : docs) mb += static_cast<double>(d.size());
  mb /= 1e6;
  std::string tmp = "/tmp/kes-bench-load-" + std::to_string(getpid());
  std::filesystem::create_directories(tmp);
  PQclear(pq.run("DO $$ BEGIN EXECUTE format('CREATE SCHEMA IF NOT EXISTS %I', current_user); END $$"));
  PQclear(pq.run("DROP TABLE IF EXISTS loadbench; CREATE TABLE loadbench (id integer PRIMARY KEY,"
                 " title varchar(80), body text)"));
  // The load files, written once; each run copies them into the folder.
  std::string files = tmp + "/files", inbox = tmp + "/inbox";
  std::filesystem::create_directories(files);
  for (int f = 0; f < kFiles; ++f) {
    std::ofstream out(files + "/load" + std::to_string(f), std::ios::binary);
    for (int i = f; i < records; i += kFiles)
      out << "<TEXTSTART: ID=" << i + 1 << ", TITLE='page " << i + 1 << "'>\n"
          << docs[static_cast<size_t>(i)] << "\n<TEXTEND>\n";
  }
  // One INSERT per row, committed on its own (psql's autocommit), and COPY.
  {
    std::ofstream ins(tmp + "/insert.sql", std::ios::binary), copy(tmp + "/copy.txt", std::ios::binary);
    for (int i = 0; i < records; ++i) {
      std::string b = docs[static_cast<size_t>(i)], q, c;
      for (char ch : b) {
        q += ch;
        if (ch == '\'') q += '\'';
        if (ch == '\\') c += "\\\\";
        else if (ch == '\n') c += "\\n";
        else if (ch == '\t') c += "\\t";
        else c += ch;
      }
      ins << "INSERT INTO loadbench VALUES (" << i + 1 << ", 'page " << i + 1 << "', '" << q
          << "\n');\n";
      copy << i + 1 << "\tpage " << i + 1 << "\t" << c << "\\n\n";
    }
  }
  std::string log = tmp + "/veksrv.log";
  pid_t pid = benchdb::startsrv(KES_VEKSRV, "R", log);
  pq.one("INSERT INTO dr$source (src_id, src_name, src_table_name, src_column_name)"
         " VALUES (9900, 'LOADBENCH', 'LOADBENCH', 'BODY') ON CONFLICT DO NOTHING");
  pq.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id)"
         " VALUES (99010, 'LOADBENCH_DIR', 10, 1) ON CONFLICT DO NOTHING");
  pq.one("DELETE FROM dr$preference_attribute WHERE pat_pre_id = 99010");
  pq.one("INSERT INTO dr$preference_attribute VALUES (99010, 'DIRECTORY', $1, 1)", {inbox});
  pq.one("INSERT INTO dr$policy_preference VALUES (9900, 10, 99010) ON CONFLICT DO NOTHING");

  std::vector<double> engine, insert, copy;
  for (int r = 0; r < runs; ++r) {
    pq.one("TRUNCATE loadbench");
    std::filesystem::remove_all(inbox);
    std::filesystem::copy(files, inbox);
    auto t0 = Clock::now();
    pq.one("CALL srcq.queue_batch(9900)");
    while (pq.one("SELECT count(*) FROM srcq.batch WHERE src_id = 9900") != "0")
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    engine.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    if (pq.one("SELECT count(*) FROM loadbench") != std::to_string(records))
      die("the loader engine did not load every record; see " + log);

    pq.one("TRUNCATE loadbench");
    t0 = Clock::now();
    run("psql -X -q -v ON_ERROR_STOP=1 -f " + tmp + "/insert.sql >/dev/null");
    insert.push_back(std::chrono::duration<double>(Clock::now() - t0).count());

    pq.one("TRUNCATE loadbench");
    t0 = Clock::now();
    run("psql -X -q -v ON_ERROR_STOP=1 -c '\\copy loadbench FROM " + tmp + "/copy.txt'");
    copy.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::printf("%d records, %.1f MB of text, %d load files, median of %d runs\n", records, mb,
              kFiles, runs);
  auto line = [&](const char *what, double s) {
    std::printf("  %-34s %8.2f s %10.0f rows/s %8.1f MB/s\n", what, s, records / s, mb / s);
  };
  double e = median(engine), i = median(insert), c = median(copy);
  line("loader engine (veksrv, source batch)", e);
  line("psql, INSERT and commit per row", i);
  line("COPY", c);
  std::printf("  loader engine / per-row INSERT: %.2f;  loader engine / COPY: %.2f\n", i / e, c / e);
  std::filesystem::remove_all(tmp);
  return 0;
}
