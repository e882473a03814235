// The word associator: a small associative network whose neuron i stands for word i of its word
// table. Given weighted words it activates their neurons, lets the network settle and returns the
// words whose neurons end up active. A word associator named F lives in three files: the header
// F ("WASE"), the network file F.v1.net and the word table F.v1.tab ("WALT").
//
// Every operation raises on failure (group 16 unless stated otherwise). A loaded word associator
// is never changed by a computation: each computation owns its state vectors, so several may run
// at the same time on one word associator under shared access.
#pragma once

#include <cstdint>
#include <string>

#include "kazlib/hash.h"
#include "orlBasics/orlFile.h"
#include "orlBasics/orlIO.h"
#include "orlBasics/orlMemory.h"
#include "orlBasics/vector.h"
#include "veskorANN/annNetwork.h"
#include "veskorANN/annNetworkSparse.h"
#include "veskorANN/nciDefinitions.h"

// Element of the word lists given to and returned by the word associator.
struct wordWeight {
  char* word;  // lists returned by the word associator own their words
  double weight;
};

struct wordAssociator {
  int32_t version = 0;      // format version of the header file; always 1
  int32_t headerValue = 0;  // kept and written back unchanged
  orl::OwnedText fileNameAssociator;
  orlFileTime fileTime;   // of the header file when loaded or last saved
  bool modified = false;  // nothing sets it: saving only checks and refreshes fileTime
  orl::NciDefinitionsPtr nciDefinitions;
  orl::AnnNetworkPtr network;
  // Which neurons each neuron feeds; where it is not usable, computations run the full update.
  orl::AnnSparseIndexPtr sparseIndex;
  orl::VectorPtr wordVector;  // char*, owned: word i belongs to neuron i
  orl::HashPtr lookupTable;   // word -> neuron index; keys are the texts of wordVector

  wordAssociator() = default;
  wordAssociator(const wordAssociator&) = delete;
  wordAssociator& operator=(const wordAssociator&) = delete;
  ~wordAssociator();
};

wordAssociator* wordAssociator_createFromFile(const char* pFileName);
void wordAssociator_free(wordAssociator* pThis) noexcept;
// Refuses (code 8) when the header file changed since it was loaded or last saved.
void wordAssociator_save(wordAssociator* pThis);
// Writes all three files under the new name; later saves still go to the old name.
void wordAssociator_saveAs(const wordAssociator* pThis, const char* pFileName);

// Activates pWords (and the context words, which may be null), runs up to pNumberIterations
// updates (0 means 100; allowed 0 to 100) until the state is stable and returns every word whose
// neuron ends with a positive activity, in neuron order. The caller owns the list and its words
// (wordAssociator_freeWordWeights).
//
// Where the sparse index allows, the updates visit only the neurons the activity reaches, so one
// update step costs time in proportion to the connections leaving the active words; the result is
// the full update's, bit for bit. A computation that spreads over too much of the network starts
// again with the full update.
vector* wordAssociator_computeAssociations(const wordAssociator* pThis, const vector* pWords,
                                           const vector* pContext, int32_t pNumberIterations);
// The same with the full update of every neuron in every step, whatever the network.
vector* wordAssociator_computeAssociationsFully(const wordAssociator* pThis, const vector* pWords,
                                                const vector* pContext, int32_t pNumberIterations);
// Frees a list returned by the word associator together with its words; null is ignored.
void wordAssociator_freeWordWeights(vector* pWords) noexcept;

// F.v<version>.<extension>: the network file ("net") and the word table ("tab") of the word
// associator F.
std::string wordAssociator_partFileName(const char* pFileName, int32_t pVersion, const char* pExtension);
// The whole header file, and the whole word table (word i belongs to neuron i).
void wordAssociator_writeHeader(orlStream* pStream, int32_t pVersion, int32_t pHeaderValue);
void wordAssociator_writeWordTable(orlStream* pStream, int32_t pNumberWords, const char* const* pWords);

// Raises the exception that stands for a non-zero network status; pLine is the line of the call.
void wordAssociator_checkNetworkStatus(int32_t pStatus, int32_t pLine);

// Loading steps; each stores what it creates in the record and returns it.
nciDefinitions* wordAssociator_createNciDefinitions(wordAssociator* pThis);
vector* wordAssociator_createWordVector(wordAssociator* pThis);
hash_t* wordAssociator_createLookupTable(wordAssociator* pThis);

// Steps of a computation on the computation's own state vectors.
void wordAssociator_setState(const wordAssociator* pThis, annState* pState, const vector* pStateVector);
void wordAssociator_setContext(const wordAssociator* pThis, annState* pState, const vector* pStateVector);
void wordAssociator_activateWord(const wordAssociator* pThis, annState* pState, const wordWeight* pWord,
                                 int32_t pContext);
vector* wordAssociator_getState(const wordAssociator* pThis, const annState* pState);
bool wordAssociator_stableStateReached(const wordAssociator* pThis, const annState* pState);
// The largest change of an activity in a stable state of a network of pNumberNeurons (> 0) neurons.
float wordAssociator_stabilityTolerance(int32_t pNumberNeurons);

namespace orl {
using WordAssociatorPtr = Owned<wordAssociator, wordAssociator_free>;
using WordWeightsPtr = Owned<vector, wordAssociator_freeWordWeights>;
}  // namespace orl
