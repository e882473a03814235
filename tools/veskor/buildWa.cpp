#include "buildWa.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "commands.h"
#include "failure.h"
#include "progress.h"

namespace veskorcli {
namespace {

constexpr int kDefaultMinCount = 2;
constexpr int kDefaultNeighbours = 10;

struct BuildWaOptions {
  std::string out;
  std::string pairsFile;
  std::string thesaurusFile;
  std::string documentsKb;
  std::string wkbFile;
  int minCount = kDefaultMinCount;
  int neighbours = kDefaultNeighbours;
};

std::string counted(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

void readSource(const BuildWaOptions& o, const TextCodec& codec, WordPairs& pairs) {
  const std::string& input = o.pairsFile.empty() ? o.thesaurusFile : o.pairsFile;
  std::ifstream in(input, std::ios::binary);
  if (!in) throw fileError(input + ": cannot be opened");
  std::error_code error;
  uint64_t size = std::filesystem::file_size(input, error);
  if (error) size = 0;
  Progress progress("pairs", size);
  const ReadProgress report = [&progress](uint64_t bytes, uint64_t count) { progress.update(count, bytes); };
  if (o.pairsFile.empty()) {
    readThesaurus(in, input, codec, pairs, report);
  } else {
    readPairsFile(in, input, codec, pairs, report);
  }
  progress.finish();
}

void printResult(const BuildWaOptions& o, const veskorWABuildInfo& info, uint64_t skippedTerms,
                 double seconds) {
  const std::string& source = !o.pairsFile.empty()       ? o.pairsFile
                              : !o.thesaurusFile.empty() ? o.thesaurusFile
                                                         : o.documentsKb;
  std::printf("built %s: %s, %s from %s (%.2f s)\n", o.out.c_str(),
              counted(info.numberWords, "word", "words").c_str(),
              counted(info.numberLinks, "link", "links").c_str(), source.c_str(), seconds);
  if (skippedTerms > 0 || info.numberSkippedPairs > 0) {
    std::printf("left out %s and %s that are no single words\n",
                counted(skippedTerms, "phrase", "phrases").c_str(),
                counted(info.numberSkippedPairs, "pair", "pairs").c_str());
  }
  if (!o.wkbFile.empty()) {
    std::printf("registered %s in %s\n", counted(info.numberRegisteredWords, "new word", "new words").c_str(),
                o.wkbFile.c_str());
  }
}

void buildWa(const GlobalOptions& options, const BuildWaOptions& o) {
  const TextCodec codec = options.codec();
  const int sources = !o.pairsFile.empty() + !o.thesaurusFile.empty() + !o.documentsKb.empty();
  if (sources != 1)
    throw usageError("name exactly one source: --pairs FILE, --thesaurus FILE or --from-docs KB");
  const auto start = std::chrono::steady_clock::now();
  const Engine engine(codec, options.verbose);
  std::optional<OpenKb> wkb;
  if (!o.wkbFile.empty()) wkb.emplace(engine, o.wkbFile, "wkb");
  veskorWABuildInfo info{};
  uint64_t skippedTerms = 0;
  if (!o.documentsKb.empty()) {
    const OpenKb documents(engine, o.documentsKb, "documents");
    engine.check(veskorBuildWAFromDocuments(engine.connection(), o.out.c_str(), documents.name(),
                                            wkb ? wkb->name() : nullptr, o.minCount, o.neighbours, &info));
  } else {
    WordPairs pairs;
    readSource(o, codec, pairs);
    skippedTerms = pairs.skippedTerms;
    const std::string& input = o.pairsFile.empty() ? o.thesaurusFile : o.pairsFile;
    // A thesaurus holds phrases and repeats pairs in several groups by nature; a pairs file is
    // meant to be exact.
    info = buildWordAssociator(engine, o.out, pairs, input, wkb ? &*wkb : nullptr,
                               o.pairsFile.empty() ? VESKOR_WA_LENIENT : 0);
  }
  if (wkb) wkb->save();
  printResult(o, info, skippedTerms,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

veskorWABuildInfo buildWordAssociator(const Engine& engine, const std::string& out, const WordPairs& pairs,
                                      const std::string& input, const OpenKb* wkb, int options) {
  veskorWABuildInfo info{};
  const int status = veskorBuildWA(engine.connection(), out.c_str(), pairs.pairs().data(),
                                   static_cast<int>(pairs.pairs().size()),
                                   wkb != nullptr ? wkb->name() : nullptr, options, &info);
  if (status != VESKOR_OK && info.badPair >= 0) {
    throw fileError(input + ":" + std::to_string(pairs.lineOf(info.badPair)) + ": " +
                    engine.describe(status));
  }
  engine.check(status);
  return info;
}

void addBuildWaCommand(CLI::App& app, const GlobalOptions& options) {
  CLI::App* cmd =
      app.add_subcommand("build-wa", "Build a word associator from word pairs, a thesaurus or documents");
  cmd->footer(
      "A document search asks the word associator only about seek words its word knowledge base\n"
      "holds, and uses only associated words the word knowledge base holds. --wkb registers every\n"
      "word of the associator there as the words of added documents are, so that a word no document\n"
      "contains (a synonym from a thesaurus, say) is found and widens the search.");
  auto o = std::make_shared<BuildWaOptions>();
  cmd->add_option("OUT", o->out, "Word associator to write (OUT, OUT.v1.net, OUT.v1.tab)")->required();
  cmd->add_option("--pairs", o->pairsFile, "word<TAB>word[<TAB>weight] lines (weight 1 when left out)");
  cmd->add_option("--thesaurus", o->thesaurusFile,
                  "Thesaurus: synonym groups, one per line, terms separated by ';', '#' comments");
  cmd->add_option("--from-docs", o->documentsKb, "Document knowledge base whose sentences pair their words");
  cmd->add_option(
      "--wkb", o->wkbFile,
      "Word knowledge base of the searches: the associator's words are registered in it (saved too)");
  cmd->add_option("--min-count", o->minCount, "--from-docs: sentences two words must share")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  cmd->add_option("--neighbours", o->neighbours, "--from-docs: strongest pairs each word keeps")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  cmd->callback([&options, o] { buildWa(options, *o); });
}

}  // namespace veskorcli
