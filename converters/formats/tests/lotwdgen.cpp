// Writes worksheets made by lotgen.h and Word for DOS documents made by
// wdgen.h into a folder, so that independent readers can confirm they hold
// what they were written with (fixtures/lotwd.sh). Each NAME.EXT comes with
// NAME.EXT.words: the words of its labels (or text), one per line, in order.
#include <string>
#include <vector>

#include "converters/formats/tests/lotgen.h"
#include "converters/formats/tests/wdgen.h"
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
  for (const wdgen::sample &s : wdgen::samples()) add(s.name + ".doc", wdgen::make(s.doc), {s.text});
  return fixgen::writeall(argc, argv, "kes_lotwdgen", files);
}
