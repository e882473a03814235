#include "veskorKernel/featureSpaceResultList.h"

#include "orlBasics/orlException.h"

namespace {
constexpr int32_t kGroup = 26;
constexpr int32_t kListStep = 64;
}  // namespace

void featureSpaceSearchHit_init(featureSpaceSearchHit* pSearchHit, int32_t pIndexOfHit,
                                int32_t pNumberFeaturesOfHitText, int32_t pNumberFeaturesOfSeekString,
                                const vector* pMatchedFeatures, double pConfidence) {
  if (pSearchHit == nullptr || pIndexOfHit < 0 || pNumberFeaturesOfHitText < 0 ||
      pNumberFeaturesOfSeekString <= 0) {
    ORL_RAISE(kGroup, 1,
              "pSearchHit == NULL || pIndexOfHit < 0 || pNumberFeaturesOfHitText < 0 || "
              "pNumberFeaturesOfSeekString <= 0 in featureSpaceSearchHit_init");
  }
  pSearchHit->matchedFeatures = vector_clone(pMatchedFeatures);
  pSearchHit->indexOfHit = pIndexOfHit;
  pSearchHit->numberFeaturesOfHitText = pNumberFeaturesOfHitText;
  pSearchHit->numberFeaturesOfSeekString = pNumberFeaturesOfSeekString;
  pSearchHit->confidence = pConfidence;
}

void featureSpaceSearchHit_cleanUp(featureSpaceSearchHit* pSearchHit) {
  if (pSearchHit == nullptr) ORL_RAISE(kGroup, 1, "pSearchHit == NULL in featureSpaceSearchHit_cleanUp");
  vector_free(pSearchHit->matchedFeatures);
  *pSearchHit = featureSpaceSearchHit{0, 0, 0, nullptr, 0.0};
}

featureSpaceResultList* featureSpaceResultList_create(int32_t pExpectedNumber) {
  if (pExpectedNumber < 0) ORL_RAISE(kGroup, 1, "pExpectedNumber < 0 in featureSpaceResultList_create");
  return vector_create(sizeof(featureSpaceSearchHit), pExpectedNumber, kListStep);
}

void featureSpaceResultList_free(featureSpaceResultList* pThis) noexcept {
  if (pThis == nullptr) return;
  featureSpaceSearchHit* hits = static_cast<featureSpaceSearchHit*>(pThis->buffer);
  for (int32_t i = 0; i < pThis->numberElements; ++i) vector_free(hits[i].matchedFeatures);
  vector_free(pThis);
}

int32_t featureSpaceResultList_getNumberElements(const featureSpaceResultList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in featureSpaceResultList_getNumberElements");
  return pThis->numberElements;
}
