// What an open knowledge base is: its settings, its kind and its number of entries.
#include "veskor/veskorExt.h"
#include "veskorAPI/veskorAPIInternal.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

// The flags callers read are the kernel's own.
static_assert(VESKOR_ENCODING_PHONETIC == static_cast<int>(kbEncoding::phonemeCodes));
static_assert(VESKOR_ENCODING_UPPER_CASE == static_cast<int>(kbEncoding::upperCasing));
static_assert(VESKOR_ENCODING_FRAMED == static_cast<int>(kbEncoding::framing));
static_assert(VESKOR_ENTRY_TEXT_STORED == static_cast<int>(kbEntryInformation::textStored));
static_assert(VESKOR_ENTRY_KEY_REQUIRED == static_cast<int>(kbEntryInformation::keyRequired));
static_assert(VESKOR_ENTRY_VALUE_REQUIRED == static_cast<int>(kbEntryInformation::valueInUnitRange));
static_assert(VESKOR_ENTRY_FEATURES_REQUIRED == static_cast<int>(kbEntryInformation::featureBlockRequired));

int kindOf(const knowledgeBaseSettings& settings) {
  if (settings.featureType == knowledgeBase_featureTypeWords) return VESKOR_KB_KIND_DOCUMENTS;
  if (settings.featureType != knowledgeBase_featureTypeTuples) return VESKOR_KB_KIND_OTHER;
  return settings.has(kbEntryInformation::featureBlockRequired) ? VESKOR_KB_KIND_WORDS : VESKOR_KB_KIND_ENTRIES;
}

}  // namespace

extern "C" VESKOR_EXPORT int veskorGetKBInfo(int connectionID, const char* pKBName, veskorKBInfo* pInfo) {
  return veskorCall("veskorGetKBInfo", connectionID, [&](veskorCall_t& call) {
    if (pKBName == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pKBName == NULL in veskorGetKBInfo()");
    }
    if (pInfo == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pInfo == NULL in veskorGetKBInfo()");
    }
    const auto* kb = call.sharedAccess<knowledgeBase>(call.lookUpKB(pKBName));
    knowledgeBaseSettings settings = knowledgeBase_getSettings(kb);
    *pInfo = veskorKBInfo{settings.language,    settings.encoding, settings.entryInformation,
                          settings.featureType, kindOf(settings),  knowledgeBase_getNumberEntries(kb)};
  });
}
