// The spine of the exported API: process-wide state, per-thread state (latest error, cleanup
// stack), the exception-to-status mapping, path helpers and THE FRAME that every exported
// function runs.
//
// Writing an exported function
// ----------------------------
//   extern "C" VESKOR_EXPORT int veskorSaveKB(int connectionID, const char* pKBName) {
//     return veskorCall("veskorSaveKB", connectionID, [&](veskorCall_t& call) {
//       if (pKBName == nullptr) ORL_RAISE(kVeskorAPIGroup, 1, "error: pKBName == NULL in veskorSaveKB()");
//       namedSyncedDataObject* object = call.lookUpKB(pKBName);   // trims, context "kb", reference
//       auto* kb = call.exclusiveAccess<knowledgeBase>(object);   // released when the call ends
//       knowledgeBase_save(kb);
//     });
//   }
//
// veskorCall enters the library, makes sure the thread has its state, looks the connection up
// (context "co"; unknown ID gives 15) and runs the body. The body raises on failure (ORL_RAISE,
// or anything else: std::bad_alloc maps as out of memory, group 1 code 1; any other exception
// gives VESKOR_ERROR_FATAL); the frame maps the exception to a status with the context word,
// stores status and message as the thread's latest error and undoes the call's cleanup stack.
//
// The body's result type picks the function's result:
//   void        -> int status: 0 on success, the mapped status on failure;
//   int         -> the body's value on success, the mapped status on failure;
//   T* pointer  -> the body's pointer on success, null on failure.
//
// Resources taken inside the body are registered on the call at once:
//   call.atEnd<free>(p)       released when the call ends, success or failure (alwaysExecute 1);
//   call.onFailure<free>(p)   released only if the call fails, e.g. a result list being built or
//                             an object that a successful call hands over (alwaysExecute 0);
//   call.trimmedCopy(text), call.absolutePath(fileName)   temporary texts, freed at the end;
//   call.lookUpKB(name) / call.lookUpWA(name)   trimmed lookup with its reference released at end;
//   call.sharedAccess<T>(object) / call.exclusiveAccess<T>(object)   access released at the end.
// Releases run last taken first. Asking twice in one call for the same object returns the access
// already held (an exclusive access also serves a shared request; a shared one cannot be widened
// and raises code 1), so naming one knowledge base twice never waits on itself.
//
// Lock order: a call that works on two knowledge bases takes both accesses with
// call.accessPair(...), which takes them in one order shared by every call (the objects'
// addresses), whatever role each plays. Taken by role (application knowledge base first), two
// calls naming the same two knowledge bases in swapped roles could each hold one and wait for the
// other for ever. Word associators are taken after every knowledge base.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <type_traits>
#include <utility>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/threadAnnotations.h"
#include "orlBasics/vector.h"
#include "veskor/veskorAPI.h"
#include "veskorAPI/dataManager.h"
#include "veskorAPI/referenceCounter.h"

// Error group of the exported functions: the code is the status the function returns.
inline constexpr int32_t kVeskorAPIGroup = orl::errorGroup::api;

// Context words: which kind of named object the failing step concerned.
inline constexpr const char* kContextNone = "";
inline constexpr const char* kContextConnection = "co";
inline constexpr const char* kContextKB = "kb";
inline constexpr const char* kContextWA = "wa";

// Process-wide state of the API layer, created by veskorInit and taken down by veskorCleanup.
struct veskorAPIState {
  // Serialises veskorInit, veskorCleanup and the entry check of every call.
  std::mutex initMutex;
  bool isInitialized = false;
  // Thread states belong to one initialisation: a state made before the latest veskorInit is
  // stale and replaced on first use.
  std::atomic<uint64_t> threadStateGeneration{0};
  dataManager* kbManager = nullptr;
  dataManager* waManager = nullptr;
  dataManager* connectionManager = nullptr;
  referenceCounter* apiCallCounter = nullptr;
};

veskorAPIState& veskorGlobalState();

struct veskorLatestError {
  int32_t code;
  char* message;  // owned; null until the first failure
};

typedef void (*veskorCleanupFct)(void*);

struct veskorCleanupStackEntry {
  void* pArg;
  veskorCleanupFct pFct;
  uint8_t alwaysExecute;
};

struct veskorThreadState {
  veskorLatestError* latestError;
  vector* cleanupStack;  // of veskorCleanupStackEntry
};

// Frame helpers. Statuses are returned, not raised.
int veskorEnterAPI() noexcept;
int veskorLeaveAPI() noexcept;
int veskorInitThread() noexcept;
// The calling thread's state of the current initialisation, or null.
veskorThreadState* veskorGetThreadState() noexcept;
void veskorFreeThreadState(veskorThreadState* pState) noexcept;

// When the entry cannot be stored (out of memory), pFct(pArg) runs at once and the failure passes on.
void veskorPushToCleanupStack(veskorCleanupFct pFct, void* pArg, uint8_t alwaysExecute);
int32_t veskorCleanupStackDepth();
// Removes the entries above `depth`, last pushed first, running those marked alwaysExecute or all
// of them when `execute` is 1. An entry is removed before it runs; when one raises, the others
// still run and the first exception passes on at the end.
void veskorPopCleanupStackTo(int32_t depth, uint8_t execute);
void veskorPopEntireCleanupStack(uint8_t execute);

// Stores a copy of the message and the code as the thread's latest error; returns the code, or -1
// when the message is null or nothing could be stored.
int veskorSetLatestError(int code, const char* message) noexcept;
int veskorMapException(int32_t group, int32_t code, const char* context) noexcept;
// The status of the exception being handled (call only inside a catch block): mapped for the
// engine's exceptions and out of memory, VESKOR_ERROR_FATAL for anything else.
int veskorStatusOfCurrentException(const char* context) noexcept;
// Whether the exception being handled (call only inside a catch block) is out of memory:
// std::bad_alloc or the engine's group 1 code 1.
bool veskorHandlingOutOfMemory() noexcept;
// Takes the initialisation mutex; false when it cannot be had.
bool veskorLockInitMutex(std::unique_lock<std::mutex>& lock) noexcept;

// New texts (orlMalloc), owned by the caller.
char* veskorGetWorkingDirectory();
// A trimmed name starting with "/" is absolute; any other gets the working directory and one "/"
// in front. No other normalisation.
char* veskorGetAbsolutePath(const char* pRelativePath);

// The three registries and the call counter: created together by veskorInit (on failure nothing
// is left), freed by veskorCleanup once the registries are empty. Freeing accepts missing parts.
void veskorCreateRegistries(veskorAPIState& state);
void veskorFreeRegistries(veskorAPIState& state);

// Unlinks and frees every object of the manager (waiting for each one's other holders) and hands
// its data to closeData. Failures do not stop the others; the first passes on at the end.
void veskorCloseAll(dataManager* manager, void (*closeData)(void*));
// Used by veskorCleanup; each does nothing when its registry does not exist.
void veskorCloseAllKBs();
void veskorCloseAllWAs();
void veskorCloseAllConnections();
// Seeds the connection-ID generator (veskorInit).
void veskorSeedConnectionIDs(unsigned seed);

// The running call as its body sees it.
class veskorCall_t {
 public:
  const char* context() const { return context_; }
  void setContext(const char* word) { context_ = word; }

  template <auto FreeFct, class T>
  T* atEnd(T* resource) {
    veskorPushToCleanupStack(&trampoline<FreeFct, T>, const_cast<std::remove_const_t<T>*>(resource), 1);
    return resource;
  }
  template <auto FreeFct, class T>
  T* onFailure(T* resource) {
    veskorPushToCleanupStack(&trampoline<FreeFct, T>, const_cast<std::remove_const_t<T>*>(resource), 0);
    return resource;
  }

  char* trimmedCopy(const char* text);
  char* absolutePath(const char* fileName);

  // Looks up in the manager under the context word; the reference is released at the end.
  namedSyncedDataObject* lookUp(dataManager* manager, const void* id, const char* contextWord);
  namedSyncedDataObject* lookUpKB(const char* name);
  namedSyncedDataObject* lookUpWA(const char* name);

  template <class T>
  T* sharedAccess(namedSyncedDataObject* object) {
    return static_cast<T*>(access(object, false));
  }
  template <class T>
  T* exclusiveAccess(namedSyncedDataObject* object) {
    return static_cast<T*>(access(object, true));
  }

  // Accesses to two objects (the second may be null), taken in the process-wide order; the data
  // objects come back in the order asked for.
  template <class T>
  std::pair<T*, T*> accessPair(namedSyncedDataObject* first, namedSyncedDataObject* second, bool exclusive) {
    auto [a, b] = accessTwo(first, second, exclusive);
    return {static_cast<T*>(a), static_cast<T*>(b)};
  }

 private:
  // Releases run from the cleanup stack, out of sight of the thread-safety analysis: an access
  // taken in access() is given back here.
  template <auto FreeFct, class T>
  static void trampoline(void* p) ORL_NO_THREAD_SAFETY_ANALYSIS {
    FreeFct(static_cast<T*>(p));
  }
  void* access(namedSyncedDataObject* object, bool exclusive);
  std::pair<void*, void*> accessTwo(namedSyncedDataObject* first, namedSyncedDataObject* second, bool exclusive);

  struct Held {
    namedSyncedDataObject* object;
    bool exclusive;
  };
  static constexpr int kMaxHeld = 8;
  Held held_[kMaxHeld] = {};
  int numberHeld_ = 0;
  const char* context_ = kContextNone;
};

namespace veskor_detail {

// Steps 1 to 3 of the frame: enter and thread state. 0 or the status to return.
int frameBegin() noexcept;
void frameLookUpConnection(veskorCall_t& call, int connectionID);
void frameSucceed(int32_t depth);
// Maps the exception being handled, stores the latest error, undoes the cleanup stack down to
// depth; returns the status.
int frameFail(veskorCall_t& call, int32_t depth, const char* functionName, const char* file, int line) noexcept;
void frameEnd() noexcept;

template <class R>
using FrameResult = std::conditional_t<std::is_void_v<R>, int, R>;

template <class Result>
Result failureResult(int status) {
  if constexpr (std::is_pointer_v<Result>) {
    (void)status;
    return nullptr;
  } else {
    return status;
  }
}

template <class Body>
auto runFrame(const char* functionName, bool lookUpConnection, int connectionID, Body& body, const char* file,
              int line) noexcept {
  using R = decltype(body(std::declval<veskorCall_t&>()));
  using Result = FrameResult<R>;
  static_assert(std::is_same_v<Result, int> || std::is_pointer_v<Result>,
                "an exported function returns a status or a pointer");
  int status = frameBegin();
  if (status != 0) return failureResult<Result>(status);
  veskorCall_t call;
  int32_t depth = 0;
  Result result{};
  try {
    depth = veskorCleanupStackDepth();
    if (lookUpConnection) frameLookUpConnection(call, connectionID);
    if constexpr (std::is_void_v<R>) {
      body(call);
    } else {
      result = body(call);
    }
    frameSucceed(depth);
  } catch (...) {
    status = frameFail(call, depth, functionName, file, line);
    frameEnd();
    return failureResult<Result>(status);
  }
  frameEnd();
  return result;
}

}  // namespace veskor_detail

// The frame of an exported function that takes a connection (see the top of this file).
template <class Body>
auto veskorCall(const char* functionName, int connectionID, Body&& body, const char* file = __builtin_FILE(),
                int line = __builtin_LINE()) noexcept {
  return veskor_detail::runFrame(functionName, true, connectionID, body, file, line);
}

// The same frame without the connection lookup (opening and closing connections).
template <class Body>
auto veskorCallWithoutConnection(const char* functionName, Body&& body, const char* file = __builtin_FILE(),
                                 int line = __builtin_LINE()) noexcept {
  return veskor_detail::runFrame(functionName, false, 0, body, file, line);
}
