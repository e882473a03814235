/* The component exports through their C header, as a C client sees them. One process, one engine:
 * the cases run in order and share the initialised engine where they say so. */
#define _POSIX_C_SOURCE 200809L

#include "veskor/componentAPI.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "veskor/veskorAPI.h"

static int passed = 0;
static int failed = 0;

#define CHECK(condition)                                                            \
  do {                                                                              \
    if (condition) {                                                                \
      ++passed;                                                                     \
    } else {                                                                        \
      ++failed;                                                                     \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
    }                                                                               \
  } while (0)

static char directory[256];
static char akbFile[300];
static char wkbFile[300];
static int connection;

static void fill(char* buffer, char c, size_t length) {
  memset(buffer, c, length);
  buffer[length] = 0;
}

/* Runs a search in the open test knowledge bases; returns the hit count or -1 on failure. With
 * key non-null, also reports the confidence of the hit with that key (or -1.0). */
static int search(const char* text, const char* key, double* confidence) {
  void* hits = NULL;
  int numberHits = 0, i;
  char keyBuffer[VESKOR_FN_KEY_BUFFER_SIZE];
  if (confidence != NULL) *confidence = -1.0;
  if (fnSearch(connection, "wkb", "akb", 500, 0, text, &hits, &numberHits) != 0) return -1;
  for (i = 0; i < numberHits && key != NULL; ++i) {
    double c = 0.0;
    int reserved = 1;
    if (fnGetSearchHit(connection, hits, i, keyBuffer, &c, &reserved) == 0 && strcmp(keyBuffer, key) == 0) {
      *confidence = c;
    }
  }
  fnFreeSearchHits(connection, hits);
  return numberHits;
}

static int hasKey(const char* text, const char* key) {
  double confidence;
  search(text, key, &confidence);
  return confidence > 0.0;
}

static int addEntry(const char* key, const char* text) {
  char buffer[4096];
  strcpy(buffer, text);
  return fnAddEntry(connection, "", "akb", key, buffer);
}

/* fnCleanup waits for the last component connection; after a real clean-up fnInit initialises
 * the engine again. */
static void testLifecycle(void) {
  int other = 0, directConnection = 0;
  CHECK(fnCleanup() == VESKOR_ERROR_NOT_INITIALIZED);
  CHECK(fnInit() == 0);
  CHECK(fnInit() == 0);
  CHECK(fnOpenConnection(&connection) == 0);
  CHECK(fnOpenConnection(&other) == 0);
  CHECK(fnCloseConnection(other) == 0);
  CHECK(fnCloseConnection(other) == VESKOR_ERROR_IDENTIFIER);
  CHECK(fnCleanup() == 0);
  /* Still initialised: the open connection works, and a direct connection is not counted. */
  CHECK(fnCreateKBFile(connection, akbFile, 0, 0) == 0);
  CHECK(veskorOpenConnection(&directConnection) == 0);
  CHECK(fnCloseConnection(connection) == 0);
  CHECK(fnCleanup() == 0);
  CHECK(fnOpenConnection(&connection) == VESKOR_ERROR_NOT_INITIALIZED);
  CHECK(fnInit() == 0);
  CHECK(fnOpenConnection(&connection) == 0);
  CHECK(fnCreateKBFile(connection, akbFile, 0, 0) == 0);
  CHECK(fnCreateKBFile(connection, wkbFile, 0, 1) == 0);
  CHECK(fnOpenKB(connection, akbFile, "akb") == 0);
  CHECK(fnOpenKB(connection, wkbFile, "wkb") == 0);
}

static void testAddChecks(void) {
  char key[300], text[3100], missing[50];
  strcpy(missing, "quokka zebra");
  fill(key, 'k', 256);
  CHECK(addEntry(key, "walrus narwhal") == 0);
  CHECK(hasKey("walrus narwhal", key));
  fill(key, 'q', 257);
  CHECK(addEntry(key, "quokka zebra") == VESKOR_ERROR_KEY_NOT_VALID);
  CHECK(!hasKey("quokka zebra", key));
  CHECK(fnAddEntry(connection, "", "akb", key, NULL) == VESKOR_ERROR_ENTRY_NOT_VALID);
  CHECK(fnAddEntry(connection, "", "akb", NULL, missing) == VESKOR_ERROR_ARGUMENT_NOT_VALID);
  CHECK(fnAddEntry(connection, "", "unknown", "k1", missing) == VESKOR_ERROR_KBNAME);

  /* Control bytes and the no-break space become spaces in the caller's buffer and in the entry. */
  strcpy(text, "alpha\tbeta\ngamma\240delta\001");
  CHECK(fnAddEntry(connection, "", "akb", "clean", text) == 0);
  CHECK(strcmp(text, "alpha beta gamma delta ") == 0);
  {
    double confidence;
    search("alpha beta gamma delta", "clean", &confidence);
    CHECK(confidence == 1.0);
  }

  /* The text handed on is cut to 2047 characters; the two bytes at the cut are zeroed. */
  fill(text, 'x', 3000);
  CHECK(fnAddEntry(connection, "", "akb", "long", text) == 0);
  CHECK(strlen(text) == 2047 && text[2048] == 0 && text[2049] == 'x');
  fill(text, 'y', 2047);
  CHECK(fnAddEntry(connection, "", "akb", "exact", text) == 0);
  CHECK(strlen(text) == 2047);
}

static void testSearch(void) {
  void* hits = (void*)&hits;
  int numberHits = 77, reserved = 99;
  double confidence = 0.0;
  char keyBuffer[VESKOR_FN_KEY_BUFFER_SIZE];
  char message[VESKOR_FN_MESSAGE_BUFFER_SIZE];

  /* An empty WKB name reaches the engine as no name: invalid parameter, nothing to free. */
  CHECK(fnSearch(connection, "", "akb", 10, 0, "walrus", &hits, &numberHits) ==
        VESKOR_ERROR_ARGUMENT_NOT_VALID);
  CHECK(hits == NULL && numberHits == 0);
  numberHits = 5;
  CHECK(fnSearch(connection, "wkb", "akb", 0, 0, "walrus", &hits, &numberHits) ==
        VESKOR_ERROR_NUMBER_OF_HITS);
  CHECK(hits == NULL && numberHits == 0);
  CHECK(fnGetLatestErrorCode(connection) == VESKOR_ERROR_NUMBER_OF_HITS);
  strcpy(message, "untouched");
  CHECK(fnGetLatestErrorMessage(connection, message) == 0);
  CHECK(strncmp(message, "error: pMaxNumberHits <= 0", 26) == 0);

  CHECK(fnSearch(connection, "wkb", "akb", 10, 0, "alpha beta gamma delta", &hits, &numberHits) == 0);
  CHECK(hits != NULL && numberHits >= 1);
  CHECK(fnGetSearchHit(connection, hits, 0, keyBuffer, &confidence, &reserved) == 0);
  CHECK(strcmp(keyBuffer, "clean") == 0 && confidence == 1.0 && reserved == 0);
  CHECK(fnGetSearchHit(connection, hits, numberHits, keyBuffer, &confidence, &reserved) == -12);
  CHECK(fnGetSearchHit(connection, hits, -1, keyBuffer, &confidence, &reserved) == -12);
  CHECK(fnGetSearchHit(connection, NULL, 0, keyBuffer, &confidence, &reserved) == -11);
  CHECK(fnFreeSearchHits(connection, hits) == 0);
}

/* The engine stores keys of up to 1024 characters; the component's key buffer holds them. */
static void testLongEngineKey(void) {
  char key[1100];
  double confidence;
  fill(key, 'L', 1024);
  CHECK(veskorAddEntry(connection, NULL, "akb", key, "ocelot margay") == 0);
  search("ocelot margay", key, &confidence);
  CHECK(confidence == 1.0);
}

/* Update is delete-then-add, and the delete also takes keys ending with the given key. */
static void testUpdate(void) {
  double confidence;
  CHECK(addEntry("12", "twelve apples") == 0);
  CHECK(addEntry("112", "hundred twelve apples") == 0);
  CHECK(addEntry("120", "hundred twenty apples") == 0);
  CHECK(fnUpdateEntry(connection, "", "akb", "12", NULL) == VESKOR_ERROR_ENTRY_NOT_VALID);
  CHECK(!hasKey("twelve apples", "12"));
  CHECK(!hasKey("hundred twelve apples", "112"));
  CHECK(hasKey("hundred twenty apples", "120"));
  {
    char text[] = "fresh\tpears";
    CHECK(fnUpdateEntry(connection, "", "akb", "120", text) == 0);
    CHECK(strcmp(text, "fresh pears") == 0);
  }
  /* The old text is gone: the key may still match it loosely, but no longer exactly. */
  search("hundred twenty apples", "120", &confidence);
  CHECK(confidence < 1.0);
  search("fresh pears", "120", &confidence);
  CHECK(confidence == 1.0);
  CHECK(fnDeleteEntry(connection, "akb", "120") == 0);
  CHECK(!hasKey("fresh pears", "120"));
}

static void testUnsupportedAndErrors(void) {
  char message[VESKOR_FN_MESSAGE_BUFFER_SIZE];
  CHECK(fnCompareDocument(0, 0, 0, 0, 0, 0, 0) == -13);
  CHECK(fnCompressDocument(1, 2, 3, 4, 5, 6, 7) == -13);
  CHECK(fnGetSentenceSearchHit(-1, -1, -1, -1, -1, -1, -1) == -13);
  CHECK(fnCompareDocument == fnCompressDocument && fnCompareDocument == fnGetSentenceSearchHit);

  CHECK(fnOpenKB(connection, akbFile, "   ") == VESKOR_ERROR_KBNAME);
  CHECK(fnGetLatestErrorCode(connection) == VESKOR_ERROR_KBNAME);
  CHECK(fnGetLatestErrorMessage(connection, message) == 0);
  CHECK(strncmp(message, "error: name of knowledge base invalid in veskorOpenKB()\nin file \"", 65) == 0);
  CHECK(fnGetLatestErrorMessage(connection, NULL) == VESKOR_ERROR_ARGUMENT_NOT_VALID);
}

static void testSaveAndClose(void) {
  CHECK(fnSaveKB(connection, "akb") == 0);
  CHECK(fnCloseKB(connection, "akb") == 0);
  CHECK(fnOpenKB(connection, akbFile, "akb") == 0);
  CHECK(hasKey("alpha beta gamma delta", "clean"));
  CHECK(fnCloseKB(connection, "akb") == 0);
  CHECK(fnCloseKB(connection, "wkb") == 0);
  CHECK(fnRemoveKBFile(connection, akbFile) == 0);
  CHECK(fnRemoveKBFile(connection, wkbFile) == 0);
  CHECK(fnCloseConnection(connection) == 0);
  CHECK(fnCleanup() == 0);
}

int main(void) {
  const char* base = getenv("TMPDIR");
  snprintf(directory, sizeof directory, "%s/veskor-fn-XXXXXX", base != NULL && base[0] != 0 ? base : "/tmp");
  if (mkdtemp(directory) == NULL) {
    perror("mkdtemp");
    return 1;
  }
  snprintf(akbFile, sizeof akbFile, "%s/entries.kb", directory);
  snprintf(wkbFile, sizeof wkbFile, "%s/words.kb", directory);

  testLifecycle();
  testAddChecks();
  testSearch();
  testLongEngineKey();
  testUpdate();
  testUnsupportedAndErrors();
  testSaveAndClose();

  remove(akbFile);
  remove(wkbFile);
  rmdir(directory);
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
