// Reducing a document to the words that make it distinctive in a knowledge base: the comparison
// of a whole document searches for its rare words only.
#pragma once

#include <cstdint>
#include <string>

#include "veskorKernel/knowledgeBase.h"

// Tokens are read as white-space-delimited runs of at most this many bytes.
inline constexpr std::size_t reduceDocument_maxTokenLength = 499;
// The fewest words a reduced text holds when the document has that many known words.
inline constexpr std::size_t reduceDocument_minWords = 5;

// Writes to *pReduced the words of the text that fewer than (number of entries x weight) entries
// of the AKB hold, each followed by a blank, with ".\n" after each sentence that kept a word.
// When fewer than five are kept, the known words are written instead, rarest first: all held by
// at most 100 entries, and more until there are five. Returns the number of words the first pass
// kept.
int32_t reduceDocument(const char* text, const knowledgeBase* akb, double weight, std::string* pReduced);

// The reduced text that a comparison of the document searches for.
std::string reduceDocumentForComparison(const char* text, const knowledgeBase* akb);
