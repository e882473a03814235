// The search index of a knowledge base: every feature owns the entry set of the points that have it;
// a search ranks points by the number of seek features they share (group 19).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "kazlib/hash.h"
#include "orlBasics/orlIO.h"
#include "orlBasics/vector.h"
#include "veskorKernel/entrySet.h"
#include "veskorKernel/featureSpaceResultList.h"

struct featureRecord {
  char* text;  // lives in the record's own allocation
  int32_t length;
  entrySet set;
  featureRecord* nextRemoved;  // links records collected for removal
  // For long sets only: bit i is set when the set holds index i (indices below memberWords * 64),
  // so that searches test membership at once. Rebuilt from the set whenever in doubt.
  uint64_t* members;
  int32_t memberWords;
};

class featureIndex;

struct featureSpace {
  int32_t version;
  // Feature text -> featureRecord*. Owns the records; its iteration order is the file order.
  hash_t* features;
  int32_t highestIndex;  // -1 when there is no point
  vector* deletedFlags;  // one byte per index (1 = deleted) or null
  // Fast look-up of the same records by feature text.
  featureIndex* index;
};

// One counter per point index that has at least one seek feature.
struct featureSpaceDistancePair {
  int32_t index;
  int32_t count;
};

featureSpace* featureSpace_create();
void featureSpace_free(featureSpace* pThis) noexcept;
// Adds point pIndexEntry (above highestIndex) with the given distinct features (vector of char*).
// On failure no set keeps the index.
int32_t featureSpace_addEntry(featureSpace* pThis, const vector* pFeatureIDs, int32_t pIndexEntry);
int32_t featureSpace_addEntry(featureSpace* pThis, std::span<const std::string_view> pFeatureIDs,
                              int32_t pIndexEntry);
void featureSpace_deletePoint(featureSpace* pThis, int32_t pIndexEntry);
// Takes the points from pIndexEntry on out of every entry set (features left without points go),
// as if they had never been added, and makes pHighestIndex the highest index again. The undo of
// adds; it reads every feature, and it cannot fail.
void featureSpace_removePointsFrom(featureSpace* pThis, int32_t pIndexEntry, int32_t pHighestIndex) noexcept;
// New result list: the best points by falling count of shared seek features, ties to the lower
// index, confidence = count / number of seek features.
featureSpaceResultList* featureSpace_findEntries(const featureSpace* pThis, const vector* pFeatureIDs,
                                                 int32_t pNumberResults);
featureSpaceResultList* featureSpace_findEntries(const featureSpace* pThis,
                                                 std::span<const std::string_view> pFeatureIDs,
                                                 int32_t pNumberResults);
// Renumbers with the mapping of entryList_defragment and drops the deletion marks.
void featureSpace_defragment(featureSpace* pThis, const vector* pIndexMappingFSPPoints);
void featureSpace_save(const featureSpace* pThis, orlStream* pStream);
featureSpace* featureSpace_createFromStream(orlStream* pStream);

// The record of a feature, or null.
const featureRecord* featureSpace_findFeature(const featureSpace* pThis, std::string_view pFeature);
int32_t featureSpace_getNumberFeatures(const featureSpace* pThis);

// Ranking pieces, on a distance vector (int32 per index) and its compressed form (vector of
// featureSpaceDistancePair in ascending index order).
featureSpaceResultList* compileSearchResults(vector* pCompressedDistanceVector, int32_t pNumberSearchResults,
                                             int32_t pNumberFeatures);
featureSpaceDistancePair* getBestMatchingEntry(const vector* pCompressedDistanceVector);
void iterateEntrySet(const entrySet* pSetToIterate, vector* pDistanceVector);
featureSpaceResultList* compileSearchResultsKBaseFindInfo(const entrySet* pSearchHitCandidates,
                                                          const vector* pDeletedFlags,
                                                          int32_t pNumberResults);

namespace orl {
using FeatureSpacePtr = Owned<featureSpace, featureSpace_free>;
}
