// The code alphabet of the intermediate record format: how a record's stored
// number turns into the three code characters written after ESC GS, and back.
// One table for every writer and reader of the format; nothing else lives here.
#ifndef KES_CONVERTERS_RUNTIME_COMCODES_H
#define KES_CONVERTERS_RUNTIME_COMCODES_H

#include <cstddef>

// The 37-entry code alphabet. Index i of 0..31 is the byte 64 + i, so a
// letter's index is its byte minus 64 (A = 1 ... Z = 26) and every record
// number is a readable mnemonic (4388 DID, 24744 HEX, 19573 UCS). Indexes
// 32..36 serve as third characters of the numbers 32768 to 37887, which a
// 15-bit code cannot hold but some one-record emitters use (33005 ... 37101).
inline constexpr char comalpha[] = "@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_01234";
inline constexpr int comalphalen = 37;   // entries; the terminating NUL is index 37
inline constexpr int comcodemax = 32767; // the 15-bit numbers, the ordinary range
inline constexpr int comcodetop = 37887; // the highest number that reads back as itself

// comindex: the alphabet index of one code character, or comalphalen (the
// terminating entry's position) when the character is not in the alphabet.
constexpr int comindex(unsigned char c) {
  for (int i = 0; i < comalphalen; i++)
    if (static_cast<unsigned char>(comalpha[i]) == c) return i;
  return comalphalen;
}

// comcodepack: the stored number of three code characters (first character in
// the lowest five bits). A character outside the alphabet yields a number that
// no record uses.
constexpr int comcodepack(const char* three) {
  return comindex(static_cast<unsigned char>(three[0])) +
         comindex(static_cast<unsigned char>(three[1])) * 32 +
         comindex(static_cast<unsigned char>(three[2])) * 1024;
}

// comcodeunpack: writes the three code characters of a stored number and a
// NUL into out (four bytes). Numbers up to comcodetop read back as themselves;
// any other number is written from its low 15 bits, as it always was.
constexpr void comcodeunpack(int code, char* out) {
  int high = (code >> 10) & 63;
  if (code < 0 || code > comcodetop) high &= 31;
  out[0] = comalpha[code & 31];
  out[1] = comalpha[(code >> 5) & 31];
  out[2] = comalpha[high];
  out[3] = '\0';
}

static_assert(comcodepack("DID") == 4388);
static_assert(comcodepack("HEX") == 24744);
static_assert(comcodepack("UCS") == 19573);
static_assert(comcodepack("XCS") == 19576);
static_assert(comcodepack("MG0") == 33005 && comcodepack("MG4") == 37101);

#endif  // KES_CONVERTERS_RUNTIME_COMCODES_H
