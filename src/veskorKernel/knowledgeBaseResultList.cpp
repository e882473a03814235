#include "veskorKernel/knowledgeBaseResultList.h"

#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "orlBasics/scopeGuard.h"
#include "veskorKernel/entryList.h"

namespace {
constexpr int32_t kGroup = orl::errorGroup::knowledgeBaseResultList;
constexpr int32_t kListStep = 64;
}  // namespace

void knowledgeBaseSearchHit_init(knowledgeBaseSearchHit* pThis, const entry* pEntry,
                                 int32_t pNumberSyntacticFeatures, int32_t pNumberFeaturesOfSeekString,
                                 double pConfidence) {
  if (pThis == nullptr || pEntry == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pEntry == NULL in knowledgeBaseSearchHit_init");
  }
  std::memset(pThis, 0, sizeof *pThis);
  orl::ScopeGuard cleanUp([&] { knowledgeBaseSearchHit_cleanUp(pThis); });
  pThis->primaryKey = orlStrdup(pEntry->primaryKey);
  pThis->text = orlStrdup(pEntry->text);
  if (pEntry->syntacticFeatures != nullptr && pNumberSyntacticFeatures >= 0) {
    pThis->syntacticFeatures = static_cast<unsigned char*>(
        orlMemdup(pEntry->syntacticFeatures, static_cast<std::size_t>(pNumberSyntacticFeatures)));
  }
  pThis->numberSyntacticFeatures = pNumberSyntacticFeatures;
  pThis->value = pEntry->value;
  pThis->numberFeaturesOfSeekString = pNumberFeaturesOfSeekString;
  pThis->confidence = pConfidence;
  cleanUp.dismiss();
}

void knowledgeBaseSearchHit_cleanUp(knowledgeBaseSearchHit* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBaseSearchHit_cleanUp");
  orlFree(pThis->primaryKey);
  orlFree(pThis->text);
  orlFree(pThis->syntacticFeatures);
  std::memset(pThis, 0, sizeof *pThis);
}

knowledgeBaseResultList* knowledgeBaseResultList_create(int32_t pExpectedNumber) {
  if (pExpectedNumber < 0) ORL_RAISE(kGroup, 1, "pExpectedNumber < 0 in knowledgeBaseResultList_create");
  return vector_create(sizeof(knowledgeBaseSearchHit), pExpectedNumber, kListStep);
}

void knowledgeBaseResultList_free(knowledgeBaseResultList* pThis) noexcept {
  if (pThis == nullptr) return;
  knowledgeBaseSearchHit* hits = static_cast<knowledgeBaseSearchHit*>(pThis->buffer);
  for (int32_t i = 0; i < pThis->numberElements; ++i) knowledgeBaseSearchHit_cleanUp(&hits[i]);
  vector_free(pThis);
}

int32_t knowledgeBaseResultList_getNumberElements(const knowledgeBaseResultList* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBaseResultList_getNumberElements");
  return pThis->numberElements;
}

knowledgeBaseSearchHit* knowledgeBaseResultList_getElement(const knowledgeBaseResultList* pThis,
                                                           int32_t pPosition) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBaseResultList_getElement");
  return static_cast<knowledgeBaseSearchHit*>(vector_getElement(pThis, pPosition));
}

void knowledgeBaseResultList_appendElement(knowledgeBaseResultList* pThis,
                                           const knowledgeBaseSearchHit* pHit) {
  if (pThis == nullptr || pHit == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pHit == NULL in knowledgeBaseResultList_appendElement");
  }
  vector_appendElement(pThis, pHit);
}
