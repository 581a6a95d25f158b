// HTML conversion. The document streams through a fixed input area and a
// fixed output area; every rule looks at most a few bytes ahead, and the
// input is kept at least kLook bytes ahead of the scan until the source ends,
// so that names split over two reads still compare whole. One scan serves
// both modes, which differ only in what they write.
#include "dr/drgh/drghc.h"

#include <cstdlib>
#include <cstring>

#include "platform/nls/nls.h"

namespace {

// Bytes the scan keeps unread ahead of it while the source has more.
constexpr long kLook = 11;
// A chunk ends once the output passes this mark; the room above it takes the
// character, entity or hit tag that crossed it.
constexpr long kHigh = DRGHC_AREA - 1024;

// Results of the scan and the tag rule.
enum { R_END = 0, R_FAIL = 1, R_SUSPEND = 3 };

void *drghcmal(size_t n) { return std::calloc(1, n); }
void drghcfre(void *p) { std::free(p); }

long unread(const drghcstate *c) { return c->inend - c->inpos; }

// Case-blind comparison of the next bytes with a tag name.
bool tagis(const drghcstate *c, const char *name) {
  size_t n = std::strlen(name);
  return static_cast<size_t>(unread(c)) >= n &&
         nlsncasecmp(dracncs(c->st), c->inpos, name, n) == 0;
}

// Refills the input: the unread bytes move to the area's start and reads
// follow until kLook bytes are unread, the area is full or the source ends;
// 0, or 1 when a read fails (the buffer pushed why).
int drghcfill(drghcstate *c) {
  if (c->eos) return 0;
  long keep = unread(c);
  std::memmove(c->in, c->inpos, static_cast<size_t>(keep));
  c->inpos = c->in;
  c->inend = c->in + keep;
  while (!c->eos && unread(c) < kLook) {
    long room = DRGHC_AREA - 1 - (c->inend - c->in);
    if (room <= 0) break;
    int16_t got = druvfread(c->src, c->inend, static_cast<int16_t>(room));
    if (got < 0) return 1;
    if (got == 0) c->eos = 1;
    c->inend += got;
  }
  return 0;
}

// Writes a hit tag unless it is empty or does not fit.
void drghcins(drghcstate *c, const char *tag) {
  size_t n = std::strlen(tag);
  if (n == 0 || static_cast<size_t>(c->outend - c->outpos) <= n) return;
  std::memcpy(c->outpos, tag, n);
  c->outpos += n;
}

void opentag(drghcstate *c) {
  if (c->open) return;
  drghcins(c, c->stag);
  c->open = 1;
}

void closetag(drghcstate *c) {
  if (!c->open) return;
  drghcins(c, c->etag);
  c->open = 0;
}

// Hit bookkeeping before the character at the counter: a range starts at
// its first hit's offset and runs on over touching and overlapping hits.
void drghchit(drghcstate *c) {
  if (c->intitle || c->hitidx >= c->nhits) return;
  const uint32_t at = c->counter;
  if (static_cast<uint32_t>(c->offs[c->hitidx]) == at) {
    opentag(c);
    c->nextb = static_cast<uint32_t>(c->offs[c->hitidx]) + static_cast<uint32_t>(c->lens[c->hitidx]);
    return;
  }
  while (c->nextb <= at) {
    if (++c->hitidx >= c->nhits) break;
    c->nextb = static_cast<uint32_t>(c->offs[c->hitidx]);
    if (c->nextb > at) {
      closetag(c);
      return;
    }
    c->nextb += static_cast<uint32_t>(c->lens[c->hitidx]);
  }
  if (c->hitidx >= c->nhits) {
    closetag(c);
    c->nextb = UINT32_MAX;
  }
}

void hitdue(drghcstate *c) {
  if (c->nextb <= c->counter) drghchit(c);
}

// Leaving the title skips the hits that started inside it.
void leavetitle(drghcstate *c) {
  c->intitle = 0;
  while (c->hitidx < c->nhits && static_cast<uint32_t>(c->offs[c->hitidx]) < c->counter)
    ++c->hitidx;
  c->nextb = c->hitidx < c->nhits ? static_cast<uint32_t>(c->offs[c->hitidx]) : UINT32_MAX;
}

// Writes the character of a numeric entity in the server's character set:
// a blank for 0 and for a character the set cannot hold, so that it stays
// one character of the text.
void numchar(drghcstate *c, uint32_t cp) {
  if (cp == 0) {
    *c->outpos++ = ' ';
    return;
  }
  if (cp < 0x80) {
    *c->outpos++ = static_cast<char>(cp);
    return;
  }
  char u[4];
  size_t n = 0;
  if (cp < 0x800) {
    u[n++] = static_cast<char>(0xC0 | (cp >> 6));
  } else {
    u[n++] = static_cast<char>(0xE0 | (cp >> 12));
    u[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  u[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  char conv[8];
  size_t used = 0, replaced = 0;
  long w = nlsfromutf8(dracncs(c->st), conv, sizeof conv, u, n, &used, &replaced);
  if (w <= 0 || replaced != 0 || used != n) {
    *c->outpos++ = ' ';
    return;
  }
  std::memcpy(c->outpos, conv, static_cast<size_t>(w));
  c->outpos += w;
}

// The entity rule, after the "&": a recognised entity is one character of
// the text; anything else leaves its bytes to be scanned as text.
int drghcent(drghcstate *c) {
  const nlscs *cs = dracncs(c->st);
  const char *p = c->inpos;
  long avail = unread(c);
  static const struct {
    const char *name;
    char ch;
  } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}};
  long nl = 0;
  char ch = 0;
  uint32_t cp = 0;
  bool numeric = false;
  for (const auto &e : kNamed) {
    long n = static_cast<long>(std::strlen(e.name));
    if (avail >= n && nlsncmp(cs, p, e.name, static_cast<size_t>(n)) == 0) {
      nl = n;
      ch = e.ch;
      break;
    }
  }
  if (nl == 0 && avail >= 2 && p[0] == '#' && p[1] >= '0' && p[1] <= '9') {
    numeric = true;
    nl = 1;
    while (nl < avail && nl <= 4 && p[nl] >= '0' && p[nl] <= '9') cp = cp * 10 + static_cast<uint32_t>(p[nl++] - '0');
  }
  if (nl == 0) {
    if (c->mode == 1) *c->outpos++ = '&';
    return 0;
  }
  if (c->mode == 1) hitdue(c);
  long semi = nl < avail && p[nl] == ';' ? 1 : 0;
  if (c->mode == 0) {
    if (numeric) numchar(c, cp);
    else *c->outpos++ = ch;
  } else {
    if (c->outend - c->outpos <= 1 + nl + semi) return R_FAIL;
    *c->outpos++ = '&';
    std::memcpy(c->outpos, p, static_cast<size_t>(nl + semi));
    c->outpos += nl + semi;
  }
  c->inpos += nl + semi;
  ++c->counter;
  return 0;
}

// Passes one byte of a tag through the link rewriter. When the rewriter
// fails the tag keeps what it held, unchanged, and the rest of the tag is
// copied as it comes.
int emit(drghcstate *c, unsigned char b) {
  if (c->tagraw) {
    *c->outpos++ = static_cast<char>(b);
    return 0;
  }
  uint32_t n = 0;
  if (drghclink(c->link, b, &n, c->outpos, c->outend) == 0) {
    c->outpos += n;
    return 0;
  }
  if (drghclend(c->link, &n, c->outpos, c->outend - 1) != 0) return R_FAIL;
  c->outpos += n;
  *c->outpos++ = static_cast<char>(b);
  c->tagraw = 1;
  return 0;
}

// Ends a tag in highlight mode: a value the rewriter still holds (a ">"
// inside quotes ended the tag) is written as it came.
int endtag(drghcstate *c) {
  c->intag = 0;
  if (c->mode != 1) return 0;
  c->tagraw = 0;
  uint32_t n = 0;
  if (drghclend(c->link, &n, c->outpos, c->outend) != 0) return R_FAIL;
  c->outpos += n;
  return 0;
}

// The bytes of an ordinary tag up to and including its ">": dropped in text
// mode, passed through the rewriter in highlight mode. Stops with R_SUSPEND
// when the output lacks the room one byte may need; the tag goes on in the
// next chunk.
int tagbody(drghcstate *c) {
  for (;;) {
    if (c->inpos >= c->inend) {
      if (c->eos) return endtag(c);
      if (drghcfill(c) != 0) return R_FAIL;
      continue;
    }
    if (c->mode == 0) {
      if (c->tagfirst) {
        c->tagfirst = 0;
        ++c->inpos;
        continue;
      }
      auto *gt = static_cast<char *>(std::memchr(c->inpos, '>', static_cast<size_t>(unread(c))));
      if (!gt) {
        c->inpos = c->inend;
        continue;
      }
      c->inpos = gt + 1;
      return endtag(c);
    }
    if (c->outend - c->outpos < DRGHCL_ROOM) return R_SUSPEND;
    unsigned char b = static_cast<unsigned char>(*c->inpos++);
    if (b != 0 && emit(c, b) != 0) return R_FAIL;
    if (c->tagfirst) {
      c->tagfirst = 0;
      continue;
    }
    if (b == '>') return endtag(c);
  }
}

// The tag rule, after the "<".
int drghctag(drghcstate *c) {
  if (c->mode == 1 && emit(c, '<') != 0) return R_FAIL;
  if (!c->html && tagis(c, "HTML")) c->html = 1;
  if (c->mode == 1) {
    if (!c->intitle && tagis(c, "TITLE")) c->intitle = 1;
    else if (c->intitle && tagis(c, "/TITLE")) leavetitle(c);
  }
  bool decl = unread(c) > 0 && *c->inpos == '!';
  if (!c->html && !decl) return R_FAIL;  // not HTML
  if (tagis(c, "/TD>") || tagis(c, "/TH>")) {
    // A cell's end is one blank of the text, keeping cells apart as words.
    if (c->mode == 0) {
      *c->outpos++ = ' ';
      c->inpos += 4;
    } else {
      for (int i = 0; i < 4; ++i)
        if (emit(c, static_cast<unsigned char>(*c->inpos++)) != 0) return R_FAIL;
    }
    ++c->counter;
    return endtag(c);
  }
  c->intag = 1;
  c->tagfirst = 1;
  return tagbody(c);
}

// Scans input bytes into the output until the chunk is full (R_END with
// input left), the input is done (R_END), or the document is refused or a
// read fails (R_FAIL).
int drghcscan(drghcstate *c) {
  const nlscs *cs = dracncs(c->st);
  if (c->intag) {
    int r = tagbody(c);
    if (r != 0) return r == R_SUSPEND ? R_END : r;
  }
  for (;;) {
    if (c->outpos >= c->hiwat) return R_END;
    if (unread(c) < kLook && !c->eos && drghcfill(c) != 0) return R_FAIL;
    if (c->inpos >= c->inend) return R_END;
    unsigned char b = static_cast<unsigned char>(*c->inpos);
    if (b == 0) {
      ++c->inpos;  // a NUL is no character of the text
    } else if (b >= 0x80) {
      size_t n = nlsclen(cs, c->inpos, static_cast<size_t>(unread(c)));
      if (n == 0) n = static_cast<size_t>(unread(c));  // cut off by the end of the document
      if (c->mode == 1) hitdue(c);
      ++c->counter;
      std::memcpy(c->outpos, c->inpos, n);
      c->outpos += n;
      c->inpos += n;
    } else if (b == '&') {
      if (!c->html) return R_FAIL;
      ++c->inpos;
      if (drghcent(c) != 0) return R_FAIL;
    } else if (b == '<') {
      ++c->inpos;
      int r = drghctag(c);
      if (r == R_SUSPEND) return R_END;
      if (r != 0) return R_FAIL;
    } else {
      if (!c->html && c->counter > 32) return R_FAIL;
      if (c->mode == 1) hitdue(c);
      ++c->counter;
      *c->outpos++ = static_cast<char>(b);
      ++c->inpos;
    }
  }
}

// The next chunk at the output area's start: its length, 0 when the
// conversion is complete, -1 on a refusal or failure.
long drghcchunk(drghcstate *c) {
  c->outpos = c->chunk = c->out;
  if (drghcscan(c) != R_END) return -1;
  return c->outpos - c->out;
}

// Starts a run; 0 / 1.
int drghcstart(drghcstate *c, druvfd *src, int32_t mode, uint8_t html) {
  if (!c->in || !c->out) return 1;
  c->mode = mode;
  c->html = html;
  c->hitidx = 0;
  c->nextb = mode == 1 && c->nhits > 0 ? static_cast<uint32_t>(c->offs[0]) : UINT32_MAX;
  c->inpos = c->inend = c->in;
  c->outpos = c->chunk = c->out;
  c->eos = 0;
  c->intitle = 0;
  c->counter = 1;
  c->intag = c->tagfirst = c->tagraw = c->open = 0;
  c->src = src;
  c->link = drghclinit(c->st, drdscurl(src->src));
  return druvfseek(src, 0, 0) < 0 ? 1 : 0;
}

int drghcrun(drghcstate *c, druvfd *src, druvfd *dst, int32_t mode, uint8_t html) {
  int rc = drghcstart(c, src, mode, html);
  while (rc == 0) {
    long n = drghcchunk(c);
    if (n < 0 || n > DRGHC_AREA) rc = 1;
    if (n <= 0) break;
    if (druvfwrite(dst, c->out, static_cast<int16_t>(n)) != n) rc = 1;
  }
  // A document that ends before it proved to be HTML is no HTML page,
  // however short it is.
  if (rc == 0 && !c->html) rc = 1;
  // A range still open at the document's end is closed there.
  if (rc == 0 && c->open) {
    c->outpos = c->out;
    closetag(c);
    long n = c->outpos - c->out;
    if (n > 0 && druvfwrite(dst, c->out, static_cast<int16_t>(n)) != n) rc = 1;
  }
  c->src = nullptr;
  return rc;
}

}  // namespace

drghcstate *drghcnew(drsrvstate *st) {
  auto *c = static_cast<drghcstate *>(drghcmal(sizeof(drghcstate)));
  if (!c) return nullptr;
  c->st = st;
  c->in = static_cast<char *>(drghcmal(DRGHC_AREA));
  c->out = static_cast<char *>(drghcmal(DRGHC_AREA));
  if (!c->in || !c->out) {
    drghcfree(c);
    return nullptr;
  }
  c->hiwat = c->out + kHigh;
  c->outend = c->out + DRGHC_AREA;
  return c;
}

void drghcfree(drghcstate *c) {
  if (!c) return;
  drghcfre(c->out);
  drghcfre(c->in);
  drghcfre(c);
}

int drghctext(drghcstate *c, druvfd *src, druvfd *dst, uint8_t html) {
  c->offs = c->lens = c->strengths = nullptr;
  c->nhits = 0;
  c->stag = c->etag = "";
  return drghcrun(c, src, dst, 0, html);
}

int drghcmark(drghcstate *c, druvfd *src, druvfd *dst, uint8_t html, const int32_t *offs,
              const int32_t *lens, const int32_t *strengths, uint32_t nhits,
              const char *stag, const char *etag) {
  c->offs = offs;
  c->lens = lens;
  c->strengths = strengths;
  c->nhits = offs && lens ? nhits : 0;
  c->stag = stag ? stag : "<FONT SIZE=+4>";
  c->etag = etag ? etag : "</FONT>";
  return drghcrun(c, src, dst, 1, html);
}
