// Adding, deleting and updating entries through the component exports. The entry text is cleaned
// in the caller's buffer, as callers of this interface expect to see it.
#include <cstddef>
#include <cstring>

#include "veskor/componentAPI.h"
#include "veskor/veskorAPI.h"

namespace {

constexpr std::size_t kMaxKeyLength = 256;
constexpr std::size_t kMaxTextLength = 2047;

// Control bytes and the no-break space become spaces; the text ends after kMaxTextLength bytes.
void cleanEntryText(char* text) {
  for (std::size_t i = 0; text[i] != 0; ++i) {
    if (i == kMaxTextLength) {
      // The byte after the cut is zeroed as well: it is the terminator or still inside the text.
      text[i] = 0;
      text[i + 1] = 0;
      return;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c >= 0x01 && c <= 0x1F) || c == 0xA0) text[i] = ' ';
  }
}

}  // namespace

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnAddEntry(int connection, const char* /*pWKBName*/,
                                                       const char* pAKBName, const char* pPrimaryKey,
                                                       char* pEntryText) {
  if (pEntryText == nullptr) return VESKOR_ERROR_ENTRY_NOT_VALID;
  if (pPrimaryKey == nullptr) return VESKOR_ERROR_ARGUMENT_NOT_VALID;
  if (std::strlen(pPrimaryKey) > kMaxKeyLength) return VESKOR_ERROR_KEY_NOT_VALID;
  cleanEntryText(pEntryText);
  // Words are not registered in a word knowledge base from here.
  return veskorAddEntry(connection, nullptr, pAKBName, pPrimaryKey, pEntryText);
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnDeleteEntry(int connection, const char* pKBName,
                                                          const char* pPrimaryKey) {
  return veskorDeleteEntry(connection, pKBName, pPrimaryKey);
}

extern "C" VESKOR_EXPORT int VESKOR_STDCALL fnUpdateEntry(int connection, const char* pWKBName,
                                                          const char* pAKBName, const char* pPrimaryKey,
                                                          char* pEntryText) {
  int status = fnDeleteEntry(connection, pAKBName, pPrimaryKey);
  if (status != VESKOR_OK) return status;
  return fnAddEntry(connection, pWKBName, pAKBName, pPrimaryKey, pEntryText);
}
