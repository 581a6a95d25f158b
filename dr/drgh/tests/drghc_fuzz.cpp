// Fuzz target over the HTML conversion: any document, read in pieces of a
// size the input chooses, in text mode and in highlight mode with hits the
// input chooses, with and without a base URL. Both modes must count the same
// characters, the hit tags must pair up, and taking them out must leave the
// HTML the run without hits writes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/nls/nls.h"
#include "tests/fixtures/pipe/htmlfix.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

drsrvstate *g_srv = nullptr;
drghcstate *g_conv = nullptr;

std::string strip(const std::string &s) {
  std::string out;
  for (char ch : s)
    if (ch != '\x01' && ch != '\x02') out += ch;
  return out;
}

bool hastitle(const std::string &s) {
  for (size_t i = 0; i + 5 <= s.size(); ++i)
    if (nlsncasecmp(nlscsbyid(NLS_WE8ISO8859P1), s.data() + i, "title", 5) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_srv = fuzzstate::make("AMERICAN_AMERICA.WE8ISO8859P1");
  g_conv = drghcnew(g_srv);
  if (!g_conv) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  size_t piece = data[0] % 16;
  uint8_t flags = data[1];
  std::string doc(reinterpret_cast<const char *>(data) + 4, size - 4);
  doc = strip(doc);
  htmlfix::baseurl() = flags & 1 ? "http://h:8080/a/b.html" : "";
  int rc = 0, rc0 = 0;
  std::string text = htmlfix::convert(g_srv, g_conv, doc, flags & 2 ? 0 : 1, nullptr, &rc, "", "", piece);
  if (flags & 2) {
    // Not told it is HTML: highlight mode must refuse the same documents.
    htmlfix::Hits none;
    htmlfix::convert(g_srv, g_conv, doc, 0, &none, &rc0, "\x01", "\x02", piece);
    if (rc != rc0) std::abort();
    return 0;
  }
  if (rc != 0) std::abort();
  uint32_t n = static_cast<uint32_t>(text.size());
  htmlfix::Hits none;
  std::string h0 = htmlfix::convert(g_srv, g_conv, doc, 1, &none, &rc0, "\x01", "\x02", piece);
  if (rc0 != 0) std::abort();
  htmlfix::Hits hits;
  int32_t at = 1;
  for (uint8_t i = 0; i < data[2] % 8; ++i) {
    at += data[3] >> (i % 4) & 7;
    hits.add(at, 1 + (data[3] + i) % 5);
  }
  std::string h = htmlfix::convert(g_srv, g_conv, doc, 1, &hits, &rc, "\x01", "\x02", piece);
  if (rc != 0 || strip(h) != h0) std::abort();
  int depth = 0;
  for (char ch : h) {
    depth += ch == '\x01' ? 1 : ch == '\x02' ? -1 : 0;
    if (depth < 0 || depth > 1) std::abort();
  }
  if (depth != 0) std::abort();
  // The last character of the text is the last the highlight counts (a
  // cell's end, a blank of the text, is no place for a hit tag).
  if (n > 0 && text.back() != ' ' && !hastitle(doc)) {
    htmlfix::Hits last, past;
    last.add(static_cast<int32_t>(n), 1);
    past.add(static_cast<int32_t>(n) + 1, 1);
    if (htmlfix::convert(g_srv, g_conv, doc, 1, &last, &rc, "\x01", "\x02", piece).find('\x01') == std::string::npos)
      std::abort();
    if (htmlfix::convert(g_srv, g_conv, doc, 1, &past, &rc, "\x01", "\x02", piece).find('\x01') != std::string::npos)
      std::abort();
  }
  return 0;
}
