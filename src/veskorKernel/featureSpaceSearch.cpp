// Similarity search. A point's score is the number of seek features it has; the best k points are
// returned by falling score, ties to the lower index, with confidence = score / seek features.
//
// The work is proportional to the postings read: counters live in per-thread scratch memory that
// is reset through the list of touched points only. Posting lists are read shortest first; once k
// points have more shared features than the unread lists could still give any point, no unseen
// point can reach the result, and the remaining (long) lists are only probed for the candidates
// that can still make it. The result is exactly that of counting every posting.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "orlBasics/orlException.h"
#include "orlBasics/scopeGuard.h"
#include "veskorKernel/featureIndex.h"
#include "veskorKernel/featureSpace.h"

namespace {

constexpr int32_t kGroup = 19;

struct Candidate {
  int32_t index;
  uint32_t count;
};

struct SearchScratch {
  std::vector<uint32_t> counts;  // all zero between searches
  std::vector<int32_t> touched;  // the points whose counter is not zero
  std::vector<int64_t> histogram;
  std::vector<const entrySet*> lists;
  std::vector<int32_t> survivors;
  std::vector<Candidate> above;
  std::vector<Candidate> equal;
};

thread_local SearchScratch tScratch;

void appendHit(featureSpaceResultList* list, int32_t index, int32_t numberFeatures, double confidence) {
  featureSpaceSearchHit hit{index, 0, numberFeatures, nullptr, confidence};
  vector_appendElement(list, &hit);
}

bool ranksBefore(const Candidate& a, const Candidate& b) {
  return a.count != b.count ? a.count > b.count : a.index < b.index;
}

// The k-th largest count, given how many candidates have each count (histogram[c], c = 1..top);
// 0 when there are k candidates or fewer.
uint32_t kthLargestCount(const std::vector<int64_t>& histogram, std::size_t top, int64_t k) {
  int64_t seen = 0;
  for (std::size_t c = top; c >= 1; --c) {
    seen += histogram[c];
    if (seen >= k) return static_cast<uint32_t>(c);
  }
  return 0;
}

// Appends the best k candidates in rank order. `threshold` is the k-th largest count (0: take all).
template <class ForEachCandidate>
featureSpaceResultList* selectBest(SearchScratch& s, uint32_t threshold, int32_t k, int32_t numberFeatures,
                                   ForEachCandidate forEach) {
  s.above.clear();
  s.equal.clear();
  forEach([&](int32_t index, uint32_t count) {
    if (count > threshold) {
      s.above.push_back({index, count});
    } else if (count == threshold) {
      s.equal.push_back({index, count});
    }
  });
  std::sort(s.above.begin(), s.above.end(), ranksBefore);
  std::size_t wantedEqual = std::min(s.equal.size(), static_cast<std::size_t>(k) - std::min<std::size_t>(s.above.size(), k));
  auto byIndex = [](const Candidate& a, const Candidate& b) { return a.index < b.index; };
  if (wantedEqual < s.equal.size()) std::nth_element(s.equal.begin(), s.equal.begin() + wantedEqual, s.equal.end(), byIndex);
  std::sort(s.equal.begin(), s.equal.begin() + wantedEqual, byIndex);
  std::size_t total = std::min(s.above.size(), static_cast<std::size_t>(k)) + wantedEqual;
  orl::FeatureSpaceResultListPtr result(featureSpaceResultList_create(static_cast<int32_t>(total)));
  auto emit = [&](const Candidate& c) {
    appendHit(result.get(), c.index, numberFeatures, static_cast<double>(c.count) / numberFeatures);
  };
  for (std::size_t i = 0; i < s.above.size() && i < static_cast<std::size_t>(k); ++i) emit(s.above[i]);
  for (std::size_t i = 0; i < wantedEqual; ++i) emit(s.equal[i]);
  return result.release();
}

// Counts, for every candidate in `sorted`, whether the ascending list holds it.
void probeList(const entrySet* list, const std::vector<int32_t>& sorted, std::vector<uint32_t>& counts) {
  const int32_t* at = list->indices;
  const int32_t* end = list->indices + list->count;
  for (int32_t candidate : sorted) {
    // Gallop to the first element not below the candidate, then search the last step.
    std::size_t step = 1;
    const int32_t* low = at;
    while (low + step < end && low[step] < candidate) {
      low += step;
      step *= 2;
    }
    at = std::lower_bound(low, std::min(low + step + 1, end), candidate);
    if (at == end) return;
    if (*at == candidate) ++counts[static_cast<std::size_t>(candidate)];
  }
}

featureSpaceResultList* rankedSearch(const featureSpace* space, std::span<const std::string_view> features,
                                     int32_t k) {
  int32_t numberFeatures = static_cast<int32_t>(features.size());
  SearchScratch& s = tScratch;
  s.lists.clear();
  int32_t indexMax = -1;
  int64_t postings = 0;
  for (std::string_view feature : features) {
    const featureRecord* record = space->index->find(feature);
    if (record == nullptr || record->set.count == 0) continue;
    s.lists.push_back(&record->set);
    indexMax = std::max(indexMax, record->set.indexMax);
    postings += record->set.count;
  }
  if (s.lists.empty()) return featureSpaceResultList_create(0);
  std::sort(s.lists.begin(), s.lists.end(), [](const entrySet* a, const entrySet* b) { return a->count < b->count; });

  if (s.counts.size() < static_cast<std::size_t>(indexMax) + 1) s.counts.resize(static_cast<std::size_t>(indexMax) + 1, 0);
  s.touched.reserve(static_cast<std::size_t>(std::min<int64_t>(postings, int64_t{indexMax} + 1)));
  orl::ScopeGuard resetCounts([&s] {
    for (int32_t index : s.touched) s.counts[static_cast<std::size_t>(index)] = 0;
    s.touched.clear();
  });
  const unsigned char* deleted =
      space->deletedFlags != nullptr ? static_cast<const unsigned char*>(space->deletedFlags->buffer) : nullptr;
  int64_t deletedCount = space->deletedFlags != nullptr ? space->deletedFlags->numberElements : 0;
  uint32_t* counts = s.counts.data();

  std::size_t q = s.lists.size();
  s.histogram.assign(q + 2, 0);
  int64_t* histogram = s.histogram.data();
  std::size_t read = q;
  int64_t atLeastThreshold = 0;  // live points whose count is at least q - j
  for (std::size_t j = 0; j < q; ++j) {
    uint32_t threshold = static_cast<uint32_t>(q - j);
    atLeastThreshold += histogram[threshold];
    const entrySet* list = s.lists[j];
    for (int32_t i = 0; i < list->count; ++i) {
      int32_t index = list->indices[i];
      if (deleted != nullptr && index < deletedCount && deleted[index] != 0) continue;
      uint32_t count = counts[index];
      if (count == 0) s.touched.push_back(index);
      counts[index] = count + 1;
      --histogram[count];
      ++histogram[count + 1];
      if (count + 1 == threshold) ++atLeastThreshold;
    }
    // The q - j - 1 unread lists give an unseen point at most q - j - 1 < threshold.
    if (j + 1 < q && atLeastThreshold >= k) {
      read = j + 1;
      break;
    }
  }

  if (read == q) {
    uint32_t threshold = kthLargestCount(s.histogram, q, k);
    return selectBest(s, threshold, k, numberFeatures, [&](auto take) {
      for (int32_t index : s.touched) take(index, counts[index]);
    });
  }

  // Only points that can still reach the k-th count of the points seen are followed further.
  uint32_t unread = static_cast<uint32_t>(q - read);
  uint32_t floor = kthLargestCount(s.histogram, read, k);
  s.survivors.clear();
  for (int32_t index : s.touched) {
    if (counts[index] + unread >= floor) s.survivors.push_back(index);
  }
  std::sort(s.survivors.begin(), s.survivors.end());
  for (std::size_t j = read; j < q; ++j) probeList(s.lists[j], s.survivors, s.counts);
  std::fill(s.histogram.begin(), s.histogram.end(), 0);
  for (int32_t index : s.survivors) ++s.histogram[counts[index]];
  uint32_t threshold = kthLargestCount(s.histogram, q, k);
  return selectBest(s, threshold, k, numberFeatures, [&](auto take) {
    for (int32_t index : s.survivors) take(index, counts[index]);
  });
}

}  // namespace

featureSpaceResultList* featureSpace_findEntries(const featureSpace* pThis, const vector* pFeatureIDs,
                                                 int32_t pNumberResults) {
  if (pThis == nullptr || pFeatureIDs == nullptr || pNumberResults <= 0) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pFeatureIDs == NULL || pNumberResults <= 0 in featureSpace_findEntries");
  }
  std::vector<std::string_view> features;
  features.reserve(static_cast<std::size_t>(pFeatureIDs->numberElements));
  for (int32_t i = 0; i < pFeatureIDs->numberElements; ++i) {
    const char* feature = orl::vectorAt<const char*>(pFeatureIDs, i);
    if (feature == nullptr) {
      ORL_RAISE(kGroup, 1, "pThis == NULL || pFeatureIDs == NULL || pNumberResults <= 0 in featureSpace_findEntries");
    }
    features.emplace_back(feature);
  }
  return featureSpace_findEntries(pThis, features, pNumberResults);
}

featureSpaceResultList* featureSpace_findEntries(const featureSpace* pThis,
                                                 std::span<const std::string_view> pFeatureIDs,
                                                 int32_t pNumberResults) {
  if (pThis == nullptr || pNumberResults <= 0) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pFeatureIDs == NULL || pNumberResults <= 0 in featureSpace_findEntries");
  }
  if (pFeatureIDs.empty()) ORL_RAISE(kGroup, 4, "Leerer Suchstring in featureSpace_findEntries");
  if (pFeatureIDs.size() == 1) {
    const featureRecord* record = pThis->index->find(pFeatureIDs[0]);
    if (record == nullptr) return featureSpaceResultList_create(0);
    return compileSearchResultsKBaseFindInfo(&record->set, pThis->deletedFlags, pNumberResults);
  }
  return rankedSearch(pThis, pFeatureIDs, pNumberResults);
}

featureSpaceResultList* compileSearchResults(vector* pCompressedDistanceVector, int32_t pNumberSearchResults,
                                             int32_t pNumberFeatures) {
  if (pCompressedDistanceVector == nullptr || pNumberSearchResults < 0 || pNumberFeatures <= 0) {
    ORL_RAISE(kGroup, 1,
              "pCompressedDistanceVector == NULL || pNumberSearchResults < 0 || pNumberFeatures <= 0 in "
              "compileSearchResults");
  }
  auto* pairs = static_cast<featureSpaceDistancePair*>(pCompressedDistanceVector->buffer);
  int32_t numberPairs = pCompressedDistanceVector->numberElements;
  int32_t taken = std::min(pNumberSearchResults, numberPairs);
  // Positions ranked by falling count, the earlier pair first among equal counts.
  std::vector<int32_t> order(static_cast<std::size_t>(numberPairs));
  for (int32_t i = 0; i < numberPairs; ++i) order[static_cast<std::size_t>(i)] = i;
  std::partial_sort(order.begin(), order.begin() + taken, order.end(), [pairs](int32_t a, int32_t b) {
    return pairs[a].count != pairs[b].count ? pairs[a].count > pairs[b].count : a < b;
  });
  orl::FeatureSpaceResultListPtr result(featureSpaceResultList_create(taken));
  for (int32_t i = 0; i < taken; ++i) {
    const featureSpaceDistancePair& best = pairs[order[static_cast<std::size_t>(i)]];
    appendHit(result.get(), best.index, pNumberFeatures, static_cast<double>(best.count) / pNumberFeatures);
  }
  for (int32_t i = 0; i < taken; ++i) pairs[order[static_cast<std::size_t>(i)]].count = 0;
  return result.release();
}

featureSpaceDistancePair* getBestMatchingEntry(const vector* pCompressedDistanceVector) {
  if (pCompressedDistanceVector == nullptr) ORL_RAISE(kGroup, 1, "pCompressedDistanceVector == NULL in getBestMatchingEntry");
  auto* pairs = static_cast<featureSpaceDistancePair*>(pCompressedDistanceVector->buffer);
  featureSpaceDistancePair* best = nullptr;
  for (int32_t i = 0; i < pCompressedDistanceVector->numberElements; ++i) {
    if (best == nullptr || pairs[i].count > best->count) best = &pairs[i];
  }
  return best;
}

void iterateEntrySet(const entrySet* pSetToIterate, vector* pDistanceVector) {
  if (pSetToIterate == nullptr || pDistanceVector == nullptr) {
    ORL_RAISE(kGroup, 1, "pSetToIterate == NULL || pDistanceVector == NULL in iterateEntrySet");
  }
  for (int32_t i = 0; i < pSetToIterate->count; ++i) ++orl::vectorAt<int32_t>(pDistanceVector, pSetToIterate->indices[i]);
}

featureSpaceResultList* compileSearchResultsKBaseFindInfo(const entrySet* pSearchHitCandidates,
                                                          const vector* pDeletedFlags, int32_t pNumberResults) {
  if (pSearchHitCandidates == nullptr) {
    ORL_RAISE(kGroup, 1, "pSearchHitCandidates == NULL in compileSearchResultsKBaseFindInfo");
  }
  int32_t looked = std::max(0, std::min(pNumberResults, pSearchHitCandidates->count));
  const unsigned char* deleted = pDeletedFlags != nullptr ? static_cast<const unsigned char*>(pDeletedFlags->buffer) : nullptr;
  int32_t deletedCount = pDeletedFlags != nullptr ? pDeletedFlags->numberElements : 0;
  orl::FeatureSpaceResultListPtr result(featureSpaceResultList_create(looked));
  // A deleted point is passed over but uses up its place among those looked at.
  for (int32_t i = 0; i < looked; ++i) {
    int32_t index = pSearchHitCandidates->indices[i];
    if (deleted != nullptr && index < deletedCount && deleted[index] != 0) continue;
    appendHit(result.get(), index, 1, 1.0);
  }
  return result.release();
}
