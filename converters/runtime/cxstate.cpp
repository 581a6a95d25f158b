// The converter state record: building it with its defaults and destroying it.
// The constructors of the individual converters call cxnewst with their blocks.
#include "converters/runtime/cx.h"

#include <cstdlib>
#include <cstring>

namespace {

void* blkalloc(cxhostalloc_t ha, size_t n) {
  void* p = ha ? ha(n) : std::malloc(n);
  if (p) std::memset(p, 0, n);
  return p;
}

void blkfree(cxhostfree_t hf, void* p) {
  if (!p) return;
  if (hf)
    hf(p);
  else
    std::free(p);
}

const char* const pipenames[13] = {
    "QUIT",       "PRINT",         "OPEN_FILE", "READ_FILE", "WRITE_FILE",
    "SEEK_FILE",  "CLOSE_FILE",    "GET_FILE_SIZE", "RENAME", "UNLINK",
    "CHECK_EXIST", "END_OF_FILE", "END_OF_FILE"};

const size_t commonsize[CX_NSLOTS] = {
    sizeof(cxnames), sizeof(cxmain), sizeof(cxio), sizeof(cxstblk), sizeof(cxfileblk),
    sizeof(cxoptblk), 0, 0, sizeof(cxcommon)};

void defaults(cxstate* st) {
  std::strcpy(st->nm->intfile, "vtl99int.tmp");
  std::strcpy(st->nm->exceptlist, "except.lst");
  std::strcpy(st->nm->optstr, "0");
  st->io->docfile = -1;
  st->io->dffirst = 1;
  st->io->inhandle = -1;
  st->io->outhandle = -1;
  st->io->pbover = -1;
  st->sb->optflag1 = 1;
  st->sb->buflimit = -1;
  st->sb->zonehandle = -1;
  st->sb->zonedepth = -1;
  st->fb->pipereply = -1;
  st->fb->queueid = 0;
  st->fb->pipereq = -1;
  st->fb->picfmt = -999;
  st->fb->spillhandle = -1;
  st->fb->spillowner = -1;
  st->fb->outkind = 4;
  st->fb->optdt = 1;
  cxcommon* cm = st->cm;
  cm->msgrec = &cm->msgkind;
  cm->queuearg = -1;
  cm->stdouthandle = -1;
  cm->stdinhandle = -1;
  cm->peerpid = -1;
  // The registry starts empty (-1) so that the run's end can always find and
  // close what the run opened, whether or not cxregsinit has run.
  for (auto& r : cm->regnamed) r.handle = -1;
  for (int& h : cm->reganon) h = -1;
  cm->bar[0] = '>';
  std::memset(cm->bar + 1, ' ', 50);
  cm->bar[51] = '<';
  cm->bar[52] = '\r';
  for (int i = 0; i < 13; i++) std::strcpy(cm->pipenames[i], pipenames[i]);
}

}  // namespace

void** cxslot(cxstate* st, int i) {
  switch (i) {
    case 0: return reinterpret_cast<void**>(&st->nm);
    case 1: return reinterpret_cast<void**>(&st->mn);
    case 2: return reinterpret_cast<void**>(&st->io);
    case 3: return reinterpret_cast<void**>(&st->sb);
    case 4: return reinterpret_cast<void**>(&st->fb);
    case 5: return reinterpret_cast<void**>(&st->ob);
    case 6: return &st->w2blk;
    case 7: return &st->w2docblk;
    case 8: return reinterpret_cast<void**>(&st->cm);
    case 9: return &st->xifblk;
    case 10: return reinterpret_cast<void**>(&st->rcg);
    case 11: return &st->slot11;
    case 12: return &st->lotblk;
    case 13: return &st->wpc6blk;
    case 14: return &st->apblk;
    case 15: return &st->wpc5blk;
    case 16: return &st->mwblk;
    case 17: return &st->mwdocblk;
    case 18: return &st->w6blk;
    case 19: return &st->wdblk;
    case 20: return &st->slot20;
    case 21: return &st->slot21;
    case 22: return &st->slot22;
    default: return nullptr;
  }
}

cxstate* cxnewst(const cxblkspec* blocks, int nblocks, void (*destructor)(cxstate*),
                 cxhostalloc_t hostalloc, cxhostfree_t hostfree) {
  auto* st = static_cast<cxstate*>(blkalloc(hostalloc, sizeof(cxstate)));
  if (!st) return nullptr;
  bool ok = true;
  for (int i = 0; i < CX_NSLOTS && ok; i++) {
    if (!commonsize[i]) continue;
    void* b = blkalloc(hostalloc, commonsize[i]);
    if (!b) ok = false;
    *cxslot(st, i) = b;
  }
  for (int k = 0; k < nblocks && ok; k++) {
    void** slot = cxslot(st, blocks[k].slot);
    if (!slot || *slot || blocks[k].size == 0) {
      ok = false;  // a bad or repeated slot is a programming error; refuse it
      break;
    }
    void* b = blkalloc(hostalloc, blocks[k].size);
    if (!b) ok = false;
    *slot = b;
  }
  if (!ok) {
    for (int i = 0; i < CX_NSLOTS; i++) blkfree(hostfree, *cxslot(st, i));
    blkfree(hostfree, st);
    return nullptr;
  }
  st->cm->hostalloc = hostalloc;
  st->cm->hostfree = hostfree;
  defaults(st);
  st->mn->destructor = destructor;
  for (int k = 0; k < nblocks; k++)
    if (blocks[k].init) blocks[k].init(*cxslot(st, blocks[k].slot));
  return st;
}

void cxw2init(void* block) {
  static_cast<cxw2head*>(block)->setsink = -1;
}

void cxfreest(cxstate* st) {
  if (!st) return;
  cxfreeall(st);
  cxhostfree_t hf = st->cm->hostfree;
  for (int i = 0; i < CX_NSLOTS; i++) {
    void* b = *cxslot(st, i);
    if (b && b != st->cm) blkfree(hf, b);
  }
  blkfree(hf, st->cm);
  blkfree(hf, st);
}
