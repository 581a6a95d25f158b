// Fuzz target: arbitrary bytes as a sequence of writer calls on a run that
// counts widths on a narrow line: characters, line ends, specials,
// alignment, indents, tab stops and list numbers. Whatever the sequence,
// the COM written stays well formed and the wrap never loses a byte of text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// The text bytes of COM: everything outside records.
std::string textof(const std::string& com) {
  std::string out;
  int depth = 0;
  for (unsigned char c : com) {
    if (c == COM_ESC) depth++;
    else if (c == COM_RS) depth--;
    else if (depth == 0 && c >= 32) out += static_cast<char>(c);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static cwhookscope hooks;
  cwtestrun t;
  cvrun* run = t.run;
  t.settle();
  t.w->nowidth = 0;
  t.w->rightlimit = t.w->para.linepos + 8 * 120;
  cwlistdesc lvl{2, 1, 1, 0, 0, "(", ")", CW_ENCBYTE};
  lvl.indent = 360;
  cwlistdef(run, &lvl);
  std::string written;
  for (size_t i = 0; i < size; i++) {
    int op = data[i], arg = i + 1 < size ? data[i + 1] : 0;
    if (op >= 'a' && op <= 'z') {
      cwputc(run, op);
      written += static_cast<char>(op);
      continue;
    }
    i++;
    switch (op % 10) {
      case 0: cwputc(run, ' '); written += ' '; i--; break;
      case 1: cwnewline(run, arg % 6); break;
      case 2: cwspecial(run, arg % 10); break;
      case 3: cwalign(run, arg % 5); break;
      case 4: cwindents(run, (arg % 7 - 3) * 360, arg % 3 * 360, arg % 2 * 360); break;
      case 5: cwtstopadd(run, arg * 60, arg % 5, arg % 2 ? "." : nullptr, CW_ENCBYTE); break;
      case 6: cwlistnum(run, 1); break;
      case 7: cwbacktab(run, arg % 2 * 144); break;
      case 8: cwparaspc(run, arg % 2, arg * 4); break;
      default: if (cwind1stadd(run, 0) < 0) cwindreset(run); break;
    }
  }
  std::string com = t.com();
  if (!comwellformed(com)) std::abort();
  // Every letter and space written is in the text, in order.
  std::string text = textof(com), letters;
  for (char c : text)
    if (c >= 'a' && c <= 'z') letters += c;
  std::string want;
  for (char c : written)
    if (c != ' ') want += c;
  if (letters.find(want) == std::string::npos) std::abort();
  return 0;
}
