// Reading a sentence key (or the first part of a document label) back into its parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Document keys are cut to this many bytes.
inline constexpr std::size_t sentenceRecord_maxDocumentKey = 1024;

struct sentenceRecord {
  std::string documentKey;
  int32_t sentenceNumber;
  int32_t offset;
  int32_t length;
  float score;  // the score written after the key, -1 when there is none
  // The sentence entry's stored text, where a ranking knows it (null when the AKB keeps none):
  // valid while the AKB is unchanged.
  const char* text = nullptr;
};

// Fills the record from "<document key>?<number>?<offset>?<length>" optionally followed by a
// blank and a score; keys with at most two "?" use blanks as separators. Returns the position
// of the separator that ends the document key, or 0 when the key holds fewer than three numbers.
std::size_t parseSentenceKey(const char* key, sentenceRecord* record);

// The document key of a sentence key as parseSentenceKey reads it (cut to the same length), without
// copying it: a view into key. nullopt where parseSentenceKey returns 0.
std::optional<std::string_view> sentenceKeyDocument(const char* key);
