// The work behind the subcommands, shared with the demo.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine.h"
#include "text.h"

namespace veskorcli {

std::string readFileBytes(const std::string& fileName);
// A document's key: its file name without directory and extension.
std::string documentKeyFromPath(const std::string& fileName);

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
};

// What a search prints: the knowledge base, the query as the user typed it, and the options.
struct SearchReport {
  std::string knowledgeBase;
  std::string query;  // output encoding
  bool json = false;
  std::string sourceDirectory;  // documents' files, for printing matching sentences; may be empty
};

SearchHits findEntries(const Engine& engine, const char* akb, const char* wkb, const char* wa,
                       const SearchSettings& settings, const std::string& latin1Query);
DocumentHits findDocuments(const Engine& engine, const char* akb, const char* wkb, const char* wa,
                           const SearchSettings& settings, const std::string& latin1Query);
DocumentHits compareDocument(const Engine& engine, const char* akb, const char* wkb,
                             const SearchSettings& settings, const std::string& latin1Text);

void printEntryHits(const veskorSearchHits& hits, const SearchSettings& settings, const SearchReport& report,
                    const TextCodec& codec);
void printDocumentHits(const veskorDocumentSearchHits& hits, const SearchSettings& settings,
                       const SearchReport& report, const TextCodec& codec);

// The text of a matching sentence: the bytes [offset, offset + length) of the document as the
// engine received it, white space collapsed; empty when the span lies outside the text.
std::string sentenceText(const std::string& latin1Document, int offset, int length);

// The file of document `key` in directory: key.txt, else the first key.* file, else key.
// Empty when there is none.
std::string findDocumentFile(const std::string& directory, const std::string& key);

}  // namespace veskorcli
