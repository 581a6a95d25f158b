// The intermediate file as plain text in ISO 8859-1: text bytes pass, the
// records for line ends, spaces, hyphens and characters become characters,
// and every other record is dropped with everything nested in it.
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include "converters/runtime/comcodes.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kbuf = 4096;
constexpr int klatin1 = 8591;

// The next input byte, -1 at the end.
int convtextnext(convstate* st) {
  if (st->txinpos >= st->txincount) {
    int n = convmfget(st, st->txinh, st->txin, kbuf);
    if (n <= 0) return -1;
    st->txincount = n;
    st->txinpos = 0;
  }
  return st->txin[st->txinpos++];
}

// Writes the output buffer to the text file; false when not all of it went.
bool convtxwrite(convstate* st) {
  int n = st->txoutcount;
  st->txoutcount = 0;
  return n == 0 || convmfput(st, st->txouth, st->txout, n) == n;
}

bool convtextput(convstate* st, int c) {
  if (st->txoutcount == st->txoutcap && !convtxwrite(st)) return false;
  st->txout[st->txoutcount++] = static_cast<unsigned char>(c);
  st->txlast = c;
  return true;
}

bool convtextcrlf(convstate* st) { return convtextput(st, '\r') && convtextput(st, '\n'); }

// Skips the rest of a record: depth 1, ESC one deeper, RS one shallower.
void convtextskip(convstate* st) {
  for (int depth = 1, c; (c = convtextnext(st)) != -1;) {
    if (c == COM_ESC)
      depth++;
    else if (c == COM_RS && --depth == 0)
      return;
  }
}

// One field in hex or decimal: the value at US; -1 at RS (the record has
// ended) and, when no value above 0 came, at the end of the input.
int convtextfield(convstate* st, bool hex) {
  uint32_t v = 0;
  for (;;) {
    int c = convtextnext(st);
    if (c == COM_US) return static_cast<int>(v & 0x7FFFFFFF);
    if (c == COM_RS) return -1;
    if (c == -1) return v > 0 ? static_cast<int>(v & 0x7FFFFFFF) : -1;
    int d = cvhexval(c);
    if (d >= 0 && (hex || d < 10)) v = v * (hex ? 16u : 10u) + static_cast<uint32_t>(d);
  }
}

int convtexthex(convstate* st) { return convtextfield(st, true); }
int convtextdec(convstate* st) { return convtextfield(st, false); }

int convtextpack(const char* three) { return comcodepack(three); }

// A character in ISO 8859-1, '_' where there is none.
bool putxlat(convstate* st, int from, int c) {
  int x = c < 0 ? -1 : convcpxlat(from, klatin1, c);
  return convtextput(st, x > 0 ? x : '_');
}

// The rest of a record after the field reads: skipped unless a field read
// already met its RS (value -1).
void skipunlessended(convstate* st, int lastfield) {
  if (lastfield != -1) convtextskip(st);
}

// Handles one record after its ESC; 0, or -1 for a broken record.
int convtextcode(convstate* st) {
  if (convtextnext(st) != COM_GS) return -1;
  char t[4] = {};
  for (int i = 0; i < 3; i++) {
    int c = convtextnext(st);
    if (c == -1) return -1;
    t[i] = static_cast<char>(c);
  }
  bool ok = true;
  switch (convtextpack(t)) {
    case 12744:  // hard line end
      ok = convtextcrlf(st);
      convtextskip(st);
      break;
    case 2152:   // column break, cell and row separator
    case 6657:   // end of a box
    case 14533:  // end of a note
    case 24776:  // end of a header or footer
    case 16840:  // hard page break: the words on either side stay apart
      if (st->txlast != '\n') ok = convtextcrlf(st);
      convtextskip(st);
      break;
    case 12755: {  // soft line end; field 1 = 1 when it adds no space
      int f = convtextdec(st);
      if (f != 1 && st->txlast != ' ') ok = convtextput(st, ' ');
      skipunlessended(st, f);
      break;
    }
    case 2100:   // tab
    case 18510:  // non-breaking space
      ok = convtextput(st, ' ');
      convtextskip(st);
      break;
    case 3336:   // non-breaking hyphen
    case 12552:
    case 12563:
      ok = convtextput(st, '-');
      convtextskip(st);
      break;
    case 24744: {  // a code-page-437 character below 32
      int v = convtexthex(st);
      ok = convtextput(st, v == 9 || v == 20 || v == 21 ? v : '_');
      skipunlessended(st, v);
      break;
    }
    case 19573:  // code-page-437 characters of 128 and above, up to the RS
      for (int v; ok && (v = convtexthex(st)) != -1;) ok = putxlat(st, 437, v);
      break;
    case 19576: {  // a character of another code page, then its 437 fallback
      int cp = convtextdec(st);
      int c = cp == -1 ? -1 : convtexthex(st);
      skipunlessended(st, c);
      ok = putxlat(st, cp, c);
      int next = convtextnext(st);
      if (next == COM_ESC) convtextskip(st);
      break;
    }
    case 3149: {  // multi-byte text mode: 1 on, 0 off (an inline run is dropped)
      int f = convtextdec(st);
      if (f == 1 && !st->txhexmode) {
        st->txhexmode = 1;
        st->txhexdigits = 0;
      } else if (f == 0 && st->txhexmode) {
        if (st->txhexdigits > 0) ok = convtextput(st, '_');
        st->txhexmode = 0;
      }
      skipunlessended(st, f);
      break;
    }
    default:
      convtextskip(st);
  }
  return ok ? 0 : -1;
}

// A text byte. In multi-byte mode the text is hex digits, four to a
// double-byte character, which has no ISO 8859-1 form: one '_' each.
bool convtexttext(convstate* st, int c) {
  if (!st->txhexmode || cvhexval(c) < 0) return convtextput(st, c);
  if (++st->txhexdigits < 4) return true;
  st->txhexdigits = 0;
  return convtextput(st, '_');
}

// A run of text bytes in the input buffer up to the next record (outside
// multi-byte mode): copied whole. The bytes it took, 0 when none; -1 when
// the text could not be written.
int convtextrun(convstate* st) {
  if (st->txhexmode || st->txinpos >= st->txincount) return 0;
  const unsigned char* p = st->txin + st->txinpos;
  size_t left = static_cast<size_t>(st->txincount - st->txinpos);
  const void* esc = std::memchr(p, COM_ESC, left);
  size_t n = esc ? static_cast<size_t>(static_cast<const unsigned char*>(esc) - p) : left;
  for (size_t done = 0; done < n;) {
    if (st->txoutcount == st->txoutcap && !convtxwrite(st)) return -1;
    size_t k = std::min(n - done, static_cast<size_t>(st->txoutcap - st->txoutcount));
    std::memcpy(st->txout + st->txoutcount, p + done, k);
    st->txoutcount += static_cast<int>(k);
    done += k;
  }
  if (n > 0) st->txlast = p[n - 1];
  st->txinpos += static_cast<int>(n);
  return static_cast<int>(n);
}

void convtxclose(convstate* st) {
  convmfshut(st, st->txinh);
  convmfshut(st, st->txouth);
}

}  // namespace

int convcpcol(int codepage) {
  static const int cols[] = {437, 9999, 850, 819, 8591, 9998, 8592, 9997};
  for (int i = 0; i < 8; i++)
    if (cols[i] == codepage) return i;
  return -1;
}

int convcpxlat(int from, int to, int c) {
  if (from == to) return c;
  bool symbolic = from == 9997 || from == 9998 || to == 9997 || to == 9998;
  if (c >= 32 && c <= 127 && !symbolic) return c;
  int f = convcpcol(from), t = convcpcol(to);
  if (f < 0 || t < 0) return -1;
  for (const cvcprow& r : cvcptab)
    if (r.code[f] == c && (r.mask & (1u << f))) return r.code[t];
  return -1;
}

int convtotext(convstate* st) {
  st->txinh = convmfcreate(st, "kvj99int.tmp", 1);
  if (st->txinh == -1) return -1;
  st->txouth = convmfcreate(st, "ascii.tmp", 2);
  if (st->txouth == -1) {
    convmfshut(st, st->txinh);
    return -1;
  }
  st->txin = static_cast<unsigned char*>(convbnew(st, kbuf));
  st->txout = static_cast<unsigned char*>(convbnew(st, kbuf));
  if (!st->txin || !st->txout) {
    convtxclose(st);
    convbfree(st, st->txin);
    convbfree(st, st->txout);
    st->txin = st->txout = nullptr;
    return -1;
  }
  st->txinpos = st->txincount = st->txoutcount = 0;
  st->txoutcap = kbuf;
  st->txlast = '\n';
  st->txhexmode = st->txhexdigits = 0;
  for (int c;;) {
    int run = convtextrun(st);
    if (run < 0) return -1;
    if (run > 0) continue;
    if ((c = convtextnext(st)) == -1) break;
    bool ok = c == COM_ESC ? convtextcode(st) == 0 : convtexttext(st, c);
    // A text that cannot be written whole is not handed out as if it were.
    if (!ok) return -1;
  }
  if (st->txhexmode && st->txhexdigits > 0 && !convtextput(st, '_')) return -1;
  bool written = convtxwrite(st);
  convtxclose(st);
  convbfree(st, st->txin);
  convbfree(st, st->txout);
  st->txin = st->txout = nullptr;
  return written ? 0 : -1;
}
