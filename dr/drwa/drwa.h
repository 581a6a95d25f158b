/* The word list of a policy (class 5). Until the word list with its own
 * tables is built, a stand-in serves: its operations succeed and do nothing,
 * and its expansion answers wildcards with the index's matching words. */
#ifndef KES_DR_DRWA_DRWA_H
#define KES_DR_DRWA_DRWA_H

#include <cstdint>

#include "dr/dras/drwlops.h"

struct drdmpol;

/* Words a wildcard may stand for; more refuse the query with 50937. */
enum { DRWAZ_MAXWORDS = 5000 };

/* Builds the stand-in word list of a policy in a heap; it reaches the index
 * through the policy's engine. Null after the heap layer's 10900. */
drobj *drwaznew(drsrvstate *s, drheap h, int32_t prefid, drdmpol *pol);

#endif
