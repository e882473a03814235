// Cutting documents held in memory into stored sentences, their keys and their word features.
#include "veskorSearch/documentSentences.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/tempDir.h"
#include "veskorSearch/abbreviationList.h"
#include "veskorSearch/sentenceKey.h"
#include "veskorSearch/sentenceWord.h"
#include "veskorSearch/wordFeatures.h"
#include "veskorSearch/wordPreparation.h"

namespace {

struct Cut {
  std::vector<std::string> words;
  std::string text;
  std::size_t offset;
  std::size_t length;
  bool operator==(const Cut&) const = default;
};

std::vector<std::string> wordsOf(const vector* words) {
  std::vector<std::string> result;
  for (int32_t i = 0; i < vector_getNumberElements(words); ++i) {
    result.emplace_back(orl::vectorAt<sentenceWord>(words, i).word);
  }
  return result;
}

std::vector<Cut> cut(const std::string& document) {
  orl::HashPtr list(createAbbreviationList());
  std::vector<Cut> cuts;
  int32_t count = cutDocument(document.c_str(), list.get(), [&](const documentSentence& s) {
    EXPECT_EQ(s.number, static_cast<int32_t>(cuts.size()));
    cuts.push_back({wordsOf(s.words), s.text, s.offset, s.length});
  });
  EXPECT_EQ(count, static_cast<int32_t>(cuts.size()));
  return cuts;
}

// The same document read from a file with the C library's bounded token reads, positions taken
// with ftell right after each token: what cutting in memory must reproduce byte for byte.
std::vector<Cut> cutThroughFile(const std::string& document, const std::string& fileName) {
  veskortest::writeFileBytes(fileName, document);
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (file == nullptr) return {};
  orl::HashPtr list(createAbbreviationList());
  std::vector<Cut> cuts;
  long previousEnd = 0;
  while (!std::feof(file)) {
    orl::SentenceWordVectorPtr words(sentenceWordVector_create());
    long end = previousEnd;
    bool ended = false;
    char token[501];
    while (!std::feof(file) && !ended && std::fscanf(file, "%500s", token) == 1) {
      end = std::ftell(file);
      std::string_view t(token);
      int32_t endCharacter = 0;
      char last = t.back();
      if (std::strchr("!:;?", last) != nullptr) {
        t.remove_suffix(1);
        endCharacter = last;
      } else if (last == '.') {
        t.remove_suffix(1);
        if (!isAbbreviation(std::string(t).c_str(), list.get())) endCharacter = '.';
      }
      ended = endCharacter != 0;
      prepareWord(words.get(), list.get(), t, endCharacter);
    }
    if (vector_getNumberElements(words.get()) == 0) continue;
    cuts.push_back({wordsOf(words.get()), buildSentenceText(words.get()),
                    static_cast<std::size_t>(previousEnd), static_cast<std::size_t>(end - previousEnd)});
    previousEnd = end;
  }
  std::fclose(file);
  return cuts;
}

std::string randomDocument(std::mt19937& random) {
  static const std::string pieces[] = {
      "Haus",    "rot",  "Dr.",      "usw.", "z.B.", "E-Mail", "123", "4.5", ".",    "!",
      "?",       ";",    ":",        ",",    " ",    "  ",     "\t",  "\n",  "\r\n", "&szlig;",
      "&#8364;", "\xE4", "\xFC\xDF", "\x80", "\xFF", "\xAB",   "-",   "(",   ")",    "\""};
  std::string document;
  std::size_t parts = random() % 200;
  for (std::size_t i = 0; i < parts; ++i) {
    switch (random() % 40) {
      case 0:  // a run longer than one token
        document += std::string(400 + random() % 700, static_cast<char>('a' + random() % 26));
        break;
      case 1:  // any byte but the terminator
        document += static_cast<char>(1 + random() % 255);
        break;
      default:
        document += pieces[random() % std::size(pieces)];
    }
  }
  return document;
}

}  // namespace

TEST(DocumentSentences, TwoSentencesGiveTheDocumentedKeysAndTexts) {
  std::string document = "Das Haus ist rot. Der Baum ist gr\xFCn.";
  ASSERT_EQ(document.size(), 36u);
  std::vector<Cut> cuts = cut(document);
  ASSERT_EQ(cuts.size(), 2u);
  EXPECT_EQ(cuts[0], (Cut{{"Das", "Haus", "ist", "rot"}, "Das Haus ist rot ", 0, 17}));
  EXPECT_EQ(cuts[1], (Cut{{"Der", "Baum", "ist", "gr\xFCn"}, "Der Baum ist gr\xFCn ", 17, 19}));
  orl::OwnedText first(sentenceKey_format("D1", 0, cuts[0].offset, cuts[0].length));
  orl::OwnedText second(sentenceKey_format("D1", 1, cuts[1].offset, cuts[1].length));
  EXPECT_STREQ(first.get(), "D1?000000?000000?000017");
  EXPECT_STREQ(second.get(), "D1?000001?000017?000019");
}

TEST(DocumentSentences, WordlessSentencesJoinTheNextSpan) {
  std::vector<Cut> cuts = cut("Eins. 123 456. Zwei ");
  ASSERT_EQ(cuts.size(), 2u);
  EXPECT_EQ(cuts[1], (Cut{{"Zwei"}, "Zwei ", 5, 14}));  // " 123 456. Zwei", trailing blank excluded

  EXPECT_TRUE(cut("").empty());
  EXPECT_TRUE(cut(" \n\t ").empty());
  EXPECT_TRUE(cut("1. 2! 3? --- ...").empty());
  EXPECT_EQ(cut("kein Punkt am Ende"),
            (std::vector<Cut>{{{"kein", "Punkt", "am", "Ende"}, "kein Punkt am Ende ", 0, 18}}));
}

TEST(DocumentSentences, SentenceTextsStayBelowTheLimitAndKeepLaterShortWords) {
  std::string document;
  for (int i = 0; i < 17; ++i) document += std::string(500, 'a') + " ";
  document += "kurz.";
  std::vector<Cut> cuts = cut(document);
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_EQ(cuts[0].words.size(), 18u);
  EXPECT_EQ(cuts[0].text.size(), 16u * 501u + 5u);
  EXPECT_EQ(cuts[0].text.substr(cuts[0].text.size() - 5), "kurz ");
  EXPECT_EQ(cuts[0].length, document.size());
}

TEST(DocumentSentences, KeysWidenForLargeNumbersInsteadOfOverrunning) {
  orl::OwnedText key(sentenceKey_format("Dok", 1234567, 12345678, 7));
  EXPECT_STREQ(key.get(), "Dok?1234567?12345678?000007");
  orl::OwnedText empty(sentenceKey_format("", 0, 0, 0));
  EXPECT_STREQ(empty.get(), "?000000?000000?000000");
}

// Random documents: spans are contiguous, lie inside the text, and are exactly what reading the
// document from a file would give.
TEST(DocumentSentences, RandomDocumentsMatchReadingThemFromAFile) {
  veskortest::TempDir dir;
  std::mt19937 random(20240607);
  std::size_t sentences = 0;
  for (int round = 0; round < 300; ++round) {
    std::string document = randomDocument(random);
    std::vector<Cut> cuts = cut(document);
    std::size_t end = 0;
    for (const Cut& c : cuts) {
      ASSERT_EQ(c.offset, end) << "round " << round;
      ASSERT_GT(c.length, 0u);
      ASSERT_LE(c.offset + c.length, document.size());
      ASSERT_LT(c.text.size(), sentenceText_limit);
      end = c.offset + c.length;
    }
    ASSERT_EQ(cuts, cutThroughFile(document, dir.file("document.txt"))) << "round " << round;
    sentences += cuts.size();
  }
  EXPECT_GT(sentences, 1000u);  // the generator must actually produce sentences
}

TEST(WordFeatures, CapitalsInsideTheSentenceAreMarked) {
  unsigned char features[wordFeatures_size];
  EXPECT_EQ(computeWordFeatures("Haus", "Das Haus ist rot ", features), 1);
  EXPECT_EQ(features[0], 'P');
  EXPECT_EQ(features[1], 0x14);
  EXPECT_EQ(features[2], '2');
  EXPECT_EQ(features[3], 0x14);
  EXPECT_EQ(features[4], 0x14);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(features) + 5, wordFeatures_size - 5), std::string(77, '2'));

  EXPECT_EQ(computeWordFeatures("Das", "Das Haus ist rot ", features), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(features), wordFeatures_size), std::string(82, '2'));
  EXPECT_EQ(computeWordFeatures("gr\xFCn", "Der Baum ist gr\xFCn ", features), 0);
  EXPECT_EQ(computeWordFeatures("Haus", "Hausboot Haus ", features), 0);  // the first occurrence counts
  EXPECT_EQ(computeWordFeatures("Haus", "ab.Haus ", features), 0);
  EXPECT_EQ(computeWordFeatures("Haus", "ab. Haus ", features), 0);
  EXPECT_EQ(computeWordFeatures("Haus", "ab, Haus ", features), 1);
  EXPECT_EQ(computeWordFeatures("Ab", "xy Ab ", features), 1);
  EXPECT_EQ(computeWordFeatures("Ab", "x Ab ", features), 0);  // starts only 2 bytes in

  EXPECT_EQ(computeWordFeatures("X100", "Preis X100 ", features), -1);
  EXPECT_EQ(computeWordFeatures("Baum", "Das Haus ", features), -1);
  EXPECT_EQ(computeWordFeatures("", "Das Haus ", features), -1);
}
