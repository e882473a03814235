#include "veskorText/cleanWord.h"

#include <string>

#include "orlBasics/orlMemory.h"
#include "orlBasics/orlText.h"
#include "veskorText/germanText.h"

namespace {

bool opensWord(unsigned char c) {
  return c == '(' || c == 0xBB || c == '"';
}

bool closesWord(unsigned char c) {
  return orlIsPunct(c) || c == 0xAB;
}

// Joins a word hyphenated once; a second hyphen makes it unusable. The last byte is left to the
// closing rule, so a trailing hyphen is not counted here.
bool removeInnerHyphen(std::string& word) {
  bool removed = false;
  for (std::size_t i = 0; i + 1 < word.size(); ++i) {
    if (word[i] != '-') continue;
    if (removed) return false;
    word.erase(i, 1);
    removed = true;
  }
  return true;
}

}  // namespace

char* cleanWord(const char* word) {
  if (word == nullptr) return nullptr;
  std::string cleaned(word);
  if (cleaned.size() < 2) return nullptr;
  convertDosUmlautsInPlace(cleaned.data());
  if (opensWord(static_cast<unsigned char>(cleaned.front()))) cleaned.erase(0, 1);
  if (!removeInnerHyphen(cleaned)) return nullptr;
  if (!cleaned.empty() && closesWord(static_cast<unsigned char>(cleaned.back()))) cleaned.pop_back();
  if (cleaned.size() < 2) return nullptr;
  return orlStrdup(cleaned.c_str());
}
