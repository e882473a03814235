// The work behind the subcommands, shared with the demo.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine.h"
#include "text.h"

namespace veskorcli {

std::string readFileBytes(const std::string& fileName);
// A document's key: its file name without directory and extension.
std::string documentKeyFromPath(const std::string& fileName);

class Progress;

// Statuses of an add or a search that concern the one entry or query (its key or text) rather
// than the whole run, which may go on with the next.
bool concernsOneItem(int status);

// Reads key<TAB>text lines and converts key and text for the engine. A bad line (no tab, empty key
// or text, a character the encoding cannot carry) is reported on standard error with its number
// and reason and skipped, or, when strict, ends the run with a Failure. Without a progress display
// nothing is reported (a pass that only counts).
class EntryLineReader {
 public:
  EntryLineReader(std::istream& in, std::string inputName, const TextCodec& codec, bool strict, Progress* progress);
  // The next entry line's key and text, in Latin-1; false at the end of the input.
  bool next(std::string& key, std::string& text);
  // After next(): whether the engine took the entry (status). A refusal that concerns the entry
  // alone is reported like a bad line; any other ends the run.
  bool added(const Engine& engine, int status);
  uint64_t bytesRead() const { return bytesRead_; }
  uint64_t skipped() const { return skipped_; }

 private:
  void reject(int exitCode, const std::string& reason);

  std::istream& in_;
  std::string inputName_;
  TextCodec codec_;
  bool strict_;
  Progress* progress_;
  long lineNumber_ = 0;
  uint64_t bytesRead_ = 0;
  uint64_t skipped_ = 0;
};

struct ImportResult {
  uint64_t added = 0;
  uint64_t skipped = 0;
  double seconds = 0;
};

// Adds every "key<TAB>text" line of in. A bad line is reported on standard error with its number
// and reason and skipped, or, when strict, ends the import with a Failure. totalBytes (0 if
// unknown) drives the progress display.
ImportResult importEntries(const Engine& engine, const OpenKb& akb, const OpenKb* wkb, std::istream& in,
                           const std::string& inputName, uint64_t totalBytes, const TextCodec& codec,
                           bool strict);

// Adds the files as documents keyed by their file names; returns how many were added.
ImportResult importDocuments(const Engine& engine, const OpenKb& akb, const OpenKb* wkb,
                             const std::vector<std::string>& fileNames, const TextCodec& codec);

struct SearchSettings {
  int maxHits = 10;
  int associationMode = 0;
  int splitCompounds = 0;
  double minConfidence = 0;
  bool storedTexts = false;  // ask for the matched entries' stored texts
  int ranking = 0;           // VESKOR_RANKING_* of document searches and comparisons
};

// Hits as the tool prints them, texts in Latin-1. A text is absent when it was not asked for, and
// empty when the knowledge base keeps none.
struct EntryHit {
  std::string key;
  double confidence = 0;
  std::optional<std::string> text;
};
struct SentenceHit {
  int offset = 0;
  int length = 0;
  double confidence = 0;
  std::optional<std::string> text;
};
struct DocumentHit {
  std::string key;
  double confidence = 0;
  std::vector<SentenceHit> sentences;
};

// What a search prints: the knowledge base, the query as the user typed it, and the options.
struct SearchReport {
  std::string knowledgeBase;
  std::string query;  // output encoding
  bool json = false;
  std::string sourceDirectory;  // documents' files, for printing matching sentences; may be empty
};

std::vector<EntryHit> findEntries(const Engine& engine, const char* akb, const char* wkb, const char* wa,
                                  const SearchSettings& settings, const std::string& latin1Query);
std::vector<DocumentHit> findDocuments(const Engine& engine, const char* akb, const char* wkb, const char* wa,
                                       const SearchSettings& settings, const std::string& latin1Query);
std::vector<DocumentHit> compareDocument(const Engine& engine, const char* akb, const char* wkb,
                                         const SearchSettings& settings, const std::string& latin1Text);

// Text output: rank, confidence, key and the stored text when there is one. JSON: the hits with
// key, confidence and, when asked for, text.
void printEntryHits(const std::vector<EntryHit>& hits, const SearchSettings& settings,
                    const SearchReport& report, const TextCodec& codec);
// Each document's sentences follow it: score, byte span and the sentence as written in the
// document's file (with a source directory) or else its stored text.
void printDocumentHits(const std::vector<DocumentHit>& hits, const SearchSettings& settings,
                       const SearchReport& report, const TextCodec& codec);

// The text of a matching sentence: the bytes [offset, offset + length) of the document as the
// engine received it, white space collapsed; empty when the span lies outside the text.
std::string sentenceText(const std::string& latin1Document, int offset, int length);

// The file of document `key` in directory: key.txt, else the first key.* file, else key.
// Empty when there is none.
std::string findDocumentFile(const std::string& directory, const std::string& key);

}  // namespace veskorcli
