// What the search commands search: one knowledge-base file, or every shard of a sharded
// directory, whose answers are merged into the ranking one knowledge base of all the entries gives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "../common/shardManifest.h"
#include "engine.h"
#include "operations.h"

namespace veskorcli {

class SearchTarget {
 public:
  // path: a knowledge-base file or a sharded directory; the knowledge bases are opened under
  // names that begin with namePrefix.
  SearchTarget(const Engine& engine, const std::string& path, const std::string& namePrefix = "akb");

  bool sharded() const { return isSharded_; }
  // Settings of the (first) knowledge base; numberEntries counts the entries of all shards.
  const veskorKBInfo& info() const { return info_; }
  // The word knowledge base a sharded document knowledge base brings, or empty.
  const std::string& wordsFile() const { return wordsFile_; }

  // As the functions of operations.h, over every shard; thread-safe.
  std::vector<EntryHit> findEntries(const Engine& engine, const char* wkb, const char* wa,
                                    const SearchSettings& settings, const std::string& latin1Query) const;
  std::vector<DocumentHit> findDocuments(const Engine& engine, const char* wkb, const char* wa,
                                         const SearchSettings& settings, const std::string& latin1Query) const;
  std::vector<DocumentHit> compareDocument(const Engine& engine, const char* wkb, const SearchSettings& settings,
                                           const std::string& latin1Text) const;

 private:
  std::vector<std::unique_ptr<OpenKb>> kbs_;
  bool isSharded_ = false;
  std::string wordsFile_;
  veskorKBInfo info_{};
};

}  // namespace veskorcli
