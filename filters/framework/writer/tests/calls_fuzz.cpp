// Fuzz target: arbitrary bytes as a sequence of writer calls on a run that
// counts widths on a narrow line: characters, line ends, specials,
// alignment, indents, tab stops and list numbers, and containers of every
// kind begun and ended in any order, in table-grid mode or not. Whatever
// the sequence, the COM written stays well formed and the wrap never loses
// a byte of text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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

// objects, graphics and forms
int objpos = 0;
int objbyte(cvrun*) { return objpos < 40 ? (objpos++ * 37) & 0xFF : -1; }

void objcall(cvrun* run, int which, int arg) {
  cwobjdesc d = {};
  d.version = 2;
  d.format = arg % 3 == 0 ? -1 : arg % 3 == 1 ? 602 : 610;
  d.getbyte = objbyte;
  d.inlined = arg % 2;
  d.slot = -1;
  objpos = arg % 41;
  switch (which) {
    case 0: cwobject(run, &d); break;
    case 1: cwgraphic(run, &d, arg % 2 ? "pics/none.wmf" : nullptr, CW_ENCBYTE); break;
    case 2: {
      cwformdesc f = {0, arg % 2, "/go", CW_ENCBYTE, nullptr, CW_ENCBYTE};
      cwform(run, arg % 3 == 0 ? 0 : 1, &f);
      break;
    }
    default: {
      // Every word a type reads as a string holds one, every encoding 5.
      int type = arg % 12 - 1;
      intptr_t v = reinterpret_cast<intptr_t>(type == 7 ? "img.gif" : "v");
      cwctldesc c = {{0, type, 0, v, 5, arg % 2, arg, arg, arg, arg, arg, arg}};
      if (type >= 5 && type <= 7) c.word[4] = v, c.word[5] = 5;
      if (type == 0) c.word[8] = v, c.word[9] = 5;
      if (type == 1 || type == 8) c.word[7] = v, c.word[8] = 5;
      if (type == 2 || type == 3 || type == 5 || type == 7) c.word[6] = v, c.word[7] = 5;
      if (type == 9) c.word[5] = v, c.word[6] = 5;
      cwformfield(run, &c);
      break;
    }
  }
}

// Styles, sub-documents, notes, fields, tables and column sets: a begin or
// end of a container by the argument, balanced or not; what is still open
// at the end is closed in order.
struct containers {
  std::vector<int> open;
  bool used = false;

  void begin(cvrun* run, int kind, int arg) {
    static cwstyledesc style{1, "s", CW_ENCBYTE, 0};
    cwboxdesc box{};
    box.width = arg * 40;
    cwhfdesc hf{1, arg % 4, 3, 0, 0, 0};
    cwfielddesc field{2, arg % 4, arg % 16, arg % 2, {"arg"}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
    cwtabdesc table{1, 1 + arg % 4, arg % 5, {}, {}};
    cwcoldesc cols{0, 1 + arg % 3, {arg % 2, 0, 0}};
    used = true;
    switch (kind) {
      case 0: cwboxbeg(run, &box); break;
      case 1: cwcmtbegin(run); break;
      case 2: cwdelbegin(run); break;
      case 3: cwftnbeg(run); break;
      case 4: cwednbeg(run); break;
      case 5:
        for (int k : open)
          if (k == 5) return;
        cwheadbeg(run, &hf);
        break;
      case 6: cwfldbeg(run, &field); break;
      case 7:
        cwtabbeg(run, &table);
        for (int c = 0; c < table.ncols; c++) cwcelladd(run, c * 1000, c * 1000 + 900 + arg);
        cwtabstart(run);
        cwcellnext(run);
        break;
      case 8:
        cwcolbegin(run, &cols);
        for (int c = 0; c < cols.ncols; c++) cwcoladd(run, c * 3000, c * 3000 + 2500);
        cwcolemit(run);
        break;
      default:
        // Styles: define, use and switch off; they open nothing.
        if (arg % 3 == 0) cwstyledef(run, &style);
        else if (arg % 3 == 1) cwstyleuse(run, arg % 8);
        else cwstyleoffkey(run, arg % 8);
        return;
    }
    open.push_back(kind);
  }
  static void end(cvrun* run, int kind) {
    static void (*const ends[])(cvrun*) = {cwboxend, cwcmtend, cwdelend, cwftnend, cwednend,
                                           cwheadend, cwfldend, cwtabend, cwcolend};
    ends[kind](run);
  }
  void step(cvrun* run, int op, int arg) {
    if (op % 2 == 0) {
      begin(run, arg % 10, arg / 10);
    } else if (!open.empty()) {
      if (open.back() == 7 && arg % 3 == 0) {
        cwcellnext(run);
        if (arg % 2) cwrownew(run), cwcellnext(run);
        return;
      }
      end(run, open.back());
      open.pop_back();
    } else {
      used = true;
      end(run, arg % 9);  // nothing open: nothing happens
    }
  }
  void closeall(cvrun* run) {
    for (; !open.empty(); open.pop_back()) end(run, open.back());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static cwhookscope hooks;
  cwtestrun t;
  cvrun* run = t.run;
  t.settle();
  t.w->nowidth = 0;
  t.w->rightlimit = t.w->para.linepos + 8 * 120;
  // A third of the inputs run in table-grid mode, where tables are held
  // back and written again on a common grid.
  t.w->gridmode = size % 3 == 0;
  cwlistdesc lvl{2, 1, 1, 0, 0, "(", ")", CW_ENCBYTE};
  lvl.indent = 360;
  cwlistdef(run, &lvl);
  std::string written;
  containers boxes;
  for (size_t i = 0; i < size; i++) {
    int op = data[i], arg = i + 1 < size ? data[i + 1] : 0;
    // objects, graphics and forms
    if (op >= 0xF0 && op <= 0xF3) {
      i++;
      objcall(run, op - 0xF0, arg);
      continue;
    }
    if (op >= 0xE0) {
      i++;
      boxes.step(run, op, arg);
      continue;
    }
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
  boxes.closeall(run);
  cwflush(run, 1);
  std::string com = t.com();
  if (!comwellformed(com)) std::abort();
  // Containers hide text in records and move it: the letters are checked
  // without them.
  if (boxes.used) return 0;
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
