// The network file: header, neuron types, layers with their projections, then the connection
// matrix. Loading treats the file as untrusted: counts are checked against the bytes left before
// anything is allocated for them, and layers must lie within the network's neurons.
#include <cstring>
#include <new>
#include <string>

#include "orlBasics/orlException.h"
#include "veskorANN/annNetwork.h"
#include "veskorANN/annValueBlock.h"

namespace {

// A failure with its status, thrown inside this file and returned at its boundary.
struct annFailure {
  int32_t status;
};

void check(int32_t status) {
  if (status != kAnnOk) throw annFailure{status};
}

int32_t statusOf(const orl::Exception& e) {
  if (e.group() == 1 && e.code() == 1) return kAnnOutOfMemory;
  if (e.group() == 5000) {
    if (e.code() == 6) return kAnnCannotOpen;
    if (e.code() == 4) return kAnnReadError;
    if (e.code() == 3) return kAnnWriteError;
  }
  return kAnnGeneralFailure;
}

// Runs a file operation and turns whatever it raises into a status.
template <class F>
int32_t guarded(F&& operation) {
  try {
    operation();
    return kAnnOk;
  } catch (const annFailure& f) {
    return f.status;
  } catch (const orl::Exception& e) {
    return statusOf(e);
  } catch (const std::bad_alloc&) {
    return kAnnOutOfMemory;
  }
}

// Bytes an element needs at least on file.
constexpr int64_t kNeuronTypeBytes = 4 + 1 + 4;      // model, name, value block count
constexpr int64_t kLayerBytes = 2 * 1 + 13 * 4;      // two names, thirteen int32
constexpr int64_t kProjectionBytes = 5 * 1 + 2 * 4;  // five names, two value block counts

int32_t readCount(orlStream* in, int64_t bytesPerElement) {
  int32_t count = stream_readInt32(in);
  if (count < 0 || count * bytesPerElement > stream_remainingBytes(in)) throw annFailure{kAnnReadError};
  return count;
}

struct annModel {
  int32_t id;
  const char* name;
};
constexpr annModel kModels[] = {{kAnnModelCCM, "CCM"}};

const char* modelName(int32_t id) {
  for (const annModel& model : kModels) {
    if (model.id == id) return model.name;
  }
  return nullptr;
}

std::string neuronTypeTypeName(const char* model) {
  return std::string("_NT") + model;
}

void readHeader(orlStream* in, annNetworkHeader* header) {
  annTokens_readName(in, header->net_net);
  header->net_models = stream_readInt32(in);
  header->net_n_layer = stream_readInt32(in);
  header->net_n_nt = stream_readInt32(in);
}

void readNeuronType(orlStream* in, nciDefinitions* registry, annNeuronType* type) {
  type->modelId = stream_readInt32(in);
  annTokens_readName(in, type->name);
  const char* model = modelName(type->modelId);
  if (model == nullptr) throw annFailure{kAnnUnknownModel};
  std::string typeName = neuronTypeTypeName(model);
  check(annValueBlock_read(in, registry, type->name, typeName.c_str()));
  const nciInstance* instance = nciDefinitions_findInstance(registry, type->name);
  if (instance == nullptr || instance->data.size() != sizeof type->parameters)
    throw annFailure{kAnnGeneralFailure};
  std::memcpy(&type->parameters, instance->data.data(), sizeof type->parameters);
}

void readProjection(orlStream* in, nciDefinitions* registry, annProjection* projection) {
  annTokens_readName(in, projection->name);
  annTokens_readName(in, projection->viewInstance);
  annTokens_readName(in, projection->viewType);
  annTokens_readName(in, projection->distributionInstance);
  annTokens_readName(in, projection->distributionType);
  check(annValueBlock_read(in, registry, projection->viewInstance, projection->viewType));
  check(annValueBlock_read(in, registry, projection->distributionInstance, projection->distributionType));
}

void readLayer(orlStream* in, nciDefinitions* registry, const annNetwork* network, annLayer* layer) {
  annTokens_readName(in, layer->name);
  layer->l_dim = stream_readInt32(in);
  layer->l_n_neu = stream_readInt32(in);
  annTokens_readName(in, layer->l_nt);
  layer->l_nt_id = stream_readInt32(in);
  for (int32_t& length : layer->l_len) length = stream_readInt32(in);
  layer->l_x_border = stream_readInt32(in);
  layer->l_y_border = stream_readInt32(in);
  layer->l_z_border = stream_readInt32(in);
  layer->l_border_status = stream_readInt32(in);
  layer->l_offset = stream_readInt32(in);
  layer->l_prio = stream_readInt32(in);
  bool typeFound = false;
  for (int32_t t = 0; t < network->header.net_n_nt && !typeFound; ++t) {
    typeFound = std::strcmp(network->neuronTypes[t].name, layer->l_nt) == 0;
  }
  if (!typeFound) throw annFailure{kAnnNeuronTypeNotFound};
  layer->l_n_proj = readCount(in, kProjectionBytes);
  layer->projections.reset(new annProjection[static_cast<std::size_t>(layer->l_n_proj)]());
  for (int32_t p = 0; p < layer->l_n_proj; ++p) readProjection(in, registry, &layer->projections[p]);
}

void registerLayersAndHeader(const annNetwork* network, nciDefinitions* registry) {
  for (int32_t l = 0; l < network->header.net_n_layer; ++l) {
    const annLayer& layer = network->layers[l];
    const annLayerDescription& description = layer;
    check(nciDefinitions_setInstance(layer.name, "_LAYER", &description, registry));
  }
  check(nciDefinitions_setInstance("header", "_NETHDR", &network->header, registry));
}

annConnectionMatrix* readMatrix(orlStream* in) {
  try {
    return annConnectionMatrix_createFromFile(in);
  } catch (const orl::Exception& e) {
    throw annFailure{statusOf(e)};
  }
}

void readNetwork(orlStream* in, nciDefinitions* registry, annNetwork* network) {
  readHeader(in, &network->header);
  // Counts are checked before the header is taken as the record's sizes.
  int32_t numberTypes = network->header.net_n_nt;
  if (numberTypes < 0 || numberTypes * kNeuronTypeBytes > stream_remainingBytes(in))
    throw annFailure{kAnnReadError};
  network->header.net_n_nt = 0;
  network->neuronTypes.reset(new annNeuronType[static_cast<std::size_t>(numberTypes)]());
  for (int32_t t = 0; t < numberTypes; ++t) {
    readNeuronType(in, registry, &network->neuronTypes[t]);
    network->header.net_n_nt = t + 1;
  }
  int32_t numberLayers = network->header.net_n_layer;
  if (numberLayers < 0 || numberLayers * kLayerBytes > stream_remainingBytes(in))
    throw annFailure{kAnnReadError};
  network->header.net_n_layer = 0;
  network->layers.reset(new annLayer[static_cast<std::size_t>(numberLayers)]);
  for (int32_t l = 0; l < numberLayers; ++l) {
    annLayer_init(&network->layers[l]);
    readLayer(in, registry, network, &network->layers[l]);
    network->header.net_n_layer = l + 1;
  }
  network->matrix.reset(readMatrix(in));
  int32_t numberNeurons = annConnectionMatrix_getNumberRows(network->matrix.get());
  for (int32_t l = 0; l < numberLayers; ++l) {
    if (!annLayer_fitsNeurons(&network->layers[l], numberNeurons)) throw annFailure{kAnnLayerOutOfRange};
  }
  registerLayersAndHeader(network, registry);
}

// Everything a save needs is present and consistent with the header's counts.
int32_t checkSavable(const annNetwork* network) {
  const annNetworkHeader& header = network->header;
  if (header.net_n_layer < 0 || header.net_n_nt < 0) return kAnnMissingPart;
  if ((header.net_n_layer > 0 && !network->layers) || (header.net_n_nt > 0 && !network->neuronTypes)) {
    return kAnnMissingPart;
  }
  if (!network->matrix) return kAnnMissingPart;
  for (int32_t t = 0; t < header.net_n_nt; ++t) {
    if (modelName(network->neuronTypes[t].modelId) == nullptr) return kAnnUnknownModel;
  }
  for (int32_t l = 0; l < header.net_n_layer; ++l) {
    const annLayer& layer = network->layers[l];
    if (layer.l_n_proj < 0 || (layer.l_n_proj > 0 && !layer.projections)) return kAnnMissingPart;
  }
  return kAnnOk;
}

// The values of an instance, or of the type's zeroed default when it is not registered.
void writeInstanceValues(orlStream* out, const nciDefinitions* registry, const char* instanceName,
                         const char* typeName) {
  const nciType* type = nciDefinitions_findType(registry, typeName);
  if (type == nullptr) throw annFailure{kNciUnknownType};
  const nciInstance* instance = nciDefinitions_findInstance(registry, instanceName);
  if (instance != nullptr && &registry->types[static_cast<std::size_t>(instance->type)] != type) {
    throw annFailure{kAnnInvalid};
  }
  if (instance != nullptr) {
    annValueBlock_write(out, registry, type, instance->data.data());
  } else {
    std::string zeros(static_cast<std::size_t>(type->dataSize), '\0');
    annValueBlock_write(out, registry, type, zeros.data());
  }
}

void writeLayer(orlStream* out, const nciDefinitions* registry, const annLayer& layer) {
  annTokens_writeName(out, layer.name);
  stream_writeInt32(out, layer.l_dim);
  stream_writeInt32(out, layer.l_n_neu);
  annTokens_writeName(out, layer.l_nt);
  stream_writeInt32(out, layer.l_nt_id);
  for (int32_t length : layer.l_len) stream_writeInt32(out, length);
  stream_writeInt32(out, layer.l_x_border);
  stream_writeInt32(out, layer.l_y_border);
  stream_writeInt32(out, layer.l_z_border);
  stream_writeInt32(out, layer.l_border_status);
  stream_writeInt32(out, layer.l_offset);
  stream_writeInt32(out, layer.l_prio);
  stream_writeInt32(out, layer.l_n_proj);
  for (int32_t p = 0; p < layer.l_n_proj; ++p) {
    const annProjection& projection = layer.projections[p];
    annTokens_writeName(out, projection.name);
    annTokens_writeName(out, projection.viewInstance);
    annTokens_writeName(out, projection.viewType);
    annTokens_writeName(out, projection.distributionInstance);
    annTokens_writeName(out, projection.distributionType);
    writeInstanceValues(out, registry, projection.viewInstance, projection.viewType);
    writeInstanceValues(out, registry, projection.distributionInstance, projection.distributionType);
  }
}

void writeNetwork(orlStream* out, const nciDefinitions* registry, const annNetwork* network) {
  const annNetworkHeader& header = network->header;
  annTokens_writeName(out, header.net_net);
  stream_writeInt32(out, header.net_models);
  stream_writeInt32(out, header.net_n_layer);
  stream_writeInt32(out, header.net_n_nt);
  for (int32_t t = 0; t < header.net_n_nt; ++t) {
    const annNeuronType& type = network->neuronTypes[t];
    stream_writeInt32(out, type.modelId);
    annTokens_writeName(out, type.name);
    std::string typeName = neuronTypeTypeName(modelName(type.modelId));
    const nciType* description = nciDefinitions_findType(registry, typeName.c_str());
    if (description == nullptr || description->dataSize != sizeof type.parameters)
      throw annFailure{kNciUnknownType};
    annValueBlock_write(out, registry, description, &type.parameters);
  }
  for (int32_t l = 0; l < header.net_n_layer; ++l) writeLayer(out, registry, network->layers[l]);
  annConnectionMatrix_save(network->matrix.get(), out);
}

}  // namespace

void annLayer_init(annLayer* pThis) {
  std::memset(static_cast<annLayerDescription*>(pThis), 0, sizeof(annLayerDescription));
  std::memset(pThis->name, 0, sizeof pThis->name);
  pThis->l_nt_id = -1;
  pThis->l_offset = -1;
  pThis->projections.reset();
}

bool annLayer_fitsNeurons(const annLayer* pThis, int32_t pNumberNeurons) {
  const annLayer& layer = *pThis;
  if (layer.l_offset < 0 || layer.l_n_neu < 0) return false;
  if (layer.l_x_border < 0 || layer.l_y_border < 0 || layer.l_z_border < 0) return false;
  if (int64_t{layer.l_offset} + layer.l_n_neu > pNumberNeurons) return false;
  int64_t cells = 1;
  for (int32_t length : layer.l_len) {
    if (length < 0) return false;
    cells *= length;
    // Stop before the product can overflow; a later length of 0 would empty the box again.
    if (cells > pNumberNeurons) cells = int64_t{pNumberNeurons} + 1;
  }
  return int64_t{layer.l_offset} + cells <= pNumberNeurons;
}

int32_t annNetwork_createFromFile(annNetwork** ppNetwork, nciDefinitions* pDefinitions,
                                  const char* pFileName) {
  if (ppNetwork == nullptr || pDefinitions == nullptr || pFileName == nullptr) return kAnnInvalid;
  return guarded([&] {
    orl::StreamPtr in(stream_createFileInputStream(pFileName));
    orl::AnnNetworkPtr network(new annNetwork{});
    readNetwork(in.get(), pDefinitions, network.get());
    delete *ppNetwork;
    *ppNetwork = network.release();
  });
}

int32_t annNetwork_writeTemporary(const annNetwork* pNetwork, const nciDefinitions* pDefinitions,
                                  const char* pFileName, orlStream** ppStream) {
  if (pNetwork == nullptr) return kAnnNothingToSave;
  if (pDefinitions == nullptr || pFileName == nullptr || ppStream == nullptr) return kAnnInvalid;
  int32_t status = checkSavable(pNetwork);
  if (status != kAnnOk) return status;
  return guarded([&] {
    orl::StreamPtr out(stream_createAtomicFileOutputStream(pFileName));
    writeNetwork(out.get(), pDefinitions, pNetwork);
    stream_sync(out.get());
    *ppStream = out.release();
  });
}

int32_t annNetwork_save(const annNetwork* pNetwork, const nciDefinitions* pDefinitions,
                        const char* pFileName) {
  orlStream* written = nullptr;
  int32_t status = annNetwork_writeTemporary(pNetwork, pDefinitions, pFileName, &written);
  if (status != kAnnOk) return status;
  orl::StreamPtr out(written);
  return guarded([&] { stream_commit(out.get()); });
}

int32_t annNetwork_write(const annNetwork* pNetwork, const nciDefinitions* pDefinitions, orlStream* pStream) {
  if (pNetwork == nullptr) return kAnnNothingToSave;
  if (pDefinitions == nullptr || pStream == nullptr) return kAnnInvalid;
  int32_t status = checkSavable(pNetwork);
  if (status != kAnnOk) return status;
  return guarded([&] { writeNetwork(pStream, pDefinitions, pNetwork); });
}

int32_t annNetwork_free(annNetwork** ppNetwork) {
  if (ppNetwork == nullptr) return kAnnInvalid;
  delete *ppNetwork;
  *ppNetwork = nullptr;
  return kAnnOk;
}

int32_t annNetwork_getNumberNeurons(const annNetwork* pNetwork) {
  if (pNetwork == nullptr || !pNetwork->matrix) return 0;
  return annConnectionMatrix_getNumberRows(pNetwork->matrix.get());
}
