// Word associator: loading the three files and computing associations as the document search
// does (one update) and until stable, on a network of 20000 words with 20 connections each and on
// the associator built from the German thesaurus (Debian package openthesaurus-de-text). Every
// association is measured twice in the same run: with the update that visits only the neurons the
// activity reaches (the engine's) and with the full update of every neuron (FullUpdate).
#include <benchmark/benchmark.h>
#include <veskor/veskorExt.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskorANN/wordAssociator.h"
#include "waSources.h"

namespace {

constexpr int32_t kWords = 20000;
constexpr int32_t kConnectionsPerWord = 20;
const char* const kThesaurus = "/usr/share/openthesaurus-de/openthesaurus.txt";

std::string wordOf(int32_t i) {
  return "wort" + std::to_string(i);
}

veskortest::TempDir& scratch() {
  static veskortest::TempDir dir;
  return dir;
}

// Written once per process.
const std::string& associatorFile() {
  static const std::string fileName = [] {
    std::vector<std::string> words;
    for (int32_t i = 0; i < kWords; ++i) words.push_back(wordOf(i));
    veskortest::WordAssociatorFixture fixture(words);
    uint32_t seed = 4711;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int32_t to = 0; to < kWords; ++to) {
      for (int32_t c = 0; c < kConnectionsPerWord; ++c) {
        int32_t type = next() % 5 == 0 ? kAnnSynapseInhibitory : kAnnSynapseExcitatory;
        fixture.connect(static_cast<int32_t>(next() % kWords), to, static_cast<float>(next() % 1000) / 200.0f,
                        type);
      }
    }
    std::string name = scratch().file("bench");
    fixture.write(name);
    return name;
  }();
  return fileName;
}

// The thesaurus's pairs as veskor build-wa --thesaurus reads them.
void readThesaurusPairs(veskorcli::WordPairs& pairs) {
  std::ifstream in(kThesaurus, std::ios::binary);
  veskorcli::readThesaurus(in, kThesaurus, veskorcli::TextCodec(veskorcli::Encoding::utf8, false), pairs, {});
}

// Builds the word associator F through the engine; false when it fails.
bool buildThesaurusAssociator(const std::string& fileName, const veskorcli::WordPairs& pairs) {
  int connection = 0;
  if (veskorInit() != VESKOR_OK || veskorOpenConnection(&connection) != VESKOR_OK) return false;
  const int status =
      veskorBuildWA(connection, fileName.c_str(), pairs.pairs().data(),
                    static_cast<int>(pairs.pairs().size()), nullptr, VESKOR_WA_LENIENT, nullptr);
  veskorCloseConnection(connection);
  veskorCleanup();
  return status == VESKOR_OK;
}

// Built once per process; empty when the thesaurus is not installed.
const std::string& thesaurusAssociatorFile() {
  static const std::string fileName = []() -> std::string {
    if (!std::filesystem::exists(kThesaurus)) return "";
    veskorcli::WordPairs pairs;
    readThesaurusPairs(pairs);
    const std::string name = scratch().file("thesaurus");
    return buildThesaurusAssociator(name, pairs) ? name : "";
  }();
  return fileName;
}

class Query {
 public:
  explicit Query(std::vector<std::string> words) : words_(std::move(words)) {
    list_.reset(vector_create(sizeof(wordWeight), 3, 1));
    for (std::string& word : words_) {
      wordWeight element{word.data(), 1.0};
      vector_appendElement(list_.get(), &element);
    }
  }
  const vector* get() const { return list_.get(); }

 private:
  std::vector<std::string> words_;
  orl::VectorPtr list_;
};

template <vector* (*Compute)(const wordAssociator*, const vector*, const vector*, int32_t)>
void associate(benchmark::State& state, const std::string& fileName, const Query& query) {
  orl::WordAssociatorPtr wa(wordAssociator_createFromFile(fileName.c_str()));
  const int32_t iterations = static_cast<int32_t>(state.range(0));
  int64_t associated = 0;
  for (auto _ : state) {
    orl::WordWeightsPtr result(Compute(wa.get(), query.get(), nullptr, iterations));
    associated = vector_getNumberElements(result.get());
    benchmark::DoNotOptimize(result.get());
  }
  state.counters["associated"] = static_cast<double>(associated);
}

const Query& generatedQuery() {
  static const Query query({wordOf(17), wordOf(4242), wordOf(19999)});
  return query;
}

const Query& thesaurusQuery() {
  static const Query query({"_FAHRRAD_", "_HONIG_", "_HAUS_"});
  return query;
}

void BM_Load(benchmark::State& state) {
  const std::string& fileName = associatorFile();
  for (auto _ : state) {
    orl::WordAssociatorPtr wa(wordAssociator_createFromFile(fileName.c_str()));
    benchmark::DoNotOptimize(wa.get());
  }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_ComputeAssociations(benchmark::State& state) {
  associate<wordAssociator_computeAssociations>(state, associatorFile(), generatedQuery());
}
BENCHMARK(BM_ComputeAssociations)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_ComputeAssociationsFullUpdate(benchmark::State& state) {
  associate<wordAssociator_computeAssociationsFully>(state, associatorFile(), generatedQuery());
}
BENCHMARK(BM_ComputeAssociationsFullUpdate)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Reading the thesaurus and building its associator, as veskor build-wa --thesaurus does.
void BM_ThesaurusBuild(benchmark::State& state) {
  if (!std::filesystem::exists(kThesaurus)) {
    state.SkipWithError("the German thesaurus is not installed (openthesaurus-de-text)");
    return;
  }
  const std::string fileName = scratch().file("built");
  for (auto _ : state) {
    veskorcli::WordPairs pairs;
    readThesaurusPairs(pairs);
    if (!buildThesaurusAssociator(fileName, pairs)) state.SkipWithError("veskorBuildWA failed");
  }
}
BENCHMARK(BM_ThesaurusBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ThesaurusLoad(benchmark::State& state) {
  const std::string& fileName = thesaurusAssociatorFile();
  if (fileName.empty()) {
    state.SkipWithError("no thesaurus associator (openthesaurus-de-text missing?)");
    return;
  }
  for (auto _ : state) {
    orl::WordAssociatorPtr wa(wordAssociator_createFromFile(fileName.c_str()));
    benchmark::DoNotOptimize(wa.get());
  }
}
BENCHMARK(BM_ThesaurusLoad)->Unit(benchmark::kMillisecond);

void BM_ThesaurusAssociations(benchmark::State& state) {
  if (thesaurusAssociatorFile().empty()) {
    state.SkipWithError("no thesaurus associator (openthesaurus-de-text missing?)");
    return;
  }
  associate<wordAssociator_computeAssociations>(state, thesaurusAssociatorFile(), thesaurusQuery());
}
BENCHMARK(BM_ThesaurusAssociations)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_ThesaurusAssociationsFullUpdate(benchmark::State& state) {
  if (thesaurusAssociatorFile().empty()) {
    state.SkipWithError("no thesaurus associator (openthesaurus-de-text missing?)");
    return;
  }
  associate<wordAssociator_computeAssociationsFully>(state, thesaurusAssociatorFile(), thesaurusQuery());
}
BENCHMARK(BM_ThesaurusAssociationsFullUpdate)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
