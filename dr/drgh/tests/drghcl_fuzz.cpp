// Fuzz target over the link rewriter and the URL parser: any base and value
// parse or fail within their limits, an absolute form stays below the limit
// it is given, and a tag's bytes through the rewriter come out whole: with
// no link attribute the output is the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drgh/drghcl.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

drsrvstate *g_srv = nullptr;

// The bytes of a tag through the rewriter, each call given just the room
// the rewriter asks its callers to keep; ended like the conversion ends one.
std::string pass(drghclrec *rec, const std::string &tag) {
  std::string out;
  std::vector<char> buf(DRGHCL_ROOM);
  for (unsigned char b : tag) {
    uint32_t n = 0;
    if (drghclink(rec, b, &n, buf.data(), buf.data() + buf.size()) != 0) {
      if (drghclend(rec, &n, buf.data(), buf.data() + buf.size()) != 0) std::abort();
      out.append(buf.data(), n);
      out += static_cast<char>(b);
      continue;
    }
    if (n > buf.size()) std::abort();
    out.append(buf.data(), n);
  }
  uint32_t n = 0;
  if (drghclend(rec, &n, buf.data(), buf.data() + buf.size()) != 0) std::abort();
  out.append(buf.data(), n);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_srv = fuzzstate::make("AMERICAN_AMERICA.WE8ISO8859P1");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string in(reinterpret_cast<const char *>(data), size);
  size_t cut = in.find('\n');
  std::string base = cut == std::string::npos ? "http://h:8080/a/b.html" : in.substr(0, cut);
  std::string value = cut == std::string::npos ? in : in.substr(cut + 1);
  base = base.c_str();  // the parser takes NUL-terminated texts
  std::string v = value.c_str();
  drghcurl u;
  if (drghclparse(g_srv, v.c_str(), &u) == 0) {
    if (u.path[0] == '\0' || std::strlen(u.path) >= DRGHCL_SIZE) std::abort();
  }
  char small[64];
  uint32_t len = 0;
  size_t room = data[0] % sizeof small;
  if (drghclabs(g_srv, base.c_str(), v.c_str(), &len, small, small + room) == 0 &&
      (len >= room || std::strlen(small) != len))
    std::abort();
  std::vector<char> big(DRGHCL_ROOM);
  if (base.size() < DRGHCL_BASEMAX && v.size() < DRGHCL_SIZE &&
      drghclabs(g_srv, base.c_str(), v.c_str(), &len, big.data(), big.data() + big.size()) == 0 &&
      len >= big.size())
    std::abort();
  drghclrec *rec = drghclinit(g_srv, base.c_str());
  if ((rec == nullptr) != (base.size() >= DRGHCL_BASEMAX)) std::abort();
  std::string out = pass(rec, value);
  if (value.find('=') == std::string::npos && out != value) std::abort();
  return 0;
}
