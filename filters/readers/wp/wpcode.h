// The code-row layout both WordPerfect readers classify function codes with:
// a table of fixed rows sorted by code and subfunction, searched with one
// comparison in which the subfunction 0xFF matches any subfunction.
#ifndef KES_FILTERS_READERS_WP_WPCODE_H
#define KES_FILTERS_READERS_WP_WPCODE_H

#include <cstddef>
#include <cstdint>

#include "filters/framework/writer/cw.h"

// Kinds of a row (a bit set).
inline constexpr uint32_t WP_SINGLE = 1, WP_FIXED = 2, WP_VARIABLE = 4;
// The subfunction that matches any.
inline constexpr int WP_ANYSUB = 0xFF;

// One row of a function-code table.
struct wpcoderow {
  uint8_t code;
  uint8_t sub;       // 0xFF any; 0 for codes that carry none
  uint32_t kind;     // WP_SINGLE, WP_FIXED, WP_VARIABLE
  uint32_t length;   // fixed-length functions: the whole length, code included
  int (*handler)(cvrun* run);
};

// wprowcmp: -1, 0 or 1 by code, then subfunction (equal when either is 0xFF).
int wprowcmp(const void* a, const void* b);
// wprowsort: sorts a table in place with wprowcmp.
void wprowsort(wpcoderow* rows, size_t n);
// wprowfind: the row of a table matching the key {code, sub}, or null.
const wpcoderow* wprowfind(const wpcoderow* rows, size_t n, int code, int sub);

#endif
