#include "veskorKernel/featureSpace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "kernelTestUtil.h"
#include "support/tempDir.h"
#include "veskorKernel/featureMembers.h"

namespace {

// Views of the texts (which must outlive them), as the knowledge base hands features on.
std::vector<std::string_view> views(const std::vector<std::string>& texts) {
  return std::vector<std::string_view>(texts.begin(), texts.end());
}

struct FsHit {
  int32_t index;
  double confidence;
  bool operator==(const FsHit&) const = default;
};

std::ostream& operator<<(std::ostream& out, const FsHit& h) {
  return out << h.index << ":" << h.confidence;
}

std::vector<FsHit> search(const featureSpace* space, const std::vector<std::string>& seek, int32_t k) {
  std::vector<featureSpaceHit> found{{-7, -7.0}};  // whatever a reused vector held goes
  featureSpace_findEntries(space, views(seek), k, found);
  std::vector<FsHit> out;
  for (const featureSpaceHit& hit : found) out.push_back({hit.index, hit.confidence});
  return out;
}

void add(featureSpace* space, const std::vector<std::string>& features, int32_t index) {
  EXPECT_EQ(featureSpace_addEntry(space, views(features), index), index);
}

TEST(FeatureSpace, HausAgainstMausIsOneHalf) {
  orl::FeatureSpacePtr space(featureSpace_create());
  add(space.get(), {"_M", "MA", "AU", "US", "S_", "_MA", "MAU", "AUS", "US_", "_MAU", "MAUS", "AUS_"}, 0);
  std::vector<FsHit> found = search(
      space.get(), {"_H", "HA", "AU", "US", "S_", "_HA", "HAU", "AUS", "US_", "_HAU", "HAUS", "AUS_"}, 10);
  EXPECT_EQ(found, (std::vector<FsHit>{{0, 0.5}}));
  EXPECT_EQ(search(space.get(), {"AU", "unknown"}, 10), (std::vector<FsHit>{{0, 0.5}}));
  EXPECT_EQ(search(space.get(), {"x", "y"}, 10), (std::vector<FsHit>{}));
}

TEST(FeatureSpace, RanksByCountThenIndexAndStopsAtTheCandidates) {
  orl::FeatureSpacePtr space(featureSpace_create());
  add(space.get(), {"a", "b"}, 4);
  add(space.get(), {"a", "b", "c"}, 7);
  add(space.get(), {"c", "b", "a", "z"}, 9);
  EXPECT_EQ(search(space.get(), {"a", "b", "c"}, 2), (std::vector<FsHit>{{7, 1.0}, {9, 1.0}}));
  EXPECT_EQ(search(space.get(), {"a", "b", "c"}, 100),
            (std::vector<FsHit>{{7, 1.0}, {9, 1.0}, {4, 2.0 / 3}}));
  EXPECT_EQ(featureSpace_getNumberFeatures(space.get()), 4);
  EXPECT_EQ(space->highestIndex, 9);
}

TEST(FeatureSpace, SingleFeatureTakesTheFirstPointsAndDeletedOnesUseUpPlaces) {
  orl::FeatureSpacePtr space(featureSpace_create());
  for (int32_t i = 0; i < 6; ++i) add(space.get(), {"f"}, i);
  EXPECT_EQ(search(space.get(), {"f"}, 3), (std::vector<FsHit>{{0, 1.0}, {1, 1.0}, {2, 1.0}}));
  featureSpace_deletePoint(space.get(), 0);
  EXPECT_EQ(search(space.get(), {"f"}, 3), (std::vector<FsHit>{{1, 1.0}, {2, 1.0}}));
  EXPECT_EQ(search(space.get(), {"g"}, 3), (std::vector<FsHit>{}));
}

TEST(FeatureSpace, DeletionAndDefragmentation) {
  orl::FeatureSpacePtr space(featureSpace_create());
  for (int32_t i = 0; i < 8; ++i) add(space.get(), {"all", "p" + std::to_string(i)}, i);
  add(space.get(), {"all", "only5"}, 8);
  featureSpace_deletePoint(space.get(), 5);
  EXPECT_RAISES(featureSpace_deletePoint(space.get(), 5), 19, 1,
                "point of featureSpace was already deleted in featureSpace_deletePoint");
  std::vector<FsHit> found = search(space.get(), {"all", "x"}, 100);
  EXPECT_EQ(found.size(), 8u);
  EXPECT_TRUE(std::none_of(found.begin(), found.end(), [](const FsHit& h) { return h.index == 5; }));
  add(space.get(), {"all", "p9"}, 9);  // deletion marks grow with the points
  featureSpace_deletePoint(space.get(), 9);

  std::vector<int32_t> mapping{0, 1, 2, 3, 4, -1, 5, 6, -1, -1};
  featureSpace_defragment(space.get(), mapping);
  EXPECT_TRUE(space->deletedFlags.empty());
  EXPECT_EQ(space->highestIndex, 6);
  EXPECT_EQ(search(space.get(), {"p6", "none"}, 5), (std::vector<FsHit>{{5, 0.5}}));
  EXPECT_EQ(featureSpace_findFeature(space.get(), "p5"), nullptr);  // its set became empty
  EXPECT_EQ(featureSpace_findFeature(space.get(), "only5"), nullptr);
  EXPECT_EQ(featureSpace_getNumberFeatures(space.get()), 8);  // "all", p0-p4, p6, p7
  add(space.get(), {"p5"}, 7);                                // a removed feature comes back fresh
  EXPECT_EQ(search(space.get(), {"p5"}, 5), (std::vector<FsHit>{{7, 1.0}}));

  std::vector<int32_t> shortMapping{0, 1};
  EXPECT_RAISES(featureSpace_defragment(space.get(), shortMapping), 19, 1,
                "pIndexMappingFSPPoints zu kurz in featureSpace_defragment");
  EXPECT_EQ(search(space.get(), {"p6"}, 5), (std::vector<FsHit>{{5, 1.0}}));  // unchanged
}

TEST(FeatureSpace, FailedAddLeavesNoTraceOfThePoint) {
  orl::FeatureSpacePtr space(featureSpace_create());
  add(space.get(), {"a", "b"}, 0);
  std::vector<std::string> twice{"a", "new", "a"};
  EXPECT_RAISES(featureSpace_addEntry(space.get(), views(twice), 1), 18, 2,
                "pIndexEntry <= pThis->indexMax in entrySet_appendIndex");
  EXPECT_EQ(featureSpace_findFeature(space.get(), "new"), nullptr);
  EXPECT_EQ(featureSpace_findFeature(space.get(), "a")->set.count, 1);
  EXPECT_EQ(search(space.get(), {"a", "new"}, 10), (std::vector<FsHit>{{0, 0.5}}));
  // A long set keeps a membership bitmap; the undone index must leave it too.
  for (int32_t i = 2; i < 400; ++i) add(space.get(), {"a", "long"}, i);
  const featureRecord* longSet = featureSpace_findFeature(space.get(), "long");
  ASSERT_NE(longSet->members, nullptr);
  std::vector<std::string> failing{"long", "long"};
  EXPECT_RAISES(featureSpace_addEntry(space.get(), views(failing), 400), 18, 2,
                "pIndexEntry <= pThis->indexMax in entrySet_appendIndex");
  EXPECT_FALSE(veskorKernel::featureMembers_contain(longSet, 400));
  EXPECT_TRUE(veskorKernel::featureMembers_contain(longSet, 399));
  EXPECT_EQ(longSet->set.count, 398);
  add(space.get(), {"b"}, 401);

  std::vector<std::string> again{"a"};
  EXPECT_RAISES(featureSpace_addEntry(space.get(), views(again), 1), 19, 1,
                "pIndexEntry <= pThis->highestIndex in featureSpace_addEntry");
  add(space.get(), {"a"}, 402);
  EXPECT_EQ(search(space.get(), {"a"}, 2), (std::vector<FsHit>{{0, 1.0}, {2, 1.0}}));
}

TEST(FeatureSpace, ArgumentChecks) {
  orl::FeatureSpacePtr space(featureSpace_create());
  std::span<const std::string_view> empty;
  std::vector<featureSpaceHit> hits;
  EXPECT_RAISES(featureSpace_findEntries(space.get(), empty, 1, hits), 19, 4,
                "Leerer Suchstring in featureSpace_findEntries");
  EXPECT_RAISES(featureSpace_findEntries(space.get(), empty, 0, hits), 19, 1,
                "pThis == NULL || pFeatureIDs == NULL || pNumberResults <= 0 in featureSpace_findEntries");
  EXPECT_RAISES(featureSpace_deletePoint(nullptr, 0), 19, 1, "pThis == NULL in featureSpace_deletePoint");
  EXPECT_RAISES(featureSpace_addEntry(nullptr, empty, 0), 19, 1,
                "pThis == NULL || pFeatureIDs == NULL in featureSpace_addEntry");
  EXPECT_RAISES(featureSpace_defragment(nullptr, {}), 19, 1,
                "pThis == NULL || pIndexMappingFSPPoints == NULL in featureSpace_defragment");
}

TEST(FeatureSpace, SavesAndLoadsTheSameSets) {
  veskortest::TempDir dir;
  std::string file = dir.file("fs");
  orl::FeatureSpacePtr space(featureSpace_create());
  add(space.get(), {"ab", "a longer feature text"}, 0);
  add(space.get(), {"ab"}, 3);
  {
    orl::StreamPtr out(stream_createFileOutputStream(file.c_str()));
    featureSpace_save(space.get(), out.get());
  }
  orl::StreamPtr in(stream_createFileInputStream(file.c_str()));
  orl::FeatureSpacePtr loaded(featureSpace_createFromStream(in.get()));
  EXPECT_EQ(loaded->highestIndex, 3);
  EXPECT_EQ(featureSpace_getNumberFeatures(loaded.get()), 2);
  EXPECT_EQ(search(loaded.get(), {"ab", "a longer feature text"}, 5),
            (std::vector<FsHit>{{0, 1.0}, {3, 0.5}}));

  std::string bytes = veskortest::readFileBytes(file);
  bytes[4] = 2;  // version
  veskortest::writeFileBytes(file, bytes);
  orl::StreamPtr badIn(stream_createFileInputStream(file.c_str()));
  EXPECT_RAISES(featureSpace_createFromStream(badIn.get()), 19, 3,
                "Falsches Dateiformat in featureSpace_createFromStream");
}

// The ranking as documented, without any shortcut: one counter per point, deleted points zeroed,
// the compressed counters ranked by falling count, the lower index first.
using Postings = std::map<std::string, std::vector<int32_t>>;

std::vector<FsHit> referenceSearch(const Postings& postings, const std::set<int32_t>& deleted,
                                   int32_t highestIndex, const std::vector<std::string>& seek, int32_t k) {
  int32_t m = static_cast<int32_t>(seek.size());
  std::vector<FsHit> out;
  auto set = [&](const std::string& feature) {
    auto it = postings.find(feature);
    return it != postings.end() ? it->second : std::vector<int32_t>{};
  };
  if (m == 1) {
    std::vector<int32_t> members = set(seek[0]);
    for (int32_t i = 0; i < k && i < static_cast<int32_t>(members.size()); ++i) {
      if (deleted.count(members[i]) == 0) out.push_back({members[i], 1.0});
    }
    return out;
  }
  std::vector<int32_t> counts(static_cast<std::size_t>(highestIndex + 1), 0);
  for (const std::string& feature : seek) {
    for (int32_t index : set(feature)) ++counts[index];
  }
  for (int32_t index : deleted) counts[index] = 0;
  std::vector<std::pair<int32_t, int32_t>> compressed;
  for (int32_t i = 0; i <= highestIndex; ++i) {
    if (counts[i] > 0) compressed.push_back({i, counts[i]});
  }
  // What k passes of "take the first largest count, then zero it" give: a stable sort by count.
  std::stable_sort(compressed.begin(), compressed.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  for (std::size_t r = 0; r < compressed.size() && r < static_cast<std::size_t>(k); ++r) {
    out.push_back({compressed[r].first, static_cast<double>(compressed[r].second) / m});
  }
  return out;
}

Postings postingsOf(const std::map<int32_t, std::vector<std::string>>& points) {
  Postings postings;
  for (const auto& [index, features] : points) {
    for (const std::string& feature : features) postings[feature].push_back(index);
  }
  return postings;
}

TEST(FeatureSpace, FastSearchMatchesTheReferenceRankingOnRandomData) {
  std::mt19937 random(20240611);
  // Frequencies from very common to rare, so that both the pruned and the full path are taken.
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 60; ++i) vocabulary.push_back("f" + std::to_string(i));
  auto pickFeature = [&] {
    int rank = static_cast<int>(std::pow(random() % 10000 / 10000.0, 2.5) * 60);
    return vocabulary[static_cast<std::size_t>(std::min(rank, 59))];
  };
  orl::FeatureSpacePtr space(featureSpace_create());
  std::map<int32_t, std::vector<std::string>> points;
  std::set<int32_t> deleted;
  int32_t index = -1;
  int checked = 0;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 1500; ++i) {
      index += 1 + static_cast<int32_t>(random() % 3);  // gaps in the numbering
      std::set<std::string> features;
      int n = static_cast<int>(random() % 8);
      for (int f = 0; f < n; ++f) features.insert(pickFeature());
      std::vector<std::string> list(features.begin(), features.end());
      std::shuffle(list.begin(), list.end(), random);
      add(space.get(), list, index);
      points[index] = list;
    }
    for (int d = 0; d < 200; ++d) {
      auto it = std::next(points.begin(), static_cast<long>(random() % points.size()));
      if (deleted.insert(it->first).second) featureSpace_deletePoint(space.get(), it->first);
    }
    Postings postings = postingsOf(points);
    for (int q = 0; q < 1500; ++q) {
      std::set<std::string> seekSet;
      int m = 1 + static_cast<int>(random() % 9);
      for (int f = 0; f < m; ++f)
        seekSet.insert(random() % 10 == 0 ? "unknown" + std::to_string(f) : pickFeature());
      std::vector<std::string> seek(seekSet.begin(), seekSet.end());
      static const int32_t ks[] = {1, 2, 3, 5, 10, 37, 200, 2000};
      int32_t k = ks[random() % 8];
      ASSERT_EQ(search(space.get(), seek, k), referenceSearch(postings, deleted, index, seek, k))
          << "round " << round << " query " << q << " k " << k;
      ++checked;
    }
    // Renumber as a knowledge base would: deleted points go, the rest close up.
    std::vector<int32_t> mapping(static_cast<std::size_t>(index + 1), -1);
    std::map<int32_t, std::vector<std::string>> renumbered;
    int32_t next = 0;
    for (int32_t old = 0; old <= index; ++old) {
      if (points.count(old) != 0 && deleted.count(old) == 0) {
        mapping[old] = next;
        renumbered[next++] = points[old];
      }
    }
    featureSpace_defragment(space.get(), mapping);
    points.swap(renumbered);
    deleted.clear();
    index = next - 1;
    EXPECT_EQ(space->highestIndex, index);
  }
  EXPECT_EQ(checked, 4500);
}

}  // namespace

namespace {

// Counters are narrower for short seek lists; long ones take the wider counters.
TEST(FeatureSpace, ManySeekFeaturesRankAsTheReference) {
  std::mt19937 random(99);
  orl::FeatureSpacePtr space(featureSpace_create());
  std::map<int32_t, std::vector<std::string>> points;
  for (int32_t index = 0; index < 300; ++index) {
    std::set<std::string> features;
    for (int f = 0; f < 60; ++f) features.insert("w" + std::to_string(random() % 400));
    points[index] = std::vector<std::string>(features.begin(), features.end());
    add(space.get(), points[index], index);
  }
  Postings postings = postingsOf(points);
  for (int q = 0; q < 50; ++q) {
    std::set<std::string> seekSet;
    while (seekSet.size() < 260 + random() % 140) seekSet.insert("w" + std::to_string(random() % 450));
    std::vector<std::string> seek(seekSet.begin(), seekSet.end());
    ASSERT_EQ(search(space.get(), seek, 10), referenceSearch(postings, {}, 299, seek, 10)) << q;
  }

  // More seek features than a 16-bit counter could count.
  orl::FeatureSpacePtr wide(featureSpace_create());
  std::vector<std::string> all;
  std::map<int32_t, std::vector<std::string>> widePoints;
  for (int32_t f = 0; f < 70000; ++f) {
    all.push_back("x" + std::to_string(f));
    widePoints[f % 3].push_back(all.back());
    if (f % 5 == 0) widePoints[3].push_back(all.back());
  }
  for (const auto& [index, features] : widePoints) add(wide.get(), features, index);
  EXPECT_EQ(search(wide.get(), all, 3), referenceSearch(postingsOf(widePoints), {}, 3, all, 3));
}

}  // namespace
