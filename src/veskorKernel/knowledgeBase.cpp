#include "veskorKernel/knowledgeBase.h"

#include <cstring>

#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "orlBasics/orlThreadLocal.h"
#include "veskorKernel/knowledgeBaseFeatures.h"

namespace {

constexpr int32_t kGroup = 20;

struct EntryFeatures {
  veskorKernel::FeatureViews features;
};

bool entryInformationSatisfied(int32_t entryInformation, const char* key, const void* features,
                               double value) {
  if ((entryInformation & 2) != 0 && key == nullptr) return false;
  if ((entryInformation & 8) != 0 && features == nullptr) return false;
  if ((entryInformation & 4) != 0 && !(value >= 0.0 && value <= 1.0)) return false;
  return true;
}

}  // namespace

knowledgeBase* knowledgeBase_create(int32_t pLanguage, int32_t pEncoding, int32_t pEntryInformation,
                                    int32_t pFeatureType) {
  if (pLanguage < 0 || pLanguage > 2) ORL_RAISE(kGroup, 2, "Ung\xFCltige Sprache in knowledgeBase_create");
  if (pEncoding < 0 || pEncoding > 7) ORL_RAISE(kGroup, 3, "Ung\xFCltige Codierung in knowledgeBase_create");
  if (pEntryInformation < 1 || pEntryInformation > 15) {
    ORL_RAISE(kGroup, 4, "Ung\xFCltige Eintragsinformatione in knowledgeBase_create");
  }
  if (pFeatureType != 1 && pFeatureType != 2)
    ORL_RAISE(kGroup, 5, "Ung\xFCltiger Merkmalstyp knowledgeBase_create");
  if (pLanguage != knowledgeBase_languageGerman && (pEncoding == 1 || pEncoding == 2)) {
    ORL_RAISE(kGroup, 6, "Codierung und Sprache sind inkomaptibel in knowledgeBase_create");
  }
  orl::KnowledgeBasePtr kb(static_cast<knowledgeBase*>(orlMalloc(sizeof(knowledgeBase))));
  *kb = knowledgeBase{1,
                      pEncoding,
                      pLanguage,
                      pEntryInformation,
                      pFeatureType,
                      orlFileTime{},
                      nullptr,
                      knowledgeBase_changed,
                      nullptr,
                      nullptr};
  kb->entryList = entryList_create(knowledgeBase_numberSyntacticFeatures);
  kb->featureSpace = featureSpace_create();
  return kb.release();
}

void knowledgeBase_free(knowledgeBase* pThis) noexcept {
  if (pThis == nullptr) return;
  entryList_free(pThis->entryList);
  featureSpace_free(pThis->featureSpace);
  orlFree(pThis->fileName);
  orlFree(pThis);
}

void knowledgeBase_defragment(knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_defragment");
  if ((pThis->modificationFlags & knowledgeBase_defragmentationDue) == 0) return;
  orl::VectorPtr mapping(entryList_defragment(pThis->entryList));
  featureSpace_defragment(pThis->featureSpace, mapping.get());
  pThis->modificationFlags &= ~knowledgeBase_defragmentationDue;
}

void knowledgeBase_addEntry(knowledgeBase* pThis, const char* pPrimaryKey, const char* pText,
                            const void* pSyntacticFeatures, double pValue) {
  if (pThis == nullptr || pText == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in knowledgeBase_addEntry");
  if (!entryInformationSatisfied(pThis->entryInformation, pPrimaryKey, pSyntacticFeatures, pValue)) {
    ORL_RAISE(kGroup, 1,
              "Ung\xFCltige Eintragsinformationen \xFC"
              "bergeben in knowledgeBase_addEntry");
  }
  if (pPrimaryKey != nullptr && std::strlen(pPrimaryKey) > knowledgeBase_maxPrimaryKeyLength) {
    ORL_RAISE(kGroup, 12, "Ung\xFCltige L\xE4nge des Prim\xE4rschl\xFCssels in knowledgeBase_addEntry");
  }
  if (std::strlen(pText) > knowledgeBase_maxTextLength) {
    ORL_RAISE(kGroup, 11, "Ung\xFCltige L\xE4nge des Eintragstexts in knowledgeBase_addEntry");
  }
  veskorKernel::PreparedText prepared = veskorKernel::prepareText(pThis, pText);
  veskorKernel::FeatureViews& features = orl::threadLocal<EntryFeatures>().features;
  veskorKernel::computeDistinctFeatures(pThis, prepared.featureText(), features);
  entry stored{const_cast<char*>(pPrimaryKey),
               (pThis->entryInformation & 1) != 0 ? prepared.preprocessed.get() : nullptr, pValue,
               static_cast<unsigned char*>(const_cast<void*>(pSyntacticFeatures))};
  int32_t index = entryList_appendEntry(pThis->entryList, &stored);
  try {
    featureSpace_addEntry(pThis->featureSpace, features, index);
  } catch (...) {
    // The point is in no entry set (the feature space undid it); the entry leaves a hole that
    // the next defragmentation closes.
    entryList_deleteEntry(pThis->entryList, index);
    pThis->modificationFlags |= knowledgeBase_defragmentationDue;
    throw;
  }
  pThis->modificationFlags |= knowledgeBase_changed;
}

knowledgeBaseMark knowledgeBase_mark(const knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_mark");
  return {entryList_getMaxIndex(pThis->entryList) + 1, pThis->featureSpace->highestIndex,
          pThis->modificationFlags};
}

void knowledgeBase_rollBack(knowledgeBase* pThis, const knowledgeBaseMark& pMark) noexcept {
  if (pThis == nullptr) return;
  featureSpace_removePointsFrom(pThis->featureSpace, pMark.numberEntries, pMark.highestPoint);
  entryList_truncate(pThis->entryList, pMark.numberEntries);
  pThis->modificationFlags = pMark.modificationFlags;
}

void knowledgeBase_deleteEntry(knowledgeBase* pThis, const char* pPrimaryKey, int32_t pMatchMode) {
  if (pThis == nullptr || pPrimaryKey == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pPrimaryKey == NULL in knowledgeBase_deleteEntry");
  }
  orl::VectorPtr indices(entryList_findEntryByKey(pThis->entryList, pPrimaryKey, pMatchMode));
  for (int32_t i = 0; i < indices->numberElements; ++i) {
    int32_t index = orl::vectorAt<int32_t>(indices.get(), i);
    // The point first: if marking it fails, the entry is still there and nothing disagrees.
    featureSpace_deletePoint(pThis->featureSpace, index);
    entryList_deleteEntry(pThis->entryList, index);
    pThis->modificationFlags |= knowledgeBase_changed | knowledgeBase_defragmentationDue;
  }
}
