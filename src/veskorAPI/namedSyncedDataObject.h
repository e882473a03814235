// A data object shared by all threads under an identifier (group 102): its own reader/writer
// access and a reference count that keeps it alive while calls use it. The creator holds one
// reference until namedSyncedDataObject_free, which waits for every other holder.
#pragma once

#include "orlBasics/orlMemory.h"
#include "veskorAPI/referenceCounter.h"
#include "veskorAPI/sharedAccessManager.h"

typedef void* (*namedSyncedDataObject_cloneIDFct)(const void* pID);
typedef void (*namedSyncedDataObject_freeIDFct)(void* pID);

struct namedSyncedDataObject {
  void* dataObject;  // not owned
  void* id;          // the object's own copy of its identifier
  namedSyncedDataObject_cloneIDFct cloneIDFct;
  namedSyncedDataObject_freeIDFct freeIDFct;
  sharedAccessManager* access;
  referenceCounter* references;
};

// Units of the access of every named object and data manager.
inline constexpr int32_t kNamedObjectAccessUnits = 128;

namedSyncedDataObject* namedSyncedDataObject_create(const void* pID, void* pDataObject,
                                                    namedSyncedDataObject_cloneIDFct pCloneIDFct,
                                                    namedSyncedDataObject_freeIDFct pFreeIDFct);
// Gives back the creator's reference, waits until no other reference is held, frees the object and
// returns its data object, which the caller frees. Null gives null.
void* namedSyncedDataObject_free(namedSyncedDataObject* pThis);
const void* namedSyncedDataObject_getID(const namedSyncedDataObject* pThis);
// A new copy of the identifier, owned by the caller.
void* namedSyncedDataObject_getCloneIDFct(const namedSyncedDataObject* pThis);
void* namedSyncedDataObject_getSharedAccess(namedSyncedDataObject* pThis) ORL_ACQUIRE_SHARED(pThis->access);
void namedSyncedDataObject_releaseShared(namedSyncedDataObject* pThis) ORL_RELEASE_SHARED(pThis->access);
void* namedSyncedDataObject_getExclusiveAccess(namedSyncedDataObject* pThis) ORL_ACQUIRE(pThis->access);
void namedSyncedDataObject_releaseExclusiveAccess(namedSyncedDataObject* pThis) ORL_RELEASE(pThis->access);
namedSyncedDataObject* namedSyncedDataObject_getReference(namedSyncedDataObject* pThis);
void namedSyncedDataObject_releaseReference(namedSyncedDataObject* pThis);

// Identifier functions for texts (knowledge-base and word-associator names).
void* namedSyncedDataObject_cloneText(const void* pID);
void namedSyncedDataObject_freeID(void* pID) noexcept;
