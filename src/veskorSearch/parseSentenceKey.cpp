#include "veskorSearch/parseSentenceKey.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "orlBasics/orlText.h"
#include "veskorText/germanText.h"

namespace {

// Digits from position `at`; returns the position after them, or `at` when there are none.
std::size_t skipDigits(const char* text, std::size_t at) {
  while (isAsciiDigit(static_cast<unsigned char>(text[at]))) ++at;
  return at;
}

// True when "?<digits>?<digits>?<digits>" starts at `at` and ends the key (end of text or blank).
bool startsSentenceNumbers(const char* text, std::size_t at) {
  for (int n = 0; n < 3; ++n) {
    if (text[at] != '?') return false;
    std::size_t end = skipDigits(text, at + 1);
    if (end == at + 1) return false;
    at = end;
  }
  return text[at] == 0 || text[at] == ' ';
}

// The separator that ends the document key. A document key may hold "?" itself (keys made of
// addresses with queries do), so the sentence numbers are looked for as a whole; only a key
// without them falls back to its first "?".
std::size_t documentKeyEnd(const char* key, std::size_t length, char separator) {
  if (separator == '?') {
    for (std::size_t at = 0; at < length; ++at) {
      if (key[at] == '?' && startsSentenceNumbers(key, at)) return at;
    }
  }
  const char* first = std::strchr(key, separator);
  return first != nullptr ? static_cast<std::size_t>(first - key) : length;
}

// Separators count as blanks between the numbers.
const char* skipSeparators(const char* at, char separator) {
  while (*at == separator || orlIsSpace(static_cast<unsigned char>(*at))) ++at;
  return at;
}

}  // namespace

std::size_t parseSentenceKey(const char* key, sentenceRecord* record) {
  std::size_t length = std::strlen(key);
  char separator = std::count(key, key + length, '?') > 2 ? '?' : ' ';
  std::size_t p = documentKeyEnd(key, length, separator);
  record->documentKey.assign(key, std::min(p, sentenceRecord_maxDocumentKey));
  record->score = -1.0f;
  const char* at = key + p;
  for (int32_t* number : {&record->sentenceNumber, &record->offset, &record->length}) {
    at = skipSeparators(at, separator);
    char* end = nullptr;
    long value = std::strtol(at, &end, 10);
    if (end == at) return 0;
    *number = static_cast<int32_t>(value);
    at = end;
  }
  at = skipSeparators(at, separator);
  char* end = nullptr;
  float score = std::strtof(at, &end);
  if (end != at) record->score = score;
  return p;
}
