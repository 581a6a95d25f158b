/* Id storage of the index engine: the id-list store (drebp.h), the key map
 * (drebk.h) and the doc-id manager over both (drebd.h). Other modules
 * include this header only. */
#ifndef KES_DR_DREB_DREB_H
#define KES_DR_DREB_DREB_H

#include "dr/dreb/drebd.h"
#include "dr/dreb/drebk.h"
#include "dr/dreb/drebp.h"

#endif
