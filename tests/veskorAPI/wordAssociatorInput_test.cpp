#include "veskorAPI/wordAssociatorInput.h"

#include <gtest/gtest.h>

#include "support/raises.h"
#include "veskorAPI/veskorAPIInternal.h"

namespace {

using veskortest::messageHead;
using veskortest::raisedBy;

TEST(WordAssociatorInput, MoreWordsThanAWordTableCountsAreRefused) {
  wordAssociatorInput_checkNumberWords(2147483647u, "veskorBuildWA");
  const orl::Exception e = raisedBy([] { wordAssociatorInput_checkNumberWords(2147483648u, "veskorBuildWA"); });
  EXPECT_EQ(e.group(), kVeskorAPIGroup);
  EXPECT_EQ(e.code(), VESKOR_ERROR_OUT_OF_BOUNDS);
  EXPECT_EQ(messageHead(e), "error: more than 2147483647 words in veskorBuildWA()");
}

TEST(WordAssociatorInput, PairsBecomeWordsInTheirStoredFormAndLinksOnceEach) {
  const veskorWordPair pairs[] = {{"Honig", "Imker", 1.0}, {"imker", "Wabe", 2.0}, {"IMKER", "honig", 4.0}};
  int bad = 99;
  int skipped = 99;
  const wordAssociatorGraph graph =
      wordAssociatorInput_fromPairs(pairs, 3, true, nullptr, "veskorBuildWA", &bad, &skipped);
  EXPECT_EQ(graph.words(), (std::vector<std::string>{"_HONIG_", "_IMKER_", "_WABE_"}));
  EXPECT_EQ(graph.spellings(), (std::vector<std::string>{"Honig", "Imker", "Wabe"}));
  ASSERT_EQ(graph.links().size(), 2u);
  // The repeated pair keeps the first link, with the higher weight.
  EXPECT_EQ(graph.links()[0].first, 0);
  EXPECT_EQ(graph.links()[0].second, 1);
  EXPECT_EQ(graph.links()[0].weight, 4.0);
  EXPECT_EQ(graph.links()[1].weight, 2.0);
  EXPECT_EQ(skipped, 0);
  EXPECT_EQ(bad, 99);
}

}  // namespace
