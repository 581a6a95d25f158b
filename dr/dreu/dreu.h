// Posting lists in memory: the list managers (dreul.h) and the posting-list
// codec (drel.h). Other modules include this header only.
#ifndef KES_DR_DREU_DREU_H
#define KES_DR_DREU_DREU_H

#include "dr/dreu/dreul.h"
#include "dr/dreu/drel.h"

#endif
