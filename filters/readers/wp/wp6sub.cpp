// WordPerfect 6 functions whose contents live in packets or span text:
// headers, footers, notes, comments and box texts (each packet pushed as the
// input and converted by the reader's own text loop inside a saved format
// state), styles on and off, text suppression, dates, fields and numbering.
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

int readw(cvrun* run) {
  int v = wp6readw(run);
  return v < 0 ? 0 : v;
}

uint32_t readl(cvrun* run) {
  uint32_t lo = static_cast<uint32_t>(readw(run));
  return lo | static_cast<uint32_t>(readw(run)) << 16;
}

void skipn(cvrun* run, int64_t n) {
  for (int64_t i = 0; i < n; i++)
    if (cwgetc(run) < 0) break;
}

// Writes the 16-bit text of a buffer from `at` to a zero character.
void wtext(cvrun* run, const unsigned char* f, unsigned at) {
  for (unsigned n = wp6fnsize(f); at + 1 < n; at += 2) {
    int c = f[at], set = f[at + 1];
    if (c == 0 && set == 0) break;
    if (set == 0) {
      if (c >= 32) cwputc(run, c);
    } else {
      int cp, b;
      if (wp6charcp(run, set, c, &cp, &b) == 0) {
        cwcodepage(run, cp);
        cwputc(run, b);
        cwcodepage(run, 437);
      }
    }
  }
}

// Writes the 16-bit text of the input to a zero character.
void wtextin(cvrun* run) {
  for (;;) {
    int c = cwgetc(run), set = cwgetc(run);
    if (set < 0 || (c == 0 && set == 0)) break;
    if (set == 0) {
      if (c >= 32) cwputc(run, c);
    } else {
      int cp, b;
      if (wp6charcp(run, set, c, &cp, &b) == 0) {
        cwcodepage(run, cp);
        cwputc(run, b);
        cwcodepage(run, 437);
      }
    }
  }
}

cwfielddesc field(int kind, int subtype, int closed) {
  cwfielddesc d{};
  d.version = 1;
  d.kind = kind;
  d.subtype = subtype;
  d.closed = closed;
  for (int32_t& h : d.streams) h = -1;
  return d;
}

}  // namespace

int wp6embed(cvrun* run, int number, int kind, int occur) {
  wp6state* s = wp6st(run);
  wp6packet* p = number > 0 ? wp6findpkt(run, number) : nullptr;
  if (!p) {
    if (kind <= 1) {
      cwhfstop(run, occur >> 8);
    } else {
      s->missing = 1;
    }
    return -1;
  }
  if (!wp6pushpkt(run, p->offset, p->size)) return -1;
  s = wp6st(run);
  if (kind == 5) {
    // A box text: count c, header size n, c values, the rest of the header.
    unsigned c = static_cast<unsigned>(readw(run));
    int64_t n = readl(run);
    skipn(run, 4 * static_cast<int64_t>(c));
    skipn(run, n - 6 - 4 * static_cast<int64_t>(c));
  } else if (kind == 4) {
    unsigned c = static_cast<unsigned>(readw(run));
    readl(run);
    skipn(run, 4 * static_cast<int64_t>(c));
  } else {
    int count = readw(run);
    if (count > 1) s->missing = 1;
    int64_t head = static_cast<int32_t>(readl(run));
    if (head - 6 < 0) {
      s->missing = 1;
      wp6poppkt(run);
      return -1;
    }
    skipn(run, head - 6);
  }
  wp6fmt keep = s->f;
  s->ntexts++;
  wp6tabnone(s);
  wp6fontreset(run);
  cwhfdesc d{};
  d.version = 1;
  d.which = occur >> 8;
  d.occur = occur & 3;
  switch (kind) {
    case 0:
      s->f.hdron = 1;
      cwheadbeg(run, &d);
      break;
    case 1:
      s->f.ftron = 1;
      cwfootbeg(run, &d);
      break;
    case 2: cwftnbeg(run); break;
    case 3: cwednbeg(run); break;
    case 4: cwcmtbegin(run); break;
    default: break;
  }
  wp6text(run);
  s = wp6st(run);
  switch (kind) {
    case 0: {
      cwheadend(run);
      int gap = s->f.hdrgap == -1 ? 360 : s->f.hdrgap, lines = s->f.hdrlines ? s->f.hdrlines : 1;
      cwsethdrgap(run, gap);
      cwsettmar(run, lines * 240 + gap + s->f.tmar);
      break;
    }
    case 1: {
      cwfootend(run);
      int gap = s->f.ftrgap == -1 ? 360 : s->f.ftrgap, lines = s->f.ftrlines ? s->f.ftrlines : 1;
      cwsetftrgap(run, gap);
      cwsetbmar(run, lines * 240 + gap + s->f.bmar);
      break;
    }
    case 2: cwftnend(run); break;
    case 3: cwednend(run); break;
    case 4: cwcmtend(run); break;
    default: break;
  }
  s->f = keep;
  s->ntexts--;
  wp6poppkt(run);
  return 0;
}

// The functions of this file, by key.
int wp6subhandler(cvrun* run) {
  wp6state* s = wp6st(run);
  int code = s->key[0], sub = s->key[1];
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  s = wp6st(run);
  switch (code) {
    case 0xD6:
      // Headers A and B, footers A and B: bit 0x04 marks a function to pass over.
      if (!(sub & 0x04)) wp6embed(run, static_cast<int>(wp6w(f, 6)), sub & 0x02 ? 1 : 0, sub << 8 | (wp6b(f, 10) & 3));
      break;
    case 0xD7:
      if (sub == 0 || sub == 2) wp6embed(run, static_cast<int>(wp6w(f, 6)), sub == 0 ? 2 : 3, 0);
      break;
    case 0xD8: {
      unsigned o = wp6b(f, 4) ? 11 : 8;
      int level = static_cast<int>(wp6b(f, o)), value = static_cast<int>(wp6w(f, o + 1));
      if (sub == 2) {
        cwsetpgnum(run, value);
        s->f.pagecount = value;
      } else if (sub == 7) {
        cwnotenum(run, 0, value, CW_ENCBYTE);
        s->f.ftnnum = value;
      } else if (sub == 8) {
        cwnotenum(run, 2, value, CW_ENCBYTE);
        s->f.ednnum = value;
      } else if (sub == 6 && level < 8) {
        cwlistdesc d{};
        d.version = 1;
        d.level = level + 1;
        d.start = value + 1;
        d.fmt = d.higher = -1;
        d.enc = CW_ENCBYTE;
        cwlistdef(run, &d);
      }
      break;
    }
    case 0xDA:
      if (sub == 4) {
        cwspecial(run, 4);
        s->f.proc = WP6_NOTEXT;
      } else if (sub == 0x0E || sub == 0x10) {
        s->f.proc = WP6_NOTEXT;
      } else if (sub == 5 || sub == 0x0F || sub == 0x11) {
        s->f.proc = WP6_ON;
      }
      break;
    case 0xDB: case 0xDC: {
      int step = code == 0xDB ? 1 : -1;
      if (sub == 2) {
        s->f.pagecount += step;
        cwsetpgnum(run, s->f.pagecount);
      } else if (sub == 7) {
        s->f.ftnnum += step;
        cwnotenum(run, 0, s->f.ftnnum, CW_ENCBYTE);
      } else if (sub == 8) {
        s->f.ednnum += step;
        cwnotenum(run, 2, s->f.ednnum, CW_ENCBYTE);
      }
      break;
    }
    case 0xDD: {
      wp6style* st = wp6stylefind(run, static_cast<int>(wp6w(f, 6)));
      if (!st) break;
      switch (sub) {
        case 0: case 4: cwstyleon(run, st->key); break;
        case 2: case 8:
          cwstyleoff(run, st->key);
          s->f.styleclosed = 1;
          break;
        case 1: case 3: case 7: cwstyleclose(run); break;
        case 9:
          cwstyleclose(run);
          cwnewline(run, 1);
          s->f.styleclosed = 0;
          break;
        default: break;
      }
      break;
    }
    case 0xD4:
      switch (sub) {
        case 0x1D: {
          // A comment: its packet names the packet of its text.
          wp6packet* p = wp6findpkt(run, static_cast<int>(wp6w(f, 6)));
          if (!p || !wp6pushpkt(run, p->offset, p->size)) {
            s->missing = 1;
            break;
          }
          readw(run);
          int text = readw(run);
          wp6poppkt(run);
          wp6embed(run, text, 4, 0);
          break;
        }
        case 0x07: {
          cwfielddesc d = field(2, 2, 0);
          cwfldbeg(run, &d);
          if (wp6b(f, 4)) {
            wp6packet* p = wp6findpkt(run, static_cast<int>(wp6w(f, 6)));
            if (!p || !wp6pushpkt(run, p->offset, p->size)) {
              s->missing = 1;
            } else {
              wtextin(run);
              wp6poppkt(run);
            }
          } else {
            wtext(run, f, 7);
          }
          cwfldend(run);
          break;
        }
        case 0x0A: {
          cwfielddesc d = field(0, static_cast<int>(wp6b(f, 7)), 1);
          cwfldbeg(run, &d);
          break;
        }
        case 0x0C: {
          cwfielddesc d = field(3, 0, 0);
          cwfldbeg(run, &d);
          wtext(run, f, 7);
          break;
        }
        case 0x0B: case 0x0D:
          cwfldend(run);
          break;
        case 0x20:
          s->f.proc = WP6_NOTEXT;
          break;
        case 0x21:
          s->f.proc = WP6_ON;
          cwdatefmt(run, s->datepic);
          break;
        case 0x22: {
          int n = 0;
          for (unsigned at = 9; at + 1 < wp6fnsize(f) && n < 30; at += 2) {
            unsigned item = wp6w(f, at);
            if (item == 0) break;
            if (item >> 8 == 0xFA) {
              unsigned l = item & 0xFF;
              int v;
              if (l <= 3) v = '6';
              else if (l <= 7) v = '1';
              else if (l <= 11) v = '3';
              else if (l <= 15) v = '2';
              else if (l <= 17) v = '4';
              else if (l <= 21) v = '5';
              else if (l == 22) continue;
              else if (l <= 25) v = '8';
              else if (l <= 28) v = '7';
              else if (l <= 31) v = '8';
              else if (l <= 34) v = '9';
              else if (l <= 37) v = 1;
              else if (l <= 41) v = '0';
              else continue;
              s->datepic[n++] = v;
            } else {
              s->datepic[n++] = static_cast<int32_t>(item);
            }
          }
          s->datepic[n] = -1;
          break;
        }
        case 0x32:
          cwlistnum(run, static_cast<int>(wp6b(f, 9)) + 1);
          s->f.proc = WP6_NOTEXT;
          break;
        case 0x33:
          s->f.proc = WP6_ON;
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
  wp6fnfree(run, f);
  return 0;
}
