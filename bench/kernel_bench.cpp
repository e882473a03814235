// Knowledge-base kernel: adding entries, similarity search for misspelt words, saving and loading,
// on deterministic generated word lists of 10k, 100k and 1M single-word entries (settings of a
// German word knowledge base). With /usr/share/dict/ngerman present, the search is also measured
// on that real German word list.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "germanWordList.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

constexpr int32_t kLanguage = 1, kEncoding = 6, kEntryInformation = 11, kFeatureType = 1;
const std::vector<unsigned char> kBlock(knowledgeBase_numberSyntacticFeatures, 1);

std::vector<std::string> generatedWords(std::size_t count) {
  static const char* const syllables[] = {"ab",
                                          "an",
                                          "auf",
                                          "aus",
                                          "bach",
                                          "bau",
                                          "be",
                                          "berg",
                                          "bu",
                                          "burg",
                                          "dorf",
                                          "ein",
                                          "en",
                                          "er",
                                          "fahr",
                                          "feld",
                                          "ge",
                                          "haus",
                                          "heit",
                                          "hof",
                                          "keit",
                                          "ko",
                                          "lan",
                                          "lich",
                                          "ma",
                                          "mann",
                                          "mit",
                                          "na",
                                          "ne",
                                          "nung",
                                          "ra",
                                          "re",
                                          "ri",
                                          "sa",
                                          "sch",
                                          "schaft",
                                          "se",
                                          "sta",
                                          "stein",
                                          "stra",
                                          "ta",
                                          "te",
                                          "ter",
                                          "un",
                                          "ung",
                                          "ver",
                                          "wald",
                                          "we",
                                          "wei",
                                          "zu",
                                          "\xFC"
                                          "ber",
                                          "m\xFC"
                                          "hl",
                                          "gr\xF6\xDF",
                                          "l\xE4"
                                          "ng"};
  std::mt19937 random(4711);
  std::vector<std::string> words;
  words.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::string word;
    int parts = 2 + static_cast<int>(random() % 4);
    for (int p = 0; p < parts; ++p) word += syllables[random() % std::size(syllables)];
    words.push_back(word);
  }
  return words;
}

// One typing error: a letter replaced, dropped, doubled or swapped with its neighbour.
std::string misspelt(const std::string& word, std::mt19937& random) {
  std::string out = word;
  std::size_t at = random() % out.size();
  switch (random() % 4) {
    case 0:
      out[at] = static_cast<char>('a' + random() % 26);
      break;
    case 1:
      if (out.size() > 3) out.erase(at, 1);
      break;
    case 2:
      out.insert(at, 1, out[at]);
      break;
    default:
      if (at + 1 < out.size()) std::swap(out[at], out[at + 1]);
      break;
  }
  return out;
}

std::vector<std::string> seekTexts(const std::vector<std::string>& words) {
  std::mt19937 random(1234);
  std::vector<std::string> seeks;
  for (int i = 0; i < 1000; ++i) seeks.push_back(misspelt(words[random() % words.size()], random));
  return seeks;
}

std::size_t heapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

orl::KnowledgeBasePtr build(const std::vector<std::string>& words) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(kLanguage, kEncoding, kEntryInformation, kFeatureType));
  for (const std::string& word : words)
    knowledgeBase_addEntry(kb.get(), word.c_str(), word.c_str(), kBlock.data(), 0.0);
  return kb;
}

struct Corpus {
  std::vector<std::string> words;
  std::vector<std::string> seeks;
  orl::KnowledgeBasePtr kb;
};

Corpus& generatedCorpus(std::size_t count) {
  static std::map<std::size_t, Corpus> cache;
  Corpus& corpus = cache[count];
  if (corpus.kb == nullptr) {
    corpus.words = generatedWords(count);
    corpus.seeks = seekTexts(corpus.words);
    corpus.kb = build(corpus.words);
  }
  return corpus;
}

// The German word list of the system's dictionary, converted from UTF-8 to Latin-1.
Corpus* germanCorpus() {
  static std::unique_ptr<Corpus> corpus;
  static bool tried = false;
  if (tried) return corpus.get();
  tried = true;
  std::vector<std::string> words = veskorbench::loadGermanWordList();
  if (words.empty()) return nullptr;
  corpus = std::make_unique<Corpus>();
  corpus->words = std::move(words);
  corpus->seeks = seekTexts(corpus->words);
  corpus->kb = build(corpus->words);
  return corpus.get();
}

void runFind(benchmark::State& state, const Corpus& corpus, int32_t numberResults) {
  std::size_t next = 0;
  int64_t hits = 0;
  for (auto _ : state) {
    knowledgeBaseResultList found(knowledgeBase_find(
        corpus.kb.get(), corpus.seeks[next++ % corpus.seeks.size()].c_str(), numberResults));
    hits += found.size();
  }
  state.counters["entries"] = static_cast<double>(corpus.words.size());
  state.counters["hits_per_find"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}

void BM_AddEntries(benchmark::State& state) {
  std::vector<std::string> words = generatedWords(static_cast<std::size_t>(state.range(0)));
  double bytesPerEntry = 0;
  for (auto _ : state) {
    std::size_t before = heapInUse();
    orl::KnowledgeBasePtr kb = build(words);
    bytesPerEntry = static_cast<double>(heapInUse() - before) / static_cast<double>(words.size());
    state.PauseTiming();
    kb.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes_per_entry"] = bytesPerEntry;
}
BENCHMARK(BM_AddEntries)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FindMisspelt(benchmark::State& state) {
  runFind(state, generatedCorpus(static_cast<std::size_t>(state.range(0))),
          static_cast<int32_t>(state.range(1)));
}
BENCHMARK(BM_FindMisspelt)
    ->ArgsProduct({{10000, 100000, 1000000}, {10, 2000}})
    ->Unit(benchmark::kMicrosecond);

void BM_FindMisspeltGermanWordList(benchmark::State& state) {
  Corpus* corpus = germanCorpus();
  if (corpus == nullptr) {
    state.SkipWithError("/usr/share/dict/ngerman not installed");
    return;
  }
  runFind(state, *corpus, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_FindMisspeltGermanWordList)->Arg(10)->Arg(2000)->Unit(benchmark::kMicrosecond);

std::string benchFile(std::size_t count) {
  return "/tmp/veskor-kernel-bench-" + std::to_string(getpid()) + "-" + std::to_string(count) + ".kb";
}

void BM_Save(benchmark::State& state) {
  Corpus& corpus = generatedCorpus(static_cast<std::size_t>(state.range(0)));
  std::string file = benchFile(corpus.words.size());
  for (auto _ : state) knowledgeBase_saveAs(corpus.kb.get(), file.c_str());
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  state.counters["file_bytes_per_entry"] =
      static_cast<double>(in.tellg()) / static_cast<double>(corpus.words.size());
}
BENCHMARK(BM_Save)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Load(benchmark::State& state) {
  Corpus& corpus = generatedCorpus(static_cast<std::size_t>(state.range(0)));
  std::string file = benchFile(corpus.words.size());
  knowledgeBase_saveAs(corpus.kb.get(), file.c_str());
  for (auto _ : state) {
    orl::KnowledgeBasePtr loaded(knowledgeBase_createFromFile(file.c_str()));
    benchmark::DoNotOptimize(loaded.get());
    state.PauseTiming();
    loaded.reset();
    state.ResumeTiming();
  }
  std::remove(file.c_str());
}
BENCHMARK(BM_Load)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
