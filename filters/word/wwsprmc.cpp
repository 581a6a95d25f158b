// The character sprm interpreter: one table of codes per version level, each
// code with its length and what it does to a CHP, the toggle operands, the
// reset, and the right-to-left font substitution by language.
#include <cstring>

#include "filters/word/ww.h"

namespace {

enum op : uint8_t {
  NOSPRM,   // not a character sprm of the level
  SKIP,     // known, no effect
  TOGGLE,   // toggle operand at 1 to prop
  RESET,    // the attributes, underline and colour to 0
  RESET3,   // the same but the colour
  BYTE,     // prop = byte 1
  PICLOC,   // picture location 32-bit at 2, special character
  CHARSET,  // character set 16-bit at 2
  SYMBOL,   // symbol font at 2, character at 4, special character
  RTL79,    // right-to-left = byte 1, substitution by the document's language
  CSTYLE,   // character style 16-bit at 1
  PERM,     // character style permutation
  FONT,     // font 16-bit at 1
  SPACE,    // spacing signed 16-bit at 1
  SPACEQ,   // spacing from a quarter-point code, signed 16-bit at 1
  W16,      // prop = 16-bit at 1
  SW16,     // prop = signed 16-bit at 1
  SIZE2,    // size = 16-bit at 2
  SIZEADD,  // size += 16-bit at 2, clamped
  SIZEPCT,  // size = size * (16-bit at 1) / 100
  RTLFONT,  // font = 16-bit at 2 when right-to-left is set
  RTL114,   // right-to-left on, substitution by the operand's language
  RTLSIZE,  // size = 16-bit at 2 when right-to-left is set
  PICSCALE  // picture scales 16-bit at 2 and 4
};

// Length -1: the byte after the code + 2.
struct entry {
  uint8_t code;
  op what;
  int8_t prop;
  int8_t len;
};

constexpr int8_t VAR = -1;

const entry k6[] = {
    {85, TOGGLE, WC_BOLD, 2},     {86, TOGGLE, WC_ITALIC, 2},    {87, TOGGLE, WC_STRIKE, 2},
    {88, TOGGLE, WC_OUTLINE, 2},  {89, TOGGLE, WC_SHADOW, 2},    {90, TOGGLE, WC_SMALLCAPS, 2},
    {91, TOGGLE, WC_CAPS, 2},     {92, TOGGLE, WC_HIDDEN, 2},    {82, RESET, 0, 2},
    {83, SKIP, 0, 1},             {65, BYTE, WC_DELETED, 2},     {66, BYTE, WC_RMARK, 2},
    {67, BYTE, WC_FLDVANISH, 2},  {68, PICLOC, 0, 6},            {73, CHARSET, 0, 4},
    {74, SYMBOL, 0, 5},           {75, BYTE, WC_OLE, 2},         {79, RTL79, 0, 3},
    {80, CSTYLE, 0, 3},           {81, PERM, 0, VAR},            {93, FONT, 0, 3},
    {94, BYTE, WC_ULINE, 2},      {96, SPACE, 0, 3},             {97, W16, WC_LANG, 3},
    {98, BYTE, WC_COLOR, 2},      {99, W16, WC_SIZE, 3},         {101, SW16, WC_POS, 3},
    {104, BYTE, WC_SUPSUB, 2},    {105, SIZE2, 0, 4},            {106, SIZEADD, 0, 4},
    {109, SIZEPCT, 0, 3},         {113, RTLFONT, 0, 4},          {114, RTL114, 0, 4},
    {116, RTLSIZE, 0, 4},         {117, BYTE, WC_SPECIAL, 2},    {118, BYTE, WC_EMBED, 2},
    {120, PICSCALE, 0, 14},       {95, SKIP, 0, 4},              {100, SKIP, 0, 2},
    {102, SKIP, 0, 2},            {103, SKIP, 0, VAR},           {108, SKIP, 0, VAR},
    {119, SKIP, 0, 2},            {121, SKIP, 0, 3},             {122, SKIP, 0, 3},
    {123, SKIP, 0, 3},            {124, SKIP, 0, 3},             {69, SKIP, 0, 3},
    {72, SKIP, 0, 3},             {77, SKIP, 0, 3},              {107, SKIP, 0, 3},
    {110, SKIP, 0, 3},            {111, SKIP, 0, 3},             {112, SKIP, 0, 3},
    {70, SKIP, 0, 5},             {71, SKIP, 0, 2},              {84, SKIP, 0, 2},
    {115, SKIP, 0, 4},
};

// Levels 4 and 5; the last three entries are level 5's alone.
const entry k45[] = {
    {60, TOGGLE, WC_BOLD, 2},    {61, TOGGLE, WC_ITALIC, 2}, {62, TOGGLE, WC_STRIKE, 2},
    {63, TOGGLE, WC_OUTLINE, 2}, {64, TOGGLE, WC_SHADOW, 2}, {65, TOGGLE, WC_SMALLCAPS, 2},
    {66, TOGGLE, WC_CAPS, 2},    {67, TOGGLE, WC_HIDDEN, 2}, {57, RESET, 0, 2},
    {58, SKIP, 0, 1},            {68, FONT, 0, 3},           {69, BYTE, WC_ULINE, 2},
    {71, SPACEQ, 0, 3},          {73, BYTE, WC_COLOR, 2},    {74, BYTE, WC_SIZE, 2},
    {76, BYTE, WC_POS, 2},       {70, SKIP, 0, 4},           {75, SKIP, 0, 2},
    {77, SKIP, 0, 2},            {78, SKIP, 0, VAR},         {94, SKIP, 0, 2},
    {95, SKIP, 0, 10},           {79, SIZE2, 0, 4},          {80, SIZEADD, 0, 4},
    {83, SKIP, 0, VAR},
};

const entry k3[] = {
    {30, TOGGLE, WC_BOLD, 2},    {31, TOGGLE, WC_ITALIC, 2}, {32, TOGGLE, WC_STRIKE, 2},
    {33, TOGGLE, WC_OUTLINE, 2}, {34, TOGGLE, WC_SHADOW, 2}, {35, TOGGLE, WC_SMALLCAPS, 2},
    {36, TOGGLE, WC_CAPS, 2},    {37, TOGGLE, WC_HIDDEN, 2}, {27, RESET3, 0, 1},
    {29, SKIP, 0, 1},            {38, FONT, 0, 3},           {39, BYTE, WC_ULINE, 2},
    {41, SPACEQ, 0, 3},          {40, SKIP, 0, 4},           {48, SKIP, 0, 2},
    {49, SKIP, 0, 10},
};

const entry k2[] = {
    {60, TOGGLE, WC_BOLD, 2},    {61, TOGGLE, WC_ITALIC, 2}, {62, TOGGLE, WC_STRIKE, 2},
    {63, TOGGLE, WC_OUTLINE, 2}, {64, TOGGLE, WC_SHADOW, 2}, {65, TOGGLE, WC_SMALLCAPS, 2},
    {66, TOGGLE, WC_CAPS, 2},    {67, TOGGLE, WC_HIDDEN, 2}, {57, RESET, 0, 2},
    {58, SKIP, 0, 1},            {53, BYTE, WC_DELETED, 2},  {54, BYTE, WC_RMARK, 2},
    {55, BYTE, WC_FLDVANISH, 2}, {86, BYTE, WC_RTL, 2},      {68, FONT, 0, 3},
    {69, BYTE, WC_ULINE, 2},     {71, SPACEQ, 0, 3},         {72, W16, WC_LANG, 3},
    {73, BYTE, WC_COLOR, 2},     {74, W16, WC_SIZE, 3},      {76, SW16, WC_POS, 3},
    {95, PICSCALE, 0, 14},       {70, SKIP, 0, 4},           {75, SKIP, 0, 2},
    {77, SKIP, 0, 2},            {78, SKIP, 0, VAR},         {94, SKIP, 0, 2},
    {96, SKIP, 0, 3},            {97, SKIP, 0, 3},           {98, SKIP, 0, 3},
    {99, SKIP, 0, 3},            {80, SKIP, 0, 2},           {81, SKIP, 0, 2},
    {84, SKIP, 0, 2},            {85, SKIP, 0, 2},           {87, SKIP, 0, 2},
    {82, SKIP, 0, 3},            {83, SKIP, 0, 3},
};

const entry k1[] = {
    {60, TOGGLE, WC_BOLD, 2},    {61, TOGGLE, WC_ITALIC, 2}, {62, TOGGLE, WC_STRIKE, 2},
    {63, TOGGLE, WC_OUTLINE, 2}, {64, TOGGLE, WC_SHADOW, 2}, {65, TOGGLE, WC_SMALLCAPS, 2},
    {66, TOGGLE, WC_CAPS, 2},    {67, TOGGLE, WC_HIDDEN, 2}, {57, RESET, 0, 2},
    {58, SKIP, 0, 1},            {68, FONT, 0, 3},           {69, BYTE, WC_ULINE, 2},
    {71, SPACEQ, 0, 3},          {73, BYTE, WC_COLOR, 2},    {74, W16, WC_SIZE, 3},
    {76, SW16, WC_POS, 3},       {95, PICSCALE, 0, 14},      {70, SKIP, 0, 4},
    {75, SKIP, 0, 2},            {77, SKIP, 0, 2},           {78, SKIP, 0, VAR},
    {94, SKIP, 0, 2},
};

const entry* find(int ver, int code) {
  const entry* t;
  size_t n;
  switch (ver) {
    case 6: t = k6, n = sizeof k6 / sizeof *k6; break;
    case 5: t = k45, n = sizeof k45 / sizeof *k45; break;
    case 4: t = k45, n = sizeof k45 / sizeof *k45 - 3; break;
    case 3: t = k3, n = sizeof k3 / sizeof *k3; break;
    case 2: t = k2, n = sizeof k2 / sizeof *k2; break;
    case 1: t = k1, n = sizeof k1 / sizeof *k1; break;
    default: return nullptr;
  }
  for (size_t i = 0; i < n; i++)
    if (t[i].code == code) return &t[i];
  return nullptr;
}

int lengthof(const entry* e, const unsigned char* p) { return e->len == VAR ? p[1] + 2 : e->len; }

// The font of Arabic or Hebrew right-to-left text.
void bylanguage(wwstate* w, wwchp* c, int lang) {
  if (lang == 1025) {
    c->v[2 * WC_FONT - 2] = wwfontfind(w, "Traditional Arabic");
    if (!wwchpisset(c, WC_SIZE)) c->v[2 * WC_SIZE - 2] = 24;
  } else if (lang == 1037) {
    c->v[2 * WC_FONT - 2] = wwfontfind(w, "System Hebrew");
  }
}

void toggle(wwstate* w, wwchp* c, int prop, int operand, int istd, int cistd) {
  if (operand != 0 && operand != 1 && operand != 128 && operand != 129) return;
  if (operand <= 1) {
    wwchpset(c, prop, operand);
    return;
  }
  int32_t ref = wwchpv(c, prop);
  if (istd != -1 && cistd != -1 && wwhdrf(w, WWH_COMPLEX)) {
    auto* r = static_cast<wwchp*>(wwalloc(w, sizeof(wwchp)));
    wwchpinit(w, r);
    wwstylechp(w, istd, r);
    wwstylechpx(w, cistd, r, 0);
    ref = wwchpv(r, prop);
    wwfree(w, r);
  }
  wwchpset(c, prop, operand == 128 ? ref : ref == 0 ? 1 : 0);
}

}  // namespace

int wwsprmchpx(wwstate* w, const unsigned char* p) {
  const entry* e = find(w->ver, p[0]);
  return e ? lengthof(e, p) : -1;
}

int wwsprmchp(wwstate* w, const unsigned char* p, wwchp* c, int istd, int cistd) {
  const entry* e = find(w->ver, p[0]);
  if (!e) return -1;
  int len = lengthof(e, p);
  switch (e->what) {
    case NOSPRM:
    case SKIP: break;
    case TOGGLE: toggle(w, c, e->prop, p[1], istd, cistd); break;
    case RESET:
    case RESET3: {
      static const int kprops[] = {WC_BOLD, WC_ITALIC, WC_OUTLINE, WC_STRIKE, WC_SHADOW,
                                   WC_SMALLCAPS, WC_CAPS, WC_HIDDEN, WC_ULINE};
      for (int prop : kprops) wwchpset(c, prop, 0);
      if (e->what == RESET) wwchpset(c, WC_COLOR, 0);
      break;
    }
    case BYTE: wwchpset(c, e->prop, p[1]); break;
    case PICLOC:
      wwchpset(c, WC_PICLOC, static_cast<int32_t>(wwbuful(w, p + 2)));
      wwchpset(c, WC_SPECIAL, 1);
      break;
    case CHARSET: wwchpset(c, WC_CHARSET, static_cast<int32_t>(wwbufw(w, p + 2))); break;
    case SYMBOL:
      wwchpset(c, WC_SYMFONT, wwbufsw(w, p + 2));
      wwchpset(c, WC_SYMCHAR, p[4]);
      wwchpset(c, WC_SPECIAL, 1);
      break;
    case RTL79:
      wwchpset(c, WC_RTL, p[1]);
      bylanguage(w, c, wwlid(w));
      break;
    case CSTYLE: wwchpset(c, WC_CSTYLE, static_cast<int32_t>(wwbufw(w, p + 1))); break;
    case PERM: {
      int first = static_cast<int>(wwbufw(w, p + 4)), last = static_cast<int>(wwbufw(w, p + 6));
      int i = wwchpv(c, WC_CSTYLE);
      // Only entries that the sprm itself holds are taken.
      int held = (len - 8) / 2;
      if (first <= i && i <= last && i - first < held) wwchpset(c, WC_CSTYLE, static_cast<int32_t>(wwbufw(w, p + 8 + 2 * (i - first))));
      break;
    }
    case FONT: wwchpset(c, WC_FONT, static_cast<int32_t>(wwbufw(w, p + 1))); break;
    case SPACE: wwchpset(c, WC_SPACING, wwbufsw(w, p + 1)); break;
    case SPACEQ: {
      int q = wwbufsw(w, p + 1);
      wwchpset(c, WC_SPACING, q <= 56 ? 5 * q : 5 * q - 320);
      break;
    }
    case W16: wwchpset(c, e->prop, static_cast<int32_t>(wwbufw(w, p + 1))); break;
    case SW16: wwchpset(c, e->prop, wwbufsw(w, p + 1)); break;
    case SIZE2: wwchpset(c, WC_SIZE, static_cast<int32_t>(wwbufw(w, p + 2))); break;
    case SIZEADD: {
      int32_t s = wwchpv(c, WC_SIZE) + static_cast<int32_t>(wwbufw(w, p + 2));
      wwchpset(c, WC_SIZE, s < 8 ? 8 : s > 32766 ? 32766 : s);
      break;
    }
    case SIZEPCT:
      wwchpset(c, WC_SIZE, static_cast<int32_t>(static_cast<int64_t>(wwchpv(c, WC_SIZE)) * wwbufw(w, p + 1) / 100));
      break;
    case RTLFONT:
      if (wwchpisset(c, WC_RTL)) wwchpset(c, WC_FONT, static_cast<int32_t>(wwbufw(w, p + 2)));
      break;
    case RTL114:
      wwchpset(c, WC_RTL, 1);
      bylanguage(w, c, static_cast<int>(wwbufw(w, p + 2)));
      break;
    case RTLSIZE:
      if (wwchpisset(c, WC_RTL)) wwchpset(c, WC_SIZE, static_cast<int32_t>(wwbufw(w, p + 2)));
      break;
    case PICSCALE:
      wwchpset(c, WC_PICSX, static_cast<int32_t>(wwbufw(w, p + 2)));
      wwchpset(c, WC_PICSY, static_cast<int32_t>(wwbufw(w, p + 4)));
      break;
  }
  return len;
}

void wwchpxsprm(wwstate* w, const unsigned char* list, wwchp* c, int istd, int cistd) {
  if (list) {
    // A sprm's operand may run past the list's count: read from a copy
    // whose tail is zeros.
    unsigned char b[256 + 264] = {};
    int n = list[0];
    std::memcpy(b, list + 1, n);
    for (int p = 0; p < n;) {
      int len = wwsprmchp(w, b + p, c, istd, cistd);
      // A code the interpreter does not know leaves the rest of the list
      // without a length: the list ends there.
      if (len <= 0) break;
      p += len;
    }
  }
  if (wwchpv(c, WC_RTL) != 0 && wwchpv(c, WC_FONT) == 0) {
    int lang = wwlid(w);
    if (lang == 1025)
      c->v[2 * WC_FONT - 2] = wwfontfind(w, "Traditional Arabic");
    else if (lang == 1037)
      c->v[2 * WC_FONT - 2] = wwfontfind(w, "System Hebrew");
  }
}
