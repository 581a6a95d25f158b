// Pictures and check boxes of Word documents: the picture character's
// record in the main input becomes a link or picture data in the
// intermediate format; a check box's form data give its mark.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converters/word/tests/word6gen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/word/wwfld.h"

namespace {

using wgen::bytes;

std::string comof(const bytes& doc) {
  rdrregister();
  cvtesthost host(std::string(doc.begin(), doc.end()));
  return comshow(cvpullall(host.open(), 777, false));
}

std::string le(uint32_t v, int n) { return wgen::val(wgen::word6, v, n); }

// A level-6 document "a X b" whose X (a picture character 1, or a field
// "{ FORMCHECKBOX }" whose marks are special) carries the picture location
// of bytes appended to the stream, with further sprms.
bytes withrecord(const std::string& record, bool checkbox, const std::string& sprms = "") {
  std::string text = checkbox ? std::string("a \x13 FORMCHECKBOX \x15 b\r") : std::string("a \x01 b\r");
  auto make = [&](uint32_t at) {
    wgen::w6spec d;
    d.text = {wgen::word6, {text}, false, 6000};
    std::string loc = std::string("\x75\x01\x44\x04", 4) + le(at, 4) + sprms;
    if (checkbox)
      d.chps = {{0, ""}, {2, std::string("\x75\x01", 2)}, {3, ""}, {16, loc}, {17, std::string("\x75\x01", 2)}, {18, ""}};
    else
      d.chps = {{0, ""}, {2, loc}, {3, ""}};
    return wgen::word6stream(d);
  };
  bytes s = make(0);
  size_t at = (s.size() + 1) & ~size_t{1};
  s = make(static_cast<uint32_t>(at));
  s.resize(at, 0);
  s.insert(s.end(), record.begin(), record.end());
  s.resize(s.size() + 64, 0);
  dft::bytes f = dft::write({{"WordDocument", dft::bytes(s.begin(), s.end())}});
  return bytes(f.begin(), f.end());
}

// A picture record: total and header lengths, mapping mode, goal size,
// scales, then the data.
std::string picture(int mode, const std::string& data, int goalw = 1440, int scalex = 500, int header = 0x44,
                    int total = -1) {
  std::string h = le(total >= 0 ? total : header + data.size(), 4) + le(header, 2) + le(mode, 2);
  h += std::string(20, '\0') + le(goalw, 2) + le(720, 2) + le(scalex, 2) + le(0, 2);
  h.resize(header, '\0');
  return h + data;
}

TEST(WordObjects, Pictures) {
  const std::string pict = std::string(10, '\x07') + std::string("\x00\x11\x02\xFF\x0C\x00", 6) + "rest";
  struct Case {
    const char* what;
    std::string record;
    std::string sprms;
    std::vector<std::string> com;  // substrings expected
    bool none;                     // nothing of the picture written
  } cases[] = {
      {"linked file", picture(98, std::string("C:\\pic.bmp\0x", 12)), "", {"C:\\pic.bmp,", ",720,720,"}, false},
      {"unscaled", picture(98, std::string("C:\\pic.bmp\0x", 12), 1440, 0), "", {",1440,720,"}, false},
      {"scaled by the run", picture(98, std::string("C:\\pic.bmp\0x", 12)),
       std::string("\x78\x0c", 2) + le(2000, 2) + std::string(10, '\0'), {",2880,720,"}, false},
      {"total below header", picture(98, "C:\\x.bmp", 1440, 500, 0x44, 0x40), "", {}, true},
      {"metafile", picture(7, "META"), "", {"[PDS 610,0,0,0,720,720,1440,720][PCT 0,4D455441]"}, false},
      {"mode 100", picture(100, "META"), "", {"[PDS 610,", "[PCT 0,4D455441]"}, false},
      {"mode 99", picture(99, "META"), "", {"[PDS 699,", "[PCT 4D455441]"}, false},
      {"Mac picture", picture(8, pict), "", {"[PDS 602,", "[PCT 07070707070707070707001102FF0C0072657374]"}, false},
      {"mode 8 without signature", picture(8, "NOPE"), "", {"[PDS 699,", "[PCT 4E4F5045]"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string com = comof(withrecord(c.record, false, c.sprms));
    for (const std::string& s : c.com) EXPECT_NE(com.find(s), std::string::npos) << com;
    if (c.none) EXPECT_NE(com.find("a  b"), std::string::npos) << com;
  }
}

TEST(WordObjects, CheckBoxes) {
  for (int state : {4, 3}) {
    std::string form = le(0, 4) + le(6, 2) + std::string(1, '\0') + std::string(1, static_cast<char>(state));
    std::string com = comof(withrecord(form, true));
    EXPECT_NE(com.find(state == 4 ? "a [X] b" : "a [ ] b"), std::string::npos) << com;
  }
}

}  // namespace
