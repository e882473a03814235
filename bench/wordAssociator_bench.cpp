// Word associator: loading the three files and computing associations as the document search
// does (one update) and until stable, on a network of 20000 words with 20 connections each.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskorANN/wordAssociator.h"

namespace {

constexpr int32_t kWords = 20000;
constexpr int32_t kConnectionsPerWord = 20;

std::string wordOf(int32_t i) {
  return "wort" + std::to_string(i);
}

// Written once per process.
const std::string& associatorFile() {
  static veskortest::TempDir dir;
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
    std::string name = dir.file("bench");
    fixture.write(name);
    return name;
  }();
  return fileName;
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
  orl::WordAssociatorPtr wa(wordAssociator_createFromFile(associatorFile().c_str()));
  std::vector<std::string> query = {wordOf(17), wordOf(4242), wordOf(19999)};
  orl::VectorPtr words(vector_create(sizeof(wordWeight), 3, 1));
  for (std::string& word : query) {
    wordWeight element{word.data(), 1.0};
    vector_appendElement(words.get(), &element);
  }
  const int32_t iterations = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    orl::WordWeightsPtr result(
        wordAssociator_computeAssociations(wa.get(), words.get(), nullptr, iterations));
    benchmark::DoNotOptimize(result.get());
  }
}
BENCHMARK(BM_ComputeAssociations)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
