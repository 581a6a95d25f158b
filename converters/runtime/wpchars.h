// The character sets of WordPerfect 5.x and 6.x documents: constant tables
// that turn a (set, character number) pair into a byte of a named code page.
// The converters and the framework's WordPerfect readers share them.
#ifndef KES_CONVERTERS_RUNTIME_WPCHARS_H
#define KES_CONVERTERS_RUNTIME_WPCHARS_H

#include <cstdint>

// ---------------------------------------------------------------- WordPerfect 5.x
//
// A character is found in two steps. First the set's own table (sets 1 to 8)
// gives a provisional code-page-437 byte; then the code-page tables, searched
// in their order (819, 850, 9999, 9998, 8591, 8592, 9997), each from its first
// row, override it with the first row holding the same set and number. A pair
// that neither step knows is a space of code page 437. The code-page tables
// keep only the rows that can decide a result: a pair an earlier table (or an
// earlier row) already holds is left out.

// One pair of a set table: the character number and its code-page-437 byte.
struct wpc5pair {
  uint8_t number;
  uint8_t ch;
};

// The pairs of one set, in table order.
struct wpc5set {
  const wpc5pair *pairs;
  int n;
};

// One row of a code-page table: the byte of that code page, set and number.
struct wpc5cprow {
  uint8_t ch;
  uint8_t set;
  uint8_t number;
};

// One code-page table.
struct wpc5cpt {
  int codepage;
  const wpc5cprow *rows;
  int n;
};

// The set tables by set number: 1 to 8 (0 has no table and is empty).
extern const wpc5set wpc5settab[9];
// The code-page tables in their search order.
extern const wpc5cpt wpc5cptab[7];

// ---------------------------------------------------------------- WordPerfect 6.x
//
// The bytes 0x01 to 0x1F of the text stand for 31 letters of set 1
// (wpc6chartab, sorted by byte). Any other character is a (set, number) pair
// looked up in its set's table (sets 1, 3, 4, 5, 6, 7, 8 and 10). A row of a
// set table names the first code page of the order 437, 819, 850, 9999,
// 8591, 8592, 9998 that holds the character, and the byte there; code page
// -1 marks a character none of them holds. Sets 2, 9, 11, 13 and 14 have no
// characters; set 0 is ASCII itself; set 12 and sets above 14 write nothing.

// A byte of the text that stands for a character: byte, set, number.
struct wpc6crow {
  uint8_t byte;
  uint8_t set;
  uint8_t number;
};

// One row of a set table, sorted by number within its set.
struct wpc6srow {
  uint8_t number;
  int16_t codepage;  // -1: no code page holds the character
  uint8_t ch;
};

// The rows of one set.
struct wpc6set {
  int set;
  const wpc6srow *rows;
  int n;
};

// The single-byte characters 0x01-0x1F, sorted by byte.
extern const wpc6crow wpc6chartab[31];
// The set tables of sets 1, 3, 4, 5, 6, 7, 8 and 10, in that order.
extern const wpc6set wpc6settab[8];

#endif
