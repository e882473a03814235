// Saves killed part-way. A child process adds entries and saves in a loop, reporting each save
// that returned; it is killed with SIGKILL at a random moment, again and again. Each time the
// knowledge base must open and hold exactly the entries of a completed save, and no temporary
// file may remain once it has been opened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"
#include "veskor/veskorAPI.h"
#include "veskorKernel/knowledgeBaseRecord.h"

namespace {

constexpr int kRounds = 50;
constexpr int kEntriesPerSave = 5;

std::string keyOf(int n) {
  char key[16];
  std::snprintf(key, sizeof key, "e%06d", n);
  return key;
}

// Words of letters, which the text pipeline keeps (numbers it drops): n = 4 gives "Eintrag aaaaae".
std::string textOf(int n) {
  std::string word = keyOf(n).substr(1);
  for (char& digit : word) digit = static_cast<char>('a' + (digit - '0'));
  return "Eintrag " + word;
}

// The child: from `first` on, adds kEntriesPerSave entries, saves, writes the new number of
// entries to the pipe, and again, until it is killed. Never returns.
[[noreturn]] void addAndSaveForever(const std::string& file, int first, int report) {
  int c = -1;
  if (veskorInit() != VESKOR_OK || veskorOpenConnection(&c) != VESKOR_OK ||
      veskorOpenKB(c, file.c_str(), "kb") != VESKOR_OK) {
    _exit(3);
  }
  for (int n = first;; n += kEntriesPerSave) {
    for (int i = n; i < n + kEntriesPerSave; ++i) {
      if (veskorAddEntry(c, nullptr, "kb", keyOf(i).c_str(), textOf(i).c_str()) != VESKOR_OK) _exit(4);
    }
    if (veskorSaveKB(c, "kb") != VESKOR_OK) _exit(5);
    int saved = n + kEntriesPerSave;
    if (write(report, &saved, sizeof saved) != static_cast<ssize_t>(sizeof saved)) _exit(6);
  }
}

std::vector<std::string> temporaryFiles(const std::filesystem::path& dir) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name != "kb") found.push_back(name);
  }
  return found;
}

// The keys stored in the file, in index order.
std::vector<std::string> storedKeys(const std::string& file) {
  orl::KnowledgeBasePtr kb(knowledgeBase_createFromFile(file.c_str()));
  std::vector<std::string> keys;
  for (int32_t i = 0; i <= entryList_getMaxIndex(kb->entryList); ++i) {
    keys.push_back(entryList_getEntry(kb->entryList, i)->primaryKey);
  }
  return keys;
}

TEST(CrashSafety, KilledSavesLeaveACompletedSaveAndNoTemporaryFile) {
  veskortest::TempDir dir;
  const std::string file = dir.file("kb");
  int c = -1;
  ASSERT_EQ(veskorInit(), VESKOR_OK);
  ASSERT_EQ(veskorOpenConnection(&c), VESKOR_OK);
  ASSERT_EQ(veskorCreateKBFile(c, file.c_str(), 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorCleanup(), VESKOR_OK);

  std::mt19937 random(20240615);
  int entries = 0;  // of the latest save known to be complete
  int killedWithTemporaryFile = 0;
  for (int round = 0; round < kRounds; ++round) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeEnds[0]);
      addAndSaveForever(file, entries, pipeEnds[1]);
    }
    close(pipeEnds[1]);
    // Let it save at least once, then kill it wherever it is.
    int firstSave = 0;
    ASSERT_EQ(read(pipeEnds[0], &firstSave, sizeof firstSave), static_cast<ssize_t>(sizeof firstSave))
        << "the child stopped before its first save";
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30000)(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself with " << WEXITSTATUS(status);
    int reported = firstSave;
    for (int saved = 0; read(pipeEnds[0], &saved, sizeof saved) == static_cast<ssize_t>(sizeof saved);) {
      reported = saved;
    }
    close(pipeEnds[0]);

    if (!temporaryFiles(dir.path()).empty()) ++killedWithTemporaryFile;
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&c), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(c, file.c_str(), "kb"), VESKOR_OK);
    EXPECT_EQ(temporaryFiles(dir.path()), std::vector<std::string>{})
        << "round " << round << " after opening";
    ASSERT_EQ(veskorCleanup(), VESKOR_OK);

    // The save after the last one reported may have completed before the report was written.
    std::vector<std::string> keys = storedKeys(file);
    int stored = static_cast<int>(keys.size());
    ASSERT_TRUE(stored == reported || stored == reported + kEntriesPerSave)
        << "round " << round << ": " << stored << " entries stored, " << reported << " reported";
    for (int i = 0; i < stored; ++i)
      ASSERT_EQ(keys[static_cast<std::size_t>(i)], keyOf(i)) << "round " << round;
    // And the engine finds the newest of them.
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&c), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(c, file.c_str(), "kb"), VESKOR_OK);
    veskorSearchHits* hits = veskorFindEntry(c, "kb", "kb", nullptr, 1, 0, 0, textOf(stored - 1).c_str());
    ASSERT_NE(hits, nullptr);
    ASSERT_EQ(hits->numberHits, 1);
    EXPECT_EQ(std::string(hits->hits[0].primaryKey), keyOf(stored - 1));
    EXPECT_EQ(veskorFreeSearchHits(c, hits), VESKOR_OK);
    ASSERT_EQ(veskorCleanup(), VESKOR_OK);
    entries = stored;
  }
  std::printf("[ crash safety ] %d kills, %d during a save (a temporary file was left), %d entries saved\n",
              kRounds, killedWithTemporaryFile, entries);
  // Saves take most of the child's time: kills that never land in one would test nothing.
  EXPECT_GT(killedWithTemporaryFile, 0);
}

}  // namespace
