// The document of every sentence entry by entry index, so that grouping sentence hits into
// documents reads a number instead of parsing and hashing keys; likewise the first entry under
// each key, so that collecting sentence hits needs no key lookup. Kept per knowledge base while its
// numbering stamp stays (knowledgeBase_getIndexGeneration); entries added since are numbered when
// a search next asks. Not stored in the file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "veskorKernel/knowledgeBase.h"

struct entryDocuments {
  // Document number by entry index below the knowledge base's index count when it was asked; -1
  // for an entry whose key is no sentence key (and for a hole). Numbers run from 0 in the order
  // the documents' first entries were numbered.
  std::vector<int32_t> documentOf;
  int32_t numberDocuments = 0;
  // The lowest entry index with the same key, by entry index (an entry's own index when no earlier
  // one shares its key); -1 for an entry without key and for a hole. Same length as documentOf.
  std::vector<int32_t> firstWithKey;
};

// The numbers for the knowledge base as it is now. The caller holds (at least shared) access to it;
// safe to call from searches running at the same time.
std::shared_ptr<const entryDocuments> entryDocuments_of(const knowledgeBase* akb);
