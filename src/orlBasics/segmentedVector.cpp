#include "orlBasics/segmentedVector.h"

#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/scopeGuard.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::segmentedVector;
constexpr int32_t kSegmentBytes = 1048576;

std::size_t bytesFor(const segmentedVector* owner, int64_t elements) {
  return static_cast<std::size_t>(elements) * static_cast<std::size_t>(owner->elementSize);
}

int32_t capacityOf(const segmentedVector* v) {
  if (v->numberSegments == 0) return 0;
  return v->segments[v->numberSegments - 1].bufferLength + (v->numberSegments - 1) * v->segmentLength;
}

void releaseSegments(segmentedVector* v) noexcept {
  for (int32_t i = 0; i < v->numberSegments; ++i) orlFree(v->segments[i].buffer);
  orlFree(v->segments);
  v->segments = nullptr;
  v->numberSegments = 0;
}

}  // namespace

segmentedVector* segmentedVector_create(int32_t pElementSize, int32_t pBufferLength,
                                        int32_t pBufferLengthStepSize) {
  if (pElementSize <= 0 || pBufferLength < 0 || pBufferLengthStepSize <= 0) {
    ORL_RAISE(kGroup, 1,
              "pElementSize <= 0 || pBufferLength < 0 || pBufferLengthStepSize <= 0 || in segmentedVector_create()");
  }
  orl::SegmentedVectorPtr v(static_cast<segmentedVector*>(orlMalloc(sizeof(segmentedVector))));
  v->elementSize = pElementSize;
  v->bufferLengthStepSize = pBufferLengthStepSize;
  v->segmentLength = kSegmentBytes / pElementSize;
  if (v->segmentLength == 0) v->segmentLength = 1;
  v->numberSegments = 0;
  v->currentSegment = 0;
  v->segments = nullptr;
  segmentedVector_resizeBuffer(v.get(), pBufferLength);
  return v.release();
}

void segmentedVector_free(segmentedVector* pThis) noexcept {
  if (pThis == nullptr) return;
  releaseSegments(pThis);
  orlFree(pThis);
}

int32_t segmentedVector_appendElement(segmentedVector* pThis, const void* pElement) {
  if (pThis == nullptr || pElement == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pElement == NULL in segmentedVector_appendElement()");
  }
  int32_t count = segmentedVector_getNumberElements(pThis);
  if (int64_t{count} + 1 > capacityOf(pThis)) {
    int64_t wanted = int64_t{count} + pThis->bufferLengthStepSize;
    if (wanted > INT32_MAX) ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in orlRealloc");
    segmentedVector_resizeBuffer(pThis, static_cast<int32_t>(wanted));
  }
  if (pThis->segments[pThis->currentSegment].numberElements == pThis->segmentLength) ++pThis->currentSegment;
  vectorBufferSegment& segment = pThis->segments[pThis->currentSegment];
  std::memcpy(static_cast<char*>(segment.buffer) + bytesFor(pThis, segment.numberElements), pElement,
              static_cast<std::size_t>(pThis->elementSize));
  ++segment.numberElements;
  return count;
}

void* segmentedVector_getElement(const segmentedVector* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in segmentedVector_getElement()");
  if (pIndex < 0 || pIndex >= segmentedVector_getNumberElements(pThis)) {
    ORL_RAISE(kGroup, 2, "pIndex ung\xFCltig in segmentedVector_getElement()");
  }
  const vectorBufferSegment& segment = pThis->segments[pIndex / pThis->segmentLength];
  return static_cast<char*>(segment.buffer) + bytesFor(pThis, pIndex % pThis->segmentLength);
}

int32_t segmentedVector_getNumberElements(const segmentedVector* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in segmentedVector_getNumberElements()");
  if (pThis->numberSegments == 0) return 0;
  return pThis->segments[pThis->currentSegment].numberElements + pThis->currentSegment * pThis->segmentLength;
}

void segmentedVector_resizeBuffer(segmentedVector* pThis, int32_t pNewBufferLength) {
  if (pThis == nullptr || pNewBufferLength < 0) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pNewBufferLength < 0 in segmentedVector_resizeBuffer");
  }
  int32_t segments = static_cast<int32_t>((int64_t{pNewBufferLength} + pThis->segmentLength - 1) / pThis->segmentLength);
  segmentedVector_reallocBufferSegments(pThis, segments, pNewBufferLength);
}

void segmentedVector_reallocBufferSegments(segmentedVector* pThis, int32_t pNewNumberSegments,
                                           int32_t pNewBufferLength) {
  if (pThis == nullptr || pNewNumberSegments < 0 || pNewBufferLength < 0) {
    ORL_RAISE(kGroup, 1,
              "pThis == NULL || pNewNumberSegments < 0 || pNewBufferLength < 0 in "
              "segmentedVector_reallocBufferSegments()");
  }
  const int32_t oldSegments = pThis->numberSegments;
  const int32_t newSegments = pNewNumberSegments;
  for (int32_t i = newSegments; i < oldSegments; ++i) vectorBufferSegment_cleanup(&pThis->segments[i]);
  if (newSegments < oldSegments) {
    pThis->numberSegments = newSegments;
    if (pThis->currentSegment >= newSegments) pThis->currentSegment = newSegments > 0 ? newSegments - 1 : 0;
  }
  const int32_t keptSegments = pThis->numberSegments;
  pThis->segments = static_cast<vectorBufferSegment*>(
      orlRealloc(pThis->segments, sizeof(vectorBufferSegment) * static_cast<std::size_t>(newSegments)));
  for (int32_t i = keptSegments; i < newSegments; ++i) pThis->segments[i] = vectorBufferSegment{0, 0, nullptr};

  orl::ScopeGuard undo([&] {
    for (int32_t i = keptSegments; i < newSegments; ++i) vectorBufferSegment_cleanup(&pThis->segments[i]);
  });
  for (int32_t i = keptSegments; i < newSegments; ++i) {
    vectorBufferSegment_init(&pThis->segments[i], pThis, pThis->segmentLength);
  }
  if (newSegments > keptSegments && keptSegments > 0) {
    vectorBufferSegment_resizeBuffer(&pThis->segments[keptSegments - 1], pThis, pThis->segmentLength);
  }
  if (newSegments > 0) {
    int32_t last = pNewBufferLength - (newSegments - 1) * pThis->segmentLength;
    vectorBufferSegment_resizeBuffer(&pThis->segments[newSegments - 1], pThis, last);
  }
  undo.dismiss();
  pThis->numberSegments = newSegments;
}

void vectorBufferSegment_init(vectorBufferSegment* pThis, const segmentedVector* pOwner, int32_t pBufferLength) {
  if (pThis == nullptr || pOwner == nullptr || pBufferLength < 0) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pOwner == NULL || pBufferLength < 0 in vectorBufferSegment_init()");
  }
  pThis->numberElements = 0;
  pThis->buffer = orlMalloc(bytesFor(pOwner, pBufferLength));
  pThis->bufferLength = pBufferLength;
}

void vectorBufferSegment_cleanup(vectorBufferSegment* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in vectorBufferSegment_cleanup()");
  orlFree(pThis->buffer);
  *pThis = vectorBufferSegment{0, 0, nullptr};
}

void vectorBufferSegment_resizeBuffer(vectorBufferSegment* pThis, const segmentedVector* pOwner,
                                      int32_t pNewBufferLength) {
  if (pThis == nullptr || pOwner == nullptr || pNewBufferLength < 0) {
    ORL_RAISE(kGroup, 1,
              "pThis == NULL || pOwner == NULL || pNewBufferLength < 0 || in vectorBufferSegment_resizeBuffer()");
  }
  if (pNewBufferLength == pThis->bufferLength && pThis->buffer != nullptr) return;
  pThis->buffer = orlRealloc(pThis->buffer, bytesFor(pOwner, pNewBufferLength));
  pThis->bufferLength = pNewBufferLength;
  if (pThis->numberElements > pNewBufferLength) pThis->numberElements = pNewBufferLength;
}
