// The length-aware ranking of documents: over the same candidate words and sentence hits as the
// documented ranking, a document scores by how well it matches each seek word with BM25's terms:
// a matched word weighs by how few documents hold it, the sentences matching it count with a
// saturating weight, and a long document must match more often to score as high as a short one.
// How similar a candidate is to its seek word, and its association weight, are factors of its
// matches.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/documentRanking.h"
#include "veskorSearch/documentStatistics.h"
#include "veskorSearch/sentenceHits.h"

// k1 bounds what further matching sentences add, b is the share of the score normalised by
// document length. Chosen on the tuning queries of bench/helpEval_bench (never on its evaluation
// queries) from k1 in {0.3, 0.6, 1.2, 2} and b in {0.3, 0.5, 0.75, 0.9, 1}: a seek text usually
// describes one passage, so that a second matching sentence says little (small k1), and long
// pages match by chance often (b near 1).
inline constexpr double lengthAware_k1 = 0.3;
inline constexpr double lengthAware_b = 0.9;

// The weight of a candidate word, in (0, 1]: its inverse document frequency relative to that of a
// word held by one document. The word is looked up as the knowledge base stores it; a text it does
// not hold as one word counts the documents of its hits.
double lengthAware_wordWeight(const documentStatistics& statistics, const knowledgeBase* akb,
                              const std::string& searchText, std::span<const knowledgeBaseHit> hits);

// The best numberDocuments documents by falling score (of equal scores the one met first), each
// with its sentences by falling score. Confidences lie in (0, 1]; sentence scores are on the
// documented ranking's scale (x 100, three decimals).
std::vector<documentResult> lengthAware_rankDocuments(const std::vector<sentenceHit>& sentences,
                                                      const documentStatistics& statistics,
                                                      int32_t numberDocuments);
