// Hits of a feature-space search and their list (group 26).
#pragma once

#include <cstdint>

#include "orlBasics/vector.h"

struct featureSpaceSearchHit {
  int32_t indexOfHit;
  int32_t numberFeaturesOfHitText;
  int32_t numberFeaturesOfSeekString;
  vector* matchedFeatures;  // owned copy or null
  double confidence;
};

// A vector of featureSpaceSearchHit in rank order; it owns the hits' contents.
typedef vector featureSpaceResultList;

// Fills the hit; the matched features (or null) are copied.
void featureSpaceSearchHit_init(featureSpaceSearchHit* pSearchHit, int32_t pIndexOfHit,
                                int32_t pNumberFeaturesOfHitText, int32_t pNumberFeaturesOfSeekString,
                                const vector* pMatchedFeatures, double pConfidence);
void featureSpaceSearchHit_cleanUp(featureSpaceSearchHit* pSearchHit);

featureSpaceResultList* featureSpaceResultList_create(int32_t pExpectedNumber);
void featureSpaceResultList_free(featureSpaceResultList* pThis) noexcept;
int32_t featureSpaceResultList_getNumberElements(const featureSpaceResultList* pThis);

namespace orl {
using FeatureSpaceResultListPtr = Owned<featureSpaceResultList, featureSpaceResultList_free>;
}
