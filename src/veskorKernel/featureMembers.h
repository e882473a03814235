// Membership bitmaps of long entry sets. A bitmap is made only for a set that holds at least one
// point in 32, so it takes about as much memory as the set itself at most. It is a cache: when
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
  return word < static_cast<uint32_t>(record->memberWords) &&
         ((record->members[word] >> (index & 63)) & 1) != 0;
}

}  // namespace veskorKernel
