// Similarity search. A point's score is the number of seek features it has; the best k points are
// returned by falling score, ties to the lower index, with confidence = score / seek features.
//
// The work is proportional to the postings read: counters live in per-thread scratch memory that
// is reset through the list of touched points only. Posting lists are read shortest first. Now and
// then the points leading so far are counted exactly (their unread lists probed), which bounds the
// final k-th count from below; once the unread lists together fall short of that bound, no point
// not yet seen can enter the result, and the remaining (long) lists are only probed for the points
// that can still reach it, each dropped as soon as it no longer can. The result is exactly that of
// counting every posting.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlThreadLocal.h"
#include "orlBasics/scopeGuard.h"
#include "veskorKernel/featureIndex.h"
#include "veskorKernel/featureMembers.h"
#include "veskorKernel/featureSpace.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::featureSpace;

struct Candidate {
  int32_t index;
  uint32_t count;
};

// Indices of points, appended without checks into room made beforehand (each point is touched at
// most once per search, so the room needed is known before counting).
class PointList {
 public:
  void makeRoom(std::size_t n) {
    if (buffer_.size() < n) buffer_.resize(n);
  }
  void clear() { size_ = 0; }
  std::size_t size() const { return size_; }
  int32_t* begin() { return buffer_.data(); }
  int32_t* end() { return buffer_.data() + size_; }
  const int32_t* begin() const { return buffer_.data(); }
  const int32_t* end() const { return buffer_.data() + size_; }
  // For loops that append through a local pointer and say where they stopped.
  int32_t* appendAt() { return buffer_.data() + size_; }
  void endAt(const int32_t* end) { size_ = static_cast<std::size_t>(end - buffer_.data()); }

 private:
  std::vector<int32_t> buffer_;
  std::size_t size_ = 0;
};

struct SearchScratch {
  // Counters, all zero between searches, as narrow as the number of seek features allows: the
  // smaller the array, the more of it stays in the cache.
  std::vector<uint8_t> counts8;
  std::vector<uint16_t> counts16;
  std::vector<uint32_t> counts32;
  PointList touched;  // the points whose counter is not zero
  std::vector<int64_t> histogram;
  std::vector<const featureRecord*> lists;
  std::vector<int32_t> survivors;
  std::vector<Candidate> seeds;
  std::vector<Candidate> above;
  std::vector<Candidate> equal;
};

// The thread's scratch through a call: where the compiler sees the thread-local itself, it
// recomputes its address (a call into the dynamic loader) at each use, even in the counting loop.
[[gnu::noinline]] SearchScratch& scratch() {
  return orl::threadLocal<SearchScratch>();
}

bool ranksBefore(const Candidate& a, const Candidate& b) {
  return a.count != b.count ? a.count > b.count : a.index < b.index;
}

template <class Count>
std::vector<Count>& countsOf(SearchScratch& s) {
  if constexpr (sizeof(Count) == 1) {
    return s.counts8;
  } else if constexpr (sizeof(Count) == 2) {
    return s.counts16;
  } else {
    return s.counts32;
  }
}

// How many of the points have each count (counts up to `top`).
template <class Count, class Points>
void countHistogram(SearchScratch& s, const Count* counts, const Points& points, std::size_t top) {
  s.histogram.assign(top + 1, 0);
  for (int32_t index : points) ++s.histogram[counts[index]];
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

// The best k candidates in rank order. `threshold` is the k-th largest count (0: take all).
template <class ForEachCandidate>
void selectBest(SearchScratch& s, uint32_t threshold, int32_t k, int32_t numberFeatures,
                ForEachCandidate forEach, std::vector<featureSpaceHit>& hits) {
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
  std::size_t wantedEqual =
      std::min(s.equal.size(), static_cast<std::size_t>(k) - std::min<std::size_t>(s.above.size(), k));
  auto byIndex = [](const Candidate& a, const Candidate& b) { return a.index < b.index; };
  if (wantedEqual < s.equal.size()) {
    std::nth_element(s.equal.begin(), s.equal.begin() + wantedEqual, s.equal.end(), byIndex);
  }
  std::sort(s.equal.begin(), s.equal.begin() + wantedEqual, byIndex);
  hits.reserve(std::min(s.above.size(), static_cast<std::size_t>(k)) + wantedEqual);
  auto emit = [&](const Candidate& c) {
    hits.push_back({c.index, static_cast<double>(c.count) / numberFeatures});
  };
  for (std::size_t i = 0; i < s.above.size() && i < static_cast<std::size_t>(k); ++i) emit(s.above[i]);
  for (std::size_t i = 0; i < wantedEqual; ++i) emit(s.equal[i]);
}

// Advances `at` to the first element of [at, end) not below `value` (galloping, then binary search).
const int32_t* seek(const int32_t* at, const int32_t* end, int32_t value) {
  std::size_t step = 1;
  const int32_t* low = at;
  while (low + step < end && low[step] < value) {
    low += step;
    step *= 2;
  }
  return std::lower_bound(low, std::min(low + step + 1, end), value);
}

// Adds 1 to the count of every candidate that the list holds, then keeps only the candidates whose
// count reaches `keepFrom`. A list with a membership bitmap answers at once; otherwise few
// candidates are looked up in it (they must be ascending then), while many are counted in one pass
// over it, which counts only touched points (no unseen point can reach the result any more, and
// candidates dropped earlier do not matter).
template <class Count>
void probeAndFilter(const featureRecord* record, std::vector<int32_t>& candidates, bool& sorted,
                    Count* counts, int64_t keepFrom) {
  const int32_t* at = record->set.indices;
  const int32_t* end = at + record->set.count;
  enum {
    kBitmap,
    kLookUp,
    kScan
  } way = record->members != nullptr                                            ? kBitmap
          : candidates.size() * 8 < static_cast<std::size_t>(record->set.count) ? kLookUp
                                                                                : kScan;
  if (way == kLookUp && !sorted) {
    std::sort(candidates.begin(), candidates.end());
    sorted = true;
  }
  if (way == kScan) {
    for (; at != end; ++at) {
      if (counts[*at] != 0) ++counts[*at];
    }
  }
  std::size_t kept = 0;
  for (int32_t candidate : candidates) {
    if (way == kBitmap) {
      counts[candidate] += veskorKernel::featureMembers_contain(record, candidate) ? 1 : 0;
    } else if (way == kLookUp) {
      at = seek(at, end, candidate);
      if (at != end && *at == candidate) ++counts[candidate];
    }
    if (counts[candidate] >= keepFrom) candidates[kept++] = candidate;
  }
  candidates.resize(kept);
}

// More seeds than k: the leaders by partial count are not always the best in the end.
std::size_t seedCount(int32_t k) {
  return std::max<std::size_t>(static_cast<std::size_t>(k) * 4, static_cast<std::size_t>(k) + 64);
}

// A lower bound of the final k-th count: the exact counts of the points that lead so far, with the
// unread lists probed for them.
template <class Count>
uint32_t seedBound(SearchScratch& s, const Count* counts, std::size_t read, int32_t k) {
  countHistogram(s, counts, s.touched, read);
  std::size_t wanted = seedCount(k);
  uint32_t floor = kthLargestCount(s.histogram, read, static_cast<int64_t>(wanted));
  s.seeds.clear();
  for (int32_t index : s.touched) {
    if (counts[index] > floor) s.seeds.push_back({index, counts[index]});
  }
  for (int32_t index : s.touched) {
    if (s.seeds.size() >= wanted) break;
    if (counts[index] == floor) s.seeds.push_back({index, counts[index]});
  }
  std::sort(s.seeds.begin(), s.seeds.end(),
            [](const Candidate& a, const Candidate& b) { return a.index < b.index; });
  for (std::size_t j = read; j < s.lists.size(); ++j) {
    const featureRecord* record = s.lists[j];
    if (record->members != nullptr) {
      for (Candidate& seed : s.seeds)
        seed.count += veskorKernel::featureMembers_contain(record, seed.index) ? 1 : 0;
      continue;
    }
    const int32_t* at = record->set.indices;
    const int32_t* end = at + record->set.count;
    for (Candidate& seed : s.seeds) {
      at = seek(at, end, seed.index);
      if (at == end) break;
      if (*at == seed.index) ++seed.count;
    }
  }
  std::nth_element(s.seeds.begin(), s.seeds.begin() + (k - 1), s.seeds.end(),
                   [](const Candidate& a, const Candidate& b) { return a.count > b.count; });
  return s.seeds[static_cast<std::size_t>(k - 1)].count;
}

// The search over the lists in s.lists (ascending by length), with counters of type Count.
template <class Count>
void countAndRank(SearchScratch& s, const featureSpace* space, int32_t numberFeatures, int32_t indexMax,
                  int64_t postings, int32_t k, std::vector<featureSpaceHit>& hits) {
  std::vector<Count>& countVector = countsOf<Count>(s);
  if (countVector.size() < static_cast<std::size_t>(indexMax) + 1)
    countVector.resize(static_cast<std::size_t>(indexMax) + 1, 0);
  s.touched.makeRoom(static_cast<std::size_t>(std::min<int64_t>(postings, int64_t{indexMax} + 1)));
  Count* counts = countVector.data();
  orl::ScopeGuard resetCounts([&s, counts] {
    for (int32_t index : s.touched) counts[index] = 0;
    s.touched.clear();
  });
  const unsigned char* deleted = !space->deletedFlags.empty() ? space->deletedFlags.data() : nullptr;
  int64_t deletedCount = static_cast<int64_t>(space->deletedFlags.size());

  // Lists are read shortest first until the unread ones together could not lift a point that has
  // not been seen up to `bound`, a lower bound of the final k-th count.
  std::size_t q = s.lists.size();
  std::size_t read = 0;
  uint32_t bound = 0;
  int64_t readSinceBound = 0;
  for (; read < q && q - read >= bound; ++read) {
    const entrySet& list = s.lists[read]->set;
    // Bounding costs about a pass over the touched points and a probe per seed and unread list;
    // it is done when reading the next list would cost more than that.
    int64_t boundingCost = static_cast<int64_t>(s.touched.size() + seedCount(k) * (q - read));
    if (s.touched.size() >= static_cast<std::size_t>(k) && readSinceBound + list.count >= boundingCost) {
      bound = std::max(bound, seedBound(s, counts, read, k));
      readSinceBound = 0;
      if (q - read < bound) break;
    }
    readSinceBound += list.count;
    // Locals only: the counters are bytes, which may alias anything, so fields would be reloaded
    // after every count.
    int32_t* touched = s.touched.appendAt();
    const int32_t* indices = list.indices;
    for (int32_t i = 0, n = list.count; i < n; ++i) {
      int32_t index = indices[i];
      if (deleted != nullptr && index < deletedCount && deleted[index] != 0) continue;
      Count count = counts[index];
      if (count == 0) *touched++ = index;
      counts[index] = static_cast<Count>(count + 1);
    }
    s.touched.endAt(touched);
  }

  if (read == q) {
    countHistogram(s, counts, s.touched, q);
    uint32_t threshold = kthLargestCount(s.histogram, q, k);
    selectBest(
        s, threshold, k, numberFeatures,
        [&](auto take) {
          for (int32_t index : s.touched) take(index, counts[index]);
        },
        hits);
    return;
  }

  // Only points that can still reach the bound are followed into the unread lists, and each is
  // dropped as soon as it no longer can.
  int64_t unread = static_cast<int64_t>(q - read);
  s.survivors.clear();
  for (int32_t index : s.touched) {
    if (counts[index] + unread >= bound) s.survivors.push_back(index);
  }
  bool sorted = false;
  for (std::size_t j = read; j < q; ++j) {
    int64_t unreadAfter = static_cast<int64_t>(q - j - 1);
    probeAndFilter(s.lists[j], s.survivors, sorted, counts, int64_t{bound} - unreadAfter);
  }
  countHistogram(s, counts, s.survivors, q);
  uint32_t threshold = kthLargestCount(s.histogram, q, k);
  selectBest(
      s, threshold, k, numberFeatures,
      [&](auto take) {
        for (int32_t index : s.survivors) take(index, counts[index]);
      },
      hits);
}

void rankedSearch(const featureSpace* space, std::span<const std::string_view> features, int32_t k,
                  std::vector<featureSpaceHit>& hits) {
  SearchScratch& s = scratch();
  s.lists.clear();
  int32_t indexMax = -1;
  int64_t postings = 0;
  for (std::string_view feature : features) {
    const featureRecord* record = space->index->find(feature);
    if (record == nullptr || record->set.count == 0) continue;
    s.lists.push_back(record);
    indexMax = std::max(indexMax, record->set.indexMax);
    postings += record->set.count;
  }
  if (s.lists.empty()) return;
  std::sort(s.lists.begin(), s.lists.end(),
            [](const featureRecord* a, const featureRecord* b) { return a->set.count < b->set.count; });
  int32_t numberFeatures = static_cast<int32_t>(features.size());
  // A point's count never exceeds the number of lists.
  if (s.lists.size() <= UINT8_MAX) {
    countAndRank<uint8_t>(s, space, numberFeatures, indexMax, postings, k, hits);
  } else if (s.lists.size() <= UINT16_MAX) {
    countAndRank<uint16_t>(s, space, numberFeatures, indexMax, postings, k, hits);
  } else {
    countAndRank<uint32_t>(s, space, numberFeatures, indexMax, postings, k, hits);
  }
}

// A single seek feature: the first points of its set, in index order. A deleted point is passed
// over but uses up its place among those looked at.
void firstPoints(const featureSpace* space, const entrySet& set, int32_t k,
                 std::vector<featureSpaceHit>& hits) {
  int32_t looked = std::min(k, set.count);
  const std::vector<unsigned char>& deleted = space->deletedFlags;
  hits.reserve(static_cast<std::size_t>(looked));
  for (int32_t i = 0; i < looked; ++i) {
    auto index = static_cast<std::size_t>(set.indices[i]);
    if (index < deleted.size() && deleted[index] != 0) continue;
    hits.push_back({set.indices[i], 1.0});
  }
}

}  // namespace

void featureSpace_findEntries(const featureSpace* pThis, std::span<const std::string_view> pFeatureIDs,
                              int32_t pNumberResults, std::vector<featureSpaceHit>& pHits) {
  pHits.clear();
  if (pThis == nullptr || pNumberResults <= 0) {
    ORL_RAISE(kGroup, 1,
              "pThis == NULL || pFeatureIDs == NULL || pNumberResults <= 0 in featureSpace_findEntries");
  }
  if (pFeatureIDs.empty()) ORL_RAISE(kGroup, 4, "Leerer Suchstring in featureSpace_findEntries");
  if (pFeatureIDs.size() == 1) {
    if (const featureRecord* record = pThis->index->find(pFeatureIDs[0]))
      firstPoints(pThis, record->set, pNumberResults, pHits);
    return;
  }
  rankedSearch(pThis, pFeatureIDs, pNumberResults, pHits);
}
