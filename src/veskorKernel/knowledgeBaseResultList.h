// Hits of a knowledge-base search, with copies of the entry data, and their list (group 21).
#pragma once

#include <cstdint>

#include "orlBasics/vector.h"

struct entry;

struct knowledgeBaseSearchHit {
  char* primaryKey;
  char* text;
  unsigned char* syntacticFeatures;
  int32_t numberSyntacticFeatures;
  double value;
  int32_t numberFeaturesOfHitText;
  int32_t numberFeaturesOfSeekString;  // 0 for exact look-ups
  double confidence;                   // 1.0 for exact look-ups
};

// A vector of knowledgeBaseSearchHit in rank order; it owns the hits' contents.
typedef vector knowledgeBaseResultList;

// Copies the entry; numberFeaturesOfHitText is 0.
void knowledgeBaseSearchHit_init(knowledgeBaseSearchHit* pThis, const entry* pEntry,
                                 int32_t pNumberSyntacticFeatures, int32_t pNumberFeaturesOfSeekString,
                                 double pConfidence);
void knowledgeBaseSearchHit_cleanUp(knowledgeBaseSearchHit* pThis);

knowledgeBaseResultList* knowledgeBaseResultList_create(int32_t pExpectedNumber);
void knowledgeBaseResultList_free(knowledgeBaseResultList* pThis) noexcept;
knowledgeBaseSearchHit* knowledgeBaseResultList_getElement(const knowledgeBaseResultList* pThis,
                                                           int32_t pPosition);
// Takes over the hit's contents.
void knowledgeBaseResultList_appendElement(knowledgeBaseResultList* pThis,
                                           const knowledgeBaseSearchHit* pHit);
int32_t knowledgeBaseResultList_getNumberElements(const knowledgeBaseResultList* pThis);

namespace orl {
using KnowledgeBaseResultListPtr = Owned<knowledgeBaseResultList, knowledgeBaseResultList_free>;
}
