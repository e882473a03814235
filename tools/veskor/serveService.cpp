#include "serveService.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "failure.h"
#include "operations.h"

namespace veskorcli::serve {
namespace {

using nlohmann::json;

constexpr int streamWriteError = 500003;
constexpr int streamReadError = 500004;
constexpr int outOfMemory = 101;

// Names travel in URLs and metric labels, so they keep to characters that need no escaping.
bool isServiceName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name == "." || name == "..") return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
  });
}

struct KbArgument {
  std::string name;
  std::string file;
};

// FILE serves under its file name without directory and extension; NAME=FILE under NAME. An
// argument that names an existing file is always a file, even with "=" in it.
KbArgument parseKbArgument(const std::string& argument) {
  std::error_code error;
  const size_t equals = argument.find('=');
  if (equals == std::string::npos || std::filesystem::exists(argument, error)) {
    return {documentKeyFromPath(argument), argument};
  }
  return {argument.substr(0, equals), argument.substr(equals + 1)};
}

json limitDetails(const char* name, uint64_t maximum) {
  return {{"limit", {{"name", name}, {"maximum", maximum}}}};
}

const std::string* param(const Params& params, const std::string& name) {
  const auto it = params.find(name);
  return it == params.end() ? nullptr : &it->second;
}

// How documents are ranked: "documented" (also when absent) or "length-aware".
int rankingParam(const Params& params) {
  const std::string* value = param(params, "ranking");
  if (value == nullptr || *value == "documented") return VESKOR_RANKING_DOCUMENTED;
  if (*value == "length-aware") return VESKOR_RANKING_LENGTH_AWARE;
  throw RequestError(400, "ranking must be documented or length-aware");
}

bool flagParam(const Params& params, const std::string& name) {
  const std::string* value = param(params, name);
  if (value == nullptr) return false;
  if (*value == "1" || *value == "true" || value->empty()) return true;
  if (*value == "0" || *value == "false") return false;
  throw RequestError(400, name + " must be true or false");
}

json parseBody(const std::string& body) {
  json parsed = json::parse(body, nullptr, false);
  if (parsed.is_discarded()) throw RequestError(400, "the request body is not valid JSON");
  return parsed;
}

// The engine call's status as the HTTP answer: 4xx for what the request asked, 5xx for the engine.
[[noreturn]] void rethrowAsRequestError(const EngineFailure& failure, json details = json::object()) {
  details["engineStatus"] = failure.status();
  throw RequestError(httpStatusForEngineStatus(failure.status()), failure.message(), std::move(details));
}

json entryHitsJson(const std::vector<EntryHit>& hits) {
  json list = json::array();
  for (const EntryHit& hit : hits) {
    list.push_back({{"key", latin1ToUtf8(hit.key)},
                    {"confidence", hit.confidence},
                    {"text", latin1ToUtf8(hit.text.value_or(""))}});
  }
  return list;
}

json documentHitsJson(const std::vector<DocumentHit>& hits) {
  json list = json::array();
  for (const DocumentHit& hit : hits) {
    json sentences = json::array();
    for (const SentenceHit& sentence : hit.sentences) {
      sentences.push_back({{"offset", sentence.offset},
                           {"length", sentence.length},
                           {"score", sentence.confidence},
                           {"text", latin1ToUtf8(sentence.text.value_or(""))}});
    }
    list.push_back({{"key", latin1ToUtf8(hit.key)},
                    {"confidence", hit.confidence},
                    {"sentences", std::move(sentences)}});
  }
  return list;
}

int entryCount(const Engine& engine, const ServedKb& kb) {
  veskorKBInfo info{};
  engine.check(veskorGetKBInfo(engine.connection(), kb.engineName.c_str(), &info));
  return info.numberEntries;
}

}  // namespace

json errorBody(const std::string& message, const json& details) {
  json error = details;
  error["message"] = message;
  return {{"error", std::move(error)}};
}

int httpStatusForEngineStatus(int status) {
  switch (status) {
    case VESKOR_ERROR_FATAL:
    case VESKOR_ERROR_NOT_INITIALIZED:
    case VESKOR_ERROR_FILE:
    case VESKOR_ERROR_FILENAME:
    case VESKOR_ERROR_FILEFORMAT:
    case VESKOR_ERROR_KBNAME:
    case VESKOR_ERROR_IDENTIFIER:
    case VESKOR_ERROR_WANAME:
    case streamWriteError:
    case streamReadError:
      return 500;
    case outOfMemory:
      return 503;
    default:
      return status >= 90 && status <= 100 ? 500 : 422;
  }
}

ConnectionPool::Lease::~Lease() {
  std::lock_guard lock(pool_.mutex_);
  pool_.idle_.push_back(std::move(connection_));
}

ConnectionPool::Lease ConnectionPool::take() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<Engine> connection = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(connection));
    }
  }
  return Lease(*this, std::make_unique<Engine>(engine_, Engine::AnotherConnection{}));
}

Service::Service(const Engine& engine, const ServiceOptions& options)
    : engine_(engine), options_(options), pool_(engine) {
  namespace fs = std::filesystem;
  std::set<std::string> names;
  std::vector<fs::path> files;
  const auto sameFile = [](const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
  };
  for (const std::string& argument : options.knowledgeBases) {
    const KbArgument kb = parseKbArgument(argument);
    if (!isServiceName(kb.name)) {
      throw usageError(
          argument + ": \"" + kb.name +
          "\" cannot name a knowledge base in URLs (letters, digits, '_', '-' and '.', at most 64); "
          "serve it as NAME=FILE");
    }
    if (!names.insert(kb.name).second) {
      throw usageError(argument + ": a knowledge base is already served as \"" + kb.name +
                       "\"; serve one of them as NAME=FILE");
    }
    for (const fs::path& file : files) {
      if (sameFile(file, kb.file)) throw usageError(argument + ": " + file.string() + " is served already");
    }
    files.emplace_back(kb.file);
    auto served = std::make_unique<ServedKb>();
    served->name = kb.name;
    served->file = kb.file;
    kbs_.push_back(std::move(served));
  }
  if (!options.wkbFile.empty()) {
    for (auto& kb : kbs_) {
      if (sameFile(kb->file, options.wkbFile)) wkb_ = kb.get();
    }
    if (wkb_ == nullptr) {
      auto served = std::make_unique<ServedKb>();
      served->file = options.wkbFile;
      kbs_.push_back(std::move(served));
      wkb_ = kbs_.back().get();
    }
  }
  int number = 0;
  for (auto& kb : kbs_) {
    kb->engineName = "kb" + std::to_string(++number);
    kb->open = std::make_unique<OpenKb>(engine, kb->file, kb->engineName);
    const veskorKBInfo info = kb->open->info();
    kb->kind = info.kind;
    kb->textsStored = (info.entryInformation & VESKOR_ENTRY_TEXT_STORED) != 0;
  }
  scratch_ = std::make_unique<ScratchWordKb>(engine);
  if (!options.waFile.empty()) wa_ = std::make_unique<OpenWa>(engine, options.waFile, "wa");
}

Service::~Service() = default;

std::vector<const ServedKb*> Service::served() const {
  std::vector<const ServedKb*> list;
  for (const auto& kb : kbs_) {
    if (!kb->name.empty()) list.push_back(kb.get());
  }
  return list;
}

ServedKb& Service::lookUp(const std::string& name) {
  for (auto& kb : kbs_) {
    if (!kb->name.empty() && kb->name == name) return *kb;
  }
  throw RequestError(404, "no knowledge base is served as \"" + name + "\"");
}

std::string Service::toLatin1(const std::string& utf8, const std::string& what) const {
  std::string latin1;
  size_t position = 0;
  const std::string problem = utf8ToLatin1(utf8, options_.lossy, latin1, position);
  if (!problem.empty()) {
    throw RequestError(400, what + ": " + problem + " (the engine's texts are Latin-1)",
                       {{"position", position}});
  }
  return latin1;
}

int Service::hitsWanted(const Params& params) const {
  const std::string* n = param(params, "n");
  if (n == nullptr) return std::min(10, options_.limits.maxHits);
  const int maximum = options_.limits.maxHits;
  const bool digits = !n->empty() && n->size() <= 9 &&
                      std::all_of(n->begin(), n->end(), [](char c) { return c >= '0' && c <= '9'; });
  const int value = digits ? std::stoi(*n) : 0;
  if (value < 1 || value > maximum) {
    throw RequestError(400, "n must be a whole number from 1 to " + std::to_string(maximum),
                       limitDetails("n", static_cast<uint64_t>(maximum)));
  }
  return value;
}

// A knowledge base that is itself the word knowledge base cannot also stand in that role: it
// searches with the empty scratch one, as a word knowledge base opened on its own would.
const char* Service::wkbFor(const ServedKb& kb) const {
  if (wkb_ != nullptr && wkb_ != &kb) return wkb_->engineName.c_str();
  return scratch_->name();
}

json Service::listKbs() {
  const ConnectionPool::Lease connection = pool_.take();
  json list = json::array();
  try {
    for (const ServedKb* kb : served()) {
      list.push_back(
          {{"name", kb->name}, {"kind", kbKindName(kb->kind)}, {"entries", entryCount(*connection, *kb)}});
    }
  } catch (const EngineFailure& failure) {
    rethrowAsRequestError(failure);
  }
  return {{"knowledgeBases", std::move(list)}};
}

json Service::describeKb(const std::string& name) {
  ServedKb& kb = lookUp(name);
  const ConnectionPool::Lease connection = pool_.take();
  veskorKBInfo info{};
  try {
    connection->check(veskorGetKBInfo(connection->connection(), kb.engineName.c_str(), &info));
  } catch (const EngineFailure& failure) {
    rethrowAsRequestError(failure);
  }
  return {{"name", kb.name},
          {"kind", kbKindName(info.kind)},
          {"entries", info.numberEntries},
          {"textsStored", kb.textsStored},
          {"language", info.language},
          {"encoding", info.encoding},
          {"entryInformation", info.entryInformation},
          {"featureType", info.featureType},
          {"unsavedChanges", kb.unsaved()}};
}

json Service::find(const std::string& name, const Params& params) {
  ServedKb& kb = lookUp(name);
  const std::string* query = param(params, "q");
  if (query == nullptr) throw RequestError(400, "the seek text q is missing");
  if (query->size() > options_.limits.maxQueryBytes) {
    throw RequestError(400,
                       "the seek text q is longer than the limit of " +
                           std::to_string(options_.limits.maxQueryBytes) + " bytes",
                       limitDetails("q", options_.limits.maxQueryBytes));
  }
  SearchSettings settings;
  settings.maxHits = hitsWanted(params);
  settings.storedTexts = true;
  settings.associationMode = flagParam(params, "associate") ? 1 : 0;
  settings.splitCompounds = flagParam(params, "split") ? 1 : 0;
  settings.ranking = rankingParam(params);  // checked for every kind, used for documents
  if ((settings.associationMode || settings.splitCompounds) && !wa_) {
    throw RequestError(400, "associate and split need a word associator (veskor serve --wa WA)");
  }
  if (settings.splitCompounds && !settings.associationMode) {
    throw RequestError(400, "split works together with associate");
  }
  const std::string latin1 = toLatin1(*query, "q");
  const char* waName = settings.associationMode ? wa_->name() : nullptr;
  const ConnectionPool::Lease connection = pool_.take();
  json answer = {{"knowledgeBase", kb.name}, {"query", *query}};
  try {
    if (kb.kind == VESKOR_KB_KIND_DOCUMENTS) {
      answer["documents"] = documentHitsJson(
          findDocuments(*connection, kb.engineName.c_str(), wkbFor(kb), waName, settings, latin1));
    } else {
      answer["hits"] = entryHitsJson(
          findEntries(*connection, kb.engineName.c_str(), wkbFor(kb), waName, settings, latin1));
    }
  } catch (const EngineFailure& failure) {
    rethrowAsRequestError(failure);
  }
  return answer;
}

json Service::compare(const std::string& name, const Params& params, const std::string& body) {
  ServedKb& kb = lookUp(name);
  const json request = parseBody(body);
  if (!request.is_object() || !request.contains("text") || !request["text"].is_string()) {
    throw RequestError(400, "the body must be an object with the document as \"text\"");
  }
  SearchSettings settings;
  settings.maxHits = hitsWanted(params);
  settings.storedTexts = true;
  settings.ranking = rankingParam(params);
  const std::string latin1 = toLatin1(request["text"].get<std::string>(), "text");
  const ConnectionPool::Lease connection = pool_.take();
  try {
    return {{"knowledgeBase", kb.name},
            {"documents", documentHitsJson(compareDocument(*connection, kb.engineName.c_str(), wkbFor(kb),
                                                           settings, latin1))}};
  } catch (const EngineFailure& failure) {
    rethrowAsRequestError(failure);
  }
}

json Service::add(const std::string& name, const std::string& body, bool documents) {
  ServedKb& kb = lookUp(name);
  const json request = parseBody(body);
  const json items = request.is_array() ? request : json::array({request});
  if (items.empty()) throw RequestError(400, "the body holds no entries");
  // Everything is checked before anything is added.
  std::vector<std::pair<std::string, std::string>> entries;
  for (size_t i = 0; i < items.size(); ++i) {
    const json& item = items[i];
    const std::string place = request.is_array() ? "[" + std::to_string(i) + "]" : "";
    if (!item.is_object() || !item.contains("key") || !item["key"].is_string() || !item.contains("text") ||
        !item["text"].is_string()) {
      throw RequestError(400, "entry" + place + " must be an object with a string \"key\" and \"text\"",
                         {{"index", i}});
    }
    const std::string& key = item["key"].get_ref<const std::string&>();
    if (key.empty()) throw RequestError(400, "entry" + place + ": the key is empty", {{"index", i}});
    entries.emplace_back(toLatin1(key, "entry" + place + ".key"),
                         toLatin1(item["text"].get<std::string>(), "entry" + place + ".text"));
  }
  const ConnectionPool::Lease connection = pool_.take();
  std::lock_guard lock(kb.changeMutex);
  const char* wkb = wkb_ != nullptr && wkb_ != &kb ? wkb_->engineName.c_str() : nullptr;
  size_t added = 0;
  for (const auto& [key, text] : entries) {
    const int status = documents ? veskorAddDocument(connection->connection(), wkb, kb.engineName.c_str(),
                                                     key.c_str(), text.c_str())
                                 : veskorAddEntry(connection->connection(), wkb, kb.engineName.c_str(),
                                                  key.c_str(), text.c_str());
    // A failed add may still have registered words or taken a place, so it counts as a change.
    ++kb.changes;
    if (wkb_ != nullptr && wkb_ != &kb) ++wkb_->changes;
    if (status != VESKOR_OK) {
      try {
        connection->fail(status);
      } catch (const EngineFailure& failure) {
        rethrowAsRequestError(failure, {{"index", added}, {"added", added}});
      }
    }
    ++added;
  }
  try {
    return {{"added", added}, {"entries", entryCount(*connection, kb)}};
  } catch (const EngineFailure& failure) {
    rethrowAsRequestError(failure);
  }
}

json Service::remove(const std::string& name, const std::string& key, bool documents) {
  ServedKb& kb = lookUp(name);
  const std::string latin1 = toLatin1(key, "key");
  const ConnectionPool::Lease connection = pool_.take();
  std::lock_guard lock(kb.changeMutex);
  try {
    const int before = entryCount(*connection, kb);
    const int c = connection->connection();
    const int status = documents ? veskorDeleteDocument(c, kb.engineName.c_str(), latin1.c_str())
                                 : veskorDeleteEntry(c, kb.engineName.c_str(), latin1.c_str());
    connection->check(status);
    const int after = entryCount(*connection, kb);
    if (after != before) ++kb.changes;
    return {{"deleted", before - after}, {"entries", after}};
  } catch (const EngineFailure& failure) {
    rethrowAsRequestError(failure);
  }
}

void Service::saveLocked(const Engine& engine, ServedKb& kb) {
  const uint64_t changes = kb.changes.load();
  engine.check(veskorSaveKB(engine.connection(), kb.engineName.c_str()));
  kb.savedChanges = changes;
}

json Service::save(const std::string& name) {
  ServedKb& kb = lookUp(name);
  const ConnectionPool::Lease connection = pool_.take();
  json saved = json::array();
  try {
    {
      std::lock_guard lock(kb.changeMutex);
      saveLocked(*connection, kb);
      saved.push_back(kb.name);
    }
    // Words that this knowledge base's entries registered belong with them.
    if (wkb_ != nullptr && wkb_ != &kb) {
      std::lock_guard lock(wkb_->changeMutex);
      if (wkb_->unsaved()) {
        saveLocked(*connection, *wkb_);
        saved.push_back(wkb_->name.empty() ? "(word knowledge base)" : wkb_->name);
      }
    }
  } catch (const EngineFailure& failure) {
    rethrowAsRequestError(failure);
  }
  return {{"saved", std::move(saved)}};
}

bool Service::saveChanged(const Engine& engine, const std::function<void(const std::string&)>& report) {
  bool allSaved = true;
  for (auto& kb : kbs_) {
    std::lock_guard lock(kb->changeMutex);
    if (!kb->unsaved()) continue;
    try {
      saveLocked(engine, *kb);
      report("saved " + kb->file);
    } catch (const Failure& failure) {
      report("could not save " + kb->file + ": " + failure.what());
      allSaved = false;
    }
  }
  return allSaved;
}

std::string Service::kbMetrics() {
  const ConnectionPool::Lease connection = pool_.take();
  std::string entries =
      "# HELP veskor_kb_entries Entries a search can find, per knowledge base.\n"
      "# TYPE veskor_kb_entries gauge\n";
  std::string unsaved =
      "# HELP veskor_kb_unsaved_changes Changes made since the knowledge base was last saved.\n"
      "# TYPE veskor_kb_unsaved_changes gauge\n";
  for (const ServedKb* kb : served()) {
    veskorKBInfo info{};
    if (veskorGetKBInfo(connection->connection(), kb->engineName.c_str(), &info) == VESKOR_OK) {
      entries += "veskor_kb_entries{kb=\"" + kb->name + "\"} " + std::to_string(info.numberEntries) + "\n";
    }
    unsaved += "veskor_kb_unsaved_changes{kb=\"" + kb->name + "\"} " +
               std::to_string(kb->changes.load() - kb->savedChanges.load()) + "\n";
  }
  return entries + unsaved;
}

}  // namespace veskorcli::serve
