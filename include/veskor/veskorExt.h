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

/* A word associator is built from weighted pairs of words and written as its three files (F,
 * F.v1.net, F.v1.tab), ready for veskorOpenWA. Each pair links its two words both ways. Words are
 * stored as a document search looks them up: prepared as the words of added documents are (one
 * opening bracket or quote and one closing punctuation mark dropped, one inner hyphen removed),
 * and they must then be single words of letters (A-Z, a-z and the German letters of Latin-1).
 *
 * Weights are relative: one update step from a query word gives a linked word the activity
 * x / (x + 0.1), where x is the pair's weight divided by the highest weight of the associator. A
 * search uses an associated word whose activity is above 0.5, so a pair at least a tenth as strong
 * as the strongest widens searches, and a stronger pair more.
 *
 * A search asks the associator only about a seek word it finds exactly in the word knowledge base
 * (WKB), and uses an associated word only when the WKB holds it. With pWKBName (an open word
 * knowledge base; may be NULL), every word of the associator takes the spelling the WKB already
 * has for it and the words the WKB lacks are registered in it exactly as the words of added
 * documents are, so that all of them are found and associated. The WKB is changed in memory only:
 * save it with veskorSaveKB.
 *
 * On failure no file of F is left changed or half written (a file of F already replaced is
 * removed); words registered in the WKB before a late failure stay registered. */

/* One weighted pair of words: 8-bit Latin-1 texts and a finite weight above 0. */
typedef struct veskorWordPair {
  const char* word1;
  const char* word2;
  double weight;
} veskorWordPair;

/* What a build made. On failure only badPair is meaningful. */
typedef struct veskorWABuildInfo {
  int numberWords;           /* words of the word associator */
  int numberLinks;           /* pairs of words it links */
  int numberSkippedPairs;    /* pairs left out (VESKOR_WA_LENIENT) */
  int numberRegisteredWords; /* words added to the word knowledge base */
  int badPair;               /* the index of the pair that made the build fail, else -1 */
} veskorWABuildInfo;

/* Option of veskorBuildWA. Without it, a pair with a text that is no word, a pair of a word with
 * itself and a pair given twice each make the build fail with VESKOR_ERROR_ARGUMENT_NOT_VALID. With
 * it, such pairs are left out and a repeated pair counts once, with its highest weight. */
#define VESKOR_WA_LENIENT 1

/* Builds the word associator pWAFileName from pNumberPairs pairs. pInfo may be NULL. Statuses:
 * VESKOR_ERROR_ARGUMENT_NOT_VALID for a missing argument, unknown options, a bad pair (an empty
 * word, a weight not above 0, and without VESKOR_WA_LENIENT the faults above) or no usable pair;
 * VESKOR_ERROR_OUT_OF_BOUNDS for more words than a word table can count (2147483647);
 * VESKOR_ERROR_KBNAME for a WKB name not open; VESKOR_ERROR_FEATURE_TYPE when it is no word
 * knowledge base; VESKOR_ERROR_FILENAME / VESKOR_ERROR_FILE when the files cannot be written. */
VESKOR_EXPORT int veskorBuildWA(int connectionID, const char* pWAFileName, const veskorWordPair* pPairs,
                                int pNumberPairs, const char* pWKBName, int pOptions, veskorWABuildInfo* pInfo);

/* Builds the word associator pWAFileName from the sentences of the open document knowledge base
 * pAKBName: two words are paired when they share at least pMinCount (>= 1) sentences, weighted by
 * their normalised pointwise mutual information (the share of sentences they share against what
 * chance would give them); every word keeps its pNeighbours (>= 1) strongest pairs with a positive
 * weight. Words that occur everywhere have weights near 0 and fall away. pWKBName and pInfo as for
 * veskorBuildWA. VESKOR_ERROR_FEATURE_TYPE when pAKBName holds no documents;
 * VESKOR_ERROR_OUT_OF_BOUNDS for pMinCount or pNeighbours below 1; VESKOR_ERROR_ARGUMENT_NOT_VALID
 * when no pair qualifies. */
VESKOR_EXPORT int veskorBuildWAFromDocuments(int connectionID, const char* pWAFileName, const char* pAKBName,
                                             const char* pWKBName, int pMinCount, int pNeighbours,
                                             veskorWABuildInfo* pInfo);

/* ---- Document search with options ------------------------------------------------------------ */

/* Rankings of documents. */
#define VESKOR_RANKING_DOCUMENTED 0 /* the ranking of veskorFindDocument and veskorCompareDocument */
/* Each seek word adds to a document's score by how well the document matches it, weighed by how
 * few documents hold the matched word (a word of every document adds little), with further
 * matching sentences adding less and less, and a document longer than the average having to match
 * more often than a short one to score as high. A candidate's similarity to its seek word and its
 * association weight are factors, as in the documented ranking. Sentences of a document are
 * listed by falling confidence. What it needs of the knowledge base as a whole (document lengths
 * and frequencies) is derived on the first such search after the knowledge base was opened or
 * changed, and kept in memory until it changes again. */
#define VESKOR_RANKING_LENGTH_AWARE 1

/* How documents are searched and compared. A NULL options record means the default values. */
typedef struct veskorDocumentSearchOptions {
  int ranking; /* VESKOR_RANKING_*; default VESKOR_RANKING_DOCUMENTED */
} veskorDocumentSearchOptions;

/* veskorFindDocumentWithText and veskorCompareDocumentWithText with options: arguments, checks,
 * statuses and latest error are theirs (messages name the function called), and pOptions is
 * checked last: an unknown ranking gives VESKOR_ERROR_ARGUMENT_NOT_VALID. With
 * VESKOR_RANKING_DOCUMENTED the hits, their order and confidences are exactly theirs. With
 * VESKOR_RANKING_LENGTH_AWARE the same documents can be found, in another order and with other
 * confidences (still in (0, 1]); sentence confidences are on the same scale as the documented
 * ranking's. The list is given back with veskorFreeTextDocumentSearchHits. */
VESKOR_EXPORT veskorTextDocumentSearchHits* veskorFindDocumentWithOptions(
    int connectionID, const char* pWKBName, const char* pAKBName, const char* pWAName, int pMaxNumberHits,
    int pAssociationMode, int pSplitCompounds, const char* pSeekString, const veskorDocumentSearchOptions* pOptions);
VESKOR_EXPORT veskorTextDocumentSearchHits* veskorCompareDocumentWithOptions(
    int connectionID, const char* pWKBName, const char* pAKBName, int pMaxNumberHits, const char* pTextOfDocument,
    const veskorDocumentSearchOptions* pOptions);

#ifdef __cplusplus
}
#endif

#endif /* VESKOR_VESKOREXT_H */
