/* A program built against an installed Veskor: creates a knowledge base in the directory given as
 * argument, adds three entries, searches with a misspelt query and prints the hits. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <veskor/veskorAPI.h>

static int fail(int connection, const char* what, int status) {
  char* message = veskorGetLatestErrorMessage(connection);
  fprintf(stderr, "%s failed with status %d: %s\n", what, status, message ? message : "");
  free(message);
  return 1;
}

int main(int argc, char** argv) {
  char path[4096];
  int connection = 0;
  int status;
  int i;
  veskorSearchHits* hits;
  if (argc != 2) return 2;
  snprintf(path, sizeof path, "%s/consumer.kb", argv[1]);

  if (veskorInit() != VESKOR_OK || veskorOpenConnection(&connection) != VESKOR_OK) return 1;
  if ((status = veskorCreateKBFile(connection, path, 1, 0, 0)) != VESKOR_OK) return fail(connection, "create", status);
  if ((status = veskorOpenKB(connection, path, "places")) != VESKOR_OK) return fail(connection, "open", status);
  veskorAddEntry(connection, NULL, "places", "1", "Hamburg");
  veskorAddEntry(connection, NULL, "places", "2", "Augsburg");
  veskorAddEntry(connection, NULL, "places", "3", "Bamberg");
  /* The knowledge base serves as its own word knowledge base: entries are found by character groups. */
  hits = veskorFindEntry(connection, "places", "places", NULL, 2, 0, 0, "Hamborg");
  if (hits == NULL) return fail(connection, "find", veskorGetLatestErrorCode(connection));
  for (i = 0; i < hits->numberHits; ++i) printf("%s %.4f\n", hits->hits[i].primaryKey, hits->hits[i].confidence);
  status = hits->numberHits > 0 && strcmp(hits->hits[0].primaryKey, "1") == 0 ? 0 : 1;
  veskorFreeSearchHits(connection, hits);
  veskorCloseKB(connection, "places");
  veskorCloseConnection(connection);
  veskorCleanup();
  return status;
}
