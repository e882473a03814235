#include "veskorANN/annConnectionMatrix.h"

#include <climits>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/scopeGuard.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::connectionMatrix;
constexpr int32_t kReadGroup = orl::errorGroup::stream;
constexpr int32_t kReadErrorCode = 4;
constexpr int32_t kRowStep = 52428;
constexpr int32_t kSetStep = 10;

// Bytes a matrix element needs at least on file: used to refuse counts the file cannot hold
// before anything is allocated for them.
constexpr int64_t kRowBytes = 4;         // set count
constexpr int64_t kSetBytes = 8;         // type, number of connections
constexpr int64_t kConnectionBytes = 8;  // neuron, weight

// Reads a count and refuses it when it is negative or the rest of the file cannot hold that many
// elements of the given minimum size.
int32_t readCount(orlStream* in, int64_t bytesPerElement, const char* operation) {
  int32_t count = stream_readInt32(in);
  if (count < 0 || count * bytesPerElement > stream_remainingBytes(in)) {
    ORL_RAISE(kReadGroup, kReadErrorCode, "Lesefehler in ", operation, ": ung\xFCltige Anzahl ", count);
  }
  return count;
}

// Growth factor of a connection array by its current length.
double growthFactor(int32_t length) {
  static constexpr struct {
    int64_t limit;
    double factor;
  } kSteps[] = {{30, 4.0},      {100, 2.0},    {300, 1.5},       {1000, 1.25},
                {10000, 1.125}, {100000, 1.1}, {INT32_MAX, 1.05}};
  for (const auto& step : kSteps) {
    if (length < step.limit) return step.factor;
  }
  return 1.05;
}

int32_t grownLength(int32_t length) {
  if (length == INT32_MAX)
    ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in annConnectionSet_addConnection");
  double wanted = static_cast<double>(length) * growthFactor(length);
  int64_t grown = wanted >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int64_t>(wanted);
  if (grown <= length) grown = int64_t{length} + 1;
  return static_cast<int32_t>(grown);
}

void checkPresynapticNeurons(const annConnectionMatrixRow* row, int32_t numberNeurons) {
  int32_t sets = annConnectionMatrixRow_getNumberConnectionSets(row);
  for (int32_t s = 0; s < sets; ++s) {
    const annConnectionSet* set = annConnectionMatrixRow_getConnectionSet(row, s);
    for (int32_t c = 0; c < set->numberConnections; ++c) {
      int32_t neuron = set->connections[c].neuron;
      if (neuron < 0 || neuron >= numberNeurons) {
        ORL_RAISE(kReadGroup, kReadErrorCode,
                  "Lesefehler in annConnectionMatrix_createFromFile(): ung\xFCltiges Neuron ", neuron);
      }
    }
  }
}

}  // namespace

annConnectionMatrix* annConnectionMatrix_create(int32_t pNumberRows) {
  if (pNumberRows < 0) ORL_RAISE(kGroup, 1, "pNumberRows < 0 annConnectionMatrix_create()");
  orl::AnnConnectionMatrixPtr matrix(new annConnectionMatrix{nullptr});
  matrix->rows = segmentedVector_create(sizeof(annConnectionMatrixRow), pNumberRows, kRowStep);
  return matrix.release();
}

void annConnectionMatrix_free(annConnectionMatrix* pThis) noexcept {
  if (pThis == nullptr) return;
  if (pThis->rows != nullptr) {
    int32_t rows = segmentedVector_getNumberElements(pThis->rows);
    for (int32_t i = 0; i < rows; ++i) annConnectionMatrixRow_cleanup(annConnectionMatrix_getRow(pThis, i));
    segmentedVector_free(pThis->rows);
  }
  delete pThis;
}

int32_t annConnectionMatrix_getNumberRows(const annConnectionMatrix* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionMatrix_getNumberRows()");
  return segmentedVector_getNumberElements(pThis->rows);
}

annConnectionMatrixRow* annConnectionMatrix_getRow(const annConnectionMatrix* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionMatrix_getRow()");
  return static_cast<annConnectionMatrixRow*>(segmentedVector_getElement(pThis->rows, pIndex));
}

void annConnectionMatrix_appendRow(annConnectionMatrix* pThis, annConnectionMatrixRow* pRow) {
  if (pThis == nullptr || pRow == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pRow == NULL in annConnectionMatrix_appendRow()");
  segmentedVector_appendElement(pThis->rows, pRow);
  annConnectionMatrixRow_init(pRow);
}

void annConnectionMatrix_save(const annConnectionMatrix* pThis, orlStream* pOutputStream) {
  if (pThis == nullptr || pOutputStream == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pOutputStream == NULL in annConnectionMatrix_save()");
  }
  int32_t rows = annConnectionMatrix_getNumberRows(pThis);
  stream_writeInt32(pOutputStream, rows);
  for (int32_t i = 0; i < rows; ++i)
    annConnectionMatrixRow_save(annConnectionMatrix_getRow(pThis, i), pOutputStream);
}

annConnectionMatrix* annConnectionMatrix_createFromFile(orlStream* pInputStream) {
  if (pInputStream == nullptr)
    ORL_RAISE(kGroup, 1, "pInputStream == NULL in annConnectionMatrix_createFromFile()");
  int32_t rows = readCount(pInputStream, kRowBytes, "annConnectionMatrix_createFromFile()");
  orl::AnnConnectionMatrixPtr matrix(annConnectionMatrix_create(rows));
  for (int32_t i = 0; i < rows; ++i) {
    annConnectionMatrixRow row;
    annConnectionMatrixRow_init(&row);
    orl::ScopeGuard cleanRow([&] { annConnectionMatrixRow_cleanup(&row); });
    annConnectionMatrixRow_load(&row, pInputStream);
    // The update reads the activities of presynaptic neurons: an index outside the network would
    // read outside the state vectors.
    checkPresynapticNeurons(&row, rows);
    annConnectionMatrix_appendRow(matrix.get(), &row);
  }
  return matrix.release();
}

int32_t annConnectionMatrixRow_getNumberConnectionSets(const annConnectionMatrixRow* pThis) {
  if (pThis == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionMatrixRow_getNumberConnectionSets()");
  return pThis->sets.numberElements;
}

annConnectionSet* annConnectionMatrixRow_getConnectionSet(const annConnectionMatrixRow* pThis,
                                                          int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionMatrixRow_getConnectionSet()");
  return static_cast<annConnectionSet*>(vector_getElement(&pThis->sets, pIndex));
}

void annConnectionMatrixRow_init(annConnectionMatrixRow* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionMatrixRow_init()");
  pThis->sets = vector{static_cast<int32_t>(sizeof(annConnectionSet)), 0, 0, kSetStep, nullptr};
}

void annConnectionMatrixRow_cleanup(annConnectionMatrixRow* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionMatrixRow_cleanup()");
  for (int32_t s = 0; s < pThis->sets.numberElements; ++s) {
    annConnectionSet_cleanup(annConnectionMatrixRow_getConnectionSet(pThis, s));
  }
  orlFree(pThis->sets.buffer);
  pThis->sets.buffer = nullptr;
  pThis->sets.numberElements = 0;
  pThis->sets.bufferLength = 0;
}

void annConnectionMatrixRow_appendConnectionSet(annConnectionMatrixRow* pThis, annConnectionSet* pSet) {
  if (pThis == nullptr || pSet == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pSet == NULL in annConnectionMatrixRow_appendConnectionSet()");
  }
  vector_appendElement(&pThis->sets, pSet);
  *pSet = annConnectionSet{pSet->type, 0, 0, nullptr};
}

void annConnectionMatrixRow_save(const annConnectionMatrixRow* pThis, orlStream* pOutputStream) {
  if (pThis == nullptr || pOutputStream == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pOutputStream == NULL in annConnectionMatrixRow_save()");
  }
  int32_t sets = annConnectionMatrixRow_getNumberConnectionSets(pThis);
  stream_writeInt32(pOutputStream, sets);
  for (int32_t s = 0; s < sets; ++s)
    annConnectionSet_save(annConnectionMatrixRow_getConnectionSet(pThis, s), pOutputStream);
}

void annConnectionMatrixRow_load(annConnectionMatrixRow* pThis, orlStream* pInputStream) {
  if (pThis == nullptr || pInputStream == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pInputStream == NULL in annConnectionMatrixRow_load()");
  }
  annConnectionMatrixRow_init(pThis);
  orl::ScopeGuard cleanRow([&] { annConnectionMatrixRow_cleanup(pThis); });
  int32_t sets = readCount(pInputStream, kSetBytes, "annConnectionMatrixRow_load()");
  for (int32_t s = 0; s < sets; ++s) {
    annConnectionSet set{-1, 0, 0, nullptr};
    orl::ScopeGuard cleanSet([&] { annConnectionSet_cleanup(&set); });
    annConnectionSet_load(&set, pInputStream);
    annConnectionMatrixRow_appendConnectionSet(pThis, &set);
  }
  cleanRow.dismiss();
}

void annConnectionSet_init(annConnectionSet* pThis, int32_t pType, int32_t pBufferLength) {
  if (pThis == nullptr || pBufferLength < 0) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pBufferLength < 0 in annConnectionSet_init()");
  }
  pThis->connections = nullptr;
  if (pBufferLength > 0) {
    pThis->connections = static_cast<annConnection*>(
        orlMalloc(sizeof(annConnection) * static_cast<std::size_t>(pBufferLength)));
  }
  pThis->type = pType;
  pThis->numberConnections = 0;
  pThis->bufferLength = pBufferLength;
}

void annConnectionSet_cleanup(annConnectionSet* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionSet_cleanup()");
  orlFree(pThis->connections);
  *pThis = annConnectionSet{-1, 0, 0, nullptr};
}

void annConnectionSet_addConnection(annConnectionSet* pThis, int32_t pNeuron, float pWeight) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annConnectionSet_addConnection()");
  // Grows while one free place is left, so a set always keeps a free place after an addition.
  if (int64_t{pThis->bufferLength} <= int64_t{pThis->numberConnections} + 1) {
    int32_t length = grownLength(pThis->bufferLength);
    pThis->connections = static_cast<annConnection*>(
        orlRealloc(pThis->connections, sizeof(annConnection) * static_cast<std::size_t>(length)));
    pThis->bufferLength = length;
  }
  pThis->connections[pThis->numberConnections] = annConnection{pNeuron, pWeight};
  ++pThis->numberConnections;
}

void annConnectionSet_save(const annConnectionSet* pThis, orlStream* pOutputStream) {
  if (pThis == nullptr || pOutputStream == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pOutputStream == NULL in annConnectionSet_save()");
  }
  stream_writeInt32(pOutputStream, pThis->type);
  stream_writeInt32(pOutputStream, pThis->numberConnections);
  for (int32_t c = 0; c < pThis->numberConnections; ++c) {
    stream_writeInt32(pOutputStream, pThis->connections[c].neuron);
    stream_writeFloat32(pOutputStream, pThis->connections[c].weight);
  }
}

void annConnectionSet_load(annConnectionSet* pThis, orlStream* pInputStream) {
  if (pThis == nullptr || pInputStream == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pInputStream == NULL in annConnectionSet_load()");
  }
  int32_t type = stream_readInt32(pInputStream);
  int32_t count = readCount(pInputStream, kConnectionBytes, "annConnectionSet_load()");
  annConnectionSet_init(pThis, type, count);
  orl::ScopeGuard cleanSet([&] { annConnectionSet_cleanup(pThis); });
  for (int32_t c = 0; c < count; ++c) {
    int32_t neuron = stream_readInt32(pInputStream);
    float weight = stream_readFloat32(pInputStream);
    annConnectionSet_addConnection(pThis, neuron, weight);
  }
  cleanSet.dismiss();
}
