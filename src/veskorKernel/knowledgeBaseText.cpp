#include "veskorKernel/knowledgeBaseText.h"

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "veskorKernel/knowledgeBaseFeatures.h"
#include "veskorKernel/knowledgeBaseRecord.h"
#include "veskorText/entryText.h"
#include "veskorText/featureText.h"
#include "veskorText/germanText.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::knowledgeBase;

}  // namespace

char* knowledgeBase_preprocessText(const knowledgeBase* pThis, const char* pText) {
  if (pThis == nullptr || pText == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in knowledgeBase_preprocessText");
  }
  knowledgeBaseSettings settings = knowledgeBase_settingsOf(pThis);
  char* result = normaliseEntryText(pText, settings.upperCases(), settings.frames());
  if (result == nullptr) {
    ORL_RAISE(kGroup, 11, "Ung\xFCltiger Eintragstext in knowledgeBase_preprocessText pText=\"", pText, "\"");
  }
  return result;
}

char* knowledgeBase_computePhonemeCodes(const knowledgeBase* pThis, const char* pText) {
  if (pThis == nullptr || pText == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in knowledgeBase_computePhonemeCodes");
  }
  if (pThis->language == knowledgeBase_languageGerman) return createPhonemeCodesGerman(pText);
  return orlStrdup(pText);
}

namespace veskorKernel {

PreparedText prepareText(const knowledgeBase* kb, const char* text) {
  PreparedText prepared;
  prepared.preprocessed.reset(knowledgeBase_preprocessText(kb, text));
  if (knowledgeBase_settingsOf(kb).has(kbEncoding::phonemeCodes))
    prepared.phonemes.reset(knowledgeBase_computePhonemeCodes(kb, prepared.preprocessed.get()));
  return prepared;
}

void computeDistinctFeatures(const knowledgeBase* kb, const char* featureText, FeatureViews& out) {
  out.clear();
  if (kb->featureType == knowledgeBase_featureTypeTuples) {
    veskorText::cutTuples(featureText, out);
  } else {
    veskorText::cutWords(featureText, out);
  }
  veskorText::removeDoubleFeatures(out);
}

}  // namespace veskorKernel
