// The WordPerfect 5 reader's run: the entry, the header checks, the format
// defaults, the text loop with its dispatch, the skip, group reading and the
// embedded texts converted through scratch streams.
#include <cstdlib>
#include <cstring>

#include "filters/readers/wp/wp5.h"

namespace {

constexpr int kpage = 2048;

// An unsigned 16-bit value of the input, -1 at its end.
int readu(cvrun* run) {
  int lo = cwgetc(run);
  int hi = lo < 0 ? -1 : cwgetc(run);
  return hi < 0 ? -1 : lo | hi << 8;
}

}  // namespace

int wp5readw(cvrun* run) {
  int lo = cwgetc(run);
  int hi = lo < 0 ? -1 : cwgetc(run);
  if (hi < 0) return -1;
  return static_cast<int16_t>(lo | hi << 8);
}

int32_t wp5readl(cvrun* run) {
  int lo = wp5readw(run);
  int hi = wp5readw(run);
  return static_cast<int32_t>((static_cast<uint32_t>(hi) << 16) | (static_cast<uint32_t>(lo) & 0xFFFF));
}

void wp5skipn(cvrun* run, long n) {
  for (long i = 0; i < n; i++)
    if (cwgetc(run) < 0) break;
}

int wp5main(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 7, 1);
  auto* s = static_cast<wp5state*>(cvalloc(run, sizeof(wp5state)));
  if (!s) convfatal(run, RDR_NOMEM);
  std::memset(s, 0, sizeof *s);
  cvsetreader(run, s);
  cwcodepage(run, 437);
  cvsetbe(run, 1);
  wp5open(run);
  if (cvopenout(run, kpage) < 0) wp5fatal(run, RDR_NOOUTPUT);
  wp5prefix(run);
  wp5pagesetup(run);
  wp5text(run);
  wp5freestate(run);
  cvcloseio(run);
  cvshutdown(run);
  return 0;
}

int wp5open(cvrun* run) {
  wp5state* s = wp5st(run);
  wprowsort(wp5codetab, sizeof wp5codetab / sizeof *wp5codetab);
  if (cvopenin(run, kpage) < 0) wp5fatal(run, RDR_NOINPUT);
  unsigned char h[16];
  if (cvsread(run, run->in, h, 16) != 16 || std::memcmp(h, "\xFFWPC", 4) != 0 || h[8] != 1 || h[9] != 10 ||
      h[10] != 0 || h[11] > 1) {
    cvcloseio(run);
    wp5fatal(run, RDR_FORMAT);
  }
  if (h[12] != 0 || h[13] != 0) {
    cvcloseio(run);
    wp5fatal(run, RDR_ENCRYPTED);
  }
  s->version = h[11];
  unsigned idx = wp5getw(h + 14);
  s->indexoff = idx < 16 ? 16 : idx;
  s->docoff = wp5getl(h + 4);
  s->filesize = cvssize(run, run->in);
  // The option string is read, but no letter of it changes this reader.
  if (char* o = cvgetparam(run, 4)) cvfree(run, o);
  wp5defaults(run);
  return 0;
}

void wp5defaults(cvrun* run) {
  wp5state* s = wp5st(run);
  s->colsactive = 0;
  s->proc = 3;
  s->ulmode = 1;
  static const int32_t vals[5] = {0, 0, 10, 0, 0};
  static const int32_t bords[5] = {0x1111, 0x5050, 0x5050, 0, 0};
  for (int i = 0; i < 5; i++) {
    s->boxval[i] = vals[i];
    s->boxbord[i] = bords[i];
  }
  s->basesize = 240;
  s->ntabs = 30;
  s->tabmode = 1;
  for (int i = 0; i < WP5_NTABS; i++) {
    s->tabpos[i] = -1440 + 720 * i;
    s->tabkind[i] = 'L';
    s->tableader[i] = 0;
  }
  s->codepage = 437;
}

void wp5pagesetup(cvrun* run) {
  wp5state* s = wp5st(run);
  cwcodepage(run, 437);
  cwalign(run, 3);
  cwsetorient(run, 1);
  cwsetpage(run, 15840, 12240);
  cwsettmar(run, 1440);
  cwsetbmar(run, 1440);
  cwlmargin(run, 1440);
  cwrmargin(run, 1440);
  cwtstopclear(run);
  cwtstopkind(run, 0);
  for (int i = 0; i < s->ntabs && i < WP5_NTABS; i++) cwtstopadd(run, s->tabpos[i], 6, nullptr, 0);
}

int wp5text(cvrun* run) {
  for (int b; (b = cwgetc(run)) >= 0;) {
    convyield(run, 1);
    if (b < 32 || b >= 128) {
      wp5disp(run, b);
    } else if (wp5st(run)->proc & 1) {
      if (b == '-')
        cwspecial(run, 2);
      else
        cwputc(run, b);
    }
  }
  return 0;
}

int wp5disp(cvrun* run, int code) {
  wp5state* s = wp5st(run);
  int sub = 0;
  if (code >= 0xD0 && code <= 0xEF) {
    sub = cwgetc(run);
    if (sub < 0) return 0;
  }
  s->key[0] = static_cast<uint8_t>(code);
  s->key[1] = static_cast<uint8_t>(sub);
  s->row = wprowfind(wp5codetab, sizeof wp5codetab / sizeof *wp5codetab, code, sub);
  if (s->row) return s->row->handler(run);
  if (code > 0xC0) return wp5skip(run);
  return 0;  // a code without a row below 0xC0: its byte is dropped
}

int wp5skip(cvrun* run) {
  wp5state* s = wp5st(run);
  const wpcoderow* row = s->row;
  if (!row || row->kind & WP_VARIABLE) {
    // The length is unsigned: a group of 32 KB or more is skipped by it like
    // any other rather than read as running to the end of the input.
    int len = readu(run);
    if (len < 0) return 0;
    convyield(run, len);
    wp5skipn(run, len);
    return 0;
  }
  if (row->kind & WP_FIXED) {
    convyield(run, static_cast<int>(row->length) - 1);
    wp5skipn(run, static_cast<long>(row->length) - 1);
  }
  return 0;
}

unsigned char* wp5grpread(cvrun* run) {
  wp5state* s = wp5st(run);
  // Lengths up to 65535 are taken as they stand; 0, or no length at all, is
  // no group.
  int len = readu(run);
  if (len <= 0) wp5fatal(run, RDR_DAMAGED);
  convyield(run, len);
  auto* g = static_cast<unsigned char*>(cvalloc(run, static_cast<size_t>(len) + 4));
  if (!g) wp5fatal(run, RDR_NOMEM);
  g[0] = s->key[0];
  g[1] = s->key[1];
  g[2] = static_cast<unsigned char>(len & 0xFF);
  g[3] = static_cast<unsigned char>(len >> 8);
  int n = cvsread(run, run->in, g + 4, len);
  if (n <= 0) {
    cvfree(run, g);
    wp5fatal(run, RDR_DAMAGED);
  }
  if (n < len) std::memset(g + 4 + n, 0, static_cast<size_t>(len - n));
  return g;
}

void wp5grpfree(cvrun* run, unsigned char* g) {
  if (!g) wp5fatal(run, RDR_DAMAGED);
  cvfree(run, g);
}

int wp5copy(cvrun* run, long n, int pagesize) {
  wp5state* s = wp5st(run);
  if (n < 0) n = 0;
  if (s->depth >= WP5_MAXDEPTH) {
    // Too deep inside other embedded texts: the text is passed over.
    wp5skipn(run, n);
    return -2;
  }
  int h = cvsscratch(run, pagesize);
  if (h < 0) return -1;
  for (long i = 0; i < n; i++) {
    int c = cwgetc(run);
    if (c < 0) break;
    cvsputc(run, h, c);
  }
  return h;
}

void wp5convert(cvrun* run, int h) {
  if (h < 0) return;
  wp5state* s = wp5st(run);
  cvsseek(run, h, 0);
  if (cvpushin(run, h) >= 0) {
    s->depth++;
    wp5text(run);
    s->depth--;
    cvpopin(run);
  }
  cvsclose(run, h);
}

void wp5fatal(cvrun* run, int status) {
  wp5freestate(run);
  cvcloseio(run);
  convfatal(run, status);
  std::abort();  // convfatal does not come back
}

void wp5freestate(cvrun* run) {
  wp5state* s = wp5st(run);
  if (!s) return;
  while (wp5packet* p = s->packets) {
    s->packets = p->next;
    cvfree(run, p);
  }
  while (wp5font* f = s->fonts) {
    s->fonts = f->next;
    cvfree(run, f);
  }
  while (wp5style* t = s->styles) {
    s->styles = t->next;
    cvfree(run, t);
  }
  cvsetreader(run, nullptr);
  cvfree(run, s);
}
