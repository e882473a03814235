#include "veskorSearch/reduceDocument.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "orlBasics/orlText.h"
#include "veskorText/germanText.h"
#include "veskorText/textTokenReader.h"

namespace {

struct knownWord {
  std::string token;
  int32_t entries;  // how many entries hold it
};

bool isClause(char c) { return std::strchr(".!?:;,", c) != nullptr && c != 0; }

// The token as the AKB stores its words: no closing punctuation, Latin-1, upper-cased when the
// AKB is. Sets *endsSentence for a closing full stop, ! ? : or ;.
std::string normalisedToken(std::string_view raw, const knowledgeBase* akb, bool* endsSentence) {
  std::string token(raw);
  *endsSentence = false;
  if (isClause(token.back())) {
    *endsSentence = token.back() != ',';
    token.pop_back();
  }
  convertDosUmlautsInPlace(token.data());
  if (knowledgeBase_getSettings(akb).upperCases()) toUpperGermanInPlace(token.data());
  return token;
}

void writeRarestWords(std::vector<knownWord> known, std::string* pReduced) {
  std::stable_sort(known.begin(), known.end(),
                   [](const knownWord& a, const knownWord& b) { return a.entries < b.entries; });
  pReduced->clear();
  std::size_t written = 0;
  for (const knownWord& word : known) {
    if (word.entries > 100 && written >= reduceDocument_minWords) break;
    pReduced->append(word.token).push_back(' ');
    ++written;
  }
}

}  // namespace

int32_t reduceDocument(const char* text, const knowledgeBase* akb, double weight, std::string* pReduced) {
  pReduced->clear();
  const auto threshold = static_cast<int32_t>(knowledgeBase_getIndexCount(akb) * weight);
  textTokenReader reader = textTokenReader_make(text, std::strlen(text), reduceDocument_maxTokenLength);
  std::vector<knownWord> known;
  int32_t written = 0;
  int32_t writtenInSentence = 0;
  bool sentenceEnds = false;
  std::string_view raw;
  while (textTokenReader_next(&reader, &raw)) {
    if (raw.size() <= 1) continue;
    bool endsHere = false;
    std::string token = normalisedToken(raw, akb, &endsHere);
    sentenceEnds = sentenceEnds || endsHere;
    int32_t entries = knowledgeBase_getDocumentFrequency(akb, token);
    // An unknown word leaves a sentence end for the next known one.
    if (entries < 0) continue;
    if (entries > 0 && entries < threshold) {
      pReduced->append(token);
      if (!sentenceEnds) pReduced->push_back(' ');
      ++written;
      ++writtenInSentence;
    }
    if (sentenceEnds) {
      if (writtenInSentence > 0) pReduced->append(".\n");
      sentenceEnds = false;
      writtenInSentence = 0;
    }
    known.push_back({std::move(token), entries});
  }
  if (!known.empty() && written < static_cast<int32_t>(reduceDocument_minWords)) {
    writeRarestWords(std::move(known), pReduced);
  }
  return written;
}

std::string reduceDocumentForComparison(const char* text, const knowledgeBase* akb) {
  std::size_t words = 0;
  const char* end = nullptr;
  for (const char* word = orlNextWord(text, &end); word != nullptr; word = orlNextWord(end, &end)) ++words;
  double weight = words > 0 && 1.0 / static_cast<double>(words) <= 0.001 ? 1.0 / static_cast<double>(words) : 0.001;
  std::string reduced;
  reduceDocument(text, akb, weight, &reduced);
  return reduced;
}
