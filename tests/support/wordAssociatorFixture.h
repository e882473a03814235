// Builds word associators for tests. Nothing in the engine creates a word associator from
// scratch, so a fixture is an in-memory network written with annNetwork_save, plus the header
// file and the word table written with the binary streams.
//
//   veskortest::WordAssociatorFixture fixture({"apfel", "birne", "kirsche"});
//   fixture.connect("apfel", "birne", 9.0f);
//   fixture.write(dir.file("wa"));   // wa, wa.v1.net, wa.v1.tab
//
// By default the network has one layer over all words without borders and a neuron type under
// which a neuron fed by one excitatory connection of weight w from a neuron of activity a gets
// the activity e / (e + 1) with e = sqrt(a * w).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "orlBasics/orlIO.h"
#include "veskorANN/annConnectionMatrix.h"
#include "veskorANN/annNetwork.h"
#include "veskorANN/nciDefinitions.h"

namespace veskortest {

inline void copyName(char* target, const std::string& name) {
  if (name.size() >= kNciTextSize) throw std::invalid_argument("name longer than 255 bytes: " + name);
  std::memset(target, 0, kNciTextSize);
  std::memcpy(target, name.data(), name.size());
}

// Header file: tag, version, header value.
inline void writeWordAssociatorHeader(const std::string& fileName, const char* tag = "WASE",
                                      int32_t version = 1, int32_t headerValue = 0) {
  orl::StreamPtr out(stream_createFileOutputStream(fileName.c_str()));
  stream_writeChars(out.get(), tag);
  stream_writeInt32(out.get(), version);
  stream_writeInt32(out.get(), headerValue);
}

// Word table: tag, word count, words.
inline void writeWordTable(const std::string& fileName, const std::vector<std::string>& words,
                           const char* tag = "WALT") {
  orl::StreamPtr out(stream_createFileOutputStream(fileName.c_str()));
  stream_writeChars(out.get(), tag);
  stream_writeInt32(out.get(), static_cast<int32_t>(words.size()));
  for (const std::string& word : words) stream_writeString(out.get(), word.c_str());
}

struct FixtureProjection {
  std::string name;
  std::string viewInstance;
  std::string viewType;
  std::string distributionInstance;
  std::string distributionType;
};

struct FixtureLayer {
  FixtureLayer(std::string layerName, std::array<int32_t, 3> layerLength,
               std::array<int32_t, 3> layerBorder = {0, 0, 0}, int32_t layerBorderStatus = 1,
               int32_t layerOffset = 0)
      : name(std::move(layerName)),
        length(layerLength),
        border(layerBorder),
        borderStatus(layerBorderStatus),
        offset(layerOffset) {}

  std::string name;
  std::array<int32_t, 3> length;
  std::array<int32_t, 3> border;
  int32_t borderStatus;  // 1: borders off
  int32_t offset;
  std::vector<FixtureProjection> projections;
};

// A registry instance the network's projections refer to.
struct FixtureInstance {
  std::string name;
  std::string type;
  std::vector<unsigned char> data;  // empty: the type's zeroed default
};

struct FixtureSynapse {
  int32_t from;
  int32_t to;
  float weight;
  int32_t type;
};

class WordAssociatorFixture {
 public:
  explicit WordAssociatorFixture(std::vector<std::string> words) : words_(std::move(words)) {}

  static annNeuronTypeParameters defaultNeuronType() {
    annNeuronTypeParameters p{};
    p.nc_ur_exc = 1.0f;
    p.nc_ur_inh = -1.0f;
    p.nc_ur_shunt = 0.0f;
    p.nc_u_rest = 0.0f;
    p.nc_e_rest = 1.0f;
    p.nc_alpha = 0.0f;
    p.nc_thr_ll = 0.0f;
    p.nc_thr_ul = 1.0f;
    return p;
  }

  const std::vector<std::string>& words() const { return words_; }
  int32_t numberNeurons() const { return static_cast<int32_t>(words_.size()); }

  // Connections of one type into one neuron form one connection set, in order of first use.
  WordAssociatorFixture& connect(int32_t from, int32_t to, float weight,
                                 int32_t type = kAnnSynapseExcitatory) {
    synapses_.push_back(FixtureSynapse{from, to, weight, type});
    return *this;
  }
  WordAssociatorFixture& connect(const std::string& from, const std::string& to, float weight,
                                 int32_t type = kAnnSynapseExcitatory) {
    return connect(indexOf(from), indexOf(to), weight, type);
  }
  // Replaces the default layer (one over all words); call once per layer.
  WordAssociatorFixture& addLayer(FixtureLayer layer) {
    layers_.push_back(std::move(layer));
    return *this;
  }
  WordAssociatorFixture& addInstance(FixtureInstance instance) {
    instances_.push_back(std::move(instance));
    return *this;
  }

  annNeuronTypeParameters neuronType = defaultNeuronType();
  std::string networkName = "wordNet";
  std::string neuronTypeName = "ccm";
  int32_t headerValue = 0;

  orl::AnnNetworkPtr buildNetwork() const {
    orl::AnnNetworkPtr network(new annNetwork{});
    std::vector<FixtureLayer> layers = layers_;
    if (layers.empty()) layers.push_back(FixtureLayer{"words", {numberNeurons(), 1, 1}});
    copyName(network->header.net_net, networkName);
    network->header.net_models = kAnnModelCCM;
    network->header.net_n_nt = 1;
    network->neuronTypes.reset(new annNeuronType[1]());
    network->neuronTypes[0].modelId = kAnnModelCCM;
    copyName(network->neuronTypes[0].name, neuronTypeName);
    network->neuronTypes[0].parameters = neuronType;
    network->header.net_n_layer = static_cast<int32_t>(layers.size());
    network->layers.reset(new annLayer[layers.size()]);
    for (std::size_t l = 0; l < layers.size(); ++l) fillLayer(layers[l], &network->layers[l]);
    network->matrix.reset(buildMatrix());
    return network;
  }

  orl::NciDefinitionsPtr buildDefinitions() const {
    int32_t status = 0;
    orl::NciDefinitionsPtr definitions(nciDefinitions_create(&status));
    if (!definitions) throw std::runtime_error("nciDefinitions_create: " + std::to_string(status));
    for (const FixtureInstance& instance : instances_) {
      status = nciDefinitions_setInstance(instance.name.c_str(), instance.type.c_str(),
                                          instance.data.empty() ? nullptr : instance.data.data(),
                                          definitions.get());
      if (status != 0) throw std::runtime_error("nciDefinitions_setInstance: " + std::to_string(status));
    }
    return definitions;
  }

  void writeNetwork(const std::string& networkFileName) const {
    orl::NciDefinitionsPtr definitions = buildDefinitions();
    orl::AnnNetworkPtr network = buildNetwork();
    int32_t status = annNetwork_save(network.get(), definitions.get(), networkFileName.c_str());
    if (status != 0) throw std::runtime_error("annNetwork_save: " + std::to_string(status));
  }

  // Writes fileName, fileName.v1.net and fileName.v1.tab.
  void write(const std::string& fileName) const {
    writeWordAssociatorHeader(fileName, "WASE", 1, headerValue);
    writeNetwork(fileName + ".v1.net");
    writeWordTable(fileName + ".v1.tab", words_);
  }

 private:
  int32_t indexOf(const std::string& word) const {
    for (std::size_t i = 0; i < words_.size(); ++i) {
      if (words_[i] == word) return static_cast<int32_t>(i);
    }
    throw std::invalid_argument("no such word: " + word);
  }

  void fillLayer(const FixtureLayer& from, annLayer* layer) const {
    annLayer_init(layer);
    copyName(layer->name, from.name);
    copyName(layer->l_nt, neuronTypeName);
    layer->l_dim = from.length[2] > 1 ? 3 : from.length[1] > 1 ? 2 : 1;
    layer->l_n_neu = from.length[0] * from.length[1] * from.length[2];
    layer->l_nt_id = 0;
    for (int d = 0; d < 3; ++d) layer->l_len[d] = from.length[d];
    layer->l_x_border = from.border[0];
    layer->l_y_border = from.border[1];
    layer->l_z_border = from.border[2];
    layer->l_border_status = from.borderStatus;
    layer->l_offset = from.offset;
    layer->l_prio = 0;
    layer->l_n_proj = static_cast<int32_t>(from.projections.size());
    if (from.projections.empty()) return;
    layer->projections.reset(new annProjection[from.projections.size()]());
    for (std::size_t p = 0; p < from.projections.size(); ++p) {
      const FixtureProjection& source = from.projections[p];
      annProjection& projection = layer->projections[p];
      copyName(projection.name, source.name);
      copyName(projection.viewInstance, source.viewInstance);
      copyName(projection.viewType, source.viewType);
      copyName(projection.distributionInstance, source.distributionInstance);
      copyName(projection.distributionType, source.distributionType);
    }
  }

  annConnectionMatrix* buildMatrix() const {
    std::vector<std::vector<const FixtureSynapse*>> incoming(words_.size());
    for (const FixtureSynapse& s : synapses_) {
      if (s.to < 0 || s.to >= numberNeurons())
        throw std::invalid_argument("no such neuron: " + std::to_string(s.to));
      incoming[static_cast<std::size_t>(s.to)].push_back(&s);
    }
    orl::AnnConnectionMatrixPtr matrix(annConnectionMatrix_create(numberNeurons()));
    for (const std::vector<const FixtureSynapse*>& synapses : incoming) {
      std::vector<int32_t> types;
      for (const FixtureSynapse* s : synapses) {
        if (std::find(types.begin(), types.end(), s->type) == types.end()) types.push_back(s->type);
      }
      annConnectionMatrixRow row;
      annConnectionMatrixRow_init(&row);
      annConnectionSet set{-1, 0, 0, nullptr};
      try {
        for (int32_t type : types) {
          annConnectionSet_init(&set, type, 0);
          for (const FixtureSynapse* s : synapses) {
            if (s->type == type) annConnectionSet_addConnection(&set, s->from, s->weight);
          }
          annConnectionMatrixRow_appendConnectionSet(&row, &set);
        }
        annConnectionMatrix_appendRow(matrix.get(), &row);
      } catch (...) {
        annConnectionSet_cleanup(&set);
        annConnectionMatrixRow_cleanup(&row);
        throw;
      }
    }
    return matrix.release();
  }

  std::vector<std::string> words_;
  std::vector<FixtureSynapse> synapses_;
  std::vector<FixtureLayer> layers_;
  std::vector<FixtureInstance> instances_;
};

}  // namespace veskortest
