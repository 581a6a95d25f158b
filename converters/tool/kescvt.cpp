// kescvt: converts one document into plain text by hand, the way the
// indexing pipeline does: the recogniser names the format from the first
// 4096 bytes, the catalogue maps it to a converter id, the converter table
// gives the entry, and the entry writes the text into the output file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "converters/formats/cvt.h"
#include "converters/runtime/fmtcat.h"
#include "converters/runtime/rcg.h"

namespace {

const char kusage[] =
    "usage: kescvt [-c ID] INPUT OUTPUT\n"
    "Writes the text of the document INPUT into OUTPUT. The converter is the\n"
    "one the document's format calls for, or the one of converter id ID.\n";

// What a converter's status means.
const char* statustext(int status) {
  switch (status) {
    case -1: return "the converter's state could not be built";
    case 1: return "the input cannot be opened";
    case 2: return "a read from the input failed";
    case 3: return "the output (or a scratch file) cannot be opened";
    case 4: return "a write failed";
    case 5: return "data refused, missing or unusable (or no converter yet)";
    case 8: return "memory refused";
    case 9: return "the input is not of this converter's format or version";
    case 10: return "a write wrote nothing";
    case 11: return "a record longer than 512 bytes";
    case 12: return "a packet was missing or unusable";
    case 15: return "the document is encrypted";
    case 16: return "the document's codes are malformed";
    case 17: return "a seek in the input failed";
    default: return "failure";
  }
}

// The format code of a file from its first 4096 bytes; -1 when unreadable.
int detect(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return -1;
  unsigned char buf[4096];
  size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  cxstate* st = rcgnew();
  if (!st) return -1;
  int32_t sub = 0;
  int code = rcgdetect(st, buf, static_cast<int32_t>(n), 0, &sub);
  rcgfree(st);
  return code;
}

// Copies a document that needs no converter.
bool copyfile(const char* from, const char* to) {
  FILE* in = std::fopen(from, "rb");
  if (!in) return false;
  FILE* out = std::fopen(to, "wb");
  bool ok = out != nullptr;
  char buf[65536];
  size_t n;
  while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0) ok = std::fwrite(buf, 1, n, out) == n;
  ok = ok && !std::ferror(in);
  std::fclose(in);
  if (out && std::fclose(out) != 0) ok = false;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int id = -1;
  int a = 1;
  if (a + 1 < argc && std::strcmp(argv[a], "-c") == 0) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(argv[a + 1], &end, 10);
    if (errno || !*argv[a + 1] || *end || v < 0 || v > 0xFFFF) {
      std::fputs(kusage, stderr);
      return 2;
    }
    id = static_cast<int>(v);
    a += 2;
  }
  if (argc - a != 2) {
    std::fputs(kusage, stderr);
    return 2;
  }
  const char* in = argv[a];
  const char* out = argv[a + 1];
  if (id < 0) {
    int code = detect(in);
    if (code < 0) {
      std::fprintf(stderr, "kescvt: %s: %s\n", in, std::strerror(errno));
      return 1;
    }
    int row = fmtfind(code);
    id = fmtcvtid(code);
    std::fprintf(stderr, "kescvt: %s: format %d (%s), converter %d\n", in, code,
                 code == 0 ? "not recognised" : row >= 0 ? fmtcat[row].description : "not in the catalogue", id);
  }
  cvtentry entry = nullptr;
  if (!cvtfind(id, &entry)) {
    std::fprintf(stderr, "kescvt: %s: no converter for this format\n", in);
    return 1;
  }
  if (!entry) {
    if (copyfile(in, out)) return 0;
    std::fprintf(stderr, "kescvt: cannot copy %s to %s\n", in, out);
    return 1;
  }
  int status = entry(in, out);
  if (status == 0) return 0;
  std::fprintf(stderr, "kescvt: %s: status %d: %s\n", in, status, statustext(status));
  return 1;
}
