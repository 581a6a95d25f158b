/* Japanese character-set detection: in a server whose character set is
 * JA16EUC or JA16SJIS, guesses which of the three Japanese encodings (7-bit
 * JIS with escapes, EUC, Shift-JIS) a document is written in and converts it
 * into the server's set, so that the lexer and the highlighter see one
 * encoding. */
#ifndef KES_DR_DRGH_DRUJ_H
#define KES_DR_DRGH_DRUJ_H

#include <cstddef>
#include <cstdint>

#include "dr/drs/druvf.h"
#include "platform/nls/nls.h"

/* Detected encodings besides the character-set ids 830 and 832. */
enum { DRUJ_NONE = 0, DRUJ_JIS = 1 };

/* Detection and conversion of one document, kept by the caller. */
struct drujstate {
  drsrvstate *st;
  nlslang lang;         /* the settings of the detected encoding */
  const nlslang *dlang; /* &lang once an EUC or Shift-JIS document is detected */
  int32_t enc;          /* DRUJ_NONE, DRUJ_JIS, NLS_JA16EUC or NLS_JA16SJIS */
  const nlscs *dcs;     /* the detected set; null for JIS and for none */
  int32_t srvid;        /* the server's character-set id */
  const nlscs *srvcs;   /* the server's character set */
  int32_t jis;          /* JIS mode: 0 Roman, 1 kanji, 2 half-width kana, 3 unknown escape */
};

/* Starts a record for the server's character set; 0. */
int drujinit(drsrvstate *st, drujstate *r);
/* Detects the encoding of the document in buf (positioned at 0 by the
 * caller) when the server's set is JA16EUC or JA16SJIS, else detects none;
 * 0, or 1 when a read fails. */
int drujdetect(drujstate *r, druvfd *buf);
/* Converts the whole of src into dst (opened for rewriting); 0, or 1 when a
 * read, an append or the conversion itself fails. */
int drujconv(drujstate *r, druvfd *src, druvfd *dst);
/* Converts whole characters of in (len bytes) into out (size bytes), the
 * bytes written in *outlen; the first input byte not consumed, or null when
 * the conversion cannot be had. */
const char *drujchunk(drujstate *r, const char *in, size_t len, char *out, size_t size,
                      size_t *outlen);

#endif
