// Building word associators from word pairs or from the sentences of a document knowledge base,
// optionally registering their words in a word knowledge base.
#include <algorithm>
#include <climits>

#include "veskor/veskorExt.h"
#include "veskorANN/wordAssociatorBuilder.h"
#include "veskorAPI/veskorAPIInternal.h"
#include "veskorAPI/wordAssociatorInput.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/associatorWords.h"
#include "veskorSearch/wordCooccurrence.h"

namespace {

void requireArgument(const void* argument, const char* name, const char* function) {
  if (argument == nullptr) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID, "error: ", name, " == NULL in ", function,
              "()");
  }
}

void startInfo(veskorWABuildInfo* info) {
  if (info != nullptr) *info = veskorWABuildInfo{0, 0, 0, 0, -1};
}

void requireWordKB(const knowledgeBase* wkb, const char* function) {
  if (wkb != nullptr && knowledgeBase_getSettings(wkb).holdsSentences()) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FEATURE_TYPE,
              "error: invalid feature type of word knowledge base in ", function, "()");
  }
}

// Writes the word associator; with a WKB, its words are registered once all files are written.
void build(const char* path, const wordAssociatorGraph& graph, knowledgeBase* wkb, veskorWABuildInfo* info,
           const char* function) {
  if (graph.links().empty()) {
    ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID, "error: no pair of words to link in ",
              function, "()");
  }
  int registered = 0;
  wordAssociator_build(path, graph.words(), graph.links(), [&] {
    if (wkb == nullptr) return;
    // Registering only appends: out of memory part-way takes the words back out, so that status
    // 101 leaves the WKB as it was. Other failures keep what was registered before them.
    knowledgeBaseMark mark = knowledgeBase_mark(wkb);
    try {
      for (const std::string& word : graph.spellings()) registered += associatorWord_register(wkb, word);
    } catch (...) {
      if (veskorHandlingOutOfMemory()) knowledgeBase_rollBack(wkb, mark);
      throw;
    }
  });
  if (info != nullptr) {
    info->numberWords = static_cast<int>(graph.words().size());
    // A document knowledge base can pair more words than an int counts; the files hold them all.
    info->numberLinks = static_cast<int>(std::min<std::size_t>(graph.links().size(), INT_MAX));
    info->numberRegisteredWords = registered;
  }
}

}  // namespace

extern "C" VESKOR_EXPORT int veskorBuildWA(int connectionID, const char* pWAFileName,
                                           const veskorWordPair* pPairs, int pNumberPairs,
                                           const char* pWKBName, int pOptions, veskorWABuildInfo* pInfo) {
  return veskorCall("veskorBuildWA", connectionID, [&](veskorCall_t& call) {
    constexpr const char* kFunction = "veskorBuildWA";
    startInfo(pInfo);
    requireArgument(pWAFileName, "pWAFileName", kFunction);
    if (pNumberPairs < 0) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID,
                "error: pNumberPairs < 0 in veskorBuildWA()");
    }
    if (pNumberPairs > 0) requireArgument(pPairs, "pPairs", kFunction);
    if ((pOptions & ~VESKOR_WA_LENIENT) != 0) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_ARGUMENT_NOT_VALID, "error: unknown options ", pOptions,
                " in veskorBuildWA()");
    }
    const char* path = call.absolutePath(pWAFileName);
    knowledgeBase* wkb = nullptr;
    if (pWKBName != nullptr) {
      wkb = call.exclusiveAccess<knowledgeBase>(call.lookUpKB(pWKBName));
      requireWordKB(wkb, kFunction);
    }
    int skipped = 0;
    const wordAssociatorGraph graph =
        wordAssociatorInput_fromPairs(pPairs, pNumberPairs, (pOptions & VESKOR_WA_LENIENT) != 0, wkb,
                                      kFunction, pInfo != nullptr ? &pInfo->badPair : nullptr, &skipped);
    build(path, graph, wkb, pInfo, kFunction);
    if (pInfo != nullptr) pInfo->numberSkippedPairs = skipped;
  });
}

extern "C" VESKOR_EXPORT int veskorBuildWAFromDocuments(int connectionID, const char* pWAFileName,
                                                        const char* pAKBName, const char* pWKBName,
                                                        int pMinCount, int pNeighbours,
                                                        veskorWABuildInfo* pInfo) {
  return veskorCall("veskorBuildWAFromDocuments", connectionID, [&](veskorCall_t& call) {
    constexpr const char* kFunction = "veskorBuildWAFromDocuments";
    startInfo(pInfo);
    requireArgument(pWAFileName, "pWAFileName", kFunction);
    requireArgument(pAKBName, "pAKBName", kFunction);
    if (pMinCount < 1) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_OUT_OF_BOUNDS,
                "error: pMinCount < 1 in veskorBuildWAFromDocuments()");
    }
    if (pNeighbours < 1) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_OUT_OF_BOUNDS,
                "error: pNeighbours < 1 in veskorBuildWAFromDocuments()");
    }
    const char* path = call.absolutePath(pWAFileName);
    namedSyncedDataObject* wkbObject = pWKBName != nullptr ? call.lookUpKB(pWKBName) : nullptr;
    namedSyncedDataObject* akbObject = call.lookUpKB(pAKBName);
    // Registering words changes the WKB; the sentences are only read.
    auto [akb, wkb] = call.accessPair<knowledgeBase>(akbObject, wkbObject, wkbObject != nullptr);
    if (!knowledgeBase_getSettings(akb).holdsSentences()) {
      ORL_RAISE(kVeskorAPIGroup, VESKOR_ERROR_FEATURE_TYPE,
                "error: invalid feature type of knowledge base in veskorBuildWAFromDocuments()");
    }
    requireWordKB(wkb, kFunction);
    wordAssociatorGraph graph(kFunction);
    for (const cooccurringPair& pair : wordCooccurrence_strongestPairs(akb, wkb, pMinCount, pNeighbours)) {
      graph.link(graph.wordIndex(pair.first.form, pair.first.spelling),
                 graph.wordIndex(pair.second.form, pair.second.spelling), pair.weight);
    }
    build(path, graph, wkb, pInfo, kFunction);
  });
}
