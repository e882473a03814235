// Reader/writer lock built from a counting semaphore of numberUnits units (group 100): a shared
// holder takes one unit, an exclusive holder takes all of them. Acquisitions are serialised by a
// mutex, so a waiting exclusive request keeps new shared holders out; releases take no mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <semaphore>

#include "orlBasics/orlMemory.h"
#include "orlBasics/threadAnnotations.h"

// The access is what the analysis knows as the lock: fields guarded by it name the manager.
struct ORL_CAPABILITY("access") sharedAccessManager {
  explicit sharedAccessManager(int32_t units) : numberUnits(units), semaphore(units) {}

  int32_t numberUnits;
  // Serialises acquisitions only.
  orl::Mutex mutex;
  std::counting_semaphore<> semaphore;
  // Units currently taken; lets a release without a matching get be refused instead of
  // overfilling the semaphore.
  std::atomic<int32_t> unitsTaken{0};
};

sharedAccessManager* sharedAccessManager_create(int32_t pNumberUnitsOfResource);
void sharedAccessManager_free(sharedAccessManager* pThis) noexcept;
void sharedAccessManager_getSharedAccess(sharedAccessManager* pThis) ORL_ACQUIRE_SHARED(pThis);
void sharedAccessManager_releaseSharedAccess(sharedAccessManager* pThis) ORL_RELEASE_SHARED(pThis);
void sharedAccessManager_getExclusiveAccess(sharedAccessManager* pThis) ORL_ACQUIRE(pThis);
void sharedAccessManager_releaseExclusiveAccess(sharedAccessManager* pThis) ORL_RELEASE(pThis);

namespace orl {
using SharedAccessManagerPtr = Owned<sharedAccessManager, sharedAccessManager_free>;
}
