// Membership bitmaps of long entry sets. A bitmap is kept only for a set with at least one index
// in 32 of all points, so it never takes more memory than the set itself; it is a cache: when
// memory for it runs out, the set simply goes without one.
#pragma once

#include <cstdint>

#include "veskorKernel/featureSpace.h"

namespace veskorKernel {

void featureMembers_update(featureRecord* record, int32_t highestIndex) noexcept;  // after an append
void featureMembers_remove(featureRecord* record, int32_t index) noexcept;
void featureMembers_rebuild(featureRecord* record, int32_t highestIndex) noexcept;
void featureMembers_drop(featureRecord* record) noexcept;

inline bool featureMembers_contain(const featureRecord* record, int32_t index) {
  uint32_t word = static_cast<uint32_t>(index) >> 6;
  return word < static_cast<uint32_t>(record->memberWords) && ((record->members[word] >> (index & 63)) & 1) != 0;
}

}  // namespace veskorKernel
