#include "searchTarget.h"

#include <filesystem>

#include "../common/shardMerge.h"
#include "failure.h"

namespace veskorcli {
namespace {

veskorshards::ShardSettings settingsOf(const veskorKBInfo& info) {
  return {info.language, info.encoding, info.entryInformation, info.featureType};
}

template <class Hit>
std::vector<Hit> merged(std::vector<std::vector<Hit>> lists, int maxHits) {
  return veskorshards::mergeHits(std::move(lists), static_cast<std::size_t>(maxHits),
                                 [](const Hit& hit) { return hit.confidence; });
}

}  // namespace

SearchTarget::SearchTarget(const Engine& engine, const std::string& path, const std::string& namePrefix) {
  namespace fs = std::filesystem;
  if (!veskorshards::isShardedDirectory(path)) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
      throw fileError(path + ": a directory without " + veskorshards::kManifestName +
                      " is no sharded knowledge base");
    }
    kbs_.push_back(std::make_unique<OpenKb>(engine, path, namePrefix));
    info_ = kbs_.front()->info();
    return;
  }
  veskorshards::ShardManifest manifest;
  try {
    manifest = veskorshards::readManifest(path);
  } catch (const veskorshards::ManifestError& error) {
    throw fileError(error.what());
  }
  isSharded_ = true;
  info_ = {};
  for (std::size_t s = 0; s < manifest.shards.size(); ++s) {
    const std::string file = (fs::path(path) / manifest.shards[s].file).string();
    kbs_.push_back(std::make_unique<OpenKb>(engine, file, namePrefix + "." + std::to_string(s)));
    const veskorKBInfo info = kbs_.back()->info();
    if (!(settingsOf(info) == manifest.settings)) {
      throw fileError(file + ": its settings differ from those of " + veskorshards::kManifestName);
    }
    if (s == 0) info_ = info, info_.numberEntries = 0;
    info_.numberEntries += info.numberEntries;
  }
  if (!manifest.words.empty()) wordsFile_ = (fs::path(path) / manifest.words).string();
}

std::vector<EntryHit> SearchTarget::findEntries(const Engine& engine, const char* wkb, const char* wa,
                                                const SearchSettings& settings,
                                                const std::string& latin1Query) const {
  if (kbs_.size() == 1) return veskorcli::findEntries(engine, kbs_[0]->name(), wkb, wa, settings, latin1Query);
  std::vector<std::vector<EntryHit>> lists;
  for (const auto& kb : kbs_) lists.push_back(veskorcli::findEntries(engine, kb->name(), wkb, wa, settings, latin1Query));
  return merged(std::move(lists), settings.maxHits);
}

std::vector<DocumentHit> SearchTarget::findDocuments(const Engine& engine, const char* wkb, const char* wa,
                                                     const SearchSettings& settings,
                                                     const std::string& latin1Query) const {
  if (kbs_.size() == 1) return veskorcli::findDocuments(engine, kbs_[0]->name(), wkb, wa, settings, latin1Query);
  std::vector<std::vector<DocumentHit>> lists;
  for (const auto& kb : kbs_) {
    lists.push_back(veskorcli::findDocuments(engine, kb->name(), wkb, wa, settings, latin1Query));
  }
  return merged(std::move(lists), settings.maxHits);
}

std::vector<DocumentHit> SearchTarget::compareDocument(const Engine& engine, const char* wkb,
                                                       const SearchSettings& settings,
                                                       const std::string& latin1Text) const {
  if (kbs_.size() == 1) return veskorcli::compareDocument(engine, kbs_[0]->name(), wkb, settings, latin1Text);
  std::vector<std::vector<DocumentHit>> lists;
  for (const auto& kb : kbs_) lists.push_back(veskorcli::compareDocument(engine, kb->name(), wkb, settings, latin1Text));
  return merged(std::move(lists), settings.maxHits);
}

}  // namespace veskorcli
