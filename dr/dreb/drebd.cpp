// The doc-id manager: forwards to the key map and the id-list store in a
// fixed order, and journals the blocks a run reserves so that undo can
// remove what the run wrote, newest block first.
#include <cstring>

#include "dr/dreb/dreb.h"
#include "dr/dru/drue.h"

namespace {

int drebdfree(drobj *o);
int drebdclose(drobj *o, int32_t unused);
int drebdtabs(drobj *o, int32_t action);
int drebdalloc(drobj *o, int32_t count, int32_t *first);
int drebdins(drobj *o, int32_t count, const char *const *keys, int32_t first);
int drebdrelease(drobj *o);
int drebdundo(drobj *o);
int drebdretire(drobj *o, int32_t count, const char *const *keys);
int drebddelids(drobj *o, int32_t count, const int32_t *ids);
int drebdkeys(drobj *o, int32_t count, const int32_t *ids, int32_t *found, char **keys,
              uint8_t *scores, const char *view);
int drebddead(drobj *o, int32_t max, int32_t *count, int32_t **list);
int drebdids(drobj *o, int32_t count, const char *const *keys, int32_t *found, int32_t *ids);
int drebdmaxid(drobj *o, int32_t *id);
int drebdtake(drobj *o);

const drobjhd<drdidops> kTpl = {{0, 0, "Base engine doc id manager"},
                                {.free = drebdfree,
                                 .close = drebdclose,
                                 .tabs = drebdtabs,
                                 .alloc = drebdalloc,
                                 .ins = drebdins,
                                 .release = drebdrelease,
                                 .undo = drebdundo,
                                 .retire = drebdretire,
                                 .delids = drebddelids,
                                 .keys = drebdkeys,
                                 .dead = drebddead,
                                 .ids = drebdids,
                                 .maxid = drebdmaxid,
                                 .take = drebdtake}};

drebdmgr *mgr(drobj *o) { return reinterpret_cast<drebdmgr *>(o); }
const drkeyops *km(drebdmgr *m) { return drops<drkeyops>(m->keymap); }
const drilsops *il(drebdmgr *m) { return drops<drilsops>(m->idlist); }

int internal(drsrvstate *st, int line, int32_t a = 0, int32_t b = 0) {
  dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_SB4, &a, DRA_SB4, &b,
            DRA_END);
  druetrc();
  return 1;
}

void *take(drebdmgr *m, size_t bytes) {
  return drumalz(m->st, m->st->hpmgr, m->heap, bytes, __FILE__, __LINE__);
}

void give(drebdmgr *m, void *p) {
  if (p) drumfre(m->st, m->st->hpmgr, m->heap, &p);
}

int drebdfree(drobj *o) {
  drebdmgr *m = mgr(o);
  int rc = 0;
  // The store goes even when the key map reports a failure.
  if (m->keymap && km(m)->free(m->keymap) != 0) rc = 1;
  if (m->idlist && il(m)->free(m->idlist) != 0) rc = 1;
  void *p = m;
  drumfre(m->st, m->st->hpmgr, m->heap, &p);
  if (rc) druetrc();
  return rc;
}

int drebdclose(drobj *o, int32_t) {
  drebdmgr *m = mgr(o);
  int rc = km(m)->close(m->keymap, 3) != 0;
  if (il(m)->close(m->idlist, 3) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

int drebdtabs(drobj *o, int32_t action) {
  drebdmgr *m = mgr(o);
  if (km(m)->tabs(m->keymap, action) != 0 || il(m)->tabs(m->idlist, action) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebdalloc(drobj *o, int32_t count, int32_t *first) {
  drebdmgr *m = mgr(o);
  // A block the journal could not record could never be undone: refuse it
  // before it is reserved.
  if (m->jused >= DREBD_JOURNAL) return internal(m->st, __LINE__, m->jused, count);
  int rc = il(m)->alloc(m->idlist, count, first);
  if (rc != 0) {
    druetrc();
    return rc;
  }
  m->jfirst[m->jused] = *first;
  m->jcount[m->jused] = count;
  ++m->jused;
  return 0;
}

int drebdins(drobj *o, int32_t count, const char *const *keys, int32_t first) {
  drebdmgr *m = mgr(o);
  int rc = km(m)->put(m->keymap, count, keys, first);
  if (rc != 0) druetrc();
  return rc;
}

int drebdrelease(drobj *o) {
  drebdmgr *m = mgr(o);
  int rc = il(m)->release(m->idlist);
  m->jused = 0;
  if (rc != 0) druetrc();
  return rc;
}

int drebdundo(drobj *o) {
  drebdmgr *m = mgr(o);
  // Newest block first; a failure keeps that block and the older ones, so
  // that a later undo can finish the work.
  while (m->jused > 0) {
    int i = m->jused - 1;
    if (km(m)->delrange(m->keymap, m->jfirst[i], m->jcount[i]) != 0) {
      druetrc();
      return 1;
    }
    --m->jused;
  }
  if (il(m)->retire(m->idlist) != 0) {
    druetrc();
    return 1;
  }
  m->jused = 0;
  return 0;
}

int drebdretire(drobj *o, int32_t count, const char *const *keys) {
  drebdmgr *m = mgr(o);
  if (count <= 0) return 0;
  auto *ids = static_cast<int32_t *>(take(m, sizeof(int32_t) * static_cast<size_t>(count)));
  if (!ids) {
    druetrc();
    return 1;
  }
  int32_t found = 0;
  int rc = km(m)->ids(m->keymap, count, keys, &found, ids);
  if (rc == 0) rc = km(m)->delids(m->keymap, found, ids);
  if (rc == 0) rc = il(m)->putdel(m->idlist, found, ids);
  if (rc == 0 && druocmt(m->st, &druorepq) != 0) rc = 1;  // a failed commit pushes nothing
  give(m, ids);
  if (rc != 0) druetrc();
  return rc;
}

int drebddelids(drobj *o, int32_t count, const int32_t *ids) {
  drebdmgr *m = mgr(o);
  if (km(m)->delids(m->keymap, count, ids) != 0 || il(m)->purge(m->idlist) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebdkeys(drobj *o, int32_t count, const int32_t *ids, int32_t *found, char **keys,
              uint8_t *scores, const char *view) {
  drebdmgr *m = mgr(o);
  auto *store = reinterpret_cast<drebpstore *>(m->idlist);
  int rc = km(m)->keys(m->keymap, store->lst, count, ids, found, keys, scores, view);
  if (rc == 1) druetrc();
  return rc;
}

int drebddead(drobj *o, int32_t max, int32_t *count, int32_t **list) {
  drebdmgr *m = mgr(o);
  *count = 0;
  if (*list) {
    int rc = il(m)->getdel(m->idlist, max, count, *list);
    if (rc == 1) druetrc();
    return rc;
  }
  if (max <= 0) return 0;  // nothing asked, nothing read
  int32_t slots = max / DREBD_PIECE + 1;
  auto **pieces = static_cast<int32_t **>(take(m, sizeof(int32_t *) * static_cast<size_t>(slots)));
  if (!pieces) {
    druetrc();
    return 1;
  }
  std::memset(pieces, 0, sizeof(int32_t *) * static_cast<size_t>(slots));
  int32_t used = 0, total = 0, lastgot = 0;
  int rc = 0;
  while (total < max) {
    if (used == slots) {
      rc = internal(m->st, __LINE__, used, max);
      break;
    }
    int32_t n = max - total < DREBD_PIECE ? max - total : int32_t{DREBD_PIECE};
    pieces[used] = static_cast<int32_t *>(take(m, sizeof(int32_t) * static_cast<size_t>(n)));
    if (!pieces[used]) {
      rc = 1;
      break;
    }
    ++used;
    int32_t got = 0;
    rc = il(m)->getdel(m->idlist, n, &got, pieces[used - 1]);
    if (rc == 1) break;
    total += got;
    lastgot = got;
    if (rc == 2) break;
    if (got != n) {
      rc = internal(m->st, __LINE__, got, n);
      break;
    }
  }
  if (rc != 1 && total > 0) {
    auto *all = static_cast<int32_t *>(take(m, sizeof(int32_t) * static_cast<size_t>(total)));
    if (!all) {
      rc = 1;
    } else {
      int32_t at = 0;
      for (int32_t i = 0; i < used; ++i) {
        int32_t n = i + 1 < used ? int32_t{DREBD_PIECE} : lastgot;
        std::memcpy(all + at, pieces[i], sizeof(int32_t) * static_cast<size_t>(n));
        at += n;
      }
      *list = all;
    }
  }
  for (int32_t i = 0; i < used; ++i) give(m, pieces[i]);
  give(m, pieces);
  if (rc == 1) {
    druetrc();
    return 1;
  }
  *count = total;
  return rc;
}

int drebdids(drobj *o, int32_t count, const char *const *keys, int32_t *found, int32_t *ids) {
  drebdmgr *m = mgr(o);
  if (!keys || !found) {
    druetrc();
    return 1;
  }
  int rc = km(m)->ids(m->keymap, count, keys, found, ids);
  if (rc != 0) druetrc();
  return rc;
}

int drebdmaxid(drobj *o, int32_t *id) {
  drebdmgr *m = mgr(o);
  int rc = il(m)->maxid(m->idlist, id);
  if (rc != 0) druetrc();
  return rc;
}

int drebdtake(drobj *o) {
  drebdmgr *m = mgr(o);
  int rc = il(m)->take(m->idlist);
  if (rc != 0) druetrc();
  return rc;
}

}  // namespace

drobj *drebdnew(drsrvstate *st, drheap heap, int32_t polid, drdplist *attrs) {
  auto *m = drobjnew<drebdmgr>(st, heap, kTpl);
  if (!m) return nullptr;
  m->polid = polid;
  m->attrs = attrs;
  m->keymap = drebknew(st, heap);
  if (m->keymap && drops<drkeyops>(m->keymap)->bnd(m->keymap, polid, attrs) == 0)
    m->idlist = drebpnew(st, heap, polid, attrs);
  if (!m->idlist) {
    drebdfree(&m->hd.obj);
    druetrc();
    return nullptr;
  }
  return &m->hd.obj;
}
