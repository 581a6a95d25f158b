// Installs the writer's steps of a run and the readers that exist; the
// formats without a reader keep the driver's entries that end with status 9.
#include "filters/readers/rdr.h"

#include "filters/framework/writer/cw.h"
#include "filters/readers/text/txr.h"

void rdrregister() {
  cvsethooks(&cwhooks);
  convsetreader(1, txrmain);
}
