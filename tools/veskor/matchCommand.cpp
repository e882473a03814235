// veskor match: a file of seek texts against one knowledge base (or a sharded one), loaded once and
// searched on several threads, with the results written in input order.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "engine.h"
#include "failure.h"
#include "operations.h"
#include "progress.h"
#include "searchTarget.h"

namespace veskorcli {
namespace {

struct MatchArguments {
  std::string kbFile;
  std::string input;
  std::string wkbFile;
  std::string waFile;
  int maxHits = 10;
  unsigned threads = 0;
  std::string format = "tsv";
  bool withIds = false;
  bool strict = false;
  bool associate = false;
  bool split = false;
  bool keysOnly = false;
};

// Queries are read, searched and written a block at a time: memory stays bounded however long the
// input, and a block is long enough that the threads rarely wait for each other at its end.
constexpr std::size_t kBlockSize = 4096;

struct Query {
  long lineNumber = 0;
  std::string id;      // Latin-1; the line number without --with-ids
  std::string latin1;  // the seek text for the engine
  std::string error;   // a bad line: why it is skipped
  bool engineFault = false;  // error is the engine's message, without the line's place
  int exitCode = 0;
  std::vector<EntryHit> hits;
};

// A field of the tab-separated output: tabs, line ends and backslashes are escaped, so that every
// hit stays one line of four or five fields whatever its key holds.
void appendField(std::string& out, std::string_view field) {
  for (const char c : field) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
}

class Matcher {
 public:
  Matcher(const Engine& engine, const SearchTarget& target, const char* wkb, const char* wa,
          const SearchSettings& settings)
      : engine_(engine), target_(target), wkb_(wkb), wa_(wa), settings_(settings) {}

  // Searches every good query of the block on `threads` threads. A fault of one query is kept with
  // it; any other ends the run once the threads have stopped.
  void search(std::vector<Query>& block, unsigned threads) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::exception_ptr fatal;
    std::mutex fatalMutex;
    const auto work = [&] {
      for (std::size_t i; !stop.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < block.size();) {
        Query& query = block[i];
        if (!query.error.empty()) continue;
        try {
          query.hits = target_.findEntries(engine_, wkb_, wa_, settings_, query.latin1);
        } catch (const EngineFailure& failure) {
          if (!concernsOneItem(failure.status())) {
            recordFatal(fatal, fatalMutex, stop);
            continue;
          }
          query.error = failure.what();
          query.engineFault = true;
          query.exitCode = failure.exitCode();
        } catch (...) {
          recordFatal(fatal, fatalMutex, stop);
        }
      }
    };
    std::vector<std::thread> helpers;
    const unsigned count = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(block.size())));
    try {
      for (unsigned t = 1; t < count; ++t) helpers.emplace_back(work);
    } catch (...) {
      // Fewer threads than asked for: the ones started and this one do the work.
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    if (fatal) std::rethrow_exception(fatal);
  }

 private:
  static void recordFatal(std::exception_ptr& fatal, std::mutex& mutex, std::atomic<bool>& stop) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!fatal) fatal = std::current_exception();
    stop.store(true);
  }

  const Engine& engine_;
  const SearchTarget& target_;
  const char* wkb_;
  const char* wa_;
  SearchSettings settings_;
};

class Writer {
 public:
  Writer(const TextCodec& codec, bool jsonLines, bool withIds, bool texts)
      : codec_(codec), jsonLines_(jsonLines), withIds_(withIds), texts_(texts) {}

  void write(const Query& query) {
    if (jsonLines_) {
      using Json = nlohmann::ordered_json;
      Json hits = Json::array();
      for (const EntryHit& hit : query.hits) {
        Json entry = {{"key", latin1ToUtf8(hit.key)}, {"confidence", hit.confidence}};
        if (texts_) entry["text"] = latin1ToUtf8(hit.text.value_or(""));
        hits.push_back(std::move(entry));
      }
      const Json id = withIds_ ? Json(latin1ToUtf8(query.id)) : Json(query.lineNumber);
      const Json line = {{"id", id}, {"hits", std::move(hits)}};
      buffer_ += line.dump(-1, ' ', false, Json::error_handler_t::replace);
      buffer_ += '\n';
      return;
    }
    const std::string id = codec_.toOutput(query.id);
    int rank = 0;
    for (const EntryHit& hit : query.hits) {
      appendField(buffer_, id);
      buffer_ += '\t';
      buffer_ += std::to_string(++rank);
      buffer_ += '\t';
      appendField(buffer_, codec_.toOutput(hit.key));
      char confidence[32];
      std::snprintf(confidence, sizeof confidence, "\t%.6f", hit.confidence);
      buffer_ += confidence;
      if (texts_) {
        buffer_ += '\t';
        appendField(buffer_, codec_.toOutput(hit.text.value_or("")));
      }
      buffer_ += '\n';
    }
  }

  void flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
      throw fileError("standard output: write error");
    }
    buffer_.clear();
    if (std::fflush(stdout) != 0) throw fileError("standard output: write error");
  }

 private:
  TextCodec codec_;
  bool jsonLines_;
  bool withIds_;
  bool texts_;
  std::string buffer_;
};

// Reads the next block of queries; false when the input has ended and nothing was read.
bool readBlock(std::istream& in, const std::string& inputName, const TextCodec& codec, bool withIds,
               long& lineNumber, uint64_t& bytesRead, std::vector<Query>& block) {
  block.clear();
  std::string line;
  while (block.size() < kBlockSize && std::getline(in, line)) {
    ++lineNumber;
    bytesRead += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    Query& query = block.emplace_back();
    query.lineNumber = lineNumber;
    std::string_view text = line;
    const TextOrigin origin{inputName, lineNumber};
    try {
      if (withIds) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) {
          query.error = inputName + ":" + std::to_string(lineNumber) + ": " +
                        (tab == 0 ? "empty id" : "no tab between id and query");
          query.exitCode = exitFile;
          continue;
        }
        query.id = codec.toEngine(text.substr(0, tab), origin);
        text = text.substr(tab + 1);
      } else {
        query.id = std::to_string(lineNumber);
      }
      query.latin1 = codec.toEngine(text, origin);
    } catch (const Failure& failure) {
      query.error = failure.what();
      query.exitCode = failure.exitCode();
    }
  }
  if (in.bad()) throw fileError(inputName + ": read error");
  return !block.empty();
}

void run(const GlobalOptions& options, const MatchArguments& args) {
  if (args.associate && args.waFile.empty()) throw usageError("--associate needs a word associator (--wa WA)");
  const TextCodec codec = options.codec();
  const bool fromStdin = args.input.empty() || args.input == "-";
  std::ifstream file;
  uint64_t size = 0;
  if (!fromStdin) {
    file.open(args.input, std::ios::binary);
    if (!file) throw fileError(args.input + ": cannot be opened");
    std::error_code error;
    size = std::filesystem::file_size(args.input, error);
    if (error) size = 0;
  }
  std::istream& in = fromStdin ? std::cin : file;
  const std::string inputName = fromStdin ? "<stdin>" : args.input;

  const Engine engine(codec, options.verbose);
  const SearchTarget target(engine, args.kbFile);
  std::optional<OpenKb> wkb;
  std::optional<ScratchWordKb> scratch;
  if (!args.wkbFile.empty()) {
    wkb.emplace(engine, args.wkbFile, "wkb");
  } else if (!target.wordsFile().empty()) {
    wkb.emplace(engine, target.wordsFile(), "wkb");
  } else {
    scratch.emplace(engine);
  }
  std::optional<OpenWa> wa;
  if (!args.waFile.empty()) wa.emplace(engine, args.waFile, "wa");

  SearchSettings settings;
  settings.maxHits = args.maxHits;
  settings.associationMode = args.associate ? 1 : 0;
  settings.splitCompounds = args.split ? 1 : 0;
  // Texts only where the knowledge base keeps them: other columns would all be empty.
  settings.storedTexts = !args.keysOnly && (target.info().entryInformation & VESKOR_ENTRY_TEXT_STORED) != 0;
  const unsigned threads = args.threads > 0 ? args.threads : std::max(1u, std::thread::hardware_concurrency());

  Matcher matcher(engine, target, wkb ? wkb->name() : scratch->name(), wa ? wa->name() : nullptr, settings);
  Writer writer(codec, args.format == "jsonl", args.withIds, settings.storedTexts);
  Progress progress("queries", size);
  std::vector<Query> block;
  long lineNumber = 0;
  uint64_t bytesRead = 0, matched = 0, skipped = 0;
  while (readBlock(in, inputName, codec, args.withIds, lineNumber, bytesRead, block)) {
    // Under --strict, a bad line ends the run: nothing after it is searched.
    if (args.strict) {
      const auto bad = std::find_if(block.begin(), block.end(), [](const Query& q) { return !q.error.empty(); });
      if (bad != block.end()) block.erase(bad + 1, block.end());
    }
    matcher.search(block, threads);
    for (const Query& query : block) {
      if (!query.error.empty()) {
        writer.flush();
        const std::string message =
            query.engineFault ? inputName + ":" + std::to_string(query.lineNumber) + ": " + query.error : query.error;
        if (args.strict) throw Failure(query.exitCode, message);
        progress.interrupt();
        std::fprintf(stderr, "veskor: %s; line skipped\n", message.c_str());
        ++skipped;
        continue;
      }
      writer.write(query);
      ++matched;
    }
    writer.flush();
    progress.update(matched, bytesRead);
  }
  progress.finish();
  if (isatty(STDERR_FILENO) != 0) {
    const double seconds = progress.elapsedSeconds();
    std::fprintf(stderr, "veskor: matched %llu quer%s in %.2f s on %u thread%s", static_cast<unsigned long long>(matched),
                 matched == 1 ? "y" : "ies", seconds, threads, threads == 1 ? "" : "s");
    if (skipped > 0) std::fprintf(stderr, ", skipped %llu bad line%s", static_cast<unsigned long long>(skipped), skipped == 1 ? "" : "s");
    std::fprintf(stderr, "\n");
  }
}

}  // namespace

void addMatchCommand(CLI::App& app, const GlobalOptions& options) {
  CLI::App* cmd = app.add_subcommand(
      "match",
      "Search every line of a file (or standard input) in a knowledge base loaded once, on several threads;\n"
      "writes id, rank, key, confidence (and the entry's stored text) per hit, in input order");
  auto args = std::make_shared<MatchArguments>();
  cmd->add_option("KB", args->kbFile, "Knowledge-base file or sharded directory")->required();
  cmd->add_option("QUERIES", args->input, "File of seek texts, one per line; - or none reads standard input");
  cmd->add_option("-n,--hits", args->maxHits, "Number of hits wanted per query")
      ->check(CLI::Range(1, 500))
      ->capture_default_str();
  cmd->add_option("--threads", args->threads, "Threads that search (default: one per core)")
      ->check(CLI::Range(1u, 1024u));
  cmd->add_option("--format", args->format, "tsv: one line per hit; jsonl: one JSON object per query")
      ->check(CLI::IsMember({"tsv", "jsonl"}))
      ->capture_default_str();
  cmd->add_flag("--with-ids", args->withIds, "Lines are id<TAB>query (default: the line number is the id)");
  cmd->add_flag("--strict", args->strict, "End the run at the first bad line instead of skipping it");
  cmd->add_option("--wkb", args->wkbFile,
                  "Word knowledge base for similar words (default: none, or a sharded directory's own)");
  cmd->add_option("--wa", args->waFile, "Word-associator file");
  cmd->add_flag("--associate", args->associate, "Add words the word associator associates (needs --wa)");
  cmd->add_flag("--split", args->split, "Split compound words with the word knowledge base (with --associate)");
  cmd->add_flag("--keys-only", args->keysOnly, "Leave out the entries' stored texts");
  cmd->callback([&options, args] { run(options, *args); });
}

}  // namespace veskorcli
