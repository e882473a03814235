#include "veskorSearch/sentenceHits.h"

#include <cmath>

#include "orlBasics/orlException.h"
#include "orlBasics/orlThreadLocal.h"
#include "veskorKernel/knowledgeBaseFeatures.h"

namespace {

// The seek features of one candidate search, kept per thread so that their memory is reused.
struct SeekFeatures {
  veskorKernel::FeatureViews features;
};

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

void akbSearch_find(const knowledgeBase* akb, const char* text, int32_t numberResults, std::vector<akbHit>& out) {
  out.clear();
  if (akb == nullptr || text == nullptr) ORL_RAISE(20, 1, "pThis == NULL || pSeekString == NULL in knowledgeBase_find");
  if (numberResults < 1 || numberResults > knowledgeBase_maxNumberResults) {
    ORL_RAISE(20, 13, "Ung\xFCltige Trefferzahl in knowledgeBase_find");
  }
  veskorKernel::PreparedText prepared = veskorKernel::prepareText(akb, text);
  veskorKernel::FeatureViews& features = orl::threadLocal<SeekFeatures>().features;
  veskorKernel::computeDistinctFeatures(akb, prepared.featureText(), features);
  orl::FeatureSpaceResultListPtr found(featureSpace_findEntries(akb->featureSpace, features, numberResults));
  int32_t count = featureSpaceResultList_getNumberElements(found.get());
  out.reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const auto& hit = orl::vectorAt<featureSpaceSearchHit>(found.get(), i);
    out.push_back({hit.indexOfHit, entryList_getEntry(akb->entryList, hit.indexOfHit)->primaryKey, hit.confidence});
  }
}

std::size_t sentenceHitCollector::positionOf(const akbHit& hit) {
  auto [atIndex, newIndex] = byIndex_.try_emplace(hit.index, hits_.size());
  if (!newIndex) return atIndex->second;
  auto [atKey, newKey] = byKey_.try_emplace(hit.primaryKey, hits_.size());
  atIndex->second = atKey->second;
  return atKey->second;
}

void sentenceHitCollector::add(const akbHit& hit, float candidateScore, int32_t wordIndex) {
  // Sentences are grouped by key; an entry without one cannot take part.
  if (hit.primaryKey == nullptr) return;
  auto contribution = static_cast<float>(candidateScore * hit.confidence / numberLists_);
  std::size_t position = positionOf(hit);
  if (position == hits_.size()) {
    hits_.push_back({hit.primaryKey, contribution, {{wordIndex, contribution}}});
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
