// Options of a stand-alone converter process (command line or option file)
// and its signal handling. Nothing here is switched on inside the server.
#include "converters/runtime/cx.h"

#include <csignal>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t ktextmax = 1024;

int up(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

bool prefix(const char* s, const char* p) {
  for (; *p; s++, p++)
    if (up(static_cast<unsigned char>(*s)) != *p) return false;
  return true;
}

// The value of an option: the text after its letters and an optional "=".
const char* value(const char* s) {
  if (*s == '=') s++;
  while (*s == ' ') s++;
  return s;
}

void setfield(char* field, size_t size, const char* text) {
  std::snprintf(field, size, "%s", text);
}

// Starts (or restarts) the continued text of an S or X option.
char* starttext(cxstate* st, char*& slot, const char* text) {
  if (!slot) slot = static_cast<char*>(cxalloc(st, ktextmax));
  if (slot) setfield(slot, ktextmax, text);
  return slot;
}

// The run of the stand-alone process, for the signal handler.
cxstate* gsigstate;

void sighandler(int sig) {
  // A signal handler cannot unwind the run: record the status and end the
  // process with it (a stand-alone converter process is one run).
  int status = (sig == SIGFPE || sig == SIGSEGV) ? CX_SIGNAL : sig;
  if (gsigstate) {
    gsigstate->sb->abortflag = 1;
    gsigstate->cm->exitstatus = status;
  }
  ::_exit(status);
}

}  // namespace

uint32_t ccoption(cxstate* st, const char* text) {
  while (*text == ' ' || *text == '\t') text++;
  cxmain* mn = st->mn;
  if (*text != '-' && *text != '/') {
    char* cont = mn->optcont == 'S' ? mn->stext : mn->optcont == 'X' ? mn->xtext : nullptr;
    if (cont && *text) {
      size_t n = std::strlen(cont);
      std::snprintf(cont + n, ktextmax - n, " %s", text);
    }
    return 0;
  }
  mn->optcont = 0;
  const char* o = text + 1;
  switch (up(static_cast<unsigned char>(*o))) {
    case 'A':
      return 0x4000;
    case 'B':
      if (prefix(o, "BT")) {
        const char* name = value(o + 2);
        char buf[300];
        if (!*name && mn->firstarg) {
          setfield(buf, sizeof buf, mn->firstarg);
          char* dot = std::strrchr(buf, '.');
          char* slash = std::strrchr(buf, '/');
          if (dot && (!slash || dot > slash)) *dot = '\0';
          std::strncat(buf, ".bti", sizeof buf - std::strlen(buf) - 1);
          name = buf;
        }
        if (*name) {
          if (mn->zonefile) cxfree(st, mn->zonefile);
          size_t n = std::strlen(name) + 1;
          mn->zonefile = static_cast<char*>(cxalloc(st, n));
          if (mn->zonefile) std::memcpy(mn->zonefile, name, n);
        }
        return 0;
      }
      if (prefix(o, "BP=")) {
        st->fb->pipecap = std::atoi(o + 3);
        return 0;
      }
      return 1;
    case 'C':
      if (prefix(o, "CDC")) {
        st->sb->statflags |= 0x01;
        return 0;
      }
      return ccoptfile(st, value(o + 1));
    case 'D':
      if (prefix(o, "DT")) st->fb->optdt = 0;
      return 0;
    case 'E':
      if (o[1] == '=') setfield(st->nm->convdir, sizeof st->nm->convdir, o + 2);
      return 0;
    case 'F':
      mn->ftext = const_cast<char*>(o + 1);
      return 0;
    case 'G':
      if (o[1] == '1') {
        st->sb->optword = 1;
        st->sb->statflags = 0;
      } else if (prefix(o, "GD")) {
        st->sb->statflags |= 0x02;
      } else if (prefix(o, "GX")) {
        st->sb->statflags |= 0x04;
      } else if (prefix(o, "GRER")) {
        st->sb->statflags |= 0x40;
      } else if (prefix(o, "GRR")) {
        st->sb->statflags |= 0x10;
      } else if (prefix(o, "GRE")) {
        st->sb->statflags |= 0x20;
      } else if (prefix(o, "GVX")) {
        st->sb->statflags |= 0x10 | 0x100;
      } else if (prefix(o, "GV")) {
        st->sb->statflags |= 0x80 | 0x10;
      } else if (prefix(o, "GE")) {
        cxextentread(st);
      } else if (prefix(o, "GTF")) {
        st->fb->gtf = std::atoi(o + 3);
      }
      return 0;
    case 'I':
      if (prefix(o, "IF")) return 0x2000;
      if (prefix(o, "IN") && o[1] && o[2] && o[3] == '=') {
        st->fb->pipereply = std::atoi(o + 4);
        return 0x400;
      }
      return 2;
    case 'L':
      st->sb->optword = 0;
      return 0;
    case 'M':
      if (prefix(o, "MZ")) setfield(st->nm->mztext, sizeof st->nm->mztext, o + 2);
      return 0;
    case 'N':
      if (prefix(o, "NR")) {
        setfield(st->nm->nrtext, sizeof st->nm->nrtext, o + 2);
        return 0x200;
      }
      return 0x80;
    case 'O':
      if (prefix(o, "OO")) st->fb->modebits = (st->fb->modebits & ~7) | 1;
      else if (prefix(o, "ON")) st->fb->modebits = (st->fb->modebits & ~7) | 2;
      else if (prefix(o, "OP")) st->fb->modebits = (st->fb->modebits & ~7) | 4;
      else if (prefix(o, "OD")) st->fb->modebits |= 8;
      else if (prefix(o, "OU") && o[1] && o[2] && o[3] && o[4] == '=') {
        st->fb->pipereq = std::atoi(o + 5);
        return 0x400;
      }
      return 0;
    case 'P':
      if (o[1] == '\0') return 0x40;
      if (prefix(o, "PID=")) {
        st->cm->peerpid = std::atoi(o + 4);
        return 0;
      }
      if (prefix(o, "PC")) return 0x28;
      if (prefix(o, "PE")) {
        if (o[2] == '=') setfield(st->nm->exceptlist, sizeof st->nm->exceptlist, o + 3);
        return 0x08;
      }
      return 0;
    case 'Q':
      st->fb->queueid = std::atoi(value(o + 1));
      return 0;
    case 'R':
      if (prefix(o, "RL=")) {
        setfield(mn->rlfile, sizeof mn->rlfile, o + 3);
        return 0;
      }
      if (prefix(o, "RF")) {
        if (o[2] == '=') setfield(mn->rffile, sizeof mn->rffile, o + 3);
        st->sb->optword = 1;
        return 0;
      }
      setfield(st->nm->nrtext, sizeof st->nm->nrtext, o + 1);
      return 0x100;
    case 'S':
      if (prefix(o, "SETP")) {
        const char* eq = std::strchr(o, '=');
        if (eq && up(static_cast<unsigned char>(eq[1])) == 'A') mn->setpword = 2;
        return 0;
      }
      if (std::strlen(o) >= 2 && starttext(st, mn->stext, o + 1)) mn->optcont = 'S';
      return 0;
    case 'T':
      if (o[1] == '=') {
        setfield(st->nm->intfile, sizeof st->nm->intfile, o + 2);
        return 0;
      }
      if (prefix(o, "TW")) return 0x1000;
      return 0;
    case 'V':
      setfield(st->nm->optstr, sizeof st->nm->optstr, o + 1);
      return 0;
    case 'W':
      st->sb->optword = 0;
      return 0;
    case 'X':
      if (std::strlen(o) >= 3 && starttext(st, mn->xtext, o + 1)) mn->optcont = 'X';
      return 0;
    case 'Z':
      cxbanner(st);
      cxthrow(st, CX_OK);
    default:
      return 0;
  }
}

uint32_t ccoptfile(cxstate* st, const char* path) {
  int32_t size = cxfsize(st, path);
  if (size < 0) return 0;
  int h = cxopen(st, path, 1, 0);
  if (h < 0) return 0;
  auto* text = static_cast<char*>(cxalloc(st, static_cast<size_t>(size) + 1));
  if (!text) {
    cxclose(st, h);
    return 0;
  }
  int got = 0;
  while (got < size) {
    int r = cxread(st, h, text + got, size - got);
    if (r <= 0) break;
    got += r;
  }
  cxclose(st, h);
  uint32_t flags = 0;
  if (got == size) {
    text[size] = '\0';
    if (char* eof = static_cast<char*>(std::memchr(text, 26, static_cast<size_t>(size)))) *eof = '\0';
    const char* p = text;
    while (*p == ' ' || *p == '\t') p++;
    char line[1024];
    while (*p) {
      while (*p == '\r' || *p == '\n') p++;
      size_t n = 0;
      while (p[n] && p[n] != '\r' && p[n] != '\n') n++;
      if (n > 0) {
        // A longer line is cut at 1023 characters.
        size_t k = n < sizeof line - 1 ? n : sizeof line - 1;
        std::memcpy(line, p, k);
        line[k] = '\0';
        flags |= ccoption(st, line);
      }
      p += n;
    }
  }
  cxfree(st, text);
  return flags;
}

uint32_t cchexword(cxstate* st, const char* text) {
  uint32_t hi = 0, v = 0;
  bool colon = false;
  for (int i = 0; i < 9 && text[i]; i++) {
    int c = up(static_cast<unsigned char>(text[i]));
    if (c == ':') {
      hi = v;
      v = 0;
      colon = true;
    } else if (c >= '0' && c <= '9') {
      v = v * 16 + static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      v = v * 16 + static_cast<uint32_t>(c - 'A' + 10);
    }
  }
  return colon ? (hi << 16) | (v & 0xFFFF) : v;
}

int ccsiginit(cxstate* st) {
  gsigstate = st;
  for (int sig : {SIGINT, SIGILL, SIGFPE, SIGSEGV}) std::signal(sig, sighandler);
  return 0;
}

int ccsignal(cxstate* st, int sig) {
  st->sb->abortflag = 1;
  cxthrow(st, (sig == SIGFPE || sig == SIGSEGV) ? CX_SIGNAL : sig);
}

int ccargs(cxstate* st, const char* progpath, const char* first, int argc, char** argv) {
  ccsiginit(st);
  setfield(st->mn->progpath, sizeof st->mn->progpath, progpath ? progpath : "");
  st->mn->firstarg = first;
  st->ob->optflags = 1;
  if (first && (first[0] == '-' || first[0] == '/') && up(static_cast<unsigned char>(first[1])) == 'C' &&
      first[2] == '=')
    st->ob->optflags |= ccoption(st, first);
  for (int i = 0; i < argc; i++) st->ob->optflags |= ccoption(st, argv[i]);
  cxregsinit(st);
  return 0;
}
