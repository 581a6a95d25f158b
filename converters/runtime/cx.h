// The converter runtime: the state record of one conversion run and every
// routine a converter runs on (status and fatal exit, files, buffered I/O,
// scratch streams, virtual files, intermediate records, code pages, layout).
// Every routine takes the run's state record first; nothing here is shared
// between runs, and nothing here touches the server core or the database.
#ifndef KES_CONVERTERS_RUNTIME_CX_H
#define KES_CONVERTERS_RUNTIME_CX_H

#include <cstddef>
#include <cstdint>

struct cxstate;
struct cxstrm;
struct bfslot;
struct rcgblk;  // the format recogniser's block (slot 10), defined by the recogniser
struct dfslot;  // one open compound document, defined by the compound-document reader

// ---------------------------------------------------------------- status codes

enum : int {
  CX_OK = 0,        // success; also the normal end of a run through cxthrow
  CX_NOINPUT = 1,   // input cannot be opened; a file to replace cannot be made writable
  CX_READERR = 2,   // read error on the input
  CX_NOOUTPUT = 3,  // output or spill file cannot be opened
  CX_WRITEERR = 4,  // a write reported failure
  CX_WARN = 5,      // warning (read past the end); fatal when thrown: bad request
  CX_NOMEM = 8,     // memory exhausted
  CX_NOTFMT = 9,    // input not in the converter's format or version
  CX_NOWRITE = 10,  // a write wrote nothing
  CX_TOOLONG = 11,  // an input record exceeds the converter's limit
  CX_WARNEND = 12,  // the run ended after warnings
  CX_CRYPT = 15,    // the document is encrypted
  CX_SIGNAL = 16,   // floating-point or memory-access signal
};

// The exception that carries the fatal exit from cxthrow to the run's entry.
// It never leaves cxentry: the entry turns it into the run's status.
struct cxunwind {
  int status;
};

// ---------------------------------------------------------------- callbacks

using cxhostalloc_t = void* (*)(size_t n);
using cxhostfree_t = int (*)(void* block);
using cxgetcb_t = int (*)(cxstate* st);
using cxungetcb_t = int (*)(cxstate* st, int byte);
using cxputcb_t = int (*)(cxstate* st, int byte);
using cxunputcb_t = int (*)(cxstate* st);
using cxtracecb_t = void (*)(cxstate* st, int byte);
using cxerrcb_t = void (*)(cxstate* st, int status);

// The six file callbacks of a virtual file (defaults: the converter file layer).
using bfopen_t = int (*)(cxstate* st, const char* name, int mode, int share);
using bfclose_t = int (*)(cxstate* st, int handle);
using bfread_t = int (*)(cxstate* st, int handle, void* buf, int n);
using bfwrite_t = int (*)(cxstate* st, int handle, const void* data, int n);
using bfseek_t = int (*)(cxstate* st, int handle, int offset, int origin);
using bfexists_t = int (*)(cxstate* st, const char* name);

// ---------------------------------------------------------------- state record

inline constexpr int CX_NSLOTS = 23;
inline constexpr int CX_NSTREAMS = 500;
inline constexpr int CX_NSINKS = 20;
inline constexpr int CX_NREGNAMED = 40;
inline constexpr int CX_NREGANON = 10;
inline constexpr int CX_NZONES = 10;
inline constexpr int CX_NTABS = 256;
inline constexpr int CX_NTABKINDS = 40;
inline constexpr int CX_BFMAX = 630;
inline constexpr int CX_PIPEHDR = 256;

// One node of the run's temporary-file list (cctmpadd).
struct cxtmpnode {
  cxtmpnode* next;
  char name[1];  // NUL-terminated, allocated to length
};

// Header of every block handed out by cxalloc: the run's allocation list.
struct cxablk {
  cxablk* prev;
  cxablk* next;
  size_t size;
  size_t pad;  // keeps the caller's bytes 16-aligned
};

// One entry of the converters' font-width cache.
struct cxfontw {
  char name[32];
  int twips;
  int style;
  const void* widths;
};

// Slot 0: file names, option text and small byte rings.
struct cxnames {
  int comring;               // next slot of the cmunpack ring
  char comringbuf[16][4];    // the 16 most recent cmunpack results
  int lastchar;              // last byte returned by the buffered input
  char w2name[2][256];       // name buffers of the Word 1.x/2.0 and Mac Word converters
  char intfile[256];         // the run's output (intermediate) file name
  char exceptlist[256];      // exception-list file name (option PE=)
  char optstr[30];           // option string, at most 29 characters
  char convdir[256];         // directory of the external converter programs (option E=)
  char mztext[256];          // option MZ text
  char nrtext[256];          // option NR / R text
  unsigned char wrapring[3]; // look-back ring of line wrapping
  unsigned char alignring[3];// look-back ring of alignment
  unsigned char peekbuf[32]; // look-ahead bytes of cmpeek / cmpeek2
  char startcode[4];         // code read by cmreadstart
  char tabkind[CX_NTABS];    // kind letters of the runtime ruler ("L", "C", "R", "D", "V")
  unsigned char tablead[CX_NTABS];  // leader characters of the runtime ruler
};

// Slot 1: callbacks, buffer pointers and tables of the runtime.
struct cxmain {
  cxgetcb_t getcb;           // input redirection: get
  cxungetcb_t ungetcb;       // input redirection: unget (mode 2)
  cxtracecb_t gettrace;      // tracing: byte returned
  cxtracecb_t pbtrace;       // tracing: byte pushed back
  cxputcb_t putcb;           // output redirection: put
  cxunputcb_t unputcb;       // output redirection: take back
  cxerrcb_t bferr;           // virtual-file error callback
  unsigned char* inbuf;      // input buffer
  int inpos, inend;          // read position and end of valid data
  unsigned char* outbuf[2];  // output halves A and B
  int outpos;                // write position in the current half
  unsigned char* pbbuf;      // push-back stack
  void (*destructor)(cxstate* st);  // the constructor's matching destructor
  const char* fmtname;       // format-name string ("A123_TEXT" or "TEXT")
  cxfontw fontcache[15];     // font-width cache
  const void* curwidths;     // current width table
  char* listfile;            // dependent-file list name
  int32_t embobj[9];         // embedded-object descriptor
  char* inpath;              // input path
  char* depdir;              // directory where dependent files are looked for
  char* ftext;               // option F text
  char* stext;               // option S text
  char* xtext;               // option X text
  char rlfile[256];          // option RL= file
  char rffile[256];          // option RF= file
  int setpword;              // option SETP
  int optcont;               // 'S' or 'X' while following words continue that text
  const char* firstarg;      // the stand-alone converter's first argument
  char* zonefile;            // zone side-file name; never set in this system
  cxtmpnode* tmphead;        // temporary-file list
  cxtmpnode* tmptail;
  char progpath[256];        // path of the running program
  cxstrm* strms[CX_NSTREAMS];// scratch-stream slots
  dfslot* dfslots[2];        // compound-document slots (owned by the reader)
  bfslot* bftab;             // virtual-file table
};

// Slot 2: counters and handles of the buffered input and output.
struct cxio {
  int incalls;               // cxgetc calls
  int outcalls;
  int tmpserial;             // serial of the temporary-name generator
  int spillpos;              // shared spill handle's file position
  int incount;               // bytes read
  int outcount;              // bytes put minus bytes taken back
  int lastzone;              // output count at the last zone mark
  int docfile;               // slot of the run's compound document; -1 none
  int bfcount;               // virtual-file table length
  int dffirst;               // first use of the compound-document slots
  int insize;                // input buffer size
  int ineof;                 // end-of-input count
  int inhandle;              // -1 none
  int outsize;               // output half size
  int outhandle;             // -1 none
  int curhalf;               // 0 A, 1 B
  int pending[2];            // a filled half not yet written
  int inmode;                // 0 buffered, 1 get callback, 2 get and unget callbacks
  int outredir;              // output redirected to the put callback
  int inbase;                // sum of the buffer sizes filled so far
  int pbcount;               // bytes on the push-back stack
  int pbcap;                 // push-back capacity
  int pbover;                // overflow stream, -1 none
  int ioword;                // set by no routine
  int outrewound;            // a written half was taken back from the file
};

// Slot 3: statuses, limits and flags of the run.
struct cxstblk {
  int trace;                 // tracing on
  int tabcount;              // tab count of the Word converters / ruler count
  int unitflag;              // ruler positions are twips (columns of 144)
  int optflag1;              // option parser flag, starts at 1
  int optword;               // option parser words (G1, L, W, RF)
  int statflags;             // option parser state flags (CDC, G...)
  int firststatus;           // first recorded status
  int buflimit;              // buffer size limit, -1 none
  int buflimitset;
  int lastget;               // last result of the buffered get
  int catalogue;             // catalogue number of the document-start record
  int abortflag;
  int warnflag;
  int zonehandle;            // zone side file, -1 none
  int zonedepth;             // zone stack depth, -1 empty
  int32_t embflags;          // embedded-object flags
  int descronly;
  int objmode;
  int deppath;
};

// Slot 4: pipe and spill handles, stream counts.
struct cxfileblk {
  int meter;                 // progress-meter field
  int pipereply;             // pipe reply handle, -1 none
  int queueid;               // message-queue id
  int pipecap;               // pipe record capacity
  int pipereq;               // pipe request handle, -1 none
  int picfmt;                // target picture format, -999
  int spillhandle;           // shared spill handle, -1 none
  int spillowner;            // stream that owns it, -1 none
  int outkind;               // output kind, 4
  int nstreams;              // open scratch streams
  int ministream;            // small compound-document streams via the mini stream
  int optdt;                 // option DT flag, starts at 1
  int fontcacheset;
  int modebits;              // option O mode bits
  int gtf;                   // option GTF number
  int32_t picsize[2];        // picture size reported by an external converter
  unsigned char* pipereqbuf; // pipe request buffer (capacity + 4)
  unsigned char* piperepbuf; // pipe reply buffer (capacity + 4)
};

// Slot 5: option flags, progress ticks, zone stack, tab positions.
struct cxoptblk {
  uint32_t optflags;         // option flag word; 0x400 pipe mode
  int afterhalf;             // byte stored after a filled output half
  uint32_t ticks;            // progress tick count
  uint32_t tickint;          // progress tick interval
  int zonestack[CX_NZONES];  // open zone codes
  int32_t tabpos[CX_NTABS];  // ruler / tab positions
};

// One named registry slot: a file the run created for itself.
struct cxregname {
  char* name;
  int handle;
};

// Slot 8: memory callbacks, handle registry, exit status, jump point.
struct cxcommon {
  cxhostalloc_t hostalloc;
  cxhostfree_t hostfree;
  cxablk* allochead;         // every live cxalloc block of the run
  int allocs;                // live blocks
  void* msgrec;              // points at msgkind below
  cxregname regnamed[CX_NREGNAMED];
  int reganon[CX_NREGANON];
  int exitstatus;            // status handed to the entry by cxthrow
  int queuearg;              // queue argument of external programs, -1
  int stdouthandle;
  int stdinhandle;
  int peerpid;               // -1, never set
  int meterstep;
  int meterstyle;
  int pipeserial;
  int pipelast;
  int32_t extent[2];         // read back after an external converter program
  int msgkind;
  char msgtext[1024];
  char bar[54];              // progress bar
  int jumppoint;             // > 0 while a converter entry is running
  char pipenames[13][72];
};

// The root: 23 block pointers. Slots 0-5 and 8 are built by every
// constructor; converter blocks sit in their fixed slots.
struct cxstate {
  cxnames* nm;      // 0
  cxmain* mn;       // 1
  cxio* io;         // 2
  cxstblk* sb;      // 3
  cxfileblk* fb;    // 4
  cxoptblk* ob;     // 5
  void* w2blk;      // 6: Word 1.x/2.0, begins with cxw2head
  void* w2docblk;   // 7
  cxcommon* cm;     // 8
  void* xifblk;     // 9
  rcgblk* rcg;      // 10
  void* slot11;
  void* lotblk;     // 12
  void* wpc6blk;    // 13
  void* apblk;      // 14
  void* wpc5blk;    // 15
  void* mwblk;      // 16
  void* mwdocblk;   // 17
  void* w6blk;      // 18
  void* wdblk;      // 19
  void* slot20;
  void* slot21;
  void* slot22;
};

// The head of the Word 1.x/2.0 block (slot 6): the sink and source stacks.
struct cxw2head {
  int sinks[CX_NSINKS];
  int nsinks;
  int srcs[CX_NSINKS];
  int nsrcs;
  int setsink;      // depth index of the replaceable sink, -1 none
};

// A converter block a constructor builds: its slot, size and initial values.
struct cxblkspec {
  int slot;
  size_t size;
  void (*init)(void* block);
};

// cxslot: the address of root slot i (0..22).
void** cxslot(cxstate* st, int i);

// cxnewst: builds a state record with the common blocks and the given
// converter blocks, all zeroed and set to their defaults; null (and nothing
// left allocated) when any allocation fails. The host callbacks, when given,
// serve the blocks and every cxalloc of the run.
cxstate* cxnewst(const cxblkspec* blocks, int nblocks, void (*destructor)(cxstate*),
                 cxhostalloc_t hostalloc = nullptr, cxhostfree_t hostfree = nullptr);
// cxfreest: frees every block of the record and the root, and whatever the
// run left allocated through cxalloc.
void cxfreest(cxstate* st);
// cxw2init: initial values of the sink and source stacks at the head of block 6.
void cxw2init(void* block);

// ---------------------------------------------------------------- status and fatal exit

// cxthrow: stores status as the exit status and unwinds to the run's entry; never returns.
[[noreturn]] void cxthrow(cxstate* st, int status);
// ccseterr: records a status; returns 0 for a warning (5, 12), else ends the run.
int ccseterr(cxstate* st, int status);
// ccstatfatal: 1 when the first recorded status is fatal (not 0, 5 or 12).
int ccstatfatal(cxstate* st);
// cxbanner: prints the version banner.
int cxbanner(cxstate* st);
// cxprint: prints a text to standard output.
int cxprint(cxstate* st, const char* text);
// cxputch: console character hook; does nothing.
int cxputch(cxstate* st, int c);
// cxputs: hands a text to cxputch; returns the length.
int cxputs(cxstate* st, const char* text);
// cxmeterbeg: starts the console progress meter.
int cxmeterbeg(cxstate* st, int style);
// cxmeterstep: one step (2 percent) of the progress meter; 1 past 51 steps.
int cxmeterstep(cxstate* st, int n);
// cxmeterend: ends the progress meter.
int cxmeterend(cxstate* st);
// cxprogbeg, cxprogadd, cxprogtick, cxprogend: empty progress hooks.
int cxprogbeg(cxstate* st, int32_t size);
int cxprogadd(cxstate* st, int32_t n);
int cxprogtick(cxstate* st);
int cxprogend(cxstate* st);

// cxrunend: the end of a run, also after the fatal exit: flushes and frees the
// buffered I/O, closes every scratch stream, virtual file and registered
// handle, deletes the run's temporary files and frees every block the run
// still holds. The state record itself stays for the caller to destroy.
void cxrunend(cxstate* st);

// cxentry_begin: arms the run's jump point (cxentry's first step).
int cxentry_begin(cxstate* st);
// cxentry_end: reads the exit status, ends the run (cxbufend, cxrunend) and
// disarms the jump point; the run's status as a 16-bit value.
int cxentry_end(cxstate* st, int status);

// cxentry: runs a converter body under the run's jump point and returns the
// run's status as a 16-bit value: the body's result, or the status of the
// fatal exit. The run's end (cxrunend) follows either way, so one run has
// exactly one cxentry; the caller then destroys the state record.
template <class F>
int cxentry(cxstate* st, F&& body) noexcept {
  int status;
  cxentry_begin(st);
  try {
    status = body();
  } catch (const cxunwind&) {
    status = -100000;  // read the exit status below
  } catch (...) {
    status = CX_NOMEM;  // a standard allocation failure inside the body
  }
  return cxentry_end(st, status);
}

// ---------------------------------------------------------------- memory

// cxalloc: a zeroed block of at least n and at least 64 bytes, linked into the
// run's allocation list; null when refused.
void* cxalloc(cxstate* st, size_t n);
// cxfree: frees a block of cxalloc and unlinks it; 0, or the host free's result.
int cxfree(cxstate* st, void* block);
// cxfreeall: frees every block the run still holds.
void cxfreeall(cxstate* st);

// ---------------------------------------------------------------- files

// cxopen: opens a file (mode 1 read, 2 create or replace, 3 update, 4 append); handle or -1.
int cxopen(cxstate* st, const char* path, int mode, int share);
// cxopen2: cxopen with share 0.
int cxopen2(cxstate* st, const char* path, int mode);
// cxclose: closes a handle and forgets it; standard handles stay open (0).
int cxclose(cxstate* st, int handle);
// cxread: reads up to n bytes directly from a handle; count, 0 at the end, -1 on error.
int cxread(cxstate* st, int handle, void* buf, int n);
// cxwrite: writes n bytes to a handle; count, below 1 on failure.
int cxwrite(cxstate* st, int handle, const void* data, int n);
// cxseek: moves a handle (origin 0 start, 1 current, 2 end); new position or -1.
int cxseek(cxstate* st, int handle, int offset, int origin);
// cxunlink: deletes a file and forgets its name in the registry.
int cxunlink(cxstate* st, const char* path);
// cxrename: renames a file; -1 on failure.
int cxrename(cxstate* st, const char* oldp, const char* newp);
// cclinkrename: makes a second name of the file, then deletes the old one.
int cclinkrename(cxstate* st, const char* oldp, const char* newp);
// cxexists: 0 when the file exists, else -1.
int cxexists(cxstate* st, const char* path);
// cxfsize: the file's size, or -1.
int32_t cxfsize(cxstate* st, const char* path);
// cxfsize2: cxfsize, asking the pipe peer in pipe mode.
int32_t cxfsize2(cxstate* st, const char* path);
// cxnow: fills 8 bytes with weekday, year-1980, month, day, hour, minute, second, 0.
int cxnow(cxstate* st, unsigned char* out);
// cctmpname: writes a new temporary name "WWnnnnnn.TMP" in the directory of path
// into out (at least strlen(path) + 13 bytes); the file is created empty and
// exclusively so that no other run can take the same name.
int cctmpname(cxstate* st, const char* path, char* out);
// cctmpadd: adds a file to the run's list of temporary files.
int cctmpadd(cxstate* st, const char* name);
// cctmpclean: deletes every listed temporary file that exists.
int cctmpclean(cxstate* st);
// ccrunclean: end-of-run clean-up: closes every scratch stream, frees the zone-file name.
int ccrunclean(cxstate* st);
// cxregsinit: sets every registry handle to -1 and allocates the pipe buffers.
int cxregsinit(cxstate* st);
// cxregsreset: sets the registry handles to -1 and the names to none.
int cxregsreset(cxstate* st);
// cxregcloseall: closes every registered handle and deletes every registered
// named file except the intermediate file.
int cxregcloseall(cxstate* st);
// ccpathpart: a part of path (0 base name, 1 directory, 2 extension) into out.
int ccpathpart(cxstate* st, char* out, const char* path, int kind);
// ccpathjoin: appends dir, base and "." ext to out.
int ccpathjoin(cxstate* st, const char* dir, const char* base, const char* ext, int ignored,
               char* out);
// ccstrrev: reverses a string in place; returns half its length.
int ccstrrev(cxstate* st, char* text);
// cxspawn: runs an external converter program and waits; its exit code, or -1.
int cxspawn(cxstate* st, int number, int direction, const char* path1, const char* path2,
            int verbosity);
// cxextentread: reads the extent file named by the environment into extent.
int cxextentread(cxstate* st);
// cxextentwrite: writes two integers to the extent file named by the environment.
int cxextentwrite(cxstate* st, int a, int b);
// cxdetect: the catalogue format code of a file for an embedded object; with
// no bytes to look at only the plain-text test can accept, so it is always 1
// (plain text) with sub-code 0.
int cxdetect(cxstate* st, const char* name, int* subcode);
// cxfmtveto: may refuse an embedded format; refuses nothing.
int cxfmtveto(cxstate* st, int code, int zero);

// ---------------------------------------------------------------- buffered input and output

// cxbufinit: sets up the input and output buffers; 0, 8 without memory, 2 when the first read fails.
int cxbufinit(cxstate* st, int inhandle, int outhandle, int size);
// cxbufend: writes the pending output and frees every buffer.
int cxbufend(cxstate* st);
// cxgetc: next input byte 0-255, or -1 at the end.
int cxgetc(cxstate* st);
// cxgetc2: cxgetc without input modes, tracing and call counting.
int cxgetc2(cxstate* st);
// cxpushback: pushes a byte back so that the next cxgetc returns it.
int cxpushback(cxstate* st, int byte);
// cxputc: appends one byte to the output.
int cxputc(cxstate* st, int byte);
// cxputc2: cxputc without the redirection test.
int cxputc2(cxstate* st, int byte);
// cxunputc: takes back the last byte written, or -1.
int cxunputc(cxstate* st);
// cxgetn: up to n bytes through cxgetc; the count.
int cxgetn(cxstate* st, int ignored, void* buf, int n);
// cxputn: n bytes through cxputc; n.
int cxputn(cxstate* st, int ignored, const void* data, int n);
// cxwritechk: cxwrite that ends the run with 4 (error) or 10 (nothing written).
int cxwritechk(cxstate* st, int handle, const void* data, int n);
// cxoutredir, cxoutnorm: output redirection on and off.
int cxoutredir(cxstate* st, cxputcb_t put, cxunputcb_t unput);
int cxoutnorm(cxstate* st);
// cxinredir: input from the get callback, push-back to the unget callback.
int cxinredir(cxstate* st, cxgetcb_t get, cxungetcb_t unget);
// cxinnorm: back to the buffered input.
int cxinnorm(cxstate* st);
// cxingetcb: input from the get callback with the runtime's own push-back.
int cxingetcb(cxstate* st, cxgetcb_t get);
// cxtraceon, cxtraceoff: tracing of returned and pushed-back bytes.
int cxtraceon(cxstate* st, cxtracecb_t get, cxtracecb_t pushback);
int cxtraceoff(cxstate* st);
// cxsetlimit: sets the buffer size limit.
int cxsetlimit(cxstate* st, int size);
// cxincount, cxoutcount, cxinbase, cxioword: the counters.
int cxincount(cxstate* st);
int cxoutcount(cxstate* st);
int cxinbase(cxstate* st);
int cxioword(cxstate* st);
// cxrewind: back to the start of the input.
int cxrewind(cxstate* st);
// cxinseek: repositions the input; drop 1 also drops the push-back.
int cxinseek(cxstate* st, int offset, int drop);

// ---------------------------------------------------------------- scratch streams and sinks

// cxsopen: a new scratch stream of at least 30000 bytes; its index or -1.
int cxsopen(cxstate* st, int size);
// cxsputc: appends a byte to a stream.
int cxsputc(cxstate* st, int byte, int s);
// cxsputs: appends n bytes.
int cxsputs(cxstate* st, int s, const void* data, int n);
// cxsgetc: the next byte from the front, -1 at the end.
int cxsgetc(cxstate* st, int s);
// cxsgets: up to n bytes from the front; the count.
int cxsgets(cxstate* st, int s, void* buf, int n);
// cxspop: removes and returns the last byte appended, -1 when empty.
int cxspop(cxstate* st, int s);
// cxspops: n bytes by cxspop.
int cxspops(cxstate* st, int s, void* buf, int n);
// cxsunget: pushes a byte back at the read position.
int cxsunget(cxstate* st, int byte, int s);
// cxsavail: bytes still to read.
int32_t cxsavail(cxstate* st, int s);
// cxsclose: closes a stream and its continuation, deleting its spill file.
int cxsclose(cxstate* st, int s);
// cxscloseall: closes every stream.
int cxscloseall(cxstate* st);
// cxsclosebut: closes every stream except one.
int cxsclosebut(cxstate* st, int s);
// ccpushsink: makes a stream the current output.
int ccpushsink(cxstate* st, int s);
// ccpopsink: drops the current output sink.
int ccpopsink(cxstate* st);
// ccsetsink: pushes or replaces the replaceable top sink.
int ccsetsink(cxstate* st, int s);
// ccendsink: pops the replaceable sink.
int ccendsink(cxstate* st);
// ccpushsrc: makes a stream the current input.
int ccpushsrc(cxstate* st, int s);
// ccpopsrc: drops the current input source.
int ccpopsrc(cxstate* st);

// ---------------------------------------------------------------- virtual files

// One virtual file: a named file seen through one in-memory window.
struct bfslot {
  const char* name;   // the caller's name, not copied; null when free
  int32_t size;       // length as this layer sees it
  int32_t pos;        // current position
  int32_t bufoff;     // file offset of the window's first byte
  uint32_t bufsize;   // window size, at most 0x7FFF
  uint8_t mode;       // 1 read, 2 write, 3 update
  uint8_t dirty;      // window holds unwritten bytes
  unsigned char* buf;
  bfopen_t open;
  bfclose_t close;
  bfread_t read;
  bfwrite_t write;
  bfseek_t seek;
  bfexists_t exists;
};

// bfinit: makes the table of n virtual files (at most 630) and sets the error callback.
int bfinit(cxstate* st, int n, cxerrcb_t err);
// bfslot (the table maker under its other name): same as bfinit.
int bfslots(cxstate* st, int n, cxerrcb_t err);
// bfopen: opens a virtual file; null callbacks take the file layer's; slot or -1.
int bfopen(cxstate* st, const char* name, int bufsize, int mode, bfopen_t open, bfclose_t close,
           bfread_t read, bfwrite_t write, bfseek_t seek, bfexists_t exists);
// bfsize: the file's size.
int32_t bfsize(cxstate* st, int f);
// bfseek: sets the position; the new position.
int32_t bfseek(cxstate* st, int f, int32_t pos);
// bftell: the position.
int32_t bftell(cxstate* st, int f);
// bfread: copies n bytes from the position; the count or -1.
int32_t bfread(cxstate* st, int f, void* buf, int32_t n);
// bfwrite: copies n bytes to the position; the count or -1.
int32_t bfwrite(cxstate* st, int f, const void* data, int32_t n);
// bfclose: writes a changed window back and frees the slot; 0 or -1.
int bfclose(cxstate* st, int f);
// bfcloseall: closes every virtual file and frees the table.
int bfcloseall(cxstate* st);

// ---------------------------------------------------------------- intermediate records

// cmpack: the stored number of three code characters.
int cmpack(const char* three);
// cmunpack: the three code characters of a number, kept in a ring of 16 results.
const char* cmunpack(cxstate* st, int code);
// cmletters: writes a code's three characters.
int cmletters(cxstate* st, int code);
// cmbegin: ESC, GS and the code's three characters.
int cmbegin(cxstate* st, int code);
// cmend: RS.
int cmend(cxstate* st);
// cmputcode: a record without parameters.
int cmputcode(cxstate* st, int code);
// cmputhex2: the low byte as two hex digits, US when flag is nonzero.
int cmputhex2(cxstate* st, int value, int flag);
// cmputhex2t: two hex digits and US.
int cmputhex2t(cxstate* st, int value);
// cmputhex2n: two hex digits, no US.
int cmputhex2n(cxstate* st, int value);
// cmputhex4, cmputhex4t: the low 16 bits as four hex digits and US.
int cmputhex4(cxstate* st, int value);
int cmputhex4t(cxstate* st, int value);
// cmputnib: one hex digit of the low four bits.
int cmputnib(cxstate* st, int value);
// cmputdec: an unsigned 16-bit decimal and US.
int cmputdec(cxstate* st, int value);
// cmputdec32: an unsigned 32-bit decimal and US.
int cmputdec32(cxstate* st, uint32_t value);
// cmputdecn: cmputdec without US; the number of digits.
int cmputdecn(cxstate* st, int value);
// cmgethex: a hex parameter up to US; at RS or the end the value, -1 for 0.
int cmgethex(cxstate* st);
// cmgethex2: at most two characters of a hex parameter.
int cmgethex2(cxstate* st);
// cmgetdec: a decimal parameter up to US.
int cmgetdec(cxstate* st);
// cmgetdec2: cmgetdec where 0 at RS or the end gives -1.
int cmgetdec2(cxstate* st);
// cmgetchar: a one-character parameter.
int cmgetchar(cxstate* st);
// cmskiptoken: skips the rest of the current record with its nested records.
int cmskiptoken(cxstate* st);
// cmskiprs: skips to and past the next RS.
int cmskiprs(cxstate* st);
// cmpeek: 0 when the next five bytes are a record start with the code; input unchanged.
int cmpeek(cxstate* st, int code);
// cmpeek2: cmpeek from the next ESC within 30 bytes; input unchanged.
int cmpeek2(cxstate* st, int code);
// cmreadstart: reads the document-start record's catalogue number.
int cmreadstart(cxstate* st, int ignored);

// ---------------------------------------------------------------- characters and code pages

// ccputchar: writes one character of a code page as code-page-437 output or records.
int ccputchar(cxstate* st, int c, int codepage);
// cxcpconv: a character of one code page in another, 0 when it has none, -1 when unknown.
int cxcpconv(void* ignored, int from, int to, int c);
// cxcpindex: a code page's column in the conversion table, or -1.
int cxcpindex(void* ignored, int codepage);

// The conversion table: rows of one character's bytes in the eight columns
// (437, 9999, 850, 819, 8591, 9998, 8592, 9997) and a mask of exact cells.
inline constexpr int CX_CPROWS = 275;
extern const unsigned char cxcptab[CX_CPROWS][9];

// Zone marks (all idle while no zone-file name is set).
// cxzoneopen: creates the zone side file when a name is set.
int cxzoneopen(cxstate* st);
// cxzoneclose: closes the zone side file.
int cxzoneclose(cxstate* st);
// cxzonemark: marks the start (open 1) or end (open 0) of a zone.
int cxzonemark(cxstate* st, int code, int open);
// cxzonepush, cxzonepop, cxzonetop: the zone code stack.
int cxzonepush(cxstate* st, int code);
int cxzonepop(cxstate* st);
int cxzonetop(cxstate* st);
// cxzoneline: writes one zone line.
int cxzoneline(cxstate* st, int start, int end, int code);

// Text utilities.
// cxstrncmp: compares at most n characters; the first difference.
int cxstrncmp(void* ignored, const char* a, const char* b, int n);
// ccstrnicmp: cxstrncmp ignoring ASCII case.
int ccstrnicmp(cxstate* st, const char* a, const char* b, int n);
// ccstricmp: whole strings ignoring case.
int ccstricmp(cxstate* st, const char* a, const char* b);
// ccstristr: first position of pattern in text ignoring case, or null.
const char* ccstristr(cxstate* st, const char* text, const char* pattern);
// ccstrpbrk: ccstristr under its converter name.
const char* ccstrpbrk(cxstate* st, const char* text, const char* pattern);
// ccstriprefix: 1 when pattern is a prefix of text ignoring case.
int ccstriprefix(cxstate* st, const char* text, const char* pattern);
// cctoupper: upper-cases ASCII a-z.
int cctoupper(cxstate* st, int c);
// cxstrlwr, cxstrupr: ASCII case change in place.
char* cxstrlwr(cxstate* st, char* text);
char* cxstrupr(cxstate* st, char* text);
// cccopy: copies n bytes forward.
void cccopy(void* ignored, void* dst, const void* src, int n);
// cccopy8: copies 8 bytes.
void cccopy8(void* ignored, const void* src, void* dst);
// cccopy8z: stores 8 bytes, then clears the first.
void cccopy8z(void* ignored, const void* value, void* dst);
// cxstrnpad: copies at most n characters and fills the rest of n with zeros.
void cxstrnpad(void* ignored, char* field, const char* text, int n);
// ccitoa, ccitoa2: a signed integer in a radix; returns out.
char* ccitoa(void* ignored, int value, char* out, int radix);
char* ccitoa2(void* ignored, int value, char* out, int radix);
// ccstrrev2: reverses a string in place.
char* ccstrrev2(void* ignored, char* text);
// Byte order: flag 1 big-endian, else little-endian.
int ccget16(cxstate* st, const unsigned char* b, int flag);
int ccgetu16(cxstate* st, const unsigned char* b, int flag);
int32_t ccget32(cxstate* st, const unsigned char* b, int flag);
void ccput16(cxstate* st, int value, unsigned char* out, int flag);
void ccput32(cxstate* st, int32_t value, unsigned char* out, int flag);
int ccswap16(cxstate* st, int value, int flag);
int32_t ccswap32(cxstate* st, int32_t value, int flag);

// ---------------------------------------------------------------- line layout

// ccwrapline: breaks the current output line at its last blank outside records.
int ccwrapline(cxstate* st, int brk, int align, int left, int right);
// ccwrap2: the same for the last line of a paragraph.
int ccwrap2(cxstate* st, int brk, int align, int left, int right);
// ccalignfix: corrects the current line's alignment record to its printed width.
int ccalignfix(cxstate* st, int left, int right);
// ccputtabs: writes the tab record of the run's tab table.
int ccputtabs(cxstate* st, int offset);
// ccputruler: writes a ruler record; returns n.
int ccputruler(cxstate* st, int kind, int n, const int32_t* pos, const char* leaders,
               const unsigned char* alignch, int (*writer)(cxstate* st, int c));
// ccfindnot: first of n bytes that differs from value, or null.
const unsigned char* ccfindnot(cxstate* st, const unsigned char* b, int value, int n);
// ccnop1, ccnop2, ccnop3: empty hooks.
int ccnop1(cxstate* st);
int ccnop2(cxstate* st, int flag);
int ccnop3(cxstate* st);

// ---------------------------------------------------------------- pipe file client

// piofopen: opens a file through the pipe peer; its handle or -1.
int piofopen(cxstate* st, const char* path, int mode, int share);
// piofclose: closes a peer handle; 0 or -1.
int piofclose(cxstate* st, int handle);
// piofread: reads through the peer; the count or -1.
int piofread(cxstate* st, int handle, void* buf, int n);
// piofwrite: writes through the peer; the count or -1.
int piofwrite(cxstate* st, int handle, const void* data, int n);
// pioseek: seeks through the peer; the position or -1.
int pioseek(cxstate* st, int handle, int offset, int origin);
// piounlink, piorename: file operations through the peer.
int piounlink(cxstate* st, const char* path);
int piorename(cxstate* st, const char* oldp, const char* newp);
// piofsize: the size through the peer, or -1.
int32_t piofsize(cxstate* st, const char* path);
// pioexist: 0 when the peer reports the file exists.
int pioexist(cxstate* st, const char* path);
// pioreply: reads one reply record; 0 or -1.
int pioreply(cxstate* st, int handle, unsigned char* buf, int ignored);

// ---------------------------------------------------------------- stand-alone options

// ccargs: parses a stand-alone converter's command line (program path,
// first argument, then the options).
int ccargs(cxstate* st, const char* progpath, const char* first, int argc, char** argv);
// ccoption: applies one option; its flag bits.
uint32_t ccoption(cxstate* st, const char* text);
// ccoptfile: applies every line of an option file.
uint32_t ccoptfile(cxstate* st, const char* path);
// cchexword: nine characters of hex digits, ":" starting the low half.
uint32_t cchexword(cxstate* st, const char* text);
// ccsiginit: installs the signal handler (stand-alone processes only).
int ccsiginit(cxstate* st);
// ccsignal: ends the run for a signal: 16 for 8 and 11, else the signal number.
int ccsignal(cxstate* st, int sig);

#endif  // KES_CONVERTERS_RUNTIME_CX_H
