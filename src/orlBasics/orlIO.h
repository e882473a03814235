// Binary streams: the one way files are read and written. Values are little-endian; every short
// read or write raises group 5000. Input streams know how many bytes are left, so a count read
// from a file is checked against the file before anything is allocated for it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "orlBasics/orlMemory.h"

// Values go to and come from files as the machine holds them, and the word associator writes its
// parameter blocks as raw bytes: only a little-endian machine writes the documented files.
static_assert(std::endian::native == std::endian::little,
              "Veskor files are little-endian; this build would write and read them byte-swapped");

struct orlStream;

orlStream* stream_createFileInputStream(const char* pFileName);
orlStream* stream_createFileOutputStream(const char* pFileName);
// Writes to a temporary file next to pFileName (<pFileName>.veskor-tmp.XXXXXX, locked while it is
// written); stream_commit flushes, syncs and renames it over pFileName. Closing without a commit
// removes the temporary file and leaves pFileName untouched. Stale temporary files of pFileName,
// left by writers that died, are removed first.
orlStream* stream_createAtomicFileOutputStream(const char* pFileName);
// Flushes and syncs an output stream; stream_commit then only renames. Several files that belong
// together are all synced before any of them is committed.
void stream_sync(orlStream* pThis);
void stream_commit(orlStream* pThis);
// Removes the temporary files of pFileName that no writer holds any more (a save killed part-way
// leaves one behind). Never fails: what cannot be removed now is tried again next time.
void stream_removeStaleTemporaryFiles(const char* pFileName) noexcept;
// Closes the file; null is ignored.
void stream_close(orlStream* pThis) noexcept;

void stream_writeInt32(orlStream* pThis, int32_t value);
void stream_writeInt32Array(orlStream* pThis, int32_t count, const int32_t* values);
void stream_writeFloat32(orlStream* pThis, float value);
void stream_writeFloat64(orlStream* pThis, double value);
void stream_writeByteArray(orlStream* pThis, int32_t count, const void* bytes);
// Null is written as length -1.
void stream_writeString(orlStream* pThis, const char* text);
void stream_writeChars(orlStream* pThis, const char* text);
// Raw bytes with no count in front, for formats with single-byte fields.
void stream_writeRawBytes(orlStream* pThis, const void* bytes, std::size_t count);
void stream_writeByte(orlStream* pThis, uint8_t value);

struct int32Array {
  int32_t count;
  int32_t* array;  // orlMalloc; null for count 0
};

struct byteArray {
  int32_t count;
  unsigned char* bytes;  // orlMalloc; null for count 0
};

int32_t stream_readInt32(orlStream* pThis);
int32Array stream_readInt32Array(orlStream* pThis);
float stream_readFloat32(orlStream* pThis);
double stream_readFloat64(orlStream* pThis);
byteArray stream_readByteArray(orlStream* pThis);
// Length -1 and length 0 both read back as null.
char* stream_readString(orlStream* pThis);
char* stream_readChars(orlStream* pThis, int32_t pLength);
// The same bytes into pBuffer (pLength + 1 bytes, terminated), with the same checks and errors.
void stream_readCharsInto(orlStream* pThis, int32_t pLength, char* pBuffer);

// Bytes left to read in an input stream.
int64_t stream_remainingBytes(const orlStream* pThis);

// Test hook: on the calling thread, output streams fail (as a short write) once this many further
// bytes have been written. A negative value switches the hook off.
void stream_setWriteFailureAfter(int64_t bytes);

namespace orl {
using StreamPtr = Owned<orlStream, stream_close>;
}
