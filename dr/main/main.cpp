// veksrv: the text-retrieval server process.
#include "dr/main/drmain.h"

int main(int argc, char **argv) {
  // The marker comes before anything else, so that other processes see the
  // server from its first moment.
  if (drmkfile() != 0) return 3;
  int rc = drsrvrun(argc, argv);
  drmkdone();
  return rc;
}
