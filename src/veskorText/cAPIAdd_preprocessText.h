// Cutting a document into sentences and normalising a single entry text into its words.
#pragma once

#include <cstddef>

#include "kazlib/hash.h"
#include "veskorText/sentenceWord.h"
#include "veskorText/textTokenReader.h"

// Documents are read in tokens of at most this many bytes.
inline constexpr std::size_t sentenceTokenLength = 500;

// The words of the next sentence: tokens are read until one ends in ! : ; ? or in a full stop that
// does not close an abbreviation, or until the text ends. Empty when the sentence has no usable
// word. Group 300, code 1 for a null argument.
sentenceWords getNextSentence(textTokenReader* pInputFile, const hash_t* pAbbreviationList);

// A new text (orlFree): every word of the entry, prepared as in a sentence, followed by one blank.
// A token loses one final ! , . : ; ? first. Group 300, code 1 for a null argument.
char* cAPIAdd_preprocessText(const char* pEntry, const hash_t* pAbbreviationList);
