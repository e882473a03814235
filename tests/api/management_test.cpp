// Lifecycle, connections, latest error and the management of knowledge bases and word
// associators, through the exported functions of libveskoreng.so. Files are checked with the
// kernel's own loader, linked in statically (the engine keeps its copy to itself).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskor/veskorAPI.h"
#include "veskor/veskorExt.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

using namespace std::chrono_literals;

const char* const kManagementSource = "\nin file \"veskorAPI/veskorAPIKBManagement.cpp\" line ";

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class Management : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&c_), VESKOR_OK);
  }
  void TearDown() override {
    EXPECT_EQ(veskorCleanup(), VESKOR_OK);
    std::filesystem::current_path(original_);
  }

  std::string message() {
    char* text = veskorGetLatestErrorMessage(c_);
    std::string copy = text != nullptr ? text : "<null>";
    free(text);
    return copy;
  }

  void writeWordAssociator(const std::string& name) {
    veskortest::WordAssociatorFixture fixture({"apfel", "birne"});
    fixture.connect("apfel", "birne", 9.0f);
    fixture.write(dir_.file(name));
  }

  static orl::KnowledgeBasePtr load(const std::string& file) {
    return orl::KnowledgeBasePtr(knowledgeBase_createFromFile(file.c_str()));
  }

  veskortest::TempDir dir_;
  std::filesystem::path original_;
  int c_ = -1;
};

TEST_F(Management, LifecycleStatuses) {
  EXPECT_EQ(veskorInit(), VESKOR_ERROR_ALREADY_INITIALIZED);
  ASSERT_EQ(veskorCreateKBFile(c_, "a.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "a.kb", "main"), VESKOR_OK);
  // The second veskorInit changed nothing.
  EXPECT_EQ(veskorInit(), VESKOR_ERROR_ALREADY_INITIALIZED);
  EXPECT_EQ(veskorSaveKB(c_, "main"), VESKOR_OK);

  ASSERT_EQ(veskorCleanup(), VESKOR_OK);
  EXPECT_EQ(veskorCleanup(), VESKOR_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(veskorSaveKB(c_, "main"), VESKOR_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(veskorGetLatestErrorMessage(c_), nullptr);

  ASSERT_EQ(veskorInit(), VESKOR_OK);
  // Connections and objects of the earlier initialisation are gone; so is the latest error.
  EXPECT_EQ(veskorSaveKB(c_, "main"), VESKOR_ERROR_IDENTIFIER);
  int fresh = -1;
  ASSERT_EQ(veskorOpenConnection(&fresh), VESKOR_OK);
  EXPECT_EQ(veskorGetLatestErrorCode(fresh), VESKOR_ERROR_IDENTIFIER);
  c_ = fresh;
  EXPECT_EQ(veskorSaveKB(c_, "main"), VESKOR_ERROR_KBNAME);
}

TEST_F(Management, CreateKinds) {
  EXPECT_EQ(veskorCreateKBFile(c_, "x.kb", 5, 0, 0), VESKOR_ERROR_LANGUAGE);
  EXPECT_TRUE(startsWith(message(), std::string("error: unknown language given in veskorCreateKBFile()") +
                                        kManagementSource));
  EXPECT_FALSE(std::filesystem::exists("x.kb"));
  EXPECT_EQ(veskorCreateKBFile(c_, nullptr, 1, 0, 0), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_TRUE(startsWith(message(), "error: pKBFileName == NULL in veskorCreateKBFile()\n"));
  EXPECT_EQ(veskorCreateKBFile(c_, "  ", 1, 0, 0), VESKOR_ERROR_FILENAME);

  struct Kind {
    const char* file;
    int language, forDocuments, kind;
    int32_t encoding, entryInformation, featureType;
  } kinds[] = {
      {"entries.kb", 0, 0, 0, 6, 2, 1},  {"documents.kb", 2, 7, 0, 2, 2, 2},
      {"words.kb", 1, 1, 1, 6, 11, 1},   {"otherkind.kb", 1, 0, 9, 6, 2, 1},
  };
  for (const Kind& k : kinds) {
    ASSERT_EQ(veskorCreateKBFile(c_, k.file, k.language, k.forDocuments, k.kind), VESKOR_OK) << k.file;
    knowledgeBaseSettings settings = knowledgeBase_getSettings(load(dir_.file(k.file)).get());
    EXPECT_EQ(settings.language, 1) << k.file;
    EXPECT_EQ(settings.encoding, k.encoding) << k.file;
    EXPECT_EQ(settings.entryInformation, k.entryInformation) << k.file;
    EXPECT_EQ(settings.featureType, k.featureType) << k.file;
  }
}

TEST_F(Management, CreateWithSettingsKeepsThemAndTheTexts) {
  // A knowledge base of entries that keeps its texts, and one that compares phonetic codes.
  ASSERT_EQ(veskorCreateKBFileWithSettings(c_, "texts.kb", 1, 6, 3, 1), VESKOR_OK);
  ASSERT_EQ(veskorCreateKBFileWithSettings(c_, "sound.kb", 1, 7, 2, 1), VESKOR_OK);
  ASSERT_EQ(veskorCreateKBFileWithSettings(c_, "plain.kb", 0, 4, 1, 2), VESKOR_OK);
  const struct {
    const char* file;
    veskorKBInfo expected;
  } made[] = {{"texts.kb", {1, 6, 3, 1, VESKOR_KB_KIND_ENTRIES, 0}},
              {"sound.kb", {1, 7, 2, 1, VESKOR_KB_KIND_ENTRIES, 0}},
              {"plain.kb", {0, 4, 1, 2, VESKOR_KB_KIND_DOCUMENTS, 0}}};
  for (const auto& m : made) {
    ASSERT_EQ(veskorOpenKB(c_, m.file, m.file), VESKOR_OK);
    veskorKBInfo got{};
    ASSERT_EQ(veskorGetKBInfo(c_, m.file, &got), VESKOR_OK);
    EXPECT_EQ(std::vector<int>({got.language, got.encoding, got.entryInformation, got.featureType, got.kind}),
              std::vector<int>({m.expected.language, m.expected.encoding, m.expected.entryInformation,
                                m.expected.featureType, m.expected.kind}))
        << m.file;
  }

  ASSERT_EQ(veskorAddEntry(c_, nullptr, "texts.kb", "k1", "Rothenburg ob der Tauber"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "sound.kb", "k1", "Meier"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "sound.kb", "k2", "Mayer"), VESKOR_OK);
  veskorTextSearchHits* hits = veskorFindEntryWithText(c_, "texts.kb", "texts.kb", "", 5, 0, 0, "Rotenburg");
  ASSERT_NE(hits, nullptr);
  ASSERT_EQ(hits->numberHits, 1);
  EXPECT_STREQ(hits->hits[0].text, "_ROTHENBURG_OB_DER_TAUBER_");
  veskorFreeTextSearchHits(c_, hits);
  // Spelt differently, sounding alike: both names match the phonetic seek text completely.
  veskorSearchHits* sound = veskorFindEntry(c_, "sound.kb", "sound.kb", "", 5, 0, 0, "Maier");
  ASSERT_NE(sound, nullptr);
  ASSERT_EQ(sound->numberHits, 2);
  EXPECT_EQ(sound->hits[0].confidence, 1.0);
  EXPECT_EQ(sound->hits[1].confidence, 1.0);
  veskorFreeSearchHits(c_, sound);

  // Refusals, each with its status and message; none leaves a file behind.
  const struct {
    int language, encoding, entryInformation, featureType, status;
    const char* message;
  } refused[] = {
      {3, 6, 2, 1, VESKOR_ERROR_LANGUAGE, "error: unknown language given in veskorCreateKBFileWithSettings()"},
      {1, 8, 2, 1, VESKOR_ERROR_ARGUMENT_NOT_VALID, "error: pEncoding must be 0 to 7 in veskorCreateKBFileWithSettings()"},
      {1, 6, 0, 1, VESKOR_ERROR_ARGUMENT_NOT_VALID,
       "error: pEntryInformation must be 1 to 15 in veskorCreateKBFileWithSettings()"},
      {1, 6, 16, 1, VESKOR_ERROR_ARGUMENT_NOT_VALID,
       "error: pEntryInformation must be 1 to 15 in veskorCreateKBFileWithSettings()"},
      {1, 6, 2, 3, VESKOR_ERROR_FEATURE_TYPE, "error: pFeatureType must be 1 or 2 in veskorCreateKBFileWithSettings()"},
      {0, 2, 2, 1, VESKOR_ERROR_ARGUMENT_NOT_VALID,
       "error: phonetic codes and upper-casing need language 1 in veskorCreateKBFileWithSettings()"},
      {2, 1, 2, 1, VESKOR_ERROR_ARGUMENT_NOT_VALID,
       "error: phonetic codes and upper-casing need language 1 in veskorCreateKBFileWithSettings()"},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(veskorCreateKBFileWithSettings(c_, "refused.kb", r.language, r.encoding, r.entryInformation,
                                             r.featureType),
              r.status);
    EXPECT_TRUE(startsWith(message(), std::string(r.message) + "\nin file \"veskorAPI/")) << message();
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("refused.kb")));
  EXPECT_EQ(veskorCreateKBFileWithSettings(c_, nullptr, 1, 6, 2, 1), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_EQ(veskorCreateKBFileWithSettings(c_, "no/such/dir/x.kb", 1, 6, 2, 1), VESKOR_ERROR_FILE);
}

TEST_F(Management, InfoReportsSettingsKindAndEntries) {
  struct Kind {
    const char* file;
    int forDocuments, kind;
    veskorKBInfo expected;
  } kinds[] = {
      {"entries.kb", 0, 0, {1, 6, 2, 1, VESKOR_KB_KIND_ENTRIES, 0}},
      {"documents.kb", 1, 0, {1, 2, 2, 2, VESKOR_KB_KIND_DOCUMENTS, 0}},
      {"words.kb", 0, 1, {1, 6, 11, 1, VESKOR_KB_KIND_WORDS, 0}},
  };
  auto info = [&](const char* name) {
    veskorKBInfo got{-1, -1, -1, -1, -1, -1};
    EXPECT_EQ(veskorGetKBInfo(c_, name, &got), VESKOR_OK) << name;
    return std::vector<int>{got.language,    got.encoding, got.entryInformation,
                            got.featureType, got.kind,     got.numberEntries};
  };
  for (const Kind& k : kinds) {
    ASSERT_EQ(veskorCreateKBFile(c_, k.file, 1, k.forDocuments, k.kind), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(c_, k.file, k.file), VESKOR_OK);
    const veskorKBInfo& e = k.expected;
    EXPECT_EQ(info(k.file),
              (std::vector<int>{e.language, e.encoding, e.entryInformation, e.featureType, e.kind, 0}));
  }

  // Deleted entries stop counting at once, not only when defragmentation closes their holes.
  for (const char* key : {"a1", "b1", "c2"})
    ASSERT_EQ(veskorAddEntry(c_, nullptr, "entries.kb", key, key), 0);
  ASSERT_EQ(veskorAddDocument(c_, "words.kb", "documents.kb", "D", "Eins zwei. Drei vier!"), VESKOR_OK);
  EXPECT_EQ(info(" entries.kb ").back(), 3);
  EXPECT_EQ(info("documents.kb").back(), 2);
  EXPECT_EQ(info("words.kb").back(), 4);
  ASSERT_EQ(veskorDeleteEntry(c_, "entries.kb", "1"), VESKOR_OK);
  EXPECT_EQ(info("entries.kb").back(), 1);
  ASSERT_EQ(veskorSaveKB(c_, "entries.kb"), VESKOR_OK);
  ASSERT_EQ(veskorCloseKB(c_, "entries.kb"), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "entries.kb", "entries.kb"), VESKOR_OK);
  EXPECT_EQ(info("entries.kb").back(), 1);

  // Settings are reported as the file holds them; a feature type the engine never makes is another kind.
  orl::KnowledgeBasePtr kb(knowledgeBase_create(0, 4, 13, 1));
  knowledgeBase_saveAs(kb.get(), dir_.file("odd.kb").c_str());
  std::string bytes = veskortest::readFileBytes(dir_.file("odd.kb"));
  bytes[20] = 3;  // the feature type, after tag, version, encoding, language and entry information
  veskortest::writeFileBytes(dir_.file("odd.kb"), bytes);
  ASSERT_EQ(veskorOpenKB(c_, "odd.kb", "odd"), VESKOR_OK);
  EXPECT_EQ(info("odd"), (std::vector<int>{0, 4, 13, 3, VESKOR_KB_KIND_OTHER, 0}));

  // Refusals leave the record untouched.
  veskorKBInfo untouched{7, 7, 7, 7, 7, 7};
  EXPECT_EQ(veskorGetKBInfo(c_, nullptr, &untouched), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_TRUE(startsWith(message(), "error: pKBName == NULL in veskorGetKBInfo()\nin file \"veskorAPI/"));
  EXPECT_EQ(veskorGetKBInfo(c_, "odd", nullptr), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_TRUE(startsWith(message(), "error: pInfo == NULL in veskorGetKBInfo()\n"));
  EXPECT_EQ(veskorGetKBInfo(c_, "closed", &untouched), VESKOR_ERROR_KBNAME);
  EXPECT_EQ(veskorGetKBInfo(c_ + 1, "odd", &untouched), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(untouched.language + untouched.encoding + untouched.entryInformation + untouched.featureType +
                untouched.kind + untouched.numberEntries,
            42);
}

TEST_F(Management, NamesAndTheirMessages) {
  ASSERT_EQ(veskorCreateKBFile(c_, "a.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "a.kb", " main\t"), VESKOR_OK);
  EXPECT_EQ(veskorOpenKB(c_, "a.kb", "main"), VESKOR_ERROR_KBNAME);
  EXPECT_TRUE(startsWith(message(),
                         "error: identifier is not unique in dataManager_linkDataObject\nin file "
                         "\"veskorAPI/dataManager.cpp\" line "));
  EXPECT_EQ(veskorOpenKB(c_, "a.kb", "   "), VESKOR_ERROR_KBNAME);
  EXPECT_TRUE(startsWith(message(),
                         std::string("error: name of knowledge base invalid in veskorOpenKB()") + kManagementSource));
  EXPECT_EQ(veskorOpenKB(c_, "a.kb", nullptr), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_TRUE(startsWith(message(), "error: pKBName == NULL in veskorOpenKB()\n"));
  // The same file may be open under a second name, as an independent copy.
  EXPECT_EQ(veskorOpenKB(c_, "a.kb", "second"), VESKOR_OK);
  EXPECT_EQ(veskorCloseKB(c_, "unknown"), VESKOR_ERROR_KBNAME);
  EXPECT_EQ(veskorCloseWA(c_, "main"), VESKOR_ERROR_WANAME);
  EXPECT_EQ(veskorSaveWA(c_, "main"), VESKOR_ERROR_WANAME);
  EXPECT_EQ(veskorCloseKB(c_, "main "), VESKOR_OK);
  EXPECT_EQ(veskorSaveKB(c_, "main"), VESKOR_ERROR_KBNAME);
  EXPECT_EQ(veskorSaveKB(c_, "second"), VESKOR_OK);

  // The connection is looked up first: an unknown one gives 15 whatever the other arguments.
  EXPECT_EQ(veskorBackupKB((c_ + 1) % 32768, nullptr, nullptr), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorBackupKB(c_, nullptr, nullptr), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_TRUE(startsWith(message(), "error: pNewKBFileName == NULL in veskorBackupKB()\n"));
  EXPECT_EQ(veskorBackupWA(c_, "x", nullptr), VESKOR_ERROR_ARGUMENT_NOT_VALID);
  EXPECT_TRUE(startsWith(message(), "error: pWAName == NULL in veskorBackupWA()\n"));
}

TEST_F(Management, FileFailures) {
  std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(veskorOpenKB(c_, "missing.kb", "m"), VESKOR_ERROR_FILE);
  EXPECT_EQ(veskorRemoveKBFile(c_, " missing.kb "), VESKOR_ERROR_FILE);
  EXPECT_TRUE(startsWith(message(), "error: can't find file " + cwd + "/missing.kb in veskorRemoveKBFile()" +
                                        kManagementSource));

  veskortest::writeFileBytes("junk.kb", "this is no knowledge base");
  EXPECT_EQ(veskorOpenKB(c_, "junk.kb", "j"), VESKOR_ERROR_FILEFORMAT);
  EXPECT_EQ(veskorRemoveKBFile(c_, "junk.kb"), VESKOR_OK);
  EXPECT_FALSE(std::filesystem::exists("junk.kb"));

  // A file rewritten by another program since it was loaded is not overwritten.
  ASSERT_EQ(veskorCreateKBFile(c_, "a.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "a.kb", "main"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "main", "k1", "Ein Text"), VESKOR_OK);
  std::string foreign = veskortest::readFileBytes("a.kb");
  std::this_thread::sleep_for(20ms);
  veskortest::writeFileBytes("a.kb", foreign);
  EXPECT_EQ(veskorSaveKB(c_, "main"), VESKOR_ERROR_FILE);
  EXPECT_TRUE(startsWith(message(), "Inkonsistenter Zeitpunkt der letzten Sicherung in knowledgeBase_save\n"));
  EXPECT_EQ(veskortest::readFileBytes("a.kb"), foreign);
  // Nothing was lost: a backup still holds the change.
  ASSERT_EQ(veskorBackupKB(c_, "rescue.kb", "main"), VESKOR_OK);
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("rescue.kb")).get()), 1);
  EXPECT_EQ(veskorCloseKB(c_, "main"), VESKOR_OK);
  // The word associator has the same protection.
  writeWordAssociator("wa");
  ASSERT_EQ(veskorOpenWA(c_, "wa", "assoc"), VESKOR_OK);
  std::this_thread::sleep_for(20ms);
  veskortest::writeFileBytes("wa", veskortest::readFileBytes("wa"));
  EXPECT_EQ(veskorSaveWA(c_, "assoc"), 1608);
  EXPECT_TRUE(startsWith(message(), "Inkonsistenter Zeitpunkt der letzten Sicherung in wordAssociator_save()\n"));
  EXPECT_EQ(veskorCloseWA(c_, "assoc"), VESKOR_OK);
  EXPECT_EQ(veskorOpenWA(c_, "missing", "assoc"), VESKOR_ERROR_FILE);
}

TEST_F(Management, BackupThenSave) {
  ASSERT_EQ(veskorCreateKBFile(c_, "main.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "main.kb", "main"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "main", "k1", "Erster Text"), VESKOR_OK);
  ASSERT_EQ(veskorBackupKB(c_, "copy.kb", "main"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "main", "k2", "Zweiter Text"), VESKOR_OK);
  ASSERT_EQ(veskorSaveKB(c_, "main"), VESKOR_OK);
  // The backup went to the working directory and holds the first state; the save went to the
  // knowledge base's own file.
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("copy.kb")).get()), 1);
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("main.kb")).get()), 2);

  // Closing does not save; reopening shows the last save.
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "main", "k3", "Dritter Text"), VESKOR_OK);
  ASSERT_EQ(veskorCloseKB(c_, "main"), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "main.kb", "main"), VESKOR_OK);
  ASSERT_EQ(veskorBackupKB(c_, dir_.file("check.kb").c_str(), "main"), VESKOR_OK);
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("check.kb")).get()), 2);

  // veskorCleanup saves what is still open.
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "main", "k4", "Vierter Text"), VESKOR_OK);
  writeWordAssociator("wa");
  ASSERT_EQ(veskorOpenWA(c_, "wa", "assoc"), VESKOR_OK);
  ASSERT_EQ(veskorBackupWA(c_, "wa-copy", "assoc"), VESKOR_OK);
  EXPECT_EQ(veskortest::readFileBytes("wa-copy.v1.tab"), veskortest::readFileBytes("wa.v1.tab"));
  ASSERT_EQ(veskorCleanup(), VESKOR_OK);
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("main.kb")).get()), 3);
  ASSERT_EQ(veskorInit(), VESKOR_OK);
}

TEST_F(Management, CleanupGoesOnAfterAFailedSave) {
  ASSERT_EQ(veskorCreateKBFile(c_, "a.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorCreateKBFile(c_, "b.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "a.kb", "a"), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "b.kb", "b"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "a", "k", "Text a"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(c_, nullptr, "b", "k", "Text b"), VESKOR_OK);
  std::this_thread::sleep_for(20ms);
  veskortest::writeFileBytes("a.kb", veskortest::readFileBytes("a.kb"));
  // a cannot be saved; b still is, and the library is down all the same.
  EXPECT_EQ(veskorCleanup(), VESKOR_ERROR_FILE);
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("b.kb")).get()), 1);
  EXPECT_EQ(veskorCleanup(), VESKOR_ERROR_NOT_INITIALIZED);
  ASSERT_EQ(veskorInit(), VESKOR_OK);
}

// ---- Threads ---------------------------------------------------------------------------------

using ManagementConcurrency = Management;

TEST_F(ManagementConcurrency, ThreadsShareConnectionsAndKnowledgeBases) {
  ASSERT_EQ(veskorCreateKBFile(c_, "shared.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "shared.kb", "shared"), VESKOR_OK);
  writeWordAssociator("wa");
  ASSERT_EQ(veskorOpenWA(c_, "wa", "assoc"), VESKOR_OK);
  std::vector<int> connections(2);
  for (int& c : connections) ASSERT_EQ(veskorOpenConnection(&c), VESKOR_OK);

  constexpr int kThreads = 6;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto expect = [&](int status) {
        if (status != VESKOR_OK) ++failures;
      };
      std::string own = "own" + std::to_string(t);
      std::string file = own + ".kb";
      for (int round = 0; round < 10; ++round) {
        int c = connections[(t + round) % connections.size()];
        expect(veskorAddEntry(c, nullptr, "shared", (own + "-" + std::to_string(round)).c_str(), "Gemeinsam"));
        expect(veskorSaveKB(c, " shared"));
        expect(veskorBackupKB(c, (own + "-copy.kb").c_str(), "shared"));
        expect(veskorCreateKBFile(c, file.c_str(), 1, 0, 0));
        expect(veskorOpenKB(c, file.c_str(), own.c_str()));
        expect(veskorSaveWA(c, "assoc"));
        expect(veskorCloseKB(c, own.c_str()));
        if (veskorCloseKB(c, own.c_str()) != VESKOR_ERROR_KBNAME) ++failures;
        if (veskorGetLatestErrorCode(c) != VESKOR_ERROR_KBNAME) ++failures;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  ASSERT_EQ(veskorSaveKB(c_, "shared"), VESKOR_OK);
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("shared.kb")).get()), kThreads * 10);
}

TEST_F(ManagementConcurrency, CleanupWhileCallsAreInProgress) {
  ASSERT_EQ(veskorCreateKBFile(c_, "a.kb", 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorOpenKB(c_, "a.kb", "main"), VESKOR_OK);
  std::atomic<int> added{0}, unexpected{0}, afterCleanup{0};
  std::atomic<bool> cleanedUp{false};
  std::vector<std::thread> users;
  for (int t = 0; t < 4; ++t) {
    users.emplace_back([&, t] {
      for (int i = 0;; ++i) {
        bool wasCleanedUp = cleanedUp;
        std::string key = std::to_string(t) + "-" + std::to_string(i);
        int status = veskorAddEntry(c_, nullptr, "main", key.c_str(), "Text");
        if (status == VESKOR_OK) {
          ++added;
          if (wasCleanedUp) ++unexpected;  // a call that started after the cleanup succeeded
        } else if (status == VESKOR_ERROR_NOT_INITIALIZED) {
          ++afterCleanup;
          return;
        } else {
          ++unexpected;
        }
      }
    });
  }
  while (added < 20) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(veskorCleanup(), VESKOR_OK);
  cleanedUp = true;
  for (std::thread& t : users) t.join();
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_EQ(afterCleanup.load(), 4);
  // Every call that succeeded before the cleanup is in the saved file.
  EXPECT_EQ(knowledgeBase_getNumberEntries(load(dir_.file("a.kb")).get()), added.load());
  ASSERT_EQ(veskorInit(), VESKOR_OK);
}

TEST_F(ManagementConcurrency, TwoThreadsCloseOneConnection) {
  for (int round = 0; round < 20; ++round) {
    int id = -1;
    ASSERT_EQ(veskorOpenConnection(&id), VESKOR_OK);
    int results[2] = {-5, -5};
    std::thread a([&] { results[0] = veskorCloseConnection(id); });
    std::thread b([&] { results[1] = veskorCloseConnection(id); });
    a.join();
    b.join();
    EXPECT_EQ(std::min(results[0], results[1]), VESKOR_OK);
    EXPECT_EQ(std::max(results[0], results[1]), VESKOR_ERROR_IDENTIFIER);
  }
}

}  // namespace
