// Searching through the component exports: the engine's hit list crosses as an opaque handle that
// only fnGetSearchHit reads; the latest error is copied into caller buffers.
#include <cstdlib>
#include <cstring>

#include "veskor/componentAPI.h"
#include "veskor/veskorAPI.h"

namespace {

constexpr int kNullHitList = -11;
constexpr int kHitIndexOutOfRange = -12;
constexpr int kNotSupported = -13;
constexpr int kOutOfMemory = 101;  // the status of group 1 code 1

// Copies text with its terminator, cut to fit a buffer of size bytes.
void copyBounded(char* buffer, const char* text, std::size_t size) {
  std::size_t length = text != nullptr ? std::strlen(text) : 0;
  if (length >= size) length = size - 1;
  if (length > 0) std::memcpy(buffer, text, length);
  buffer[length] = 0;
}

}  // namespace

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnSearch(int connection, const char* pWKBName,
                                                     const char* pAKBName, int pMaxNumberHits,
                                                     int pSplitCompounds, const char* pSearchText,
                                                     void** pHitList, int* pNumberHits) {
  if (pHitList == nullptr || pNumberHits == nullptr) return VESKOR_ERROR_ARGUMENT_NOT_VALID;
  *pHitList = nullptr;
  *pNumberHits = 0;
  const char* wkbName = (pWKBName != nullptr && pWKBName[0] == 0) ? nullptr : pWKBName;
  // No word associator, association off.
  veskorSearchHits* hits = veskorFindEntry(connection, wkbName, pAKBName, nullptr, pMaxNumberHits, 0,
                                           pSplitCompounds, pSearchText);
  if (hits == nullptr) {
    int status = veskorGetLatestErrorCode(connection);
    // No latest error behind a null list: the thread's state to keep one in could not be made,
    // for want of memory. Never a success without a list.
    return status != VESKOR_OK ? status : kOutOfMemory;
  }
  *pNumberHits = hits->numberHits;
  *pHitList = hits;
  return VESKOR_OK;
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnGetSearchHit(int /*connection*/, void* pHitList, int pIndex,
                                                           char* pKeyBuffer, double* pConfidence,
                                                           int* pReserved) {
  if (pHitList == nullptr) return kNullHitList;
  const auto* hits = static_cast<const veskorSearchHits*>(pHitList);
  if (pIndex < 0 || pIndex >= hits->numberHits) return kHitIndexOutOfRange;
  if (pKeyBuffer == nullptr || pConfidence == nullptr || pReserved == nullptr) {
    return VESKOR_ERROR_ARGUMENT_NOT_VALID;
  }
  const veskorSearchHit& hit = hits->hits[pIndex];
  copyBounded(pKeyBuffer, hit.primaryKey, VESKOR_FN_KEY_BUFFER_SIZE);
  *pConfidence = hit.confidence;
  *pReserved = 0;
  return VESKOR_OK;
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnFreeSearchHits(int connection, void* pHitList) {
  return veskorFreeSearchHits(connection, static_cast<veskorSearchHits*>(pHitList));
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnGetLatestErrorMessage(int connection, char* pMessageBuffer) {
  if (pMessageBuffer == nullptr) return VESKOR_ERROR_ARGUMENT_NOT_VALID;
  char* message = veskorGetLatestErrorMessage(connection);
  if (message != nullptr) {
    copyBounded(pMessageBuffer, message, VESKOR_FN_MESSAGE_BUFFER_SIZE);
    std::free(message);
  }
  return VESKOR_OK;
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnGetLatestErrorCode(int connection) {
  return veskorGetLatestErrorCode(connection);
}

// One entry point for the three functions that are not supported; the other two names are
// aliases of it.
extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnCompareDocument(int, int, int, int, int, int, int) {
  return kNotSupported;
}
extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnCompressDocument(int, int, int, int, int, int, int)
    __attribute__((alias("fnCompareDocument")));
extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnGetSentenceSearchHit(int, int, int, int, int, int, int)
    __attribute__((alias("fnCompareDocument")));
