// veskor match and sharded knowledge bases (veskor shard build, and the searches on a directory).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/runTool.h"
#include "support/tempDir.h"

namespace {

using clitest::runTool;
using clitest::ToolResult;
using veskortest::TempDir;

const std::string sampleDir = VESKOR_SAMPLE_DIR;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

class Match : public ::testing::Test {
 protected:
  ToolResult run(const std::vector<std::string>& args, const std::string& input = "") {
    return runTool(args, dir.path().string(), input);
  }
  std::string ok(const std::vector<std::string>& args, const std::string& input = "") {
    const ToolResult result = run(args, input);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }
  void write(const std::string& name, const std::string& bytes) { veskortest::writeFileBytes(dir.file(name), bytes); }
  TempDir dir;
};

// Entries whose texts repeat all through the input, so that equal confidences meet across every
// shard boundary, and queries made of those words, misspelt.
struct TieData {
  std::string entries;
  std::string queries;
};

TieData tieData(int entryCount, int queryCount) {
  const std::vector<std::string> words = {"Berg", "Tal",  "Haus",  "Weg",    "Feld", "Bach",
                                          "Wald", "See",  "Dorf",  "Mühle", "Hof",  "Brücke"};
  TieData data;
  for (int i = 0; i < entryCount; ++i) {
    data.entries += "e" + std::to_string(i) + "\t" + words[i % 12] + " " + words[(i / 12) % 12];
    if (i % 5 == 0) data.entries += " " + words[(i / 7) % 12];
    data.entries += "\n";
  }
  unsigned state = 12345;
  const auto next = [&] { return (state = state * 1103515245u + 12345u) >> 16; };
  for (int q = 0; q < queryCount; ++q) {
    std::string query = words[next() % 12];
    if (q % 3 != 0) query += " " + words[next() % 12];
    // One letter dropped or doubled now and then: partial matches with many equal confidences.
    const std::size_t at = next() % query.size();
    if (q % 4 == 1 && static_cast<unsigned char>(query[at]) < 0x80) query.erase(at, 1);
    if (q % 4 == 2 && static_cast<unsigned char>(query[at]) < 0x80) query.insert(at, 1, query[at]);
    data.queries += query + "\n";
  }
  return data;
}

TEST_F(Match, ShardedSearchGivesExactlyTheRankingOfOneKnowledgeBase) {
  constexpr int entries = 2400;
  const TieData data = tieData(entries, 2000);
  write("entries.tsv", data.entries);
  write("queries.txt", data.queries);
  ok({"create", "one.kb", "--store-texts"});
  ok({"import", "one.kb", "entries.tsv"});
  const std::string single = ok({"match", "one.kb", "queries.txt", "--format", "jsonl", "--threads", "1"});
  ASSERT_EQ(lines(single).size(), 2000u);

  // The test means something only if equal confidences of one query come from different shards.
  int tiesAcrossShards = 0;
  for (const std::string& line : lines(single)) {
    const auto hits = nlohmann::json::parse(line).at("hits");
    for (std::size_t i = 1; i < hits.size(); ++i) {
      const int a = std::stoi(hits[i - 1].at("key").get<std::string>().substr(1));
      const int b = std::stoi(hits[i].at("key").get<std::string>().substr(1));
      if (hits[i - 1].at("confidence") == hits[i].at("confidence") && a * 7 / entries != b * 7 / entries) ++tiesAcrossShards;
    }
  }
  EXPECT_GT(tiesAcrossShards, 100);

  for (const int shards : {1, 4, 7}) {
    const std::string name = "s" + std::to_string(shards);
    ok({"shard", "build", name, "entries.tsv", "--shards", std::to_string(shards), "--store-texts"});
    EXPECT_EQ(ok({"match", name, "queries.txt", "--format", "jsonl", "--threads", "3"}), single) << shards;
    EXPECT_EQ(ok({"match", name, "queries.txt", "-n", "3", "--keys-only"}),
              ok({"match", "one.kb", "queries.txt", "-n", "3", "--keys-only"}))
        << shards;
  }
  // find on the directory prints what find on the file prints.
  for (const std::string query : {"Berg Tal", "Mhle", "Brücke Hof"}) {
    EXPECT_EQ(ok({"find", "s7", query, "-n", "12"}), ok({"find", "one.kb", query, "-n", "12"})) << query;
  }
}

TEST_F(Match, WritesEveryQueryInInputOrderAsTsvOrJsonLines) {
  ok({"create", "places.kb", "--store-texts"});
  ok({"import", "places.kb", sampleDir + "/entries.tsv"});
  write("queries.txt", "Rotenburg Tauber\n\nBad Tölz\nÿÿÿ\n");
  // Rank, key, confidence and the stored text per hit; the empty line is no query; a query without
  // hits has no line in TSV.
  EXPECT_EQ(ok({"match", "places.kb", "queries.txt", "-n", "2"}),
            "1\t1\tort105\t0.812500\t_ROTHENBURG_OB_DER_TAUBER_BAYERN_\n"
            "1\t2\tort104\t0.395833\t_ROSTOCK_MECKLENBURGVORPOMMERN_VORPOMMERN_MECKLENBURG_\n"
            "3\t1\tort004\t1.000000\t_BAD_TÖLZ_BAYERN_\n"
            "3\t2\tort005\t0.500000\t_BAD_DÜRKHEIM_RHEINLANDPFALZ_PFALZ_RHEINLAND_\n");
  // JSON lines: one object per query, also without hits; ids given with --with-ids stay strings.
  const std::vector<std::string> json =
      lines(ok({"match", "places.kb", "-", "-n", "1", "--format", "jsonl", "--with-ids", "--keys-only"},
               "a-1\tBad Tölz\nzwei\tÿÿÿ\n"));
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0], R"({"id":"a-1","hits":[{"key":"ort004","confidence":1.0}]})");
  EXPECT_EQ(json[1], R"({"id":"zwei","hits":[]})");

  // Many threads write the same as one, in the same order.
  std::string many;
  for (int i = 0; i < 3000; ++i) many += std::vector<std::string>{"Hamborg", "Bad Tölz", "Göttingen Adlerweg"}[i % 3] + "\n";
  write("many.txt", many);
  const std::string one = ok({"match", "places.kb", "many.txt", "--threads", "1"});
  EXPECT_EQ(ok({"match", "places.kb", "many.txt", "--threads", "4"}), one);
  EXPECT_EQ(lines(one).size(), 30000u);

  // A key that holds a tab stays one field.
  ok({"add", "places.kb", "with\ttab\\", "Tabstadt"});
  EXPECT_EQ(ok({"match", "places.kb", "-", "-n", "1", "--keys-only"}, "Tabstadt\n"), "1\t1\twith\\ttab\\\\\t1.000000\n");
}

TEST_F(Match, BadLinesAreReportedWithTheirNumbersAndSkippedOrEndTheRun) {
  ok({"create", "places.kb"});
  ok({"import", "places.kb", sampleDir + "/entries.tsv"});
  write("queries.txt", "Bad Tölz\n   \nBad T\xF6lz\nHamborg\n");
  ToolResult result = run({"match", "places.kb", "queries.txt", "-n", "1"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "1\t1\tort004\t1.000000\n4\t1\tstr028\t0.619048\n");
  const std::vector<std::string> errors = lines(result.err);
  ASSERT_EQ(errors.size(), 2u) << result.err;
  EXPECT_EQ(errors[0], "veskor: queries.txt:2: engine status 11: error: seek string invalid in veskorFindEntry(); line skipped");
  EXPECT_TRUE(errors[1].starts_with("veskor: queries.txt:3: ")) << errors[1];

  // --strict ends at the first bad line, after writing what came before it.
  result = run({"match", "places.kb", "queries.txt", "-n", "1", "--strict"});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.out, "1\t1\tort004\t1.000000\n");
  EXPECT_EQ(result.err, "veskor: queries.txt:2: engine status 11: error: seek string invalid in veskorFindEntry()\n");

  result = run({"match", "places.kb", "-", "--with-ids", "--strict"}, "x\tBad Tölz\nno id here\n");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(result.err, "veskor: <stdin>:2: no tab between id and query\n");

  // What ends every search is no bad line: a missing knowledge base ends the run.
  result = run({"match", "missing.kb", "queries.txt"});
  EXPECT_EQ(result.exitCode, 4) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(run({"match", "places.kb", "queries.txt", "--threads", "0"}).exitCode, 2);
}

TEST_F(Match, ShardDirectoriesAreBuiltSafelyAndEachShardStandsAlone) {
  const std::string entries = sampleDir + "/entries.tsv";
  EXPECT_TRUE(ok({"shard", "build", "places", entries, "--shards", "3"}).starts_with("built places: 3 shards, 348 entries ("));
  // From standard input the same files.
  ok({"shard", "build", "piped", "-", "-s", "3"}, veskortest::readFileBytes(entries));
  EXPECT_FALSE(std::filesystem::exists(dir.file("piped/.input.tmp")));
  EXPECT_EQ(veskortest::readFileBytes(dir.file("piped/shard-2.kb")), veskortest::readFileBytes(dir.file("places/shard-2.kb")));
  EXPECT_EQ(veskortest::readFileBytes(dir.file("piped/manifest.json")),
            veskortest::readFileBytes(dir.file("places/manifest.json")));
  const auto manifest = nlohmann::json::parse(veskortest::readFileBytes(dir.file("places/manifest.json")));
  ASSERT_EQ(manifest.at("shards").size(), 3u);
  int total = 0;
  for (const auto& shard : manifest.at("shards")) {
    // Each shard is an ordinary knowledge base that the other commands take.
    const std::string file = "places/" + shard.at("file").get<std::string>();
    const auto info = nlohmann::json::parse(ok({"info", file, "--json"}));
    EXPECT_EQ(info.at("entries"), shard.at("entries"));
    EXPECT_EQ(info.at("kind"), "entries");
    total += info.at("entries").get<int>();
  }
  EXPECT_EQ(total, 348);
  EXPECT_EQ(nlohmann::json::parse(ok({"shard", "info", "places", "--json"})).at("entries"), 348);

  // A directory that holds anything else is left alone; a sharded one is replaced only with --force.
  ToolResult result = run({"shard", "build", "places", entries, "--shards", "2"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_NE(result.err.find("--force"), std::string::npos) << result.err;
  ok({"shard", "build", "places", entries, "--shards", "2", "--force"});
  EXPECT_FALSE(std::filesystem::exists(dir.file("places/shard-2.kb")));
  std::filesystem::create_directories(dir.file("other"));
  write("other/notes.txt", "mine");
  result = run({"shard", "build", "other", entries, "--shards", "2", "--force"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(veskortest::readFileBytes(dir.file("other/notes.txt")), "mine");

  // A build that fails leaves nothing behind.
  write("bad.tsv", "k1\tBerlin\nno tab\n");
  result = run({"shard", "build", "failed", "bad.tsv", "--shards", "2", "--strict"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_FALSE(std::filesystem::exists(dir.file("failed")));

  // A manifest is checked before anything is opened.
  const std::string good = veskortest::readFileBytes(dir.file("places/manifest.json"));
  std::string outside = good;
  outside.replace(outside.find("shard-0.kb"), 10, "../one.kb");
  write("places/manifest.json", outside);
  result = run({"find", "places", "Berlin"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_NE(result.err.find("\"../one.kb\" is not a plain file name"), std::string::npos) << result.err;
  write("places/manifest.json", good);
  // A shard whose settings differ from the manifest's.
  ok({"create", "places/shard-1.kb", "--force", "--phonetic"});
  result = run({"match", "places", "-"}, "Berlin\n");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_NE(result.err.find("settings differ"), std::string::npos) << result.err;
  // A directory without a manifest is no knowledge base.
  std::filesystem::create_directories(dir.file("empty"));
  EXPECT_EQ(run({"find", "empty", "Berlin"}).exitCode, 4);
}

TEST_F(Match, ShardedDocumentsAreMergedByTheirConfidence) {
  // Each line is one document, kept whole in one shard; all shards share one word knowledge base.
  std::string documents;
  for (const auto& entry : std::filesystem::directory_iterator(sampleDir + "/docs")) {
    std::string text = veskortest::readFileBytes(entry.path().string());
    for (char& c : text) {
      if (c == '\n' || c == '\t') c = ' ';
    }
    documents += entry.path().stem().string() + "\t" + text + "\n";
  }
  write("docs.tsv", documents);
  const std::string built = ok({"shard", "build", "docs", "docs.tsv", "--shards", "3", "--kind", "documents"});
  EXPECT_NE(built.find(" documents"), std::string::npos) << built;
  const auto manifest = nlohmann::json::parse(veskortest::readFileBytes(dir.file("docs/manifest.json")));
  EXPECT_EQ(manifest.at("words"), "words.kb");

  for (const std::string query : {"Honig Bienen", "Wasser", "Stadt Geschichte"}) {
    // What the directory answers is the best of what the shards answer alone, by confidence, ties to
    // the lower shard.
    std::vector<std::pair<double, std::string>> all;
    for (std::size_t s = 0; s < 3; ++s) {
      const std::string file = "docs/" + manifest.at("shards")[s].at("file").get<std::string>();
      const auto hits =
          nlohmann::json::parse(ok({"find-doc", file, query, "--wkb", "docs/words.kb", "-n", "4", "--json"}));
      for (const auto& hit : hits.at("documents")) all.emplace_back(hit.at("confidence"), hit.at("key"));
    }
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    const auto merged = nlohmann::json::parse(ok({"find-doc", "docs", query, "-n", "4", "--json"})).at("documents");
    ASSERT_EQ(merged.size(), std::min<std::size_t>(4, all.size())) << query;
    ASSERT_FALSE(merged.empty()) << query;
    for (std::size_t i = 0; i < merged.size(); ++i) {
      EXPECT_EQ(merged[i].at("key"), all[i].second) << query;
      EXPECT_EQ(merged[i].at("confidence"), all[i].first) << query;
    }
  }
}

}  // namespace
