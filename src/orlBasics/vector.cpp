#include "orlBasics/vector.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::vector;

std::size_t bytesFor(const vector* v, int64_t elements) {
  return static_cast<std::size_t>(elements) * static_cast<std::size_t>(v->elementSize);
}

// A length that no longer fits the 32-bit fields is treated like a failed allocation.
int32_t checkedLength(int64_t length) {
  if (length > INT32_MAX) ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in orlRealloc");
  return static_cast<int32_t>(length);
}

void reallocate(vector* v, int64_t newBufferLength) {
  int32_t length = checkedLength(newBufferLength);
  v->buffer = orlRealloc(v->buffer, bytesFor(v, length));
  v->bufferLength = length;
}

char* slot(const vector* v, int32_t index) {
  return static_cast<char*>(v->buffer) + bytesFor(v, index);
}

}  // namespace

vector* vector_create(int32_t pElementSize, int32_t pBufferLength, int32_t pBufferLengthStepSize) {
  if (pElementSize <= 0 || pBufferLength < 0 || pBufferLengthStepSize <= 0) {
    ORL_RAISE(kGroup, 1, "pElementSize <= 0 || pBufferLength < 0 || pBufferLengthStepSize <= 0 || in vector_create");
  }
  orl::VectorPtr v(static_cast<vector*>(orlMalloc(sizeof(vector))));
  v->elementSize = pElementSize;
  v->numberElements = 0;
  v->bufferLength = 0;
  v->bufferLengthStepSize = pBufferLengthStepSize;
  v->buffer = nullptr;
  v->buffer = orlMalloc(bytesFor(v.get(), pBufferLength));
  v->bufferLength = pBufferLength;
  return v.release();
}

void vector_free(vector* pThis) noexcept {
  if (pThis == nullptr) return;
  orlFree(pThis->buffer);
  orlFree(pThis);
}

void vector_resize(vector* pThis, int32_t pNewNumberElements) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in vector_resize");
  if (pNewNumberElements < 0) ORL_RAISE(kGroup, 1, "pNewNumberElements < 0 in vector_resize");
  if (pNewNumberElements > pThis->bufferLength) {
    int32_t oldNumber = pThis->numberElements;
    reallocate(pThis, int64_t{pNewNumberElements} + pThis->bufferLengthStepSize);
    if (pNewNumberElements > oldNumber) {
      std::memset(slot(pThis, oldNumber), 0, bytesFor(pThis, pNewNumberElements - oldNumber));
    }
  }
  pThis->numberElements = pNewNumberElements;
}

void vector_appendElement(vector* pThis, const void* pElement) {
  if (pThis == nullptr || pElement == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pElement == NULL in vector_appendElement");
  }
  if (int64_t{pThis->numberElements} + 1 > pThis->bufferLength) {
    reallocate(pThis, int64_t{pThis->bufferLength} + pThis->bufferLengthStepSize);
  }
  std::memcpy(slot(pThis, pThis->numberElements), pElement, static_cast<std::size_t>(pThis->elementSize));
  ++pThis->numberElements;
}

void* vector_getElement(const vector* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL vector_getElement");
  if (pIndex < 0 || pIndex >= pThis->numberElements) ORL_RAISE(kGroup, 2, "pIndex ung\xFCltig in vector_getElement");
  return slot(pThis, pIndex);
}

int32_t vector_getNumberElements(const vector* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL vector_getNumberElements");
  return pThis->numberElements;
}

