// What the document head gives the field interpreter: date pictures parsed
// into the writer's date-format record, and single characters written in
// a code page of their own.
//
// These stand in until the document head module is built; it takes them
// over, and this file goes with it.
#include <cstring>
#include <strings.h>

#include "filters/word/wwfld.h"

namespace {

// The picture tokens in the order tried; exact ones compare letter case.
struct dtok {
  const char* text;
  bool exact;
  int code;
};
const dtok kdtoks[] = {
    {"MMMM", true, 259}, {"MMM", true, 260},  {"MM", true, 258},    {"M", true, 258},
    {"DDDD", false, 262}, {"DDD", false, 262}, {"DD", false, 257},   {"D", false, 257},
    {"MMM", false, 260}, {"YY", false, 261},  {"HH", true, 263},    {"H", true, 263},
    {"hh", true, 264},   {"h", true, 264},    {"mm", true, 265},    {"m", true, 265},
    {"SS", false, 266},  {"AM/PM", false, 256}, {"A/P", false, 256},
};

bool matches(const char* s, const dtok& t) {
  size_t n = std::strlen(t.text);
  return t.exact ? std::strncmp(s, t.text, n) == 0 : strncasecmp(s, t.text, n) == 0;
}

// Multi-byte mode of the document's Far-East encoding, entered again.
void mbyteon(wwstate* w) {
  if (!w->hdr) return;
  int e = wwfea(w) ? 1 : wwfeb(w) ? 4 : wwfec(w) ? 3 : wwfed(w) ? 2 : 0;
  if (e) cwmbyteon(w->run, e, 0);
}

}  // namespace

void wwrdatepic(wwstate* w, const char* pic) {
  int items[20];
  int n = 0;
  size_t i = 0;
  while (pic[i] && pic[i] != '"') {
    int item = -1;
    for (const dtok& t : kdtoks)
      if (matches(pic + i, t)) {
        item = t.code;
        i += std::strlen(t.text);
        break;
      }
    if (item < 0) {
      char c = pic[i];
      if (c == '\'' || c == '`') {
        i++;
        while (pic[i] && pic[i] != '"' && pic[i] != c) i++;
        if (pic[i] == c) i++;
        continue;
      }
      item = static_cast<unsigned char>(c);
      i++;
    }
    if (n + 1 >= 20) break;
    items[n++] = item;
  }
  if (n == 0) return;
  items[n] = -1;
  cwdatefmt(w->run, items);
}

void wwrputcp(wwstate* w, int ch, int cp) {
  cvrun* run = w->run;
  int old = run->codepage;
  bool fe = w->hdr && wwfeany(w);
  if (fe) cwmbyteoff(run);
  cwcodepage(run, cp);
  cwputc(run, ch);
  cwcodepage(run, old);
  if (fe) mbyteon(w);
}
