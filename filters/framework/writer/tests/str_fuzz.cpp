// Fuzz target: arbitrary bytes as a string of each encoding and as
// characters of a code page, written into COM, measured, copied, compared
// and searched. The COM written must stay well formed: every record opened
// with ESC GS, closed by its RS, and no other control byte outside one.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filters/framework/writer/tests/cwtest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static cwhookscope hooks;
  int enc = data[0] % 7;
  int cp = cvcodepages[data[1] % CV_NCP];
  int order = data[2] & 1;
  // NUL-ended for every encoding: a zero unit whatever the length.
  std::string s(reinterpret_cast<const char*>(data) + 3, size - 3);
  s.append(4, '\0');
  cwtestrun t;
  cvrun* run = t.run;
  cvsetbe(run, order);
  cwcodepage(run, cp);
  cwstr(run, s.data(), enc);
  for (size_t i = 3; i < size; i++) cwucschar(run, data[i]);
  for (size_t i = 3; i + 1 < size; i += 2) cwwchar(run, data[i], data[i + 1]);
  if (!comwellformed(t.com())) std::abort();
  int n = cvstrlen(run, s.data(), enc);
  char* copy = cvstrdup(run, s.data(), enc);
  if ((copy != nullptr) != (n > 0)) std::abort();
  if (copy && cvstreq(run, copy, s.data(), enc) != 1) std::abort();
  if (copy && cvstrncmp(run, copy, s.data(), n + 1, enc) != 1) std::abort();
  cvstrchr(run, s.data(), data[1] << 8 | data[2], enc);
  cwcharwidth(run, s.data(), enc, 240, 0, data[1]);
  return 0;
}
