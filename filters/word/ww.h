// The Word reader: the Word state of a run, the normalized file header and
// document properties, and the operations of the library's modules. Every
// operation takes the Word state first; the run record hangs off it.
#ifndef KES_FILTERS_WORD_WW_H
#define KES_FILTERS_WORD_WW_H

#include <cstdint>

#include "filters/framework/writer/cw.h"

inline constexpr int WW_MAIN = -5;      // handle of the document's main input
inline constexpr int WW_NHDR = 92;      // fields of the normalized header
inline constexpr int WW_PAGE = 2048;    // page size of the main input and the output

// The normalized file header: 92 signed 32-bit fields, numbered from 1 as
// the table of every level's layout gives them (field n is f[n - 1]).
struct wwhdr {
  int32_t f[WW_NHDR];
};

// A date record: minute, hour, day, month, year from 1900, weekday.
struct wwdate {
  int32_t min, hour, day, month, year, wday;
};

// The document properties, lengths in twips.
struct wwdop {
  int32_t facing, ihdt, dxatab;
  wwdate created, revised;
  int32_t nrevs, edittime, nwords, nchars, npages;
  int32_t xapage, yapage, dxaleft, dxaright, dyatop, dyabottom;
  int32_t pgnstart, landscape;
};

// The character properties: thirty properties, each a value followed by
// its set flag (1 when a style, a stored property list or a sprm gave the
// value). Two positions with the same properties give byte-identical
// records, which is how the front end sees where a run ends.
inline constexpr int WW_NCHP = 30;
struct wwchp {
  int32_t v[2 * WW_NCHP];
};
// Property numbers of wwchp, from 1.
enum : int {
  WC_BOLD = 1, WC_ITALIC, WC_DELETED, WC_OUTLINE, WC_FLDVANISH, WC_SMALLCAPS, WC_CAPS, WC_HIDDEN,
  WC_RMARK, WC_SPECIAL, WC_STRIKE, WC_EMBED, WC_SHADOW, WC_OLE, WC_FONT, WC_SIZE, WC_SPACING,
  WC_SUPSUB, WC_COLOR, WC_ULINE, WC_POS, WC_LANG, WC_PICLOC, WC_CSTYLE, WC_SYMFONT, WC_SYMCHAR,
  WC_CHARSET, WC_RTL, WC_PICSX, WC_PICSY
};
inline int32_t wwchpv(const wwchp* c, int p) { return c->v[2 * p - 2]; }
inline int32_t wwchpisset(const wwchp* c, int p) { return c->v[2 * p - 1]; }
inline void wwchpset(wwchp* c, int p, int32_t v) {
  c->v[2 * p - 2] = v;
  c->v[2 * p - 1] = 1;
}

// A stored character run: its file positions [first, limit) and where its
// property bytes (count byte first) lie in the property stream.
struct wwchprunrec {
  int32_t first, limit, offset, length;
};

// ---------------------------------------------------------------- paragraph property records
// Every property is a value followed by its set flag (the fields ending in
// "set"), 1 once a style, a stored modifier or a piece's sprm gave it.

struct wwbrc {        // a border
  int32_t dxpLineWidth; // line width code 0-7
  int32_t brcType;      // 0 none, 1 single, 2 thick, 3 double
  int32_t ico;          // colour index 0-31
  int32_t dxpSpace;     // space to the text 0-31
};
struct wwshd {        // a shading
  int32_t ipat, icoBack, icoFore;
};
struct wwtbd {        // a tab stop: alignment and leader
  int32_t jc, tlc;
};
struct wwanld {       // a number descriptor
  int32_t nfc, cxchTextBefore, cxchTextAfter, jc, fPrev, fHang, fSetBold, fSetItalic, fSetSmallCaps,
      fSetCaps, fSetStrike, fSetKul, fBold, fItalic, fSmallCaps, fCaps, fStrike, kul, ico, ftc, hps,
      iStartAt, dxaIndent, dxaSpace;
  unsigned char rgch[32];
};
struct wwtc {         // a table cell
  int32_t fFirstMerged, fMerged;
  wwbrc brcTop, brcLeft, brcBottom, brcRight;
};
inline constexpr int WW_MAXCELL = 32, WW_MAXTAB = 50;
struct wwtap {        // a table row
  int32_t jc, jcset, dxaGapHalf, dxaGapHalfset, fRightToLeft, fRightToLeftset, dyaRowHeight,
      dyaRowHeightset, itcMac, itcMacset;
  int32_t rgdxaCenter[WW_MAXCELL + 1], rgdxaCenterset;
  wwtc rgtc[WW_MAXCELL];
  int32_t rgtcset;
  wwshd rgshd[WW_MAXCELL];
  int32_t rgshdset;
  wwbrc rgbrcTable[6];
  int32_t rgbrcTableset;
};
struct wwpap {
  int32_t istd, istdset, jc, jcset, fKeep, fKeepset, fKeepFollow, fKeepFollowset, fPageBreakBefore,
      fPageBreakBeforeset, pcVert, pcVertset, pcHorz, pcHorzset, nLvlAnm, nLvlAnmset, dxaRight,
      dxaRightset, dxaLeft, dxaLeftset, dxaLeft1, dxaLeft1set;
  int32_t dyaLine, fMultLinespace, dyaLineset;
  int32_t dyaBefore, dyaBeforeset, dyaAfter, dyaAfterset, fNoAutoHyph, fNoAutoHyphset, fWidowControl,
      fWidowControlset, fInTable, fInTableset, fTtp, fTtpset;
  wwtap tap;
  int32_t fTapChanged;
  int32_t dxaAbs, dxaAbsset, dyaAbs, dyaAbsset, dxaWidth, dxaWidthset;
  wwbrc brcTop;
  int32_t brcTopset;
  wwbrc brcLeft;
  int32_t brcLeftset;
  wwbrc brcBottom;
  int32_t brcBottomset;
  wwbrc brcRight;
  int32_t brcRightset;
  int32_t dxaFromText, dxaFromTextset, dyaFromText, dyaFromTextset, wr, wrset, wHeightAbs,
      wHeightAbsset, fMinHeight, fMinHeightset;
  wwshd shd;
  int32_t shdset;
  wwanld anld;
  int32_t anldset;
  int32_t itbdMac, itbdMacset, fRightToLeft, fRightToLeftset;
  int32_t rgdxaTab[WW_MAXTAB], rgdxaTabset;
  wwtbd rgtbd[WW_MAXTAB];
  int32_t rgtbdset;
};

// A piece of a fast-saved document's text: where its positions lie in the
// file and where its property lists lie in the property-list stream.
struct wwpiecerec {
  int32_t start, end;      // text positions [start, end)
  int32_t noparaend;       // the descriptor's no-paragraph-end flag
  int32_t fc, fcend;       // where the text lies in the file
  int32_t chpat, chplen;   // character list: count byte and sprms (0: none)
  int32_t papat, paplen;   // paragraph list: 16-bit count, 0xFFFF, sprms
  int32_t sepat, seplen;   // section list: count byte and sprms
};

// The Word state of a run. The groups of the modules still to come are
// added with them; each starts at its module's start value (wwrinit).
struct wwstate {
  cvrun* run;
  wwhdr* hdr;
  wwdop* dop;
  int32_t ver;      // version level 1-6, -1 until detected
  int32_t big;      // 1: multi-byte values are big-endian (levels 3-5)
  int32_t in;       // main input: paged stream (1-5) or compound stream slot (6)
  int32_t stg;      // compound-file storage slot, negative for a plain file

  // Fonts: the work stream of 80-byte font records (-1: none), the Mac font
  // numbers in font order (levels 3-5), and the buffer of wwfontname.
  int32_t fontstm;
  uint16_t* macfonts;
  int32_t nmacfonts;
  char fontname[68];

  // Character properties: the cached paragraph style and its CHP, the run
  // cache (file positions), the final cache (text positions), the run and
  // property work streams, and where the last run lookup ended.
  int32_t chpistd;
  wwchp chpstyle;
  int32_t runfirst, runlimit;
  wwchp chprun;
  int32_t finfirst, finlimit;
  wwchp chpfinal;
  int32_t chprunstm, chpxstm;
  int32_t lastfirst, lastrec;

  // Character output: 1 while a deleted-text region is open.
  int32_t delopen;

  // Paragraph properties: the mark scan of complex files, the style, run
  // and final caches, the style-lookup cache, the run and record work
  // streams, where the last run lookup ended, and the style lookup's
  // scratch record.
  int32_t markstart, markend, markpos;
  int32_t papistd;
  wwpap papstyle;
  int32_t paprunfirst, paprunlimit;
  wwpap paprun;
  int32_t papfinfirst, papfinlimit;
  wwpap papfinal;
  int32_t istdfirst, istdlimit, istdval;
  int32_t paprunstm, papxstm;
  int32_t paplastfirst, paplastrec;
  unsigned char papxbuf[512];
  wwpap papscratch;

  // Piece table and style sheet: the piece and property-list streams, the
  // piece found last (its start and record offset), the last miss's gap and
  // the piece it mapped through, the end of the last piece, the paragraph-
  // and section-mark caches (low, high, mark), the character list handed
  // out; the style index and data streams, the number of standard style
  // codes (levels 1-5, -1 until read), the PAPX buffer of the style walk and
  // the styles' keys once defined (1: defined).
  int32_t piecestm, plstm;
  int32_t pclast, pcrec;
  wwpiecerec pcfound;
  int32_t gaplo, gaphi, gaprec;
  int32_t pcend;
  int32_t pmlow, pmhigh, pmmark;
  int32_t smlow, smhigh, smmark;
  unsigned char pcchp[260];
  int32_t stdstm, stddstm;
  int32_t cstcstd;
  unsigned char stpapx[512];
  int32_t stemitted;
  // Fields, list numbering and objects (wwfld.h). Fields: how deep the
  // conversion is inside field results. Numbering: the paragraph list's
  // format, counter and restart flag, the outline counters and their
  // reload flag, the heading counters and theirs. Objects: the end of the
  // embedded picture being written.
  int32_t flddepth;
  int32_t numfmt, numctr, numrestart;
  int32_t olctr[9], olreload;
  int32_t hdctr[9], hdreload;
  int32_t picend;
  // Sections, tables and frames. Sections: the run and modifier work
  // streams, where the last run lookup ended, the section cache (defaults
  // and the section's modifiers) and the piece cache (its piece's
  // modifiers too), each with its range. Tables: the open row depth and
  // one cell counter per depth, the cell count and merge flags of the row
  // last normalised, the range of the last forward row-end search and the
  // row-end paragraph it found. Frames: 1 while a box is open.
  int32_t seprunstm, sepxstm;
  int32_t seplastfirst, seplastrec;
  int32_t sepfirst, seplimit;
  struct wwsep* sepsect;
  int32_t seppfirst, sepplimit;
  struct wwsep* seppiece;
  int32_t celldepth, cellno[3];
  int32_t rowitc, rowmerged[WW_MAXCELL];
  int32_t rowqfirst, rowqlast;
  wwpap rowpap;
  int32_t frameopen;
};

// ---------------------------------------------------------------- streams, byte order, exit

void wwsetstm(wwstate* w, int h);
int wwtmpnew(wwstate* w, int pagesize);
void wwtmpdel(wwstate* w, int h);
long wwtell(wwstate* w, int h);
void wwseek(wwstate* w, int h, long pos);
long wwsize(wwstate* w, int h);
// wwread: reads up to n bytes; what it could not read is zero-filled.
void wwread(wwstate* w, int h, void* buf, int n);
void wwwrite(wwstate* w, int h, const void* buf, int n);
int wwstmgetc(wwstate* w, int h);
int wwgetb(wwstate* w, int h);
unsigned wwgetw(wwstate* w, int h);
int wwgetsw(wwstate* w, int h);
int32_t wwgetl(wwstate* w, int h);
uint32_t wwgetul(wwstate* w, int h);
// wwgetch: the character at a text position (-1: at the current position).
int wwgetch(wwstate* w, int h, int32_t pos);

int wwbufb(const wwstate* w, const unsigned char* p);
int wwbufsb(const wwstate* w, const unsigned char* p);
unsigned wwbufw(const wwstate* w, const unsigned char* p);
int wwbufsw(const wwstate* w, const unsigned char* p);
int32_t wwbufl(const wwstate* w, const unsigned char* p);
uint32_t wwbuful(const wwstate* w, const unsigned char* p);
int32_t wwbuf3b(const wwstate* w, const unsigned char* p);
int wwputb(wwstate* w, unsigned char* p, int v);
void wwputw(wwstate* w, unsigned char* p, unsigned v);
void wwputsw(wwstate* w, unsigned char* p, int v);

// Conversion hooks of the file's types; they return the value.
inline int wwidb(int v) { return v; }
inline int wwidsb(int v) { return v; }
inline unsigned wwidw(unsigned v) { return v; }
inline long wwidsz(long v) { return v; }
inline int32_t wwidl(int32_t v) { return v; }
inline uint32_t wwidul(uint32_t v) { return v; }
inline long wwlen(long v) { return v; }
inline int wwidint(int v) { return v; }
inline int wwbyte(int c) { return c & 0xFF; }
inline int wwidch(int c) { return c & 0xFF; }

void* wwalloc(wwstate* w, long size);
void wwfree(wwstate* w, void* block);
// wwfatal: releases what the modules hold, closes the run's streams and
// ends the run with the status; does not return.
[[noreturn]] void wwfatal(wwstate* w, int code);

int wwwlen(const int32_t* s);
int wwwcpy(int32_t* dst, const int32_t* src);
int wwweq(const int32_t* a, const int32_t* b);
int wwiswide(const int32_t* s);
int32_t* wwwiden(wwstate* w, const char* s);
char* wwstrdup(wwstate* w, const int32_t* s);
long wwwdist(const void* later, const void* earlier);
int wwupch(int c);
int wwupper(char* s);
int wwkwmatch(const int32_t* s, const char* kw);
const int32_t* wwkwfind(const int32_t* s, const char* kw);
int wwfldint(const int32_t* s);

// ---------------------------------------------------------------- file header, document properties

void wwsetver(wwstate* w, int ver);
void wwsetmac(wwstate* w, int flag);
void wwfibread(wwstate* w);
void wwfibfree(wwstate* w);
void wwdopread(wwstate* w);
void wwdopfree(wwstate* w);
int wwdttm(wwstate* w, int h, wwdate* out);
void wwclrcomplex(wwstate* w);
int wwcodepage(const wwstate* w);

// Fields of the normalized header by number; the accessors below name them.
inline int32_t wwhdrf(const wwstate* w, int n) { return w->hdr->f[n - 1]; }
inline constexpr int WWH_FEA = 1, WWH_FEB = 2, WWH_FEC = 3, WWH_FED = 4, WWH_FEANY = 5, WWH_CBCH = 6,
                     WWH_IDENT = 7, WWH_PROD = 8, WWH_LID = 9, WWH_COMPLEX = 10, WWH_PICS = 11,
                     WWH_CHS = 12, WWH_CHSTABLES = 13, WWH_FCMIN = 14, WWH_FCMAC = 15;

int32_t wwfea(const wwstate* w);
int32_t wwfeb(const wwstate* w);
int32_t wwfec(const wwstate* w);
int32_t wwfed(const wwstate* w);
int32_t wwfeany(const wwstate* w);
int32_t wwlid(const wwstate* w);
int32_t wwfcmin(const wwstate* w);
int32_t wwfcmac(const wwstate* w);
int32_t wwccptext(const wwstate* w);
int32_t wwccpftn(const wwstate* w);
int32_t wwccphdd(const wwstate* w);
int32_t wwccpmcr(const wwstate* w);
int32_t wwccpatn(const wwstate* w);
int32_t wwccpedn(const wwstate* w);
int32_t wwccptxbx(const wwstate* w);
int32_t wwccphdrtxbx(const wwstate* w);
int32_t wwcpftn(const wwstate* w);
int32_t wwcphdd(const wwstate* w);
int32_t wwcpmcr(const wwstate* w);
int32_t wwcpatn(const wwstate* w);
int32_t wwcpedn(const wwstate* w);
int32_t wwcptxbx(const wwstate* w);
int32_t wwcphdrtxbx(const wwstate* w);
#define WW_HDRPAIR(fc, lcb, n)                                    \
  inline int32_t fc(const wwstate* w) { return wwhdrf(w, n); }   \
  inline int32_t lcb(const wwstate* w) { return wwhdrf(w, n + 1); }
WW_HDRPAIR(wwfcstsh, wwlcbstsh, 27)
WW_HDRPAIR(wwfcftnref, wwlcbftnref, 29)
WW_HDRPAIR(wwfcftntxt, wwlcbftntxt, 31)
WW_HDRPAIR(wwfcatnref, wwlcbatnref, 33)
WW_HDRPAIR(wwfcatntxt, wwlcbatntxt, 35)
WW_HDRPAIR(wwfcsed, wwlcbsed, 37)
WW_HDRPAIR(wwfchdd, wwlcbhdd, 39)
WW_HDRPAIR(wwfcbtechp, wwlcbbtechp, 41)
WW_HDRPAIR(wwfcbtepap, wwlcbbtepap, 43)
WW_HDRPAIR(wwfcfonts, wwlcbfonts, 45)
WW_HDRPAIR(wwfcbkmknames, wwlcbbkmknames, 55)
WW_HDRPAIR(wwfcbkf, wwlcbbkf, 57)
WW_HDRPAIR(wwfcbkl, wwlcbbkl, 59)
WW_HDRPAIR(wwfcassoc, wwlcbassoc, 63)
WW_HDRPAIR(wwfcclx, wwlcbclx, 65)
WW_HDRPAIR(wwfcdoamain, wwlcbdoamain, 71)
WW_HDRPAIR(wwfcdoahdr, wwlcbdoahdr, 73)
WW_HDRPAIR(wwfcednref, wwlcbednref, 75)
WW_HDRPAIR(wwfcedntxt, wwlcbedntxt, 77)
WW_HDRPAIR(wwfcsubd, wwlcbsubd, 79)
WW_HDRPAIR(wwtxbxfc, wwlcbtxbxtxt, 81)
WW_HDRPAIR(wwfchdrtxbxtxt, wwlcbhdrtxbxtxt, 85)
WW_HDRPAIR(wwfcsavedby, wwhassavedby, 89)
WW_HDRPAIR(wwfcsubdnames, wwlcbsubdnames, 91)
#undef WW_HDRPAIR

inline int32_t wwfacing(const wwstate* w) { return w->dop->facing; }
inline int32_t wwihdtflags(const wwstate* w) { return w->dop->ihdt; }
inline int32_t wwdxatab(const wwstate* w) { return w->dop->dxatab; }
inline const wwdate* wwdtcreated(const wwstate* w) { return &w->dop->created; }
inline const wwdate* wwdtrevised(const wwstate* w) { return &w->dop->revised; }
inline int32_t wwnrevs(const wwstate* w) { return w->dop->nrevs; }
inline int32_t wwedittime(const wwstate* w) { return w->dop->edittime; }
inline int32_t wwnwords(const wwstate* w) { return w->dop->nwords; }
inline int32_t wwnchars(const wwstate* w) { return w->dop->nchars; }
inline int32_t wwnpages(const wwstate* w) { return w->dop->npages; }
inline int32_t wwxapage(const wwstate* w) { return w->dop->xapage; }
inline int32_t wwyapage(const wwstate* w) { return w->dop->yapage; }
inline int32_t wwdxaleft(const wwstate* w) { return w->dop->dxaleft; }
inline int32_t wwdxaright(const wwstate* w) { return w->dop->dxaright; }
inline int32_t wwdyatop(const wwstate* w) { return w->dop->dyatop; }
inline int32_t wwdyabottom(const wwstate* w) { return w->dop->dyabottom; }
inline int32_t wwpgnstart(const wwstate* w) { return w->dop->pgnstart; }
inline int32_t wwlandscape(const wwstate* w) { return w->dop->landscape; }

// ---------------------------------------------------------------- front end

// wwrmain: the reader entry of format 49.
int wwrmain(cvrun* run, int argc, const char** argv);
void wwrinit(wwstate* w);
void wwrload(wwstate* w);
void wwrunload(wwstate* w);
// wwrtext: converts the positions from up to to (exclusive) with a range
// kind; the main input's position is restored.
void wwrtext(wwstate* w, int32_t from, int32_t to, int kind);
int wwrisfirst(const wwstate* w, int32_t pos);
int wwrislast(const wwstate* w, int32_t pos);

// ---------------------------------------------------------------- fonts

inline constexpr int WW_FONTREC = 80;
void wwfontread(wwstate* w);
void wwfontfree(wwstate* w);
void wwfont6tab(wwstate* w);
void wwfont5tab(wwstate* w);
void wwfont34tab(wwstate* w);
void wwfont12tab(wwstate* w);
void wwfontput(wwstate* w, const char* name, int family, int pitch, int dbcs);
// wwfontget: record index (an index out of range reads record 0; with no
// record at all, an empty name and zeros); null out-pointers are skipped.
void wwfontget(wwstate* w, int index, char* name, int* family, int* pitch, int* dbcs);
int wwfontrecs(wwstate* w);
int wwfontcount(wwstate* w);
const char* wwfontname(wwstate* w, int font);
int wwmacfont(wwstate* w, long number);
int wwfontfind(wwstate* w, const char* name);
int wwfontknown(wwstate* w, const char* name);
int wwfontfam(wwstate* w, int index);
int wwfontpitch(wwstate* w, int index);
int wwfontcs(wwstate* w, int index);
void wwfontstmnew(wwstate* w);
void wwfontstmfree(wwstate* w);
// wwfontenc: the name encoding of the document's Far-East flags, else 5.
int wwfontenc(const wwstate* w);
// wwfontdecl: declares every font of the list to the writer.
void wwfontdecl(wwstate* w);

// ---------------------------------------------------------------- character properties

// wwbinwalk: loads through fkp every property page a bin table lists (the
// table at fcbte, lcbbte bytes long), and the pages after them the table
// leaves out; fkp loads one page and returns the last position it covers.
void wwbinwalk(wwstate* w, int32_t fcbte, int32_t lcbbte, int32_t (*fkp)(wwstate*, long));
void wwchpbinread(wwstate* w);
void wwchpbinfree(wwstate* w);
void wwchpinit(wwstate* w, wwchp* c);
void wwchpget(wwstate* w, int32_t pos, wwchp* c);
void wwchpxapply(wwstate* w, const unsigned char* chpx, wwchp* c, int istd, int cistd);
void wwchpxold(wwstate* w, const unsigned char* chpx, wwchp* c);
int wwchpistdat(wwstate* w, int32_t pos);
void wwchpxat(wwstate* w, int32_t pos, unsigned char* chpx, int32_t* first, int32_t* limit);
// wwchprun: the run holding a file position (or the nearest one); chpx, when
// given, must hold 256 bytes. 0 when no run is stored at all.
int wwchprun(wwstate* w, int32_t fc, int32_t* first, int32_t* limit, unsigned char* chpx);
void wwchprunput(wwstate* w, int32_t first, int32_t limit, const unsigned char* chpx);
void wwchpstmnew(wwstate* w);
void wwchpstmfree(wwstate* w);
int32_t wwchpfkp(wwstate* w, long at);

// The character sprm interpreter: a list is a count byte and its bytes.
void wwchpxsprm(wwstate* w, const unsigned char* list, wwchp* c, int istd, int cistd);
// wwsprmchp: applies one sprm; its length, or -1 for a code that is no
// character sprm of the level (the CHP is then unchanged).
int wwsprmchp(wwstate* w, const unsigned char* p, wwchp* c, int istd, int cistd);
int wwsprmchpx(wwstate* w, const unsigned char* p);

// Character output.
void wwchpon(wwstate* w, const wwchp* c, int nostyle);
void wwchpoff(wwstate* w, const wwchp* c, int nostyle);
void wwlang(wwstate* w, int lang);
void wwfontemit(wwstate* w, int font);
void wwhpsemit(wwstate* w, int hps);
void wwdelon(wwstate* w);
void wwdeloff(wwstate* w);
void wwsupsub(wwstate* w, int kind, int pos);
void wwsupsuboff(wwstate* w, int kind);
void wwcolor(wwstate* w, int index);
void wwcoloroff(wwstate* w);
void wwulkind(wwstate* w, int kind);
void wwuloff(wwstate* w);
void wwspaceon(wwstate* w, int twips);
void wwspaceoff(wwstate* w);
void wwrtlon(wwstate* w);
void wwrtloff(wwstate* w);

// Paragraph property records and the decoders of their stored forms.
void wwpapinit(wwstate* w, wwpap* p);
void wwbrcread(wwstate* w, wwbrc* b, const unsigned char* stored);
void wwbrcoldread(wwstate* w, wwbrc* b, const unsigned char* stored);
void wwshdread(wwstate* w, wwshd* s, const unsigned char* stored);
void wwanldread(wwstate* w, wwanld* a, const unsigned char* stored);
void wwbrcset(wwbrc* b, int type, int width, int colour, int space);
inline int wwbrclen() { return 2; }
inline int wwbrcoldlen() { return 2; }
inline int wwshdlen() { return 2; }
inline int wwanldlen() { return 52; }

// The paragraph sprm interpreter. A wwpapx is a 16-bit length L, a 16-bit
// style word (0xFFFF: none) and L - 2 bytes of sprms.
void wwpapxapply(wwstate* w, const unsigned char* papx, wwpap* p);
// wwsprmpap: applies one sprm; its length, 0 for the end of a list, -1 for
// a code that is no paragraph sprm of the level (nothing changes).
int wwsprmpap(wwstate* w, const unsigned char* sprm, wwpap* p);
int wwsprmpapx(wwstate* w, const unsigned char* sprm);

// Paragraph bins and the paragraph properties at a position.
void wwpapbinread(wwstate* w);
void wwpapbinfree(wwstate* w);
void wwpapget(wwstate* w, int32_t pos, wwpap* p);
int32_t wwparaend(wwstate* w, int32_t pos);
void wwpapstmnew(wwstate* w);
void wwpapstmfree(wwstate* w);
int32_t wwpapfkp(wwstate* w, long at);
void wwpaprunput(wwstate* w, int32_t first, int32_t limit, const unsigned char* papx);
// wwpaprun: the run of a file position (buf: 512 bytes, or null); 0 when no
// run is stored, the buffer then holding the empty record.
int wwpaprun(wwstate* w, int32_t fc, int32_t* first, int32_t* limit, unsigned char* buf);
void wwpapfcpara(wwstate* w, int32_t pos, unsigned char* buf, int32_t* first, int32_t* limit);

// The piece table of complex (fast-saved) documents. Text positions are the
// offsets the characters would have in a non-complex file; the piece table
// maps them to file offsets and gives each piece's property lists. For a
// non-complex document every position is its own file offset and no piece
// gives properties.
void wwclxread(wwstate* w);
void wwclxfree(wwstate* w);
void wwpiecestmnew(wwstate* w);
void wwpiecestmfree(wwstate* w);
void wwpieceput(wwstate* w, const wwpiecerec* r, const unsigned char* chp, const unsigned char* pap,
                const unsigned char* sep);
// wwpiecefind: the record of the piece holding a position, or of the
// nearest piece when none holds it (then 0); -1 when there is no piece.
int wwpiecefind(wwstate* w, int32_t pos, wwpiecerec* r);
int wwpiececount(wwstate* w);
int32_t wwcp2fc(wwstate* w, int32_t pos);
// wwcpprm: the character sprm list of the piece at a position (null for
// none) and the piece's range of positions, left alone when there is none.
const unsigned char* wwcpprm(wwstate* w, int32_t pos, int32_t* first, int32_t* limit);
// wwcppiece: the paragraph sprms of the piece holding the mark that ends a
// position's paragraph or cell, as a wwpapx (style word 0xFFFF) in buf (512
// bytes); 1 with that piece's range of file offsets, 0 for none.
int wwcppiece(wwstate* w, int32_t pos, unsigned char* buf, int32_t* first, int32_t* limit);
// wwcppiecesep: the section sprms of the piece holding the mark that ends a
// position's section, as a count byte and sprms in buf (256 bytes); 1 with
// that piece's range of file offsets, 0 for none.
int wwcppiecesep(wwstate* w, int32_t pos, unsigned char* buf, int32_t* first, int32_t* limit);
// wwcpmark: the position of the paragraph or cell mark that ends the
// paragraph of a position (complex documents: the mark's piece gives the
// paragraph's properties).
int32_t wwcpmark(wwstate* w, int32_t pos);
int wwistdat(wwstate* w, int32_t pos);

// The style sheet: every style a record of the index stream and its parts
// in the data stream. A level-6 style is named by its index (4095: none),
// an older one by its style code (222: none).
inline constexpr int WW_STDREC = 36, WW_STDNAME = 254, WW_NOSTYLE6 = 4095, WW_NOSTYLE = 222;
void wwstshread(wwstate* w);
void wwstshnew(wwstate* w);
void wwstshold(wwstate* w);
void wwstshfree(wwstate* w);
void wwstshstmnew(wwstate* w);
void wwstshstmfree(wwstate* w);
// wwstdput: appends a style; a null name makes an empty slot. papx: a
// 16-bit length and its bytes; chpx: a length byte and its bytes.
void wwstdput(wwstate* w, int sti, int sgc, int base, const char* name, const unsigned char* papx,
              const unsigned char* chpx);
// wwstdget: the parts asked for (null: not asked); name: WW_STDNAME bytes,
// papx: 512, chpx: 256.
void wwstdget(wwstate* w, int index, int* sti, int* sgc, int* base, char* name, unsigned char* papx,
              unsigned char* chpx);
int wwstdcount(wwstate* w);
int wwstshcount(wwstate* w);
int wwstylecount(wwstate* w);
void wwstdsetkey(wwstate* w, int index, int key);
int wwstdkey(wwstate* w, int index);
int wwistdstc(wwstate* w, int index);
int wwstcmap(wwstate* w, int stc);
void wwstylepap(wwstate* w, int istd, wwpap* p);
void wwstylechp(wwstate* w, int istd, wwchp* c);
void wwstylechpx(wwstate* w, int cistd, wwchp* c, int always);

// The built-in styles of levels 1-5 by style code: the name, the CHPX (a
// length byte and its bytes) and the PAPX (a 16-bit length and its bytes,
// in the level's byte order). Constant data.
const char* wwstdname(wwstate* w, int stc);
const char* wwv12stcname(int stc);
const char* wwv3stcname(int stc);
const char* wwv45stcname(int stc);
const unsigned char* wwstdchpx(wwstate* w, int stc);
// wwstdpapx: fills buf (at least 32 bytes) and returns it.
const unsigned char* wwstdpapx(wwstate* w, int stc, unsigned char* buf);

// The style definitions: every style defined to the writer once, at the
// start of the main text, and paragraphs and runs naming their style.
// right: the right edge of the text (page width less the right margin),
// which bounds the default tab stops.
int wwstshemit(wwstate* w, int32_t right);
void wwstyleemit(wwstate* w, int istd);
void wwpapconv(wwstate* w, const wwpap* p, int32_t right, cwpfmt* f, cwchfmt* c);
void wwheadlvls(wwstate* w, cwpfmt* f, cwstylvl* lv);
void wwchpconv(wwstate* w, const wwchp* c, cwchfmt* f);

// Modules that are not read yet: their loaders keep the defaults and their
// releasers have nothing to release.
void wwsedread(wwstate* w);
void wwsedfree(wwstate* w);
void wwbkmkfree(wwstate* w);


// ---------------------------------------------------------------- sections

// An outline-level descriptor, as the paragraph's number descriptor names
// its fields; the outline list is nine of them and 64 bytes of number text.
struct wwanlv {
  int32_t nfc, cxchTextBefore, cxchTextAfter, jc, fPrev, fHang, fSetBold, fSetItalic, fSetSmallCaps,
      fSetCaps, fSetStrike, fSetKul, fBold, fItalic, fSmallCaps, fCaps, fStrike, kul, ico, ftc, hps,
      iStartAt, dxaIndent, dxaSpace;
};
struct wwolst {
  wwanlv rganlv[9];
  unsigned char rgch[64];
};
inline constexpr int WW_NCOLVAL = 89;   // values of the column array
inline constexpr int WW_SEPXMAX = 1024; // modifier bytes kept of one section
// The section properties: every value followed by its set flag.
struct wwsep {
  int32_t bkc, bkcset, fTitlePage, fTitlePageset, ccolM1, ccolM1set, dxaColumns, dxaColumnsset, nfcPgn,
      nfcPgnset, pgnStart, pgnStartset, fPgnRestart, fPgnRestartset, grpfIhdt, grpfIhdtset, dyaHdrTop,
      dyaHdrTopset, dyaHdrBottom, dyaHdrBottomset, fLBetween, fLBetweenset, dmOrientPage, dmOrientPageset,
      xaPage, xaPageset, yaPage, yaPageset, dxaLeft, dxaLeftset, dxaRight, dxaRightset, dyaTop, dyaTopset,
      dyaBottom, dyaBottomset, fEvenlySpaced, fEvenlySpacedset, fRightToLeft, fRightToLeftset;
  int32_t rgdxaColumn[WW_NCOLVAL], rgdxaColumnset;
  wwolst olst;
  int32_t olstset;
};

void wwsedread(wwstate* w);
void wwsedfree(wwstate* w);
void wwsepstmnew(wwstate* w);
void wwsepstmfree(wwstate* w);
// wwseprunput: appends a run; sepx is a 16-bit length (native order) and
// that many sprm bytes, at most WW_SEPXMAX of them kept.
void wwseprunput(wwstate* w, int32_t first, int32_t limit, const unsigned char* sepx);
// wwseprun: the run holding a position, its SEPX in sepx (2 + WW_SEPXMAX
// bytes, or null); 0 with the range [0, 0xFFFFFF) and an empty SEPX when
// no run holds it.
int wwseprun(wwstate* w, int32_t pos, int32_t* first, int32_t* limit, unsigned char* sepx);
void wwanlvinit(wwstate* w, wwanlv* a);
void wwolstinit(wwstate* w, wwolst* o);
void wwsepinit(wwstate* w, wwsep* s);
// wwsepxapply: applies a list of len sprm bytes; a code the level does not
// know, or a length that would not move on, ends the walk.
void wwsepxapply(wwstate* w, const unsigned char* sprms, int len, wwsep* s);
// wwsprmsep: applies one sprm of the n bytes at p; its length, 0 for the
// end of a list, -1 for no section sprm of the level.
int wwsprmsep(wwstate* w, const unsigned char* p, int n, wwsep* s);
int wwsprmsepx(wwstate* w, const unsigned char* p);
void wwsepget(wwstate* w, int32_t pos, wwsep* s);
int wwissect(wwstate* w, int32_t pos);

// ---------------------------------------------------------------- paragraph and section output

void wwpapon(wwstate* w, const wwpap* p, const wwsep* s, int32_t pos, int kind);
void wwpapoff(wwstate* w, const wwpap* p, const wwsep* s);
void wwsepemit(wwstate* w, const wwsep* s, const wwpap* p, const wwchp* c, int32_t pos);
void wwsepend(wwstate* w, const wwsep* s);
void wwpgmarl(wwstate* w, int margin);
void wwpgmarr(wwstate* w, int margin);
void wwbrcconv(wwstate* w, const wwbrc* b, int* kind, int* colour);
void wwtabsemit(wwstate* w, int count, const int32_t* pos, const wwtbd* tbd, int limit);
void wwcolsemit(wwstate* w, const wwsep* s);
void wwcolsend(wwstate* w, const wwsep* s);
// wwshddesc: the writer's shading of a pattern and two colour indexes.
void wwshddesc(int ipat, int fore, int back, cvshade* out);
int wwshdpct(int ipat);
// The multi-byte mode of the document's Far-East flags, entered again.
void wwmbyteon(wwstate* w);

// ---------------------------------------------------------------- tables and positioned frames

void wwtaprow(wwstate* w, const wwpap* prev, const wwpap* next, const wwsep* s, int32_t pos);
void wwtapcell(wwstate* w, const wwpap* p, int32_t pos, int margin);
void wwtapend(wwstate* w, const wwpap* p, const wwpap* next);
void wwapoon(wwstate* w, wwpap* prev, wwpap* next, int32_t pos);
void wwapooff(wwstate* w, wwpap* p, const wwpap* next, int32_t pos);
int wwrowendnext(wwstate* w, int32_t pos, wwpap* out);
int wwrowendprev(wwstate* w, int32_t pos, wwpap* out);
void wwtapmerge(wwstate* w, wwpap* p);
void wwrowdef(wwstate* w, const wwtap* t, int margin);
void wwtabend(wwstate* w, const wwtap* t);
void wwcellset(wwstate* w, int pattern, int fore, int back);
void wwapoemit(wwstate* w, const wwpap* p);
void wwapoend(wwstate* w);
void wwcellpush(wwstate* w, int no);
void wwcellsetno(wwstate* w, int no);
int wwcellno(const wwstate* w);
void wwcellpop(wwstate* w);

// ---------------------------------------------------------------- document head

// wwrdatestr: a date as text, into 40 bytes.
void wwrdatestr(const wwdate* d, char* out);
// wwrdatepicitems: the items of a date picture (ended by a 0 byte or a
// double quote) into out (20 entries, -1 after the last); their count.
int wwrdatepicitems(const char* pic, int32_t* out);
void wwrdatepic(wwstate* w, const char* pic);
void wwrhead(wwstate* w);
void wwrspecial(wwstate* w, int ch, int32_t* pos, const wwchp* c);
void wwrputcp(wwstate* w, int ch, int cp);

#endif
