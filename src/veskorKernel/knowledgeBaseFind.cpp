// Searching a knowledge base: the similarity search (with copies of the entries or without), the
// exact look-up by text and the document frequency of a feature.
#include <utility>
#include <vector>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlThreadLocal.h"
#include "orlBasics/scopeGuard.h"
#include "veskorKernel/knowledgeBaseFeatures.h"
#include "veskorKernel/knowledgeBaseRecord.h"
#include "veskorKernel/knowledgeBaseText.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::knowledgeBase;

// Per-thread scratch of the searches (made on first use, see orlThreadLocal.h). A callback that
// searches again takes fresh vectors, since each is taken out while in use.
struct FindScratch {
  veskorKernel::FeatureViews seekFeatures;
  std::vector<featureSpaceHit> found;
  std::vector<knowledgeBaseHit> hits;
};

void checkFindArguments(const knowledgeBase* kb, const char* seekString, int32_t numberResults) {
  if (kb == nullptr || seekString == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pSeekString == NULL in knowledgeBase_find");
  if (numberResults < 1 || numberResults > knowledgeBase_maxNumberResults) {
    ORL_RAISE(kGroup, 13, "Ung\xFCltige Trefferzahl in knowledgeBase_find");
  }
}

// The ranked points for the seek string; returns the number of its distinct features.
int32_t rankPoints(const knowledgeBase* kb, const char* seekString, int32_t numberResults,
                   std::vector<featureSpaceHit>& found) {
  checkFindArguments(kb, seekString, numberResults);
  FindScratch& scratch = orl::threadLocal<FindScratch>();
  veskorKernel::FeatureViews features = std::move(scratch.seekFeatures);
  orl::ScopeGuard giveBack([&] { scratch.seekFeatures = std::move(features); });
  veskorKernel::PreparedText prepared = veskorKernel::prepareText(kb, seekString);
  veskorKernel::computeDistinctFeatures(kb, prepared.featureText(), features);
  featureSpace_findEntries(kb->featureSpace, features, numberResults, found);
  return static_cast<int32_t>(features.size());
}

// Appends a hit with copies of the entry.
void appendHit(knowledgeBaseResultList& list, const knowledgeBase* kb, int32_t index,
               int32_t numberFeaturesOfSeekString, double confidence) {
  const entry* stored = entryList_getEntry(kb->entryList, index);
  knowledgeBaseSearchHit& hit = list.emplace_back();
  hit.primaryKey.reset(orlStrdup(stored->primaryKey));
  hit.text.reset(orlStrdup(stored->text));
  if (stored->syntacticFeatures != nullptr) {
    // The list's own block length, which every stored block has (82 in knowledge bases).
    hit.syntacticFeatures.assign(stored->syntacticFeatures,
                                 stored->syntacticFeatures + kb->entryList->numberSyntacticFeatures);
  }
  hit.value = stored->value;
  hit.numberFeaturesOfSeekString = numberFeaturesOfSeekString;
  hit.confidence = confidence;
}

}  // namespace

knowledgeBaseResultList knowledgeBase_find(const knowledgeBase* pThis, const char* pSeekString,
                                           int32_t pNumberResults) {
  FindScratch& scratch = orl::threadLocal<FindScratch>();
  std::vector<featureSpaceHit> found = std::move(scratch.found);
  orl::ScopeGuard giveBack([&] { scratch.found = std::move(found); });
  int32_t numberFeatures = rankPoints(pThis, pSeekString, pNumberResults, found);
  knowledgeBaseResultList result;
  result.reserve(found.size());
  for (const featureSpaceHit& hit : found)
    appendHit(result, pThis, hit.index, numberFeatures, hit.confidence);
  return result;
}

void knowledgeBase_findEach(const knowledgeBase* pThis, const char* pSeekString, int32_t pNumberResults,
                            const std::function<void(std::span<const knowledgeBaseHit>)>& onHits) {
  FindScratch& scratch = orl::threadLocal<FindScratch>();
  std::vector<featureSpaceHit> found = std::move(scratch.found);
  std::vector<knowledgeBaseHit> hits = std::move(scratch.hits);
  orl::ScopeGuard giveBack([&] {
    scratch.found = std::move(found);
    scratch.hits = std::move(hits);
  });
  rankPoints(pThis, pSeekString, pNumberResults, found);
  hits.clear();
  hits.reserve(found.size());
  for (const featureSpaceHit& hit : found) {
    const entry* stored = entryList_getEntry(pThis->entryList, hit.index);
    hits.push_back({hit.index, stored->primaryKey, hit.confidence, stored->text});
  }
  onHits(hits);
}

knowledgeBaseResultList knowledgeBase_findByText(const knowledgeBase* pThis, const char* pSeekString,
                                                 int32_t pNumberResults) {
  checkFindArguments(pThis, pSeekString, pNumberResults);
  orl::OwnedText text(knowledgeBase_preprocessText(pThis, pSeekString));
  std::vector<int32_t> indices = entryList_findEntryByText(pThis->entryList, text.get());
  knowledgeBaseResultList result;
  result.reserve(indices.size());
  for (int32_t index : indices) appendHit(result, pThis, index, 0, 1.0);
  return result;
}

int32_t knowledgeBase_getDocumentFrequency(const knowledgeBase* pThis, std::string_view pFeature) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_getDocumentFrequency");
  const featureRecord* record = featureSpace_findFeature(pThis->featureSpace, pFeature);
  return record != nullptr ? record->set.count : -1;
}

void knowledgeBase_forEachFeature(
    const knowledgeBase* pThis,
    const std::function<void(const char* feature, std::span<const int32_t> entries)>& onFeature) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_forEachFeature");
  hash_scan_t scan;
  hash_scan_begin(&scan, pThis->featureSpace->features);
  while (hnode_t* node = hash_scan_next(&scan)) {
    const auto* record = static_cast<const featureRecord*>(hnode_get(node));
    onFeature(record->text, std::span<const int32_t>(record->set.indices, static_cast<std::size_t>(record->set.count)));
  }
}

bool knowledgeBase_isValidEntry(const knowledgeBase* pThis, int32_t pIndex) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_isValidEntry");
  return entryList_isValidEntry(pThis->entryList, pIndex);
}
