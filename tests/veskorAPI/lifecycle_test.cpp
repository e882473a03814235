// Calls in progress against veskorCleanup and veskorCloseKB: both wait for them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/tempDir.h"
#include "veskorAPI/veskorAPIInternal.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kSettle = 100ms;

// A call that stays inside the library until released.
class BlockedCall {
 public:
  template <class Body>
  BlockedCall(int connectionID, Body body)
      : thread_([this, connectionID, body] {
          status_ = veskorCall("blockedCall", connectionID, [&](veskorCall_t& call) {
            body(call);
            inside_ = true;
            while (!release_) std::this_thread::sleep_for(1ms);
          });
        }) {
    while (!inside_) std::this_thread::sleep_for(1ms);
  }
  int finish() {
    release_ = true;
    thread_.join();
    return status_;
  }

 private:
  std::atomic<bool> inside_{false}, release_{false};
  std::atomic<int> status_{-100};
  std::thread thread_;
};

TEST(LifecycleConcurrency, CleanupWaitsForCallsInProgress) {
  ASSERT_EQ(veskorInit(), VESKOR_OK);
  int c = -1;
  ASSERT_EQ(veskorOpenConnection(&c), VESKOR_OK);
  BlockedCall call(c, [](veskorCall_t&) {});

  std::atomic<int> cleanup{-100}, lateCall{-100};
  std::thread cleaner([&] { cleanup = veskorCleanup(); });
  std::this_thread::sleep_for(kSettle);
  std::thread late([&] {
    int id = -1;
    lateCall = veskorOpenConnection(&id);
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(cleanup.load(), -100);
  EXPECT_EQ(lateCall.load(), -100);

  EXPECT_EQ(call.finish(), VESKOR_OK);
  cleaner.join();
  late.join();
  EXPECT_EQ(cleanup.load(), VESKOR_OK);
  EXPECT_EQ(lateCall.load(), VESKOR_ERROR_NOT_INITIALIZED);
}

TEST(LifecycleConcurrency, CloseKBWaitsForItsHolders) {
  veskortest::TempDir dir;
  std::string file = dir.file("a.kb");
  ASSERT_EQ(veskorInit(), VESKOR_OK);
  int c = -1;
  ASSERT_EQ(veskorOpenConnection(&c), VESKOR_OK);
  ASSERT_EQ(veskorCreateKBFile(c, file.c_str(), 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c, file.c_str(), "main"), VESKOR_OK);

  BlockedCall reader(c, [](veskorCall_t& call) { call.sharedAccess<void>(call.lookUpKB("main")); });
  std::atomic<int> closed{-100};
  std::thread closer([&] { closed = veskorCloseKB(c, "main"); });
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(closed.load(), -100);
  // Unregistered already: new calls no longer find it.
  EXPECT_EQ(veskorSaveKB(c, "main"), VESKOR_ERROR_KBNAME);
  EXPECT_EQ(reader.finish(), VESKOR_OK);
  closer.join();
  EXPECT_EQ(closed.load(), VESKOR_OK);
  EXPECT_EQ(veskorCleanup(), VESKOR_OK);
}

}  // namespace
