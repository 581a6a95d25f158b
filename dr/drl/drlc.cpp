// The multi-byte lexer: the Japanese lexer's tokenizer over the tables of
// the Chinese sets GB 2312, GBK and Big5, without the katakana conversion.
#include "dr/drl/drlj.h"
#include "platform/nls/nls.h"

drobj *drlcnew(drsrvstate *s, drheap h) {
  static const int32_t kChinese[] = {NLS_ZHS16CGB231280, NLS_ZHS16GBK, NLS_ZHT16BIG5};
  return drljmake(s, h, 1, kChinese, 3);
}
