// The update that visits only the neurons an activity reaches must give what the full update gives,
// bit for bit, on every network it accepts, and must hand every other network to the full update.
#include "veskorANN/annNetworkSparse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskorANN/wordAssociator.h"
#include "veskorANN/wordAssociatorBuilder.h"

namespace {

using veskortest::FixtureLayer;
using veskortest::TempDir;
using veskortest::WordAssociatorFixture;

struct Query {
  std::vector<std::pair<std::string, double>> words;
  std::vector<std::pair<std::string, double>> context;
  bool withContext = false;
  int32_t iterations = 1;
};

class WordWeights {
 public:
  explicit WordWeights(std::vector<std::pair<std::string, double>> words)
      : words_(std::move(words)), list_(vector_create(sizeof(wordWeight), 0, 4)) {
    for (auto& [word, weight] : words_) {
      wordWeight element{word.data(), weight};
      vector_appendElement(list_.get(), &element);
    }
  }
  const vector* get() const { return list_.get(); }

 private:
  std::vector<std::pair<std::string, double>> words_;
  orl::VectorPtr list_;
};

// Each word with the bits of its activity, so that equal means bit for bit.
std::vector<std::pair<std::string, uint64_t>> bitsOf(vector* result) {
  orl::WordWeightsPtr owned(result);
  std::vector<std::pair<std::string, uint64_t>> out;
  for (int32_t i = 0; i < vector_getNumberElements(result); ++i) {
    const wordWeight& w = orl::vectorAt<wordWeight>(result, i);
    uint64_t bits;
    std::memcpy(&bits, &w.weight, sizeof bits);
    out.emplace_back(w.word, bits);
  }
  return out;
}

// Both updates on one query; a failure of one must be the failure of the other.
void expectSameAssociations(const wordAssociator* wa, const Query& q, const std::string& what) {
  const WordWeights words(q.words);
  const WordWeights context(q.context);
  const vector* contextList = q.withContext ? context.get() : nullptr;
  std::string sparseError, fullError;
  std::vector<std::pair<std::string, uint64_t>> sparse, full;
  try {
    sparse = bitsOf(wordAssociator_computeAssociations(wa, words.get(), contextList, q.iterations));
  } catch (const orl::Exception& e) {
    sparseError = e.message();
  }
  try {
    full = bitsOf(wordAssociator_computeAssociationsFully(wa, words.get(), contextList, q.iterations));
  } catch (const orl::Exception& e) {
    fullError = e.message();
  }
  EXPECT_EQ(sparseError, fullError) << what;
  EXPECT_EQ(sparse, full) << what;
}

std::string wordOf(int32_t i) {
  return "w" + std::to_string(i);
}

Query randomQuery(std::mt19937& random, int32_t numberWords) {
  // Weights of every kind the activation takes as they come: negative, zero, above 1.
  static const double kWeights[] = {1.0, 0.5, 0.25, 0.93, 2.0, -0.5, 0.0, -0.0, 1e-12};
  std::uniform_int_distribution<int> wordCount(1, 4);
  // A few indices past the last word: words the table does not hold.
  std::uniform_int_distribution<int32_t> word(0, numberWords + 2);
  std::uniform_int_distribution<std::size_t> weight(0, std::size(kWeights) - 1);
  static const int32_t kIterations[] = {1, 1, 1, 2, 3, 5, 0};
  Query q;
  for (int n = wordCount(random); n > 0; --n)
    q.words.emplace_back(wordOf(word(random)), kWeights[weight(random)]);
  q.withContext = random() % 3 == 0;
  if (q.withContext) q.context.emplace_back(wordOf(word(random)), kWeights[weight(random)]);
  q.iterations = kIterations[random() % std::size(kIterations)];
  return q;
}

// Neuron types under which a silent neuron stays at rest: the fixtures' own, one with a resting
// potential below the threshold and a decay potential, and the builder's.
annNeuronTypeParameters randomNeuronType(std::mt19937& random) {
  annNeuronTypeParameters p = WordAssociatorFixture::defaultNeuronType();
  switch (random() % 3) {
    case 0:
      break;
    case 1:
      p.nc_u_rest = -0.25f;
      p.nc_thr_ll = -0.125f;
      p.nc_alpha = 0.5f;
      p.nc_ur_shunt = -0.5f;
      break;
    default:
      p = wordAssociatorBuilder_neuronType();
  }
  return p;
}

// A network of random connections of every synapse kind and input rule that leaves silent neurons
// silent, over one layer that may have borders, an offset and fewer cells than neurons.
WordAssociatorFixture randomFixture(std::mt19937& random) {
  const int32_t n = 2 + static_cast<int32_t>(random() % 40);
  std::vector<std::string> words;
  for (int32_t i = 0; i < n; ++i) words.push_back(wordOf(i));
  WordAssociatorFixture fixture(words);
  fixture.neuronType = randomNeuronType(random);
  static const int32_t kTypes[] = {
      kAnnSynapseExcitatory,     kAnnSynapseExcitatory | kAnnInputSquared,
      kAnnSynapseInhibitory,     kAnnSynapseShunting,
      kAnnSynapseMultiplicative, kAnnSynapseExcitatory | kAnnInputSquared | kAnnInputComplement};
  const int connections = static_cast<int>(random() % static_cast<unsigned>(3 * n));
  for (int c = 0; c < connections; ++c) {
    const auto from = static_cast<int32_t>(random() % static_cast<unsigned>(n));
    const auto to = static_cast<int32_t>(random() % static_cast<unsigned>(n));
    const float weight = static_cast<float>(static_cast<int>(random() % 41) - 8) / 4.0f;
    fixture.connect(from, to, weight, kTypes[random() % std::size(kTypes)]);
  }
  if (random() % 2 == 0) {
    // A box of x * y cells, possibly with borders and an offset, inside the n neurons.
    const int32_t x = 1 + static_cast<int32_t>(random() % static_cast<unsigned>(std::min(6, n)));
    const int32_t y = std::max<int32_t>(1, n / x - static_cast<int32_t>(random() % 2));
    const int32_t offset = static_cast<int32_t>(random() % static_cast<unsigned>(n - x * y + 1));
    FixtureLayer layer("words", {x, y, 1},
                       {static_cast<int32_t>(random() % 2), static_cast<int32_t>(random() % 2), 0},
                       static_cast<int32_t>(random() % 2), offset);
    fixture.addLayer(layer);
  }
  return fixture;
}

orl::WordAssociatorPtr load(const std::string& fileName) {
  return orl::WordAssociatorPtr(wordAssociator_createFromFile(fileName.c_str()));
}

TEST(AnnSparseUpdate, GivesTheFullUpdatesAssociationsOnRandomNetworks) {
  TempDir dir;
  std::mt19937 random(20240611);
  int usable = 0;
  constexpr int kNetworks = 150;
  for (int network = 0; network < kNetworks; ++network) {
    const WordAssociatorFixture fixture = randomFixture(random);
    const std::string file = dir.file("wa" + std::to_string(network));
    fixture.write(file);
    orl::WordAssociatorPtr wa = load(file);
    if (annSparseIndex_isUsable(wa->sparseIndex.get())) ++usable;
    for (int q = 0; q < 12; ++q) {
      expectSameAssociations(wa.get(), randomQuery(random, fixture.numberNeurons()),
                             "network " + std::to_string(network) + " query " + std::to_string(q));
    }
  }
  // Otherwise the comparison above would mostly compare the full update with itself.
  EXPECT_GT(usable, kNetworks / 2);
}

TEST(AnnSparseUpdate, GivesTheFullUpdatesAssociationsOnBuiltNetworks) {
  TempDir dir;
  std::mt19937 random(4711);
  for (int network = 0; network < 20; ++network) {
    const int32_t n = 2 + static_cast<int32_t>(random() % 200);
    std::vector<std::string> words;
    for (int32_t i = 0; i < n; ++i) words.push_back(wordOf(i));
    std::vector<wordAssociatorLink> links;
    std::set<std::pair<int32_t, int32_t>> linked;
    for (int32_t l = static_cast<int32_t>(random() % static_cast<unsigned>(4 * n)); l > 0; --l) {
      auto a = static_cast<int32_t>(random() % static_cast<unsigned>(n));
      auto b = static_cast<int32_t>(random() % static_cast<unsigned>(n));
      if (a == b || !linked.insert({std::min(a, b), std::max(a, b)}).second) continue;
      links.push_back({a, b, 0.05 + static_cast<double>(random() % 100)});
    }
    const std::string file = dir.file("built" + std::to_string(network));
    wordAssociator_build(file.c_str(), words, links, {});
    orl::WordAssociatorPtr wa = load(file);
    ASSERT_TRUE(annSparseIndex_isUsable(wa->sparseIndex.get())) << wa->sparseIndex->fullUpdateReason;
    for (int q = 0; q < 20; ++q) {
      expectSameAssociations(wa.get(), randomQuery(random, n), "built network " + std::to_string(network));
    }
  }
}

// A ring of neurons, each feeding its two neighbours.
WordAssociatorFixture ring(int32_t n) {
  std::vector<std::string> words;
  for (int32_t i = 0; i < n; ++i) words.push_back(wordOf(i));
  WordAssociatorFixture fixture(words);
  for (int32_t i = 0; i < n; ++i) {
    fixture.connect(i, (i + 1) % n, 4.0f);
    fixture.connect((i + 1) % n, i, 4.0f);
  }
  return fixture;
}

TEST(AnnSparseUpdate, OneStepMeetsOnlyTheActiveNeuronsAndTheNeuronsTheyFeed) {
  TempDir dir;
  ring(10000).write(dir.file("ring"));
  orl::WordAssociatorPtr wa = load(dir.file("ring"));
  ASSERT_TRUE(annSparseIndex_isUsable(wa->sparseIndex.get()));
  annSparseState state(100);
  state.at(500).oldActivity = 1.0f;
  ASSERT_TRUE(annNetwork_computeLayerSparse(wa->network.get(), wa->sparseIndex.get(), &state));
  std::vector<int32_t> met;
  for (const annSparseEntry& e : state.entries()) met.push_back(e.neuron);
  std::sort(met.begin(), met.end());
  EXPECT_EQ(met, (std::vector<int32_t>{499, 500, 501}));
  EXPECT_GT(state.entries()[1].next.sc_act, 0.0f);
}

TEST(AnnSparseUpdate, AComputationThatSpreadsTooFarEndsUpInTheFullUpdate) {
  TempDir dir;
  // Dense enough that a few steps from one word reach more than a quarter of the neurons.
  constexpr int32_t kNeurons = 6000;
  std::vector<std::string> words;
  for (int32_t i = 0; i < kNeurons; ++i) words.push_back(wordOf(i));
  WordAssociatorFixture fixture(words);
  std::mt19937 random(99);
  for (int32_t to = 0; to < kNeurons; ++to) {
    for (int c = 0; c < 8; ++c) fixture.connect(static_cast<int32_t>(random() % kNeurons), to, 3.0f);
  }
  fixture.write(dir.file("dense"));
  orl::WordAssociatorPtr wa = load(dir.file("dense"));
  ASSERT_TRUE(annSparseIndex_isUsable(wa->sparseIndex.get()));

  annSparseState state(kNeurons / 4);
  state.at(0).oldActivity = 1.0f;
  bool outgrown = false;
  for (int step = 0; step < 10 && !outgrown; ++step) {
    outgrown = !annNetwork_computeLayerSparse(wa->network.get(), wa->sparseIndex.get(), &state);
    annNetwork_copyLayerStateSparse(wa->network.get(), wa->sparseIndex.get(), &state);
  }
  EXPECT_TRUE(outgrown);

  for (int32_t iterations : {1, 2, 8, 0}) {
    Query q;
    q.words = {{wordOf(0), 1.0}, {wordOf(17), 0.5}};
    q.iterations = iterations;
    expectSameAssociations(wa.get(), q, "iterations " + std::to_string(iterations));
  }
}

TEST(AnnSparseUpdate, NetworksThatWakeSilentNeuronsRunTheFullUpdate) {
  TempDir dir;
  struct Case {
    const char* reason;
    std::function<void(WordAssociatorFixture&)> change;
  };
  const Case cases[] = {
      {"a neuron without input leaves its resting state",
       [](WordAssociatorFixture& f) { f.neuronType.nc_u_rest = 0.5f; }},
      {"a connection set with input from silent neurons",
       [](WordAssociatorFixture& f) {
         f.connect("a", "c", 1.0f, kAnnSynapseExcitatory | kAnnInputComplement);
       }},
      {"a weight that is not finite",
       [](WordAssociatorFixture& f) { f.connect("a", "c", std::numeric_limits<float>::infinity()); }},
      {"a connection set without a synapse kind",
       [](WordAssociatorFixture& f) { f.connect("a", "c", 1.0f, 0x40); }},
  };
  for (const Case& c : cases) {
    WordAssociatorFixture fixture({"a", "b", "c"});
    fixture.connect("a", "b", 9.0f);
    c.change(fixture);
    fixture.write(dir.file("wa"));
    orl::WordAssociatorPtr wa = load(dir.file("wa"));
    EXPECT_FALSE(annSparseIndex_isUsable(wa->sparseIndex.get())) << c.reason;
    EXPECT_STREQ(wa->sparseIndex->fullUpdateReason, c.reason);
    Query q;
    q.words = {{"a", 1.0}};
    for (int32_t iterations : {1, 3}) {
      q.iterations = iterations;
      expectSameAssociations(wa.get(), q, c.reason);
    }
  }
  // A resting neuron that wakes by itself shows up although nothing feeds it.
  WordAssociatorFixture awake({"a", "b"});
  awake.neuronType.nc_u_rest = 0.5f;
  awake.write(dir.file("awake"));
  orl::WordAssociatorPtr wa = load(dir.file("awake"));
  const WordWeights words({{"a", 1.0}});
  EXPECT_EQ(bitsOf(wordAssociator_computeAssociations(wa.get(), words.get(), nullptr, 1)).size(), 2u);
}

// Computations on one word associator under shared access each keep their own state.
TEST(AnnSparseUpdateConcurrency, ThreadsShareOneBuiltAssociator) {
  TempDir dir;
  std::vector<std::string> words;
  std::vector<wordAssociatorLink> links;
  for (int32_t i = 0; i < 300; ++i) words.push_back(wordOf(i));
  for (int32_t i = 0; i < 300; ++i) {
    links.push_back({i, (i + 1) % 300, 1.0 + i % 7});
    links.push_back({i, (i + 17) % 300, 2.0});
  }
  wordAssociator_build(dir.file("wa").c_str(), words, links, {});
  orl::WordAssociatorPtr wa = load(dir.file("wa"));
  ASSERT_TRUE(annSparseIndex_isUsable(wa->sparseIndex.get()));
  const auto compute = [&wa](int32_t first, int32_t iterations) {
    const WordWeights query({{wordOf(first), 1.0}, {wordOf((first + 100) % 300), 0.75}});
    return bitsOf(wordAssociator_computeAssociations(wa.get(), query.get(), nullptr, iterations));
  };
  std::vector<std::vector<std::pair<std::string, uint64_t>>> expected;
  for (int32_t first = 0; first < 300; first += 10) expected.push_back(compute(first, 1 + first % 3));
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        for (int32_t first = t * 10; first < 300; first += 10) {
          if (compute(first, 1 + first % 3) != expected[static_cast<std::size_t>(first / 10)]) ++mismatches;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
