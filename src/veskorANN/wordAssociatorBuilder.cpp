#include "veskorANN/wordAssociatorBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlIO.h"
#include "veskorANN/wordAssociator.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::wordAssociator;
constexpr int32_t kFormatVersion = 1;
constexpr int32_t kTooManyWords = 10;
// Excitatory, input w * a * a: a link's input grows with the square of the sender's activity, so
// that weak activity fades on its way through the network instead of spreading.
constexpr int32_t kLinkType = kAnnSynapseExcitatory | kAnnInputSquared;

constexpr const char* kNetworkName = "wordAssociator";
constexpr const char* kNeuronTypeName = "wordNeuron";
constexpr const char* kLayerName = "words";

// Potentials in units where rest is -1 and the excitatory reversal potential 0. A neuron with
// input E settles at u = -e / (E + e) (e = nc_e_rest), so its activity u - nc_thr_ll = E / (E + e)
// grows with its input and stays below 1. Once a neuron is active its decay potential starts at
// u * activity * nc_alpha, which is negative, and grows while it stays active: active neurons tire,
// so a computation with many steps comes to rest.
constexpr float kRest = -1.0f;
constexpr float kInertia = 0.1f;
constexpr float kTiring = 0.5f;

void copyName(char* target, const char* name) {
  std::memset(target, 0, kNciTextSize);
  std::memcpy(target, name, std::strlen(name));
}

void checkInput(const char* fileName, const std::vector<std::string>& words,
                const std::vector<wordAssociatorLink>& links) {
  if (fileName == nullptr) ORL_RAISE(kGroup, 1, "pFileName == NULL in wordAssociator_build()");
  if (words.size() > wordAssociatorBuilder_maxWords) {
    ORL_RAISE(kGroup, kTooManyWords, "Zu viele W\xF6rter in wordAssociator_build()");
  }
  std::unordered_set<std::string_view> seen;
  for (const std::string& word : words) {
    if (word.empty() || word.find('\0') != std::string::npos || !seen.insert(word).second) {
      ORL_RAISE(kGroup, 1, "Ung\xFCltiges Wort in wordAssociator_build()");
    }
  }
  const auto n = static_cast<int64_t>(words.size());
  for (const wordAssociatorLink& link : links) {
    if (link.first < 0 || link.first >= n || link.second < 0 || link.second >= n ||
        link.first == link.second || !(link.weight > 0.0) || !std::isfinite(link.weight)) {
      ORL_RAISE(kGroup, 1, "Ung\xFCltige Verbindung in wordAssociator_build()");
    }
  }
}

// Row i: the neurons linked with word i and their weights relative to the strongest link, by
// neuron.
std::vector<std::vector<annConnection>> incomingConnections(std::size_t numberWords,
                                                            const std::vector<wordAssociatorLink>& links) {
  double strongest = 0.0;
  for (const wordAssociatorLink& link : links) strongest = std::max(strongest, link.weight);
  std::vector<std::vector<annConnection>> rows(numberWords);
  for (const wordAssociatorLink& link : links) {
    const auto weight = static_cast<float>(link.weight / strongest);
    rows[static_cast<std::size_t>(link.first)].push_back(annConnection{link.second, weight});
    rows[static_cast<std::size_t>(link.second)].push_back(annConnection{link.first, weight});
  }
  for (std::vector<annConnection>& row : rows) {
    std::sort(row.begin(), row.end(),
              [](const annConnection& a, const annConnection& b) { return a.neuron < b.neuron; });
    for (std::size_t c = 1; c < row.size(); ++c) {
      if (row[c].neuron == row[c - 1].neuron)
        ORL_RAISE(kGroup, 1, "Ung\xFCltige Verbindung in wordAssociator_build()");
    }
  }
  return rows;
}

annConnectionMatrix* buildMatrix(const std::vector<std::vector<annConnection>>& rows) {
  orl::AnnConnectionMatrixPtr matrix(annConnectionMatrix_create(static_cast<int32_t>(rows.size())));
  for (const std::vector<annConnection>& connections : rows) {
    annConnectionMatrixRow row;
    annConnectionMatrixRow_init(&row);
    annConnectionSet set{-1, 0, 0, nullptr};
    try {
      if (!connections.empty()) {
        // One place more than needed: a set grows when it is full but for one place.
        annConnectionSet_init(&set, kLinkType, static_cast<int32_t>(connections.size()) + 1);
        for (const annConnection& c : connections) annConnectionSet_addConnection(&set, c.neuron, c.weight);
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

orl::AnnNetworkPtr buildNetwork(const std::vector<std::string>& words,
                                const std::vector<wordAssociatorLink>& links) {
  const auto n = static_cast<int32_t>(words.size());
  orl::AnnNetworkPtr network(new annNetwork{});
  copyName(network->header.net_net, kNetworkName);
  network->header.net_models = kAnnModelCCM;
  network->header.net_n_nt = 1;
  network->neuronTypes.reset(new annNeuronType[1]());
  network->neuronTypes[0].modelId = kAnnModelCCM;
  copyName(network->neuronTypes[0].name, kNeuronTypeName);
  network->neuronTypes[0].parameters = wordAssociatorBuilder_neuronType();
  network->header.net_n_layer = 1;
  network->layers.reset(new annLayer[1]);
  annLayer& layer = network->layers[0];
  annLayer_init(&layer);
  copyName(layer.name, kLayerName);
  copyName(layer.l_nt, kNeuronTypeName);
  layer.l_dim = 1;
  layer.l_n_neu = n;
  layer.l_nt_id = 0;
  layer.l_len[0] = n;
  layer.l_len[1] = 1;
  layer.l_len[2] = 1;
  layer.l_border_status = 1;  // no borders: every neuron is updated
  layer.l_offset = 0;
  network->matrix.reset(buildMatrix(incomingConnections(words.size(), links)));
  return network;
}

// The three files under temporary names; replace() puts them in place, and a file of F already
// replaced is removed again when a later one fails.
class PendingFiles {
 public:
  PendingFiles() = default;
  PendingFiles(const PendingFiles&) = delete;
  PendingFiles& operator=(const PendingFiles&) = delete;
  ~PendingFiles() {
    for (std::size_t i = 0; i < replaced_; ++i) std::remove(names_[i].c_str());
  }

  orlStream* add(std::string name) {
    // Room first: a stream made before its owner's slot could not be released when that fails.
    streams_.reserve(streams_.size() + 1);
    names_.reserve(names_.size() + 1);
    streams_.emplace_back(stream_createAtomicFileOutputStream(name.c_str()));
    names_.push_back(std::move(name));
    return streams_.back().get();
  }

  // Nothing here allocates once the first file is in place, so no failure can leave one of them
  // replaced without being counted.
  void replace() {
    // Synced before the first is renamed: a full disk found by the sync leaves F untouched.
    for (const orl::StreamPtr& stream : streams_) stream_sync(stream.get());
    for (std::size_t i = 0; i < streams_.size(); ++i) {
      stream_commit(streams_[i].get());
      replaced_ = i + 1;
    }
    replaced_ = 0;
  }

 private:
  std::vector<orl::StreamPtr> streams_;
  std::vector<std::string> names_;
  std::size_t replaced_ = 0;  // the first names_ already in place
};

}  // namespace

annNeuronTypeParameters wordAssociatorBuilder_neuronType() {
  annNeuronTypeParameters p{};
  p.nc_ur_exc = 0.0f;
  p.nc_ur_inh = kRest;
  p.nc_ur_shunt = kRest;
  p.nc_u_rest = kRest;
  p.nc_e_rest = kInertia;
  p.nc_alpha = kTiring;
  p.nc_thr_ll = kRest;
  p.nc_thr_ul = 0.0f;
  return p;
}

float wordAssociatorBuilder_activity(float relativeWeight) {
  return relativeWeight / (relativeWeight + kInertia);
}

void wordAssociator_build(const char* pFileName, const std::vector<std::string>& pWords,
                          const std::vector<wordAssociatorLink>& pLinks,
                          const std::function<void()>& pBeforeReplace) {
  checkInput(pFileName, pWords, pLinks);
  orl::AnnNetworkPtr network = buildNetwork(pWords, pLinks);
  int32_t status = kAnnOk;
  orl::NciDefinitionsPtr definitions(nciDefinitions_create(&status));
  wordAssociator_checkNetworkStatus(status, __LINE__);

  // The header comes last, so that F names a complete word associator only once the others are in place.
  PendingFiles files;
  orlStream* net = files.add(wordAssociator_partFileName(pFileName, kFormatVersion, "net"));
  wordAssociator_checkNetworkStatus(annNetwork_write(network.get(), definitions.get(), net), __LINE__);
  network.reset();
  std::vector<const char*> words;
  words.reserve(pWords.size());
  for (const std::string& word : pWords) words.push_back(word.c_str());
  wordAssociator_writeWordTable(files.add(wordAssociator_partFileName(pFileName, kFormatVersion, "tab")),
                                static_cast<int32_t>(words.size()), words.data());
  wordAssociator_writeHeader(files.add(pFileName), kFormatVersion, 0);
  if (pBeforeReplace) pBeforeReplace();
  files.replace();
}
