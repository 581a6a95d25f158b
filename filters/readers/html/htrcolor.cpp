// Colour values of the HTML reader: '#' hexadecimal, rgb() of numbers or
// percentages, and the colour names.
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

struct colname {
  const char* name;
  int32_t r, g, b;
};

// Searched in order; the first name that matches wins.
const colname knames[] = {
    {"Black", 0, 0, 0}, {"Silver", 192, 192, 192}, {"Gray", 128, 128, 128}, {"White", 255, 255, 255},
    {"Maroon", 128, 0, 0}, {"Red", 255, 0, 0}, {"Purple", 128, 0, 128}, {"Magenta", 255, 0, 255},
    {"Fuschsia", 255, 0, 255}, {"Green", 0, 128, 0}, {"Lime", 0, 255, 0}, {"Olive", 128, 128, 0},
    {"Yellow", 255, 255, 0}, {"Navy", 0, 0, 128}, {"Blue", 0, 0, 255}, {"Teal", 0, 128, 128},
    {"Aqua", 0, 255, 255}, {"Alice-Blue", 192, 192, 255}, {"AliceBlue", 240, 248, 255},
    {"AntiqueWhite", 250, 235, 215}, {"Aquamarine", 127, 255, 212}, {"Azure", 240, 255, 255},
    {"Beige", 245, 245, 220}, {"Bisque", 255, 228, 196}, {"BleachedAlmond", 255, 235, 205},
    {"BlueGC", 32, 32, 255}, {"BlueViolet", 138, 43, 226}, {"Brown", 165, 42, 42},
    {"Burlywood", 222, 184, 135}, {"CadetBlue", 95, 158, 160}, {"Caramel", 200, 127, 0},
    {"Chartreuse", 127, 255, 0}, {"Chocolate", 210, 105, 30}, {"Coral", 255, 127, 80},
    {"CornflowerBlue", 100, 149, 237}, {"Cornsilk", 255, 248, 220}, {"Crimson", 220, 20, 60},
    {"Cyan", 0, 255, 255}, {"DarkBlue", 0, 0, 139}, {"DarkCyan", 0, 139, 139}, {"DarkCyan", 0, 139, 139},
    {"DarkGoldenrod", 184, 134, 11}, {"DarkGray", 169, 169, 169}, {"DarkGreen", 0, 100, 0},
    {"DarkKhaki", 189, 183, 107}, {"DarkMagenta", 139, 0, 139}, {"DarkOliveGreen", 85, 107, 47},
    {"DarkOrange", 255, 140, 0}, {"DarkOrchid", 153, 50, 204}, {"DarkRed", 139, 0, 0},
    {"DarkSalmon", 233, 150, 122}, {"DarkSeaGreen", 143, 188, 143}, {"DarkSlateBlue", 72, 61, 139},
    {"DarkSlateGray", 47, 79, 79}, {"DarkTurquoise", 0, 206, 209}, {"DarkViolet", 148, 0, 211},
    {"DBrown", 128, 64, 5}, {"DeepPink", 255, 20, 147}, {"DeepSkyBlue", 0, 191, 255},
    {"DGrey", 128, 128, 128}, {"DimGray", 105, 105, 105}, {"DodgerBlue", 30, 144, 255},
    {"FireBrick", 178, 34, 34}, {"FloralWhite", 255, 250, 240}, {"ForestGreen", 34, 139, 34},
    {"Gainsboro", 220, 220, 220}, {"Gamboge", 255, 200, 0}, {"GhostWhite", 248, 248, 255},
    {"Gold", 255, 215, 0}, {"Goldenrod", 218, 165, 32}, {"GreenGC", 0, 232, 0},
    {"GreenYellow", 173, 255, 47}, {"Grey", 192, 192, 192}, {"HoneyDew", 240, 255, 240},
    {"HotPink", 255, 105, 180}, {"IndianRed", 205, 92, 92}, {"Indigo", 75, 0, 130}, {"Ivory", 255, 255, 240},
    {"Jade", 128, 255, 128}, {"Khaki", 240, 230, 140}, {"Lavender", 230, 230, 250},
    {"LavenderBlush", 255, 240, 245}, {"LawnGreen", 124, 252, 0}, {"LemonChiffon", 255, 250, 205},
    {"LightBlue", 173, 216, 230}, {"LightCoral", 240, 128, 128}, {"LightCyan", 224, 255, 255},
    {"LightGoldenrodYellow", 250, 250, 210}, {"LightGreen", 144, 238, 144}, {"LightGrey", 211, 211, 211},
    {"LightPink", 255, 182, 193}, {"LightSalmon", 255, 160, 122}, {"LightSeaGreen", 32, 178, 170},
    {"LightSkyBlue", 135, 206, 250}, {"LightSlateGray", 119, 136, 153}, {"LightSteelBlue", 176, 196, 222},
    {"LightYellow", 255, 255, 224}, {"LimeGreen", 50, 205, 50}, {"Linen", 250, 240, 230},
    {"MediumAquamarine", 102, 205, 170}, {"MediumBlue", 0, 0, 205}, {"MediumOrchid", 186, 90, 211},
    {"MediumPurple", 147, 112, 219}, {"MediumSeaGreen", 60, 179, 113}, {"MediumSlateBlue", 123, 104, 238},
    {"MediumSpringGreen", 0, 250, 154}, {"MediumTurquoise", 72, 209, 204}, {"MediumVioletRed", 199, 21, 133},
    {"MidnightBlue", 25, 25, 112}, {"Mimosa", 255, 255, 128}, {"Mint", 160, 255, 240},
    {"MintCream", 245, 255, 250}, {"MistyRose", 255, 228, 225}, {"Moccasin", 255, 228, 181},
    {"NavajoWhite", 255, 222, 173}, {"NavyBlue", 0, 0, 128}, {"OldLace", 253, 245, 230},
    {"OliveDrab", 107, 142, 35}, {"Orange", 255, 165, 0}, {"Orangeade", 255, 127, 0},
    {"Orangered", 255, 69, 0}, {"Orchid", 218, 112, 214}, {"PaleGoldenrod", 238, 232, 170},
    {"PaleGreen", 152, 251, 152}, {"PaleTurquoise", 175, 238, 238}, {"PaleVioletRed", 219, 112, 147},
    {"PapayaWhip", 255, 239, 213}, {"Peach", 255, 200, 160}, {"PeachPuff", 255, 218, 185},
    {"Peru", 205, 133, 63}, {"Pink", 255, 192, 203}, {"PinkFloyd", 255, 160, 192}, {"Plum", 221, 160, 221},
    {"PowderBlue", 176, 224, 230}, {"RosyBrown", 188, 143, 143}, {"RoyalBlue", 65, 105, 225},
    {"SaddleBrown", 139, 69, 19}, {"Salmon", 250, 128, 114}, {"SandyBrown", 244, 164, 96},
    {"SeaGreen", 46, 139, 87}, {"SeaShell", 255, 245, 238}, {"Sienna", 160, 82, 45}, {"Sky", 128, 128, 255},
    {"SkyBlue", 135, 206, 235}, {"SlateBlue", 106, 90, 205}, {"SlateGrey", 112, 128, 144},
    {"Snow", 255, 250, 250}, {"SpringGreen", 0, 255, 127}, {"SteelBlue", 70, 130, 180},
    {"Tan", 210, 180, 140}, {"Thistle", 216, 191, 216}, {"Tomato", 255, 99, 71}, {"Turquoise", 64, 224, 208},
    {"Violet", 238, 130, 238}, {"Wheat", 245, 222, 179}, {"WhiteSmoke", 245, 245, 245},
    {"YellowGC", 224, 224, 0}, {"YellowGreen", 154, 205, 50}, {"ltGreen", 0, 255, 0},
};
static_assert(sizeof knames / sizeof knames[0] == 159, "159 colour names");

// One rgb() component: a percentage (clamped to 0-100) or a number.
int component(const char* p, int len) {
  char buf[32];
  int n = len < 31 ? len : 31;
  std::memcpy(buf, p, n);
  buf[n] = 0;
  int v = htrnum(buf);
  if (len > 0 && p[len - 1] == '%') {
    if (v <= 0) return 0;
    if (v > 100) v = 100;
    return 255 / (100 / v);
  }
  return v;
}

}  // namespace

void htrcolor(const char* value, int32_t* r, int32_t* g, int32_t* b) {
  if (value[0] == '#') {
    char buf[64];
    std::strncpy(buf, value, sizeof buf - 1);
    buf[sizeof buf - 1] = 0;
    htrhexcolor(buf, r, g, b);
    return;
  }
  if (htrprefix(value, "rgb", 3) && std::strlen(value) >= 3) {
    int32_t* ch[3] = {r, g, b};
    const char* p = value + 3;
    while (*p && !(*p >= '0' && *p <= '9')) p++;
    int got = 0;
    while (*p && got < 3) {
      const char* e = p;
      while (*e && *e != ',' && *e != ')') e++;
      if (e > p) *ch[got++] = component(p, static_cast<int>(e - p));
      if (!*e || *e == ')') break;
      p = e + 1;
    }
    return;
  }
  for (const colname& c : knames) {
    if (htreq(value, c.name)) {
      *r = c.r;
      *g = c.g;
      *b = c.b;
      return;
    }
  }
  *r = *g = *b = 0;
}
