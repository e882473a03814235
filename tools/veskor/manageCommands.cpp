#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "commands.h"
#include "engine.h"
#include "failure.h"

namespace veskorcli {
namespace {

std::string flagNames(int value, const std::map<int, const char*>& names) {
  std::string text;
  for (const auto& [flag, name] : names) {
    if ((value & flag) == 0) continue;
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text.empty() ? "none" : text;
}

const std::map<int, const char*> encodingFlags = {{VESKOR_ENCODING_PHONETIC, "phonetic codes"},
                                                  {VESKOR_ENCODING_UPPER_CASE, "upper-casing"},
                                                  {VESKOR_ENCODING_FRAMED, "\"_\" framing"}};
const std::map<int, const char*> entryInformationFlags = {
    {VESKOR_ENTRY_TEXT_STORED, "text stored"},
    {VESKOR_ENTRY_KEY_REQUIRED, "key required"},
    {VESKOR_ENTRY_VALUE_REQUIRED, "value required"},
    {VESKOR_ENTRY_FEATURES_REQUIRED, "syntactic features required"}};

std::string languageName(int language) {
  return language == 1 ? "German" : "no language rules";
}
std::string featureTypeName(int featureType) {
  return featureType == 1 ? "character groups" : featureType == 2 ? "words" : "unknown";
}

void create(const GlobalOptions& options, const std::string& fileName, const std::string& kind, bool force,
            KbExtras extras) {
  std::error_code error;
  if (!force && std::filesystem::exists(fileName, error)) {
    throw fileError(fileName + ": file exists (--force replaces it)");
  }
  const Engine engine(options.codec(), options.verbose);
  createKbFile(engine, fileName,
               kind == "documents" ? KbKind::documents
               : kind == "words"   ? KbKind::words
                                   : KbKind::entries,
               extras);
  std::printf("created %s (%s)\n", fileName.c_str(), kind.c_str());
}

void info(const GlobalOptions& options, const std::string& fileName, bool json) {
  std::error_code error;
  const uint64_t fileSize = std::filesystem::file_size(fileName, error);
  if (error) throw fileError(fileName + ": " + error.message());
  veskorKBInfo kb{};
  {
    const Engine engine(options.codec(), options.verbose);
    kb = OpenKb(engine, fileName, "kb").info();
  }
  if (json) {
    const nlohmann::json out = {{"file", fileName},
                                {"kind", kbKindName(kb.kind)},
                                {"language", kb.language},
                                {"encoding", kb.encoding},
                                {"entryInformation", kb.entryInformation},
                                {"featureType", kb.featureType},
                                {"entries", kb.numberEntries},
                                {"fileSize", fileSize}};
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return;
  }
  std::printf("file               %s\n", fileName.c_str());
  std::printf("kind               %s\n", kbKindName(kb.kind));
  std::printf("language           %d (%s)\n", kb.language, languageName(kb.language).c_str());
  std::printf("encoding           %d (%s)\n", kb.encoding, flagNames(kb.encoding, encodingFlags).c_str());
  std::printf("entry information  %d (%s)\n", kb.entryInformation,
              flagNames(kb.entryInformation, entryInformationFlags).c_str());
  std::printf("feature type       %d (%s)\n", kb.featureType, featureTypeName(kb.featureType).c_str());
  std::printf("entries            %d\n", kb.numberEntries);
  std::printf("file size          %llu bytes\n", static_cast<unsigned long long>(fileSize));
}

// Deletes through the engine and saves; the entry counts before and after tell how many went.
void remove(const GlobalOptions& options, const std::string& fileName, const std::string& key,
            bool document) {
  const TextCodec codec = options.codec();
  const std::string latin1Key = codec.toEngine(key, TextOrigin{"argument KEY", 0});
  int deleted = 0;
  {
    const Engine engine(codec, options.verbose);
    OpenKb kb(engine, fileName, "kb");
    const int before = kb.info().numberEntries;
    engine.check(document ? veskorDeleteDocument(engine.connection(), kb.name(), latin1Key.c_str())
                          : veskorDeleteEntry(engine.connection(), kb.name(), latin1Key.c_str()));
    deleted = before - kb.info().numberEntries;
    kb.save();
  }
  if (document) {
    std::printf("deleted %d sentence entr%s of document %s\n", deleted, deleted == 1 ? "y" : "ies",
                key.c_str());
  } else {
    // The engine deletes every entry whose key ends with the given one (key 12 also takes 112).
    std::printf("deleted %d entr%s with a key ending in %s\n", deleted, deleted == 1 ? "y" : "ies",
                key.c_str());
  }
}

void defragment(const GlobalOptions& options, const std::string& fileName) {
  int entries = 0;
  {
    const Engine engine(options.codec(), options.verbose);
    OpenKb kb(engine, fileName, "kb");
    engine.check(veskorDefragmentKB(engine.connection(), kb.name()));
    kb.save();
    entries = kb.info().numberEntries;
  }
  std::printf("defragmented %s: %d entries\n", fileName.c_str(), entries);
}

}  // namespace

void addManageCommands(CLI::App& app, const GlobalOptions& options) {
  {
    CLI::App* cmd = app.add_subcommand("create", "Create an empty knowledge-base file");
    auto file = std::make_shared<std::string>();
    auto kind = std::make_shared<std::string>("entries");
    auto force = std::make_shared<bool>(false);
    cmd->add_option("KB", *file, "Knowledge-base file to create")->required();
    cmd->add_option("--kind", *kind,
                    "entries: single entries found by character groups; documents: sentences of documents "
                    "found by words; words: a word knowledge base")
        ->check(CLI::IsMember({"entries", "documents", "words"}))
        ->capture_default_str();
    cmd->add_flag("--force", *force, "Replace an existing file");
    auto extras = std::make_shared<KbExtras>();
    cmd->add_flag("--store-texts", extras->storeTexts,
                  "Keep each entry's text (in the prepared form the search compares: upper-cased, "
                  "\"_\" for blanks), so that finds show it");
    cmd->add_flag("--phonetic", extras->phonetic,
                  "Compare German phonetic codes, so that words spelt as they sound are found");
    cmd->callback([&options, file, kind, force, extras] { create(options, *file, *kind, *force, *extras); });
  }
  {
    CLI::App* cmd = app.add_subcommand("info", "Show a knowledge base's kind, settings, entries and size");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("KB", *file, "Knowledge-base file")->required();
    cmd->add_flag("--json", *json, "Print JSON");
    cmd->callback([&options, file, json] { info(options, *file, *json); });
  }
  for (const bool document : {false, true}) {
    CLI::App* cmd =
        app.add_subcommand(document ? "delete-doc" : "delete",
                           document ? "Delete every sentence of a document"
                                    : "Delete entries by key (also those whose key ends with KEY)");
    auto file = std::make_shared<std::string>();
    auto key = std::make_shared<std::string>();
    cmd->add_option("KB", *file, "Knowledge-base file")->required();
    cmd->add_option("KEY", *key, document ? "Key of the document" : "Primary key")->required();
    cmd->callback([&options, file, key, document] { remove(options, *file, *key, document); });
  }
  {
    CLI::App* cmd = app.add_subcommand("defrag", "Compact a knowledge base after deletions and save it");
    auto file = std::make_shared<std::string>();
    cmd->add_option("KB", *file, "Knowledge-base file")->required();
    cmd->callback([&options, file] { defragment(options, *file); });
  }
}

}  // namespace veskorcli
