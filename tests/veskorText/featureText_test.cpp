// Cutting a text into features and keeping each feature once.
#include "veskorText/featureText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orlBasics/orlMemory.h"
#include "veskorText/entryText.h"

namespace {

using veskorText::cutTuples;
using veskorText::cutWords;
using veskorText::FeatureViews;
using veskorText::removeDoubleFeatures;

std::vector<std::string> strings(const FeatureViews& views) {
  return std::vector<std::string>(views.begin(), views.end());
}

TEST(FeatureText, TuplesAndWords) {
  auto cut = [](void (*cutter)(std::string_view, FeatureViews&), const char* text) {
    FeatureViews views;
    cutter(text, views);
    return strings(views);
  };
  EXPECT_EQ(cut(cutTuples, "_HAUS_"), (std::vector<std::string>{"_H", "HA", "AU", "US", "S_", "_HA", "HAU",
                                                                "AUS", "US_", "_HAU", "HAUS", "AUS_"}));
  EXPECT_EQ(cut(cutTuples, "_A_"), (std::vector<std::string>{"_A", "A_", "_A_"}));
  EXPECT_TRUE(cut(cutTuples, "A").empty());

  EXPECT_EQ(cut(cutWords, " ab ab\tcd "), (std::vector<std::string>{"ab", "ab", "cd"}));
  EXPECT_EQ(cut(cutWords, "eins \nzwei"), (std::vector<std::string>{"eins"}));
  EXPECT_TRUE(cut(cutWords, " \n zwei").empty());
}

TEST(FeatureText, RemovingDoublesKeepsTheLastOfEqualFeatures) {
  std::vector<std::string> texts{"ab", "cd", "ab", "ef", "cd", "ab"};
  FeatureViews views(texts.begin(), texts.end());
  removeDoubleFeatures(views);
  EXPECT_EQ(strings(views), (std::vector<std::string>{"ef", "cd", "ab"}));
  EXPECT_EQ(views.back().data(), texts.back().data());  // the survivors are the last occurrences

  // Long lists and long features (hashed rather than packed keys) take the same path.
  std::vector<std::string> many;
  for (int i = 0; i < 300; ++i) many.push_back("long feature text number " + std::to_string(i % 100));
  FeatureViews big(many.begin(), many.end());
  removeDoubleFeatures(big);
  ASSERT_EQ(big.size(), 100u);
  EXPECT_EQ(big.front(), "long feature text number 0");
  EXPECT_EQ(big.front().data(), many[200].data());
}

TEST(EntryText, TrimsCollapsesUpperCasesFramesAndRefusesBlankTexts) {
  auto normalised = [](const char* text, bool upperCase, bool framed) {
    orl::OwnedText result(normaliseEntryText(text, upperCase, framed));
    return result ? std::string(result.get()) : std::string("<null>");
  };
  EXPECT_EQ(normalised("  Rotes \t\n Haus ", false, false), "Rotes Haus");
  EXPECT_EQ(normalised("  Rotes \t\n Haus ", true, true), "_ROTES_HAUS_");
  EXPECT_EQ(normalised("stra\xDF"
                       "e \xE4\xE9",
                       true, false),
            "STRA\xDF"
            "E \xC4\xE9");
  EXPECT_EQ(normalised("x", false, true), "_x_");
  for (const char* blank : {"", " ", " \t\r\n\v\f "}) EXPECT_EQ(normalised(blank, true, true), "<null>");
}

}  // namespace
