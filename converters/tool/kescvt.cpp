// kescvt: converts one document into plain text by hand, the way the
// indexing pipeline does: the recogniser names the format (from the first
// 4096 bytes, and a compound document from its directory and streams), the
// catalogue maps it to a converter id, the converter table gives the entry,
// and the entry writes the text into the output file. A conversion that
// fails leaves no output file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "converters/formats/cvt.h"
#include "converters/runtime/fmtcat.h"
#include "converters/runtime/rcg.h"

namespace {

const char kusage[] =
    "usage: kescvt [-c ID] [-z ZONEFILE] INPUT OUTPUT\n"
    "Writes the text of the document INPUT into OUTPUT. The converter is the\n"
    "one the document's format calls for, or the one of converter id ID.\n"
    "When the conversion fails, no OUTPUT is left. With -z the converter also\n"
    "marks the zones of the text in ZONEFILE.\n";

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

// The format code of a file; -1 when unreadable.
int detect(const char* path) {
  cxstate* st = rcgnew();
  if (!st) return -1;
  int32_t sub = 0;
  int code = rcgdetectfile(st, path, &sub);
  rcgfree(st);
  return code;
}

// The display text of a format code.
const char* formatname(int code) {
  if (code == 0) return "not recognised";
  if (code == RCG_WORD97) return "a compound document of Word 97 or later";
  int row = fmtfind(code);
  return row >= 0 ? fmtcat[row].description : "not in the catalogue";
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

// The converters as entries on a state the caller builds, for runs that
// mark zones: the zone-file name is set in the state before the entry runs.
struct zonerow {
  int id;
  cxstate* (*newst)();
  int16_t (*entry)(cxstate* st, const char* inpath, const char* outpath);
};
const zonerow kzonerows[] = {
    {1, wpc5newst, cvtwp5st},   {2, wdnewst, cvtworddosst},   {4, wpc5newst, cvtwp5st},
    {5, wpc6newst, cvtwp6st},   {6, mwnewst, cvtmacwordst},   {7, w2newst, cvtword2st},
    {8, apnewst, cvtamiprost},  {9, lotnewst, cvtlotusst},    {11, w6newst, cvtword6st},
    {13, xifnewst, cvtxifst},
};

const zonerow* zoneentry(int id) {
  for (const zonerow& z : kzonerows)
    if (z.id == id) return &z;
  return nullptr;
}

int withzones(const zonerow* z, const char* zones, const char* in, const char* out) {
  cxstate* st = z->newst();
  if (!st) return -1;
  size_t n = std::strlen(zones) + 1;
  st->mn->zonefile = static_cast<char*>(cxalloc(st, n));
  if (!st->mn->zonefile) {
    st->mn->destructor(st);
    return CX_NOMEM;
  }
  std::memcpy(st->mn->zonefile, zones, n);
  return z->entry(st, in, out);
}

}  // namespace

int main(int argc, char** argv) {
  int id = -1;
  const char* zones = nullptr;
  int a = 1;
  for (; a + 1 < argc && (std::strcmp(argv[a], "-c") == 0 || std::strcmp(argv[a], "-z") == 0); a += 2) {
    if (argv[a][1] == 'z') {
      zones = argv[a + 1];
      continue;
    }
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(argv[a + 1], &end, 10);
    if (errno || !*argv[a + 1] || *end || v < 0 || v > 0xFFFF) {
      std::fputs(kusage, stderr);
      return 2;
    }
    id = static_cast<int>(v);
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
    id = fmtcvtid(code);
    std::fprintf(stderr, "kescvt: %s: format %d (%s), converter %d\n", in, code, formatname(code), id);
  }
  cvtentry entry = nullptr;
  if (!cvtfind(id, &entry)) {
    std::fprintf(stderr, "kescvt: %s: no converter for this format\n", in);
    return 1;
  }
  if (!entry) {
    if (copyfile(in, out)) return 0;
    ::unlink(out);
    std::fprintf(stderr, "kescvt: cannot copy %s to %s\n", in, out);
    return 1;
  }
  int status;
  if (zones) {
    const zonerow* z = zoneentry(id);
    if (!z) {
      std::fprintf(stderr, "kescvt: converter %d marks no zones\n", id);
      return 1;
    }
    status = withzones(z, zones, in, out);
  } else {
    status = entry(in, out);
  }
  if (status == 0) return 0;
  // What a failed run wrote is not the document's text.
  ::unlink(out);
  std::fprintf(stderr, "kescvt: %s: status %d: %s\n", in, status, statustext(status));
  return 1;
}
