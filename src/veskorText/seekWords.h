// The words of a seek text as the word-based search takes them: split at white space and
// punctuation, hyphenated words joined, bounded in number and bytes, repeated words dropped.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr std::size_t seekWords_maxWords = 1999;
// The words of one seek text, each with its terminator, share a buffer of this size.
inline constexpr std::size_t seekWords_bufferSize = 100050;

// The words in text order. A word is a maximal run of bytes that are neither white space nor
// punctuation; < > / \ count as word bytes. A hyphen between two letters that is not among the
// last two bytes of the text is dropped (E-Mail gives EMail); other hyphens separate words.
std::vector<std::string> seekWords_split(const char* text);

// Of equal words the last occurrence survives; the survivors keep their order.
void seekWords_removeDoubles(std::vector<std::string>& words);
