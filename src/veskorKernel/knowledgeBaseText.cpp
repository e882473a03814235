#include "veskorKernel/knowledgeBaseText.h"

#include <cstring>
#include <string_view>

#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "orlBasics/orlText.h"
#include "veskorKernel/featureText.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorKernel/knowledgeBaseFeatures.h"
#include "veskorKernel/languageDependend.h"

namespace {

constexpr int32_t kGroup = 20;
constexpr int32_t kListStep = 16;

// A feature list holding copies of the views, in order. A string being appended when a failure
// strikes is freed with everything collected so far.
vector* featureListFromViews(const veskorKernel::FeatureViews& views) {
  orl::StringListPtr list(vector_create(sizeof(char*), static_cast<int32_t>(views.size()), kListStep));
  for (std::string_view view : views) {
    orl::OwnedText copy(static_cast<char*>(orlMalloc(view.size() + 1)));
    std::memcpy(copy.get(), view.data(), view.size());
    copy.get()[view.size()] = 0;
    char* raw = copy.get();
    vector_appendElement(list.get(), &raw);
    copy.release();
  }
  return list.release();
}

}  // namespace

void stringList_free(vector* pList) noexcept {
  if (pList == nullptr) return;
  char** strings = static_cast<char**>(pList->buffer);
  for (int32_t i = 0; i < pList->numberElements; ++i) orlFree(strings[i]);
  vector_free(pList);
}

int stringList_isNotNull(const void* pSlot) {
  return *static_cast<char* const*>(pSlot) != nullptr ? 1 : 0;
}

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
  bool upperCase = (pThis->encoding & 2) != 0 && pThis->language == knowledgeBase_languageGerman;
  bool framed = pThis->featureType == knowledgeBase_featureTypeTuples && (pThis->encoding & 4) != 0;
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

vector* knowledgeBase_computeFeatureIDs(const knowledgeBase* pThis, const char* pText) {
  if (pThis == nullptr || pText == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in knowledgeBase_computeFeatureIDs");
  }
  if (pThis->featureType == knowledgeBase_featureTypeTuples) return getTupelFromText(pText);
  return getWordsFromText(pText);
}

char* substituteWhiteSpace(const char* pText) {
  if (pText == nullptr) ORL_RAISE(kGroup, 1, "pText == NULL in substituteWhiteSpace");
  std::size_t length = std::strlen(pText);
  char* result = static_cast<char*>(orlMalloc(length + 3));
  char* out = result;
  *out++ = '_';
  const char* in = pText;
  while (*in != 0 && orlIsSpace(*in)) ++in;
  while (*in != 0) {
    if (orlIsSpace(*in)) {
      *out++ = '_';
      while (*in != 0 && orlIsSpace(*in)) ++in;
    } else {
      *out++ = *in++;
    }
  }
  *out++ = '_';
  *out = 0;
  return result;
}

vector* getWordsFromText(const char* pText) {
  if (pText == nullptr)
    orlRaiseFormatted(kGroup, 1, "%s in %s, line %ld", "pText == NULL in getWordsFromText", __FILE__,
                      static_cast<long>(__LINE__));
  veskorKernel::FeatureViews words;
  veskorKernel::cutWords(pText, words);
  return featureListFromViews(words);
}

vector* getTupelFromText(const char* pText) {
  if (pText == nullptr)
    orlRaiseFormatted(kGroup, 1, "%s in %s, line %ld", "pText == NULL in getTupelFromText", __FILE__,
                      static_cast<long>(__LINE__));
  veskorKernel::FeatureViews tuples;
  veskorKernel::cutTuples(pText, tuples);
  return featureListFromViews(tuples);
}

void stringListRemoveDoubles(vector* pList) {
  if (pList == nullptr) ORL_RAISE(kGroup, 1, "pList == NULL in stringListRemoveDoubles");
  char** strings = static_cast<char**>(pList->buffer);
  int32_t count = pList->numberElements;
  veskorKernel::FeatureViews views;
  views.reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    if (strings[i] != nullptr) views.emplace_back(strings[i]);
  }
  veskorKernel::removeDoubleFeatures(views);
  // The survivors are views of the very strings to keep; every other string is a repetition.
  std::size_t next = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (strings[i] == nullptr) continue;
    if (next < views.size() && views[next].data() == strings[i]) {
      ++next;
    } else {
      orlFree(strings[i]);
      strings[i] = nullptr;
    }
  }
}

namespace veskorKernel {

PreparedText prepareText(const knowledgeBase* kb, const char* text) {
  PreparedText prepared;
  prepared.preprocessed.reset(knowledgeBase_preprocessText(kb, text));
  if ((kb->encoding & 1) != 0)
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
