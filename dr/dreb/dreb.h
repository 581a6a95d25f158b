/* The index engine: the base engine (drebe.h) with its indexer (drebi.h),
 * indexing driver (dreup.h) and stored-query manager (drebs.h), and its id
 * storage: the id-list store (drebp.h), the key map (drebk.h) and the
 * doc-id manager over both (drebd.h); its query and highlight (drebq.h). Other modules include this header
 * only. */
#ifndef KES_DR_DREB_DREB_H
#define KES_DR_DREB_DREB_H

#include "dr/dreb/drebd.h"
#include "dr/dreb/drebe.h"
#include "dr/dreb/drebi.h"
#include "dr/dreb/drebk.h"
#include "dr/dreb/drebp.h"
#include "dr/dreb/drebq.h"
#include "dr/dreb/drebs.h"
#include "dr/dreb/dreup.h"

#endif
