#include "veskorText/cAPIAdd_preprocessText.h"

#include <cstring>
#include <string>
#include <string_view>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "veskorText/abbreviationList.h"
#include "veskorText/sentenceWord.h"
#include "veskorText/wordPreparation.h"

namespace {

// The character that ends the sentence with this token, or 0; a final full stop after an
// abbreviation keeps the sentence open. Removes the ending byte (and any final full stop).
int32_t takeSentenceEnd(std::string_view& token, const hash_t* abbreviationList) {
  char last = token.back();
  if (last == '!' || last == ':' || last == ';' || last == '?') {
    token.remove_suffix(1);
    return static_cast<signed char>(last);
  }
  if (last == '.') {
    token.remove_suffix(1);
    if (isAbbreviation(std::string(token).c_str(), abbreviationList)) return 0;
    return '.';
  }
  return 0;
}

}  // namespace

sentenceWords getNextSentence(textTokenReader* pInputFile, const hash_t* pAbbreviationList) {
  if (pInputFile == nullptr || pAbbreviationList == nullptr) {
    ORL_RAISE(orl::errorGroup::textPreparation, 1,
              "pInputFile == NULL || pAbbreviationList == NULL in getNextSentence");
  }
  sentenceWords words;
  bool sentenceEnded = false;
  std::string_view token;
  while (!pInputFile->atEnd && !sentenceEnded && textTokenReader_next(pInputFile, &token)) {
    int32_t endCharacter = takeSentenceEnd(token, pAbbreviationList);
    sentenceEnded = endCharacter != 0;
    prepareWord(words, pAbbreviationList, token, endCharacter);
  }
  return words;
}

char* cAPIAdd_preprocessText(const char* pEntry, const hash_t* pAbbreviationList) {
  if (pEntry == nullptr || pAbbreviationList == nullptr) {
    ORL_RAISE(orl::errorGroup::textPreparation, 1,
              "pEntry == NULL || pAbbreviationList == NULL in cAPIAdd_preprocessText");
  }
  sentenceWords words;
  textTokenReader reader = textTokenReader_make(pEntry, std::strlen(pEntry), std::strlen(pEntry));
  std::string_view token;
  while (textTokenReader_next(&reader, &token)) {
    if (std::strchr("!,.:;?", token.back()) != nullptr) token.remove_suffix(1);
    prepareWord(words, pAbbreviationList, token, 0);
  }
  std::string text;
  for (const sentenceWord& word : words) {
    text += word.word;
    text += ' ';
  }
  return orlStrdup(text.c_str());
}
