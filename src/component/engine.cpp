// Engine: initialisation of the thread's component state, knowledge-base files and loading AKBs.
#include <unistd.h>

#include <cstdlib>

#include "component/componentText.h"
#include "component/engineBinding.h"
#include "component/moduleState.h"
#include "orlBasics/scopeGuard.h"
#include "veskor/veskorx.hpp"

namespace veskorx {
namespace {

constexpr int32_t kLanguageDefault = 0;
constexpr int32_t kKindAKB = 0;
constexpr int32_t kKindWKB = 1;
constexpr std::size_t kMaxTemporaryDirectoryLength = 511;
constexpr std::size_t kMaxTemporaryFileNameLength = 575;

// Creates an empty, uniquely named file "wkb..." in $TMPDIR or /tmp; empty when none could be made.
std::string createTemporaryFile() {
  const char* environment = std::getenv("TMPDIR");
  std::string directory = environment != nullptr && environment[0] != 0 ? environment : "/tmp";
  if (directory.empty() || directory.size() > kMaxTemporaryDirectoryLength) return "";
  if (directory.back() != '/') directory += '/';
  std::string pattern = directory + "wkbXXXXXX";
  if (pattern.size() > kMaxTemporaryFileNameLength) return "";
  int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) return "";
  close(descriptor);
  return pattern;
}

}  // namespace

std::vector<Error> takeDeferredErrors() {
  std::shared_ptr<detail::ModuleState> state = detail::currentState();
  std::vector<Error> errors;
  errors.swap(state->deferredErrors);
  return errors;
}

std::shared_ptr<Engine> Engine::create() {
  return std::shared_ptr<Engine>(new Engine(detail::currentState()));
}

Engine::Engine(std::shared_ptr<detail::ModuleState> state) : state_(std::move(state)) {
  state_->objectCreated();
}

Engine::~Engine() {
  state_->objectEnded();
}

void Engine::Initialize() {
  detail::ModuleState& state = *state_;
  if (state.initialized) return;
  constexpr const char* source = "Initialize";
  int status = detail::engine::fnInit(source);
  if (status != 0) throw Error::fromStatus(status, source);
  int connection = 0;
  status = detail::engine::fnOpenConnection(&connection, source);
  if (status != 0) {
    detail::engine::fnCleanup(source);
    throw Error::fromStatus(status, source);
  }
  state.connection = connection;
  state.initialized = true;
  state.akbList.clear();
  state.wkbList.clear();

  std::string temporaryFile = createTemporaryFile();
  if (temporaryFile.empty()) return;
  // Kept even when creating the knowledge base fails, so that teardown removes the file.
  state.temporaryWKBFile = temporaryFile;
  constexpr const char* createSource = "CreateKnowledgeBase";
  status =
      detail::engine::fnCreateKBFile(connection, temporaryFile, kLanguageDefault, kKindWKB, createSource);
  if (status != 0) throw Error::fromStatus(status, createSource);
}

std::string Engine::AKBCreate(const std::string& Filename, int32_t /*akbMode*/) {
  if (!state_->initialized) return "";
  constexpr const char* source = "CreateKnowledgeBase";
  std::string fileName = detail::trimSpaces(Filename);
  int status =
      detail::engine::fnCreateKBFile(state_->connection, fileName, kLanguageDefault, kKindAKB, source);
  if (status != 0) throw Error::fromStatus(status, source);
  return fileName;
}

void Engine::AKBDelete(const std::string& Filename) {
  if (!state_->initialized) return;
  constexpr const char* source = "RemoveKnowledgeBase";
  int status = detail::engine::fnRemoveKBFile(state_->connection, detail::trimSpaces(Filename), source);
  if (status != 0) throw Error::fromStatus(status, source);
}

std::shared_ptr<AKB> Engine::AKBLoad(const std::string& AKBFilename) {
  if (!state_->initialized) return nullptr;
  return load(AKBFilename, "");
}

std::shared_ptr<AKB> Engine::load(const std::string& akbFilename, const std::string& wkbFilename) {
  detail::ModuleState& state = *state_;
  std::shared_ptr<detail::KBInfo> akb =
      state.openKB(state.akbList, detail::trimSpaces(akbFilename), detail::kKBTypeAKB, "AKBLoad");
  // Without this the AKB's reference would stay counted with no object to release it, and the
  // thread could never tear down.
  orl::ScopeGuard releaseAKB([&] {
    try {
      state.releaseKB(state.akbList, *akb, "AKBLoad");
    } catch (...) {
    }
  });
  std::string wkbFile = detail::trimSpaces(wkbFilename);
  if (wkbFile.empty()) wkbFile = state.temporaryWKBFile;
  std::shared_ptr<detail::KBInfo> wkb = state.openKB(state.wkbList, wkbFile, detail::kKBTypeWKB, "WKBLoad");
  orl::ScopeGuard releaseWKB([&] {
    try {
      state.releaseKB(state.wkbList, *wkb, "WKBLoad");
    } catch (...) {
    }
  });
  std::unique_ptr<AKB> object(new AKB(state_, akb, wkb));
  // From here the object holds the two references and gives them back when it ends.
  releaseWKB.dismiss();
  releaseAKB.dismiss();
  return std::shared_ptr<AKB>(std::move(object));
}

}  // namespace veskorx
