// Parse tables of the tqtoy grammar, made by tools/lalrgen/lalrgen.py.
// Do not edit: change the grammar and run the generator again.
#include "tessek/tq/tq.h"

namespace {
const short defred[14] = {
    0, 0, 2, 4, 6, 7, 0, 1, 0, 0, 0, 3,
    5, 8,
};
const short defgoto[5] = {
    -1, 1, 2, 3, 4,
};
const short actbase[14] = {
    -3, 0, 2, -1, -32768, -32768, -3, -32768, -3, -3, -2, -1,
    -32768, -32768,
};
const short gotobase[5] = {
    -32768, -32768, 1, 3, 4,
};
const short packed[14] = {
    5, 7, 8, 6, 9, 13, 8, 10, 0, 0, 0, 11,
    0, 12,
};
const short check[14] = {
    3, 1, 4, 6, 5, 7, 4, 6, -1, -1, -1, 8,
    -1, 9,
};
const short lhs[9] = {
    0, 0, 1, 2, 2, 3, 3, 4, 4,
};
const short rlen[9] = {
    0, 2, 1, 3, 1, 3, 1, 1, 3,
};
const short trans[270] = {
    1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 1, 2, 3, 4, 5, 6, 7,
    0, 0, 0, 0, 0, 0,
};
const short extcode[8] = {
    269, 257, 258, 259, 260, 261, 262, 263,
};
const char *const ruletext[9] = {
    "-no such reduction-",
    "$accept:  list end$",
    "list:  expr",
    "expr:  expr PLUS term",
    "expr:  term",
    "term:  term TIMES factor",
    "term:  factor",
    "factor:  NUM",
    "factor:  LP expr RP",
};
const char *const termname[9] = {
    "-end of file-",
    "end$",
    "error",
    "NUM",
    "PLUS",
    "TIMES",
    "LP",
    "RP",
    "-list end-",
};
}  // namespace

extern const tqgram tqtoytables = {
    defred, defgoto, actbase, gotobase, packed, check, lhs, rlen,
    trans, extcode, ruletext, termname,
    14, 9, 5, 7, 13, 270, 1, 0,
};
