// Writes a stemming lexicon: (form, stem) pairs taken from a spelling
// dictionary with its affix rules (and, for English, the irregular forms of a
// word net), compiled into a lexical transducer file whose one sub-network
// stems (lookup) and generates forms (generation).
//
//   lexgen --out FILE [--pairs FILE [--every N]] [--desc TEXT] [--limit BYTES]
//          [--dic FILE --aff FILE [--flags F,F,...] [--prefixes]]
//          [--exc FILE]... [--list FILE]
//
// --flags limits the affix classes expanded (as written in the affix file);
// --prefixes expands prefix classes too; --exc reads "form stem..." lines;
// --list reads "form<TAB>stem" lines in Latin-1; --pairs writes the pairs
// kept in the same form (every N-th one with --every). Words that are not
// Latin-1 are left out and counted. When the forms do not fit the file
// format (or the network would pass --limit bytes), the stems are kept in
// source order up to what fits and the number dropped is printed.
#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// ---------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------

// UTF-8 to Latin-1; false when a character has no Latin-1 byte.
bool latin1(const std::string &in, std::string *out) {
  out->clear();
  for (size_t i = 0; i < in.size();) {
    unsigned char c = in[i];
    uint32_t cp;
    int n;
    if (c < 0x80) cp = c, n = 1;
    else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, n = 2;
    else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, n = 3;
    else if ((c & 0xF8) == 0xF0) cp = c & 0x07, n = 4;
    else return false;
    if (i + n > in.size()) return false;
    for (int k = 1; k < n; k++) {
      if ((in[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (in[i + k] & 0x3F);
    }
    if (cp > 0xFF || cp < 0x20) return false;
    out->push_back(static_cast<char>(cp));
    i += n;
  }
  return true;
}

// Code points of a UTF-8 text (bytes when it is not UTF-8).
std::vector<uint32_t> codepoints(const std::string &s) {
  std::vector<uint32_t> v;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    int n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (i + n > s.size()) n = 1;
    uint32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
    for (int k = 1; k < n; k++) cp = cp << 6 | (s[i + k] & 0x3F);
    v.push_back(cp);
    i += n;
  }
  return v;
}

std::vector<std::string> fields(const std::string &line) {
  std::vector<std::string> f;
  std::istringstream is(line);
  std::string x;
  while (is >> x) f.push_back(x);
  return f;
}

// ---------------------------------------------------------------------
// Affix files
// ---------------------------------------------------------------------

using Flag = uint32_t;

// A condition: one set of bytes per position.
struct Cond {
  std::vector<std::bitset<256>> at;
  bool never = false;  // names a character that is not Latin-1
};

struct Entry {
  std::string strip, add;  // Latin-1
  std::vector<Flag> cont;  // continuation classes
  Cond cond;
  bool ok = true;          // strip and add are Latin-1
};

struct Class {
  bool prefix = false, cross = false;
  std::vector<Entry> entries;
};

struct Affixes {
  enum { CHAR, LONG, NUM, UTF8 } type = CHAR;
  std::map<Flag, Class> classes;
  Flag needaffix = 0, circumfix = 0, onlyincompound = 0, forbidden = 0;

  std::vector<Flag> parse(const std::string &s) const {
    std::vector<Flag> v;
    switch (type) {
      case LONG:
        for (size_t i = 0; i + 1 < s.size(); i += 2)
          v.push_back(static_cast<unsigned char>(s[i]) << 8 | static_cast<unsigned char>(s[i + 1]));
        break;
      case NUM: {
        std::istringstream is(s);
        std::string x;
        while (std::getline(is, x, ','))
          if (!x.empty()) v.push_back(static_cast<Flag>(std::strtoul(x.c_str(), nullptr, 10)));
        break;
      }
      case UTF8:
        for (uint32_t cp : codepoints(s)) v.push_back(cp);
        break;
      default:
        for (unsigned char c : s) v.push_back(c);
    }
    return v;
  }
  Flag one(const std::string &s) const {
    std::vector<Flag> v = parse(s);
    return v.empty() ? 0 : v[0];
  }
};

Cond condition(const std::string &text) {
  Cond c;
  std::vector<uint32_t> cps = codepoints(text);
  if (text == ".") {
    c.at.emplace_back().set();
    return c;
  }
  for (size_t i = 0; i < cps.size(); i++) {
    std::bitset<256> set;
    if (cps[i] == '[') {
      bool neg = i + 1 < cps.size() && cps[i + 1] == '^';
      size_t k = i + (neg ? 2 : 1);
      for (; k < cps.size() && cps[k] != ']'; k++)
        if (cps[k] < 256) set.set(cps[k]);
      if (neg) set.flip();
      i = k;
    } else if (cps[i] == '.') {
      set.set();
    } else if (cps[i] < 256) {
      set.set(cps[i]);
    } else {
      c.never = true;
    }
    c.at.push_back(set);
  }
  return c;
}

bool matchend(const Cond &c, const std::string &w) {
  if (c.never || c.at.size() > w.size()) return false;
  size_t base = w.size() - c.at.size();
  for (size_t i = 0; i < c.at.size(); i++)
    if (!c.at[i].test(static_cast<unsigned char>(w[base + i]))) return false;
  return true;
}

bool matchstart(const Cond &c, const std::string &w) {
  if (c.never || c.at.size() > w.size()) return false;
  for (size_t i = 0; i < c.at.size(); i++)
    if (!c.at[i].test(static_cast<unsigned char>(w[i]))) return false;
  return true;
}

bool readaff(const std::string &path, Affixes *a) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  std::vector<std::vector<std::string>> lines;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(fields(line));
  }
  for (auto &f : lines)
    if (f.size() >= 2 && f[0] == "FLAG")
      a->type = f[1] == "long" ? Affixes::LONG : f[1] == "num" ? Affixes::NUM
                : f[1] == "UTF-8" ? Affixes::UTF8 : Affixes::CHAR;
  for (size_t i = 0; i < lines.size(); i++) {
    const auto &f = lines[i];
    if (f.size() < 2) continue;
    if (f[0] == "NEEDAFFIX") a->needaffix = a->one(f[1]);
    else if (f[0] == "CIRCUMFIX") a->circumfix = a->one(f[1]);
    else if (f[0] == "ONLYINCOMPOUND") a->onlyincompound = a->one(f[1]);
    else if (f[0] == "FORBIDDENWORD") a->forbidden = a->one(f[1]);
    if ((f[0] != "PFX" && f[0] != "SFX") || f.size() < 4) continue;
    // A class header: name, cross product, number of entries.
    Flag name = a->one(f[1]);
    Class &cls = a->classes[name];
    cls.prefix = f[0] == "PFX";
    cls.cross = f[2] == "Y";
    long n = std::strtol(f[3].c_str(), nullptr, 10);
    for (long k = 0; k < n && i + 1 < lines.size(); k++) {
      const auto &e = lines[++i];
      if (e.size() < 4 || e[0] != f[0]) continue;
      Entry en;
      std::string add = e[3], cont;
      size_t slash = add.find('/');
      if (slash != std::string::npos) cont = add.substr(slash + 1), add = add.substr(0, slash);
      if (add == "0") add.clear();
      std::string strip = e[2] == "0" ? "" : e[2];
      en.ok = latin1(strip, &en.strip) && latin1(add, &en.add);
      en.cont = a->parse(cont);
      en.cond = condition(e.size() > 4 ? e[4] : ".");
      cls.entries.push_back(en);
    }
  }
  return true;
}

bool has(const std::vector<Flag> &v, Flag f) {
  return f && std::find(v.begin(), v.end(), f) != v.end();
}

struct Expander {
  const Affixes &a;
  std::set<Flag> only;  // classes allowed; empty: every suffix class
  bool prefixes = false;

  bool allowed(Flag f, const Class &c) const {
    if (c.prefix && !prefixes) return false;
    return only.empty() || only.count(f);
  }
  // Applies a suffix entry; false when it does not apply.
  static bool sfx(const Entry &e, const std::string &w, std::string *out) {
    if (!e.ok || w.size() < e.strip.size() || !matchend(e.cond, w) ||
        w.compare(w.size() - e.strip.size(), e.strip.size(), e.strip) != 0)
      return false;
    *out = w.substr(0, w.size() - e.strip.size()) + e.add;
    return !out->empty();
  }
  static bool pfx(const Entry &e, const std::string &w, std::string *out) {
    if (!e.ok || w.size() < e.strip.size() || !matchstart(e.cond, w) ||
        w.compare(0, e.strip.size(), e.strip) != 0)
      return false;
    *out = e.add + w.substr(e.strip.size());
    return !out->empty();
  }

  // Every form of a root with its flags.
  std::vector<std::string> forms(const std::string &w, const std::vector<Flag> &flags) const {
    std::set<std::string> out;
    if (!has(flags, a.needaffix)) out.insert(w);
    std::vector<std::string> crossable;  // suffixed forms a prefix may join
    std::string f1, f2;
    for (Flag f : flags) {
      auto it = a.classes.find(f);
      if (it == a.classes.end() || it->second.prefix || !allowed(f, it->second)) continue;
      for (const Entry &e : it->second.entries) {
        if (has(e.cont, a.circumfix) || !sfx(e, w, &f1)) continue;
        if (!has(e.cont, a.needaffix)) {
          out.insert(f1);
          if (it->second.cross) crossable.push_back(f1);
        }
        for (Flag g : e.cont) {  // a second suffix on the first
          auto jt = a.classes.find(g);
          if (jt == a.classes.end() || jt->second.prefix || !allowed(g, jt->second)) continue;
          for (const Entry &e2 : jt->second.entries)
            if (!has(e2.cont, a.circumfix) && sfx(e2, f1, &f2)) out.insert(f2);
        }
      }
    }
    if (prefixes) {
      for (Flag f : flags) {
        auto it = a.classes.find(f);
        if (it == a.classes.end() || !it->second.prefix || !allowed(f, it->second)) continue;
        for (const Entry &e : it->second.entries) {
          if (has(e.cont, a.circumfix)) continue;
          if (pfx(e, w, &f1)) out.insert(f1);
          if (it->second.cross)
            for (const std::string &s : crossable)
              if (pfx(e, s, &f1)) out.insert(f1);
        }
      }
    }
    return {out.begin(), out.end()};
  }
};

// ---------------------------------------------------------------------
// Word pairs by stem, in source order
// ---------------------------------------------------------------------

struct Source {
  std::vector<std::string> stems;                        // in source order
  std::vector<std::vector<std::string>> forms;           // forms of each stem
  long leftout = 0;                                      // not Latin-1
  std::unordered_map<std::string, size_t> index;

  std::vector<std::string> &of(const std::string &stem) {
    auto it = index.find(stem);
    if (it != index.end()) return forms[it->second];
    index.emplace(stem, stems.size());
    stems.push_back(stem);
    forms.emplace_back();
    return forms.back();
  }
};

bool readdic(const std::string &path, const Affixes &a, const Expander &x, Source *src) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line, word, lat;
  std::getline(in, line);  // the word count
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '\t' || line[0] == ' ' || line[0] == '#') continue;
    // The word runs to the first unescaped slash or blank.
    word.clear();
    size_t i = 0;
    for (; i < line.size(); i++) {
      if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '/') {
        word += '/';
        i++;
      } else if (line[i] == '/' || line[i] == '\t' || line[i] == ' ') {
        break;
      } else {
        word += line[i];
      }
    }
    std::string flagtext;
    if (i < line.size() && line[i] == '/') {
      size_t e = line.find_first_of("\t ", i + 1);
      flagtext = line.substr(i + 1, e == std::string::npos ? std::string::npos : e - i - 1);
    }
    if (word.empty()) continue;
    std::vector<Flag> flags = a.parse(flagtext);
    if (has(flags, a.onlyincompound) || has(flags, a.forbidden)) continue;
    if (!latin1(word, &lat)) {
      src->leftout++;
      continue;
    }
    std::vector<std::string> fs = x.forms(lat, flags);
    if (fs.empty()) continue;
    std::vector<std::string> &dst = src->of(lat);
    dst.insert(dst.end(), fs.begin(), fs.end());
  }
  return true;
}

// Irregular forms: "form stem stem...", words joined by underscores are
// phrases and left out.
bool readexc(const std::string &path, Source *src) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line, form, stem;
  while (std::getline(in, line)) {
    std::vector<std::string> f = fields(line);
    if (f.size() < 2 || f[0].find('_') != std::string::npos) continue;
    if (!latin1(f[0], &form)) {
      src->leftout++;
      continue;
    }
    for (size_t i = 1; i < f.size(); i++) {
      if (f[i].find('_') != std::string::npos || !latin1(f[i], &stem)) continue;
      std::vector<std::string> &dst = src->of(stem);
      dst.push_back(stem);
      dst.push_back(form);
    }
  }
  return true;
}

bool readlist(const std::string &path, Source *src) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0 || tab + 1 >= line.size()) continue;
    src->of(line.substr(tab + 1)).push_back(line.substr(0, tab));
  }
  return true;
}

// ---------------------------------------------------------------------
// The transducer
// ---------------------------------------------------------------------

// Label layout: the input-free label, the continuation label, then the
// escape byte as the lowest ordinary label, then the symbols. Bytes below
// the label base are 0 and three-byte pointers only, so the pointers reach
// as far as the label base allows.
struct Layout {
  int base = 0x80;
  int eps() const { return base; }
  int cont() const { return base + 4; }
  int esc() const { return base + 8; }
  int first() const { return base + 12; }
  int perpage() const { return (256 - first()) / 4; }
  int step() const { return (256 - base) / 4; }
  long reach() const { return static_cast<long>(base - 1) * 65536; }
};

struct Alphabet {
  Layout lay;
  std::array<uint16_t, 256> code{};  // byte -> symbol << 8 | escapes, 0 none
  std::map<int, uint16_t> out;       // symbol index -> character

  // Frequent characters get page 0; the label base is the highest whose four
  // pages hold every character.
  bool make(const std::array<long, 256> &freq) {
    std::vector<int> chars;
    for (int c = 1; c < 256; c++)
      if (freq[c]) chars.push_back(c);
    std::stable_sort(chars.begin(), chars.end(), [&](int a, int b) { return freq[a] > freq[b]; });
    for (int base : {0x80, 0x60, 0x40, 0x20}) {
      lay.base = base;
      if (4L * lay.perpage() >= static_cast<long>(chars.size())) break;
    }
    if (4L * lay.perpage() < static_cast<long>(chars.size())) return false;
    for (size_t i = 0; i < chars.size(); i++) {
      int page = static_cast<int>(i) / lay.perpage(), sym = lay.first() + 4 * (static_cast<int>(i) % lay.perpage());
      code[chars[i]] = static_cast<uint16_t>(sym << 8 | page);
      out[(sym - lay.base) / 4 + page * lay.step()] = static_cast<uint16_t>(chars[i]);
    }
    return true;
  }
  // Coded bytes: escapes, then the symbol byte.
  void coded(const std::string &s, std::vector<uint8_t> *v) const {
    v->clear();
    for (unsigned char c : s) {
      uint16_t k = code[c];
      for (int i = 0; i < (k & 0xFF); i++) v->push_back(static_cast<uint8_t>(lay.esc()));
      v->push_back(static_cast<uint8_t>(k >> 8));
    }
  }
};

// A path symbol: surface byte << 8 | lexical byte, 0 for nothing.
using Sym = uint16_t;
using Path = std::vector<Sym>;

// The common start paired with itself, then the rest position by position.
void align(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, Path *p) {
  p->clear();
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) p->push_back(static_cast<Sym>(a[i] << 8 | b[i])), i++;
  for (; i < a.size() || i < b.size(); i++)
    p->push_back(static_cast<Sym>((i < a.size() ? a[i] : 0) << 8 | (i < b.size() ? b[i] : 0)));
}

struct State {
  std::vector<std::pair<Sym, uint32_t>> arcs;
  bool final = false;
};

// Minimal acyclic transducer of sorted paths, built incrementally: the
// states behind the last path are merged with equal states as soon as no
// further path can reach them.
struct Builder {
  std::vector<State> st;
  std::vector<uint32_t> freelist;

  struct Hash {
    const std::vector<State> *st;
    size_t operator()(uint32_t s) const {
      const State &x = (*st)[s];
      size_t h = x.final ? 0x9E3779B97F4A7C15ull : 0;
      for (auto &a : x.arcs) h = (h ^ (a.first * 0x100000001B3ull + a.second)) * 0xFF51AFD7ED558CCDull;
      return h;
    }
  };
  struct Eq {
    const std::vector<State> *st;
    bool operator()(uint32_t a, uint32_t b) const {
      return (*st)[a].final == (*st)[b].final && (*st)[a].arcs == (*st)[b].arcs;
    }
  };
  std::unordered_set<uint32_t, Hash, Eq> reg{0, Hash{&st}, Eq{&st}};

  uint32_t fresh() {
    if (!freelist.empty()) {
      uint32_t s = freelist.back();
      freelist.pop_back();
      st[s] = State{};
      return s;
    }
    st.emplace_back();
    return static_cast<uint32_t>(st.size() - 1);
  }
  // Registers the states of the path below depth keep, deepest first.
  void settle(std::vector<uint32_t> &path, size_t keep) {
    for (size_t i = path.size() - 1; i > keep; i--) {
      uint32_t child = path[i];
      auto it = reg.find(child);
      if (it != reg.end()) {
        st[path[i - 1]].arcs.back().second = *it;
        st[child].arcs.clear();
        freelist.push_back(child);
      } else {
        reg.insert(child);
      }
    }
    path.resize(keep + 1);
  }
  uint32_t build(const std::vector<Path> &paths) {
    std::vector<uint32_t> path{fresh()};
    const Path *prev = nullptr;
    for (const Path &p : paths) {
      size_t cp = 0;
      if (prev)
        while (cp < prev->size() && cp < p.size() && (*prev)[cp] == p[cp]) cp++;
      settle(path, cp);
      for (size_t i = cp; i < p.size(); i++) {
        uint32_t s = fresh();
        st[path.back()].arcs.emplace_back(p[i], s);
        path.push_back(s);
      }
      st[path.back()].final = true;
      prev = &p;
    }
    settle(path, 0);
    return path[0];
  }
};

// Writes the network: every state's arc list once; a target list is written
// in place only where nothing after it is ever skipped and only one arc
// leads to it, else behind a three-byte pointer, so that skipping a sibling
// costs a few bytes.
struct Writer {
  const std::vector<State> &st;
  const Layout &lay;
  long reach;
  std::vector<uint8_t> net;
  std::vector<uint32_t> refs, where;
  std::vector<std::pair<size_t, uint32_t>> fix;
  std::vector<uint32_t> todo;
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  Writer(const std::vector<State> &s, const Layout &l, long r)
      : st(s), lay(l), reach(r), refs(s.size()), where(s.size(), kNone) {}

  void b(int x) { net.push_back(static_cast<uint8_t>(x)); }
  // The arc list of state s, in place or behind a pointer.
  void ref(uint32_t s, bool tail) {
    if (st[s].arcs.empty()) {
      b(0);
    } else if (tail && refs[s] == 1 && where[s] == kNone) {
      list(s);
    } else {
      fix.emplace_back(net.size(), s);
      b(1), b(0), b(0);
      if (where[s] == kNone) todo.push_back(s);
    }
  }
  // One list of lexical labels with their targets.
  void lexlist(const std::vector<std::pair<int, uint32_t>> &v, bool tail) {
    for (size_t i = 0; i < v.size(); i++) {
      bool more = i + 1 < v.size();
      b((v[i].first ? v[i].first : lay.eps()) | (st[v[i].second].final ? 1 : 0) | (more ? 2 : 0));
      ref(v[i].second, tail && !more);
    }
  }
  void list(uint32_t s) {
    where[s] = static_cast<uint32_t>(net.size());
    const auto &arcs = st[s].arcs;
    // Groups by surface byte; arcs are sorted, input-free ones first.
    std::vector<std::pair<int, std::vector<std::pair<int, uint32_t>>>> groups;
    for (auto &[sym, t] : arcs) {
      int surf = sym >> 8, lex = sym & 0xFF;
      if (groups.empty() || groups.back().first != surf) groups.emplace_back(surf, std::vector<std::pair<int, uint32_t>>{});
      groups.back().second.emplace_back(lex, t);
    }
    for (size_t g = 0; g < groups.size(); g++) {
      bool more = g + 1 < groups.size();
      int surf = groups[g].first;
      auto &v = groups[g].second;
      if (!surf) {
        b(lay.eps() | (more ? 2 : 0));
        lexlist(v, !more);
        continue;
      }
      uint32_t id = kNone;
      std::vector<std::pair<int, uint32_t>> pairs;
      for (auto &e : v) {
        if (e.first == surf) id = e.second;
        else pairs.push_back(e);
      }
      b(surf | (id != kNone && st[id].final ? 1 : 0) | (more ? 2 : 0));
      if (pairs.empty()) {
        ref(id, !more);
        continue;
      }
      bool idarcs = id != kNone && !st[id].arcs.empty();
      bool epsilon = pairs.front().first == 0;
      b(lay.cont() | (epsilon ? 1 : 0) | (idarcs ? 2 : 0));
      lexlist(pairs, !more && !idarcs);
      if (idarcs) ref(id, !more);
    }
  }
  // The start state's byte and list first, then every list pointed at.
  bool write(uint32_t root) {
    for (const State &x : st)
      for (auto &a : x.arcs) refs[a.second]++;
    b(lay.eps() | (st[root].final ? 1 : 0));
    list(root);
    while (!todo.empty()) {
      uint32_t s = todo.back();
      todo.pop_back();
      if (where[s] == kNone) list(s);
    }
    for (auto &[at, s] : fix) {
      long pos = where[s];
      if (pos >= reach) return false;
      net[at] = static_cast<uint8_t>(1 + (pos >> 16));
      net[at + 1] = static_cast<uint8_t>(pos >> 8);
      net[at + 2] = static_cast<uint8_t>(pos);
    }
    return true;
  }
};

void put16(std::vector<uint8_t> &v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x >> 8);
  v[at + 1] = static_cast<uint8_t>(x);
}

// The file: header, table region, network.
std::vector<uint8_t> file(const Alphabet &al, const std::vector<uint8_t> &net, const std::string &desc) {
  const Layout &lay = al.lay;
  std::vector<uint8_t> tab;
  auto here = [&] { return static_cast<uint32_t>(92 + tab.size()); };
  auto w8 = [&](int x) { tab.push_back(static_cast<uint8_t>(x)); };
  auto w16 = [&](uint32_t x) { w8(static_cast<int>(x >> 8) & 0xFF), w8(static_cast<int>(x) & 0xFF); };
  uint32_t descoff = here();
  std::string d = desc.substr(0, 200);
  w8(static_cast<int>(d.size()));
  for (char c : d) w8(c);
  for (char c : std::string("1.0")) w8(c);
  w8(0);
  int first = 256, last = 0;
  for (int c = 1; c < 256; c++)
    if (al.code[c]) first = std::min(first, c), last = std::max(last, c);
  uint32_t code0 = here();
  for (int c = first; c <= last; c++) w8((al.code[c] >> 8) | (al.code[c] & 3));
  uint32_t pagerecs = here();
  w8(0), w8(last), w8(0), w8(0), w8(0), w8(first), w16(static_cast<uint32_t>(last - first + 1)), w16(code0);
  for (int k = 0; k < 6; k++) w8(0);
  int nout = al.out.empty() ? 0 : al.out.rbegin()->first + 1;
  w16(static_cast<uint32_t>(nout));
  uint32_t outoff = here();
  for (int i = 0; i < nout; i++) w16(al.out.count(i) ? al.out.at(i) : 0);
  uint32_t stroff = here();
  w16(2);
  w16(0);  // no named lists
  uint32_t dir = here();
  uint32_t desc0 = here();
  w8(0), w8(0), w16(desc0), w16(desc0), w8(0), w8(0), w16(0), w16(0);  // start at 0
  for (int k = 12; k < 21; k++) w8(0);
  w8(lay.esc());
  for (int k = 22; k < 32; k++) w8(0);
  w8(0), w8(0), w16(0);  // no flag label, no flags
  uint32_t subidx = here();
  w16(desc0);
  uint32_t functab = here();
  w8(27);
  for (int f = 1; f <= 27; f++) w8(f == 12 || f == 27 ? 0 : 255);

  std::vector<uint8_t> h(92, 0);
  h[3] = 92;
  h[4] = 1;
  h[6] = static_cast<uint8_t>(descoff);
  put16(h, 12, stroff);
  put16(h, 14, stroff);
  put16(h, 18, here());
  put16(h, 20, pagerecs);
  h[23] = static_cast<uint8_t>(lay.esc());
  h[24] = h[25] = h[26] = 1;  // three-byte pointers only
  h[27] = static_cast<uint8_t>(lay.base);
  put16(h, 30, dir);
  h[35] = 0;  // no dense tables
  put16(h, 42, subidx);
  h[46] = static_cast<uint8_t>(lay.step());
  h[47] = 1;
  put16(h, 56, outoff);
  h[58] = 3;
  put16(h, 62, functab);
  uint32_t n = static_cast<uint32_t>(net.size());
  h[68] = static_cast<uint8_t>(n >> 24), h[69] = static_cast<uint8_t>(n >> 16);
  h[70] = static_cast<uint8_t>(n >> 8), h[71] = static_cast<uint8_t>(n);
  h[82] = 1;
  h[86] = static_cast<uint8_t>(lay.cont());
  put16(h, 90, stroff);
  std::vector<uint8_t> f = h;
  f.insert(f.end(), tab.begin(), tab.end());
  f.insert(f.end(), net.begin(), net.end());
  return f;
}

// Compiles the pairs of the first nstems stems; false when the network
// passes the pointers' reach.
bool compile(const Source &src, size_t nstems, const std::string &desc, long limit,
             std::vector<uint8_t> *out, size_t *npairs, long *netsize, long *reach) {
  std::array<long, 256> freq{};
  for (size_t i = 0; i < nstems; i++) {
    for (unsigned char c : src.stems[i]) freq[c]++;
    for (const std::string &f : src.forms[i])
      for (unsigned char c : f) freq[c]++;
  }
  Alphabet al;
  if (!al.make(freq)) return false;
  *reach = std::min(al.lay.reach(), limit);
  std::vector<Path> paths;
  std::vector<uint8_t> a, b;
  for (size_t i = 0; i < nstems; i++) {
    al.coded(src.stems[i], &b);
    for (const std::string &f : src.forms[i]) {
      al.coded(f, &a);
      paths.emplace_back();
      align(a, b, &paths.back());
    }
  }
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  *npairs = paths.size();
  Builder bd;
  uint32_t root = bd.build(paths);
  Writer w(bd.st, al.lay, *reach);
  bool ok = w.write(root);
  *netsize = static_cast<long>(w.net.size());
  if (!ok || *netsize > limit) return false;
  *out = file(al, w.net, desc);
  return true;
}

int usage() {
  std::fprintf(stderr,
               "usage: lexgen --out FILE [--pairs FILE [--every N]] [--desc TEXT] [--limit BYTES] "
               "[--dic FILE --aff FILE "
               "[--flags F,...] [--prefixes]] [--exc FILE]... [--list FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  std::string out, pairsout, desc = "stemming lexicon", dic, aff, flags;
  std::vector<std::string> excs, lists;
  bool prefixes = false;
  long every = 1, limit = 1L << 30;
  for (int i = 1; i < argc; i++) {
    std::string o = argv[i];
    auto val = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (o == "--out") out = val();
    else if (o == "--pairs") pairsout = val();
    else if (o == "--desc") desc = val();
    else if (o == "--dic") dic = val();
    else if (o == "--aff") aff = val();
    else if (o == "--flags") flags = val();
    else if (o == "--prefixes") prefixes = true;
    else if (o == "--every") every = std::strtol(val().c_str(), nullptr, 10);
    else if (o == "--limit") limit = std::strtol(val().c_str(), nullptr, 10);
    else if (o == "--exc") excs.push_back(val());
    else if (o == "--list") lists.push_back(val());
    else return usage();
  }
  if (out.empty() || dic.empty() != aff.empty() || every < 1 || limit < 1) return usage();

  Affixes a;
  Source src;
  if (!aff.empty()) {
    if (!readaff(aff, &a)) {
      std::fprintf(stderr, "lexgen: cannot read %s\n", aff.c_str());
      return 1;
    }
    Expander x{a, {}, prefixes};
    std::istringstream is(flags);
    std::string f;
    while (std::getline(is, f, ','))
      if (!f.empty()) x.only.insert(a.one(f));
    if (!readdic(dic, a, x, &src)) {
      std::fprintf(stderr, "lexgen: cannot read %s\n", dic.c_str());
      return 1;
    }
  }
  for (const std::string &e : excs)
    if (!readexc(e, &src)) {
      std::fprintf(stderr, "lexgen: cannot read %s\n", e.c_str());
      return 1;
    }
  for (const std::string &l : lists)
    if (!readlist(l, &src)) {
      std::fprintf(stderr, "lexgen: cannot read %s\n", l.c_str());
      return 1;
    }
  for (auto &f : src.forms) {
    std::sort(f.begin(), f.end());
    f.erase(std::unique(f.begin(), f.end()), f.end());
  }

  // All stems, or as many as fit: shrink by the overshoot until it fits.
  size_t n = src.stems.size(), npairs = 0;
  long netsize = 0, reach = 0;
  std::vector<uint8_t> bytes;
  for (int tries = 0; !compile(src, n, desc, limit, &bytes, &npairs, &netsize, &reach); tries++) {
    size_t next = static_cast<size_t>(static_cast<double>(n) * std::min(0.97, 0.97 * reach / netsize));
    if (tries > 20 || next == 0 || !reach) {
      std::fprintf(stderr, "lexgen: %s: the forms do not fit\n", out.c_str());
      return 1;
    }
    n = next;
  }
  FILE *f = std::fopen(out.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "lexgen: cannot write %s\n", out.c_str());
    return 1;
  }
  if (!pairsout.empty()) {
    std::ofstream p(pairsout, std::ios::binary);
    long k = 0;
    for (size_t i = 0; i < n; i++)
      for (const std::string &form : src.forms[i])
        if (k++ % every == 0) p << form << '\t' << src.stems[i] << '\n';
    if (!p) {
      std::fprintf(stderr, "lexgen: cannot write %s\n", pairsout.c_str());
      return 1;
    }
  }
  std::printf("lexgen: %s: %zu stems, %zu pairs, %ld bytes of network; %ld words not Latin-1 left out",
              out.c_str(), n, npairs, netsize, src.leftout);
  if (n < src.stems.size()) std::printf(", %zu stems dropped (too many forms)", src.stems.size() - n);
  std::printf("\n");
  return 0;
}
