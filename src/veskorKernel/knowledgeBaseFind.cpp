#include "orlBasics/orlException.h"
#include "orlBasics/orlThreadLocal.h"
#include "orlBasics/scopeGuard.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorKernel/knowledgeBaseFeatures.h"

namespace {

constexpr int32_t kGroup = 20;

struct SeekFeatures {
  veskorKernel::FeatureViews features;
};

void checkFindArguments(const knowledgeBase* kb, const char* seekString, int32_t numberResults) {
  if (kb == nullptr || seekString == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pSeekString == NULL in knowledgeBase_find");
  if (numberResults < 1 || numberResults > knowledgeBase_maxNumberResults) {
    ORL_RAISE(kGroup, 13, "Ung\xFCltige Trefferzahl in knowledgeBase_find");
  }
}

// Appends a hit with copies of the entry; the list owns the copies from then on.
void appendHit(knowledgeBaseResultList* list, const entry* e, int32_t numberSyntacticFeatures,
               const featureSpaceSearchHit* featureSpaceHit) {
  knowledgeBaseSearchHit hit;
  knowledgeBaseSearchHit_init(&hit, e, numberSyntacticFeatures, featureSpaceHit);
  orl::ScopeGuard cleanUp([&hit] { knowledgeBaseSearchHit_cleanUp(&hit); });
  knowledgeBaseResultList_appendElement(list, &hit);
  cleanUp.dismiss();
}

}  // namespace

knowledgeBaseResultList* knowledgeBase_find(const knowledgeBase* pThis, const char* pSeekString,
                                            int32_t pNumberResults) {
  checkFindArguments(pThis, pSeekString, pNumberResults);
  veskorKernel::PreparedText prepared = veskorKernel::prepareText(pThis, pSeekString);
  veskorKernel::FeatureViews& seekFeatures = orl::threadLocal<SeekFeatures>().features;
  veskorKernel::computeDistinctFeatures(pThis, prepared.featureText(), seekFeatures);
  orl::FeatureSpaceResultListPtr found(
      featureSpace_findEntries(pThis->featureSpace, seekFeatures, pNumberResults));
  return knowledgeBase_buildResultList(pThis, found.get());
}

knowledgeBaseResultList* knowledgeBase_findByText(const knowledgeBase* pThis, const char* pSeekString,
                                                  int32_t pNumberResults) {
  checkFindArguments(pThis, pSeekString, pNumberResults);
  orl::OwnedText text(knowledgeBase_preprocessText(pThis, pSeekString));
  orl::VectorPtr indices(entryList_findEntryByText(pThis->entryList, text.get()));
  orl::KnowledgeBaseResultListPtr result(knowledgeBaseResultList_create(indices->numberElements));
  int32_t numberSyntacticFeatures = pThis->entryList->numberSyntacticFeatures;
  for (int32_t i = 0; i < indices->numberElements; ++i) {
    const entry* e = entryList_getEntry(pThis->entryList, orl::vectorAt<int32_t>(indices.get(), i));
    appendHit(result.get(), e, numberSyntacticFeatures, nullptr);
    knowledgeBaseResultList_getElement(result.get(), i)->confidence = 1.0;
  }
  return result.release();
}

knowledgeBaseResultList* knowledgeBase_buildResultList(
    const knowledgeBase* pThis, const featureSpaceResultList* pResultListFeatureSpace) {
  if (pThis == nullptr || pResultListFeatureSpace == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pResultListFeatureSpace == NULL in knowledgeBase_buildResultList");
  }
  int32_t count = featureSpaceResultList_getNumberElements(pResultListFeatureSpace);
  orl::KnowledgeBaseResultListPtr result(knowledgeBaseResultList_create(count));
  // The list's own block length, which every stored block has (82 in knowledge bases).
  int32_t numberSyntacticFeatures = pThis->entryList->numberSyntacticFeatures;
  for (int32_t i = 0; i < count; ++i) {
    const auto& found = orl::vectorAt<featureSpaceSearchHit>(pResultListFeatureSpace, i);
    appendHit(result.get(), entryList_getEntry(pThis->entryList, found.indexOfHit), numberSyntacticFeatures,
              &found);
  }
  return result.release();
}
