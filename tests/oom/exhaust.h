// Runs one exported operation once for every allocation it makes, with that allocation failing.
//
// For each k from 1 on, the operation runs on a new thread (so that whatever the engine makes on
// a thread's first call is made under failure as well) with its k-th allocation failing, until a
// run makes fewer than k allocations. Every run must end within the watchdog's time and answer
// either success or out of memory (status 101, also as the latest error). Afterwards the scenario
// describes what the operation may have changed: after a failure it must be as before, after a
// success as after an undisturbed run. Then every knowledge base the scenario names must still
// save, close and reopen with the same answers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "oom/failingAllocator.h"
#include "veskor/veskorAPI.h"

namespace veskortest::oom {

inline constexpr int kOutOfMemory = 101;
inline constexpr int64_t kNeverFail = INT64_MAX;
// What an operation returns for a function that gave null: its status is the latest error.
inline constexpr int kNullResult = -1000;

struct Scenario {
  std::function<void()> setUp = [] {};
  // Runs armed. Returns a status, or kNullResult for a function that returned null.
  std::function<int()> operation;
  // What the operation may change, read unarmed after it ran.
  std::function<std::string()> state = [] { return std::string(); };
  // Another state a failure may leave besides "before" (an operation documented as two steps).
  std::function<void()> partialEffect;
  // Unarmed checks that the objects still work (save, reopen), then the release of what setUp made.
  std::function<void()> tearDown = [] {};
  // Whether a failure must also be the latest error (not for calls that end the library).
  bool checkLatestError = true;
};

struct Run {
  int status = 0;
  int latestCode = 0;
  Count count{0, false};
};

// The connection whose latest error the runs read.
inline int& latestErrorConnection() {
  static int connection = -1;
  return connection;
}

// Runs the operation on a new thread with allocation k failing.
inline Run runArmed(int64_t k, const std::function<int()>& operation, const char* what) {
  std::promise<Run> done;
  std::future<Run> result = done.get_future();
  std::thread thread([&] {
    Run run;
    arm(k);
    run.status = operation();
    run.count = disarm();
    if (run.status != 0) run.latestCode = veskorGetLatestErrorCode(latestErrorConnection());
    if (run.status == kNullResult && run.latestCode != 0) run.status = run.latestCode;
    done.set_value(run);
  });
  if (result.wait_for(std::chrono::minutes(2)) != std::future_status::ready) {
    std::fprintf(stderr, "%s: allocation %lld failing: no answer after two minutes\n", what,
                 static_cast<long long>(k));
    std::abort();
  }
  thread.join();
  return result.get();
}

// The allocations of a thread's first call up to the point where the thread has a state to keep
// a latest error in: a failure among them can only be reported by the status.
inline int64_t firstCallAllocations() {
  static const int64_t count =
      runArmed(
          kNeverFail, [] { return veskorGetLatestErrorCode(latestErrorConnection()); }, "a first call")
          .count.allocations;
  return count;
}

// Returns the number of allocations the undisturbed operation makes.
inline int64_t exhaust(const char* what, const Scenario& s) {
  s.setUp();
  std::string before = s.state();
  s.tearDown();
  std::string partial;
  if (s.partialEffect) {
    s.setUp();
    s.partialEffect();
    partial = s.state();
    s.tearDown();
  }
  s.setUp();
  Run reference = runArmed(kNeverFail, s.operation, what);
  std::string after = s.state();
  s.tearDown();
  EXPECT_EQ(reference.status, 0) << what << " fails without any allocation failing";
  if (reference.status != 0) return 0;

  int failures = 0;
  for (int64_t k = 1;; ++k) {
    s.setUp();
    Run run = runArmed(k, s.operation, what);
    std::string state = s.state();
    if (!run.count.failed) {
      EXPECT_EQ(run.status, 0) << what << " after " << run.count.allocations << " allocations";
      EXPECT_EQ(state, after) << what;
      s.tearDown();
      std::printf("[ allocations ] %s: %lld\n", what, static_cast<long long>(k - 1));
      return k - 1;
    }
    if (run.status == 0) {
      EXPECT_EQ(state, after) << what << ": allocation " << k << " failed, the call succeeded";
    } else {
      // Without a thread state there is no latest error: a null result then says all there is.
      bool stateless = run.latestCode == 0 && k <= firstCallAllocations();
      if (!stateless || run.status != kNullResult) {
        EXPECT_EQ(run.status, kOutOfMemory) << what << ": allocation " << k;
      }
      if (s.checkLatestError && !stateless) {
        EXPECT_EQ(run.latestCode, kOutOfMemory) << what << ": allocation " << k;
      }
      if (!s.partialEffect || state != partial) {
        EXPECT_EQ(state, before) << what << ": allocation " << k << " failed";
      }
    }
    s.tearDown();
    if (::testing::Test::HasFailure() && ++failures >= 5) return k;  // a few are enough to go on with
  }
}

}  // namespace veskortest::oom
