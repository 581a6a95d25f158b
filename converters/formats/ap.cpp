// The Ami Pro converter: reads the document forward, finds its text
// sections and text frames, and writes their characters: one line end per
// paragraph (a line end alone only wraps a line), tags turned into the
// characters they stand for or dropped, paragraph style names dropped.
#include <cstdint>
#include <cstring>

#include "converters/formats/cvt.h"
#include "converters/formats/cvtline.h"
#include "converters/runtime/cvtframe.h"

namespace {

constexpr int knothing = 4094;  // a tag that produces nothing
constexpr int kregion = 4095;   // a tag that opens a nested region
// Tags nested deeper than this are read as plain text up to their ">":
// a document cannot make the reader recurse without end.
constexpr int kmaxnest = 32;

// The converter block (slot 14); the constructor leaves it cleared.
struct apblk {
  int32_t reserved;
  int32_t lechar;     // the document's line-end character
  // The run's settings and state.
  cvtline line;       // line end and output code page
  int32_t c;          // the current character, -1 at the end
  int32_t depth;      // 0 outside text, 1 in text, more in nested regions
  uint8_t indata;     // in the frame data section
  uint8_t lastle;     // the last text character was a line end
  uint8_t parstart;   // at the start of a paragraph
  uint8_t skipblock;  // the frame's text is followed by a block to skip
  uint8_t docend;     // the text section is the document's end
};

apblk *blk(cxstate *st) { return static_cast<apblk *>(st->apblk); }

int next(cxstate *st) { return blk(st)->c = cxgetc2(st); }

void put(cxstate *st, int c) { cxputc2(st, c); }

void apnewline(cxstate *st) { cvteol(st, blk(st)->line); }

// Reads up to and past the document's line-end character.
void skipline(cxstate *st) {
  apblk *b = blk(st);
  while (b->c >= 0 && b->c != b->lechar) next(st);
  next(st);
}

// Reads a bracketed keyword after its "[" into name (at most size - 1
// characters kept); false when a line end or the end of the input comes
// before its "]". The current character is then the one after the keyword.
bool keyword(cxstate *st, char *name, size_t size) {
  size_t n = 0;
  for (int c = next(st);; c = next(st)) {
    if (c < 0 || c == '\r' || c == '\n') return false;
    if (c == ']') break;
    if (n + 1 < size) name[n++] = static_cast<char>(c);
  }
  name[n] = 0;
  next(st);
  return true;
}

int aptag(cxstate *st, int level);

// Reads the rest of a tag up to its ">", nested tags included; c is its
// first character.
int aptagrest(cxstate *st, int level, int c) {
  while (c != '>') {
    if (c < 0) return knothing;
    if (c == '<' && level < kmaxnest) aptag(st, level + 1);
    c = cxgetc2(st);
  }
  return knothing;
}

// aptag: reads a tag after its "<", through its closing ">" where it has
// one; the character it stands for (below 256), knothing, or kregion.
int aptag(cxstate *st, int level) {
  int t = cxgetc2(st);
  switch (t) {
    case '*': case '/': case '\\': case '+': case '-': {
      int c = cxgetc2(st);
      if (c == '<' && level < kmaxnest) c = aptag(st, level + 1);
      cxgetc2(st);  // the closing character
      switch (t) {
        case '*': return c - 32;
        case '/': return c + 64;
        case '\\': return c + 128;
        default: return knothing;
      }
    }
    case ';': cxgetc2(st); return '>';
    case '<': return '<';
    case '[': cxgetc2(st); return '[';
    case '>': return knothing;
    case ':': {
      int c = cxgetc2(st);
      if (c == '>') return knothing;
      if (c == 'F') return kregion;
      if (c == 'H' || c == 'h') {
        cxgetc2(st);
        if (level < kmaxnest) aptag(st, level + 1);
        return kregion;
      }
      if (c == 'N') {
        apblk *b = blk(st);
        while (c >= 0 && c != b->lechar) c = cxgetc2(st);
        return kregion;
      }
      return aptagrest(st, level, c);
    }
    default: return aptagrest(st, level, t);
  }
}

// Writes what a tag stands for.
void aptagout(cxstate *st, int r) {
  apblk *b = blk(st);
  if (r == kregion) {
    b->depth++;
    b->parstart = 1;
  } else if (r == 9 || (r >= 32 && r <= 127)) {
    put(st, r);
  } else if (r >= 128 && r <= 255) {
    int o = b->line.codepage == 819 ? r : cxcpconv(nullptr, 819, b->line.codepage, r);
    put(st, o > 0 ? o : '_');
  }
}

// Skips the block that follows a frame's text: from its "<" to the
// matching ">", where "<<" is a literal "<".
void skipbracketed(cxstate *st) {
  int c;
  while ((c = cxgetc2(st)) >= 0 && c != '<') {
  }
  for (int open = 1; open > 0 && c >= 0;) {
    c = cxgetc2(st);
    if (c == '<') {
      int d = cxgetc2(st);
      if (d != '<') {
        open++;
        if (d >= 0) cxpushback(st, d);
      }
    } else if (c == '>') {
      open--;
    }
  }
}

void entertext(apblk *b) {
  b->depth = 1;
  b->lastle = b->parstart = 1;
}

// apscan: outside text, looks for the next section that holds text; false
// at the end of the input.
bool apscan(cxstate *st) {
  apblk *b = blk(st);
  for (;;) {
    while (b->c != '[') {
      if (b->c < 0) return false;
      next(st);
    }
    char name[16];
    if (!keyword(st, name, sizeof name)) continue;
    if (!std::strcmp(name, "data")) {
      b->indata = 1;
      return true;
    }
    if (!std::strcmp(name, "txt") || !std::strcmp(name, "edoc")) {
      b->docend = name[0] == 'e';
      skipline(st);
      entertext(b);
      return b->c >= 0;
    }
  }
}

// apdata: the frame data section, line by line, up to its "[e]" or the next
// frame that holds text; false at the end of the input.
bool apdata(cxstate *st) {
  apblk *b = blk(st);
  for (;;) {
    while (b->c >= 0 && b->c != b->lechar) next(st);
    next(st);
    while (b->c >= 0 && b->c < '0') next(st);
    if (b->c < 0) return false;
    if (b->c == '[') {
      char name[16];
      if (keyword(st, name, sizeof name) && !std::strcmp(name, "e")) {
        b->indata = 0;
        return true;
      }
      continue;
    }
    // Fields separated by single spaces: the third a decimal number whose
    // bit 0x40 marks a block to skip after the text (unsigned arithmetic
    // keeps the low bits of any number exact); the eighth starting with
    // "1" marks a frame holding text, which follows on the next line.
    uint32_t flags = 0;
    int field = 1;
    bool text = false;
    for (int c = b->c; c >= 0 && c != b->lechar; c = next(st)) {
      if (c == ' ') {
        field++;
      } else if (field == 3 && c >= '0' && c <= '9') {
        flags = flags * 10 + static_cast<uint32_t>(c - '0');
      } else if (field == 8) {
        text = c == '1';
        break;
      }
    }
    if (flags & 0x40) b->skipblock = 1;
    if (b->c < 0) return false;
    if (text) {
      skipline(st);
      entertext(b);
      return b->c >= 0;
    }
  }
}

// aptext: one character of text; false when the run is finished.
bool aptext(cxstate *st) {
  apblk *b = blk(st);
  int c = b->c;
  if (c < 0) return false;
  if (c == b->lechar) {
    if (b->lastle) {
      apnewline(st);
      b->parstart = 1;
    } else {
      b->lastle = 1;
    }
    next(st);
    return true;
  }
  if (c == '\r' || c == '\n') {
    next(st);
    return true;
  }
  if (c == '<') {
    b->lastle = b->parstart = 0;
    do {
      aptagout(st, aptag(st, 0));
    } while (next(st) == '<');
    return true;
  }
  if (c == '>' && b->lastle) {
    if (--b->depth > 0) {
      skipline(st);
      b->parstart = 1;
      return true;
    }
    if (b->skipblock) {
      b->skipblock = 0;
      skipbracketed(st);
    }
    next(st);
    return !b->docend && b->c >= 0;
  }
  if (c == '@') {
    b->lastle = 0;
    if (b->parstart) {
      if (next(st) == '@') {
        put(st, '@');
        b->parstart = 0;
        next(st);
        return true;
      }
      // A paragraph's style name, dropped up to its closing "@".
      while (b->c != '@') {
        if (b->c < 0) return false;
        next(st);
      }
      next(st);
      return true;
    }
    put(st, '@');
    next(st);
    return true;
  }
  b->lastle = b->parstart = 0;
  put(st, c);
  next(st);
  return true;
}

// apheader: 0 for a document that starts "[ver]", line ends, a tab and "4"
// and line ends; 15 for "[encrypt]"; 9 for anything else. The last line
// end of the header is the document's line-end character, and the current
// character the one after it.
int apheader(cxstate *st) {
  apblk *b = blk(st);
  auto follows = [&](const char *s) {
    for (; *s; s++)
      if (cxgetc2(st) != *s) return false;
    return true;
  };
  if (cxgetc2(st) != '[') return CX_NOTFMT;
  int c = cxgetc2(st);
  if (c == 'e') return follows("ncrypt]") ? CX_CRYPT : CX_NOTFMT;
  if (c != 'v' || !follows("er]")) return CX_NOTFMT;
  c = cxgetc2(st);
  if (c != '\r' && c != '\n') return CX_NOTFMT;
  while (c == '\r' || c == '\n') c = cxgetc2(st);
  if (c != '\t' || cxgetc2(st) != '4') return CX_NOTFMT;
  c = cxgetc2(st);
  if (c != '\r' && c != '\n') return CX_NOTFMT;
  while (c == '\r' || c == '\n') {
    b->lechar = c;
    c = cxgetc2(st);
  }
  b->c = c;
  return 0;
}

} // namespace

cxstate *apnewst() {
  static const cxblkspec blocks[] = {{14, sizeof(apblk), nullptr}};
  return cxnewst(blocks, 1, apfreest);
}

void apfreest(cxstate *st) { cxfreest(st); }

int16_t cvtamiprost(cxstate *st, const char *inpath, const char *outpath) {
  return cvtframe(st, outpath, [&](char *closed) {
    apblk *b = blk(st);
    cxprogbeg(st, cxfsize(st, inpath));
    b->line = cvtlineopts(st, "\r");
    int in, out;
    cvtopen(st, inpath, &in, &out);
    if (cxbufinit(st, in, out, 10240) != 0) cxthrow(st, CX_NOMEM);
    int status = apheader(st);
    if (status != 0) cxthrow(st, status);
    for (bool going = true; going;) {
      if (b->depth > 0)
        going = aptext(st);
      else
        going = b->indata ? apdata(st) : apscan(st);
    }
    cxbufend(st);
    cxclose(st, out);
    cxclose(st, in);
    cxprogend(st);
    *closed = 1;
    cxthrow(st, CX_OK);
  });
}

int16_t cvtamipro(const char *inpath, const char *outpath) { return cvtamiprost(apnewst(), inpath, outpath); }
