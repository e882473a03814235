// Run with only a copy of libveskorx.so on the library path (no engine beside it, or a library
// without the engine's functions under the engine's name): the first engine call reports the
// platform's error for a missing library (53) or a missing function (453).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "veskor/veskorx.hpp"

namespace {

TEST(MissingEngine, FirstEngineCallReportsIt) {
  const char* expected = std::getenv("VESKORX_EXPECTED_ERROR");
  if (expected == nullptr) GTEST_SKIP() << "needs a library path without the engine";
  auto engine = veskorx::Engine::create();
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      engine->Initialize();
      FAIL() << "Initialize succeeded without the engine";
    } catch (const veskorx::Error& error) {
      EXPECT_EQ(error.number(), std::atoi(expected));
      EXPECT_EQ(error.source(), "Initialize");
      std::string description = error.description();
      if (error.number() == 53) {
        EXPECT_EQ(description, "File not found: libveskoreng.so");
      } else {
        EXPECT_EQ(description, "Can't find DLL entry point fnInit in libveskoreng.so");
      }
    }
  }
  // Never initialised, so nothing to tear down and nothing deferred.
  EXPECT_EQ(engine->AKBLoad("any.kb"), nullptr);
  engine.reset();
  EXPECT_TRUE(veskorx::takeDeferredErrors().empty());
}

}  // namespace
