#include "orlBasics/orlText.h"

#include <cstring>

#include "orlBasics/orlMemory.h"

bool orlIsSpace(int c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

bool orlIsAlpha(int c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool orlIsPunct(int c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 33 && byte <= 47) || (byte >= 58 && byte <= 64) || (byte >= 91 && byte <= 96) ||
         (byte >= 123 && byte <= 126);
}

char* orlTrimmedCopy(const char* text) {
  if (text == nullptr) return nullptr;
  const char* start = text;
  while (*start != 0 && orlIsSpace(*start)) ++start;
  const char* end = start + std::strlen(start);
  while (end > start && orlIsSpace(end[-1])) --end;
  std::size_t length = static_cast<std::size_t>(end - start);
  char* copy = static_cast<char*>(orlMalloc(length + 1));
  std::memcpy(copy, start, length);
  copy[length] = 0;
  return copy;
}

char* orlCollapseWhiteSpace(const char* text) {
  if (text == nullptr) return nullptr;
  char* copy = static_cast<char*>(orlMalloc(std::strlen(text) + 1));
  char* out = copy;
  for (const char* in = text; *in != 0;) {
    if (orlIsSpace(*in)) {
      *out++ = ' ';
      while (*in != 0 && orlIsSpace(*in)) ++in;
    } else {
      *out++ = *in++;
    }
  }
  *out = 0;
  return copy;
}

char* orlReplaceFirst(const char* text, const char* pattern, const char* replacement) {
  if (text == nullptr || pattern == nullptr || replacement == nullptr) return nullptr;
  const char* found = std::strstr(text, pattern);
  if (found == nullptr) return orlStrdup(text);
  std::size_t before = static_cast<std::size_t>(found - text);
  std::size_t patternLength = std::strlen(pattern);
  std::size_t replacementLength = std::strlen(replacement);
  std::size_t after = std::strlen(found + patternLength);
  char* result = static_cast<char*>(orlMalloc(before + replacementLength + after + 1));
  std::memcpy(result, text, before);
  std::memcpy(result + before, replacement, replacementLength);
  std::memcpy(result + before + replacementLength, found + patternLength, after + 1);
  return result;
}

namespace {

const char* nextWord(const char* text, const char** pEnd, bool stopAtLineFeed) {
  if (text == nullptr || pEnd == nullptr) return nullptr;
  *pEnd = nullptr;
  const char* start = text;
  while (*start != 0 && orlIsSpace(*start)) {
    if (stopAtLineFeed && *start == '\n') return nullptr;
    ++start;
  }
  if (*start == 0) return nullptr;
  const char* end = start;
  while (*end != 0 && !orlIsSpace(*end)) ++end;
  *pEnd = end;
  return start;
}

}  // namespace

const char* orlNextWord(const char* text, const char** pEnd) { return nextWord(text, pEnd, false); }

const char* orlNextWordOnLine(const char* text, const char** pEnd) { return nextWord(text, pEnd, true); }
