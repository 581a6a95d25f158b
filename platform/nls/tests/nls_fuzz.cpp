// Fuzz target: every character-aware operation over arbitrary bytes in
// every set stays within its buffers and keeps whole characters.
#include "platform/nls/nls.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint16_t ids[] = {NLS_US7ASCII, NLS_WE8ISO8859P1, NLS_JA16EUC,
                                 NLS_JA16SJIS, NLS_KO16KSC5601, NLS_ZHS16CGB231280,
                                 NLS_ZHS16GBK, NLS_ZHT16BIG5,    NLS_UTF8};
  if (size < 2) return 0;
  const nlscs* cs = nlscsbyid(ids[data[0] % 9]);
  size_t room = data[1] % 64;
  std::string src(reinterpret_cast<const char*>(data + 2), size - 2);  // may hold NULs
  const char* s = src.c_str();
  size_t n = src.size();

  size_t whole = nlswhole(cs, s, n);
  if (whole > n || nlscount(cs, s, n) > whole) abort();
  std::string dst(room + 1, '#');
  size_t len = nlsncpy(cs, dst.data(), room, s, n);
  if (room && (len >= room || dst[len] != '\0' || std::memcmp(dst.data(), s, len) != 0)) abort();
  if (dst[room] != '#') abort();
  size_t up = nlsupper(cs, dst.data(), room, s, n);
  if (up != len || dst[room] != '#') abort();
  nlscpy(cs, dst.data(), room, s);
  nlscat(cs, dst.data(), room, s);
  if (dst[room] != '#') abort();
  nlscasecmp(cs, s, dst.data());
  nlschr(cs, s, ',');
  nlscur cur;
  nlscurset(&cur, cs, s, n);
  while (nlscurlen(&cur)) nlscurnext(&cur);
  std::string out(room, '#');
  size_t used = 0;
  long w = nlsconv(nlscsbyid(NLS_UTF8), out.data(), room, cs, s, n, &used);
  if (w < 0 || static_cast<size_t>(w) > room || used > n) abort();
  // The same bytes taken as UTF-8 into the set: within the room, and with
  // room for every byte times the set's width nothing but a cut last
  // character stays unconsumed.
  size_t replaced = 0;
  w = nlsfromutf8(cs, out.data(), room, s, n, &used, &replaced);
  if (w < 0 || static_cast<size_t>(w) > room || used > n || replaced > n) abort();
  std::string big(n * cs->maxwidth + 4, '#');
  w = nlsfromutf8(cs, big.data(), big.size(), s, n, &used, &replaced);
  if (w < 0 || n - used > 3) abort();
  return 0;
}
