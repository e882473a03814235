// Registry of named synchronised objects keyed by their identifiers (group 103), guarded by its
// own reader/writer access: lookups share it, (un)registration takes it exclusively. The table's
// key is the object's own identifier copy, so an object must outlive its registration.
#pragma once

#include "kazlib/hash.h"
#include "orlBasics/vector.h"
#include "veskorAPI/namedSyncedDataObject.h"

struct dataManager {
  hash_t* table ORL_GUARDED_BY(access);
  sharedAccessManager* access;
};

// Null functions select text identifiers (byte-wise comparison, default text hash).
dataManager* dataManager_create(hash_comp_t pCompareFct, hash_fun_t pHashFct);
// Refuses (code 2, nothing freed) while objects are registered. Null is ignored. No other thread
// may use the manager any more.
void dataManager_free(dataManager* pThis);
// An identifier already registered raises code 3 and leaves the registered object in place.
void dataManager_linkDataObject(dataManager* pThis, namedSyncedDataObject* pDataObject);
// Removes the object from the registry (unknown identifier: code 3); its references are untouched.
namedSyncedDataObject* dataManager_unlinkDataObject(dataManager* pThis, const void* pDataObjectID);
// The object with one more reference (unknown identifier: code 3); give it back with
// namedSyncedDataObject_releaseReference.
namedSyncedDataObject* dataManager_getDataObject(dataManager* pThis, const void* pDataObjectID);
// Removes some object from the registry, or returns null when none is left. Allocates nothing, so
// that a clean-up empties the registry however little memory is left.
namedSyncedDataObject* dataManager_unlinkAnyDataObject(dataManager* pThis);
// Whether an object is registered under the identifier (a hint: another thread may change it).
bool dataManager_hasDataObject(dataManager* pThis, const void* pDataObjectID);
// A vector of new identifier copies (pointer-sized elements) in table order; the caller frees
// every copy (identifiers are allocated with the orl memory functions) and the vector.
vector* dataManager_getIDsOfDataObjects(dataManager* pThis);

// Identifier functions for 32-bit integer identifiers (connection IDs).
int dataManager_compareInt32IDs(const void* pID1, const void* pID2);
hash_val_t dataManager_hashInt32ID(const void* pID);
void* dataManager_cloneInt32ID(const void* pID);
