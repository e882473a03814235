// The component state of one client thread: its engine connection, the knowledge bases it has
// open with their records, its temporary word knowledge base and the count of its living Engine
// and AKB objects. Objects keep the state of the thread that created them alive, so the state
// outlives the thread while any of them does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "veskor/veskorx.hpp"

namespace veskorx::detail {

inline constexpr int32_t kKBTypeAKB = 0;
inline constexpr int32_t kKBTypeWKB = 1;

// One knowledge base open in the engine, shared by every AKB object that uses it.
struct KBInfo {
  std::string KBName;      // the engine's name for it: a number, then "AKB" or "WKB"
  std::string KBFilename;  // the trimmed file name it was first loaded with
  int32_t KBType = kKBTypeAKB;
  int32_t KBRefCounter = 0;
  bool KBModified = false;
};

// Records in order of opening, found by file name regardless of letter case.
class KBList {
 public:
  std::shared_ptr<KBInfo> findByFile(const std::string& fileName) const;
  void add(std::shared_ptr<KBInfo> info) { records_.push_back(std::move(info)); }
  void remove(const KBInfo* info);
  bool empty() const { return records_.empty(); }
  void clear() { records_.clear(); }

 private:
  std::vector<std::shared_ptr<KBInfo>> records_;
};

struct ModuleState {
  ModuleState() = default;
  ModuleState(const ModuleState&) = delete;
  ModuleState& operator=(const ModuleState&) = delete;
  ~ModuleState();

  // A connection handle may be 0, so initialisation is a flag of its own.
  bool initialized = false;
  int32_t connection = 0;
  KBList akbList;
  KBList wkbList;
  std::string temporaryWKBFile;
  int32_t liveObjects = 0;
  std::vector<Error> deferredErrors;

  void objectCreated() { ++liveObjects; }
  // Counts an Engine or AKB as ended and tears the state down once nothing uses it; failures are
  // deferred, never thrown.
  void objectEnded() noexcept;
  // Opens the record for a file (by file name, regardless of letter case) or adds a reference to
  // the one already open. Raises engine failures with source.
  std::shared_ptr<KBInfo> openKB(KBList& list, const std::string& fileName, int32_t type, const char* source);
  // Drops a reference; the last one closes the knowledge base and removes its record. Returns the
  // close's status (0 when nothing was closed).
  int releaseKB(KBList& list, KBInfo& info, const char* source);
  void deferError(Error error) noexcept;
  void deferCurrentException(const char* source) noexcept;

 private:
  // Ends the connection and the temporary word knowledge base when no object and no knowledge base
  // is left.
  void tearDownIfUnused();
};

// The calling thread's state, created on first use.
std::shared_ptr<ModuleState> currentState();

}  // namespace veskorx::detail
