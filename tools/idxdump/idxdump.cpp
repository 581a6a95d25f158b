// Prints where words stand in a policy's text index: for each word, the
// key of every document that holds it and its positions there, decoded from
// the token table and joined to the key table. The database is the one the
// PG environment names.
//   kes_idxdump POLICY_ID WORD...
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "dr/dreu/dreu.h"

namespace {

[[noreturn]] void die(const std::string &why) {
  std::fprintf(stderr, "kes_idxdump: %s\n", why.c_str());
  std::exit(1);
}

PGresult *query(PGconn *c, const std::string &sql, const std::vector<std::string> &params) {
  std::vector<const char *> v;
  for (const std::string &p : params) v.push_back(p.c_str());
  PGresult *r = PQexecParams(c, sql.c_str(), static_cast<int>(v.size()), nullptr, v.data(),
                             nullptr, nullptr, 0);
  if (PQresultStatus(r) != PGRES_TUPLES_OK) die(sql + ": " + PQerrorMessage(c));
  return r;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) die("usage: kes_idxdump POLICY_ID WORD...");
  PGconn *c = PQconnectdb("");
  if (PQstatus(c) != CONNECTION_OK) die(PQerrorMessage(c));
  // The policy's owner names its tables; its stop list's size the list kind;
  // an optimisation into the other table of the pair switches the suffix.
  PGresult *p = query(c,
                      "SELECT lower(pol_owner), (SELECT count(*) FROM dr$policy_preference pp"
                      " JOIN dr$preference_attribute a ON a.pat_pre_id = pp.ppr_pre_id"
                      " WHERE pp.ppr_pol_id = $1::integer AND pp.ppr_cla_id = 6"
                      " AND a.pat_name = 'STOP_WORD'),"
                      " coalesce((SELECT nullif(t.txi_suffix, '') FROM dr$text_index t"
                      " WHERE t.txi_pol_id = $1::integer), '1')"
                      " FROM dr$policy WHERE pol_id = $1::integer",
                      {argv[1]});
  if (PQntuples(p) != 1) die(std::string("no policy ") + argv[1]);
  char base[80];
  std::snprintf(base, sizeof base, "%s.dr_%05d_", PQgetvalue(p, 0, 0), std::atoi(argv[1]));
  int kind = std::atoi(PQgetvalue(p, 0, 1)) >= 256 ? DREL_KIND1 : DREL_KIND0;
  std::string tokens = std::string(base) + "i1t" + PQgetvalue(p, 0, 2);
  PQclear(p);
  std::map<uint32_t, std::string> keys;
  PGresult *k = query(c, std::string("SELECT docid, textkey FROM ") + base + "ktb", {});
  for (int i = 0; i < PQntuples(k); ++i) keys[std::strtoul(PQgetvalue(k, i, 0), nullptr, 10)] = PQgetvalue(k, i, 1);
  PQclear(k);
  for (int a = 2; a < argc; ++a) {
    PGresult *r = query(c, "SELECT word_info FROM " + tokens + " WHERE word_text = $1 ORDER BY first_doc",
                        {argv[a]});
    std::printf("%s:", argv[a]);
    if (PQntuples(r) == 0) std::printf(" not in the index");
    for (int i = 0; i < PQntuples(r); ++i) {
      size_t n = 0;
      unsigned char *b = PQunescapeBytea(reinterpret_cast<const unsigned char *>(PQgetvalue(r, i, 0)), &n);
      drelent e;
      drelrdinit(&e, b, static_cast<uint32_t>(n));
      uint32_t doc = 0;
      int rc;
      while ((rc = drelseek(&e, kind, &doc, 0)) == 0) {
        auto key = keys.find(doc);
        std::printf("\n  key %s:", key == keys.end() ? "(deleted)" : key->second.c_str());
        drelocc occ{};
        while ((rc = drelnextent(&e, kind, &occ, 0)) == 0) std::printf(" %u", occ.pos);
        if (rc != 2) break;
      }
      if (rc == 1) std::printf("\n  (a damaged row)");
      PQfreemem(b);
    }
    std::printf("\n");
    PQclear(r);
  }
  PQfinish(c);
  return 0;
}
