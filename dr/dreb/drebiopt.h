/* What the optimisation passes over the token table share: a row as read,
 * and the reading of one page of rows with its placeholders bound. */
#ifndef KES_DR_DREB_DREBIOPT_H
#define KES_DR_DREB_DREBIOPT_H

#include <cstdint>
#include <string>
#include <vector>

#include "dr/dra/dra.h"
#include "dr/dru/druo.h"

/* A row of the token table as read. */
struct drebirow {
  std::string word;
  uint32_t first = 0;
  std::vector<uint8_t> info;
};

/* A placeholder's value for a page statement. */
struct drebibind {
  const char *name;
  void *buf;
  int32_t size;
  int type;
};

/* Runs a select of (word_text, first_doc, word_info), or of word_text alone
 * (ncols 1), with its binds and appends what it gives to rows; long rows
 * are read whole. 0, or 1 after pushing. */
int drebirows(drsrvstate *st, drheap heap, const char *sql, const drebibind *binds, int nbinds, int ncols,
              std::vector<drebirow> &rows);

#endif
