// The candidate lists of the seek words: for each word the words searched in its place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "veskorANN/wordAssociator.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/wordCandidate.h"

struct searchSettings {
  int32_t maxCandidates;  // places per list (M)
  int32_t wkbHits;        // WKB hits asked for per seek word (L)
  bool associations;
  bool splitCompounds;
};

// The settings for a limit of candidates per word; association mode and compound splitting need
// both a WKB and a WA.
searchSettings searchSettings_make(int32_t limit, bool haveWkbAndWa, int32_t associationMode,
                                   int32_t splitCompounds);

// One list per seek word that takes part, in word order; a word's index is its place in `words`.
// Lists point into `words`, which must outlive them.
std::vector<candidateList> buildCandidateLists(const std::vector<std::string>& words, const knowledgeBase* wkb,
                                               const wordAssociator* wa, const searchSettings& settings);
