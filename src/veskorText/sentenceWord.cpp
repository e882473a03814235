#include "veskorText/sentenceWord.h"

vector* sentenceWordVector_create() {
  return vector_create(sizeof(sentenceWord), 20, 5);
}

void sentenceWordVector_append(vector* words, const char* word, int32_t endCharacter) {
  orl::OwnedText copy(orlStrdup(word));
  sentenceWord element{copy.get(), endCharacter, endCharacter != 0 ? sentenceWord_endsSentence : 0};
  vector_appendElement(words, &element);
  copy.release();
}

void sentenceWordVector_free(vector* words) noexcept {
  if (words == nullptr) return;
  for (int32_t i = vector_getNumberElements(words) - 1; i >= 0; --i) {
    orlFree(orl::vectorAt<sentenceWord>(words, i).word);
  }
  vector_free(words);
}
