// The HTML reader: a document detected as HTML turned into the intermediate
// format through the writer. A head pass collects the summary, the fonts,
// the background and the style rules; the main pass collapses white space,
// dispatches tags through a sorted table of names to their handlers and
// turns entity references into characters through a second table.
#ifndef KES_FILTERS_READERS_HTML_HTR_H
#define KES_FILTERS_READERS_HTML_HTR_H

#include <cstdint>

#include "filters/framework/writer/cw.h"

inline constexpr int HTR_NLISTS = 10;     // entries of the list-kind stack
inline constexpr int HTR_TAGLEN = 40;     // characters of a tag name
inline constexpr int HTR_NAMELEN = 80;    // a style name and its zero
inline constexpr int HTR_MAXCOLS = 1000;  // columns of a table, colspan and rowspan
inline constexpr int HTR_MAXTEXTCOLS = 25;  // text columns of a column set

// Whitespace flags.
inline constexpr int HTR_WSHARD = 1, HTR_WSNBSP = 2, HTR_WSALL = 4;

struct htrstate;

// The reader record of a run (the run's reader state).
struct htrrdr {
  int32_t tabdepth;        // TABLE tags open
  htrstate* firstsave;     // oldest saved state, or null
  htrstate* lastsave;      // newest saved state, or null
  htrstate* st;            // the live state
  struct htrstyname* firstname;  // oldest style name, or null
  struct htrstyname* lastname;   // newest style name, or null
  int32_t nsaved, nnames;        // entries on the two chains
  int32_t cmtdepth;              // comments open inside comments
  long bare;                     // from here to the end no table has a row, caption or cell; -1 unknown
  char* attrbuf;                 // the attribute-value buffer every tag reuses, or null
  int32_t attrbusy;              // it is lent to an attribute walk
  // Saved states and style names given back, kept for the next save or
  // push (chained through next and newer): a page of thousands of tags
  // would otherwise allocate and free one of each per tag.
  htrstate* sparesave;
  struct htrstyname* sparename;
};

// The saved states and style names a page may pile up without closing
// them; past these the oldest entry goes, so that memory stays bounded.
inline constexpr int HTR_MAXSAVED = 1000, HTR_MAXNAMES = 1000;
// Comments read inside comments before a further one is only skipped.
inline constexpr int HTR_MAXCMT = 16;
// Nesting levels that still indent, and quotations that still indent from
// the right: deeper ones indent no further, as the page has no room left.
inline constexpr int HTR_MAXINDENT = 8, HTR_MAXQUOTE = 4;

// The HTML state every handler works on.
struct htrstate {
  int32_t pagew, pagel;
  int32_t lmar, rmar, tmar, bmar;
  int32_t orient;
  int32_t center;          // inside CENTER
  int32_t in, out;         // paged-stream handles of the run's input and output
  int32_t fixedfont, textfont, symfont;
  int32_t savedfont;       // the font a preformatted block or TT put aside
  int32_t curfont;
  int32_t cursize, prevsize;
  int32_t basesize;        // FONT and BASEFONT size number 1-7
  int32_t ws;              // HTR_WSHARD, HTR_WSNBSP, HTR_WSALL
  int32_t tabstart;        // the writer table has started, no TR seen yet
  int32_t cellbord;        // border line kind of every cell
  int32_t blank;           // the last thing written was a blank or a break
  int32_t lineended;       // htrbreak ended the line, no text since
  int32_t lists[HTR_NLISTS];
  int32_t listtop;
  int32_t listkind;        // 0 numbered, 1 bulleted, 2 definition
  int32_t linkkind;        // 0 none, 1 anchor, 2 external, 128 ending with '/'
  int32_t bookmark;
  int32_t optn;            // option V asks for the n variants
  int32_t bg[3], text[3], link[3];
  int32_t colset;          // the colours have been settled
  char* base;              // BASE href prefix, or null
  int32_t bigs, smalls;
  int32_t rowhalign, rowvalign;
  int32_t fontcol[3];
  int32_t nowrap;          // 1 the row, 2 the cell
  int32_t rowbg[3];
  int32_t rowkind;         // 1 after THEAD, 2 after TFOOT
  int32_t framerules;
  int32_t suppress;        // inside TITLE and STYLE
  int32_t stylemode;       // inside STYLE
  int32_t rowclosed;
  int32_t bqdepth, blockqdepth;
  int32_t uldepth, oldepth, dldepth;
  int32_t bullets;         // bulleted items get a bullet
  int32_t math;
  int32_t supon, subon;
  htrstate* prev;          // saved copies only
  htrstate* next;
};

// A style name on the style-name stack.
struct htrstyname {
  char name[HTR_NAMELEN];
  htrstyname* older;
  htrstyname* newer;
};

// A tag handler: the run and whether the tag opens (1) or closes (0).
using htrhandler = void (*)(cvrun* run, int open);

struct htrtagrow {
  const char* name;
  htrhandler fn;
};

using htrenthandler = void (*)(cvrun* run);

struct htrentrow {
  const char* name;
  htrenthandler fn;
  int32_t cp;    // 0 the handler, -1 the symbol font, else a code page
  int32_t code;
};

// One side of a rule's border: width 0 thin, 1 medium, 2 thick; line style
// 0 none, 1 solid, 2 double, 3 dashed, 4 dotted; colour.
struct htrbside {
  int32_t width, style;
  int32_t rgb[3];
};

// A style rule of a style sheet or the style profile; numbers are -1 and
// texts empty when not given.
struct htrrule {
  char name[44];           // the class when there is one, else the element
  int32_t key;             // the writer style, -1 none
  char elem[26];
  char cls[42];
  char family[42];
  char profont[42];        // the profile's font name
  int32_t fstyle;          // 0 normal, 1 italic, 2 oblique
  int32_t variant;         // 0 normal, 1 small capitals
  int32_t weight;          // -1 normal, 500 bold, 750 bolder, 250 lighter, or a number
  int32_t size;            // twentieths of a point
  int32_t color[3];
  int32_t attrs;           // attribute bits of the profile
  int32_t decoration;      // -1 none, 1 underline, 2 line-through, 3 overline, 4 blink
  int32_t valign;          // 1 superscript, 2 subscript
  int32_t align;           // 0 left, 1 centre, 2 right, 3 justify
  int32_t indent;          // twips
  int32_t lineheight;      // twips
  htrbside bord[4];        // top, left, bottom, right
  htrrule* next;
};

// ---------------------------------------------------------------- the run

int htrmain(cvrun* run, int argc, const char** argv);
void htrdefaults(cvrun* run);
int htrcheck(cvrun* run);
int htrtag(cvrun* run);
int htrentity(cvrun* run);
void htrentemit(cvrun* run, const char* name);
int htrentname(cvrun* run, char* buf, int size);
void htrtagsort();
void htrentsort();
const htrtagrow* htrtagfind(const char* name);
const htrentrow* htrentfind(const char* name);
void htrignore(cvrun* run, int open);
void htrnbsp(cvrun* run);
void htrentnone(cvrun* run);
void htrhead(cvrun* run);

// The reader record and live state of a run.
inline htrrdr* htrreader(cvrun* run) { return static_cast<htrrdr*>(cvreader(run)); }
inline htrstate* htrst(cvrun* run) { return htrreader(run)->st; }

// ---------------------------------------------------------------- markup reading

void htrtagname(cvrun* run, char* buf);
int htrtagskip(cvrun* run);
void htrskipto(cvrun* run, const char* name);
int htrattr(cvrun* run, char* buf, int size);
int htrattrval(cvrun* run, char* buf, int size);
void htrunquote(char* s);
char* htrurl(cvrun* run, const char* ref);
void htrbreak(cvrun* run, int blankline);
htrstate* htrsave(cvrun* run);
void htrrestore(cvrun* run);
void htrlistpush(htrrdr* r);
void htrlistpop(htrrdr* r);
htrstyname* htrstylepush(cvrun* run, const char* name);
void htrstylepop(cvrun* run, char* buf);
int htrprewidth(cvrun* run, const char* closing);
void htrhexcolor(char* text, int32_t* r, int32_t* g, int32_t* b);
int htrhexval(char* text);
// htrtell, htrseek: the input position as the handlers see it (pushed-back
// bytes count as unread), and back to one.
long htrtell(cvrun* run);
void htrseek(cvrun* run, long pos);
// htrsizes: the font sizes of the HTML size numbers 1-7.
inline constexpr int htrsizes[7] = {160, 200, 240, 280, 360, 480, 720};
// htrdepth: the nesting of quotations and lists that indents.
inline int htrdepth(const htrstate* s) { return s->bqdepth + s->blockqdepth + s->uldepth + s->oldepth + s->dldepth; }
// htralign: the alignment an align value's first letter names (L 0, M or C
// 1, R 2, J 3, and D 5 where decimal alignment exists); -1 for another.
int htralign(int c, int decimal);
// htrsettle: the colours not yet given become the defaults: a blue link on
// black text and background.
void htrsettle(htrstate* s);
// htrnum: the decimal number at the start of s (blanks, a sign), clamped.
int htrnum(const char* s);
// htrprefix: 1 when s begins with the first n letters of word, case ignored.
int htrprefix(const char* s, const char* word, int n);
int htreq(const char* a, const char* b);   // equal, case ignored
// htrskipattrs: reads the attributes of the tag to its end.
void htrskipattrs(cvrun* run);

// htreachattr: reads the attributes of the tag up to its '>' (left to be
// read), calling fn(name, value) with each value unquoted, or with a null
// value for a name that has none; names and values are cut at their
// buffers' sizes. false when no buffer for the values could be had.
// The values of every tag's attributes are read into one buffer of the
// reader's, made once: a buffer per tag cost more than the tag's reading
// itself, and pages of many thousand tags went slowly. A walk started
// inside another's callback, or one wanting more room, gets its own.
inline constexpr int HTR_ATTRBUF = 2048;
template <typename F>
bool htreachattr(cvrun* run, int size, F fn) {
  char name[256];
  htrrdr* r = htrreader(run);
  char* val = nullptr;
  if (size <= HTR_ATTRBUF && !r->attrbusy) {
    if (!r->attrbuf) r->attrbuf = static_cast<char*>(cvalloc(run, HTR_ATTRBUF));
    val = r->attrbuf;
  }
  const bool lent = val != nullptr;
  if (!val) val = static_cast<char*>(cvalloc(run, size));
  if (!val) return false;
  if (lent) r->attrbusy = 1;
  for (;;) {
    int a = htrattr(run, name, sizeof name);
    if (a <= 0 && name[0]) fn(name, static_cast<char*>(nullptr));
    if (a < 0 || (a == 0 && !name[0])) break;
    if (a == 0) continue;
    int e = htrattrval(run, val, size);
    htrunquote(val);
    fn(name, val);
    if (e < 0) break;
  }
  if (lent) r->attrbusy = 0;
  else cvfree(run, val);
  return true;
}

// ---------------------------------------------------------------- colours

void htrcolor(const char* value, int32_t* r, int32_t* g, int32_t* b);

// ---------------------------------------------------------------- style rules

htrrule* htrrulefind(const char* name);
void htrruleuse(cvrun* run, htrrule* rule);
// htrrulefree: releases the rules; with no run, only forgets them (a run
// that was unwound has freed its memory already).
void htrrulefree(cvrun* run);
void htrcssload(cvrun* run, const char* name);
// htrcssread: the rules of a style sheet read from an open paged stream.
void htrcssread(cvrun* run, int h);
// htrcsslen: a style-sheet length in twips.
int htrcsslen(const char* text);
void htrrulestyles(cvrun* run);
void htrprofile(cvrun* run, const char* name);
// htrrules: the first rule of the run's list, or null.
htrrule* htrrules();

// ---------------------------------------------------------------- tag handlers

void htrbase(cvrun*, int);
void htrbody(cvrun*, int);
void htrtitle(cvrun*, int);
void htrstyle(cvrun*, int);
void htranchor(cvrun*, int);
void htrimg(cvrun*, int);
void htrbold(cvrun*, int);
void htritalic(cvrun*, int);
void htru(cvrun*, int);
void htrvar(cvrun*, int);
void htrtt(cvrun*, int);
void htrh1(cvrun*, int);
void htrh2(cvrun*, int);
void htrh3(cvrun*, int);
void htrh4(cvrun*, int);
void htrh5(cvrun*, int);
void htrh6(cvrun*, int);
void htrpara(cvrun*, int);
void htrbr(cvrun*, int);
void htrhr(cvrun*, int);
void htrnbspon(cvrun*, int);
void htraddress(cvrun*, int);
void htrpre(cvrun*, int);
void htrxmp(cvrun*, int);
void htrplaintext(cvrun*, int);
void htrlisting(cvrun*, int);
void htrol(cvrun*, int);
void htrul(cvrun*, int);
void htrli(cvrun*, int);
void htrdl(cvrun*, int);
void htrdt(cvrun*, int);
void htrdd(cvrun*, int);
void htrcomment(cvrun*, int);
void htrcmttag(cvrun*, int);
void htrscript(cvrun*, int);
void htrblockquote(cvrun*, int);
void htrbq(cvrun*, int);
void htrcode(cvrun*, int);
void htrstrike(cvrun*, int);
void htrbig(cvrun*, int);
void htrsmall(cvrun*, int);
void htrsub(cvrun*, int);
void htrsup(cvrun*, int);
void htrins(cvrun*, int);
void htrdel(cvrun*, int);
void htrdfn(cvrun*, int);
void htrblink(cvrun*, int);
void htrfont(cvrun*, int);
void htrbasefont(cvrun*, int);
void htrnobr(cvrun*, int);
void htrcenter(cvrun*, int);
void htrdiv(cvrun*, int);
void htrmulticol(cvrun*, int);
void htrcaption(cvrun*, int);
void htrcredit(cvrun*, int);
void htrfig(cvrun*, int);
void htrfootnote(cvrun*, int);
void htrmath(cvrun*, int);
void htrover(cvrun*, int);
void htrtable(cvrun*, int);
void htrtr(cvrun*, int);
void htrth(cvrun*, int);
void htrtd(cvrun*, int);
void htrthead(cvrun*, int);
void htrtfoot(cvrun*, int);
void htrform(cvrun*, int);
void htrinput(cvrun*, int);
void htrselect(cvrun*, int);
void htroption(cvrun*, int);
void htrtextarea(cvrun*, int);
void htrsound(cvrun*, int);
void htrbgsound(cvrun*, int);
void htriframe(cvrun*, int);
void htrframe(cvrun*, int);

#endif
