/* Veskor engine: exports beyond the classic interface of veskorAPI.h.
 *
 * Same frame as every veskor* function: each returns a status (VESKOR_OK or a VESKOR_ERROR_*
 * value, or 100 * group + code for an internal error) or, for functions returning a list, the list
 * or NULL; after a failure the calling thread's latest error holds the status and a message
 * (veskorGetLatestErrorCode / veskorGetLatestErrorMessage). Texts are 8-bit Latin-1 and
 * zero-terminated. Memory handed to the caller is released with the free function named beside
 * the call, or with free() where a comment says so.
 *
 * Valid C99 and C++. */
#ifndef VESKOR_VESKOREXT_H
#define VESKOR_VESKOREXT_H

#include "veskor/veskorAPI.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Knowledge-base settings and entry texts ------------------------------------------------ */

/* Encoding flags: how entry texts and seek texts are prepared before features are cut. */
#define VESKOR_ENCODING_PHONETIC 1   /* features come from German phonetic codes */
#define VESKOR_ENCODING_UPPER_CASE 2 /* upper-cased with the German rules (language 1 only) */
#define VESKOR_ENCODING_FRAMED 4     /* "_" at both ends and for every blank (character groups only) */

/* Entry-information flags: what every entry stores or must bring. */
#define VESKOR_ENTRY_TEXT_STORED 1 /* the prepared entry text is kept (see the text finds below) */
#define VESKOR_ENTRY_KEY_REQUIRED 2
#define VESKOR_ENTRY_VALUE_REQUIRED 4    /* a value between 0.0 and 1.0 */
#define VESKOR_ENTRY_FEATURES_REQUIRED 8 /* a block of syntactic feature bytes (word knowledge bases) */

/* Kinds of knowledge base, named after the three that veskorCreateKBFile makes. */
#define VESKOR_KB_KIND_OTHER 0     /* a feature type other than 1 and 2 */
#define VESKOR_KB_KIND_ENTRIES 1   /* feature type 1 without syntactic features: single entries */
#define VESKOR_KB_KIND_DOCUMENTS 2 /* feature type 2: the sentences of documents */
#define VESKOR_KB_KIND_WORDS 3     /* feature type 1 with syntactic features: a word knowledge base */

typedef struct veskorKBInfo {
  int language;         /* 1: German rules; 0 and 2: none */
  int encoding;         /* VESKOR_ENCODING_* flags */
  int entryInformation; /* VESKOR_ENTRY_* flags */
  int featureType;      /* 1: groups of 2 to 4 characters; 2: words */
  int kind;             /* VESKOR_KB_KIND_* */
  int numberEntries;    /* entries that can be found: deleted ones no longer count */
} veskorKBInfo;

/* Creates (or replaces) the knowledge-base file pKBFileName, empty, with the settings given, where
 * veskorCreateKBFile offers only its three fixed kinds. The kinds it makes are, as (encoding, entry
 * information, feature type): entries (6, 2, 1), documents (2, 2, 2), words (6, 11, 1). Add
 * VESKOR_ENTRY_TEXT_STORED to keep each entry's prepared text, which the text finds below return;
 * VESKOR_ENCODING_PHONETIC cuts features from German phonetic codes, so that names spelt as they
 * sound are found. The file is written at once, replacing one of that name.
 * "_" framing applies to feature type 1 only and is kept but ignored with feature type 2.
 * Statuses: 1 (pKBFileName NULL; encoding not 0 to 7; entry information not 1 to 15; phonetic codes
 * or upper-casing without language 1), 9 (language not 0 to 2), 18 (feature type not 1 or 2),
 * 4 (the file cannot be written), 15. */
VESKOR_EXPORT int veskorCreateKBFileWithSettings(int connectionID, const char* pKBFileName, int pLanguage,
                                                 int pEncoding, int pEntryInformation, int pFeatureType);

/* The settings and entry count of the open knowledge base pKBName, written to *pInfo (only on
 * success). Takes shared access, so it waits for a change in progress and runs beside searches.
 * Statuses: 1 (pKBName or pInfo NULL), 7 (no knowledge base of that name), 15. */
VESKOR_EXPORT int veskorGetKBInfo(int connectionID, const char* pKBName, veskorKBInfo* pInfo);

/* Finds whose hits carry the stored text of the entry they matched. Arguments, checks, statuses,
 * latest error, hits, their order and confidences are those of veskorFindEntry,
 * veskorFindDocument and veskorCompareDocument (messages name the function called).
 *
 * The stored text of an entry is its text as the knowledge base kept it when it was added:
 * veskorAddEntry normalises the text (abbreviations expanded, a hyphenated word replaced by the
 * joined word and its parts, punctuation and numbers dropped), and the knowledge base then trims
 * it, collapses white space to one blank, upper-cases it (VESKOR_ENCODING_UPPER_CASE) and, on a
 * knowledge base of character groups with VESKOR_ENCODING_FRAMED, puts "_" at both ends and for
 * every blank. So "Hallo, Welt!" is kept as "_HALLO_WELT_" with encoding 6.
 *
 * The stored text of a sentence entry (veskorAddDocument stores one per sentence) is the
 * sentence's words as the document was cut into them, normalised in the same way and prepared by
 * the knowledge base as above: "Das Haus ist rot." is kept as "DAS HAUS IST ROT" with encoding 2.
 * It is not the sentence as written: offset and length address that in the added document.
 *
 * Only a knowledge base with VESKOR_ENTRY_TEXT_STORED keeps texts; any other gives "" for every
 * hit, never NULL. Of the kinds veskorCreateKBFile makes, word knowledge bases keep their words
 * (a word "Haus" as "_HAUS_"); knowledge bases of entries and of documents keep no text. */
typedef struct veskorTextSearchHit {
  const char* primaryKey; /* "" for an entry stored without a key */
  double confidence;
  const char* text;
} veskorTextSearchHit;

typedef struct veskorTextSearchHits {
  int numberHits;
  veskorTextSearchHit* hits; /* NULL when numberHits is 0 */
} veskorTextSearchHits;

typedef struct veskorTextSentenceSearchHit {
  int offset;
  int length;
  double confidence;
  const char* text; /* the sentence entry's stored text */
} veskorTextSentenceSearchHit;

typedef struct veskorTextDocumentSearchHit {
  const char* primaryKey; /* the document's key */
  double confidence;
  int numberSentenceHits;
  veskorTextSentenceSearchHit* sentenceHits;
} veskorTextDocumentSearchHit;

typedef struct veskorTextDocumentSearchHits {
  int numberHits;
  veskorTextDocumentSearchHit* hits; /* NULL when numberHits is 0 */
} veskorTextDocumentSearchHits;

/* A list and everything it points to is one allocation: give it back whole with its free
 * function (which accepts NULL); its texts are not freed one by one. */
VESKOR_EXPORT veskorTextSearchHits* veskorFindEntryWithText(int connectionID, const char* pWKBName,
                                                            const char* pAKBName, const char* pWAName,
                                                            int pMaxNumberHits, int pAssociationMode,
                                                            int pSplitCompounds, const char* pSeekString);
VESKOR_EXPORT veskorTextDocumentSearchHits* veskorFindDocumentWithText(
    int connectionID, const char* pWKBName, const char* pAKBName, const char* pWAName, int pMaxNumberHits,
    int pAssociationMode, int pSplitCompounds, const char* pSeekString);
VESKOR_EXPORT veskorTextDocumentSearchHits* veskorCompareDocumentWithText(int connectionID,
                                                                          const char* pWKBName,
                                                                          const char* pAKBName,
                                                                          int pMaxNumberHits,
                                                                          const char* pTextOfDocument);
VESKOR_EXPORT int veskorFreeTextSearchHits(int connectionID, veskorTextSearchHits* pHits);
VESKOR_EXPORT int veskorFreeTextDocumentSearchHits(int connectionID, veskorTextDocumentSearchHits* pHits);

/* ---- Adding many entries at once ------------------------------------------------------------- */

/* ---- Building word associators --------------------------------------------------------------- */

/* ---- Document search with options ------------------------------------------------------------ */

#ifdef __cplusplus
}
#endif

#endif /* VESKOR_VESKOREXT_H */
