#include "orlBasics/orlThreadLocal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<int> made{0};
std::atomic<int> released{0};
std::vector<int>* order = nullptr;  // release order on one thread

struct Counted {
  Counted() { ++made; }
  ~Counted() {
    ++released;
    if (order != nullptr) order->push_back(1);
  }
  int uses = 0;
};

struct Other {
  ~Other() {
    if (order != nullptr) order->push_back(2);
  }
};

// One object per thread and type, made on first use, released (last made first) when its thread
// ends; a thread that never asks makes none.
TEST(OrlThreadLocal, OnePerThreadMadeOnFirstUseReleasedWhenTheThreadEnds) {
  made = 0;
  released = 0;
  std::vector<int> releaseOrder;
  std::thread first([&] {
    order = &releaseOrder;
    ++orl::threadLocal<Counted>().uses;
    ++orl::threadLocal<Counted>().uses;
    EXPECT_EQ(orl::threadLocal<Counted>().uses, 2);
    orl::threadLocal<Other>();
  });
  first.join();
  order = nullptr;
  EXPECT_EQ(made, 1);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(releaseOrder, (std::vector<int>{2, 1}));

  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([] { EXPECT_EQ(orl::threadLocal<Counted>().uses++, 0); });
  threads.emplace_back([] {});
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(made, 5);
  EXPECT_EQ(released, 5);
}

}  // namespace
