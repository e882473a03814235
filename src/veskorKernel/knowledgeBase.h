// A knowledge base: entry list and feature space under one set of text settings, bound to a file
// (group 20). Its record is the kernel's own (knowledgeBaseRecord.h): the search and API layers see
// a knowledge base only through these functions.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "orlBasics/orlMemory.h"
#include "veskorKernel/knowledgeBaseResultList.h"

struct knowledgeBase;

// The values of the settings are those of the file format (docs/FILE_FORMATS.md).
inline constexpr int32_t knowledgeBase_languageGerman = 1;
// Features are the 2-, 3- and 4-byte groups of the text: single entries, found despite misspellings.
inline constexpr int32_t knowledgeBase_featureTypeTuples = 1;
// Features are the words of the text: sentences of documents, found by the words they share.
inline constexpr int32_t knowledgeBase_featureTypeWords = 2;
// Bytes of an entry's syntactic feature block: the word features of a word knowledge base.
inline constexpr int32_t knowledgeBase_numberSyntacticFeatures = 82;
inline constexpr int32_t knowledgeBase_maxPrimaryKeyLength = 1024;
inline constexpr int32_t knowledgeBase_maxTextLength = 8192;
inline constexpr int32_t knowledgeBase_maxNumberResults = 10000;

// Flags of the encoding setting.
enum class kbEncoding : int32_t {
  phonemeCodes = 1,  // features come from phoneme codes: spellings of one sound match
  upperCasing = 2,   // German texts are upper-cased: case does not matter
  framing = 4,       // tuple texts are framed with "_": first and last letters weigh more
};

// Flags of the entryInformation setting: what an entry keeps or must be given.
enum class kbEntryInformation : int32_t {
  textStored = 1,            // the preprocessed text is kept (looked up by knowledgeBase_findByText)
  keyRequired = 2,           // an entry without key is refused
  valueInUnitRange = 4,      // the value must lie in [0, 1]
  featureBlockRequired = 8,  // an entry without syntactic feature block is refused
};

// The settings as stored. A file's values are taken as they are, so they are kept as numbers and
// read through these tests rather than as enumerators.
struct knowledgeBaseSettings {
  int32_t language;
  int32_t encoding;
  int32_t entryInformation;
  int32_t featureType;

  bool has(kbEncoding flag) const { return (encoding & static_cast<int32_t>(flag)) != 0; }
  bool has(kbEntryInformation flag) const { return (entryInformation & static_cast<int32_t>(flag)) != 0; }
  // Upper-casing follows the German rules, so only German knowledge bases upper-case.
  bool upperCases() const { return has(kbEncoding::upperCasing) && language == knowledgeBase_languageGerman; }
  // Only tuples have a frame to mark where words start and end.
  bool frames() const { return featureType == knowledgeBase_featureTypeTuples && has(kbEncoding::framing); }
  // Documents are kept in knowledge bases of words, single entries in ones of tuples. The search
  // layer tells them apart by parity, which also sorts a stored feature type other than 1 or 2.
  bool holdsSentences() const { return featureType % 2 == 0; }
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
// The entries a search can find; deleted ones leave holes until defragmentation, which do not count.
int32_t knowledgeBase_getNumberEntries(const knowledgeBase* pThis);
// Similarity search, best first; 1 to 10000 results.
knowledgeBaseResultList knowledgeBase_find(const knowledgeBase* pThis, const char* pSeekString,
                                           int32_t pNumberResults);
// Entries whose stored text equals the preprocessed seek string, in order of addition.
knowledgeBaseResultList knowledgeBase_findByText(const knowledgeBase* pThis, const char* pSeekString,
                                                 int32_t pNumberResults);

// The settings as stored.
knowledgeBaseSettings knowledgeBase_getSettings(const knowledgeBase* pThis);
// Entry indices run from 0 to this number - 1: deleted entries keep theirs until the next
// defragmentation.
int32_t knowledgeBase_getIndexCount(const knowledgeBase* pThis);
// A stamp of the knowledge base's content, unique in the process: a new one whenever an entry is
// added or deleted and at defragmentation, so that what a search layer derives from the content
// can be kept until the stamp changes.
uint64_t knowledgeBase_getGeneration(const knowledgeBase* pThis);
// A stamp of how entries are numbered, unique in the process: renewed when the knowledge base is
// made or loaded and when a defragmentation renumbers the entries, not by adding (new entries take
// new indices) nor by deleting (an index stays a hole). What is derived per entry index stays valid
// for the indices it covers while this stamp stays.
uint64_t knowledgeBase_getIndexGeneration(const knowledgeBase* pThis);
// The key of the entry at the index; null for an entry without key and for an index that holds
// no entry. Valid while the knowledge base is unchanged.
const char* knowledgeBase_getPrimaryKey(const knowledgeBase* pThis, int32_t pIndex);

// A hit as a search hands it on, without copying the entry.
struct knowledgeBaseHit {
  int32_t index;           // the entry's index
  const char* primaryKey;  // the entry's own key, null for an entry without one
  double confidence;
  const char* text;  // the entry's stored text, null when the knowledge base keeps none
};

// knowledgeBase_find's search and ranking for callers that need no copies: onHits gets the hits,
// best first, in one call (also when there are none). Keys and texts stay valid while the knowledge
// base is unchanged. The span is only valid during the call.
void knowledgeBase_findEach(const knowledgeBase* pThis, const char* pSeekString, int32_t pNumberResults,
                            const std::function<void(std::span<const knowledgeBaseHit>)>& onHits);

// Every feature with the indices of the entries that have it (ascending; a deleted entry keeps its
// index there until the next defragmentation), in the order of the knowledge-base file.
void knowledgeBase_forEachFeature(const knowledgeBase* pThis,
                                  const std::function<void(const char* feature, std::span<const int32_t> entries)>& onFeature);
// Whether the index is that of an entry that is not deleted.
bool knowledgeBase_isValidEntry(const knowledgeBase* pThis, int32_t pIndex);

// How many entries have the feature (deleted ones included until the next defragmentation), or -1
// when the feature is not in the knowledge base. In a knowledge base of words a feature is a word as
// the knowledge base stores it (upper-cased when it upper-cases).
int32_t knowledgeBase_getDocumentFrequency(const knowledgeBase* pThis, std::string_view pFeature);

namespace orl {
using KnowledgeBasePtr = Owned<knowledgeBase, knowledgeBase_free>;
}
