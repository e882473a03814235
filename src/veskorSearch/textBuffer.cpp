#include "veskorSearch/textBuffer.h"

#include <cstdio>
#include <cstring>

#include "orlBasics/orlException.h"
#include "orlBasics/scopeGuard.h"

namespace {

void release(textBuffer* owner) noexcept {
  if (--owner->refCount == 0) {
    orlFree(owner->data);
    orlFree(owner);
  }
}

// A view gets a private copy of its visible text and becomes an owner.
void makeUnique(textBuffer* b) {
  if (b->shared == nullptr) return;
  char* copy = static_cast<char*>(orlMalloc(static_cast<std::size_t>(b->length) + 1));
  std::memcpy(copy, b->data + b->start, static_cast<std::size_t>(b->length));
  copy[b->length] = 0;
  release(b->shared);
  b->shared = nullptr;
  b->data = copy;
  b->size = b->length + 1;
  b->refCount = 1;
  b->start = 0;
}

bool inSet(const char* set, char c) { return c != 0 && std::strchr(set, c) != nullptr; }

int32_t findFirst(const textBuffer* b, const char* set, int32_t startPosition, bool wantInSet) {
  if (b == nullptr || set == nullptr) return -1;
  if (startPosition < 0) startPosition = 0;
  for (int32_t i = startPosition; i < b->length; ++i) {
    if (inSet(set, b->data[b->start + i]) == wantInSet) return i;
  }
  return -1;
}

}  // namespace

textBuffer* textBuffer_create(int32_t startSize) {
  if (startSize < 0) ORL_RAISE(1, 1, "startSize < 0");
  if (int64_t{startSize} + 1 > textBuffer_maxSize) {
    ORL_RAISE(1, 1, "textBuffer_growBy : maxSize was exceeded\n", "(protection againt missing zero termination)\n",
              "increase limit maxSize if neccessary");
  }
  orl::TextBufferPtr b(static_cast<textBuffer*>(orlMalloc(sizeof(textBuffer))));
  *b = textBuffer{nullptr, 0, 1, nullptr, 0, 0};
  b->data = static_cast<char*>(orlMalloc(static_cast<std::size_t>(startSize) + 1));
  b->data[0] = 0;
  b->size = startSize + 1;
  return b.release();
}

textBuffer* textBuffer_createFromString(const char* text) {
  if (text == nullptr) text = "";
  std::size_t length = std::strlen(text);
  if (length + 1 >= static_cast<std::size_t>(textBuffer_maxSize)) {
    ORL_RAISE(1, 1, "textBuffer_growBy : maxSize was exceeded\n", "(protection againt missing zero termination)\n",
              "increase limit maxSize if neccessary");
  }
  orl::TextBufferPtr b(textBuffer_create(static_cast<int32_t>(length) + 1));
  textBuffer_printf(b.get(), "%s", text);
  return b.release();
}

textBuffer* textBuffer_share(textBuffer* pThis) {
  textBuffer* owner = pThis->shared != nullptr ? pThis->shared : pThis;
  textBuffer* view = static_cast<textBuffer*>(orlMalloc(sizeof(textBuffer)));
  *view = textBuffer{pThis->data, 0, 0, owner, pThis->start, pThis->length};
  ++owner->refCount;
  return view;
}

void textBuffer_free(textBuffer* pThis) noexcept {
  if (pThis == nullptr) return;
  if (pThis->shared != nullptr) {
    release(pThis->shared);
    orlFree(pThis);
  } else {
    release(pThis);
  }
}

int32_t textBuffer_printf(textBuffer* pThis, const char* format, ...) {
  va_list args;
  va_start(args, format);
  try {
    int32_t written = textBuffer_vprintf(pThis, format, args);
    va_end(args);
    return written;
  } catch (...) {
    va_end(args);
    throw;
  }
}

int32_t textBuffer_vprintf(textBuffer* pThis, const char* format, va_list args) {
  makeUnique(pThis);
  va_list measure;
  va_copy(measure, args);
  int needed = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (needed < 0) return 0;
  // Grow the way a bounded formatter that reports "does not fit" would make us grow: by half the
  // size, at least 128 bytes, until the text fits.
  while (int64_t{needed} > int64_t{pThis->size} - pThis->start - pThis->length - 1) {
    int32_t step = pThis->size / 2;
    if (step < 128) step = 128;
    textBuffer_growBy(pThis, step);
  }
  char* at = pThis->data + pThis->start + pThis->length;
  std::vsnprintf(at, static_cast<std::size_t>(needed) + 1, format, args);
  pThis->length += needed;
  pThis->data[pThis->start + pThis->length] = 0;
  return needed;
}

char* textBuffer_growBy(textBuffer* pThis, int32_t bytes) {
  makeUnique(pThis);
  if (bytes < 0 || int64_t{pThis->size} + bytes > textBuffer_maxSize) {
    ORL_RAISE(1, 1, "textBuffer_growBy : maxSize was exceeded\n", "(protection againt missing zero termination)\n",
              "increase limit maxSize if neccessary");
  }
  pThis->data = static_cast<char*>(orlRealloc(pThis->data, static_cast<std::size_t>(pThis->size + bytes)));
  pThis->size += bytes;
  return pThis->data;
}

char* textBuffer_getString(textBuffer* pThis) {
  makeUnique(pThis);
  pThis->data[pThis->start + pThis->length] = 0;
  return pThis->data + pThis->start;
}

void textBuffer_subString(textBuffer* pThis, int32_t startIndex, int32_t endIndex) {
  if (startIndex > endIndex) {
    orl::MessageBuffer message;
    message.append("textBuffer_[create]SubString: ").append("startindex > endindex ").appendInt(startIndex);
    message.append(" > ").appendInt(endIndex).append("\"").append(textBuffer_getString(pThis)).append("\"");
    ORL_RAISE(1, 1, message.c_str());
  }
  if (startIndex >= 0 && endIndex <= pThis->length) {
    pThis->start += startIndex;
    pThis->length = endIndex - startIndex;
    return;
  }
  ORL_RAISE(1, 1, "textBuffer_createSubString: ", "index out of bounds");
}

textBuffer* textBuffer_createSubString(textBuffer* pThis, int32_t startIndex, int32_t endIndex) {
  orl::TextBufferPtr view(textBuffer_share(pThis));
  textBuffer_subString(view.get(), startIndex, endIndex);
  return view.release();
}

int32_t textBuffer_findFirstOf(const textBuffer* pThis, const char* set, int32_t startPosition) {
  return findFirst(pThis, set, startPosition, true);
}

int32_t textBuffer_findFirstNotOf(const textBuffer* pThis, const char* set, int32_t startPosition) {
  return findFirst(pThis, set, startPosition, false);
}

vector* textBuffer_split(textBuffer* pThis, const char* delimiters) {
  orl::VectorPtr views(vector_create(sizeof(textBuffer*), 10, 50));
  orl::ScopeGuard freeViews([&] {
    for (int32_t i = 0; i < views->numberElements; ++i) textBuffer_free(orl::vectorAt<textBuffer*>(views.get(), i));
  });
  for (int32_t position = 0; position < pThis->length;) {
    int32_t start = textBuffer_findFirstNotOf(pThis, delimiters, position);
    if (start == -1) break;
    int32_t end = textBuffer_findFirstOf(pThis, delimiters, start + 1);
    if (end == -1) end = pThis->length;
    orl::TextBufferPtr view(textBuffer_createSubString(pThis, start, end));
    textBuffer* raw = view.get();
    vector_appendElement(views.get(), &raw);
    view.release();
    position = end;
  }
  freeViews.dismiss();
  return views.release();
}
