// Merging the answers of the shards of a sharded knowledge base into one ranking.
//
// Shard s holds a contiguous run of the entries in the order they were given, so entry j of shard s
// stands after every entry of shards 0 .. s-1. A single knowledge base ranks by falling confidence
// with ties to the entry added first; each shard does the same with its own entries. Taking the
// best head among the shards' lists, ties to the lower shard, therefore gives exactly the ranking
// one knowledge base of all the entries gives, as long as each shard was asked for the n best.
//
// Header-only and free of the engine: the veskor tool and the Python binding both merge with it.
#pragma once

#include <cstddef>
#include <vector>

namespace veskorshards {

// One place of a merged ranking: hit `position` of list `list`.
struct RankedPick {
  std::size_t list = 0;
  std::size_t position = 0;
  bool operator==(const RankedPick&) const = default;
};

// The best n places over lists of confidences, each list best first: falling confidence, ties to
// the lower list, and within one list its own order. A list that is not sorted is still merged
// without loss (each of its hits is taken once, in its order), only no longer as a ranking.
inline std::vector<RankedPick> mergeRanked(const std::vector<std::vector<double>>& confidences, std::size_t n) {
  std::vector<std::size_t> heads(confidences.size(), 0);
  std::vector<RankedPick> picks;
  std::size_t available = 0;
  for (const auto& list : confidences) available += list.size();
  picks.reserve(n < available ? n : available);
  // S is small (shards of one knowledge base); a linear scan of the heads beats a heap here.
  while (picks.size() < n) {
    std::size_t best = confidences.size();
    for (std::size_t s = 0; s < confidences.size(); ++s) {
      if (heads[s] >= confidences[s].size()) continue;
      if (best == confidences.size() || confidences[s][heads[s]] > confidences[best][heads[best]]) best = s;
    }
    if (best == confidences.size()) break;
    picks.push_back({best, heads[best]++});
  }
  return picks;
}

// The merged hits themselves; confidenceOf(hit) reads a hit's confidence.
template <class Hit, class ConfidenceOf>
std::vector<Hit> mergeHits(std::vector<std::vector<Hit>> lists, std::size_t n, ConfidenceOf confidenceOf) {
  std::vector<std::vector<double>> confidences(lists.size());
  for (std::size_t s = 0; s < lists.size(); ++s) {
    confidences[s].reserve(lists[s].size());
    for (const Hit& hit : lists[s]) confidences[s].push_back(confidenceOf(hit));
  }
  std::vector<Hit> merged;
  for (const RankedPick& pick : mergeRanked(confidences, n)) merged.push_back(std::move(lists[pick.list][pick.position]));
  return merged;
}

// Where the entries of a run of `total` are cut into `shards` contiguous runs of nearly equal size:
// shard s takes the items [first(s), first(s + 1)).
inline std::size_t shardStart(std::size_t total, std::size_t shards, std::size_t s) {
  if (shards == 0) return 0;
  // total * s may overflow for huge totals; split it so that it cannot.
  return (total / shards) * s + (total % shards) * s / shards;
}

}  // namespace veskorshards
