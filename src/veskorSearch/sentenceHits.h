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
  int32_t index = -1;  // the entry first met under the key
};

// Collects candidate hits in search order. Each seek word contributes its best hit once per
// sentence, so a sentence matching many different seek words ranks high.
class sentenceHitCollector {
 public:
  // Entry indices lie below indexCount (knowledgeBase_getIndexCount of the AKB searched).
  sentenceHitCollector(int32_t numberCandidateLists, int32_t indexCount);
  // Clears what it marked, also when a search ends early (by an exception).
  ~sentenceHitCollector();
  sentenceHitCollector(const sentenceHitCollector&) = delete;
  sentenceHitCollector& operator=(const sentenceHitCollector&) = delete;
  // A hit of knowledgeBase_findEach: its key must stay valid until the sentences are used.
  void add(const knowledgeBaseHit& hit, float candidateScore, int32_t wordIndex);
  // The sentences in the order their keys were first met; corrected, their scores are lowered
  // for several words matching with low scores (the documented ranking), else left as summed.
  std::vector<sentenceHit> finish(bool corrected = true);

 private:
  std::size_t positionOf(const knowledgeBaseHit& hit);
  void unmark();

  int32_t numberLists_;
  // Sentence position + 1 by entry index (0: not met), kept per thread between searches and
  // cleared entry by entry; a key first met under a new index is looked up by text, since two
  // entries may share a key.
  std::vector<uint32_t>& byIndex_;
  std::vector<int32_t> metIndices_;
  std::unordered_map<std::string_view, std::size_t> byKey_;
  std::vector<sentenceHit> hits_;
};
