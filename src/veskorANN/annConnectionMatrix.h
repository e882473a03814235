// The connection matrix: every synapse of a network, one row per postsynaptic neuron in the
// network's global numbering. A row groups its incoming connections into connection sets, one per
// synapse type; the update walks a neuron's row set by set. Check failures raise group 15 code 1;
// a matrix file whose counts or neuron indices cannot be right raises a read error (group 5000,
// code 4), as a truncated one does.
#pragma once

#include <cstdint>

#include "orlBasics/orlIO.h"
#include "orlBasics/segmentedVector.h"
#include "orlBasics/vector.h"
#include "orlBasics/orlIO.h"

// Synapse-type bits of a connection set. The kind decides which accumulator the set feeds; the
// input bits decide how its input is formed.
inline constexpr int32_t kAnnSynapseInhibitory = 0x01;
inline constexpr int32_t kAnnSynapseExcitatory = 0x02;
inline constexpr int32_t kAnnSynapseShunting = 0x04;
inline constexpr int32_t kAnnSynapseMultiplicative = 0x08;
inline constexpr int32_t kAnnInputSquared = 0x10;     // w * a * a
inline constexpr int32_t kAnnInputComplement = 0x80;  // (1 - a) * w

struct annConnection {
  int32_t neuron;  // presynaptic neuron, global numbering
  float weight;
};

struct annConnectionSet {
  int32_t type;  // synapse-type bits; -1 after clean-up
  int32_t numberConnections;
  int32_t bufferLength;
  annConnection* connections;  // bufferLength entries, owned
};

// A vector of connection sets stored by value; the row owns what its sets own.
struct annConnectionMatrixRow {
  vector sets;
};

// Rows stored by value in a segmented vector, so that a row never moves once appended.
struct annConnectionMatrix {
  segmentedVector* rows;
};

annConnectionMatrix* annConnectionMatrix_create(int32_t pNumberRows);
void annConnectionMatrix_free(annConnectionMatrix* pThis) noexcept;
int32_t annConnectionMatrix_getNumberRows(const annConnectionMatrix* pThis);
annConnectionMatrixRow* annConnectionMatrix_getRow(const annConnectionMatrix* pThis, int32_t pIndex);
// Appends the row as the next neuron's row and takes over what it owns (pRow is left empty).
void annConnectionMatrix_appendRow(annConnectionMatrix* pThis, annConnectionMatrixRow* pRow);
void annConnectionMatrix_save(const annConnectionMatrix* pThis, orlStream* pOutputStream);
annConnectionMatrix* annConnectionMatrix_createFromFile(orlStream* pInputStream);

int32_t annConnectionMatrixRow_getNumberConnectionSets(const annConnectionMatrixRow* pThis);
annConnectionSet* annConnectionMatrixRow_getConnectionSet(const annConnectionMatrixRow* pThis,
                                                          int32_t pIndex);
void annConnectionMatrixRow_init(annConnectionMatrixRow* pThis);
void annConnectionMatrixRow_cleanup(annConnectionMatrixRow* pThis);
// Appends the set and takes over its connections (pSet is left empty).
void annConnectionMatrixRow_appendConnectionSet(annConnectionMatrixRow* pThis, annConnectionSet* pSet);
void annConnectionMatrixRow_save(const annConnectionMatrixRow* pThis, orlStream* pOutputStream);
void annConnectionMatrixRow_load(annConnectionMatrixRow* pThis, orlStream* pInputStream);

void annConnectionSet_init(annConnectionSet* pThis, int32_t pType, int32_t pBufferLength);
void annConnectionSet_cleanup(annConnectionSet* pThis);
void annConnectionSet_addConnection(annConnectionSet* pThis, int32_t pNeuron, float pWeight);
void annConnectionSet_save(const annConnectionSet* pThis, orlStream* pOutputStream);
void annConnectionSet_load(annConnectionSet* pThis, orlStream* pInputStream);

namespace orl {
using AnnConnectionMatrixPtr = Owned<annConnectionMatrix, annConnectionMatrix_free>;
}
