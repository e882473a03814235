// Byte rules, abbreviations, the word preparation chain and cleanWord.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "veskorText/abbreviationList.h"
#include "veskorText/cleanWord.h"
#include "veskorText/germanText.h"
#include "veskorText/sentenceWord.h"
#include "veskorText/wordPreparation.h"

namespace {

using Words = std::vector<std::string>;

// The prepared words, the last one suffixed with its ending character and flags when it has one.
Words prepared(const std::string& token, int32_t endCharacter = 0) {
  orl::HashPtr list(createAbbreviationList());
  sentenceWords words;
  prepareWord(words, list.get(), token, endCharacter);
  Words result;
  for (const sentenceWord& w : words) {
    result.push_back(w.word);
    if (w.endCharacter != 0)
      result.back() += "|" + std::string(1, char(w.endCharacter)) + std::to_string(w.flags);
  }
  return result;
}

std::string cleaned(const char* word) {
  orl::OwnedText result(cleanWord(word));
  return result ? result.get() : "<null>";
}

}  // namespace

TEST(GermanText, DosLettersAndUpperCasing) {
  const char dos[] = "\x81\x84\x8E\x94\x99\x9A\xE1\x92 aZ\xFF";
  orl::OwnedText copy(convertDosUmlauts(dos));
  EXPECT_STREQ(copy.get(), "\xFC\xE4\xC4\xF6\xD6\xDC\xDF\x92 aZ\xFF");
  EXPECT_STREQ(dos, "\x81\x84\x8E\x94\x99\x9A\xE1\x92 aZ\xFF");
  char text[] =
      "gr\x81\xE1"
      "e \xE4\xE9 1a";
  convertDosUmlautsInPlace(text);
  toUpperGermanInPlace(text);
  EXPECT_STREQ(text,
               "GR\xDC\xDF"
               "E \xC4\xE9 1A");  // ß and é stay
}

TEST(AbbreviationList, TwentyTwoCaseSensitiveKeysWithoutFullStops) {
  orl::HashPtr list(createAbbreviationList());
  EXPECT_EQ(hash_count(list.get()), 22u);
  for (const char* key : {"Dr", "u.s.w", "usw", "i.A", "i.a", "zHd", "Buchst", "Ziff"}) {
    EXPECT_TRUE(isAbbreviation(key, list.get())) << key;
  }
  for (const char* word : {"usw.", "dr", "DR", "Haus", ""})
    EXPECT_FALSE(isAbbreviation(word, list.get())) << word;

  using Views = std::vector<std::string_view>;
  EXPECT_EQ(expandAbbreviation(list.get(), "zHd"), (Views{"zu", "H\xE4nden"}));
  std::string_view token = "Haus";
  Views plain = expandAbbreviation(list.get(), token);
  ASSERT_EQ(plain, (Views{"Haus"}));
  EXPECT_EQ(plain[0].data(), token.data());  // the token itself, not a copy
}

TEST(WordPreparation, ExpansionHyphensEntitiesTrimmingAndTheWordTest) {
  EXPECT_EQ(prepared("E-Mail-Adresse"), (Words{"EMailAdresse", "Adresse", "Mail", "E"}));
  EXPECT_EQ(prepared("E-Mail", '!'), (Words{"EMail", "Mail", "E|!512"}));
  EXPECT_EQ(prepared("usw", '.'), (Words{"und", "so", "weiter|.512"}));
  EXPECT_EQ(prepared("-Haus-"), (Words{"Haus"}));
  EXPECT_EQ(prepared("Stra&szlig;e"), (Words{"Strasze"}));
  EXPECT_EQ(prepared("&Auml;&ouml;&uuml;"), (Words{"Aeoeue"}));
  EXPECT_EQ(prepared("&#8364;100"), (Words{"X100"}));
  EXPECT_EQ(prepared("ab&#123"), (Words{"abX"}));      // no ';': the piece ends after the X
  EXPECT_EQ(prepared("&&szlig;lig;"), (Words{"sz"}));  // a replacement may complete another entity
  EXPECT_EQ(prepared("\xAB(Haus)\xBB"), (Words{"Haus"}));
  EXPECT_EQ(prepared("A4"), (Words{"A4"}));
  for (const char* dropped : {"2004", "3.5kg", "---", "\"\"", "\xE4\xF6", "a&b"}) {
    EXPECT_TRUE(prepared(dropped).empty()) << dropped;
  }
  // Tokens of any length: a megabyte of entities is one word and takes linear time.
  std::string entities;
  for (int i = 0; i < 100000; ++i) entities += "&&szlig;lig;";
  Words big = prepared(entities);
  ASSERT_EQ(big.size(), 1u);
  EXPECT_EQ(big[0].size(), 200000u);
}

TEST(CleanWord, DropsOpeningClosingAndOneHyphen) {
  EXPECT_EQ(cleaned("(Bau-Stelle)"), "BauStelle");
  EXPECT_EQ(cleaned("\xBBHaus\xAB"), "Haus");
  EXPECT_EQ(cleaned("Haus\","), "Haus\"");  // one closing byte only
  EXPECT_EQ(cleaned("Gr\x94\xE1"
                    "e-"),
            "Gr\xF6\xDF"
            "e");
  EXPECT_EQ(cleaned("a--b"), "a-b");  // the byte that moved into the gap is not looked at again
  for (const char* unusable : {"a-b-c", "a", "(a", ""}) EXPECT_EQ(cleaned(unusable), "<null>") << unusable;
  EXPECT_EQ(cleanWord(nullptr), nullptr);
}
