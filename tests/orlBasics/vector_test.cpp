#include "orlBasics/vector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "orlBasics/orlException.h"
#include "support/raises.h"
#include "orlBasics/segmentedVector.h"

namespace {

using veskortest::messageHead;
using veskortest::raisedBy;
using veskortest::startsWith;

int32_t at(const vector* v, int32_t i) { return orl::vectorAt<int32_t>(v, i); }

TEST(Vector, GrowsByItsFixedStep) {
  orl::VectorPtr v(vector_create(4, 0, 1));
  EXPECT_EQ(v->numberElements, 0);
  EXPECT_EQ(v->bufferLength, 0);
  int32_t value = 7;
  vector_appendElement(v.get(), &value);
  EXPECT_EQ(v->bufferLength, 1);
  vector_appendElement(v.get(), &value);
  EXPECT_EQ(v->bufferLength, 2);
  EXPECT_EQ(vector_getNumberElements(v.get()), 2);

  orl::VectorPtr stepped(vector_create(4, 10, 50));
  for (int32_t i = 0; i < 11; ++i) vector_appendElement(stepped.get(), &i);
  EXPECT_EQ(stepped->bufferLength, 60);
  EXPECT_EQ(at(stepped.get(), 10), 10);
}

TEST(Vector, ResizeKeepsOldBytesAndZeroFillsNewCapacity) {
  orl::VectorPtr v(vector_create(4, 4, 2));
  for (int32_t i = 1; i <= 4; ++i) vector_appendElement(v.get(), &i);
  vector_resize(v.get(), 1);
  vector_resize(v.get(), 4);
  EXPECT_EQ(at(v.get(), 3), 4);  // uncovered again, old bytes kept
  vector_resize(v.get(), 6);
  EXPECT_EQ(v->bufferLength, 8);
  EXPECT_EQ(at(v.get(), 4), 0);
  EXPECT_EQ(at(v.get(), 5), 0);
  EXPECT_EQ(raisedBy([&] { vector_resize(v.get(), -1); }).code(), 1);
}

TEST(Vector, Errors) {
  orl::VectorPtr v(vector_create(4, 2, 2));
  for (int32_t i : {1, 2, 3}) vector_appendElement(v.get(), &i);

  orl::Exception e = raisedBy([&] { vector_getElement(v.get(), 3); });
  EXPECT_EQ(e.group(), 4000);
  EXPECT_EQ(e.code(), 2);
  EXPECT_TRUE(startsWith(e.message(), "pIndex ung\xFCltig in vector_getElement\nin file \"orlBasics/vector.cpp\""));
  e = raisedBy([] { vector_create(4, -1, 1); });
  EXPECT_EQ(e.code(), 1);
  EXPECT_TRUE(startsWith(e.message(),
                         "pElementSize <= 0 || pBufferLength < 0 || pBufferLengthStepSize <= 0 || in vector_create"));
  EXPECT_TRUE(startsWith(raisedBy([] { vector_getNumberElements(nullptr); }).message(),
                         "pThis == NULL vector_getNumberElements"));
  vector_free(nullptr);
}

TEST(SegmentedVector, SegmentsOfAboutOneMebibyteAndStableElements) {
  orl::SegmentedVectorPtr v(segmentedVector_create(8, 0, 100000));
  EXPECT_EQ(v->segmentLength, 131072);
  EXPECT_EQ(segmentedVector_getNumberElements(v.get()), 0);
  int64_t first = 42;
  ASSERT_EQ(segmentedVector_appendElement(v.get(), &first), 0);
  for (int64_t i = 1; i < 131072; ++i) ASSERT_EQ(segmentedVector_appendElement(v.get(), &i), i);
  // Full segments never move again; only the partly reserved last one is resized.
  int64_t* firstSlot = static_cast<int64_t*>(segmentedVector_getElement(v.get(), 0));
  int64_t last = 131072;
  ASSERT_EQ(segmentedVector_appendElement(v.get(), &last), 131072);
  EXPECT_EQ(firstSlot, segmentedVector_getElement(v.get(), 0));
  EXPECT_EQ(*firstSlot, 42);
  EXPECT_EQ(v->currentSegment, 1);
  EXPECT_EQ(v->segments[1].numberElements, 1);
  EXPECT_EQ(*static_cast<int64_t*>(segmentedVector_getElement(v.get(), 131072)), 131072);
  EXPECT_EQ(segmentedVector_getNumberElements(v.get()), 131073);

  orl::Exception e = raisedBy([&] { segmentedVector_getElement(v.get(), 131073); });
  EXPECT_EQ(e.group(), 6000);
  EXPECT_EQ(e.code(), 2);
  EXPECT_TRUE(startsWith(e.message(), "pIndex ung\xFCltig in segmentedVector_getElement()"));
}

TEST(SegmentedVector, HugeElementsGetOneElementSegments) {
  orl::SegmentedVectorPtr v(segmentedVector_create(2 * 1048576, 0, 1));
  EXPECT_EQ(v->segmentLength, 1);
  EXPECT_EQ(raisedBy([] { segmentedVector_create(0, 1, 1); }).code(), 1);
  EXPECT_EQ(raisedBy([&] { segmentedVector_resizeBuffer(v.get(), -1); }).code(), 1);
}

TEST(SegmentedVector, CreateReservesTheRequestedLength) {
  orl::SegmentedVectorPtr v(segmentedVector_create(4, 300000, 43690));
  EXPECT_EQ(v->segmentLength, 262144);
  EXPECT_EQ(v->numberSegments, 2);
  EXPECT_EQ(v->segments[0].bufferLength, 262144);
  EXPECT_EQ(v->segments[1].bufferLength, 300000 - 262144);
}

}  // namespace
