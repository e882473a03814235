#include "veskorANN/nciDefinitions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/tempDir.h"
#include "veskorANN/annStatus.h"
#include "veskorANN/annValueBlock.h"

namespace {

using veskortest::readFileBytes;
using veskortest::TempDir;
using veskortest::writeFileBytes;

orl::NciDefinitionsPtr createRegistry() {
  int32_t status = 1;
  orl::NciDefinitionsPtr registry(nciDefinitions_create(&status));
  EXPECT_EQ(status, kAnnOk);
  return registry;
}

std::string int32Bytes(int32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}
std::string floatValue(float value) {
  return std::string(1, char{kNciFloat32}) + std::string(reinterpret_cast<const char*>(&value), 4);
}
std::string int32Value(int32_t value) {
  return std::string(1, char{kNciInt32}) + int32Bytes(value);
}
std::string textValue(const std::string& text) {
  return std::string(1, char{kNciText}) + std::string(1, static_cast<char>(text.size())) + text;
}

template <class T>
T field(const nciInstance* instance, std::size_t offset) {
  T value;
  std::memcpy(&value, instance->data.data() + offset, sizeof value);
  return value;
}

// Reads a value block from the bytes into the instance; returns the status and checks that the
// int32 marker written after the block is where it belongs.
int32_t readBlock(const TempDir& dir, nciDefinitions* registry, const std::string& block,
                  const char* instance, const char* type) {
  writeFileBytes(dir.file("block"), block + int32Bytes(0x5a5a5a5a));
  orl::StreamPtr in(stream_createFileInputStream(dir.file("block").c_str()));
  int32_t status = annValueBlock_read(in.get(), registry, instance, type);
  if (status == kAnnOk) {
    EXPECT_EQ(stream_readInt32(in.get()), 0x5a5a5a5a) << "block not read to its end";
  }
  return status;
}

TEST(NciDefinitions, RegistersTheModelVocabulary) {
  orl::NciDefinitionsPtr registry = createRegistry();
  ASSERT_EQ(registry->parameters.size(), 58u);
  EXPECT_EQ(registry->parameters.front().name, "nc_ur_exc");
  EXPECT_EQ(registry->parameters.back().name, "net_n_nt");
  EXPECT_EQ(registry->types.size(), 17u);

  const nciParameter* alpha = nciDefinitions_findParameter(registry.get(), "nc_alpha");
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->valueType, kNciFloat32);
  EXPECT_EQ(alpha->lowerLimit, 0.0);
  EXPECT_EQ(alpha->upperLimit, 1.0);
  EXPECT_EQ(alpha->description, "Konstante fuer Abklingterm bei Membranpotential");
  const nciParameter* length = nciDefinitions_findParameter(registry.get(), "l_len");
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length->elementCount, 3);
  EXPECT_TRUE(length->fixed);
  EXPECT_EQ(nciDefinitions_findParameter(registry.get(), "_LAYER"), nullptr);  // a type, not a parameter

  struct Expected {
    const char* name;
    int32_t parameters;
    int32_t dataSize;
    int32_t flags;
  };
  for (Expected e : {Expected{"_NTCCM", 8, 32, 0}, Expected{"_SVCCM", 3, 12, 0}, Expected{"_CONCCM", 2, 8, 0},
                     Expected{"VIEWALL", 0, 0, 0}, Expected{"DISTRALL", 1, 4, 0},
                     Expected{"DISTRNEIGHBOUR", 3, 16, 0}, Expected{"_PROJ", 7, 5 * 256 + 8, kNciTypeFixed},
                     Expected{"_LAYER", 12, 256 + 52, 0}, Expected{"_NETHDR", 4, 256 + 12, kNciTypeFixed}}) {
    const nciType* type = nciDefinitions_findType(registry.get(), e.name);
    ASSERT_NE(type, nullptr) << e.name;
    EXPECT_EQ(type->numberParameters, e.parameters) << e.name;
    EXPECT_EQ(type->dataSize, e.dataSize) << e.name;
    EXPECT_EQ(type->flags, e.flags) << e.name;
    EXPECT_EQ(type->kind, kNciKindRecord) << e.name;
  }
  // ccm_max_akt belongs to no type: _NTCCM ends before it.
  const nciType* ccm = nciDefinitions_findType(registry.get(), "_NTCCM");
  EXPECT_EQ(nciDefinitions_typeParameter(registry.get(), ccm, 7)->name, "nc_thr_ul");
  for (std::size_t i = 1; i < registry->names.size(); ++i) {
    EXPECT_LT(registry->names[i - 1].name, registry->names[i].name);
  }
}

TEST(NciDefinitions, ReportsRegistrationAndInstanceFailures) {
  orl::NciDefinitionsPtr registry = createRegistry();
  const nciParameterDescription badType[] = {{"fresh", 6, 0, 0, 0, 0, ""}, {"", 0, 0, 0, 0, 0, ""}};
  EXPECT_EQ(nciDefinitions_addParameters(badType, kNciNameParameter, registry.get()), kNciBadValueType);
  const nciParameterDescription taken[] = {{"sc_act", kNciInt32, 0, 0, 0, 0, ""}, {"", 0, 0, 0, 0, 0, ""}};
  EXPECT_EQ(nciDefinitions_addParameters(taken, kNciNameParameter, registry.get()), kNciNameTaken);
  const nciParameterDescription badName[] = {{"a-b", kNciInt32, 0, 0, 0, 0, ""}, {"", 0, 0, 0, 0, 0, ""}};
  EXPECT_EQ(nciDefinitions_addParameters(badName, kNciNameParameter, registry.get()), kAnnInvalid);
  const nciTypeDescription unknownParameter[] = {{"T1", kNciKindRecord, "nope", "", 0, ""},
                                                 {"", 0, "", "", 0, ""}};
  EXPECT_EQ(nciDefinitions_addTypes(unknownParameter, registry.get()), kNciUnknownParameter);
  const nciTypeDescription reversed[] = {{"T2", kNciKindRecord, "sc_mp_off", "sc_act", 0, ""},
                                         {"", 0, "", "", 0, ""}};
  EXPECT_EQ(nciDefinitions_addTypes(reversed, registry.get()), kNciUnknownParameter);

  EXPECT_EQ(nciDefinitions_setInstance("layer1", "NOTYPE", nullptr, registry.get()), kNciUnknownType);
  EXPECT_EQ(nciDefinitions_setInstance("_layer", "_LAYER", nullptr, registry.get()), kAnnInvalid);
  EXPECT_EQ(nciDefinitions_setInstance("sc_act", "_LAYER", nullptr, registry.get()), kNciNameTaken);
  const float values[3] = {0.5f, 1.5f, 2.5f};
  ASSERT_EQ(nciDefinitions_setInstance("state1", "_SVCCM", values, registry.get()), kAnnOk);
  EXPECT_EQ(nciDefinitions_setInstance("state1", "_LAYER", nullptr, registry.get()), kAnnInvalid);
  const float more[3] = {7.0f, 8.0f, 9.0f};
  EXPECT_EQ(nciDefinitions_setInstance("state1", "_SVCCM", more, registry.get()), kAnnOk);
  EXPECT_EQ(field<float>(nciDefinitions_findInstance(registry.get(), "state1"), 8), 9.0f);
}

TEST(AnnValueBlock, StoresMatchingValuesWithinLimitsAndReadsWholeBlocks) {
  TempDir dir;
  orl::NciDefinitionsPtr registry = createRegistry();
  // _NTCCM: nc_alpha (index 5) is limited to 0..1, the others to +-1e30.
  std::string block = int32Bytes(9) + floatValue(1.0f) + floatValue(-1.0f) + floatValue(3e30f) +
                      floatValue(0.25f) + floatValue(1.0f) + floatValue(1.5f) + floatValue(0.0f) +
                      floatValue(1.0f) + floatValue(42.0f);  // left over: read and dropped
  ASSERT_EQ(readBlock(dir, registry.get(), block, "type1", "_NTCCM"), kAnnOk);
  const nciInstance* type1 = nciDefinitions_findInstance(registry.get(), "type1");
  EXPECT_EQ(field<float>(type1, 0), 1.0f);
  EXPECT_EQ(field<float>(type1, 4), -1.0f);
  EXPECT_EQ(field<float>(type1, 8), 0.0f);  // 3e30 is beyond the limit
  EXPECT_EQ(field<float>(type1, 12), 0.25f);
  EXPECT_EQ(field<float>(type1, 20), 0.0f);  // 1.5 is beyond nc_alpha's limit
  EXPECT_EQ(field<float>(type1, 28), 1.0f);

  // A tag that differs from the parameter's type ends the matching; the rest is still consumed.
  block = int32Bytes(3) + floatValue(2.0f) + int32Value(7) + floatValue(3.0f);
  ASSERT_EQ(readBlock(dir, registry.get(), block, "type2", "_NTCCM"), kAnnOk);
  const nciInstance* type2 = nciDefinitions_findInstance(registry.get(), "type2");
  EXPECT_EQ(field<float>(type2, 0), 2.0f);
  EXPECT_EQ(field<float>(type2, 4), 0.0f);
  EXPECT_EQ(field<float>(type2, 8), 0.0f);

  // _LAYER: l_nt (text), l_dim (fixed), l_n_neu (fixed), l_nt_id (int32 >= 0).
  block = int32Bytes(4) + textValue(std::string(255, 'n')) + int32Value(2) + int32Value(9) + int32Value(-4);
  ASSERT_EQ(readBlock(dir, registry.get(), block, "layer1", "_LAYER"), kAnnOk);
  const nciInstance* layer = nciDefinitions_findInstance(registry.get(), "layer1");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(layer->data.data())), std::string(255, 'n'));
  EXPECT_EQ(field<int32_t>(layer, 256), 0);
  EXPECT_EQ(field<int32_t>(layer, 260), 0);
  EXPECT_EQ(field<int32_t>(layer, 264), 0);  // -4 is below the limit 0
  block = int32Bytes(4) + textValue("x") + int32Value(2) + int32Value(9) + int32Value(3);
  ASSERT_EQ(readBlock(dir, registry.get(), block, "layer1", "_LAYER"), kAnnOk);
  EXPECT_EQ(field<int32_t>(layer, 264), 3);

  // A fixed type takes no values at all.
  block = int32Bytes(2) + textValue("net") + int32Value(4);
  ASSERT_EQ(readBlock(dir, registry.get(), block, "hdr", "_NETHDR"), kAnnOk);
  EXPECT_EQ(field<int32_t>(nciDefinitions_findInstance(registry.get(), "hdr"), 256), 0);
}

TEST(AnnValueBlock, RefusesBlocksItCannotRead) {
  TempDir dir;
  orl::NciDefinitionsPtr registry = createRegistry();
  EXPECT_EQ(
      readBlock(dir, registry.get(), int32Bytes(1) + std::string(1, '\x09') + int32Bytes(0), "v1", "VIEWSGL"),
      kNciBadValueType);
  EXPECT_EQ(readBlock(dir, registry.get(), int32Bytes(-1), "v2", "VIEWSGL"), kAnnReadError);
  EXPECT_EQ(readBlock(dir, registry.get(), int32Bytes(1000000), "v3", "VIEWSGL"), kAnnReadError);
  EXPECT_EQ(readBlock(dir, registry.get(), int32Bytes(0), "v4", "NOTYPE"), kNciUnknownType);
}

TEST(AnnValueBlock, WritesEveryElementTaggedWithItsType) {
  TempDir dir;
  orl::NciDefinitionsPtr registry = createRegistry();
  const nciType* neighbour = nciDefinitions_findType(registry.get(), "DISTRNEIGHBOUR");
  unsigned char data[16];
  int32_t length = 3;
  int32_t dimension = 2;
  double strength = -0.5;
  std::memcpy(data, &length, 4);
  std::memcpy(data + 4, &dimension, 4);
  std::memcpy(data + 8, &strength, 8);
  {
    orl::StreamPtr out(stream_createAtomicFileOutputStream(dir.file("w").c_str()));
    annValueBlock_write(out.get(), registry.get(), neighbour, data);
    stream_commit(out.get());
  }
  std::string expected = int32Bytes(3) + int32Value(3) + int32Value(2) + std::string(1, char{kNciFloat64}) +
                         std::string(reinterpret_cast<const char*>(&strength), 8);
  ASSERT_EQ(readFileBytes(dir.file("w")), expected);
  ASSERT_EQ(readBlock(dir, registry.get(), expected, "n1", "DISTRNEIGHBOUR"), kAnnOk);
  EXPECT_EQ(std::memcmp(nciDefinitions_findInstance(registry.get(), "n1")->data.data(), data, 16), 0);
}

}  // namespace
