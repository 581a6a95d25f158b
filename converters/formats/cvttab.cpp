// The converter table and its look-up: which entry converts the documents
// of a converter id.
#include "converters/formats/cvt.h"

// Ids 1 and 4 share one entry; 999 (plain text) needs no converter.
const cvtrow cvttab[] = {
    {1, cvtwp5},     {2, cvtworddos}, {4, cvtwp5},   {5, cvtwp6},
    {6, cvtmacword}, {7, cvtword2},   {8, cvtamipro}, {9, cvtlotus},
    {11, cvtword6},  {13, cvtxif},    {999, nullptr}, {0, nullptr},
};

int cvtfind(int32_t id, cvtentry *entry) {
  for (const cvtrow *r = cvttab;; ++r) {
    if (static_cast<int16_t>(r->id) == static_cast<int16_t>(id)) {
      if (entry) *entry = r->entry;
      return 1;
    }
    if (r->id == 0) return 0;
  }
}
