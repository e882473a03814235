// Word pairs that the sentences of a document knowledge base associate: words that occur together
// in more sentences than chance would put them together, measured by normalised pointwise mutual
// information (NPMI). Words that occur everywhere, such as articles and conjunctions, are about as
// frequent together with any word as chance predicts; their NPMI stays near 0 and they drop out
// without a list of stop words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "veskorKernel/knowledgeBase.h"

struct cooccurringWord {
  std::string form;      // associatorWord_storedForm: words of one form count as one
  std::string spelling;  // the first spelling met, prepared by associatorWord_prepare
};

struct cooccurringPair {
  cooccurringWord first;  // first.form < second.form byte-wise
  cooccurringWord second;
  double weight;  // NPMI, in (0, 1]
};

// For every word, the pNeighbours words with the highest positive NPMI among those it shares at
// least pMinCount sentences with; a pair chosen by either of its words is kept once. The pairs
// come sorted by their words' forms, made for pWKB (may be null). pAKB holds sentences.
std::vector<cooccurringPair> wordCooccurrence_strongestPairs(const knowledgeBase* pAKB, const knowledgeBase* pWKB,
                                                             int32_t pMinCount, int32_t pNeighbours);
