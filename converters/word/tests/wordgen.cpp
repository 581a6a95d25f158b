// Writes documents made by wordgen.h into a folder, so that independent
// readers can confirm they hold the text they were written with
// (fixtures/check.sh). Each NAME.doc comes with NAME.words: the words of its
// text, one per line, as a reader should find them.
#include <initializer_list>
#include <string>
#include <vector>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/wordgen.h"

namespace {

const char kpara1[] = "The quick brown fox jumps over the lazy dog.\r";
const char kpara2[] = "Pack my box with five dozen liquor jugs.\r";

struct item {
  const char* name;
  wgen::spec spec;
};

std::string str(const wgen::bytes& b) { return std::string(b.begin(), b.end()); }

// Documents with their other stories: two sections (the first with every
// header and footer kind, the second continuous with two columns), a
// footnote, a table row of three cells and (Word) an annotation; the words
// are those of the main text and the note.
void storydocs(std::vector<fixgen::file>& files) {
  auto m = [](std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s += static_cast<char>(v);
    return s;
  };
  for (wgen::kind k : {wgen::word2, wgen::mac5}) {
    bool mac = k == wgen::mac5;
    std::string end = mac ? "\r" : "\r\n";
    auto w16 = [&](int v) { return mac ? m({v >> 8 & 0xFF, v & 0xFF}) : m({v & 0xFF, v >> 8 & 0xFF}); };
    wgen::storyspec s;
    s.k = k;
    std::string first = "First section words." + end + "\x0c";
    std::string cells = "Alpha\x07" "Beta\x07" "Gamma\x07" "\x07";
    std::string body = end + "Body with a note\x02 and a remark here." + end;
    s.main = first + cells + body;
    int64_t at = static_cast<int64_t>(first.size());
    s.notes = {{static_cast<int64_t>(s.main.find('\x02')), "The note text." + end}};
    if (!mac) s.annots = {{static_cast<int64_t>(s.main.find(" here")), "A remark." + end}};
    s.hf = {"Even head" + end, "Odd head" + end, "Even foot" + end, "Odd foot" + end, "First head" + end, "First foot" + end};
    s.sections = {{0, m({128, 0x3F, 118, 1})}, {at, m({117, 0, 119}) + w16(1)}};
    std::string def = m({3}) + w16(0) + w16(1440) + w16(2880) + w16(4320) + std::string(30, '\0');
    std::string in = m({24, 1});
    s.paras = {{0, ""}, {at, in}, {at + 6, in}, {at + 11, in},
               {at + 17, in + m({25, 1, 153}) + w16(-480 & 0xFFFF) + m({152}) + w16(static_cast<int>(def.size())) + def},
               {at + 18, ""}};
    s.tables = {{wgen::DOP, std::string(1, '\x01') + std::string(40, '\0')}};
    wgen::bytes b = wgen::makestories(s);
    const char* name = mac ? "mac5-stories" : "word2-stories";
    files.push_back({std::string(name) + ".doc", str(b)});
    // Readers give the note after the main text, Word's with its number at
    // the reference; Mac Word's headers and footers come after it.
    std::string all = s.main + s.notes[0].second;
    if (!mac) all.replace(all.find('\x02'), 1, " 1 ");
    if (mac)
      for (const std::string& h : s.hf) all += h;
    files.push_back({std::string(name) + ".words", fixgen::words(all)});
  }
}

// Fast-saved documents with a footnote, an odd header and footer (Word:
// kinds 2 and 8, Mac Word: 1 and 4) and a continuous two-column section,
// each story's text a piece of its own.
void faststorydocs(std::vector<fixgen::file>& files) {
  for (wgen::kind k : {wgen::word2, wgen::mac5}) {
    bool mac = k == wgen::mac5;
    std::string end = mac ? "\r" : "\r\n";
    wgen::storyspec s;
    s.k = k;
    s.complex = true;
    std::string first = "Fast saved words." + end;
    s.main = first + "Second section with a note\x02 at its end." + end;
    s.notes = {{static_cast<int64_t>(s.main.find('\x02')), "Quick note." + end}};
    s.hf = {"Page head" + end, "Page foot" + end};
    std::string bits(1, static_cast<char>(mac ? 5 : 10));
    s.sections = {{0, "\x80" + bits}, {static_cast<int64_t>(first.size()), std::string("\x75\x00\x77") + (mac ? std::string("\0\x01", 2) : std::string("\x01\0", 2))}};
    wgen::bytes b = wgen::makestories(s);
    const char* name = mac ? "mac5-stories-fast" : "word2-stories-fast";
    files.push_back({std::string(name) + ".doc", str(b)});
    // No reader reads fast-saved notes: the note's number is left out.
    std::string all = s.main + s.notes[0].second;
    if (mac)
      for (const std::string& h : s.hf) all += h;
    files.push_back({std::string(name) + ".words", fixgen::words(all)});
    // The same with every note, header and footer cut across two pieces,
    // and a first Mac Word section that says nothing of its headers (a
    // fast-saved Mac Word 4 file then has the odd header and footer).
    s.split = true;
    if (mac) s.sections[0].second = "\x75\x02";
    std::string cut = mac ? "mac5-stories-split" : "word2-stories-split";
    files.push_back({cut + ".doc", str(wgen::makestories(s))});
    files.push_back({cut + ".words", fixgen::words(all)});
  }
}

// A Word 2.0 document of fields: dates and times with their pictures, a
// contents and an index entry, symbols, references to a missing bookmark,
// page numbers and a picture named by the document. The words are those
// every reader finds: the displayed results and the text around them.
void fielddocs(std::vector<fixgen::file>& files) {
  std::string text = "Dated \x13" "DATE \\@ \"d MMMM yyyy\"\x14" "7 March 1994\x15 and timed \x13TIME\x14" "15:05\x15."
                     "\r\nEntry\x13TC \"Chapter one\" \\l 1\x15 and index\x13XE \"Apples\"\x15 words.\r\n"
                     "Symbols \x13SYMBOL 183 \\f \"Symbol\"\x15 and \x13SYMBOL 189\x15 here.\r\n"
                     "Numbered \x13PAGEREF nowhere \x14" "9\x15 page.\r\n"
                     "Gone \x13REF nowhere \x15now \x13PAGE\x14" "1\x15 of \x13NUMPAGES\x14" "2\x15.\r\n"
                     "A \x13IMPORT pic.wmf\x15 picture.\r\n";
  wgen::fullspec f{{wgen::word2, {text}}};
  // Field marks are special characters; the text between them is not.
  const std::string special("\0\x02", 2);
  f.runs = {{0, ""}};
  for (size_t i = 0; i < text.size(); i++)
    if (text[i] == 0x13 || text[i] == 0x14 || text[i] == 0x15) {
      f.runs.push_back({static_cast<int64_t>(i), special});
      f.runs.push_back({static_cast<int64_t>(i) + 1, ""});
    }
  std::string words = "Dated 7 March 1994 and timed 15:05. Entry and index words. Symbols and here. "
                      "Numbered 9 page. Gone now 1 of 2. A picture.";
  files.push_back({"word2-fields.doc", str(wgen::makefull(f))});
  files.push_back({"word2-fields.words", fixgen::words(words)});
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> two = {kpara1, kpara2};
  // A Word 6 stream of over 4096 bytes lies in big blocks, not in the mini stream.
  std::vector<std::string> many;
  for (int i = 0; i < 150; i++) many.push_back(i % 2 ? kpara2 : kpara1);
  const item items[] = {
      {"word2", {wgen::word2, two}},
      {"word2-fast", {wgen::word2, two, true}},
      {"word1", {wgen::word1, two}},
      {"mac5", {wgen::mac5, two}},
      {"mac5-fast", {wgen::mac5, two, true}},
      {"mac3", {wgen::mac3, two}},
      {"word6-mini", {wgen::word6, two}},
      {"word6-mini-fast", {wgen::word6, two, true}},
      {"word6-big", {wgen::word6, many}},
      {"word6-big-fast", {wgen::word6, many, true}},
  };
  std::vector<fixgen::file> files;
  for (const item& it : items) {
    std::string text;
    for (const std::string& p : it.spec.pieces) text += p;
    files.push_back({std::string(it.name) + ".doc", str(wgen::make(it.spec))});
    files.push_back({std::string(it.name) + ".words", fixgen::words(text)});
  }
  // Documents with the tables of the full readers: a style sheet, fonts,
  // document properties and strings, bookmarks and a page of character runs.
  const std::string w1 = "Bold words and plain words.\r\n", w2 = "Other words come last.\r\n";
  const std::string m1 = "Bold words and plain words.\r", m2 = "Other words come last.\r";
  for (wgen::kind k : {wgen::word2, wgen::word1, wgen::mac5, wgen::mac3}) {
    bool mac = k == wgen::mac5 || k == wgen::mac3;
    std::string a = mac ? m1 : w1, b = mac ? m2 : w2;
    wgen::fullspec f{{k, {a, b}}};
    std::string names = wgen::counted("Normal") + wgen::counted("Body");
    f.tables.push_back({wgen::STSH, wgen::stylesheet(k, 0, names, "\xff" + wgen::counted("\x01"), "", {{0, 222}, {0, 0}})});
    if (!mac) {
      f.tables.push_back({wgen::FONTS, wgen::wordfonts(k, {"Arial", "Courier New"})});
      f.tables.push_back({wgen::BKNAMES, std::string(2, '\0') + wgen::counted("here")});
      f.tables.push_back({wgen::BKSTARTS, wgen::val(k, 5, 4) + wgen::val(k, 99, 4) + wgen::val(k, 0, 2)});
      f.tables.push_back({wgen::BKENDS, wgen::val(k, 10, 4) + wgen::val(k, 99, 4)});
    }
    // Bold on the first word (Word 2.0 and 1.x keep bold in bit 0, Mac Word
    // in bit 7).
    f.runs = {{0, mac ? "\x80" : "\x01"}, {4, ""}};
    if (k == wgen::mac3)  // layout 3 keeps its page in the header
      for (auto [at, v] : std::initializer_list<std::pair<size_t, int>>{{172, 15840}, {174, 12240}, {176, 1440}, {178, 1800}, {180, 1440}, {182, 1800}, {186, 720}}) {
        f.patch.push_back({at, static_cast<uint8_t>(v >> 8)});
        f.patch.push_back({at + 1, static_cast<uint8_t>(v)});
      }
    const char* name = k == wgen::word2 ? "word2-full" : k == wgen::word1 ? "word1-full" : k == wgen::mac5 ? "mac5-full" : "mac3-full";
    files.push_back({std::string(name) + ".doc", str(wgen::makefull(f))});
    files.push_back({std::string(name) + ".words", fixgen::words(a + b)});
  }
  // Documents with a page of paragraph runs: space before, a centred
  // paragraph, a frame and borders, tab stops and a table definition.
  for (wgen::kind k : {wgen::word2, wgen::mac5}) {
    bool mac = k == wgen::mac5;
    std::string a = mac ? m1 : w1, b = mac ? m2 : w2;
    auto be = [&](int v) { return mac ? std::string{static_cast<char>(v >> 8), static_cast<char>(v)}
                                      : std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    std::string first = "\x15" + be(360) + "\x05\x01" + "\x0f\x08" + std::string(1, '\0') + "\x02" + be(720) + be(2880) +
                        (mac ? "\x00\x40" : "\x00\x01");
    std::string second = "\x1a" + be(-4) + "\x1b" + be(-8) + "\x1c" + be(2880) + "\x1e" + be(0x18) + "\x98" + be(5) +
                         "\x01" + be(0) + be(1440);
    wgen::fullspec f{{k, {a, b}}};
    const char* name = mac ? "mac5-paras" : "word2-paras";
    files.push_back({std::string(name) + ".doc",
                     str(wgen::withparas(f, {{0, first}, {static_cast<int64_t>(a.size()), second}}))});
    files.push_back({std::string(name) + ".words", fixgen::words(a + b)});
  }
  storydocs(files);
  faststorydocs(files);
  fielddocs(files);
  // The stream of the big Word 6 document alone, for another compound-file
  // writer to wrap.
  files.push_back({"WordDocument", str(wgen::stream({wgen::word6, many}))});
  return fixgen::writeall(argc, argv, "kes_wordgen", files);
}
