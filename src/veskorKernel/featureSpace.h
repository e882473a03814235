// The search index of a knowledge base: every feature owns the entry set of the points that have it;
// a search ranks points by the number of seek features they share (group 19).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "kazlib/hash.h"
#include "orlBasics/orlIO.h"
#include "veskorKernel/entrySet.h"

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
  int32_t version = 1;
  // Feature text -> featureRecord*. Owns the records; its iteration order is the file order.
  hash_t* features = nullptr;
  int32_t highestIndex = -1;  // -1 when there is no point
  // One byte per index (1 = deleted); empty until the first deletion.
  std::vector<unsigned char> deletedFlags;
  // Fast look-up of the same records by feature text.
  featureIndex* index = nullptr;
};

// A point found by a search.
struct featureSpaceHit {
  int32_t index;
  double confidence;
};

featureSpace* featureSpace_create();
void featureSpace_free(featureSpace* pThis) noexcept;
// Adds point pIndexEntry (above highestIndex) with the given distinct features. On failure no set
// keeps the index.
int32_t featureSpace_addEntry(featureSpace* pThis, std::span<const std::string_view> pFeatureIDs,
                              int32_t pIndexEntry);
void featureSpace_deletePoint(featureSpace* pThis, int32_t pIndexEntry);
// Takes the points from pIndexEntry on out of every entry set (features left without points go),
// as if they had never been added, and makes pHighestIndex the highest index again. The undo of
// adds; it reads every feature, and it cannot fail.
void featureSpace_removePointsFrom(featureSpace* pThis, int32_t pIndexEntry, int32_t pHighestIndex) noexcept;
// Replaces pHits by the best points by falling count of shared seek features, ties to the lower
// index, confidence = count / number of seek features. A single seek feature takes the first
// points of its set, a deleted one using up its place.
void featureSpace_findEntries(const featureSpace* pThis, std::span<const std::string_view> pFeatureIDs,
                              int32_t pNumberResults, std::vector<featureSpaceHit>& pHits);
// Renumbers with the mapping of entryList_defragment and drops the deletion marks.
void featureSpace_defragment(featureSpace* pThis, std::span<const int32_t> pIndexMappingFSPPoints);
void featureSpace_save(const featureSpace* pThis, orlStream* pStream);
featureSpace* featureSpace_createFromStream(orlStream* pStream);

// The record of a feature, or null.
const featureRecord* featureSpace_findFeature(const featureSpace* pThis, std::string_view pFeature);
int32_t featureSpace_getNumberFeatures(const featureSpace* pThis);

namespace orl {
using FeatureSpacePtr = Owned<featureSpace, featureSpace_free>;
}
