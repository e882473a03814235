#include "veskorAPI/sharedAccessManager.h"

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::sharedAccess;

// Raises when the manager's mutex cannot be locked.
auto lockFailure(const char* operation) {
  return [operation] { ORL_RAISE(kGroup, 5, "error: can't lock sharedAccessManager in ", operation); };
}

// Takes back `units` from unitsTaken, refusing to go below zero.
bool returnUnits(sharedAccessManager* pThis, int32_t units) {
  int32_t taken = pThis->unitsTaken.load(std::memory_order_relaxed);
  do {
    if (taken < units) return false;
  } while (!pThis->unitsTaken.compare_exchange_weak(taken, taken - units, std::memory_order_relaxed));
  return true;
}

}  // namespace

sharedAccessManager* sharedAccessManager_create(int32_t pNumberUnitsOfResource) {
  if (pNumberUnitsOfResource <= 0) {
    ORL_RAISE(kGroup, 1, "error: pNumberUnitsOfResource <= 0 in", "sharedAccessManager_create()");
  }
  return new sharedAccessManager(pNumberUnitsOfResource);
}

void sharedAccessManager_free(sharedAccessManager* pThis) noexcept { delete pThis; }

// The four primitives hold or hand back semaphore units, which the analysis does not see as the
// access they stand for.
void sharedAccessManager_getSharedAccess(sharedAccessManager* pThis) ORL_NO_THREAD_SAFETY_ANALYSIS {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in sharedAccessManager_getSharedAccess()");
  orl::MutexLock lock(pThis->mutex, lockFailure("sharedAccessManager_getSharedAccess()"));
  pThis->semaphore.acquire();
  pThis->unitsTaken.fetch_add(1, std::memory_order_relaxed);
}

void sharedAccessManager_releaseSharedAccess(sharedAccessManager* pThis) ORL_NO_THREAD_SAFETY_ANALYSIS {
  if (pThis == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL in sharedAccessManager_releaseSharedAccess()");
  }
  if (!returnUnits(pThis, 1)) {
    ORL_RAISE(kGroup, 4,
              "error: no matching call of sharedAccessManager_getSharedAccess() for call of "
              "sharedAccessManager_releaseSharedAccess()");
  }
  pThis->semaphore.release();
}

void sharedAccessManager_getExclusiveAccess(sharedAccessManager* pThis) ORL_NO_THREAD_SAFETY_ANALYSIS {
  if (pThis == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL in sharedAccessManager_getExclusiveAccess()");
  }
  orl::MutexLock lock(pThis->mutex, lockFailure("sharedAccessManager_getExclusiveAccess()"));
  for (int32_t i = 0; i < pThis->numberUnits; ++i) pThis->semaphore.acquire();
  pThis->unitsTaken.fetch_add(pThis->numberUnits, std::memory_order_relaxed);
}

void sharedAccessManager_releaseExclusiveAccess(sharedAccessManager* pThis) ORL_NO_THREAD_SAFETY_ANALYSIS {
  if (pThis == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL in sharedAccessManager_releaseExclusiveAccess()");
  }
  if (!returnUnits(pThis, pThis->numberUnits)) {
    ORL_RAISE(kGroup, 4,
              "error: no matching call of sharedAccessManager_getExclusiveAccess() for call of "
              "sharedAccessManager_releaseExclusiveAccess()");
  }
  pThis->semaphore.release(pThis->numberUnits);
}
