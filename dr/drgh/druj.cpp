// Japanese detection reads the document once in small pieces and stops at
// the first byte pair that only one encoding can have; EUC, which pure ASCII
// also is, wins when none does. JIS is converted by two small state
// machines; EUC and Shift-JIS go through the national-language layer.
#include "dr/drgh/druj.h"

#include <cstring>

#include "dr/dra/dra.h"

namespace {

enum { kArea = 1024, kOut = 2048 };

void decide(drujstate *r, int32_t enc) {
  r->enc = enc;
  if (enc == DRUJ_JIS) {
    r->dcs = nullptr;
    r->dlang = nullptr;
    return;
  }
  nlsws ws;
  nlswsinit(&ws);
  const char *name = enc == NLS_JA16SJIS ? "JAPANESE_JAPAN.JA16SJIS" : "JAPANESE_JAPAN.JA16EUC";
  if (nlsread(&ws, &r->lang, name) != 0) {
    nlsdefaults(&r->lang);
    r->lang.cs = nlscsbyid(static_cast<uint16_t>(enc));
  }
  r->dlang = &r->lang;
  r->dcs = r->lang.cs;
}

// The scan: 0 with the decision made, 1 when a read fails.
int drujscan(drujstate *r, druvfd *buf) {
  unsigned char a[kArea];
  size_t n = 0, i = 0;
  bool eof = false, bound = true;
  for (;;) {
    if (n - i < 3) {
      if (eof) break;
      std::memmove(a, a + i, n - i);
      n -= i;
      i = 0;
      int16_t got = druvfread(buf, a + n, static_cast<int16_t>(kArea - n));
      if (got < 0) return 1;
      if (got == 0) eof = true;
      n += static_cast<size_t>(got);
      continue;
    }
    unsigned char b = a[i], c = a[i + 1];
    if (b == 0x1B) {
      if (c == 0x24 && (a[i + 2] == 0x42 || a[i + 2] == 0x40)) {
        decide(r, DRUJ_JIS);
        return 0;
      }
      i += c == 0x24 ? 3 : 2;
    } else if (b <= 0x7E) {
      bound = true;
      ++i;
    } else if (b == 0x8E) {
      if ((c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xA0) || (c >= 0xE0 && c <= 0xFC)) {
        decide(r, NLS_JA16SJIS);
        return 0;
      }
      i += 2;
    } else if (b >= 0x81 && b <= 0x9F) {
      decide(r, NLS_JA16SJIS);
      return 0;
    } else if (b >= 0xA1 && b <= 0xDF && bound) {
      if (c == 0xFD || c == 0xFE) {
        decide(r, NLS_JA16EUC);
        return 0;
      }
      if (c <= 0xA0) {
        decide(r, NLS_JA16SJIS);
        return 0;
      }
      bound = false;
      i += 2;
    } else if (b >= 0xE0 && bound) {
      if (c <= 0xA0) {
        decide(r, NLS_JA16SJIS);
        return 0;
      }
      i += 2;
    } else {
      ++i;
    }
  }
  decide(r, NLS_JA16EUC);
  return 0;
}

// JIS into EUC (toeuc) or into Shift-JIS.
const char *jis(drujstate *r, const unsigned char *in, size_t len, unsigned char *out,
                size_t size, size_t *outlen, bool toeuc) {
  size_t i = 0, o = 0;
  while (i < len && o < size) {
    unsigned char b = in[i];
    if (b == 0x1B) {
      if (len - i < 3) break;
      unsigned char c = in[i + 1], d = in[i + 2];
      if (c == 0x24 && (d == 0x42 || d == 0x40)) r->jis = 1;
      else if (c == 0x28 && d == 0x49) r->jis = 2;
      else if (c == 0x28 && (d == 0x42 || d == 0x4A)) r->jis = 0;
      else {
        r->jis = 3;
        ++i;
        continue;
      }
      i += 3;
      continue;
    }
    switch (r->jis) {
      case 3:
        while (i < len && in[i] < 0x30) ++i;
        if (i < len) {
          r->jis = 0;
          ++i;
        }
        break;
      case 1: {
        if (len - i < 2 || size - o < 2) goto done;
        unsigned j1 = in[i], j2 = in[i + 1];
        if (toeuc) {
          out[o] = static_cast<unsigned char>(j1 | 0x80);
          out[o + 1] = static_cast<unsigned char>(j2 | 0x80);
        } else {
          out[o] = static_cast<unsigned char>((j1 + 1) / 2 + (j1 < 0x5F ? 0x70 : 0xB0));
          out[o + 1] = static_cast<unsigned char>(j1 % 2 == 0 ? j2 + 0x7E
                                                 : j2 <= 0x5F ? j2 + 0x1F
                                                              : j2 + 0x20);
        }
        o += 2;
        i += 2;
        break;
      }
      case 2:
        if (toeuc) {
          if (size - o < 2) goto done;
          out[o++] = 0x8E;
        }
        out[o++] = static_cast<unsigned char>(b | 0x80);
        ++i;
        break;
      default: out[o++] = b; ++i; break;
    }
  }
done:
  *outlen = o;
  return reinterpret_cast<const char *>(in + i);
}

}  // namespace

int drujinit(drsrvstate *st, drujstate *r) {
  *r = drujstate{};
  r->st = st;
  r->srvcs = dracncs(st);
  r->srvid = r->srvcs ? r->srvcs->id : 0;
  return 0;
}

int drujdetect(drujstate *r, druvfd *buf) {
  if (r->srvid == NLS_JA16EUC || r->srvid == NLS_JA16SJIS) return drujscan(r, buf);
  r->enc = DRUJ_NONE;
  r->dcs = nullptr;
  r->dlang = nullptr;
  return 0;
}

const char *drujchunk(drujstate *r, const char *in, size_t len, char *out, size_t size,
                      size_t *outlen) {
  *outlen = 0;
  if (r->dcs && r->dcs != r->srvcs) {
    // Whole characters while they fit: EUC and Shift-JIS by arithmetic,
    // any other pair through the character-set converter, whose growth
    // bounds what one pass may take.
    size_t used = 0;
    long n = nlsjaconv(r->srvcs, out, size, r->dcs, in, len, &used);
    if (n < 0) {
      unsigned ratio = nlsratio(r->srvcs, r->dcs);
      if (ratio == 0) return nullptr;
      size_t take = nlswhole(r->dcs, in, size / ratio < len ? size / ratio : len);
      n = nlsconv(r->srvcs, out, size, r->dcs, in, take, &used);
      if (n < 0) return nullptr;
    }
    *outlen = static_cast<size_t>(n);
    return in + used;
  }
  const auto *u = reinterpret_cast<const unsigned char *>(in);
  auto *w = reinterpret_cast<unsigned char *>(out);
  if (r->enc == DRUJ_JIS && r->srvid == NLS_JA16EUC) return jis(r, u, len, w, size, outlen, true);
  if (r->enc == DRUJ_JIS && r->srvid == NLS_JA16SJIS) return jis(r, u, len, w, size, outlen, false);
  size_t n = len < size ? len : size;
  std::memcpy(out, in, n);
  *outlen = n;
  return in + n;
}

int drujconv(drujstate *r, druvfd *src, druvfd *dst) {
  char in[kArea], out[kOut];
  size_t keep = 0;
  bool eof = false;
  for (;;) {
    size_t len = keep;
    if (!eof) {
      int16_t got = druvfread(src, in + keep, static_cast<int16_t>(kArea - keep));
      if (got < 0) return 1;
      if (got == 0) eof = true;
      len += static_cast<size_t>(got);
    }
    if (len == 0) return 0;
    size_t n = 0;
    const char *rest = drujchunk(r, in, len, out, sizeof out, &n);
    if (!rest) return 1;
    if (n > 0 && druvfwrite(dst, out, static_cast<int16_t>(n)) != static_cast<int16_t>(n)) return 1;
    keep = len - static_cast<size_t>(rest - in);
    // Bytes kept for want of output room are converted after the last
    // read too; what no pass takes is an incomplete last character.
    if (keep == len && (eof || keep == kArea)) return eof ? 0 : 1;
    std::memmove(in, rest, keep);
  }
}
