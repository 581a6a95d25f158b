/* Operating-system services the server needs: the temporary directory and
 * temporary names, the process id and command line, local time formatting
 * and the last error number. Small on purpose: only what callers use. */
#ifndef KES_PLATFORM_OS_OS_H
#define KES_PLATFORM_OS_OS_H

#include <cstddef>
#include <ctime>

/* The temporary directory ($TMPDIR, else /tmp) with a trailing '/', into
 * buf; its length, or -1 when it does not fit. */
int ostmpdir(char *buf, size_t size);
/* Writes the n-th candidate of a family of temporary names into buf (size
 * bytes): 0, 1 to pass this candidate over, -1 to stop (it does not fit). */
typedef int (*ostmpfn)(void *user, unsigned n, char *buf, size_t size);
/* The one way a temporary file is made: for n = 0, 1, ... below tries, asks
 * name for the n-th candidate and creates it empty, exclusively, mode 0600
 * and never through a link; a name that is taken is passed over. 0 with the
 * name in buf (the file closed); -1 (errno set) when none could be made. */
int ostmpmake(ostmpfn name, void *user, unsigned tries, char *buf, size_t size);
/* A temporary file name "<dir>/<prefix><unique in hex>.TMP" into buf (at
 * most three prefix characters). With a non-zero unique number the name is
 * only formed; with 0 a number is chosen and the file made by ostmpmake.
 * 0, or -1 (errno set). */
int ostmpname(const char *dir, const char *prefix, unsigned unique, char *buf, size_t size);
/* The process id. */
int ospid(void);
/* The process command line (arguments joined with blanks) into buf, cut to
 * fit; its length, or -1 when it cannot be read. */
int oscmdline(char *buf, size_t size);
/* Formats the current local time with a strftime format into buf; the
 * length, or -1 when the local time cannot be had or the text does not fit. */
int oslocaltime(const char *format, char *buf, size_t size);
/* The same for a given time. */
int osfmttime(time_t t, const char *format, char *buf, size_t size);
/* The number of the last failed system call. */
int oslasterr(void);
/* Copies a path into buf with every "%NAME%" (letters, digits, underscores)
 * replaced by the value of the environment variable NAME; any other '%' is
 * kept as it is.
 * The length, or -1 (buf emptied) when a variable is unset or the result
 * does not fit. */
int osexpand(const char *path, char *buf, size_t size);

#endif
