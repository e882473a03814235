// The word-based search: seek words, candidate lists, compounds, associations and the combined
// sentence scores, on small hand-checked knowledge bases.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "searchTestUtil.h"
#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskorSearch/candidateLists.h"
#include "veskorSearch/compoundWords.h"
#include "veskorSearch/kbase_findinfo.h"
#include "veskorText/seekWords.h"
#include "veskorSearch/wordAssociations.h"

namespace {

using searchtest::addSentence;
using searchtest::addWord;
using searchtest::capitalisedFeatures;
using searchtest::key;
using searchtest::plainFeatures;
using Words = std::vector<std::string>;

// A candidate as kind, searched text and score.
struct Shown {
  candidateKind kind;
  std::string text;
  float score;
  int32_t wordIndex;
};

std::vector<std::vector<Shown>> candidates(const Words& words, const knowledgeBase* wkb, const wordAssociator* wa,
                                           int32_t mode, int32_t split) {
  searchSettings settings = searchSettings_make(20, wkb != nullptr && wa != nullptr, mode, split);
  std::vector<candidateList> lists = buildCandidateLists(words, wkb, wa, settings);
  std::vector<std::vector<Shown>> shown;
  for (const candidateList& list : lists) {
    shown.emplace_back();
    for (const wordCandidate& c : list.candidates) {
      std::string text = c.kind == candidateKind::seekWord      ? c.word
                         : c.kind == candidateKind::similarWord ? c.wkbHit->text.get()
                                                                : c.text;
      shown.back().push_back({c.kind, text, c.score, c.wordIndex});
    }
  }
  return shown;
}

// Sentence key -> score of a word-based search.
std::vector<std::pair<std::string, float>> sentenceScores(const char* text, const knowledgeBase* akb,
                                                          const knowledgeBase* wkb = nullptr,
                                                          const wordAssociator* wa = nullptr, int32_t mode = 0,
                                                          int32_t* numberLists = nullptr, int32_t split = 0) {
  int32_t lists = -1;
  auto hits = kbase_findInfo(text, akb, wkb, wa, mode, split, 20, &lists);
  EXPECT_TRUE(hits.has_value());
  if (numberLists != nullptr) *numberLists = lists;
  std::vector<std::pair<std::string, float>> scores;
  if (hits) {
    for (const sentenceHit& h : *hits) scores.emplace_back(h.primaryKey, h.score);
  }
  return scores;
}

// The correction for k contributing words with the sum s.
double corrected(double s, int k) { return s * (1 - 0.1 * std::sqrt(s) / k); }

// A hit of a WKB search with the given text, confidence and feature vector.
void appendHit(knowledgeBaseResultList& list, const std::string& text, double confidence,
               std::string features) {
  knowledgeBaseSearchHit& hit = list.emplace_back();
  hit.primaryKey.reset(orlStrdup("k"));
  hit.text.reset(orlStrdup(text.c_str()));
  hit.syntacticFeatures.assign(features.begin(), features.end());
  hit.confidence = confidence;
}

std::string features(std::initializer_list<std::pair<int, char>> bytes, char fill = '2') {
  std::string f(wordFeatures_size, fill);
  for (auto [at, byte] : bytes) f[static_cast<std::size_t>(at)] = byte;
  return f;
}

}  // namespace

TEST(SeekWords, SplitsJoinsHyphensAndKeepsTheLimits) {
  EXPECT_EQ(seekWords_split("E-Mail an Haus-T\xFCr, 3<4 a/b\\c (Hallo)!? \"Welt\""),
            (Words{"EMail", "an", "HausT\xFCr", "3<4", "a/b\\c", "Hallo", "Welt"}));
  // A hyphen among the last two bytes of the text separates.
  EXPECT_EQ(seekWords_split("x a-b"), (Words{"x", "a", "b"}));
  EXPECT_EQ(seekWords_split("a-b-c x"), (Words{"abc", "x"}));
  EXPECT_EQ(seekWords_split("a - b 1-2"), (Words{"a", "b", "1", "2"}));
  EXPECT_EQ(seekWords_split(" ,;- "), Words{});

  std::string many;
  for (int i = 0; i < 2500; ++i) many += "w ";
  EXPECT_EQ(seekWords_split(many.c_str()).size(), 1999u);
  // Words of 200 bytes take 201 bytes of the buffer each: 497 fit with two bytes to spare.
  std::string longWords;
  for (int i = 0; i < 600; ++i) longWords += std::string(200, 'a') + " ";
  EXPECT_EQ(seekWords_split(longWords.c_str()).size(), 497u);

  Words words{"Haus", "Baum", "Haus", "Rot", "Baum"};
  seekWords_removeDoubles(words);
  EXPECT_EQ(words, (Words{"Haus", "Rot", "Baum"}));
}

TEST(WordSearch, CombinesTheSeekWordsPerSentence) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  addSentence(akb.get(), key("Z", 0), "Zebra frisst Gras");
  addSentence(akb.get(), key("Z", 1), "Zebra schl\xE4" "ft");
  addSentence(akb.get(), key("L", 0), "L\xF6we frisst Zebra");
  addSentence(akb.get(), key("T", 0), "Tiger");
  orl::KnowledgeBasePtr wkb = searchtest::wordKB();
  addWord(wkb.get(), "Haus");

  // Words the WKB does not know are searched as they are, with weight 1: each finds its
  // sentences with confidence 1, shared by the three words.
  int32_t lists = 0;
  auto scores = sentenceScores("Zebra L\xF6we Tiger", akb.get(), wkb.get(), nullptr, 0, &lists);
  EXPECT_EQ(lists, 3);
  ASSERT_EQ(scores.size(), 4u);
  const double one = corrected(1.0 / 3, 1), two = corrected(2.0 / 3, 2);
  EXPECT_EQ(scores[0].first, key("Z", 0));
  EXPECT_NEAR(scores[0].second, one, 1e-6);
  EXPECT_EQ(scores[1].first, key("Z", 1));
  EXPECT_NEAR(scores[1].second, one, 1e-6);
  EXPECT_EQ(scores[2].first, key("L", 0));
  EXPECT_NEAR(scores[2].second, two, 1e-6);
  EXPECT_EQ(scores[3].first, key("T", 0));
  EXPECT_NEAR(scores[3].second, one, 1e-6);

  // Best first, of equal scores the first met; places after the hits have confidence 0.
  auto entries = kbase_findEntries("Zebra L\xF6we Tiger", akb.get(), wkb.get(), nullptr, 0, 0, 6);
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 6u);
  std::vector<std::string> order;
  for (std::size_t i = 0; i < 4; ++i) order.push_back((*entries)[i].primaryKey.get());
  EXPECT_EQ(order, (Words{key("L", 0), key("Z", 0), key("Z", 1), key("T", 0)}));
  EXPECT_NEAR((*entries)[0].confidence, two, 1e-6);
  EXPECT_EQ((*entries)[4].confidence, 0.0f);
  EXPECT_EQ((*entries)[5].confidence, 0.0f);
  entries = kbase_findEntries("Zebra L\xF6we Tiger", akb.get(), wkb.get(), nullptr, 0, 0, 2);
  ASSERT_EQ(entries->size(), 2u);
  EXPECT_STREQ((*entries)[1].primaryKey.get(), key("Z", 0).c_str());

  // A repeated word is searched once; the last occurrence keeps its place.
  auto hits = kbase_findInfo("Tiger Zebra Tiger", akb.get(), wkb.get(), nullptr, 0, 0, 20, &lists);
  EXPECT_EQ(lists, 2);
  ASSERT_EQ(hits->size(), 4u);
  EXPECT_STREQ(hits->back().primaryKey, key("T", 0).c_str());
  ASSERT_EQ(hits->back().wordScores.size(), 1u);
  EXPECT_EQ(hits->back().wordScores[0].wordIndex, 1);
  EXPECT_NEAR(hits->back().score, corrected(0.5, 1), 1e-6);

  // Entries that share a key are one sentence.
  addSentence(akb.get(), key("T", 0), "Tiger Tiger");
  scores = sentenceScores("Tiger", akb.get());
  ASSERT_EQ(scores.size(), 1u);
  EXPECT_EQ(scores[0].second, 1.0f);

  // Nothing to search: null for a text under two bytes, an empty list for one without words.
  EXPECT_FALSE(kbase_findInfo("Z", akb.get(), wkb.get(), nullptr, 0, 0, 20, &lists).has_value());
  EXPECT_FALSE(kbase_findEntries("Z", akb.get(), wkb.get(), nullptr, 0, 0, 5).has_value());
  EXPECT_TRUE(kbase_findInfo("?!", akb.get(), wkb.get(), nullptr, 0, 0, 20, &lists)->empty());
  EXPECT_TRUE(kbase_findInfo("Unbekannt", akb.get(), nullptr, nullptr, 0, 0, 20, &lists)->empty());
}

TEST(WordSearch, WordsInManySentencesWeighLess) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  for (int i = 0; i < 10; ++i) addSentence(akb.get(), key("K", i), "Katze " + std::to_string(i));
  auto scores = sentenceScores("Katze", akb.get());
  ASSERT_EQ(scores.size(), 10u);
  // 10 hits: x (1 / 12.5 + 0.8) = x 0.88.
  for (auto& [k, score] : scores) EXPECT_NEAR(score, corrected(0.88, 1), 1e-6) << k;
}

TEST(CandidateLists, SimilarWordsFromTheWordKnowledgeBase) {
  orl::KnowledgeBasePtr wkb = searchtest::wordKB();
  addWord(wkb.get(), "Haus");
  // Unknown to the WKB: the word itself, weight 1.
  auto lists = candidates({"Zebra"}, wkb.get(), nullptr, 0, 0);
  ASSERT_EQ(lists.size(), 1u);
  ASSERT_EQ(lists[0].size(), 1u);
  EXPECT_EQ(lists[0][0].kind, candidateKind::seekWord);
  EXPECT_EQ(lists[0][0].text, "Zebra");
  EXPECT_EQ(lists[0][0].score, 1.0f);

  // No perfect match: the word itself comes first, then the similar word (10 of the 18 tuples
  // of _HAUSES_).
  lists = candidates({"Hauses"}, wkb.get(), nullptr, 0, 0);
  ASSERT_EQ(lists[0].size(), 2u);
  EXPECT_EQ(lists[0][0].kind, candidateKind::seekWord);
  EXPECT_EQ(lists[0][1].kind, candidateKind::similarWord);
  EXPECT_EQ(lists[0][1].text, "_HAUS_");
  EXPECT_NEAR(lists[0][1].score, 10.0 / 18, 1e-6);

  // A perfect match leads; the word is not repeated.
  lists = candidates({"haus"}, wkb.get(), nullptr, 0, 0);
  ASSERT_EQ(lists[0].size(), 1u);
  EXPECT_EQ(lists[0][0].kind, candidateKind::similarWord);
  EXPECT_EQ(lists[0][0].score, 1.0f);
}

// M places per word (at most 20); L similar words asked of the WKB: 3 places fewer for compound
// parts, half of the rest with associations; a list too short for that goes without both.
TEST(CandidateLists, SettingsLeaveRoomForPartsAndAssociations) {
  auto shownSettings = [](int32_t limit, bool haveBoth, int32_t mode, int32_t split) {
    searchSettings s = searchSettings_make(limit, haveBoth, mode, split);
    return std::to_string(s.maxCandidates) + "/" + std::to_string(s.wkbHits) + (s.associations ? " a" : "") +
           (s.splitCompounds ? " s" : "");
  };
  EXPECT_EQ(shownSettings(20, true, 2, 1), "20/8 a s");  // (20 - 3) / 2
  EXPECT_EQ(shownSettings(30, true, 2, 0), "20/10 a");
  EXPECT_EQ(shownSettings(20, true, 0, 1), "20/17 s");
  EXPECT_EQ(shownSettings(20, false, 2, 1), "20/20");
  EXPECT_EQ(shownSettings(5, true, 2, 1), "5/1 a s");
  EXPECT_EQ(shownSettings(4, true, 2, 1), "4/4");  // (4 - 3) / 2 = 0
  EXPECT_EQ(shownSettings(1, true, 0, 1), "1/1");
}

TEST(CandidateLists, CompoundsSplitIntoWordsTheWordKnowledgeBaseKnows) {
  veskortest::TempDir dir;
  veskortest::WordAssociatorFixture({"_BAUM_", "_AST_"}).write(dir.file("wa"));
  orl::WordAssociatorPtr wa(wordAssociator_createFromFile(dir.file("wa").c_str()));
  orl::KnowledgeBasePtr wkb = searchtest::wordKB();
  for (const char* word : {"Haus", "Haust\xFCr", "T\xFCr"}) addWord(wkb.get(), word, capitalisedFeatures());

  std::string first, second;
  EXPECT_EQ(segment_word("Haust\xFCr", wkb.get(), &first, &second), 1);
  EXPECT_EQ(first, "Haus");
  EXPECT_EQ(second, "t\xFCr");
  EXPECT_EQ(segment_word("Haus", wkb.get(), &first, &second), 0);

  auto lists = candidates({"Haust\xFCr"}, wkb.get(), wa.get(), 2, 1);
  ASSERT_EQ(lists.size(), 1u);
  ASSERT_EQ(lists[0].size(), 5u);
  // Similar words by falling share of the 21 tuples of _HAUSTÜR_, then the two parts at full
  // compatibility (both carry the capital mark).
  EXPECT_EQ(lists[0][0].text, "_HAUST\xDCR_");
  EXPECT_EQ(lists[0][0].score, 1.0f);
  EXPECT_EQ(lists[0][1].text, "_HAUS_");
  EXPECT_NEAR(lists[0][1].score, 9.0 / 21, 1e-6);
  EXPECT_EQ(lists[0][2].text, "_T\xDCR_");
  EXPECT_NEAR(lists[0][2].score, 6.0 / 21, 1e-6);
  EXPECT_EQ(lists[0][3].kind, candidateKind::compoundPart);
  EXPECT_EQ(lists[0][3].text, "Haus");
  EXPECT_EQ(lists[0][3].score, 1.0f);
  EXPECT_EQ(lists[0][4].kind, candidateKind::compoundPart);
  EXPECT_EQ(lists[0][4].text, "t\xFCr");

  // Without the word associator both options are off.
  EXPECT_EQ(candidates({"Haust\xFCr"}, wkb.get(), nullptr, 2, 1)[0].size(), 3u);

  // The parts are searched with weight 0.9: a sentence that only the part Haus finds gets 0.9,
  // not the 9/21 of the similar word.
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  addSentence(akb.get(), key("D", 0), "Das Haus");
  auto scores = sentenceScores("Haust\xFCr", akb.get(), wkb.get(), wa.get(), 2, nullptr, 1);
  ASSERT_EQ(scores.size(), 1u);
  EXPECT_NEAR(scores[0].second, corrected(0.9, 1), 1e-6);
}

TEST(CandidateLists, AssociationsWidenTheSearch) {
  veskortest::TempDir dir;
  veskortest::WordAssociatorFixture fixture({"_AUTO_", "_WAGEN_", "_RAD_"});
  fixture.connect("_AUTO_", "_WAGEN_", 9.0f);  // activity 3/4
  fixture.connect("_AUTO_", "_RAD_", 1.0f);    // activity 1/2: not enough
  fixture.write(dir.file("wa"));
  orl::WordAssociatorPtr wa(wordAssociator_createFromFile(dir.file("wa").c_str()));
  orl::KnowledgeBasePtr wkb = searchtest::wordKB();
  for (const char* word : {"Auto", "Wagen", "Rad"}) addWord(wkb.get(), word);

  auto lists = candidates({"Auto"}, wkb.get(), wa.get(), 2, 0);
  ASSERT_EQ(lists[0].size(), 2u);
  EXPECT_EQ(lists[0][1].kind, candidateKind::associatedWord);
  EXPECT_EQ(lists[0][1].text, "WAGEN");
  // Plain vectors fit with 0.8.
  EXPECT_NEAR(lists[0][1].score, 0.8, 1e-6);
  EXPECT_TRUE(candidates({"Auto"}, wkb.get(), wa.get(), 0, 0)[0].size() == 1u);

  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  addSentence(akb.get(), key("A", 0), "Das Auto");
  addSentence(akb.get(), key("W", 0), "Der Wagen");
  addSentence(akb.get(), key("R", 0), "Das Rad");
  auto scores = sentenceScores("Auto", akb.get(), wkb.get(), wa.get(), 2);
  ASSERT_EQ(scores.size(), 2u);
  EXPECT_EQ(scores[0].first, key("A", 0));
  EXPECT_NEAR(scores[0].second, 1.0, 1e-6);
  // 0.8 x 0.75 x 0.5.
  EXPECT_EQ(scores[1].first, key("W", 0));
  EXPECT_NEAR(scores[1].second, corrected(0.3, 1), 1e-6);

  EXPECT_EQ(wordAssociations_scoreFactor(0.2), 0.0);
  EXPECT_EQ(wordAssociations_scoreFactor(0.25), 0.3);
  EXPECT_EQ(wordAssociations_scoreFactor(0.3), 0.4);
  EXPECT_DOUBLE_EQ(wordAssociations_scoreFactor(0.6), 0.3);
}

// With feature vectors from elsewhere, a word of class 4 (byte 3 >= 'K') waits for a word of
// class 1 and both are sent together; the associations go to the word that completed the group.
TEST(CandidateLists, WordGroupsWaitForTheirCompletingWord) {
  veskortest::TempDir dir;
  veskortest::WordAssociatorFixture fixture({"_ROT_", "_AUTO_", "_WAGEN_"});
  fixture.connect("_ROT_", "_WAGEN_", 9.0f);  // activity 3/4 from ROT alone
  fixture.write(dir.file("wa"));
  orl::WordAssociatorPtr wa(wordAssociator_createFromFile(dir.file("wa").c_str()));
  orl::KnowledgeBasePtr wkb = searchtest::wordKB();
  addWord(wkb.get(), "Rot", features({{3, 'K'}}));
  for (const char* word : {"Auto", "Wagen"}) addWord(wkb.get(), word);

  auto lists = candidates({"rot", "Auto"}, wkb.get(), wa.get(), 2, 0);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[0].size(), 1u);
  ASSERT_EQ(lists[1].size(), 2u);
  EXPECT_EQ(lists[1][1].kind, candidateKind::associatedWord);
  EXPECT_EQ(lists[1][1].text, "WAGEN");
  EXPECT_EQ(lists[1][1].wordIndex, 1);
  EXPECT_NEAR(lists[1][1].score, 0.8, 1e-6);
  // Auto first completes a group of its own; rot then waits for a word that never comes.
  lists = candidates({"Auto", "rot"}, wkb.get(), wa.get(), 2, 0);
  EXPECT_EQ(lists[0].size(), 1u);
  EXPECT_EQ(lists[1].size(), 1u);
}

TEST(CandidateSelection, FeatureBytesDecideAndWeakHitsStop) {
  knowledgeBaseResultList hits;
  appendHit(hits, "_HAUS_", 1.0, features({}));
  appendHit(hits, "_HAUSTUEREN_", 0.95, features({}));         // much longer: x 0.9
  appendHit(hits, "_HAUT_", 0.5, features({{3, '3'}}, '0'));   // x 0.95
  appendHit(hits, "_HAUT_", 0.5, features({{4, '3'}}, '0'));   // x 0.91
  appendHit(hits, "_HAUT_", 0.5, features({{1, '3'}}, '0'));   // x 0.7
  appendHit(hits, "_HAUT_", 0.5, features({}, '0'));           // no class: left out
  appendHit(hits, "_HAUT_", 0.5, features({{44, '3'}}, '0'));  // marks the word
  appendHit(hits, "_HAUT_", 0.5, features({{3, '3'}}, '0'));   // marked: no rule, s
  std::vector<selectedHit> selected = selectCandidates(hits, 4, 20);
  std::vector<double> scores;
  for (const selectedHit& s : selected) scores.push_back(s.score);
  ASSERT_EQ(scores.size(), 7u);
  EXPECT_DOUBLE_EQ(scores[0], 1.0);
  EXPECT_DOUBLE_EQ(scores[1], 0.95 * 0.9);
  EXPECT_DOUBLE_EQ(hits[1].confidence, 0.95 * 0.9);
  EXPECT_DOUBLE_EQ(scores[2], 0.5 * 0.95);
  EXPECT_DOUBLE_EQ(scores[3], 0.5 * 0.91);
  EXPECT_DOUBLE_EQ(scores[4], 0.5 * 0.7);
  EXPECT_DOUBLE_EQ(scores[5], 0.5);
  EXPECT_DOUBLE_EQ(scores[6], 0.5);
  // At most M.
  EXPECT_EQ(selectCandidates(hits, 4, 2).size(), 2u);

  // A weak hit far down ends the selection after itself: for a word of 4 bytes hit 7 stops when
  // 1.45 < 1.5 (1 - s).
  knowledgeBaseResultList weak;
  for (int i = 0; i < 7; ++i) appendHit(weak, "_HAUS_", 0.9, features({}));
  appendHit(weak, "_HAUS_", 0.02, features({}));
  appendHit(weak, "_HAUS_", 0.9, features({}));
  EXPECT_EQ(selectCandidates(weak, 4, 20).size(), 8u);
  // Lexicon entries (byte 65 above 'Y') are always taken.
  knowledgeBaseResultList lexicon;
  appendHit(lexicon, "_HAUS_", 0.7, features({{65, 'Z'}}, '0'));
  EXPECT_EQ(selectCandidates(lexicon, 4, 20).size(), 1u);
}

TEST(CompoundWords, CompatibilityAndWordChecks) {
  std::string plain = plainFeatures(), capital = capitalisedFeatures();
  auto bytes = [](const std::string& f) { return reinterpret_cast<const unsigned char*>(f.data()); };
  EXPECT_DOUBLE_EQ(syntacticCompatibility(bytes(plain), bytes(plain)), 0.8);
  EXPECT_DOUBLE_EQ(syntacticCompatibility(bytes(capital), bytes(capital)), 1.0);
  EXPECT_DOUBLE_EQ(syntacticCompatibility(bytes(plain), bytes(features({}, '1'))), 0.0);
  EXPECT_DOUBLE_EQ(syntacticCompatibility(bytes(plain), bytes(features({{47, 'n'}}))), 0.0);
  EXPECT_DOUBLE_EQ(syntacticCompatibility(bytes(plain), bytes(features({{71, 'P'}}))), 0.8 * 0.7);
  // Position 68 counts twice: both far from 50, 0.3 apart.
  EXPECT_NEAR(syntacticCompatibility(bytes(features({{68, 'd'}})), bytes(features({{68, 'F'}}))),
              0.8 * 0.85 * 0.85, 1e-12);
  // A missing vector counts as zeros: 0.8, and x 0.5 for position 71.
  EXPECT_DOUBLE_EQ(syntacticCompatibility(nullptr, bytes(plain)), 0.4);
  EXPECT_DOUBLE_EQ(syntacticCompatibility(bytes(plain), nullptr), 0.0);

  orl::KnowledgeBasePtr wkb = searchtest::wordKB();
  addWord(wkb.get(), "Haus");
  addWord(wkb.get(), "Lexikon", features({{65, 'Z'}}, '0'));
  addWord(wkb.get(), "Partikel", features({}, '0'));
  EXPECT_EQ(checkCandidateWord(wkb.get(), "Haus"), candidateCheck::accepted);
  EXPECT_EQ(checkCandidateWord(wkb.get(), "a"), candidateCheck::unjudged);
  EXPECT_EQ(checkCandidateWord(wkb.get(), "Zebra"), candidateCheck::unjudged);
  EXPECT_EQ(checkCandidateWord(wkb.get(), "Lexikon"), candidateCheck::unjudged);
  EXPECT_EQ(checkCandidateWord(wkb.get(), "Partikel"), candidateCheck::refused);
  orl::KnowledgeBasePtr bare(knowledgeBase_create(1, 6, 3, 1));
  knowledgeBase_addEntry(bare.get(), "1", "Haus", nullptr, 0.0);
  EXPECT_EQ(checkCandidateWord(bare.get(), "Haus"), candidateCheck::refused);
}

TEST(CompoundWords, SplittingWithoutWordKnowledgeBaseOnlyComplains) {
  std::string first = "unchanged", second;
  testing::internal::CaptureStderr();
  EXPECT_EQ(segment_word("Haust\xFCr", nullptr, &first, &second), -2);
  EXPECT_EQ(segment_word("Gartenzaun", nullptr, &first, &second), -2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "segment_word: Error - wkb not present\nsegment_word: Error - wkb not present\n");
  EXPECT_EQ(first, "unchanged");
}
