// Searching through the exported functions of libveskoreng.so: argument checks and their
// messages, entry and document searches, comparisons, the result lists and their release.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskor/veskorAPI.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

const char* const kSource = "\nin file \"veskorAPI/veskorAPIFind.cpp\" line ";

// Zebra, Wolf and Tiger documents, a knowledge base of single entries, a word knowledge base
// filled by the documents, and a word associator that links AUTO to WAGEN.
class Find : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&connection_), VESKOR_OK);
    openKB("documents.kb", "docs", 1, 0);
    openKB("entries.kb", "akb", 0, 0);
    openKB("words.kb", "wkb", 0, 1);
    addDocument("D1", kZebra);
    addDocument("D2", "Der Wolf heult. Der Tiger jagt.");
    addDocument("D3", "Ein Auto steht. Der Wagen rollt.");
    addDocument("D4", "Der Autowagen rollt.");
    for (const char* entry : {"Maus", "Haus", "Hausboot"}) {
      ASSERT_EQ(veskorAddEntry(connection_, nullptr, "akb", entry, entry), VESKOR_OK);
    }
    veskortest::WordAssociatorFixture wa({"_AUTO_", "_WAGEN_"});
    wa.connect("_AUTO_", "_WAGEN_", 9.0f);
    wa.write(dir_.file("wa"));
    ASSERT_EQ(veskorOpenWA(connection_, dir_.file("wa").c_str(), "wa"), VESKOR_OK);
  }
  void TearDown() override { EXPECT_EQ(veskorCleanup(), VESKOR_OK); }

  void openKB(const std::string& file, const char* name, int forDocuments, int kind) {
    ASSERT_EQ(veskorCreateKBFile(connection_, dir_.file(file).c_str(), 1, forDocuments, kind), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(connection_, dir_.file(file).c_str(), name), VESKOR_OK);
  }
  void addDocument(const char* key, const char* text) {
    ASSERT_EQ(veskorAddDocument(connection_, "wkb", "docs", key, text), VESKOR_OK);
  }

  // "key confidence" per hit; the list is given back.
  std::vector<std::string> entries(veskorSearchHits* hits) {
    std::vector<std::string> shown;
    EXPECT_NE(hits, nullptr);
    if (hits == nullptr) return shown;
    char line[256];
    for (int i = 0; i < hits->numberHits; ++i) {
      std::snprintf(line, sizeof line, "%s %.4f", hits->hits[i].primaryKey, hits->hits[i].confidence);
      shown.push_back(line);
    }
    EXPECT_EQ(veskorFreeSearchHits(connection_, hits), VESKOR_OK);
    return shown;
  }

  // "key confidence" per document and "offset+length confidence" per sentence.
  std::vector<std::string> documents(veskorDocumentSearchHits* hits) {
    std::vector<std::string> shown;
    EXPECT_NE(hits, nullptr);
    if (hits == nullptr) return shown;
    char line[256];
    for (int i = 0; i < hits->numberHits; ++i) {
      const veskorDocumentSearchHit& d = hits->hits[i];
      std::snprintf(line, sizeof line, "%s %.4f", d.primaryKey, d.confidence);
      shown.push_back(line);
      for (int s = 0; s < d.numberSentenceHits; ++s) {
        std::snprintf(line, sizeof line, "  %d+%d %.3f", d.sentenceHits[s].offset, d.sentenceHits[s].length,
                      d.sentenceHits[s].confidence);
        shown.push_back(line);
      }
    }
    EXPECT_EQ(veskorFreeDocumentSearchHits(connection_, hits), VESKOR_OK);
    return shown;
  }

  // The call returned null, and the latest error holds the status and the message followed by
  // this file's location suffix.
  void expectFailure(const void* result, int status, const std::string& message = "", const char* source = kSource) {
    EXPECT_EQ(result, nullptr) << message;
    EXPECT_EQ(veskorGetLatestErrorCode(connection_), status) << message;
    if (message.empty()) return;
    char* latest = veskorGetLatestErrorMessage(connection_);
    ASSERT_NE(latest, nullptr);
    EXPECT_EQ(std::string(latest).rfind(message + source, 0), 0u) << latest;
    free(latest);
  }

  static constexpr const char* kZebra = "Das Zebra frisst. Das Zebra schl\xE4" "ft.";
  veskortest::TempDir dir_;
  int connection_ = -1;
};

// The threaded cases (their suite name marks them for the ThreadSanitizer run).
class FindConcurrency : public Find {};

}  // namespace

TEST_F(Find, ChecksInOrderWithTheirMessages) {
  const std::string hits = "error: pMaxNumberHits <= 0 || pMaxNumberHits > VESKOR_MAX_NUMBER_RESULTS in ";
  expectFailure(veskorFindEntry(connection_, nullptr, "akb", nullptr, 10, 0, 0, nullptr), 1,
                "error: pWKBName == NULL || pAKBName == NULL in veskorFindEntry()");
  // The word associator is checked before the seek text.
  expectFailure(veskorFindEntry(connection_, "wkb", "akb", nullptr, 10, 1, 0, nullptr), 1,
                "error: pWAName == NULL in veskorFindEntry()");
  expectFailure(veskorFindEntry(connection_, "wkb", "akb", nullptr, 0, 5, 0, nullptr), 1,
                "error: pSeekString == NULL in veskorFindEntry()");
  expectFailure(veskorFindEntry(connection_, "wkb", "akb", nullptr, 0, 0, 0, "Haus"), 12, hits + "veskorFindEntry()");
  expectFailure(veskorFindEntry(connection_, "wkb", "akb", nullptr, 501, 0, 0, "Haus"), 12,
                hits + "veskorFindEntry()");
  expectFailure(veskorFindEntry(connection_, "wkb", "akb", nullptr, 500, 0, 0, " \t "), 11,
                "error: seek string invalid in veskorFindEntry()");

  expectFailure(veskorFindDocument(connection_, "wkb", nullptr, "wa", 10, 0, 0, "Zebra"), 1,
                "error: pWKBName == NULL || pAKBName == NULL in veskorFindDocument()");
  expectFailure(veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 2, 1, "Zebra"), 1,
                "error: pWAName == NULL in veskorFindDocument()");
  expectFailure(veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 0, 0, nullptr), 1,
                "error: pSeekString == NULL in veskorFindDocument()");
  expectFailure(veskorFindDocument(connection_, "wkb", "docs", nullptr, -3, 0, 0, "Zebra"), 12,
                hits + "veskorFindDocument()");
  expectFailure(veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 0, 0, "\n"), 11,
                "error: seek string invalid in veskorFindDocument()");

  expectFailure(veskorCompareDocument(connection_, nullptr, nullptr, 10, nullptr), 1,
                "error: pWKBName == NULL || pAKBName == NULL in veskorCompareDocument()");
  expectFailure(veskorCompareDocument(connection_, "wkb", "docs", 0, nullptr), 1,
                "error: pTextOfDocument == NULL in veskorCompareDocument()");
  expectFailure(veskorCompareDocument(connection_, "wkb", "docs", 501, "Zebra"), 12,
                hits + "veskorCompareDocument()");
  expectFailure(veskorCompareDocument(connection_, "wkb", "docs", 10, "  "), 11,
                "error: text of document invalid in veskorCompareDocument()");

  // Names that are not open, a closed connection, documents of a knowledge base of entries.
  expectFailure(veskorFindEntry(connection_, "wkb", "nix", nullptr, 10, 0, 0, "Haus"), 7);
  expectFailure(veskorFindEntry(connection_, "nix", "akb", nullptr, 10, 0, 0, "Haus"), 7);
  expectFailure(veskorFindDocument(connection_, "wkb", "docs", "nix", 10, 1, 0, "Zebra"), 19);
  expectFailure(veskorFindEntry(connection_ + 1, "wkb", "akb", nullptr, 10, 0, 0, "Haus"), 15);
  expectFailure(veskorFindDocument(connection_, "wkb", "akb", nullptr, 10, 0, 0, "Haus"), 18,
                "invalid feature type of akb in kbase_seekFileSorted()", "\nin file \"veskorSearch/");
  expectFailure(veskorCompareDocument(connection_, "wkb", "akb", 10, "Haus"), 18);
  EXPECT_EQ(veskorFreeSearchHits(connection_ + 1, nullptr), VESKOR_ERROR_IDENTIFIER);
}

TEST_F(Find, EntriesBestFirst) {
  // Knowledge base of single entries: the kernel's tuple search.
  EXPECT_EQ(entries(veskorFindEntry(connection_, "wkb", "akb", nullptr, 500, 0, 0, "  haus ")),
            (std::vector<std::string>{"Haus 1.0000", "Hausboot 0.7500", "Maus 0.5000"}));
  EXPECT_EQ(entries(veskorFindEntry(connection_, "wkb", "akb", nullptr, 1, 5, 0, "haus")),
            std::vector<std::string>{"Haus 1.0000"});

  // Sentences: DOS letters are read as Latin-1 (0x84 is a), words repeated in many sentences
  // weigh less; the WKB knows frisst and Zebra as they were added.
  std::vector<std::string> zebra =
      entries(veskorFindEntry(connection_, "wkb", "docs", nullptr, 10, 0, 0, "Zebra schl\x84" "ft"));
  // schläft brings the similar words steht (2 of 21 tuples of _SCHLÄFT_) and frisst (1 of 21)
  // before the selection stops: the first sentence gets Zebra 1/2 and frisst 1/42, corrected by
  // 1 - 0.1 sqrt(s) / 2; steht finds D3 with 1/21.
  EXPECT_EQ(zebra, (std::vector<std::string>{"D1?000001?000017?000019 1.0000", "D1?000000?000000?000017 0.5049",
                                             "D3?000000?000000?000015 0.0466"}));

  // Nothing found: an empty list, which the free function accepts.
  veskorSearchHits* none = veskorFindEntry(connection_, "wkb", "docs", nullptr, 10, 0, 0, "Lux");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->numberHits, 0);
  EXPECT_EQ(veskorFreeSearchHits(connection_, none), VESKOR_OK);
  none = veskorFindEntry(connection_, "wkb", "docs", nullptr, 10, 0, 0, "Z");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->numberHits, 0);
  EXPECT_EQ(veskorFreeSearchHits(connection_, none), VESKOR_OK);
  EXPECT_EQ(veskorFreeSearchHits(connection_, nullptr), VESKOR_OK);
  EXPECT_EQ(veskorFreeDocumentSearchHits(connection_, nullptr), VESKOR_OK);
}

TEST_F(Find, AnEntryWithoutKeyComesBackWithAnEmptyKey) {
  // Another writer's file: a knowledge base whose settings let an entry go without a key.
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 1, 1));
  knowledgeBase_addEntry(kb.get(), nullptr, "Hamburg", nullptr, 0.0);
  knowledgeBase_saveAs(kb.get(), dir_.file("keyless.kb").c_str());
  ASSERT_EQ(veskorOpenKB(connection_, dir_.file("keyless.kb").c_str(), "keyless"), VESKOR_OK);
  veskorSearchHits* hits = veskorFindEntry(connection_, "wkb", "keyless", nullptr, 5, 0, 0, "Hamburg");
  ASSERT_NE(hits, nullptr);
  ASSERT_EQ(hits->numberHits, 1);
  ASSERT_NE(hits->hits[0].primaryKey, nullptr);
  EXPECT_STREQ(hits->hits[0].primaryKey, "");
  EXPECT_EQ(veskorFreeSearchHits(connection_, hits), VESKOR_OK);
}

TEST_F(Find, DocumentsWithTheirSentences) {
  // The document's own key; offsets and lengths address the sentences in the added text.
  // Similar words of frisst find the other documents with small scores.
  veskorDocumentSearchHits* hits = veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 0, 0, "Zebra frisst");
  ASSERT_NE(hits, nullptr);
  ASSERT_EQ(hits->numberHits, 4);
  EXPECT_EQ(hits->hits[0].confidence, 1.0);
  EXPECT_STREQ(hits->hits[0].primaryKey, "D1");
  ASSERT_EQ(hits->hits[0].numberSentenceHits, 2);
  const veskorSentenceSearchHit* s = hits->hits[0].sentenceHits;
  EXPECT_EQ(std::string(kZebra + s[0].offset, s[0].length), "Das Zebra frisst.");
  EXPECT_EQ(std::string(kZebra + s[1].offset, s[1].length), " Das Zebra schl\xE4" "ft.");
  EXPECT_EQ(s[0].confidence, 100.0);
  EXPECT_NEAR(s[1].confidence, 50.861, 1e-4);
  EXPECT_LT(hits->hits[1].confidence, 0.1);
  EXPECT_EQ(veskorFreeDocumentSearchHits(connection_, hits), VESKOR_OK);

  EXPECT_TRUE(documents(veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 0, 0, "Lux")).empty());

  // The word associator adds WAGEN to a search for Auto: the second sentence of D3 is found too.
  // (Autowagen shares 9 of the 12 tuples of _AUTO_: 0.75 x (1 - 0.1 sqrt(0.75)).)
  std::vector<std::string> plain = documents(veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 0, 0, "Auto"));
  std::vector<std::string> widened = documents(veskorFindDocument(connection_, "wkb", "docs", "wa", 10, 1, 0, "Auto"));
  EXPECT_EQ(plain, (std::vector<std::string>{"D3 1.0000", "  0+15 100.000", "D4 0.6850", "  0+20 68.505"}));
  ASSERT_EQ(widened.size(), 5u);
  EXPECT_EQ(widened[0], "D3 1.0000");
  EXPECT_EQ(widened[2].substr(0, 8), "  15+17 ");

  // Compound splitting works together with the association mode only: Autowagen is then also
  // searched as Auto and wagen with weight 0.9.
  auto d3 = [](const std::vector<std::string>& shown) {
    for (const std::string& line : shown) {
      if (line.rfind("D3 ", 0) == 0) return std::stod(line.substr(3));
    }
    return 0.0;
  };
  std::vector<std::string> whole = documents(veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 0, 0, "Autowagen"));
  EXPECT_EQ(documents(veskorFindDocument(connection_, "wkb", "docs", nullptr, 10, 0, 1, "Autowagen")), whole);
  std::vector<std::string> split = documents(veskorFindDocument(connection_, "wkb", "docs", "wa", 10, 2, 1, "Autowagen"));
  EXPECT_EQ(whole[0], "D4 1.0000");
  EXPECT_EQ(split[0], "D4 1.0000");
  EXPECT_NEAR(d3(split), 0.9 * (1 - 0.1 * std::sqrt(0.9)), 1e-4);
  EXPECT_LT(d3(whole), 0.5);

  // A comparison finds the document whose rare words it shares.
  std::vector<std::string> compared =
      documents(veskorCompareDocument(connection_, "wkb", "docs", 10, "Heute heult der Wolf im Wald."));
  ASSERT_FALSE(compared.empty());
  EXPECT_EQ(compared[0].substr(0, 3), "D2 ");
}

TEST_F(FindConcurrency, ComparisonsDoNotInterfere) {
  const std::vector<std::string> zebra =
      documents(veskorCompareDocument(connection_, "wkb", "docs", 10, "Ein Zebra frisst Gras."));
  const std::vector<std::string> wolf =
      documents(veskorCompareDocument(connection_, "wkb", "docs", 10, "Ein Wolf heult laut."));
  ASSERT_FALSE(zebra.empty());
  ASSERT_NE(zebra, wolf);
  auto run = [&](const char* text, const std::vector<std::string>& expected, bool* same) {
    int connection = -1;
    ASSERT_EQ(veskorOpenConnection(&connection), VESKOR_OK);
    for (int i = 0; i < 100 && *same; ++i) {
      veskorDocumentSearchHits* hits = veskorCompareDocument(connection, "wkb", "docs", 10, text);
      std::vector<std::string> shown;
      for (int d = 0; hits != nullptr && d < hits->numberHits; ++d) shown.push_back(hits->hits[d].primaryKey);
      *same = hits != nullptr && !shown.empty() && shown[0] == expected[0].substr(0, 2);
      veskorFreeDocumentSearchHits(connection, hits);
    }
    EXPECT_EQ(veskorCloseConnection(connection), VESKOR_OK);
  };
  bool zebraSame = true, wolfSame = true;
  std::thread other(run, "Ein Wolf heult laut.", std::cref(wolf), &wolfSame);
  run("Ein Zebra frisst Gras.", zebra, &zebraSame);
  other.join();
  EXPECT_TRUE(zebraSame);
  EXPECT_TRUE(wolfSame);
}
