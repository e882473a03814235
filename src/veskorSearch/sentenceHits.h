// The AKB side of the word-based search: the hits of every candidate word, found with
// knowledgeBase_findEach, combined into one score per sentence.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/entryDocuments.h"

// Sentences asked for per candidate word.
inline constexpr int32_t sentenceHits_perCandidate = 2000;

struct wordScore {
  int32_t wordIndex;
  float contribution;
};

// The contributions of a hit, one per seek word. A seek text rarely has more words than are held
// in place, so most of the many sentence hits of a search allocate nothing for them.
class wordScoreList {
 public:
  wordScoreList() = default;
  wordScoreList(std::initializer_list<wordScore> scores) {
    for (const wordScore& w : scores) push_back(w);
  }
  wordScoreList(const wordScoreList& other) : spilled_(other.spilled_), size_(other.size_) {
    std::copy(other.held_, other.held_ + std::min(other.size_, kHeld), held_);
  }
  wordScoreList(wordScoreList&& other) noexcept : spilled_(std::move(other.spilled_)), size_(other.size_) {
    std::copy(other.held_, other.held_ + std::min(other.size_, kHeld), held_);
    other.size_ = 0;
  }
  wordScoreList& operator=(const wordScoreList& other) {
    if (this != &other) *this = wordScoreList(other);
    return *this;
  }
  wordScoreList& operator=(wordScoreList&& other) noexcept {
    spilled_ = std::move(other.spilled_);
    std::copy(other.held_, other.held_ + std::min(other.size_, kHeld), held_);
    size_ = other.size_;
    other.size_ = 0;
    return *this;
  }

  void push_back(const wordScore& w) {
    if (size_ < kHeld) {
      held_[size_++] = w;
      return;
    }
    // Beyond the places held, all of them live in spilled_.
    if (size_ == kHeld) spilled_.assign(held_, held_ + kHeld);
    spilled_.push_back(w);
    ++size_;
  }
  void clear() {
    size_ = 0;
    spilled_.clear();
  }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  wordScore* begin() { return size_ <= kHeld ? held_ : spilled_.data(); }
  wordScore* end() { return begin() + size_; }
  const wordScore* begin() const { return size_ <= kHeld ? held_ : spilled_.data(); }
  const wordScore* end() const { return begin() + size_; }
  wordScore& operator[](std::size_t i) { return begin()[i]; }
  const wordScore& operator[](std::size_t i) const { return begin()[i]; }

 private:
  static constexpr std::size_t kHeld = 4;
  wordScore held_[kHeld];
  std::vector<wordScore> spilled_;
  std::size_t size_ = 0;
};

struct sentenceHit {
  const char* primaryKey;  // the entry's own key: valid while the AKB is unchanged
  float score;
  wordScoreList wordScores;  // one per seek word that contributed
  // The stored text of the entry first met under the key (null when the AKB keeps none); valid as the key.
  const char* text = nullptr;
  int32_t index = -1;  // the entry first met under the key
};

// Collects candidate hits in search order. Each seek word contributes its best hit once per
// sentence, so a sentence matching many different seek words ranks high.
class sentenceHitCollector {
 public:
  // Entry indices lie below indexCount (knowledgeBase_getIndexCount of the AKB searched). With
  // numbers covering every index, entries sharing a key are found by the first of them instead of
  // by looking the key up; they must stay held while hits are added.
  sentenceHitCollector(int32_t numberCandidateLists, int32_t indexCount, const entryDocuments* numbers = nullptr);
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
  std::size_t positionByKey(const knowledgeBaseHit& hit);
  void lookUpByKeys();
  void unmark();

  int32_t numberLists_;
  // Sentence position + 1 by entry index (0: not met), kept per thread between searches and
  // cleared entry by entry; a key first met under a new index is looked up by text, since two
  // entries may share a key.
  std::vector<uint32_t>& byIndex_;
  // Set while every key met is known by the first entry index under it; then byKey_ stays empty.
  const int32_t* firstWithKey_ = nullptr;
  std::vector<int32_t> metIndices_;
  std::unordered_map<std::string_view, std::size_t> byKey_;
  std::vector<sentenceHit> hits_;
};
