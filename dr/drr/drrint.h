/* What the writers of this module share: the allocation of a writer with
 * its template. */
#ifndef KES_DR_DRR_DRRINT_H
#define KES_DR_DRR_DRRINT_H

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dru/drue.h"

/* A zero-filled writer of record W from heap, its head copied from the
 * template and its state and heap set; null after 10900. */
template <class W, class Ops>
W *drrmake(drsrvstate *s, drheap heap, const drobjhd<Ops> &tpl) {
  auto *w = static_cast<W *>(drumalc(s, s->hpmgr, heap, 1, sizeof(W), __FILE__, __LINE__));
  if (!w) {
    druetrc();
    return nullptr;
  }
  w->hd = tpl;
  w->st = s;
  w->heap = heap;
  return w;
}

#endif
