// Changing open knowledge bases: adding and deleting entries and documents, defragmenting.
// Every function holds exclusive access to the knowledge bases it names for the whole call, the
// application knowledge base first, then the word knowledge base. Nothing is saved here. What was
// stored before a failure stays stored, except when the call runs out of memory: then it fails as
// a whole (see addingAllOrNothingWithoutMemory; in a batch, the entry it was adding).
#include <cstring>

#include "kazlib/hash.h"
#include "orlBasics/orlMemory.h"
#include "veskorAPI/veskorAPIInternal.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorText/abbreviationList.h"
#include "veskorText/cAPIAdd_preprocessText.h"
#include "veskorSearch/kbase_addfile.h"
#include "veskorSearch/wordRegistration.h"

namespace {

// Kernel match modes of knowledgeBase_deleteEntry.
constexpr int32_t kMatchKeyEnd = 0;
constexpr int32_t kMatchKeyPrefix = 1;

struct akbAndWkb {
  knowledgeBase* akb;
  knowledgeBase* wkb;  // null when no word knowledge base was named
};

// Looks the WKB (when named) and then the AKB up, and takes exclusive access to both in the
// process-wide order of the frame. Naming one knowledge base in both roles takes its access once.
akbAndWkb accessAKBAndWKB(veskorCall_t& call, const char* pWKBName, const char* pAKBName) {
  namedSyncedDataObject* wkbObject = pWKBName != nullptr ? call.lookUpKB(pWKBName) : nullptr;
  namedSyncedDataObject* akbObject = call.lookUpKB(pAKBName);
  auto [akb, wkb] = call.accessPair<knowledgeBase>(akbObject, wkbObject, true);
  return {akb, wkb};
}

// Runs adds to the AKB and the WKB. When they run out of memory part-way, everything they added
// is taken out again, so that the call's status 101 leaves both knowledge bases as they were; a
// half-added entry or document would otherwise stay, the caller unable to tell which part. Other
// failures keep what was added before them, as callers have always seen.
template <class Adds>
void addingAllOrNothingWithoutMemory(akbAndWkb kbs, Adds&& adds) {
  knowledgeBaseMark akbMark = knowledgeBase_mark(kbs.akb);
  knowledgeBaseMark wkbMark = kbs.wkb != nullptr ? knowledgeBase_mark(kbs.wkb) : akbMark;
  try {
    adds();
  } catch (...) {
    if (veskorHandlingOutOfMemory()) {
      if (kbs.wkb != nullptr && kbs.wkb != kbs.akb) knowledgeBase_rollBack(kbs.wkb, wkbMark);
      knowledgeBase_rollBack(kbs.akb, akbMark);
    }
    throw;
  }
}

// One entry as veskorAddEntry stores it: its text normalised, added to the AKB, its words
// registered in the WKB; all or nothing when memory runs out.
void addOneEntry(const akbAndWkb& kbs, const hash_t* abbreviations, const char* key, const char* entryText) {
  orl::OwnedText text(cAPIAdd_preprocessText(entryText, abbreviations));
  addingAllOrNothingWithoutMemory(kbs, [&] {
    knowledgeBase_addEntry(kbs.akb, key, text.get(), nullptr, 0.0);
    if (kbs.wkb != nullptr) registerEntryWords(kbs.wkb, text.get());
  });
}

knowledgeBase* accessKB(veskorCall_t& call, const char* pKBName) {
  return call.exclusiveAccess<knowledgeBase>(call.lookUpKB(pKBName));
}

}  // namespace

extern "C" VESKOR_EXPORT int veskorAddEntry(int connectionID, const char* pWKBName, const char* pAKBName,
                                            const char* pPrimaryKey, const char* pEntryText) {
  return veskorCall("veskorAddEntry", connectionID, [&](veskorCall_t& call) {
    if (pAKBName == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pAKBName == NULL in veskorAddEntry()");
    }
    if (pPrimaryKey == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pPrimaryKey == NULL in veskorAddEntry()");
    }
    if (pEntryText == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pEntryText == NULL in veskorAddEntry()");
    }
    akbAndWkb kbs = accessAKBAndWKB(call, pWKBName, pAKBName);
    addOneEntry(kbs, sharedAbbreviationList(), pPrimaryKey, pEntryText);
  });
}

extern "C" VESKOR_EXPORT int veskorAddEntries(int connectionID, const char* pWKBName, const char* pAKBName,
                                              int pNumberEntries, const char* const* pPrimaryKeys,
                                              const char* const* pEntryTexts, int* pFailedIndex) {
  if (pFailedIndex != nullptr) *pFailedIndex = -1;
  return veskorCall("veskorAddEntries", connectionID, [&](veskorCall_t& call) {
    if (pAKBName == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pAKBName == NULL in veskorAddEntries()");
    }
    if (pNumberEntries < 0) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pNumberEntries < 0 in veskorAddEntries()");
    }
    if (pNumberEntries > 0 && (pPrimaryKeys == nullptr || pEntryTexts == nullptr)) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pPrimaryKeys == NULL || pEntryTexts == NULL in veskorAddEntries()");
    }
    akbAndWkb kbs = accessAKBAndWKB(call, pWKBName, pAKBName);
    const hash_t* abbreviations = sharedAbbreviationList();
    for (int i = 0; i < pNumberEntries; ++i) {
      // Set before the entry is tried: whatever fails from here on concerns entry i.
      if (pFailedIndex != nullptr) *pFailedIndex = i;
      if (pPrimaryKeys[i] == nullptr) {
        ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                  "error: pPrimaryKeys[", i, "] == NULL in veskorAddEntries()");
      }
      if (pEntryTexts[i] == nullptr) {
        ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                  "error: pEntryTexts[", i, "] == NULL in veskorAddEntries()");
      }
      addOneEntry(kbs, abbreviations, pPrimaryKeys[i], pEntryTexts[i]);
    }
    if (pFailedIndex != nullptr) *pFailedIndex = -1;
  });
}

extern "C" VESKOR_EXPORT int veskorAddDocument(int connectionID, const char* pWKBName, const char* pAKBName,
                                               const char* pPrimaryKey, const char* pTextOfDocument) {
  return veskorCall("veskorAddDocument", connectionID, [&](veskorCall_t& call) {
    if (pAKBName == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pAKBName == NULL in veskorAddDocument()");
    }
    if (pPrimaryKey == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pPrimaryKey == NULL in veskorAddDocument()");
    }
    if (pTextOfDocument == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pTextOfDocument == NULL in veskorAddDocument()");
    }
    akbAndWkb kbs = accessAKBAndWKB(call, pWKBName, pAKBName);
    // Refuses an AKB of single entries (group 200 code 2, status 18).
    addingAllOrNothingWithoutMemory(kbs,
                                    [&] { kbase_addFile(pPrimaryKey, pTextOfDocument, kbs.akb, kbs.wkb); });
  });
}

extern "C" VESKOR_EXPORT int veskorDeleteEntry(int connectionID, const char* pKBName,
                                               const char* pPrimaryKey) {
  return veskorCall("veskorDeleteEntry", connectionID, [&](veskorCall_t& call) {
    if (pKBName == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pKBName == NULL in veskorDeleteEntry()");
    }
    if (pPrimaryKey == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pPrimaryKey == NULL in veskorDeleteEntry()");
    }
    knowledgeBase_deleteEntry(accessKB(call, pKBName), pPrimaryKey, kMatchKeyEnd);
  });
}

extern "C" VESKOR_EXPORT int veskorDeleteDocument(int connectionID, const char* pKBName,
                                                  const char* pPrimaryKey) {
  return veskorCall("veskorDeleteDocument", connectionID, [&](veskorCall_t& call) {
    if (pKBName == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pKBName == NULL in veskorDeleteDocument()");
    }
    if (pPrimaryKey == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pPrimaryKey == NULL in veskorDeleteDocument()");
    }
    // Every sentence key of the document is the document key, "?" and the sentence numbers, so
    // the "?" keeps D7 from matching the sentences of D70.
    std::size_t keyLength = std::strlen(pPrimaryKey);
    char* pattern = call.atEnd<orlFree>(static_cast<char*>(orlMalloc(keyLength + 2)));
    std::memcpy(pattern, pPrimaryKey, keyLength);
    pattern[keyLength] = '?';
    pattern[keyLength + 1] = '\0';
    knowledgeBase* kb = accessKB(call, pKBName);
    if (!knowledgeBase_getSettings(kb).holdsSentences()) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FEATURE_TYPE,
                "error: invalid feature type of knowledge base in veskorDeleteDocument()");
    }
    knowledgeBase_deleteEntry(kb, pattern, kMatchKeyPrefix);
  });
}

extern "C" VESKOR_EXPORT int veskorDefragmentKB(int connectionID, const char* pKBName) {
  return veskorCall("veskorDefragmentKB", connectionID, [&](veskorCall_t& call) {
    if (pKBName == nullptr) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pKBName == NULL in veskorDefragmentKB()");
    }
    knowledgeBase_defragment(accessKB(call, pKBName));
  });
}
