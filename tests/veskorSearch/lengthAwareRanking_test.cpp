// The length-aware ranking and the document statistics it keeps.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "searchTestUtil.h"
#include "veskorSearch/documentStatistics.h"
#include "veskorSearch/kbase_addfile.h"
#include "veskorSearch/kbase_seekAndSort.h"

namespace {

std::vector<std::string> keysOf(const std::vector<documentResult>& documents) {
  std::vector<std::string> keys;
  for (const documentResult& d : documents) keys.push_back(d.sentences.front().documentKey);
  return keys;
}

std::vector<documentResult> lengthAware(const knowledgeBase* akb, const char* text, int32_t n, bool comparing = false) {
  return kbase_seekFileSorted(text, akb, nullptr, nullptr, 0, 0, n, comparing, documentRanking::lengthAware);
}

std::vector<documentResult> documented(const knowledgeBase* akb, const char* text, int32_t n) {
  return kbase_seekFileSorted(text, akb, nullptr, nullptr, 0, 0, n, false, documentRanking::documented);
}

// A long page that mentions the seek words in passing, among much else.
std::string longPage() {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "Hier steht Absatz " + std::to_string(i) + " mit Text ohne Bezug.";
  return text + " Der Tiger schl\xE4" "ft. Ein L\xF6we br\xFCllt.";
}

TEST(DocumentStatistics, LengthsAndFrequenciesOfTheDocumentsThatAreThere) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("A", "Das Haus ist rot. Das Haus brennt.", akb.get(), nullptr);
  kbase_addFile("B", "Ein Haus.", akb.get(), nullptr);
  kbase_addFile("C", "Wolf heult.", akb.get(), nullptr);
  knowledgeBase_addEntry(akb.get(), "no sentence key", "Haus Haus", nullptr, 0.0);
  kbase_addFile("D", "Haus weg.", akb.get(), nullptr);
  knowledgeBase_deleteEntry(akb.get(), "D", 1);

  documentStatistics s = documentStatistics_derive(akb.get());
  ASSERT_EQ(s.numberDocuments(), 3);  // deleted D is no document
  EXPECT_EQ(s.documentOf(0), s.documentOf(1));
  EXPECT_NE(s.documentOf(0), s.documentOf(2));
  EXPECT_EQ(s.documentOf(4), -1);  // the entry without a sentence key
  EXPECT_EQ(s.documentOf(99), -1);
  EXPECT_EQ(s.documentOf(-1), -1);
  // Words once per sentence: "Das Haus ist rot" + "Das Haus brennt".
  EXPECT_EQ(s.length[static_cast<std::size_t>(s.documentOf(0))], 7.0f);
  EXPECT_EQ(s.documentOf(5), -1);
  EXPECT_DOUBLE_EQ(s.averageLength, (7.0 + 2 + 2) / 3);
  EXPECT_EQ(s.frequencyOf("HAUS"), 2);  // A twice, B; neither the unkeyed entry nor deleted D
  EXPECT_EQ(s.frequencyOf("WOLF"), 1);
  EXPECT_EQ(s.frequencyOf("WEG"), -1);  // only in the deleted document
  EXPECT_EQ(s.frequencyOf("Haus"), -1);
}

TEST(DocumentStatistics, KeptUntilTheKnowledgeBaseChanges) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("A", "Das Haus ist rot.", akb.get(), nullptr);
  auto first = documentStatistics_of(akb.get());
  EXPECT_EQ(documentStatistics_of(akb.get()), first);
  kbase_addFile("B", "Ein Haus.", akb.get(), nullptr);
  auto second = documentStatistics_of(akb.get());
  EXPECT_NE(second, first);
  EXPECT_EQ(second->frequencyOf("HAUS"), 2);
  EXPECT_EQ(first->frequencyOf("HAUS"), 1);  // a search still holding the old ones keeps them intact
  knowledgeBase_deleteEntry(akb.get(), "B", 1);
  knowledgeBase_defragment(akb.get());
  EXPECT_EQ(documentStatistics_of(akb.get())->numberDocuments(), 1);
  // Another knowledge base never gets these.
  orl::KnowledgeBasePtr other = searchtest::documentKB();
  kbase_addFile("X", "Wolf.", other.get(), nullptr);
  EXPECT_EQ(documentStatistics_of(other.get())->frequencyOf("HAUS"), -1);
}

TEST(LengthAwareRanking, AShortPageAboutTheWordsBeatsALongOneThatMentionsThem) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("long", longPage().c_str(), akb.get(), nullptr);
  kbase_addFile("short", "Der Tiger und der L\xF6we jagen.", akb.get(), nullptr);
  for (int i = 0; i < 5; ++i) kbase_addFile(("other" + std::to_string(i)).c_str(), "Wolf heult laut.", akb.get(), nullptr);
  EXPECT_EQ(keysOf(lengthAware(akb.get(), "Tiger L\xF6we", 5)), (std::vector<std::string>{"short", "long"}));
}

TEST(LengthAwareRanking, ARareWordWeighsMoreThanOneOfEveryPage) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("common", "Das Haus steht. Das Haus ist alt.", akb.get(), nullptr);
  kbase_addFile("rare", "Ein Zebra l\xE4uft.", akb.get(), nullptr);
  for (int i = 0; i < 6; ++i) {
    kbase_addFile(("filler" + std::to_string(i)).c_str(), "Ein Haus am See.", akb.get(), nullptr);
  }
  std::vector<documentResult> ranked = lengthAware(akb.get(), "Haus Zebra", 3);
  ASSERT_FALSE(ranked.empty());
  EXPECT_EQ(ranked.front().sentences.front().documentKey, "rare");
  for (const documentResult& d : ranked) {
    EXPECT_GT(d.score, 0.0f);
    EXPECT_LE(d.score, 1.0f);
  }
}

TEST(LengthAwareRanking, SentencesByFallingScoreWithTheirPlaces) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("D", "Nur der Tiger. Der Tiger und der L\xF6we.", akb.get(), nullptr);
  std::vector<documentResult> ranked = lengthAware(akb.get(), "Tiger L\xF6we", 5);
  ASSERT_EQ(ranked.size(), 1u);
  ASSERT_EQ(ranked[0].sentences.size(), 2u);
  EXPECT_EQ(ranked[0].sentences[0].sentenceNumber, 1);  // both words first
  EXPECT_EQ(ranked[0].sentences[1].sentenceNumber, 0);
  EXPECT_GT(ranked[0].sentences[0].score, ranked[0].sentences[1].score);
  EXPECT_LE(ranked[0].sentences[0].score, 100.0f);  // the documented ranking's scale
  EXPECT_EQ(ranked[0].sentences[1].offset, 0);
}

TEST(LengthAwareRanking, FindsWhatTheDocumentedRankingFindsAndComparesDocuments) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("long", longPage().c_str(), akb.get(), nullptr);
  kbase_addFile("short", "Der Tiger und der L\xF6we jagen.", akb.get(), nullptr);
  kbase_addFile("wolf", "Wolf heult laut.", akb.get(), nullptr);
  for (const char* text : {"Tiger", "L\xF6we Wolf", "Absatz Tiger Wolf", "Unbekannt"}) {
    std::vector<std::string> a = keysOf(documented(akb.get(), text, 10)), b = keysOf(lengthAware(akb.get(), text, 10));
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << text;
  }
  EXPECT_TRUE(lengthAware(akb.get(), "Tiger L\xF6we", 1).size() == 1);
  EXPECT_TRUE(lengthAware(akb.get(), "Tiger L\xF6we", 0).empty());
  std::vector<documentResult> compared =
      lengthAware(akb.get(), "Ein Tiger und ein L\xF6we jagen im Wald und heulen.", 3, true);
  ASSERT_FALSE(compared.empty());
  EXPECT_EQ(compared.front().sentences.front().documentKey, "short");
}

// Searches that derive the statistics at the same time get the same ones and the same results.
TEST(LengthAwareRankingConcurrency, SearchesDeriveTheStatisticsOnce) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("long", longPage().c_str(), akb.get(), nullptr);
  kbase_addFile("short", "Der Tiger und der L\xF6we jagen.", akb.get(), nullptr);
  std::vector<std::vector<std::string>> seen(4);
  std::vector<const documentStatistics*> statistics(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&, t] {
      seen[t] = keysOf(lengthAware(akb.get(), "Tiger L\xF6we", 5));
      statistics[t] = documentStatistics_of(akb.get()).get();
    });
  }
  for (std::thread& t : threads) t.join();
  for (std::size_t t = 1; t < seen.size(); ++t) {
    EXPECT_EQ(seen[t], seen[0]);
    EXPECT_EQ(statistics[t], statistics[0]);
  }
}

}  // namespace
