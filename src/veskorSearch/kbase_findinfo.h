// The word-based search: every word of a seek text is searched in a document knowledge base
// (AKB) together with its similar words, compound parts and associated words, and the hits are
// combined per sentence so that sentences matching many different seek words rank first.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "orlBasics/orlMemory.h"
#include "veskorANN/wordAssociator.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/documentStatistics.h"
#include "veskorSearch/sentenceHits.h"

// The sentences found, in the order their keys were first met; nullopt for a text shorter than
// two bytes. Without a WKB or WA the association mode and compound splitting are off. limit caps
// the candidates per seek word (at most 20). *pNumberCandidateLists receives the number of seek
// words that were searched. Sentence keys point into the AKB's entries. With statistics, hits are
// weighed for the length-aware ranking (lengthAwareRanking.h): a candidate by its word weight
// instead of by how many sentences it hits, and sentence scores left as summed. numbers, when
// given, are entryDocuments_of(akb) and only make the search faster.
std::optional<std::vector<sentenceHit>> kbase_findInfo(const char* text, const knowledgeBase* akb,
                                                       const knowledgeBase* wkb, const wordAssociator* wa,
                                                       int32_t associationMode, int32_t splitCompounds,
                                                       int32_t limit, int32_t* pNumberCandidateLists,
                                                       const documentStatistics* statistics = nullptr,
                                                       const entryDocuments* numbers = nullptr);

struct findEntriesResult {
  orl::OwnedText primaryKey;  // null for an entry without key and for the places after the last hit
  float confidence;
  orl::OwnedText text;  // the entry's stored text; null when the AKB keeps none
};

// The best numberHits entries for the seek text, best first: a knowledge base of single entries
// (odd feature type) is searched by the kernel, one of sentences word by word. Places after the
// hits ran out have confidence 0. nullopt when the word-based search finds no words to search.
std::optional<std::vector<findEntriesResult>> kbase_findEntries(const char* text, const knowledgeBase* akb,
                                                                const knowledgeBase* wkb, const wordAssociator* wa,
                                                                int32_t associationMode, int32_t splitCompounds,
                                                                int32_t numberHits);
