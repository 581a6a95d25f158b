/* Core runtime: the services the server is built on, written for this system.
 * Heaps with source tags, the typed-argument formatter "lsf", the message
 * manager with its error stack and error frames, file streams, sleep,
 * configuration values and sorting. Nothing here knows the server state. */
#ifndef KES_PLATFORM_RT_RT_H
#define KES_PLATFORM_RT_RT_H

#include <csetjmp>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

/* ------------------------------------------------------------------ */
/* Runtime handle                                                      */
/* ------------------------------------------------------------------ */

typedef struct rtctx rtctx;
typedef struct rthpmgr rthpmgr;
typedef struct rtheap rtheap;
typedef struct rtstream rtstream;
typedef struct rtfmt rtfmt;
typedef struct rtmsgmgr rtmsgmgr;

/* Starts a runtime for a program, with the formatting package it will load;
 * null when memory is short. */
rtctx *rtstart(const char *program, const char *package);
/* Ends a runtime: its heap manager with every heap, its standard streams. */
void rtstop(rtctx *rt);
/* The program name the runtime was started with. */
const char *rtprogram(const rtctx *rt);

/* ------------------------------------------------------------------ */
/* Heaps                                                               */
/* ------------------------------------------------------------------ */

/* Heap descriptors: the standard one and the alternative one. Both behave
 * alike here; the kind is kept so that dumps can tell them apart. */
enum { RTHP_STD = 0, RTHP_ALT = 1 };
/* Allocation flags. */
enum { RTHP_ZERO = 1 };

/* The runtime's first heap manager. */
rthpmgr *rthpmgrget(rtctx *rt);
/* The top heap of a heap manager: the parent of the session heaps. */
rtheap *rthptop(rthpmgr *mgr);
/* Creates a heap under a parent, tagged with where it was made; null on failure. */
rtheap *rthpnew(rthpmgr *mgr, rtheap *parent, int desc, const char *file, int line);
/* Destroys a heap: every block and every child heap goes with it; 0 or -1. */
int rthpdel(rthpmgr *mgr, rtheap *heap);
/* Allocates size bytes in a heap, tagged with file and line; null on failure
 * (size 0 included). RTHP_ZERO clears the block. Tags are kept by address,
 * so they must live as long as the block (__FILE__ does). */
void *rthpalloc(rthpmgr *mgr, rtheap *heap, size_t size, unsigned flags, const char *tag, int line);
/* Resizes a block of the heap keeping its contents; null on failure, the old
 * block then stays valid. */
void *rthprealloc(rthpmgr *mgr, rtheap *heap, void *block, size_t size, const char *tag, int line);
/* Releases a block of the heap; 0, or -1 when the block is not the heap's. */
int rthpfree(rthpmgr *mgr, rtheap *heap, void *block, unsigned flags);
/* Number of live blocks and bytes held directly by a heap. */
size_t rthpblocks(const rtheap *heap);
size_t rthpbytes(const rtheap *heap);
/* Where a heap or a block was made (for dumps and leak reports). */
const char *rthpfile(const rtheap *heap);
int rthpline(const rtheap *heap);
const char *rthpblkfile(const void *block);
int rthpblkline(const void *block);
/* Test seam: the n-th allocation or heap creation from now on fails once
 * (1 = the next one); 0 disarms. */
void rthpfailat(rthpmgr *mgr, long n);

/* ------------------------------------------------------------------ */
/* Typed arguments                                                     */
/* ------------------------------------------------------------------ */

/* Argument codes. A variadic call passes pairs of code and value ended by a
 * single 0; the value's C type is fixed by the code:
 *   25 const char*    NUL-terminated string
 *    1 int            32-bit integer by value
 *    3 const uint8_t* unsigned 8-bit integer
 *    4 const uint16_t* 16-bit size
 *    7 const int16_t* 16-bit counter
 *    5 const uint32_t* unsigned 32-bit integer
 *    8 const int32_t* signed 32-bit integer
 *   13 const int32_t* native signed integer (a loop counter)
 *   14 intptr_t       a value handed on unchanged, shown as an integer
 *   15 const int32_t* 32-bit integer (line and column of a query error)
 *   20 double         a double by value
 *   23 const void*    pointer shown as an address
 *   30 const char*, const int32_t*  text by pointer and a pointer to its length
 *   36 const rtframe* the message an error frame caught */
enum {
  RTA_END = 0, RTA_INT = 1, RTA_UB1 = 3, RTA_UB2 = 4, RTA_UB4 = 5, RTA_SB2 = 7,
  RTA_SB4 = 8, RTA_SWORD = 13, RTA_VAL = 14, RTA_SB4POS = 15, RTA_DBL = 20,
  RTA_PTR = 23, RTA_STR = 25, RTA_TXT = 30, RTA_FRAME = 36
};

typedef struct rtframe rtframe;

/* One collected argument. */
typedef struct rtarg {
  int type;
  union {
    const char *s;
    int32_t i;
    intptr_t v;
    double d;
    const void *p;
  } u;
  const int32_t *len; /* type 30 only */
} rtarg;

/* Most arguments one list may carry. */
enum { RTARG_MAX = 64 };

/* Collects a variadic list (pairs ended by 0) into an array; returns the
 * count, or -1 for an unknown code or more than max arguments (the list is
 * then not read further). */
int rtargget(va_list ap, rtarg *out, int max);

/* ------------------------------------------------------------------ */
/* Formatter "lsf"                                                     */
/* ------------------------------------------------------------------ */

/* Formatter results below zero. */
enum { LSF_EFORMAT = -1, LSF_ETRUNC = -2, LSF_EARGS = -3 };

/* Loads a formatting package and opens a formatter with a language handle
 * (may be null); 0, or -1 for an unknown package or no memory. */
int rtfmtopen(rtctx *rt, const char *package, const void *langhandle, rtfmt **out);
/* Closes a formatter. */
void rtfmtclose(rtfmt *fmt);

/* Formats into buf, never past size bytes, always NUL-terminated when size
 * is at least 1. Directives: %[(n)][flags][width][.prec][h|l|ll]conv with
 * flags "-+ 0#", width and precision as digits or "*" (taken from the next
 * argument), conversions s d i u x X o c p e f g E G and %%. "%(n)" takes
 * argument n (from 1); a directive without it takes the next argument in
 * order. "s" shows any argument: an integer in decimal (padding and
 * precision as for "d"), a double in fixed notation when a precision is
 * given, else shortest. Returns the length written; LSF_ETRUNC when the text
 * did not fit (the buffer holds what fitted), LSF_EFORMAT for a bad
 * directive, LSF_EARGS for a missing argument or a bad argument list. */
int lsffmt(rtfmt *fmt, char *buf, size_t size, const char *format, ...);
int lsffmtv(rtfmt *fmt, char *buf, size_t size, const char *format, va_list ap);
int lsffmta(rtfmt *fmt, char *buf, size_t size, const char *format, const rtarg *args, int nargs);

/* ------------------------------------------------------------------ */
/* Message manager and error frames                                    */
/* ------------------------------------------------------------------ */

/* Creates a message manager; area is caller storage (at least 8 bytes) that
 * keeps the manager's handle; csname is the session character set, used to
 * cut texts at whole characters. Null when memory is short. */
rtmsgmgr *rtmsgnew(rtctx *rt, void *area, size_t areasize, const char *csname);
/* Destroys a message manager with its stack and facilities. */
void rtmsgfre(rtmsgmgr *mm);
/* Registers a facility of a product and loads its message file
 * $KESTRIN_HOME/messages/<facility in lower case>.msg. The two numbers are
 * kept with the facility. Returns 0 with the handle in *facid, or -1 with the
 * reason in err (at most errsize bytes). */
int rtmsgfac(rtmsgmgr *mm, const char *facility, const char *product, int num1, int num2,
             int32_t *facid, char *err, size_t errsize);
/* Loads a message file for a facility from an explicit path (tests, tools);
 * same results as rtmsgfac. */
int rtmsgfacfile(rtmsgmgr *mm, const char *facility, const char *path, int32_t *facid,
                 char *err, size_t errsize);
/* Number of message texts a facility loaded; -1 for an unknown facility. */
int rtmsgtexts(const rtmsgmgr *mm, int32_t facid);

/* Pushes a message: facility, number, severity, arguments. The text is
 * formatted now, "FAC-nnnnn: " and the facility's text for the number with
 * the arguments; a number without a text shows its arguments. Never fails
 * visibly. */
void rtmsgpush(rtmsgmgr *mm, int32_t facid, int num, int sev, const rtarg *args, int nargs);
void rtmsgpushv(rtmsgmgr *mm, int32_t facid, int num, int sev, va_list ap);
/* Pushes an internal error: the arguments are the source file, the line and
 * five details; a shorter list is padded with blank strings to that shape. */
void rtmsgipush(rtmsgmgr *mm, int32_t facid, int num, int sev, const rtarg *args, int nargs);
void rtmsgipushv(rtmsgmgr *mm, int32_t facid, int num, int sev, va_list ap);
/* Number of entries on the stack. */
int rtmsgcnt(const rtmsgmgr *mm);
/* Message number of entry idx (1 = oldest); -1 when there is no such entry. */
int rtmsgnum(const rtmsgmgr *mm, int idx);
/* Severity of entry idx; -1 when there is no such entry. */
int rtmsgsev(const rtmsgmgr *mm, int idx);
/* Text of entry idx into buf, at most size bytes with the NUL, cut at a whole
 * character; returns the length, or -1 when there is no such entry. */
int rtmsgtxt(const rtmsgmgr *mm, int idx, char *buf, size_t size);
/* Empties the stack. */
void rtmsgclr(rtmsgmgr *mm);
/* Removes entry idx (1 = oldest), keeping the order of the others; 0, or 1
 * when there is no such entry. */
int rtmsgdel(rtmsgmgr *mm, int idx);
/* The character set the manager cuts texts by. */
const char *rtmsgcs(const rtmsgmgr *mm);

/* Renders one message as a push would, without pushing it; returns the
 * length or a formatter error. */
int rtmsgfmt(rtmsgmgr *mm, int32_t facid, int num, const rtarg *args, int nargs, char *buf,
             size_t size);

/* An error frame guards C-style code (no destructors between the frame and
 * the raise): rtfrmpush, then setjmp on the frame's jump buffer. A raise
 * pushes its message, records it in the innermost frame not already in its
 * handler and jumps there. */
struct rtframe {
  jmp_buf jb;
  rtframe *prev;
  rtmsgmgr *mm;
  int caught;     /* 1 after a raise reached this frame */
  int inhandler;  /* between rtfrmenter and rtfrmleave */
  int num;        /* caught message number */
  int sev;        /* caught severity */
  char text[512]; /* caught message text */
};

/* Puts a frame on top of the manager's frame chain. */
void rtfrmpush(rtmsgmgr *mm, rtframe *fr);
/* Pushes a message and jumps to the innermost frame that is not running
 * its handler. Returns 1 only when there is no such frame (the message is on
 * the stack then and the caller goes on with its own failure path). */
int rtfrmraise(rtmsgmgr *mm, int32_t facid, int num, int sev, ...);
/* Marks the start of the code that runs after a jump to this frame. */
void rtfrmenter(rtmsgmgr *mm, rtframe *fr);
/* Marks the end of that code. */
void rtfrmleave(rtmsgmgr *mm, rtframe *fr);
/* Removes a frame. When it is not the one on top, the frames above it are
 * removed too and message 666 (severity 2) of facility facid is pushed;
 * returns 0 when the frame was on top, 1 otherwise. */
int rtfrmpop(rtmsgmgr *mm, rtframe *fr, int32_t facid);
/* The innermost frame, or null. */
rtframe *rtfrmtop(const rtmsgmgr *mm);

/* Guards a block: RTFRM_TRY(mm, fr) { guarded } else { handler }.
 * The else branch runs after a raise; it should call rtfrmenter/leave. */
#define RTFRM_TRY(mm, fr) \
  rtfrmpush((mm), &(fr));  \
  if (setjmp((fr).jb) == 0)

/* ------------------------------------------------------------------ */
/* File streams                                                        */
/* ------------------------------------------------------------------ */

/* Access mode bits: 1 read, 2 write (at the end of what is there), 4 create
 * when missing, 16 write from empty. Mode 6 writes a log, mode 1 reads. */
enum { RTF_READ = 1, RTF_WRITE = 2, RTF_CREATE = 4, RTF_TRUNC = 16 };

/* Resolves a directory of a kind (0: a path as given) into buf; 0 when it
 * names an existing directory and fits, else -1. */
int rtfdir(rtctx *rt, const char *dir, int kind, char *buf, size_t size);
/* Resolves a file name, optionally in a resolved directory, into buf; 0, or
 * -1 for an empty name or one that does not fit. */
int rtfname(rtctx *rt, const char *dir, const char *name, char *buf, size_t size);
/* Opens a stream on a resolved file; file kind, attributes, record length,
 * count and tag are kept with the stream. 0, or -1 (errno set). */
int rtfopen(rtctx *rt, const char *path, int mode, int kind, int attrs, int reclen, int count,
            const char *tag, rtstream **out);
/* Reads at most size bytes; the count read, 0 at the end, -1 on error. */
long rtfread(rtstream *st, void *buf, size_t size);
/* Reads one line (with its line end, when it fits) into buf; the length,
 * 0 at the end, -1 on error. */
long rtfline(rtstream *st, char *buf, size_t size);
/* Writes len bytes; the count written, -1 on error. */
long rtfwrite(rtstream *st, const void *buf, size_t len);
/* Flushes a stream; 0 or -1. */
int rtfflush(rtstream *st);
/* Closes a stream (the standard streams are only flushed); 0 or -1. */
int rtfclose(rtstream *st);
/* The runtime's standard output and input streams. */
rtstream *rtstdout(rtctx *rt);
rtstream *rtstdin(rtctx *rt);

/* ------------------------------------------------------------------ */
/* Decimal numbers                                                     */
/* ------------------------------------------------------------------ */

/* A decimal number in the runtime's internal form: a length byte, then that
 * many bytes. The first of them holds the state bits below; a zero and the
 * overflow form stop there (length 1). Otherwise two bytes of exponent
 * follow (16-bit, big-endian, two's complement) and then the significant
 * digits, two to a byte, high half first, an odd count padded with 0xF:
 * the value is the digits read as an integer times ten to the exponent.
 * Numbers are read exactly to RTNUM_DIGITS significant digits. A magnitude
 * of 1E126 or more reads as the overflow form, one below 1E-130 as zero. */
enum { RTNUM_SIZE = 25, RTNUM_DIGITS = 40 };
enum {
  RTNUM_NEG = 0x01,     /* negative */
  RTNUM_FRACCUT = 0x02, /* non-zero digits after the point were cut off */
  RTNUM_OVF = 0x80      /* beyond the range: the overflow form */
};
typedef struct rtnum {
  uint8_t b[RTNUM_SIZE];
} rtnum;

/* Reading modes: the whole text must be one number (blanks around it and a
 * sign allowed), or the number that starts the text is read and the rest
 * left (no blank or sign before it; an exponent only when digits follow). */
enum { RTNUM_WHOLE = 0, RTNUM_PREFIX = 1 };

/* Reads a number from the len bytes at text, never beyond them. 0 with the
 * value in *out and the bytes taken in *taken (may be null); 1 when the
 * text holds no number (for RTNUM_PREFIX: does not start with one). A
 * number beyond the range is read (0) as the overflow form. */
int rtnumread(const char *text, size_t len, int mode, rtnum *out, size_t *taken);
/* True when the number is the overflow form. */
int rtnumovf(const rtnum *num);
/* trunc(value x 10^scale) into *out, saturated at +-2^62 (the overflow form
 * saturates); *frac tells whether a fraction was cut off. */
void rtnumscale(const rtnum *num, int scale, int64_t *out, int *frac);

/* ------------------------------------------------------------------ */
/* Sleep, configuration, sorting                                       */
/* ------------------------------------------------------------------ */

/* Sleeps for the given number of milliseconds. */
void rtsleep(unsigned ms);
/* Reads a configuration value (from the environment, e.g. KESTRIN_HOME)
 * into buf; the length, or -1 when unset, empty or too long. */
int rtcfg(rtctx *rt, const char *name, char *buf, size_t size);
/* Sorts count elements of size bytes with a comparison (stable). */
void rtsort(void *base, size_t count, size_t size, int (*cmp)(const void *, const void *));

#endif
