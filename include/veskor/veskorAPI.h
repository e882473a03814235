/* Veskor engine: the flat C interface of libveskoreng.so.
 *
 * Every function is thread-safe and returns a status (VESKOR_OK or one of the VESKOR_ERROR_*
 * values below; an internal error not listed here comes back as 100 * group + code) or, for the
 * find functions, a list or NULL. After a failure the calling thread's latest error holds the
 * status and a message; read it with veskorGetLatestErrorCode / veskorGetLatestErrorMessage.
 *
 * Texts are 8-bit, zero-terminated. Lists returned by the find functions belong to the caller
 * until given back with the matching free function; a message text is released with free().
 *
 * Valid C99 and C++. */
#ifndef VESKOR_VESKORAPI_H
#define VESKOR_VESKORAPI_H

#if defined(__GNUC__) || defined(__clang__)
#define VESKOR_EXPORT __attribute__((visibility("default")))
#else
#define VESKOR_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses. */
#define VESKOR_OK 0
#define VESKOR_ERROR_FATAL (-1)
#define VESKOR_ERROR_ARGUMENT_NOT_VALID 1
#define VESKOR_ERROR_ALREADY_INITIALIZED 2
#define VESKOR_ERROR_NOT_INITIALIZED 3
#define VESKOR_ERROR_FILE 4
#define VESKOR_ERROR_FILENAME 5
#define VESKOR_ERROR_FILEFORMAT 6
#define VESKOR_ERROR_KBNAME 7
#define VESKOR_ERROR_LANGUAGE 9
#define VESKOR_ERROR_KEY_NOT_VALID 10
#define VESKOR_ERROR_ENTRY_NOT_VALID 11
#define VESKOR_ERROR_NUMBER_OF_HITS 12
#define VESKOR_ERROR_OUT_OF_BOUNDS 13
#define VESKOR_ERROR_IDENTIFIER 15
#define VESKOR_ERROR_FEATURE_TYPE 18
#define VESKOR_ERROR_WANAME 19
#define VESKOR_ERROR_THREAD_STATE 94
#define VESKOR_ERROR_THREAD_STATE_INIT 96
#define VESKOR_ERROR_TLS_FREE 97
#define VESKOR_ERROR_TLS_ALLOC 98
#define VESKOR_ERROR_EXCEPTIONS_INIT 100

/* The largest number of hits a find function may be asked for. */
#define VESKOR_MAX_NUMBER_RESULTS 500

typedef struct veskorSearchHit {
  char* primaryKey;
  double confidence;
} veskorSearchHit;

typedef struct veskorSearchHits {
  int numberHits;
  veskorSearchHit* hits;
} veskorSearchHits;

typedef struct veskorSentenceSearchHit {
  int offset;
  int length;
  double confidence;
} veskorSentenceSearchHit;

typedef struct veskorDocumentSearchHit {
  char* primaryKey;
  double confidence;
  int numberSentenceHits;
  veskorSentenceSearchHit* sentenceHits;
} veskorDocumentSearchHit;

typedef struct veskorDocumentSearchHits {
  int numberHits;
  veskorDocumentSearchHit* hits;
} veskorDocumentSearchHits;

/* Lifecycle and connections. */
VESKOR_EXPORT int veskorInit(void);
VESKOR_EXPORT int veskorCleanup(void);
VESKOR_EXPORT int veskorOpenConnection(int* pConnectionID);
VESKOR_EXPORT int veskorCloseConnection(int connectionID);

/* The calling thread's latest error. The message is released by the caller with free(). */
VESKOR_EXPORT int veskorGetLatestErrorCode(int connectionID);
VESKOR_EXPORT char* veskorGetLatestErrorMessage(int connectionID);

/* Knowledge-base files and open knowledge bases. pKBKind 1 makes a word knowledge base. */
VESKOR_EXPORT int veskorCreateKBFile(int connectionID, const char* pKBFileName, int pLanguage, int pForDocuments,
                                     int pKBKind);
VESKOR_EXPORT int veskorRemoveKBFile(int connectionID, const char* pKBFileName);
VESKOR_EXPORT int veskorOpenKB(int connectionID, const char* pKBFileName, const char* pKBName);
VESKOR_EXPORT int veskorCloseKB(int connectionID, const char* pKBName);
VESKOR_EXPORT int veskorSaveKB(int connectionID, const char* pKBName);
VESKOR_EXPORT int veskorBackupKB(int connectionID, const char* pNewKBFileName, const char* pKBName);

/* Word associators. */
VESKOR_EXPORT int veskorOpenWA(int connectionID, const char* pWAFileName, const char* pWAName);
VESKOR_EXPORT int veskorCloseWA(int connectionID, const char* pWAName);
VESKOR_EXPORT int veskorSaveWA(int connectionID, const char* pWAName);
VESKOR_EXPORT int veskorBackupWA(int connectionID, const char* pNewWAFileName, const char* pWAName);

/* Changing open knowledge bases. pWKBName may be NULL. */
VESKOR_EXPORT int veskorAddEntry(int connectionID, const char* pWKBName, const char* pAKBName,
                                 const char* pPrimaryKey, const char* pEntryText);
VESKOR_EXPORT int veskorAddDocument(int connectionID, const char* pWKBName, const char* pAKBName,
                                    const char* pPrimaryKey, const char* pTextOfDocument);
VESKOR_EXPORT int veskorDeleteEntry(int connectionID, const char* pKBName, const char* pPrimaryKey);
VESKOR_EXPORT int veskorDeleteDocument(int connectionID, const char* pKBName, const char* pPrimaryKey);
VESKOR_EXPORT int veskorDefragmentKB(int connectionID, const char* pKBName);

/* Searching. NULL on failure; a search that finds nothing gives a list of 0 hits. */
VESKOR_EXPORT veskorSearchHits* veskorFindEntry(int connectionID, const char* pWKBName, const char* pAKBName,
                                                const char* pWAName, int pMaxNumberHits, int pAssociationMode,
                                                int pSplitCompounds, const char* pSeekString);
VESKOR_EXPORT veskorDocumentSearchHits* veskorFindDocument(int connectionID, const char* pWKBName,
                                                           const char* pAKBName, const char* pWAName,
                                                           int pMaxNumberHits, int pAssociationMode,
                                                           int pSplitCompounds, const char* pSeekString);
VESKOR_EXPORT veskorDocumentSearchHits* veskorCompareDocument(int connectionID, const char* pWKBName,
                                                              const char* pAKBName, int pMaxNumberHits,
                                                              const char* pTextOfDocument);
VESKOR_EXPORT int veskorFreeSearchHits(int connectionID, veskorSearchHits* pHits);
VESKOR_EXPORT int veskorFreeDocumentSearchHits(int connectionID, veskorDocumentSearchHits* pHits);

#ifdef __cplusplus
}
#endif

#endif /* VESKOR_VESKORAPI_H */
