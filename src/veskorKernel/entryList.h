// The entries of one knowledge base, addressed by the index at which they were appended, with a
// lazily built index from stored text to entry indices (group 17).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "kazlib/hash.h"
#include "orlBasics/orlIO.h"
#include "orlBasics/segmentedVector.h"
#include "orlBasics/vector.h"

// An entry is valid when its key or its text is not null; a deleted entry has every field null/zero.
struct entry {
  char* primaryKey;
  char* text;
  double value;
  unsigned char* syntacticFeatures;  // numberSyntacticFeatures bytes or null
};

struct entryList {
  int32_t version = 1;
  int32_t numberSyntacticFeatures = 0;
  segmentedVector* entries = nullptr;
  // Stored text -> vector of int32 indices; null until the first look-up by text. Built under
  // entryTextHashMutex, so that readers sharing the list may search by text at the same time.
  mutable std::atomic<hash_t*> entryTextHash{nullptr};
  mutable std::mutex entryTextHashMutex;
};

// Match modes of entryList_findEntryByKey.
inline constexpr int32_t entryList_matchSuffix = 0;
inline constexpr int32_t entryList_matchPrefix = 1;

entryList* entryList_create(int32_t pNumberSyntacticFeatures);
void entryList_free(entryList* pThis) noexcept;
// Stores copies of the entry's key, text and feature block; returns the new index. On failure
// nothing is appended.
int32_t entryList_appendEntry(entryList* pThis, const entry* pEntry);
// An index that is not a valid entry is ignored.
void entryList_deleteEntry(entryList* pThis, int32_t pIndex);
// The stored entry (valid until the list changes).
entry* entryList_getEntry(const entryList* pThis, int32_t pIndex);
bool entryList_isValidEntry(const entryList* pThis, int32_t pIndex);
// Number of stored entries, holes included, minus 1.
int32_t entryList_getMaxIndex(const entryList* pThis);
// New vector of int32: valid entries whose key matches (mode 1 prefix, 0 suffix, other exact).
vector* entryList_findEntryByKey(const entryList* pThis, const char* pPrimaryKey, int32_t pMatchMode);
// New vector of int32: valid entries whose stored text equals pText, in order of addition.
vector* entryList_findEntryByText(const entryList* pThis, const char* pText);
// Closes the holes; returns the mapping old index -> new index or -1 (vector of int32).
vector* entryList_defragment(entryList* pThis);
// Takes the entries from index pCount on out again, as if they had never been appended (the undo
// of appends). Cannot fail; null or a count beyond the list does nothing.
void entryList_truncate(entryList* pThis, int32_t pCount) noexcept;
void entryList_save(const entryList* pThis, orlStream* pStream);
entryList* entryList_createFromStream(orlStream* pStream);
void entryList_freeAllEntries(entryList* pThis);

// 0 when pString begins with pPrefix.
int strpre(const char* pString, const char* pPrefix);
// 0 when the first occurrence of pSuffix in pString runs to its end.
int strsuf(const char* pString, const char* pSuffix);

void entryList_privateAddToEntryTextHash(entryList* pThis, int32_t pIndex);
vector* entryList_privateGetTextGroupByText(const entryList* pThis, const char* pText);
void entryList_privateFreeEntryTextHash(entryList* pThis);

namespace orl {
using EntryListPtr = Owned<entryList, entryList_free>;
}
