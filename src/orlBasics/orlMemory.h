// Checked memory: allocation failures raise group 1, code 1. Blocks come from malloc, so memory
// handed to callers of the C API can be released with free().
#pragma once

#include <cstddef>
#include <memory>

void* orlMalloc(std::size_t size);
// Resizes a block (null behaves like orlMalloc); the old block is untouched when it fails.
void* orlRealloc(void* pointer, std::size_t newSize);
void orlFree(void* pointer) noexcept;
// Null pointer or size 0 gives null.
void* orlMemdup(const void* pointer, std::size_t size);
// Null gives null.
char* orlStrdup(const char* text);

namespace orl {

// Deleter that calls a module's free function: std::unique_ptr<vector, FreeWith<vector_free>>.
template <auto FreeFunction>
struct FreeWith {
  template <class T>
  void operator()(T* pointer) const noexcept {
    FreeFunction(pointer);
  }
};

template <class T, auto FreeFunction>
using Owned = std::unique_ptr<T, FreeWith<FreeFunction>>;

// A text allocated with the orl memory functions.
using OwnedText = std::unique_ptr<char, FreeWith<orlFree>>;

}  // namespace orl
