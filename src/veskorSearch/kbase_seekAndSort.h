// Document search: the sentences found by the word-based search, grouped into ranked documents.
#pragma once

#include <cstdint>
#include <vector>

#include "veskorANN/wordAssociator.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/documentRanking.h"

// The best numberDocuments documents of the AKB for the seek text, best first, each with its
// matching sentences. Comparing, the text is a whole document: it is reduced to its rare words
// (reduceDocument.h), which are searched as they are, without WKB and WA. Group 200, code 2 for
// an AKB of odd feature type.
std::vector<documentResult> kbase_seekFileSorted(const char* text, const knowledgeBase* akb, const knowledgeBase* wkb,
                                                 const wordAssociator* wa, int32_t associationMode,
                                                 int32_t splitCompounds, int32_t numberDocuments, bool comparing,
                                                 documentRanking ranking = documentRanking::documented);
