// The German abbreviations that neither end a sentence nor stay abbreviated in stored text. Keys
// carry no final full stop: callers strip it before the lookup.
#pragma once

#include "kazlib/hash.h"
#include "orlBasics/vector.h"

// A new table of the 22 abbreviation -> expansion pairs; keys and expansions are static texts,
// so hash_free releases everything.
hash_t* createAbbreviationList();

// The expansion (static text) of the word, or of its German upper-cased copy; null when the
// word is no abbreviation or an argument is null.
const char* findAbbreviationExpansion(const hash_t* list, const char* word);

// True when the word, or its German upper-cased copy, is a key of the list.
bool isAbbreviation(const char* word, const hash_t* list);

// A new vector of textBuffer* (free with textBufferVector_free): the expansion split at blanks
// when the word is an abbreviation, otherwise one buffer holding the word.
vector* expandAbbreviation(const hash_t* list, const char* word);

// Frees every textBuffer* of the vector, then the vector; null is ignored.
void textBufferVector_free(vector* buffers) noexcept;

namespace orl {
using TextBufferVectorPtr = Owned<vector, textBufferVector_free>;
}
