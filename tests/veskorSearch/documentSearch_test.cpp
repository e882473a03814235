// Document search: sentence keys read back, sentences grouped and merged into documents, the
// ranking, and the comparison of whole documents through their rare words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "searchTestUtil.h"
#include "support/raises.h"
#include "veskorSearch/documentRanking.h"
#include "veskorSearch/entryDocuments.h"
#include "veskorSearch/kbase_findinfo.h"
#include "veskorSearch/kbase_addfile.h"
#include "veskorSearch/kbase_seekAndSort.h"
#include "veskorSearch/parseSentenceKey.h"
#include "veskorSearch/reduceDocument.h"

namespace {

using searchtest::addSentence;
using searchtest::key;

// A document as "key score" and its sentences as "number/offset/length score".
std::vector<std::string> shown(const std::vector<documentResult>& documents) {
  std::vector<std::string> lines;
  char line[128];
  for (const documentResult& d : documents) {
    std::snprintf(line, sizeof line, "%s %.5f", d.sentences.front().documentKey.c_str(), double{d.score});
    lines.push_back(line);
    for (const sentenceRecord& s : d.sentences) {
      std::snprintf(line, sizeof line, "  %d/%d/%d %.3f", s.sentenceNumber, s.offset, s.length, double{s.score});
      lines.push_back(line);
    }
  }
  return lines;
}

std::vector<std::string> find(const knowledgeBase* akb, const char* text, int32_t n, bool comparing = false) {
  return shown(kbase_seekFileSorted(text, akb, nullptr, nullptr, 0, 0, n, comparing));
}

// Documents about animals, added as document adding stores them.
orl::KnowledgeBasePtr animals() {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("D1", "Zebra frisst. Zebra schl\xE4" "ft.", akb.get(), nullptr);
  kbase_addFile("D2", "Tiger jagt. L\xF6we ruht.", akb.get(), nullptr);
  kbase_addFile("D3", "Wolf heult.", akb.get(), nullptr);
  kbase_addFile("D4", "Wolf heult.", akb.get(), nullptr);
  kbase_addFile("D5", "Adler fliegt hoch. Adler fliegt.", akb.get(), nullptr);
  return akb;
}

double corrected(double s, int k) { return s * (1 - 0.1 * std::sqrt(s) / k); }

std::string reduced(const knowledgeBase* akb, const char* text, double weight, int32_t* written) {
  std::string result;
  *written = reduceDocument(text, akb, weight, &result);
  return result;
}

}  // namespace

TEST(ParseSentenceKey, KeysAndLabels) {
  sentenceRecord r;
  EXPECT_EQ(parseSentenceKey("D1?000000?000000?000017 50.000", &r), 2u);
  EXPECT_EQ(r.documentKey, "D1");
  EXPECT_EQ(r.sentenceNumber, 0);
  EXPECT_EQ(r.offset, 0);
  EXPECT_EQ(r.length, 17);
  EXPECT_EQ(r.score, 50.0f);
  EXPECT_EQ(parseSentenceKey("D7?000002?000120?000045", &r), 2u);
  EXPECT_EQ(r.sentenceNumber, 2);
  EXPECT_EQ(r.offset, 120);
  EXPECT_EQ(r.length, 45);
  EXPECT_EQ(r.score, -1.0f);
  EXPECT_EQ(parseSentenceKey("D1 1 2 3", &r), 2u);
  EXPECT_EQ(r.length, 3);
  EXPECT_EQ(parseSentenceKey("Haus", &r), 0u);
  EXPECT_EQ(parseSentenceKey("a?b?c", &r), 0u);
  EXPECT_EQ(parseSentenceKey("D1?000001?x?000003", &r), 0u);

  // Document keys may hold "?" themselves.
  EXPECT_EQ(parseSentenceKey("page.php?id=3?000001?000010?000020 12.500", &r), 13u);
  EXPECT_EQ(r.documentKey, "page.php?id=3");
  EXPECT_EQ(r.sentenceNumber, 1);
  EXPECT_EQ(r.length, 20);
  EXPECT_EQ(r.score, 12.5f);
  EXPECT_EQ(parseSentenceKey((std::string(1100, 'x') + "?000001?000002?000003").c_str(), &r), 1100u);
  EXPECT_EQ(r.documentKey, std::string(1024, 'x'));
}

// The document part that grouping reads without copying is what the full parse gives, on the keys
// that adding writes (read by a shortcut) and on every other shape.
TEST(ParseSentenceKey, DocumentViewAgreesWithTheFullParse) {
  const std::string keys[] = {"D1?000000?000000?000017", "a?b?000001?000002?000003", "a?1?2?3?4?5?6",
                              "?1?2?3", "d??1?2?3", "d?1?2", "d?1234567890?1?2", "d?1?2?1234567890",
                              "d?1?2?3 50.000", "doc with blank?1?2?3", "doc 1?2?3?4 x", "D1 1 2 3", "d?-1?2?3",
                              "d?+1?2?3", "d?1?2?3\t", "d?1?2?3x", "d?1?2??3", "d\t?1?2?3", "page.php?id=3?1?2?3",
                              "Haus", "", "???", "1?2?3", std::string(1100, 'x') + "?000001?000002?000003",
                              std::string(1100, 'x') + " 1 2 3"};
  for (const std::string& key : keys) {
    sentenceRecord record;
    std::size_t end = parseSentenceKey(key.c_str(), &record);
    std::optional<std::string_view> view = sentenceKeyDocument(key.c_str());
    ASSERT_EQ(view.has_value(), end != 0) << key;
    if (view) {
      EXPECT_EQ(*view, record.documentKey) << key;
    }
  }
}

TEST(ParseSentenceKey, LabelsOfMergedSentences) {
  std::vector<sentenceRecord> records =
      parseDocumentLabel("D$7?000002?000120?000045 87.500$42.125?000005?000310?000061$1.5?x");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].documentKey, "D$7");
  EXPECT_EQ(records[0].offset, 120);
  EXPECT_EQ(records[0].score, 87.5f);
  EXPECT_EQ(records[1].sentenceNumber, 5);
  EXPECT_EQ(records[1].offset, 310);
  EXPECT_EQ(records[1].length, 61);
  EXPECT_EQ(records[1].score, 42.125f);
}

TEST(DocumentRanking, MergesSentencesAndRanksDocuments) {
  orl::KnowledgeBasePtr akb = animals();
  // The second sentence matches a part of the first one's words: the document keeps the better.
  EXPECT_EQ(find(akb.get(), "Zebra frisst", 10),
            (std::vector<std::string>{"D1 1.00000", "  0/0/13 100.000", "  1/13/15 46.464"}));
  // Sentences matching different words add up.
  EXPECT_EQ(find(akb.get(), "Tiger L\xF6we", 10),
            (std::vector<std::string>{"D2 0.92929", "  0/0/11 46.464", "  1/11/11 46.464"}));
  // Both sentences match the same words, the first all three: the better of the two.
  EXPECT_EQ(find(akb.get(), "Adler fliegt hoch", 10),
            (std::vector<std::string>{"D5 1.00000", "  0/0/18 100.000", "  1/18/14 63.945"}));
  // Equal scores: the document met later ranks first; but with the only place taken by D3, the
  // equal D4 does not enter.
  EXPECT_EQ(find(akb.get(), "Wolf heult", 10),
            (std::vector<std::string>{"D4 1.00000", "  0/0/11 100.000", "D3 1.00000", "  0/0/11 100.000"}));
  EXPECT_EQ(find(akb.get(), "Wolf heult", 1), (std::vector<std::string>{"D3 1.00000", "  0/0/11 100.000"}));
  EXPECT_NEAR(kbase_seekFileSorted("Tiger L\xF6we", akb.get(), nullptr, nullptr, 0, 0, 1, false)[0].score,
              2 * corrected(0.5, 1), 1e-6);

  // Several documents, best first.
  std::vector<std::string> mixed = find(akb.get(), "Zebra Wolf frisst", 10);
  ASSERT_EQ(mixed.size(), 7u);
  EXPECT_EQ(mixed[0].substr(0, 3), "D1 ");
  EXPECT_EQ(mixed[3].substr(0, 3), "D4 ");
  EXPECT_EQ(mixed[5].substr(0, 3), "D3 ");

  EXPECT_TRUE(find(akb.get(), "Giraffe", 10).empty());
  EXPECT_TRUE(find(akb.get(), "x", 10).empty());
  // Entries whose keys are no sentence keys take no part.
  addSentence(akb.get(), "lose", "Giraffe");
  EXPECT_TRUE(find(akb.get(), "Giraffe", 10).empty());
}

// Four seek words (N = 4), each searched as it is: every hit contributes 1/4 before the correction
// 1 - 0.1 sqrt(s) / k of its sentence.
//   D0 "Anker Boje": a = 0.25 (1 - 0.1 sqrt(0.5) / 2) = 0.2411612, score 2a = 0.4823223
//   E0 all four:     s = 1, no correction, score 1
//   D1, F0 "Boje Calla Dorsch": b = 0.25 (1 - 0.1 sqrt(0.75) / 3) = 0.2427831, score 3b = 0.7283494
// D1 joins D on other words but shares Boje: b > a, so D1 keeps Boje and D = a + 3b = 0.9695106.
TEST(DocumentRanking, SharedWordsGoToTheBetterSentence) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  addSentence(akb.get(), key("D", 0, 0, 11), "Anker Boje");
  addSentence(akb.get(), key("D", 1, 11, 18), "Boje Calla Dorsch");
  addSentence(akb.get(), key("E", 0, 0, 24), "Anker Boje Calla Dorsch");
  addSentence(akb.get(), key("F", 0, 0, 17), "Boje Calla Dorsch");
  EXPECT_EQ(find(akb.get(), "Anker Boje Calla Dorsch", 10),
            (std::vector<std::string>{"E 1.00000", "  0/0/24 100.000", "D 0.96951", "  0/0/11 48.232",
                                      "  1/11/18 72.835", "F 0.72835", "  0/0/17 72.835"}));
}

// Document numbers by entry index: extended as documents are added (earlier numbers and handed-out
// tables unchanged), renewed when a defragmentation renumbers the entries.
TEST(EntryDocuments, GrowWithAddsAndRenewAfterDefragmentation) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  kbase_addFile("A", "Das Haus. Der Baum.", akb.get(), nullptr);
  kbase_addFile("B", "Ein Haus.", akb.get(), nullptr);
  auto first = entryDocuments_of(akb.get());
  EXPECT_EQ(first->documentOf, (std::vector<int32_t>{0, 0, 1}));
  EXPECT_EQ(first->numberDocuments, 2);
  EXPECT_EQ(entryDocuments_of(akb.get()), first);
  addSentence(akb.get(), "no sentence key", "Haus");
  kbase_addFile("C", "Wolf.", akb.get(), nullptr);
  addSentence(akb.get(), key("A", 7), "Haus");
  auto grown = entryDocuments_of(akb.get());
  EXPECT_EQ(grown->documentOf, (std::vector<int32_t>{0, 0, 1, -1, 2, 0}));
  EXPECT_EQ(grown->numberDocuments, 3);
  EXPECT_EQ(first->documentOf.size(), 3u);  // what a search still holds stays as it was
  knowledgeBase_deleteEntry(akb.get(), "A?", 1);
  EXPECT_EQ(entryDocuments_of(akb.get()), grown);  // holes keep their numbers; no search hits them
  knowledgeBase_defragment(akb.get());
  auto renumbered = entryDocuments_of(akb.get());
  EXPECT_EQ(renumbered->documentOf, (std::vector<int32_t>{0, -1, 1}));
  EXPECT_EQ(renumbered->numberDocuments, 2);
}

// Grouping by document numbers gives what grouping by keys gives, sentence for sentence.
TEST(EntryDocuments, GroupingByNumbersIsGroupingByKeys) {
  orl::KnowledgeBasePtr akb = animals();
  kbase_addFile("D6", "Der Tiger frisst ein Zebra. Der Wolf heult den Adler an.", akb.get(), nullptr);
  addSentence(akb.get(), "unkeyed", "Tiger Zebra Wolf");
  auto numbers = entryDocuments_of(akb.get());
  for (const char* text : {"Tiger Zebra", "Wolf heult", "Adler fliegt Tiger Zebra Wolf", "Unbekannt"}) {
    int32_t lists = 0;
    auto hits = kbase_findInfo(text, akb.get(), nullptr, nullptr, 0, 0, 20, &lists);
    ASSERT_TRUE(hits.has_value()) << text;
    std::vector<documentHit> byKeys = groupSentenceHits(*hits), byNumbers = groupSentenceHits(*hits, *numbers);
    ASSERT_EQ(byNumbers.size(), byKeys.size()) << text;
    for (std::size_t d = 0; d < byKeys.size(); ++d) {
      EXPECT_EQ(byNumbers[d].score, byKeys[d].score) << text;
      EXPECT_EQ(byNumbers[d].sentences, byKeys[d].sentences) << text;
      EXPECT_EQ(documentLabel(byNumbers[d], *hits), documentLabel(byKeys[d], *hits)) << text;
    }
  }
  // Hits the numbers do not cover (the knowledge base grew after they were taken) group by keys.
  kbase_addFile("D7", "Tiger und Zebra.", akb.get(), nullptr);
  int32_t lists = 0;
  auto hits = kbase_findInfo("Tiger Zebra", akb.get(), nullptr, nullptr, 0, 0, 20, &lists);
  EXPECT_EQ(groupSentenceHits(*hits, *numbers).size(), groupSentenceHits(*hits).size());
}

// What a search collects per sentence, field by field, for comparing two ways of collecting.
std::vector<std::string> collected(const std::vector<sentenceHit>& hits) {
  std::vector<std::string> lines;
  char line[160];
  for (const sentenceHit& h : hits) {
    std::snprintf(line, sizeof line, "%s %a %d %s", h.primaryKey, double{h.score}, h.index, h.text ? h.text : "-");
    std::string text = line;
    for (const wordScore& w : h.wordScores) {
      std::snprintf(line, sizeof line, " %d:%a", w.wordIndex, double{w.contribution});
      text += line;
    }
    lines.push_back(text);
  }
  return lines;
}

// Collecting sentence hits by the first entry under each key gives what looking keys up gives:
// entries sharing a key merge into one sentence, also when the numbers stop knowing an entry in
// the middle of a search or no longer cover the knowledge base.
TEST(EntryDocuments, CollectingByFirstEntryUnderKeyIsCollectingByKeys) {
  orl::KnowledgeBasePtr akb = animals();
  kbase_addFile("D6", "Der Tiger frisst ein Zebra. Der Wolf heult den Adler an.", akb.get(), nullptr);
  addSentence(akb.get(), "unkeyed", "Tiger Zebra Wolf");
  const std::string shared = knowledgeBase_getPrimaryKey(akb.get(), 0);
  addSentence(akb.get(), shared, "Tiger Wolf Adler");  // a second entry under the first sentence's key
  const int32_t duplicate = knowledgeBase_getIndexCount(akb.get()) - 1;
  auto numbers = entryDocuments_of(akb.get());
  ASSERT_EQ(numbers->firstWithKey.size(), numbers->documentOf.size());
  EXPECT_EQ(numbers->firstWithKey[static_cast<std::size_t>(duplicate)], 0);
  EXPECT_EQ(numbers->firstWithKey[3], 3);
  // Numbers that know no entry after the first few: collecting turns to keys part way through.
  entryDocuments partial = *numbers;
  std::fill(partial.firstWithKey.begin() + 3, partial.firstWithKey.end(), -1);

  const char* texts[] = {"Tiger Zebra", "Wolf heult", "Adler fliegt Tiger Zebra Wolf heult", "Tiger Wolf", "Unbekannt"};
  for (const char* text : texts) {
    int32_t lists = 0;
    auto byKeys = kbase_findInfo(text, akb.get(), nullptr, nullptr, 0, 0, 20, &lists);
    auto byFirst = kbase_findInfo(text, akb.get(), nullptr, nullptr, 0, 0, 20, &lists, nullptr, numbers.get());
    auto byBoth = kbase_findInfo(text, akb.get(), nullptr, nullptr, 0, 0, 20, &lists, nullptr, &partial);
    ASSERT_TRUE(byKeys && byFirst && byBoth) << text;
    EXPECT_EQ(collected(*byFirst), collected(*byKeys)) << text;
    EXPECT_EQ(collected(*byBoth), collected(*byKeys)) << text;
  }
  int32_t lists = 0;
  auto hits = kbase_findInfo("Tiger Wolf Adler", akb.get(), nullptr, nullptr, 0, 0, 20, &lists, nullptr, numbers.get());
  ASSERT_TRUE(hits.has_value());
  auto underShared = [&](const sentenceHit& h) { return h.primaryKey == shared; };
  ASSERT_EQ(std::count_if(hits->begin(), hits->end(), underShared), 1);
  // The shared key's second entry matches all three words.
  EXPECT_EQ(std::find_if(hits->begin(), hits->end(), underShared)->wordScores.size(), 3u);

  // Numbers taken before the knowledge base grew are not used.
  kbase_addFile("D7", "Tiger und Zebra.", akb.get(), nullptr);
  auto grown = kbase_findInfo("Tiger Zebra", akb.get(), nullptr, nullptr, 0, 0, 20, &lists);
  auto stale = kbase_findInfo("Tiger Zebra", akb.get(), nullptr, nullptr, 0, 0, 20, &lists, nullptr, numbers.get());
  EXPECT_EQ(collected(*stale), collected(*grown));
}

// Word scores are held in place up to a few and move elsewhere beyond; copies and moves keep them.
TEST(SentenceHits, WordScoreListsBeyondThePlacesHeld) {
  wordScoreList scores;
  for (int32_t i = 0; i < 7; ++i) {
    scores.push_back({i, 0.5f * static_cast<float>(i)});
    wordScoreList copy = scores;
    ASSERT_EQ(copy.size(), static_cast<std::size_t>(i + 1));
    for (int32_t j = 0; j <= i; ++j) EXPECT_EQ(copy[static_cast<std::size_t>(j)].wordIndex, j);
    wordScoreList moved = std::move(copy);
    EXPECT_EQ(moved.size(), static_cast<std::size_t>(i + 1));
    EXPECT_EQ(moved[static_cast<std::size_t>(i)].contribution, 0.5f * static_cast<float>(i));
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from list is left empty
    moved = scores;
    EXPECT_EQ(moved.end() - moved.begin(), i + 1);
  }
  scores.clear();
  EXPECT_TRUE(scores.empty());
  scores.push_back({9, 1.0f});
  EXPECT_EQ(scores[0].wordIndex, 9);
}

// The records a ranking returns are what reading back the documents' labels gives, score
// rounding, "$" in document keys and all.
TEST(DocumentRanking, RecordsAreTheLabelsReadBack) {
  const std::string keys[] = {key("X", 0, 0, 10),  key("A$B", 4, 7, 9),   key("X", 12, 30, 1234567),
                              key("A$B", 1, 0, 3), "Y?000001?000002?000003$9.000?4?5?6", "D 4 5 6",
                              key("X", 2, 22, 8)};
  const float scores[] = {0.123456f, 0.0004999f, 0.9999996f, 0.25f, 0.5f, 0.3f, 1e-7f};
  std::vector<sentenceHit> hits;
  for (std::size_t i = 0; i < std::size(keys); ++i) {
    hits.push_back({keys[i].c_str(), scores[i], {{static_cast<int32_t>(i), scores[i]}}});
  }
  std::vector<documentHit> documents = groupSentenceHits(hits);
  ASSERT_GE(documents.size(), 2u);
  std::vector<documentResult> ranked = rankDocuments(documents, hits, static_cast<int32_t>(documents.size()));
  ASSERT_EQ(ranked.size(), documents.size());
  for (const documentResult& result : ranked) {
    // Ranked documents are found again by their first record's document key and sentence number.
    auto same = [&](const documentHit& d) {
      std::vector<sentenceRecord> read = parseDocumentLabel(documentLabel(d, hits));
      return read.front().documentKey == result.sentences.front().documentKey &&
             read.front().sentenceNumber == result.sentences.front().sentenceNumber;
    };
    auto document = std::find_if(documents.begin(), documents.end(), same);
    ASSERT_NE(document, documents.end());
    std::vector<sentenceRecord> read = parseDocumentLabel(documentLabel(*document, hits));
    ASSERT_EQ(result.sentences.size(), read.size()) << read.front().documentKey;
    for (std::size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(result.sentences[i].documentKey, read[i].documentKey);
      EXPECT_EQ(result.sentences[i].sentenceNumber, read[i].sentenceNumber);
      EXPECT_EQ(result.sentences[i].offset, read[i].offset);
      EXPECT_EQ(result.sentences[i].length, read[i].length);
      EXPECT_EQ(result.sentences[i].score, read[i].score);
    }
  }
}

// The merge rules on hand-made sentence hits, and the label that carries a document's sentences.
TEST(DocumentRanking, MergeRulesAndLabels) {
  const std::string keys[] = {key("X", 0, 0, 10), key("Y", 0, 0, 5),  key("X", 1, 10, 12), key("X", 2, 22, 8),
                              key("X", 3, 30, 9), key("X", 4, 39, 7), key("X", 5, 46, 5),  "lose"};
  std::vector<sentenceHit> hits = {
      {keys[0].c_str(), 0.4f, {{0, 0.2f}, {1, 0.2f}}},
      {keys[1].c_str(), 0.5f, {{0, 0.5f}}},
      {keys[2].c_str(), 0.6f, {{0, 0.3f}, {1, 0.3f}}},    // same words, better: X takes 0.3, 0.3
      {keys[3].c_str(), 0.2f, {{0, 0.1f}, {1, 0.1f}}},    // same words, worse: no change
      {keys[4].c_str(), 0.35f, {{1, 0.1f}, {2, 0.25f}}},  // shares word 1, X's 0.3 stays: 0.85
      {keys[5].c_str(), 0.45f, {{0, 0.4f}, {4, 0.05f}}},  // 0.4 beats X's 0.3 on word 0: 1.0
      {keys[6].c_str(), 0.4f, {{1, 0.3f}, {3, 0.1f}}},    // equal on word 1, X keeps it: 1.1
      {keys[7].c_str(), 0.9f, {{0, 0.9f}}},               // no sentence key
  };
  std::vector<documentHit> documents = groupSentenceHits(hits);
  ASSERT_EQ(documents.size(), 2u);
  EXPECT_NEAR(documents[0].score, 1.1, 1e-6);
  std::vector<std::pair<int32_t, float>> scores;
  for (const wordScore& w : documents[0].wordScores) scores.emplace_back(w.wordIndex, w.contribution);
  // Those the document keeps in index order, then the sentence's.
  EXPECT_EQ(scores, (std::vector<std::pair<int32_t, float>>{
                        {0, 0.4f}, {1, 0.3f}, {2, 0.25f}, {4, 0.05f}, {3, 0.1f}}));
  EXPECT_EQ(documentLabel(documents[0], hits),
            keys[0] +
                " 40.000$60.000?000001?000010?000012$20.000?000002?000022?000008$35.000?000003?000030?000009"
                "$45.000?000004?000039?000007$40.000?000005?000046?000005");
  std::vector<documentResult> ranked = rankDocuments(documents, hits, 2);
  ASSERT_EQ(ranked.size(), 2u);
  ASSERT_EQ(ranked[0].sentences.size(), 6u);
  EXPECT_EQ(ranked[0].sentences[5].offset, 46);
  EXPECT_EQ(ranked[0].sentences[5].score, 40.0f);
  EXPECT_EQ(ranked[1].sentences.front().documentKey, "Y");

  // The label of two sentences of D7 with scores 0.875 and 0.42125.
  const std::string d7[] = {"D7?000002?000120?000045", "D7?000005?000310?000061"};
  std::vector<sentenceHit> pair = {{d7[0].c_str(), 0.875f, {{0, 0.875f}}},
                                   {d7[1].c_str(), 0.42125f, {{1, 0.42125f}}}};
  EXPECT_EQ(documentLabel(groupSentenceHits(pair).front(), pair),
            "D7?000002?000120?000045 87.500$42.125?000005?000310?000061");
}

// Places are taken by falling score, a document going in front of those with its score; once all
// are taken it must beat the last one. Scores A 0.5, B 0.5, C 0.5, D 0.7:
//   2 places: [A] [B A], C does not beat A, D enters first: D B
//   3 places: [A] [B A] [C B A], D pushes A out: D C B
TEST(DocumentRanking, FullPlacesTakeOnlyHigherScores) {
  const std::string keys[] = {key("A", 0), key("B", 0), key("C", 0), key("D", 0)};
  const float scores[] = {0.5f, 0.5f, 0.5f, 0.7f};
  std::vector<sentenceHit> hits;
  std::vector<documentHit> documents;
  for (std::size_t i = 0; i < 4; ++i) {
    hits.push_back({keys[i].c_str(), scores[i], {{0, scores[i]}}});
    documents.push_back({scores[i], {{0, scores[i]}}, {i}});
  }
  auto order = [&](int32_t places) {
    std::string shownOrder;
    for (const documentResult& d : rankDocuments(documents, hits, places))
      shownOrder += d.sentences.front().documentKey;
    return shownOrder;
  };
  EXPECT_EQ(order(1), "D");
  EXPECT_EQ(order(2), "DB");
  EXPECT_EQ(order(3), "DCB");
  EXPECT_EQ(order(4), "DCBA");
}

TEST(DocumentRanking, OnlyDocumentKnowledgeBases) {
  orl::KnowledgeBasePtr entries(knowledgeBase_create(1, 6, 2, 1));
  for (bool comparing : {false, true}) {
    orl::Exception e = veskortest::raisedBy([&] {
      kbase_seekFileSorted("Haus", entries.get(), nullptr, nullptr, 0, 0, 5, comparing);
    });
    EXPECT_EQ(e.group(), 200);
    EXPECT_EQ(e.code(), 2);
    EXPECT_EQ(e.message().rfind("invalid feature type of akb in kbase_seekFileSorted()\nin file \"veskorSearch/", 0),
              0u);
  }
}

TEST(ReduceDocument, KeepsTheRareWords) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  const char* sentences[] = {"Zebra Gras Tiger", "Zebra Gras Tiger Haus", "Gras Tiger Haus", "Tiger Haus",
                             "Tiger Haus", "Tiger Haus", "L\xF6we", "Affe", "Esel", "Baum"};
  for (int i = 0; i < 10; ++i) addSentence(akb.get(), key("S", i), sentences[i]);
  // 10 entries x 0.5: words in fewer than 5 entries are kept, sentence ends written as ".\n".
  int32_t written = 0;
  EXPECT_EQ(reduced(akb.get(), "Zebra Gras L\x94we. Affe, Esel! Haus", 0.5, &written),
            "ZEBRA GRAS L\xD6WE.\nAFFE ESEL.\n");
  EXPECT_EQ(written, 5);
  // A sentence end on an unknown word waits for the next known one; words of one byte are not
  // read at all.
  EXPECT_EQ(reduced(akb.get(), "Zebra Gras Unbekannt. x L\xF6we Affe Esel", 0.5, &written),
            "ZEBRA GRAS L\xD6WE.\nAFFE ESEL ");
  // Fewer than five kept: all known words, rarest first.
  EXPECT_EQ(reduced(akb.get(), "Zebra frisst Gras. Tiger, L\xF6we! Haus", 0.5, &written),
            "L\xD6WE ZEBRA GRAS HAUS TIGER ");
  EXPECT_EQ(written, 3);
  EXPECT_EQ(reduced(akb.get(), "Unbekannt nichts", 0.5, &written), "");
  EXPECT_EQ(written, 0);
  // A small AKB keeps nothing by the threshold of a comparison (10 x 0.001).
  EXPECT_EQ(reduceDocumentForComparison("Tiger Zebra L\xF6we Unbekannt", akb.get()), "L\xD6WE ZEBRA TIGER ");
}

TEST(ReduceDocument, CommonWordsStillGiveFiveRarestFirst) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  for (int i = 0; i < 300; ++i) addSentence(akb.get(), key("C", i), "alpha beta gamma delta epsilon zeta");
  addSentence(akb.get(), key("R", 0), "rar");
  EXPECT_EQ(reduceDocumentForComparison("zeta alpha rar beta gamma delta epsilon", akb.get()),
            "RAR ZETA ALPHA BETA GAMMA ");
}

TEST(CompareDocument, SearchesTheReducedDocument) {
  orl::KnowledgeBasePtr akb = animals();
  // Reduced to FRISST ZEBRA (rarest first): the zebra document and nothing else.
  EXPECT_EQ(find(akb.get(), "Ein Zebra frisst. Unbekannt", 10, true),
            (std::vector<std::string>{"D1 1.00000", "  0/0/13 100.000", "  1/13/15 46.464"}));
  EXPECT_TRUE(find(akb.get(), "Nichts davon", 10, true).empty());
}

// Comparisons at the same time in one process keep to their own texts.
TEST(DocumentSearchConcurrency, ComparisonsKeepToTheirOwnTexts) {
  orl::KnowledgeBasePtr akb = animals();
  const std::vector<std::string> zebra = find(akb.get(), "Ein Zebra frisst.", 10, true);
  const std::vector<std::string> wolf = find(akb.get(), "Der Wolf heult laut.", 10, true);
  ASSERT_NE(zebra, wolf);
  bool allSame = true;
  std::thread other([&] {
    for (int i = 0; i < 200; ++i) allSame = allSame && find(akb.get(), "Der Wolf heult laut.", 10, true) == wolf;
  });
  bool mineSame = true;
  for (int i = 0; i < 200; ++i) mineSame = mineSame && find(akb.get(), "Ein Zebra frisst.", 10, true) == zebra;
  other.join();
  EXPECT_TRUE(allSame);
  EXPECT_TRUE(mineSame);
}
