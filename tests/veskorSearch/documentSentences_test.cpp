// Cutting documents held in memory into stored sentences, their keys and their word features.
#include "veskorText/documentSentences.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/tempDir.h"
#include "veskorText/abbreviationList.h"
#include "veskorSearch/sentenceKey.h"
#include "veskorText/sentenceWord.h"
#include "veskorSearch/wordFeatures.h"
#include "veskorText/wordPreparation.h"

namespace {

// A stored sentence: its words, then its entry text, offset and length.
using Cut = std::vector<std::string>;

Cut cutOf(const sentenceWords& words, const std::string& text, std::size_t offset, std::size_t length) {
  Cut c;
  for (const sentenceWord& word : words) c.push_back(word.word);
  c.insert(c.end(), {"|" + text, std::to_string(offset), std::to_string(length)});
  return c;
}

std::vector<Cut> cut(const std::string& document) {
  orl::HashPtr list(createAbbreviationList());
  std::vector<Cut> cuts;
  int32_t count = cutDocument(document.c_str(), list.get(), [&](const documentSentence& s) {
    EXPECT_EQ(s.number, static_cast<int32_t>(cuts.size()));
    cuts.push_back(cutOf(s.words, s.text, s.offset, s.length));
  });
  EXPECT_EQ(count, static_cast<int32_t>(cuts.size()));
  return cuts;
}

// The same document read from a file with the C library's bounded token reads, positions taken
// with ftell right after each token: what cutting in memory must reproduce.
std::vector<Cut> cutThroughFile(const std::string& document, const std::string& fileName) {
  veskortest::writeFileBytes(fileName, document);
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  orl::HashPtr list(createAbbreviationList());
  std::vector<Cut> cuts;
  long previousEnd = 0;
  while (file != nullptr && !std::feof(file)) {
    sentenceWords words;
    long end = previousEnd;
    int32_t endCharacter = 0;
    char token[501];
    while (!std::feof(file) && endCharacter == 0 && std::fscanf(file, "%500s", token) == 1) {
      end = std::ftell(file);
      std::string t(token);
      char last = t.back();
      if (std::strchr("!:;?.", last) != nullptr) t.pop_back();
      if (last != '.' || !isAbbreviation(t.c_str(), list.get()))
        endCharacter = std::strchr("!:;?.", last) ? last : 0;
      prepareWord(words, list.get(), t, endCharacter);
    }
    if (words.empty()) continue;
    cuts.push_back(cutOf(words, buildSentenceText(words), previousEnd, end - previousEnd));
    previousEnd = end;
  }
  if (file != nullptr) std::fclose(file);
  return cuts;
}

std::string randomDocument(std::mt19937& random) {
  static const char* const pieces[] = {
      "Haus", "rot", "Dr.", "usw.", "z.B.", "E-Mail",  "123",     "4.5",  ".",    "!",    "?", ";", ":", ",",
      " ",    "  ",  "\t",  "\n",   "\r\n", "&szlig;", "&#8364;", "\xE4", "\x80", "\xFF", "-", "(", "\""};
  std::string document;
  for (std::size_t i = random() % 200; i > 0; --i) {
    if (random() % 40 == 0) {  // a run longer than one token
      document += std::string(400 + random() % 700, static_cast<char>('a' + random() % 26));
    } else if (random() % 40 == 0) {  // any byte but the terminator
      document += static_cast<char>(1 + random() % 255);
    } else {
      document += pieces[random() % std::size(pieces)];
    }
  }
  return document;
}

}  // namespace

TEST(DocumentSentences, SentencesTheirTextsSpansAndKeys) {
  EXPECT_EQ(cut("Das Haus ist rot. Der Baum ist gr\xFCn."),
            (std::vector<Cut>{{"Das", "Haus", "ist", "rot", "|Das Haus ist rot ", "0", "17"},
                              {"Der", "Baum", "ist", "gr\xFCn", "|Der Baum ist gr\xFCn ", "17", "19"}}));
  orl::OwnedText key(sentenceKey_format("D1", 1, 17, 19));
  EXPECT_STREQ(key.get(), "D1?000001?000017?000019");
  orl::OwnedText wide(sentenceKey_format("D", 1234567, 12345678, 7));  // sized to its numbers
  EXPECT_STREQ(wide.get(), "D?1234567?12345678?000007");

  // A wordless sentence opens the next span; trailing white space belongs to no span.
  EXPECT_EQ(cut("Eins. 123 456. Zwei "),
            (std::vector<Cut>{{"Eins", "|Eins ", "0", "5"}, {"Zwei", "|Zwei ", "5", "14"}}));
  for (const char* wordless : {"", " \n\t ", "1. 2! 3? --- ..."})
    EXPECT_TRUE(cut(wordless).empty()) << wordless;
}

TEST(DocumentSentences, SentenceTextsStayBelowTheLimitAndKeepLaterShortWords) {
  std::string document;
  for (int i = 0; i < 17; ++i) document += std::string(500, 'a') + " ";
  std::vector<Cut> cuts = cut(document + "kurz.");
  ASSERT_EQ(cuts.size(), 1u);
  ASSERT_EQ(cuts[0].size(), 18u + 3u);
  const std::string& text = cuts[0][18];
  EXPECT_EQ(text.size(), 1 + 16u * 501u + 5u);
  EXPECT_EQ(text.substr(text.size() - 6), " kurz ");
}

// Random documents: spans are contiguous and inside the text, and everything is exactly what
// reading the document from a file would give.
TEST(DocumentSentences, RandomDocumentsMatchReadingThemFromAFile) {
  veskortest::TempDir dir;
  std::mt19937 random(20240607);
  std::size_t sentences = 0;
  for (int round = 0; round < 300; ++round) {
    std::string document = randomDocument(random);
    std::vector<Cut> cuts = cut(document);
    std::size_t end = 0;
    for (const Cut& c : cuts) {
      std::size_t offset = std::stoul(c[c.size() - 2]), length = std::stoul(c.back());
      ASSERT_EQ(offset, end) << "round " << round;
      ASSERT_GT(length, 0u);
      ASSERT_LE(offset + length, document.size());
      end = offset + length;
    }
    ASSERT_EQ(cuts, cutThroughFile(document, dir.file("document.txt"))) << "round " << round;
    sentences += cuts.size();
  }
  EXPECT_GT(sentences, 1000u);  // the generator must produce sentences
}

TEST(WordFeatures, CapitalsInsideTheSentenceAreMarked) {
  unsigned char features[wordFeatures_size];
  auto bytes = [&] { return std::string(reinterpret_cast<char*>(features), sizeof features); };
  EXPECT_EQ(computeWordFeatures("Haus", "Das Haus ist rot ", features), 1);
  EXPECT_EQ(bytes(),
            "P\x14"
            "2\x14\x14" +
                std::string(77, '2'));
  EXPECT_EQ(computeWordFeatures("Das", "Das Haus ist rot ", features), 0);
  EXPECT_EQ(bytes(), std::string(82, '2'));

  EXPECT_EQ(computeWordFeatures("gr\xFCn", "Der Baum ist gr\xFCn ", features), 0);
  EXPECT_EQ(computeWordFeatures("Haus", "Hausboot Haus ", features), 0);  // the first occurrence counts
  EXPECT_EQ(computeWordFeatures("Haus", "ab.Haus ", features), 0);
  EXPECT_EQ(computeWordFeatures("Haus", "ab. Haus ", features), 0);
  EXPECT_EQ(computeWordFeatures("Haus", "ab, Haus ", features), 1);
  EXPECT_EQ(computeWordFeatures("Ab", "x Ab ", features), 0);  // starts only 2 bytes in
  for (const char* word : {"X100", "Baum", ""})
    EXPECT_EQ(computeWordFeatures(word, "Preis X100 ", features), -1);
}
