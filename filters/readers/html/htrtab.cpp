// The tag table and the entity table of the HTML reader, as data, and their
// sorting and search: tags by name without case, entities byte by byte.
#include <algorithm>
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

htrtagrow ktags[] = {
    {"NEXTID", htrignore}, {"LINK", htrignore}, {"HEAD", htrignore}, {"/HEAD", htrignore},
    {"HTML", htrignore}, {"/HTML", htrignore}, {"ISINDEX", htrignore}, {"ABBREV", htrignore},
    {"/ABBREV", htrignore}, {"ACRONYM", htrignore}, {"/ACRONYM", htrignore}, {"AU", htrignore},
    {"/AU", htrignore}, {"CMD", htrignore}, {"/CMD", htrignore}, {"LANG", htrignore},
    {"/LANG", htrignore}, {"LIT", htrignore}, {"/LIT", htrignore}, {"MARGIN", htrignore},
    {"/MARGIN", htrignore}, {"ONLINE", htrignore}, {"/ONLINE", htrignore}, {"PERSON", htrignore},
    {"/PERSON", htrignore}, {"PRINTED", htrignore}, {"/PRINTED", htrignore}, {"Q", htrignore},
    {"/Q", htrignore}, {"RENDER", htrignore}, {"/RENDER", htrignore}, {"ARRAY", htrignore},
    {"/ARRAY", htrignore}, {"BOX", htrignore}, {"/BOX", htrignore}, {"WBR", htrignore},
    {"FRAMESET", htrignore}, {"/FRAMESET", htrignore}, {"NOFRAME", htrignore}, {"/NOFRAME", htrignore},
    {"SPACER", htrignore}, {"/SPACER", htrignore}, {"HP", htrignore}, {"/HP", htrignore},
    {"BASE", htrbase}, {"BODY", htrbody}, {"/BODY", htrbody}, {"TITLE", htrtitle},
    {"/TITLE", htrtitle}, {"STYLE", htrstyle}, {"/STYLE", htrstyle},
    {"A", htranchor}, {"/A", htranchor}, {"IMG", htrimg}, {"EMBED", htrimg},
    {"B", htrbold}, {"/B", htrbold}, {"STRONG", htrbold}, {"/STRONG", htrbold},
    {"EM", htritalic}, {"/EM", htritalic}, {"I", htritalic}, {"/I", htritalic},
    {"U", htru}, {"/U", htru}, {"VAR", htrvar}, {"/VAR", htrvar}, {"CITE", htrvar}, {"/CITE", htrvar},
    {"TT", htrtt}, {"/TT", htrtt},
    {"H1", htrh1}, {"/H1", htrh1}, {"H2", htrh2}, {"/H2", htrh2}, {"H3", htrh3}, {"/H3", htrh3},
    {"H4", htrh4}, {"/H4", htrh4}, {"H5", htrh5}, {"/H5", htrh5}, {"H6", htrh6}, {"/H6", htrh6},
    {"P", htrpara}, {"/P", htrpara}, {"BR", htrbr}, {"HR", htrhr}, {"NBSP", htrnbspon},
    {"/NBSP", htrnbspon}, {"ADDRESS", htraddress}, {"/ADDRESS", htraddress},
    {"PRE", htrpre}, {"/PRE", htrpre}, {"XMP", htrxmp}, {"/XMP", htrxmp},
    {"PLAINTEXT", htrplaintext}, {"/PLAINTEXT", htrplaintext}, {"LISTING", htrlisting},
    {"/LISTING", htrlisting},
    {"OL", htrol}, {"/OL", htrol}, {"UL", htrul}, {"/UL", htrul}, {"DIR", htrul}, {"/DIR", htrul},
    {"MENU", htrul}, {"/MENU", htrul}, {"LI", htrli}, {"/LI", htrli}, {"DL", htrdl}, {"/DL", htrdl},
    {"DT", htrdt}, {"/DT", htrdt}, {"DD", htrdd}, {"/DD", htrdd},
    {"!--", htrcomment}, {"COMMENT", htrcmttag}, {"/COMMENT", htrcmttag}, {"SCRIPT", htrscript},
    {"/SCRIPT", htrscript},
    {"BLOCKQUOTE", htrblockquote}, {"/BLOCKQUOTE", htrblockquote}, {"BQ", htrbq}, {"/BQ", htrbq},
    {"CODE", htrcode}, {"/CODE", htrcode}, {"KBD", htrcode}, {"/KBD", htrcode}, {"SAMP", htrcode},
    {"/SAMP", htrcode}, {"STRIKE", htrstrike}, {"/STRIKE", htrstrike}, {"S", htrstrike},
    {"/S", htrstrike},
    {"BIG", htrbig}, {"/BIG", htrbig}, {"SMALL", htrsmall}, {"/SMALL", htrsmall}, {"SUB", htrsub},
    {"/SUB", htrsub}, {"SUP", htrsup}, {"/SUP", htrsup}, {"INS", htrins}, {"/INS", htrins},
    {"DEL", htrdel}, {"/DEL", htrdel}, {"DFN", htrdfn}, {"/DFN", htrdfn}, {"BLINK", htrblink},
    {"/BLINK", htrblink},
    {"FONT", htrfont}, {"/FONT", htrfont}, {"BASEFONT", htrbasefont}, {"NOBR", htrnobr},
    {"/NOBR", htrnobr}, {"CENTER", htrcenter}, {"/CENTER", htrcenter}, {"DIV", htrdiv},
    {"/DIV", htrdiv}, {"MULTICOL", htrmulticol}, {"/MULTICOL", htrmulticol},
    {"CAPTION", htrcaption}, {"/CAPTION", htrcaption}, {"CREDIT", htrcredit}, {"/CREDIT", htrcredit},
    {"FIG", htrfig}, {"/FIG", htrfig}, {"FOOTNOTE", htrfootnote}, {"/FOOTNOTE", htrfootnote},
    {"MATH", htrmath}, {"/MATH", htrmath}, {"OVER", htrover},
    {"TABLE", htrtable}, {"/TABLE", htrtable}, {"TR", htrtr}, {"/TR", htrtr}, {"TH", htrth},
    {"/TH", htrth}, {"TD", htrtd}, {"THEAD", htrthead}, {"TFOOT", htrtfoot},
    {"FORM", htrform}, {"/FORM", htrform}, {"INPUT", htrinput}, {"SELECT", htrselect},
    {"/SELECT", htrselect}, {"OPTION", htroption}, {"TEXTAREA", htrtextarea},
    {"/TEXTAREA", htrtextarea},
    {"SOUND", htrsound}, {"BGSOUND", htrbgsound}, {"IFRAME", htriframe}, {"FRAME", htrframe},
};
constexpr int kntags = sizeof ktags / sizeof ktags[0];
static_assert(kntags == 193, "the tag table has 193 rows");

#define E437(n, c) {n, htrentnone, 437, c}
#define E850(n, c) {n, htrentnone, 850, c}
#define E819(n, c) {n, htrentnone, 819, c}
#define E9998(n, c) {n, htrentnone, 9998, c}
#define E9999(n, c) {n, htrentnone, 9999, c}
#define ESYM(n, c) {n, htrentnone, -1, c}

htrentrow kents[] = {
    {"nbsp", htrnbsp, 0, 0},
    E437("lt", 60), E437("gt", 62), E437("amp", 38), E437("quot", 34), E437("AElig", 146),
    E437("Aring", 143), E437("Auml", 142), E437("Ccedil", 128), E437("Eacute", 144),
    E437("Ntilde", 165), E437("Ouml", 153), E437("Uuml", 154), E437("aacute", 160),
    E437("acirc", 131), E437("aelig", 145), E437("agrave", 133), E437("aring", 134),
    E437("auml", 132), E437("ccedil", 135), E437("eacute", 130), E437("ecirc", 136),
    E437("egrave", 138), E437("euml", 137), E437("iacute", 161), E437("icirc", 140),
    E437("igrave", 141), E437("iuml", 139), E437("ntilde", 164), E437("oacute", 162),
    E437("ocirc", 147), E437("ograve", 149), E437("oslash", 237), E437("ouml", 148),
    E437("szlig", 225), E437("uacute", 163), E437("ugrave", 151), E437("uuml", 129),
    E437("yuml", 152), E437("cent", 155), E437("pound", 156), E437("yen", 157),
    E437("brvbar", 124), E437("sect", 21), E437("laquo", 174), E437("raquo", 175),
    E437("not", 170), E437("degree", 248), E437("deg", 248), E437("plusmn", 241),
    E437("sup2", 253), E437("micro", 230), E437("para", 20), E437("middot", 249),
    E437("frac14", 172), E437("frac12", 171), E437("iquest", 168), E437("infin", 236),
    E437("inf", 236), E437("iexcl", 173), E437("ordf", 166), E437("grave", 96),
    E437("ordm", 167), E437("divide", 246), E437("perp", 193), E437("equiv", 240),
    E437("ap", 247), E437("half", 171), E437("half", 171), E437("apos", 39), E437("ast", 42),
    E437("comma", 44), E437("dollar", 36), E437("excl", 33), E437("hyphen", 45),
    E437("lpar", 40), E437("lsqb", 91), E437("percnt", 37), E437("period", 46),
    E437("plus", 43), E437("rpar", 41), E437("rsqb", 93), E437("semi", 59), E437("tilde", 126),
    E437("verbar", 124), E437("bsol", 92), E437("horbar", 196), E437("lcub", 123),
    E437("lowbar", 95), E437("lsquo", 96), E437("num", 35), E437("ohm", 234), E437("rcub", 125),
    E437("rsquo", 39), E437("sum", 228), E437("sung", 13), E437("alpha", 224), E437("beta", 225),
    E437("delta", 235), E437("epsilon", 238), E437("epsi", 238), E437("vepsilon", 238),
    E437("epsiv", 238), E437("mu", 230), E437("pi", 227), E437("sigma", 229), E437("Gamma", 226),
    E437("Delta", 127), E437("Theta", 233), E437("Sigma", 228), E437("Phi", 232),
    E437("Omega", 234),
    E850("Aacute", 181), E850("Acirc", 182), E850("Agrave", 183), E850("Atilde", 199),
    E850("ETH", 209), E850("Ecirc", 210), E850("Egrave", 212), E850("Euml", 211),
    E850("Iacute", 214), E850("Icirc", 215), E850("Igrave", 222), E850("Iuml", 216),
    E850("Oacute", 224), E850("Ocirc", 226), E850("Ograve", 227), E850("Oslash", 157),
    E850("Otilde", 229), E850("THORN", 232), E850("Uacute", 233), E850("Ucirc", 234),
    E850("Ugrave", 235), E850("Yacute", 237), E850("atilde", 198), E850("eth", 208),
    E850("otilde", 228), E850("thorn", 231), E850("ucirc", 150), E850("yacute", 236),
    E850("copy", 184), E850("reg", 169), E850("sup1", 251), E850("sup3", 252), E850("frac34", 243),
    E819("curren", 164), E819("uml", 168), E819("hibar", 175), E819("macr", 175),
    E819("acute", 180), E819("cedil", 184), E819("times", 215), E819("ldots", 133),
    E819("trade", 153), E819("die", 168), E819("ndash", 150), E819("circ", 136),
    E819("mdash", 151), E819("hellip", 133), E819("ldquo", 147), E819("rdquo", 148),
    E9998("or", 218), E9998("and", 217), E9998("ne", 185), E9998("isin", 206), E9998("nabla", 209),
    E9998("forall", 34), E9998("iff", 219), E9998("exist", 36), E9998("prod", 80), E9998("sub", 204),
    E9998("sube", 205), E9998("sup", 201), E9998("supe", 202), E9998("darr", 175),
    E9998("dArr", 223), E9998("empty", 198), E9998("ge", 179), E9998("harr", 171),
    E9998("hArr", 219), E9998("lang", 225), E9998("larr", 172), E9998("lArr", 220), E9998("le", 163),
    E9998("prop", 181), E9998("rang", 241), E9998("rarr", 174), E9998("rArr", 222),
    E9998("uarr", 173), E9998("uArr", 221), E9998("gamma", 103), E9998("zeta", 122),
    E9998("eta", 104), E9998("theta", 113), E9998("iota", 105), E9998("kappa", 107),
    E9998("lambda", 108), E9998("nu", 110), E9998("xi", 120), E9998("omicron", 111),
    E9998("varpi", 118), E9998("piv", 118), E9998("rho", 114), E9998("tau", 116),
    E9998("upsilon", 117), E9998("upsi", 117), E9998("phi", 102), E9998("chi", 99), E9998("psi", 121),
    E9998("omega", 119), E9998("Lambda", 76), E9998("Xi", 88), E9998("Pi", 80), E9998("Upsi", 85),
    E9998("Upsilon", 85), E9998("Chi", 67), E9998("Psi", 89),
    E9999("int", 186), E9999("breve", 249), E9999("caron", 255), E9999("dot", 250),
    E9999("ogon", 254), E9999("ring", 251),
    {"dblac", htrentnone, 8592, 189},
    ESYM("disk.drive", 59), ESYM("diskette", 60), ESYM("filing.cabinet", 53), ESYM("folder", 48),
    ESYM("keyboard", 55), ESYM("mail", 42), ESYM("mouse", 56), ESYM("next", 70),
    ESYM("previous", 69), ESYM("sadsmiley", 76), ESYM("smiley", 74), ESYM("workstation", 58),
};
constexpr int knents = sizeof kents / sizeof kents[0];
static_assert(knents == 236, "the entity table has 236 rows");

int tagcmp(const char* a, const char* b) {
  for (;; a++, b++) {
    int x = cvtoupper(static_cast<unsigned char>(*a)), y = cvtoupper(static_cast<unsigned char>(*b));
    if (x != y || !x) return x - y;
  }
}

}  // namespace

void htrtagsort() {
  std::sort(ktags, ktags + kntags, [](const htrtagrow& a, const htrtagrow& b) { return tagcmp(a.name, b.name) < 0; });
}

void htrentsort() {
  std::stable_sort(kents, kents + knents,
                   [](const htrentrow& a, const htrentrow& b) { return std::strcmp(a.name, b.name) < 0; });
}

const htrtagrow* htrtagfind(const char* name) {
  int lo = 0, hi = kntags - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = tagcmp(name, ktags[mid].name);
    if (c == 0) return &ktags[mid];
    if (c < 0)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return nullptr;
}

const htrentrow* htrentfind(const char* name) {
  int lo = 0, hi = knents - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = std::strcmp(name, kents[mid].name);
    if (c == 0) return &kents[mid];
    if (c < 0)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return nullptr;
}
