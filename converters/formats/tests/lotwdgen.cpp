// Writes worksheets made by lotgen.h and Word for DOS documents made by
// wdgen.h into a folder, so that independent readers can confirm they hold
// what they were written with (fixtures/lotwd.sh). Each NAME.EXT comes with
// NAME.EXT.words: the words of its labels (or text), one per line, in order.
#include <string>
#include <vector>

#include "converters/formats/tests/lotgen.h"
#include "converters/formats/tests/wdgen.h"
#include "converters/formats/tests/wdzgen.h"
#include "converters/runtime/tests/fixgen.h"

namespace {

std::string words(const std::vector<std::string> &texts) {
  std::string all;
  for (const std::string &t : texts) all += t + " ";
  return fixgen::words(all);
}

}  // namespace

int main(int argc, char **argv) {
  using namespace lgen;
  std::vector<fixgen::file> files;
  auto add = [&](const std::string &name, const std::string &doc, const std::vector<std::string> &texts) {
    files.push_back({name, doc});
    files.push_back({name + ".words", words(texts)});
  };
  for (kind k : {wks, wk1, wk3}) {
    const char *ext = k == wks ? ".wks" : k == wk1 ? ".wk1" : ".wk3";
    add(std::string("cells") + ext,
        sheet(k, {label(k, 0, 0, "Name"), label(k, 0, 1, "Amount"), label(k, 1, 0, "apples"), number(k, 1, 1, 12.5),
                  label(k, 2, 0, "pears"), k == wk3 ? small(2, 1, 14) : integer(2, 1, 7), label(k, 3, 0, "total"),
                  formula(k, 3, 1, 19.5), label(k, 5, 2, "far away", '"')}),
        {"Name", "Amount", "apples", "pears", "total", "far away"});
    std::vector<std::string> texts;
    std::string big = bigsheet(k, 60000, 3, &texts);
    add(std::string("many") + ext, big, texts);
  }
  // A release the converter does not read: only the independent reader checks it.
  add("cells.123", release97({label(wk3, 0, 0, "Name"), label(wk3, 1, 0, "apples"), number(wk3, 1, 1, 12.5)}),
      {"Name", "apples"});
  for (const wdgen::sample &s : wdgen::samples()) add(s.name + ".doc", wdgen::make(s.doc), {s.text});
  // With the pages the zone path reads: hidden runs, a paragraph run and a
  // footnote table.
  {
    const std::string hid("\x00\x00\x00\x80", 4), text = "Visible words. Hidden words. Last words.\r\n";
    wdgen::zspec z{text};
    z.chps = {{0, 15, ""}, {15, 29, hid}, {29, static_cast<int32_t>(text.size()), ""}};
    z.paps = {{0, static_cast<int32_t>(text.size()), std::string("\x00\x00\x80", 3)}};
    add("dos-zones.doc", wdgen::makez(z), {text});
  }
  return fixgen::writeall(argc, argv, "kes_lotwdgen", files);
}
