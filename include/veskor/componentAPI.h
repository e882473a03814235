/* Veskor engine: the component interface of libveskoreng.so.
 *
 * A reduced set of functions for callers that can only declare plain external functions: every
 * argument is a 32-bit integer, a pointer to an 8-bit text or a pointer to an out-value, and every
 * function returns a 32-bit status (0 on success; otherwise a status of veskorAPI.h or one of this
 * layer's own: 10 key too long, 11 no entry text, -11 no hit list, -12 hit index out of range,
 * -13 function not supported). Most of them forward to one veskor* function.
 *
 * Expected order: fnInit, fnOpenConnection, knowledge-base functions with that connection,
 * fnCloseConnection, fnCleanup. fnInit, fnOpenConnection, fnCloseConnection and fnCleanup keep a
 * process-wide initialised flag and connection count and are safe to call from several threads.
 *
 * Valid C99 and C++. */
#ifndef VESKOR_COMPONENTAPI_H
#define VESKOR_COMPONENTAPI_H

#ifndef VESKOR_EXPORT
#if defined(__GNUC__) || defined(__clang__)
#define VESKOR_EXPORT __attribute__((visibility("default")))
#else
#define VESKOR_EXPORT
#endif
#endif

/* The component functions use the callee-cleans convention where the platform has one (32-bit
 * Windows); everywhere else there is a single convention and this expands to nothing. */
#if defined(_WIN32) && !defined(_WIN64)
#define VESKOR_STDCALL __stdcall
#else
#define VESKOR_STDCALL
#endif

/* fnGetSearchHit copies a whole primary key into the caller's buffer: this many bytes hold the
 * longest key the engine stores (1024 characters) with its terminator. */
#define VESKOR_FN_KEY_BUFFER_SIZE 1025
/* fnGetLatestErrorMessage copies a whole message: this many bytes hold the longest one. */
#define VESKOR_FN_MESSAGE_BUFFER_SIZE 1024

#ifdef __cplusplus
extern "C" {
#endif

/* Initialises the engine once per process; after fnCleanup has cleaned it up, the next fnInit
 * initialises it again. */
VESKOR_EXPORT int VESKOR_STDCALL fnInit(void);
/* Cleans the engine up, unless connections opened with fnOpenConnection are still open (then 0). */
VESKOR_EXPORT int VESKOR_STDCALL fnCleanup(void);
VESKOR_EXPORT int VESKOR_STDCALL fnOpenConnection(int* pConnection);
VESKOR_EXPORT int VESKOR_STDCALL fnCloseConnection(int connection);

/* pKBKind 0 creates a knowledge base of single entries, 1 a word knowledge base. */
VESKOR_EXPORT int VESKOR_STDCALL fnCreateKBFile(int connection, const char* pFileName, int pLanguage,
                                                int pKBKind);
VESKOR_EXPORT int VESKOR_STDCALL fnRemoveKBFile(int connection, const char* pFileName);
VESKOR_EXPORT int VESKOR_STDCALL fnOpenKB(int connection, const char* pFileName, const char* pKBName);
VESKOR_EXPORT int VESKOR_STDCALL fnCloseKB(int connection, const char* pKBName);
VESKOR_EXPORT int VESKOR_STDCALL fnSaveKB(int connection, const char* pKBName);

/* Cleans pEntryText in place before adding: control bytes 0x01-0x1F and 0xA0 become spaces, and
 * the text is cut after 2047 characters. Keys are at most 256 characters. pWKBName is not used. */
VESKOR_EXPORT int VESKOR_STDCALL fnAddEntry(int connection, const char* pWKBName, const char* pAKBName,
                                            const char* pPrimaryKey, char* pEntryText);
/* Deletes the entry with the key and every entry whose key ends with it. */
VESKOR_EXPORT int VESKOR_STDCALL fnDeleteEntry(int connection, const char* pKBName, const char* pPrimaryKey);
/* fnDeleteEntry, then (when that succeeded) fnAddEntry. */
VESKOR_EXPORT int VESKOR_STDCALL fnUpdateEntry(int connection, const char* pWKBName, const char* pAKBName,
                                               const char* pPrimaryKey, char* pEntryText);

/* On success *pHitList is a list to read with fnGetSearchHit and give back with fnFreeSearchHits;
 * on failure both out-values are 0. An empty pWKBName names no word knowledge base. */
VESKOR_EXPORT int VESKOR_STDCALL fnSearch(int connection, const char* pWKBName, const char* pAKBName,
                                          int pMaxNumberHits, int pSplitCompounds, const char* pSearchText,
                                          void** pHitList, int* pNumberHits);
/* pKeyBuffer holds VESKOR_FN_KEY_BUFFER_SIZE bytes; *pReserved is set to 0. */
VESKOR_EXPORT int VESKOR_STDCALL fnGetSearchHit(int connection, void* pHitList, int pIndex, char* pKeyBuffer,
                                                double* pConfidence, int* pReserved);
VESKOR_EXPORT int VESKOR_STDCALL fnFreeSearchHits(int connection, void* pHitList);

/* The calling thread's latest error; pMessageBuffer holds VESKOR_FN_MESSAGE_BUFFER_SIZE bytes. */
VESKOR_EXPORT int VESKOR_STDCALL fnGetLatestErrorMessage(int connection, char* pMessageBuffer);
VESKOR_EXPORT int VESKOR_STDCALL fnGetLatestErrorCode(int connection);

/* Not supported: one entry point under three names, returning -13 whatever it is given. */
VESKOR_EXPORT int VESKOR_STDCALL fnCompareDocument(int, int, int, int, int, int, int);
VESKOR_EXPORT int VESKOR_STDCALL fnCompressDocument(int, int, int, int, int, int, int);
VESKOR_EXPORT int VESKOR_STDCALL fnGetSentenceSearchHit(int, int, int, int, int, int, int);

#ifdef __cplusplus
}
#endif

#endif /* VESKOR_COMPONENTAPI_H */
