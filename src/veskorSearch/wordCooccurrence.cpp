#include "veskorSearch/wordCooccurrence.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "veskorSearch/associatorWords.h"

namespace {

struct sentenceWords {
  std::vector<cooccurringWord> words;  // word id -> word
  std::unordered_map<std::string, int32_t> ids;
  std::vector<int32_t> sentenceCount;           // word id -> sentences holding it
  std::vector<std::vector<int32_t>> sentences;  // distinct word ids, ascending

  int32_t idOf(std::string form, std::string spelling) {
    auto [it, added] = ids.emplace(form, static_cast<int32_t>(words.size()));
    if (added) {
      words.push_back({std::move(form), std::move(spelling)});
      sentenceCount.push_back(0);
    }
    return it->second;
  }
};

// The words of every sentence, read from the feature space: a document knowledge base keeps no
// entry texts, only the words (features) of each sentence.
sentenceWords readSentences(const knowledgeBase* akb, const knowledgeBase* wkb) {
  sentenceWords result;
  std::vector<std::vector<int32_t>> wordsOf(static_cast<std::size_t>(knowledgeBase_getIndexCount(akb)));
  knowledgeBase_forEachFeature(akb, [&](const char* feature, std::span<const int32_t> entries) {
    std::string word = associatorWord_prepare(feature);
    if (word.empty()) return;
    std::string form = associatorWord_storedForm(wkb, word);
    const int32_t id = result.idOf(std::move(form), std::move(word));
    for (int32_t sentence : entries) {
      // A deleted sentence may stay in the postings until the next defragmentation.
      if (sentence < 0 || static_cast<std::size_t>(sentence) >= wordsOf.size() ||
          !knowledgeBase_isValidEntry(akb, sentence)) {
        continue;
      }
      wordsOf[static_cast<std::size_t>(sentence)].push_back(id);
    }
  });
  for (std::vector<int32_t>& ids : wordsOf) {
    // Features that differ only in what preparation drops ("HONIG" and "(HONIG") are one word.
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.empty()) continue;
    for (int32_t id : ids) ++result.sentenceCount[static_cast<std::size_t>(id)];
    result.sentences.push_back(std::move(ids));
  }
  return result;
}

uint64_t pairKey(int32_t a, int32_t b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

// Sentences shared by two words (a < b), for pairs of words that each occur often enough.
std::unordered_map<uint64_t, int32_t> pairCounts(const sentenceWords& s, int32_t minCount) {
  std::unordered_map<uint64_t, int32_t> counts;
  std::vector<int32_t> frequent;
  for (const std::vector<int32_t>& sentence : s.sentences) {
    frequent.clear();
    for (int32_t id : sentence) {
      if (s.sentenceCount[static_cast<std::size_t>(id)] >= minCount) frequent.push_back(id);
    }
    for (std::size_t i = 0; i < frequent.size(); ++i) {
      for (std::size_t j = i + 1; j < frequent.size(); ++j) ++counts[pairKey(frequent[i], frequent[j])];
    }
  }
  return counts;
}

double npmi(int32_t together, int32_t first, int32_t second, std::size_t sentences) {
  const double n = static_cast<double>(sentences);
  const double pTogether = together / n;
  // Two words in every sentence are as associated as words can be.
  if (pTogether >= 1.0) return 1.0;
  const double pmi = std::log(pTogether / ((first / n) * (second / n)));
  return pmi / -std::log(pTogether);
}

struct neighbour {
  int32_t word;
  int32_t together;
  double weight;
};

}  // namespace

std::vector<cooccurringPair> wordCooccurrence_strongestPairs(const knowledgeBase* pAKB,
                                                             const knowledgeBase* pWKB, int32_t pMinCount,
                                                             int32_t pNeighbours) {
  const sentenceWords s = readSentences(pAKB, pWKB);
  std::vector<std::vector<neighbour>> neighbours(s.words.size());
  for (const auto& [key, together] : pairCounts(s, pMinCount)) {
    if (together < pMinCount) continue;
    const auto a = static_cast<int32_t>(key >> 32);
    const auto b = static_cast<int32_t>(key & 0xFFFFFFFFu);
    const double weight = npmi(together, s.sentenceCount[static_cast<std::size_t>(a)],
                               s.sentenceCount[static_cast<std::size_t>(b)], s.sentences.size());
    if (!(weight > 0.0)) continue;
    neighbours[static_cast<std::size_t>(a)].push_back({b, together, weight});
    neighbours[static_cast<std::size_t>(b)].push_back({a, together, weight});
  }
  // The strongest first; ties by more shared sentences, then by the words, so that the choice
  // does not depend on the order of the hash table.
  std::unordered_map<uint64_t, double> chosen;
  for (std::size_t w = 0; w < neighbours.size(); ++w) {
    std::vector<neighbour>& list = neighbours[w];
    auto stronger = [&s](const neighbour& x, const neighbour& y) {
      if (x.weight != y.weight) return x.weight > y.weight;
      if (x.together != y.together) return x.together > y.together;
      return s.words[static_cast<std::size_t>(x.word)].form < s.words[static_cast<std::size_t>(y.word)].form;
    };
    const std::size_t keep = std::min(list.size(), static_cast<std::size_t>(std::max(pNeighbours, 0)));
    std::partial_sort(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(keep), list.end(), stronger);
    for (std::size_t k = 0; k < keep; ++k) {
      const auto a = static_cast<int32_t>(w);
      const int32_t b = list[k].word;
      chosen[pairKey(std::min(a, b), std::max(a, b))] = list[k].weight;
    }
  }
  std::vector<cooccurringPair> pairs;
  pairs.reserve(chosen.size());
  for (const auto& [key, weight] : chosen) {
    cooccurringWord first = s.words[static_cast<std::size_t>(key >> 32)];
    cooccurringWord second = s.words[static_cast<std::size_t>(key & 0xFFFFFFFFu)];
    if (second.form < first.form) std::swap(first, second);
    pairs.push_back({std::move(first), std::move(second), weight});
  }
  std::sort(pairs.begin(), pairs.end(), [](const cooccurringPair& x, const cooccurringPair& y) {
    return x.first.form != y.first.form ? x.first.form < y.first.form : x.second.form < y.second.form;
  });
  return pairs;
}
