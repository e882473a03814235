// veskor demo: builds knowledge bases from the sample data in a scratch directory and shows what
// fuzzy search finds, one explained example at a time.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "buildWa.h"
#include "commands.h"
#include "engine.h"
#include "failure.h"
#include "operations.h"

#ifndef VESKOR_SOURCE_SAMPLE_DIR
#define VESKOR_SOURCE_SAMPLE_DIR ""
#endif

namespace fs = std::filesystem;

namespace veskorcli {
namespace {

struct EntryExample {
  const char* explanation;
  const char* query;
};

// Each query differs from its entry the way user input does.
const EntryExample entryExamples[] = {
    {"A misspelt town, two of its words left out:", "Rotenburg Tauber"},
    {"A street written with ss for ß, without the house number:", "Schillerstrasse Hamburg"},
    {"Words in another order:", "Göttingen Adlerweg"},
    {"A misspelt product name:", "Kaffemaschine Thermoskanne"},
};

const char* const documentQuery = "Schlauch flicken";
// A word that no sample document contains, and the German thesaurus that links it to one they do.
const char* const synonymQuery = "Drahtesel";
const char* const thesaurusFile = "/usr/share/openthesaurus-de/openthesaurus.txt";

// The installed tool finds the data next to itself; a build tree uses the source tree's copy.
fs::path findSampleDirectory() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path installed = executable.parent_path().parent_path() / "share" / "veskor" / "sample";
    if (fs::is_regular_file(installed / "entries.tsv", error)) return installed;
  }
  const fs::path source = VESKOR_SOURCE_SAMPLE_DIR;
  if (!source.empty() && fs::is_regular_file(source / "entries.tsv", error)) return source;
  throw fileError("sample data not found; name its directory with --data DIR");
}

std::map<std::string, std::string> readEntryTexts(const fs::path& fileName) {
  std::map<std::string, std::string> texts;
  std::ifstream in(fileName, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) texts[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return texts;
}

// Runs the demo inside the scratch directory, so that any working file lands there too.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& directory) : previous_(fs::current_path()) {
    fs::current_path(directory);
  }
  ~WorkingDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
  }

 private:
  fs::path previous_;
};

class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& kept) {
    if (!kept.empty()) {
      fs::create_directories(kept);
      path_ = fs::absolute(kept);
      return;
    }
    std::string pattern = (fs::temp_directory_path() / "veskor-demo-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw fileError("cannot create a temporary directory");
    path_ = pattern;
    remove_ = true;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (remove_) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  bool remove_ = false;
};

void printDocumentsOrNone(const std::vector<DocumentHit>& hits, const SearchSettings& settings,
                          const SearchReport& report, const TextCodec& codec) {
  if (hits.empty()) {
    std::printf("   (no documents found)\n");
    return;
  }
  printDocumentHits(hits, settings, report, codec);
}

// Associations: a word knowledge base and a word associator made from a thesaurus let a search for
// a word that no document contains find the documents that hold its synonyms.
void showThesaurus(const Engine& engine, const OpenKb& documents, OpenKb& words, const SearchReport& report,
                   const TextCodec& codec) {
  std::printf(
      "\nA word that no document contains, widened by the synonyms a thesaurus associates with it:\n");
  std::error_code error;
  if (!fs::is_regular_file(thesaurusFile, error)) {
    std::printf(
        "   (skipped: %s is missing; scripts/install-deps installs it with the Debian package\n"
        "   openthesaurus-de-text)\n",
        thesaurusFile);
    return;
  }
  const SearchSettings top2{2, 0, 0, 0};
  const SearchSettings associated{2, 1, 0, 0};
  const std::string query = codec.toEngine(synonymQuery, TextOrigin{"demo query", 0});
  std::printf("   $ veskor build-wa thesaurus.wa --thesaurus %s --wkb words.kb\n", thesaurusFile);
  std::fflush(stdout);
  WordPairs pairs;
  std::ifstream in(thesaurusFile, std::ios::binary);
  readThesaurus(in, thesaurusFile, codec, pairs, {});
  const veskorWABuildInfo info =
      buildWordAssociator(engine, "thesaurus.wa", pairs, thesaurusFile, &words, VESKOR_WA_LENIENT);
  words.save();
  std::printf(
      "   %d words linked by %d pairs of synonyms; the %d words new to words.kb are registered there\n",
      info.numberWords, info.numberLinks, info.numberRegisteredWords);

  std::printf("\n   $ veskor find-doc documents.kb \"%s\" --wkb words.kb -n 2 --source docs\n", synonymQuery);
  std::fflush(stdout);
  printDocumentsOrNone(findDocuments(engine, documents.name(), words.name(), nullptr, top2, query), top2,
                       report, codec);
  std::printf(
      "   $ veskor find-doc documents.kb \"%s\" --wkb words.kb --wa thesaurus.wa --associate -n 2 "
      "--source docs\n",
      synonymQuery);
  std::fflush(stdout);
  const OpenWa thesaurus(engine, "thesaurus.wa", "thesaurus");
  printDocumentsOrNone(
      findDocuments(engine, documents.name(), words.name(), thesaurus.name(), associated, query), associated,
      report, codec);
}

void runDemo(const GlobalOptions& options, const std::string& dataOption, const std::string& keepOption) {
  const TextCodec codec(Encoding::utf8, false);  // the sample data is UTF-8
  const fs::path data = dataOption.empty() ? findSampleDirectory() : fs::absolute(dataOption);
  const fs::path entriesFile = data / "entries.tsv";
  const fs::path docsDirectory = data / "docs";
  const fs::path compareFile = data / "compare" / "entkalken.txt";
  const ScratchDirectory scratch(keepOption);
  const WorkingDirectory inScratch(scratch.path());

  std::printf("Veskor demo: knowledge bases built from %s\n", data.c_str());
  std::printf("in %s%s\n", scratch.path().c_str(), keepOption.empty() ? " (removed at the end)" : "");

  const Engine engine(codec, options.verbose);
  const SearchSettings top3{3, 0, 0, 0};
  const SearchSettings top2{2, 0, 0, 0};

  // Entries: places, streets and products found by groups of characters.
  createKbFile(engine, "entries.kb", KbKind::entries);
  createKbFile(engine, "scratch-words.kb", KbKind::words);
  {
    OpenKb entries(engine, "entries.kb", "entries");
    std::ifstream in(entriesFile, std::ios::binary);
    if (!in) throw fileError(entriesFile.string() + ": cannot be opened");
    const ImportResult imported = importEntries(engine, entries, nullptr, in, entriesFile.string(),
                                                fs::file_size(entriesFile), codec, true);
    entries.save();
    std::printf("\n== %llu entries (places, streets, products) from %s\n",
                static_cast<unsigned long long>(imported.added), entriesFile.filename().c_str());
    std::printf("   $ veskor create entries.kb && veskor import entries.kb entries.tsv\n");

    const std::map<std::string, std::string> texts = readEntryTexts(entriesFile);
    const OpenKb words(engine, "scratch-words.kb", "scratch-words");
    for (const EntryExample& example : entryExamples) {
      std::printf("\n%s\n   $ veskor find entries.kb \"%s\" -n 3\n", example.explanation, example.query);
      // A knowledge base of entries keeps no texts: the demo shows them from the imported file.
      const std::vector<EntryHit> hits =
          findEntries(engine, entries.name(), words.name(), nullptr, top3,
                      codec.toEngine(example.query, TextOrigin{"demo query", 0}));
      for (size_t i = 0; i < hits.size(); ++i) {
        const std::string key = codec.toOutput(hits[i].key);
        const auto text = texts.find(key);
        std::printf("   %3zu  %.4f  %-8s %s\n", i + 1, hits[i].confidence, key.c_str(),
                    text == texts.end() ? "" : text->second.c_str());
      }
    }
  }

  // Documents: one entry per sentence, found by words; the word knowledge base supplies similar words.
  std::vector<std::string> documentFiles;
  for (const auto& file : fs::directory_iterator(docsDirectory)) {
    if (file.is_regular_file()) documentFiles.push_back(file.path().string());
  }
  std::sort(documentFiles.begin(), documentFiles.end());
  createKbFile(engine, "documents.kb", KbKind::documents);
  createKbFile(engine, "words.kb", KbKind::words);
  OpenKb documents(engine, "documents.kb", "documents");
  OpenKb words(engine, "words.kb", "words");
  const ImportResult imported = importDocuments(engine, documents, &words, documentFiles, codec);
  documents.save();
  words.save();
  std::printf("\n== %llu German documents from %s, their words in a word knowledge base\n",
              static_cast<unsigned long long>(imported.added), docsDirectory.filename().c_str());
  std::printf("   $ veskor create documents.kb --kind documents && veskor create words.kb --kind words\n");
  std::printf("   $ veskor import-docs documents.kb docs/*.txt --wkb words.kb\n");

  SearchReport report{"documents.kb", documentQuery, false, docsDirectory.string()};
  std::printf("\nA document search ranks documents and shows their matching sentences (score, byte span):\n");
  std::printf("   $ veskor find-doc documents.kb \"%s\" --wkb words.kb -n 2 --source docs\n", documentQuery);
  std::fflush(stdout);
  printDocumentHits(findDocuments(engine, documents.name(), words.name(), nullptr, top2,
                                  codec.toEngine(documentQuery, TextOrigin{"demo query", 0})),
                    top2, report, codec);

  report.query = compareFile.string();
  std::printf(
      "\nA whole text (a reader's question) compared with the documents finds the one it is about:\n");
  std::printf("   $ veskor compare documents.kb compare/entkalken.txt --wkb words.kb -n 2 --source docs\n");
  std::fflush(stdout);
  printDocumentHits(compareDocument(engine, documents.name(), words.name(), top2,
                                    codec.toEngine(readFileBytes(compareFile.string()),
                                                   TextOrigin{compareFile.string(), 1})),
                    top2, report, codec);

  report.query = synonymQuery;
  showThesaurus(engine, documents, words, report, codec);
}

}  // namespace

void addDemoCommand(CLI::App& app, const GlobalOptions& options) {
  CLI::App* cmd = app.add_subcommand("demo", "Build knowledge bases from the sample data and search them");
  auto data = std::make_shared<std::string>();
  auto keep = std::make_shared<std::string>();
  cmd->add_option("--data", *data, "Sample data directory (entries.tsv, docs/, compare/)");
  cmd->add_option("--keep", *keep, "Build in this directory and keep the knowledge bases");
  cmd->callback([&options, data, keep] { runDemo(options, *data, *keep); });
}

}  // namespace veskorcli
