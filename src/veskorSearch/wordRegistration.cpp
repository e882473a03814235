#include "veskorSearch/wordRegistration.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "orlBasics/orlText.h"
#include "veskorText/cleanWord.h"
#include "veskorText/sentenceWord.h"
#include "veskorSearch/wordFeatures.h"

namespace {

void registerIfWord(knowledgeBase* pWKB, const char* word, const char* text) {
  unsigned char features[wordFeatures_size];
  if (computeWordFeatures(word, text, features) != -1) registerWord(pWKB, word, features);
}

}  // namespace

int registerWord(knowledgeBase* pWKB, const char* word, unsigned char* pFeatures) {
  knowledgeBaseResultList hits = knowledgeBase_findByText(pWKB, word, 1);
  if (!hits.empty()) {
    const std::vector<unsigned char>& stored = hits.front().syntacticFeatures;
    if (!stored.empty()) std::memcpy(pFeatures, stored.data(), std::min(wordFeatures_size, stored.size()));
    return 0;
  }
  char key[16];
  std::snprintf(key, sizeof key, "%6d", knowledgeBase_getIndexCount(pWKB));
  knowledgeBase_addEntry(pWKB, key, word, pFeatures, 0.0);
  return 1;
}

void registerSentenceWords(knowledgeBase* pWKB, const sentenceWords& words, const char* sentenceText) {
  for (const sentenceWord& word : words) {
    orl::OwnedText cleaned(cleanWord(word.word.c_str()));
    if (cleaned) registerIfWord(pWKB, cleaned.get(), sentenceText);
  }
}

void registerEntryWords(knowledgeBase* pWKB, const char* normalisedText) {
  const char* end = nullptr;
  for (const char* start = orlNextWord(normalisedText, &end); start != nullptr;
       start = orlNextWord(end, &end)) {
    registerIfWord(pWKB, std::string(start, end).c_str(), normalisedText);
  }
}
