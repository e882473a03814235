#include <algorithm>
#include <cstring>

#include "veskorSearch/wordCandidate.h"
#include "veskorSearch/wordFeatures.h"

const unsigned char* wordCandidate_features(const knowledgeBaseSearchHit* hit) {
  if (hit == nullptr || hit->syntacticFeatures.size() < wordFeatures_size) return nullptr;
  return hit->syntacticFeatures.data();
}

namespace {

constexpr std::size_t kClass = wordFeatures_class;
constexpr std::size_t kSecondClass = wordFeatures_secondClass;
constexpr std::size_t kThirdClass = wordFeatures_thirdClass;
constexpr std::size_t kFourthClass = wordFeatures_fourthClass;
constexpr std::size_t kMarking = wordFeatures_marking;

bool isCandidateClass(const unsigned char* f) {
  return f[kClass] > 0x30 || f[kThirdClass] > 0x32 || f[kFourthClass] > 0x32 || f[kMarking] > 0x32 ||
         f[kSecondClass] > 0x32;
}

// The score of a hit selected by its class bytes; `marked` is set by a marking byte and then
// holds for the later hits of the word.
double classScore(const unsigned char* f, double s, bool& marked) {
  if (f[kClass] >= 0x31 && !marked) return s;
  if (f[kThirdClass] > 0x31 && !marked) return s * 0.95;
  if (f[kFourthClass] > 0x31 && !marked) return s * 0.91;
  if (f[kMarking] > 0x32) {
    marked = true;
    return s;
  }
  if (f[kSecondClass] > 0x31 && !marked) return s * 0.7;
  // Only a marked word whose later hit has no marking byte gets here (never with the vectors
  // that word registration writes): such a hit keeps its own score.
  return s;
}

}  // namespace

std::vector<selectedHit> selectCandidates(knowledgeBaseResultList& wkbHits, std::size_t wordLength,
                                          int32_t maxCandidates) {
  std::vector<selectedHit> selected;
  const double length = static_cast<double>(wordLength);
  const double a = std::min(4.0, length - 1), b = std::min(3.0, length), c = std::min(2.0, length + 1);
  const double F = 3 * length;
  if (F < 1) return selected;
  const double spread = (a + b + c) / F;
  int32_t number = std::min(maxCandidates, static_cast<int32_t>(wkbHits.size()));
  bool marked = false;
  for (int32_t k = 0; k < number && static_cast<int32_t>(selected.size()) < maxCandidates; ++k) {
    knowledgeBaseSearchHit* hit = &wkbHits[static_cast<std::size_t>(k)];
    const unsigned char* f = wordCandidate_features(hit);
    if (hit->text == nullptr || f == nullptr) continue;
    double s = hit->confidence;
    if (std::strlen(hit->text.get()) > wordLength + 3 && s > 0.9) {
      s *= 0.9;
      hit->confidence = s;
    }
    if (wordFeatures_isLexiconEntry(f)) {
      selected.push_back({hit, s});
    } else if (isCandidateClass(f)) {
      selected.push_back({hit, classScore(f, s, marked)});
    }
    // Weak hits end the selection, the sooner the further down the list they come.
    if (std::max(0.0, 2.5 - 0.15 * k) < (1 - s) / spread) break;
  }
  return selected;
}
