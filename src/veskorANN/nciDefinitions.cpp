#include "veskorANN/nciDefinitions.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "veskorANN/annStatus.h"

namespace {

bool isAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool restIsValid(const char* name) {
  for (const char* c = name + 1; *c != 0; ++c) {
    if (!isAsciiLetterOrDigit(*c) && *c != '_') return false;
  }
  return true;
}

// Parameter and type names.
bool isValidDefinitionName(const char* name) {
  if (name == nullptr || name[0] == 0) return false;
  char c = name[0];
  bool first = isAsciiLetterOrDigit(c) || c == '_' || c == '@' || c == '{' || c == '<' || c == '[';
  return first && restIsValid(name);
}

bool isValidInstanceName(const char* name) {
  if (name == nullptr || name[0] == 0) return false;
  char c = name[0];
  bool first = isAsciiLetterOrDigit(c) || c == '@' || c == '{';
  return first && restIsValid(name);
}

bool isEmpty(const char* text) {
  return text == nullptr || text[0] == 0;
}

std::vector<nciName>::const_iterator lowerBound(const nciDefinitions* registry, const char* name) {
  return std::lower_bound(
      registry->names.begin(), registry->names.end(), name,
      [](const nciName& entry, const char* key) { return std::strcmp(entry.name.c_str(), key) < 0; });
}

const nciName* findName(const nciDefinitions* registry, const char* name) {
  if (name == nullptr) return nullptr;
  auto it = lowerBound(registry, name);
  if (it == registry->names.end() || it->name != name) return nullptr;
  return &*it;
}

void insertName(nciDefinitions* registry, const char* name, int32_t kind, int32_t index) {
  auto at = lowerBound(registry, name);
  registry->names.insert(registry->names.begin() + (at - registry->names.cbegin()),
                         nciName{name, kind, index});
}

int32_t findIndex(const nciDefinitions* registry, const char* name, int32_t kind) {
  const nciName* entry = findName(registry, name);
  return entry != nullptr && entry->kind == kind ? entry->index : -1;
}

int32_t addParameter(const nciParameterDescription& d, int32_t nameKind, nciDefinitions* registry) {
  if (!isValidDefinitionName(d.name) || d.elementCount < 0) return kAnnInvalid;
  if (d.valueType < kNciText || d.valueType > kNciFloat32) return kNciBadValueType;
  if (findName(registry, d.name) != nullptr) return kNciNameTaken;
  int32_t index = static_cast<int32_t>(registry->parameters.size());
  registry->parameters.push_back(nciParameter{d.name, d.valueType, d.elementCount == 0 ? 1 : d.elementCount,
                                              d.lowerLimit, d.upperLimit, d.fixed != 0,
                                              d.description != nullptr ? d.description : ""});
  insertName(registry, d.name, nameKind, index);
  return kAnnOk;
}

int32_t addType(const nciTypeDescription& d, nciDefinitions* registry) {
  if (!isValidDefinitionName(d.name)) return kAnnInvalid;
  if (findName(registry, d.name) != nullptr) return kNciNameTaken;
  int32_t first = -1;
  int32_t count = 0;
  if (!isEmpty(d.firstParameter)) {
    first = findIndex(registry, d.firstParameter, kNciNameParameter);
    int32_t last = isEmpty(d.lastParameter) ? first : findIndex(registry, d.lastParameter, kNciNameParameter);
    if (first < 0 || last < first) return kNciUnknownParameter;
    count = last - first + 1;
  }
  int32_t dataSize = 0;
  for (int32_t i = 0; i < count; ++i) {
    const nciParameter& p = registry->parameters[static_cast<std::size_t>(first + i)];
    dataSize += nciDefinitions_elementSize(p.valueType) * p.elementCount;
  }
  int32_t index = static_cast<int32_t>(registry->types.size());
  registry->types.push_back(nciType{d.name, d.kind, first, count, d.flags,
                                    d.description != nullptr ? d.description : "", dataSize});
  insertName(registry, d.name, kNciNameType, index);
  return kAnnOk;
}

}  // namespace

void nciDefinitions_free(nciDefinitions* pThis) noexcept {
  delete pThis;
}

int32_t nciDefinitions_addParameters(const nciParameterDescription* pParameters, int32_t pNameKind,
                                     nciDefinitions* pThis) {
  if (pParameters == nullptr || pThis == nullptr) return kAnnInvalid;
  try {
    for (const nciParameterDescription* d = pParameters; !isEmpty(d->name); ++d) {
      int32_t status = addParameter(*d, pNameKind, pThis);
      if (status != kAnnOk) return status;
    }
  } catch (const std::bad_alloc&) {
    return kNciOutOfMemory;
  }
  return kAnnOk;
}

int32_t nciDefinitions_addTypes(const nciTypeDescription* pTypes, nciDefinitions* pThis) {
  if (pTypes == nullptr || pThis == nullptr) return kAnnInvalid;
  try {
    for (const nciTypeDescription* d = pTypes; !isEmpty(d->name); ++d) {
      int32_t status = addType(*d, pThis);
      if (status != kAnnOk) return status;
    }
  } catch (const std::bad_alloc&) {
    return kNciOutOfMemory;
  }
  return kAnnOk;
}

int32_t nciDefinitions_setInstance(const char* pInstanceName, const char* pTypeName, const void* pData,
                                   nciDefinitions* pThis) {
  if (pThis == nullptr || !isValidInstanceName(pInstanceName)) return kAnnInvalid;
  int32_t type = findIndex(pThis, pTypeName, kNciNameType);
  if (type < 0) return kNciUnknownType;
  std::size_t size = static_cast<std::size_t>(pThis->types[static_cast<std::size_t>(type)].dataSize);
  try {
    const nciName* existing = findName(pThis, pInstanceName);
    if (existing != nullptr) {
      if (existing->kind != kNciNameInstance) return kNciNameTaken;
      nciInstance& instance = pThis->instances[static_cast<std::size_t>(existing->index)];
      if (instance.type != type) return kAnnInvalid;
      if (pData != nullptr && size > 0) std::memcpy(instance.data.data(), pData, size);
      return kAnnOk;
    }
    nciInstance instance{pInstanceName, type, std::vector<unsigned char>(size, 0)};
    if (pData != nullptr && size > 0) std::memcpy(instance.data.data(), pData, size);
    int32_t index = static_cast<int32_t>(pThis->instances.size());
    pThis->instances.push_back(std::move(instance));
    try {
      insertName(pThis, pInstanceName, kNciNameInstance, index);
    } catch (const std::bad_alloc&) {
      pThis->instances.pop_back();
      throw;
    }
  } catch (const std::bad_alloc&) {
    return kNciOutOfMemory;
  }
  return kAnnOk;
}

const nciParameter* nciDefinitions_findParameter(const nciDefinitions* pThis, const char* pName) {
  int32_t index = pThis != nullptr ? findIndex(pThis, pName, kNciNameParameter) : -1;
  return index >= 0 ? &pThis->parameters[static_cast<std::size_t>(index)] : nullptr;
}

const nciType* nciDefinitions_findType(const nciDefinitions* pThis, const char* pName) {
  int32_t index = pThis != nullptr ? findIndex(pThis, pName, kNciNameType) : -1;
  return index >= 0 ? &pThis->types[static_cast<std::size_t>(index)] : nullptr;
}

const nciInstance* nciDefinitions_findInstance(const nciDefinitions* pThis, const char* pName) {
  int32_t index = pThis != nullptr ? findIndex(pThis, pName, kNciNameInstance) : -1;
  return index >= 0 ? &pThis->instances[static_cast<std::size_t>(index)] : nullptr;
}

nciInstance* nciDefinitions_findInstance(nciDefinitions* pThis, const char* pName) {
  return const_cast<nciInstance*>(
      nciDefinitions_findInstance(static_cast<const nciDefinitions*>(pThis), pName));
}

const nciParameter* nciDefinitions_typeParameter(const nciDefinitions* pThis, const nciType* pType,
                                                 int32_t pIndex) {
  if (pThis == nullptr || pType == nullptr || pIndex < 0 || pIndex >= pType->numberParameters) return nullptr;
  return &pThis->parameters[static_cast<std::size_t>(pType->firstParameter + pIndex)];
}

int32_t nciDefinitions_elementSize(int32_t pValueType) {
  switch (pValueType) {
    case kNciText:
      return kNciTextSize;
    case kNciInt8:
      return 1;
    case kNciInt16:
      return 2;
    case kNciInt32:
    case kNciFloat32:
      return 4;
    case kNciFloat64:
      return 8;
    default:
      return 0;
  }
}
