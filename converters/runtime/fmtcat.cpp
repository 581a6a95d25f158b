// The constant catalogue of document formats, its look-up, and the mapping
// from a catalogue code to the converter id that serves it.
#include "converters/runtime/fmtcat.h"

const fmtrow fmtcat[FMTCAT_ROWS + 1] = {
    {0, 15, "DCA/RFT - Revisable Form Text"},
    {1, 48, "WordPerfect for Windows 6.1; WordPerfect for Windows 6.0; WordPerfect 6.0"},
    {2, 707, "WordPerfect 5.1 (Mail Merge)"},
    {3, 7, "WordPerfect for Windows 5.x; WordPerfect 5.1; WordPerfect 5.0"},
    {4, 606, "WordPerfect Graphics 1 (WPG)"},
    {5, 615, "WordPerfect Graphics 2 (WPG)"},
    {6, 10, "MultiMate 4; MultiMate Advantage II; MultiMate Advantage I; MultiMate 3.3"},
    {7, 43, "MS Write for Windows 3.x"},
    {8, 5, "MS Word for DOS 6.0; MS Word for DOS 5.0, 5.5; MS Word for DOS 4.0; MS Word for DOS 3.0, 3.1"},
    {9, 16, "OfficeWriter 6.0 - 6.2; OfficeWriter 5.0; OfficeWriter 4.0"},
    {10, 23, "Q&A 4.0; Q&A Write 1.x, Q&A 3.0"},
    {11, 28, "Enable 1.1, 2.0, 2.15"},
    {12, 8, "PFS:First Choice 3.0; PFS:First Choice 2.0; PFS:First Choice 1.0; PFS:WRITE Ver C; Professional Write 2.0 - 2.2; Professional Write 1.0"},
    {13, 708, "First Choice 3.0 Data Base"},
    {14, 9, "WordStar 2000, Rel 3.0"},
    {15, 30, "Digital DX"},
    {16, 13, "IBM Writing Assistant 1.0"},
    {17, 19, "MS RTF; MS RTF (ANSI Char Set)"},
    {18, 44, "MS Word for Windows 2.0; MS Word for Windows 1.x"},
    {19, 33, "Ami Pro 1.x - 3.1"},
    {20, 20, "Lotus 123 4.x; Lotus 123 3.0; Lotus 123 1A, 2.0, 2.1"},
    {21, 21, "MS Excel 5.0 - 7.0; MS Excel 4.0; MS Excel 3.0; MS Excel 2.1"},
    {22, 29, "Framework III 1.0, 1.1"},
    {23, 25, "Rapid File 1.0"},
    {24, 26, "Wang PC, Version 3"},
    {25, 22, "Samna Word IV & IV+ 1.0, 2.0"},
    {26, 24, "Lotus Manuscript 2.0, 2.1"},
    {27, 32, "DCA/FFT - Final Form Text"},
    {28, 54, "MS Word for Mac 5.0, 5.1; MS Word for Mac 4.0; MS Word for Mac 3.0"},
    {29, 51, "MacWrite 4.5 - 5.0"},
    {30, 52, "MacWrite II, 1.0 - 1.1"},
    {31, 55, "FullWrite Professional 1.0x"},
    {32, 46, "Interleaf 5.2; Interleaf 5.2 - 6.0"},
    {33, 60, "WordPerfect Mac 3.0; WordPerfect Mac 2.1; WordPerfect Mac 2.0"},
    {34, 3, "Vantrel Intermediate Communications format (COM)"},
    {35, 18, "Navy DIF (GSA)"},
    {36, 31, "Mass 11, Version 8.0 - 8.33"},
    {37, 770, "DBase IV 1.0; DBase III, III+"},
    {38, 703, "Paradox 3.5, 4.0"},
    {39, 771, "MS Access 2.0"},
    {40, 4, "WordStar 7.0, WordStar 6.0, WordStar 5.5, WordStar 5.0"},
    {41, 37, "Legacy 1.x, 2.0"},
    {42, 42, "FrameMaker (MIF) 3.0; FrameMaker (MIF) 3.0 Win"},
    {43, 103, "XEROX - XIF 5.0, 6.0"},
    {44, 102, "OfficePower 7; OfficePower 6"},
    {45, 801, "Quattro Pro DOS; Quattro Pro Windows"},
    {46, 105, "AT&T Crystal Writer"},
    {47, 45, "Digital WPS-PLUS"},
    {48, 610, "Windows Metafile (WMF)"},
    {49, 600, "Torvane Graphics (TVG)"},
    {50, 502, "Tagged Image File Format (TIFF)"},
    {51, 512, "GIF - Graphical Interchange Format"},
    {52, 607, "IGES"},
    {53, 608, "AutoCAD (DXF,DXB); AutoCAD (DXF)"},
    {54, 62, "WriteNow 3.0"},
    {55, 34, "Wang WITA"},
    {56, 47, "WiziWord"},
    {57, 107, "PDF"},
    {58, 521, "JPEG - Joint Photographic Experts Group"},
    {59, 520, "CorelDraw 2.x and 3.x"},
    {60, 609, "Micrografx Designer (DRW)"},
    {61, 613, "RGIP"},
    {62, 614, "Ami Pro Graphics SDW Samna Draw"},
    {63, 513, "OS/2 Bitmap; Windows Bitmap (BMP); Windows RLE"},
    {64, 602, "Macintosh QuickDraw (PICT)"},
    {65, 522, "Sun Raster Graphics"},
    {66, 503, "Encapsulated PostScript Preview; Encapsulated PostScript Bitmap"},
    {67, 601, "Lotus PIC"},
    {68, 49, "MS Word for Windows 6.0 - 7.0; MS Word for Mac 6.0"},
    {69, 39, "MS Works for Windows 3.0"},
    {70, 507, "Microsoft Windows Paint 2.x"},
    {71, 501, "PC Paintbrush (PCX)"},
    {72, 515, "Windows Clipboard"},
    {73, 517, "Windows ICON"},
    {74, 14, "Volkswriter 3,4"},
    {75, 36, "CTOS DEF"},
    {76, 17, "XyWrite IV; XyWrite III Plus"},
    {77, 101, "Uniplex V7 - V8"},
    {78, 104, "CEOwrite 3.0"},
    {79, 603, "Computer Graphics Metafile (CGM)"},
    {80, 6, "WordPerfect 4.2; WordPerfect 4.1"},
    {81, 59, "WordPerfect Mac 1.0"},
    {82, 27, "PeachText 5000 2.12"},
    {83, 604, "HP Graphics Language (HPGL)"},
    {84, 619, "POWERPOINT 2, 3, 4.0"},
    {85, 618, "Lotus Freelance"},
    {86, 617, "WiziDraw"},
    {87, 620, "Harvard Graphics"},
    {88, 508, "Macintosh Paint"},
    {89, 2, "EBCDIC"},
    {90, 1, "ASCII"},
    {91, 108, "HTML Level 1, 2, 3"},
    {0xFFFF, 0, ""},
};

int fmtfind(int32_t code) {
  // The end row carries code 0; the scan stops on it before comparing, so
  // code 0 is never found.
  for (const fmtrow *r = fmtcat;; ++r) {
    if (static_cast<int16_t>(r->row) == -1) return -1;
    if (r->code == code) return r->row;
  }
}

int32_t fmtcvtid(int32_t code) {
  switch (code) {
  case 1: return 999;
  case 5: return 2;
  case 7: return 4;
  case 20: return 9;
  case 21: return 10;
  case 33: return 8;
  case 44: return 7;
  case 48: return 5;
  case 49: return 11;
  case 54: return 6;
  case 103: return 13;
  case 107: return 12;
  default: return 998;
  }
}
