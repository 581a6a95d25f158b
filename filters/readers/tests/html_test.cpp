// The HTML reader run directly, as the driver runs it: the plain text of
// small pages (white space, entities, tags, lists, headings, tables, forms
// and the rest), and the intermediate records where the text cannot show
// what a tag did.
#include <gtest/gtest.h>

#include <malloc.h>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/html/htr.h"
#include "filters/readers/rdr.h"

namespace {

// One run of the reader over a page: its status, the intermediate file
// and its plain text.
struct htmlrun {
  cvtesthost host;
  int rc = -1;
  std::string com, text;

  explicit htmlrun(std::string doc, std::initializer_list<const char*> options = {},
                   std::vector<std::pair<std::string, std::string>> files = {})
      : host(std::move(doc)) {
    rdrregister();
    convstate* st = host.open();
    convsetup(st);
    for (const auto& f : files) cvputfile(st, f.first, f.second);
    std::vector<const char*> args(st->argv, st->argv + st->argc);
    args.insert(args.end(), options);
    args.push_back(nullptr);
    cvrun* run = st->run;
    testing::internal::CaptureStdout();
    rc = cvguarded([&] { return htrmain(run, static_cast<int>(args.size()) - 1, args.data()); });
    testing::internal::GetCapturedStdout();
    com = cvgetfile(st, "kvj99int.tmp");
    if (rc == 0 && convtotext(st) == 0) text = cvgetfile(st, "ascii.tmp");
  }
  std::string body() const { return comshow(com); }
  bool has(const std::string& rec) const { return com.find(rec) != std::string::npos; }
};

// The plain text of a page with its line ends made '|' and the leading
// blank of the first line dropped, for short expectations.
std::string flat(const std::string& page, std::initializer_list<const char*> options = {}) {
  htmlrun r("<html>" + page, options);
  if (r.rc != 0) return "<status " + std::to_string(r.rc) + ">";
  std::string out;
  for (size_t i = 0; i < r.text.size(); i++) {
    if (r.text.compare(i, 2, "\r\n") == 0) {
      out += '|';
      i++;
    } else {
      out += r.text[i];
    }
  }
  return out;
}

struct textcase {
  const char* what;
  std::string page, want;
};

void check(const std::vector<textcase>& rows, std::initializer_list<const char*> options = {}) {
  for (const auto& r : rows) EXPECT_EQ(flat(r.page, options), r.want) << r.what;
}

TEST(HtmlReader, WhiteSpaceAndPreformattedText) {
  check({
      {"three blanks are one", "a   b", "a b"},
      {"a line end is a blank", "a\nb", "a b"},
      {"blanks at the start give one", "  \n a", " a"},
      {"a tab is a blank", "a\t\tb", "a b"},
      {"inside PRE every blank and line end", "<pre>a  b\r\nc\rd\ne</pre>x", "|a  b|c|d|e|x"},
      {"a form feed is dropped", "a\fb", "ab"},
      {"NBSP keeps the blanks apart", "<nbsp>a  b</nbsp>", "a  b"},
  });
}

TEST(HtmlReader, TagsAndEntities) {
  check({
      {"a lower-case br", "a<br>b", "a|b"},
      {"two BR write one line end", "a<br><br>b", "a|b"},
      {"'< ' swallows to the next '>'", "a< b>c", "ac"},
      {"'< ' without '>': the rest is text", "a< b c", "ab c"},
      {"an unfinished tag: its rest is text", "a<zz c", "ac"},
      {"a closing td is skipped", "a</td>b", "ab"},
      {"unlisted tags skip their nesting", "a<x <y> z>b", "ab"},
      {"amp with ';'", "&amp;", "&"},
      {"amp ended by a blank", "a &amp b", "a & b"},
      {"AMP in capitals is written back", "&AMP;", "&AMP;"},
      {"an unlisted name ended by a blank", "&zz x", "&zz x"},
      {"decimal reference", "&#38;", "&"},
      {"hexadecimal reference", "&#x27;", "'"},
      {"hexadecimal in capitals", "&#X41;", "A"},
      {"a reference of 300", "&#300;", "_"},
      {"a negative reference", "&#-5;", "_"},
      {"an unreadable reference", "&#;", "_"},
      {"'&' and a blank", "a & b", "a & b"},
      {"copy through code page 850", "&copy;", "\xA9"},
      {"a Latin-1 letter", "&eacute;t&eacute;", "\xE9t\xE9"},
      {"en dash through 819", "a&ndash;b", "a-b"},
      {"the name of a 45-letter tag", "<" + std::string(45, 'Q') + ">x", "x"},
      {"nothing of TITLE", "<title>The  title</title>x", "x"},
      {"nothing of STYLE", "<style>p { color: red }</style>x", "x"},
      {"a comment inside STYLE", "<style><!-- p {} --></style>x", "x"},
      {"comments are dropped", "a<!-- no -- > -->b", "ab"},
      {"scripts are dropped", "a<script>if (a<b) x();\n</script>b", "ab"},
      {"COMMENT tags", "a<comment>gone</comment>b", "ab"},
      {"MATH carets", "<math>x^2^ y_1_</math>", "x2 y1"},
      {"OVER writes a slash", "a<over>b", "a/b"},
  });
}

TEST(HtmlReader, TheHtmlCheck) {
  const struct {
    const char* what;
    std::string doc;
    int rc;
  } rows[] = {
      {"no tag", "just words", RDR_FORMAT},
      {"an unaccepted tag", "<p>x</p>", RDR_FORMAT},
      {"DOCTYPE then HTML", "<!DOCTYPE x><html>x", 0},
      {"DOCTYPE naming html", "<!DOCTYPE html>", 0},
      {"DOCTYPE without HTML", "<!DOCTYPE x><body>x", RDR_FORMAT},
      {"a comment", "<!-- c -->x", 0},
      {"TITLE in any case", "<TiTlE>t</title>", 0},
      {"HTML past 200 bytes", std::string(200, ' ') + "<html>", RDR_FORMAT},
  };
  for (const auto& r : rows) EXPECT_EQ(htmlrun(r.doc).rc, r.rc) << r.what;
}

TEST(HtmlReader, ListsAndHeadings) {
  check({
      {"OL START=5 TYPE=I", "<ol start=5 type=I><li>a<li>b</ol>", "||V a|VI b||"},
      {"a second list numbers from its start", "<ol><li>a</ol><ol><li>b</ol>", "||1 a||1 b||"},
      {"lower-case letters", "<ol type=a><li>a<li>b</ol>", "||a a|b b||"},
      {"nested lists", "<ul><li>a<ol><li>b<li>c</ol><li>d</ul>", "||* a|1 b|2 c|* d||"},
      {"UL PLAIN has no bullets", "<ul plain><li>a</ul>", "||a||"},
      {"LI outside a list", "<li>a", "|* a"},
      {"definition list", "<dl><dt>t<dd>d</dl>", "||t|d|"},
      {"H1", "x<h1>Big</h1>y", "x|Big||y"},
      {"H4 ends with one line end", "x<h4>T</h4>y", "x|T|y"},
      {"heading with a dingbat", "<h2 dingbat=amp>T</h2>", "|& T||"},
      // Every item carries its list's levels on to the next paragraph.
      {"an item's type and value carry on", "<ol><li>a<li type=A>b<li>c<li value=7>d<li>e</ol>", "||1 a|B b|C c|7 d|8 e||"},
      {"a deeper list restarts when it comes again", "<ol><li>a<ol><li>b<li>c</ol><li>d<ol><li>e</ol><li>f</ol>", "||1 a|1 b|2 c|2 d|1 e|3 f||"},
  });
  check({{"option n numbers get a full stop", "<ol><li>a</ol>", "||1. a||"},
         {"and keep it through nested levels", "<ol><li>a<ol type=i><li>b<li>c</ol><li>d</ol>", "||1. a|i. b|ii. c|2. d||"}},
        {"/vn"});
}

TEST(HtmlReader, Tables) {
  check({
      {"two cells", "<table><tr><td>a<td>b</table>", "|a|b||"},
      {"two rows", "<table><tr><td>a<td>b<tr><td>c<td>d</table>", "|a|b|c|d||"},
      {"a caption before the table", "<table><caption>Cap</caption><tr><td>a</table>", "|Cap|a||"},
      {"stray text before the first row is written once", "<table>lost\n<tr><td>a</table>", "|lost a||"},
      {"a nested table lands in its cell", "<table><tr><td>a<table><tr><td>b<td>c</table>d</table>",
       "|a|b c|d||"},
      {"text after the table", "<table><tr><td>a</table>after", "|a||after"},
  });
}

TEST(HtmlReader, InlineTagsLinksAndPictures) {
  check({
      {"B inside B", "<b>a<b>b</b>c</b>", "abc"},
      {"a link", "<a href=\"#n\">here</a>", "here"},
      {"IMG alt text without a source", "<img alt=\"A picture\">", "A picture"},
      {"FONT sizes", "<font size=+2>a</font><font size=+9>b</font><font size=-5>c</font><font size=12>d</font>",
       "abcd"},
      {"SMALL twice", "<small><small>a</small></small>", "a"},
      {"CENTER ends with a blank line", "<center>a</center>b", "|a||b"},
      {"forms write no text", "<form><input name=q value=x><select><option>One</select></form>z", "z"},
  });
}

TEST(HtmlReader, RecordsOfTagsTheTextCannotShow) {
  const struct {
    const char* what;
    std::string page;
    std::vector<std::string> recs;
  } rows[] = {
      {"B inside B: the first closing tag ends the bold", "<b>a<b>b</b>c", {comrec(20546, {"500"}) + "ab" + comrec(20549) + "c"}},
      {"a link to an anchor", "<a href=\"#n\">x</a>", {comrec(6744, {"04", "11", "n", ""}), comrec(6744, {"05", "11", "", ""})}},
      {"a link ending with '/'", "<a href=\"d/\">x</a>", {comrec(6744, {"04", "13", "d/", ""})}},
      {"an external link", "<a href=\"http://h/p\">x</a>", {comrec(6744, {"04", "139", "http://h/p", ""})}},
      {"a link with a base", "<base href=\"http://h/d/p.html\"><a href=\"q.html\">x</a>",
       {comrec(6744, {"04", "139", "http://h/d/q.html", ""})}},
      {"a bookmark", "<a name=t>x</a>", {comrec(6744, {"01", "11", "t", ""}), comrec(6744, {"02", "11", "", ""})}},
      {"a comment becomes a comment record", "<!--a-b-->", {comrec(20899).substr(0, 5) + "ab"}},
      {"an INPUT after its type", "<input name=q type=text value=abc>",
       {comrec(16841, {"0", "q", "0", "0", "0", "abc", "0", "0"})}},
      {"a hidden field has no name", "<input type=hidden name=id value=7>", {comrec(16841, {"9", "", "7"})}},
      {"OPTION texts", "<select name=s multiple><option value=1 selected>One <option>Two</select>",
       {comrec(16841, {"4", "s", "1", "1", "1", "0"}), comrec(16841, {"5", "1", "1", "One "}),
        comrec(16841, {"5", "0", "", "Two"}), comrec(16841, {"4", "", "0"})}},
      {"TEXTAREA lines run together", "<textarea rows=2 cols=5>a\nb &amp; c</textarea>",
       {comrec(16841, {"1", "", "2", "5", "ab  c", "0", "0"})}},
      {"MULTICOL 2", "<multicol cols=2>a</multicol>", {comrec(19587).substr(0, 5)}},
  };
  for (const auto& r : rows) {
    htmlrun h("<html>" + r.page);
    for (const auto& rec : r.recs) EXPECT_TRUE(h.has(rec)) << r.what << "\n" << comshow(rec) << "\n" << h.body();
  }
}

}  // namespace

namespace {

std::string pulledhtml(const std::string& doc) {
  rdrregister();
  cvtesthost host(doc);
  convstate* st = host.open();
  std::string text = cvpullall(st, 2000);
  convclose(st);
  return text;
}

TEST(HtmlPull, APageComesBackAsItsTextAndARefusalFailsThePull) {
  EXPECT_EQ(pulledhtml("<html><body><p>One <b>two</b></p></body></html>"), "\r\n\r\nOne two\r\n\r\n");
  // Detection takes this for HTML; the reader's own check refuses it, and a
  // refused document fails the pull instead of giving an empty text.
  testing::internal::CaptureStdout();
  std::string refused = pulledhtml("<x<html> words");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(refused, "<fail>");
}

}  // namespace

namespace {

std::string times(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * n);
  for (int i = 0; i < n; i++) out += s;
  return out;
}

// A page pulled whole while the host's live memory is sampled; the text,
// and the peak in *peak.
std::string pullmeasured(const std::string& doc, size_t* peak) {
  rdrregister();
  cvtesthost host(doc);
  size_t calls = 0, top = 0;
  cvtesthost* h = &host;
  host.refuse = [&, h](size_t) {
    if (++calls % 512 == 0) {
      size_t live = 0;
      for (void* b : h->blocks) live += malloc_usable_size(b);
      if (live > top) top = live;
    }
    return false;
  };
  convstate* st = host.open();
  std::string text = cvpullall(st, 32767);
  convclose(st);
  *peak = top;
  return text;
}

TEST(HtmlPull, BadInputEndsWithAWholeTextInBoundedMemory) {
  const std::string mb(1 << 20, 'w');
  const struct {
    const char* what;
    std::string doc;
    const char* want;  // a word the text must hold, or null
  } rows[] = {
      {"an unterminated attribute value", "<html>before <a href=\"x" + mb, "before"},
      {"an unterminated comment", "<html>before <!-- " + mb, "before"},
      {"an unterminated script", "<html>before <script>" + mb, "before"},
      {"an unterminated STYLE block", "<html>before <style>p {" + mb, "before"},
      {"10,000 nested lists", "<html>" + times("<ul><li>x ", 10000) + "end", "end"},
      {"10,000 nested ordered lists", "<html>" + times("<ol><li>x ", 10000) + "end", "end"},
      {"10,000 nested tables", "<html>" + times("<table><tr><td>x ", 10000) + "end", "end"},
      {"10,000 tables without cells", "<html>" + times("<table>x ", 10000) + "end", "end"},
      {"10,000 FONT tags", "<html>" + times("<font size=+1 color=red>x ", 10000) + "end", "end"},
      {"10,000 BLOCKQUOTE tags", "<html>" + times("<blockquote>x ", 10000) + "end", "end"},
      {"10,000 nested comments", "<html>" + times("<!-- x ", 10000) + "end", nullptr},
      {"10,000 paragraphs of a rule", "<html><style>p.a {color: red}</style>" + times("<p class=a>x ", 10000) + "end",
       "end"},
      {"1,500 paragraphs of a rule closed, then more", "<html><style>p.a {color: red}</style>" + times("<p class=a>x ", 1500) +
                                                           times("</p>", 1500) + "after" + times("<h2>y</h2><p class=a>z</p>", 20) + "end",
       "after"},
      {"huge spans", "<html><table><tr><td colspan=2000000000 rowspan=2000000000>x<td>y</table>end", "end"},
      {"a huge column set", "<html><multicol cols=2000000000 width=0%>x</multicol>end", "end"},
      {"rgb() of 500% and without ')'", "<html><body text=\"rgb(500%,50%\"><font color=rgb(1>x</font>end", "end"},
      {"a 100 KB selector", "<html><style>" + std::string(100000, 'p') + " { color: red }</style>end", "end"},
      {"a 1 MB OPTION text", "<html><select><option>" + mb + "</select>end", "end"},
      {"binary bytes after a valid head", "<html><head><title>t</title></head>" + std::string("\0\x1b\x1d\x1e\xff<&\x01", 9) +
                                              times("\x80\x9f\x00<\x1b", 20000) + " end",
       "end"},
  };
  for (const auto& r : rows) {
    size_t peak = 0;
    std::string text = pullmeasured(r.doc, &peak);
    ASSERT_NE(text, "<fail>") << r.what;
    if (r.want) {
      EXPECT_NE(text.find(r.want), std::string::npos) << r.what;
    }
    EXPECT_LT(peak, 16 * r.doc.size() + (4u << 20)) << r.what << ": " << peak << " bytes at most for " << r.doc.size();
  }
}

}  // namespace

namespace {

// Pages from a generator with a fixed seed: paragraphs with entities and
// inline tags, headings, nested lists, tables with spans and nested tables,
// comments, scripts, forms, links, pictures with alternative text and
// preformatted blocks. The generator knows the words the text must hold,
// list numbers and bullets included, and leaves out what the reader drops:
// comments, scripts, form controls and link targets.
struct pagegen {
  std::mt19937 rng;
  std::string html;
  std::vector<std::string> words;

  explicit pagegen(unsigned seed) : rng(seed) {}
  int pick(int n) { return static_cast<int>(rng() % n); }
  std::string word() {
    static const char* const syl[] = {"ka", "lo", "mi", "ter", "sun", "ba", "ri", "no", "vel", "dor"};
    std::string w;
    for (int i = 0, n = 1 + pick(3); i < n; i++) w += syl[pick(10)];
    return w;
  }
  // Words of running text: some through entities, some in inline tags.
  void text(int n) {
    for (int i = 0; i < n; i++) {
      std::string w = word();
      switch (pick(12)) {
        case 0:
          html += "<b>" + w + "</b> ";
          words.push_back(w);
          break;
        case 1:
          html += "<i>" + w + "</i>\n";
          words.push_back(w);
          break;
        case 2:
          html += "&amp; ";
          words.push_back("&");
          break;
        case 3:
          html += w + "&eacute;  ";
          words.push_back(w + "\xE9");
          break;
        case 4:
          html += "<a href=\"#" + w + "\">" + w + "</a> ";
          words.push_back(w);
          break;
        case 5:
          html += "<!-- " + word() + " -->" + w + " ";
          words.push_back(w);
          break;
        case 6:
          html += "&#65;" + w + " ";
          words.push_back("A" + w);
          break;
        default:
          html += w + (pick(4) ? " " : "\n");
          words.push_back(w);
      }
    }
  }
  void list(int depth, int* bulletsout) {
    bool numbered = pick(2) == 0;
    int n = 1 + pick(4);
    html += numbered ? "<ol>\n" : "<ul>\n";
    for (int i = 1; i <= n; i++) {
      html += "<li>";
      words.push_back(numbered ? std::to_string(i) : "*");
      text(1 + pick(5));
      if (depth < 3 && pick(4) == 0) list(depth + 1, bulletsout);
      html += "</li>\n";
    }
    html += numbered ? "</ol>\n" : "</ul>\n";
  }
  void table() {
    html += "<table border=1>\n";
    int rows = 1 + pick(4), cols = 1 + pick(4);
    for (int r = 0; r < rows; r++) {
      html += "<tr>";
      for (int c = 0; c < cols; c++) {
        html += pick(5) == 0 ? "<td colspan=2>" : "<td>";
        if (pick(8) == 0) {
          html += "<table><tr><td>";
          text(1);
          html += "<td>";
          text(1);
          html += "</table>";
        } else {
          text(1 + pick(3));
        }
        html += "</td>";
      }
      html += "</tr>\n";
    }
    html += "</table>\n";
  }
  void block() {
    switch (pick(9)) {
      case 0:
        html += "<h" + std::to_string(1 + pick(6)) + ">";
        text(1 + pick(4));
        html += "</h1>\n";
        break;
      case 1: {
        int b = 0;
        list(1, &b);
        break;
      }
      case 2:
        table();
        break;
      case 3:
        html += "<script>var " + word() + " = \"<p>\" + 1;\n</script>\n";
        break;
      case 4:
        html += "<form action=x><input name=" + word() + " value=" + word() + "><select><option>" + word() +
                "<option>" + word() + "</select><textarea>" + word() + "</textarea></form>\n";
        break;
      case 5: {
        std::string a = word(), b = word();
        html += "<pre>" + a + "   " + b + "\n  ";
        words.push_back(a);
        words.push_back(b);
        text(2);
        html += "</pre>\n";
        break;
      }
      case 6: {
        std::string a = word();
        html += "<img alt=\"" + a + "\"> ";
        words.push_back(a);
        break;
      }
      default:
        html += "<p>";
        text(5 + pick(30));
        html += "</p>\n";
    }
  }
  void page(size_t size) {
    html = "<html><head><title>" + word() + "</title><style>p { color: navy }</style></head><body>\n";
    while (html.size() < size) block();
    html += "</body></html>\n";
  }
};

std::vector<std::string> wordsof(const std::string& s) {
  std::vector<std::string> out;
  std::string w;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!w.empty()) out.push_back(w);
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) out.push_back(w);
  return out;
}

TEST(HtmlPull, GeneratedPagesGiveTheirWordsInOrder) {
  for (unsigned seed : {7u, 11u, 2024u}) {
    pagegen g(seed);
    g.page(seed == 2024u ? (1u << 20) : 20000);
    std::string text = pulledhtml(g.html);
    ASSERT_NE(text, "<fail>") << seed;
    std::vector<std::string> got = wordsof(text);
    size_t i = 0;
    while (i < got.size() && i < g.words.size() && got[i] == g.words[i]) i++;
    EXPECT_EQ(i, g.words.size()) << "seed " << seed << ": word " << i << " is "
                                 << (i < got.size() ? got[i] : "<none>") << ", want "
                                 << (i < g.words.size() ? g.words[i] : "<none>");
    EXPECT_EQ(got.size(), g.words.size()) << seed;
  }
}

}  // namespace

namespace {

TEST(HtmlColour, ValuesOfEveryForm) {
  const struct {
    const char* value;
    int32_t r, g, b;
  } rows[] = {
      {"red", 255, 0, 0},          {"ReD", 255, 0, 0},         {"grey", 192, 192, 192},
      {"gray", 128, 128, 128},     {"#f00", 255, 0, 0},        {"#00ff80", 0, 255, 128},
      {"#12345", 0x12, 0x34, -7},  {"rgb(255, 128, 0)", 255, 128, 0},
      {"RGB(100%,50%,0%)", 255, 127, 0}, {"rgb(33%,30%,20%)", 85, 85, 51},
      {"rgb(10,20)", 10, 20, -7},  {"rgb(500%,10%,1)", 255, 25, 1}, {"rgb(1", 1, -7, -7},
      {"nocolour", 0, 0, 0},       {" red", 0, 0, 0},          {"DarkCyan", 0, 139, 139},
  };
  for (const auto& r : rows) {
    int32_t c[3] = {-7, -7, -7};
    htrcolor(r.value, &c[0], &c[1], &c[2]);
    EXPECT_EQ(c[0], r.r) << r.value;
    EXPECT_EQ(c[1], r.g) << r.value;
    EXPECT_EQ(c[2], r.b) << r.value;
  }
}

TEST(HtmlStyles, Lengths) {
  const struct {
    const char* text;
    int twips;
  } rows[] = {{"12px", 240}, {"18pt", 360}, {"1in", 1440}, {"2.5cm", cvcm2tw(2, 5)}, {"-6pt", -120},
              {"3em", 0},    {"2pc", 1200}, {"0pc", 0},    {"12", 0}};
  for (const auto& r : rows) EXPECT_EQ(htrcsslen(r.text), r.twips) << r.text;
}

TEST(HtmlStyles, RulesBecomeWriterStyles) {
  // Checked on the rendered records: [SYT name,key,...] defines a style,
  // [STY name,...] switches it on.
  const struct {
    const char* what;
    std::string sheet, page;
    std::vector<std::string> has, hasnot;
  } rows[] = {
      {"h1 colour and size replace the heading's own size", "h1 { color: red; font-size: 18pt }", "<h1>x</h1>",
       {"[SYT h1,", "[BCL 12,255,0,0", ",360,Times", "[STY h1,"}, {",480,"}},
      {"a class of an element", "p.note { font-style: italic }", "<p class=note>x</p>",
       {"[SYT note,", "[ITO 60]", "[STY note,"}, {}},
      {"a group", "h2, h3 { color: blue }", "<h3>x</h3>", {"[SYT h2,", "[SYT h3,", "[STY h3,"}, {}},
      {"a later block changes the rule", "h2 {color: blue} h2 {color: green}", "x", {"[BCL 2,0,128,0"}, {"0,0,255"}},
      {"a blank before the colon sets nothing", "h2 { color : red }", "x", {"[SYT h2,"}, {"[BCL"}},
      {"an octal escape", "\\101 { }", "x", {"[SYT A,"}, {}},
      {"an escape of 127 or more is dropped", "x\\777y { }", "x", {"[SYT xy,"}, {}},
      {"a comment before a selector", "/* c */ p { }", "x", {"[SYT p,"}, {}},
      {"lengths of a rule", "p { text-indent: 1in; text-align: center }", "x", {"[SYT p,", "1440"}, {}},
      {"a 100 KB selector is cut", std::string(100000, 'q') + " { color: red }", "x", {"[SYT qqq"}, {}},
  };
  for (const auto& r : rows) {
    htmlrun h("<html><style>" + r.sheet + "</style>" + r.page);
    EXPECT_EQ(h.rc, 0) << r.what;
    std::string body = h.body();
    for (const auto& want : r.has) EXPECT_NE(body.find(want), std::string::npos) << r.what << ": " << want << "\n" << body;
    for (const auto& no : r.hasnot) EXPECT_EQ(body.find(no), std::string::npos) << r.what << ": " << no << "\n" << body;
  }
}

TEST(HtmlStyles, ALinkedSheetAndTheProfile) {
  htmlrun linked("<html><head><link rel=stylesheet href=\"s.css\"><link href=\"t.css\" rel=stylesheet></head>x", {},
                 {{"s.css", "h4 { color: red }"}, {"t.css", "h5 { color: red }"}});
  EXPECT_TRUE(linked.has("SYTh4")) << linked.body();
  EXPECT_FALSE(linked.has("SYTh5")) << "an href before rel is not loaded";

  const std::string profile =
      "[page]\nwidth=15840\nlength=12240\nOrientation=landscape\n[h1]\nStyleName=Big\n[h2]\n"
      "[Big]\nFontSize=12pt\nColor=0,0,255\nAttributes=bold, Italic\n";
  htmlrun prof("<html><h1>x</h1><h2>y</h2><h5>z</h5>", {"/cf=prof.ini"}, {{"prof.ini", profile}});
  EXPECT_EQ(prof.rc, 0);
  std::string body = prof.body();
  EXPECT_NE(body.find("[SYT H1,"), std::string::npos) << body;
  EXPECT_NE(body.find("[STY H1,"), std::string::npos) << body;
  EXPECT_EQ(body.find("[SYT H2,"), std::string::npos) << "a heading without StyleName has no rule";
  EXPECT_NE(body.find("15840"), std::string::npos) << body;
  // H5 takes no writer style that happens to hold key 4 or 5.
  EXPECT_EQ(body.find("[STY", body.find("y")), std::string::npos) << body;

  htmlrun missing("<html><h1>x</h1>", {"/cf=none.ini"});
  EXPECT_EQ(missing.rc, 0);
  EXPECT_NE(missing.text.find("x"), std::string::npos);
}

TEST(HtmlHead, SummaryAndBackground) {
  htmlrun h("<html><head><META NAME=AUTHOR CONTENT=\"Ann Smith\"><meta content=lost>"
            "<title>Three\nline\r\ntitle &amp;<b>x</b></title></head><body bgcolor=red>text</body>");
  EXPECT_EQ(h.rc, 0);
  EXPECT_TRUE(h.has("Ann Smith")) << h.body();
  EXPECT_TRUE(h.has("Three line title x")) << h.body();
  EXPECT_FALSE(h.has("lost")) << h.body();
  EXPECT_NE(h.body().find("[SHD 6,100,FF,00,00"), std::string::npos) << h.body();
  EXPECT_EQ(h.text, "text");
}

}  // namespace

namespace {

std::string readfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Pages as sites wrote them, with the words their text must hold; the words
// were checked against html2text by crosscheck.py beside the pages, which
// lists the differences the reader means to have.
TEST(HtmlPull, RealisticPagesGiveTheCheckedWords) {
  const std::string dir = std::string(KES_SOURCE_DIR) + "/filters/readers/tests/fixtures/html/";
  for (const char* name : {"article", "manual", "nested"}) {
    std::string page = readfile(dir + name + ".html");
    ASSERT_FALSE(page.empty()) << name;
    EXPECT_EQ(wordsof(pulledhtml(page)), wordsof(readfile(dir + name + ".words"))) << name;
  }
}

}  // namespace

namespace {

TEST(HtmlReader, FontSizesAndColumnSets) {
  const struct {
    const char* what;
    std::string page;
    std::vector<std::string> show;  // pieces of the rendered records, in order
  } rows[] = {
      {"FONT sizes +2, +9, -5 and 12", "<font size=+2>a</font><font size=+9>b</font><font size=-5>c</font><font size=12>d",
       {",360,Times", "a", ",720,Times", "b", ",160,Times", "c", ",720,Times", "d"}},
      {"BASEFONT then FONT +1", "<basefont size=5><font size=+1>a", {",480,Times", "a"}},
      {"SMALL twice and back", "<small>a<small>b</small>c</small>d",
       {",200,Times", "a", ",160,Times", "b", ",200,Times", "c", ",240,Times", "d"}},
      {"MULTICOL 2", "<multicol cols=2>a</multicol>", {"1440,6220,0,6420,11200", "[BCM]a[ECM]"}},
      {"MULTICOL of 0% keeps the width", "<multicol cols=2 width=0%>a</multicol>", {"1440,6220,0,6420,11200"}},
      {"MULTICOL of 2000000000 columns", "<multicol cols=2000000000>a</multicol>", {"[CDS", "[BCM]a[ECM]"}},
  };
  for (const auto& r : rows) {
    htmlrun h("<html>" + r.page);
    std::string body = h.body();
    size_t at = body.find("[RSM");
    for (const auto& piece : r.show) {
      size_t next = at == std::string::npos ? at : body.find(piece, at);
      EXPECT_NE(next, std::string::npos) << r.what << ": " << piece << "\n" << body;
      at = next;
    }
  }
}

}  // namespace

namespace {

// The cells of a row share one stream in the writer; a line wrapped at the
// start of a cell must not move the end of the cell before into it. The
// narrow cells here made the wrap split the bold-off record of the first.
TEST(HtmlPull, AWrapInANarrowCellLeavesTheCellBeforeWhole) {
  const std::string page =
      "<html><table border=1>\n<tr><td>dorno <b>kamino</b> </td><td>lo sunmi&eacute;  </td><td colspan=2><i>no</i>\n"
      "kasun kadormi\n</td><td colspan=2>loba&eacute;  </td></tr>\n<tr><td>&amp; <b>mi</b> ka&eacute;  </td>"
      "<td colspan=2>miter &#65;kasun </td><td>&#65;novel &amp; </td><td><!-- ri -->velter minodor&eacute;  "
      "<a href=\"#ka\">ka</a> </td></tr>\n</table>";
  htmlrun h(page);
  ASSERT_EQ(h.rc, 0);
  for (size_t i = 0; i < h.com.size(); i++) {
    if (h.com[i] == '\x1b') {
      ASSERT_EQ(h.com[i + 1], '\x1d') << "a record broken at byte " << i << "\n" << h.body();
    }
  }
  EXPECT_NE(h.text.find("kamino"), std::string::npos) << h.text;
  EXPECT_NE(h.text.find("sunmi\xE9"), std::string::npos) << h.text;
}

}  // namespace
