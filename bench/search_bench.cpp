// Searching through the exported functions: veskorFindEntry on a word knowledge base and
// veskorFindDocument / veskorCompareDocument on a knowledge base of documents made of generated
// German-like sentences (words drawn with a Zipf distribution, so that common words fan out to
// many sentences as in real text); the variants whose hits carry the stored texts beside them.
//
//   build/bin/search_bench --benchmark_filter=Find
//   build/bin/search_bench --benchmark_filter='Document/1000000'   (the million-sentence figures)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "germanWordList.h"
#include "veskor/veskorAPI.h"
#include "veskor/veskorExt.h"

namespace {

constexpr int kSentencesPerDocument = 10;
constexpr int kVocabulary = 20000;

void check(int status, const char* what) {
  if (status != VESKOR_OK) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

std::vector<std::string> makeVocabulary(std::mt19937& random) {
  static const char* const syllables[] = {"ba", "be", "bi", "bo", "da", "de", "di", "fa", "fe", "ga", "ge", "ha",
                                          "he", "ka", "ke", "la", "le", "li", "ma", "me", "mi", "na", "ne", "ni",
                                          "no", "ra", "re", "ri", "sa", "se", "ta", "te", "ti", "wa", "we", "zu",
                                          "sch", "st", "ung", "er", "en", "ein", "au", "\xE4u", "\xF6", "\xFC"};
  constexpr int kSyllables = sizeof syllables / sizeof syllables[0];
  std::uniform_int_distribution<int> pick(0, kSyllables - 1), length(2, 4);
  std::map<std::string, int> seen;
  std::vector<std::string> words;
  while (static_cast<int>(words.size()) < kVocabulary) {
    std::string word;
    for (int n = length(random); n > 0; --n) word += syllables[pick(random)];
    if (seen.emplace(word, 0).second) words.push_back(word);
  }
  return words;
}

// A document of kSentencesPerDocument sentences of 6 to 12 words.
std::string makeDocument(const std::vector<std::string>& words, std::mt19937& random,
                         std::discrete_distribution<int>& zipf) {
  std::uniform_int_distribution<int> length(6, 12);
  std::string text;
  for (int s = 0; s < kSentencesPerDocument; ++s) {
    int n = length(random);
    for (int w = 0; w < n; ++w) {
      std::string word = words[static_cast<std::size_t>(zipf(random))];
      if (w == 0) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
      text += word;
      text += w + 1 < n ? " " : ". ";
    }
  }
  return text;
}

// One document knowledge base with its word knowledge base per corpus size, built once.
class Corpus {
 public:
  explicit Corpus(int sentences) {
    dir_ = std::filesystem::temp_directory_path() / ("veskor-search-bench-" + std::to_string(sentences));
    std::filesystem::create_directories(dir_);
    check(veskorOpenConnection(&connection_), "veskorOpenConnection");
    std::string suffix = std::to_string(sentences);
    docs_ = "docs" + suffix;
    words_ = "words" + suffix;
    open("docs.kb", docs_.c_str(), 1, 0);
    open("words.kb", words_.c_str(), 0, 1);
    std::mt19937 random(4711);
    vocabulary_ = makeVocabulary(random);
    std::vector<double> weights;
    for (int r = 0; r < kVocabulary; ++r) weights.push_back(1.0 / (r + 1));
    std::discrete_distribution<int> zipf(weights.begin(), weights.end());
    for (int d = 0; d < sentences / kSentencesPerDocument; ++d) {
      std::string text = makeDocument(vocabulary_, random, zipf);
      check(veskorAddDocument(connection_, words_.c_str(), docs_.c_str(), ("doc" + std::to_string(d)).c_str(),
                              text.c_str()),
            "veskorAddDocument");
      if (d < 20) sampleDocuments_.push_back(text);
    }
  }
  ~Corpus() {
    veskorCloseKB(connection_, docs_.c_str());
    veskorCloseKB(connection_, words_.c_str());
    veskorCloseConnection(connection_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Seek texts of three words: one common, one of middle rank, one rare and misspelt.
  std::string query(int i) const {
    std::string rare = vocabulary_[static_cast<std::size_t>(2000 + 37 * i)];
    rare[rare.size() / 2] = 'x';
    return vocabulary_[static_cast<std::size_t>(i % 50)] + " " + vocabulary_[static_cast<std::size_t>(300 + 11 * i)] +
           " " + rare;
  }
  // A misspelt word of middle rank.
  std::string word(int i) const {
    std::string w = vocabulary_[static_cast<std::size_t>(100 + 13 * i)];
    w[0] = 'q';
    return w;
  }

  int connection_ = -1;
  std::string docs_, words_;
  std::vector<std::string> vocabulary_;
  std::vector<std::string> sampleDocuments_;

 private:
  void open(const char* file, const char* name, int forDocuments, int kind) {
    std::string path = (dir_ / file).string();
    check(veskorCreateKBFile(connection_, path.c_str(), 1, forDocuments, kind), "veskorCreateKBFile");
    check(veskorOpenKB(connection_, path.c_str(), name), "veskorOpenKB");
  }

  std::filesystem::path dir_;
};

void initialiseLibrary() {
  static bool initialised = [] {
    check(veskorInit(), "veskorInit");
    std::atexit([] { veskorCleanup(); });
    return true;
  }();
  (void)initialised;
}

Corpus& corpus(int sentences) {
  initialiseLibrary();
  static std::map<int, std::unique_ptr<Corpus>> corpora;
  std::unique_ptr<Corpus>& c = corpora[sentences];
  if (!c) c = std::make_unique<Corpus>(sentences);
  return *c;
}

void BM_FindEntryInWordKB(benchmark::State& state) {
  Corpus& c = corpus(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state) {
    std::string seek = c.word(i++ % 100);
    veskorSearchHits* hits =
        veskorFindEntry(c.connection_, c.words_.c_str(), c.words_.c_str(), nullptr, 10, 0, 0, seek.c_str());
    if (hits == nullptr) state.SkipWithError("veskorFindEntry failed");
    benchmark::DoNotOptimize(hits);
    veskorFreeSearchHits(c.connection_, hits);
  }
}

// The same with the words' stored texts in the hits.
void BM_FindEntryWithTextInWordKB(benchmark::State& state) {
  Corpus& c = corpus(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state) {
    std::string seek = c.word(i++ % 100);
    veskorTextSearchHits* hits = veskorFindEntryWithText(c.connection_, c.words_.c_str(), c.words_.c_str(),
                                                         nullptr, 10, 0, 0, seek.c_str());
    if (hits == nullptr) state.SkipWithError("veskorFindEntryWithText failed");
    benchmark::DoNotOptimize(hits);
    veskorFreeTextSearchHits(c.connection_, hits);
  }
}

void BM_FindDocumentWithText(benchmark::State& state) {
  Corpus& c = corpus(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state) {
    std::string seek = c.query(i++ % 50);
    veskorTextDocumentSearchHits* hits = veskorFindDocumentWithText(
        c.connection_, c.words_.c_str(), c.docs_.c_str(), nullptr, 10, 0, 0, seek.c_str());
    if (hits == nullptr) {
      state.SkipWithError("veskorFindDocumentWithText failed");
      break;
    }
    veskorFreeTextDocumentSearchHits(c.connection_, hits);
  }
}

// Wall time of each iteration, for the percentiles the mean hides.
class IterationTimes {
 public:
  void start() { begin_ = std::chrono::steady_clock::now(); }
  void stop() {
    times_.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin_).count());
  }
  // p50 and p99 in milliseconds as counters of the run.
  void report(benchmark::State& state) {
    if (times_.empty()) return;
    std::sort(times_.begin(), times_.end());
    auto at = [&](double p) { return times_[static_cast<std::size_t>(p * static_cast<double>(times_.size() - 1))]; };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
  }

 private:
  std::chrono::steady_clock::time_point begin_;
  std::vector<double> times_;
};

void BM_FindDocument(benchmark::State& state) {
  Corpus& c = corpus(static_cast<int>(state.range(0)));
  // The first search after the knowledge base changed numbers its entries by document (about 0.8 s
  // for a million sentences); that happens once, so it is left out of the searches timed here.
  if (veskorDocumentSearchHits* first =
          veskorFindDocument(c.connection_, c.words_.c_str(), c.docs_.c_str(), nullptr, 10, 0, 0, c.query(0).c_str())) {
    veskorFreeDocumentSearchHits(c.connection_, first);
  }
  int i = 0;
  std::size_t documents = 0;
  IterationTimes times;
  for (auto _ : state) {
    std::string seek = c.query(i++ % 50);
    times.start();
    veskorDocumentSearchHits* hits =
        veskorFindDocument(c.connection_, c.words_.c_str(), c.docs_.c_str(), nullptr, 10, 0, 0, seek.c_str());
    times.stop();
    if (hits == nullptr) {
      state.SkipWithError("veskorFindDocument failed");
      break;
    }
    documents += static_cast<std::size_t>(hits->numberHits);
    veskorFreeDocumentSearchHits(c.connection_, hits);
  }
  state.counters["documents"] = benchmark::Counter(static_cast<double>(documents), benchmark::Counter::kAvgIterations);
  times.report(state);
}

void BM_CompareDocument(benchmark::State& state) {
  Corpus& c = corpus(static_cast<int>(state.range(0)));
  int i = 0;
  IterationTimes times;
  for (auto _ : state) {
    const std::string& text = c.sampleDocuments_[static_cast<std::size_t>(i++) % c.sampleDocuments_.size()];
    times.start();
    veskorDocumentSearchHits* hits = veskorCompareDocument(c.connection_, c.words_.c_str(), c.docs_.c_str(), 10,
                                                           text.c_str());
    times.stop();
    if (hits == nullptr) {
      state.SkipWithError("veskorCompareDocument failed");
      break;
    }
    veskorFreeDocumentSearchHits(c.connection_, hits);
  }
  times.report(state);
}

// The German word list of the system's dictionary (UTF-8 turned into Latin-1), each word an entry
// of a knowledge base of single entries under its own key, as an application would keep it.
class GermanWordList {
 public:
  GermanWordList() {
    std::vector<std::string> words = veskorbench::loadGermanWordList();
    if (words.empty()) return;
    dir_ = std::filesystem::temp_directory_path() / "veskor-search-bench-ngerman";
    std::filesystem::create_directories(dir_);
    check(veskorOpenConnection(&connection_), "veskorOpenConnection");
    std::string path = (dir_ / "words.kb").string();
    check(veskorCreateKBFile(connection_, path.c_str(), 1, 0, 0), "veskorCreateKBFile");
    check(veskorOpenKB(connection_, path.c_str(), "ngerman"), "veskorOpenKB");
    check(veskorCreateKBFile(connection_, (dir_ / "empty.kb").string().c_str(), 1, 0, 1), "veskorCreateKBFile");
    check(veskorOpenKB(connection_, (dir_ / "empty.kb").string().c_str(), "nowords"), "veskorOpenKB");
    std::size_t count = 0;
    for (std::string& word : words) {
      // A few entries of the list are no words to the engine (digits or punctuation only): status 11.
      int status = veskorAddEntry(connection_, nullptr, "ngerman", word.c_str(), word.c_str());
      if (status == VESKOR_ERROR_ENTRY_NOT_VALID) continue;
      check(status, "veskorAddEntry");
      // Every 997th word, two letters in its middle swapped: a typing slip.
      if (count++ % 997 == 0 && word.size() >= 4) {
        std::swap(word[word.size() / 2], word[word.size() / 2 - 1]);
        seeks_.push_back(word);
      }
    }
    entries_ = count;
  }
  ~GermanWordList() {
    if (connection_ < 0) return;
    veskorCloseKB(connection_, "ngerman");
    veskorCloseKB(connection_, "nowords");
    veskorCloseConnection(connection_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  bool available() const { return connection_ >= 0; }

  int connection_ = -1;
  std::size_t entries_ = 0;
  std::vector<std::string> seeks_;

 private:
  std::filesystem::path dir_;
};

// The yardstick: a one-word misspelt top-10 lookup over the 356,010 words, end to end through the
// exported API (argument checks, locks, copying the hits out).
void BM_FindEntryGermanWordList(benchmark::State& state) {
  initialiseLibrary();
  static GermanWordList list;
  if (!list.available()) {
    state.SkipWithError("/usr/share/dict/ngerman not installed");
    return;
  }
  std::size_t i = 0;
  for (auto _ : state) {
    veskorSearchHits* hits = veskorFindEntry(list.connection_, "nowords", "ngerman", nullptr, 10, 0, 0,
                                             list.seeks_[i++ % list.seeks_.size()].c_str());
    if (hits == nullptr) {
      state.SkipWithError("veskorFindEntry failed");
      break;
    }
    veskorFreeSearchHits(list.connection_, hits);
  }
  state.counters["entries"] = static_cast<double>(list.entries_);
}

}  // namespace

BENCHMARK(BM_FindEntryGermanWordList)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindEntryInWordKB)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindEntryWithTextInWordKB)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
// A million sentences: 100,000 documents of 10 sentences (built once, about half a minute).
BENCHMARK(BM_FindDocument)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindDocumentWithText)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompareDocument)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
