/* Result tables: the server's side of the database package dr_rtm that
 * hands out result tables for a session and takes them back. The result
 * writers that fill those tables join this module later. */
#ifndef KES_DR_DRR_DRR_H
#define KES_DR_DRR_DRR_H

#include <cstdint>

#include "dr/dra/dra.h"

/* Bytes of a result table's name with its NUL. */
enum { DRR_TABNAME = 32 };

/* Asks dr_rtm.allocate for a table of a type with keycnt key columns for a
 * session; its name goes into name (DRR_TABNAME bytes). 0, or 1 after 52005. */
int drrtalc(drsrvstate *s, int32_t sessid, const char *type, char *name, int32_t keycnt);
/* Gives a table back through dr_rtm.deallocate; 0, or 1 after 52006. */
int drrtdea(drsrvstate *s, const char *name);
/* Asks dr_rtm.recover to recover the package's tables; 0, or 1 after 52007. */
int drrtrcv(drsrvstate *s);
/* Checks that a user holds a right (SELECT, INSERT, DELETE ...) on a table
 * a message names, before the server uses the table for him; 0, or 1 after
 * 52009 (not a plain [schema.]name) or 52008. */
int drrtprv(drsrvstate *s, const char *user, const char *table, const char *right);

#endif
