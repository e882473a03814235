// The single-entry lookup workload through the exported API: a knowledge base of single entries
// (character groups, German upper-casing, "_" framing) built from the German word list (entry i =
// line i of the list, key "i"), then veskorFindEntry with 10 hits for each of the workload's seek
// texts, single threaded and warm (one untimed pass first).
//
//   build/bin/workload_bench [--batch] [--words N] [--searches-only KBFILE] [--queries FILE] [--passes N]
//   [--results FILE] [--compare FILE] [--keep DIR]
//
// Prints build (adds + save), the time per added entry, mean / p50 / p99 per query, the load time
// and the resident memory of a fresh process that opened the saved file, against the file's size.
// --results writes every query's hits (key and confidence to 17 digits) so that two builds can be
// compared byte for byte; the results are compared with bench/workload-results.txt (the ranking
// as it stands) unless --compare names another file or "" none, and a difference fails the run.
// --words N takes only the first N words (for profiles; no comparison then); --searches-only
// searches a knowledge base saved before (--keep) instead of building one.
// --batch adds the list with veskorAddEntries (one call) instead of one veskorAddEntry per word.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "germanWordList.h"
#include "veskor/veskorAPI.h"
#include "veskor/veskorExt.h"

#ifndef VESKOR_WORKLOADS
#define VESKOR_WORKLOADS ""
#endif
#ifndef VESKOR_REFERENCE_RESULTS
#define VESKOR_REFERENCE_RESULTS ""
#endif

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void check(int status, const char* what) {
  if (status != VESKOR_OK)
    throw std::runtime_error(std::string(what) + " failed: status " + std::to_string(status));
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Resident and peak resident memory of this process in kB (from /proc/self/status).
void residentMemory(long& rssKB, long& peakKB) {
  std::ifstream in("/proc/self/status");
  rssKB = peakKB = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) rssKB = std::atol(line.c_str() + 6);
    if (line.rfind("VmHWM:", 0) == 0) peakKB = std::atol(line.c_str() + 6);
  }
}

// Run in a fresh process: open the file, search once, report the process's resident memory.
int memoryChild(const char* file) {
  check(veskorInit(), "veskorInit");
  int connection = -1;
  check(veskorOpenConnection(&connection), "veskorOpenConnection");
  long before = 0, peak = 0, after = 0;
  residentMemory(before, peak);
  check(veskorOpenKB(connection, file, "words"), "veskorOpenKB");
  veskorSearchHits* hits = veskorFindEntry(connection, "words", "words", nullptr, 10, 0, 0, "Haus");
  if (hits == nullptr) throw std::runtime_error("veskorFindEntry failed");
  veskorFreeSearchHits(connection, hits);
  residentMemory(after, peak);
  std::printf("%ld %ld %ld\n", before, after, peak);
  veskorCloseKB(connection, "words");
  veskorCloseConnection(connection);
  veskorCleanup();
  return 0;
}

struct Memory {
  long beforeKB = -1, afterKB = -1, peakKB = -1;
};

Memory measureMemoryInChild(const std::string& file) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) throw std::runtime_error("cannot find this program");
  self[n] = 0;
  std::string command = std::string("'") + self + "' --memory-child '" + file + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot start " + command);
  Memory memory;
  int read = std::fscanf(pipe, "%ld %ld %ld", &memory.beforeKB, &memory.afterKB, &memory.peakKB);
  int status = pclose(pipe);
  if (read != 3 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("memory run failed");
  return memory;
}

double percentile(std::vector<double> sorted, double p) {
  std::sort(sorted.begin(), sorted.end());
  std::size_t at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(at, sorted.size() - 1)];
}

struct Options {
  std::string queries;
  std::string results;
  std::string keep;
  std::string compare = VESKOR_REFERENCE_RESULTS;
  int passes = 3;
  bool batch = false;
  std::size_t words = 0;  // 0: the whole list
  std::string existing;   // a saved knowledge base to search instead of building one
};

Options parse(int argc, char** argv) {
  Options options;
  std::string workloads = VESKOR_WORKLOADS;
  if (const char* env = std::getenv("VESKOR_WORKLOADS")) workloads = env;
  if (!workloads.empty()) options.queries = workloads + "/german-words-queries.txt";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--queries") {
      options.queries = value();
    } else if (arg == "--results") {
      options.results = value();
    } else if (arg == "--compare") {
      options.compare = value();
    } else if (arg == "--keep") {
      options.keep = value();
    } else if (arg == "--words") {
      options.words = static_cast<std::size_t>(std::max(1L, std::atol(value().c_str())));
      options.compare.clear();  // another knowledge base ranks differently
    } else if (arg == "--searches-only") {
      options.existing = value();
    } else if (arg == "--batch") {
      options.batch = true;
    } else if (arg == "--passes") {
      options.passes = std::max(1, std::atoi(value().c_str()));
    } else if (arg.rfind("--benchmark", 0) != 0) {  // make bench passes its filter to every program
      throw std::runtime_error("unknown option " + arg);
    }
  }
  return options;
}

int run(const Options& options) {
  std::vector<std::string> words = veskorbench::loadGermanWordList();
  if (words.empty()) {
    std::printf("workload_bench: /usr/share/dict/ngerman not installed, skipped\n");
    return 0;
  }
  if (options.words > 0 && options.words < words.size()) words.resize(options.words);
  if (options.queries.empty() || !std::filesystem::exists(options.queries)) {
    std::printf("workload_bench: seek texts not found (--queries FILE or VESKOR_WORKLOADS=DIR), skipped\n");
    return 0;
  }
  std::vector<std::string> queries = readLines(options.queries);
  std::filesystem::path dir = options.keep.empty() ? std::filesystem::temp_directory_path() /
                                                         ("veskor-workload-" + std::to_string(getpid()))
                                                   : std::filesystem::path(options.keep);
  std::filesystem::create_directories(dir);
  const bool build = options.existing.empty();
  std::string file = build ? (dir / "ngerman.kb").string() : options.existing;

  check(veskorInit(), "veskorInit");
  int connection = -1;
  check(veskorOpenConnection(&connection), "veskorOpenConnection");
  std::size_t refused = 0;
  double addSeconds = 0, saveSeconds = 0;
  if (build) {
    check(veskorCreateKBFile(connection, file.c_str(), 1, 0, 0), "veskorCreateKBFile");
    check(veskorOpenKB(connection, file.c_str(), "words"), "veskorOpenKB");

    std::vector<std::string> keys(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) keys[i] = std::to_string(i + 1);
    Clock::time_point start = Clock::now();
    if (options.batch) {
      std::vector<const char*> keyPointers, textPointers;
      for (std::size_t i = 0; i < words.size(); ++i) {
        keyPointers.push_back(keys[i].c_str());
        textPointers.push_back(words[i].c_str());
      }
      // A refused entry stops the batch: it is skipped as below and the batch goes on after it.
      std::size_t from = 0;
      while (from < words.size()) {
        int failed = -1;
        int status = veskorAddEntries(connection, nullptr, "words", static_cast<int>(words.size() - from),
                                      keyPointers.data() + from, textPointers.data() + from, &failed);
        if (status == VESKOR_OK) break;
        if (status != VESKOR_ERROR_ENTRY_NOT_VALID || failed < 0) check(status, "veskorAddEntries");
        ++refused;
        from += static_cast<std::size_t>(failed) + 1;
      }
    } else {
      for (std::size_t i = 0; i < words.size(); ++i) {
        // A few lines of the list are no words to the engine (digits or punctuation only): status 11.
        int status = veskorAddEntry(connection, nullptr, "words", keys[i].c_str(), words[i].c_str());
        if (status == VESKOR_ERROR_ENTRY_NOT_VALID) {
          ++refused;
          continue;
        }
        check(status, "veskorAddEntry");
      }
    }
    addSeconds = secondsSince(start);
    start = Clock::now();
    check(veskorSaveKB(connection, "words"), "veskorSaveKB");
    saveSeconds = secondsSince(start);
    check(veskorCloseKB(connection, "words"), "veskorCloseKB");
  }
  Clock::time_point start = Clock::now();
  check(veskorOpenKB(connection, file.c_str(), "words"), "veskorOpenKB");
  double loadSeconds = secondsSince(start);

  // One untimed pass (warm), then the timed passes; the results of the last pass are written.
  std::vector<double> times;
  // Each seek text's fastest pass: what is left when a busy machine's interruptions are taken out.
  std::vector<double> fastest(queries.size(), 1e300);
  std::string results;
  for (int pass = 0; pass <= options.passes; ++pass) {
    results.clear();
    for (std::size_t q = 0; q < queries.size(); ++q) {
      Clock::time_point begin = Clock::now();
      veskorSearchHits* hits =
          veskorFindEntry(connection, "words", "words", nullptr, 10, 0, 0, queries[q].c_str());
      double elapsed = secondsSince(begin);
      if (hits == nullptr)
        throw std::runtime_error("veskorFindEntry failed for query " + std::to_string(q + 1));
      if (pass > 0) {
        times.push_back(elapsed * 1e3);
        fastest[q] = std::min(fastest[q], elapsed * 1e3);
      }
      results += std::to_string(q + 1);
      for (int h = 0; h < hits->numberHits; ++h) {
        char confidence[40];
        std::snprintf(confidence, sizeof confidence, " %.17g", hits->hits[h].confidence);
        results += std::string(" ") + hits->hits[h].primaryKey + confidence;
      }
      results += '\n';
      veskorFreeSearchHits(connection, hits);
    }
  }
  check(veskorCloseKB(connection, "words"), "veskorCloseKB");
  veskorCloseConnection(connection);
  veskorCleanup();

  if (!options.results.empty()) {
    std::ofstream out(options.results, std::ios::binary);
    out << results;
    if (!out) throw std::runtime_error("cannot write " + options.results);
  }
  struct stat info {};
  stat(file.c_str(), &info);
  Memory memory = measureMemoryInChild(file);
  if (options.keep.empty()) std::filesystem::remove_all(dir);

  double mean = 0;
  for (double t : times) mean += t;
  mean /= static_cast<double>(times.size());
  std::size_t entries = words.size() - refused;
  double fileMB = static_cast<double>(info.st_size) / 1e6;
  std::printf("workload: %zu words (%zu refused), %zu seek texts, %d timed passes, %s\n", words.size(),
              refused, queries.size(), options.passes, options.batch ? "veskorAddEntries" : "veskorAddEntry");
  std::printf("%-44s %12s %s\n", "what", "measured", "target");
  std::printf("%-44s %9.2f s   <= 1.0 s\n", "build: adds", addSeconds);
  std::printf("%-44s %9.3f s   <= 0.25 s\n", "build: save", saveSeconds);
  std::printf("%-44s %9.2f us  <= 5 us\n", "add, per entry", addSeconds * 1e6 / static_cast<double>(entries));
  std::printf("%-44s %9.3f ms  <= 0.25 ms\n", "veskorFindEntry, 10 hits: mean", mean);
  std::printf("%-44s %9.3f ms  <= 0.20 ms\n", "veskorFindEntry, 10 hits: p50", percentile(times, 0.50));
  std::printf("%-44s %9.3f ms  <= 1.0 ms\n", "veskorFindEntry, 10 hits: p99", percentile(times, 0.99));
  double fastestMean = 0;
  for (double t : fastest) fastestMean += t;
  fastestMean /= static_cast<double>(fastest.size());
  std::printf("%-44s %9.3f / %.3f / %.3f ms\n", "  each seek text's fastest pass: mean/p50/p99", fastestMean,
              percentile(fastest, 0.50), percentile(fastest, 0.99));
  std::printf("%-44s %9.3f s\n", "load (veskorOpenKB, warm file)", loadSeconds);
  std::printf("%-44s %9.1f MB\n", "file size", fileMB);
  std::printf("%-44s %9.1f MB  (%.2fx the file; <= 1.25x)\n", "resident, fresh process with the KB open",
              static_cast<double>(memory.afterKB) * 1024 / 1e6,
              static_cast<double>(memory.afterKB) * 1024 / 1e6 / fileMB);
  std::printf("%-44s %9.1f MB  (%.2fx the file)\n", "  of it the open KB (after - before open)",
              static_cast<double>(memory.afterKB - memory.beforeKB) * 1024 / 1e6,
              static_cast<double>(memory.afterKB - memory.beforeKB) * 1024 / 1e6 / fileMB);
  std::printf("%-44s %9.1f MB\n", "  peak resident while loading",
              static_cast<double>(memory.peakKB) * 1024 / 1e6);
  if (!options.compare.empty()) {
    std::ifstream in(options.compare, std::ios::binary);
    std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) throw std::runtime_error("cannot read " + options.compare);
    if (expected != results) {
      std::size_t at = 0;
      while (at < expected.size() && at < results.size() && expected[at] == results[at]) ++at;
      long line = 1 + std::count(results.begin(), results.begin() + static_cast<long>(at), '\n');
      std::printf("results DIFFER from %s, first at seek text %ld\n", options.compare.c_str(), line);
      return 1;
    }
    std::printf("results (keys, order, confidences of all seek texts) identical to %s\n",
                options.compare.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::strcmp(argv[1], "--memory-child") == 0) return memoryChild(argv[2]);
    return run(parse(argc, argv));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "workload_bench: %s\n", e.what());
    return 1;
  }
}
