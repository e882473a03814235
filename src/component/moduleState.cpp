#include "component/moduleState.h"

#include <atomic>
#include <cstdio>
#include <new>

#include "component/componentText.h"
#include "component/engineBinding.h"

namespace veskorx::detail {
namespace {

constexpr int32_t kOutOfMemory = 7;

// Knowledge-base names are unique across the process: the engine's registry of open knowledge
// bases is shared by every client thread.
std::atomic<int32_t> gNameCounter{0};

std::string newKBName(int32_t type) {
  return std::to_string(gNameCounter.fetch_add(1) + 1) + (type == kKBTypeAKB ? "AKB" : "WKB");
}

}  // namespace

std::shared_ptr<KBInfo> KBList::findByFile(const std::string& fileName) const {
  for (const auto& record : records_) {
    if (equalIgnoringCase(record->KBFilename, fileName)) return record;
  }
  return nullptr;
}

void KBList::remove(const KBInfo* info) {
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if (it->get() == info) {
      records_.erase(it);
      return;
    }
  }
}

ModuleState::~ModuleState() {
  for (const Error& error : deferredErrors) {
    std::fprintf(stderr, "veskorx: unread error %d from %s: %s\n", static_cast<int>(error.number()),
                 error.source().c_str(), error.description().c_str());
  }
}

std::shared_ptr<KBInfo> ModuleState::openKB(KBList& list, const std::string& fileName, int32_t type,
                                            const char* source) {
  if (std::shared_ptr<KBInfo> record = list.findByFile(fileName)) {
    ++record->KBRefCounter;
    return record;
  }
  auto record = std::make_shared<KBInfo>();
  record->KBName = newKBName(type);
  record->KBFilename = fileName;
  record->KBType = type;
  int status = engine::fnOpenKB(connection, fileName, record->KBName, source);
  if (status != 0) throw Error::fromStatus(status, source);
  record->KBRefCounter = 1;
  list.add(record);
  return record;
}

int ModuleState::releaseKB(KBList& list, KBInfo& info, const char* source) {
  if (--info.KBRefCounter > 0) return 0;
  std::string name = info.KBName;
  list.remove(&info);
  return engine::fnCloseKB(connection, name, source);
}

void ModuleState::deferError(Error error) noexcept {
  try {
    deferredErrors.push_back(std::move(error));
  } catch (...) {
    std::fprintf(stderr, "veskorx: error %d from %s: %s\n", static_cast<int>(error.number()),
                 error.source().c_str(), error.description().c_str());
  }
}

void ModuleState::deferCurrentException(const char* source) noexcept {
  try {
    throw;
  } catch (const Error& error) {
    deferError(error);
  } catch (const std::bad_alloc&) {
    deferError(Error(kOutOfMemory, source, "Out of memory"));
  } catch (const std::exception& e) {
    deferError(Error(Error::fromStatus(-1, source).number(), source, e.what()));
  } catch (...) {
    deferError(Error::fromStatus(-1, source));
  }
}

void ModuleState::objectEnded() noexcept {
  if (liveObjects > 0) --liveObjects;
  try {
    tearDownIfUnused();
  } catch (...) {
    deferCurrentException("RemoveKnowledgeBase");
  }
}

void ModuleState::tearDownIfUnused() {
  if (!initialized || !akbList.empty() || liveObjects != 0) return;
  constexpr const char* source = "RemoveKnowledgeBase";
  if (!temporaryWKBFile.empty()) {
    int status = engine::fnRemoveKBFile(connection, temporaryWKBFile, source);
    if (status != 0) throw Error::fromStatus(status, source);
    temporaryWKBFile.clear();
  }
  engine::fnCloseConnection(connection, source);
  akbList.clear();
  wkbList.clear();
  connection = 0;
  initialized = false;
  engine::fnCleanup(source);
}

std::shared_ptr<ModuleState> currentState() {
  thread_local std::shared_ptr<ModuleState> state;
  if (state == nullptr) state = std::make_shared<ModuleState>();
  return state;
}

}  // namespace veskorx::detail
