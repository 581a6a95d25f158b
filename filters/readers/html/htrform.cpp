// Forms of the HTML reader: FORM as a form's start and end, INPUT, SELECT,
// OPTION and TEXTAREA as form fields; options and text areas collect their
// text from the input themselves.
#include <cstring>
#include <initializer_list>

#include "filters/readers/html/htr.h"

namespace {

constexpr int kbuf = 2048;

// A fresh copy of an attribute value for a field description.
intptr_t copy(cvrun* run, intptr_t old, const char* v) {
  if (old) cvfree(run, reinterpret_cast<char*>(old));
  return reinterpret_cast<intptr_t>(cvstrdup(run, v, CW_ENCBYTE));
}

void release(cvrun* run, cwctldesc& d, std::initializer_list<int> words) {
  for (int i : words)
    if (d.word[i]) cvfree(run, reinterpret_cast<char*>(d.word[i]));
}

// Reads the attributes of the tag, calling fn(name, unquoted value or null).
template <typename F>
bool attrs(cvrun* run, F fn) {
  return htreachattr(run, kbuf, fn);
}

// The text of an OPTION or TEXTAREA up to one of its ending tags, which is
// put back for the main pass; cut at the buffer's size.
char* collect(cvrun* run, const char* end1, const char* end2) {
  auto* buf = static_cast<char*>(cvalloc(run, kbuf));
  if (!buf) return nullptr;
  int n = 0;
  bool blank = false;
  char name[HTR_TAGLEN + 1], ent[24];
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c == ' ' || c == '\t') {
      if (!blank && n < kbuf - 1) buf[n++] = static_cast<char>(c);
      blank = true;
      continue;
    }
    if (c < 32) continue;
    blank = false;
    if (c == '&') {
      htrentname(run, ent, 21);
      continue;
    }
    if (c == '<') {
      htrtagname(run, name);
      if (htreq(name, end1) || (end2 && htreq(name, end2))) {
        cwungetc(run, ' ');
        for (int i = static_cast<int>(std::strlen(name)); i-- > 0;) cwungetc(run, static_cast<unsigned char>(name[i]));
        cwungetc(run, '<');
        break;
      }
      htrtagskip(run);
      continue;
    }
    if (n < kbuf - 1) buf[n++] = static_cast<char>(c);
  }
  buf[n] = 0;
  return buf;
}

}  // namespace

void htrform(cvrun* run, int open) {
  if (!open) {
    cwform(run, 0, nullptr);
    htrtagskip(run);
    return;
  }
  cwformdesc f{0, 0, nullptr, CW_ENCBYTE, nullptr, CW_ENCBYTE};
  char* action = nullptr;
  char* enctype = nullptr;
  bool ok = attrs(run, [&](const char* name, char* val) {
    if (!val) return;
    if (htreq(name, "method")) {
      f.post = htreq(val, "post");
    } else if (htreq(name, "action")) {
      if (action) cvfree(run, action);
      action = cvstrdup(run, val, CW_ENCBYTE);
    } else if (htreq(name, "enctype")) {
      if (enctype) cvfree(run, enctype);
      enctype = cvstrdup(run, val, CW_ENCBYTE);
    }
  });
  if (ok) {
    f.action = action;
    f.enctype = enctype;
    cwform(run, 1, &f);
  }
  if (action) cvfree(run, action);
  if (enctype) cvfree(run, enctype);
  htrtagskip(run);
}

void htrinput(cvrun* run, int) {
  long pos = htrtell(run);
  int type = 0, password = 0, button = 0;
  if (!attrs(run, [&](const char* name, char* val) {
        if (!val || !htreq(name, "type")) return;
        if (htreq(val, "text")) type = 0, password = 0;
        else if (htreq(val, "password")) type = 0, password = 1;
        else if (htreq(val, "checkbox")) type = 2;
        else if (htreq(val, "radio")) type = 3;
        else if (htreq(val, "submit")) type = 6, button = 0;
        else if (htreq(val, "image")) type = 7;
        else if (htreq(val, "reset")) type = 6, button = 1;
        else if (htreq(val, "file")) type = 8;
        else if (htreq(val, "hidden")) type = 9;
      })) {
    htrtagskip(run);
    return;
  }
  htrseek(run, pos);
  cwctldesc d{};
  d.word[1] = type;
  int halign = 0;
  attrs(run, [&](const char* name, char* val) {
    bool text = type == 0 || type == 8;
    if (htreq(name, "checked") && (type == 2 || type == 3)) {
      d.word[5] = 1;
      return;
    }
    if (!val) return;
    if (type == 7 && htreq(name, "align")) {
      if (htreq(val, "left")) d.word[8] = 0;
      else if (htreq(val, "center")) d.word[8] = 1;
      else if (htreq(val, "right")) d.word[8] = 2;
      else if (htreq(val, "justify")) d.word[8] = 3;
      else if (htreq(val, "top")) d.word[9] = 0;
      else if (htreq(val, "bottom")) d.word[9] = 1;
      else if (htreq(val, "middle")) d.word[9] = 2;
      halign = static_cast<int>(d.word[8]);
    } else if (type == 7 && htreq(name, "src")) {
      const char* v = val;
      while (*v == '/') v++;
      if (d.word[6]) cvfree(run, reinterpret_cast<char*>(d.word[6]));
      d.word[6] = reinterpret_cast<intptr_t>(htrurl(run, v));
    } else if (type == 7 && (htreq(name, "height") || htreq(name, "width"))) {
      int v = htrnum(val);
      v = v < 0 ? 0 : v > 100000 ? 1200000 : v * 12;
      d.word[htreq(name, "width") ? 10 : 11] = v;
    } else if (text && htrprefix(name, "maxlength", 9)) {
      d.word[type == 0 ? 7 : 6] = htrnum(val);
    } else if (text && htreq(name, "size")) {
      d.word[type == 0 ? 6 : 5] = htrnum(val);
    } else if (htreq(name, "name") && (type == 0 || type == 2 || type == 3 || type == 8)) {
      d.word[3] = copy(run, d.word[3], val);
    } else if (htreq(name, "value")) {
      if (type == 0) d.word[8] = copy(run, d.word[8], val);
      if (type == 2 || type == 3) d.word[6] = copy(run, d.word[6], val);
      if (type == 9) d.word[5] = copy(run, d.word[5], val);
      if (type == 6 || type == 7) d.word[4] = copy(run, d.word[4], val);
    }
  });
  switch (type) {
    case 0: d.word[4] = CW_ENCBYTE; d.word[5] = password; d.word[9] = CW_ENCBYTE; break;
    case 2:
    case 3: d.word[4] = CW_ENCBYTE; d.word[7] = CW_ENCBYTE; break;
    case 6: d.word[3] = button; d.word[5] = CW_ENCBYTE; break;
    case 7: d.word[5] = CW_ENCBYTE; d.word[7] = CW_ENCBYTE; break;
    case 8: d.word[4] = CW_ENCBYTE; d.word[8] = CW_ENCBYTE; break;
    case 9: d.word[6] = CW_ENCBYTE; break;
  }
  if (type == 7 && halign == 1) cwctrbeg(run);
  if (type == 7 && halign == 2) {
    cwstrdesc e{0, nullptr, 0};
    cwflrbeg(run, &e);
  }
  cwformfield(run, &d);
  if (type == 7 && halign != 0) htrbreak(run, 0);
  switch (type) {
    case 0: release(run, d, {3, 8}); break;
    case 2:
    case 3: release(run, d, {3, 6}); break;
    case 6: release(run, d, {4}); break;
    case 7: release(run, d, {4, 6}); break;
    case 8: release(run, d, {3}); break;
    case 9: release(run, d, {5}); break;
  }
  htrtagskip(run);
}

void htrselect(cvrun* run, int open) {
  cwctldesc d{};
  d.word[1] = 4;
  d.word[4] = CW_ENCBYTE;
  if (open) {
    d.word[5] = 1;
    if (!attrs(run, [&](const char* name, char* val) {
          if (htreq(name, "multiple")) d.word[6] = d.word[7] = 1;
          if (!val) return;
          if (htreq(name, "name")) d.word[3] = copy(run, d.word[3], val);
          if (htreq(name, "size")) d.word[8] = htrnum(val);
        })) {
      htrtagskip(run);
      return;
    }
  }
  cwformfield(run, &d);
  release(run, d, {3});
  htrtagskip(run);
}

void htroption(cvrun* run, int) {
  cwctldesc d{};
  d.word[1] = 5;
  d.word[5] = d.word[7] = CW_ENCBYTE;
  if (!attrs(run, [&](const char* name, char* val) {
        if (htreq(name, "selected")) d.word[3] = 1;
        if (val && htreq(name, "value")) d.word[4] = copy(run, d.word[4], val);
      })) {
    htrtagskip(run);
    return;
  }
  htrtagskip(run);
  char* text = collect(run, "/SELECT", "OPTION");
  if (text) {
    d.word[6] = reinterpret_cast<intptr_t>(text);
    cwformfield(run, &d);
  }
  release(run, d, {4, 6});
}

void htrtextarea(cvrun* run, int open) {
  if (!open) {
    htrtagskip(run);
    return;
  }
  cwctldesc d{};
  d.word[1] = 1;
  d.word[4] = d.word[8] = CW_ENCBYTE;
  if (!attrs(run, [&](const char* name, char* val) {
        if (!val) return;
        if (htreq(name, "name")) d.word[3] = copy(run, d.word[3], val);
        if (htreq(name, "rows")) d.word[5] = htrnum(val);
        if (htreq(name, "cols")) d.word[6] = htrnum(val);
      })) {
    htrtagskip(run);
    return;
  }
  htrtagskip(run);
  char* text = collect(run, "/TEXTAREA", nullptr);
  if (text) {
    d.word[7] = reinterpret_cast<intptr_t>(text);
    cwformfield(run, &d);
  }
  release(run, d, {3, 7});
}
