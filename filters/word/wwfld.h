// Fields, list numbering and embedded objects of the Word reader: the
// operations of their modules and the few operations of the document head
// they use.
#ifndef KES_FILTERS_WORD_WWFLD_H
#define KES_FILTERS_WORD_WWFLD_H

#include <cstdint>

#include "filters/word/ww.h"

struct wwsep;  // section properties, defined by their module

// ---------------------------------------------------------------- fields

// Fields deeper than this inside field results leave their results to the
// conversion loop instead of converting them themselves, so that nesting
// costs no stack.
inline constexpr int WW_FLDDEPTH = 48;
// Results longer than this are not copied; the loop converts them.
inline constexpr int32_t WW_FLDRESMAX = 0x3FFF;

// wwfldconv: converts the field whose begin mark is at *pos; no scan passes
// limit, the end of the range being converted. On return *pos is the
// separator when the loop is to convert the result, else the end mark (or
// the range's last position, for a field that never ends). The SEP, PAP and
// CHP are the caller's current records, handed on to the ranges it converts.
void wwfldconv(wwstate* w, int32_t* pos, int32_t limit, wwsep* sep, wwpap* pap, wwchp* chp);
// wwfldinstlen: the instruction's character count from the begin mark b;
// *closer is 20 or 21 for the mark that closes it, 0 when the range ends first.
int32_t wwfldinstlen(wwstate* w, int32_t b, int32_t limit, int* closer);
// wwfldreslen: the result's character count from the separator s; *closed
// is 0 when the range ends before the end mark.
int32_t wwfldreslen(wwstate* w, int32_t s, int32_t limit, int* closed);
// Tokens of an instruction: new strings the caller frees with wwfree.
int32_t* wwfldtoken(wwstate* w, const int32_t* s);
int32_t* wwfldarg(wwstate* w, const int32_t* rest);
int32_t* wwfldswitch(wwstate* w, const int32_t* rest, const char* sw);
int wwfldunesc(int32_t* tok);
char* wwfldpart(wwstate* w, const char* s, int n, int sepch);

// ---------------------------------------------------------------- document head and loop

// wwrdatepic: writes the date-format record of a date picture (8-bit, ended
// by a 0 byte or a double quote), or nothing when it yields no item.
void wwrdatepic(wwstate* w, const char* pic);
// wwrputcp: one character in a code page; the previous code page and
// multi-byte mode are restored.
void wwrputcp(wwstate* w, int ch, int cp);

// ---------------------------------------------------------------- list numbering

void wwnumpara(wwstate* w, const wwanld* anld, int32_t dxaleft, int32_t dxaleft1, int lvl, int32_t pos);
void wwnumolst(wwstate* w, const wwanld* olst, const unsigned char* olsttext, int32_t dxaleft,
               int32_t dxaleft1, int lvl, int32_t pos);
void wwnumhead(wwstate* w, int lvl, int32_t pos);
void wwnumoff(wwstate* w, int intable);
// wwnumanld: the character format, font, size and code page of a number
// (position -1: the CHP defaults) into a list-level descriptor.
void wwnumanld(wwstate* w, const wwanld* d, int32_t pos, cwlistdesc* out, cwchfmt* fmt);
// wwnumcolor: red, green and blue of a colour index; 0 for none.
int wwnumcolor(int ico, int* r, int* g, int* b);

// ---------------------------------------------------------------- objects and pictures

void wwobjconv(wwstate* w, const wwchp* c);
int wwisole(wwstate* w, const wwchp* c);
void wwobjole(wwstate* w, const wwchp* c);
int wwispiclink(wwstate* w, const wwchp* c);
void wwobjpic(wwstate* w, const wwchp* c);
void wwobjmeta(wwstate* w, const wwchp* c);
int wwpicread(cvrun* run, void* buf, int n);
int wwchkstate(wwstate* w, const wwchp* c);

#endif
