// The entries of one knowledge base, addressed by the index at which they were appended, with a
// lazily built index from stored text to entry indices (group 17).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orlBasics/orlIO.h"
#include "orlBasics/threadAnnotations.h"

// An entry is valid when its key or its text is not null; a deleted entry has every field null/zero.
struct entry {
  char* primaryKey;
  char* text;
  double value;
  unsigned char* syntacticFeatures;  // numberSyntacticFeatures bytes or null
};

// Stored text -> indices of the entries that had it when they were added, in order of addition.
// Only looked up, never walked, so its order decides nothing.
struct entryTextIndex {
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_map<std::string, std::vector<int32_t>, Hash, std::equal_to<>> groups;
};

// Keys and texts of the entries read from a file, packed into a few large blocks instead of one
// allocation each (a word list has hundreds of thousands of short keys). Entries added later own
// theirs; freeing an entry leaves packed bytes alone, and the blocks go with the list.
class packedTexts {
 public:
  packedTexts() = default;
  packedTexts(const packedTexts&) = delete;
  packedTexts& operator=(const packedTexts&) = delete;
  ~packedTexts();
  // Room for `bytes` bytes; a new block takes at most `sizeHint` bytes when that is enough.
  char* allocate(std::size_t bytes, std::size_t sizeHint);
  bool holds(const char* text) const noexcept;

 private:
  struct Block {
    char* bytes;
    std::size_t size;
  };
  std::vector<Block> blocks_;
  std::size_t usedInLast_ = 0;
};

struct entryList {
  int32_t version = 1;
  int32_t numberSyntacticFeatures = 0;
  // Indexed by entry index; holes stay in place until a defragmentation.
  std::vector<entry> entries;
  // Null until the first look-up by text. Built under entryTextHashMutex, so that readers sharing
  // the list may search by text at the same time.
  mutable std::atomic<entryTextIndex*> entryTextHash{nullptr};
  mutable orl::Mutex entryTextHashMutex;
  packedTexts packed;
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
// Valid entries whose key matches (mode 1 prefix, 0 suffix, other exact), in index order.
std::vector<int32_t> entryList_findEntryByKey(const entryList* pThis, const char* pPrimaryKey,
                                              int32_t pMatchMode);
// Valid entries whose stored text equals pText, in order of addition.
std::vector<int32_t> entryList_findEntryByText(const entryList* pThis, const char* pText);
// Closes the holes; returns the mapping old index -> new index or -1.
std::vector<int32_t> entryList_defragment(entryList* pThis);
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

// The text index's upkeep: an append adds to a built index, a defragmentation drops it.
void entryList_privateAddToEntryTextHash(entryList* pThis, int32_t pIndex);
void entryList_privateFreeEntryTextHash(entryList* pThis);

namespace orl {
using EntryListPtr = Owned<entryList, entryList_free>;
}
