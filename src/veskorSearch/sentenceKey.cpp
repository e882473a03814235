#include "veskorSearch/sentenceKey.h"

#include <cstdio>
#include <cstring>

#include "orlBasics/orlMemory.h"

char* sentenceKey_format(const char* documentKey, int32_t sentenceNumber, std::size_t offset,
                         std::size_t length) {
  char numbers[96];
  // Sized from the numbers themselves: seven-digit offsets must not overrun the key.
  int written =
      std::snprintf(numbers, sizeof numbers, "%c%06d%c%06lld%c%06lld", '?', static_cast<int>(sentenceNumber),
                    '?', static_cast<long long>(offset), '?', static_cast<long long>(length));
  std::size_t keyLength = std::strlen(documentKey);
  char* key = static_cast<char*>(orlMalloc(keyLength + static_cast<std::size_t>(written) + 1));
  std::memcpy(key, documentKey, keyLength);
  std::memcpy(key + keyLength, numbers, static_cast<std::size_t>(written) + 1);
  return key;
}
