// Fuzzes the formatter and the message-file reader: any format string over a
// fixed argument list must stay inside the buffer, and any file content must
// load or be refused without harm. Input: a selector byte, then the data.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/rt/rt.h"

namespace {

void format_case(const uint8_t *data, size_t size) {
  std::string format(reinterpret_cast<const char *>(data), size);
  int32_t i = -5;
  uint32_t u = 7;
  uint16_t h = 3;
  int32_t len = 2;
  rtarg args[8] = {};
  args[0].type = RTA_STR; args[0].u.s = "text";
  args[1].type = RTA_INT; args[1].u.i = 42;
  args[2].type = RTA_SB4; args[2].u.p = &i;
  args[3].type = RTA_UB4; args[3].u.p = &u;
  args[4].type = RTA_UB2; args[4].u.p = &h;
  args[5].type = RTA_DBL; args[5].u.d = 2.5;
  args[6].type = RTA_TXT; args[6].u.s = "abc"; args[6].len = &len;
  args[7].type = RTA_PTR; args[7].u.p = &i;
  // The buffer sits in the middle of guard bytes that must stay untouched.
  for (size_t n : {0u, 1u, 7u, 64u}) {
    char area[64 + 2 * 16];
    std::memset(area, 0x5a, sizeof area);
    char *buf = area + 16;
    int rc = lsffmta(nullptr, buf, n, format.c_str(), args, 8);
    for (size_t k = 0; k < 16; k++)
      if (area[k] != 0x5a) std::abort();
    for (size_t k = 16 + n; k < sizeof area; k++)
      if (area[k] != 0x5a) std::abort();
    if (n == 0) {
      if (rc > 0) std::abort();  // nothing fits in no room
      continue;
    }
    if (rc >= 0 && (static_cast<size_t>(rc) >= n || std::strlen(buf) != static_cast<size_t>(rc)))
      std::abort();
    if (std::strlen(buf) >= n) std::abort();
  }
}

void file_case(const uint8_t *data, size_t size) {
  int fd = memfd_create("msgfile", 0);
  if (fd < 0) return;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return;
  }
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  rtmsgmgr *mm = rtmsgnew(nullptr, nullptr, 0, "UTF8");
  int32_t fac = -1;
  char err[256];
  if (rtmsgfacfile(mm, "DRG", path, &fac, err, sizeof err) == 0) {
    // push every number once the file loaded; the texts are directives too
    for (int num : {1, 100, 666, 10900, 50850, 99999}) {
      rtarg a{};
      a.type = RTA_STR;
      a.u.s = "x";
      rtmsgpush(mm, fac, num, 2, &a, 1);
    }
    char txt[32];
    for (int k = 1; k <= rtmsgcnt(mm); k++) rtmsgtxt(mm, k, txt, sizeof txt);
  }
  rtmsgfre(mm);
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) file_case(data + 1, size - 1);
  else format_case(data + 1, size - 1);
  return 0;
}
