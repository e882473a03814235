#include "veskorText/documentSentences.h"

#include <cstring>

#include "veskorText/cAPIAdd_preprocessText.h"
#include "veskorText/sentenceWord.h"
#include "veskorText/textTokenReader.h"

std::string buildSentenceText(const vector* words) {
  std::string text;
  for (int32_t i = 0; i < vector_getNumberElements(words); ++i) {
    const char* word = orl::vectorAt<sentenceWord>(words, i).word;
    std::size_t wordLength = std::strlen(word);
    if (text.size() + wordLength >= sentenceText_limit) continue;
    text.append(word, wordLength);
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
    orl::SentenceWordVectorPtr words(getNextSentence(&reader, abbreviationList));
    // A wordless sentence stores nothing; its bytes open the next stored sentence's span.
    if (vector_getNumberElements(words.get()) == 0) continue;
    std::string sentenceText = buildSentenceText(words.get());
    store(documentSentence{words.get(), sentenceText.c_str(), number, previousEnd,
                           reader.tokenEnd - previousEnd});
    ++number;
    previousEnd = reader.tokenEnd;
  }
  return number;
}
