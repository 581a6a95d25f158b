// The document filter framework's runtime: the host interface and conversion
// driver, format detection, memory files, the converter run record with its
// options, file services, paged work streams and redirection, the
// intermediate record format COM and its conversion to plain text.
#ifndef KES_FILTERS_FRAMEWORK_RUNTIME_CV_H
#define KES_FILTERS_FRAMEWORK_RUNTIME_CV_H

#include <cstddef>
#include <cstdint>

struct convstate;
struct cvrun;
struct cvpstream;
struct cwstate;  // the writer's state of a run, owned by the writer
struct olststream;
struct olststg;
struct olstcache;

// ---------------------------------------------------------------- host interface

// The five host callbacks, in the order read, seek, tell, alloc, free; each
// takes the host's opaque user pointer first.
struct convhostcb {
  // Copies up to len bytes from the document's position into buf and stores
  // the number copied in *count: 0 at the end, negative on failure.
  int (*read)(void* user, void* buf, int len, int* count);
  // Moves the document's position (origin 0 start, 1 current, 2 end).
  long (*seek)(void* user, long offset, int origin);
  // Stores the document's position in *pos.
  long (*tell)(void* user, long* pos);
  // A block of at least size bytes, zero-filled by the hosts of this system, or null.
  void* (*alloc)(void* user, size_t size);
  // Releases a block that alloc returned.
  int (*free)(void* user, void* block);
};

// A reader entry: run record, argument count and vector; 0 after a normal end.
using rdrentry = int (*)(cvrun* run, int argc, const char** argv);

// The status codes with which a reader ends its run (through convfatal).
inline constexpr int RDR_OK = 0;         // normal end
inline constexpr int RDR_NOINPUT = 1;    // the input cannot be opened as a paged stream
inline constexpr int RDR_SHORT = 2;      // fewer bytes than a fixed structure needs
inline constexpr int RDR_NOOUTPUT = 3;   // the output cannot be created
inline constexpr int RDR_DAMAGED = 5;    // a length or position in the file is impossible
inline constexpr int RDR_NOMEM = 8;      // out of memory
inline constexpr int RDR_FORMAT = 9;     // not the expected format, or an unsupported version
inline constexpr int RDR_NOPACKET = 12;  // a packet the document refers to is missing
inline constexpr int RDR_ENCRYPTED = 15; // encrypted document

// convopen: a filter state over the host's callbacks, or null; reads nothing.
convstate* convopen(void* user, const convhostcb* cb);
// convgettext: the next bytes of the document's plain text; 1 with the count
// in *count (0 once the text is exhausted), or -1 on any failure.
int convgettext(convstate* st, void* buf, int len, int* count);
// convgetint: the same for the intermediate file.
int convgetint(convstate* st, void* buf, int len, int* count);
// convclose: closes the read handles, frees the filter's blocks and the state; 1.
int convclose(convstate* st);
// convrun: detection, run set-up and the reader; 0 or -1 (called by the pulls).
int convrun(convstate* st);
// convsetup: builds the run record and the reader's argument vector; 0 or -1.
int convsetup(convstate* st);
// convfatal: ends the run; code 0 returns to the caller, any other code
// prints the internal-error box and unwinds to the pull in progress.
void convfatal(cvrun* run, int code);
// convinterr: prints the internal-error box and unwinds to the pull in progress.
[[noreturn]] void convinterr();
// convguard: runs fn(arg) with the return point set; fn's result, or -1 when
// a fatal unwind arrived. The pulls run through it; so can a test or a host.
int convguard(int (*fn)(void* arg), void* arg);

// The readers by format code (1, 7, 44, 48, 49, 108) are process-wide, like
// the return point. convsetreader installs the entry for a code and returns
// the one it replaces (null for a code without reader, or for any other code).
// Format 1 has no reader until one is installed; until their readers exist,
// the WordPerfect (7, 48), Word (44, 49) and HTML (108) entries end their
// runs with status 9.
rdrentry convsetreader(int format, rdrentry entry);
// convgetreader: the entry installed for a format code, or null.
rdrentry convgetreader(int format);

// ---------------------------------------------------------------- run hooks

// The steps of the run's start and end that belong to the writer and the
// compound-file reader. They are installed once per process (cvsethooks);
// an empty slot is a step that does nothing.
struct cvhooks {
  // cvinit step 2: the writer modules' run-start values.
  void (*runstart)(cvrun* run);
  // cvinit step 3: the built-in document defaults (cwdefsinit).
  void (*defsinit)(cvrun* run);
  // cvinit step 3: the compound-file reader's state (olstreset).
  void (*olereset)(cvrun* run);
  // cvinit step 7: the code-page tables (cvunctabinit).
  void (*unctabinit)(cvrun* run);
  // cvinit step 8: the character format (cwcharinit).
  void (*charinit)(cvrun* run);
  // cvinit step 8: the page and paragraph defaults (cwpagedefs).
  void (*pagedefs)(cvrun* run);
  // cvinit step 9: the writer's per-run caches.
  void (*caches)(cvrun* run);
  // cvinit step 11: the right limit of the line.
  void (*rightlimit)(cvrun* run);
  // cvshutdown step 2: frees the code-page tables (cvunctabfree).
  void (*unctabfree)(cvrun* run);
  // cvshutdown step 3: frees the font table.
  void (*fontfree)(cvrun* run);
  // cvshutdown step 4: frees the tab leaders and list levels (cwparafree).
  void (*parafree)(cvrun* run);
  // cvcloseio, before the output is closed: writes what the writer still
  // holds back (the tables of a pending table grid).
  void (*outclose)(cvrun* run);
};

// cvsethooks: installs the hook table (null: none) and returns the previous one.
const cvhooks* cvsethooks(const cvhooks* hooks);

// ---------------------------------------------------------------- memory files

inline constexpr int CONV_MFSLOTS = 30;         // named memory files of a filter state
inline constexpr int CONV_MFCHUNK = 25000;      // bytes in a chunk
inline constexpr int CONV_MFSPARE = 8;          // chunks of deleted files kept for reuse
inline constexpr int CONV_MFMAXCHUNKS = 4000;   // chunks in a file
inline constexpr int CONV_MFSOURCE = 998;       // the handle of "source.doc"
inline constexpr int CONV_MFSPILL = 1000;       // first handle of the spill store
inline constexpr int CONV_MFSTORE = 900;        // first handle of the compiled-in files
inline constexpr int CONV_STOREMAX = 32;        // compiled-in files at most

// A read-only file compiled into the program. The code-page files "unc" +
// number + ".dat" are made this way by the build, so that a run opens them by
// name through the file services, which reach no disk; a memory file of the
// same name comes first.
struct convstorefile {
  const char* name;
  const unsigned char* bytes;
  long size;
};
extern const convstorefile convstore[];
extern const int convstorecount;

// One memory file: a chunked byte array in the host's memory.
struct convmfile {
  int mode;                                    // 1 read, 2 write; informative
  char* name;                                  // owned copy
  unsigned char* chunks[CONV_MFMAXCHUNKS];     // chunk 0 comes with the file
  int last;                                    // index of the last chunk in use
  int lastbytes;                               // bytes in the last chunk
  long pos;                                    // next byte read or written
};

// Header of every filter-side block: the filter's block list and a tag.
struct convblock {
  convblock* prev;
  convblock* next;
  char tag[8];  // 'm', 'i', six zero bytes
};

// The filter state of one open document.
struct convstate {
  void* user;           // passed first to every callback
  convhostcb cb;        // the host callbacks
  int converted;        // the reader has run
  cvrun* run;           // the conversion's run record
  const char** argv;    // the reader's argument vector, room for ten
  int argc;
  int textmade;         // the intermediate file has been made plain text
  // The text conversion: input position, count and buffer, output count,
  // capacity and buffer, last character written, the two memory files, and
  // the multi-byte hex mode with the hex digits of its character so far.
  int txinpos, txincount;
  unsigned char* txin;
  int txoutcount, txoutcap;
  unsigned char* txout;
  int txlast;
  int txinh, txouth;
  int txhexmode, txhexdigits;
  int intopen, inth;    // the host's reads of the intermediate file
  int textopen, texth;  // the host's reads of the plain text
  convmfile* mf[CONV_MFSLOTS];
  convblock* first;     // the filter's block list
  convblock* last;
  // Spill files of scratch streams live apart from the named slots, so that
  // any number of them can exist at once; handles CONV_MFSPILL + index.
  convmfile** spill;
  int nspill, spillcap;
  long storepos[CONV_STOREMAX];  // position in each compiled-in file
  // Chunks of deleted memory files, kept for the next files: a writer that
  // makes and drops a stream per table row would otherwise have the host
  // allocate (and clear) a chunk a row.
  unsigned char* spare[CONV_MFSPARE];
  int nspare;
};

// convmfopen: "source.doc" with mode 1 gives 998; any other name a memory
// file, or for reading a compiled-in file when no memory file has the name.
int convmfopen(cvrun* run, const char* name, int mode);
// convmfopentmp: like convmfopen, but a file it creates goes to the spill store.
int convmfopentmp(cvrun* run, const char* name, int mode);
// convmfcreate: opens or creates a named memory file (modes 1 to 4); slot or -1.
int convmfcreate(convstate* st, const char* name, int mode);
// convmfread: bytes read from the handle's position (0 at the end), or -1.
int convmfread(cvrun* run, int handle, void* buf, int count);
// convmfwrite: bytes written at the handle's position, or -1 (998, bad handle).
int convmfwrite(cvrun* run, int handle, const void* bytes, int count);
// convmfseek: moves the position (origin 0, 1, 2) and returns it, or -1.
long convmfseek(cvrun* run, int handle, long offset, int origin);
// convmfclose: the file keeps its bytes; its position goes back to 0; 0.
int convmfclose(cvrun* run, int handle);
// convmfdelete: frees the named memory file; 0.
int convmfdelete(cvrun* run, const char* name);
// convmfsize: the length of a name ("source.doc" asks the host, a compiled-in
// file its size), 0 without a file.
long convmfsize(cvrun* run, const char* name);
// convmfexists: 1 for "source.doc", a memory file or a compiled-in file of that name, else 0.
int convmfexists(cvrun* run, const char* name);
// convmfrename: does nothing; 0.
int convmfrename(cvrun* run, const char* from, const char* to);
// The same operations on the filter state, for the driver and the text conversion.
int convmfget(convstate* st, int handle, void* buf, int count);
int convmfput(convstate* st, int handle, const void* bytes, int count);
long convmfpos(convstate* st, int handle, long offset, int origin);
int convmfshut(convstate* st, int handle);

// convbnew: a block on the filter's block list (the caller's bytes), or null.
void* convbnew(convstate* st, size_t size);
// convbfree: unlinks a filter-side block and returns it to the host.
void convbfree(convstate* st, void* block);
// convbfreeall: returns every block of the filter's list to the host.
void convbfreeall(convstate* st);

// ---------------------------------------------------------------- host services

// convhostalloc: a block from the host's alloc callback, or null.
void* convhostalloc(cvrun* run, size_t size);
// convhostfree: returns a block to the host; 0.
int convhostfree(cvrun* run, void* block);
// convdatetime: the fixed date and time of this system into eight bytes; 0.
int convdatetime(unsigned char rec[8]);
// convhostcp: the host's code page, 437.
int convhostcp();
// convyield: lets the host take a turn; 0 (go on).
int convyield(cvrun* run, int amount);
// The progress hooks: begin with a mode, report a percentage, end; each 0.
int convprogbeg(cvrun* run, int mode);
int convprogstep(cvrun* run, int pct);
int convprogend(cvrun* run);
// convhostcanconv: whether the host converts a graphics format; 0, never.
int convhostcanconv(cvrun* run, int format, int flag);
// convhostgfxconv: converts an embedded graphic; 0 without doing anything.
int convhostgfxconv(cvrun* run, int format, int flag, const char* in, const char* out,
                    const char* options);
// convhostembconv: converts an embedded document; -1, it cannot.
int convhostembconv(cvrun* run, void* object, int format, const char* name, const char* options);
// convhostident: identifies an embedded format; 0, none.
int convhostident(cvrun* run, int a, int b);
// convhostbadopt: told of an option the parser does not know; nothing.
void convhostbadopt(cvrun* run, int letter, const char* rest);
// convhostoptz: option Z; nothing.
void convhostoptz(cvrun* run);
// Byte swaps of 16- and 32-bit values when the flag is 1.
int16_t convswap16(int16_t v, int flag);
uint16_t convswap16u(uint16_t v, int flag);
int32_t convswap32(int32_t v, int flag);
uint32_t convswap32u(uint32_t v, int flag);
// convstrrev: reverses a string in place; half its length.
int convstrrev(char* s);
// convtoupper: the upper case of an ASCII letter, any other value unchanged.
int convtoupper(int c);

// ---------------------------------------------------------------- detection

// convdetect: the document's format code (1, 7, 44, 48, 49, 108), 0 for none.
int convdetect(convstate* st);
// The detectors, each over the first n bytes of the document.
int convdetwp(const unsigned char* buf, int n);
int convdetw12(const unsigned char* buf, int n);
int convdethtml(const unsigned char* buf, int n);
int convdettext(const unsigned char* buf, int n);
int convdetole(convstate* st, const unsigned char* buf, int n);

// ---------------------------------------------------------------- the run record

inline constexpr int CV_NSTREAMS = 256;   // paged-stream slots
inline constexpr int CV_NOPENFILES = 20;  // spilled scratch streams with an open file
inline constexpr int CV_NCLEANUP = 20;    // clean-up callbacks
inline constexpr int CV_NREDIR = 10;      // depth of each redirection stack
inline constexpr int CV_NFHAND = 40;      // recorded open handles
inline constexpr int CV_NFTMP = 40;       // recorded temporary names
inline constexpr int CV_NPARAMS = 19;     // run parameters 0 to 18
inline constexpr int CV_NCMD = 25;        // command pairs
inline constexpr int CV_NGFXEXCL = 49;    // excluded graphics formats
inline constexpr int CV_OPTDEPTH = 8;     // option files read inside option files

// Run error codes recorded by the paged streams.
inline constexpr int CV_ESHORT = 2;    // short read of a page
inline constexpr int CV_EWRITE = 4;    // short write of a page
inline constexpr int CV_ENOMEM = 8;    // a slot, record, page or name could not be had
inline constexpr int CV_ECANCEL = 13;  // cancelled

// A tracked block of the run: the run's block list, then the caller's bytes.
struct cvtblock {
  cvtblock* prev;
  cvtblock* next;
};

// The command pairs of option CMD=.
struct cvcmdpairs {
  char* key[CV_NCMD];
  char* value[CV_NCMD];
  int count;
};

// Option settings of a run.
struct cvopts {
  int flags;                   // option flag word (default 1)
  int gfx;                     // graphics bits
  int g1;                      // option G1
  int gfxexcl[CV_NGFXEXCL];    // excluded graphics formats
  int ngfxexcl;
  int gsize[2];                // option GS
  int oflags;                  // O flags (default 4)
  int osim;                    // OSIM flags
  int wflag;                   // W flag
  char* pe;                    // option PE=
  char* bt;                    // option BT=
  char* f;                     // option F
  char* s;                     // option S and its flag
  int sflag;
  char* x;                     // option X and its flag
  int xflag;
  char* rfdir;                 // option RF= and the RF flag
  int rfflag;
  char* rlname;                // the dependent-file list (option RL=)
  int deloutput;               // 0: the output file may not be deleted
  cvcmdpairs cmd;              // option CMD=
  int filedepth;               // option files being read inside one another
};

// A clean-up callback of a run.
using cvcleanup_t = void (*)(cvrun* run);
// A reading callback (next byte 0-255, -1 at the end) and an unget callback.
using cvgetcb_t = int (*)(cvrun* run);
using cvungetcb_t = int (*)(cvrun* run, int byte);

// The run record: all state of one conversion, passed first to every
// runtime, writer and reader operation.
struct cvrun {
  cvpstream* streams[CV_NSTREAMS];  // paged-stream slots
  int openfiles[CV_NOPENFILES];     // spilled scratch streams with a file, most recent first
  int nopenfiles;
  cvtblock* first;                  // tracked memory (cvalloc)
  cvtblock* last;
  cvcleanup_t cleanup[CV_NCLEANUP];
  int fmtid;                        // the reader's format code
  int err;                          // the last failure a paged stream recorded
  int lost;                         // a write or memory failure happened: output incomplete
  int in;                           // current input stream, -1 none
  int out;                          // current output stream, -1 none
  // Redirection: saved handles, depth (-1 empty) and pushes refused when full.
  int insaved[CV_NREDIR], indepth, inover;
  int outsaved[CV_NREDIR], outdepth, outover;
  cvgetcb_t getcbs[CV_NREDIR];
  int getidx;
  cvungetcb_t ungetcbs[CV_NREDIR];
  int ungetidx;
  char* params[CV_NPARAMS];         // run parameters by index (cvgetparam)
  int inflag;                       // input-file flag
  int profile;                      // profile stream, -1 none
  cvopts opt;
  int fhand[CV_NFHAND];             // recorded open handles, -1 free
  char* ftmp[CV_NFTMP];             // recorded temporary names
  int progmode, progstep, progcount, progpct;
  long progtotal;
  unsigned tmpcount;                // temporary-name counter, 0 until seeded
  convstate* state;                 // the filter state: host callbacks and memory files
  void* reader;                     // the reader's own state
  int codepage;                     // code page of the text, -1 unset
  int bigendian;                    // byte order of 16-bit strings: 0 little-endian
  cwstate* writer;                  // the writer's state, made by its run-start hook
  // compound files: the reader's tables and buffers (olstreset, olstopen)
  olststream* olstreams;            // 16 stream slots
  olststg* olstgs;                  // 2 storage slots
  olstcache* olcache;               // 4 cache pages
  int olsetup;                      // the tables are allocated
  int olcur;                        // current storage, -1 none
  unsigned char* olwork;            // 2050-byte work buffer
  int olpushstg, olpushslot;        // what olstpushin opened for olstpopin
  // objects: the picture size the host's graphics conversion reported
  int picheight, picwidth;
};

// cvinit: starts a run (argument vector as the driver builds it); 0.
int cvinit(cvrun* run, int argc, const char** argv, int inflag, int fmtid, int sizefactor);
// cvshutdown: ends a run: clean-ups, streams, temporary files, options; 0.
int cvshutdown(cvrun* run);
// cvaddcleanup: stores a callback in the first empty of the 20 slots; 0 or -1.
int cvaddcleanup(cvrun* run, cvcleanup_t fn);
// cvdelcleanup: empties the first slot holding the callback; 0 or -1.
int cvdelcleanup(cvrun* run, cvcleanup_t fn);
// cvalloc: a tracked block of size bytes, or null.
void* cvalloc(cvrun* run, size_t size);
// cvfree: unlinks a tracked block and returns it to the host; null is fatal.
void cvfree(cvrun* run, void* block);
// cvfreeall: returns every tracked block to the host and empties the list.
void cvfreeall(cvrun* run);
// cvmemerr: prints the memory-error box and takes the internal-error exit.
[[noreturn]] void cvmemerr(int code);
// cvopenin: opens parameter 0 as the current input stream; handle or -1.
int cvopenin(cvrun* run, int pagesize);
// cvopenout: creates parameter 2 as the current output stream; handle or -1.
int cvopenout(cvrun* run, int pagesize);
// cvcloseio: closes the current input and output streams; 0.
int cvcloseio(cvrun* run);
// cvgetparam: a fresh copy of a run parameter, or null (unset, empty, no memory).
char* cvgetparam(cvrun* run, int index);
// Accessors of the run record.
int cvinhandle(cvrun* run);
int cvouthandle(cvrun* run);
int cvsetin(cvrun* run, int handle);
int cvsetout(cvrun* run, int handle);
void* cvreader(cvrun* run);
int cvsetreader(cvrun* run, void* reader);
// cvseterr: records a run error code (4 and 8 also mark the output incomplete).
int cvseterr(cvrun* run, int code);
int cvgeterr(cvrun* run);
int cvoptoflags(cvrun* run);
int cvoptflags(cvrun* run);
int cvsimflags(cvrun* run);
int cvgfxopts(cvrun* run);
int cwgetcodepage(cvrun* run);
int cvprogpct(cvrun* run);

// ---------------------------------------------------------------- options

// cvoptparse: parses one option argument into the run.
void cvoptparse(cvrun* run, const char* arg);
// cvargs: the options (arguments 2 on), then the input name and the output default.
void cvargs(cvrun* run, int argc, const char** argv);
// cvoptreset: the option defaults.
void cvoptreset(cvrun* run);
// cvoptfree: frees every option string and clears the settings.
void cvoptfree(cvrun* run);
// cvoptfile: reads options from a file, one a line.
void cvoptfile(cvrun* run, const char* name);
// cvcmdadd: adds a command pair written key=value.
void cvcmdadd(cvrun* run, const char* text);
// cvcmdget: the value of a key (case-insensitive) in *value; 0 found, 1 not.
int cvcmdget(const cvcmdpairs* pairs, const char* key, const char** value);
// cvhexpair: (first << 16) | second of "hex:hex" within nine characters, or -1.
long cvhexpair(const char* text);
// cvdepfile: appends a line to the dependent-file list (option RL=).
void cvdepfile(cvrun* run, const char* name, int encoding, int kind);
// cvdeppath: the name under which a dependent file is sought, into out.
void cvdeppath(cvrun* run, const char* dirsource, const char* name, char* out, size_t outsize);
// cvfiniopen: opens a profile; 0 or -1.
int cvfiniopen(cvrun* run, const char* name);
// cvfiniget: the value of a key in a section, into out (at most outsize - 1
// bytes and a NUL); 0 when a value was found, else -1.
int cvfiniget(cvrun* run, const char* section, const char* key, char* out, size_t outsize);
// cvfiniclose: closes the profile.
void cvfiniclose(cvrun* run);

// ---------------------------------------------------------------- file services

// Open modes: 1 read, 2 create or truncate, 3 read and write (create when
// missing), 4 add to the end. Kinds: 1 named input, 2 named output, 3 temporary.
int cvfopen(cvrun* run, const char* name, int mode, int kind);
int cvfread(cvrun* run, int handle, void* buf, int count);
int cvfwrite(cvrun* run, int handle, const void* bytes, int count);
long cvfseek(cvrun* run, int handle, long offset, int origin);
int cvfclose(cvrun* run, int handle);
// cvfdelete: deletes a file, but never the run's output file; 0, or -1 for no name.
int cvfdelete(cvrun* run, const char* name);
long cvfsize(cvrun* run, const char* name);
int cvfexists(cvrun* run, const char* name);
int cvfrename(cvrun* run, const char* from, const char* to);
// cvfinit: empties the records of open handles and temporary names.
void cvfinit(cvrun* run);
// cvfcloseall: closes every recorded handle, deletes every recorded temporary file.
void cvfcloseall(cvrun* run);
// cwpathjoin: the name as given, or beside the base file when only found there.
char* cwpathjoin(cvrun* run, const char* name, const char* base);
// Byte-order access: flag 0 little-endian, 1 big-endian.
int cwget16(const unsigned char* p, int flag);
unsigned cwget16u(const unsigned char* p, int flag);
int32_t cwget32(const unsigned char* p, int flag);
uint32_t cwget32u(const unsigned char* p, int flag);
void cwput16(int value, unsigned char* out, int flag);
void cwput16u(unsigned value, unsigned char* out, int flag);
void cwput32(int32_t value, unsigned char* out, int flag);
void cwput32u(uint32_t value, unsigned char* out, int flag);

// ---------------------------------------------------------------- paged streams

// One paged stream; its handle is its slot in the run's stream table.
struct cvpstream {
  char* name;        // owned; null for a scratch stream until it spills
  int fh;            // file-service handle, -1 none
  int access;        // 1 read, 2 write
  int kind;          // 1 named for reading, 2 named for writing, 3 scratch
  unsigned char* page;
  int cur;           // offset in the page of the next byte read or written
  int limit;         // the page's size in memory (the page limit)
  int end;           // offset of the end of the valid bytes in the page
  int pagesize;
  int pageno;        // current page, from 0
  int lastpage;
  int lastbytes;     // bytes in the last page
  int pushback;      // scratch stream of pushed-back bytes, -1 none
  int pending;       // bytes are pushed back
  int dirty;         // the page holds changes not yet in the file
};

int cvsopenw(cvrun* run, int pagesize, const char* name);
int cvsopenr(cvrun* run, int pagesize, const char* name);
int cvsscratch(cvrun* run, int pagesize);
int cvsclose(cvrun* run, int h);
int cvscloseall(cvrun* run);
int cvsfreeslot(cvrun* run, int h);
// cvsgetcslow, cvsputcslow: cvsgetc and cvsputc beyond their fast path
// (a byte within the current page).
int cvsgetcslow(cvrun* run, int h);
int cvsputcslow(cvrun* run, int h, int byte);
// cvsgetc: the next byte of a stream, -1 at its end. Text is read a byte at
// a time, so a byte within the page comes straight out.
inline int cvsgetc(cvrun* run, int h) {
  cvpstream* s = run && h >= 0 && h < CV_NSTREAMS ? run->streams[h] : nullptr;
  if (s && !s->pending && s->cur < s->end && run->err != CV_ECANCEL) return s->page[s->cur++];
  return cvsgetcslow(run, h);
}
int cvsread(cvrun* run, int h, void* buf, int count);
// cvsputc: writes a byte; 0, or -1. A byte with room in the page goes straight in.
inline int cvsputc(cvrun* run, int h, int byte) {
  cvpstream* s = run && h >= 0 && h < CV_NSTREAMS ? run->streams[h] : nullptr;
  if (!s || s->cur >= s->limit) return cvsputcslow(run, h, byte);
  int cur = s->cur;
  s->page[cur++] = static_cast<unsigned char>(byte);
  s->cur = cur;
  s->dirty = 1;
  if (cur > s->end) s->end = s->lastbytes = cur;
  return 0;
}
int cvswrite(cvrun* run, int h, const void* bytes, int count);
int cvsungetc(cvrun* run, int h, int byte);
int cvsbackc(cvrun* run, int h);
int cvsflush(cvrun* run, int h);
int cvsseek(cvrun* run, int h, long offset);
long cvstell(cvrun* run, int h);
long cvssize(cvrun* run, int h);
int cvsrewind(cvrun* run, int h);
int cvscopy(cvrun* run, int from, int to);
// cvtmpname: a temporary name "WW" + six digits + ".TMP" into out (13 bytes); 0 or -1.
int cvtmpname(cvrun* run, char* out);
int cvsopenfile(cvrun* run, int h);

// ---------------------------------------------------------------- redirection

int cvpushout(cvrun* run, int handle);
int cvpopout(cvrun* run);
int cvpushin(cvrun* run, int handle);
int cvpopin(cvrun* run);
int cvpushgetc(cvrun* run, cvgetcb_t fn);
int cvpopgetc(cvrun* run);
int cvpushungetc(cvrun* run, cvungetcb_t fn);
int cvpopungetc(cvrun* run);
int cvpushrdr(cvrun* run, cvgetcb_t get, cvungetcb_t unget);
int cvpoprdr(cvrun* run);

// ---------------------------------------------------------------- COM

// The marks of the intermediate format.
inline constexpr int COM_ESC = 0x1B, COM_GS = 0x1D, COM_RS = 0x1E, COM_US = 0x1F;

// Writer primitives, to the run's current output stream.
int cwrecbeg(cvrun* run, int code);
int cwrecend(cvrun* run);
int cwrecone(cvrun* run, int code);
int cwparint(cvrun* run, int value);
int cwparuint(cvrun* run, unsigned value);
int cwparlong(cvrun* run, int32_t value);
int cwparulong(cvrun* run, uint32_t value);
int cwparpos(cvrun* run, int value);
int cwparhex2(cvrun* run, unsigned value);
int cwparhex4(cvrun* run, unsigned value);
int cwparhex8(cvrun* run, uint32_t value);
// cwdigits: the decimal digits of an unsigned 16-bit value; their number.
int cwdigits(cvrun* run, unsigned value);
int cwhex2(cvrun* run, unsigned value);
int cwhex4(cvrun* run, unsigned value);
int cwhex8(cvrun* run, uint32_t value);
// cwhexdigit: the upper-case hex digit of the low four bits.
int cwhexdigit(unsigned value);
// cwcodepack: the stored number of three code characters.
int cwcodepack(const char* three);
// cwcodeunpack: the three code characters of a stored number and a NUL.
void cwcodeunpack(int code, char* out);

// Field readers, from the run's current input stream.
int cwgethex(cvrun* run);
int cwgethex2(cvrun* run);
int cwgetint(cvrun* run);
int cwgetuint(cvrun* run);
int cwgetint2(cvrun* run);
int cwgetuint2(cvrun* run);
// cwskiprec: skips the rest of the record being read, nested ones included; 0.
int cwskiprec(cvrun* run);
// cwskiptors: skips to and past the next RS; 0.
int cwskiptors(cvrun* run);

// ---------------------------------------------------------------- COM to plain text

// One character over the code pages: its byte in each column (437, 9999,
// 850, 819, 8591, 9998, 8592, 9997, 1250, 852) and the mask of the cells
// that are its exact code there.
struct cvcprow {
  unsigned char code[10];
  uint16_t mask;
};
inline constexpr int CV_CPROWS = 278;
extern const cvcprow cvcptab[CV_CPROWS];

// convtotext: converts the intermediate file into the plain text; 0 or -1.
int convtotext(convstate* st);
// convcpxlat: a character of one code page in another, or -1.
int convcpxlat(int from, int to, int c);
// convcpcol: the column of a code page in the table (0-7), or -1.
int convcpcol(int codepage);

// ---------------------------------------------------------------- compound files

// A read-only reader of compound files: 512-byte sectors chained through an
// allocation table, small streams in a mini stream of 64-byte sectors, and a
// directory of 128-byte entries. Files go through the file services, so a
// compound file may be the host's document or a memory file.
inline constexpr int OLST_NSTREAMS = 16;  // stream slots of a run
inline constexpr int OLST_NSTG = 2;       // storage slots of a run
inline constexpr int OLST_NCACHE = 4;     // cache pages of eight sectors
inline constexpr int OLST_SECTOR = 512;
inline constexpr int OLST_SMALL = 4096;   // streams below this size live in the mini stream

// An open compound file.
struct olststg {
  int32_t dirstart;     // first sector of the directory
  int fh;               // file-service handle, -1 = slot free
  int32_t fatcount;     // sectors of the allocation table (at most the file's sectors)
  int32_t minifat;      // first sector of the mini table
  int32_t minifatcount;
  int32_t* fatlist;     // the table's sector numbers, fatlen entries (owned)
  int32_t fatlen;
  int dirslot;          // the stream slot open on the directory
  long filesize;
  int32_t nsectors;     // whole or partial sectors after the header: bounds every walk
  int32_t fatbufsec;    // the table sector in fatbuf, -1 none
  unsigned char fatbuf[OLST_SECTOR];
};

// An open stream of a compound file.
struct olststream {
  int owner;            // storage index, -1 = slot free
  int32_t first;        // first sector (or mini sector)
  int32_t size;         // the size field; a small stream's is lowered to what its chain holds
  int32_t sector;       // current sector index within the stream
  int32_t offset;       // offset within the current sector, 0-512
  unsigned char* buf;   // the current sector (regular streams, owned)
  int32_t loaded;       // sector index in buf, -1 none
  int chain;            // scratch stream of the sector numbers, -1 none
  int32_t pos;          // position in mem (small streams)
  unsigned char* mem;   // the whole small stream (owned), null for regular streams
  int32_t nchain;       // sector numbers in chain
};

// Eight consecutive sectors of a storage's file.
struct olstcache {
  int32_t first, last;  // sectors held, -1 none
  int age;              // 0 most recent to 3 least recent
  int stg;              // the storage they were read from
  unsigned char* buf;   // 4096 bytes
};

// olstreset: forgets the reader's state; the start of every run calls it.
void olstreset(cvrun* run);
// olstopen: opens a compound file; its storage index, or -1.
int olstopen(cvrun* run, const char* name);
// olstfind: opens the first stream of the name in directory order; slot or -1.
int olstfind(cvrun* run, int stg, const char* name);
// olstopenpath: opens a stream by its storage path, a list of names each
// ended by NUL and the list by an empty name; slot or -1.
int olstopenpath(cvrun* run, int stg, const char* path);
// olstgetc: the next byte of a stream, -1 at its end.
int olstgetc(cvrun* run, int slot);
// olstread: up to count bytes; the number read (fewer at the end).
int olstread(cvrun* run, int slot, void* buf, int count);
long olsttell(cvrun* run, int slot);
long olstseek(cvrun* run, int slot, long pos);
// olstsize: the stream's size field.
long olstsize(cvrun* run, int slot);
int olstclose(cvrun* run, int slot);
// olstshut: closes a compound file with the streams still open in it; 0.
int olstshut(cvrun* run, int stg);
// olstpushin: opens a file's stream and pushes the slot as the run's input; slot or -1.
int olstpushin(cvrun* run, const char* name, const char* stream);
// olstpopin: pops that input and closes the stream and the file; 0.
int olstpopin(cvrun* run);
// olstslotused: the storage owning a slot, or -1 when it is free.
int olstslotused(cvrun* run, int slot);

#endif
