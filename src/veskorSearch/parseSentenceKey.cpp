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

// The numbers after the document key; returns where they end, or null when there are fewer than three.
const char* readNumbers(const char* at, char separator, int32_t* numbers[3]) {
  for (int n = 0; n < 3; ++n) {
    at = skipSeparators(at, separator);
    char* end = nullptr;
    long value = std::strtol(at, &end, 10);
    if (end == at) return nullptr;
    *numbers[n] = static_cast<int32_t>(value);
    at = end;
  }
  return at;
}

// Where the document key ends (see parseSentenceKey) and what separates the numbers.
struct keyLayout {
  std::size_t documentKeyEnd;
  char separator;
  bool plainNumbers;  // three numbers of digits alone end the key: they need no further check
};

// Where "?<digits>?<digits>?<digits>" ends the key, each of at most nine digits; npos otherwise.
std::size_t plainNumbersStart(const char* key, std::size_t length) {
  std::size_t at = length;
  for (int n = 0; n < 3; ++n) {
    std::size_t digitsEnd = at;
    while (at > 0 && isAsciiDigit(static_cast<unsigned char>(key[at - 1]))) --at;
    if (at == digitsEnd || digitsEnd - at > 9 || at == 0 || key[at - 1] != '?') return std::string_view::npos;
    --at;
  }
  return at;
}

keyLayout layoutOf(const char* key) {
  std::size_t length = std::strlen(key);
  // The keys that adding documents writes: without a blank, only numbers that end the key can
  // end the document key, so the search from the left would find these.
  std::size_t plain = plainNumbersStart(key, length);
  if (plain != std::string_view::npos && std::memchr(key, ' ', length) == nullptr) return {plain, '?', true};
  char separator = std::count(key, key + length, '?') > 2 ? '?' : ' ';
  return {documentKeyEnd(key, length, separator), separator, false};
}

}  // namespace

std::optional<std::string_view> sentenceKeyDocument(const char* key) {
  keyLayout layout = layoutOf(key);
  int32_t number = 0, offset = 0, length = 0;
  int32_t* numbers[3] = {&number, &offset, &length};
  if (!layout.plainNumbers && readNumbers(key + layout.documentKeyEnd, layout.separator, numbers) == nullptr) {
    return std::nullopt;
  }
  // An empty document key reads as no sentence key there too (its end, 0, is the failure value).
  if (layout.documentKeyEnd == 0) return std::nullopt;
  return std::string_view(key, std::min(layout.documentKeyEnd, sentenceRecord_maxDocumentKey));
}

std::size_t parseSentenceKey(const char* key, sentenceRecord* record) {
  keyLayout layout = layoutOf(key);
  const char separator = layout.separator;
  const std::size_t p = layout.documentKeyEnd;
  record->documentKey.assign(key, std::min(p, sentenceRecord_maxDocumentKey));
  record->score = -1.0f;
  int32_t* numbers[3] = {&record->sentenceNumber, &record->offset, &record->length};
  const char* at = readNumbers(key + p, separator, numbers);
  if (at == nullptr) return 0;
  at = skipSeparators(at, separator);
  char* end = nullptr;
  float score = std::strtof(at, &end);
  if (end != at) record->score = score;
  return p;
}
