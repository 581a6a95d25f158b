// The database client layer: log-on, cursors, binds, defines, execute and
// fetch over libpq, in the call style the server is written against (login
// and cursor areas owned by the caller, numeric return codes, function codes).
// Nothing above this layer sees libpq; the server and its tests include only
// this header.
#ifndef KES_PLATFORM_DB_DB_H
#define KES_PLATFORM_DB_DB_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Caller-owned areas. Both are 64 bytes and must start zero-filled; the layer
// keeps its own state behind the pointer inside them.

struct kdbsess;
struct kdbcur;

// Login data area: one log-on, holding two connections (work and transport).
struct kdblda {
  uint16_t rc;      // return code of the last call on the login
  uint8_t fc;       // function code of that call
  uint8_t fill1;
  uint32_t fill2;
  kdbsess* sess;    // the layer's session; null when logged off
  uint8_t fill3[48];
};
static_assert(sizeof(kdblda) == 64, "login data area is 64 bytes");

// Cursor data area.
struct kdbcda {
  int16_t v2rc;     // the return code again, signed
  uint16_t ft;      // kind of the parsed statement (KDB_FT_*)
  uint32_t rpc;     // rows processed: running count of rows fetched, or rows changed
  uint16_t peo;     // parse error offset (not kept: 0)
  uint8_t fc;       // function code of the last call (KDB_FC_*)
  uint8_t fill1;
  uint16_t rc;      // return code of the last call (0 success)
  uint16_t fill2;
  kdbcur* cur;      // the layer's cursor; null when closed
  uint8_t fill3[40];
};
static_assert(sizeof(kdbcda) == 64, "cursor data area is 64 bytes");

// The connections of a login. The work connection runs implicit
// transactions (the first statement after a commit or roll-back opens one,
// each statement runs under a savepoint so a failure undoes only itself);
// the transport connection runs in autocommit, so what it writes is seen at
// once by other sessions. The fence connection (autocommit, opened at its
// first use) runs code the server does not own and holds nothing of the
// server's: kdbfence resets it to a fresh session after each such call.
enum { KDB_WORK = 0, KDB_TRANSPORT = 1, KDB_FENCE = 2 };

// Statement kinds in kdbcda.ft.
enum { KDB_FT_OTHER = 0, KDB_FT_QUERY = 1, KDB_FT_DML = 2, KDB_FT_DDL = 3, KDB_FT_CALL = 4 };

// External datatypes of binds and defines.
enum {
  KDB_VARCHAR2 = 1,    // characters, length from the length array or the element size
  KDB_NUMBER = 2,      // (describe only) numeric column
  KDB_INTEGER = 3,     // signed integer of 1, 2, 4 or 8 bytes
  KDB_FLOAT = 4,       // float or double by element size
  KDB_STRING = 5,      // NUL-terminated characters
  KDB_LONG = 8,        // characters of a long column
  KDB_VARCHAR = 9,     // 16-bit length, then characters
  KDB_DATE = 12,       // (describe only) date column
  KDB_RAW = 23,        // bytes (bytea)
  KDB_LONGRAW = 24,    // bytes of a long raw column (bytea)
  KDB_UNSIGNED = 68,   // unsigned integer of 1, 2, 4 or 8 bytes
  KDB_LONGVARCHAR = 94,// 32-bit length, then characters
  KDB_LONGVARRAW = 95, // 32-bit length, then bytes
  KDB_CHAR = 96,       // fixed-length characters, blank-padded on output
  KDB_CHARZ = 97,      // NUL-terminated characters
};

// Return codes the layer produces or maps onto (anything else is generic).
enum {
  KDB_OK = 0,
  KDB_UNIQUE = 1,            // unique violation
  KDB_GENERIC = 600,         // any database error without a code of its own
  KDB_UNDEFCOLUMN = 904,     // undefined column
  KDB_EXISTS = 955,          // name already used by an object
  KDB_NOTABLE = 942,         // table or view does not exist
  KDB_NOTINLIST = 1007,      // describe past the last column
  KDB_NOTBOUND = 1008,       // a placeholder was not bound
  KDB_CANCELLED = 1013,      // the statement was cancelled
  KDB_BADNAME = 1036,        // bind name or number not in the statement
  KDB_NODATA = 1403,         // no (more) rows
  KDB_NULLVALUE = 1405,      // a NULL into a buffer without indicator
  KDB_TRUNCATED = 1406,      // a value longer than its buffer
  KDB_OVERFLOW = 1426,       // a number its buffer cannot carry (range, sign or fraction)
  KDB_BADNUMBER = 1722,      // not a number
  KDB_BADTEXT = 1483,        // text the database refuses: invalid bytes for the character set
  KDB_NOSEQUENCE = 2289,     // sequence does not exist
  KDB_NOTCONNECTED = 3114,   // not connected, or the connection was lost
  KDB_NOPROC = 6550,         // the called procedure or schema does not exist
  KDB_AGAIN = 8176,          // the statement must be executed again (never produced here)
  KDB_APPERROR = 20000,      // the database side's application error
  KDB_BADCALL = 24300,       // a call of this layer with invalid arguments
};

// Function codes in kdbcda.fc / kdblda.fc; kdbfcname gives their names.
enum {
  KDB_FC_EXEC = 4, KDB_FC_DEFINE = 8, KDB_FC_FETCH = 12, KDB_FC_OPEN = 14,
  KDB_FC_CLOSE = 16, KDB_FC_BINDNAME = 28, KDB_FC_BINDNUM = 30, KDB_FC_OPTION = 34,
  KDB_FC_LOGON = 50, KDB_FC_CANCEL = 52, KDB_FC_PARSE = 54, KDB_FC_EXFET = 56,
  KDB_FC_LONG = 58, KDB_FC_DESCRIBE = 60, KDB_FC_BINDARRAY = 62,
};

// Called with every statement the layer runs and its binds, when tracing.
typedef void (*kdbtracefn)(void* ctx, const char* text);

// Asked while a round trip on connection link waits for the database:
// non-zero cancels the statement it waits for (which then fails with
// KDB_CANCELLED). Round trips the watcher itself makes are not watched.
typedef int (*kdbwatchfn)(void* ctx, int link);

// ---------------------------------------------------------------------------
// Log-on and session.

// Log on with "name[/password][@database]" (length -1: NUL-terminated); host
// and port come from the PG environment. Opens both connections. 0 or a code.
int kdblogon(kdblda* lda, const char* user, int32_t userlen);
// Log off: close the connections and free the session. 0, or a code.
int kdblogoff(kdblda* lda);
// Commit the work connection's transaction.
int kdbcommit(kdblda* lda);
// Roll back the work connection's transaction.
int kdbrollback(kdblda* lda);
// Set the client character set (a PostgreSQL encoding name) on the connections.
int kdbcharset(kdblda* lda, const char* encoding);
// Whether a connection of the login was lost: 0 while both live (or with no
// session), 1 the first time it is asked after one was lost, 2 after that,
// so that the loss can be told once.
int kdbgone(kdblda* lda);
// Resets the fence connection to a fresh session (DISCARD ALL; a lost one,
// or one left inside a transaction, is replaced at its next use) and runs
// the set-up statement on it, which a later opening runs too; a null setup
// keeps the one given before. 0, or a code.
int kdbfence(kdblda* lda, const char* setup);
// Install (or with null remove) the watcher of long round trips; it is
// asked about five times a second while one waits, and at once after a
// signal.
void kdbwatch(kdblda* lda, kdbwatchfn fn, void* ctx);
// Wait up to ms milliseconds for a notification on a connection of the
// login (one it LISTENs on): 0 when one came (those already received with
// earlier results count, and are all consumed), 1403 when the time ran out,
// a signal arrived or the connection brought something else; a code when
// the connection failed.
int kdbwait(kdblda* lda, int link, int32_t ms);
// Install (or with null remove) the SQL trace callback.
void kdbtrace(kdblda* lda, kdbtracefn fn, void* ctx);
// The text of a return code into buf (NUL-terminated, at most size bytes):
// the database's message when the code is the login's last error. Its length.
int kdberror(kdblda* lda, int rc, char* buf, size_t size);
// The version banner for a product name and a version number.
int kdbbanner(char* buf, size_t size, const char* product, uint32_t version, int status);
// The layer's own text for a return code (without the "KDB-nnnnn: " head),
// or null for a code it has none for.
const char* kdbcodetext(int rc);
// Name of a function code (63 entries, "not used" for codes without a call).
const char* kdbfcname(unsigned fc);

// ---------------------------------------------------------------------------
// Cursors.

// Open a cursor on the work connection (link KDB_WORK), the transport or the fence one.
int kdbopen(kdbcda* cda, kdblda* lda, int link = KDB_WORK);
// Close a cursor and free what it holds.
int kdbclose(kdbcda* cda);
// Parse a statement (length -1: NUL-terminated). Not deferred: the database
// checks it now. ":name" placeholders become parameters. DDL runs here, with
// a commit before and after; its execute does nothing.
int kdbparse(kdbcda* cda, const char* sql, int32_t len = -1);
// Keep the next executions of this query as a server-side cursor that lives
// across commits and is fetched in blocks (for long scans); 0 or a code.
int kdbhold(kdbcda* cda, int on);

// Bind a placeholder by name (":name" or "name", case-blind). buf holds the
// value (for n-row execution: n elements of elemsize bytes); ind (-1 NULL),
// alen (actual lengths) and rcode (per-element return codes) may be null.
int kdbbndrv(kdbcda* cda, const char* name, void* buf, int32_t elemsize, int ftype,
             int16_t* ind = nullptr, uint16_t* alen = nullptr, uint16_t* rcode = nullptr);
// Bind the placeholder ":<pos>" by its number.
int kdbbndrn(kdbcda* cda, int pos, void* buf, int32_t elemsize, int ftype,
             int16_t* ind = nullptr, uint16_t* alen = nullptr, uint16_t* rcode = nullptr);
// Bind an array (collection) placeholder by name: maxarr elements; *curele is
// the count sent and, after a CALL, the count received.
int kdbbndra(kdbcda* cda, const char* name, void* buf, int32_t elemsize, int ftype,
             int16_t* ind, uint16_t* alen, uint16_t* rcode, uint32_t maxarr, uint32_t* curele);
// Define select-list column pos (from 1) into buf; a fetch of n rows fills n
// elements of elemsize bytes, and ind, alen and rcode element by element.
int kdbdefin(kdbcda* cda, int pos, void* buf, int32_t elemsize, int ftype,
             int16_t* ind = nullptr, uint16_t* alen = nullptr, uint16_t* rcode = nullptr);
// Describe select-list column pos (from 1): size, type code, name. 1007 past the end.
int kdbdescr(kdbcda* cda, int pos, int32_t* dbsize, int16_t* dbtype, char* name,
             int32_t* namelen, int16_t* prec, int16_t* scale, int16_t* nullok);

// Execute once.
int kdbexec(kdbcda* cda);
// Execute for n rows of bound arrays (elements 0 to n-1), in one round trip.
int kdbexn(kdbcda* cda, int32_t n);
// Fetch up to n rows into the defines. 1403 when fewer than n came (the rows
// that came are delivered); rpc counts every row delivered so far.
int kdbfetch(kdbcda* cda, int32_t n);
// Execute and fetch n rows.
int kdbexfet(kdbcda* cda, int32_t n);
// Read a piece of column pos of the last fetched row, from byte offset on,
// into buf (at most bufl bytes); *retl gets the bytes read. 1403 when the
// piece reaches the end of the value.
int kdbflng(kdbcda* cda, int pos, void* buf, int32_t bufl, int ftype, uint32_t* retl,
            uint32_t offset);
// kdbflng for row `row` (from 0) of the last fetch, which may have brought
// several rows; a row a held cursor no longer keeps is refused.
int kdbflngr(kdbcda* cda, int row, int pos, void* buf, int32_t bufl, int ftype, uint32_t* retl,
             uint32_t offset);
// Cancel the cursor's query: drop the rows not yet fetched.
int kdbcancel(kdbcda* cda);

// ---------------------------------------------------------------------------
// Helpers exposed for tests and tools.

// Rewrite ":name" placeholders to "$n" (literals, quoted names, comments and
// "::" casts are left alone). names receives the distinct names in order,
// upper-cased, separated by NUL and ended by an empty name; returns the count,
// or -1 when out or names is too small.
int kdbplaceholders(const char* sql, size_t len, char* out, size_t outsize, char* names,
                    size_t namesize);
// The text of a one-row "INSERT ... VALUES (row)" (placeholders already
// "$1" to "$nparams") made to insert one row for each element of arrays
// bound to the same placeholders: "INSERT ... SELECT row FROM unnest($1,
// ...)", the row's placeholders reading the arrays' elements. Returns the
// length of that text, written to out when it fits with its NUL; 0 when the
// statement has another shape (a query for its rows, more than one row, a
// DEFAULT or a subquery in it, a clause after the row, a placeholder outside
// it, none at all).
long kdbunnest(const char* sql, size_t len, int nparams, char* out, size_t outsize);
// Kind of a statement (KDB_FT_*) by its first keyword.
int kdbkind(const char* sql, size_t len);
// Map an SQLSTATE (and the primary message) onto a return code.
int kdbsqlstate(const char* sqlstate, const char* message);

#endif
