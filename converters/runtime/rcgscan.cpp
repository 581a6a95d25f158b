// The recogniser's format tests and the fixed order in which they run. Each
// test looks only at bytes below the block's length: every access goes
// through one bounded reader, so a comparison that needs a missing byte fails.
#include <cstring>
#include <initializer_list>

#include "converters/runtime/rcg.h"

namespace {

typedef int (*rcgtest)(rcgblk *r);

// Byte i of the buffer, or -1 when it lies outside the buffer.
inline int B(const rcgblk *r, long i) {
  return (i >= 0 && i < r->length) ? r->data[i] : -1;
}
inline bool has(const rcgblk *r, long i) { return i >= 0 && i < r->length; }
inline int LE16(const rcgblk *r, long i) {
  return has(r, i + 1) ? (r->data[i] | (r->data[i + 1] << 8)) : -1;
}
inline int BE16(const rcgblk *r, long i) {
  return has(r, i + 1) ? ((r->data[i] << 8) | r->data[i + 1]) : -1;
}
// The n bytes at off equal s.
inline bool eq(const rcgblk *r, long off, const void *s, long n) {
  return off >= 0 && n >= 0 && off + n <= r->length && std::memcmp(r->data + off, s, n) == 0;
}
inline bool eq(const rcgblk *r, long off, const char *s) {
  return eq(r, off, s, static_cast<long>(std::strlen(s)));
}
// The bytes at off spell the letters of s, each in either case.
inline bool eqci(const rcgblk *r, long off, const char *s) {
  long n = static_cast<long>(std::strlen(s));
  if (off < 0 || off + n > r->length) return false;
  for (long i = 0; i < n; ++i) {
    int c = r->data[off + i];
    if (c >= 'a' && c <= 'z') c -= 0x20;
    if (c != s[i]) return false;
  }
  return true;
}
inline bool in(const rcgblk *r, long i, int lo, int hi) {
  int c = B(r, i);
  return c >= lo && c <= hi;
}
inline bool oneof(int c, std::initializer_list<int> set) {
  for (int v : set)
    if (c == v) return true;
  return false;
}
inline bool letter(int c) { return c >= 'A' && c <= 'z'; }
inline int accept(rcgblk *r, int code, int sub) {
  r->subcode = sub;
  return code;
}

// 1. DCA/RFT.
int tdcarft(rcgblk *r) {
  if (r->length < 10) return 0;
  if (eq(r, 0, "\x00\x05\xE1\x03\x00", 5) && eq(r, 7, "\xE2\x05", 2)) return accept(r, 15, 0);
  if (eq(r, 0, "\x80\x00\x00\x09\x20", 5)) return accept(r, 15, 2);
  return 0;
}

// The mail-merge scan of a WordPerfect 5.1 document: 1 when a merge code
// appears among the function codes.
bool wpmerge(const rcgblk *r) {
  if (B(r, 6) != 0 || B(r, 7) != 0) return false;
  long p = LE16(r, 4);
  while (p + 20 < r->length) {
    int c = B(r, p);
    if (c < 0xC0) {
      p += 1;
    } else if (c <= 0xCF) {
      static const int len[16] = {4, 10, 12, 4, 4, 6, 7, 8, 1, 1, 1, 1, 1, 1, 1, 1};
      p += len[c - 0xC0];
    } else {
      int s = B(r, p + 1);
      if (c == 0xDE && (s == 0x31 || s == 0x34 || s == 0x48 || s == 0x62)) return true;
      p += 4 + LE16(r, p + 2);
    }
  }
  return false;
}

// 2. WordPerfect family: WordPerfect 6 and 5.x documents, merge forms, WPG.
int twpfamily(rcgblk *r) {
  if (r->length < 16) return 0;
  if (!eq(r, 0, "\xFFWPC", 4) || B(r, 8) != 1) return 0;
  int b10 = B(r, 10), b11 = B(r, 11);
  switch (B(r, 9)) {
  case 0x0A:
    if (b10 == 2 && b11 == 0) return accept(r, 48, 0);
    if (b10 == 2 && b11 == 1) return accept(r, 48, 1);
    if (wpmerge(r)) return accept(r, 707, b11 != 0 ? 1 : 0);
    if (b11 == 0 || b11 == 1) return accept(r, 7, b11);
    return 0;
  case 0x16:
    return accept(r, b10 > 1 ? 615 : 606, 0);
  default:
    return 0;
  }
}

// 3. MultiMate.
int tmultimate(rcgblk *r) {
  if (r->length < 1028) return 0;
  for (int i = 0; i < 8; ++i) {
    int c = B(r, i);
    if (c != 0 && (c < 0x20 || c > 0x7F)) return 0;
  }
  if (B(r, 507) > 1) return 0;
  if (!(B(r, 1028) == 0xB1 || B(r, 1028) == 0xB3 || B(r, 510) == 1)) return 0;
  if (B(r, 406) != '/' || B(r, 409) != '/' || B(r, 414) != '/' || B(r, 417) != '/') return 0;
  if (B(r, 420) == 0) return accept(r, 10, 1);
  return accept(r, 10, B(r, 511) > 2 ? 3 : 2);
}

// 4. Write for Windows, Word for DOS.
int twordos(rcgblk *r) {
  if (r->length < 128) return 0;
  if (!(B(r, 0) == '1' || B(r, 0) == '2') || !eq(r, 1, "\xBE\x00\x00\x00\xAB", 5)) return 0;
  if (B(r, 96) != 0 || B(r, 97) != 0) return accept(r, 43, 0);
  int sub = 0;
  if (LE16(r, 106) != 0 && LE16(r, 28) != 0) sub = (LE16(r, 116) != 0 || LE16(r, 118) != 0) ? 2 : 1;
  return accept(r, 5, sub);
}

// 5. OfficeWriter.
int tofficewriter(rcgblk *r) {
  if (r->length < 1536 || B(r, 512) != 0xB3 || B(r, 1024) != 0xB3) return 0;
  if (eq(r, 0, "4.0")) return accept(r, 16, 0);
  if (eq(r, 0, "5.0")) return accept(r, 16, 1);
  if (eq(r, 0, "6.0")) return accept(r, 16, 2);
  r->subcode = 0;
  return 0;
}

// 6. Q&A.
int tqa(rcgblk *r) {
  if (r->length < 40 || !eq(r, 0, "TB")) return 0;
  if (!oneof(B(r, 2), {'W', 'T'}) || !oneof(B(r, 3), {'P', 'X'}) || B(r, 4) != 0 || B(r, 26) != 0x1A)
    return 0;
  return accept(r, 23, B(r, 35) == 4 ? 1 : 0);
}

// 7. Enable.
int tenable(rcgblk *r) {
  if (r->length < 10 || (B(r, 0) & 0x81) == 0) return 0;
  if (!eq(r, 1, "\xCD\xAB", 2) || !in(r, 5, 0x16, 0x48)) return 0;
  return accept(r, 28, 0);
}

// 8. PFS:First Choice, PFS:WRITE and Professional Write.
int tpfs(rcgblk *r) {
  if (r->length < 660) return 0;
  if (eq(r, 8, "\x0CGERBILDOC", 10) && oneof(B(r, 18), {' ', '2', '3', '4'})) {
    if (B(r, 18) == '3') return accept(r, 8, 5);
    if (B(r, 18) == '4') return accept(r, 8, 6);
    return accept(r, 8, B(r, 502) > 2 ? 3 : 2);
  }
  if (B(r, 640) != 6 || B(r, 647) != 0 || B(r, 648) != 4) return 0;
  if (eq(r, 641, "WRD PC") && (eq(r, 649, "1.") || eq(r, 649, "2."))) return accept(r, 8, 0);
  if (eq(r, 649, "2.")) {
    if (eq(r, 641, "TYPE 2")) return accept(r, 8, 0);
    if (eq(r, 641, "TYPE 3")) return accept(r, 8, 1);
    if (eq(r, 641, "TYPE 4")) return accept(r, 8, 4);
  }
  return 0;
}

// 9. First Choice data base.
int tfcdb(rcgblk *r) {
  if (r->length < 660 || !eq(r, 8, "\x0CGERBILDB", 9)) return 0;
  return accept(r, 708, 0);
}

// 10. WordStar 2000.
int tws2000(rcgblk *r) {
  if (r->length < 10 || !eq(r, 2, "WS2000")) return 0;
  return accept(r, 9, 0);
}

// 11. Digital DX.
int tdx(rcgblk *r) {
  if (r->length < 20) return 0;
  for (int i : {2, 4, 6, 8, 9, 10})
    if (B(r, i) != '_') return 0;
  if (B(r, 5) != ' ') return 0;
  return accept(r, 30, 0);
}

// 12. IBM Writing Assistant.
int tibmwa(rcgblk *r) {
  if (r->length < 700 || !eq(r, 640, "\x06IBM   \x00\x04\x31\x2E", 11)) return 0;
  return accept(r, 13, 0);
}

// 13. RTF.
int trtf(rcgblk *r) {
  if (r->length < 10 || !eq(r, 0, "{\\") || !eqci(r, 2, "RTF")) return 0;
  return accept(r, 19, B(r, 5) != '0' ? 1 : 0);
}

// 14. Word for Windows 1.x/2.0.
int tword2(rcgblk *r) {
  if (r->length < 30 || B(r, 1) != 0xA5 || !eq(r, 24, "\x80\x01\x00\x00", 4)) return 0;
  if (B(r, 0) == 0x9B) return accept(r, 44, 0);
  if (B(r, 0) == 0xDB) return accept(r, 44, 1);
  return 0;
}

// 15. Ami Pro.
int tamipro(rcgblk *r) {
  if (r->length < 15) return 0;
  if (eq(r, 0, "[ver]") &&
      (eq(r, 5, "\r\n\t4\r\n") || eq(r, 5, "\r\r\n\t4\r\r\n") || eq(r, 5, "\n\t4\n")))
    return accept(r, 33, 0);
  if (eq(r, 4, "[ver]") && eq(r, 9, "\r\n\t4\r\n")) return accept(r, 33, 0);
  return 0;
}

// 16. Lotus 1-2-3.
int tlotus(rcgblk *r) {
  if (r->length < 30) return 0;
  if (eq(r, 0, "\x00\x00\x02\x00", 4) && in(r, 4, 0x04, 0x0B)) {
    if (B(r, 5) == 4) r->subcode = 1;
    return 20;
  }
  if (eq(r, 0, "\x00\x00\x1A\x00", 4) && oneof(B(r, 4), {0, 2}) && eq(r, 5, "\x10\x04\x00", 3) &&
      B(r, 20) == 1)
    return accept(r, 20, B(r, 4) == 2 ? 3 : 2);
  return 0;
}

// 17. Excel records (BIFF 2 to 4).
int texcel(rcgblk *r) {
  if (r->length < 10) return 0;
  if (eq(r, 0, "\x09\x00\x04\x00", 4) && B(r, 4) > 1 && eq(r, 5, "\x00\x10\x00", 3))
    return accept(r, 21, 0);
  if (B(r, 0) == 9 && oneof(B(r, 2), {6, 4}) && B(r, 3) == 0 && B(r, 5) == 0 &&
      eq(r, 6, "\x10\x00", 2)) {
    if (B(r, 1) == 2) return accept(r, 21, 1);
    if (B(r, 1) == 4) return accept(r, 21, 2);
  }
  return 0;
}

// 18. Framework.
int tframework(rcgblk *r) {
  if (r->length < 40 || !eq(r, 6, "\xED\xFB", 2) || LE16(r, 12) <= 200 || LE16(r, 24) <= 1) return 0;
  return accept(r, 29, 0);
}

// 19. Rapid File.
int trapidfile(rcgblk *r) {
  if (r->length < 10) return 0;
  if (!eq(r, 0, "\x6D\xB3\x35\x88\x04", 5) && !eq(r, 0, "\x05\xA2\x64\xB0\x04", 5)) return 0;
  return accept(r, 25, 0);
}

// 20. Wang PC.
int twangpc(rcgblk *r) {
  if (r->length < 1152 || B(r, 1024) != 0x86) return 0;
  bool zero = true;
  for (int i = 0; i < 128 && zero; ++i) zero = B(r, i) == 0;
  if (!zero) {
    int ff = 0;
    for (int i = 0; i < 1024; ++i) ff += B(r, i) == 0xFF;
    if (ff < 100) return 0;
  }
  return accept(r, 26, 0);
}

// 21. Samna Word.
int tsamna(rcgblk *r) {
  if (r->length < 10 || !eq(r, 0, "\x1A\x53", 2) || !oneof(B(r, 4), {0x03, 0x10}) || B(r, 5) != 0)
    return 0;
  return accept(r, 22, 0);
}

// 22. Lotus Manuscript.
int tmanuscript(rcgblk *r) {
  if (r->length < 10 || !eq(r, 0, "*R")) return 0;
  if (B(r, 2) != '1' && !eq(r, 2, "2\r\n")) return 0;
  return accept(r, 24, 0);
}

// 23. DCA/FFT.
int tdcafft(rcgblk *r) {
  if (r->length < 10) return 0;
  r->subcode = 0;
  static const char pre[] = "\x2B\xD2\x04\x85";
  if (eq(r, 0, pre, 4)) {
    if (r->hinted) return 32;
    if (B(r, 6) == 0x2B && oneof(B(r, 7), {0xD1, 0xD2, 0xD4})) return 32;
  }
  if (eq(r, 1, pre, 4) && B(r, 7) == 0x2B && oneof(B(r, 8), {0xD1, 0xD2, 0xD4})) return 32;
  return 0;
}

// 24. Word for the Macintosh 3 to 5.1.
int tmacword(rcgblk *r) {
  if (r->length < 40) return 0;
  if (eq(r, 0, "\xFE\x34", 2) && B(r, 9) == 0 && oneof(B(r, 10), {0, 1})) return accept(r, 54, 0);
  if (eq(r, 0, "\xFE\x37", 2) && B(r, 20) == 0 && B(r, 21) == 0 && oneof(B(r, 22), {1, 2}) &&
      B(r, 23) == 0) {
    bool later = false;
    if (r->length > 192)
      for (int i = 188; i <= 191; ++i) later = later || B(r, i) != 0;
    return accept(r, 54, later ? 2 : 1);
  }
  return 0;
}

// 25. MacWrite.
int tmacwrite(rcgblk *r) {
  if (r->length < 20 || !eq(r, 0, "\x00\x06", 2) || BE16(r, 2) <= 1) return 0;
  for (int o : {4, 6})
    if (BE16(r, o) <= 1 || BE16(r, o) >= 8224) return 0;
  if (BE16(r, 14) > 2 && BE16(r, 14) < 0xFFFC) return 0;
  return accept(r, 51, 0);
}

// 26. MacWrite II.
int tmacwrite2(rcgblk *r) {
  if (r->length < 150 || !eq(r, 0, "\x00\x2E", 2) || !eq(r, 135, "\x06\x12", 2) ||
      !oneof(B(r, 137), {0, 1}) || B(r, 140) != 1)
    return 0;
  return accept(r, 52, 0);
}

// 27. FullWrite: no signature is known for it, so it accepts nothing.
int tfullwrite(rcgblk *) { return 0; }

// 28. Interleaf.
int tinterleaf(rcgblk *r) {
  if (r->length < 10 || !eq(r, 0, "<!") || !eqci(r, 2, "OPS")) return 0;
  return accept(r, (has(r, 17) && B(r, 17) < 0x38) ? 35 : 46, 0);
}

// 29. WordPerfect for the Macintosh 2 and 3.
int twpmac(rcgblk *r) {
  if (r->length < 20 || !eq(r, 0, "\xFFWPC", 4) || B(r, 8) != 1 || B(r, 9) != 0x2C) return 0;
  if (B(r, 10) == 2) return accept(r, 60, B(r, 11) == 1 ? 1 : 0);
  if (B(r, 10) == 3) return accept(r, 60, 2);
  return 0;
}

// 30. The intermediate format of this converter family.
int tcom(rcgblk *r) {
  if (r->length < 10 || !eq(r, 0, "\x1B\x1D\x44\x49\x44", 5)) return 0;
  return accept(r, 3, 0);
}

// 31. Navy DIF: counts its escape sequences.
int tnavydif(rcgblk *r) {
  static const char *const seq[20] = {
      "\x30\x24\x4B", "\x31\x24\x4B", "\xFF\x24\x40", "\xFF\x24\x41", "\xFF\x20\x4E",
      "\x30\x24\x5C", "\x31\x24\x5C", "\x32\x24\x5C", "\x30\x24\x5D", "\x31\x24\x5D",
      "\x30\x24\x5E", "\x31\x24\x5E", "\x36\x20\x46", "\x30\x20\x46", "\x31\x24\x46",
      "\x30\x24\x46", "\x30\x24\x4F", "\x31\x24\x4F", "\x24\x48",     "\x24\x49"};
  r->subcode = -1;
  int count = 0;
  for (long p = 0; p < r->length - 3; ++p) {
    if (B(r, p) != 0x1B || B(r, p + 1) != '[') continue;
    for (const char *s : seq)
      if (eq(r, p + 2, s)) {
        if (++count == 4) return accept(r, 18, 0);
        break;
      }
    ++p; // go on after the '['
  }
  return 0;
}

inline bool eol(const rcgblk *r, long i) { return B(r, i) == '\n' || B(r, i) == '\r'; }

// 32. Mass 11: a header record, or lines broken at fixed places.
int tmass11(rcgblk *r) {
  if (r->length < 500) return 0;
  if (B(r, 0) == 'Z') {
    if (B(r, 1) == 0 && B(r, 92) == 0xC9 && B(r, 93) == 0 && B(r, 296) == 0xC9 && B(r, 297) == 0)
      return accept(r, 31, 0);
    return 0;
  }
  if (!eol(r, 90)) return 0;
  long k = eol(r, 91) ? 2 : 1;
  if (!eol(r, 291 + k)) return 0;
  k += eol(r, 292 + k) ? 2 : 1;
  if (!eol(r, 492 + k)) return 0;
  return accept(r, 31, 0);
}

// One dBase field descriptor at off: a name and a known type letter.
bool dbfield(const rcgblk *r, long off) {
  if (r->length < off + 13 || B(r, off) == 0) return false;
  for (int i = 0; i < 11; ++i) {
    int c = B(r, off + i);
    if (c == 0) break;
    if (c >= 1 && c <= 0x20) return false;
  }
  return oneof(B(r, off + 11), {'C', 'D', 'F', 'G', 'L', 'M', 'N'});
}

// 33. dBase III and IV.
int tdbase(rcgblk *r) {
  if (r->length < 65 || B(r, 2) > 0x0C || B(r, 3) > 0x1F) return 0;
  long h = LE16(r, 8);
  if (h < 32) return 0;
  int kind;
  if ((h - 34) % 32 == 0)
    kind = 0;
  else if ((h - 33) % 32 == 0)
    kind = 1;
  else
    return 0;
  if (h < r->length) {
    if (kind == 0 && B(r, h - 2) == 0x0D) return accept(r, 770, 0);
    if (kind == 1 && B(r, h - 1) == 0x0D) return accept(r, 770, 1);
  }
  if (r->length < 128) return 0;
  for (long off : {32, 64, 96})
    if (!dbfield(r, off)) return 0;
  return accept(r, 770, (h < r->length && B(r, h - 2) == 0) ? 1 : 0);
}

// Sum of the count bytes at off, off + 2, off + 4 ...
long everyother(const rcgblk *r, long off, long count) {
  long sum = 0;
  for (long i = 0; i < count; ++i) sum += B(r, off + 2 * i);
  return sum;
}

// 34. Paradox: the record length equals the sum of the field lengths.
int tparadox(rcgblk *r) {
  if (r->length < 128) return 0;
  long rl = LE16(r, 0);
  if (rl < 1 || rl > 4000) return 0;
  long n = B(r, 100);
  if (r->length >= 121 + 2 * n) {
    if (n >= 1 && everyother(r, 121, n - 1) == rl && 4 * n < rl) return accept(r, 703, 1);
    if (n > 2 && everyother(r, 121, n - 2) == rl && 4 * n < rl) return accept(r, 703, 1);
  }
  long m = B(r, 33);
  if (r->length >= 89 + 2 * m && everyother(r, 89, m) == rl && 4 * m < rl) return accept(r, 703, 0);
  return 0;
}

// 35. Access 2.0.
int taccess(rcgblk *r) {
  if (r->length < 1035 || !eq(r, 1030, "Rich\t")) return 0;
  return 771;
}

// 36. WordStar 5 to 7 header.
int twsheader(rcgblk *r) {
  if (r->length < 128 || !eq(r, 0, "\x1D\x7D\x00\x00", 4) || !eq(r, 125, "\x7D\x00\x1D", 3)) return 0;
  switch (B(r, 4)) {
  case 0x50: return accept(r, 4, 3);
  case 0x55: return accept(r, 4, 4);
  case 0x60: return accept(r, 4, 5);
  case 0x70: return accept(r, 4, 6);
  default: return 0;
  }
}

// 37. Legacy.
int tlegacy(rcgblk *r) {
  if (r->length < 11) return 0;
  if (eq(r, 0, "# VE # 4.0")) return accept(r, 37, 0);
  if (eq(r, 0, "# VV # 5.0")) return accept(r, 37, 1);
  if (eq(r, 0, "\x55\xCE\x49\xD0\x4C\xC5\x58\x06\x63\x23", 10)) return accept(r, 37, 2);
  return 0;
}

// 38. FrameMaker interchange format.
int tmif(rcgblk *r) {
  if (r->length < 10) return 0;
  r->subcode = 0;
  return eq(r, 1, "MIFFile") ? 42 : 0;
}

// 39. XIF (Interpress).
int txif(rcgblk *r) {
  if (B(r, 0) == 0x8F && eqci(r, 2, "MDI") && B(r, 5) == '/') return 103;
  if (eq(r, 0, "Interpress/Xerox/")) return 103;
  return 0;
}

// 40. OfficePower.
int tofficepower(rcgblk *r) {
  if (B(r, 0) != 0x1B) return 0;
  if (eq(r, 3, "6.0")) return accept(r, 102, 0);
  if (eq(r, 8, "7.0")) return accept(r, 102, 1);
  return 0;
}

// 41. Quattro Pro.
int tquattro(rcgblk *r) {
  if (r->length < 10 || !eq(r, 0, "\x00\x00\x02\x00", 4)) return 0;
  if (eq(r, 4, "\x20\x51", 2)) return accept(r, 801, 0);
  if (eq(r, 4, "\x01\x10", 2)) return accept(r, 801, 1);
  return 0;
}

// 42. Crystal Writer.
int tcrystal(rcgblk *r) {
  if (r->length < 160 || !eq(r, 0, "\x80\x4D\x54\x32", 4)) return 0;
  return accept(r, 105, 0);
}

// 43. WPS-PLUS.
int twpsplus(rcgblk *r) {
  if (r->length < 20 || !eq(r, 0, "\x48\x42\xD1\x07", 4)) return 0;
  return accept(r, 45, 0);
}

// 44. Volkswriter: dot commands or its line marks.
int tvolks(rcgblk *r) {
  int marks = 0, dots = 0;
  for (long p = 0; p < r->length && dots < 2; ++p) {
    if (eq(r, p, "\x14\r\n")) {
      ++marks;
    } else if (B(r, p) == '.') {
      if (eq(r, p, "..PAGE") || eq(r, p, "..HEAD") || eq(r, p, "..FOOT") || eq(r, p, "..LAYOUT"))
        ++dots;
    }
  }
  if (dots >= 2 || marks >= 15) return accept(r, 14, 0);
  return 0;
}

// 45. Windows Metafile, placeable or plain.
int twmf(rcgblk *r) {
  if (r->length >= 4 && eq(r, 0, "\xD7\xCD\xC6\x9A", 4)) return accept(r, 610, 0);
  if (r->length >= 6 && eq(r, 0, "\x01\x00\x09\x00\x00\x03", 6)) return accept(r, 610, 1);
  return 0;
}

// 46. The maker's own graphics format.
int ttvg(rcgblk *r) {
  if (r->length < 21) return 0;
  if (eq(r, 0, "\x1F\x00\x12", 3) && eq(r, 3, "TVG Graphics File") && B(r, 20) == 0) return 600;
  if (eq(r, 0, "<0000,Torvanelab 3D -- Co")) return 600;
  return 0;
}

// 47. TIFF.
int ttiff(rcgblk *r) {
  if (r->length < 3 || !(eq(r, 0, "II") || eq(r, 0, "MM"))) return 0;
  return accept(r, 502, 0);
}

// 48. GIF.
int tgif(rcgblk *r) {
  if (r->length < 4 || !eq(r, 0, "GIF")) return 0;
  return accept(r, 512, 0);
}

// 49. IGES: four 80-column lines with section letters and sequence numbers.
int tiges(rcgblk *r) {
  if (r->length < 328) return 0;
  long k = eol(r, 80) + eol(r, 81);
  int score = 0;
  for (long i = 0; i < 4; ++i) {
    long s = i * (80 + k);
    if (!oneof(B(r, s + 72), {'S', 'G', 'D', 'P', 'B', 'C'})) continue;
    ++score;
    if (eq(r, s + 73, "000000") || eq(r, s + 73, "      ")) ++score;
  }
  return score > 7 ? 607 : 0;
}

// 50. AutoCAD DXF.
int tdxf(rcgblk *r) {
  if (r->length < 30 || !eq(r, 0, "  0\r\nSECTION\r\n  2\r\nHEADER\r\n")) return 0;
  return 608;
}

// 51. WriteNow.
int twritenow(rcgblk *r) {
  if (!eq(r, 0, "WriteNow")) return 0;
  return accept(r, 62, 0);
}

// 52. Wang WITA: a walk over its FB records.
int twita(rcgblk *r) {
  for (long p = 0; p < r->length - 10; ++p) {
    if (B(r, p) != 0xFB) continue;
    if (B(r, p + 1) != 0)
      p += 1;
    else if (B(r, p + 2) != 1)
      p += 2;
    else if (B(r, p + 8) != 0xFA)
      p += 8;
    else if (B(r, p + 9) != 0)
      p += 9;
    else if (B(r, p + 10) == 1)
      return accept(r, 34, 0);
    else
      p += 10;
  }
  return 0;
}

// 53. WiziWord: its escape sequence with the product name.
int twiziword(rcgblk *r) {
  for (long p = 0; p < r->length && p < 4096; ++p) {
    if (B(r, p) != 0x1B) continue;
    if (B(r, p + 1) == 'x' && B(r, p + 2) == 'v') {
      if (eq(r, p + 6, "WiziWord")) return accept(r, 47, 0);
    } else {
      p += 2;
    }
  }
  return 0;
}

// 54. PDF.
int tpdf(rcgblk *r) {
  if (!eq(r, 0, "%PDF")) return 0;
  return accept(r, 107, 0);
}

// 55. JPEG: a JFIF header, or well-formed markers throughout.
int tjpeg(rcgblk *r) {
  if (r->length < 12 || !eq(r, 0, "\xFF\xD8\xFF", 3)) return 0;
  if (B(r, 3) == 0xE0) {
    if (!eq(r, 6, "JFIF\0", 5)) return 0;
    return accept(r, 521, 0);
  }
  int markers = 0;
  for (long p = 2; p < r->length; ++p) {
    if (B(r, p) != 0xFF) continue;
    int n = B(r, p + 1);
    if (n != 0 && n < 0xC0) return 0; // a missing byte reads -1 and fails too
    ++markers;
  }
  return markers >= 4 ? accept(r, 521, 0) : 0;
}

// 56. CorelDraw.
int tcorel(rcgblk *r) {
  if (r->length < 12) return 0;
  if ((eq(r, 0, "RIFF") && eq(r, 8, "CDR")) || eq(r, 0, "WL")) return accept(r, 520, 0);
  return 0;
}

// 57. Micrografx Designer, and code 605.
int tdesigner(rcgblk *r) {
  if (r->length < 10) return 0;
  if (eq(r, 0, "\x01\xFF\x01", 3) && eq(r, 3, "\x04\x03\x06\x00\x01", 5)) return 605;
  if (eq(r, 0, "\x01\xFF\x02", 3) && B(r, 7) == 2) return 609;
  return 0;
}

// 58. RGIP metafile.
int trgip(rcgblk *r) {
  if (r->length < 14 || !eq(r, 0, "%RGIP_METAFILE")) return 0;
  return accept(r, 613, 0);
}

// 59. Ami Pro drawing.
int tamidraw(rcgblk *r) {
  if (r->length < 10 || !eq(r, 0, "\x53\x4D\x02\x01", 4)) return 0;
  return 614;
}

// 60. Windows and OS/2 bitmaps, icons and bitmap arrays.
int tbmp(rcgblk *r) {
  if (r->length < 30) return 0;
  if (eq(r, 0, "BA")) {
    // A bitmap array: the first bitmap follows its 14-byte header. The tests
    // after this one see the buffer from there too, and the length shrinks
    // with the move so that none of them reads past the caller's bytes.
    r->data += 14;
    r->length -= 14;
  }
  bool icon = eq(r, 0, "CI") || eq(r, 0, "IC");
  if (!eq(r, 0, "BM") && !icon) return 0;
  if (oneof(B(r, 14), {0x0C, 0x40}) && oneof(B(r, 24), {1, 4, 8})) return accept(r, 513, icon ? 5 : 4);
  if (oneof(B(r, 28), {1, 4, 8, 0x18})) {
    if (icon) return accept(r, 513, 5);
    return accept(r, 513, (has(r, 30) && B(r, 30) != 0) ? 3 : 0);
  }
  return 0;
}

// The QuickDraw picture opcodes that begin a picture.
bool pictat(const rcgblk *r, long off) {
  return eq(r, off, "\x11\x01", 2) || eq(r, off, "\x00\x11\x02\xFF\x0C\x00", 6);
}

// 61. Macintosh PICT, with or without its 512-byte file header.
int tpict(rcgblk *r) {
  if (r->length < 530 || !(pictat(r, 522) || pictat(r, 10))) return 0;
  return accept(r, 602, 0);
}

// 62. Sun raster.
int tsunras(rcgblk *r) {
  if (r->length < 36 || !eq(r, 0, "\x59\xA6\x6A\x95", 4)) return 0;
  return accept(r, 522, 0);
}

// 63. Encapsulated PostScript with a binary preview header.
int teps(rcgblk *r) {
  if (r->length < 30 || !eq(r, 0, "\xC5\xD0\xD3\xC6", 4)) return 0;
  return accept(r, 503, 0);
}

// 64. Lotus PIC.
int tlotuspic(rcgblk *r) {
  if (r->length < 18 || !eq(r, 0, "\x01\x00\x00\x00\x01\x00\x08\x00\x44\x00\x00\x00\x00\x0C\x7F\x09\x06", 17))
    return 0;
  return accept(r, 601, 0);
}

// A compound-document directory entry in the buffer with the wanted name
// (UTF-16 little-endian bytes) and no left sibling; the first one decides.
bool dirent(const rcgblk *r, const char *name, long n) {
  // The buffer is taken as whole 128-byte entries; the last one may end
  // exactly at the buffer's end.
  for (long off = 0; off + 128 <= r->length; off += 128)
    if (eq(r, off, name, n) && eq(r, off + 68, "\xFF\xFF\xFF\xFF", 4)) return true;
  return false;
}

const char kpp40[] = "P\0P\0" "4\0" "0\0";
const char kppdoc[] = "P\0o\0w\0e\0r\0P\0o\0i\0n\0t\0 \0D\0o\0c\0u\0m\0e\0n\0t\0";
const char kworddoc[] = "W\0o\0r\0d\0D\0o\0c\0u\0m\0e\0n\0t\0";
const char kbook[] = "B\0o\0o\0k\0\0\0";

// 65. PowerPoint inside a compound document.
int tppole(rcgblk *r) {
  r->subcode = 0;
  for (long off = 0; off + 128 <= r->length; off += 128) {
    if (!eq(r, off + 68, "\xFF\xFF\xFF\xFF", 4)) continue;
    if (eq(r, off, kpp40, 8)) return accept(r, 619, 2);
    if (eq(r, off, kppdoc, 38)) return accept(r, 619, 3);
  }
  return 0;
}

// 66. PowerPoint 2 to 4 in its own file format.
int tppt(rcgblk *r) {
  r->subcode = 0;
  if (r->length < 8 || !eq(r, 0, "\xED\xDE\xAD\x0B", 4) || !eq(r, 5, "\x00\x00\x00", 3)) return 0;
  switch (B(r, 4)) {
  case 4: return accept(r, 619, 2);
  case 3: return accept(r, 619, 1);
  case 2: return accept(r, 619, 0);
  default: return 0;
  }
}

// 67. Word 6 and later inside a compound document.
int twordole(rcgblk *r) { return dirent(r, kworddoc, 24) ? accept(r, 49, 0) : 0; }

// 68. Excel 5 inside a compound document.
int texcelole(rcgblk *r) { return dirent(r, kbook, 10) ? accept(r, 21, 4) : 0; }

// 69. HTML: an upper-case tag or a comment, and a '>' after it.
int thtml(rcgblk *r) {
  for (long p = 0; p < r->length; ++p) {
    if (B(r, p) != '<') continue;
    if (!(eq(r, p + 1, "HTML") || eq(r, p + 1, "TITLE") || eq(r, p + 1, "HEAD") || eq(r, p + 1, "!--")))
      continue;
    if (std::memchr(r->data + p + 1, '>', r->length - p - 1)) return accept(r, 108, 3);
  }
  return 0;
}

// 70. Works for Windows.
int tworks(rcgblk *r) {
  if (r->length < 140 || !eq(r, 0, "\x01\xFE", 2) || B(r, 2) > 2 || B(r, 3) != 0 || B(r, 127) != 0)
    return 0;
  return accept(r, 39, 0);
}

// 71. Windows Paint.
int tpaint(rcgblk *r) {
  if (r->length < 33 || !(eq(r, 0, "DanM") || eq(r, 0, "LinS"))) return 0;
  if ((B(r, 4) == 0 && B(r, 5) == 0) || (B(r, 6) == 0 && B(r, 7) == 0)) return 0;
  return 507;
}

// 72. PC Paintbrush.
int tpcx(rcgblk *r) {
  if (r->length < 21 || B(r, 0) != 0x0A || B(r, 1) > 0x0A || B(r, 2) >= 2 || B(r, 3) > 0x40) return 0;
  return accept(r, 501, 0);
}

// 73. Windows Clipboard.
int tclipboard(rcgblk *r) {
  if (r->length < 31 || !eq(r, 0, "\x50\xC3", 2)) return 0;
  if ((B(r, 2) == 0 && B(r, 3) == 0) || (B(r, 4) == 0 && B(r, 5) == 0)) return 0;
  return accept(r, 515, 0);
}

// 74. Windows icon.
int ticon(rcgblk *r) {
  if (r->length < 51 || !eq(r, 0, "\x00\x00\x01\x00", 4) || B(r, 4) == 0) return 0;
  if (!oneof(B(r, 6), {0x10, 0x20, 0x40}) || !oneof(B(r, 7), {0x10, 0x20, 0x40})) return 0;
  if (!oneof(B(r, 8), {0x02, 0x10}) || B(r, 9) != 0) return 0;
  return accept(r, 517, 0);
}

// 75. CTOS DEF: scores its $( commands on the first line.
int tctos(rcgblk *r) {
  int score = 0;
  for (long p = 0; p < r->length - 3 && B(r, p) != '\r'; ++p) {
    if (B(r, p) != '$' || B(r, p + 1) != '(') continue;
    if (eq(r, p + 2, "WY)")) {
      score += 200;
      p += 4;
    } else if (eq(r, p + 2, "SB)")) {
      score += 30;
      p += 4;
    } else if (eq(r, p + 2, "PGS") || eq(r, p + 2, "PGM")) {
      score += 100;
      p += 4;
    } else if (B(r, p + 2) >= 0x40 && B(r, p + 3) >= 0x40) {
      score += 2;
      p += 3;
    }
  }
  return score > 234 ? accept(r, 36, 0) : 0;
}

// 76. XyWrite: its AE ... AF commands against its lines.
int txywrite(rcgblk *r) {
  int cmds = 0, lines = 0, nuls = 0;
  bool variant = false;
  auto done = [&] { return cmds > 7 || (cmds > 3 && lines > 4); };
  for (long p = 0; p < r->length - 10; ++p) {
    int c = B(r, p);
    if (c == 0xAE) {
      if (B(r, p + 1) >= 0x80 || B(r, p + 2) >= 0x80) return 0;
      if (eq(r, p + 1, "MD+")) return accept(r, 17, 2);
      bool digit = false;
      for (long q = p + 1; q < p + 9; ++q) {
        int d = B(r, q);
        if (d == 0xAF) {
          ++cmds;
          break;
        }
        if (d >= '0' && d <= '9') {
          digit = true;
        } else if (digit) {
          digit = false;
          int e = B(r, q + 1);
          if ((d == '"' || oneof(d, {'L', 'D', 'I', 'C', 'M', 'P'})) &&
              ((d == 'D' && e == 'I') || (d == 'C' && e == 'M') || (d == 'L' && e == 'I') ||
               (d == 'P' && e == 'I')))
            variant = true;
        }
      }
      if (done()) return accept(r, 17, variant ? 2 : 1);
    } else if (c == '\r' && B(r, p + 1) == '\n') {
      ++lines;
      if (cmds > 3 && lines > 4) return accept(r, 17, variant ? 2 : 1);
    } else if (c == 0) {
      if (++nuls == 11) return 0;
    }
  }
  return 0;
}

inline bool uniplexchar(int c) {
  return oneof(c, {'#', 'A', 'C', 'H', 'I', 'J', 'M', 'R', 'T', 'a', 'c', '|', '.', 'L'});
}

// 77. Uniplex: lines of ruler characters.
int tuniplex(rcgblk *r) {
  r->subcode = 0;
  int result = 0;
  long p = 0;
  while (p < r->length) {
    long q = p;
    int dots = 0;
    bool ell = false, spoiled = false;
    for (; q < r->length && B(r, q) != '\n' && B(r, q) != '\r'; ++q) {
      int c = B(r, q);
      if (!uniplexchar(c)) {
        spoiled = true;
        break;
      }
      dots += c == '.';
      ell = ell || c == 'L';
    }
    if (!spoiled && dots > 20 && ell) result = 101;
    for (; q < r->length && B(r, q) != '\n'; ++q)
      if (B(r, q) < 0x20 && B(r, q) != '\r') return 0;
    p = q + 1;
  }
  return result;
}

// 78. CEOwrite.
int tceowrite(rcgblk *r) {
  if (r->length < 9 || !eq(r, 0, ".** ") || !eq(r, 5, "\x20\x1E\x1F", 3)) return 0;
  return accept(r, 104, 0);
}

// One binary CGM command header at off: class, element, parameter length
// and header length; false when it does not fit the buffer.
bool cgmhead(const rcgblk *r, long off, int *cls, int *el, long *plen, long *hlen) {
  int h = BE16(r, off);
  if (h < 0) return false;
  *cls = h >> 12;
  *el = (h >> 5) & 0x7F;
  *plen = h & 31;
  *hlen = 2;
  if (*plen == 31) {
    int l = BE16(r, off + 2);
    if (l < 0) return false;
    *plen = l & 0x7FFF;
    *hlen = 4;
  }
  return true;
}

// 79. Computer Graphics Metafile, binary encoding.
int tcgm(rcgblk *r) {
  if (r->length < 200) return 0;
  int cls, el;
  long plen, hlen, pos = 0;
  if (!cgmhead(r, 0, &cls, &el, &plen, &hlen) || cls != 0 || el != 1) return 0;
  static const int maxel[8] = {5, 15, 7, 6, 19, 35, 1, 2};
  int count = 2, bare = 0;
  for (;;) {
    long next = pos + hlen + plen + (plen & 1);
    if (next + 10 > r->length || count >= 10 || bare >= 5) break;
    if (plen == 0) ++bare;
    pos = next;
    if (!cgmhead(r, pos, &cls, &el, &plen, &hlen)) return 0;
    if (cls == 0 && el == 0) continue;
    if (cls > 7 || el < 1 || el > maxel[cls]) return 0;
    ++count;
  }
  return (count > 7 && bare < 5) ? 603 : 0;
}

// 80. WordPerfect 4: pairs of function codes at their known distances.
int twp4(rcgblk *r) {
  struct code {
    uint8_t first, closing;
    uint8_t distance, mark;
  };
  static const code table[23] = {
      {0xD1, 0xFF, 4, 0},   {0xC0, 0xC0, 5, 0},  {0xC9, 0xC9, 41, 0}, {0xF1, 0xF1, 105, 1},
      {0xDD, 0xDD, 23, 0},  {0xF3, 0xF3, 99, 1}, {0xE5, 0xE5, 22, 0}, {0xEE, 0xEE, 43, 1},
      {0xE6, 0xE6, 10, 0},  {0xEF, 0xEF, 17, 1}, {0xF2, 0x00, 4, 1},  {0xE3, 0xE3, 148, 0},
      {0xC1, 0xC1, 3, 0},   {0xC7, 0xC7, 5, 0},  {0xC3, 0xC3, 4, 0},  {0xCB, 0xCB, 5, 0},
      {0xCC, 0xCC, 3, 0},   {0xD0, 0xD0, 5, 0},  {0xCE, 0xCE, 3, 0},  {0xD2, 0xFF, 3, 9},
      {0xD3, 0xD3, 3, 9},   {0xCD, 0xCD, 2, 9},  {0xCE, 0xCE, 3, 9}};
  int threshold = r->hinted ? 2 : 10;
  int result = 0, hits = 0;
  r->subcode = -1;
  auto finish = [&](int res) {
    if (r->subcode == -1) r->subcode = 0;
    return res;
  };
  long end = r->length - 148, p = 0;
  bool stopped = false;
  for (; p < end && !stopped; ++p) {
    int c = B(r, p);
    for (const code &e : table) {
      if (e.first != c) continue;
      if (B(r, p + e.distance) == e.closing && B(r, p + 1) != c) {
        ++hits;
        if (e.mark > r->subcode) {
          if (e.mark == 9) {
            result = -1;
            r->subcode = 0;
          } else {
            r->subcode = e.mark;
          }
        }
        if (e.mark != 9) {
          if (hits >= threshold) {
            result = 6;
            stopped = true;
          } else {
            p += e.distance;
          }
        }
        break;
      }
      if (B(r, p + e.distance) != e.closing && e.closing == e.first) return finish(0);
    }
  }
  if (result == 6 && r->subcode == 0) {
    // Look on for codes that raise the variant or mark another format.
    for (; p < end; ++p) {
      int c = B(r, p);
      for (const code &e : table) {
        if (e.first != c || B(r, p + e.distance) != e.closing || e.mark <= r->subcode) continue;
        if (e.mark == 9) {
          result = -1;
          r->subcode = 0;
        } else {
          r->subcode = e.mark;
        }
        break;
      }
    }
  }
  if (r->subcode == -1) r->subcode = 0;
  if (result == -1) result = 0;
  if (result == 6 && ((B(r, 0) == 0x0A && B(r, 1) <= 0x0A && B(r, 2) <= 1 && B(r, 3) <= 0x40) ||
                      eq(r, 0, "\x00\x00\x01\x00", 4))) {
    result = 0;
    r->subcode = 0;
  }
  if (r->subcode > 1) r->subcode = 1;
  return result;
}

// 81. WordStar dot commands, control records and high-bit text.
int twsdot(rcgblk *r) {
  static const char cmds[15][3] = {"pa", "he", "h1", "fo", "f1", "op", "hm", "mt",
                                   "rr", "rm", "lm", "mt", "pf", "cw", "tb"};
  static const int marks[15] = {0, 0, 2, 0, 2, 0, 0, 0, 2, 2, 2, 0, 0, 0, 0};
  int threshold = r->hinted ? 3 : 5;
  int sub = r->subcode, hits = 0, records = 0;
  bool linestart = true;
  for (long p = 0; p < r->length - 5; ++p) {
    int c = B(r, p);
    if (c == '.' && linestart) {
      int a = B(r, p + 1), b = B(r, p + 2);
      if (a >= 'A' && a <= 'Z') a += 0x20;
      if (b >= 'A' && b <= 'Z') b += 0x20;
      for (int i = 0; i < 15; ++i) {
        if (cmds[i][0] != a || cmds[i][1] != b) continue;
        ++hits;
        if (marks[i] > sub) sub = marks[i];
      }
      if (hits > threshold) return accept(r, 4, sub);
    } else if (c == 0x1D && r->length - p > 20 && B(r, p + 2) == 0) {
      long n = B(r, p + 1) + 2;
      if (p + n < r->length - 5 && B(r, p + n) == 0x1D && B(r, p + n - 2) == B(r, p + 1))
        if (++records == 4) return accept(r, 4, 3);
    }
    linestart = c == 0x0A || c == 0x8A;
  }
  int spaces = 0;
  for (long p = 2; p <= r->length - 6; ++p) {
    int prev = B(r, p - 1), before = B(r, p - 2);
    if (B(r, p) == ' ' && prev >= 0x80 && !(prev >= 0xB0 && prev <= 0xDF) && before >= 0x21 &&
        before <= 0x7F)
      if (++spaces == 100) return accept(r, 4, 2);
  }
  return 0;
}

// 82. WordPerfect for the Macintosh 1.0: a walk over its function codes.
int twpmac1(rcgblk *r) {
  static const int len[64] = {10, 4,  4,  7, 7, 10, 4,  6, 8, -1, 4, 6, 6, 3, 6, 3,
                              6,  -1, 0,  4, 4, 4,  6,  0, 0, 4,  4, 4, 0, 24, 6, -1,
                              4,  3,  -1, 150, 7, 23, 11, 3, 3, 8, 0, 32, 5, 0, 44, 18,
                              6,  106, 0, 196, 4, -1, 0, 4, 4, 8, -1, 4, 0, 0, -1, 0};
  int counted = 0;
  long p = 0;
  while (p < r->length - 5) {
    int c = B(r, p);
    if (c < 0xC0) {
      ++p;
      continue;
    }
    long n = len[c - 0xC0];
    if (n == 0) {
      long q = p + 1;
      while (q < r->length && B(r, q) != c) ++q;
      p = q + 1;
      continue;
    }
    if (n == -1) {
      int l = BE16(r, p + 3);
      if (l < 0) return 0;
      n = l + 10;
    }
    if (p + n > r->length || B(r, p + n - 1) != c) return 0;
    if (++counted == 10) return accept(r, 59, 0);
    p += n;
  }
  return 0;
}

// 83. PeachText: keywords after its escape character.
int tpeach(rcgblk *r) {
  static const char *const words[13] = {"SETUP", "TEXT", "COPY", "CPI", "CTR",  "LEFT", "NOTE",
                                        "HEAD",  "FOOT", "TAB",  "RIGHT", "LM", "RM"};
  int esc = '\\', hits = 0;
  for (long p = 0; p < r->length - 5; ++p) {
    if (B(r, p) != esc) continue;
    if (eq(r, p + 1, "CMD")) {
      esc = B(r, p + 4);
      p += 4;
      continue;
    }
    for (const char *w : words)
      if (eq(r, p + 1, w) && ++hits == 5) return accept(r, 27, 0);
  }
  return 0;
}

// 84. HP Graphics Language: two-letter mnemonics and their terminators.
int thpgl(rcgblk *r) {
  long n = r->length, p = 0;
  int good = 0, bad = 0;
  auto skipeol = [&] {
    while (p < n && (B(r, p) == '\n' || (B(r, p) == '\r' && p + 1 < n))) ++p;
  };
  while (p < n - 5 && good < 60 && bad < 10) {
    skipeol();
    int c = B(r, p++);
    if (c > 'Z') c -= 0x20;
    if (letter(c)) ++good; else ++bad;
    skipeol();
    c = B(r, p++);
    if (c > 'Z') ++good;
    if (letter(c)) ++good; else ++bad;
    long start = p;
    while (p < n && B(r, p) != ';' && B(r, p) != ' ' && !letter(B(r, p))) ++p;
    if (p == start && B(r, p) != ';') ++bad;
    if (B(r, p) == ' ') {
      ++p;
      while (p < n && B(r, p) != ';' && !letter(B(r, p))) ++p;
    }
    if (B(r, p) == ';') {
      good += 5;
      ++p;
    }
  }
  return (good >= 60 && bad < 10) ? 604 : 0;
}

// 85. Lotus Freelance.
int tfreelance(rcgblk *r) {
  if (r->length < 12 || !eq(r, 0, "\x00\x01\x40\x00\x44\x45\x42\x52\x40\x00", 10)) return 0;
  return accept(r, 618, 0);
}

// 86. WiziDraw.
int twizidraw(rcgblk *r) {
  if (r->length < 30) return 0;
  long p = 0;
  while (p < 10 && B(r, p) != ',') ++p;
  while (p < 20 && B(r, p) != 'M') ++p;
  if (p >= 20 || !eq(r, p, "M11DRAW")) return 0;
  return 617;
}

// 87. Harvard Graphics.
int tharvard(rcgblk *r) {
  if (r->length < 12 || !eq(r, 0, "\xDC\xFE\x18\x02", 4)) return 0;
  return accept(r, 620, 0);
}

// 88. MacPaint: the first four rows unpack to exactly 72 bytes each.
int tmacpaint(rcgblk *r) {
  if (r->length < 1024) return 0;
  long p = (B(r, 0) == 0 && B(r, 1) != 0 && B(r, 74) == 0) ? 640 : 512;
  for (int row = 0; row < 4; ++row) {
    long got = 0;
    while (got < 72) {
      int h = B(r, p);
      if (h < 0) return 0;
      if (h >= 0x80) {
        if (!has(r, p + 1)) return 0;
        got += 257 - h;
        p += 2;
      } else {
        if (!has(r, p + h + 1)) return 0;
        got += h + 1;
        p += h + 2;
      }
    }
    if (got != 72) return 0;
  }
  return 508;
}

// 89. Plain text in ASCII or EBCDIC, or PostScript: regular line ends and
// the share of high bytes.
int tplain(rcgblk *r) {
  long n = r->length;
  long crlf = 0, cr = 0, lf = 0, sp = 0, at = 0, hi = 0, lo = 0;
  for (long i = 0; i < n - 1; ++i) {
    int c = r->data[i];
    if (c == '\r' && r->data[i + 1] == '\n') {
      ++crlf;
      lo += 2;
      ++i;
      continue;
    }
    if (c == '\r') ++cr;
    if (c == '\n') ++lf;
    if (c == 0x20) ++sp;
    if (c == 0x40) ++at;
    if (c >= 0x80) ++hi; else ++lo;
  }
  long f = n / 302;
  if (f > 10) f = 10;
  long g = f / 4;
  bool regular = (crlf >= f && lf <= g && cr <= g) || (lf >= f && crlf <= g && cr <= g) ||
                 (cr >= f && crlf <= g && lf <= g);
  int result = 0;
  if (regular) {
    r->subcode = 0;
    if (at > sp) {
      if (hi >= 2 * lo) result = 2;
      else if (lo >= 6 * hi) result = 1;
    } else if (lo >= 4 * hi) {
      result = 1;
    }
  }
  if (result == 0 && at >= n / 10 && at > 10 && hi >= 2 * lo) result = accept(r, 2, 0);
  if (result == 1 && (eq(r, 0, "%!") || eq(r, 0, "\x04%!"))) result = accept(r, 503, 0);
  return result;
}

// The fixed order; the cheap header tests first, the statistical scans last.
const rcgtest order[] = {
    tdcarft,    twpfamily,  tmultimate, twordos,    tofficewriter, tqa,       tenable,
    tpfs,       tfcdb,      tws2000,    tdx,        tibmwa,        trtf,      tword2,
    tamipro,    tlotus,     texcel,     tframework, trapidfile,    twangpc,   tsamna,
    tmanuscript, tdcafft,   tmacword,   tmacwrite,  tmacwrite2,    tfullwrite, tinterleaf,
    twpmac,     tcom,       tnavydif,   tmass11,    tdbase,        tparadox,  taccess,
    twsheader,  tlegacy,    tmif,       txif,       tofficepower,  tquattro,  tcrystal,
    twpsplus,   tvolks,     twmf,       ttvg,       ttiff,         tgif,      tiges,
    tdxf,       twritenow,  twita,      twiziword,  tpdf,          tjpeg,     tcorel,
    tdesigner,  trgip,      tamidraw,   tbmp,       tpict,         tsunras,   teps,
    tlotuspic,  tppole,     tppt,       twordole,   texcelole,     thtml,     tworks,
    tpaint,     tpcx,       tclipboard, ticon,      tctos,         txywrite,  tuniplex,
    tceowrite,  tcgm,       twp4,       twsdot,     twpmac1,       tpeach,    thpgl,
    tfreelance, twizidraw,  tharvard,   tmacpaint,  tplain};
static_assert(sizeof order / sizeof order[0] == 89, "the fixed order has 89 tests");

// The test a hint names; WordStar's hint runs two (header, then dot commands).
int hinted(rcgblk *r, int hint) {
  switch (hint) {
  case 1: return tplain(r);
  case 3: return tcom(r);
  case 4: {
    int c = twsheader(r);
    return c ? c : twsdot(r);
  }
  case 5: return twordos(r);
  case 6: return twp4(r);
  case 7: return twpfamily(r);
  case 8: return tpfs(r);
  case 9: return tws2000(r);
  case 10: return tmultimate(r);
  case 13: return tibmwa(r);
  case 14: return tvolks(r);
  case 15: return tdcarft(r);
  case 16: return tofficewriter(r);
  case 17: return txywrite(r);
  case 18: return tnavydif(r);
  case 19: return trtf(r);
  case 20: return tlotus(r);
  case 21: return texcel(r);
  case 22: return tsamna(r);
  case 23: return tqa(r);
  case 24: return tmanuscript(r);
  case 25: return trapidfile(r);
  case 26: return twangpc(r);
  case 27: return tpeach(r);
  case 28: return tenable(r);
  case 29: return tframework(r);
  case 30: return tdx(r);
  case 31: return tmass11(r);
  case 32: return tdcafft(r);
  case 33: return tamipro(r);
  case 35: return tinterleaf(r);
  case 36: return tctos(r);
  case 37: return tlegacy(r);
  case 42: return tmif(r);
  case 44: return tword2(r);
  case 45: return twpsplus(r);
  case 51: return tmacwrite(r);
  case 52: return tmacwrite2(r);
  case 53:
  case 54: return tmacword(r);
  case 55: return tfullwrite(r);
  case 60: return twpmac(r);
  case 101: return tuniplex(r);
  case 102: return tofficepower(r);
  case 103: return txif(r);
  case 104: return tceowrite(r);
  case 105: return tcrystal(r);
  case 703: return tparadox(r);
  case 708: return tfcdb(r);
  case 770: return tdbase(r);
  case 771: return taccess(r);
  default: return 0;
  }
}

} // namespace

int rcgrun(rcgblk *r, int hint) {
  if (hint != 0) {
    r->hinted = 1;
    int code = hinted(r, hint);
    r->hinted = 0;
    if (code != 0) return code;
  }
  for (rcgtest t : order) {
    int code = t(r);
    if (code != 0) return code;
    // A compound document that none of its own tests named is not some other
    // format that happens to match its binary sectors (a FAT of FF bytes
    // decodes as MacPaint rows, a sector may pass for text): it stays unknown.
    if (t == texcelole && eq(r, 0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
      r->subcode = 0;
      return 0;
    }
  }
  return 0;
}
