// A counter whose holders can wait until it drops to zero (group 101). Used for the references of
// a named object and for the number of API calls in progress.
#pragma once

#include <cstdint>
#include <semaphore>

#include "orlBasics/orlMemory.h"
#include "orlBasics/threadAnnotations.h"

struct referenceCounter {
  orl::Mutex mutex;
  int32_t count ORL_GUARDED_BY(mutex) = 0;
  // Its single unit is taken exactly while count > 0, so waiting for the unit waits for zero.
  std::binary_semaphore zeroSemaphore{1};
};

referenceCounter* referenceCounter_create();
void referenceCounter_free(referenceCounter* pThis) noexcept;
void referenceCounter_increment(referenceCounter* pThis);
// A decrement at count 0 raises code 4 and leaves the count at 0.
void referenceCounter_decrement(referenceCounter* pThis);
// Returns at a moment when the count is 0. Does not stop later increments: the caller makes sure
// none can come.
void referenceCounter_isZeroBlocking(referenceCounter* pThis);

namespace orl {
using ReferenceCounterPtr = Owned<referenceCounter, referenceCounter_free>;
}
