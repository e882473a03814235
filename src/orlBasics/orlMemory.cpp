#include "orlBasics/orlMemory.h"

#include <cstdlib>
#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"

void* orlMalloc(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in orlMalloc");
  return block;
}

void* orlRealloc(void* pointer, std::size_t newSize) {
  void* block = std::realloc(pointer, newSize != 0 ? newSize : 1);
  if (block == nullptr) ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in orlRealloc");
  return block;
}

void orlFree(void* pointer) noexcept { std::free(pointer); }

void* orlMemdup(const void* pointer, std::size_t size) {
  if (pointer == nullptr || size == 0) return nullptr;
  void* copy = orlMalloc(size);
  std::memcpy(copy, pointer, size);
  return copy;
}

char* orlStrdup(const char* text) {
  if (text == nullptr) return nullptr;
  return static_cast<char*>(orlMemdup(text, std::strlen(text) + 1));
}
