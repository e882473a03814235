// A computation of associations: activate the given words, let the network settle, read off the
// active words. The state vectors belong to the computation, never to the word associator.
#include <cmath>
#include <cstdint>
#include <memory>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "veskorANN/wordAssociator.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::wordAssociator;
constexpr int32_t kDefaultIterations = 100;
constexpr int32_t kMaximumIterations = 100;
constexpr int32_t kResultLength = 1000;
constexpr int32_t kResultStep = 100;
constexpr float kStabilityTolerance = 0.001f;

#define CHECK_NETWORK_STATUS(status) wordAssociator_checkNetworkStatus((status), __LINE__)

// Both state vectors of a computation, zeroed, freed when the computation ends however it ends.
class ComputationState {
 public:
  explicit ComputationState(int32_t numberNeurons) {
    std::size_t count = static_cast<std::size_t>(numberNeurons);
    oldState_.reset(static_cast<annStateEntry*>(orlMalloc(sizeof(annStateEntry) * count)));
    newState_.reset(static_cast<annStateEntry*>(orlMalloc(sizeof(annStateEntry) * count)));
    for (std::size_t i = 0; i < count; ++i)
      oldState_.get()[i] = newState_.get()[i] = annStateEntry{0.0f, 0.0f, 0.0f};
    state_ = annState{oldState_.get(), newState_.get(), numberNeurons};
  }
  annState* get() { return &state_; }

 private:
  std::unique_ptr<annStateEntry, orl::FreeWith<orlFree>> oldState_;
  std::unique_ptr<annStateEntry, orl::FreeWith<orlFree>> newState_;
  annState state_;
};

void activateAll(const wordAssociator* wa, annState* state, const vector* words, int32_t context) {
  // From the last word to the first, so that the first occurrence of a repeated word decides.
  for (int32_t i = vector_getNumberElements(words) - 1; i >= 0; --i) {
    wordAssociator_activateWord(wa, state, &orl::vectorAt<wordWeight>(words, i), context);
  }
}

}  // namespace

vector* wordAssociator_computeAssociations(const wordAssociator* pThis, const vector* pWords,
                                           const vector* pContext, int32_t pNumberIterations) {
  if (pThis == nullptr || pWords == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pWords == NULL in wordAssociator_computeAssociations()");
  }
  if (!pThis->network) {
    ORL_RAISE(kGroup, 3,
              "Kein Assoziativspeicher im Wortassoziierer in wordAssociator_computeAssociations()");
  }
  ComputationState state(annNetwork_getNumberNeurons(pThis->network.get()));
  wordAssociator_setState(pThis, state.get(), pWords);
  if (pContext != nullptr) wordAssociator_setContext(pThis, state.get(), pContext);
  int32_t iterations = pNumberIterations == 0 ? kDefaultIterations : pNumberIterations;
  if (iterations < 0 || iterations > kMaximumIterations) {
    ORL_RAISE(kGroup, 5, "Ung\xFCltige Zahl an Iterationen in wordAssociator_computeAssociations()");
  }
  for (int32_t i = 0; i < iterations; ++i) {
    CHECK_NETWORK_STATUS(annNetwork_computeLayer(pThis->network.get(), 0, state.get()));
    if (wordAssociator_stableStateReached(pThis, state.get())) break;
    CHECK_NETWORK_STATUS(annNetwork_copyLayerState(pThis->network.get(), 0, state.get()));
  }
  return wordAssociator_getState(pThis, state.get());
}

void wordAssociator_freeWordWeights(vector* pWords) noexcept {
  if (pWords == nullptr) return;
  for (int32_t i = 0; i < pWords->numberElements; ++i) orlFree(orl::vectorAt<wordWeight>(pWords, i).word);
  vector_free(pWords);
}

void wordAssociator_setState(const wordAssociator* pThis, annState* pState, const vector* pStateVector) {
  if (pThis == nullptr || pStateVector == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pStateVector == NULL in wordAssociator_setState()");
  }
  activateAll(pThis, pState, pStateVector, 0);
}

void wordAssociator_setContext(const wordAssociator* pThis, annState* pState, const vector* pStateVector) {
  if (pThis == nullptr || pStateVector == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pStateVector == NULL in wordAssociator_setContext()");
  }
  activateAll(pThis, pState, pStateVector, 1);
}

void wordAssociator_activateWord(const wordAssociator* pThis, annState* pState, const wordWeight* pWord,
                                 int32_t pContext) {
  if (pThis == nullptr || pWord == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pWord == NULL in wordAssociator_activateWord()");
  }
  if (!pThis->network) {
    ORL_RAISE(kGroup, 3, "Kein Assoziativspeicher im Wortassoziierer in wordAssociator_activateWord()");
  }
  if (pState == nullptr || pState->oldState == nullptr) {
    ORL_RAISE(kGroup, 3, "Kein Zustandsvektor im Assoziativspeicher in wordAssociator_activateWord()");
  }
  // A word without text is as unknown as a word missing from the table.
  if (pWord->word == nullptr || !pThis->lookupTable) return;
  const hnode_t* node = hash_lookup(pThis->lookupTable.get(), pWord->word);
  if (node == nullptr) return;
  const intptr_t neuron = reinterpret_cast<intptr_t>(hnode_get(node));
  if (neuron < 0 || neuron >= pState->numberNeurons) return;
  annStateEntry& entry = pState->oldState[neuron];
  entry.sc_mp = 0.0f;
  entry.sc_mp_off = 0.0f;
  // A context word only sets a neuron that no main word has set.
  if (pContext == 0 || entry.sc_act == 0.0f) entry.sc_act = static_cast<float>(pWord->weight);
}

vector* wordAssociator_getState(const wordAssociator* pThis, const annState* pState) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in wordAssociator_getState()");
  if (!pThis->network) {
    ORL_RAISE(kGroup, 3, "Kein Assoziativspeicher im Wortassoziierer in wordAssociator_getState()");
  }
  if (pState == nullptr || pState->newState == nullptr) {
    ORL_RAISE(kGroup, 3, "Kein Zustandsvektor im Assoziativspeicher in wordAssociator_getState()");
  }
  orl::WordWeightsPtr result(vector_create(sizeof(wordWeight), kResultLength, kResultStep));
  const int32_t numberWords = pThis->wordVector ? vector_getNumberElements(pThis->wordVector.get()) : 0;
  for (int32_t i = 0; i < pState->numberNeurons && i < numberWords; ++i) {
    const float activity = pState->newState[i].sc_act;
    const char* word = orl::vectorAt<char*>(pThis->wordVector.get(), i);
    // A neuron without a word cannot be named in the result.
    if (!(activity > 0.0f) || word == nullptr) continue;
    orl::OwnedText copy(orlStrdup(word));
    wordWeight element{copy.get(), static_cast<double>(activity)};
    vector_appendElement(result.get(), &element);
    copy.release();
  }
  return result.release();
}

bool wordAssociator_stableStateReached(const wordAssociator* pThis, const annState* pState) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in wordAssociator_stableStateReached()");
  if (!pThis->network) {
    ORL_RAISE(kGroup, 3, "Kein Assoziativspeicher im Wortassoziierer in wordAssociator_stableStateReached()");
  }
  if (pState == nullptr || pState->oldState == nullptr || pState->newState == nullptr) {
    ORL_RAISE(kGroup, 3,
              "Keine Zustandsvektoren im Assoziativspeicher in wordAssociator_stableStateReached()");
  }
  const int32_t n = pState->numberNeurons;
  if (n <= 0) return false;
  const float tolerance = kStabilityTolerance / std::sqrt(static_cast<float>(n));
  for (int32_t i = 0; i < n; ++i) {
    const float change = pState->newState[i].sc_act - pState->oldState[i].sc_act;
    if (!(change >= -tolerance && change <= tolerance)) return false;
  }
  return true;
}
