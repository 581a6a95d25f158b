// Embedded objects and graphic files under the graphics options, the header
// repairs of extracted pictures, and form records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/framework/runtime/tests/olsttest.h"
#include "filters/framework/writer/tests/objtest.h"

namespace {

using namespace objt;

std::string hex(const std::string& bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    s += static_cast<char>(cwhexdigit(c >> 4));
    s += static_cast<char>(cwhexdigit(c));
  }
  return s;
}

// An object of version 2 with the byte callback, format given.
cwobjdesc object(int format, int inlined = 1) {
  cwobjdesc d = {};
  d.version = 2;
  d.value1 = 1;
  d.format = format;
  d.v3 = 3;
  d.v4 = 4;
  d.v5 = 5;
  d.width = 1440;
  d.height = 720;
  d.dwidth = 2880;
  d.dheight = 1440;
  d.getbyte = getin;
  d.inlined = inlined;
  d.slot = -1;
  return d;
}

std::string head(int format) { return rec(19600, {format, 3, 4, 5, 1440, 720, 2880, 1440}); }

struct objrow {
  const char* what;
  std::vector<const char*> options;
  std::function<int(cwtestrun&)> calls;
  int result;
  std::string want;  // as comshow shows it
};

TEST(Objects, ObjectsUnderTheGraphicsOptions) {
  const objrow rows[] = {
      {"version 1 without a byte callback writes nothing", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(500);
         d.version = 1;
         d.getbyte = nullptr;
         d.getblock = getblock;
         return cwobject(t.run, &d);
       },
       -1, ""},
      {"no source at all", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(500);
         d.getbyte = nullptr;
         return cwobject(t.run, &d);
       },
       -1, ""},
      {"GX writes nothing", {"/gx"},
       [](cwtestrun& t) {
         cwobjdesc d = object(500);
         return cwobject(t.run, &d);
       },
       -1, ""},
      {"GVX writes only the header", {"/gvx"},
       [](cwtestrun& t) {
         cwobjdesc d = object(-1);
         return cwobject(t.run, &d);
       },
       -1, comshow(head(699))},
      {"extracted and written back: header and hex data", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(500);
         return cwobject(t.run, &d);
       },
       9, comshow(head(500) + recs(20592, {"0102FF"}))},
      {"format 610 data starts with a 0 field", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(610);
         return cwobject(t.run, &d);
       },
       9, comshow(head(610) + recs(20592, {"0", "0102FF"}))},
      {"without the inline flag the data still stays inside a record", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(500, 0);
         return cwobject(t.run, &d);
       },
       9, comshow(recs(20592, {"0102FF"}))},
      {"a linked object uses the linked variants", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(500);
         d.version = 3;
         d.linked = 1;
         d.linkid = 0x12AB;
         d.getbyte = nullptr;
         d.getblock = getblock;
         return cwobject(t.run, &d);
       },
       9,
       comshow(recs(9442, {"0", "500", "3", "4", "5", "1440", "720", "2880", "1440", "12AB"}) +
               recs(4322, {"0102FF"}))},
      {"G1: written unconverted", {"/g1"},
       [](cwtestrun& t) {
         cwobjdesc d = object(500);
         return cwobject(t.run, &d);
       },
       -1, comshow(head(500) + recs(20592, {"0102FF"}))},
      {"an excluded format: written unconverted", {"/gtf=500"},
       [](cwtestrun& t) {
         cwobjdesc d = object(500);
         return cwobject(t.run, &d);
       },
       -1, comshow(head(500) + recs(20592, {"0102FF"}))},
      {"a 602 picture not converted: one field per byte, no header", {"/g1"},
       [](cwtestrun& t) {
         cwobjdesc d = object(602);
         return cwobject(t.run, &d);
       },
       -1, comshow(recs(3376, {"0", "0", "0", "36", "72", "0", "01", "02", "FF"}))},
      {"GER links the extracted file without a header", {"/ger"},
       [](cwtestrun& t) {
         cwobjdesc d = object(-1);
         return cwobject(t.run, &d);
       },
       0, comshow(recs(18665, {"WW000001.TMP", "1", "1440", "720", "699", "3", "4", "5", "2880", "1440"}))},
      {"GVR: the header, then the link", {"/gvr"},
       [](cwtestrun& t) {
         cwobjdesc d = object(-1);
         return cwobject(t.run, &d);
       },
       0,
       comshow(head(699) +
               recs(18665, {"WW000001.TMP", "1", "1440", "720", "699", "3", "4", "5", "2880", "1440"}))},
  };
  for (const objrow& row : rows) {
    SCOPED_TRACE(row.what);
    feed("\x01\x02\xFF");
    cwtestrun t(row.options.empty() ? std::initializer_list<const char*>{}
                                    : std::initializer_list<const char*>{row.options[0]});
    t.settle();
    t.run->tmpcount = 1;  // temporary names count from a known seed
    EXPECT_EQ(row.calls(t), row.result);
    EXPECT_EQ(t.show(), row.want);
  }
}

TEST(Objects, ExtractedFilesAreRemovedUnlessKept) {
  for (const char* opt : {"/v0", "/gd", "/gvr"}) {
    SCOPED_TRACE(opt);
    feed("abc");
    cwtestrun t({opt});
    t.settle();
    cwobjdesc d = object(500);
    cwobject(t.run, &d);
    int files = 0;
    for (int i = 0; i < t.t.st->nspill; i++) files += t.t.st->spill[i] != nullptr;
    EXPECT_EQ(files, std::string(opt) == "/v0" ? 0 : 1);
  }
}

// An object's data from a stream of the open compound file, by name and by slot.
TEST(Objects, DataFromACompoundFileStream) {
  std::string data = olt::pattern(5000, 9);
  cwtestrun t;
  t.settle();
  cvputfile(t.t.st, "doc.ole", olt::build({olt::storage("ObjectPool", {olt::stream("pic", data)})}));
  int stg = olstopen(t.run, "doc.ole");
  ASSERT_GE(stg, 0);
  cwobjdesc d = object(500);
  d.getbyte = nullptr;
  d.stream = "pic";
  EXPECT_EQ(cwobject(t.run, &d), 9);
  d.stream = "missing";
  EXPECT_EQ(cwobject(t.run, &d), -1);
  d.stream = nullptr;
  d.slot = olstopenpath(t.run, stg, "ObjectPool\0pic\0");
  EXPECT_EQ(cwobject(t.run, &d), 9);
  std::string one = comshow(head(500) + recs(20592, {hex(data)}));
  EXPECT_EQ(t.show(), one + one);
  // The named stream was closed again; the slot given stays open.
  for (int i = 0; i < OLST_NSTREAMS; i++) {
    bool open = i == d.slot || i == t.run->olstgs[stg].dirslot;
    EXPECT_EQ(olstslotused(t.run, i), open ? 0 : -1) << i;
  }
}

TEST(Objects, GraphicFiles) {
  const objrow rows[] = {
      {"a file that exists nowhere: a link with the name as passed", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(-1);
         return cwgraphic(t.run, &d, "pics/none.wmf", CW_ENCBYTE);
       },
       0, comshow(recs(18665, {"pics/none.wmf", "1", "1440", "720", "699", "3", "4", "5", "2880", "1440"}))},
      {"GRER writes the file's bytes", {"/grer"},
       [](cwtestrun& t) {
         cvputfile(t.t.st, "three.bin", "\x01\x02\x03");
         cwobjdesc d = object(-1);
         return cwgraphic(t.run, &d, "three.bin", CW_ENCBYTE);
       },
       0, comshow(recs(18661, {"three.bin", "1440", "720", "010203"}))},
      {"a file beside the input is found there", {"/grr"},
       [](cwtestrun& t) {
         t.run->params[0] = const_cast<char*>("docs/in.doc");
         cvputfile(t.t.st, "docs/p.bmp", "x");
         cwobjdesc d = object(600);
         int r = cwgraphic(t.run, &d, "c:\\pics\\p.bmp", CW_ENCBYTE);
         t.run->params[0] = nullptr;
         return r;
       },
       0, comshow(recs(18665, {"docs/p.bmp", "1", "1440", "720", "600", "3", "4", "5", "2880", "1440"}))},
      {"a format the host cannot convert writes nothing", {},
       [](cwtestrun& t) {
         cvputfile(t.t.st, "p.bmp", "x");
         cwobjdesc d = object(600);
         return cwgraphic(t.run, &d, "p.bmp", CW_ENCBYTE);
       },
       -1, ""},
      {"no name", {},
       [](cwtestrun& t) {
         cwobjdesc d = object(600);
         return cwgraphic(t.run, &d, nullptr, CW_ENCBYTE);
       },
       -1, ""},
      {"GX", {"/gx"},
       [](cwtestrun& t) {
         cwobjdesc d = object(600);
         return cwgraphic(t.run, &d, "p.bmp", CW_ENCBYTE);
       },
       -1, ""},
  };
  for (const objrow& row : rows) {
    SCOPED_TRACE(row.what);
    cwtestrun t(row.options.empty() ? std::initializer_list<const char*>{} : std::initializer_list<const char*>{row.options[0]});
    t.settle();
    EXPECT_EQ(row.calls(t), row.result);
    EXPECT_EQ(t.show(), row.want);
  }
}

// The repairs: what goes into the file before the first block.
std::string fixed(int format, const std::string& block, int dwidth = 0, int dheight = 0, int* result = nullptr) {
  cwtestrun t;
  int fh = cvfopen(t.run, "fix.tmp", 2, 2);
  cwobjdesc d = object(format);
  d.dwidth = dwidth;
  d.dheight = dheight;
  int r = cwobjfix(t.run, fh, reinterpret_cast<const unsigned char*>(block.data()), static_cast<int>(block.size()), &d);
  cvfclose(t.run, fh);
  if (result) *result = r;
  return cvgetfile(t.t.st, "fix.tmp");
}

std::string words16(std::initializer_list<int> w) {
  std::string s;
  for (int v : w) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
  }
  return s;
}

TEST(Objects, RepairsOfExtractedPictures) {
  // A picture with and without its 512-byte file header comes out the same.
  std::string pict = words16({0, 0, 0, 100, 200}) + std::string("\x00\x11\x02\xFF\x0C\x00", 6) + "body";
  int r = 0;
  std::string bare = fixed(602, pict, 0, 0, &r);
  EXPECT_EQ(r, 602);
  EXPECT_EQ(bare + pict, std::string(512, '\0') + pict);
  EXPECT_EQ(fixed(602, std::string(512, '\0') + pict, 0, 0, &r), "");
  std::string v1 = std::string(512, 'h') + words16({0, 0, 0, 100, 200}) + "\x11\x01" + "body";
  EXPECT_EQ(fixed(602, v1), "");

  // Graphics files of the word processor: a header unless one is there.
  std::string wpg = fixed(606, "data", 0, 0, &r);
  EXPECT_EQ(r, 606);
  EXPECT_EQ(wpg, std::string("\xFF\x57\x50\x43\x10\x00\x00\x00\x01\x16\x01\x00\x00\x00\x00\x00", 16));
  EXPECT_EQ(fixed(615, "data")[10], '\x02');
  EXPECT_EQ(fixed(606, "\xFFWPCdata", 0, 0, &r), "");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(fixed(700, "data", 0, 0, &r), "");
  EXPECT_EQ(r, 700);
  EXPECT_EQ(fixed(-1, "data", 0, 0, &r), "");
  EXPECT_EQ(r, -1);

  // A placeable header for a plain metafile, its box from the window records.
  std::string wmf = words16({1, 9, 0x300, 0, 0, 0, 0, 0, 0});  // the metafile's own 18-byte header
  wmf += words16({5, 0, 0x20B, -10, -20});                    // window origin y, x
  wmf += words16({5, 0, 0x20C, 600, 800});                    // window extent y, x
  wmf += words16({3, 0, 0});                                  // end
  std::string h = fixed(610, wmf, 0, 1440, &r);
  EXPECT_EQ(r, 610);
  ASSERT_EQ(h.size(), 22u);
  EXPECT_EQ(h.substr(0, 6), std::string("\xD7\xCD\xC6\x9A\x00\x00", 6));
  EXPECT_EQ(h.substr(6, 10), words16({-20, -10, 780, 590, 600}));
  unsigned sum = 0;
  for (int i = 0; i < 11; i++) sum ^= cwget16u(reinterpret_cast<const unsigned char*>(h.data()) + 2 * i, 0);
  EXPECT_EQ(sum, 0u);
  // Without an extent the display size makes the box; without that, 3000 by 2000.
  EXPECT_EQ(fixed(610, wmf.substr(0, 28) + words16({3, 0, 0}), 1000, 500).substr(6, 10),
            words16({-20, -10, 980, 490, 1000}));
  EXPECT_EQ(fixed(610, wmf.substr(0, 18) + words16({3, 0, 0})).substr(6, 10), words16({0, 0, 3000, 2000, 1000}));
  // A record of no size ends the walk instead of holding it.
  EXPECT_EQ(fixed(610, wmf.substr(0, 18) + words16({0, 0, 0x20C, 5, 5, 3, 0, 0})).size(), 22u);
  // Data that is not a plain metafile is left alone.
  EXPECT_EQ(fixed(610, "\xD7\xCD\xC6\x9A", 0, 0, &r), "");
  EXPECT_EQ(r, 0);
}

// Option GVRH: the repair runs on the extracted data, and the link names a
// file that starts with the header. (A format not given would need the
// host's identification, which knows none.)
TEST(Objects, TheRepairRunsOnExtraction) {
  std::string wmf = words16({1, 9, 0x300, 0, 0, 0, 0, 0, 0}) + words16({5, 0, 0x20C, 600, 800}) + words16({3, 0, 0});
  feed(wmf);
  cwtestrun t({"/gvrh"});
  t.settle();
  t.run->tmpcount = 1;
  cwobjdesc d = object(610);
  EXPECT_EQ(cwobject(t.run, &d), 0);
  EXPECT_NE(t.show().find("[PDS 610,"), std::string::npos) << t.show();
  std::string file = cvgetfile(t.t.st, "WW000001.TMP");
  ASSERT_EQ(file.size(), 22 + wmf.size());
  EXPECT_EQ(file.substr(22), wmf);
}

TEST(Objects, ObjectBytesNeverReachThePlainText) {
  for (int inlined : {0, 1}) {
    feed("\xAB\xCD\xEF");
    cwtestrun t;
    t.text("before ");
    cwobjdesc d = object(500, inlined);
    cwobject(t.run, &d);
    t.text(" after");
    std::string text = plaintext(t);
    EXPECT_NE(text.find("before"), std::string::npos) << inlined;
    EXPECT_EQ(text.find("ABCDEF"), std::string::npos) << text;
  }
}

struct formrow {
  const char* what;
  cwruncalls calls;
  std::string want;
};

intptr_t str(const char* s) { return reinterpret_cast<intptr_t>(s); }

TEST(Forms, RecordsForCalls) {
  const formrow rows[] = {
      {"a form start with post, an action and no encoding type",
       [](cvrun* r) {
         cwformdesc f = {0, 1, "/cgi", CW_ENCBYTE, nullptr, CW_ENCBYTE};
         cwform(r, 1, &f);
       },
       recs(13894, {"1", "1", "/cgi", ""})},
      {"a get form", [](cvrun* r) {
         cwformdesc f = {0, 0, "a", CW_ENCBYTE, "text/plain", CW_ENCBYTE};
         cwform(r, 1, &f);
       },
       recs(13894, {"1", "0", "a", "text/plain"})},
      {"a form end", [](cvrun* r) { cwform(r, 0, nullptr); }, rec(13894, {0})},
      {"a password field",
       [](cvrun* r) {
         cwctldesc c = {{0, 0, 0, str("pw"), 5, 1, 20, 8, str("x"), 5, 7, 9}};
         cwformfield(r, &c);
       },
       recs(16841, {"0", "pw", "1", "20", "8", "x", "7", "9"})},
      {"a text area",
       [](cvrun* r) {
         cwctldesc c = {{0, 1, 0, str("ta"), 5, 0, 4, str("hello"), 5, 40, 3}};
         cwformfield(r, &c);
       },
       recs(16841, {"1", "ta", "0", "4", "hello", "40", "3"})},
      {"a check box",
       [](cvrun* r) {
         cwctldesc c = {{0, 2, 0, str("cb"), 5, 1, str("on"), 5}};
         cwformfield(r, &c);
       },
       recs(16841, {"2", "cb", "1", "on"})},
      {"a radio button without a value",
       [](cvrun* r) {
         cwctldesc c = {{0, 3, 0, str("rb"), 5, 0, 0, 5}};
         cwformfield(r, &c);
       },
       recs(16841, {"3", "rb", "0", ""})},
      {"a selection list start",
       [](cvrun* r) {
         cwctldesc c = {{0, 4, 0, str("sel"), 5, 1, 3, 1, 0}};
         cwformfield(r, &c);
       },
       recs(16841, {"4", "sel", "1", "3", "1", "0"})},
      {"a selection list end: head A only",
       [](cvrun* r) {
         cwctldesc c = {{0, 4, 0, str("sel"), 5, 0, 3, 1, 0}};
         cwformfield(r, &c);
       },
       recs(16841, {"4", "sel", "0"})},
      {"an option",
       [](cvrun* r) {
         cwctldesc c = {{0, 5, 0, 1, str("One"), 5, str("1"), 5}};
         cwformfield(r, &c);
       },
       recs(16841, {"5", "1", "One", "1"})},
      {"a reset button",
       [](cvrun* r) {
         cwctldesc c = {{0, 6, 0, 1, str("Reset"), 5}};
         cwformfield(r, &c);
       },
       recs(16841, {"6", "1", "Reset"})},
      {"an image button: format 699",
       [](cvrun* r) {
         cwctldesc c = {{0, 7, 0, 0, str("go"), 5, str("img/go.gif"), 5, 2, 1, 30, 20}};
         cwformfield(r, &c);
       },
       recs(16841, {"7", "0", "go", "img/go.gif", "0", "30", "20", "699", "0", "0", "0", "0", "0", "2", "1"})},
      {"an image button without a picture",
       [](cvrun* r) {
         cwctldesc c = {{0, 7, 0, 0, str("go"), 5, 0, 5, 0, 0, 0, 0}};
         cwformfield(r, &c);
       },
       recs(16841, {"7", "0", "go", "", "0", "0", "0", "699", "0", "0", "0", "0", "0", "0", "0"})},
      {"a file field",
       [](cvrun* r) {
         cwctldesc c = {{0, 8, 0, str("up"), 5, 30, 100, str("*.txt"), 5}};
         cwformfield(r, &c);
       },
       recs(16841, {"8", "up", "30", "100", "*.txt"})},
      {"a hidden field",
       [](cvrun* r) {
         cwctldesc c = {{0, 9, 0, str("h"), 0, str("v"), 5}};
         cwformfield(r, &c);
       },
       recs(16841, {"9", "h", "v"})},
      {"types outside 0-9 write nothing",
       [](cvrun* r) {
         for (int type : {-1, 10}) {
           cwctldesc c = {{0, type, 0, str("x"), 5}};
           cwformfield(r, &c);
         }
       },
       ""},
  };
  for (const auto& row : rows) EXPECT_EQ(cwwrites(row.calls), comshow(row.want)) << row.what;
}

}  // namespace
