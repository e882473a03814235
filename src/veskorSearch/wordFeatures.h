// The syntactic-feature vector that a word gets when it is registered in a word knowledge base.
#pragma once

#include <cstddef>

inline constexpr std::size_t wordFeatures_size = 82;
inline constexpr unsigned char wordFeatures_default = '2';
// A word written with a capital inside its sentence: 'P' at 0 and this byte at 1, 3 and 4.
inline constexpr unsigned char wordFeatures_capitalised = 'P';
inline constexpr unsigned char wordFeatures_capitalisedMark = 0x14;

// Fills the wordFeatures_size bytes of pFeatures and returns -1 when the word is not to be
// registered (not found in the sentence text, empty, or not made of letters and German letters
// only), 1 when its first occurrence is capitalised inside the sentence, 0 otherwise.
int computeWordFeatures(const char* word, const char* sentenceText, unsigned char* pFeatures);
