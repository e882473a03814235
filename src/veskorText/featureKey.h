// Cheap keys for feature texts. Texts of up to 7 bytes are packed into the key itself (with their
// length in the top byte), so equal keys mean equal texts; longer texts carry a hash and the tag
// 0xFF and must be compared byte by byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace veskorText {

inline constexpr uint64_t kHashedKeyTag = uint64_t{0xFF} << 56;

inline uint64_t featureKey(std::string_view text) {
  std::size_t length = text.size();
  if (length <= 7) {
    uint64_t packed = 0;
    std::memcpy(&packed, text.data(), length);
    return packed | (uint64_t{length} << 56);
  }
  uint64_t hash = 0x9E3779B97F4A7C15ULL ^ length;
  std::size_t at = 0;
  for (; at + 8 <= length; at += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, text.data() + at, 8);
    hash = (hash ^ chunk) * 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 32;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, text.data() + at, length - at);
  hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53ULL;
  hash ^= hash >> 29;
  return (hash & ~(uint64_t{0xFF} << 56)) | kHashedKeyTag;
}

inline bool featureKeyIsExact(uint64_t key) {
  return (key & kHashedKeyTag) != kHashedKeyTag;
}

// Spreads a key over the bits taken by a table of 2^(64 - shift) slots.
inline std::size_t featureSlot(uint64_t key, unsigned shift) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift);
}

}  // namespace veskorText
