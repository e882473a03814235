#include "veskorAPI/namedSyncedDataObject.h"

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/scopeGuard.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::namedObject;

// Frees the parts of an object under construction or destruction.
void freeParts(namedSyncedDataObject* pThis) noexcept {
  sharedAccessManager_free(pThis->access);
  referenceCounter_free(pThis->references);
  if (pThis->id != nullptr) pThis->freeIDFct(pThis->id);
  orlFree(pThis);
}

}  // namespace

namedSyncedDataObject* namedSyncedDataObject_create(const void* pID, void* pDataObject,
                                                    namedSyncedDataObject_cloneIDFct pCloneIDFct,
                                                    namedSyncedDataObject_freeIDFct pFreeIDFct) {
  if (pID == nullptr || pDataObject == nullptr || pCloneIDFct == nullptr || pFreeIDFct == nullptr) {
    ORL_RAISE(kGroup, 1,
              "error: pID == NULL || pDataObject == NULL || pCloneIDFct == NULL || pFreeIDFct == NULL in "
              "namedSyncedDataObject_create()");
  }
  auto* object = static_cast<namedSyncedDataObject*>(orlMalloc(sizeof(namedSyncedDataObject)));
  *object = namedSyncedDataObject{pDataObject, nullptr, pCloneIDFct, pFreeIDFct, nullptr, nullptr};
  orl::ScopeGuard undo([object] { freeParts(object); });
  object->access = sharedAccessManager_create(kNamedObjectAccessUnits);
  object->references = referenceCounter_create();
  object->id = pCloneIDFct(pID);
  referenceCounter_increment(object->references);
  undo.dismiss();
  return object;
}

void* namedSyncedDataObject_free(namedSyncedDataObject* pThis) {
  if (pThis == nullptr) return nullptr;
  referenceCounter_decrement(pThis->references);
  referenceCounter_isZeroBlocking(pThis->references);
  void* data = pThis->dataObject;
  freeParts(pThis);
  return data;
}

const void* namedSyncedDataObject_getID(const namedSyncedDataObject* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_getID");
  return pThis->id;
}

void* namedSyncedDataObject_getCloneIDFct(const namedSyncedDataObject* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_getCloneIDFct");
  return pThis->cloneIDFct(pThis->id);
}

void* namedSyncedDataObject_getSharedAccess(namedSyncedDataObject* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_getSharedAccess");
  sharedAccessManager_getSharedAccess(pThis->access);
  return pThis->dataObject;
}

void namedSyncedDataObject_releaseShared(namedSyncedDataObject* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_releaseShared");
  sharedAccessManager_releaseSharedAccess(pThis->access);
}

void* namedSyncedDataObject_getExclusiveAccess(namedSyncedDataObject* pThis) {
  if (pThis == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_getExclusiveAccess");
  }
  sharedAccessManager_getExclusiveAccess(pThis->access);
  return pThis->dataObject;
}

void namedSyncedDataObject_releaseExclusiveAccess(namedSyncedDataObject* pThis) {
  if (pThis == nullptr) {
    ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_releaseExclusiveAccess");
  }
  sharedAccessManager_releaseExclusiveAccess(pThis->access);
}

namedSyncedDataObject* namedSyncedDataObject_getReference(namedSyncedDataObject* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_getReference");
  referenceCounter_increment(pThis->references);
  return pThis;
}

void namedSyncedDataObject_releaseReference(namedSyncedDataObject* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "error: pThis == NULL in namedSyncedDataObject_releaseReference");
  referenceCounter_decrement(pThis->references);
}

void* namedSyncedDataObject_cloneText(const void* pID) { return orlStrdup(static_cast<const char*>(pID)); }

void namedSyncedDataObject_freeID(void* pID) noexcept { orlFree(pID); }
