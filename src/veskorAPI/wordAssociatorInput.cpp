#include "veskorAPI/wordAssociatorInput.h"

#include <algorithm>
#include <cmath>

#include "veskorAPI/veskorAPIInternal.h"
#include "veskorSearch/associatorWords.h"

namespace {

uint64_t pairKey(int32_t a, int32_t b) {
  if (b < a) std::swap(a, b);
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

// The pair's fault, or null: what a caller gets wrong before any word is looked at.
const char* badText(const char* word) {
  if (word == nullptr) return "== NULL";
  if (word[0] == 0) return "is empty";
  return nullptr;
}

[[noreturn]] void badPair(int index, int* pBadPair, const char* function, const char* field,
                          const char* fault) {
  if (pBadPair != nullptr) *pBadPair = index;
  ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID, "error: pPairs[", index, "]", field, " ", fault,
            " in ", function, "()");
}

// The prepared word, or empty: a lenient build leaves the pair out, a strict one fails.
std::string preparedWord(const char* text, int index, const char* field, bool lenient, const char* function,
                         int* pBadPair) {
  std::string word = associatorWord_prepare(text);
  if (word.empty() && !lenient) {
    badPair(index, pBadPair, function, field,
            ("\"" + std::string(text) + "\" is not a word of letters").c_str());
  }
  return word;
}

}  // namespace

int32_t wordAssociatorGraph::wordIndex(const std::string& form, const std::string& spelling) {
  auto found = indices_.find(form);
  if (found != indices_.end()) return found->second;
  // Indices are int32, as the word table counts them.
  wordAssociatorInput_checkNumberWords(forms_.size() + 1, function_);
  auto [it, added] = indices_.emplace(form, static_cast<int32_t>(forms_.size()));
  if (added) {
    forms_.push_back(form);
    spellings_.push_back(spelling);
  }
  return it->second;
}

int64_t wordAssociatorGraph::link(int32_t a, int32_t b, double weight) {
  auto [it, added] = linkIndices_.emplace(pairKey(a, b), links_.size());
  if (added) {
    links_.push_back(wordAssociatorLink{a, b, weight});
    return -1;
  }
  wordAssociatorLink& existing = links_[it->second];
  existing.weight = std::max(existing.weight, weight);
  return static_cast<int64_t>(it->second);
}

wordAssociatorGraph wordAssociatorInput_fromPairs(const veskorWordPair* pPairs, int pNumberPairs,
                                                  bool lenient, const knowledgeBase* pWKB,
                                                  const char* pFunction, int* pBadPair, int* pSkipped) {
  wordAssociatorGraph graph(pFunction);
  std::vector<int> origins;  // link index -> the pair that made it
  int skipped = 0;
  for (int i = 0; i < pNumberPairs; ++i) {
    const veskorWordPair& pair = pPairs[i];
    if (const char* fault = badText(pair.word1)) badPair(i, pBadPair, pFunction, ".word1", fault);
    if (const char* fault = badText(pair.word2)) badPair(i, pBadPair, pFunction, ".word2", fault);
    if (!(pair.weight > 0.0) || !std::isfinite(pair.weight)) {
      badPair(i, pBadPair, pFunction, ".weight", "is not a finite number above 0");
    }
    const std::string first = preparedWord(pair.word1, i, ".word1", lenient, pFunction, pBadPair);
    const std::string second = preparedWord(pair.word2, i, ".word2", lenient, pFunction, pBadPair);
    if (first.empty() || second.empty()) {
      ++skipped;
      continue;
    }
    const int32_t a = graph.wordIndex(associatorWord_storedForm(pWKB, first), first);
    const int32_t b = graph.wordIndex(associatorWord_storedForm(pWKB, second), second);
    if (a == b) {
      if (!lenient) badPair(i, pBadPair, pFunction, "", ("links \"" + first + "\" with itself").c_str());
      ++skipped;
      continue;
    }
    const int64_t earlier = graph.link(a, b, pair.weight);
    if (earlier < 0) {
      origins.push_back(i);
    } else if (!lenient) {
      const std::string fault = "repeats the pair of pPairs[" +
                                std::to_string(origins[static_cast<std::size_t>(earlier)]) + "], \"" + first +
                                "\" and \"" + second + "\",";
      badPair(i, pBadPair, pFunction, "", fault.c_str());
    }
  }
  if (pSkipped != nullptr) *pSkipped = skipped;
  return graph;
}

void wordAssociatorInput_checkNumberWords(std::size_t pNumberWords, const char* pFunction) {
  if (pNumberWords > wordAssociatorBuilder_maxWords) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_OUT_OF_BOUNDS, "error: more than ",
              static_cast<long long>(wordAssociatorBuilder_maxWords), " words in ", pFunction, "()");
  }
}
