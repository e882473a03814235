#include "orlBasics/orlThreadLocal.h"

#include <pthread.h>

#include "orlBasics/orlException.h"

namespace {

// Called by the thread library with the thread's list when the thread ends. A hook may register
// others; the library then calls again.
void runHooks(void* head) {
  auto* hook = static_cast<orlThreadExitHook*>(head);
  while (hook != nullptr) {
    orlThreadExitHook* next = hook->next;
    hook->registered = false;
    hook->next = nullptr;
    hook->run();
    hook = next;
  }
}

struct ExitKey {
  pthread_key_t key;
  int status;
  ExitKey() : key(), status(pthread_key_create(&key, &runHooks)) {}
};

}  // namespace

void orlRegisterThreadExitHook(orlThreadExitHook* hook) {
  if (hook == nullptr) ORL_RAISE(1, 1, "pHook == NULL in orlRegisterThreadExitHook");
  if (hook->registered) return;
  // Made once and never deleted: any thread may still end with hooks registered. (The engine is
  // linked not to be unloaded, so the key's destructor stays mapped.)
  static const ExitKey exitKey;
  if (exitKey.status != 0) ORL_RAISE(1, 1, "error: out of memory in orlRegisterThreadExitHook");
  hook->next = static_cast<orlThreadExitHook*>(pthread_getspecific(exitKey.key));
  if (pthread_setspecific(exitKey.key, hook) != 0) {
    hook->next = nullptr;
    ORL_RAISE(1, 1, "error: out of memory in orlRegisterThreadExitHook");
  }
  hook->registered = true;
}
