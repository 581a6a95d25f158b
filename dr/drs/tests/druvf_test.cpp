// The document buffer as one table of scripts: each case runs steps on a
// fresh buffer (a block chain, or a view of a data store over a fixed text)
// and checks every result, the bytes read back, the blocks held and the
// messages pushed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dr/drs/druvf.h"
#include "dr/dru/drue.h"
#include "tests/fixtures/server/statefix.h"

namespace {

// A data store over a fixed text: read, seek and tell as the row reader has
// them.
struct textsrc {
  drobjhd<drdsops> hd;
  std::string text;
  int32_t off = 0;
};

int srcread(drobj *o, void *dst, int32_t n, int32_t *got) {
  auto *s = reinterpret_cast<textsrc *>(o);
  int32_t left = s->off < static_cast<int32_t>(s->text.size())
                     ? static_cast<int32_t>(s->text.size()) - s->off
                     : 0;
  *got = std::min(n, left);
  std::memcpy(dst, s->text.data() + s->off, static_cast<size_t>(*got));
  s->off += *got;
  return *got == 0 && n > 0 ? 2 : 0;
}
int srcseek(drobj *o, int32_t off, uint8_t rel) {
  auto *s = reinterpret_cast<textsrc *>(o);
  s->off = rel ? s->off + off : off;
  return 0;
}
int srctell(drobj *o, int32_t *off) {
  *off = reinterpret_cast<textsrc *>(o)->off;
  return 0;
}

enum Op {
  Open,    // a: mode; want: 1 opened, 0 refused
  Write,   // a: count of fill bytes; want: result
  Read,    // a: count; want: result; fill: what every byte read must be
  Seek,    // a: offset, b: whence; want: result
  Close,   // want: result
  Blocks,  // want: blocks in the chain
  Len,     // want: the length
  Pushed,  // want: a message number on the error stack (then cleared)
};

struct Step {
  Op op;
  int a = 0;
  int b = 0;
  int want = 0;
  char fill = 0;
};

struct Case {
  const char *name;
  const char *source;  // a data store over this text, or null for a chain
  std::vector<Step> steps;
};

// Ten bytes of a source text "0123456789" repeated: its bytes name their
// offset's last digit.
std::string digits(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('0' + i % 10);
  return s;
}

const std::string kHundred = digits(100);

const Case kCases[] = {
    {"FreshChainReadsNothing", nullptr, {{Open, 0, 0, 1}, {Read, 10, 0, 0}, {Seek, 0, 1, 0}}},
    {"ExactBlockStaysOneBlock",
     nullptr,
     {{Open, 4, 0, 1}, {Write, 2048, 0, 2048, 'a'}, {Close}, {Blocks, 0, 0, 1}, {Open, 0, 0, 1},
      {Read, 2048, 0, 2048, 'a'}, {Read, 10, 0, 0}, {Seek, 0, 1, 2048}}},
    {"RewriteKeepsOneBlock",
     nullptr,
     {{Open, 4, 0, 1}, {Write, 5000, 0, 5000, 'a'}, {Blocks, 0, 0, 3}, {Len, 0, 0, 5000}, {Close},
      {Open, 4, 0, 1}, {Write, 100, 0, 100, 'b'}, {Close}, {Blocks, 0, 0, 1}, {Open, 0, 0, 1},
      {Read, 200, 0, 100, 'b'}, {Read, 10, 0, 0}}},
    {"OverwriteKeepsTheLength",
     nullptr,
     {{Open, 4, 0, 1}, {Write, 5000, 0, 5000, 'a'}, {Close}, {Open, 1, 0, 1},
      {Write, 100, 0, 100, 'b'}, {Close}, {Len, 0, 0, 5000}, {Open, 0, 0, 1},
      {Read, 100, 0, 100, 'b'}, {Read, 5000, 0, 4900, 'a'}}},
    {"SeekPastTheEndWhileWritingAddsZeros",
     nullptr,
     {{Open, 4, 0, 1}, {Seek, 3000, 0, 3000}, {Blocks, 0, 0, 2}, {Len, 0, 0, 3000}, {Close},
      {Open, 0, 0, 1}, {Read, 4000, 0, 3000, '\0'}}},
    {"RewrittenGapHoldsNoOldBytes",
     nullptr,
     {{Open, 4, 0, 1}, {Write, 3000, 0, 3000, 'a'}, {Close}, {Open, 4, 0, 1},
      {Write, 10, 0, 10, 'b'}, {Seek, 2500, 0, 2500}, {Write, 10, 0, 10, 'c'}, {Close},
      {Open, 0, 0, 1}, {Read, 10, 0, 10, 'b'}, {Read, 2490, 0, 2490, '\0'},
      {Read, 100, 0, 10, 'c'}}},
    {"SeekPastTheEndWhileReadingKeepsTheLength",
     nullptr,
     {{Open, 4, 0, 1}, {Write, 100, 0, 100, 'a'}, {Close}, {Open, 0, 0, 1}, {Seek, 5000, 0, 5000},
      {Read, 10, 0, 0}, {Seek, 0, 1, 5000}, {Len, 0, 0, 100}, {Blocks, 0, 0, 1}, {Seek, 50, 0, 50},
      {Read, 100, 0, 50, 'a'}}},
    {"NegativeTargetAndBadWhence",
     nullptr,
     {{Open, 4, 0, 1}, {Write, 100, 0, 100, 'a'}, {Seek, 40, 0, 40}, {Seek, -5000, 1, 0},
      {Seek, 30, 0, 30}, {Seek, 1, 3, -1}, {Seek, 0, 1, 30}, {Seek, -10, 2, 90}}},
    {"ZeroCountReadsNothingAndStays",
     nullptr,
     {{Open, 4, 0, 1}, {Write, 100, 0, 100, 'a'}, {Close}, {Open, 0, 0, 1}, {Seek, 20, 0, 20},
      {Read, 0, 0, 0}, {Seek, 0, 1, 20}}},
    {"OpenTwiceKeepsTheFirstOpen",
     nullptr,
     {{Open, 4, 0, 1}, {Open, 0, 0, 0}, {Pushed, 0, 0, 51504}, {Write, 10, 0, 10, 'a'}}},
    {"WrongModesAreRefused",
     nullptr,
     {{Open, 2, 0, 0}, {Pushed, 0, 0, 51503}, {Open, 0, 0, 1}, {Write, 10, 0, -1},
      {Pushed, 0, 0, 51506}, {Close}, {Open, 1, 0, 1}, {Read, 10, 0, -1},
      {Pushed, 0, 0, 51506}}},
    {"SourceCannotBeWritten",
     "abc",
     {{Open, 4, 0, 0}, {Pushed, 0, 0, 51505}, {Open, 0, 0, 1}, {Write, 1, 0, -1},
      {Pushed, 0, 0, 51506}}},
    {"SourceReadsWholeAndSeeks",
     kHundred.c_str(),
     {{Open, 0, 0, 1}, {Seek, 95, 0, 95}, {Read, 100, 0, 5, '*'}, {Read, 10, 0, 0},
      {Seek, -20, 1, 80}, {Seek, 0, 1, 80}}},
    // From the end through a source: size plus offset, and positioned there.
    {"SourceSeekFromTheEnd",
     kHundred.c_str(),
     {{Open, 0, 0, 1}, {Seek, -10, 2, 90}, {Read, 50, 0, 10, '*'}, {Seek, 10, 2, 110},
      {Read, 10, 0, 0}}},
};

class Buffer : public statefix::State {};

TEST_F(Buffer, Scripts) {
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    textsrc src{};
    src.hd.obj = {DRCLS_DATASTORE, 1, nullptr};
    src.hd.ops.read = srcread;
    src.hd.ops.seek = srcseek;
    src.hd.ops.tell = srctell;
    if (c.source) src.text = c.source;
    druvfd vf;
    ASSERT_EQ(druvfinit(&vf, st, st->cmdhp, c.source ? &src.hd.obj : nullptr), 0);
    int at = 0;
    for (const Step &s : c.steps) {
      SCOPED_TRACE("step " + std::to_string(at++));
      switch (s.op) {
        case Open:
          EXPECT_EQ(druvfopen(&vf, static_cast<int16_t>(s.a)) != nullptr, s.want == 1);
          break;
        case Write: {
          std::string bytes(static_cast<size_t>(s.a), s.fill);
          EXPECT_EQ(druvfwrite(&vf, bytes.data(), static_cast<int16_t>(s.a)), s.want);
          break;
        }
        case Read: {
          std::vector<char> buf(static_cast<size_t>(s.a) + 1, '?');
          int32_t pos = vf.src ? src.off : 0;
          int16_t got = druvfread(&vf, buf.data(), static_cast<int16_t>(s.a));
          ASSERT_EQ(got, s.want);
          for (int i = 0; i < got; ++i) {
            // '*' stands for the source's own bytes at the offset read.
            char want = s.fill == '*' ? static_cast<char>('0' + (pos + i) % 10) : s.fill;
            ASSERT_EQ(buf[static_cast<size_t>(i)], want) << "byte " << i;
          }
          break;
        }
        case Seek:
          EXPECT_EQ(druvfseek(&vf, s.a, static_cast<int16_t>(s.b)), s.want);
          break;
        case Close:
          EXPECT_EQ(druvfclose(&vf), s.want);
          break;
        case Blocks: {
          int n = 0;
          for (druvfblk *b = vf.first; b; b = b->next) ++n;
          EXPECT_EQ(n, s.want);
          break;
        }
        case Len:
          EXPECT_EQ(vf.len, s.want);
          break;
        case Pushed:
          EXPECT_TRUE(druefind(st, s.want)) << s.want;
          drueclr(st);
          break;
      }
    }
    EXPECT_EQ(druvfdestroy(&vf), 0);
    EXPECT_EQ(vf.first, nullptr);
  }
}

TEST_F(Buffer, NullDestroyIsNothing) { EXPECT_EQ(druvfdestroy(nullptr), 0); }

// A source that claims success but hands out nothing ends the read instead
// of being asked forever.
TEST_F(Buffer, SilentSourceEndsTheRead) {
  textsrc src{};
  src.hd.obj = {DRCLS_DATASTORE, 1, nullptr};
  src.hd.ops.read = [](drobj *, void *, int32_t, int32_t *got) {
    *got = 0;
    return 0;
  };
  src.hd.ops.seek = srcseek;
  src.hd.ops.tell = srctell;
  druvfd vf;
  druvfinit(&vf, st, st->cmdhp, &src.hd.obj);
  ASSERT_NE(druvfopen(&vf, DRUVF_READ), nullptr);
  char buf[10];
  EXPECT_EQ(druvfread(&vf, buf, sizeof buf), 0);
  EXPECT_EQ(druvfseek(&vf, 0, 2), 0);
}

}  // namespace
