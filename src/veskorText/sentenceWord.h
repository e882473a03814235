// The words of a sentence as the text pipeline hands them on: the word, the sentence-ending
// character that followed it (0 if none) and its flags.
#pragma once

#include <cstdint>

#include "orlBasics/vector.h"

struct sentenceWord {
  char* word;  // owned
  int32_t endCharacter;
  int32_t flags;
};

// Set in flags when endCharacter is not 0.
inline constexpr int32_t sentenceWord_endsSentence = 0x200;

// A new, empty vector of sentenceWord.
vector* sentenceWordVector_create();
// Appends a copy of the word with the given ending character (flags follow from it).
void sentenceWordVector_append(vector* words, const char* word, int32_t endCharacter);
// Frees every word, last first, then the vector; null is ignored.
void sentenceWordVector_free(vector* words) noexcept;

namespace orl {
using SentenceWordVectorPtr = Owned<vector, sentenceWordVector_free>;
}
