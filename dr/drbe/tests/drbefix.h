// The loader engine without a database: a described column table (ID,
// TITLE of 80, AUTHOR of 40, and a text column BODY), load files held in
// memory, and rows kept in a list instead of inserted. Shared by the tests
// and the fuzz target.
#ifndef KES_DR_DRBE_TESTS_DRBEFIX_H
#define KES_DR_DRBE_TESTS_DRBEFIX_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "dr/drbe/drbe.h"
#include "dr/dru/dru.h"

namespace drbefix {

// The rows a run inserted, each "ID|TITLE|AUTHOR|BODY" with <null> for NULL;
// an ID listed in dups is refused as a duplicate.
struct Sink {
  std::vector<std::string> rows;
  std::vector<std::string> dups;
};

inline std::string value(drbegstate *ld, int32_t c) {
  if (ld->rows->inds[c][0] < 0) return "<null>";
  const char *v = ld->rows->values[c];
  if (c == ld->textcol) {
    int32_t n;
    std::memcpy(&n, v, 4);
    return std::string(v + 4, static_cast<size_t>(n));
  }
  return v;
}

inline int keep(drbegstate *ld) {
  auto *sink = static_cast<Sink *>(ld->user);
  std::string row;
  for (int32_t c = 0; c < ld->ncols; c++) row += (c ? "|" : "") + value(ld, c);
  for (auto &d : sink->dups) {
    if (value(ld, 0) == d) {
      dracnerr(ld->st, DRFAC_DRG, 50850, 2, DRA_STR, "duplicate key", 0);
      return 3;
    }
  }
  sink->rows.push_back(row);
  return 0;
}

// A loader over the column table; null when it cannot be built.
inline drbegstate *loader(drsrvstate *st, Sink *sink) {
  auto *ld = reinterpret_cast<drbegstate *>(drbegnew(st, st->cmdhp));
  if (!ld) return nullptr;
  std::strcpy(ld->table, "T");
  ld->textsize = DRBEG_TEXTMAX + 4;
  const char *names[] = {"id", "title", "author", "body"};
  const int16_t types[] = {2, DRUO_VARCHAR2, DRUO_VARCHAR2, DRUO_LONG};
  const int32_t sizes[] = {22, 80, 40, 0};
  if (drbegcolset(ld, names, types, sizes, 4) != 0 || drbegbufs(ld) != 0) return nullptr;
  ld->ins = keep;
  ld->user = sink;
  return ld;
}

// Runs the records of bytes through a loader; its result.
inline int run(drsrvstate *st, drbegstate *ld, const std::string &bytes, uint8_t withname = 0) {
  int fd = memfd_create("load", MFD_CLOEXEC);
  if (fd < 0) return -1;
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t w = write(fd, bytes.data() + off, bytes.size() - off);
    if (w <= 0) break;
    off += static_cast<size_t>(w);
  }
  lseek(fd, 0, SEEK_SET);
  ld->fd = fd;
  ld->withname = withname;
  ld->line = 0;
  return drbegrows(ld);
}

}  // namespace drbefix

#endif
