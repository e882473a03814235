#include "operations.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>

#include "failure.h"
#include "progress.h"

namespace veskorcli {
namespace {

bool isBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

// text in the output encoding; an empty one is left out.
void printHitLine(int rank, double confidence, const std::string& key, const std::string& text) {
  std::printf("%3d  %.4f  %s%s%s\n", rank, confidence, key.c_str(), text.empty() ? "" : "  ", text.c_str());
}

std::optional<std::string> textOf(const veskorSearchHit&) {
  return std::nullopt;
}
std::optional<std::string> textOf(const veskorTextSearchHit& hit) {
  return std::string(hit.text);
}
std::optional<std::string> textOf(const veskorSentenceSearchHit&) {
  return std::nullopt;
}
std::optional<std::string> textOf(const veskorTextSentenceSearchHit& hit) {
  return std::string(hit.text);
}

template <class List>
std::vector<EntryHit> entryHits(const List& list) {
  std::vector<EntryHit> hits;
  for (int i = 0; i < list.numberHits; ++i) {
    hits.push_back({list.hits[i].primaryKey, list.hits[i].confidence, textOf(list.hits[i])});
  }
  return hits;
}

template <class List>
std::vector<DocumentHit> documentHits(const List& list) {
  std::vector<DocumentHit> hits;
  for (int i = 0; i < list.numberHits; ++i) {
    const auto& hit = list.hits[i];
    DocumentHit& document = hits.emplace_back();
    document.key = hit.primaryKey != nullptr ? hit.primaryKey : "";
    document.confidence = hit.confidence;
    for (int s = 0; s < hit.numberSentenceHits; ++s) {
      const auto& sentence = hit.sentenceHits[s];
      document.sentences.push_back({sentence.offset, sentence.length, sentence.confidence, textOf(sentence)});
    }
  }
  return hits;
}

// The list, or a Failure with the engine's latest error when the call gave none.
template <class List>
List checked(const Engine& engine, List list) {
  if (!list) engine.fail(veskorGetLatestErrorCode(engine.connection()));
  return list;
}

std::string jsonText(const std::string& text, const TextCodec& codec) {
  return codec.encoding() == Encoding::utf8 ? text : latin1ToUtf8(text);
}

}  // namespace

bool concernsOneItem(int status) {
  switch (status) {
    case VESKOR_ERROR_FATAL:
    case VESKOR_ERROR_NOT_INITIALIZED:
    case VESKOR_ERROR_FILE:
    case VESKOR_ERROR_FILENAME:
    case VESKOR_ERROR_FILEFORMAT:
    case VESKOR_ERROR_KBNAME:
    case VESKOR_ERROR_IDENTIFIER:
    case VESKOR_ERROR_FEATURE_TYPE:
    case VESKOR_ERROR_WANAME:
    case 101:  // out of memory
      return false;
    default:
      return status < 90 || status > 100;
  }
}

std::string readFileBytes(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw fileError(fileName + ": cannot be opened");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw fileError(fileName + ": read error");
  return bytes;
}

std::string documentKeyFromPath(const std::string& fileName) {
  return std::filesystem::path(fileName).stem().string();
}

EntryLineReader::EntryLineReader(std::istream& in, std::string inputName, const TextCodec& codec, bool strict,
                                 Progress* progress)
    : in_(in), inputName_(std::move(inputName)), codec_(codec), strict_(strict), progress_(progress) {}

void EntryLineReader::reject(int exitCode, const std::string& reason) {
  const std::string message = inputName_ + ":" + std::to_string(lineNumber_) + ": " + reason;
  if (strict_) throw Failure(exitCode, message);
  ++skipped_;
  if (progress_ == nullptr) return;  // a counting pass reports nothing
  progress_->interrupt();
  std::fprintf(stderr, "veskor: %s; line skipped\n", message.c_str());
}

bool EntryLineReader::next(std::string& key, std::string& text) {
  std::string line;
  while (std::getline(in_, line)) {
    ++lineNumber_;
    bytesRead_ += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      reject(exitFile, "no tab between key and text");
      continue;
    }
    if (tab == 0) {
      reject(exitFile, "empty key");
      continue;
    }
    if (isBlank(std::string_view(line).substr(tab + 1))) {
      reject(exitFile, "empty text");
      continue;
    }
    try {
      const TextOrigin origin{inputName_, lineNumber_};
      key = codec_.toEngine(std::string_view(line).substr(0, tab), origin);
      text = codec_.toEngine(std::string_view(line).substr(tab + 1), origin);
    } catch (const Failure& failure) {
      if (strict_) throw;
      ++skipped_;
      if (progress_ != nullptr) {
        progress_->interrupt();
        std::fprintf(stderr, "veskor: %s; line skipped\n", failure.what());
      }
      continue;
    }
    return true;
  }
  if (in_.bad()) throw fileError(inputName_ + ": read error");
  return false;
}

bool EntryLineReader::added(const Engine& engine, int status) {
  if (status == VESKOR_OK) return true;
  if (!concernsOneItem(status)) engine.fail(status);
  reject(exitEngine, engine.describe(status));
  return false;
}

ImportResult importEntries(const Engine& engine, const OpenKb& akb, const OpenKb* wkb, std::istream& in,
                           const std::string& inputName, uint64_t totalBytes, const TextCodec& codec,
                           bool strict) {
  ImportResult result;
  Progress progress("entries", totalBytes);
  EntryLineReader reader(in, inputName, codec, strict, &progress);
  std::string key, text;
  while (reader.next(key, text)) {
    const int status = veskorAddEntry(engine.connection(), wkb ? wkb->name() : nullptr, akb.name(),
                                      key.c_str(), text.c_str());
    if (!reader.added(engine, status)) continue;
    ++result.added;
    progress.update(result.added, reader.bytesRead());
  }
  progress.finish();
  result.skipped = reader.skipped();
  result.seconds = progress.elapsedSeconds();
  return result;
}

ImportResult importDocuments(const Engine& engine, const OpenKb& akb, const OpenKb* wkb,
                             const std::vector<std::string>& fileNames, const TextCodec& codec) {
  ImportResult result;
  Progress progress("documents", fileNames.size());
  for (const std::string& fileName : fileNames) {
    const std::string key =
        codec.toEngine(documentKeyFromPath(fileName), TextOrigin{"file name " + fileName, 0});
    const std::string text = codec.toEngine(readFileBytes(fileName), TextOrigin{fileName, 1});
    engine.check(veskorAddDocument(engine.connection(), wkb ? wkb->name() : nullptr, akb.name(), key.c_str(),
                                   text.c_str()));
    ++result.added;
    progress.update(result.added, result.added);
  }
  progress.finish();
  result.seconds = progress.elapsedSeconds();
  return result;
}

std::vector<EntryHit> findEntries(const Engine& engine, const char* akb, const char* wkb, const char* wa,
                                  const SearchSettings& settings, const std::string& latin1Query) {
  const int c = engine.connection();
  if (settings.storedTexts) {
    return entryHits(*checked(
        engine,
        TextSearchHits(veskorFindEntryWithText(c, wkb, akb, wa, settings.maxHits, settings.associationMode,
                                               settings.splitCompounds, latin1Query.c_str()),
                       TextSearchHitsDeleter{c})));
  }
  return entryHits(
      *checked(engine, SearchHits(veskorFindEntry(c, wkb, akb, wa, settings.maxHits, settings.associationMode,
                                                  settings.splitCompounds, latin1Query.c_str()),
                                  SearchHitsDeleter{c})));
}

namespace {

// Only the options variants choose a ranking; they always bring the stored texts.
std::vector<DocumentHit> rankedHits(const Engine& engine, veskorTextDocumentSearchHits* list,
                                    const SearchSettings& settings) {
  std::vector<DocumentHit> hits =
      documentHits(*checked(engine, TextDocumentHits(list, TextDocumentHitsDeleter{engine.connection()})));
  if (!settings.storedTexts) {
    for (DocumentHit& hit : hits) {
      for (SentenceHit& sentence : hit.sentences) sentence.text.reset();
    }
  }
  return hits;
}

}  // namespace

std::vector<DocumentHit> findDocuments(const Engine& engine, const char* akb, const char* wkb, const char* wa,
                                       const SearchSettings& settings, const std::string& latin1Query) {
  const int c = engine.connection();
  if (settings.ranking != VESKOR_RANKING_DOCUMENTED) {
    const veskorDocumentSearchOptions options{settings.ranking};
    return rankedHits(engine,
                      veskorFindDocumentWithOptions(c, wkb, akb, wa, settings.maxHits, settings.associationMode,
                                                    settings.splitCompounds, latin1Query.c_str(), &options),
                      settings);
  }
  if (settings.storedTexts) {
    return documentHits(*checked(
        engine, TextDocumentHits(
                    veskorFindDocumentWithText(c, wkb, akb, wa, settings.maxHits, settings.associationMode,
                                               settings.splitCompounds, latin1Query.c_str()),
                    TextDocumentHitsDeleter{c})));
  }
  return documentHits(*checked(
      engine, DocumentHits(veskorFindDocument(c, wkb, akb, wa, settings.maxHits, settings.associationMode,
                                              settings.splitCompounds, latin1Query.c_str()),
                           DocumentHitsDeleter{c})));
}

std::vector<DocumentHit> compareDocument(const Engine& engine, const char* akb, const char* wkb,
                                         const SearchSettings& settings, const std::string& latin1Text) {
  const int c = engine.connection();
  if (settings.ranking != VESKOR_RANKING_DOCUMENTED) {
    const veskorDocumentSearchOptions options{settings.ranking};
    return rankedHits(
        engine, veskorCompareDocumentWithOptions(c, wkb, akb, settings.maxHits, latin1Text.c_str(), &options),
        settings);
  }
  if (settings.storedTexts) {
    return documentHits(*checked(
        engine,
        TextDocumentHits(veskorCompareDocumentWithText(c, wkb, akb, settings.maxHits, latin1Text.c_str()),
                         TextDocumentHitsDeleter{c})));
  }
  return documentHits(
      *checked(engine, DocumentHits(veskorCompareDocument(c, wkb, akb, settings.maxHits, latin1Text.c_str()),
                                    DocumentHitsDeleter{c})));
}

void printEntryHits(const std::vector<EntryHit>& hits, const SearchSettings& settings,
                    const SearchReport& report, const TextCodec& codec) {
  if (report.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const EntryHit& hit : hits) {
      if (hit.confidence < settings.minConfidence) continue;
      nlohmann::json entry = {{"key", latin1ToUtf8(hit.key)}, {"confidence", hit.confidence}};
      if (hit.text) entry["text"] = latin1ToUtf8(*hit.text);
      list.push_back(entry);
    }
    const nlohmann::json out = {
        {"knowledgeBase", report.knowledgeBase}, {"query", jsonText(report.query, codec)}, {"hits", list}};
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return;
  }
  int rank = 0;
  for (const EntryHit& hit : hits) {
    if (hit.confidence < settings.minConfidence) continue;
    printHitLine(++rank, hit.confidence, codec.toOutput(hit.key), codec.toOutput(hit.text.value_or("")));
  }
  if (rank == 0) std::fprintf(stderr, "veskor: no hits\n");
}

std::string sentenceText(const std::string& latin1Document, int offset, int length) {
  if (offset < 0 || length <= 0 || static_cast<size_t>(offset) >= latin1Document.size()) return {};
  const std::string_view span = std::string_view(latin1Document).substr(static_cast<size_t>(offset), length);
  std::string text;
  bool space = false;
  for (const char c : span) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) {
      space = !text.empty();
    } else {
      if (space) text.push_back(' ');
      space = false;
      text.push_back(c);
    }
  }
  return text;
}

std::string findDocumentFile(const std::string& directory, const std::string& key) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path preferred = fs::path(directory) / (key + ".txt");
  if (fs::is_regular_file(preferred, error)) return preferred.string();
  std::vector<fs::path> candidates;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error) && it->path().stem() == key) candidates.push_back(it->path());
  }
  if (candidates.empty()) return {};
  return std::min_element(candidates.begin(), candidates.end())->string();
}

void printDocumentHits(const std::vector<DocumentHit>& hits, const SearchSettings& settings,
                       const SearchReport& report, const TextCodec& codec) {
  nlohmann::json list = nlohmann::json::array();
  int rank = 0;
  for (const DocumentHit& hit : hits) {
    if (hit.confidence < settings.minConfidence) continue;
    const std::string key = codec.toOutput(hit.key);
    std::string document;  // the text as the engine received it, when the source is known
    bool haveDocument = false;
    if (!report.sourceDirectory.empty()) {
      const std::string fileName = findDocumentFile(report.sourceDirectory, key);
      if (fileName.empty()) {
        std::fprintf(stderr, "veskor: no file for document %s in %s\n", key.c_str(),
                     report.sourceDirectory.c_str());
      } else {
        document = codec.toEngine(readFileBytes(fileName), TextOrigin{fileName, 1});
        haveDocument = true;
      }
    }
    ++rank;
    nlohmann::json sentences = nlohmann::json::array();
    if (!report.json) printHitLine(rank, hit.confidence, key, "");
    for (const SentenceHit& sentence : hit.sentences) {
      // The sentence as written when its document's file is at hand, else what the entry stores.
      const std::optional<std::string> latin1 =
          haveDocument ? sentenceText(document, sentence.offset, sentence.length) : sentence.text;
      const std::string text = codec.toOutput(latin1.value_or(""));
      if (report.json) {
        nlohmann::json entry = {
            {"offset", sentence.offset}, {"length", sentence.length}, {"score", sentence.confidence}};
        if (latin1) entry["text"] = jsonText(text, codec);
        sentences.push_back(entry);
      } else {
        std::printf("            %7.3f  @%d+%d%s%s\n", sentence.confidence, sentence.offset, sentence.length,
                    haveDocument || !text.empty() ? "  " : "", text.c_str());
      }
    }
    if (report.json) {
      list.push_back(
          {{"key", latin1ToUtf8(hit.key)}, {"confidence", hit.confidence}, {"sentences", sentences}});
    }
  }
  if (report.json) {
    const nlohmann::json out = {{"knowledgeBase", report.knowledgeBase},
                                {"query", jsonText(report.query, codec)},
                                {"documents", list}};
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else if (rank == 0) {
    std::fprintf(stderr, "veskor: no documents found\n");
  }
}

}  // namespace veskorcli
