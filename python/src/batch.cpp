#include "batch.h"

#include <veskor/veskorExt.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../../tools/common/shardManifest.h"
#include "../../tools/common/shardMerge.h"
#include "engine.h"
#include "hits.h"
#include "objects.h"

namespace py = pybind11;

namespace veskorpy {
namespace {

// What one query gave: a hit list per knowledge base, or the failure (taken in the searching
// thread, whose latest error it is).
struct QueryResult {
  std::vector<TextSearchHits> lists;
  int status = 0;
  std::string message;
};

unsigned threadCount(py::handle threads, std::size_t queries) {
  unsigned count = 0;
  if (threads.is_none()) {
    count = std::max(1u, std::thread::hardware_concurrency());
  } else {
    if (!PyLong_Check(threads.ptr())) {
      throw py::type_error(std::string("threads must be int or None, not ") + Py_TYPE(threads.ptr())->tp_name);
    }
    const long long value = threads.cast<long long>();
    if (value < 1) throw py::value_error("threads must be at least 1");
    count = static_cast<unsigned>(std::min<long long>(value, 1024));
  }
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(count, queries)));
}

void addNote(py::error_already_set& error, const std::string& note) {
  py::object value = error.value();
  if (py::hasattr(value, "add_note")) value.attr("add_note")(note);
}

py::list mergedHits(const std::vector<TextSearchHits>& lists, int maxHits) {
  if (lists.size() == 1) return entryHits(*lists.front());
  std::vector<std::vector<double>> confidences(lists.size());
  for (std::size_t s = 0; s < lists.size(); ++s) {
    for (int i = 0; i < lists[s]->numberHits; ++i) confidences[s].push_back(lists[s]->hits[i].confidence);
  }
  const auto picks = veskorshards::mergeRanked(confidences, static_cast<std::size_t>(maxHits));
  py::list merged(picks.size());
  for (std::size_t i = 0; i < picks.size(); ++i) {
    PyList_SET_ITEM(merged.ptr(), static_cast<Py_ssize_t>(i),
                    entryHit(lists[picks[i].list]->hits[picks[i].position]).release().ptr());
  }
  return merged;
}

std::filesystem::path directoryPath(py::handle directory) { return std::filesystem::path(fileName(directory, "directory")); }

}  // namespace

py::list findMany(py::handle kbs, py::handle queries, py::handle n, py::handle words, py::handle associator,
                  int associationMode, int splitCompounds, py::handle threads) {
  std::vector<std::shared_ptr<KnowledgeBase>> bases;
  for (py::handle kb : py::iter(kbs)) {
    if (!py::isinstance<KnowledgeBase>(kb)) {
      throw py::type_error(std::string("kbs has the wrong type: ") + Py_TYPE(kb.ptr())->tp_name);
    }
    bases.push_back(kb.cast<std::shared_ptr<KnowledgeBase>>());
  }
  if (bases.empty()) throw py::value_error("no knowledge base to search");
  const int id = bases.front()->use();
  std::vector<const char*> names;
  for (const auto& kb : bases) {
    kb->requireOpen();
    names.push_back(kb->name().c_str());
  }
  const int maxHits = numberOfHits(n);
  const char* wkb = nameOf<KnowledgeBase>(words, "words", false);
  const char* wa = nameOf<WordAssociator>(associator, "associator", true);

  // The objects are held so that their buffers stay valid while the engine reads them.
  std::vector<py::object> holders;
  std::vector<EngineText> texts;
  for (py::handle query : py::iter(queries)) {
    try {
      holders.push_back(py::reinterpret_borrow<py::object>(query));
      texts.push_back(bases.front()->text(query, "query"));
    } catch (py::builtin_exception& raised) {
      raised.set_error();
      py::error_already_set error;
      addNote(error, "while reading query " + std::to_string(texts.size()));
      throw error;
    } catch (py::error_already_set& error) {
      addNote(error, "while reading query " + std::to_string(texts.size()));
      throw;
    }
  }
  const unsigned workers = threadCount(threads, texts.size());

  std::vector<QueryResult> results(texts.size());
  withoutGil([&] {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
      for (std::size_t i; !failed.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < texts.size();) {
        QueryResult& result = results[i];
        for (const char* akb : names) {
          veskorTextSearchHits* list = veskorFindEntryWithText(id, wkb, akb, wa, maxHits, associationMode,
                                                               splitCompounds, texts[i].c_str());
          if (list == nullptr) {
            classicFindEntry(id, wkb, akb, wa, maxHits, associationMode, splitCompounds, texts[i].c_str());
            result.status = veskorGetLatestErrorCode(id);
            if (char* message = veskorGetLatestErrorMessage(id)) {
              result.message = message;
              std::free(message);
            }
            result.lists.clear();
            failed.store(true);
            break;
          }
          result.lists.emplace_back(list, TextSearchHitsFree{id});
        }
      }
    };
    std::vector<std::thread> helpers;
    try {
      for (unsigned t = 1; t < workers; ++t) helpers.emplace_back(work);
    } catch (...) {
      // Fewer threads than asked for: those started and this one share the work.
    }
    work();
    for (std::thread& helper : helpers) helper.join();
  });

  for (std::size_t i = 0; i < results.size(); ++i) {
    if (results[i].status == 0) continue;
    try {
      raiseEngineMessage(results[i].status, results[i].message);
    } catch (py::error_already_set& error) {
      addNote(error, "while searching query " + std::to_string(i));
      throw;
    }
  }
  py::list out(results.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), mergedHits(results[i].lists, maxHits).release().ptr());
  }
  return out;
}

py::list mergeHits(py::handle lists, py::handle n) {
  const int maxHits = numberOfHits(n);
  if (maxHits < 0) throw py::value_error("n must not be negative");
  std::vector<py::list> hitLists;
  std::vector<std::vector<double>> confidences;
  for (py::handle list : py::iter(lists)) {
    py::list hits = py::list(py::reinterpret_borrow<py::object>(list));
    std::vector<double>& values = confidences.emplace_back();
    for (py::handle hit : hits) values.push_back(py::reinterpret_borrow<py::sequence>(hit)[1].cast<double>());
    hitLists.push_back(std::move(hits));
  }
  const auto picks = veskorshards::mergeRanked(confidences, static_cast<std::size_t>(maxHits));
  py::list merged;
  for (const auto& pick : picks) merged.append(hitLists[pick.list][pick.position]);
  return merged;
}

py::dict readShardManifest(py::handle directory) {
  const std::filesystem::path path = directoryPath(directory);
  veskorshards::ShardManifest manifest;
  try {
    manifest = veskorshards::readManifest(path);
  } catch (const veskorshards::ManifestError& error) {
    std::error_code ignored;
    raiseError(std::filesystem::exists(path / veskorshards::kManifestName, ignored) ? VESKOR_ERROR_FILEFORMAT
                                                                                      : VESKOR_ERROR_FILE,
               error.what());
  }
  py::list shards;
  for (const auto& shard : manifest.shards) {
    shards.append(py::make_tuple(shard.file, shard.entries, shard.documents >= 0 ? py::object(py::int_(shard.documents))
                                                                                  : py::object(py::none())));
  }
  py::dict result;
  result["kind"] = manifest.kind;
  result["settings"] = py::make_tuple(manifest.settings.language, manifest.settings.encoding,
                                      manifest.settings.entryInformation, manifest.settings.featureType);
  result["shards"] = shards;
  result["words"] = manifest.words.empty() ? py::object(py::none()) : py::object(py::str(manifest.words));
  return result;
}

void writeShardManifest(py::handle directory, py::handle value) {
  const std::filesystem::path path = directoryPath(directory);
  const py::dict dict = py::reinterpret_borrow<py::dict>(value);
  veskorshards::ShardManifest manifest;
  manifest.kind = dict["kind"].cast<std::string>();
  const auto settings = dict["settings"].cast<std::tuple<int, int, int, int>>();
  manifest.settings = {std::get<0>(settings), std::get<1>(settings), std::get<2>(settings), std::get<3>(settings)};
  for (py::handle shard : dict["shards"]) {
    const py::tuple entry = py::reinterpret_borrow<py::tuple>(shard);
    manifest.shards.push_back({entry[0].cast<std::string>(), entry[1].cast<long long>(),
                               entry[2].is_none() ? -1 : entry[2].cast<long long>()});
  }
  if (dict.contains("words") && !dict["words"].is_none()) manifest.words = dict["words"].cast<std::string>();
  // What this writes must read back: the reader's checks apply.
  try {
    veskorshards::parseManifest(veskorshards::formatManifest(manifest));
  } catch (const veskorshards::ManifestError& error) {
    raiseError(VESKOR_ERROR_ARGUMENT_NOT_VALID, error.what());
  }
  const std::string failure = withoutGil([&] {
    try {
      veskorshards::writeManifest(path, manifest);
      return std::string();
    } catch (const veskorshards::ManifestError& error) {
      return std::string(error.what());
    } catch (const std::bad_alloc&) {
      return std::string("out of memory");
    }
  });
  if (!failure.empty()) raiseError(VESKOR_ERROR_FILE, failure);
}

}  // namespace veskorpy
