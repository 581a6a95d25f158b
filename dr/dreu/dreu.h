// Posting lists in memory: the list managers (dreul.h) and the posting-list
// codec (drel.h). Other modules include this header only.
#pragma once

#include "dr/dreu/dreul.h"
#include "dr/dreu/drel.h"
