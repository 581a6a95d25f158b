/* The dispatcher: the message record commands and replies share, the
 * dispatcher state with its three statements, the replies (success, error,
 * chunked data) sent through dispatcher.reply, the out-of-band read through
 * dispatcher.get_oob, the argument setters and the delimited lists. */
#ifndef KES_DR_DRM_DRM_H
#define KES_DR_DRM_DRM_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"
#include "platform/nls/nls.h"

/* Bytes of text one argument slot carries. */
enum { DRM_SLOTMAX = 2000 };
/* Bytes of data one data reply carries. */
enum { DRM_CHUNK = 1024 };
/* Argument slots of a message. */
enum { DRM_NARGS = 10 };
/* Reply codes. */
enum { DRM_RPOK = 101, DRM_RPERR = 102, DRM_RPDAT = 105 };

/* One argument slot. The text holds at most DRM_SLOTMAX bytes; the extra
 * byte keeps a NUL behind a full slot so that it can always be read as a
 * string. */
struct drmslot {
  uint16_t len;                /* bytes of text */
  int16_t ind;                 /* -1: null */
  uint16_t fill;
  char text[DRM_SLOTMAX + 1];  /* NUL-terminated */
};

/* A message: a command read by the listener or a reply sent back. */
struct drmcmd {
  drmslot addr;                /* return address */
  int32_t id;                  /* message id (batch id, service request number) */
  drmslot user;                /* the user who sent it; not sent in a reply */
  int32_t cmd;                 /* command code, or the reply code */
  drmslot args[DRM_NARGS];     /* argument 1 to argument 10 */
};

/* The dispatcher state, hung on the server state. */
struct drmstate {
  int32_t oobprs;   /* out-of-band statement parsed */
  int32_t lsnprs;   /* listener statement parsed */
  int32_t rplprs;   /* reply statement parsed */
  druocur oobcur;   /* out-of-band cursor */
  druocur lsncur;   /* listener cursor */
  druocur rplcur;   /* reply cursor */
  int32_t msgid;    /* id of the message being served */
};

/* Logs the start of the dispatcher and hangs a fresh dispatcher state on the
 * server state; 0, or 1 after 10900. */
int drmini(drsrvstate *s);
/* Closes the dispatcher's parsed statements and frees its state; 0. */
int drmfre(drsrvstate *s);

/* Prepares a reply to a command: its id and return address, everything
 * else null. */
void drmrpini(drsrvstate *s, const drmcmd *cmd, drmcmd *reply);
/* Sends a reply through dispatcher.reply; 0, 2 when the database refused
 * what it carries (no text of the session's character set; the database's
 * text pushed, the server may go on), or 1 with 50300 (fatal) pushed. */
int drmrply(drsrvstate *s, drmcmd *reply);
/* Sends a reply as success (101); 0, 1 or 2 as drmrply. */
int drmrpok(drsrvstate *s, drmcmd *reply);
/* Sends a reply as error (102) carrying every error-stack text in argument 1;
 * 0 or 1 (a refused error reply counts as not sent). */
int drmrperr(drsrvstate *s, drmcmd *reply);
/* Sends data as consecutive data replies (105) of at most 1024 bytes each;
 * 0, or the result of the first send that failed (1 or 2 as drmrply). */
int drmrpdat(drsrvstate *s, const drmcmd *cmd, const void *data, uint32_t len);
/* Reads the next out-of-band message into msg; returns dispatcher.get_oob's
 * result (1 or 3: none waits), or 100 when the statement failed. */
int drmoob(drsrvstate *s, drmcmd *msg);

/* Argument setters; idx counts from 0 for argument 1. */

/* Puts at most 1999 bytes of whole characters of text into the slot; the
 * bytes placed (an empty text makes the argument null). */
uint16_t drmsettxt(drsrvstate *s, drmcmd *reply, unsigned idx, const char *text);
/* Puts the decimal text of a signed 32-bit value into the slot. */
void drmsetint(drsrvstate *s, drmcmd *reply, unsigned idx, int32_t value);
/* Puts the decimal text of an unsigned 32-bit value into the slot. */
void drmsetuint(drsrvstate *s, drmcmd *reply, unsigned idx, uint32_t value);
/* Copies bytes into the slot, never more than the slot holds; the bytes
 * placed (length 0 makes the argument null). */
uint16_t drmsetraw(drsrvstate *s, drmcmd *reply, unsigned idx, size_t len, const void *bytes);

/* Delimited lists: every item is preceded by the delimiter, so a list's
 * first character names it. */

/* Called for each item with its index from 0; 0 goes on, anything else stops. */
typedef int (*drmlstcb)(drsrvstate *s, void *data, uint32_t idx, char *item);
/* Calls cb for every item of a list; count gets the number of items; 0, or
 * the callback's first non-zero result. */
int drmlstwalk(drsrvstate *s, const char *list, drmlstcb cb, void *data, uint32_t *count);
/* Builds a list of count items, each asked of cb (into a 2000-byte buffer)
 * and preceded by the first character of delim; 0, or 1 after 51922 when
 * the list does not fit buf. */
int drmlstjoin(drsrvstate *s, char *buf, size_t size, drmlstcb cb, void *data, uint32_t count,
               const char *delim);

/* The session's character set (a single-byte set when its name is not
 * known). */
const nlscs *drmcs(drsrvstate *s);

/* Does nothing; 1. */
int drmnop(void);

#endif
