#include "veskorKernel/knowledgeBaseText.h"

#include <cstring>
#include <string_view>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "orlBasics/orlText.h"
#include "veskorKernel/featureText.h"
#include "veskorKernel/knowledgeBaseFeatures.h"
#include "veskorKernel/knowledgeBaseRecord.h"
#include "veskorKernel/languageDependend.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::knowledgeBase;

}  // namespace

char* knowledgeBase_preprocessText(const knowledgeBase* pThis, const char* pText) {
  if (pThis == nullptr || pText == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in knowledgeBase_preprocessText");
  }
  const char* start = pText;
  while (*start != 0 && orlIsSpace(*start)) ++start;
  const char* end = start + std::strlen(start);
  while (end > start && orlIsSpace(end[-1])) --end;
  if (end == start) {
    ORL_RAISE(kGroup, 11, "Ung\xFCltiger Eintragstext in knowledgeBase_preprocessText pText=\"", pText, "\"");
  }
  knowledgeBaseSettings settings = knowledgeBase_settingsOf(pThis);
  bool upperCase = settings.upperCases();
  bool framed = settings.frames();
  char blank = framed ? '_' : ' ';
  // One pass does what trimming, collapsing white space, upper-casing and framing do in turn.
  char* result = static_cast<char*>(orlMalloc(static_cast<std::size_t>(end - start) + 3));
  char* out = result;
  if (framed) *out++ = '_';
  for (const char* in = start; in < end;) {
    if (orlIsSpace(*in)) {
      *out++ = blank;
      while (in < end && orlIsSpace(*in)) ++in;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(*in++);
    *out++ = static_cast<char>(upperCase ? upperCaseGermanByte(c) : c);
  }
  if (framed) *out++ = '_';
  *out = 0;
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
    cutTuples(featureText, out);
  } else {
    cutWords(featureText, out);
  }
  removeDoubleFeatures(out);
}

}  // namespace veskorKernel
