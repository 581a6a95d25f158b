/* Utilities of the server: the error stack (drue.h); the keyed tables, the
 * string arena and the cursor layer add their own headers here. */
#ifndef KES_DR_DRU_DRU_H
#define KES_DR_DRU_DRU_H

#include "dr/dru/drue.h"
#include "dr/dru/druh.h"
#include "dr/dru/drub.h"
#include "dr/dru/druo.h"

#endif
