// An allocator for the allocation-failure suite: this program's own malloc family and operator
// new, so that every allocation of the process (the engine's, the C++ runtime's, glibc's own)
// passes through it. On a thread that armed it, the k-th allocation fails once: malloc and its
// relatives return null with ENOMEM, operator new throws std::bad_alloc. Everything else is passed
// to the underlying allocator (AddressSanitizer's when the program is built with it, so that leaks
// are still found).
#pragma once

#include <cstdint>

namespace veskortest::oom {

// From now on, on the calling thread, allocation number `failAt` (1 for the next) fails.
void arm(int64_t failAt);

struct Count {
  int64_t allocations;  // made on this thread since arm(), the failed one included
  bool failed;          // the armed allocation was reached
};

// Stops counting on the calling thread and tells what happened since arm().
Count disarm();

}  // namespace veskortest::oom
