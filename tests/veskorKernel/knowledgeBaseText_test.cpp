#include "veskorKernel/knowledgeBaseText.h"

#include <gtest/gtest.h>

#include "kernelTestUtil.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

using kerneltest::strings;

std::string preprocess(int32_t language, int32_t encoding, int32_t featureType, const char* text) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(language, encoding, 3, featureType));
  orl::OwnedText result(knowledgeBase_preprocessText(kb.get(), text));
  return result.get();
}

std::vector<std::string> features(int32_t language, int32_t encoding, int32_t featureType, const char* text) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(language, encoding, 3, featureType));
  orl::OwnedText pre(knowledgeBase_preprocessText(kb.get(), text));
  orl::OwnedText featureText((encoding & 1) ? knowledgeBase_computePhonemeCodes(kb.get(), pre.get())
                                            : orlStrdup(pre.get()));
  orl::StringListPtr list(knowledgeBase_computeFeatureIDs(kb.get(), featureText.get()));
  stringListRemoveDoubles(list.get());
  vector_compress(list.get(), stringList_isNotNull);
  return strings(list.get());
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
  EXPECT_RAISES(knowledgeBase_computeFeatureIDs(kb.get(), nullptr), 20, 1,
                "pThis == NULL || pText == NULL in knowledgeBase_computeFeatureIDs");
  EXPECT_RAISES(knowledgeBase_computePhonemeCodes(nullptr, "x"), 20, 1,
                "pThis == NULL || pText == NULL in knowledgeBase_computePhonemeCodes");
  EXPECT_RAISES(substituteWhiteSpace(nullptr), 20, 1, "pText == NULL in substituteWhiteSpace");
  // These two are formatted with the source position instead of the usual suffix.
  kerneltest::Raised words = kerneltest::raised([] { getWordsFromText(nullptr); });
  EXPECT_EQ(words.group, 20);
  EXPECT_EQ(
      words.text.rfind("pText == NULL in getWordsFromText in veskorKernel/knowledgeBaseText.cpp, line ", 0),
      0u)
      << words.text;
  kerneltest::Raised tuples = kerneltest::raised([] { getTupelFromText(nullptr); });
  EXPECT_EQ(tuples.text.rfind("pText == NULL in getTupelFromText in ", 0), 0u) << tuples.text;
}

TEST(KnowledgeBaseText, SubstituteWhiteSpaceFramesAndReplacesRuns) {
  auto substitute = [](const char* text) {
    orl::OwnedText result(substituteWhiteSpace(text));
    return std::string(result.get());
  };
  EXPECT_EQ(substitute("HAUS"), "_HAUS_");
  EXPECT_EQ(substitute("ROTES HAUS"), "_ROTES_HAUS_");
  EXPECT_EQ(substitute("  A_ \t B  "), "_A__B__");
  EXPECT_EQ(substitute(""), "__");
}

TEST(KnowledgeBaseText, TuplesAndWords) {
  orl::StringListPtr tuples(getTupelFromText("_HAUS_"));
  EXPECT_EQ(strings(tuples.get()), (std::vector<std::string>{"_H", "HA", "AU", "US", "S_", "_HA", "HAU",
                                                             "AUS", "US_", "_HAU", "HAUS", "AUS_"}));
  orl::StringListPtr single(getTupelFromText("_A_"));
  EXPECT_EQ(strings(single.get()), (std::vector<std::string>{"_A", "A_", "_A_"}));
  orl::StringListPtr none(getTupelFromText("A"));
  EXPECT_EQ(none->numberElements, 0);

  orl::StringListPtr words(getWordsFromText(" ab ab\tcd "));
  EXPECT_EQ(strings(words.get()), (std::vector<std::string>{"ab", "ab", "cd"}));
  orl::StringListPtr firstLine(getWordsFromText("eins \nzwei"));
  EXPECT_EQ(strings(firstLine.get()), (std::vector<std::string>{"eins"}));
  orl::StringListPtr leadingLineFeed(getWordsFromText(" \n zwei"));
  EXPECT_EQ(leadingLineFeed->numberElements, 0);
}

TEST(KnowledgeBaseText, RemovingDoublesKeepsTheLastOfEqualStrings) {
  orl::StringListPtr list(kerneltest::featureList({"ab", "cd", "ab", "ef", "cd", "ab"}));
  stringListRemoveDoubles(list.get());
  EXPECT_EQ(strings(list.get()), (std::vector<std::string>{"<null>", "<null>", "<null>", "ef", "cd", "ab"}));
  vector_compress(list.get(), stringList_isNotNull);
  EXPECT_EQ(strings(list.get()), (std::vector<std::string>{"ef", "cd", "ab"}));

  // Long lists and long strings take the same path.
  std::vector<std::string> many;
  for (int i = 0; i < 300; ++i) many.push_back("long feature text number " + std::to_string(i % 100));
  orl::StringListPtr big(kerneltest::featureList(many));
  stringListRemoveDoubles(big.get());
  vector_compress(big.get(), stringList_isNotNull);
  ASSERT_EQ(big->numberElements, 100);
  EXPECT_EQ(strings(big.get()).front(), "long feature text number 0");
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
