// The full update of a layer: every inner neuron by the CCM rule (annCcmRule.h).
#include <cstring>
#include <new>

#include "orlBasics/orlException.h"
#include "veskorANN/annCcmRule.h"
#include "veskorANN/annNetwork.h"

namespace {

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
    const annInnerBox box(layer);
    const annStateEntry* oldState = pState->oldState;
    const int32_t numberNeurons = pState->numberNeurons;
    auto oldActivity = [oldState, numberNeurons](int32_t j, float* a) {
      if (j < 0 || j >= numberNeurons) return false;
      *a = oldState[j].sc_act;
      return true;
    };
    status = box.forEach([&](int32_t neuron) {
      return annCcm_updateNeuron(*annConnectionMatrix_getRow(matrix, neuron), p, oldActivity,
                                 pState->newState[neuron]);
    });
    if (status != kAnnOk) return status;
    return box.forEach([&](int32_t neuron) {
      annCcm_startDecay(p, pState->newState[neuron]);
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
