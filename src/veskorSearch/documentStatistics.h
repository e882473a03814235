// What the length-aware ranking needs to know about a knowledge base of documents as a whole: the
// document of every sentence entry, every document's length and in how many documents each word
// occurs. Derived from the entries on the first search that needs it and kept, per knowledge
// base, until the knowledge base changes; nothing of it is stored in the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "veskorKernel/knowledgeBase.h"

struct documentStatistics {
  uint64_t generation;  // of the knowledge base it was derived from
  int32_t indexCount;
  // Document number by entry index; -1 for a hole and for an entry whose key is no sentence key.
  std::vector<int32_t> documentOfEntry;
  // Length of every document: the sum over its sentences of the words each holds (once each).
  std::vector<float> length;
  double averageLength = 0;
  // Documents holding the word, by the word as the knowledge base stores it.
  std::unordered_map<std::string, int32_t> documentFrequency;

  int32_t numberDocuments() const { return static_cast<int32_t>(length.size()); }
  int32_t documentOf(int32_t index) const {
    return index >= 0 && index < static_cast<int32_t>(documentOfEntry.size()) ? documentOfEntry[index] : -1;
  }
  // -1 for a word the knowledge base does not hold.
  int32_t frequencyOf(std::string_view storedWord) const;
};

// Derives the statistics anew.
documentStatistics documentStatistics_derive(const knowledgeBase* akb);

// The statistics of the knowledge base as it is now: the kept ones while it is unchanged, else
// derived and kept in their place. Safe to call from searches running at the same time; the
// caller must hold (at least shared) access to the knowledge base.
std::shared_ptr<const documentStatistics> documentStatistics_of(const knowledgeBase* akb);
