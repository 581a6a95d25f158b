// Test fixture: a server state logged on to the private cluster, and a
// helper that runs one SQL text on it. Rows a test inserts without commit
// vanish when its session ends, so tests only commit what another session
// must see.
#ifndef KES_DR_DRD_TESTS_DBFIX_H
#define KES_DR_DRD_TESTS_DBFIX_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dr/drd/drd.h"
#include "dr/dru/dru.h"

namespace drdtest {

// The connect string of the private cluster.
inline std::string dbuser() {
  const char *u = std::getenv("KES_DBUSER");
  if (u && *u) return u;
  u = std::getenv("PGUSER");
  return u && *u ? u : "kestrin";
}

// A logged-on server state; null (and a test failure) when that fails.
inline drsrvstate *logon() {
  drsrvstate *s = nullptr;
  if (dracnnew(&s) != 0) {
    ADD_FAILURE() << "no server state";
    return nullptr;
  }
  std::string u = dbuser();
  if (dracnlog(s, u.c_str(), 0) != 0) {
    druelog(s);
    ADD_FAILURE() << "log-on failed as " << u;
    dracnfre(&s);
    return nullptr;
  }
  return s;
}

inline void logoff(drsrvstate *&s) {
  if (!s) return;
  if (s->dmcache) drdmfre(s);
  dracnlof(s);
  dracnfre(&s);
}

// Runs one statement; fails the test with the stack when it fails.
inline void sql(drsrvstate *s, const std::string &text) {
  if (drqsexe(s, text.c_str()) != 0) {
    char buf[2000];
    druestk(s, buf, sizeof buf);
    ADD_FAILURE() << text << "\n" << buf;
    drueclr(s);
  }
}

// The joined error stack.
inline std::string stack(drsrvstate *s) {
  char buf[4000];
  druestk(s, buf, sizeof buf);
  return buf;
}

}  // namespace drdtest

#endif
