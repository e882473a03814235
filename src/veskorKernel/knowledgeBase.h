// A knowledge base: entry list and feature space under one set of text settings, bound to a file
// (group 20).
#pragma once

#include <cstdint>

#include "orlBasics/orlFile.h"
#include "veskorKernel/entryList.h"
#include "veskorKernel/featureSpace.h"
#include "veskorKernel/knowledgeBaseResultList.h"
#include "veskorKernel/knowledgeBaseText.h"

// Settings. encoding flags: 1 phoneme codes, 2 upper-casing (German only), 4 "_" framing (tuple
// knowledge bases only). entryInformation flags: 1 text stored, 2 key required, 4 value in
// [0, 1] required, 8 syntactic feature block required. featureType: 1 character tuples, 2 words.
inline constexpr int32_t knowledgeBase_languageGerman = 1;
inline constexpr int32_t knowledgeBase_featureTypeTuples = 1;
inline constexpr int32_t knowledgeBase_featureTypeWords = 2;
inline constexpr int32_t knowledgeBase_numberSyntacticFeatures = 82;
inline constexpr int32_t knowledgeBase_maxPrimaryKeyLength = 1024;
inline constexpr int32_t knowledgeBase_maxTextLength = 8192;
inline constexpr int32_t knowledgeBase_maxNumberResults = 10000;

// modificationFlags
inline constexpr int32_t knowledgeBase_changed = 1;
inline constexpr int32_t knowledgeBase_defragmentationDue = 2;

struct knowledgeBase {
  int32_t version;
  int32_t encoding;
  int32_t language;
  int32_t entryInformation;
  int32_t featureType;
  orlFileTime lastSaveTime;  // of the bound file when this object last loaded or saved it
  char* fileName;            // null when not bound
  int32_t modificationFlags;
  struct entryList* entryList;
  struct featureSpace* featureSpace;
};

// New, unbound and changed.
knowledgeBase* knowledgeBase_create(int32_t pLanguage, int32_t pEncoding, int32_t pEntryInformation,
                                    int32_t pFeatureType);
// Loaded and bound to the file; a corrupt file raises a format or read error.
knowledgeBase* knowledgeBase_createFromFile(const char* pFileName);
void knowledgeBase_free(knowledgeBase* pThis) noexcept;
// Writes the bound file if the object changed; refuses (code 9) when the file was rewritten since.
void knowledgeBase_save(knowledgeBase* pThis);
// Writes the file (via a temporary file renamed over it); the binding is not changed.
void knowledgeBase_saveAs(knowledgeBase* pThis, const char* pFileName);
void knowledgeBase_defragment(knowledgeBase* pThis);
void knowledgeBase_addEntry(knowledgeBase* pThis, const char* pPrimaryKey, const char* pText,
                            const void* pSyntacticFeatures, double pValue);
// What adds can be undone to: adds only append, so the numbers of entries and points and the
// modification flags describe the knowledge base before them.
struct knowledgeBaseMark {
  int32_t numberEntries;
  int32_t highestPoint;
  int32_t modificationFlags;
};
knowledgeBaseMark knowledgeBase_mark(const knowledgeBase* pThis);
// Takes every entry added since the mark out again (entry, features, text index), so that a call
// that failed part-way leaves the knowledge base as it was. Cannot fail. Only adds may have
// happened since the mark.
void knowledgeBase_rollBack(knowledgeBase* pThis, const knowledgeBaseMark& pMark) noexcept;
// Deletes the entries whose key matches (mode 1 prefix, 0 suffix, other exact).
void knowledgeBase_deleteEntry(knowledgeBase* pThis, const char* pPrimaryKey, int32_t pMatchMode);
// Similarity search, best first; 1 to 10000 results.
knowledgeBaseResultList* knowledgeBase_find(const knowledgeBase* pThis, const char* pSeekString,
                                            int32_t pNumberResults);
// Entries whose stored text equals the preprocessed seek string, in order of addition.
knowledgeBaseResultList* knowledgeBase_findByText(const knowledgeBase* pThis, const char* pSeekString,
                                                  int32_t pNumberResults);
knowledgeBaseResultList* knowledgeBase_buildResultList(const knowledgeBase* pThis,
                                                       const featureSpaceResultList* pResultListFeatureSpace);

namespace orl {
using KnowledgeBasePtr = Owned<knowledgeBase, knowledgeBase_free>;
}
