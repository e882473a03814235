#include "veskorANN/annNetwork.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"
#include "veskorANN/annNetworkSparse.h"

namespace {

using veskortest::FixtureInstance;
using veskortest::FixtureLayer;
using veskortest::readFileBytes;
using veskortest::TempDir;
using veskortest::WordAssociatorFixture;
using veskortest::writeFileBytes;

// The state vectors of one computation.
struct State {
  explicit State(int32_t n) : oldState(static_cast<std::size_t>(n)), newState(static_cast<std::size_t>(n)) {
    state = annState{oldState.data(), newState.data(), n};
  }
  std::vector<annStateEntry> oldState;
  std::vector<annStateEntry> newState;
  annState state;
};

WordAssociatorFixture neurons(int32_t n) {
  std::vector<std::string> words;
  for (int32_t i = 0; i < n; ++i) words.push_back("w" + std::to_string(i));
  return WordAssociatorFixture(words);
}

annNeuronTypeParameters parameters(float urExc, float uRest, float eRest, float thrLow, float thrHigh,
                                   float alpha = 0.0f) {
  annNeuronTypeParameters p = WordAssociatorFixture::defaultNeuronType();
  p.nc_ur_exc = urExc;
  p.nc_u_rest = uRest;
  p.nc_e_rest = eRest;
  p.nc_thr_ll = thrLow;
  p.nc_thr_ul = thrHigh;
  p.nc_alpha = alpha;
  return p;
}

TEST(AnnNetworkUpdate, FollowsTheCcmRuleForEachSynapseKind) {
  WordAssociatorFixture fixture = neurons(3);
  fixture.neuronType = parameters(2.0f, -0.5f, 0.5f, 0.25f, 2.25f);
  fixture.neuronType.nc_ur_inh = -1.0f;
  fixture.neuronType.nc_ur_shunt = 0.5f;
  fixture.connect(0, 1, 4.0f);  // E = sqrt(0.25 * 4) = 1
  fixture.connect(0, 2, 4.0f)
      .connect(0, 2, 1.0f, kAnnSynapseInhibitory)
      .connect(0, 2, 0.25f, kAnnSynapseShunting);
  orl::AnnNetworkPtr network = fixture.buildNetwork();
  State s(3);
  s.oldState[0].sc_act = 0.25f;
  ASSERT_EQ(annNetwork_computeLayer(network.get(), 0, &s.state), kAnnOk);

  // No input: the membrane potential is the resting potential, below the threshold.
  EXPECT_FLOAT_EQ(s.newState[0].sc_mp, -0.5f);
  EXPECT_EQ(s.newState[0].sc_act, 0.0f);
  // u = (1*2 + (-0.5)*0.5) / (1 + 0.5) = 7/6; a = (7/6 - 1/4) / 2 = 11/24.
  EXPECT_FLOAT_EQ(s.newState[1].sc_mp, 7.0f / 6.0f);
  EXPECT_FLOAT_EQ(s.newState[1].sc_act, 11.0f / 24.0f);
  // E = 1, I = 0.5, S = 0.25: u = (2 - 0.5 + 0.125 - 0.25) / 2.25 = 11/18; a = (11/18 - 1/4) / 2 = 13/72.
  EXPECT_FLOAT_EQ(s.newState[2].sc_mp, 11.0f / 18.0f);
  EXPECT_FLOAT_EQ(s.newState[2].sc_act, 13.0f / 72.0f);
  // The old vector is only read.
  EXPECT_EQ(s.oldState[1].sc_act, 0.0f);
}

TEST(AnnNetworkUpdate, MultipliesInputsWhenTheLastSetIsMultiplicative) {
  WordAssociatorFixture fixture = neurons(6);
  fixture.neuronType = parameters(1.0f, 0.0f, 1.0f, 0.0f, 1.0f);
  // Neuron 2: w*a*a = 2*0.5*0.5 = 0.5 times (1-a)*w = 0.75*2 = 1.5.
  fixture.connect(0, 2, 2.0f, kAnnSynapseMultiplicative | kAnnInputSquared);
  fixture.connect(1, 2, 2.0f, kAnnSynapseMultiplicative | kAnnInputComplement);
  // Neuron 3: a multiplicative set followed by an excitatory one: the usual rule, E = 1, u = 1/2.
  fixture.connect(0, 3, 1.0f, kAnnSynapseMultiplicative).connect(1, 3, 4.0f);
  // Neuron 4: a product below 1e-10 is cut to 0.
  fixture.connect(0, 4, 1e-21f, kAnnSynapseMultiplicative);
  orl::AnnNetworkPtr network = fixture.buildNetwork();
  State s(6);
  s.oldState[0].sc_act = 0.5f;
  s.oldState[1].sc_act = 0.25f;
  ASSERT_EQ(annNetwork_computeLayer(network.get(), 0, &s.state), kAnnOk);
  EXPECT_FLOAT_EQ(s.newState[2].sc_act, 0.75f);
  EXPECT_EQ(s.newState[2].sc_mp, 0.0f);
  EXPECT_FLOAT_EQ(s.newState[3].sc_act, 0.5f);
  EXPECT_EQ(s.newState[4].sc_act, 0.0f);

  // A set with no synapse kind ends the update.
  fixture.connect(0, 5, 1.0f, kAnnInputSquared);
  network = fixture.buildNetwork();
  EXPECT_EQ(annNetwork_computeLayer(network.get(), 0, &s.state), kAnnInvalid);
}

TEST(AnnNetworkUpdate, SkipsBorderNeuronsUnlessBordersAreOff) {
  WordAssociatorFixture fixture = neurons(9);
  fixture.neuronType = parameters(1.0f, 1.0f, 1.0f, 0.0f, 1.0f);  // every updated neuron becomes active
  FixtureLayer layer{"grid", {3, 3, 1}, {1, 1, 0}, 0};
  fixture.addLayer(layer);
  orl::AnnNetworkPtr bordered = fixture.buildNetwork();
  State s(9);
  ASSERT_EQ(annNetwork_computeLayer(bordered.get(), 0, &s.state), kAnnOk);
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(s.newState[i].sc_act, i == 4 ? 1.0f : 0.0f) << i;

  WordAssociatorFixture open = neurons(9);
  open.neuronType = fixture.neuronType;
  layer.borderStatus = 1;
  open.addLayer(layer);
  orl::AnnNetworkPtr unbordered = open.buildNetwork();
  State t(9);
  ASSERT_EQ(annNetwork_computeLayer(unbordered.get(), 0, &t.state), kAnnOk);
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(t.newState[i].sc_act, 1.0f) << i;
}

// A layer whose box is empty in one direction updates nothing, at once, however long its other
// sides are (a network file may say so; the loader lets an empty box pass).
TEST(AnnNetworkUpdate, AnEmptyBoxIsDoneAtOnce) {
  WordAssociatorFixture fixture = neurons(2);
  fixture.neuronType = parameters(1.0f, 1.0f, 1.0f, 0.0f, 1.0f);
  for (std::array<int32_t, 3> length :
       {std::array<int32_t, 3>{0, INT32_MAX, INT32_MAX}, std::array<int32_t, 3>{INT32_MAX, 0, INT32_MAX}}) {
    fixture.addLayer(FixtureLayer{"empty", length});
  }
  orl::AnnNetworkPtr network = fixture.buildNetwork();
  for (int32_t layer = 0; layer < 2; ++layer) ASSERT_TRUE(annLayer_fitsNeurons(&network->layers[layer], 2));
  State s(2);
  ASSERT_EQ(annNetwork_computeLayer(network.get(), 0, &s.state), kAnnOk);
  ASSERT_EQ(annNetwork_computeLayer(network.get(), 1, &s.state), kAnnOk);
  EXPECT_EQ(s.newState[0].sc_act, 0.0f);
  EXPECT_EQ(s.newState[1].sc_act, 0.0f);
  // The sparse update's index walks the same boxes when it is built.
  for (int32_t layer = 0; layer < 2; ++layer) {
    orl::AnnSparseIndexPtr index(annSparseIndex_create(network.get(), layer));
    ASSERT_NE(index, nullptr);
    EXPECT_TRUE(index->targets.empty());
  }
}

TEST(AnnNetworkUpdate, StartsTheDecayPotentialAtActivityOneTenth) {
  WordAssociatorFixture fixture = neurons(1);
  fixture.neuronType = parameters(1.0f, 0.1f, 1.0f, 0.0f, 1.0f, 0.5f);
  orl::AnnNetworkPtr network = fixture.buildNetwork();
  State s(1);
  ASSERT_EQ(annNetwork_computeLayer(network.get(), 0, &s.state), kAnnOk);
  EXPECT_EQ(s.newState[0].sc_act, 0.1f);
  EXPECT_EQ(s.newState[0].sc_mp_off, 0.1f * 0.1f * 0.5f);
  // The decay potential then feeds the resting term: u = 0.1 + 0.005.
  ASSERT_EQ(annNetwork_computeLayer(network.get(), 0, &s.state), kAnnOk);
  EXPECT_FLOAT_EQ(s.newState[0].sc_mp, 0.105f);

  fixture.neuronType.nc_u_rest = 0.05f;
  network = fixture.buildNetwork();
  State t(1);
  ASSERT_EQ(annNetwork_computeLayer(network.get(), 0, &t.state), kAnnOk);
  EXPECT_EQ(t.newState[0].sc_act, 0.05f);
  EXPECT_EQ(t.newState[0].sc_mp_off, 0.0f);
}

TEST(AnnNetworkUpdate, NeverLeavesTheStateVectors) {
  WordAssociatorFixture fixture = neurons(2);
  fixture.connect(7, 1, 1.0f);  // an in-memory network may name any neuron
  orl::AnnNetworkPtr network = fixture.buildNetwork();
  State s(2);
  EXPECT_EQ(annNetwork_computeLayer(network.get(), 0, &s.state), kAnnNeuronOutOfRange);
  EXPECT_EQ(annNetwork_computeLayer(network.get(), 1, &s.state), kAnnLayerOutOfRange);
  State small(1);
  EXPECT_EQ(annNetwork_computeLayer(network.get(), 0, &small.state), kAnnNeuronOutOfRange);

  WordAssociatorFixture plain = neurons(4);
  plain.addLayer(FixtureLayer{"inner", {2, 1, 1}, {0, 0, 0}, 1, 1});
  network = plain.buildNetwork();
  State t(4);
  t.newState[0].sc_act = t.newState[1].sc_act = t.newState[2].sc_act = t.newState[3].sc_act = 0.5f;
  ASSERT_EQ(annNetwork_copyLayerState(network.get(), 0, &t.state), kAnnOk);
  EXPECT_EQ(t.oldState[0].sc_act, 0.0f);  // copies only the layer's neurons 1 and 2
  EXPECT_EQ(t.oldState[1].sc_act, 0.5f);
  EXPECT_EQ(t.oldState[2].sc_act, 0.5f);
  EXPECT_EQ(t.oldState[3].sc_act, 0.0f);
  network->layers[0].l_offset = 3;
  EXPECT_EQ(annNetwork_copyLayerState(network.get(), 0, &t.state), kAnnLayerOutOfRange);
  EXPECT_EQ(annNetwork_computeLayer(network.get(), 0, &t.state), kAnnLayerOutOfRange);
  network->layers[0].l_offset = 1;
  network->layers[0].l_nt_id = 1;
  EXPECT_EQ(annNetwork_computeLayer(network.get(), 0, &t.state), kAnnNeuronTypeOutOfRange);
}

// A network with a long name, two layers, projections and instance values.
WordAssociatorFixture richFixture() {
  WordAssociatorFixture fixture = neurons(5);
  fixture.networkName = std::string(200, 'N');
  fixture.neuronType = parameters(1.5f, -0.25f, 0.75f, 0.125f, 0.875f, 0.5f);
  FixtureLayer first{"L" + std::string(199, 'a'), {3, 1, 1}};
  first.projections.push_back({"feed", "allView", "VIEWALL", "dist1", "DISTRALL"});
  first.projections.push_back({"rect", "rect1", "VIEWRECT", "near1", "DISTRNEIGHBOUR"});
  fixture.addLayer(first);
  fixture.addLayer(FixtureLayer{"second", {2, 1, 1}, {1, 0, 0}, 0, 3});
  float strength = 0.25f;
  std::vector<unsigned char> distribution(4);
  std::memcpy(distribution.data(), &strength, 4);
  fixture.addInstance(FixtureInstance{"dist1", "DISTRALL", distribution});
  std::vector<unsigned char> rectangle(16);
  for (int32_t i = 0; i < 4; ++i) std::memcpy(rectangle.data() + 4 * i, &i, 4);
  fixture.addInstance(FixtureInstance{"rect1", "VIEWRECT", rectangle});
  fixture.connect(0, 1, 0.5f).connect(2, 1, 1.5f, kAnnSynapseInhibitory).connect(4, 3, -1.0f);
  return fixture;
}

int32_t load(const std::string& fileName, orl::AnnNetworkPtr* network, orl::NciDefinitionsPtr* registry) {
  int32_t status = 0;
  registry->reset(nciDefinitions_create(&status));
  annNetwork* loaded = nullptr;
  status = annNetwork_createFromFile(&loaded, registry->get(), fileName.c_str());
  if (status != kAnnOk) {
    EXPECT_EQ(loaded, nullptr);
  }
  network->reset(loaded);
  return status;
}

TEST(AnnNetworkFile, ReadsBackWhatItWroteByteForByte) {
  TempDir dir;
  WordAssociatorFixture fixture = richFixture();
  fixture.writeNetwork(dir.file("a.net"));
  const std::string written = readFileBytes(dir.file("a.net"));
  ASSERT_EQ(static_cast<unsigned char>(written[0]), 200u);  // a name of 200 bytes keeps its length byte

  orl::AnnNetworkPtr network;
  orl::NciDefinitionsPtr registry;
  ASSERT_EQ(load(dir.file("a.net"), &network, &registry), kAnnOk);
  EXPECT_EQ(std::string(network->header.net_net), std::string(200, 'N'));
  ASSERT_EQ(network->header.net_n_layer, 2);
  EXPECT_EQ(std::string(network->layers[0].name), "L" + std::string(199, 'a'));
  EXPECT_EQ(network->layers[1].l_offset, 3);
  EXPECT_EQ(network->layers[1].l_x_border, 1);
  EXPECT_EQ(network->layers[1].l_border_status, 0);
  ASSERT_EQ(network->layers[0].l_n_proj, 2);
  EXPECT_EQ(std::string(network->layers[0].projections[1].distributionType), "DISTRNEIGHBOUR");
  EXPECT_EQ(network->neuronTypes[0].parameters.nc_thr_ul, 0.875f);
  EXPECT_EQ(annNetwork_getNumberNeurons(network.get()), 5);
  // The layers, the header and the projections' instances are registered.
  const nciInstance* second = nciDefinitions_findInstance(registry.get(), "second");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(std::memcmp(second->data.data(), static_cast<const annLayerDescription*>(&network->layers[1]),
                        sizeof(annLayerDescription)),
            0);
  const nciInstance* header = nciDefinitions_findInstance(registry.get(), "header");
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(std::memcmp(header->data.data(), &network->header, sizeof(annNetworkHeader)), 0);
  const nciInstance* dist = nciDefinitions_findInstance(registry.get(), "dist1");
  ASSERT_NE(dist, nullptr);
  float strength;
  std::memcpy(&strength, dist->data.data(), 4);
  EXPECT_EQ(strength, 0.25f);

  ASSERT_EQ(annNetwork_save(network.get(), registry.get(), dir.file("b.net").c_str()), kAnnOk);
  EXPECT_EQ(readFileBytes(dir.file("b.net")), written);
}

TEST(AnnNetworkFile, RefusesTruncatedFilesAtEveryCut) {
  TempDir dir;
  richFixture().writeNetwork(dir.file("a.net"));
  const std::string written = readFileBytes(dir.file("a.net"));
  for (std::size_t cut = 0; cut < written.size(); ++cut) {
    writeFileBytes(dir.file("cut.net"), written.substr(0, cut));
    orl::AnnNetworkPtr network;
    orl::NciDefinitionsPtr registry;
    ASSERT_EQ(load(dir.file("cut.net"), &network, &registry), kAnnReadError) << "cut at " << cut;
  }
}

// Writes the fixture's network after a change to it, and loads the file.
template <class Change>
int32_t saveChangedAndLoad(const TempDir& dir, const WordAssociatorFixture& fixture, Change change) {
  orl::AnnNetworkPtr network = fixture.buildNetwork();
  orl::NciDefinitionsPtr registry = fixture.buildDefinitions();
  change(network.get());
  EXPECT_EQ(annNetwork_save(network.get(), registry.get(), dir.file("x.net").c_str()), kAnnOk);
  orl::AnnNetworkPtr loaded;
  orl::NciDefinitionsPtr loadedRegistry;
  return load(dir.file("x.net"), &loaded, &loadedRegistry);
}

TEST(AnnNetworkFile, RefusesHostileContent) {
  TempDir dir;
  WordAssociatorFixture fixture = neurons(4);
  orl::AnnNetworkPtr network = fixture.buildNetwork();
  orl::NciDefinitionsPtr registry = fixture.buildDefinitions();
  network->neuronTypes[0].modelId = 5;
  EXPECT_EQ(annNetwork_save(network.get(), registry.get(), dir.file("m.net").c_str()), kAnnUnknownModel);
  fixture.writeNetwork(dir.file("good.net"));
  std::string bytes = readFileBytes(dir.file("good.net"));
  const std::size_t modelAt = 1 + fixture.networkName.size() + 12;
  bytes[modelAt] = 5;
  writeFileBytes(dir.file("model.net"), bytes);
  EXPECT_EQ(load(dir.file("model.net"), &network, &registry), kAnnUnknownModel);

  EXPECT_EQ(saveChangedAndLoad(dir, fixture,
                               [](annNetwork* n) { veskortest::copyName(n->layers[0].l_nt, "other"); }),
            kAnnNeuronTypeNotFound);
  EXPECT_EQ(saveChangedAndLoad(dir, fixture, [](annNetwork* n) { n->layers[0].l_offset = 1; }),
            kAnnLayerOutOfRange);
  EXPECT_EQ(saveChangedAndLoad(dir, fixture, [](annNetwork* n) { n->layers[0].l_offset = -1; }),
            kAnnLayerOutOfRange);
  EXPECT_EQ(saveChangedAndLoad(dir, fixture, [](annNetwork* n) { n->layers[0].l_len[1] = 2; }),
            kAnnLayerOutOfRange);
  EXPECT_EQ(saveChangedAndLoad(dir, fixture,
                               [](annNetwork* n) {
                                 n->layers[0].l_border_status = 0;
                                 n->layers[0].l_x_border = -2;
                               }),
            kAnnLayerOutOfRange);
  EXPECT_EQ(saveChangedAndLoad(dir, fixture, [](annNetwork* n) { n->layers[0].l_n_neu = 5; }),
            kAnnLayerOutOfRange);
  // Layer names must be valid instance names.
  EXPECT_EQ(
      saveChangedAndLoad(dir, fixture, [](annNetwork* n) { veskortest::copyName(n->layers[0].name, "_w"); }),
      kAnnInvalid);
  // Counts the file cannot hold are refused before anything is allocated for them.
  for (int32_t count : {-1, 0x7fffffff}) {
    bytes = readFileBytes(dir.file("good.net"));
    std::memcpy(&bytes[1 + fixture.networkName.size() + 4], &count, 4);
    writeFileBytes(dir.file("count.net"), bytes);
    EXPECT_EQ(load(dir.file("count.net"), &network, &registry), kAnnReadError);
  }
}

TEST(AnnNetworkFile, ReportsFileFailuresAndKeepsTheOldFile) {
  TempDir dir;
  orl::AnnNetworkPtr network;
  orl::NciDefinitionsPtr registry;
  EXPECT_EQ(load(dir.file("missing.net"), &network, &registry), kAnnCannotOpen);

  WordAssociatorFixture fixture = neurons(3);
  fixture.connect(0, 1, 1.0f);
  network = fixture.buildNetwork();
  registry = fixture.buildDefinitions();
  std::filesystem::create_directory(dir.file("dir.net"));
  EXPECT_EQ(annNetwork_save(network.get(), registry.get(), dir.file("dir.net").c_str()), kAnnCannotOpen);
  EXPECT_EQ(annNetwork_save(nullptr, registry.get(), dir.file("x.net").c_str()), kAnnNothingToSave);

  writeFileBytes(dir.file("old.net"), "old contents");
  stream_setWriteFailureAfter(20);
  int32_t status = annNetwork_save(network.get(), registry.get(), dir.file("old.net").c_str());
  stream_setWriteFailureAfter(-1);
  EXPECT_EQ(status, kAnnWriteError);
  EXPECT_EQ(readFileBytes(dir.file("old.net")), "old contents");
  int32_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);  // no temporary file left behind

  network->layers[0].l_n_proj = 1;  // announces a projection it does not have
  EXPECT_EQ(annNetwork_save(network.get(), registry.get(), dir.file("y.net").c_str()), kAnnMissingPart);
  EXPECT_FALSE(std::filesystem::exists(dir.file("y.net")));
}

}  // namespace
