// What a knowledge-base file holds, independent of the order the feature space happens to store
// its features in (that follows the history of the hash table, which a reload changes): the
// settings, the entries in index order and, per feature in text order, the indices that have it.
// Two files with the same dump answer every search alike.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "orlBasics/orlException.h"
#include "veskorKernel/knowledgeBaseRecord.h"

namespace veskortest {

inline std::string dumpKnowledgeBase(const knowledgeBase* kb) {
  std::string out;
  char line[96];
  std::snprintf(line, sizeof line, "settings %d %d %d %d\n", kb->encoding, kb->language, kb->entryInformation,
                kb->featureType);
  out += line;
  for (int32_t i = 0; i <= entryList_getMaxIndex(kb->entryList); ++i) {
    if (!entryList_isValidEntry(kb->entryList, i)) {
      out += "hole\n";
      continue;
    }
    const entry* e = entryList_getEntry(kb->entryList, i);
    std::snprintf(line, sizeof line, " %.17g\n", e->value);
    out += std::string(e->primaryKey != nullptr ? e->primaryKey : "<null>") + " | " +
           (e->text != nullptr ? e->text : "<null>") + line;
  }
  std::vector<std::pair<std::string, std::string>> features;
  hash_scan_t scan;
  hash_scan_begin(&scan, kb->featureSpace->features);
  while (hnode_t* node = hash_scan_next(&scan)) {
    const auto* record = static_cast<const featureRecord*>(hnode_get(node));
    std::string indices;
    for (int32_t i = 0; i < record->set.count; ++i) indices += " " + std::to_string(record->set.indices[i]);
    features.emplace_back(std::string(record->text, static_cast<std::size_t>(record->length)), indices);
  }
  std::sort(features.begin(), features.end());
  for (const auto& [text, indices] : features) out += "[" + text + "]" + indices + "\n";
  return out;
}

// The dump of the file, or the reason it does not load.
inline std::string dumpKnowledgeBaseFile(const std::string& fileName) {
  try {
    orl::KnowledgeBasePtr kb(knowledgeBase_createFromFile(fileName.c_str()));
    return dumpKnowledgeBase(kb.get());
  } catch (const orl::Exception& e) {
    return "does not load: " + std::string(e.message());
  }
}

}  // namespace veskortest
