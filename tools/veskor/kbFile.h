// Reads the fixed header at the start of a knowledge-base file without loading it: the settings
// record and the entry count of the entry-list section that follows it.
#pragma once

#include <cstdint>
#include <string>

namespace veskorcli {

struct KbFileInfo {
  int32_t version = 0;
  int32_t encoding = 0;
  int32_t language = 0;
  int32_t entryInformation = 0;
  int32_t featureType = 0;
  int32_t numberSyntacticFeatures = 0;
  int32_t numberEntries = 0;
  uint64_t fileSize = 0;
};

// Failure (exit code 4) when the file cannot be read or does not start like a knowledge base.
KbFileInfo readKbFileInfo(const std::string& fileName);

// "entries", "documents", "words", or "other" for settings the tool never creates.
std::string kbKindName(const KbFileInfo& info);

}  // namespace veskorcli
