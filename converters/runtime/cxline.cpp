// Line layout on the intermediate-record path: breaking the output line at
// its last blank outside records, correcting a centred or right-aligned
// line's alignment record to its printed width, and the tab and ruler records.
// Both layout routines work backwards on output already written.
#include "converters/runtime/cx.h"

#include <initializer_list>

namespace {

constexpr int ESC = 27, GS = 29, RS = 30, US = 31;

bool among(int code, std::initializer_list<int> set) {
  for (int c : set)
    if (c == code) return true;
  return false;
}

// The look-back ring: the last three bytes seen inside records, oldest last,
// so that at GS it holds the code letters in their written order.
void ringpush(unsigned char* ring, int c) {
  ring[2] = ring[1];
  ring[1] = ring[0];
  ring[0] = static_cast<unsigned char>(c);
}

int ringcode(const unsigned char* ring) {
  char t[3] = {static_cast<char>(ring[0]), static_cast<char>(ring[1]), static_cast<char>(ring[2])};
  return cmpack(t);
}

// Puts every byte still in the stream forward again, in output order.
void putall(cxstate* st, int s) {
  for (int c; (c = cxspop(st, s)) != -1;) cxputc(st, c);
}

// Puts one record forward again, from its GS (the stream's top) through
// the RS that closes it.
void putrecord(cxstate* st, int s) {
  int nest = 0;
  for (int c; (c = cxspop(st, s)) != -1;) {
    cxputc(st, c);
    if (c == ESC) nest++;
    if (c == RS) {
      if (nest == 0) return;
      nest--;
    }
  }
}

// Puts bytes forward up to and including the next US; false (with the stop
// byte kept in the stream) when the record ends first.
bool putfield(cxstate* st, int s) {
  for (int c; (c = cxspop(st, s)) != -1;) {
    if (c == RS) {
      cxsputc(st, c, s);
      return false;
    }
    cxputc(st, c);
    if (c == US) return true;
  }
  return false;
}

bool dropfield(cxstate* st, int s) {
  for (int c; (c = cxspop(st, s)) != -1;) {
    if (c == RS) {
      cxsputc(st, c, s);
      return false;
    }
    if (c == US) return true;
  }
  return false;
}

int ccwrap(cxstate* st, int brk, int align, int left, int right, int last) {
  int s = cxsopen(st, 1024);
  if (s == -1) return 0;
  int depth = 0;
  bool unmeasured = false;
  int ucount = 0;
  bool nobreak = last != 0;
  unsigned char* ring = st->nm->wrapring;
  for (;;) {
    int c = cxunputc(st);
    if (c == -1) {
      putall(st, s);
      nobreak = true;
      break;
    }
    cxsputc(st, c, s);
    if (depth > 0) {
      if (c == GS) {
        int code = ringcode(ring);
        if (!unmeasured && among(code, {2100, 2692, 3336, 3347, 13413, 13971, 18625, 25219})) {
          putrecord(st, s);  // the break goes right after it
          break;
        }
        if (!unmeasured && among(code, {2152, 2702, 12563, 12744, 12755, 13938, 14734})) {
          putall(st, s);
          nobreak = true;
          break;
        }
        if (among(code, {14533, 20677})) unmeasured = true;
        if (among(code, {14982, 20934})) unmeasured = false;
      } else {
        ringpush(ring, c);
      }
      if (c == ESC) depth--;
      else if (c == RS) depth++;
      continue;
    }
    if (c == RS) {
      depth++;
      continue;
    }
    if (unmeasured) {
      ucount++;
      continue;
    }
    if (c == ' ') {
      cxputc(st, cxspop(st, s));  // the blank stays on the line
      break;
    }
  }
  if (align == 1 || align == 2) ccalignfix(st, left, right);
  if (align == 1) cmputcode(st, 20581);
  if (align == 2 || align == 3) cmputcode(st, 20517);
  cmbegin(st, 12755);
  if (nobreak) cmputdec(st, 1);
  cmend(st);
  if (brk == 1) cmputcode(st, 16851);
  if (brk == 2) cmputcode(st, 2163);
  if (align == 1) {
    cmbegin(st, 25219);
    cmputdec(st, 0);
    cmputdec(st, static_cast<int>(static_cast<unsigned>(left + right) >> 1));
    cmputdec(st, left);
    cmend(st);
  } else if (align == 2) {
    cmbegin(st, 18625);
    cmputdec(st, 10);
    cmputdec(st, right);
    cmputdec(st, left);
    cmend(st);
  }
  int carried = 0;
  int d = 0;
  for (int c; (c = cxspop(st, s)) != -1;) {
    cxputc(st, c);
    if (c == ESC) d++;
    else if (c == RS) {
      if (d > 0) d--;
      if (d == 0) carried++;
    } else if (d == 0) {
      carried++;
    }
  }
  cxsclose(st, s);
  carried -= ucount;
  return carried < 0 ? 0 : carried;
}

}  // namespace

int ccwrapline(cxstate* st, int brk, int align, int left, int right) {
  return ccwrap(st, brk, align, left, right, 0);
}

int ccwrap2(cxstate* st, int brk, int align, int left, int right) {
  return ccwrap(st, brk, align, left, right, 1);
}

int ccalignfix(cxstate* st, int left, int right) {
  int s = cxsopen(st, 1024);
  if (s == -1) return 0;
  int depth = 0;
  int uscount = 0;
  int width = 0;
  bool counting = false;
  unsigned char* ring = st->nm->alignring;
  for (;;) {
    int c = cxunputc(st);
    if (c == -1) break;
    cxsputc(st, c, s);
    if (c == RS) {
      depth++;
      uscount = 0;
      continue;
    }
    if (depth > 0) {
      if (c == GS) {
        int code = ringcode(ring);
        if (among(code, {2100, 2692})) width += 3;
        if (among(code, {3336, 3347, 24744})) width += 1;
        if (code == 19573) width += uscount;
        if (among(code, {2152, 12744, 16840, 20517, 20581})) break;
        if (code == 18625 || code == 25219) {
          int value;
          if (code == 18625) {
            value = right - width + 1;
            if (value < left) value = left;
          } else {
            int room = (right - left - width) / 2;
            value = left + (room > 0 ? room : 0);
          }
          for (int i = 0; i < 4; i++) cxputc(st, cxspop(st, s));  // GS and the code
          if (putfield(st, s) && putfield(st, s)) {
            if (dropfield(st, s)) cmputdec(st, value);
          }
          break;
        }
      } else if (c == US) {
        uscount++;
        ringpush(ring, c);
      } else {
        ringpush(ring, c);
      }
      if (c == ESC) depth--;
    } else {
      if (c != ' ') counting = true;
      if (counting) width++;
    }
    if (width >= right + 10) break;
  }
  putall(st, s);
  cxsclose(st, s);
  return 0;
}

int ccputtabs(cxstate* st, int offset) {
  unsigned char bitmap[32] = {};
  int n = st->sb->tabcount;
  if (n < 0) n = 0;
  if (n > CX_NTABS) n = CX_NTABS;
  int unit = st->sb->unitflag;
  for (int i = 0; i < n; i++) {
    int pos = offset + st->ob->tabpos[i];
    if (unit == 1) pos = (pos + 72) / 144;
    if (pos >= 0 && pos <= 255) bitmap[pos >> 3] |= static_cast<unsigned char>(0x80 >> (pos & 7));
  }
  cmbegin(st, 2702);
  for (unsigned char b : bitmap) cmputhex2(st, b, 31);
  int kinds = n < CX_NTABKINDS ? n : CX_NTABKINDS;
  int written = 0;
  int cur = 0;
  for (int i = 0; i < kinds; i++) {
    char k = st->nm->tabkind[i];
    if (i % 2 == 0) {
      cur = k == 'D' ? 0x30 : k == 'R' ? 0x20 : k == 'C' ? 0x10 : k == 'V' ? 0x80 : 0;
    } else {
      cur |= k == 'D' ? 3 : k == 'R' ? 2 : k == 'C' ? 1 : k == 'V' ? 8 : 0;
      cmputhex2(st, cur, 31);
      written++;
    }
  }
  if (kinds % 2 == 1) {
    cmputhex2(st, cur, 31);
    written++;
  }
  for (; written < 20; written++) cmputhex2(st, 0, 31);
  bool leaders = false;
  for (int i = 0; i < kinds; i++)
    if (st->nm->tablead[i]) leaders = true;
  if (leaders) {
    for (int i = 0; i < CX_NTABKINDS; i++) cmputhex2(st, st->nm->tablead[i], 31);
  } else if (unit == 1) {
    for (int i = 0; i < CX_NTABKINDS; i++) cmputhex2(st, 0, 31);
  }
  if (unit == 1) {
    cmputdec(st, n);
    for (int i = 0; i < n; i++) cmputdec(st, offset + st->ob->tabpos[i]);
  }
  cmend(st);
  return 0;
}

int ccputruler(cxstate* st, int kind, int n, const int32_t* pos, const char* leaders,
               const unsigned char* alignch, int (*writer)(cxstate* st, int c)) {
  if (!pos || n < 0) return 0;
  cmbegin(st, 12978);
  cmputhex2(st, kind, 31);
  cmputdec(st, n);
  for (int i = 0; i < n; i++) cmputdec(st, pos[i] < 0 ? 0 : pos[i]);
  bool wroteleaders = false;
  if (leaders) {
    bool allL = true;
    for (int i = 0; i < n; i++)
      if (leaders[i] != 'L' && leaders[i] != 0) allL = false;
    if (!allL) {
      for (int i = 0; i < n; i++) {
        cxputc(st, leaders[i] ? leaders[i] : 'L');
        cxputc(st, US);
      }
      wroteleaders = true;
    }
  }
  if (alignch) {
    bool any = false;
    for (int i = 0; i < n; i++)
      if (alignch[i]) any = true;
    if (any) {
      if (!wroteleaders)
        for (int i = 0; i < n; i++) {
          cxputc(st, 'L');
          cxputc(st, US);
        }
      for (int i = 0; i < n; i++) {
        int c = alignch[i];
        if (c) {
          if (writer) writer(st, c);
          else cxputc(st, (c < 32 || c > 127) ? '.' : c);
        }
        cxputc(st, US);
      }
    }
  }
  cmend(st);
  return n;
}

const unsigned char* ccfindnot(cxstate* st, const unsigned char* b, int value, int n) {
  for (int i = 0; i < n; i++)
    if (b[i] != static_cast<unsigned char>(value)) return b + i;
  return nullptr;
}

int ccnop1(cxstate* st) { return 0; }
int ccnop2(cxstate* st, int flag) { return 0; }
int ccnop3(cxstate* st) { return 0; }
