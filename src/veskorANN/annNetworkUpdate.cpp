// The CCM update rule. Everything is computed in float32, in the order written here, so that
// results do not depend on the compiler's choice of precision.
#include <cmath>
#include <cstring>
#include <new>

#include "orlBasics/orlException.h"
#include "veskorANN/annNetwork.h"

namespace {

constexpr float kActivityCut = 1e-10f;
constexpr float kDecayStart = 0.1f;

// The neurons an update touches: the layer's box less its borders, unless the border status
// switches the borders off.
struct InnerBox {
  int32_t begin[3];
  int32_t end[3];
  int64_t offset;
  int64_t lengthX;
  int64_t lengthXY;

  explicit InnerBox(const annLayer& layer) {
    const bool bordered = layer.l_border_status == 0;
    const int32_t borders[3] = {layer.l_x_border, layer.l_y_border, layer.l_z_border};
    for (int d = 0; d < 3; ++d) {
      begin[d] = bordered ? borders[d] : 0;
      end[d] = layer.l_len[d] - begin[d];
    }
    offset = layer.l_offset;
    lengthX = layer.l_len[0];
    lengthXY = int64_t{layer.l_len[0]} * layer.l_len[1];
  }

  template <class F>
  int32_t forEach(F&& visit) const {
    // A box empty in one direction holds no neuron, however long its other sides (a file may say
    // 0 x 2^31 x 2^31): walking those would not end.
    for (int d = 0; d < 3; ++d) {
      if (end[d] <= begin[d]) return kAnnOk;
    }
    for (int32_t z = begin[2]; z < end[2]; ++z) {
      for (int32_t y = begin[1]; y < end[1]; ++y) {
        for (int32_t x = begin[0]; x < end[0]; ++x) {
          int32_t status = visit(static_cast<int32_t>(offset + z * lengthXY + y * lengthX + x));
          if (status != kAnnOk) return status;
        }
      }
    }
    return kAnnOk;
  }
};

// Input of one connection set from the old activities; kAnnNeuronOutOfRange when a connection
// names a neuron outside the state vectors.
int32_t setInput(const annConnectionSet& set, const annState& state, float* pInput) {
  float input = 0.0f;
  const annConnection* connections = set.connections;
  for (int32_t c = 0; c < set.numberConnections; ++c) {
    const int32_t j = connections[c].neuron;
    if (j < 0 || j >= state.numberNeurons) return kAnnNeuronOutOfRange;
    const float a = state.oldState[j].sc_act;
    const float w = connections[c].weight;
    if (set.type & kAnnInputSquared) {
      input += w * a * a;
    } else if (set.type & kAnnInputComplement) {
      input += (1.0f - a) * w;
    } else {
      input += std::sqrt(a * w);
    }
  }
  *pInput = input;
  return kAnnOk;
}

int32_t updateNeuron(const annConnectionMatrixRow& row, const annNeuronTypeParameters& p, annState& state,
                     int32_t neuron) {
  float excitatory = 0.0f;
  float inhibitory = 0.0f;
  float shunting = 0.0f;
  float product = 1.0f;
  bool multiplicative = false;
  const int32_t numberSets = row.sets.numberElements;
  const annConnectionSet* sets = static_cast<const annConnectionSet*>(row.sets.buffer);
  for (int32_t s = 0; s < numberSets; ++s) {
    const annConnectionSet& set = sets[s];
    multiplicative = false;
    float input;
    int32_t status = setInput(set, state, &input);
    if (status != kAnnOk) return status;
    if (set.type & kAnnSynapseExcitatory) {
      excitatory += input;
    } else if (set.type & kAnnSynapseInhibitory) {
      inhibitory += input;
    } else if (set.type & kAnnSynapseShunting) {
      shunting += input;
    } else if (set.type & kAnnSynapseMultiplicative) {
      product *= input;
      multiplicative = true;
    } else {
      return kAnnInvalid;
    }
  }
  annStateEntry& e = state.newState[neuron];
  // Only a multiplicative last set decides the activity by the product.
  if (multiplicative) {
    e.sc_act = product;
  } else {
    if (excitatory < 0.0f) excitatory = 0.0f;
    const float u = (excitatory * p.nc_ur_exc + inhibitory * p.nc_ur_inh + shunting * p.nc_ur_shunt +
                     (p.nc_u_rest + e.sc_mp_off) * p.nc_e_rest) /
                    (inhibitory + shunting + excitatory + p.nc_e_rest);
    e.sc_mp = u;
    float activity = 0.0f;
    if (u - p.nc_thr_ll > 0.0f) activity = (u - p.nc_thr_ll) / (p.nc_thr_ul - p.nc_thr_ll);
    if (activity > 1.0f) activity = 1.0f;
    e.sc_act = activity;
    e.sc_mp_off = e.sc_mp_off + p.nc_alpha * activity * e.sc_mp_off;
  }
  if (e.sc_act < kActivityCut) e.sc_act = 0.0f;
  return kAnnOk;
}

// The layer, its neuron type and the state vectors fit together, so that an update stays within
// the state vectors whatever the network says.
int32_t checkLayer(const annNetwork* network, int32_t layerIndex, const annState* state) {
  if (network == nullptr || state == nullptr || state->oldState == nullptr || state->newState == nullptr) {
    return kAnnMissingPart;
  }
  if (!network->layers || layerIndex < 0 || layerIndex >= network->header.net_n_layer)
    return kAnnLayerOutOfRange;
  if (!network->matrix || annConnectionMatrix_getNumberRows(network->matrix.get()) != state->numberNeurons) {
    return kAnnNeuronOutOfRange;
  }
  if (!annLayer_fitsNeurons(&network->layers[layerIndex], state->numberNeurons)) return kAnnLayerOutOfRange;
  return kAnnOk;
}

}  // namespace

int32_t annNetwork_computeLayer(const annNetwork* pNetwork, int32_t pLayer, annState* pState) {
  try {
    int32_t status = checkLayer(pNetwork, pLayer, pState);
    if (status != kAnnOk) return status;
    const annLayer& layer = pNetwork->layers[pLayer];
    if (!pNetwork->neuronTypes || layer.l_nt_id < 0 || layer.l_nt_id >= pNetwork->header.net_n_nt) {
      return kAnnNeuronTypeOutOfRange;
    }
    const annNeuronTypeParameters& p = pNetwork->neuronTypes[layer.l_nt_id].parameters;
    const annConnectionMatrix* matrix = pNetwork->matrix.get();
    const InnerBox box(layer);
    status = box.forEach([&](int32_t neuron) {
      return updateNeuron(*annConnectionMatrix_getRow(matrix, neuron), p, *pState, neuron);
    });
    if (status != kAnnOk) return status;
    // The decay potential starts once a neuron is clearly active.
    return box.forEach([&](int32_t neuron) {
      annStateEntry& e = pState->newState[neuron];
      if (e.sc_act >= kDecayStart && e.sc_mp_off == 0.0f) e.sc_mp_off = e.sc_mp * e.sc_act * p.nc_alpha;
      return kAnnOk;
    });
  } catch (const orl::Exception&) {
    return kAnnGeneralFailure;
  } catch (const std::bad_alloc&) {
    return kAnnOutOfMemory;
  }
}

int32_t annNetwork_copyLayerState(const annNetwork* pNetwork, int32_t pLayer, annState* pState) {
  try {
    int32_t status = checkLayer(pNetwork, pLayer, pState);
    if (status != kAnnOk) return status;
    const annLayer& layer = pNetwork->layers[pLayer];
    std::memcpy(pState->oldState + layer.l_offset, pState->newState + layer.l_offset,
                sizeof(annStateEntry) * static_cast<std::size_t>(layer.l_n_neu));
    return kAnnOk;
  } catch (const orl::Exception&) {
    return kAnnGeneralFailure;
  }
}
