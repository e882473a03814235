// Library initialisation and clean-up. Both hold the initialisation mutex throughout, so no call
// can enter meanwhile, and report only through their status (no latest error).
#include <ctime>

#include "veskorAPI/veskorAPIInternal.h"

extern "C" VESKOR_EXPORT int veskorInit(void) {
  veskorAPIState& state = veskorGlobalState();
  std::unique_lock<std::mutex> lock(state.initMutex, std::defer_lock);
  if (!veskorLockInitMutex(lock)) return VESKOR_ERROR_FATAL;
  if (state.isInitialized) return VESKOR_ERROR_ALREADY_INITIALIZED;
  orlExceptionsInit();
  int status = VESKOR_OK;
  try {
    veskorCreateRegistries(state);
  } catch (...) {
    status = veskorStatusOfCurrentException(kContextNone);
  }
  veskorSeedConnectionIDs(static_cast<unsigned>(std::time(nullptr)));
  if (status != VESKOR_OK) {
    orlExceptionsCleanup();
    return status;
  }
  // Thread states of an earlier initialisation become stale.
  state.threadStateGeneration.fetch_add(1);
  state.isInitialized = true;
  return VESKOR_OK;
}

extern "C" VESKOR_EXPORT int veskorCleanup(void) {
  veskorAPIState& state = veskorGlobalState();
  std::unique_lock<std::mutex> lock(state.initMutex, std::defer_lock);
  if (!veskorLockInitMutex(lock)) return VESKOR_ERROR_FATAL;
  if (!state.isInitialized) return VESKOR_ERROR_NOT_INITIALIZED;
  int status = VESKOR_OK;
  // Calls in progress finish first; new ones wait for the mutex and then find the library closed.
  try {
    referenceCounter_isZeroBlocking(state.apiCallCounter);
  } catch (...) {
  }
  // Every registry is closed even when an earlier step fails, so that a failing save of one
  // knowledge base does not cost the others theirs; the first failure is reported.
  auto step = [&status](auto&& work) {
    try {
      work();
    } catch (...) {
      if (status == VESKOR_OK) status = veskorStatusOfCurrentException(kContextNone);
    }
  };
  step([] { veskorCloseAllKBs(); });
  step([] { veskorCloseAllWAs(); });
  step([] { veskorCloseAllConnections(); });
  step([&state] { veskorFreeRegistries(state); });
  veskorFreeThreadState(veskorGetThreadState());
  state.threadStateGeneration.fetch_add(1);
  orlExceptionsCleanup();
  state.isInitialized = false;
  return status;
}
