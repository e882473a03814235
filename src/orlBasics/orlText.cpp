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

const char* orlNextWord(const char* text, const char** pEnd) {
  if (text == nullptr || pEnd == nullptr) return nullptr;
  *pEnd = nullptr;
  const char* start = text;
  while (*start != 0 && orlIsSpace(*start)) ++start;
  if (*start == 0) return nullptr;
  const char* end = start;
  while (*end != 0 && !orlIsSpace(*end)) ++end;
  *pEnd = end;
  return start;
}
