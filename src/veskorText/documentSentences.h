// Cuts a document held in memory into its stored sentences: each with its words, its entry text
// and its span in the document. A sentence's span starts where the previous stored sentence
// ended and runs to the end of its own last token, so the spans of a document are contiguous and
// cover any wordless text between sentences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "kazlib/hash.h"
#include "veskorText/sentenceWord.h"

// Entry texts stay below this length; a word that would reach it is left out.
inline constexpr std::size_t sentenceText_limit = 8191;

struct documentSentence {
  const sentenceWords& words;  // as getNextSentence gave them
  const char* text;            // the words that fit, each followed by one blank
  int32_t number;              // counts stored sentences only, from 0
  std::size_t offset;          // byte offset into the document
  std::size_t length;
};

// The entry text of a sentence: its words, each followed by one blank, skipping every word that
// would bring the text to sentenceText_limit bytes.
std::string buildSentenceText(const sentenceWords& words);

// Calls store for every sentence with at least one word, in document order; returns how many.
int32_t cutDocument(const char* text, const hash_t* abbreviationList,
                    const std::function<void(const documentSentence&)>& store);
