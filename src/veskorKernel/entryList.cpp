#include "veskorKernel/entryList.h"

#include <cstring>
#include <vector>

#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"

namespace {

constexpr int32_t kGroup = 17;
constexpr int32_t kEntriesStep = 43690;
constexpr int32_t kIndexListStep = 64;

bool isValid(const entry* e) {
  return e->primaryKey != nullptr || e->text != nullptr;
}

void freeEntryContents(entry* e) noexcept {
  orlFree(e->primaryKey);
  orlFree(e->text);
  orlFree(e->syntacticFeatures);
  *e = entry{nullptr, nullptr, 0.0, nullptr};
}

entry* entryAt(const entryList* list, int32_t index) {
  return static_cast<entry*>(segmentedVector_getElement(list->entries, index));
}

// Takes the element just appended back out; the segmented vector's invariants stay intact.
void removeLastEntry(entryList* list, int32_t index) noexcept {
  freeEntryContents(entryAt(list, index));
  --list->entries->segments[list->entries->currentSegment].numberElements;
}

// Shortens the vector to `count` elements without releasing any buffer.
void truncateEntries(segmentedVector* entries, int32_t count) noexcept {
  int32_t current = count > 0 ? (count - 1) / entries->segmentLength : 0;
  entries->currentSegment = current;
  entries->segments[current].numberElements = count > 0 ? ((count - 1) % entries->segmentLength) + 1 : 0;
  for (int32_t s = current + 1; s < entries->numberSegments; ++s) entries->segments[s].numberElements = 0;
}

vector* indexVector(const std::vector<int32_t>& indices) {
  orl::VectorPtr result(vector_create(sizeof(int32_t), static_cast<int32_t>(indices.size()), kIndexListStep));
  vector_resize(result.get(), static_cast<int32_t>(indices.size()));
  if (!indices.empty()) std::memcpy(result->buffer, indices.data(), indices.size() * sizeof(int32_t));
  return result.release();
}

bool keyMatches(const char* key, const char* pattern, int32_t mode) {
  if (mode == entryList_matchPrefix) return strpre(key, pattern) == 0;
  if (mode == entryList_matchSuffix) return strsuf(key, pattern) == 0;
  return std::strcmp(key, pattern) == 0;
}

}  // namespace

entryList* entryList_create(int32_t pNumberSyntacticFeatures) {
  if (pNumberSyntacticFeatures < 0) ORL_RAISE(kGroup, 1, "pNumberSyntacticFeatures < 0 in entryList_create");
  orl::EntryListPtr list(new entryList);
  list->numberSyntacticFeatures = pNumberSyntacticFeatures;
  list->entries = segmentedVector_create(sizeof(entry), kEntriesStep, kEntriesStep);
  return list.release();
}

void entryList_free(entryList* pThis) noexcept {
  if (pThis == nullptr) return;
  entryList_privateFreeEntryTextHash(pThis);
  if (pThis->entries != nullptr) entryList_freeAllEntries(pThis);
  segmentedVector_free(pThis->entries);
  delete pThis;
}

int32_t entryList_appendEntry(entryList* pThis, const entry* pEntry) {
  if (pThis == nullptr || pEntry == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pEntry == NULL in entryList_appendEntry()");
  orl::OwnedText key(orlStrdup(pEntry->primaryKey));
  orl::OwnedText text(orlStrdup(pEntry->text));
  std::unique_ptr<unsigned char, orl::FreeWith<orlFree>> block(static_cast<unsigned char*>(
      orlMemdup(pEntry->syntacticFeatures, static_cast<std::size_t>(pThis->numberSyntacticFeatures))));
  entry copy{key.get(), text.get(), pEntry->value, block.get()};
  int32_t index = segmentedVector_appendElement(pThis->entries, &copy);
  key.release();
  text.release();
  block.release();
  if (pThis->entryTextHash.load(std::memory_order_relaxed) != nullptr) {
    try {
      entryList_privateAddToEntryTextHash(pThis, index);
    } catch (...) {
      // Rebuilt on the next look-up by text; the entry goes too, so a failed append adds nothing.
      entryList_privateFreeEntryTextHash(pThis);
      removeLastEntry(pThis, index);
      throw;
    }
  }
  return index;
}

void entryList_deleteEntry(entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_deleteEntry");
  if (!entryList_isValidEntry(pThis, pIndex)) return;
  freeEntryContents(entryAt(pThis, pIndex));
}

entry* entryList_getEntry(const entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_getEntry");
  try {
    return entryAt(pThis, pIndex);
  } catch (const orl::Exception&) {
    ORL_RAISE(kGroup, 2, "Index ", pIndex, " ung\xFCltig in entryList_getEntry");
  }
}

bool entryList_isValidEntry(const entryList* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_isValidEntry");
  if (pIndex < 0 || pIndex > entryList_getMaxIndex(pThis)) return false;
  return isValid(entryAt(pThis, pIndex));
}

int32_t entryList_getMaxIndex(const entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_getMaxIndex");
  return segmentedVector_getNumberElements(pThis->entries) - 1;
}

vector* entryList_findEntryByKey(const entryList* pThis, const char* pPrimaryKey, int32_t pMatchMode) {
  if (pThis == nullptr || pPrimaryKey == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pPrimaryKey == NULL in entryList_findEntryByKey");
  }
  std::vector<int32_t> found;
  int32_t maxIndex = entryList_getMaxIndex(pThis);
  for (int32_t i = 0; i <= maxIndex; ++i) {
    const entry* e = entryAt(pThis, i);
    if (e->primaryKey != nullptr && keyMatches(e->primaryKey, pPrimaryKey, pMatchMode)) found.push_back(i);
  }
  return indexVector(found);
}

vector* entryList_defragment(entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_defragment");
  entryList_privateFreeEntryTextHash(pThis);
  int32_t count = entryList_getMaxIndex(pThis) + 1;
  // Allocated in full before anything moves, so the walk itself cannot fail half-way.
  orl::VectorPtr mapping(vector_create(sizeof(int32_t), count, kIndexListStep));
  vector_resize(mapping.get(), count);
  int32_t* newIndexOf = static_cast<int32_t*>(mapping->buffer);
  int32_t next = 0;
  for (int32_t old = 0; old < count; ++old) {
    entry* e = entryAt(pThis, old);
    if (!isValid(e)) {
      freeEntryContents(e);  // an entry with neither key nor text may still hold a feature block
      newIndexOf[old] = -1;
      continue;
    }
    if (next < old) {
      *entryAt(pThis, next) = *e;
      *e = entry{nullptr, nullptr, 0.0, nullptr};
    }
    newIndexOf[old] = next++;
  }
  truncateEntries(pThis->entries, next);
  return mapping.release();
}

void entryList_truncate(entryList* pThis, int32_t pCount) noexcept {
  if (pThis == nullptr || pCount < 0) return;
  int32_t count = segmentedVector_getNumberElements(pThis->entries);
  if (pCount >= count) return;
  // The text index may hold the entries that go; it is built again on the next look-up by text.
  entryList_privateFreeEntryTextHash(pThis);
  for (int32_t i = pCount; i < count; ++i) freeEntryContents(entryAt(pThis, i));
  truncateEntries(pThis->entries, pCount);
}

void entryList_freeAllEntries(entryList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entryList_freeAllEntries");
  int32_t count = entryList_getMaxIndex(pThis) + 1;
  for (int32_t i = 0; i < count; ++i) freeEntryContents(entryAt(pThis, i));
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
