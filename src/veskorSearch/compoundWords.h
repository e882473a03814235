// Compound splitting and the syntactic checks that decide whether a word joins a seek word's
// candidates.
#pragma once

#include <cstdint>
#include <string>

#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/wordCandidate.h"

// Splits a compound into two words that the WKB knows well: 1 with the parts (the first split
// position that works), 0 when the word does not split, -2 without a WKB (after a line on
// standard error).
int segment_word(const char* word, const knowledgeBase* wkb, std::string* firstPart, std::string* secondPart);

// How well two WKB words fit together by their feature vectors (null counts as all zeros):
// 0 when they do not, otherwise a factor in (0, 1].
double syntacticCompatibility(const unsigned char* a, const unsigned char* b);

// What the WKB says of a compound part or associated word before it is searched.
enum class candidateCheck {
  unjudged,  // unusable, unknown or a lexicon word: searched all the same
  refused,   // its best WKB hit says it is no word to search for
  accepted,
};
candidateCheck checkCandidateWord(const knowledgeBase* wkb, const char* text);

// Appends a compound part or an associated word to the list, scored by its compatibility with the
// list's first candidate; nothing when the list is full or the two do not fit.
void addCandidate(const knowledgeBaseSearchHit* partHit, const std::string& text, candidateList& list,
                  double weight, candidateKind kind);
