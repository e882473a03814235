// Reference counter, shared access manager, named objects and data managers. Suites whose name
// ends in Concurrency are the threaded ones (also run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/raises.h"
#include "veskorAPI/dataManager.h"

namespace {

using namespace std::chrono_literals;

// Long enough for a thread that is not blocked to get through its step.
constexpr auto kSettle = 100ms;

using veskortest::raisedBy;
using veskortest::startsWith;

namedSyncedDataObject* makeNamed(const char* name, void* data) {
  return namedSyncedDataObject_create(name, data, &namedSyncedDataObject_cloneText, &namedSyncedDataObject_freeID);
}

TEST(ReferenceCounter, DecrementWithoutIncrementRaisesAndKeepsZero) {
  orl::ReferenceCounterPtr counter(referenceCounter_create());
  referenceCounter_isZeroBlocking(counter.get());  // fresh counter: returns at once
  referenceCounter_increment(counter.get());
  referenceCounter_decrement(counter.get());
  orl::Exception e = raisedBy([&] { referenceCounter_decrement(counter.get()); });
  EXPECT_EQ(e.group(), 101);
  EXPECT_EQ(e.code(), 4);
  EXPECT_TRUE(startsWith(e.message(),
                         "error: no matching call of referenceCounter_increment for call of "
                         "referenceCounter_decrement()\nin file \"veskorAPI/referenceCounter.cpp\" line "));
  EXPECT_EQ(counter->count, 0);
  EXPECT_EQ(raisedBy([] { referenceCounter_increment(nullptr); }).code(), 1);
}

TEST(SharedAccessManager, ArgumentsAndUnmatchedReleases) {
  orl::Exception e = raisedBy([] { sharedAccessManager_create(0); });
  EXPECT_EQ(e.group(), 100);
  EXPECT_EQ(e.code(), 1);
  EXPECT_TRUE(startsWith(e.message(), "error: pNumberUnitsOfResource <= 0 insharedAccessManager_create()\n"));

  orl::SharedAccessManagerPtr manager(sharedAccessManager_create(2));
  EXPECT_EQ(raisedBy([&] { sharedAccessManager_releaseSharedAccess(manager.get()); }).code(), 4);
  EXPECT_EQ(raisedBy([&] { sharedAccessManager_releaseExclusiveAccess(manager.get()); }).code(), 4);
  sharedAccessManager_getExclusiveAccess(manager.get());
  sharedAccessManager_releaseExclusiveAccess(manager.get());
  // The failed releases did not add units: exclusive access still needs both.
  sharedAccessManager_getSharedAccess(manager.get());
  sharedAccessManager_getSharedAccess(manager.get());
  sharedAccessManager_releaseSharedAccess(manager.get());
  sharedAccessManager_releaseSharedAccess(manager.get());
  e = raisedBy([] { sharedAccessManager_getSharedAccess(nullptr); });
  EXPECT_TRUE(startsWith(e.message(), "error: pThis == NULL in sharedAccessManager_getSharedAccess()\n"));
}

TEST(DataManager, RegistrationLookupAndMessages) {
  orl::Owned<dataManager, dataManager_free> manager(dataManager_create(nullptr, nullptr));
  int data1 = 1;
  int data2 = 2;
  namedSyncedDataObject* first = makeNamed("main", &data1);
  namedSyncedDataObject* twin = makeNamed("main", &data2);
  dataManager_linkDataObject(manager.get(), first);

  orl::Exception e = raisedBy([&] { dataManager_linkDataObject(manager.get(), twin); });
  EXPECT_EQ(e.group(), 103);
  EXPECT_EQ(e.code(), 3);
  EXPECT_TRUE(startsWith(e.message(), "error: identifier is not unique in dataManager_linkDataObject\n"));
  namedSyncedDataObject_free(twin);

  // The registered object stayed; a lookup adds a reference that must be given back.
  namedSyncedDataObject* found = dataManager_getDataObject(manager.get(), "main");
  EXPECT_EQ(found, first);
  EXPECT_EQ(first->references->count, 2);
  namedSyncedDataObject_releaseReference(found);

  e = raisedBy([&] { dataManager_free(manager.get()); });
  EXPECT_EQ(e.code(), 2);
  EXPECT_TRUE(startsWith(e.message(), "error: undeleted data objects found when calling dataManager_free\n"));

  orl::VectorPtr ids(dataManager_getIDsOfDataObjects(manager.get()));
  ASSERT_EQ(vector_getNumberElements(ids.get()), 1);
  char* id = orl::vectorAt<char*>(ids.get(), 0);
  EXPECT_STREQ(id, "main");
  EXPECT_NE(id, first->id);  // a copy
  orlFree(id);

  EXPECT_EQ(dataManager_unlinkDataObject(manager.get(), "main"), first);
  e = raisedBy([&] { dataManager_getDataObject(manager.get(), "main"); });
  EXPECT_EQ(e.code(), 3);
  EXPECT_TRUE(startsWith(e.message(), "error: identifier not found in dataManager_getDataObject\n"));
  e = raisedBy([&] { dataManager_unlinkDataObject(manager.get(), "main"); });
  EXPECT_TRUE(startsWith(e.message(), "error: identifier not found in dataManager_unlinkDataObject\n"));
  EXPECT_EQ(namedSyncedDataObject_free(first), &data1);
}

TEST(ReferenceCounterConcurrency, WaitForZeroBlocksUntilLastDecrement) {
  orl::ReferenceCounterPtr counter(referenceCounter_create());
  referenceCounter_increment(counter.get());
  referenceCounter_increment(counter.get());
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    referenceCounter_isZeroBlocking(counter.get());
    returned = true;
  });
  referenceCounter_decrement(counter.get());
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(returned);
  referenceCounter_decrement(counter.get());
  waiter.join();
  EXPECT_TRUE(returned);
}

TEST(SharedAccessManagerConcurrency, ReaderWriterRule) {
  orl::SharedAccessManagerPtr manager(sharedAccessManager_create(kNamedObjectAccessUnits));
  // 128 shared holders at once.
  std::atomic<int> holding{0};
  std::atomic<bool> letGo{false};
  std::vector<std::thread> holders;
  for (int i = 0; i < kNamedObjectAccessUnits; ++i) {
    holders.emplace_back([&] {
      sharedAccessManager_getSharedAccess(manager.get());
      ++holding;
      while (!letGo) std::this_thread::sleep_for(1ms);
      sharedAccessManager_releaseSharedAccess(manager.get());
    });
  }
  while (holding < kNamedObjectAccessUnits) std::this_thread::sleep_for(1ms);

  // The 129th shared request waits.
  std::atomic<bool> extraIn{false};
  std::thread extra([&] {
    sharedAccessManager_getSharedAccess(manager.get());
    extraIn = true;
    sharedAccessManager_releaseSharedAccess(manager.get());
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(extraIn);
  letGo = true;
  for (std::thread& t : holders) t.join();
  extra.join();
  EXPECT_TRUE(extraIn);

  // A writer waits for a reader; a reader arriving after the writer waits for the writer.
  sharedAccessManager_getSharedAccess(manager.get());
  std::atomic<int> order{0};
  std::atomic<int> writerDone{0};
  std::atomic<int> lateReaderIn{0};
  std::thread writer([&] {
    sharedAccessManager_getExclusiveAccess(manager.get());
    writerDone = ++order;
    sharedAccessManager_releaseExclusiveAccess(manager.get());
  });
  std::this_thread::sleep_for(kSettle);
  std::thread lateReader([&] {
    sharedAccessManager_getSharedAccess(manager.get());
    lateReaderIn = ++order;
    sharedAccessManager_releaseSharedAccess(manager.get());
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(order.load(), 0);
  sharedAccessManager_releaseSharedAccess(manager.get());
  writer.join();
  lateReader.join();
  EXPECT_EQ(writerDone.load(), 1);
  EXPECT_EQ(lateReaderIn.load(), 2);
}

TEST(SharedAccessManagerConcurrency, WritersAndReadersNeverOverlap) {
  orl::SharedAccessManagerPtr manager(sharedAccessManager_create(kNamedObjectAccessUnits));
  std::atomic<int> readers{0}, writers{0}, overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        if ((i + t) % 3 == 0) {
          sharedAccessManager_getExclusiveAccess(manager.get());
          if (writers.fetch_add(1) != 0 || readers.load() != 0) ++overlaps;
          std::this_thread::yield();
          writers.fetch_sub(1);
          sharedAccessManager_releaseExclusiveAccess(manager.get());
        } else {
          sharedAccessManager_getSharedAccess(manager.get());
          readers.fetch_add(1);
          if (writers.load() != 0) ++overlaps;
          std::this_thread::yield();
          readers.fetch_sub(1);
          sharedAccessManager_releaseSharedAccess(manager.get());
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(overlaps.load(), 0);
  // Every unit came back: an exclusive access is free to take, and then nothing else is.
  sharedAccessManager_getExclusiveAccess(manager.get());
  EXPECT_EQ(manager->unitsTaken.load(), kNamedObjectAccessUnits);
  sharedAccessManager_releaseExclusiveAccess(manager.get());
}

TEST(NamedSyncedDataObjectConcurrency, FreeWaitsForOtherHolders) {
  orl::Owned<dataManager, dataManager_free> manager(dataManager_create(nullptr, nullptr));
  int data = 7;
  namedSyncedDataObject* object = makeNamed("kb", &data);
  dataManager_linkDataObject(manager.get(), object);
  namedSyncedDataObject* held = dataManager_getDataObject(manager.get(), "kb");

  std::atomic<bool> freed{false};
  std::thread closer([&] {
    namedSyncedDataObject* unlinked = dataManager_unlinkDataObject(manager.get(), "kb");
    EXPECT_EQ(namedSyncedDataObject_free(unlinked), &data);
    freed = true;
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(freed);
  // Unlinked already: nobody new can find it.
  EXPECT_EQ(raisedBy([&] { dataManager_getDataObject(manager.get(), "kb"); }).code(), 3);
  EXPECT_EQ(*static_cast<int*>(namedSyncedDataObject_getSharedAccess(held)), 7);
  namedSyncedDataObject_releaseShared(held);
  namedSyncedDataObject_releaseReference(held);
  closer.join();
  EXPECT_TRUE(freed);
}

TEST(DataManagerConcurrency, ManyThreadsLinkLookUpAndUnlink) {
  orl::Owned<dataManager, dataManager_free> manager(dataManager_create(nullptr, nullptr));
  int data = 0;
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        std::string name = "kb" + std::to_string(t) + "-" + std::to_string(round % 5);
        namedSyncedDataObject* object = makeNamed(name.c_str(), &data);
        dataManager_linkDataObject(manager.get(), object);
        // Everybody looks at the shared name "kb0-0" too, which thread 0 keeps registering.
        for (const std::string& probe : {name, std::string("kb0-0")}) {
          try {
            namedSyncedDataObject* found = dataManager_getDataObject(manager.get(), probe.c_str());
            namedSyncedDataObject_getSharedAccess(found);
            namedSyncedDataObject_releaseShared(found);
            namedSyncedDataObject_releaseReference(found);
          } catch (const orl::Exception& e) {
            if (!orl::matches(e, {{103, 3}})) throw;
          }
        }
        namedSyncedDataObject_free(dataManager_unlinkDataObject(manager.get(), name.c_str()));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(hash_count(manager->table), 0u);
}

}  // namespace
