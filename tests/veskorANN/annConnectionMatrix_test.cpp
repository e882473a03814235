#include "veskorANN/annConnectionMatrix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/tempDir.h"

namespace {

using veskortest::readFileBytes;
using veskortest::TempDir;
using veskortest::writeFileBytes;

std::string int32Bytes(int32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}
std::string floatBytes(float value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}

void saveMatrix(const annConnectionMatrix* matrix, const std::string& fileName) {
  orl::StreamPtr out(stream_createAtomicFileOutputStream(fileName.c_str()));
  annConnectionMatrix_save(matrix, out.get());
  stream_commit(out.get());
}

annConnectionMatrix* loadMatrix(const std::string& fileName) {
  orl::StreamPtr in(stream_createFileInputStream(fileName.c_str()));
  return annConnectionMatrix_createFromFile(in.get());
}

// Expects a read error (group 5000, code 4) when loading the bytes.
void expectReadError(const TempDir& dir, const std::string& bytes) {
  writeFileBytes(dir.file("m"), bytes);
  try {
    orl::AnnConnectionMatrixPtr matrix(loadMatrix(dir.file("m")));
    FAIL() << "loaded";
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 5000);
    EXPECT_EQ(e.code(), 4) << e.message();
  }
}

TEST(AnnConnectionSet, GrowsByTheTableFactors) {
  annConnectionSet set;
  annConnectionSet_init(&set, kAnnSynapseExcitatory, 0);
  std::vector<int32_t> lengths;
  for (int32_t i = 0; i < 70; ++i) {
    int32_t before = set.bufferLength;
    annConnectionSet_addConnection(&set, i, static_cast<float>(i) / 2);
    if (set.bufferLength != before) lengths.push_back(set.bufferLength);
    EXPECT_GE(set.bufferLength, set.numberConnections);
  }
  EXPECT_EQ(lengths, (std::vector<int32_t>{1, 4, 16, 64, 128}));
  EXPECT_EQ(set.numberConnections, 70);
  EXPECT_EQ(set.connections[69].neuron, 69);
  EXPECT_FLOAT_EQ(set.connections[69].weight, 34.5f);
  annConnectionSet_cleanup(&set);
  EXPECT_EQ(set.type, -1);
  EXPECT_EQ(set.connections, nullptr);
}

TEST(AnnConnectionMatrix, RefusesInvalidArguments) {
  try {
    annConnectionMatrix_create(-1);
    FAIL();
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 15);
    EXPECT_EQ(e.code(), 1);
    EXPECT_EQ(e.message().rfind("pNumberRows < 0 annConnectionMatrix_create()\nin file \"veskorANN/", 0), 0u)
        << e.message();
  }
  EXPECT_THROW(annConnectionMatrix_getNumberRows(nullptr), orl::Exception);
  annConnectionSet set;
  EXPECT_THROW(annConnectionSet_init(&set, 2, -1), orl::Exception);
  annConnectionMatrix_free(nullptr);
}

TEST(AnnConnectionMatrix, WritesTheDocumentedLayoutAndReadsItBack) {
  TempDir dir;
  orl::AnnConnectionMatrixPtr empty(annConnectionMatrix_create(0));
  saveMatrix(empty.get(), dir.file("empty"));
  EXPECT_EQ(readFileBytes(dir.file("empty")), int32Bytes(0));
  orl::AnnConnectionMatrixPtr emptyBack(loadMatrix(dir.file("empty")));
  EXPECT_EQ(annConnectionMatrix_getNumberRows(emptyBack.get()), 0);

  // Row 0: no sets; row 1: an excitatory set of two connections and an empty inhibitory set.
  orl::AnnConnectionMatrixPtr matrix(annConnectionMatrix_create(2));
  annConnectionMatrixRow row;
  annConnectionMatrixRow_init(&row);
  annConnectionMatrix_appendRow(matrix.get(), &row);
  annConnectionSet set;
  annConnectionSet_init(&set, kAnnSynapseExcitatory, 0);
  annConnectionSet_addConnection(&set, 0, 0.5f);
  annConnectionSet_addConnection(&set, 1, -2.0f);
  annConnectionMatrixRow_appendConnectionSet(&row, &set);
  annConnectionSet_init(&set, kAnnSynapseInhibitory, 0);
  annConnectionMatrixRow_appendConnectionSet(&row, &set);
  annConnectionMatrix_appendRow(matrix.get(), &row);
  saveMatrix(matrix.get(), dir.file("m"));
  std::string expected = int32Bytes(2) + int32Bytes(0) + int32Bytes(2) + int32Bytes(2) + int32Bytes(2) +
                         int32Bytes(0) + floatBytes(0.5f) + int32Bytes(1) + floatBytes(-2.0f) +
                         int32Bytes(1) + int32Bytes(0);
  EXPECT_EQ(readFileBytes(dir.file("m")), expected);

  orl::AnnConnectionMatrixPtr back(loadMatrix(dir.file("m")));
  ASSERT_EQ(annConnectionMatrix_getNumberRows(back.get()), 2);
  EXPECT_EQ(annConnectionMatrixRow_getNumberConnectionSets(annConnectionMatrix_getRow(back.get(), 0)), 0);
  const annConnectionMatrixRow* second = annConnectionMatrix_getRow(back.get(), 1);
  ASSERT_EQ(annConnectionMatrixRow_getNumberConnectionSets(second), 2);
  const annConnectionSet* excitatory = annConnectionMatrixRow_getConnectionSet(second, 0);
  EXPECT_EQ(excitatory->type, kAnnSynapseExcitatory);
  ASSERT_EQ(excitatory->numberConnections, 2);
  EXPECT_EQ(excitatory->bufferLength, 8);  // loaded with room for 2, grown once (x4) on the last one
  EXPECT_EQ(excitatory->connections[1].neuron, 1);
  EXPECT_EQ(excitatory->connections[1].weight, -2.0f);
  const annConnectionSet* inhibitory = annConnectionMatrixRow_getConnectionSet(second, 1);
  EXPECT_EQ(inhibitory->numberConnections, 0);
  EXPECT_EQ(inhibitory->connections, nullptr);
  saveMatrix(back.get(), dir.file("again"));
  EXPECT_EQ(readFileBytes(dir.file("again")), expected);
}

TEST(AnnConnectionMatrix, RefusesTruncatedAndHostileFilesWithoutLeaking) {
  TempDir dir;
  std::string set =
      int32Bytes(2) + int32Bytes(2) + int32Bytes(0) + floatBytes(1.0f) + int32Bytes(1) + floatBytes(1.0f);
  std::string good = int32Bytes(2) + int32Bytes(1) + set + int32Bytes(0);
  writeFileBytes(dir.file("good"), good);
  orl::AnnConnectionMatrixPtr loaded(loadMatrix(dir.file("good")));
  EXPECT_EQ(annConnectionMatrix_getNumberRows(loaded.get()), 2);

  // Cut inside the set's second connection: the partial matrix is freed (the sanitizer run checks).
  expectReadError(dir, good.substr(0, 4 + 4 + 8 + 8 + 2));
  expectReadError(dir, int32Bytes(-1));
  expectReadError(dir, int32Bytes(1 << 30));             // rows the file cannot hold
  expectReadError(dir, int32Bytes(1) + int32Bytes(-3));  // negative set count
  expectReadError(dir,
                  int32Bytes(1) + int32Bytes(1) + int32Bytes(2) + int32Bytes(0x7fffffff));  // connections
  // A presynaptic neuron outside the matrix would be read outside the state vectors.
  expectReadError(
      dir, int32Bytes(1) + int32Bytes(1) + int32Bytes(2) + int32Bytes(1) + int32Bytes(1) + floatBytes(1.0f));
  expectReadError(
      dir, int32Bytes(1) + int32Bytes(1) + int32Bytes(2) + int32Bytes(1) + int32Bytes(-1) + floatBytes(1.0f));
}

}  // namespace
