// Reading documents token by token, cutting them into sentences and normalising entry texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "orlBasics/orlException.h"
#include "veskorSearch/abbreviationList.h"
#include "veskorSearch/cAPIAdd_preprocessText.h"
#include "veskorSearch/sentenceWord.h"
#include "veskorSearch/textTokenReader.h"

namespace {

struct Word {
  std::string word;
  int32_t endCharacter;
  int32_t flags;
  bool operator==(const Word&) const = default;
};

class Sentences {
 public:
  explicit Sentences(std::string text)
      : text_(std::move(text)),
        list_(createAbbreviationList()),
        reader_(textTokenReader_make(text_.c_str(), text_.size(), sentenceTokenLength)) {}

  std::vector<Word> next() {
    orl::SentenceWordVectorPtr words(getNextSentence(&reader_, list_.get()));
    std::vector<Word> result;
    for (int32_t i = 0; i < vector_getNumberElements(words.get()); ++i) {
      const sentenceWord& w = orl::vectorAt<sentenceWord>(words.get(), i);
      result.push_back({w.word, w.endCharacter, w.flags});
    }
    return result;
  }
  std::vector<std::string> nextWords() {
    std::vector<std::string> words;
    for (const Word& w : next()) words.push_back(w.word);
    return words;
  }
  const textTokenReader& reader() const { return reader_; }

 private:
  std::string text_;
  orl::HashPtr list_;
  textTokenReader reader_;
};

std::string preprocessed(const char* entry) {
  orl::HashPtr list(createAbbreviationList());
  orl::OwnedText text(cAPIAdd_preprocessText(entry, list.get()));
  return text.get();
}

using Words = std::vector<std::string>;

}  // namespace

TEST(TextTokenReader, CutsLongRunsAndNoticesTheEndAsAFileReadWould) {
  std::string text = " ab\t" + std::string(1200, 'x') + "\n";
  textTokenReader reader = textTokenReader_make(text.c_str(), text.size(), 500);
  std::string_view token;
  std::vector<std::size_t> lengths, ends;
  while (textTokenReader_next(&reader, &token)) {
    lengths.push_back(token.size());
    ends.push_back(reader.tokenEnd);
  }
  EXPECT_EQ(lengths, (std::vector<std::size_t>{2, 500, 500, 200}));
  EXPECT_EQ(ends, (std::vector<std::size_t>{3, 504, 1004, 1204}));
  EXPECT_TRUE(reader.atEnd);
  EXPECT_EQ(reader.tokenEnd, 1204u);  // trailing white space belongs to no token

  // A short token that reaches the end has looked past it; a full-length one has not.
  textTokenReader shortToken = textTokenReader_make("abc", 3, 500);
  ASSERT_TRUE(textTokenReader_next(&shortToken, &token));
  EXPECT_TRUE(shortToken.atEnd);
  textTokenReader fullToken = textTokenReader_make("abc", 3, 3);
  ASSERT_TRUE(textTokenReader_next(&fullToken, &token));
  EXPECT_FALSE(fullToken.atEnd);
  EXPECT_FALSE(textTokenReader_next(&fullToken, &token));
  EXPECT_TRUE(fullToken.atEnd);
}

TEST(GetNextSentence, AbbreviationsDoNotEndASentence) {
  Sentences s("Dr. Meier kommt. Er geht.");
  EXPECT_EQ(s.next(), (std::vector<Word>{{"Doktor", 0, 0}, {"Meier", 0, 0}, {"kommt", '.', 0x200}}));
  EXPECT_EQ(s.reader().tokenEnd, 16u);
  EXPECT_EQ(s.next(), (std::vector<Word>{{"Er", 0, 0}, {"geht", '.', 0x200}}));
  EXPECT_TRUE(s.reader().atEnd);

  Sentences usw("\xC4pfel, Birnen usw. sind Obst. Ende");
  EXPECT_EQ(usw.nextWords(), (Words{"\xC4pfel", "Birnen", "und", "so", "weiter", "sind", "Obst"}));
  EXPECT_EQ(usw.nextWords(), (Words{"Ende"}));
}

TEST(GetNextSentence, EndsAtEachEndingCharacterButNotAtAComma) {
  Sentences s("Eins! Zwei: drei; vier? f\xFCnf, sechs \"sieben\" (acht) neun.");
  EXPECT_EQ(s.next(), (std::vector<Word>{{"Eins", '!', 0x200}}));
  EXPECT_EQ(s.next(), (std::vector<Word>{{"Zwei", ':', 0x200}}));
  EXPECT_EQ(s.next(), (std::vector<Word>{{"drei", ';', 0x200}}));
  EXPECT_EQ(s.next(), (std::vector<Word>{{"vier", '?', 0x200}}));
  EXPECT_EQ(s.nextWords(), (Words{"f\xFCnf", "sechs", "sieben", "acht", "neun"}));
}

TEST(GetNextSentence, WordlessSentencesAndOddTextGiveEmptyVectors) {
  Sentences numbers("123 456. Haus");
  EXPECT_TRUE(numbers.next().empty());
  EXPECT_EQ(numbers.reader().tokenEnd, 8u);
  EXPECT_EQ(numbers.nextWords(), (Words{"Haus"}));

  Sentences blank(" \t\r\n ");
  EXPECT_TRUE(blank.next().empty());
  EXPECT_TRUE(blank.reader().atEnd);

  // A run longer than a token is read as several tokens: each is a word of its own.
  Sentences longRun(std::string(1100, 'a') + ".");
  Words words = longRun.nextWords();
  ASSERT_EQ(words.size(), 3u);
  EXPECT_EQ(words[0].size(), 500u);
  EXPECT_EQ(words[2], std::string(100, 'a'));

  Sentences highBytes("\x80\xFF\xAB. \xC4rger!");
  EXPECT_TRUE(highBytes.next().empty());
  EXPECT_EQ(highBytes.nextWords(), (Words{"\xC4rger"}));
}

TEST(GetNextSentence, NullArgumentsRaiseInGroup300) {
  orl::HashPtr list(createAbbreviationList());
  try {
    getNextSentence(nullptr, list.get());
    FAIL() << "no exception";
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 300);
    EXPECT_EQ(e.code(), 1);
    EXPECT_EQ(e.message().rfind("pInputFile == NULL || pAbbreviationList == NULL in getNextSentence\nin file "
                                "\"veskorSearch/cAPIAdd_preprocessText.cpp\" line ",
                                0),
              0u)
        << e.message();
  }
}

TEST(PreprocessText, KeepsPreparedWordsEachFollowedByABlank) {
  EXPECT_EQ(preprocessed("Hallo, Welt!"), "Hallo Welt ");
  EXPECT_EQ(preprocessed("Das ist z.B. ein Test."), "Das ist zum Beispiel ein Test ");
  EXPECT_EQ(preprocessed("  E-Mail\tan  Stra&szlig;e 12 "), "EMail Mail E an Strasze ");
  EXPECT_EQ(preprocessed("2004 3.5kg !!"), "");
  EXPECT_EQ(preprocessed(""), "");
  EXPECT_EQ(preprocessed("Haus!? Haus.Baum,"), "Haus ");  // trimming strips ends; inner punctuation drops

  // Entry tokens have no length bound: a token of megabytes is one word, not an error.
  std::string huge(2 * 1024 * 1024, 'w');
  EXPECT_EQ(preprocessed(huge.c_str()), huge + " ");

  orl::HashPtr list(createAbbreviationList());
  try {
    cAPIAdd_preprocessText("x", nullptr);
    FAIL() << "no exception";
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 300);
    EXPECT_EQ(e.code(), 1);
    EXPECT_EQ(e.message().rfind("pEntry == NULL || pAbbreviationList == NULL in cAPIAdd_preprocessText\n", 0),
              0u);
  }
}
