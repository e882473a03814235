// The merge and the manifest that the veskor tool and the Python binding share.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "../../tools/common/shardManifest.h"
#include "../../tools/common/shardMerge.h"
#include "support/tempDir.h"

namespace {

using veskorshards::ManifestError;
using veskorshards::mergeRanked;
using veskorshards::parseManifest;
using veskorshards::RankedPick;

TEST(ShardMerge, FallingConfidenceWithTiesToTheLowerList) {
  // Ties across lists go to the lower list, ties within a list keep its order.
  const std::vector<std::vector<double>> lists = {{0.5, 0.5, 0.25}, {1.0, 0.5}, {0.5}};
  EXPECT_EQ(mergeRanked(lists, 10),
            (std::vector<RankedPick>{{1, 0}, {0, 0}, {0, 1}, {1, 1}, {2, 0}, {0, 2}}));
  // n cuts the ranking; fewer hits than n gives them all; nothing wanted or nothing there gives none.
  EXPECT_EQ(mergeRanked(lists, 3), (std::vector<RankedPick>{{1, 0}, {0, 0}, {0, 1}}));
  EXPECT_TRUE(mergeRanked(lists, 0).empty());
  EXPECT_TRUE(mergeRanked({{}, {}}, 5).empty());
  EXPECT_TRUE(mergeRanked({}, 5).empty());
  EXPECT_EQ(mergeRanked({{}, {0.75}}, 5), (std::vector<RankedPick>{{1, 0}}));
}

TEST(ShardMerge, MergedHitsMatchOneSortedList) {
  // Entries 0..59 with confidences from a few values, cut into uneven runs: the merge of every run's
  // best n must equal the best n of all, ranked by falling confidence, ties to the lower index.
  std::vector<double> confidence(60);
  for (std::size_t i = 0; i < confidence.size(); ++i) confidence[i] = static_cast<double>((i * 7) % 5) / 4;
  std::vector<std::size_t> order(confidence.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return confidence[a] > confidence[b]; });
  for (const std::size_t shards : {1u, 2u, 3u, 7u, 60u}) {
    for (const std::size_t n : {1u, 5u, 13u, 100u}) {
      std::vector<std::vector<std::size_t>> runs(shards);
      for (std::size_t s = 0; s < shards; ++s) {
        for (std::size_t i = veskorshards::shardStart(60, shards, s); i < veskorshards::shardStart(60, shards, s + 1); ++i) {
          runs[s].push_back(i);
        }
        std::stable_sort(runs[s].begin(), runs[s].end(),
                         [&](std::size_t a, std::size_t b) { return confidence[a] > confidence[b]; });
        if (runs[s].size() > n) runs[s].resize(n);
      }
      const auto merged = veskorshards::mergeHits(runs, n, [&](std::size_t i) { return confidence[i]; });
      const std::vector<std::size_t> expected(order.begin(), order.begin() + static_cast<long>(std::min<std::size_t>(n, 60)));
      EXPECT_EQ(merged, expected) << shards << " shards, n " << n;
    }
  }
}

TEST(ShardMerge, ShardStartsCutContiguousNearlyEqualRuns) {
  for (const std::size_t total : {0ul, 1ul, 7ul, 100ul, 356010ul, ~0ul / 3}) {
    for (const std::size_t shards : {1ul, 3ul, 4ul, 9ul, 4096ul}) {
      EXPECT_EQ(veskorshards::shardStart(total, shards, 0), 0u);
      EXPECT_EQ(veskorshards::shardStart(total, shards, shards), total) << total << " / " << shards;
      for (std::size_t s = 0; s < shards && shards <= 9; ++s) {
        const std::size_t size = veskorshards::shardStart(total, shards, s + 1) - veskorshards::shardStart(total, shards, s);
        EXPECT_TRUE(size == total / shards || size == total / shards + 1) << total << " / " << shards;
      }
    }
  }
}

TEST(ShardManifest, RoundTripsAndNamesShardsInOrder) {
  veskorshards::ShardManifest manifest;
  manifest.kind = "documents";
  manifest.settings = {1, 2, 2, 2};
  manifest.shards = {{"shard-0.kb", 10, 2}, {"shard-1.kb", 0, 0}};
  manifest.words = "words.kb";
  const veskorshards::ShardManifest back = parseManifest(veskorshards::formatManifest(manifest));
  EXPECT_EQ(back.kind, "documents");
  EXPECT_EQ(back.settings, manifest.settings);
  ASSERT_EQ(back.shards.size(), 2u);
  EXPECT_EQ(back.shards[0].file, "shard-0.kb");
  EXPECT_EQ(back.shards[0].entries, 10);
  EXPECT_EQ(back.shards[0].documents, 2);
  EXPECT_EQ(back.words, "words.kb");
  EXPECT_EQ(back.totalEntries(), 10);

  EXPECT_EQ(veskorshards::shardFileName(3, 4), "shard-3.kb");
  EXPECT_EQ(veskorshards::shardFileName(3, 11), "shard-03.kb");
  EXPECT_EQ(veskorshards::shardFileName(99, 100), "shard-99.kb");
  EXPECT_EQ(veskorshards::shardFileName(0, 101), "shard-000.kb");

  // Written safely into a directory and read back; no temporary file stays.
  veskortest::TempDir dir;
  veskorshards::writeManifest(dir.path(), manifest);
  EXPECT_TRUE(veskorshards::isShardedDirectory(dir.path()));
  EXPECT_EQ(veskorshards::readManifest(dir.path()).shards.size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "manifest.json.tmp"));
  EXPECT_FALSE(veskorshards::isShardedDirectory(dir.path() / "manifest.json"));
}

TEST(ShardManifest, RefusesWhatItCannotTrust) {
  const std::string shard = R"({"file": "shard-0.kb", "entries": 3})";
  const auto manifest = [](const std::string& shards, const std::string& extra = "") {
    return R"({"format": "veskor-shards", "version": 1, "kind": "entries",
               "settings": {"language": 1, "encoding": 6, "entryInformation": 2, "featureType": 1},
               "shards": [)" + shards + "]" + extra + "}";
  };
  EXPECT_NO_THROW(parseManifest(manifest(shard)));
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"not json", "not valid JSON"},
      {"[1, 2]", "not a JSON object"},
      {R"({"format": "something else", "version": 1})", "not the manifest of a sharded knowledge base"},
      {manifest("").replace(manifest("").find("\"version\": 1"), 12, "\"version\": 2"), "version 2 is not supported"},
      {manifest(""), "\"shards\" is not a list of shards"},
      {manifest(R"({"file": "../outside.kb", "entries": 1})"), "is not a plain file name"},
      {manifest(R"({"file": "/etc/passwd", "entries": 1})"), "is not a plain file name"},
      {manifest(R"({"file": "..", "entries": 1})"), "is not a plain file name"},
      {manifest(R"({"file": "", "entries": 1})"), "is not a plain file name"},
      {manifest(R"({"file": 5, "entries": 1})"), "a file name is not a string"},
      {manifest(R"({"file": "a.kb", "entries": -1})"), "\"entries\" is out of range"},
      {manifest(R"({"file": "a.kb", "entries": 18446744073709551615})"), "\"entries\" is out of range"},
      {manifest(R"({"file": "a.kb", "entries": 1.5})"), "\"entries\" is not an integer"},
      {manifest(R"({"file": "a.kb"})"), "\"entries\" is missing"},
      {manifest(shard + ", " + shard), "is named twice"},
      {manifest(shard, R"(, "words": "shard-0.kb")"), "only documents have a word knowledge base"},
      {manifest(shard).replace(manifest(shard).find("\"featureType\": 1"), 16, "\"featureType\": 2"),
       "the feature type does not fit the kind"},
      {manifest(shard).replace(manifest(shard).find("\"encoding\": 6"), 13, "\"encoding\": 8"),
       "\"encoding\" is out of range"},
  };
  for (const auto& [text, reason] : bad) {
    try {
      parseManifest(text, "m.json");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ManifestError& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
      EXPECT_EQ(std::string(error.what()).rfind("m.json: ", 0), 0u) << error.what();
    }
  }
  std::string many;
  for (int i = 0; i <= 4096; ++i) many += (i ? "," : "") + std::string(R"({"file": "s)") + std::to_string(i) + R"(", "entries": 0})";
  EXPECT_THROW(parseManifest(manifest(many)), ManifestError);
}

}  // namespace
