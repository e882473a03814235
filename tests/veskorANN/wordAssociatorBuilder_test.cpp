#include "veskorANN/wordAssociatorBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "support/raises.h"
#include "support/tempDir.h"
#include "veskorANN/wordAssociator.h"

namespace {

namespace fs = std::filesystem;
using veskortest::messageHead;
using veskortest::raisedBy;
using veskortest::readFileBytes;
using veskortest::TempDir;

// Associations of one word of activity 1 after the given number of updates.
std::map<std::string, double> associationsOf(const wordAssociator* wa, const char* word, int32_t iterations) {
  orl::VectorPtr words(vector_create(sizeof(wordWeight), 1, 1));
  wordWeight query{const_cast<char*>(word), 1.0};
  vector_appendElement(words.get(), &query);
  orl::WordWeightsPtr result(wordAssociator_computeAssociations(wa, words.get(), nullptr, iterations));
  std::map<std::string, double> out;
  for (int32_t i = 0; i < vector_getNumberElements(result.get()); ++i) {
    const wordWeight& w = orl::vectorAt<wordWeight>(result.get(), i);
    out[w.word] = w.weight;
  }
  return out;
}

std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Honig is linked strongly with Imker, four times more weakly with Biene; Biene with Wabe.
const std::vector<std::string> kWords = {"_HONIG_", "_IMKER_", "_BIENE_", "_WABE_", "_BROT_"};
const std::vector<wordAssociatorLink> kLinks = {{0, 1, 8.0}, {0, 2, 2.0}, {2, 3, 8.0}};

TEST(WordAssociatorBuilder, BuildsWhatTheLoaderReadsAndAssociatesAsIntended) {
  TempDir dir;
  const std::string file = dir.file("bees");
  wordAssociator_build(file.c_str(), kWords, kLinks, {});
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"bees", "bees.v1.net", "bees.v1.tab"}));
  EXPECT_EQ(readFileBytes(file), std::string("WASE\x01\0\0\0\0\0\0\0", 12));
  std::string table("WALT\x05\0\0\0", 8);
  for (const std::string& word : kWords)
    table += std::string(1, static_cast<char>(word.size())) + std::string(3, '\0') + word;
  EXPECT_EQ(readFileBytes(file + ".v1.tab"), table);

  orl::WordAssociatorPtr wa(wordAssociator_createFromFile(file.c_str()));
  ASSERT_EQ(annNetwork_getNumberNeurons(wa->network.get()), 5);
  const annNeuronTypeParameters p = wa->network->neuronTypes[0].parameters;
  const annNeuronTypeParameters expected = wordAssociatorBuilder_neuronType();
  EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
  EXPECT_TRUE(annSparseIndex_isUsable(wa->sparseIndex.get()));

  // One step: the strongest link gives 1 / 1.1, a quarter as strong 0.25 / 0.35; Wabe is two
  // links away and Brot unlinked, so neither is active.
  const std::map<std::string, double> honig = associationsOf(wa.get(), "_HONIG_", 1);
  ASSERT_EQ(honig.size(), 2u);
  EXPECT_EQ(honig.at("_IMKER_"), static_cast<double>(wordAssociatorBuilder_activity(1.0f)));
  EXPECT_EQ(honig.at("_BIENE_"), static_cast<double>(wordAssociatorBuilder_activity(0.25f)));
  EXPECT_NEAR(honig.at("_IMKER_"), 1 / 1.1, 1e-6);
  EXPECT_NEAR(honig.at("_BIENE_"), 0.25 / 0.35, 1e-6);
  // Links work both ways.
  EXPECT_EQ(associationsOf(wa.get(), "_WABE_", 1),
            (std::map<std::string, double>{{"_BIENE_", honig.at("_IMKER_")}}));
  EXPECT_TRUE(associationsOf(wa.get(), "_BROT_", 1).empty());
}

TEST(WordAssociatorBuilder, ALongComputationComesToRest) {
  TempDir dir;
  // A clique of six words and a chain of thirty hanging off it.
  std::vector<std::string> words;
  std::vector<wordAssociatorLink> links;
  for (int32_t i = 0; i < 36; ++i) words.push_back("_W" + std::to_string(i) + "_");
  for (int32_t a = 0; a < 6; ++a) {
    for (int32_t b = a + 1; b < 6; ++b) links.push_back({a, b, 1.0});
  }
  for (int32_t i = 6; i < 36; ++i) links.push_back({i - 1, i, 1.0});
  const std::string file = dir.file("wa");
  wordAssociator_build(file.c_str(), words, links, {});
  orl::WordAssociatorPtr wa(wordAssociator_createFromFile(file.c_str()));

  std::vector<annStateEntry> oldState(words.size()), newState(words.size());
  annState state{oldState.data(), newState.data(), static_cast<int32_t>(words.size())};
  orl::VectorPtr query(vector_create(sizeof(wordWeight), 1, 1));
  wordWeight first{words[0].data(), 1.0};
  vector_appendElement(query.get(), &first);
  wordAssociator_setState(wa.get(), &state, query.get());
  int32_t steps = 0;
  bool stable = false;
  while (!stable && steps < 100) {
    ASSERT_EQ(annNetwork_computeLayer(wa->network.get(), 0, &state), kAnnOk);
    ++steps;
    stable = wordAssociator_stableStateReached(wa.get(), &state);
    ASSERT_EQ(annNetwork_copyLayerState(wa->network.get(), 0, &state), kAnnOk);
  }
  EXPECT_TRUE(stable);
  EXPECT_LT(steps, 100);
  // The activity went all the way down the chain before the words tired.
  EXPECT_NE(newState[35].sc_mp_off, 0.0f);
}

TEST(WordAssociatorBuilder, RefusesBadInputAndWritesNothing) {
  TempDir dir;
  const std::string file = dir.file("wa");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::pair<std::vector<std::string>, std::vector<wordAssociatorLink>>> bad = {
      {{"_A_", ""}, {{0, 1, 1.0}}},                  // an empty word
      {{"_A_", "_A_"}, {{0, 1, 1.0}}},               // a word twice
      {{"_A_", "_B_"}, {{0, 0, 1.0}}},               // a word linked with itself
      {{"_A_", "_B_"}, {{0, 2, 1.0}}},               // no such word
      {{"_A_", "_B_"}, {{0, 1, 0.0}}},               // weight 0
      {{"_A_", "_B_"}, {{0, 1, -1.0}}},              // negative weight
      {{"_A_", "_B_"}, {{0, 1, nan}}},               // no number
      {{"_A_", "_B_"}, {{0, 1, 1.0}, {1, 0, 2.0}}},  // one pair linked twice
  };
  for (const auto& [words, links] : bad) {
    const orl::Exception e = raisedBy([&] { wordAssociator_build(file.c_str(), words, links, {}); });
    EXPECT_EQ(e.group(), 16);
    EXPECT_EQ(e.code(), 1);
    EXPECT_TRUE(filesIn(dir.path()).empty());
  }
  const orl::Exception e = raisedBy([&] { wordAssociator_build(nullptr, kWords, kLinks, {}); });
  EXPECT_EQ(messageHead(e), "pFileName == NULL in wordAssociator_build()");
}

TEST(WordAssociatorBuilder, AFailureLeavesNoFileOfTheAssociatorBehind) {
  TempDir dir;
  // A directory that does not exist.
  const orl::Exception missing =
      raisedBy([&] { wordAssociator_build(dir.file("none/wa").c_str(), kWords, kLinks, {}); });
  EXPECT_EQ(missing.group(), 5000);
  EXPECT_EQ(missing.code(), 6);

  // An old associator stays as it was when the step before the replacement fails.
  const std::string file = dir.file("wa");
  wordAssociator_build(file.c_str(), {"_X_", "_Y_"}, {{0, 1, 1.0}}, {});
  const std::string oldTable = readFileBytes(file + ".v1.tab");
  raisedBy([&] { wordAssociator_build(file.c_str(), kWords, kLinks, [] { ORL_RAISE(1, 1, "no memory"); }); });
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"wa", "wa.v1.net", "wa.v1.tab"}));
  EXPECT_EQ(readFileBytes(file + ".v1.tab"), oldTable);

  // The header cannot take its place: the network file and the word table already replaced go.
  const std::string blocked = dir.file("blocked");
  raisedBy([&] {
    wordAssociator_build(blocked.c_str(), kWords, kLinks, [&] {
      fs::create_directory(blocked);
      veskortest::writeFileBytes(blocked + "/keep", "x");
    });
  });
  EXPECT_FALSE(fs::exists(blocked + ".v1.net"));
  EXPECT_FALSE(fs::exists(blocked + ".v1.tab"));
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"blocked", "wa", "wa.v1.net", "wa.v1.tab"}));

  // A write that fails half-way.
  stream_setWriteFailureAfter(100);
  raisedBy([&] { wordAssociator_build(dir.file("half").c_str(), kWords, kLinks, {}); });
  stream_setWriteFailureAfter(-1);
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"blocked", "wa", "wa.v1.net", "wa.v1.tab"}));
}

}  // namespace
