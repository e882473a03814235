// Growable vector of fixed-size elements, grown by a fixed step (group 4000).
#pragma once

#include <cstdint>

#include "orlBasics/orlMemory.h"

struct vector {
  int32_t elementSize;
  int32_t numberElements;
  int32_t bufferLength;
  int32_t bufferLengthStepSize;
  void* buffer;
};

vector* vector_create(int32_t pElementSize, int32_t pBufferLength, int32_t pBufferLengthStepSize);
void vector_free(vector* pThis) noexcept;
void vector_resize(vector* pThis, int32_t pNewNumberElements);
void vector_appendElement(vector* pThis, const void* pElement);
void* vector_getElement(const vector* pThis, int32_t pIndex);
int32_t vector_getNumberElements(const vector* pThis);

namespace orl {

using VectorPtr = Owned<vector, vector_free>;

// Typed access to element i (unchecked beyond what vector_getElement checks).
template <class T>
T& vectorAt(const vector* v, int32_t index) {
  return *static_cast<T*>(vector_getElement(v, index));
}

}  // namespace orl
