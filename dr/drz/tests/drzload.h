// The text loader's keyword table as the loader passes it to the scanner: a
// caller's table of two words, a few punctuation records and a zero record.
#ifndef KES_DR_DRZ_TESTS_DRZLOAD_H
#define KES_DR_DRZ_TESTS_DRZLOAD_H

#include "dr/drz/drz.h"

namespace drzload {

// A keyword record of a caller's table, blank-padded.
constexpr drzgtkw rec(const char *word, int16_t code) {
  drzgtkw r{};
  uint8_t n = 0;
  for (; word[n]; n++) r.text[n] = word[n];
  r.len = n;
  for (uint8_t i = n; i < sizeof r.text; i++) r.text[i] = ' ';
  r.code = code;
  return r;
}

constexpr int32_t kCount = 13;
constexpr drzgtkw kTable[kCount] = {rec("", 0),    rec("", 1),          rec("", 2),
                                    rec("", 3),    rec("TEXTEND", 401), rec("TEXTSTART", 400),
                                    rec("&", 216), rec(":", 218),       rec(",", 219),
                                    rec("=", 221), rec(">", 222),       rec("<", 224),
                                    drzgtkw{}};

}  // namespace drzload

#endif
