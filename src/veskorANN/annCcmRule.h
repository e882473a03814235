// The CCM rule for one neuron and the neurons of a layer it applies to, shared by the full update of
// a layer and the update that visits only the neurons an activity can reach: both compute every
// neuron with this one code, so their results are the same bit for bit. Everything is computed in
// float32, in the order written here, so that results do not depend on the compiler's choice of
// precision.
#pragma once

#include <cmath>
#include <cstdint>

#include "veskorANN/annConnectionMatrix.h"
#include "veskorANN/annNetwork.h"
#include "veskorANN/annStatus.h"

// The neurons an update touches: the layer's box less its borders, unless the border status
// switches the borders off.
struct annInnerBox {
  int32_t begin[3];
  int32_t end[3];
  int64_t offset;
  int64_t lengthX;
  int64_t lengthXY;

  explicit annInnerBox(const annLayer& layer) {
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

  bool contains(int32_t neuron) const {
    const int64_t cell = neuron - offset;
    if (cell < 0 || lengthX <= 0 || lengthXY <= 0) return false;
    const int64_t z = cell / lengthXY;
    const int64_t y = (cell % lengthXY) / lengthX;
    const int64_t x = cell % lengthX;
    return x >= begin[0] && x < end[0] && y >= begin[1] && y < end[1] && z >= begin[2] && z < end[2];
  }

  // Visits the neurons in z, y, x order; stops at the first status that is not kAnnOk.
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

inline constexpr float kAnnActivityCut = 1e-10f;
inline constexpr float kAnnDecayStart = 0.1f;

// Input of one connection set. oldActivity(j, &a) stores the old activity of presynaptic neuron j
// and returns false when j is outside the state vectors.
template <class OldActivity>
int32_t annCcm_setInput(const annConnectionSet& set, OldActivity& oldActivity, float* pInput) {
  float input = 0.0f;
  const annConnection* connections = set.connections;
  for (int32_t c = 0; c < set.numberConnections; ++c) {
    float a;
    if (!oldActivity(connections[c].neuron, &a)) return kAnnNeuronOutOfRange;
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

// The membrane potential, activity and decay potential that accumulated inputs give a neuron whose
// last connection set is not multiplicative; e holds the decay potential of the previous update.
inline void annCcm_settle(float excitatory, float inhibitory, float shunting,
                          const annNeuronTypeParameters& p, annStateEntry& e) {
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
  if (e.sc_act < kAnnActivityCut) e.sc_act = 0.0f;
}

// The new state e of a neuron from its matrix row.
template <class OldActivity>
int32_t annCcm_updateNeuron(const annConnectionMatrixRow& row, const annNeuronTypeParameters& p,
                            OldActivity&& oldActivity, annStateEntry& e) {
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
    int32_t status = annCcm_setInput(set, oldActivity, &input);
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
  // Only a multiplicative last set decides the activity by the product.
  if (multiplicative) {
    e.sc_act = product;
    if (e.sc_act < kAnnActivityCut) e.sc_act = 0.0f;
  } else {
    annCcm_settle(excitatory, inhibitory, shunting, p, e);
  }
  return kAnnOk;
}

// The second pass over the updated neurons: the decay potential starts once a neuron is clearly
// active.
inline void annCcm_startDecay(const annNeuronTypeParameters& p, annStateEntry& e) {
  if (e.sc_act >= kAnnDecayStart && e.sc_mp_off == 0.0f) e.sc_mp_off = e.sc_mp * e.sc_act * p.nc_alpha;
}
