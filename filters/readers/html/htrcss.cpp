// Style rules of the HTML reader: the small part of style sheets it reads
// (selectors, groups, declarations, lengths and borders) into a list of
// rules, one writer style per rule, and the style profile that sets the
// page and describes the headings.
#include <cstdio>
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

constexpr int ksel = 1024;
constexpr int kdecl = 2048;

// The rule list of the run in progress; one HTML run at a time.
htrrule* first = nullptr;
htrrule* last = nullptr;

// A text into a field of its record, cut at the field's size.
void copyfield(char* dst, size_t size, const char* src) {
  size_t n = std::strlen(src);
  if (n >= size) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

void blank(htrrule* r) {
  std::memset(r, 0, sizeof *r);
  r->key = r->fstyle = r->variant = r->weight = r->size = -1;
  r->color[0] = r->color[1] = r->color[2] = -1;
  r->attrs = r->decoration = r->valign = r->align = r->indent = r->lineheight = -1;
  for (htrbside& b : r->bord) {
    b.width = b.style = -1;
    b.rgb[0] = b.rgb[1] = b.rgb[2] = -1;
  }
}

htrrule* ruleadd(cvrun* run, const htrrule* tmpl) {
  auto* r = static_cast<htrrule*>(cvalloc(run, sizeof(htrrule)));
  if (!r) return nullptr;
  *r = *tmpl;
  copyfield(r->name, sizeof r->name, r->cls[0] ? r->cls : r->elem);
  r->next = nullptr;
  if (last)
    last->next = r;
  else
    first = r;
  last = r;
  return r;
}

// The next character of a sheet with its comments dropped; -1 at its end.
int sheetc(cvrun* run, int h) {
  for (;;) {
    int c = cvsgetc(run, h);
    if (c != '/') return c;
    int d = cvsgetc(run, h);
    if (d != '*') {
      if (d >= 0) cvsungetc(run, h, d);
      return c;
    }
    int prev = 0;
    for (;;) {
      int e = cvsgetc(run, h);
      if (e < 0) return -1;
      if (prev == '*' && e == '/') break;
      prev = e;
    }
  }
}

void trimsel(char* s) {
  size_t n = std::strlen(s);
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\n' || s[n - 1] == '\r' || s[n - 1] == '\t')) s[--n] = 0;
  size_t i = 0;
  while (s[i] && !(s[i] == '.' || (s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z'))) i++;
  std::memmove(s, s + i, std::strlen(s + i) + 1);
}

// The lookup name of a selector's rule, made when missing.
htrrule* selrule(cvrun* run, char* sel) {
  trimsel(sel);
  if (!sel[0]) return nullptr;
  if (htrrule* r = htrrulefind(sel)) return r;
  htrrule r;
  blank(&r);
  char* dot = std::strchr(sel, '.');
  if (dot) {
    *dot = 0;
    copyfield(r.cls, sizeof r.cls, dot + 1);
  }
  copyfield(r.elem, sizeof r.elem, sel);
  return ruleadd(run, &r);
}

// Reads a selector up to '{'; the rules of its selectors in *rules (at most
// max), their count as the result; 0 ends the sheet.
int cssel(cvrun* run, int h, htrrule** rules, int max, bool* more) {
  char buf[ksel];
  int n = 0;
  *more = false;
  for (;;) {
    int c = sheetc(run, h);
    if (c < 0) break;
    if (c == '{') {
      *more = true;
      break;
    }
    if (c == '\\') {
      int d = cvsgetc(run, h);
      if (d < 0) break;
      if (d >= '0' && d <= '9') {
        char digits[8];
        int k = 0;
        digits[k++] = static_cast<char>(d);
        while (k < 6) {
          int e = cvsgetc(run, h);
          if (e < '0' || e > '9') {
            if (e >= 0) cvsungetc(run, h, e);
            break;
          }
          digits[k++] = static_cast<char>(e);
        }
        digits[k] = 0;
        // An escape of 127 or more stands for no character.
        int v = cvoctal(digits);
        if (v > 0 && v < 127) c = v;
        else continue;
      } else {
        c = d;
      }
    }
    if (n < ksel - 1) buf[n++] = static_cast<char>(c);
  }
  buf[n] = 0;
  trimsel(buf);
  if (!buf[0]) return 0;
  int count = 0;
  char* p = buf;
  for (;;) {
    char* comma = std::strchr(p, ',');
    if (comma) *comma = 0;
    if (htrrule* r = selrule(run, p); r && count < max) rules[count++] = r;
    if (!comma) break;
    p = comma + 1;
  }
  return count > 0 ? count : -1;
}

// Splits off "name:" or "value;" with leading blanks skipped.
const char* split(const char* p, char* out, size_t size, char sep) {
  while (*p == ' ') p++;
  size_t n = 0;
  while (*p && *p != sep) {
    if (n < size - 1) out[n++] = *p;
    p++;
  }
  out[n] = 0;
  return *p ? p + 1 : p;
}

void bword(htrrule* r, const char* w, int side) {
  int from = side == 4 ? 0 : side, to = side == 4 ? 3 : side;
  for (int i = from; i <= to; i++) {
    htrbside& b = r->bord[i];
    if (htreq(w, "thin")) b.width = 0;
    else if (htreq(w, "medium")) b.width = 1;
    else if (htreq(w, "thick")) b.width = 2;
    else if (htreq(w, "none")) b.style = 0;
    else if (htreq(w, "dotted")) b.style = 4;
    else if (htreq(w, "dashed")) b.style = 3;
    else if (htreq(w, "solid") || htreq(w, "groove") || htreq(w, "ridge") || htreq(w, "inset") || htreq(w, "outset"))
      b.style = 1;
    else if (htreq(w, "double")) b.style = 2;
    else htrcolor(w, &b.rgb[0], &b.rgb[1], &b.rgb[2]);
  }
}

void border(htrrule* r, const char* v, int side) {
  for (htrbside& b : r->bord) b = {1, 0, {0, 0, 0}};
  char w[256];
  while (*v) {
    while (*v == ' ') v++;
    size_t n = 0;
    while (*v && *v != ' ') {
      if (n < sizeof w - 1) w[n++] = *v;
      v++;
    }
    w[n] = 0;
    if (n) bword(r, w, side);
  }
}

void prop(htrrule* r, const char* name, char* v) {
  if (htreq(name, "font-family")) {
    char* comma = std::strchr(v, ',');
    if (comma) *comma = 0;
    copyfield(r->family, sizeof r->family, v);
  } else if (htreq(name, "font-style")) {
    r->fstyle = htreq(v, "italic") ? 1 : htreq(v, "oblique") ? 2 : 0;
  } else if (htreq(name, "font-variant")) {
    r->variant = htreq(v, "small-caps") ? 1 : 0;
  } else if (htreq(name, "font-weight")) {
    r->weight = htreq(v, "normal") ? -1 : htreq(v, "bold") ? 500 : htreq(v, "bolder") ? 750
                : htreq(v, "lighter") ? 250 : htrnum(v);
  } else if (htreq(name, "font-size")) {
    r->size = htrcsslen(v);
  } else if (htreq(name, "color")) {
    htrcolor(v, &r->color[0], &r->color[1], &r->color[2]);
  } else if (htreq(name, "text-decoration")) {
    r->decoration = htreq(v, "none") ? -1 : htreq(v, "line-through") ? 2 : htreq(v, "overline") ? 3
                    : htreq(v, "blink") ? 4 : 1;
  } else if (htreq(name, "vertical-align")) {
    if (htreq(v, "sup")) r->valign = 1;
    if (htreq(v, "sub")) r->valign = 2;
  } else if (htreq(name, "text-align")) {
    if (htreq(v, "left")) r->align = 0;
    if (htreq(v, "right")) r->align = 2;
    if (htreq(v, "center")) r->align = 1;
    if (htreq(v, "justify")) r->align = 3;
  } else if (htreq(name, "text-indent")) {
    r->indent = htrcsslen(v);
  } else if (htreq(name, "line-height")) {
    r->lineheight = htrcsslen(v);
  } else {
    static const char* const sides[] = {"border-top", "border-left", "border-bottom", "border-right", "border"};
    for (int i = 0; i < 5; i++)
      if (htreq(name, sides[i])) border(r, v, i);
  }
}

void csdecl(cvrun* run, int h, htrrule* r) {
  auto* buf = static_cast<char*>(cvalloc(run, kdecl));
  if (!buf) return;
  int n = 0;
  for (;;) {
    int c = sheetc(run, h);
    if (c < 0 || c == '}') break;
    if (c == '\n' || c == '\r' || c == '\t') continue;
    if (n < kdecl - 1) buf[n++] = static_cast<char>(c);
  }
  buf[n] = 0;
  while (n > 0 && buf[n - 1] == ' ') buf[--n] = 0;
  char name[256], val[kdecl];
  const char* p = buf;
  while (*p == ' ') p++;
  while (*p && r) {
    p = split(p, name, sizeof name, ':');
    p = split(p, val, sizeof val, ';');
    htrunquote(val);
    prop(r, name, val);
  }
  cvfree(run, buf);
}

// A group's first rule copied onto the others.
void spread(const htrrule* from, htrrule* to) {
  if (from->family[0]) copyfield(to->family, sizeof to->family, from->family);
  if (from->profont[0]) copyfield(to->profont, sizeof to->profont, from->profont);
  const int32_t* a = &from->fstyle;
  int32_t* b = &to->fstyle;
  // The numbers from the font style to the borders, in the record's order.
  int count = static_cast<int>((reinterpret_cast<const char*>(&from->next) - reinterpret_cast<const char*>(a)) / 4);
  for (int i = 0; i < count; i++)
    if (a[i] != -1 && &a[i] != &from->attrs) b[i] = a[i];
}

cwchfmt* charset(const htrrule* r, cwchfmt* c) {
  bool any = r->color[0] >= 0 || r->fstyle > 0 || r->variant > 0 || r->weight > 0 || r->decoration > 0 ||
             r->valign > 0 || r->lineheight >= 0;
  if (!any) return nullptr;
  std::memset(c, 0, sizeof *c);
  if (r->color[0] >= 0) {
    c->colset = 1;
    for (int i = 0; i < 3; i++) {
      c->c1[i] = r->color[i];
      c->c2[i] = -1;
    }
  }
  // The attribute words of a change set: an on word and a value word each.
  auto on = [&](int onword, int valword, int value) {
    c->attrset = 1;
    c->attr[onword - 1] = 1;
    if (valword) c->attr[valword - 1] = value;
  };
  if (r->weight > 0) on(1, 2, r->weight);
  if (r->decoration == 1 || r->decoration == 3) on(3, 4, 1);
  if (r->fstyle > 0) on(7, 8, 60);
  if (r->decoration == 2) on(9, 10, '-');
  if (r->decoration == 4) on(27, 0, 0);
  if (r->variant > 0) on(12, 0, 0);
  if (r->valign == 1) on(13, 14, 60);
  if (r->valign == 2) on(15, 16, 60);
  if (r->lineheight >= 0) {
    c->lhset = 1;
    c->linehgt = r->lineheight;
  }
  return c;
}

void defstyle(cvrun* run, htrrule* r) {
  cwstyledesc d{};
  d.version = 1;
  d.name = r->name;
  d.nameenc = CW_ENCBYTE;
  const char* font = r->family[0] ? r->family : r->profont[0] ? r->profont : nullptr;
  if (font) {
    d.fontflag = 1;
    d.fontname = font;
    d.fontenc = CW_ENCBYTE;
  }
  if (r->size > 0) {
    d.sizeflag = 1;
    d.size = r->size;
  }
  cwchfmt c;
  d.chr = charset(r, &c);
  cwpfmt p;
  bool para = r->align >= 0 || r->indent >= 0;
  for (const htrbside& b : r->bord) para = para || b.style > 0;
  if (para) {
    std::memset(&p, 0, sizeof p);
    if (r->align >= 0) {
      p.alignset = 1;
      p.align = r->align;
    }
    if (r->indent >= 0) {
      p.indset = 1;
      p.ind1st = r->indent;
    }
    static const int sidemap[4] = {2, 0, 3, 1};
    for (int i = 0; i < 4; i++) {
      if (r->bord[i].style <= 0) continue;
      p.bordset = 1;
      p.bord[sidemap[i]] = r->bord[i].style;
      for (int k = 0; k < 3; k++) p.brgb[sidemap[i]][k] = r->bord[i].rgb[k];
    }
    d.para = &p;
  }
  r->key = cwstyledef(run, &d);
}

}  // namespace

htrrule* htrrules() { return first; }

htrrule* htrrulefind(const char* name) {
  char full[80];
  for (htrrule* r = first; r; r = r->next) {
    if (r->cls[0])
      std::snprintf(full, sizeof full, "%s.%s", r->elem, r->cls);
    else
      copyfield(full, sizeof full, r->elem);
    if (htreq(full, name)) return r;
  }
  return nullptr;
}

void htrruleuse(cvrun* run, htrrule* rule) {
  if (rule && rule->key >= 0) cwstyleuse(run, rule->key);
}

void htrrulefree(cvrun* run) {
  while (first) {
    htrrule* next = first->next;
    if (run) cvfree(run, first);
    first = next;
  }
  last = nullptr;
}

int htrcsslen(const char* text) {
  char buf[64];
  copyfield(buf, sizeof buf, text);
  cvstrupr(buf);
  const char* p = buf;
  bool neg = *p == '-';
  if (neg) p++;
  int whole = 0, frac = 0;
  bool dot = false;
  for (; (*p >= '0' && *p <= '9') || *p == '.'; p++) {
    if (*p == '.') {
      dot = true;
      continue;
    }
    int& v = dot ? frac : whole;
    if (v < 10000000) v = v * 10 + (*p - '0');
  }
  int tw = 0;
  if (std::strcmp(p, "PT") == 0) tw = cvpt2tw(whole);
  else if (std::strcmp(p, "PX") == 0) tw = cvpx2tw(whole);
  else if (std::strcmp(p, "IN") == 0) tw = cvin2tw(whole, frac);
  else if (std::strcmp(p, "CM") == 0) tw = cvcm2tw(whole, frac);
  else if (std::strcmp(p, "MM") == 0) tw = cvmm2tw(whole, frac);
  else if (std::strcmp(p, "PC") == 0) tw = whole ? 2400 / whole : 0;
  return neg ? -tw : tw;
}

void htrcssload(cvrun* run, const char* name) {
  int h = cvsopenr(run, 1024, name);
  char* beside = nullptr;
  if (h < 0) {
    char* in = cvgetparam(run, 0);
    size_t cut = 0;
    if (in)
      for (size_t i = 0; in[i]; i++)
        if (in[i] == '\\' || in[i] == '/' || in[i] == ':') cut = i + 1;
    size_t n = std::strlen(name);
    beside = static_cast<char*>(cvalloc(run, cut + n + 1));
    if (beside) {
      if (cut) std::memcpy(beside, in, cut);
      std::memcpy(beside + cut, name, n + 1);
      h = cvsopenr(run, 1024, beside);
    }
    if (in) cvfree(run, in);
  }
  cvdepfile(run, h >= 0 && beside ? beside : name, CW_ENCBYTE, 3);
  if (beside) cvfree(run, beside);
  if (h < 0) return;
  htrcssread(run, h);
  cvsclose(run, h);
}

void htrcssread(cvrun* run, int h) {
  htrrule* rules[64];
  bool more = true;
  while (more) {
    int n = cssel(run, h, rules, 64, &more);
    if (n == 0) break;
    htrrule* r = n > 0 ? rules[0] : nullptr;
    csdecl(run, h, r);
    for (int i = 1; i < n; i++) spread(r, rules[i]);
  }
}

void htrrulestyles(cvrun* run) {
  for (htrrule* r = first; r; r = r->next) defstyle(run, r);
}

void htrprofile(cvrun* run, const char* name) {
  if (cvfiniopen(run, name) < 0) return;
  htrstate* s = htrst(run);
  char v[256];
  if (cvfiniget(run, "page", "width", v, sizeof v) == 0) s->pagew = htrnum(v);
  if (cvfiniget(run, "page", "length", v, sizeof v) == 0) s->pagel = htrnum(v);
  cwsetpage(run, s->pagel, s->pagew);
  if (cvfiniget(run, "page", "Orientation", v, sizeof v) == 0) {
    s->orient = htreq(v, "portrait") ? 1 : 2;
    cwsetorient(run, s->orient);
  }
  if (cvfiniget(run, "page", "LeftMargin", v, sizeof v) == 0) cwlmargin(run, s->lmar = htrnum(v));
  if (cvfiniget(run, "page", "RightMargin", v, sizeof v) == 0) cwrmargin(run, s->rmar = htrnum(v));
  if (cvfiniget(run, "page", "TopMargin", v, sizeof v) == 0) cwsettmar(run, s->tmar = htrnum(v));
  if (cvfiniget(run, "page", "BottomMargin", v, sizeof v) == 0) cwsetbmar(run, s->bmar = htrnum(v));
  static const struct {
    const char* word;
    int bit;
  } kattrs[] = {{"italic", 4},      {"bold", 1},         {"underline", 2}, {"strikeout", 8},
                {"superscript", 64}, {"subscript", 128},  {"uppercase", 16}, {"smallcaps", 32},
                {"outline", 256},   {"redline", 512},    {"doublestrike", 0x40000}, {"flashing", 0x10000}};
  for (int n = 1; n <= 6; n++) {
    char sect[3] = {'h', static_cast<char>('0' + n), 0};
    char style[64];
    if (cvfiniget(run, sect, "StyleName", style, sizeof style) != 0) continue;
    htrrule r;
    blank(&r);
    r.elem[0] = 'H';
    r.elem[1] = static_cast<char>('0' + n);
    r.attrs = 0;
    if (cvfiniget(run, style, "FontName", v, sizeof v) == 0) copyfield(r.profont, sizeof r.profont, v);
    if (cvfiniget(run, style, "FontSize", v, sizeof v) == 0) {
      cvstrupr(v);
      int num = htrnum(v);
      if (std::strstr(v, "PT") || std::strstr(v, "PX")) r.size = num * 20;
      else if (std::strstr(v, "CPI")) r.size = num ? 2400 / num : 0;
      else r.size = num;
    }
    if (cvfiniget(run, style, "Color", v, sizeof v) == 0) {
      r.color[0] = htrnum(v);
      const char* c1 = std::strchr(v, ',');
      const char* c2 = c1 ? std::strchr(c1 + 1, ',') : nullptr;
      r.color[1] = c1 ? htrnum(c1 + 1) : 0;
      r.color[2] = c2 ? htrnum(c2 + 1) : 0;
    }
    if (cvfiniget(run, style, "Attributes", v, sizeof v) == 0) {
      char* p = v;
      while (*p) {
        while (*p == ' ') p++;
        char* e = std::strchr(p, ',');
        if (e) *e = 0;
        for (const auto& a : kattrs)
          if (htreq(p, a.word)) r.attrs |= a.bit;
        if (!e) break;
        p = e + 1;
      }
    }
    if (r.attrs & 1) r.weight = 500;
    if (r.attrs & 4) r.fstyle = 1;
    if (r.attrs & 2) r.decoration = 1;
    if (r.attrs & 8) r.decoration = 2;
    if (r.attrs & 64) r.valign = 1;
    if (r.attrs & 128) r.valign = 2;
    if (r.attrs & 32) r.variant = 1;
    // The profile's heading gets a writer style of its own, so that the
    // heading that finds it applies its font, size, colour and attributes.
    if (htrrule* added = ruleadd(run, &r)) defstyle(run, added);
  }
  cvfiniclose(run);
}
