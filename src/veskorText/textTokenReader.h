// Reads a text in memory token by token, as a formatted read of white-space-delimited tokens of
// bounded length reads a file: a longer run of non-white-space comes back as several tokens.
// Offsets are byte offsets into the text, so callers can record where each token ended.
#pragma once

#include <cstddef>
#include <string_view>

struct textTokenReader {
  const char* text;  // not owned
  std::size_t length;
  std::size_t maxTokenLength;
  std::size_t position;  // next byte to read
  std::size_t tokenEnd;  // offset just past the last token returned (0 before the first)
  bool atEnd;            // a read has run into the end of the text
};

// A reader over text[0, length); the text must outlive the reader.
textTokenReader textTokenReader_make(const char* text, std::size_t length, std::size_t maxTokenLength);

// The next token, or false when only white space is left (the reader is then at its end).
// Like a file read, the end is also noticed when a token runs right up to it.
bool textTokenReader_next(textTokenReader* pThis, std::string_view* pToken);
