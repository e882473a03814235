#include "orlBasics/orlException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "orlBasics/scopeGuard.h"
#include "orlBasics/vector.h"
#include "support/raises.h"

namespace {

using veskortest::raisedBy;

TEST(OrlException, RaiseAppendsLocationSuffixRelativeToSourceRoot) {
  int line = 0;
  try {
    line = __LINE__ + 1;
    ORL_RAISE(20, 13, "Ung\xFCltige Trefferzahl in ", "knowledgeBase_find ", 42);
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 20);
    EXPECT_EQ(e.code(), 13);
    // The test file lies outside src/, so its path is the full one; the suffix shape is what counts.
    std::string expectedHead = "Ung\xFCltige Trefferzahl in knowledgeBase_find 42\nin file \"";
    EXPECT_EQ(e.message().substr(0, expectedHead.size()), expectedHead);
    std::string tail = "orlException_test.cpp\" line " + std::to_string(line);
    EXPECT_EQ(e.message().substr(e.message().size() - tail.size()), tail);
  }
}

TEST(OrlException, SourcePathsInsideTheTreeAreRelative) {
  // No build-machine directory may show in a message raised by the engine's own sources.
  orl::Exception e = raisedBy([] { vector_create(0, 0, 0); });
  EXPECT_EQ(e.group(), 4000);
  EXPECT_NE(e.message().find("\nin file \"orlBasics/vector.cpp\" line "), std::string::npos) << e.message();
}

TEST(OrlException, StrAppendCutsWithPlusAndWritesNullForNullText) {
  char buffer[8] = "";
  orlStrAppend(buffer, sizeof buffer, nullptr);
  EXPECT_STREQ(buffer, "Null");
  orlStrAppend(buffer, sizeof buffer, "ab");
  EXPECT_STREQ(buffer, "Nullab");  // 6 characters + terminator fit in 8
  orlStrAppend(buffer, sizeof buffer, "c");
  EXPECT_STREQ(buffer, "Nullabc");  // exactly full
  orlStrAppend(buffer, sizeof buffer, "d");
  EXPECT_STREQ(buffer, "Nullab+");
}

TEST(OrlException, LongMessagesAreCutTo1023BytesEndingInPlus) {
  std::string longText(2000, 'x');
  try {
    ORL_RAISE(4000, 2, longText.c_str());
  } catch (const orl::Exception& e) {
    ASSERT_EQ(e.message().size(), 1023u);
    EXPECT_EQ(e.message().back(), '+');
  }
}

TEST(OrlException, PatternsUseZeroAsWildcard) {
  orl::Exception e(103, 3, "m");
  EXPECT_TRUE(orl::matches(e, {{103, 3}}));
  EXPECT_TRUE(orl::matches(e, {{0, 3}}));
  EXPECT_TRUE(orl::matches(e, {{103, 0}}));
  EXPECT_TRUE(orl::matches(e, {{0, 0}}));
  EXPECT_FALSE(orl::matches(e, {{103, 2}, {102, 3}}));
  EXPECT_TRUE(orl::matches(e, {{103, 2}, {102, 3}, {103, 3}}));
  EXPECT_FALSE(orl::matches(orl::Exception(5000, 3, "m"), {{103, 3}}));
}

TEST(OrlException, CleanupsRunInnermostFirstAndRethrowKeepsEverything) {
  std::vector<int> order;
  try {
    orl::ScopeGuard outer([&] { order.push_back(1); });
    try {
      orl::ScopeGuard inner([&] { order.push_back(2); });
      ORL_RAISE(17, 2, "Index 5 ung\xFCltig in entryList_getEntry");
    } catch (const orl::Exception& e) {
      if (!orl::matches(e, {{17, 3}})) throw;
      order.push_back(99);
    }
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 17);
    EXPECT_EQ(e.code(), 2);
    EXPECT_EQ(e.message().rfind("Index 5 ung\xFCltig in entryList_getEntry\nin file \"", 0), 0u);
  }
  EXPECT_EQ(order, (std::vector<int>{2, 1}));

  order.clear();
  {
    orl::ScopeGuard dismissed([&] { order.push_back(3); });
    dismissed.dismiss();
  }
  EXPECT_TRUE(order.empty());
}

[[noreturn]] void throwEngineFailure() { throw orl::Exception(16, 5, "Netz kaputt"); }

TEST(OrlExceptionDeathTest, UncaughtExceptionPrintsTheHandlerLineAndAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        orlExceptionsInit();
        // Nothing catches it: the exception leaves a function that lets nothing through.
        []() noexcept { throwEngineFailure(); }();
      },
      "Unhandled exception \\(\"Netz kaputt\", group=16, code=5\\)");
}

[[noreturn]] void throwForeign() { throw std::runtime_error("not the engine's"); }

TEST(OrlExceptionDeathTest, AHostProgramsOwnExceptionStillReachesItsOwnHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        orlExceptionsInit();
        []() noexcept { throwForeign(); }();
      },
      "not the engine's");
}

TEST(OrlException, HandlerLineFormat) {
  EXPECT_EQ(orlUnhandledExceptionLine(orl::Exception(1, 0, "out of memory")),
            "Unhandled exception (\"out of memory\", group=1, code=0)\n");
}

}  // namespace
