// Streams of the run's compound document seen as virtual files: the six file
// callbacks of a virtual file map onto the stream operations of the document
// whose slot the run keeps in docfile, so a stream name opens like a file.
#include "converters/runtime/df.h"

int dfcbopen(cxstate *st, const char *name, int mode, int share) {
  return dfstmopen(st, st->io->docfile, name, mode, share);
}

int dfcbclose(cxstate *st, int handle) { return dfstmclose(st, st->io->docfile, handle); }

int dfcbread(cxstate *st, int handle, void *buf, int n) {
  return dfstmread(st, st->io->docfile, handle, buf, n);
}

int dfcbwrite(cxstate *st, int handle, const void *data, int n) {
  return dfstmwrite(st, st->io->docfile, handle, data, n);
}

int dfcbseek(cxstate *st, int handle, int offset, int origin) {
  return dfstmseek(st, st->io->docfile, handle, offset, origin);
}

// Every name counts as existing: a missing stream is found out at its open.
int dfcbexists(cxstate *, const char *) { return 0; }

int dfopenread(cxstate *st, const char *path, dferrcb_t errcb) {
  st->io->docfile = dfopen(st, path, 1, nullptr, errcb);
  return st->io->docfile;
}

int dfopenwrite(cxstate *st, const char *path, dferrcb_t errcb) {
  st->io->docfile = dfopen(st, path, 2, nullptr, errcb);
  return st->io->docfile;
}

int dfopenstream(cxstate *st, const char *name, int window) {
  return bfopen(st, name, window, 1, dfcbopen, dfcbclose, dfcbread, dfcbwrite, dfcbseek, dfcbexists);
}

int dfcreatestream(cxstate *st, const char *name, int window) {
  return bfopen(st, name, window, 2, dfcbopen, dfcbclose, dfcbread, dfcbwrite, dfcbseek, dfcbexists);
}

int32_t dfsize(cxstate *st, int f) { return bfsize(st, f); }
int32_t dfseek(cxstate *st, int f, int32_t pos) { return bfseek(st, f, pos); }
int32_t dftell(cxstate *st, int f) { return bftell(st, f); }
int32_t dfread(cxstate *st, int f, void *buf, int32_t n) { return bfread(st, f, buf, n); }
int32_t dfwrite(cxstate *st, int f, const void *data, int32_t n) { return bfwrite(st, f, data, n); }
int dfclosestream(cxstate *st, int f) { return bfclose(st, f); }

int dfgetc(cxstate *st, int f) {
  if (bftell(st, f) >= bfsize(st, f)) return -1;
  unsigned char c;
  if (bfread(st, f, &c, 1) != 1) return -1;
  return c;
}

int dfclose(cxstate *st) {
  int rc = dfdocclose(st, st->io->docfile);
  st->io->docfile = -1;
  return rc;
}
