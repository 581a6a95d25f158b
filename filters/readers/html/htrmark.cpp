// Reading HTML markup and the state every tag handler shares: tag names,
// attributes and their values, skipping tags, references against the base,
// the paragraph break with its indents, the saved states, the list-kind and
// style-name stacks, the width of a preformatted block and hex colours.
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

bool space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

long htrtell(cvrun* run) {
  int h = run->in;
  long pos = cvstell(run, h);
  cvpstream* s = h >= 0 && h < CV_NSTREAMS ? run->streams[h] : nullptr;
  if (s && s->pending && s->pushback >= 0) pos -= cvstell(run, s->pushback);
  return pos;
}

void htrseek(cvrun* run, long pos) { cvsseek(run, run->in, pos); }

int htrnum(const char* s) {
  while (*s == ' ' || *s == '\t') s++;
  bool neg = *s == '-';
  if (*s == '-' || *s == '+') s++;
  long v = 0;
  for (; *s >= '0' && *s <= '9'; s++)
    if (v < 100000000) v = v * 10 + (*s - '0');
  return static_cast<int>(neg ? -v : v);
}

int htralign(int c, int decimal) {
  switch (cvtoupper(c)) {
    case 'L': return 0;
    case 'M':
    case 'C': return 1;
    case 'R': return 2;
    case 'J': return 3;
    case 'D': return decimal ? 5 : -1;
    default: return -1;
  }
}

void htrsettle(htrstate* s) {
  for (int i = 0; i < 3; i++) {
    if (s->link[i] < 0) s->link[i] = i == 2 ? 255 : 0;
    if (s->bg[i] < 0) s->bg[i] = 0;
    if (s->text[i] < 0) s->text[i] = 0;
  }
  s->colset = 1;
}

int htrprefix(const char* s, const char* word, int n) {
  for (int i = 0; i < n; i++) {
    if (!word[i]) return 1;
    if (cvtoupper(static_cast<unsigned char>(s[i])) != cvtoupper(static_cast<unsigned char>(word[i]))) return 0;
  }
  return 1;
}

int htreq(const char* a, const char* b) {
  for (;; a++, b++) {
    if (cvtoupper(static_cast<unsigned char>(*a)) != cvtoupper(static_cast<unsigned char>(*b))) return 0;
    if (!*a) return 1;
  }
}

void htrtagname(cvrun* run, char* buf) {
  int n = 0;
  buf[0] = 0;
  for (;;) {
    int c = cwgetc(run);
    if (c < 0) break;
    if (c == '>') {
      cwungetc(run, c);
      break;
    }
    if (c == '\r' || c == '\n' || c == ' ') break;
    buf[n++] = static_cast<char>(c);
    buf[n] = 0;
    if (n >= HTR_TAGLEN || std::strcmp(buf, "!--") == 0) break;
  }
  buf[n] = 0;
}

int htrtagskip(cvrun* run) {
  int depth = 1;
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) return -1;
    if (c == '<') depth++;
    if (c == '>') {
      if (depth == 1) return '>';
      depth--;
    }
  }
}

void htrskipto(cvrun* run, const char* name) {
  char tag[HTR_TAGLEN + 1];
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) return;
    if (c != '<') continue;
    htrtagname(run, tag);
    int end = htrtagskip(run);
    if (htreq(tag, name) || end < 0) return;
  }
}

int htrattr(cvrun* run, char* buf, int size) {
  int n = 0;
  buf[0] = 0;
  int c;
  do c = cwgetc(run);
  while (space(c));
  for (;;) {
    if (c < 0) return 0;
    if (c == '>') {
      cwungetc(run, c);
      return -1;
    }
    if (c == '=') return 1;
    if (space(c)) {
      if (htreq(buf, "ISMAP") || htreq(buf, "BORDER")) return 0;
    } else if (n < size - 1) {
      buf[n++] = static_cast<char>(c);
      buf[n] = 0;
    }
    c = cwgetc(run);
  }
}

int htrattrval(cvrun* run, char* buf, int size) {
  int n = 0;
  buf[0] = 0;
  int c;
  do c = cwgetc(run);
  while (space(c));
  int quotes = 0;
  for (;;) {
    if (c < 0) return 0;
    if (c == '>') {
      cwungetc(run, c);
      return -1;
    }
    if (c == '\t' || c == '\n' || c == '\r') return 0;
    if (c == ' ' && quotes == 0) return 0;
    if (n < size - 1) {
      buf[n++] = static_cast<char>(c);
      buf[n] = 0;
    }
    if (c == '"' && ++quotes == 2) return 0;
    c = cwgetc(run);
  }
}

void htrskipattrs(cvrun* run) {
  char name[64], val[64];
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 1 && htrattrval(run, val, sizeof val) < 0) break;
  }
  htrtagskip(run);
}

void htrunquote(char* s) {
  size_t i = 0;
  while (s[i] == '"') i++;
  if (i) std::memmove(s, s + i, std::strlen(s + i) + 1);
  size_t n = std::strlen(s);
  while (n > 0 && s[n - 1] == '"') s[--n] = 0;
}

char* htrurl(cvrun* run, const char* ref) {
  const char* base = htrst(run)->base;
  if (std::strstr(ref, "://") || !base) base = "";
  size_t a = std::strlen(base), b = std::strlen(ref);
  auto* out = static_cast<char*>(cvalloc(run, a + b + 1));
  if (!out) return nullptr;
  std::memcpy(out, base, a);
  std::memcpy(out + a, ref, b + 1);
  return out;
}

void htrbreak(cvrun* run, int blankline) {
  htrstate* s = htrst(run);
  if (!s->lineended) {
    cwnewline(run, 1);
    if (blankline) cwnewline(run, 1);
    s->lineended = 1;
  }
  s->blank = 1;
  int depth = s->bqdepth + s->blockqdepth + s->uldepth + s->oldepth + s->dldepth;
  if (depth > HTR_MAXINDENT) depth = HTR_MAXINDENT;
  if (depth > 0) {
    int ind = depth == 1 && s->listkind == 2 ? 0 : depth * 360;
    int quotes = s->bqdepth + s->blockqdepth;
    cwindents(run, ind, ind, (quotes > HTR_MAXQUOTE ? HTR_MAXQUOTE : quotes) * 720);
  }
}

htrstate* htrsave(cvrun* run) {
  htrrdr* r = htrreader(run);
  htrstate* copy = nullptr;
  if (r->nsaved >= HTR_MAXSAVED) {
    // The oldest copy goes, and its block takes the new one.
    copy = r->firstsave;
    r->firstsave = copy->next;
    r->firstsave->prev = nullptr;
    r->nsaved--;
  } else if (r->sparesave) {
    copy = r->sparesave;
    r->sparesave = copy->next;
  } else {
    copy = static_cast<htrstate*>(cvalloc(run, sizeof(htrstate)));
    if (!copy) return nullptr;
  }
  r->nsaved++;
  *copy = *r->st;
  copy->prev = r->lastsave;
  copy->next = nullptr;
  if (r->lastsave)
    r->lastsave->next = copy;
  else
    r->firstsave = copy;
  r->lastsave = copy;
  return copy;
}

void htrrestore(cvrun* run) {
  htrrdr* r = htrreader(run);
  htrstate* copy = r->lastsave;
  if (!copy) return;
  // The base reference belongs to the live state: a BASE met since the save
  // must not be lost or freed twice.
  char* base = r->st->base;
  *r->st = *copy;
  r->st->base = base;
  r->st->prev = r->st->next = nullptr;
  r->lastsave = copy->prev;
  r->nsaved--;
  if (r->lastsave)
    r->lastsave->next = nullptr;
  else
    r->firstsave = nullptr;
  copy->next = r->sparesave;
  r->sparesave = copy;
}

void htrlistpush(htrrdr* r) {
  htrstate* s = r->st;
  if (s->listtop < HTR_NLISTS - 1) s->lists[++s->listtop] = s->listkind;
}

void htrlistpop(htrrdr* r) {
  htrstate* s = r->st;
  if (s->listtop >= 0) s->listkind = s->lists[s->listtop--];
}

htrstyname* htrstylepush(cvrun* run, const char* name) {
  htrrdr* r = htrreader(run);
  htrstyname* e = nullptr;
  if (r->nnames >= HTR_MAXNAMES) {
    // The oldest name goes, and its block takes the new one.
    e = r->firstname;
    r->firstname = e->newer;
    r->firstname->older = nullptr;
    r->nnames--;
  } else if (r->sparename) {
    e = r->sparename;
    r->sparename = e->newer;
  } else {
    e = static_cast<htrstyname*>(cvalloc(run, sizeof(htrstyname)));
    if (!e) return nullptr;
  }
  r->nnames++;
  std::strncpy(e->name, name, sizeof e->name - 1);
  e->name[sizeof e->name - 1] = 0;
  e->older = r->lastname;
  e->newer = nullptr;
  if (r->lastname)
    r->lastname->newer = e;
  else
    r->firstname = e;
  r->lastname = e;
  return e;
}

void htrstylepop(cvrun* run, char* buf) {
  htrrdr* r = htrreader(run);
  htrstyname* e = r->lastname;
  buf[0] = 0;
  if (!e) return;
  std::strcpy(buf, e->name);
  r->lastname = e->older;
  r->nnames--;
  if (r->lastname)
    r->lastname->newer = nullptr;
  else
    r->firstname = nullptr;
  e->newer = r->sparename;
  r->sparename = e;
}

int htrprewidth(cvrun* run, const char* closing) {
  long pos = htrtell(run);
  int count = 0, widest = 0;
  char tag[HTR_TAGLEN + 1], ent[40];
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c == '<') {
      htrtagname(run, tag);
      if (htreq(tag, closing)) {
        if (count > widest) widest = count;
        break;
      }
      if (htrtagskip(run) < 0) break;
    } else if (c == '&') {
      htrentname(run, ent, sizeof ent);
      count++;
    } else if (c == '\r' || c == '\n') {
      if (count > widest) widest = count;
      count = 0;
    } else {
      count++;
    }
  }
  htrseek(run, pos);
  if (widest > 100000) widest = 100000;
  return widest * 144;
}

int htrhexval(char* text) {
  cvstrupr(text);
  unsigned v = 0, weight = 1;
  for (int i = static_cast<int>(std::strlen(text)) - 1; i >= 0; i--) {
    int c = static_cast<unsigned char>(text[i]);
    if (c >= '0' && c <= '9') v += (c - '0') * weight;
    if (c >= 'A' && c <= 'F') v += (c - 'A' + 10) * weight;
    weight *= 16;
  }
  return static_cast<int>(v & 0x7FFFFFFF);
}

void htrhexcolor(char* text, int32_t* r, int32_t* g, int32_t* b) {
  if (*text == '#') text++;
  int32_t* ch[3] = {r, g, b};
  char pair[3] = {0, 0, 0};
  size_t n = std::strlen(text);
  if (n == 3) {
    for (int i = 0; i < 3; i++) {
      pair[0] = pair[1] = text[i];
      *ch[i] = htrhexval(pair);
    }
    return;
  }
  for (size_t i = 0; i < 3 && 2 * i + 1 < n; i++) {
    pair[0] = text[2 * i];
    pair[1] = text[2 * i + 1];
    *ch[i] = htrhexval(pair);
  }
}
