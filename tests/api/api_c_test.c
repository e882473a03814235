/* A client in C that knows only the public headers and the engine library: initialise, open
 * connections from several threads, create, open, save, back up and close knowledge bases and a
 * word associator, read settings and stored texts, clean up. argv[1] names a word-associator file
 * to open. */
#define _POSIX_C_SOURCE 200809L

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "veskor/veskorAPI.h"
#include "veskor/veskorExt.h"

static int failures = 0;
static int checks = 0;

#define CHECK_STATUS(call, expected)                                                           \
  do {                                                                                         \
    int status_ = (call);                                                                      \
    ++checks;                                                                                  \
    if (status_ != (expected)) {                                                               \
      ++failures;                                                                              \
      fprintf(stderr, "%s:%d: %s gave %d, expected %d\n", __FILE__, __LINE__, #call, status_, \
              (int)(expected));                                                                \
    }                                                                                          \
  } while (0)

#define CHECK_TRUE(condition)                                         \
  do {                                                                \
    ++checks;                                                         \
    if (!(condition)) {                                               \
      ++failures;                                                     \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
    }                                                                 \
  } while (0)

static int fileExists(const char* name) {
  struct stat info;
  return stat(name, &info) == 0;
}

#define NUMBER_THREADS 4

struct threadWork {
  int index;
  int connectionID;
  int status;
};

/* Each thread opens its own connection, creates, opens, changes, saves, backs up and closes its
 * own knowledge base and also saves the shared one. */
static void* threadMain(void* argument) {
  struct threadWork* work = (struct threadWork*)argument;
  char file[64], backup[64], name[32];
  int c = -1;
  sprintf(file, "thread%d.kb", work->index);
  sprintf(backup, "thread%d-copy.kb", work->index);
  sprintf(name, "kb%d", work->index);
  work->status = veskorOpenConnection(&c);
  work->connectionID = c;
  if (work->status != VESKOR_OK) return NULL;
  if ((work->status = veskorCreateKBFile(c, file, 1, 0, 0)) != VESKOR_OK) return NULL;
  if ((work->status = veskorOpenKB(c, file, name)) != VESKOR_OK) return NULL;
  if ((work->status = veskorAddEntry(c, NULL, name, "key", "Ein Text")) != VESKOR_OK) return NULL;
  if ((work->status = veskorSaveKB(c, name)) != VESKOR_OK) return NULL;
  if ((work->status = veskorBackupKB(c, backup, name)) != VESKOR_OK) return NULL;
  if ((work->status = veskorSaveKB(c, "shared")) != VESKOR_OK) return NULL;
  if ((work->status = veskorCloseKB(c, name)) != VESKOR_OK) return NULL;
  return NULL;
}

int main(int argc, char** argv) {
  char directory[] = "/tmp/veskor-c-test-XXXXXX";
  char waBackup[64];
  int c = -1;
  int i;
  char* message;
  pthread_t threads[NUMBER_THREADS];
  struct threadWork work[NUMBER_THREADS];

  if (argc != 2) {
    fprintf(stderr, "usage: %s word-associator-file\n", argv[0]);
    return 2;
  }
  if (mkdtemp(directory) == NULL || chdir(directory) != 0) return 2;

  CHECK_STATUS(veskorInit(), VESKOR_OK);
  CHECK_STATUS(veskorOpenConnection(&c), VESKOR_OK);

  /* The three kinds of knowledge base. */
  CHECK_STATUS(veskorCreateKBFile(c, "entries.kb", 0, 0, 0), VESKOR_OK);
  CHECK_STATUS(veskorCreateKBFile(c, "documents.kb", 2, 1, 0), VESKOR_OK);
  CHECK_STATUS(veskorCreateKBFile(c, "words.kb", 1, 0, 1), VESKOR_OK);
  CHECK_STATUS(veskorOpenKB(c, "entries.kb", "shared"), VESKOR_OK);
  CHECK_STATUS(veskorOpenKB(c, "documents.kb", "docs"), VESKOR_OK);
  CHECK_STATUS(veskorOpenKB(c, "words.kb", "words"), VESKOR_OK);
  CHECK_STATUS(veskorOpenKB(c, "entries.kb", " shared "), VESKOR_ERROR_KBNAME);
  message = veskorGetLatestErrorMessage(c);
  ++checks;
  if (message == NULL || strncmp(message, "error: identifier is not unique in dataManager_linkDataObject\n", 62) != 0) {
    ++failures;
    fprintf(stderr, "unexpected message: %s\n", message != NULL ? message : "(null)");
  }
  free(message);

  for (i = 0; i < NUMBER_THREADS; ++i) {
    work[i].index = i;
    work[i].status = -100;
    if (pthread_create(&threads[i], NULL, threadMain, &work[i]) != 0) return 2;
  }
  for (i = 0; i < NUMBER_THREADS; ++i) {
    char backup[64];
    pthread_join(threads[i], NULL);
    CHECK_STATUS(work[i].status, VESKOR_OK);
    CHECK_STATUS(veskorCloseConnection(work[i].connectionID), VESKOR_OK);
    sprintf(backup, "thread%d-copy.kb", i);
    ++checks;
    if (!fileExists(backup)) {
      ++failures;
      fprintf(stderr, "backup %s missing\n", backup);
    }
  }

  CHECK_STATUS(veskorBackupKB(c, "shared-copy.kb", "shared"), VESKOR_OK);
  CHECK_STATUS(veskorSaveKB(c, "shared"), VESKOR_OK);
  CHECK_STATUS(veskorCloseKB(c, "shared"), VESKOR_OK);
  CHECK_STATUS(veskorOpenKB(c, "shared-copy.kb", "shared"), VESKOR_OK);

  /* Settings and a find whose hits carry their stored texts: the word knowledge base keeps the
   * words of the entry, framed and upper-cased. */
  {
    veskorKBInfo info;
    veskorTextSearchHits* hits;
    CHECK_STATUS(veskorAddEntry(c, "words", "shared", "k", "Ein Wort"), VESKOR_OK);
    CHECK_STATUS(veskorGetKBInfo(c, "words", &info), VESKOR_OK);
    CHECK_TRUE(info.kind == VESKOR_KB_KIND_WORDS && info.numberEntries == 2);
    CHECK_TRUE((info.entryInformation & VESKOR_ENTRY_TEXT_STORED) != 0);
    hits = veskorFindEntryWithText(c, "words", "words", NULL, 1, 0, 0, "Wort");
    CHECK_TRUE(hits != NULL && hits->numberHits == 1 && strcmp(hits->hits[0].text, "_WORT_") == 0);
    CHECK_STATUS(veskorFreeTextSearchHits(c, hits), VESKOR_OK);
  }

  /* Word associator. */
  CHECK_STATUS(veskorOpenWA(c, argv[1], "assoc"), VESKOR_OK);
  CHECK_STATUS(veskorSaveWA(c, "assoc"), VESKOR_OK);
  sprintf(waBackup, "%s/wa-copy", directory);
  CHECK_STATUS(veskorBackupWA(c, waBackup, " assoc"), VESKOR_OK);
  CHECK_STATUS(veskorCloseWA(c, "assoc"), VESKOR_OK);
  CHECK_STATUS(veskorOpenWA(c, "wa-copy", "assoc"), VESKOR_OK);

  CHECK_STATUS(veskorCreateKBFile(c, "spare.kb", 1, 0, 0), VESKOR_OK);
  CHECK_STATUS(veskorRemoveKBFile(c, "spare.kb"), VESKOR_OK);
  ++checks;
  if (fileExists("spare.kb")) {
    ++failures;
    fprintf(stderr, "spare.kb not removed\n");
  }
  CHECK_STATUS(veskorCloseConnection(c), VESKOR_OK);
  /* Cleanup saves and frees what is still open (docs, words, shared, assoc). */
  CHECK_STATUS(veskorCleanup(), VESKOR_OK);
  CHECK_STATUS(veskorOpenConnection(&c), VESKOR_ERROR_NOT_INITIALIZED);

  /* Leave nothing behind. */
  {
    const char* names[] = {"entries.kb", "documents.kb", "words.kb", "shared-copy.kb", "wa-copy", "wa-copy.v1.net", "wa-copy.v1.tab"};
    for (i = 0; i < (int)(sizeof names / sizeof names[0]); ++i) remove(names[i]);
    for (i = 0; i < NUMBER_THREADS; ++i) {
      char name[64];
      sprintf(name, "thread%d.kb", i);
      remove(name);
      sprintf(name, "thread%d-copy.kb", i);
      remove(name);
    }
    if (chdir("/") != 0 || rmdir(directory) != 0) {
      ++failures;
      fprintf(stderr, "files left in %s\n", directory);
    }
  }

  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
