// Reading documents token by token, cutting them into sentences and normalising entry texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orlBasics/orlException.h"
#include "veskorText/abbreviationList.h"
#include "veskorText/cAPIAdd_preprocessText.h"
#include "veskorText/sentenceWord.h"

namespace {

using Words = std::vector<std::string>;

// Every getNextSentence result up to the end of the text; a word that ends its sentence is
// suffixed with "|" and its ending character, and each sentence ends with "@" and the offset
// after its last token.
std::vector<Words> sentences(const std::string& text) {
  orl::HashPtr list(createAbbreviationList());
  textTokenReader reader = textTokenReader_make(text.c_str(), text.size(), sentenceTokenLength);
  std::vector<Words> result;
  while (!reader.atEnd) {
    Words sentence;
    for (const sentenceWord& w : getNextSentence(&reader, list.get())) {
      sentence.push_back(w.word + (w.flags == 0x200 ? "|" + std::string(1, char(w.endCharacter)) : ""));
    }
    sentence.push_back("@" + std::to_string(reader.tokenEnd));
    result.push_back(sentence);
  }
  return result;
}

std::string preprocessed(const std::string& entry) {
  orl::HashPtr list(createAbbreviationList());
  orl::OwnedText text(cAPIAdd_preprocessText(entry.c_str(), list.get()));
  return text.get();
}

}  // namespace

TEST(GetNextSentence, EndsAtEndingCharactersButNotAfterAbbreviationsOrCommas) {
  EXPECT_EQ(sentences("Dr. Meier kommt. Er geht."),
            (std::vector<Words>{{"Doktor", "Meier", "kommt|.", "@16"}, {"Er", "geht|.", "@25"}}));
  EXPECT_EQ(sentences("Eins! Zwei: drei; vier? f\xFCnf, usw. \"acht\" (neun)"),
            (std::vector<Words>{{"Eins|!", "@5"},
                                {"Zwei|:", "@11"},
                                {"drei|;", "@17"},
                                {"vier|?", "@23"},
                                {"f\xFCnf", "und", "so", "weiter", "acht", "neun", "@48"}}));
}

TEST(GetNextSentence, WordlessSentencesLongRunsAndOddBytes) {
  EXPECT_EQ(sentences("123 456. Haus \n"), (std::vector<Words>{{"@8"}, {"Haus", "@13"}}));
  EXPECT_EQ(sentences(" \t\r\n "), (std::vector<Words>{{"@0"}}));
  EXPECT_EQ(sentences(std::string(1100, 'a') + "."),
            (std::vector<Words>{
                {std::string(500, 'a'), std::string(500, 'a'), std::string(100, 'a') + "|.", "@1101"}}));
  EXPECT_EQ(sentences("\x80\xFF\xAB. \xC4rger!"), (std::vector<Words>{{"@4"}, {"\xC4rger|!", "@11"}}));
}

TEST(TextPreprocessing, NullArgumentsRaiseInGroup300) {
  orl::HashPtr list(createAbbreviationList());
  auto messageOf = [](auto call) -> std::string {
    try {
      call();
    } catch (const orl::Exception& e) {
      return std::to_string(e.group()) + "/" + std::to_string(e.code()) + " " + e.message();
    }
    return "no exception";
  };
  EXPECT_EQ(messageOf([&] { getNextSentence(nullptr, list.get()); })
                .rfind("300/1 pInputFile == NULL || pAbbreviationList == NULL in getNextSentence\nin file "
                       "\"veskorText/cAPIAdd_preprocessText.cpp\" line ",
                       0),
            0u);
  EXPECT_EQ(
      messageOf([&] {
        cAPIAdd_preprocessText("x", nullptr);
      }).rfind("300/1 pEntry == NULL || pAbbreviationList == NULL in cAPIAdd_preprocessText\nin file ", 0),
      0u);
}

TEST(TextPreprocessing, EntryTextsBecomeTheirWordsEachFollowedByABlank) {
  EXPECT_EQ(preprocessed("Hallo, Welt!"), "Hallo Welt ");
  EXPECT_EQ(preprocessed("Das ist z.B. ein Test."), "Das ist zum Beispiel ein Test ");
  EXPECT_EQ(preprocessed("  E-Mail\tan  Stra&szlig;e 12 "), "EMail Mail E an Strasze ");
  EXPECT_EQ(preprocessed("Haus!? Haus.Baum, 2004"), "Haus ");
  EXPECT_EQ(preprocessed(""), "");
  std::string huge(2 * 1024 * 1024, 'w');  // entry tokens have no length bound
  EXPECT_EQ(preprocessed(huge), huge + " ");
}
