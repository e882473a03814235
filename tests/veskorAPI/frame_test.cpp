// The frame of exported functions, the latest error, the mapping rule, paths and connections.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "apiFixture.h"
#include "support/tempDir.h"

namespace {

using namespace std::chrono_literals;
using veskortest::ApiLayer;
using veskortest::startsWith;

std::vector<int> gEvents;
void record(int* value) { gEvents.push_back(*value); }

// Stand-ins for exported functions, written the way the real ones are.
int raisingCall(int connectionID, int group, int code) {
  return veskorCall("raisingCall", connectionID, [&](veskorCall_t& call) {
    call.setContext(kContextKB);
    ORL_RAISE(group, code, "error: raised on purpose in raisingCall()");
  });
}

template <class E>
int throwingCall(int connectionID, E exception) {
  return veskorCall("throwingCall", connectionID, [&](veskorCall_t&) { throw exception; });
}

TEST(Mapping, RuleTable) {
  struct Case {
    int32_t group, code;
    const char* context;
    int status;
  } cases[] = {
      {104, 7, "", 7},       {104, 94, "kb", 94},    {17, 3, "", 6},         {19, 2, "", 18},
      {17, 6, "", 4},        {17, 8, "", 1708},      {20, 8, "", 4},         {20, 9, "", 4},
      {20, 10, "", 6},       {20, 11, "", 11},       {20, 12, "", 10},       {20, 13, "", 12},
      {20, 3, "", 6},        {20, 2, "", 18},        {20, 6, "", 4},         {20, 1, "", 2001},
      {102, 2, "kb", 7},     {102, 2, "wa", 19},     {102, 2, "co", 15},     {102, 2, "", 15},
      {103, 3, "kb", 7},     {103, 2, "wa", 19},     {103, 3, "co", 15},     {103, 9, "kb", 4},
      {103, 10, "wa", 6},    {103, 1, "kb", 10301},  {200, 2, "", 18},       {200, 6, "", 4},
      {200, 3, "", 20003},   {4000, 2, "", 13},      {4000, 6, "", 4},       {5000, 6, "", 4},
      {5000, 3, "", 500003}, {1, 1, "kb", 101},      {1, 0, "", 100},        {101, 4, "kb", 10104},
      {100, 5, "", 10005},   {16, 9, "wa", 1609},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(veskorMapException(c.group, c.code, c.context), c.status) << c.group << "/" << c.code << c.context;
  }
}

class WorkingDirectory : public ::testing::Test {
 protected:
  void SetUp() override { original_ = std::filesystem::current_path(); }
  void TearDown() override { std::filesystem::current_path(original_); }
  std::string absolute(const char* name) {
    orl::OwnedText path(veskorGetAbsolutePath(name));
    return path.get();
  }
  std::filesystem::path original_;
};

TEST_F(WorkingDirectory, AbsolutePaths) {
  veskortest::TempDir dir;
  std::filesystem::current_path(dir.path());
  std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(absolute("  data.kb \t"), cwd + "/data.kb");
  EXPECT_EQ(absolute("ab"), cwd + "/ab");
  EXPECT_EQ(absolute("../x/./y.kb"), cwd + "/../x/./y.kb");
  EXPECT_EQ(absolute(" /srv/share/y.kb "), "/srv/share/y.kb");
  std::filesystem::current_path("/");
  EXPECT_EQ(absolute("data.kb"), "/data.kb");

  try {
    absolute(" \t ");
    ADD_FAILURE();
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 104);
    EXPECT_EQ(e.code(), 5);
    EXPECT_TRUE(startsWith(e.message(),
                           "error: file name empty in veskorGetAbsolutePath()\nin file "
                           "\"veskorAPI/veskorAPIInternal.cpp\" line "));
  }
  try {
    absolute(nullptr);
    ADD_FAILURE();
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.code(), 1);
    EXPECT_TRUE(startsWith(e.message(), "error: pRelativePath == NULL in veskorGetAbsolutePath()\n"));
  }
}

TEST_F(WorkingDirectory, LongAndUnreadableWorkingDirectories) {
  veskortest::TempDir dir;
  std::filesystem::current_path(dir.path());
  const std::string segment(200, 'd');
  // 1000 bytes and more need several buffer doublings.
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(::mkdir(segment.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(segment.c_str()), 0);
  }
  orl::OwnedText cwd(veskorGetWorkingDirectory());
  EXPECT_EQ(std::string(cwd.get()), std::filesystem::current_path().string());
  // Beyond what the system reports as a working directory: a clean error, not a loop.
  int depth = 5;
  for (; depth < 55; ++depth) {
    ASSERT_EQ(::mkdir(segment.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(segment.c_str()), 0);
  }
  try {
    veskorGetWorkingDirectory();
    ADD_FAILURE();
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.code(), 4);
    EXPECT_TRUE(startsWith(e.message(), "error: can't read current working directory in veskorGetWorkingDirectory()\n"));
  }
  // Take the chain down from the inside; its full path is too long for path-based removal.
  for (; depth > 0; --depth) {
    ASSERT_EQ(::chdir(".."), 0);
    ASSERT_EQ(::rmdir(segment.c_str()), 0);
  }
}

TEST(Frame, CallsBeforeInitialisation) {
  EXPECT_EQ(raisingCall(0, 104, 7), VESKOR_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(veskorGetLatestErrorMessage(0), nullptr);
  int id = -1;
  EXPECT_EQ(veskorOpenConnection(&id), VESKOR_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(veskorCloseConnection(0), VESKOR_ERROR_NOT_INITIALIZED);
}

TEST_F(ApiLayer, LatestErrorPerCall) {
  // A thread that never failed.
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), 0);
  EXPECT_EQ(latestMessage(), "");

  int unknown = (connection_ + 1) % 32768;
  EXPECT_EQ(raisingCall(unknown, 104, 7), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), VESKOR_ERROR_IDENTIFIER);
  EXPECT_TRUE(startsWith(latestMessage(),
                         "error: identifier not found in dataManager_getDataObject\nin file "
                         "\"veskorAPI/dataManager.cpp\" line "));

  // The raise's context word decides: group 103 code 3 under "kb" is a knowledge-base name.
  EXPECT_EQ(raisingCall(connection_, 103, 3), VESKOR_ERROR_KBNAME);
  EXPECT_EQ(raisingCall(connection_, 20, 10), VESKOR_ERROR_FILEFORMAT);
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), VESKOR_ERROR_FILEFORMAT);
  EXPECT_TRUE(startsWith(latestMessage(), "error: raised on purpose in raisingCall()\nin file \""));

  // A successful call keeps the latest error; a failing query replaces it with its own failure.
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), VESKOR_ERROR_FILEFORMAT);
  EXPECT_EQ(veskorGetLatestErrorCode(unknown), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorGetLatestErrorMessage(unknown), nullptr);
}

TEST_F(ApiLayer, AnyExceptionTypeIsCaught) {
  EXPECT_EQ(throwingCall(connection_, std::bad_alloc()), 101);
  std::string message = latestMessage();
  EXPECT_TRUE(startsWith(message, "error: out of memory in throwingCall()\nin file \"")) << message;
  EXPECT_NE(message.find("frame_test.cpp\" line "), std::string::npos) << message;

  EXPECT_EQ(throwingCall(connection_, std::runtime_error("boom")), VESKOR_ERROR_FATAL);
  EXPECT_TRUE(startsWith(latestMessage(), "error: unexpected exception in throwingCall(): boom\n"));
  EXPECT_EQ(throwingCall(connection_, 42), VESKOR_ERROR_FATAL);
  EXPECT_TRUE(startsWith(latestMessage(), "error: unexpected exception in throwingCall()\n"));
}

TEST_F(ApiLayer, CleanupStackRunsLastFirstAndKeepsSurvivorsOnSuccess) {
  int one = 1, two = 2, three = 3;
  auto body = [&](bool fail) {
    return veskorCall("stackCall", connection_, [&](veskorCall_t& call) {
      call.atEnd<record>(&one);
      call.onFailure<record>(&two);
      call.atEnd<record>(&three);
      if (fail) ORL_RAISE(104, 4, "error: failing on purpose");
    });
  };
  gEvents.clear();
  EXPECT_EQ(body(false), 0);
  EXPECT_EQ(gEvents, (std::vector<int>{3, 1}));
  gEvents.clear();
  EXPECT_EQ(body(true), 4);
  EXPECT_EQ(gEvents, (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(veskorCleanupStackDepth(), 0);
}

TEST_F(ApiLayer, PointerResultsAndNestedCalls) {
  static char text[] = "result";
  auto find = [&](int id) {
    return veskorCall("pointerCall", id, [&](veskorCall_t& call) -> char* {
      call.onFailure<record>(&connection_);  // must not run: the nested call below succeeds
      // A call made from inside another keeps its hands off the outer call's cleanup entries.
      EXPECT_EQ(veskorGetLatestErrorCode(connection_), 0);
      return text;
    });
  };
  gEvents.clear();
  EXPECT_EQ(find(connection_), text);
  EXPECT_TRUE(gEvents.empty());
  EXPECT_EQ(find((connection_ + 1) % 32768), nullptr);
}

TEST_F(ApiLayer, NamedLookupsAndAccess) {
  veskorAPIState& state = veskorGlobalState();
  int kbData = 11, waData = 22;
  registerName(state.kbManager, "main", &kbData);
  registerName(state.waManager, "assoc", &waData);

  int status = veskorCall("lookupCall", connection_, [&](veskorCall_t& call) {
    namedSyncedDataObject* kb = call.lookUpKB("  main\t");
    // Named twice in one call (as WKB and AKB): the held access serves, nothing waits.
    EXPECT_EQ(*call.exclusiveAccess<int>(kb), 11);
    EXPECT_EQ(*call.sharedAccess<int>(call.lookUpKB("main")), 11);
    EXPECT_EQ(*call.sharedAccess<int>(call.lookUpWA("assoc")), 22);
    EXPECT_EQ(kb->references->count, 3);
  });
  EXPECT_EQ(status, 0);
  namedSyncedDataObject* kb = dataManager_getDataObject(state.kbManager, "main");
  EXPECT_EQ(kb->references->count, 2);  // the call gave its references back
  EXPECT_EQ(kb->access->unitsTaken.load(), 0);
  namedSyncedDataObject_releaseReference(kb);

  auto lookUp = [&](bool wa, const char* name) {
    return veskorCall("lookupCall", connection_, [&](veskorCall_t& call) {
      wa ? call.lookUpWA(name) : call.lookUpKB(name);
    });
  };
  EXPECT_EQ(lookUp(false, "assoc"), VESKOR_ERROR_KBNAME);
  EXPECT_EQ(lookUp(true, "main"), VESKOR_ERROR_WANAME);

  status = veskorCall("widenCall", connection_, [&](veskorCall_t& call) {
    namedSyncedDataObject* object = call.lookUpKB("main");
    call.sharedAccess<int>(object);
    call.exclusiveAccess<int>(object);
  });
  EXPECT_EQ(status, VESKOR_ERROR_ARGUMENT_NOT_VALID);
}

TEST_F(ApiLayer, Connections) {
  int before = veskorGetLatestErrorCode(connection_);
  EXPECT_EQ(veskorOpenConnection(nullptr), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), before);

  int second = -1;
  ASSERT_EQ(veskorOpenConnection(&second), 0);
  EXPECT_GE(second, 0);
  EXPECT_LT(second, 32768);
  EXPECT_NE(second, connection_);
  EXPECT_EQ(veskorCloseConnection(second), 0);
  EXPECT_EQ(veskorCloseConnection(second), VESKOR_ERROR_IDENTIFIER);
  EXPECT_TRUE(startsWith(latestMessage(), "error: identifier not found in dataManager_unlinkDataObject\n"));
  EXPECT_EQ(veskorGetLatestErrorCode(second), VESKOR_ERROR_IDENTIFIER);
}

TEST_F(ApiLayer, AllConnectionIdentifiersInUse) {
  std::vector<bool> seen(32768, false);
  seen[connection_] = true;
  for (int i = 1; i < 32768; ++i) {
    int id = -1;
    ASSERT_EQ(veskorOpenConnection(&id), 0) << i;
    ASSERT_FALSE(seen[id]);
    seen[id] = true;
  }
  int id = -7;
  EXPECT_EQ(veskorOpenConnection(&id), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(id, -7);
  EXPECT_TRUE(startsWith(latestMessage(), "error: all connection identifiers are in use in veskorOpenConnection()\n"));
  ASSERT_EQ(veskorCloseConnection(12345), 0);
  ASSERT_EQ(veskorOpenConnection(&id), 0);
  EXPECT_EQ(id, 12345);
}

// ---- Threads ---------------------------------------------------------------------------------

using FrameConcurrency = ApiLayer;

TEST_F(FrameConcurrency, CloseWaitsForCallsUsingTheConnection) {
  int id = -1;
  ASSERT_EQ(veskorOpenConnection(&id), 0);
  std::atomic<bool> inside{false}, release{false}, closed{false};
  std::thread user([&] {
    EXPECT_EQ(veskorCall("longCall", id,
                         [&](veskorCall_t&) {
                           inside = true;
                           while (!release) std::this_thread::sleep_for(1ms);
                           EXPECT_FALSE(closed);
                         }),
              0);
  });
  while (!inside) std::this_thread::sleep_for(1ms);
  std::thread closer([&] {
    EXPECT_EQ(veskorCloseConnection(id), 0);
    closed = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(closed);
  // Unlinked already: a new call cannot use it.
  EXPECT_EQ(veskorGetLatestErrorCode(id), VESKOR_ERROR_IDENTIFIER);
  release = true;
  user.join();
  closer.join();
  EXPECT_TRUE(closed);
}

TEST_F(FrameConcurrency, ThreadsShareConnectionsAndKeepTheirOwnLatestError) {
  constexpr int kThreads = 8;
  std::vector<int> connections(3);
  for (int& c : connections) ASSERT_EQ(veskorOpenConnection(&c), 0);
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        int c = connections[(t + round) % connections.size()];
        int expected = t % 2 == 0 ? VESKOR_ERROR_KBNAME : VESKOR_ERROR_FILEFORMAT;
        if (raisingCall(c, t % 2 == 0 ? 103 : 20, t % 2 == 0 ? 3 : 10) != expected) ++wrong;
        int own = -1;
        if (veskorOpenConnection(&own) != 0) ++wrong;
        if (veskorGetLatestErrorCode(own) != expected) ++wrong;
        if (veskorCloseConnection(own) != 0) ++wrong;
      }
      veskorFreeThreadState(veskorGetThreadState());
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
