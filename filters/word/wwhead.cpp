// The document head (summary, fonts and the writer's document defaults),
// the special characters that stand for dates, times and symbols, and the
// parse of date pictures into the writer's date-format items.
#include <cstdio>
#include <cstring>

#include "filters/word/ww.h"

namespace {

// The picture tokens in the order they are tried; exact ones compare case.
struct token {
  const char* text;
  bool exact;
  int code;
};
constexpr token ktokens[] = {
    {"MMMM", true, 259}, {"MMM", true, 260},  {"MM", true, 258},     {"M", true, 258},   {"DDDD", false, 262},
    {"DDD", false, 262}, {"DD", false, 257},  {"D", false, 257},     {"MMM", false, 260}, {"YY", false, 261},
    {"HH", true, 263},   {"H", true, 263},    {"hh", true, 264},     {"h", true, 264},   {"mm", true, 265},
    {"m", true, 265},    {"SS", false, 266},  {"AM/PM", false, 256}, {"A/P", false, 256},
};

int lower(int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

bool matches(const char* at, const token& t) {
  for (int i = 0; t.text[i]; i++) {
    int c = static_cast<unsigned char>(at[i]);
    if (c == 0 || c == '"') return false;
    if (t.exact ? c != t.text[i] : lower(c) != lower(t.text[i])) return false;
  }
  return true;
}

void putnum(char* buf, size_t n, long v) { std::snprintf(buf, n, "%ld", v); }

}  // namespace

// ---------------------------------------------------------------- dates

void wwrdatestr(const wwdate* d, char* out) {
  static const char* const days[] = {"Sunday, ", "Monday, ", "Tuesday, ", "Wednesday, ",
                                     "Thursday, ", "Friday, ", "Saturday, "};
  static const char* const months[] = {"January ", "February ", "March ", "April ", "May ", "June ", "July ",
                                       "August ", "September ", "October ", "November ", "December "};
  const char* day = d->wday >= 0 && d->wday <= 6 ? days[d->wday] : "";
  const char* month = d->month >= 1 && d->month <= 12 ? months[d->month - 1] : "";
  int h = d->hour % 12;
  if (h == 0) h = 12;
  // Out-of-range fields of a damaged date still fit the 40 bytes: the
  // numbers are cut to the widths a true date has.
  std::snprintf(out, 40, "%s%s%d, %d %d:%s%d %s", day, month, d->day % 100, (d->year + 1900) % 100000, h % 100,
                d->min < 10 ? "0" : "", d->min % 100, d->hour >= 12 ? "pm" : "am");
}

int wwrdatepicitems(const char* pic, int32_t* out) {
  int n = 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(pic);
  size_t i = 0;
  while (s[i] != 0 && s[i] != '"') {
    int item = -1;
    const token* hit = nullptr;
    for (const token& t : ktokens)
      if (matches(reinterpret_cast<const char*>(s + i), t)) {
        hit = &t;
        break;
      }
    if (hit) {
      item = hit->code;
      i += std::strlen(hit->text);
    } else if (s[i] == '\'' || s[i] == '`') {
      int close = s[i++];
      while (s[i] != 0 && s[i] != '"' && s[i] != close) i++;
      if (s[i] == close) i++;
      continue;
    } else {
      item = s[i++];
    }
    if (n + 1 >= 20) break;
    out[n++] = item;
  }
  out[n] = -1;
  return n;
}

void wwrdatepic(wwstate* w, const char* pic) {
  int32_t items[20];
  if (wwrdatepicitems(pic, items) > 0) {
    int codes[20];
    for (int i = 0; i < 20; i++) codes[i] = items[i];
    cwdatefmt(w->run, codes);
  }
}

// ---------------------------------------------------------------- characters

void wwrputcp(wwstate* w, int ch, int cp) {
  cvrun* run = w->run;
  int was = cwgetcodepage(run);
  if (wwfeany(w)) cwmbyteoff(run);
  cwcodepage(run, cp);
  cwputc(run, ch & 0xFF);
  cwcodepage(run, was);
  wwmbyteon(w);
}

void wwrspecial(wwstate* w, int ch, int32_t*, const wwchp* c) {
  const char* pic = nullptr;
  switch (ch) {
    case 10:
    case 39: pic = "DDDD, MMMM DD, MMM"; break;
    case 11:
    case 28:
    case 38: pic = "HH:mm"; break;
    case 14:
    case 15: pic = "DDDD"; break;
    case 16: pic = "DD"; break;
    case 22:
    case 23: pic = "hh"; break;
    case 24:
    case 25: pic = "mm"; break;
    case 27: pic = "AM/PM"; break;
    case 29: pic = "MMMM DD, MMM"; break;
    case 30: pic = "MM/DD/YY"; break;
    case 33: pic = "MM"; break;
    case 34: pic = "MMM"; break;
    case 35: pic = "YY"; break;
    case 36:
    case 37: pic = "MMMM"; break;
    case 150:
    case 151: cwputc(w->run, 32); return;
    case 40: {
      int f = wwchpv(c, WC_SYMFONT), sc = wwchpv(c, WC_SYMCHAR) & 0xFF;
      const char* name = wwfontname(w, f);
      if (name && std::strcmp(name, "Symbol") == 0) {
        wwrputcp(w, sc, 9998);
        return;
      }
      bool line = name && cvstristr(name, "MS LineDraw") == name && std::strlen(name) == 11;
      wwfontemit(w, f);
      if (line)
        wwrputcp(w, sc, 437);
      else if (sc < 32 || sc >= 128)
        wwrputcp(w, sc, 819);
      else
        cwputc(w->run, sc);
      wwfontemit(w, wwchpv(c, WC_FONT));
      return;
    }
    default: return;  // pictures and fields belong to their own modules
  }
  wwrdatepic(w, pic);
}

// ---------------------------------------------------------------- the head

void wwrhead(wwstate* w) {
  cvrun* run = w->run;
  char buf[40];
  wwrdatestr(wwdtcreated(w), buf);
  cwsummary(run, 6, buf, 5);
  wwrdatestr(wwdtrevised(w), buf);
  cwsummary(run, 7, buf, 5);
  const int32_t counts[5] = {wwnpages(w), wwnchars(w), wwnwords(w), wwedittime(w), wwnrevs(w)};
  for (int i = 0; i < 5; i++) {
    putnum(buf, sizeof buf, counts[i]);
    cwsummary(run, 14 + i, buf, 5);
  }
  // Without a saved-by list the document is named by its input name.
  if (!wwhassavedby(w)) {
    if (char* name = cvgetparam(run, 0)) {
      wwupper(name);
      cwsummary(run, 20, name, 5);
      cvfree(run, name);
    }
  }
  wwfontdecl(w);
  cwdefrec d{};
  d.version = 1;
  d.codepage = wwcodepage(w);
  d.tmar = d.bmar = 1440;
  d.hdrgap = d.ftrgap = 720;
  d.hdrpos = d.ftrpos = 720;
  d.length = 15840;
  d.width = 12240;
  d.orient = 1;
  d.lmar = d.rmar = 1800;
  d.linespc = 240;
  d.pct1 = 4;
  d.pct2 = 10;
  d.widow = 2;
  static const int fmt[9] = {5, 3, 0, 2, 0, 2, 4, 2, 4};
  static const char* const before[9] = {"", "", "", "", "(", "(", "(", "(", "("};
  static const char* const after[9] = {".", ".", ".", ")", ")", ")", ")", ")", ")"};
  cwdeflvl lv[9] = {};
  for (int i = 0; i < 9; i++) {
    lv[i].start = 1;
    lv[i].fmt = fmt[i];
    lv[i].before = before[i];
    lv[i].after = after[i];
    lv[i].enc = 5;
    d.lvl[i] = &lv[i];
  }
  int lid = wwlid(w);
  d.lang = lid == 1025 || lid == 1037 ? lid : 1033;
  cwdocdefs(run, &d);
}
