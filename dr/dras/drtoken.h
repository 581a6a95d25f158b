/* The token record that lexers hand out in batches: one definition for the
 * lexers that fill it and for the query side that reads it. The two bytes
 * after the type are named by position, because the two sides of the system
 * gave them different names. */
#ifndef KES_DR_DRAS_DRTOKEN_H
#define KES_DR_DRAS_DRTOKEN_H

#include <cstddef>
#include <cstdint>

/* Token types. */
enum {
  DRTOK_WORD = 1,      /* word of letters */
  DRTOK_NUMBER = 2,    /* digits with decimal and group characters */
  DRTOK_MIXED = 4,     /* letters and digits */
  DRTOK_SENTENCE = 5,  /* end of sentence */
  DRTOK_PARAGRAPH = 6, /* end of paragraph */
  DRTOK_END = 7,       /* end of the document or of the query word; last of its batch */
  DRTOK_PIECE = 8,     /* piece of an ideograph or kana run */
  DRTOK_SINGLE = 9,    /* a single ideograph or kana */
  DRTOK_LAST = 10,     /* last character of an ideograph or kana run */
  DRTOK_PART = 11      /* a Korean word part */
};

typedef struct drtoken {
  const char *text;    /* NUL-terminated text in the lexer's text area; null for
                          types 5, 6 and 7 (the Korean end token: an empty text) */
  int32_t offset;      /* character offset of the first character; for a type-11
                          token the weight divisor */
  int32_t value;       /* 0 from every lexer */
  uint8_t length;      /* bytes of text, without the NUL */
  uint8_t type;        /* DRTOK_* */
  /* Byte 1 after the type. The lexers call it "reserved" and write 0 into
   * it; the query side calls it the "flag": non-zero refuses the word. */
  uint8_t flag;
  /* Byte 2 after the type. The lexers call it the "flag" and write 1 into
   * it for every token; the query side calls it the "weight" that follows
   * the flag (Korean word parts). Never test this byte to refuse a word. */
  uint8_t weight;
  uint8_t extent;      /* source characters covered, low 8 bits */
} drtoken;


static_assert(offsetof(drtoken, weight) == offsetof(drtoken, flag) + 1,
              "the weight byte follows the flag byte");
static_assert(offsetof(drtoken, flag) == offsetof(drtoken, type) + 1,
              "the flag byte follows the type byte");

#endif
