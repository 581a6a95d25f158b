// The built-in styles of levels 1-5: the name, character and paragraph
// properties that a style sheet entry of length 0 or 255 leaves to the
// style code, for Word for Windows 1.x/2.x (levels 1, 2), Mac Word 4
// (level 3) and Mac Word 5 (levels 4, 5).
#include <cstring>

#include "filters/word/ww.h"

namespace {

enum group { NONE, W, M4, M5 };

group groupof(const wwstate* w) {
  switch (w->ver) {
    case 1:
    case 2: return W;
    case 3: return M4;
    case 4:
    case 5: return M5;
    default: return NONE;
  }
}

// Names of the standard codes 222-255.
const char* const kw[34] = {
    "(null)",    "annotation reference", "annotation text", "toc 8",        "toc 7",          "toc 6",
    "toc 5",     "toc 4",                "toc 3",           "toc 2",        "toc 1",          "index 7",
    "index 6",   "index 5",              "index 4",         "index 3",      "index 2",        "index 1",
    "line number", "index heading",      "footer",          "header",       "footnote reference",
    "footnote text", "heading 9",        "heading 8",       "heading 7",    "heading 6",      "heading 5",
    "heading 4", "heading 3",            "heading 2",       "heading 1",    "Normal indent"};
const char* const km4[34] = {
    "(null)",  "(reserved)", "PostScript", "toc 9",   "toc 8",   "toc 7",   "toc 6",
    "toc 5",   "toc 4",      "toc 3",      "toc 2",   "toc 1",   "index 7", "index 6",
    "index 5", "index 4",    "index 3",    "index 2", "index 1", "line number", "page number",
    "footer",  "header",     "footnote reference", "footnote text", "level 9", "level 8",
    "level 7", "level 6",    "level 5",    "level 4", "level 3", "level 2", "level 1"};
const char* const km5[34] = {
    "(null)",    "(reserved)", "PostScript", "toc 9",     "toc 8",     "toc 7",     "toc 6",
    "toc 5",     "toc 4",      "toc 3",      "toc 2",     "toc 1",     "index 7",   "index 6",
    "index 5",   "index 4",    "index 3",    "index 2",   "index 1",   "line number", "page number",
    "footer",    "header",     "footnote reference", "footnote text", "heading 9", "heading 8",
    "heading 7", "heading 6",  "heading 5",  "heading 4", "heading 3", "heading 2", "heading 1"};

const char* namein(const char* const (&t)[34], int stc) {
  if (stc == 0) return "Normal";
  if (stc >= 222 && stc <= 255) return t[stc - 222];
  return "(unknown)";
}

// CHPXs: a length byte and the bytes.
const unsigned char kempty[1] = {0};
const unsigned char kw20[] = {8, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x14, 0x00};
const unsigned char kw222[] = {8, 0x00, 0x00, 0x06, 0x00, 0x02, 0x00, 0x18, 0x00};
const unsigned char kw223[] = {8, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x10, 0x00};
const unsigned char kw244[] = {11, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x06};
const unsigned char kwital[] = {8, 0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0x14, 0x00};
const unsigned char kw249[] = {10, 0x00, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x20};
const unsigned char kw250[] = {8, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x14, 0x00};
const unsigned char kw251[] = {10, 0x00, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x20};
const unsigned char kw252[] = {8, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x18, 0x00};
const unsigned char kw253[] = {8, 0x01, 0x00, 0x06, 0x00, 0x02, 0x00, 0x18, 0x00};
const unsigned char kw254[] = {10, 0x01, 0x00, 0x0e, 0x00, 0x02, 0x00, 0x18, 0x00, 0x00, 0x20};

const unsigned char km4norm[] = {6, 0x00, 0x18, 0x00, 0x02, 0x18, 0x00};
const unsigned char km4224[] = {6, 0x81, 0x08, 0x00, 0x00, 0x14, 0x00};
const unsigned char km245[] = {6, 0x00, 0x0a, 0x00, 0x00, 0x12, 0x06};
const unsigned char km4246[] = {6, 0x00, 0x08, 0x00, 0x00, 0x14, 0x00};
const unsigned char km4bold[] = {2, 0x80, 0x00};

const unsigned char km5norm[] = {5, 0x00, 0x18, 0x00, 0x02, 0x18};
const unsigned char km5224[] = {5, 0x81, 0x08, 0x00, 0x00, 0x14};
const unsigned char km5246[] = {5, 0x00, 0x08, 0x00, 0x00, 0x14};
const unsigned char km5ital[] = {5, 0x40, 0x08, 0x00, 0x00, 0x14};
const unsigned char km5250[] = {8, 0x00, 0x0c, 0x00, 0x00, 0x14, 0x00, 0x00, 0x02};
const unsigned char km5251[] = {5, 0x80, 0x08, 0x00, 0x00, 0x14};
const unsigned char km5252[] = {8, 0x00, 0x0c, 0x00, 0x00, 0x18, 0x00, 0x00, 0x02};
const unsigned char km5253[] = {5, 0x80, 0x08, 0x00, 0x00, 0x18};
const unsigned char km5254[] = {5, 0x80, 0x18, 0x00, 0x15, 0x18};
const unsigned char km5255[] = {8, 0x80, 0x1c, 0x00, 0x15, 0x18, 0x00, 0x00, 0x02};

const unsigned char* chpxw(int stc) {
  switch (stc) {
    case 0: case 224: case 240: case 241: case 245: return kw20;
    case 222: return kw222;
    case 223: return kw223;
    case 244: return kw244;
    case 246: case 247: case 248: return kwital;
    case 249: return kw249;
    case 250: return kw250;
    case 251: return kw251;
    case 252: return kw252;
    case 253: return kw253;
    case 254: return kw254;
    default: return kempty;
  }
}

const unsigned char* chpxm4(int stc) {
  switch (stc) {
    case 0: case 222: case 241: case 242: return km4norm;
    case 224: return km4224;
    case 245: return km245;
    case 246: return km4246;
    default: return stc >= 247 && stc <= 255 ? km4bold : kempty;
  }
}

const unsigned char* chpxm5(int stc) {
  switch (stc) {
    case 0: case 222: case 241: case 242: return km5norm;
    case 224: return km5224;
    case 245: return km245;
    case 246: return km5246;
    case 247: case 248: case 249: return km5ital;
    case 250: return km5250;
    case 251: return km5251;
    case 252: return km5252;
    case 253: return km5253;
    case 254: return km5254;
    case 255: return km5255;
    default: return kempty;
  }
}

// PAPX bodies (style index 0 and sprms), without their length.
const unsigned char kwtoc[] = {0x00, 0x00, 0x11, 0, 0, 0x10, 0xd0, 0x02, 0x0f, 0x08,
                               0x00, 0x02, 0x58, 0x20, 0xc0, 0x21, 0x08, 0x02};
const unsigned char kwhf[] = {0x00, 0x00, 0x0f, 0x08, 0x00, 0x02, 0xe0, 0x10, 0xc0, 0x21, 0x01, 0x02};
const unsigned char kmtoc[] = {0x00, 0x00, 0x10, 0x02, 0xd0, 0x11, 0, 0, 0x0f, 0x08,
                               0x00, 0x02, 0x20, 0x58, 0x21, 0xc0, 0x04, 0x40};
const unsigned char kmtoc1[] = {0x00, 0x00, 0x10, 0x02, 0xd0, 0x0f, 0x08, 0x00,
                                0x02, 0x20, 0x58, 0x21, 0xc0, 0x04, 0x40};
const unsigned char kmhf[] = {0x00, 0x00, 0x0f, 0x08, 0x00, 0x02, 0x10, 0xe0, 0x21, 0xc0, 0x20, 0x40};

// A body of sprm 17 (left indent) or 21 (space before) with its operand.
int one(wwstate* w, unsigned char* b, int sprm, int v) {
  b[0] = b[1] = 0;
  b[2] = static_cast<unsigned char>(sprm);
  wwputw(w, b + 3, static_cast<unsigned>(v));
  return 5;
}

int copy(unsigned char* b, const unsigned char* body, int n) {
  std::memcpy(b, body, n);
  return n;
}

int papxw(wwstate* w, int stc, unsigned char* b) {
  if (stc >= 225 && stc <= 232) {
    int n = copy(b, kwtoc, sizeof kwtoc);
    wwputw(w, b + 3, static_cast<unsigned>((232 - stc) * 720));
    return n;
  }
  if (stc >= 233 && stc <= 239) return one(w, b, 17, (239 - stc) * 360);
  if (stc == 242 || stc == 243) return copy(b, kwhf, sizeof kwhf);
  if ((stc >= 246 && stc <= 250) || stc == 255) return one(w, b, 17, 720);
  if (stc == 251 || stc == 252) return one(w, b, 17, 360);
  if (stc == 253) return one(w, b, 21, 120);
  if (stc == 254) return one(w, b, 21, 240);
  return 0;
}

int papxm(wwstate* w, int stc, unsigned char* b, bool m5) {
  if (stc >= 225 && stc <= 232) {
    int n = copy(b, kmtoc, sizeof kmtoc);
    wwputw(w, b + 6, static_cast<unsigned>((233 - stc) * 720));
    return n;
  }
  if (stc == 233) return copy(b, kmtoc1, sizeof kmtoc1);
  if (stc >= 234 && stc <= 239) return one(w, b, 17, (240 - stc) * 360);
  if (stc == 243 || stc == 244) return copy(b, kmhf, sizeof kmhf);
  if (m5 && stc >= 247 && stc <= 251) return one(w, b, 17, 720);
  if (m5 && (stc == 252 || stc == 253)) return one(w, b, 17, 360);
  if (stc == 254) return one(w, b, 21, 120);
  if (stc == 255) return one(w, b, 21, 240);
  return 0;
}

}  // namespace

const char* wwv12stcname(int stc) { return namein(kw, stc); }
const char* wwv3stcname(int stc) { return namein(km4, stc); }
const char* wwv45stcname(int stc) { return namein(km5, stc); }

const char* wwstdname(wwstate* w, int stc) {
  switch (groupof(w)) {
    case W: return wwv12stcname(stc);
    case M4: return wwv3stcname(stc);
    case M5: return wwv45stcname(stc);
    default: return "(unknown)";
  }
}

const unsigned char* wwstdchpx(wwstate* w, int stc) {
  switch (groupof(w)) {
    case W: return chpxw(stc);
    case M4: return chpxm4(stc);
    case M5: return chpxm5(stc);
    default: return kempty;
  }
}

const unsigned char* wwstdpapx(wwstate* w, int stc, unsigned char* buf) {
  int n = 0;
  switch (groupof(w)) {
    case W: n = papxw(w, stc, buf + 2); break;
    case M4: n = papxm(w, stc, buf + 2, false); break;
    case M5: n = papxm(w, stc, buf + 2, true); break;
    default: break;
  }
  wwputw(w, buf, static_cast<unsigned>(n));
  return buf;
}
