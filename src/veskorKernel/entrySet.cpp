#include "veskorKernel/entrySet.h"

#include <climits>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "orlBasics/scopeGuard.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::entrySet;

// Small sets grow fast, large ones slowly, so that the many rare features stay cheap while the few
// frequent ones do not waste much.
double growthFactor(int32_t length) {
  if (length < 30) return 4.0;
  if (length < 100) return 2.0;
  if (length < 300) return 1.5;
  if (length < 1000) return 1.25;
  if (length < 10000) return 1.125;
  if (length < 100000) return 1.1;
  return 1.05;
}

void grow(entrySet* set) {
  int64_t length = static_cast<int64_t>(set->bufferLength * growthFactor(set->bufferLength));
  if (length < int64_t{set->bufferLength} + 1) length = int64_t{set->bufferLength} + 1;
  if (length > INT32_MAX) ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in orlRealloc");
  set->indices =
      static_cast<int32_t*>(orlRealloc(set->indices, static_cast<std::size_t>(length) * sizeof(int32_t)));
  set->bufferLength = static_cast<int32_t>(length);
}

}  // namespace

void entrySet_init(entrySet* pThis, int32_t pBufferLength) {
  if (pThis == nullptr || pBufferLength < 0)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pBufferLength < 0 in entrySet_init");
  pThis->indices =
      static_cast<int32_t*>(orlMalloc(static_cast<std::size_t>(pBufferLength) * sizeof(int32_t)));
  pThis->indexMax = -1;
  pThis->count = 0;
  pThis->bufferLength = pBufferLength;
}

void entrySet_cleanUp(entrySet* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entrySet_cleanUp");
  orlFree(pThis->indices);
  pThis->indices = nullptr;
  pThis->indexMax = -1;
  pThis->count = 0;
  pThis->bufferLength = 0;
}

void entrySet_appendIndex(entrySet* pThis, int32_t pIndexEntry) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in entrySet_appendIndex");
  if (pIndexEntry <= pThis->indexMax)
    ORL_RAISE(kGroup, 2, "pIndexEntry <= pThis->indexMax in entrySet_appendIndex");
  if (pThis->count + 1 >= pThis->bufferLength) grow(pThis);
  pThis->indices[pThis->count++] = pIndexEntry;
  pThis->indexMax = pIndexEntry;
}

void entrySet_defragment(entrySet* pThis, std::span<const int32_t> pIndexMapping) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL || pIndexMapping == NULL in entrySet_defragment");
  // Checked before anything changes, so a short mapping leaves the set as it was.
  if (pThis->indexMax >= static_cast<int64_t>(pIndexMapping.size())) {
    ORL_RAISE(kGroup, 1, "pThis->indexMax >= pIndexMapping->numberElements in entrySet_defragment");
  }
  const int32_t* mapping = pIndexMapping.data();
  int32_t kept = 0;
  for (int32_t i = 0; i < pThis->count; ++i) {
    int32_t mapped = pThis->indices[i] >= 0 ? mapping[pThis->indices[i]] : -1;
    if (mapped >= 0) pThis->indices[kept++] = mapped;
  }
  pThis->count = kept;
  pThis->indexMax = kept > 0 ? pThis->indices[kept - 1] : -1;
}

void entrySet_save(const entrySet* pThis, orlStream* pStream) {
  if (pThis == nullptr || pStream == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pStream == NULL in entrySet_save");
  stream_writeInt32(pStream, pThis->indexMax);
  stream_writeInt32(pStream, pThis->count);
  stream_writeInt32(pStream, 0);
  stream_writeInt32Array(pStream, pThis->count, pThis->indices);
}

void entrySet_load(entrySet* pThis, orlStream* pStream) {
  if (pThis == nullptr || pStream == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pStream == NULL in entrySet_load");
  if (pThis->indices != nullptr) ORL_RAISE(kGroup, 1, "Menge *pThis bereits initialisiert in entrySet_load");
  int32_t indexMax = stream_readInt32(pStream);
  int32_t count = stream_readInt32(pStream);
  stream_readInt32(pStream);  // reserved
  int32Array stored = stream_readInt32Array(pStream);
  orl::ScopeGuard freeStored([&] { orlFree(stored.array); });
  // The searches rely on these invariants, so a set that breaks them is refused here.
  bool consistent = count == stored.count && indexMax == (count > 0 ? stored.array[count - 1] : -1);
  for (int32_t i = 0; consistent && i < count; ++i) {
    consistent = stored.array[i] >= 0 && (i == 0 || stored.array[i - 1] < stored.array[i]);
  }
  if (!consistent) ORL_RAISE(kGroup, 3, "Falsches Dateiformat in entrySet_load");
  freeStored.dismiss();
  pThis->indices = stored.array;
  pThis->bufferLength = stored.count;
  pThis->count = count;
  pThis->indexMax = indexMax;
}
