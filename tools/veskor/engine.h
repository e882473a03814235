// The tool's side of the engine's C API: one connection per run, knowledge bases opened under
// fixed names and closed (never saved implicitly) when they go out of scope.
#pragma once

#include <veskor/veskorAPI.h>
#include <veskor/veskorExt.h>

#include <filesystem>
#include <memory>
#include <string>

#include "failure.h"
#include "text.h"

namespace veskorcli {

// An engine call that failed: its status and the latest error's message (without the prefix that
// what() has), for callers that report the two apart.
class EngineFailure : public Failure {
 public:
  EngineFailure(int exitCode, const std::string& description, int status, std::string message)
      : Failure(exitCode, description), status_(status), message_(std::move(message)) {}
  int status() const { return status_; }
  const std::string& message() const { return message_; }

 private:
  int status_;
  std::string message_;
};

class Engine {
 public:
  // verbose keeps the source location that the engine appends to its messages.
  Engine(const TextCodec& codec, bool verbose);
  // A further connection to the engine that `initialised` set up, for another thread; it closes
  // only its own connection.
  struct AnotherConnection {};
  Engine(const Engine& initialised, AnotherConnection);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  int connection() const { return connection_; }
  // Throws a Failure carrying the engine's latest error when status is not VESKOR_OK.
  void check(int status) const;
  [[noreturn]] void fail(int status) const;
  // The latest error's message, ready for output ("engine status N: message").
  std::string describe(int status) const;
  // The calling thread's latest error message alone, prepared as describe() prepares it.
  std::string latestMessage() const;

 private:
  TextCodec codec_;
  bool verbose_;
  bool initialised_ = true;  // this object initialised the engine and cleans it up
  int connection_ = -1;
};

// Exit code for an engine status: file trouble (including reading a file that ends too early) is 4
// like the tool's own file errors, the rest 3.
int exitCodeForStatus(int status);

// The name of a VESKOR_KB_KIND_* value: entries, documents, words or other.
const char* kbKindName(int kind);

// Engine kinds of knowledge base, as veskorCreateKBFile makes them.
enum class KbKind { entries, documents, words };
// What a new knowledge base keeps beyond its kind's settings.
struct KbExtras {
  bool storeTexts = false;  // keep each entry's prepared text, shown by the finds
  bool phonetic = false;    // cut features from German phonetic codes
};
void createKbFile(const Engine& engine, const std::string& fileName, KbKind kind, KbExtras extras = {});

class OpenKb {
 public:
  OpenKb(const Engine& engine, const std::string& fileName, std::string name);
  ~OpenKb();
  OpenKb(const OpenKb&) = delete;
  OpenKb& operator=(const OpenKb&) = delete;

  const char* name() const { return name_.c_str(); }
  void save();
  veskorKBInfo info() const;

 private:
  const Engine& engine_;
  std::string name_;
};

class OpenWa {
 public:
  OpenWa(const Engine& engine, const std::string& fileName, std::string name);
  ~OpenWa();
  OpenWa(const OpenWa&) = delete;
  OpenWa& operator=(const OpenWa&) = delete;
  const char* name() const { return name_.c_str(); }

 private:
  const Engine& engine_;
  std::string name_;
};

// An empty word knowledge base in a private temporary directory, for searches that name none:
// the engine needs one, and an empty one makes it search every word unchanged.
class ScratchWordKb {
 public:
  explicit ScratchWordKb(const Engine& engine);
  ~ScratchWordKb();
  ScratchWordKb(const ScratchWordKb&) = delete;
  ScratchWordKb& operator=(const ScratchWordKb&) = delete;
  const char* name() const { return kb_->name(); }

 private:
  std::filesystem::path directory_;
  std::unique_ptr<OpenKb> kb_;
};

struct SearchHitsDeleter {
  int connection;
  void operator()(veskorSearchHits* hits) const { veskorFreeSearchHits(connection, hits); }
};
struct DocumentHitsDeleter {
  int connection;
  void operator()(veskorDocumentSearchHits* hits) const { veskorFreeDocumentSearchHits(connection, hits); }
};
struct TextSearchHitsDeleter {
  int connection;
  void operator()(veskorTextSearchHits* hits) const { veskorFreeTextSearchHits(connection, hits); }
};
struct TextDocumentHitsDeleter {
  int connection;
  void operator()(veskorTextDocumentSearchHits* hits) const {
    veskorFreeTextDocumentSearchHits(connection, hits);
  }
};
using SearchHits = std::unique_ptr<veskorSearchHits, SearchHitsDeleter>;
using DocumentHits = std::unique_ptr<veskorDocumentSearchHits, DocumentHitsDeleter>;
using TextSearchHits = std::unique_ptr<veskorTextSearchHits, TextSearchHitsDeleter>;
using TextDocumentHits = std::unique_ptr<veskorTextDocumentSearchHits, TextDocumentHitsDeleter>;

}  // namespace veskorcli
