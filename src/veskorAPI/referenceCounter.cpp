#include "veskorAPI/referenceCounter.h"

#include <system_error>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::referenceCounter;

std::unique_lock<std::mutex> lockCounter(referenceCounter* pThis, const char* operation) {
  try {
    return std::unique_lock<std::mutex>(pThis->mutex);
  } catch (const std::system_error&) {
    ORL_RAISE(kGroup, 5, "error: can't lock referenceCounter in ", operation);
  }
}

}  // namespace

// The standard mutex and semaphore cannot fail to initialise; only the allocation can fail.
referenceCounter* referenceCounter_create() { return new referenceCounter(); }

void referenceCounter_free(referenceCounter* pThis) noexcept {
  if (pThis == nullptr) return;
  // A holder still inside increment/decrement finishes before the counter goes.
  { std::lock_guard<std::mutex> lock(pThis->mutex); }
  delete pThis;
}

void referenceCounter_increment(referenceCounter* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in referenceCounter_increment()");
  std::unique_lock<std::mutex> lock = lockCounter(pThis, "referenceCounter_increment()");
  if (++pThis->count == 1) pThis->zeroSemaphore.acquire();
}

void referenceCounter_decrement(referenceCounter* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in referenceCounter_decrement()");
  std::unique_lock<std::mutex> lock = lockCounter(pThis, "referenceCounter_decrement()");
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
