// veskor shard build / info: sharded knowledge bases, a directory of ordinary knowledge-base files
// with a manifest (tools/common/shardManifest.h).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "../common/shardManifest.h"
#include "../common/shardMerge.h"
#include "commands.h"
#include "engine.h"
#include "failure.h"
#include "operations.h"
#include "progress.h"

namespace veskorcli {
namespace {

namespace fs = std::filesystem;
using veskorshards::ShardManifest;

struct BuildArguments {
  std::string directory;
  std::string input;
  std::size_t shards = 0;
  std::string kind = "entries";
  KbExtras extras;
  bool force = false;
  bool strict = false;
};

// The files a build makes, removed again unless the build completes.
class BuildFiles {
 public:
  explicit BuildFiles(fs::path directory) : directory_(std::move(directory)) {}
  ~BuildFiles() {
    if (done_) return;
    std::error_code ignored;
    for (const fs::path& file : files_) fs::remove(file, ignored);
    if (madeDirectory_) fs::remove(directory_, ignored);
  }
  BuildFiles(const BuildFiles&) = delete;
  BuildFiles& operator=(const BuildFiles&) = delete;

  void madeDirectory() { madeDirectory_ = true; }
  fs::path add(const std::string& name) { return files_.emplace_back(directory_ / name); }
  void keep() { done_ = true; }

 private:
  fs::path directory_;
  std::vector<fs::path> files_;
  bool madeDirectory_ = false;
  bool done_ = false;
};

// An empty directory to build in: made if missing; a sharded knowledge base there is replaced only
// with --force (its manifest and the files it names are removed); anything else is left alone.
void prepareDirectory(const fs::path& directory, bool force, BuildFiles& files) {
  std::error_code error;
  if (!fs::exists(directory, error)) {
    fs::create_directories(directory);
    files.madeDirectory();
    return;
  }
  if (!fs::is_directory(directory, error)) throw fileError(directory.string() + ": exists and is not a directory");
  if (fs::is_empty(directory, error)) return;
  if (!veskorshards::isShardedDirectory(directory)) {
    throw fileError(directory.string() + ": not empty and no sharded knowledge base; nothing replaced");
  }
  if (!force) throw fileError(directory.string() + ": holds a sharded knowledge base (--force replaces it)");
  ShardManifest old;
  try {
    old = veskorshards::readManifest(directory);
  } catch (const veskorshards::ManifestError& failure) {
    throw fileError(std::string(failure.what()) + "; nothing replaced");
  }
  fs::remove(directory / veskorshards::kManifestName);
  for (const auto& shard : old.shards) fs::remove(directory / shard.file, error);
  if (!old.words.empty()) fs::remove(directory / old.words, error);
}

// Entry lines of the input that the build will add, counted by a silent first pass.
uint64_t countEntryLines(const std::string& input, const TextCodec& codec) {
  std::ifstream in(input, std::ios::binary);
  if (!in) throw fileError(input + ": cannot be opened");
  EntryLineReader reader(in, input, codec, false, nullptr);
  uint64_t count = 0;
  std::string key, text;
  while (reader.next(key, text)) ++count;
  return count;
}

// Standard input cannot be read twice: it is copied into the directory for the build.
std::string spoolStandardInput(BuildFiles& files) {
  const fs::path path = files.add(".input.tmp");
  std::ofstream out(path, std::ios::binary);
  out << std::cin.rdbuf();
  if (std::cin.bad() || !out.flush()) throw fileError(path.string() + ": cannot be written");
  return path.string();
}

void build(const GlobalOptions& options, const BuildArguments& args) {
  const TextCodec codec = options.codec();
  const bool documents = args.kind == "documents";
  const fs::path directory(args.directory);
  BuildFiles files(directory);
  const bool fromStdin = args.input == "-";
  if (!fromStdin && !fs::is_regular_file(args.input)) throw fileError(args.input + ": cannot be opened");
  prepareDirectory(directory, args.force, files);
  const std::string input = fromStdin ? spoolStandardInput(files) : args.input;
  const std::string inputName = fromStdin ? "<stdin>" : args.input;
  const uint64_t total = countEntryLines(input, codec);

  const Engine engine(codec, options.verbose);
  ShardManifest manifest;
  manifest.kind = args.kind;
  std::optional<OpenKb> words;
  if (documents) {
    // One word knowledge base for all shards: a document search then picks the same similar words
    // in every shard.
    manifest.words = "words.kb";
    const fs::path path = files.add(manifest.words);
    createKbFile(engine, path.string(), KbKind::words);
    words.emplace(engine, path.string(), "words");
  }
  std::ifstream in(input, std::ios::binary);
  if (!in) throw fileError(input + ": cannot be opened");
  Progress progress(documents ? "documents" : "entries", fs::file_size(input));
  EntryLineReader reader(in, inputName, codec, args.strict, &progress);
  uint64_t added = 0;
  std::string key, text;
  for (std::size_t s = 0; s < args.shards; ++s) {
    const std::string name = veskorshards::shardFileName(s, args.shards);
    const fs::path path = files.add(name);
    createKbFile(engine, path.string(), documents ? KbKind::documents : KbKind::entries, args.extras);
    OpenKb shard(engine, path.string(), "shard");
    uint64_t lines = veskorshards::shardStart(total, args.shards, s + 1) - veskorshards::shardStart(total, args.shards, s);
    long long shardDocuments = 0;
    for (; lines > 0 && reader.next(key, text); --lines) {
      const int status =
          documents ? veskorAddDocument(engine.connection(), words->name(), shard.name(), key.c_str(), text.c_str())
                    : veskorAddEntry(engine.connection(), nullptr, shard.name(), key.c_str(), text.c_str());
      if (!reader.added(engine, status)) continue;
      ++added;
      ++shardDocuments;
      progress.update(added, reader.bytesRead());
    }
    shard.save();
    const veskorKBInfo info = shard.info();
    if (s == 0) manifest.settings = {info.language, info.encoding, info.entryInformation, info.featureType};
    manifest.shards.push_back({name, info.numberEntries, documents ? shardDocuments : -1});
  }
  // Bad lines after the last entry line are reported (or end a strict build) all the same.
  while (reader.next(key, text)) throw Failure(exitEngine, inputName + ": changed while the shards were built");
  if (words) words->save();
  progress.finish();
  try {
    veskorshards::writeManifest(directory, manifest);
  } catch (const veskorshards::ManifestError& failure) {
    throw fileError(failure.what());
  }
  files.keep();
  if (fromStdin) fs::remove(input);
  std::printf("built %s: %zu shard%s, %lld entr%s", args.directory.c_str(), args.shards, args.shards == 1 ? "" : "s",
              manifest.totalEntries(), manifest.totalEntries() == 1 ? "y" : "ies");
  if (documents) std::printf(" of %llu document%s", static_cast<unsigned long long>(added), added == 1 ? "" : "s");
  if (reader.skipped() > 0) {
    std::printf(", skipped %llu bad line%s", static_cast<unsigned long long>(reader.skipped()),
                reader.skipped() == 1 ? "" : "s");
  }
  std::printf(" (%.2f s)\n", progress.elapsedSeconds());
}

void info(const GlobalOptions& options, const std::string& directory, bool json) {
  ShardManifest manifest;
  try {
    manifest = veskorshards::readManifest(directory);
  } catch (const veskorshards::ManifestError& failure) {
    throw fileError(failure.what());
  }
  // What each shard holds now, which maintenance with other tools may have changed.
  std::vector<int> entries;
  {
    const Engine engine(options.codec(), options.verbose);
    for (const auto& shard : manifest.shards) {
      entries.push_back(OpenKb(engine, (fs::path(directory) / shard.file).string(), "shard").info().numberEntries);
    }
  }
  long long total = 0;
  for (const int count : entries) total += count;
  if (json) {
    nlohmann::json shards = nlohmann::json::array();
    for (std::size_t s = 0; s < manifest.shards.size(); ++s) {
      shards.push_back({{"file", manifest.shards[s].file}, {"entries", entries[s]}});
    }
    const nlohmann::json out = {{"directory", directory}, {"kind", manifest.kind}, {"entries", total}, {"shards", shards}};
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return;
  }
  std::printf("directory  %s\nkind       %s\nentries    %lld\nshards     %zu\n", directory.c_str(), manifest.kind.c_str(),
              total, manifest.shards.size());
  for (std::size_t s = 0; s < manifest.shards.size(); ++s) {
    std::printf("  %-20s %d entries\n", manifest.shards[s].file.c_str(), entries[s]);
  }
}

}  // namespace

void addShardCommands(CLI::App& app, const GlobalOptions& options) {
  CLI::App* shard = app.add_subcommand("shard", "Sharded knowledge bases: a directory of knowledge-base files");
  shard->require_subcommand(1);
  {
    CLI::App* cmd = shard->add_subcommand(
        "build", "Cut key<TAB>text lines into S contiguous runs, one knowledge-base file each, in input order");
    auto args = std::make_shared<BuildArguments>();
    cmd->add_option("DIR", args->directory, "Directory of the sharded knowledge base")->required();
    cmd->add_option("INPUT", args->input, "Input file of key<TAB>text lines; - reads standard input")->required();
    cmd->add_option("-s,--shards", args->shards, "Number of shards")
        ->required()
        ->check(CLI::Range(std::size_t{1}, veskorshards::kMaxShards));
    cmd->add_option("--kind", args->kind,
                    "entries: single entries; documents: each line's text is one document (kept whole in one "
                    "shard), with one word knowledge base for all shards")
        ->check(CLI::IsMember({"entries", "documents"}))
        ->capture_default_str();
    cmd->add_flag("--store-texts", args->extras.storeTexts, "Keep each entry's text, so that finds show it");
    cmd->add_flag("--phonetic", args->extras.phonetic, "Compare German phonetic codes");
    cmd->add_flag("--force", args->force, "Replace a sharded knowledge base in DIR");
    cmd->add_flag("--strict", args->strict, "Stop at the first bad line and keep nothing");
    cmd->callback([&options, args] { build(options, *args); });
  }
  {
    CLI::App* cmd = shard->add_subcommand("info", "Show a sharded knowledge base's shards and entries");
    auto directory = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("DIR", *directory, "Directory of the sharded knowledge base")->required();
    cmd->add_flag("--json", *json, "Print JSON");
    cmd->callback([&options, directory, json] { info(options, *directory, *json); });
  }
}

}  // namespace veskorcli
