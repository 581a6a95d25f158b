/* The server process: the start-up marker file, the option parser, the
 * connection steps (log on, registration, dictionary cache, dispatcher) and
 * the start-up and shutdown sequence that main runs. */
#ifndef KES_DR_MAIN_DRMAIN_H
#define KES_DR_MAIN_DRMAIN_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"

/* ---- start-up marker ---- */

/* Writes the marker text for a process id and a lower-cased command line
 * into buf (at most size - 1 bytes and a NUL); returns its length. */
size_t drmktext(int pid, const char *cmdline, char *buf, size_t size);
/* Creates the marker file (exclusively, without following a link, mode
 * 0600; a stale one removed first), writes its text and keeps it open;
 * arranges its removal at exit, and the shutdown on SIGTERM and SIGINT.
 * 0, or 1 after printing why. */
int drmkfile(void);
/* The marker's path while it exists, else an empty string. */
const char *drmkpath(void);
/* Removes the marker file and closes it. */
void drmkdone(void);

/* ---- options ---- */

/* Option kinds. */
enum { DROPT_FLAG = 0, DROPT_VALUE = 1, DROPT_LIST = 2 };
/* Most entries an option table may have. */
enum { DROPT_MAXENT = 64 };

/* One option. */
struct droptent {
  char name[16];     /* with its leading "-", NUL-padded */
  uint8_t minab;     /* minimum abbreviation length minus one */
  uint8_t vclass;    /* 1 takes a value, 2 a flag; not consulted */
  uint8_t mand;      /* 1: must be given */
  uint8_t kind;      /* DROPT_FLAG, DROPT_VALUE or DROPT_LIST */
};

/* An option table. */
struct dropttab {
  uint16_t cnt;                      /* entries */
  void (*usage)(drsrvstate *s);      /* the program's usage text */
  const droptent *ent;               /* cnt entries */
};

/* Takes one option: entry index and value (null for a flag); 0, or 1 after
 * pushing an error. */
typedef int (*droptcb)(drsrvstate *s, void *data, uint8_t idx, const char *value);

/* The parser's record. */
struct droptrec {
  drsrvstate *s;
  const dropttab *tab;
  uint8_t given[DROPT_MAXENT];   /* 1 once the entry was taken */
  uint8_t spare[DROPT_MAXENT];   /* cleared, not used further */
  void *data;                    /* handed to the callback */
  droptcb cb;
};

/* Fills the parser's record and clears every entry's given byte. */
void droptini(drsrvstate *s, droptrec *rec, const dropttab *tab, droptcb cb, void *data);
/* Parses the arguments after the program name, prompting for mandatory
 * options not given; 0, or 1 after pushing an error. */
int droptparse(droptrec *rec, int argc, char **argv);
/* Finds the entry an argument abbreviates; 0 with its index and kind, or 1
 * when none matches. */
int droptfind(const dropttab *tab, const char *arg, uint8_t *idx, uint8_t *kind);

/* ---- the server ---- */

/* Logs on, registers the server, builds the dictionary cache and the
 * dispatcher; 0, or 1 (disconnected again when the log-on had worked). */
int dracncon(drsrvstate *s);
/* Undoes dracncon while connected: leaves the registry, frees the
 * dispatcher and the dictionary cache, logs off; 0, or 1 when not connected
 * or when the log-off failed. */
int dracndis(drsrvstate *s);

/* The whole server process after the marker: start-up, listener loop and
 * shutdown; returns the exit code, 0 after the shutdown command, else 3. */
int drsrvrun(int argc, char **argv);

#endif
