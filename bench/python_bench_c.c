/* The C side of bench/python_bench.py: the same veskorFindEntry calls as the Python package makes,
 * timed in a plain C loop inside the same process, on the knowledge bases the package opened (their
 * registry names are passed in). Loaded with ctypes; one call times one pass over all queries. */
#define _POSIX_C_SOURCE 199309L
#include <time.h>
#include <veskor/veskorAPI.h>

/* CPU time of the calling thread, as Python's time.thread_time(): other processes on a busy machine
 * change it far less than wall-clock time. */
static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

/* CPU seconds for one pass, or a negative engine status. totalHits receives the hits found. */
VESKOR_EXPORT double veskorBenchFindPass(const char* wkbName, const char* akbName, const char* const* queries,
                                         int count, int maxHits, long* totalHits) {
  int connection = 0;
  int status = veskorOpenConnection(&connection);
  double start, elapsed;
  int i;
  long hits = 0;
  if (status != VESKOR_OK) return -(double)status;
  start = now();
  for (i = 0; i < count; ++i) {
    veskorSearchHits* list = veskorFindEntry(connection, wkbName, akbName, NULL, maxHits, 0, 0, queries[i]);
    if (list == NULL) {
      status = veskorGetLatestErrorCode(connection);
      veskorCloseConnection(connection);
      return -(double)status;
    }
    hits += list->numberHits;
    veskorFreeSearchHits(connection, list);
  }
  elapsed = now() - start;
  veskorCloseConnection(connection);
  *totalHits = hits;
  return elapsed;
}
