#include "veskorKernel/featureMembers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace veskorKernel {

namespace {

constexpr int32_t kMinimumCount = 256;

bool wanted(const featureRecord* record, int32_t highestIndex) {
  return record->set.count >= std::max(kMinimumCount, (highestIndex + 1) / 32);
}

// Makes the bitmap cover `index`; false (and no bitmap) when memory runs out.
bool cover(featureRecord* record, int32_t index) {
  int32_t needed = index / 64 + 1;
  if (needed <= record->memberWords) return true;
  int32_t words = std::max(needed, record->memberWords + record->memberWords / 4 + 16);
  auto* grown = static_cast<uint64_t*>(std::realloc(record->members, static_cast<std::size_t>(words) * 8));
  if (grown == nullptr) {
    featureMembers_drop(record);
    return false;
  }
  std::memset(grown + record->memberWords, 0, static_cast<std::size_t>(words - record->memberWords) * 8);
  record->members = grown;
  record->memberWords = words;
  return true;
}

}  // namespace

void featureMembers_drop(featureRecord* record) noexcept {
  std::free(record->members);
  record->members = nullptr;
  record->memberWords = 0;
}

void featureMembers_rebuild(featureRecord* record, int32_t highestIndex) noexcept {
  featureMembers_drop(record);
  if (!wanted(record, highestIndex) || !cover(record, record->set.indexMax)) return;
  for (int32_t i = 0; i < record->set.count; ++i) {
    int32_t index = record->set.indices[i];
    record->members[index >> 6] |= uint64_t{1} << (index & 63);
  }
}

void featureMembers_update(featureRecord* record, int32_t highestIndex) noexcept {
  if (record->members == nullptr) {
    if (wanted(record, highestIndex)) featureMembers_rebuild(record, highestIndex);
    return;
  }
  int32_t index = record->set.indexMax;
  if (cover(record, index)) record->members[index >> 6] |= uint64_t{1} << (index & 63);
}

void featureMembers_remove(featureRecord* record, int32_t index) noexcept {
  if (featureMembers_contain(record, index)) record->members[index >> 6] &= ~(uint64_t{1} << (index & 63));
}

}  // namespace veskorKernel
