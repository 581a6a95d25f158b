// Writes worksheets made by lotgen.h and Word for DOS documents made by
// wdgen.h into a folder, so that independent readers can confirm they hold
// what they were written with (fixtures/lotwd.sh). Each NAME.EXT comes with
// NAME.words: the words of its labels (or text), one per line, in order.
#include <cstdio>
#include <string>
#include <vector>

#include "converters/formats/tests/lotgen.h"
#include "converters/formats/tests/wdgen.h"
#include "converters/word/tests/wordgen.h"

namespace {

std::string words(const std::vector<std::string> &texts) {
  std::string all;
  for (const std::string &t : texts) all += t + " ";
  return wgen::words(all);
}

struct item {
  std::string name;
  std::string doc;
  std::vector<std::string> texts;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kes_lotwdgen FOLDER\n");
    return 2;
  }
  std::string dir = argv[1];
  using namespace lgen;
  std::vector<item> items;
  for (kind k : {wks, wk1, wk3}) {
    const char *ext = k == wks ? ".wks" : k == wk1 ? ".wk1" : ".wk3";
    items.push_back({std::string("cells") + ext,
                     sheet(k, {label(k, 0, 0, "Name"), label(k, 0, 1, "Amount"), label(k, 1, 0, "apples"),
                               number(k, 1, 1, 12.5), label(k, 2, 0, "pears"),
                               k == wk3 ? small(2, 1, 14) : integer(2, 1, 7), label(k, 3, 0, "total"),
                               formula(k, 3, 1, 19.5), label(k, 5, 2, "far away", '"')}),
                     {"Name", "Amount", "apples", "pears", "total", "far away"}});
    item big{std::string("many") + ext, "", {}};
    big.doc = bigsheet(k, 60000, 3, &big.texts);
    items.push_back(big);
  }
  for (const wdgen::sample &s : wdgen::samples()) items.push_back({s.name + ".doc", wdgen::make(s.doc), {s.text}});
  for (const item &it : items) {
    std::string base = it.name.substr(0, it.name.find('.'));
    std::string ext = it.name.substr(it.name.find('.'));
    if (!lgen::save(dir + "/" + it.name, it.doc) ||
        !lgen::save(dir + "/" + base + ext + ".words", words(it.texts))) {
      std::fprintf(stderr, "kes_lotwdgen: cannot write into %s\n", dir.c_str());
      return 1;
    }
  }
  return 0;
}
