#include "veskorKernel/knowledgeBaseText.h"

#include <gtest/gtest.h>

#include "kernelTestUtil.h"
#include "veskorKernel/featureText.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorKernel/knowledgeBaseFeatures.h"

namespace {

std::vector<std::string> strings(const veskorKernel::FeatureViews& views) {
  return std::vector<std::string>(views.begin(), views.end());
}

std::string preprocess(int32_t language, int32_t encoding, int32_t featureType, const char* text) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(language, encoding, 3, featureType));
  orl::OwnedText result(knowledgeBase_preprocessText(kb.get(), text));
  return result.get();
}

std::vector<std::string> features(int32_t language, int32_t encoding, int32_t featureType, const char* text) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(language, encoding, 3, featureType));
  veskorKernel::PreparedText prepared = veskorKernel::prepareText(kb.get(), text);
  veskorKernel::FeatureViews views;
  veskorKernel::computeDistinctFeatures(kb.get(), prepared.featureText(), views);
  return strings(views);
}

TEST(KnowledgeBaseText, PreprocessingTrimsCollapsesUpperCasesAndFrames) {
  EXPECT_EQ(preprocess(0, 0, 1, "  Rotes   Haus "), "Rotes Haus");
  EXPECT_EQ(preprocess(0, 7, 2, "  Rotes \t\n Haus "), "Rotes Haus");
  EXPECT_EQ(preprocess(1, 2, 2, "  Rotes   Haus "), "ROTES HAUS");
  EXPECT_EQ(preprocess(1, 6, 1, "  Rotes   Haus "), "_ROTES_HAUS_");
  EXPECT_EQ(preprocess(1, 4, 2, " a b "), "a b");      // framing is for tuple knowledge bases only
  EXPECT_EQ(preprocess(2, 4, 1, "a\xE4"), "_a\xE4_");  // upper-casing is German only
  EXPECT_EQ(preprocess(1, 2, 1,
                       "stra\xDF"
                       "e"),
            "STRA\xDF"
            "E");
}

TEST(KnowledgeBaseText, EmptyTextsAndNullArgumentsAreRefused) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 3, 1));
  EXPECT_RAISES(knowledgeBase_preprocessText(kb.get(), " \t\r\n "), 20, 11,
                "Ung\xFCltiger Eintragstext in knowledgeBase_preprocessText pText=\" \t\r\n \"");
  EXPECT_RAISES(knowledgeBase_preprocessText(kb.get(), ""), 20, 11,
                "Ung\xFCltiger Eintragstext in knowledgeBase_preprocessText pText=\"\"");
  EXPECT_RAISES(knowledgeBase_preprocessText(nullptr, "x"), 20, 1,
                "pThis == NULL || pText == NULL in knowledgeBase_preprocessText");
  EXPECT_RAISES(knowledgeBase_computePhonemeCodes(nullptr, "x"), 20, 1,
                "pThis == NULL || pText == NULL in knowledgeBase_computePhonemeCodes");
}

TEST(KnowledgeBaseText, TuplesAndWords) {
  auto cut = [](void (*cutter)(std::string_view, veskorKernel::FeatureViews&), const char* text) {
    veskorKernel::FeatureViews views;
    cutter(text, views);
    return strings(views);
  };
  EXPECT_EQ(cut(veskorKernel::cutTuples, "_HAUS_"),
            (std::vector<std::string>{"_H", "HA", "AU", "US", "S_", "_HA", "HAU", "AUS", "US_", "_HAU", "HAUS",
                                      "AUS_"}));
  EXPECT_EQ(cut(veskorKernel::cutTuples, "_A_"), (std::vector<std::string>{"_A", "A_", "_A_"}));
  EXPECT_TRUE(cut(veskorKernel::cutTuples, "A").empty());

  EXPECT_EQ(cut(veskorKernel::cutWords, " ab ab\tcd "), (std::vector<std::string>{"ab", "ab", "cd"}));
  EXPECT_EQ(cut(veskorKernel::cutWords, "eins \nzwei"), (std::vector<std::string>{"eins"}));
  EXPECT_TRUE(cut(veskorKernel::cutWords, " \n zwei").empty());
}

TEST(KnowledgeBaseText, RemovingDoublesKeepsTheLastOfEqualFeatures) {
  std::vector<std::string> texts{"ab", "cd", "ab", "ef", "cd", "ab"};
  veskorKernel::FeatureViews views(texts.begin(), texts.end());
  veskorKernel::removeDoubleFeatures(views);
  EXPECT_EQ(strings(views), (std::vector<std::string>{"ef", "cd", "ab"}));
  EXPECT_EQ(views.back().data(), texts.back().data());  // the survivors are the last occurrences

  // Long lists and long features (hashed rather than packed keys) take the same path.
  std::vector<std::string> many;
  for (int i = 0; i < 300; ++i) many.push_back("long feature text number " + std::to_string(i % 100));
  veskorKernel::FeatureViews big(many.begin(), many.end());
  veskorKernel::removeDoubleFeatures(big);
  ASSERT_EQ(big.size(), 100u);
  EXPECT_EQ(big.front(), "long feature text number 0");
  EXPECT_EQ(big.front().data(), many[200].data());
}

TEST(KnowledgeBaseText, FeaturesOfTheWholePipeline) {
  EXPECT_EQ(features(0, 0, 2, "ab ab cd"), (std::vector<std::string>{"ab", "cd"}));
  EXPECT_EQ(features(1, 6, 1, "Haus").size(), 12u);
  // Phoneme codes feed the tuples: both spellings give the same features.
  EXPECT_EQ(features(1, 7, 1, "Strasse"), features(1, 7, 1,
                                                   "Stra\xDF"
                                                   "e"));
  EXPECT_EQ(features(1, 7, 1, "Maier"), features(1, 7, 1, "Meyer"));
}

}  // namespace
