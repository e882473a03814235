#include "veskorANN/wordAssociator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"

namespace {

using veskortest::readFileBytes;
using veskortest::TempDir;
using veskortest::WordAssociatorFixture;
using veskortest::writeFileBytes;

using Words = std::vector<std::pair<std::string, double>>;

// A list of wordWeight over its own copy of the words.
class WordList {
 public:
  explicit WordList(Words words) : words_(std::move(words)), list_(vector_create(sizeof(wordWeight), 0, 4)) {
    for (auto& [word, weight] : words_) {
      wordWeight element{word.data(), weight};
      vector_appendElement(list_.get(), &element);
    }
  }
  const vector* get() const { return list_.get(); }

 private:
  Words words_;
  orl::VectorPtr list_;
};

Words associations(const wordAssociator* wa, const Words& query, int32_t iterations = 1,
                   const Words* context = nullptr) {
  WordList words(query);
  WordList contextWords(context != nullptr ? *context : Words{});
  orl::WordWeightsPtr result(wordAssociator_computeAssociations(
      wa, words.get(), context != nullptr ? contextWords.get() : nullptr, iterations));
  Words out;
  for (int32_t i = 0; i < vector_getNumberElements(result.get()); ++i) {
    const wordWeight& w = orl::vectorAt<wordWeight>(result.get(), i);
    out.emplace_back(w.word, w.weight);
  }
  return out;
}

// Expects the call to raise group/code with a message that starts with the text.
template <class F>
void expectRaise(F&& call, int32_t group, int32_t code, const std::string& start) {
  try {
    call();
    ADD_FAILURE() << "nothing raised, expected " << start;
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), group) << e.message();
    EXPECT_EQ(e.code(), code) << e.message();
    EXPECT_EQ(e.message().rfind(start, 0), 0u) << e.message();
  }
}

// apfel feeds birne strongly and kirsche weakly; pflaume is unconnected.
WordAssociatorFixture fruitFixture() {
  WordAssociatorFixture fixture({"apfel", "birne", "kirsche", "pflaume"});
  fixture.connect("apfel", "birne", 9.0f).connect("apfel", "kirsche", 1.0f);
  fixture.headerValue = 77;
  return fixture;
}

orl::WordAssociatorPtr load(const std::string& fileName) {
  return orl::WordAssociatorPtr(wordAssociator_createFromFile(fileName.c_str()));
}

void shiftModificationTime(const std::string& fileName, std::chrono::nanoseconds by) {
  std::filesystem::last_write_time(fileName, std::filesystem::last_write_time(fileName) + by);
}

TEST(WordAssociator, LoadsTheThreeFilesAndComputesAssociations) {
  TempDir dir;
  fruitFixture().write(dir.file("wa"));
  orl::WordAssociatorPtr wa = load(dir.file("wa"));
  EXPECT_EQ(wa->version, 1);
  EXPECT_EQ(wa->headerValue, 77);
  EXPECT_FALSE(wa->modified);
  EXPECT_STREQ(wa->fileNameAssociator.get(), dir.file("wa").c_str());
  ASSERT_EQ(vector_getNumberElements(wa->wordVector.get()), 4);
  EXPECT_STREQ(orl::vectorAt<char*>(wa->wordVector.get(), 2), "kirsche");

  // e = sqrt(1 * 9) = 3 gives 3/4; e = 1 gives 1/2; apfel itself has no input.
  EXPECT_EQ(associations(wa.get(), {{"apfel", 1.0}}), (Words{{"birne", 0.75}, {"kirsche", 0.5}}));
  // Unknown words are ignored; lookups are exact.
  EXPECT_EQ(associations(wa.get(), {{"Apfel", 1.0}, {"banane", 1.0}}), Words{});
  EXPECT_EQ(associations(wa.get(), {{"banane", 1.0}, {"apfel", 1.0}}),
            (Words{{"birne", 0.75}, {"kirsche", 0.5}}));
  // A weight of 0.25 gives e = 1.5 into birne: 1.5 / 2.5.
  // The weights are float32 activities: 1.5f / 2.5f and 0.5f / 1.5f.
  EXPECT_EQ(associations(wa.get(), {{"apfel", 0.25}}),
            (Words{{"birne", 0.6000000238418579}, {"kirsche", 0.3333333432674408}}));
}

TEST(WordAssociator, IteratesUntilStableOrTheLimit) {
  TempDir dir;
  WordAssociatorFixture fixture({"a", "b", "c", "d"});
  fixture.connect("a", "b", 9.0f).connect("b", "c", 9.0f).connect("c", "d", 9.0f);
  fixture.write(dir.file("chain"));
  orl::WordAssociatorPtr wa = load(dir.file("chain"));
  // The activity walks along the chain, one neuron per update, and then dies out.
  EXPECT_EQ(associations(wa.get(), {{"a", 1.0}}, 1), (Words{{"b", 0.75}}));
  Words second = associations(wa.get(), {{"a", 1.0}}, 2);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].first, "c");
  EXPECT_EQ(associations(wa.get(), {{"a", 1.0}}, 3).at(0).first, "d");
  EXPECT_EQ(associations(wa.get(), {{"a", 1.0}}, 100), Words{});
  EXPECT_EQ(associations(wa.get(), {{"a", 1.0}}, 0), Words{});
  for (int32_t iterations : {-1, 101}) {
    expectRaise(
        [&] {
          associations(wa.get(), {{"a", 1.0}}, iterations);
        },
        16, 5,
        "Ung\xFCltige Zahl an Iterationen in wordAssociator_computeAssociations()\nin file \"veskorANN/");
  }
  expectRaise([&] { wordAssociator_computeAssociations(wa.get(), nullptr, nullptr, 1); }, 16, 1,
              "pThis == NULL || pWords == NULL in wordAssociator_computeAssociations()");
}

TEST(WordAssociator, FirstOccurrenceAndMainWordsDecideActivation) {
  TempDir dir;
  fruitFixture().write(dir.file("wa"));
  orl::WordAssociatorPtr wa = load(dir.file("wa"));
  std::vector<annStateEntry> oldState(4, annStateEntry{0.0f, 0.5f, 0.5f});
  std::vector<annStateEntry> newState(4);
  annState state{oldState.data(), newState.data(), 4};
  WordList main({{"apfel", 0.25}, {"birne", 0.5}, {"apfel", 0.75}});
  wordAssociator_setState(wa.get(), &state, main.get());
  WordList context({{"birne", 1.0}, {"kirsche", 0.125}});
  wordAssociator_setContext(wa.get(), &state, context.get());
  EXPECT_EQ(oldState[0].sc_act, 0.25f);
  EXPECT_EQ(oldState[1].sc_act, 0.5f);  // the context keeps the main word's weight
  EXPECT_EQ(oldState[2].sc_act, 0.125f);
  EXPECT_EQ(oldState[3].sc_act, 0.0f);
  EXPECT_EQ(oldState[1].sc_mp, 0.0f);
  EXPECT_EQ(oldState[1].sc_mp_off, 0.0f);
  EXPECT_EQ(oldState[3].sc_mp, 0.5f);  // untouched
  wordWeight nameless{nullptr, 1.0};
  wordAssociator_activateWord(wa.get(), &state, &nameless, 0);
  expectRaise([&] { wordAssociator_activateWord(wa.get(), nullptr, &nameless, 0); }, 16, 3,
              "Kein Zustandsvektor im Assoziativspeicher in wordAssociator_activateWord()");

  Words context2{{"apfel", 1.0}};
  EXPECT_EQ(associations(wa.get(), {{"apfel", 0.25}}, 1, &context2),
            associations(wa.get(), {{"apfel", 0.25}}, 1, nullptr));
}

void expectLoadFails(const std::string& fileName, int32_t group, int32_t code, const std::string& start) {
  expectRaise([&] { load(fileName); }, group, code, start);
}

TEST(WordAssociator, RefusesWrongOrHostileFilesWithoutLeaking) {
  TempDir dir;
  const std::string f = dir.file("wa");
  WordAssociatorFixture fixture = fruitFixture();
  fixture.write(f);
  const std::string format = "Falsches Dateiformat in wordAssociator_createFromFile()\nin file \"veskorANN/";
  veskortest::writeWordAssociatorHeader(f, "WASX");
  expectLoadFails(f, 16, 9, format);
  veskortest::writeWordAssociatorHeader(f, "WASE", 2);
  expectLoadFails(f, 16, 9, format);
  writeFileBytes(f, "WA");
  expectLoadFails(f, 5000, 4, "Lesefehler in stream_readString");
  veskortest::writeWordAssociatorHeader(f);

  veskortest::writeWordTable(f + ".v1.tab", {"apfel", "birne", "kirsche"});
  expectLoadFails(f, 16, 9, format);
  veskortest::writeWordTable(f + ".v1.tab", fixture.words(), "WALX");
  expectLoadFails(f, 16, 9, format);
  std::filesystem::remove(f + ".v1.tab");
  expectLoadFails(f, 5000, 6,
                  "Datei \"" + f +
                      ".v1.tab\" kann nicht zum Lesen ge\xF6"
                      "ffnet werden");
  veskortest::writeWordTable(f + ".v1.tab", fixture.words());

  const std::string network = readFileBytes(f + ".v1.net");
  writeFileBytes(f + ".v1.net", network.substr(0, network.size() - 3));
  expectLoadFails(f, 5000, 4, "-3300:Lesefehler in wordAssociator:");
  std::filesystem::remove(f + ".v1.net");
  expectLoadFails(f, 5000, 6,
                  "-3113:Datei kann nicht ge\xF6"
                  "ffnet werden in wordAssociator:");
  orl::AnnNetworkPtr shifted = fixture.buildNetwork();
  shifted->layers[0].l_offset = 2;
  ASSERT_EQ(annNetwork_save(shifted.get(), fixture.buildDefinitions().get(), (f + ".v1.net").c_str()),
            kAnnOk);
  expectLoadFails(f, 16, 2, "-3011:Allgemeiner Fehler in wordAssociator:");

  std::filesystem::remove(f);
  expectLoadFails(f, 5000, 6,
                  "Datei \"" + f +
                      "\" kann nicht zum Lesen ge\xF6"
                      "ffnet werden");
  expectRaise(
      [] { wordAssociator_createFromFile(nullptr); }, 16, 1,
      "pFileName == NULL in wordAssociator_createFromFile()\nin file \"veskorANN/wordAssociator.cpp\" line ");
}

TEST(WordAssociator, KeepsEmptyAndRepeatedWordsOutOfTheWay) {
  TempDir dir;
  WordAssociatorFixture fixture({"apfel", "", "apfel", "birne"});
  fixture.connect(0, 1, 9.0f).connect(0, 2, 9.0f).connect(2, 3, 9.0f);
  fixture.write(dir.file("wa"));
  orl::WordAssociatorPtr wa = load(dir.file("wa"));
  // "apfel" is neuron 0, its first occurrence; the wordless neuron 1 is active but cannot be named.
  EXPECT_EQ(associations(wa.get(), {{"apfel", 1.0}}), (Words{{"apfel", 0.75}}));
}

TEST(WordAssociator, SavesOnlyWhileTheHeaderFileIsUnchanged) {
  TempDir dir;
  const std::string f = dir.file("wa");
  fruitFixture().write(f);
  orl::WordAssociatorPtr wa = load(f);
  const auto before = std::filesystem::last_write_time(f);
  wordAssociator_save(wa.get());  // nothing modified: nothing written
  EXPECT_EQ(std::filesystem::last_write_time(f), before);

  // A change within the same second is still a change.
  shiftModificationTime(f, std::chrono::nanoseconds(1));
  const std::string inconsistent = "Inkonsistenter Zeitpunkt der letzten Sicherung in wordAssociator_save()";
  expectRaise([&] { wordAssociator_save(wa.get()); }, 16, 8, inconsistent);

  orl::WordAssociatorPtr fresh = load(f);
  const std::string g = dir.file("backup");
  wordAssociator_saveAs(fresh.get(), g.c_str());
  for (const char* part : {"", ".v1.net", ".v1.tab"}) {
    EXPECT_EQ(readFileBytes(g + part), readFileBytes(f + part)) << part;
  }
  EXPECT_STREQ(fresh->fileNameAssociator.get(), f.c_str());
  shiftModificationTime(g, std::chrono::seconds(-5));
  wordAssociator_save(fresh.get());  // still guards F, not the backup
  shiftModificationTime(f, std::chrono::seconds(-5));
  expectRaise([&] { wordAssociator_save(fresh.get()); }, 16, 8, inconsistent);

  // A modified word associator rewrites its files and takes the new time.
  orl::WordAssociatorPtr modified = load(f);
  modified->modified = true;
  shiftModificationTime(f, std::chrono::seconds(-5));
  modified->fileTime = orlFileTime{};
  ASSERT_TRUE(orlGetFileModificationTime(f.c_str(), &modified->fileTime));
  wordAssociator_save(modified.get());
  EXPECT_FALSE(modified->modified);
  EXPECT_EQ(readFileBytes(f + ".v1.net"), readFileBytes(g + ".v1.net"));
  wordAssociator_save(modified.get());

  std::filesystem::remove(f);
  expectRaise([&] { wordAssociator_save(modified.get()); }, 5000, 6,
              "Datei \"" + f + "\" kann nicht zum Lesen");
}

TEST(WordAssociator, FailedBackupsLeaveExistingFilesAlone) {
  TempDir dir;
  fruitFixture().write(dir.file("wa"));
  orl::WordAssociatorPtr wa = load(dir.file("wa"));
  const std::string g = dir.file("old");
  for (const char* part : {"", ".v1.net", ".v1.tab"}) writeFileBytes(g + part, "previous");

  stream_setWriteFailureAfter(6);
  expectRaise([&] { wordAssociator_saveAs(wa.get(), g.c_str()); }, 5000, 3,
              "Schreibfehler in stream_writeInt32");
  stream_setWriteFailureAfter(-1);
  EXPECT_EQ(readFileBytes(g), "previous");

  // The header file goes out first; let it through and fail ten bytes into the network file.
  stream_setWriteFailureAfter(static_cast<int64_t>(readFileBytes(dir.file("wa")).size()) + 10);
  expectRaise([&] { wordAssociator_saveAs(wa.get(), g.c_str()); }, 5000, 3,
              "-3301:Schreibfehler in wordAssociator:");
  stream_setWriteFailureAfter(-1);
  EXPECT_EQ(readFileBytes(g + ".v1.net"), "previous");
  EXPECT_EQ(readFileBytes(g + ".v1.tab"), "previous");
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 6u);  // no temporary files left behind
}

TEST(WordAssociator, TranslatesNetworkStatuses) {
  wordAssociator_checkNetworkStatus(0, 1);
  const std::string suffix = "\nin file \"veskorANN/wordAssociator.cpp\" line ";
  expectRaise([] { wordAssociator_checkNetworkStatus(-3113, 12); }, 5000, 6,
              "-3113:Datei kann nicht ge\xF6"
              "ffnet werden in wordAssociator:12" +
                  suffix);
  expectRaise([] { wordAssociator_checkNetworkStatus(-3301, 34); }, 5000, 3,
              "-3301:Schreibfehler in wordAssociator:34" + suffix);
  expectRaise([] { wordAssociator_checkNetworkStatus(-3300, 5); }, 5000, 4,
              "-3300:Lesefehler in wordAssociator:5" + suffix);
  for (int32_t status : {-3001, -11, -3116}) {
    expectRaise([&] { wordAssociator_checkNetworkStatus(status, 7); }, 1, 1,
                std::to_string(status) + ":Kein Speicher mehr in wordAssociator:7" + suffix);
  }
  for (int32_t status : {-1, -3009, 17}) {
    expectRaise([&] { wordAssociator_checkNetworkStatus(status, 8); }, 16, 2,
                std::to_string(status) + ":Allgemeiner Fehler in wordAssociator:8" + suffix);
  }
}

TEST(WordAssociator, ComputationsShareOneWordAssociatorAcrossThreads) {
  TempDir dir;
  std::vector<std::string> words;
  for (int32_t i = 0; i < 300; ++i) words.push_back("wort" + std::to_string(i));
  WordAssociatorFixture fixture(words);
  fixture.neuronType.nc_alpha = 0.25f;
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 1000; };
  for (int32_t c = 0; c < 3000; ++c) {
    int32_t type = next() % 4 == 0 ? kAnnSynapseInhibitory : kAnnSynapseExcitatory;
    fixture.connect(static_cast<int32_t>(next() % 300), static_cast<int32_t>(next() % 300),
                    static_cast<float>(next()) / 250.0f, type);
  }
  fixture.write(dir.file("big"));
  orl::WordAssociatorPtr wa = load(dir.file("big"));

  std::vector<Words> queries;
  for (int32_t q = 0; q < 16; ++q) {
    queries.push_back({{words[(q * 37) % 300], 1.0}, {words[(q * 91 + 5) % 300], 0.5}});
  }
  std::vector<Words> expected;
  for (const Words& query : queries) expected.push_back(associations(wa.get(), query, 0));
  bool anyActive = false;
  for (const Words& result : expected) anyActive = anyActive || !result.empty();
  EXPECT_TRUE(anyActive);

  std::vector<std::vector<Words>> results(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int32_t round = 0; round < 5; ++round) {
        for (std::size_t q = 0; q < queries.size(); ++q) {
          results[t].push_back(associations(wa.get(), queries[(q + t) % queries.size()], 0));
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < results.size(); ++t) {
    for (std::size_t i = 0; i < results[t].size(); ++i) {
      EXPECT_EQ(results[t][i], expected[(i % queries.size() + t) % queries.size()]) << "thread " << t;
    }
  }
}

}  // namespace
