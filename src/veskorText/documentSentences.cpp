#include "veskorText/documentSentences.h"

#include <cstring>

#include "veskorText/cAPIAdd_preprocessText.h"
#include "veskorText/sentenceWord.h"
#include "veskorText/textTokenReader.h"

std::string buildSentenceText(const sentenceWords& words) {
  std::string text;
  for (const sentenceWord& word : words) {
    if (text.size() + word.word.size() >= sentenceText_limit) continue;
    text += word.word;
    text.push_back(' ');
  }
  return text;
}

int32_t cutDocument(const char* text, const hash_t* abbreviationList,
                    const std::function<void(const documentSentence&)>& store) {
  textTokenReader reader = textTokenReader_make(text, std::strlen(text), sentenceTokenLength);
  int32_t number = 0;
  std::size_t previousEnd = 0;
  while (!reader.atEnd) {
    sentenceWords words = getNextSentence(&reader, abbreviationList);
    // A wordless sentence stores nothing; its bytes open the next stored sentence's span.
    if (words.empty()) continue;
    std::string sentenceText = buildSentenceText(words);
    store(documentSentence{words, sentenceText.c_str(), number, previousEnd, reader.tokenEnd - previousEnd});
    ++number;
    previousEnd = reader.tokenEnd;
  }
  return number;
}
