#include "veskorANN/annNetworkSparse.h"

#include <algorithm>
#include <cmath>

#include "veskorANN/annCcmRule.h"

namespace {

const annConnectionSet* setsOf(const annConnectionMatrixRow& row) {
  return static_cast<const annConnectionSet*>(row.sets.buffer);
}

bool hasSynapseKind(int32_t type) {
  return (type & (kAnnSynapseExcitatory | kAnnSynapseInhibitory | kAnnSynapseShunting |
                  kAnnSynapseMultiplicative)) != 0;
}

// A set whose input is not exactly zero when all its presynaptic neurons are silent: (1 - a) * w.
bool inputWithoutActivity(int32_t type) {
  return (type & kAnnInputSquared) == 0 && (type & kAnnInputComplement) != 0;
}

bool isPositiveZero(float value) {
  return value == 0.0f && !std::signbit(value);
}

// What a silent, resting neuron of an ordinary row computes: it must stay silent with no decay
// potential, or the neurons the sparse update leaves out would not be at rest.
const char* restReason(const annNeuronTypeParameters& p) {
  annStateEntry rest{0.0f, 0.0f, 0.0f};
  annCcm_settle(0.0f, 0.0f, 0.0f, p, rest);
  annCcm_startDecay(p, rest);
  if (!isPositiveZero(rest.sc_act) || !isPositiveZero(rest.sc_mp_off)) {
    return "a neuron without input leaves its resting state";
  }
  return nullptr;
}

const char* rowReason(const annConnectionMatrixRow& row, int32_t numberNeurons) {
  const annConnectionSet* sets = setsOf(row);
  for (int32_t s = 0; s < row.sets.numberElements; ++s) {
    const annConnectionSet& set = sets[s];
    if (!hasSynapseKind(set.type)) return "a connection set without a synapse kind";
    if (inputWithoutActivity(set.type)) return "a connection set with input from silent neurons";
    for (int32_t c = 0; c < set.numberConnections; ++c) {
      const annConnection& connection = set.connections[c];
      if (connection.neuron < 0 || connection.neuron >= numberNeurons) {
        return "a connection from a neuron outside the network";
      }
      // Zero times an infinite or undefined weight is not zero.
      if (!std::isfinite(connection.weight)) return "a weight that is not finite";
    }
  }
  return nullptr;
}

const char* unusableReason(const annNetwork* network, int32_t layerIndex) {
  if (network == nullptr || !network->matrix || !network->layers || !network->neuronTypes) {
    return "no network to update";
  }
  if (layerIndex < 0 || layerIndex >= network->header.net_n_layer) return "no such layer";
  const annLayer& layer = network->layers[layerIndex];
  const int32_t numberNeurons = annConnectionMatrix_getNumberRows(network->matrix.get());
  if (!annLayer_fitsNeurons(&layer, numberNeurons)) return "the layer lies outside the network's neurons";
  if (layer.l_nt_id < 0 || layer.l_nt_id >= network->header.net_n_nt) return "no neuron type for the layer";
  if (const char* reason = restReason(network->neuronTypes[layer.l_nt_id].parameters)) return reason;
  const char* reason = nullptr;
  annInnerBox(layer).forEach([&](int32_t neuron) {
    reason = rowReason(*annConnectionMatrix_getRow(network->matrix.get(), neuron), numberNeurons);
    return reason == nullptr ? kAnnOk : kAnnInvalid;
  });
  return reason;
}

// Visits (presynaptic j, postsynaptic i) once per pair, i ascending: the inner neurons come in
// ascending order, and a pair met again within one row is skipped with the help of lastTarget.
template <class F>
void forEachPair(const annNetwork* network, const annInnerBox& box, std::vector<int32_t>& lastTarget,
                 F&& visit) {
  std::fill(lastTarget.begin(), lastTarget.end(), -1);
  box.forEach([&](int32_t neuron) {
    const annConnectionMatrixRow& row = *annConnectionMatrix_getRow(network->matrix.get(), neuron);
    const annConnectionSet* sets = setsOf(row);
    for (int32_t s = 0; s < row.sets.numberElements; ++s) {
      for (int32_t c = 0; c < sets[s].numberConnections; ++c) {
        const int32_t j = sets[s].connections[c].neuron;
        if (lastTarget[static_cast<std::size_t>(j)] == neuron) continue;
        lastTarget[static_cast<std::size_t>(j)] = neuron;
        visit(j, neuron);
      }
    }
    return kAnnOk;
  });
}

void buildTargets(const annNetwork* network, annSparseIndex* index) {
  const annInnerBox box(network->layers[index->layer]);
  const auto n = static_cast<std::size_t>(index->numberNeurons);
  std::vector<int32_t> lastTarget(n);
  index->firstTarget.assign(n + 1, 0);
  forEachPair(network, box, lastTarget,
              [&](int32_t j, int32_t) { ++index->firstTarget[static_cast<std::size_t>(j) + 1]; });
  for (std::size_t j = 0; j < n; ++j) index->firstTarget[j + 1] += index->firstTarget[j];
  index->targets.resize(static_cast<std::size_t>(index->firstTarget[n]));
  std::vector<int64_t> next(index->firstTarget.begin(), index->firstTarget.end() - 1);
  forEachPair(network, box, lastTarget, [&](int32_t j, int32_t i) {
    index->targets[static_cast<std::size_t>(next[static_cast<std::size_t>(j)]++)] = i;
  });
}

}  // namespace

annSparseIndex* annSparseIndex_create(const annNetwork* pNetwork, int32_t pLayer) {
  orl::AnnSparseIndexPtr index(new annSparseIndex);
  index->layer = pLayer;
  index->fullUpdateReason = unusableReason(pNetwork, pLayer);
  if (index->fullUpdateReason != nullptr) return index.release();
  index->numberNeurons = annConnectionMatrix_getNumberRows(pNetwork->matrix.get());
  buildTargets(pNetwork, index.get());
  return index.release();
}

void annSparseIndex_free(annSparseIndex* pThis) noexcept {
  delete pThis;
}

bool annSparseIndex_isUsable(const annSparseIndex* pThis) {
  return pThis != nullptr && pThis->fullUpdateReason == nullptr;
}

// ---- The state of one computation ---------------------------------------------------------------

namespace {

constexpr std::size_t kInitialSlots = 64;

uint32_t mixed(int32_t neuron) {
  uint32_t x = static_cast<uint32_t>(neuron);
  x ^= x >> 16;
  x *= 0x45D9F3Bu;
  x ^= x >> 16;
  return x;
}

}  // namespace

annSparseState::annSparseState(int32_t pLimit) : slots_(kInitialSlots, Slot{0, -1}), limit_(pLimit) {}

std::size_t annSparseState::slotOf(int32_t neuron) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = mixed(neuron) & mask;
  while (slots_[slot].entry >= 0 && slots_[slot].neuron != neuron) slot = (slot + 1) & mask;
  return slot;
}

void annSparseState::grow() {
  std::vector<Slot> old(slots_.size() * 2, Slot{0, -1});
  old.swap(slots_);
  for (std::size_t e = 0; e < entries_.size(); ++e) {
    slots_[slotOf(entries_[e].neuron)] = Slot{entries_[e].neuron, static_cast<int32_t>(e)};
  }
}

annSparseEntry& annSparseState::at(int32_t neuron) {
  std::size_t slot = slotOf(neuron);
  if (slots_[slot].entry >= 0) return entries_[static_cast<std::size_t>(slots_[slot].entry)];
  entries_.push_back(annSparseEntry{neuron, 0.0f, annStateEntry{0.0f, 0.0f, 0.0f}});
  slots_[slot] = Slot{neuron, static_cast<int32_t>(entries_.size() - 1)};
  if (entries_.size() * 2 > slots_.size()) grow();
  return entries_.back();
}

float annSparseState::oldActivity(int32_t neuron) const {
  const Slot& slot = slots_[slotOf(neuron)];
  return slot.entry >= 0 ? entries_[static_cast<std::size_t>(slot.entry)].oldActivity : 0.0f;
}

// ---- Updates ----------------------------------------------------------------------------------------

bool annNetwork_computeLayerSparse(const annNetwork* pNetwork, const annSparseIndex* pIndex,
                                   annSparseState* pState) {
  const annLayer& layer = pNetwork->layers[pIndex->layer];
  const annInnerBox box(layer);
  const annNeuronTypeParameters& p = pNetwork->neuronTypes[layer.l_nt_id].parameters;
  std::vector<annSparseEntry>& entries = pState->entries();
  // Every neuron fed by an active one joins the neurons met; any other neuron not met yet is at
  // rest and stays there.
  const std::size_t met = entries.size();
  for (std::size_t k = 0; k < met; ++k) {
    const annSparseEntry source = entries[k];
    if (source.oldActivity == 0.0f) continue;
    const auto j = static_cast<std::size_t>(source.neuron);
    for (int64_t t = pIndex->firstTarget[j]; t < pIndex->firstTarget[j + 1]; ++t) {
      pState->at(pIndex->targets[static_cast<std::size_t>(t)]);
    }
    if (pState->overLimit()) return false;
  }
  auto oldActivity = [pState](int32_t j, float* a) {
    *a = pState->oldActivity(j);
    return true;
  };
  const annConnectionMatrix* matrix = pNetwork->matrix.get();
  for (annSparseEntry& e : entries) {
    if (!box.contains(e.neuron)) continue;
    if (annCcm_updateNeuron(*annConnectionMatrix_getRow(matrix, e.neuron), p, oldActivity, e.next) !=
        kAnnOk) {
      return false;
    }
  }
  for (annSparseEntry& e : entries) {
    if (box.contains(e.neuron)) annCcm_startDecay(p, e.next);
  }
  return true;
}

void annNetwork_copyLayerStateSparse(const annNetwork* pNetwork, const annSparseIndex* pIndex,
                                     annSparseState* pState) {
  const annLayer& layer = pNetwork->layers[pIndex->layer];
  const int64_t begin = layer.l_offset;
  const int64_t end = begin + layer.l_n_neu;
  for (annSparseEntry& e : pState->entries()) {
    if (e.neuron >= begin && e.neuron < end) e.oldActivity = e.next.sc_act;
  }
}
