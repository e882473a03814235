#include "veskorSearch/wordFeatures.h"

#include <cstring>

#include "orlBasics/orlText.h"
#include "veskorText/germanText.h"

namespace {

bool isWordLetter(char c) {
  return orlIsAlpha(c) || isGermanLetter(c);
}

// Not the sentence's first word, and not right after punctuation; a word after "x," still counts.
bool capitalisedInside(const char* sentenceText, const char* occurrence) {
  std::size_t at = static_cast<std::size_t>(occurrence - sentenceText);
  if (at <= 2) return false;
  unsigned char first = static_cast<unsigned char>(occurrence[0]);
  if (first < 'A' || first > 'Z') return false;
  if (orlIsPunct(occurrence[-1])) return false;
  return !orlIsPunct(occurrence[-2]) || occurrence[-2] == ',';
}

}  // namespace

int computeWordFeatures(const char* word, const char* sentenceText, unsigned char* pFeatures) {
  std::memset(pFeatures, wordFeatures_default, wordFeatures_size);
  if (word == nullptr || sentenceText == nullptr || word[0] == 0) return -1;
  const char* occurrence = std::strstr(sentenceText, word);
  if (occurrence == nullptr) return -1;
  for (const char* p = word; *p != 0; ++p) {
    if (!isWordLetter(*p)) return -1;
  }
  if (!capitalisedInside(sentenceText, occurrence)) return 0;
  pFeatures[0] = wordFeatures_capitalised;
  pFeatures[1] = wordFeatures_capitalisedMark;
  pFeatures[3] = wordFeatures_capitalisedMark;
  pFeatures[4] = wordFeatures_capitalisedMark;
  return 1;
}
