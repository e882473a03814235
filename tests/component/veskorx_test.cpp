// The object layer through veskorx.hpp, against the real engine library beside libveskorx.so.
#include "veskor/veskorx.hpp"

#include <gtest/gtest.h>

#include <barrier>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"

namespace {

using veskorx::AKB;
using veskorx::Engine;
using veskorx::Error;
using veskorx::Resultset;
using veskorx::Variant;

constexpr int32_t kStatusKeyNotValid = -2147220470;
constexpr int32_t kStatusEntryNotValid = -2147220469;
constexpr int32_t kStatusFile = -2147220476;

// Runs body and returns the veskorx::Error it throws; fails the test when it throws none.
template <typename Body>
Error errorOf(Body body) {
  try {
    body();
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "no veskorx::Error thrown";
  return Error(0, "", "");
}

std::vector<std::string> keysOf(const Resultset& set) {
  std::vector<std::string> keys;
  for (const auto& entry : set) keys.push_back(entry->Key());
  return keys;
}

// Each test runs with its own directory as TMPDIR, where the component makes its temporary word
// knowledge bases, so that they can be counted.
class VeskorX : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* previous = std::getenv("TMPDIR");
    hadTmpDir_ = previous != nullptr;
    if (hadTmpDir_) previousTmpDir_ = previous;
    setenv("TMPDIR", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    EXPECT_TRUE(veskorx::takeDeferredErrors().empty());
    if (hadTmpDir_) {
      setenv("TMPDIR", previousTmpDir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

  std::vector<std::string> temporaryWKBs() const {
    std::vector<std::string> files;
    for (const auto& item : std::filesystem::directory_iterator(dir_.path())) {
      std::string name = item.path().filename().string();
      if (name.rfind("wkb", 0) == 0) files.push_back(item.path().string());
    }
    return files;
  }

  // An initialised engine with one knowledge-base file created and loaded.
  std::shared_ptr<AKB> loadNew(const std::shared_ptr<Engine>& engine, const std::string& name) {
    std::string file = engine->AKBCreate(dir_.file(name));
    return engine->AKBLoad(file);
  }

  veskortest::TempDir dir_;
  bool hadTmpDir_ = false;
  std::string previousTmpDir_;
};

TEST_F(VeskorX, NothingHappensBeforeInitialize) {
  auto engine = Engine::create();
  std::string file = dir_.file("never.kb");
  EXPECT_EQ(engine->AKBCreate(file), "");
  EXPECT_FALSE(std::filesystem::exists(file));
  veskortest::writeFileBytes(file, "x");
  engine->AKBDelete(file);
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(engine->AKBLoad(file), nullptr);
  EXPECT_TRUE(temporaryWKBs().empty());
}

// The temporary WKB lives from Initialize until the last Engine and AKB of the thread have ended;
// a later Initialize starts afresh with a new one, and the engine really works again.
TEST_F(VeskorX, TeardownRemovesTemporaryWKBAndInitializeWorksAgain) {
  std::string firstWKB;
  {
    auto engine = Engine::create();
    engine->Initialize();
    ASSERT_EQ(temporaryWKBs().size(), 1u);
    firstWKB = temporaryWKBs()[0];
    engine->Initialize();
    EXPECT_EQ(temporaryWKBs().size(), 1u);

    std::string path = dir_.file("first.kb");
    EXPECT_EQ(engine->AKBCreate("  " + path + "  "), path);
    std::shared_ptr<AKB> akb = engine->AKBLoad(" " + path);
    ASSERT_NE(akb, nullptr);
    EXPECT_EQ(akb->AKBFilename(), path);
    engine.reset();
    // The AKB keeps the thread's state alive.
    akb->Insert("k", Variant("solid oak table"));
    EXPECT_EQ(akb->Find("solid oak table")->Count(), 1);
    EXPECT_EQ(temporaryWKBs().size(), 1u);
  }
  EXPECT_TRUE(temporaryWKBs().empty());

  for (int round = 0; round < 2; ++round) {
    auto engine = Engine::create();
    engine->Initialize();
    ASSERT_EQ(temporaryWKBs().size(), 1u);
    auto akb = loadNew(engine, "round" + std::to_string(round) + ".kb");
    akb->Insert("k" + std::to_string(round), Variant("green glass bottle"));
    auto hits = akb->Find("green glass bottle");
    ASSERT_EQ(hits->Count(), 1);
    EXPECT_EQ(hits->Item(1)->Key(), "k" + std::to_string(round));
    EXPECT_DOUBLE_EQ(hits->Item(1)->Confidence(), 1.0);
  }
  EXPECT_TRUE(temporaryWKBs().empty());
}

TEST_F(VeskorX, FileNamesInDifferentLetterCaseShareOneRecord) {
  auto engine = Engine::create();
  engine->Initialize();
  std::string path = dir_.file("Shared.kb");
  engine->AKBCreate(path);
  auto first = engine->AKBLoad(path);
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto second = engine->AKBLoad(" " + upper + " ");
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(second->AKBFilename(), path);

  EXPECT_FALSE(second->Modified());
  first->Insert("a", Variant("red brick wall"));
  EXPECT_TRUE(second->Modified());
  EXPECT_EQ(second->Find("red brick wall")->Item("a")->Key(), "a");
  second->Save();
  EXPECT_FALSE(first->Modified());
  // Releasing one object keeps the knowledge base open for the other.
  first.reset();
  EXPECT_EQ(second->Find("red brick wall")->Count(), 1);
}

TEST_F(VeskorX, LetRulesIgnoreValuesOutOfRange) {
  auto engine = Engine::create();
  engine->Initialize();
  auto akb = loadNew(engine, "let.kb");
  EXPECT_EQ(akb->MaxResults(), 100);
  akb->MaxResults(0);
  akb->MaxResults(-5);
  EXPECT_EQ(akb->MaxResults(), 100);
  akb->MaxResults(1000);
  EXPECT_EQ(akb->MaxResults(), 500);
  akb->MaxResults(1);
  EXPECT_EQ(akb->MaxResults(), 1);

  EXPECT_EQ(akb->MinConfidence(), 0.0);
  akb->MinConfidence(1.5);
  akb->MinConfidence(-0.1);
  akb->MinConfidence(std::nan(""));
  EXPECT_EQ(akb->MinConfidence(), 0.0);
  akb->MinConfidence(1.0);
  EXPECT_EQ(akb->MinConfidence(), 1.0);

  EXPECT_EQ(akb->MaxDifference(), 1.0);
  akb->MaxDifference(2.0);
  EXPECT_EQ(akb->MaxDifference(), 1.0);
  akb->MaxDifference(0.0);
  EXPECT_EQ(akb->MaxDifference(), 0.0);
}

TEST_F(VeskorX, KeysAndValuesAreCheckedAndMapped) {
  auto engine = Engine::create();
  engine->Initialize();
  auto akb = loadNew(engine, "keys.kb");

  Error error = errorOf([&] { akb->Insert("k", Variant(42)); });
  EXPECT_EQ(error.number(), kStatusEntryNotValid);
  EXPECT_EQ(static_cast<uint32_t>(error.number()), 0x8004040Bu);
  EXPECT_EQ(error.description(), "entry text not valid");
  EXPECT_EQ(error.source(), "KBAdd");
  error = errorOf([&] { akb->Insert("  ", Variant("some text")); });
  EXPECT_EQ(static_cast<uint32_t>(error.number()), 0x8004040Au);
  EXPECT_EQ(error.description(), "key not valid");
  // Keys longer than 256 characters are refused below the object layer.
  error = errorOf([&] { akb->Insert(std::string(257, 'x'), Variant("long key")); });
  EXPECT_EQ(error.number(), kStatusKeyNotValid);
  EXPECT_EQ(error.source(), "KBAdd");
  EXPECT_FALSE(akb->Modified());

  akb->Insert(" A?B ", Variant(std::vector<std::string>{"yellow", "", "  ", "submarine"}));
  EXPECT_TRUE(akb->Modified());
  auto hits = akb->Find("  yellow submarine ");
  ASSERT_GE(hits->Count(), 1);
  EXPECT_EQ(hits->Item(1)->Key(), "A?B");
  EXPECT_EQ(hits->Item("a?b")->Key(), "A?B");
  EXPECT_DOUBLE_EQ(hits->Item(1)->Confidence(), 1.0);

  // The engine holds the key with U+0007 in place of the question mark.
  akb->Save();
  EXPECT_FALSE(akb->Modified());
  std::string bytes = veskortest::readFileBytes(akb->AKBFilename());
  EXPECT_NE(bytes.find("A\aB"), std::string::npos);
  EXPECT_EQ(bytes.find("A?B"), std::string::npos);

  akb->Delete("A?B ");
  EXPECT_TRUE(akb->Modified());
  EXPECT_EQ(akb->Find("yellow submarine")->Count(), 0);

  // Update replaces every entry of the key.
  akb->Insert("u", Variant("old wooden door"));
  akb->Update("u", Variant(std::vector<Variant>{Variant("new"), Variant(), Variant(true)}));
  hits = akb->Find("old wooden door");
  for (const auto& entry : *hits) EXPECT_LT(entry->Confidence(), 1.0);
  hits = akb->Find("new True");
  ASSERT_EQ(hits->Count(), 1);
  EXPECT_DOUBLE_EQ(hits->Item("u")->Confidence(), 1.0);
}

TEST_F(VeskorX, FindFiltersByConfidenceAndDifference) {
  auto engine = Engine::create();
  engine->Initialize();
  auto akb = loadNew(engine, "filter.kb");

  // Three spaces: an empty Resultset; the engine, which refuses a blank seek text, is not asked.
  auto empty = akb->Find("   ");
  EXPECT_EQ(empty->Count(), 0);
  for ([[maybe_unused]] const auto& entry : *empty) ADD_FAILURE() << "empty Resultset has an entry";
  EXPECT_EQ(empty->NewEnum().Next(), nullptr);

  akb->Insert("best", Variant("kitchen table oak"));
  akb->Insert("middle", Variant("kitchen table pine"));
  akb->Insert("worst", Variant("kitchen chair"));
  auto all = akb->Find("kitchen table oak");
  ASSERT_EQ(keysOf(*all), (std::vector<std::string>{"best", "middle", "worst"}));
  double c0 = all->Item(1)->Confidence(), c1 = all->Item(2)->Confidence(), c2 = all->Item(3)->Confidence();
  ASSERT_GT(c0, c1);
  ASSERT_GT(c1, c2);

  akb->MaxDifference(((c0 - c1) + (c0 - c2)) / 2);
  EXPECT_EQ(keysOf(*akb->Find("kitchen table oak")), (std::vector<std::string>{"best", "middle"}));
  akb->MaxDifference(c0 - c1);
  EXPECT_EQ(akb->Find("kitchen table oak")->Count(), 2);
  akb->MaxDifference(1.0);
  akb->MinConfidence((c0 + c1) / 2);
  EXPECT_EQ(keysOf(*akb->Find("kitchen table oak")), (std::vector<std::string>{"best"}));
  akb->MinConfidence(c2);
  EXPECT_EQ(akb->Find("kitchen table oak")->Count(), 3);
  akb->MinConfidence(0.0);
  akb->MaxResults(2);
  EXPECT_EQ(akb->Find("kitchen table oak")->Count(), 2);
}

TEST_F(VeskorX, NumericKeysAreReachedByPositionOnly) {
  auto engine = Engine::create();
  engine->Initialize();
  auto akb = loadNew(engine, "numeric.kb");
  akb->Insert("K1", Variant("silver spoon"));
  akb->Insert("4711", Variant("silver spoons set"));
  auto hits = akb->Find("silver spoon");
  ASSERT_EQ(keysOf(*hits), (std::vector<std::string>{"K1", "4711"}));
  EXPECT_GE(hits->Item(1)->Confidence(), hits->Item(2)->Confidence());

  EXPECT_EQ(hits->Item(1), hits->Item("K1"));
  EXPECT_EQ(hits->Item(2)->Key(), "4711");
  EXPECT_EQ(hits->Item(1.6)->Key(), "4711");
  Error error = errorOf([&] { hits->Item("4711"); });
  EXPECT_EQ(error.number(), 5);
  EXPECT_EQ(errorOf([&] { hits->Item("missing"); }).number(), 5);
  EXPECT_EQ(errorOf([&] { hits->Item(0); }).number(), 9);
  EXPECT_EQ(errorOf([&] { hits->Item(3); }).number(), 9);

  auto enumerator = hits->NewEnum();
  EXPECT_EQ(enumerator.Next()->Key(), "K1");
  EXPECT_EQ(enumerator.Next()->Key(), "4711");
  EXPECT_EQ(enumerator.Next(), nullptr);
}

// Collection keys ignore letter case, so two engine keys that differ only in case collide: Find
// reports the duplicate instead of a Resultset (and gives the engine's hit list back).
TEST_F(VeskorX, DuplicateCollectionKeyEndsFind) {
  auto engine = Engine::create();
  engine->Initialize();
  auto akb = loadNew(engine, "dup.kb");
  akb->Insert("Dup", Variant("copper kettle"));
  akb->Insert("dup", Variant("copper kettles"));
  Error error = errorOf([&] { akb->Find("copper kettle"); });
  EXPECT_EQ(error.number(), 457);
  EXPECT_EQ(error.source(), "Find");
  akb->MaxResults(1);
  EXPECT_EQ(akb->Find("copper kettle")->Count(), 1);
}

// Load failures name their step. Without a temporary WKB every load fails at its WKB step; the
// AKB it had opened is given back, so the thread still tears down and the next Initialize starts
// afresh.
TEST_F(VeskorX, LoadFailuresNameTheirStepAndLeaveNothingOpen) {
  std::string path = dir_.file("plain.kb");
  {
    setenv("TMPDIR", std::string(600, 'd').c_str(), 1);
    auto engine = Engine::create();
    engine->Initialize();
    Error error = errorOf([&] { engine->AKBLoad(path); });
    EXPECT_EQ(error.source(), "AKBLoad");
    EXPECT_EQ(error.number(), kStatusFile);
    EXPECT_EQ(error.description(), "file error");
    engine->AKBCreate(path);
    error = errorOf([&] { engine->AKBLoad(path); });
    EXPECT_EQ(error.source(), "WKBLoad");
    error = errorOf([&] { engine->AKBLoad(path); });
    EXPECT_EQ(error.source(), "WKBLoad");
    setenv("TMPDIR", dir_.path().c_str(), 1);
  }
  auto engine = Engine::create();
  engine->Initialize();
  EXPECT_EQ(temporaryWKBs().size(), 1u);
  EXPECT_NE(engine->AKBLoad(path), nullptr);
}

// A save the engine refuses is reported, and Modified is cleared all the same.
TEST_F(VeskorX, FailedSaveClearsModified) {
  auto engine = Engine::create();
  engine->Initialize();
  auto akb = loadNew(engine, "save.kb");
  akb->Insert("k", Variant("brass lamp"));
  // Another writer changed the file since it was loaded.
  auto later = std::filesystem::last_write_time(akb->AKBFilename()) + std::chrono::seconds(5);
  std::filesystem::last_write_time(akb->AKBFilename(), later);
  Error error = errorOf([&] { akb->Save(); });
  EXPECT_EQ(error.source(), "Save");
  EXPECT_NE(error.number(), 0);
  EXPECT_FALSE(akb->Modified());
  akb->Save();  // nothing to save: no engine call, no error
}

// Teardown failures cannot be thrown from a destructor; they wait for the client, and the
// teardown completes once its cause is gone.
TEST_F(VeskorX, TeardownFailureIsDeferred) {
  std::string temporary;
  {
    auto engine = Engine::create();
    engine->Initialize();
    ASSERT_EQ(temporaryWKBs().size(), 1u);
    temporary = temporaryWKBs()[0];
    std::filesystem::remove(temporary);
  }
  std::vector<Error> errors = veskorx::takeDeferredErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].source(), "RemoveKnowledgeBase");
  EXPECT_EQ(errors[0].number(), kStatusFile);
  EXPECT_TRUE(veskorx::takeDeferredErrors().empty());

  veskortest::writeFileBytes(temporary, "");
  Engine::create().reset();
  EXPECT_TRUE(veskorx::takeDeferredErrors().empty());
  EXPECT_FALSE(std::filesystem::exists(temporary));
}

class VeskorXConcurrency : public VeskorX {};

// Each client thread has its own connection, records and temporary WKB; the knowledge bases of
// the two threads do not see each other's entries.
TEST_F(VeskorXConcurrency, ThreadsHaveTheirOwnState) {
  constexpr int kThreads = 2;
  // The temporary WKBs are counted while every thread still holds its engine: a thread that ended
  // its engine first would have removed its file already.
  std::barrier initialised(kThreads + 1), counted(kThreads + 1), released(kThreads + 1);
  std::vector<int> hitCounts(kThreads, -1);
  std::vector<std::string> keys(kThreads);
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      bool arrived = false;
      try {
        auto engine = Engine::create();
        engine->Initialize();
        auto akb = engine->AKBLoad(engine->AKBCreate(dir_.file("thread" + std::to_string(t) + ".kb")));
        initialised.arrive_and_wait();
        arrived = true;
        counted.arrive_and_wait();
        for (int i = 0; i < 20; ++i) {
          std::string key = "t" + std::to_string(t) + "-" + std::to_string(i);
          akb->Insert(key, Variant("pewter mug " + std::string(1, static_cast<char>('a' + i)) + "ring"));
        }
        auto hits = akb->Find("pewter mug hring");
        hitCounts[t] = hits->Count();
        keys[t] = hits->Item(1)->Key();
        akb->Save();
      } catch (const std::exception& e) {
        failures[t] = e.what();
      }
      if (!arrived) {
        initialised.arrive_and_wait();
        counted.arrive_and_wait();
      }
      released.arrive_and_wait();
    });
  }
  initialised.arrive_and_wait();
  EXPECT_EQ(temporaryWKBs().size(), 2u);
  counted.arrive_and_wait();
  released.arrive_and_wait();
  for (auto& thread : threads) thread.join();
  EXPECT_TRUE(temporaryWKBs().empty());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], "");
    EXPECT_EQ(hitCounts[t], 20);
    EXPECT_EQ(keys[t], "t" + std::to_string(t) + "-7");
  }
}

}  // namespace
