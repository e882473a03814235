// The lazily built index from stored text to the indices of the entries that have it. Its keys
// are copies of their own, so deleting the entry that created a group leaves the group intact.
#include <memory>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "veskorKernel/entryList.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::entryList;

void addToTextIndex(entryTextIndex& index, const entryList* list, int32_t entryIndex) {
  if (entryIndex > entryList_getMaxIndex(list) || !entryList_isValidEntry(list, entryIndex)) return;
  const char* text = entryList_getEntry(list, entryIndex)->text;
  if (text == nullptr) return;
  auto group = index.groups.find(std::string_view(text));
  if (group == index.groups.end()) group = index.groups.emplace(text, std::vector<int32_t>{}).first;
  group->second.push_back(entryIndex);
}

// Builds the index and publishes it: one reader at a time.
const entryTextIndex& buildTextIndex(const entryList* list) ORL_REQUIRES(list->entryTextHashMutex) {
  auto built = std::make_unique<entryTextIndex>();
  int32_t maxIndex = entryList_getMaxIndex(list);
  for (int32_t i = 0; i <= maxIndex; ++i) addToTextIndex(*built, list, i);
  list->entryTextHash.store(built.get(), std::memory_order_release);
  return *built.release();
}

// The index, built on first use. Readers sharing the list may get here together: the first builds
// it under the mutex, the others wait for it and then use what it published.
const entryTextIndex& textIndex(const entryList* list) {
  if (const entryTextIndex* index = list->entryTextHash.load(std::memory_order_acquire)) return *index;
  orl::MutexLock lock(list->entryTextHashMutex);
  if (const entryTextIndex* index = list->entryTextHash.load(std::memory_order_relaxed)) return *index;
  return buildTextIndex(list);
}

}  // namespace

void entryList_privateAddToEntryTextHash(entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_privateAddToEntryTextHash");
  entryTextIndex* index = pThis->entryTextHash.load(std::memory_order_relaxed);
  if (index != nullptr) addToTextIndex(*index, pThis, pIndex);
}

void entryList_privateFreeEntryTextHash(entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_privateFreeEntryTextHash");
  delete pThis->entryTextHash.exchange(nullptr, std::memory_order_acq_rel);
}

std::vector<int32_t> entryList_findEntryByText(const entryList* pThis, const char* pText) {
  if (pThis == nullptr || pText == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in entryList_findEntryByText");
  const entryTextIndex& index = textIndex(pThis);
  std::vector<int32_t> found;
  auto group = index.groups.find(std::string_view(pText));
  if (group == index.groups.end()) return found;
  found.reserve(group->second.size());
  for (int32_t entryIndex : group->second) {
    if (entryList_isValidEntry(pThis, entryIndex)) found.push_back(entryIndex);
  }
  return found;
}
