#include "veskorKernel/knowledgeBaseText.h"

#include <gtest/gtest.h>

#include "kernelTestUtil.h"
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
