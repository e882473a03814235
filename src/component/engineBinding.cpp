// Late binding to the engine: the library is loaded by its file name when the first engine call
// is made, each function by its exported name when it is first called. Handles and addresses are
// kept process-wide in atomics, so client threads bind without locks; two threads binding at once
// store the same address.
#include "component/engineBinding.h"

#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "veskor/componentAPI.h"
#include "veskor/veskorx.hpp"

namespace veskorx::detail::engine {
namespace {

constexpr const char* kEngineLibrary = "libveskoreng.so";
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kEntryPointNotFound = 453;

enum Function : std::size_t {
  kInit,
  kCleanup,
  kOpenConnection,
  kCloseConnection,
  kCreateKBFile,
  kRemoveKBFile,
  kOpenKB,
  kCloseKB,
  kSaveKB,
  kAddEntry,
  kUpdateEntry,
  kDeleteEntry,
  kSearch,
  kGetSearchHit,
  kFreeSearchHits,
  kNumberFunctions
};

constexpr const char* kFunctionNames[kNumberFunctions] = {
    "fnInit",         "fnCleanup",     "fnOpenConnection", "fnCloseConnection", "fnCreateKBFile",
    "fnRemoveKBFile", "fnOpenKB",      "fnCloseKB",        "fnSaveKB",          "fnAddEntry",
    "fnUpdateEntry",  "fnDeleteEntry", "fnSearch",         "fnGetSearchHit",    "fnFreeSearchHits"};

std::atomic<void*> gLibrary{nullptr};
std::atomic<void*> gAddresses[kNumberFunctions];

// This library's own directory with the engine's file name, or empty when unknown.
std::string siblingOfThisLibrary() {
  static const char anchor = 0;
  Dl_info info;
  if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return "";
  std::string path = info.dli_fname;
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1) + kEngineLibrary;
}

void* library(const char* source) {
  void* handle = gLibrary.load(std::memory_order_acquire);
  if (handle != nullptr) return handle;
  // By file name: the loader's search path, then this library's run path (its own directory).
  // Never unloaded, so bound addresses stay valid for the life of the process.
  handle = dlopen(kEngineLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // Where dlopen is intercepted (sanitizer runtimes) the loader searches the interceptor's run
    // path instead of ours; look in our directory explicitly.
    std::string sibling = siblingOfThisLibrary();
    if (!sibling.empty()) handle = dlopen(sibling.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) {
    throw Error(kFileNotFound, source, std::string("File not found: ") + kEngineLibrary);
  }
  gLibrary.store(handle, std::memory_order_release);
  return handle;
}

void* address(Function function, const char* source) {
  void* bound = gAddresses[function].load(std::memory_order_acquire);
  if (bound != nullptr) return bound;
  bound = dlsym(library(source), kFunctionNames[function]);
  if (bound == nullptr) {
    throw Error(
        kEntryPointNotFound, source,
        std::string("Can't find DLL entry point ") + kFunctionNames[function] + " in " + kEngineLibrary);
  }
  gAddresses[function].store(bound, std::memory_order_release);
  return bound;
}

// The declaration in componentAPI.h gives each function's type; nothing here links against it.
template <typename Declared>
Declared* bind(Function function, const char* source) {
  return reinterpret_cast<Declared*>(address(function, source));
}

}  // namespace

int fnInit(const char* source) {
  return bind<decltype(::fnInit)>(kInit, source)();
}

int fnCleanup(const char* source) {
  return bind<decltype(::fnCleanup)>(kCleanup, source)();
}

int fnOpenConnection(int* connection, const char* source) {
  return bind<decltype(::fnOpenConnection)>(kOpenConnection, source)(connection);
}

int fnCloseConnection(int connection, const char* source) {
  return bind<decltype(::fnCloseConnection)>(kCloseConnection, source)(connection);
}

int fnCreateKBFile(int connection, const std::string& fileName, int language, int kind, const char* source) {
  return bind<decltype(::fnCreateKBFile)>(kCreateKBFile, source)(connection, fileName.c_str(), language,
                                                                 kind);
}

int fnRemoveKBFile(int connection, const std::string& fileName, const char* source) {
  return bind<decltype(::fnRemoveKBFile)>(kRemoveKBFile, source)(connection, fileName.c_str());
}

int fnOpenKB(int connection, const std::string& fileName, const std::string& kbName, const char* source) {
  return bind<decltype(::fnOpenKB)>(kOpenKB, source)(connection, fileName.c_str(), kbName.c_str());
}

int fnCloseKB(int connection, const std::string& kbName, const char* source) {
  return bind<decltype(::fnCloseKB)>(kCloseKB, source)(connection, kbName.c_str());
}

int fnSaveKB(int connection, const std::string& kbName, const char* source) {
  return bind<decltype(::fnSaveKB)>(kSaveKB, source)(connection, kbName.c_str());
}

int fnAddEntry(int connection, const std::string& wkbName, const std::string& akbName, const std::string& key,
               std::string& text, const char* source) {
  return bind<decltype(::fnAddEntry)>(kAddEntry, source)(connection, wkbName.c_str(), akbName.c_str(),
                                                         key.c_str(), text.data());
}

int fnUpdateEntry(int connection, const std::string& wkbName, const std::string& akbName,
                  const std::string& key, std::string& text, const char* source) {
  return bind<decltype(::fnUpdateEntry)>(kUpdateEntry, source)(connection, wkbName.c_str(), akbName.c_str(),
                                                               key.c_str(), text.data());
}

int fnDeleteEntry(int connection, const std::string& kbName, const std::string& key, const char* source) {
  return bind<decltype(::fnDeleteEntry)>(kDeleteEntry, source)(connection, kbName.c_str(), key.c_str());
}

int fnSearch(int connection, const std::string& wkbName, const std::string& akbName, int maxNumberHits,
             int splitCompounds, const std::string& searchText, void** hitList, int* numberHits,
             const char* source) {
  return bind<decltype(::fnSearch)>(kSearch, source)(connection, wkbName.c_str(), akbName.c_str(),
                                                     maxNumberHits, splitCompounds, searchText.c_str(),
                                                     hitList, numberHits);
}

int fnGetSearchHit(int connection, void* hitList, int index, char* keyBuffer, double* confidence,
                   int* reserved, const char* source) {
  return bind<decltype(::fnGetSearchHit)>(kGetSearchHit, source)(connection, hitList, index, keyBuffer,
                                                                 confidence, reserved);
}

int fnFreeSearchHits(int connection, void* hitList, const char* source) {
  return bind<decltype(::fnFreeSearchHits)>(kFreeSearchHits, source)(connection, hitList);
}

}  // namespace veskorx::detail::engine
