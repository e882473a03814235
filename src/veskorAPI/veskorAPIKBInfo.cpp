// What an open knowledge base is: its settings, its kind and its number of entries.
#include "veskor/veskorExt.h"
#include "veskorAPI/veskorAPIInternal.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

int kindOf(const knowledgeBase* kb) {
  if (kb->featureType == knowledgeBase_featureTypeWords) return VESKOR_KB_KIND_DOCUMENTS;
  if (kb->featureType != knowledgeBase_featureTypeTuples) return VESKOR_KB_KIND_OTHER;
  return (kb->entryInformation & VESKOR_ENTRY_FEATURES_REQUIRED) != 0 ? VESKOR_KB_KIND_WORDS
                                                                      : VESKOR_KB_KIND_ENTRIES;
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
    *pInfo = veskorKBInfo{kb->language,    kb->encoding, kb->entryInformation,
                          kb->featureType, kindOf(kb),   knowledgeBase_getNumberEntries(kb)};
  });
}
