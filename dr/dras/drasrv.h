/* The server registry: entering the server in the database's registry of
 * running servers (which names it and gives it its mailbox address and
 * session id), reporting it running, and leaving the registry. */
#ifndef KES_DR_DRAS_DRASRV_H
#define KES_DR_DRAS_DRASRV_H

#include "dr/dra/dra.h"

/* Registers the server with its personality mask (draserm.add); the state
 * then holds the name, mailbox address and session id assigned. 0 / 1. */
int drasmadd(drsrvstate *s);
/* Reports the server running with no idle time (draserm.upd); 0 / 1. */
int drasmupd(drsrvstate *s);
/* Removes the server from the registry (draserm.del); 0 / 1. */
int drasmdel(drsrvstate *s);

#endif
