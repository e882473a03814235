// Threads mixing every operation on shared knowledge bases for a bounded time (VESKOR_STRESS_SECONDS,
// 8 by default): searches, adds, deletes, documents, saves, backups, defragmentation, and private
// knowledge bases opened and closed. A watchdog ends the process when no call returns for a minute.
// At the end every add that returned 0 must be stored and every delete gone. Runs under
// ThreadSanitizer too (the suite name ends in Concurrency).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskor/veskorAPI.h"
#include "veskorKernel/knowledgeBaseRecord.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kThreads = 6;

int stressSeconds() {
  const char* text = std::getenv("VESKOR_STRESS_SECONDS");
  int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 8;
}

// Ends the process when no call has returned for a minute: a hang fails the run instead of
// blocking it.
class Watchdog {
 public:
  Watchdog() : thread_([this] { watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void progress() { calls_.fetch_add(1, std::memory_order_relaxed); }
  uint64_t calls() const { return calls_.load(); }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    uint64_t seen = calls_.load();
    while (!wake_.wait_for(lock, std::chrono::minutes(1), [this] { return done_; })) {
      uint64_t now = calls_.load();
      if (now == seen) {
        std::fprintf(stderr, "stress: no call returned for a minute; the threads hang\n");
        std::abort();
      }
      seen = now;
    }
  }

  std::atomic<uint64_t> calls_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// What one thread added and deleted (its keys are its own: "t<thread>-<n>", all of one length, so
// that deleting by key end takes exactly one).
struct Ledger {
  std::set<std::string> entries, deletedEntries, documents, deletedDocuments;
  std::vector<std::string> failures;
};

class StressConcurrency : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&c_), VESKOR_OK);
    ASSERT_EQ(veskorCreateKBFile(c_, file("entries.kb").c_str(), 1, 0, 0), VESKOR_OK);
    ASSERT_EQ(veskorCreateKBFile(c_, file("documents.kb").c_str(), 1, 1, 0), VESKOR_OK);
    ASSERT_EQ(veskorCreateKBFile(c_, file("words.kb").c_str(), 1, 0, 1), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(c_, file("entries.kb").c_str(), "entries"), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(c_, file("documents.kb").c_str(), "documents"), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(c_, file("words.kb").c_str(), "words"), VESKOR_OK);
    veskortest::WordAssociatorFixture wa({"_HAUS_", "_GARTEN_", "_STRASSE_"});
    wa.connect("_HAUS_", "_GARTEN_", 9.0f);
    wa.write(file("wa"));
    ASSERT_EQ(veskorOpenWA(c_, file("wa").c_str(), "wa"), VESKOR_OK);
  }
  void TearDown() override { EXPECT_EQ(veskorCleanup(), VESKOR_OK); }

  std::string file(const std::string& name) const { return dir_.file(name); }

  veskortest::TempDir dir_;
  int c_ = -1;
};

const char* const kWords[] = {"Haus",  "Garten", "Strasse", "Baum", "Wasser",
                              "Honig", "Brot",   "Weg",     "Berg", "Tal"};

std::string someText(std::mt19937& random, int words) {
  std::string text;
  for (int i = 0; i < words; ++i) text += std::string(i ? " " : "") + kWords[random() % 10];
  return text + " " + std::to_string(random() % 100000);
}

// One thread's mix. Each call's status is checked; a failure is noted, not raised, so the other
// threads go on.
void mix(int id, int connection, const veskortest::TempDir& dir, Clock::time_point end, Watchdog& watchdog,
         Ledger& ledger) {
  std::mt19937 random(static_cast<unsigned>(1000 + id));
  char key[32];
  int next = 0;
  auto expect = [&](int status, const char* what) {
    watchdog.progress();
    if (status != VESKOR_OK) ledger.failures.push_back(std::string(what) + " gave " + std::to_string(status));
  };
  auto pick = [&](const std::set<std::string>& keys) {
    auto at = keys.begin();
    std::advance(at, static_cast<long>(random() % keys.size()));
    return *at;
  };
  const std::string privateFile = dir.file("private-" + std::to_string(id) + ".kb");
  const std::string privateName = "private-" + std::to_string(id);
  const std::string backup = dir.file("backup-" + std::to_string(id) + ".kb");
  while (Clock::now() < end) {
    switch (random() % 12) {
      case 0:
      case 1: {
        std::snprintf(key, sizeof key, "t%02d-%06d", id, next++);
        std::string text = someText(random, 3);
        expect(veskorAddEntry(connection, random() % 2 ? "words" : nullptr, "entries", key, text.c_str()),
               "add");
        ledger.entries.insert(key);
        break;
      }
      case 2:
        if (!ledger.entries.empty()) {
          std::string victim = pick(ledger.entries);
          expect(veskorDeleteEntry(connection, "entries", victim.c_str()), "delete");
          ledger.entries.erase(victim);
          ledger.deletedEntries.insert(victim);
        }
        break;
      case 3: {
        std::snprintf(key, sizeof key, "d%02d-%06d", id, next++);
        std::string text = someText(random, 4) + ". " + someText(random, 5) + ".";
        expect(veskorAddDocument(connection, "words", "documents", key, text.c_str()), "add document");
        ledger.documents.insert(key);
        break;
      }
      case 4:
        if (!ledger.documents.empty()) {
          std::string victim = pick(ledger.documents);
          expect(veskorDeleteDocument(connection, "documents", victim.c_str()), "delete document");
          ledger.documents.erase(victim);
          ledger.deletedDocuments.insert(victim);
        }
        break;
      case 5:
      case 6: {
        std::string seek = someText(random, 2);
        veskorSearchHits* hits = veskorFindEntry(connection, "words", random() % 2 ? "entries" : "documents",
                                                 "wa", 10, static_cast<int>(random() % 2), 0, seek.c_str());
        expect(hits != nullptr ? VESKOR_OK : veskorGetLatestErrorCode(connection), "find");
        if (hits != nullptr) expect(veskorFreeSearchHits(connection, hits), "free hits");
        break;
      }
      case 7: {
        std::string seek = someText(random, 3);
        veskorDocumentSearchHits* hits =
            random() % 2 ? veskorFindDocument(connection, "words", "documents", "wa", 5, 1, 1, seek.c_str())
                         : veskorCompareDocument(connection, "words", "documents", 5, seek.c_str());
        expect(hits != nullptr ? VESKOR_OK : veskorGetLatestErrorCode(connection), "find document");
        if (hits != nullptr) expect(veskorFreeDocumentSearchHits(connection, hits), "free document hits");
        break;
      }
      case 8:
        expect(veskorSaveKB(connection, random() % 2 ? "entries" : "documents"), "save");
        break;
      case 9:
        expect(veskorBackupKB(connection, backup.c_str(), random() % 2 ? "entries" : "words"), "backup");
        break;
      case 10:
        expect(veskorDefragmentKB(connection, random() % 2 ? "entries" : "documents"), "defragment");
        break;
      case 11: {
        // A private knowledge base, opened and closed, on a connection of its own.
        int own = -1;
        expect(veskorOpenConnection(&own), "open connection");
        expect(veskorCreateKBFile(own, privateFile.c_str(), 1, 0, 0), "create");
        expect(veskorOpenKB(own, privateFile.c_str(), privateName.c_str()), "open");
        expect(veskorAddEntry(own, nullptr, privateName.c_str(), "k", "Ein privater Eintrag"), "private add");
        veskorSearchHits* hits =
            veskorFindEntry(own, privateName.c_str(), privateName.c_str(), nullptr, 5, 0, 0, "privat");
        expect(hits != nullptr && hits->numberHits == 1 ? VESKOR_OK : -1, "private find");
        if (hits != nullptr) expect(veskorFreeSearchHits(own, hits), "free hits");
        expect(veskorSaveKB(own, privateName.c_str()), "private save");
        expect(veskorCloseKB(own, privateName.c_str()), "close");
        expect(veskorRemoveKBFile(own, privateFile.c_str()), "remove");
        expect(veskorCloseConnection(own), "close connection");
        break;
      }
    }
  }
}

std::set<std::string> keysIn(const std::string& file, bool documentKeys) {
  orl::KnowledgeBasePtr kb(knowledgeBase_createFromFile(file.c_str()));
  std::set<std::string> keys;
  for (int32_t i = 0; i <= entryList_getMaxIndex(kb->entryList); ++i) {
    std::string key = entryList_getEntry(kb->entryList, i)->primaryKey;
    keys.insert(documentKeys ? key.substr(0, key.find('?')) : key);
  }
  return keys;
}

TEST_F(StressConcurrency, EveryOperationAtOnceThenEveryAddStoredAndEveryDeleteGone) {
  std::vector<Ledger> ledgers(kThreads);
  uint64_t calls = 0;
  {
    Watchdog watchdog;
    Clock::time_point end = Clock::now() + std::chrono::seconds(stressSeconds());
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
      threads.emplace_back([&, id] {
        int connection = -1;
        if (veskorOpenConnection(&connection) != VESKOR_OK) {
          ledgers[static_cast<std::size_t>(id)].failures.push_back("open connection");
          return;
        }
        mix(id, connection, dir_, end, watchdog, ledgers[static_cast<std::size_t>(id)]);
        veskorCloseConnection(connection);
      });
    }
    for (std::thread& t : threads) t.join();
    calls = watchdog.calls();
  }
  std::set<std::string> entries, documents;
  for (const Ledger& ledger : ledgers) {
    for (const std::string& failure : ledger.failures) ADD_FAILURE() << failure;
    entries.insert(ledger.entries.begin(), ledger.entries.end());
    documents.insert(ledger.documents.begin(), ledger.documents.end());
  }
  ASSERT_EQ(veskorSaveKB(c_, "entries"), VESKOR_OK);
  ASSERT_EQ(veskorSaveKB(c_, "documents"), VESKOR_OK);
  EXPECT_EQ(keysIn(file("entries.kb"), false), entries);
  // A document whose text gave no sentence stores nothing; these all have words.
  EXPECT_EQ(keysIn(file("documents.kb"), true), documents);
  std::printf("[ stress ] %d threads, %d s: %llu calls, %zu entries and %zu documents left\n", kThreads,
              stressSeconds(), static_cast<unsigned long long>(calls), entries.size(), documents.size());
}

}  // namespace
