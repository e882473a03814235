// The component exports' lifecycle: a process-wide initialised flag and count
// of open connections, so that the engine is initialised once and cleaned up
// only when every component connection is closed. Knowledge-base file functions
// forward to the engine with fixed arguments.
#include "veskor/componentAPI.h"

#include "orlBasics/threadAnnotations.h"
#include "veskor/veskorAPI.h"

namespace {

// The flag and the count change together with the engine's state, so the four
// lifecycle calls are serialised: component threads start and tear down
// independently of each other.
orl::Mutex gLifecycleMutex;
bool gEngineInitialized ORL_GUARDED_BY(gLifecycleMutex) = false;
int gOpenConnections ORL_GUARDED_BY(gLifecycleMutex) = 0;

} // namespace

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnInit(void) {
  try {
    orl::MutexLock lock(gLifecycleMutex);
    if (gEngineInitialized)
      return VESKOR_OK;
    int status = veskorInit();
    if (status == VESKOR_OK)
      gEngineInitialized = true;
    return status;
  } catch (...) {
    return VESKOR_ERROR_FATAL;
  }
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnCleanup(void) {
  try {
    orl::MutexLock lock(gLifecycleMutex);
    if (gOpenConnections > 0)
      return VESKOR_OK;
    int status = veskorCleanup();
    // Past its entry checks the engine's clean-up always leaves it
    // uninitialised (a failed save only changes the status), so the next fnInit
    // must initialise it again.
    if (status != VESKOR_ERROR_FATAL)
      gEngineInitialized = false;
    return status;
  } catch (...) {
    return VESKOR_ERROR_FATAL;
  }
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnOpenConnection(int *pConnection) {
  try {
    orl::MutexLock lock(gLifecycleMutex);
    int status = veskorOpenConnection(pConnection);
    if (status == VESKOR_OK)
      ++gOpenConnections;
    return status;
  } catch (...) {
    return VESKOR_ERROR_FATAL;
  }
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnCloseConnection(int connection) {
  try {
    orl::MutexLock lock(gLifecycleMutex);
    int status = veskorCloseConnection(connection);
    if (status == VESKOR_OK)
      --gOpenConnections;
    return status;
  } catch (...) {
    return VESKOR_ERROR_FATAL;
  }
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnCreateKBFile(
    int connection, const char *pFileName, int pLanguage, int pKBKind) {
  // Never a document knowledge base: kind 0 gives single entries, kind 1 a word
  // knowledge base.
  return veskorCreateKBFile(connection, pFileName, pLanguage, 0, pKBKind);
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL
fnRemoveKBFile(int connection, const char *pFileName) {
  return veskorRemoveKBFile(connection, pFileName);
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnOpenKB(int connection,
                                                     const char *pFileName,
                                                     const char *pKBName) {
  return veskorOpenKB(connection, pFileName, pKBName);
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnCloseKB(int connection,
                                                      const char *pKBName) {
  return veskorCloseKB(connection, pKBName);
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnSaveKB(int connection,
                                                     const char *pKBName) {
  return veskorSaveKB(connection, pKBName);
}
