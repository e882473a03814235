#include "veskorSearch/sentenceHits.h"

#include <cmath>

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

std::size_t sentenceHitCollector::positionOf(const knowledgeBaseHit& hit) {
  auto [atIndex, newIndex] = byIndex_.try_emplace(hit.index, hits_.size());
  if (!newIndex) return atIndex->second;
  auto [atKey, newKey] = byKey_.try_emplace(hit.primaryKey, hits_.size());
  atIndex->second = atKey->second;
  return atKey->second;
}

void sentenceHitCollector::add(const knowledgeBaseHit& hit, float candidateScore, int32_t wordIndex) {
  // Sentences are grouped by key; an entry without one cannot take part.
  if (hit.primaryKey == nullptr) return;
  auto contribution = static_cast<float>(candidateScore * hit.confidence / numberLists_);
  std::size_t position = positionOf(hit);
  if (position == hits_.size()) {
    hits_.push_back({hit.primaryKey, contribution, {{wordIndex, contribution}}, hit.text});
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

std::vector<sentenceHit> sentenceHitCollector::finish() {
  for (sentenceHit& hit : hits_) correctScore(hit);
  byIndex_.clear();
  byKey_.clear();
  return std::move(hits_);
}
