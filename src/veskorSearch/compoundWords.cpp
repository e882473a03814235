#include "veskorSearch/compoundWords.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "orlBasics/orlMemory.h"
#include "veskorText/cleanWord.h"
#include "veskorSearch/wordFeatures.h"

namespace {

constexpr int32_t kPartHits = 2;

std::size_t textLength(const knowledgeBaseSearchHit* hit) {
  return hit->text != nullptr ? std::strlen(hit->text.get()) : 0;
}

// The WKB's best hit for the part, or an empty list.
knowledgeBaseResultList bestHits(const knowledgeBase* wkb, const std::string& part, int32_t number) {
  return knowledgeBase_find(wkb, part.c_str(), number);
}

bool acceptsFirstPart(const knowledgeBaseSearchHit* hit, std::size_t partLength) {
  if (hit->confidence <= 0.95) return false;
  const unsigned char* f = wordCandidate_features(hit);
  return f == nullptr || (textLength(hit) <= partLength + 2 && f[0] > 0x4F);
}

bool acceptsSecondPart(const knowledgeBaseSearchHit* hit, std::size_t partLength) {
  const unsigned char* f = wordCandidate_features(hit);
  return (f == nullptr || f[0] > 0x4F) && textLength(hit) <= partLength + 2 && hit->confidence > 0.95;
}

int difference(const unsigned char* a, const unsigned char* b, int i) { return std::abs(int{a[i]} - int{b[i]}); }

// Positions of the feature block that syntacticCompatibility compares.
// A class both words hold strongly (above 60) makes them fully compatible.
constexpr int kSharedClassPositions[] = {0, 1, 2, 3, 4, 5, 6, 12, 13};
// Words that differ here by 60 or more never fit.
constexpr int kExcludingPosition = 47;
// A difference here lowers the fit in proportion.
constexpr int kGradedPosition = 71;
// Where both words are marked (more than 10 away from the neutral 50), a difference lowers the fit
// by half as much. 68 is listed twice on purpose: a mismatch there weighs double.
constexpr int kMarkedPositions[] = {68, 49, 51, 52, 54, 60, 62, 63, 64, 68,
                                    69, 72, 73, 74, 75, 76, 77, 78, 79, 80};

}  // namespace

int segment_word(const char* word, const knowledgeBase* wkb, std::string* firstPart, std::string* secondPart) {
  if (wkb == nullptr) {
    std::fputs("segment_word: Error - wkb not present\n", stderr);
    return -2;
  }
  std::size_t length = std::strlen(word);
  if (length < 3) return 0;
  for (std::size_t p = 2; p + 2 < length; ++p) {
    std::string first(word, p);
    std::string second(word + p);
    knowledgeBaseResultList firstHits = bestHits(wkb, first, kPartHits);
    if (firstHits.empty()) continue;
    if (!acceptsFirstPart(&firstHits.front(), first.size())) continue;
    knowledgeBaseResultList secondHits = bestHits(wkb, second, kPartHits);
    if (secondHits.empty()) continue;
    if (acceptsSecondPart(&secondHits.front(), second.size())) {
      *firstPart = std::move(first);
      *secondPart = std::move(second);
      return 1;
    }
  }
  return 0;
}

double syntacticCompatibility(const unsigned char* a, const unsigned char* b) {
  static const unsigned char kZeros[wordFeatures_size] = {};
  if (a == nullptr) a = kZeros;
  if (b == nullptr) b = kZeros;
  // A part that belongs to no class at all cannot stand for a word.
  if (b[wordFeatures_class] < 50 && b[wordFeatures_secondClass] < 50 && b[wordFeatures_thirdClass] < 50 &&
      b[wordFeatures_fourthClass] < 50) {
    return 0;
  }
  double f = 0.8;
  for (int i : kSharedClassPositions) {
    if (a[i] > 60 && b[i] > 60) {
      f = 1.0;
      break;
    }
  }
  if (difference(a, b, kExcludingPosition) >= 60) return 0;
  double d = difference(a, b, kGradedPosition) * 0.01;
  if (d > 0.2) f *= 1 - d;
  for (int i : kMarkedPositions) {
    if (std::abs(a[i] - 50) > 10 && std::abs(b[i] - 50) > 10) {
      double e = difference(a, b, i) * 0.01;
      if (e > 0.2) f *= 1 - e * 0.5;
    }
  }
  return f;
}

candidateCheck checkCandidateWord(const knowledgeBase* wkb, const char* text) {
  orl::OwnedText cleaned(cleanWord(text));
  if (!cleaned) return candidateCheck::unjudged;
  knowledgeBaseResultList hits = knowledgeBase_find(wkb, cleaned.get(), 1);
  if (hits.empty()) return candidateCheck::unjudged;
  const unsigned char* f = wordCandidate_features(&hits.front());
  if (f == nullptr) return candidateCheck::refused;
  if (wordFeatures_isLexiconEntry(f)) return candidateCheck::unjudged;
  if (f[wordFeatures_class] < 50 && f[wordFeatures_secondClass] < 51) return candidateCheck::refused;
  return candidateCheck::accepted;
}

void addCandidate(const knowledgeBaseSearchHit* partHit, const std::string& text, candidateList& list,
                  double weight, candidateKind kind) {
  if (list.candidates.empty() || static_cast<int32_t>(list.candidates.size()) >= list.places) return;
  const wordCandidate& first = list.candidates.front();
  double f = syntacticCompatibility(wordCandidate_features(first.wkbHit), wordCandidate_features(partHit));
  if (f <= 0) return;
  wordCandidate candidate{first.word, first.wordIndex, {}, nullptr, kind, 0.0f,
                          static_cast<float>(f * first.score)};
  for (char c : text) {
    if (c != '_') candidate.text.push_back(c);
  }
  if (kind == candidateKind::associatedWord) candidate.associationWeight = static_cast<float>(weight);
  list.candidates.push_back(std::move(candidate));
}
