// Paged work streams: pages and their boundaries, seeking, stepping back,
// push-back, spilling scratch streams and their open-file list, failures,
// and random operations checked against a plain byte-vector model.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

struct Stream : ::testing::Test {
  cvtestrun t;
  cvrun* run = t.run;
  cvpstream* s(int h) { return run->streams[h]; }
  int scratch(int pagesize, const std::string& bytes) {
    int h = cvsscratch(run, pagesize);
    cvswrite(run, h, bytes.data(), static_cast<int>(bytes.size()));
    return h;
  }
  std::string all(int h) { return t.streambytes(h); }
};

std::string pattern(int n, int seed) {
  std::string b(n, '\0');
  for (int i = 0; i < n; i++) b[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
  return b;
}

TEST_F(Stream, FileOfExactlyOnePage) {
  cvputfile(t.st, "one", pattern(64, 1));
  int h = cvsopenr(run, 64, "one");
  ASSERT_GE(h, 0);
  EXPECT_EQ(cvssize(run, h), 64);
  EXPECT_EQ(s(h)->lastpage, 0);
  std::string got;
  for (int c; (c = cvsgetc(run, h)) != -1;) got += static_cast<char>(c);
  EXPECT_EQ(got, pattern(64, 1));
  // An empty or missing file cannot be opened for reading.
  cvputfile(t.st, "empty", "");
  EXPECT_EQ(cvsopenr(run, 64, "empty"), -1);
  EXPECT_EQ(cvsopenr(run, 64, "missing"), -1);
}

TEST_F(Stream, SeekingStaysOnThePreviousPageAtABoundary) {
  int h = scratch(16, pattern(40, 2));
  ASSERT_EQ(cvsseek(run, h, 16), 0);
  EXPECT_EQ(s(h)->pageno, 0);
  EXPECT_EQ(s(h)->cur, 16);
  EXPECT_EQ(cvstell(run, h), 16);
  EXPECT_EQ(cvsgetc(run, h), pattern(40, 2)[16]);
  EXPECT_EQ(cvsseek(run, h, 40), 0);
  EXPECT_EQ(cvsseek(run, h, 41), -1);
  EXPECT_EQ(cvstell(run, h), 40);
  EXPECT_EQ(cvsseek(run, h, -1), -1);
  // A stream of whole pages can be sought to its length.
  int g = scratch(16, pattern(32, 3));
  EXPECT_EQ(cvsseek(run, g, 32), 0);
  EXPECT_EQ(s(g)->pageno, 1);
  EXPECT_EQ(cvsseek(run, g, 33), -1);
}

TEST_F(Stream, SteppingBackFromTheEndCutsTheByte) {
  int h = scratch(16, "0123456789abcdefg");  // one byte into the second page
  EXPECT_EQ(cvsbackc(run, h), 'g');
  EXPECT_EQ(cvssize(run, h), 16);
  EXPECT_EQ(cvsbackc(run, h), 'f');
  EXPECT_EQ(cvssize(run, h), 15);
  cvsputc(run, h, 'F');
  EXPECT_EQ(all(h), "0123456789abcdeF");
  // Inside the data it only moves.
  cvsseek(run, h, 2);
  EXPECT_EQ(cvsbackc(run, h), '1');
  EXPECT_EQ(cvssize(run, h), 16);
  EXPECT_EQ(cvsbackc(run, h), '0');
  EXPECT_EQ(cvsbackc(run, h), -1);
}

TEST_F(Stream, PushedBackBytesComeBackNewestFirst) {
  int h = scratch(16, "xyz");
  cvsseek(run, h, 0);
  cvsungetc(run, h, '1');
  cvsungetc(run, h, '2');
  EXPECT_EQ(cvsgetc(run, h), '2');
  EXPECT_EQ(cvsgetc(run, h), '1');
  EXPECT_EQ(cvsgetc(run, h), 'x');
  // More than a page of its push-back stream comes back whole.
  std::string many = pattern(600, 4), back;
  for (char c : many) cvsungetc(run, h, static_cast<unsigned char>(c));
  for (size_t i = 0; i < many.size(); i++) back.insert(back.begin(), static_cast<char>(cvsgetc(run, h)));
  EXPECT_EQ(back, many);
  EXPECT_EQ(cvsgetc(run, h), 'y');
  // A seek drops what is pushed back.
  cvsungetc(run, h, '!');
  cvsseek(run, h, 2);
  EXPECT_EQ(cvsgetc(run, h), 'z');
}

TEST_F(Stream, SpillingScratchStreamsKeepTheirBytes) {
  // Forty streams of three pages each spill at once: more than the open-file
  // list holds and more than the named memory files could.
  std::vector<int> hs;
  for (int i = 0; i < 40; i++) hs.push_back(scratch(64, pattern(150, i)));
  EXPECT_EQ(run->nopenfiles, CV_NOPENFILES);
  EXPECT_EQ(s(hs[0])->fh, -1);  // the least recently used gave its file up
  EXPECT_EQ(s(hs[0])->name, std::string("WW589824.TMP"));
  for (int i = 0; i < 40; i++) EXPECT_EQ(all(hs[i]), pattern(150, i)) << i;
  // Small streams never touch a file.
  int small = scratch(64, "fits");
  EXPECT_EQ(s(small)->name, nullptr);
  // A spill file goes with its stream.
  cvsclose(run, hs[5]);
  EXPECT_EQ(cvfexists(run, "WW589829.TMP"), 0);
  EXPECT_EQ(cvfexists(run, "WW589830.TMP"), 1);
}

TEST_F(Stream, CopyAndTemporaryNames) {
  int from = scratch(16, pattern(100, 5));
  int to = scratch(16, ">");
  cvscopy(run, from, to);
  EXPECT_EQ(all(to), ">" + pattern(100, 5));
  // Names go on from the fixed seed and skip the output name and existing files.
  cvputfile(t.st, "WW589827.TMP", "taken");
  char name[16];
  const char* want[] = {"WW589826.TMP", "WW589828.TMP"};
  for (const char* w : want) {
    ASSERT_EQ(cvtmpname(run, name), 0);
    EXPECT_STREQ(name, w);
  }
}

TEST(StreamRun, SpillFilesGoInTheTemporaryDirectory) {
  cvtestrun t("text", {"/t=C:\\work\\out.tmp"});
  int h = cvsscratch(t.run, 8);
  cvswrite(t.run, h, "spills over", 11);
  EXPECT_STREQ(t.run->streams[h]->name, "C:\\work\\WW589824.TMP");
  EXPECT_EQ(t.streambytes(h), "spills over");
}

TEST(StreamRun, FailuresAreRecorded) {
  cvtestrun t;
  // A page the host cannot give is halved, three times at most.
  t.host.refuse = [](size_t size) { return size > 3000; };
  int h = cvsscratch(t.run, 8192);
  ASSERT_GE(h, 0);
  EXPECT_EQ(t.run->streams[h]->pagesize, 2048);
  t.host.refuse = [](size_t size) { return size > 500; };
  EXPECT_EQ(cvsscratch(t.run, 8192), -1);
  EXPECT_EQ(cvgeterr(t.run), CV_ENOMEM);
  EXPECT_EQ(t.run->lost, 1);
  // A page that cannot be written is error 4.
  t.host.refuse = nullptr;
  cvtestrun w;
  int out = w.run->out;
  std::string page(2048, 'p');
  for (int i = 0; i < 12; i++) cvswrite(w.run, out, page.data(), 2048);  // 24,576 bytes
  w.host.refuse = [](size_t) { return true; };
  EXPECT_EQ(cvswrite(w.run, out, page.data(), 2048), 2048);
  EXPECT_EQ(cvswrite(w.run, out, page.data(), 2048), -1);
  EXPECT_EQ(cvgeterr(w.run), CV_EWRITE);
  EXPECT_EQ(w.run->lost, 1);
  // Operations on an empty slot or outside the table.
  for (int bad : {-1, 200, 256}) {
    EXPECT_EQ(cvsgetc(w.run, bad), -1);
    EXPECT_EQ(cvsputc(w.run, bad, 'x'), -1);
    EXPECT_EQ(cvsseek(w.run, bad, 0), -1);
  }
}

// The model of a stream: its bytes, the position and the pushed-back bytes.
struct model {
  std::string data;
  size_t pos = 0;
  std::string pushed;
  void write(const std::string& b) {
    for (char c : b) {
      if (pos < data.size())
        data[pos] = c;
      else
        data += c;
      pos++;
    }
  }
  int getc() {
    if (!pushed.empty()) {
      int c = static_cast<unsigned char>(pushed.back());
      pushed.pop_back();
      return c;
    }
    return pos < data.size() ? static_cast<unsigned char>(data[pos++]) : -1;
  }
};

TEST_F(Stream, RandomOperationsAgreeWithAByteVector) {
  std::mt19937 rng(20240501);
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  // Two named write streams and more scratch streams than the open-file
  // list holds, so that spill files come and go.
  constexpr int kstreams = 24;
  std::vector<int> hs;
  std::vector<model> ms(kstreams);
  for (int i = 0; i < kstreams; i++)
    hs.push_back(i < 2 ? cvsopenw(run, 8, ("named" + std::to_string(i)).c_str()) : cvsscratch(run, 8));
  for (int step = 0; step < 30000; step++) {
    int i = pick(kstreams), h = hs[i];
    model& m = ms[i];
    std::string where = "step " + std::to_string(step) + " stream " + std::to_string(i);
    switch (pick(10)) {
      case 0: {
        int c = 'a' + pick(26);
        ASSERT_EQ(cvsputc(run, h, c), 0) << where;
        m.write(std::string(1, static_cast<char>(c)));
        break;
      }
      case 1: {
        std::string b = pattern(1 + pick(30), step);
        ASSERT_EQ(cvswrite(run, h, b.data(), static_cast<int>(b.size())), static_cast<int>(b.size())) << where;
        m.write(b);
        break;
      }
      case 2:
        ASSERT_EQ(cvsgetc(run, h), m.getc()) << where;
        break;
      case 3: {
        int n = 1 + pick(30);
        std::string want, got(n, '\0');
        for (int k = 0, c; k < n && (c = m.getc()) != -1; k++) want += static_cast<char>(c);
        int r = cvsread(run, h, got.data(), n);
        ASSERT_EQ(got.substr(0, r), want) << where;
        break;
      }
      case 4: {
        long off = pick(static_cast<int>(m.data.size()) + 3);
        m.pushed.clear();
        bool ok = off <= static_cast<long>(m.data.size());
        ASSERT_EQ(cvsseek(run, h, off), ok ? 0 : -1) << where;
        if (ok) m.pos = off;
        break;
      }
      case 5: {
        int want = -1;
        if (m.pos > 0) {
          want = static_cast<unsigned char>(m.data[--m.pos]);
          if (m.pos + 1 == m.data.size()) m.data.pop_back();
        }
        ASSERT_EQ(cvsbackc(run, h), want) << where;
        break;
      }
      case 6: {
        int c = 'A' + pick(26);
        ASSERT_EQ(cvsungetc(run, h, c), 0) << where;
        m.pushed += static_cast<char>(c);
        break;
      }
      case 7:
        ASSERT_EQ(cvstell(run, h), static_cast<long>(m.pos)) << where;
        ASSERT_EQ(cvssize(run, h), static_cast<long>(m.data.size())) << where;
        break;
      case 8:
        if (pick(20) == 0) {
          ASSERT_EQ(cvsrewind(run, h), 0) << where;
          m = model();
        }
        break;
      case 9:
        ASSERT_EQ(cvsflush(run, h), 0) << where;
        break;
    }
  }
  for (int i = 0; i < kstreams; i++) EXPECT_EQ(all(hs[i]), ms[i].data) << i;
  EXPECT_EQ(cvgeterr(run), 0);
}

}  // namespace
