// Searching through the exported functions of libveskoreng.so: argument checks and their
// messages, entry and document searches, comparisons, the result lists and their release; the
// text variants against the classic functions.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskor/veskorAPI.h"
#include "veskor/veskorExt.h"
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

  // What a text find returned, "key confidence [text]" per hit (and "  offset+length confidence
  // [text]" per sentence); the list is given back. Without texts it is what entries() and
  // documents() show for the classic lists.
  std::vector<std::string> entries(veskorTextSearchHits* hits, bool withTexts = true) {
    std::vector<std::string> shown;
    EXPECT_NE(hits, nullptr);
    if (hits == nullptr) return shown;
    char line[256];
    for (int i = 0; i < hits->numberHits; ++i) {
      std::snprintf(line, sizeof line, "%s %.4f", hits->hits[i].primaryKey, hits->hits[i].confidence);
      shown.push_back(withTexts ? line + std::string(" [") + hits->hits[i].text + "]" : line);
    }
    EXPECT_EQ(veskorFreeTextSearchHits(connection_, hits), VESKOR_OK);
    return shown;
  }
  std::vector<std::string> documents(veskorTextDocumentSearchHits* hits, bool withTexts = true) {
    std::vector<std::string> shown;
    EXPECT_NE(hits, nullptr);
    if (hits == nullptr) return shown;
    char line[256];
    for (int i = 0; i < hits->numberHits; ++i) {
      const veskorTextDocumentSearchHit& d = hits->hits[i];
      std::snprintf(line, sizeof line, "%s %.4f", d.primaryKey, d.confidence);
      shown.push_back(line);
      for (int s = 0; s < d.numberSentenceHits; ++s) {
        const veskorTextSentenceSearchHit& sentence = d.sentenceHits[s];
        std::snprintf(line, sizeof line, "  %d+%d %.3f", sentence.offset, sentence.length,
                      sentence.confidence);
        shown.push_back(withTexts ? line + std::string(" [") + sentence.text + "]" : line);
      }
    }
    EXPECT_EQ(veskorFreeTextDocumentSearchHits(connection_, hits), VESKOR_OK);
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

  // Status and message (without the location suffix) of the latest error.
  std::pair<int, std::string> latestError() {
    char* latest = veskorGetLatestErrorMessage(connection_);
    std::string message = latest != nullptr ? latest : "<null>";
    free(latest);
    return {veskorGetLatestErrorCode(connection_), message.substr(0, message.find("\nin file"))};
  }

  // A knowledge base written by the kernel with the given settings, opened under name.
  void openKernelKB(const char* name, int32_t encoding, int32_t entryInformation, int32_t featureType) {
    orl::KnowledgeBasePtr kb(knowledgeBase_create(1, encoding, entryInformation, featureType));
    const std::string file = dir_.file(std::string(name) + ".kb");
    knowledgeBase_saveAs(kb.get(), file.c_str());
    ASSERT_EQ(veskorOpenKB(connection_, file.c_str(), name), VESKOR_OK);
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

// Every argument check of the classic functions answers the text variants alike: same status,
// same message under the variant's own name.
TEST_F(Find, TextVariantsCheckTheirArgumentsAsTheClassicFunctions) {
  struct Arguments {
    const char* wkb;
    const char* akb;
    const char* wa;
    int hits;
    int mode;
    const char* text;
    bool entriesToo;  // whether an entry search refuses it as well
  };
  const Arguments refused[] = {
      {nullptr, "akb", nullptr, 10, 0, "Haus", true}, {"wkb", "akb", nullptr, 10, 1, "Haus", true},
      {"wkb", "akb", nullptr, 10, 0, nullptr, true},  {"wkb", "akb", nullptr, 0, 0, "Haus", true},
      {"wkb", "akb", nullptr, 501, 0, "Haus", true},  {"wkb", "akb", nullptr, 10, 0, " \t", true},
      {"wkb", "nix", nullptr, 10, 0, "Haus", true},   {"wkb", "docs", "nix", 10, 1, "Haus", true},
      {"wkb", "akb", nullptr, 10, 0, "Haus", false},  // documents of a knowledge base of entries
  };
  // The classic call's status and message, then the variant's, with the function's name swapped.
  auto expectAlike = [&](auto classicCall, auto textCall, const std::string& name, const std::string& which) {
    EXPECT_EQ(classicCall(), nullptr) << name << " " << which;
    auto [status, message] = latestError();
    EXPECT_EQ(textCall(), nullptr) << name << " " << which;
    const std::size_t at = message.find(name + "()");
    if (at != std::string::npos) message.insert(at + name.size(), "WithText");
    EXPECT_EQ(latestError(), std::make_pair(status, message)) << name << " " << which;
  };
  for (const Arguments& a : refused) {
    const std::string which = std::to_string(&a - refused);
    if (a.entriesToo) {
      expectAlike(
          [&] { return veskorFindEntry(connection_, a.wkb, a.akb, a.wa, a.hits, a.mode, 0, a.text); },
          [&] { return veskorFindEntryWithText(connection_, a.wkb, a.akb, a.wa, a.hits, a.mode, 0, a.text); },
          "veskorFindEntry", which);
    }
    expectAlike(
        [&] { return veskorFindDocument(connection_, a.wkb, a.akb, a.wa, a.hits, a.mode, 0, a.text); },
        [&] {
          return veskorFindDocumentWithText(connection_, a.wkb, a.akb, a.wa, a.hits, a.mode, 0, a.text);
        },
        "veskorFindDocument", which);
    if (a.mode != 0) continue;  // a comparison takes no word associator
    expectAlike([&] { return veskorCompareDocument(connection_, a.wkb, a.akb, a.hits, a.text); },
                [&] { return veskorCompareDocumentWithText(connection_, a.wkb, a.akb, a.hits, a.text); },
                "veskorCompareDocument", which);
  }
  EXPECT_EQ(veskorFreeTextSearchHits(connection_, nullptr), VESKOR_OK);
  EXPECT_EQ(veskorFreeTextDocumentSearchHits(connection_, nullptr), VESKOR_OK);
  EXPECT_EQ(veskorFreeTextSearchHits(connection_ + 1, nullptr), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorFreeTextDocumentSearchHits(connection_ + 1, nullptr), VESKOR_ERROR_IDENTIFIER);
}

// Same hits, order and confidences as the classic functions on every kind of knowledge base and
// search path (kernel, word-based, associations, compound splitting, comparison, nothing found).
TEST_F(Find, TextVariantsFindWhatTheClassicFunctionsFind) {
  struct Search {
    const char* akb;
    const char* wa;
    int hits;
    int mode;
    int split;
    const char* text;
  };
  const Search searches[] = {
      {"akb", nullptr, 500, 0, 0, "  haus "},
      {"akb", nullptr, 1, 0, 0, "Maus"},
      {"wkb", nullptr, 7, 0, 0, "Zebar"},
      {"docs", nullptr, 10, 0, 0,
       "Zebra schl\x84"
       "ft"},
      {"docs", nullptr, 2, 0, 0, "Der"},
      {"docs", "wa", 10, 1, 0, "Auto"},
      {"docs", "wa", 10, 2, 1, "Autowagen"},
      {"docs", nullptr, 10, 0, 0, "Lux"},
      {"docs", nullptr, 10, 0, 0, "Z"},
  };
  for (const Search& s : searches) {
    const std::string which = std::string(s.akb) + " " + s.text;
    EXPECT_EQ(
        entries(veskorFindEntryWithText(connection_, "wkb", s.akb, s.wa, s.hits, s.mode, s.split, s.text),
                false),
        entries(veskorFindEntry(connection_, "wkb", s.akb, s.wa, s.hits, s.mode, s.split, s.text)))
        << which;
    if (std::string(s.akb) != "docs") continue;
    const std::vector<std::string> found =
        documents(veskorFindDocument(connection_, "wkb", s.akb, s.wa, s.hits, s.mode, s.split, s.text));
    EXPECT_EQ(documents(veskorFindDocumentWithText(connection_, "wkb", s.akb, s.wa, s.hits, s.mode, s.split,
                                                   s.text),
                        false),
              found)
        << which;
  }
  for (const char* text :
       {"Heute heult der Wolf im Wald.", "Das Zebra frisst Gras. Ein Auto rollt.", "Lux"}) {
    EXPECT_EQ(documents(veskorCompareDocumentWithText(connection_, "wkb", "docs", 3, text), false),
              documents(veskorCompareDocument(connection_, "wkb", "docs", 3, text)))
        << text;
  }
}

// The options variants: every other argument is checked first, as the text variants check it;
// then an unknown ranking is refused. No options and the documented ranking find exactly what the
// text variants find.
TEST_F(Find, OptionsVariantsCheckTheRankingLastAndFindWhatTheTextVariantsFind) {
  const veskorDocumentSearchOptions unknown{7};
  auto swapped = [](std::pair<int, std::string> error, const std::string& from, const std::string& to) {
    const std::size_t at = error.second.find(from + "()");
    if (at != std::string::npos) error.second.replace(at, from.size(), to);
    return error;
  };
  struct Arguments {
    const char* wkb;
    const char* akb;
    int hits;
    const char* text;
  };
  for (const Arguments& a : {Arguments{nullptr, "docs", 10, "Zebra"}, Arguments{"wkb", "docs", 0, "Zebra"},
                             Arguments{"wkb", "docs", 10, nullptr}, Arguments{"wkb", "docs", 10, " "}}) {
    EXPECT_EQ(veskorFindDocumentWithText(connection_, a.wkb, a.akb, nullptr, a.hits, 0, 0, a.text), nullptr);
    auto expected = swapped(latestError(), "veskorFindDocumentWithText", "veskorFindDocumentWithOptions");
    EXPECT_EQ(veskorFindDocumentWithOptions(connection_, a.wkb, a.akb, nullptr, a.hits, 0, 0, a.text, &unknown),
              nullptr);
    EXPECT_EQ(latestError(), expected) << a.hits;
    EXPECT_EQ(veskorCompareDocumentWithText(connection_, a.wkb, a.akb, a.hits, a.text), nullptr);
    expected = swapped(latestError(), "veskorCompareDocumentWithText", "veskorCompareDocumentWithOptions");
    EXPECT_EQ(veskorCompareDocumentWithOptions(connection_, a.wkb, a.akb, a.hits, a.text, &unknown), nullptr);
    EXPECT_EQ(latestError(), expected) << a.hits;
  }
  // The ranking is refused before the knowledge bases are looked up.
  for (int ranking : {-1, 2, 7}) {
    const veskorDocumentSearchOptions options{ranking};
    expectFailure(veskorFindDocumentWithOptions(connection_, "wkb", "nix", nullptr, 10, 0, 0, "Zebra", &options),
                  VESKOR_ERROR_ARGUMENT_NOT_VALID,
                  "error: pOptions->ranking unknown in veskorFindDocumentWithOptions()");
    expectFailure(veskorCompareDocumentWithOptions(connection_, "wkb", "docs", 10, "Zebra", &options),
                  VESKOR_ERROR_ARGUMENT_NOT_VALID,
                  "error: pOptions->ranking unknown in veskorCompareDocumentWithOptions()");
  }
  const veskorDocumentSearchOptions documented{VESKOR_RANKING_DOCUMENTED};
  for (const char* text : {"Zebra schl\xE4" "ft", "Der", "Tiger Wolf", "Lux"}) {
    const std::vector<std::string> found =
        documents(veskorFindDocumentWithText(connection_, "wkb", "docs", nullptr, 10, 0, 0, text));
    EXPECT_EQ(documents(veskorFindDocumentWithOptions(connection_, "wkb", "docs", nullptr, 10, 0, 0, text, nullptr)),
              found) << text;
    EXPECT_EQ(
        documents(veskorFindDocumentWithOptions(connection_, "wkb", "docs", nullptr, 10, 0, 0, text, &documented)),
        found) << text;
    const std::vector<std::string> compared = documents(veskorCompareDocumentWithText(connection_, "wkb", "docs", 3, text));
    EXPECT_EQ(documents(veskorCompareDocumentWithOptions(connection_, "wkb", "docs", 3, text, nullptr)), compared);
    EXPECT_EQ(documents(veskorCompareDocumentWithOptions(connection_, "wkb", "docs", 3, text, &documented)), compared);
  }
  // Associations and compound splitting reach the length-aware ranking too.
  const veskorDocumentSearchOptions lengthAware{VESKOR_RANKING_LENGTH_AWARE};
  veskorTextDocumentSearchHits* hits =
      veskorFindDocumentWithOptions(connection_, "wkb", "docs", "wa", 10, 2, 1, "Autowagen", &lengthAware);
  ASSERT_NE(hits, nullptr);
  EXPECT_EQ(documents(hits).empty(), false);
}

// The length-aware ranking finds the documents the documented one finds, with confidences in
// (0, 1] and the misspelt word's document first.
TEST_F(Find, LengthAwareRankingThroughTheOptions) {
  const veskorDocumentSearchOptions lengthAware{VESKOR_RANKING_LENGTH_AWARE};
  for (const char* text : {"Zebar schl\xE4" "ft", "Tigre", "Wolf heult"}) {
    veskorTextDocumentSearchHits* hits =
        veskorFindDocumentWithOptions(connection_, "wkb", "docs", nullptr, 10, 0, 0, text, &lengthAware);
    ASSERT_NE(hits, nullptr) << text;
    ASSERT_GT(hits->numberHits, 0) << text;
    for (int i = 0; i < hits->numberHits; ++i) {
      EXPECT_GT(hits->hits[i].confidence, 0.0) << text;
      EXPECT_LE(hits->hits[i].confidence, 1.0) << text;
      EXPECT_GT(hits->hits[i].numberSentenceHits, 0) << text;
    }
    const std::string first = hits->hits[0].primaryKey;
    EXPECT_EQ(first, std::string(text).rfind("Zebar", 0) == 0 ? "D1" : "D2") << text;
    veskorFreeTextDocumentSearchHits(connection_, hits);
  }
  veskorTextDocumentSearchHits* compared =
      veskorCompareDocumentWithOptions(connection_, "wkb", "docs", 3, "Ein Zebra frisst im Zoo.", &lengthAware);
  ASSERT_NE(compared, nullptr);
  ASSERT_GT(compared->numberHits, 0);
  EXPECT_STREQ(compared->hits[0].primaryKey, "D1");
  veskorFreeTextDocumentSearchHits(connection_, compared);
}

// What the hits carry: the texts as the knowledge base stored them, "" where it keeps none, each
// sentence's own text whatever the order of the sentence hits.
TEST_F(Find, HitsCarryTheStoredTexts) {
  // Knowledge bases as veskorCreateKBFile makes them: words are kept framed and upper-cased,
  // entries and sentences not at all.
  EXPECT_EQ(entries(veskorFindEntryWithText(connection_, "wkb", "wkb", nullptr, 1, 0, 0, "Zebra")),
            std::vector<std::string>{"     1 1.0000 [_ZEBRA_]"});
  EXPECT_EQ(entries(veskorFindEntryWithText(connection_, "wkb", "akb", nullptr, 1, 0, 0, "Haus")),
            std::vector<std::string>{"Haus 1.0000 []"});
  EXPECT_EQ(
      documents(veskorFindDocumentWithText(connection_, "wkb", "docs", nullptr, 1, 0, 0, "Zebra frisst")),
      (std::vector<std::string>{"D1 1.0000", "  0+17 100.000 []", "  17+19 50.861 []"}));

  // Entries kept with their texts: normalised by veskorAddEntry, prepared by the settings.
  openKernelKB("framed", 6, 3, 1);
  openKernelKB("plain", 0, 3, 1);
  for (const char* kb : {"framed", "plain"}) {
    ASSERT_EQ(veskorAddEntry(connection_, nullptr, kb, "g", "Hallo,   Welt!"), VESKOR_OK);
    ASSERT_EQ(veskorAddEntry(connection_, nullptr, kb, "m", "E-Mail z.B. 2004"), VESKOR_OK);
  }
  EXPECT_EQ(entries(veskorFindEntryWithText(connection_, "wkb", "framed", nullptr, 1, 0, 0, "hallo welt")),
            (std::vector<std::string>{"g 1.0000 [_HALLO_WELT_]"}));
  // The normalised text is what the entry holds: searched for, it matches fully.
  EXPECT_EQ(entries(veskorFindEntryWithText(connection_, "wkb", "plain", nullptr, 1, 0, 0,
                                            "EMail Mail E zum Beispiel")),
            (std::vector<std::string>{"m 1.0000 [EMail Mail E zum Beispiel]"}));

  // Sentences kept with their texts. The second sentence (its span begins with the blank before
  // it) matches both words and ranks first, the first one Haus only: 0.5 x (1 - 0.1 sqrt(0.5)).
  // Each sentence hit carries its own text, and so do the sentence entries found one by one.
  openKernelKB("texts", 2, 3, 2);
  ASSERT_EQ(veskorAddDocument(connection_, nullptr, "texts", "D1",
                              "Das Haus ist rot. Der Baum ist gr\xFCn, das Haus nicht. Ende."),
            VESKOR_OK);
  EXPECT_EQ(documents(veskorFindDocumentWithText(connection_, "wkb", "texts", nullptr, 5, 0, 0, "Baum Haus")),
            (std::vector<std::string>{"D1 1.0000", "  17+35 100.000 [DER BAUM IST GR\xDCN DAS HAUS NICHT]",
                                      "  0+17 46.464 [DAS HAUS IST ROT]"}));
  EXPECT_EQ(entries(veskorFindEntryWithText(connection_, "wkb", "texts", nullptr, 5, 0, 0, "Baum Haus")),
            (std::vector<std::string>{"D1?000001?000017?000035 1.0000 [DER BAUM IST GR\xDCN DAS HAUS NICHT]",
                                      "D1?000000?000000?000017 0.4646 [DAS HAUS IST ROT]"}));
  const std::vector<std::string> compared =
      documents(veskorCompareDocumentWithText(connection_, "wkb", "texts", 1, "Ein Baum ist gr\xFCn."));
  ASSERT_GE(compared.size(), 2u);
  EXPECT_EQ(compared[1], "  17+35 100.000 [DER BAUM IST GR\xDCN DAS HAUS NICHT]");
}

// Text finds and the entry count beside a writer: counts only grow, and every hit's text is the
// one added under its key.
TEST_F(FindConcurrency, TextFindsAndInfoBesideAWriter) {
  openKernelKB("live", 6, 3, 1);
  constexpr int kEntries = 200;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    int c = -1;
    EXPECT_EQ(veskorOpenConnection(&c), VESKOR_OK);
    for (int i = 0; i < kEntries; ++i) {
      const std::string key = "k" + std::to_string(i);
      EXPECT_EQ(veskorAddEntry(c, nullptr, "live", key.c_str(), ("Wort" + std::to_string(i)).c_str()), 0);
    }
    EXPECT_EQ(veskorCloseConnection(c), VESKOR_OK);
    done = true;
  });
  int seen = 0, mismatches = 0, failures = 0;
  while (!done) {
    veskorKBInfo info{};
    failures += veskorGetKBInfo(connection_, "live", &info) != VESKOR_OK || info.numberEntries < seen;
    seen = info.numberEntries;
    veskorTextSearchHits* hits =
        veskorFindEntryWithText(connection_, "wkb", "live", nullptr, 20, 0, 0, "Wort1");
    failures += hits == nullptr;
    for (int i = 0; hits != nullptr && i < hits->numberHits; ++i) {
      const std::string key = hits->hits[i].primaryKey;
      mismatches += std::string(hits->hits[i].text) != "_WORT" + key.substr(1) + "_";
    }
    veskorFreeTextSearchHits(connection_, hits);
  }
  writer.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(mismatches, 0);
  veskorKBInfo info{};
  ASSERT_EQ(veskorGetKBInfo(connection_, "live", &info), VESKOR_OK);
  EXPECT_EQ(info.numberEntries, kEntries);
}
