// Statement text handling of the database client layer: placeholders, the
// kind of a statement, the SQLSTATE mapping, function-code names and the
// banner. Pure text work; nothing here talks to the database.
#include "platform/db/db.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool namechar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
         (static_cast<unsigned char>(c) & 0x80);
}

// A byte that continues a name in the database's own lexer: unlike a
// placeholder name, never '#', which is an operator there.
bool identchar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
         (static_cast<unsigned char>(c) & 0x80);
}

bool identstart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         (static_cast<unsigned char>(c) & 0x80);
}

// The end of the literal, quoted name, comment or dollar-quoted text that
// starts at i, or i when none starts there. A literal, name or comment left
// open runs to the end of the text.
size_t opaque(const char* sql, size_t len, size_t i) {
  char c = sql[i];
  if (c == '\'') {  // literal; '' stays inside, E'..' honours backslashes
    bool esc = i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') &&
               (i < 2 || !identchar(sql[i - 2]));
    size_t j = i + 1;
    while (j < len) {
      if (esc && sql[j] == '\\' && j + 1 < len) {
        j += 2;
        continue;
      }
      if (sql[j] == '\'') {
        if (j + 1 < len && sql[j + 1] == '\'') {
          j += 2;
          continue;
        }
        break;
      }
      ++j;
    }
    return j < len ? j + 1 : len;
  }
  if (c == '"') {  // quoted name; "" stays inside
    size_t j = i + 1;
    while (j < len) {
      if (sql[j] == '"') {
        if (j + 1 < len && sql[j + 1] == '"') {
          j += 2;
          continue;
        }
        break;
      }
      ++j;
    }
    return j < len ? j + 1 : len;
  }
  if (c == '-' && i + 1 < len && sql[i + 1] == '-') {
    size_t j = i;
    while (j < len && sql[j] != '\n') ++j;
    return j;
  }
  if (c == '/' && i + 1 < len && sql[i + 1] == '*') {  // comments nest
    size_t j = i + 2;
    int depth = 1;
    while (j < len && depth > 0) {
      if (sql[j] == '/' && j + 1 < len && sql[j + 1] == '*') {
        ++depth;
        j += 2;
      } else if (sql[j] == '*' && j + 1 < len && sql[j + 1] == '/') {
        --depth;
        j += 2;
      } else {
        ++j;
      }
    }
    return j;
  }
  if (c == '$' && (i == 0 || !identchar(sql[i - 1]))) {  // $tag$ ... $tag$
    size_t j = i + 1;
    if (j < len && identstart(sql[j]))
      while (j < len && identchar(sql[j]) && sql[j] != '$') ++j;
    if (j < len && sql[j] == '$') {
      std::string_view tag(sql + i, j - i + 1);
      size_t end = std::string_view(sql, len).find(tag, j + 1);
      return end == std::string_view::npos ? len : end + tag.size();
    }
  }
  return i;
}

// Whether a word (upper case) starts at i and ends there too.
bool wordat(const char* sql, size_t len, size_t i, std::string_view word) {
  if (i > 0 && identchar(sql[i - 1])) return false;
  if (len - i < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(sql[i + k])) != word[k]) return false;
  return i + word.size() == len || !identchar(sql[i + word.size()]);
}

// The number of the parameter "$n" at i (0 when none is there); *end gets
// the offset after it.
unsigned long paramat(const char* sql, size_t len, size_t i, size_t* end) {
  if (sql[i] != '$' || (i > 0 && identchar(sql[i - 1])) || i + 1 >= len ||
      !std::isdigit(static_cast<unsigned char>(sql[i + 1])))
    return 0;
  unsigned long n = 0;
  size_t j = i + 1;
  while (j < len && std::isdigit(static_cast<unsigned char>(sql[j])) && n < 1000000)
    n = n * 10 + static_cast<unsigned long>(sql[j++] - '0');
  *end = j;
  return n;
}

// The first keyword of a statement, upper-cased (opening parentheses and
// comments before it are passed over).
std::string firstword(const char* sql, size_t len) {
  size_t i = 0;
  for (;;) {
    while (i < len && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '(')) ++i;
    if (i + 1 < len && sql[i] == '-' && sql[i + 1] == '-') {
      while (i < len && sql[i] != '\n') ++i;
    } else if (i + 1 < len && sql[i] == '/' && sql[i + 1] == '*') {
      const char* e = static_cast<const char*>(memmem(sql + i + 2, len - i - 2, "*/", 2));
      i = e ? static_cast<size_t>(e - sql) + 2 : len;
    } else {
      break;
    }
  }
  std::string w;
  while (i < len && std::isalpha(static_cast<unsigned char>(sql[i])))
    w += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
  return w;
}

}  // namespace

int kdbplaceholders(const char* sql, size_t len, char* out, size_t outsize, char* names,
                    size_t namesize) {
  std::string o;
  std::vector<std::string> seen;
  size_t i = 0;
  auto copy = [&](size_t to) {
    o.append(sql + i, to - i);
    i = to;
  };
  while (i < len) {
    char c = sql[i];
    size_t skip = opaque(sql, len, i);
    if (skip > i) {
      copy(skip);
    } else if (c == ':' && i + 1 < len && sql[i + 1] == ':') {  // a cast
      copy(i + 2);
    } else if (c == ':' && i + 1 < len && namechar(sql[i + 1]) && sql[i + 1] != '$') {
      size_t j = i + 1;
      while (j < len && namechar(sql[j])) ++j;
      std::string name(sql + i + 1, j - i - 1);
      for (auto& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      size_t n = 0;
      while (n < seen.size() && seen[n] != name) ++n;
      if (n == seen.size()) seen.push_back(name);
      o += '$';
      o += std::to_string(n + 1);
      i = j;
    } else {
      copy(i + 1);
    }
  }
  if (o.size() + 1 > outsize) return -1;
  std::memcpy(out, o.c_str(), o.size() + 1);
  size_t need = 1;
  for (auto& s : seen) need += s.size() + 1;
  if (need > namesize) return -1;
  char* p = names;
  for (auto& s : seen) {
    std::memcpy(p, s.c_str(), s.size() + 1);
    p += s.size() + 1;
  }
  *p = '\0';
  return static_cast<int>(seen.size());
}

long kdbunnest(const char* sql, size_t len, int nparams, char* out, size_t outsize) {
  if (!sql || nparams < 1) return 0;
  // The statement up to its VALUES must be no more than "INSERT INTO name
  // [AS alias] [(columns)] [OVERRIDING ... VALUE]": anything else there (a
  // query joined to the row by UNION, a WITH, a placeholder) would run once
  // for all the rows instead of once for each.
  size_t i = 0, end = 0;
  auto blanks = [&] {
    while (i < len) {
      size_t skip = opaque(sql, len, i);
      if (skip > i && (sql[i] == '-' || sql[i] == '/')) i = skip;
      else if (std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
      else break;
    }
  };
  auto word = [&](std::string_view w) {
    blanks();
    if (i >= len || !wordat(sql, len, i, w)) return false;
    i += w.size();
    return true;
  };
  auto name = [&] {
    blanks();
    if (i < len && sql[i] == '"') {
      i = opaque(sql, len, i);
      return true;
    }
    if (i >= len || !identstart(sql[i])) return false;
    while (i < len && identchar(sql[i])) ++i;
    return true;
  };
  auto dotted = [&] {
    if (!name()) return false;
    for (blanks(); i < len && sql[i] == '.'; blanks()) {
      ++i;
      if (!name()) return false;
    }
    return true;
  };
  if (!word("INSERT") || !word("INTO") || !dotted()) return 0;
  if (word("AS") && !name()) return 0;
  blanks();
  if (i < len && sql[i] == '(') {
    do {
      ++i;
      if (!dotted()) return 0;
    } while (i < len && sql[i] == ',');
    if (i >= len || sql[i] != ')') return 0;
    ++i;
  }
  if (word("OVERRIDING") && !((word("SYSTEM") || word("USER")) && word("VALUE"))) return 0;
  if (!word("VALUES")) return 0;
  size_t values = i - 6;
  // Then the one row: blanks and comments, "(", up to its ")". A DEFAULT in
  // it has no place in a select list; a subquery in it would read the table
  // as it was before the statement, where each row's own execution sees the
  // rows before it.
  blanks();
  if (i >= len || sql[i] != '(') return 0;
  size_t open = i;
  int depth = 0;
  for (; i < len; ++i) {
    size_t skip = opaque(sql, len, i);
    if (skip > i) i = skip - 1;
    else if (sql[i] == '(') ++depth;
    else if (sql[i] == ')' && --depth == 0) break;
    else if (wordat(sql, len, i, "DEFAULT") || wordat(sql, len, i, "SELECT") ||
             wordat(sql, len, i, "VALUES") || wordat(sql, len, i, "TABLE"))
      return 0;
  }
  if (i >= len) return 0;
  size_t close = i;
  // Nothing may follow but blanks, comments and the end of the statement:
  // another row, a conflict clause or returned columns keep the statement
  // as it is.
  for (i = close + 1; i < len; ++i) {
    size_t skip = opaque(sql, len, i);
    if (skip > i && (sql[i] == '-' || sql[i] == '/')) i = skip - 1;
    else if (!std::isspace(static_cast<unsigned char>(sql[i])) && sql[i] != ';') return 0;
  }
  // The row's values become a select list over the arrays' elements: each
  // "$n" reads the n-th array's element of the row.
  std::string o(sql, values);
  o += "SELECT ";
  for (size_t k = open + 1; k < close;) {
    size_t skip = opaque(sql, len, k);
    unsigned long n = skip > k ? 0 : paramat(sql, len, k, &end);
    if (skip > k) {
      o.append(sql + k, skip - k);
      k = skip;
    } else if (n) {
      if (n > static_cast<unsigned long>(nparams)) return 0;
      o += "kdb_rows.kdb_" + std::to_string(n);
      k = end;
    } else {
      o += sql[k++];
    }
  }
  o += " FROM unnest(";
  for (int n = 1; n <= nparams; ++n) o += (n > 1 ? ", $" : "$") + std::to_string(n);
  o += ") AS kdb_rows(";
  for (int n = 1; n <= nparams; ++n) o += (n > 1 ? ", kdb_" : "kdb_") + std::to_string(n);
  o += ')';
  o.append(sql + close + 1, len - close - 1);
  if (out && o.size() < outsize) std::memcpy(out, o.c_str(), o.size() + 1);
  return static_cast<long>(o.size());
}

int kdbkind(const char* sql, size_t len) {
  std::string w = firstword(sql, len);
  static const struct {
    const char* word;
    int kind;
  } words[] = {
      {"SELECT", KDB_FT_QUERY}, {"WITH", KDB_FT_QUERY},     {"VALUES", KDB_FT_QUERY},
      {"TABLE", KDB_FT_QUERY},  {"SHOW", KDB_FT_QUERY},     {"INSERT", KDB_FT_DML},
      {"UPDATE", KDB_FT_DML},   {"DELETE", KDB_FT_DML},     {"MERGE", KDB_FT_DML},
      {"CREATE", KDB_FT_DDL},   {"DROP", KDB_FT_DDL},       {"ALTER", KDB_FT_DDL},
      {"TRUNCATE", KDB_FT_DDL}, {"COMMENT", KDB_FT_DDL},    {"GRANT", KDB_FT_DDL},
      {"REVOKE", KDB_FT_DDL},   {"CALL", KDB_FT_CALL},
  };
  for (auto& e : words)
    if (w == e.word) return e.kind;
  return KDB_FT_OTHER;
}

int kdbsqlstate(const char* st, const char* message) {
  if (!st || !*st) return KDB_GENERIC;
  std::string s(st);
  std::string m(message ? message : "");
  if (s == "42P07" || s == "42710" || s == "42P06" || s == "42723") return KDB_EXISTS;
  if (s == "42P01") return m.rfind("sequence ", 0) == 0 ? KDB_NOSEQUENCE : KDB_NOTABLE;
  if (s == "42883" || s == "3F000") return KDB_NOPROC;
  if (s == "42703") return KDB_UNDEFCOLUMN;
  if (s == "23505") return KDB_UNIQUE;
  if (s == "DRT01" || s == "P0001") return KDB_APPERROR;
  if (s == "57014") return KDB_CANCELLED;
  if (s == "22P02") return KDB_BADNUMBER;
  if (s == "22021" || s == "22P05") return KDB_BADTEXT;
  if (s.compare(0, 2, "08") == 0 || s == "57P01" || s == "57P02" || s == "57P03")
    return KDB_NOTCONNECTED;
  return KDB_GENERIC;
}

const char* kdbcodetext(int rc) {
  // Texts of the codes the layer reports itself and of the database errors
  // that the SQL statement scanner raises by number; the expect-table codes
  // name the word that is missing.
  static const struct {
    int rc;
    const char* text;
  } texts[] = {
      {0, "normal, successful completion"},
      {903, "table name missing or not a valid name"},
      {904, "column name missing or not a valid name"},
      {905, "a keyword is missing here"},
      {906, "\"(\" expected here"},
      {907, "\")\" expected here"},
      {908, "NULL expected here"},
      {911, "character that begins no token"},
      {914, "ADD expected here"},
      {917, "\",\" expected here"},
      {921, "statement ends before it is complete"},
      {923, "FROM expected here"},
      {924, "BY expected here"},
      {925, "INTO expected here"},
      {926, "VALUES expected here"},
      {927, "\"=\" expected here"},
      {928, "SELECT expected here"},
      {929, "\".\" expected here"},
      {930, "\"*\" expected here"},
      {946, "TO expected here"},
      {952, "GROUP expected here"},
      {954, "IDENTIFIED expected here"},
      {958, "CHECK expected here"},
      {966, "TABLE expected here"},
      {967, "WHERE expected here"},
      {968, "INDEX expected here"},
      {969, "ON expected here"},
      {970, "WITH expected here"},
      {971, "SET expected here"},
      {972, "name longer than 30 bytes"},
      {982, "\"+\" expected here"},
      {993, "GRANT expected here"},
      {994, "OPTION expected here"},
      {1007, "variable not in select list"},
      {1008, "not all variables bound"},
      {1036, "illegal variable name/number"},
      {1403, "no data found"},
      {1405, "fetched column value is NULL"},
      {1406, "fetched column value was truncated"},
      {1426, "number beyond the range of numbers"},
      {1703, "SYNONYM expected here"},
      {1704, "text literal longer than 2000 bytes"},
      {1710, "OF expected here"},
      {1738, "IN expected here"},
      {1739, "MODE expected here"},
      {1740, "quoted name not closed by a double quote"},
      {1741, "quoted name with nothing between its quotes"},
      {1742, "comment not closed by */"},
      {1747, "column name with a missing or extra part"},
      {1748, "only a simple name is allowed here"},
      {1756, "text literal not closed by a single quote"},
      {1768, "number longer than 255 bytes"},
      {1900, "LOGFILE expected here"},
      {1901, "ROLLBACK expected here"},
      {1902, "SEGMENT expected here"},
      {1903, "EVENTS expected here"},
      {1904, "DATAFILE expected here"},
      {1905, "STORAGE expected here"},
      {1906, "BACKUP expected here"},
      {1907, "TABLESPACE expected here"},
      {1908, "EXISTS expected here"},
      {1909, "REUSE expected here"},
      {1910, "TABLES expected here"},
      {1911, "CONTENTS expected here"},
      {1912, "ROW expected here"},
      {1913, "EXCLUSIVE expected here"},
      {2012, "USING expected here"},
      {2013, "CONNECT expected here"},
      {2026, "LINK expected here"},
      {2029, "FILE expected here"},
      {2086, "database link name longer than 128 bytes"},
      {3114, "not connected to the database"},
  };
  for (const auto& t : texts)
    if (t.rc == rc) return t.text;
  return nullptr;
}

const char* kdbfcname(unsigned fc) {
  switch (fc) {
    case 2: return "KSQL";
    case 4: return "KEXEC";
    case 6: return "KBIND";
    case 8: return "KDEFIN";
    case 10: return "KDSRBN";
    case 12: return "KFETCH";
    case 14: return "KOPEN";
    case 16: return "KCLOSE";
    case 22: return "KDSC";
    case 24: return "KNAME";
    case 26: return "KSQL3";
    case 28: return "KBNDRV";
    case 30: return "KBNDRN";
    case 34: return "KOPT";
    case 50: return "KLOGON";
    case 52: return "KCAN";
    case 54: return "KPARSE";
    case 56: return "KEXFET";
    case 58: return "KFLNG";
    case 60: return "KDESCR";
    case 62: return "KBNDRA";
    default: return "not used";
  }
}

int kdbbanner(char* buf, size_t size, const char* product, uint32_t version, int status) {
  if (!buf || size == 0) return KDB_BADCALL;
  int n = std::snprintf(buf, size, "%s Release %u.%u.%u.%u.%u - %s", product ? product : "",
                        (version >> 24) & 0xff, (version >> 20) & 0xf, (version >> 12) & 0xff,
                        (version >> 8) & 0xf, version & 0xff,
                        status == 0 ? "Production" : "Test");
  return n < 0 ? KDB_BADCALL : 0;
}
