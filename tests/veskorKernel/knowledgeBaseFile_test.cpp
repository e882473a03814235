#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "kazlib/hash.h"
#include "kernelTestUtil.h"
#include "support/tempDir.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

using kerneltest::find;
using kerneltest::findByText;
using kerneltest::Hit;

std::string int32Bytes(int32_t v) {
  return std::string(reinterpret_cast<const char*>(&v), 4);
}
std::string stringBytes(const std::string& s) {
  return int32Bytes(static_cast<int32_t>(s.size())) + s;
}

bool anyTemporaryFileIn(const std::filesystem::path& dir) {
  for (const auto& item : std::filesystem::directory_iterator(dir)) {
    if (item.path().filename().string().find(".tmp") != std::string::npos) return true;
  }
  return false;
}

TEST(KnowledgeBaseFile, ExactBytesOfASmallKnowledgeBase) {
  veskortest::TempDir dir;
  std::string file = dir.file("small.kb");
  orl::KnowledgeBasePtr kb(knowledgeBase_create(0, 0, 3, 2));
  knowledgeBase_addEntry(kb.get(), "k1", "ab  cd", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "k2", "cd", nullptr, 0.0);
  knowledgeBase_saveAs(kb.get(), file.c_str());

  std::string expected =
      "KBSE" + int32Bytes(1) + int32Bytes(0) + int32Bytes(0) + int32Bytes(3) + int32Bytes(2);
  expected += "ELST" + int32Bytes(1) + int32Bytes(82) + int32Bytes(2);
  expected += stringBytes("k1") + stringBytes("ab cd") + int32Bytes(0) + std::string(8, '\0');
  expected += stringBytes("k2") + stringBytes("cd") + int32Bytes(0) + std::string(8, '\0');
  expected += "FSPC" + int32Bytes(1) + int32Bytes(2);
  // Records in the order of the hash table's chains (the default text hash, 64 chains).
  std::string ab =
      stringBytes("ab") + int32Bytes(0) + int32Bytes(1) + int32Bytes(0) + int32Bytes(1) + int32Bytes(0);
  std::string cd = stringBytes("cd") + int32Bytes(1) + int32Bytes(2) + int32Bytes(0) + int32Bytes(2) +
                   int32Bytes(0) + int32Bytes(1);
  bool abFirst = (hash_fun_default("ab") & 63) <= (hash_fun_default("cd") & 63);
  ASSERT_NE(hash_fun_default("ab") & 63, hash_fun_default("cd") & 63);
  expected += abFirst ? ab + cd : cd + ab;
  EXPECT_EQ(veskortest::readFileBytes(file), expected);
  EXPECT_EQ(kb->fileName, nullptr);  // saving under a name does not bind
  EXPECT_FALSE(anyTemporaryFileIn(dir.path()));
}

// A knowledge base with deletions, feature blocks and several kinds of entry.
orl::KnowledgeBasePtr sampleKnowledgeBase() {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 7, 15, 1));
  std::mt19937 random(7);
  const char* words[] = {"Haus",
                         "Maus",
                         "Stra\xDF"
                         "e",
                         "Strasse",
                         "Schule",
                         "Meier",
                         "Mayer",
                         "Rathaus",
                         "Bahnhof",
                         "Hausmeister",
                         "\xC4pfel",
                         "\xFC"
                         "ber",
                         "Gr\xF6\xDF"
                         "e",
                         "Maier"};
  int n = 0;
  for (const char* word : words) {
    std::vector<unsigned char> block = kerneltest::block(static_cast<unsigned char>(n));
    knowledgeBase_addEntry(kb.get(), ("key" + std::to_string(n++)).c_str(), word, block.data(),
                           (random() % 100) / 100.0);
  }
  knowledgeBase_deleteEntry(kb.get(), "key3", 2);
  knowledgeBase_deleteEntry(kb.get(), "key10", 2);
  return kb;
}

const char* const kSeeks[] = {"Haus",   "Hauss",     "Strase",  "Meyer", "Schuhle",
                              "aepfel", "Gr\xF6sse", "rathaus", "b"};

TEST(KnowledgeBaseFile, AFileReadBackAnswersEverySearchAsBefore) {
  veskortest::TempDir dir;
  std::string file = dir.file("sample.kb");
  orl::KnowledgeBasePtr kb = sampleKnowledgeBase();
  std::vector<std::vector<Hit>> before;
  for (const char* seek : kSeeks) before.push_back(find(kb.get(), seek, 20));
  knowledgeBase_saveAs(kb.get(), file.c_str());
  EXPECT_EQ(kb->modificationFlags, knowledgeBase_changed);  // only the defragmentation flag is cleared

  orl::KnowledgeBasePtr loaded(knowledgeBase_createFromFile(file.c_str()));
  EXPECT_STREQ(loaded->fileName, file.c_str());
  EXPECT_EQ(loaded->modificationFlags, 0);
  EXPECT_EQ(loaded->encoding, 7);
  EXPECT_EQ(loaded->entryInformation, 15);
  EXPECT_EQ(entryList_getMaxIndex(loaded->entryList), 11);  // 14 entries less the 2 deleted
  for (std::size_t i = 0; i < std::size(kSeeks); ++i)
    EXPECT_EQ(find(loaded.get(), kSeeks[i], 20), before[i]) << kSeeks[i];
  EXPECT_EQ(findByText(loaded.get(), "rathaus", 5), (std::vector<Hit>{{"key7", 1.0}}));
  const entry* e = entryList_getEntry(loaded->entryList, 10);
  EXPECT_STREQ(e->primaryKey, "key12");
  EXPECT_EQ(e->syntacticFeatures[81], 12);
  knowledgeBase_addEntry(loaded.get(), "new", "Haus", kerneltest::block(0).data(), 0.0);
  EXPECT_EQ(find(loaded.get(), "Haus", 2), (std::vector<Hit>{{"key0", 1.0}, {"new", 1.0}}));
  knowledgeBase_deleteEntry(loaded.get(), "key13", 2);  // an entry whose point was loaded
  EXPECT_EQ(findByText(loaded.get(), "maier", 5), (std::vector<Hit>{}));
}

TEST(KnowledgeBaseFile, AnEntryWithoutFeaturesCanBeDeletedAfterLoading) {
  veskortest::TempDir dir;
  std::string file = dir.file("bare.kb");
  orl::KnowledgeBasePtr kb(knowledgeBase_create(0, 0, 3, 1));  // no framing: "A" has no tuple
  knowledgeBase_addEntry(kb.get(), "k1", "ab", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "k2", "A", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "k3", "B", nullptr, 0.0);
  knowledgeBase_saveAs(kb.get(), file.c_str());
  orl::KnowledgeBasePtr loaded(knowledgeBase_createFromFile(file.c_str()));
  knowledgeBase_deleteEntry(loaded.get(), "k3", 2);  // its point lies well beyond every entry set
  EXPECT_EQ(findByText(loaded.get(), "B", 1), (std::vector<Hit>{}));
  knowledgeBase_addEntry(loaded.get(), "k4", "ab", nullptr, 0.0);
  EXPECT_EQ(find(loaded.get(), "ab", 5), (std::vector<Hit>{{"k1", 1.0}, {"k4", 1.0}}));
}

TEST(KnowledgeBaseFile, AnEmptyKeySurvivesSavingAndStoredHolesAnswerNoSearch) {
  veskortest::TempDir dir;
  std::string file = dir.file("keys.kb");
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 2, 1));  // single entries: no text stored
  knowledgeBase_addEntry(kb.get(), "", "Hamburg", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "HB", "Bremen", nullptr, 0.0);
  knowledgeBase_saveAs(kb.get(), file.c_str());
  orl::KnowledgeBasePtr loaded(knowledgeBase_createFromFile(file.c_str()));
  EXPECT_EQ(find(loaded.get(), "Hamburg", 1), (std::vector<Hit>{{"", 1.0}}));
  EXPECT_EQ(loaded->modificationFlags, 0);

  // Another writer's file with a hole (null key and text) whose point still has features.
  std::string bytes = veskortest::readFileBytes(file);
  std::string emptyKeyRecord = int32Bytes(0) + int32Bytes(-1);
  std::string::size_type at = bytes.find(emptyKeyRecord);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 4, int32Bytes(-1));
  veskortest::writeFileBytes(file, bytes);
  loaded.reset(knowledgeBase_createFromFile(file.c_str()));
  EXPECT_EQ(find(loaded.get(), "Hamburg", 2), (std::vector<Hit>{}));
  EXPECT_EQ(find(loaded.get(), "Bremen", 2), (std::vector<Hit>{{"HB", 1.0}}));
  EXPECT_EQ(loaded->modificationFlags, 2);  // the next save leaves the hole out
  knowledgeBase_save(loaded.get());
  loaded.reset(knowledgeBase_createFromFile(file.c_str()));
  EXPECT_EQ(entryList_getMaxIndex(loaded->entryList), 0);
  EXPECT_EQ(find(loaded.get(), "Bremen", 2), (std::vector<Hit>{{"HB", 1.0}}));
}

TEST(KnowledgeBaseFile, SaveWritesOnlyChangesAndRefusesARewrittenFile) {
  veskortest::TempDir dir;
  std::string file = dir.file("bound.kb");
  orl::KnowledgeBasePtr fresh = sampleKnowledgeBase();
  EXPECT_RAISES(knowledgeBase_save(fresh.get()), 20, 7, "pThis->fileName == NULL in knowledgeBase_save");
  knowledgeBase_saveAs(fresh.get(), file.c_str());

  orl::KnowledgeBasePtr kb(knowledgeBase_createFromFile(file.c_str()));
  orlFileTime loadedTime = kb->lastSaveTime;
  knowledgeBase_save(kb.get());  // unchanged: nothing written
  EXPECT_EQ(kb->lastSaveTime, loadedTime);

  knowledgeBase_addEntry(kb.get(), "added", "Fenster", kerneltest::block(1).data(), 0.0);
  knowledgeBase_save(kb.get());
  EXPECT_EQ(kb->modificationFlags, 0);
  orlFileTime savedTime;
  ASSERT_TRUE(orlGetFileModificationTime(file.c_str(), &savedTime));
  EXPECT_EQ(kb->lastSaveTime, savedTime);

  // Another program rewrites the file within the same second: still detected.
  std::string bytes = veskortest::readFileBytes(file);
  veskortest::writeFileBytes(file, bytes);
  knowledgeBase_addEntry(kb.get(), "lost", "Dach", kerneltest::block(1).data(), 0.0);
  EXPECT_RAISES(knowledgeBase_save(kb.get()), 20, 9,
                "Inkonsistenter Zeitpunkt der letzten Sicherung in knowledgeBase_save");
  EXPECT_EQ(veskortest::readFileBytes(file), bytes);
  EXPECT_EQ(kb->modificationFlags, knowledgeBase_changed);

  std::filesystem::remove(file);
  kerneltest::Raised missing = kerneltest::raised([&] { knowledgeBase_save(kb.get()); });
  EXPECT_EQ(missing.group, 5000);
  EXPECT_EQ(missing.code, 6);
}

TEST(KnowledgeBaseFile, AFailingSaveKeepsThePreviousFile) {
  veskortest::TempDir dir;
  std::string file = dir.file("keep.kb");
  orl::KnowledgeBasePtr original = sampleKnowledgeBase();
  knowledgeBase_saveAs(original.get(), file.c_str());
  std::string good = veskortest::readFileBytes(file);

  orl::KnowledgeBasePtr kb(knowledgeBase_createFromFile(file.c_str()));
  orlFileTime loadedTime = kb->lastSaveTime;
  knowledgeBase_addEntry(kb.get(), "more", "Garten", kerneltest::block(2).data(), 0.0);
  for (int64_t budget :
       {int64_t{0}, int64_t{30}, static_cast<int64_t>(good.size() / 2), static_cast<int64_t>(good.size())}) {
    stream_setWriteFailureAfter(budget);
    kerneltest::Raised failure = kerneltest::raised([&] { knowledgeBase_save(kb.get()); });
    stream_setWriteFailureAfter(-1);
    EXPECT_EQ(failure.group, 5000) << budget;
    EXPECT_EQ(failure.code, 3) << budget;
    EXPECT_EQ(veskortest::readFileBytes(file), good) << budget;
    EXPECT_FALSE(anyTemporaryFileIn(dir.path())) << budget;
    EXPECT_EQ(kb->lastSaveTime, loadedTime);
    EXPECT_STREQ(kb->fileName, file.c_str());
    EXPECT_EQ(kb->modificationFlags, knowledgeBase_changed);
  }
  knowledgeBase_save(kb.get());
  orl::KnowledgeBasePtr reloaded(knowledgeBase_createFromFile(file.c_str()));
  EXPECT_EQ(find(reloaded.get(), "Garten", 1), (std::vector<Hit>{{"more", 1.0}}));
}

// Loading must refuse every damaged file with an error of its own, leaving nothing behind (the
// sanitizer builds check the leaks), and never crash or allocate what the file cannot hold.
void expectRefusedOrUsable(const std::string& file, const std::string& what) {
  orl::KnowledgeBasePtr kb;
  try {
    kb.reset(knowledgeBase_createFromFile(file.c_str()));
  } catch (const orl::Exception& e) {
    static const std::set<int32_t> groups = {5000, 17, 19, 20};
    EXPECT_TRUE(groups.count(e.group()) != 0)
        << what << ": " << e.group() << "/" << e.code() << " " << e.message();
    return;
  }
  // A damage that still makes a consistent file (say, a changed value or setting) must give an
  // object that works; its operations may refuse (a changed setting can leave a seek text without
  // features), but only with errors of their own.
  try {
    for (const char* seek : kSeeks) find(kb.get(), seek, 50);
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 19) << what << ": " << e.message();
  }
  knowledgeBase_deleteEntry(kb.get(), "key", 1);
  knowledgeBase_defragment(kb.get());
  std::filesystem::remove(file + ".resaved");
  orl::StreamPtr out(stream_createFileOutputStream((file + ".resaved").c_str()));
  entryList_save(kb->entryList, out.get());
  featureSpace_save(kb->featureSpace, out.get());
}

// Removing first: rewriting a file in place through truncation makes the file system flush it.
void writeFresh(const std::string& file, const std::string& bytes) {
  std::filesystem::remove(file);
  veskortest::writeFileBytes(file, bytes);
}

TEST(KnowledgeBaseFile, CorruptFilesAreRefusedCleanly) {
  veskortest::TempDir dir;
  std::string good = dir.file("good.kb");
  orl::KnowledgeBasePtr kb = sampleKnowledgeBase();
  knowledgeBase_saveAs(kb.get(), good.c_str());
  std::string bytes = veskortest::readFileBytes(good);
  std::string bad = dir.file("bad.kb");

  for (std::size_t length = 0; length < bytes.size(); ++length) {
    writeFresh(bad, bytes.substr(0, length));
    kerneltest::Raised r =
        kerneltest::raised([&] { knowledgeBase_free(knowledgeBase_createFromFile(bad.c_str())); });
    EXPECT_NE(r.group, 0) << "truncated to " << length;
  }
  // Every 4 bytes that could be a count, a length or an index (at any offset) replaced by hostile
  // values.
  int damagedFiles = 0;
  for (std::size_t offset = 0; offset + 4 <= bytes.size(); ++offset) {
    int32_t original;
    std::memcpy(&original, bytes.data() + offset, 4);
    if (original < -1 || original > 100000) continue;
    for (int32_t value : {-1, -2, 0, 0x7FFFFFFF, 0x40000000, original + 1, original - 1}) {
      ++damagedFiles;
      std::string damaged = bytes;
      std::memcpy(damaged.data() + offset, &value, 4);
      writeFresh(bad, damaged);
      expectRefusedOrUsable(bad, "offset " + std::to_string(offset) + " value " + std::to_string(value));
    }
  }
  EXPECT_GT(damagedFiles, 1000);
}

TEST(KnowledgeBaseFile, InconsistentSectionsAreFormatErrors) {
  veskortest::TempDir dir;
  std::string file = dir.file("x.kb");
  auto header = [] {
    return "KBSE" + int32Bytes(1) + int32Bytes(0) + int32Bytes(0) + int32Bytes(3) + int32Bytes(2);
  };
  auto oneEntry = [] {
    return "ELST" + int32Bytes(1) + int32Bytes(82) + int32Bytes(1) + stringBytes("k") + stringBytes("t") +
           int32Bytes(0) + std::string(8, '\0');
  };
  auto feature = [](std::initializer_list<int32_t> indices) {
    std::string out = stringBytes("t") + int32Bytes(std::data(indices)[indices.size() - 1]) +
                      int32Bytes(static_cast<int32_t>(indices.size())) + int32Bytes(0) +
                      int32Bytes(static_cast<int32_t>(indices.size()));
    for (int32_t i : indices) out += int32Bytes(i);
    return out;
  };
  auto load = [&](const std::string& content) {
    veskortest::writeFileBytes(file, content);
    knowledgeBase_free(knowledgeBase_createFromFile(file.c_str()));
  };
  EXPECT_NO_THROW(load(header() + oneEntry() + "FSPC" + int32Bytes(1) + int32Bytes(1) + feature({0})));
  EXPECT_RAISES(load(header() + oneEntry() + "FSPC" + int32Bytes(1) + int32Bytes(1) + feature({1})), 20, 10,
                "Falsches Dateiformat in knowledgeBase_createFromFile");
  EXPECT_RAISES(
      load(header() + oneEntry() + "FSPC" + int32Bytes(1) + int32Bytes(2) + feature({0}) + feature({0})), 19,
      3, "Falsches Dateiformat in featureSpace_createFromStream");
  EXPECT_RAISES(load("KBSX" + header().substr(4) + oneEntry()), 20, 10,
                "Falsches Dateiformat in knowledgeBase_createFromFile");
  std::string shortBlock = "ELST" + int32Bytes(1) + int32Bytes(82) + int32Bytes(1) + stringBytes("k") +
                           stringBytes("t") + int32Bytes(1) + "x" + std::string(8, '\0');
  EXPECT_RAISES(load(header() + shortBlock + "FSPC" + int32Bytes(1) + int32Bytes(0)), 17, 3,
                "Falsches Dateiformat in entryList_createFromStream");
  std::string descending = "FSPC" + int32Bytes(1) + int32Bytes(1) + stringBytes("t") + int32Bytes(0) +
                           int32Bytes(2) + int32Bytes(0) + int32Bytes(2) + int32Bytes(0) + int32Bytes(0);
  EXPECT_RAISES(load(header() + oneEntry() + descending), 19, 3,
                "Falsches Dateiformat in featureSpace_createFromStream");
  EXPECT_RAISES(knowledgeBase_createFromFile(nullptr), 20, 1,
                "pFileName == NULL in knowledgeBase_createFromFile");
  EXPECT_RAISES(knowledgeBase_saveAs(nullptr, "x"), 20, 1,
                "pThis == NULL || pFileName == NULL in knowledgeBase_saveAs");
}

}  // namespace
