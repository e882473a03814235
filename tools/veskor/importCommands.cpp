#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "engine.h"
#include "failure.h"
#include "operations.h"

namespace veskorcli {
namespace {

std::string counted(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The application knowledge base and, if named, the word knowledge base that collects the words.
struct Targets {
  Targets(const Engine& engine, const std::string& kbFile, const std::string& wkbFile)
      : akb(engine, kbFile, "akb") {
    if (!wkbFile.empty()) wkb.emplace(engine, wkbFile, "wkb");
  }
  const OpenKb* words() const { return wkb ? &*wkb : nullptr; }
  void save() {
    akb.save();
    if (wkb) wkb->save();
  }
  OpenKb akb;
  std::optional<OpenKb> wkb;
};

void addEntry(const GlobalOptions& options, const std::string& kbFile, const std::string& key,
              const std::string& text, const std::string& wkbFile) {
  const TextCodec codec = options.codec();
  const std::string latin1Key = codec.toEngine(key, TextOrigin{"argument KEY", 0});
  const std::string latin1Text = codec.toEngine(text, TextOrigin{"argument TEXT", 0});
  const Engine engine(codec, options.verbose);
  Targets targets(engine, kbFile, wkbFile);
  engine.check(veskorAddEntry(engine.connection(), targets.words() ? targets.words()->name() : nullptr,
                              targets.akb.name(), latin1Key.c_str(), latin1Text.c_str()));
  targets.save();
  std::printf("added %s to %s\n", key.c_str(), kbFile.c_str());
}

void importLines(const GlobalOptions& options, const std::string& kbFile, const std::string& input,
                 const std::string& wkbFile, bool strict) {
  const TextCodec codec = options.codec();
  const bool fromStdin = input.empty() || input == "-";
  std::ifstream file;
  uint64_t size = 0;
  if (!fromStdin) {
    file.open(input, std::ios::binary);
    if (!file) throw fileError(input + ": cannot be opened");
    std::error_code error;
    size = std::filesystem::file_size(input, error);
    if (error) size = 0;
  }
  const std::string inputName = fromStdin ? "<stdin>" : input;
  const Engine engine(codec, options.verbose);
  Targets targets(engine, kbFile, wkbFile);
  const ImportResult result = importEntries(engine, targets.akb, targets.words(), fromStdin ? std::cin : file,
                                            inputName, size, codec, strict);
  targets.save();
  std::printf("imported %s from %s into %s", counted(result.added, "entry", "entries").c_str(),
              inputName.c_str(), kbFile.c_str());
  if (result.skipped > 0)
    std::printf(", skipped %s", counted(result.skipped, "bad line", "bad lines").c_str());
  std::printf(" (%.2f s)\n", result.seconds);
}

void addDocuments(const GlobalOptions& options, const std::string& kbFile,
                  const std::vector<std::string>& files, const std::optional<std::string>& key,
                  const std::string& wkbFile) {
  const TextCodec codec = options.codec();
  const Engine engine(codec, options.verbose);
  Targets targets(engine, kbFile, wkbFile);
  if (key) {
    const std::string latin1Key = codec.toEngine(*key, TextOrigin{"argument KEY", 0});
    const std::string text = codec.toEngine(readFileBytes(files.front()), TextOrigin{files.front(), 1});
    engine.check(veskorAddDocument(engine.connection(), targets.words() ? targets.words()->name() : nullptr,
                                   targets.akb.name(), latin1Key.c_str(), text.c_str()));
    targets.save();
    std::printf("added document %s to %s\n", key->c_str(), kbFile.c_str());
    return;
  }
  const ImportResult result = importDocuments(engine, targets.akb, targets.words(), files, codec);
  targets.save();
  std::printf("imported %s into %s (%.2f s)\n", counted(result.added, "document", "documents").c_str(),
              kbFile.c_str(), result.seconds);
}

CLI::Option* addWkbOption(CLI::App* cmd, std::string& wkb) {
  return cmd->add_option("--wkb", wkb, "Word knowledge base that collects the words (saved too)");
}

}  // namespace

void addImportCommands(CLI::App& app, const GlobalOptions& options) {
  {
    CLI::App* cmd = app.add_subcommand("add", "Add one entry and save the knowledge base");
    auto file = std::make_shared<std::string>();
    auto key = std::make_shared<std::string>();
    auto text = std::make_shared<std::string>();
    auto wkb = std::make_shared<std::string>();
    cmd->add_option("KB", *file, "Knowledge-base file")->required();
    cmd->add_option("KEY", *key, "Primary key")->required();
    cmd->add_option("TEXT", *text, "Entry text")->required();
    addWkbOption(cmd, *wkb);
    cmd->callback([&options, file, key, text, wkb] { addEntry(options, *file, *key, *text, *wkb); });
  }
  {
    CLI::App* cmd = app.add_subcommand(
        "import", "Add key<TAB>text lines from a file or standard input and save the knowledge base");
    auto file = std::make_shared<std::string>();
    auto input = std::make_shared<std::string>();
    auto wkb = std::make_shared<std::string>();
    auto strict = std::make_shared<bool>(false);
    cmd->add_option("KB", *file, "Knowledge-base file")->required();
    cmd->add_option("INPUT", *input, "Input file; - or none reads standard input");
    addWkbOption(cmd, *wkb);
    cmd->add_flag("--strict", *strict, "Stop at the first bad line and save nothing");
    cmd->callback(
        [&options, file, input, wkb, strict] { importLines(options, *file, *input, *wkb, *strict); });
  }
  {
    CLI::App* cmd = app.add_subcommand("add-doc", "Add a document (one entry per sentence) and save");
    auto file = std::make_shared<std::string>();
    auto key = std::make_shared<std::string>();
    auto document = std::make_shared<std::string>();
    auto wkb = std::make_shared<std::string>();
    cmd->add_option("KB", *file, "Document knowledge-base file")->required();
    cmd->add_option("KEY", *key, "Key of the document")->required();
    cmd->add_option("FILE", *document, "Text file of the document")->required();
    addWkbOption(cmd, *wkb);
    cmd->callback(
        [&options, file, key, document, wkb] { addDocuments(options, *file, {*document}, *key, *wkb); });
  }
  {
    CLI::App* cmd = app.add_subcommand(
        "import-docs", "Add text files as documents keyed by their file names (without extension) and save");
    auto file = std::make_shared<std::string>();
    auto documents = std::make_shared<std::vector<std::string>>();
    auto wkb = std::make_shared<std::string>();
    cmd->add_option("KB", *file, "Document knowledge-base file")->required();
    cmd->add_option("FILE", *documents, "Text files of the documents")->required();
    addWkbOption(cmd, *wkb);
    cmd->callback(
        [&options, file, documents, wkb] { addDocuments(options, *file, *documents, std::nullopt, *wkb); });
  }
}

}  // namespace veskorcli
