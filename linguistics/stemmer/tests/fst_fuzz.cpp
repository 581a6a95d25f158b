// Arbitrary bytes as a transducer file: when it loads, words are looked up
// in every mode with buffers of several sizes, as 8- and 16-bit text and
// coded, tokenized and enumerated, and the transducer's own information is
// read. Nothing may crash, leak or run away.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "linguistics/stemmer/stem.h"

namespace {

std::string scratchfile() {
  char tmpl[] = "/tmp/kes_fst_fuzz.XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd >= 0) close(fd);
  static std::string name = tmpl;
  std::atexit([] { std::remove(name.c_str()); });
  return name;
}

const char *const kWords[] = {"", "a", "ab", "abc", "cat", "cats", "cat[+Pl]", "[+Sg]", "run",
                              "running", "x[y", "\xE9t\xE9", "Z", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"};

void everything(const fstnet *t) {
  std::vector<char> buf(512);
  for (const char *w : kWords) {
    for (int mode = 1; mode <= 10; mode++)
      for (int size : {0, 40, 512}) fstlookup(w, buf.data(), size, mode, t);
    uint16_t wide[64], out[256];
    size_t n = 0;
    for (; w[n] && n < 62; n++) wide[n] = static_cast<unsigned char>(w[n]);
    wide[n++] = 0x0101;
    wide[n] = 0;
    for (int mode = 2; mode <= 9; mode++) fstlookupw(wide, out, 256, mode, t);
    fstencodetextw(wide, reinterpret_cast<uint8_t *>(out), 64, 1, t);

    uint8_t coded[128], cbuf[512];
    int32_t pos[8], cpos[8];
    for (int type = 0; type <= 2; type++) {
      int len = fstencodetext(w, coded, sizeof coded, type, t);
      if (len < 0) continue;
      for (int mode = 2; mode <= 9; mode++) fstlookupc(coded, cbuf, sizeof cbuf, mode, t);
      for (int all = 0; all <= 1; all++) {
        fsttokenize(coded, buf.data(), 512, pos, 8, all, t);
        fsttokenizec(coded, cbuf, 512, pos, 8, all, t);
        fsttokenizew(coded, out, 256, pos, 8, all, t);
      }
      fstcodedpos(pos, 8, cpos, coded, t);
      fstdecodetext(coded, buf.data(), 64, type, t);
      fstdecodetextw(coded, out, 64, type, t);
    }
    fstbuf *lb = fstbufnew(16, 16, 8, 0);
    int r = fstenum(w, buf.data(), 12, lb, 1, 0, 8, 0, t);
    for (int k = 0; k < 4 && (r == FST_EMORE || r == FST_ECLIENT); k++)
      r = fstenum(w, buf.data(), 12 + 8 * k, lb, 1, 0, 8, 1, t);
    fstbuffree(lb);
  }
  char text[128];
  fstinfo(text, sizeof text, t);
  fstversion(text, sizeof text, t);
  fstcaps(t);
  fstprop8(t);
  fstprop7(t);
  fstprop50(t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static std::string path = scratchfile();
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  fstnet *t = fstopen(path.c_str());
  if (fststatus(t) == 0) everything(t);
  fstclose(t);
  return 0;
}
