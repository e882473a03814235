// The two exported queries of the calling thread's latest error.
#include "veskorAPI/veskorAPIInternal.h"

namespace {

veskorLatestError* latestErrorOf(const char* operation) {
  veskorThreadState* state = veskorGetThreadState();
  if (state == nullptr || state->latestError == nullptr) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_THREAD_STATE, "The thread state has not yet been initialized in ",
              operation);
  }
  return state->latestError;
}

}  // namespace

extern "C" VESKOR_EXPORT int veskorGetLatestErrorCode(int connectionID) {
  return veskorCall("veskorGetLatestErrorCode", connectionID, [](veskorCall_t&) -> int {
    return latestErrorOf("veskorGetLatestErrorCode()")->code;
  });
}

extern "C" VESKOR_EXPORT char* veskorGetLatestErrorMessage(int connectionID) {
  return veskorCall("veskorGetLatestErrorMessage", connectionID, [](veskorCall_t&) -> char* {
    const char* message = latestErrorOf("veskorGetLatestErrorMessage()")->message;
    return orlStrdup(message != nullptr ? message : "");
  });
}
