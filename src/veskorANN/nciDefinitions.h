// The description registry of a network: the parameters and record types through which the
// network's parts are named, read and written, and the named instances (data blocks) of those
// types. Operations report the statuses of annStatus.h instead of raising.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orlBasics/orlMemory.h"

// Value types of parameters, also the tags of typed values in the network file.
inline constexpr int32_t kNciText = 0;
inline constexpr int32_t kNciInt8 = 1;
inline constexpr int32_t kNciInt16 = 2;
inline constexpr int32_t kNciInt32 = 3;
inline constexpr int32_t kNciFloat64 = 4;
inline constexpr int32_t kNciFloat32 = 5;

// Bytes of a text element, terminator included.
inline constexpr int32_t kNciTextSize = 256;

// Kinds of the names in the name index.
inline constexpr int32_t kNciNameParameter = 1;
inline constexpr int32_t kNciNameType = 2;
inline constexpr int32_t kNciNameInstance = 3;

// Kind of every registered type, and the type flag that keeps value reading from storing into it.
inline constexpr int32_t kNciKindRecord = 3;
inline constexpr int32_t kNciTypeFixed = 0x01;

// Registration records; an array of them ends with one whose name is empty.
struct nciParameterDescription {
  const char* name;
  int32_t valueType;
  int32_t elementCount;  // 0 means 1
  double lowerLimit;     // equal limits: no range check
  double upperLimit;
  int32_t fixed;  // value reading never stores into a fixed parameter
  const char* description;
};

struct nciTypeDescription {
  const char* name;
  int32_t kind;
  const char* firstParameter;  // empty: no parameters
  const char* lastParameter;   // empty: the first parameter alone
  int32_t flags;
  const char* description;
};

struct nciParameter {
  std::string name;
  int32_t valueType;
  int32_t elementCount;  // at least 1
  double lowerLimit;
  double upperLimit;
  bool fixed;
  std::string description;
};

struct nciType {
  std::string name;
  int32_t kind;
  int32_t firstParameter;  // index of the first parameter, or -1
  int32_t numberParameters;
  int32_t flags;
  std::string description;
  int32_t dataSize;
};

struct nciInstance {
  std::string name;
  int32_t type;
  std::vector<unsigned char> data;  // the type's data size
};

struct nciName {
  std::string name;
  int32_t kind;
  int32_t index;  // into the table of its kind
};

struct nciDefinitions {
  std::vector<nciParameter> parameters;
  std::vector<nciType> types;
  std::vector<nciInstance> instances;
  std::vector<nciName> names;  // sorted byte-wise, each name once
};

// The registry with every parameter and type the network model uses; null with a non-zero
// status when registering fails.
nciDefinitions* nciDefinitions_create(int32_t* pStatus);
void nciDefinitions_free(nciDefinitions* pThis) noexcept;
int32_t nciDefinitions_addParameters(const nciParameterDescription* pParameters, int32_t pNameKind,
                                     nciDefinitions* pThis);
int32_t nciDefinitions_addTypes(const nciTypeDescription* pTypes, nciDefinitions* pThis);
// Creates the instance when it does not exist (from pData when given, else zeroed) and copies
// pData into it; an existing instance of another type gives kAnnInvalid.
int32_t nciDefinitions_setInstance(const char* pInstanceName, const char* pTypeName, const void* pData,
                                   nciDefinitions* pThis);

// Lookups; null when the name is not registered with that kind.
const nciParameter* nciDefinitions_findParameter(const nciDefinitions* pThis, const char* pName);
const nciType* nciDefinitions_findType(const nciDefinitions* pThis, const char* pName);
const nciInstance* nciDefinitions_findInstance(const nciDefinitions* pThis, const char* pName);
nciInstance* nciDefinitions_findInstance(nciDefinitions* pThis, const char* pName);
// The parameters of a type, in order.
const nciParameter* nciDefinitions_typeParameter(const nciDefinitions* pThis, const nciType* pType,
                                                 int32_t pIndex);

// Bytes of one element of a value type (0 for a type outside 0 to 5).
int32_t nciDefinitions_elementSize(int32_t pValueType);

namespace orl {
using NciDefinitionsPtr = Owned<nciDefinitions, nciDefinitions_free>;
}
