// OLE 1.0 object streams: parsed, written back, carried as record 5519 and
// read back from it, refused when truncated or oversized; and extracted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/framework/writer/tests/objtest.h"

namespace {

using namespace objt;

// The 3075-byte object: a 13-character class, 1000 native bytes and a
// metafile presentation of 2000 bytes.
std::string big() {
  return embedded("Paint.Picture", std::string(1000, 'n'), pres(3, "METAFILEPICT", 2000, 1000, std::string(2000, 'p')));
}

int putcom(cvrun* run, int byte) { return cvsputc(run, run->out, byte); }
int getcom(cvrun* run) { return cvsgetc(run, run->in); }

ole1node* parsed(cvrun* run, const std::string& bytes) {
  in = bytes;
  inpos = 0;
  return ole1parse(run, getin);
}

std::string written(cvrun* run, const ole1node* n) {
  out.clear();
  ole1write(run, n, putout);
  return out;
}

struct parserow {
  const char* what;
  std::string bytes;
  int kind;  // -1: refused
  int32_t size, width, height;
  const char* clip;
};

TEST(Ole1, ParseMeasureAndWriteBack) {
  const parserow rows[] = {
      {"version 0x0501, embedded", embedded("C", "xy", none()), 2, 8 + 4 + 2 + 4 + 4 + 4 + 2 + 8, 0, 0, nullptr},
      {"version 0x0301 is refused", le32(0x301) + le32(2), -1, 0, 0, 0, nullptr},
      {"format 4 is refused", le32(0x501) + le32(4), -1, 0, 0, 0, nullptr},
      {"format 0 is 8 bytes", none(), 0, 8, 0, 0, nullptr},
      {"the 3075-byte object", big(), 2, 3075, 2000, 1000, nullptr},
      {"a clipboard name in place of the height", pres(5, "DIB", 0, 0, "d", "Private"), 5,
       8 + 4 + 4 + 4 + 4 + 8 + 4 + 1, 0, 0, "Private"},
      {"a negative metafile height", pres(3, "METAFILEPICT", 300, -500, "m"), 3, 8 + 4 + 13 + 4 + 4 + 4 + 1, 300,
       500, nullptr},
      {"a linked object", linked("Excel", "c:\\book.xls", pres(5, "BITMAP", 10, 20, "bm")), 1,
       8 + 16 + 6 + 12 + 4 + 0 + 4 + 4 + 8 + 4 + 7 + 4 + 4 + 4 + 2, 10, 20, nullptr},
  };
  for (const parserow& r : rows) {
    SCOPED_TRACE(r.what);
    cwtestrun t;
    ole1node* n = parsed(t.run, r.bytes);
    if (r.kind < 0) {
      EXPECT_EQ(n, nullptr);
      continue;
    }
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(ole1kind(n), r.kind);
    EXPECT_EQ(ole1size(n), r.size);
    EXPECT_EQ(ole1size(n), static_cast<int32_t>(r.bytes.size()));
    EXPECT_EQ(ole1width(n), r.width);
    EXPECT_EQ(ole1height(n), r.height);
    EXPECT_STREQ(ole1clipname(n), r.clip);
    // Written back byte for byte, and parsed again to the same bytes.
    std::string back = written(t.run, n);
    EXPECT_TRUE(back == r.bytes);
    ole1node* again = parsed(t.run, back);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(written(t.run, again) == r.bytes);
    ole1free(t.run, n);
    ole1free(t.run, again);
  }
}

TEST(Ole1, Accessors) {
  cwtestrun t;
  cvrun* run = t.run;
  ole1node* n = parsed(run, linked("Excel", "book.xls", pres(3, "METAFILEPICT", 1, 2, "abc")));
  EXPECT_EQ(ole1islinked(n), 1);
  EXPECT_STREQ(ole1classname(n), "Excel");
  EXPECT_STREQ(ole1topic(n), "book.xls");
  EXPECT_STREQ(ole1item(n), "1:2");
  EXPECT_EQ(ole1nativesize(n), 0);
  EXPECT_EQ(ole1pressize(n), 3);
  out.clear();
  ole1presput(run, n, putout);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(ole1islinked(nullptr), -1);
  EXPECT_EQ(ole1kind(nullptr), 0);
  EXPECT_EQ(ole1topic(n->nested), nullptr);

  // New objects, their data imported and exported.
  EXPECT_EQ(ole1new(run, 4, "x", nullptr, nullptr), nullptr);
  ole1node* e = ole1new(run, 2, "Pkg", "t", nullptr);
  EXPECT_EQ(ole1size(e), 8 + 4 + 4 + 4 + 2 + 4 + 0 + 4);
  in = "native bytes";
  inpos = 0;
  EXPECT_EQ(ole1nativeget(run, e, getin), 0);
  EXPECT_EQ(ole1nativesize(e), 12);
  in = "new";  // a second import replaces the first
  inpos = 0;
  ole1nativeget(run, e, getin);
  out.clear();
  ole1nativeput(run, e, putout);
  EXPECT_EQ(out, "new");
  e->nested = ole1new(run, 0, nullptr, nullptr, nullptr);
  ole1node* back = parsed(run, written(run, e));
  ASSERT_NE(back, nullptr);
  EXPECT_STREQ(ole1classname(back), "Pkg");
  EXPECT_EQ(ole1nativesize(back), 3);
}

// Truncated streams and lengths of 4 GB end in null, with no block larger
// than a page of the scratch streams however large the length read.
TEST(Ole1, TruncatedAndOversizedStreamsAreRefused) {
  std::vector<std::string> cases;
  std::string whole = linked("Excel", "book.xls", pres(3, "METAFILEPICT", 1, 2, "abc"));
  for (size_t n = 0; n < whole.size(); n += 3) cases.push_back(whole.substr(0, n));
  std::string b = big();
  for (size_t n : {size_t{9}, size_t{30}, size_t{1000}, size_t{3074}}) cases.push_back(b.substr(0, n));
  cases.push_back(le32(0x501) + le32(2) + le32(0xFFFFFFFF) + "abc");
  cases.push_back(le32(0x501) + le32(2) + counted(z("C")) + le32(0) + le32(0) + le32(0xFFFFFFFF) + "abc");
  cases.push_back(le32(0x501) + le32(5) + counted(z("C")) + le32(0) + le32(0xFFFFFFFF));
  std::string deep;
  for (int i = 0; i < 100; i++) deep += le32(0x501) + le32(2) + le32(0) + le32(0) + le32(0) + le32(0);
  cases.push_back(deep + none());
  for (const std::string& c : cases) {
    SCOPED_TRACE(c.size());
    cwtestrun t;
    size_t maxalloc = 0;
    t.t.host.refuse = [&](size_t n) {
      maxalloc = std::max(maxalloc, n);
      return false;
    };
    EXPECT_EQ(parsed(t.run, c), nullptr);
    EXPECT_LE(maxalloc, 4096u + 64);
    t.t.host.refuse = nullptr;
  }
}

TEST(Ole1, TheRecordFormReadsBackTheSameObject) {
  const ole1view view = {8, 1440, 720, 1440, 720, 1000, 1000, 0, 0};
  {
    cwtestrun t;
    t.settle();
    ole1node* n = parsed(t.run, none());
    ole1emit(t.run, n, &view, putcom);
    EXPECT_EQ(t.show(), comshow(recs(5519, {"9", "8", "1440", "720", "1440", "720", "1000", "1000", "0", "0",
                                            "0105000000000000"})));
  }
  for (const std::string& bytes : {none(), big(), linked("X", "f", pres(5, "DIB", 0, 0, "", "CF"))}) {
    cwtestrun t;
    t.settle();
    ole1node* n = parsed(t.run, bytes);
    ole1emit(t.run, n, &view, putcom);
    std::string com = t.com();
    // Read back after the record's code, as a reader meets it.
    t.t.input(com.substr(5));
    ole1view* v = nullptr;
    ole1node* back = ole1parsehex(t.run, &v, getcom);
    ASSERT_NE(back, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::vector<int32_t>({v->kind, v->width, v->height, v->width2, v->height2, v->scalex, v->scaley,
                                    v->unitx, v->unity}),
              std::vector<int32_t>({8, 1440, 720, 1440, 720, 1000, 1000, 0, 0}));
    EXPECT_TRUE(written(t.run, back) == bytes);
    EXPECT_EQ(t.t.rest(), "\x1F\x1E");
  }
  // A header of fewer than five values is refused.
  cwtestrun t;
  t.t.input("4\x1F" "1\x1F" "2\x1F" "3\x1F" "4\x1F" "0105000000000000\x1F\x1E");
  EXPECT_EQ(ole1parsehex(t.run, nullptr, getcom), nullptr);
  // Hex digits that end early are refused too.
  t.t.input("5\x1F" "1\x1F" "2\x1F" "3\x1F" "4\x1F" "5\x1F" "01050000020000");
  EXPECT_EQ(ole1parsehex(t.run, nullptr, getcom), nullptr);
}

// ---------------------------------------------------------------- extraction

int spillfiles(cwtestrun& t) {
  int files = 0;
  for (int i = 0; i < t.t.st->nspill; i++) files += t.t.st->spill[i] != nullptr;
  return files;
}

TEST(Ole1, ExtractionLeavesNoFileAndNoTextUnlessKept) {
  for (const char* opt : {"/on", "/od"}) {
    SCOPED_TRACE(opt);
    cwtestrun t({opt});
    ole1node* n = parsed(t.run, big());
    out.clear();
    EXPECT_EQ(ole1conv(t.run, n, putout), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(spillfiles(t), std::string(opt) == "/od" ? 1 : 0);
    EXPECT_EQ(ole1convpres2(t.run, n, putout), 0);
    EXPECT_EQ(ole1conv(t.run, parsed(t.run, none()), putout), -1);
  }
}

TEST(Ole1, SavedDataLeaveOutThePictureHeaders) {
  std::string dib = le32(40) + std::string(10, 'h') + std::string("\x08\x00", 2) + std::string(24, 'h');
  std::string table(4 << 8, 't');
  struct {
    const char* what;
    std::string presentation;
    std::string want;
  } rows[] = {
      {"a metafile picture leaves out its first 8 bytes", pres(3, "METAFILEPICT", 1, 1, "12345678wmf"), "wmf"},
      {"a bitmap of 8 bits leaves out header and 256 colours", pres(3, "DIB", 1, 1, dib + table + "bits"), "bits"},
      {"a bitmap of 24 bits has no colour table",
       pres(3, "DIB", 1, 1, le32(40) + std::string(10, 'h') + std::string("\x18\x00", 2) + std::string(24, 'h') + "rgb"), "rgb"},
      {"other classes are saved whole", pres(3, "BITMAP", 1, 1, "raw"), "raw"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    cwtestrun t;
    ole1node* n = parsed(t.run, embedded("C", "native", r.presentation));
    ASSERT_EQ(ole1pressave(t.run, n, "p.out", nullptr), 0);
    EXPECT_EQ(cvgetfile(t.t.st, "p.out"), r.want);
    ASSERT_EQ(ole1nativesave(t.run, n, "n.out", nullptr), 0);
    EXPECT_EQ(cvgetfile(t.t.st, "n.out"), "native");
    // And loaded back.
    cvputfile(t.t.st, "new.in", "replaced");
    EXPECT_EQ(ole1nativeload(t.run, n, "new.in"), 0);
    EXPECT_EQ(ole1presload(t.run, n, "new.in"), 0);
    EXPECT_EQ(ole1nativesize(n), 8);
    EXPECT_EQ(ole1pressize(n), 8);
  }
}

TEST(Ole1, PictureRecords) {
  cwtestrun t;
  const ole1view view = {8, 0, 500, 300, 0, 1000, 1000, 0, 0};
  out.clear();
  t.run->picheight = 1000;
  t.run->picwidth = 2000;
  ole1picsize(t.run, nullptr, &view, 610, putout);
  EXPECT_EQ(comshow(out), comshow(recs(OLE1_PICSIZE, {"610", "1", "0", "0", "300", "150", "1000", "500"})));
  EXPECT_EQ(comshow(out).substr(0, 5), "[PSZ ");

  // With option NR the object is a reference to its saved file.
  cwtestrun nr({"/nrx"});
  ole1node* n = parsed(nr.run, embedded("C", "abc", none()));
  cvputfile(nr.t.st, "d.tmp", "abc");
  out.clear();
  EXPECT_EQ(ole1graphic(nr.run, n, &view, putout, "d.tmp", "c.tmp", 610, 0), 0);
  EXPECT_EQ(comshow(out), "[GRF d.tmp]");
  // Otherwise its size and its bytes in hex.
  cwtestrun plain;
  out.clear();
  cvputfile(plain.t.st, "d.tmp", "abc");
  EXPECT_EQ(ole1graphic(plain.run, n, &view, putout, "d.tmp", "c.tmp", 610, 0), 0);
  EXPECT_EQ(comshow(out), "[PSZ 610,1,0,0,300,0,0,500][PDA 616263]");
  EXPECT_EQ(ole1hexchar(16), 'X');
  EXPECT_EQ(ole1hexchar(11), 'B');
}

// Converted text passed on: the nested document's identification goes,
// nested records and all; other records pass; a lone ESC stops the copy.
TEST(Ole1, ConvertedTextSkipsTheNestedPrologue) {
  cwtestrun t;
  std::string conv = "a" + comrec(4388, {"1", "x" + comrec(20614, {"1"}) + "y"}) + "b" + comrec(9843, {"s"}) +
                     comrec(12744, {}) + "c\x1B" "d";
  cvputfile(t.t.st, "conv.tmp", conv);
  int fh = cvfopen(t.run, "conv.tmp", 1, 1);
  unsigned char block[1024];
  out.clear();
  ole1bufreset();
  for (int c; (c = ole1bufgetc(t.run, fh, block)) != -1;) {
    if (c != COM_ESC)
      putout(t.run, c);
    else if (ole1skiprec(t.run, fh, block, putout) != 0)
      break;
  }
  EXPECT_EQ(comshow(out), comshow("ab" + comrec(12744, {}) + "c"));
}

// Plain text of a document that carries a converted object: its bytes never
// show as hex digits.
TEST(Ole1, TheRecordFormStaysOutOfThePlainText) {
  cwtestrun t;
  t.text("before ");
  ole1node* n = parsed(t.run, embedded("C", "\xAB\xCD\xEF", none()));
  ole1emit(t.run, n, nullptr, putcom);
  t.text(" after");
  std::string text = plaintext(t);
  EXPECT_NE(text.find("before"), std::string::npos);
  EXPECT_EQ(text.find("ABCDEF"), std::string::npos) << text;
  EXPECT_EQ(text.find("0105"), std::string::npos) << text;
}

}  // namespace
