#include "veskorKernel/entrySet.h"

#include <gtest/gtest.h>

#include "kernelTestUtil.h"
#include "support/tempDir.h"

namespace {

std::vector<int32_t> members(const entrySet& set) {
  return std::vector<int32_t>(set.indices, set.indices + set.count);
}

struct SetGuard {
  entrySet set{-1, 0, 0, nullptr};
  ~SetGuard() { entrySet_cleanUp(&set); }
};

TEST(EntrySet, GrowsByTheFactorOfItsLength) {
  SetGuard g;
  entrySet_init(&g.set, 10);
  for (int32_t i = 0; i < 9; ++i) entrySet_appendIndex(&g.set, i * 2);
  EXPECT_EQ(g.set.bufferLength, 10);
  entrySet_appendIndex(&g.set, 100);  // 9 + 1 >= 10
  EXPECT_EQ(g.set.bufferLength, 40);
  EXPECT_EQ(g.set.count, 10);
  EXPECT_EQ(g.set.indexMax, 100);

  SetGuard empty;
  entrySet_init(&empty.set, 0);
  entrySet_appendIndex(&empty.set, 3);  // 0 * 4.0 = 0, so one more
  EXPECT_EQ(empty.set.bufferLength, 1);
  entrySet_appendIndex(&empty.set, 4);
  EXPECT_EQ(empty.set.bufferLength, 4);
  EXPECT_EQ(members(empty.set), (std::vector<int32_t>{3, 4}));

  SetGuard large;
  entrySet_init(&large.set, 300);
  for (int32_t i = 0; i < 299; ++i) entrySet_appendIndex(&large.set, i);
  EXPECT_EQ(large.set.bufferLength, 300);
  entrySet_appendIndex(&large.set, 299);
  EXPECT_EQ(large.set.bufferLength, 375);  // 300 * 1.25
}

TEST(EntrySet, AppendRefusesIndicesNotAboveTheLast) {
  SetGuard g;
  entrySet_init(&g.set, 2);
  entrySet_appendIndex(&g.set, 7);
  EXPECT_RAISES(entrySet_appendIndex(&g.set, 7), 18, 2,
                "pIndexEntry <= pThis->indexMax in entrySet_appendIndex");
  EXPECT_RAISES(entrySet_appendIndex(&g.set, 5), 18, 2,
                "pIndexEntry <= pThis->indexMax in entrySet_appendIndex");
  EXPECT_EQ(members(g.set), (std::vector<int32_t>{7}));
  EXPECT_EQ(g.set.indexMax, 7);
  EXPECT_RAISES(entrySet_appendIndex(nullptr, 1), 18, 1, "pThis == NULL in entrySet_appendIndex");
  EXPECT_RAISES(entrySet_init(&g.set, -1), 18, 1, "pThis == NULL || pBufferLength < 0 in entrySet_init");
}

TEST(EntrySet, DefragmentRenumbersAndDrops) {
  SetGuard g;
  entrySet_init(&g.set, 4);
  for (int32_t i : {2, 5, 9}) entrySet_appendIndex(&g.set, i);
  std::vector<int32_t> mapping(10, -1);
  mapping[2] = 1;
  mapping[9] = 6;
  EXPECT_RAISES(entrySet_defragment(&g.set, std::span(mapping).first(9)), 18, 1,
                "pThis->indexMax >= pIndexMapping->numberElements in entrySet_defragment");
  EXPECT_EQ(members(g.set), (std::vector<int32_t>{2, 5, 9}));  // a short mapping changes nothing
  entrySet_defragment(&g.set, mapping);
  EXPECT_EQ(members(g.set), (std::vector<int32_t>{1, 6}));
  EXPECT_EQ(g.set.indexMax, 6);

  mapping[1] = -1;
  mapping[6] = -1;
  entrySet_defragment(&g.set, mapping);
  EXPECT_EQ(g.set.count, 0);
  EXPECT_EQ(g.set.indexMax, -1);
}

TEST(EntrySet, SavesAndLoadsAndRefusesInconsistentSets) {
  veskortest::TempDir dir;
  std::string file = dir.file("set");
  {
    orl::StreamPtr out(stream_createFileOutputStream(file.c_str()));
    SetGuard empty;
    entrySet_save(&empty.set, out.get());
    SetGuard full;
    entrySet_init(&full.set, 1);
    for (int32_t i : {0, 4, 8}) entrySet_appendIndex(&full.set, i);
    entrySet_save(&full.set, out.get());
  }
  std::string bytes = veskortest::readFileBytes(file);
  EXPECT_EQ(bytes.substr(0, 16), std::string("\xFF\xFF\xFF\xFF\0\0\0\0\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(bytes.size(), 16u + 16u + 12u);
  {
    orl::StreamPtr in(stream_createFileInputStream(file.c_str()));
    SetGuard empty, full;
    entrySet_load(&empty.set, in.get());
    EXPECT_EQ(empty.set.indices, nullptr);
    EXPECT_EQ(empty.set.indexMax, -1);
    entrySet_load(&full.set, in.get());
    EXPECT_EQ(members(full.set), (std::vector<int32_t>{0, 4, 8}));
    EXPECT_EQ(full.set.bufferLength, 3);
    EXPECT_RAISES(entrySet_load(&full.set, in.get()), 18, 1,
                  "Menge *pThis bereits initialisiert in entrySet_load");
    entrySet_appendIndex(&full.set, 9);  // a loaded set is full and grows on the next append
    EXPECT_EQ(members(full.set), (std::vector<int32_t>{0, 4, 8, 9}));
  }
  // indexMax, count, reserved, then the array.
  auto load = [&](const std::string& stored) {
    veskortest::writeFileBytes(file, stored);
    orl::StreamPtr in(stream_createFileInputStream(file.c_str()));
    SetGuard g;
    entrySet_load(&g.set, in.get());
  };
  auto ints = [](std::initializer_list<int32_t> values) {
    return std::string(reinterpret_cast<const char*>(std::data(values)), values.size() * 4);
  };
  EXPECT_NO_THROW(load(ints({5, 2, 0, 2, 1, 5})));
  for (const std::string& bad : {ints({5, 2, 0, 2, 5, 1}), ints({5, 2, 0, 2, 1, 1}), ints({4, 2, 0, 2, 1, 5}),
                                 ints({5, 3, 0, 2, 1, 5}), ints({5, 2, 0, 2, -1, 5}), ints({0, 0, 0, 0})}) {
    EXPECT_RAISES(load(bad), 18, 3, "Falsches Dateiformat in entrySet_load");
  }
}

}  // namespace
