// National-language layer: the character sets a session may use, the
// NLS_LANG settings that choose one, and string operations that work on
// whole characters of a set. Conversions between sets go through iconv.
#ifndef KES_PLATFORM_NLS_NLS_H
#define KES_PLATFORM_NLS_NLS_H

#include <cstddef>
#include <cstdint>

// Ids of the character sets the server knows.
enum : uint16_t {
  NLS_US7ASCII = 1,
  NLS_WE8ISO8859P1 = 31,
  NLS_JA16EUC = 830,         // Japanese EUC (JIS X 0208, half-width kana, JIS X 0212)
  NLS_JA16SJIS = 832,        // Japanese Shift-JIS
  NLS_KO16KSC5601 = 840,     // Korean, KS X 1001 in EUC form
  NLS_ZHS16CGB231280 = 850,  // Simplified Chinese, GB 2312 in EUC form
  NLS_ZHS16GBK = 852,        // Simplified Chinese, GBK
  NLS_ZHT32EUC = 860,        // Traditional Chinese, CNS 11643 in EUC form (0x8E: four bytes)
  NLS_ZHT16BIG5 = 865,       // Traditional Chinese, Big5
  NLS_UTF8 = 871,
  NLS_AL32UTF8 = 873,        // UTF8 by another name
};

// Character-set flags.
constexpr uint32_t NLS_CS_SINGLE = 0x0200;  // one byte is one character
constexpr uint32_t NLS_CS_SHIFT = 0x0400;   // has shift states (none of the known sets)

// Character-class flags, as single bytes and whole characters classify.
// Bits 0x0001 and 0x0002 stay clear in every table: callers test them to
// tell characters of Asian scripts, which no single-byte set has.
constexpr uint16_t NLS_CNTRL = 0x0004;  // control character
constexpr uint16_t NLS_SPACE = 0x0008;  // white space (blank, tab, line ends, ideographic space)
constexpr uint16_t NLS_PUNCT = 0x0010;  // punctuation and symbols
constexpr uint16_t NLS_DIGIT = 0x0020;  // decimal digit 0 to 9 (single-byte only)
constexpr uint16_t NLS_UPPER = 0x0040;  // upper-case letter
constexpr uint16_t NLS_LOWER = 0x0080;  // lower-case letter
constexpr uint16_t NLS_ALPHA = 0x0800;  // letter, ideograph, kana, Hangul

// One character set. The tables classify and map single bytes; a byte that
// only starts a multi-byte character has class 0 there.
struct nlscs {
  uint16_t id;
  const char* name;         // the set's name in NLS_LANG, e.g. "JA16EUC"
  const char* pgenc;        // the matching PostgreSQL client_encoding
  const char* iconvname;    // the glibc iconv name
  uint32_t flags;           // NLS_CS_*
  uint8_t maxwidth;         // most bytes one character takes
  uint8_t shiftin;          // shift-back byte of a shift-coded set; 0 for none
  const uint16_t* cls;      // 256 class flags by byte
  const uint8_t* upper;     // 256 upper-case mapping by byte
  const uint8_t* base;      // 256 letter conversion by byte: accented letter to its base letter
  // Length of the character at p within n bytes (see nlsclen).
  size_t (*width)(const unsigned char* p, size_t n);
  // Class flags of a multi-byte character of the given length.
  uint16_t (*mbcls)(const unsigned char* p, size_t len);
};

// Status words of a settings read (first word of the workspace).
constexpr int32_t NLS_ST_OK = 0;         // read, or NLS_LANG not set
constexpr int32_t NLS_ST_LANGUAGE = 18;  // language part not known
constexpr int32_t NLS_ST_TERRITORY = 19; // territory part not known
constexpr int32_t NLS_ST_CHARSET = 20;   // character set part not known

// Workspace of the layer; its first word is the status of the last settings read.
struct nlsws {
  int32_t status;
  int32_t reserved;
};

// Language settings: the handle a session's national-language work goes through.
struct nlslang {
  const char* language;   // e.g. "AMERICAN"
  const char* territory;  // e.g. "AMERICA"
  const nlscs* cs;        // the session character set
  char decimal;           // numeric decimal character of the territory
  char group;             // numeric group separator of the territory
};

// Settings

// Clear the workspace: status 0.
void nlswsinit(nlsws* ws);
// Parse an NLS_LANG text (language_territory.charset, every part optional,
// names case-blind) into the settings: 0 when read; 1 when there are none,
// the workspace status then saying why (0 for a null or empty text, else
// 18, 19 or 20); the settings are untouched on 1.
int nlsread(nlsws* ws, nlslang* out, const char* text);
// nlsread over the NLS_LANG environment variable.
int nlsreadenv(nlsws* ws, nlslang* out);
// Fill the settings with the defaults, AMERICAN_AMERICA.WE8ISO8859P1: a set
// of one byte per character that holds the Western European letters, so
// that accented words of a UTF8 database stay whole words.
void nlsdefaults(nlslang* out);

// Character sets

// The character set of the id, or null.
const nlscs* nlscsbyid(uint16_t id);
// The character set of the name (case-blind), or null.
const nlscs* nlscsbyname(const char* name);
// The PostgreSQL client_encoding for a character-set name, or null.
const char* nlspgenc(const char* csname);

// Information items of a set.
// Most bytes one character takes: 1 for US7ASCII and WE8ISO8859P1, 2 for
// the double-byte sets, 3 for JA16EUC, 4 for ZHT32EUC and the UTF8 sets.
// The letter conversion is offered only where this is 1.
constexpr int NLS_INFO_WIDTH = 107;

// The value of an information item of the set; 0 for an item not known.
uint32_t nlsinfo(const nlscs* cs, int item);

// Characters. Lengths never read past the n bytes given. A byte that cannot
// start a valid character of the set counts as a character of one byte, so
// that scans always move forward; a character cut off by the end of the
// range is not a whole character.

// Bytes of a character as its lead byte announces them (1 to maxwidth).
size_t nlswidth(const nlscs* cs, unsigned char lead);
// Length of the whole character at p within n bytes; 0 when n is 0 or the
// character is cut off by the end of the range.
size_t nlsclen(const nlscs* cs, const char* p, size_t n);
// Number of whole characters in the first n bytes.
size_t nlscount(const nlscs* cs, const char* p, size_t n);
// Bytes taken by the whole characters in the first n bytes.
size_t nlswhole(const nlscs* cs, const char* p, size_t n);
// Largest length not above max at which len bytes can be cut without
// splitting a character: len itself when it is not above max.
size_t nlscut(const nlscs* cs, const char* p, size_t len, size_t max);
// Bytes taken by the first count whole characters within n bytes.
size_t nlsbytes(const nlscs* cs, const char* p, size_t n, size_t count);
// Class flags of the character at p within n bytes; 0 at the end.
uint16_t nlscls(const nlscs* cs, const char* p, size_t n);
// Class flags of a single byte taken as a one-byte character.
uint16_t nlscls1(const nlscs* cs, unsigned char b);
// Upper-case mapping of a single byte.
unsigned char nlsupper1(const nlscs* cs, unsigned char b);
// Letter conversion of a single byte (accented letter to its base letter).
unsigned char nlsbase1(const nlscs* cs, unsigned char b);

// Strings. Every copy writes whole characters only, at most dstsize - 1
// bytes and a terminating NUL (nothing when dstsize is 0), and returns the
// bytes copied without the NUL; a shorter result than the source means the
// room ran out. Destination and source may be the same buffer for nlsupper.

// Copy a NUL-terminated string.
size_t nlscpy(const nlscs* cs, char* dst, size_t dstsize, const char* src);
// Copy at most srclen bytes of src (less when a NUL comes first).
size_t nlsncpy(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t srclen);
// Copy at most maxchars characters of a NUL-terminated string.
size_t nlsccpy(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t maxchars);
// Append a NUL-terminated string to the NUL-terminated string in dst;
// returns the new length of dst.
size_t nlscat(const nlscs* cs, char* dst, size_t dstsize, const char* src);
// Upper-cased copy of at most srclen bytes of src (less when a NUL comes first).
size_t nlsupper(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t srclen);
// Letter-converted copy (each single-byte character through nlsbase1) of at
// most srclen bytes of src (less when a NUL comes first).
size_t nlsbase(const nlscs* cs, char* dst, size_t dstsize, const char* src, size_t srclen);

// Comparisons return below, equal to or above 0. They order by the bytes of
// the set's encoding, which is the order of PostgreSQL's "C" collation for
// UTF8, LATIN1 and ASCII; for the other sets the database agrees when it
// orders by the column converted to the set (convert_to).

// Compare two NUL-terminated strings.
int nlscmp(const nlscs* cs, const char* a, const char* b);
// Compare at most n bytes of two strings, stopping at a NUL.
int nlsncmp(const nlscs* cs, const char* a, const char* b, size_t n);
// nlscmp ignoring letter case.
int nlscasecmp(const nlscs* cs, const char* a, const char* b);
// nlsncmp ignoring letter case.
int nlsncasecmp(const nlscs* cs, const char* a, const char* b, size_t n);
// First occurrence of the single-byte character c as a whole character of a
// NUL-terminated string (never a trail byte of a wider one), or null.
const char* nlschr(const nlscs* cs, const char* s, unsigned char c);
// Read a decimal integer (optional sign) from at most n bytes: 0 and the
// value; 1 when the text is empty, holds anything else or overflows 32 bits.
int nlsatoi(const nlscs* cs, const char* s, size_t n, int32_t* out);

// Character cursor over a text of known length.
struct nlscur {
  const nlscs* cs;
  const char* pos;  // current character
  const char* end;  // end of the text
};

// Start a cursor at the beginning of the text.
void nlscurset(nlscur* cur, const nlscs* cs, const char* text, size_t len);
// Length of the current character; 0 at the end (or a cut-off last character).
size_t nlscurlen(const nlscur* cur);
// Class flags of the current character; 0 at the end.
uint16_t nlscurcls(const nlscur* cur);
// True when the current character is the single-byte character c.
bool nlscuris(const nlscur* cur, unsigned char c);
// Step over the current character; nothing at the end.
void nlscurnext(nlscur* cur);

// Conversion between sets

// Most bytes the conversion from one set into another writes per source
// byte (1 within one set).
unsigned nlsratio(const nlscs* to, const nlscs* from);
// Convert whole characters of src into dst while they fit; a character
// without a counterpart, or an invalid byte, becomes "?". Writes no NUL.
// Returns the bytes written and puts the source bytes consumed into used
// (a character cut off by the end of src stays unconsumed); -1 when the
// conversion cannot be had.
long nlsconv(const nlscs* to, char* dst, size_t dstsize, const nlscs* from, const char* src,
             size_t srclen, size_t* used);

// Convert whole characters between JA16EUC and JA16SJIS by arithmetic (the
// two share the rows and cells of JIS X 0208, and the half-width kana), as
// nlsconv does: a character without a counterpart (JIS X 0212 in EUC, the
// user-defined rows of Shift-JIS), and an invalid byte, becomes "?". Much
// faster than nlsconv; -1 for any other pair of sets.
long nlsjaconv(const nlscs* to, char* dst, size_t dstsize, const nlscs* from, const char* src,
               size_t srclen, size_t* used);

// The set's replacement character (what stands for a character the set
// cannot hold) into out (4 bytes at least); its length.
size_t nlsrepl(const nlscs* cs, char* out);
// Convert UTF-8 text into the set in one pass: a character the set cannot
// hold, and an invalid byte, becomes the set's replacement character and
// counts in *replaced. Stops before a character cut off by the end of src
// or one that would not fit dst (room for srclen * nlsratio(to, utf8)
// bytes always suffices). Writes no NUL. Returns the bytes written and puts
// the source bytes consumed into used; -1 when the conversion cannot be had.
long nlsfromutf8(const nlscs* to, char* dst, size_t dstsize, const char* src, size_t srclen,
                 size_t* used, size_t* replaced);

#endif
