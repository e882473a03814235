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

/* ---- Document search with options ------------------------------------------------------------ */

#ifdef __cplusplus
}
#endif

#endif /* VESKOR_VESKOREXT_H */
