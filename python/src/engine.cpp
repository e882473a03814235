#include "engine.h"

#include <veskor/veskorAPI.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace py = pybind11;

namespace veskorpy {
namespace {

// Engine state, changed only with the GIL held.
enum class EngineState { unopened, running, shutDown };
EngineState gState = EngineState::unopened;
// Whether this package's veskorInit did it (another user of the engine in the process may have).
bool gOwnsEngine = false;
// Read without the GIL by ending threads.
std::atomic<bool> gShutDown{false};

// Trivially destructible, so it stays readable while the thread's destructors run.
thread_local int tConnection = -1;

// The thread-end hook. Threads end without the GIL; the gate keeps a fork from copying the close.
struct ConnectionCloser {
  ~ConnectionCloser() {
    if (tConnection < 0 || gShutDown.load()) return;
    std::shared_lock<std::shared_mutex> gate(forkGate());
    veskorCloseConnection(tConnection);
    tConnection = -1;
  }
};

// Made right after the thread's connection was opened. Thread-local destructors run before the
// thread-exit hook through which the engine releases its own per-thread state, so the closer runs
// while the engine can still serve the call.
void closeConnectionAtThreadEnd() { thread_local ConnectionCloser closer; }

// Calls the Python function name of veskor._errors and raises the exception it returns.
template <class... Args>
[[noreturn]] void raiseFromFactory(const char* name, Args&&... args) {
  py::object factory = py::module_::import("veskor._errors").attr(name);
  py::object error = factory(std::forward<Args>(args)...);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

void openEngine() {
  if (gState == EngineState::shutDown) {
    raiseError(VESKOR_ERROR_NOT_INITIALIZED, "the engine was shut down at interpreter exit");
  }
  // Quick and never waiting for a thread that needs the GIL, so it runs with the GIL held: the GIL
  // serialises the first uses, and no fork can happen meanwhile.
  int status = veskorInit();
  if (status != VESKOR_OK && status != VESKOR_ERROR_ALREADY_INITIALIZED) {
    raiseError(status, "the engine could not be initialised (status " + std::to_string(status) + ")");
  }
  gOwnsEngine = status == VESKOR_OK;
  gState = EngineState::running;
}

// A Latin-1 text as a Python str; engine messages carry German letters.
py::str latin1(std::string_view text) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeLatin1(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
}

}  // namespace

namespace {
// Never destroyed: ending threads may still pass it while the process exits.
std::shared_mutex* gForkGate = new std::shared_mutex;
}  // namespace

std::shared_mutex& forkGate() { return *gForkGate; }

int connection() {
  if (tConnection >= 0 && gState == EngineState::running) return tConnection;
  if (gState != EngineState::running) openEngine();
  int id = -1;
  int status = veskorOpenConnection(&id);
  if (status != VESKOR_OK) {
    raiseError(status, "no connection to the engine could be opened (status " + std::to_string(status) + ")");
  }
  tConnection = id;
  closeConnectionAtThreadEnd();
  return id;
}

void raiseEngineError(int connection, int status) {
  char* raw = withoutGil([connection] { return veskorGetLatestErrorMessage(connection); });
  std::unique_ptr<char, decltype(&std::free)> owned(raw, &std::free);
  raiseEngineMessage(status, raw != nullptr ? std::string_view(raw) : std::string_view());
}

void raiseEngineMessage(int status, std::string_view text) {
  // The engine appends where it raised: "\nin file \"<path>\" line <n>".
  std::string_view message = text, location;
  if (std::size_t at = text.find("\nin file \""); at != std::string_view::npos) {
    message = text.substr(0, at);
    location = text.substr(at + 1);
  }
  const std::string fallback = "engine status " + std::to_string(status);
  if (message.empty()) message = fallback;
  py::object where = location.empty() ? py::object(py::none()) : py::object(latin1(location));
  raiseFromFactory("_engine_error", status, latin1(message), where);
}

void raiseError(int status, std::string_view message) {
  raiseFromFactory("_engine_error", status, latin1(message), py::none());
}

void raiseTextError(const char* what, PyObject* text, Py_ssize_t position) {
  raiseFromFactory("_text_error", what, py::reinterpret_borrow<py::object>(text), position);
}

int shutdownEngine() {
  if (gState == EngineState::shutDown) return VESKOR_OK;
  const bool owns = gState == EngineState::running && gOwnsEngine;
  gState = EngineState::shutDown;
  gShutDown.store(true);
  // Waits for calls still running in other threads; they do not need the GIL to finish.
  return owns ? withoutGil([] { return veskorCleanup(); }) : VESKOR_OK;
}

bool engineShutDown() { return gState == EngineState::shutDown; }

void beforeFork() {
  // Called with the GIL held; calls in flight finish without it.
  forkGate().lock();
}

void afterForkInParent() { forkGate().unlock(); }

void afterForkInChild() {
  // The child's only thread is the one that forked, and its connection stays valid. The gate is
  // made anew rather than unlocked: threads of the parent that were waiting for it are counted in
  // its state, and the child does not have them. The old one is left as it is.
  gForkGate = new std::shared_mutex;
}

}  // namespace veskorpy
