// The AKB side of the word-based search: the hits of every candidate word, found with
// knowledgeBase_findEach, combined into one score per sentence.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "veskorKernel/knowledgeBase.h"

// Sentences asked for per candidate word.
inline constexpr int32_t sentenceHits_perCandidate = 2000;

struct wordScore {
  int32_t wordIndex;
  float contribution;
};

struct sentenceHit {
  const char* primaryKey;  // the entry's own key: valid while the AKB is unchanged
  float score;
  std::vector<wordScore> wordScores;  // one per seek word that contributed
  // The stored text of the entry first met under the key (null when the AKB keeps none); valid as the key.
  const char* text = nullptr;
};

// Collects candidate hits in search order. Each seek word contributes its best hit once per
// sentence, so a sentence matching many different seek words ranks high.
class sentenceHitCollector {
 public:
  explicit sentenceHitCollector(int32_t numberCandidateLists) : numberLists_(numberCandidateLists) {}
  // A hit of knowledgeBase_findEach: its key must stay valid until the sentences are used.
  void add(const knowledgeBaseHit& hit, float candidateScore, int32_t wordIndex);
  // The sentences in the order their keys were first met, with the scores corrected for the
  // number of words that matched.
  std::vector<sentenceHit> finish();

 private:
  std::size_t positionOf(const knowledgeBaseHit& hit);

  int32_t numberLists_;
  // Sentences by entry index; a key first met under a new index is looked up by text, since
  // two entries may share a key.
  std::unordered_map<int32_t, std::size_t> byIndex_;
  std::unordered_map<std::string_view, std::size_t> byKey_;
  std::vector<sentenceHit> hits_;
};
