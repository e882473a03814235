// The syntactic-feature vector that a word gets when it is registered in a word knowledge base.
#pragma once

#include <cstddef>

// The block of a word knowledge base entry (knowledgeBase_numberSyntacticFeatures bytes).
inline constexpr std::size_t wordFeatures_size = 82;
// What registration writes where it knows nothing: low enough to count as no class anywhere.
inline constexpr unsigned char wordFeatures_default = '2';
// A word written with a capital inside its sentence: 'P' at 0 and this byte at 1, 3 and 4.
inline constexpr unsigned char wordFeatures_capitalised = 'P';
inline constexpr unsigned char wordFeatures_capitalisedMark = 0x14;

// Positions the search reads. Each holds a byte that grows with how strongly the word belongs to
// what the position stands for; registration writes only the class positions 0, 1, 3 and 4.
inline constexpr std::size_t wordFeatures_class = 0;        // the main word class
inline constexpr std::size_t wordFeatures_secondClass = 1;  // further classes, each read
inline constexpr std::size_t wordFeatures_thirdClass = 3;   // against thresholds of its own
inline constexpr std::size_t wordFeatures_fourthClass = 4;
inline constexpr std::size_t wordFeatures_marking = 44;      // marks a word whose later hits keep their score
inline constexpr std::size_t wordFeatures_lexiconMark = 65;  // marks a lexicon entry (see below)

// A lexicon entry (a byte above 'Y' at wordFeatures_lexiconMark) is taken as it is: selected
// whatever its class, and not judged as a candidate of its own.
inline bool wordFeatures_isLexiconEntry(const unsigned char* features) {
  return features[wordFeatures_lexiconMark] > 'Y';
}

// Fills the wordFeatures_size bytes of pFeatures and returns -1 when the word is not to be
// registered (not found in the sentence text, empty, or not made of letters and German letters
// only), 1 when its first occurrence is capitalised inside the sentence, 0 otherwise.
int computeWordFeatures(const char* word, const char* sentenceText, unsigned char* pFeatures);
