// The body of the fuzz targets of the Word entries: the input becomes a
// document file, the entry converts it, and the run must end with a status
// and leave nothing in its folder but the document and the output.
#ifndef KES_CONVERTERS_WORD_TESTS_WXFUZZ_H
#define KES_CONVERTERS_WORD_TESTS_WXFUZZ_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>

#include "converters/formats/cvt.h"

inline std::string &wxfuzzdir() {
  static std::string dir;
  return dir;
}

inline void wxfuzzgone() { ::rmdir(wxfuzzdir().c_str()); }

inline int wxfuzz(cvtentry entry, const uint8_t *data, size_t size) {
  std::string &dir = wxfuzzdir();
  if (dir.empty()) {
    char tmpl[] = "/tmp/kes-wx-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl)) abort();
    dir = tmpl;
    std::atexit(wxfuzzgone);
  }
  std::string in = dir + "/in.doc", out = dir + "/out.txt";
  FILE *f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  int status = entry(in.c_str(), out.c_str());
  if (status < -1 || status > 17) abort();
  std::remove(in.c_str());
  std::remove(out.c_str());
  // A temporary file of the run left behind is a fault.
  if (DIR *d = ::opendir(dir.c_str())) {
    while (dirent *e = ::readdir(d))
      if (e->d_name[0] != '.') abort();
    ::closedir(d);
  }
  return 0;
}

// wxzones: runs an entry on a state of its making with the zone file
// "zones.txt" of the fuzz folder named, so that the full reader runs; the
// zone file is removed again.
inline int16_t wxzones(cxstate *(*newst)(), int16_t (*entry)(cxstate *, const char *, const char *),
                       const char *in, const char *out) {
  std::string z = wxfuzzdir() + "/zones.txt";
  cxstate *st = newst();
  wzonefile(st, z.c_str());
  int16_t status = entry(st, in, out);
  std::remove(z.c_str());
  return status;
}

#endif
