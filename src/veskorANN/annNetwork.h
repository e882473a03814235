// The layered network of conductance-based neurons (model "CCM") behind a word associator: its
// records, its file, and the update rule with which a layer's neurons settle. Operations report a
// status of annStatus.h instead of raising.
#pragma once

#include <cstdint>
#include <memory>

#include "veskorANN/annConnectionMatrix.h"
#include "veskorANN/annStatus.h"
#include "veskorANN/nciDefinitions.h"

// The only neuron model.
inline constexpr int32_t kAnnModelCCM = 4;

// The network header; also the data of the registry instance "header" of type _NETHDR.
struct annNetworkHeader {
  char net_net[kNciTextSize];
  int32_t net_models;
  int32_t net_n_layer;
  int32_t net_n_nt;
};
static_assert(sizeof(annNetworkHeader) == kNciTextSize + 12);

// Parameters of a CCM neuron type (_NTCCM).
struct annNeuronTypeParameters {
  float nc_ur_exc;
  float nc_ur_inh;
  float nc_ur_shunt;
  float nc_u_rest;
  float nc_e_rest;
  float nc_alpha;
  float nc_thr_ll;
  float nc_thr_ul;
};
static_assert(sizeof(annNeuronTypeParameters) == 32);

struct annNeuronType {
  int32_t modelId;
  char name[kNciTextSize];
  annNeuronTypeParameters parameters;
};

// A projection names a view and a distribution by (instance, type) pairs of the registry. The
// integer fields of _PROJ are not carried by the file.
struct annProjection {
  char name[kNciTextSize];
  char viewInstance[kNciTextSize];
  char viewType[kNciTextSize];
  char distributionInstance[kNciTextSize];
  char distributionType[kNciTextSize];
  int32_t synapseType;
  int32_t whenUpdate;
};

// The fields of a layer from l_nt on: also the data of the layer's registry instance of _LAYER.
struct annLayerDescription {
  char l_nt[kNciTextSize];
  int32_t l_dim;
  int32_t l_n_neu;
  int32_t l_nt_id;
  int32_t l_len[3];
  int32_t l_x_border;
  int32_t l_y_border;
  int32_t l_z_border;
  int32_t l_border_status;
  int32_t l_offset;  // global index of the layer's first neuron
  int32_t l_prio;
  int32_t l_n_proj;
};
static_assert(sizeof(annLayerDescription) == kNciTextSize + 52);

struct annLayer : annLayerDescription {
  char name[kNciTextSize];
  std::unique_ptr<annProjection[]> projections;  // l_n_proj entries
};

struct annNetwork {
  annNetworkHeader header;
  std::unique_ptr<annLayer[]> layers;            // header.net_n_layer entries
  orl::AnnConnectionMatrixPtr matrix;            // row i belongs to neuron i
  std::unique_ptr<annNeuronType[]> neuronTypes;  // header.net_n_nt entries
};

// One neuron's entry of a state vector (_SVCCM).
struct annStateEntry {
  float sc_act;     // activity
  float sc_mp;      // membrane potential
  float sc_mp_off;  // decay potential
};

// The two state vectors of one computation, both with one entry per neuron: an update reads
// oldState and writes newState. Each computation owns its pair, so computations on one network
// can run at the same time.
struct annState {
  annStateEntry* oldState;
  annStateEntry* newState;
  int32_t numberNeurons;
};

// A new record: no name, empty l_nt, l_nt_id and l_offset -1, everything else zero.
void annLayer_init(annLayer* pThis);
// Whether every neuron the layer names (its l_n_neu run and its whole box, borders included) is one
// of the network's pNumberNeurons neurons, so that no update or copy can leave the state vectors.
bool annLayer_fitsNeurons(const annLayer* pThis, int32_t pNumberNeurons);

// Reads the network file and, on success, replaces *ppNetwork by it. Registers the neuron types, the layers
// (_LAYER, under their names), the projections' instances and the header (instance "header" of _NETHDR). On
// failure *ppNetwork is unchanged and nothing is left allocated; the registry may keep instances registered
// before the failure.
int32_t annNetwork_createFromFile(annNetwork** ppNetwork, nciDefinitions* pDefinitions,
                                  const char* pFileName);
// Writes the network to a new temporary file for pFileName and syncs it; on success *ppStream is
// that stream, which the caller commits (replacing the file) or closes (leaving it as it was).
int32_t annNetwork_writeTemporary(const annNetwork* pNetwork, const nciDefinitions* pDefinitions,
                                  const char* pFileName, orlStream** ppStream);
// Replaces the file atomically.
int32_t annNetwork_save(const annNetwork* pNetwork, const nciDefinitions* pDefinitions,
                        const char* pFileName);
// Writes what annNetwork_save writes into an open stream.
int32_t annNetwork_write(const annNetwork* pNetwork, const nciDefinitions* pDefinitions, orlStream* pStream);
int32_t annNetwork_free(annNetwork** ppNetwork);
// Number of neurons: the matrix's row count (0 without a matrix).
int32_t annNetwork_getNumberNeurons(const annNetwork* pNetwork);

// New states of the layer's inner neurons (the CCM rule).
int32_t annNetwork_computeLayer(const annNetwork* pNetwork, int32_t pLayer, annState* pState);
// Copies the layer's l_n_neu entries from l_offset on from the new to the old state vector.
int32_t annNetwork_copyLayerState(const annNetwork* pNetwork, int32_t pLayer, annState* pState);

namespace orl {
inline void annNetworkDelete(annNetwork* pNetwork) noexcept {
  delete pNetwork;
}
using AnnNetworkPtr = Owned<annNetwork, annNetworkDelete>;
}  // namespace orl
