// Knowledge-base files, and opening, closing, saving and backing up knowledge bases and word
// associators under names of the caller's choosing. Open objects belong to the process: any
// connection may use or close them by name.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "orlBasics/orlText.h"
#include "veskor/veskorExt.h"
#include "veskorANN/wordAssociator.h"
#include "veskorAPI/veskorAPIInternal.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

// The three kinds of knowledge base a file can be created as.
struct kbSettings {
  int32_t encoding;
  int32_t entryInformation;
  int32_t featureType;
};
constexpr kbSettings kWordKB{6, 11, knowledgeBase_featureTypeTuples};
constexpr kbSettings kEntryKB{6, 2, knowledgeBase_featureTypeTuples};
constexpr kbSettings kDocumentKB{2, 2, knowledgeBase_featureTypeWords};

void freeNamedObject(namedSyncedDataObject* object) noexcept {
  try {
    namedSyncedDataObject_free(object);
  } catch (...) {
  }
}

// Registers data under the trimmed name; on failure the call frees the data and the named
// object. emptyStatus/emptyMessage report a name of white space only.
template <class T, void (*FreeData)(T*) noexcept>
void registerNamed(veskorCall_t& call, dataManager* manager, const char* contextWord, T* data, const char* pName,
                   int emptyStatus, const char* emptyMessage) {
  call.onFailure<FreeData>(data);
  const char* name = call.trimmedCopy(pName);
  if (name[0] == 0) ORL_RAISE(kVeskorAPIGroup, emptyStatus, emptyMessage);
  namedSyncedDataObject* object = call.onFailure<freeNamedObject>(
      namedSyncedDataObject_create(name, data, &namedSyncedDataObject_cloneText, &namedSyncedDataObject_freeID));
  call.setContext(contextWord);
  dataManager_linkDataObject(manager, object);
}

// Unregisters the name and waits until no other call holds the object; the data is then the
// caller's, and freed by the call even if a later step fails.
template <class T, void (*FreeData)(T*) noexcept>
T* unregisterNamed(veskorCall_t& call, dataManager* manager, const char* contextWord, const char* pName) {
  const char* name = call.trimmedCopy(pName);
  call.setContext(contextWord);
  namedSyncedDataObject* object = dataManager_unlinkDataObject(manager, name);
  return call.atEnd<FreeData>(static_cast<T*>(namedSyncedDataObject_free(object)));
}

void requireArgument(const void* argument, const char* message) {
  if (argument == nullptr) ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID, message);
}

dataManager* kbManager() { return veskorGlobalState().kbManager; }
dataManager* waManager() { return veskorGlobalState().waManager; }

// Saves and frees an object taken out of its registry by veskorCleanup; it is freed even when the
// save fails.
void saveAndFreeKB(void* data) {
  orl::KnowledgeBasePtr kb(static_cast<knowledgeBase*>(data));
  knowledgeBase_save(kb.get());
}

void saveAndFreeWA(void* data) {
  orl::WordAssociatorPtr wa(static_cast<wordAssociator*>(data));
  wordAssociator_save(wa.get());
}

}  // namespace

void veskorCloseAllKBs() { veskorCloseAll(kbManager(), &saveAndFreeKB); }
void veskorCloseAllWAs() { veskorCloseAll(waManager(), &saveAndFreeWA); }

// ---- Knowledge bases -------------------------------------------------------------------------

extern "C" VESKOR_EXPORT int veskorCreateKBFile(int connectionID, const char* pKBFileName, int pLanguage,
                                                int pForDocuments, int pKBKind) {
  return veskorCall("veskorCreateKBFile", connectionID, [&](veskorCall_t& call) {
    requireArgument(pKBFileName, "error: pKBFileName == NULL in veskorCreateKBFile()");
    if (pLanguage < 0 || pLanguage > 2) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_LANGUAGE, "error: unknown language given in veskorCreateKBFile()");
    }
    // Every accepted language gives a German knowledge base.
    const kbSettings& kind = pKBKind == 1 ? kWordKB : (pForDocuments != 0 ? kDocumentKB : kEntryKB);
    knowledgeBase* kb = call.atEnd<knowledgeBase_free>(knowledgeBase_create(
        knowledgeBase_languageGerman, kind.encoding, kind.entryInformation, kind.featureType));
    knowledgeBase_saveAs(kb, call.absolutePath(pKBFileName));
  });
}

extern "C" VESKOR_EXPORT int veskorCreateKBFileWithSettings(int connectionID, const char* pKBFileName,
                                                            int pLanguage, int pEncoding, int pEntryInformation,
                                                            int pFeatureType) {
  return veskorCall("veskorCreateKBFileWithSettings", connectionID, [&](veskorCall_t& call) {
    requireArgument(pKBFileName, "error: pKBFileName == NULL in veskorCreateKBFileWithSettings()");
    if (pLanguage < 0 || pLanguage > 2) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_LANGUAGE,
                "error: unknown language given in veskorCreateKBFileWithSettings()");
    }
    if (pEncoding < 0 || pEncoding > 7) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pEncoding must be 0 to 7 in veskorCreateKBFileWithSettings()");
    }
    if (pEntryInformation < 1 || pEntryInformation > 15) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pEntryInformation must be 1 to 15 in veskorCreateKBFileWithSettings()");
    }
    if (pFeatureType != knowledgeBase_featureTypeTuples && pFeatureType != knowledgeBase_featureTypeWords) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FEATURE_TYPE,
                "error: pFeatureType must be 1 or 2 in veskorCreateKBFileWithSettings()");
    }
    // Phonetic codes and upper-casing follow German rules; the kernel would refuse some of these
    // combinations with a message of its own group and quietly accept others.
    if (pLanguage != knowledgeBase_languageGerman && (pEncoding & (VESKOR_ENCODING_PHONETIC | VESKOR_ENCODING_UPPER_CASE)) != 0) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: phonetic codes and upper-casing need language 1 in veskorCreateKBFileWithSettings()");
    }
    knowledgeBase* kb =
        call.atEnd<knowledgeBase_free>(knowledgeBase_create(pLanguage, pEncoding, pEntryInformation, pFeatureType));
    knowledgeBase_saveAs(kb, call.absolutePath(pKBFileName));
  });
}

extern "C" VESKOR_EXPORT int veskorRemoveKBFile(int connectionID, const char* pKBFileName) {
  return veskorCall("veskorRemoveKBFile", connectionID, [&](veskorCall_t& call) {
    requireArgument(pKBFileName, "error: pKBFileName == NULL in veskorRemoveKBFile()");
    const char* path = call.absolutePath(pKBFileName);
    // Only a regular file counts: fopen opens a directory for reading as well, and std::remove
    // would then delete it when it is empty.
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr && errno == ENOMEM) ORL_RAISE(1, 1, "error: out of memory in veskorRemoveKBFile()");
    struct stat info;
    bool regular = file != nullptr && fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
    if (file != nullptr) std::fclose(file);
    if (!regular) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FILE, "error: can't find file ", path, " in veskorRemoveKBFile()");
    }
    if (std::remove(path) != 0) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FILE, "error: can't delete file", path, " in veskorRemoveKBFile()");
    }
  });
}

extern "C" VESKOR_EXPORT int veskorOpenKB(int connectionID, const char* pKBFileName, const char* pKBName) {
  return veskorCall("veskorOpenKB", connectionID, [&](veskorCall_t& call) {
    requireArgument(pKBFileName, "error: pKBFileName == NULL in veskorOpenKB()");
    requireArgument(pKBName, "error: pKBName == NULL in veskorOpenKB()");
    // The file is loaded before the name is checked, as callers have always seen it.
    knowledgeBase* kb = knowledgeBase_createFromFile(call.absolutePath(pKBFileName));
    registerNamed<knowledgeBase, knowledgeBase_free>(call, kbManager(), kContextKB, kb, pKBName,
                                                     VESKOR_ERROR_KBNAME,
                                                     "error: name of knowledge base invalid in veskorOpenKB()");
  });
}

extern "C" VESKOR_EXPORT int veskorCloseKB(int connectionID, const char* pKBName) {
  return veskorCall("veskorCloseKB", connectionID, [&](veskorCall_t& call) {
    requireArgument(pKBName, "error: pKBName == NULL in veskorCloseKB()");
    unregisterNamed<knowledgeBase, knowledgeBase_free>(call, kbManager(), kContextKB, pKBName);
  });
}

extern "C" VESKOR_EXPORT int veskorSaveKB(int connectionID, const char* pKBName) {
  return veskorCall("veskorSaveKB", connectionID, [&](veskorCall_t& call) {
    requireArgument(pKBName, "error: pKBName == NULL in veskorSaveKB()");
    knowledgeBase_save(call.exclusiveAccess<knowledgeBase>(call.lookUpKB(pKBName)));
  });
}

extern "C" VESKOR_EXPORT int veskorBackupKB(int connectionID, const char* pNewKBFileName, const char* pKBName) {
  return veskorCall("veskorBackupKB", connectionID, [&](veskorCall_t& call) {
    requireArgument(pNewKBFileName, "error: pNewKBFileName == NULL in veskorBackupKB()");
    requireArgument(pKBName, "error: pKBName == NULL in veskorBackupKB()");
    const char* path = call.absolutePath(pNewKBFileName);
    knowledgeBase_saveAs(call.exclusiveAccess<knowledgeBase>(call.lookUpKB(pKBName)), path);
  });
}

// ---- Word associators ------------------------------------------------------------------------

extern "C" VESKOR_EXPORT int veskorOpenWA(int connectionID, const char* pWAFileName, const char* pWAName) {
  return veskorCall("veskorOpenWA", connectionID, [&](veskorCall_t& call) {
    requireArgument(pWAFileName, "error: pWAFileName == NULL in veskorOpenWA()");
    requireArgument(pWAName, "error: pWAName == NULL in veskorOpenWA()");
    wordAssociator* wa = wordAssociator_createFromFile(call.absolutePath(pWAFileName));
    registerNamed<wordAssociator, wordAssociator_free>(call, waManager(), kContextWA, wa, pWAName,
                                                       VESKOR_ERROR_WANAME,
                                                       "error: name of word associator invalid in veskorOpenWA()");
  });
}

extern "C" VESKOR_EXPORT int veskorCloseWA(int connectionID, const char* pWAName) {
  return veskorCall("veskorCloseWA", connectionID, [&](veskorCall_t& call) {
    requireArgument(pWAName, "error: pWAName == NULL in veskorCloseWA()");
    unregisterNamed<wordAssociator, wordAssociator_free>(call, waManager(), kContextWA, pWAName);
  });
}

extern "C" VESKOR_EXPORT int veskorSaveWA(int connectionID, const char* pWAName) {
  return veskorCall("veskorSaveWA", connectionID, [&](veskorCall_t& call) {
    requireArgument(pWAName, "error: pWAName == NULL in veskorSaveWA()");
    wordAssociator_save(call.exclusiveAccess<wordAssociator>(call.lookUpWA(pWAName)));
  });
}

extern "C" VESKOR_EXPORT int veskorBackupWA(int connectionID, const char* pNewWAFileName, const char* pWAName) {
  return veskorCall("veskorBackupWA", connectionID, [&](veskorCall_t& call) {
    requireArgument(pNewWAFileName, "error: pNewWAFileName == NULL in veskorBackupWA()");
    requireArgument(pWAName, "error: pWAName == NULL in veskorBackupWA()");
    const char* path = call.absolutePath(pNewWAFileName);
    wordAssociator_saveAs(call.exclusiveAccess<wordAssociator>(call.lookUpWA(pWAName)), path);
  });
}
