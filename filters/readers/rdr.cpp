// Installs the writer's steps of a run and the readers that exist; the
// formats without a reader keep the driver's entries that end with status 9.
#include "filters/readers/rdr.h"

#include "filters/framework/writer/cw.h"
#include "filters/readers/html/htr.h"
#include "filters/readers/text/txr.h"
#include "filters/readers/wp/wp5.h"
#include "filters/readers/wp/wp6.h"
#include "filters/word/ww.h"

void rdrregister() {
  cvsethooks(&cwhooks);
  convsetreader(1, txrmain);
  convsetreader(108, htrmain);
  convsetreader(7, wp5main);
  convsetreader(48, wp6main);
  convsetreader(49, wwrmain);
}
