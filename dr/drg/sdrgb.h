/* Operating-system services of the filters and the text-loading classes:
 * files by descriptor, temporary names, running a program, directory
 * listings, file attributes and sizes. None of them pushes a message: each
 * reports through its result and the caller decides what to push. */
#ifndef KES_DR_DRG_SDRGB_H
#define KES_DR_DRG_SDRGB_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"

/* Room of a listed path: the longest path the system opens. */
enum { SDRG_PATHMAX = 4096 };

/* One entry of a directory listing; the first is the caller's, the rest come
 * zero-filled from the caller's heap. */
struct sdrgent {
  char path[SDRG_PATHMAX];  /* the directory, "/" unless it ends with one, the name */
  sdrgent *next;            /* the following entry, or null */
};

/* Opens a file with the caller's open flags (permissions apply when it is
 * created); the descriptor, or below 0. */
int sdrgopen(drsrvstate *st, const char *path, int flags, int perms);
/* Reads at most n bytes; the count, 0 at the end, below 0 on failure. */
long sdrgread(drsrvstate *st, int fd, void *buf, size_t n);
/* Writes n bytes; the count written, below 0 on failure. */
long sdrgwrite(drsrvstate *st, int fd, const void *buf, size_t n);
/* Closes a descriptor; 0, or nonzero on failure. */
int sdrgclose(drsrvstate *st, int fd);
/* A new, empty temporary file in dir (null: the system's temporary
 * directory) whose name starts with prefix (at most three characters): its
 * name, to be freed with sdrgfree or sdrgdelname, or null. */
char *sdrgtmpnam(drsrvstate *st, const char *dir, const char *prefix);
/* Deletes a file (a missing one is no error) and frees its name; 0. */
int sdrgdelname(drsrvstate *st, char *path);
/* Deletes a file, not saying whether it could; 0. */
int sdrgunlink(drsrvstate *st, const char *path);
/* Frees a name made by sdrgtmpnam; 0. */
int sdrgfree(drsrvstate *st, char *block);
/* Runs the program argv[0] with the argument vector argv (ended by null),
 * no shell in between, and waits for it: its exit status, a nonzero status
 * when a signal ended it, or -1 when it cannot be started. */
int sdrgrun(drsrvstate *st, const char *const *argv);
/* Result of sdrgrunlim for a program stopped at its time limit. */
enum { SDRG_TIMEOUT = -2 };
/* sdrgrun with limits: the program runs in a process group of its own with
 * its input from /dev/null; past seconds (0: none) the group is killed and
 * SDRG_TIMEOUT returned; a file it writes may not grow past maxfile bytes
 * (0: no limit), beyond which the system stops it (a nonzero status). */
int sdrgrunlim(drsrvstate *st, const char *const *argv, int seconds, int64_t maxfile);
/* 0 when path is a program this process may run, else -1. */
int sdrgisexe(drsrvstate *st, const char *path);
/* Lists a directory into first and entries from heap, in the system's
 * order; 0, 1 when dir is empty or no listable directory, 2 when an entry
 * cannot be had (the entries so far are kept). An entry whose path would not
 * fit its room is passed over, never cut. */
int sdrgdirlist(drsrvstate *st, drheap heap, const char *dir, sdrgent *first);
/* 1 for a directory, 0 for any other file, 255 when nothing is there. */
uint8_t sdrgfattr(const char *path);
/* The size and the modification time (seconds) of a file; 0, or 1 with both
 * set to -1 when it cannot be opened or examined. */
int sdrgfsize(const char *path, int64_t *size, int64_t *mtime);

#endif
