#include "veskorKernel/knowledgeBase.h"

#include <cstring>
#include <vector>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "orlBasics/orlThreadLocal.h"
#include "veskorKernel/knowledgeBaseFeatures.h"
#include "veskorKernel/knowledgeBaseRecord.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::knowledgeBase;

struct EntryFeatures {
  veskorKernel::FeatureViews features;
};

// The features of the entry being added, kept per thread so that their room is reused; through a
// call, so that the thread-local's address is not recomputed at each use.
[[gnu::noinline]] veskorKernel::FeatureViews& entryFeatures() {
  return orl::threadLocal<EntryFeatures>().features;
}

bool entryInformationSatisfied(const knowledgeBaseSettings& settings, const char* key, const void* features,
                               double value) {
  if (settings.has(kbEntryInformation::keyRequired) && key == nullptr) return false;
  if (settings.has(kbEntryInformation::featureBlockRequired) && features == nullptr) return false;
  if (settings.has(kbEntryInformation::valueInUnitRange) && !(value >= 0.0 && value <= 1.0)) return false;
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
  kb->generation = knowledgeBase_newGeneration();
  kb->indexGeneration = kb->generation;
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
  std::vector<int32_t> mapping = entryList_defragment(pThis->entryList);
  featureSpace_defragment(pThis->featureSpace, mapping);
  pThis->modificationFlags &= ~knowledgeBase_defragmentationDue;
  pThis->generation = knowledgeBase_newGeneration();
  pThis->indexGeneration = pThis->generation;
}

void knowledgeBase_addEntry(knowledgeBase* pThis, const char* pPrimaryKey, const char* pText,
                            const void* pSyntacticFeatures, double pValue) {
  if (pThis == nullptr || pText == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pText == NULL in knowledgeBase_addEntry");
  knowledgeBaseSettings settings = knowledgeBase_settingsOf(pThis);
  if (!entryInformationSatisfied(settings, pPrimaryKey, pSyntacticFeatures, pValue)) {
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
  veskorKernel::FeatureViews& features = entryFeatures();
  veskorKernel::computeDistinctFeatures(pThis, prepared.featureText(), features);
  entry stored{const_cast<char*>(pPrimaryKey),
               settings.has(kbEntryInformation::textStored) ? prepared.preprocessed.get() : nullptr, pValue,
               static_cast<unsigned char*>(const_cast<void*>(pSyntacticFeatures))};
  int32_t index = entryList_appendEntry(pThis->entryList, &stored);
  try {
    featureSpace_addEntry(pThis->featureSpace, features, index);
  } catch (...) {
    // The point is in no entry set (the feature space undid it); the entry leaves a hole that
    // the next defragmentation closes.
    entryList_deleteEntry(pThis->entryList, index);
    pThis->modificationFlags |= knowledgeBase_defragmentationDue;
    pThis->generation = knowledgeBase_newGeneration();
    throw;
  }
  pThis->modificationFlags |= knowledgeBase_changed;
  pThis->generation = knowledgeBase_newGeneration();
}

knowledgeBaseMark knowledgeBase_mark(const knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_mark");
  return {entryList_getMaxIndex(pThis->entryList) + 1, pThis->featureSpace->highestIndex,
          pThis->modificationFlags};
}

void knowledgeBase_rollBack(knowledgeBase* pThis, const knowledgeBaseMark& pMark) noexcept {
  if (pThis == nullptr) return;
  const bool added = entryList_getMaxIndex(pThis->entryList) + 1 > pMark.numberEntries;
  featureSpace_removePointsFrom(pThis->featureSpace, pMark.numberEntries, pMark.highestPoint);
  entryList_truncate(pThis->entryList, pMark.numberEntries);
  pThis->modificationFlags = pMark.modificationFlags;
  if (added) {
    // The indices taken back go to the next entries added: what was derived per index must go too.
    pThis->generation = knowledgeBase_newGeneration();
    pThis->indexGeneration = pThis->generation;
  }
}

int32_t knowledgeBase_getNumberEntries(const knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_getNumberEntries");
  int32_t count = 0;
  int32_t maxIndex = entryList_getMaxIndex(pThis->entryList);
  for (int32_t i = 0; i <= maxIndex; ++i) count += entryList_isValidEntry(pThis->entryList, i) ? 1 : 0;
  return count;
}

void knowledgeBase_deleteEntry(knowledgeBase* pThis, const char* pPrimaryKey, int32_t pMatchMode) {
  if (pThis == nullptr || pPrimaryKey == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pPrimaryKey == NULL in knowledgeBase_deleteEntry");
  }
  for (int32_t index : entryList_findEntryByKey(pThis->entryList, pPrimaryKey, pMatchMode)) {
    // The point first: if marking it fails, the entry is still there and nothing disagrees.
    featureSpace_deletePoint(pThis->featureSpace, index);
    entryList_deleteEntry(pThis->entryList, index);
    pThis->modificationFlags |= knowledgeBase_changed | knowledgeBase_defragmentationDue;
    pThis->generation = knowledgeBase_newGeneration();
  }
}

knowledgeBaseSettings knowledgeBase_getSettings(const knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_getSettings");
  return knowledgeBase_settingsOf(pThis);
}

uint64_t knowledgeBase_getGeneration(const knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_getGeneration");
  return pThis->generation;
}

uint64_t knowledgeBase_getIndexGeneration(const knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_getIndexGeneration");
  return pThis->indexGeneration;
}

const char* knowledgeBase_getPrimaryKey(const knowledgeBase* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_getPrimaryKey");
  if (!entryList_isValidEntry(pThis->entryList, pIndex)) return nullptr;
  return entryList_getEntry(pThis->entryList, pIndex)->primaryKey;
}

int32_t knowledgeBase_getIndexCount(const knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_getIndexCount");
  return entryList_getMaxIndex(pThis->entryList) + 1;
}
