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

}  // namespace

sentenceHitCollector::sentenceHitCollector(int32_t numberCandidateLists, int32_t indexCount)
    : numberLists_(numberCandidateLists), byIndex_(positionsByIndex()) {
  // Left all 0 by the previous search on this thread.
  if (byIndex_.size() < static_cast<std::size_t>(std::max(indexCount, 0))) byIndex_.resize(static_cast<std::size_t>(indexCount));
}

sentenceHitCollector::~sentenceHitCollector() { unmark(); }

void sentenceHitCollector::unmark() {
  for (int32_t index : metIndices_) byIndex_[static_cast<std::size_t>(index)] = 0;
  metIndices_.clear();
}

std::size_t sentenceHitCollector::positionOf(const knowledgeBaseHit& hit) {
  if (hit.index >= 0 && static_cast<std::size_t>(hit.index) < byIndex_.size()) {
    uint32_t& slot = byIndex_[static_cast<std::size_t>(hit.index)];
    if (slot != 0) return slot - 1;
    auto [atKey, newKey] = byKey_.try_emplace(hit.primaryKey, hits_.size());
    slot = static_cast<uint32_t>(atKey->second + 1);
    metIndices_.push_back(hit.index);
    return atKey->second;
  }
  // An index beyond the count given: looked up by key alone.
  return byKey_.try_emplace(hit.primaryKey, hits_.size()).first->second;
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
  return std::move(hits_);
}
