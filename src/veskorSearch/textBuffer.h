// Growable text with copy-on-write substring views (group 1, code 1 for every failure).
#pragma once

#include <cstdarg>
#include <cstdint>

#include "orlBasics/orlMemory.h"
#include "orlBasics/vector.h"

struct textBuffer {
  char* data;
  int32_t size;
  int32_t refCount;
  textBuffer* shared;
  int32_t start;
  int32_t length;
};

inline constexpr int32_t textBuffer_maxSize = 1048576;

textBuffer* textBuffer_create(int32_t startSize);
textBuffer* textBuffer_createFromString(const char* text);
textBuffer* textBuffer_share(textBuffer* pThis);
void textBuffer_free(textBuffer* pThis) noexcept;
int32_t textBuffer_printf(textBuffer* pThis, const char* format, ...) __attribute__((format(printf, 2, 3)));
int32_t textBuffer_vprintf(textBuffer* pThis, const char* format, va_list args);
char* textBuffer_growBy(textBuffer* pThis, int32_t bytes);
char* textBuffer_getString(textBuffer* pThis);
void textBuffer_subString(textBuffer* pThis, int32_t startIndex, int32_t endIndex);
textBuffer* textBuffer_createSubString(textBuffer* pThis, int32_t startIndex, int32_t endIndex);
int32_t textBuffer_findFirstOf(const textBuffer* pThis, const char* set, int32_t startPosition);
int32_t textBuffer_findFirstNotOf(const textBuffer* pThis, const char* set, int32_t startPosition);
// A vector of textBuffer* views, one per maximal run of non-delimiters; the caller frees each
// view and the vector.
vector* textBuffer_split(textBuffer* pThis, const char* delimiters);

namespace orl {
using TextBufferPtr = Owned<textBuffer, textBuffer_free>;
}
