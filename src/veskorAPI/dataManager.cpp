#include "veskorAPI/dataManager.h"

#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/scopeGuard.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::dataManager;
// The registries never limit the number of objects.
constexpr hashcount_t kUnlimited = static_cast<hashcount_t>(-1);

// The access is given back however the operation ends. A release cannot fail for an access this
// object took, so the destructors swallow what cannot happen rather than end the process.
class ORL_SCOPED_CAPABILITY SharedHold {
 public:
  explicit SharedHold(sharedAccessManager* access) ORL_ACQUIRE_SHARED(access) : access_(access) {
    sharedAccessManager_getSharedAccess(access);
  }
  ~SharedHold() ORL_RELEASE() {
    try {
      sharedAccessManager_releaseSharedAccess(access_);
    } catch (...) {
    }
  }

 private:
  sharedAccessManager* access_;
};

class ORL_SCOPED_CAPABILITY ExclusiveHold {
 public:
  explicit ExclusiveHold(sharedAccessManager* access) ORL_ACQUIRE(access) : access_(access) {
    sharedAccessManager_getExclusiveAccess(access);
  }
  ~ExclusiveHold() ORL_RELEASE() {
    try {
      sharedAccessManager_releaseExclusiveAccess(access_);
    } catch (...) {
    }
  }

 private:
  sharedAccessManager* access_;
};

}  // namespace

// Creating and freeing touch the table without the access: no other thread can see the manager.
dataManager* dataManager_create(hash_comp_t pCompareFct, hash_fun_t pHashFct) ORL_NO_THREAD_SAFETY_ANALYSIS {
  auto* manager = static_cast<dataManager*>(orlMalloc(sizeof(dataManager)));
  *manager = dataManager{nullptr, nullptr};
  orl::ScopeGuard freeManager([manager] { orlFree(manager); });
  orl::HashPtr table(hash_create(kUnlimited, pCompareFct, pHashFct));
  manager->access = sharedAccessManager_create(kNamedObjectAccessUnits);
  manager->table = table.release();
  freeManager.dismiss();
  return manager;
}

void dataManager_free(dataManager* pThis) ORL_NO_THREAD_SAFETY_ANALYSIS {
  if (pThis == nullptr) return;
  if (hash_count(pThis->table) != 0) {
    ORL_RAISE(kGroup, 2, "error: undeleted data objects found when calling dataManager_free");
  }
  hash_destroy(pThis->table);
  sharedAccessManager_free(pThis->access);
  orlFree(pThis);
}

void dataManager_linkDataObject(dataManager* pThis, namedSyncedDataObject* pDataObject) {
  if (pThis == nullptr || pDataObject == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL || pDataObject == NULL in dataManager_linkDataObject");
  }
  const void* id = namedSyncedDataObject_getID(pDataObject);
  if (id == nullptr) {
    ORL_RAISE(kGroup, 1,
              "error: namedSyncedDataObject_getID(pDataObject) == NULL in dataManager_linkDataObject");
  }
  ExclusiveHold hold(pThis->access);
  if (hash_lookup(pThis->table, id) != nullptr) {
    ORL_RAISE(kGroup, 3, "error: identifier is not unique in dataManager_linkDataObject");
  }
  hash_alloc_insert(pThis->table, id, pDataObject);
}

namedSyncedDataObject* dataManager_unlinkDataObject(dataManager* pThis, const void* pDataObjectID) {
  if (pThis == nullptr || pDataObjectID == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL || pDataObjectID == NULL in dataManager_unlinkDataObject");
  }
  ExclusiveHold hold(pThis->access);
  hnode_t* node = hash_lookup(pThis->table, pDataObjectID);
  if (node == nullptr) ORL_RAISE(kGroup, 3, "error: identifier not found in dataManager_unlinkDataObject");
  auto* object = static_cast<namedSyncedDataObject*>(hnode_get(node));
  hash_delete_free(pThis->table, node);
  return object;
}

namedSyncedDataObject* dataManager_unlinkAnyDataObject(dataManager* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in dataManager_unlinkAnyDataObject");
  ExclusiveHold hold(pThis->access);
  hash_scan_t scan;
  hash_scan_begin(&scan, pThis->table);
  hnode_t* node = hash_scan_next(&scan);
  if (node == nullptr) return nullptr;
  auto* object = static_cast<namedSyncedDataObject*>(hnode_get(node));
  hash_delete_free(pThis->table, node);
  return object;
}

namedSyncedDataObject* dataManager_getDataObject(dataManager* pThis, const void* pDataObjectID) {
  if (pThis == nullptr || pDataObjectID == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL || pDataObjectID == NULL in dataManager_getDataObject");
  }
  SharedHold hold(pThis->access);
  hnode_t* node = hash_lookup(pThis->table, pDataObjectID);
  if (node == nullptr) ORL_RAISE(kGroup, 3, "error: identifier not found in dataManager_getDataObject");
  return namedSyncedDataObject_getReference(static_cast<namedSyncedDataObject*>(hnode_get(node)));
}

bool dataManager_hasDataObject(dataManager* pThis, const void* pDataObjectID) {
  if (pThis == nullptr || pDataObjectID == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL || pDataObjectID == NULL in dataManager_hasDataObject");
  }
  SharedHold hold(pThis->access);
  return hash_lookup(pThis->table, pDataObjectID) != nullptr;
}

vector* dataManager_getIDsOfDataObjects(dataManager* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in dataManager_getIDsOfDataObjects");
  SharedHold hold(pThis->access);
  orl::VectorPtr ids(
      vector_create(sizeof(void*), static_cast<int32_t>(hash_count(pThis->table)), /*step*/ 1));
  orl::ScopeGuard freeCopies([&ids] {
    for (int32_t i = 0; i < vector_getNumberElements(ids.get()); ++i) orlFree(orl::vectorAt<void*>(ids.get(), i));
  });
  hash_scan_t scan;
  hash_scan_begin(&scan, pThis->table);
  while (hnode_t* node = hash_scan_next(&scan)) {
    orl::OwnedText copy(static_cast<char*>(
        namedSyncedDataObject_getCloneIDFct(static_cast<const namedSyncedDataObject*>(hnode_get(node)))));
    void* raw = copy.get();
    vector_appendElement(ids.get(), &raw);
    copy.release();
  }
  freeCopies.dismiss();
  return ids.release();
}

int dataManager_compareInt32IDs(const void* pID1, const void* pID2) {
  int32_t first;
  int32_t second;
  std::memcpy(&first, pID1, sizeof first);
  std::memcpy(&second, pID2, sizeof second);
  return first < second ? -1 : (first > second ? 1 : 0);
}

hash_val_t dataManager_hashInt32ID(const void* pID) {
  int32_t id;
  std::memcpy(&id, pID, sizeof id);
  return static_cast<hash_val_t>(id);
}

void* dataManager_cloneInt32ID(const void* pID) { return orlMemdup(pID, sizeof(int32_t)); }
