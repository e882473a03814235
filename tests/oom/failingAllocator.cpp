#include "oom/failingAllocator.h"

#include <cerrno>
#include <cstddef>
#include <new>

// The allocator underneath: AddressSanitizer's entry points in its build (the build defines
// VESKOR_OOM_ASAN; it exports them beside its own malloc, which ours replaces), otherwise glibc's.
extern "C" {
#ifdef VESKOR_OOM_ASAN
void* __interceptor_malloc(std::size_t);
void* __interceptor_calloc(std::size_t, std::size_t);
void* __interceptor_realloc(void*, std::size_t);
void __interceptor_free(void*);
void* __interceptor_memalign(std::size_t, std::size_t);
void* __interceptor_valloc(std::size_t);
void* __interceptor_pvalloc(std::size_t);
#define REAL(name) __interceptor_##name
#else
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
void* __libc_memalign(std::size_t, std::size_t);
void* __libc_valloc(std::size_t);
void* __libc_pvalloc(std::size_t);
#define REAL(name) __libc_##name
#endif
}

namespace {

// Trivially destructible on purpose: a thread_local with a destructor would itself allocate when
// first touched.
struct Armed {
  bool on;
  bool failed;
  int64_t count;
  int64_t failAt;
};
thread_local Armed tArmed{false, false, 0, 0};

// True when this allocation is the one to fail.
bool failNow() {
  Armed& a = tArmed;
  if (!a.on) return false;
  if (++a.count != a.failAt) return false;
  a.failed = true;
  return true;
}

void* refuse() {
  errno = ENOMEM;
  return nullptr;
}

bool isPowerOfTwo(std::size_t n) {
  return n != 0 && (n & (n - 1)) == 0;
}

void* alignedOrNull(std::size_t alignment, std::size_t size) {
  if (failNow()) return refuse();
  return REAL(memalign)(alignment, size);
}

void* newOrThrow(std::size_t size) {
  if (failNow()) throw std::bad_alloc();
  void* p = REAL(malloc)(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* alignedNewOrThrow(std::size_t size, std::align_val_t alignment) {
  if (failNow()) throw std::bad_alloc();
  void* p = REAL(memalign)(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

namespace veskortest::oom {

void arm(int64_t failAt) {
  tArmed = Armed{true, false, 0, failAt};
}

Count disarm() {
  Count result{tArmed.count, tArmed.failed};
  tArmed = Armed{false, false, 0, 0};
  return result;
}

}  // namespace veskortest::oom

extern "C" {

void* malloc(std::size_t size) {
  if (failNow()) return refuse();
  return REAL(malloc)(size);
}

void* calloc(std::size_t count, std::size_t size) {
  if (failNow()) return refuse();
  return REAL(calloc)(count, size);
}

void* realloc(void* pointer, std::size_t size) {
  if (failNow()) return refuse();
  return REAL(realloc)(pointer, size);
}

void free(void* pointer) {
  REAL(free)(pointer);
}

void* memalign(std::size_t alignment, std::size_t size) {
  return alignedOrNull(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return alignedOrNull(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  if (!isPowerOfTwo(alignment) || alignment % sizeof(void*) != 0) return EINVAL;
  void* p = alignedOrNull(alignment, size);
  if (p == nullptr) return ENOMEM;
  *result = p;
  return 0;
}

void* valloc(std::size_t size) {
  if (failNow()) return refuse();
  return REAL(valloc)(size);
}

void* pvalloc(std::size_t size) {
  if (failNow()) return refuse();
  return REAL(pvalloc)(size);
}

}  // extern "C"

// Every form of operator new and delete, so that none reaches a replacement elsewhere that would
// not count, or that would free our blocks with another allocator.
void* operator new(std::size_t size) {
  return newOrThrow(size);
}
void* operator new[](std::size_t size) {
  return newOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return newOrThrow(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return alignedNewOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return alignedNewOrThrow(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return alignedNewOrThrow(size, alignment);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t& tag) noexcept {
  return operator new(size, alignment, tag);
}

void operator delete(void* p) noexcept {
  REAL(free)(p);
}
void operator delete[](void* p) noexcept {
  REAL(free)(p);
}
void operator delete(void* p, std::size_t) noexcept {
  REAL(free)(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  REAL(free)(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  REAL(free)(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  REAL(free)(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  REAL(free)(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  REAL(free)(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  REAL(free)(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  REAL(free)(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  REAL(free)(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  REAL(free)(p);
}
