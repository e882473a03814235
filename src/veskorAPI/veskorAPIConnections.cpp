// Connections: registered tokens that every call presents. They belong to the process; any
// thread may use or close any of them.
#include <mutex>
#include <random>

#include "orlBasics/errorGroups.h"
#include "veskorAPI/veskorAPIInternal.h"

namespace {

constexpr int32_t kNumberConnectionIDs = 32768;
// Random draws before the identifiers are searched in order.
constexpr int kRandomDraws = 64;

orl::Mutex gGeneratorMutex;
std::minstd_rand gGenerator ORL_GUARDED_BY(gGeneratorMutex);

int32_t drawConnectionID() {
  orl::MutexLock lock(gGeneratorMutex);
  return static_cast<int32_t>(gGenerator() % kNumberConnectionIDs);
}

void freeWithoutData(namedSyncedDataObject* object) noexcept {
  try {
    namedSyncedDataObject_free(object);
  } catch (...) {
  }
}

// Registers a connection under id; false when the id is in use.
bool tryLink(int32_t id, int32_t* placeholder) {
  orl::Owned<namedSyncedDataObject, freeWithoutData> object(
      namedSyncedDataObject_create(&id, placeholder, &dataManager_cloneInt32ID, &namedSyncedDataObject_freeID));
  try {
    dataManager_linkDataObject(veskorGlobalState().connectionManager, object.get());
  } catch (const orl::Exception& e) {
    if (!orl::matches(e, {{orl::errorGroup::dataManager, 3}})) throw;
    return false;
  }
  (void)object.release();
  return true;
}

int32_t linkNewConnection(int32_t* placeholder) {
  for (int i = 0; i < kRandomDraws; ++i) {
    int32_t id = drawConnectionID();
    if (tryLink(id, placeholder)) return id;
  }
  // Crowded: walk all identifiers once from a random start instead of drawing for ever.
  dataManager* connections = veskorGlobalState().connectionManager;
  int32_t start = drawConnectionID();
  for (int32_t k = 0; k < kNumberConnectionIDs; ++k) {
    int32_t id = (start + k) % kNumberConnectionIDs;
    if (!dataManager_hasDataObject(connections, &id) && tryLink(id, placeholder)) return id;
  }
  ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_IDENTIFIER,
            "error: all connection identifiers are in use in veskorOpenConnection()");
}

void freePlaceholder(void* data) { orlFree(data); }

}  // namespace

void veskorSeedConnectionIDs(unsigned seed) {
  orl::MutexLock lock(gGeneratorMutex);
  gGenerator.seed(seed);
}

void veskorCloseAllConnections() { veskorCloseAll(veskorGlobalState().connectionManager, &freePlaceholder); }

extern "C" VESKOR_EXPORT int veskorOpenConnection(int* pConnectionID) {
  if (pConnectionID == nullptr) return VESKOR_ERROR_ARGUMENT_NOT_VALID;
  return veskorCallWithoutConnection("veskorOpenConnection", [&](veskorCall_t& call) {
    auto* placeholder = call.onFailure<orlFree>(static_cast<int32_t*>(orlMalloc(sizeof(int32_t))));
    *placeholder = 0;
    *pConnectionID = linkNewConnection(placeholder);
  });
}

extern "C" VESKOR_EXPORT int veskorCloseConnection(int connectionID) {
  return veskorCallWithoutConnection("veskorCloseConnection", [&](veskorCall_t& call) {
    int32_t id = connectionID;
    call.setContext(kContextConnection);
    namedSyncedDataObject* object = dataManager_unlinkDataObject(veskorGlobalState().connectionManager, &id);
    // Waits until no call holds a reference to the connection.
    orlFree(namedSyncedDataObject_free(object));
  });
}
