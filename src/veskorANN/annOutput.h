// Raw little-endian output for the network file. Names and value tags in that file are single
// bytes, which the binary streams cannot write, so the network file goes through this instead. It
// replaces its target the way atomic streams do: bytes go to a temporary file next to the target,
// annOutput_commit flushes, syncs and renames it over the target, and an output freed without a
// commit removes the temporary file and leaves the target untouched. Failures raise as the streams
// do: group 5000, code 6 (cannot create), code 3 (short write).
#pragma once

#include <cstddef>
#include <cstdint>

#include "orlBasics/orlMemory.h"

struct annOutput;

annOutput* annOutput_create(const char* pFileName);
void annOutput_free(annOutput* pThis) noexcept;
void annOutput_commit(annOutput* pThis);

void annOutput_writeBytes(annOutput* pThis, const void* pBytes, std::size_t pCount);
void annOutput_writeByte(annOutput* pThis, uint8_t pValue);
void annOutput_writeInt32(annOutput* pThis, int32_t pValue);
void annOutput_writeFloat32(annOutput* pThis, float pValue);
void annOutput_writeFloat64(annOutput* pThis, double pValue);

// Test hook: on the calling thread, outputs fail (as a short write) once this many further bytes
// have been written. A negative value switches the hook off.
void annOutput_setWriteFailureAfter(int64_t pBytes);

namespace orl {
using AnnOutputPtr = Owned<annOutput, annOutput_free>;
}
