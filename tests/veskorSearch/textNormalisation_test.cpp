// Byte rules, abbreviations, the word preparation chain and cleanWord.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orlBasics/orlException.h"
#include "veskorSearch/abbreviationList.h"
#include "veskorSearch/cleanWord.h"
#include "veskorSearch/germanText.h"
#include "veskorSearch/sentenceWord.h"
#include "veskorSearch/textBuffer.h"
#include "veskorSearch/wordPreparation.h"

namespace {

std::string cleaned(const char* word) {
  orl::OwnedText result(cleanWord(word));
  return result ? std::string(result.get()) : std::string("<null>");
}

std::vector<std::string> bufferTexts(const vector* buffers) {
  std::vector<std::string> texts;
  for (int32_t i = 0; i < vector_getNumberElements(buffers); ++i) {
    const textBuffer* b = orl::vectorAt<textBuffer*>(buffers, i);
    texts.emplace_back(b->data + b->start, b->length);
  }
  return texts;
}

struct PreparedWord {
  std::string word;
  int32_t endCharacter;
  int32_t flags;
  bool operator==(const PreparedWord&) const = default;
};

std::vector<PreparedWord> prepared(const char* token, int32_t endCharacter = 0) {
  orl::HashPtr list(createAbbreviationList());
  orl::SentenceWordVectorPtr words(sentenceWordVector_create());
  prepareWord(words.get(), list.get(), token, endCharacter);
  std::vector<PreparedWord> result;
  for (int32_t i = 0; i < vector_getNumberElements(words.get()); ++i) {
    const sentenceWord& w = orl::vectorAt<sentenceWord>(words.get(), i);
    result.push_back({w.word, w.endCharacter, w.flags});
  }
  return result;
}

std::vector<std::string> preparedWords(const char* token) {
  std::vector<std::string> words;
  for (const PreparedWord& w : prepared(token)) words.push_back(w.word);
  return words;
}

}  // namespace

TEST(GermanText, DosLettersBecomeLatin1AndNothingElseChanges) {
  const char dos[] = "\x81\x84\x8E\x94\x99\x9A\xE1\x92 aZ\xFF";
  orl::OwnedText copy(convertDosUmlauts(dos));
  EXPECT_STREQ(copy.get(), "\xFC\xE4\xC4\xF6\xD6\xDC\xDF\x92 aZ\xFF");
  EXPECT_STREQ(dos, "\x81\x84\x8E\x94\x99\x9A\xE1\x92 aZ\xFF");  // the copy form leaves its input alone

  char inPlace[] =
      "Gr\x94\xE1"
      "e";
  convertDosUmlautsInPlace(inPlace);
  EXPECT_STREQ(inPlace,
               "Gr\xF6\xDF"
               "e");
  EXPECT_EQ(convertDosUmlauts(nullptr), nullptr);
}

TEST(GermanText, UpperCasingKeepsSharpSAndAccents) {
  EXPECT_EQ(toUpperGerman(0xE4), 0xC4);
  EXPECT_EQ(toUpperGerman(0xF6), 0xD6);
  EXPECT_EQ(toUpperGerman(0xFC), 0xDC);
  EXPECT_EQ(toUpperGerman('q'), 'Q');
  EXPECT_EQ(toUpperGerman(0xDF), 0xDF);
  EXPECT_EQ(toUpperGerman(0xE9), 0xE9);
  char text[] =
      "gr\xFC\xDF"
      "e 1a";
  toUpperGermanInPlace(text);
  EXPECT_STREQ(text,
               "GR\xDC\xDF"
               "E 1A");
}

TEST(AbbreviationList, HoldsTheTwentyTwoPairsCaseSensitively) {
  orl::HashPtr list(createAbbreviationList());
  EXPECT_EQ(hash_count(list.get()), 22u);
  for (const char* key : {"Dr", "u.s.w", "usw", "Str", "i.A", "i.a", "zHd", "Buchst", "Ziff"}) {
    EXPECT_TRUE(isAbbreviation(key, list.get())) << key;
  }
  // Keys carry no full stop, and upper-casing cannot turn "dr" into "Dr".
  for (const char* word : {"usw.", "dr", "DR", "Haus", ""})
    EXPECT_FALSE(isAbbreviation(word, list.get())) << word;

  orl::TextBufferVectorPtr expanded(expandAbbreviation(list.get(), "zHd"));
  EXPECT_EQ(bufferTexts(expanded.get()), (std::vector<std::string>{"zu", "H\xE4nden"}));
  orl::TextBufferVectorPtr street(expandAbbreviation(list.get(), "Str"));
  EXPECT_EQ(bufferTexts(street.get()), (std::vector<std::string>{"Stra\xDF"
                                                                 "e"}));
  orl::TextBufferVectorPtr plain(expandAbbreviation(list.get(), "Haus"));
  EXPECT_EQ(bufferTexts(plain.get()), (std::vector<std::string>{"Haus"}));
}

TEST(WordPreparation, HyphenatedWordsGiveTheJoinedFormThenThePiecesBackwards) {
  EXPECT_EQ(preparedWords("E-Mail-Adresse"),
            (std::vector<std::string>{"EMailAdresse", "Adresse", "Mail", "E"}));
  EXPECT_EQ(preparedWords("-Haus-"), (std::vector<std::string>{"Haus"}));
  EXPECT_EQ(preparedWords("---"), (std::vector<std::string>{}));
  EXPECT_EQ(preparedWords("z.B"), (std::vector<std::string>{"zum", "Beispiel"}));
}

TEST(WordPreparation, EntitiesTrimmingAndTheWordTest) {
  EXPECT_EQ(preparedWords("Stra&szlig;e"), (std::vector<std::string>{"Strasze"}));
  EXPECT_EQ(preparedWords("&Auml;&ouml;&uuml;"), (std::vector<std::string>{"Aeoeue"}));
  EXPECT_EQ(preparedWords("&#8364;100"), (std::vector<std::string>{"X100"}));
  EXPECT_EQ(preparedWords("ab&#123"), (std::vector<std::string>{"abX"}));  // no ';': the piece ends after X
  EXPECT_EQ(preparedWords("&&szlig;lig;"),
            (std::vector<std::string>{"sz"}));  // a replacement can complete another
  EXPECT_EQ(preparedWords("\xAB(Haus)\xBB"), (std::vector<std::string>{"Haus"}));
  EXPECT_EQ(preparedWords("A4"), (std::vector<std::string>{"A4"}));
  EXPECT_EQ(preparedWords("\xF6l"), (std::vector<std::string>{"\xF6l"}));
  for (const char* dropped : {"2004", "3.5kg", "\"\"", "\xE4\xF6", "a&b"}) {
    EXPECT_TRUE(preparedWords(dropped).empty()) << dropped;
  }
}

TEST(WordPreparation, OnlyTheLastWordCarriesTheSentenceEnd) {
  EXPECT_EQ(prepared("rot", '.'), (std::vector<PreparedWord>{{"rot", '.', 0x200}}));
  EXPECT_EQ(prepared("E-Mail", '!'),
            (std::vector<PreparedWord>{{"EMail", 0, 0}, {"Mail", 0, 0}, {"E", '!', 0x200}}));
  EXPECT_EQ(prepared("usw", '.'),
            (std::vector<PreparedWord>{{"und", 0, 0}, {"so", 0, 0}, {"weiter", '.', 0x200}}));
}

TEST(WordPreparation, LongTokensOfEntitiesStayLinear) {
  std::string token;
  for (int i = 0; i < 100000; ++i) token += "&#";
  token += "a;";
  EXPECT_EQ(preparedWords(token.c_str()),
            (std::vector<std::string>{"X"}) /* one X, then the text after ';' */);
  std::string named;
  for (int i = 0; i < 100000; ++i) named += "&&szlig;lig;";
  EXPECT_EQ(preparedWords(named.c_str()).size(), 1u);
}

TEST(CleanWord, DropsOpeningClosingAndOneHyphen) {
  EXPECT_EQ(cleaned("(Bau-Stelle)"), "BauStelle");
  EXPECT_EQ(cleaned("\xBBHaus\xAB"), "Haus");
  EXPECT_EQ(cleaned("\"Haus\""), "Haus");
  EXPECT_EQ(cleaned("Haus\","), "Haus\"");  // one closing byte only
  EXPECT_EQ(cleaned("Haus-"), "Haus");
  EXPECT_EQ(cleaned("Gr\x94\xE1"
                    "e"),
            "Gr\xF6\xDF"
            "e");
  EXPECT_EQ(cleaned("a-b-c"), "<null>");
  EXPECT_EQ(cleaned("a--b"), "a-b");  // the byte that moved into the gap is not looked at again
  EXPECT_EQ(cleaned("a"), "<null>");
  EXPECT_EQ(cleaned("(a"), "<null>");
  EXPECT_EQ(cleaned(""), "<null>");
  EXPECT_EQ(cleaned(nullptr), "<null>");
}
