// The engine as the Python package sees it: initialised on first use, one connection per thread
// (the engine keeps its latest error per thread), calls made without the GIL, statuses turned into
// the package's exceptions, and a clean state across fork and interpreter exit.
//
// Every engine call that can take time goes through withoutGil(): it drops the GIL, holds the fork
// gate in shared mode while the engine runs, and takes the GIL back only after leaving the gate. A
// fork takes the gate exclusively while holding the GIL, so it waits for the calls in flight and
// never copies an engine lock held by a thread that the child will not have.
#pragma once

#include <pybind11/pybind11.h>

#include <shared_mutex>
#include <string_view>
#include <type_traits>

namespace veskorpy {

// Shared by every engine call, exclusive around os.fork().
std::shared_mutex& forkGate();

// Runs work (engine calls only: no Python API, nothing that throws) without the GIL. The GIL is
// taken back in plain code rather than in a destructor: at interpreter exit a daemon thread ends
// inside PyEval_RestoreThread by unwinding, which a destructor would turn into std::terminate.
template <class Work>
auto withoutGil(Work&& work) {
  PyThreadState* state = PyEval_SaveThread();
  std::shared_lock<std::shared_mutex> gate(forkGate());
  if constexpr (std::is_void_v<decltype(work())>) {
    work();
    gate.unlock();
    PyEval_RestoreThread(state);
  } else {
    auto result = work();
    gate.unlock();
    PyEval_RestoreThread(state);
    return result;
  }
}

// The calling thread's connection (call with the GIL held). The engine is initialised and the
// connection opened on first use; the connection is closed when the thread ends. Raises
// veskor.Error once interpreter exit has shut the engine down.
int connection();

// Raises the package's exception for a failed engine call: the status and the calling thread's
// latest error, its message and the engine's location suffix kept apart.
[[noreturn]] void raiseEngineError(int connection, int status);
// The same for a status and latest-error message taken in another thread (the engine keeps the
// latest error per thread).
[[noreturn]] void raiseEngineMessage(int status, std::string_view message);
inline void check(int connection, int status) {
  if (status != 0) raiseEngineError(connection, status);
}
// Raises the package's exception for a failure the binding detects itself (a closed object, an
// argument the engine cannot be given), with the status the engine reports for the same fault.
[[noreturn]] void raiseError(int status, std::string_view message);
// Raises veskor.TextError: text (a str) holds a character outside Latin-1 at position.
[[noreturn]] void raiseTextError(const char* what, PyObject* text, Py_ssize_t position);

// Cleans the engine up if the package initialised it (after the open objects were closed, see
// objects.h); every later use raises. Returns the engine's status.
int shutdownEngine();
bool engineShutDown();

void beforeFork();
void afterForkInParent();
void afterForkInChild();

}  // namespace veskorpy
