// Adding, deleting and defragmenting through the exported functions of libveskoreng.so. What a call
// stored is read back from a backup file with the kernel's own loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"
#include "veskor/veskorAPI.h"
#include "veskorKernel/knowledgeBaseRecord.h"

namespace {

using namespace std::chrono_literals;

const char* const kSource = "\nin file \"veskorAPI/veskorAPIKBMaintainment.cpp\" line ";
const std::string kPlain(82, '2');
const std::string kCapitalised =
    "P\x14"
    "2\x14\x14" +
    std::string(77, '2');

// Each valid entry as key and, where the knowledge base stores them, text and feature bytes.
using Stored = std::vector<std::string>;

class Maintenance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&connection_), VESKOR_OK);
    // Single entries, documents and words: pForDocuments and pKBKind as the kinds need them.
    openKB("entries.kb", "akb", 0, 0);
    openKB("documents.kb", "docs", 1, 0);
    openKB("words.kb", "wkb", 0, 1);
  }
  void TearDown() override { EXPECT_EQ(veskorCleanup(), VESKOR_OK); }

  void openKB(const std::string& file, const char* name, int forDocuments, int kind) {
    ASSERT_EQ(veskorCreateKBFile(connection_, dir_.file(file).c_str(), 1, forDocuments, kind), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(connection_, dir_.file(file).c_str(), name), VESKOR_OK);
  }

  // Keys of the valid entries; with texts and features for a word knowledge base.
  Stored stored(const char* kbName, bool withTextAndFeatures = false) {
    std::string copy = dir_.file(std::string("copy-") + kbName + std::to_string(copies_++));
    EXPECT_EQ(veskorBackupKB(connection_, copy.c_str(), kbName), VESKOR_OK);
    orl::KnowledgeBasePtr kb(knowledgeBase_createFromFile(copy.c_str()));
    Stored result;
    for (int32_t i = 0; i <= entryList_getMaxIndex(kb->entryList); ++i) {
      if (!entryList_isValidEntry(kb->entryList, i)) continue;
      const entry* e = entryList_getEntry(kb->entryList, i);
      result.push_back(e->primaryKey);
      if (!withTextAndFeatures) continue;
      result.push_back(e->text != nullptr ? e->text : "-");
      const char* features = reinterpret_cast<const char*>(e->syntacticFeatures);
      result.push_back(features != nullptr ? std::string(features, 82) : "-");
    }
    return result;
  }

  // The call failed with the status, which is also the latest error, whose message is the given
  // text followed by the location suffix of the raising source file.
  void expectFailure(int status, int expected, const std::string& message, const char* source = kSource) {
    EXPECT_EQ(status, expected) << message;
    EXPECT_EQ(veskorGetLatestErrorCode(connection_), expected) << message;
    char* latest = veskorGetLatestErrorMessage(connection_);
    ASSERT_NE(latest, nullptr);
    EXPECT_EQ(std::string(latest).rfind(message + source, 0), 0u) << latest;
    free(latest);
  }

  veskortest::TempDir dir_;
  int connection_ = -1;
  int copies_ = 0;
};

TEST_F(Maintenance, ConnectionFirstThenArgumentsInOrderThenNames) {
  int unknown = (connection_ + 1) % 32768;
  EXPECT_EQ(veskorAddEntry(unknown, nullptr, nullptr, nullptr, nullptr), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorAddDocument(unknown, nullptr, nullptr, nullptr, nullptr), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorDeleteEntry(unknown, nullptr, nullptr), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorDeleteDocument(unknown, nullptr, nullptr), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorDefragmentKB(unknown, nullptr), VESKOR_ERROR_IDENTIFIER);
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), VESKOR_ERROR_IDENTIFIER);

  const int arg = VESKOR_ERROR_ARGUMENT_NOT_VALID;
  expectFailure(veskorAddEntry(connection_, "wkb", nullptr, nullptr, nullptr), arg,
                "error: pAKBName == NULL in veskorAddEntry()");
  expectFailure(veskorAddEntry(connection_, nullptr, "akb", nullptr, nullptr), arg,
                "error: pPrimaryKey == NULL in veskorAddEntry()");
  expectFailure(veskorAddEntry(connection_, nullptr, "akb", "k", nullptr), arg,
                "error: pEntryText == NULL in veskorAddEntry()");
  expectFailure(veskorAddDocument(connection_, nullptr, nullptr, "D", nullptr), arg,
                "error: pAKBName == NULL in veskorAddDocument()");
  expectFailure(veskorAddDocument(connection_, nullptr, "docs", nullptr, nullptr), arg,
                "error: pPrimaryKey == NULL in veskorAddDocument()");
  expectFailure(veskorAddDocument(connection_, nullptr, "docs", "D", nullptr), arg,
                "error: pTextOfDocument == NULL in veskorAddDocument()");
  expectFailure(veskorDeleteEntry(connection_, nullptr, nullptr), arg,
                "error: pKBName == NULL in veskorDeleteEntry()");
  expectFailure(veskorDeleteEntry(connection_, "akb", nullptr), arg,
                "error: pPrimaryKey == NULL in veskorDeleteEntry()");
  expectFailure(veskorDeleteDocument(connection_, nullptr, "D"), arg,
                "error: pKBName == NULL in veskorDeleteDocument()");
  expectFailure(veskorDeleteDocument(connection_, "docs", nullptr), arg,
                "error: pPrimaryKey == NULL in veskorDeleteDocument()");
  expectFailure(veskorDefragmentKB(connection_, nullptr), arg,
                "error: pKBName == NULL in veskorDefragmentKB()");

  // Unknown names, the WKB's included; blanks around a known name do not matter.
  const int name = VESKOR_ERROR_KBNAME;
  const char* dataManager = "\nin file \"veskorAPI/dataManager.cpp\" line ";
  const std::string notFound = "error: identifier not found in dataManager_getDataObject";
  expectFailure(veskorAddEntry(connection_, "nowkb", "akb", "k", "Haus"), name, notFound, dataManager);
  expectFailure(veskorAddEntry(connection_, nullptr, "akb2", "k", "Haus"), name, notFound, dataManager);
  expectFailure(veskorAddDocument(connection_, " wkb ", "nodocs", "D", "Haus."), name, notFound, dataManager);
  expectFailure(veskorDeleteEntry(connection_, "", "k"), name, notFound, dataManager);
  expectFailure(veskorDeleteDocument(connection_, "x", "D"), name, notFound, dataManager);
  EXPECT_EQ(veskorDefragmentKB(connection_, "akb "), VESKOR_OK);
  EXPECT_EQ(stored("akb"), Stored{});
  EXPECT_EQ(stored("wkb"), Stored{});
  EXPECT_EQ(veskorAddEntry(connection_, " \twkb\n", "\r akb\v\f", "k", "Haus"), VESKOR_OK);
  EXPECT_EQ(stored("akb"), Stored{"k"});
}

TEST_F(Maintenance, AddEntryNormalisesTheTextAndRegistersItsWords) {
  EXPECT_EQ(veskorAddEntry(connection_, "wkb", "akb", "E1", "Das ist z.B. ein Test."), VESKOR_OK);
  EXPECT_EQ(stored("akb"), Stored{"E1"});
  // Expanded, full stop gone, words taken as they are (not cleaned) and featured in their text.
  EXPECT_EQ(stored("wkb", true), (Stored{"     0", "_DAS_", kPlain, "     1", "_IST_", kPlain, "     2",
                                         "_ZUM_", kPlain, "     3", "_BEISPIEL_", kCapitalised, "     4",
                                         "_EIN_", kPlain, "     5", "_TEST_", kCapitalised}));

  // Without a WKB nothing is registered anywhere; a known word is not registered twice.
  EXPECT_EQ(veskorAddEntry(connection_, nullptr, "akb", "E2", "Neue Worte"), VESKOR_OK);
  EXPECT_EQ(veskorAddEntry(connection_, "wkb", "akb", "E3", "Test"), VESKOR_OK);
  EXPECT_EQ(stored("akb"), (Stored{"E1", "E2", "E3"}));
  EXPECT_EQ(stored("wkb").size(), 6u);

  // Kernel refusals come back with their statuses; what failed is not stored, nothing stays held.
  std::string longKey(1025, 'k');
  EXPECT_EQ(veskorAddEntry(connection_, "wkb", "akb", longKey.c_str(), "Neu"), VESKOR_ERROR_KEY_NOT_VALID);
  EXPECT_EQ(veskorGetLatestErrorCode(connection_), VESKOR_ERROR_KEY_NOT_VALID);
  std::string longText(9000, 'a');
  EXPECT_EQ(veskorAddEntry(connection_, nullptr, "akb", "E4", longText.c_str()),
            VESKOR_ERROR_ENTRY_NOT_VALID);
  EXPECT_EQ(stored("akb"), (Stored{"E1", "E2", "E3"}));
  EXPECT_EQ(stored("wkb").size(), 6u);
}

TEST_F(Maintenance, AddDocumentStoresSentenceKeysAndDeleteDocumentTakesExactlyItsSentences) {
  EXPECT_EQ(veskorAddDocument(connection_, "wkb", "docs", "D1", "Das Haus ist rot. Der Baum ist gr\xFCn."),
            VESKOR_OK);
  EXPECT_EQ(stored("docs"), (Stored{"D1?000000?000000?000017", "D1?000001?000017?000019"}));
  Stored words = stored("wkb", true);
  EXPECT_EQ(words, (Stored{"     0", "_DAS_",  kPlain,   "     1",     "_HAUS_", kCapitalised, "     2",
                           "_IST_",  kPlain,   "     3", "_ROT_",      kPlain,   "     4",     "_DER_",
                           kPlain,   "     5", "_BAUM_", kCapitalised, "     6", "_GR\xDCN_",  kPlain}));

  EXPECT_EQ(veskorAddDocument(connection_, nullptr, "docs", "D7", "Eins. Zwei."), VESKOR_OK);
  EXPECT_EQ(veskorAddDocument(connection_, nullptr, "docs", "D70", "Drei. Vier. F\xFCnf"), VESKOR_OK);
  EXPECT_EQ(stored("wkb", true), words);  // no WKB named: no word registered
  EXPECT_EQ(veskorDeleteDocument(connection_, " docs ", "D7"), VESKOR_OK);
  EXPECT_EQ(stored("docs"),
            (Stored{"D1?000000?000000?000017", "D1?000001?000017?000019", "D70?000000?000000?000005",
                    "D70?000001?000005?000006", "D70?000002?000011?000005"}));
  EXPECT_EQ(veskorDeleteDocument(connection_, "docs", "D7"), VESKOR_OK);  // nothing left to delete
  EXPECT_EQ(veskorDeleteDocument(connection_, "docs", "D70"), VESKOR_OK);
  EXPECT_EQ(stored("docs"), (Stored{"D1?000000?000000?000017", "D1?000001?000017?000019"}));

  // A text without any usable word stores nothing and is no failure.
  EXPECT_EQ(veskorAddDocument(connection_, "wkb", "docs", "X", "1. 2. 3! \x80\xFF. --"), VESKOR_OK);
  EXPECT_EQ(stored("docs").size(), 2u);

  // The second sentence's seven-digit length pushes its key past the kernel's limit: the call
  // fails, the first sentence and its word stay.
  std::string key(1003, 'k');
  std::string document = "Eins. " + std::string(1000000, '7') + " Zwei.";
  EXPECT_EQ(veskorAddDocument(connection_, "wkb", "docs", key.c_str(), document.c_str()),
            VESKOR_ERROR_KEY_NOT_VALID);
  EXPECT_EQ(stored("docs").back(), key + "?000000?000000?000005");
  EXPECT_EQ(stored("wkb", true).rbegin()[1], "_EINS_");
}

TEST_F(Maintenance, DocumentFunctionsRefuseAKnowledgeBaseOfSingleEntries) {
  ASSERT_EQ(veskorAddEntry(connection_, nullptr, "akb", "D?1", "Eins"), VESKOR_OK);
  expectFailure(veskorAddDocument(connection_, "wkb", "akb", "D", "Das Haus."), VESKOR_ERROR_FEATURE_TYPE,
                "invalid feature type of akb in kbase_addFile()",
                "\nin file \"veskorSearch/kbase_addfile.cpp\" line ");
  expectFailure(veskorDeleteDocument(connection_, "akb", "D"), VESKOR_ERROR_FEATURE_TYPE,
                "error: invalid feature type of knowledge base in veskorDeleteDocument()");
  EXPECT_EQ(stored("akb"), Stored{"D?1"});
  EXPECT_EQ(stored("wkb"), Stored{});
}

TEST_F(Maintenance, DeleteEntryMatchesTheKeyEndAndDefragmentKeepsTheRest) {
  for (const char* key : {"12", "112", "120", "212x", "7"}) {
    ASSERT_EQ(veskorAddEntry(connection_, nullptr, "akb", key, "Text"), VESKOR_OK);
  }
  EXPECT_EQ(veskorDeleteEntry(connection_, "akb", "12"), VESKOR_OK);
  EXPECT_EQ(stored("akb"), (Stored{"120", "212x", "7"}));
  EXPECT_EQ(veskorDeleteEntry(connection_, "akb", "nothing"), VESKOR_OK);
  EXPECT_EQ(veskorDefragmentKB(connection_, "\takb"), VESKOR_OK);
  EXPECT_EQ(stored("akb"), (Stored{"120", "212x", "7"}));
  // Added after compaction, the entry is found by the next deletion.
  ASSERT_EQ(veskorAddEntry(connection_, nullptr, "akb", "x7", "Text"), VESKOR_OK);
  EXPECT_EQ(veskorDeleteEntry(connection_, "akb", "7"), VESKOR_OK);
  EXPECT_EQ(stored("akb"), (Stored{"120", "212x"}));

  // A word's key is the WKB's highest index plus one, so it shows whether the WKB was compacted.
  // (Saving compacts as well: nothing is read back in between.)
  ASSERT_EQ(veskorAddEntry(connection_, "wkb", "akb", "W1", "Alpha Beta Gamma"), VESKOR_OK);
  ASSERT_EQ(veskorDeleteEntry(connection_, "wkb", "     1"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(connection_, "wkb", "akb", "W2", "Delta"), VESKOR_OK);
  ASSERT_EQ(veskorDeleteEntry(connection_, "wkb", "     0"), VESKOR_OK);
  ASSERT_EQ(veskorDefragmentKB(connection_, "wkb"), VESKOR_OK);
  ASSERT_EQ(veskorAddEntry(connection_, "wkb", "akb", "W3", "Epsilon"), VESKOR_OK);
  EXPECT_EQ(stored("wkb", true), (Stored{"     2", "_GAMMA_", kCapitalised, "     3", "_DELTA_", kPlain,
                                         "     2", "_EPSILON_", kPlain}));
}

// Runs the work on another thread; a call that waits on itself would never return, so the test
// process is ended rather than left hanging.
template <class Work>
void withinSeconds(int seconds, Work work) {
  auto done = std::async(std::launch::async, work);
  if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
    std::fprintf(stderr, "call did not return within %d s\n", seconds);
    std::_Exit(1);
  }
  done.get();
}

TEST_F(Maintenance, OneKnowledgeBaseAsWKBAndAKBIsServedWithOneAccess) {
  withinSeconds(60, [&] {
    EXPECT_EQ(veskorAddEntry(connection_, "akb", " akb", "E", "Haus"), VESKOR_OK);
    EXPECT_EQ(veskorAddDocument(connection_, "docs ", "docs", "D", "Der Baum."), VESKOR_OK);
  });
  // The entry and then its word; the sentence and then its words.
  EXPECT_EQ(stored("akb"), (Stored{"E", "     1"}));
  EXPECT_EQ(stored("docs"), (Stored{"D?000000?000000?000009", "     1", "     2"}));
  // Released once the call ended: another thread gets exclusive access.
  withinSeconds(60, [&] { EXPECT_EQ(veskorDeleteEntry(connection_, "akb", "E"), VESKOR_OK); });
  EXPECT_EQ(stored("akb"), (Stored{"     1"}));
}

using MaintenanceConcurrency = Maintenance;

// Sentence keys of one document: contiguous spans inside the text, numbered from 0.
void expectContiguousSpans(const Stored& keys, const std::string& document, std::size_t textLength) {
  std::size_t end = 0;
  int expectedNumber = 0;
  for (const std::string& key : keys) {
    if (key.rfind(document + "?", 0) != 0) continue;
    int number = -1;
    unsigned long offset = 0, length = 0;
    ASSERT_EQ(std::sscanf(key.c_str() + document.size(), "?%d?%lu?%lu", &number, &offset, &length), 3) << key;
    EXPECT_EQ(number, expectedNumber++) << key;
    EXPECT_EQ(offset, end) << key;
    end = offset + length;
  }
  EXPECT_GT(expectedNumber, 0) << document;
  EXPECT_LE(end, textLength) << document;
}

std::string documentText(int thread, int i) {
  std::string text;
  for (int s = 0; s <= i % 5; ++s) {
    text += "Satz " + std::to_string(s) + " von Faden" + std::string(thread + 1, 'x') + " mit z.B. Wort" +
            std::to_string(i) + ". ";
  }
  return text;
}

TEST_F(MaintenanceConcurrency, TwoThreadsAddDocumentsToDifferentKnowledgeBases) {
  openKB("documents2.kb", "docs2", 1, 0);
  openKB("words2.kb", "wkb2", 0, 1);
  constexpr int kDocuments = 40;
  std::latch start(2);
  auto addAll = [&](int thread, const char* wkb, const char* akb) {
    start.arrive_and_wait();
    int connection = -1;
    ASSERT_EQ(veskorOpenConnection(&connection), VESKOR_OK);
    for (int i = 0; i < kDocuments; ++i) {
      std::string key = "T" + std::to_string(thread) + "D" + std::to_string(i);
      ASSERT_EQ(veskorAddDocument(connection, wkb, akb, key.c_str(), documentText(thread, i).c_str()),
                VESKOR_OK);
    }
    EXPECT_EQ(veskorCloseConnection(connection), VESKOR_OK);
  };
  // Documents are cut in memory: nothing may appear in the working directory.
  veskortest::TempDir workingDirectory;
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(workingDirectory.path());
  std::thread first(addAll, 0, "wkb", "docs");
  std::thread second(addAll, 1, "wkb2", "docs2");
  first.join();
  second.join();
  std::filesystem::current_path(previous);
  EXPECT_TRUE(std::filesystem::is_empty(workingDirectory.path()));

  const char* akbs[] = {"docs", "docs2"};
  for (int t = 0; t < 2; ++t) {
    Stored keys = stored(akbs[t]);
    std::size_t sentences = 0;
    for (int i = 0; i < kDocuments; ++i) sentences += 1 + i % 5;
    EXPECT_EQ(keys.size(), sentences);
    for (int i = 0; i < kDocuments; ++i) {
      std::string key = "T" + std::to_string(t) + "D" + std::to_string(i);
      expectContiguousSpans(keys, key, documentText(t, i).size());
    }
  }
  // Both WKBs hold the same words, but for the thread's own FadenX.
  Stored words1 = stored("wkb", true), words2 = stored("wkb2", true);
  ASSERT_EQ(words1.size(), words2.size());
  EXPECT_NE(std::find(words1.begin(), words1.end(), "_FADENX_"), words1.end());
  EXPECT_NE(std::find(words2.begin(), words2.end(), "_FADENXX_"), words2.end());
}

TEST_F(MaintenanceConcurrency, ThreadsChangingOneKnowledgeBaseAreSerialised) {
  constexpr int kThreads = 3, kEntries = 60;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEntries; ++i) {
        std::string key = std::to_string(t) + "-" + std::to_string(i);
        // A word of letters only, distinct per entry.
        std::string word = {'W', static_cast<char>('a' + t), static_cast<char>('a' + i / 26),
                            static_cast<char>('a' + i % 26)};
        ASSERT_EQ(veskorAddEntry(connection_, "wkb", "akb", key.c_str(), word.c_str()), VESKOR_OK);
        if (i % 3 == 2) {
          ASSERT_EQ(veskorDeleteEntry(connection_, "akb", key.c_str()), VESKOR_OK);
        }
        if (i % 20 == 19) {
          ASSERT_EQ(veskorDefragmentKB(connection_, "akb"), VESKOR_OK);
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(stored("akb").size(), static_cast<std::size_t>(kThreads * kEntries * 2 / 3));
  EXPECT_EQ(stored("wkb").size(), static_cast<std::size_t>(kThreads * kEntries));
}

TEST_F(MaintenanceConcurrency, KnowledgeBasesInSwappedRolesDoNotWaitOnEachOther) {
  // One thread adds to akb with akb2 as word knowledge base, the other the other way round, while
  // a third searches with the roles of the first; taken by role, the accesses could deadlock.
  openKB("entries2.kb", "akb2", 0, 0);
  constexpr int kEntries = 150;
  withinSeconds(120, [&] {
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
      for (int i = 0; i < kEntries; ++i) {
        std::string key = "a" + std::to_string(i);
        ASSERT_EQ(veskorAddEntry(connection_, "akb2", "akb", key.c_str(), "Hausboot"), VESKOR_OK);
      }
    });
    threads.emplace_back([&] {
      for (int i = 0; i < kEntries; ++i) {
        std::string key = "w" + std::to_string(i);
        ASSERT_EQ(veskorAddEntry(connection_, "akb", "akb2", key.c_str(), "Baumhaus"), VESKOR_OK);
      }
    });
    threads.emplace_back([&] {
      for (int i = 0; i < kEntries; ++i) {
        veskorSearchHits* hits = veskorFindEntry(connection_, "akb2", "akb", nullptr, 5, 0, 0, "Haus");
        ASSERT_NE(hits, nullptr);
        veskorFreeSearchHits(connection_, hits);
      }
    });
    for (std::thread& t : threads) t.join();
  });
  // Each entry, and a word entry per entry the other thread added: a knowledge base of single
  // entries keeps no texts, so a registered word is never found again and is added every time.
  EXPECT_EQ(stored("akb").size(), static_cast<std::size_t>(2 * kEntries));
  EXPECT_EQ(stored("akb2").size(), static_cast<std::size_t>(2 * kEntries));
}

}  // namespace
