// Building word associators through the exported functions: what they write and register, a
// document search widened by a built associator, and every kind of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "support/tempDir.h"
#include "veskor/veskorExt.h"

namespace {

namespace fs = std::filesystem;

const char* const kFahrrad =
    "Ein platter Reifen ist die h\xE4ufigste Panne am Fahrrad. Der Schlauch wird geflickt.";
const char* const kBienen = "Der Imker erntet den Honig. Die Bienen fliegen aus.";

class BuildWA : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&connection_), VESKOR_OK);
    openKB("documents.kb", "docs", 1, 0);
    openKB("words.kb", "wkb", 0, 1);
    ASSERT_EQ(veskorAddDocument(connection_, "wkb", "docs", "fahrrad", kFahrrad), VESKOR_OK);
    ASSERT_EQ(veskorAddDocument(connection_, "wkb", "docs", "bienen", kBienen), VESKOR_OK);
  }
  void TearDown() override { EXPECT_EQ(veskorCleanup(), VESKOR_OK); }

  void openKB(const std::string& file, const char* name, int forDocuments, int kind) {
    ASSERT_EQ(veskorCreateKBFile(connection_, dir_.file(file).c_str(), 1, forDocuments, kind), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(connection_, dir_.file(file).c_str(), name), VESKOR_OK);
  }

  int build(const std::string& file, const std::vector<veskorWordPair>& pairs, const char* wkb = nullptr,
            int options = 0) {
    return veskorBuildWA(connection_, dir_.file(file).c_str(), pairs.data(), static_cast<int>(pairs.size()),
                         wkb, options, &info_);
  }

  // The latest error's message without the raising source position.
  std::string message() {
    char* text = veskorGetLatestErrorMessage(connection_);
    std::string m = text != nullptr ? text : "";
    std::free(text);
    return m.substr(0, m.find("\nin file \""));
  }

  // The keys of the sentences the search finds, best first; their confidences in confidences_.
  std::vector<std::string> sentencesFound(const char* wa, int associationMode, const char* query) {
    veskorSearchHits* hits = veskorFindEntry(connection_, "wkb", "docs", wa, 50, associationMode, 0, query);
    std::vector<std::string> keys;
    confidences_.clear();
    EXPECT_NE(hits, nullptr) << message();
    if (hits == nullptr) return keys;
    for (int i = 0; i < hits->numberHits; ++i) {
      keys.push_back(hits->hits[i].primaryKey);
      confidences_.push_back(hits->hits[i].confidence);
    }
    EXPECT_EQ(veskorFreeSearchHits(connection_, hits), VESKOR_OK);
    return keys;
  }
  double confidenceOf(const std::string& key, const std::vector<std::string>& keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == key) return confidences_[i];
    }
    return 0.0;
  }

  std::vector<std::string> filesInDir() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  veskortest::TempDir dir_;
  int connection_ = 0;
  veskorWABuildInfo info_{};
  std::vector<double> confidences_;
};

TEST_F(BuildWA, ASearchFindsASentenceOnlyThroughAnAssociation) {
  const std::vector<std::string> fahrradSentence = {"fahrrad?000000?000000?000054"};
  // No document holds Velo, and no word of theirs looks like it.
  EXPECT_TRUE(sentencesFound(nullptr, 0, "Velo").empty());

  // Without registration the word knowledge base does not know Velo, so the associator is never
  // asked about it.
  ASSERT_EQ(build("unregistered.wa", {{"Velo", "Fahrrad", 1.0}}), VESKOR_OK) << message();
  ASSERT_EQ(veskorOpenWA(connection_, dir_.file("unregistered.wa").c_str(), "unregistered"), VESKOR_OK);
  EXPECT_TRUE(sentencesFound("unregistered", 2, "Velo").empty());

  ASSERT_EQ(build("bike.wa", {{"Velo", "Fahrrad", 1.0}, {"Velo", "Zweirad", 0.5}}, "wkb"), VESKOR_OK)
      << message();
  EXPECT_EQ(info_.numberWords, 3);
  EXPECT_EQ(info_.numberLinks, 2);
  EXPECT_EQ(info_.numberSkippedPairs, 0);
  EXPECT_EQ(info_.numberRegisteredWords, 2);  // Fahrrad came with its document
  EXPECT_EQ(info_.badPair, -1);
  ASSERT_EQ(veskorOpenWA(connection_, dir_.file("bike.wa").c_str(), "bike"), VESKOR_OK);
  EXPECT_TRUE(sentencesFound("bike", 0, "Velo").empty());
  EXPECT_EQ(sentencesFound("bike", 2, "Velo"), fahrradSentence);
  EXPECT_EQ(sentencesFound("bike", 2, "velo"), fahrradSentence);

  veskorDocumentSearchHits* documents =
      veskorFindDocument(connection_, "wkb", "docs", "bike", 5, 2, 0, "Velo");
  ASSERT_NE(documents, nullptr);
  ASSERT_EQ(documents->numberHits, 1);
  EXPECT_STREQ(documents->hits[0].primaryKey, "fahrrad");
  EXPECT_EQ(veskorFreeDocumentSearchHits(connection_, documents), VESKOR_OK);

  // The registered words are saved with the word knowledge base.
  ASSERT_EQ(veskorSaveKB(connection_, "wkb"), VESKOR_OK);
  ASSERT_EQ(veskorCloseKB(connection_, "wkb"), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(connection_, dir_.file("words.kb").c_str(), "wkb"), VESKOR_OK);
  EXPECT_EQ(sentencesFound("bike", 2, "Velo"), fahrradSentence);
}

TEST_F(BuildWA, BadInputFailsWithItsStatusAndMessageAndWritesNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::vector<veskorWordPair> pairs;
    int status;
    std::string message;
    int badPair;
  };
  const Case cases[] = {
      {{{"Honig", "Imker", 1.0}, {"Honig", "", 1.0}},
       1,
       "error: pPairs[1].word2 is empty in veskorBuildWA()",
       1},
      {{{nullptr, "Imker", 1.0}}, 1, "error: pPairs[0].word1 == NULL in veskorBuildWA()", 0},
      {{{"Honig", "Imker", 0.0}},
       1,
       "error: pPairs[0].weight is not a finite number above 0 in veskorBuildWA()",
       0},
      {{{"Honig", "Imker", -2.0}},
       1,
       "error: pPairs[0].weight is not a finite number above 0 in veskorBuildWA()",
       0},
      {{{"Honig", "Imker", nan}},
       1,
       "error: pPairs[0].weight is not a finite number above 0 in veskorBuildWA()",
       0},
      {{{"Honig", "Imker", inf}},
       1,
       "error: pPairs[0].weight is not a finite number above 0 in veskorBuildWA()",
       0},
      {{{"Honig", "zwei Worte", 1.0}},
       1,
       "error: pPairs[0].word2 \"zwei Worte\" is not a word of letters in veskorBuildWA()",
       0},
      // One word to the search, whatever its case or framing punctuation.
      {{{"Honig", "(honig,", 1.0}}, 1, "error: pPairs[0] links \"Honig\" with itself in veskorBuildWA()", 0},
      {{{"Honig", "Biene", 1.0}, {"Imker", "Biene", 1.0}, {"biene", "honig", 2.0}},
       1,
       "error: pPairs[2] repeats the pair of pPairs[0], \"biene\" and \"honig\", in veskorBuildWA()",
       2},
      {{}, 1, "error: no pair of words to link in veskorBuildWA()", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(build("bad.wa", c.pairs, "wkb"), c.status) << c.message;
    EXPECT_EQ(veskorGetLatestErrorCode(connection_), c.status);
    EXPECT_EQ(message(), c.message);
    EXPECT_EQ(info_.badPair, c.badPair) << c.message;
  }

  const veskorWordPair pair{"Honig", "Imker", 1.0};
  EXPECT_EQ(veskorBuildWA(connection_, dir_.file("x.wa").c_str(), &pair, -1, nullptr, 0, nullptr), 1);
  EXPECT_EQ(message(), "error: pNumberPairs < 0 in veskorBuildWA()");
  EXPECT_EQ(veskorBuildWA(connection_, dir_.file("x.wa").c_str(), nullptr, 1, nullptr, 0, nullptr), 1);
  EXPECT_EQ(message(), "error: pPairs == NULL in veskorBuildWA()");
  EXPECT_EQ(veskorBuildWA(connection_, nullptr, &pair, 1, nullptr, 0, nullptr), 1);
  EXPECT_EQ(message(), "error: pWAFileName == NULL in veskorBuildWA()");
  EXPECT_EQ(veskorBuildWA(connection_, dir_.file("x.wa").c_str(), &pair, 1, nullptr, 6, nullptr), 1);
  EXPECT_EQ(message(), "error: unknown options 6 in veskorBuildWA()");
  EXPECT_EQ(veskorBuildWA(connection_, " ", &pair, 1, nullptr, 0, nullptr), VESKOR_ERROR_FILENAME);
  EXPECT_EQ(veskorBuildWA(connection_, dir_.file("no/such/dir/x.wa").c_str(), &pair, 1, nullptr, 0, nullptr),
            VESKOR_ERROR_FILE);
  EXPECT_EQ(veskorBuildWA(connection_, dir_.file("x.wa").c_str(), &pair, 1, "nowkb", 0, nullptr),
            VESKOR_ERROR_KBNAME);
  EXPECT_EQ(veskorBuildWA(connection_, dir_.file("x.wa").c_str(), &pair, 1, "docs", 0, nullptr),
            VESKOR_ERROR_FEATURE_TYPE);
  EXPECT_EQ(message(), "error: invalid feature type of word knowledge base in veskorBuildWA()");
  EXPECT_EQ(veskorBuildWA(connection_ + 1, dir_.file("x.wa").c_str(), &pair, 1, nullptr, 0, nullptr),
            VESKOR_ERROR_IDENTIFIER);

  EXPECT_EQ(filesInDir(), (std::vector<std::string>{"documents.kb", "words.kb"}));
}

TEST_F(BuildWA, LenientBuildsLeaveOutWhatIsNoPairOfWords) {
  const std::vector<veskorWordPair> pairs = {{"Honig", "Imker", 1.0},   {"Honig", "zwei Worte", 1.0},
                                             {"Honig", "honig", 1.0},   {"imker", "HONIG", 3.0},
                                             {"Biene", "Caf\xE9", 1.0}, {"Biene", "Wabe", 1.0}};
  ASSERT_EQ(build("lenient.wa", pairs, nullptr, VESKOR_WA_LENIENT), VESKOR_OK) << message();
  EXPECT_EQ(info_.numberWords, 4);
  EXPECT_EQ(info_.numberLinks, 2);
  EXPECT_EQ(info_.numberSkippedPairs, 3);
  EXPECT_EQ(info_.numberRegisteredWords, 0);
  // Bad texts and weights are the caller's mistakes even so.
  EXPECT_EQ(build("lenient.wa", {{"Honig", "", 1.0}}, nullptr, VESKOR_WA_LENIENT), 1);
  EXPECT_EQ(build("lenient.wa", {{"Honig", "Imker", 0.0}}, nullptr, VESKOR_WA_LENIENT), 1);
  EXPECT_EQ(build("lenient.wa", {{"Honig", "zwei Worte", 1.0}}, nullptr, VESKOR_WA_LENIENT), 1);
  EXPECT_EQ(message(), "error: no pair of words to link in veskorBuildWA()");
}

TEST_F(BuildWA, FromDocumentsPairsWordsThatShareSentences) {
  ASSERT_EQ(veskorAddDocument(connection_, "wkb", "docs", "honig",
                              "Der Imker erntet Honig. Der Imker pflegt Honig. Frischer Honig schmeckt."),
            VESKOR_OK);
  ASSERT_EQ(
      veskorBuildWAFromDocuments(connection_, dir_.file("docs.wa").c_str(), "docs", "wkb", 2, 5, &info_),
      VESKOR_OK)
      << message();
  EXPECT_GT(info_.numberLinks, 0);
  EXPECT_EQ(info_.numberRegisteredWords, 0);  // every word came with the documents
  ASSERT_EQ(veskorOpenWA(connection_, dir_.file("docs.wa").c_str(), "docs.wa"), VESKOR_OK);
  // Imker and Honig share three sentences: the sentence with Honig alone gains by the association.
  const std::string honigAlone = "honig?000002?000047?000025";
  const double without = confidenceOf(honigAlone, sentencesFound("docs.wa", 0, "Imker"));
  const double with = confidenceOf(honigAlone, sentencesFound("docs.wa", 2, "Imker"));
  EXPECT_GT(with, without + 0.1);

  EXPECT_EQ(
      veskorBuildWAFromDocuments(connection_, dir_.file("x.wa").c_str(), "docs", nullptr, 0, 5, nullptr),
      VESKOR_ERROR_OUT_OF_BOUNDS);
  EXPECT_EQ(message(), "error: pMinCount < 1 in veskorBuildWAFromDocuments()");
  EXPECT_EQ(
      veskorBuildWAFromDocuments(connection_, dir_.file("x.wa").c_str(), "docs", nullptr, 2, 0, nullptr),
      VESKOR_ERROR_OUT_OF_BOUNDS);
  EXPECT_EQ(message(), "error: pNeighbours < 1 in veskorBuildWAFromDocuments()");
  EXPECT_EQ(
      veskorBuildWAFromDocuments(connection_, dir_.file("x.wa").c_str(), "docs", nullptr, 50, 5, nullptr),
      VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_EQ(message(), "error: no pair of words to link in veskorBuildWAFromDocuments()");
  EXPECT_EQ(veskorBuildWAFromDocuments(connection_, dir_.file("x.wa").c_str(), "wkb", nullptr, 2, 5, nullptr),
            VESKOR_ERROR_FEATURE_TYPE);
  EXPECT_EQ(
      veskorBuildWAFromDocuments(connection_, dir_.file("x.wa").c_str(), "nokb", nullptr, 2, 5, nullptr),
      VESKOR_ERROR_KBNAME);
  EXPECT_EQ(
      veskorBuildWAFromDocuments(connection_, dir_.file("x.wa").c_str(), nullptr, nullptr, 2, 5, nullptr),
      VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_EQ(veskorBuildWAFromDocuments(connection_, dir_.file("x.wa").c_str(), "docs", "docs", 2, 5, nullptr),
            VESKOR_ERROR_FEATURE_TYPE);
  EXPECT_FALSE(fs::exists(dir_.file("x.wa")));
}

TEST(BuildWAOutsideTheLibrary, NotInitialised) {
  const veskorWordPair pair{"Honig", "Imker", 1.0};
  EXPECT_EQ(veskorBuildWA(0, "x.wa", &pair, 1, nullptr, 0, nullptr), VESKOR_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(veskorBuildWAFromDocuments(0, "x.wa", "docs", nullptr, 2, 5, nullptr),
            VESKOR_ERROR_NOT_INITIALIZED);
  EXPECT_FALSE(fs::exists("x.wa"));
}

}  // namespace
