// WordPerfect 6 box contents other than text: the box-object packet that
// names an image file or lists object packets, object data written through
// the writer's object output, and OLE objects, read from the compound file
// that holds the document or from an OLE 1.0 stream in the packet.
#include <strings.h>

#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

constexpr int kpage = 1024;

// A 16-bit character string ended by a zero character: its character bytes,
// at most max - 1 of them kept. False when the input ends first.
bool units(cvrun* run, char* out, int max) {
  int n = 0;
  for (;;) {
    int c = cwgetc(run), set = c < 0 ? -1 : cwgetc(run);
    if (set < 0) break;
    if (c == 0) {
      out[n] = '\0';
      return true;
    }
    if (n < max - 1) out[n++] = static_cast<char>(c);
  }
  out[n] = '\0';
  return false;
}

bool skip(cvrun* run, int n) {
  for (int i = 0; i < n; i++)
    if (cwgetc(run) < 0) return false;
  return true;
}

// Copies a stream from its start to the end of another.
void copyall(cvrun* run, int from, int to) {
  cvsseek(run, from, 0);
  for (int c; (c = cvsgetc(run, from)) >= 0;) cvsputc(run, to, c);
}

}  // namespace

int wp6objgetc(cvrun* run) {
  int c = cwgetc(run);
  if (c >= 0) convyield(run, 1);
  return c;
}

int wp6objread(cvrun* run, void* buf, int n) {
  int got = cvsread(run, run->in, buf, n);
  if (got > 0) convyield(run, got);
  return got < 0 ? 0 : got;
}

int wp6objput(cvrun* run, int byte) { return cvsputc(run, wp6st(run)->conv, byte); }

int wp6objout(cvrun* run, int byte) { return cvsputc(run, run->out, byte); }

int wp6olegetc(cvrun* run) { return olstgetc(run, wp6st(run)->objslot); }

int wp6objconv(cvrun* run, const wp6packet* p, const wp6boxgeom* box) {
  if (!wp6pushpkt(run, p->offset, p->size)) return -1;
  int h = cvsscratch(run, kpage);
  if (h < 0) {
    wp6poppkt(run);
    return -1;
  }
  cvpushout(run, h);
  cwobjdesc d{};
  d.version = 2;
  d.format = -1;
  d.width = d.dwidth = box->width;
  d.height = d.dheight = box->height;
  d.getbyte = wp6objgetc;
  d.getblock = wp6objread;
  d.slot = -1;
  cwobject(run, &d);
  cvpopout(run);
  wp6poppkt(run);
  return h;
}

int wp6object(cvrun* run, const wp6packet* p, const wp6boxgeom* box) {
  int oflags = cvoptoflags(run) & 7;
  if (oflags != 1 && oflags != 2 && oflags != 4) return -1;
  if (!wp6pushpkt(run, p->offset, p->size)) return -1;
  wp6state* s = wp6st(run);
  // A name ended by a zero byte, a 32-bit value, a flag and what it announces.
  int c;
  while ((c = cwgetc(run)) > 0) {
  }
  bool ok = c == 0 && skip(run, 4);
  int flag = ok ? wp6readw(run) : -1;
  ok = ok && flag >= 0 && (flag == 0 || skip(run, 14));
  if (!ok) {
    wp6poppkt(run);
    return -1;
  }
  int h = -1;
  if (s->version == 3) {
    char name[80];
    units(run, name, sizeof name);
    // "PerfectOffice_OBJECTS", the object's storage, then the stream 3 "WPG20".
    char path[128];
    size_t n = 0;
    auto add = [&](const char* part) {
      size_t k = std::strlen(part);
      if (n + k + 2 > sizeof path) return;
      std::memcpy(path + n, part, k + 1);
      n += k + 1;
    };
    add("PerfectOffice_OBJECTS");
    add(name);
    add("\x03WPG20");
    path[n] = '\0';
    int stg = s->oleslot >= 0 ? olstslotused(run, s->oleslot) : -1;
    int slot = stg >= 0 && name[0] ? olstopenpath(run, stg, path) : -1;
    if (slot >= 0) {
      if (s->objslot >= 0) olstclose(run, s->objslot);
      s->objslot = slot;
      h = cvsscratch(run, kpage);
      if (h >= 0) {
        cvpushout(run, h);
        cwobjdesc d{};
        d.version = 2;
        d.format = -1;
        d.value1 = 1;
        d.v4 = box->x;
        d.v5 = box->y;
        d.width = d.dwidth = box->width;
        d.height = d.dheight = box->height;
        d.slot = slot;
        cwobject(run, &d);
        cvpopout(run);
      }
    }
    wp6poppkt(run);
    return h;
  }
  h = cvsscratch(run, kpage);
  ole1node* node = h >= 0 ? ole1parse(run, wp6objgetc) : nullptr;
  if (!node) {
    if (h >= 0) cvsclose(run, h);
    wp6poppkt(run);
    return -1;
  }
  cvpushout(run, h);
  const ole1view v = {8, box->width, box->height, box->width, box->height, 1000, 1000, 0, 0};
  if (oflags == 1) {
    ole1emit(run, node, &v, wp6objout);
  } else {
    s->conv = cvsscratch(run, 2048);
    if (s->conv >= 0) {
      if (oflags == 2)
        ole1conv(run, node, wp6objput);
      else
        ole1convpres(run, node, &v, wp6objput);
      copyall(run, s->conv, run->out);
      cvsclose(run, s->conv);
      s->conv = -1;
    }
  }
  cvpopout(run);
  ole1free(run, node);
  wp6poppkt(run);
  return h;
}

int wp6boxobj(cvrun* run, const wp6packet* pkt, const wp6boxgeom* box) {
  wp6state* s = wp6st(run);
  bool listed = pkt->flags & 0x01;
  s->boxname[0] = '\0';
  if (!wp6pushpkt(run, pkt->offset, pkt->size)) return 0;
  // The object packets found in the index, each with its converted output.
  struct pair {
    const wp6packet* p;
    int stream;
  };
  pair pairs[16];
  int n = 0;
  bool ole = false;
  if (listed) {
    int count = wp6readw(run);
    for (int i = 0; i < count; i++) {
      int num = wp6readw(run);
      if (num < 0) break;
      const wp6packet* p = wp6findpkt(run, num);
      if (p && n < 16) {
        pairs[n++] = {p, -1};
        ole = ole || p->type == 0x70;
      }
    }
    skip(run, 2 * (count > 0 ? count : 0));
  }
  units(run, s->boxname, sizeof s->boxname);
  wp6poppkt(run);
  if (!listed) return 0;
  int first = 0;
  if (ole) {
    first = 1;
    if (s->version < 3 || strcasecmp(s->boxname, "*OLE*") == 0) s->boxname[0] = '\0';
  }
  for (int i = first; i < n; i++) {
    if (pairs[i].p->type == 0x6F) {
      pairs[i].stream = wp6objconv(run, pairs[i].p, box);
      break;
    }
    if (pairs[i].p->type == 0x70) pairs[i].stream = wp6object(run, pairs[i].p, box);
  }
  s = wp6st(run);
  if (s->capture < 0) s->capture = cvsscratch(run, kpage);
  for (int i = first; i < n; i++) {
    if (pairs[i].stream < 0) continue;
    if (s->capture >= 0) copyall(run, pairs[i].stream, s->capture);
    cvsclose(run, pairs[i].stream);
  }
  return s->capture >= 0 ? 0 : -1;
}
