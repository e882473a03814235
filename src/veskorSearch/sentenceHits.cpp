#include "veskorSearch/sentenceHits.h"

#include <algorithm>
#include <cmath>

#include "orlBasics/orlThreadLocal.h"

namespace {

// Several words matching with a low score are trusted a little less than their sum says; a
// perfect match stays as it is.
void correctScore(sentenceHit& hit) {
  double s = hit.score;
  if (std::fabs(s - 1) <= 0.001) return;
  double factor = 1 - 0.1 * std::sqrt(s) / static_cast<double>(hit.wordScores.size());
  float sum = 0;
  for (wordScore& w : hit.wordScores) {
    w.contribution = static_cast<float>(w.contribution * factor);
    sum += w.contribution;
  }
  hit.score = sum;
}

}  // namespace

namespace {

struct CollectorPositions {
  std::vector<uint32_t> positions;
};

std::vector<uint32_t>& positionsByIndex() {
  return orl::threadLocal<CollectorPositions>().positions;
}

// How many sentences the previous search on this thread collected: searches of one application
// tend to collect alike, so reserving that many saves growing the list step by step.
// A search that collected very many must not make every later one take as much.
constexpr std::size_t kReservedAtMost = 1 << 16;
std::size_t& previousSentenceCount() {
  thread_local std::size_t count = 0;
  return count;
}

}  // namespace

sentenceHitCollector::sentenceHitCollector(int32_t numberCandidateLists, int32_t indexCount,
                                           const entryDocuments* numbers)
    : numberLists_(numberCandidateLists), byIndex_(positionsByIndex()) {
  // Left all 0 by the previous search on this thread.
  if (byIndex_.size() < static_cast<std::size_t>(std::max(indexCount, 0))) byIndex_.resize(static_cast<std::size_t>(indexCount));
  if (numbers != nullptr && indexCount >= 0 && numbers->firstWithKey.size() == static_cast<std::size_t>(indexCount)) {
    firstWithKey_ = numbers->firstWithKey.data();
  }
  hits_.reserve(std::min<std::size_t>(previousSentenceCount(), kReservedAtMost));
}

sentenceHitCollector::~sentenceHitCollector() { unmark(); }

void sentenceHitCollector::unmark() {
  for (int32_t index : metIndices_) byIndex_[static_cast<std::size_t>(index)] = 0;
  metIndices_.clear();
}

std::size_t sentenceHitCollector::positionOf(const knowledgeBaseHit& hit) {
  if (hit.index < 0 || static_cast<std::size_t>(hit.index) >= byIndex_.size()) {
    // An index beyond the count given: looked up by key alone.
    lookUpByKeys();
    return byKey_.try_emplace(hit.primaryKey, hits_.size()).first->second;
  }
  if (firstWithKey_ != nullptr) {
    int32_t first = firstWithKey_[hit.index];
    if (first >= 0) {
      // Every entry under the key shares the slot of the first of them.
      uint32_t& slot = byIndex_[static_cast<std::size_t>(first)];
      if (slot == 0) {
        slot = static_cast<uint32_t>(hits_.size() + 1);
        metIndices_.push_back(first);
      }
      return slot - 1;
    }
    lookUpByKeys();  // numbers that do not know the entry: keys decide from here on
  }
  return positionByKey(hit);
}

std::size_t sentenceHitCollector::positionByKey(const knowledgeBaseHit& hit) {
  uint32_t& slot = byIndex_[static_cast<std::size_t>(hit.index)];
  if (slot != 0) return slot - 1;
  auto [atKey, newKey] = byKey_.try_emplace(hit.primaryKey, hits_.size());
  slot = static_cast<uint32_t>(atKey->second + 1);
  metIndices_.push_back(hit.index);
  return atKey->second;
}

// Leaves finding entries by the first under their key: the keys met so far go into byKey_. The
// slots marked stay right, as each belongs to an entry under the key of its sentence.
void sentenceHitCollector::lookUpByKeys() {
  if (firstWithKey_ == nullptr) return;
  firstWithKey_ = nullptr;
  for (std::size_t position = 0; position < hits_.size(); ++position) byKey_.try_emplace(hits_[position].primaryKey, position);
}

void sentenceHitCollector::add(const knowledgeBaseHit& hit, float candidateScore, int32_t wordIndex) {
  // Sentences are grouped by key; an entry without one cannot take part.
  if (hit.primaryKey == nullptr) return;
  auto contribution = static_cast<float>(candidateScore * hit.confidence / numberLists_);
  std::size_t position = positionOf(hit);
  if (position == hits_.size()) {
    hits_.push_back({hit.primaryKey, contribution, {{wordIndex, contribution}}, hit.text, hit.index});
    return;
  }
  sentenceHit& sentence = hits_[position];
  for (wordScore& w : sentence.wordScores) {
    if (w.wordIndex != wordIndex) continue;
    if (w.contribution < contribution) {
      sentence.score += contribution - w.contribution;
      w.contribution = contribution;
    }
    return;
  }
  sentence.wordScores.push_back({wordIndex, contribution});
  sentence.score += contribution;
}

std::vector<sentenceHit> sentenceHitCollector::finish(bool corrected) {
  if (corrected) {
    for (sentenceHit& hit : hits_) correctScore(hit);
  }
  unmark();
  byKey_.clear();
  previousSentenceCount() = hits_.size();
  return std::move(hits_);
}
