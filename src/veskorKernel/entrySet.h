// Posting list of one feature: the strictly ascending indices of the entries that have it
// (group 18).
#pragma once

#include <cstdint>
#include <span>

#include "orlBasics/orlIO.h"

struct entrySet {
  int32_t indexMax;      // last index, -1 when empty
  int32_t count;         // indices in use
  int32_t bufferLength;  // slots allocated
  int32_t* indices;      // orlMalloc, ascending
};

void entrySet_init(entrySet* pThis, int32_t pBufferLength);
// Frees the array and leaves an empty set without one.
void entrySet_cleanUp(entrySet* pThis);
// pIndexEntry must be larger than indexMax.
void entrySet_appendIndex(entrySet* pThis, int32_t pIndexEntry);
// Renumbers with a mapping old index -> new index or -1; -1 drops the index.
void entrySet_defragment(entrySet* pThis, std::span<const int32_t> pIndexMapping);
void entrySet_save(const entrySet* pThis, orlStream* pStream);
// Reads a set into one that holds no array. A stored set that is not strictly ascending or whose
// fields disagree raises code 3.
void entrySet_load(entrySet* pThis, orlStream* pStream);
