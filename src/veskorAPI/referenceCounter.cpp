#include "veskorAPI/referenceCounter.h"

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::referenceCounter;

// Raises when the counter's mutex cannot be locked.
auto lockFailure(const char* operation) {
  return [operation] { ORL_RAISE(kGroup, 5, "error: can't lock referenceCounter in ", operation); };
}

}  // namespace

// The standard mutex and semaphore cannot fail to initialise; only the allocation can fail.
referenceCounter* referenceCounter_create() { return new referenceCounter(); }

void referenceCounter_free(referenceCounter* pThis) noexcept {
  if (pThis == nullptr) return;
  // A holder still inside increment/decrement finishes before the counter goes.
  { orl::MutexLock lock(pThis->mutex); }
  delete pThis;
}

void referenceCounter_increment(referenceCounter* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in referenceCounter_increment()");
  orl::MutexLock lock(pThis->mutex, lockFailure("referenceCounter_increment()"));
  if (++pThis->count == 1) pThis->zeroSemaphore.acquire();
}

void referenceCounter_decrement(referenceCounter* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in referenceCounter_decrement()");
  orl::MutexLock lock(pThis->mutex, lockFailure("referenceCounter_decrement()"));
  if (pThis->count <= 0) {
    ORL_RAISE(kGroup, 4,
              "error: no matching call of referenceCounter_increment for call of referenceCounter_decrement()");
  }
  if (--pThis->count == 0) pThis->zeroSemaphore.release();
}

void referenceCounter_isZeroBlocking(referenceCounter* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in referenceCounter_isZeroBlocking()");
  pThis->zeroSemaphore.acquire();
  pThis->zeroSemaphore.release();
}
