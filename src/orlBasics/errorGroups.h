// The error groups: every orl::Exception carries the group of the module that raised it. A
// failure the API maps to no status of its own reaches callers as 100 x group + code, so every
// module has a group of its own and no number serves two modules.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace orl::errorGroup {

inline constexpr int32_t memory = 1;  // out of memory anywhere (std::bad_alloc maps as code 1)
inline constexpr int32_t connectionMatrix = 15;
inline constexpr int32_t wordAssociator = 16;
inline constexpr int32_t entryList = 17;
inline constexpr int32_t entrySet = 18;
inline constexpr int32_t featureSpace = 19;
inline constexpr int32_t knowledgeBase = 20;
inline constexpr int32_t germanLanguage = 22;
inline constexpr int32_t sharedAccess = 100;
inline constexpr int32_t referenceCounter = 101;
inline constexpr int32_t namedObject = 102;
inline constexpr int32_t dataManager = 103;
inline constexpr int32_t api = 104;  // the code is the status the exported function returns
inline constexpr int32_t search = 200;
inline constexpr int32_t textPreparation = 300;
inline constexpr int32_t vector = 4000;
inline constexpr int32_t stream = 5000;
inline constexpr int32_t segmentedVector = 6000;

inline constexpr std::array kAll{
    memory,        connectionMatrix, wordAssociator,  entryList,        entrySet,    featureSpace,
    knowledgeBase, germanLanguage,   sharedAccess,    referenceCounter, namedObject, dataManager,
    api,           search,           textPreparation, vector,           stream,      segmentedVector};

constexpr bool allDistinct() {
  std::array sorted = kAll;
  std::sort(sorted.begin(), sorted.end());
  return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}
static_assert(allDistinct(), "two modules share an error group");

}  // namespace orl::errorGroup
