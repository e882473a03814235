// File facts the engine needs beyond streams.
#pragma once

#include <cstdint>

// Modification time with nanosecond resolution, so that a rewrite within the same second is seen.
struct orlFileTime {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
  friend bool operator==(const orlFileTime&, const orlFileTime&) = default;
};

// False when the file's status cannot be read.
bool orlGetFileModificationTime(const char* pFileName, orlFileTime* pTime);
