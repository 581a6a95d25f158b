/* The scanner's keyword tables: the default table with its prebuilt
 * first-letter index, and the extended table of the words the rewrite looks
 * up on demand. The codes are the ones the statement rewrite acts on. */
#include "dr/drz/drzint.h"

namespace {

/* A keyword record: the word blank-padded to the record's width. */
constexpr drzgtkw kw(const char *word, int16_t code) {
  drzgtkw r{};
  uint8_t n = 0;
  while (word[n]) {
    r.text[n] = word[n];
    n++;
  }
  r.len = n;
  for (uint8_t i = n; i < sizeof r.text; i++) r.text[i] = ' ';
  r.code = code;
  return r;
}

}  // namespace

/* Four blank records for the token kinds, the keywords by first letter, then
 * "&" and the punctuation characters. */
const drzgtkw drzgtdeftab[DRZGT_DEFCOUNT] = {
    kw("", 0), kw("", 1), kw("", 2), kw("", 3), kw("ACCESS", 4), kw("ADD", 5), kw("ALL", 6),
    kw("ALTER", 7), kw("AND", 8), kw("ANY", 9), kw("AS", 11), kw("ASC", 12), kw("AUDIT", 13),
    kw("BETWEEN", 17), kw("BY", 18), kw("CHAR", 20), kw("CHECK", 22), kw("CLUSTER", 24),
    kw("COLUMN", 26), kw("COMMENT", 27), kw("COMPRESS", 29), kw("CONNECT", 30), kw("CREATE", 36),
    kw("CURRENT", 37), kw("DATE", 43), kw("DECIMAL", 45), kw("DEFAULT", 48), kw("DELETE", 50),
    kw("DESC", 51), kw("DISTINCT", 53), kw("DROP", 55), kw("ELSE", 56), kw("EXCLUSIVE", 60),
    kw("EXISTS", 62), kw("FILE", 64), kw("FLOAT", 65), kw("FOR", 66), kw("FROM", 70),
    kw("GRANT", 73), kw("GROUP", 75), kw("HAVING", 76), kw("IDENTIFIED", 77), kw("IMMEDIATE", 79),
    kw("IN", 80), kw("INCREMENT", 82), kw("INDEX", 83), kw("INITIAL", 87), kw("INSERT", 89),
    kw("INTEGER", 90), kw("INTERSECT", 92), kw("INTO", 93), kw("IS", 94), kw("LEVEL", 97),
    kw("LIKE", 98), kw("LOCK", 101), kw("LONG", 103), kw("MAXEXTENTS", 105), kw("MINUS", 112),
    kw("MLSLABEL", 184), kw("MODE", 113), kw("MODIFY", 114), kw("NOAUDIT", 120),
    kw("NOCOMPRESS", 122), kw("NOT", 129), kw("NOWAIT", 130), kw("NULL", 131), kw("NUMBER", 133),
    kw("OF", 134), kw("OFFLINE", 135), kw("ON", 136), kw("ONLINE", 137), kw("OPTION", 139),
    kw("OR", 140), kw("ORDER", 141), kw("PCTFREE", 144), kw("PRIOR", 150), kw("PRIVILEGES", 151),
    kw("PUBLIC", 153), kw("RAW", 154), kw("RENAME", 158), kw("RESOURCE", 159), kw("REVOKE", 161),
    kw("ROW", 163), kw("ROWID", 164), kw("ROWNUM", 165), kw("ROWS", 166), kw("SELECT", 172),
    kw("SESSION", 174), kw("SET", 175), kw("SHARE", 176), kw("SIZE", 178), kw("SMALLINT", 90),
    kw("START", 186), kw("SUCCESSFUL", 189), kw("SYNONYM", 190), kw("SYSDATE", 191),
    kw("TABLE", 194), kw("THEN", 198), kw("TO", 199), kw("TRIGGER", 200), kw("UID", 201),
    kw("UNION", 202), kw("UNIQUE", 203), kw("UPDATE", 204), kw("USER", 205), kw("VALIDATE", 207),
    kw("VALUES", 208), kw("VARCHAR", 209), kw("VARCHAR2", 25), kw("VIEW", 211),
    kw("WHENEVER", 212), kw("WHERE", 213), kw("WITH", 214), kw("&", 216), kw("|", 217),
    kw(":", 218), kw(",", 219), kw("-", 220), kw("=", 221), kw(">", 222), kw("[", 223),
    kw("<", 224), kw("(", 225), kw(".", 226), kw("+", 227), kw("]", 228), kw(")", 229),
    kw("!", 230), kw("/", 231), kw("*", 232), kw("^", 233), kw("@", 234),};

/* Built by drzgkindex over the table above; a test keeps the two equal. */
const uint16_t drzgtdefidx[DRZGT_IDXLEN] = {113, 4,  13, 15, 24, 31, 34, 38, 40, 41, 0, 0,  52, 56,
                                            61,  67, 74, 0,  78, 86, 96, 100, 105, 110, 0, 0, 0};

/* No blank records; grouped by first letter. Several words share a code,
 * and a code may stand for a different word than in the default table. */
const drzgtkw drzgtexttab[DRZGT_EXTCOUNT] = {
    kw("ADMIN", 254), kw("AFTER", 46), kw("ALLOCATE", 38), kw("ANALYZE", 143), kw("ARCHIVE", 210),
    kw("ARCHIVELOG", 10), kw("AUTHORIZATION", 14), kw("BACKUP", 15), kw("BEGIN", 16),
    kw("BECOME", 249), kw("BEFORE", 21), kw("BLOCK", 74), kw("BODY", 245), kw("CACHE", 19),
    kw("CANCEL", 123), kw("CASCADE", 255), kw("CHANGE", 71), kw("CHARACTER", 20),
    kw("CHECKPOINT", 69), kw("CLOSE", 23), kw("COMMIT", 28), kw("COMPILE", 167),
    kw("CONSTRAINT", 31), kw("CONSTRAINTS", 31), kw("CONTAINS", 300), kw("CONTENTS", 32),
    kw("CONTINUE", 33), kw("CONTROLFILE", 34), kw("CONVERT", 122), kw("COST", 256),
    kw("CYCLE", 39), kw("DATABASE", 40), kw("DATAFILE", 41), kw("DBA", 44), kw("DEC", 45),
    kw("DECLARE", 47), kw("DISABLE", 49), kw("DISMOUNT", 52), kw("DISPLAY", 303),
    kw("DOUBLE", 54), kw("DUMP", 71), kw("EACH", 68), kw("ENABLE", 85), kw("END", 57),
    kw("ESCAPE", 58), kw("EVENTS", 59), kw("EXCEPT", 192), kw("EXCEPTIONS", 100),
    kw("EXPLAIN", 241), kw("EXECUTE", 61), kw("EXTENTS", 123), kw("EXTERNALLY", 248),
    kw("FLUSH", 72), kw("FORCE", 179), kw("FOREIGN", 67), kw("FUNCTION", 35), kw("HANDLE", 301),
    kw("INCLUDING", 81), kw("INDICATOR", 86), kw("INITRANS", 88), kw("INSTANCE", 63),
    kw("INT", 90), kw("KEY", 95), kw("LAYER", 74), kw("LINK", 99), kw("LOGFILE", 102),
    kw("MANAGE", 250), kw("MAX", 78), kw("MAXARCHLOGS", 94), kw("MAXDATAFILES", 104),
    kw("MAXINSTANCES", 106), kw("MAXLOGFILES", 107), kw("MAXLOGHISTORY", 94),
    kw("MAXLOGMEMBERS", 246), kw("MAXTRANS", 108), kw("MAXVALUE", 109), kw("MIN", 170),
    kw("MINEXTENTS", 110), kw("MINVALUE", 111), kw("MOUNT", 116), kw("NEXT", 118), kw("NEW", 91),
    kw("NOARCHIVELOG", 119), kw("NOCACHE", 121), kw("NOCYCLE", 123), kw("NOMAXVALUE", 124),
    kw("NOMINVALUE", 125), kw("NONE", 142), kw("NOORDER", 126), kw("NORESETLOGS", 244),
    kw("NOSORT", 128), kw("NUMERIC", 132), kw("OBJNO", 122), kw("OFF", 182), kw("OLD", 247),
    kw("ONLY", 237), kw("OPCODE", 183), kw("OPEN", 138), kw("OPTIMAL", 115), kw("OWN", 251),
    kw("PACKAGE", 157), kw("PARALLEL", 177), kw("PRIVILEGE", 151), kw("PCTINCREASE", 145),
    kw("PCTUSED", 146), kw("PRIMARY", 149), kw("PRIVATE", 94), kw("PROCEDURE", 152),
    kw("PROFILE", 148), kw("QUOTA", 84), kw("RBA", 184), kw("READ", 236), kw("REAL", 155),
    kw("RECOVER", 252), kw("REFERENCES", 156), kw("REFERENCING", 156), kw("RESET", 257),
    kw("RESETLOGS", 238), kw("RESTRICTED", 42), kw("REUSE", 160), kw("ROLLBACK", 162),
    kw("ROLE", 246), kw("ROLES", 246), kw("SAVEPOINT", 168), kw("SB4", 45), kw("SCHEMA", 169),
    kw("SCN", 127), kw("SCORE", 302), kw("SEGMENT", 171), kw("SEQUENCE", 173), kw("SHARED", 177),
    kw("SNAPSHOT", 242), kw("SOME", 180), kw("SORT", 181), kw("STOP", 44), kw("STORAGE", 188),
    kw("SWITCH", 240), kw("SYSDBA", 257), kw("SYSOPER", 258), kw("SYSTEM", 193),
    kw("TABLES", 195), kw("TABLESPACE", 196), kw("TEMPORARY", 197), kw("THREAD", 184),
    kw("TIME", 185), kw("TRACING", 187), kw("TRANSACTION", 235), kw("TRUNCATE", 253),
    kw("UB2", 90), kw("UNLIMITED", 117), kw("UNTIL", 170), kw("USE", 243), kw("USING", 206),
    kw("WHEN", 147), kw("WRITE", 239), kw("WORK", 215),};

/* Position of the first word of each letter A to Z in the extended table;
 * a letter without words points at a record of another letter, so that
 * the search ends at once. */
const uint16_t drzgtextidx[26] = {0,   7,   13, 31, 41, 52, 0,   56,  57, 0, 62, 63, 66,
                                  80,  92, 100, 109, 110, 123, 140, 148, 0, 153, 0, 0, 0};
