// The generated corpus of the index and query benchmarks: a vocabulary of
// distinct letter-only words, each document a run of words drawn by a power
// law over the vocabulary's ranks, with the counts a benchmark needs to
// pick frequent and selective words and phrases.
#ifndef KES_BENCH_WORDCORPUS_H
#define KES_BENCH_WORDCORPUS_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace wordcorpus {

struct Corpus {
  std::vector<std::string> vocab;
  std::vector<int> df;                       // documents holding the word of each rank
  std::map<std::pair<int, int>, int> pairs;  // adjacent word ranks of every tenth row, counted
};

// rows documents into docs, drawn from words distinct words; the seed fixes
// the corpus, so a benchmark meets the same one each run.
inline Corpus generate(int rows, int words, uint64_t seed, std::vector<std::string> *docs) {
  Corpus c;
  std::mt19937_64 rng(seed);
  std::set<std::string> seen;
  std::uniform_int_distribution<int> len(3, 10), letter(0, 25);
  while (static_cast<int>(c.vocab.size()) < words) {
    std::string w;
    int n = len(rng);
    for (int i = 0; i < n; ++i) w += static_cast<char>('a' + letter(rng));
    if (seen.insert(w).second) c.vocab.push_back(w);
  }
  std::vector<double> weights(words);
  for (int r = 0; r < words; ++r) weights[r] = 1.0 / std::pow(r + 1.0, 1.05);
  std::discrete_distribution<int> pick(weights.begin(), weights.end());
  std::uniform_int_distribution<int> doclen(20, 80);
  c.df.assign(words, 0);
  std::vector<int> lastdoc(words, -1);
  for (int d = 1; d <= rows; ++d) {
    int n = doclen(rng);
    std::string body;
    int prev = -1;
    for (int i = 0; i < n; ++i) {
      int r = pick(rng);
      if (!body.empty()) body += ' ';
      body += c.vocab[r];
      if (lastdoc[r] != d) ++c.df[r], lastdoc[r] = d;
      if (prev >= 0 && d % 10 == 0) ++c.pairs[{prev, r}];
      prev = r;
    }
    docs->push_back(std::move(body));
  }
  return c;
}

// The p-th fraction (0.5: the median) of the values.
inline double pct(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

}  // namespace wordcorpus

#endif
