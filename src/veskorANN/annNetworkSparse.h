// An update of a layer that visits only the neurons an activity can reach. A neuron without active
// input whose state is still the resting state computes that resting state again, so leaving it out
// changes nothing: the sparse update gives exactly the states of the full update (annCcmRule.h is
// the one rule of both), at a cost proportional to the connections that leave the active neurons
// instead of the size of the network.
//
// That holds only where the network lets no neuron without input become active: the index checks
// this once per network and, where it does not hold, says why, and computations run the full
// update instead.
#pragma once

#include <cstdint>
#include <vector>

#include "orlBasics/orlMemory.h"
#include "veskorANN/annNetwork.h"

// Which neurons each neuron feeds, for the updates of one layer.
struct annSparseIndex {
  int32_t layer = 0;
  int32_t numberNeurons = 0;
  // Null when sparse updates give the full update's states; otherwise why they would not.
  const char* fullUpdateReason = nullptr;
  // The inner neurons of the layer fed by neuron j, ascending and each once:
  // targets[firstTarget[j]] .. targets[firstTarget[j + 1] - 1].
  std::vector<int64_t> firstTarget;
  std::vector<int32_t> targets;
};

// Fails only when memory runs out; a network the sparse update cannot serve gives an index that is
// not usable, and computations then take the full update.
annSparseIndex* annSparseIndex_create(const annNetwork* pNetwork, int32_t pLayer);
void annSparseIndex_free(annSparseIndex* pThis) noexcept;
bool annSparseIndex_isUsable(const annSparseIndex* pThis);

// One neuron the computation has met: its old activity (the only part of the old state an update
// reads) and its new state.
struct annSparseEntry {
  int32_t neuron;
  float oldActivity;
  annStateEntry next;
};

// The state of one computation as the neurons it has met; every other neuron is at rest (activity
// 0, decay potential 0). Entries are never removed.
class annSparseState {
 public:
  // pLimit bounds the neurons met; beyond it a full update is the cheaper way.
  explicit annSparseState(int32_t pLimit);

  // The neuron's entry, added at rest when the computation has not met it yet. May move entries.
  annSparseEntry& at(int32_t neuron);
  float oldActivity(int32_t neuron) const;
  bool overLimit() const { return static_cast<int64_t>(entries_.size()) > limit_; }

  std::vector<annSparseEntry>& entries() { return entries_; }
  const std::vector<annSparseEntry>& entries() const { return entries_; }

 private:
  struct Slot {
    int32_t neuron;
    int32_t entry;  // -1: empty
  };
  std::size_t slotOf(int32_t neuron) const;
  void grow();

  std::vector<annSparseEntry> entries_;
  std::vector<Slot> slots_;  // open addressing, a power of two, at most half full
  int64_t limit_;
};

// The sparse counterparts of annNetwork_computeLayer and annNetwork_copyLayerState, for the layer
// of a usable index. computeLayer returns false, leaving the state unusable, when the computation
// outgrows its limit.
bool annNetwork_computeLayerSparse(const annNetwork* pNetwork, const annSparseIndex* pIndex,
                                   annSparseState* pState);
void annNetwork_copyLayerStateSparse(const annNetwork* pNetwork, const annSparseIndex* pIndex,
                                     annSparseState* pState);

namespace orl {
using AnnSparseIndexPtr = Owned<annSparseIndex, annSparseIndex_free>;
}
