// Hits of a knowledge-base search with copies of the entry data, best first.
#pragma once

#include <cstdint>
#include <vector>

#include "orlBasics/orlMemory.h"

struct knowledgeBaseSearchHit {
  orl::OwnedText primaryKey;  // null for an entry without key
  orl::OwnedText text;        // null when the knowledge base stores no texts
  // The entry's feature block (knowledgeBase_numberSyntacticFeatures bytes), empty when it has none.
  std::vector<unsigned char> syntacticFeatures;
  double value;
  int32_t numberFeaturesOfSeekString;  // 0 for exact look-ups
  double confidence;                   // 1.0 for exact look-ups
};

using knowledgeBaseResultList = std::vector<knowledgeBaseSearchHit>;
