#include "kbFile.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "failure.h"

namespace veskorcli {
namespace {

// Tag, version, encoding, language, entry information, feature type; then the entry list's tag,
// version, feature-byte count and number of entries.
constexpr size_t headerSize = 40;

int32_t int32At(const unsigned char* bytes, size_t offset) {
  const uint32_t value =
      static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
      static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
  return static_cast<int32_t>(value);
}

}  // namespace

KbFileInfo readKbFileInfo(const std::string& fileName) {
  std::error_code error;
  const uint64_t size = std::filesystem::file_size(fileName, error);
  if (error) throw fileError(fileName + ": " + error.message());
  std::ifstream in(fileName, std::ios::binary);
  unsigned char bytes[headerSize];
  if (!in.read(reinterpret_cast<char*>(bytes), headerSize)) {
    if (!in.is_open()) throw fileError(fileName + ": cannot be read");
    throw fileError(fileName + ": not a knowledge-base file (too short)");
  }
  if (std::memcmp(bytes, "KBSE", 4) != 0 || std::memcmp(bytes + 24, "ELST", 4) != 0) {
    throw fileError(fileName + ": not a knowledge-base file");
  }
  KbFileInfo info;
  info.version = int32At(bytes, 4);
  info.encoding = int32At(bytes, 8);
  info.language = int32At(bytes, 12);
  info.entryInformation = int32At(bytes, 16);
  info.featureType = int32At(bytes, 20);
  info.numberSyntacticFeatures = int32At(bytes, 32);
  info.numberEntries = int32At(bytes, 36);
  info.fileSize = size;
  if (info.version != 1 || int32At(bytes, 28) != 1) {
    throw fileError(fileName + ": unsupported knowledge-base file version " + std::to_string(info.version));
  }
  return info;
}

std::string kbKindName(const KbFileInfo& info) {
  if (info.featureType == 2) return "documents";
  if (info.featureType == 1 && (info.entryInformation & 8) != 0) return "words";
  if (info.featureType == 1) return "entries";
  return "other";
}

}  // namespace veskorcli
