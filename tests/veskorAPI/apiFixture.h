// An initialised API layer for the internal tests, set up without the knowledge-base machinery
// that veskorInit/veskorCleanup bring along.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "veskorAPI/veskorAPIInternal.h"

namespace veskortest {

class ApiLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    veskorAPIState& state = veskorGlobalState();
    {
      std::lock_guard<std::mutex> lock(state.initMutex);
      veskorCreateRegistries(state);
      state.threadStateGeneration.fetch_add(1);
      state.isInitialized = true;
    }
    ASSERT_EQ(veskorOpenConnection(&connection_), VESKOR_OK);
  }

  void TearDown() override {
    veskorAPIState& state = veskorGlobalState();
    std::lock_guard<std::mutex> lock(state.initMutex);
    referenceCounter_isZeroBlocking(state.apiCallCounter);
    veskorCloseAll(state.kbManager, [](void*) {});
    veskorCloseAll(state.waManager, [](void*) {});
    veskorCloseAllConnections();
    veskorFreeRegistries(state);
    veskorFreeThreadState(veskorGetThreadState());
    state.isInitialized = false;
  }

  // Registers data under a name, as opening a knowledge base or word associator does.
  static void registerName(dataManager* manager, const char* name, void* data) {
    dataManager_linkDataObject(manager, namedSyncedDataObject_create(name, data, &namedSyncedDataObject_cloneText,
                                                                     &namedSyncedDataObject_freeID));
  }

  std::string latestMessage() {
    char* message = veskorGetLatestErrorMessage(connection_);
    std::string text = message != nullptr ? message : "<null>";
    free(message);
    return text;
  }

  int connection_ = -1;
};

inline bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace veskortest
