// The font table of every version level read into one list of 80-byte font
// records in a work stream, with look-up by index, by name and by Mac font
// number, and the declaration of the list to the writer.
#include <cstring>
#include <strings.h>

#include "filters/word/ww.h"

namespace {

constexpr int kname = 68;  // name field of a record
constexpr int kmaxname = 65;

// The fonts of Mac Word 4 files, which never read their stored table.
struct macbuiltin {
  uint16_t number;
  const char* name;
};
const macbuiltin kmac34[30] = {
    {0, "Chicago"},     {1, "AppleFont"},   {2, "New York"},      {3, "Geneva"},
    {4, "Monaco"},      {5, "Venice"},      {6, "London"},        {7, "Athens"},
    {8, "San Francisco"}, {9, "Toronto"},   {11, "Cairo"},        {12, "Los Angeles"},
    {13, "Zapf Dingbats"}, {14, "Bookman"}, {16, "Palatino"},     {18, "Zapf Chancery"},
    {20, "Times"},      {21, "Helvetica"},  {22, "Courier"},      {23, "Symbol"},
    {24, "Mobile"},     {33, "Avant Garde"}, {34, "New Century Schlbk"}, {97, "Avignon"},
    {101, "Cartoon"},   {128, "PC80"},      {129, "PC40"},        {150, "Manhattan"},
    {151, "Hollywood"}, {168, "Eire"},
};

// A name of up to n bytes, cut at its first zero and at 65 characters.
void cutname(char* dst, const unsigned char* src, int n) {
  int i = 0;
  for (; i < n && i < kmaxname && src[i]; i++) dst[i] = static_cast<char>(src[i]);
  dst[i] = 0;
}

void addmissing(wwstate* w, const char* name) {
  if (!wwfontknown(w, name)) wwfontput(w, name, 0, 0, 0);
}

void fallback12(wwstate* w) {
  wwfontput(w, "Times", 0, 0, 0);
  wwfontput(w, "Symbol", 0, 0, 0);
  wwfontput(w, "Helvetica", 0, 0, 0);
}

// The remaining length of a table, bounded by the input: a table said to be
// longer than what is left of the stream stops at its end.
long remaining(wwstate* w, long declared) {
  long left = wwsize(w, WW_MAIN) - wwtell(w, WW_MAIN);
  if (left < 0) left = 0;
  return declared < left ? declared : left;
}

}  // namespace

void wwfontstmnew(wwstate* w) {
  if (w->fontstm < 0) w->fontstm = wwtmpnew(w, WW_PAGE);
  if (w->fontstm < 0) wwfatal(w, RDR_NOMEM);
}

void wwfontstmfree(wwstate* w) {
  if (w->fontstm >= 0) wwtmpdel(w, w->fontstm);
  w->fontstm = -1;
}

void wwfontfree(wwstate* w) {
  wwfontstmfree(w);
  if (w->macfonts) wwfree(w, w->macfonts);
  w->macfonts = nullptr;
  w->nmacfonts = 0;
}

void wwfontput(wwstate* w, const char* name, int family, int pitch, int dbcs) {
  unsigned char rec[WW_FONTREC] = {};
  std::strncpy(reinterpret_cast<char*>(rec), name, kmaxname);
  int32_t vals[3] = {family, pitch, dbcs};
  std::memcpy(rec + kname, vals, sizeof vals);
  wwseek(w, w->fontstm, wwsize(w, w->fontstm));
  wwwrite(w, w->fontstm, rec, WW_FONTREC);
}

int wwfontrecs(wwstate* w) {
  return w->fontstm < 0 ? 0 : static_cast<int>(wwsize(w, w->fontstm) / WW_FONTREC);
}
int wwfontcount(wwstate* w) { return wwfontrecs(w); }

void wwfontget(wwstate* w, int index, char* name, int* family, int* pitch, int* dbcs) {
  unsigned char rec[WW_FONTREC] = {};
  int n = wwfontrecs(w);
  if (n > 0) {
    if (index < 0 || index >= n) index = 0;
    wwseek(w, w->fontstm, static_cast<long>(index) * WW_FONTREC);
    wwread(w, w->fontstm, rec, WW_FONTREC);
  }
  rec[kname - 1] = 0;
  int32_t vals[3];
  std::memcpy(vals, rec + kname, sizeof vals);
  if (name) std::memcpy(name, rec, kmaxname + 1), name[kmaxname] = 0;
  if (family) *family = vals[0];
  if (pitch) *pitch = vals[1];
  if (dbcs) *dbcs = vals[2];
}

int wwmacfont(wwstate* w, long number) {
  if (!w->macfonts || w->nmacfonts <= 0 || number > 65535) return static_cast<int>(number);
  for (int i = 0; i < w->nmacfonts; i++)
    if (w->macfonts[i] == number) return i;
  return static_cast<int>(number);
}

const char* wwfontname(wwstate* w, int font) {
  if (w->big == 1) font = wwmacfont(w, font);
  wwfontget(w, font, w->fontname, nullptr, nullptr, nullptr);
  return w->fontname;
}

int wwfontfind(wwstate* w, const char* name) {
  char buf[kname];
  int n = wwfontrecs(w);
  for (int i = 0; i < n; i++) {
    wwfontget(w, i, buf, nullptr, nullptr, nullptr);
    if (strcasecmp(buf, name) == 0) return i;
  }
  return 0;
}

int wwfontknown(wwstate* w, const char* name) {
  char buf[kname];
  int n = wwfontrecs(w);
  for (int i = 0; i < n; i++) {
    wwfontget(w, i, buf, nullptr, nullptr, nullptr);
    if (strcasecmp(buf, name) == 0) return 1;
  }
  return 0;
}

int wwfontfam(wwstate* w, int index) {
  int v;
  wwfontget(w, index, nullptr, &v, nullptr, nullptr);
  return v;
}
int wwfontpitch(wwstate* w, int index) {
  int v;
  wwfontget(w, index, nullptr, nullptr, &v, nullptr);
  return v;
}
int wwfontcs(wwstate* w, int index) {
  int v;
  wwfontget(w, index, nullptr, nullptr, nullptr, &v);
  return v;
}

void wwfont6tab(wwstate* w) {
  wwfontstmnew(w);
  if (wwlcbfonts(w) > 0) {
    wwseek(w, WW_MAIN, wwfcfonts(w));
    long left = remaining(w, static_cast<long>(wwgetw(w, WW_MAIN)) - 2);
    while (left > 6) {
      int s = wwgetb(w, WW_MAIN);
      if (s < 0) break;
      int f = (wwgetb(w, WW_MAIN) >> 4) & 7;
      wwgetw(w, WW_MAIN);
      int cs = wwgetb(w, WW_MAIN);
      wwgetb(w, WW_MAIN);
      unsigned char area[256] = {};
      int n = s - 5;
      if (n > 0) wwread(w, WW_MAIN, area, n);
      char name[kname];
      cutname(name, area, n > 0 ? n : 0);
      wwfontput(w, name, f == 1 || f == 3, f == 1 || f == 2, cs == 128 || cs == 129 || cs == 134 || cs == 136);
      left = s + 1 <= left ? left - (s + 1) : 0;
    }
  }
  addmissing(w, "Wingdings");
  addmissing(w, "MS Linedraw");
  wwfontput(w, "Traditional Arabic", 0, 0, 0);
  wwfontput(w, "System Hebrew", 0, 0, 0);
}

void wwfont5tab(wwstate* w) {
  if (wwlcbfonts(w) <= 0) return;
  wwseek(w, WW_MAIN, wwfcfonts(w));
  int count = wwgetsw(w, WW_MAIN);
  if (count <= 0) return;
  // Each entry takes at least five bytes: a count past what the table can
  // hold stops at the end of the input.
  long most = remaining(w, wwlcbfonts(w)) / 5;
  if (count > most) count = static_cast<int>(most);
  w->macfonts = static_cast<uint16_t*>(wwalloc(w, (count + 1) * static_cast<long>(sizeof(uint16_t))));
  wwfontstmnew(w);
  for (int i = 0; i < count; i++) {
    wwgetw(w, WW_MAIN);
    w->macfonts[i] = static_cast<uint16_t>(wwgetw(w, WW_MAIN));
    int len = wwgetb(w, WW_MAIN);
    if (len < 0) len = 0;
    unsigned char area[256] = {};
    wwread(w, WW_MAIN, area, len);
    char name[kname];
    int i65 = len < kmaxname ? len : kmaxname;
    std::memcpy(name, area, i65);
    name[i65] = 0;
    wwfontput(w, name, 0, 0, 0);
    w->nmacfonts = i + 1;
  }
}

void wwfont34tab(wwstate* w) {
  w->macfonts = static_cast<uint16_t*>(wwalloc(w, 30 * static_cast<long>(sizeof(uint16_t))));
  wwfontstmnew(w);
  for (int i = 0; i < 30; i++) {
    w->macfonts[i] = kmac34[i].number;
    wwfontput(w, kmac34[i].name, 0, 0, 0);
  }
  w->nmacfonts = 30;
}

void wwfont12tab(wwstate* w) {
  wwfontstmnew(w);
  if (w->ver == 1) fallback12(w);
  if (wwlcbfonts(w) > 0) {
    wwseek(w, WW_MAIN, wwfcfonts(w));
    long left = remaining(w, static_cast<long>(wwgetw(w, WW_MAIN)) - 2);
    int skip = w->ver == 1 ? 1 : 2;
    while (left > (w->ver == 1 ? 2 : 3)) {
      int s = wwgetb(w, WW_MAIN);
      if (s < 0) break;
      for (int i = 0; i < skip; i++) wwgetb(w, WW_MAIN);
      int n = s - skip;
      unsigned char area[256] = {};
      if (n > 0) wwread(w, WW_MAIN, area, n);
      if (n < 0) n = 0;
      int len = 0;
      while (len < n && area[len]) len++;
      char name[kname];
      cutname(name, area, len);
      if (w->ver == 2 && len != s - 3) {
        // An entry whose name does not fill its area: the table is not
        // read, and the three fonts every Word file knows stand in for it.
        wwfontstmfree(w);
        wwfontstmnew(w);
        fallback12(w);
        break;
      }
      wwfontput(w, name, 0, 0, 0);
      left = s + 1 <= left ? left - (s + 1) : 0;
    }
  }
  addmissing(w, "Wingdings");
  addmissing(w, "MS Linedraw");
}

void wwfontread(wwstate* w) {
  switch (w->ver) {
    case 1:
    case 2: wwfont12tab(w); break;
    case 3:
    case 4: wwfont34tab(w); break;
    case 5: wwfont5tab(w); break;
    default: wwfont6tab(w); break;
  }
}

int wwfontenc(const wwstate* w) {
  if (wwfea(w)) return 1;
  if (wwfeb(w)) return 4;
  if (wwfec(w)) return 3;
  if (wwfed(w)) return 2;
  return 5;
}

void wwfontdecl(wwstate* w) {
  int n = wwfontcount(w);
  char name[kname];
  for (int i = 0; i < n; i++) {
    int fam, pitch, dbcs;
    wwfontget(w, i, name, &fam, &pitch, &dbcs);
    cvfontdesc d{};
    d.kind = 1;
    d.name = name;
    d.family = fam;
    d.pitch = pitch;
    d.enc = dbcs && wwfeany(w) ? wwfontenc(w) : CW_ENCBYTE;
    d.dfltsize = 200;
    cwfontdef(w->run, &d);
  }
}
