// veskor build-wa through the binary: the three sources, what it prints, its exit codes, and the
// document search it widens.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "cli/runTool.h"
#include "support/tempDir.h"

namespace {

using clitest::runTool;
using clitest::ToolResult;
using veskortest::TempDir;
using veskortest::writeFileBytes;

const std::string sampleDir = VESKOR_SAMPLE_DIR;
const std::string thesaurusFile = "/usr/share/openthesaurus-de/openthesaurus.txt";

class BuildWaCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ok({"create", "docs.kb", "--kind", "documents"});
    ok({"create", "words.kb", "--kind", "words"});
    std::vector<std::string> args = {"import-docs", "docs.kb", "--wkb", "words.kb"};
    for (const auto& file : std::filesystem::directory_iterator(sampleDir + "/docs")) {
      args.push_back(file.path().string());
    }
    ok(args);
  }

  ToolResult run(const std::vector<std::string>& args) { return runTool(args, dir.path().string()); }
  std::string ok(const std::vector<std::string>& args) {
    const ToolResult result = run(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }
  // The documents a search finds, best first; their confidences in confidences.
  std::vector<std::string> documents(const std::string& query, const std::string& wa = "") {
    std::vector<std::string> args = {"find-doc", "docs.kb", query, "--wkb", "words.kb", "--json"};
    if (!wa.empty()) args.insert(args.end(), {"--wa", wa, "--associate"});
    std::vector<std::string> keys;
    sentences.clear();
    const nlohmann::json found = nlohmann::json::parse(ok(args));
    for (const auto& d : found["documents"]) {
      keys.push_back(d["key"]);
      for (const auto& sentence : d["sentences"]) {
        sentences.push_back(d["key"].get<std::string>() + "@" +
                            std::to_string(sentence["offset"].get<int>()));
      }
    }
    return keys;
  }
  // "key@offset" of the matching sentences of the last search.
  std::vector<std::string> sentences;
  // Standard output with the build time taken out.
  std::string built(const std::vector<std::string>& args) {
    return std::regex_replace(ok(args), std::regex(R"(\(\d+\.\d\d s\))"), "(T s)");
  }

  TempDir dir;
};

TEST_F(BuildWaCli, PairsFileWidensADocumentSearch) {
  writeFileBytes(dir.file("pairs.tsv"), "Velo\tFahrrad\n\nVelo\tZweirad\t0.5\r\n");
  EXPECT_EQ(built({"build-wa", "bike.wa", "--pairs", "pairs.tsv", "--wkb", "words.kb"}),
            "built bike.wa: 3 words, 2 links from pairs.tsv (T s)\nregistered 2 new words in words.kb\n");
  for (const char* file : {"bike.wa", "bike.wa.v1.net", "bike.wa.v1.tab"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.file(file))) << file;
  }
  // "Ein platter Reifen ist die häufigste Panne am Fahrrad." has no word like Velo.
  const auto holdsFahrrad = [this] {
    return std::count(sentences.begin(), sentences.end(), "fahrrad@0") == 1;
  };
  documents("Velo");
  EXPECT_FALSE(holdsFahrrad());
  EXPECT_EQ(documents("Velo", "bike.wa").at(0), "fahrrad");
  EXPECT_TRUE(holdsFahrrad());
}

TEST_F(BuildWaCli, ExitCodesAndTheLinesAtFault) {
  const auto fails = [&](const std::vector<std::string>& args, int exitCode, const std::string& message) {
    const ToolResult result = run(args);
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wa")));
  };
  writeFileBytes(dir.file("pairs.tsv"), "Honig\tImker\n");
  fails({"build-wa", "out.wa"}, 2, "name exactly one source");
  fails({"build-wa", "out.wa", "--pairs", "pairs.tsv", "--from-docs", "docs.kb"}, 2,
        "name exactly one source");
  fails({"build-wa", "out.wa", "--from-docs", "docs.kb", "--min-count", "0"}, 2, "--min-count");
  fails({"build-wa", "out.wa", "--pairs", "none.tsv"}, 4, "none.tsv: cannot be opened");
  fails({"build-wa", "out.wa", "--pairs", "pairs.tsv", "--wkb", "none.kb"}, 4, "engine status 4");
  fails({"build-wa", "missing/out.wa", "--pairs", "pairs.tsv"}, 4, "engine status 4");

  writeFileBytes(dir.file("bad.tsv"), "Honig\tImker\nHonig Imker\n");
  fails({"build-wa", "out.wa", "--pairs", "bad.tsv"}, 4, "bad.tsv:2: expected word<TAB>word");
  writeFileBytes(dir.file("bad.tsv"), "Honig\tImker\tviel\n");
  fails({"build-wa", "out.wa", "--pairs", "bad.tsv"}, 4,
        "bad.tsv:1: weight \"viel\" is not a number above 0");
  writeFileBytes(dir.file("bad.tsv"), "Honig\tImker\nWabe\t\n");
  fails({"build-wa", "out.wa", "--pairs", "bad.tsv"}, 4, "bad.tsv:2: empty word");
  writeFileBytes(dir.file("bad.tsv"), "Honig\tImker\n\nWabe\tSchoko\xC3\x28\n");
  fails({"build-wa", "out.wa", "--pairs", "bad.tsv"}, 4, "bad.tsv:3");
  // What the engine refuses is named by its line too.
  writeFileBytes(dir.file("bad.tsv"), "Honig\tImker\n\nImker\tHonig\n");
  fails({"build-wa", "out.wa", "--pairs", "bad.tsv"}, 4,
        "bad.tsv:3: engine status 1: error: pPairs[1] repeats the pair of pPairs[0]");
  writeFileBytes(dir.file("bad.tsv"), "Honig\tzwei Worte\n");
  fails({"build-wa", "out.wa", "--pairs", "bad.tsv"}, 4,
        "bad.tsv:1: engine status 1: error: pPairs[0].word2");
}

TEST_F(BuildWaCli, ThesaurusGroupsLinkTheirWords) {
  writeFileBytes(dir.file("thesaurus.txt"),
                 "# synonym groups\n"
                 "Fahrrad;Velo (schweiz.);(ugs.) Drahtesel;mit dem Rad fahren\n"
                 "Auto;Wagen;Karre (ugs.);Kraftfahrzeug\n"
                 "Velo;Fahrrad\n"
                 "Caf\xC3\xA9;Kaffee\n");
  EXPECT_EQ(built({"build-wa", "syn.wa", "--thesaurus", "thesaurus.txt", "--wkb", "words.kb"}),
            "built syn.wa: 7 words, 9 links from thesaurus.txt (T s)\n"
            "left out 1 phrase and 1 pair that are no single words\n"
            "registered 6 new words in words.kb\n");
  EXPECT_EQ(documents("Drahtesel", "syn.wa").at(0), "fahrrad");
}

TEST_F(BuildWaCli, DocumentsPairTheirWords) {
  const std::string out = built({"build-wa", "docs.wa", "--from-docs", "docs.kb", "--wkb", "words.kb"});
  EXPECT_TRUE(
      std::regex_match(out, std::regex("built docs.wa: \\d+ words, \\d+ links from docs.kb \\(T s\\)\n"
                                       "registered 0 new words in words.kb\n")))
      << out;
  const ToolResult entries = run({"build-wa", "x.wa", "--from-docs", "words.kb"});
  EXPECT_EQ(entries.exitCode, 3) << entries.err;
  EXPECT_NE(entries.err.find("engine status 18"), std::string::npos) << entries.err;
}

TEST_F(BuildWaCli, TheGermanThesaurusWidensTheSampleDocuments) {
  if (!std::filesystem::exists(thesaurusFile)) {
    GTEST_SKIP() << thesaurusFile << " is missing (Debian package openthesaurus-de-text, installed by "
                 << "scripts/install-deps)";
  }
  const std::string out = ok({"build-wa", "thesaurus.wa", "--thesaurus", thesaurusFile, "--wkb", "words.kb"});
  std::smatch words;
  ASSERT_TRUE(std::regex_search(out, words, std::regex("built thesaurus.wa: (\\d+) words"))) << out;
  EXPECT_GT(std::stoi(words[1]), 50000);
  // Drahtesel is in no document; now in the word knowledge base, it finds nothing by itself.
  EXPECT_TRUE(documents("Drahtesel").empty());
  EXPECT_EQ(documents("Drahtesel", "thesaurus.wa").at(0), "fahrrad");
  EXPECT_EQ(documents("Bienenzüchter", "thesaurus.wa").at(0), "bienen");
}

}  // namespace
