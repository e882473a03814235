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

#ifdef __cplusplus
}
#endif

#endif /* VESKOR_VESKOREXT_H */
