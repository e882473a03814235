#include "veskorKernel/entryList.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::entryList;

bool isValid(const entry* e) {
  return e->primaryKey != nullptr || e->text != nullptr;
}

void freeText(const entryList* list, char* text) noexcept {
  if (!list->packed.holds(text)) orlFree(text);
}

void freeEntryContents(const entryList* list, entry* e) noexcept {
  freeText(list, e->primaryKey);
  freeText(list, e->text);
  orlFree(e->syntacticFeatures);
  *e = entry{nullptr, nullptr, 0.0, nullptr};
}

// Fresh blocks are this large unless the list is small.
constexpr std::size_t kPackedBlockBytes = std::size_t{1} << 20;

// The entry at a valid index (0 to entryList_getMaxIndex).
entry* entryAt(const entryList* list, int32_t index) {
  return const_cast<entry*>(&list->entries[static_cast<std::size_t>(index)]);
}

// Takes the element just appended back out.
void removeLastEntry(entryList* list) noexcept {
  freeEntryContents(list, &list->entries.back());
  list->entries.pop_back();
}

bool keyMatches(const char* key, const char* pattern, int32_t mode) {
  if (mode == entryList_matchPrefix) return strpre(key, pattern) == 0;
  if (mode == entryList_matchSuffix) return strsuf(key, pattern) == 0;
  return std::strcmp(key, pattern) == 0;
}

}  // namespace

packedTexts::~packedTexts() {
  for (const Block& block : blocks_) orlFree(block.bytes);
}

char* packedTexts::allocate(std::size_t bytes, std::size_t sizeHint) {
  if (blocks_.empty() || blocks_.back().size - usedInLast_ < bytes) {
    std::size_t size = std::max(bytes, std::min(kPackedBlockBytes, sizeHint));
    blocks_.reserve(blocks_.size() + 1);  // so that the block cannot be lost once allocated
    blocks_.push_back(Block{static_cast<char*>(orlMalloc(size)), size});
    usedInLast_ = 0;
  }
  char* room = blocks_.back().bytes + usedInLast_;
  usedInLast_ += bytes;
  return room;
}

bool packedTexts::holds(const char* text) const noexcept {
  auto at = reinterpret_cast<std::uintptr_t>(text);
  for (const Block& block : blocks_) {
    auto begin = reinterpret_cast<std::uintptr_t>(block.bytes);
    if (at >= begin && at < begin + block.size) return true;
  }
  return false;
}

entryList* entryList_create(int32_t pNumberSyntacticFeatures) {
  if (pNumberSyntacticFeatures < 0) ORL_RAISE(kGroup, 1, "pNumberSyntacticFeatures < 0 in entryList_create");
  orl::EntryListPtr list(new entryList);
  list->numberSyntacticFeatures = pNumberSyntacticFeatures;
  return list.release();
}

void entryList_free(entryList* pThis) noexcept {
  if (pThis == nullptr) return;
  entryList_privateFreeEntryTextHash(pThis);
  entryList_freeAllEntries(pThis);
  delete pThis;
}

int32_t entryList_appendEntry(entryList* pThis, const entry* pEntry) {
  if (pThis == nullptr || pEntry == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pEntry == NULL in entryList_appendEntry()");
  orl::OwnedText key(orlStrdup(pEntry->primaryKey));
  orl::OwnedText text(orlStrdup(pEntry->text));
  std::unique_ptr<unsigned char, orl::FreeWith<orlFree>> block(static_cast<unsigned char*>(
      orlMemdup(pEntry->syntacticFeatures, static_cast<std::size_t>(pThis->numberSyntacticFeatures))));
  // Indices are int32 in files and searches.
  if (pThis->entries.size() >= static_cast<std::size_t>(INT32_MAX))
    ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in orlRealloc");
  pThis->entries.push_back(entry{key.get(), text.get(), pEntry->value, block.get()});
  auto index = static_cast<int32_t>(pThis->entries.size() - 1);
  key.release();
  text.release();
  block.release();
  if (pThis->entryTextHash.load(std::memory_order_relaxed) != nullptr) {
    try {
      entryList_privateAddToEntryTextHash(pThis, index);
    } catch (...) {
      // Rebuilt on the next look-up by text; the entry goes too, so a failed append adds nothing.
      entryList_privateFreeEntryTextHash(pThis);
      removeLastEntry(pThis);
      throw;
    }
  }
  return index;
}

void entryList_deleteEntry(entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_deleteEntry");
  if (!entryList_isValidEntry(pThis, pIndex)) return;
  freeEntryContents(pThis, entryAt(pThis, pIndex));
}

entry* entryList_getEntry(const entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_getEntry");
  if (pIndex < 0 || pIndex > entryList_getMaxIndex(pThis))
    ORL_RAISE(kGroup, 2, "Index ", pIndex, " ung\xFCltig in entryList_getEntry");
  return entryAt(pThis, pIndex);
}

bool entryList_isValidEntry(const entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_isValidEntry");
  if (pIndex < 0 || pIndex > entryList_getMaxIndex(pThis)) return false;
  return isValid(entryAt(pThis, pIndex));
}

int32_t entryList_getMaxIndex(const entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_getMaxIndex");
  return static_cast<int32_t>(pThis->entries.size()) - 1;
}

std::vector<int32_t> entryList_findEntryByKey(const entryList* pThis, const char* pPrimaryKey,
                                              int32_t pMatchMode) {
  if (pThis == nullptr || pPrimaryKey == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pPrimaryKey == NULL in entryList_findEntryByKey");
  }
  std::vector<int32_t> found;
  int32_t maxIndex = entryList_getMaxIndex(pThis);
  for (int32_t i = 0; i <= maxIndex; ++i) {
    const entry* e = entryAt(pThis, i);
    if (e->primaryKey != nullptr && keyMatches(e->primaryKey, pPrimaryKey, pMatchMode)) found.push_back(i);
  }
  return found;
}

std::vector<int32_t> entryList_defragment(entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_defragment");
  entryList_privateFreeEntryTextHash(pThis);
  int32_t count = entryList_getMaxIndex(pThis) + 1;
  // Allocated in full before anything moves, so the walk itself cannot fail half-way.
  std::vector<int32_t> newIndexOf(static_cast<std::size_t>(count));
  int32_t next = 0;
  for (int32_t old = 0; old < count; ++old) {
    entry* e = entryAt(pThis, old);
    if (!isValid(e)) {
      freeEntryContents(pThis, e);  // an entry with neither key nor text may still hold a feature block
      newIndexOf[old] = -1;
      continue;
    }
    if (next < old) {
      *entryAt(pThis, next) = *e;
      *e = entry{nullptr, nullptr, 0.0, nullptr};
    }
    newIndexOf[old] = next++;
  }
  pThis->entries.resize(static_cast<std::size_t>(next));  // only emptied records go
  return newIndexOf;
}

void entryList_truncate(entryList* pThis, int32_t pCount) noexcept {
  if (pThis == nullptr || pCount < 0) return;
  const auto count = static_cast<int32_t>(pThis->entries.size());
  if (pCount >= count) return;
  // The text index may hold the entries that go; it is built again on the next look-up by text.
  entryList_privateFreeEntryTextHash(pThis);
  for (int32_t i = pCount; i < count; ++i) freeEntryContents(pThis, entryAt(pThis, i));
  // Shrinking keeps the buffer: nothing is allocated.
  pThis->entries.resize(static_cast<std::size_t>(pCount));
}

void entryList_freeAllEntries(entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_freeAllEntries");
  int32_t count = entryList_getMaxIndex(pThis) + 1;
  for (int32_t i = 0; i < count; ++i) freeEntryContents(pThis, entryAt(pThis, i));
}

int strpre(const char* pString, const char* pPrefix) {
  if (pString == nullptr || pPrefix == nullptr)
    ORL_RAISE(kGroup, 1, "pString == NULL || pPrefix == NULL in strpre");
  return std::strncmp(pString, pPrefix, std::strlen(pPrefix)) == 0 ? 0 : 1;
}

int strsuf(const char* pString, const char* pSuffix) {
  if (pString == nullptr || pSuffix == nullptr)
    ORL_RAISE(kGroup, 1, "pString == NULL || pSuffix == NULL in strsuf");
  const char* first = std::strstr(pString, pSuffix);
  return first != nullptr && std::strlen(first) == std::strlen(pSuffix) ? 0 : 1;
}
