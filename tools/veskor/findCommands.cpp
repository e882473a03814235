#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "engine.h"
#include "failure.h"
#include "operations.h"
#include "searchTarget.h"

namespace veskorcli {
namespace {

struct FindArguments {
  std::string kbFile;
  std::string query;  // the query, or for compare the document's file
  std::string wkbFile;
  std::string waFile;
  std::string sourceDirectory;
  int maxHits = 10;
  bool associate = false;
  bool split = false;
  double minConfidence = 0;
  bool json = false;
  bool keysOnly = false;
  std::string ranking = "documented";
};

enum class FindKind { entries, documents, compare };

void run(const GlobalOptions& options, const FindArguments& args, FindKind kind) {
  if (args.associate && args.waFile.empty())
    throw usageError("--associate needs a word associator (--wa WA)");
  const TextCodec codec = options.codec();
  const std::string latin1Query = kind == FindKind::compare
                                      ? codec.toEngine(readFileBytes(args.query), TextOrigin{args.query, 1})
                                      : codec.toEngine(args.query, TextOrigin{"argument QUERY", 0});
  SearchSettings settings;
  settings.maxHits = args.maxHits;
  settings.associationMode = args.associate ? 1 : 0;
  settings.splitCompounds = args.split ? 1 : 0;
  settings.minConfidence = args.minConfidence;
  settings.storedTexts = !args.keysOnly;
  settings.ranking = args.ranking == "length-aware" ? VESKOR_RANKING_LENGTH_AWARE : VESKOR_RANKING_DOCUMENTED;
  const SearchReport report{args.kbFile, args.query, args.json, args.sourceDirectory};

  const Engine engine(codec, options.verbose);
  const SearchTarget akb(engine, args.kbFile);
  std::optional<OpenKb> wkb;
  std::optional<ScratchWordKb> scratch;
  if (!args.wkbFile.empty()) {
    wkb.emplace(engine, args.wkbFile, "wkb");
  } else if (!akb.wordsFile().empty()) {
    wkb.emplace(engine, akb.wordsFile(), "wkb");
  } else {
    scratch.emplace(engine);
  }
  const char* wkbName = wkb ? wkb->name() : scratch->name();
  std::optional<OpenWa> wa;
  if (!args.waFile.empty()) wa.emplace(engine, args.waFile, "wa");
  const char* waName = wa ? wa->name() : nullptr;

  switch (kind) {
    case FindKind::entries:
      printEntryHits(akb.findEntries(engine, wkbName, waName, settings, latin1Query), settings, report, codec);
      break;
    case FindKind::documents:
      printDocumentHits(akb.findDocuments(engine, wkbName, waName, settings, latin1Query), settings, report,
                        codec);
      break;
    case FindKind::compare:
      printDocumentHits(akb.compareDocument(engine, wkbName, settings, latin1Query), settings, report, codec);
      break;
  }
}

void addCommon(CLI::App* cmd, FindArguments& args, FindKind kind) {
  cmd->add_option("KB", args.kbFile, "Knowledge-base file or sharded directory")->required();
  if (kind == FindKind::compare) {
    cmd->add_option("FILE", args.query, "Text file of the document to compare")->required();
  } else {
    cmd->add_option("QUERY", args.query, "Seek text")->required();
  }
  cmd->add_option("-n,--hits", args.maxHits, "Number of hits wanted")
      ->check(CLI::Range(1, 500))
      ->capture_default_str();
  cmd->add_option("--wkb", args.wkbFile,
                  "Word knowledge base for similar words (default: none, or a sharded directory's own)");
  if (kind != FindKind::compare) {
    cmd->add_option("--wa", args.waFile, "Word-associator file");
    cmd->add_flag("--associate", args.associate, "Add words the word associator associates (needs --wa)");
    cmd->add_flag("--split", args.split,
                  "Split compound words with the word knowledge base (with --associate)");
  }
  cmd->add_option("--min-confidence", args.minConfidence, "Leave out hits below this confidence");
  cmd->add_flag("--json", args.json, "Print JSON (always UTF-8)");
  cmd->add_flag("--keys-only", args.keysOnly,
                kind == FindKind::entries ? "Leave out the entries' stored texts"
                                          : "Leave out the sentences' stored texts");
  if (kind != FindKind::entries) {
    cmd->add_option("--ranking", args.ranking,
                    "documented (the default) or length-aware: rare words weigh more, long documents must "
                    "match more often")
        ->check(CLI::IsMember({"documented", "length-aware"}))
        ->capture_default_str();
    cmd->add_option("--source", args.sourceDirectory,
                    "Directory with the documents' files (KEY.txt): print the matching sentences as written");
  }
}

}  // namespace

void addFindCommands(CLI::App& app, const GlobalOptions& options) {
  const struct {
    const char* name;
    const char* description;
    FindKind kind;
  } commands[] = {
      {"find", "Find the entries most similar to a seek text (keys, confidences, stored texts)",
       FindKind::entries},
      {"find-doc", "Find the documents whose sentences match a seek text", FindKind::documents},
      {"compare", "Find the documents most similar to a whole document", FindKind::compare},
  };
  for (const auto& command : commands) {
    CLI::App* cmd = app.add_subcommand(command.name, command.description);
    auto args = std::make_shared<FindArguments>();
    addCommon(cmd, *args, command.kind);
    const FindKind kind = command.kind;
    cmd->callback([&options, args, kind] { run(options, *args, kind); });
  }
}

}  // namespace veskorcli
