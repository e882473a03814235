#include "veskorAPI/veskorAPIInternal.h"

#include <unistd.h>

#include <cstring>
#include <functional>
#include <new>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlText.h"
#include "orlBasics/orlThreadLocal.h"
#include "orlBasics/scopeGuard.h"

namespace {

constinit veskorAPIState gState;

void releaseThreadState() noexcept;

// The thread's slot. Its hook releases the thread's state when the thread ends. The slot is
// trivially destructible: a thread_local destructor would be registered on first touch, and
// glibc ends the process when that finds no memory; the hook's registration is reported instead.
struct ThreadSlot {
  veskorThreadState* state;
  uint64_t generation;
  orlThreadExitHook atExit;
};

constinit thread_local ThreadSlot tSlot{nullptr, 0, {&releaseThreadState, nullptr, false}};

void releaseThreadState() noexcept {
  veskorFreeThreadState(tSlot.state);
}

veskorThreadState* requireThreadState(const char* operation) {
  veskorThreadState* state = veskorGetThreadState();
  if (state == nullptr) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_THREAD_STATE, "The thread state has not yet been initialized in ",
              operation);
  }
  return state;
}

// The status of a mapped group 17/19/20/102/103 code that is not about a name.
int mapKernelCode(int32_t code) {
  switch (code) {
    case 8:
    case 9:
    case 6:
      return VESKOR_ERROR_FILE;
    case 10:
    case 3:
      return VESKOR_ERROR_FILEFORMAT;
    case 11:
      return VESKOR_ERROR_ENTRY_NOT_VALID;
    case 12:
      return VESKOR_ERROR_KEY_NOT_VALID;
    case 13:
      return VESKOR_ERROR_NUMBER_OF_HITS;
    default:
      return 0;
  }
}

int mapNameError(const char* context) {
  if (std::strcmp(context, kContextKB) == 0) return VESKOR_ERROR_KBNAME;
  if (std::strcmp(context, kContextWA) == 0) return VESKOR_ERROR_WANAME;
  return VESKOR_ERROR_IDENTIFIER;
}

int mapListed(int32_t group, int32_t code, const char* context) {
  switch (group) {
    case kVeskorAPIGroup:
      return code;
    case orl::errorGroup::entryList:
    case orl::errorGroup::featureSpace:
      if (code == 3) return VESKOR_ERROR_FILEFORMAT;
      if (code == 2) return VESKOR_ERROR_FEATURE_TYPE;
      if (code == 6) return VESKOR_ERROR_FILE;
      return 0;
    case orl::errorGroup::knowledgeBase:
      if (code == 2) return VESKOR_ERROR_FEATURE_TYPE;
      return mapKernelCode(code);
    case orl::errorGroup::namedObject:
      if (code == 2) return mapNameError(context);
      return mapKernelCode(code);
    case orl::errorGroup::dataManager:
      if (code == 2 || code == 3) return mapNameError(context);
      return mapKernelCode(code);
    case orl::errorGroup::search:
      if (code == 2) return VESKOR_ERROR_FEATURE_TYPE;
      if (code == 6) return VESKOR_ERROR_FILE;
      return 0;
    case orl::errorGroup::vector:
      if (code == 2) return VESKOR_ERROR_OUT_OF_BOUNDS;
      if (code == 6) return VESKOR_ERROR_FILE;
      return 0;
    case orl::errorGroup::stream:
      if (code == 6) return VESKOR_ERROR_FILE;
      return 0;
    default:
      return 0;
  }
}

}  // namespace

veskorAPIState& veskorGlobalState() { return gState; }

// ---- Entering and leaving --------------------------------------------------------------------

int veskorStatusOfCurrentException(const char* context) noexcept {
  try {
    throw;
  } catch (const orl::Exception& e) {
    return veskorMapException(e.group(), e.code(), context);
  } catch (const std::bad_alloc&) {
    return veskorMapException(orl::errorGroup::memory, 1, context);
  } catch (...) {
    return VESKOR_ERROR_FATAL;
  }
}

bool veskorHandlingOutOfMemory() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return true;
  } catch (const orl::Exception& e) {
    return orl::matches(e, {{orl::errorGroup::memory, 1}});
  } catch (...) {
    return false;
  }
}

bool veskorLockInitMutex(std::unique_lock<std::mutex>& lock) noexcept {
  try {
    lock.lock();
    return true;
  } catch (...) {
    return false;
  }
}

int veskorEnterAPI() noexcept {
  std::unique_lock<std::mutex> lock(gState.initMutex, std::defer_lock);
  if (!veskorLockInitMutex(lock)) return VESKOR_ERROR_FATAL;
  if (!gState.isInitialized) return VESKOR_ERROR_NOT_INITIALIZED;
  try {
    referenceCounter_increment(gState.apiCallCounter);
  } catch (...) {
    return veskorStatusOfCurrentException(kContextNone);
  }
  return VESKOR_OK;
}

int veskorLeaveAPI() noexcept {
  try {
    referenceCounter_decrement(gState.apiCallCounter);
  } catch (...) {
    return veskorStatusOfCurrentException(kContextNone);
  }
  return VESKOR_OK;
}

// ---- Thread state ----------------------------------------------------------------------------

veskorThreadState* veskorGetThreadState() noexcept {
  if (tSlot.state == nullptr || tSlot.generation != gState.threadStateGeneration.load()) return nullptr;
  return tSlot.state;
}

int veskorInitThread() noexcept {
  if (veskorGetThreadState() != nullptr) return VESKOR_OK;
  // A state of an earlier initialisation goes; the new one starts without a latest error.
  veskorFreeThreadState(tSlot.state);
  try {
    orlRegisterThreadExitHook(&tSlot.atExit);
    auto* state = static_cast<veskorThreadState*>(orlMalloc(sizeof(veskorThreadState)));
    *state = veskorThreadState{nullptr, nullptr};
    orl::ScopeGuard undo([state] { veskorFreeThreadState(state); });
    state->latestError = static_cast<veskorLatestError*>(orlMalloc(sizeof(veskorLatestError)));
    *state->latestError = veskorLatestError{0, nullptr};
    state->cleanupStack = vector_create(sizeof(veskorCleanupStackEntry), 10, 10);
    undo.dismiss();
    tSlot.state = state;
    tSlot.generation = gState.threadStateGeneration.load();
  } catch (const orl::Exception& e) {
    return veskorMapException(e.group(), e.code(), kContextNone);
  } catch (const std::bad_alloc&) {
    return veskorMapException(orl::errorGroup::memory, 1, kContextNone);
  } catch (...) {
    return VESKOR_ERROR_THREAD_STATE_INIT;
  }
  return VESKOR_OK;
}

void veskorFreeThreadState(veskorThreadState* pState) noexcept {
  if (pState != nullptr) {
    if (pState->cleanupStack != nullptr) {
      // Entries left by an interrupted call are dropped, not run: their objects may be gone.
      vector_free(pState->cleanupStack);
    }
    if (pState->latestError != nullptr) {
      orlFree(pState->latestError->message);
      orlFree(pState->latestError);
    }
    orlFree(pState);
  }
  if (tSlot.state == pState) tSlot.state = nullptr;
}

// ---- Cleanup stack ---------------------------------------------------------------------------

void veskorPushToCleanupStack(veskorCleanupFct pFct, void* pArg, uint8_t alwaysExecute) {
  veskorThreadState* state = requireThreadState("veskorPushToCleanupStack()");
  veskorCleanupStackEntry entry{pArg, pFct, alwaysExecute};
  try {
    vector_appendElement(state->cleanupStack, &entry);
  } catch (...) {
    // Not registered, nothing would ever release it; the call fails with this very failure, so
    // the resource goes now, as the unwinding would have taken it.
    pFct(pArg);
    throw;
  }
}

int32_t veskorCleanupStackDepth() {
  return vector_getNumberElements(requireThreadState("veskorPopEntireCleanupStack()")->cleanupStack);
}

void veskorPopCleanupStackTo(int32_t depth, uint8_t execute) {
  veskorThreadState* state = requireThreadState("veskorPopEntireCleanupStack()");
  std::exception_ptr first;
  for (int32_t n = vector_getNumberElements(state->cleanupStack); n > depth; --n) {
    veskorCleanupStackEntry entry = orl::vectorAt<veskorCleanupStackEntry>(state->cleanupStack, n - 1);
    vector_resize(state->cleanupStack, n - 1);
    if (entry.alwaysExecute != 1 && execute != 1) continue;
    try {
      entry.pFct(entry.pArg);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void veskorPopEntireCleanupStack(uint8_t execute) { veskorPopCleanupStackTo(0, execute); }

// ---- Latest error and mapping ----------------------------------------------------------------

int veskorSetLatestError(int code, const char* message) noexcept {
  if (message == nullptr) return VESKOR_ERROR_FATAL;
  veskorThreadState* state = veskorGetThreadState();
  if (state == nullptr || state->latestError == nullptr) return VESKOR_ERROR_FATAL;
  char* copy = nullptr;
  try {
    copy = orlStrdup(message);
  } catch (...) {
    return VESKOR_ERROR_FATAL;
  }
  orlFree(state->latestError->message);
  state->latestError->message = copy;
  state->latestError->code = code;
  return code;
}

int veskorMapException(int32_t group, int32_t code, const char* context) noexcept {
  if (context == nullptr) context = kContextNone;
  int status = mapListed(group, code, context);
  if (status != 0 || group == kVeskorAPIGroup) return status;
  return 100 * group + code;
}

// ---- Paths -----------------------------------------------------------------------------------

char* veskorGetWorkingDirectory() {
  constexpr std::size_t kLimit = 10000;
  std::size_t size = 100;
  orl::OwnedText buffer(static_cast<char*>(orlMalloc(size)));
  std::memset(buffer.get(), 0, size);
  while (::getcwd(buffer.get(), size) == nullptr) {
    size *= 2;
    if (size > kLimit) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FILE,
                "error: can't read current working directory in veskorGetWorkingDirectory()");
    }
    char* grown = static_cast<char*>(orlRealloc(buffer.get(), size));  // frees the old block
    (void)buffer.release();
    buffer.reset(grown);
    std::memset(buffer.get(), 0, size);
  }
  return buffer.release();
}

char* veskorGetAbsolutePath(const char* pRelativePath) {
  if (pRelativePath == nullptr) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
              "error: pRelativePath == NULL in veskorGetAbsolutePath()");
  }
  orl::OwnedText name(orlTrimmedCopy(pRelativePath));
  if (name.get()[0] == 0) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FILENAME, "error: file name empty in veskorGetAbsolutePath()");
  }
  orl::OwnedText prefix(name.get()[0] == '/' ? orlStrdup("") : veskorGetWorkingDirectory());
  std::size_t prefixLength = std::strlen(prefix.get());
  std::size_t nameLength = std::strlen(name.get());
  bool separator = prefixLength > 0 && prefix.get()[prefixLength - 1] != '/';
  char* path = static_cast<char*>(orlMalloc(prefixLength + (separator ? 1 : 0) + nameLength + 1));
  std::memcpy(path, prefix.get(), prefixLength);
  if (separator) path[prefixLength] = '/';
  std::memcpy(path + prefixLength + (separator ? 1 : 0), name.get(), nameLength + 1);
  return path;
}

// ---- Registries ------------------------------------------------------------------------------

void veskorCreateRegistries(veskorAPIState& state) {
  orl::ScopeGuard undo([&state] {
    try {
      veskorFreeRegistries(state);
    } catch (...) {
    }
  });
  state.kbManager = dataManager_create(nullptr, nullptr);
  state.waManager = dataManager_create(nullptr, nullptr);
  state.connectionManager = dataManager_create(&dataManager_compareInt32IDs, &dataManager_hashInt32ID);
  state.apiCallCounter = referenceCounter_create();
  undo.dismiss();
}

void veskorFreeRegistries(veskorAPIState& state) {
  dataManager_free(state.kbManager);
  state.kbManager = nullptr;
  dataManager_free(state.waManager);
  state.waManager = nullptr;
  dataManager_free(state.connectionManager);
  state.connectionManager = nullptr;
  referenceCounter_free(state.apiCallCounter);
  state.apiCallCounter = nullptr;
}

void veskorCloseAll(dataManager* manager, void (*closeData)(void*)) {
  if (manager == nullptr) return;
  // One object after the other, without a list of them: a list would need memory, and the
  // registry must be emptied even when there is none left.
  std::exception_ptr first;
  while (namedSyncedDataObject* object = dataManager_unlinkAnyDataObject(manager)) {
    try {
      closeData(namedSyncedDataObject_free(object));
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

// ---- The running call ------------------------------------------------------------------------

char* veskorCall_t::trimmedCopy(const char* text) { return atEnd<orlFree>(orlTrimmedCopy(text)); }

char* veskorCall_t::absolutePath(const char* fileName) {
  return atEnd<orlFree>(veskorGetAbsolutePath(fileName));
}

namedSyncedDataObject* veskorCall_t::lookUp(dataManager* manager, const void* id, const char* contextWord) {
  setContext(contextWord);
  return atEnd<namedSyncedDataObject_releaseReference>(dataManager_getDataObject(manager, id));
}

namedSyncedDataObject* veskorCall_t::lookUpKB(const char* name) {
  const char* trimmed = trimmedCopy(name);
  return lookUp(gState.kbManager, trimmed, kContextKB);
}

namedSyncedDataObject* veskorCall_t::lookUpWA(const char* name) {
  const char* trimmed = trimmedCopy(name);
  return lookUp(gState.waManager, trimmed, kContextWA);
}

// The access taken here is held until the call ends, when the cleanup stack gives it back.
void* veskorCall_t::access(namedSyncedDataObject* object, bool exclusive) ORL_NO_THREAD_SAFETY_ANALYSIS {
  for (int i = 0; i < numberHeld_; ++i) {
    if (held_[i].object != object) continue;
    if (exclusive && !held_[i].exclusive) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: exclusive access requested on an object held shared in the same call");
    }
    return object->dataObject;
  }
  if (numberHeld_ == kMaxHeld) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID, "error: too many objects accessed in one call");
  }
  void* data;
  if (exclusive) {
    data = namedSyncedDataObject_getExclusiveAccess(object);
    atEnd<namedSyncedDataObject_releaseExclusiveAccess>(object);
  } else {
    data = namedSyncedDataObject_getSharedAccess(object);
    atEnd<namedSyncedDataObject_releaseShared>(object);
  }
  held_[numberHeld_++] = Held{object, exclusive};
  return data;
}

std::pair<void*, void*> veskorCall_t::accessTwo(namedSyncedDataObject* first, namedSyncedDataObject* second,
                                                bool exclusive) {
  if (second == nullptr) return {access(first, exclusive), nullptr};
  if (std::less<namedSyncedDataObject*>()(second, first)) {
    void* secondData = access(second, exclusive);
    return {access(first, exclusive), secondData};
  }
  void* firstData = access(first, exclusive);
  return {firstData, access(second, exclusive)};
}

// ---- The frame -------------------------------------------------------------------------------

namespace veskor_detail {

int frameBegin() noexcept {
  int status = veskorEnterAPI();
  if (status != VESKOR_OK) return status;
  status = veskorInitThread();
  if (status != VESKOR_OK) veskorLeaveAPI();
  return status;
}

void frameLookUpConnection(veskorCall_t& call, int connectionID) {
  int32_t id = connectionID;
  call.lookUp(gState.connectionManager, &id, kContextConnection);
}

void frameSucceed(int32_t depth) { veskorPopCleanupStackTo(depth, 0); }

int frameFail(veskorCall_t& call, int32_t depth, const char* functionName, const char* file, int line) noexcept {
  int status;
  try {
    try {
      throw;
    } catch (const orl::Exception& e) {
      status = veskorMapException(e.group(), e.code(), call.context());
      status = veskorSetLatestError(status, e.message().c_str());
    } catch (const std::bad_alloc&) {
      orl::MessageBuffer message;
      message.append("error: out of memory in ").append(functionName).append("()").appendLocation(file, line);
      status = veskorSetLatestError(veskorMapException(orl::errorGroup::memory, 1, call.context()),
                                    message.c_str());
    } catch (const std::exception& e) {
      orl::MessageBuffer message;
      message.append("error: unexpected exception in ").append(functionName).append("(): ").append(e.what());
      message.appendLocation(file, line);
      status = veskorSetLatestError(VESKOR_ERROR_FATAL, message.c_str());
    } catch (...) {
      orl::MessageBuffer message;
      message.append("error: unexpected exception in ").append(functionName).append("()");
      message.appendLocation(file, line);
      status = veskorSetLatestError(VESKOR_ERROR_FATAL, message.c_str());
    }
  } catch (...) {
    status = VESKOR_ERROR_FATAL;
  }
  try {
    veskorPopCleanupStackTo(depth, 1);
  } catch (...) {
    // The first failure is the one reported.
  }
  return status;
}

void frameEnd() noexcept { veskorLeaveAPI(); }

}  // namespace veskor_detail
