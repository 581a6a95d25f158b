// Text loading through a veksrv process that takes text-loading batches:
// sources defined in the dictionary, load files written into scratch
// folders, batches queued with srcq.queue_batch; the rows, the files left
// and the log of each batch.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/server/pgtest.h"

namespace {

using pgtest::Conn;

bool has(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

void put(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The names in a folder, sorted, without "." and "..".
std::string names(const std::string &dir) {
  std::vector<std::string> v;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") v.push_back(n);
    }
    closedir(d);
  }
  std::sort(v.begin(), v.end());
  std::string out;
  for (auto &n : v) out += (out.empty() ? "" : " ") + n;
  return out;
}

const char kExample[] =
    "<TEXTSTART: TITLE='Annual report',\n"
    "AUTHOR='Smith'>\n"
    "First line of the text.\n"
    "Second line of the text.\n"
    "<TEXTEND>\n"
    "<TEXTSTART: TITLE='Notes'>\n"
    "A single line.\n"
    "<TEXTEND>\n";

// A translator program: writes a load file of one record whose text is
// the input's; nothing for an input named "*silent*"; fails for "*crash*"
// after writing half a load file.
const char kToload[] =
    "#!/bin/sh\n"
    "case \"$1\" in\n"
    "  *silent*) exit 0 ;;\n"
    "  *crash*) printf '<TEXTSTART: ID=9>\\nhalf\\n<TEXTEND>\\n' > \"$2\"; exit 3 ;;\n"
    "esac\n"
    "[ -s \"$1\" ] || exit 0\n"
    "printf \"<TEXTSTART: ID=%s>\\n\" \"$(head -c 1 \"$1\")\" > \"$2\"\n"
    "cat \"$1\" >> \"$2\"\n"
    "printf '<TEXTEND>\\n' >> \"$2\"\n";

struct Loading : ::testing::Test {
  pgtest::Role owner{"ldr"};
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  std::string home, scratch, schema;
  int nextid = 7000;

  void SetUp() override {
    PGTEST_NEED_DB(db);
    scratch = srv.dir + "/files";
    home = srv.dir + "/home";
    ASSERT_EQ(mkdir(scratch.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((home + "/bin").c_str(), 0700), 0);
    ASSERT_EQ(symlink(KES_SOURCE_DIR "/messages", (home + "/messages").c_str()), 0);
    put(home + "/bin/toload", kToload);
    chmod((home + "/bin/toload").c_str(), 0755);
    c = std::make_unique<Conn>(db.name);
    // A failed batch is set aside at once, so that its end is a row to wait for.
    c->one("CREATE OR REPLACE FUNCTION dispatcher.max_tries() RETURNS integer "
           "LANGUAGE sql IMMUTABLE AS $$ SELECT 1 $$");
    c->one("GRANT CREATE ON DATABASE " + db.name + " TO " + owner.name);
    schema = owner.name;
    {
      Conn a(db.name, owner.name);
      a.one("CREATE SCHEMA " + schema);
      a.one("CREATE TABLE " + schema + ".docs (id integer PRIMARY KEY, title varchar(80), "
            "author varchar(40), body text)");
      a.one("CREATE TABLE " + schema + ".notext (id integer, title varchar(80))");
      a.one("CREATE TABLE " + schema + ".plain (title varchar, author varchar(40), body text)");
    }
    c->one("SELECT dr_utl.join_user($1)", {owner.name});
    // A table of the servers' login in her schema, which she may not write.
    c->one("CREATE TABLE " + schema + ".theirs (id integer, body text)");
    std::string saved = getenv("KESTRIN_HOME") ? getenv("KESTRIN_HOME") : "";
    setenv("KESTRIN_HOME", home.c_str(), 1);
    srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "R"}, db.name);
    setenv("KESTRIN_HOME", saved.c_str(), 1);
    ASSERT_TRUE(srv.ready()) << srv.out();
  }

  // A source over a folder into a table of the owner, with the translator kind and its attribute; its id.
  int source(const std::string &dir, const std::string &table, int trnobj = 1,
             const std::optional<std::string> &trnattr = std::nullopt,
             const std::string &owner_ = "") {
    int id = nextid++;
    std::string own = owner_.empty() ? owner.name : owner_;
    std::string ow = own, tb = table;
    for (auto &ch : ow) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    c->one("INSERT INTO dr$source (src_id, src_name, src_owner, src_table_name, src_column_name)"
           " VALUES ($1::integer, 'S' || $1, $2, $3, 'BODY')",
           {std::to_string(id), ow, tb});
    std::string r = std::to_string(id * 10 + 1), t = std::to_string(id * 10 + 2);
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES "
           "($1::integer, 'R' || $1, 10, 1), ($2::integer, 'T' || $2, 9, $3::integer)",
           {r, t, std::to_string(trnobj)});
    c->one("INSERT INTO dr$preference_attribute VALUES ($1::integer, 'DIRECTORY', $2, 1)",
           {r, dir});
    if (trnattr)
      c->one("INSERT INTO dr$preference_attribute VALUES ($1::integer, $2, $3, 1)",
             {t, trnobj == 2 ? "PROGRAM" : "FILE_NAMES", *trnattr});
    c->one("INSERT INTO dr$policy_preference VALUES ($1::integer, 10, $2::integer), "
           "($1::integer, 9, $3::integer)",
           {std::to_string(id), r, t});
    return id;
  }

  // A new scratch folder.
  std::string folder(const std::string &name) {
    std::string d = scratch + "/" + name;
    EXPECT_EQ(mkdir(d.c_str(), 0700), 0);
    return d;
  }

  // Queues a batch for the source and waits for its end: "done" when it
  // was closed, "X" when it failed (and was set aside). The log it wrote
  // goes to *log.
  // The server writes a batch's messages to its log after it has settled
  // the batch: a check waits for the line (after the last run's start)
  // rather than reading the log once.
  size_t last = 0;
  bool seen(const std::string &, const std::string &text) {
    return pgtest::until(
        [&] {
          std::string all = srv.log();
          return all.find(text, std::min(last, all.size())) != std::string::npos;
        },
        60);
  }

  std::string run(int src, std::string *log) {
    size_t from = srv.log().size();
    last = from;
    c->one("CALL srcq.queue_batch($1::integer)", {std::to_string(src)});
    std::string sql = "SELECT coalesce((SELECT state FROM srcq.batch WHERE src_id = $1::integer),"
                      " 'done')";
    bool ended = pgtest::until(
        [&] {
          auto s = c->one(sql, {std::to_string(src)});
          return s == "done" || s == "X";
        },
        60);
    EXPECT_TRUE(ended) << srv.log();
    std::string all = srv.log();
    *log = all.substr(std::min(from, all.size()));
    return *c->one(sql, {std::to_string(src)});
  }

  std::string rows(const std::string &table, const std::string &cols = "id, title, body") {
    std::string out;
    for (auto &r : c->col("SELECT concat_ws('|', " + cols + ") FROM " + table + " ORDER BY 1"))
      out += r + ";";
    return out;
  }
};

TEST_F(Loading, TheExampleLoadsTwoRows) {
  std::string d = folder("example");
  put(d + "/one.txt", kExample);
  int src = source(d, "PLAIN");
  std::string log;
  EXPECT_EQ(run(src, &log), "done") << log;
  EXPECT_EQ(rows(schema + ".plain", "title, coalesce(author, '<null>'), body"),
            "Annual report|Smith|First line of the text.\nSecond line of the text.\n;"
            "Notes|<null>|A single line.\n;");
  EXPECT_EQ(names(d), "");
  EXPECT_TRUE(seen(log, "scanning directory: " + d + "\n")) << log;
  EXPECT_TRUE(seen(log, "All documents processed.\n")) << log;
}

struct Case {
  const char *name;
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes ("/" ends a folder)
  const char *table;   // under the owner's schema
  const char *state;   // "done" or "X"
  const char *rows;    // of docs: id|title|body;...
  const char *left;    // names left in the folder
  std::vector<std::string> log;
};

TEST_F(Loading, EdgeCasesOfFoldersAndLoadFiles) {
  const std::string big(65534, 'b'), full(65535, 'f');
  const Case cases[] = {
      {"only subfolders", {{"sub/", ""}}, "docs", "done", "", "sub", {"nothing to be done\n"}},
      {"empty folder", {}, "docs", "done", "", "", {"nothing to be done\n"}},
      {"no text column",
       {{"a", "<TEXTSTART: ID=1>\nx\n<TEXTEND>\n"}, {"b", "<TEXTSTART: ID=2>\ny\n<TEXTEND>\n"}},
       "notext", "X", "", "a b",
       {"DRG-11517", "DRG-12100", "Load cycle completed with complications.\n"}},
      {"empty load file", {{"a", ""}}, "docs", "X", "", "a", {"DRG-11514: line 0"}},
      {"unknown column",
       {{"a", "<TEXTSTART: ID=1, TITLE='t1'>\none\n<TEXTEND>\n"
              "<TEXTSTART: ID=2, NOPE='x'>\ntwo\n<TEXTEND>\n"}},
       "docs", "X", "1|t1|one\n;", "a",
       {"DRG-11509: line 4: the record is not loaded\n", "DRG-11502: line 4: the table has no column NOPE\n",
        "DRG-11514: line 4"}},
      {"repeated key",
       {{"a", "<TEXTSTART: ID=1>\none\n<TEXTEND>\n<TEXTSTART: ID=1>\nagain\n<TEXTEND>\n"
              "<TEXTSTART: ID=2>\ntwo\n<TEXTEND>\n"}},
       "docs", "done", "1|one\n;2|two\n;", "", {"DRG-11509: line 6", "All documents processed.\n"}},
      {"no commas, doubled quote",
       {{"a", "<TEXTSTART: ID=1 TITLE='O''Brien'\nAUTHOR=Smith>\nx\n<TEXTEND>\n"}}, "docs", "done",
       "1|O'Brien|x\n;", "", {}},
      {"ends after > with a line end", {{"a", "<TEXTSTART: ID=1>\nx\n<TEXTEND>\n"}}, "docs", "done",
       "1|x\n;", "", {}},
      {"ends after > without a line end", {{"a", "<TEXTSTART: ID=1>\nx\n<TEXTEND>"}}, "docs",
       "done", "1|x\n;", "", {}},
      {"a good file beside a dangling link",
       {{"a", "<TEXTSTART: ID=1>\nx\n<TEXTEND>\n"}, {"link@", "nowhere"}}, "docs", "done",
       "1|x\n;", "link", {"DRG-51802", "DRG-12100: file ", "All documents processed.\n"}},
  };
  int n = 0;
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    c->one("TRUNCATE " + schema + ".docs");
    std::string d = folder("c" + std::to_string(n++));
    for (auto &f : k.files) {
      if (!f.first.empty() && f.first.back() == '/') {
        mkdir((d + "/" + f.first).c_str(), 0700);
      } else if (!f.first.empty() && f.first.back() == '@') {
        ASSERT_EQ(symlink(f.second.c_str(), (d + "/" + f.first.substr(0, f.first.size() - 1)).c_str()), 0);
      } else {
        put(d + "/" + f.first, f.second);
      }
    }
    std::string log;
    EXPECT_EQ(run(source(d, k.table), &log), k.state) << log;
    if (std::string(k.table) == "docs") {
      std::string got;
      for (auto &r : c->col("SELECT concat_ws('|', id, title, body) FROM " + schema +
                            ".docs ORDER BY id"))
        got += r + ";";
      EXPECT_EQ(got, k.rows);
    }
    EXPECT_EQ(names(d), k.left);
    for (auto &l : k.log) EXPECT_TRUE(seen(log, l)) << l << "\n" << log;
  }
}

TEST_F(Loading, PathsThatNameNoFolder) {
  put(scratch + "/file", "x");
  for (std::string p : {scratch + "/file", scratch + "/missing"}) {
    std::string log;
    EXPECT_EQ(run(source(p, "DOCS"), &log), "X");
    EXPECT_TRUE(seen(log, "DRG-51805: " + p)) << log;
  }
}

TEST_F(Loading, NamedDocuments) {
  std::string d = folder("named");
  ASSERT_EQ(mkdir((d + "/docs").c_str(), 0700), 0);
  put(d + "/docs/empty", "");
  put(d + "/docs/big", std::string(65534, 'b'));
  put(d + "/docs/full", std::string(65535, 'f'));
  put(scratch + "/outside", "secret");
  mkfifo((d + "/docs/fifo").c_str(), 0600);
  struct {
    const char *named;
    const char *log;  // empty: loads
  } const cases[] = {
      {"docs/empty", "DRG-11505"},
      {"docs/big", ""},
      {"docs/full", "DRG-11504"},
      {"docs", "DRG-11510"},
      {"docs/fifo", "DRG-11510"},
      {"../outside", "DRG-11510"},
  };
  int id = 1;
  for (auto &k : cases) {
    SCOPED_TRACE(k.named);
    c->one("TRUNCATE " + schema + ".docs");
    put(d + "/load", "<TEXTSTART: ID=" + std::to_string(id) + ">\n" + k.named + "\n<TEXTEND>\n");
    std::string log;
    std::string state = run(source(d, "DOCS", 1, "1"), &log);
    if (!*k.log) {
      EXPECT_EQ(state, "done") << log;
      EXPECT_EQ(c->one("SELECT length(body) FROM " + schema + ".docs"), "65534");
    } else {
      EXPECT_EQ(state, "X");
      EXPECT_TRUE(seen(log, k.log)) << log;
      if (std::string(k.log) == "DRG-11504") EXPECT_TRUE(seen(log, "DRG-11505")) << log;
      EXPECT_EQ(c->one("SELECT count(*) FROM " + schema + ".docs"), "0");
    }
    unlink((d + "/load").c_str());
    id++;
  }
}

TEST_F(Loading, TranslatorPrograms) {
  std::string d = folder("prog");
  put(d + "/1.txt", "1 text of one\n");
  put(d + "/silent", "not translated\n");
  put(d + "/empty", "");
  put(d + "/crash", "2 half\n");
  std::string log;
  EXPECT_EQ(run(source(d, "DOCS", 2, "toload"), &log), "X") << log;
  EXPECT_EQ(rows(schema + ".docs"), "1|1 text of one\n;");
  EXPECT_EQ(names(d), "crash silent");
  EXPECT_TRUE(seen(log, "DRG-12005: could not translate " + d + "/silent")) << log;
  EXPECT_TRUE(seen(log, "DRG-12003: the translator program ended with status 3")) << log;
  EXPECT_TRUE(seen(log, "DRG-12100: file " + d + "/crash")) << log;
  // The translations are gone too.
  EXPECT_EQ(names(srv.dir).find("drb"), std::string::npos) << names(srv.dir);

  // No program, one outside bin, one that is not there.
  struct {
    std::optional<std::string> prog;
    const char *log;
  } const bad[] = {{std::nullopt, "DRG-12002"}, {"../toload", "DRG-11205"}, {"missing", "DRG-12002"}};
  for (auto &b : bad) {
    SCOPED_TRACE(b.log);
    EXPECT_EQ(run(source(d, "DOCS", 2, b.prog), &log), "X");
    EXPECT_TRUE(seen(log, b.log)) << log;
    EXPECT_TRUE(seen(log, "DRG-51501")) << log;
  }
  EXPECT_EQ(names(d), "crash silent");
}

TEST_F(Loading, SourcesThatCannotLoad) {
  std::string d = folder("refused");
  put(d + "/a", "<TEXTSTART: ID=1>\nx\n<TEXTEND>\n");
  std::string log;
  // A table the owner may not write.
  EXPECT_EQ(run(source(d, "THEIRS"), &log), "X");
  EXPECT_TRUE(seen(log, "DRG-11518")) << log;
  EXPECT_EQ(c->one("SELECT count(*) FROM " + schema + ".theirs"), "0");
  EXPECT_EQ(names(d), "a");
  // A source deleted after its batch was queued.
  int src = source(d, "DOCS");
  c->one("BEGIN");
  c->one("CALL srcq.queue_batch($1::integer)", {std::to_string(src)});
  c->one("DELETE FROM dr$policy_preference WHERE ppr_pol_id = $1::integer", {std::to_string(src)});
  c->one("DELETE FROM dr$source WHERE src_id = $1::integer", {std::to_string(src)});
  c->one("COMMIT");
  EXPECT_TRUE(pgtest::waitrow(*c, "SELECT state FROM srcq.batch WHERE src_id = $1::integer", "X", 60,
                              {std::to_string(src)}))
      << srv.log();
  EXPECT_TRUE(srv.waitlog("DRG-50607")) << srv.log();
  EXPECT_EQ(names(d), "a");
}

}  // namespace
