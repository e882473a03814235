// The knowledge-base record, private to the kernel (and its tests): other layers go through the
// functions of knowledgeBase.h.
#pragma once

#include <atomic>
#include <cstdint>

#include "orlBasics/orlFile.h"
#include "veskorKernel/entryList.h"
#include "veskorKernel/featureSpace.h"
#include "veskorKernel/knowledgeBase.h"

// modificationFlags
inline constexpr int32_t knowledgeBase_changed = 1;
inline constexpr int32_t knowledgeBase_defragmentationDue = 2;

struct knowledgeBase {
  int32_t version;
  // The settings as stored (see knowledgeBaseSettings); a file's values are taken as they are.
  int32_t encoding;
  int32_t language;
  int32_t entryInformation;
  int32_t featureType;
  orlFileTime lastSaveTime;  // of the bound file when this object last loaded or saved it
  char* fileName;            // null when not bound
  int32_t modificationFlags;
  struct entryList* entryList;
  struct featureSpace* featureSpace;
  // Stamp of the current content, unique in the process (see knowledgeBase_getGeneration).
  uint64_t generation = 0;
  // Stamp of the numbering of the entries: renewed only when indices may change hands.
  uint64_t indexGeneration = 0;
};

// A stamp no knowledge base has had yet: taken when one is made or loaded and at every change.
inline uint64_t knowledgeBase_newGeneration() {
  static std::atomic<uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

inline knowledgeBaseSettings knowledgeBase_settingsOf(const knowledgeBase* kb) {
  return knowledgeBaseSettings{kb->language, kb->encoding, kb->entryInformation, kb->featureType};
}
