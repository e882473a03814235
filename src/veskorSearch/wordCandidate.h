// The words searched for one seek word: the word itself, similar words from the word knowledge
// base (WKB), parts of a compound and associated words, each with its weight.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "veskorKernel/knowledgeBaseResultList.h"

// Where a candidate comes from; it decides which text is searched and how the hits are weighted.
enum class candidateKind {
  similarWord,     // a WKB hit for the seek word: its stored text is searched
  compoundPart,    // a part of the seek word split as a compound: weighs a little less
  associatedWord,  // a word the word associator gives for a group of seek words: weighed by association
  seekWord,        // the seek word itself, searched as it stands
};

// Seek words get at most this many candidates, whatever the caller's limit.
inline constexpr int32_t wordCandidate_maxPerWord = 20;

struct wordCandidate {
  const char* word;  // the seek word the candidate stands for
  int32_t wordIndex;
  std::string text;                      // own text of compound parts and associated words
  const knowledgeBaseSearchHit* wkbHit;  // similar words: their WKB hit (owned by the word's hit list)
  candidateKind kind;
  float associationWeight;
  float score;  // at most 1.0
};

// The candidates of one seek word, first the one that decides its treatment. A list never holds
// more places than the limit it was built with.
struct candidateList {
  std::vector<wordCandidate> candidates;
  int32_t places;  // the limit M
  knowledgeBaseResultList wkbHits;  // what the WKB gave for the seek word
};

// The wordFeatures_size feature bytes of a hit, or null when it carries fewer (or none).
const unsigned char* wordCandidate_features(const knowledgeBaseSearchHit* hit);

struct selectedHit {
  const knowledgeBaseSearchHit* hit;
  double score;
};

// Picks at most maxCandidates of the WKB hits of a seek word of wordLength bytes, with their
// adjusted scores. A confidence lowered for a much longer hit text is stored back into the hit.
std::vector<selectedHit> selectCandidates(knowledgeBaseResultList& wkbHits, std::size_t wordLength,
                                          int32_t maxCandidates);
