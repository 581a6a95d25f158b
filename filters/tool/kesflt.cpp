// kesflt: pulls one document through the filter framework by hand, the way
// the server's host does: the readers are installed, the document is read
// through the five host callbacks over a file, and its plain text (with -i
// the intermediate file) is written into the output file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filters/framework/runtime/cv.h"
#include "filters/readers/rdr.h"

namespace {

const char kusage[] =
    "usage: kesflt [-i] INPUT OUTPUT\n"
    "Writes the plain text of the document INPUT into OUTPUT; with -i the\n"
    "intermediate file instead.\n";

FILE* fileof(void* user) { return static_cast<FILE*>(user); }

int hostread(void* user, void* buf, int len, int* count) {
  size_t n = std::fread(buf, 1, len > 0 ? static_cast<size_t>(len) : 0, fileof(user));
  *count = static_cast<int>(n);
  return std::ferror(fileof(user)) ? -1 : *count;
}

long hostseek(void* user, long offset, int origin) {
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  if (std::fseek(fileof(user), offset, whence) != 0) return -1;
  return std::ftell(fileof(user));
}

long hosttell(void* user, long* pos) { return *pos = std::ftell(fileof(user)); }

// The hosts of this system hand out zero-filled blocks.
void* hostalloc(void*, size_t size) { return std::calloc(1, size); }

int hostfree(void*, void* block) {
  std::free(block);
  return 0;
}

const char* formatname(int format) {
  switch (format) {
    case 1: return "plain text";
    case 7: return "WordPerfect 5";
    case 44: return "Word (early)";
    case 48: return "WordPerfect 6";
    case 49: return "Word";
    case 108: return "HTML";
    default: return "not recognised";
  }
}

}  // namespace

int main(int argc, char** argv) {
  int a = 1;
  bool intermediate = false;
  if (a < argc && std::strcmp(argv[a], "-i") == 0) {
    intermediate = true;
    a++;
  }
  if (argc - a != 2) {
    std::fputs(kusage, stderr);
    return 2;
  }
  const char* in = argv[a];
  const char* out = argv[a + 1];
  FILE* doc = std::fopen(in, "rb");
  if (!doc) {
    std::fprintf(stderr, "kesflt: %s: %s\n", in, std::strerror(errno));
    return 1;
  }
  rdrregister();
  static const convhostcb cb = {hostread, hostseek, hosttell, hostalloc, hostfree};
  convstate* st = convopen(doc, &cb);
  if (!st) {
    std::fprintf(stderr, "kesflt: %s: no memory\n", in);
    std::fclose(doc);
    return 1;
  }
  int format = convdetect(st);
  std::fprintf(stderr, "kesflt: %s: format %d (%s)\n", in, format, formatname(format));
  FILE* dst = std::fopen(out, "wb");
  if (!dst) {
    std::fprintf(stderr, "kesflt: %s: %s\n", out, std::strerror(errno));
    convclose(st);
    std::fclose(doc);
    return 1;
  }
  int rc = 0;
  static char buf[65536];
  for (;;) {
    int n = 0;
    int r = intermediate ? convgetint(st, buf, sizeof buf, &n) : convgettext(st, buf, sizeof buf, &n);
    if (r == -1) {
      std::fprintf(stderr, "kesflt: %s: the conversion failed\n", in);
      rc = 1;
      break;
    }
    if (n <= 0) break;
    if (std::fwrite(buf, 1, n, dst) != static_cast<size_t>(n)) {
      std::fprintf(stderr, "kesflt: %s: %s\n", out, std::strerror(errno));
      rc = 1;
      break;
    }
  }
  if (std::fclose(dst) != 0 && rc == 0) {
    std::fprintf(stderr, "kesflt: %s: %s\n", out, std::strerror(errno));
    rc = 1;
  }
  convclose(st);
  std::fclose(doc);
  return rc;
}
