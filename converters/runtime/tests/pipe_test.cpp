// The pipe file client against a fake peer on a pipe pair: request layout,
// replies in pieces, the end-of-file reply, bad signatures, and the
// capacity a write needs.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "converters/runtime/tests/cxtest.h"

namespace {

void put32(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 4) s.resize(at + 4);
  for (int i = 0; i < 4; i++) s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}
uint32_t get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

std::string reply(int cmd, int value, const std::string& data = "", uint32_t sig = 0x18436572,
                  bool ok = true) {
  std::string r(256, '\0');
  put32(r, 4, sig);
  put32(r, 8, ok ? 0x80000000u : 0);
  put32(r, 12, static_cast<uint32_t>(cmd));
  put32(r, 16, static_cast<uint32_t>(value));
  if (cmd == 3 || cmd == 11) {
    r.replace(20, data.size(), data);
  } else if (!data.empty()) {
    put32(r, 20, static_cast<uint32_t>(std::stoi(data)));
  }
  put32(r, 0, static_cast<uint32_t>(r.size()));
  return r;
}

// A peer that answers each request with the replies its handler gives.
struct Peer {
  int req[2], rep[2];
  std::vector<std::string> seen;
  std::thread th;
  Peer(int nrequests, std::function<std::vector<std::string>(const std::string&)> handler) {
    EXPECT_EQ(::pipe(req), 0);
    EXPECT_EQ(::pipe(rep), 0);
    th = std::thread([=, this] {
      for (int i = 0; i < nrequests; i++) {
        std::string r(256, '\0');
        if (!readall(req[0], r.data(), 256)) return;
        uint32_t len = get32(r, 0);
        if (len > 256) {
          r.resize(len);
          if (!readall(req[0], r.data() + 256, len - 256)) return;
        }
        seen.push_back(r);
        for (const std::string& out : handler(r))
          if (::write(rep[1], out.data(), out.size()) < 0) return;
      }
    });
  }
  static bool readall(int fd, char* p, size_t n) {
    while (n) {
      ssize_t k = ::read(fd, p, n);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }
  ~Peer() {
    ::close(req[1]);
    th.join();
    ::close(req[0]);
    ::close(rep[0]);
    ::close(rep[1]);
  }
};

struct Pipe : ::testing::Test {
  cxstate* st = cxteststate();
  void attach(Peer& p, int cap) {
    st->fb->pipecap = cap;
    st->fb->pipereq = p.req[1];
    st->fb->pipereply = p.rep[0];
    st->ob->optflags |= 0x400;
    ASSERT_EQ(cxregsinit(st), 0);
  }
  void TearDown() override { cxfreest(st); }
};

TEST_F(Pipe, WriteOfTenBytes) {
  Peer peer(1, [](const std::string&) { return std::vector<std::string>{reply(4, 10)}; });
  attach(peer, 8192);
  EXPECT_EQ(cxwrite(st, 7, "0123456789", 10), 10);
  ASSERT_EQ(peer.seen.size(), 1u);
  const std::string& r = peer.seen[0];
  EXPECT_EQ(get32(r, 0), 4114u);
  EXPECT_EQ(get32(r, 4), 0x18436572u);
  EXPECT_EQ(get32(r, 8), 0u);  // the first serial
  EXPECT_EQ(get32(r, 12), 4u);
  EXPECT_EQ(get32(r, 16), 7u);
  EXPECT_EQ(get32(r, 20), 10u);
  EXPECT_EQ(r.substr(24, 10), "0123456789");
  EXPECT_EQ(st->cm->pipeserial, 1);
}

TEST_F(Pipe, WriteNeedsCapacity) {
  Peer peer(0, [](const std::string&) { return std::vector<std::string>{}; });
  attach(peer, 0);
  EXPECT_EQ(cxwrite(st, 7, "x", 1), -1);
}

TEST_F(Pipe, ReadsInPiecesAndAtTheEnd) {
  int call = 0;
  Peer peer(2, [&](const std::string&) {
    if (call++ == 0) return std::vector<std::string>{reply(3, 60, std::string(60, 'a')),
                                                     reply(3, 40, std::string(40, 'b'))};
    return std::vector<std::string>{reply(11, 30, std::string(30, 'c'))};
  });
  attach(peer, 8192);
  char buf[100];
  EXPECT_EQ(cxread(st, 5, buf, 100), 100);
  EXPECT_EQ(std::string(buf, 100), std::string(60, 'a') + std::string(40, 'b'));
  EXPECT_EQ(get32(peer.seen[0], 20), 100u);
  EXPECT_EQ(cxread(st, 5, buf, 100), 30);
}

TEST_F(Pipe, ReplyLargerThanAskedNeverOverflows) {
  Peer peer(1, [](const std::string&) {
    return std::vector<std::string>{reply(11, 200, std::string(200, 'z'))};
  });
  attach(peer, 8192);
  char buf[16];
  EXPECT_EQ(cxread(st, 5, buf, 10), 10);
}

TEST_F(Pipe, OpenSizeExistAndBadSignature) {
  Peer peer(4, [](const std::string& r) {
    switch (get32(r, 12)) {
      case 2: return std::vector<std::string>{reply(2, 42)};
      case 7: return std::vector<std::string>{reply(7, 0, "1234")};
      case 10: return std::vector<std::string>{reply(10, 0)};
      default: return std::vector<std::string>{reply(6, 0, "", 0x12345678)};
    }
  });
  attach(peer, 8192);
  EXPECT_EQ(cxopen(st, "some/file", 3, 1), 42);
  EXPECT_EQ(std::string(peer.seen[0].data() + 16), "some/file");
  EXPECT_EQ(get32(peer.seen[0], 16 + 10), 3u);
  EXPECT_EQ(get32(peer.seen[0], 16 + 14), 1u);
  EXPECT_EQ(cxfsize2(st, "f"), 1234);
  EXPECT_EQ(pioexist(st, "f"), 0);
  EXPECT_EQ(piofclose(st, 42), -1);  // wrong signature
}

}  // namespace
