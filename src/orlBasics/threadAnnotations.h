// Clang's thread-safety annotations: which lock guards a field, which lock a function takes,
// releases or needs. `make check-threads` has Clang check them; other compilers see nothing.
#pragma once

#include <mutex>
#include <system_error>

#if defined(__clang__)
#define ORL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ORL_THREAD_ANNOTATION(x)
#endif

#define ORL_CAPABILITY(name) ORL_THREAD_ANNOTATION(capability(name))
#define ORL_SCOPED_CAPABILITY ORL_THREAD_ANNOTATION(scoped_lockable)
#define ORL_GUARDED_BY(lock) ORL_THREAD_ANNOTATION(guarded_by(lock))
#define ORL_PT_GUARDED_BY(lock) ORL_THREAD_ANNOTATION(pt_guarded_by(lock))
#define ORL_REQUIRES(...) ORL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ORL_ACQUIRE(...) ORL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ORL_ACQUIRE_SHARED(...) ORL_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define ORL_RELEASE(...) ORL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ORL_RELEASE_SHARED(...) ORL_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define ORL_EXCLUDES(...) ORL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// For the few functions the analysis cannot follow; each use says why.
#define ORL_NO_THREAD_SAFETY_ANALYSIS ORL_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace orl {

// A std::mutex the analysis knows as a lock.
class ORL_CAPABILITY("mutex") Mutex {
 public:
  void lock() ORL_ACQUIRE() { mutex_.lock(); }
  void unlock() ORL_RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope. Where locking fails (std::system_error), onFailure is called
// instead; it is meant to raise the caller's own error.
class ORL_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ORL_ACQUIRE(mutex) : mutex_(mutex) { mutex.lock(); }
  template <class OnFailure>
  MutexLock(Mutex& mutex, OnFailure onFailure) ORL_ACQUIRE(mutex) : mutex_(mutex) {
    try {
      mutex.lock();
    } catch (const std::system_error&) {
      onFailure();
      throw;
    }
  }
  ~MutexLock() ORL_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace orl
