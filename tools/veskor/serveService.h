// What `veskor serve` does for each request, apart from HTTP: the knowledge bases it serves, the
// engine connections of its worker threads, and every operation as JSON in and JSON out.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine.h"

namespace veskorcli::serve {

// Bounds on what one request may ask for.
struct Limits {
  size_t maxBodyBytes = 1 << 20;
  size_t maxQueryBytes = 1000;  // of the seek text q, in UTF-8
  int maxHits = 100;            // of n
};

struct ServiceOptions {
  std::vector<std::string> knowledgeBases;  // FILE or NAME=FILE
  std::string wkbFile;
  std::string waFile;
  bool lossy = false;  // characters outside Latin-1 become '?' instead of being refused
  Limits limits;
};

// A request the service refuses: the HTTP status and a JSON error body's details.
class RequestError : public std::runtime_error {
 public:
  RequestError(int httpStatus, const std::string& message, nlohmann::json details = nlohmann::json::object())
      : std::runtime_error(message), httpStatus_(httpStatus), details_(std::move(details)) {}
  int httpStatus() const { return httpStatus_; }
  const nlohmann::json& details() const { return details_; }

 private:
  int httpStatus_;
  nlohmann::json details_;
};

// The body of every error answer: {"error": {"message": ..., plus details such as "engineStatus"
// or "limit"}}.
nlohmann::json errorBody(const std::string& message,
                         const nlohmann::json& details = nlohmann::json::object());
// The HTTP status for a failed engine call: the engine's own trouble is 500 (503 when out of
// memory), a refusal of what the request asked is 422.
int httpStatusForEngineStatus(int status);

// A knowledge base opened for the service. Requests name it by `name`; the engine knows it by
// `engineName`, which no request can reach.
struct ServedKb {
  std::string name;  // empty: the word knowledge base, used but not served
  std::string file;
  std::string engineName;
  int kind = 0;  // VESKOR_KB_KIND_*
  bool textsStored = false;
  std::unique_ptr<OpenKb> open;
  // Changes are made one at a time per knowledge base, so that counts before and after a change
  // are exact, and saves know which changes they include.
  std::mutex changeMutex;
  std::atomic<uint64_t> changes{0};
  std::atomic<uint64_t> savedChanges{0};  // written under changeMutex
  bool unsaved() const { return changes.load() != savedChanges.load(); }
};

// Engine connections for worker threads: a request takes one for its duration, so no two threads
// share a connection, and there are never more connections than threads running requests.
class ConnectionPool {
 public:
  explicit ConnectionPool(const Engine& engine) : engine_(engine) {}
  class Lease {
   public:
    Lease(ConnectionPool& pool, std::unique_ptr<Engine> connection)
        : pool_(pool), connection_(std::move(connection)) {}
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    const Engine& operator*() const { return *connection_; }
    const Engine* operator->() const { return connection_.get(); }

   private:
    ConnectionPool& pool_;
    std::unique_ptr<Engine> connection_;
  };
  Lease take();

 private:
  const Engine& engine_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Engine>> idle_;
};

using Params = std::multimap<std::string, std::string>;

class Service {
 public:
  // Opens every knowledge base (and the word knowledge base and word associator) with the main
  // connection; a bad argument is a usage Failure, an engine error an engine Failure.
  Service(const Engine& engine, const ServiceOptions& options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  const Limits& limits() const { return options_.limits; }
  // The served knowledge bases in the order given.
  std::vector<const ServedKb*> served() const;

  nlohmann::json listKbs();
  nlohmann::json describeKb(const std::string& name);
  nlohmann::json find(const std::string& name, const Params& params);
  nlohmann::json compare(const std::string& name, const Params& params, const std::string& body);
  nlohmann::json add(const std::string& name, const std::string& body, bool documents);
  nlohmann::json remove(const std::string& name, const std::string& key, bool documents);
  nlohmann::json save(const std::string& name);

  // Saves every knowledge base with unsaved changes through `engine` (a connection of the calling
  // thread); reports each save or failure. False when one failed.
  bool saveChanged(const Engine& engine, const std::function<void(const std::string&)>& report);

  // Prometheus lines for the knowledge bases: entries and unsaved changes.
  std::string kbMetrics();

 private:
  ServedKb& lookUp(const std::string& name);
  std::string toLatin1(const std::string& utf8, const std::string& what) const;
  int hitsWanted(const Params& params) const;
  const char* wkbFor(const ServedKb& kb) const;
  void saveLocked(const Engine& engine, ServedKb& kb);

  const Engine& engine_;
  ServiceOptions options_;
  std::vector<std::unique_ptr<ServedKb>> kbs_;  // served ones, then the word knowledge base if apart
  ServedKb* wkb_ = nullptr;
  std::unique_ptr<ScratchWordKb> scratch_;
  std::unique_ptr<OpenWa> wa_;
  ConnectionPool pool_;
};

}  // namespace veskorcli::serve
