// The words of a word associator as the search meets them, and the word pairs that the sentences of
// a document knowledge base associate.
#include "veskorSearch/associatorWords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "searchTestUtil.h"
#include "veskorKernel/knowledgeBaseRecord.h"
#include "veskorSearch/wordCooccurrence.h"

namespace {

using searchtest::capitalisedFeatures;
using searchtest::plainFeatures;

TEST(AssociatorWords, PreparedAsDocumentWordsAndHeldInTheFormOfTheirWordEntries) {
  EXPECT_EQ(associatorWord_prepare("Honig"), "Honig");
  EXPECT_EQ(associatorWord_prepare("(Honig,"), "Honig");
  EXPECT_EQ(associatorWord_prepare("E-Mail"), "EMail");
  EXPECT_EQ(associatorWord_prepare("M\xFCll"), "M\xFCll");
  // No words: phrases, other letters than the German ones, digits, a second hyphen, one letter.
  for (const char* text : {"Verbotenes tun", "Caf\xE9", "A4", "Ab-fall-eimer", "x", "", "Deputat..."}) {
    EXPECT_EQ(associatorWord_prepare(text), "") << text;
  }

  EXPECT_EQ(associatorWord_storedForm(nullptr, "Drahtesel"), "_DRAHTESEL_");
  EXPECT_EQ(associatorWord_storedForm(nullptr, "m\xFCll"), "_M\xDCLL_");
  // A word knowledge base's own preparation decides where there is one.
  orl::KnowledgeBasePtr plain(knowledgeBase_create(1, 0, 11, 1));
  EXPECT_EQ(associatorWord_storedForm(plain.get(), "M\xFCll"), "M\xFCll");
}

TEST(AssociatorWords, RegisteredAsTheWordsOfAddedDocuments) {
  orl::KnowledgeBasePtr wkb = searchtest::wordKB();
  searchtest::addWord(wkb.get(), "Honig", capitalisedFeatures());
  EXPECT_EQ(associatorWord_register(wkb.get(), "Drahtesel"), 1);
  EXPECT_EQ(associatorWord_register(wkb.get(), "abfahren"), 1);
  // Already there, in another case: nothing changes.
  EXPECT_EQ(associatorWord_register(wkb.get(), "honig"), 0);
  ASSERT_EQ(entryList_getMaxIndex(wkb->entryList), 2);

  const struct {
    const char* key;
    const char* text;
    std::string features;
  } expected[] = {{"     0", "_HONIG_", capitalisedFeatures()},
                  {"     1", "_DRAHTESEL_", capitalisedFeatures()},
                  {"     2", "_ABFAHREN_", plainFeatures()}};
  for (int32_t i = 0; i < 3; ++i) {
    const entry* e = entryList_getEntry(wkb->entryList, i);
    EXPECT_STREQ(e->primaryKey, expected[i].key);
    EXPECT_STREQ(e->text, expected[i].text);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e->syntacticFeatures), wordFeatures_size),
              expected[i].features);
  }
}

// NPMI as the definition has it: how much more often two words share a sentence than chance would
// have them, against how rare sharing one is.
double npmi(double together, double first, double second, double sentences) {
  return std::log(together * sentences / (first * second)) / -std::log(together / sentences);
}

std::vector<std::string> shown(const std::vector<cooccurringPair>& pairs) {
  std::vector<std::string> out;
  for (const cooccurringPair& p : pairs) {
    char weight[32];
    std::snprintf(weight, sizeof weight, "%.6f", p.weight);
    out.push_back(p.first.form + " " + p.second.form + " " + weight + " " + p.first.spelling + "/" +
                  p.second.spelling);
  }
  return out;
}

TEST(WordCooccurrence, PairsTheWordsSentencesShareMoreOftenThanChance) {
  orl::KnowledgeBasePtr akb = searchtest::documentKB();
  // "und" stands in every sentence: as likely with any word as chance has it.
  const char* sentences[] = {"Imker Honig Wabe und ", "imker Honig und .", "Imker Wabe und ",
                             "Brot Butter und ",      "Brot Butter und ",  "Brot Honig und ",
                             "Honig und Glas ",       "(Honig und Glas. "};
  for (int i = 0; i < 8; ++i) searchtest::addSentence(akb.get(), searchtest::key("d", i), sentences[i]);
  char strong[32], honigGlas[32], honigImker[32];
  std::snprintf(strong, sizeof strong, "%.6f", npmi(2, 3, 2, 8));
  std::snprintf(honigGlas, sizeof honigGlas, "%.6f", npmi(2, 5, 2, 8));
  std::snprintf(honigImker, sizeof honigImker, "%.6f", npmi(2, 5, 3, 8));
  EXPECT_STREQ(strong, "0.707519");

  // The knowledge base keeps the words of its sentences upper-cased: those are the spellings.
  // One neighbour each: Honig's strongest is Glas and Imker's is Wabe, so nobody keeps Honig-Imker.
  EXPECT_EQ(shown(wordCooccurrence_strongestPairs(akb.get(), nullptr, 2, 1)),
            (std::vector<std::string>{"_BROT_ _BUTTER_ " + std::string(strong) + " BROT/BUTTER",
                                      "_GLAS_ _HONIG_ " + std::string(honigGlas) + " GLAS/HONIG",
                                      "_IMKER_ _WABE_ " + std::string(strong) + " IMKER/WABE"}));
  EXPECT_EQ(shown(wordCooccurrence_strongestPairs(akb.get(), nullptr, 2, 2)),
            (std::vector<std::string>{"_BROT_ _BUTTER_ " + std::string(strong) + " BROT/BUTTER",
                                      "_GLAS_ _HONIG_ " + std::string(honigGlas) + " GLAS/HONIG",
                                      "_HONIG_ _IMKER_ " + std::string(honigImker) + " HONIG/IMKER",
                                      "_IMKER_ _WABE_ " + std::string(strong) + " IMKER/WABE"}));
  // Pairs sharing a single sentence are here less likely than chance, and none shares three.
  EXPECT_EQ(wordCooccurrence_strongestPairs(akb.get(), nullptr, 1, 10).size(), 4u);
  EXPECT_TRUE(wordCooccurrence_strongestPairs(akb.get(), nullptr, 3, 10).empty());

  // Deleted sentences count no more.
  knowledgeBase_deleteEntry(akb.get(), searchtest::key("d", 7).c_str(), 0);
  knowledgeBase_deleteEntry(akb.get(), searchtest::key("d", 6).c_str(), 0);
  EXPECT_EQ(shown(wordCooccurrence_strongestPairs(akb.get(), nullptr, 2, 1)).size(), 3u);
}

}  // namespace
