// The find functions: a seek text or a whole document searched in open knowledge bases, the
// results copied into lists that belong to the caller until given back with the free functions.
// The text variants (veskorExt.h) run the same searches and add each entry's stored text.
#include <cstring>
#include <optional>
#include <vector>

#include "orlBasics/orlMemory.h"
#include "veskor/veskorExt.h"
#include "veskorANN/wordAssociator.h"
#include "veskorAPI/textHitLists.h"
#include "veskorAPI/veskorAPIInternal.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorText/germanText.h"
#include "veskorSearch/kbase_findinfo.h"
#include "veskorSearch/kbase_seekAndSort.h"

namespace {

// The search layer knows the association mode as 0 (off) or 2 (on).
constexpr int32_t kAssociationsOn = 2;

int32_t normalisedAssociationMode(int mode) { return mode == 1 || mode == 2 ? kAssociationsOn : 0; }
int32_t normalisedSplitFlag(int split) { return split == 1 ? 1 : 0; }

void freeSearchHits(veskorSearchHits* list) noexcept {
  if (list == nullptr) return;
  if (list->hits != nullptr) {
    for (int i = 0; i < list->numberHits; ++i) orlFree(list->hits[i].primaryKey);
    orlFree(list->hits);
  }
  orlFree(list);
}

void freeDocumentSearchHits(veskorDocumentSearchHits* list) noexcept {
  if (list == nullptr) return;
  if (list->hits != nullptr) {
    for (int i = 0; i < list->numberHits; ++i) {
      orlFree(list->hits[i].primaryKey);
      orlFree(list->hits[i].sentenceHits);
    }
    orlFree(list->hits);
  }
  orlFree(list);
}

// A zero-filled block of count elements, or null for none.
template <class T>
T* zeroedBlock(std::size_t count) {
  if (count == 0) return nullptr;
  auto* block = static_cast<T*>(orlMalloc(count * sizeof(T)));
  std::memset(static_cast<void*>(block), 0, count * sizeof(T));
  return block;
}

struct searchObjects {
  const knowledgeBase* akb;
  const knowledgeBase* wkb;
  const wordAssociator* wa;  // null unless the association mode is on
};

// Looks the objects up by their trimmed names and takes shared access to the two knowledge bases
// (in the process-wide order of the frame), then to the word associator.
searchObjects takeSharedAccess(veskorCall_t& call, const char* akbName, const char* wkbName, const char* waName) {
  namedSyncedDataObject* akb = call.lookUpKB(akbName);
  namedSyncedDataObject* wkb = call.lookUpKB(wkbName);
  namedSyncedDataObject* wa = waName != nullptr ? call.lookUpWA(waName) : nullptr;
  auto [akbData, wkbData] = call.accessPair<knowledgeBase>(akb, wkb, false);
  searchObjects objects{akbData, wkbData, nullptr};
  if (wa != nullptr) objects.wa = call.sharedAccess<wordAssociator>(wa);
  return objects;
}

// The seek text as the engine reads it: trimmed, with the DOS letters in Latin-1. Null when
// nothing is left after trimming.
const char* latin1SeekText(veskorCall_t& call, const char* text) {
  const char* trimmed = call.trimmedCopy(text);
  if (trimmed[0] == 0) return nullptr;
  return call.atEnd<orlFree>(convertDosUmlauts(trimmed));
}

veskorSearchHits* entryHitList(veskorCall_t& call, const std::optional<std::vector<findEntriesResult>>& results) {
  std::size_t count = numberOfEntryHits(results);
  auto* list = call.onFailure<freeSearchHits>(zeroedBlock<veskorSearchHits>(1));
  list->hits = zeroedBlock<veskorSearchHit>(count);
  list->numberHits = static_cast<int>(count);
  for (std::size_t i = 0; i < count; ++i) {
    // Callers read every key as a text: an entry stored without a key (another writer's file) gives "".
    const char* key = (*results)[i].primaryKey.get();
    list->hits[i].primaryKey = orlStrdup(key != nullptr ? key : "");
    list->hits[i].confidence = (*results)[i].confidence;
  }
  return list;
}

veskorDocumentSearchHits* documentHitList(veskorCall_t& call, const std::vector<documentResult>& documents) {
  auto* list = call.onFailure<freeDocumentSearchHits>(zeroedBlock<veskorDocumentSearchHits>(1));
  list->hits = zeroedBlock<veskorDocumentSearchHit>(documents.size());
  list->numberHits = static_cast<int>(documents.size());
  for (std::size_t d = 0; d < documents.size(); ++d) {
    const documentResult& document = documents[d];
    veskorDocumentSearchHit& hit = list->hits[d];
    hit.confidence = document.score;
    hit.sentenceHits = zeroedBlock<veskorSentenceSearchHit>(document.sentences.size());
    hit.numberSentenceHits = static_cast<int>(document.sentences.size());
    for (std::size_t s = 0; s < document.sentences.size(); ++s) {
      const sentenceRecord& sentence = document.sentences[s];
      hit.sentenceHits[s] = veskorSentenceSearchHit{sentence.offset, sentence.length, sentence.score};
    }
    if (!document.sentences.empty()) hit.primaryKey = orlStrdup(document.sentences.front().documentKey.c_str());
  }
  return list;
}

bool isValidNumberOfHits(int number) { return number >= 1 && number <= VESKOR_MAX_NUMBER_RESULTS; }

// The arguments of a search by seek text, as the find functions take them.
struct seekArguments {
  const char* pWKBName;
  const char* pAKBName;
  const char* pWAName;
  int pMaxNumberHits;
  int pAssociationMode;
  int pSplitCompounds;
  const char* pSeekString;
};

// The checks of every search by seek text, in the order of its parameters; function names the
// exported function in the messages.
void checkSearchArguments(veskorCall_t& call, const char* function, const seekArguments& a, int32_t mode) {
  if (a.pWKBName == nullptr || a.pAKBName == nullptr) {
    ORL_RAISE(kVeskorAPIGroup, 1, "error: pWKBName == NULL || pAKBName == NULL in ", function, "()");
  }
  if (mode != 0 && a.pWAName == nullptr)
    ORL_RAISE(kVeskorAPIGroup, 1, "error: pWAName == NULL in ", function, "()");
  if (a.pSeekString == nullptr)
    ORL_RAISE(kVeskorAPIGroup, 1, "error: pSeekString == NULL in ", function, "()");
  if (!isValidNumberOfHits(a.pMaxNumberHits)) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_NUMBER_OF_HITS,
              "error: pMaxNumberHits <= 0 || pMaxNumberHits > VESKOR_MAX_NUMBER_RESULTS in ", function, "()");
  }
  if (call.trimmedCopy(a.pSeekString)[0] == 0) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ENTRY_NOT_VALID, "error: seek string invalid in ", function,
              "()");
  }
}

// The checks of a comparison, in the order of its parameters.
void checkCompareArguments(veskorCall_t& call, const char* function, const char* pWKBName,
                           const char* pAKBName, int pMaxNumberHits, const char* pTextOfDocument) {
  if (pWKBName == nullptr || pAKBName == nullptr) {
    ORL_RAISE(kVeskorAPIGroup, 1, "error: pWKBName == NULL || pAKBName == NULL in ", function, "()");
  }
  if (pTextOfDocument == nullptr) {
    ORL_RAISE(kVeskorAPIGroup, 1, "error: pTextOfDocument == NULL in ", function, "()");
  }
  if (!isValidNumberOfHits(pMaxNumberHits)) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_NUMBER_OF_HITS,
              "error: pMaxNumberHits <= 0 || pMaxNumberHits > VESKOR_MAX_NUMBER_RESULTS in ", function, "()");
  }
  if (call.trimmedCopy(pTextOfDocument)[0] == 0) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ENTRY_NOT_VALID, "error: text of document invalid in ", function,
              "()");
  }
}

// The body of veskorFindEntry and its text variant up to the results, which stay valid while the
// call holds its accesses.
std::optional<std::vector<findEntriesResult>> findEntries(veskorCall_t& call, const char* function,
                                                          const seekArguments& a) {
  int32_t mode = normalisedAssociationMode(a.pAssociationMode);
  int32_t split = normalisedSplitFlag(a.pSplitCompounds);
  checkSearchArguments(call, function, a, mode);
  searchObjects objects = takeSharedAccess(call, a.pAKBName, a.pWKBName, mode != 0 ? a.pWAName : nullptr);
  const char* seekText = latin1SeekText(call, a.pSeekString);
  return kbase_findEntries(seekText, objects.akb, objects.wkb, objects.wa, mode, split, a.pMaxNumberHits);
}

// The ranking the options ask for; checked after the other arguments, before any object is looked up.
documentRanking rankingOf(const char* function, const veskorDocumentSearchOptions* options) {
  if (options == nullptr || options->ranking == VESKOR_RANKING_DOCUMENTED) return documentRanking::documented;
  if (options->ranking == VESKOR_RANKING_LENGTH_AWARE) return documentRanking::lengthAware;
  ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID, "error: pOptions->ranking unknown in ", function,
            "()");
}

// The same for veskorFindDocument and its variants.
std::vector<documentResult> findDocuments(veskorCall_t& call, const char* function, const seekArguments& a,
                                          const veskorDocumentSearchOptions* options = nullptr) {
  int32_t mode = normalisedAssociationMode(a.pAssociationMode);
  int32_t split = normalisedSplitFlag(a.pSplitCompounds);
  checkSearchArguments(call, function, a, mode);
  documentRanking ranking = rankingOf(function, options);
  searchObjects objects = takeSharedAccess(call, a.pAKBName, a.pWKBName, mode != 0 ? a.pWAName : nullptr);
  const char* seekText = latin1SeekText(call, a.pSeekString);
  return kbase_seekFileSorted(seekText, objects.akb, objects.wkb, objects.wa, mode, split, a.pMaxNumberHits,
                              false, ranking);
}

// The same for veskorCompareDocument and its variants.
std::vector<documentResult> compareDocument(veskorCall_t& call, const char* function, const char* pWKBName,
                                            const char* pAKBName, int pMaxNumberHits, const char* pTextOfDocument,
                                            const veskorDocumentSearchOptions* options = nullptr) {
  checkCompareArguments(call, function, pWKBName, pAKBName, pMaxNumberHits, pTextOfDocument);
  documentRanking ranking = rankingOf(function, options);
  // The WKB is named and held as in every search, though a comparison does not read it.
  searchObjects objects = takeSharedAccess(call, pAKBName, pWKBName, nullptr);
  const char* text = latin1SeekText(call, pTextOfDocument);
  return kbase_seekFileSorted(text, objects.akb, objects.wkb, nullptr, 0, 0, pMaxNumberHits, true, ranking);
}

}  // namespace

extern "C" VESKOR_EXPORT veskorSearchHits* veskorFindEntry(int connectionID, const char* pWKBName,
                                                           const char* pAKBName, const char* pWAName,
                                                           int pMaxNumberHits, int pAssociationMode,
                                                           int pSplitCompounds, const char* pSeekString) {
  return veskorCall("veskorFindEntry", connectionID, [&](veskorCall_t& call) -> veskorSearchHits* {
    const seekArguments a{pWKBName,         pAKBName,        pWAName,    pMaxNumberHits,
                          pAssociationMode, pSplitCompounds, pSeekString};
    return entryHitList(call, findEntries(call, "veskorFindEntry", a));
  });
}

extern "C" VESKOR_EXPORT veskorDocumentSearchHits* veskorFindDocument(int connectionID, const char* pWKBName,
                                                                      const char* pAKBName, const char* pWAName,
                                                                      int pMaxNumberHits, int pAssociationMode,
                                                                      int pSplitCompounds,
                                                                      const char* pSeekString) {
  return veskorCall("veskorFindDocument", connectionID, [&](veskorCall_t& call) -> veskorDocumentSearchHits* {
    const seekArguments a{pWKBName,         pAKBName,        pWAName,    pMaxNumberHits,
                          pAssociationMode, pSplitCompounds, pSeekString};
    return documentHitList(call, findDocuments(call, "veskorFindDocument", a));
  });
}

extern "C" VESKOR_EXPORT veskorDocumentSearchHits* veskorCompareDocument(int connectionID, const char* pWKBName,
                                                                         const char* pAKBName, int pMaxNumberHits,
                                                                         const char* pTextOfDocument) {
  return veskorCall(
      "veskorCompareDocument", connectionID, [&](veskorCall_t& call) -> veskorDocumentSearchHits* {
        return documentHitList(call, compareDocument(call, "veskorCompareDocument", pWKBName, pAKBName,
                                                     pMaxNumberHits, pTextOfDocument));
      });
}

extern "C" VESKOR_EXPORT int veskorFreeSearchHits(int connectionID, veskorSearchHits* pHits) {
  return veskorCall("veskorFreeSearchHits", connectionID, [&](veskorCall_t&) { freeSearchHits(pHits); });
}

extern "C" VESKOR_EXPORT int veskorFreeDocumentSearchHits(int connectionID, veskorDocumentSearchHits* pHits) {
  return veskorCall("veskorFreeDocumentSearchHits", connectionID,
                    [&](veskorCall_t&) { freeDocumentSearchHits(pHits); });
}

extern "C" VESKOR_EXPORT veskorTextSearchHits* veskorFindEntryWithText(
    int connectionID, const char* pWKBName, const char* pAKBName, const char* pWAName, int pMaxNumberHits,
    int pAssociationMode, int pSplitCompounds, const char* pSeekString) {
  return veskorCall("veskorFindEntryWithText", connectionID,
                    [&](veskorCall_t& call) -> veskorTextSearchHits* {
                      const seekArguments a{pWKBName,         pAKBName,        pWAName,    pMaxNumberHits,
                                            pAssociationMode, pSplitCompounds, pSeekString};
                      return textEntryHitList(findEntries(call, "veskorFindEntryWithText", a));
                    });
}

extern "C" VESKOR_EXPORT veskorTextDocumentSearchHits* veskorFindDocumentWithText(
    int connectionID, const char* pWKBName, const char* pAKBName, const char* pWAName, int pMaxNumberHits,
    int pAssociationMode, int pSplitCompounds, const char* pSeekString) {
  return veskorCall("veskorFindDocumentWithText", connectionID,
                    [&](veskorCall_t& call) -> veskorTextDocumentSearchHits* {
                      const seekArguments a{pWKBName,         pAKBName,        pWAName,    pMaxNumberHits,
                                            pAssociationMode, pSplitCompounds, pSeekString};
                      return textDocumentHitList(findDocuments(call, "veskorFindDocumentWithText", a));
                    });
}

extern "C" VESKOR_EXPORT veskorTextDocumentSearchHits* veskorCompareDocumentWithText(
    int connectionID, const char* pWKBName, const char* pAKBName, int pMaxNumberHits,
    const char* pTextOfDocument) {
  return veskorCall(
      "veskorCompareDocumentWithText", connectionID,
      [&](veskorCall_t& call) -> veskorTextDocumentSearchHits* {
        return textDocumentHitList(compareDocument(call, "veskorCompareDocumentWithText", pWKBName, pAKBName,
                                                   pMaxNumberHits, pTextOfDocument));
      });
}

extern "C" VESKOR_EXPORT veskorTextDocumentSearchHits* veskorFindDocumentWithOptions(
    int connectionID, const char* pWKBName, const char* pAKBName, const char* pWAName, int pMaxNumberHits,
    int pAssociationMode, int pSplitCompounds, const char* pSeekString, const veskorDocumentSearchOptions* pOptions) {
  return veskorCall("veskorFindDocumentWithOptions", connectionID,
                    [&](veskorCall_t& call) -> veskorTextDocumentSearchHits* {
                      const seekArguments a{pWKBName,         pAKBName,        pWAName,    pMaxNumberHits,
                                            pAssociationMode, pSplitCompounds, pSeekString};
                      return textDocumentHitList(findDocuments(call, "veskorFindDocumentWithOptions", a, pOptions));
                    });
}

extern "C" VESKOR_EXPORT veskorTextDocumentSearchHits* veskorCompareDocumentWithOptions(
    int connectionID, const char* pWKBName, const char* pAKBName, int pMaxNumberHits, const char* pTextOfDocument,
    const veskorDocumentSearchOptions* pOptions) {
  return veskorCall("veskorCompareDocumentWithOptions", connectionID,
                    [&](veskorCall_t& call) -> veskorTextDocumentSearchHits* {
                      return textDocumentHitList(compareDocument(call, "veskorCompareDocumentWithOptions", pWKBName,
                                                                 pAKBName, pMaxNumberHits, pTextOfDocument, pOptions));
                    });
}

extern "C" VESKOR_EXPORT int veskorFreeTextSearchHits(int connectionID, veskorTextSearchHits* pHits) {
  return veskorCall("veskorFreeTextSearchHits", connectionID, [&](veskorCall_t&) { orlFree(pHits); });
}

extern "C" VESKOR_EXPORT int veskorFreeTextDocumentSearchHits(int connectionID,
                                                              veskorTextDocumentSearchHits* pHits) {
  return veskorCall("veskorFreeTextDocumentSearchHits", connectionID, [&](veskorCall_t&) { orlFree(pHits); });
}
