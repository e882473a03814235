// Objects a thread makes on first use and releases when it ends.
//
// A thread_local object with a destructor has no place on a path that must report running out of
// memory: touching it the first time registers its destructor with the C library, and glibc ends
// the process when that registration finds no memory. Here the thread-local storage is trivially
// destructible (nothing is registered behind our back), the object is made with new (a failure
// is std::bad_alloc, like any other allocation), and the release is registered through one
// process-wide pthread key, whose failure is reported as out of memory too.
#pragma once

#include <memory>

// A release to run when the calling thread ends. It lives in thread-local storage of its own
// (constant-initialised), so registering allocates nothing beyond the thread's key slot.
struct orlThreadExitHook {
  void (*run)() noexcept;
  orlThreadExitHook* next;
  bool registered;
};

// Registers the hook once per thread (again after it has run); raises group 1, code 1 when the
// thread's slot cannot be set. Hooks run last registered first.
void orlRegisterThreadExitHook(orlThreadExitHook* hook);

namespace orl {

template <class T>
struct ThreadLocalSlot {
  static thread_local T* object;
  static thread_local orlThreadExitHook hook;
  static void release() noexcept {
    delete object;
    object = nullptr;
  }
};
template <class T>
constinit thread_local T* ThreadLocalSlot<T>::object = nullptr;
template <class T>
constinit thread_local orlThreadExitHook ThreadLocalSlot<T>::hook{&ThreadLocalSlot<T>::release, nullptr,
                                                                  false};

// The calling thread's T (value-initialised on first use), deleted when the thread ends. Each
// use site names a type of its own, so two sites never share scratch memory.
template <class T>
T& threadLocal() {
  using Slot = ThreadLocalSlot<T>;
  if (Slot::object == nullptr) {
    std::unique_ptr<T> made(new T());
    orlRegisterThreadExitHook(&Slot::hook);
    Slot::object = made.release();
  }
  return *Slot::object;
}

}  // namespace orl
