#include "veskorKernel/featureSpace.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "veskorKernel/featureIndex.h"
#include "veskorKernel/featureMembers.h"
#include "veskorKernel/featureRecord.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::featureSpace;
constexpr int32_t kInitialSetLength = 10;

// A new feature: its record goes into the owning table and the look-up index, or nowhere.
featureRecord* addFeature(featureSpace* space, std::string_view text) {
  veskorKernel::FeatureRecordPtr record(veskorKernel::featureRecord_create(text));
  entrySet_init(&record->set, kInitialSetLength);
  space->index->reserveOneMore();
  hash_alloc_insert(space->features, record->text, record.get());
  space->index->insert(record.get());
  return record.release();
}

// Takes a feature added by a failed call out again, without resizing the table (no failure here).
void dropNewFeature(featureSpace* space, featureRecord* record) noexcept {
  space->index->erase(record);
  if (hnode_t* node = hash_lookup(space->features, record->text)) {
    hash_scan_delete(space->features, node);
    space->features->freenode(node, space->features->context);
  }
  veskorKernel::featureRecord_free(record);
}

void popIndex(featureRecord* record, int32_t index) noexcept {
  entrySet* set = &record->set;
  if (set->count == 0 || set->indexMax != index) return;
  --set->count;
  set->indexMax = set->count > 0 ? set->indices[set->count - 1] : -1;
  veskorKernel::featureMembers_remove(record, index);
}

}  // namespace

namespace veskorKernel {

featureRecord* featureRecord_create(std::string_view text) {
  if (text.size() > INT32_MAX) ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in orlMalloc");
  auto* record = static_cast<featureRecord*>(orlMalloc(sizeof(featureRecord) + text.size() + 1));
  record->text = reinterpret_cast<char*>(record + 1);
  std::memcpy(record->text, text.data(), text.size());
  record->text[text.size()] = 0;
  record->length = static_cast<int32_t>(text.size());
  record->set = entrySet{-1, 0, 0, nullptr};
  record->nextRemoved = nullptr;
  record->members = nullptr;
  record->memberWords = 0;
  return record;
}

void featureRecord_free(featureRecord* record) noexcept {
  if (record == nullptr) return;
  featureMembers_drop(record);
  orlFree(record->set.indices);
  orlFree(record);
}

}  // namespace veskorKernel

featureSpace* featureSpace_create() {
  orl::FeatureSpacePtr space(new featureSpace);
  space->features = hash_create(ULONG_MAX, nullptr, nullptr);
  space->index = new featureIndex;
  return space.release();
}

void featureSpace_free(featureSpace* pThis) noexcept {
  if (pThis == nullptr) return;
  if (pThis->features != nullptr) {
    hash_scan_t scan;
    hash_scan_begin(&scan, pThis->features);
    while (hnode_t* node = hash_scan_next(&scan))
      veskorKernel::featureRecord_free(static_cast<featureRecord*>(hnode_get(node)));
    hash_free(pThis->features);
  }
  delete pThis->index;
  delete pThis;
}

int32_t featureSpace_addEntry(featureSpace* pThis, std::span<const std::string_view> pFeatureIDs,
                              int32_t pIndexEntry) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL || pFeatureIDs == NULL in featureSpace_addEntry");
  if (pIndexEntry <= pThis->highestIndex) {
    ORL_RAISE(kGroup, 1, "pIndexEntry <= pThis->highestIndex in featureSpace_addEntry");
  }
  // Deletion marks, once there are any, cover every point; the new one is not deleted.
  std::vector<unsigned char>& flags = pThis->deletedFlags;
  if (!flags.empty() && flags.size() <= static_cast<std::size_t>(pIndexEntry)) {
    flags.resize(static_cast<std::size_t>(pIndexEntry) + 1, 0);
  }
  pThis->highestIndex = pIndexEntry;
  featureRecord* created = nullptr;  // linked through nextRemoved
  std::size_t done = 0;
  try {
    for (; done < pFeatureIDs.size(); ++done) {
      featureRecord* record = pThis->index->find(pFeatureIDs[done]);
      if (record == nullptr) {
        record = addFeature(pThis, pFeatureIDs[done]);
        record->nextRemoved = created;
        created = record;
      }
      entrySet_appendIndex(&record->set, pIndexEntry);
      veskorKernel::featureMembers_update(record, pIndexEntry);
    }
  } catch (...) {
    // No set may keep the index of a point that was not added: a search would return it.
    for (std::size_t i = 0; i < done; ++i) {
      if (featureRecord* record = pThis->index->find(pFeatureIDs[i])) popIndex(record, pIndexEntry);
    }
    while (created != nullptr) {
      featureRecord* next = created->nextRemoved;
      dropNewFeature(pThis, created);
      created = next;
    }
    throw;
  }
  return pIndexEntry;
}

void featureSpace_deletePoint(featureSpace* pThis, int32_t pIndexEntry) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in featureSpace_deletePoint");
  if (pThis->deletedFlags.empty())
    pThis->deletedFlags.resize(static_cast<std::size_t>(pThis->highestIndex) + 2, 0);
  if (pIndexEntry < 0 || static_cast<std::size_t>(pIndexEntry) >= pThis->deletedFlags.size())
    ORL_RAISE(kGroup, 1, "pIndexEntry ung\xFCltig in featureSpace_deletePoint");
  unsigned char& flag = pThis->deletedFlags[static_cast<std::size_t>(pIndexEntry)];
  if (flag != 0)
    ORL_RAISE(kGroup, 1, "point of featureSpace was already deleted in featureSpace_deletePoint");
  flag = 1;
}

void featureSpace_removePointsFrom(featureSpace* pThis, int32_t pIndexEntry, int32_t pHighestIndex) noexcept {
  if (pThis == nullptr || pIndexEntry < 0) return;
  featureRecord* emptied = nullptr;
  hash_scan_t scan;
  hash_scan_begin(&scan, pThis->features);
  while (hnode_t* node = hash_scan_next(&scan)) {
    auto* record = static_cast<featureRecord*>(hnode_get(node));
    if (record->set.indexMax < pIndexEntry) continue;
    // The points are the newest, so they are the last indices of each set.
    while (record->set.count > 0 && record->set.indexMax >= pIndexEntry)
      popIndex(record, record->set.indexMax);
    if (record->set.count == 0) {
      record->nextRemoved = emptied;
      emptied = record;
    }
  }
  while (emptied != nullptr) {
    featureRecord* next = emptied->nextRemoved;
    dropNewFeature(pThis, emptied);
    emptied = next;
  }
  // Indices that are used again must not come back deleted.
  std::vector<unsigned char>& flags = pThis->deletedFlags;
  if (flags.size() > static_cast<std::size_t>(pIndexEntry)) {
    std::fill(flags.begin() + pIndexEntry, flags.end(), static_cast<unsigned char>(0));
  }
  pThis->highestIndex = pHighestIndex;
}

void featureSpace_defragment(featureSpace* pThis, std::span<const int32_t> pIndexMappingFSPPoints) {
  if (pThis == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pIndexMappingFSPPoints == NULL in featureSpace_defragment");
  }
  hash_scan_t scan;
  // Checked before anything changes: a mapping that does not cover every point leaves all as it was.
  hash_scan_begin(&scan, pThis->features);
  while (hnode_t* node = hash_scan_next(&scan)) {
    if (static_cast<featureRecord*>(hnode_get(node))->set.indexMax >=
        static_cast<int64_t>(pIndexMappingFSPPoints.size())) {
      ORL_RAISE(kGroup, 1, "pIndexMappingFSPPoints zu kurz in featureSpace_defragment");
    }
  }
  std::vector<unsigned char>().swap(pThis->deletedFlags);
  int32_t highest = -1;
  for (int32_t mapped : pIndexMappingFSPPoints) highest = std::max(highest, mapped);
  pThis->highestIndex = highest;
  featureRecord* emptied = nullptr;
  hash_scan_begin(&scan, pThis->features);
  while (hnode_t* node = hash_scan_next(&scan)) {
    auto* record = static_cast<featureRecord*>(hnode_get(node));
    entrySet_defragment(&record->set, pIndexMappingFSPPoints);
    veskorKernel::featureMembers_rebuild(record, highest);
    if (record->set.count == 0) {
      record->nextRemoved = emptied;
      emptied = record;
    }
  }
  while (emptied != nullptr) {
    featureRecord* next = emptied->nextRemoved;
    pThis->index->erase(emptied);
    hash_delete_free(pThis->features, hash_lookup(pThis->features, emptied->text));
    veskorKernel::featureRecord_free(emptied);
    emptied = next;
  }
}

const featureRecord* featureSpace_findFeature(const featureSpace* pThis, std::string_view pFeature) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in featureSpace_findFeature");
  return pThis->index->find(pFeature);
}

int32_t featureSpace_getNumberFeatures(const featureSpace* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in featureSpace_getNumberFeatures");
  return static_cast<int32_t>(hash_count(pThis->features));
}
