// The lazily built index from stored text to the indices of the entries that have it. Its keys
// are copies of their own, so deleting the entry that created a group leaves the group intact.
#include <climits>

#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "veskorKernel/entryList.h"

namespace {

constexpr int32_t kGroup = 17;

void freeTextHash(hash_t* hash) noexcept {
  if (hash == nullptr) return;
  hash_scan_t scan;
  hash_scan_begin(&scan, hash);
  while (hnode_t* node = hash_scan_next(&scan)) {
    orlFree(const_cast<void*>(hnode_getkey(node)));
    vector_free(static_cast<vector*>(hnode_get(node)));
  }
  hash_free(hash);
}

using TextHashPtr = orl::Owned<hash_t, freeTextHash>;

void addToTextHash(hash_t* hash, const entryList* list, int32_t index) {
  if (index > entryList_getMaxIndex(list) || !entryList_isValidEntry(list, index)) return;
  const char* text = entryList_getEntry(list, index)->text;
  if (text == nullptr) return;
  vector* group;
  if (hnode_t* node = hash_lookup(hash, text)) {
    group = static_cast<vector*>(hnode_get(node));
  } else {
    orl::OwnedText key(orlStrdup(text));
    orl::VectorPtr fresh(vector_create(sizeof(int32_t), 1, 4));
    hash_alloc_insert(hash, key.get(), fresh.get());
    key.release();
    group = fresh.release();
  }
  vector_appendElement(group, &index);
}

// The index, built on first use. Readers sharing the list may get here together: the first builds
// it under the mutex, the others wait for it and then use what it published.
const hash_t* textHash(const entryList* list) {
  if (hash_t* hash = list->entryTextHash.load(std::memory_order_acquire)) return hash;
  std::lock_guard<std::mutex> lock(list->entryTextHashMutex);
  if (hash_t* hash = list->entryTextHash.load(std::memory_order_relaxed)) return hash;
  TextHashPtr built(hash_create(ULONG_MAX, nullptr, nullptr));
  int32_t maxIndex = entryList_getMaxIndex(list);
  for (int32_t i = 0; i <= maxIndex; ++i) addToTextHash(built.get(), list, i);
  list->entryTextHash.store(built.get(), std::memory_order_release);
  return built.release();
}

}  // namespace

void entryList_privateAddToEntryTextHash(entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_privateAddToEntryTextHash");
  hash_t* hash = pThis->entryTextHash.load(std::memory_order_relaxed);
  if (hash != nullptr) addToTextHash(hash, pThis, pIndex);
}

vector* entryList_privateGetTextGroupByText(const entryList* pThis, const char* pText) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_privateGetTextGroupByText");
  const hash_t* hash = pThis->entryTextHash.load(std::memory_order_acquire);
  if (hash == nullptr || pText == nullptr) return nullptr;
  hnode_t* node = hash_lookup(hash, pText);
  return node != nullptr ? static_cast<vector*>(hnode_get(node)) : nullptr;
}

void entryList_privateFreeEntryTextHash(entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_privateFreeEntryTextHash");
  freeTextHash(pThis->entryTextHash.exchange(nullptr, std::memory_order_acq_rel));
}

vector* entryList_findEntryByText(const entryList* pThis, const char* pText) {
  if (pThis == nullptr || pText == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in entryList_findEntryByText");
  textHash(pThis);
  const vector* group = entryList_privateGetTextGroupByText(pThis, pText);
  int32_t groupSize = group != nullptr ? group->numberElements : 0;
  orl::VectorPtr result(vector_create(sizeof(int32_t), groupSize, 16));
  for (int32_t i = 0; i < groupSize; ++i) {
    int32_t index = orl::vectorAt<int32_t>(group, i);
    if (entryList_isValidEntry(pThis, index)) vector_appendElement(result.get(), &index);
  }
  return result.release();
}
