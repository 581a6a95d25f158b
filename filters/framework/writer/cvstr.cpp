// Strings by encoding: 16-bit characters, the four double-byte sets and
// single bytes of the current code page, written into the output, copied,
// measured, compared and searched; and the multi-byte text mode.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

bool isdbcs(int enc) { return enc >= CW_ENCSJIS && enc <= CW_ENCKSC; }

bool known(int enc) { return enc >= CW_ENC16 && enc <= CW_ENCBYTE; }

void put(cvrun* run, int byte) { cvsputc(run, run->out, byte); }

unsigned char at(const char* s, int i) { return static_cast<unsigned char>(s[i]); }

// The byte-order field of inline runs and the order of 16-bit strings.
void setorder(cvrun* run, int order) {
  if (order != 0 && order != 1) return;
  run->bigendian = order == 0 ? 1 : 0;
  run->writer->mborder = order;
}

// A string of a double-byte set: 1-byte characters as text, runs of
// double-byte characters in one record 3149 of hex digits.
void putdbcs(cvrun* run, const char* s, int enc) {
  bool open = false;
  auto close = [&] {
    if (!open) return;
    put(run, COM_US);
    cwrecend(run);
    open = false;
  };
  for (int i = 0; at(s, i);) {
    int b = at(s, i);
    if (cvdbcslead(enc, b)) {
      if (!at(s, i + 1)) break;  // a lead byte with no trail byte ends the string
      if (!open) {
        cwrecbeg(run, 3149);
        cwparint(run, 2);
        cwparint(run, enc);
        cwparint(run, run->writer->mborder);
        open = true;
      }
      cwhex2(run, b);
      cwhex2(run, at(s, i + 1));
      i += 2;
      continue;
    }
    close();
    // A control byte written raw could end or open a record: it goes as
    // the record of a control character instead.
    if (b < 32) {
      cwhexrec(run, 24744, b);
    } else {
      put(run, b);
    }
    i++;
  }
  close();
}

// A string of single bytes, read in the string code page of a list number
// (0 outside one).
void putbytes(cvrun* run, const char* s) {
  int scp = run->writer->strcp;
  for (int i = 0; at(s, i); i++) {
    int b = at(s, i);
    if (scp == 437) {
      if (b >= 32 && b <= 127)
        put(run, b);
      else
        cwhexrec(run, b < 32 ? 24744 : 19573, b);
    } else if (b >= 32 && b <= 127 && scp != 9998 && scp != 9997) {
      put(run, b);
    } else {
      cwrecbeg(run, 19576);
      cwparint(run, run->codepage);
      cwparhex2(run, b);
      cwrecend(run);
      cw437char(run, b);
    }
  }
}

// The length of a character of a double-byte set at s[i]: 2, or 1.
int charlen(const char* s, int i, int enc) { return cvdbcslead(enc, at(s, i)) && at(s, i + 1) ? 2 : 1; }

}  // namespace

int cvdbcslead(int enc, int b) {
  switch (enc) {
    case CW_ENCSJIS:
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case CW_ENCBIG5:
      return (b >= 0xA1 && b <= 0xC6) || (b >= 0xC9 && b <= 0xF9);
    case CW_ENCGB:
      return (b >= 0xA1 && b <= 0xA9) || (b >= 0xB0 && b <= 0xF7);
    case CW_ENCKSC:
      return (b >= 0xA1 && b <= 0xAC) || (b >= 0xB0 && b <= 0xC8) || (b >= 0xCA && b <= 0xFD);
    default:
      return 0;
  }
}

void cwmbyteon(cvrun* run, int enc, int order) {
  cwflush(run, 1);
  cwstate* w = run->writer;
  if (w->mbhex) return;
  w->mbhex = 1;
  w->mbenc = enc;
  w->mbbyteorder = order;
  setorder(run, order);
  cwdecrec(run, 3149, {1, enc, order});
}

void cwmbyteoff(cvrun* run) {
  cwstate* w = run->writer;
  if (!w->mbhex) return;
  w->mbhex = 0;
  cwdecrec(run, 3149, {0});
}

void cvmbyteset(cvrun* run, int set1, int set2, int order) {
  run->writer->mbset[0] = set1;
  run->writer->mbset[1] = set2;
  setorder(run, order);
}

void cwstr(cvrun* run, const char* s, int enc) {
  if (!s) return;
  if (enc == CW_ENC16)
    cwwstr(run, s);
  else if (isdbcs(enc))
    putdbcs(run, s, enc);
  else if (enc == CW_ENCBYTE)
    putbytes(run, s);
}

char* cvstrdup(cvrun* run, const char* s, int enc) {
  int n = cvstrlen(run, s, enc);
  if (n == 0) return nullptr;
  size_t bytes = enc == CW_ENC16 ? 2 * (static_cast<size_t>(n) + 1) : static_cast<size_t>(n) + 1;
  auto* copy = static_cast<char*>(cvalloc(run, bytes));
  if (copy) cvstrcpy(run, copy, s, enc);
  return copy;
}

int cvstrlen(cvrun* run, const char* s, int enc) {
  if (!s || !known(enc)) return 0;
  // In the double-byte sets a lead byte and its trail count two bytes; the
  // terminating 0 ends the string even where a trail byte was due.
  return enc == CW_ENC16 ? cvwlen(run, s) : static_cast<int>(std::strlen(s));
}

void cvstrcpy(cvrun* run, char* dst, const char* src, int enc) {
  if (!src || !dst || !known(enc)) return;
  if (enc == CW_ENC16)
    cvwcpy(run, dst, src);
  else
    std::strcpy(dst, src);
}

int cvstreq(cvrun* run, const char* a, const char* b, int enc) {
  if (!a || !b) return !a && !b ? 1 : 0;
  if (!known(enc)) return 0;
  if (enc == CW_ENC16) return cvwequal(run, a, b);
  return std::strcmp(a, b) == 0 ? 1 : 0;
}

const char* cvstrchr(cvrun* run, const char* s, int ch, int enc) {
  if (!s || !known(enc)) return nullptr;
  if (enc == CW_ENC16) return cvwchr(run, s, ch);
  if (enc == CW_ENCBYTE) {
    for (; *s; s++)
      if (at(s, 0) == (ch & 0xFF)) return s;
    return nullptr;
  }
  int first = (ch >> 8) & 0xFF, second = ch & 0xFF;
  for (int i = 0; at(s, i); i += charlen(s, i, enc)) {
    if (charlen(s, i, enc) == 2 ? at(s, i) == first && at(s, i + 1) == second : at(s, i) == first)
      return s + i;
  }
  return nullptr;
}

int cvstrncmp(cvrun* run, const char* a, const char* b, int n, int enc) {
  if (!a || !b || !known(enc)) return 0;
  if (enc == CW_ENC16) return cvwncmp(run, a, b, n);
  for (int i = 0; n > 0 && at(a, i);) {
    int len = isdbcs(enc) ? charlen(a, i, enc) : 1;
    for (int k = 0; k < len; k++)
      if (at(a, i + k) != at(b, i + k)) return 0;
    i += len;
    n -= len;
  }
  return 1;
}
