// A computation of associations: activate the given words, let the network settle, read off the
// active words. The state belongs to the computation, never to the word associator: two state
// vectors for the full update, the neurons met for the sparse one.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

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

// The neuron of a word, or -1 for a word the table does not hold.
intptr_t neuronOf(const wordAssociator* wa, const char* word, int32_t numberNeurons) {
  // A word without text is as unknown as a word missing from the table.
  if (word == nullptr || !wa->lookupTable) return -1;
  const hnode_t* node = hash_lookup(wa->lookupTable.get(), word);
  if (node == nullptr) return -1;
  const intptr_t neuron = reinterpret_cast<intptr_t>(hnode_get(node));
  return neuron >= 0 && neuron < numberNeurons ? neuron : -1;
}

// Sets the activity of a word's neuron: a main word always, a context word only where no main
// word has set one.
void activate(float& activity, const wordWeight& word, int32_t context) {
  if (context == 0 || activity == 0.0f) activity = static_cast<float>(word.weight);
}

void activateAll(const wordAssociator* wa, annState* state, const vector* words, int32_t context) {
  // From the last word to the first, so that the first occurrence of a repeated word decides.
  for (int32_t i = vector_getNumberElements(words) - 1; i >= 0; --i) {
    wordAssociator_activateWord(wa, state, &orl::vectorAt<wordWeight>(words, i), context);
  }
}

int32_t checkedIterations(int32_t iterations) {
  if (iterations == 0) return kDefaultIterations;
  if (iterations < 0 || iterations > kMaximumIterations) {
    ORL_RAISE(kGroup, 5, "Ung\xFCltige Zahl an Iterationen in wordAssociator_computeAssociations()");
  }
  return iterations;
}

void checkComputation(const wordAssociator* wa, const vector* words) {
  if (wa == nullptr || words == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pWords == NULL in wordAssociator_computeAssociations()");
  }
  if (!wa->network) {
    ORL_RAISE(kGroup, 3,
              "Kein Assoziativspeicher im Wortassoziierer in wordAssociator_computeAssociations()");
  }
}

// Appends a copy of word i with its activity.
void appendWord(vector* result, const wordAssociator* wa, int32_t i, float activity) {
  const char* word = orl::vectorAt<char*>(wa->wordVector.get(), i);
  // A neuron without a word cannot be named in the result.
  if (word == nullptr) return;
  orl::OwnedText copy(orlStrdup(word));
  wordWeight element{copy.get(), static_cast<double>(activity)};
  vector_appendElement(result, &element);
  copy.release();
}

int32_t numberWords(const wordAssociator* wa) {
  return wa->wordVector ? vector_getNumberElements(wa->wordVector.get()) : 0;
}

vector* fullComputation(const wordAssociator* wa, const vector* words, const vector* context,
                        int32_t iterations) {
  ComputationState state(annNetwork_getNumberNeurons(wa->network.get()));
  wordAssociator_setState(wa, state.get(), words);
  if (context != nullptr) wordAssociator_setContext(wa, state.get(), context);
  for (int32_t i = 0; i < iterations; ++i) {
    CHECK_NETWORK_STATUS(annNetwork_computeLayer(wa->network.get(), 0, state.get()));
    if (wordAssociator_stableStateReached(wa, state.get())) break;
    CHECK_NETWORK_STATUS(annNetwork_copyLayerState(wa->network.get(), 0, state.get()));
  }
  return wordAssociator_getState(wa, state.get());
}

// ---- The same computation on the neurons the activity reaches --------------------------------------

// A computation may meet this share of the neurons before the full update is the cheaper way; a
// small network never gives up.
constexpr int32_t kSparseShare = 4;
constexpr int32_t kSparseMinimumLimit = 4096;

void activateAllSparse(const wordAssociator* wa, annSparseState& state, const vector* words,
                       int32_t context) {
  const int32_t numberNeurons = annNetwork_getNumberNeurons(wa->network.get());
  for (int32_t i = vector_getNumberElements(words) - 1; i >= 0; --i) {
    const wordWeight& word = orl::vectorAt<wordWeight>(words, i);
    const intptr_t neuron = neuronOf(wa, word.word, numberNeurons);
    if (neuron >= 0) activate(state.at(static_cast<int32_t>(neuron)).oldActivity, word, context);
  }
}

bool stableSparse(const annSparseState& state, int32_t numberNeurons) {
  if (numberNeurons <= 0) return false;
  const float tolerance = wordAssociator_stabilityTolerance(numberNeurons);
  for (const annSparseEntry& e : state.entries()) {
    const float change = e.next.sc_act - e.oldActivity;
    if (!(change >= -tolerance && change <= tolerance)) return false;
  }
  return true;
}

vector* sparseResult(const wordAssociator* wa, const annSparseState& state) {
  std::vector<const annSparseEntry*> active;
  const int32_t words = numberWords(wa);
  for (const annSparseEntry& e : state.entries()) {
    if (e.next.sc_act > 0.0f && e.neuron < words) active.push_back(&e);
  }
  std::sort(active.begin(), active.end(),
            [](const annSparseEntry* a, const annSparseEntry* b) { return a->neuron < b->neuron; });
  orl::WordWeightsPtr result(vector_create(sizeof(wordWeight), kResultLength, kResultStep));
  for (const annSparseEntry* e : active) appendWord(result.get(), wa, e->neuron, e->next.sc_act);
  return result.release();
}

// Null when the computation spread over more neurons than its limit.
vector* sparseComputation(const wordAssociator* wa, const vector* words, const vector* context,
                          int32_t iterations) {
  const annNetwork* network = wa->network.get();
  const annSparseIndex* index = wa->sparseIndex.get();
  const int32_t numberNeurons = annNetwork_getNumberNeurons(network);
  annSparseState state(std::max(numberNeurons / kSparseShare, kSparseMinimumLimit));
  activateAllSparse(wa, state, words, 0);
  if (context != nullptr) activateAllSparse(wa, state, context, 1);
  for (int32_t i = 0; i < iterations; ++i) {
    if (!annNetwork_computeLayerSparse(network, index, &state)) return nullptr;
    if (stableSparse(state, numberNeurons)) break;
    annNetwork_copyLayerStateSparse(network, index, &state);
  }
  return sparseResult(wa, state);
}

}  // namespace

vector* wordAssociator_computeAssociations(const wordAssociator* pThis, const vector* pWords,
                                           const vector* pContext, int32_t pNumberIterations) {
  checkComputation(pThis, pWords);
  const int32_t iterations = checkedIterations(pNumberIterations);
  if (annSparseIndex_isUsable(pThis->sparseIndex.get()) &&
      pThis->sparseIndex->numberNeurons == annNetwork_getNumberNeurons(pThis->network.get())) {
    if (vector* result = sparseComputation(pThis, pWords, pContext, iterations)) return result;
  }
  return fullComputation(pThis, pWords, pContext, iterations);
}

vector* wordAssociator_computeAssociationsFully(const wordAssociator* pThis, const vector* pWords,
                                                const vector* pContext, int32_t pNumberIterations) {
  checkComputation(pThis, pWords);
  return fullComputation(pThis, pWords, pContext, checkedIterations(pNumberIterations));
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
  const intptr_t neuron = neuronOf(pThis, pWord->word, pState->numberNeurons);
  if (neuron < 0) return;
  annStateEntry& entry = pState->oldState[neuron];
  entry.sc_mp = 0.0f;
  entry.sc_mp_off = 0.0f;
  activate(entry.sc_act, *pWord, pContext);
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
  const int32_t words = numberWords(pThis);
  for (int32_t i = 0; i < pState->numberNeurons && i < words; ++i) {
    const float activity = pState->newState[i].sc_act;
    if (activity > 0.0f) appendWord(result.get(), pThis, i, activity);
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
  const float tolerance = wordAssociator_stabilityTolerance(n);
  for (int32_t i = 0; i < n; ++i) {
    const float change = pState->newState[i].sc_act - pState->oldState[i].sc_act;
    if (!(change >= -tolerance && change <= tolerance)) return false;
  }
  return true;
}

float wordAssociator_stabilityTolerance(int32_t pNumberNeurons) {
  return kStabilityTolerance / std::sqrt(static_cast<float>(pNumberNeurons));
}
