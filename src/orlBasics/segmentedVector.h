// Vector for very long sequences: elements live in segments of about 1 MiB, so growth never copies
// a full segment (only the partly reserved last one is resized). Group 6000.
#pragma once

#include <cstdint>

#include "orlBasics/orlMemory.h"

struct vectorBufferSegment {
  int32_t numberElements;
  int32_t bufferLength;
  void* buffer;
};

struct segmentedVector {
  int32_t elementSize;
  int32_t bufferLengthStepSize;
  int32_t segmentLength;
  int32_t numberSegments;
  int32_t currentSegment;
  vectorBufferSegment* segments;
};

segmentedVector* segmentedVector_create(int32_t pElementSize, int32_t pBufferLength,
                                        int32_t pBufferLengthStepSize);
void segmentedVector_free(segmentedVector* pThis) noexcept;
int32_t segmentedVector_appendElement(segmentedVector* pThis, const void* pElement);
void* segmentedVector_getElement(const segmentedVector* pThis, int32_t pIndex);
int32_t segmentedVector_getNumberElements(const segmentedVector* pThis);
void segmentedVector_resizeBuffer(segmentedVector* pThis, int32_t pNewBufferLength);
void segmentedVector_reallocBufferSegments(segmentedVector* pThis, int32_t pNewNumberSegments,
                                           int32_t pNewBufferLength);
void vectorBufferSegment_init(vectorBufferSegment* pThis, const segmentedVector* pOwner, int32_t pBufferLength);
void vectorBufferSegment_cleanup(vectorBufferSegment* pThis);
void vectorBufferSegment_resizeBuffer(vectorBufferSegment* pThis, const segmentedVector* pOwner,
                                      int32_t pNewBufferLength);

namespace orl {
using SegmentedVectorPtr = Owned<segmentedVector, segmentedVector_free>;
}
