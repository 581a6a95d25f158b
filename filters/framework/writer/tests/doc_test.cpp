// Whole documents through the host: a scripted reader writes styles, tables,
// notes, headers and footers, comments, marked text, fields, a
// cross-reference and columns; the pulled plain text holds what it should,
// the intermediate file pairs every begin with its end. Random sequences of
// containers keep both true.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// The scripted reader: writes what the script says into a run of its own.
std::function<void(cvrun*)> script;
// While set, the host refuses every allocation.
bool refusing = false;

int scripted(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 1, 1);
  if (cvopenout(run, 2048) < 0) convfatal(run, RDR_NOOUTPUT);
  script(run);
  cvcloseio(run);
  cvshutdown(run);
  return 0;
}

struct pulled {
  std::string text, com;
};

pulled pull(const std::function<void(cvrun*)>& s) {
  auto refuse = [](size_t) { return refusing; };
  cwhookscope hooks;
  cvreaderscope reader(1, scripted);
  script = s;
  pulled p;
  {
    cvtesthost host("text");
    host.refuse = refuse;
    p.com = cvpullall(host.open(), 4096, false);
  }
  cvtesthost host("text");
  host.refuse = refuse;
  p.text = cvpullall(host.open(), 4096);
  return p;
}

// The containers' begin and end records, each end closing the innermost begin.
const struct {
  int begin[2];
  int end;
} kpairs[] = {{{13410, 0}, 13413},     {{15873, 0}, 6657},  {{20934, 0}, 14533},
              {{29896, 28872}, 24776}, {{20898, 0}, 20901}, {{26259, 6803}, 5779}};

// Whether every begin record has its end, in order, and the records are well formed.
bool balanced(const std::string& com, std::string* why) {
  if (!comwellformed(com)) {
    *why = "not well formed";
    return false;
  }
  std::vector<int> open;
  for (size_t i = 0; i + 4 < com.size(); i++) {
    if (com[i] != COM_ESC) continue;
    int code = comcodepack(com.substr(i + 2, 3).c_str());
    for (const auto& p : kpairs) {
      if (code == p.begin[0] || (p.begin[1] && code == p.begin[1])) open.push_back(p.end);
      if (code == p.end) {
        if (open.empty() || open.back() != code) {
          *why = "end " + std::to_string(code) + " at " + std::to_string(i);
          return false;
        }
        open.pop_back();
      }
    }
  }
  if (!open.empty()) *why = std::to_string(open.size()) + " left open";
  return open.empty();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  for (size_t nl; (nl = text.find("\r\n", at)) != std::string::npos; at = nl + 2) out.push_back(text.substr(at, nl - at));
  out.push_back(text.substr(at));
  return out;
}

void put(cvrun* r, const char* s) { cwputs(r, s); }

// The words of the limits' calls, counted as they are written.
int kepts = 0;
void keep(cvrun* r) {
  put(r, "kept ");
  kepts++;
}

void table(cvrun* r, int ncols) {
  cwtabdesc d{1, ncols, 0, {}, {}};
  cwtabbeg(r, &d);
  for (int i = 0; i < ncols; i++) cwcelladd(r, 1440 + i * 2000, 1440 + (i + 1) * 2000);
  cwtabstart(r);
}

TEST(Documents, EveryPartAtItsPlace) {
  pulled p = pull([](cvrun* r) {
    cwstyledesc st[3] = {};
    const char* names[3] = {"Body", "Strong", "Head"};
    for (int i = 0; i < 3; i++) {
      st[i] = {1, names[i], CW_ENCBYTE, i == 1 ? 1 : 0};
      cwstyledef(r, &st[i]);
    }
    cwhfdesc h{1, 0, 3, 0, 0, 0};
    cwheadbeg(r, &h);
    put(r, "HEADER");
    cwheadend(r);
    cwstyleuse(r, 2);
    put(r, "Title");
    cwnewline(r, 1);
    cwstyleuse(r, 0);
    put(r, "Body ");
    cwstyleuse(r, 1);
    put(r, "strong");
    cwstyleoffkey(r, 1);
    cwftnbeg(r);
    put(r, "NOTEONE");
    cwftnend(r);
    cwnewline(r, 1);
    table(r, 3);
    // Row 2 spans its first cell over two columns; the middle cell of row
    // 3 holds a table of its own.
    const std::vector<std::vector<const char*>> rows = {{"c11", "c12", "c13"}, {"c21", "c23"}, {"c31", "c32", "c33"}};
    for (size_t row = 0; row < rows.size(); row++) {
      if (row) cwrownew(r);
      for (size_t col = 0; col < rows[row].size(); col++) {
        cwcellnext(r);
        if (row == 1 && col == 0) cwcellcspan(r, 2);
        put(r, rows[row][col]);
        if (row == 2 && col == 1) {
          cwnewline(r, 1);
          table(r, 1);
          cwcellnext(r);
          put(r, "inner");
          cwtabend(r);
        }
      }
    }
    cwtabend(r);
    put(r, "After");
    cwftnbeg(r);
    put(r, "NOTETWO");
    cwftnend(r);
    cwednbeg(r);
    put(r, "ENDNOTE");
    cwednend(r);
    cwcmtbegin(r);
    put(r, "secretcomment");
    cwcmtend(r);
    cwdelbegin(r);
    put(r, "secretmarked");
    cwdelend(r);
    cwfielddesc open{2, 1, 3, 0, {"secretarg"}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
    cwfldbeg(r, &open);
    put(r, "secretresult");
    cwfldend(r);
    cwfielddesc closed{1, 0, 4, 1, {}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
    cwfldbeg(r, &closed);
    put(r, "RESULT");
    cwfldend(r);
    cwxrefdesc x{1, 1, 0, "target", "secretref", CW_ENCBYTE, -1, -1};
    cwxref(r, &x);
    cwnewline(r, 1);
    cwcoldesc cd{0, 2, {0, 0, 0}};
    cwcolbegin(r, &cd);
    cwcoladd(r, 1440, 5760);
    cwcoladd(r, 6480, 10800);
    cwcolemit(r);
    put(r, "left");
    cwcolbreak(r);
    put(r, "right");
    cwcolend(r);
    cwhfdesc f{1, 2, 3, 0, 0, 0};
    cwfootbeg(r, &f);
    put(r, "FOOTER");
    cwfootend(r);
  });
  std::string why;
  EXPECT_TRUE(balanced(p.com, &why)) << why << "\n" << comshow(p.com);
  EXPECT_EQ(p.text.find("secret"), std::string::npos) << p.text;
  std::vector<std::string> l = lines(p.text);
  std::vector<std::string> want = {"c11", "c12", "c13", "c21", "c23", "c31", "c32", "inner", "c33"};
  std::vector<std::string> got;
  for (const std::string& s : l)
    if (std::find(want.begin(), want.end(), s) != want.end()) got.push_back(s);
  EXPECT_EQ(got, want) << p.text;
  std::string order[] = {"HEADER", "Title", "Body", "strong", "NOTEONE", "c11", "c33", "After",
                         "NOTETWO", "ENDNOTE", "RESULT", "left", "right", "FOOTER"};
  size_t at = 0;
  for (const std::string& w : order) {
    size_t f = p.text.find(w, at);
    EXPECT_NE(f, std::string::npos) << w << " in " << p.text;
    if (f != std::string::npos) at = f;
  }
}

// The limits: levels beyond the stacks and begins the host refuses memory
// for close in order and lose no text.
TEST(Documents, BeyondTheLimits) {
  const struct {
    const char* what;
    std::function<void(cvrun*)> calls;
  } rows[] = {
      {"eleven boxes",
       [](cvrun* r) {
         for (int i = 0; i < 11; i++) {
           cwboxdesc d{};
           cwboxbeg(r, &d);
           keep(r);
         }
         for (int i = 0; i < 12; i++) cwboxend(r);
       }},
      {"six fields, tables and column sets",
       [](cvrun* r) {
         for (int i = 0; i < 6; i++) {
           cwfielddesc f{1, 0, i, 1, {}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
           cwfldbeg(r, &f);
           table(r, 1);
           cwcellnext(r);
           cwcoldesc c{0, 1, {}};
           cwcolbegin(r, &c);
           cwcoladd(r, 0, 1000);
           cwcolemit(r);
           keep(r);
         }
         for (int i = 0; i < 6; i++) {
           cwcolend(r);
           cwtabend(r);
           cwfldend(r);
         }
         cwtabend(r);
         cwcolend(r);
       }},
      {"257 styles", [](cvrun* r) {
         cwstyledesc d{1, "s", CW_ENCBYTE, 0};
         for (int i = 0; i < 257; i++) cwstyledef(r, &d);
         cwstyleuse(r, 256);
         keep(r);
       }},
      {"a header whose copy is refused, inside a note", [](cvrun* r) {
         cwftnbeg(r);
         cwhfdesc h{1, 0, 3, 0, 0, 0};
         refusing = true;
         cwheadbeg(r, &h);
         refusing = false;
         keep(r);
         cwheadend(r);
         cwftnend(r);
       }},
      {"a table refused by the host inside a table", [](cvrun* r) {
         table(r, 2);
         cwcellnext(r);
         refusing = true;
         table(r, 2);
         refusing = false;
         cwcellnext(r);
         keep(r);
         cwtabend(r);
         cwtabend(r);
       }},
      {"a table refused by the host in table-grid mode", [](cvrun* r) {
         r->writer->gridmode = 1;
         table(r, 2);
         cwcellnext(r);
         keep(r);
         cwtabend(r);
         refusing = true;
         table(r, 2);
         refusing = false;
         cwcellnext(r);
         keep(r);
         cwtabend(r);
         table(r, 2);
         cwcellnext(r);
         keep(r);
         cwtabend(r);
       }},
      {"a field and a comment refused by the host", [](cvrun* r) {
         cwfielddesc f{1, 0, 1, 1, {}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
         refusing = true;
         cwfldbeg(r, &f);
         cwboxdesc d{};
         cwboxbeg(r, &d);
         refusing = false;
         keep(r);
         cwboxend(r);
         cwfldend(r);
       }},
  };
  for (const auto& row : rows) {
    kepts = 0;
    pulled p = pull(row.calls);
    std::string why;
    EXPECT_TRUE(balanced(p.com, &why)) << row.what << ": " << why << "\n" << comshow(p.com);
    // Each pull runs the calls once: the text has every word written.
    size_t n = 0;
    for (size_t at = 0; (at = p.text.find("kept", at)) != std::string::npos; at++) n++;
    EXPECT_EQ(n, static_cast<size_t>(kepts / 2)) << row.what << ": " << p.text;
  }
}

// In table-grid mode the tables are held back until a later flush; when
// the document ends with them, the end of the run writes them.
TEST(Documents, TablesHeldForAGridAtTheEndAreWritten) {
  pulled p = pull([](cvrun* r) {
    r->writer->gridmode = 1;
    put(r, "before ");
    for (const char* word : {"first", "second"}) {
      table(r, 2);
      cwcellnext(r);
      put(r, word);
      cwtabend(r);
    }
  });
  std::string why;
  EXPECT_TRUE(balanced(p.com, &why)) << why << "\n" << comshow(p.com);
  EXPECT_NE(p.text.find("first"), std::string::npos) << p.text;
  EXPECT_NE(p.text.find("second"), std::string::npos) << p.text;
}

// Random begins and ends of every kind, with words between them: balanced
// runs give balanced COM, and every word outside comments, marked text and
// open fields comes out, in order. Every third run is in table-grid mode,
// where tables are held back and written again on a common grid.
TEST(Documents, RandomContainers) {
  enum kind { kbox, kcomment, kmarked, kfoot, kend, khead, kfooter, kopenfld, kfield, ktable, kcols, nkinds };
  for (int seed = 1; seed <= 150; seed++) {
    std::vector<std::string> kept, dropped;
    bool closeall = seed % 4 != 0;
    // Each pull runs the script again, from the same seed.
    pulled p = pull([&](cvrun* r) {
      std::mt19937 rng(seed);
      if (seed % 3 == 0) r->writer->gridmode = 1;
      kept.clear();
      dropped.clear();
      std::vector<int> stack;
      int fields = 0, word = 0;
      auto hiding = [&]() {
        int f = 0;
        for (int k : stack) {
          if (k == kcomment || k == kmarked) return true;
          if (k == kopenfld && ++f <= 6) return true;
          if (k == kfield) ++f;
        }
        return false;
      };
      auto close = [&](int k) {
        switch (k) {
          case kbox: cwboxend(r); break;
          case kcomment: cwcmtend(r); break;
          case kmarked: cwdelend(r); break;
          case kfoot: cwftnend(r); break;
          case kend: cwednend(r); break;
          case khead: cwheadend(r); break;
          case kfooter: cwfootend(r); break;
          case kopenfld:
          case kfield: cwfldend(r), fields--; break;
          case ktable: cwtabend(r); break;
          case kcols: cwcolend(r); break;
        }
      };
      for (int step = 0; step < 60; step++) {
        int op = static_cast<int>(rng() % 16);
        if (op < nkinds) {
          bool hf = false;
          for (int k : stack) hf = hf || k == khead || k == kfooter;
          if ((op == khead || op == kfooter) && hf) continue;
          cwhfdesc h{1, op == khead ? 0 : 2, 3, 0, 0, 0};
          cwboxdesc b{};
          cwcoldesc c{0, 2, {}};
          cwfielddesc f{2, 1, 0, op == kfield, {"arg"}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
          switch (op) {
            case kbox: cwboxbeg(r, &b); break;
            case kcomment: cwcmtbegin(r); break;
            case kmarked: cwdelbegin(r); break;
            case kfoot: cwftnbeg(r); break;
            case kend: cwednbeg(r); break;
            case khead: cwheadbeg(r, &h); break;
            case kfooter: cwfootbeg(r, &h); break;
            case kopenfld:
            case kfield: cwfldbeg(r, &f), fields++; break;
            case ktable: table(r, 1 + static_cast<int>(rng() % 3)), cwcellnext(r); break;
            case kcols:
              cwcolbegin(r, &c);
              cwcoladd(r, 0, 4000);
              cwcoladd(r, 5000, 9000);
              cwcolemit(r);
              break;
          }
          stack.push_back(op);
        } else if (op < 13 && !stack.empty()) {
          close(stack.back());
          stack.pop_back();
        } else if (op == 13 && !stack.empty() && stack.back() == ktable) {
          cwcellnext(r);
          if (rng() % 2) cwrownew(r), cwcellnext(r);
        } else if (op == 13 && stack.empty()) {
          close(static_cast<int>(rng() % nkinds));  // an end with nothing open
        } else {
          std::string w = "w" + std::to_string(word++);
          (hiding() ? dropped : kept).push_back(w);
          cwputs(r, (w + " ").c_str());
          if (rng() % 3 == 0) cwnewline(r, 1);
        }
      }
      if (closeall)
        while (!stack.empty()) close(stack.back()), stack.pop_back();
    });
    if (!closeall) continue;  // left open: the run only has to end well
    std::string why;
    EXPECT_TRUE(balanced(p.com, &why)) << "seed " << seed << ": " << why;
    size_t at = 0;
    for (const std::string& w : kept) {
      size_t f = p.text.find(w + " ", at);
      if (f == std::string::npos) f = p.text.find(w + "\r", at);
      ASSERT_NE(f, std::string::npos) << "seed " << seed << ": " << w << " in " << p.text;
      at = f;
    }
    for (const std::string& w : dropped)
      EXPECT_EQ(p.text.find(w + " "), std::string::npos) << "seed " << seed << ": " << w;
  }
}

}  // namespace
