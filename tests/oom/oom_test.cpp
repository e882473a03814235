// Every exported operation with each of its allocations failing in turn (see exhaust.h). Run by
// `make test-oom` in the AddressSanitizer build, where each test also ends with a leak check.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "oom/exhaust.h"
#include "support/knowledgeBaseDump.h"
#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskor/componentAPI.h"
#include "veskor/veskorAPI.h"
#include "veskor/veskorExt.h"

#if defined(__SANITIZE_ADDRESS__)
#define VESKOR_OOM_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESKOR_OOM_LEAK_CHECK 1
#endif
#endif
#ifdef VESKOR_OOM_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

namespace fs = std::filesystem;
using veskortest::oom::exhaust;
using veskortest::oom::Scenario;

const std::vector<std::pair<const char*, const char*>> kEntries = {
    {"ort001", "Aachen, Nordrhein-Westfalen"},
    {"ort002", "Augsburg, Bayern"},
    {"ort012", "Bad Kissingen, Bayern"},
    {"str001",
     "Hauptstra\xDF"
     "e 5, 10115 Berlin"},
    {"str002", "Gartenweg 3, 80331 M\xFCnchen"},
    {"str003", "Adlerweg 27, 37073 G\xF6ttingen"},
    {"str012",
     "Bahnhofstra\xDF"
     "e 1, 20095 Hamburg"},
    {"str112",
     "Schillerstra\xDF"
     "e 20, 20095 Hamburg"},
};

const std::vector<std::pair<const char*, const char*>> kDocuments = {
    {"bienen",
     "Ein Bienenvolk lebt im Stock. Aus dem Nektar entsteht der Honig. Der Imker erntet ihn im Sommer."},
    {"brot",
     "Brot braucht Mehl, Wasser und Salz. Der Teig ruht eine Nacht. Im Ofen bekommt er seine Kruste."},
    {"fahrrad",
     "Ein Loch im Schlauch findet man im Wasser. Die Stelle wird aufgeraut. Dann kommt der Flicken."},
};

const char* const kNewDocument = "Der Honig des Imkers. Ein Volk im Garten! Wasser und Mehl?";
const char* const kCompared = "Im Sommer erntet der Imker den Honig aus dem Stock.";

// Names of knowledge bases. Lambdas keep copies: an initializer_list would not keep its names.
using Names = std::vector<const char*>;

// What the shared files hold; each scenario starts from these bytes.
struct Pristine {
  std::string entries, words, documents, wa, waNet, waTab;
};

class OutOfMemory : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new veskortest::TempDir;
    paths_ = new std::vector<std::pair<std::string, std::string>>;
    for (const char* name : {"entries.kb", "new.kb", "backup.kb", "wa", "copy", "built"})
      paths_->emplace_back(name, file(name));
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&c_), VESKOR_OK);
    veskortest::oom::latestErrorConnection() = c_;
    ASSERT_EQ(veskorCreateKBFile(c_, file("entries.kb").c_str(), 1, 0, 0), VESKOR_OK);
    ASSERT_EQ(veskorCreateKBFile(c_, file("words.kb").c_str(), 1, 0, 1), VESKOR_OK);
    ASSERT_EQ(veskorCreateKBFile(c_, file("documents.kb").c_str(), 1, 1, 0), VESKOR_OK);
    open({"akb", "wkb", "dkb"});
    for (const auto& [key, text] : kEntries)
      ASSERT_EQ(veskorAddEntry(c_, "wkb", "akb", key, text), VESKOR_OK);
    for (const auto& [key, text] : kDocuments)
      ASSERT_EQ(veskorAddDocument(c_, "wkb", "dkb", key, text), VESKOR_OK);
    close({"akb", "wkb", "dkb"}, true);
    veskortest::WordAssociatorFixture wa({"_HONIG_", "_IMKER_", "_WASSER_"});
    wa.connect("_HONIG_", "_IMKER_", 9.0f);
    wa.write(file("wa"));
    pristine_ = new Pristine{bytes("entries.kb"), bytes("words.kb"),  bytes("documents.kb"),
                             bytes("wa"),         bytes("wa.v1.net"), bytes("wa.v1.tab")};
  }

  static void TearDownTestSuite() {
    EXPECT_EQ(veskorCleanup(), VESKOR_OK);
    delete pristine_;
    delete paths_;
    delete dir_;
  }

  void TearDown() override {
#ifdef VESKOR_OOM_LEAK_CHECK
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "memory leaked (see the report above)";
#endif
  }

  static std::string file(const std::string& name) {
    return dir_->file(name);
  }
  static std::string bytes(const std::string& name) {
    return veskortest::readFileBytes(file(name));
  }
  static bool exists(const std::string& name) {
    return fs::exists(file(name));
  }

  // Full names made before anything runs armed: the test itself must not allocate then.
  static const char* path(const char* name) {
    for (const auto& [known, full] : *paths_) {
      if (known == name) return full.c_str();
    }
    std::abort();  // a name missing from the list below
  }

  static std::string fileOf(const std::string& kb) {
    return file(kb == "akb" ? "entries.kb" : kb == "wkb" ? "words.kb" : "documents.kb");
  }

  // Puts the shared files back and removes everything else.
  static void restore() {
    for (const auto& entry : fs::directory_iterator(dir_->path())) fs::remove_all(entry.path());
    veskortest::writeFileBytes(file("entries.kb"), pristine_->entries);
    veskortest::writeFileBytes(file("words.kb"), pristine_->words);
    veskortest::writeFileBytes(file("documents.kb"), pristine_->documents);
    veskortest::writeFileBytes(file("wa"), pristine_->wa);
    veskortest::writeFileBytes(file("wa.v1.net"), pristine_->waNet);
    veskortest::writeFileBytes(file("wa.v1.tab"), pristine_->waTab);
  }

  static void open(const Names& kbs) {
    for (const char* kb : kbs) ASSERT_EQ(veskorOpenKB(c_, fileOf(kb).c_str(), kb), VESKOR_OK) << kb;
  }

  // Closes the knowledge bases that are open, after saving them when asked.
  static void close(const Names& kbs, bool save) {
    for (const char* kb : kbs) {
      if (save) veskorSaveKB(c_, kb);
      veskorCloseKB(c_, kb);
    }
  }

  static std::string entryHits(veskorSearchHits* hits) {
    if (hits == nullptr) return "<null " + std::to_string(veskorGetLatestErrorCode(c_)) + ">";
    std::string shown;
    char line[256];
    for (int i = 0; i < hits->numberHits; ++i) {
      std::snprintf(line, sizeof line, "%s %.6f\n", hits->hits[i].primaryKey, hits->hits[i].confidence);
      shown += line;
    }
    veskorFreeSearchHits(c_, hits);
    return shown;
  }

  static std::string documentHits(veskorDocumentSearchHits* hits) {
    if (hits == nullptr) return "<null " + std::to_string(veskorGetLatestErrorCode(c_)) + ">";
    std::string shown;
    char line[256];
    for (int i = 0; i < hits->numberHits; ++i) {
      const veskorDocumentSearchHit& d = hits->hits[i];
      std::snprintf(line, sizeof line, "%s %.6f\n", d.primaryKey, d.confidence);
      shown += line;
      for (int s = 0; s < d.numberSentenceHits; ++s) {
        std::snprintf(line, sizeof line, "  %d+%d %.6f\n", d.sentenceHits[s].offset, d.sentenceHits[s].length,
                      d.sentenceHits[s].confidence);
        shown += line;
      }
    }
    veskorFreeDocumentSearchHits(c_, hits);
    return shown;
  }

  // How an open knowledge base answers a few searches; "closed" when it is not open.
  static std::string answers(const char* kb) {
    std::string shown;
    if (std::strcmp(kb, "dkb") == 0) {
      for (const char* seek : {"Honig Imker", "Wasser Salz Mehl"}) {
        shown += documentHits(veskorFindDocument(c_, "wkb", kb, nullptr, 500, 0, 0, seek));
      }
    } else {
      for (const char* seek : {"Hauptstrasse Berlin", "Hamburg 20095", "HONIG WASSER"}) {
        shown += entryHits(veskorFindEntry(c_, kb, kb, nullptr, 500, 0, 0, seek));
      }
    }
    return shown.rfind("<null 7>", 0) == 0 ? std::string(kb) + " closed\n" : shown;
  }

  // Its answers and what a backup of it holds.
  static std::string kbState(const char* kb) {
    std::string shown = answers(kb);
    if (shown.find(" closed") != std::string::npos) return shown;
    std::string backup = file("state.kb");
    int status = veskorBackupKB(c_, backup.c_str(), kb);
    std::string stored = veskortest::dumpKnowledgeBaseFile(backup);
    fs::remove(backup);
    return std::string(kb) + " backup " + std::to_string(status) + "\n" + stored + shown;
  }

  static std::string kbStates(const Names& kbs) {
    std::string all;
    for (const char* kb : kbs) all += kbState(kb);
    return all + leftovers();
  }

  // Files in the directory that no scenario makes: temporary files of failed saves.
  static std::string leftovers() {
    std::string stray;
    for (const auto& entry : fs::directory_iterator(dir_->path())) {
      std::string name = entry.path().filename().string();
      if (name.find(".veskor-tmp.") != std::string::npos) stray += "left behind: " + name + "\n";
    }
    return stray;
  }

  // Each open knowledge base still saves, and reopens answering as before.
  static void saveAndReopen(const Names& kbs) {
    for (const char* kb : kbs) {
      std::string before = answers(kb);
      if (before.find(" closed") != std::string::npos) continue;
      EXPECT_EQ(veskorSaveKB(c_, kb), VESKOR_OK) << kb;
      ASSERT_EQ(veskorCloseKB(c_, kb), VESKOR_OK) << kb;
      ASSERT_EQ(veskorOpenKB(c_, fileOf(kb).c_str(), kb), VESKOR_OK) << kb;
      EXPECT_EQ(answers(kb), before) << kb << " after saving and reopening";
      EXPECT_EQ(veskorCloseKB(c_, kb), VESKOR_OK) << kb;
    }
  }

  // A scenario over open knowledge bases: they are opened fresh from the shared files, their
  // state is what the operation may change, and they must save and reopen afterwards.
  static Scenario overKBs(
      const Names& kbs, std::function<int()> operation, std::function<void()> prepare = [] {}) {
    Scenario s;
    s.setUp = [kbs, prepare] {
      restore();
      open(kbs);
      prepare();
    };
    s.operation = std::move(operation);
    s.state = [kbs] { return kbStates(kbs); };
    s.tearDown = [kbs] { saveAndReopen(kbs); };
    return s;
  }

  static inline veskortest::TempDir* dir_ = nullptr;
  static inline Pristine* pristine_ = nullptr;
  static inline std::vector<std::pair<std::string, std::string>>* paths_ = nullptr;
  static inline int c_ = -1;
};

// ---- Knowledge bases: open, close, create, save, backup --------------------------------------

TEST_F(OutOfMemory, OpenAndCloseKnowledgeBases) {
  Scenario opening;
  opening.setUp = [] { restore(); };
  opening.operation = [] { return veskorOpenKB(c_, path("entries.kb"), "akb"); };
  opening.state = [] { return kbStates({"akb"}); };
  opening.tearDown = [] { saveAndReopen({"akb"}); };
  exhaust("veskorOpenKB", opening);

  // The component export only forwards: an empty knowledge base keeps its run short.
  Scenario fnOpening;
  fnOpening.setUp = [] {
    restore();
    ASSERT_EQ(veskorCreateKBFile(c_, path("new.kb"), 1, 0, 0), VESKOR_OK);
  };
  fnOpening.operation = [] { return fnOpenKB(c_, path("new.kb"), "new"); };
  fnOpening.state = [] { return answers("new"); };
  fnOpening.tearDown = [] { veskorCloseKB(c_, "new"); };
  exhaust("fnOpenKB", fnOpening);

  Scenario closing = overKBs({"akb"}, [] { return veskorCloseKB(c_, "akb"); });
  exhaust("veskorCloseKB", closing);
  Scenario fnClosing = overKBs({"akb"}, [] { return fnCloseKB(c_, "akb"); });
  exhaust("fnCloseKB", fnClosing);
}

TEST_F(OutOfMemory, RemoveKnowledgeBaseFiles) {
  for (bool fn : {false, true}) {
    Scenario s;
    s.setUp = [] { restore(); };
    s.operation = [fn] {
      return fn ? fnRemoveKBFile(c_, path("entries.kb")) : veskorRemoveKBFile(c_, path("entries.kb"));
    };
    s.state = [] {
      return exists("entries.kb") ? veskortest::dumpKnowledgeBaseFile(file("entries.kb")) : "removed";
    };
    exhaust(fn ? "fnRemoveKBFile" : "veskorRemoveKBFile", s);
  }
}

TEST_F(OutOfMemory, CreateKnowledgeBaseFiles) {
  for (int kind : {0, 1, 2}) {
    Scenario s;
    s.setUp = [] { restore(); };
    s.operation = [kind] { return veskorCreateKBFile(c_, path("new.kb"), 1, kind == 2, kind == 1); };
    s.state = [] {
      return exists("new.kb") ? "created: " + bytes("new.kb") + leftovers() : "none\n" + leftovers();
    };
    exhaust(("veskorCreateKBFile kind " + std::to_string(kind)).c_str(), s);
  }
  Scenario withSettings;
  withSettings.setUp = [] { restore(); };
  withSettings.operation = [] {
    return veskorCreateKBFileWithSettings(c_, path("new.kb"), 1, VESKOR_ENCODING_PHONETIC | 6,
                                          VESKOR_ENTRY_TEXT_STORED | 2, 1);
  };
  withSettings.state = [] {
    return exists("new.kb") ? "created: " + bytes("new.kb") + leftovers() : "none\n" + leftovers();
  };
  exhaust("veskorCreateKBFileWithSettings", withSettings);
  Scenario fn;
  fn.setUp = [] { restore(); };
  fn.operation = [] { return fnCreateKBFile(c_, path("new.kb"), 1, 0); };
  fn.state = [] {
    return exists("new.kb") ? "created: " + bytes("new.kb") + leftovers() : "none\n" + leftovers();
  };
  exhaust("fnCreateKBFile", fn);
}

TEST_F(OutOfMemory, SaveKeepsTheFileWhollyOldOrNewAndTheKnowledgeBaseSaveable) {
  auto addUnsaved = [] {
    ASSERT_EQ(veskorAddEntry(c_, nullptr, "akb", "neu",
                             "Neue Stra\xDF"
                             "e 9, Kiel"),
              VESKOR_OK);
  };
  Scenario save = overKBs(
      {"akb"}, [] { return veskorSaveKB(c_, "akb"); }, addUnsaved);
  // The file itself, besides the answers: old bytes after a failure, new ones after success.
  save.state = [] { return veskortest::dumpKnowledgeBaseFile(file("entries.kb")) + kbStates({"akb"}); };
  exhaust("veskorSaveKB", save);

  Scenario fnSave = save;
  fnSave.operation = [] { return fnSaveKB(c_, "akb"); };
  exhaust("fnSaveKB", fnSave);
}

TEST_F(OutOfMemory, BackupWritesAllOrNothing) {
  Scenario backup = overKBs(
      {"akb"}, [] { return veskorBackupKB(c_, path("backup.kb"), "akb"); },
      [] { veskorDeleteEntry(c_, "akb", "ort002"); });
  backup.state = [] {
    return (exists("backup.kb") ? veskortest::dumpKnowledgeBaseFile(file("backup.kb"))
                                : std::string("no backup\n")) +
           kbStates({"akb"});
  };
  exhaust("veskorBackupKB", backup);
}

// ---- Changing knowledge bases ------------------------------------------------------------------

TEST_F(OutOfMemory, AddEntries) {
  exhaust("veskorAddEntry with a word knowledge base", overKBs({"akb", "wkb"}, [] {
            return veskorAddEntry(c_, "wkb", "akb", "neu",
                                  "Neue Stra\xDF"
                                  "e 9, Kiel");
          }));
  exhaust("veskorAddEntry",
          overKBs({"akb"}, [] { return veskorAddEntry(c_, nullptr, "akb", "ort9", "Bremen"); }));
  exhaust("fnAddEntry", overKBs({"akb"}, [] {
            char text[] = "Kiel,\tHolstein";
            return fnAddEntry(c_, "", "akb", "ort9", text);
          }));
}

TEST_F(OutOfMemory, UpdateEntryFailsWholeOrAfterItsDelete) {
  Scenario update = overKBs({"akb"}, [] {
    char text[] = "Augsburg an Lech und Wertach";
    return fnUpdateEntry(c_, "", "akb", "ort002", text);
  });
  // Delete and add are two steps: a failure in the second leaves the first done.
  update.partialEffect = [] { ASSERT_EQ(fnDeleteEntry(c_, "akb", "ort002"), VESKOR_OK); };
  exhaust("fnUpdateEntry", update);
}

TEST_F(OutOfMemory, AddDocuments) {
  exhaust("veskorAddDocument",
          overKBs({"dkb", "wkb"}, [] { return veskorAddDocument(c_, "wkb", "dkb", "neu", kNewDocument); }));
}

TEST_F(OutOfMemory, DeleteAndDefragment) {
  exhaust("veskorDeleteEntry", overKBs({"akb"}, [] { return veskorDeleteEntry(c_, "akb", "012"); }));
  exhaust("fnDeleteEntry", overKBs({"akb"}, [] { return fnDeleteEntry(c_, "akb", "str003"); }));
  exhaust("veskorDeleteDocument",
          overKBs({"dkb", "wkb"}, [] { return veskorDeleteDocument(c_, "dkb", "brot"); }));
  exhaust("veskorDefragmentKB", overKBs(
                                    {"akb"}, [] { return veskorDefragmentKB(c_, "akb"); },
                                    [] { ASSERT_EQ(veskorDeleteEntry(c_, "akb", "001"), VESKOR_OK); }));
  exhaust("veskorDefragmentKB of documents",
          overKBs(
              {"dkb", "wkb"}, [] { return veskorDefragmentKB(c_, "dkb"); },
              [] { ASSERT_EQ(veskorDeleteDocument(c_, "dkb", "bienen"), VESKOR_OK); }));
}

// ---- Searching -----------------------------------------------------------------------------------

// A search changes nothing; a successful one answers as the undisturbed one does. The lists are
// read after the armed call: the test itself must not allocate while allocations fail. The
// knowledge bases are opened afresh for every run (what a first search builds is built under
// failure too); searches only read, so their answers are checked each time, but saving and
// reopening once at the end is enough.
TEST_F(OutOfMemory, Searches) {
  static veskorSearchHits* entries = nullptr;
  static veskorDocumentSearchHits* documents = nullptr;
  static veskorTextSearchHits* texts = nullptr;
  static void* fnList = nullptr;
  static int fnCount = 0;
  static int fnStatus = 0;
  auto exhaustSearch = [](const char* what, const Names& kbs, std::function<int()> find) {
    Scenario s;
    s.operation = std::move(find);
    s.state = [kbs] {
      std::string shown = entries != nullptr     ? entryHits(entries)
                          : documents != nullptr ? documentHits(documents)
                                                 : "";
      if (texts != nullptr) {
        for (int i = 0; i < texts->numberHits; ++i) {
          const veskorTextSearchHit& hit = texts->hits[i];
          shown += std::string(hit.primaryKey) + " " + std::to_string(hit.confidence) + " " + hit.text + "\n";
        }
        veskorFreeTextSearchHits(c_, texts);
        texts = nullptr;
      }
      if (fnList != nullptr) {
        char key[VESKOR_FN_KEY_BUFFER_SIZE];
        double confidence = 0;
        int reserved = 0;
        for (int i = 0; i < fnCount; ++i) {
          EXPECT_EQ(fnGetSearchHit(c_, fnList, i, key, &confidence, &reserved), VESKOR_OK);
          shown += std::string(key) + " " + std::to_string(confidence) + "\n";
        }
        EXPECT_EQ(fnFreeSearchHits(c_, fnList), VESKOR_OK);
      } else if (fnStatus != 0) {
        EXPECT_EQ(fnCount, 0);
      }
      entries = nullptr;
      documents = nullptr;
      fnList = nullptr;
      fnStatus = 0;
      for (const char* kb : kbs) shown += answers(kb);
      return shown;
    };
    s.setUp = [kbs] {
      restore();
      open(kbs);
    };
    s.tearDown = [kbs] { close(kbs, false); };
    // A word associator holds nothing a search builds: it may stay open.
    ASSERT_EQ(veskorOpenWA(c_, file("wa").c_str(), "wa"), VESKOR_OK);
    exhaust(what, s);
    s.setUp();
    ASSERT_EQ(s.operation(), 0);
    s.state();
    saveAndReopen(kbs);
    EXPECT_EQ(veskorCloseWA(c_, "wa"), VESKOR_OK);
  };
  exhaustSearch("veskorFindEntry of entries", {"akb", "wkb"}, [] {
    entries = veskorFindEntry(c_, "wkb", "akb", "wa", 10, 1, 1, "Bahnhofstrasse Hamburg");
    return entries != nullptr ? 0 : veskortest::oom::kNullResult;
  });
  exhaustSearch("veskorFindEntry of sentences", {"dkb", "wkb"}, [] {
    entries = veskorFindEntry(c_, "wkb", "dkb", "wa", 10, 1, 1, "Honig vom Bienenvolk");
    return entries != nullptr ? 0 : veskortest::oom::kNullResult;
  });
  exhaustSearch("veskorFindDocument", {"dkb", "wkb"}, [] {
    documents = veskorFindDocument(c_, "wkb", "dkb", "wa", 10, 1, 1, "Honig Wasserschlauch");
    return documents != nullptr ? 0 : veskortest::oom::kNullResult;
  });
  exhaustSearch("veskorCompareDocument", {"dkb", "wkb"}, [] {
    documents = veskorCompareDocument(c_, "wkb", "dkb", 10, kCompared);
    return documents != nullptr ? 0 : veskortest::oom::kNullResult;
  });
  exhaustSearch("veskorFindEntryWithText", {"wkb"}, [] {
    texts = veskorFindEntryWithText(c_, "wkb", "wkb", "wa", 10, 1, 0, "Honig Hamburg");
    return texts != nullptr ? 0 : veskortest::oom::kNullResult;
  });
  exhaustSearch("fnSearch", {"akb", "wkb"}, [] {
    fnStatus = fnSearch(c_, "wkb", "akb", 10, 1, "Gartenweg Muenchen", &fnList, &fnCount);
    return fnStatus;
  });
}

// ---- Word associators ----------------------------------------------------------------------------

TEST_F(OutOfMemory, WordAssociators) {
  auto waFiles = [](const std::string& name) {
    std::string shown;
    for (const char* part : {"", ".v1.net", ".v1.tab"}) {
      std::string f = name + part;
      shown +=
          exists(f) ? f + " " + std::to_string(std::hash<std::string>{}(bytes(f))) + "\n" : f + " none\n";
    }
    return shown + leftovers();
  };
  // Open or closed, and the associations it gives when open.
  auto waState = [waFiles] {
    veskorSearchHits* hits = veskorFindEntry(c_, "wkb", "wkb", "wa", 10, 1, 0, "Honig");
    std::string answers = hits == nullptr && veskorGetLatestErrorCode(c_) == VESKOR_ERROR_WANAME
                              ? "wa closed\n"
                              : entryHits(hits);
    return answers + waFiles("wa") + waFiles("copy");
  };
  Scenario opening;
  opening.setUp = [] {
    restore();
    open({"wkb"});
  };
  opening.operation = [] { return veskorOpenWA(c_, path("wa"), "wa"); };
  opening.state = waState;
  opening.tearDown = [] {
    veskorCloseWA(c_, "wa");
    close({"wkb"}, false);
  };
  exhaust("veskorOpenWA", opening);

  Scenario saving = opening;
  saving.setUp = [] {
    restore();
    open({"wkb"});
    ASSERT_EQ(veskorOpenWA(c_, file("wa").c_str(), "wa"), VESKOR_OK);
  };
  saving.operation = [] { return veskorSaveWA(c_, "wa"); };
  saving.tearDown = [] {
    EXPECT_EQ(veskorSaveWA(c_, "wa"), VESKOR_OK) << "a word associator saves after a failed save";
    veskorCloseWA(c_, "wa");
    close({"wkb"}, false);
  };
  exhaust("veskorSaveWA", saving);

  Scenario backup = saving;
  backup.operation = [] { return veskorBackupWA(c_, path("copy"), "wa"); };
  exhaust("veskorBackupWA", backup);

  Scenario closing = saving;
  closing.operation = [] { return veskorCloseWA(c_, "wa"); };
  closing.tearDown = opening.tearDown;
  exhaust("veskorCloseWA", closing);
}

// Building a word associator registers its words in the WKB: a failure leaves the WKB as it was
// and no file of the new associator, a success all three files and the words.
TEST_F(OutOfMemory, BuildWordAssociators) {
  auto builtFiles = [] {
    std::string shown;
    for (const char* part : {"built", "built.v1.net", "built.v1.tab"}) {
      shown += part + std::string(exists(part) ? " written\n" : " none\n");
    }
    return shown;
  };
  static const veskorWordPair kPairs[] = {{"Bienenstock", "Honigwabe", 2.0}, {"Honigwabe", "Imker", 1.0}};
  Scenario pairs =
      overKBs({"wkb"}, [] { return veskorBuildWA(c_, path("built"), kPairs, 2, "wkb", 0, nullptr); });
  pairs.state = [builtFiles] { return builtFiles() + kbStates({"wkb"}); };
  exhaust("veskorBuildWA", pairs);

  Scenario documents = overKBs({"dkb", "wkb"}, [] {
    return veskorBuildWAFromDocuments(c_, path("built"), "dkb", "wkb", 1, 2, nullptr);
  });
  documents.state = [builtFiles] { return builtFiles() + kbStates({"dkb", "wkb"}); };
  exhaust("veskorBuildWAFromDocuments", documents);
}

// ---- Connections, errors, the library's lifecycle ----------------------------------------------

TEST_F(OutOfMemory, ConnectionsAndLatestErrors) {
  static int opened = -1;
  Scenario connect;
  connect.operation = [] { return veskorOpenConnection(&opened); };
  connect.state = [] {
    // A connection that was made is usable; one that was refused is not there.
    if (opened < 0) return std::string("none");
    int status = veskorCloseConnection(opened);
    opened = -1;
    return "closed with " + std::to_string(status);
  };
  connect.setUp = [] { opened = -1; };
  exhaust("veskorOpenConnection", connect);

  Scenario fnConnect = connect;
  fnConnect.operation = [] { return fnOpenConnection(&opened); };
  fnConnect.state = [] {
    if (opened < 0) return std::string("none");
    int status = fnCloseConnection(opened);
    opened = -1;
    return "closed with " + std::to_string(status);
  };
  exhaust("fnOpenConnection", fnConnect);

  Scenario disconnect;
  disconnect.setUp = [] { ASSERT_EQ(veskorOpenConnection(&opened), VESKOR_OK); };
  disconnect.operation = [] { return veskorCloseConnection(opened); };
  disconnect.state = [] {
    // Closing it again tells whether the first close took it.
    return std::to_string(veskorCloseConnection(opened));
  };
  exhaust("veskorCloseConnection", disconnect);

  // The message is copied for the caller; a copy that cannot be made comes back as null (or as an
  // empty buffer). That failure is then the latest error, like any other call's.
  static char* message = nullptr;
  static char buffer[VESKOR_FN_MESSAGE_BUFFER_SIZE];
  Scenario latest;
  latest.setUp = [] { ASSERT_EQ(veskorSaveKB(c_, "nothing open"), VESKOR_ERROR_KBNAME); };
  latest.operation = [] {
    message = veskorGetLatestErrorMessage(c_);
    buffer[0] = 0;
    return fnGetLatestErrorMessage(c_, buffer);
  };
  latest.state = [] {
    std::string text = message != nullptr ? message : "";
    std::free(message);
    message = nullptr;
    const std::string unknownName = "error: identifier not found in dataManager_getDataObject";
    const std::string outOfMemory = "error: out of memory in ";
    EXPECT_TRUE(text.empty() || text.rfind(unknownName, 0) == 0) << text;
    std::string copied = buffer;
    EXPECT_TRUE(copied.empty() || copied.rfind(unknownName, 0) == 0 || copied.rfind(outOfMemory, 0) == 0)
        << copied;
    int code = veskorGetLatestErrorCode(c_);
    return std::string(code == VESKOR_ERROR_KBNAME || code == veskortest::oom::kOutOfMemory ? "kept"
                                                                                            : "lost");
  };
  exhaust("veskorGetLatestErrorMessage and fnGetLatestErrorMessage", latest);
}

// Initialising and cleaning up the library, with a changed knowledge base open at the clean-up.
TEST(OutOfMemoryLifecycle, InitAndCleanup) {
  static veskortest::TempDir dir;
  static const std::string kb = dir.file("a.kb");
  static std::string created, saved;
  auto openOne = [] {
    int connection = -1;
    ASSERT_EQ(veskorInit(), VESKOR_OK);
    ASSERT_EQ(veskorOpenConnection(&connection), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(connection, kb.c_str(), "a"), VESKOR_OK);
    ASSERT_EQ(veskorAddEntry(connection, nullptr, "a", "k", "Ein Eintrag"), VESKOR_OK);
  };
  ASSERT_EQ(veskorInit(), VESKOR_OK);
  int c = -1;
  ASSERT_EQ(veskorOpenConnection(&c), VESKOR_OK);
  ASSERT_EQ(veskorCreateKBFile(c, kb.c_str(), 1, 0, 0), VESKOR_OK);
  ASSERT_EQ(veskorCleanup(), VESKOR_OK);
  created = veskortest::readFileBytes(kb);
  openOne();
  ASSERT_EQ(veskorCleanup(), VESKOR_OK);
  saved = veskortest::readFileBytes(kb);
  ASSERT_NE(saved, created);

  // Up or down (a connection opens only when the library is up; it is taken down again), and
  // the knowledge base's file either as created or as saved, never anything else.
  auto state = [] {
    int connection = -1;
    int status = veskorOpenConnection(&connection);
    if (status == VESKOR_OK) {
      EXPECT_EQ(veskorCleanup(), VESKOR_OK);
    }
    std::string now = veskortest::readFileBytes(kb);
    veskortest::writeFileBytes(kb, created);
    return std::string(status == VESKOR_OK ? "up" : "down") +
           (now == created || now == saved ? " whole" : " damaged");
  };

  Scenario init;
  init.operation = [] { return veskorInit(); };
  init.state = state;
  init.checkLatestError = false;  // there is no library to keep one
  exhaust("veskorInit", init);

  Scenario cleanup;
  cleanup.setUp = openOne;
  cleanup.operation = [] { return veskorCleanup(); };
  cleanup.state = state;
  // Past its entry the clean-up takes the library down even when a save fails.
  cleanup.partialEffect = [] { veskorCleanup(); };
  cleanup.checkLatestError = false;
  exhaust("veskorCleanup", cleanup);

  // The component layer keeps its own flag and count beside the engine's state.
  auto fnState = [] {
    int connection = -1;
    int status = fnOpenConnection(&connection);
    if (status == VESKOR_OK) {
      EXPECT_EQ(fnCloseConnection(connection), VESKOR_OK);
      EXPECT_EQ(fnCleanup(), VESKOR_OK);
    }
    std::string now = veskortest::readFileBytes(kb);
    veskortest::writeFileBytes(kb, created);
    return std::string(status == VESKOR_OK ? "up" : "down") +
           (now == created || now == saved ? " whole" : " damaged");
  };
  Scenario fnInitialise = init;
  fnInitialise.operation = [] { return fnInit(); };
  fnInitialise.state = fnState;
  exhaust("fnInit", fnInitialise);
  Scenario fnCleanUp;
  fnCleanUp.setUp = [] {
    ASSERT_EQ(fnInit(), VESKOR_OK);
    int connection = -1;
    ASSERT_EQ(veskorOpenConnection(&connection), VESKOR_OK);
    ASSERT_EQ(veskorOpenKB(connection, kb.c_str(), "a"), VESKOR_OK);
    ASSERT_EQ(veskorAddEntry(connection, nullptr, "a", "k", "Ein Eintrag"), VESKOR_OK);
  };
  fnCleanUp.operation = [] { return fnCleanup(); };
  fnCleanUp.state = fnState;
  fnCleanUp.partialEffect = [] { fnCleanup(); };
  fnCleanUp.checkLatestError = false;
  exhaust("fnCleanup", fnCleanUp);
}

}  // namespace
