// The text-loading cycle: one source batch runs through the source's reader,
// translator and loader engine, which live for that batch only. Closing or
// requeueing the batch is the listener's part.
#include "dr/drd/drd.h"

int drqsldc(drsrvstate *s, int32_t srcid) {
  drdmpol *src = drqpol(s, srcid);
  if (!src) {
    dracnerr(s, DRFAC_DRG, 50607, 2, DRA_INT, (int)srcid, 0);
    druetrc();
    return 1;
  }

  int rc = 1;
  drobj *rdr = nullptr, *trn = nullptr, *ldr = nullptr;
  if (drasmobj(s, s->seshp, src, DRCLS_READER) != 0 ||
      drasmobj(s, s->seshp, src, DRCLS_TRANSLATOR) != 0 ||
      drasmobj(s, s->seshp, src, DRCLS_LOADER) != 0)
    goto done;
  rdr = src->comp[DRCLS_READER - 1].obj;
  trn = src->comp[DRCLS_TRANSLATOR - 1].obj;
  ldr = src->comp[DRCLS_LOADER - 1].obj;

  {
    int r = drops<drrdrops>(rdr)->scan(rdr);
    if (r == 2) {
      dracnprt(s, s->log, "nothing to be done\n", 0);
      rc = 0;
      goto done;
    }
    if (r != 0) goto done;

    char target[98];
    int n = drasmfmt(s->fmt, target, sizeof target, "%s.%s", DRA_STR, src->owner, DRA_STR,
                     src->table, 0);
    if (n < 0) {
      dracnierr(s, DRFAC_DRG, 50100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, n, 0);
      goto done;
    }
    if (drops<drtrnops>(trn)->target(trn, target, src->textexpr) != 0) goto done;

    r = drops<drldrops>(ldr)->load(ldr, trn, rdr);
    if (r == 2) {
      dracnprt(s, s->log, "All documents processed.\n", 0);
      rc = 0;
    } else {
      dracnprt(s, s->log, "Load cycle completed with complications.\n", 0);
    }
  }

done:
  drasmtlfre(s, src);
  if (rc != 0) druetrc();
  return rc;
}
