// The character writers: a byte of the current code page or a 16-bit
// character put into the output as text or as the escape records that name
// its code page, always with the code-page-437 form after a foreign byte.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

void put(cvrun* run, int byte) { cvsputc(run, run->out, byte); }

// A byte of code page 437: text from 32 to 127, records otherwise.
void put437(cvrun* run, int c) {
  if (c >= 32 && c <= 127)
    put(run, c);
  else
    cwhexrec(run, c < 32 ? 24744 : 19573, c);
}

// Code pages whose bytes 32-127 are not ASCII.
bool notascii(int cp) { return cp == 9998 || cp == 9997; }

// The code-page-437 form of a byte of a code page: the 437 byte of its
// 16-bit character (an ASCII stand-in where 437 has one), else '_'. A
// stored 0 is no byte, unless the character is NUL itself.
void put437form(cvrun* run, int cp, int byte) {
  int hi = -1, lo = -1;
  int found = cp == run->codepage ? cvcurucs(run, byte, &hi, &lo) : cvucsmap(run, cp, byte, &hi, &lo);
  int c = found == 0 ? cvucsback(run, 437, hi, lo) : -1;
  if (c < 0 || (c == 0 && (hi || lo))) c = '_';
  put437(run, c);
}

// A foreign byte: record 19576 with its code page, then its 437 form.
void putforeign(cvrun* run, int cp, int byte) {
  cwrecbeg(run, 19576);
  cwparint(run, cp);
  cwparhex2(run, byte);
  cwrecend(run);
  put437form(run, cp, byte);
}

}  // namespace

void cwucscharslow(cvrun* run, int byte) {
  byte &= 0xFF;
  if (run->writer->mbhex) {
    cwhex2(run, byte);
    return;
  }
  int cp = run->codepage;
  if (cp == 437)
    put437(run, byte);
  else if (byte >= 32 && byte <= 127 && !notascii(cp))
    put(run, byte);
  else
    putforeign(run, cp, byte);
}

void cw437char(cvrun* run, int byte) { put437form(run, run->codepage, byte & 0xFF); }

void cwwchar(cvrun* run, int hi, int lo) {
  hi &= 0xFF;
  lo &= 0xFF;
  if (hi == 0 && lo < 128) {
    put437(run, lo);
    return;
  }
  for (int cp : cvcodepages) {
    int c = cvucsback(run, cp, hi, lo);
    // A stored 0 means the code page lacks the character: look further.
    if (c <= 0) continue;
    if (cp == 437) {
      // An ASCII answer of 437 is only a stand-in: a code page that has the
      // character itself is sought first.
      if (c >= 32 && c <= 127) continue;
      put437(run, c);
      return;
    }
    if (c >= 32 && c <= 127 && !notascii(cp))
      put(run, c);
    else
      putforeign(run, cp, c);
    return;
  }
  put(run, '_');
}

void cwwstr(cvrun* run, const char* s) {
  if (!s) return;
  int lo = run->bigendian ? 1 : 0;
  for (; s[0] || s[1]; s += 2)
    cwwchar(run, static_cast<unsigned char>(s[1 - lo]), static_cast<unsigned char>(s[lo]));
}
